#pragma once
// The engine singleton's audio member: asks the production's application factory for the audio
// context and owns it. Main thread only.
//
// So far it holds the context alone; the audio resource manager (audio entities, master volume)
// is not made yet, and GetAudioResourceManager answers null.

class KA_AudioContext;
class KA_AudioResourceManager;
class KU_ApplicationFactory;

class KA_AudioContextManager
{
public:
    // pFactory is not owned and may be null (then no context can be made).
    explicit KA_AudioContextManager(KU_ApplicationFactory* pFactory);
    ~KA_AudioContextManager(); // deletes the context

    KA_AudioContextManager(const KA_AudioContextManager&) = delete;
    KA_AudioContextManager& operator=(const KA_AudioContextManager&) = delete;

    // The context becomes what the factory's audio context factory makes (a previous one is
    // deleted); true when that is not null. Not initialised here.
    bool CreateAudioContext();
    KA_AudioContext* GetAudioContext() const { return m_pAudioContext; }
    KA_AudioResourceManager* GetAudioResourceManager() const { return m_pAudioResourceManager; }

private:
    KA_AudioContext* m_pAudioContext = nullptr;                 // owned
    KU_ApplicationFactory* m_pApplicationFactory = nullptr;     // not owned
    KA_AudioResourceManager* m_pAudioResourceManager = nullptr; // not made yet
};
