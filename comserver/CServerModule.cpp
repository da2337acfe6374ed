#include "CServerModule.h"

#include "CCriticalSectionLock.h"
#include "ClassEntry.h"
#include "HeapPolicy.h"
#include "ReturnIfFailed.h"

// Plain records without constructors: zero until attach fills them.
CServerModule g_module;
HINSTANCE g_hInstance;

namespace
{
HANDLE CreateGrowableHeap()
{
    return HeapCreate(0, 0, 0);
}

DWORD QueryExtraHeapCount()
{
    OSVERSIONINFOA osvi;
    ZeroMemory(&osvi, sizeof osvi);
    osvi.dwOSVersionInfoSize = sizeof osvi;
    // A failed query leaves platform 0, which the policy treats as an older platform.
    GetVersionExA(&osvi);
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return ExtraHeapCount(osvi.dwPlatformId, osvi.dwMajorVersion, si.dwNumberOfProcessors);
}

void DestroyHeapTable(HANDLE* phHeaps, DWORD cHeaps)
{
    for (DWORD i = 0; i < cHeaps; ++i)
        HeapDestroy(phHeaps[i]);
}
}

void CServerModule::Attach(HINSTANCE hInstance, const ClassEntry* pClassTable)
{
    g_hInstance = hInstance;
    m_hInstance = hInstance;
    m_hInstanceTypeLib = hInstance;
    m_pClassTable = pClassTable;
    m_cLock = 0;
    m_hHeap = nullptr;
    m_pCleanup = nullptr;
    m_dwHeapMask = 0;
    m_phHeaps = nullptr;
    m_nNextHeap = 0;
    InitializeCriticalSection(&m_csTypeInfo);
    InitializeCriticalSection(&m_csClassTable);
    // Start functions run before any heap exists, so they must not allocate.
    for (const ClassEntry* pEntry = m_pClassTable; pEntry->pclsid; ++pEntry)
        pEntry->pfnClassStartStop(true);
    CreateHeaps(QueryExtraHeapCount(), CreateGrowableHeap);
}

void CServerModule::Detach()
{
    ReleaseClassObjects();
    DeleteCriticalSection(&m_csTypeInfo);
    DeleteCriticalSection(&m_csClassTable);
    RunCleanupList();
    DestroyHeaps();
}

LONG CServerModule::Lock()
{
    return InterlockedIncrement(&m_cLock);
}

LONG CServerModule::Unlock()
{
    return InterlockedDecrement(&m_cLock);
}

LONG CServerModule::GetLockCount() const
{
    return m_cLock;
}

void CServerModule::AddCleanup(void (*pfnCleanup)(void*), void* pArg)
{
    CleanupEntry* pEntry = static_cast<CleanupEntry*>(ModuleAlloc(sizeof(CleanupEntry)));
    if (!pEntry)
        return;
    pEntry->pfnCleanup = pfnCleanup;
    pEntry->pArg = pArg;
    CCriticalSectionLock lock(m_csTypeInfo);
    pEntry->pNext = m_pCleanup;
    m_pCleanup = pEntry;
}

HRESULT CServerModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const ClassEntry* pEntry = FindClass(rclsid);
    if (!pEntry)
        return CLASS_E_CLASSNOTAVAILABLE;
    if (!pEntry->pClassObject)
        RETURN_IF_FAILED(CreateClassObjectOnce(*pEntry));
    return pEntry->pClassObject->QueryInterface(riid, ppv);
}

const ClassEntry* CServerModule::FindClass(REFCLSID rclsid) const
{
    for (const ClassEntry* pEntry = m_pClassTable; pEntry->pclsid; ++pEntry) {
        if (pEntry->pfnCreateClassObject && IsEqualCLSID(*pEntry->pclsid, rclsid))
            return pEntry;
    }
    return nullptr;
}

// Tested again under the lock, so that racing threads never make two class objects for one
// class. A failure leaves the row empty and the next request tries again.
HRESULT CServerModule::CreateClassObjectOnce(const ClassEntry& entry)
{
    CCriticalSectionLock lock(m_csClassTable);
    if (entry.pClassObject)
        return S_OK;
    return entry.pfnCreateClassObject(entry.pfnCreateInstance, IID_IUnknown,
                                      reinterpret_cast<void**>(&entry.pClassObject));
}

void CServerModule::ReleaseClassObjects()
{
    for (const ClassEntry* pEntry = m_pClassTable; pEntry->pclsid; ++pEntry) {
        IUnknown* pClassObject = pEntry->pClassObject;
        pEntry->pClassObject = nullptr;
        if (pClassObject)
            pClassObject->Release();
        pEntry->pfnClassStartStop(false);
    }
}

// Newest first; the locks are gone by now, and nothing else runs at detach.
void CServerModule::RunCleanupList()
{
    while (CleanupEntry* pEntry = m_pCleanup) {
        m_pCleanup = pEntry->pNext;
        pEntry->pfnCleanup(pEntry->pArg);
        ModuleFree(pEntry);
    }
}

void CServerModule::CreateHeaps(DWORD cExtraHeaps, PFNCREATEHEAP pfnCreateHeap)
{
    m_hHeap = pfnCreateHeap();
    if (!m_hHeap) {
        m_hHeap = GetProcessHeap();
        return;
    }
    if (cExtraHeaps == 0)
        return;
    HANDLE* phHeaps = static_cast<HANDLE*>(HeapAlloc(m_hHeap, 0, cExtraHeaps * sizeof(HANDLE)));
    if (!phHeaps)
        return;
    for (DWORD i = 0; i < cExtraHeaps; ++i) {
        phHeaps[i] = pfnCreateHeap();
        if (!phHeaps[i]) {
            DestroyHeapTable(phHeaps, i);
            HeapFree(m_hHeap, 0, phHeaps);
            return;
        }
    }
    // Published only when complete, so the allocator never meets a half-made table.
    m_dwHeapMask = cExtraHeaps - 1;
    m_phHeaps = phHeaps;
}

void CServerModule::DestroyHeaps()
{
    if (m_phHeaps)
        DestroyHeapTable(m_phHeaps, m_dwHeapMask + 1);
    if (m_hHeap && m_hHeap != GetProcessHeap())
        HeapDestroy(m_hHeap);
    m_hHeap = nullptr;
    m_phHeaps = nullptr;
    m_dwHeapMask = 0;
    m_nNextHeap = 0;
}
