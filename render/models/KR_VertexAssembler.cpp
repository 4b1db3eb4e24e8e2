#include "render/models/KR_VertexAssembler.h"

#include <cstring>

namespace
{

void CopyOrZero(std::uint8_t* pDest, const float* pSource, std::uint32_t uiFloats)
{
    if (pSource != nullptr)
        std::memcpy(pDest, pSource, uiFloats * sizeof(float));
    else
        std::memset(pDest, 0, uiFloats * sizeof(float));
}

} // namespace

void KR_VertexAssembler::SelectVertexFormat(bool bUV1, bool bUV2, bool bUV3, bool bUV4, bool bNormal,
                                            bool bTangent, bool bSkinned)
{
    const std::int32_t iFormatId =
        KR_VertexFormat::SelectFormatId(bUV1, bUV2, bUV3, bUV4, bNormal, bTangent, bSkinned);
    KR_VertexFormat::KR_VertexFormatInfo info{};
    KR_VertexFormat::GetFormatInfo(iFormatId, &info);
    if (iFormatId != m_iFormatId && m_iFormatId != KR_VertexFormat::NO_FORMAT)
    {
        // Records of another stride cannot stay in the arrays.
        m_vVertices.clear();
        m_vTempVertices.clear();
        m_vBuckets.clear();
    }
    m_iFormatId = iFormatId;
    m_uiStride = info.uiStride;
    m_uiMask = info.uiMask;
}

std::uint32_t KR_VertexAssembler::GetVertexCount() const
{
    return m_uiStride == 0 ? 0 : static_cast<std::uint32_t>(m_vVertices.size() / m_uiStride);
}

const std::uint8_t* KR_VertexAssembler::GetVertex(std::uint32_t uiIndex) const
{
    return uiIndex < GetVertexCount() ? m_vVertices.data() + std::size_t{uiIndex} * m_uiStride : nullptr;
}

bool KR_VertexAssembler::GetVertexPosition(std::uint32_t uiIndex, float pPosition[3]) const
{
    const std::uint8_t* pVertex = GetVertex(uiIndex);
    if (pVertex == nullptr)
        return false;
    std::memcpy(pPosition, pVertex, KR_VertexFormat::POSITION_SIZE);
    return true;
}

std::uint32_t KR_VertexAssembler::GetTempVertexCount() const
{
    return m_uiStride == 0 ? 0 : static_cast<std::uint32_t>(m_vTempVertices.size() / m_uiStride);
}

const std::uint8_t* KR_VertexAssembler::GetTempVertex(std::uint32_t uiIndex) const
{
    return uiIndex < GetTempVertexCount() ? m_vTempVertices.data() + std::size_t{uiIndex} * m_uiStride
                                          : nullptr;
}

std::uint8_t* KR_VertexAssembler::TempVertex(std::uint32_t uiIndex)
{
    return uiIndex < GetTempVertexCount() ? m_vTempVertices.data() + std::size_t{uiIndex} * m_uiStride
                                          : nullptr;
}

void KR_VertexAssembler::AddTempVertex(const float pPosition[3], const float pUV1[2], const float pUV2[2],
                                       const float pUV3[2], const float pUV4[2], const float pNormal[3],
                                       const KR_SkinRecord& skin)
{
    using namespace KR_VertexFormat;
    if (m_uiStride == 0)
        return;
    const std::size_t uiStart = m_vTempVertices.size();
    m_vTempVertices.resize(uiStart + m_uiStride);
    std::uint8_t* pVertex = m_vTempVertices.data() + uiStart;
    std::uint8_t* pOut = pVertex;
    CopyOrZero(pOut, pPosition, 3);
    pOut += POSITION_SIZE;
    if ((m_uiMask & MASK_NORMAL) != 0)
    {
        CopyOrZero(pOut, pNormal, 3);
        pOut += NORMAL_SIZE;
    }
    if ((m_uiMask & MASK_TANGENT) != 0)
    {
        CopyOrZero(pOut, nullptr, 3);
        pOut += TANGENT_SIZE;
    }
    const float* aUVs[4] = {pUV1, pUV2, pUV3, pUV4};
    for (std::uint32_t uiSet = 0; uiSet < 4; ++uiSet)
    {
        if ((m_uiMask & (MASK_UV1 << uiSet)) == 0)
            continue;
        CopyOrZero(pOut, aUVs[uiSet], 2);
        pOut += UV_SIZE;
    }
    if ((m_uiMask & MASK_SKINNED) != 0)
        std::memcpy(pOut, &skin, SKIN_SIZE);
}

bool KR_VertexAssembler::GetPosUV1NormalFromCurrentTempVertex(std::uint32_t uiIndex, float pPosition[3],
                                                              float pUV1[2], float pNormal[3]) const
{
    using namespace KR_VertexFormat;
    const std::uint8_t* pVertex = GetTempVertex(uiIndex);
    if (pVertex == nullptr || (m_uiMask & MASK_TANGENT) == 0)
        return false;
    std::memcpy(pPosition, pVertex, POSITION_SIZE);
    std::memcpy(pNormal, pVertex + ComponentOffset(m_uiMask, MASK_NORMAL), NORMAL_SIZE);
    std::memcpy(pUV1, pVertex + ComponentOffset(m_uiMask, MASK_UV1), UV_SIZE);
    return true;
}

void KR_VertexAssembler::SetTangentOnCurrentTempVertex(std::uint32_t uiIndex, const float pTangent[3])
{
    using namespace KR_VertexFormat;
    std::uint8_t* pVertex = TempVertex(uiIndex);
    if (pVertex != nullptr && (m_uiMask & MASK_TANGENT) != 0 && pTangent != nullptr)
        std::memcpy(pVertex + ComponentOffset(m_uiMask, MASK_TANGENT), pTangent, TANGENT_SIZE);
}

std::uint32_t KR_VertexAssembler::AddVertex(const void* pVertex)
{
    if (m_uiStride == 0 || pVertex == nullptr)
        return 0xFFFFFFFFu;
    const std::uint32_t uiIndex = GetVertexCount();
    const std::uint8_t* pBytes = static_cast<const std::uint8_t*>(pVertex);
    m_vVertices.insert(m_vVertices.end(), pBytes, pBytes + m_uiStride);
    return uiIndex;
}

std::uint32_t KR_VertexAssembler::AddUniqueVertex(std::uint32_t uiPositionIndex, const void* pVertex)
{
    if (m_uiStride == 0 || pVertex == nullptr)
        return 0xFFFFFFFFu;
    if (uiPositionIndex < m_vBuckets.size())
    {
        for (std::uint32_t uiCandidate : m_vBuckets[uiPositionIndex])
            if (std::memcmp(GetVertex(uiCandidate), pVertex, m_uiStride) == 0)
                return uiCandidate;
    }
    else
    {
        m_vBuckets.resize(std::size_t{uiPositionIndex} + 1);
    }
    const std::uint32_t uiIndex = AddVertex(pVertex);
    m_vBuckets[uiPositionIndex].push_back(uiIndex);
    return uiIndex;
}

void KR_VertexAssembler::ClearTempVertices()
{
    m_vTempVertices.clear();
}

void KR_VertexAssembler::ClearMeshVertices()
{
    m_iFormatId = KR_VertexFormat::NO_FORMAT;
    m_uiStride = 0;
    std::vector<std::uint8_t>().swap(m_vVertices);
    std::vector<std::uint8_t>().swap(m_vTempVertices);
    std::vector<std::vector<std::uint32_t>>().swap(m_vBuckets);
}
