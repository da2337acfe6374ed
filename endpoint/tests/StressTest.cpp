// Objects made, opened (by key, on the default endpoint, or following it), copied, assigned and
// destroyed at random on three threads, while another program changes both endpoints as fast as
// they are told and the user switches the default now and then: no notification reaches a
// destroyed object, and nothing is left behind. Runs STRESS_SECONDS (scripts/run-stress), else 2 s
// (make stress runs the tests whose names hold "Stress").
#include "QuillonTest.h"

#include <random>
#include <thread>

namespace
{

const DWORD kdwAlive = 0xA11FE5ED;
std::atomic<long> g_cHeard(0), g_cHeardDead(0);
std::atomic<void*> g_pvProbeVtable(nullptr);

// A freed probe is never given back, its canary dead and its virtual table put back, so that an
// OnVolumeChanged reaching it lands in the check instead of in freed memory.
struct CProbe : CQuillon
{
    CProbe() { g_pvProbeVtable = *reinterpret_cast<void**>(this); }
    void OnVolumeChanged(float, bool, GUID) override { ++(m_dwCanary == kdwAlive ? g_cHeard : g_cHeardDead); }
    static void operator delete(void* pv, size_t cb)
    {
        memset(pv, 0xDD, cb);
        *static_cast<void**>(pv) = g_pvProbeVtable;
    }
    DWORD m_dwCanary = kdwAlive;
};

void Churn(CSimAudioService& service, unsigned nSeed, ULONGLONG ullEnd)
{
    CoInitialize(nullptr);
    service.RegisterOnThisThread();
    std::minstd_rand random(nSeed);
    CProbe* rgpProbe[4] = {};
    while (GetTickCount64() < ullEnd) {
        CProbe*& pProbe = rgpProbe[random() % 4];
        CProbe* pOther = rgpProbe[random() % 4];
        const unsigned nAction = random() % 6;
        if (nAction < 2 && (!pProbe || pOther != pProbe)) {
            CProbe* pNew = nAction == 0 || !pOther ? new CProbe : new CProbe(*pOther);
            delete pProbe;
            pProbe = pNew;
        } else if (nAction == 2 && pProbe && pOther) {
            *pProbe = *pOther;
        } else if (nAction == 3 && pProbe && random() % 3 == 0) {
            (void)pProbe->InitializeFollowingDefault();
        } else if (nAction == 3 && pProbe) {
            (void)pProbe->Initialize(random() % 2 ? eFindDefault : eFindByName, "second");
        } else if (pProbe) {
            (void)pProbe->SetVolume(static_cast<float>(random() % 100) / 100.0f, true);
        }
    }
    for (CProbe* pProbe : rgpProbe)
        delete pProbe;
    CoUninitialize();
}

TEST_F(QuillonTest, StressNoNotificationReachesADestroyedObject)
{
    const char* pszSeconds = getenv("STRESS_SECONDS");
    const ULONGLONG ullEnd = GetTickCount64() + static_cast<ULONGLONG>((pszSeconds ? atof(pszSeconds) : 2.0) * 1000);
    m_service.AddEndpoint(L"Second");
    std::vector<std::thread> workers;
    for (unsigned nSeed = 1; nSeed <= 3; ++nSeed)
        workers.emplace_back(Churn, std::ref(m_service), nSeed, ullEnd);
    for (int i = 0; GetTickCount64() < ullEnd; ++i) {
        m_service.ChangeAsOther(i % 2, 0.5f, false, GUID_NULL);
        if (i % 16 == 0)
            m_service.SetDefault(i / 16 % 2);
        m_service.Flush();
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(m_service.Live(), 0);
    EXPECT_EQ(m_service.CallsOnReleased(), 0);
    EXPECT_EQ(g_cHeardDead, 0);
    EXPECT_GT(g_cHeard, 0);
}

}
