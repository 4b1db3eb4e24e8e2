#pragma once
// What the scene manager's tests share: recording fakes of the scenes, the four renderers, the
// shader core manager, the resource manager, the graphics device, the audio context and the
// tools bridge, all writing into one call log (the load job writes from its worker, so the log
// is locked), and a rig that installs them in a test engine with a dispatcher, a file manager
// over memory, a graphics context manager, a real audio resource manager, a manual clock, a
// Sleep that returns at once and a one-worker pool.

#include "audio/KA_AudioContext.h"
#include "audio/KA_AudioContextManager.h"
#include "audio/KU_AudioContextFactory.h"
#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"
#include "framework/app/KE_ToolsBridge.h"
#include "framework/threads/KT_ThreadPool.h"
#include "platform/crt/CrtControl.h"
#include "platform/win32/Win32SystemControl.h"
#include "render/camera/KR_Camera.h"
#include "render/device/KR_GraphicsContextManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/effects/KR_MetaBallRenderer.h"
#include "render/effects/KR_OITRenderer.h"
#include "render/effects/KR_ParticleEngine.h"
#include "render/scene/KR_Scene.h"
#include "render/scene/KR_SceneManager.h"
#include "tests/support/FakeGraphicsDevice.h"
#include "tests/support/LibraryFactory.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/NullPostFXEngine.h"
#include "tests/support/NullResourceManager.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace scenetest
{

class CallLog
{
public:
    void Add(const std::string& sCall)
    {
        std::lock_guard<std::mutex> lock(m_oMutex);
        m_gCalls.push_back(sCall);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> lock(m_oMutex);
        std::vector<std::string> gCalls;
        gCalls.swap(m_gCalls);
        return gCalls;
    }
    // The calls whose text begins with one of the prefixes, in order.
    std::vector<std::string> Filter(const std::vector<std::string>& gPrefixes)
    {
        std::lock_guard<std::mutex> lock(m_oMutex);
        std::vector<std::string> gOut;
        for (const std::string& sCall : m_gCalls)
        {
            for (const std::string& sPrefix : gPrefixes)
            {
                if (sCall.rfind(sPrefix, 0) == 0)
                {
                    gOut.push_back(sCall);
                    break;
                }
            }
        }
        return gOut;
    }

private:
    std::mutex m_oMutex;
    std::vector<std::string> m_gCalls;
};

// A scene that logs its slots as "<name>.<slot>" and renders through a fixed camera when given one.
class RecordingScene : public KR_Scene
{
public:
    RecordingScene(CallLog& log, const char* pName) : m_Log(log), m_sName(pName) { SetSceneName(pName); }
    ~RecordingScene() override { m_Log.Add(m_sName + ".~"); }

    bool PreLoad() override
    {
        m_Log.Add(m_sName + ".PreLoad");
        if (m_OnPreLoad)
            m_OnPreLoad();
        return true;
    }
    bool Load() override
    {
        m_Log.Add(m_sName + ".Load");
        return true;
    }
    void OnResize() override { m_Log.Add(m_sName + ".OnResize"); }
    bool Update(double) override
    {
        m_Log.Add(m_sName + ".Update");
        return true;
    }
    void RenderModels(double, const DirectX::XMMATRIX*) override {}
    void Render(KR_Camera*, double, bool) override { m_Log.Add(m_sName + ".Render"); }
    bool Unload() override
    {
        m_Log.Add(m_sName + ".Unload");
        return true;
    }
    bool Shutdown() override
    {
        m_Log.Add(m_sName + ".Shutdown");
        return true;
    }
    bool RenderCubeMapsAtLoad() override
    {
        m_Log.Add(m_sName + ".RenderCubeMapsAtLoad");
        return true;
    }
    bool PostLoad() override
    {
        m_Log.Add(m_sName + ".PostLoad");
        return true;
    }
    void AcquireShadowMaps() override { m_Log.Add(m_sName + ".AcquireShadowMaps"); }
    void ReleaseShadowMaps() override { m_Log.Add(m_sName + ".ReleaseShadowMaps"); }
    KR_Camera* GetActiveCamera(double) override { return m_pCamera; }

    KR_Camera* m_pCamera = nullptr; // not owned
    std::function<void()> m_OnPreLoad;

private:
    CallLog& m_Log;
    std::string m_sName;
};

class RecordingPostFX : public NullPostFXEngine
{
public:
    explicit RecordingPostFX(CallLog& log) : m_Log(log) {}
    bool Initialize() override { return Add("PostFX.Initialize"); }
    bool CreateResources() override { return Add("PostFX.CreateResources"); }
    bool CreateSizeDependentResources() override { return Add("PostFX.CreateSizeDependentResources"); }
    bool ReleaseResources() override { return Add("PostFX.ReleaseResources"); }
    bool ReleaseSizeDependentResources() override { return Add("PostFX.ReleaseSizeDependentResources"); }
    bool EnableEffect(std::uint32_t uiId, const void* pRecord) override
    {
        std::string sCall = "PostFX.EnableEffect " + std::to_string(uiId);
        if (uiId == 7 && pRecord != nullptr)
            sCall += std::string(" ") + static_cast<const char*>(pRecord);
        return Add(sCall);
    }
    bool BeginFrame(const float*) override { return Add("PostFX.BeginFrame"); }
    bool EndFrame() override { return Add("PostFX.EndFrame"); }

private:
    bool Add(const std::string& sCall)
    {
        m_Log.Add(sCall);
        return true;
    }
    CallLog& m_Log;
};

class RecordingParticles : public KR_ParticleEngine
{
public:
    explicit RecordingParticles(CallLog& log) : m_Log(log) {}
    bool Initialize() override { return Add("Particles.Initialize"); }
    bool CreateResources() override { return Add("Particles.CreateResources"); }
    bool ReleaseResources() override { return Add("Particles.ReleaseResources"); }
    bool ReleaseSizeDependentResources() override { return Add("Particles.ReleaseSizeDependentResources"); }
    void Reset(double fTime) override { Add("Particles.Reset " + std::to_string(fTime)); }
    void QueueSpawn(KR_ParticleSpawnRequest*) override {}
    bool UpdateAndRender(const DirectX::XMMATRIX&, const DirectX::XMMATRIX&, double, float) override
    {
        return Add("Particles.UpdateAndRender");
    }
    std::uint32_t RegisterColorTexture(const KB_String&) override { return 0; }
    std::uint32_t RegisterSpriteTexture(const KB_String&) override { return 0; }
    void SetHeightFieldTexture(ID3D11ShaderResourceView*) override {}

private:
    bool Add(const std::string& sCall)
    {
        m_Log.Add(sCall);
        return true;
    }
    CallLog& m_Log;
};

// The life cycle of the OIT and metaball renderers and of the shader core manager, named by prefix.
template <class TBase>
class RecordingLifeCycle : public TBase
{
public:
    RecordingLifeCycle(CallLog& log, const char* pName) : m_Log(log), m_sName(pName) {}
    bool Initialize() override { return Add("Initialize"); }
    bool CreateResources() override { return Add("CreateResources"); }
    bool CreateSizeDependentResources() override { return Add("CreateSizeDependentResources"); }
    bool ReleaseResources() override { return Add("ReleaseResources"); }
    bool ReleaseSizeDependentResources() override { return Add("ReleaseSizeDependentResources"); }

protected:
    bool Add(const std::string& sCall)
    {
        m_Log.Add(m_sName + "." + sCall);
        return true;
    }
    CallLog& m_Log;
    std::string m_sName;
};

class RecordingOIT : public RecordingLifeCycle<KR_OITRenderer>
{
public:
    explicit RecordingOIT(CallLog& log) : RecordingLifeCycle(log, "OIT") {}
    bool BeginTransparency() override { return true; }
    bool EndTransparency() override { return true; }
    bool Resolve() override { return Add("Resolve"); }
    bool DiscardLists() override { return Add("DiscardLists"); }
};

class RecordingMetaBalls : public RecordingLifeCycle<KR_MetaBallRenderer>
{
public:
    explicit RecordingMetaBalls(CallLog& log) : RecordingLifeCycle(log, "MetaBalls") {}
    bool Render(KR_Camera*, const KB_GrowingArray<KR_MetaBall>*, float) override { return false; }
};

using RecordingShaderCore = RecordingLifeCycle<KR_ShaderCoreManager>;

// Loading progress: 0 until the loading phase begins, then the scripted value; finished once the
// phase began and bFinished is set.
class RecordingResources : public NullResourceManager
{
public:
    explicit RecordingResources(CallLog& log) : m_Log(log) {}
    void LoadDefaultResources() override { m_Log.Add("Resources.LoadDefaultResources"); }
    void BeginLoadingPhase() override
    {
        m_Log.Add("Resources.BeginLoadingPhase");
        m_bPhase = true;
    }
    float GetLoadingProgress() override { return m_bPhase ? m_fProgress.load() : 0.0f; }
    bool FinishLoading() override { return m_bPhase && m_bFinished; }
    void ProcessQueuedTexture3D() override { ++m_uiTexture3DCalls; }

    std::atomic<float> m_fProgress{1.0f};
    std::atomic<bool> m_bFinished{true};
    std::atomic<bool> m_bPhase{false};
    std::atomic<std::uint32_t> m_uiTexture3DCalls{0};

private:
    CallLog& m_Log;
};

// The size and aspect ratio follow what the test sets; clears and presents are logged.
class RecordingDevice : public FakeGraphicsDevice
{
public:
    RecordingDevice(CallLog& log, ID3D11Device* pDevice = nullptr, ID3D11DeviceContext* pContext = nullptr)
        : FakeGraphicsDevice(pDevice, pContext, 16.0f / 9.0f), m_Log(log)
    {
    }
    void ClearMainRenderTarget(const float[4]) override { m_Log.Add("Device.Clear"); }
    void Present() override { m_Log.Add("Device.Present"); }
    std::uint32_t GetWidth() override { return m_uiWidth; }
    std::uint32_t GetHeight() override { return m_uiHeight; }
    std::uint32_t GetRenderingQuality() override { return m_uiQuality; }
    float GetAspectRatio() override { return m_fAspectRatio; }
    void SetAspectRatio(float fAspectRatio) { m_fAspectRatio = fAspectRatio; }

    std::uint32_t m_uiWidth = 1280;
    std::uint32_t m_uiHeight = 720;
    std::uint32_t m_uiQuality = 0;

private:
    CallLog& m_Log;
};

class RecordingAudioContext : public KA_AudioContext
{
public:
    explicit RecordingAudioContext(CallLog& log) : m_Log(log) {}
    bool Initialize() override { return true; }
    const KB_GrowingArray<KB_String>& GetAudioDevices() const override { return m_gNone; }
    bool SelectAudioDevice(std::uint32_t) override { return true; }
    std::int32_t Update() override { return 0; }
    std::int32_t SetMasterVolume(float) override { return 0; }
    std::int32_t Set3DListenerAttributes(const DirectX::XMFLOAT3*, const DirectX::XMFLOAT3*,
                                         const DirectX::XMFLOAT3*, const DirectX::XMFLOAT3*) override
    {
        m_Log.Add("Audio.Listener");
        return 0;
    }
    KA_AudioResource* CreateAudioResource(const KB_String&, bool, bool) override { return nullptr; }

private:
    CallLog& m_Log;
    KB_GrowingArray<KB_String> m_gNone;
};

class RecordingAudioFactory : public KU_AudioContextFactory
{
public:
    explicit RecordingAudioFactory(CallLog& log) : m_Log(log) {}
    KA_AudioContext* CreateAudioContext() override { return new RecordingAudioContext(m_Log); }

private:
    CallLog& m_Log;
};

class RigFactory : public LibraryFactory
{
public:
    RigFactory(CallLog& log, bool bSynchronized)
        : LibraryFactory("Assets/Materials/Library.xml"), m_AudioFactory(log), m_bSynchronized(bSynchronized)
    {
    }
    KU_AudioContextFactory* GetAudioContextFactory() override { return &m_AudioFactory; }
    bool UseSynchronizedTime() override { return m_bSynchronized; }

private:
    RecordingAudioFactory m_AudioFactory;
    bool m_bSynchronized;
};

class RecordingToolsBridge : public KE_ToolsBridge
{
public:
    explicit RecordingToolsBridge(CallLog& log) : m_Log(log) {}
    KG_ManagedFacade* CreateManagedFacade() override { return nullptr; }
    void DeleteManagedFacade(KG_ManagedFacade*) override {}
    bool ShowConfigurationDialog(KG_ManagedFacade*, const KB_GrowingArray<KB_String>&,
                                 const KB_GrowingArray<int>&) override
    {
        return false;
    }
    bool GetSelectedAudioDevice(KG_ManagedFacade*, std::uint32_t*) override { return false; }
    bool CloseInterpolationEditorDialogs(KG_ManagedFacade*, bool) override { return true; }
    bool GetSelectedScreenResolution(KG_ManagedFacade*, KR_ScreenResolution*, int*, int*, int*) override
    {
        return false;
    }
    void ShowMessageBox(KG_ManagedFacade*, const KB_String&, const KB_String&) override {}
    bool ShowInterpolationEditorDialog(KG_ManagedFacade*) override
    {
        m_Log.Add("Tools.ShowEditorDialog");
        return true;
    }
    void UpdateInterpolationEditorDialogs(KG_ManagedFacade*) override
    {
        m_Log.Add("Tools.UpdateEditorDialogs");
    }
    void InvalidateInterpolationEditorDialogs(KG_ManagedFacade*) override
    {
        m_Log.Add("Tools.InvalidateEditorDialogs");
    }

private:
    CallLog& m_Log;
};

// Counts the application's quit requests.
class QuitListener : public KE_MessageReceiver
{
public:
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override
    {
        if (type == KE_MT_Application && subType == KE_MST_QuitRequest && pPayload == nullptr)
            ++m_uiRequests;
        return true;
    }
    std::uint32_t m_uiRequests = 0;
};

// Everything the scene manager reaches through the engine, installed; the clock stands at 0.
class Rig
{
public:
    explicit Rig(bool bSynchronized = true)
        : m_Engine(new RigFactory(m_Log, bSynchronized)), m_PostFX(m_Log), m_Particles(m_Log), m_OIT(m_Log),
          m_MetaBalls(m_Log), m_ShaderCore(m_Log, "ShaderCore"), m_Resources(m_Log), m_Device(m_Log),
          m_Contexts(nullptr), m_AudioContexts(m_Engine->GetApplicationFactory()), m_Tools(m_Log)
    {
        CrtControl::SetClock(0);
        Win32SystemControl::SetSleepSkipped(true);
        KT_ThreadPool::Start(1);
        m_AudioContexts.CreateAudioContext();
        KE_ApplicationManager::SetToolsBridge(&m_Tools);
        m_Engine->SetDispatcher(&m_Dispatcher);
        m_Files.Install();
        m_Engine->SetPostFXEngine(&m_PostFX);
        m_Engine->SetParticleEngine(&m_Particles);
        m_Engine->SetOITRenderer(&m_OIT);
        m_Engine->SetMetaBallRenderer(&m_MetaBalls);
        m_Engine->SetShaderCoreManager(&m_ShaderCore);
        m_Engine->SetGraphicsResourceManager(&m_Resources);
        m_Engine->SetGraphicsDevice(&m_Device);
        m_Engine->SetGraphicsContextManager(&m_Contexts);
        m_Engine->SetMaterialManager(&m_Materials);
        m_Engine->SetAudioContextManager(&m_AudioContexts);
        // Any non-null pointer: the rig's tools bridge never looks at it.
        m_Engine->SetManagedFacade(reinterpret_cast<KG_ManagedFacade*>(&m_Tools));
        m_Engine->SetApplicationShortName("KV-27");
        m_Dispatcher.RegisterReceiver(KE_MT_Application, &m_Quit);
    }
    ~Rig()
    {
        KT_ThreadPool::DrainAndStop();
        KT_ThreadPool::Kill();
        m_Engine->SetManagedFacade(nullptr);
        KE_ApplicationManager::SetToolsBridge(nullptr);
        Win32SystemControl::Reset();
        CrtControl::Reset();
    }

    // Frames until the hand-over (bounded); the number of frames it took.
    std::uint32_t RunUntilLoaded(KR_SceneManager& scenes)
    {
        std::uint32_t uiFrames = 0;
        while (!scenes.IsLoaded() && uiFrames < 1000000)
        {
            scenes.UpdateAndRender();
            ++uiFrames;
            if (!scenes.IsLoadJobDone())
                std::this_thread::yield();
        }
        return uiFrames;
    }
    static void WaitForLoadJob(KR_SceneManager& scenes)
    {
        while (!scenes.IsLoadJobDone())
            std::this_thread::yield();
    }

    CallLog m_Log;
    TestEngine m_Engine;
    KE_Dispatcher m_Dispatcher;
    MemoryFiles m_Files{false};
    MemoryRepository* m_pRepository = m_Files.GetRepository();
    RecordingPostFX m_PostFX;
    RecordingParticles m_Particles;
    RecordingOIT m_OIT;
    RecordingMetaBalls m_MetaBalls;
    RecordingShaderCore m_ShaderCore;
    RecordingResources m_Resources;
    RecordingDevice m_Device;
    KR_GraphicsContextManager m_Contexts;
    KR_MaterialManager m_Materials;
    KA_AudioContextManager m_AudioContexts;
    RecordingToolsBridge m_Tools;
    QuitListener m_Quit;
};

} // namespace scenetest
