#include "tests/support/ShowStandIns.h"
#include "framework/app/KE_ApplicationManager.h"
#include "platform/crt/CrtControl.h"
#include "platform/d3d11/D3D11Modules.h"
#include "platform/fmod/FmodControl.h"
#include "platform/forms/FormsControl.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Win32SystemControl.h"
#include "render/scene/KR_SceneManager.h"

namespace ShowStandIns
{

void Reset()
{
    CrtControl::Reset();
    Win32Control::Reset();
    Win32SystemControl::Reset();
    D3D11Control::Reset();
    FmodControl::Reset();
    FormsControl::Reset();
    D3D11Modules::Register();
}

void SetDesktop(int iWidth, int iHeight, const std::vector<DXGI_MODE_DESC>& gModes)
{
    const RECT desktop = {0, 0, iWidth, iHeight};
    Win32Control::SetDesktopRect(desktop);
    FormsControl::SetPrimaryScreenSize(iWidth, iHeight);
    D3D11Control::AdapterConfig adapter;
    adapter.Outputs[0].DesktopCoordinates = desktop;
    if (!gModes.empty())
        adapter.Outputs[0].Modes = gModes;
    D3D11Control::SetAdapters({adapter});
}

void UseManualClocks()
{
    Win32SystemControl::SetSleepSkipped(true);
    CrtControl::SetClock(0);
    FmodControl::UseManualClock();
}

KR_SceneManager* AdvanceClocks(long lStepMs)
{
    CrtControl::AdvanceClock(lStepMs);
    FmodControl::AdvanceClock(static_cast<double>(lStepMs) * 0.001);
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    KR_SceneManager* pScenes = pEngine != nullptr ? pEngine->GetSceneManager() : nullptr;
    return pScenes != nullptr && pScenes->IsLoaded() ? pScenes : nullptr;
}

} // namespace ShowStandIns
