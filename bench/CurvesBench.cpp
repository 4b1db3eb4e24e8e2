// Evaluation cost per call of every curve kind at 4, 64 and 4096 keys. The evaluation scans the
// stamps linearly, so the cost is expected to grow with the key count; times are spread evenly
// over the curve so the average scan covers half the keys.

#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

using namespace DirectX;

namespace
{

constexpr int NUM_TIMES = 257;

std::vector<double> SampleTimes(double fDuration)
{
    std::vector<double> times;
    for (int i = 0; i < NUM_TIMES; ++i)
        times.push_back(fDuration * (i + 0.5) / NUM_TIMES);
    return times;
}

template <typename Curve>
std::unique_ptr<Curve> MakeVertexCurve(std::uint32_t uiKeys)
{
    auto pCurve = std::make_unique<Curve>(KB_String(""));
    pCurve->SetEndTime(static_cast<double>(uiKeys));
    for (std::uint32_t i = 0; i < uiKeys; ++i)
    {
        const float f = static_cast<float>(i);
        pCurve->InsertVertex(XMVectorSet(std::sin(f), std::cos(f), f * 0.1f, 0.0f), static_cast<double>(i));
    }
    return pCurve;
}

template <typename Curve, typename Value>
void Evaluate(benchmark::State& state, Curve& curve)
{
    const std::vector<double> times = SampleTimes(curve.GetDuration());
    Value value;
    std::size_t i = 0;
    for (auto _ : state)
    {
        curve.GetValueAt(&value, times[i]);
        benchmark::DoNotOptimize(value);
        i = i + 1 == times.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

template <typename Curve>
void BM_VertexCurve(benchmark::State& state)
{
    auto pCurve = MakeVertexCurve<Curve>(static_cast<std::uint32_t>(state.range(0)));
    Evaluate<Curve, XMVECTOR>(state, *pCurve);
}

void BM_Rotation(benchmark::State& state)
{
    const auto uiKeys = static_cast<std::uint32_t>(state.range(0));
    KB_RotationInterpolation curve(KB_String(""));
    curve.SetEndTime(static_cast<double>(uiKeys));
    for (std::uint32_t i = 0; i < uiKeys; ++i)
    {
        const float f = static_cast<float>(i) * 0.3f;
        curve.InsertQuaternion(XMVectorSet(std::sin(f), 0.5f, std::cos(f), 1.0f), static_cast<double>(i));
    }
    Evaluate<KB_RotationInterpolation, XMVECTOR>(state, curve);
}

void BM_LinearMatrix(benchmark::State& state)
{
    const auto uiKeys = static_cast<std::uint32_t>(state.range(0));
    KB_LinearMatrixInterpolation curve(KB_String(""));
    curve.SetEndTime(static_cast<double>(uiKeys));
    for (std::uint32_t i = 0; i < uiKeys; ++i)
    {
        XMMATRIX m = XMMatrixIdentity();
        m.r[3] = XMVectorSet(static_cast<float>(i), 0.0f, 0.0f, 1.0f);
        curve.InsertMatrix(m, static_cast<double>(i));
    }
    Evaluate<KB_LinearMatrixInterpolation, XMMATRIX>(state, curve);
}

} // namespace

BENCHMARK(BM_VertexCurve<KB_LinearInterpolation>)->Arg(4)->Arg(64)->Arg(4096);
BENCHMARK(BM_VertexCurve<KB_CubicBSplineInterpolation>)->Arg(4)->Arg(64)->Arg(4096);
BENCHMARK(BM_VertexCurve<KB_TrigonometryInterpolation>)->Arg(4)->Arg(64)->Arg(4096);
BENCHMARK(BM_VertexCurve<KB_AnimationTriggerInterpolation>)->Arg(4)->Arg(64)->Arg(4096);
BENCHMARK(BM_VertexCurve<KU_ConstantValueInterpolation>)->Arg(4)->Arg(64)->Arg(4096);
BENCHMARK(BM_Rotation)->Arg(4)->Arg(64)->Arg(4096);
BENCHMARK(BM_LinearMatrix)->Arg(4)->Arg(64)->Arg(4096);
