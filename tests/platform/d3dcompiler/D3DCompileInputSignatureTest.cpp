// A vertex shader's input signature holds one element for each input register its parameters and
// struct members with a semantic fill, with the semantic indices Direct3D's compiler gives them,
// and the device makes an input layout only when the layout feeds every one of them. A parameter
// of a two-word type ("unsigned int"), one whose type followed row_major, column_major, snorm or
// unorm, and all but the first register of a matrix were left out, so a layout Direct3D refuses
// was made.
//
// The table is written from Direct3D's documented layout of shader inputs: a scalar or a vector
// fills one register; a matrix fills one register per column, or one per row when it is row_major
// (column_major is the default), so float4x3 takes three and row_major float4x3 four, and an
// instance's float4x4 world matrix WORLD0 to WORLD3; an array fills its element's registers once
// for each element; the semantic indices count up from the semantic's own, one per register.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "tests/platform/d3dcompiler/D3DCompileTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace
{

using d3dcompile_test::Compile;
using d3dcompile_test::Decode;
using d3dcompile_test::Result;
using d3dcompile_test::Where;

// A declaration and the elements it adds: Count indices of Semantic from First.
struct InputCase
{
    const char* Declaration;
    const char* Semantic;
    std::uint32_t First;
    std::uint32_t Count;
};

// Declarations a parameter and a struct member both take.
const InputCase DECLARATIONS[] = {
    {"unsigned int i : TEXCOORD0", "TEXCOORD", 0, 1},
    {"signed int i : TEXCOORD1", "TEXCOORD", 1, 1},
    {"uint i : TEXCOORD2", "TEXCOORD", 2, 1},
    {"dword i : BLENDINDICES", "BLENDINDICES", 0, 1},
    {"snorm float4 n : NORMAL", "NORMAL", 0, 1},
    {"unorm float c : COLOR1", "COLOR", 1, 1},
    {"vector<float, 3> v : TANGENT", "TANGENT", 0, 1},
    {"float2 a[2] : TEXCOORD5", "TEXCOORD", 5, 2},
    // Matrices: columns, or rows when row_major.
    {"float4x4 m : WORLD", "WORLD", 0, 4},
    {"row_major float4x4 m : WORLD", "WORLD", 0, 4},
    {"column_major float4x4 m : WORLD", "WORLD", 0, 4},
    {"float4x3 m : BONE", "BONE", 0, 3},
    {"column_major float4x3 m : BONE", "BONE", 0, 3},
    {"row_major float4x3 m : BONE", "BONE", 0, 4},
    {"float2x3 m : TEXCOORD4", "TEXCOORD", 4, 3},
    {"row_major float2x3 m : TEXCOORD4", "TEXCOORD", 4, 2},
    {"float3x1 m : WEIGHTS", "WEIGHTS", 0, 1},
    {"row_major float3x1 m : WEIGHTS", "WEIGHTS", 0, 3},
    {"float1x4 m : WEIGHTS2", "WEIGHTS", 2, 4},
    {"row_major float1x4 m : WEIGHTS2", "WEIGHTS", 2, 1},
    {"int2x4 m : INDICES", "INDICES", 0, 4},
    {"row_major uint3x2 m : INDICES", "INDICES", 0, 3},
    {"half2x2 m : UV", "UV", 0, 2},
    {"matrix m : WORLD", "WORLD", 0, 4},
    {"row_major matrix m : WORLD", "WORLD", 0, 4},
    {"matrix<float, 3, 2> m : INSTANCE", "INSTANCE", 0, 2},
    {"row_major matrix<float, 3, 2> m : INSTANCE", "INSTANCE", 0, 3},
    {"matrix<int, 1, 3> m : INSTANCE", "INSTANCE", 0, 3},
    // Arrays of matrices: each element's registers in turn.
    {"float3x4 m[2] : WORLD", "WORLD", 0, 8},
    {"row_major float3x4 m[2] : WORLD", "WORLD", 0, 6},
    {"column_major float2x2 m[3] : TEXCOORD5", "TEXCOORD", 5, 6},
    {"row_major float4x2 m[2][2] : M", "M", 0, 16},
};

// Declarations only a parameter takes: its own modifiers, in any order with the type's.
const InputCase PARAMETERS[] = {
    {"in unsigned int i : TEXCOORD0", "TEXCOORD", 0, 1},
    {"inout signed int i : TEXCOORD0", "TEXCOORD", 0, 1},
    {"const unsigned int i : TEXCOORD0", "TEXCOORD", 0, 1},
    {"in row_major float4x3 m : WORLD", "WORLD", 0, 4},
    {"row_major in float4x3 m : WORLD", "WORLD", 0, 4},
    {"nointerpolation column_major float4x3 m : WORLD", "WORLD", 0, 3},
    {"in snorm float4 n : NORMAL", "NORMAL", 0, 1},
    {"unorm in float4 c : COLOR", "COLOR", 0, 1},
    // Not inputs.
    {"row_major uniform float4x4 m : WORLD", "WORLD", 0, 0},
    {"out row_major float4x4 m : WORLD", "WORLD", 0, 0},
    {"uniform unsigned int i : TEXCOORD0", "TEXCOORD", 0, 0},
};

// Declarations only a struct member takes: several declarators of one type share its majority.
const InputCase MEMBERS[] = {
    {"row_major float4x3 a : A0, b : A4", "A", 0, 8},
    {"float4x3 a : A0, b[2] : A3", "A", 0, 9},
    {"unsigned int a : A0, b : A1", "A", 0, 2},
};

// The signature as "POSITION0 WORLD0 WORLD1 ...".
std::string Spelled(const std::vector<d3d11_internal::SignatureElement>& vElements)
{
    std::string s;
    for (const d3d11_internal::SignatureElement& element : vElements)
        s += (s.empty() ? "" : " ") + element.SemanticName + std::to_string(element.SemanticIndex);
    return s;
}

// POSITION0 and the elements of the case.
std::vector<d3d11_internal::SignatureElement> Expected(const InputCase& input)
{
    std::vector<d3d11_internal::SignatureElement> v = {{"POSITION", 0}};
    for (std::uint32_t n = 0; n < input.Count; ++n)
        v.push_back({input.Semantic, input.First + n});
    return v;
}

// MainVS with the declaration as its second parameter, after a position.
std::string ParameterShader(const std::string& sDeclaration)
{
    return "float4 MainVS(float4 p : POSITION, " + sDeclaration + ") : SV_Position { return p; }\n";
}

// MainVS taking a struct whose members are a position and the declaration.
std::string MemberShader(const std::string& sDeclaration)
{
    return "struct VSIn { float4 p : POSITION; " + sDeclaration +
           "; };\nfloat4 MainVS(VSIn v) : SV_Position { return v.p; }\n";
}

const char* const TECHNIQUE =
    "technique11 T { pass P { SetVertexShader(CompileShader(vs_5_0, MainVS())); } }\n";

class D3DCompileInputSignature : public d3dcompile_test::CompilerTest
{
protected:
    void SetUp() override
    {
        CompilerTest::SetUp();
        D3D11Control::Reset();
        ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                          D3D11_SDK_VERSION, &m_pDevice, nullptr, nullptr));
    }
    void TearDown() override
    {
        if (m_pDevice != nullptr)
            m_pDevice->Release();
        EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
        D3D11Control::Reset();
        CompilerTest::TearDown();
    }

    // The vertex shader MainVS of the text, compiled alone and through an effect's pass: both
    // have the signature expected, the device makes a layout of exactly its elements, and refuses
    // one without any one of them.
    void ExpectSignature(const std::string& sText,
                         const std::vector<d3d11_internal::SignatureElement>& vExpected)
    {
        const Result shader = Compile(sText, "MainVS", "vs_5_0");
        ASSERT_EQ(S_OK, shader.hr) << sText << shader.sErrors;
        const Result effect = Compile(sText + TECHNIQUE, nullptr, "fx_5_0");
        ASSERT_EQ(S_OK, effect.hr) << sText << effect.sErrors;
        const std::vector<std::uint8_t> vPass =
            Decode(effect.vCode).Techniques[0].Passes[0].Shaders[0].Bytecode;
        for (const std::vector<std::uint8_t>& vCode : {shader.vCode, vPass})
        {
            EXPECT_EQ(Spelled(vExpected), Spelled(Decode(vCode).InputSignature)) << sText;
            std::vector<D3D11_INPUT_ELEMENT_DESC> vLayout;
            for (const d3d11_internal::SignatureElement& element : vExpected)
                vLayout.push_back({element.SemanticName.c_str(), element.SemanticIndex,
                                   DXGI_FORMAT_R32G32B32A32_FLOAT, 0, D3D11_APPEND_ALIGNED_ELEMENT,
                                   D3D11_INPUT_PER_VERTEX_DATA, 0});
            EXPECT_EQ(S_OK, CreateLayout(vLayout, vCode)) << sText;
            for (std::size_t i = 0; i < vLayout.size(); ++i)
            {
                std::vector<D3D11_INPUT_ELEMENT_DESC> vShort = vLayout;
                vShort.erase(vShort.begin() + static_cast<std::ptrdiff_t>(i));
                EXPECT_EQ(E_INVALIDARG, CreateLayout(vShort, vCode))
                    << sText << "without " << vLayout[i].SemanticName << vLayout[i].SemanticIndex;
            }
        }
    }

    HRESULT CreateLayout(const std::vector<D3D11_INPUT_ELEMENT_DESC>& vLayout,
                         const std::vector<std::uint8_t>& vCode)
    {
        ID3D11InputLayout* pLayout = nullptr;
        const HRESULT hr = m_pDevice->CreateInputLayout(vLayout.data(), static_cast<UINT>(vLayout.size()),
                                                        vCode.data(), vCode.size(), &pLayout);
        if (pLayout != nullptr)
            pLayout->Release();
        return hr;
    }

    ID3D11Device* m_pDevice = nullptr;
};

} // namespace

TEST_F(D3DCompileInputSignature, ParametersFillTheRegistersOfTheirType)
{
    for (const InputCase& input : DECLARATIONS)
        ExpectSignature(ParameterShader(input.Declaration), Expected(input));
    for (const InputCase& input : PARAMETERS)
        ExpectSignature(ParameterShader(input.Declaration), Expected(input));
}

TEST_F(D3DCompileInputSignature, StructMembersFillTheRegistersOfTheirType)
{
    for (const InputCase& input : DECLARATIONS)
        ExpectSignature(MemberShader(input.Declaration), Expected(input));
    for (const InputCase& input : MEMBERS)
        ExpectSignature(MemberShader(input.Declaration), Expected(input));
    // A struct within a struct, and members after a matrix, keep their order.
    ExpectSignature("struct Instance { row_major float4x3 World : WORLD; unsigned int Id : ID; };\n"
                    "struct VSIn { float4 p : POSITION; Instance i; float2 uv : TEXCOORD0; };\n"
                    "float4 MainVS(VSIn v, float4x4 m : MATRIX4) : SV_Position { return v.p; }\n",
                    {{"POSITION", 0},
                     {"WORLD", 0},
                     {"WORLD", 1},
                     {"WORLD", 2},
                     {"WORLD", 3},
                     {"ID", 0},
                     {"TEXCOORD", 0},
                     {"MATRIX", 4},
                     {"MATRIX", 5},
                     {"MATRIX", 6},
                     {"MATRIX", 7}});
}

// A matrix's registers count toward the 32 elements of a signature as its array's do: past them
// the entry is an error, as it is for arrays of vectors.
TEST_F(D3DCompileInputSignature, MatricesCountTowardTheLimit)
{
    const Result result = Compile(ParameterShader("float4x4 m[7] : M, float4x3 n : N"), "MainVS", "vs_5_0");
    ASSERT_EQ(S_OK, result.hr) << result.sErrors;
    EXPECT_EQ(32u, Decode(result.vCode).InputSignature.size());
    ExpectSignature(MemberShader("row_major float2x4 m[15] : M"), Expected({"", "M", 0, 30}));
    const std::string sOver[] = {ParameterShader("float4x4 m[8] : M"), MemberShader("float2x4 m[8] : M"),
                                 ParameterShader("row_major float4x3 m[8] : M"),
                                 MemberShader("matrix m[65536][65536] : M")};
    for (const std::string& sText : sOver)
        for (const char* pTarget : {"vs_5_0", "fx_5_0"})
        {
            const bool bEffect = pTarget[0] == 'f';
            const Result over =
                Compile(bEffect ? sText + TECHNIQUE : sText, bEffect ? nullptr : "MainVS", pTarget);
            EXPECT_EQ(E_FAIL, over.hr) << sText;
            EXPECT_EQ(Where(sText, "MainVS(") +
                          ": error X3000: 'MainVS': the input signature holds more than 32 elements\n",
                      over.sErrors)
                << sText;
        }
}

// A parameter the compiler cannot read whole, which held a semantic that was left out of the
// signature, is an error at the first token it cannot read, naming the function and the parameter.
TEST_F(D3DCompileInputSignature, ParametersNotReadAreErrors)
{
    // The parameter, "`" before the token not read, and the parameter as the error quotes it.
    const std::pair<std::string, std::string> CASES[] = {
        {"float4 q `r : TEXCOORD0", "float4 q r:TEXCOORD0"},
        {"float4 `: TEXCOORD0", "float4:TEXCOORD0"},
        {"row_major float4x4 `float4x4 m : WORLD", "row_major float4x4 float4x4 m:WORLD"},
        {"in float4 q[2] `x : TEXCOORD0", "in float4 q[2]x:TEXCOORD0"},
    };
    for (const auto& entry : CASES)
    {
        std::string sDeclaration = entry.first;
        const std::size_t uiMark = sDeclaration.find('`');
        sDeclaration.erase(uiMark, 1);
        const std::string sText = ParameterShader(sDeclaration);
        const std::string sToken = sDeclaration.substr(uiMark, sDeclaration.find(' ', uiMark) - uiMark);
        const std::string sWhere =
            "shader.hlsl(1," + std::to_string(sText.find(sDeclaration) + uiMark + 1) + ")";
        for (const char* pTarget : {"vs_5_0", "fx_5_0"})
        {
            const bool bEffect = pTarget[0] == 'f';
            const Result result =
                Compile(bEffect ? sText + TECHNIQUE : sText, bEffect ? nullptr : "MainVS", pTarget);
            EXPECT_EQ(E_FAIL, result.hr) << sText;
            EXPECT_EQ(sWhere + ": error X3000: 'MainVS': syntax error in the parameter '" + entry.second +
                          "': unexpected token '" + sToken + "'\n",
                      result.sErrors)
                << sText;
        }
    }
}

// A type a typedef names fills the registers of the type it stands for, as a parameter and as a
// struct member: its matrix's, its array's times the declarator's own, a struct's members'
// (named or not, or named again by a second typedef).
TEST_F(D3DCompileInputSignature, TypedefsFillTheRegistersOfTheTypeTheyName)
{
    const std::string sTypes = "typedef float4x4 World;\n"
                               "typedef row_major float4x3 Bones, BonePair[2];\n"
                               "typedef World Instance;\n"
                               "typedef struct { float4 w : BLENDWEIGHT; uint4 i : BLENDINDICES; } Skin;\n"
                               "typedef struct Light { float3 d : LIGHT; } Lit;\n"
                               "typedef Lit Shade;\n";
    const std::pair<std::string, std::vector<d3d11_internal::SignatureElement>> CASES[] = {
        {"World m : WORLD", {{"WORLD", 0}, {"WORLD", 1}, {"WORLD", 2}, {"WORLD", 3}}},
        {"Instance m : WORLD", {{"WORLD", 0}, {"WORLD", 1}, {"WORLD", 2}, {"WORLD", 3}}},
        {"Bones m : BONE", {{"BONE", 0}, {"BONE", 1}, {"BONE", 2}, {"BONE", 3}}},
        {"BonePair m : BONE",
         {{"BONE", 0},
          {"BONE", 1},
          {"BONE", 2},
          {"BONE", 3},
          {"BONE", 4},
          {"BONE", 5},
          {"BONE", 6},
          {"BONE", 7}}},
        {"Skin s", {{"BLENDWEIGHT", 0}, {"BLENDINDICES", 0}}},
        {"Lit l", {{"LIGHT", 0}}},
        {"Light l", {{"LIGHT", 0}}},
        {"Shade l", {{"LIGHT", 0}}},
    };
    for (const auto& entry : CASES)
    {
        std::vector<d3d11_internal::SignatureElement> vExpected = {{"POSITION", 0}};
        vExpected.insert(vExpected.end(), entry.second.begin(), entry.second.end());
        ExpectSignature(sTypes + ParameterShader(entry.first), vExpected);
        ExpectSignature(sTypes + MemberShader(entry.first), vExpected);
    }
}
