#pragma once
// One graphics programming interface the engine can drive. It lists adapters, their outputs and
// display modes for the configuration dialog and, once the user has chosen, makes the device on
// the main window and every device-dependent engine object. Main thread only.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/win32/WinTypes.h"
#include "render/device/KR_ScreenResolution.h"

#include <cstdint>

class KR_GraphicsDevice;
class KR_GraphicsResourceManager;
class KR_ParticleEngine;
class KR_PostFXEngine;
class KR_OITRenderer;
class KR_MetaBallRenderer;
class KR_ShaderCoreManager;

class KR_GraphicsContext
{
public:
    KR_GraphicsContext() = default;
    virtual ~KR_GraphicsContext() = default;

    KR_GraphicsContext(const KR_GraphicsContext&) = delete;
    KR_GraphicsContext& operator=(const KR_GraphicsContext&) = delete;

    // Loads the system libraries (each tried once); true when all are there.
    virtual bool LoadLibraries() = 0;
    virtual KB_String GetName() = 0;
    // The arrays are new and owned by the caller; empty when the libraries are missing, null only
    // when memory runs out. Names are the system's UTF-16 texts cut to their low bytes.
    virtual KB_GrowingArray<KB_String>* GetAdapterNames() = 0;
    virtual KB_GrowingArray<KB_String>* GetOutputNames(std::uint32_t uiAdapter) = 0;
    // The output's modes in the order it reports them, duplicates included.
    virtual KB_GrowingArray<KR_ScreenResolution>* GetScreenResolutions(std::uint32_t uiAdapter,
                                                                       std::uint32_t uiOutput) = 0;
    // Makes the device and swap chain on the window and places the window; writes the multisample
    // quality it used into *pScreenResolution. Null on failure; device creation failures that the
    // user must know of are shown in a message box.
    virtual KR_GraphicsDevice* CreateGraphicsDevice(HWND hWindow, std::uint32_t uiAdapter,
                                                    std::uint32_t uiOutput,
                                                    KR_ScreenResolution* pScreenResolution) = 0;
    // Rebuilds the engine singleton's device at the new setting; true when the resize and the
    // new size-dependent resources both succeeded.
    virtual bool ApplyScreenResolution(KR_ScreenResolution* pScreenResolution) = 0;
    // Each makes a new object (owned by the caller) without touching the device; null when memory
    // runs out.
    virtual KR_GraphicsResourceManager* CreateGraphicsResourceManager() = 0;
    virtual KR_ParticleEngine* CreateParticleEngine() = 0;
    virtual KR_PostFXEngine* CreatePostFXEngine() = 0;
    virtual KR_OITRenderer* CreateOITRenderer() = 0;
    virtual KR_MetaBallRenderer* CreateMetaBallRenderer() = 0;
    virtual KR_ShaderCoreManager* CreateShaderCoreManager() = 0;
};
