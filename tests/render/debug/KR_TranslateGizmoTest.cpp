#include "render/debug/KR_TranslateGizmo.h"
#include "render/debug/KR_Ray.h"

#include <gtest/gtest.h>

#include <cfloat>

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
