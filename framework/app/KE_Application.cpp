#include "framework/app/KE_Application.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_AudioBridge.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_GraphicsBridge.h"
#include "framework/app/KE_SceneBridge.h"
#include "framework/app/KE_ToolsBridge.h"
#include "framework/app/KI_InputManager.h"
#include "framework/threads/KT_ThreadPool.h"

namespace
{

constexpr std::uint32_t QUIT_CONTROLLER_DEVICE = 0;
constexpr std::uint32_t QUIT_CONTROLLER_BUTTON = 5;

// The arrow shows only while the scene manager allows the cursor in an editor camera mode.
bool IsArrowCursorWanted()
{
    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    KE_SceneBridge* pScenes = KE_ApplicationManager::GetSceneBridge();
    if (pManager == nullptr || pScenes == nullptr || pManager->GetSceneManager() == nullptr)
        return false;
    return pScenes->IsCursorVisible(pManager->GetSceneManager());
}

void OnSize(LPARAM lParam)
{
    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    KE_GraphicsBridge* pGraphics = KE_ApplicationManager::GetGraphicsBridge();
    KE_SceneBridge* pScenes = KE_ApplicationManager::GetSceneBridge();
    if (pManager == nullptr || pGraphics == nullptr || pManager->GetGraphicsDevice() == nullptr ||
        pManager->GetGraphicsContextManager() == nullptr || pManager->GetGraphicsResourceManager() == nullptr)
    {
        return;
    }
    const WORD uiWidth = LOWORD(static_cast<DWORD_PTR>(lParam));
    const WORD uiHeight = HIWORD(static_cast<DWORD_PTR>(lParam));
    if (pGraphics->SetScreenResolution(pManager->GetGraphicsContextManager(), uiWidth, uiHeight) &&
        pScenes != nullptr && pManager->GetSceneManager() != nullptr)
    {
        pScenes->ResizeScenes(pManager->GetSceneManager());
    }
}

} // namespace

bool KE_Application::Initialize(KU_ApplicationFactory* pFactory, const KB_String& sCommandLine)
{
    // The new manager is the engine singleton from here on.
    KE_ApplicationManager* pManager = new KE_ApplicationManager(pFactory);
    const bool bInitialized = pManager->Initialize();

    // Exactly these 8 bytes; capitals, blanks or further arguments leave developer mode off.
    pManager->SetDeveloperBuild(sCommandLine == KB_String("/develop"));

    KE_Dispatcher* pDispatcher = pManager->GetDispatcher();
    pDispatcher->RegisterReceiver(KE_MT_Application, this);
    pDispatcher->RegisterReceiver(KE_MT_Controller, this);

    KT_ThreadPool::Start(KT_ThreadPool::GetDefaultThreadCount());

    // The start-up cannot go on without a factory or an audio context: Run ends at once.
    if (!bInitialized || pFactory == nullptr)
        m_bQuit = true;
    return true;
}

int KE_Application::Run(HINSTANCE hInstance, int iShowCommand)
{
    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    KE_GraphicsBridge* pGraphics = KE_ApplicationManager::GetGraphicsBridge();
    if (m_bQuit || pManager == nullptr || pGraphics == nullptr)
        return FailStartUp();

    if (!pManager->ShowConfigurationDialog())
        return FailStartUp();

    KR_GraphicsContextManager* pContextManager = pManager->GetGraphicsContextManager();
    if (pContextManager == nullptr || !pGraphics->PollSelectedScreenResolution(pContextManager))
        return FailStartUp();

    if (FAILED(CreateMainWindow(hInstance, iShowCommand)))
        return FailStartUp();

    if (!pGraphics->CreateGraphicsDevice(pContextManager, m_hWindow))
        return FailStartUp();

    s_hArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(nullptr);

    pManager->StartRuntime();
    if (m_bQuit)
        return FailStartUp();

    KB_String sTitle = pManager->GetApplicationName();
    SetWindowTextA(m_hWindow, sTitle.GetBuffer());
    HWND hWindow = m_hWindow;
    pManager->GetDispatcher()->Dispatch(KE_MT_Window, KE_MST_WindowActivated, &hWindow);

    int iExitCode = 0;
    MSG message = {};
    for (;;)
    {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        {
            if (message.message == WM_QUIT)
            {
                iExitCode = static_cast<int>(message.wParam);
                break;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        else
        {
            RunFrame();
            if (m_bQuit)
            {
                iExitCode = 0;
                break;
            }
        }
    }

    // No job may run while the scenes and the members are torn down.
    KT_ThreadPool::DrainAndStop();
    KE_SceneBridge* pScenes = KE_ApplicationManager::GetSceneBridge();
    if (pScenes != nullptr && pManager->GetSceneManager() != nullptr)
        pScenes->ShutdownSceneManager(pManager->GetSceneManager());
    Shutdown();
    return iExitCode;
}

void KE_Application::Shutdown()
{
    // Nothing may run on a worker while the members are deleted; after the main loop the pool
    // is already stopped and this does nothing. Idle workers would otherwise be left waiting.
    KT_ThreadPool::DrainAndStop();

    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    if (pManager != nullptr)
    {
        KE_Dispatcher* pDispatcher = pManager->GetDispatcher();
        if (pDispatcher != nullptr)
        {
            pDispatcher->UnRegisterReceiver(KE_MT_Application, this);
            pDispatcher->UnRegisterReceiver(KE_MT_Controller, this);
        }
        delete pManager; // which clears the singleton
    }
    KT_ThreadPool::Kill();
}

bool KE_Application::Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload)
{
    bool bQuitRequest = false;
    if (type == KE_MT_Application)
    {
        bQuitRequest = true;
    }
    else if (type == KE_MT_Controller)
    {
        const auto* pButton = static_cast<const KE_ControllerButtonData*>(pPayload);
        bQuitRequest = subType == KE_MST_ButtonDown && pButton != nullptr &&
                       pButton->device == QUIT_CONTROLLER_DEVICE && pButton->button == QUIT_CONTROLLER_BUTTON;
    }
    else
    {
        return false;
    }

    if (bQuitRequest)
    {
        const bool bForce = type == KE_MT_Application && subType == KE_MST_QuitForced;
        KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
        KE_ToolsBridge* pTools = KE_ApplicationManager::GetToolsBridge();
        bool bMayQuit = true; // without a facade there is no dialog that could refuse
        if (pManager != nullptr && pTools != nullptr && pManager->GetManagedFacade() != nullptr)
            bMayQuit = pTools->CloseInterpolationEditorDialogs(pManager->GetManagedFacade(), bForce);
        if (bMayQuit)
        {
            KT_ThreadPool::DrainAndStop();
            m_bQuit = true;
        }
    }
    return true;
}

HRESULT KE_Application::CreateMainWindow(HINSTANCE hInstance, int iShowCommand)
{
    HICON hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(ICON_RESOURCE_ID));
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &KE_Application::WindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = hInstance;
    windowClass.hIcon = hIcon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = WINDOW_CLASS_NAME;
    windowClass.hIconSm = hIcon;
    if (RegisterClassExA(&windowClass) == 0)
        return E_FAIL;

    m_hInstance = hInstance;

    RECT rect = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRect(&rect, WINDOW_STYLE, FALSE);
    const int iWidth = rect.right - rect.left;
    const int iHeight = rect.bottom - rect.top;

    int iX = CW_USEDEFAULT;
    int iY = CW_USEDEFAULT;
    RECT desktop = {};
    if (GetWindowRect(GetDesktopWindow(), &desktop))
    {
        const int iDesktopWidth = desktop.right - desktop.left;
        const int iDesktopHeight = desktop.bottom - desktop.top;
        iX = (iDesktopWidth >> 1) - (iWidth >> 1);
        iY = (iDesktopHeight >> 1) - (iHeight >> 1);
    }

    m_hWindow = CreateWindowExA(0, WINDOW_CLASS_NAME, INITIAL_WINDOW_TITLE, WINDOW_STYLE, iX, iY, iWidth,
                                iHeight, nullptr, nullptr, hInstance, nullptr);
    if (m_hWindow == nullptr)
        return E_FAIL;
    ShowWindow(m_hWindow, iShowCommand);
    return S_OK;
}

LRESULT KE_Application::WindowProc(HWND hWindow, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    switch (uiMessage)
    {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        OnSize(lParam);
        return 0;
    case WM_PAINT:
    {
        PAINTSTRUCT paint;
        BeginPaint(hWindow, &paint);
        EndPaint(hWindow, &paint);
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        SetCursor(IsArrowCursorWanted() ? s_hArrowCursor : nullptr);
        [[fallthrough]];
    case WM_ACTIVATE:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_MOUSEWHEEL:
    {
        KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
        if (pManager == nullptr || pManager->GetInputManager() == nullptr)
            return 0;
        if (pManager->GetInputManager()->HandleMessage(hWindow, uiMessage, wParam) != 0)
            return DefWindowProcA(hWindow, uiMessage, wParam, lParam);
        return 0;
    }
    default:
        return DefWindowProcA(hWindow, uiMessage, wParam, lParam);
    }
}

void KE_Application::RunFrame()
{
    KE_ApplicationManager* pManager = KE_ApplicationManager::GetInstance();
    if (pManager == nullptr)
        return;
    KE_AudioBridge* pAudio = KE_ApplicationManager::GetAudioBridge();
    KE_GraphicsBridge* pGraphics = KE_ApplicationManager::GetGraphicsBridge();
    KE_SceneBridge* pScenes = KE_ApplicationManager::GetSceneBridge();
    if (pAudio != nullptr && pManager->GetAudioContextManager() != nullptr)
        pAudio->UpdateAudioContext(pManager->GetAudioContextManager());
    if (pGraphics != nullptr && pManager->GetGraphicsDevice() != nullptr)
        pGraphics->PushRasterizerState(pManager->GetGraphicsDevice());
    if (pScenes != nullptr && pManager->GetSceneManager() != nullptr)
        pScenes->UpdateAndRenderScenes(pManager->GetSceneManager());
    if (pGraphics != nullptr && pManager->GetGraphicsDevice() != nullptr)
        pGraphics->PopRasterizerState(pManager->GetGraphicsDevice());
}

int KE_Application::FailStartUp()
{
    Shutdown();
    return 0;
}
