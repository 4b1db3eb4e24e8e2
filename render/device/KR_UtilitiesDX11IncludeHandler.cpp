#include "render/device/KR_UtilitiesDX11IncludeHandler.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3dcompiler/D3DCompilerLimits.h"

#include <cstdint>

KR_UtilitiesDX11IncludeHandler::KR_UtilitiesDX11IncludeHandler(const KB_String& sBaseDirectory)
    : m_sBaseDirectory(sBaseDirectory)
{
}

KR_UtilitiesDX11IncludeHandler::~KR_UtilitiesDX11IncludeHandler()
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFiles == nullptr)
        return;
    for (const auto& entry : m_mapOpenFiles)
        pFiles->RemoveReference(entry.second);
}

HRESULT KR_UtilitiesDX11IncludeHandler::Open(D3D_INCLUDE_TYPE, LPCSTR pFileName, LPCVOID, LPCVOID* ppData,
                                             UINT* pBytes)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (pFileName == nullptr || ppData == nullptr || pBytes == nullptr || pFiles == nullptr)
        return E_FAIL;
    const KB_String sPath = m_sBaseDirectory + pFileName;
    // A file larger than the compiler takes is refused by its size, unread, when a repository
    // can tell it; one that could not be sized, or grew meanwhile, by what was read.
    constexpr std::uint64_t uiLimit = D3DCompilerLimits::MAX_INCLUDED_BYTES;
    std::uint64_t uiSize = 0;
    if (pFiles->GetFileSize(sPath, &uiSize) && uiSize > uiLimit)
        return E_FAIL;
    std::uint8_t* pData = nullptr;
    if (!pFiles->ReadFile(sPath, &uiSize, &pData))
        return E_FAIL;
    if (uiSize > uiLimit)
    {
        pFiles->RemoveReference(sPath);
        return E_FAIL;
    }
    m_mapOpenFiles.emplace(pData, sPath);
    *ppData = pData;
    *pBytes = static_cast<UINT>(uiSize);
    return S_OK;
}

HRESULT KR_UtilitiesDX11IncludeHandler::Close(LPCVOID pData)
{
    auto it = m_mapOpenFiles.find(pData);
    if (it == m_mapOpenFiles.end())
        return S_OK;
    const KB_String sPath = it->second;
    m_mapOpenFiles.erase(it);
    if (KF_FileManager* pFiles = KE_GetFileManager())
        pFiles->RemoveReference(sPath);
    return S_OK;
}
