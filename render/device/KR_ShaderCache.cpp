#include "render/device/KR_ShaderCache.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KB_String.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3dcompiler/d3d11shader.h"
#include "render/device/KR_EngineDevice.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_ReleaseAndNull.h"
#include "render/device/KR_ShaderProgram.h"
#include "render/device/KR_ShaderProperties.h"
#include "render/device/KR_UtilitiesDX11.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace
{

const char* const STAGE_TARGETS[KR_NUM_SHADER_STAGES] = {"vs_5_0", "ps_5_0", "gs_5_0", "cs_5_0"};

// True when the stage's source does not exist (nothing to check) or has the recorded time and hash.
bool IsStageCurrent(KF_FileManager& files, const KB_String& sSource, std::uint64_t uiTime,
                    std::uint64_t uiHash)
{
    if (sSource.GetLength() == 0 || !files.FileExists(sSource))
        return true;
    std::uint64_t uiSourceTime = 0;
    std::uint64_t uiSourceHash = 0;
    if (!files.GetFileTime(sSource, &uiSourceTime))
        uiSourceTime = 0;
    if (!files.GetFileHash(sSource, &uiSourceHash))
        uiSourceHash = 0;
    return uiSourceTime == uiTime && uiSourceHash == uiHash;
}

} // namespace

KB_String KR_ShaderCache::GetCacheFilePath(const KR_ShaderProperties& properties)
{
    char szPath[64];
    std::snprintf(szPath, sizeof(szPath), "Assets/ShaderCache/%.8X.pshadercache",
                  static_cast<unsigned>(properties.GetHash() & 0xFFFFFFFFu));
    return KB_String(szPath);
}

void KR_ShaderCache::DeleteShaderProgram(KR_ShaderProgram* pProgram)
{
    if (pProgram == nullptr)
        return;
    for (ID3DBlob*& pBlob : pProgram->m_pBlob)
        KR_ReleaseAndNull(pBlob);
    KR_ReleaseAndNull(pProgram->m_pVertexShader);
    KR_ReleaseAndNull(pProgram->m_pPixelShader);
    KR_ReleaseAndNull(pProgram->m_pGeometryShader);
    KR_ReleaseAndNull(pProgram->m_pComputeShader);
    delete pProgram;
}

KR_ShaderProgram* KR_ShaderCache::ReadCacheFile(const KR_ShaderProperties& properties,
                                                const std::uint8_t* pData, std::uint64_t uiSize)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    KB_ByteReader reader(pData, uiSize);
    std::uint32_t uiVersion = 0;
    if (pFiles == nullptr || !reader.ReadU32(&uiVersion) || uiVersion != CACHE_FILE_VERSION)
        return nullptr;
    KR_ShaderProgram* pProgram = new (std::nothrow) KR_ShaderProgram();
    if (pProgram == nullptr)
        return nullptr;
    for (std::uint32_t uiStage = 0; uiStage < KR_NUM_SHADER_STAGES; ++uiStage)
    {
        std::uint64_t uiTime = 0;
        std::uint64_t uiHash = 0;
        std::uint32_t uiCodeSize = 0;
        // Every read is bounded by the bytes left: a short record makes the whole file stale.
        const bool bRead = reader.ReadU64(&uiTime) && reader.ReadU64(&uiHash) &&
                           reader.ReadU32(&uiCodeSize) && reader.CheckCount(uiCodeSize, 1);
        const KB_String& sSource = properties.GetFile(static_cast<KR_ShaderStageType>(uiStage));
        if (!bRead || !IsStageCurrent(*pFiles, sSource, uiTime, uiHash))
        {
            DeleteShaderProgram(pProgram);
            return nullptr;
        }
        if (uiCodeSize == 0)
            continue;
        ID3DBlob* pBlob = KR_UtilitiesDX11::CreateBlob(uiCodeSize);
        if (pBlob == nullptr)
        {
            DeleteShaderProgram(pProgram);
            return nullptr;
        }
        std::memcpy(pBlob->GetBufferPointer(), reader.GetCursor(), uiCodeSize);
        reader.Skip(uiCodeSize);
        pProgram->m_pBlob[uiStage] = pBlob;
    }
    return pProgram;
}

KR_ShaderProgram* KR_ShaderCache::LoadShaderProgram(const KR_ShaderProperties* pProperties)
{
    if (pProperties == nullptr)
        return nullptr;
    KR_ShaderProgram* pProgram = nullptr;
    KF_FileManager* pFiles = KE_GetFileManager();
    const KB_String sPath = GetCacheFilePath(*pProperties);
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles != nullptr && pFiles->FileExists(sPath) && pFiles->ReadFile(sPath, &uiSize, &pData))
    {
        pProgram = ReadCacheFile(*pProperties, pData, uiSize);
        pFiles->RemoveReference(sPath);
    }
    if (pProgram == nullptr)
        pProgram = CompileShaderProgram(pProperties);
    CreateShaders(pProgram);
    return pProgram;
}

KR_ShaderProgram* KR_ShaderCache::CompileShaderProgram(const KR_ShaderProperties* pProperties)
{
    if (pProperties == nullptr)
        return nullptr;
    KR_ShaderProgram* pProgram = new (std::nothrow) KR_ShaderProgram();
    if (pProgram == nullptr)
        return nullptr;
    const auto* pMacros = reinterpret_cast<const D3D_SHADER_MACRO*>(pProperties->GetMacros());
    for (std::uint32_t uiStage = 0; uiStage < KR_NUM_SHADER_STAGES; ++uiStage)
    {
        const KR_ShaderStageType stage = static_cast<KR_ShaderStageType>(uiStage);
        if (pProperties->GetFile(stage).GetLength() == 0)
            continue;
        ID3DBlob* pCode = nullptr;
        if (KR_UtilitiesDX11::CompileShader(pProperties->GetFile(stage), pMacros,
                                            pProperties->GetEntry(stage).GetBuffer(), STAGE_TARGETS[uiStage],
                                            &pCode) != 0)
        {
            KR_ReleaseAndNull(pCode);
        }
        pProgram->m_pBlob[uiStage] = pCode;
    }
    return pProgram;
}

void KR_ShaderCache::CreateShaders(KR_ShaderProgram* pProgram)
{
    ID3D11Device* pDevice = KR_GetEngineDevice();
    if (pProgram == nullptr || pDevice == nullptr)
        return;
    ID3DBlob* const* pBlobs = pProgram->m_pBlob;
    if (ID3DBlob* pCode = pBlobs[KR_SHADER_STAGE_VERTEX])
        if (FAILED(pDevice->CreateVertexShader(pCode->GetBufferPointer(), pCode->GetBufferSize(), nullptr,
                                               &pProgram->m_pVertexShader)))
            return;
    if (ID3DBlob* pCode = pBlobs[KR_SHADER_STAGE_PIXEL])
        if (FAILED(pDevice->CreatePixelShader(pCode->GetBufferPointer(), pCode->GetBufferSize(), nullptr,
                                              &pProgram->m_pPixelShader)))
            return;
    if (ID3DBlob* pCode = pBlobs[KR_SHADER_STAGE_GEOMETRY])
        if (FAILED(pDevice->CreateGeometryShader(pCode->GetBufferPointer(), pCode->GetBufferSize(), nullptr,
                                                 &pProgram->m_pGeometryShader)))
            return;
    ID3DBlob* pCode = pBlobs[KR_SHADER_STAGE_COMPUTE];
    if (pCode == nullptr ||
        FAILED(pDevice->CreateComputeShader(pCode->GetBufferPointer(), pCode->GetBufferSize(), nullptr,
                                            &pProgram->m_pComputeShader)))
        return;
    ID3D11ShaderReflection* pReflection = nullptr;
    if (SUCCEEDED(D3DReflect(pCode->GetBufferPointer(), pCode->GetBufferSize(), IID_ID3D11ShaderReflection,
                             reinterpret_cast<void**>(&pReflection))) &&
        pReflection != nullptr)
    {
        pReflection->GetThreadGroupSize(&pProgram->m_uiThreadGroupSizeX, &pProgram->m_uiThreadGroupSizeY,
                                        &pProgram->m_uiThreadGroupSizeZ);
    }
    KR_ReleaseAndNull(pReflection);
}
