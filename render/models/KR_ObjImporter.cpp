#include "render/models/KR_ObjImporter.h"

#include "framework/app/KE_EngineMembers.h"
#include "framework/files/KF_FileManager.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/models/KR_BoundingBox.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshResourceDX11.h"
#include "render/models/KR_ModelResourceDX11.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string_view>

using namespace DirectX;

namespace
{

static_assert(sizeof(KR_ObjImporter::TangentVertex) == 44, "the corner is the 44-byte vertex");

// After each line's key and values, at most this many characters are skipped to reach the next
// line; the rest of a longer line is read as keys.
constexpr std::size_t LINE_SKIP = 1000;
constexpr std::uint32_t PLAIN_STRIDE = 32;
// Material 0, in use until the first "usemtl" line.
constexpr std::string_view DEFAULT_MATERIAL = "DefaultMaterial";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

void SkipSpace(const char** ppCursor, const char* pEnd)
{
    const char* p = *ppCursor;
    while (p != pEnd && IsSpace(*p))
        ++p;
    *ppCursor = p;
}

// The next whitespace-delimited word (line ends are whitespace too); false at the end of the text.
bool ReadWord(const char** ppCursor, const char* pEnd, std::string_view* pWord)
{
    SkipSpace(ppCursor, pEnd);
    const char* pStart = *ppCursor;
    const char* p = pStart;
    while (p != pEnd && !IsSpace(*p))
        ++p;
    *ppCursor = p;
    *pWord = std::string_view(pStart, static_cast<std::size_t>(p - pStart));
    return p != pStart;
}

// Skips at most LINE_SKIP characters, stopping after the first newline.
void SkipLine(const char** ppCursor, const char* pEnd)
{
    const char* p = *ppCursor;
    const std::size_t uiLeft = static_cast<std::size_t>(pEnd - p);
    const std::size_t uiSpan = uiLeft < LINE_SKIP ? uiLeft : LINE_SKIP;
    const void* pNewline = std::memchr(p, '\n', uiSpan);
    *ppCursor = pNewline != nullptr ? static_cast<const char*>(pNewline) + 1 : p + uiSpan;
}

// Whether a decimal number too large or too small for a float (the digits between pDigits and
// pEnd, exponent included, no sign) is too large: the decimal exponent of its first significant
// digit decides, the two sides being dozens of powers of ten apart.
bool IsTooLarge(const char* pDigits, const char* pEnd)
{
    std::int64_t iLead = 0; // power of ten of the first significant digit, plus one
    bool bFound = false;
    bool bFraction = false;
    const char* p = pDigits;
    for (; p != pEnd && *p != 'e' && *p != 'E'; ++p)
    {
        if (*p == '.')
        {
            bFraction = true;
            continue;
        }
        if (!bFound && *p != '0')
            bFound = true;
        if (!bFraction && bFound)
            ++iLead;
        else if (bFraction && !bFound)
            --iLead;
    }
    std::int64_t iExponent = 0;
    if (p != pEnd)
    {
        ++p;
        bool bNegative = false;
        if (*p == '+' || *p == '-')
            bNegative = *p++ == '-';
        for (; p != pEnd; ++p)
            if (iExponent < 1000000)
                iExponent = iExponent * 10 + (*p - '0');
        if (bNegative)
            iExponent = -iExponent;
    }
    return iLead + iExponent > 0;
}

// A float as a stream in the "C" locale reads it: leading whitespace (line ends included) is
// skipped, then [+-]digits[.digits][(e|E)[+-]digits] with at least one mantissa digit. False,
// with the cursor where the number would have begun, for anything else or a value beyond the
// float range; a value below it reads as zero.
bool ReadFloat(const char** ppCursor, const char* pEnd, float* pValue)
{
    SkipSpace(ppCursor, pEnd);
    const char* p = *ppCursor;
    bool bNegative = false;
    if (p != pEnd && (*p == '+' || *p == '-'))
        bNegative = *p++ == '-';
    const char* pDigits = p;
    std::size_t uiDigits = 0;
    for (; p != pEnd && IsDigit(*p); ++p)
        ++uiDigits;
    if (p != pEnd && *p == '.')
        for (++p; p != pEnd && IsDigit(*p); ++p)
            ++uiDigits;
    if (uiDigits == 0)
        return false;
    if (p != pEnd && (*p == 'e' || *p == 'E'))
    {
        ++p;
        if (p != pEnd && (*p == '+' || *p == '-'))
            ++p;
        const char* pExponent = p;
        while (p != pEnd && IsDigit(*p))
            ++p;
        if (p == pExponent)
            return false;
    }
    float fValue = 0.0f;
    const std::from_chars_result result = std::from_chars(pDigits, p, fValue, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
    {
        if (IsTooLarge(pDigits, p))
            return false;
        fValue = 0.0f;
    }
    else if (result.ec != std::errc() || result.ptr != p)
    {
        return false;
    }
    *pValue = bNegative ? -fValue : fValue;
    *ppCursor = p;
    return true;
}

// A decimal index right at the cursor: an optional sign and digits (saturating far above any
// count). False, moving nothing, when there are no digits.
bool ReadIndex(const char** ppCursor, const char* pEnd, bool* pNegative, std::uint64_t* pValue)
{
    const char* p = *ppCursor;
    bool bNegative = false;
    if (p != pEnd && (*p == '+' || *p == '-'))
        bNegative = *p++ == '-';
    const char* pDigits = p;
    std::uint64_t uiValue = 0;
    for (; p != pEnd && IsDigit(*p); ++p)
        if (uiValue < (std::uint64_t{1} << 40))
            uiValue = uiValue * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p == pDigits)
        return false;
    *pNegative = bNegative;
    *pValue = uiValue;
    *ppCursor = p;
    return true;
}

// Whether a 1-based index names one of uiCount values.
bool IsValidIndex(bool bNegative, std::uint64_t uiIndex, std::size_t uiCount)
{
    return !bNegative && uiIndex >= 1 && uiIndex <= uiCount;
}

} // namespace

KR_ModelResource* KR_ObjImporter::Import(const KB_String& sPath, std::uint8_t uiGenerateTangents,
                                         std::uint8_t uiComputeBoundingBox, std::uint8_t uiComputeCenter)
{
    KR_ObjImporter importer;
    return importer.ImportModel(sPath, uiGenerateTangents, uiComputeBoundingBox, uiComputeCenter);
}

KR_ModelResourceDX11* KR_ObjImporter::ImportModel(const KB_String& sPath, std::uint8_t uiGenerateTangents,
                                                  std::uint8_t uiComputeBoundingBox,
                                                  std::uint8_t uiComputeCenter)
{
    KR_ModelResourceDX11* pModel = nullptr;
    if (ParseFile(sPath, uiGenerateTangents))
        pModel = BuildModel(uiComputeBoundingBox != 0, uiComputeCenter != 0);
    Reset();
    return pModel;
}

KR_ModelResourceDX11* KR_ObjImporter::ImportText(const char* pText, std::uint64_t uiSize,
                                                 std::uint8_t uiGenerateTangents,
                                                 std::uint8_t uiComputeBoundingBox,
                                                 std::uint8_t uiComputeCenter)
{
    KR_ModelResourceDX11* pModel = nullptr;
    if (ParseText(pText, uiSize, uiGenerateTangents))
        pModel = BuildModel(uiComputeBoundingBox != 0, uiComputeCenter != 0);
    Reset();
    return pModel;
}

bool KR_ObjImporter::ParseFile(const KB_String& sPath, std::uint8_t uiGenerateTangents)
{
    Reset();
    KF_FileManager* pFiles = KE_GetFileManager();
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (pFiles == nullptr || !pFiles->ReadFile(sPath, &uiSize, &pData))
        return false;
    // The file manager's bytes are read in place, so the reference is held until the parse is done.
    const bool bParsed = ParseText(reinterpret_cast<const char*>(pData), uiSize, uiGenerateTangents);
    pFiles->RemoveReference(sPath);
    return bParsed;
}

bool KR_ObjImporter::ParseText(const char* pText, std::uint64_t uiSize, std::uint8_t uiGenerateTangents)
{
    Reset();
    if (pText == nullptr)
        uiSize = 0;
    const void* pNul = uiSize != 0 ? std::memchr(pText, 0, uiSize) : nullptr;
    const char* pEnd = pNul != nullptr ? static_cast<const char*>(pNul) : pText + uiSize;
    try
    {
        return Parse(pText, pEnd, uiGenerateTangents != 0);
    }
    catch (const std::bad_alloc&)
    {
        Reset();
        return false;
    }
}

bool KR_ObjImporter::Parse(const char* pText, const char* pEnd, bool bTangents)
{
    m_oVertices.SelectVertexFormat(true, false, false, false, true, bTangents, false);
    UseMaterial(DEFAULT_MATERIAL.data(), DEFAULT_MATERIAL.size());
    const char* p = pText;
    std::string_view key;
    // A malformed number or name ends the parse; what was read before it stays.
    while (ReadWord(&p, pEnd, &key))
    {
        if (key == "v" || key == "vn")
        {
            float fX = 0.0f;
            float fY = 0.0f;
            float fZ = 0.0f;
            if (!ReadFloat(&p, pEnd, &fX) || !ReadFloat(&p, pEnd, &fY) || !ReadFloat(&p, pEnd, &fZ))
                break;
            std::vector<float>& vTarget = key == "v" ? m_vPositions : m_vNormals;
            vTarget.insert(vTarget.end(), {fX, fY, -fZ});
        }
        else if (key == "vt")
        {
            float fU = 0.0f;
            float fV = 0.0f;
            if (!ReadFloat(&p, pEnd, &fU) || !ReadFloat(&p, pEnd, &fV))
                break;
            m_vTexCoords.insert(m_vTexCoords.end(), {fU, 1.0f - fV});
        }
        else if (key == "usemtl")
        {
            std::string_view name;
            if (!ReadWord(&p, pEnd, &name))
                break;
            UseMaterial(name.data(), name.size());
        }
        else if (key == "f")
        {
            const FaceResult result = ReadFace(&p, pEnd);
            if (result == FaceResult::BadIndex)
                return false;
            if (result == FaceResult::EndParse)
                break;
            AddFace(bTangents);
        }
        // "#" and every other key: nothing more is read from the line.
        SkipLine(&p, pEnd);
    }
    return true;
}

KR_ObjImporter::FaceResult KR_ObjImporter::ReadFace(const char** ppCursor, const char* pEnd)
{
    m_vCorners.clear();
    m_vCornerPositions.clear();
    const char* p = *ppCursor;
    for (;;)
    {
        // A carriage return before the line end belongs to the line end.
        if (p != pEnd && *p == '\r' && (p + 1 == pEnd || p[1] == '\n'))
            ++p;
        if (p == pEnd || *p == '\n')
            break;
        while (p != pEnd && *p != '\n' && IsSpace(*p))
            ++p;
        if (p == pEnd || *p == '\n')
            break;
        TangentVertex corner{};
        bool bNegative = false;
        std::uint64_t uiIndex = 0;
        if (!ReadIndex(&p, pEnd, &bNegative, &uiIndex))
            return FaceResult::EndParse;
        if (!IsValidIndex(bNegative, uiIndex, m_vPositions.size() / 3))
            return FaceResult::BadIndex;
        const std::uint32_t uiPosition = static_cast<std::uint32_t>(uiIndex - 1);
        std::memcpy(corner.fPosition, &m_vPositions[std::size_t{uiPosition} * 3], sizeof(corner.fPosition));
        if (p != pEnd && *p == '/')
        {
            ++p;
            if (p == pEnd || *p != '/')
            {
                if (!ReadIndex(&p, pEnd, &bNegative, &uiIndex))
                    return FaceResult::EndParse;
                if (!IsValidIndex(bNegative, uiIndex, m_vTexCoords.size() / 2))
                    return FaceResult::BadIndex;
                std::memcpy(corner.fUV, &m_vTexCoords[(uiIndex - 1) * 2], sizeof(corner.fUV));
            }
            if (p != pEnd && *p == '/')
            {
                ++p;
                if (!ReadIndex(&p, pEnd, &bNegative, &uiIndex))
                    return FaceResult::EndParse;
                if (!IsValidIndex(bNegative, uiIndex, m_vNormals.size() / 3))
                    return FaceResult::BadIndex;
                std::memcpy(corner.fNormal, &m_vNormals[(uiIndex - 1) * 3], sizeof(corner.fNormal));
            }
        }
        m_vCorners.push_back(corner);
        m_vCornerPositions.push_back(uiPosition);
        // Whatever follows the corner up to the next space belongs to it; then the spaces go.
        while (p != pEnd && *p != ' ' && *p != '\n')
            ++p;
        while (p != pEnd && *p == ' ')
            ++p;
    }
    *ppCursor = p;
    return FaceResult::Read;
}

void KR_ObjImporter::AddFace(bool bTangents)
{
    const std::size_t uiCorners = m_vCorners.size();
    for (std::size_t k = 2; k < uiCorners; ++k)
    {
        const std::size_t aCorners[3] = {0, k - 1, k};
        if (bTangents)
        {
            TangentVertex aTriangle[3] = {m_vCorners[0], m_vCorners[k - 1], m_vCorners[k]};
            ComputeTangents(&aTriangle[0], &aTriangle[1], &aTriangle[2]);
            for (int i = 0; i < 3; ++i)
                m_vIndices.push_back(
                    m_oVertices.AddUniqueVertex(m_vCornerPositions[aCorners[i]], &aTriangle[i]));
        }
        else
        {
            for (const std::size_t uiCorner : aCorners)
            {
                const TangentVertex& corner = m_vCorners[uiCorner];
                float aVertex[PLAIN_STRIDE / sizeof(float)];
                std::memcpy(aVertex, corner.fPosition, sizeof(corner.fPosition));
                std::memcpy(aVertex + 3, corner.fNormal, sizeof(corner.fNormal));
                std::memcpy(aVertex + 6, corner.fUV, sizeof(corner.fUV));
                m_vIndices.push_back(m_oVertices.AddUniqueVertex(m_vCornerPositions[uiCorner], aVertex));
            }
        }
        m_vAttributeIds.push_back(m_uiMaterial);
    }
}

void KR_ObjImporter::UseMaterial(const char* pName, std::uint64_t uiLength)
{
    std::string sName(pName, uiLength);
    const auto found = m_mapMaterialIndices.find(sName);
    if (found != m_mapMaterialIndices.end())
    {
        m_uiMaterial = found->second;
        return;
    }
    KB_String sCopy(uiLength);
    if (uiLength != 0)
        std::memcpy(sCopy.GetBuffer(), pName, uiLength);
    m_uiMaterial = m_gMaterialNames.GetNumMembers();
    m_gMaterialNames.Add(sCopy);
    m_mapMaterialIndices.emplace(std::move(sName), m_uiMaterial);
}

void KR_ObjImporter::ComputeTangents(TangentVertex* pA, TangentVertex* pB, TangentVertex* pC)
{
    TangentVertex* const corners[3] = {pA, pB, pC};
    float positions[3][3];
    float uvs[3][2];
    float normals[3][3];
    for (int i = 0; i < 3; ++i)
    {
        std::memcpy(positions[i], corners[i]->fPosition, sizeof(positions[i]));
        std::memcpy(uvs[i], corners[i]->fUV, sizeof(uvs[i]));
        std::memcpy(normals[i], corners[i]->fNormal, sizeof(normals[i]));
    }
    float tangents[3][3];
    KR_VertexAssembler::ComputeTriangleTangents(positions, uvs, normals, tangents);
    for (int i = 0; i < 3; ++i)
        std::memcpy(corners[i]->fTangent, tangents[i], sizeof(tangents[i]));
}

void KR_ObjImporter::Reset()
{
    m_oVertices.ClearMeshVertices();
    std::vector<std::uint32_t>().swap(m_vIndices);
    std::vector<std::uint32_t>().swap(m_vAttributeIds);
    m_gMaterialNames.RemoveAll();
    m_mapMaterialIndices.clear();
    m_uiMaterial = 0;
    std::vector<float>().swap(m_vPositions);
    std::vector<float>().swap(m_vTexCoords);
    std::vector<float>().swap(m_vNormals);
    m_vCorners.clear();
    m_vCornerPositions.clear();
}

KR_ModelResourceDX11* KR_ObjImporter::BuildModel(bool bComputeBoundingBox, bool bComputeCenter)
{
    try
    {
        return MakeModel(bComputeBoundingBox, bComputeCenter);
    }
    catch (const std::bad_alloc&)
    {
        return nullptr; // whatever was made is owned by a unique_ptr or a node and gone again
    }
}

KR_ModelResourceDX11* KR_ObjImporter::MakeModel(bool bComputeBoundingBox, bool bComputeCenter)
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    const std::uint32_t uiStride = m_oVertices.GetVertexStride();
    const std::uint32_t uiVertexCount = m_oVertices.GetVertexCount();
    const std::size_t uiTriangles = m_vAttributeIds.size();
    if (pResources == nullptr || uiTriangles > UINT32_MAX)
        return nullptr;
    std::unique_ptr<KR_MeshDX11> pMesh(
        pResources->CreateMesh(uiStride, uiVertexCount, static_cast<std::uint32_t>(uiTriangles)));
    if (pMesh == nullptr)
        return nullptr;

    // Centre and box are of the unique vertices, as (x, y, z, 0).
    KR_BoundingBox box;
    double aSum[3] = {0.0, 0.0, 0.0};
    for (std::uint32_t i = 0; i < uiVertexCount; ++i)
    {
        float aPosition[3];
        m_oVertices.GetVertexPosition(i, aPosition);
        for (int j = 0; j < 3; ++j)
            aSum[j] += aPosition[j];
        box.ExtendByPoint(XMVectorSet(aPosition[0], aPosition[1], aPosition[2], 0.0f));
    }
    XMVECTOR vCenter = XMVectorZero();
    if (uiVertexCount != 0)
        vCenter = XMVectorSet(static_cast<float>(aSum[0] / uiVertexCount),
                              static_cast<float>(aSum[1] / uiVertexCount),
                              static_cast<float>(aSum[2] / uiVertexCount), 0.0f);

    pMesh->SetVertices(m_oVertices.GetVertex(0));
    pMesh->SetIndices(m_vIndices.data());
    pMesh->SetAttributes(m_vAttributeIds.data());
    if (!pMesh->BuildSubsets() || !pMesh->CreateBuffers())
        return nullptr;
    std::unique_ptr<KR_MeshResourceDX11> pNode(new (std::nothrow) KR_MeshResourceDX11(
        pMesh.get(), m_gMaterialNames, nullptr, nullptr, m_oVertices.GetComponentMask()));
    if (pNode == nullptr)
        return nullptr;
    pMesh.release(); // the node's
    if (bComputeCenter)
        pNode->SetCenter(vCenter);
    if (bComputeBoundingBox)
        pNode->SetBoundingBox(&box);
    KB_GrowingArray<KR_MeshResource*> gNodes;
    gNodes.Add(pNode.get());
    KR_ModelResourceDX11* pModel = new (std::nothrow) KR_ModelResourceDX11(gNodes);
    if (pModel != nullptr)
        pNode.release(); // the model's
    return pModel;
}
