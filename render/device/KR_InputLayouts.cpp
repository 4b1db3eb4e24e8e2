#include "render/device/KR_InputLayouts.h"

#include "render/models/KR_VertexFormat.h"

#include <array>

namespace
{

struct ElementList
{
    std::uint8_t uiMask = 0;
    std::uint32_t uiCount = 0;
    D3D11_INPUT_ELEMENT_DESC aElements[KR_InputLayouts::MAX_ELEMENTS] = {};
};

constexpr std::uint32_t FormatSize(DXGI_FORMAT format)
{
    switch (format)
    {
    case DXGI_FORMAT_R32G32B32A32_FLOAT:
        return 16;
    case DXGI_FORMAT_R32G32B32_FLOAT:
        return 12;
    case DXGI_FORMAT_R32G32_FLOAT:
        return 8;
    default:
        return 4;
    }
}

constexpr void Append(ElementList& list, const char* pName, UINT uiIndex, DXGI_FORMAT format, UINT& uiOffset)
{
    list.aElements[list.uiCount++] = {pName, uiIndex, format, 0, uiOffset, D3D11_INPUT_PER_VERTEX_DATA, 0};
    uiOffset += FormatSize(format);
}

constexpr ElementList MakeList(std::uint8_t uiMask)
{
    using namespace KR_VertexFormat;
    ElementList list;
    list.uiMask = uiMask;
    UINT uiOffset = 0;
    Append(list, "SV_POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, uiOffset);
    if ((uiMask & MASK_NORMAL) != 0)
        Append(list, "NORMAL", 0, DXGI_FORMAT_R32G32B32_FLOAT, uiOffset);
    if ((uiMask & MASK_TANGENT) != 0)
        Append(list, "TANGENT", 0, DXGI_FORMAT_R32G32B32_FLOAT, uiOffset);
    for (UINT uiSet = 0; uiSet < 4; ++uiSet)
        if ((uiMask & (MASK_UV1 << uiSet)) != 0)
            Append(list, "TEXCOORD", uiSet, DXGI_FORMAT_R32G32_FLOAT, uiOffset);
    if ((uiMask & MASK_SKINNED) != 0)
    {
        Append(list, "BONEWEIGHTS", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, uiOffset);
        Append(list, "BONEINDICES", 0, DXGI_FORMAT_R8G8B8A8_UINT, uiOffset);
    }
    return list;
}

// One constant list per vertex format, built at compile time from the format masks.
constexpr std::uint8_t MASKS[KR_VertexFormat::NUM_FORMATS] = {
    0xFF, 0xBF, 0x9F, 0x8F, 0xFB, 0xBB, 0x9B, 0x8B, 0xF9, 0xB9, 0x99, 0x89, 0x83, 0x81,
    0x7F, 0x3F, 0x1F, 0x0F, 0x7B, 0x3B, 0x1B, 0x0B, 0x03, 0x79, 0x39, 0x19, 0x09, 0x01};

constexpr std::array<ElementList, KR_VertexFormat::NUM_FORMATS> MakeLists()
{
    std::array<ElementList, KR_VertexFormat::NUM_FORMATS> lists{};
    for (std::uint32_t i = 0; i < KR_VertexFormat::NUM_FORMATS; ++i)
        lists[i] = MakeList(MASKS[i]);
    return lists;
}

constexpr std::array<ElementList, KR_VertexFormat::NUM_FORMATS> LISTS = MakeLists();

} // namespace

const D3D11_INPUT_ELEMENT_DESC* KR_InputLayouts::GetElements(std::uint8_t uiMask, std::uint32_t* pCount)
{
    for (const ElementList& list : LISTS)
    {
        if (list.uiMask != uiMask)
            continue;
        if (pCount != nullptr)
            *pCount = list.uiCount;
        return list.aElements;
    }
    if (pCount != nullptr)
        *pCount = 0;
    return nullptr;
}

std::uint32_t KR_InputLayouts::GetElementsSize(const D3D11_INPUT_ELEMENT_DESC* pElements,
                                               std::uint32_t uiCount)
{
    if (pElements == nullptr || uiCount == 0)
        return 0;
    const D3D11_INPUT_ELEMENT_DESC& last = pElements[uiCount - 1];
    return last.AlignedByteOffset + FormatSize(last.Format);
}
