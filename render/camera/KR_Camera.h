#pragma once
// The engine's one camera type: a position and an orientation quaternion, a perspective projection
// (vertical field of view in degrees, aspect ratio, near and far plane) and the view, projection
// and view-projection matrices, rebuilt lazily: the position and orientation setters mark the view
// stale, the projection setters the projection, and the matrix and direction getters rebuild only
// what is stale. Row vectors, left-handed, y up, z forward, depth 0 to 1.
//
// Setters refuse values that would make the matrices NaN or infinite (a field of view outside
// (0, 180] degrees, a non-positive aspect ratio, near and far not 0 < near < far, a LookAt with the
// eye on the target or a zero or parallel up vector): the previous value is kept.
//
// Every camera owns a KR_ViewFrustum for box culling (and its developer drawing). Main thread only.

#include "platform/directxmath/DirectXMath.h"

class KR_BoundingBox;
class KR_ViewFrustum;

class KR_Camera
{
public:
    static constexpr float DEFAULT_FOV = 70.0f;
    static constexpr float DEFAULT_NEAR_Z = 0.1f;
    static constexpr float DEFAULT_FAR_Z = 200.0f;
    static constexpr float MAX_FOV = 180.0f;
    // Degrees to radians as the projection has always converted them (pi / 180 in single precision).
    static constexpr float DEGREES_TO_RADIANS = 0.017453292f;

    // Aspect ratio from the engine's graphics device (1 without one); makes the frustum.
    KR_Camera();
    virtual ~KR_Camera();

    KR_Camera(const KR_Camera&) = delete;
    KR_Camera& operator=(const KR_Camera&) = delete;

    virtual void SetPosition(const DirectX::XMVECTOR& vPosition);
    virtual DirectX::XMVECTOR GetPosition() const;
    // Kept for the audio listener; the camera itself never reads it.
    virtual void SetVelocity(const DirectX::XMVECTOR& vVelocity);
    virtual DirectX::XMVECTOR GetVelocity() const;
    // Places the eye and turns the camera to look at the target with the given up direction.
    // False (nothing changed) for a target on the eye, a zero up vector or one parallel to the
    // view direction, or when the view matrix cannot be decomposed.
    virtual bool LookAt(const DirectX::XMVECTOR& vEye, const DirectX::XMVECTOR& vTarget,
                        const DirectX::XMVECTOR& vUp);
    // Stores q normalised as a four-vector.
    virtual void SetOrientation(const DirectX::XMVECTOR& qOrientation);
    virtual DirectX::XMVECTOR GetOrientation() const;
    virtual void SetAspectRatio(float fAspectRatio);
    virtual float GetAspectRatio() const;
    virtual void SetFOV(float fDegrees);
    virtual float GetFOV() const;
    virtual void SetNearFarPlanes(float fNearZ, float fFarZ);
    virtual void SetNearZ(float fNearZ);
    virtual void SetFarZ(float fFarZ);
    virtual float GetNearZ() const;
    virtual float GetFarZ() const;
    virtual DirectX::XMFLOAT2 GetNearFarPlanes() const; // (near, far)
    virtual const DirectX::XMMATRIX& GetViewProjectionMatrix();
    virtual const DirectX::XMMATRIX& GetViewMatrix();
    virtual const DirectX::XMMATRIX& GetProjectionMatrix();
    // Refreshes the frustum planes; the time is not used here.
    virtual void Update(double fTime);
    virtual DirectX::XMVECTOR GetUpVector();
    virtual DirectX::XMVECTOR GetRightVector();
    virtual DirectX::XMVECTOR GetLookVector();
    // Frustum test of the box (optionally transformed by pMatrix); true without a frustum.
    virtual bool IsBoxVisible(const KR_BoundingBox* pBox, const DirectX::XMMATRIX* pMatrix);
    // The frustum's six planes; null without a frustum.
    virtual const DirectX::XMVECTOR* GetViewFrustum() const;

    KR_ViewFrustum* GetFrustum() const { return m_pFrustum; }

    static bool IsValidFOV(float fDegrees) { return fDegrees > 0.0f && fDegrees <= MAX_FOV; }
    static bool IsValidNearFar(float fNearZ, float fFarZ);

protected:
    // Rebuilds the stale view and projection and then the view-projection.
    void RecomputeMatrices();
    DirectX::XMVECTOR RotateBaseAxis(const DirectX::XMVECTOR& vAxis);
    // Marks the stale matrices after a subclass changed position or orientation itself.
    void SetViewDirty() { m_bViewDirty = true; }

    const DirectX::XMVECTOR m_vBaseLook = DirectX::XMVectorSet(0.0f, 0.0f, 1.0f, 0.0f);
    const DirectX::XMVECTOR m_vBaseRight = DirectX::XMVectorSet(1.0f, 0.0f, 0.0f, 0.0f);
    const DirectX::XMVECTOR m_vBaseUp = DirectX::XMVectorSet(0.0f, 1.0f, 0.0f, 0.0f);
    DirectX::XMVECTOR m_vPosition = DirectX::XMVectorZero();
    DirectX::XMVECTOR m_vVelocity = DirectX::XMVectorZero();
    DirectX::XMVECTOR m_qOrientation = DirectX::XMQuaternionIdentity();
    bool m_bViewDirty = true;
    KR_ViewFrustum* m_pFrustum = nullptr; // owned
    DirectX::XMMATRIX m_mView = DirectX::XMMatrixIdentity();
    DirectX::XMMATRIX m_mProjection = DirectX::XMMatrixIdentity();
    DirectX::XMMATRIX m_mViewProjection = DirectX::XMMatrixIdentity();
    bool m_bProjectionDirty = true;
    float m_fFOV = DEFAULT_FOV;
    float m_fAspectRatio = 1.0f;
    float m_fNearZ = DEFAULT_NEAR_Z;
    float m_fFarZ = DEFAULT_FAR_Z;
};
