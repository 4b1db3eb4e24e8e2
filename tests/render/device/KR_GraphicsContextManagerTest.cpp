#include "render/device/KR_GraphicsContextManager.h"

#include "framework/app/KE_ApplicationManager.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/D3D11Modules.h"
#include "platform/win32/Win32Control.h"
#include "platform/win32/Windows.h"
#include "render/device/KR_GraphicsContext.h"
#include "render/device/KR_GraphicsContextDX11.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/device/KU_GraphicsContextFactory.h"
#include "render/effects/KR_MetaBallRenderer.h"
#include "render/effects/KR_OITRenderer.h"
#include "render/effects/KR_ParticleEngine.h"
#include "render/effects/KR_PostFXEngine.h"
#include "tests/support/FakeToolsBridge.h"
#include "tests/support/NullGraphicsContext.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

// A context that records what the manager asks of it.
class FakeContext : public NullGraphicsContext
{
public:
    FakeContext(std::vector<std::string>* pLog, int iNumber) : m_pLog(pLog), m_iNumber(iNumber) {}
    ~FakeContext() override { m_pLog->push_back("delete " + std::to_string(m_iNumber)); }

    KB_String GetName() override { return KB_String("Fake"); }
    bool ApplyScreenResolution(KR_ScreenResolution* pResolution) override
    {
        m_pLog->push_back("apply " + std::to_string(m_iNumber) + " " +
                          std::to_string(pResolution->m_uiWidth) + "x" +
                          std::to_string(pResolution->m_uiHeight) + " ratio " +
                          std::to_string(pResolution->m_eAspectRatio));
        return false;
    }

private:
    std::vector<std::string>* m_pLog;
    int m_iNumber;
};

class FakeFactory : public KU_GraphicsContextFactory
{
public:
    explicit FakeFactory(std::vector<std::string>* pLog) : m_pLog(pLog) {}
    KR_GraphicsContext* CreateGraphicsContext() override
    {
        m_pLog->push_back("create " + std::to_string(m_iMade));
        return new FakeContext(m_pLog, m_iMade++);
    }

private:
    std::vector<std::string>* m_pLog;
    int m_iMade = 0;
};

} // namespace

TEST(KR_GraphicsContextManager, CollectsOneContextPerFactoryAndReplacesOldOnes)
{
    std::vector<std::string> vLog;
    FakeFactory first(&vLog);
    FakeFactory second(&vLog);
    KB_GrowingArray<KU_GraphicsContextFactory*> factories;
    factories.Add(&first);
    factories.Add(&second);
    {
        KR_GraphicsContextManager manager(nullptr);
        manager.CreateGraphicsContexts(factories);
        EXPECT_EQ(2u, manager.GetSelectableGraphicsContexts().GetNumMembers());
        manager.CreateGraphicsContexts(factories);
        EXPECT_EQ(2u, manager.GetSelectableGraphicsContexts().GetNumMembers());
    }
    const std::vector<std::string> vExpected = {"create 0", "create 0", "delete 0", "delete 0",
                                                "create 1", "create 1", "delete 1", "delete 1"};
    EXPECT_EQ(vExpected, vLog);
}

TEST(KR_GraphicsContextManager, ScreenResolutionIsClampedAndAppliedOnlyWhenItChanges)
{
    std::vector<std::string> vLog;
    FakeFactory factory(&vLog);
    KB_GrowingArray<KU_GraphicsContextFactory*> factories;
    factories.Add(&factory);
    KR_GraphicsContextManager manager(nullptr);
    manager.CreateGraphicsContexts(factories);
    vLog.clear();

    // True although the context reports failure: the stored size changed.
    EXPECT_TRUE(manager.SetScreenResolution(4, 20000));
    EXPECT_EQ(8u, manager.GetSelectedScreenResolution().m_uiWidth);
    EXPECT_EQ(16384u, manager.GetSelectedScreenResolution().m_uiHeight);
    EXPECT_FALSE(manager.SetScreenResolution(4, 20000));
    EXPECT_FALSE(manager.SetScreenResolution(8, 16384));
    // A minimised window reports 0 x 0: the targets are rebuilt at 8 x 8.
    EXPECT_TRUE(manager.SetScreenResolution(0, 0));
    EXPECT_TRUE(manager.SetScreenResolution(16384, 16383));
    const std::vector<std::string> vExpected = {"apply 0 8x16384 ratio 0", "apply 0 8x8 ratio 0",
                                                "apply 0 16384x16383 ratio 0"};
    EXPECT_EQ(vExpected, vLog);
}

TEST(KR_GraphicsContextManager, NoDeviceWithoutAChoiceOrAWindow)
{
    std::vector<std::string> vLog;
    FakeFactory factory(&vLog);
    KB_GrowingArray<KU_GraphicsContextFactory*> factories;
    factories.Add(&factory);
    KR_GraphicsContextManager manager(nullptr);
    manager.CreateGraphicsContexts(factories);
    int iWindow = 0;
    EXPECT_FALSE(manager.CreateGraphicsDevice(reinterpret_cast<HWND>(&iWindow)));
    EXPECT_FALSE(manager.CreateGraphicsDevice(nullptr));
}

namespace
{

// The Direct3D 11 context on the stand-in device, noting what had been done on the device and in
// the singleton when the resource manager is constructed (its constructor loads through the
// singleton's device).
class OrderRecordingContext : public KR_GraphicsContextDX11
{
public:
    KR_GraphicsResourceManager* CreateGraphicsResourceManager() override
    {
        // The frame that the start-up Present ended.
        for (const auto& record : D3D11Control::GetLastFrameCallLog())
            if (record.Method == "ClearRenderTargetView" || record.Method == "Present")
                m_gCallsBefore.push_back(record.Method);
        m_uiPresentsBefore = D3D11Control::GetPresentCount();
        m_pDeviceAtConstruction = KE_ApplicationManager::GetInstance()->GetGraphicsDevice();
        m_bConstructed = true;
        return KR_GraphicsContextDX11::CreateGraphicsResourceManager();
    }

    std::vector<std::string> m_gCallsBefore;
    std::uint64_t m_uiPresentsBefore = 0;
    KR_GraphicsDevice* m_pDeviceAtConstruction = nullptr;
    bool m_bConstructed = false;
};

class OrderRecordingFactory : public KU_GraphicsContextFactory
{
public:
    KR_GraphicsContext* CreateGraphicsContext() override
    {
        m_pMade = new OrderRecordingContext();
        return m_pMade;
    }
    OrderRecordingContext* m_pMade = nullptr; // owned by the manager
};

// Answers the dialog's choice: the first context, adapter and output at 640 x 480, windowed.
class ChoosingBridge : public FakeToolsBridge
{
public:
    bool GetSelectedScreenResolution(KG_ManagedFacade*, KR_ScreenResolution* pResolution, int* piContext,
                                     int* piAdapter, int* piOutput) override
    {
        pResolution->m_uiWidth = 640;
        pResolution->m_uiHeight = 480;
        pResolution->m_uiRefreshRateNumerator = 60;
        pResolution->m_uiRefreshRateDenominator = 1;
        pResolution->m_uiAntiAliasing = 1;
        pResolution->m_bFullscreen = false;
        *piContext = m_iContext;
        *piAdapter = 0;
        *piOutput = 0;
        return true;
    }
    int m_iContext = 0;
};

LRESULT OrderTestWindowProc(HWND hWindow, UINT uiMessage, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hWindow, uiMessage, wParam, lParam);
}

} // namespace

TEST(KR_GraphicsContextManager, DeviceIsClearedGreyPresentedAndStoredBeforeTheResourceManagerIsMade)
{
    Win32Control::Reset();
    D3D11Control::Reset();
    D3D11Modules::Register();
    {
        ChoosingBridge bridge;
        TestEngine engine;
        char facadeToken = 0; // the bridge answers for the facade; it is never looked at
        engine->SetManagedFacade(reinterpret_cast<KG_ManagedFacade*>(&facadeToken));

        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &OrderTestWindowProc;
        windowClass.lpszClassName = "KR_GraphicsContextManagerTest";
        ASSERT_NE(0, RegisterClassExA(&windowClass));
        HWND hWindow = CreateWindowExA(0, "KR_GraphicsContextManagerTest", "test", 0x00CC0000, 0, 0, 320, 240,
                                       nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, hWindow);

        OrderRecordingFactory factory;
        KB_GrowingArray<KU_GraphicsContextFactory*> factories;
        factories.Add(&factory);
        KR_GraphicsContextManager manager(nullptr);
        manager.CreateGraphicsContexts(factories);

        // A choice naming a context that does not exist makes no device.
        bridge.m_iContext = 1;
        EXPECT_FALSE(manager.PollSelectedScreenResolution());
        EXPECT_FALSE(manager.CreateGraphicsDevice(hWindow));
        EXPECT_EQ(nullptr, engine->GetGraphicsDevice());

        bridge.m_iContext = 0;
        ASSERT_TRUE(manager.PollSelectedScreenResolution());
        D3D11Control::ClearCallLog();
        ASSERT_TRUE(manager.CreateGraphicsDevice(hWindow));

        ASSERT_NE(nullptr, factory.m_pMade);
        ASSERT_TRUE(factory.m_pMade->m_bConstructed);
        EXPECT_EQ((std::vector<std::string>{"ClearRenderTargetView", "Present"}),
                  factory.m_pMade->m_gCallsBefore);
        EXPECT_EQ(1u, factory.m_pMade->m_uiPresentsBefore);
        ASSERT_NE(nullptr, engine->GetGraphicsDevice());
        EXPECT_EQ(engine->GetGraphicsDevice(), factory.m_pMade->m_pDeviceAtConstruction);
        EXPECT_EQ(1u, D3D11Control::GetPresentCount());
        // The clear is light grey.
        const auto vCalls = D3D11Control::GetLastFrameCallLog();
        const auto itClear = std::find_if(vCalls.begin(), vCalls.end(),
                                          [](const D3D11Control::CallRecord& r)
                                          { return r.Method == "ClearRenderTargetView"; });
        ASSERT_NE(vCalls.end(), itClear);
        ASSERT_GE(itClear->Values.size(), 3u);
        EXPECT_FLOAT_EQ(0.85f, static_cast<float>(itClear->Values[0]));
        EXPECT_FLOAT_EQ(0.85f, static_cast<float>(itClear->Values[1]));
        EXPECT_FLOAT_EQ(0.85f, static_cast<float>(itClear->Values[2]));
        EXPECT_NE(nullptr, engine->GetGraphicsResourceManager());
        EXPECT_NE(nullptr, engine->GetParticleEngine());
        EXPECT_NE(nullptr, engine->GetPostFXEngine());
        EXPECT_NE(nullptr, engine->GetOITRenderer());
        EXPECT_NE(nullptr, engine->GetMetaBallRenderer());
        EXPECT_NE(nullptr, engine->GetShaderCoreManager());

        // The singleton owns these in a real run; here the test deletes them.
        delete engine->GetShaderCoreManager();
        delete engine->GetMetaBallRenderer();
        delete engine->GetOITRenderer();
        delete engine->GetPostFXEngine();
        delete engine->GetParticleEngine();
        delete engine->GetGraphicsResourceManager();
        delete engine->GetGraphicsDevice();
        DestroyWindow(hWindow);
    }
    EXPECT_EQ(0u, D3D11Control::GetLiveObjectCount());
    D3D11Control::Reset();
    Win32Control::Reset();
}
