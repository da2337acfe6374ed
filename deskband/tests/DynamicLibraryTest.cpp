// The run-time library loader the band reaches the visual-styles library with. Wine loads that
// library into every process that makes a window and never unloads it, so the loader is tried
// here on another library of the system folder, in a process that makes no window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <string>

#include "CDynamicLibrary.h"

// The library's trace call, silent as in the delivered library.
void Trace(const char*, ...) {}

// A library of the same name planted where a bare name is looked for before the system folder
// (here the DLL directory) is not the one loaded; and the loader frees what it loaded.
TEST(DynamicLibrary, LoadsOnlyFromTheSystemFolderAndFreesWhenItGoes)
{
    char szFolder[MAX_PATH];
    GetModuleFileNameA(nullptr, szFolder, MAX_PATH);
    *strrchr(szFolder, '\\') = '\0';
    const std::string planted = std::string(szFolder) + "\\planted-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(planted.c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileA((std::string(szFolder) + "\\Veltrix.dll").c_str(), (planted + "\\wtsapi32.dll").c_str(), FALSE));
    SetDllDirectoryA(planted.c_str());
    {
        CDynamicLibrary library;
        ASSERT_TRUE(library.Load("wtsapi32.dll"));
        char szLoaded[MAX_PATH], szSystem[MAX_PATH];
        GetModuleFileNameA(library.GetModule(), szLoaded, MAX_PATH);
        const UINT cchSystem = GetSystemDirectoryA(szSystem, MAX_PATH);
        EXPECT_EQ(_strnicmp(szLoaded, szSystem, cchSystem), 0) << szLoaded;
        EXPECT_NE(library.GetFunction("WTSQuerySessionInformationA"), nullptr);
    }
    EXPECT_EQ(GetModuleHandleA("wtsapi32.dll"), nullptr);
    SetDllDirectoryA(nullptr);
    DeleteFileA((planted + "\\wtsapi32.dll").c_str());
    RemoveDirectoryA(planted.c_str());
}
