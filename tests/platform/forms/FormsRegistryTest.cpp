#include "platform/forms/FormsRegistry.h"
#include "tests/platform/forms/FormsTestFixture.h"
#include "tests/support/TestTempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

using namespace forms;

namespace
{
// What the configuration dialog does on "Start": open the key, create it when missing, write.
bool StoreChoice(const std::string& api, std::uint32_t fullscreen)
{
    std::unique_ptr<RegistryKey> pKey = Registry::CurrentUser().OpenSubKey("Software\\Korvelane", true);
    if (!pKey)
    {
        std::unique_ptr<RegistryKey> pSoftware = Registry::CurrentUser().CreateSubKey("Software");
        if (pSoftware)
            pSoftware->CreateSubKey("Korvelane");
        pKey = Registry::CurrentUser().OpenSubKey("Software\\Korvelane", true);
    }
    if (!pKey)
        return false;
    const bool stored = pKey->SetValue("GraphicsAPI", api) && pKey->SetValueDWord("Fullscreen", fullscreen);
    pKey->Close();
    return stored;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

TEST_F(FormsTest, RegistryKeysAndValuesInMemory)
{
    EXPECT_FALSE(Registry::CurrentUser().OpenSubKey("Software\\Korvelane")) << "a fresh store is empty";
    ASSERT_TRUE(StoreChoice("Direct3D 11", 1));
    std::unique_ptr<RegistryKey> pKey = Registry::CurrentUser().OpenSubKey("software\\KORVELANE");
    ASSERT_TRUE(pKey) << "names ignore case";
    EXPECT_EQ(pKey->GetName(), "HKEY_CURRENT_USER\\Software\\Korvelane");
    const RegistryValue api = pKey->GetValue("graphicsapi");
    EXPECT_EQ(api.kind, RegistryValueKind::String);
    EXPECT_EQ(api.text, "Direct3D 11");
    EXPECT_EQ(pKey->GetValue("Fullscreen").dword, 1u);
    EXPECT_TRUE(pKey->GetValue("VSync").IsNone());
    EXPECT_FALSE(pKey->SetValue("VSync", "1")) << "opened read-only";
    EXPECT_FALSE(pKey->CreateSubKey("Sub"));

    std::unique_ptr<RegistryKey> pWritable = Registry::CurrentUser().OpenSubKey("Software\\Korvelane", true);
    ASSERT_TRUE(pWritable);
    EXPECT_TRUE(pWritable->SetValueDWord("GraphicsAPI", 7));
    EXPECT_EQ(pKey->GetValue("GraphicsAPI").kind, RegistryValueKind::DWord) << "a value may change its kind";
    pWritable->Close();
    EXPECT_FALSE(pWritable->SetValue("x", "y"));
    EXPECT_TRUE(pWritable->GetValue("GraphicsAPI").IsNone()) << "a closed key reads nothing";
}

TEST_F(FormsTest, RegistryFailuresCanBeInjected)
{
    EXPECT_FALSE(FormsControl::FailRegistryNext("DeleteSubKey"));
    ASSERT_TRUE(FormsControl::FailRegistryNext("CreateSubKey", 1));
    EXPECT_FALSE(StoreChoice("Direct3D 11", 1)) << "cannot create: nothing is stored";
    EXPECT_FALSE(Registry::CurrentUser().OpenSubKey("Software"));
    ASSERT_TRUE(StoreChoice("Direct3D 11", 1));

    FormsControl::FailRegistryNext("OpenSubKey");
    EXPECT_FALSE(Registry::CurrentUser().OpenSubKey("Software\\Korvelane"));
    EXPECT_TRUE(Registry::CurrentUser().OpenSubKey("Software\\Korvelane"));
    FormsControl::FailRegistryNext("SetValue");
    EXPECT_FALSE(StoreChoice("OpenGL", 0));
}

TEST_F(FormsTest, RegistryFileRoundTripsAndIsReplacedWhole)
{
    TestTempDir dir;
    const std::string path = dir.GetPath() + "/config/korvelane/registry.txt";
    FormsControl::UseRegistryFile(path);
    ASSERT_TRUE(StoreChoice("Direct3D 11\tfast\\new\nline", 0));
    std::unique_ptr<RegistryKey> pKey = Registry::CurrentUser().OpenSubKey("Software\\Korvelane", true);
    ASSERT_TRUE(pKey);
    ASSERT_TRUE(pKey->SetValueDWord("VSync", 4294967295u));

    FormsControl::UseMemoryRegistry();
    EXPECT_FALSE(Registry::CurrentUser().OpenSubKey("Software\\Korvelane"));
    FormsControl::UseRegistryFile(path);
    pKey = Registry::CurrentUser().OpenSubKey("Software\\Korvelane");
    ASSERT_TRUE(pKey);
    EXPECT_EQ(pKey->GetValue("GraphicsAPI").text, "Direct3D 11\tfast\\new\nline");
    EXPECT_EQ(pKey->GetValue("VSync").dword, 4294967295u);
    EXPECT_EQ(pKey->GetValue("Fullscreen").kind, RegistryValueKind::DWord);

    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.GetPath() + "/config/korvelane"))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1) << "no temporary file is left behind";

    // A store that cannot be written reports it and leaves the old file whole.
    const std::string before = ReadFile(path);
    std::filesystem::permissions(dir.GetPath() + "/config/korvelane",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::unique_ptr<RegistryKey> pWritable = Registry::CurrentUser().OpenSubKey("Software\\Korvelane", true);
    const bool stored = pWritable->SetValue("GraphicsAPI", "OpenGL");
    std::filesystem::permissions(dir.GetPath() + "/config/korvelane", std::filesystem::perms::owner_all);
    if (geteuid() != 0) // root writes anyway
    {
        EXPECT_FALSE(stored);
        EXPECT_EQ(ReadFile(path), before);
    }
}

TEST_F(FormsTest, DamagedRegistryFilesReadAsEmpty)
{
    TestTempDir dir;
    const std::string path = dir.GetPath() + "/registry.txt";
    const char* damaged[] = {
        "",
        "not a registry\n",
        "KVREG 1\nsz\tName\tvalue before any key\n",
        "KVREG 1\nkey\tSoftware\\\\Korvelane\ndword\tFullscreen\t4294967296\n",
        "KVREG 1\nkey\tSoftware\\\\Korvelane\nsz\tName\tbad escape \\q\n",
        "KVREG 1\nkey\tSoftware\\\\Korvelane\nqword\tName\t1\n",
    };
    for (const char* pText : damaged)
    {
        std::ofstream(path, std::ios::binary) << pText;
        ::testing::internal::CaptureStderr();
        FormsControl::UseRegistryFile(path);
        ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(Registry::CurrentUser().OpenSubKey("Software\\Korvelane")) << pText;
    }
    std::ofstream(path, std::ios::binary)
        << "KVREG 1\nkey\tSoftware\\\\Korvelane\nsz\tGraphicsAPI\tDirect3D 11\n";
    FormsControl::UseRegistryFile(path);
    EXPECT_TRUE(Registry::CurrentUser().OpenSubKey("Software")) << "keys above a listed key exist";
    EXPECT_EQ(Registry::CurrentUser().OpenSubKey("Software\\Korvelane")->GetValue("GraphicsAPI").text,
              "Direct3D 11");
}

TEST_F(FormsTest, TheRegistryFileFollowsTheConfigurationFolder)
{
    const char* pOld = std::getenv("KV_REGISTRY_FILE");
    const std::string old = pOld ? pOld : "";
    const char* pOldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string oldConfig = pOldConfig ? pOldConfig : "";
    unsetenv("KV_REGISTRY_FILE");
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(FormsControl::GetDefaultRegistryPath(), "/tmp/xdg/korvelane/registry.txt");
    setenv("KV_REGISTRY_FILE", "/tmp/elsewhere.txt", 1);
    EXPECT_EQ(FormsControl::GetDefaultRegistryPath(), "/tmp/elsewhere.txt");
    if (pOld != nullptr)
        setenv("KV_REGISTRY_FILE", old.c_str(), 1);
    else
        unsetenv("KV_REGISTRY_FILE");
    if (pOldConfig != nullptr)
        setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
