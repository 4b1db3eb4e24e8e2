#pragma once
// Internal to the Direct3D 11 stand-in: shader objects and input layouts. A shader keeps the
// decoded bytecode it was made from (its input signature, its thread-group size); an input
// layout keeps its elements with their semantic names copied.

#include "platform/d3d11/D3D11Runtime.h"
#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3d11/d3d11.h"

#include <string>
#include <vector>

namespace d3d11_internal
{

// One shader object of the interface's stage.
template <class TInterface>
class Shader final : public ComObject<TInterface>
{
public:
    // E_INVALIDARG when the bytecode is not the compiler's output for this stage or a class
    // linkage is given; S_FALSE when ppOut is null (validation only).
    static HRESULT Create(const void* pBytecode, SIZE_T uiLength, ID3D11ClassLinkage* pClassLinkage,
                          Shader** ppOut);

    const ShaderBytecode& GetBytecode() const { return m_bytecode; }

private:
    Shader();
    bool Implements(REFIID riid) const override;

    ShaderBytecode m_bytecode;
};

using VertexShader = Shader<ID3D11VertexShader>;
using PixelShader = Shader<ID3D11PixelShader>;
using GeometryShader = Shader<ID3D11GeometryShader>;
using ComputeShader = Shader<ID3D11ComputeShader>;

struct InputElement
{
    std::string SemanticName;
    UINT SemanticIndex = 0;
    DXGI_FORMAT Format = DXGI_FORMAT_UNKNOWN;
    UINT InputSlot = 0;
    UINT AlignedByteOffset = 0;
    D3D11_INPUT_CLASSIFICATION InputSlotClass = D3D11_INPUT_PER_VERTEX_DATA;
    UINT InstanceDataStepRate = 0;
};

class InputLayout final : public ComObject<ID3D11InputLayout>
{
public:
    // See ID3D11Device::CreateInputLayout.
    static HRESULT Create(const D3D11_INPUT_ELEMENT_DESC* pElements, UINT uiNumElements,
                          const void* pBytecode, SIZE_T uiLength, InputLayout** ppOut);
    static InputLayout* From(ID3D11InputLayout* pLayout);

    const std::vector<InputElement>& GetElements() const { return m_vElements; }

private:
    InputLayout();
    bool Implements(REFIID riid) const override;

    std::vector<InputElement> m_vElements;
};

} // namespace d3d11_internal
