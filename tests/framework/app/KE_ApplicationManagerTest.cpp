#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

namespace
{

class CountingFactory : public KU_ApplicationFactory
{
public:
    explicit CountingFactory(int* pDeleted) : m_pDeleted(pDeleted) {}
    ~CountingFactory() override { ++*m_pDeleted; }

    KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() override
    {
        return m_gFactories;
    }
    KU_AudioContextFactory* GetAudioContextFactory() override { return nullptr; }
    KB_String GetMaterialFilePath() override { return "Assets/Materials/Test.xml"; }
    KB_String GetAudioEntityDirectory() override { return "Assets/Entities/Audio/"; }
    KB_GrowingArray<KB_String> GetLauncherBannerPaths() override { return KB_GrowingArray<KB_String>(); }
    KB_GrowingArray<int> GetLauncherBannerTimes() override { return KB_GrowingArray<int>(); }

private:
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gFactories;
    int* m_pDeleted;
};

} // namespace

TEST(KE_ApplicationManager, StartsEmptyAndOwnsItsFactory)
{
    int deleted = 0;
    {
        TestEngine engine(new CountingFactory(&deleted));
        EXPECT_EQ(KE_ApplicationManager::GetInstance(), engine.Get());
        EXPECT_EQ(engine->GetDispatcher(), nullptr);
        EXPECT_EQ(engine->GetFileManager(), nullptr);
        EXPECT_FALSE(engine->IsDeveloperBuild());
        EXPECT_FALSE(engine->IsGraphicsInitialized());
        EXPECT_EQ(engine->GetApplicationName().GetLength(), 0u);
        EXPECT_TRUE(engine->GetMaterialFilePath() == KB_String("Assets/Materials/Test.xml"));
        EXPECT_TRUE(engine->m_pApplicationFactory->UseSynchronizedTime());
    }
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
}

TEST(KE_ApplicationManager, WithoutFactoryTheMaterialPathIsEmpty)
{
    TestEngine engine;
    EXPECT_EQ(engine->GetMaterialFilePath().GetLength(), 0u);
}
