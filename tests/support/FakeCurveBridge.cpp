#include "tests/support/FakeCurveBridge.h"

#include "framework/app/KE_ApplicationManager.h"

#include <string>

FakeCurveBridge::FakeCurveBridge()
{
    KE_ApplicationManager::SetCurveBridge(this);
}

FakeCurveBridge::~FakeCurveBridge()
{
    KE_ApplicationManager::SetCurveBridge(nullptr);
}

void FakeCurveBridge::DeleteInterpolationManager(KU_InterpolationManager* p)
{
    Record(std::string("delete ") + KIND, p, m_InterpolationManager, KIND);
}
