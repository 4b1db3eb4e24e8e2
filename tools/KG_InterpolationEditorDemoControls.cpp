#include "tools/KG_InterpolationEditorDemoControls.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "render/scene/KR_SceneManager.h"
#include "tools/KG_InterpolationEditorDialog.h"

namespace
{

enum class Action
{
    Mode,
    Key,
    Command,
    HeldKey,
};

struct ButtonSpec
{
    const char* pName;
    const char* pText;
    Action eAction;
    std::uint32_t uiCode; // mode, virtual key or editor command
    const char* pToolTip;
};

struct GroupSpec
{
    const char* pName;
    const char* pText;
    const ButtonSpec* pButtons;
    int iCount;
};

constexpr ButtonSpec CAMERA_MODE[] = {
    {"demoControlsButtonModeNormal", "Normal", Action::Mode, 0, "F1: Normal camera mode, run the demo"},
    {"demoControlsButtonModeRail", "Rail Edit", Action::Mode, 1,
     "F2: Rail Edit camera mode, demo pauses, your camera always shows the currently active camera, time "
     "manipulation moves along rail, no free roaming"},
    {"demoControlsButtonModeFree", "Free Edit", Action::Mode, 2,
     "F3: Free Edit camera mode, demo pauses, your camera can freely move around with WASD + (rclick)mouse, "
     "can "
     "edit splines, etc"},
    {"demoControlsButtonModeRoam", "Free Roam", Action::Mode, 3,
     "F4: Free Roam camera mode, free movement with WASD + (rclick)mouse, nothing can be changed"},
};

constexpr ButtonSpec VISUALIZERS[] = {
    {"demoControlsButtonVisCam", "Camera", Action::Key, 89, "Y: Toggle Show Camera Visualizations"},
    {"demoControlsButtonVisVertex", "Vertex", Action::Key, 88, "X: Toggle Show Vertex Visualizations"},
    {"demoControlsButtonVisCubemap", "CubeMap", Action::Key, 74, "J: Toggle Show CubeMap Visualizations"},
    {"demoControlsButtonVisLight", "Light", Action::Key, 67, "C: Toggle Show Light Visualizations"},
    {"demoControlsButtonVisAudio", "Audio", Action::Key, 72, "H: Toggle Show Audio Visualizations"},
    {"demoControlsButtonVisRotation", "Rotation", Action::Key, 71, "G: Toggle Show Rotation Visualizations"},
};

constexpr ButtonSpec MISC[] = {
    {"demoControlsButtonSaveFiles", "Save Files", Action::Key, 13, "Return: Save files for current scene"},
    {"demoControlsButtonUpdateNear", "Update Near", Action::Key, 86,
     "V: Place nearest control point on spline to the location of the green box"},
    {"demoControlsButtonPlaceNear", "Place Near", Action::Key, 66,
     "B: Place nearest control point on spline to current camera location"},
    {"demoControlsButtonReloadInterpolations", "Rld Interplts", Action::Key, 8,
     "Backspace: Reload interpolations for current scene"},
    {"demoControlsButtonReloadMaterial", "Rld Materials", Action::Key, 117,
     "F6: Reload Materials from XML file"},
    {"demoControlsButtonRenderCubemap", "Render CM", Action::Key, 120,
     "F9: Render CubeMaps for current scene"},
    {"demoControlsButtonScreenshotTrue", "HiRes ScrSht", Action::Key, 123, "F12: HiRes Screenshot"},
    {"demoControlsButtonScreenshotFalse", "Screenshot", Action::Key, 122,
     "F11: Screenshot using current resolution"},
};

constexpr ButtonSpec SPLINE[] = {
    {"demoControlsButtonPlaceCP", "Place Sel", Action::Key, 70,
     "F: Place currently selected control point at camera location"},
    {"demoControlsButtonUnhideAll", "Unhide All", Action::Command, KE_MST_UnhideAll,
     "U: Unhide all control points"},
    {"demoControlsButtonHideSelected", "Hide Sel", Action::Command, KE_MST_HideSelected,
     "Z: Hide selected control points"},
    {"demoControlsButtonNextCP", "Next CP", Action::Command, KE_MST_NextControlPoint,
     "T: Go to next control point"},
    {"demoControlsButtonPrevCP", "Prev CP", Action::Command, KE_MST_PreviousControlPoint,
     "R: Go to previous control point"},
};

constexpr ButtonSpec CAM_AND_TIME[] = {
    {"demoControlsButtonNextScene", "Next Scene", Action::Key, 34, "PgDown: Go To Next Scene"},
    {"demoControlsButtonPrevScene", "Prev Scene", Action::Key, 33, "PgUp: Go To Previous Scene"},
    {"demoControlsButtonPrevCam", "Prev Cam", Action::Key, 38, "Arrow Up: Select Previous Camera"},
    {"demoControlsButtonNextCam", "Next Cam", Action::Key, 40, "Arrow Down: Select Next Camera"},
    {"demoControlsButtonRewind", "RWND", Action::HeldKey, 37, "Arrow Left: Rewind Time"},
    {"demoControlsButtonForward", "FFWD", Action::HeldKey, 39, "Arrow Right: Fast Forward Time"},
};

constexpr GroupSpec GROUPS[] = {
    {"groupBox1", "Camera Mode", CAMERA_MODE, int(std::size(CAMERA_MODE))},
    {"groupBox2", "Debug Visualizers", VISUALIZERS, int(std::size(VISUALIZERS))},
    {"groupBox3", "Misc", MISC, int(std::size(MISC))},
    {"groupBox4", "Spline", SPLINE, int(std::size(SPLINE))},
    {"groupBox5", "Cam + Time", CAM_AND_TIME, int(std::size(CAM_AND_TIME))},
};

} // namespace

KG_InterpolationEditorDemoControls::KG_InterpolationEditorDemoControls(
    K_GUI::KG_InterpolationEditorDialog& dialog, forms::TabPage* pPage)
    : KG_InterpolationEditorPage(dialog, pPage)
{
    forms::ToolTip* pToolTip = &dialog.GetToolTip();
    int iGroupX = 6;
    for (const GroupSpec& group : GROUPS)
    {
        forms::GroupBox* pGroup = pPage->AddNew<forms::GroupBox>(group.pName, group.pText);
        pGroup->SetBounds({iGroupX, 6, 100, 24 + 26 * group.iCount});
        iGroupX += 106;
        for (int i = 0; i < group.iCount; ++i)
        {
            const ButtonSpec& spec = group.pButtons[i];
            forms::Button* pButton = pGroup->AddNew<forms::Button>(spec.pName, spec.pText);
            pButton->SetBounds({6, 18 + 26 * i, 88, 23});
            const std::string sTip = spec.pToolTip;
            pButton->MouseHover.Add([pToolTip, sTip](forms::Control& sender, forms::EventArgs&)
                                    { pToolTip->SetToolTip(&sender, sTip); });
            const std::uint32_t uiCode = spec.uiCode;
            switch (spec.eAction)
            {
            case Action::Mode:
                pButton->Click.Add([uiCode](forms::Control&, forms::EventArgs&)
                                   { SwitchCameraMode(uiCode); });
                break;
            case Action::Key:
                pButton->Click.Add([uiCode](forms::Control&, forms::EventArgs&)
                                   { SendKey(KE_MST_KeyDown, uiCode); });
                break;
            case Action::Command:
                pButton->Click.Add([uiCode](forms::Control&, forms::EventArgs&)
                                   { SendEditorCommand(uiCode); });
                break;
            case Action::HeldKey:
                pButton->MouseDown.Add(
                    [uiCode](forms::Control&, forms::MouseEventArgs& e)
                    {
                        if (forms::HasFlag(e.Button, forms::MouseButtons::Left))
                            SendKey(KE_MST_KeyDown, uiCode);
                    });
                pButton->MouseUp.Add(
                    [uiCode](forms::Control&, forms::MouseEventArgs& e)
                    {
                        if (forms::HasFlag(e.Button, forms::MouseButtons::Left))
                            SendKey(KE_MST_KeyUp, uiCode);
                    });
                break;
            }
        }
    }
    pToolTip->SetShowAlways(true);
    pToolTip->SetIsBalloon(false);
}

void KG_InterpolationEditorDemoControls::SendKey(std::uint32_t uiSubType, std::uint64_t uiVirtualKey)
{
    // The receivers read eight bytes: the payload is a 64-bit key code.
    std::uint64_t uiKey = uiVirtualKey;
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_Keyboard, static_cast<KE_MessageSubType>(uiSubType), &uiKey);
}

void KG_InterpolationEditorDemoControls::SendEditorCommand(std::uint32_t uiCommand)
{
    if (KE_Dispatcher* pDispatcher = KE_GetDispatcher())
        pDispatcher->Dispatch(KE_MT_EditorCommand, static_cast<KE_MessageSubType>(uiCommand), nullptr);
}

void KG_InterpolationEditorDemoControls::SwitchCameraMode(std::uint32_t uiMode)
{
    KR_SceneManager* pScenes = KE_GetSceneManager();
    if (pScenes != nullptr && uiMode <= KR_SCM_Roam)
        pScenes->SwitchCameraModeTo(static_cast<KR_SceneCameraMode>(uiMode));
}
