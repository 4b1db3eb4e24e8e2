#include "render/device/KR_GraphicsResourceManagerDX11.h"

#include "framework/threads/KT_ThreadPool.h"
#include "platform/d3dx11/D3DX11Control.h"
#include "render/device/KR_ManagedShaderResourceViewDX11.h"
#include "render/device/KR_Texture3DBuilder.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "tests/render/device/LoadingTestHelpers.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using loadingtest::FakeModel;

namespace
{

KB_String Name(const char* pStem, int i, const char* pExtension)
{
    return KB_String::Formatted("%s%d%s", pStem, i, pExtension);
}

class KR_GraphicsResourceManagerLoadingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        D3DX11Control::Reset();
        m_files.Install();
        m_pRepository->SetFile(KR_GraphicsResourceManagerDX11::PLACEHOLDER_TEXTURE, Image(2, 2));
        loadingtest::RegisterFakes();
        KT_ThreadPool::Start(2);
    }
    void TearDown() override
    {
        m_pManager.reset();
        KT_ThreadPool::Stop();
        KR_ModelImporters::Clear();
        EXPECT_EQ(0u, m_pRepository->GetNumLoadedFiles());
        m_engine->SetFileManager(nullptr);
    }

    KR_GraphicsResourceManagerDX11* Manager()
    {
        if (m_pManager == nullptr)
            m_pManager = std::make_unique<KR_GraphicsResourceManagerDX11>();
        return m_pManager.get();
    }
    ID3D11ShaderResourceView* View(const char* pPath)
    {
        return Manager()->GetShaderResourceViewFromFile(pPath)->GetShaderResourceView();
    }
    // Polls as the scene manager does, once per frame, until loading has finished (or a few
    // seconds have passed, which fails the test).
    bool Finish()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!Manager()->FinishLoading())
        {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::yield();
        }
        return true;
    }
    // A proxy of a file that never loads shows the placeholder.
    ID3D11ShaderResourceView* Placeholder() { return View("Never/There.png"); }

    std::string Image(UINT uiWidth, UINT uiHeight, std::uint32_t uiShade = 0xFF336699u)
    {
        return loadingtest::SavedImage(m_device.GetDevice(), m_device.GetImmediateContext(), uiWidth,
                                       uiHeight, [uiShade](UINT, UINT) { return uiShade; });
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device{m_engine};
    MemoryFiles m_files{true};
    MemoryRepository* m_pRepository = m_files.GetRepository();
    std::unique_ptr<KR_GraphicsResourceManagerDX11> m_pManager;
};

} // namespace

TEST_F(KR_GraphicsResourceManagerLoadingTest, OnePathGivesOneProxyOneJobAndItsBytesOnce)
{
    m_pRepository->SetFile("a.png", Image(4, 4));
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    ID3D11ShaderResourceView* pPlaceholder = Placeholder();
    const std::uint64_t uiDecodes = D3DX11Control::GetDecodeCount();
    EXPECT_EQ(nullptr, pManager->GetShaderResourceViewFromFile(""));
    KR_ManagedShaderResourceView* pFirst = pManager->GetShaderResourceViewFromFile("a.png");
    EXPECT_EQ(pFirst, pManager->GetShaderResourceViewFromFile("a.png"));
    EXPECT_EQ(pFirst, pManager->GetTexture3DShaderResourceViewFromFile("a.png", 2, 2)); // first one wins

    EXPECT_EQ(0.0f, pManager->GetLoadingProgress());
    EXPECT_FALSE(pManager->FinishLoading()); // no loading phase yet
    pManager->BeginLoadingPhase();
    // Counted twice, the totals would never meet.
    EXPECT_TRUE(Finish());
    EXPECT_EQ(1.0f, pManager->GetLoadingProgress());
    EXPECT_EQ(uiDecodes + 1, D3DX11Control::GetDecodeCount());
    EXPECT_NE(pPlaceholder, pFirst->GetShaderResourceView());
    pManager->ProcessQueuedTexture3D(); // nothing was queued
    EXPECT_EQ(uiDecodes + 1, D3DX11Control::GetDecodeCount());
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, ProgressWaitsForThePhaseAndBrokenFilesStillComplete)
{
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    EXPECT_EQ(0.0f, pManager->GetLoadingProgress()); // nothing to load, but no phase either
    pManager->BeginLoadingPhase();
    EXPECT_EQ(1.0f, pManager->GetLoadingProgress());
    EXPECT_TRUE(pManager->FinishLoading());

    m_pRepository->SetFile("broken.png", "not an image at all");
    KR_ManagedShaderResourceView* pBroken = pManager->GetShaderResourceViewFromFile("broken.png");
    KR_ManagedShaderResourceView* pMissing = pManager->GetShaderResourceViewFromFile("missing.png");
    EXPECT_TRUE(Finish());
    EXPECT_EQ(1.0f, pManager->GetLoadingProgress());
    EXPECT_NE(nullptr, pBroken->GetShaderResourceView());
    EXPECT_EQ(Placeholder(), pBroken->GetShaderResourceView());
    EXPECT_EQ(Placeholder(), pMissing->GetShaderResourceView());
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, PlaceholdersFallBackWhenTheirFilesCannotLoad)
{
    m_pRepository->SetFile(KR_GraphicsResourceManagerDX11::PLACEHOLDER_TEXTURE, "damaged");
    KR_ModelImporters::Clear(); // the placeholder model cannot be imported
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    ID3D11ShaderResourceView* pView = Placeholder();
    ASSERT_NE(nullptr, pView);
    ID3D11Resource* pResource = nullptr;
    pView->GetResource(&pResource);
    D3D11_TEXTURE2D_DESC desc{};
    static_cast<ID3D11Texture2D*>(pResource)->GetDesc(&desc);
    pResource->Release();
    EXPECT_EQ(1u, desc.Width);
    EXPECT_EQ(1u, desc.Height);

    KR_ManagedModelResourceDX11* pEarly = pManager->GetModelResource("early.obj", 1, 1, 0);
    pManager->LoadDefaultResources();
    KR_ManagedModelResourceDX11* pLate = pManager->GetModelResource("late.xyz", 1, 1, 0);
    for (KR_ManagedModelResourceDX11* pModel : {pEarly, pLate})
    {
        ASSERT_NE(nullptr, pModel->GetModelResource());
        EXPECT_NE(nullptr, pModel->GetBoundingBox());
        EXPECT_EQ(0u, pModel->GetTriangleCount());
        EXPECT_EQ(std::numeric_limits<double>::max(), pModel->GetStartTime());
    }

    // With an importer the placeholder model loads, and new proxies start on it.
    loadingtest::RegisterFakes();
    m_pRepository->SetFile(KR_GraphicsResourceManagerDX11::PLACEHOLDER_MODEL, "<COLLADA/>");
    pManager->LoadDefaultResources();
    EXPECT_EQ(FakeModel::FROM_DAE, pManager->GetModelResource("other.xyz", 1, 1, 0)->GetTriangleCount());
    EXPECT_EQ(0u, pLate->GetTriangleCount());
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, ModelsLoadByExtensionAndUnknownOnesKeepThePlaceholder)
{
    m_pRepository->SetFile("Assets/MODEL.OBJ", "v 1 2 3\n");
    m_pRepository->SetFile("Assets/thing.xyz", "????");
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    KR_ManagedModelResourceDX11* pObj = pManager->GetModelResource("Assets/MODEL.OBJ", 1, 1, 0);
    EXPECT_EQ(pObj, pManager->GetModelResource("Assets/MODEL.OBJ", 1, 1, 0));
    KR_ManagedModelResourceDX11* pOtherFlags = pManager->GetModelResource("Assets/MODEL.OBJ", 1, 1, 1);
    EXPECT_NE(pObj, pOtherFlags);
    KR_ManagedModelResourceDX11* pUnknown = pManager->GetModelResource("Assets/thing.xyz", 1, 1, 0);
    pManager->BeginLoadingPhase();
    EXPECT_TRUE(Finish());
    // The two loads of one file run on workers in either order: the first to finish imports the
    // OBJ and writes its cache, which the other may read.
    const std::uint32_t uiObj = pObj->GetTriangleCount(), uiOther = pOtherFlags->GetTriangleCount();
    EXPECT_TRUE(uiObj == FakeModel::FROM_OBJ || uiOther == FakeModel::FROM_OBJ) << uiObj << " " << uiOther;
    EXPECT_TRUE(uiObj == FakeModel::FROM_OBJ || uiObj == FakeModel::FROM_CACHE) << uiObj;
    EXPECT_TRUE(uiOther == FakeModel::FROM_OBJ || uiOther == FakeModel::FROM_CACHE) << uiOther;
    EXPECT_EQ(0u, pUnknown->GetTriangleCount());
    EXPECT_EQ(28u, m_pRepository->GetFileContents("Assets/MODEL.OBJ.bin").size());
    EXPECT_FALSE(m_pRepository->HasFile("Assets/thing.xyz.bin"));
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, ColourCubesAreBuiltOnePerCallInTheOrderACB)
{
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    const char* apPaths[] = {"A.png", "B.png", "C.png"};
    KR_ManagedShaderResourceView* apProxies[3] = {};
    for (int i = 0; i < 3; ++i)
    {
        m_pRepository->SetFile(apPaths[i], Image(8, 2));
        apProxies[i] = pManager->GetTexture3DShaderResourceViewFromFile(apPaths[i], 4, 1);
    }
    pManager->BeginLoadingPhase();
    const auto loaded = [&]()
    {
        std::string sLoaded;
        for (int i = 0; i < 3; ++i)
            sLoaded += apProxies[i]->GetShaderResourceView() != Placeholder() ? apPaths[i][0] : '.';
        return sLoaded;
    };
    ASSERT_TRUE(Placeholder() != nullptr);
    EXPECT_FALSE(pManager->FinishLoading());
    const char* apExpected[] = {"A..", "A.C", "ABC", "ABC"};
    for (const char* pExpected : apExpected)
    {
        pManager->ProcessQueuedTexture3D();
        EXPECT_EQ(pExpected, loaded());
    }
    EXPECT_TRUE(Finish());
    // A refused build keeps the placeholder and still counts its bytes.
    m_pRepository->SetFile("Zero.png", Image(8, 2));
    KR_ManagedShaderResourceView* pZeroTiles =
        pManager->GetTexture3DShaderResourceViewFromFile("Zero.png", 0, 1);
    EXPECT_FALSE(pManager->FinishLoading());
    pManager->ProcessQueuedTexture3D();
    EXPECT_EQ(Placeholder(), pZeroTiles->GetShaderResourceView());
    EXPECT_TRUE(Finish());
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, StripOfTilesBecomesACubeWhoseSliceZIsTheZthSquare)
{
    const auto texel = [](UINT x, UINT y) { return 0xFF000000u | (x % 32) << 16 | y << 8 | x / 32; };
    m_pRepository->SetFile(
        "Grade.png",
        loadingtest::SavedImage(m_device.GetDevice(), m_device.GetImmediateContext(), 1024, 32, texel));
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    KR_ManagedShaderResourceView* pCube =
        pManager->GetTexture3DShaderResourceViewFromFile("Grade.png", 32, 1);
    pManager->BeginLoadingPhase();
    pManager->ProcessQueuedTexture3D();
    EXPECT_TRUE(Finish());
    ID3D11Resource* pResource = nullptr;
    pCube->GetShaderResourceView()->GetResource(&pResource);
    D3D11_TEXTURE3D_DESC desc{};
    static_cast<ID3D11Texture3D*>(pResource)->GetDesc(&desc);
    EXPECT_EQ(32u, desc.Width);
    EXPECT_EQ(32u, desc.Height);
    EXPECT_EQ(32u, desc.Depth);
    std::vector<std::uint8_t> vData;
    UINT uiRowPitch = 0, uiDepthPitch = 0;
    ASSERT_TRUE(D3D11Control::ReadSubresource(pResource, 0, &vData, &uiRowPitch, &uiDepthPitch));
    pResource->Release();
    std::uint32_t uiWrong = 0;
    for (UINT z = 0; z < 32; ++z)
        for (UINT v = 0; v < 32; ++v)
            for (UINT u = 0; u < 32; ++u)
            {
                std::uint32_t uiTexel = 0;
                std::memcpy(&uiTexel, &vData[z * uiDepthPitch + v * uiRowPitch + u * 4], 4);
                uiWrong += uiTexel != texel(z * 32 + u, v);
            }
    EXPECT_EQ(0u, uiWrong);
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, CubeBuilderRefusesBadTilingsAndFormats)
{
    ID3D11Device* pDevice = m_device.GetDevice();
    ID3D11DeviceContext* pContext = m_device.GetImmediateContext();
    const std::string sImage = Image(8, 4);
    const auto build = [&](const std::string& sBytes, std::uint32_t a, std::uint32_t b)
    {
        ID3D11ShaderResourceView* pView = KR_Texture3DBuilder::Create(
            pDevice, pContext, reinterpret_cast<const std::uint8_t*>(sBytes.data()), sBytes.size(), a, b);
        const bool bMade = pView != nullptr;
        if (bMade)
            pView->Release();
        return bMade;
    };
    EXPECT_TRUE(build(sImage, 2, 2));
    EXPECT_FALSE(build(sImage, 0, 1));
    EXPECT_FALSE(build(sImage, 1, 0));
    EXPECT_FALSE(build(sImage, 9, 1)); // narrower than its tiling
    EXPECT_FALSE(build(sImage, 1, 5));
    EXPECT_FALSE(build("garbage", 1, 1));
    const std::string sCompressed = loadingtest::SavedImage(
        pDevice, pContext, 8, 4, [](UINT, UINT) { return 0u; }, D3DX11_IFF_DDS, DXGI_FORMAT_BC1_UNORM);
    D3DX11_IMAGE_INFO info{};
    ASSERT_EQ(S_OK,
              D3DX11GetImageInfoFromMemory(sCompressed.data(), sCompressed.size(), nullptr, &info, nullptr));
    EXPECT_EQ(DXGI_FORMAT_BC1_UNORM, info.Format); // decodable, but not cut into tiles
    EXPECT_FALSE(build(sCompressed, 2, 1));
    EXPECT_EQ(0u, KR_Texture3DBuilder::GetBytesPerPixel(DXGI_FORMAT_R1_UNORM));
    EXPECT_EQ(0u, KR_Texture3DBuilder::GetBytesPerPixel(DXGI_FORMAT_R8G8_B8G8_UNORM));
}

// A job of a missing file adds no bytes, so the totals already match while it still runs on a
// worker, about to take the progress lock. Loading must finish all the same.
TEST_F(KR_GraphicsResourceManagerLoadingTest, FinishLoadingReturnsWhileAJobOfAnEmptyFileStillRuns)
{
    struct Gate
    {
        std::atomic<bool> bEntered{false}, bReleased{false};
        std::atomic<std::thread::id> jobThread{};
    } gate;
    KT_ThreadPool::Start(1);
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    KR_GraphicsResourceManagerDX11::LoadingHooks hooks;
    hooks.pContext = &gate;
    hooks.pJobEnding = [](void* p)
    {
        auto* pGate = static_cast<Gate*>(p);
        pGate->jobThread = std::this_thread::get_id();
        pGate->bEntered = true;
        while (!pGate->bReleased)
            std::this_thread::yield();
    };
    hooks.pBeforeWaiting = [](void* p) { static_cast<Gate*>(p)->bReleased = true; };
    pManager->SetLoadingHooks(hooks);
    pManager->GetShaderResourceViewFromFile("missing.png");
    while (!gate.bEntered)
        std::this_thread::yield();
    pManager->BeginLoadingPhase();
    EXPECT_TRUE(pManager->FinishLoading());
    EXPECT_NE(std::this_thread::get_id(), gate.jobThread.load());
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, ConcurrentRequestsAndDrawsWhileWorkersLoad)
{
    KT_ThreadPool::Start(3);
    for (int i = 0; i < 12; ++i)
    {
        // Appended rather than literal + string: GCC 12 at -O3 misreads the latter as overlapping.
        const std::string sNumber = std::to_string(i);
        std::string sTexture = "t";
        sTexture += sNumber;
        sTexture += ".png";
        std::string sModel = "m";
        sModel += sNumber;
        sModel += ".obj";
        std::string sContents = "o ";
        sContents += sNumber;
        m_pRepository->SetFile(sTexture, Image(4, 4, 0xFF000000u + i));
        m_pRepository->SetFile(sModel, sContents);
    }
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    const ID3D11ShaderResourceView* pPlaceholder = Placeholder();
    std::vector<KR_ManagedShaderResourceView*> vViews[2];
    std::vector<KR_ManagedModelResourceDX11*> vModels[2];
    std::atomic<bool> bDone{false};
    std::thread reader(
        [&]()
        {
            // The main thread's draws: every proxy read while jobs swap them.
            while (!bDone)
                for (int i = 0; i < 12; ++i)
                    pManager->GetModelResource(Name("m", i, ".obj"), 1, 1, 0)->GetTriangleCount();
        });
    std::thread requesters[2];
    for (int t = 0; t < 2; ++t)
        requesters[t] = std::thread(
            [&, t]()
            {
                for (int i = 0; i < 12; ++i)
                {
                    vViews[t].push_back(pManager->GetShaderResourceViewFromFile(Name("t", i, ".png")));
                    vModels[t].push_back(pManager->GetModelResource(Name("m", i, ".obj"), 1, 1, 0));
                }
            });
    for (std::thread& requester : requesters)
        requester.join();
    pManager->BeginLoadingPhase();
    EXPECT_TRUE(Finish());
    bDone = true;
    reader.join();
    EXPECT_EQ(vViews[0], vViews[1]);
    EXPECT_EQ(vModels[0], vModels[1]);
    for (int i = 0; i < 12; ++i)
    {
        EXPECT_NE(pPlaceholder, vViews[0][i]->GetShaderResourceView());
        EXPECT_EQ(FakeModel::FROM_OBJ, vModels[0][i]->GetTriangleCount());
    }
    EXPECT_EQ(12u, loadingtest::g_uiImports.load());
}

TEST_F(KR_GraphicsResourceManagerLoadingTest, ProxiesSwapWithoutEverHoldingNull)
{
    KR_GraphicsResourceManagerDX11* pManager = Manager();
    ID3D11ShaderResourceView* pPlaceholder = Placeholder();
    const ULONG uiPlaceholderRefs = D3D11Control::GetRefCount(pPlaceholder);
    {
        KR_ManagedShaderResourceViewDX11 proxy(pPlaceholder);
        EXPECT_EQ(uiPlaceholderRefs + 1, D3D11Control::GetRefCount(pPlaceholder));
        proxy.SetShaderResourceView(nullptr);
        EXPECT_EQ(pPlaceholder, proxy.GetShaderResourceView());
        const std::string sImage = Image(2, 2);
        ID3D11ShaderResourceView* pOther = KR_Texture3DBuilder::Create(
            m_device.GetDevice(), m_device.GetImmediateContext(),
            reinterpret_cast<const std::uint8_t*>(sImage.data()), sImage.size(), 1, 1);
        ASSERT_NE(nullptr, pOther);
        proxy.SetShaderResourceView(pOther);
        EXPECT_EQ(pOther, proxy.GetShaderResourceView());
        EXPECT_EQ(2u, D3D11Control::GetRefCount(pOther));
        EXPECT_EQ(uiPlaceholderRefs, D3D11Control::GetRefCount(pPlaceholder));
        pOther->Release();
    }
    FakeModel first(FakeModel::FROM_OBJ, 0), second(FakeModel::FROM_DAE, 0);
    auto pModelProxy = std::make_unique<KR_ManagedModelResourceDX11>(&first);
    pModelProxy->SetModelResource(nullptr);
    EXPECT_EQ(FakeModel::FROM_OBJ, pModelProxy->GetTriangleCount());
    pModelProxy->SetModelResource(&second);
    EXPECT_EQ(FakeModel::FROM_DAE, pModelProxy->GetTriangleCount());
    pModelProxy.reset(); // both models stay alive
    EXPECT_EQ(FakeModel::FROM_OBJ, first.GetTriangleCount());

    // A manager destroyed with jobs pending lets them skip their work and leaks nothing.
    KT_ThreadPool::Stop();
    m_pRepository->SetFile("late.obj", "o");
    pManager->GetModelResource("late.obj", 1, 1, 0);
    pManager->GetShaderResourceViewFromFile("late.png");
    m_pManager.reset();
    EXPECT_EQ(0u, loadingtest::g_uiImports.load());
}
