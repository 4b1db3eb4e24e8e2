#pragma once
// The dispatcher receiver through which picks in the 3D view reach the editor's dialog manager:
// (6, 18, light) and (7, 19, placer). Registered by the manager for types 6 and 7.

#include "framework/app/KE_MessageReceiver.h"

class KG_InterpolationEditorDialogManager;

class KG_MessageReceiver : public KE_MessageReceiver
{
public:
    explicit KG_MessageReceiver(KG_InterpolationEditorDialogManager* pManager) : m_pManager(pManager) {}
    ~KG_MessageReceiver() override = default;

    // True for (6, 18) and (7, 19), which go to the manager; false for anything else.
    bool Receive(KE_MessageType type, KE_MessageSubType subType, void* pPayload) override;

private:
    KG_InterpolationEditorDialogManager* m_pManager; // not owned
};
