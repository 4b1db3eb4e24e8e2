#pragma once
// Direct3D 11 shader core manager. Constructing it touches no device; its life-cycle operations
// make no device objects and report success.

#include "render/device/KR_ShaderCoreManager.h"

class KR_ShaderCoreManagerDX11 : public KR_ShaderCoreManager
{
public:
    KR_ShaderCoreManagerDX11();
    ~KR_ShaderCoreManagerDX11() override;

    bool Initialize() override;
    bool CreateResources() override;
    bool CreateSizeDependentResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;
    // No bone constant buffer exists yet: the matrices are not kept.
    void SetBoneMatrices(const KB_GrowingArray<DirectX::XMMATRIX>& gMatrices) override;
    // Kept for the constant buffers, which do not exist yet.
    void SetWorldViewProjectionMatrix(const DirectX::XMMATRIX& mWorldViewProjection) override;
    void SetObjectColor(const DirectX::XMFLOAT4& color) override;

private:
    DirectX::XMMATRIX m_mWorldViewProjection = DirectX::XMMatrixIdentity();
    DirectX::XMFLOAT4 m_vObjectColor = {1.0f, 1.0f, 1.0f, 1.0f};
};
