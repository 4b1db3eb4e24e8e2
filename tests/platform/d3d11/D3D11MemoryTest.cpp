#include "tests/platform/d3d11/D3D11TestFixture.h"
#include "tests/support/FailingAllocation.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <thread>
#include <vector>

namespace
{

class D3D11Memory : public D3D11Fixture
{
protected:
    void SetUp() override
    {
        D3D11Fixture::SetUp();
        CreateDevice();
    }

    ID3D11Texture2D* MakeTexture(UINT uiWidth, UINT uiHeight, DXGI_FORMAT format, D3D11_USAGE usage,
                                 UINT uiCpu, const void* pInitial = nullptr, UINT uiPitch = 0)
    {
        D3D11_TEXTURE2D_DESC desc = TextureDesc(uiWidth, uiHeight, format, 0);
        desc.Usage = usage;
        desc.CPUAccessFlags = uiCpu;
        if (usage == D3D11_USAGE_DEFAULT || usage == D3D11_USAGE_DYNAMIC)
            desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        const D3D11_SUBRESOURCE_DATA init{pInitial, uiPitch, 0};
        ID3D11Texture2D* pTexture = nullptr;
        EXPECT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, pInitial != nullptr ? &init : nullptr, &pTexture));
        return pTexture;
    }

    static std::vector<std::uint8_t> Read(ID3D11Resource* pResource, UINT uiSubresource = 0)
    {
        std::vector<std::uint8_t> vData;
        EXPECT_TRUE(D3D11Control::ReadSubresource(pResource, uiSubresource, &vData));
        return vData;
    }
};

std::vector<std::uint8_t> Ramp(std::size_t uiCount)
{
    std::vector<std::uint8_t> v(uiCount);
    for (std::size_t i = 0; i < uiCount; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return v;
}

} // namespace

TEST_F(D3D11Memory, MapFollowsUsageAndAccessAndMapsOnce)
{
    const std::vector<std::uint8_t> vPixels = Ramp(4 * 4 * 4);
    ID3D11Texture2D* pStaging = MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_STAGING,
                                            D3D11_CPU_ACCESS_READ, vPixels.data(), 16);
    ID3D11Texture2D* pDefault = MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0);
    ID3D11Texture2D* pDynamic =
        MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DYNAMIC, D3D11_CPU_ACCESS_WRITE);

    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(S_OK, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    EXPECT_EQ(16u, mapped.RowPitch);
    EXPECT_EQ(64u, mapped.DepthPitch);
    EXPECT_EQ(0, std::memcmp(mapped.pData, vPixels.data(), vPixels.size()));
    // Mapped once until unmapped; a second map and a copy into it are refused.
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    m_pContext->CopyResource(pStaging, pDefault);
    EXPECT_EQ(E_INVALIDARG, Calls("CopyResource").back().Result);
    m_pContext->Unmap(pStaging, 0);
    EXPECT_EQ(S_OK, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    m_pContext->Unmap(pStaging, 0);

    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pStaging, 0, D3D11_MAP_WRITE, 0, &mapped)); // no write access
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pStaging, 1, D3D11_MAP_READ, 0, &mapped));  // no such subresource
    EXPECT_EQ(nullptr, mapped.pData);
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pDefault, 0, D3D11_MAP_READ, 0, &mapped));
    EXPECT_EQ(E_INVALIDARG, m_pContext->Map(pDynamic, 0, D3D11_MAP_READ, 0, &mapped));
    ASSERT_EQ(S_OK, m_pContext->Map(pDynamic, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped));
    std::memset(mapped.pData, 0xab, 64);
    m_pContext->Unmap(pDynamic, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(64, 0xab), Read(pDynamic));

    D3D11Control::FailNext("Map", E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    Release(pStaging);
    Release(pDefault);
    Release(pDynamic);
}

TEST_F(D3D11Memory, UpdateSubresourceWritesTheBoxWithTheCallersPitch)
{
    ID3D11Texture2D* pTexture = MakeTexture(4, 4, DXGI_FORMAT_R8_UNORM, D3D11_USAGE_DEFAULT, 0);
    // Rows of the source lie 10 bytes apart; only the 2x3 box at (1, 1) changes.
    const std::vector<std::uint8_t> vSource = Ramp(30);
    const D3D11_BOX box{1, 1, 0, 3, 4, 1};
    m_pContext->UpdateSubresource(pTexture, 0, &box, vSource.data(), 10, 0);
    const std::vector<std::uint8_t> vData = Read(pTexture);
    const std::vector<std::uint8_t> vExpected = {0, 0,           0,           0, //
                                                 0, vSource[0],  vSource[1],  0, //
                                                 0, vSource[10], vSource[11], 0, //
                                                 0, vSource[20], vSource[21], 0};
    EXPECT_EQ(vExpected, vData);

    // A box past the edge, a staging target and a pitch shorter than a row are refused.
    const D3D11_BOX outside{3, 0, 0, 5, 1, 1};
    m_pContext->UpdateSubresource(pTexture, 0, &outside, vSource.data(), 10, 0);
    m_pContext->UpdateSubresource(pTexture, 0, nullptr, vSource.data(), 3, 0);
    ID3D11Texture2D* pStaging =
        MakeTexture(4, 4, DXGI_FORMAT_R8_UNORM, D3D11_USAGE_STAGING, D3D11_CPU_ACCESS_READ);
    m_pContext->UpdateSubresource(pStaging, 0, nullptr, vSource.data(), 4, 0);
    std::vector<HRESULT> vResults;
    for (const D3D11Control::CallRecord& record : Calls("UpdateSubresource"))
        vResults.push_back(record.Result);
    EXPECT_EQ((std::vector<HRESULT>{S_OK, E_INVALIDARG, E_INVALIDARG, E_INVALIDARG}), vResults);
    EXPECT_EQ(vExpected, Read(pTexture));
    Release(pTexture);
    Release(pStaging);
}

TEST_F(D3D11Memory, CopiesNeedMatchingShapesAndKeepToBlockEdges)
{
    const std::vector<std::uint8_t> vPixels = Ramp(8 * 8 * 4);
    ID3D11Texture2D* pSource =
        MakeTexture(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0, vPixels.data(), 32);
    ID3D11Texture2D* pStaging =
        MakeTexture(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, D3D11_USAGE_STAGING, D3D11_CPU_ACCESS_READ);
    m_pContext->CopyResource(pStaging, pSource); // same family: allowed
    EXPECT_EQ(vPixels, Read(pStaging));

    ID3D11Texture2D* pSmall = MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0);
    ID3D11Texture2D* pFloat = MakeTexture(8, 8, DXGI_FORMAT_R32_FLOAT, D3D11_USAGE_DEFAULT, 0);
    m_pContext->CopyResource(pSmall, pSource);
    m_pContext->CopyResource(pFloat, pSource);
    EXPECT_EQ(3u, Calls("CopyResource").size());
    EXPECT_EQ(E_INVALIDARG, Calls("CopyResource")[1].Result);
    EXPECT_EQ(E_INVALIDARG, Calls("CopyResource")[2].Result);

    // The 2x2 block at (6, 6) of the source lands at (1, 2) of the small texture.
    const D3D11_BOX box{6, 6, 0, 8, 8, 1};
    m_pContext->CopySubresourceRegion(pSmall, 0, 1, 2, 0, pSource, 0, &box);
    const std::vector<std::uint8_t> vSmall = Read(pSmall);
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 2; ++x)
            EXPECT_EQ(
                0, std::memcmp(&vSmall[(2 + y) * 16 + (1 + x) * 4], &vPixels[(6 + y) * 32 + (6 + x) * 4], 4));
    m_pContext->CopySubresourceRegion(pSmall, 0, 3, 3, 0, pSource, 0, &box); // would pass the edge
    EXPECT_EQ(E_INVALIDARG, Calls("CopySubresourceRegion").back().Result);

    // Block-compressed: boxes start on block edges.
    D3D11_TEXTURE2D_DESC bcDesc = TextureDesc(8, 8, DXGI_FORMAT_BC1_UNORM, D3D11_BIND_SHADER_RESOURCE);
    ID3D11Texture2D* pBc1 = nullptr;
    ID3D11Texture2D* pBc2 = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&bcDesc, nullptr, &pBc1));
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&bcDesc, nullptr, &pBc2));
    const D3D11_BOX aligned{4, 0, 0, 8, 4, 1};
    const D3D11_BOX unaligned{2, 0, 0, 6, 4, 1};
    m_pContext->CopySubresourceRegion(pBc2, 0, 0, 4, 0, pBc1, 0, &aligned);
    EXPECT_EQ(S_OK, Calls("CopySubresourceRegion").back().Result);
    m_pContext->CopySubresourceRegion(pBc2, 0, 0, 4, 0, pBc1, 0, &unaligned);
    EXPECT_EQ(E_INVALIDARG, Calls("CopySubresourceRegion").back().Result);

    for (ID3D11Texture2D* p : {pSource, pStaging, pSmall, pFloat, pBc1, pBc2})
        p->Release();
}

namespace
{

// Every element of the bytes equals the element given.
bool AllElementsAre(const std::vector<std::uint8_t>& vData, const std::vector<std::uint8_t>& vElement)
{
    if (vElement.empty() || vData.size() % vElement.size() != 0)
        return false;
    for (std::size_t i = 0; i < vData.size(); ++i)
        if (vData[i] != vElement[i % vElement.size()])
            return false;
    return true;
}

} // namespace

// Clears record their value: targets made, cleared and copied whole hold no memory until
// something needs their bytes, and every byte read is the one a filled target would give.
TEST_F(D3D11Memory, ClearedTargetsHoldNoMemoryUntilTheirBytesAreNeeded)
{
    D3D11_TEXTURE2D_DESC desc = TextureDesc(64, 32, DXGI_FORMAT_R16G16B16A16_FLOAT,
                                            D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE);
    ID3D11Texture2D* pTarget = nullptr;
    ID3D11Texture2D* pCopy = nullptr;
    ID3D11RenderTargetView* pTargetView = nullptr;
    ASSERT_NO_FATAL_FAILURE(CreateTargetAndCopy(desc, &pTarget, &pCopy, &pTargetView));
    ID3D11Texture2D* pDepth = nullptr;
    ID3D11DepthStencilView* pDepthView = nullptr;
    const D3D11_TEXTURE2D_DESC depthDesc =
        TextureDesc(64, 32, DXGI_FORMAT_D24_UNORM_S8_UINT, D3D11_BIND_DEPTH_STENCIL);
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&depthDesc, nullptr, &pDepth));
    ASSERT_EQ(S_OK, m_pDevice->CreateDepthStencilView(pDepth, nullptr, &pDepthView));
    ID3D11Texture2D* pStaging =
        MakeTexture(64, 32, DXGI_FORMAT_R16G16B16A16_FLOAT, D3D11_USAGE_STAGING, D3D11_CPU_ACCESS_READ);

    const float afColour[4] = {0.5f, -2.0f, 1.0f, 0.0f};
    m_pContext->ClearRenderTargetView(pTargetView, afColour);
    m_pContext->ClearDepthStencilView(pDepthView, D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL, 0.25f, 7);
    m_pContext->ClearDepthStencilView(pDepthView, D3D11_CLEAR_DEPTH, 1.0f, 0);
    m_pContext->CopyResource(pCopy, pTarget);
    m_pContext->CopyResource(pStaging, pCopy);
    for (ID3D11Texture2D* p : {pTarget, pCopy, pDepth, pStaging})
        EXPECT_EQ(0u, D3D11Control::GetResourceMemoryBytes(p));

    // Half floats 0.5, -2, 1, 0; depth 1.0 in the low 24 bits under stencil 7.
    const std::vector<std::uint8_t> vPixel = {0x00, 0x38, 0x00, 0xC0, 0x00, 0x3C, 0x00, 0x00};
    EXPECT_TRUE(AllElementsAre(Read(pCopy), vPixel));
    EXPECT_TRUE(AllElementsAre(Read(pDepth), {0xFF, 0xFF, 0xFF, 0x07}));
    EXPECT_EQ(0u, D3D11Control::GetResourceMemoryBytes(pCopy)); // reading keeps nothing

    // Map hands out real memory.
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(S_OK, m_pContext->Map(pStaging, 0, D3D11_MAP_READ, 0, &mapped));
    EXPECT_EQ(64u * 32u * 8u, D3D11Control::GetResourceMemoryBytes(pStaging));
    const auto* pBytes = static_cast<const std::uint8_t*>(mapped.pData);
    EXPECT_TRUE(AllElementsAre(std::vector<std::uint8_t>(pBytes, pBytes + 64 * 32 * 8), vPixel));
    m_pContext->Unmap(pStaging, 0);

    pTargetView->Release();
    pDepthView->Release();
    for (ID3D11Texture2D* p : {pTarget, pCopy, pDepth, pStaging})
        p->Release();
}

// Partial writes and reads of cleared memory, and copies, resolves and mips made from it, give
// the bytes a filled resource gives.
TEST_F(D3D11Memory, PartialUseOfClearedMemoryGivesTheFilledBytes)
{
    const std::vector<std::uint8_t> vRed = {0xFF, 0x00, 0x00, 0xFF};
    const float afRed[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    D3D11_TEXTURE2D_DESC desc =
        TextureDesc(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE);
    desc.MipLevels = 4;
    desc.MiscFlags = D3D11_RESOURCE_MISC_GENERATE_MIPS;
    ID3D11Texture2D* pTarget = nullptr;
    ID3D11RenderTargetView* pTargetView = nullptr;
    ID3D11ShaderResourceView* pResourceView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, nullptr, &pTarget));
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pTarget, nullptr, &pTargetView));
    ASSERT_EQ(S_OK, m_pDevice->CreateShaderResourceView(pTarget, nullptr, &pResourceView));
    m_pContext->ClearRenderTargetView(pTargetView, afRed);

    // Mips of a cleared level: every level the same colour.
    m_pContext->GenerateMips(pResourceView);
    for (UINT uiMip = 0; uiMip < 4; ++uiMip)
        EXPECT_TRUE(AllElementsAre(Read(pTarget, uiMip), vRed)) << "mip " << uiMip;

    // A box written into the cleared level: the rest keeps the colour.
    const std::vector<std::uint8_t> vRamp = Ramp(2 * 2 * 4);
    const D3D11_BOX box{3, 5, 0, 5, 7, 1};
    m_pContext->UpdateSubresource(pTarget, 0, &box, vRamp.data(), 8, 0);
    const std::vector<std::uint8_t> vLevel = Read(pTarget);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x)
        {
            const bool bInBox = x >= 3 && x < 5 && y >= 5 && y < 7;
            const std::uint8_t* pExpected = bInBox ? &vRamp[(y - 5) * 8 + (x - 3) * 4] : vRed.data();
            EXPECT_EQ(0, std::memcmp(&vLevel[y * 32 + x * 4], pExpected, 4)) << x << ", " << y;
        }

    // A cleared box copied into filled memory lands where it is put, nowhere else.
    const std::vector<std::uint8_t> vPixels = Ramp(8 * 8 * 4);
    ID3D11Texture2D* pFilled =
        MakeTexture(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0, vPixels.data(), 32);
    const D3D11_BOX source{0, 0, 0, 2, 2, 1};
    m_pContext->CopySubresourceRegion(pFilled, 0, 6, 0, 0, pTarget, 0, &source);
    const std::vector<std::uint8_t> vMixed = Read(pFilled);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x)
        {
            const bool bInBox = x >= 6 && y < 2;
            const std::uint8_t* pExpected = bInBox ? vRed.data() : &vPixels[y * 32 + x * 4];
            EXPECT_EQ(0, std::memcmp(&vMixed[y * 32 + x * 4], pExpected, 4)) << x << ", " << y;
        }

    // A resolve of a cleared multisampled target.
    const D3D11_TEXTURE2D_DESC msDesc =
        TextureDesc(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_RENDER_TARGET, 4);
    ID3D11Texture2D* pMultisampled = nullptr;
    ID3D11RenderTargetView* pMsView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&msDesc, nullptr, &pMultisampled));
    ASSERT_EQ(S_OK, m_pDevice->CreateRenderTargetView(pMultisampled, nullptr, &pMsView));
    m_pContext->ClearRenderTargetView(pMsView, afRed);
    ID3D11Texture2D* pResolved = MakeTexture(4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, 0);
    m_pContext->ResolveSubresource(pResolved, 0, pMultisampled, 0, DXGI_FORMAT_R8G8B8A8_UNORM);
    EXPECT_TRUE(AllElementsAre(Read(pResolved), vRed));

    // Words cleared through a raw view, copied from an odd byte: the pattern's phase moves.
    D3D11_BUFFER_DESC bufferDesc{};
    bufferDesc.ByteWidth = 64;
    bufferDesc.Usage = D3D11_USAGE_DEFAULT;
    bufferDesc.BindFlags = D3D11_BIND_UNORDERED_ACCESS;
    bufferDesc.MiscFlags = D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS;
    ID3D11Buffer* pWords = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&bufferDesc, nullptr, &pWords));
    D3D11_UNORDERED_ACCESS_VIEW_DESC uavDesc{};
    uavDesc.Format = DXGI_FORMAT_R32_TYPELESS;
    uavDesc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
    uavDesc.Buffer.NumElements = 16;
    uavDesc.Buffer.Flags = D3D11_BUFFER_UAV_FLAG_RAW;
    ID3D11UnorderedAccessView* pWordsView = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateUnorderedAccessView(pWords, &uavDesc, &pWordsView));
    const UINT auiWord[4] = {0x04030201u, 0, 0, 0};
    m_pContext->ClearUnorderedAccessViewUint(pWordsView, auiWord);
    bufferDesc.ByteWidth = 8;
    bufferDesc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    bufferDesc.MiscFlags = 0;
    ID3D11Buffer* pShifted = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&bufferDesc, nullptr, &pShifted));
    const D3D11_BOX bytes{1, 0, 0, 9, 1, 1};
    m_pContext->CopySubresourceRegion(pShifted, 0, 0, 0, 0, pWords, 0, &bytes);
    EXPECT_EQ((std::vector<std::uint8_t>{2, 3, 4, 1, 2, 3, 4, 1}), Read(pShifted));

    pTargetView->Release();
    pResourceView->Release();
    pMsView->Release();
    pWordsView->Release();
    for (ID3D11Resource* p :
         std::initializer_list<ID3D11Resource*>{pTarget, pFilled, pMultisampled, pResolved, pWords, pShifted})
        p->Release();
}

// A copy whose source bytes cannot be had (their memory request fails) leaves the target as it
// was: its cleared value, and no memory of its own. The source's words are copied from an odd
// byte, so the copy needs the source's bytes; source and target differ in size, so only the
// source's request fails.
TEST_F(D3D11Memory, CopyFromASourceWhoseBytesCannotBeHadLeavesTheTargetAsItWas)
{
    constexpr UINT SOURCE_BYTES = 192; // asked by nothing else the copy allocates
    constexpr UINT TARGET_BYTES = 16;
    const auto makeCleared = [this](UINT uiBytes, UINT uiWord, ID3D11Buffer** ppBuffer)
    {
        D3D11_BUFFER_DESC desc{};
        desc.ByteWidth = uiBytes;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_UNORDERED_ACCESS;
        desc.MiscFlags = D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS;
        ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&desc, nullptr, ppBuffer));
        D3D11_UNORDERED_ACCESS_VIEW_DESC viewDesc{};
        viewDesc.Format = DXGI_FORMAT_R32_TYPELESS;
        viewDesc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
        viewDesc.Buffer.NumElements = uiBytes / 4;
        viewDesc.Buffer.Flags = D3D11_BUFFER_UAV_FLAG_RAW;
        ID3D11UnorderedAccessView* pView = nullptr;
        ASSERT_EQ(S_OK, m_pDevice->CreateUnorderedAccessView(*ppBuffer, &viewDesc, &pView));
        const UINT auiWord[4] = {uiWord, 0, 0, 0};
        m_pContext->ClearUnorderedAccessViewUint(pView, auiWord);
        pView->Release();
    };
    ID3D11Buffer* pSource = nullptr;
    ASSERT_NO_FATAL_FAILURE(makeCleared(SOURCE_BYTES, 0x04030201u, &pSource));

    struct Case
    {
        const char* pName;
        UINT uiDstX;
        D3D11_BOX box;
    };
    const Case aCases[] = {
        {"the whole target", 0, {1, 0, 0, 1 + TARGET_BYTES, 1, 1}},
        {"part of the target", 4, {1, 0, 0, 9, 1, 1}},
    };
    for (const Case& test : aCases)
    {
        SCOPED_TRACE(test.pName);
        ID3D11Buffer* pTarget = nullptr;
        ASSERT_NO_FATAL_FAILURE(makeCleared(TARGET_BYTES, 0xC3B2A190u, &pTarget));
        {
            FailingAllocation failing(SOURCE_BYTES);
            m_pContext->CopySubresourceRegion(pTarget, 0, test.uiDstX, 0, 0, pSource, 0, &test.box);
            EXPECT_GT(failing.GetFailures(), 0u);
        }
        EXPECT_EQ(S_OK, Calls("CopySubresourceRegion").back().Result);
        EXPECT_EQ(0u, D3D11Control::GetResourceMemoryBytes(pTarget));
        EXPECT_EQ(0u, D3D11Control::GetResourceMemoryBytes(pSource));
        EXPECT_TRUE(AllElementsAre(Read(pTarget), {0x90, 0xA1, 0xB2, 0xC3}));
        pTarget->Release();
    }
    pSource->Release();
}

// Reading a cleared target from several threads while the context copies it whole and a
// partial copy makes its bytes real: every reader sees the cleared bytes.
TEST_F(D3D11Memory, ClearedMemoryReadsFromManyThreadsWhileTheContextUsesIt)
{
    const D3D11_TEXTURE2D_DESC desc = TextureDesc(64, 64, DXGI_FORMAT_R8G8B8A8_UNORM,
                                                  D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE);
    ID3D11Texture2D* pTarget = nullptr;
    ID3D11Texture2D* pCopy = nullptr;
    ID3D11RenderTargetView* pView = nullptr;
    ASSERT_NO_FATAL_FAILURE(CreateTargetAndCopy(desc, &pTarget, &pCopy, &pView));
    const float afRed[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    m_pContext->ClearRenderTargetView(pView, afRed);

    constexpr int THREADS = 4;
    std::atomic<int> iWrong{0};
    std::vector<std::thread> vReaders;
    for (int t = 0; t < THREADS; ++t)
    {
        vReaders.emplace_back(
            [&]
            {
                for (int i = 0; i < 50; ++i)
                {
                    std::vector<std::uint8_t> vData;
                    if (!D3D11Control::ReadSubresource(pTarget, 0, &vData) ||
                        !AllElementsAre(vData, {0xFF, 0x00, 0x00, 0xFF}))
                        ++iWrong;
                    D3D11Control::GetResourceMemoryBytes(pTarget);
                }
            });
    }
    const D3D11_BOX box{0, 0, 0, 8, 8, 1};
    for (int i = 0; i < 50; ++i)
    {
        m_pContext->CopyResource(pCopy, pTarget);
        m_pContext->CopySubresourceRegion(pTarget, 0, 8, 8, 0, pCopy, 0, &box); // same bytes
    }
    for (std::thread& reader : vReaders)
        reader.join();
    EXPECT_EQ(0, iWrong.load());
    pView->Release();
    pTarget->Release();
    pCopy->Release();
}
