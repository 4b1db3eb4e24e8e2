#include "framework/core/KB_String.h"

#include "framework/core/KB_Memory.h"
#include "platform/crt/WinCrt.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

char* AllocateText(std::uint64_t length)
{
    char* pData = static_cast<char*>(KB_Memory::Allocate(length + 1));
    pData[length] = '\0';
    return pData;
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

// Formats into a buffer of exactly the needed size; an encoding error gives the empty string.
char* FormatText(const char* pFormat, va_list args, std::uint64_t* pLength)
{
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, pFormat, measure);
    va_end(measure);
    if (needed < 0)
    {
        *pLength = 0;
        return AllocateText(0);
    }
    char* pData = AllocateText(static_cast<std::uint64_t>(needed));
    std::vsnprintf(pData, static_cast<std::size_t>(needed) + 1, pFormat, args);
    *pLength = static_cast<std::uint64_t>(needed);
    return pData;
}

} // namespace

KB_String::KB_String()
{
    Assign("", 0);
}

KB_String::KB_String(const char* pText)
{
    if (pText == nullptr)
        pText = "";
    Assign(pText, std::strlen(pText));
}

KB_String::KB_String(const KB_String& other)
{
    Assign(other.m_pData, other.m_uiLength);
}

KB_String::KB_String(std::uint64_t n)
{
    m_pData = AllocateText(n);
    std::memset(m_pData, 0, n);
    m_uiLength = n;
}

KB_String::KB_String(const wchar_t* pText)
{
    std::uint64_t length = 0;
    if (pText != nullptr)
        while (pText[length] != 0)
            ++length;
    m_pData = AllocateText(length);
    for (std::uint64_t i = 0; i < length; ++i)
        m_pData[i] = static_cast<char>(static_cast<std::uint32_t>(pText[i]) & 0xFF);
    m_uiLength = length;
}

KB_String::~KB_String()
{
    Release();
}

void KB_String::Format(const char* pFormat, ...)
{
    va_list args;
    va_start(args, pFormat);
    std::uint64_t length = 0;
    char* pData = FormatText(pFormat, args, &length);
    va_end(args);
    Release();
    m_pData = pData;
    m_uiLength = length;
}

KB_String& KB_String::operator=(const KB_String& other)
{
    if (this != &other)
    {
        char* pData = AllocateText(other.m_uiLength);
        std::memcpy(pData, other.m_pData, other.m_uiLength);
        Release();
        m_pData = pData;
        m_uiLength = other.m_uiLength;
    }
    return *this;
}

KB_String KB_String::operator+(const KB_String& other) const
{
    KB_String result(*this);
    result += other;
    return result;
}

KB_String KB_String::operator+(const char* pText) const
{
    KB_String result(*this);
    result += pText;
    return result;
}

KB_String& KB_String::operator+=(const KB_String& other)
{
    const std::uint64_t length = m_uiLength + other.m_uiLength;
    char* pData = AllocateText(length);
    std::memcpy(pData, m_pData, m_uiLength);
    std::memcpy(pData + m_uiLength, other.m_pData, other.m_uiLength);
    Release();
    m_pData = pData;
    m_uiLength = length;
    return *this;
}

KB_String& KB_String::operator+=(const char* pText)
{
    if (pText == nullptr)
        pText = "";
    const std::uint64_t added = std::strlen(pText);
    const std::uint64_t length = m_uiLength + added;
    char* pData = AllocateText(length);
    std::memcpy(pData, m_pData, m_uiLength);
    std::memcpy(pData + m_uiLength, pText, added);
    Release();
    m_pData = pData;
    m_uiLength = length;
    return *this;
}

int KB_String::Compare(const KB_String& other) const
{
    return Compare(other.m_pData);
}

int KB_String::Compare(const char* pText) const
{
    // strcmp compares as unsigned char and stops at the first NUL.
    return Sign(std::strcmp(m_pData, pText != nullptr ? pText : ""));
}

int KB_String::CompareNoCase(const KB_String& other) const
{
    return _stricmp(m_pData, other.m_pData);
}

int KB_String::CompareNoCase(const char* pText) const
{
    return _stricmp(m_pData, pText != nullptr ? pText : "");
}

bool KB_String::operator==(const KB_String& other) const
{
    return m_uiLength == other.m_uiLength && std::strcmp(m_pData, other.m_pData) == 0;
}

bool KB_String::operator!=(const KB_String& other) const
{
    return !(*this == other);
}

bool KB_String::operator<(const KB_String& other) const
{
    return Compare(other) < 0;
}

char* KB_String::SetLength(std::uint64_t n)
{
    Release();
    m_pData = AllocateText(n);
    std::memset(m_pData, 0, n);
    m_uiLength = n;
    return m_pData;
}

bool KB_String::StartsWith(const KB_String& what) const
{
    if (what.m_uiLength > m_uiLength)
        return false;
    return std::memcmp(m_pData, what.m_pData, what.m_uiLength) == 0;
}

bool KB_String::EndsWith(const KB_String& what) const
{
    if (what.m_uiLength > m_uiLength)
        return false;
    for (std::uint64_t i = 0; i < what.m_uiLength; ++i)
        if (m_pData[m_uiLength - 1 - i] != what.m_pData[what.m_uiLength - 1 - i])
            return false;
    return true;
}

std::uint64_t KB_String::Find(const KB_String& what, std::uint64_t start) const
{
    if (start >= m_uiLength || what.m_uiLength == 0)
        return NOT_FOUND;
    const char* pFound = std::strstr(m_pData + start, what.m_pData);
    if (pFound == nullptr)
        return NOT_FOUND;
    return static_cast<std::uint64_t>(pFound - m_pData);
}

KB_String KB_String::SubString(std::uint64_t count, std::uint64_t start) const
{
    KB_String result;
    if (start >= m_uiLength)
        return result;
    // Compared without forming start + count, which may overflow for "the rest" callers.
    if (count > m_uiLength - start)
        count = m_uiLength - start;
    const std::uint64_t length = strnlen(m_pData + start, static_cast<std::size_t>(count));
    result.Assign(m_pData + start, length);
    return result;
}

KB_String KB_String::ToLower() const
{
    KB_String result(*this);
    _strlwr_s(result.m_pData, static_cast<std::size_t>(result.m_uiLength + 1));
    return result;
}

KB_String KB_String::ToUpper() const
{
    KB_String result(*this);
    _strupr_s(result.m_pData, static_cast<std::size_t>(result.m_uiLength + 1));
    return result;
}

void KB_String::Assign(const char* pBytes, std::uint64_t length)
{
    char* pData = AllocateText(length);
    std::memcpy(pData, pBytes, length);
    Release();
    m_pData = pData;
    m_uiLength = length;
}

void KB_String::Release()
{
    KB_Memory::Free(m_pData);
    m_pData = nullptr;
    m_uiLength = 0;
}
