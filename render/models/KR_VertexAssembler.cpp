#include "render/models/KR_VertexAssembler.h"

#include <atomic>
#include <cmath>
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

std::uint64_t Mix(std::uint64_t x)
{
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return x;
}

} // namespace

KR_VertexAssembler::KR_VertexAssembler()
{
    static std::atomic<std::uint64_t> s_uiAssemblers{0};
    m_uiSeed = Mix(s_uiAssemblers.fetch_add(1) ^ reinterpret_cast<std::uintptr_t>(this));
}

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
        ClearTable();
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

void KR_VertexAssembler::ComputeTriangleTangents(const float aPositions[3][3], const float aUVs[3][2],
                                                 const float aNormals[3][3], float aTangents[3][3])
{
    const float fS1 = aUVs[1][0] - aUVs[0][0];
    const float fT1 = aUVs[1][1] - aUVs[0][1];
    const float fS2 = aUVs[2][0] - aUVs[0][0];
    const float fT2 = aUVs[2][1] - aUVs[0][1];
    // Texture coordinates without area (or so little that 1/determinant overflows) give no
    // direction: a zero tangent, not infinities.
    const float fDeterminant = fS1 * fT2 - fS2 * fT1;
    const float fR = fDeterminant != 0.0f ? 1.0f / fDeterminant : 0.0f;
    float tangent[3] = {0.0f, 0.0f, 0.0f};
    for (int j = 0; j < 3 && std::isfinite(fR); ++j)
    {
        const float fE1 = aPositions[1][j] - aPositions[0][j];
        const float fE2 = aPositions[2][j] - aPositions[0][j];
        tangent[j] = (fE1 * fT2 - fE2 * fT1) * fR;
    }
    for (int i = 0; i < 3; ++i)
    {
        const float* pN = aNormals[i];
        const float fDot = pN[0] * tangent[0] + pN[1] * tangent[1] + pN[2] * tangent[2];
        float orthogonal[3];
        for (int j = 0; j < 3; ++j)
            orthogonal[j] = tangent[j] - fDot * pN[j];
        // The length in double cannot overflow; a zero vector stays zero and an infinite one
        // gives NaN.
        const double fLengthSq = double{orthogonal[0]} * orthogonal[0] +
                                 double{orthogonal[1]} * orthogonal[1] +
                                 double{orthogonal[2]} * orthogonal[2];
        const double fInverse = fLengthSq > 0.0 ? 1.0 / std::sqrt(fLengthSq) : 0.0;
        // Adding +0 turns -0 into +0.
        for (int j = 0; j < 3; ++j)
            aTangents[i][j] = static_cast<float>(orthogonal[j] * fInverse) + 0.0f;
    }
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

std::uint64_t KR_VertexAssembler::HashVertex(std::uint32_t uiPositionIndex, const std::uint8_t* pVertex) const
{
    // Every stride is a multiple of 4 bytes.
    std::uint64_t uiHash = Mix(m_uiSeed ^ uiPositionIndex);
    std::uint32_t uiOffset = 0;
    for (; uiOffset + 8 <= m_uiStride; uiOffset += 8)
    {
        std::uint64_t uiWord = 0;
        std::memcpy(&uiWord, pVertex + uiOffset, 8);
        uiHash = Mix(uiHash ^ uiWord);
    }
    if (uiOffset < m_uiStride)
    {
        std::uint32_t uiWord = 0;
        std::memcpy(&uiWord, pVertex + uiOffset, 4);
        uiHash = Mix(uiHash ^ (std::uint64_t{uiWord} << 1));
    }
    return uiHash;
}

void KR_VertexAssembler::GrowTable()
{
    std::vector<Slot> vOld;
    vOld.swap(m_vTable);
    m_vTable.assign(vOld.empty() ? 16 : 2 * vOld.size(), Slot{0, EMPTY_SLOT, 0});
    const std::size_t uiMask = m_vTable.size() - 1;
    for (const Slot& slot : vOld)
    {
        if (slot.uiVertex == EMPTY_SLOT)
            continue;
        std::size_t i = slot.uiHash & uiMask;
        while (m_vTable[i].uiVertex != EMPTY_SLOT)
            i = (i + 1) & uiMask;
        m_vTable[i] = slot;
    }
}

void KR_VertexAssembler::ClearTable()
{
    std::vector<Slot>().swap(m_vTable);
    m_uiTableEntries = 0;
}

std::uint32_t KR_VertexAssembler::AddUniqueVertex(std::uint32_t uiPositionIndex, const void* pVertex)
{
    if (m_uiStride == 0 || pVertex == nullptr)
        return 0xFFFFFFFFu;
    const std::uint8_t* pBytes = static_cast<const std::uint8_t*>(pVertex);
    if (uiPositionIndex >= m_vBuckets.size())
        m_vBuckets.resize(std::size_t{uiPositionIndex} + 1);
    std::vector<std::uint32_t>& vBucket = m_vBuckets[uiPositionIndex];
    for (std::uint32_t uiCandidate : vBucket)
        if (std::memcmp(GetVertex(uiCandidate), pBytes, m_uiStride) == 0)
            return uiCandidate;
    if (vBucket.size() < BUCKET_LIMIT)
    {
        const std::uint32_t uiIndex = AddVertex(pBytes);
        vBucket.push_back(uiIndex);
        return uiIndex;
    }

    // A full bucket: the rest of this position's vertices are hashed.
    if (2 * (std::size_t{m_uiTableEntries} + 1) > m_vTable.size())
        GrowTable();
    const std::uint64_t uiHash = HashVertex(uiPositionIndex, pBytes);
    const std::size_t uiMask = m_vTable.size() - 1;
    std::size_t i = uiHash & uiMask;
    for (; m_vTable[i].uiVertex != EMPTY_SLOT; i = (i + 1) & uiMask)
    {
        const Slot& slot = m_vTable[i];
        if (slot.uiHash == uiHash && slot.uiPositionIndex == uiPositionIndex &&
            std::memcmp(GetVertex(slot.uiVertex), pBytes, m_uiStride) == 0)
            return slot.uiVertex;
    }
    const std::uint32_t uiIndex = AddVertex(pBytes);
    m_vTable[i] = Slot{uiHash, uiIndex, uiPositionIndex};
    ++m_uiTableEntries;
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
    ClearTable();
}
