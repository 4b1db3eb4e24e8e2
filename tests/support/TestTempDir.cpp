#include "tests/support/TestTempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

std::string TestTempDir::ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void TestTempDir::WriteFile(const std::string& path, const std::string& bytes)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> TestTempDir::ListNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
