#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"

#include <gtest/gtest.h>

namespace
{
INT_PTR FakeEntry()
{
    return 42;
}

class WinModules : public ::testing::Test
{
protected:
    void SetUp() override { Win32Control::Reset(); }
    void TearDown() override { Win32Control::Reset(); }
};
} // namespace

TEST_F(WinModules, BuiltInModulesLoadByNameWithoutRegardToCase)
{
    HMODULE d3d = LoadLibraryA("d3d11.dll");
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(LoadLibraryA("D3D11"), d3d);
    EXPECT_NE(LoadLibraryA("dxgi.dll"), nullptr);
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(Win32Control::GetModuleReferenceCount("d3d11.dll"), 2);
    EXPECT_EQ(GetModuleHandleA("d3d11.dll"), d3d);
    EXPECT_TRUE(FreeLibrary(d3d));
    EXPECT_TRUE(FreeLibrary(d3d));
    EXPECT_FALSE(FreeLibrary(d3d)) << "more frees than loads";
    EXPECT_EQ(GetModuleHandleA("d3d11.dll"), nullptr);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr) << "the program's own instance";
}

TEST_F(WinModules, EntryPointsComeFromRegistrationAndNeedALoadedModule)
{
    Win32Modules::RegisterProcedure("dxgi.dll", "TestEntryPoint", FakeEntry);
    HMODULE dxgi = LoadLibraryA("dxgi.dll");
    FARPROC entry = GetProcAddress(dxgi, "TestEntryPoint");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(), 42);
    EXPECT_EQ(GetProcAddress(dxgi, "Missing"), nullptr);
    FreeLibrary(dxgi);
    EXPECT_EQ(GetProcAddress(dxgi, "TestEntryPoint"), nullptr) << "module no longer loaded";
}

TEST_F(WinModules, TestsCanMakeAModuleMissing)
{
    Win32Control::SetModuleMissing("d3d11.dll", true);
    EXPECT_EQ(LoadLibraryA("d3d11.dll"), nullptr);
    EXPECT_NE(LoadLibraryA("dxgi.dll"), nullptr);
    Win32Control::Reset();
    EXPECT_NE(LoadLibraryA("d3d11.dll"), nullptr) << "Reset brings it back";
}
