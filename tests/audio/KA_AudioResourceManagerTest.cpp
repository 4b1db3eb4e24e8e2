#include "audio/KA_AudioResourceManager.h"
#include "audio/KA_AudioContextFmod.h"
#include "audio/KA_AudioEntity.h"
#include "platform/fmod/FmodControl.h"
#include "tests/audio/AudioTestFixture.h"
#include "tests/support/TestAudioFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

using namespace DirectX;

namespace
{

class KA_AudioResourceManagerTest : public AudioEngineFixture
{
protected:
    void SetUp() override
    {
        AudioEngineFixture::SetUp();
        m_pManager = m_pAudio->GetAudioResourceManager();
        m_pManager->SetAudioEntityPath(KB_String(DIRECTORY));
    }

    // An entity file "<name>.aud" playing "<name>.wav", a sound of the given length.
    void AddEntity(const std::string& name, double start, double end, double length,
                   const std::string& extra = "")
    {
        GetFakeContext()->m_mapLengths[name + ".wav"] = length;
        AddFile(std::string(DIRECTORY) + name + ".aud", "s " + std::to_string(start) + "\ne " +
                                                            std::to_string(end) + "\nf " + name + ".wav\n" +
                                                            extra);
    }

    FakeAudioResource* Sound(std::uint32_t index) const
    {
        return static_cast<FakeAudioResource*>(m_pManager->GetEntries()[index].m_pEntity->GetAudioResource());
    }
    bool Playing(std::uint32_t index) const { return m_pManager->GetEntries()[index].m_bPlaying; }

    void PressF7()
    {
        std::uint64_t key = KA_AudioResourceManager::KEEP_LOOPED_3D_TOGGLE_KEY;
        m_pDispatcher->Dispatch(KE_MT_Keyboard, KE_MST_KeyDown, &key);
    }

    KA_AudioResourceManager* m_pManager = nullptr;
};

} // namespace

TEST_F(KA_AudioResourceManagerTest, ResumeSeeksWithTheTimeScale)
{
    AddEntity("a", 10.0, 30.0, 60.0);
    AddEntity("b", 20.0, 30.0, 60.0);
    m_pManager->LoadAll();
    ASSERT_EQ(m_pManager->GetEntries().GetNumMembers(), 2u);
    m_pManager->SetTimeScale(12.0 / 13.0);
    m_pManager->Resume(11.3);
    EXPECT_FALSE(m_pManager->IsPaused());
    EXPECT_NEAR(Sound(0)->m_fPosition, 1.2, 1e-9);
    EXPECT_TRUE(Sound(0)->m_bPlaying);
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Sound(1)->m_bPlaying); // not begun: paused, started later by Update
    EXPECT_EQ(Sound(1)->m_iSeekCount, 0);

    m_pManager->Update(20.5);
    EXPECT_TRUE(Playing(1));
    EXPECT_EQ(Sound(1)->m_iSeekCount, 0); // Update starts from where the channel stands
    EXPECT_GT(Sound(0)->m_iSpectrumUpdates, 0);
    m_pManager->Update(31.0);
    EXPECT_FALSE(Playing(0));
    EXPECT_FALSE(Sound(0)->m_bPlaying);
}

TEST_F(KA_AudioResourceManagerTest, EntitiesPastTheirSoundsLengthLoopOrStaySilent)
{
    AddEntity("looped", 0.0, 100.0, 4.0, "l 1\n");
    AddEntity("once", 0.0, 100.0, 4.0);
    m_pManager->LoadAll();
    m_pManager->Resume(10.5);
    EXPECT_DOUBLE_EQ(Sound(0)->m_fPosition, 2.5);
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1));
    EXPECT_FALSE(Sound(1)->m_bPlaying);

    m_pManager->LoadAll(); // fresh entities during playback start through Update
    m_pManager->Update(9.0);
    EXPECT_DOUBLE_EQ(Sound(0)->m_fPosition, 1.0); // looped, past its length: 9 mod 4
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1)); // silent for the rest of its interval
    m_pManager->Update(9.5);
    EXPECT_FALSE(Playing(1));
    EXPECT_EQ(Sound(1)->m_iPlayCount, 0);
}

TEST_F(KA_AudioResourceManagerTest, ReloadDuringPlaybackStartsFromTheBeginningUntilResume)
{
    AddEntity("a", 0.0, 100.0, 60.0);
    m_pManager->LoadAll();
    m_pManager->Resume(5.0);
    m_pManager->LoadAll();
    EXPECT_FALSE(Playing(0));
    m_pManager->Update(7.0);
    EXPECT_TRUE(Playing(0));
    EXPECT_EQ(Sound(0)->m_iSeekCount, 0);
    EXPECT_DOUBLE_EQ(Sound(0)->m_fPosition, 0.0);
    m_pManager->Resume(7.0);
    EXPECT_DOUBLE_EQ(Sound(0)->m_fPosition, 7.0);
}

TEST_F(KA_AudioResourceManagerTest, ZeroLengthSoundPlaysWithoutSeeking)
{
    AddEntity("empty", 0.0, 10.0, 0.0, "l 1\n");
    m_pManager->LoadAll();
    m_pManager->Resume(3.0);
    EXPECT_TRUE(Playing(0));
    EXPECT_EQ(Sound(0)->m_iSeekCount, 0);
    m_pManager->LoadAll();
    m_pManager->Update(4.0);
    EXPECT_TRUE(Playing(0));
    EXPECT_EQ(Sound(0)->m_iSeekCount, 0);
    EXPECT_FALSE(std::isnan(Sound(0)->m_fPosition));
}

TEST_F(KA_AudioResourceManagerTest, F7DecidesWhetherLooped3DSoundsPlayWhilePaused)
{
    AddEntity("a_wind", 0.0, 100.0, 5.0, "l 1\n3d 1\n");
    AddEntity("b_music", 0.0, 100.0, 500.0);
    m_pManager->LoadAll();
    m_pManager->Resume(1.0);
    m_pManager->PauseAll();
    EXPECT_TRUE(Playing(0)); // kept
    EXPECT_FALSE(Playing(1));
    EXPECT_FALSE(Sound(1)->m_bPlaying);

    PressF7(); // cleared: the kept sound pauses at the next Update
    EXPECT_FALSE(m_pManager->IsKeepingLooped3DSounds());
    EXPECT_TRUE(Playing(0));
    m_pManager->Update(2.0);
    EXPECT_FALSE(Playing(0));
    EXPECT_FALSE(Sound(0)->m_bPlaying);

    PressF7(); // set again: every active looped 3-D sound starts at the next Update
    m_pManager->Update(2.5);
    EXPECT_TRUE(Playing(0));
    EXPECT_FALSE(Playing(1));

    m_pManager->Resume(3.0);
    PressF7(); // outside pause mode nothing changes until PauseAll
    m_pManager->Update(3.5);
    EXPECT_TRUE(Playing(0));
    m_pManager->PauseAll();
    EXPECT_FALSE(Playing(0));

    std::uint64_t other = 0x75;
    EXPECT_FALSE(m_pManager->Receive(KE_MT_Keyboard, KE_MST_KeyDown, &other));
    EXPECT_TRUE(m_pManager->Receive(KE_MT_Keyboard, KE_MST_KeyDown, nullptr));
    EXPECT_FALSE(m_pManager->Receive(KE_MT_Keyboard, KE_MST_KeyUp, nullptr));
    EXPECT_FALSE(m_pManager->IsKeepingLooped3DSounds());
}

TEST_F(KA_AudioResourceManagerTest, MasterVolumeCurveIsOptional)
{
    m_pManager->LoadAll(); // empty directory, no master volume
    EXPECT_EQ(m_pManager->GetEntries().GetNumMembers(), 0u);
    m_pManager->Resume(0.0);
    m_pManager->Update(1.0);
    EXPECT_EQ(GetFakeContext()->m_iMasterVolumeCount, 0);

    AddFile("Assets/Entities/Audio/MasterVolume.int", MakeCurve(1.0, 3.0, {{0, 0.2, 0, 0}, {2, 0.6, 0, 0}}));
    m_pManager->LoadAll();
    EXPECT_EQ(m_pManager->GetEntries().GetNumMembers(), 0u);
    ASSERT_NE(m_pManager->GetMasterVolumeCurve(), nullptr);
    m_pManager->Update(2.0);
    EXPECT_FLOAT_EQ(GetFakeContext()->m_fMasterVolume, 0.4f);
    m_pManager->PauseAll();
    m_pManager->Update(3.0); // also while paused
    EXPECT_FLOAT_EQ(GetFakeContext()->m_fMasterVolume, 0.6f);
}

TEST_F(KA_AudioResourceManagerTest, LoadsEachListedNameOnceAndSkipsUnreadableFiles)
{
    AddEntity("a", 0.0, 10.0, 20.0);
    AddEntity("b", 0.0, 10.0, 20.0);
    MemoryRepository* pSecond = new MemoryRepository();
    pSecond->SetFile("Assets/Entities/Audio/A.aud", "s 5\ne 6\n");
    pSecond->SetFile("Assets/Entities/Audio/c.aud", "s 0\ne 10\nf missing.wav\n");
    m_pFileManager->AddRepository(pSecond);
    m_pManager->LoadAll();
    ASSERT_EQ(m_pManager->GetEntries().GetNumMembers(), 3u);
    EXPECT_EQ(m_pManager->GetEntries()[0].m_pEntity->GetFilePath(), KB_String("Assets/Entities/Audio/a.aud"));
    EXPECT_DOUBLE_EQ(m_pManager->GetEntries()[0].m_pEntity->GetStartTime(), 0.0);

    // The entity without a sound is kept, never played, and skipped by every playback call.
    const std::uint32_t silent = 2;
    EXPECT_EQ(m_pManager->GetEntries()[silent].m_pEntity->GetAudioResource(), nullptr);
    m_pManager->Resume(1.0);
    m_pManager->Update(2.0);
    m_pManager->PauseAll();
    m_pManager->Update(3.0);
    EXPECT_FALSE(Playing(silent));
    m_pManager->SaveAll();
    EXPECT_TRUE(m_pRepository->HasFile("Assets/Entities/Audio/c.aud")); // written to the first writable
}

// The real context on the FMOD stand-in: the engine's shutdown order leaves nothing behind.
class KA_AudioResourceManagerFmodTest : public AudioEngineFixture
{
protected:
    void SetUp() override
    {
        FmodControl::Reset();
        StartEngine([]() -> KA_AudioContext* { return new KA_AudioContextFmod(); });
    }
    void TearDown() override
    {
        StopEngine();
        FmodControl::Reset();
    }
};

TEST_F(KA_AudioResourceManagerFmodTest, NoSoundOrChannelOutlivesTheAudioSystem)
{
    KA_AudioContext* pContext = m_pAudio->GetAudioContext();
    ASSERT_TRUE(pContext->Initialize());
    ASSERT_TRUE(pContext->SelectAudioDevice(0));
    const std::vector<std::uint8_t> wav =
        TestAudioFiles::MakeWav(1, 8000, 16, false, TestAudioFiles::MakeSine(1, 8000, 8000, 440.0, 0.5f));
    AddFile("Music/tone.wav", std::string(wav.begin(), wav.end()));
    AddFile("Assets/Entities/Audio/a.aud", "s 0\ne 10\nl 1\nf Music/tone.wav\n");
    AddFile("Assets/Entities/Audio/b.aud", "s 0\ne 10\n3d 1\nf Music/tone.wav\n");
    AddFile("Assets/Entities/Audio/c.aud", "s 0\ne 10\nf Music/absent.wav\n");
    KA_AudioResourceManager* pManager = m_pAudio->GetAudioResourceManager();
    pManager->SetAudioEntityPath(KB_String(DIRECTORY));
    pManager->LoadAll();
    ASSERT_EQ(pManager->GetEntries().GetNumMembers(), 3u);
    pManager->Resume(2.5); // the looped one-second tone at 2.5 mod 1
    EXPECT_NEAR(pManager->GetEntries()[0].m_pEntity->GetAudioResource()->GetPosition(), 0.5, 1e-9);
    pManager->Update(3.0);
    EXPECT_EQ(FmodControl::GetLiveSoundCount(), 2);
    pManager->LoadAll(); // a reload replaces every sound
    EXPECT_EQ(FmodControl::GetLiveSoundCount(), 2);

    StopEngine();
    EXPECT_EQ(FmodControl::GetLiveSoundCount(), 0);
    EXPECT_EQ(FmodControl::GetLiveChannelCount(), 0);
    EXPECT_EQ(FmodControl::GetLiveSystemCount(), 0);
    EXPECT_EQ(FmodControl::GetObjectsLeftAtSystemRelease(), 0);
}

TEST_F(KA_AudioResourceManagerFmodTest, LoadingOnAWorkerWhileTheMainThreadUpdatesAndDispatches)
{
    KA_AudioContext* pContext = m_pAudio->GetAudioContext();
    ASSERT_TRUE(pContext->Initialize());
    ASSERT_TRUE(pContext->SelectAudioDevice(0));
    const std::vector<std::uint8_t> wav =
        TestAudioFiles::MakeWav(1, 8000, 16, false, TestAudioFiles::MakeSine(1, 8000, 16000, 440.0, 0.5f));
    AddFile("Music/tone.wav", std::string(wav.begin(), wav.end()));
    for (int i = 0; i < 8; ++i)
    {
        AddFile("Assets/Entities/Audio/e" + std::to_string(i) + ".aud",
                "s 0\ne 10\n3d 1\nf Music/tone.wav\n");
    }
    KA_AudioResourceManager* pManager = m_pAudio->GetAudioResourceManager();
    pManager->SetAudioEntityPath(KB_String(DIRECTORY));
    std::atomic<bool> bLoaded = false;
    std::thread loader(
        [&]
        {
            pManager->LoadAll();
            bLoaded = true;
        });
    while (!bLoaded)
    {
        pContext->Update();
        m_pDispatcher->Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
    }
    loader.join();
    EXPECT_EQ(pManager->GetEntries().GetNumMembers(), 8u);
    EXPECT_EQ(m_pDispatcher->GetReceiverCount(KE_MT_EditorCommand), 8u);
    pManager->Resume(1.0);
    pManager->Update(1.5);
    EXPECT_TRUE(pManager->GetEntries()[7].m_bPlaying);
}
