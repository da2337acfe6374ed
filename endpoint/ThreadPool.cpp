#include "ThreadPool.h"

#include <windows.h>

#include <new>

namespace
{

struct CWork
{
    void (*pfnWork)(void*);
    void* pvContext;
    HMODULE hModule;
};

VOID CALLBACK RunWork(PTP_CALLBACK_INSTANCE pInstance, void* pvWork)
{
    const CWork work = *static_cast<CWork*>(pvWork);
    delete static_cast<CWork*>(pvWork);
    work.pfnWork(work.pvContext);
    FreeLibraryWhenCallbackReturns(pInstance, work.hModule);
}

}

bool QueueOnThreadPool(void (*pfnWork)(void*), void* pvContext)
{
    static const char s_chInThisModule = 0;
    LPCWSTR pszInThisModule = reinterpret_cast<LPCWSTR>(&s_chInThisModule);
    CWork* pWork = new (std::nothrow) CWork{pfnWork, pvContext, nullptr};
    if (pWork && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, pszInThisModule, &pWork->hModule)) {
        if (TrySubmitThreadpoolCallback(RunWork, pWork, nullptr))
            return true;
    }
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN, pszInThisModule,
                       &hModule);
    delete pWork;
    return false;
}
