#include <gtest/gtest.h>

#include "CSimAudioService.h"
#include "Quillon.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

const DWORD kdwAlive = 0xA11FE5ED;

std::atomic<long> g_cHeard(0);
std::atomic<long> g_cHeardDead(0);

// A freed probe is kept for the rest of the test, filled with a dead pattern but with its
// virtual table put back, so that an OnVolumeChanged reaching it lands in the canary check
// instead of in freed or reused memory. The virtual table is taken from a first probe
// before the churn starts.
std::mutex g_mutexGraveyard;
std::vector<void*> g_graveyard;
void* g_pvProbeVtable = nullptr;

class CProbe : public CQuillon
{
public:
    CProbe() : m_dwCanary(kdwAlive) {}
    CProbe(const CProbe& source) : CQuillon(source), m_dwCanary(kdwAlive) {}
    CProbe& operator=(const CProbe& source) = default;

    void OnVolumeChanged(float, bool, GUID) override
    {
        if (m_dwCanary == kdwAlive)
            ++g_cHeard;
        else
            ++g_cHeardDead;
    }

    static void operator delete(void* pv, size_t cb)
    {
        memset(pv, 0xDD, cb);
        memcpy(pv, &g_pvProbeVtable, sizeof(void*));
        std::lock_guard<std::mutex> lock(g_mutexGraveyard);
        g_graveyard.push_back(pv);
    }

private:
    DWORD m_dwCanary;
};

// Seconds to run: STRESS_SECONDS (scripts/run-stress), else briefly.
double StressSeconds()
{
    const char* pszSeconds = getenv("STRESS_SECONDS");
    return pszSeconds ? atof(pszSeconds) : 2.0;
}

// Creates, initialises, copies, assigns and destroys probes at random until the deadline.
void Churn(CSimAudioService& service, unsigned nSeed, std::chrono::steady_clock::time_point deadline)
{
    CoInitialize(nullptr);
    DWORD dwRegister = service.RegisterOnThisThread();
    std::minstd_rand random(nSeed);
    CProbe* slots[4] = {};
    while (std::chrono::steady_clock::now() < deadline) {
        CProbe*& pSlot = slots[random() % 4];
        CProbe* pOther = slots[random() % 4];
        switch (random() % 5) {
        case 0:
            delete pSlot;
            pSlot = new CProbe;
            pSlot->Initialize(random() % 2 ? eFindDefault : eFindByName, "second");
            break;
        case 1:
            if (pOther && pOther != pSlot) {
                delete pSlot;
                pSlot = new CProbe(*pOther);
            }
            break;
        case 2:
            if (pSlot && pOther)
                *pSlot = *pOther;
            break;
        case 3:
            delete pSlot;
            pSlot = nullptr;
            break;
        default:
            if (pSlot)
                pSlot->SetVolume(static_cast<float>(random() % 100) / 100.0f, true);
            break;
        }
    }
    for (CProbe* pProbe : slots)
        delete pProbe;
    service.RevokeFromThisThread(dwRegister);
    CoUninitialize();
}

TEST(Stress, NoNotificationReachesADestroyedObject)
{
    {
        CSimAudioService service;
        service.AddEndpoint(L"First");
        service.AddEndpoint(L"Second");
        {
            CProbe first;
            memcpy(&g_pvProbeVtable, &first, sizeof(void*));
        }
        service.Flood(true);

        auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long long>(StressSeconds() * 1000));
        std::vector<std::thread> workers;
        for (unsigned nSeed = 1; nSeed <= 3; ++nSeed)
            workers.emplace_back(Churn, std::ref(service), nSeed, deadline);
        for (std::thread& worker : workers)
            worker.join();

        service.Flood(false);
        EXPECT_EQ(service.Live(), 0);
    }
    EXPECT_EQ(g_cHeardDead, 0);
    EXPECT_GT(g_cHeard, 0);
    for (void* pv : g_graveyard)
        ::operator delete(pv);
}

}
