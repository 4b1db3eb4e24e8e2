#include "render/models/KR_ManagedModelResourceDX11.h"

#include <limits>

KR_ManagedModelResourceDX11::KR_ManagedModelResourceDX11(KR_ModelResource* pModel) : m_pModel(pModel)
{
}

bool KR_ManagedModelResourceDX11::HasAnimation()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr && pModel->HasAnimation();
}

bool KR_ManagedModelResourceDX11::HasSkinnedAnimation()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr && pModel->HasSkinnedAnimation();
}

double KR_ManagedModelResourceDX11::GetStartTime()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr ? pModel->GetStartTime() : std::numeric_limits<double>::max();
}

double KR_ManagedModelResourceDX11::GetEndTime()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr ? pModel->GetEndTime() : -std::numeric_limits<double>::max();
}

double KR_ManagedModelResourceDX11::GetDuration()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr ? pModel->GetDuration() : 0.0;
}

void KR_ManagedModelResourceDX11::Render(double time, KR_RenderPass pass, const DirectX::XMMATRIX* pParent,
                                         const DirectX::XMMATRIX* pViewProjection,
                                         std::uint32_t uiInstanceCount)
{
    KR_ModelResource* pModel = GetModelResource();
    if (pModel != nullptr)
        pModel->Render(time, pass, pParent, pViewProjection, uiInstanceCount);
}

std::uint32_t KR_ManagedModelResourceDX11::GetTriangleCount()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr ? pModel->GetTriangleCount() : 0;
}

DirectX::XMVECTOR KR_ManagedModelResourceDX11::GetCenter()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr ? pModel->GetCenter() : DirectX::XMVectorZero();
}

KR_BoundingBox* KR_ManagedModelResourceDX11::GetBoundingBox()
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr ? pModel->GetBoundingBox() : nullptr;
}

bool KR_ManagedModelResourceDX11::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                            std::uint64_t* pWritten) const
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr && pModel->Serialize(ppCursor, uiCapacity, pWritten);
}

bool KR_ManagedModelResourceDX11::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    KR_ModelResource* pModel = GetModelResource();
    return pModel != nullptr && pModel->Deserialize(ppCursor, pEnd);
}

void KR_ManagedModelResourceDX11::SetModelResource(KR_ModelResource* pModel)
{
    if (pModel != nullptr)
        m_pModel.store(pModel, std::memory_order_release);
}
