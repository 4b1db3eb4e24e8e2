#include "render/device/KR_GraphicsContextManager.h"

#include "render/device/KR_GraphicsContext.h"
#include "render/device/KU_GraphicsContextFactory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// A context that records what the manager asks of it.
class FakeContext : public KR_GraphicsContext
{
public:
    FakeContext(std::vector<std::string>* pLog, int iNumber) : m_pLog(pLog), m_iNumber(iNumber) {}
    ~FakeContext() override { m_pLog->push_back("delete " + std::to_string(m_iNumber)); }

    bool LoadLibraries() override { return true; }
    KB_String GetName() override { return KB_String("Fake"); }
    KB_GrowingArray<KB_String>* GetAdapterNames() override { return new KB_GrowingArray<KB_String>(); }
    KB_GrowingArray<KB_String>* GetOutputNames(std::uint32_t) override
    {
        return new KB_GrowingArray<KB_String>();
    }
    KB_GrowingArray<KR_ScreenResolution>* GetScreenResolutions(std::uint32_t, std::uint32_t) override
    {
        return new KB_GrowingArray<KR_ScreenResolution>();
    }
    KR_GraphicsDevice* CreateGraphicsDevice(HWND, std::uint32_t, std::uint32_t, KR_ScreenResolution*) override
    {
        return nullptr;
    }
    bool ApplyScreenResolution(KR_ScreenResolution* pResolution) override
    {
        m_pLog->push_back("apply " + std::to_string(m_iNumber) + " " +
                          std::to_string(pResolution->m_uiWidth) + "x" +
                          std::to_string(pResolution->m_uiHeight) + " ratio " +
                          std::to_string(pResolution->m_eAspectRatio));
        return false;
    }
    KR_GraphicsResourceManager* CreateGraphicsResourceManager() override { return nullptr; }
    KR_ParticleEngine* CreateParticleEngine() override { return nullptr; }
    KR_PostFXEngine* CreatePostFXEngine() override { return nullptr; }
    KR_OITRenderer* CreateOITRenderer() override { return nullptr; }
    KR_MetaBallRenderer* CreateMetaBallRenderer() override { return nullptr; }
    KR_ShaderCoreManager* CreateShaderCoreManager() override { return nullptr; }

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
