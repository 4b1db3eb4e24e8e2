#pragma once
// A tools bridge for tests: logs every call into the shared FakeBridgeLog ("create facade",
// "configuration dialog", "get audio device", "close editor dialogs", "get screen resolution",
// "message box", "show editor dialog", "update editor dialogs", "invalidate editor dialogs",
// "delete facade"); the dialogs' answers are scripted. Installs itself as the
// singleton's tools bridge on construction and removes itself on destruction.

#include "framework/app/KE_ToolsBridge.h"
#include "tests/support/FakeBridgeLog.h"

#include <cstdint>
#include <string>
#include <vector>

class FakeToolsBridge : public KE_ToolsBridge, public virtual FakeBridgeLog
{
public:
    FakeToolsBridge();
    ~FakeToolsBridge() override;

    // Scripted answers.
    bool m_bDialogConfirmed = true;
    bool m_bAudioDeviceSelected = true;
    std::uint32_t m_uiAudioDevice = 0;
    std::vector<bool> m_gCloseAnswers; // answers of CloseInterpolationEditorDialogs, then true

    // Read back.
    std::vector<bool> m_gForceArguments; // of CloseInterpolationEditorDialogs
    std::vector<std::string> m_gBannerPaths;
    std::vector<int> m_gBannerTimes;

    KG_ManagedFacade* CreateManagedFacade() override { return Make<KG_ManagedFacade>(m_Facade, KIND); }
    void DeleteManagedFacade(KG_ManagedFacade* p) override;
    bool ShowConfigurationDialog(KG_ManagedFacade* p, const KB_GrowingArray<KB_String>& gBannerPaths,
                                 const KB_GrowingArray<int>& gBannerTimes) override;
    bool GetSelectedAudioDevice(KG_ManagedFacade* p, std::uint32_t* pDevice) override;
    bool CloseInterpolationEditorDialogs(KG_ManagedFacade* p, bool bForce) override;
    // The application never asks these two; only the graphics layer does. No choice, no box.
    bool GetSelectedScreenResolution(KG_ManagedFacade* p, KR_ScreenResolution*, int*, int*, int*) override
    {
        return Record("get screen resolution", p, m_Facade, KIND, false);
    }
    void ShowMessageBox(KG_ManagedFacade* p, const KB_String&, const KB_String&) override
    {
        Record("message box", p, m_Facade, KIND);
    }
    bool ShowInterpolationEditorDialog(KG_ManagedFacade* p) override
    {
        return Record("show editor dialog", p, m_Facade, KIND, true);
    }
    void UpdateInterpolationEditorDialogs(KG_ManagedFacade* p) override
    {
        Record("update editor dialogs", p, m_Facade, KIND);
    }
    void InvalidateInterpolationEditorDialogs(KG_ManagedFacade* p) override
    {
        Record("invalidate editor dialogs", p, m_Facade, KIND);
    }

private:
    static constexpr const char* KIND = "facade";
    FakeBridgeToken m_Facade;
};
