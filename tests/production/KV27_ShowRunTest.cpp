#include "framework/app/KE_ApplicationManager.h"
#include "framework/threads/KT_ThreadPool.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/effects11/Effects11Control.h"
#include "platform/fmod/FmodControl.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Win32SystemControl.h"
#include "production/KV27_Program.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ManagedShaderResourceView.h"
#include "render/device/KR_MaterialManager.h"
#include "render/models/KR_ManagedModelResourceDX11.h"
#include "render/scene/KR_Scene.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/PackedShowSuite.h"
#include "tests/support/SaveFailureLines.h"
#include "tests/support/ShowStandIns.h"
#include "tests/support/TestTempDir.h"
#include "tools/KG_InterpolationEditorDialogManager.h"
#include "tools/KG_ManagedFacade.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace
{

// Clock milliseconds per presented frame: the show in about 550 frames.
constexpr long FRAME_STEP_MS = 100;
// Every this many playback frames the effect chain is read.
constexpr std::uint32_t CHAIN_SAMPLE = 8;
// A small back buffer keeps the software device's clears and copies cheap.
constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;

// What one run of the program left behind, as seen from the stand-ins after every present.
struct ShowRecord
{
    int iExitCode = -1;
    std::vector<std::string> gSceneOrder;                              // each scene as it became current
    std::vector<std::vector<std::vector<std::uint32_t>>> gSceneChains; // per scene: its distinct chains
    std::vector<std::string> gPlaybackFrames; // each playback frame's calls, no object ids
    std::vector<std::string> gOrderFaults;    // playback frames out of the frame's order
    std::uint64_t uiQuitQuestions = 0;
    double fTimelineSeconds = 0.0;
    std::vector<std::size_t> gLiveObjects;  // stand-in objects alive after each playback frame
    double fSpeed = 0.0;                    // timeline seconds per clock second
    bool bStartedOnLoadedResources = false; // see StartedOnLoadedResources
};

// At the hand-over every load has finished, and the material library and both placeholders came
// from the archive: a file that does not exist starts on the placeholders, which are then the
// archive's 16 x 16 texture and 12-triangle cube, not the built-in grey texel and empty model.
bool StartedOnLoadedResources(KE_ApplicationManager* pEngine)
{
    KR_GraphicsResourceManager* pResources = pEngine->GetGraphicsResourceManager();
    KR_MaterialManager* pMaterials = pEngine->GetMaterialManager();
    if (pResources == nullptr || pMaterials == nullptr || !pResources->FinishLoading())
        return false;
    if (pMaterials->GetMaterial(KB_String("DefaultMaterial")) == nullptr)
        return false;
    KR_ManagedShaderResourceView* pTexture =
        pResources->GetShaderResourceViewFromFile(KB_String("Assets/Textures/Dev/NotInTheArchive.png"));
    ID3D11ShaderResourceView* pView = pTexture != nullptr ? pTexture->GetShaderResourceView() : nullptr;
    if (pView == nullptr)
        return false;
    ID3D11Resource* pResource = nullptr;
    pView->GetResource(&pResource);
    D3D11_TEXTURE2D_DESC desc{};
    static_cast<ID3D11Texture2D*>(pResource)->GetDesc(&desc);
    pResource->Release();
    KR_ManagedModelResourceDX11* pModel =
        pResources->GetModelResource(KB_String("Assets/Models/Dev/NotInTheArchive.dae"), 1, 1, 0);
    return desc.Width == 16 && desc.Height == 16 && pModel != nullptr && pModel->GetTriangleCount() == 12;
}

// The post-processing effect each technique belongs to, by the one technique only that effect
// applies; the ids are the production's (bloom 0, depth of field 1, colour offsets 2, colour
// cubes 4, volume lighting 5, dirty lens 8).
int EffectOfTechnique(const std::string& sTechnique)
{
    static const std::pair<const char*, int> MARKS[] = {{"ComposeBloom", 0},   {"ComposeDepthOfField", 1},
                                                        {"ColorOffsets", 2},   {"ColorCubes", 4},
                                                        {"VolumeLighting", 5}, {"DirtyLens", 8}};
    for (const auto& mark : MARKS)
        if (sTechnique == mark.first)
            return mark.second;
    return -1;
}

// The effects that ran in the frame, in order: each effect once, at its first marking pass.
std::vector<std::uint32_t> TakeFrameChain()
{
    std::vector<std::uint32_t> gChain;
    for (const Effects11Control::ApplyRecord& apply : Effects11Control::GetApplyLog())
    {
        const int iEffect = EffectOfTechnique(apply.TechniqueName);
        if (iEffect >= 0 &&
            std::find(gChain.begin(), gChain.end(), static_cast<std::uint32_t>(iEffect)) == gChain.end())
            gChain.push_back(static_cast<std::uint32_t>(iEffect));
    }
    Effects11Control::ClearApplyLog();
    return gChain;
}

// The frame's calls by name and numeric arguments (their bytes). Object ids are left out: the
// load job makes objects on a worker while loading frames make theirs, so ids differ between runs.
std::string DescribeFrame(const std::vector<D3D11Control::CallRecord>& gCalls)
{
    std::string sFrame;
    for (const D3D11Control::CallRecord& call : gCalls)
    {
        sFrame += call.Method;
        for (double fValue : call.Values)
            sFrame.append(reinterpret_cast<const char*>(&fValue), sizeof(fValue));
        sFrame += '\n';
    }
    return sFrame;
}

// The target of a clear or the render target a binding sets (0 when none).
std::uint64_t FirstObject(const D3D11Control::CallRecord& call)
{
    return call.Objects.empty() ? 0 : call.Objects.front();
}

// A playback frame, as far as the device sees it: whatever the scene update renders offscreen
// (shadow maps, cube faces), then the back buffer and depth cleared and bound, then
// post-processing's target cleared and bound with nothing drawn in between, then the scene's
// draws, and the present last.
// The back buffer's view is the one the frame binds last (post-processing hands it back).
std::string CheckFrameOrder(const std::vector<D3D11Control::CallRecord>& gCalls)
{
    const std::size_t uiEnd = gCalls.size();
    if (gCalls.empty() || gCalls.back().Method != "Present")
        return "does not end with Present";
    std::uint64_t uiBackBuffer = 0;
    for (const D3D11Control::CallRecord& call : gCalls)
        if (call.Method == "OMSetRenderTargets" && FirstObject(call) != 0)
            uiBackBuffer = FirstObject(call);
    // A target cleared, its depth cleared, and both bound: the index of the first of the three.
    const auto isClearAndBind = [&](std::size_t i)
    {
        return i + 2 < uiEnd && gCalls[i].Method == "ClearRenderTargetView" &&
               gCalls[i + 1].Method == "ClearDepthStencilView" &&
               gCalls[i + 2].Method == "OMSetRenderTargets" &&
               FirstObject(gCalls[i + 2]) == FirstObject(gCalls[i]);
    };
    std::size_t uiMain = uiEnd;
    for (std::size_t i = 0; i < uiEnd && uiMain == uiEnd; ++i)
        if (isClearAndBind(i) && FirstObject(gCalls[i]) == uiBackBuffer)
            uiMain = i;
    if (uiMain == uiEnd)
        return "never clears and binds the back buffer";
    // Between the two only state is read and set: nothing draws or clears.
    std::size_t uiPost = uiMain + 3;
    while (uiPost < uiEnd && gCalls[uiPost].Method != "ClearRenderTargetView" &&
           gCalls[uiPost].Method.rfind("Draw", 0) != 0)
        ++uiPost;
    if (!isClearAndBind(uiPost) || FirstObject(gCalls[uiPost]) == uiBackBuffer)
        return "does not begin post-processing right after the back buffer";
    std::size_t uiDraws = 0;
    for (std::size_t i = uiPost + 3; i < uiEnd; ++i)
    {
        if (gCalls[i].Method.rfind("Draw", 0) == 0)
            ++uiDraws;
        if (gCalls[i].Method == "ClearRenderTargetView" && FirstObject(gCalls[i]) == uiBackBuffer)
            return "clears the back buffer twice";
    }
    return uiDraws > 0 ? "" : "draws nothing";
}

// Runs the program in-process from a working directory holding the packed show, with the
// clocks driven by the presents: each present moves the timeline on by FRAME_STEP_MS.
class KV27_ShowRunTest : public PackedShowSuite
{
protected:
    static void SetUpTestSuite()
    {
        // The archive as the run command makes it: effects precompiled into a staged copy.
        PackShow(std::string(KV_SOURCE_ROOT) + "/assets", KV_KVFXC, KV_KVPACK);
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_pShow->Enter());
        ShowStandIns::Reset();
    }

    void TearDown() override
    {
        EXPECT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
        EXPECT_FALSE(KT_ThreadPool::IsRunning());
        ShowStandIns::Reset();
        EXPECT_TRUE(s_pShow->Leave());
    }

    // The program's run from its start-up on: onPlaybackFrame runs after each playback present
    // with the number of playback frames so far, onQuitQuestion when the program asks to quit.
    ShowRecord Play(const char* pCommandLine, const std::function<void(std::uint32_t)>& onPlaybackFrame = {},
                    const std::function<void()>& onQuitQuestion = {})
    {
        ShowStandIns::Reset();
        ShowStandIns::SetDesktop(m_iWidth, m_iHeight, m_gModes);
        ShowStandIns::UseManualClocks();
        Effects11Control::Reset();
        // The effects stand-in snapshots every variable per pass: only every CHAIN_SAMPLE-th
        // playback frame is logged.
        Effects11Control::SetApplyLogging(false);

        ShowRecord record;
        std::uint32_t uiPlaybackFrames = 0;
        KR_Scene* pLastScene = nullptr;
        bool bApplyLogging = false; // during the frame being presented
        D3D11Control::SetPresentHook(
            [&](std::uint64_t)
            {
                KR_SceneManager* pScenes = ShowStandIns::AdvanceClocks(FRAME_STEP_MS);
                if (pScenes == nullptr)
                    return;
                if (uiPlaybackFrames == 0)
                    record.bStartedOnLoadedResources =
                        StartedOnLoadedResources(KE_ApplicationManager::GetInstance());
                record.gLiveObjects.push_back(D3D11Control::GetLiveObjectCount());
                const auto gCalls = D3D11Control::GetLastFrameCallLog();
                const bool bSampled = bApplyLogging;
                const std::vector<std::uint32_t> gChain =
                    bSampled ? TakeFrameChain() : std::vector<std::uint32_t>{};
                bApplyLogging = (uiPlaybackFrames + 1) % CHAIN_SAMPLE == 0;
                Effects11Control::SetApplyLogging(bApplyLogging);
                record.gPlaybackFrames.push_back(DescribeFrame(gCalls));
                record.fTimelineSeconds = pScenes->GetTimelineEnd() - pScenes->GetTimelineStart();
                record.fSpeed = pScenes->GetSpeed();

                // Between scenes and after the end a frame only clears and presents.
                KR_Scene* pScene = pScenes->GetCurrentScene();
                if (pScene != nullptr)
                {
                    const std::string sFault = CheckFrameOrder(gCalls);
                    if (!sFault.empty())
                        record.gOrderFaults.push_back(std::to_string(uiPlaybackFrames) + ": " + sFault);
                    if (pScene != pLastScene)
                    {
                        record.gSceneOrder.push_back(pScene->GetSceneName().GetBuffer());
                        record.gSceneChains.emplace_back();
                        pLastScene = pScene;
                    }
                    auto& gSeen = record.gSceneChains.back();
                    if (bSampled && std::find(gSeen.begin(), gSeen.end(), gChain) == gSeen.end())
                        gSeen.push_back(gChain);
                }
                ++uiPlaybackFrames;
                if (onPlaybackFrame)
                    onPlaybackFrame(uiPlaybackFrames);
            });
        Win32Control::SetMessageBoxResponder(
            [&](const Win32Control::MessageBoxRecord& box)
            {
                if (box.text == "Do you really want to quit?")
                {
                    ++record.uiQuitQuestions;
                    if (onQuitQuestion)
                        onQuitQuestion();
                }
                return box.text == "Do you really want to quit?" ? IDYES : IDOK;
            });

        record.iExitCode = KV27_Program::Run(KB_String(pCommandLine));

        // Everything the run made is gone with it.
        EXPECT_EQ(D3D11Control::GetLiveObjectCount(), 0u) << Lines(D3D11Control::GetLiveObjects());
        EXPECT_EQ(Effects11Control::GetLiveEffectCount(), 0u);
        EXPECT_EQ(FmodControl::GetLiveSystemCount() + FmodControl::GetLiveSoundCount() +
                      FmodControl::GetLiveChannelCount(),
                  0);
        EXPECT_EQ(Win32SystemControl::GetRunningThreadCount(), 0u);
        EXPECT_EQ(Win32SystemControl::GetOpenHandleCount(), 0u);
        return record;
    }

    static std::string Lines(const std::vector<std::string>& gLines)
    {
        std::string sText;
        for (const std::string& sLine : gLines)
            sText += sLine + '\n';
        return sText;
    }

    // The desktop and primary screen of the next Play; its display modes when not empty.
    int m_iWidth = WIDTH;
    int m_iHeight = HEIGHT;
    std::vector<DXGI_MODE_DESC> m_gModes;
};

// The production's effect chain: bloom, depth of field, volume lighting where the scene's
// lights reach it, dirty lens, colour cubes and the colour offsets while their curve changes
// the image, in the order the scenes enable them.
bool IsProductionChain(const std::vector<std::uint32_t>& gChain)
{
    const std::vector<std::uint32_t> gFull = {0, 1, 5, 8, 4, 2};
    std::size_t uiNext = 0;
    for (std::uint32_t uiId : gChain)
    {
        while (uiNext < gFull.size() && gFull[uiNext] != uiId)
            ++uiNext;
        if (uiNext == gFull.size())
            return false;
        ++uiNext;
    }
    return gChain.size() >= 4 && gChain[0] == 0 && gChain[1] == 1;
}

TEST_F(KV27_ShowRunTest, PlaysEveryScenesEffectsInOrderToTheQuitAndAgainFrameForFrame)
{
    const ShowRecord first = Play("");
    EXPECT_EQ(first.iExitCode, 0);
    EXPECT_EQ(first.uiQuitQuestions, 0u);
    EXPECT_TRUE(first.bStartedOnLoadedResources);
    EXPECT_EQ(first.gSceneOrder,
              (std::vector<std::string>{"Scene1", "Scene2", "Scene3", "Scene4", "Scene5"}));
    EXPECT_TRUE(first.gOrderFaults.empty()) << Lines(first.gOrderFaults);
    // The whole timeline at FRAME_STEP_MS a frame, give or take the hand-over and the end.
    ASSERT_GT(first.fSpeed, 0.0);
    const double fFrames = first.fTimelineSeconds / first.fSpeed * 1000.0 / FRAME_STEP_MS;
    EXPECT_GT(first.fTimelineSeconds, 40.0);
    EXPECT_GE(static_cast<double>(first.gPlaybackFrames.size()), fFrames - 2.0);
    EXPECT_LE(static_cast<double>(first.gPlaybackFrames.size()), fFrames + 4.0);
    for (std::size_t i = 0; i < first.gSceneChains.size(); ++i)
    {
        ASSERT_FALSE(first.gSceneChains[i].empty()) << first.gSceneOrder[i];
        for (const auto& gChain : first.gSceneChains[i])
        {
            std::string sChain;
            for (std::uint32_t uiId : gChain)
                sChain += std::to_string(uiId) + ' ';
            EXPECT_TRUE(IsProductionChain(gChain)) << first.gSceneOrder[i] << ": " << sChain;
        }
    }
    // Pooled targets go back every frame and scene changes create nothing: from the hand-over to
    // the quit the stand-in holds the same objects.
    ASSERT_FALSE(first.gLiveObjects.empty());
    EXPECT_EQ(std::count(first.gLiveObjects.begin(), first.gLiveObjects.end(), first.gLiveObjects.front()),
              static_cast<std::ptrdiff_t>(first.gLiveObjects.size()));
    const auto titles = Win32Control::GetTitleHistory();
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.back(), "KV-27: Moorglow");

    const ShowRecord second = Play("");
    EXPECT_EQ(second.gSceneChains, first.gSceneChains);
    ASSERT_EQ(second.gPlaybackFrames.size(), first.gPlaybackFrames.size());
    for (std::size_t i = 0; i < first.gPlaybackFrames.size(); ++i)
        ASSERT_EQ(second.gPlaybackFrames[i], first.gPlaybackFrames[i]) << "playback frame " << i;
}

TEST_F(KV27_ShowRunTest, DeveloperRunOpensAnEditorTakesAScreenshotAndQuitsOnEscapeAfterItsQuestion)
{
    namespace fs = std::filesystem;
    const std::string sShots = s_pShow->Join("Source/Screenshot");
    fs::remove_all(sShots);
    fs::create_directories(sShots);
    // Editor windows open after each playback frame, and when the quit question came.
    std::vector<std::uint32_t> gEditors;
    std::uint32_t uiEditorsAtQuestion = 99;
    const auto editors = []() -> std::uint32_t
    {
        KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
        KG_ManagedFacade* pFacade = pEngine != nullptr ? pEngine->GetManagedFacade() : nullptr;
        return pFacade != nullptr ? pFacade->GetInterpolationEditorDialogManager()->GetNumDialogs() : 0;
    };
    const ShowRecord record = Play(
        "/develop",
        [&](std::uint32_t uiFrame)
        {
            gEditors.push_back(editors());
            if (uiFrame == 10)
                Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_F8);
            if (uiFrame == 20)
                Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_F11);
            if (uiFrame == 40)
                Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_ESCAPE);
        },
        [&] { uiEditorsAtQuestion = editors(); });
    ASSERT_GT(gEditors.size(), 40u);
    EXPECT_EQ(gEditors[9], 0u);
    EXPECT_EQ(gEditors[10], 1u);
    EXPECT_EQ(*std::max_element(gEditors.begin(), gEditors.end()), 1u);
    // Escape closes the editor window first, then asks.
    EXPECT_EQ(uiEditorsAtQuestion, 0u);
    EXPECT_EQ(record.iExitCode, 0);
    EXPECT_EQ(record.uiQuitQuestions, 1u);
    EXPECT_LT(record.gPlaybackFrames.size(), 50u); // ended by Escape, not by the timeline

    std::vector<fs::path> gShots;
    for (const auto& entry : fs::directory_iterator(sShots))
        gShots.push_back(entry.path());
    ASSERT_EQ(gShots.size(), 1u);
    EXPECT_EQ(gShots[0].extension(), ".png");
    std::ifstream file(gShots[0], std::ios::binary);
    const std::vector<char> gBytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    D3DX11_IMAGE_INFO info{};
    ASSERT_EQ(D3DX11GetImageInfoFromMemory(gBytes.data(), gBytes.size(), nullptr, &info, nullptr), S_OK);
    EXPECT_EQ(info.Width, static_cast<UINT>(WIDTH));
    EXPECT_EQ(info.Height, static_cast<UINT>(HEIGHT));
}

TEST_F(KV27_ShowRunTest, StartWithoutTheArchiveNamesItAndWhereItWasLookedForAndStillPlays)
{
    TestTempDir empty;
    ASSERT_TRUE(empty.IsValid());
    ASSERT_EQ(chdir(empty.GetPath().c_str()), 0);
    ::testing::internal::CaptureStderr();
    const ShowRecord record =
        Play("",
             [](std::uint32_t uiFrame)
             {
                 if (uiFrame == 5)
                     Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_ESCAPE);
             });
    const std::string sError = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(record.iExitCode, 0);
    EXPECT_FALSE(record.gPlaybackFrames.empty());
    // One line names the archive, the folder it was looked for in, and what is missing with it.
    const std::size_t uiAt = sError.find("KV27.dat");
    ASSERT_NE(uiAt, std::string::npos) << sError;
    const std::size_t uiStart =
        sError.rfind('\n', uiAt) == std::string::npos ? 0 : sError.rfind('\n', uiAt) + 1;
    const std::string sLine = sError.substr(uiStart, sError.find('\n', uiAt) - uiStart);
    EXPECT_NE(sLine.find(empty.GetPath()), std::string::npos) << sLine;
    EXPECT_NE(sLine.find("Assets/sceneconfig.xml"), std::string::npos) << sLine;
    EXPECT_NE(sLine.find("Assets/Materials/KV27_Materials.xml"), std::string::npos) << sLine;
}

TEST_F(KV27_ShowRunTest, DeveloperRunPrintsTheCameraModeHoldTimeAndSceneOnceAKeyChangesThem)
{
    ::testing::internal::CaptureStdout();
    std::uint32_t uiFrames = 0;
    const ShowRecord record =
        Play("/develop",
             [&](std::uint32_t uiFrame)
             {
                 uiFrames = uiFrame;
                 // Pressed and released at once, as a terminal delivers them.
                 if (uiFrame == 5)
                     Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_F2);
                 if (uiFrame == 10)
                     Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_RIGHT);
                 if (uiFrame == 20)
                     Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_ESCAPE);
             });
    const std::string sOutput = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(record.iExitCode, 0);
    EXPECT_GE(uiFrames, 20u);
    // The status lines, in order: "mode <mode> | hold <on|off> | time <seconds> s | scene <name>".
    std::vector<std::string> gLines;
    std::vector<double> gTimes;
    for (std::size_t uiAt = sOutput.find("mode "); uiAt != std::string::npos;
         uiAt = sOutput.find("mode ", uiAt + 1))
    {
        if (uiAt != 0 && sOutput[uiAt - 1] != '\n')
            continue;
        const std::string sLine = sOutput.substr(uiAt, sOutput.find('\n', uiAt) - uiAt);
        const std::size_t uiTime = sLine.find("| time ");
        ASSERT_NE(uiTime, std::string::npos) << sLine;
        gLines.push_back(sLine);
        gTimes.push_back(std::atof(sLine.c_str() + uiTime + 7));
    }
    // One line for F2, one for Right; none for the frames in between.
    ASSERT_EQ(gLines.size(), 2u) << sOutput;
    EXPECT_EQ(gLines[0].rfind("mode Rail | hold on | time ", 0), 0u) << gLines[0];
    EXPECT_NE(gLines[0].find("| scene Scene1"), std::string::npos) << gLines[0];
    EXPECT_EQ(gLines[1].rfind("mode Rail | hold on | time ", 0), 0u) << gLines[1];
    EXPECT_GT(gTimes[1], gTimes[0]) << gLines[0] << "\n" << gLines[1];
}

} // namespace

namespace
{

// FNV-1a over a file's bytes; 0 when it cannot be read.
std::uint64_t HashFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return 0;
    std::uint64_t uiHash = 14695981039346656037ull;
    char acBuffer[65536];
    while (file.read(acBuffer, sizeof(acBuffer)) || file.gcount() > 0)
    {
        for (std::streamsize i = 0; i < file.gcount(); ++i)
        {
            uiHash ^= static_cast<unsigned char>(acBuffer[i]);
            uiHash *= 1099511628211ull;
        }
    }
    return uiHash;
}

} // namespace

// The bytes the program writes of a fixed moment of the show: an F11 screenshot, an F12
// (enlarged) screenshot and the first scene's static cube map saved on F9, each compared with
// the hash of the file the device wrote before its memory was kept lazily.
TEST_F(KV27_ShowRunTest, ScreenshotsAndASavedCubeMapKeepTheirBytes)
{
    namespace fs = std::filesystem;
    const std::string sShots = s_pShow->Join("Source/Screenshot");
    const std::string sCubeMaps = s_pShow->Join("run/Assets/Textures/Cubemaps");
    fs::remove_all(sShots);
    fs::create_directories(sShots);
    fs::create_directories(sCubeMaps);
    // A 16:9 screen: the enlarged screenshot is 7680 x 4320.
    m_iWidth = 640;
    m_iHeight = 360;
    DXGI_MODE_DESC mode{};
    mode.Width = 640;
    mode.Height = 360;
    mode.RefreshRate = {60, 1};
    mode.Format = DXGI_FORMAT_R8G8B8A8_UNORM_SRGB;
    m_gModes = {mode};
    const ShowRecord record = Play("/develop",
                                   [&](std::uint32_t uiFrame)
                                   {
                                       const HWND hWindow = Win32Control::GetMainWindow();
                                       if (uiFrame == 4)
                                           Win32Control::PostKeyPress(hWindow, VK_F11);
                                       if (uiFrame == 8)
                                           Win32Control::PostKeyPress(hWindow, VK_F12);
                                       if (uiFrame == 12)
                                           Win32Control::PostKeyPress(hWindow, VK_F9);
                                       if (uiFrame == 16)
                                           Win32Control::PostKeyPress(hWindow, VK_ESCAPE);
                                   });
    EXPECT_EQ(record.iExitCode, 0);
    const fs::path cubeMap = fs::path(sCubeMaps) / "CubeMap_Scene1_0.dds";
    const std::uint64_t uiSmall = HashFile(fs::path(sShots) / "KV-27_Screenshot00001.png");
    const std::uint64_t uiLarge = HashFile(fs::path(sShots) / "KV-27_Screenshot00002.png");
    const std::uint64_t uiCube = HashFile(cubeMap);
    std::ifstream file(fs::path(sShots) / "KV-27_Screenshot00002.png", std::ios::binary);
    const std::vector<char> gBytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    D3DX11_IMAGE_INFO info{};
    EXPECT_EQ(D3DX11GetImageInfoFromMemory(gBytes.data(), gBytes.size(), nullptr, &info, nullptr), S_OK);
    EXPECT_EQ(info.Width, 7680u);
    EXPECT_EQ(info.Height, 4320u);
    fs::remove_all(s_pShow->Join("run/Assets"));
    EXPECT_EQ(uiSmall, 16671108946829105276ull);
    EXPECT_EQ(uiLarge, 5348970645254234813ull);
    EXPECT_EQ(uiCube, 597666414375957639ull);
}
