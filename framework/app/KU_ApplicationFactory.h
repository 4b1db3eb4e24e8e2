#pragma once
// What a production hands to the engine: its graphics and audio back ends, where the material
// library and the audio entity files are, the configuration dialog's banners, and which clock
// drives scene time. The program entry creates its own subclass and passes it to
// KE_Application::Initialize; the engine singleton owns it from then on and deletes it last but
// one at shutdown. Main thread only.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

class KU_GraphicsContextFactory;
class KU_AudioContextFactory;

class KU_ApplicationFactory
{
public:
    KU_ApplicationFactory() = default;
    virtual ~KU_ApplicationFactory() = default;

    KU_ApplicationFactory(const KU_ApplicationFactory&) = delete;
    KU_ApplicationFactory& operator=(const KU_ApplicationFactory&) = delete;

    // The graphics context manager asks each factory for one graphics context, in array order.
    virtual KB_GrowingArray<KU_GraphicsContextFactory*>& GetGraphicsContextFactories() = 0;
    // Makes the one audio context; not owned by the caller.
    virtual KU_AudioContextFactory* GetAudioContextFactory() = 0;
    // Path of the material library XML, read through the repositories.
    virtual KB_String GetMaterialFilePath() = 0;
    // Directory of the audio entity files.
    virtual KB_String GetAudioEntityDirectory() = 0;
    // Banner image paths for the configuration dialog, read through the repositories.
    virtual KB_GrowingArray<KB_String> GetLauncherBannerPaths() = 0;
    // Display time of each banner in milliseconds, index-aligned with the paths.
    virtual KB_GrowingArray<int> GetLauncherBannerTimes() = 0;
    // True: scene time comes from the synchronisation clock; false: from the process clock.
    virtual bool UseSynchronizedTime() { return true; }
};
