#pragma once
// Byte layouts of the shader core manager's constant buffers, as the engine's HLSL sources
// declare them (registers b8 to b12 of every stage). Matrices are stored transposed (column-major
// for HLSL); each float3 is followed by 4 padding bytes unless a field is packed into them.

#include <cstdint>

namespace KR_ShaderCoreLayouts
{

// Registers and counts.
constexpr std::uint32_t FIRST_CONSTANT_BUFFER = 8; // b8 to b12
constexpr std::uint32_t NUM_CONSTANT_BUFFERS = 5;
constexpr std::uint32_t FIRST_SAMPLER = 8; // s8 to s12
constexpr std::uint32_t NUM_SAMPLERS = 5;
constexpr std::uint32_t FIRST_VIEW = 16; // t16 to t46
constexpr std::uint32_t NUM_VIEWS = 31;
constexpr std::uint32_t MAX_SHADOW_MAPS = 5;
constexpr std::uint32_t MAX_LIGHTS = 25;
constexpr std::uint32_t MAX_MATRICES = 200;
constexpr std::uint32_t MAX_BONE_MATRICES = 256;
constexpr std::uint32_t MAX_VECTORS = 8;
constexpr std::uint32_t MAX_CUBE_MAPS = 8;
constexpr std::uint32_t NUM_INDEXED_PARAMETERS = 4;

// View table slots (register t16 + slot).
constexpr std::uint32_t SLOT_DIFFUSE = 0; // two each: diffuse, normal, specular, roughness, gloss
constexpr std::uint32_t SLOT_NORMAL = 2;
constexpr std::uint32_t SLOT_SPECULAR = 4;
constexpr std::uint32_t SLOT_ROUGHNESS = 6;
constexpr std::uint32_t SLOT_GLOSS = 8;
constexpr std::uint32_t SLOT_MASK = 10; // one each: mask, lightmap, ambient occlusion
constexpr std::uint32_t SLOT_LIGHTMAP = 11;
constexpr std::uint32_t SLOT_AMBIENT_OCCLUSION = 12;
constexpr std::uint32_t SLOT_HEIGHTMAP = 13; // two each: heightmap, transparency
constexpr std::uint32_t SLOT_TRANSPARENCY = 15;
constexpr std::uint32_t SLOT_MATERIAL_CUBE_MAP = 17;
constexpr std::uint32_t NUM_MATERIAL_SLOTS = 18;
constexpr std::uint32_t SLOT_SHADOW_MAPS = 18; // 5
constexpr std::uint32_t SLOT_CUBE_MAPS = 23;   // 8

// b8: bone matrices.
constexpr std::uint32_t B8_SIZE = 16384;

// b9: material and lights. Each tile/uv row is two 16-byte entries, one per texture index.
constexpr std::uint32_t B9_TILES_0 = 0;          // float4[2]: diffuse, normal, specular, roughness
constexpr std::uint32_t B9_UVS_0 = 32;           // uint4[2]
constexpr std::uint32_t B9_TILES_1 = 64;         // float4[2]: gloss, mask, lightmap, ambient occlusion
constexpr std::uint32_t B9_UVS_1 = 96;           // uint4[2]
constexpr std::uint32_t B9_TILES_2 = 128;        // float4[2]: heightmap, transparency
constexpr std::uint32_t B9_UVS_2 = 160;          // uint4[2]
constexpr std::uint32_t B9_SPECULAR_POWER = 192; // float4[2], power in x
constexpr std::uint32_t B9_RESERVED = 224;       // float4, zeroed by ResetMaterialTextures
constexpr std::uint32_t B9_OBJECT_COLOR = 240;
constexpr std::uint32_t B9_PARAMETER_UINT = 256;
constexpr std::uint32_t B9_PARAMETER_VECTOR = 272;
constexpr std::uint32_t B9_PARALLAX = 288; // u32 min samples, u32 max samples, float scale, float offset
constexpr std::uint32_t B9_NUM_SPOT_LIGHTS = 304;
constexpr std::uint32_t B9_NUM_OMNI_LIGHTS = 308;
constexpr std::uint32_t B9_NUM_CUBE_MAPS = 312;
constexpr std::uint32_t B9_SHADOW_MATRICES = 320; // float4x4[5]
constexpr std::uint32_t B9_SPOT_POSITION = 640;   // float4[5] each
constexpr std::uint32_t B9_SPOT_DIRECTION = 720;
constexpr std::uint32_t B9_SPOT_COLOR = 800;
constexpr std::uint32_t B9_SPOT_ATTENUATION = 880;
constexpr std::uint32_t B9_SPOT_CONE = 960;
constexpr std::uint32_t B9_SPOT_SHADOW_BIAS = 1040;
constexpr std::uint32_t B9_OMNI_COLOR = 1120; // float4[25] each
constexpr std::uint32_t B9_OMNI_ATTENUATION = 1520;
constexpr std::uint32_t B9_OMNI_POSITION = 1920;
constexpr std::uint32_t B9_OMNI_SECOND_POINT = 2320;
constexpr std::uint32_t B9_OMNI_KIND = 2720;          // uint4[25]
constexpr std::uint32_t B9_INDEXED_PARAMETERS = 3120; // float4[4]
constexpr std::uint32_t B9_CUBE_VECTORS = 3184;       // float4[8]
constexpr std::uint32_t B9_CUBE_VALUES = 3312;        // float4[8], value in x
constexpr std::uint32_t B9_CUBE_FLAGS = 3440;         // uint4[8], 0 or 1 in x
constexpr std::uint32_t B9_SIZE = 3568;

// b10: object and frame.
constexpr std::uint32_t B10_OBJECT_MATRIX_0 = 0;
constexpr std::uint32_t B10_OBJECT_MATRIX_1 = 64;
constexpr std::uint32_t B10_WORLD_MATRIX = 128;
constexpr std::uint32_t B10_WORLD_VIEW_PROJECTION = 192;
constexpr std::uint32_t B10_CAMERA_POSITION = 256;
constexpr std::uint32_t B10_FRAME_VECTOR_1 = 272;
constexpr std::uint32_t B10_FRAME_COLOR_0 = 288;
constexpr std::uint32_t B10_FRAME_RANGE = 304;
constexpr std::uint32_t B10_FRAME_VECTOR_2 = 320;
constexpr std::uint32_t B10_FRAME_COLOR_1 = 336;
constexpr std::uint32_t B10_FRAME_SCALAR = 348;
constexpr std::uint32_t B10_AMBIENT_LIGHT_COLOR = 352;
constexpr std::uint32_t B10_SIZE = 368;

// b11: matrix array.
constexpr std::uint32_t B11_SIZE = 12800;

// b12: vector array, then the number of vectors.
constexpr std::uint32_t B12_NUM_VECTORS = 128;
constexpr std::uint32_t B12_SIZE = 144;

static_assert(B8_SIZE == MAX_BONE_MATRICES * 64 && B11_SIZE == MAX_MATRICES * 64);
static_assert(B9_CUBE_FLAGS + MAX_CUBE_MAPS * 16 == B9_SIZE);
static_assert(B10_AMBIENT_LIGHT_COLOR + 16 == B10_SIZE);

} // namespace KR_ShaderCoreLayouts
