#include "render/device/KR_UtilitiesDX11.h"

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/d3dcompiler/D3DCompilerLimits.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ShaderProgram.h"
#include "tests/support/FakeGraphicsDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

// Hands out a stand-in device (and context); nothing else is used here.
using DeviceOnly = FakeGraphicsDevice;

const char* const EFFECT = "float4 PSMain() : SV_Target { return 1; }\n"
                           "technique11 T { pass P { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }\n";

class KR_UtilitiesDX11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
        D3DCompilerControl::Reset();
        Effects11Control::Reset();
        m_files.Install();
    }

    void TearDown() override
    {
        for (const std::string& sPath : m_vPaths)
            EXPECT_EQ(0u, m_pRepository->GetReferenceCount(sPath)) << sPath;
        EXPECT_EQ(0u, m_pRepository->GetNumLoadedFiles());
        EXPECT_EQ(0u, D3DCompilerControl::GetLiveObjectCount());
        Win32Control::Reset();
    }

    void SetFile(const std::string& sPath, const std::string& sContents)
    {
        m_pRepository->SetFile(sPath, sContents);
        m_vPaths.push_back(sPath);
    }

    // The compiler's own messages for a source, to compare with what the box shows.
    static std::string CompilerErrors(const std::string& sSource, const char* pName, const char* pEntry)
    {
        ID3DBlob* pCode = nullptr;
        ID3DBlob* pErrors = nullptr;
        EXPECT_EQ(E_FAIL, D3DCompile(sSource.data(), sSource.size(), pName, nullptr, nullptr, pEntry,
                                     "ps_5_0", D3DCOMPILE_ENABLE_STRICTNESS, 0, &pCode, &pErrors));
        std::string sErrors(static_cast<const char*>(pErrors->GetBufferPointer()), pErrors->GetBufferSize());
        pErrors->Release();
        return sErrors;
    }

    TestEngine m_engine;
    MemoryFiles m_files{false};
    MemoryRepository* m_pRepository = m_files.GetRepository();
    std::vector<std::string> m_vPaths;
};

} // namespace

TEST_F(KR_UtilitiesDX11Test, IncludesResolveAgainstTheCompiledFilesDirectory)
{
    SetFile("Assets/Shader/main.hlsl",
            "#include \"sub/a.hlsli\"\nfloat4 PSMain() : SV_Target { return B; }\n");
    // Nested: the include inside sub/a.hlsli is still relative to Assets/Shader/.
    SetFile("Assets/Shader/sub/a.hlsli", "#include \"sub/b.hlsli\"\n");
    SetFile("Assets/Shader/sub/b.hlsli", "#define B 1\n");
    ID3DBlob* pCode = nullptr;
    EXPECT_EQ(
        0, KR_UtilitiesDX11::CompileShader("Assets/Shader/main.hlsl", nullptr, "PSMain", "ps_5_0", &pCode));
    ASSERT_NE(nullptr, pCode);
    pCode->Release();

    // A file at the root gets the base "", not "/".
    SetFile("root.hlsl", "#include \"inc.hlsli\"\nfloat4 PSMain() : SV_Target { return 0; }\n");
    SetFile("inc.hlsli", "\n");
    EXPECT_EQ(0, KR_UtilitiesDX11::CompileShader("root.hlsl", nullptr, "PSMain", "ps_5_0", nullptr));

    // The same include open twice at once gives both references back.
    SetFile("twice.hlsl", "#include \"guard.hlsli\"\nfloat4 PSMain() : SV_Target { return 0; }\n");
    SetFile("guard.hlsli", "#ifndef INNER\n#define INNER\n#include \"guard.hlsli\"\n#endif\n");
    EXPECT_EQ(0, KR_UtilitiesDX11::CompileShader("twice.hlsl", nullptr, "PSMain", "ps_5_0", nullptr));
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());
}

TEST_F(KR_UtilitiesDX11Test, IncludeLargerThanTheCompilerTakesIsRefusedUnread)
{
    constexpr std::size_t uiLimit = D3DCompilerLimits::MAX_INCLUDED_BYTES;
    SetFile("Assets/Shader/over.hlsl",
            "#include \"over.hlsli\"\nfloat4 PSMain() : SV_Target { return 0; }\n");
    SetFile("Assets/Shader/over.hlsli", "//" + std::string(uiLimit - 2, 'x') + "\n");
    const std::uint32_t uiReads = m_pRepository->GetNumReads();
    EXPECT_EQ(
        1, KR_UtilitiesDX11::CompileShader("Assets/Shader/over.hlsl", nullptr, "PSMain", "ps_5_0", nullptr));
    EXPECT_EQ(uiReads + 1, m_pRepository->GetNumReads()); // the source alone
    const std::vector<Win32Control::MessageBoxRecord> vBoxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(1u, vBoxes.size());
    EXPECT_NE(std::string::npos, vBoxes[0].text.find("error X1507: failed to open source file: 'over.hlsli'"))
        << vBoxes[0].text;

    SetFile("Assets/Shader/full.hlsl",
            "#include \"full.hlsli\"\nfloat4 PSMain() : SV_Target { return 0; }\n");
    SetFile("Assets/Shader/full.hlsli", "//" + std::string(uiLimit - 3, 'x') + "\n");
    EXPECT_EQ(
        0, KR_UtilitiesDX11::CompileShader("Assets/Shader/full.hlsl", nullptr, "PSMain", "ps_5_0", nullptr));
}

TEST_F(KR_UtilitiesDX11Test, SourceLargerThanTheCompilerTakesIsRefusedUnread)
{
    const std::string sOver = "//" + std::string(D3DCompilerLimits::MAX_SOURCE_BYTES - 2, 'x') + "\n";
    SetFile("Assets/Shader/over.hlsl", sOver);
    SetFile("Assets/Shader/over.fx", sOver);
    const std::uint32_t uiReads = m_pRepository->GetNumReads();
    EXPECT_EQ(
        1, KR_UtilitiesDX11::CompileShader("Assets/Shader/over.hlsl", nullptr, "PSMain", "ps_5_0", nullptr));
    EXPECT_EQ(1, KR_UtilitiesDX11::CompileEffect("Assets/Shader/over.fx", nullptr, nullptr));
    EXPECT_EQ(uiReads, m_pRepository->GetNumReads());
    const std::vector<Win32Control::MessageBoxRecord> vBoxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(2u, vBoxes.size());
    EXPECT_EQ("Assets/Shader/over.hlsl: source text of 1048577 bytes passes the compiler's 1048576",
              vBoxes[0].text);
    EXPECT_EQ("Assets/Shader/over.fx: source text of 1048577 bytes passes the compiler's 1048576",
              vBoxes[1].text);
    EXPECT_EQ("Shader Compile Error", vBoxes[1].caption);
}

TEST_F(KR_UtilitiesDX11Test, CompileErrorShowsTheCompilerTextAndMissingFileShowsNothing)
{
    ID3DBlob* pCode = reinterpret_cast<ID3DBlob*>(this);
    EXPECT_EQ(
        1, KR_UtilitiesDX11::CompileShader("Assets/Shader/none.hlsl", nullptr, "PSMain", "ps_5_0", &pCode));
    EXPECT_EQ(nullptr, pCode);
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());

    const std::string sSource = "float4 PSMain() : SV_Target\n{\n    return 0;\n}}\n";
    SetFile("Assets/Shader/bad.hlsl", sSource);
    EXPECT_EQ(1,
              KR_UtilitiesDX11::CompileShader("Assets/Shader/bad.hlsl", nullptr, "PSMain", "ps_5_0", &pCode));
    EXPECT_EQ(nullptr, pCode);
    std::vector<Win32Control::MessageBoxRecord> vBoxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(1u, vBoxes.size());
    EXPECT_EQ(CompilerErrors(sSource, "Assets/Shader/bad.hlsl", "PSMain"), vBoxes[0].text);
    EXPECT_EQ("Shader Compile Error", vBoxes[0].caption);
    EXPECT_EQ(0x30u, vBoxes[0].type);
    EXPECT_EQ(nullptr, vBoxes[0].owner);

    SetFile("Assets/Shader/inc.hlsl", "#include \"gone.hlsli\"\nfloat4 PSMain() : SV_Target { return 0; }\n");
    EXPECT_EQ(
        1, KR_UtilitiesDX11::CompileShader("Assets/Shader/inc.hlsl", nullptr, "PSMain", "ps_5_0", nullptr));
    D3DCompilerControl::FailNext("D3DCompile");
    EXPECT_EQ(
        1, KR_UtilitiesDX11::CompileShader("Assets/Shader/inc.hlsl", nullptr, "PSMain", "ps_5_0", nullptr));
    vBoxes = Win32Control::GetMessageBoxes();
    ASSERT_EQ(3u, vBoxes.size());
    EXPECT_NE(std::string::npos,
              vBoxes[1].text.find("error X1507: failed to open source file: 'gone.hlsli'"));
    EXPECT_EQ("Could not compile shader file. No error messages returned.", vBoxes[2].text);
}

TEST_F(KR_UtilitiesDX11Test, EffectPrefersThePrecompiledFile)
{
    D3D11Control::Reset();
    ID3D11Device* pDevice = nullptr;
    ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, &pDevice, nullptr, nullptr));
    DeviceOnly graphicsDevice(pDevice);
    m_engine->SetGraphicsDevice(&graphicsDevice);

    // Source only: compiled.
    SetFile("Assets/Effects/Glow.fx", EFFECT);
    ID3DX11Effect* pEffect = nullptr;
    EXPECT_EQ(0, KR_UtilitiesDX11::CompileEffect("Assets/Effects/Glow.fx", nullptr, &pEffect));
    ASSERT_NE(nullptr, pEffect);
    pEffect->Release();
    EXPECT_EQ(1u, D3DCompilerControl::GetCompileCount());

    // A saved ".fxo" is loaded without compiling; the source need not exist.
    ID3DBlob* pCode = nullptr;
    ASSERT_EQ(S_OK, D3DCompile(EFFECT, std::strlen(EFFECT), "Blur.fx", nullptr, nullptr, nullptr, "fx_5_0", 0,
                               0, &pCode, nullptr));
    SetFile("Assets/Effects/Blur.fxo",
            std::string(static_cast<const char*>(pCode->GetBufferPointer()), pCode->GetBufferSize()));
    pCode->Release();
    D3DCompilerControl::Reset();
    EXPECT_EQ(0, KR_UtilitiesDX11::CompileEffect("Assets/Effects/Blur.fx", nullptr, &pEffect));
    ASSERT_NE(nullptr, pEffect);
    pEffect->Release();
    EXPECT_EQ(0u, D3DCompilerControl::GetCompileCount());
    EXPECT_TRUE(Win32Control::GetMessageBoxes().empty());

    // A damaged ".fxo" fails with the fixed text; a missing effect fails silently.
    SetFile("Assets/Effects/Broken.fxo", "KVSB and nothing else");
    EXPECT_EQ(1, KR_UtilitiesDX11::CompileEffect("Assets/Effects/Broken.fx", nullptr, &pEffect));
    EXPECT_EQ(nullptr, pEffect);
    EXPECT_EQ(1, KR_UtilitiesDX11::CompileEffect("Assets/Effects/None.fx", nullptr, &pEffect));
    ASSERT_EQ(1u, Win32Control::GetMessageBoxes().size());
    EXPECT_EQ("Could not compile shader file. No error messages returned.",
              Win32Control::GetMessageBoxes()[0].text);

    EXPECT_EQ(0u, Effects11Control::GetLiveEffectCount());
    pDevice->Release();
    EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
}

TEST_F(KR_UtilitiesDX11Test, DispatchSizeRoundsUpAndNeedsACompiledComputeStage)
{
    const std::uint32_t threads[3] = {1000, 64, 1};
    EXPECT_EQ((std::array<std::uint32_t, 3>{0, 0, 0}), KR_UtilitiesDX11::GetDispatchSize(threads, nullptr));
    KR_ShaderProgram program;
    program.m_uiThreadGroupSizeX = 64;
    program.m_uiThreadGroupSizeY = 8;
    program.m_uiThreadGroupSizeZ = 1;
    EXPECT_EQ((std::array<std::uint32_t, 3>{0, 0, 0}), KR_UtilitiesDX11::GetDispatchSize(threads, &program));

    SetFile("cs.hlsl", "[numthreads(64, 8, 1)] void CSMain() { }\n");
    ASSERT_EQ(0, KR_UtilitiesDX11::CompileShader("cs.hlsl", nullptr, "CSMain", "cs_5_0",
                                                 &program.m_pBlob[KR_SHADER_STAGE_COMPUTE]));
    ID3D11ShaderReflection* pReflection = nullptr;
    ID3DBlob* pBlob = program.m_pBlob[KR_SHADER_STAGE_COMPUTE];
    ASSERT_EQ(S_OK, D3DReflect(pBlob->GetBufferPointer(), pBlob->GetBufferSize(), IID_ID3D11ShaderReflection,
                               reinterpret_cast<void**>(&pReflection)));
    pReflection->GetThreadGroupSize(&program.m_uiThreadGroupSizeX, &program.m_uiThreadGroupSizeY,
                                    &program.m_uiThreadGroupSizeZ);
    pReflection->Release();
    EXPECT_EQ((std::array<std::uint32_t, 3>{16, 8, 1}), KR_UtilitiesDX11::GetDispatchSize(threads, &program));
    const std::uint32_t huge[3] = {0xFFFFFFFFu, 0, 1};
    EXPECT_EQ((std::array<std::uint32_t, 3>{67108864, 0, 1}),
              KR_UtilitiesDX11::GetDispatchSize(huge, &program));
    program.m_uiThreadGroupSizeZ = 0;
    EXPECT_EQ((std::array<std::uint32_t, 3>{0, 0, 0}), KR_UtilitiesDX11::GetDispatchSize(threads, &program));
    pBlob->Release();

    ID3DBlob* pMade = KR_UtilitiesDX11::CreateBlob(24);
    ASSERT_NE(nullptr, pMade);
    EXPECT_EQ(24u, pMade->GetBufferSize());
    pMade->Release();
    D3DCompilerControl::FailNext("D3DCreateBlob");
    EXPECT_EQ(nullptr, KR_UtilitiesDX11::CreateBlob(24));
}

namespace
{

// A PNG of one colour, written by the D3DX11 stand-in.
std::string SolidPng(ID3D11Device* pDevice, ID3D11DeviceContext* pContext, UINT uiWidth, UINT uiHeight,
                     std::uint8_t uiShade)
{
    const std::vector<std::uint8_t> vPixels(std::size_t{uiWidth} * uiHeight * 4, uiShade);
    const D3D11_TEXTURE2D_DESC desc{
        uiWidth, uiHeight, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, 0, 0, 0};
    const D3D11_SUBRESOURCE_DATA init{vPixels.data(), uiWidth * 4, 0};
    ID3D11Texture2D* pTexture = nullptr;
    EXPECT_EQ(S_OK, pDevice->CreateTexture2D(&desc, &init, &pTexture));
    TestTempDir temp;
    const std::string sPath = temp.Join("solid.png");
    EXPECT_EQ(S_OK, D3DX11SaveTextureToFileA(pContext, pTexture, D3DX11_IFF_PNG, sPath.c_str()));
    pTexture->Release();
    std::ifstream file(sPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> Bytes(ID3D11Resource* pResource, UINT uiSubresource)
{
    std::vector<std::uint8_t> vData;
    EXPECT_TRUE(D3D11Control::ReadSubresource(pResource, uiSubresource, &vData));
    return vData;
}

KB_GrowingArray<KB_String> Files(std::initializer_list<const char*> names)
{
    KB_GrowingArray<KB_String> gFiles;
    for (const char* pName : names)
        gFiles.Add(KB_String(pName));
    return gFiles;
}

} // namespace

TEST_F(KR_UtilitiesDX11Test, TextureArraysTakeEveryImageAndRefuseOnesThatDoNotMatch)
{
    D3D11Control::Reset();
    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    ASSERT_EQ(S_OK, D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, &pDevice, nullptr, &pContext));
    DeviceOnly graphicsDevice(pDevice, pContext);
    m_engine->SetGraphicsDevice(&graphicsDevice);
    SetFile("p0.png", SolidPng(pDevice, pContext, 8, 4, 10));
    SetFile("p1.png", SolidPng(pDevice, pContext, 8, 4, 20));
    SetFile("p2.png", SolidPng(pDevice, pContext, 8, 4, 30));
    SetFile("small.png", SolidPng(pDevice, pContext, 4, 4, 40));
    SetFile("text.png", "not an image");

    // 2-D: three slices of four levels (8x4 down to 1x1), each level of each slice its image's.
    ID3D11Texture2D* pArray = nullptr;
    ID3D11ShaderResourceView* pView = nullptr;
    ASSERT_EQ(S_OK, KR_UtilitiesDX11::CreateTexture2DArrayFromFiles(Files({"p0.png", "p1.png", "p2.png"}),
                                                                    &pArray, &pView));
    D3D11_TEXTURE2D_DESC desc{};
    pArray->GetDesc(&desc);
    EXPECT_EQ(3u, desc.ArraySize);
    EXPECT_EQ(4u, desc.MipLevels);
    D3D11_SHADER_RESOURCE_VIEW_DESC viewDesc{};
    pView->GetDesc(&viewDesc);
    EXPECT_EQ(D3D11_SRV_DIMENSION_TEXTURE2DARRAY, viewDesc.ViewDimension);
    EXPECT_EQ(3u, viewDesc.Texture2DArray.ArraySize);
    EXPECT_EQ(4u, viewDesc.Texture2DArray.MipLevels);
    EXPECT_EQ(std::vector<std::uint8_t>(8 * 4 * 4, 30), Bytes(pArray, D3D11CalcSubresource(0, 2, 4)));
    EXPECT_EQ(std::vector<std::uint8_t>(4, 20), Bytes(pArray, D3D11CalcSubresource(3, 1, 4)));
    pView->Release();
    pArray->Release();

    // An image of another size fails the call; the array made for the first image stays.
    pArray = nullptr;
    EXPECT_EQ(E_FAIL, KR_UtilitiesDX11::CreateTexture2DArrayFromFiles(
                          Files({"p0.png", "small.png", "p2.png"}), &pArray, &pView));
    EXPECT_EQ(nullptr, pView);
    ASSERT_NE(nullptr, pArray);
    pArray->Release();

    // 1-D: the top row of each image, one level.
    ID3D11Texture1D* pRow = nullptr;
    ASSERT_EQ(S_OK,
              KR_UtilitiesDX11::CreateTexture1DArrayFromFiles(Files({"p0.png", "p1.png"}), &pRow, &pView));
    D3D11_TEXTURE1D_DESC rowDesc{};
    pRow->GetDesc(&rowDesc);
    EXPECT_EQ(8u, rowDesc.Width);
    EXPECT_EQ(2u, rowDesc.ArraySize);
    EXPECT_EQ(1u, rowDesc.MipLevels);
    EXPECT_EQ(std::vector<std::uint8_t>(8 * 4, 20), Bytes(pRow, 1));
    pView->Release();
    pRow->Release();
    pRow = nullptr;
    EXPECT_EQ(E_FAIL, KR_UtilitiesDX11::CreateTexture1DArrayFromFiles(Files({"text.png"}), &pRow, &pView));
    EXPECT_EQ(nullptr, pRow);

    m_engine->SetGraphicsDevice(nullptr);
    pContext->Release();
    pDevice->Release();
    EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
}
