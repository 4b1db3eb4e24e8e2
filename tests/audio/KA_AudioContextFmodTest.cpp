#include "audio/KA_AudioContextFmod.h"
#include "audio/KA_AudioContextFmodFactory.h"
#include "audio/KA_AudioResource.h"
#include "platform/fmod/FmodControl.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestAudioFiles.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{

class KA_AudioContextFmodTest : public ::testing::Test
{
protected:
    void SetUp() override { FmodControl::Reset(); }

    void TearDown() override
    {
        m_pContext.reset();
        EXPECT_EQ(FmodControl::GetLiveSystemCount(), 0);
        FmodControl::Reset();
    }

    // Initialises a fresh context and clears the call log, so that only what follows is logged.
    void Initialize(const std::vector<FmodControl::Driver>& drivers)
    {
        m_pContext.reset();
        FmodControl::Reset();
        FmodControl::SetDrivers(drivers);
        m_pContext = std::make_unique<KA_AudioContextFmod>();
        ASSERT_TRUE(m_pContext->Initialize());
        FmodControl::ClearCallLog();
    }

    std::unique_ptr<KA_AudioContextFmod> m_pContext;
};

const FmodControl::Driver SIGMATEL = {"Speakers (SigmaTel High Definition Audio CODEC)",
                                      FMOD_CAPS_HARDWARE_EMULATED, FMOD_SPEAKERMODE_5POINT1};

} // namespace

TEST_F(KA_AudioContextFmodTest, InitializeListsTheDriversInOrder)
{
    Initialize({{"First", 0, FMOD_SPEAKERMODE_STEREO}, {"Second", 0, FMOD_SPEAKERMODE_STEREO}});
    const KB_GrowingArray<KB_String>& devices = m_pContext->GetAudioDevices();
    ASSERT_EQ(devices.GetNumMembers(), 2u);
    EXPECT_EQ(devices[0], KB_String("First"));
    EXPECT_EQ(devices[1], KB_String("Second"));
}

TEST_F(KA_AudioContextFmodTest, InitializeFailsOnAnOldVersionOrAFailedCall)
{
    struct Case
    {
        const char* name;
        unsigned int version;
        const char* failingCall;
        bool expected;
    };
    const Case cases[] = {
        {"oldest accepted version", 0x44430, nullptr, true},
        {"one release older", 0x44429, nullptr, false},
        {"no system", FMOD_VERSION, "FMOD_System_Create", false},
        {"no version", FMOD_VERSION, "System::getVersion", false},
        {"no driver count", FMOD_VERSION, "System::getNumDrivers", false},
        {"no driver name", FMOD_VERSION, "System::getDriverInfo", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FmodControl::Reset();
        FmodControl::SetVersion(c.version);
        if (c.failingCall != nullptr)
            FmodControl::FailNext(c.failingCall, FMOD_ERR_INTERNAL);
        KA_AudioContextFmod context;
        EXPECT_EQ(context.Initialize(), c.expected);
    }
    EXPECT_EQ(FmodControl::GetLiveSystemCount(), 0);
}

TEST_F(KA_AudioContextFmodTest, WithoutDriversTheOutputIsSilentAndInitGoesAhead)
{
    Initialize({});
    EXPECT_EQ(m_pContext->GetAudioDevices().GetNumMembers(), 0u);
    FmodControl::ClearCallLog();
    EXPECT_TRUE(m_pContext->SelectAudioDevice(0));
    EXPECT_EQ(FmodControl::GetCallLog(),
              (std::vector<std::string>{"System::init(1024, 0)", "System::set3DSettings(1, 100, 1)"}));

    KA_AudioContextFmod other;
    FmodControl::ClearCallLog();
    ASSERT_TRUE(other.Initialize());
    EXPECT_EQ(FmodControl::GetCallCount("System::setOutput"), 1);
    EXPECT_EQ(FmodControl::GetCallLog().back(), "System::setOutput(2)");
}

TEST_F(KA_AudioContextFmodTest, SigmaTelDriversGetFloatOutputBeforeTheDriverIsSet)
{
    Initialize({SIGMATEL});
    EXPECT_TRUE(m_pContext->SelectAudioDevice(0));
    EXPECT_EQ(FmodControl::GetCallLog(), (std::vector<std::string>{
                                             "System::getDriverCaps(0)",
                                             "System::setSpeakerMode(5)",
                                             "System::setDSPBufferSize(1024, 10)",
                                             "System::getDriverInfo(0, 256)",
                                             "System::setSoftwareFormat(48000, 5, 0, 0, 1)",
                                             "System::setDriver(0)",
                                             "System::init(1024, 0)",
                                             "System::set3DSettings(1, 100, 1)",
                                         }));
}

TEST_F(KA_AudioContextFmodTest, OtherDriversKeepTheDefaultFormat)
{
    Initialize({{"speakers (sigmatel audio)", FMOD_CAPS_NONE, FMOD_SPEAKERMODE_QUAD}});
    EXPECT_TRUE(m_pContext->SelectAudioDevice(0));
    EXPECT_EQ(FmodControl::GetCallCount("System::setSoftwareFormat"), 0);
    EXPECT_EQ(FmodControl::GetCallCount("System::setDSPBufferSize"), 0); // no emulated caps
    EXPECT_EQ(FmodControl::GetCallLog()[1], "System::setSpeakerMode(3)");
}

TEST_F(KA_AudioContextFmodTest, AnIndexAtTheDriverCountKeepsTheDefaultDriver)
{
    Initialize({SIGMATEL});
    EXPECT_TRUE(m_pContext->SelectAudioDevice(1));
    EXPECT_EQ(FmodControl::GetCallLog(),
              (std::vector<std::string>{"System::init(1024, 0)", "System::set3DSettings(1, 100, 1)"}));
}

TEST_F(KA_AudioContextFmodTest, ABufferFailureIsRetriedOnceInStereoWithFewerChannels)
{
    Initialize({SIGMATEL});
    FmodControl::FailNext("System::init", FMOD_ERR_OUTPUT_CREATEBUFFER);
    EXPECT_TRUE(m_pContext->SelectAudioDevice(0));
    const std::vector<std::string> log = FmodControl::GetCallLog();
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log[6], "System::init(1024, 0)");
    EXPECT_EQ(log[7], "System::setSpeakerMode(2)");
    EXPECT_EQ(log[8], "System::init(100, 0)");

    // Two buffer failures in a row, or any other init failure, are final.
    for (FMOD_RESULT second : {FMOD_ERR_OUTPUT_CREATEBUFFER, FMOD_ERR_OUTPUT_INIT})
    {
        Initialize({SIGMATEL});
        FmodControl::FailNext("System::init", FMOD_ERR_OUTPUT_CREATEBUFFER);
        FmodControl::FailNext("System::init", second);
        EXPECT_FALSE(m_pContext->SelectAudioDevice(0));
        EXPECT_EQ(FmodControl::GetCallCount("System::init"), 2);
    }
    Initialize({SIGMATEL});
    FmodControl::FailNext("System::init", FMOD_ERR_OUTPUT_INIT);
    EXPECT_FALSE(m_pContext->SelectAudioDevice(0));
    EXPECT_EQ(FmodControl::GetCallCount("System::init"), 1);
}

TEST_F(KA_AudioContextFmodTest, AnyFailedDriverStepEndsTheSelection)
{
    for (const char* call :
         {"System::getDriverCaps", "System::setSpeakerMode", "System::setDSPBufferSize",
          "System::getDriverInfo", "System::setSoftwareFormat", "System::setDriver", "System::set3DSettings"})
    {
        SCOPED_TRACE(call);
        Initialize({SIGMATEL});
        FmodControl::FailNext(call, FMOD_ERR_INTERNAL);
        EXPECT_FALSE(m_pContext->SelectAudioDevice(0));
    }
}

TEST_F(KA_AudioContextFmodTest, FrameCallsReachTheSystem)
{
    Initialize({SIGMATEL});
    // Before the device is opened there is no master group: the first call's result comes back.
    EXPECT_EQ(m_pContext->SetMasterVolume(0.5f), FMOD_ERR_UNINITIALIZED);
    ASSERT_TRUE(m_pContext->SelectAudioDevice(0));
    FmodControl::ClearCallLog();
    EXPECT_EQ(m_pContext->Update(), FMOD_OK);
    EXPECT_EQ(m_pContext->SetMasterVolume(0.5f), FMOD_OK);
    const DirectX::XMFLOAT3 pos(1.0f, 2.0f, 3.0f);
    const DirectX::XMFLOAT3 vel(0.0f, 0.0f, 0.5f);
    const DirectX::XMFLOAT3 fwd(0.0f, 0.0f, 1.0f);
    const DirectX::XMFLOAT3 up(0.0f, 1.0f, 0.0f);
    EXPECT_EQ(m_pContext->Set3DListenerAttributes(&pos, &vel, &fwd, &up), FMOD_OK);
    EXPECT_EQ(FmodControl::GetCallLog(),
              (std::vector<std::string>{
                  "System::update()", "System::getMasterChannelGroup()", "ChannelGroup::setVolume(0.5)",
                  "System::set3DListenerAttributes(0, (1 2 3), (0 0 0.5), (0 0 1), (0 1 0))"}));
}

TEST_F(KA_AudioContextFmodTest, AContextWithoutSystemFailsQuietly)
{
    KA_AudioContextFmod context;
    EXPECT_FALSE(context.SelectAudioDevice(0));
    EXPECT_NE(context.Update(), FMOD_OK);
    EXPECT_NE(context.SetMasterVolume(1.0f), FMOD_OK);
    EXPECT_NE(context.Set3DListenerAttributes(nullptr, nullptr, nullptr, nullptr), FMOD_OK);
    EXPECT_EQ(context.CreateAudioResource(KB_String("music.mp3"), false, false), nullptr);
    EXPECT_EQ(FmodControl::GetCallLog().size(), 0u);
}

TEST_F(KA_AudioContextFmodTest, TheFactoryMakesAnFmodContext)
{
    KA_AudioContextFmodFactory factory;
    std::unique_ptr<KA_AudioContext> pContext(factory.CreateAudioContext());
    ASSERT_NE(dynamic_cast<KA_AudioContextFmod*>(pContext.get()), nullptr);
    EXPECT_TRUE(pContext->Initialize());
    EXPECT_EQ(pContext->GetAudioDevices().GetNumMembers(), 1u);
}

namespace
{

std::string AsText(const std::vector<std::uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// An opened context and an engine whose file manager reads one in-memory repository.
class KA_AudioContextFmodFiles : public KA_AudioContextFmodTest
{
protected:
    void SetUp() override
    {
        KA_AudioContextFmodTest::SetUp();
        m_Files.Install();
        Initialize({{"Speakers", FMOD_CAPS_NONE, FMOD_SPEAKERMODE_STEREO}});
        ASSERT_TRUE(m_pContext->SelectAudioDevice(0));
        FmodControl::ClearCallLog();
    }

    std::string CreateSoundCall()
    {
        for (const std::string& call : FmodControl::GetCallLog())
            if (call.rfind("System::createSound", 0) == 0)
                return call;
        return "";
    }

    TestEngine m_Engine;
    MemoryFiles m_Files;
    MemoryRepository* m_pRepository = m_Files.GetRepository();
};

} // namespace

TEST_F(KA_AudioContextFmodFiles, OnlyALowerCaseMp3ExtensionSuggestsTheCodec)
{
    const std::vector<std::uint8_t> mp3 = TestAudioFiles::MakeMp3(100);
    struct Case
    {
        const char* path;
        bool is3D;
        bool looped;
        std::string expected;
    };
    const std::string length = std::to_string(mp3.size());
    const Case cases[] = {
        {"Audio/music.mp3", false, false, "System::createSound(0x900, " + length + ", 11)"},
        {"Audio/MUSIC.MP3", false, false, "System::createSound(0x900, " + length + ", 0)"},
        {"Audio/music.Mp3", true, false, "System::createSound(0x910, " + length + ", 0)"},
        {"Audio/music.wav", false, true, "System::createSound(0x902, " + length + ", 0)"},
        {"Audio/music", true, true, "System::createSound(0x912, " + length + ", 0)"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.path);
        m_pRepository->SetFile(c.path, AsText(mp3));
        FmodControl::ClearCallLog();
        std::unique_ptr<KA_AudioResource> pResource(
            m_pContext->CreateAudioResource(KB_String(c.path), c.is3D, c.looped));
        ASSERT_NE(pResource, nullptr);
        EXPECT_EQ(CreateSoundCall(), c.expected);
        EXPECT_NEAR(pResource->GetLength(), 2.612, 1e-9);
        EXPECT_EQ(m_pRepository->GetReferenceCount(c.path), 0u);
    }
}

TEST_F(KA_AudioContextFmodFiles, AMissingFileGivesNullWithoutAnyFmodCall)
{
    EXPECT_EQ(m_pContext->CreateAudioResource(KB_String("Audio/missing.mp3"), false, false), nullptr);
    EXPECT_EQ(FmodControl::GetCallLog().size(), 0u);
}

TEST_F(KA_AudioContextFmodFiles, TheFileIsReleasedWhateverFmodSays)
{
    m_pRepository->SetFile("Audio/notes.txt", "not a sound at all, just some words");
    EXPECT_EQ(m_pContext->CreateAudioResource(KB_String("Audio/notes.txt"), false, false), nullptr);
    EXPECT_EQ(CreateSoundCall().empty(), false);
    EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u);
    EXPECT_EQ(FmodControl::GetLiveSoundCount(), 0);
}

TEST_F(KA_AudioContextFmodFiles, SoundsAreMadeOnAWorkerWhileTheMainThreadUpdates)
{
    const std::vector<std::uint8_t> wav =
        TestAudioFiles::MakeWav(2, 22050, 16, false, TestAudioFiles::MakeSine(2, 22050, 4410, 440.0, 0.5f));
    constexpr int SOUNDS = 16;
    for (int i = 0; i < SOUNDS; ++i)
        m_pRepository->SetFile("Audio/sound" + std::to_string(i) + ".wav", AsText(wav));
    std::vector<std::unique_ptr<KA_AudioResource>> resources(SOUNDS);
    std::atomic<bool> done{false};
    std::thread worker(
        [&]
        {
            for (int i = 0; i < SOUNDS; ++i)
            {
                const std::string path = "Audio/sound" + std::to_string(i) + ".wav";
                resources[static_cast<std::size_t>(i)].reset(
                    m_pContext->CreateAudioResource(KB_String(path.c_str()), false, true));
            }
            done.store(true, std::memory_order_release);
        });
    while (!done.load(std::memory_order_acquire))
    {
        m_pContext->Update();
        m_pContext->SetMasterVolume(0.5f);
    }
    worker.join();
    for (const auto& pResource : resources)
    {
        ASSERT_NE(pResource, nullptr);
        EXPECT_EQ(pResource->Play(), FMOD_OK);
    }
    resources.clear();
    EXPECT_EQ(FmodControl::GetLiveSoundCount(), 0);
}
