#pragma once
// What the editor pages ask of the running scenes: the scenes, the one being played, the
// production time, the free camera, and the making of a new animated camera. The engine's answer
// (CreateEngineSource) reads the application's scene manager; tests give their own.

#include "framework/core/KB_GrowingArray.h"
#include "platform/directxmath/DirectXMath.h"

#include <memory>

class KR_Scene;

namespace K_GUI
{

class KG_EditorSceneSource
{
public:
    struct NewCamera
    {
        double fStart = 0.0;
        double fEnd = 0.0;
        double fSlicing = 1.0;
        DirectX::XMFLOAT3 cameraStart{0.0f, 0.0f, 0.0f};
        DirectX::XMFLOAT3 cameraEnd{0.0f, 0.0f, 0.0f};
        DirectX::XMFLOAT3 targetStart{0.0f, 0.0f, 0.0f};
        DirectX::XMFLOAT3 targetEnd{0.0f, 0.0f, 0.0f};
    };

    virtual ~KG_EditorSceneSource() = default;

    virtual KB_GrowingArray<KR_Scene*> GetAllScenes() const = 0;
    // Null when no scene plays.
    virtual KR_Scene* GetCurrentScene() const = 0;
    virtual double GetProductionTime() const = 0;
    virtual DirectX::XMFLOAT3 GetFreeCameraPosition() const = 0;
    // The free camera's forward and up directions; by default it looks along +z with +y up.
    virtual void GetFreeCameraDirections(DirectX::XMFLOAT3* pForward, DirectX::XMFLOAT3* pUp) const
    {
        *pForward = DirectX::XMFLOAT3(0.0f, 0.0f, 1.0f);
        *pUp = DirectX::XMFLOAT3(0.0f, 1.0f, 0.0f);
    }
    // True when the camera and its files were made (in the current scene).
    virtual bool CreateNewCameraInterpolation(const NewCamera& camera) = 0;

    // Over KE_ApplicationManager's scene manager: the current scene is the one whose interval
    // holds the synchronisation time (the first scene when none does). The scene manager does not
    // make cameras yet: CreateNewCameraInterpolation answers false.
    static std::unique_ptr<KG_EditorSceneSource> CreateEngineSource();
};

} // namespace K_GUI
