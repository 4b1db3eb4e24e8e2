#pragma once
// The drawing mesh node: one GPU mesh, one material name per subset, the input layout of its
// vertex format, the program of every material for both passes with and without instancing, and
// optionally a node animation and a skinned (bone) animation. Built by the importers and the
// model cache reader (on worker threads), drawn on the main thread.
//
// Programs and the input layout are resolved once, when the node is complete (constructor or
// Deserialize); the material library must be loaded before. A material the manager does not know
// gives a null program, and its subset is then not drawn.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "render/models/KR_MeshResource.h"

#include <cstdint>
#include <new>
#include <vector>

class KR_Mesh;
class KR_MeshAnimationResource;
class KR_MeshSkinnedAnimationResource;
struct ID3D11InputLayout;
struct KR_ShaderProgram;

class KR_MeshResourceDX11 : public KR_MeshResource
{
public:
    // Takes the mesh and both animations (any may be null), stores the format and resolves the
    // materials.
    KR_MeshResourceDX11(KR_Mesh* pMesh, const KB_GrowingArray<KB_String>& gMaterialNames,
                        KR_MeshAnimationResource* pAnimation,
                        KR_MeshSkinnedAnimationResource* pSkinnedAnimation, std::uint8_t uiVertexFormat);
    // Empty, for the byte-form reader.
    KR_MeshResourceDX11() = default;
    ~KR_MeshResourceDX11() override;

    double GetStartTime() override;
    double GetEndTime() override;
    // The node animation's matrix when it has one, else the stored transform.
    DirectX::XMMATRIX* GetTransform(DirectX::XMMATRIX* pOut, double fTime) override;
    // Pass 0 or 1 only (others draw nothing): uploads the bones, sets the object, world and
    // world-view-projection matrices, the input layout and the triangle-list topology, applies
    // each subset's material and draws it, then renders the children under the node's world
    // matrix. A subset without a program is skipped.
    void Render(double fTime, KR_RenderPass pass, const DirectX::XMMATRIX* pParent,
                const DirectX::XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount) override;
    std::uint32_t GetTriangleCount() override;

    // Node record, then: u32 name count and the names with their NULs, the mesh record, u8 flag and
    // the node animation's record, u8 flag and the root bone's record. Reading fails when there are
    // fewer names than the mesh has subsets.
    bool Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity, std::uint64_t* pWritten) const override;

    // Take ownership; the previous animation is deleted unless it is the same object.
    void SetAnimation(KR_MeshAnimationResource* pAnimation);
    void SetSkinnedAnimation(KR_MeshSkinnedAnimationResource* pSkinnedAnimation);
    // The input layout and, per material name in order, the programs of both passes, plain and
    // instanced, from the engine's resource and material managers (null without them).
    void ResolveMaterials();

    KR_Mesh* GetMesh() const { return m_pMesh; }
    const KB_GrowingArray<KB_String>& GetMaterialNames() const { return m_gMaterialNames; }
    KR_MeshAnimationResource* GetAnimation() const { return m_pAnimation; }
    KR_MeshSkinnedAnimationResource* GetSkinnedAnimation() const { return m_pSkinnedAnimation; }
    // The program of material uiIndex for the pass (0 or 1) and instancing; null when unresolved.
    KR_ShaderProgram* GetProgram(KR_RenderPass pass, bool bInstanced, std::uint32_t uiIndex) const;

protected:
    bool HasOwnAnimation() const override
    {
        return m_pAnimation != nullptr || m_pSkinnedAnimation != nullptr;
    }
    bool HasOwnSkinnedAnimation() const override { return m_pSkinnedAnimation != nullptr; }
    bool DeserializeAtDepth(const std::uint8_t** ppCursor, const std::uint8_t* pEnd,
                            std::uint32_t uiDepth) override;
    KR_MeshResource* CreateEmptyNode() const override { return new (std::nothrow) KR_MeshResourceDX11(); }

private:
    KB_GrowingArray<KB_String> m_gMaterialNames;
    KR_Mesh* m_pMesh = nullptr;                                     // owned
    ID3D11InputLayout* m_pInputLayout = nullptr;                    // the resource manager's
    KR_MeshAnimationResource* m_pAnimation = nullptr;               // owned
    KR_MeshSkinnedAnimationResource* m_pSkinnedAnimation = nullptr; // owned
    // [2 x pass + instanced], one per material name; the programs are the resource manager's.
    std::vector<KR_ShaderProgram*> m_vPrograms[4];
};
