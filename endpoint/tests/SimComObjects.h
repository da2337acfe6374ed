#pragma once

#include <windows.h>
#include <unknwn.h>

class CSimAudioService;

// The class object that CoCreateInstance finds for CLSID_MMDeviceEnumerator while the
// service is registered; it makes the service's device enumerators.
IClassFactory* CreateSimClassFactory(CSimAudioService& service);
