#include "platform/effects11/Effects11Technique.h"

#include "platform/d3d11/D3D11StateMembers.h"
#include "platform/effects11/Effects11Effect.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

namespace effects11_internal
{

using d3d11_internal::EffectVariable;
using d3d11_internal::ShaderStage;
using d3d11_internal::StateBlockType;
using d3d11_internal::StateMember;
using d3d11_internal::StateMemberId;

namespace
{

// The arguments of a state call split at the commas outside parentheses.
std::vector<std::string> SplitArguments(const std::string& s)
{
    std::vector<std::string> v(1);
    int iDepth = 0;
    for (char c : s)
    {
        if (c == '(')
            ++iDepth;
        else if (c == ')')
            --iDepth;
        if (c == ',' && iDepth == 0)
            v.emplace_back();
        else if (c != ' ')
            v.back() += c;
    }
    return v;
}

// The numbers of "float4(a,b,c,d)" (or of a bare number list).
std::vector<float> Numbers(const std::string& s)
{
    std::string sInside = s;
    const std::size_t uiOpen = s.find('(');
    if (uiOpen != std::string::npos)
        sInside = s.substr(uiOpen + 1, s.rfind(')') - uiOpen - 1);
    std::vector<float> v;
    for (const std::string& sPart : SplitArguments(sInside))
        if (!sPart.empty())
            v.push_back(std::strtof(sPart.c_str(), nullptr));
    return v;
}

UINT Unsigned(const std::string& s)
{
    return static_cast<UINT>(std::strtoul(s.c_str(), nullptr, 0));
}

// A Bool member's TRUE or FALSE in any case, else an integer: strtol in base 0, which stops at a
// suffix (and at the dot of a float of a whole value, "1.0").
BOOL ReadBool(const StateMember& member, const std::string& s)
{
    const d3d11_internal::StateEnumName* pName = d3d11_internal::FindStateEnumName(member, s);
    if (pName != nullptr)
        return pName->Value;
    return std::strtol(s.c_str(), nullptr, 0) != 0 ? TRUE : FALSE;
}

// The value of an Enum member's name, left as it is for a text that names none.
template <class TEnum>
void ReadName(const StateMember& member, const std::string& s, TEnum* pOut)
{
    const d3d11_internal::StateEnumName* pName = d3d11_internal::FindStateEnumName(member, s);
    if (pName != nullptr)
        *pOut = static_cast<TEnum>(pName->Value);
}

// "BlendEnable[2]" -> the member BlendEnable of the block's type and 2; no index gives 0, a name
// that is no member of the type null.
const StateMember* KeyMember(StateBlockType type, const std::string& sKey, UINT* pIndex)
{
    *pIndex = 0;
    const std::size_t uiOpen = sKey.find('[');
    if (uiOpen != std::string::npos)
        *pIndex = Unsigned(sKey.substr(uiOpen + 1));
    return d3d11_internal::FindStateMember(type, std::string_view(sKey).substr(0, uiOpen));
}

// The state blocks start from the device's defaults, and each member sets its field as the table of
// state members reads it (the compiler accepts no other member or value). A member of a render
// target past the first makes the targets independent.
D3D11_BLEND_DESC BlendDesc(const EffectVariable& block)
{
    D3D11_BLEND_DESC desc{};
    for (D3D11_RENDER_TARGET_BLEND_DESC& rt : desc.RenderTarget)
        rt = {FALSE,           D3D11_BLEND_ONE,  D3D11_BLEND_ZERO,   D3D11_BLEND_OP_ADD,
              D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD, D3D11_COLOR_WRITE_ENABLE_ALL};
    for (const d3d11_internal::StateAssignment& a : block.Assignments)
    {
        UINT i = 0;
        const StateMember* pMember = KeyMember(StateBlockType::Blend, a.Key, &i);
        if (i >= d3d11_internal::STATE_RENDER_TARGETS)
            continue;
        if (i > 0)
            desc.IndependentBlendEnable = TRUE;
        if (pMember == nullptr)
            continue;
        D3D11_RENDER_TARGET_BLEND_DESC& rt = desc.RenderTarget[i];
        switch (pMember->Id)
        {
        case StateMemberId::AlphaToCoverageEnable:
            desc.AlphaToCoverageEnable = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::BlendEnable:
            rt.BlendEnable = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::SrcBlend:
            ReadName(*pMember, a.Value, &rt.SrcBlend);
            break;
        case StateMemberId::DestBlend:
            ReadName(*pMember, a.Value, &rt.DestBlend);
            break;
        case StateMemberId::BlendOp:
            ReadName(*pMember, a.Value, &rt.BlendOp);
            break;
        case StateMemberId::SrcBlendAlpha:
            ReadName(*pMember, a.Value, &rt.SrcBlendAlpha);
            break;
        case StateMemberId::DestBlendAlpha:
            ReadName(*pMember, a.Value, &rt.DestBlendAlpha);
            break;
        case StateMemberId::BlendOpAlpha:
            ReadName(*pMember, a.Value, &rt.BlendOpAlpha);
            break;
        case StateMemberId::RenderTargetWriteMask:
            rt.RenderTargetWriteMask = static_cast<UINT8>(Unsigned(a.Value));
            break;
        default: // a member of another kind of block
            break;
        }
    }
    return desc;
}

D3D11_DEPTH_STENCIL_DESC DepthStencilDesc(const EffectVariable& block)
{
    const D3D11_DEPTH_STENCILOP_DESC face = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP,
                                             D3D11_STENCIL_OP_KEEP, D3D11_COMPARISON_ALWAYS};
    D3D11_DEPTH_STENCIL_DESC desc = {
        TRUE, D3D11_DEPTH_WRITE_MASK_ALL, D3D11_COMPARISON_LESS, FALSE, 0xFF, 0xFF, face, face};
    for (const d3d11_internal::StateAssignment& a : block.Assignments)
    {
        UINT i = 0;
        const StateMember* pMember = KeyMember(StateBlockType::DepthStencil, a.Key, &i);
        if (pMember == nullptr)
            continue;
        switch (pMember->Id)
        {
        case StateMemberId::DepthEnable:
            desc.DepthEnable = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::DepthWriteMask:
            ReadName(*pMember, a.Value, &desc.DepthWriteMask);
            break;
        case StateMemberId::DepthFunc:
            ReadName(*pMember, a.Value, &desc.DepthFunc);
            break;
        case StateMemberId::StencilEnable:
            desc.StencilEnable = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::StencilReadMask:
            desc.StencilReadMask = static_cast<UINT8>(Unsigned(a.Value));
            break;
        case StateMemberId::StencilWriteMask:
            desc.StencilWriteMask = static_cast<UINT8>(Unsigned(a.Value));
            break;
        case StateMemberId::FrontFaceStencilFail:
            ReadName(*pMember, a.Value, &desc.FrontFace.StencilFailOp);
            break;
        case StateMemberId::FrontFaceStencilDepthFail:
            ReadName(*pMember, a.Value, &desc.FrontFace.StencilDepthFailOp);
            break;
        case StateMemberId::FrontFaceStencilPass:
            ReadName(*pMember, a.Value, &desc.FrontFace.StencilPassOp);
            break;
        case StateMemberId::FrontFaceStencilFunc:
            ReadName(*pMember, a.Value, &desc.FrontFace.StencilFunc);
            break;
        case StateMemberId::BackFaceStencilFail:
            ReadName(*pMember, a.Value, &desc.BackFace.StencilFailOp);
            break;
        case StateMemberId::BackFaceStencilDepthFail:
            ReadName(*pMember, a.Value, &desc.BackFace.StencilDepthFailOp);
            break;
        case StateMemberId::BackFaceStencilPass:
            ReadName(*pMember, a.Value, &desc.BackFace.StencilPassOp);
            break;
        case StateMemberId::BackFaceStencilFunc:
            ReadName(*pMember, a.Value, &desc.BackFace.StencilFunc);
            break;
        default: // a member of another kind of block
            break;
        }
    }
    return desc;
}

D3D11_RASTERIZER_DESC RasterizerDesc(const EffectVariable& block)
{
    D3D11_RASTERIZER_DESC desc = {
        D3D11_FILL_SOLID, D3D11_CULL_BACK, FALSE, 0, 0.0f, 0.0f, TRUE, FALSE, FALSE, FALSE};
    for (const d3d11_internal::StateAssignment& a : block.Assignments)
    {
        UINT i = 0;
        const StateMember* pMember = KeyMember(StateBlockType::Rasterizer, a.Key, &i);
        if (pMember == nullptr)
            continue;
        switch (pMember->Id)
        {
        case StateMemberId::FillMode:
            ReadName(*pMember, a.Value, &desc.FillMode);
            break;
        case StateMemberId::CullMode:
            ReadName(*pMember, a.Value, &desc.CullMode);
            break;
        case StateMemberId::FrontCounterClockwise:
            desc.FrontCounterClockwise = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::DepthBias:
            desc.DepthBias = static_cast<INT>(std::strtol(a.Value.c_str(), nullptr, 0));
            break;
        case StateMemberId::DepthBiasClamp:
            desc.DepthBiasClamp = std::strtof(a.Value.c_str(), nullptr);
            break;
        case StateMemberId::SlopeScaledDepthBias:
            desc.SlopeScaledDepthBias = std::strtof(a.Value.c_str(), nullptr);
            break;
        case StateMemberId::DepthClipEnable:
            desc.DepthClipEnable = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::ScissorEnable:
            desc.ScissorEnable = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::MultisampleEnable:
            desc.MultisampleEnable = ReadBool(*pMember, a.Value);
            break;
        case StateMemberId::AntialiasedLineEnable:
            desc.AntialiasedLineEnable = ReadBool(*pMember, a.Value);
            break;
        default: // a member of another kind of block
            break;
        }
    }
    return desc;
}

bool IsNull(const std::string& s)
{
    return s.empty() || s == "NULL" || s == "0";
}

} // namespace

// ---- pass ----

Pass::Pass(Effect* pEffect, UINT uiTechnique, UINT uiPass, const d3d11_internal::EffectPass* pDeclaration)
    : m_pEffect(pEffect), m_uiTechnique(uiTechnique), m_uiPass(uiPass), m_pDeclaration(pDeclaration)
{
}

Pass* Pass::Invalid()
{
    static Pass s_invalid(nullptr, 0, 0, nullptr);
    return &s_invalid;
}

HRESULT Pass::Create(ID3D11Device* pDevice, const d3d11_internal::EffectVariableMap& mapVariables)
{
    for (const d3d11_internal::PassShader& shader : m_pDeclaration->Shaders)
    {
        const void* pCode = shader.Bytecode.data();
        const SIZE_T uiSize = shader.Bytecode.size();
        const bool bNull = shader.Bytecode.empty();
        HRESULT hr = S_OK;
        switch (shader.Stage)
        {
        case ShaderStage::Vertex:
        {
            m_bVertex = true;
            m_pInputSignature = bNull ? nullptr : &shader.Bytecode;
            ID3D11VertexShader* p = nullptr;
            if (!bNull)
                hr = pDevice->CreateVertexShader(pCode, uiSize, nullptr, &p);
            m_vertexShader.Adopt(p);
            break;
        }
        case ShaderStage::Pixel:
        {
            m_bPixel = true;
            ID3D11PixelShader* p = nullptr;
            if (!bNull)
                hr = pDevice->CreatePixelShader(pCode, uiSize, nullptr, &p);
            m_pixelShader.Adopt(p);
            break;
        }
        case ShaderStage::Geometry:
        {
            m_bGeometry = true;
            ID3D11GeometryShader* p = nullptr;
            if (!bNull)
                hr = pDevice->CreateGeometryShader(pCode, uiSize, nullptr, &p);
            m_geometryShader.Adopt(p);
            break;
        }
        case ShaderStage::Compute:
        {
            m_bCompute = true;
            ID3D11ComputeShader* p = nullptr;
            if (!bNull)
                hr = pDevice->CreateComputeShader(pCode, uiSize, nullptr, &p);
            m_computeShader.Adopt(p);
            break;
        }
        default:
            hr = E_INVALIDARG;
            break;
        }
        if (FAILED(hr))
            return hr;
    }
    for (const d3d11_internal::PassState& state : m_pDeclaration->States)
    {
        const HRESULT hr = CreateState(pDevice, state, mapVariables);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT Pass::CreateState(ID3D11Device* pDevice, const d3d11_internal::PassState& state,
                          const d3d11_internal::EffectVariableMap& mapVariables)
{
    const std::vector<std::string> vArguments = SplitArguments(state.Arguments);
    const EffectVariable* pBlock = nullptr;
    if (!IsNull(vArguments[0]))
    {
        const auto it = mapVariables.find(vArguments[0]);
        if (it == mapVariables.end())
            return E_INVALIDARG;
        pBlock = it->second;
    }
    // A later call of a kind replaces an earlier one whole, as calls applied in order would: its
    // state (none for NULL) and its numbers, each at its default where the record leaves it out.
    HRESULT hr = S_OK;
    if (state.Call == "SetBlendState")
    {
        if (pBlock != nullptr && pBlock->Type != "BlendState")
            return E_INVALIDARG;
        m_bBlend = true;
        std::fill(std::begin(m_aBlendFactor), std::end(m_aBlendFactor), 0.0f);
        m_uiSampleMask = 0xFFFFFFFFu;
        if (vArguments.size() > 1)
        {
            const std::vector<float> vFactor = Numbers(vArguments[1]);
            for (std::size_t i = 0; i < 4 && i < vFactor.size(); ++i)
                m_aBlendFactor[i] = vFactor[i];
        }
        if (vArguments.size() > 2)
            m_uiSampleMask = Unsigned(vArguments[2]);
        ID3D11BlendState* p = nullptr;
        if (pBlock != nullptr)
        {
            const D3D11_BLEND_DESC desc = BlendDesc(*pBlock);
            hr = pDevice->CreateBlendState(&desc, &p);
        }
        m_blendState.Adopt(p);
    }
    else if (state.Call == "SetDepthStencilState")
    {
        if (pBlock != nullptr && pBlock->Type != "DepthStencilState")
            return E_INVALIDARG;
        m_bDepthStencil = true;
        m_uiStencilRef = vArguments.size() > 1 ? Unsigned(vArguments[1]) : 0;
        ID3D11DepthStencilState* p = nullptr;
        if (pBlock != nullptr)
        {
            const D3D11_DEPTH_STENCIL_DESC desc = DepthStencilDesc(*pBlock);
            hr = pDevice->CreateDepthStencilState(&desc, &p);
        }
        m_depthStencilState.Adopt(p);
    }
    else if (state.Call == "SetRasterizerState")
    {
        if (pBlock != nullptr && pBlock->Type != "RasterizerState")
            return E_INVALIDARG;
        m_bRasterizer = true;
        ID3D11RasterizerState* p = nullptr;
        if (pBlock != nullptr)
        {
            const D3D11_RASTERIZER_DESC desc = RasterizerDesc(*pBlock);
            hr = pDevice->CreateRasterizerState(&desc, &p);
        }
        m_rasterizerState.Adopt(p);
    }
    // Other pass calls (stream output is part of the geometry shader) change nothing bound.
    return hr;
}

HRESULT Pass::GetDesc(D3DX11_PASS_DESC* pDesc)
{
    if (m_pEffect == nullptr)
        return E_FAIL;
    if (pDesc == nullptr)
        return E_INVALIDARG;
    *pDesc = {};
    pDesc->Name = m_pDeclaration->Name.c_str();
    if (m_pInputSignature != nullptr)
    {
        pDesc->pIAInputSignature = const_cast<BYTE*>(m_pInputSignature->data());
        pDesc->IAInputSignatureSize = m_pInputSignature->size();
    }
    pDesc->StencilRef = m_uiStencilRef;
    pDesc->SampleMask = m_uiSampleMask;
    std::memcpy(pDesc->BlendFactor, m_aBlendFactor, sizeof(m_aBlendFactor));
    return S_OK;
}

HRESULT Pass::Apply(UINT Flags, ID3D11DeviceContext* pContext)
{
    if (m_pEffect == nullptr)
        return E_FAIL;
    const HRESULT hr = Runtime::Get().TakeFailure("Apply");
    if (FAILED(hr))
        return hr;
    if (Flags != 0 || pContext == nullptr)
        return E_INVALIDARG;
    if (m_bVertex)
        pContext->VSSetShader(m_vertexShader.Get(), nullptr, 0);
    if (m_bGeometry)
        pContext->GSSetShader(m_geometryShader.Get(), nullptr, 0);
    if (m_bPixel)
        pContext->PSSetShader(m_pixelShader.Get(), nullptr, 0);
    if (m_bCompute)
        pContext->CSSetShader(m_computeShader.Get(), nullptr, 0);
    if (m_bBlend)
        pContext->OMSetBlendState(m_blendState.Get(), m_aBlendFactor, m_uiSampleMask);
    if (m_bDepthStencil)
        pContext->OMSetDepthStencilState(m_depthStencilState.Get(), m_uiStencilRef);
    if (m_bRasterizer)
        pContext->RSSetState(m_rasterizerState.Get());
    m_pEffect->RecordApply(m_uiTechnique, m_uiPass);
    return S_OK;
}

// ---- technique ----

Technique::Technique(Effect* pEffect, UINT uiIndex, const d3d11_internal::EffectTechnique* pDeclaration)
    : m_pEffect(pEffect), m_uiIndex(uiIndex), m_pDeclaration(pDeclaration)
{
}

Technique* Technique::Invalid()
{
    static Technique s_invalid(nullptr, 0, nullptr);
    return &s_invalid;
}

HRESULT Technique::Create(ID3D11Device* pDevice, const d3d11_internal::EffectVariableMap& mapVariables)
{
    for (std::size_t i = 0; i < m_pDeclaration->Passes.size(); ++i)
    {
        m_vPasses.push_back(
            std::make_unique<Pass>(m_pEffect, m_uiIndex, static_cast<UINT>(i), &m_pDeclaration->Passes[i]));
        const HRESULT hr = m_vPasses.back()->Create(pDevice, mapVariables);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT Technique::GetDesc(D3DX11_TECHNIQUE_DESC* pDesc)
{
    if (m_pEffect == nullptr)
        return E_FAIL;
    if (pDesc == nullptr)
        return E_INVALIDARG;
    *pDesc = {};
    pDesc->Name = m_pDeclaration->Name.c_str();
    pDesc->Passes = static_cast<UINT>(m_vPasses.size());
    return S_OK;
}

ID3DX11EffectPass* Technique::GetPassByIndex(UINT Index)
{
    if (m_pEffect == nullptr || Index >= m_vPasses.size())
        return Pass::Invalid();
    return m_vPasses[Index].get();
}

ID3DX11EffectPass* Technique::GetPassByName(LPCSTR Name)
{
    if (m_pEffect != nullptr && Name != nullptr)
        for (const std::unique_ptr<Pass>& pPass : m_vPasses)
            if (pPass->GetName() == Name)
                return pPass.get();
    return Pass::Invalid();
}

} // namespace effects11_internal
