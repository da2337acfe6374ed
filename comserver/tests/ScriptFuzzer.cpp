// libFuzzer target: replacements and a script run through a register pass, an unregister
// pass and a second register pass against the in-memory store, which holds a read-only key
// and a key with subkeys that no script wrote.
//
// Input: one byte of options (bit 0: the double-byte code page), then "NAME=VALUE" lines up
// to the first NUL, then the script. Without a NUL everything after the options is script.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CCodePage.h"
#include "CMemoryRegistryStore.h"
#include "CScriptInterpreter.h"
#include "CScriptMemory.h"

namespace
{
void AddReplacements(const std::string& strLines, CScriptReplacements* pReplacements)
{
    size_t iLine = 0;
    while (iLine < strLines.size()) {
        size_t iEnd = strLines.find('\n', iLine);
        if (iEnd == std::string::npos) iEnd = strLines.size();
        std::string strLine = strLines.substr(iLine, iEnd - iLine);
        size_t iEqual = strLine.find('=');
        if (iEqual != std::string::npos) {
            CScriptMemory<OLECHAR> pwzName(CCodePage::DupWide(strLine.substr(0, iEqual).c_str()));
            CScriptMemory<OLECHAR> pwzValue(CCodePage::DupWide(strLine.substr(iEqual + 1).c_str()));
            if (pwzName.Get() && pwzValue.Get()) pReplacements->Add(pwzName.Get(), pwzValue.Get());
        }
        iLine = iEnd + 1;
    }
}

void RunPass(CScriptInterpreter& interpreter, const std::string& strScript, bool fRegister,
             const CMemoryRegistryStore& store)
{
    interpreter.RunText(strScript.data(), strScript.size(), fRegister);
    if (store.OpenHandleCount() != 0) std::abort();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbData, size_t cbData)
{
    if (cbData == 0) return 0;
    CCodePage::UseDoubleByteTable((pbData[0] & 1) != 0);
    std::string strInput(reinterpret_cast<const char*>(pbData + 1), cbData - 1);
    size_t iNul = strInput.find('\0');

    CScriptReplacements replacements;
    std::string strScript = strInput;
    if (iNul != std::string::npos) {
        AddReplacements(strInput.substr(0, iNul), &replacements);
        strScript = strInput.substr(iNul + 1);
    }

    CMemoryRegistryStore store;
    store.AddKey(eRootCurrentUser, "ReadOnly", true);
    store.AddKey(eRootClassesRoot, "CLSID\\{C}\\Implemented Categories\\{X}");
    CScriptInterpreter interpreter(store, replacements);
    RunPass(interpreter, strScript, true, store);
    RunPass(interpreter, strScript, false, store);
    RunPass(interpreter, strScript, true, store);
    return 0;
}
