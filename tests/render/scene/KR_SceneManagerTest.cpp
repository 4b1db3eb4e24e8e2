#include "render/scene/KR_SceneManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"
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

} // namespace
