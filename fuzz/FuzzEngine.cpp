#include "fuzz/FuzzEngine.h"

#include "audio/KA_AudioContextFmodFactory.h"
#include "audio/KA_AudioContextManager.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "tests/support/TestEngine.h"
#include "timing/KU_InterpolationManager.h"

namespace
{

// Hands the audio context manager the FMOD stand-in's context; nothing else is asked of it.
class FuzzApplicationFactory : public KU_ApplicationFactory
{
public:
    ~FuzzApplicationFactory() override { delete m_pAudio; }
    KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() override
    {
        return m_gGraphics;
    }
    KU_AudioContextFactory* GetAudioContextFactory() override { return m_pAudio; }
    KB_String GetMaterialFilePath() override { return KB_String(); }
    KB_String GetAudioEntityDirectory() override { return KB_String("Assets/Entities/Audio/"); }
    KB_GrowingArray<KB_String> GetLauncherBannerPaths() override { return KB_GrowingArray<KB_String>(); }
    KB_GrowingArray<int> GetLauncherBannerTimes() override { return KB_GrowingArray<int>(); }

private:
    KU_AudioContextFactory* m_pAudio = new KA_AudioContextFmodFactory(); // owned
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gGraphics;
};

} // namespace

FuzzEngine& FuzzEngine::Get(bool bAudio)
{
    // Never deleted: every run of a target uses it until the process ends.
    static FuzzEngine* s_pEngine = new FuzzEngine(bAudio);
    return *s_pEngine;
}

FuzzEngine::FuzzEngine(bool bAudio)
{
    KU_ApplicationFactory* pFactory = bAudio ? new FuzzApplicationFactory() : nullptr;
    m_pEngine = new TestEngine(pFactory);
    m_pFiles = new MemoryFiles();
    m_pFiles->Install();
    m_pDispatcher = new KE_Dispatcher();
    (*m_pEngine)->SetDispatcher(m_pDispatcher);
    m_pCurves = new KU_InterpolationManager();
    (*m_pEngine)->SetInterpolationManager(m_pCurves);
    if (bAudio)
    {
        m_pAudio = new KA_AudioContextManager(pFactory);
        m_pAudio->CreateAudioContext();
        (*m_pEngine)->SetAudioContextManager(m_pAudio);
    }
}
