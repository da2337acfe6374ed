#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

// The first active render endpoint whose key, narrowed as NarrowName does, equals pszKey without
// regard to ASCII case; QUILLON_E_NOT_FOUND when none does. A failing platform call ends the
// search with its result.
[[nodiscard]] HRESULT FindEndpointByKey(IMMDeviceEnumerator* pEnumerator, const char* pszKey, IMMDevice** ppDevice);
