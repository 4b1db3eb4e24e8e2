#pragma once
// What this production hands to the engine: its graphics and audio back ends, the material
// library, the audio entity directory and the launcher banners. Made by the program entry and
// owned by the engine singleton from KE_Application::Initialize on. Main thread only.

#include "framework/app/KU_ApplicationFactory.h"

class KV27_ApplicationFactory : public KU_ApplicationFactory
{
public:
    KV27_ApplicationFactory();
    ~KV27_ApplicationFactory() override; // deletes the graphics and audio context factories

    KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() override;
    KU_AudioContextFactory* GetAudioContextFactory() override;    // still owned by the factory
    KB_String GetMaterialFilePath() override;                     // "Assets/Materials/KV27_Materials.xml"
    KB_String GetAudioEntityDirectory() override;                 // "Assets/Entities/Audio/"
    KB_GrowingArray<KB_String> GetLauncherBannerPaths() override; // the two launcher banners
    KB_GrowingArray<int> GetLauncherBannerTimes() override;       // 3000 ms each

private:
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gGraphicsContextFactories; // owned
    KU_AudioContextFactory* m_pAudioContextFactory = nullptr;                // owned
};
