#include "tools/KG_EditorSceneSource.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/camera/KR_ControllerCamera.h"
#include "render/scene/KR_Scene.h"
#include "render/scene/KR_SceneManager.h"
#include "tools/KG_EditorCalculations.h"

namespace K_GUI
{

namespace
{

class KG_EngineSceneSource : public KG_EditorSceneSource
{
public:
    KB_GrowingArray<KR_Scene*> GetAllScenes() const override
    {
        KR_SceneManager* pScenes = KE_GetSceneManager();
        return pScenes != nullptr ? pScenes->GetAllScenes() : KB_GrowingArray<KR_Scene*>();
    }

    KR_Scene* GetCurrentScene() const override
    {
        KR_SceneManager* pScenes = KE_GetSceneManager();
        return pScenes != nullptr ? pScenes->GetCurrentScene() : nullptr;
    }

    double GetProductionTime() const override
    {
        KR_SceneManager* pScenes = KE_GetSceneManager();
        return pScenes != nullptr ? pScenes->GetSynchonizationTime() : 0.0;
    }

    DirectX::XMFLOAT3 GetFreeCameraPosition() const override
    {
        DirectX::XMFLOAT3 position{0.0f, 0.0f, 0.0f};
        KG_EditorCalculations::GetControllerCameraPos(&position.x, &position.y, &position.z);
        return position;
    }

    void GetFreeCameraDirections(DirectX::XMFLOAT3* pForward, DirectX::XMFLOAT3* pUp) const override
    {
        KG_EditorSceneSource::GetFreeCameraDirections(pForward, pUp);
        KR_SceneManager* pScenes = KE_GetSceneManager();
        if (pScenes == nullptr || pScenes->GetControllerCamera() == nullptr)
            return;
        const DirectX::XMVECTOR qOrientation = pScenes->GetControllerCamera()->GetOrientation();
        DirectX::XMStoreFloat3(pForward,
                               DirectX::XMVector3Rotate(DirectX::XMVectorSet(0, 0, 1, 0), qOrientation));
        DirectX::XMStoreFloat3(pUp, DirectX::XMVector3Rotate(DirectX::XMVectorSet(0, 1, 0, 0), qOrientation));
    }

    bool CreateNewCameraInterpolation(const NewCamera& camera) override
    {
        KR_SceneManager* pScenes = KE_GetSceneManager();
        return pScenes != nullptr && pScenes->CreateNewCameraInterpolation(
                                         camera.fStart, camera.fEnd, camera.fSlicing, &camera.cameraStart.x,
                                         &camera.cameraEnd.x, &camera.targetStart.x, &camera.targetEnd.x);
    }
};

} // namespace

std::unique_ptr<KG_EditorSceneSource> KG_EditorSceneSource::CreateEngineSource()
{
    return std::make_unique<KG_EngineSceneSource>();
}

} // namespace K_GUI
