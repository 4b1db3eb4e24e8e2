#include "audio/KA_AudioContextManager.h"
#include "audio/KA_AudioContext.h"
#include "audio/KU_AudioContextFactory.h"
#include "framework/app/KU_ApplicationFactory.h"

#include <gtest/gtest.h>

namespace
{

class CountingContext : public KA_AudioContext
{
public:
    explicit CountingContext(int* pAlive) : m_pAlive(pAlive) { ++*m_pAlive; }
    ~CountingContext() override { --*m_pAlive; }
    bool Initialize() override { return true; }
    const KB_GrowingArray<KB_String>& GetAudioDevices() const override { return m_gDevices; }
    bool SelectAudioDevice(std::uint32_t) override { return true; }
    std::int32_t Update() override { return 0; }
    std::int32_t SetMasterVolume(float) override { return 0; }
    std::int32_t Set3DListenerAttributes(const DirectX::XMFLOAT3*, const DirectX::XMFLOAT3*,
                                         const DirectX::XMFLOAT3*, const DirectX::XMFLOAT3*) override
    {
        return 0;
    }
    KA_AudioResource* CreateAudioResource(const KB_String&, bool, bool) override { return nullptr; }

private:
    KB_GrowingArray<KB_String> m_gDevices;
    int* m_pAlive;
};

class ContextFactory : public KU_AudioContextFactory
{
public:
    KA_AudioContext* CreateAudioContext() override
    {
        return m_bFails ? nullptr : new CountingContext(&m_iAlive);
    }
    bool m_bFails = false;
    int m_iAlive = 0;
};

class AudioOnlyFactory : public KU_ApplicationFactory
{
public:
    explicit AudioOnlyFactory(KU_AudioContextFactory* pAudio) : m_pAudio(pAudio) {}
    KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() override
    {
        return m_gGraphics;
    }
    KU_AudioContextFactory* GetAudioContextFactory() override { return m_pAudio; }
    KB_String GetMaterialFilePath() override { return KB_String(); }
    KB_String GetAudioEntityDirectory() override { return KB_String(); }
    KB_GrowingArray<KB_String> GetLauncherBannerPaths() override { return KB_GrowingArray<KB_String>(); }
    KB_GrowingArray<int> GetLauncherBannerTimes() override { return KB_GrowingArray<int>(); }

private:
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gGraphics;
    KU_AudioContextFactory* m_pAudio;
};

TEST(KA_AudioContextManager, OwnsTheContextTheFactoryMakes)
{
    ContextFactory audio;
    AudioOnlyFactory factory(&audio);
    {
        KA_AudioContextManager manager(&factory);
        EXPECT_EQ(manager.GetAudioContext(), nullptr);
        EXPECT_NE(manager.GetAudioResourceManager(), nullptr);
        ASSERT_TRUE(manager.CreateAudioContext());
        KA_AudioContext* pFirst = manager.GetAudioContext();
        EXPECT_NE(pFirst, nullptr);
        // Asking again keeps the context that sounds may already refer to.
        ASSERT_TRUE(manager.CreateAudioContext());
        EXPECT_EQ(manager.GetAudioContext(), pFirst);
        EXPECT_EQ(audio.m_iAlive, 1);
    }
    EXPECT_EQ(audio.m_iAlive, 0);
}

TEST(KA_AudioContextManager, NoContextWithoutAFactoryOrWhenItFails)
{
    KA_AudioContextManager withoutFactory(nullptr);
    EXPECT_FALSE(withoutFactory.CreateAudioContext());

    AudioOnlyFactory noAudio(nullptr);
    KA_AudioContextManager withoutAudioFactory(&noAudio);
    EXPECT_FALSE(withoutAudioFactory.CreateAudioContext());

    ContextFactory audio;
    audio.m_bFails = true;
    AudioOnlyFactory failing(&audio);
    KA_AudioContextManager manager(&failing);
    EXPECT_FALSE(manager.CreateAudioContext());
    EXPECT_EQ(manager.GetAudioContext(), nullptr);
}

} // namespace
