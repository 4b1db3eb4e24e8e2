#include "tests/support/TestTempDir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

TestTempDir::TestTempDir()
{
    const char* pRoot = std::getenv("KV_TEST_TMP");
    std::string root = (pRoot != nullptr && pRoot[0] != '\0') ? pRoot : "/tmp";
    std::error_code error;
    std::filesystem::create_directories(root, error);
    std::string pattern = root + "/kvtest-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        return;
    m_sPath = std::filesystem::absolute(buffer.data(), error).lexically_normal().string();
    if (error)
        m_sPath = buffer.data();
}

TestTempDir::~TestTempDir()
{
    if (m_sPath.empty())
        return;
    std::error_code error;
    std::filesystem::remove_all(m_sPath, error);
}

std::string TestTempDir::Join(const std::string& relative) const
{
    return m_sPath + "/" + relative;
}
