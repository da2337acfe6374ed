// libFuzzer target: replacements and a script run through a register pass, an unregister
// pass and a second register pass against the in-memory store, which holds a read-only key
// and a key with subkeys that no script wrote.
//
// Input: one byte of options (bit 0: the double-byte code page), then "NAME=VALUE" lines up
// to the first NUL, then the script. Without a NUL everything after the options is script.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "CCodePage.h"
#include "CMemoryRegistryStore.h"
#include "CScriptInterpreter.h"
#include "CModuleMemory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbData, size_t cbData)
{
    if (cbData == 0)
        return 0;
    CCodePage::UseDoubleByteTable((pbData[0] & 1) != 0);
    std::string strScript(reinterpret_cast<const char*>(pbData + 1), cbData - 1);
    CScriptReplacements replacements;
    size_t iNul = strScript.find('\0');
    if (iNul != std::string::npos) {
        std::istringstream lines(strScript.substr(0, iNul));
        for (std::string strLine; std::getline(lines, strLine);) {
            size_t iEqual = strLine.find('=');
            if (iEqual == std::string::npos)
                continue;
            CModuleMemory<OLECHAR> pwzName(CCodePage::DupWide(strLine.substr(0, iEqual).c_str()));
            CModuleMemory<OLECHAR> pwzValue(CCodePage::DupWide(strLine.substr(iEqual + 1).c_str()));
            if (pwzName.Get() && pwzValue.Get())
                replacements.Add(pwzName.Get(), pwzValue.Get());
        }
        strScript.erase(0, iNul + 1);
    }

    CMemoryRegistryStore store;
    store.AddKey(eRootCurrentUser, "ReadOnly", true);
    store.AddKey(eRootClassesRoot, "CLSID\\{C}\\Implemented Categories\\{X}");
    CScriptInterpreter interpreter(store, replacements);
    for (bool fRegister : {true, false, true}) {
        interpreter.RunText(strScript.data(), strScript.size(), fRegister);
        if (store.OpenHandleCount() != 0)
            std::abort();
    }
    return 0;
}
