#include "framework/core/KB_Memory.h"

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "framework/core/KB_Vector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace
{

struct Record
{
    char tag;
    double value;
};

TEST(KB_Memory, AllocateReturnsAlignedUsableBlocks)
{
    std::vector<void*> blocks;
    for (std::uint64_t size : {0u, 1u, 3u, 15u, 16u, 17u, 1000u, 65537u})
    {
        void* pBlock = KB_Memory::Allocate(size);
        ASSERT_NE(pBlock, nullptr);
        EXPECT_TRUE(KB_Memory::IsAligned(pBlock)) << size;
        std::memset(pBlock, 0x5A, size);
        blocks.push_back(pBlock);
    }
    for (void* pBlock : blocks)
        KB_Memory::Free(pBlock);
    KB_Memory::Free(nullptr);
}

// The engine relies on every heap object being 16-byte aligned without replacing global new.
TEST(KB_Memory, GlobalNewAlreadyGivesSixteenByteAlignment)
{
    std::vector<std::unique_ptr<char[]>> bytes;
    std::vector<std::unique_ptr<Record>> records;
    for (int i = 1; i < 64; ++i)
    {
        bytes.emplace_back(new char[i]);
        EXPECT_TRUE(KB_Memory::IsAligned(bytes.back().get())) << i;
        records.emplace_back(new Record{'r', 1.0});
        EXPECT_TRUE(KB_Memory::IsAligned(records.back().get()));
    }
    std::unique_ptr<KB_String> pString(new KB_String("x"));
    EXPECT_TRUE(KB_Memory::IsAligned(pString.get()));
    std::unique_ptr<DirectX::XMMATRIX> pMatrix(new DirectX::XMMATRIX());
    EXPECT_TRUE(KB_Memory::IsAligned(pMatrix.get()));

    KB_GrowingArray<KB_Vector4<float>> vectors;
    vectors.Add(KB_Vector4<float>(1, 2, 3, 4));
    EXPECT_TRUE(KB_Memory::IsAligned(&vectors[0]));
}

} // namespace
