#include "QuillonHeap.h"

#include <atomic>
#include <cstring>

namespace
{

typedef void*(__cdecl* PfnMalloc)(size_t);
typedef void(__cdecl* PfnFree)(void*);

PfnMalloc g_pfnMalloc = nullptr;
PfnFree g_pfnFree = nullptr;
std::atomic<DWORD> g_dwFailingThread(0);
std::atomic<LONG_PTR> g_cBalance(0);
std::atomic<const void*> g_pvWatched(nullptr);
std::atomic<bool> g_bWatchedFreed(false);

void* __cdecl HookedMalloc(size_t cb)
{
    if (g_dwFailingThread == GetCurrentThreadId())
        return nullptr;
    void* pv = g_pfnMalloc(cb);
    if (pv)
        ++g_cBalance;
    return pv;
}

void __cdecl HookedFree(void* pv)
{
    if (!pv)
        return;
    if (pv == g_pvWatched.load())
        g_bWatchedFreed = true;
    --g_cBalance;
    g_pfnFree(pv);
}

// The import address table entry of pszFunction from pszDll in module hModule, or null.
ULONG_PTR* ImportSlot(HMODULE hModule, const char* pszDll, const char* pszFunction)
{
    BYTE* pbBase = reinterpret_cast<BYTE*>(hModule);
    const IMAGE_DOS_HEADER* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pbBase);
    const IMAGE_NT_HEADERS* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pbBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return nullptr;
    for (const IMAGE_IMPORT_DESCRIPTOR* pImport =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pbBase + dir.VirtualAddress);
         pImport->Name; ++pImport) {
        if (lstrcmpiA(reinterpret_cast<const char*>(pbBase + pImport->Name), pszDll) != 0 ||
            !pImport->OriginalFirstThunk)
            continue;
        const IMAGE_THUNK_DATA* pName = reinterpret_cast<const IMAGE_THUNK_DATA*>(pbBase + pImport->OriginalFirstThunk);
        IMAGE_THUNK_DATA* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pbBase + pImport->FirstThunk);
        for (; pName->u1.AddressOfData; ++pName, ++pSlot) {
            if (IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME* pByName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(pbBase + pName->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(pByName->Name), pszFunction) == 0)
                return reinterpret_cast<ULONG_PTR*>(&pSlot->u1.Function);
        }
    }
    return nullptr;
}

void Route(ULONG_PTR* pSlot, ULONG_PTR uTarget)
{
    DWORD dwProtect = 0;
    VirtualProtect(pSlot, sizeof *pSlot, PAGE_READWRITE, &dwProtect);
    *pSlot = uTarget;
    VirtualProtect(pSlot, sizeof *pSlot, dwProtect, &dwProtect);
}

bool Install()
{
    HMODULE hQuillon = GetModuleHandleA("Quillon.dll");
    ULONG_PTR* pMalloc = hQuillon ? ImportSlot(hQuillon, "msvcrt.dll", "malloc") : nullptr;
    ULONG_PTR* pFree = hQuillon ? ImportSlot(hQuillon, "msvcrt.dll", "free") : nullptr;
    if (!pMalloc || !pFree)
        return false;
    g_pfnMalloc = reinterpret_cast<PfnMalloc>(*pMalloc);
    g_pfnFree = reinterpret_cast<PfnFree>(*pFree);
    Route(pMalloc, reinterpret_cast<ULONG_PTR>(&HookedMalloc));
    Route(pFree, reinterpret_cast<ULONG_PTR>(&HookedFree));
    return true;
}

}

bool QuillonHeap::Hook()
{
    static const bool s_bHooked = Install();
    return s_bHooked;
}

void QuillonHeap::FailOnThisThread(bool bFail)
{
    g_dwFailingThread = bFail ? GetCurrentThreadId() : 0;
}

LONG_PTR QuillonHeap::Balance()
{
    return g_cBalance;
}

void QuillonHeap::Watch(const void* pvBlock)
{
    g_bWatchedFreed = false;
    g_pvWatched = pvBlock;
}

bool QuillonHeap::WatchedFreed()
{
    return g_bWatchedFreed;
}
