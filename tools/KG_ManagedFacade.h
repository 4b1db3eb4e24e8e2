#pragma once
// The engine's only door to its dialogs: the start-up device configuration dialog, the editor
// dialogs and message boxes. Created by the engine singleton's initialisation and owned by it;
// main thread only. Nothing of the forms layer shows in this header.
//
// The configuration dialog is modal: headless, the forms layer's modal runner drives it (the
// program's default runner presses "Start" when it is enabled, else "Abort").
//
// The editor windows belong to the facade's dialog manager, made with the facade and deleted with
// it (windows still open then go without a question).

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "render/device/KR_ScreenResolution.h"

#include <cstdint>
#include <memory>

class KG_InterpolationEditorDialogManager;

class KG_ManagedFacade
{
public:
    KG_ManagedFacade(); // no dialog result yet
    ~KG_ManagedFacade();

    KG_ManagedFacade(const KG_ManagedFacade&) = delete;
    KG_ManagedFacade& operator=(const KG_ManagedFacade&) = delete;

    // Reads and decodes every banner through the file manager (one that cannot be read or decoded
    // is skipped), then runs the configuration dialog over the engine's graphics contexts and audio
    // devices, titled with the application name. True when the user confirmed a display mode; the
    // facade then holds the choice.
    bool ShowConfigurationDialog(const KB_GrowingArray<KB_String>& gBannerPaths,
                                 const KB_GrowingArray<int>& gBannerTimes);
    // The whole chosen mode and the graphics context, adapter and output indices; false (outputs
    // untouched) without a confirmed choice or with a null pointer.
    bool GetSelectedScreenResolution(KR_ScreenResolution* pResolution, int* piContext, int* piAdapter,
                                     int* piOutput) const;
    // The chosen audio device index (0xFFFFFFFF when the dialog had none selected); false (value
    // untouched) without a confirmed choice or with a null pointer.
    bool GetSelectedAudioDevice(std::uint32_t* pDevice) const;
    // A modal box with that text and caption and only an OK button.
    void ShowMessageBox(const KB_String& sText, const KB_String& sCaption);

    // The editor windows, through the dialog manager: open one more (true), update each once a
    // frame, make each drop and re-resolve its engine objects after a reload.
    bool ShowInterpolationEditorDialog();
    void UpdateInterpolationEditorDialogs();
    void InvalidateInterpolationEditorDialogs();
    // Closes the editor windows (asking about unsaved edits unless bForce), then in developer
    // mode asks "Do you really want to quit?" under "Quit?" (Yes/No, stop icon). False when a
    // window stayed open or the answer was No.
    bool CloseInterpolationEditorDialogs(bool bForce);
    KG_InterpolationEditorDialogManager* GetInterpolationEditorDialogManager() const
    {
        return m_pInterpolationEditorDialogManager.get();
    }

private:
    KR_ScreenResolution m_oSelectedScreenResolution;
    int m_iGraphicsContext = 0;
    int m_iAdapter = 0;
    int m_iOutput = 0;
    std::uint32_t m_uiAudioDevice = 0;
    bool m_bResultValid = false; // a choice was confirmed
    std::unique_ptr<KG_InterpolationEditorDialogManager> m_pInterpolationEditorDialogManager;
};
