#include "tests/platform/fmod/FmodTestFixture.h"

#include "tests/support/TestAudioFiles.h"

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

using FmodSystem = FmodTest;

TEST_F(FmodSystem, DefaultScriptHasOneDriverAndCurrentVersion)
{
    ASSERT_EQ(FMOD::System_Create(&m_pSystem), FMOD_OK);
    unsigned int version = 0;
    EXPECT_EQ(m_pSystem->getVersion(&version), FMOD_OK);
    EXPECT_EQ(version, FMOD_VERSION);
    int drivers = -1;
    EXPECT_EQ(m_pSystem->getNumDrivers(&drivers), FMOD_OK);
    EXPECT_EQ(drivers, 1);
    char name[256];
    EXPECT_EQ(m_pSystem->getDriverInfo(0, name, sizeof name, nullptr), FMOD_OK);
    EXPECT_STREQ(name, "Stand-in audio device");
    EXPECT_EQ(m_pSystem->getDriverInfo(1, name, sizeof name, nullptr), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(m_pSystem->getDriverInfo(-1, name, sizeof name, nullptr), FMOD_ERR_INVALID_PARAM);
}

TEST_F(FmodSystem, ScriptedDriversReportNamesCapsAndSpeakerModes)
{
    FmodControl::SetDrivers(
        {{"Speakers (SigmaTel High Definition Audio)", FMOD_CAPS_HARDWARE_EMULATED, FMOD_SPEAKERMODE_5POINT1},
         {"Headphones", FMOD_CAPS_NONE, FMOD_SPEAKERMODE_STEREO}});
    FmodControl::SetVersion(0x44429);
    ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
    unsigned int version = 0;
    m_pSystem->getVersion(&version);
    EXPECT_EQ(version, 0x44429u);
    int drivers = 0;
    m_pSystem->getNumDrivers(&drivers);
    ASSERT_EQ(drivers, 2);

    FMOD_CAPS caps = 0;
    FMOD_SPEAKERMODE mode = FMOD_SPEAKERMODE_RAW;
    EXPECT_EQ(m_pSystem->getDriverCaps(0, &caps, nullptr, &mode), FMOD_OK);
    EXPECT_EQ(caps, FMOD_CAPS_HARDWARE_EMULATED);
    EXPECT_EQ(mode, FMOD_SPEAKERMODE_5POINT1);
    EXPECT_EQ(m_pSystem->getDriverCaps(1, &caps, nullptr, &mode), FMOD_OK);
    EXPECT_EQ(caps, FMOD_CAPS_NONE);
    EXPECT_EQ(m_pSystem->getDriverCaps(2, &caps, nullptr, &mode), FMOD_ERR_INVALID_PARAM);

    // Names are cut to the buffer, always terminated.
    char name[8];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(m_pSystem->getDriverInfo(1, name, sizeof name, nullptr), FMOD_OK);
    EXPECT_STREQ(name, "Headpho");
}

TEST_F(FmodSystem, NoDriverNeedsNoSoundOutputToInitialise)
{
    FmodControl::SetDrivers({});
    ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
    int drivers = -1;
    m_pSystem->getNumDrivers(&drivers);
    EXPECT_EQ(drivers, 0);
    EXPECT_EQ(m_pSystem->init(100, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_OUTPUT_INIT);
    EXPECT_EQ(m_pSystem->setOutput(FMOD_OUTPUTTYPE_NOSOUND), FMOD_OK);
    EXPECT_EQ(m_pSystem->init(100, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    FmodControl::SystemState state;
    ASSERT_TRUE(FmodControl::GetSystemState(m_pSystem, &state));
    EXPECT_TRUE(state.initialized);
    EXPECT_EQ(state.output, FMOD_OUTPUTTYPE_NOSOUND);
}

TEST_F(FmodSystem, SetupIsRecordedAndRefusedOnceInitialised)
{
    FmodControl::SetDrivers({{"A", 0, FMOD_SPEAKERMODE_STEREO}, {"B", 0, FMOD_SPEAKERMODE_QUAD}});
    ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
    EXPECT_EQ(m_pSystem->setSpeakerMode(FMOD_SPEAKERMODE_QUAD), FMOD_OK);
    EXPECT_EQ(m_pSystem->setDSPBufferSize(1024, 10), FMOD_OK);
    EXPECT_EQ(
        m_pSystem->setSoftwareFormat(48000, FMOD_SOUND_FORMAT_PCMFLOAT, 0, 0, FMOD_DSP_RESAMPLER_LINEAR),
        FMOD_OK);
    EXPECT_EQ(m_pSystem->setDriver(2), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(m_pSystem->setDriver(1), FMOD_OK);
    EXPECT_EQ(m_pSystem->init(1024, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    EXPECT_EQ(m_pSystem->set3DSettings(1.0f, 100.0f, 1.0f), FMOD_OK);

    FmodControl::SystemState state;
    ASSERT_TRUE(FmodControl::GetSystemState(m_pSystem, &state));
    EXPECT_EQ(state.speakerMode, FMOD_SPEAKERMODE_QUAD);
    EXPECT_EQ(state.dspBufferLength, 1024u);
    EXPECT_EQ(state.dspNumBuffers, 10);
    EXPECT_EQ(state.softwareRate, 48000);
    EXPECT_EQ(state.softwareFormat, FMOD_SOUND_FORMAT_PCMFLOAT);
    EXPECT_EQ(state.resampler, FMOD_DSP_RESAMPLER_LINEAR);
    EXPECT_EQ(state.driver, 1);
    EXPECT_EQ(state.maxChannels, 1024);
    EXPECT_EQ(state.distanceFactor, 100.0f);

    EXPECT_EQ(m_pSystem->init(1024, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_INITIALIZED);
    EXPECT_EQ(m_pSystem->setSpeakerMode(FMOD_SPEAKERMODE_STEREO), FMOD_ERR_INITIALIZED);
    EXPECT_EQ(m_pSystem->setDriver(0), FMOD_ERR_INITIALIZED);
    EXPECT_EQ(m_pSystem->setDSPBufferSize(512, 4), FMOD_ERR_INITIALIZED);
}

TEST_F(FmodSystem, InjectedFailuresQueuePerCallAndLeaveNoEffect)
{
    ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
    FmodControl::FailNext("System::init", FMOD_ERR_OUTPUT_CREATEBUFFER);
    FmodControl::FailNext("System::init", FMOD_ERR_OUTPUT_INIT);
    EXPECT_EQ(m_pSystem->init(1024, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_OUTPUT_CREATEBUFFER);
    EXPECT_EQ(m_pSystem->init(100, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_OUTPUT_INIT);
    FmodControl::SystemState state;
    FmodControl::GetSystemState(m_pSystem, &state);
    EXPECT_FALSE(state.initialized);
    EXPECT_EQ(m_pSystem->init(100, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    EXPECT_EQ(FmodControl::GetCallCount("System::init"), 3);

    const std::vector<std::string> log = FmodControl::GetCallLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "FMOD_System_Create()");
    EXPECT_EQ(log[1], "System::init(1024, 0)");
    EXPECT_EQ(log[3], "System::init(100, 0)");

    FmodControl::FailNext("FMOD_System_Create", FMOD_ERR_MEMORY);
    FMOD::System* pOther = reinterpret_cast<FMOD::System*>(&state);
    EXPECT_EQ(FMOD_System_Create(&pOther), FMOD_ERR_MEMORY);
    EXPECT_EQ(pOther, nullptr);
}

// The log keeps the latest 10000 calls, oldest first, however often it has gone round; a failure
// queued for a call is still found after that.
TEST_F(FmodSystem, CallLogKeepsTheLatestCallsInOrderOnceFull)
{
    ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
    for (int i = 0; i < 10000 + 2500; ++i)
        m_pSystem->init(i, FMOD_INIT_NORMAL, nullptr);
    std::vector<std::string> log = FmodControl::GetCallLog();
    ASSERT_EQ(log.size(), 10000u);
    EXPECT_EQ(log.front(), "System::init(2500, 0)"); // after System_Create and 2500 inits
    EXPECT_EQ(log[7499], "System::init(9999, 0)");
    EXPECT_EQ(log.back(), "System::init(12499, 0)");
    EXPECT_EQ(FmodControl::GetCallCount("System::init"), 12500);

    FmodControl::FailNext("System::getVersion", FMOD_ERR_MEMORY);
    unsigned int version = 0;
    EXPECT_EQ(m_pSystem->getVersion(&version), FMOD_ERR_MEMORY);
    log = FmodControl::GetCallLog();
    EXPECT_EQ(log.back(), "System::getVersion()");
    EXPECT_EQ(log.front(), "System::init(2501, 0)");

    FmodControl::ClearCallLog();
    EXPECT_TRUE(FmodControl::GetCallLog().empty());
    EXPECT_EQ(m_pSystem->getVersion(&version), FMOD_OK);
    EXPECT_EQ(FmodControl::GetCallLog(), std::vector<std::string>{"System::getVersion()"});
}

TEST_F(FmodSystem, SoundsNeedAnInitialisedSystemAndAnHonestRecordSize)
{
    const std::vector<std::uint8_t> wav =
        TestAudioFiles::MakeWav(1, 8000, 16, false, TestAudioFiles::MakeSine(1, 8000, 800, 440.0, 0.5f));
    ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
    FMOD::Sound* pSound = nullptr;
    EXPECT_EQ(CreateSound(wav, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_UNINITIALIZED);
    ASSERT_EQ(m_pSystem->init(32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);

    FMOD_CREATESOUNDEXINFO exinfo = {};
    exinfo.cbsize = 216;
    exinfo.length = static_cast<unsigned int>(wav.size());
    const char* data = reinterpret_cast<const char*>(wav.data());
    EXPECT_EQ(m_pSystem->createSound(data, FMOD_OPENMEMORY, &exinfo, &pSound), FMOD_ERR_INVALID_PARAM);
    exinfo.cbsize = sizeof exinfo;
    EXPECT_EQ(m_pSystem->createSound(data, FMOD_OPENMEMORY, nullptr, &pSound), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(m_pSystem->createSound(data, FMOD_DEFAULT, &exinfo, &pSound), FMOD_ERR_FILE_NOTFOUND);
    exinfo.length = 0;
    EXPECT_EQ(m_pSystem->createSound(data, FMOD_OPENMEMORY, &exinfo, &pSound), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(pSound, nullptr);
    EXPECT_EQ(CreateSound(wav, FMOD_CREATESAMPLE, &pSound), FMOD_OK);
    EXPECT_NE(pSound, nullptr);
}

TEST_F(FmodSystem, MasterVolumeAndListenerAreStored)
{
    InitSystem();
    FMOD::ChannelGroup* pGroup = nullptr;
    ASSERT_EQ(m_pSystem->getMasterChannelGroup(&pGroup), FMOD_OK);
    ASSERT_NE(pGroup, nullptr);
    EXPECT_EQ(pGroup->setVolume(0.25f), FMOD_OK);
    float volume = 0.0f;
    EXPECT_EQ(pGroup->getVolume(&volume), FMOD_OK);
    EXPECT_EQ(volume, 0.25f);

    const FMOD_VECTOR pos = {1.0f, 2.0f, 3.0f};
    const FMOD_VECTOR vel = {0.0f, 0.0f, 4.0f};
    const FMOD_VECTOR fwd = {0.0f, 0.0f, -1.0f};
    const FMOD_VECTOR up = {0.0f, 1.0f, 0.0f};
    EXPECT_EQ(m_pSystem->set3DListenerAttributes(0, &pos, &vel, &fwd, &up), FMOD_OK);
    EXPECT_EQ(m_pSystem->set3DListenerAttributes(1, &pos, &vel, &fwd, &up), FMOD_ERR_INVALID_PARAM);
    FmodControl::SystemState state;
    ASSERT_TRUE(FmodControl::GetSystemState(m_pSystem, &state));
    EXPECT_EQ(state.masterVolume, 0.25f);
    EXPECT_EQ(state.listenerPosition.z, 3.0f);
    EXPECT_EQ(state.listenerVelocity.z, 4.0f);
    EXPECT_EQ(state.listenerForward.z, -1.0f);
}

TEST_F(FmodSystem, ReleaseFreesWhatWasLeftAndCountsIt)
{
    InitSystem();
    const std::vector<std::uint8_t> wav =
        TestAudioFiles::MakeWav(1, 8000, 8, false, TestAudioFiles::MakeSine(1, 8000, 80, 100.0, 0.5f));
    FMOD::Sound* pSound = nullptr;
    ASSERT_EQ(CreateSound(wav, FMOD_CREATESAMPLE, &pSound), FMOD_OK);
    FMOD::Channel* pChannel = nullptr;
    ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, true, &pChannel), FMOD_OK);
    EXPECT_EQ(FmodControl::GetLiveSoundCount(), 1);
    EXPECT_EQ(FmodControl::GetLiveChannelCount(), 1);
    EXPECT_EQ(m_pSystem->release(), FMOD_OK);
    m_pSystem = nullptr;
    EXPECT_EQ(FmodControl::GetObjectsLeftAtSystemRelease(), 2);
}

// Sounds are made on a worker while the main thread updates and plays: the system must stay
// consistent (and ThreadSanitizer quiet).
TEST_F(FmodSystem, SoundsCanBeCreatedOnAWorkerWhileTheMainThreadUpdates)
{
    InitSystem(8);
    const std::vector<std::uint8_t> wav =
        TestAudioFiles::MakeWav(2, 22050, 16, false, TestAudioFiles::MakeSine(2, 22050, 2205, 440.0, 0.5f));
    constexpr int SOUNDS = 40;
    std::vector<FMOD::Sound*> sounds(SOUNDS, nullptr);
    std::atomic<int> created{0};
    std::thread worker(
        [&]
        {
            for (int i = 0; i < SOUNDS; ++i)
            {
                EXPECT_EQ(CreateSound(wav, FMOD_CREATESAMPLE | FMOD_LOOP_NORMAL,
                                      &sounds[static_cast<std::size_t>(i)]),
                          FMOD_OK);
                created.store(i + 1, std::memory_order_release);
            }
        });
    int played = 0;
    while (played < SOUNDS)
    {
        FmodControl::AdvanceClock(0.01);
        EXPECT_EQ(m_pSystem->update(), FMOD_OK);
        const int ready = created.load(std::memory_order_acquire);
        for (; played < ready; ++played)
        {
            FMOD::Channel* pChannel = nullptr;
            EXPECT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, sounds[static_cast<std::size_t>(played)], false,
                                           &pChannel),
                      FMOD_OK);
        }
    }
    worker.join();
    FmodControl::SystemState state;
    ASSERT_TRUE(FmodControl::GetSystemState(m_pSystem, &state));
    EXPECT_EQ(state.soundCount, SOUNDS);
    EXPECT_EQ(state.activeChannelCount, 8); // the older ones were stolen
    for (FMOD::Sound* pSound : sounds)
        EXPECT_EQ(pSound->release(), FMOD_OK);
}
