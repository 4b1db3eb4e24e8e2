#pragma once
// Owning byte string. The buffer is never null and always holds a NUL at [length]; it lives on
// the aligned heap with room to grow (appending doubles it when full), except that a string that
// never held text shares one static NUL byte and allocates nothing (never write through
// GetBuffer into an empty string). Moves take the buffer and leave the source empty.
// Comparisons stop at the first NUL byte. Not thread-safe; copy it to share it between threads.

#include <cstdint>
#include <cstring>

class KB_String
{
public:
    // Find's answer when nothing is found (-1, all bits set).
    static constexpr std::uint64_t NOT_FOUND = ~static_cast<std::uint64_t>(0);

    KB_String();
    KB_String(const char* pText); // null gives the empty string
    KB_String(const KB_String& other);
    KB_String(KB_String&& other) noexcept;
    explicit KB_String(std::uint64_t n); // n zero bytes, length n
    KB_String(const wchar_t* pText);     // each unit narrowed to its low byte
    ~KB_String();

    // printf-style, checked by the compiler (-Wformat); the result may have any length.
    static KB_String Formatted(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));
    // printf-style into this string; the result may have any length.
    void Format(const char* pFormat, ...) __attribute__((format(printf, 2, 3)));

    KB_String& operator=(const KB_String& other);
    KB_String& operator=(KB_String&& other) noexcept;
    KB_String operator+(const KB_String& other) const&;
    KB_String operator+(const char* pText) const&;
    KB_String operator+(const KB_String& other) &&; // appends to this temporary
    KB_String operator+(const char* pText) &&;
    // Either may be (part of) this string. Inline: appending is the hot path of path building.
    KB_String& operator+=(const KB_String& other)
    {
        Append(other.m_pData, other.m_uiLength);
        return *this;
    }
    KB_String& operator+=(const char* pText)
    {
        if (pText != nullptr)
            Append(pText, std::strlen(pText));
        return *this;
    }

    // -1, 0 or 1 by unsigned bytes, up to the first difference or NUL.
    int Compare(const KB_String& other) const;
    int Compare(const char* pText) const;
    // ASCII case-insensitive; <0, 0 or >0.
    int CompareNoCase(const KB_String& other) const;
    int CompareNoCase(const char* pText) const;

    bool operator==(const KB_String& other) const; // equal lengths and equal bytes
    bool operator!=(const KB_String& other) const;
    bool operator<(const KB_String& other) const;

    // Replaces the contents by n + 1 zero bytes and returns the buffer for the caller to fill.
    char* SetLength(std::uint64_t n);
    // Room for n bytes of text without another allocation; the contents stay.
    void Reserve(std::uint64_t n);
    std::uint64_t GetCapacity() const { return m_uiCapacity; } // bytes of text the buffer holds

    bool StartsWith(const KB_String& what) const;
    bool EndsWith(const KB_String& what) const; // false when what is longer
    // Absolute index of the first occurrence at or after start; NOT_FOUND when start >= length,
    // what is empty or nothing matches.
    std::uint64_t Find(const KB_String& what, std::uint64_t start = 0) const;
    // count bytes from start (the rest when fewer remain; empty when start >= length), cut at the
    // first NUL. Note the argument order.
    KB_String SubString(std::uint64_t count, std::uint64_t start) const;
    KB_String ToLower() const;
    KB_String ToUpper() const;

    char* GetBuffer() { return m_pData; }
    const char* GetBuffer() const { return m_pData; }
    std::uint64_t GetLength() const { return m_uiLength; }
    char operator[](std::uint64_t index) const { return m_pData[index]; } // no bounds check

private:
    void Assign(const char* pBytes, std::uint64_t length);
    void Append(const char* pBytes, std::uint64_t length)
    {
        // The bytes fit after the text: a source inside this string lies before the old NUL, so
        // it never overlaps the destination.
        if (length != 0 && length <= m_uiCapacity - m_uiLength)
        {
            std::memcpy(m_pData + m_uiLength, pBytes, length);
            m_uiLength += length;
            m_pData[m_uiLength] = '\0';
        }
        else if (length != 0)
        {
            AppendGrowing(pBytes, length);
        }
    }
    void AppendGrowing(const char* pBytes, std::uint64_t length);
    // A buffer of at least capacity bytes of text holding the current contents.
    void Grow(std::uint64_t capacity);
    void Release();

    char* m_pData;                  // owned when m_uiCapacity > 0; never null
    std::uint64_t m_uiLength = 0;   // bytes before the NUL
    std::uint64_t m_uiCapacity = 0; // bytes of text the buffer holds; 0: the shared static NUL
};
