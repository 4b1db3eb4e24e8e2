#include "tests/platform/d3d11/D3D11TestFixture.h"

#include <vector>

using D3D11StreamOutput = D3D11Fixture;

namespace
{

D3D11_BUFFER_DESC BufferDesc(UINT uiBytes, UINT uiBindFlags)
{
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = uiBytes;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = uiBindFlags;
    return desc;
}

} // namespace

TEST_F(D3D11StreamOutput, TargetsAreHeldPerSlotAndUnboundPastTheCount)
{
    CreateDevice();
    const D3D11_BUFFER_DESC desc = BufferDesc(160, D3D11_BIND_VERTEX_BUFFER | D3D11_BIND_STREAM_OUTPUT);
    ID3D11Buffer* pA = nullptr;
    ID3D11Buffer* pB = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&desc, nullptr, &pA));
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&desc, nullptr, &pB));
    const std::uint64_t uiA = D3D11Control::GetObjectId(pA);
    const std::uint64_t uiB = D3D11Control::GetObjectId(pB);

    ID3D11Buffer* aTargets[2] = {pA, pB};
    const UINT aOffsets[2] = {0, 0xFFFFFFFFu};
    m_pContext->SOSetTargets(2, aTargets, aOffsets);
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pA));
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pB));
    EXPECT_EQ((std::vector<std::uint64_t>{uiA, uiB, 0, 0}),
              D3D11Control::GetBoundState(m_pContext).StreamOutTargets);
    const D3D11Control::CallRecord set = Calls("SOSetTargets").back();
    EXPECT_EQ(S_OK, set.Result);
    EXPECT_EQ((std::vector<std::uint64_t>{uiA, uiB}), set.Objects);
    EXPECT_EQ((std::vector<double>{2, 0, 4294967295.0}), set.Values);

    // One target: slot 1 is let go. Null offsets count as 0.
    m_pContext->SOSetTargets(1, &pB, nullptr);
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pA));
    EXPECT_EQ(2u, D3D11Control::GetRefCount(pB));
    EXPECT_EQ((std::vector<std::uint64_t>{uiB, 0, 0, 0}),
              D3D11Control::GetBoundState(m_pContext).StreamOutTargets);
    EXPECT_EQ((std::vector<double>{1, 0}), Calls("SOSetTargets").back().Values);

    // DrawAuto names the vertex buffer it draws and the target being written.
    const UINT uiStride = 80;
    const UINT uiOffset = 0;
    m_pContext->IASetVertexBuffers(0, 1, &pA, &uiStride, &uiOffset);
    m_pContext->DrawAuto();
    const std::vector<D3D11Control::CallRecord> vDraws = Calls("DrawAuto");
    ASSERT_EQ(1u, vDraws.size());
    EXPECT_EQ(S_OK, vDraws[0].Result);
    EXPECT_EQ((std::vector<std::uint64_t>{uiA, uiB}), vDraws[0].Objects);

    // A null entry unbinds; ClearState lets go of everything.
    ID3D11Buffer* pNone = nullptr;
    m_pContext->SOSetTargets(1, &pNone, aOffsets);
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pB));
    m_pContext->SOSetTargets(1, &pB, aOffsets);
    pB->Release();
    m_pContext->ClearState();
    EXPECT_EQ((std::vector<std::uint64_t>{0, 0, 0, 0}),
              D3D11Control::GetBoundState(m_pContext).StreamOutTargets);
    pA->Release();
    EXPECT_EQ(2u, D3D11Control::GetLiveObjectCount());
}

TEST_F(D3D11StreamOutput, BuffersWithoutTheBindFlagAndTooManySlotsAreRefused)
{
    CreateDevice();
    const D3D11_BUFFER_DESC soDesc = BufferDesc(80, D3D11_BIND_STREAM_OUTPUT);
    const D3D11_BUFFER_DESC vbDesc = BufferDesc(80, D3D11_BIND_VERTEX_BUFFER);
    ID3D11Buffer* pTarget = nullptr;
    ID3D11Buffer* pVertices = nullptr;
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&soDesc, nullptr, &pTarget));
    ASSERT_EQ(S_OK, m_pDevice->CreateBuffer(&vbDesc, nullptr, &pVertices));
    m_pContext->SOSetTargets(1, &pTarget, nullptr);

    // A refused call changes nothing that is bound.
    m_pContext->SOSetTargets(1, &pVertices, nullptr);
    EXPECT_EQ(E_INVALIDARG, Calls("SOSetTargets").back().Result);
    ID3D11Buffer* aFive[5] = {pTarget, nullptr, nullptr, nullptr, nullptr};
    m_pContext->SOSetTargets(5, aFive, nullptr);
    EXPECT_EQ(E_INVALIDARG, Calls("SOSetTargets").back().Result);
    m_pContext->SOSetTargets(1, nullptr, nullptr);
    EXPECT_EQ(E_INVALIDARG, Calls("SOSetTargets").back().Result);
    EXPECT_EQ(D3D11Control::GetObjectId(pTarget),
              D3D11Control::GetBoundState(m_pContext).StreamOutTargets[0]);

    // Zero targets is the plain way to unbind them all.
    m_pContext->SOSetTargets(0, nullptr, nullptr);
    EXPECT_EQ(S_OK, Calls("SOSetTargets").back().Result);
    EXPECT_EQ(1u, D3D11Control::GetRefCount(pTarget));
    pTarget->Release();
    pVertices->Release();
}
