#pragma once
// The engine singleton's door to the curve registry (interpolation manager), whose class lives in
// the timing library above the framework. The program entry implements it where the class is
// visible and installs it with KE_ApplicationManager::SetCurveBridge before
// KE_Application::Initialize; tests install tests/support/FakeCurveBridge. Main thread only.
// Does NOT own anything: the engine singleton owns what Create returns.

class KU_InterpolationManager;

class KE_CurveBridge
{
public:
    KE_CurveBridge() = default;
    virtual ~KE_CurveBridge() = default;

    KE_CurveBridge(const KE_CurveBridge&) = delete;
    KE_CurveBridge& operator=(const KE_CurveBridge&) = delete;

    // Null when it cannot be made. Delete (never with null) runs the registry's own destructor.
    virtual KU_InterpolationManager* CreateInterpolationManager() = 0;
    virtual void DeleteInterpolationManager(KU_InterpolationManager* p) = 0;
};
