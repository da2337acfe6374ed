#include <gtest/gtest.h>
#include <windows.h>
TEST(Smoke, LoadsDll) {
    HMODULE h = LoadLibraryA("Veltrix.dll");
    ASSERT_NE(h, nullptr) << GetLastError();
    EXPECT_NE(GetProcAddress(h, "DllGetClassObject"), nullptr);
    FreeLibrary(h);
}
