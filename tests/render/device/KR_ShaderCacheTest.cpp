#include "render/device/KR_ShaderCache.h"

#include "framework/core/KB_String.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3dcompiler/D3DCompilerControl.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

const char* const VS_SOURCE =
    "float4 MainVS(float3 p : POSITION) : SV_POSITION { return float4(p, 1.0); }\n"
    "float4 OtherVS(float3 p : POSITION) : SV_POSITION { return float4(p, 2.0); }\n";
const char* const PS_SOURCE = "float4 MainPS() : SV_TARGET { return float4(1, 0, 0, 1); }\n";
const char* const CS_SOURCE = "[numthreads(8, 4, 2)] void MainCS() {}\n";

std::string Compile(const char* pSource, const char* pEntry, const char* pTarget)
{
    ID3DBlob* pCode = nullptr;
    if (FAILED(D3DCompile(pSource, std::strlen(pSource), "source.hlsl", nullptr, nullptr, pEntry, pTarget, 0,
                          0, &pCode, nullptr)))
        return {};
    std::string sCode(static_cast<const char*>(pCode->GetBufferPointer()), pCode->GetBufferSize());
    pCode->Release();
    return sCode;
}

std::string BlobBytes(const ID3DBlob* pConstBlob)
{
    auto* pBlob = const_cast<ID3DBlob*>(pConstBlob);
    return pBlob == nullptr
               ? std::string()
               : std::string(static_cast<const char*>(pBlob->GetBufferPointer()), pBlob->GetBufferSize());
}

void Append(std::string& s, std::uint64_t uiValue, int iBytes)
{
    for (int i = 0; i < iBytes; ++i)
        s.push_back(static_cast<char>((uiValue >> (8 * i)) & 0xFF));
}

class KR_ShaderCacheTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        D3DCompilerControl::Reset();
        Win32Control::Reset();
        Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDOK; });
        m_files.Install();
        m_pRepository->SetFile("vs.hlsl", VS_SOURCE, 77);
        m_properties.SetShaderStage(KR_SHADER_STAGE_VERTEX, "vs.hlsl", "MainVS");
    }

    void TearDown() override
    {
        KR_ShaderCache::DeleteShaderProgram(m_pProgram);
        m_engine->SetFileManager(nullptr);
        EXPECT_EQ(0u, D3DCompilerControl::GetLiveObjectCount());
        Win32Control::Reset();
    }

    // A cache file with one record per stage: (time, hash, bytecode).
    struct Record
    {
        std::uint64_t uiTime = 0;
        std::uint64_t uiHash = 0;
        std::string sCode;
    };
    std::string CacheFile(std::uint32_t uiVersion, const Record (&records)[4])
    {
        std::string s;
        Append(s, uiVersion, 4);
        for (const Record& record : records)
        {
            Append(s, record.uiTime, 8);
            Append(s, record.uiHash, 8);
            Append(s, record.sCode.size(), 4);
            s += record.sCode;
        }
        return s;
    }
    // A record of vs.hlsl as it is now, holding OtherVS's code, so a load from the cache is told
    // apart from a compilation (which gives MainVS's).
    Record CurrentVertexRecord()
    {
        Record record{77, 0, Compile(VS_SOURCE, "OtherVS", "vs_5_0")};
        m_files->GetFileHash("vs.hlsl", &record.uiHash);
        return record;
    }
    void StoreCache(const std::string& sContents)
    {
        m_pRepository->SetFile(KR_ShaderCache::GetCacheFilePath(m_properties).GetBuffer(), sContents);
    }
    // Loads the program; m_uiCompiles counts the compilations it made.
    KR_ShaderProgram* Load()
    {
        const std::uint64_t uiBefore = D3DCompilerControl::GetCompileCount();
        m_pProgram = m_cache.LoadShaderProgram(&m_properties);
        m_uiCompiles = D3DCompilerControl::GetCompileCount() - uiBefore;
        return m_pProgram;
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device{m_engine};
    MemoryFiles m_files{false};
    MemoryRepository* m_pRepository = m_files.GetRepository();
    KR_ShaderProperties m_properties;
    KR_ShaderCache m_cache;
    KR_ShaderProgram* m_pProgram = nullptr;
    std::uint64_t m_uiCompiles = 0;
};

TEST_F(KR_ShaderCacheTest, CurrentCacheFileIsUsedWithoutCompiling)
{
    StoreCache(CacheFile(5, {CurrentVertexRecord(), {}, {}, {}}));
    ASSERT_NE(nullptr, Load());
    EXPECT_EQ(0u, m_uiCompiles);
    EXPECT_EQ(Compile(VS_SOURCE, "OtherVS", "vs_5_0"),
              BlobBytes(m_pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX]));
    EXPECT_NE(nullptr, m_pProgram->m_pVertexShader);
    // Absent stages (size 0) have neither bytecode nor shader.
    EXPECT_EQ(nullptr, m_pProgram->m_pBlob[KR_SHADER_STAGE_PIXEL]);
    EXPECT_EQ(nullptr, m_pProgram->m_pPixelShader);
    EXPECT_EQ(nullptr, m_pProgram->m_pComputeShader);
    EXPECT_EQ(0xFFFFFFFFu, m_pProgram->m_uiSampleMask);
    EXPECT_EQ(0u, m_pRepository->GetNumLoadedFiles()); // the file's reference was given back
}

TEST_F(KR_ShaderCacheTest, WrongVersionsAndShortFilesAreStaleAndCompiled)
{
    const std::string sCurrent = CacheFile(5, {CurrentVertexRecord(), {}, {}, {}});
    const std::string sCompiled = Compile(VS_SOURCE, "MainVS", "vs_5_0");
    const std::string aFiles[] = {
        CacheFile(4, {CurrentVertexRecord(), {}, {}, {}}),
        CacheFile(6, {CurrentVertexRecord(), {}, {}, {}}),
        sCurrent.substr(0, sCurrent.size() - 1), // the last record's size field cut short
        sCurrent.substr(0, 30),                  // inside the vertex bytecode
        std::string("\x05\x00", 2),              // inside the version
        std::string(),
    };
    for (const std::string& sFile : aFiles)
    {
        StoreCache(sFile);
        ASSERT_NE(nullptr, Load()) << sFile.size();
        EXPECT_EQ(sCompiled, BlobBytes(m_pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX])) << sFile.size();
        EXPECT_NE(nullptr, m_pProgram->m_pVertexShader);
        EXPECT_EQ(0u, m_pRepository->GetNumLoadedFiles());
        KR_ShaderCache::DeleteShaderProgram(m_pProgram);
        m_pProgram = nullptr;
    }
    // A record size that claims more bytes than the file has is stale too, not a read past it.
    std::string sLying = sCurrent;
    sLying[4 + 16] = '\xFF';
    sLying[4 + 17] = '\xFF';
    StoreCache(sLying);
    ASSERT_NE(nullptr, Load());
    EXPECT_EQ(sCompiled, BlobBytes(m_pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX]));
}

TEST_F(KR_ShaderCacheTest, ChangedSourceByteMakesCacheStaleWithUnchangedTime)
{
    StoreCache(CacheFile(5, {CurrentVertexRecord(), {}, {}, {}}));
    std::string sChanged = VS_SOURCE;
    sChanged[sChanged.find("1.0")] = '3';
    m_pRepository->SetFile("vs.hlsl", sChanged, 77);
    ASSERT_NE(nullptr, Load());
    EXPECT_EQ(1u, m_uiCompiles);
    EXPECT_EQ(Compile(sChanged.c_str(), "MainVS", "vs_5_0"),
              BlobBytes(m_pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX]));
    // A changed time alone makes it stale as well.
    KR_ShaderCache::DeleteShaderProgram(m_pProgram);
    m_pRepository->SetFile("vs.hlsl", VS_SOURCE, 78);
    ASSERT_NE(nullptr, Load());
    EXPECT_EQ(Compile(VS_SOURCE, "MainVS", "vs_5_0"), BlobBytes(m_pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX]));
}

TEST_F(KR_ShaderCacheTest, ComputeOnlyProgramReflectsItsThreadGroupSize)
{
    m_properties = KR_ShaderProperties();
    m_properties.SetShaderStage(KR_SHADER_STAGE_COMPUTE, "cs.hlsl", "MainCS");
    m_pRepository->SetFile("cs.hlsl", CS_SOURCE);
    ASSERT_NE(nullptr, Load());
    EXPECT_NE(nullptr, m_pProgram->m_pComputeShader);
    EXPECT_EQ(nullptr, m_pProgram->m_pVertexShader);
    EXPECT_EQ(nullptr, m_pProgram->m_pBlob[KR_SHADER_STAGE_VERTEX]);
    EXPECT_EQ(nullptr, m_pProgram->m_pPixelShader);
    EXPECT_EQ(nullptr, m_pProgram->m_pGeometryShader);
    EXPECT_EQ(8u, m_pProgram->m_uiThreadGroupSizeX);
    EXPECT_EQ(4u, m_pProgram->m_uiThreadGroupSizeY);
    EXPECT_EQ(2u, m_pProgram->m_uiThreadGroupSizeZ);
}

TEST_F(KR_ShaderCacheTest, FailedVertexShaderLeavesLaterStagesWithoutShaders)
{
    m_properties.SetShaderStage(KR_SHADER_STAGE_PIXEL, "ps.hlsl", "MainPS");
    m_properties.SetShaderStage(KR_SHADER_STAGE_COMPUTE, "cs.hlsl", "MainCS");
    m_pRepository->SetFile("ps.hlsl", PS_SOURCE);
    m_pRepository->SetFile("cs.hlsl", CS_SOURCE);
    D3D11Control::FailNext("CreateVertexShader");
    ASSERT_NE(nullptr, Load());
    EXPECT_NE(nullptr, m_pProgram->m_pBlob[KR_SHADER_STAGE_PIXEL]);
    EXPECT_EQ(nullptr, m_pProgram->m_pVertexShader);
    EXPECT_EQ(nullptr, m_pProgram->m_pPixelShader);
    EXPECT_EQ(nullptr, m_pProgram->m_pComputeShader);
    EXPECT_EQ(0u, m_pProgram->m_uiThreadGroupSizeX);
}

TEST_F(KR_ShaderCacheTest, FailedStageCompileLeavesOnlyThatStageOut)
{
    m_properties.SetShaderStage(KR_SHADER_STAGE_PIXEL, "ps.hlsl", "NoSuchEntry");
    m_pRepository->SetFile("ps.hlsl", PS_SOURCE);
    ASSERT_NE(nullptr, Load());
    EXPECT_NE(nullptr, m_pProgram->m_pVertexShader);
    EXPECT_EQ(nullptr, m_pProgram->m_pBlob[KR_SHADER_STAGE_PIXEL]);
    EXPECT_EQ(nullptr, m_pProgram->m_pPixelShader);
}

TEST_F(KR_ShaderCacheTest, MacroOrderNamesDifferentFiles)
{
    KR_ShaderProperties first;
    KR_ShaderProperties second;
    first.AddMacro("A", nullptr);
    first.AddMacro("B", nullptr);
    second.AddMacro("B", nullptr);
    second.AddMacro("A", nullptr);
    const std::string sFirst = KR_ShaderCache::GetCacheFilePath(first).GetBuffer();
    EXPECT_NE(sFirst, KR_ShaderCache::GetCacheFilePath(second).GetBuffer());
    char szExpected[64];
    std::snprintf(szExpected, sizeof(szExpected), "Assets/ShaderCache/%.8X.pshadercache",
                  static_cast<unsigned>(first.GetHash() & 0xFFFFFFFFu));
    EXPECT_EQ(szExpected, sFirst);
}

} // namespace
