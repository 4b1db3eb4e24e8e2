#include "render/camera/KR_Camera.h"

#include "framework/app/KE_EngineMembers.h"
#include "render/camera/KR_ViewFrustum.h"
#include "render/device/KR_GraphicsDevice.h"

#include <cmath>
#include <new>

using namespace DirectX;

namespace
{

bool IsFinite3(const XMVECTOR& v)
{
    return std::isfinite(XMVectorGetX(v)) && std::isfinite(XMVectorGetY(v)) && std::isfinite(XMVectorGetZ(v));
}

} // namespace

KR_Camera::KR_Camera()
{
    KR_GraphicsDevice* pDevice = KE_GetGraphicsDevice();
    if (pDevice != nullptr)
    {
        const float fAspectRatio = pDevice->GetAspectRatio();
        if (std::isfinite(fAspectRatio) && fAspectRatio > 0.0f)
            m_fAspectRatio = fAspectRatio;
    }
    // Without a frustum the camera still works: every box counts as visible.
    m_pFrustum = new (std::nothrow) KR_ViewFrustum(this);
}

KR_Camera::~KR_Camera()
{
    delete m_pFrustum;
    m_pFrustum = nullptr;
}

bool KR_Camera::IsValidNearFar(float fNearZ, float fFarZ)
{
    return std::isfinite(fNearZ) && std::isfinite(fFarZ) && fNearZ > 0.0f && fFarZ > fNearZ;
}

void KR_Camera::SetPosition(const XMVECTOR& vPosition)
{
    m_vPosition = vPosition;
    m_bViewDirty = true;
}

XMVECTOR KR_Camera::GetPosition() const
{
    return m_vPosition;
}

void KR_Camera::SetVelocity(const XMVECTOR& vVelocity)
{
    m_vVelocity = vVelocity;
}

XMVECTOR KR_Camera::GetVelocity() const
{
    return m_vVelocity;
}

bool KR_Camera::LookAt(const XMVECTOR& vEye, const XMVECTOR& vTarget, const XMVECTOR& vUp)
{
    const XMVECTOR vDirection = XMVectorSubtract(vTarget, vEye);
    // The look-to matrix needs a direction and an up vector that span a plane; anything else
    // would give NaN axes.
    const float fCross = XMVectorGetX(XMVector3LengthSq(XMVector3Cross(vUp, vDirection)));
    if (!IsFinite3(vEye) || !IsFinite3(vDirection) || !IsFinite3(vUp) || !(fCross > 0.0f) ||
        !std::isfinite(fCross))
        return false;
    const XMMATRIX mView = XMMatrixLookToLH(vEye, vDirection, vUp);
    XMVECTOR vScale, qRotation, vTranslation;
    if (!XMMatrixDecompose(&vScale, &qRotation, &vTranslation, mView))
        return false;
    m_mView = mView;
    m_vPosition = vEye;
    m_qOrientation = XMQuaternionNormalize(XMQuaternionConjugate(qRotation));
    // The next read rebuilds the view from position and orientation, which gives this look-at view.
    m_bViewDirty = true;
    return true;
}

void KR_Camera::SetOrientation(const XMVECTOR& qOrientation)
{
    m_qOrientation = XMVector4Normalize(qOrientation);
    m_bViewDirty = true;
}

XMVECTOR KR_Camera::GetOrientation() const
{
    return m_qOrientation;
}

void KR_Camera::SetAspectRatio(float fAspectRatio)
{
    if (!std::isfinite(fAspectRatio) || fAspectRatio <= 0.0f)
        return;
    m_fAspectRatio = fAspectRatio;
    m_bProjectionDirty = true;
}

float KR_Camera::GetAspectRatio() const
{
    return m_fAspectRatio;
}

void KR_Camera::SetFOV(float fDegrees)
{
    if (!IsValidFOV(fDegrees))
        return;
    m_fFOV = fDegrees;
    m_bProjectionDirty = true;
}

float KR_Camera::GetFOV() const
{
    return m_fFOV;
}

void KR_Camera::SetNearFarPlanes(float fNearZ, float fFarZ)
{
    if (!IsValidNearFar(fNearZ, fFarZ))
        return;
    m_fNearZ = fNearZ;
    m_fFarZ = fFarZ;
    m_bProjectionDirty = true;
}

void KR_Camera::SetNearZ(float fNearZ)
{
    SetNearFarPlanes(fNearZ, m_fFarZ);
}

void KR_Camera::SetFarZ(float fFarZ)
{
    SetNearFarPlanes(m_fNearZ, fFarZ);
}

float KR_Camera::GetNearZ() const
{
    return m_fNearZ;
}

float KR_Camera::GetFarZ() const
{
    return m_fFarZ;
}

XMFLOAT2 KR_Camera::GetNearFarPlanes() const
{
    return XMFLOAT2(m_fNearZ, m_fFarZ);
}

void KR_Camera::RecomputeMatrices()
{
    if (m_bViewDirty)
        m_mView = XMMatrixMultiply(XMMatrixTranslationFromVector(XMVectorNegate(m_vPosition)),
                                   XMMatrixRotationQuaternion(XMQuaternionConjugate(m_qOrientation)));
    if (m_bProjectionDirty)
        m_mProjection =
            XMMatrixPerspectiveFovLH(m_fFOV * DEGREES_TO_RADIANS, m_fAspectRatio, m_fNearZ, m_fFarZ);
    if (m_bViewDirty || m_bProjectionDirty)
        m_mViewProjection = XMMatrixMultiply(m_mView, m_mProjection);
    m_bViewDirty = false;
    m_bProjectionDirty = false;
}

const XMMATRIX& KR_Camera::GetViewProjectionMatrix()
{
    RecomputeMatrices();
    return m_mViewProjection;
}

const XMMATRIX& KR_Camera::GetViewMatrix()
{
    RecomputeMatrices();
    return m_mView;
}

const XMMATRIX& KR_Camera::GetProjectionMatrix()
{
    RecomputeMatrices();
    return m_mProjection;
}

void KR_Camera::Update(double /*fTime*/)
{
    if (m_pFrustum != nullptr)
        m_pFrustum->Update();
}

XMVECTOR KR_Camera::RotateBaseAxis(const XMVECTOR& vAxis)
{
    RecomputeMatrices();
    return XMVector3TransformCoord(vAxis, XMMatrixRotationQuaternion(m_qOrientation));
}

XMVECTOR KR_Camera::GetUpVector()
{
    return RotateBaseAxis(m_vBaseUp);
}

XMVECTOR KR_Camera::GetRightVector()
{
    return RotateBaseAxis(m_vBaseRight);
}

XMVECTOR KR_Camera::GetLookVector()
{
    return RotateBaseAxis(m_vBaseLook);
}

bool KR_Camera::IsBoxVisible(const KR_BoundingBox* pBox, const XMMATRIX* pMatrix)
{
    if (m_pFrustum == nullptr)
        return true;
    return KR_ViewFrustum::IsBoxInside(m_pFrustum->GetPlanes(), pBox, pMatrix);
}

const XMVECTOR* KR_Camera::GetViewFrustum() const
{
    return m_pFrustum != nullptr ? m_pFrustum->GetPlanes() : nullptr;
}
