#include "render/models/KR_MeshAnimationResource.h"

#include "framework/core/KB_ByteCursor.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KU_InterpolationValue.h"

#include <new>

using namespace DirectX;

KR_MeshAnimationResource::KR_MeshAnimationResource(KU_VertexInterpolation* pTranslation,
                                                   KU_VertexInterpolation* pScale,
                                                   KU_QuaternionInterpolation* pRotation)
    : m_pTranslation(pTranslation), m_pScale(pScale), m_pRotation(pRotation)
{
    const KU_Interpolation* curves[] = {pTranslation, pScale, pRotation};
    bool bFirst = true;
    for (const KU_Interpolation* pCurve : curves)
    {
        if (pCurve == nullptr)
            continue;
        const double fStart = pCurve->GetStartTime();
        const double fEnd = pCurve->GetEndTime();
        m_fStartTime = bFirst || fStart < m_fStartTime ? fStart : m_fStartTime;
        m_fEndTime = bFirst || fEnd > m_fEndTime ? fEnd : m_fEndTime;
        bFirst = false;
    }
}

KR_MeshAnimationResource::KR_MeshAnimationResource() = default;

KR_MeshAnimationResource::~KR_MeshAnimationResource()
{
    delete m_pTranslation;
    m_pTranslation = nullptr;
    delete m_pScale;
    m_pScale = nullptr;
    delete m_pRotation;
    m_pRotation = nullptr;
}

bool KR_MeshAnimationResource::Serialize(std::uint8_t** ppCursor, std::uint64_t uiCapacity,
                                         std::uint64_t* pWritten) const
{
    // The reader expects all three records; writing a stand-in for a missing curve would change
    // what the animation does once read back.
    if (m_pTranslation == nullptr || m_pScale == nullptr || m_pRotation == nullptr)
        return false;
    // Written through copies of the cursor and total so that a record that does not fit moves
    // neither.
    std::uint8_t* pCursor = *ppCursor;
    std::uint64_t uiWritten = *pWritten;
    if (!KU_TimeLimitedEntity::Serialize(&pCursor, uiCapacity, &uiWritten) ||
        !m_pTranslation->Serialize(&pCursor, uiCapacity, &uiWritten) ||
        !m_pScale->Serialize(&pCursor, uiCapacity, &uiWritten) ||
        !m_pRotation->Serialize(&pCursor, uiCapacity, &uiWritten))
        return false;
    *ppCursor = pCursor;
    *pWritten = uiWritten;
    return true;
}

bool KR_MeshAnimationResource::Deserialize(const std::uint8_t** ppCursor, const std::uint8_t* pEnd)
{
    const std::uint8_t* pCursor = *ppCursor;
    KB_ByteReader reader(pCursor, pEnd);
    double fStartTime = 0.0;
    double fEndTime = 0.0;
    reader.ReadF64(&fStartTime);
    reader.ReadF64(&fEndTime);
    if (!reader.IsOk())
        return false;
    pCursor = reader.GetCursor();

    // Nothing of this animation changes until all three curves have been read.
    KU_VertexInterpolation* pTranslation = new (std::nothrow) KB_LinearInterpolation();
    KU_VertexInterpolation* pScale = new (std::nothrow) KB_LinearInterpolation();
    KU_QuaternionInterpolation* pRotation = new (std::nothrow) KB_RotationInterpolation();
    if (pTranslation == nullptr || pScale == nullptr || pRotation == nullptr ||
        !pTranslation->Deserialize(&pCursor, pEnd) || !pScale->Deserialize(&pCursor, pEnd) ||
        !pRotation->Deserialize(&pCursor, pEnd))
    {
        delete pTranslation;
        delete pScale;
        delete pRotation;
        return false;
    }

    delete m_pTranslation;
    delete m_pScale;
    delete m_pRotation;
    m_pTranslation = pTranslation;
    m_pScale = pScale;
    m_pRotation = pRotation;
    m_fStartTime = fStartTime;
    m_fEndTime = fEndTime;
    *ppCursor = pCursor;
    return true;
}

XMMATRIX* KR_MeshAnimationResource::Evaluate(XMMATRIX* pOut, double fTime)
{
    // Without a curve, its part of the transform is the identity's.
    const XMVECTOR vScale = m_pScale != nullptr ? KU_GetVectorAtTime(m_pScale, fTime) : XMVectorSplatOne();
    const XMVECTOR vTranslation =
        m_pTranslation != nullptr ? KU_GetVectorAtTime(m_pTranslation, fTime) : XMVectorZero();
    const XMVECTOR qRotation =
        m_pRotation != nullptr ? KU_GetVectorAtTime(m_pRotation, fTime) : XMQuaternionIdentity();

    // Scaling x Rotation x Translation written out: each rotation row scaled by its scale lane,
    // the translation as the fourth row.
    const XMMATRIX mRotation = XMMatrixRotationQuaternion(qRotation);
    pOut->r[0] = XMVectorScale(mRotation.r[0], vScale.f[0]);
    pOut->r[1] = XMVectorScale(mRotation.r[1], vScale.f[1]);
    pOut->r[2] = XMVectorScale(mRotation.r[2], vScale.f[2]);
    pOut->r[3] = XMVectorSet(vTranslation.f[0], vTranslation.f[1], vTranslation.f[2], 1.0f);
    return pOut;
}
