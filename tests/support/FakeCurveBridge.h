#pragma once
// A curve bridge for tests: logs "create interpolation manager" and "delete interpolation
// manager" into the shared FakeBridgeLog. Installs itself as the singleton's curve bridge on
// construction and removes itself on destruction.

#include "framework/app/KE_CurveBridge.h"
#include "tests/support/FakeBridgeLog.h"

class FakeCurveBridge : public KE_CurveBridge, public virtual FakeBridgeLog
{
public:
    FakeCurveBridge();
    ~FakeCurveBridge() override;

    KU_InterpolationManager* CreateInterpolationManager() override
    {
        return Make<KU_InterpolationManager>(m_InterpolationManager, KIND);
    }
    void DeleteInterpolationManager(KU_InterpolationManager* p) override;

private:
    static constexpr const char* KIND = "interpolation manager";
    FakeBridgeToken m_InterpolationManager;
};
