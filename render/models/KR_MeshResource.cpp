#include "render/models/KR_MeshResource.h"

#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KU_ByteCursorMath.h"
#include "render/models/KR_BoundingBox.h"

#include <algorithm>
#include <limits>
#include <new>

using namespace DirectX;

std::uint64_t KR_MeshRecord::Remaining(std::uint64_t uiCapacity, std::uint64_t uiWritten)
{
    return uiWritten < uiCapacity ? uiCapacity - uiWritten : 0;
}

bool KR_MeshRecord::Commit(const KB_ByteWriter& writer, std::uint8_t** ppCursor, std::uint64_t* pWritten)
{
    if (!writer.IsOk())
        return false;
    *ppCursor = writer.GetCursor();
    *pWritten += writer.GetWritten();
    return true;
}

KR_MeshResource::BasePart::~BasePart()
{
    gChildren.DeleteAll();
    delete pBoundingBox;
}

KR_MeshResource::KR_MeshResource() : m_vCenter(XMVectorZero()), m_mTransform(XMMatrixIdentity())
{
}

KR_MeshResource::~KR_MeshResource()
{
    delete m_pBoundingBox;
    m_gChildren.DeleteAll();
}

bool KR_MeshResource::HasAnimation()
{
    if (m_iAnimated < 0)
    {
        bool bAnimated = HasOwnAnimation();
        for (std::uint32_t i = 0; !bAnimated && i < m_gChildren.GetNumMembers(); ++i)
            bAnimated = m_gChildren[i]->HasAnimation();
        m_iAnimated = bAnimated ? 1 : 0;
    }
    return m_iAnimated != 0;
}

bool KR_MeshResource::HasSkinnedAnimation()
{
    if (m_iSkinned < 0)
    {
        bool bSkinned = HasOwnSkinnedAnimation();
        for (std::uint32_t i = 0; !bSkinned && i < m_gChildren.GetNumMembers(); ++i)
            bSkinned = m_gChildren[i]->HasSkinnedAnimation();
        m_iSkinned = bSkinned ? 1 : 0;
    }
    return m_iSkinned != 0;
}

void KR_MeshResource::InvalidateAnimationFlags()
{
    for (KR_MeshResource* pNode = this; pNode != nullptr; pNode = pNode->m_pParent)
    {
        pNode->m_iAnimated = -1;
        pNode->m_iSkinned = -1;
    }
}

double KR_MeshResource::GetStartTime()
{
    double fStart = std::numeric_limits<double>::max();
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        if (m_gChildren[i]->HasAnimation())
            fStart = std::min(fStart, m_gChildren[i]->GetStartTime());
    return fStart;
}

double KR_MeshResource::GetEndTime()
{
    double fEnd = -std::numeric_limits<double>::max();
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        if (m_gChildren[i]->HasAnimation())
            fEnd = std::max(fEnd, m_gChildren[i]->GetEndTime());
    return fEnd;
}

XMMATRIX* KR_MeshResource::GetTransform(XMMATRIX* pOut, double /*fTime*/)
{
    *pOut = m_mTransform;
    return pOut;
}

void KR_MeshResource::SetTransform(const XMMATRIX& mTransform)
{
    m_mTransform = mTransform;
}

void KR_MeshResource::Render(double fTime, KR_RenderPass pass, const XMMATRIX* pParent,
                             const XMMATRIX* pViewProjection, std::uint32_t uiInstanceCount)
{
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        m_gChildren[i]->Render(fTime, pass, pParent, pViewProjection, uiInstanceCount);
}

void KR_MeshResource::SetBoundingBox(const KR_BoundingBox* pBox)
{
    if (pBox != nullptr && m_pBoundingBox == nullptr)
        m_pBoundingBox = new (std::nothrow) KR_BoundingBox(*pBox); // none after a failed allocation
}

bool KR_MeshResource::AddChild(KR_MeshResource* pChild)
{
    if (pChild == nullptr || pChild->m_pParent != nullptr)
        return false;
    for (KR_MeshResource* pNode = this; pNode != nullptr; pNode = pNode->m_pParent)
        if (pNode == pChild)
            return false;
    m_gChildren.Add(pChild);
    pChild->m_pParent = this;
    InvalidateAnimationFlags();
    return true;
}

KR_MeshResource* KR_MeshResource::GetChild(std::uint32_t uiIndex)
{
    return uiIndex < m_gChildren.GetNumMembers() ? m_gChildren[uiIndex] : nullptr;
}

void KR_MeshResource::RemoveChild(std::uint32_t uiIndex)
{
    if (uiIndex >= m_gChildren.GetNumMembers())
        return;
    delete m_gChildren[uiIndex];
    m_gChildren.Remove(uiIndex);
    InvalidateAnimationFlags();
}

bool KR_MeshResource::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                std::uint64_t* pWritten) const
{
    std::uint8_t* pCursor = *ppCursor;
    std::uint64_t uiWritten = *pWritten;
    KB_ByteWriter countWriter(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    countWriter.WriteU32(m_gChildren.GetNumMembers());
    if (!KR_MeshRecord::Commit(countWriter, &pCursor, &uiWritten))
        return false;
    for (std::uint32_t i = 0; i < m_gChildren.GetNumMembers(); ++i)
        if (!m_gChildren[i]->Serialize(&pCursor, uiCapacity, &uiWritten))
            return false;

    KB_ByteWriter writer(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    writer.WriteU8(m_uiVertexFormat);
    writer.WriteU8(m_pBoundingBox != nullptr ? 1 : 0);
    if (!KR_MeshRecord::Commit(writer, &pCursor, &uiWritten))
        return false;
    if (m_pBoundingBox != nullptr && !m_pBoundingBox->Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;
    KB_ByteWriter tailWriter(pCursor, KR_MeshRecord::Remaining(uiCapacity, uiWritten));
    KU_ByteCursorMath::WriteVector(tailWriter, m_vCenter);
    KU_ByteCursorMath::WriteMatrix(tailWriter, m_mTransform);
    if (!KR_MeshRecord::Commit(tailWriter, &pCursor, &uiWritten))
        return false;
    *ppCursor = pCursor;
    *pWritten = uiWritten;
    return true;
}

bool KR_MeshResource::ReadBasePart(const std::uint8_t** ppCursor, const std::uint8_t* pEnd,
                                   std::uint32_t uiDepth, BasePart& part) const
{
    if (uiDepth >= MAX_DEPTH)
        return false;
    const std::uint8_t* pCursor = *ppCursor;
    KB_ByteReader countReader(pCursor, pEnd);
    std::uint32_t uiChildren = 0;
    countReader.ReadU32(&uiChildren);
    // A child record is far longer than this; the check only bounds the loop by the bytes left.
    const std::uint64_t MIN_CHILD_BYTES = 4 + 1 + 1 + 16 + 64;
    if (!countReader.CheckCount(uiChildren, MIN_CHILD_BYTES))
        return false;
    pCursor = countReader.GetCursor();
    for (std::uint32_t i = 0; i < uiChildren; ++i)
    {
        KR_MeshResource* pChild = CreateEmptyNode();
        if (pChild == nullptr || !pChild->DeserializeAtDepth(&pCursor, pEnd, uiDepth + 1))
        {
            delete pChild;
            return false;
        }
        part.gChildren.Add(pChild);
    }

    KB_ByteReader reader(pCursor, pEnd);
    std::uint8_t uiHasBox = 0;
    reader.ReadU8(&part.uiVertexFormat);
    reader.ReadU8(&uiHasBox);
    if (!reader.IsOk())
        return false;
    pCursor = reader.GetCursor();
    if (uiHasBox != 0)
    {
        part.pBoundingBox = new (std::nothrow) KR_BoundingBox();
        if (part.pBoundingBox == nullptr || !part.pBoundingBox->Deserialize(&pCursor, pEnd))
            return false;
    }
    KB_ByteReader tailReader(pCursor, pEnd);
    KU_ByteCursorMath::ReadVector(tailReader, &part.vCenter);
    KU_ByteCursorMath::ReadMatrix(tailReader, &part.mTransform);
    if (!tailReader.IsOk())
        return false;
    *ppCursor = tailReader.GetCursor();
    return true;
}

void KR_MeshResource::CommitBasePart(BasePart& part)
{
    m_gChildren.DeleteAll();
    for (std::uint32_t i = 0; i < part.gChildren.GetNumMembers(); ++i)
    {
        m_gChildren.Add(part.gChildren[i]);
        part.gChildren[i]->m_pParent = this;
    }
    part.gChildren.RemoveAll();
    delete m_pBoundingBox;
    m_pBoundingBox = part.pBoundingBox;
    part.pBoundingBox = nullptr;
    m_uiVertexFormat = part.uiVertexFormat;
    m_vCenter = part.vCenter;
    m_mTransform = part.mTransform;
    InvalidateAnimationFlags();
}
