#pragma once
// The model of no meshes: nothing to draw, no animation, no triangles, the empty box. The
// resource manager's built-in placeholder, used until (or when) the placeholder model file
// cannot be loaded, so a model proxy always has something to forward to. Its byte form is the
// empty record: nothing written, nothing read.

#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_ModelResource.h"

class KR_EmptyModelResource : public KR_ModelResource
{
public:
    bool HasAnimation() override { return false; }
    bool HasSkinnedAnimation() override { return false; }
    double GetStartTime() override;
    double GetEndTime() override;
    double GetDuration() override { return 0.0; }
    void Render(double, KR_RenderPass, const DirectX::XMMATRIX*, const DirectX::XMMATRIX*,
                std::uint32_t) override
    {
    }
    std::uint32_t GetTriangleCount() override { return 0; }
    DirectX::XMVECTOR GetCenter() override;
    KR_BoundingBox* GetBoundingBox() override { return &m_oBox; }
    bool Serialize(std::uint8_t**, std::uint64_t, std::uint64_t*) const override { return true; }
    bool Deserialize(const std::uint8_t**, const std::uint8_t*) override { return true; }

private:
    KR_BoundingBox m_oBox; // the empty box
};
