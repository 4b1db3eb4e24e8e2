#include "render/scene/KR_SceneManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_FileManager.h"
#include "render/device/KR_MaterialManager.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class QuitListener : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        m_gSubTypes.push_back(subType);
        m_bPayload = m_bPayload || pPayload != nullptr;
        return type == KE_MT_Application;
    }
    std::vector<KE_MessageSubType> m_gSubTypes;
    bool m_bPayload = false;
};

class KR_SceneManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Dispatcher.RegisterReceiver(KE_MT_Application, &m_Listener);
    }

    TestEngine m_Engine;
    KE_Dispatcher m_Dispatcher;
    QuitListener m_Listener;
};

TEST_F(KR_SceneManagerTest, ConstructionRegistersNothingAndFixesTheSpeed)
{
    KR_SceneManager scenes;
    EXPECT_DOUBLE_EQ(scenes.GetInverseSpeed(), 12.0 / 13.0);
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Demo);
    EXPECT_FALSE(scenes.IsPlaying());
    EXPECT_FALSE(scenes.IsCursorVisible());
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 0u);
}

TEST_F(KR_SceneManagerTest, StartListensToInputUntilShutdown)
{
    KR_SceneManager scenes;
    scenes.Start();
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 1u);
    scenes.Shutdown();
    scenes.Shutdown();
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 0u);
}

TEST_F(KR_SceneManagerTest, DestructionWithoutShutdownLeavesNoRegistration)
{
    {
        KR_SceneManager scenes;
        scenes.Start();
    }
    for (KE_MessageType type : {KE_MT_Controller, KE_MT_Keyboard, KE_MT_Mouse})
        EXPECT_EQ(m_Dispatcher.GetReceiverCount(type), 0u);
}

TEST_F(KR_SceneManagerTest, EmptyTimelineEndsOnTheFirstFrameWithOneQuitRequest)
{
    KR_SceneManager scenes;
    scenes.Start();
    scenes.UpdateAndRender();
    EXPECT_EQ(m_Listener.m_gSubTypes, std::vector<KE_MessageSubType>{KE_MST_QuitRequest});
    EXPECT_FALSE(m_Listener.m_bPayload);
    EXPECT_FALSE(scenes.IsPlaying());
    EXPECT_EQ(scenes.GetCameraMode(), KR_SCM_Rail);
    // The cursor is allowed after loading, but shows only in the editor modes.
    EXPECT_FALSE(scenes.IsCursorVisible());

    // A refused quit leaves the clock held: no further request.
    scenes.UpdateAndRender();
    scenes.UpdateAndRender();
    EXPECT_EQ(m_Listener.m_gSubTypes.size(), 1u);
    scenes.Shutdown();
}

TEST(KR_SceneManagerLoading, FirstFrameLoadsTheMaterialLibrary)
{
    TestEngine engine(new LibraryFactory("Assets/Materials/Library.xml"));
    KF_FileManager files;
    auto* pRepository = new MemoryRepository(false); // owned by the file manager
    files.AddRepository(pRepository);
    pRepository->SetFile("Assets/Materials/Library.xml",
                         "<material_library><material id=\"A\"/></material_library>");
    KR_MaterialManager materials;
    engine->SetFileManager(&files);
    engine->SetMaterialManager(&materials);
    KR_SceneManager scenes;
    scenes.UpdateAndRender();
    EXPECT_NE(nullptr, materials.GetMaterial("A"));
    engine->SetMaterialManager(nullptr);
    engine->SetFileManager(nullptr);
}

} // namespace
