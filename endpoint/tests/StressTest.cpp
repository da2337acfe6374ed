#include <gtest/gtest.h>

#include "CSimAudioService.h"
#include "Quillon.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

namespace
{

const DWORD kdwAlive = 0xA11FE5ED;
std::atomic<long> g_cHeard(0);
std::atomic<long> g_cHeardDead(0);

// A freed probe is kept until the test ends, filled with a dead pattern but with its virtual
// table put back, so that an OnVolumeChanged reaching it lands in the canary check instead of
// in freed or reused memory.
std::mutex g_mutexGraveyard;
std::vector<void*> g_graveyard;
void* g_pvProbeVtable = nullptr;

struct CProbe : CQuillon
{
    DWORD m_dwCanary = kdwAlive;

    void OnVolumeChanged(float, bool, GUID) override { ++(m_dwCanary == kdwAlive ? g_cHeard : g_cHeardDead); }
    static void operator delete(void* pv, size_t cb)
    {
        memset(pv, 0xDD, cb);
        memcpy(pv, &g_pvProbeVtable, sizeof(void*));
        std::lock_guard<std::mutex> lock(g_mutexGraveyard);
        g_graveyard.push_back(pv);
    }
};

// The default endpoint, the second one by name, or the default one followed.
void Open(CProbe* pProbe, std::minstd_rand& random)
{
    unsigned nWay = random() % 3;
    if (nWay == 2)
        pProbe->InitializeFollowingDefault();
    else
        pProbe->Initialize(nWay ? eFindDefault : eFindByName, "second");
}

// Creates, initialises, copies, assigns and destroys probes at random until the deadline.
void Churn(CSimAudioService& service, unsigned nSeed, std::chrono::steady_clock::time_point deadline)
{
    CoInitialize(nullptr);
    DWORD dwRegister = service.RegisterOnThisThread();
    std::minstd_rand random(nSeed);
    CProbe* rgpProbe[4] = {};
    while (std::chrono::steady_clock::now() < deadline) {
        CProbe*& pProbe = rgpProbe[random() % 4];
        CProbe* pOther = rgpProbe[random() % 4];
        switch (random() % 6) {
        case 0:
            delete pProbe;
            pProbe = new CProbe;
            Open(pProbe, random);
            break;
        case 1:
            delete pProbe;
            pProbe = pOther && pOther != pProbe ? new CProbe(*pOther) : nullptr;
            break;
        case 2:
            if (pProbe && pOther)
                *pProbe = *pOther;
            break;
        case 3:
            if (pProbe)
                Open(pProbe, random);
            break;
        default:
            if (pProbe)
                pProbe->SetVolume(static_cast<float>(random() % 100) / 100.0f, true);
            break;
        }
    }
    for (CProbe* pProbe : rgpProbe)
        delete pProbe;
    service.RevokeFromThisThread(dwRegister);
    CoUninitialize();
}

// A copy initialised on one thread while its original is destroyed on another, over and over
// until the deadline: the copy takes an endpoint of its own and never re-arms the original's.
void RaceCopiesAgainstOriginals(CSimAudioService& service, std::chrono::steady_clock::time_point deadline)
{
    HANDLE hCopyMade = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE hCopyDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CProbe* pCopy = nullptr;
    std::atomic<bool> bStop(false);
    std::thread initialising([&] {
        CoInitialize(nullptr);
        DWORD dwRegister = service.RegisterOnThisThread();
        for (std::minstd_rand random(7); WaitForSingleObject(hCopyMade, INFINITE) == WAIT_OBJECT_0 && !bStop;) {
            Open(pCopy, random);
            delete pCopy;
            SetEvent(hCopyDone);
        }
        service.RevokeFromThisThread(dwRegister);
        CoUninitialize();
    });
    CoInitialize(nullptr);
    DWORD dwRegister = service.RegisterOnThisThread();
    while (std::chrono::steady_clock::now() < deadline) {
        CProbe* pOriginal = new CProbe;
        pOriginal->Initialize(eFindDefault, nullptr);
        pCopy = new CProbe(*pOriginal);
        SetEvent(hCopyMade);
        delete pOriginal;
        WaitForSingleObject(hCopyDone, INFINITE);
    }
    bStop = true;
    SetEvent(hCopyMade);
    initialising.join();
    service.RevokeFromThisThread(dwRegister);
    CoUninitialize();
    CloseHandle(hCopyMade);
    CloseHandle(hCopyDone);
}

// Seconds to run: STRESS_SECONDS (scripts/run-stress), else briefly.
TEST(Stress, NoNotificationReachesADestroyedObject)
{
    const char* pszSeconds = getenv("STRESS_SECONDS");
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long long>((pszSeconds ? atof(pszSeconds) : 2.0) * 1000));
    {
        CSimAudioService service;
        service.AddEndpoint(L"First");
        service.AddEndpoint(L"Second");
        {
            CProbe first;
            memcpy(&g_pvProbeVtable, &first, sizeof(void*));
        }
        std::vector<std::thread> workers;
        for (unsigned nSeed = 1; nSeed <= 3; ++nSeed)
            workers.emplace_back(Churn, std::ref(service), nSeed, deadline);
        workers.emplace_back(RaceCopiesAgainstOriginals, std::ref(service), deadline);
        // Another program changes both endpoints as fast as the notification thread delivers,
        // and the user switches the default endpoint now and then.
        for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
            service.ChangeAsOther(i % 2, 0.5f, false, GUID_NULL);
            if (i % 16 == 0)
                service.SetDefault(i / 16 % 2);
            service.Flush();
        }
        for (std::thread& worker : workers)
            worker.join();
        EXPECT_EQ(service.Live(), 0);
        EXPECT_EQ(service.CallsOnReleased(), 0);
    }
    EXPECT_EQ(g_cHeardDead, 0);
    EXPECT_GT(g_cHeard, 0);
    for (void* pv : g_graveyard)
        CQuillon::operator delete(pv);
}

}
