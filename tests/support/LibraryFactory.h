#pragma once
// An application factory for tests whose only answer is the material library's path: no graphics
// or audio contexts, no audio entities, no banners.

#include "framework/app/KU_ApplicationFactory.h"

class LibraryFactory : public KU_ApplicationFactory
{
public:
    explicit LibraryFactory(const char* pLibraryPath) : m_sLibraryPath(pLibraryPath) {}

    KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() override { return m_gNone; }
    KU_AudioContextFactory* GetAudioContextFactory() override { return nullptr; }
    KB_String GetMaterialFilePath() override { return m_sLibraryPath; }
    KB_String GetAudioEntityDirectory() override { return KB_String(); }
    KB_GrowingArray<KB_String> GetLauncherBannerPaths() override { return KB_GrowingArray<KB_String>(); }
    KB_GrowingArray<int> GetLauncherBannerTimes() override { return KB_GrowingArray<int>(); }

private:
    KB_String m_sLibraryPath;
    KB_GrowingArray<KU_GraphicsContextFactory*> m_gNone;
};
