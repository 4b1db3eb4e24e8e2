#pragma once
// A unique temporary folder for one test: made under $KV_TEST_TMP (or /tmp) on construction,
// removed with everything in it on destruction. Test code only.

#include <string>
#include <vector>

class TestTempDir
{
public:
    TestTempDir();
    ~TestTempDir();
    TestTempDir(const TestTempDir&) = delete;
    TestTempDir& operator=(const TestTempDir&) = delete;

    // Absolute path without a trailing '/'; empty when the folder could not be made.
    const std::string& GetPath() const { return m_sPath; }
    bool IsValid() const { return !m_sPath.empty(); }
    // GetPath() + '/' + relative.
    std::string Join(const std::string& relative) const;

    // The whole file's bytes; empty when it cannot be read.
    static std::string ReadFile(const std::string& path);
    // Writes the bytes as the whole file, making its folders first.
    static void WriteFile(const std::string& path, const std::string& bytes);
    // The names of the folder's entries (not below them), sorted; empty when it cannot be read.
    static std::vector<std::string> ListNames(const std::string& folder);

private:
    std::string m_sPath;
};
