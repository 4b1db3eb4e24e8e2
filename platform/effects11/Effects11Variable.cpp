#include "platform/effects11/Effects11Variable.h"

#include "platform/d3d11/D3D11Control.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace effects11_internal
{

namespace
{

bool StartsWith(const std::string& s, const char* pPrefix)
{
    return s.compare(0, std::strlen(pPrefix), pPrefix) == 0;
}

const char* const SCALAR_TYPES[] = {"float", "int", "uint", "bool", "half", "double", "dword", "min16float"};

// The kind and numeric shape of a declared type: "float" 1x1, "float3" 1x3, "float4x4" 4x4,
// "matrix" 4x4, "vector" 1x4.
VariableKind Classify(const std::string& sType, UINT* pRows, UINT* pColumns)
{
    *pRows = 0;
    *pColumns = 0;
    if (StartsWith(sType, "RW") || StartsWith(sType, "AppendStructuredBuffer") ||
        StartsWith(sType, "ConsumeStructuredBuffer"))
        return VariableKind::UnorderedAccess;
    if (StartsWith(sType, "Texture") || StartsWith(sType, "Buffer") ||
        StartsWith(sType, "StructuredBuffer") || StartsWith(sType, "ByteAddressBuffer"))
        return VariableKind::ShaderResource;
    if (sType == "matrix")
    {
        *pRows = *pColumns = 4;
        return VariableKind::Matrix;
    }
    if (sType == "vector")
    {
        *pRows = 1;
        *pColumns = 4;
        return VariableKind::Vector;
    }
    for (const char* pBase : SCALAR_TYPES)
    {
        if (!StartsWith(sType, pBase))
            continue;
        const std::string sRest = sType.substr(std::strlen(pBase));
        if (sRest.empty())
        {
            *pRows = *pColumns = 1;
            return VariableKind::Scalar;
        }
        const auto digit = [](char c) { return c >= '1' && c <= '4'; };
        if (sRest.size() == 1 && digit(sRest[0]))
        {
            *pRows = 1;
            *pColumns = static_cast<UINT>(sRest[0] - '0');
            return VariableKind::Vector;
        }
        if (sRest.size() == 3 && digit(sRest[0]) && sRest[1] == 'x' && digit(sRest[2]))
        {
            *pRows = static_cast<UINT>(sRest[0] - '0');
            *pColumns = static_cast<UINT>(sRest[2] - '0');
            return VariableKind::Matrix;
        }
    }
    return VariableKind::Other;
}

// The one invalid object of each type (made on first use), shared by every effect.
template <typename T>
T* InvalidObject()
{
    static T s_invalid(nullptr);
    return &s_invalid;
}

} // namespace

// ---- the shared variable part ----

template <class TInterface>
ID3DX11EffectType* VariableFacet<TInterface>::GetType()
{
    return m_pVariable != nullptr ? static_cast<ID3DX11EffectType*>(m_pVariable->GetType())
                                  : Variable::InvalidType();
}

template <class TInterface>
HRESULT VariableFacet<TInterface>::GetDesc(D3DX11_EFFECT_VARIABLE_DESC* pDesc)
{
    return m_pVariable != nullptr ? m_pVariable->GetDesc(pDesc) : E_FAIL;
}

template <class TInterface>
ID3DX11EffectScalarVariable* VariableFacet<TInterface>::AsScalar()
{
    return m_pVariable != nullptr ? m_pVariable->AsScalar() : Variable::InvalidScalar();
}

template <class TInterface>
ID3DX11EffectVectorVariable* VariableFacet<TInterface>::AsVector()
{
    return m_pVariable != nullptr ? m_pVariable->AsVector() : Variable::InvalidVector();
}

template <class TInterface>
ID3DX11EffectMatrixVariable* VariableFacet<TInterface>::AsMatrix()
{
    return m_pVariable != nullptr ? m_pVariable->AsMatrix() : Variable::InvalidMatrix();
}

template <class TInterface>
ID3DX11EffectShaderResourceVariable* VariableFacet<TInterface>::AsShaderResource()
{
    return m_pVariable != nullptr ? m_pVariable->AsShaderResource() : Variable::InvalidShaderResource();
}

template <class TInterface>
ID3DX11EffectUnorderedAccessViewVariable* VariableFacet<TInterface>::AsUnorderedAccessView()
{
    return m_pVariable != nullptr ? m_pVariable->AsUnorderedAccess() : Variable::InvalidUnorderedAccess();
}

template class VariableFacet<ID3DX11EffectVariable>;
template class VariableFacet<ID3DX11EffectScalarVariable>;
template class VariableFacet<ID3DX11EffectVectorVariable>;
template class VariableFacet<ID3DX11EffectMatrixVariable>;
template class VariableFacet<ID3DX11EffectShaderResourceVariable>;
template class VariableFacet<ID3DX11EffectUnorderedAccessViewVariable>;

// ---- the kinds ----

HRESULT ScalarFacet::SetFloat(float Value)
{
    return m_pVariable != nullptr ? m_pVariable->SetNumbers(&Value, 0, 1, 1, 1) : E_FAIL;
}

HRESULT ScalarFacet::GetFloat(float* pValue)
{
    return m_pVariable != nullptr ? m_pVariable->GetNumbers(pValue, 1) : E_FAIL;
}

HRESULT ScalarFacet::SetFloatArray(const float* pData, UINT Offset, UINT Count)
{
    return m_pVariable != nullptr ? m_pVariable->SetNumbers(pData, Offset, Count, 1, 1) : E_FAIL;
}

HRESULT ScalarFacet::SetInt(int Value)
{
    return m_pVariable != nullptr ? m_pVariable->SetIntegers(&Value, 0, 1, 1, 1) : E_FAIL;
}

HRESULT ScalarFacet::GetInt(int* pValue)
{
    if (m_pVariable == nullptr)
        return E_FAIL;
    float f = 0.0f;
    const HRESULT hr = m_pVariable->GetNumbers(&f, 1);
    if (SUCCEEDED(hr))
        *pValue = static_cast<int>(f);
    return hr;
}

HRESULT ScalarFacet::SetIntArray(const int* pData, UINT Offset, UINT Count)
{
    return m_pVariable != nullptr ? m_pVariable->SetIntegers(pData, Offset, Count, 1, 1) : E_FAIL;
}

HRESULT ScalarFacet::SetBool(BOOL Value)
{
    const int i = Value != FALSE ? 1 : 0;
    return m_pVariable != nullptr ? m_pVariable->SetIntegers(&i, 0, 1, 1, 1) : E_FAIL;
}

HRESULT VectorFacet::SetFloatVector(const float* pData)
{
    if (m_pVariable == nullptr)
        return E_FAIL;
    const UINT n = m_pVariable->GetColumns();
    return m_pVariable->SetNumbers(pData, 0, 1, n, n);
}

HRESULT VectorFacet::GetFloatVector(float* pData)
{
    return m_pVariable != nullptr ? m_pVariable->GetNumbers(pData, m_pVariable->GetColumns()) : E_FAIL;
}

HRESULT VectorFacet::SetFloatVectorArray(const float* pData, UINT Offset, UINT Count)
{
    if (m_pVariable == nullptr)
        return E_FAIL;
    const UINT n = m_pVariable->GetColumns();
    return m_pVariable->SetNumbers(pData, Offset, Count, n, n);
}

HRESULT VectorFacet::SetIntVector(const int* pData)
{
    if (m_pVariable == nullptr)
        return E_FAIL;
    const UINT n = m_pVariable->GetColumns();
    return m_pVariable->SetIntegers(pData, 0, 1, n, n);
}

HRESULT MatrixFacet::SetMatrix(const float* pData)
{
    return m_pVariable != nullptr ? m_pVariable->SetNumbers(pData, 0, 1, 16, 16) : E_FAIL;
}

HRESULT MatrixFacet::GetMatrix(float* pData)
{
    return m_pVariable != nullptr ? m_pVariable->GetNumbers(pData, 16) : E_FAIL;
}

HRESULT MatrixFacet::SetMatrixArray(const float* pData, UINT Offset, UINT Count)
{
    return m_pVariable != nullptr ? m_pVariable->SetNumbers(pData, Offset, Count, 16, 16) : E_FAIL;
}

HRESULT ShaderResourceFacet::SetResource(ID3D11ShaderResourceView* pResource)
{
    IUnknown* p = pResource;
    return m_pVariable != nullptr ? m_pVariable->SetObjects(&p, 0, 1) : E_FAIL;
}

HRESULT ShaderResourceFacet::GetResource(ID3D11ShaderResourceView** ppResource)
{
    if (m_pVariable == nullptr)
        return E_FAIL;
    if (ppResource == nullptr)
        return E_INVALIDARG;
    *ppResource = static_cast<ID3D11ShaderResourceView*>(m_pVariable->GetViewAt(0));
    return S_OK;
}

HRESULT ShaderResourceFacet::SetResourceArray(ID3D11ShaderResourceView* const* ppResources, UINT Offset,
                                              UINT Count)
{
    if (m_pVariable == nullptr)
        return E_FAIL;
    if (ppResources == nullptr && Count > 0)
        return E_INVALIDARG;
    std::vector<IUnknown*> v(ppResources, ppResources + Count);
    return m_pVariable->SetObjects(v.data(), Offset, Count);
}

HRESULT UnorderedAccessFacet::SetUnorderedAccessView(ID3D11UnorderedAccessView* pResource)
{
    IUnknown* p = pResource;
    return m_pVariable != nullptr ? m_pVariable->SetObjects(&p, 0, 1) : E_FAIL;
}

HRESULT UnorderedAccessFacet::SetUnorderedAccessViewArray(ID3D11UnorderedAccessView* const* ppResources,
                                                          UINT Offset, UINT Count)
{
    if (m_pVariable == nullptr)
        return E_FAIL;
    if (ppResources == nullptr && Count > 0)
        return E_INVALIDARG;
    std::vector<IUnknown*> v(ppResources, ppResources + Count);
    return m_pVariable->SetObjects(v.data(), Offset, Count);
}

HRESULT TypeObject::GetDesc(D3DX11_EFFECT_TYPE_DESC* pDesc)
{
    return m_pVariable != nullptr ? m_pVariable->GetTypeDesc(pDesc) : E_FAIL;
}

// ---- the variable ----

Variable::Variable(const d3d11_internal::EffectVariable& declaration)
    : m_sName(declaration.Name), m_sTypeName(declaration.Type), m_sSemantic(declaration.Semantic),
      m_uiDeclaredElements(declaration.ArraySize), m_uiElements(std::max<UINT>(1, declaration.ArraySize))
{
    m_kind = Classify(m_sTypeName, &m_uiRows, &m_uiColumns);
    switch (m_kind)
    {
    case VariableKind::Scalar:
    case VariableKind::Vector:
        m_uiComponents = m_uiColumns;
        break;
    case VariableKind::Matrix:
        m_uiComponents = 16; // kept as set, row-major 4x4
        break;
    default:
        break;
    }
    m_vValues.assign(std::size_t{m_uiElements} * m_uiComponents, 0.0f);
    if (m_kind == VariableKind::ShaderResource || m_kind == VariableKind::UnorderedAccess)
        m_vObjects.assign(m_uiElements, nullptr);
}

Variable::~Variable()
{
    for (IUnknown* p : m_vObjects)
        if (p != nullptr)
            p->Release();
}

GenericFacet* Variable::InvalidVariable()
{
    return InvalidObject<GenericFacet>();
}

ScalarFacet* Variable::InvalidScalar()
{
    return InvalidObject<ScalarFacet>();
}

VectorFacet* Variable::InvalidVector()
{
    return InvalidObject<VectorFacet>();
}

MatrixFacet* Variable::InvalidMatrix()
{
    return InvalidObject<MatrixFacet>();
}

ShaderResourceFacet* Variable::InvalidShaderResource()
{
    return InvalidObject<ShaderResourceFacet>();
}

UnorderedAccessFacet* Variable::InvalidUnorderedAccess()
{
    return InvalidObject<UnorderedAccessFacet>();
}

TypeObject* Variable::InvalidType()
{
    return InvalidObject<TypeObject>();
}

ScalarFacet* Variable::AsScalar()
{
    return m_kind == VariableKind::Scalar ? &m_scalar : InvalidScalar();
}

VectorFacet* Variable::AsVector()
{
    return m_kind == VariableKind::Vector ? &m_vector : InvalidVector();
}

MatrixFacet* Variable::AsMatrix()
{
    return m_kind == VariableKind::Matrix ? &m_matrix : InvalidMatrix();
}

ShaderResourceFacet* Variable::AsShaderResource()
{
    return m_kind == VariableKind::ShaderResource ? &m_shaderResource : InvalidShaderResource();
}

UnorderedAccessFacet* Variable::AsUnorderedAccess()
{
    return m_kind == VariableKind::UnorderedAccess ? &m_unorderedAccess : InvalidUnorderedAccess();
}

HRESULT Variable::GetDesc(D3DX11_EFFECT_VARIABLE_DESC* pDesc) const
{
    if (pDesc == nullptr)
        return E_INVALIDARG;
    *pDesc = {};
    pDesc->Name = m_sName.c_str();
    pDesc->Semantic = m_sSemantic.empty() ? nullptr : m_sSemantic.c_str();
    return S_OK;
}

HRESULT Variable::GetTypeDesc(D3DX11_EFFECT_TYPE_DESC* pDesc) const
{
    if (pDesc == nullptr)
        return E_INVALIDARG;
    *pDesc = {};
    pDesc->TypeName = m_sTypeName.c_str();
    pDesc->Class = m_kind == VariableKind::Scalar   ? D3D_SVC_SCALAR
                   : m_kind == VariableKind::Vector ? D3D_SVC_VECTOR
                   : m_kind == VariableKind::Matrix ? D3D_SVC_MATRIX_COLUMNS
                                                    : D3D_SVC_OBJECT;
    pDesc->Elements = m_uiDeclaredElements;
    pDesc->Rows = m_uiRows;
    pDesc->Columns = m_uiColumns;
    const UINT uiSize = m_uiRows * m_uiColumns * 4;
    pDesc->PackedSize = uiSize * m_uiElements;
    pDesc->UnpackedSize = uiSize * m_uiElements;
    pDesc->Stride = uiSize;
    return S_OK;
}

bool Variable::InRange(UINT uiOffset, UINT uiCount) const
{
    return uiOffset <= m_uiElements && uiCount <= m_uiElements - uiOffset;
}

HRESULT Variable::SetNumbers(const float* pData, UINT uiOffset, UINT uiCount, UINT uiTake, UINT uiStride)
{
    if (!InRange(uiOffset, uiCount) || (pData == nullptr && uiCount > 0))
        return E_INVALIDARG;
    uiTake = std::min(uiTake, m_uiComponents);
    for (UINT e = 0; e < uiCount; ++e)
        std::copy(pData + std::size_t{e} * uiStride, pData + std::size_t{e} * uiStride + uiTake,
                  m_vValues.begin() +
                      static_cast<std::ptrdiff_t>(std::size_t{uiOffset + e} * m_uiComponents));
    m_bWritten = true;
    return S_OK;
}

HRESULT Variable::SetIntegers(const int* pData, UINT uiOffset, UINT uiCount, UINT uiTake, UINT uiStride)
{
    if (!InRange(uiOffset, uiCount) || (pData == nullptr && uiCount > 0))
        return E_INVALIDARG;
    uiTake = std::min(uiTake, m_uiComponents);
    for (UINT e = 0; e < uiCount; ++e)
        for (UINT c = 0; c < uiTake; ++c)
            m_vValues[std::size_t{uiOffset + e} * m_uiComponents + c] =
                static_cast<float>(pData[std::size_t{e} * uiStride + c]);
    m_bWritten = true;
    return S_OK;
}

HRESULT Variable::GetNumbers(float* pData, UINT uiTake) const
{
    if (pData == nullptr)
        return E_INVALIDARG;
    std::copy_n(m_vValues.begin(), std::min(uiTake, m_uiComponents), pData);
    return S_OK;
}

HRESULT Variable::SetObjects(IUnknown* const* ppObjects, UINT uiOffset, UINT uiCount)
{
    if (!InRange(uiOffset, uiCount))
        return E_INVALIDARG;
    for (UINT e = 0; e < uiCount; ++e)
    {
        IUnknown*& rSlot = m_vObjects[uiOffset + e];
        if (ppObjects[e] != nullptr)
            ppObjects[e]->AddRef();
        if (rSlot != nullptr)
            rSlot->Release();
        rSlot = ppObjects[e];
    }
    m_bWritten = true;
    return S_OK;
}

IUnknown* Variable::GetViewAt(UINT uiElement) const
{
    return uiElement < m_vObjects.size() ? m_vObjects[uiElement] : nullptr;
}

Effects11Control::VariableSnapshot Variable::Snapshot() const
{
    Effects11Control::VariableSnapshot snapshot{m_sName,   m_sTypeName, m_uiDeclaredElements,
                                                m_vValues, {},          m_bWritten};
    snapshot.Resources.reserve(m_vObjects.size());
    for (IUnknown* p : m_vObjects)
        snapshot.Resources.push_back(D3D11Control::GetObjectId(p));
    return snapshot;
}

} // namespace effects11_internal
