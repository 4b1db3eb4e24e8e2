#include "tests/support/FakeAudioBridge.h"

#include "framework/app/KE_ApplicationManager.h"

#include <string>

FakeAudioBridge::FakeAudioBridge()
{
    KE_ApplicationManager::SetAudioBridge(this);
}

FakeAudioBridge::~FakeAudioBridge()
{
    KE_ApplicationManager::SetAudioBridge(nullptr);
}

void FakeAudioBridge::DeleteAudioContextManager(KA_AudioContextManager* p)
{
    Record(std::string("delete ") + KIND, p, m_AudioContextManager, KIND);
}

void FakeAudioBridge::SelectAudioDevice(KA_AudioContextManager* p, std::uint32_t uiDevice)
{
    Record("select audio device", p, m_AudioContextManager, KIND);
    m_gSelectedAudioDevices.push_back(uiDevice);
}

void FakeAudioBridge::SetAudioEntityPath(KA_AudioContextManager* p, const KB_String& sDirectory)
{
    Record(std::string("audio entity path ") + sDirectory.GetBuffer(), p, m_AudioContextManager, KIND);
}
