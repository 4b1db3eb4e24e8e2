#include "production/KV27_ApplicationFactory.h"

#include "audio/KA_AudioContextFmodFactory.h"
#include "render/device/KR_GraphicsContextDX11Factory.h"

namespace
{

constexpr int BANNER_TIME_MS = 3000;

} // namespace

KV27_ApplicationFactory::KV27_ApplicationFactory() : m_pAudioContextFactory(new KA_AudioContextFmodFactory())
{
    m_gGraphicsContextFactories.Add(new KR_GraphicsContextDX11Factory());
}

KV27_ApplicationFactory::~KV27_ApplicationFactory()
{
    m_gGraphicsContextFactories.DeleteAll();
    delete m_pAudioContextFactory;
    m_pAudioContextFactory = nullptr;
}

KB_GrowingArray<KU_GraphicsContextFactory*>& KV27_ApplicationFactory::GetGraphicsContextFactories()
{
    return m_gGraphicsContextFactories;
}

KU_AudioContextFactory* KV27_ApplicationFactory::GetAudioContextFactory()
{
    return m_pAudioContextFactory;
}

KB_String KV27_ApplicationFactory::GetMaterialFilePath()
{
    return KB_String("Assets/Materials/KV27_Materials.xml");
}

KB_String KV27_ApplicationFactory::GetAudioEntityDirectory()
{
    return KB_String("Assets/Entities/Audio/");
}

KB_GrowingArray<KB_String> KV27_ApplicationFactory::GetLauncherBannerPaths()
{
    KB_GrowingArray<KB_String> gPaths;
    gPaths.Add(KB_String("Assets/Textures/Launcher/KV27_Banner_00.png"));
    gPaths.Add(KB_String("Assets/Textures/Launcher/KV27_Banner_01.png"));
    return gPaths;
}

KB_GrowingArray<int> KV27_ApplicationFactory::GetLauncherBannerTimes()
{
    KB_GrowingArray<int> gTimes;
    gTimes.Add(BANNER_TIME_MS);
    gTimes.Add(BANNER_TIME_MS);
    return gTimes;
}
