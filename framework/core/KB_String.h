#pragma once
// Owning byte string. The buffer is never null and holds exactly length + 1 bytes on the aligned
// heap with a NUL at [length]; every change allocates a new buffer of the exact size. Comparisons
// stop at the first NUL byte. Not thread-safe; copy it to share it between threads.

#include <cstdint>
#include <type_traits>

class KB_String
{
public:
    // Find's answer when nothing is found (-1, all bits set).
    static constexpr std::uint64_t NOT_FOUND = ~static_cast<std::uint64_t>(0);

    KB_String();
    KB_String(const char* pText); // null gives the empty string
    KB_String(const KB_String& other);
    explicit KB_String(std::uint64_t n); // n zero bytes, length n
    KB_String(const wchar_t* pText);     // each unit narrowed to its low byte
    // printf-style, see Format. Needs at least one argument after the format, so a lone text
    // is never read as a format.
    template <typename... Args>
        requires(sizeof...(Args) > 0)
    KB_String(const char* pFormat, Args... args)
    {
        static_assert(
            ((std::is_arithmetic_v<Args> || std::is_pointer_v<Args> || std::is_null_pointer_v<Args>)&&...),
            "format arguments must be numbers or pointers");
        Format(pFormat, args...);
    }
    ~KB_String();

    // printf-style; the result may have any length.
    void Format(const char* pFormat, ...) __attribute__((format(printf, 2, 3)));

    KB_String& operator=(const KB_String& other);
    KB_String operator+(const KB_String& other) const;
    KB_String operator+(const char* pText) const;
    KB_String& operator+=(const KB_String& other);
    KB_String& operator+=(const char* pText);

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
    void Release();

    char* m_pData = nullptr; // owned, never null after construction
    std::uint64_t m_uiLength = 0;
};
