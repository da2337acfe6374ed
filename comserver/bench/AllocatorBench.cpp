// Compares the module allocator, set up with the platform's heap policy as the library's
// attach sets it up, with HeapAlloc and HeapFree on the process heap, for blocks of 16 bytes
// to 64 KB. Prints one bench-table row per size (format in scripts/bench-table): the median
// time of an allocate-and-free batch through the module allocator over the median time of the
// same batch on the process heap, both measured in turns within one run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "CServerModule.h"
#include "ClassEntry.h"

namespace
{
// A library without classes: only the allocator is measured.
const ClassEntry s_noClasses[] = {{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};

const int kcLiveBlocks = 64;
const int kcBatchesPerTurn = 20;
const int kcTurns = 101;

struct ModuleHeap
{
    static void* Alloc(size_t cb) { return ModuleAlloc(cb); }
    static void Free(void* pv) { ModuleFree(pv); }
};

struct ProcessHeap
{
    static void* Alloc(size_t cb) { return HeapAlloc(GetProcessHeap(), 0, cb); }
    static void Free(void* pv) { HeapFree(GetProcessHeap(), 0, pv); }
};

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One turn: batches of kcLiveBlocks allocations, then their frees, oldest first.
template <class THeap> double TimeTurn(size_t cb)
{
    void* apv[kcLiveBlocks];
    const double dStart = Now();
    for (int iBatch = 0; iBatch < kcBatchesPerTurn; ++iBatch) {
        for (void*& pv : apv)
            pv = THeap::Alloc(cb);
        for (void* pv : apv)
            THeap::Free(pv);
    }
    return Now() - dStart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}

int main()
{
    g_module.Attach(GetModuleHandleA(nullptr), s_noClasses);
    const char* pszGroup = g_module.m_phHeaps ? "Module allocator (extra heaps)" : "Module allocator (one heap)";
    for (size_t cb = 16; cb <= 64 * 1024; cb *= 4) {
        std::vector<double> ratios;
        TimeTurn<ModuleHeap>(cb);
        TimeTurn<ProcessHeap>(cb);
        for (int iTurn = 0; iTurn < kcTurns; ++iTurn) {
            // Alternate which goes first, so that neither always meets a warmer cache.
            double dModule = 0;
            if (iTurn % 2)
                dModule = TimeTurn<ModuleHeap>(cb);
            const double dProcess = TimeTurn<ProcessHeap>(cb);
            if (iTurn % 2 == 0)
                dModule = TimeTurn<ModuleHeap>(cb);
            ratios.push_back(dModule / dProcess);
        }
        printf("row\t%s\t%u %s blocks: ModuleAlloc+Free / HeapAlloc+Free\t%.3f\tx\t<= 1.10\n", pszGroup,
               static_cast<unsigned>(cb < 1024 ? cb : cb / 1024), cb < 1024 ? "B" : "KB", Median(ratios));
    }
    g_module.Detach();
    return 0;
}
