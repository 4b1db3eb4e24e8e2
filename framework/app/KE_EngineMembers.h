#pragma once
// Null-safe reads of the engine singleton's members, for code that may run with no engine (before
// KE_Application::Initialize, after KE_Application::Shutdown, in a test that makes none): each
// answers the member of KE_ApplicationManager::GetInstance(), or null (false for
// KE_IsDeveloperBuild) when there is no instance; a member that is not set is null as well. The
// pointers are not owned. Header-only and stateless; callable from any thread that may read the
// singleton's members (see KE_ApplicationManager).

#include "framework/app/KE_ApplicationManager.h"

// The member getter's answer on the one instance; null without an instance.
template <typename T>
T* KE_GetEngineMember(T* (KE_ApplicationManager::*pGetter)() const)
{
    const KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr ? (pEngine->*pGetter)() : nullptr;
}

inline KR_GraphicsContextManager* KE_GetGraphicsContextManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetGraphicsContextManager);
}
inline KR_GraphicsDevice* KE_GetGraphicsDevice()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetGraphicsDevice);
}
inline KR_GraphicsResourceManager* KE_GetGraphicsResourceManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetGraphicsResourceManager);
}
inline KI_InputManager* KE_GetInputManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetInputManager);
}
inline KR_ParticleEngine* KE_GetParticleEngine()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetParticleEngine);
}
inline KR_PostFXEngine* KE_GetPostFXEngine()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetPostFXEngine);
}
inline KR_OITRenderer* KE_GetOITRenderer()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetOITRenderer);
}
inline KR_MetaBallRenderer* KE_GetMetaBallRenderer()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetMetaBallRenderer);
}
inline KR_SceneManager* KE_GetSceneManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetSceneManager);
}
inline KR_MaterialManager* KE_GetMaterialManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetMaterialManager);
}
inline KR_ShaderCache* KE_GetShaderCache()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetShaderCache);
}
inline KR_ShaderCoreManager* KE_GetShaderCoreManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetShaderCoreManager);
}
inline KE_Dispatcher* KE_GetDispatcher()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetDispatcher);
}
inline KG_ManagedFacade* KE_GetManagedFacade()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetManagedFacade);
}
inline KA_AudioContextManager* KE_GetAudioContextManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetAudioContextManager);
}
inline KF_FileManager* KE_GetFileManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetFileManager);
}
inline KU_InterpolationManager* KE_GetInterpolationManager()
{
    return KE_GetEngineMember(&KE_ApplicationManager::GetInterpolationManger);
}

// True only with an instance in developer mode.
inline bool KE_IsDeveloperBuild()
{
    const KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    return pEngine != nullptr && pEngine->IsDeveloperBuild();
}
