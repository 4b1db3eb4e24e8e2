#include "render/device/KR_GraphicsResourceManagerDX11.h"

#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/effects11/d3dx11effect.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_InputLayouts.h"
#include "render/device/KR_KeyHashing.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_VertexFormat.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <thread>

namespace
{

// The vertex program of every format: one input per "VS_IN_" macro, as the engine's shader has.
const char* const VERTEX_SHADER = R"(struct VS_IN
{
    float3 position : SV_POSITION;
#ifdef VS_IN_NORMAL
    float3 normal : NORMAL;
#endif
#ifdef VS_IN_TANGENT
    float3 tangent : TANGENT;
#endif
#ifdef VS_IN_UV0
    float2 uv0 : TEXCOORD0;
#endif
#ifdef VS_IN_UV1
    float2 uv1 : TEXCOORD1;
#endif
#ifdef VS_IN_UV2
    float2 uv2 : TEXCOORD2;
#endif
#ifdef VS_IN_UV3
    float2 uv3 : TEXCOORD3;
#endif
#ifdef VS_IN_SKINNED
    float4 weights : BONEWEIGHTS;
    uint4 bones : BONEINDICES;
#endif
};
float4 MainVS(VS_IN input) : SV_POSITION { return float4(input.position, 1.0); }
)";

// Compiles the vertex stage of the properties with their macros; or fails on request.
class CompilingShaderCache : public KR_ShaderCache
{
public:
    KR_ShaderProgram* LoadShaderProgram(const KR_ShaderProperties* pProperties) override
    {
        ++m_uiLoads;
        if (m_bFail)
            return nullptr;
        ID3DBlob* pCode = nullptr;
        const auto* pMacros = reinterpret_cast<const D3D_SHADER_MACRO*>(pProperties->GetMacros());
        if (FAILED(D3DCompile(VERTEX_SHADER, std::strlen(VERTEX_SHADER), "KR_VertexShader.hlsl", pMacros,
                              nullptr, "MainVS", "vs_5_0", 0, 0, &pCode, nullptr)))
        {
            return nullptr;
        }
        auto* pProgram = new KR_ShaderProgram();
        pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX] = pCode;
        return pProgram;
    }

    std::uint32_t m_uiLoads = 0;
    bool m_bFail = false;
};

class KR_GraphicsResourceManagerDX11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        D3DCompilerControl::Reset();
        Effects11Control::Reset();
        Win32Control::Reset();
        Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
        m_files.Install();
        m_engine->SetShaderCache(&m_cache);
    }

    void TearDown() override
    {
        delete m_pManager;
        m_pManager = nullptr;
        m_engine->SetShaderCache(nullptr);
        m_engine->SetFileManager(nullptr);
        EXPECT_EQ(0u, Effects11Control::GetLiveEffectCount());
        EXPECT_EQ(0u, D3DCompilerControl::GetLiveObjectCount());
        Win32Control::Reset();
    }

    static KR_TextureResourceDescription Target(std::uint32_t uiSize, std::uint32_t uiArraySize = 1)
    {
        return KR_TextureResourceDescription(uiSize, uiSize, 0, uiArraySize, 1, DXGI_FORMAT_R8G8B8A8_UNORM,
                                             D3D11_USAGE_DEFAULT,
                                             D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE, 0, 0);
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device{m_engine};
    MemoryFiles m_files{false};
    MemoryRepository* m_pRepository = m_files.GetRepository();
    CompilingShaderCache m_cache;
    KR_GraphicsResourceManagerDX11* m_pManager = new KR_GraphicsResourceManagerDX11();
};

D3D11_RASTERIZER_DESC Rasterizer(float fBiasClamp)
{
    return {D3D11_FILL_SOLID, D3D11_CULL_BACK, FALSE, 0, fBiasClamp, 0.0f, TRUE, FALSE, FALSE, FALSE};
}

} // namespace

TEST(KR_KeyHashing, KnownVectorsAndTheCombineRule)
{
    EXPECT_EQ(0xe71fa219e25ef552ull, KR_KeyHashing::FoldedFNV1a64("abc"));
    std::uint64_t uiSeed = 0;
    KR_KeyHashing::HashString(uiSeed, "abc");
    EXPECT_EQ(0xe71fa21a80966f0bull, uiSeed);
    // Integers: (v ^ 0xdeadbeef) + 0x9e3779b9 + (seed << 6) + (seed >> 2), signed ones sign-extended.
    std::uint64_t uiSigned = 0;
    KR_KeyHashing::HashCombine(uiSigned, std::int32_t{-1});
    EXPECT_EQ((0xFFFFFFFFFFFFFFFFull ^ 0xdeadbeefull) + 0x9e3779b9ull, uiSigned);
    std::uint64_t uiUnsigned = 0;
    KR_KeyHashing::HashCombine(uiUnsigned, std::uint32_t{0xFFFFFFFFu});
    EXPECT_EQ((0xFFFFFFFFull ^ 0xdeadbeefull) + 0x9e3779b9ull, uiUnsigned);
    // Floats by their truncated value; NaN enters as 0 instead of being undefined.
    std::uint64_t a = 0, b = 0, c = 0;
    KR_KeyHashing::HashCombine(a, 2.75f);
    KR_KeyHashing::HashCombine(b, std::int32_t{2});
    KR_KeyHashing::HashCombine(c, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(b, a);
    EXPECT_EQ((0ull ^ 0xdeadbeefull) + 0x9e3779b9ull, c);
}

TEST(KR_InputLayouts, EveryFormatHasAListAsLongAsItsStride)
{
    std::uint32_t uiCount = 0;
    const D3D11_INPUT_ELEMENT_DESC* pElements = KR_InputLayouts::GetElements(0x0B, &uiCount);
    ASSERT_EQ(3u, uiCount);
    EXPECT_STREQ("SV_POSITION", pElements[0].SemanticName);
    EXPECT_EQ(0u, pElements[0].AlignedByteOffset);
    EXPECT_EQ(12u, pElements[1].AlignedByteOffset);
    EXPECT_EQ(24u, pElements[2].AlignedByteOffset);
    EXPECT_EQ(DXGI_FORMAT_R32G32_FLOAT, pElements[2].Format);

    pElements = KR_InputLayouts::GetElements(0xFF, &uiCount);
    ASSERT_EQ(9u, uiCount);
    EXPECT_STREQ("BONEWEIGHTS", pElements[7].SemanticName);
    EXPECT_EQ(68u, pElements[7].AlignedByteOffset);
    EXPECT_EQ(84u, pElements[8].AlignedByteOffset);
    EXPECT_EQ(DXGI_FORMAT_R8G8B8A8_UINT, pElements[8].Format);

    std::uint32_t uiFormats = 0;
    for (std::int32_t iId = 0; iId < 28; ++iId)
    {
        KR_VertexFormat::KR_VertexFormatInfo info{};
        ASSERT_TRUE(KR_VertexFormat::GetFormatInfo(iId, &info));
        pElements = KR_InputLayouts::GetElements(info.uiMask, &uiCount);
        ASSERT_NE(nullptr, pElements) << "mask " << int(info.uiMask);
        EXPECT_EQ(info.uiStride, KR_InputLayouts::GetElementsSize(pElements, uiCount))
            << "mask " << int(info.uiMask);
        ++uiFormats;
    }
    EXPECT_EQ(28u, uiFormats);
    // Masks outside the table (no position, a tangent without UV, a UV gap) have no list.
    for (std::uint8_t uiMask :
         {std::uint8_t{0x00}, std::uint8_t{0x07}, std::uint8_t{0x1D}, std::uint8_t{0x11}})
        EXPECT_EQ(nullptr, KR_InputLayouts::GetElements(uiMask, &uiCount));
}

TEST_F(KR_GraphicsResourceManagerDX11Test, TexturesArePooledByDescriptionAndFreeIndicesReused)
{
    const std::uint64_t uiTexturesBefore = D3D11Control::GetCallCount("CreateTexture2D"); // the placeholder
    const KR_TextureResourceDescription small = Target(16);
    std::uint32_t uiA = m_pManager->AcquireTexture(&small);
    std::uint32_t uiB = m_pManager->AcquireTexture(&small);
    EXPECT_EQ(0u, uiA);
    EXPECT_EQ(1u, uiB); // two holders never share
    const std::uint32_t uiReleased = uiA;
    m_pManager->ReleaseTexture(&uiA);
    EXPECT_EQ(KR_GraphicsResourceManager::INVALID_HANDLE, uiA);
    std::uint32_t uiAgain = m_pManager->AcquireTexture(&small);
    EXPECT_EQ(uiReleased, uiAgain); // the same record comes back
    EXPECT_EQ(2u, D3D11Control::GetCallCount("CreateTexture2D") - uiTexturesBefore);

    // Getters check handle and slice.
    EXPECT_NE(nullptr, m_pManager->GetRenderTargetView(uiB, 0));
    EXPECT_EQ(nullptr, m_pManager->GetRenderTargetView(uiB, 1));
    EXPECT_EQ(nullptr, m_pManager->GetTexture2D(KR_GraphicsResourceManager::INVALID_HANDLE));
    EXPECT_EQ(nullptr, m_pManager->GetShaderResourceView(7));

    // Records 0..3 exist; release 0, 1 and 3 and destroy them: free list {0, 1, 3}. A new record
    // takes the first free index and the last one moves into its place: 0, then 3, then 1.
    const KR_TextureResourceDescription other = Target(8);
    std::uint32_t uiC = m_pManager->AcquireTexture(&other);
    std::uint32_t uiD = m_pManager->AcquireTexture(&other);
    ASSERT_EQ(2u, uiC);
    ASSERT_EQ(3u, uiD);
    m_pManager->ReleaseTexture(&uiAgain);
    m_pManager->ReleaseTexture(&uiB);
    m_pManager->ReleaseTexture(&uiD);
    m_pManager->DestroyUnusedTextures();
    EXPECT_EQ(nullptr, m_pManager->GetTexture2D(1));
    EXPECT_NE(nullptr, m_pManager->GetTexture2D(uiC));
    const KR_TextureResourceDescription big = Target(32);
    EXPECT_EQ(0u, m_pManager->AcquireTexture(&big));
    EXPECT_EQ(3u, m_pManager->AcquireTexture(&big));
    EXPECT_EQ(1u, m_pManager->AcquireTexture(&big));
    EXPECT_EQ(4u, m_pManager->AcquireTexture(&big));
    KR_TextureResourceDescription read;
    ASSERT_TRUE(m_pManager->GetTextureDescription(read, 3));
    EXPECT_EQ(big, read);
}

TEST_F(KR_GraphicsResourceManagerDX11Test, TextureViewsFollowBindFlagsAndDimensions)
{
    const KR_TextureResourceDescription array = Target(16, 6);
    const std::uint32_t uiSlices = m_pManager->AcquireTexture(&array);
    for (std::uint32_t uiSlice = 0; uiSlice < 6; ++uiSlice)
    {
        ID3D11RenderTargetView* pView = m_pManager->GetRenderTargetView(uiSlices, uiSlice);
        ASSERT_NE(nullptr, pView);
        D3D11_RENDER_TARGET_VIEW_DESC desc{};
        pView->GetDesc(&desc);
        EXPECT_EQ(D3D11_RTV_DIMENSION_TEXTURE2DARRAY, desc.ViewDimension);
        EXPECT_EQ(uiSlice, desc.Texture2DArray.FirstArraySlice);
        EXPECT_EQ(1u, desc.Texture2DArray.ArraySize);
    }
    EXPECT_EQ(nullptr, m_pManager->GetRenderTargetView(uiSlices, 6));

    KR_TextureResourceDescription cube = Target(16, 6);
    cube.m_uiMiscFlags = D3D11_RESOURCE_MISC_TEXTURECUBE;
    D3D11_SHADER_RESOURCE_VIEW_DESC srv{};
    m_pManager->GetShaderResourceView(m_pManager->AcquireTexture(&cube))->GetDesc(&srv);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURECUBE, srv.ViewDimension);

    const KR_TextureResourceDescription shadow(64, 64, 0, 4, 1, DXGI_FORMAT_D32_FLOAT, D3D11_USAGE_DEFAULT,
                                               D3D11_BIND_DEPTH_STENCIL, 0, 0);
    const std::uint32_t uiShadow = m_pManager->AcquireTexture(&shadow);
    EXPECT_NE(nullptr, m_pManager->GetDepthStencilView(uiShadow, 3));

    const KR_TextureResourceDescription volume(8, 8, 8, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT,
                                               D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE, 0,
                                               0);
    const std::uint32_t uiVolume = m_pManager->AcquireTexture(&volume);
    EXPECT_NE(nullptr, m_pManager->GetTexture3D(uiVolume));
    EXPECT_NE(nullptr, m_pManager->GetUnorderedAccessView(uiVolume));

    // A volume cannot be a depth buffer: the handle is given, but nothing is left behind it.
    const std::size_t uiLiveBefore = D3D11Control::GetLiveObjectCount();
    KR_TextureResourceDescription badVolume = volume;
    badVolume.m_uiBindFlags = D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_RENDER_TARGET;
    const std::uint32_t uiBad = m_pManager->AcquireTexture(&badVolume);
    EXPECT_NE(KR_GraphicsResourceManager::INVALID_HANDLE, uiBad);
    EXPECT_EQ(nullptr, m_pManager->GetTexture3D(uiBad));
    EXPECT_EQ(nullptr, m_pManager->GetRenderTargetView(uiBad, 0));
    EXPECT_EQ(uiLiveBefore, D3D11Control::GetLiveObjectCount());
}

TEST_F(KR_GraphicsResourceManagerDX11Test, StructuredAndRawBuffersGetTheirViews)
{
    const UINT uiBind = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    const KR_BufferResourceDescription structured(128, 32, D3D11_USAGE_DEFAULT, uiBind,
                                                  D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, 0);
    const std::uint32_t uiStructured = m_pManager->AcquireBuffer(&structured);
    D3D11_UNORDERED_ACCESS_VIEW_DESC uav{};
    m_pManager->GetBufferUnorderedAccessView(uiStructured)->GetDesc(&uav);
    EXPECT_EQ(DXGI_FORMAT_UNKNOWN, uav.Format);
    EXPECT_EQ(static_cast<UINT>(D3D11_BUFFER_UAV_FLAG_COUNTER), uav.Buffer.Flags);
    D3D11_SHADER_RESOURCE_VIEW_DESC srv{};
    m_pManager->GetBufferShaderResourceView(uiStructured)->GetDesc(&srv);
    EXPECT_EQ(D3D11_SRV_DIMENSION_BUFFER, srv.ViewDimension);

    const KR_BufferResourceDescription raw(256, 4, D3D11_USAGE_DEFAULT, uiBind,
                                           D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS, 0);
    std::uint32_t uiRaw = m_pManager->AcquireBuffer(&raw);
    m_pManager->GetBufferUnorderedAccessView(uiRaw)->GetDesc(&uav);
    EXPECT_EQ(DXGI_FORMAT_R32_TYPELESS, uav.Format);
    EXPECT_EQ(static_cast<UINT>(D3D11_BUFFER_UAV_FLAG_RAW), uav.Buffer.Flags);
    m_pManager->GetBufferShaderResourceView(uiRaw)->GetDesc(&srv);
    EXPECT_EQ(D3D11_SRV_DIMENSION_BUFFEREX, srv.ViewDimension);
    EXPECT_EQ(static_cast<UINT>(D3D11_BUFFEREX_SRV_FLAG_RAW), srv.BufferEx.Flags);
    D3D11_BUFFER_DESC bufferDesc{};
    m_pManager->GetBuffer(uiRaw)->GetDesc(&bufferDesc);
    EXPECT_EQ(1024u, bufferDesc.ByteWidth);

    const std::uint32_t uiRawIndex = uiRaw;
    m_pManager->ReleaseBuffer(&uiRaw);
    m_pManager->DestroyUnusedBuffers();
    EXPECT_EQ(nullptr, m_pManager->GetBuffer(uiRawIndex));
    EXPECT_EQ(uiRawIndex, m_pManager->AcquireBuffer(&raw));
    // A zero-sized buffer is refused by the device: a handle without a buffer.
    const KR_BufferResourceDescription empty(0, 16, D3D11_USAGE_DEFAULT, uiBind, 0, 0);
    EXPECT_EQ(nullptr, m_pManager->GetBuffer(m_pManager->AcquireBuffer(&empty)));
}

TEST_F(KR_GraphicsResourceManagerDX11Test, StatesAreSharedByWholeDescriptionAndFailuresRetried)
{
    const D3D11_RASTERIZER_DESC a = Rasterizer(0.25f);
    const D3D11_RASTERIZER_DESC sameAsA = Rasterizer(0.25f);
    ID3D11RasterizerState* pFirst = m_pManager->GetRasterizerState(&a);
    ASSERT_NE(nullptr, pFirst);
    EXPECT_EQ(pFirst, m_pManager->GetRasterizerState(&sameAsA));
    EXPECT_EQ(1u, D3D11Control::GetCallCount("CreateRasterizerState"));
    // Same hash (the bias clamps truncate alike), different description: its own object.
    const D3D11_RASTERIZER_DESC b = Rasterizer(0.75f);
    EXPECT_EQ(KR_KeyHashing::HashRasterizerDesc(a), KR_KeyHashing::HashRasterizerDesc(b));
    ID3D11RasterizerState* pSecond = m_pManager->GetRasterizerState(&b);
    EXPECT_NE(pFirst, pSecond);
    EXPECT_EQ(pSecond, m_pManager->GetRasterizerState(&b));

    D3D11_BLEND_DESC blend{};
    blend.RenderTarget[0] = {TRUE,
                             D3D11_BLEND_SRC_ALPHA,
                             D3D11_BLEND_INV_SRC_ALPHA,
                             D3D11_BLEND_OP_ADD,
                             D3D11_BLEND_ONE,
                             D3D11_BLEND_ZERO,
                             D3D11_BLEND_OP_ADD,
                             D3D11_COLOR_WRITE_ENABLE_ALL};
    D3D11Control::FailNext("CreateBlendState");
    D3D11Control::FailNext("CreateBlendState");
    EXPECT_EQ(nullptr, m_pManager->GetBlendState(&blend));
    EXPECT_EQ(nullptr, m_pManager->GetBlendState(&blend));
    ID3D11BlendState* pBlend = m_pManager->GetBlendState(&blend);
    EXPECT_NE(nullptr, pBlend);
    EXPECT_EQ(pBlend, m_pManager->GetBlendState(&blend));
    EXPECT_EQ(3u, D3D11Control::GetCallCount("CreateBlendState"));

    D3D11_DEPTH_STENCIL_DESC depth{};
    depth.DepthEnable = TRUE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
    depth.DepthFunc = D3D11_COMPARISON_LESS_EQUAL;
    ID3D11DepthStencilState* pDepth = m_pManager->GetDepthStencilState(&depth);
    EXPECT_NE(nullptr, pDepth);
    depth.StencilReadMask = 0x0F;
    EXPECT_NE(pDepth, m_pManager->GetDepthStencilState(&depth));
}

TEST_F(KR_GraphicsResourceManagerDX11Test, ProgramsLoadOncePerPropertiesAndFailuresAreKept)
{
    KR_ShaderProperties first;
    first.SetShaderStage(KR_SHADER_STAGE_VERTEX, "Assets/Shader/KR_VertexShader.hlsl", "MainVS");
    first.AddMacro("VS_IN_NORMAL", nullptr);
    KR_ShaderProperties second;
    second.SetShaderStage(KR_SHADER_STAGE_VERTEX, "Assets/Shader/KR_VertexShader.hlsl", "MainVS");
    second.AddMacro("VS_IN_NORMAL", nullptr);
    KR_ShaderProgram* pProgram = m_pManager->GetShaderProgram(&first);
    ASSERT_NE(nullptr, pProgram);
    EXPECT_EQ(pProgram, m_pManager->GetShaderProgram(&second));
    EXPECT_EQ(1u, m_cache.m_uiLoads);

    m_cache.m_bFail = true;
    KR_ShaderProperties failing;
    failing.SetShaderStage(KR_SHADER_STAGE_PIXEL, "Assets/Shader/KR_PixelShader.hlsl", "MainPS");
    EXPECT_EQ(nullptr, m_pManager->GetShaderProgram(&failing));
    m_cache.m_bFail = false;
    EXPECT_EQ(nullptr, m_pManager->GetShaderProgram(&failing));
    EXPECT_EQ(2u, m_cache.m_uiLoads);
}

TEST_F(KR_GraphicsResourceManagerDX11Test, InputLayoutsPerFormatCheckedAgainstTheVertexProgram)
{
    const std::uint8_t uiFormat = 0x0B;
    ID3D11InputLayout* pLayout = m_pManager->GetInputLayout(&uiFormat);
    ASSERT_NE(nullptr, pLayout);
    EXPECT_EQ(pLayout, m_pManager->GetInputLayout(&uiFormat));
    EXPECT_EQ(1u, D3D11Control::GetCallCount("CreateInputLayout"));
    for (std::int32_t iId = 0; iId < 28; ++iId)
    {
        KR_VertexFormat::KR_VertexFormatInfo info{};
        KR_VertexFormat::GetFormatInfo(iId, &info);
        EXPECT_NE(nullptr, m_pManager->GetInputLayout(&info.uiMask)) << "mask " << int(info.uiMask);
    }
    // No list for the mask, or no vertex program: null, and no second load of the program.
    const std::uint8_t uiNoList = 0x1D;
    EXPECT_EQ(nullptr, m_pManager->GetInputLayout(&uiNoList));
    m_cache.m_bFail = true;
    const std::uint32_t uiLoads = m_cache.m_uiLoads;
    D3D11Control::ClearCallLog();
    EXPECT_EQ(nullptr, m_pManager->GetInputLayout(&uiNoList));
    EXPECT_EQ(uiLoads, m_cache.m_uiLoads);
    EXPECT_EQ(nullptr, m_pManager->GetInputLayout(nullptr));
}

TEST_F(KR_GraphicsResourceManagerDX11Test, ANullAskedForBeforeItsServicesExistIsNotKept)
{
    // A layout needs the vertex program, which needs the shader cache; a refused creation too is
    // tried again.
    m_engine->SetShaderCache(nullptr);
    const std::uint8_t uiFormat = 0x0B;
    EXPECT_EQ(nullptr, m_pManager->GetInputLayout(&uiFormat));
    m_engine->SetShaderCache(&m_cache);
    D3D11Control::FailNext("CreateInputLayout");
    EXPECT_EQ(nullptr, m_pManager->GetInputLayout(&uiFormat));
    ID3D11InputLayout* pLayout = m_pManager->GetInputLayout(&uiFormat);
    EXPECT_NE(nullptr, pLayout);
    EXPECT_EQ(pLayout, m_pManager->GetInputLayout(&uiFormat));
    EXPECT_EQ(2u, D3D11Control::GetCallCount("CreateInputLayout"));

    // An effect needs the file repositories and the device; without them nothing was compiled.
    m_pRepository->SetFile("Assets/Effects/Glow.fx",
                           "float4 PSMain() : SV_Target { return 1; }\n"
                           "technique11 T { pass P { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n");
    m_engine->SetFileManager(nullptr);
    EXPECT_EQ(nullptr, m_pManager->GetEffect("Assets/Effects/Glow.fx", nullptr));
    m_files.Install();
    m_engine->SetGraphicsDevice(nullptr);
    EXPECT_EQ(nullptr, m_pManager->GetEffect("Assets/Effects/Glow.fx", nullptr));
    m_engine->SetGraphicsDevice(&m_device);
    EXPECT_EQ(0u, Win32Control::GetMessageBoxes().size());
    EXPECT_NE(nullptr, m_pManager->GetEffect("Assets/Effects/Glow.fx", nullptr));
}

TEST_F(KR_GraphicsResourceManagerDX11Test, EffectsCompileOncePerPathAndMacroAddress)
{
    m_pRepository->SetFile("Assets/Effects/Glow.fx",
                           "float4 PSMain() : SV_Target { return 1; }\n"
                           "technique11 T { pass P { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n");
    m_pRepository->SetFile("Assets/Effects/Broken.fx", "technique11 {");
    const D3D_SHADER_MACRO macros[] = {{"GLOW", "1"}, {nullptr, nullptr}};
    // Equal text in arrays of its own, so at other addresses.
    static char NAME_COPY[] = "GLOW"; // writable, so never merged with the literal
    static char VALUE_COPY[] = "1";
    const D3D_SHADER_MACRO sameText[] = {{NAME_COPY, VALUE_COPY}, {nullptr, nullptr}};

    ID3DX11Effect* pEffect = m_pManager->GetEffect("Assets/Effects/Glow.fx", macros);
    ASSERT_NE(nullptr, pEffect);
    EXPECT_EQ(pEffect, m_pManager->GetEffect("Assets/Effects/Glow.fx", macros));
    EXPECT_EQ(1u, D3DCompilerControl::GetCompileCount());
    EXPECT_NE(pEffect, m_pManager->GetEffect("Assets/Effects/Glow.fx", sameText));
    EXPECT_EQ(2u, D3DCompilerControl::GetCompileCount());
    EXPECT_NE(pEffect, m_pManager->GetEffect("Assets/Effects/Glow.fx", nullptr));

    const std::uint64_t uiCompiles = D3DCompilerControl::GetCompileCount();
    EXPECT_EQ(nullptr, m_pManager->GetEffect("Assets/Effects/Broken.fx", nullptr));
    EXPECT_EQ(nullptr, m_pManager->GetEffect("Assets/Effects/Broken.fx", nullptr));
    EXPECT_EQ(uiCompiles + 1, D3DCompilerControl::GetCompileCount());
}

TEST_F(KR_GraphicsResourceManagerDX11Test, CreateMeshAllocatesOrGivesNull)
{
    KR_MeshDX11* pMesh = m_pManager->CreateMesh(32, 3, 1);
    ASSERT_NE(nullptr, pMesh);
    EXPECT_TRUE(pMesh->HasData());
    delete pMesh;
    // 2^32 vertex bytes cannot be a buffer.
    EXPECT_EQ(nullptr, m_pManager->CreateMesh(0x10000, 0x10000, 1));
    EXPECT_EQ(nullptr, m_pManager->CreateMesh(12, 3, 0x20000000));
}

TEST_F(KR_GraphicsResourceManagerDX11Test, LoadingProgressWithNothingToLoad)
{
    EXPECT_EQ(0.0f, m_pManager->GetLoadingProgress());
    EXPECT_FALSE(m_pManager->FinishLoading());
    m_pManager->BeginLoadingPhase();
    EXPECT_EQ(1.0f, m_pManager->GetLoadingProgress());
    EXPECT_TRUE(m_pManager->FinishLoading());
}

TEST_F(KR_GraphicsResourceManagerDX11Test, GettersStayValidWhileAnotherThreadAppends)
{
    const KR_TextureResourceDescription held = Target(4);
    const std::uint32_t uiHeld = m_pManager->AcquireTexture(&held);
    ID3D11Texture2D* pHeld = m_pManager->GetTexture2D(uiHeld);
    const D3D11_RASTERIZER_DESC desc = Rasterizer(0.0f);
    ID3D11RasterizerState* apStates[2] = {};
    std::thread loader(
        [&]
        {
            const KR_BufferResourceDescription buffer(4, 16, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE,
                                                      0, 0);
            for (int i = 0; i < 200; ++i) // past several chunks of the table
                m_pManager->AcquireBuffer(&buffer);
            for (int i = 0; i < 200; ++i)
                m_pManager->AcquireTexture(&held);
            apStates[0] = m_pManager->GetRasterizerState(&desc);
        });
    bool bSame = true;
    for (int i = 0; i < 2000; ++i)
        bSame = bSame && m_pManager->GetTexture2D(uiHeld) == pHeld;
    apStates[1] = m_pManager->GetRasterizerState(&desc);
    loader.join();
    EXPECT_TRUE(bSame);
    EXPECT_EQ(apStates[0], apStates[1]);
    EXPECT_EQ(1u, D3D11Control::GetCallCount("CreateRasterizerState"));
    EXPECT_NE(nullptr, m_pManager->GetTexture2D(200));
}
