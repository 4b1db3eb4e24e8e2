// Per-call cost of the math stand-in's hot paths: matrix product and inverse (cameras, picking,
// bone matrices) and the squad evaluation of rotation curves (setup plus blend per sample).

#include "platform/directxmath/DirectXMath.h"

#include <benchmark/benchmark.h>

using namespace DirectX;

namespace
{

XMMATRIX SampleMatrix()
{
    return XMMatrixScaling(1.5f, 2.0f, 0.5f) * XMMatrixRotationRollPitchYaw(0.3f, 1.2f, -0.4f) *
           XMMatrixTranslation(3.0f, -1.0f, 7.0f);
}

void BM_MatrixMultiply(benchmark::State& state)
{
    XMMATRIX a = SampleMatrix();
    const XMMATRIX b = XMMatrixLookToLH(XMVectorSet(1, 2, 3, 0), XMVectorSet(0, 0, 1, 0), g_XMIdentityR1);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(a);
        XMMATRIX product = XMMatrixMultiply(a, b);
        benchmark::DoNotOptimize(product);
    }
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixInverse(benchmark::State& state)
{
    XMMATRIX m = SampleMatrix();
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(m);
        XMVECTOR det;
        XMMATRIX inverse = XMMatrixInverse(&det, m);
        benchmark::DoNotOptimize(inverse);
        benchmark::DoNotOptimize(det);
    }
}
BENCHMARK(BM_MatrixInverse);

void BM_QuaternionSquadSetupAndSquad(benchmark::State& state)
{
    XMVECTOR q0 = XMQuaternionRotationRollPitchYaw(0.1f, 0.2f, 0.3f);
    XMVECTOR q1 = XMQuaternionRotationRollPitchYaw(0.4f, 0.9f, 0.1f);
    XMVECTOR q2 = XMQuaternionRotationRollPitchYaw(0.8f, 1.6f, -0.2f);
    XMVECTOR q3 = XMQuaternionRotationRollPitchYaw(1.1f, 2.5f, -0.6f);
    float t = 0.37f;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(q0);
        benchmark::DoNotOptimize(t);
        XMVECTOR a, b, c;
        XMQuaternionSquadSetup(&a, &b, &c, q0, q1, q2, q3);
        XMVECTOR result = XMQuaternionSquad(q1, a, b, c, t);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_QuaternionSquadSetupAndSquad);

void BM_QuaternionSquad(benchmark::State& state)
{
    const XMVECTOR q1 = XMQuaternionRotationRollPitchYaw(0.4f, 0.9f, 0.1f);
    XMVECTOR a, b, c;
    XMQuaternionSquadSetup(&a, &b, &c, XMQuaternionRotationRollPitchYaw(0.1f, 0.2f, 0.3f), q1,
                           XMQuaternionRotationRollPitchYaw(0.8f, 1.6f, -0.2f),
                           XMQuaternionRotationRollPitchYaw(1.1f, 2.5f, -0.6f));
    float t = 0.37f;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(t);
        XMVECTOR result = XMQuaternionSquad(q1, a, b, c, t);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_QuaternionSquad);

} // namespace
