#pragma once
// Keeps the open editor windows: opens new ones, forwards the engine's per-frame update and the
// invalidation after a reload to each, asks each whether it may close when the program quits,
// and remembers the light and cube-map placer last picked in the 3D view so that a window opened
// later starts with them. Owned by the managed facade; main thread only.
//
// The manager owns its windows. A window that closed (by the manager or by its own close box)
// leaves the list from its closed event and is deleted at the next safe point: the end of
// CloseInterpolationEditorDialogs, the next update or opening, or the destructor; never inside
// its own event. The destructor (shutdown, the main window already gone) deletes the windows
// still open without asking and without touching engine objects.

#include "tools/KG_MessageReceiver.h"

#include <cstdint>
#include <memory>
#include <vector>

class KR_LightBase;
class KR_CubeMapPlacer;
class KE_Dispatcher;

namespace K_GUI
{
class KG_InterpolationEditorDialog;
}

class KG_InterpolationEditorDialogManager
{
public:
    // Registers the pick receiver for message types 6 and 7 at the engine's dispatcher.
    KG_InterpolationEditorDialogManager();
    ~KG_InterpolationEditorDialogManager();

    KG_InterpolationEditorDialogManager(const KG_InterpolationEditorDialogManager&) = delete;
    KG_InterpolationEditorDialogManager& operator=(const KG_InterpolationEditorDialogManager&) = delete;

    // Opens and shows a new window (modeless); true.
    bool ShowNewInterpolationEditorDialog();
    void UpdateInterpolationEditorsDialogs();
    // After a reload, or a deletion made from an editor: forgets the remembered light and placer,
    // then every window drops its engine pointers and re-resolves its curve.
    void InvalidateInterpolationEditorsDialogs();
    // Asks the windows in opening order; stops at the first that stays open (false). True when
    // every window closed, also with none.
    bool CloseInterpolationEditorDialogs(bool bForce);
    // From a window's closed event: the window leaves the list (compared by identity) and is
    // deleted later; an unknown window is ignored.
    void RemoveInterpolationEditorDialog(K_GUI::KG_InterpolationEditorDialog* pDialog);

    void SetLightSelected(KR_LightBase* pLight);
    void SetCubemapSelected(KR_CubeMapPlacer* pPlacer);
    KR_LightBase* GetSelectedLight() const { return m_pSelectedLight; }
    KR_CubeMapPlacer* GetSelectedCubemap() const { return m_pSelectedCubemap; }

    std::uint32_t GetNumDialogs() const
    {
        return static_cast<std::uint32_t>(m_aInterpolationEditorDialogs.size());
    }
    K_GUI::KG_InterpolationEditorDialog* GetDialog(std::uint32_t uiIndex) const; // null out of range
    std::uint32_t GetNumPendingDeletions() const
    {
        return static_cast<std::uint32_t>(m_aClosedDialogs.size());
    }

private:
    void DeleteClosedDialogs();

    std::vector<std::unique_ptr<K_GUI::KG_InterpolationEditorDialog>> m_aInterpolationEditorDialogs;
    std::vector<std::unique_ptr<K_GUI::KG_InterpolationEditorDialog>> m_aClosedDialogs;
    std::unique_ptr<KG_MessageReceiver> m_pMessageReceiver;
    KE_Dispatcher* m_pDispatcher = nullptr;         // where the receiver is registered; not owned
    KR_LightBase* m_pSelectedLight = nullptr;       // not owned
    KR_CubeMapPlacer* m_pSelectedCubemap = nullptr; // not owned
};
