#include "audio/KA_AudioEntity.h"
#include "audio/KA_AudioResourceManager.h"
#include "tests/audio/AudioTestFixture.h"
#include "timing/KU_VertexInterpolation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <string>

using namespace DirectX;

namespace
{

class KA_AudioEntityTest : public AudioEngineFixture
{
protected:
    // Loads text as "Assets/Entities/Audio/<name>" into a fresh entity.
    std::unique_ptr<KA_AudioEntity> LoadEntity(const std::string& text, const std::string& name = "e.aud")
    {
        AddFile(std::string(DIRECTORY) + name, text);
        auto pEntity = std::make_unique<KA_AudioEntity>();
        EXPECT_TRUE(pEntity->Load(KB_String((std::string(DIRECTORY) + name).c_str())));
        return pEntity;
    }

    // The saved file after the shared header, whose last line is the legend's closing "# ".
    std::string SavedBody(const std::string& name = "e.aud")
    {
        const std::string text = m_pRepository->GetFileContents(std::string(DIRECTORY) + name);
        const std::string marker =
            "# vp == following string is the path to playback volume VertexInterpolation\n# \n";
        const std::size_t at = text.find(marker);
        EXPECT_NE(at, std::string::npos) << text;
        return at == std::string::npos ? text : text.substr(at + marker.size());
    }

    static FakeAudioResource* Sound(KA_AudioEntity& entity)
    {
        return static_cast<FakeAudioResource*>(entity.GetAudioResource());
    }
};

} // namespace

TEST_F(KA_AudioEntityTest, FileWithOnlyTimesGivesTheResetValues)
{
    KA_AudioEntity entity;
    entity.SetDebugName(KB_String("kept"));
    AddFile("Assets/Entities/Audio/a.aud", "s 1.5\ne 4\n");
    ASSERT_TRUE(entity.Load(KB_String("Assets/Entities/Audio/a.aud")));
    EXPECT_DOUBLE_EQ(entity.GetStartTime(), 1.5);
    EXPECT_DOUBLE_EQ(entity.GetEndTime(), 4.0);
    EXPECT_FALSE(entity.IsLooped());
    EXPECT_FALSE(entity.Is3D());
    EXPECT_FLOAT_EQ(entity.GetVolume(), 1.0f);
    EXPECT_FLOAT_EQ(entity.GetMinDistance(), 1.0f); // not the constructor's 10
    EXPECT_FLOAT_EQ(entity.GetMaxDistance(), 100000.0f);
    EXPECT_EQ(entity.GetAudioFilePath(), KB_String());
    EXPECT_EQ(entity.GetDebugName(), KB_String("kept")); // the name is not reset
    EXPECT_EQ(entity.GetFilePath(), KB_String("Assets/Entities/Audio/a.aud"));

    EXPECT_FALSE(entity.Load(KB_String("Assets/Entities/Audio/missing.aud")));
    EXPECT_DOUBLE_EQ(entity.GetStartTime(), 0.0);
}

TEST_F(KA_AudioEntityTest, ReadsEveryKeyAndStopsAtAValueThatIsNoNumber)
{
    auto pAll =
        LoadEntity("# comment\nd  two blanks\ns 1\ne 9\nl 1\n3d 2\nf Music/a.wav\npv 1 2 3 4\nm 5 50\n"
                   "od 0.25\nor 0.5\nvo 0.75\nunknown 1 2\n");
    EXPECT_EQ(pAll->GetDebugName(), KB_String(" two blanks"));
    EXPECT_TRUE(pAll->IsLooped());
    EXPECT_TRUE(pAll->Is3D());
    EXPECT_EQ(pAll->GetAudioFilePath(), KB_String("Music/a.wav"));
    XMFLOAT4 position;
    XMStoreFloat4(&position, pAll->GetStaticPosition());
    EXPECT_EQ(position.x, 1.0f);
    EXPECT_EQ(position.z, 3.0f);
    EXPECT_EQ(position.w, 0.0f);
    EXPECT_FLOAT_EQ(pAll->GetMinDistance(), 5.0f);
    EXPECT_FLOAT_EQ(pAll->GetMaxDistance(), 50.0f);
    EXPECT_FLOAT_EQ(pAll->GetDirectOcclusion(), 0.25f);
    EXPECT_FLOAT_EQ(pAll->GetReverbOcclusion(), 0.5f);
    EXPECT_FLOAT_EQ(pAll->GetVolume(), 0.75f);

    auto pStopped = LoadEntity("s 1\ne 2\n3d word\nl 1\nvo 0.5\n", "b.aud");
    EXPECT_DOUBLE_EQ(pStopped->GetEndTime(), 2.0);
    EXPECT_FALSE(pStopped->Is3D());
    EXPECT_FALSE(pStopped->IsLooped());
    EXPECT_FLOAT_EQ(pStopped->GetVolume(), 1.0f);
}

TEST_F(KA_AudioEntityTest, NumbersOutOfAFloatsRangeDoNotEndTheParse)
{
    auto pEntity = LoadEntity("s 1e-400\ne 5\npv 1e-50 1e39 -1e39\nod 1e-50\nvo 0.5\nl 1\n");
    EXPECT_EQ(pEntity->GetStartTime(), 0.0);
    EXPECT_DOUBLE_EQ(pEntity->GetEndTime(), 5.0);
    XMFLOAT4 position;
    XMStoreFloat4(&position, pEntity->GetStaticPosition());
    EXPECT_EQ(position.x, 0.0f);
    EXPECT_EQ(position.y, FLT_MAX);
    EXPECT_EQ(position.z, -FLT_MAX);
    EXPECT_EQ(pEntity->GetDirectOcclusion(), 0.0f);
    EXPECT_FLOAT_EQ(pEntity->GetVolume(), 0.5f);
    EXPECT_TRUE(pEntity->IsLooped());
}

// "nan" or "inf" in the file would end its parse on the next load.
TEST_F(KA_AudioEntityTest, NonFiniteTimesAreSavedAsNumbersTheReaderTakes)
{
    auto pEntity = LoadEntity("s 1\ne 2\nvo 0.5\n");
    pEntity->SetStartTime(std::nan(""));
    pEntity->SetEndTime(-HUGE_VAL);
    ASSERT_TRUE(pEntity->Save());
    EXPECT_EQ(SavedBody(), "s 0\ne -1.79769e+308\nl 0\n3d 0\nf \nm 1 100000\nod 0\nor 0\npv 0 0 0\nvo 0.5\n");
    auto pRead = LoadEntity(m_pRepository->GetFileContents(std::string(DIRECTORY) + "e.aud"), "r.aud");
    EXPECT_FLOAT_EQ(pRead->GetVolume(), 0.5f);
}

TEST_F(KA_AudioEntityTest, OverlongNamesAndPathsAreBoundedAndTheNextLinesStillRead)
{
    auto pEntity = LoadEntity("d " + std::string(600, 'n') + "\nf " + std::string(300, 'p') + "\nvo 0.5\n");
    EXPECT_EQ(pEntity->GetDebugName().GetLength(), KA_AudioEntity::MAX_DEBUG_NAME_LENGTH);
    EXPECT_EQ(pEntity->GetAudioFilePath(), KB_String()); // a path that cannot fit is not kept
    EXPECT_FLOAT_EQ(pEntity->GetVolume(), 0.5f);
}

TEST_F(KA_AudioEntityTest, SavesKeysInOrderWithTheConditionalOnes)
{
    auto pPlain =
        LoadEntity("d Rain loop\ns 12.3456789\ne 20\nl 1\n3d 0\nf Music/rain.wav\npv 1 2.5 -3\nvo 0.5\n");
    ASSERT_TRUE(pPlain->Save());
    const std::string text = m_pRepository->GetFileContents("Assets/Entities/Audio/e.aud");
    EXPECT_NE(text.find("# Simple Audio Entity file\n# \n# # == comment line\n# d == debug name"),
              std::string::npos);
    EXPECT_EQ(SavedBody(),
              "d Rain loop\ns 12.3457\ne 20\nl 1\n3d 0\nf Music/rain.wav\nm 1 100000\nod 0\nor 0\n"
              "pv 1 2.5 -3\nvo 0.5\n");

    AddFile("Assets/Entities/Audio/Curves/p.int", MakeCurve(0, 2, {{0, 0, 0, 0}, {2, 2, 0, 0}}));
    AddFile("Assets/Entities/Audio/Curves/v.int", MakeCurve(0, 2, {{0, 1, 0, 0}}));
    auto pCurved = LoadEntity("s 0\ne 2\npp Curves/p.int\nvp Curves/v.int\npv 7 7 7\nvo 0.1\n", "c.aud");
    ASSERT_NE(pCurved->GetPositionCurve(), nullptr);
    ASSERT_NE(pCurved->GetVolumeCurve(), nullptr);
    m_pRepository->RemoveAllFiles(); // Save must write the curves again
    ASSERT_TRUE(pCurved->Save());
    EXPECT_EQ(SavedBody("c.aud"),
              "s 0\ne 2\nl 0\n3d 0\nf \nm 1 100000\nod 0\nor 0\npp Curves/p.int\nvp Curves/v.int\n");
    EXPECT_TRUE(m_pRepository->HasFile("Assets/Entities/Audio/Curves/p.int"));
    EXPECT_TRUE(m_pRepository->HasFile("Assets/Entities/Audio/Curves/v.int"));
}

TEST_F(KA_AudioEntityTest, NamesAndEmptyPathsSurviveASaveAndLoad)
{
    auto pEntity = LoadEntity("d  Two  inner blanks \ns 1\ne 2\nf \nm 2 300\nvo 0.5\n");
    EXPECT_EQ(pEntity->GetAudioFilePath(), KB_String());
    EXPECT_FLOAT_EQ(pEntity->GetMinDistance(), 2.0f); // the "m" line was not swallowed by "f"
    EXPECT_FLOAT_EQ(pEntity->GetMaxDistance(), 300.0f);
    ASSERT_TRUE(pEntity->Save());
    EXPECT_NE(m_pRepository->GetFileContents("Assets/Entities/Audio/e.aud").find("\nf \nm 2 300\n"),
              std::string::npos);

    KA_AudioEntity reloaded;
    ASSERT_TRUE(reloaded.Load(KB_String("Assets/Entities/Audio/e.aud")));
    EXPECT_EQ(reloaded.GetDebugName(), KB_String(" Two  inner blanks "));
    EXPECT_EQ(reloaded.GetAudioFilePath(), KB_String());
    EXPECT_FLOAT_EQ(reloaded.GetMinDistance(), 2.0f);
    EXPECT_FLOAT_EQ(reloaded.GetVolume(), 0.5f);
}

TEST_F(KA_AudioEntityTest, MissingSoundFileLeavesTheEntitySilentAndIsNotRetried)
{
    auto pEntity = LoadEntity("s 0\ne 5\n3d 1\nf Music/none.wav\n");
    EXPECT_EQ(pEntity->GetAudioResource(), nullptr);
    pEntity->UpdateFrame(1.0);
    pEntity->UpdateFrame(2.0);
    EXPECT_EQ(GetFakeContext()->m_iCreateCount, 1);
}

TEST_F(KA_AudioEntityTest, InitializeAndUpdateFrameDrive3DSettingsFromTheCurves)
{
    GetFakeContext()->m_mapLengths["Music/wind.wav"] = 10.0;
    AddFile("Assets/Entities/Audio/p.int", MakeCurve(1, 3, {{0, 0, 0, 0}, {2, 2, 4, 0}}));
    AddFile("Assets/Entities/Audio/v.int", MakeCurve(1, 3, {{0, 0.25, 0, 0}, {2, 0.75, 0, 0}}));
    auto pEntity =
        LoadEntity("s 1\ne 3\nl 1\n3d 1\nf Music/wind.wav\nm 3 30\nod 0.1\nor 0.2\npp p.int\nvp v.int\n");
    EXPECT_TRUE(GetFakeContext()->m_bLast3D);
    EXPECT_TRUE(GetFakeContext()->m_bLastLooped);
    FakeAudioResource* pSound = Sound(*pEntity);
    ASSERT_NE(pSound, nullptr);
    EXPECT_EQ(pSound->m_fMinDistance, 3.0f);
    EXPECT_EQ(pSound->m_fReverbOcclusion, 0.2f);
    EXPECT_FLOAT_EQ(pSound->m_fVolume, 0.25f); // the curve at absolute time 0 (before its start)
    EXPECT_EQ(pSound->m_i3DAttributeCount, 1);

    pEntity->UpdateFrame(2.0); // local time 1: half way
    EXPECT_FLOAT_EQ(pSound->m_fVolume, 0.5f);
    EXPECT_FLOAT_EQ(XMVectorGetX(pSound->m_vPosition), 1.0f);
    EXPECT_FLOAT_EQ(XMVectorGetY(pSound->m_vPosition), 2.0f);
    // (p(t + 0.01) - p(t - 0.01)) x 100 on a curve moving (1, 2, 0) per second: twice the speed.
    EXPECT_NEAR(XMVectorGetX(pSound->m_vVelocity), 2.0f, 1e-4f);
    EXPECT_NEAR(XMVectorGetY(pSound->m_vVelocity), 4.0f, 1e-4f);
    EXPECT_EQ(XMVectorGetX(pEntity->GetVelocityAt(2.0)), XMVectorGetX(pSound->m_vVelocity));
}

TEST_F(KA_AudioEntityTest, PlainEntityWithoutCurvesUsesItsStaticSettings)
{
    GetFakeContext()->m_mapLengths["a.wav"] = 1.0;
    auto pEntity = LoadEntity("s 0\ne 1\nf a.wav\npv 4 5 6\nvo 0.3\n");
    FakeAudioResource* pSound = Sound(*pEntity);
    ASSERT_NE(pSound, nullptr);
    EXPECT_FLOAT_EQ(pSound->m_fVolume, 0.3f);
    EXPECT_EQ(pSound->m_i3DAttributeCount, 0); // not 3-D
    EXPECT_EQ(XMVectorGetY(pEntity->GetPositionAt(0.5)), 5.0f);
    EXPECT_EQ(XMVectorGetX(pEntity->GetVelocityAt(0.5)), 0.0f);
    pSound->m_fVolume = 1.0f;
    pEntity->UpdateFrame(0.5); // the static volume is applied once, by Initialize
    EXPECT_EQ(pSound->m_fVolume, 1.0f);
}
