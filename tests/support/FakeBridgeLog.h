#pragma once
// The call log the bridge fakes share: every fake appends its calls here ("create scene manager",
// "delete facade", "frame", ...), so one test can check the order of calls across subsystems.
// Each fake derives from it virtually, so the fakes combined in FakeSubsystemBridge write into one
// log; a fake used alone has its own.
//
// The objects the fakes "create" are FakeBridgeTokens: distinct aligned addresses that only the
// fakes ever look at. Each call checks that it was handed the token of the right kind.

#include <string>
#include <vector>

// One distinct address per member kind, never read.
struct FakeBridgeToken
{
    alignas(16) char m_Bytes[16] = {};

    template <typename T>
    T* As()
    {
        return reinterpret_cast<T*>(m_Bytes);
    }
};

class FakeBridgeLog
{
public:
    std::vector<std::string> m_gLog;

    int Count(const std::string& entry) const;
    int IndexOf(const std::string& entry) const; // first log entry equal to entry; -1 when absent

protected:
    FakeBridgeLog() = default;
    ~FakeBridgeLog() = default;

    // Expects p to be the token of the kind named pKind; appends entry to the log unless it is
    // empty, and returns bResult.
    bool Record(const std::string& entry, const void* p, const FakeBridgeToken& token, const char* pKind,
                bool bResult = true);
    // "create <kind>" logged; the kind's token.
    template <typename T>
    T* Make(FakeBridgeToken& token, const char* pKind)
    {
        m_gLog.push_back(std::string("create ") + pKind);
        return token.As<T>();
    }
};
