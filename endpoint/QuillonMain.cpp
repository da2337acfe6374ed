#include <windows.h>

#include <cstdlib>
#include <new>

#include "CAudioQuillonCallback.h"

// The library's one piece of process state is the thread-local slot through which a teardown
// knows that it runs inside a notification (CAudioQuillonCallback).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID pvReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        return CAudioQuillonCallback::StartUp() ? TRUE : FALSE;
    // At process exit (pvReserved not null) the slot goes with the process.
    if (dwReason == DLL_PROCESS_DETACH && !pvReserved)
        CAudioQuillonCallback::ShutDown();
    return TRUE;
}

// Every allocation of the library is a nothrow one. The runtime's own nothrow new throws and
// catches std::bad_alloc inside, which needs memory itself when there is none; these take it
// straight from the C runtime's heap, which the runtime's operator delete returns it to.
void* operator new(size_t cb, const std::nothrow_t&) noexcept
{
    return std::malloc(cb ? cb : 1);
}

void* operator new[](size_t cb, const std::nothrow_t&) noexcept
{
    return std::malloc(cb ? cb : 1);
}
