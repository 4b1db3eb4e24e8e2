#include "framework/core/KB_String.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/effects11/Effects11Control.h"
#include "production/KV27_Program.h"
#include "render/scene/KR_Scene.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/CountingAllocator.h"
#include "tests/support/PackedShowSuite.h"
#include "tests/support/ShowStandIns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace
{

// Clock milliseconds per presented frame: every scene gets a few dozen frames.
constexpr long FRAME_STEP_MS = 250;
constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;

// Plays the packed show in-process (no editor window, the HUD off) and counts the heap
// allocations of its playback frames, telling the engine's from the stand-ins'.
class KV27_FrameAllocationTest : public PackedShowSuite
{
protected:
    static void SetUpTestSuite() { PackShow(std::string(KV_SOURCE_ROOT) + "/assets", KV_KVFXC, KV_KVPACK); }

    void SetUp() override
    {
        if (!CountingAllocator::IsAvailable())
            GTEST_SKIP() << "sanitizer builds keep their own allocator";
        ASSERT_TRUE(s_pShow->Enter());
        ResetStandIns();
    }

    void TearDown() override
    {
        CountingAllocator::Stop();
        ResetStandIns();
        EXPECT_TRUE(s_pShow->Leave());
    }

    static void ResetStandIns()
    {
        ShowStandIns::Reset();
        Effects11Control::Reset();
    }
};

TEST_F(KV27_FrameAllocationTest, TellsTheEnginesAllocationsFromTheStandInsByTheirCode)
{
    CountingAllocator::Start(true);
    KB_String sEngine("an engine string long enough for a block of its own");
    sEngine += " and more";
    const auto gModes = D3D11Control::DefaultDisplayModes(); // a vector made by the stand-in's code
    CountingAllocator::Stop();
    const CountingAllocator::Counts counts = CountingAllocator::GetCounts();
    EXPECT_GE(counts.Engine, 2u) << CountingAllocator::DescribeSites(true, 10);
    EXPECT_GE(counts.StandIn, 1u) << CountingAllocator::DescribeSites(false, 10);
    EXPECT_EQ(counts.Total, counts.Engine + counts.StandIn + counts.Other);
    // The site is the string's (KB_String in an optimised build, where the engine's allocator is
    // inlined into it; KB_Memory::Allocate called from the string's code in a Debug build).
    const std::string sSites = CountingAllocator::DescribeSites(true, 10);
    EXPECT_TRUE(sSites.find("KB_String") != std::string::npos ||
                sSites.find("KB_Memory") != std::string::npos)
        << sSites;

    // A paused thread is not counted.
    CountingAllocator::Start(true);
    {
        CountingAllocator::Pause pause;
        const KB_String sPaused("another string long enough for a block of its own");
    }
    CountingAllocator::Stop();
    EXPECT_EQ(CountingAllocator::GetCounts().Total, 0u);
}

TEST_F(KV27_FrameAllocationTest, PlaybackFramesOfEveryScenesCubeMapsLightsAndCamerasAllocateNothing)
{
    ShowStandIns::SetDesktop(WIDTH, HEIGHT);
    ShowStandIns::UseManualClocks();
    // The stand-ins as a real run has them: the device's call log on, no effect snapshots.
    Effects11Control::SetApplyLogging(false);

    std::uint32_t uiFrames = 0;
    std::set<std::string> gScenes;
    std::uint32_t uiPlacers = 0;
    std::uint32_t uiLights = 0;
    std::uint32_t uiCameras = 0;
    CountingAllocator::Counts total;
    std::string sFirstSites; // the engine's allocating functions in the first frames that allocated
    std::uint64_t uiMostStandIn = 0;
    std::vector<std::uint64_t> gStandInPerFrame;
    std::string sMostStandInSites; // the stand-ins' allocating functions in their busiest frame
    D3D11Control::SetPresentHook(
        [&](std::uint64_t)
        {
            CountingAllocator::Pause pause;
            KR_SceneManager* pScenes = ShowStandIns::AdvanceClocks(FRAME_STEP_MS);
            if (pScenes == nullptr)
                return;
            // Each count runs from one present to the next: every playback frame after the first,
            // whole, and nothing of the shutdown after the last.
            if (uiFrames++ > 0)
            {
                const CountingAllocator::Counts frame = CountingAllocator::GetCounts();
                total.Engine += frame.Engine;
                total.StandIn += frame.StandIn;
                total.Total += frame.Total;
                gStandInPerFrame.push_back(frame.StandIn);
                if (frame.StandIn > uiMostStandIn)
                {
                    uiMostStandIn = frame.StandIn;
                    sMostStandInSites = CountingAllocator::DescribeSites(false, 20);
                }
                if (frame.Engine > 0 && sFirstSites.size() < 4000)
                    sFirstSites += "frame " + std::to_string(uiFrames) + ":\n" +
                                   CountingAllocator::DescribeSites(true, 20);
            }
            CountingAllocator::Start(true);
            if (KR_Scene* pScene = pScenes->GetCurrentScene())
            {
                if (gScenes.insert(pScene->GetSceneName().GetBuffer()).second)
                {
                    uiPlacers += pScene->GetCubeMapPlacers().GetNumMembers();
                    uiLights +=
                        pScene->GetSpotLights().GetNumMembers() + pScene->GetOmniLights().GetNumMembers();
                    uiCameras += pScene->GetAnimatedCameras().GetNumMembers();
                }
            }
        });

    EXPECT_EQ(KV27_Program::Run(KB_String("")), 0);
    CountingAllocator::Stop();

    EXPECT_EQ(gScenes.size(), 5u);
    EXPECT_GT(uiPlacers, 0u);
    EXPECT_GT(uiLights, 0u);
    EXPECT_GT(uiCameras, 0u);
    ASSERT_GT(uiFrames, 100u);
    EXPECT_EQ(total.Engine, 0u) << total.Engine << " engine allocations (" << total.StandIn
                                << " by the stand-ins) in " << uiFrames - 1 << " playback frames:\n"
                                << sFirstSites;
    // The stand-ins keep their call logs in reused storage, grown only by a frame longer than any
    // before it: a frame's own allocations are their work (buffers the engine creates, the
    // spectrum), a few dozen.
    ASSERT_FALSE(gStandInPerFrame.empty());
    std::sort(gStandInPerFrame.begin(), gStandInPerFrame.end());
    EXPECT_LT(gStandInPerFrame[gStandInPerFrame.size() / 2], 100u)
        << "busiest frame, " << uiMostStandIn << ":\n"
        << sMostStandInSites;
}

} // namespace
