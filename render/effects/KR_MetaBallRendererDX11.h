#pragma once
// Direct3D 11 implementation of the metaball renderer. Three pooled buffers of the resource
// manager are held during Render only: the balls (MAX_BALLS records of 32 bytes, dynamic,
// structured), the fragment lists (w x h x 8 records of 20 bytes, structured with the append
// counter) and the list heads (w x h, raw). The core-radius depth copy, its views, the quad, the
// input layout and the constant buffer are its own; states and programs belong to the resource
// manager's caches. Pass 1 draws the cores into the scene depth; the depth is copied; pass 2 stores
// each pixel's spheres of influence (u0, u1) tested against the copy (t3, or t4 when
// multisampled); pass 3 ray-casts the lists (t0 balls, t1 fragments, t2 heads) into the caller's
// target. Constants at b0 (KR_MetaBallConstants).
//
// The scene depth is the graphics device's depth buffer and texture: the depth the scene was drawn
// with when no post-processing redirects it.
//
// Render refuses, before any context call, when a pooled buffer, a view, a program or the depth
// copy is missing (the fragment pool can pass the device's per-resource limit at large sizes);
// a pool the device refused at the last resize is not asked for again before the next one.
//
// Life-cycle operations run on the load job's worker (device and locked caches only) or, on
// resize and shutdown, on the main thread; Render runs on the main thread.

#include "platform/d3d11/d3d11.h"
#include "render/device/KR_BufferResourceDescription.h"
#include "render/effects/KR_MetaBallConstants.h"
#include "render/effects/KR_MetaBallRenderer.h"

#include <cstdint>

struct KR_ShaderProgram;

class KR_MetaBallRendererDX11 : public KR_MetaBallRenderer
{
public:
    static constexpr std::uint32_t INVALID_HANDLE = 0xFFFFFFFFu;
    static constexpr std::uint32_t BALL_STRIDE = 32;
    static constexpr std::uint32_t FRAGMENTS_PER_PIXEL = 8;
    static constexpr std::uint32_t FRAGMENT_STRIDE = 20;
    static constexpr std::uint32_t HEAD_STRIDE = 4;
    static constexpr const char* SHADER_FILE = "Assets/Shader/KR_MetaBallShader.hlsl";

    KR_MetaBallRendererDX11();
    ~KR_MetaBallRendererDX11() override;

    // True.
    bool Initialize() override;
    // States, programs, input layout, quad and constant buffer; false when the constant buffer
    // could not be made.
    bool CreateResources() override;
    // Reads size and sample count, fills the buffer descriptions, makes the pool hold buffers of
    // that size and makes the core-radius depth copy; true (what the device refuses makes Render
    // refuse until the next call).
    bool CreateSizeDependentResources() override;
    // Releases its own objects and hands back any held buffer; true.
    bool ReleaseResources() override;
    // True; the depth copy is remade by CreateSizeDependentResources.
    bool ReleaseSizeDependentResources() override;
    bool Render(KR_Camera* pCamera, const KB_GrowingArray<KR_MetaBall>* pBalls, float fCoreRadius) override;

    const KR_BufferResourceDescription& GetBallBufferDescription() const { return m_oBallBufferDescription; }
    const KR_BufferResourceDescription& GetFragmentBufferDescription() const
    {
        return m_oFragmentBufferDescription;
    }
    const KR_BufferResourceDescription& GetHeadBufferDescription() const { return m_oHeadBufferDescription; }
    std::uint32_t GetBallBufferHandle() const { return m_uiBallBuffer; }
    std::uint32_t GetFragmentBufferHandle() const { return m_uiFragmentBuffer; }
    std::uint32_t GetHeadBufferHandle() const { return m_uiHeadBuffer; }
    // False when the device could not make the pooled buffers at the current size.
    bool AreBuffersAvailable() const { return m_bBuffersAvailable; }
    ID3D11Texture2D* GetCoreRadiusDepthStencilTexture() const { return m_pCoreRadiusDepthStencilTexture; }
    ID3D11Buffer* GetConstantBuffer() const { return m_pConstantBuffer; }
    // The constant buffer's mirror, as last uploaded.
    const std::uint8_t* GetConstantData() const { return m_aConstantData; }

private:
    // Acquires the three buffers; false (none held) when any of them or its views is missing.
    bool AcquireBuffers();
    void ReleaseBuffers();
    void ReleaseCoreRadiusDepth();
    bool Upload(ID3D11DeviceContext* pContext, ID3D11Buffer* pBuffer, const void* pData, std::size_t uiBytes);

    std::uint32_t m_uiWidth = 2;
    std::uint32_t m_uiHeight = 2;
    KR_BufferResourceDescription m_oBallBufferDescription;
    KR_BufferResourceDescription m_oFragmentBufferDescription;
    KR_BufferResourceDescription m_oHeadBufferDescription;
    std::uint32_t m_uiBallBuffer = INVALID_HANDLE; // held from the resource manager during Render
    std::uint32_t m_uiFragmentBuffer = INVALID_HANDLE;
    std::uint32_t m_uiHeadBuffer = INVALID_HANDLE;
    bool m_bBuffersAvailable = false;
    ID3D11Texture2D* m_pCoreRadiusDepthStencilTexture = nullptr; // owned
    ID3D11DepthStencilView* m_pCoreRadiusDSV = nullptr;          // owned
    ID3D11ShaderResourceView* m_pCoreRadiusSRV = nullptr;        // owned
    bool m_bMultisampled = false;
    std::uint32_t m_uiSampleCount = 1;
    ID3D11InputLayout* m_pInputLayoutPosVertex = nullptr;       // owned
    ID3D11Buffer* m_pFullScreenQuadVB = nullptr;                // owned
    ID3D11RenderTargetView* m_pSavedRenderTargetView = nullptr; // one reference during Render
    ID3D11DepthStencilView* m_pSavedDepthStencilView = nullptr; // one reference during Render
    ID3D11BlendState* m_pOpaqueBlendState = nullptr;            // not owned: the state cache's
    ID3D11BlendState* m_pAlphaBlendState = nullptr;             // not owned
    ID3D11DepthStencilState* m_pDepthWriteState = nullptr;      // not owned
    ID3D11DepthStencilState* m_pDepthTestOnlyState = nullptr;   // not owned
    ID3D11DepthStencilState* m_pDepthOffState = nullptr;        // not owned
    ID3D11RasterizerState* m_pRasterizerState = nullptr;        // not owned
    KR_ShaderProgram* m_pCoreRadiusProgram = nullptr;           // not owned: the program cache's
    KR_ShaderProgram* m_pEffectiveRadiusProgram = nullptr;      // not owned
    KR_ShaderProgram* m_pRayCastProgram = nullptr;              // not owned
    std::uint8_t m_aConstantData[KR_MetaBallConstants::SIZE] = {};
    ID3D11Buffer* m_pConstantBuffer = nullptr; // owned
};
