#include "platform/d3d11/D3D11ShaderBytecode.h"
#include "tests/platform/d3d11/D3D11TestFixture.h"

#include <cstdint>
#include <vector>

using D3D11Shaders = D3D11Fixture;

namespace
{

std::vector<std::uint8_t> Bytecode(const char* pTarget,
                                   std::vector<d3d11_internal::SignatureElement> vInputs = {})
{
    d3d11_internal::ShaderBytecode bytecode;
    bytecode.Target = pTarget;
    bytecode.Entry = "main";
    bytecode.InputSignature = std::move(vInputs);
    return d3d11_internal::EncodeShaderBytecode(bytecode);
}

} // namespace

TEST_F(D3D11Shaders, EachStageTakesOnlyItsOwnBytecode)
{
    CreateDevice();
    const std::vector<std::uint8_t> vVertex = Bytecode("vs_5_0");
    const std::vector<std::uint8_t> vPixel = Bytecode("ps_5_0");
    const std::vector<std::uint8_t> vGeometry = Bytecode("gs_5_0");
    const std::vector<std::uint8_t> vCompute = Bytecode("cs_5_0");
    ID3D11VertexShader* pVertex = nullptr;
    ID3D11PixelShader* pPixel = nullptr;
    ID3D11GeometryShader* pGeometry = nullptr;
    ID3D11ComputeShader* pCompute = nullptr;
    EXPECT_EQ(S_OK, m_pDevice->CreateVertexShader(vVertex.data(), vVertex.size(), nullptr, &pVertex));
    EXPECT_EQ(S_OK, m_pDevice->CreatePixelShader(vPixel.data(), vPixel.size(), nullptr, &pPixel));
    EXPECT_EQ(S_OK, m_pDevice->CreateGeometryShader(vGeometry.data(), vGeometry.size(), nullptr, &pGeometry));
    EXPECT_EQ(S_OK, m_pDevice->CreateComputeShader(vCompute.data(), vCompute.size(), nullptr, &pCompute));
    EXPECT_EQ(4u, D3D11Control::GetLiveObjectCount() - 2); // device and context
    Release(pVertex);
    Release(pPixel);
    Release(pGeometry);
    Release(pCompute);

    // Another stage's bytecode, a cut record or junk is refused and nothing is handed out.
    pVertex = reinterpret_cast<ID3D11VertexShader*>(this);
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateVertexShader(vPixel.data(), vPixel.size(), nullptr, &pVertex));
    EXPECT_EQ(nullptr, pVertex);
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreatePixelShader(vPixel.data(), vPixel.size() - 1, nullptr, &pPixel));
    const char junk[] = "DXBC and more";
    EXPECT_EQ(E_INVALIDARG, m_pDevice->CreateComputeShader(junk, sizeof junk, nullptr, &pCompute));
    D3D11Control::FailNext("CreateGeometryShader", E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY,
              m_pDevice->CreateGeometryShader(vGeometry.data(), vGeometry.size(), nullptr, &pGeometry));
    EXPECT_EQ(2u, D3D11Control::GetCallCount("CreateGeometryShader"));
}

TEST_F(D3D11Shaders, InputLayoutMustFeedEveryInputOfTheVertexShader)
{
    CreateDevice();
    const std::vector<std::uint8_t> vVertex =
        Bytecode("vs_5_0", {{"POSITION", 0}, {"TEXCOORD", 1}, {"SV_InstanceID", 0}});
    D3D11_INPUT_ELEMENT_DESC elements[] = {
        {"position", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 1, DXGI_FORMAT_R32G32_FLOAT, 0, D3D11_APPEND_ALIGNED_ELEMENT,
         D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"NORMAL", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, D3D11_APPEND_ALIGNED_ELEMENT,
         D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    ID3D11InputLayout* pLayout = nullptr;
    EXPECT_EQ(S_OK, m_pDevice->CreateInputLayout(elements, 3, vVertex.data(), vVertex.size(), &pLayout));
    Release(pLayout);

    elements[1].SemanticIndex = 0; // TEXCOORD1 no longer fed
    EXPECT_EQ(E_INVALIDARG,
              m_pDevice->CreateInputLayout(elements, 3, vVertex.data(), vVertex.size(), &pLayout));
    EXPECT_EQ(nullptr, pLayout);
    elements[1].SemanticIndex = 1;
    elements[2].Format = DXGI_FORMAT_UNKNOWN;
    EXPECT_EQ(E_INVALIDARG,
              m_pDevice->CreateInputLayout(elements, 3, vVertex.data(), vVertex.size(), &pLayout));
    const std::vector<std::uint8_t> vPixel = Bytecode("ps_5_0");
    EXPECT_EQ(E_INVALIDARG,
              m_pDevice->CreateInputLayout(elements, 2, vPixel.data(), vPixel.size(), &pLayout));
}
