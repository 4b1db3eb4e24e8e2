#pragma once
// Shared set-up of the audio entity and audio resource manager tests: an engine singleton with a
// file manager over one memory repository, a dispatcher, a curve registry and an audio context
// manager whose context is a recording fake (or, on request, the FMOD stand-in's real context).

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioResource.h"
#include "audio/KU_AudioContextFactory.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/TestEngine.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

// A sound that only records what it was told. Play and Pause move no clock: the position is where
// the last SetPosition put it.
class FakeAudioResource : public KA_AudioResource
{
public:
    explicit FakeAudioResource(double length) : m_fLength(length) { ++s_iLiveCount; }
    ~FakeAudioResource() override { --s_iLiveCount; }

    std::int32_t Play() override
    {
        m_bPlaying = true;
        ++m_iPlayCount;
        return 0;
    }
    std::int32_t Pause() override
    {
        m_bPlaying = false;
        return 0;
    }
    void UpdateSpectrum(double) override { ++m_iSpectrumUpdates; }
    std::int32_t SetPosition(double seconds) override
    {
        m_fPosition = seconds;
        ++m_iSeekCount;
        return 0;
    }
    double GetPosition() override { return m_fPosition; }
    double GetLength() override { return m_fLength; }
    std::int32_t SetVolume(float volume) override
    {
        m_fVolume = volume;
        return 0;
    }
    float GetVolume() override { return m_fVolume; }
    std::int32_t Set3DAttributes(DirectX::FXMVECTOR position, DirectX::FXMVECTOR velocity) override
    {
        m_vPosition = position;
        m_vVelocity = velocity;
        ++m_i3DAttributeCount;
        return 0;
    }
    std::int32_t Set3DMinMaxDistance(float minDistance, float maxDistance) override
    {
        m_fMinDistance = minDistance;
        m_fMaxDistance = maxDistance;
        return 0;
    }
    std::int32_t Set3DOcclusion(float direct, float reverb) override
    {
        m_fDirectOcclusion = direct;
        m_fReverbOcclusion = reverb;
        return 0;
    }
    std::uint32_t GetNumFFTValues() const override { return 0; }
    void SetNumFFTValues(std::uint32_t) override {}
    const float* GetSpectrum() const override { return nullptr; }
    const float* GetChannelSpectrum() const override { return nullptr; }
    void SetTriggerThreshold(float) override {}
    void SetTriggerHoldTime(float) override {}
    bool IsChannelTriggered(std::uint32_t, std::uint32_t) const override { return false; }
    bool IsTriggered(std::uint32_t) const override { return false; }

    double m_fLength;
    double m_fPosition = 0.0;
    bool m_bPlaying = false;
    int m_iPlayCount = 0;
    int m_iSeekCount = 0;
    int m_iSpectrumUpdates = 0;
    int m_i3DAttributeCount = 0;
    float m_fVolume = 1.0f;
    float m_fMinDistance = 0.0f;
    float m_fMaxDistance = 0.0f;
    float m_fDirectOcclusion = 0.0f;
    float m_fReverbOcclusion = 0.0f;
    DirectX::XMVECTOR m_vPosition = {};
    DirectX::XMVECTOR m_vVelocity = {};

    static inline int s_iLiveCount = 0;
};

// Makes a FakeAudioResource for every path it knows a length for, null for any other.
class FakeAudioContext : public KA_AudioContext
{
public:
    bool Initialize() override { return true; }
    const KB_GrowingArray<KB_String>& GetAudioDevices() const override { return m_gDevices; }
    bool SelectAudioDevice(std::uint32_t) override { return true; }
    std::int32_t Update() override { return 0; }
    std::int32_t SetMasterVolume(float volume) override
    {
        m_fMasterVolume = volume;
        ++m_iMasterVolumeCount;
        return 0;
    }
    std::int32_t Set3DListenerAttributes(const DirectX::XMFLOAT3*, const DirectX::XMFLOAT3*,
                                         const DirectX::XMFLOAT3*, const DirectX::XMFLOAT3*) override
    {
        return 0;
    }
    KA_AudioResource* CreateAudioResource(const KB_String& path, bool is3D, bool looped) override
    {
        ++m_iCreateCount;
        m_bLast3D = is3D;
        m_bLastLooped = looped;
        const auto it = m_mapLengths.find(path.GetBuffer());
        return it == m_mapLengths.end() ? nullptr : new FakeAudioResource(it->second);
    }

    std::map<std::string, double> m_mapLengths; // audio path -> sound length in seconds
    int m_iCreateCount = 0;
    bool m_bLast3D = false;
    bool m_bLastLooped = false;
    float m_fMasterVolume = -1.0f;
    int m_iMasterVolumeCount = 0;

private:
    KB_GrowingArray<KB_String> m_gDevices;
};

// Hands out one context made by a function given to it.
class TestAudioContextFactory : public KU_AudioContextFactory
{
public:
    explicit TestAudioContextFactory(KA_AudioContext* (*pMake)()) : m_pMake(pMake) {}
    KA_AudioContext* CreateAudioContext() override { return m_pMake(); }

private:
    KA_AudioContext* (*m_pMake)();
};

class TestApplicationFactory : public KU_ApplicationFactory
{
public:
    explicit TestApplicationFactory(KU_AudioContextFactory* pAudio) : m_pAudio(pAudio) {}
    ~TestApplicationFactory() override { delete m_pAudio; }
    KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() override
    {
        return m_gGraphics;
    }
    KU_AudioContextFactory* GetAudioContextFactory() override { return m_pAudio; }
    KB_String GetMaterialFilePath() override { return KB_String(); }
    KB_String GetAudioEntityDirectory() override { return KB_String("Assets/Entities/Audio/"); }
    KB_GrowingArray<KB_String> GetLauncherBannerPaths() override { return KB_GrowingArray<KB_String>(); }
    KB_GrowingArray<int> GetLauncherBannerTimes() override { return KB_GrowingArray<int>(); }

private:
    KU_AudioContextFactory* m_pAudio; // owned
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gGraphics;
};

class AudioEngineFixture : public ::testing::Test
{
protected:
    static constexpr const char* DIRECTORY = "Assets/Entities/Audio/";

    void SetUp() override
    {
        StartEngine([]() -> KA_AudioContext* { return new FakeAudioContext(); });
    }

    void TearDown() override
    {
        StopEngine();
        EXPECT_EQ(FakeAudioResource::s_iLiveCount, 0);
    }

    // An engine whose audio context manager asks pMake for its context.
    void StartEngine(KA_AudioContext* (*pMake)())
    {
        m_pFactory = new TestApplicationFactory(new TestAudioContextFactory(pMake));
        m_pEngine = new TestEngine(m_pFactory);
        m_pFileManager = new MemoryFiles();
        m_pRepository = m_pFileManager->GetRepository();
        m_pFileManager->Install();
        m_pDispatcher = new KE_Dispatcher();
        (*m_pEngine)->SetDispatcher(m_pDispatcher);
        m_pCurves = new KU_InterpolationManager();
        (*m_pEngine)->SetInterpolationManager(m_pCurves);
        m_pAudio = new KA_AudioContextManager(m_pFactory);
        (*m_pEngine)->SetAudioContextManager(m_pAudio);
        ASSERT_TRUE(m_pAudio->CreateAudioContext());
    }

    // In the engine's shutdown order: audio, then the file manager, the dispatcher, the registry.
    void StopEngine()
    {
        if (m_pEngine == nullptr)
            return;
        delete m_pAudio;
        m_pAudio = nullptr;
        delete m_pFileManager;
        m_pFileManager = nullptr;
        m_pRepository = nullptr;
        delete m_pDispatcher;
        m_pDispatcher = nullptr;
        delete m_pCurves;
        m_pCurves = nullptr;
        delete m_pEngine; // deletes the application factory
        m_pEngine = nullptr;
        m_pFactory = nullptr;
    }

    FakeAudioContext* GetFakeContext() const
    {
        return static_cast<FakeAudioContext*>(m_pAudio->GetAudioContext());
    }

    void AddFile(const std::string& path, const std::string& contents)
    {
        m_pRepository->SetFile(path, contents);
    }

    // A linear vertex curve file with one key per (time, x, y, z).
    static std::string MakeCurve(double start, double end, const std::vector<std::array<double, 4>>& keys)
    {
        std::string text =
            "n LinearInterpolation\ns " + std::to_string(start) + "\ne " + std::to_string(end) + "\n";
        for (const auto& key : keys)
        {
            text += "v " + std::to_string(key[1]) + " " + std::to_string(key[2]) + " " +
                    std::to_string(key[3]) + "\n";
        }
        for (const auto& key : keys)
            text += "t " + std::to_string(key[0]) + "\n";
        return text;
    }

    TestEngine* m_pEngine = nullptr;
    TestApplicationFactory* m_pFactory = nullptr; // owned by the engine
    MemoryFiles* m_pFileManager = nullptr;
    MemoryRepository* m_pRepository = nullptr; // owned by the file manager
    KE_Dispatcher* m_pDispatcher = nullptr;
    KU_InterpolationManager* m_pCurves = nullptr;
    KA_AudioContextManager* m_pAudio = nullptr;
};
