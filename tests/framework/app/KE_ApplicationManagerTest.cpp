#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_FileManager.h"
#include "tests/support/FakeSubsystemBridge.h"
#include "tests/support/MemoryRepository.h"
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

// Counts its deletion, which tells when the file manager holding it was deleted.
class CountedRepository : public MemoryRepository
{
public:
    explicit CountedRepository(int* pDeleted) : m_pDeleted(pDeleted) {}
    ~CountedRepository() override { ++*m_pDeleted; }

private:
    int* m_pDeleted;
};

KF_FileManager* CountedFileManager(int* pDeleted)
{
    KF_FileManager* pFiles = new KF_FileManager();
    pFiles->AddRepository(new CountedRepository(pDeleted));
    return pFiles;
}

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
        EXPECT_TRUE(engine->GetApplicationFactory()->UseSynchronizedTime());
    }
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
}

TEST(KE_ApplicationManager, WithoutFactoryTheMaterialPathIsEmpty)
{
    TestEngine engine;
    EXPECT_EQ(engine->GetMaterialFilePath().GetLength(), 0u);
}

TEST(KE_ApplicationManager, OwnedMemberIsDeletedOnceWhenReplacedAndAtTheEnd)
{
    FakeSubsystemBridge bridges;
    int filesDeleted = 0;
    {
        KE_ApplicationManager manager(nullptr);
        EXPECT_EQ(KE_ApplicationManager::GetInstance(), &manager);

        // Above the framework: deleted through the bridge of its subsystem.
        KR_SceneManager* pScenes = bridges.CreateSceneManager();
        KG_ManagedFacade* pFacade = bridges.CreateManagedFacade();
        manager.SetSceneManager(pScenes);
        manager.SetManagedFacade(pFacade);
        manager.SetSceneManager(pScenes); // the same object again stays
        EXPECT_EQ(bridges.Count("delete scene manager"), 0);
        manager.SetSceneManager(nullptr);
        EXPECT_EQ(bridges.Count("delete scene manager"), 1);
        EXPECT_EQ(manager.GetSceneManager(), nullptr);

        // In the framework: deleted directly.
        manager.SetFileManager(CountedFileManager(&filesDeleted));
        manager.SetFileManager(CountedFileManager(&filesDeleted));
        EXPECT_EQ(filesDeleted, 1);
    }
    EXPECT_EQ(filesDeleted, 2);
    EXPECT_EQ(bridges.Count("delete scene manager"), 1);
    EXPECT_EQ(bridges.Count("delete facade"), 1);
    EXPECT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
}

TEST(KE_ApplicationManager, LentMembersAreNeverDeleted)
{
    FakeSubsystemBridge bridges;
    int filesDeleted = 0;
    KF_FileManager* pFiles = CountedFileManager(&filesDeleted);
    {
        TestEngine engine;
        engine->SetSceneManager(bridges.CreateSceneManager());
        engine->SetSceneManager(nullptr);
        engine->SetFileManager(pFiles);
        engine->SetFileManager(nullptr);
        engine->SetFileManager(pFiles);
    }
    EXPECT_EQ(filesDeleted, 0);
    EXPECT_EQ(bridges.Count("delete scene manager"), 0);
    delete pFiles;
    EXPECT_EQ(filesDeleted, 1);
}
