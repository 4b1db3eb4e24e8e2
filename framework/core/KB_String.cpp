#include "framework/core/KB_String.h"

#include "framework/core/KB_Memory.h"
#include "platform/crt/WinCrt.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace
{

// The buffer of every string without capacity. Never written: text only goes into heap buffers.
alignas(16) char s_acEmpty[1] = {'\0'};

// Smallest buffer grown by appending: 31 bytes of text and the NUL, two 16-byte blocks.
constexpr std::uint64_t MIN_CAPACITY = 31;

char* AllocateText(std::uint64_t capacity)
{
    return static_cast<char*>(KB_Memory::Allocate(capacity + 1));
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

KB_String::KB_String() : m_pData(s_acEmpty)
{
}

KB_String::KB_String(const char* pText) : m_pData(s_acEmpty)
{
    if (pText != nullptr)
        Assign(pText, std::strlen(pText));
}

KB_String::KB_String(const KB_String& other) : m_pData(s_acEmpty)
{
    Assign(other.m_pData, other.m_uiLength);
}

KB_String::KB_String(KB_String&& other) noexcept
    : m_pData(other.m_pData), m_uiLength(other.m_uiLength), m_uiCapacity(other.m_uiCapacity)
{
    other.m_pData = s_acEmpty;
    other.m_uiLength = 0;
    other.m_uiCapacity = 0;
}

KB_String::KB_String(std::uint64_t n) : m_pData(s_acEmpty)
{
    SetLength(n);
}

KB_String::KB_String(const wchar_t* pText) : m_pData(s_acEmpty)
{
    std::uint64_t length = 0;
    if (pText != nullptr)
        while (pText[length] != 0)
            ++length;
    char* pData = SetLength(length);
    for (std::uint64_t i = 0; i < length; ++i)
        pData[i] = static_cast<char>(static_cast<std::uint32_t>(pText[i]) & 0xFF);
}

KB_String::~KB_String()
{
    Release();
}

KB_String KB_String::Formatted(const char* pFormat, ...)
{
    KB_String result;
    va_list args;
    va_start(args, pFormat);
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, pFormat, measure);
    va_end(measure);
    // An encoding error gives the empty string.
    if (needed > 0)
        std::vsnprintf(result.SetLength(static_cast<std::uint64_t>(needed)),
                       static_cast<std::size_t>(needed) + 1, pFormat, args);
    va_end(args);
    return result;
}

void KB_String::Format(const char* pFormat, ...)
{
    // Formatted into a new buffer: the arguments may point into this string.
    KB_String result;
    va_list args;
    va_start(args, pFormat);
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, pFormat, measure);
    va_end(measure);
    if (needed > 0)
        std::vsnprintf(result.SetLength(static_cast<std::uint64_t>(needed)),
                       static_cast<std::size_t>(needed) + 1, pFormat, args);
    va_end(args);
    *this = std::move(result);
}

KB_String& KB_String::operator=(const KB_String& other)
{
    if (this != &other)
        Assign(other.m_pData, other.m_uiLength);
    return *this;
}

KB_String& KB_String::operator=(KB_String&& other) noexcept
{
    if (this != &other)
    {
        Release();
        m_pData = other.m_pData;
        m_uiLength = other.m_uiLength;
        m_uiCapacity = other.m_uiCapacity;
        other.m_pData = s_acEmpty;
        other.m_uiLength = 0;
        other.m_uiCapacity = 0;
    }
    return *this;
}

KB_String KB_String::operator+(const KB_String& other) const&
{
    KB_String result;
    result.Reserve(m_uiLength + other.m_uiLength);
    result.Append(m_pData, m_uiLength);
    result.Append(other.m_pData, other.m_uiLength);
    return result;
}

KB_String KB_String::operator+(const char* pText) const&
{
    const std::uint64_t added = pText != nullptr ? std::strlen(pText) : 0;
    KB_String result;
    result.Reserve(m_uiLength + added);
    result.Append(m_pData, m_uiLength);
    result.Append(pText, added);
    return result;
}

KB_String KB_String::operator+(const KB_String& other) &&
{
    Append(other.m_pData, other.m_uiLength);
    return std::move(*this);
}

KB_String KB_String::operator+(const char* pText) &&
{
    if (pText != nullptr)
        Append(pText, std::strlen(pText));
    return std::move(*this);
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
    if (n == 0)
    {
        // Nothing for the caller to fill: an empty string keeps its buffer or the shared NUL.
        m_uiLength = 0;
        if (m_uiCapacity > 0)
            m_pData[0] = '\0';
        return m_pData;
    }
    if (n > m_uiCapacity)
    {
        Release();
        m_pData = AllocateText(n);
        m_uiCapacity = n;
    }
    std::memset(m_pData, 0, n + 1);
    m_uiLength = n;
    return m_pData;
}

void KB_String::Reserve(std::uint64_t n)
{
    if (n > m_uiCapacity)
        Grow(n);
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
    if (result.m_uiLength > 0)
        _strlwr_s(result.m_pData, static_cast<std::size_t>(result.m_uiLength + 1));
    return result;
}

KB_String KB_String::ToUpper() const
{
    KB_String result(*this);
    if (result.m_uiLength > 0)
        _strupr_s(result.m_pData, static_cast<std::size_t>(result.m_uiLength + 1));
    return result;
}

void KB_String::Assign(const char* pBytes, std::uint64_t length)
{
    if (length == 0)
    {
        SetLength(0);
        return;
    }
    if (length > m_uiCapacity)
    {
        // Exact size: copies are rarely appended to. pBytes may lie in the old buffer.
        char* pData = AllocateText(length);
        std::memcpy(pData, pBytes, length);
        Release();
        m_pData = pData;
        m_uiCapacity = length;
    }
    else
    {
        std::memmove(m_pData, pBytes, length);
    }
    m_pData[length] = '\0';
    m_uiLength = length;
}

void KB_String::AppendGrowing(const char* pBytes, std::uint64_t length)
{
    // pBytes may lie in the old buffer: copied before that is freed.
    const std::uint64_t needed = m_uiLength + length;
    std::uint64_t capacity = m_uiCapacity * 2;
    if (capacity < needed)
        capacity = needed;
    if (capacity < MIN_CAPACITY)
        capacity = MIN_CAPACITY;
    char* pData = AllocateText(capacity);
    std::memcpy(pData, m_pData, m_uiLength);
    std::memcpy(pData + m_uiLength, pBytes, length);
    pData[needed] = '\0';
    Release();
    m_pData = pData;
    m_uiLength = needed;
    m_uiCapacity = capacity;
}

void KB_String::Grow(std::uint64_t capacity)
{
    char* pData = AllocateText(capacity);
    std::memcpy(pData, m_pData, m_uiLength + 1);
    const std::uint64_t length = m_uiLength;
    Release();
    m_pData = pData;
    m_uiLength = length;
    m_uiCapacity = capacity;
}

void KB_String::Release()
{
    if (m_uiCapacity > 0)
        KB_Memory::Free(m_pData);
    m_pData = s_acEmpty;
    m_uiLength = 0;
    m_uiCapacity = 0;
}
