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

// Each draw carries the pipeline it was made with, so a test sees what would reach the screen
// without replaying the log; refused bindings leave the earlier ones in place.
TEST_F(D3D11Shaders, DrawsCarryTheBoundPipeline)
{
    CreateDevice();
    const std::vector<std::uint8_t> vVertex = Bytecode("vs_5_0", {{"POSITION", 0}});
    const std::vector<std::uint8_t> vPixel = Bytecode("ps_5_0");
    ID3D11VertexShader* pVertex = nullptr;
    ID3D11PixelShader* pPixel = nullptr;
    ID3D11InputLayout* pLayout = nullptr;
    const D3D11_INPUT_ELEMENT_DESC element = {
        "POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0};
    ASSERT_EQ(S_OK, m_pDevice->CreateVertexShader(vVertex.data(), vVertex.size(), nullptr, &pVertex));
    ASSERT_EQ(S_OK, m_pDevice->CreatePixelShader(vPixel.data(), vPixel.size(), nullptr, &pPixel));
    ASSERT_EQ(S_OK, m_pDevice->CreateInputLayout(&element, 1, vVertex.data(), vVertex.size(), &pLayout));
    D3D11_BUFFER_DESC desc{96, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    ID3D11Buffer* apVertices[2] = {};
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&desc, nullptr, &apVertices[0]));
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&desc, nullptr, &apVertices[1]));
    desc.BindFlags = D3D11_BIND_INDEX_BUFFER;
    ID3D11Buffer* pIndices = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&desc, nullptr, &pIndices));
    D3D11_DEPTH_STENCIL_DESC depth{};
    depth.DepthEnable = TRUE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
    depth.DepthFunc = D3D11_COMPARISON_LESS_EQUAL;
    ID3D11DepthStencilState* pDepth = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilState(&depth, &pDepth));
    D3D11Control::ClearCallLog();

    m_pContext->Draw(3, 0); // nothing bound yet
    m_pContext->IASetInputLayout(pLayout);
    m_pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP);
    const UINT auiStrides[2] = {12, 16};
    const UINT auiOffsets[2] = {0, 8};
    m_pContext->IASetVertexBuffers(0, 2, apVertices, auiStrides, auiOffsets);
    m_pContext->IASetIndexBuffer(pIndices, DXGI_FORMAT_R16_UINT, 4);
    m_pContext->VSSetShader(pVertex, nullptr, 0);
    m_pContext->PSSetShader(pPixel, nullptr, 0);
    m_pContext->OMSetDepthStencilState(pDepth, 0);
    m_pContext->DrawIndexed(6, 2, 0);
    m_pContext->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED); // refused
    m_pContext->IASetIndexBuffer(apVertices[0], DXGI_FORMAT_R16_UINT, 0);   // refused
    m_pContext->PSSetShader(nullptr, nullptr, 0);
    ID3D11Buffer* pNone = nullptr;
    const UINT uiZero = 0;
    m_pContext->IASetVertexBuffers(1, 1, &pNone, &uiZero, &uiZero);
    m_pContext->Draw(4, 1);

    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(3u, vDraws.size());
    const D3D11Control::DrawPipeline& empty = *vDraws[0].Pipeline;
    EXPECT_EQ(D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED, empty.Topology);
    EXPECT_TRUE(empty.VertexBuffers.empty());
    EXPECT_EQ(0u, empty.InputLayout + empty.IndexBuffer + empty.VertexShader + empty.PixelShader);

    EXPECT_EQ("DrawIndexed", vDraws[1].Method);
    EXPECT_EQ(std::vector<double>({6, 2, 0}), vDraws[1].Values);
    const D3D11Control::DrawPipeline& indexed = *vDraws[1].Pipeline;
    EXPECT_EQ(D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP, indexed.Topology);
    EXPECT_EQ(D3D11Control::GetObjectId(pLayout), indexed.InputLayout);
    ASSERT_EQ(2u, indexed.VertexBuffers.size());
    EXPECT_EQ(D3D11Control::GetObjectId(apVertices[1]), indexed.VertexBuffers[1].Buffer);
    EXPECT_EQ(16u, indexed.VertexBuffers[1].Stride);
    EXPECT_EQ(8u, indexed.VertexBuffers[1].Offset);
    EXPECT_EQ(D3D11Control::GetObjectId(pIndices), indexed.IndexBuffer);
    EXPECT_EQ(DXGI_FORMAT_R16_UINT, indexed.IndexFormat);
    EXPECT_EQ(4u, indexed.IndexOffset);
    EXPECT_EQ(D3D11Control::GetObjectId(pVertex), indexed.VertexShader);
    EXPECT_EQ(D3D11Control::GetObjectId(pPixel), indexed.PixelShader);
    EXPECT_EQ(0u, indexed.GeometryShader);
    EXPECT_EQ(D3D11Control::GetObjectId(pDepth), indexed.DepthStencilState);
    EXPECT_EQ(0u, indexed.BlendState);

    const D3D11Control::DrawPipeline& last = *vDraws[2].Pipeline;
    EXPECT_EQ(D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP, last.Topology);     // the refused one not taken
    EXPECT_EQ(D3D11Control::GetObjectId(pIndices), last.IndexBuffer); // likewise
    EXPECT_EQ(0u, last.PixelShader);                                  // unbound
    ASSERT_EQ(1u, last.VertexBuffers.size());                         // slot 1 emptied
    EXPECT_EQ(D3D11Control::GetObjectId(apVertices[0]), last.VertexBuffers[0].Buffer);
    EXPECT_EQ(std::vector<std::uint64_t>({D3D11Control::GetObjectId(apVertices[0])}), vDraws[2].Objects);

    // Switched-off logging records no draw.
    D3D11Control::SetCallLogging(false);
    m_pContext->Draw(3, 0);
    D3D11Control::SetCallLogging(true);
    EXPECT_EQ(3u, D3D11Control::GetDrawCalls().size());
    m_pContext->ClearState();
    Release(pDepth);
    Release(pIndices);
    Release(apVertices[1]);
    Release(apVertices[0]);
    Release(pLayout);
    Release(pPixel);
    Release(pVertex);
}
