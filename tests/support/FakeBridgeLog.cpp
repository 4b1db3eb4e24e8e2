#include "tests/support/FakeBridgeLog.h"

#include <algorithm>
#include <gtest/gtest.h>

int FakeBridgeLog::Count(const std::string& entry) const
{
    return static_cast<int>(std::count(m_gLog.begin(), m_gLog.end(), entry));
}

int FakeBridgeLog::IndexOf(const std::string& entry) const
{
    auto it = std::find(m_gLog.begin(), m_gLog.end(), entry);
    return it == m_gLog.end() ? -1 : static_cast<int>(it - m_gLog.begin());
}

bool FakeBridgeLog::Record(const std::string& entry, const void* p, const FakeBridgeToken& token,
                           const char* pKind, bool bResult)
{
    EXPECT_EQ(p, static_cast<const void*>(token.m_Bytes)) << entry << ": not the " << pKind;
    if (!entry.empty())
        m_gLog.push_back(entry);
    return bResult;
}
