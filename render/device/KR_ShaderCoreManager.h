#pragma once
// Abstract interface of the shader core manager, which keeps the engine-wide shader constants.
// The selected graphics context makes the one instance; the engine singleton owns it and deletes
// it through the virtual destructor. Initialize and CreateResources run on the load job; the rest
// on the main thread.

#include "framework/core/KB_GrowingArray.h"
#include "platform/directxmath/DirectXMath.h"

class KR_ShaderCoreManager
{
public:
    KR_ShaderCoreManager() = default;
    virtual ~KR_ShaderCoreManager() = default;

    KR_ShaderCoreManager(const KR_ShaderCoreManager&) = delete;
    KR_ShaderCoreManager& operator=(const KR_ShaderCoreManager&) = delete;

    // Each returns true on success.
    virtual bool Initialize() = 0;
    virtual bool CreateResources() = 0;
    virtual bool CreateSizeDependentResources() = 0;
    virtual bool ReleaseResources() = 0;
    virtual bool ReleaseSizeDependentResources() = 0;

    // The skinning matrices of the next skinned draw, one per bone in bone order; the manager
    // keeps the first 256. An empty array changes nothing.
    virtual void SetBoneMatrices(const KB_GrowingArray<DirectX::XMMATRIX>& gMatrices) = 0;

    // The world-view-projection matrix and the fixed object colour of the next draws (debug
    // drawing in one colour). They do nothing here, so that a manager that does not draw (a test
    // fake) need not provide them.
    virtual void SetWorldViewProjectionMatrix(const DirectX::XMMATRIX& /*mWorldViewProjection*/) {}
    virtual void SetObjectColor(const DirectX::XMFLOAT4& /*color*/) {}
};
