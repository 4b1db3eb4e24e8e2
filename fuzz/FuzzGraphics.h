#pragma once
// The fuzz engine (fuzz/FuzzEngine.h) with a stand-in graphics device, for the targets whose
// readers make meshes, buffers or entities that reach the renderer.

class KR_GraphicsResourceManager;

// Installs the device and pResources as the engine's resource manager (null: none) on the first
// call; later calls only delete pResources. Traps when no device can be made.
void InstallFuzzGraphics(KR_GraphicsResourceManager* pResources);
