#pragma once
// The model proxy the resource manager hands out: it forwards every call to the model it holds,
// first the placeholder and, once the load job has finished, the loaded model, so callers keep
// one pointer for the whole run. The held model is not owned.
//
// The load job stores the new model from a worker thread while the main thread draws through
// the proxy: the pointer is one atomic value, so each call reaches either the old or the new
// model. A null model is never stored (a failed load keeps the placeholder); should the proxy
// hold none, its calls do nothing and answer as the empty model does.

#include "render/models/KR_ModelResource.h"

#include <atomic>

class KR_ManagedModelResourceDX11 : public KR_ModelResource
{
public:
    explicit KR_ManagedModelResourceDX11(KR_ModelResource* pModel);
    ~KR_ManagedModelResourceDX11() override = default; // the held model stays

    bool HasAnimation() override;
    bool HasSkinnedAnimation() override;
    double GetStartTime() override;
    double GetEndTime() override;
    double GetDuration() override;
    void Render(double time, KR_RenderPass pass, const DirectX::XMMATRIX* pParent,
                const DirectX::XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount) override;
    std::uint32_t GetTriangleCount() override;
    DirectX::XMVECTOR GetCenter() override;
    KR_BoundingBox* GetBoundingBox() override;
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;
    bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) override;

    // Replaces the held model; the previous one is not deleted. Null is ignored.
    void SetModelResource(KR_ModelResource* pModel);
    KR_ModelResource* GetModelResource() const { return m_pModel.load(std::memory_order_acquire); }

private:
    std::atomic<KR_ModelResource*> m_pModel;
};
