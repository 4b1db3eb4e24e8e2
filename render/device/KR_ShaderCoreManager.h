#pragma once
// Abstract interface of the shader core manager, which keeps the engine-wide shader inputs that
// every program sees at the same registers: five constant buffers (b8 bones, b9 material and
// lights, b10 object and frame, b11 matrix array, b12 vector array), five samplers (s8 to s12)
// and a table of 31 shader resource views (t16 to t46). Setters change CPU copies at any time;
// nothing reaches the GPU until ApplyShaderProgram. The selected graphics context makes the one
// instance; the engine singleton owns it and deletes it through the virtual destructor.
// Initialize and CreateResources run on the load job; the rest on the main thread. Nothing locks.
//
// Only the life cycle is pure: every other operation does nothing here (the getters give the
// limits), so that a manager standing in for it in a test provides only what it observes.
// Colours are stored with r, g and b raised to the power 2.2; the caller's colour is never
// changed.

#include "framework/core/KB_GrowingArray.h"
#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/device/KR_PrimitiveTopology.h"

#include <cstdint>

class KR_OmniLight;
class KR_SpotLight;
struct KR_ShaderProgram;

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

    // b10 matrices, stored transposed.
    virtual void SetWorldMatrix(const DirectX::XMMATRIX& /*mWorld*/) {}
    virtual void SetWorldViewProjectionMatrix(const DirectX::XMMATRIX& /*mWorldViewProjection*/) {}
    virtual void SetObjectMatrix0(const DirectX::XMMATRIX& /*mMatrix*/) {}
    virtual void SetObjectMatrix1(const DirectX::XMMATRIX& /*mMatrix*/) {}
    // b11: back to no matrices, all identity (not uploaded until the next AddMatrix); false when
    // GetMaxMatrices are stored.
    virtual void ResetMatrixArray() {}
    virtual bool AddMatrix(const DirectX::XMMATRIX& /*mMatrix*/) { return false; }
    // b12: zeroed (not uploaded until the next AddVector); false when GetMaxVectors are stored.
    virtual void ResetVectorArray() {}
    virtual bool AddVector(const DirectX::XMFLOAT4& /*vVector*/) { return false; }
    // b10 frame values. The near and far pair is kept for SetFrameRange, which stores
    // (a x far, b x far, (b - a) x far).
    virtual void SetFrameParameters(const DirectX::XMFLOAT3& /*vPosition*/,
                                    const DirectX::XMFLOAT2& /*vNearFar*/)
    {
    }
    virtual void SetFrameVector1(const DirectX::XMFLOAT3& /*vVector*/) {}
    virtual void SetFrameColor0(const DirectX::XMFLOAT4& /*color*/) {}
    virtual void SetFrameRange(const DirectX::XMFLOAT2& /*vRange*/) {}
    // b9: the fixed object colour (alpha kept) and free parameters.
    virtual void SetObjectColor(const DirectX::XMFLOAT4& /*color*/) {}
    virtual void SetParameterUInt3(const std::uint32_t /*auiValues*/[3]) {}
    virtual void SetParameterVector(const DirectX::XMFLOAT4& /*vVector*/) {}

    // Material textures (view table slots 0 to 17 with their tiling and uv channels in b9). An
    // index the channel does not accept changes nothing.
    virtual void ResetMaterialTextures() {}
    virtual void SetDiffuseTexture(std::uint32_t, ID3D11ShaderResourceView*, float /*fTile*/,
                                   std::uint32_t /*uv*/)
    {
    }
    virtual void SetNormalTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    virtual void SetSpecularTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t,
                                    float /*fPower*/)
    {
    }
    virtual void SetRoughnessTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    virtual void SetGlossTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    virtual void SetMaskTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    virtual void SetLightmapTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    virtual void SetAmbientOcclusionTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    virtual void SetHeightmapTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    virtual void SetTransparencyTexture(std::uint32_t, ID3D11ShaderResourceView*, float, std::uint32_t) {}
    // Index 0 only; the value is cube-map value 0, which the scene's cube map 0 shares.
    virtual void SetCubemapTexture(std::uint32_t, ID3D11ShaderResourceView*, float /*fValue*/) {}
    // The scene's cube maps: the first min(every count, 8) of each array.
    virtual void EnableCubeMaps(bool /*bEnable*/) {}
    virtual void SetCubeMaps(const KB_GrowingArray<ID3D11ShaderResourceView*>* /*pViews*/,
                             const KB_GrowingArray<DirectX::XMFLOAT4>* /*pVectors*/,
                             const KB_GrowingArray<float>* /*pValues*/,
                             const KB_GrowingArray<bool>* /*pFlags*/)
    {
    }
    virtual void SetParallaxOcclusion(std::uint32_t /*uiMinSamples*/, std::uint32_t /*uiMaxSamples*/,
                                      float /*fHeightScale*/, float /*fHeightOffset*/)
    {
    }
    virtual void SetFrameVector2(const DirectX::XMFLOAT3& /*vVector*/) {}
    virtual void SetFrameColor1(const DirectX::XMFLOAT4& /*color*/) {}
    virtual void SetFrameScalar(float /*fValue*/) {}
    virtual void SetAmbientLightColor(const DirectX::XMFLOAT4& /*color*/) {}

    // Lights, filled by the scenes every frame: up to 5 shadow-casting spot lights and 25 omni
    // lights; a light whose strength at that time is not above 0 is skipped. ResetShadowMaps
    // unbinds the shadow-map registers at once, so shadow maps can be rendered to.
    virtual void ResetShadowMaps() {}
    virtual void SetSpotLights(double /*fTime*/, KR_SpotLight* /*pLight*/) {}
    virtual void ResetLights() {}
    virtual void SetOmniLights(double /*fTime*/, KR_OmniLight* /*pLight*/) {}

    // The skinning matrices of the next skinned draw, one per bone in bone order; the manager
    // keeps the first 256 (identity after them). An empty array changes nothing.
    virtual void SetBoneMatrices(const KB_GrowingArray<DirectX::XMMATRIX>& /*gMatrices*/) {}

    virtual std::uint32_t GetMaxShadowMaps() { return 5; }
    virtual std::uint32_t GetMaxLights() { return 25; }
    virtual std::uint32_t GetMaxMatrices() { return 200; }
    virtual std::uint32_t GetMaxBoneMatrices() { return 256; }
    virtual std::uint32_t GetMaxVectors() { return 8; }

    // One of the four indexed parameters of b9; an index of 4 or more changes nothing.
    virtual void SetParameterVectorAt(const DirectX::XMFLOAT4& /*vVector*/, std::uint32_t /*uiIndex*/) {}
    // Immediate: bound on the context at once.
    virtual void SetInputLayout(ID3D11InputLayout* /*pLayout*/) {}
    virtual void SetPrimitiveTopology(KR_PrimitiveTopology /*topology*/) {}
    // Uploads the changed buffers, binds the views (when changed), buffers and samplers on the
    // program's stages, its shaders and its states. Null unbinds every stage and binds the
    // default states.
    virtual void ApplyShaderProgram(const KR_ShaderProgram* /*pProgram*/) {}
};
