#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** ppv) { if (ppv) *ppv = nullptr; return CLASS_E_CLASSNOTAVAILABLE; }
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_OK; }
