#pragma once

// The process's kernel handles and GDI objects, for tests that check that nothing is left behind.
// Wine answers 0 to GetProcessHandleCount and GetGuiResources, so there they are counted by asking
// about every handle value in turn (Wine's GDI handles carry their table index in the low word and
// are also accepted by that alone).
#include <windows.h>

#include <utility>

inline std::pair<int, int> HandleCounts()
{
    DWORD cHandles = 0, dwFlags;
    int cGdiObjects = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    if (!GetProcessHandleCount(GetCurrentProcess(), &cHandles) || cHandles == 0)
        for (ULONG_PTR uValue = 4; uValue < 0x10000; uValue += 4)
            cHandles += GetHandleInformation(reinterpret_cast<HANDLE>(uValue), &dwFlags) ? 1 : 0;
    if (cGdiObjects == 0)
        for (ULONG_PTR uIndex = 1; uIndex < 0x10000; ++uIndex)
            cGdiObjects += GetObjectType(reinterpret_cast<HGDIOBJ>(uIndex)) != 0 ? 1 : 0;
    return {static_cast<int>(cHandles), cGdiObjects};
}
