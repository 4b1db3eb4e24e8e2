#pragma once
// Internal to the effects stand-in: techniques and passes. A pass makes its shader and state
// objects when the effect is made, holds a reference on each, and binds them at Apply. An object
// without an effect is the invalid dummy that unknown names and indices get.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/effects11/d3dx11effect.h"

#include <memory>
#include <string>
#include <vector>

namespace effects11_internal
{

class Effect;

class Pass final : public ID3DX11EffectPass
{
public:
    Pass(Effect* pEffect, UINT uiTechnique, UINT uiPass, const d3d11_internal::EffectPass* pDeclaration);
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

    static Pass* Invalid();
    // Makes the shaders and states on the device, finding the state blocks the pass names among
    // the effect's variables by name; the device's failure, or E_INVALIDARG for a state that names
    // no state block of the effect.
    HRESULT Create(ID3D11Device* pDevice, const d3d11_internal::EffectVariableMap& mapVariables);

    const std::string& GetName() const { return m_pDeclaration->Name; }

    BOOL IsValid() override { return m_pEffect != nullptr ? TRUE : FALSE; }
    HRESULT GetDesc(D3DX11_PASS_DESC* pDesc) override;
    HRESULT Apply(UINT Flags, ID3D11DeviceContext* pContext) override;

private:
    HRESULT CreateState(ID3D11Device* pDevice, const d3d11_internal::PassState& state,
                        const d3d11_internal::EffectVariableMap& mapVariables);

    Effect* m_pEffect;
    UINT m_uiTechnique;
    UINT m_uiPass;
    const d3d11_internal::EffectPass* m_pDeclaration; // in the effect's bytecode

    // Set: the pass names that stage (its object may be null for "NULL").
    bool m_bVertex = false, m_bPixel = false, m_bGeometry = false, m_bCompute = false;
    d3d11_internal::Ref<ID3D11VertexShader> m_vertexShader;
    d3d11_internal::Ref<ID3D11PixelShader> m_pixelShader;
    d3d11_internal::Ref<ID3D11GeometryShader> m_geometryShader;
    d3d11_internal::Ref<ID3D11ComputeShader> m_computeShader;
    const std::vector<std::uint8_t>* m_pInputSignature = nullptr; // the vertex shader's bytecode

    bool m_bBlend = false, m_bDepthStencil = false, m_bRasterizer = false;
    d3d11_internal::Ref<ID3D11BlendState> m_blendState;
    FLOAT m_aBlendFactor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    UINT m_uiSampleMask = 0xFFFFFFFFu;
    d3d11_internal::Ref<ID3D11DepthStencilState> m_depthStencilState;
    UINT m_uiStencilRef = 0;
    d3d11_internal::Ref<ID3D11RasterizerState> m_rasterizerState;
};

class Technique final : public ID3DX11EffectTechnique
{
public:
    Technique(Effect* pEffect, UINT uiIndex, const d3d11_internal::EffectTechnique* pDeclaration);
    Technique(const Technique&) = delete;
    Technique& operator=(const Technique&) = delete;

    static Technique* Invalid();
    HRESULT Create(ID3D11Device* pDevice, const d3d11_internal::EffectVariableMap& mapVariables);

    const std::string& GetName() const { return m_pDeclaration->Name; }

    BOOL IsValid() override { return m_pEffect != nullptr ? TRUE : FALSE; }
    HRESULT GetDesc(D3DX11_TECHNIQUE_DESC* pDesc) override;
    ID3DX11EffectPass* GetPassByIndex(UINT Index) override;
    ID3DX11EffectPass* GetPassByName(LPCSTR Name) override;

private:
    Effect* m_pEffect;
    UINT m_uiIndex;
    const d3d11_internal::EffectTechnique* m_pDeclaration;
    std::vector<std::unique_ptr<Pass>> m_vPasses;
};

} // namespace effects11_internal
