#include "tools/KG_MessageReceiver.h"

#include "tools/KG_InterpolationEditorDialogManager.h"

bool KG_MessageReceiver::Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    if (m_pManager == nullptr)
        return false;
    if (type == KE_MT_LightSelection && subType == KE_MST_LightSelected)
    {
        m_pManager->SetLightSelected(static_cast<KR_LightBase*>(pPayload));
        return true;
    }
    if (type == KE_MT_CubeMapSelection && subType == KE_MST_CubeMapSelected)
    {
        m_pManager->SetCubemapSelected(static_cast<KR_CubeMapPlacer*>(pPayload));
        return true;
    }
    return false;
}
