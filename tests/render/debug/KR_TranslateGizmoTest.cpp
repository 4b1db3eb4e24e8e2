#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_Ray.h"
#include "tests/render/debug/DebugDrawingTestHelpers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

using namespace DirectX;

namespace
{

KR_Ray MakeRay(float x, float y, float z, float dx, float dy, float dz)
{
    return KR_Ray{XMVectorSet(x, y, z, 1.0f), XMVectorSet(dx, dy, dz, 0.0f)};
}

} // namespace

TEST(KR_TranslateGizmo, ArrowDragMovesAlongItsAxisOnly)
{
    KR_TranslateGizmo gizmo;
    XMVECTOR position = XMVectorSet(10, 20, 30, 0);
    EXPECT_FALSE(gizmo.Drag(MakeRay(4, 0, -10, 0, 0, 1), &position)); // grabs the x arrow at (4, 0, -1/3)
    EXPECT_TRUE(gizmo.IsDragging());
    EXPECT_EQ(XMVectorGetX(position), 10.0f);
    EXPECT_TRUE(gizmo.Drag(MakeRay(6, 2, -10, 0, 0, 1), &position));
    EXPECT_FLOAT_EQ(XMVectorGetX(position), 12.0f);
    EXPECT_FLOAT_EQ(XMVectorGetY(position), 20.0f);                   // masked away
    EXPECT_FALSE(gizmo.Drag(MakeRay(6, 2, -10, 1, 0, 0), &position)); // parallel to the drag plane
    EXPECT_FLOAT_EQ(XMVectorGetX(position), 12.0f);
    gizmo.EndDrag();

    // The xy triangle moves x and y freely and keeps z.
    EXPECT_FALSE(gizmo.Drag(MakeRay(5.5f, 5.5f, -10, 0, 0, 1), &position));
    EXPECT_TRUE(gizmo.Drag(MakeRay(6.5f, 7.5f, -10, 0, 0, 1), &position));
    EXPECT_FLOAT_EQ(XMVectorGetX(position), 13.0f);
    EXPECT_FLOAT_EQ(XMVectorGetY(position), 22.0f);
    EXPECT_FLOAT_EQ(XMVectorGetZ(position), 30.0f);
    gizmo.EndDrag();

    // A first call that misses keeps every later call from moving until EndDrag.
    EXPECT_FALSE(gizmo.Drag(MakeRay(-50, -50, -10, 0, 0, 1), &position));
    EXPECT_FALSE(gizmo.Drag(MakeRay(4, 0, -10, 0, 0, 1), &position));
    EXPECT_FALSE(gizmo.Drag(MakeRay(6, 0, -10, 0, 0, 1), &position));
    EXPECT_FLOAT_EQ(XMVectorGetX(position), 13.0f);
}

TEST(KR_TranslateGizmo, RayOriginAndDirectionIgnoreTheirW)
{
    KR_TranslateGizmo gizmo;
    gizmo.SetWorldMatrix(XMMatrixTranslation(100, 0, 0));
    XMVECTOR position = XMVectorSet(10, 20, 30, 0);
    KR_Ray grab = MakeRay(104, 0, -10, 0, 0, 1); // the x arrow, moved with the gizmo
    grab.origin = XMVectorSetW(grab.origin, 0.0f);
    grab.direction = XMVectorSetW(grab.direction, 1.0f);
    EXPECT_FALSE(gizmo.Drag(grab, &position));
    EXPECT_TRUE(gizmo.IsDragging());
    KR_Ray move = MakeRay(106, 2, -10, 0, 0, 1);
    move.origin = XMVectorSetW(move.origin, 0.0f);
    EXPECT_TRUE(gizmo.Drag(move, &position));
    EXPECT_FLOAT_EQ(XMVectorGetX(position), 12.0f);
    EXPECT_FLOAT_EQ(XMVectorGetY(position), 20.0f);
}

class KR_TranslateGizmoDrawTest : public debugdrawingtest::DebugDrawingTest
{
protected:
    void TearDown() override
    {
        KR_TranslateGizmo::ReleaseStaticBuffers();
        DebugDrawingTest::TearDown();
    }
};

TEST_F(KR_TranslateGizmoDrawTest, DrawsEachHandleInItsOwnColourFromTheSharedBuffers)
{
    const XMMATRIX identity = XMMatrixIdentity();
    KR_TranslateGizmo gizmo;
    EXPECT_FALSE(gizmo.Render(&identity)); // no buffers yet
    ASSERT_TRUE(KR_TranslateGizmo::CreateStaticBuffers());
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(KR_TranslateGizmo::GetVertexBuffer(), 0, &vBytes));
    EXPECT_EQ(vBytes.size(), 432u);
    ASSERT_TRUE(D3D11Control::ReadSubresource(KR_TranslateGizmo::GetIndexBuffer(), 0, &vBytes));
    ASSERT_EQ(vBytes.size(), 252u);
    std::uint16_t uiLastIndex = 0;
    std::memcpy(&uiLastIndex, vBytes.data() + 250, 2);
    EXPECT_GE(uiLastIndex, 33u); // the xz triangle's corners
    EXPECT_LT(uiLastIndex, 36u);

    D3D11Control::ClearCallLog();
    const XMFLOAT4 gray(0.5f, 0.5f, 0.5f, 1);
    gizmo.SetColors({1, 0, 0, 1}, gray, {0, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 1, 1}, {1, 0, 1, 1});
    const XMMATRIX world = XMMatrixScaling(0.5f, 0.5f, 0.5f) * XMMatrixTranslation(3, 0, 0);
    gizmo.SetWorldMatrix(world);
    const XMMATRIX viewProjection = XMMatrixPerspectiveFovLH(1.0f, 1.5f, 0.1f, 100.0f);
    ASSERT_TRUE(gizmo.Render(&viewProjection));

    const std::vector<D3D11Control::CallRecord> vDraws = D3D11Control::GetDrawCalls();
    ASSERT_EQ(vDraws.size(), 6u);
    const double afExpected[6][2] = {{36, 0}, {36, 36}, {36, 72}, {6, 108}, {6, 114}, {6, 120}};
    for (std::size_t i = 0; i < vDraws.size(); ++i)
    {
        EXPECT_EQ(vDraws[i].Method, "DrawIndexed");
        EXPECT_EQ(vDraws[i].Values, (std::vector<double>{afExpected[i][0], afExpected[i][1], 0})) << i;
        EXPECT_EQ(vDraws[i].Pipeline->Topology, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        EXPECT_EQ(vDraws[i].Pipeline->IndexBuffer,
                  D3D11Control::GetObjectId(KR_TranslateGizmo::GetIndexBuffer()));
        ExpectFixedColorPipeline(vDraws[i]);
    }
    ASSERT_EQ(m_core.m_vDraws.size(), 6u);
    EXPECT_EQ(m_core.m_vDraws[0].color.x, 1.0f);
    EXPECT_EQ(m_core.m_vDraws[0].color.y, 0.0f);
    EXPECT_EQ(m_core.m_vDraws[1].color.x, 0.5f); // as set
    EXPECT_EQ(m_core.m_vDraws[5].color.y, 0.0f);
    EXPECT_EQ(m_core.m_vDraws[5].color.z, 1.0f);
    for (const debugdrawingtest::ShaderCoreDraw& draw : m_core.m_vDraws)
        EXPECT_TRUE(SameMatrix(draw.worldViewProjection, world * viewProjection));
}

TEST_F(KR_TranslateGizmoDrawTest, TheHandleADragHoldsIsDrawnHighlighted)
{
    ASSERT_TRUE(KR_TranslateGizmo::CreateStaticBuffers());
    KR_TranslateGizmo gizmo;
    // Half size at (3, 0, 0): the y arrow spans y 0.5 to 3.5 at x 3, the xz triangle lies in y = 0
    // around (5.7, 0, 2.7).
    gizmo.SetWorldMatrix(XMMatrixScaling(0.5f, 0.5f, 0.5f) * XMMatrixTranslation(3, 0, 0));
    const XMMATRIX viewProjection = XMMatrixIdentity();
    // The colour each handle was drawn in, in draw order.
    const auto drawnColors = [&]
    {
        m_core.m_vDraws.clear();
        D3D11Control::ClearCallLog();
        std::vector<XMFLOAT4> vColors;
        if (!gizmo.Render(&viewProjection) || D3D11Control::GetDrawCalls().size() != 6u)
            return vColors;
        for (const debugdrawingtest::ShaderCoreDraw& draw : m_core.m_vDraws)
            vColors.push_back(draw.color);
        return vColors;
    };
    const auto isHighlight = [](const XMFLOAT4& c) { return c.x == 1 && c.y == 1 && c.z == 1 && c.w == 1; };
    const auto highlighted = [&](const std::vector<XMFLOAT4>& vColors)
    {
        std::vector<std::size_t> v;
        for (std::size_t i = 0; i < vColors.size(); ++i)
            if (isHighlight(vColors[i]))
                v.push_back(i);
        return v;
    };

    XMVECTOR position = XMVectorSet(3, 0, 0, 0);
    ASSERT_EQ(highlighted(drawnColors()), std::vector<std::size_t>{}); // idle: the axis colours
    EXPECT_EQ(gizmo.GetDraggedHandle(), KR_TranslateGizmo::NUM_HANDLES);

    EXPECT_FALSE(gizmo.Drag(MakeRay(3, 1.5f, -10, 0, 0, 1), &position)); // takes the y arrow
    EXPECT_EQ(gizmo.GetDraggedHandle(), 1u);
    std::vector<XMFLOAT4> vColors = drawnColors();
    ASSERT_EQ(vColors.size(), 6u);
    EXPECT_EQ(highlighted(vColors), std::vector<std::size_t>{1});
    EXPECT_EQ(vColors[0].x, 1.0f); // the others keep theirs
    EXPECT_EQ(vColors[2].z, 1.0f);
    EXPECT_EQ(vColors[2].x, 0.0f);
    EXPECT_TRUE(gizmo.Drag(MakeRay(3, 2.5f, -10, 0, 0, 1), &position)); // still held while it moves
    EXPECT_FLOAT_EQ(XMVectorGetY(position), 1.0f);
    EXPECT_EQ(highlighted(drawnColors()), std::vector<std::size_t>{1});

    // Released: the y arrow is green again (its own colour was never overwritten).
    gizmo.EndDrag();
    vColors = drawnColors();
    ASSERT_EQ(vColors.size(), 6u);
    EXPECT_EQ(highlighted(vColors), std::vector<std::size_t>{});
    EXPECT_EQ(vColors[1].y, 1.0f);
    EXPECT_EQ(vColors[1].x, 0.0f);

    // A plane handle lights up the same way; a drag that began on nothing lights nothing.
    EXPECT_FALSE(gizmo.Drag(MakeRay(5.6f, 10, 2.7f, 0, -1, 0), &position));
    EXPECT_EQ(highlighted(drawnColors()), std::vector<std::size_t>{5});
    gizmo.EndDrag();
    EXPECT_FALSE(gizmo.Drag(MakeRay(-50, -50, -10, 0, 0, 1), &position));
    EXPECT_FALSE(gizmo.Drag(MakeRay(3, 1.5f, -10, 0, 0, 1), &position));
    EXPECT_EQ(highlighted(drawnColors()), std::vector<std::size_t>{});
    EXPECT_EQ(gizmo.GetDraggedHandle(), KR_TranslateGizmo::NUM_HANDLES);
}
