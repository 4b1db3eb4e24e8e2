#pragma once
// The engine singleton as the fuzz targets of curve and audio entity files need it: a file manager
// over one memory repository, a curve registry, a dispatcher and, on request, an audio context
// manager whose context is the FMOD stand-in's. Made once per process and never deleted (the
// targets run until the process ends); the singleton stays installed all that time.

class KA_AudioContextManager;
class KE_Dispatcher;
class KF_FileManager;
class KU_InterpolationManager;
class MemoryRepository;
class TestEngine;

class FuzzEngine
{
public:
    // The one engine, made on the first call; bAudio asks for the audio context (the first call
    // decides).
    static FuzzEngine& Get(bool bAudio = false);

    MemoryRepository& GetRepository() { return *m_pRepository; }
    KF_FileManager& GetFileManager() { return *m_pFileManager; }

private:
    explicit FuzzEngine(bool bAudio);
    ~FuzzEngine() = delete;

    TestEngine* m_pEngine = nullptr;              // owned
    KF_FileManager* m_pFileManager = nullptr;     // owned
    MemoryRepository* m_pRepository = nullptr;    // owned by the file manager
    KU_InterpolationManager* m_pCurves = nullptr; // owned
    KE_Dispatcher* m_pDispatcher = nullptr;       // owned
    KA_AudioContextManager* m_pAudio = nullptr;   // owned; null without audio
};
