#include "timing/KU_VertexInterpolation.h"

#include "tests/support/TestEngine.h"
#include "tests/timing/CurveTestHelpers.h"
#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_InterpolationManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace DirectX;
using curvetest::Stamps;
using curvetest::Vec;
using curvetest::VectorEq;
using curvetest::VectorNear;

namespace
{

// Keys at the given stamps with value (stamp index, 0, 0, 0).
void AddKeys(KU_VertexInterpolation& curve, std::initializer_list<double> stamps)
{
    float fIndex = 0.0f;
    for (double s : stamps)
        curve.InsertVertex(Vec(fIndex++, 0.0f, 0.0f), s);
}

// Counts the calls of the interval setters, to show that NormalizeTimeStamps goes through them.
class CountingCurve : public KB_LinearInterpolation
{
public:
    CountingCurve() : KB_LinearInterpolation(KB_String("")) {}
    void SetStartTime(double f) override
    {
        ++m_iStartCalls;
        KB_LinearInterpolation::SetStartTime(f);
    }
    void SetEndTime(double f) override
    {
        ++m_iEndCalls;
        KB_LinearInterpolation::SetEndTime(f);
    }
    int m_iStartCalls = 0;
    int m_iEndCalls = 0;
};

} // namespace

TEST(KU_VertexInterpolation, InsertKeepsEqualStampsInInsertionOrder)
{
    KB_LinearInterpolation curve;
    EXPECT_EQ(curve.InsertVertex(Vec(1, 0, 0), 2.0), 0u);
    EXPECT_EQ(curve.InsertVertex(Vec(2, 0, 0), 1.0), 0u);
    EXPECT_EQ(curve.InsertVertex(Vec(3, 0, 0), 2.0), 2u);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{1.0, 2.0, 2.0}));
    EXPECT_TRUE(VectorEq(curve.GetVertex(0), Vec(2, 0, 0)));
    EXPECT_TRUE(VectorEq(curve.GetVertex(1), Vec(1, 0, 0)));
    EXPECT_TRUE(VectorEq(curve.GetVertex(2), Vec(3, 0, 0)));
    EXPECT_EQ(curve.GetNumVertices(), 3u);
}

TEST(KU_VertexInterpolation, MovingAStampKeepsTheKeysSorted)
{
    struct Case
    {
        double fTo;
        std::uint32_t uiIndex;
        std::vector<double> stamps;
    };
    for (const Case& c :
         {Case{6.0, 2u, {1, 5, 6, 7}}, Case{0.0, 0u, {0, 1, 5, 7}}, Case{4.0, 1u, {1, 4, 5, 7}},
          Case{5.0, 2u, {1, 5, 5, 7}}, Case{9.0, 3u, {1, 5, 7, 9}}})
    {
        KB_LinearInterpolation curve;
        AddKeys(curve, {1, 3, 5, 7});
        EXPECT_EQ(curve.SetVertexTimeStamp(1, c.fTo), c.uiIndex) << c.fTo;
        EXPECT_EQ(Stamps(curve), c.stamps) << c.fTo;
        EXPECT_TRUE(VectorEq(curve.GetVertex(c.uiIndex), Vec(1, 0, 0))) << c.fTo;
        EXPECT_EQ(curve.GetNumVertices(), 4u);
    }
}

TEST(KU_VertexInterpolation, NearestKeyTiesGoToTheLowerIndex)
{
    KB_LinearInterpolation curve;
    EXPECT_EQ(curve.GetNearestKeyIndex(5.0), 0u);
    curve.SetStartTime(10.0);
    AddKeys(curve, {0, 2, 3});
    EXPECT_EQ(curve.GetNearestKeyIndex(11.0), 0u);
    EXPECT_EQ(curve.GetNearestKeyIndex(11.1), 1u);
    EXPECT_EQ(curve.GetNearestKeyIndex(12.5), 1u);
    EXPECT_EQ(curve.GetNearestKeyIndex(100.0), 2u);
    EXPECT_EQ(curve.GetNearestKeyIndex(-100.0), 0u);
}

TEST(KU_VertexInterpolation, NormalizeTimeStampsGoesThroughTheVirtualSetters)
{
    CountingCurve curve;
    AddKeys(curve, {10, 12, 15});
    curve.NormalizeTimeStamps();
    EXPECT_EQ(curve.m_iStartCalls, 1);
    EXPECT_EQ(curve.m_iEndCalls, 1);
    EXPECT_EQ(curve.GetStartTime(), 10.0);
    EXPECT_EQ(curve.GetEndTime(), 15.0);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{0, 2, 5}));

    CountingCurve empty;
    empty.SetStartTime(3.0);
    empty.SetEndTime(4.0);
    empty.NormalizeTimeStamps();
    EXPECT_EQ(empty.m_iStartCalls, 2);
    EXPECT_EQ(empty.GetStartTime(), 0.0);
    EXPECT_EQ(empty.GetEndTime(), 0.0);
}

TEST(KU_VertexInterpolation, ScaleTimeStampsMultipliesEveryStamp)
{
    KB_LinearInterpolation curve;
    AddKeys(curve, {1, 2, 4});
    curve.ScaleTimeStamps(2.5);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{2.5, 5, 10}));
    curve.ScaleTimeStamps(-1.0);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{-2.5, -5, -10}));
}

TEST(KU_VertexInterpolation, EveryKeyEditMarksChangedAndInvalidatesDerivedData)
{
    KB_LinearInterpolation curve; // the byte-form constructor starts with valid derived data
    EXPECT_TRUE(curve.IsDerivedDataValid());
    EXPECT_FALSE(curve.HasChanged(false));

    auto expectEdited = [&curve](const char* pWhat)
    {
        EXPECT_FALSE(curve.IsDerivedDataValid()) << pWhat;
        EXPECT_TRUE(curve.HasChanged(false)) << pWhat;
        EXPECT_TRUE(curve.HasChanged(true)) << pWhat;
        EXPECT_FALSE(curve.HasChanged(false)) << pWhat;
    };
    curve.InsertVertex(Vec(1, 2, 3), 1.0);
    expectEdited("insert");
    curve.InsertVertex(Vec(4, 5, 6), 2.0);
    curve.HasChanged(true);
    curve.SetVertex(0, Vec(7, 8, 9));
    expectEdited("set");
    curve.SetVertexTimeStamp(0, 3.0);
    expectEdited("move");
    curve.SetVertexTimeStamp(0, 0.5); // stays at its index
    expectEdited("retime");
    curve.RemoveVertex(1);
    expectEdited("remove");
    curve.SetChanged();
    expectEdited("SetChanged");
}

TEST(KU_VertexInterpolation, IndicesOutOfRangeDoNothingOrReturnZero)
{
    KB_LinearInterpolation curve;
    curve.SetStartTime(4.0);
    curve.SetVertex(0, Vec(1, 1, 1));
    curve.RemoveVertex(0);
    EXPECT_EQ(curve.SetVertexTimeStamp(0, 1.0), 0u);
    EXPECT_FALSE(curve.HasChanged(false));
    EXPECT_TRUE(VectorEq(curve.GetVertex(0), Vec(0, 0, 0)));
    EXPECT_EQ(curve.GetTimeStamp(0), 0.0);
    EXPECT_EQ(curve.GetAbsoluteTimeStamp(0), 4.0);

    AddKeys(curve, {1, 2});
    curve.HasChanged(true);
    curve.SetVertex(2, Vec(9, 9, 9));
    curve.RemoveVertex(7);
    EXPECT_EQ(curve.SetVertexTimeStamp(2, 0.0), 2u);
    EXPECT_FALSE(curve.HasChanged(false));
    EXPECT_EQ(Stamps(curve), (std::vector<double>{1, 2}));
    EXPECT_TRUE(VectorEq(curve.GetVertex(2), Vec(0, 0, 0)));
    EXPECT_EQ(curve.GetTimeStamp(2), 0.0);
    EXPECT_EQ(curve.GetAbsoluteTimeStamp(1), 6.0);
    EXPECT_EQ(curve.GetAbsoluteTimeStamp(2), 4.0);
}

TEST(KU_VertexInterpolation, TemplateKeysAreInsertedShifted)
{
    KB_LinearInterpolation templ;
    templ.InsertVertex(Vec(1, 0, 0), 0.0);
    templ.InsertVertex(Vec(2, 0, 0), 1.0);
    KB_LinearInterpolation curve;
    curve.InsertVertex(Vec(9, 0, 0), 1.5);
    curve.InsertVertexInterpolationTemplate(&templ, 1.0);
    curve.InsertVertexInterpolationTemplate(nullptr, 1.0);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{1, 1.5, 2}));
    EXPECT_TRUE(VectorEq(curve.GetVertex(0), Vec(1, 0, 0)));
    EXPECT_TRUE(VectorEq(curve.GetVertex(2), Vec(2, 0, 0)));

    // A curve used as its own template doubles its keys, each copy taken before the inserts.
    curve.InsertVertexInterpolationTemplate(&curve, 10.0);
    EXPECT_EQ(Stamps(curve), (std::vector<double>{1, 1.5, 2, 11, 11.5, 12}));
    EXPECT_TRUE(VectorEq(curve.GetVertex(4), Vec(9, 0, 0)));
}

TEST(KU_VertexInterpolation, DirectionAndVelocityUseACentralDifference)
{
    KB_LinearInterpolation curve;
    curve.SetStartTime(100.0);
    curve.SetEndTime(110.0);
    curve.InsertVertex(Vec(0, 0, 0, 0), 0.0);
    curve.InsertVertex(Vec(20, 0, 0, 10), 10.0); // 2 units/s in x, 1 in w

    XMVECTOR v;
    EXPECT_TRUE(VectorNear(*curve.GetVelocity(&v, 5.0), Vec(4, 0, 0, 2), 1e-4f));
    EXPECT_TRUE(VectorNear(*curve.GetVelocityAtAbsoluteTime(&v, 105.0), Vec(4, 0, 0, 2), 1e-4f));
    // Divided by the x, y, z length in all four lanes.
    EXPECT_TRUE(VectorNear(*curve.GetDirection(&v, 5.0), Vec(1, 0, 0, 0.5f), 1e-5f));
    EXPECT_TRUE(VectorNear(*curve.GetDirectionAtAbsoluteTime(&v, 105.0), Vec(1, 0, 0, 0.5f), 1e-5f));
    // Before the first key the curve stands still.
    EXPECT_TRUE(VectorEq(*curve.GetDirection(&v, -1.0), Vec(0, 0, 0)));

    KB_LinearInterpolation constant;
    constant.SetEndTime(10.0);
    constant.InsertVertex(Vec(3, 3, 3), 0.0);
    constant.InsertVertex(Vec(3, 3, 3), 10.0);
    EXPECT_TRUE(VectorEq(*constant.GetDirection(&v, 5.0), Vec(0, 0, 0)));
    EXPECT_TRUE(VectorEq(*constant.GetVelocity(&v, 5.0), Vec(0, 0, 0)));
}

TEST(KU_VertexInterpolation, FactoryMakesTheFourNamedKinds)
{
    struct Case
    {
        const char* pName;
        bool bMade;
    };
    for (const Case& c :
         {Case{"LinearInterpolation", true}, Case{"TrigonometryInterpolation", true},
          Case{"CubicBSplineInterpolation", true}, Case{"AnimationTriggerInterpolation", true},
          Case{"ConstantValueInterpolation", false}, Case{"linearInterpolation", false},
          Case{"LinearInterpolation ", false}, Case{"", false}})
    {
        std::unique_ptr<KU_VertexInterpolation> pCurve(
            KU_VertexInterpolation::CreateVertexInterpolation(KB_String(c.pName), KB_String("a/b.int")));
        ASSERT_EQ(pCurve != nullptr, c.bMade) << c.pName;
        if (!pCurve)
            continue;
        EXPECT_EQ(pCurve->GetTypeName(), KB_String(c.pName));
        EXPECT_EQ(pCurve->GetFilePath(), KB_String("a/b.int"));
        EXPECT_TRUE(pCurve->HasChanged(false));
        EXPECT_FALSE(pCurve->IsDerivedDataValid());
    }
    std::unique_ptr<KU_VertexInterpolation> pSpline(KU_VertexInterpolation::CreateVertexInterpolation(
        KB_String("CubicBSplineInterpolation"), KB_String("")));
    EXPECT_NE(dynamic_cast<KB_CubicBSplineInterpolation*>(pSpline.get()), nullptr);
}

namespace
{

std::vector<std::pair<std::string, const KU_VertexInterpolation*>>
Entries(const KU_InterpolationManager& registry)
{
    std::vector<std::pair<std::string, const KU_VertexInterpolation*>> entries;
    const auto& list = registry.GetAllVertexInterpolations();
    for (std::uint32_t i = 0; i < list.GetNumMembers(); ++i)
        entries.emplace_back(list[i].first.GetBuffer(), list[i].second);
    return entries;
}

} // namespace

TEST(KU_VertexInterpolation, PathConstructorRegistersAndDestructorUnregisters)
{
    TestEngine engine;
    KU_InterpolationManager registry;
    engine->SetInterpolationManager(&registry);
    {
        KB_LinearInterpolation first(KB_String("rail.int"));
        auto pSecond = std::make_unique<KB_CubicBSplineInterpolation>(KB_String("rail.int"));
        KB_LinearInterpolation unlisted; // the byte-form constructor does not register
        EXPECT_EQ(Entries(registry), (std::vector<std::pair<std::string, const KU_VertexInterpolation*>>{
                                         {"rail.int", &first}, {"rail.int", pSecond.get()}}));

        // Two curves share the path: destroying the later one takes out its own entry.
        pSecond.reset();
        EXPECT_EQ(Entries(registry),
                  (std::vector<std::pair<std::string, const KU_VertexInterpolation*>>{{"rail.int", &first}}));

        first.SetFilePath(KB_String("target.int"));
        EXPECT_EQ(first.GetFilePath(), KB_String("target.int"));
        EXPECT_EQ(Entries(registry), (std::vector<std::pair<std::string, const KU_VertexInterpolation*>>{
                                         {"target.int", &first}}));

        std::unique_ptr<KU_VertexInterpolation> pMade(KU_VertexInterpolation::CreateVertexInterpolation(
            KB_String("TrigonometryInterpolation"), KB_String("m")));
        EXPECT_EQ(Entries(registry).size(), 2u);
    }
    EXPECT_TRUE(Entries(registry).empty());
    engine->SetInterpolationManager(nullptr);
}

TEST(KU_VertexInterpolation, MissingEngineOrRegistryIsTolerated)
{
    ASSERT_EQ(KE_ApplicationManager::GetInstance(), nullptr);
    {
        KB_LinearInterpolation curve(KB_String("a.int"));
        curve.SetFilePath(KB_String("b.int"));
    }
    TestEngine engine;
    KB_LinearInterpolation curve(KB_String("a.int"));
    curve.SetFilePath(KB_String("b.int"));
    EXPECT_EQ(curve.GetFilePath(), KB_String("b.int"));
}
