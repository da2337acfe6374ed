// Objects made, initialised (following the default too), copied, assigned and destroyed at random
// on several threads while another program changes the endpoints and the user switches the
// default: no notification reaches a destroyed object, and nothing is left behind.
#include "QuillonTest.h"

#include "CScopedHandle.h"

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

namespace
{

const DWORD kdwAlive = 0xA11FE5ED;
std::atomic<long> g_cHeard(0);
std::atomic<long> g_cHeardDead(0);
// Freed probes are kept until the test ends, their canary dead and their virtual table put back,
// so that an OnVolumeChanged reaching one lands in the check instead of in freed memory.
std::mutex g_mutexGraveyard;
std::vector<void*> g_graveyard;
void* g_pvProbeVtable = nullptr;

struct CProbe : CQuillon
{
    void OnVolumeChanged(float, bool, GUID) override { ++(m_dwCanary == kdwAlive ? g_cHeard : g_cHeardDead); }
    static void operator delete(void* pv, size_t cb)
    {
        memset(pv, 0xDD, cb);
        memcpy(pv, &g_pvProbeVtable, sizeof(void*));
        std::lock_guard<std::mutex> lock(g_mutexGraveyard);
        g_graveyard.push_back(pv);
    }
    DWORD m_dwCanary = kdwAlive;
};

// The default endpoint, the second one by its key, or the default one followed.
void Open(CQuillon* pProbe, std::minstd_rand& random)
{
    const unsigned nWay = random() % 3;
    if (nWay == 2)
        (void)pProbe->InitializeFollowingDefault();
    else
        (void)pProbe->Initialize(nWay ? eFindDefault : eFindByName, "second");
}

// Runs work on a thread of its own in COM, with the service registered, while it returns true.
template <class F> std::thread Worker(CSimAudioService& service, F work)
{
    return std::thread([&service, work] {
        CoInitialize(nullptr);
        (void)service.RegisterOnThisThread();
        for (std::minstd_rand random(GetCurrentThreadId()); work(random);) {
        }
        CoUninitialize();
    });
}

// Seconds to run: STRESS_SECONDS (scripts/run-stress), else 2.
TEST(Stress, NoNotificationReachesADestroyedObject)
{
    const char* pszSeconds = getenv("STRESS_SECONDS");
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>((pszSeconds ? atof(pszSeconds) : 2.0) * 1000));
    {
        CSimAudioService service;
        service.AddEndpoint(L"First");
        service.AddEndpoint(L"Second");
        {
            CProbe probe;
            memcpy(&g_pvProbeVtable, &probe, sizeof(void*));
        }
        std::vector<std::thread> workers;
        std::vector<CProbe*> rgpProbes(12);
        for (int iWorker = 0; iWorker < 3; ++iWorker) {
            CProbe** rgpProbe = &rgpProbes[4 * iWorker];
            workers.push_back(Worker(service, [rgpProbe, deadline](std::minstd_rand& random) {
                CProbe*& pProbe = rgpProbe[random() % 4];
                CProbe* pOther = rgpProbe[random() % 4];
                const unsigned nAction = random() % 6;
                if (nAction < 2) {
                    delete pProbe;
                    pProbe = nAction == 0 ? new CProbe : pOther&& pOther != pProbe ? new CProbe(*pOther) : nullptr;
                }
                if (nAction == 2 && pProbe && pOther)
                    *pProbe = *pOther;
                if ((nAction == 0 || nAction == 3) && pProbe)
                    Open(pProbe, random);
                if (nAction > 3 && pProbe)
                    (void)pProbe->SetVolume(static_cast<float>(random() % 100) / 100.0f, true);
                return std::chrono::steady_clock::now() < deadline;
            }));
        }
        // A copy initialised on one thread while its original is destroyed on another: the copy
        // takes an endpoint of its own and never re-arms the original's.
        CScopedHandle hCopy(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        CScopedHandle hCopyDone(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        CProbe* pCopy = nullptr;
        workers.push_back(Worker(service, [&](std::minstd_rand&) {
            if (std::chrono::steady_clock::now() >= deadline)
                return pCopy = nullptr, SetEvent(hCopy.Get()), false;
            CProbe* pOriginal = new CProbe;
            (void)pOriginal->Initialize(eFindDefault, nullptr);
            pCopy = new CProbe(*pOriginal);
            SetEvent(hCopy.Get());
            delete pOriginal;
            return WaitForSingleObject(hCopyDone.Get(), INFINITE) == WAIT_OBJECT_0;
        }));
        workers.push_back(Worker(service, [&](std::minstd_rand& random) {
            if (WaitForSingleObject(hCopy.Get(), INFINITE) != WAIT_OBJECT_0 || !pCopy)
                return false;
            Open(pCopy, random);
            delete pCopy;
            return SetEvent(hCopyDone.Get()) != FALSE;
        }));
        // Another program changes both endpoints as fast as they are told, and the user
        // switches the default now and then.
        for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
            service.ChangeAsOther(i % 2, 0.5f, false, GUID_NULL);
            if (i % 16 == 0)
                service.SetDefault(i / 16 % 2);
            service.Flush();
        }
        for (std::thread& worker : workers)
            worker.join();
        for (CProbe* pProbe : rgpProbes)
            delete pProbe;
        EXPECT_EQ(service.Live(), 0);
        EXPECT_EQ(service.CallsOnReleased(), 0);
    }
    EXPECT_EQ(g_cHeardDead, 0);
    EXPECT_GT(g_cHeard, 0);
    for (void* pv : g_graveyard)
        CQuillon::operator delete(pv);
}

}
