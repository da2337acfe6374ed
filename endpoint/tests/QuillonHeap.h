#pragma once

#include <windows.h>

// Quillon.dll's own heap as a test sees it: the library's imported malloc and free (of the C
// runtime DLL that MinGW links it with) are routed through here, to make its allocations fail
// on one thread and to tell when one block is freed. Not available when the library takes its
// heap from a statically linked runtime (Visual Studio's default): tests then skip.
namespace QuillonHeap
{
// Routes the library's imports here (once); false when they cannot be found.
bool Hook();
// While on, every allocation by the library on the calling thread fails.
void FailOnThisThread(bool bFail);
// Blocks the library has allocated, minus those it has freed, since Hook.
LONG_PTR Balance();
// Watches one block (forgetting the one watched before): whether the library has freed it since.
void Watch(const void* pvBlock);
bool WatchedFreed();
}
