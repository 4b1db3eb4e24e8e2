#pragma once
// A loaded model as the scenes see it: whether and when it is animated, drawing, its size in
// triangles, its centre and bounding box, and its byte form for the model cache. The resource
// manager owns every model; callers draw through the proxies it hands out.

#include "platform/directxmath/DirectXMath.h"
#include "render/device/KR_RenderPass.h"

#include <cstdint>

class KR_BoundingBox;

class KR_ModelResource
{
public:
    KR_ModelResource() = default;
    virtual ~KR_ModelResource() = default;

    KR_ModelResource(const KR_ModelResource&) = delete;
    KR_ModelResource& operator=(const KR_ModelResource&) = delete;

    virtual bool HasAnimation() = 0;
    virtual bool HasSkinnedAnimation() = 0;
    // Without animation: start +DBL_MAX, end -DBL_MAX, duration 0.
    virtual double GetStartTime() = 0;
    virtual double GetEndTime() = 0;
    virtual double GetDuration() = 0;
    virtual void Render(double time, KR_RenderPass pass, const DirectX::XMMATRIX* pParent,
                        const DirectX::XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount) = 0;
    virtual std::uint32_t GetTriangleCount() = 0;
    virtual DirectX::XMVECTOR GetCenter() = 0;
    // Not owned by the caller.
    virtual KR_BoundingBox* GetBoundingBox() = 0;
    // The model record: writes at most uiCapacity - *pWritten bytes at *ppCursor, then advances
    // both; fails, moving nothing, when the record does not fit.
    virtual bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                           std::uint64_t* pWritten) const = 0;
    // Reads the model record between *ppCursor and pEnd into an empty model; fails on a short or
    // inconsistent record.
    virtual bool Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd) = 0;
};
