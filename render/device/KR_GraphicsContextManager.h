#pragma once
// Collects one graphics context from every registered context factory, keeps the configuration
// dialog's choice (context, adapter, output and screen resolution), makes the graphics device on
// the main window with every device-dependent engine object, and applies later window-size
// changes. Owned by the engine singleton; main thread only.

#include "framework/core/KB_GrowingArray.h"
#include "platform/win32/WinTypes.h"
#include "render/device/KR_ScreenResolution.h"

#include <cstdint>

class KU_ApplicationFactory;
class KU_GraphicsContextFactory;
class KR_GraphicsContext;

class KR_GraphicsContextManager
{
public:
    // The engine makes the manager only when it has an application factory and hands it over; the
    // manager itself needs nothing from it (the context factories come with CreateGraphicsContexts),
    // so it keeps no pointer to it.
    explicit KR_GraphicsContextManager(KU_ApplicationFactory* pApplicationFactory);
    // Deletes every context.
    ~KR_GraphicsContextManager();

    KR_GraphicsContextManager(const KR_GraphicsContextManager&) = delete;
    KR_GraphicsContextManager& operator=(const KR_GraphicsContextManager&) = delete;

    // Keeps the list (not owned, must outlive the manager), deletes the contexts held so far and
    // asks each factory, in list order, for one new context.
    void CreateGraphicsContexts(KB_GrowingArray<KU_GraphicsContextFactory*>& factories);
    KB_GrowingArray<KR_GraphicsContext*>& GetSelectableGraphicsContexts() { return m_gGraphicsContexts; }

    // Takes the configuration dialog's choice from the managed facade; false when there is none
    // or when it names a context, adapter or output that cannot exist.
    bool PollSelectedScreenResolution();
    // Makes the device of the chosen context on the window, clears it to light grey, presents
    // once and stores the device, the resource manager, the four effect renderers and the shader
    // core manager in the engine singleton, in that order. False without a valid choice or
    // window, or when the device or its size-dependent resources cannot be made (nothing is
    // stored then).
    bool CreateGraphicsDevice(HWND hWindow);
    // Clamps each side to 8..16384. False, doing nothing, when the size is the stored one; else
    // stores it, resets the aspect ratio to "from the size", applies it on the chosen context and
    // returns true whether or not that succeeded (the caller resizes its targets on true).
    bool SetScreenResolution(std::uint16_t uiWidth, std::uint16_t uiHeight);

    const KR_ScreenResolution& GetSelectedScreenResolution() const { return m_oSelectedScreenResolution; }

private:
    KB_GrowingArray<KU_GraphicsContextFactory*>* m_pgFactories = nullptr; // not owned
    KB_GrowingArray<KR_GraphicsContext*> m_gGraphicsContexts;             // owned contexts
    bool m_bSelectionValid = false;
    std::uint32_t m_uiSelectedGraphicsContext = 0;
    std::uint32_t m_uiSelectedAdapter = 0;
    std::uint32_t m_uiSelectedOutput = 0;
    KR_ScreenResolution m_oSelectedScreenResolution;
};
