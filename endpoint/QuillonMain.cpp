#include <windows.h>

// The library keeps no process or thread state, so its entry point has nothing to do.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
