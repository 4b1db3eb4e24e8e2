#include "timing/KU_TextFileReader.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>
#include <type_traits>

namespace
{

// White space as the classic locale has it.
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char* SkipDigits(const char* p, const char* pEnd)
{
    while (p < pEnd && IsDigit(*p))
        ++p;
    return p;
}

// Decimal exponent of the first non-zero digit of a number ScanNumber took (sign, digits, optional
// fraction and exponent), saturated far beyond every type's range; 0 for a number of zeros.
std::int64_t GetDecimalMagnitude(const char* p, const char* pEnd)
{
    constexpr std::int64_t LIMIT = 1000000000;
    if (p < pEnd && (*p == '-' || *p == '+'))
        ++p;
    std::int64_t iMagnitude = 0;
    bool bFound = false;
    std::int64_t iPosition = 0; // digits of the integer part left of the current one
    const char* pIntegerEnd = SkipDigits(p, pEnd);
    const std::int64_t iIntegerDigits = pIntegerEnd - p;
    for (; p < pIntegerEnd; ++p, ++iPosition)
        if (!bFound && *p != '0')
        {
            iMagnitude = iIntegerDigits - iPosition - 1;
            bFound = true;
        }
    if (p < pEnd && *p == '.')
    {
        ++p;
        std::int64_t iPlace = -1;
        for (; p < pEnd && IsDigit(*p); ++p, --iPlace)
            if (!bFound && *p != '0')
            {
                iMagnitude = iPlace;
                bFound = true;
            }
    }
    if (!bFound)
        return 0;
    if (p < pEnd && (*p == 'e' || *p == 'E'))
    {
        ++p;
        const bool bNegative = p < pEnd && *p == '-';
        if (p < pEnd && (*p == '-' || *p == '+'))
            ++p;
        std::int64_t iExponent = 0;
        for (; p < pEnd && IsDigit(*p); ++p)
            if (iExponent < LIMIT)
                iExponent = iExponent * 10 + (*p - '0');
        iMagnitude += bNegative ? -iExponent : iExponent;
    }
    return iMagnitude;
}

KB_String MakeString(const char* pBegin, std::uint64_t uiLength)
{
    KB_String sText;
    char* pBuffer = sText.SetLength(uiLength);
    if (uiLength != 0)
        std::memcpy(pBuffer, pBegin, uiLength);
    return sText;
}

} // namespace

KU_TextFileReader::KU_TextFileReader(const char* pText, std::uint64_t uiSize)
    : m_pCursor(pText), m_pEnd(pText ? pText + uiSize : pText)
{
}

bool KU_TextFileReader::ReadKey(std::uint32_t uiMaxLength)
{
    m_pKey = nullptr;
    m_uiKeyLength = 0;
    if (!SkipWhiteSpace() || uiMaxLength == 0)
        return false;
    const char* pBegin = m_pCursor;
    while (m_pCursor < m_pEnd && !IsSpace(*m_pCursor) &&
           static_cast<std::uint64_t>(m_pCursor - pBegin) < uiMaxLength)
        ++m_pCursor;
    m_pKey = pBegin;
    m_uiKeyLength = static_cast<std::uint32_t>(m_pCursor - pBegin);
    return true;
}

bool KU_TextFileReader::IsKey(const char* pKey) const
{
    if (!m_pKey || !pKey)
        return false;
    const std::size_t uiLength = std::strlen(pKey);
    return uiLength == m_uiKeyLength && std::memcmp(m_pKey, pKey, uiLength) == 0;
}

KB_String KU_TextFileReader::GetKey() const
{
    return m_pKey ? MakeString(m_pKey, m_uiKeyLength) : KB_String();
}

bool KU_TextFileReader::ReadDouble(double* pValue)
{
    return ReadNumber(true, pValue);
}

bool KU_TextFileReader::ReadFloat(float* pValue)
{
    return ReadNumber(true, pValue);
}

bool KU_TextFileReader::ReadU32(std::uint32_t* pValue)
{
    return ReadNumber(false, pValue);
}

KB_String KU_TextFileReader::ReadRestOfLine(std::uint32_t uiMaxLength)
{
    return ReadLine(uiMaxLength, false);
}

KB_String KU_TextFileReader::ReadLineValue(std::uint32_t uiMaxLength)
{
    return ReadLine(uiMaxLength, true);
}

KB_String KU_TextFileReader::ReadLine(std::uint32_t uiMaxLength, bool bDropCarriageReturn)
{
    if (m_bFailed || m_pCursor >= m_pEnd)
        return KB_String();
    if (*m_pCursor == ' ')
        ++m_pCursor;
    const char* pBegin = m_pCursor;
    const void* pLineEnd = std::memchr(m_pCursor, '\n', static_cast<std::size_t>(m_pEnd - m_pCursor));
    const char* pStop = pLineEnd ? static_cast<const char*>(pLineEnd) : m_pEnd;
    m_pCursor = pLineEnd ? pStop + 1 : m_pEnd;
    if (bDropCarriageReturn && pStop > pBegin && pStop[-1] == '\r')
        --pStop;
    std::uint64_t uiLength = static_cast<std::uint64_t>(pStop - pBegin);
    if (uiLength > uiMaxLength)
        uiLength = uiMaxLength;
    return MakeString(pBegin, uiLength);
}

bool KU_TextFileReader::ReadLineWord(KB_String* pWord, std::uint32_t uiMaxLength)
{
    *pWord = KB_String();
    if (m_bFailed)
        return false;
    while (m_pCursor < m_pEnd && *m_pCursor != '\n' && IsSpace(*m_pCursor))
        ++m_pCursor;
    const char* pBegin = m_pCursor;
    while (m_pCursor < m_pEnd && !IsSpace(*m_pCursor))
        ++m_pCursor;
    const std::uint64_t uiLength = static_cast<std::uint64_t>(m_pCursor - pBegin);
    if (uiLength == 0 || uiLength > uiMaxLength)
        return false;
    *pWord = MakeString(pBegin, uiLength);
    return true;
}

void KU_TextFileReader::SkipLine()
{
    if (m_pCursor >= m_pEnd)
        return;
    const void* pLineEnd = std::memchr(m_pCursor, '\n', static_cast<std::size_t>(m_pEnd - m_pCursor));
    m_pCursor = pLineEnd ? static_cast<const char*>(pLineEnd) + 1 : m_pEnd;
}

bool KU_TextFileReader::ReadWord(KB_String* pWord, std::uint32_t uiMaxLength)
{
    *pWord = KB_String();
    if (!SkipWhiteSpace() || uiMaxLength == 0)
    {
        m_bFailed = true;
        return false;
    }
    const char* pBegin = m_pCursor;
    while (m_pCursor < m_pEnd && !IsSpace(*m_pCursor) &&
           static_cast<std::uint64_t>(m_pCursor - pBegin) < uiMaxLength)
        ++m_pCursor;
    *pWord = MakeString(pBegin, static_cast<std::uint64_t>(m_pCursor - pBegin));
    return true;
}

bool KU_TextFileReader::SkipWhiteSpace()
{
    if (m_bFailed)
        return false;
    while (m_pCursor < m_pEnd && IsSpace(*m_pCursor))
        ++m_pCursor;
    return m_pCursor < m_pEnd;
}

template <typename T>
bool KU_TextFileReader::ReadNumber(bool bAllowFraction, T* pValue)
{
    const char* pBegin = nullptr;
    const char* pEnd = nullptr;
    T value = 0;
    if (!ScanNumber(bAllowFraction, &pBegin, &pEnd))
        return false;
    std::from_chars_result result;
    if constexpr (std::is_integral_v<T>)
        result = std::from_chars(pBegin, pEnd, value, 10);
    else
        result = std::from_chars(pBegin, pEnd, value, std::chars_format::general);
    if constexpr (std::is_floating_point_v<T>)
    {
        // Out of range, as a classic-locale stream reads it: too small gives zero of the number's
        // sign, too large the largest finite value of its sign. Either way the parse goes on.
        if (result.ec == std::errc::result_out_of_range && result.ptr == pEnd)
        {
            const bool bNegative = *pBegin == '-';
            if (GetDecimalMagnitude(pBegin, pEnd) < 0)
                value = bNegative ? -T(0) : T(0);
            else
                value = bNegative ? -std::numeric_limits<T>::max() : std::numeric_limits<T>::max();
            result.ec = std::errc();
        }
    }
    if (result.ec != std::errc() || result.ptr != pEnd)
    {
        m_bFailed = true;
        return false;
    }
    *pValue = value;
    return true;
}

bool KU_TextFileReader::ScanNumber(bool bAllowFraction, const char** ppBegin, const char** ppEnd)
{
    if (!SkipWhiteSpace())
    {
        m_bFailed = true;
        return false;
    }
    const char* p = m_pCursor;
    const char* pBegin = p;
    if (*p == '+')
        pBegin = ++p;
    else if (*p == '-' && bAllowFraction)
        ++p;
    const char* pDigits = p;
    p = SkipDigits(p, m_pEnd);
    std::uint64_t uiNumDigits = static_cast<std::uint64_t>(p - pDigits);
    if (bAllowFraction)
    {
        if (p < m_pEnd && *p == '.')
        {
            const char* pFraction = ++p;
            p = SkipDigits(p, m_pEnd);
            uiNumDigits += static_cast<std::uint64_t>(p - pFraction);
        }
        if (uiNumDigits != 0 && p < m_pEnd && (*p == 'e' || *p == 'E'))
        {
            ++p;
            if (p < m_pEnd && (*p == '+' || *p == '-'))
                ++p;
            const char* pExponent = p;
            p = SkipDigits(p, m_pEnd);
            if (p == pExponent)
                uiNumDigits = 0; // an exponent mark without digits: not a number
        }
    }
    if (uiNumDigits == 0)
    {
        m_bFailed = true;
        return false;
    }
    m_pCursor = p;
    *ppBegin = pBegin;
    *ppEnd = p;
    return true;
}
