#pragma once
// The six planes of a camera's view volume, for box culling, and in developer mode the volume
// drawn as lines (near and far rectangle, side edges and a small roof above the far plane's top
// edge, so that the editor shows where and which way up a camera looks).
//
// Planes are (a, b, c, d) with a x + b y + c z + d >= 0 inside, normals of unit length, in the
// order left, right, top, bottom, near, far. Main thread only.
//
// Drawing (developer mode): the constructor takes the developer drawing's fixed-colour program
// (with the standard states) and position-only input layout and makes the index buffer; every
// Render makes the nine vertices anew and draws the lines through them. A frustum made before the
// materials existed asks for the program and layout again when it is drawn; without them nothing
// is drawn.

#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KR_BoundingBox;
class KR_Camera;
struct ID3D11Buffer;
struct ID3D11InputLayout;
struct KR_ShaderProgram;

enum KR_FrustumPlane : std::uint32_t
{
    KR_FP_Left = 0,
    KR_FP_Right = 1,
    KR_FP_Top = 2,
    KR_FP_Bottom = 3,
    KR_FP_Near = 4,
    KR_FP_Far = 5,
};

class KR_ViewFrustum
{
public:
    static constexpr std::uint32_t NUM_PLANES = 6;
    static constexpr std::uint32_t NUM_LINE_VERTICES = 9;
    static constexpr std::uint32_t NUM_LINE_INDICES = 28;
    // 14 lines: near rectangle, side edges, far rectangle, roof.
    static constexpr std::uint16_t LINE_INDICES[NUM_LINE_INDICES] = {
        0, 1, 1, 3, 3, 2, 2, 0, 0, 4, 1, 5, 3, 7, 2, 6, 4, 5, 5, 7, 7, 6, 6, 4, 4, 8, 8, 5};

    // pOwner not owned. In developer mode: the drawing program and layout, and with a graphics
    // device the line index buffer.
    explicit KR_ViewFrustum(KR_Camera* pOwner);
    ~KR_ViewFrustum(); // releases both buffers

    KR_ViewFrustum(const KR_ViewFrustum&) = delete;
    KR_ViewFrustum& operator=(const KR_ViewFrustum&) = delete;

    // Planes := those of the owner's view-projection matrix.
    void Update();
    // Conservative culling: false only when all eight corners lie outside one plane. A null box
    // is inside. With pMatrix, the box's eight corners are each transformed before the test.
    static bool IsBoxInside(const DirectX::XMVECTOR* pPlanes, const KR_BoundingBox* pBox,
                            const DirectX::XMMATRIX* pMatrix);
    // Draws the volume as seen through pViewProjection (the viewer's, not the owner's). False when
    // nothing was drawn: no owner, not developer mode, no device, no buffers or no program.
    bool Render(double fTime, const DirectX::XMMATRIX* pViewProjection);
    // The nine line vertices of the current planes: near corners left-top, right-top,
    // left-bottom, right-bottom, the far corners likewise, the roof tip.
    void GetLinePoints(DirectX::XMFLOAT3 (&points)[NUM_LINE_VERTICES]) const;
    // Rebuilds the vertex buffer from the current planes.
    void CreateLineVB();

    void SetColor(const DirectX::XMFLOAT4& color) { m_vColor = color; }
    const DirectX::XMFLOAT4& GetColor() const { return m_vColor; }
    const DirectX::XMVECTOR* GetPlanes() const { return m_vPlanes; }
    ID3D11Buffer* GetLineIB() const { return m_pLineIB; }
    ID3D11Buffer* GetLineVB() const { return m_pLineVB; }

private:
    KR_Camera* m_pOwner = nullptr; // not owned
    std::uint32_t m_uiNumLineIndices = NUM_LINE_INDICES;
    ID3D11Buffer* m_pLineVB = nullptr;
    ID3D11Buffer* m_pLineIB = nullptr;
    KR_ShaderProgram* m_pProgram = nullptr;      // the resource manager's; not owned
    ID3D11InputLayout* m_pInputLayout = nullptr; // the resource manager's; not owned
    DirectX::XMFLOAT4 m_vColor = {0.0f, 1.0f, 0.0f, 1.0f};
    // Zero until the first Update (every box counts as inside then).
    DirectX::XMVECTOR m_vPlanes[NUM_PLANES] = {};
};

// Planes of the view volume of m (row vectors): left c3 + c0, right c3 - c0, top c3 - c1, bottom
// c3 + c1, near c2, far c3 - c2 with cj the columns of m, each normalised by its normal's length
// (a plane whose squared normal length is infinite becomes zero). Normals point inwards.
void ExtractFrustumPlanes(const DirectX::XMMATRIX& m, DirectX::XMVECTOR planes[KR_ViewFrustum::NUM_PLANES]);
// The point on all three planes; (0, 0, 0) when two of them are parallel (or the result is not a
// number).
void IntersectThreePlanes(DirectX::XMFLOAT3* pOut, const DirectX::XMVECTOR* pA, const DirectX::XMVECTOR* pB,
                          const DirectX::XMVECTOR* pC);
