#pragma once
// The application object the program entry keeps on its stack for the whole run: creates the
// engine singleton, opens the main window, runs the message pump with one frame per idle turn
// and tears everything down. Main thread only; it receives the quit requests (type 0) and the
// controller buttons (type 1) from the dispatcher.
//
// Use: Initialize(factory, command line), then set up the singleton's names (its setters),
// validator, repositories and scenes (through its getters), then Run, whose result is the exit
// code: 0 after a quit request or a failed start-up, WM_QUIT's wParam when the window was closed.
//
// Does NOT own the subsystem bridges (see KE_ApplicationManager::SetSceneBridge and its
// neighbours).

#include "framework/app/KE_MessageReceiver.h"
#include "framework/core/KB_String.h"
#include "platform/win32/Windows.h"

class KU_ApplicationFactory;

class KE_Application : public KE_MessageReceiver
{
public:
    // Class name and title of the main window until start-up has finished.
    static constexpr const char* WINDOW_CLASS_NAME = "KorvelaneFramworkWindowClass";
    static constexpr const char* INITIAL_WINDOW_TITLE = "Initializing Korvelane Framework";
    static constexpr WORD ICON_RESOURCE_ID = 1002;
    // 0x00CC0000: captioned, with the system menu and a sizing frame (the window may be resized).
    static constexpr DWORD WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
    static constexpr LONG CLIENT_WIDTH = 320;
    static constexpr LONG CLIENT_HEIGHT = 240;

    KE_Application() = default; // handles null, quit flag clear
    ~KE_Application() override = default;

    KE_Application(const KE_Application&) = delete;
    KE_Application& operator=(const KE_Application&) = delete;

    // Creates the engine singleton with pFactory (owned by it from now on) and its members,
    // switches developer mode on when the command line is exactly "/develop", registers for
    // message types 0 and 1 and starts the worker pool with max(processors, 2) - 1 threads.
    // Always true; a start-up failure here (no factory, no audio context) makes Run end at once.
    bool Initialize(KU_ApplicationFactory* pFactory, const KB_String& sCommandLine);
    // Configuration dialog, main window, device, runtime start, main loop, shutdown. Returns the
    // process exit code.
    int Run(HINSTANCE hInstance, int iShowCommand);
    // Stops the worker pool when it still runs, unregisters the application, destroys the engine
    // singleton and ends any worker still present.
    void Shutdown();

    // Quit requests: type 0 (any subtype) and controller button 5 of device 0 going down ask the
    // facade to close the editor dialogs (forced only for the forced quit); when they agree, the
    // worker pool is drained and stopped and the quit flag is set. True for every message of
    // types 0 and 1, false otherwise.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

    // Registers the window class and creates the centred 320 x 240 main window; 0 or E_FAIL.
    HRESULT CreateMainWindow(HINSTANCE hInstance, int iShowCommand);

    static LRESULT WindowProc(HWND hWindow, UINT uiMessage, WPARAM wParam, LPARAM lParam);

    bool IsQuitRequested() const { return m_bQuit; }
    HWND GetMainWindow() const { return m_hWindow; }

    // The arrow cursor, loaded once by Run; null before.
    static inline HCURSOR s_hArrowCursor = nullptr;

private:
    // Audio update, rasterizer-state push, the scene manager's frame, pop.
    void RunFrame();
    // A failed start-up: shuts down and gives the exit code 0.
    int FailStartUp();

    HINSTANCE m_hInstance = nullptr;
    HWND m_hWindow = nullptr;
    bool m_bQuit = false;
};
