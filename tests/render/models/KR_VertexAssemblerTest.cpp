#include "render/models/KR_VertexAssembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

struct FormatRow
{
    std::int32_t iId;
    bool bUV[4];
    bool bNormal;
    bool bTangent;
    bool bSkinned;
    std::uint32_t uiStride;
    std::uint8_t uiMask;
};

// Every format with the flags that select it.
const FormatRow FORMAT_TABLE[28] = {
    {0, {1, 1, 1, 1}, 1, 1, 1, 88, 0xFF},  {1, {1, 1, 1, 0}, 1, 1, 1, 80, 0xBF},
    {2, {1, 1, 0, 0}, 1, 1, 1, 72, 0x9F},  {3, {1, 0, 0, 0}, 1, 1, 1, 64, 0x8F},
    {4, {1, 1, 1, 1}, 1, 0, 1, 76, 0xFB},  {5, {1, 1, 1, 0}, 1, 0, 1, 68, 0xBB},
    {6, {1, 1, 0, 0}, 1, 0, 1, 60, 0x9B},  {7, {1, 0, 0, 0}, 1, 0, 1, 52, 0x8B},
    {8, {1, 1, 1, 1}, 0, 0, 1, 64, 0xF9},  {9, {1, 1, 1, 0}, 0, 0, 1, 56, 0xB9},
    {10, {1, 1, 0, 0}, 0, 0, 1, 48, 0x99}, {11, {1, 0, 0, 0}, 0, 0, 1, 40, 0x89},
    {12, {0, 0, 0, 0}, 1, 0, 1, 44, 0x83}, {13, {0, 0, 0, 0}, 0, 0, 1, 32, 0x81},
    {14, {1, 1, 1, 1}, 1, 1, 0, 68, 0x7F}, {15, {1, 1, 1, 0}, 1, 1, 0, 60, 0x3F},
    {16, {1, 1, 0, 0}, 1, 1, 0, 52, 0x1F}, {17, {1, 0, 0, 0}, 1, 1, 0, 44, 0x0F},
    {18, {1, 1, 1, 1}, 1, 0, 0, 56, 0x7B}, {19, {1, 1, 1, 0}, 1, 0, 0, 48, 0x3B},
    {20, {1, 1, 0, 0}, 1, 0, 0, 40, 0x1B}, {21, {1, 0, 0, 0}, 1, 0, 0, 32, 0x0B},
    {22, {0, 0, 0, 0}, 1, 0, 0, 24, 0x03}, {23, {1, 1, 1, 1}, 0, 0, 0, 44, 0x79},
    {24, {1, 1, 1, 0}, 0, 0, 0, 36, 0x39}, {25, {1, 1, 0, 0}, 0, 0, 0, 28, 0x19},
    {26, {1, 0, 0, 0}, 0, 0, 0, 20, 0x09}, {27, {0, 0, 0, 0}, 0, 0, 0, 12, 0x01},
};

std::vector<float> Vertex21(float x, float u)
{
    return {x, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, u, 0.0f}; // position, normal, UV 1
}

} // namespace

TEST(KR_VertexAssembler, TheTwentyEightFormats)
{
    for (const FormatRow& row : FORMAT_TABLE)
    {
        KR_VertexAssembler assembler;
        assembler.SelectVertexFormat(row.bUV[0], row.bUV[1], row.bUV[2], row.bUV[3], row.bNormal,
                                     row.bTangent, row.bSkinned);
        EXPECT_EQ(row.iId, assembler.GetVertexFormatId());
        EXPECT_EQ(row.uiStride, assembler.GetVertexStride()) << "format " << row.iId;
        EXPECT_EQ(row.uiMask, assembler.GetComponentMask()) << "format " << row.iId;
        EXPECT_TRUE(KR_VertexFormat::IsValidMask(row.uiMask));
    }
    EXPECT_FALSE(KR_VertexFormat::IsValidMask(0x1D)); // a tangent without a normal
    KR_VertexFormat::KR_VertexFormatInfo info{};
    EXPECT_FALSE(KR_VertexFormat::GetFormatInfo(28, &info));
    EXPECT_FALSE(KR_VertexFormat::GetFormatInfo(-1, &info));
}

TEST(KR_VertexAssembler, SelectionRulesAndTheDroppedTangent)
{
    // A tangent without a normal (or without UV set 1) is dropped, so the mask matches the vertex.
    EXPECT_EQ(25, KR_VertexFormat::SelectFormatId(true, true, false, false, false, true, false));
    EXPECT_EQ(22, KR_VertexFormat::SelectFormatId(false, false, false, false, true, true, false));
    // UV set 2 without set 1 counts no UV set.
    EXPECT_EQ(27, KR_VertexFormat::SelectFormatId(false, true, false, false, false, false, false));
    EXPECT_EQ(13, KR_VertexFormat::SelectFormatId(false, false, false, false, false, false, true));
    EXPECT_EQ(12, KR_VertexFormat::SelectFormatId(false, false, false, false, true, false, true));
}

TEST(KR_VertexAssembler, TempVerticesPackTheFormatsComponents)
{
    KR_VertexAssembler assembler;
    const float aPosition[3] = {1, 2, 3};
    const float aNormal[3] = {0, 0, 1};
    const float aUV1[2] = {0.25f, 0.5f};
    const float aUV2[2] = {7, 8};
    KR_SkinRecord skin;
    skin.fWeights[0] = 1.0f;
    skin.uiBones[0] = 9;
    assembler.AddTempVertex(aPosition, aUV1, aUV2, nullptr, nullptr, aNormal, skin); // no format: nothing
    EXPECT_EQ(0u, assembler.GetTempVertexCount());

    assembler.SelectVertexFormat(true, false, false, false, true, true, true); // format 3
    assembler.AddTempVertex(aPosition, aUV1, aUV2, nullptr, nullptr, aNormal, skin);
    ASSERT_EQ(1u, assembler.GetTempVertexCount());
    const float aTangent[3] = {1, 0, 0};
    assembler.SetTangentOnCurrentTempVertex(0, aTangent);
    const float aExpected[13] = {1, 2, 3, 0, 0, 1, 1, 0, 0, 0.25f, 0.5f, 1.0f, 0.0f};
    const std::uint8_t* pVertex = assembler.GetTempVertex(0);
    EXPECT_EQ(0, std::memcmp(aExpected, pVertex, 12 * sizeof(float)));
    EXPECT_EQ(9, pVertex[64 - 4]);
    float aPos[3] = {}, aUV[2] = {}, aNorm[3] = {};
    ASSERT_TRUE(assembler.GetPosUV1NormalFromCurrentTempVertex(0, aPos, aUV, aNorm));
    EXPECT_EQ(0.5f, aUV[1]);
    EXPECT_EQ(1.0f, aNorm[2]);

    // Format 21 has no tangent: the accessors leave their outputs alone.
    KR_VertexAssembler plain;
    plain.SelectVertexFormat(true, false, false, false, true, false, false);
    plain.AddTempVertex(aPosition, aUV1, nullptr, nullptr, nullptr, aNormal, skin);
    float aUntouched[3] = {-7, -7, -7};
    EXPECT_FALSE(plain.GetPosUV1NormalFromCurrentTempVertex(0, aUntouched, aUV, aNorm));
    EXPECT_EQ(-7.0f, aUntouched[0]);
    plain.SetTangentOnCurrentTempVertex(0, aTangent);
    EXPECT_EQ(0, std::memcmp(plain.GetTempVertex(0), aExpected, 6 * sizeof(float)));
}

TEST(KR_VertexAssembler, UniqueVerticesAreSharedOnlyUnderOnePositionIndex)
{
    KR_VertexAssembler assembler;
    assembler.SelectVertexFormat(true, false, false, false, true, false, false);
    const std::vector<float> a = Vertex21(1.0f, 0.0f);
    std::vector<float> negativeZero = Vertex21(1.0f, -0.0f);
    EXPECT_EQ(0u, assembler.AddUniqueVertex(3, a.data()));
    EXPECT_EQ(0u, assembler.AddUniqueVertex(3, a.data()));
    EXPECT_EQ(1u, assembler.AddUniqueVertex(4, a.data()));            // same bytes, other position
    EXPECT_EQ(2u, assembler.AddUniqueVertex(3, negativeZero.data())); // -0.0 is not 0.0
    EXPECT_EQ(3u, assembler.AddUniqueVertex(10000, a.data()));        // far past the bucket table
    EXPECT_EQ(3u, assembler.AddUniqueVertex(10000, a.data()));
    ASSERT_EQ(4u, assembler.GetVertexCount());
    float aPosition[3] = {};
    ASSERT_TRUE(assembler.GetVertexPosition(2, aPosition));
    EXPECT_EQ(1.0f, aPosition[0]);
    EXPECT_FALSE(assembler.GetVertexPosition(4, aPosition));

    assembler.ClearMeshVertices();
    EXPECT_EQ(0u, assembler.GetVertexCount());
    EXPECT_EQ(0xFFFFFFFFu, assembler.AddUniqueVertex(3, a.data()));
}

TEST(KR_VertexAssembler, ManyVerticesUnderOnePositionIndexStayApartAndAreFoundAgain)
{
    // A document may put any number of different vertices under one position index (one position,
    // thousands of normals); each must be found again, and only under its own position index.
    KR_VertexAssembler assembler;
    assembler.SelectVertexFormat(true, false, false, false, true, false, false);
    constexpr std::uint32_t COUNT = 20000;
    for (std::uint32_t i = 0; i < COUNT; ++i)
    {
        const std::vector<float> vertex = Vertex21(0.0f, static_cast<float>(i));
        ASSERT_EQ(2 * i, assembler.AddUniqueVertex(0, vertex.data()));
        ASSERT_EQ(2 * i + 1, assembler.AddUniqueVertex(i + 1, vertex.data()));
    }
    for (std::uint32_t i = 0; i < COUNT; i += 7)
    {
        const std::vector<float> vertex = Vertex21(0.0f, static_cast<float>(i));
        EXPECT_EQ(2 * i, assembler.AddUniqueVertex(0, vertex.data()));
        EXPECT_EQ(2 * i + 1, assembler.AddUniqueVertex(i + 1, vertex.data()));
    }
    EXPECT_EQ(2 * COUNT, assembler.GetVertexCount());

    // Another format starts a new table, as does a new mesh.
    assembler.SelectVertexFormat(false, false, false, false, false, false, false);
    const float position[3] = {0.0f, 0.0f, 0.0f};
    EXPECT_EQ(0u, assembler.AddUniqueVertex(0, position));
    EXPECT_EQ(0u, assembler.AddUniqueVertex(0, position));
    assembler.ClearMeshVertices();
    assembler.SelectVertexFormat(false, false, false, false, false, false, false);
    EXPECT_EQ(0u, assembler.AddUniqueVertex(5, position));
    EXPECT_EQ(1u, assembler.AddVertex(position)); // added without a position index: never found
    EXPECT_EQ(0u, assembler.AddUniqueVertex(5, position));
}
