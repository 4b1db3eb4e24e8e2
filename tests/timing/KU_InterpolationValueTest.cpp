#include "timing/KU_InterpolationValue.h"

#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

using namespace DirectX;
using curvetest::MatrixEq;
using curvetest::Vec;
using curvetest::VectorEq;

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Local times that reach every branch of the kinds' evaluation for the keys of Fill: before the
// first key, on it, between keys, on a later key, at and past the end, and NaN.
const double TIMES[] = {-1.0, 0.0, 0.5, 1.0, 2.5, 4.0, 5.0, 9.0, NaN};

// Every vertex and quaternion kind, without keys.
std::vector<std::unique_ptr<KU_Interpolation>> VectorKinds()
{
    std::vector<std::unique_ptr<KU_Interpolation>> kinds;
    kinds.emplace_back(new KB_LinearInterpolation(KB_String("")));
    kinds.emplace_back(new KB_TrigonometryInterpolation(KB_String("")));
    kinds.emplace_back(new KB_CubicBSplineInterpolation(KB_String("")));
    kinds.emplace_back(new KB_AnimationTriggerInterpolation(KB_String("")));
    kinds.emplace_back(new KU_ConstantValueInterpolation(KB_String("")));
    kinds.emplace_back(new KB_RotationInterpolation(KB_String("")));
    return kinds;
}

// Five keys at 0, 1, 2, 3 and 4 (enough for the B-spline's handles), interval [0, 5].
void Fill(KU_Interpolation& curve)
{
    curve.SetEndTime(5.0);
    for (int i = 0; i < 5; ++i)
    {
        const float f = static_cast<float>(i);
        if (auto* pVertices = dynamic_cast<KU_VertexInterpolation*>(&curve))
            pVertices->InsertVertex(Vec(f, 2.0f * f, -f, 0.0f), i);
        else if (auto* pQuaternions = dynamic_cast<KU_QuaternionInterpolation*>(&curve))
            pQuaternions->InsertQuaternion(XMQuaternionRotationRollPitchYaw(0.0f, 0.25f * f, 0.0f), i);
    }
}

} // namespace

// What GetValueAt writes, and the pointer it answers, which the typed reads follow.
TEST(KU_InterpolationValue, EveryKindAnswersItsOutPointerAndTheTypedReadSeesItsValue)
{
    for (const std::unique_ptr<KU_Interpolation>& pCurve : VectorKinds())
    {
        const char* pKind = pCurve->GetTypeName().GetBuffer();
        for (bool bKeys : {false, true})
        {
            if (bKeys)
                Fill(*pCurve);
            for (double t : TIMES)
            {
                XMVECTOR v = Vec(7, 7, 7, 7);
                EXPECT_EQ(pCurve->GetValueAt(&v, t), &v) << pKind << " at " << t;
                EXPECT_TRUE(VectorEq(KU_GetVectorAt(pCurve.get(), t), v)) << pKind << " at " << t;
            }
        }
    }

    KB_LinearMatrixInterpolation matrices(KB_String(""));
    for (bool bKeys : {false, true})
    {
        if (bKeys)
        {
            matrices.SetEndTime(5.0);
            matrices.InsertMatrix(XMMatrixTranslation(1, 2, 3), 0.0);
            matrices.InsertMatrix(XMMatrixScaling(2, 2, 2), 4.0);
        }
        for (double t : TIMES)
        {
            XMMATRIX m = XMMatrixScaling(7, 7, 7);
            EXPECT_EQ(matrices.GetValueAt(&m, t), &m) << t;
            EXPECT_TRUE(MatrixEq(KU_GetMatrixAt(&matrices, t), m)) << t;
        }
    }
}

// Production time is local time plus the start time, for a start before and after zero.
TEST(KU_InterpolationValue, ProductionTimeIsShiftedByTheStartTime)
{
    for (double fStart : {-2.5, 0.0, 3.0})
    {
        for (const std::unique_ptr<KU_Interpolation>& pCurve : VectorKinds())
        {
            Fill(*pCurve);
            pCurve->SetStartTime(fStart);
            for (double t : TIMES)
                EXPECT_TRUE(
                    VectorEq(KU_GetVectorAtTime(pCurve.get(), fStart + t), KU_GetVectorAt(pCurve.get(), t)))
                    << pCurve->GetTypeName().GetBuffer() << " from " << fStart << " at " << t;
        }
    }
}
