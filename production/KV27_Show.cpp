#include "production/KV27_Show.h"

#include "production/KV27_Scene1.h"
#include "production/KV27_Scene2.h"
#include "production/KV27_Scene3.h"
#include "production/KV27_Scene4.h"
#include "production/KV27_Scene5.h"
#include "render/scene/KR_SceneManager.h"

void KV27_Show::AddScenes(KR_SceneManager* pManager)
{
    if (pManager == nullptr)
        return;
    // The configuration must be read first: it times the scenes as they are added.
    pManager->LoadSceneConfig();
    pManager->AddScene(new KV27_Scene1());
    pManager->AddScene(new KV27_Scene2());
    pManager->AddScene(new KV27_Scene3());
    pManager->AddScene(new KV27_Scene4());
    pManager->AddScene(new KV27_Scene5());
}
