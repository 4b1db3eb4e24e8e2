#pragma once
// A resource manager for tests that hands out nothing: every getter answers null, false or
// INVALID_HANDLE and every other call does nothing. A test fake derives from it and overrides
// only what its code under test uses.

#include "render/device/KR_GraphicsResourceManager.h"

class NullResourceManager : public KR_GraphicsResourceManager
{
public:
    void LoadDefaultResources() override {}
    std::uint32_t AcquireTexture(const KR_TextureResourceDescription*) override { return INVALID_HANDLE; }
    void ReleaseTexture(std::uint32_t* pHandle) override { *pHandle = INVALID_HANDLE; }
    void DestroyUnusedTextures() override {}
    bool GetTextureDescription(KR_TextureResourceDescription&, std::uint32_t) override { return false; }
    ID3D11Texture2D* GetTexture2D(std::uint32_t) override { return nullptr; }
    ID3D11Texture3D* GetTexture3D(std::uint32_t) override { return nullptr; }
    ID3D11RenderTargetView* GetRenderTargetView(std::uint32_t, std::uint32_t) override { return nullptr; }
    ID3D11DepthStencilView* GetDepthStencilView(std::uint32_t, std::uint32_t) override { return nullptr; }
    ID3D11ShaderResourceView* GetShaderResourceView(std::uint32_t) override { return nullptr; }
    ID3D11UnorderedAccessView* GetUnorderedAccessView(std::uint32_t) override { return nullptr; }
    ID3D11BlendState* GetBlendState(const D3D11_BLEND_DESC*) override { return nullptr; }
    ID3D11RasterizerState* GetRasterizerState(const D3D11_RASTERIZER_DESC*) override { return nullptr; }
    ID3D11DepthStencilState* GetDepthStencilState(const D3D11_DEPTH_STENCIL_DESC*) override
    {
        return nullptr;
    }
    std::uint32_t AcquireBuffer(const KR_BufferResourceDescription*) override { return INVALID_HANDLE; }
    void ReleaseBuffer(std::uint32_t* pHandle) override { *pHandle = INVALID_HANDLE; }
    void DestroyUnusedBuffers() override {}
    bool GetBufferDescription(KR_BufferResourceDescription&, std::uint32_t) override { return false; }
    ID3D11Buffer* GetBuffer(std::uint32_t) override { return nullptr; }
    ID3D11UnorderedAccessView* GetBufferUnorderedAccessView(std::uint32_t) override { return nullptr; }
    ID3D11ShaderResourceView* GetBufferShaderResourceView(std::uint32_t) override { return nullptr; }
    KR_ManagedShaderResourceView* GetShaderResourceViewFromFile(const KB_String&) override { return nullptr; }
    KR_ManagedShaderResourceView* GetTexture3DShaderResourceViewFromFile(const KB_String&, std::uint32_t,
                                                                         std::uint32_t) override
    {
        return nullptr;
    }
    KR_ManagedModelResourceDX11* GetModelResource(const KB_String&, std::uint8_t, std::uint8_t,
                                                  std::uint8_t) override
    {
        return nullptr;
    }
    ID3DX11Effect* GetEffect(const KB_String&, const D3D_SHADER_MACRO*) override { return nullptr; }
    KR_ShaderProgram* GetShaderProgram(const KR_ShaderProperties*) override { return nullptr; }
    KR_MeshDX11* CreateMesh(std::uint32_t, std::uint32_t, std::uint32_t) override { return nullptr; }
    ID3D11InputLayout* GetInputLayout(const std::uint8_t*) override { return nullptr; }
    float GetLoadingProgress() override { return 0.0f; }
    bool FinishLoading() override { return true; }
    void BeginLoadingPhase() override {}
    void ProcessQueuedTexture3D() override {}
};
