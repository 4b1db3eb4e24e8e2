#include "render/device/KR_ShaderCoreManagerDX11.h"

#include "render/device/KR_ShaderCoreLayouts.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "tests/render/device/ShaderCoreTestHelpers.h"
#include "timing/KB_LinearInterpolation.h"

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

// Lights, shadow maps, cube maps and material textures.
class KR_ShaderCoreManagerDX11ViewsTest : public ShaderCoreTest
{
protected:
    void TearDown() override
    {
        ShaderCoreTest::TearDown();
        m_device.GetImmediateContext()->ClearState();
        for (ID3D11ShaderResourceView* pView : m_vViews)
            pView->Release();
    }
    // A distinct view (owned by the fixture).
    ID3D11ShaderResourceView* MakeView()
    {
        const D3D11_TEXTURE2D_DESC desc{
            1, 1, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE,
            0, 0};
        ID3D11Texture2D* pTexture = nullptr;
        ID3D11ShaderResourceView* pView = nullptr;
        EXPECT_EQ(S_OK, m_device.GetDevice()->CreateTexture2D(&desc, nullptr, &pTexture));
        EXPECT_EQ(S_OK, m_device.GetDevice()->CreateShaderResourceView(pTexture, nullptr, &pView));
        pTexture->Release();
        m_vViews.push_back(pView);
        return pView;
    }
    static std::uint64_t Id(const IUnknown* p) { return D3D11Control::GetObjectId(p); }
    // Applies a pixel-only program and gives the 31 view ids it bound (empty when none).
    std::vector<std::uint64_t> AppliedViews()
    {
        D3D11Control::ClearCallLog();
        m_manager.ApplyShaderProgram(m_pProgram);
        const std::vector<D3D11Control::CallRecord> vCalls = Calls("PSSetShaderResources");
        return vCalls.empty() ? std::vector<std::uint64_t>() : vCalls.back().Objects;
    }

    KR_ShaderProgram* m_pProgram = MakeProgram(PS);
    std::vector<ID3D11ShaderResourceView*> m_vViews;
};

TEST_F(KR_ShaderCoreManagerDX11ViewsTest, MaterialTexturesFillTheirSlotsTilesAndChannels)
{
    m_manager.ResetMaterialTextures();
    std::vector<std::uint8_t> v;
    ASSERT_EQ(31u, AppliedViews().size());
    v = Uploaded(B9);
    for (std::uint32_t uiRow : {B9_TILES_0, B9_TILES_1, B9_TILES_2})
    {
        EXPECT_EQ(std::vector<float>(8, 1.0f), Floats(v, uiRow, 8));
        EXPECT_EQ(std::vector<float>(8, 0.0f), Floats(v, uiRow + 32, 8));
    }
    EXPECT_EQ((std::vector<float>{20, 0, 0, 0, 20, 0, 0, 0}), Floats(v, B9_SPECULAR_POWER, 8));

    ID3D11ShaderResourceView* pDiffuse = MakeView();
    ID3D11ShaderResourceView* pSpecular = MakeView();
    ID3D11ShaderResourceView* pOcclusion = MakeView();
    ID3D11ShaderResourceView* pHeight = MakeView();
    ID3D11ShaderResourceView* pCube = MakeView();
    m_manager.SetDiffuseTexture(1, pDiffuse, 2.0f, 3);
    m_manager.SetSpecularTexture(0, pSpecular, 1.5f, 1, 40.0f);
    m_manager.SetAmbientOcclusionTexture(0, pOcclusion, 4.0f, 2);
    m_manager.SetHeightmapTexture(1, pHeight, 0.5f, 1);
    m_manager.SetCubemapTexture(0, pCube, 0.75f);
    const std::vector<std::uint64_t> vViews = AppliedViews();
    ASSERT_EQ(31u, vViews.size());
    EXPECT_EQ(Id(pDiffuse), vViews[1]);
    EXPECT_EQ(Id(pSpecular), vViews[4]);
    EXPECT_EQ(Id(pOcclusion), vViews[12]);
    EXPECT_EQ(Id(pHeight), vViews[14]);
    EXPECT_EQ(Id(pCube), vViews[17]);
    v = Uploaded(B9);
    EXPECT_EQ(2.0f, At<float>(v, B9_TILES_0 + 16));
    EXPECT_EQ(3u, At<std::uint32_t>(v, B9_UVS_0 + 16));
    EXPECT_EQ(1.5f, At<float>(v, B9_TILES_0 + 8));
    EXPECT_EQ(1u, At<std::uint32_t>(v, B9_UVS_0 + 8));
    EXPECT_EQ(40.0f, At<float>(v, B9_SPECULAR_POWER));
    EXPECT_EQ(4.0f, At<float>(v, B9_TILES_1 + 12));
    EXPECT_EQ(2u, At<std::uint32_t>(v, B9_UVS_1 + 12));
    EXPECT_EQ(0.5f, At<float>(v, B9_TILES_2 + 16));
    EXPECT_EQ(0.75f, At<float>(v, B9_CUBE_VALUES));

    // Indices a channel does not accept change nothing: nothing is marked, nothing uploaded.
    m_manager.SetNormalTexture(2, MakeView(), 9.0f, 9);
    m_manager.SetMaskTexture(1, MakeView(), 9.0f, 9);
    m_manager.SetCubemapTexture(1, MakeView(), 9.0f);
    m_manager.SetParameterVectorAt(XMFLOAT4(9, 9, 9, 9), 5);
    EXPECT_TRUE(AppliedViews().empty());
    EXPECT_EQ(0u, MapsOf(B9));
}

TEST_F(KR_ShaderCoreManagerDX11ViewsTest, CubeMapsTakeTheShortestArrayAndAtMostEight)
{
    KB_GrowingArray<ID3D11ShaderResourceView*> gViews;
    KB_GrowingArray<XMFLOAT4> gVectors;
    KB_GrowingArray<float> gValues;
    KB_GrowingArray<bool> gFlags;
    for (int i = 0; i < 10; ++i)
    {
        gViews.Add(MakeView());
        gVectors.Add(XMFLOAT4(static_cast<float>(i), 1, 2, 3));
        gValues.Add(0.5f * static_cast<float>(i));
        gFlags.Add(i % 2 == 1);
    }
    m_manager.SetCubeMaps(&gViews, &gVectors, &gValues, &gFlags);
    std::vector<std::uint64_t> vViews = AppliedViews();
    ASSERT_EQ(31u, vViews.size());
    for (std::uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(Id(gViews[i]), vViews[23 + i]) << i;
    std::vector<std::uint8_t> v = Uploaded(B9);
    EXPECT_EQ(8u, At<std::uint32_t>(v, B9_NUM_CUBE_MAPS));
    EXPECT_EQ((std::vector<float>{7, 1, 2, 3}), Floats(v, B9_CUBE_VECTORS + 16 * 7, 4));
    EXPECT_EQ(3.5f, At<float>(v, B9_CUBE_VALUES + 16 * 7));
    EXPECT_EQ(1u, At<std::uint32_t>(v, B9_CUBE_FLAGS + 16 * 7));
    EXPECT_EQ(0u, At<std::uint32_t>(v, B9_CUBE_FLAGS + 16 * 6));

    m_manager.EnableCubeMaps(false);
    m_manager.ApplyShaderProgram(m_pProgram);
    EXPECT_EQ(0u, At<std::uint32_t>(Uploaded(B9), B9_NUM_CUBE_MAPS));
    m_manager.EnableCubeMaps(true);
    m_manager.ApplyShaderProgram(m_pProgram);
    EXPECT_EQ(8u, At<std::uint32_t>(Uploaded(B9), B9_NUM_CUBE_MAPS));

    // Fewer values than views: only as many cube maps as values, the rest cleared.
    KB_GrowingArray<float> gThree;
    for (int i = 0; i < 3; ++i)
        gThree.Add(1.0f);
    m_manager.SetCubeMaps(&gViews, &gVectors, &gThree, &gFlags);
    vViews = AppliedViews();
    EXPECT_EQ(Id(gViews[2]), vViews[25]);
    EXPECT_EQ(0u, vViews[26]);
    v = Uploaded(B9);
    EXPECT_EQ(3u, At<std::uint32_t>(v, B9_NUM_CUBE_MAPS));
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0}), Floats(v, B9_CUBE_VECTORS + 16 * 3, 4));
}

TEST_F(KR_ShaderCoreManagerDX11ViewsTest, SpotLightsFillTheirRowsAndShadowSlots)
{
    D3D11Control::ClearCallLog();
    m_manager.ResetShadowMaps();
    for (const char* pMethod :
         {"VSSetShaderResources", "PSSetShaderResources", "GSSetShaderResources", "CSSetShaderResources"})
    {
        ASSERT_EQ(1u, Calls(pMethod).size()) << pMethod;
        EXPECT_EQ((std::vector<double>{34, 5}), Calls(pMethod)[0].Values);
        EXPECT_EQ(std::vector<std::uint64_t>(5, 0), Calls(pMethod)[0].Objects);
    }
    KR_SpotLight lights[7];
    for (int i = 0; i < 7; ++i)
    {
        lights[i].SetPosition(XMFLOAT3(static_cast<float>(i), 0, 0));
        lights[i].SetTarget(XMFLOAT3(static_cast<float>(i), 0, 5));
        lights[i].m_pShadowMapView = MakeView();
    }
    lights[0].SetLightFOV(60.0f);
    lights[0].SetLightFOVFalloff(90.0f);
    lights[0].SetLightColor(KB_Color(0.5f, 1.0f, 0.0f, 1.0f));
    lights[0].SetLightSpecularStrength(0.25f);
    lights[0].SetLightStrength(2.0f);
    lights[0].SetLightAttenuation(XMFLOAT3(1, 2, 3));
    lights[0].SetShadowBias(XMFLOAT2(0.125f, 4.0f));
    lights[1].SetLightStrength(0.0f); // skipped
    lights[2].SetSpotFlags(0);        // option bit clear: cone.w 1
    lights[3].SetTarget(XMFLOAT3(3, 0, 0));
    for (KR_SpotLight& light : lights)
        m_manager.SetSpotLights(1.0, &light);
    m_manager.SetSpotLights(1.0, nullptr);

    const std::vector<std::uint64_t> vViews = AppliedViews();
    ASSERT_EQ(31u, vViews.size());
    const int aStored[5] = {0, 2, 3, 4, 5}; // the sixth light to pass (6) is one too many
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(Id(lights[aStored[k]].m_pShadowMapView), vViews[18 + k]) << k;
    const std::vector<std::uint8_t> v = Uploaded(B9);
    EXPECT_EQ(5u, At<std::uint32_t>(v, B9_NUM_SPOT_LIGHTS));
    EXPECT_EQ(0u, At<std::uint32_t>(v, B9_NUM_OMNI_LIGHTS));
    XMFLOAT4X4 shadow;
    XMStoreFloat4x4(&shadow, XMMatrixTranspose(lights[0].GetViewProjectionMatrix(1.0)));
    EXPECT_EQ(std::vector<float>(&shadow.m[0][0], &shadow.m[0][0] + 16), Floats(v, B9_SHADOW_MATRICES, 16));
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0}), Floats(v, B9_SPOT_POSITION, 4));
    EXPECT_EQ((std::vector<float>{0, 0, 1, 0}), Floats(v, B9_SPOT_DIRECTION, 4));
    EXPECT_EQ((std::vector<float>{Gamma(0.5f), 1, 0, 0.25f}), Floats(v, B9_SPOT_COLOR, 4));
    EXPECT_EQ((std::vector<float>{1, 2, 3, 2}), Floats(v, B9_SPOT_ATTENUATION, 4));
    const std::vector<float> vCone = Floats(v, B9_SPOT_CONE, 4);
    EXPECT_NEAR(0.5f, vCone[0], 1e-6f);
    EXPECT_NEAR(0.0f, vCone[1], 1e-6f);
    EXPECT_NEAR(0.5f, vCone[2], 1e-6f);
    EXPECT_EQ(0.0f, vCone[3]); // option bit set by the constructor
    EXPECT_EQ(1.0f, At<float>(v, B9_SPOT_CONE + 16 + 12));
    EXPECT_EQ((std::vector<float>{0.125f, 4, 0, 0}), Floats(v, B9_SPOT_SHADOW_BIAS, 4));
    EXPECT_EQ((std::vector<float>{3, 0, 0, 0}), Floats(v, B9_SPOT_POSITION + 32, 4));
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0}), Floats(v, B9_SPOT_DIRECTION + 32, 4)); // target = position
}

TEST_F(KR_ShaderCoreManagerDX11ViewsTest, OmniLightsCountSeparatelyAndTubesTakeTheirTargetRail)
{
    KB_LinearInterpolation* pRail = new KB_LinearInterpolation(); // the light's from now on
    pRail->InsertVertex(XMVectorSet(0, 0, 0, 0), 0.0);
    pRail->InsertVertex(XMVectorSet(10, 20, 30, 0), 1.0);
    pRail->SetEndTime(3.0);
    pRail->SetStartTime(2.0);
    KR_OmniLight tube;
    tube.SetOmniFlags(KR_OmniLight::OMNI_FLAG_TUBE_LIGHT);
    tube.SetPosition(XMFLOAT3(1, 2, 3));
    tube.SetTargetRailInterpolation(pRail);
    tube.SetLightColor(KB_Color(0.5f, 0.5f, 1.0f, 1.0f));
    KR_OmniLight plain[26];
    KR_SpotLight spots[5];

    m_manager.ResetShadowMaps();
    m_manager.ResetLights();
    m_manager.SetOmniLights(2.5, &tube);
    m_manager.ApplyShaderProgram(m_pProgram);
    std::vector<std::uint8_t> v = Uploaded(B9);
    EXPECT_EQ((std::vector<float>{1, 2, 3, 0}), Floats(v, B9_OMNI_POSITION, 4));
    EXPECT_EQ((std::vector<float>{5, 10, 15, 0}), Floats(v, B9_OMNI_SECOND_POINT, 4)); // rail at 2.5 - 2.0
    EXPECT_EQ(1u, At<std::uint32_t>(v, B9_OMNI_KIND));
    EXPECT_EQ(Gamma(0.5f), At<float>(v, B9_OMNI_COLOR));

    // The switched-off target rail gives the stored target.
    tube.SetFlags(KR_LightBase::FLAG_TARGET_RAIL_OFF);
    tube.SetTarget(XMFLOAT3(7, 7, 7));
    m_manager.ResetLights();
    m_manager.SetOmniLights(2.5, &tube);
    m_manager.ApplyShaderProgram(m_pProgram);
    EXPECT_EQ((std::vector<float>{7, 7, 7, 0}), Floats(Uploaded(B9), B9_OMNI_SECOND_POINT, 4));

    m_manager.ResetLights();
    for (KR_OmniLight& light : plain)
        m_manager.SetOmniLights(0.0, &light);
    for (KR_SpotLight& light : spots)
        m_manager.SetSpotLights(0.0, &light);
    m_manager.ApplyShaderProgram(m_pProgram);
    v = Uploaded(B9);
    EXPECT_EQ(5u, At<std::uint32_t>(v, B9_NUM_SPOT_LIGHTS));
    EXPECT_EQ(25u, At<std::uint32_t>(v, B9_NUM_OMNI_LIGHTS));
    EXPECT_EQ(0u, At<std::uint32_t>(v, B9_OMNI_KIND)); // reset away, not a tube
    EXPECT_EQ((std::vector<float>{0, 0, 0, 0}), Floats(v, B9_OMNI_SECOND_POINT, 4));
    EXPECT_EQ((std::vector<float>{0, 0, 0.00001f, 1}), Floats(v, B9_OMNI_ATTENUATION, 4));
}

} // namespace
