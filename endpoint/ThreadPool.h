#pragma once

// Runs pfnWork(pvContext) on a thread-pool thread, keeping this library loaded until it returns
// (a host may unload the library as soon as its last object is gone). False when that cannot
// be done (no memory, no pool): the library then stays loaded for good, so that whatever the
// caller keeps instead is never left to an unloaded library.
bool QueueOnThreadPool(void (*pfnWork)(void* pvContext), void* pvContext);
