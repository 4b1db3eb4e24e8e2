#pragma once
// Internal to the effects stand-in: one effect variable with its value store, and the interface
// objects through which the engine sees it (one per kind, so that AsScalar and the others can
// answer an object of the asked interface). An object without a variable is the invalid dummy
// that unknown names and wrong kinds get.

#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/effects11/d3dx11effect.h"

#include <cstdint>
#include <string>
#include <vector>

namespace effects11_internal
{

enum class VariableKind
{
    Scalar,
    Vector,
    Matrix,
    ShaderResource,
    UnorderedAccess,
    Other // states, shaders, structures: declared, but nothing to set
};

class Variable;

// The ID3DX11EffectVariable part every interface object shares.
template <class TInterface>
class VariableFacet : public TInterface
{
public:
    explicit VariableFacet(Variable* pVariable) : m_pVariable(pVariable) {}
    VariableFacet(const VariableFacet&) = delete;
    VariableFacet& operator=(const VariableFacet&) = delete;

    BOOL IsValid() override { return m_pVariable != nullptr ? TRUE : FALSE; }
    ID3DX11EffectType* GetType() override;
    HRESULT GetDesc(D3DX11_EFFECT_VARIABLE_DESC* pDesc) override;
    ID3DX11EffectScalarVariable* AsScalar() override;
    ID3DX11EffectVectorVariable* AsVector() override;
    ID3DX11EffectMatrixVariable* AsMatrix() override;
    ID3DX11EffectShaderResourceVariable* AsShaderResource() override;
    ID3DX11EffectUnorderedAccessViewVariable* AsUnorderedAccessView() override;

protected:
    ~VariableFacet() = default;
    Variable* m_pVariable; // null: the invalid dummy
};

class GenericFacet final : public VariableFacet<ID3DX11EffectVariable>
{
public:
    using VariableFacet::VariableFacet;
};

class ScalarFacet final : public VariableFacet<ID3DX11EffectScalarVariable>
{
public:
    using VariableFacet::VariableFacet;
    HRESULT SetFloat(float Value) override;
    HRESULT GetFloat(float* pValue) override;
    HRESULT SetFloatArray(const float* pData, UINT Offset, UINT Count) override;
    HRESULT SetInt(int Value) override;
    HRESULT GetInt(int* pValue) override;
    HRESULT SetIntArray(const int* pData, UINT Offset, UINT Count) override;
    HRESULT SetBool(BOOL Value) override;
};

class VectorFacet final : public VariableFacet<ID3DX11EffectVectorVariable>
{
public:
    using VariableFacet::VariableFacet;
    HRESULT SetFloatVector(const float* pData) override;
    HRESULT GetFloatVector(float* pData) override;
    HRESULT SetFloatVectorArray(const float* pData, UINT Offset, UINT Count) override;
    HRESULT SetIntVector(const int* pData) override;
};

class MatrixFacet final : public VariableFacet<ID3DX11EffectMatrixVariable>
{
public:
    using VariableFacet::VariableFacet;
    HRESULT SetMatrix(const float* pData) override;
    HRESULT GetMatrix(float* pData) override;
    HRESULT SetMatrixArray(const float* pData, UINT Offset, UINT Count) override;
};

class ShaderResourceFacet final : public VariableFacet<ID3DX11EffectShaderResourceVariable>
{
public:
    using VariableFacet::VariableFacet;
    HRESULT SetResource(ID3D11ShaderResourceView* pResource) override;
    HRESULT GetResource(ID3D11ShaderResourceView** ppResource) override;
    HRESULT SetResourceArray(ID3D11ShaderResourceView* const* ppResources, UINT Offset, UINT Count) override;
};

class UnorderedAccessFacet final : public VariableFacet<ID3DX11EffectUnorderedAccessViewVariable>
{
public:
    using VariableFacet::VariableFacet;
    HRESULT SetUnorderedAccessView(ID3D11UnorderedAccessView* pResource) override;
    HRESULT SetUnorderedAccessViewArray(ID3D11UnorderedAccessView* const* ppResources, UINT Offset,
                                        UINT Count) override;
};

class TypeObject final : public ID3DX11EffectType
{
public:
    explicit TypeObject(Variable* pVariable) : m_pVariable(pVariable) {}
    TypeObject(const TypeObject&) = delete;
    TypeObject& operator=(const TypeObject&) = delete;

    BOOL IsValid() override { return m_pVariable != nullptr ? TRUE : FALSE; }
    HRESULT GetDesc(D3DX11_EFFECT_TYPE_DESC* pDesc) override;

private:
    Variable* m_pVariable;
};

class Variable
{
public:
    explicit Variable(const d3d11_internal::EffectVariable& declaration);
    ~Variable();
    Variable(const Variable&) = delete;
    Variable& operator=(const Variable&) = delete;

    // The invalid objects, shared by every effect.
    static GenericFacet* InvalidVariable();
    static ScalarFacet* InvalidScalar();
    static VectorFacet* InvalidVector();
    static MatrixFacet* InvalidMatrix();
    static ShaderResourceFacet* InvalidShaderResource();
    static UnorderedAccessFacet* InvalidUnorderedAccess();
    static TypeObject* InvalidType();

    const std::string& GetName() const { return m_sName; }
    VariableKind GetKind() const { return m_kind; }

    GenericFacet* AsGeneric() { return &m_generic; }
    ScalarFacet* AsScalar();
    VectorFacet* AsVector();
    MatrixFacet* AsMatrix();
    ShaderResourceFacet* AsShaderResource();
    UnorderedAccessFacet* AsUnorderedAccess();
    TypeObject* GetType() { return &m_type; }

    HRESULT GetDesc(D3DX11_EFFECT_VARIABLE_DESC* pDesc) const;
    HRESULT GetTypeDesc(D3DX11_EFFECT_TYPE_DESC* pDesc) const;

    // Count elements from element uiOffset, uiTake values each (at most the per-element count),
    // read uiStride values apart. E_INVALIDARG for a range past the declared array or null data.
    HRESULT SetNumbers(const float* pData, UINT uiOffset, UINT uiCount, UINT uiTake, UINT uiStride);
    HRESULT SetIntegers(const int* pData, UINT uiOffset, UINT uiCount, UINT uiTake, UINT uiStride);
    // The first uiTake values of element 0.
    HRESULT GetNumbers(float* pData, UINT uiTake) const;
    HRESULT SetObjects(IUnknown* const* ppObjects, UINT uiOffset, UINT uiCount);
    IUnknown* GetViewAt(UINT uiElement) const;
    UINT GetColumns() const { return m_uiColumns; }

    Effects11Control::VariableSnapshot Snapshot() const;

private:
    bool InRange(UINT uiOffset, UINT uiCount) const;

    std::string m_sName;
    std::string m_sTypeName;
    std::string m_sSemantic;
    VariableKind m_kind = VariableKind::Other;
    UINT m_uiDeclaredElements = 0; // 0 when not an array
    UINT m_uiElements = 1;         // storage: max(1, declared)
    UINT m_uiRows = 0;
    UINT m_uiColumns = 0;
    UINT m_uiComponents = 0; // values per element
    std::vector<float> m_vValues;
    std::vector<IUnknown*> m_vObjects; // one reference each
    bool m_bWritten = false;

    GenericFacet m_generic{this};
    ScalarFacet m_scalar{this};
    VectorFacet m_vector{this};
    MatrixFacet m_matrix{this};
    ShaderResourceFacet m_shaderResource{this};
    UnorderedAccessFacet m_unorderedAccess{this};
    TypeObject m_type{this};
};

} // namespace effects11_internal
