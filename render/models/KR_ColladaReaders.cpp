#include "render/models/KR_ColladaReaders.h"

#include <charconv>
#include <cstring>
#include <tinyxml.h>

using namespace DirectX;

namespace KR_ColladaReaders
{

namespace
{

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

const char* SkipSpace(const char* p, const char* pEnd)
{
    while (p < pEnd && IsSpace(*p))
        ++p;
    return p;
}

// One number of the token at p (after white space); false when the token is not a number as a
// whole. Advances p past it.
template <typename T>
bool ReadNumber(const char*& p, const char* pEnd, T& value)
{
    p = SkipSpace(p, pEnd);
    const char* pStart = p;
    // from_chars takes no leading '+', which the document's number forms allow.
    if (pStart < pEnd && *pStart == '+' && pStart + 1 < pEnd && pStart[1] != '-')
        ++pStart;
    const std::from_chars_result result = std::from_chars(pStart, pEnd, value);
    if (result.ec != std::errc() || (result.ptr < pEnd && !IsSpace(*result.ptr)))
        return false;
    p = result.ptr;
    return true;
}

// The capacity to reserve for a declared count: never more than the text could hold (each value
// takes a character and a separator).
std::size_t ReserveFor(std::int64_t iCount, std::size_t uiTextLength)
{
    const std::size_t uiMost = uiTextLength / 2 + 1;
    return static_cast<std::size_t>(iCount) < uiMost ? static_cast<std::size_t>(iCount) : uiMost;
}

// The "count" attribute, or iDefault without one; false when it is negative or not a number.
bool ReadCount(const TiXmlElement* pElement, int iDefault, int* pCount)
{
    *pCount = iDefault;
    if (pElement->Attribute("count") == nullptr)
        return true;
    return pElement->QueryIntAttribute("count", pCount) == TIXML_SUCCESS && *pCount >= 0;
}

template <typename T>
void ReadNumbers(const char* pText, std::int64_t iCount, std::vector<T>& vOut)
{
    const std::size_t uiLength = std::strlen(pText);
    const char* p = pText;
    const char* pEnd = pText + uiLength;
    vOut.reserve(ReserveFor(iCount, uiLength));
    T value{};
    while (static_cast<std::int64_t>(vOut.size()) < iCount && ReadNumber(p, pEnd, value))
        vOut.push_back(value);
}

} // namespace

bool ParseFloatArray(const TiXmlElement* pElement, std::vector<float>& vOut)
{
    vOut.clear();
    int iCount = 0;
    if (pElement == nullptr || !ReadCount(pElement, 16, &iCount))
        return false;
    if (iCount == 0)
        return true;
    const char* pText = pElement->GetText();
    if (pText == nullptr)
        return false;
    ReadNumbers(pText, iCount, vOut);
    return true;
}

bool ParseIntArray(const TiXmlElement* pElement, std::vector<int>& vOut, int iDefaultCount)
{
    vOut.clear();
    int iCount = 0;
    if (pElement == nullptr || !ReadCount(pElement, iDefaultCount, &iCount) || iCount < 0)
        return false;
    const char* pText = pElement->GetText();
    if (pText == nullptr)
        return false;
    ReadNumbers(pText, iCount, vOut);
    return true;
}

bool ParseNameArray(const TiXmlElement* pElement, std::vector<std::string>& vOut)
{
    vOut.clear();
    int iCount = 0;
    if (pElement == nullptr || !ReadCount(pElement, 5, &iCount))
        return false;
    const char* pText = pElement->GetText();
    if (pText == nullptr)
        return false;
    const char* pEnd = pText + std::strlen(pText);
    vOut.reserve(ReserveFor(iCount, static_cast<std::size_t>(pEnd - pText)));
    for (const char* p = SkipSpace(pText, pEnd); p < pEnd; p = SkipSpace(p, pEnd))
    {
        const char* pStart = p;
        while (p < pEnd && !IsSpace(*p))
            ++p;
        vOut.emplace_back(pStart, p);
    }
    return true;
}

void ParseIndexList(const char* pText, std::vector<std::uint32_t>& vOut)
{
    vOut.clear();
    if (pText == nullptr)
        return;
    const char* pEnd = pText + std::strlen(pText);
    const char* p = pText;
    std::uint32_t uiValue = 0;
    while (ReadNumber(p, pEnd, uiValue))
        vOut.push_back(uiValue);
}

XMMATRIX MatrixFromColumnMajor(const float* pValues)
{
    XMMATRIX m;
    for (int iRow = 0; iRow < 4; ++iRow)
        for (int iColumn = 0; iColumn < 4; ++iColumn)
            m.r[iRow].f[iColumn] = pValues[4 * iColumn + iRow];
    ConvertMatrixHandedness(m);
    return m;
}

bool ParseMatrix(const TiXmlElement* pElement, XMMATRIX& mOut)
{
    std::vector<float> vValues;
    if (!ParseFloatArray(pElement, vValues) || vValues.size() != 16)
        return false;
    mOut = MatrixFromColumnMajor(vValues.data());
    return true;
}

bool ParseMatrixArray(const std::vector<float>& vFloats, std::vector<XMMATRIX>& vOut)
{
    vOut.clear();
    if (vFloats.size() % 16 != 0)
        return false;
    vOut.reserve(vFloats.size() / 16);
    for (std::size_t i = 0; i < vFloats.size(); i += 16)
        vOut.push_back(MatrixFromColumnMajor(vFloats.data() + i));
    return true;
}

void ConvertMatrixHandedness(XMMATRIX& m)
{
    // The decomposition leaves the rotation unwritten for a sheared matrix: start from the
    // identity so such a matrix becomes its scale and translation, never undefined values.
    XMVECTOR vScale = XMVectorSet(1.0f, 1.0f, 1.0f, 0.0f);
    XMVECTOR vRotation = XMQuaternionIdentity();
    XMVECTOR vTranslation = XMVectorZero();
    XMMatrixDecompose(&vScale, &vRotation, &vTranslation, m);
    vRotation.f[2] = -vRotation.f[2];
    vRotation.f[3] = -vRotation.f[3];
    m = XMMatrixMultiply(XMMatrixScalingFromVector(vScale), XMMatrixRotationQuaternion(vRotation));
    m.r[3] = XMVectorSet(vTranslation.f[0], vTranslation.f[1], -vTranslation.f[2], 1.0f);
}

std::string AttributeText(const TiXmlElement* pElement, const char* pName)
{
    const char* pValue = pElement->Attribute(pName);
    return pValue != nullptr ? std::string(pValue) : std::string();
}

bool ResolveLocalReference(std::string& sReference)
{
    if (sReference.empty() || sReference[0] != '#')
        return false;
    sReference.erase(0, 1);
    return true;
}

bool ReadLocalReference(const TiXmlElement* pElement, const char* pName, std::string& sId)
{
    sId = AttributeText(pElement, pName);
    return !sId.empty() && ResolveLocalReference(sId);
}

} // namespace KR_ColladaReaders
