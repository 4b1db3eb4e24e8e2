#include "audio/KA_AudioResourceFmod.h"
#include "platform/fmod/FmodControl.h"
#include "platform/fmod/fmod.hpp"
#include "tests/support/TestAudioFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr std::uint32_t BANDS = 64;

// A resource on a 4 s stereo WAV of a running system, with the manual clock.
class KA_AudioResourceFmodTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FmodControl::Reset();
        FmodControl::UseManualClock();
        ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
        ASSERT_EQ(m_pSystem->init(32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
        const std::vector<std::uint8_t> wav = TestAudioFiles::MakeWav(
            2, 8000, 16, false, TestAudioFiles::MakeSine(2, 8000, 32000, 250.0, 0.5f));
        FMOD_CREATESOUNDEXINFO exinfo = {};
        exinfo.cbsize = sizeof exinfo;
        exinfo.length = static_cast<unsigned int>(wav.size());
        FMOD::Sound* pSound = nullptr;
        ASSERT_EQ(m_pSystem->createSound(reinterpret_cast<const char*>(wav.data()),
                                         FMOD_OPENMEMORY | FMOD_CREATESAMPLE, &exinfo, &pSound),
                  FMOD_OK);
        m_pResource = std::make_unique<KA_AudioResourceFmod>(m_pSystem, pSound);
        FmodControl::ClearCallLog();
    }

    void TearDown() override
    {
        m_pResource.reset();
        EXPECT_EQ(FmodControl::GetLiveSoundCount(), 0);
        EXPECT_EQ(FmodControl::GetLiveChannelCount(), 0);
        EXPECT_EQ(m_pSystem->release(), FMOD_OK);
        FmodControl::Reset();
    }

    void Step(double seconds)
    {
        FmodControl::AdvanceClock(seconds);
        ASSERT_EQ(m_pSystem->update(), FMOD_OK);
    }

    // Band values for one output channel, all others 0.
    static void Inject(int channel, const std::vector<std::pair<std::uint32_t, float>>& bands)
    {
        std::vector<float> values(BANDS, 0.0f);
        for (const auto& band : bands)
            values[band.first] = band.second;
        FmodControl::SetSpectrum(channel, values);
    }

    FMOD::System* m_pSystem = nullptr;
    std::unique_ptr<KA_AudioResourceFmod> m_pResource;
};

// The trigger rule one value at a time, written from its definition.
void ReferenceRule(const float* pValues, const float* pRight, float* pCombined, float* pLast,
                   std::uint32_t* pFlags, std::uint32_t count, float time, float threshold, float hold)
{
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const float value =
            pRight == nullptr ? pValues[i] : (pValues[i] > pRight[i] ? pValues[i] : pRight[i]);
        if (pCombined != nullptr)
            pCombined[i] = value;
        const bool triggered = pLast[i] + hold <= time && threshold <= value;
        pLast[i] = triggered ? time : pLast[i];
        pFlags[i] = triggered ? 0xFFFFFFFFu : 0u;
    }
}

} // namespace

TEST_F(KA_AudioResourceFmodTest, StartsWithAPausedChannelAndPlaysOnTheClock)
{
    auto pSecond = std::make_unique<KA_AudioResourceFmod>(m_pSystem, nullptr);
    EXPECT_EQ(pSecond->Play(), FMOD_ERR_INVALID_HANDLE); // no sound: nothing to play, no crash
    pSecond.reset();

    EXPECT_EQ(m_pResource->GetLength(), 4.0);
    EXPECT_EQ(m_pResource->GetPosition(), 0.0);
    Step(0.5);
    EXPECT_EQ(m_pResource->GetPosition(), 0.0);
    EXPECT_EQ(m_pResource->Play(), FMOD_OK);
    Step(0.5);
    EXPECT_DOUBLE_EQ(m_pResource->GetPosition(), 0.5);
    EXPECT_EQ(m_pResource->Pause(), FMOD_OK);
    Step(0.5);
    EXPECT_DOUBLE_EQ(m_pResource->GetPosition(), 0.5);
    EXPECT_EQ(FmodControl::GetCallCount("System::playSound"), 0); // still the constructor's channel
}

TEST_F(KA_AudioResourceFmodTest, PositionsAreFlooredToMillisecondsAndNeverNegative)
{
    struct Case
    {
        double seconds;
        const char* logged;
    };
    const Case cases[] = {
        {2.0005, "Channel::setPosition(2000, 1)"},
        {1.9999, "Channel::setPosition(1999, 1)"},
        {-1.2e-7, "Channel::setPosition(0, 1)"},
        {std::numeric_limits<double>::quiet_NaN(), "Channel::setPosition(0, 1)"},
    };
    for (const Case& c : cases)
    {
        FmodControl::ClearCallLog();
        EXPECT_EQ(m_pResource->SetPosition(c.seconds), FMOD_OK);
        EXPECT_EQ(FmodControl::GetCallLog(), std::vector<std::string>{c.logged}) << c.seconds;
    }
}

TEST_F(KA_AudioResourceFmodTest, VolumeIsClampedToTheUnitRange)
{
    struct Case
    {
        float volume;
        float expected;
        const char* logged;
    };
    const Case cases[] = {{1.5f, 1.0f, "Channel::setVolume(1)"},
                          {-0.2f, 0.0f, "Channel::setVolume(0)"},
                          {0.25f, 0.25f, "Channel::setVolume(0.25)"},
                          {std::nanf(""), 0.0f, "Channel::setVolume(0)"}};
    for (const Case& c : cases)
    {
        FmodControl::ClearCallLog();
        EXPECT_EQ(m_pResource->SetVolume(c.volume), FMOD_OK);
        EXPECT_EQ(FmodControl::GetCallLog(), std::vector<std::string>{c.logged});
        EXPECT_EQ(m_pResource->GetVolume(), c.expected);
    }
}

TEST_F(KA_AudioResourceFmodTest, AChannelThatEndedIsReplacedAndTheCallRepeated)
{
    EXPECT_EQ(m_pResource->Play(), FMOD_OK);
    Step(4.5); // the sound ends, its channel with it
    FmodControl::ClearCallLog();
    EXPECT_EQ(m_pResource->SetPosition(1.0), FMOD_OK);
    EXPECT_EQ(FmodControl::GetCallLog(),
              (std::vector<std::string>{"Channel::setPosition(1000, 1)", "System::playSound(-1, true)",
                                        "Channel::setPosition(1000, 1)"}));
    EXPECT_EQ(m_pResource->GetPosition(), 1.0);
    EXPECT_EQ(m_pResource->Play(), FMOD_OK);
    Step(0.25);
    EXPECT_DOUBLE_EQ(m_pResource->GetPosition(), 1.25);

    // A channel that is gone and cannot be replaced gives the failure and no second attempt.
    Step(3.0);
    FmodControl::FailNext("System::playSound", FMOD_ERR_CHANNEL_ALLOC);
    EXPECT_EQ(m_pResource->Pause(), FMOD_ERR_CHANNEL_ALLOC);
    EXPECT_EQ(m_pResource->GetPosition(), 0.0); // the next call acquires again, at the start
}

TEST_F(KA_AudioResourceFmodTest, ThreeDSettingsReachTheChannel)
{
    const DirectX::XMVECTOR position = {{1.0f, 2.0f, 3.0f, 99.0f}};
    const DirectX::XMVECTOR velocity = {{0.0f, -1.0f, 0.0f, 99.0f}};
    EXPECT_EQ(m_pResource->Set3DAttributes(position, velocity), FMOD_OK);
    EXPECT_EQ(m_pResource->Set3DMinMaxDistance(2.0f, 40.0f), FMOD_OK);
    EXPECT_EQ(m_pResource->Set3DOcclusion(0.5f, 0.25f), FMOD_OK);
    EXPECT_EQ(FmodControl::GetCallLog(),
              (std::vector<std::string>{"Channel::set3DAttributes(1, 2, 3, 0, -1, 0)",
                                        "Channel::set3DMinMaxDistance(2, 40)",
                                        "Channel::set3DOcclusion(0.5, 0.25)"}));
}

TEST_F(KA_AudioResourceFmodTest, WithoutBandsNothingIsAnalysed)
{
    EXPECT_EQ(m_pResource->GetNumFFTValues(), 0u);
    EXPECT_EQ(m_pResource->GetSpectrum(), nullptr);
    EXPECT_EQ(m_pResource->GetChannelSpectrum(), nullptr);
    m_pResource->UpdateSpectrum(1.0);
    EXPECT_EQ(FmodControl::GetCallCount("Channel::getSpectrum"), 0);
    EXPECT_FALSE(m_pResource->IsTriggered(0));
    EXPECT_FALSE(m_pResource->IsChannelTriggered(0, 0));
}

TEST_F(KA_AudioResourceFmodTest, ABandTriggersWhenLoudAndTheHoldTimeHasPassed)
{
    m_pResource->SetNumFFTValues(BANDS);
    const float* pSpectrum = m_pResource->GetSpectrum();
    ASSERT_NE(pSpectrum, nullptr);
    for (std::uint32_t i = 0; i < BANDS; ++i)
        ASSERT_EQ(pSpectrum[i], 0.0f); // zeroed, not left as found
    const float belowThreshold = std::nextafter(0.8f, 0.0f);
    Inject(0, {{0, 0.9f}, {1, 0.8f}, {2, belowThreshold}});
    Inject(1, {{3, 0.95f}});

    const double frames[] = {0.00, 0.05, 0.10, 0.15, 0.20, 0.25, 0.30};
    const bool band0Expected[] = {false, false, true, false, true, false, true};
    for (std::size_t f = 0; f < std::size(frames); ++f)
    {
        SCOPED_TRACE(frames[f]);
        m_pResource->UpdateSpectrum(frames[f]);
        EXPECT_EQ(m_pResource->IsTriggered(0), band0Expected[f]);
        EXPECT_EQ(m_pResource->IsChannelTriggered(0, 0), band0Expected[f]);
        EXPECT_FALSE(m_pResource->IsChannelTriggered(1, 0));
        EXPECT_EQ(m_pResource->IsTriggered(1), band0Expected[f]); // exactly at the threshold
        EXPECT_FALSE(m_pResource->IsTriggered(2));                // just below it
        // Loud on the right only: the right flag and the combined flag, never the left one.
        EXPECT_EQ(m_pResource->IsChannelTriggered(1, 3), band0Expected[f]);
        EXPECT_EQ(m_pResource->IsTriggered(3), band0Expected[f]);
        EXPECT_FALSE(m_pResource->IsChannelTriggered(0, 3));
    }
    EXPECT_EQ(pSpectrum[0], 0.9f);
    EXPECT_EQ(pSpectrum[3], 0.95f);
    EXPECT_EQ(m_pResource->GetChannelSpectrum()[BANDS + 3], 0.95f);
    EXPECT_FALSE(m_pResource->IsTriggered(BANDS));
    EXPECT_FALSE(m_pResource->IsChannelTriggered(2, 0));
    EXPECT_FALSE(m_pResource->IsChannelTriggered(0, BANDS));
}

TEST_F(KA_AudioResourceFmodTest, ThresholdAndHoldTimeAreAdjustable)
{
    m_pResource->SetNumFFTValues(BANDS);
    m_pResource->SetTriggerThreshold(0.5f);
    m_pResource->SetTriggerHoldTime(0.0f);
    Inject(0, {{5, 0.6f}});
    for (double t : {0.0, 0.01, 0.02})
    {
        m_pResource->UpdateSpectrum(t);
        EXPECT_TRUE(m_pResource->IsTriggered(5)) << t;
    }
}

TEST_F(KA_AudioResourceFmodTest, ChangingTheBandCountResetsTheTriggers)
{
    Inject(0, {{0, 0.9f}});
    for (std::uint32_t count : {BANDS, 2 * BANDS, BANDS, 2 * BANDS})
    {
        SCOPED_TRACE(count);
        m_pResource->SetNumFFTValues(count);
        EXPECT_EQ(m_pResource->GetNumFFTValues(), count);
        EXPECT_FALSE(m_pResource->IsTriggered(0));
        m_pResource->UpdateSpectrum(0.10);
        EXPECT_TRUE(m_pResource->IsTriggered(0));
        // Triggered at 0.10: at 0.15 only a reset trigger time (0) lets it trigger again.
        m_pResource->UpdateSpectrum(0.15);
        EXPECT_FALSE(m_pResource->IsTriggered(0));
        m_pResource->SetNumFFTValues(count); // the same count changes nothing
        m_pResource->UpdateSpectrum(0.16);
        EXPECT_FALSE(m_pResource->IsTriggered(0));
    }
}

TEST_F(KA_AudioResourceFmodTest, WithoutAChannelTheSpectrumKeepsItsValues)
{
    m_pResource->SetNumFFTValues(BANDS);
    Inject(1, {{7, 0.9f}});
    m_pResource->UpdateSpectrum(0.5);
    EXPECT_EQ(m_pResource->Play(), FMOD_OK);
    Step(5.0); // the channel ends; the analysis does not ask for a new one
    FmodControl::ClearCallLog();
    Inject(1, {{7, 0.1f}});
    m_pResource->UpdateSpectrum(0.7);
    EXPECT_EQ(FmodControl::GetCallCount("System::playSound"), 0);
    EXPECT_EQ(m_pResource->GetSpectrum()[7], 0.9f);
}

TEST(KA_AudioResourceFmodRule, MatchesItsDefinitionOnEveryLengthAndValue)
{
    constexpr std::uint32_t MAX = 23;
    alignas(64) float values[2 * MAX + 1];
    alignas(64) float combined[MAX];
    alignas(64) float last[MAX];
    alignas(64) std::uint32_t flags[MAX];
    float referenceCombined[MAX];
    float referenceLast[MAX];
    std::uint32_t referenceFlags[MAX];
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (std::uint32_t i = 0; i < 2 * MAX + 1; ++i)
    {
        const float cycle[] = {0.79f, 0.8f, 0.81f, nan, 0.0f, 1.0f, 0.5f};
        values[i] = cycle[(i * 5) % 7];
    }
    for (std::uint32_t count = 0; count <= MAX; ++count)
    {
        for (bool withRight : {false, true})
        {
            SCOPED_TRACE(testing::Message() << count << (withRight ? " combined" : ""));
            // The right half starts count values later: unaligned unless count is a multiple of 4.
            const float* pRight = withRight ? values + count + 1 : nullptr;
            for (std::uint32_t i = 0; i < MAX; ++i)
            {
                last[i] = referenceLast[i] = (i % 3) * 0.05f;
                flags[i] = referenceFlags[i] = 0x5A5A5A5Au;
                combined[i] = referenceCombined[i] = -1.0f;
            }
            KA_AudioResourceFmod::ApplyTriggerRule(values, pRight, combined, last, flags, count, 0.1f, 0.8f,
                                                   0.05f);
            ReferenceRule(values, pRight, referenceCombined, referenceLast, referenceFlags, count, 0.1f, 0.8f,
                          0.05f);
            for (std::uint32_t i = 0; i < MAX; ++i)
            {
                EXPECT_EQ(flags[i], referenceFlags[i]) << i;
                EXPECT_EQ(last[i], referenceLast[i]) << i;
                if (std::isnan(referenceCombined[i]))
                    continue;
                EXPECT_EQ(combined[i], referenceCombined[i]) << i;
            }
        }
    }
}
