#include "platform/d3d11/D3D11Shaders.h"

#include "platform/d3d11/D3D11Formats.h"

#include <new>
#include <strings.h>

namespace d3d11_internal
{

namespace
{

template <class TInterface>
struct StageTraits;

template <>
struct StageTraits<ID3D11VertexShader>
{
    static constexpr const char* NAME = "ID3D11VertexShader";
    static constexpr ShaderStage STAGE = ShaderStage::Vertex;
    static const IID& Iid() { return IID_ID3D11VertexShader; }
};

template <>
struct StageTraits<ID3D11PixelShader>
{
    static constexpr const char* NAME = "ID3D11PixelShader";
    static constexpr ShaderStage STAGE = ShaderStage::Pixel;
    static const IID& Iid() { return IID_ID3D11PixelShader; }
};

template <>
struct StageTraits<ID3D11GeometryShader>
{
    static constexpr const char* NAME = "ID3D11GeometryShader";
    static constexpr ShaderStage STAGE = ShaderStage::Geometry;
    static const IID& Iid() { return IID_ID3D11GeometryShader; }
};

template <>
struct StageTraits<ID3D11ComputeShader>
{
    static constexpr const char* NAME = "ID3D11ComputeShader";
    static constexpr ShaderStage STAGE = ShaderStage::Compute;
    static const IID& Iid() { return IID_ID3D11ComputeShader; }
};

bool IsSystemValue(const std::string& sName)
{
    return sName.size() >= 3 && strncasecmp(sName.c_str(), "SV_", 3) == 0;
}

} // namespace

template <class TInterface>
Shader<TInterface>::Shader() : ComObject<TInterface>(StageTraits<TInterface>::NAME)
{
}

template <class TInterface>
HRESULT Shader<TInterface>::Create(const void* pBytecode, SIZE_T uiLength, ID3D11ClassLinkage* pClassLinkage,
                                   Shader** ppOut)
{
    ShaderBytecode bytecode;
    if (pClassLinkage != nullptr || !DecodeShaderBytecode(pBytecode, uiLength, &bytecode) ||
        StageOfTarget(bytecode.Target) != StageTraits<TInterface>::STAGE)
    {
        return E_INVALIDARG;
    }
    if (ppOut == nullptr)
        return S_FALSE;
    Shader* pShader = nullptr;
    try
    {
        pShader = new Shader();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    pShader->m_bytecode = std::move(bytecode);
    *ppOut = pShader;
    return S_OK;
}

template <class TInterface>
bool Shader<TInterface>::Implements(REFIID riid) const
{
    return IsEqualIID(riid, StageTraits<TInterface>::Iid()) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
           IsEqualIID(riid, IID_IUnknown);
}

template class Shader<ID3D11VertexShader>;
template class Shader<ID3D11PixelShader>;
template class Shader<ID3D11GeometryShader>;
template class Shader<ID3D11ComputeShader>;

InputLayout::InputLayout() : ComObject<ID3D11InputLayout>("ID3D11InputLayout")
{
}

HRESULT InputLayout::Create(const D3D11_INPUT_ELEMENT_DESC* pElements, UINT uiNumElements,
                            const void* pBytecode, SIZE_T uiLength, InputLayout** ppOut)
{
    ShaderBytecode bytecode;
    if ((pElements == nullptr && uiNumElements != 0) ||
        uiNumElements > D3D11_IA_VERTEX_INPUT_STRUCTURE_ELEMENT_COUNT ||
        !DecodeShaderBytecode(pBytecode, uiLength, &bytecode) ||
        StageOfTarget(bytecode.Target) != ShaderStage::Vertex)
    {
        return E_INVALIDARG;
    }
    std::vector<InputElement> vElements;
    try
    {
        vElements.reserve(uiNumElements);
        for (UINT i = 0; i < uiNumElements; ++i)
        {
            const D3D11_INPUT_ELEMENT_DESC& desc = pElements[i];
            FormatInfo info;
            if (desc.SemanticName == nullptr || !GetFormatInfo(desc.Format, &info) ||
                desc.InputSlot >= D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT ||
                (desc.InputSlotClass != D3D11_INPUT_PER_VERTEX_DATA &&
                 desc.InputSlotClass != D3D11_INPUT_PER_INSTANCE_DATA))
            {
                return E_INVALIDARG;
            }
            vElements.push_back({desc.SemanticName, desc.SemanticIndex, desc.Format, desc.InputSlot,
                                 desc.AlignedByteOffset, desc.InputSlotClass, desc.InstanceDataStepRate});
        }
        for (const SignatureElement& input : bytecode.InputSignature)
        {
            if (IsSystemValue(input.SemanticName))
                continue;
            bool bFound = false;
            for (const InputElement& element : vElements)
                bFound =
                    bFound || (element.SemanticIndex == input.SemanticIndex &&
                               strcasecmp(element.SemanticName.c_str(), input.SemanticName.c_str()) == 0);
            if (!bFound)
                return E_INVALIDARG;
        }
        if (ppOut == nullptr)
            return S_FALSE;
        auto* pLayout = new InputLayout();
        pLayout->m_vElements = std::move(vElements);
        *ppOut = pLayout;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

InputLayout* InputLayout::From(ID3D11InputLayout* pLayout)
{
    return pLayout != nullptr ? dynamic_cast<InputLayout*>(pLayout) : nullptr;
}

bool InputLayout::Implements(REFIID riid) const
{
    return IsEqualIID(riid, IID_ID3D11InputLayout) || IsEqualIID(riid, IID_ID3D11DeviceChild) ||
           IsEqualIID(riid, IID_IUnknown);
}

} // namespace d3d11_internal
