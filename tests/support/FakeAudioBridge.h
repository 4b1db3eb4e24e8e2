#pragma once
// An audio bridge for tests: logs every call into the shared FakeBridgeLog ("create audio context
// manager", "create audio context", "initialize audio context", "update audio", "select audio
// device", "audio entity path <directory>", "delete audio context manager"); the context's
// results are scripted. Installs itself as the singleton's audio bridge on construction and
// removes itself on destruction.

#include "framework/app/KE_AudioBridge.h"
#include "tests/support/FakeBridgeLog.h"

#include <cstdint>
#include <vector>

class FakeAudioBridge : public KE_AudioBridge, public virtual FakeBridgeLog
{
public:
    FakeAudioBridge();
    ~FakeAudioBridge() override;

    bool m_bAudioCreated = true;
    bool m_bAudioInitialized = true;
    std::vector<std::uint32_t> m_gSelectedAudioDevices; // read back

    KA_AudioContextManager* CreateAudioContextManager(KU_ApplicationFactory*) override
    {
        return Make<KA_AudioContextManager>(m_AudioContextManager, KIND);
    }
    void DeleteAudioContextManager(KA_AudioContextManager* p) override;
    bool CreateAudioContext(KA_AudioContextManager* p) override
    {
        return Record("create audio context", p, m_AudioContextManager, KIND, m_bAudioCreated);
    }
    bool InitializeAudioContext(KA_AudioContextManager* p) override
    {
        return Record("initialize audio context", p, m_AudioContextManager, KIND, m_bAudioInitialized);
    }
    void UpdateAudioContext(KA_AudioContextManager* p) override
    {
        Record("update audio", p, m_AudioContextManager, KIND);
    }
    void SelectAudioDevice(KA_AudioContextManager* p, std::uint32_t uiDevice) override;
    void SetAudioEntityPath(KA_AudioContextManager* p, const KB_String& sDirectory) override;

private:
    static constexpr const char* KIND = "audio context manager";
    FakeBridgeToken m_AudioContextManager;
};
