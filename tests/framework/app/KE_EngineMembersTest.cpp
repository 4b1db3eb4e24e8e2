#include "framework/app/KE_EngineMembers.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/files/KF_FileManager.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

namespace
{

// Tokens for members whose classes live above the framework: the reads only pass the pointers on.
template <typename T>
T* Token(int iSlot)
{
    static int aiSlots[4] = {};
    return reinterpret_cast<T*>(&aiSlots[iSlot]);
}

} // namespace

TEST(KE_EngineMembers, WithoutAnEngineEveryReadIsNullOrFalse)
{
    ASSERT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
    EXPECT_EQ(KE_GetGraphicsContextManager(), nullptr);
    EXPECT_EQ(KE_GetGraphicsDevice(), nullptr);
    EXPECT_EQ(KE_GetGraphicsResourceManager(), nullptr);
    EXPECT_EQ(KE_GetInputManager(), nullptr);
    EXPECT_EQ(KE_GetParticleEngine(), nullptr);
    EXPECT_EQ(KE_GetPostFXEngine(), nullptr);
    EXPECT_EQ(KE_GetOITRenderer(), nullptr);
    EXPECT_EQ(KE_GetMetaBallRenderer(), nullptr);
    EXPECT_EQ(KE_GetSceneManager(), nullptr);
    EXPECT_EQ(KE_GetMaterialManager(), nullptr);
    EXPECT_EQ(KE_GetShaderCache(), nullptr);
    EXPECT_EQ(KE_GetShaderCoreManager(), nullptr);
    EXPECT_EQ(KE_GetDispatcher(), nullptr);
    EXPECT_EQ(KE_GetManagedFacade(), nullptr);
    EXPECT_EQ(KE_GetAudioContextManager(), nullptr);
    EXPECT_EQ(KE_GetFileManager(), nullptr);
    EXPECT_EQ(KE_GetInterpolationManager(), nullptr);
    EXPECT_FALSE(KE_IsDeveloperBuild());
}

TEST(KE_EngineMembers, WithAnEngineEachReadAnswersItsOwnMember)
{
    TestEngine engine;
    // Members not set are null as well.
    EXPECT_EQ(KE_GetFileManager(), nullptr);
    EXPECT_FALSE(KE_IsDeveloperBuild());

    KF_FileManager files;
    KE_Dispatcher dispatcher;
    engine->SetFileManager(&files);
    engine->SetDispatcher(&dispatcher);
    engine->SetSceneManager(Token<KR_SceneManager>(0));
    engine->SetGraphicsDevice(Token<KR_GraphicsDevice>(1));
    engine->SetInterpolationManager(Token<KU_InterpolationManager>(2));
    engine->SetDeveloperBuild(true);
    EXPECT_EQ(KE_GetFileManager(), &files);
    EXPECT_EQ(KE_GetDispatcher(), &dispatcher);
    EXPECT_EQ(KE_GetSceneManager(), Token<KR_SceneManager>(0));
    EXPECT_EQ(KE_GetGraphicsDevice(), Token<KR_GraphicsDevice>(1));
    EXPECT_EQ(KE_GetInterpolationManager(), Token<KU_InterpolationManager>(2));
    EXPECT_EQ(KE_GetPostFXEngine(), nullptr);
    EXPECT_TRUE(KE_IsDeveloperBuild());

    engine->SetFileManager(nullptr);
    engine->SetDispatcher(nullptr);
    engine->SetSceneManager(nullptr);
    engine->SetGraphicsDevice(nullptr);
    engine->SetInterpolationManager(nullptr);
}
