// The show's frame cost: the program played in-process from the packed show at the real run's
// resolution (the desktop's 1920 x 1080), unpaced, with the clocks driven by the presents. After
// the load, a fixed number of playback frames is measured: CPU time of the process per frame,
// heap allocations per frame (engine and stand-ins apart, see tests/support/CountingAllocator.h:
// each allocation's stack decides whose it is) and the peak resident memory of the run. The same
// around one F12 screenshot (the frame rendered at 7680 pixels wide and the frame after it, which
// follows the return to the window's size).
//
// Each figure comes from its own run: the time and the total count with cheap counting, the
// owners with the slow attributed count.

#include "framework/core/KB_String.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/WinDialogs.h"
#include "platform/win32/WinMessages.h"
#include "production/KV27_Program.h"
#include "tests/support/CountingAllocator.h"
#include "tests/support/PackedShow.h"
#include "tests/support/ShowStandIns.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

// Playback frames before the measured ones (the hand-over, the first scene's start).
constexpr std::uint32_t WARMUP_FRAMES = 5;
constexpr std::uint32_t MEASURED_FRAMES = 400;
// Clock milliseconds per frame: the measured frames cross all five scenes.
constexpr long FRAME_STEP_MS = 125;
// The F12 key goes in after this many playback frames.
constexpr std::uint32_t SCREENSHOT_FRAME = 40;

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Starts the peak resident memory again from the current resident memory.
void ResetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double PeakResidentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string sLine;
    while (std::getline(status, sLine))
        if (sLine.rfind("VmHWM:", 0) == 0)
            return std::stod(sLine.substr(6)) / 1024.0;
    return 0.0;
}

// The packed show, made once for every benchmark of the program.
PackedShow::RunFolder& Show()
{
    static PackedShow::RunFolder* s_pShow = nullptr;
    if (s_pShow == nullptr)
    {
        s_pShow = new PackedShow::RunFolder(std::string(KV_SOURCE_ROOT) + "/assets", KV_KVFXC, KV_KVPACK);
        if (!s_pShow->GetFault().empty())
            std::fprintf(stderr, "%s\n", s_pShow->GetFault().c_str());
        std::filesystem::create_directories(s_pShow->Join("Source/Screenshot"));
    }
    return *s_pShow;
}

struct Measurement
{
    double fCpuSeconds = 0.0;
    std::uint32_t uiFrames = 0; // frames measured
    CountingAllocator::Counts counts;
    double fPeakMiB = 0.0;
    bool bComplete = false;
};

// One run of the program. Measures from the present that ends playback frame uiFirst to the one
// that ends frame uiFirst + uiFrames; bScreenshot posts F12 at the start of the window (the run
// is then a developer run: only that one takes keys).
Measurement Play(std::uint32_t uiFirst, std::uint32_t uiFrames, bool bAttributed, bool bScreenshot)
{
    Measurement result;
    if (!Show().Enter())
        return result;
    // The effects stand-in is left as a real run has it.
    ShowStandIns::Reset();
    ShowStandIns::UseManualClocks();
    Win32Control::SetMessageBoxResponder([](const Win32Control::MessageBoxRecord&) { return IDYES; });

    std::uint32_t uiPlayback = 0;
    double fStart = 0.0;
    D3D11Control::SetPresentHook(
        [&](std::uint64_t)
        {
            CountingAllocator::Pause pause;
            if (ShowStandIns::AdvanceClocks(FRAME_STEP_MS) == nullptr)
                return;
            ++uiPlayback;
            if (uiPlayback == uiFirst)
            {
                if (bScreenshot)
                {
                    ResetPeakResident();
                    Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_F12);
                }
                CountingAllocator::Start(bAttributed);
                fStart = CpuSeconds();
            }
            else if (uiPlayback == uiFirst + uiFrames)
            {
                result.fCpuSeconds = CpuSeconds() - fStart;
                CountingAllocator::Stop();
                result.counts = CountingAllocator::GetCounts();
                result.uiFrames = uiFrames;
                result.bComplete = true;
                Win32Control::PostKeyPress(Win32Control::GetMainWindow(), VK_ESCAPE);
            }
        });

    if (!bScreenshot)
        ResetPeakResident();
    KV27_Program::Run(KB_String(bScreenshot ? "/develop" : ""));
    CountingAllocator::Stop();
    result.fPeakMiB = PeakResidentMiB();
    D3D11Control::Reset();
    Show().Leave();
    return result;
}

void Report(benchmark::State& state, const Measurement& timed, const Measurement& owners)
{
    if (!timed.bComplete || !owners.bComplete)
    {
        state.SkipWithError("the show ended before the measured frames");
        return;
    }
    const double fFrames = timed.uiFrames;
    state.SetIterationTime(timed.fCpuSeconds / fFrames);
    state.counters["cpu_ms_per_frame"] = timed.fCpuSeconds * 1000.0 / fFrames;
    state.counters["allocs_per_frame"] = static_cast<double>(timed.counts.Total) / fFrames;
    state.counters["engine_allocs_per_frame"] = static_cast<double>(owners.counts.Engine) / fFrames;
    state.counters["standin_allocs_per_frame"] = static_cast<double>(owners.counts.StandIn) / fFrames;
    state.counters["other_allocs_per_frame"] = static_cast<double>(owners.counts.Other) / fFrames;
    state.counters["peak_rss_MiB"] = timed.fPeakMiB;
    state.counters["frames"] = fFrames;
}

// CPU and allocations per playback frame over MEASURED_FRAMES frames of the show; the peak
// resident memory of the whole run, load included.
void ShowPlayback(benchmark::State& state)
{
    for (auto _ : state)
    {
        const Measurement timed = Play(WARMUP_FRAMES, MEASURED_FRAMES, false, false);
        const Measurement owners = Play(WARMUP_FRAMES, MEASURED_FRAMES, true, false);
        Report(state, timed, owners);
    }
}

// The same for the two frames around one F12 screenshot; the peak is that of those frames.
void ShowScreenshotF12(benchmark::State& state)
{
    for (auto _ : state)
    {
        const Measurement timed = Play(SCREENSHOT_FRAME, 2, false, true);
        const Measurement owners = Play(SCREENSHOT_FRAME, 2, true, true);
        Report(state, timed, owners);
    }
}

BENCHMARK(ShowPlayback)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ShowScreenshotF12)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
