#pragma once

#include <windows.h>

#include "ModuleMemory.h"

struct ClassEntry;

// Makes one private heap for the module allocator; null when it cannot.
using PFNCREATEHEAP = HANDLE (*)();

// Function and argument run at detach, newest first.
struct CleanupEntry
{
    void (*pfnCleanup)(void* pArg);
    void* pArg;
    CleanupEntry* pNext;
};

// The module record: one per loaded library, a plain record written at process attach
// (nothing of it is set up by static construction) and torn down at detach.
class CServerModule
{
public:
    // pClassTable is the library's constant class table, ended by a row whose CLSID is null.
    void Attach(HINSTANCE hInstance, const ClassEntry* pClassTable);
    void Detach();

    LONG Lock();
    LONG Unlock();
    LONG GetLockCount() const;
    void AddCleanup(void (*pfnCleanup)(void*), void* pArg);
    [[nodiscard]] HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

    // The allocator's heaps: the base heap and cExtraHeaps more (0 or a power of two), each
    // made by pfnCreateHeap. Whatever fails, the allocator is left with a heap: the base heap
    // alone when the table or an extra heap cannot be made, the process heap when not even
    // the base heap can. Attach uses these with the platform's policy; tests with their own.
    void CreateHeaps(DWORD cExtraHeaps, PFNCREATEHEAP pfnCreateHeap);
    void DestroyHeaps();

    HINSTANCE m_hInstance;
    HINSTANCE m_hInstanceTypeLib;
    const ClassEntry* m_pClassTable;
    LONG m_cLock;
    HANDLE m_hHeap;
    CRITICAL_SECTION m_csTypeInfo;
    CRITICAL_SECTION m_csClassTable;
    DWORD m_dwHeapMask;
    HANDLE* m_phHeaps;
    int m_nNextHeap;
    CleanupEntry* m_pCleanup;

private:
    const ClassEntry* FindClass(REFCLSID rclsid) const;
    [[nodiscard]] HRESULT CreateClassObjectOnce(const ClassEntry& entry);
    void ReleaseClassObjects();
    void RunCleanupList();
};

// The one module record of this library and its instance handle (what the library's window
// classes are registered with).
extern CServerModule g_module;
extern HINSTANCE g_hInstance;
