#pragma once
// What the developer shapes share for drawing: static buffers made once from their CPU tables,
// the fixed-colour program (the engine pixel shader with "PS_FIXEDCOLOR" over the position-only
// vertex program, with the material manager's standard states), the position-only input layout,
// and one draw of an indexed or plain vertex range with a world matrix and a colour.
//
// Main thread only (developer mode). The program and layout belong to the resource manager; the
// buffers to whoever made them.

#include "platform/d3d11/d3d11.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

struct KR_ShaderProgram;

class KR_DebugDrawing
{
public:
    // The vertex format of every shape: position only, 12 bytes a vertex.
    static constexpr std::uint8_t VERTEX_FORMAT = 1;
    static constexpr UINT VERTEX_STRIDE = 3 * sizeof(float);

    // A default-usage buffer of the binding holding the bytes; null without a device or when the
    // device refuses.
    static ID3D11Buffer* CreateStaticBuffer(UINT uiBindFlags, const void* pData, UINT uiByteWidth);
    // Null without a material manager or when the program does not load.
    static KR_ShaderProgram* GetFixedColorProgram();
    // Null without a resource manager.
    static ID3D11InputLayout* GetInputLayout();

    struct DrawRange
    {
        D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST;
        UINT uiCount = 0; // indices, or vertices without an index buffer
        UINT uiStart = 0; // first index, or first vertex
    };

    // Binds layout, topology and buffers, hands the world matrix, world x view-projection and the
    // colour to the shader core manager, applies the program and draws. False, with nothing bound,
    // without a context, a shader core manager, a program, a vertex buffer or a matrix (a shape
    // whose buffers could not be made draws nothing). A null index buffer draws the range as
    // vertices.
    static bool Draw(ID3D11Buffer* pVertexBuffer, ID3D11Buffer* pIndexBuffer, const DrawRange& range,
                     const KR_ShaderProgram* pProgram, ID3D11InputLayout* pLayout,
                     const DirectX::XMMATRIX* pViewProjection, const DirectX::XMMATRIX* pWorld,
                     const DirectX::XMFLOAT4& color);
};
