#pragma once
// A post-processing engine for tests that runs no chain: every call succeeds and does nothing, and
// the depth getters answer what the test put in the public members (null by default). A test fake
// derives from it and overrides only what its code under test uses.

#include "render/effects/KR_PostFXEngine.h"

class NullPostFXEngine : public KR_PostFXEngine
{
public:
    bool Initialize() override { return true; }
    bool CreateResources() override { return true; }
    bool CreateSizeDependentResources() override { return true; }
    bool ReleaseResources() override { return true; }
    bool ReleaseSizeDependentResources() override { return true; }
    bool RegisterEffect(std::uint32_t) override { return true; }
    bool EnableEffect(std::uint32_t, const void*) override { return true; }
    void ClearEffects() override {}
    bool DisableEffect(std::uint32_t) override { return false; }
    bool BeginFrame(const float*) override { return true; }
    bool EndFrame() override { return true; }
    void SetNearFarPlanes(const float*) override {}
    ID3D11Texture2D* GetDepthStencilTexture() override { return m_pDepthTexture; }
    ID3D11ShaderResourceView* GetDepthStencilSRV() override { return m_pDepthSRV; }
    ID3D11DepthStencilView* GetDepthStencilView() override { return m_pDepthView; }

    ID3D11Texture2D* m_pDepthTexture = nullptr;
    ID3D11ShaderResourceView* m_pDepthSRV = nullptr;
    ID3D11DepthStencilView* m_pDepthView = nullptr;
};
