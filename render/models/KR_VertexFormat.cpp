#include "render/models/KR_VertexFormat.h"

namespace KR_VertexFormat
{

namespace
{

// Masks by id; the strides follow from them.
constexpr std::uint8_t FORMAT_MASKS[NUM_FORMATS] = {
    0xFF, 0xBF, 0x9F, 0x8F, 0xFB, 0xBB, 0x9B, 0x8B, 0xF9, 0xB9, 0x99, 0x89, 0x83, 0x81,
    0x7F, 0x3F, 0x1F, 0x0F, 0x7B, 0x3B, 0x1B, 0x0B, 0x03, 0x79, 0x39, 0x19, 0x09, 0x01};

// Ids by number of UV sets (0 to 4).
constexpr std::int32_t TANGENT_IDS[2][5] = {{-1, 17, 16, 15, 14}, {-1, 3, 2, 1, 0}};
constexpr std::int32_t NORMAL_IDS[2][5] = {{22, 21, 20, 19, 18}, {12, 7, 6, 5, 4}};
constexpr std::int32_t PLAIN_IDS[2][5] = {{27, 26, 25, 24, 23}, {13, 11, 10, 9, 8}};

constexpr std::uint32_t ComponentSize(std::uint8_t uiComponent)
{
    switch (uiComponent)
    {
    case MASK_POSITION:
        return POSITION_SIZE;
    case MASK_NORMAL:
        return NORMAL_SIZE;
    case MASK_TANGENT:
        return TANGENT_SIZE;
    case MASK_SKINNED:
        return SKIN_SIZE;
    default:
        return UV_SIZE;
    }
}

} // namespace

bool GetFormatInfo(std::int32_t iFormatId, KR_VertexFormatInfo* pInfo)
{
    if (iFormatId < 0 || iFormatId >= static_cast<std::int32_t>(NUM_FORMATS) || pInfo == nullptr)
        return false;
    pInfo->uiMask = FORMAT_MASKS[iFormatId];
    pInfo->uiStride = StrideOfMask(pInfo->uiMask);
    return true;
}

std::int32_t SelectFormatId(bool bUV1, bool bUV2, bool bUV3, bool bUV4, bool bNormal, bool bTangent,
                            bool bSkinned)
{
    const int iUVSets = !bUV1 ? 0 : !bUV2 ? 1 : !bUV3 ? 2 : !bUV4 ? 3 : 4;
    const int iSkin = bSkinned ? 1 : 0;
    if (bTangent && bNormal && bUV1)
        return TANGENT_IDS[iSkin][iUVSets];
    if (bNormal)
        return NORMAL_IDS[iSkin][iUVSets];
    return PLAIN_IDS[iSkin][iUVSets];
}

bool IsValidMask(std::uint8_t uiMask)
{
    for (std::uint8_t uiFormatMask : FORMAT_MASKS)
        if (uiFormatMask == uiMask)
            return true;
    return false;
}

std::uint32_t StrideOfMask(std::uint8_t uiMask)
{
    std::uint32_t uiStride = 0;
    for (std::uint32_t uiBit = 0; uiBit < 8; ++uiBit)
    {
        const std::uint8_t uiComponent = static_cast<std::uint8_t>(1u << uiBit);
        if ((uiMask & uiComponent) != 0)
            uiStride += ComponentSize(uiComponent);
    }
    return uiStride;
}

std::int32_t ComponentOffset(std::uint8_t uiMask, std::uint8_t uiComponent)
{
    if ((uiMask & uiComponent) == 0)
        return -1;
    // Components lie in bit order, so the offset is the size of the lower bits present.
    return static_cast<std::int32_t>(StrideOfMask(static_cast<std::uint8_t>(uiMask & (uiComponent - 1u))));
}

} // namespace KR_VertexFormat
