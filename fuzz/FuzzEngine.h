#pragma once
// The engine singleton as the fuzz targets of curve and audio entity files need it: a file manager
// over one memory repository, a curve registry, a dispatcher and, on request, an audio context
// manager whose context is the FMOD stand-in's. Made once per process and never deleted (the
// targets run until the process ends); the singleton stays installed all that time.

#include "tests/support/MemoryFiles.h"

class KA_AudioContextManager;
class KE_Dispatcher;
class KU_InterpolationManager;
class TestEngine;

class FuzzEngine
{
public:
    // The one engine, made on the first call; bAudio asks for the audio context (the first call
    // decides).
    static FuzzEngine& Get(bool bAudio = false);

    MemoryRepository& GetRepository() { return *m_pFiles->GetRepository(); }
    KF_FileManager& GetFileManager() { return *m_pFiles->Get(); }

private:
    explicit FuzzEngine(bool bAudio);
    ~FuzzEngine() = delete;

    TestEngine* m_pEngine = nullptr;              // owned
    MemoryFiles* m_pFiles = nullptr;              // owned
    KU_InterpolationManager* m_pCurves = nullptr; // owned
    KE_Dispatcher* m_pDispatcher = nullptr;       // owned
    KA_AudioContextManager* m_pAudio = nullptr;   // owned; null without audio
};
