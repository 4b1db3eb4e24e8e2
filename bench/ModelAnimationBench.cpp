// Skinning matrices of a 64-bone skeleton per frame: one evaluation walks the bone tree, reads
// every bone's matrix curve and appends bind x global per bone, as the upload does each frame
// (into the same reused buffer). The argument is the key count of every bone's curve (0: the
// bones use their fixed local matrices). The curve lookup scans the stamps linearly, so the cost
// is expected to grow with the key count; times are spread evenly over the animation.

#include "render/models/KR_MeshSkinnedAnimationResource.h"
#include "timing/KB_LinearMatrixInterpolation.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

using namespace DirectX;

namespace
{

constexpr std::uint32_t NUM_BONES = 64;
constexpr std::uint32_t NUM_CHAINS = 3; // root plus three chains of 21 bones
constexpr double DURATION = 10.0;
constexpr int NUM_TIMES = 257;

KR_MeshSkinnedAnimationResource* MakeBone(std::uint32_t uiBone, std::uint32_t uiKeys)
{
    const float fBone = static_cast<float>(uiBone);
    KB_LinearMatrixInterpolation* pCurve = nullptr;
    if (uiKeys > 0)
    {
        pCurve = new KB_LinearMatrixInterpolation();
        pCurve->SetEndTime(DURATION);
        for (std::uint32_t i = 0; i < uiKeys; ++i)
        {
            const float fAngle = 0.1f * static_cast<float>(i) + 0.01f * fBone;
            pCurve->InsertMatrix(
                XMMatrixMultiply(XMMatrixRotationZ(fAngle), XMMatrixTranslation(0.0f, 1.0f, 0.0f)),
                DURATION * i / (uiKeys > 1 ? uiKeys - 1 : 1));
        }
    }
    return new KR_MeshSkinnedAnimationResource(
        pCurve, KB_String("bone"),
        XMMatrixMultiply(XMMatrixRotationX(0.01f * fBone), XMMatrixTranslation(0.0f, 1.0f, 0.0f)));
}

std::unique_ptr<KR_MeshSkinnedAnimationResource> MakeSkeleton(std::uint32_t uiKeys)
{
    std::unique_ptr<KR_MeshSkinnedAnimationResource> pRoot(MakeBone(0, uiKeys));
    const std::uint32_t uiChainLength = (NUM_BONES - 1) / NUM_CHAINS;
    std::uint32_t uiBone = 1;
    for (std::uint32_t c = 0; c < NUM_CHAINS; ++c)
    {
        KR_MeshSkinnedAnimationResource* pParent = pRoot.get();
        for (std::uint32_t i = 0; i < uiChainLength; ++i)
        {
            KR_MeshSkinnedAnimationResource* pBone = MakeBone(uiBone++, uiKeys);
            pParent->AddChild(pBone);
            pParent = pBone;
        }
    }
    KB_GrowingArray<XMMATRIX> gBind;
    for (std::uint32_t i = 0; i < NUM_BONES; ++i)
        gBind.Add(XMMatrixTranslation(0.0f, -static_cast<float>(i), 0.0f));
    std::uint32_t uiIndex = 0;
    pRoot->SetBindMatrices(gBind, &uiIndex);
    return pRoot;
}

void BM_SkinnedAnimation64Bones(benchmark::State& state)
{
    const std::uint32_t uiKeys = static_cast<std::uint32_t>(state.range(0));
    std::unique_ptr<KR_MeshSkinnedAnimationResource> pRoot = MakeSkeleton(uiKeys);
    if (pRoot->GetBoneCount() != NUM_BONES)
    {
        state.SkipWithError("skeleton has the wrong bone count");
        return;
    }
    std::vector<double> times;
    for (int i = 0; i < NUM_TIMES; ++i)
        times.push_back(DURATION * (i + 0.5) / NUM_TIMES);

    KB_GrowingArray<XMMATRIX> gMatrices;
    std::size_t t = 0;
    for (auto _ : state)
    {
        gMatrices.RemoveAll(false);
        pRoot->FillBoneMatrices(times[t], XMMatrixIdentity(), gMatrices);
        benchmark::DoNotOptimize(gMatrices[NUM_BONES - 1]);
        t = t + 1 == times.size() ? 0 : t + 1;
    }
    state.SetItemsProcessed(state.iterations() * NUM_BONES);
    state.counters["keys"] = static_cast<double>(uiKeys);
}

} // namespace

BENCHMARK(BM_SkinnedAnimation64Bones)
    ->Arg(0)
    ->Arg(2)
    ->Arg(16)
    ->Arg(128)
    ->Arg(1024)
    ->Unit(benchmark::kMicrosecond);
