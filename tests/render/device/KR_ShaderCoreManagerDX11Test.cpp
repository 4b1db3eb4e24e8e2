#include "render/device/KR_ShaderCoreManagerDX11.h"

#include "render/device/KR_ShaderCoreLayouts.h"
#include "tests/render/device/ShaderCoreTestHelpers.h"

#include <cmath>

using namespace DirectX;
using namespace KR_ShaderCoreLayouts;

namespace
{

constexpr std::uint32_t B8 = 0, B9 = 1, B10 = 2, B11 = 3, B12 = 4;

XMMATRIX Counting(float fStart)
{
    return XMMATRIX(fStart, fStart + 1, fStart + 2, fStart + 3, fStart + 4, fStart + 5, fStart + 6,
                    fStart + 7, fStart + 8, fStart + 9, fStart + 10, fStart + 11, fStart + 12, fStart + 13,
                    fStart + 14, fStart + 15);
}

// The 16 floats of a matrix stored transposed (column by column).
std::vector<float> Transposed(float fStart)
{
    std::vector<float> v;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            v.push_back(fStart + 4 * r + c);
    return v;
}

const std::vector<float> IDENTITY = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

float Gamma(float f)
{
    return std::pow(f, 2.2f);
}

using KR_ShaderCoreManagerDX11Test = ShaderCoreTest;

TEST_F(KR_ShaderCoreManagerDX11Test, ObjectAndFrameFieldsSitAtTheirOffsets)
{
    m_manager.ApplyShaderProgram(MakeProgram(VS | PS));
    std::vector<std::uint8_t> vDefaults = Uploaded(B10);
    ASSERT_EQ(B10_SIZE, vDefaults.size());
    EXPECT_EQ(IDENTITY, Floats(vDefaults, B10_WORLD_VIEW_PROJECTION, 16));
    EXPECT_EQ((std::vector<float>{800, 1000, 200}), Floats(vDefaults, B10_FRAME_RANGE, 3));
    EXPECT_EQ((std::vector<float>{1, 1, 1, 20}), Floats(vDefaults, B10_FRAME_COLOR_1, 4));
    EXPECT_NEAR(-0.5f / std::sqrt(0.59f), At<float>(vDefaults, B10_FRAME_VECTOR_2), 1e-6f);

    m_manager.SetObjectMatrix0(Counting(0));
    m_manager.SetObjectMatrix1(Counting(100));
    m_manager.SetWorldMatrix(Counting(200));
    m_manager.SetWorldViewProjectionMatrix(Counting(300));
    m_manager.SetFrameParameters(XMFLOAT3(1, 2, 3), XMFLOAT2(0.5f, 100.0f));
    m_manager.SetFrameVector1(XMFLOAT3(4, 5, 6));
    const XMFLOAT4 colour(0.5f, 0.25f, 1.0f, 0.75f);
    m_manager.SetFrameColor0(colour);
    m_manager.SetFrameRange(XMFLOAT2(0.25f, 0.75f));
    m_manager.SetFrameVector2(XMFLOAT3(7, 8, 9));
    m_manager.SetFrameColor1(XMFLOAT4(0.5f, 0.5f, 0.5f, 1));
    m_manager.SetFrameScalar(3.5f);
    m_manager.SetAmbientLightColor(XMFLOAT4(0.25f, 0, 1, 1));
    m_manager.ApplyShaderProgram(MakeProgram(VS | PS));
    const std::vector<std::uint8_t> v = Uploaded(B10);
    EXPECT_EQ(Transposed(0), Floats(v, B10_OBJECT_MATRIX_0, 16));
    EXPECT_EQ(Transposed(100), Floats(v, B10_OBJECT_MATRIX_1, 16));
    EXPECT_EQ(Transposed(200), Floats(v, B10_WORLD_MATRIX, 16));
    EXPECT_EQ(Transposed(300), Floats(v, B10_WORLD_VIEW_PROJECTION, 16));
    EXPECT_EQ((std::vector<float>{1, 2, 3}), Floats(v, B10_CAMERA_POSITION, 3));
    EXPECT_EQ((std::vector<float>{4, 5, 6}), Floats(v, B10_FRAME_VECTOR_1, 3));
    EXPECT_EQ((std::vector<float>{Gamma(0.5f), Gamma(0.25f), 1, 0}), Floats(v, B10_FRAME_COLOR_0, 4));
    EXPECT_EQ((std::vector<float>{25, 75, 50}), Floats(v, B10_FRAME_RANGE, 3)); // scaled by the kept far
    EXPECT_EQ((std::vector<float>{7, 8, 9}), Floats(v, B10_FRAME_VECTOR_2, 3));
    EXPECT_EQ((std::vector<float>{Gamma(0.5f), Gamma(0.5f), Gamma(0.5f), 3.5f}),
              Floats(v, B10_FRAME_COLOR_1, 4));
    EXPECT_EQ((std::vector<float>{Gamma(0.25f), 0, 1}), Floats(v, B10_AMBIENT_LIGHT_COLOR, 3));
    EXPECT_EQ(0.5f, colour.x); // the caller's colour is not raised
}

TEST_F(KR_ShaderCoreManagerDX11Test, MaterialParametersSitAtTheirOffsets)
{
    m_manager.SetObjectColor(XMFLOAT4(0.5f, 1, 0, 0.25f));
    const std::uint32_t auiParameter[3] = {7, 8, 9};
    m_manager.SetParameterUInt3(auiParameter);
    m_manager.SetParameterVector(XMFLOAT4(1, 2, 3, 4));
    m_manager.SetParallaxOcclusion(3, 33, 0.5f, 0.25f);
    m_manager.SetParameterVectorAt(XMFLOAT4(5, 6, 7, 8), 3);
    m_manager.SetParameterVectorAt(XMFLOAT4(9, 9, 9, 9), 4); // past the last: would overwrite a cube row
    m_manager.ApplyShaderProgram(MakeProgram(VS | PS));
    const std::vector<std::uint8_t> v = Uploaded(B9);
    ASSERT_EQ(B9_SIZE, v.size());
    EXPECT_EQ((std::vector<float>{Gamma(0.5f), 1, 0, 0.25f}), Floats(v, B9_OBJECT_COLOR, 4));
    EXPECT_EQ(7u, At<std::uint32_t>(v, B9_PARAMETER_UINT));
    EXPECT_EQ(9u, At<std::uint32_t>(v, B9_PARAMETER_UINT + 8));
    EXPECT_EQ(0u, At<std::uint32_t>(v, B9_PARAMETER_UINT + 12));
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4}), Floats(v, B9_PARAMETER_VECTOR, 4));
    EXPECT_EQ(3u, At<std::uint32_t>(v, B9_PARALLAX));
    EXPECT_EQ(33u, At<std::uint32_t>(v, B9_PARALLAX + 4));
    EXPECT_EQ((std::vector<float>{0.5f, 0.25f}), Floats(v, B9_PARALLAX + 8, 2));
    EXPECT_EQ((std::vector<float>{5, 6, 7, 8}), Floats(v, B9_INDEXED_PARAMETERS + 48, 4));
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0}), Floats(v, B9_CUBE_VECTORS, 4));
    EXPECT_EQ(IDENTITY, Floats(v, B9_SHADOW_MATRICES + 64 * 4, 16));
    EXPECT_EQ((std::vector<float>{1, 1, 1, 1}), Floats(v, B9_OMNI_COLOR + 16 * 24, 4));
}

TEST_F(KR_ShaderCoreManagerDX11Test, ChangedBuffersAreUploadedOnceWithTheLastValue)
{
    KR_ShaderProgram* pProgram = MakeProgram(VS | PS);
    m_manager.ApplyShaderProgram(pProgram); // everything starts changed
    D3D11Control::ClearCallLog();
    m_manager.SetWorldMatrix(Counting(0));
    m_manager.SetWorldMatrix(Counting(50));
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(1u, Calls("Map").size());
    EXPECT_EQ(1u, MapsOf(B10));
    EXPECT_EQ(Transposed(50), Floats(Uploaded(B10), B10_WORLD_MATRIX, 16));
    D3D11Control::ClearCallLog();
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_TRUE(Calls("Map").empty());
    EXPECT_TRUE(Calls("PSSetShaderResources").empty()); // the views did not change
}

TEST_F(KR_ShaderCoreManagerDX11Test, FailedMapKeepsTheBufferChangedForTheNextApply)
{
    KR_ShaderProgram* pProgram = MakeProgram(VS | PS);
    m_manager.ApplyShaderProgram(pProgram);
    m_manager.SetFrameScalar(42.0f);
    D3D11Control::FailNext("Map");
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(20.0f, At<float>(Uploaded(B10), B10_FRAME_SCALAR));
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(42.0f, At<float>(Uploaded(B10), B10_FRAME_SCALAR));
}

TEST_F(KR_ShaderCoreManagerDX11Test, AbsentStagesAreSwitchedOffAndReceiveNothing)
{
    KR_ShaderProgram* pProgram = MakeProgram(VS | PS);
    pProgram->m_uiStencilReference = 3;
    pProgram->m_uiSampleMask = 0xF0;
    D3D11Control::ClearCallLog();
    m_manager.ApplyShaderProgram(pProgram);
    ASSERT_EQ(1u, Calls("GSSetShader").size());
    EXPECT_EQ(0u, Calls("GSSetShader")[0].Objects[0]);
    EXPECT_EQ(0u, Calls("CSSetShader")[0].Objects[0]);
    EXPECT_NE(0u, Calls("VSSetShader")[0].Objects[0]);
    for (const char* pMethod : {"GSSetShaderResources", "GSSetConstantBuffers", "GSSetSamplers",
                                "CSSetShaderResources", "CSSetConstantBuffers", "CSSetSamplers"})
        EXPECT_TRUE(Calls(pMethod).empty()) << pMethod;
    const std::vector<D3D11Control::CallRecord> vBuffers = Calls("PSSetConstantBuffers");
    ASSERT_EQ(1u, vBuffers.size());
    EXPECT_EQ((std::vector<double>{8, 5}), vBuffers[0].Values);
    EXPECT_EQ(D3D11Control::GetObjectId(m_manager.GetConstantBuffer(B12)), vBuffers[0].Objects[4]);
    EXPECT_EQ((std::vector<double>{8, 5}), Calls("VSSetSamplers")[0].Values);
    EXPECT_EQ((std::vector<double>{16, 31}), Calls("VSSetShaderResources")[0].Values);
    EXPECT_EQ(3.0, Calls("OMSetDepthStencilState")[0].Values[0]);
    EXPECT_EQ(240.0, Calls("OMSetBlendState")[0].Values[4]);

    // A geometry stage that missed the last change of the views still receives them.
    D3D11Control::ClearCallLog();
    m_manager.ApplyShaderProgram(MakeProgram(VS | GS));
    EXPECT_EQ(1u, Calls("GSSetShaderResources").size());
    EXPECT_TRUE(Calls("VSSetShaderResources").empty());
    EXPECT_EQ(1u, Calls("GSSetSamplers").size());
}

TEST_F(KR_ShaderCoreManagerDX11Test, NullProgramUploadsAndUnbindsEveryStage)
{
    m_manager.SetFrameScalar(5.0f);
    D3D11Control::ClearCallLog();
    m_manager.ApplyShaderProgram(nullptr);
    EXPECT_EQ(5.0f, At<float>(Uploaded(B10), B10_FRAME_SCALAR));
    for (const char* pMethod : {"VSSetShader", "PSSetShader", "GSSetShader", "CSSetShader", "RSSetState"})
    {
        ASSERT_EQ(1u, Calls(pMethod).size()) << pMethod;
        EXPECT_EQ(std::vector<std::uint64_t>{0}, Calls(pMethod)[0].Objects) << pMethod;
    }
    EXPECT_TRUE(Calls("PSSetShaderResources").empty());
    EXPECT_EQ(std::vector<std::uint64_t>{0}, Calls("OMSetBlendState")[0].Objects);
    EXPECT_EQ(std::vector<std::uint64_t>{0}, Calls("OMSetDepthStencilState")[0].Objects);
}

TEST_F(KR_ShaderCoreManagerDX11Test, MatrixVectorAndBoneArraysKeepTheirLimits)
{
    KR_ShaderProgram* pProgram = MakeProgram(VS);
    m_manager.ApplyShaderProgram(pProgram);
    m_manager.ResetMatrixArray();
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(m_manager.AddMatrix(Counting(static_cast<float>(i))));
    EXPECT_FALSE(m_manager.AddMatrix(Counting(1000)));
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(Transposed(199), Floats(Uploaded(B11), 64 * 199, 16));

    m_manager.ResetVectorArray();
    D3D11Control::ClearCallLog();
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(0u, MapsOf(B12)); // a reset alone is not uploaded
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(m_manager.AddVector(XMFLOAT4(static_cast<float>(i), 0, 0, 0)));
    EXPECT_FALSE(m_manager.AddVector(XMFLOAT4(9, 9, 9, 9)));
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(8u, At<std::uint32_t>(Uploaded(B12), B12_NUM_VECTORS));
    EXPECT_EQ(7.0f, At<float>(Uploaded(B12), 16 * 7));

    KB_GrowingArray<XMMATRIX> gBones;
    for (int i = 0; i < 300; ++i)
        gBones.Add(Counting(static_cast<float>(i)));
    m_manager.SetBoneMatrices(gBones);
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(Transposed(255), Floats(Uploaded(B8), 64 * 255, 16));
    KB_GrowingArray<XMMATRIX> gFew;
    for (int i = 0; i < 10; ++i)
        gFew.Add(Counting(static_cast<float>(i)));
    m_manager.SetBoneMatrices(gFew);
    m_manager.ApplyShaderProgram(pProgram);
    EXPECT_EQ(Transposed(9), Floats(Uploaded(B8), 64 * 9, 16));
    EXPECT_EQ(IDENTITY, Floats(Uploaded(B8), 64 * 10, 16));
    EXPECT_EQ(IDENTITY, Floats(Uploaded(B8), 64 * 255, 16));
}

TEST_F(KR_ShaderCoreManagerDX11Test, TopologyOutsideTheKnownOnesIsATriangleList)
{
    D3D11Control::ClearCallLog();
    m_manager.SetPrimitiveTopology(KR_PRIMITIVE_TOPOLOGY_LINESTRIP);
    m_manager.SetPrimitiveTopology(static_cast<KR_PrimitiveTopology>(7));
    const std::vector<D3D11Control::CallRecord> vCalls = Calls("IASetPrimitiveTopology");
    ASSERT_EQ(2u, vCalls.size());
    EXPECT_EQ(static_cast<double>(D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP), vCalls[0].Values[0]);
    EXPECT_EQ(static_cast<double>(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST), vCalls[1].Values[0]);
}

} // namespace
