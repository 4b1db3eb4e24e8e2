#pragma once
// Builds the engine singleton for one test. The manager's members are lent
// (KE_ApplicationManager::MemberOwnership::Lent): the test installs real objects or fakes through
// the manager's setters, may replace them at will and keeps ownership of them; the manager deletes
// none of them. On destruction the manager (with the factory) is deleted and no singleton is left
// behind.

#include "framework/app/KE_ApplicationManager.h"

class KU_ApplicationFactory;

class TestEngine
{
public:
    // pFactory (may be null) is owned by the manager, as in a real run.
    explicit TestEngine(KU_ApplicationFactory* pFactory = nullptr);
    ~TestEngine();

    TestEngine(const TestEngine&) = delete;
    TestEngine& operator=(const TestEngine&) = delete;

    KE_ApplicationManager* Get() const { return m_pManager; }
    KE_ApplicationManager* operator->() const { return m_pManager; }

private:
    KE_ApplicationManager* m_pManager = nullptr; // owned
};
