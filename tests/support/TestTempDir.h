#pragma once
// A unique temporary folder for one test: made under $KV_TEST_TMP (or /tmp) on construction,
// removed with everything in it on destruction. Test code only.

#include <string>

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

private:
    std::string m_sPath;
};
