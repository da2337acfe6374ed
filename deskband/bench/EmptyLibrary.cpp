// A DLL that does nothing, built like the deliverables: the benchmark's measure of what
// loading any library costs, set against the band's cold start.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
