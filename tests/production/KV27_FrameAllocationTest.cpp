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

// The heap allocations of the playback frames, summed over the frames counted.
struct PlaybackCounts
{
    CountingAllocator::Counts Total;
    std::uint32_t Frames = 0;
    std::vector<std::uint64_t> StandInPerFrame;
    std::string FirstEngineSites;  // the engine's allocating functions in the first frames that allocated
    std::uint64_t MostStandIn = 0; // the stand-ins' allocations in their busiest frame
    std::string MostStandInSites;  // and their allocating functions in it

    void Add(const CountingAllocator::Counts& frame)
    {
        Total.Attributed = Frames == 0 ? frame.Attributed : Total.Attributed && frame.Attributed;
        Total.Engine += frame.Engine;
        Total.StandIn += frame.StandIn;
        Total.Other += frame.Other;
        Total.Total += frame.Total;
        Total.Bytes += frame.Bytes;
        StandInPerFrame.push_back(frame.StandIn);
        ++Frames;
    }
};

// The playback frames allocate nothing in the engine; the stand-ins' own work stays small. Only
// a count that told every allocation's owner says so: one without attribution (the program's
// symbols unreadable) has no engine allocations whatever the engine did.
testing::AssertionResult CheckPlaybackCounts(const PlaybackCounts& playback)
{
    const CountingAllocator::Counts& total = playback.Total;
    if (!total.Attributed)
    {
        return testing::AssertionFailure()
               << "attribution is off (are the program's symbols stripped?): " << total.Total
               << " allocations in " << playback.Frames << " playback frames, none told apart";
    }
    if (total.Engine + total.StandIn + total.Other != total.Total)
    {
        return testing::AssertionFailure()
               << "engine " << total.Engine << " + stand-in " << total.StandIn << " + other " << total.Other
               << " allocations are not the total " << total.Total;
    }
    if (total.Total == 0)
    {
        return testing::AssertionFailure()
               << "no allocation counted in " << playback.Frames << " playback frames";
    }
    if (total.Engine != 0)
    {
        return testing::AssertionFailure()
               << total.Engine << " engine allocations (" << total.StandIn << " by the stand-ins) in "
               << playback.Frames << " playback frames:\n"
               << playback.FirstEngineSites;
    }
    // The stand-ins keep their call logs in reused storage, grown only by a frame longer than any
    // before it: a frame's own allocations are their work (buffers the engine creates, the
    // spectrum), a few dozen.
    if (playback.StandInPerFrame.empty())
        return testing::AssertionFailure() << "no playback frame counted";
    std::vector<std::uint64_t> gSorted = playback.StandInPerFrame;
    std::sort(gSorted.begin(), gSorted.end());
    if (gSorted[gSorted.size() / 2] >= 100)
    {
        return testing::AssertionFailure()
               << "median frame, " << gSorted[gSorted.size() / 2] << " stand-in allocations; busiest frame, "
               << playback.MostStandIn << ":\n"
               << playback.MostStandInSites;
    }
    return testing::AssertionSuccess();
}

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
        CountingAllocator::ForceUnattributed(false);
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
    PlaybackCounts playback;
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
                playback.Add(frame);
                if (frame.StandIn > playback.MostStandIn)
                {
                    playback.MostStandIn = frame.StandIn;
                    playback.MostStandInSites = CountingAllocator::DescribeSites(false, 20);
                }
                if (frame.Engine > 0 && playback.FirstEngineSites.size() < 4000)
                    playback.FirstEngineSites += "frame " + std::to_string(uiFrames) + ":\n" +
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
    EXPECT_TRUE(CheckPlaybackCounts(playback));
}

// A count that cannot tell the engine's allocations from the stand-ins' (the program's symbols
// unreadable, as in a stripped copy) says nothing of the engine: the playback check fails on it.
TEST_F(KV27_FrameAllocationTest, PlaybackCheckFailsOnACountWithoutAttribution)
{
    CountingAllocator::ForceUnattributed(true);
    CountingAllocator::Start(true);
    KB_String sEngine("an engine string long enough for a block of its own");
    sEngine += " and more";
    CountingAllocator::Stop();
    CountingAllocator::ForceUnattributed(false);
    PlaybackCounts playback;
    playback.Add(CountingAllocator::GetCounts());
    EXPECT_FALSE(playback.Total.Attributed);
    EXPECT_GT(playback.Total.Total, 0u);

    const testing::AssertionResult result = CheckPlaybackCounts(playback);
    EXPECT_FALSE(result);
    EXPECT_NE(std::string(result.message()).find("attribution is off"), std::string::npos)
        << result.message();
}

} // namespace
