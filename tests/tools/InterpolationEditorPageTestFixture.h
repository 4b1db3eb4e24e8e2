#pragma once
// Shared by the interpolation editor's page tests: a scene that loads nothing, a scene source the
// test steers, and a fixture with a temporary asset root behind the engine's file manager, the
// curve registry, the editor window's manager and reads of the window's controls and files.
// Message boxes are strict: one the test did not queue an answer for fails it at teardown.

#include "framework/files/KF_FileManager.h"
#include "platform/forms/FormsControl.h"
#include "platform/win32/Win32Control.h"
#include "render/scene/KR_Scene.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestTempDir.h"
#include "timing/KU_InterpolationManager.h"
#include "tools/KG_EditorChunkLists.h"
#include "tools/KG_EditorSceneSource.h"
#include "tools/KG_InterpolationEditorDialog.h"
#include "tools/KG_InterpolationEditorDialogManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

class EditorTestScene : public KR_Scene
{
public:
    explicit EditorTestScene(const char* pName) { SetSceneName(pName); }
    bool PreLoad() override { return true; }
    void OnResize() override {}
    void RenderModels(double, const DirectX::XMMATRIX*) override {}
    bool Shutdown() override { return true; }
    bool PostLoad() override { return true; }
};

class FakeEditorSceneSource : public K_GUI::KG_EditorSceneSource
{
public:
    KB_GrowingArray<KR_Scene*> GetAllScenes() const override { return m_gScenes; }
    KR_Scene* GetCurrentScene() const override { return m_pCurrent; }
    double GetProductionTime() const override { return m_dProductionTime; }
    DirectX::XMFLOAT3 GetFreeCameraPosition() const override { return m_vFreeCamera; }
    bool CreateNewCameraInterpolation(const NewCamera&) override { return false; }

    KB_GrowingArray<KR_Scene*> m_gScenes;
    KR_Scene* m_pCurrent = nullptr;
    double m_dProductionTime = 0.0;
    DirectX::XMFLOAT3 m_vFreeCamera = {1.0f, 2.0f, 3.0f};
};

class InterpolationEditorPageTestFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32Control::Reset();
        FormsControl::Reset();
        FormsControl::SetStrictMessageBoxes(true);
        ASSERT_TRUE(m_Root.IsValid());
        m_Files.AddDirectoryRepository(m_Root.GetPath().c_str());
        m_Engine->SetFileManager(&m_Files);
        m_Engine->SetInterpolationManager(&m_Registry);
    }

    void TearDown() override
    {
        m_pManager.reset();
        K_GUI::KG_EditorChunkLists::ClearListsOfAllChunks();
        EXPECT_EQ(FormsControl::GetUnexpectedMessageBoxCount(), 0);
        FormsControl::Reset();
        Win32Control::Reset();
    }

    // Opens one editor window over the given source and shows the page of the named tab (or leaves
    // the page the window opens on).
    K_GUI::KG_InterpolationEditorDialog* OpenDialog(K_GUI::KG_EditorSceneSource* pSource,
                                                    const char* pTabName = nullptr)
    {
        m_pManager = std::make_unique<KG_InterpolationEditorDialogManager>();
        m_pManager->ShowNewInterpolationEditorDialog();
        m_pDialog = m_pManager->GetDialog(0);
        m_pDialog->SetSceneSource(pSource);
        if (pTabName != nullptr)
            ShowPage(pTabName);
        return m_pDialog;
    }
    void ShowPage(const char* pTabName)
    {
        const int iPage = m_pDialog->GetPageIndex(pTabName);
        ASSERT_GE(iPage, 0) << pTabName;
        m_pDialog->Find<forms::TabControl>("frameworkTabControl")->SetSelectedIndex(iPage);
    }
    template <typename T>
    T* Get(const char* pName)
    {
        T* p = m_pDialog->Find<T>(pName);
        EXPECT_NE(p, nullptr) << pName;
        return p;
    }
    void Click(const char* pName) { ASSERT_TRUE(Get<forms::Button>(pName)->UserClick()) << pName; }

    void Write(const std::string& sPath, const std::string& sText)
    {
        std::filesystem::create_directories(std::filesystem::path(m_Root.Join(sPath)).parent_path());
        std::ofstream(m_Root.Join(sPath), std::ios::binary) << sText;
    }
    std::string Read(const std::string& sPath)
    {
        std::ifstream in(m_Root.Join(sPath), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool Exists(const std::string& sPath) { return std::filesystem::exists(m_Root.Join(sPath)); }

    TestTempDir m_Root;
    TestEngine m_Engine;
    KF_FileManager m_Files;
    KU_InterpolationManager m_Registry;
    std::unique_ptr<KG_InterpolationEditorDialogManager> m_pManager;
    K_GUI::KG_InterpolationEditorDialog* m_pDialog = nullptr;
};
