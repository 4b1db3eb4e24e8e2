#pragma once
// The engine singleton's audio member: asks the production's application factory for the audio
// context and owns it together with the audio resource manager. Main thread only.

class KA_AudioContext;
class KA_AudioResourceManager;
class KU_ApplicationFactory;

class KA_AudioContextManager
{
public:
    // pFactory not owned (may be null: no context can be made). Creates the resource manager.
    explicit KA_AudioContextManager(KU_ApplicationFactory* pFactory);
    // Deletes the resource manager (and with it every sound) before the context.
    ~KA_AudioContextManager();

    KA_AudioContextManager(const KA_AudioContextManager&) = delete;
    KA_AudioContextManager& operator=(const KA_AudioContextManager&) = delete;

    // The context becomes what the factory's audio context factory makes; true when it made one.
    // A context that already exists is kept (sounds may refer to it) and answers true.
    bool CreateAudioContext();
    KA_AudioContext* GetAudioContext() const { return m_pAudioContext; } // null before CreateAudioContext
    KA_AudioResourceManager* GetAudioResourceManager() const { return m_pAudioResourceManager; }

private:
    KA_AudioContext* m_pAudioContext = nullptr;                 // owned
    KU_ApplicationFactory* m_pApplicationFactory = nullptr;     // not owned
    KA_AudioResourceManager* m_pAudioResourceManager = nullptr; // owned
};
