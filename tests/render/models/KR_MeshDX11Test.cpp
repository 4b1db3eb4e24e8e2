#include "render/models/KR_MeshDX11.h"

#include "platform/d3d11/D3D11Control.h"
#include "tests/render/device/StandInGraphicsDevice.h"
#include "tests/render/models/ModelTestHelpers.h"
#include "tests/support/TestEngine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

class KR_MeshDX11Test : public ::testing::Test
{
protected:
    // A mesh of stride 12 with V vertices and the given attribute ids, subsets built.
    static void Fill(KR_MeshDX11& mesh, std::uint32_t uiVertices, const std::vector<std::uint32_t>& vIds)
    {
        const std::uint32_t uiTriangles = static_cast<std::uint32_t>(vIds.size());
        ASSERT_TRUE(mesh.Allocate(12, uiVertices, uiTriangles));
        std::vector<float> vPositions(std::size_t{uiVertices} * 3);
        for (std::size_t i = 0; i < vPositions.size(); ++i)
            vPositions[i] = static_cast<float>(i) * 0.5f;
        std::vector<std::uint32_t> vIndices(std::size_t{uiTriangles} * 3);
        for (std::size_t i = 0; i < vIndices.size(); ++i)
            vIndices[i] = static_cast<std::uint32_t>(i % uiVertices);
        mesh.SetVertices(vPositions.data());
        mesh.SetIndices(vIndices.data());
        mesh.SetAttributes(vIds.data());
        ASSERT_TRUE(mesh.BuildSubsets());
    }

    TestEngine m_engine;
    StandInGraphicsDevice m_device{m_engine};
};

} // namespace

TEST_F(KR_MeshDX11Test, SubsetsAreContiguousRunsOfRisingIds)
{
    KR_MeshDX11 mesh;
    Fill(mesh, 3, {0, 0, 1, 1, 1});
    ASSERT_EQ(2u, mesh.GetSubsetCount());
    EXPECT_EQ(0u, mesh.GetSubsetStart(0));
    EXPECT_EQ(6u, mesh.GetSubsetIndexCount(0));
    EXPECT_EQ(6u, mesh.GetSubsetStart(1));
    EXPECT_EQ(9u, mesh.GetSubsetIndexCount(1));

    for (const std::vector<std::uint32_t>& vBad : {std::vector<std::uint32_t>{0, 2}, {1, 1}, {1, 0}})
    {
        ASSERT_TRUE(mesh.Allocate(12, 3, static_cast<std::uint32_t>(vBad.size())));
        mesh.SetAttributes(vBad.data());
        EXPECT_FALSE(mesh.BuildSubsets());
    }
    ASSERT_TRUE(mesh.Allocate(12, 3, 0));
    ASSERT_TRUE(mesh.BuildSubsets());
    ASSERT_EQ(1u, mesh.GetSubsetCount());
    EXPECT_EQ(0u, mesh.GetSubsetIndexCount(0));
}

TEST_F(KR_MeshDX11Test, BuffersHoldTheMeshBytesAndDrawsAreRecorded)
{
    KR_MeshDX11 mesh;
    Fill(mesh, 4, {0, 1});
    ASSERT_TRUE(mesh.CreateBuffers());
    std::vector<std::uint8_t> vBytes;
    ASSERT_TRUE(D3D11Control::ReadSubresource(mesh.GetVertexBuffer(), 0, &vBytes));
    ASSERT_EQ(48u, vBytes.size());
    float fThird = 0.0f;
    std::memcpy(&fThird, vBytes.data() + 8, 4);
    EXPECT_EQ(1.0f, fThird);
    ASSERT_TRUE(D3D11Control::ReadSubresource(mesh.GetIndexBuffer(), 0, &vBytes));
    ASSERT_EQ(24u, vBytes.size());
    std::uint32_t uiIndex = 0;
    std::memcpy(&uiIndex, vBytes.data() + 16, 4);
    EXPECT_EQ(0u, uiIndex); // index 4 of 0, 1, 2, 3, 0, 1

    D3D11Control::ClearCallLog();
    mesh.DrawSubset(1, 0);
    mesh.DrawSubset(0, 3);
    mesh.DrawSubset(2, 1); // no such subset: nothing
    std::vector<std::string> vMethods;
    std::vector<D3D11Control::CallRecord> vDraws;
    for (const D3D11Control::CallRecord& record : D3D11Control::GetCallLog())
    {
        if (record.Method != "Release") // rebinding drops the old reference
            vMethods.push_back(record.Method);
        if (record.Method.rfind("Draw", 0) == 0)
            vDraws.push_back(record);
        EXPECT_TRUE(record.Method.rfind("IA", 0) != 0 || record.Result == S_OK) << record.Method;
    }
    EXPECT_EQ(std::vector<std::string>({"IASetVertexBuffers", "IASetIndexBuffer", "IASetPrimitiveTopology",
                                        "DrawIndexed", "IASetVertexBuffers", "IASetIndexBuffer",
                                        "IASetPrimitiveTopology", "DrawIndexedInstanced"}),
              vMethods);
    ASSERT_EQ(2u, vDraws.size());
    EXPECT_EQ(std::vector<double>({3, 3, 0}), vDraws[0].Values);
    EXPECT_EQ(std::vector<double>({3, 3, 0, 0, 0}), vDraws[1].Values);
}

TEST_F(KR_MeshDX11Test, AFailedBufferLeavesNoBuffersAndNoData)
{
    KR_MeshDX11 mesh;
    Fill(mesh, 3, {0});
    D3D11Control::FailNext("CreateBuffer");
    EXPECT_FALSE(mesh.CreateBuffers());
    EXPECT_EQ(nullptr, mesh.GetVertexBuffer());
    EXPECT_FALSE(mesh.HasData());
    std::vector<std::uint8_t> vBytes(1024);
    std::uint8_t* pCursor = vBytes.data();
    std::uint64_t uiWritten = 0;
    EXPECT_FALSE(mesh.Serialize(&pCursor, vBytes.size(), &uiWritten)); // nothing true to write

    KR_MeshDX11 empty; // zero vertex bytes: the device refuses, as the runtime does
    ASSERT_TRUE(empty.Allocate(12, 0, 0));
    EXPECT_FALSE(empty.CreateBuffers());
}

TEST_F(KR_MeshDX11Test, RecordRoundTripsAndEveryTruncationFails)
{
    KR_MeshDX11 mesh;
    Fill(mesh, 4, {0, 0, 1});
    const std::vector<std::uint8_t> vRecord = modeltest::Serialize(mesh);
    ASSERT_EQ(20u + 8 * 2 + 12 * 4 + 16 * 3, vRecord.size());

    KR_MeshDX11 read;
    ASSERT_TRUE(modeltest::Deserialize(read, vRecord));
    EXPECT_EQ(vRecord, modeltest::Serialize(read, false));
    EXPECT_NE(nullptr, read.GetIndexBuffer());
    for (std::uint64_t uiLength = 0; uiLength < vRecord.size(); ++uiLength)
    {
        KR_MeshDX11 truncated;
        EXPECT_FALSE(modeltest::Deserialize(truncated, vRecord, uiLength)) << "length " << uiLength;
    }
}

TEST_F(KR_MeshDX11Test, ARecordAfterOthersIsBoundedByTheBytesLeftNotTheBuffer)
{
    // As in the model cache: the header and earlier records come first, and the capacity is the
    // whole buffer's. A small mesh and one of 2,000 vertices of stride 12.
    KR_MeshDX11 small;
    Fill(small, 4, {0, 0, 1});
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(small));
    KR_MeshDX11 large;
    Fill(large, 2000, std::vector<std::uint32_t>(700, 0));
    const std::uint64_t uiSize = 20 + 8 + 12 * 2000 + 16 * 700;
    EXPECT_TRUE(modeltest::BoundedByBytesLeft(large));
    EXPECT_TRUE(modeltest::WritesWithinBytesLeft(large, uiSize, 40000, 65536));    // refused
    EXPECT_TRUE(modeltest::WritesWithinBytesLeft(large, uiSize, 20, 20 + uiSize)); // written
}

TEST_F(KR_MeshDX11Test, InconsistentRecordsAreRefused)
{
    KR_MeshDX11 mesh;
    Fill(mesh, 4, {0, 1});
    const std::vector<std::uint8_t> vRecord = modeltest::Serialize(mesh, false);
    auto patched = [&](std::size_t uiOffset, std::uint32_t uiValue)
    {
        std::vector<std::uint8_t> vCopy = vRecord;
        std::memcpy(vCopy.data() + uiOffset, &uiValue, 4);
        return vCopy;
    };
    KR_MeshDX11 read;
    EXPECT_FALSE(modeltest::Deserialize(read, patched(20, 4)));           // a subset past the 6 indices
    EXPECT_FALSE(modeltest::Deserialize(read, patched(24, 1)));           // m differs from n
    EXPECT_FALSE(modeltest::Deserialize(read, patched(8, 0x40000000u)));  // vertex bytes beyond the record
    EXPECT_FALSE(modeltest::Deserialize(read, patched(12, 0xFFFFFFFFu))); // subset count beyond the record
    // Buffers that cannot be made fail the read instead of passing for a loaded mesh.
    D3D11Control::FailNext("CreateBuffer");
    EXPECT_FALSE(modeltest::Deserialize(read, vRecord));
    EXPECT_TRUE(modeltest::Deserialize(read, vRecord));
}
