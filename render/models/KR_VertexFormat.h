#pragma once
// The 28 vertex formats of the meshes. A vertex is the packed sequence of its components in the
// fixed order position (3 f32), normal (3 f32), tangent (3 f32), UV sets 1 to 4 (2 f32 each) and
// the skin record (4 f32 weights, then 4 u8 bone numbers); its stride is the sum, 12 to 88 bytes.
// The component mask (the engine's vertex-format byte) has bit 0 position, 1 normal, 2 tangent,
// 3 to 6 UV sets 1 to 4 and 7 skinned. The format id is internal to the importers; only the stride
// and the mask leave them. Ids are not in stride order and strides repeat.

#include <cstdint>

namespace KR_VertexFormat
{

constexpr std::uint32_t NUM_FORMATS = 28;
constexpr std::int32_t NO_FORMAT = -1;

constexpr std::uint8_t MASK_POSITION = 0x01;
constexpr std::uint8_t MASK_NORMAL = 0x02;
constexpr std::uint8_t MASK_TANGENT = 0x04;
constexpr std::uint8_t MASK_UV1 = 0x08; // UV set n (1 to 4) is MASK_UV1 << (n - 1)
constexpr std::uint8_t MASK_SKINNED = 0x80;

constexpr std::uint32_t POSITION_SIZE = 12;
constexpr std::uint32_t NORMAL_SIZE = 12;
constexpr std::uint32_t TANGENT_SIZE = 12;
constexpr std::uint32_t UV_SIZE = 8;
constexpr std::uint32_t SKIN_SIZE = 20;

struct KR_VertexFormatInfo
{
    std::uint32_t uiStride;
    std::uint8_t uiMask;
};

// The format of an id; false for an id outside 0 to 27.
bool GetFormatInfo(std::int32_t iFormatId, KR_VertexFormatInfo* pInfo);

// The format for what a document supplies. Precedence: skinned, then tangent, then normal, then
// the number of UV sets in the unbroken run from set 1 (a later set without its predecessors does
// not count). A tangent is only honoured with a normal and UV set 1 (otherwise it is dropped), so
// the format's mask always describes every byte of the vertex and always has an input layout.
std::int32_t SelectFormatId(bool bUV1, bool bUV2, bool bUV3, bool bUV4, bool bNormal, bool bTangent,
                            bool bSkinned);

// Whether the mask is one of the 28 formats' masks.
bool IsValidMask(std::uint8_t uiMask);
// The stride a mask describes (sum of its components' sizes).
std::uint32_t StrideOfMask(std::uint8_t uiMask);
// Byte offset of one component (a single MASK_ bit) inside a vertex of that mask; -1 when the
// mask lacks it.
std::int32_t ComponentOffset(std::uint8_t uiMask, std::uint8_t uiComponent);

} // namespace KR_VertexFormat
