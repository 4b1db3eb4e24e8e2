#pragma once
// The engine's Direct3D device and immediate context, read through the engine singleton's graphics
// device: null without an engine, without a graphics device, or when the graphics device has none.
// Borrowed, as KR_GraphicsDevice hands them out. Header-only and stateless; KR_GetEngineDevice may
// be called from the resource manager's worker jobs, KR_GetEngineContext from the main thread only.

#include "framework/app/KE_EngineMembers.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_GraphicsDevice.h"

inline ID3D11Device* KR_GetEngineDevice()
{
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    return pGraphicsDevice != nullptr ? pGraphicsDevice->GetDevice() : nullptr;
}

inline ID3D11DeviceContext* KR_GetEngineContext()
{
    KR_GraphicsDevice* pGraphicsDevice = KE_GetGraphicsDevice();
    return pGraphicsDevice != nullptr ? pGraphicsDevice->GetImmediateContext() : nullptr;
}
