#pragma once
// The engine singleton's door to the scene manager, whose class lives in the renderer above the
// framework. The program entry implements it where the class is visible and installs it with
// KE_ApplicationManager::SetSceneBridge before KE_Application::Initialize; tests install
// tests/support/FakeSceneBridge. Main thread only; every call gets a non-null scene manager (the
// framework checks first). Does NOT own anything: the engine singleton owns what Create returns.

class KR_SceneManager;

class KE_SceneBridge
{
public:
    KE_SceneBridge() = default;
    virtual ~KE_SceneBridge() = default;

    KE_SceneBridge(const KE_SceneBridge&) = delete;
    KE_SceneBridge& operator=(const KE_SceneBridge&) = delete;

    // Null when it cannot be made. Delete runs the scene manager's own destructor.
    virtual KR_SceneManager* CreateSceneManager() = 0;
    virtual void DeleteSceneManager(KR_SceneManager* p) = 0;

    // Start once the device exists, one UpdateAndRender per frame (presents), OnResize after an
    // accepted size change, Shutdown once after the main loop.
    virtual void StartSceneManager(KR_SceneManager* pSceneManager) = 0;
    virtual void UpdateAndRenderScenes(KR_SceneManager* pSceneManager) = 0;
    virtual void ResizeScenes(KR_SceneManager* pSceneManager) = 0;
    virtual void ShutdownSceneManager(KR_SceneManager* pSceneManager) = 0;
    // True when the arrow cursor may show: the cursor is allowed and the camera mode is 2 or 3.
    virtual bool IsCursorVisible(KR_SceneManager* pSceneManager) = 0;
};
