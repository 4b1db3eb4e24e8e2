#pragma once
// The show's timeline: the scene configuration read, then the five scenes handed to the scene
// manager in the order they play. Called once by the program entry, after the file repositories
// exist and before the application runs; main thread.

class KR_SceneManager;

class KV27_Show
{
public:
    // The manager times each scene after the ones before it and owns it from then on.
    static void AddScenes(KR_SceneManager* pManager);
};
