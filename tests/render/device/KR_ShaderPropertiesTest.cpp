#include "render/device/KR_ShaderProperties.h"

#include "platform/d3dcompiler/d3dcompiler.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(KR_ShaderProperties, FreshObjectHashesToTheKnownValue)
{
    const KR_ShaderProperties properties;
    EXPECT_EQ(0x9ac474c6a24db681ull, properties.GetHash());
    char name[16];
    std::snprintf(name, sizeof name, "%.8X", static_cast<unsigned>(properties.GetHash() & 0xFFFFFFFFu));
    EXPECT_STREQ("A24DB681", name);
    EXPECT_EQ(2u, properties.GetMacroCount());
    EXPECT_EQ(5u, properties.GetMacroCapacity());

    std::uint64_t uiSeed = 0;
    KR_ShaderProperties::HashCString(uiSeed, "abc");
    EXPECT_EQ(0xe71fa21a80966f0bull, uiSeed);
}

TEST(KR_ShaderProperties, EveryPartAndTheMacroOrderChangeTheHash)
{
    KR_ShaderProperties a;
    KR_ShaderProperties b;
    a.SetShaderStage(KR_SHADER_STAGE_VERTEX, "Assets/Shader/KR_VertexShader.hlsl", "VSMain");
    b.SetShaderStage(KR_SHADER_STAGE_VERTEX, "Assets/Shader/KR_VertexShader.hlsl", "VSMain");
    EXPECT_EQ(a.GetHash(), b.GetHash());
    EXPECT_FALSE(a < b || b < a);
    b.SetShaderStage(KR_SHADER_STAGE_VERTEX, "Assets/Shader/KR_VertexShader.hlsl", "VSMain2");
    EXPECT_NE(a.GetHash(), b.GetHash());
    EXPECT_TRUE(a < b || b < a);

    KR_ShaderProperties first;
    KR_ShaderProperties second;
    first.AddMacro("VS_IN_UV0", nullptr);
    first.AddMacro("SKINNED", nullptr);
    second.AddMacro("SKINNED", nullptr);
    second.AddMacro("VS_IN_UV0", nullptr);
    EXPECT_NE(first.GetHash(), second.GetHash());

    // No value and the empty value count alike.
    KR_ShaderProperties empty;
    empty.AddMacro("VS_IN_UV0", "");
    empty.AddMacro("SKINNED", "");
    EXPECT_EQ(first.GetHash(), empty.GetHash());
}

TEST(KR_ShaderProperties, AddMacroGrowsAndKeepsTheNullPairLast)
{
    static const char* const NAMES[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I"};
    KR_ShaderProperties properties;
    const std::uint32_t expectedCapacity[] = {5, 10, 10, 10, 20, 20, 20, 20, 20};
    for (std::uint32_t i = 0; i < 9; ++i)
    {
        properties.AddMacro(NAMES[i], i % 2 == 0 ? "1" : nullptr);
        EXPECT_EQ(2 * i + 4, properties.GetMacroCount());
        EXPECT_EQ(expectedCapacity[i], properties.GetMacroCapacity()) << i;
    }
    // The list reads as the compiler's macro table, in the order added.
    const auto* pTable = reinterpret_cast<const D3D_SHADER_MACRO*>(properties.GetMacros());
    for (std::uint32_t i = 0; i < 9; ++i)
    {
        EXPECT_STREQ(NAMES[i], pTable[i].Name);
        EXPECT_EQ(i % 2 == 0 ? "1" : nullptr, pTable[i].Definition);
    }
    EXPECT_EQ(nullptr, pTable[9].Name);
    EXPECT_EQ(nullptr, pTable[9].Definition);

    // Copies keep the macros and so the hash.
    const KR_ShaderProperties copy(properties);
    EXPECT_EQ(properties.GetHash(), copy.GetHash());
}
