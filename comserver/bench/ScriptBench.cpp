// Measures the registry script interpreter on generated scripts of about 1 KB, 64 KB and
// 1 MB against the in-memory store, each pass on its own, and prints one bench-table row
// (format in scripts/bench-table) per pass and size, then how the time grows from 64 KB to
// 1 MB (1.0 is linear).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CMemoryRegistryStore.h"
#include "CScriptInterpreter.h"

namespace
{
const char* const s_apszPass[] = {"script register", "script unregister"};

// Keys like the class script's, each with a default value, named values and a subkey.
std::string GenerateScript(size_t cbTarget)
{
    std::string str =
        "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tForceRemove VeltrixBench = s '%MODULE%'\r\n\t\t{\r\n";
    for (unsigned i = 0; str.size() < cbTarget; ++i) {
        std::string strIndex = std::to_string(i);
        str += "\t\t\tKey" + strIndex + " = s 'Value ''" + strIndex +
               "'' of the benchmark'\r\n\t\t\t{\r\n"
               "\t\t\t\tval Path = s '%MODULE%'\r\n\t\t\t\tval Count = d '" +
               strIndex +
               "'\r\n"
               "\t\t\t\tval Data = b '0A1B2C3D4E5F'\r\n\t\t\t\tSub\r\n\t\t\t}\r\n";
    }
    return str + "\t\t}\r\n\t}\r\n}\r\n";
}

// Median over five rounds of each pass's time per run; every register pass starts from an
// empty store and is followed by the unregister pass, which must leave only what it found.
void Measure(const std::string& strScript, const CScriptReplacements& replacements, int cRuns, double asecMedian[2])
{
    std::vector<double> asecRounds[2];
    for (int iRound = 0; iRound < 5; ++iRound) {
        double asec[2] = {};
        for (int iRun = 0; iRun < cRuns; ++iRun) {
            CMemoryRegistryStore store;
            CScriptInterpreter interpreter(store, replacements);
            for (int iPass = 0; iPass < 2; ++iPass) {
                auto t0 = std::chrono::steady_clock::now();
                HRESULT hr = interpreter.RunText(strScript.data(), strScript.size(), iPass == 0);
                asec[iPass] += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                if (FAILED(hr) || (iPass == 1 && store.Dump() != "HKCU\\Software\n")) {
                    std::fprintf(stderr, "%s pass failed (%08x)\n", s_apszPass[iPass], unsigned(hr));
                    std::exit(1);
                }
            }
        }
        for (int iPass = 0; iPass < 2; ++iPass)
            asecRounds[iPass].push_back(asec[iPass] / cRuns);
    }
    for (int iPass = 0; iPass < 2; ++iPass) {
        std::sort(asecRounds[iPass].begin(), asecRounds[iPass].end());
        asecMedian[iPass] = asecRounds[iPass][asecRounds[iPass].size() / 2];
    }
}
}

int main()
{
    CScriptReplacements replacements;
    replacements.Add(u"Module", u"C:\\Program Files\\Corvale\\Veltrix.dll");
    const struct
    {
        const char* pszName;
        size_t cb;
        int cRuns;
    } aSizes[] = {{"1 KB", 1024, 2000}, {"64 KB", 64 * 1024, 40}, {"1 MB", 1024 * 1024, 3}};
    double aasec[3][2];
    size_t acb[3];
    for (int i = 0; i < 3; ++i) {
        std::string strScript = GenerateScript(aSizes[i].cb);
        acb[i] = strScript.size();
        Measure(strScript, replacements, aSizes[i].cRuns, aasec[i]);
    }
    for (int iPass = 0; iPass < 2; ++iPass)
        for (int i = 0; i < 3; ++i)
            std::printf("row\tScript interpreter\t%s pass, %s\t%.1f\tMB/s\t\n", s_apszPass[iPass], aSizes[i].pszName,
                        acb[i] / aasec[i][iPass] / (1024.0 * 1024.0));
    // Time per byte at 1 MB over time per byte at 64 KB: 1 MB time / (16 x 64 KB time).
    for (int iPass = 0; iPass < 2; ++iPass)
        std::printf("row\tScript interpreter\t%s time per byte, 1 MB / 64 KB\t%.2f\tx\t\n", s_apszPass[iPass],
                    (aasec[2][iPass] / acb[2]) / (aasec[1][iPass] / acb[1]));
    return 0;
}
