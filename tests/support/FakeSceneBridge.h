#pragma once
// A scene bridge for tests: logs every call into the shared FakeBridgeLog ("create scene manager",
// "start scenes", "frame", "resize scenes", "shutdown scenes", "delete scene manager"; the cursor
// question is not logged). Hooks let a test act inside a frame or the runtime start.
// Installs itself as the singleton's scene bridge on construction and removes itself on
// destruction.

#include "framework/app/KE_SceneBridge.h"
#include "tests/support/FakeBridgeLog.h"

#include <functional>

class FakeSceneBridge : public KE_SceneBridge, public virtual FakeBridgeLog
{
public:
    FakeSceneBridge();
    ~FakeSceneBridge() override;

    bool m_bCursorVisible = false;
    std::function<void(int)> m_OnFrame;    // inside UpdateAndRenderScenes, with the frame number 1, 2, ...
    std::function<void()> m_OnStartScenes; // inside StartSceneManager
    int m_iFrames = 0;

    KR_SceneManager* CreateSceneManager() override { return Make<KR_SceneManager>(m_SceneManager, KIND); }
    void DeleteSceneManager(KR_SceneManager* p) override;
    void StartSceneManager(KR_SceneManager* p) override;
    void UpdateAndRenderScenes(KR_SceneManager* p) override;
    void ResizeScenes(KR_SceneManager* p) override { Record("resize scenes", p, m_SceneManager, KIND); }
    void ShutdownSceneManager(KR_SceneManager* p) override
    {
        Record("shutdown scenes", p, m_SceneManager, KIND);
    }
    bool IsCursorVisible(KR_SceneManager* p) override
    {
        return Record("", p, m_SceneManager, KIND, m_bCursorVisible);
    }

private:
    static constexpr const char* KIND = "scene manager";
    FakeBridgeToken m_SceneManager;
};
