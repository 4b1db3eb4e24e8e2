#pragma once
// Builds the engine singleton for one test. The test installs real objects or fakes through the
// manager's setters and keeps ownership of them; on destruction every member is set back to null
// (so the manager deletes none of them), the manager is deleted and no singleton is left behind.

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
