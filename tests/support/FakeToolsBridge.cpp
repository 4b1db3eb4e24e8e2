#include "tests/support/FakeToolsBridge.h"

#include "framework/app/KE_ApplicationManager.h"

FakeToolsBridge::FakeToolsBridge()
{
    KE_ApplicationManager::SetToolsBridge(this);
}

FakeToolsBridge::~FakeToolsBridge()
{
    KE_ApplicationManager::SetToolsBridge(nullptr);
}

void FakeToolsBridge::DeleteManagedFacade(KG_ManagedFacade* p)
{
    Record(std::string("delete ") + KIND, p, m_Facade, KIND);
}

bool FakeToolsBridge::ShowConfigurationDialog(KG_ManagedFacade* p,
                                              const KB_GrowingArray<KB_String>& gBannerPaths,
                                              const KB_GrowingArray<int>& gBannerTimes)
{
    for (std::uint32_t i = 0; i < gBannerPaths.GetNumMembers(); ++i)
        m_gBannerPaths.push_back(gBannerPaths[i].GetBuffer());
    for (std::uint32_t i = 0; i < gBannerTimes.GetNumMembers(); ++i)
        m_gBannerTimes.push_back(gBannerTimes[i]);
    return Record("configuration dialog", p, m_Facade, KIND, m_bDialogConfirmed);
}

bool FakeToolsBridge::GetSelectedAudioDevice(KG_ManagedFacade* p, std::uint32_t* pDevice)
{
    if (m_bAudioDeviceSelected)
        *pDevice = m_uiAudioDevice;
    return Record("get audio device", p, m_Facade, KIND, m_bAudioDeviceSelected);
}

bool FakeToolsBridge::CloseInterpolationEditorDialogs(KG_ManagedFacade* p, bool bForce)
{
    m_gForceArguments.push_back(bForce);
    bool bAnswer = true;
    if (!m_gCloseAnswers.empty())
    {
        bAnswer = m_gCloseAnswers.front();
        m_gCloseAnswers.erase(m_gCloseAnswers.begin());
    }
    return Record("close editor dialogs", p, m_Facade, KIND, bAnswer);
}
