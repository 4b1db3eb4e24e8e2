#include "tools/KG_InterpolationEditorDialogManager.h"

#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_EngineMembers.h"
#include "tools/KG_EditorChunkLists.h"
#include "tools/KG_InterpolationEditorDialog.h"

#include <algorithm>

KG_InterpolationEditorDialogManager::KG_InterpolationEditorDialogManager()
    : m_pMessageReceiver(std::make_unique<KG_MessageReceiver>(this))
{
    m_pDispatcher = KE_GetDispatcher();
    if (m_pDispatcher != nullptr)
    {
        m_pDispatcher->RegisterReceiver(KE_MT_LightSelection, m_pMessageReceiver.get());
        m_pDispatcher->RegisterReceiver(KE_MT_CubeMapSelection, m_pMessageReceiver.get());
    }
}

KG_InterpolationEditorDialogManager::~KG_InterpolationEditorDialogManager()
{
    // Unregister only from a dispatcher the engine still has: at shutdown it may be gone already.
    if (m_pDispatcher != nullptr && m_pDispatcher == KE_GetDispatcher())
    {
        m_pDispatcher->UnRegisterReceiver(KE_MT_LightSelection, m_pMessageReceiver.get());
        m_pDispatcher->UnRegisterReceiver(KE_MT_CubeMapSelection, m_pMessageReceiver.get());
    }
    m_pMessageReceiver.reset();
    // Windows still open at shutdown go without a question: the engine objects they show may
    // be deleted already, so nothing of theirs is touched on the way.
    for (std::unique_ptr<K_GUI::KG_InterpolationEditorDialog>& pDialog : m_aInterpolationEditorDialogs)
        pDialog->DetachFromManager();
    m_aInterpolationEditorDialogs.clear();
    m_aClosedDialogs.clear();
}

bool KG_InterpolationEditorDialogManager::ShowNewInterpolationEditorDialog()
{
    DeleteClosedDialogs();
    auto pDialog = std::make_unique<K_GUI::KG_InterpolationEditorDialog>(this);
    K_GUI::KG_InterpolationEditorDialog* pRaw = pDialog.get();
    m_aInterpolationEditorDialogs.push_back(std::move(pDialog));
    pRaw->Show();
    return true;
}

void KG_InterpolationEditorDialogManager::UpdateInterpolationEditorsDialogs()
{
    DeleteClosedDialogs();
    // By index: an update may close a window, which leaves the list.
    for (std::size_t i = 0; i < m_aInterpolationEditorDialogs.size(); ++i)
        m_aInterpolationEditorDialogs[i]->UpdateVisualisation(false);
}

void KG_InterpolationEditorDialogManager::InvalidateInterpolationEditorsDialogs()
{
    m_pSelectedCubemap = nullptr;
    m_pSelectedLight = nullptr;
    // A window's invalidation forgets its chosen placer and light with every other engine pointer.
    for (std::size_t i = 0; i < m_aInterpolationEditorDialogs.size(); ++i)
        m_aInterpolationEditorDialogs[i]->InvalidateInterpolation();
}

bool KG_InterpolationEditorDialogManager::CloseInterpolationEditorDialogs(bool bForce)
{
    // Each window that closes leaves the live list from its closed event: walk a copy.
    std::vector<K_GUI::KG_InterpolationEditorDialog*> aDialogs;
    for (const std::unique_ptr<K_GUI::KG_InterpolationEditorDialog>& pDialog : m_aInterpolationEditorDialogs)
        aDialogs.push_back(pDialog.get());
    bool bAllClosed = true;
    for (K_GUI::KG_InterpolationEditorDialog* pDialog : aDialogs)
    {
        if (!pDialog->CloseInterpolationEditorDialog(bForce))
        {
            bAllClosed = false;
            break;
        }
    }
    DeleteClosedDialogs();
    // The world-model lists are rebuilt by the next window.
    if (bAllClosed)
        K_GUI::KG_EditorChunkLists::ClearListsOfAllChunks();
    return bAllClosed;
}

void KG_InterpolationEditorDialogManager::RemoveInterpolationEditorDialog(
    K_GUI::KG_InterpolationEditorDialog* pDialog)
{
    auto it = std::find_if(m_aInterpolationEditorDialogs.begin(), m_aInterpolationEditorDialogs.end(),
                           [pDialog](const auto& p) { return p.get() == pDialog; });
    if (it == m_aInterpolationEditorDialogs.end())
        return;
    m_aClosedDialogs.push_back(std::move(*it));
    m_aInterpolationEditorDialogs.erase(it);
}

void KG_InterpolationEditorDialogManager::SetLightSelected(KR_LightBase* pLight)
{
    m_pSelectedLight = pLight;
    for (std::size_t i = 0; i < m_aInterpolationEditorDialogs.size(); ++i)
        m_aInterpolationEditorDialogs[i]->SetLightSelected(pLight);
}

void KG_InterpolationEditorDialogManager::SetCubemapSelected(KR_CubeMapPlacer* pPlacer)
{
    m_pSelectedCubemap = pPlacer;
    for (std::size_t i = 0; i < m_aInterpolationEditorDialogs.size(); ++i)
        m_aInterpolationEditorDialogs[i]->SetCubemapSelected(pPlacer);
}

K_GUI::KG_InterpolationEditorDialog*
KG_InterpolationEditorDialogManager::GetDialog(std::uint32_t uiIndex) const
{
    return uiIndex < m_aInterpolationEditorDialogs.size() ? m_aInterpolationEditorDialogs[uiIndex].get()
                                                          : nullptr;
}

void KG_InterpolationEditorDialogManager::DeleteClosedDialogs()
{
    std::vector<std::unique_ptr<K_GUI::KG_InterpolationEditorDialog>> aClosed;
    aClosed.swap(m_aClosedDialogs);
    aClosed.clear();
}
