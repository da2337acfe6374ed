// Measures the registry script interpreter on generated scripts of about 1 KB, 64 KB and
// 1 MB against the in-memory store, each pass on its own, and prints one bench-table row
// (format in scripts/bench-table) per pass and size, then how the time grows from 64 KB to
// 1 MB (1.0 is linear).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CMemoryRegistryStore.h"
#include "CScriptInterpreter.h"

namespace
{
// Keys like the class script's, each with a default value, named values and a subkey.
std::string GenerateScript(size_t cbTarget)
{
    std::string str = "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tForceRemove VeltrixBench = s '%MODULE%'\r\n\t\t{\r\n";
    for (unsigned i = 0; str.size() < cbTarget; ++i) {
        std::string strIndex = std::to_string(i);
        str += "\t\t\tKey" + strIndex + " = s 'Value ''" + strIndex + "'' of the benchmark'\r\n\t\t\t{\r\n"
               "\t\t\t\tval Path = s '%MODULE%'\r\n\t\t\t\tval Count = d '" + strIndex + "'\r\n"
               "\t\t\t\tval Data = b '0A1B2C3D4E5F'\r\n\t\t\t\tSub\r\n\t\t\t}\r\n";
    }
    return str + "\t\t}\r\n\t}\r\n}\r\n";
}

struct Timing
{
    double secRegister;
    double secUnregister;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median over several rounds of each pass's time per run; every register pass starts from an
// empty store and is followed by the unregister pass it is measured against.
Timing Measure(const std::string& strScript, const CScriptReplacements& replacements, int cRuns)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> registers, unregisters;
    for (int iRound = 0; iRound < 5; ++iRound) {
        Timing round = {0, 0};
        for (int iRun = 0; iRun < cRuns; ++iRun) {
            CMemoryRegistryStore store;
            CScriptInterpreter interpreter(store, replacements);
            Clock::time_point t0 = Clock::now();
            HRESULT hrRegister = interpreter.RunText(strScript.data(), strScript.size(), true);
            Clock::time_point t1 = Clock::now();
            HRESULT hrUnregister = interpreter.RunText(strScript.data(), strScript.size(), false);
            Clock::time_point t2 = Clock::now();
            if (FAILED(hrRegister) || FAILED(hrUnregister) || store.Dump() != "HKCU\\Software\n") {
                std::fprintf(stderr, "script bench: a pass failed (%08x, %08x)\n", unsigned(hrRegister), unsigned(hrUnregister));
                std::exit(1);
            }
            round.secRegister += std::chrono::duration<double>(t1 - t0).count();
            round.secUnregister += std::chrono::duration<double>(t2 - t1).count();
        }
        registers.push_back(round.secRegister / cRuns);
        unregisters.push_back(round.secUnregister / cRuns);
    }
    return {Median(registers), Median(unregisters)};
}

void PrintRow(const char* pszPass, const char* pszSize, size_t cb, double sec)
{
    std::printf("row\tScript interpreter\t%s, %s\t%.1f\tMB/s\t\n", pszPass, pszSize, cb / sec / (1024.0 * 1024.0));
}
}

int main()
{
    CScriptReplacements replacements;
    replacements.Add(u"Module", u"C:\\Program Files\\Corvale\\Veltrix.dll");

    struct Size
    {
        const char* pszName;
        size_t cb;
        int cRuns;
    } aSizes[] = {{"1 KB", 1024, 2000}, {"64 KB", 64 * 1024, 40}, {"1 MB", 1024 * 1024, 3}};
    Timing aTimings[3];
    size_t acb[3];

    for (int i = 0; i < 3; ++i) {
        std::string strScript = GenerateScript(aSizes[i].cb);
        acb[i] = strScript.size();
        aTimings[i] = Measure(strScript, replacements, aSizes[i].cRuns);
    }
    for (int i = 0; i < 3; ++i) PrintRow("register pass", aSizes[i].pszName, acb[i], aTimings[i].secRegister);
    for (int i = 0; i < 3; ++i) PrintRow("unregister pass", aSizes[i].pszName, acb[i], aTimings[i].secUnregister);

    // Time per byte at 1 MB over time per byte at 64 KB: 1 MB time / (16 x 64 KB time).
    double ratioRegister = (aTimings[2].secRegister / acb[2]) / (aTimings[1].secRegister / acb[1]);
    double ratioUnregister = (aTimings[2].secUnregister / acb[2]) / (aTimings[1].secUnregister / acb[1]);
    std::printf("row\tScript interpreter\tregister time per byte, 1 MB / 64 KB\t%.2f\tx\t\n", ratioRegister);
    std::printf("row\tScript interpreter\tunregister time per byte, 1 MB / 64 KB\t%.2f\tx\t\n", ratioUnregister);
    return 0;
}
