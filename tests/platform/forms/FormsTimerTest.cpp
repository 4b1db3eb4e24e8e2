#include "platform/forms/FormsTimer.h"
#include "platform/forms/FormsForm.h"
#include "tests/platform/forms/FormsTestFixture.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace forms;

TEST_F(FormsTest, ManualSchedulerRunsTimersInDueOrderAtTheirDueTimes)
{
    std::vector<std::pair<char, std::int64_t>> runs;
    Timer a([&] { runs.push_back({'a', FormsControl::GetTime()}); });
    Timer b([&] { runs.push_back({'b', FormsControl::GetTime()}); });
    Timer c([&] { runs.push_back({'c', FormsControl::GetTime()}); }, 5, 10);
    EXPECT_TRUE(b.Change(3, Timeout::Infinite));
    EXPECT_TRUE(a.Change(3, Timeout::Infinite));
    FormsControl::AdvanceTime(2);
    EXPECT_TRUE(runs.empty());
    FormsControl::AdvanceTime(24);
    EXPECT_EQ(runs, (std::vector<std::pair<char, std::int64_t>>{
                        {'b', 3}, {'a', 3}, {'c', 5}, {'c', 15}, {'c', 25}}))
        << "same due time: in the order they were armed";
    EXPECT_EQ(FormsControl::GetTime(), 26);
    EXPECT_FALSE(a.IsArmed());
    EXPECT_TRUE(c.IsArmed());
    EXPECT_FALSE(a.Change(-5, Timeout::Infinite));
}

TEST_F(FormsTest, ACallbackThatReArmsItselfStepsLikeTheBannerFade)
{
    // Each step re-arms after 1 ms until step 70, then waits the view time.
    int step = 0;
    std::unique_ptr<Timer> pTimer;
    pTimer = std::make_unique<Timer>(
        [&]
        {
            pTimer->Stop();
            ++step;
            pTimer->Change(step < 70 ? 1 : 3000, Timeout::Infinite);
        });
    pTimer->Change(3000, Timeout::Infinite);
    FormsControl::AdvanceTime(3000);
    EXPECT_EQ(step, 1);
    FormsControl::AdvanceTime(1);
    FormsControl::AdvanceTime(68);
    EXPECT_EQ(step, 70);
    FormsControl::AdvanceTime(2999);
    EXPECT_EQ(step, 70);
    FormsControl::AdvanceTime(1);
    EXPECT_EQ(step, 71);
}

TEST_F(FormsTest, AZeroDueReArmCannotKeepAPumpRunning)
{
    int runs = 0;
    std::unique_ptr<Timer> pTimer;
    pTimer = std::make_unique<Timer>(
        [&]
        {
            ++runs;
            pTimer->Change(0, Timeout::Infinite);
        });
    pTimer->Change(0, Timeout::Infinite);
    FormsControl::AdvanceTime(0);
    EXPECT_EQ(runs, 1);
    FormsControl::AdvanceTime(4);
    EXPECT_EQ(runs, 5) << "at most once per millisecond";
}

TEST_F(FormsTest, ATimerMayBeDestroyedByItsOwnCallback)
{
    int runs = 0;
    std::unique_ptr<Timer> pTimer;
    pTimer = std::make_unique<Timer>(
        [&]
        {
            ++runs;
            pTimer.reset();
        },
        1, 1);
    FormsControl::AdvanceTime(10);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(FormsControl::GetArmedTimerCount(), 0);
}

TEST_F(FormsTest, StoppingFromAnotherThreadWaitsForTheRunningCallback)
{
    std::atomic<bool> inCallback{false};
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    Timer timer(
        [&]
        {
            inCallback = true;
            while (!release)
                std::this_thread::yield();
            finished = true;
        },
        1, Timeout::Infinite);
    std::thread ui([] { FormsControl::AdvanceTime(1); });
    while (!inCallback)
        std::this_thread::yield();
    std::atomic<bool> stopped{false};
    std::thread stopper(
        [&]
        {
            timer.Dispose();
            stopped = true;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(stopped) << "Dispose returns only after the callback";
    release = true;
    stopper.join();
    ui.join();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(timer.Change(1, Timeout::Infinite)) << "a disposed timer stays stopped";
}

TEST_F(FormsTest, SleepOnlyCountsInTests)
{
    const auto start = std::chrono::steady_clock::now();
    Thread::Sleep(150);
    Thread::Sleep(-1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(FormsControl::GetSleptMilliseconds(), 150u);
}
