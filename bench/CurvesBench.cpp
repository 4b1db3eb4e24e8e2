// Evaluation cost per call of every curve kind at 4, 64, 1024 and 4096 keys, and beside the
// linear, B-spline, cosine-eased and matrix kinds a peer on the same keys: std::upper_bound over a
// plain array of stamps plus the same interpolation, the floor a binary search can reach. Each
// peer is checked at set-up to give the curve's values bit for bit. Sorted stamps are searched by
// halving, so the curve should stay within a small factor of its peer at every size; times are
// spread evenly over the curve.

#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using namespace DirectX;

namespace
{

constexpr int NUM_TIMES = 257;
constexpr double PI = 3.141592653589793;

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

std::unique_ptr<KB_LinearMatrixInterpolation> MakeMatrixCurve(std::uint32_t uiKeys)
{
    auto pCurve = std::make_unique<KB_LinearMatrixInterpolation>(KB_String(""));
    pCurve->SetEndTime(static_cast<double>(uiKeys));
    for (std::uint32_t i = 0; i < uiKeys; ++i)
    {
        XMMATRIX m = XMMatrixRotationY(static_cast<float>(i) * 0.1f);
        m.r[3] = XMVectorSet(static_cast<float>(i), 0.0f, 0.0f, 1.0f);
        pCurve->InsertMatrix(m, static_cast<double>(i));
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

// ---- The peer: the keys in plain arrays, std::upper_bound, the curves' own blend formulas. ----

template <typename Value>
struct PeerKeys
{
    std::vector<double> stamps;
    std::vector<Value> values;
    std::vector<XMVECTOR> tangents; // B-spline only
    double fDuration = 0.0;
};

PeerKeys<XMVECTOR> CopyKeys(const KU_VertexInterpolation& curve)
{
    PeerKeys<XMVECTOR> keys;
    for (std::uint32_t i = 0; i < curve.GetNumVertices(); ++i)
    {
        keys.stamps.push_back(curve.GetTimeStamp(i));
        keys.values.push_back(curve.GetVertex(i));
    }
    keys.fDuration = curve.GetDuration();
    return keys;
}

PeerKeys<XMMATRIX> CopyKeys(const KB_LinearMatrixInterpolation& curve)
{
    PeerKeys<XMMATRIX> keys;
    for (std::uint32_t i = 0; i < curve.GetNumMatrices(); ++i)
    {
        keys.stamps.push_back(curve.GetTimeStamp(i));
        keys.values.push_back(curve.GetMatrix(i));
    }
    keys.fDuration = curve.GetDuration();
    return keys;
}

double Fraction(double t, double s0, double s1)
{
    const double fSpan = s1 - s0;
    double fU = 1.0;
    if (!(fSpan == 0.0 || std::isnan(fSpan)))
        fU = (t - s0) / fSpan;
    if (std::isnan(fU) || fU < 0.0)
        return 0.0;
    return fU > 1.0 ? 1.0 : fU;
}

// The span the linear, cosine and matrix kinds blend: false with *pIndex the key in force.
template <typename Value>
bool PeerSpan(const PeerKeys<Value>& keys, double t, std::size_t* pIndex, double* pU)
{
    const std::size_t n = keys.values.size();
    *pIndex = 0;
    if (t < 0.0 || std::isnan(t))
        return false;
    *pIndex = n - 1;
    if (t >= keys.fDuration)
        return false;
    const std::size_t uiTo = static_cast<std::size_t>(
        std::upper_bound(keys.stamps.begin(), keys.stamps.end(), t) - keys.stamps.begin());
    if (uiTo == n)
        return false;
    *pIndex = 0;
    if (uiTo == 0)
        return false;
    *pIndex = uiTo;
    *pU = Fraction(t, keys.stamps[uiTo - 1], keys.stamps[uiTo]);
    return true;
}

XMVECTOR Blend(const XMVECTOR& a, const XMVECTOR& b, double fU)
{
    return XMVectorAdd(XMVectorScale(a, static_cast<float>(1.0 - fU)),
                       XMVectorScale(b, static_cast<float>(fU)));
}

XMVECTOR PeerLinear(const PeerKeys<XMVECTOR>& keys, double t)
{
    std::size_t i;
    double fU;
    if (!PeerSpan(keys, t, &i, &fU))
        return keys.values[i];
    return Blend(keys.values[i - 1], keys.values[i], fU);
}

XMVECTOR PeerCosine(const PeerKeys<XMVECTOR>& keys, double t)
{
    std::size_t i;
    double fU;
    if (!PeerSpan(keys, t, &i, &fU))
        return keys.values[i];
    const float fEased = static_cast<float>(std::cos((fU + 1.0) * PI) + 1.0) * 0.5f; // mode 0: x eased
    const float fLinear = static_cast<float>(fU);
    const XMVECTOR vFrom = XMVectorSet(1.0f - fEased, 1.0f - fLinear, 1.0f - fLinear, 0.0f);
    const XMVECTOR vTo = XMVectorSet(fEased, fLinear, fLinear, 0.0f);
    const XMVECTOR v =
        XMVectorAdd(XMVectorMultiply(vFrom, keys.values[i - 1]), XMVectorMultiply(vTo, keys.values[i]));
    return XMVectorSetW(v, 0.0f);
}

XMMATRIX PeerMatrix(const PeerKeys<XMMATRIX>& keys, double t)
{
    std::size_t i;
    double fU;
    if (!PeerSpan(keys, t, &i, &fU))
        return keys.values[i];
    const float fFrom = static_cast<float>(1.0 - fU);
    const float fTo = static_cast<float>(fU);
    XMMATRIX m;
    for (int r = 0; r < 4; ++r)
        m.r[r] = XMVectorAdd(XMVectorScale(keys.values[i - 1].r[r], fFrom),
                             XMVectorScale(keys.values[i].r[r], fTo));
    return m;
}

// Keys 1 and n - 2 are handles (from four keys on); the segment runs between pass-through points.
XMVECTOR PeerBSpline(const PeerKeys<XMVECTOR>& keys, double t)
{
    const std::size_t n = keys.values.size();
    if (t <= 0.0 || std::isnan(t))
        return keys.values[0];
    if (t >= keys.fDuration)
        return keys.values[n - 1];
    const bool bHandles = n >= 4;
    const auto IsHandle = [&](std::size_t i) { return bHandles && (i == 1 || i == n - 2); };
    const std::size_t uiLeading = static_cast<std::size_t>(
        std::upper_bound(keys.stamps.begin(), keys.stamps.end(), t) - keys.stamps.begin());
    std::size_t uiTo = uiLeading;
    while (uiTo < n && IsHandle(uiTo))
        ++uiTo;
    if (uiTo >= n)
        return keys.values[n - 1];
    std::size_t uiSegmentEnd = uiLeading;
    if (bHandles)
        uiSegmentEnd -= (1 < uiLeading ? 1 : 0) + (n - 2 < uiLeading ? 1 : 0);
    if (uiSegmentEnd == 0)
        return keys.values[0];
    std::size_t uiFrom = uiLeading - 1;
    while (IsHandle(uiFrom))
        --uiFrom;
    const double fU = Fraction(t, keys.stamps[uiFrom], keys.stamps[uiTo]);
    if (n < 5)
        return Blend(keys.values[uiFrom], keys.values[uiTo], fU);
    const XMVECTOR vP0 = keys.values[uiFrom];
    const XMVECTOR vP3 = keys.values[uiTo];
    const XMVECTOR vP1 = XMVectorAdd(vP0, keys.tangents[uiSegmentEnd - 1]);
    const XMVECTOR vP2 = XMVectorSubtract(vP3, keys.tangents[uiSegmentEnd]);
    const float fA = static_cast<float>(fU);
    const float fB = 1.0f - fA;
    XMVECTOR v = XMVectorScale(vP0, fB * fB * fB);
    v = XMVectorAdd(v, XMVectorScale(vP1, 3.0f * fA * fB * fB));
    v = XMVectorAdd(v, XMVectorScale(vP2, 3.0f * fA * fA * fB));
    return XMVectorAdd(v, XMVectorScale(vP3, fA * fA * fA));
}

template <typename Curve, typename Value, typename Peer>
void EvaluatePeer(benchmark::State& state, Curve& curve, const PeerKeys<Value>& keys, Peer peer)
{
    const std::vector<double> times = SampleTimes(keys.fDuration);
    for (double t : times)
    {
        Value fromCurve;
        curve.GetValueAt(&fromCurve, t);
        const Value fromPeer = peer(keys, t);
        if (std::memcmp(&fromCurve, &fromPeer, sizeof(Value)) != 0)
        {
            state.SkipWithError("the peer's value differs from the curve's");
            return;
        }
    }
    std::size_t i = 0;
    for (auto _ : state)
    {
        Value value = peer(keys, times[i]);
        benchmark::DoNotOptimize(value);
        i = i + 1 == times.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

// ---- The benchmarks. ----

template <typename Curve>
void BM_VertexCurve(benchmark::State& state)
{
    auto pCurve = MakeVertexCurve<Curve>(static_cast<std::uint32_t>(state.range(0)));
    Evaluate<Curve, XMVECTOR>(state, *pCurve);
}

void BM_PeerLinear(benchmark::State& state)
{
    auto pCurve = MakeVertexCurve<KB_LinearInterpolation>(static_cast<std::uint32_t>(state.range(0)));
    EvaluatePeer(state, *pCurve, CopyKeys(*pCurve), PeerLinear);
}

void BM_PeerCosine(benchmark::State& state)
{
    auto pCurve = MakeVertexCurve<KB_TrigonometryInterpolation>(static_cast<std::uint32_t>(state.range(0)));
    EvaluatePeer(state, *pCurve, CopyKeys(*pCurve), PeerCosine);
}

void BM_PeerBSpline(benchmark::State& state)
{
    auto pCurve = MakeVertexCurve<KB_CubicBSplineInterpolation>(static_cast<std::uint32_t>(state.range(0)));
    XMVECTOR v;
    pCurve->GetValueAt(&v, 0.5); // builds the tangents
    PeerKeys<XMVECTOR> keys = CopyKeys(*pCurve);
    for (std::uint32_t i = 0; i < pCurve->GetNumDerivates(); ++i)
        keys.tangents.push_back(pCurve->GetDerivate(i));
    EvaluatePeer(state, *pCurve, keys, PeerBSpline);
}

void BM_LinearMatrix(benchmark::State& state)
{
    auto pCurve = MakeMatrixCurve(static_cast<std::uint32_t>(state.range(0)));
    Evaluate<KB_LinearMatrixInterpolation, XMMATRIX>(state, *pCurve);
}

void BM_PeerMatrix(benchmark::State& state)
{
    auto pCurve = MakeMatrixCurve(static_cast<std::uint32_t>(state.range(0)));
    EvaluatePeer(state, *pCurve, CopyKeys(*pCurve), PeerMatrix);
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

void KeyCounts(benchmark::internal::Benchmark* pBenchmark)
{
    for (int iKeys : {4, 64, 1024, 4096})
        pBenchmark->Arg(iKeys);
}

} // namespace

BENCHMARK(BM_VertexCurve<KB_LinearInterpolation>)->Apply(KeyCounts);
BENCHMARK(BM_PeerLinear)->Apply(KeyCounts);
BENCHMARK(BM_VertexCurve<KB_CubicBSplineInterpolation>)->Apply(KeyCounts);
BENCHMARK(BM_PeerBSpline)->Apply(KeyCounts);
BENCHMARK(BM_VertexCurve<KB_TrigonometryInterpolation>)->Apply(KeyCounts);
BENCHMARK(BM_PeerCosine)->Apply(KeyCounts);
BENCHMARK(BM_LinearMatrix)->Apply(KeyCounts);
BENCHMARK(BM_PeerMatrix)->Apply(KeyCounts);
BENCHMARK(BM_VertexCurve<KB_AnimationTriggerInterpolation>)->Apply(KeyCounts);
BENCHMARK(BM_VertexCurve<KU_ConstantValueInterpolation>)->Apply(KeyCounts);
BENCHMARK(BM_Rotation)->Apply(KeyCounts);
