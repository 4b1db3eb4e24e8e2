#pragma once
// The engine's only door to its dialogs: the start-up device configuration dialog, the editor
// dialogs and message boxes. Created by the engine singleton's initialisation and owned by it;
// main thread only.
//
// Headless, the configuration dialog is not shown: it reads the banners as the dialog would and
// confirms its default choice at once (first graphics context, adapter and output, the
// 1280 x 720 mode when listed else the first mode, windowed, first audio device). Message boxes
// and the quit question go to the Win32 message box, which tests script and real runs answer
// with the first button.
//
// Does NOT open editor dialogs yet: there are none to close, so only the developer-mode quit
// question can refuse a quit.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "render/device/KR_ScreenResolution.h"

#include <cstdint>

class KG_ManagedFacade
{
public:
    KG_ManagedFacade(); // no dialog result yet
    ~KG_ManagedFacade();

    KG_ManagedFacade(const KG_ManagedFacade&) = delete;
    KG_ManagedFacade& operator=(const KG_ManagedFacade&) = delete;

    // Reads every banner through the file manager (a banner that cannot be read is skipped) and
    // runs the configuration dialog titled with the application name. True when a valid choice
    // was confirmed; the facade then holds it.
    bool ShowConfigurationDialog(const KB_GrowingArray<KB_String>& gBannerPaths,
                                 const KB_GrowingArray<int>& gBannerTimes);
    // The whole chosen mode and the graphics context, adapter and output indices; false (outputs
    // untouched) without a confirmed choice or with a null pointer.
    bool GetSelectedScreenResolution(KR_ScreenResolution* pResolution, int* piContext, int* piAdapter,
                                     int* piOutput) const;
    // The chosen audio device index; false (value untouched) without a confirmed choice or with
    // a null pointer.
    bool GetSelectedAudioDevice(std::uint32_t* pDevice) const;
    // A modal box with that text and caption and an OK button.
    void ShowMessageBox(const KB_String& sText, const KB_String& sCaption);
    // Closes the editor dialogs, then in developer mode asks "Do you really want to quit?" under
    // "Quit?" (Yes/No). False when a dialog refused or the answer was No.
    bool CloseInterpolationEditorDialogs(bool bForce);

private:
    // The dialog's default choice of graphics context, adapter, output and mode; false when
    // there is nothing to choose.
    bool ChooseDefaultMode();

    KR_ScreenResolution m_SelectedScreenResolution;
    int m_iGraphicsContext = 0;
    int m_iAdapter = 0;
    int m_iOutput = 0;
    std::uint32_t m_uiAudioDevice = 0;
    bool m_bResultValid = false; // a choice was confirmed
};
