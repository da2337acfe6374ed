#pragma once

#include "CAggregatedInstance.h"
#include "CStandaloneInstance.h"

// The instance creator of a class table row for class T: standalone when pUnkOuter is null,
// else inside that aggregate.
template <class T> [[nodiscard]] HRESULT CreateInstanceOf(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (pUnkOuter)
        return CAggregatedInstance<T>::Create(pUnkOuter, riid, ppv);
    return CStandaloneInstance<T>::Create(riid, ppv);
}
