#include "tests/platform/fmod/FmodTestFixture.h"

#include "tests/support/TestAudioFiles.h"

using FmodChannel = FmodTest;

namespace
{

unsigned int PositionMs(FMOD::Channel* pChannel)
{
    unsigned int ms = 0xDEAD;
    EXPECT_EQ(pChannel->getPosition(&ms, FMOD_TIMEUNIT_MS), FMOD_OK);
    return ms;
}

} // namespace

class FmodChannelOnSound : public FmodTest
{
protected:
    // A 2 s mono sound at 8000 Hz, played paused.
    void Play(FMOD_MODE mode)
    {
        InitSystem(4);
        const std::vector<std::uint8_t> wav = TestAudioFiles::MakeWav(
            1, 8000, 16, false, TestAudioFiles::MakeSine(1, 8000, 16000, 250.0, 0.5f));
        ASSERT_EQ(CreateSound(wav, FMOD_CREATESAMPLE | mode, &m_pSound), FMOD_OK);
        ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, m_pSound, true, &m_pChannel), FMOD_OK);
    }

    void Step(double seconds)
    {
        FmodControl::AdvanceClock(seconds);
        ASSERT_EQ(m_pSystem->update(), FMOD_OK);
    }

    void TearDown() override
    {
        EXPECT_EQ(m_pSound != nullptr ? m_pSound->release() : FMOD_OK, FMOD_OK);
        FmodTest::TearDown();
    }

    FMOD::Sound* m_pSound = nullptr;
    FMOD::Channel* m_pChannel = nullptr;
};

TEST_F(FmodChannelOnSound, StartsPausedAndMovesOnlyWhenPlayingOnUpdate)
{
    Play(FMOD_DEFAULT);
    bool paused = false;
    EXPECT_EQ(m_pChannel->getPaused(&paused), FMOD_OK);
    EXPECT_TRUE(paused);
    Step(0.5);
    EXPECT_EQ(PositionMs(m_pChannel), 0u);
    EXPECT_EQ(m_pChannel->setPaused(false), FMOD_OK);
    FmodControl::AdvanceClock(0.25);
    EXPECT_EQ(PositionMs(m_pChannel), 0u); // nothing moves between updates
    ASSERT_EQ(m_pSystem->update(), FMOD_OK);
    EXPECT_EQ(PositionMs(m_pChannel), 250u);
    unsigned int pcm = 0;
    EXPECT_EQ(m_pChannel->getPosition(&pcm, FMOD_TIMEUNIT_PCM), FMOD_OK);
    EXPECT_EQ(pcm, 2000u);
    m_pChannel->setPaused(true);
    Step(1.0);
    EXPECT_EQ(PositionMs(m_pChannel), 250u);
}

TEST_F(FmodChannelOnSound, AChannelThatReachesTheEndIsGone)
{
    Play(FMOD_DEFAULT);
    m_pChannel->setPaused(false);
    Step(1.999);
    EXPECT_EQ(PositionMs(m_pChannel), 1999u);
    Step(0.001);
    unsigned int ms = 0;
    float volume = 0.0f;
    EXPECT_EQ(m_pChannel->getPosition(&ms, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(m_pChannel->setPaused(false), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(m_pChannel->setPosition(0, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(m_pChannel->getVolume(&volume), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(m_pChannel->stop(), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(FmodControl::GetLiveChannelCount(), 0);
    FmodControl::ChannelState state;
    EXPECT_FALSE(FmodControl::GetChannelState(m_pChannel, &state));
}

TEST_F(FmodChannelOnSound, ALoopedChannelWraps)
{
    Play(FMOD_LOOP_NORMAL);
    m_pChannel->setPaused(false);
    Step(4.75);
    EXPECT_EQ(PositionMs(m_pChannel), 750u);
    EXPECT_EQ(m_pChannel->setPosition(2100, FMOD_TIMEUNIT_MS), FMOD_OK);
    EXPECT_EQ(PositionMs(m_pChannel), 100u);
}

TEST_F(FmodChannelOnSound, SeekingAtOrPastTheEndEndsAChannelThatDoesNotLoop)
{
    Play(FMOD_DEFAULT);
    EXPECT_EQ(m_pChannel->setPosition(1999, FMOD_TIMEUNIT_MS), FMOD_OK);
    EXPECT_EQ(PositionMs(m_pChannel), 1999u);
    EXPECT_EQ(m_pChannel->setPosition(8000, FMOD_TIMEUNIT_PCM), FMOD_OK);
    EXPECT_EQ(PositionMs(m_pChannel), 1000u);
    EXPECT_EQ(m_pChannel->setPosition(2000, FMOD_TIMEUNIT_MS), FMOD_OK);
    EXPECT_EQ(m_pChannel->setPaused(false), FMOD_ERR_INVALID_HANDLE);
}

TEST_F(FmodChannelOnSound, SettingsAreStoredAndChecked)
{
    Play(FMOD_3D);
    EXPECT_EQ(m_pChannel->setVolume(1.5f), FMOD_OK);
    float volume = 0.0f;
    m_pChannel->getVolume(&volume);
    EXPECT_EQ(volume, 1.0f);
    EXPECT_EQ(m_pChannel->setVolume(-0.5f), FMOD_OK);
    m_pChannel->getVolume(&volume);
    EXPECT_EQ(volume, 0.0f);
    EXPECT_EQ(m_pChannel->setVolume(0.5f), FMOD_OK);

    const FMOD_VECTOR pos = {1.0f, 2.0f, 3.0f};
    const FMOD_VECTOR vel = {-1.0f, 0.0f, 0.0f};
    EXPECT_EQ(m_pChannel->set3DAttributes(&pos, &vel), FMOD_OK);
    EXPECT_EQ(m_pChannel->set3DMinMaxDistance(5.0f, 50.0f), FMOD_OK);
    EXPECT_EQ(m_pChannel->set3DMinMaxDistance(5.0f, 4.0f), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(m_pChannel->set3DOcclusion(0.25f, 0.75f), FMOD_OK);

    FmodControl::ChannelState state;
    ASSERT_TRUE(FmodControl::GetChannelState(m_pChannel, &state));
    EXPECT_TRUE(state.paused);
    EXPECT_EQ(state.volume, 0.5f);
    EXPECT_EQ(state.position.y, 2.0f);
    EXPECT_EQ(state.velocity.x, -1.0f);
    EXPECT_EQ(state.minDistance, 5.0f);
    EXPECT_EQ(state.maxDistance, 50.0f);
    EXPECT_EQ(state.directOcclusion, 0.25f);
    EXPECT_EQ(state.reverbOcclusion, 0.75f);
}

TEST_F(FmodChannelOnSound, StopReleaseAndStealingEndChannels)
{
    Play(FMOD_DEFAULT);
    EXPECT_EQ(m_pChannel->stop(), FMOD_OK);
    EXPECT_EQ(m_pChannel->setPaused(false), FMOD_ERR_INVALID_HANDLE);

    // Four channels at most: a fifth steals the oldest.
    FMOD::Channel* channels[5] = {};
    for (FMOD::Channel*& pChannel : channels)
        ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, m_pSound, true, &pChannel), FMOD_OK);
    EXPECT_EQ(channels[0]->setPaused(false), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(channels[1]->setPaused(false), FMOD_OK);
    EXPECT_EQ(FmodControl::GetLiveChannelCount(), 4);

    EXPECT_EQ(m_pSound->release(), FMOD_OK);
    m_pSound = nullptr;
    EXPECT_EQ(channels[4]->setPaused(false), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(FmodControl::GetLiveChannelCount(), 0);
}

TEST_F(FmodChannelOnSound, EndedChannelsAreFreedAndTheirHandlesStaySafe)
{
    Play(FMOD_DEFAULT);
    ASSERT_EQ(m_pChannel->stop(), FMOD_OK);
    std::vector<FMOD::Channel*> channels{m_pChannel};
    for (int i = 0; i < 200; ++i)
    {
        FMOD::Channel* pChannel = nullptr;
        ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, m_pSound, false, &pChannel), FMOD_OK);
        channels.push_back(pChannel);
        EXPECT_EQ(i % 3 == 0 ? pChannel->stop() : FMOD_OK, FMOD_OK);
        Step(0.5);
    }
    Step(2.0);
    FmodControl::SystemState state;
    ASSERT_TRUE(FmodControl::GetSystemState(m_pSystem, &state));
    EXPECT_EQ(state.activeChannelCount, 0);
    EXPECT_EQ(state.channelRecordCount, 0) << "stolen, stopped and finished channels are freed";
    for (FMOD::Channel* pChannel : channels)
    {
        bool paused = false;
        EXPECT_EQ(pChannel->getPaused(&paused), FMOD_ERR_INVALID_HANDLE);
        EXPECT_EQ(pChannel->stop(), FMOD_ERR_INVALID_HANDLE);
    }

    // A channel played after the others were freed is a new handle that works.
    FMOD::Channel* pChannel = nullptr;
    ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, m_pSound, true, &pChannel), FMOD_OK);
    EXPECT_EQ(pChannel->setPaused(false), FMOD_OK);
    EXPECT_EQ(channels.back()->setPaused(false), FMOD_ERR_INVALID_HANDLE);
}

TEST_F(FmodChannel, PlaySoundChecksItsArguments)
{
    InitSystem();
    FMOD::Channel* pChannel = nullptr;
    EXPECT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, nullptr, true, &pChannel), FMOD_ERR_INVALID_PARAM);
    FMOD::Sound* pSound = nullptr;
    ASSERT_EQ(CreateSound(TestAudioFiles::MakeMp3(10), FMOD_CREATESAMPLE, &pSound), FMOD_OK);
    EXPECT_EQ(m_pSystem->playSound(FMOD_CHANNEL_REUSE, pSound, true, &pChannel), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, true, nullptr), FMOD_ERR_INVALID_PARAM);
    FmodControl::FailNext("System::playSound", FMOD_ERR_CHANNEL_ALLOC);
    EXPECT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, true, &pChannel), FMOD_ERR_CHANNEL_ALLOC);
    EXPECT_EQ(FmodControl::GetLiveChannelCount(), 0);
    EXPECT_EQ(pSound->release(), FMOD_OK);
}
