#pragma once
// The engine singleton's door to the managed facade (the dialogs), whose class lives in the tools
// library above the framework and the renderer. The program entry implements it where the class
// is visible and installs it with KE_ApplicationManager::SetToolsBridge before
// KE_Application::Initialize; tests install tests/support/FakeToolsBridge. Besides the
// application, the graphics context layer and the scene manager use it (they sit below the facade). Main
// thread only; every call gets a non-null facade (the caller checks first). Does NOT own anything: the engine
// singleton owns what Create returns.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

#include <cstdint>

class KG_ManagedFacade;
struct KR_ScreenResolution;

class KE_ToolsBridge
{
public:
    KE_ToolsBridge() = default;
    virtual ~KE_ToolsBridge() = default;

    KE_ToolsBridge(const KE_ToolsBridge&) = delete;
    KE_ToolsBridge& operator=(const KE_ToolsBridge&) = delete;

    // Null when it cannot be made. Delete runs the facade's own destructor.
    virtual KG_ManagedFacade* CreateManagedFacade() = 0;
    virtual void DeleteManagedFacade(KG_ManagedFacade* p) = 0;

    // ShowConfigurationDialog: true when the user confirmed a valid choice.
    // GetSelectedAudioDevice: false (value untouched) without a confirmed choice.
    // CloseInterpolationEditorDialogs: false when a dialog or the user refused to quit.
    virtual bool ShowConfigurationDialog(KG_ManagedFacade* pFacade,
                                         const KB_GrowingArray<KB_String>& gBannerPaths,
                                         const KB_GrowingArray<int>& gBannerTimes) = 0;
    virtual bool GetSelectedAudioDevice(KG_ManagedFacade* pFacade, std::uint32_t* pDevice) = 0;
    virtual bool CloseInterpolationEditorDialogs(KG_ManagedFacade* pFacade, bool bForce) = 0;
    // For the graphics context manager: the dialog's display choice (false, outputs untouched,
    // without one or with a null output) ...
    virtual bool GetSelectedScreenResolution(KG_ManagedFacade* pFacade, KR_ScreenResolution* pResolution,
                                             int* piContext, int* piAdapter, int* piOutput) = 0;
    // ... and for the graphics context: a modal box with an OK button.
    virtual void ShowMessageBox(KG_ManagedFacade* pFacade, const KB_String& sText,
                                const KB_String& sCaption) = 0;
    // For the scene manager: the editor windows. Show opens one more (true when it did), Update
    // refreshes each once a frame, Invalidate makes each drop and re-resolve its engine objects
    // after the scenes reloaded them.
    virtual bool ShowInterpolationEditorDialog(KG_ManagedFacade* pFacade) = 0;
    virtual void UpdateInterpolationEditorDialogs(KG_ManagedFacade* pFacade) = 0;
    virtual void InvalidateInterpolationEditorDialogs(KG_ManagedFacade* pFacade) = 0;
};
