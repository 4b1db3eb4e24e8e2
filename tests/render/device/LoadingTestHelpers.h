#pragma once
// Shared pieces of the asynchronous loading tests: fake models with a byte form of a chosen size,
// fake importers and a fake cache reader registered through KR_ModelImporters, and images saved
// by the D3DX11 stand-in.

#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3dx11/d3dx11.h"
#include "render/models/KR_EmptyModelResource.h"
#include "render/models/KR_ModelCacheHeader.h"
#include "render/models/KR_ModelImporters.h"
#include "tests/support/TestTempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace loadingtest
{

// A model that tells where it came from by its triangle count; its record is uiPayload bytes 'M'.
class FakeModel : public KR_EmptyModelResource
{
public:
    static constexpr std::uint32_t FROM_OBJ = 1, FROM_DAE = 2, FROM_CACHE = 3;

    FakeModel(std::uint32_t uiOrigin, std::uint64_t uiPayload) : m_uiOrigin(uiOrigin), m_uiPayload(uiPayload)
    {
    }
    std::uint32_t GetTriangleCount() override { return m_uiOrigin; }
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override
    {
        if (*pWritten > uiCapacity || uiCapacity - *pWritten < m_uiPayload)
            return false;
        std::memset(*ppCursor, 'M', m_uiPayload);
        *ppCursor += m_uiPayload;
        *pWritten += m_uiPayload;
        return true;
    }

    std::uint32_t m_uiOrigin;
    std::uint64_t m_uiPayload;
};

inline std::atomic<std::uint64_t> g_uiPayload{8};
inline std::atomic<std::uint32_t> g_uiImports{0};
inline std::atomic<std::uint32_t> g_uiCacheReads{0};

inline KR_ModelResource* ImportObj(const KB_String&, std::uint8_t, std::uint8_t, std::uint8_t)
{
    ++g_uiImports;
    return new FakeModel(FakeModel::FROM_OBJ, g_uiPayload);
}

inline KR_ModelResource* ImportDae(const KB_String&, std::uint8_t, std::uint8_t, std::uint8_t)
{
    ++g_uiImports;
    return new FakeModel(FakeModel::FROM_DAE, g_uiPayload);
}

// Like the real reader: reads the file, needs version 3, releases its reference either way.
inline KR_ModelResource* ReadCache(const KB_String& sCachePath)
{
    ++g_uiCacheReads;
    KF_FileManager* pFiles = KE_ApplicationManager::GetInstance()->GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->ReadFile(sCachePath, &uiSize, &pData))
        return nullptr;
    KR_ModelCacheHeader header;
    const bool bOk = header.Read(pData, uiSize) && header.m_uiVersion == KR_ModelCacheHeader::VERSION;
    pFiles->RemoveReference(sCachePath);
    return bOk ? new FakeModel(FakeModel::FROM_CACHE, 0) : nullptr;
}

inline void RegisterFakes()
{
    KR_ModelImporters::Clear();
    KR_ModelImporters::RegisterImporter("obj", &ImportObj);
    KR_ModelImporters::RegisterImporter("DAE", &ImportDae);
    KR_ModelImporters::SetCacheReader(&ReadCache);
    g_uiPayload = 8;
    g_uiImports = 0;
    g_uiCacheReads = 0;
}

// The 20-byte header followed by nothing.
inline std::string CacheHeader(std::uint32_t uiVersion, std::uint64_t uiTime, std::uint64_t uiHash)
{
    KR_ModelCacheHeader header;
    header.m_uiVersion = uiVersion;
    header.m_uiSourceTime = uiTime;
    header.m_uiSourceHash = uiHash;
    std::string sBytes(KR_ModelCacheHeader::SIZE, '\0');
    auto* pCursor = reinterpret_cast<std::uint8_t*>(sBytes.data());
    std::uint64_t uiWritten = 0;
    EXPECT_TRUE(header.Write(&pCursor, sBytes.size(), &uiWritten));
    return sBytes;
}

// An R8G8B8A8 image saved as PNG (or DDS) by the stand-in; texel(x, y) gives each pixel.
inline std::string SavedImage(ID3D11Device* pDevice, ID3D11DeviceContext* pContext, UINT uiWidth,
                              UINT uiHeight, const std::function<std::uint32_t(UINT, UINT)>& texel,
                              D3DX11_IMAGE_FILE_FORMAT format = D3DX11_IFF_PNG,
                              DXGI_FORMAT dxgiFormat = DXGI_FORMAT_R8G8B8A8_UNORM)
{
    std::vector<std::uint32_t> vPixels(std::size_t{uiWidth} * uiHeight);
    for (UINT y = 0; y < uiHeight; ++y)
        for (UINT x = 0; x < uiWidth; ++x)
            vPixels[std::size_t{y} * uiWidth + x] = texel(x, y);
    const D3D11_TEXTURE2D_DESC desc{uiWidth, uiHeight, 1, 1, dxgiFormat, {1, 0}, D3D11_USAGE_DEFAULT,
                                    0,       0,        0};
    const bool bCompressed = dxgiFormat != DXGI_FORMAT_R8G8B8A8_UNORM;
    const D3D11_SUBRESOURCE_DATA init{vPixels.data(), bCompressed ? (uiWidth / 4) * 8 : uiWidth * 4, 0};
    ID3D11Texture2D* pTexture = nullptr;
    EXPECT_EQ(S_OK, pDevice->CreateTexture2D(&desc, &init, &pTexture));
    TestTempDir temp;
    const std::string sPath = temp.Join("image");
    EXPECT_EQ(S_OK, D3DX11SaveTextureToFileA(pContext, pTexture, format, sPath.c_str()));
    pTexture->Release();
    std::ifstream file(sPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace loadingtest
