#include "render/models/KR_BoundingBox.h"

#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KU_ByteCursorMath.h"

#include <new>

using namespace DirectX;

KR_BoundingBox::KR_BoundingBox()
    : m_vMin(XMVectorReplicate(EMPTY_EXTENT)), m_vMax(XMVectorReplicate(-EMPTY_EXTENT))
{
}

KR_BoundingBox::KR_BoundingBox(const XMVECTOR& vMin, const XMVECTOR& vMax) : m_vMin(vMin), m_vMax(vMax)
{
}

KR_BoundingBox::KR_BoundingBox(const KR_BoundingBox& box, const XMMATRIX& mTransform)
{
    box.GetTransformedMinMax(mTransform, &m_vMin, &m_vMax);
}

KR_BoundingBox::KR_BoundingBox(const KR_BoundingBox* pBox, const XMVECTOR& vOffset) : KR_BoundingBox()
{
    if (pBox == nullptr)
        return;
    m_vMin = XMVectorAdd(pBox->m_vMin, vOffset);
    m_vMax = XMVectorAdd(pBox->m_vMax, vOffset);
}

void KR_BoundingBox::Transform(const XMMATRIX& mTransform)
{
    GetTransformedMinMax(mTransform, &m_vMin, &m_vMax);
}

void KR_BoundingBox::GetMinMax(XMVECTOR* pMin, XMVECTOR* pMax) const
{
    *pMin = m_vMin;
    *pMax = m_vMax;
}

void KR_BoundingBox::GetTransformedMinMax(const XMMATRIX& mTransform, XMVECTOR* pMin, XMVECTOR* pMax) const
{
    // Transforming the empty box's finite extremes would give infinities or NaN.
    if (IsEmpty())
    {
        GetMinMax(pMin, pMax);
        return;
    }
    // Transforming only the min and max corners loses the box under a rotation; every corner of
    // the box is needed for the result to enclose it.
    XMVECTOR corners[8];
    GetTransformedCorners(mTransform, corners);
    XMVECTOR vMin = corners[0];
    XMVECTOR vMax = corners[0];
    for (const XMVECTOR& vPoint : corners)
    {
        vMin = XMVectorMin(vMin, vPoint);
        vMax = XMVectorMax(vMax, vPoint);
    }
    *pMin = vMin;
    *pMax = vMax;
}

void KR_BoundingBox::GetTransformedCorners(const XMMATRIX& mTransform, XMVECTOR (&corners)[8]) const
{
    const bool bEmpty = IsEmpty();
    for (int corner = 0; corner < 8; ++corner)
    {
        const XMVECTOR vCorner =
            XMVectorSet((corner & 1) ? m_vMax.f[0] : m_vMin.f[0], (corner & 2) ? m_vMax.f[1] : m_vMin.f[1],
                        (corner & 4) ? m_vMax.f[2] : m_vMin.f[2], 1.0f);
        corners[corner] = bEmpty ? vCorner : XMVector3TransformCoord(vCorner, mTransform);
    }
}

void KR_BoundingBox::ExtendByPoint(const XMVECTOR& vPoint)
{
    m_vMin = XMVectorMin(m_vMin, vPoint);
    m_vMax = XMVectorMax(m_vMax, vPoint);
}

void KR_BoundingBox::ExtendByBox(const KR_BoundingBox& other)
{
    m_vMin = XMVectorMin(m_vMin, other.m_vMin);
    m_vMax = XMVectorMax(m_vMax, other.m_vMax);
}

bool KR_BoundingBox::IsEmpty() const
{
    return m_vMin.f[0] > m_vMax.f[0] || m_vMin.f[1] > m_vMax.f[1] || m_vMin.f[2] > m_vMax.f[2];
}

KR_BoundingBox* KR_BoundingBox::CreateTranslated(const KR_BoundingBox* pBox, const XMVECTOR& vOffset)
{
    if (pBox == nullptr)
        return nullptr;
    return new (std::nothrow) KR_BoundingBox(pBox, vOffset);
}

bool KR_BoundingBox::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                               std::uint64_t* pWritten) const
{
    const std::uint64_t uiRemaining = *pWritten < uiCapacity ? uiCapacity - *pWritten : 0;
    KB_ByteWriter writer(*ppCursor, uiRemaining);
    KU_ByteCursorMath::WriteVector(writer, m_vMin);
    KU_ByteCursorMath::WriteVector(writer, m_vMax);
    if (!writer.IsOk())
        return false;
    *ppCursor = writer.GetCursor();
    *pWritten += writer.GetWritten();
    return true;
}

bool KR_BoundingBox::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    KB_ByteReader reader(*ppCursor, pEnd);
    XMVECTOR vMin = XMVectorZero();
    XMVECTOR vMax = XMVectorZero();
    KU_ByteCursorMath::ReadVector(reader, &vMin);
    KU_ByteCursorMath::ReadVector(reader, &vMax);
    if (!reader.IsOk())
        return false;
    m_vMin = vMin;
    m_vMax = vMax;
    *ppCursor = reader.GetCursor();
    return true;
}
