#include "render/models/KR_MeshResourceDX11.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KB_ByteCursor.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_PrimitiveTopology.h"
#include "render/device/KR_ShaderCoreManager.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"

#include <algorithm>
#include <memory>
#include <new>

using namespace DirectX;

namespace
{

// Program array index of a pass (0 or 1) and instancing.
std::uint32_t ProgramSlot(KR_RenderPass pass, bool bInstanced)
{
    return 2u * static_cast<std::uint32_t>(pass) + (bInstanced ? 1u : 0u);
}

bool IsDrawnPass(KR_RenderPass pass)
{
    return pass == KR_RENDER_PASS_COLOR || pass == KR_RENDER_PASS_SHADOW_MAP;
}

} // namespace

KR_MeshResourceDX11::KR_MeshResourceDX11(KR_Mesh* pMesh, const KB_GrowingArray<KB_String>& gMaterialNames,
                                         KR_MeshAnimationResource* pAnimation,
                                         KR_MeshSkinnedAnimationResource* pSkinnedAnimation,
                                         std::uint8_t uiVertexFormat)
    : m_gMaterialNames(gMaterialNames), m_pMesh(pMesh), m_pAnimation(pAnimation),
      m_pSkinnedAnimation(pSkinnedAnimation)
{
    m_uiVertexFormat = uiVertexFormat;
    ResolveMaterials();
}

KR_MeshResourceDX11::~KR_MeshResourceDX11()
{
    delete m_pMesh;
    delete m_pAnimation;
    delete m_pSkinnedAnimation;
}

double KR_MeshResourceDX11::GetStartTime()
{
    double fStart = KR_MeshResource::GetStartTime();
    if (m_pAnimation != nullptr)
        fStart = std::min(fStart, m_pAnimation->GetStartTime());
    if (m_pSkinnedAnimation != nullptr)
        fStart = std::min(fStart, m_pSkinnedAnimation->GetStartTime());
    return fStart;
}

double KR_MeshResourceDX11::GetEndTime()
{
    double fEnd = KR_MeshResource::GetEndTime();
    if (m_pAnimation != nullptr)
        fEnd = std::max(fEnd, m_pAnimation->GetEndTime());
    if (m_pSkinnedAnimation != nullptr)
        fEnd = std::max(fEnd, m_pSkinnedAnimation->GetEndTime());
    return fEnd;
}

XMMATRIX* KR_MeshResourceDX11::GetTransform(XMMATRIX* pOut, double fTime)
{
    if (m_pAnimation != nullptr)
        return m_pAnimation->Evaluate(pOut, fTime);
    return KR_MeshResource::GetTransform(pOut, fTime);
}

void KR_MeshResourceDX11::Render(double fTime, KR_RenderPass pass, const XMMATRIX* pParent,
                                 const XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount)
{
    // Only the colour and the shadow-map pass have programs.
    if (!IsDrawnPass(pass))
        return;
    KR_ShaderCoreManager* pCore = KE_GetShaderCoreManager();
    KR_MaterialManager* pMaterials = KE_GetMaterialManager();
    if (pCore == nullptr)
        return;

    if (m_pSkinnedAnimation != nullptr)
        m_pSkinnedAnimation->UploadBoneMatrices(fTime);
    XMMATRIX mLocal;
    GetTransform(&mLocal, fTime);
    const XMMATRIX mParent = pParent != nullptr ? *pParent : XMMatrixIdentity();
    const XMMATRIX mViewProjection = pViewProjection != nullptr ? *pViewProjection : XMMatrixIdentity();
    pCore->SetObjectMatrix0(mLocal);
    pCore->SetObjectMatrix1(mViewProjection);
    const XMMATRIX mWorld = XMMatrixMultiply(mLocal, mParent);
    pCore->SetWorldMatrix(mWorld);
    pCore->SetWorldViewProjectionMatrix(XMMatrixMultiply(mWorld, mViewProjection));
    pCore->SetInputLayout(m_pInputLayout);
    pCore->SetPrimitiveTopology(KR_PRIMITIVE_TOPOLOGY_TRIANGLELIST);

    const bool bInstanced = uiInstanceCount > 1;
    const std::vector<KR_ShaderProgram*>& vPrograms = m_vPrograms[ProgramSlot(pass, bInstanced)];
    for (std::uint32_t s = 0; m_pMesh != nullptr && pMaterials != nullptr && s < m_pMesh->GetSubsetCount();
         ++s)
    {
        // An unknown material (or one never resolved) has no program; binding none would leave
        // the previous subset's program or nothing at all, so the subset is not drawn.
        KR_ShaderProgram* pProgram = s < vPrograms.size() ? vPrograms[s] : nullptr;
        if (pProgram == nullptr)
            continue;
        pMaterials->ApplyMaterial(pass, m_gMaterialNames[s], m_uiVertexFormat, pProgram, bInstanced);
        m_pMesh->DrawSubset(s, uiInstanceCount);
    }
    KR_MeshResource::Render(fTime, pass, &mWorld, &mViewProjection, uiInstanceCount);
}

std::uint32_t KR_MeshResourceDX11::GetTriangleCount()
{
    return m_pMesh != nullptr ? m_pMesh->GetTriangleCount() : 0;
}

void KR_MeshResourceDX11::SetAnimation(KR_MeshAnimationResource* pAnimation)
{
    if (pAnimation == m_pAnimation)
        return;
    delete m_pAnimation;
    m_pAnimation = pAnimation;
    InvalidateAnimationFlags();
}

void KR_MeshResourceDX11::SetSkinnedAnimation(KR_MeshSkinnedAnimationResource* pSkinnedAnimation)
{
    if (pSkinnedAnimation == m_pSkinnedAnimation)
        return;
    delete m_pSkinnedAnimation;
    m_pSkinnedAnimation = pSkinnedAnimation;
    InvalidateAnimationFlags();
}

void KR_MeshResourceDX11::ResolveMaterials()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    KR_MaterialManager* pMaterials = KE_GetMaterialManager();
    m_pInputLayout = pResources != nullptr ? pResources->GetInputLayout(&m_uiVertexFormat) : nullptr;
    for (std::vector<KR_ShaderProgram*>& vPrograms : m_vPrograms)
        vPrograms.assign(m_gMaterialNames.GetNumMembers(), nullptr);
    if (pMaterials == nullptr)
        return;
    for (KR_RenderPass pass : {KR_RENDER_PASS_COLOR, KR_RENDER_PASS_SHADOW_MAP})
        for (std::uint32_t i = 0; i < m_gMaterialNames.GetNumMembers(); ++i)
            for (bool bInstanced : {false, true})
                m_vPrograms[ProgramSlot(pass, bInstanced)][i] = pMaterials->BuildMaterialShaderProperties(
                    pass, m_gMaterialNames[i], &m_uiVertexFormat, bInstanced);
}

KR_ShaderProgram* KR_MeshResourceDX11::GetProgram(KR_RenderPass pass, bool bInstanced,
                                                  std::uint32_t uiIndex) const
{
    if (!IsDrawnPass(pass))
        return nullptr;
    const std::vector<KR_ShaderProgram*>& vPrograms = m_vPrograms[ProgramSlot(pass, bInstanced)];
    return uiIndex < vPrograms.size() ? vPrograms[uiIndex] : nullptr;
}

bool KR_MeshResourceDX11::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                    std::uint64_t* pWritten) const
{
    // A node without a mesh has no record the reader would accept.
    if (m_pMesh == nullptr)
        return false;
    std::uint8_t* pCursor = *ppCursor;
    std::uint64_t uiWritten = *pWritten;
    if (!KR_MeshResource::Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;
    KB_ByteWriter namesWriter(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    namesWriter.WriteU32(m_gMaterialNames.GetNumMembers());
    for (std::uint32_t i = 0; i < m_gMaterialNames.GetNumMembers(); ++i)
        namesWriter.WriteString(m_gMaterialNames[i]);
    if (!KR_MeshRecord::Commit(namesWriter, &pCursor, &uiWritten))
        return false;
    if (!m_pMesh->Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;

    KB_ByteWriter animationFlag(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    animationFlag.WriteU8(m_pAnimation != nullptr ? 1 : 0);
    if (!KR_MeshRecord::Commit(animationFlag, &pCursor, &uiWritten))
        return false;
    if (m_pAnimation != nullptr && !m_pAnimation->Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;
    KB_ByteWriter skinnedFlag(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    skinnedFlag.WriteU8(m_pSkinnedAnimation != nullptr ? 1 : 0);
    if (!KR_MeshRecord::Commit(skinnedFlag, &pCursor, &uiWritten))
        return false;
    if (m_pSkinnedAnimation != nullptr && !m_pSkinnedAnimation->Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;
    *ppCursor = pCursor;
    *pWritten = uiWritten;
    return true;
}

bool KR_MeshResourceDX11::DeserializeAtDepth(const std::uint8_t** ppCursor, const std::uint8_t* pEnd,
                                             std::uint32_t uiDepth)
{
    const std::uint8_t* pCursor = *ppCursor;
    BasePart part;
    if (!ReadBasePart(&pCursor, pEnd, uiDepth, part))
        return false;

    KB_ByteReader namesReader(pCursor, pEnd);
    std::uint32_t uiNames = 0;
    namesReader.ReadU32(&uiNames);
    if (!namesReader.CheckCount(uiNames, 1)) // each name is at least its NUL
        return false;
    KB_GrowingArray<KB_String> gNames;
    for (std::uint32_t i = 0; i < uiNames; ++i)
    {
        KB_String sName;
        if (!namesReader.ReadString(&sName))
            return false;
        gNames.Add(sName);
    }
    pCursor = namesReader.GetCursor();

    // The mesh makes its buffers as it reads; a mesh that cannot be drawn fails the node, so the
    // model is built again from its source instead.
    std::unique_ptr<KR_MeshDX11> pMesh(new (std::nothrow) KR_MeshDX11());
    if (pMesh == nullptr || !pMesh->Deserialize(&pCursor, pEnd))
        return false;
    // Every subset draws with the material of its index.
    if (uiNames < pMesh->GetSubsetCount())
        return false;

    std::unique_ptr<KR_MeshAnimationResource> pAnimation;
    std::unique_ptr<KR_MeshSkinnedAnimationResource> pSkinned;
    KB_ByteReader animationFlag(pCursor, pEnd);
    std::uint8_t uiFlag = 0;
    if (!animationFlag.ReadU8(&uiFlag))
        return false;
    pCursor = animationFlag.GetCursor();
    if (uiFlag != 0)
    {
        pAnimation.reset(new (std::nothrow) KR_MeshAnimationResource());
        if (pAnimation == nullptr || !pAnimation->Deserialize(&pCursor, pEnd))
            return false;
    }
    KB_ByteReader skinnedFlag(pCursor, pEnd);
    if (!skinnedFlag.ReadU8(&uiFlag))
        return false;
    pCursor = skinnedFlag.GetCursor();
    if (uiFlag != 0)
    {
        pSkinned.reset(new (std::nothrow) KR_MeshSkinnedAnimationResource());
        if (pSkinned == nullptr || !pSkinned->Deserialize(&pCursor, pEnd))
            return false;
    }

    CommitBasePart(part);
    m_gMaterialNames = gNames;
    delete m_pMesh;
    m_pMesh = pMesh.release();
    delete m_pAnimation;
    m_pAnimation = pAnimation.release();
    delete m_pSkinnedAnimation;
    m_pSkinnedAnimation = pSkinned.release();
    InvalidateAnimationFlags();
    ResolveMaterials();
    *ppCursor = pCursor;
    return true;
}
