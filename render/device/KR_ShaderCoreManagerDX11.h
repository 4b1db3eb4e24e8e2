#pragma once
// Direct3D 11 shader core manager: CPU copies (16-byte aligned) of the five dynamic constant
// buffers with one changed flag each, the five samplers and the view table. Constructing it
// touches no device; CreateResources makes the buffers and samplers on the graphics device.
// ApplyShaderProgram uploads each changed buffer once (WRITE_DISCARD; a failed Map keeps the
// buffer changed, so the next apply retries) and rebinds the views on a stage only when the table
// changed since that stage last received it.

#include "render/device/KR_ShaderCoreLayouts.h"
#include "render/device/KR_ShaderCoreManager.h"

#include <cstdint>

class KR_ShaderCoreManagerDX11 : public KR_ShaderCoreManager
{
public:
    KR_ShaderCoreManagerDX11();
    ~KR_ShaderCoreManagerDX11() override; // releases the buffers and samplers

    bool Initialize() override;
    // The buffers b8 to b12, then the samplers s8 to s12; false at the first failure (what was
    // made stays). Objects of an earlier call are released first.
    bool CreateResources() override;
    bool CreateSizeDependentResources() override;
    bool ReleaseResources() override;
    bool ReleaseSizeDependentResources() override;

    void SetWorldMatrix(const DirectX::XMMATRIX& mWorld) override;
    void SetWorldViewProjectionMatrix(const DirectX::XMMATRIX& mWorldViewProjection) override;
    void SetObjectMatrix0(const DirectX::XMMATRIX& mMatrix) override;
    void SetObjectMatrix1(const DirectX::XMMATRIX& mMatrix) override;
    void ResetMatrixArray() override;
    bool AddMatrix(const DirectX::XMMATRIX& mMatrix) override;
    void ResetVectorArray() override;
    bool AddVector(const DirectX::XMFLOAT4& vVector) override;
    void SetFrameParameters(const DirectX::XMFLOAT3& vPosition, const DirectX::XMFLOAT2& vNearFar) override;
    void SetFrameVector1(const DirectX::XMFLOAT3& vVector) override;
    void SetFrameColor0(const DirectX::XMFLOAT4& color) override;
    void SetFrameRange(const DirectX::XMFLOAT2& vRange) override;
    void SetObjectColor(const DirectX::XMFLOAT4& color) override;
    void SetParameterUInt3(const std::uint32_t auiValues[3]) override;
    void SetParameterVector(const DirectX::XMFLOAT4& vVector) override;
    void SetParallaxOcclusion(std::uint32_t uiMinSamples, std::uint32_t uiMaxSamples, float fHeightScale,
                              float fHeightOffset) override;
    void SetFrameVector2(const DirectX::XMFLOAT3& vVector) override;
    void SetFrameColor1(const DirectX::XMFLOAT4& color) override;
    void SetFrameScalar(float fValue) override;
    void SetAmbientLightColor(const DirectX::XMFLOAT4& color) override;
    void SetBoneMatrices(const KB_GrowingArray<DirectX::XMMATRIX>& gMatrices) override;

    void ResetMaterialTextures() override;
    void SetDiffuseTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                           std::uint32_t uiUV) override;
    void SetNormalTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                          std::uint32_t uiUV) override;
    void SetSpecularTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                            std::uint32_t uiUV, float fPower) override;
    void SetRoughnessTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                             std::uint32_t uiUV) override;
    void SetGlossTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                         std::uint32_t uiUV) override;
    void SetMaskTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                        std::uint32_t uiUV) override;
    void SetLightmapTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                            std::uint32_t uiUV) override;
    void SetAmbientOcclusionTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                                    std::uint32_t uiUV) override;
    void SetHeightmapTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                             std::uint32_t uiUV) override;
    void SetTransparencyTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fTile,
                                std::uint32_t uiUV) override;
    void SetCubemapTexture(std::uint32_t uiIndex, ID3D11ShaderResourceView* pView, float fValue) override;
    void EnableCubeMaps(bool bEnable) override;
    void SetCubeMaps(const KB_GrowingArray<ID3D11ShaderResourceView*>* pViews,
                     const KB_GrowingArray<DirectX::XMFLOAT4>* pVectors,
                     const KB_GrowingArray<float>* pValues, const KB_GrowingArray<bool>* pFlags) override;
    void ResetShadowMaps() override;
    void SetSpotLights(double fTime, KR_SpotLight* pLight) override;
    void ResetLights() override;
    void SetOmniLights(double fTime, KR_OmniLight* pLight) override;
    void SetParameterVectorAt(const DirectX::XMFLOAT4& vVector, std::uint32_t uiIndex) override;
    void SetInputLayout(ID3D11InputLayout* pLayout) override;
    void SetPrimitiveTopology(KR_PrimitiveTopology topology) override;
    void ApplyShaderProgram(const KR_ShaderProgram* pProgram) override;

    // The CPU copies, for tests and tools that check what will be uploaded.
    const std::uint8_t* GetBufferData(std::uint32_t uiBuffer) const; // 0 for b8 ... 4 for b12; null else
    ID3D11ShaderResourceView* GetView(std::uint32_t uiSlot) const;   // null outside the table
    ID3D11Buffer* GetConstantBuffer(std::uint32_t uiBuffer) const;   // null before CreateResources

private:
    enum Buffer : std::uint32_t
    {
        BUFFER_BONES,
        BUFFER_MATERIAL,
        BUFFER_OBJECT,
        BUFFER_MATRICES,
        BUFFER_VECTORS,
        BUFFER_COUNT
    };

    static void StoreTransposed(std::uint8_t* pBuffer, std::uint32_t uiOffset,
                                const DirectX::XMMATRIX& mMatrix);
    static void StoreFloats(std::uint8_t* pBuffer, std::uint32_t uiOffset, float x, float y, float z,
                            float w);
    static void StoreUInts(std::uint8_t* pBuffer, std::uint32_t uiOffset, std::uint32_t x, std::uint32_t y,
                           std::uint32_t z, std::uint32_t w);
    static void StoreColor(std::uint8_t* pBuffer, std::uint32_t uiOffset, const DirectX::XMFLOAT4& color,
                           bool bAlpha);
    void MarkViewTable();
    // One material channel: accepted when uiIndex < uiIndices; the view goes to slot
    // uiFirstSlot + uiIndex, the tile factor and uv channel to component uiComponent of the row
    // pair at uiTileOffset (tiles) and uiTileOffset + 32 (uv channels).
    void SetChannelTexture(std::uint32_t uiIndex, std::uint32_t uiIndices, std::uint32_t uiFirstSlot,
                           std::uint32_t uiTileOffset, std::uint32_t uiComponent,
                           ID3D11ShaderResourceView* pView, float fTile, std::uint32_t uiUV);
    bool Upload(ID3D11DeviceContext* pContext, Buffer buffer);

    alignas(16) std::uint8_t m_aBones[KR_ShaderCoreLayouts::B8_SIZE];
    alignas(16) std::uint8_t m_aMaterial[KR_ShaderCoreLayouts::B9_SIZE];
    alignas(16) std::uint8_t m_aObject[KR_ShaderCoreLayouts::B10_SIZE];
    alignas(16) std::uint8_t m_aMatrices[KR_ShaderCoreLayouts::B11_SIZE];
    alignas(16) std::uint8_t m_aVectors[KR_ShaderCoreLayouts::B12_SIZE];
    bool m_abChanged[BUFFER_COUNT] = {true, true, true, true, true};
    // Per shader stage (vertex, pixel, geometry, compute): the table changed since the stage last
    // received it.
    bool m_abViewsChanged[4] = {true, true, true, true};
    DirectX::XMFLOAT2 m_vNearFar{1.0f, 800.0f};
    std::uint32_t m_uiNumMatrices = 0;
    std::uint32_t m_uiNumCubeMaps = 0;
    std::uint32_t m_uiNumSpotLights = 0;
    std::uint32_t m_uiNumOmniLights = 0;
    ID3D11Buffer* m_apBuffers[BUFFER_COUNT] = {};                              // owned
    ID3D11SamplerState* m_apSamplers[KR_ShaderCoreLayouts::NUM_SAMPLERS] = {}; // owned
    ID3D11ShaderResourceView* m_apViews[KR_ShaderCoreLayouts::NUM_VIEWS] = {}; // borrowed
};
