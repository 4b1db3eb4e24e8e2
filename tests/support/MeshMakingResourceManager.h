#pragma once
// A resource manager for tests that makes real meshes (CPU arrays, and buffers on whatever device
// the engine has) and counts them; everything else as the null manager. Models may load on the
// worker pool, so the count is atomic.

#include "render/models/KR_MeshDX11.h"
#include "tests/support/NullResourceManager.h"

#include <atomic>
#include <cstdint>
#include <memory>

class MeshMakingResourceManager : public NullResourceManager
{
public:
    KR_MeshDX11* CreateMesh(std::uint32_t uiStride, std::uint32_t uiVertices,
                            std::uint32_t uiTriangles) override
    {
        m_iMeshes.fetch_add(1);
        std::unique_ptr<KR_MeshDX11> pMesh(new KR_MeshDX11());
        return pMesh->Allocate(uiStride, uiVertices, uiTriangles) ? pMesh.release() : nullptr;
    }

    std::atomic<int> m_iMeshes{0};
};
