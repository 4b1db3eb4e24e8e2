#include "render/models/KR_ModelResourceDX11.h"

#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KU_ByteCursorMath.h"
#include "render/models/KR_MeshResource.h"
#include "render/models/KR_MeshResourceDX11.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

using namespace DirectX;

KR_ModelResourceDX11::KR_ModelResourceDX11(const KB_GrowingArray<KR_MeshResource*>& gMeshes)
{
    XMVECTOR vMin = XMVectorReplicate(KR_BoundingBox::EMPTY_EXTENT);
    XMVECTOR vMax = XMVectorReplicate(-KR_BoundingBox::EMPTY_EXTENT);
    XMVECTOR vCenterSum = XMVectorZero();
    for (std::uint32_t i = 0; i < gMeshes.GetNumMembers(); ++i)
    {
        KR_MeshResource* pMesh = gMeshes[i];
        if (pMesh == nullptr)
            continue;
        m_gMeshes.Add(pMesh);
        if (pMesh->HasAnimation())
        {
            m_bAnimated = true;
            if (pMesh->HasSkinnedAnimation())
                m_bSkinned = true;
        }
        vCenterSum = XMVectorAdd(vCenterSum, pMesh->GetCenter());
        m_uiTriangleCount += pMesh->GetTriangleCount();
        if (const KR_BoundingBox* pBox = pMesh->GetBoundingBox())
        {
            XMVECTOR vBoxMin;
            XMVECTOR vBoxMax;
            pBox->GetMinMax(&vBoxMin, &vBoxMax);
            vMin = XMVectorMin(vMin, vBoxMin);
            vMax = XMVectorMax(vMax, vBoxMax);
        }
    }
    if (m_gMeshes.GetNumMembers() != 0)
        m_vCenter = XMVectorScale(vCenterSum, 1.0f / static_cast<float>(m_gMeshes.GetNumMembers()));
    m_oBox = KR_BoundingBox(vMin, vMax);
}

KR_ModelResourceDX11::~KR_ModelResourceDX11()
{
    m_gMeshes.DeleteAll();
}

double KR_ModelResourceDX11::GetStartTime()
{
    double fStart = std::numeric_limits<double>::max();
    for (std::uint32_t i = 0; m_bAnimated && i < m_gMeshes.GetNumMembers(); ++i)
        if (m_gMeshes[i]->HasAnimation())
            fStart = std::min(fStart, m_gMeshes[i]->GetStartTime());
    return fStart;
}

double KR_ModelResourceDX11::GetEndTime()
{
    double fEnd = -std::numeric_limits<double>::max();
    for (std::uint32_t i = 0; m_bAnimated && i < m_gMeshes.GetNumMembers(); ++i)
        if (m_gMeshes[i]->HasAnimation())
            fEnd = std::max(fEnd, m_gMeshes[i]->GetEndTime());
    return fEnd;
}

double KR_ModelResourceDX11::GetDuration()
{
    return m_bAnimated ? GetEndTime() - GetStartTime() : 0.0;
}

void KR_ModelResourceDX11::Render(double time, KR_RenderPass pass, const XMMATRIX* pParent,
                                  const XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount)
{
    for (std::uint32_t i = 0; i < m_gMeshes.GetNumMembers(); ++i)
        m_gMeshes[i]->Render(time, pass, pParent, pViewProjection, uiInstanceCount);
}

KR_MeshResource* KR_ModelResourceDX11::GetMesh(std::uint32_t uiIndex) const
{
    return uiIndex < m_gMeshes.GetNumMembers() ? m_gMeshes[uiIndex] : nullptr;
}

bool KR_ModelResourceDX11::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                     std::uint64_t* pWritten) const
{
    std::uint8_t* pCursor = *ppCursor;
    std::uint64_t uiWritten = *pWritten;
    KB_ByteWriter countWriter(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    countWriter.WriteU32(m_gMeshes.GetNumMembers());
    if (!KR_MeshRecord::Commit(countWriter, &pCursor, &uiWritten))
        return false;
    for (std::uint32_t i = 0; i < m_gMeshes.GetNumMembers(); ++i)
        if (!m_gMeshes[i]->Serialize(&pCursor, uiCapacity, &uiWritten))
            return false;
    KB_ByteWriter writer(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    writer.WriteU8(m_bAnimated ? 1 : 0);
    writer.WriteU8(m_bSkinned ? 1 : 0);
    writer.WriteU32(m_uiTriangleCount);
    KU_ByteCursorMath::WriteVector(writer, m_vCenter);
    if (!KR_MeshRecord::Commit(writer, &pCursor, &uiWritten))
        return false;
    if (!m_oBox.Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;
    *ppCursor = pCursor;
    *pWritten = uiWritten;
    return true;
}

bool KR_ModelResourceDX11::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    if (m_gMeshes.GetNumMembers() != 0)
        return false;
    const std::uint8_t* pCursor = *ppCursor;
    KB_ByteReader countReader(pCursor, pEnd);
    std::uint32_t uiMeshes = 0;
    countReader.ReadU32(&uiMeshes);
    // A node record is far longer; this only bounds the loop by the bytes left.
    if (!countReader.CheckCount(uiMeshes, 4 + 1 + 1 + 16 + 64))
        return false;
    pCursor = countReader.GetCursor();
    KB_GrowingArray<KR_MeshResource*> gMeshes;
    struct Guard
    {
        KB_GrowingArray<KR_MeshResource*>& gNodes;
        ~Guard() { gNodes.DeleteAll(); }
    } guard{gMeshes};
    for (std::uint32_t i = 0; i < uiMeshes; ++i)
    {
        std::unique_ptr<KR_MeshResourceDX11> pMesh(new (std::nothrow) KR_MeshResourceDX11());
        if (pMesh == nullptr || !pMesh->Deserialize(&pCursor, pEnd))
            return false;
        gMeshes.Add(pMesh.release());
    }
    KB_ByteReader reader(pCursor, pEnd);
    std::uint8_t uiAnimated = 0;
    std::uint8_t uiSkinned = 0;
    std::uint32_t uiTriangles = 0;
    XMVECTOR vCenter = XMVectorZero();
    reader.ReadU8(&uiAnimated);
    reader.ReadU8(&uiSkinned);
    reader.ReadU32(&uiTriangles);
    KU_ByteCursorMath::ReadVector(reader, &vCenter);
    if (!reader.IsOk())
        return false;
    pCursor = reader.GetCursor();
    KR_BoundingBox box;
    if (!box.Deserialize(&pCursor, pEnd))
        return false;

    for (std::uint32_t i = 0; i < gMeshes.GetNumMembers(); ++i)
        m_gMeshes.Add(gMeshes[i]);
    gMeshes.RemoveAll();
    m_bAnimated = uiAnimated != 0;
    m_bSkinned = uiSkinned != 0;
    m_uiTriangleCount = uiTriangles;
    m_vCenter = vCenter;
    m_oBox = box;
    *ppCursor = pCursor;
    return true;
}
