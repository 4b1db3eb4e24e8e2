#include "tests/support/FakeSceneBridge.h"

#include "framework/app/KE_ApplicationManager.h"

#include <string>

FakeSceneBridge::FakeSceneBridge()
{
    KE_ApplicationManager::SetSceneBridge(this);
}

FakeSceneBridge::~FakeSceneBridge()
{
    KE_ApplicationManager::SetSceneBridge(nullptr);
}

void FakeSceneBridge::DeleteSceneManager(KR_SceneManager* p)
{
    Record(std::string("delete ") + KIND, p, m_SceneManager, KIND);
}

void FakeSceneBridge::StartSceneManager(KR_SceneManager* p)
{
    Record("start scenes", p, m_SceneManager, KIND);
    if (m_OnStartScenes)
        m_OnStartScenes();
}

void FakeSceneBridge::UpdateAndRenderScenes(KR_SceneManager* p)
{
    Record("frame", p, m_SceneManager, KIND);
    ++m_iFrames;
    if (m_OnFrame)
        m_OnFrame(m_iFrames);
}
