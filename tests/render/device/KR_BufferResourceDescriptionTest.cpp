#include "render/device/KR_BufferResourceDescription.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(KR_BufferResourceDescription, DescribesOnlyCountsWhoseBytesFitThirtyTwoBits)
{
    KR_BufferResourceDescription description(7, 7, D3D11_USAGE_DYNAMIC, 1, 2, 3);
    EXPECT_FALSE(KR_BufferResourceDescription::Describe(description, 0, 16, D3D11_USAGE_DEFAULT, 1, 0, 0));
    EXPECT_EQ(KR_BufferResourceDescription(), description);

    // 0xFFFFFFFF = 3 x 5 x 17 x 257 x 65537 bytes fit exactly; one element more does not, and the
    // product of a count past 32 bits must not wrap around into range.
    const std::uint32_t uiStride = 3u * 5u * 17u * 257u;
    ASSERT_TRUE(KR_BufferResourceDescription::Describe(
        description, 65537u, uiStride, D3D11_USAGE_DYNAMIC, D3D11_BIND_SHADER_RESOURCE,
        D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, D3D11_CPU_ACCESS_WRITE));
    EXPECT_EQ(KR_BufferResourceDescription(65537u, uiStride, D3D11_USAGE_DYNAMIC, D3D11_BIND_SHADER_RESOURCE,
                                           D3D11_RESOURCE_MISC_BUFFER_STRUCTURED, D3D11_CPU_ACCESS_WRITE),
              description);
    EXPECT_FALSE(
        KR_BufferResourceDescription::Describe(description, 65538u, uiStride, D3D11_USAGE_DEFAULT, 1, 0, 0));
    EXPECT_EQ(KR_BufferResourceDescription(), description);
    EXPECT_FALSE(KR_BufferResourceDescription::Describe(description, (std::uint64_t{1} << 32) + 1, 1,
                                                        D3D11_USAGE_DEFAULT, 1, 0, 0));
    EXPECT_FALSE(KR_BufferResourceDescription::Describe(description, std::uint64_t{1} << 40, 4096,
                                                        D3D11_USAGE_DEFAULT, 1, 0, 0));
}
