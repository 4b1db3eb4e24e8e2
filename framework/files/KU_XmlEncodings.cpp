#include "framework/files/KU_XmlEncodings.h"

#include <iconv.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace
{

enum class Library
{
    Iconv,
    Icu,
};

enum class Decoded
{
    Character,  // one character
    Nothing,    // a shift of state: no character
    Several,    // several characters
    Invalid,    // not a character
    Incomplete, // the beginning of one
};

// Orders every call the loader makes to iconv and ICU (ThreadSanitizer does not see the C library's
// own locks around the converters it loads and unloads, and an ICU converter is not to be shared).
std::mutex s_mutex;

// Writes the UTF-8 bytes of a character (at most U+10FFFF) and gives how many.
std::size_t WriteUtf8(std::uint32_t uiCharacter, unsigned char* pBytes)
{
    if (uiCharacter < 0x80)
    {
        pBytes[0] = static_cast<unsigned char>(uiCharacter);
        return 1;
    }
    const std::size_t uiLength = uiCharacter < 0x800 ? 2 : uiCharacter < 0x10000 ? 3 : 4;
    for (std::size_t i = uiLength - 1; i > 0; --i, uiCharacter >>= 6)
        pBytes[i] = static_cast<unsigned char>(0x80 | (uiCharacter & 0x3F));
    // 110xxxxx, 1110xxxx or 11110xxx.
    pBytes[0] = static_cast<unsigned char>(((0xFF00u >> uiLength) & 0xFFu) | uiCharacter);
    return uiLength;
}

} // namespace

// A converter of iconv or ICU, both ways, as libxml2 opens it (ICU's stop at what they cannot
// convert, as iconv's do). Bytes are decoded and characters encoded one at a time from the initial
// state. Used under s_mutex only (Find and CharacterWriter hold it).
class KU_XmlEncodings::Converter
{
public:
    Converter(Library eLibrary, const char* pName) { Open(eLibrary, pName); }

    ~Converter()
    {
        if (m_toUnicode != NONE)
            iconv_close(m_toUnicode);
        if (m_fromUnicode != NONE)
            iconv_close(m_fromUnicode);
        if (m_pIcu != nullptr)
            ucnv_close(m_pIcu);
    }

    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Opens the converters of a closed converter.
    void Open(Library eLibrary, const char* pName)
    {
        if (eLibrary == Library::Iconv)
        {
            m_toUnicode = iconv_open("UTF-32LE", pName);
            m_fromUnicode = iconv_open(pName, "UTF-32LE");
            return;
        }
        UErrorCode eError = U_ZERO_ERROR;
        m_pIcu = ucnv_open(pName, &eError);
        if (U_SUCCESS(eError))
        {
            ucnv_setToUCallBack(m_pIcu, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &eError);
            ucnv_setFromUCallBack(m_pIcu, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &eError);
        }
        if (U_FAILURE(eError) && m_pIcu != nullptr)
        {
            ucnv_close(m_pIcu);
            m_pIcu = nullptr;
        }
    }

    bool IsOpen() const { return m_pIcu != nullptr || (m_toUnicode != NONE && m_fromUnicode != NONE); }

    // ICU's class of the encoding; UCNV_UNSUPPORTED_CONVERTER for iconv's or none.
    UConverterType GetIcuType() const
    {
        return m_pIcu != nullptr ? ucnv_getType(m_pIcu) : UCNV_UNSUPPORTED_CONVERTER;
    }

    // ICU's own name of the encoding; empty for iconv's.
    std::string GetIcuName() const
    {
        UErrorCode eError = U_ZERO_ERROR;
        const char* pName = m_pIcu != nullptr ? ucnv_getName(m_pIcu, &eError) : nullptr;
        return pName != nullptr && U_SUCCESS(eError) ? pName : std::string();
    }

    // Decodes the bytes, with what a converter that combines characters holds back (iconv's
    // windows-1255 and -1258 hold a letter for the marks that may follow it).
    Decoded Decode(const unsigned char* pBytes, std::size_t uiSize, int* pCharacter)
    {
        return m_pIcu != nullptr ? DecodeIcu(pBytes, uiSize, pCharacter)
                                 : DecodeIconv(pBytes, uiSize, pCharacter);
    }

    // Writes the bytes of one character (at most MAX_CHARACTER_BYTES) and gives how many; 0 where
    // the encoding has none.
    std::size_t Encode(std::uint32_t uiCharacter, unsigned char* pBytes)
    {
        if (m_pIcu != nullptr)
            return EncodeIcu(uiCharacter, pBytes);
        iconv(m_fromUnicode, nullptr, nullptr, nullptr, nullptr);
        unsigned char acIn[4] = {};
        for (unsigned char& c : acIn)
        {
            c = static_cast<unsigned char>(uiCharacter & 0xFF);
            uiCharacter >>= 8;
        }
        char* pIn = reinterpret_cast<char*>(acIn);
        auto* pOut = reinterpret_cast<char*>(pBytes);
        std::size_t uiIn = sizeof(acIn);
        std::size_t uiOut = MAX_CHARACTER_BYTES;
        if (iconv(m_fromUnicode, &pIn, &uiIn, &pOut, &uiOut) == static_cast<std::size_t>(-1) ||
            iconv(m_fromUnicode, nullptr, nullptr, &pOut, &uiOut) == static_cast<std::size_t>(-1))
        {
            return 0;
        }
        return MAX_CHARACTER_BYTES - uiOut;
    }

private:
    static inline const iconv_t NONE = reinterpret_cast<iconv_t>(-1);

    Decoded DecodeIconv(const unsigned char* pBytes, std::size_t uiSize, int* pCharacter)
    {
        iconv(m_toUnicode, nullptr, nullptr, nullptr, nullptr);
        unsigned char acOut[16] = {};
        char* pIn = reinterpret_cast<char*>(const_cast<unsigned char*>(pBytes));
        auto* pOut = reinterpret_cast<char*>(acOut);
        std::size_t uiIn = uiSize;
        std::size_t uiOut = sizeof(acOut);
        if (iconv(m_toUnicode, &pIn, &uiIn, &pOut, &uiOut) == static_cast<std::size_t>(-1) ||
            iconv(m_toUnicode, nullptr, nullptr, &pOut, &uiOut) == static_cast<std::size_t>(-1))
        {
            return errno == EINVAL  ? Decoded::Incomplete
                   : errno == E2BIG ? Decoded::Several
                                    : Decoded::Invalid;
        }
        const std::size_t uiCharacters = (sizeof(acOut) - uiOut) / 4;
        if (uiCharacters != 1)
            return uiCharacters == 0 ? Decoded::Nothing : Decoded::Several;
        *pCharacter = acOut[0] | acOut[1] << 8 | acOut[2] << 16 | acOut[3] << 24;
        return Decoded::Character;
    }

    // ICU decodes to UTF-16: a surrogate pair is one character beyond U+FFFF.
    Decoded DecodeIcu(const unsigned char* pBytes, std::size_t uiSize, int* pCharacter)
    {
        ucnv_resetToUnicode(m_pIcu);
        UChar aOut[8] = {};
        UChar* pOut = aOut;
        const char* pIn = reinterpret_cast<const char*>(pBytes);
        UErrorCode eError = U_ZERO_ERROR;
        ucnv_toUnicode(m_pIcu, &pOut, aOut + std::size(aOut), &pIn, pIn + uiSize, nullptr, true, &eError);
        if (eError == U_TRUNCATED_CHAR_FOUND)
            return Decoded::Incomplete;
        if (U_FAILURE(eError))
            return eError == U_BUFFER_OVERFLOW_ERROR ? Decoded::Several : Decoded::Invalid;
        const std::ptrdiff_t iUnits = pOut - aOut;
        if (iUnits == 1)
        {
            *pCharacter = aOut[0];
            return Decoded::Character;
        }
        if (iUnits == 2 && aOut[0] >= 0xD800 && aOut[0] <= 0xDBFF && aOut[1] >= 0xDC00 && aOut[1] <= 0xDFFF)
        {
            *pCharacter = 0x10000 + ((aOut[0] - 0xD800) << 10) + (aOut[1] - 0xDC00);
            return Decoded::Character;
        }
        return iUnits == 0 ? Decoded::Nothing : Decoded::Several;
    }

    std::size_t EncodeIcu(std::uint32_t uiCharacter, unsigned char* pBytes)
    {
        ucnv_resetFromUnicode(m_pIcu);
        UChar aIn[2] = {static_cast<UChar>(uiCharacter), 0};
        std::size_t uiUnits = 1;
        if (uiCharacter > 0xFFFF)
        {
            aIn[0] = static_cast<UChar>(0xD800 + ((uiCharacter - 0x10000) >> 10));
            aIn[1] = static_cast<UChar>(0xDC00 + ((uiCharacter - 0x10000) & 0x3FF));
            uiUnits = 2;
        }
        auto* pOut = reinterpret_cast<char*>(pBytes);
        const UChar* pIn = aIn;
        UErrorCode eError = U_ZERO_ERROR;
        ucnv_fromUnicode(m_pIcu, &pOut, pOut + MAX_CHARACTER_BYTES, &pIn, aIn + uiUnits, nullptr, true,
                         &eError);
        if (U_FAILURE(eError) || pIn != aIn + uiUnits)
            return 0;
        return static_cast<std::size_t>(pOut - reinterpret_cast<char*>(pBytes));
    }

    iconv_t m_toUnicode = NONE;
    iconv_t m_fromUnicode = NONE;
    UConverter* m_pIcu = nullptr; // owned
};

// How expat reads an encoding that iconv or ICU reads: the map of an XML_Encoding (a byte's
// character, -1 for a byte that begins none, -2 or -3 for the first byte of a character of two or
// three bytes), and the characters of several bytes, as the library reads them.
struct KU_XmlEncodings::Table
{
    int aiMap[256] = {};
    // For each first byte of a character of several bytes, where its 256 entries begin in
    // viCharacters, one for each second byte: the character of two bytes, or for a first byte of
    // three, where 256 more begin, one for each third byte; -1 for none.
    int aiFirst[256] = {};
    std::vector<int> viCharacters;
    // The library that reads the encoding and its name there, for writing characters in it.
    Library eLibrary = Library::Iconv;
    std::string sConverter;
};

namespace
{

using Converter = KU_XmlEncodings::Converter;
using Encoding = KU_XmlEncodings::Encoding;
using Reading = KU_XmlEncodings::Reading;
using Table = KU_XmlEncodings::Table;
constexpr unsigned char LOWEST_LATER_BYTE = KU_XmlEncodings::LOWEST_LATER_BYTE;

// The character of several bytes at p, as many as the table gives its first byte; -1 for none.
int ReadSeveral(const Table& table, const unsigned char* p)
{
    const int iSecond = table.viCharacters[static_cast<std::size_t>(table.aiFirst[p[0]]) + p[1]];
    if (table.aiMap[p[0]] == -2 || iSecond < 0)
        return iSecond;
    return table.viCharacters[static_cast<std::size_t>(iSecond) + p[2]];
}

// Whether the table reads the bytes whole as characters, each of bytes it reads, as expat would read
// them standing in the text.
bool ReadsWhole(const Table& table, const unsigned char* pBytes, std::size_t uiSize)
{
    for (std::size_t i = 0; i < uiSize;)
    {
        const int iFirst = table.aiMap[pBytes[i]];
        const std::size_t uiLength = iFirst >= 0 ? 1 : iFirst == -2 ? 2 : iFirst == -3 ? 3 : 0;
        if (uiLength == 0 || uiSize - i < uiLength || (uiLength > 1 && ReadSeveral(table, pBytes + i) < 0))
            return false;
        i += uiLength;
    }
    return true;
}

// Whether a byte of ASCII is markup to expat or the parser: white space (the parser's also takes in
// the vertical tab and the form feed, which LMBCS begins characters with), letters and digits (names,
// references, keywords), and the other characters of tags, references, comments, CDATA sections,
// instructions and DOCTYPEs with their internal subsets (whose declarations expat reads). The
// others ('$', '@', '\', '^', '`', '{', '}', '~' and the other controls) are text only.
bool IsMarkup(int iByte)
{
    constexpr char MARKUP[] = "!\"#%&'()*+,-./:;<=>?[]_|";
    return iByte == '\t' || iByte == '\n' || iByte == '\v' || iByte == '\f' || iByte == '\r' ||
           iByte == ' ' ||
           (iByte > 0 && iByte < 0x80 && (std::isalnum(iByte) != 0 || std::strchr(MARKUP, iByte) != nullptr));
}

// The table of an encoding, worked out byte by byte; null for one expat cannot read as the parser
// reads it: one whose bytes of markup are other characters (ISO646-DE's '[' and ']', cp864's '%';
// UTF-16 and UTF-7 fail here) or that reads another byte as markup, or that keeps a state across characters
// (ISO-2022-JP: a shift can make the bytes of markup halves of characters). A character of four bytes, or one
// whose later bytes are below LOWEST_LATER_BYTE, is not read (expat refuses the text), nor the NUL byte,
// which ends the parser's text.
std::shared_ptr<Table> Build(Converter& converter)
{
    auto pTable = std::make_shared<Table>();
    bool bRead = true;
    int iCharacter = 0;
    for (int i = 0; i < 256 && bRead; ++i)
    {
        const auto cByte = static_cast<unsigned char>(i);
        switch (converter.Decode(&cByte, 1, &iCharacter))
        {
        case Decoded::Character:
            pTable->aiMap[i] = i != 0 && iCharacter <= 0xFFFF ? iCharacter : -1;
            break;
        case Decoded::Nothing:
            bRead = false;
            break;
        case Decoded::Incomplete:
            pTable->aiMap[i] = -2; // settled below
            break;
        default:
            pTable->aiMap[i] = -1;
            break;
        }
    }
    // The bytes of markup read as themselves, and no other byte as markup (HP Roman-8, as ICU reads
    // it, has a second '-', which would end a comment where the parser reads on).
    for (int i = 0; i < 256 && bRead; ++i)
        bRead = IsMarkup(i) ? pTable->aiMap[i] == i : !IsMarkup(pTable->aiMap[i]);
    // The characters the library reads from each first byte of several, as expat reads them: of
    // the BMP (expat reads no other through a table) and outside ASCII (whose characters are read
    // from their own bytes only), without a later byte below LOWEST_LATER_BYTE.
    std::vector<int>& viCharacters = pTable->viCharacters;
    const auto character = [](Decoded decoded, int iRead, bool bLaterBytes)
    { return decoded == Decoded::Character && iRead >= 0x80 && iRead <= 0xFFFF && bLaterBytes ? iRead : -1; };
    for (int i = 0; i < 256 && bRead; ++i)
    {
        pTable->aiFirst[i] = -1;
        if (pTable->aiMap[i] != -2)
            continue;
        bool abLengths[4] = {};
        const std::size_t uiSeconds = viCharacters.size();
        viCharacters.resize(uiSeconds + 256, -1);
        unsigned char acBytes[3] = {static_cast<unsigned char>(i)};
        for (int j = 0; j < 256 && bRead; ++j)
        {
            acBytes[1] = static_cast<unsigned char>(j);
            const Decoded decoded = converter.Decode(acBytes, 2, &iCharacter);
            bRead = decoded != Decoded::Nothing;
            viCharacters[uiSeconds + j] = character(decoded, iCharacter, j >= LOWEST_LATER_BYTE);
            abLengths[2] = abLengths[2] || viCharacters[uiSeconds + j] >= 0;
            if (decoded != Decoded::Incomplete)
                continue;
            const std::size_t uiThirds = viCharacters.size();
            bool bThird = false;
            viCharacters.resize(uiThirds + 256, -1);
            for (int k = 0; k < 256 && bRead; ++k)
            {
                acBytes[2] = static_cast<unsigned char>(k);
                const Decoded third = converter.Decode(acBytes, 3, &iCharacter);
                bRead = third != Decoded::Nothing;
                viCharacters[uiThirds + k] =
                    character(third, iCharacter, j >= LOWEST_LATER_BYTE && k >= LOWEST_LATER_BYTE);
                bThird = bThird || viCharacters[uiThirds + k] >= 0;
            }
            if (bThird)
                viCharacters[uiSeconds + j] = static_cast<int>(uiThirds);
            else
                viCharacters.resize(uiThirds);
            abLengths[3] = abLengths[3] || bThird;
        }
        // A first byte of characters of two lengths begins none that expat reads.
        if (abLengths[2] != abLengths[3])
        {
            pTable->aiMap[i] = abLengths[2] ? -2 : -3;
            pTable->aiFirst[i] = static_cast<int>(uiSeconds);
        }
        else
        {
            pTable->aiMap[i] = -1;
            viCharacters.resize(uiSeconds);
        }
    }
    return bRead ? pTable : nullptr;
}

// How libxml2 reads a name, and where the table of an encoding read through one comes from.
struct Named
{
    Reading eReading = Reading::Refused;
    Library eLibrary = Library::Iconv;
    std::string sConverter;
};

// Under s_mutex. ICU classes libxml2's own names (UTF-8, ISO-8859-1, ASCII and US-ASCII) as iconv
// and libxml2 read them. Of the other kinds ICU reads, tables of bytes and CESU-8 are read where
// their table passes Build; the others keep a state across characters (ISO-2022, HZ, SCSU, BOCU-1,
// ISCII, UTF-7 and its IMAP form, compound text, stateful EBCDIC), are not read a byte at a time
// (UTF-16, UTF-32) or begin characters with bytes the parser takes for white space (LMBCS), and are
// not read.
Named Resolve(const char* pName)
{
    if (*pName == 0)
        return Named();
    const Converter icu(Library::Icu, pName);
    switch (icu.GetIcuType())
    {
    case UCNV_UTF8:
        return Named{Reading::Utf8, Library::Iconv, std::string()};
    case UCNV_US_ASCII:
        return Named{Reading::Ascii, Library::Iconv, std::string()};
    case UCNV_LATIN_1:
        return Named{Reading::Latin1, Library::Iconv, std::string()};
    default:
        break;
    }
    std::string sUpper = pName;
    for (char& c : sUpper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (Converter(Library::Iconv, pName).IsOpen())
        return Named{Reading::Table, Library::Iconv, sUpper};
    if (icu.IsOpen())
    {
        const UConverterType eType = icu.GetIcuType();
        const bool bTable =
            eType == UCNV_SBCS || eType == UCNV_DBCS || eType == UCNV_MBCS || eType == UCNV_CESU8;
        return bTable ? Named{Reading::Table, Library::Icu, icu.GetIcuName()} : Named();
    }
    if (sUpper == "ISO-LATIN-1")
        return Named{Reading::Latin1, Library::Iconv, std::string()};
    if (sUpper == "ISO-LATIN-2")
        return Resolve("ISO-8859-2");
    return Named();
}

// The character of several bytes at pBytes (as many as the table gives its first byte); -1, which
// expat takes for a character that is not one, where the library reads none.
int ConvertCharacter(void* pData, const char* pBytes)
{
    return ReadSeveral(**static_cast<const std::shared_ptr<const Table>*>(pData),
                       reinterpret_cast<const unsigned char*>(pBytes));
}

void ReleaseTable(void* pData)
{
    delete static_cast<std::shared_ptr<const Table>*>(pData);
}

} // namespace

KU_XmlEncodings::Encoding KU_XmlEncodings::Find(const char* pName)
{
    constexpr std::size_t MAX_KEPT = 256;
    static std::map<std::string, Encoding> s_byName;
    static std::map<std::string, std::shared_ptr<const Table>> s_byConverter;
    const std::lock_guard<std::mutex> lock(s_mutex);
    // Nothing is thrown through expat: an encoding whose table cannot be made is not read.
    try
    {
        const auto found = s_byName.find(pName);
        if (found != s_byName.end())
            return found->second;
        const Named named = Resolve(pName);
        Encoding encoding{named.eReading, nullptr};
        if (named.eReading == Reading::Table)
        {
            const std::string sKey = (named.eLibrary == Library::Icu ? "ICU " : "iconv ") + named.sConverter;
            const auto built = s_byConverter.find(sKey);
            if (built != s_byConverter.end())
            {
                encoding.pTable = built->second;
            }
            else
            {
                Converter converter(named.eLibrary, named.sConverter.c_str());
                std::shared_ptr<Table> pTable = converter.IsOpen() ? Build(converter) : nullptr;
                if (pTable != nullptr)
                {
                    pTable->eLibrary = named.eLibrary;
                    pTable->sConverter = named.sConverter;
                }
                encoding.pTable = pTable;
                if (s_byConverter.size() < MAX_KEPT)
                    s_byConverter.emplace(sKey, encoding.pTable);
            }
            if (encoding.pTable == nullptr)
                encoding.eReading = Reading::Refused;
        }
        if (s_byName.size() < MAX_KEPT)
            s_byName.emplace(pName, encoding);
        return encoding;
    }
    catch (const std::bad_alloc&)
    {
        return Encoding();
    }
}

bool KU_XmlEncodings::Describe(const std::shared_ptr<const Table>& pTable, XML_Encoding* pInfo)
{
    std::copy(std::begin(pTable->aiMap), std::end(pTable->aiMap), std::begin(pInfo->map));
    pInfo->data = nullptr;
    pInfo->convert = nullptr;
    pInfo->release = nullptr;
    if (!pTable->viCharacters.empty())
    {
        // Held by the parser until expat releases it.
        pInfo->data = new (std::nothrow) std::shared_ptr<const Table>(pTable);
        if (pInfo->data == nullptr)
            return false;
        pInfo->convert = ConvertCharacter;
        pInfo->release = ReleaseTable;
    }
    return true;
}

KU_XmlEncodings::CharacterWriter::CharacterWriter(const Encoding& encoding) : m_rEncoding(encoding)
{
    if (encoding.eReading == Reading::Table)
    {
        m_oLock = std::unique_lock<std::mutex>(s_mutex);
        m_pConverter.reset(new (std::nothrow)
                               Converter(encoding.pTable->eLibrary, encoding.pTable->sConverter.c_str()));
    }
}

KU_XmlEncodings::CharacterWriter::~CharacterWriter() = default;

std::size_t KU_XmlEncodings::CharacterWriter::Write(std::uint32_t uiCharacter, unsigned char* pBytes)
{
    switch (m_rEncoding.eReading)
    {
    case Reading::Utf8:
    case Reading::Ascii:
        return WriteUtf8(uiCharacter, pBytes);
    case Reading::Latin1:
        pBytes[0] = static_cast<unsigned char>(uiCharacter);
        return uiCharacter <= 0xFF ? 1 : 0;
    case Reading::Table:
    {
        // Read back as the library reads the text: windows-1255 and -1258 write some characters
        // as a letter and a mark, which their converters join again.
        Converter* const pConverter = m_pConverter.get();
        const std::size_t uiLength =
            pConverter != nullptr && pConverter->IsOpen() ? pConverter->Encode(uiCharacter, pBytes) : 0;
        int iRead = -1;
        const bool bReadBack = uiLength > 0 && ReadsWhole(*m_rEncoding.pTable, pBytes, uiLength) &&
                               pConverter->Decode(pBytes, uiLength, &iRead) == Decoded::Character &&
                               iRead == static_cast<int>(uiCharacter);
        return bReadBack ? uiLength : 0;
    }
    default:
        return 0;
    }
}
