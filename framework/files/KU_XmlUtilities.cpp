#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_FileManager.h"

#include <expat.h>
#include <iconv.h>
#include <tinyxml.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace
{

// Zero bytes behind the text: the parser steps up to three bytes past the terminating NUL of an
// unterminated comment, CDATA section or attribute value before it notices the end.
constexpr std::size_t TEXT_PADDING = 8;

// Stand in the parser's copy of the text for each '>' inside a processing instruction or a DOCTYPE
// before its end, where the parser would end it, and for the 'x' or 'X' of an instruction whose
// target begins with "xml", which the parser would read as a declaration. XML 1.0 text never
// holds these bytes. They reach the parser's tree in unknown nodes only.
constexpr char STAND_IN_GREATER_THAN = '\x01';
constexpr char STAND_IN_SMALL_X = '\x02';
constexpr char STAND_IN_CAPITAL_X = '\x03';

// U+FEFF in UTF-8, a byte-order mark only as the first bytes of a text.
constexpr char FEFF[] = "\xEF\xBB\xBF";
constexpr std::size_t FEFF_LENGTH = sizeof(FEFF) - 1;
// Stands in the parser's copy of a text read as UTF-8 for each U+FEFF of its text, as written or by
// reference: the parser skips FEFF's bytes as a byte-order mark wherever it skips white space, and
// would drop the character at the start of a run of text and after the white space that begins one.
// These bytes would be a surrogate, which no UTF-8 text holds; the parser reads them as one
// character of three bytes, and they are put back in the tree's texts.
constexpr char STAND_IN_FEFF[] = "\xED\xBB\xBF";

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the bytes are UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const char* pText, std::size_t uiSize)
{
    const auto* p = reinterpret_cast<const unsigned char*>(pText);
    const auto* pEnd = p + uiSize;
    while (p < pEnd)
    {
        if (*p < 0x80)
        {
            ++p;
            continue;
        }
        std::ptrdiff_t iLength = 0;
        std::uint32_t uiLeast = 0;
        if ((*p & 0xE0) == 0xC0)
        {
            iLength = 2;
            uiLeast = 0x80;
        }
        else if ((*p & 0xF0) == 0xE0)
        {
            iLength = 3;
            uiLeast = 0x800;
        }
        else if ((*p & 0xF8) == 0xF0)
        {
            iLength = 4;
            uiLeast = 0x10000;
        }
        if (iLength == 0 || pEnd - p < iLength)
            return false;
        std::uint32_t uiCode = *p & (0x7Fu >> iLength);
        for (std::ptrdiff_t i = 1; i < iLength; ++i)
        {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            uiCode = uiCode << 6 | (p[i] & 0x3Fu);
        }
        if (uiCode < uiLeast || uiCode > 0x10FFFF || (uiCode >= 0xD800 && uiCode <= 0xDFFF))
            return false;
        p += iLength;
    }
    return true;
}

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

// The encodings a declaration names, as expat reads them: expat knows UTF-8, UTF-16, ISO-8859-1 and
// US-ASCII itself and asks for any other name (OnUnknownEncoding below). A name is read as libxml2
// reads it: through iconv when iconv has converters for it both ways, else through ICU's (whose
// alias table matches names ignoring case and all but letters and digits: "koi8_r", "x-sjis",
// "utf_8"), else as libxml2's own spelling "ISO-LATIN-1" or "ISO-LATIN-2". A name ICU classes as
// UTF-8, US-ASCII or ISO-8859-1 is read by expat itself; any other through a table of what the
// library that knows the name reads.
namespace encodings
{

// The most bytes of one character the loader writes for a reference: UTF-8's four (the tables
// read three at most).
constexpr std::size_t MAX_CHARACTER_BYTES = 4;

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

// A converter of iconv or ICU, both ways, as libxml2 opens it (ICU's stop at what they cannot
// convert, as iconv's do). Bytes are decoded and characters encoded one at a time from the initial
// state. Used under s_mutex only (Find and CharacterWriter hold it).
class Converter
{
public:
    Converter() = default;
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
struct Table
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

// The lowest byte that may follow the first of a character of several bytes: each byte below it is
// white space, a digit or markup to the parser, which reads a byte at a time (in Shift_JIS, cp932,
// EUC-JP, EUC-KR, GB2312 and Big5 no later byte is below it).
constexpr unsigned char LOWEST_LATER_BYTE = 0x40;

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

// How a declared encoding is read.
enum class Reading
{
    Refused,
    Utf8,   // by expat itself
    Ascii,  // by expat itself, as US-ASCII; its texts are UTF-8 too
    Latin1, // by expat itself, as ISO-8859-1
    Table,  // through the table of the library that knows the name
};

struct Encoding
{
    Reading eReading = Reading::Refused;
    std::shared_ptr<const Table> pTable; // for Reading::Table
};

// Orders every call the loader makes to iconv and ICU (ThreadSanitizer does not see the C library's
// own locks around the converters it loads and unloads, and an ICU converter is not to be shared).
std::mutex s_mutex;

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

// How a declared encoding is read; Reading::Refused for one not read. Worked out once for each name
// as written and the table once for each of the library's names (iconv's in upper case), a few
// milliseconds for an encoding of several bytes a character, and kept: at most MAX_KEPT of each, as
// the names the libraries know are a few thousand, their spellings without end. Any thread: one at
// a time.
Encoding Find(const char* pName)
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

// Fills expat's description of an encoding read through a table; false where it cannot.
bool Describe(const std::shared_ptr<const Table>& pTable, XML_Encoding* pInfo)
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

// Writes characters as a text's encoding writes them, for the references to them: UTF-8's bytes in a
// text read as UTF-8 or US-ASCII, ISO-8859-1's byte, or the bytes the library of a table writes
// where the table reads them as it reads characters standing in the text and the library reads them
// back as that one character. Holds s_mutex while it lives, for a table.
class CharacterWriter
{
public:
    explicit CharacterWriter(const Encoding& encoding) : m_rEncoding(encoding)
    {
        if (encoding.eReading == Reading::Table)
        {
            m_oLock = std::unique_lock<std::mutex>(s_mutex);
            m_oConverter.Open(encoding.pTable->eLibrary, encoding.pTable->sConverter.c_str());
        }
    }

    // Writes the bytes of a character (at most MAX_CHARACTER_BYTES) and gives how many; 0 where the
    // encoding has none.
    std::size_t Write(std::uint32_t uiCharacter, unsigned char* pBytes)
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
            const std::size_t uiLength = m_oConverter.IsOpen() ? m_oConverter.Encode(uiCharacter, pBytes) : 0;
            int iRead = -1;
            const bool bReadBack = uiLength > 0 && ReadsWhole(*m_rEncoding.pTable, pBytes, uiLength) &&
                                   m_oConverter.Decode(pBytes, uiLength, &iRead) == Decoded::Character &&
                                   iRead == static_cast<int>(uiCharacter);
            return bReadBack ? uiLength : 0;
        }
        default:
            return 0;
        }
    }

private:
    const Encoding& m_rEncoding;
    std::unique_lock<std::mutex> m_oLock;
    Converter m_oConverter; // open for a table only
};

} // namespace encodings

// The character of the reference "&#...;" at p, which expat has read as one; 0 where the text up to
// pEnd holds none there.
std::uint32_t ReferencedCharacter(const char* p, const char* pEnd)
{
    if (pEnd - p < 4 || p[0] != '&' || p[1] != '#')
        return 0;
    const bool bHex = p[2] == 'x';
    std::uint32_t uiCharacter = 0;
    for (p += bHex ? 3 : 2; p < pEnd && *p != ';'; ++p)
    {
        const auto c = static_cast<unsigned char>(*p);
        const auto cLower = static_cast<unsigned char>(c | 0x20);
        std::uint32_t uiDigit = 0;
        if (c >= '0' && c <= '9')
            uiDigit = c - '0';
        else if (bHex && cLower >= 'a' && cLower <= 'f')
            uiDigit = cLower - 'a' + 10u;
        else
            return 0;
        uiCharacter = uiCharacter * (bHex ? 16 : 10) + uiDigit;
        if (uiCharacter > 0x10FFFF)
            return 0;
    }
    return p < pEnd ? uiCharacter : 0;
}

// Judges with expat whether a text is well-formed XML in the encoding it declares (as libxml2
// reads the encoding's name), with two relaxations the engine's files need: several top-level
// elements (the scene configuration holds one per scene), and a text without a byte-order mark or
// declaration that is not UTF-8 is read as ISO-8859-1, as the parser reads such a text, a byte a
// character. The parser reads every declared encoding other than UTF-8 a byte a character, which
// finds the markup expat finds: in an encoding of several bytes a character no byte but a
// character's first lies below 0x40, where white space, digits and the markup the parser looks for
// lie (expat refuses a character with such a later byte), but for a ']' that ends a character inside
// a CDATA section. Refused on purpose, beyond what is not well-formed: an internal DTD subset that
// declares an entity or an attribute list or refers to a parameter entity, and a reference to an
// entity that only an external DTD can declare (the parser reads neither, and would drop the
// reference's '&'); an encoding that keeps a state across characters (ISO-2022-JP, UTF-7) or whose
// bytes of markup are other characters (UTF-16); a CDATA section holding the bytes of "]]>", which
// the parser ends early. It also counts the elements and refuses nesting and elements beyond the
// loader's limits, which bound the parser's recursion and its cost: the parser reads a well-formed
// text's elements as expat does (a name it cannot read, such as one holding a character of several
// bytes that ends in a '\' or '[', is an error of its own). It notes where the character references
// outside ASCII of text and attribute values stand, which the parser would write as one byte in a
// text it does not read as UTF-8, and the encoding their characters are to be written in.
//
// Expat reads the text twice. The first reading stops at the first element. The second wraps an
// element of its own around the top-level elements: its start tag goes before the first element,
// after any declaration and DOCTYPE, its end tag after the text. Its direct content may be white
// space, comments and instructions besides the elements, as the top level's may; expat refuses a
// declaration after the first element and anything after the wrapper.
class WellFormedness
{
public:
    // A character reference outside ASCII in text or an attribute value.
    struct Reference
    {
        std::size_t uiAt = 0;  // where it begins
        bool bStandIn = false; // to be written as STAND_IN_FEFF
    };

    struct Verdict
    {
        std::uint64_t uiElements = 0;     // elements of the text
        std::uint64_t uiStandIns = 0;     // bytes written in for the parser in instructions and DOCTYPEs
        std::uint64_t uiFeffStandIns = 0; // U+FEFF of text given STAND_IN_FEFF, as written or by reference
        // The character references outside ASCII of text and attribute values, in order, and the
        // encoding the text is read in.
        std::vector<Reference> vReferences;
        encodings::Encoding oEncoding;
    };

    // Judges the text, writing the stand-ins into it as expat reads it (a refused text is not
    // read further).
    static bool Judge(char* pText, std::size_t uiSize, Verdict* pVerdict)
    {
        const char* pEncoding = ChooseEncoding(pText, uiSize);
        WellFormedness check(pText, uiSize);
        if (check.Run(pEncoding, pVerdict))
            return true;
        if (pEncoding != nullptr || check.m_pOwnEncoding == nullptr)
            return false;
        // A name of an encoding expat reads itself that expat does not know ("UTF8", "utf_8",
        // "latin1", "ascii").
        WellFormedness retry(pText, uiSize);
        return retry.Run(check.m_pOwnEncoding, pVerdict);
    }

private:
    // The element wrapped around the top-level elements.
    static constexpr char WRAPPER_START[] = "<w>";
    static constexpr char WRAPPER_END[] = "</w>";
    static constexpr std::size_t WRAPPER_START_LENGTH = sizeof(WRAPPER_START) - 1;

    WellFormedness(char* pText, std::size_t uiSize) : m_pText(pText), m_uiSize(uiSize) {}

    // The encoding expat reads the text in, as the parser reads it: a byte-order mark makes it
    // UTF-8 whatever a declaration says; else a declaration decides (null: UTF-8 when it names
    // none); a text with neither is read a byte a character, which is UTF-8 where the text is
    // UTF-8 and ISO-8859-1 otherwise.
    static const char* ChooseEncoding(const char* pText, std::size_t uiSize)
    {
        if (IsMarked(pText, uiSize))
            return "UTF-8";
        if (uiSize > 5 && std::memcmp(pText, "<?xml", 5) == 0 && IsXmlSpace(pText[5]))
            return nullptr;
        return IsUtf8(pText, uiSize) ? "UTF-8" : "ISO-8859-1";
    }

    static bool IsMarked(const char* pText, std::size_t uiSize)
    {
        return uiSize >= FEFF_LENGTH && std::memcmp(pText, FEFF, FEFF_LENGTH) == 0;
    }

    XML_Parser NewParser(const char* pEncoding)
    {
        XML_Parser parser = XML_ParserCreate(pEncoding);
        if (parser != nullptr)
            XML_SetUnknownEncodingHandler(parser, OnUnknownEncoding, this);
        return parser;
    }

    // Hands expat the bytes in pieces its length type holds; false on an error or a stop.
    static bool Feed(XML_Parser parser, const char* p, std::size_t uiSize, bool bFinal)
    {
        constexpr std::size_t PIECE = std::size_t{1} << 30;
        for (; uiSize > PIECE; p += PIECE, uiSize -= PIECE)
            if (XML_Parse(parser, p, static_cast<int>(PIECE), XML_FALSE) != XML_STATUS_OK)
                return false;
        return XML_Parse(parser, p, static_cast<int>(uiSize), bFinal ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
    }

    bool Run(const char* pEncoding, Verdict* pVerdict)
    {
        std::size_t uiFirst = 0;
        if (!FindFirstElement(pEncoding, &uiFirst))
            return false;
        m_pParser = NewParser(pEncoding);
        if (m_pParser == nullptr)
            return false;
        m_uiWrapperAt = uiFirst;
        m_bReadAsDeclared = pEncoding == nullptr;
        if (pEncoding != nullptr)
            m_oReading = encodings::Find(pEncoding);
        XML_SetUserData(m_pParser, this);
        XML_SetXmlDeclHandler(m_pParser, OnDeclaration);
        XML_SetDoctypeDeclHandler(m_pParser, OnDoctypeStart, OnDoctypeEnd);
        XML_SetElementHandler(m_pParser, OnStart, OnEnd);
        XML_SetCharacterDataHandler(m_pParser, OnText);
        XML_SetCdataSectionHandler(m_pParser, OnCdataStart, OnCdataEnd);
        XML_SetEntityDeclHandler(m_pParser, OnEntityDeclaration);
        XML_SetAttlistDeclHandler(m_pParser, OnAttributeListDeclaration);
        XML_SetProcessingInstructionHandler(m_pParser, OnInstruction);
        XML_SetCommentHandler(m_pParser, OnComment);
        XML_SetSkippedEntityHandler(m_pParser, OnSkippedEntity);
        const bool bRead = Feed(m_pParser, m_pText, uiFirst, false) &&
                           Feed(m_pParser, WRAPPER_START, WRAPPER_START_LENGTH, false) &&
                           Feed(m_pParser, m_pText + uiFirst, m_uiSize - uiFirst, false) &&
                           Feed(m_pParser, WRAPPER_END, sizeof(WRAPPER_END) - 1, true);
        XML_ParserFree(m_pParser);
        m_pParser = nullptr;
        if (!bRead || m_bRefused)
            return false;
        pVerdict->uiElements = m_uiElements;
        pVerdict->uiStandIns = m_uiStandIns;
        pVerdict->uiFeffStandIns = m_uiFeffStandIns;
        pVerdict->vReferences = std::move(m_vReferences);
        pVerdict->oEncoding = m_oReading;
        return true;
    }

    // The offset of the first element's start tag; false when the text holds none or is not
    // well-formed before it.
    bool FindFirstElement(const char* pEncoding, std::size_t* pFirst)
    {
        struct Search
        {
            XML_Parser parser;
            std::size_t uiFirst;
            bool bFound;
        } search{NewParser(pEncoding), 0, false};
        if (search.parser == nullptr)
            return false;
        XML_SetUserData(search.parser, &search);
        XML_SetStartElementHandler(search.parser,
                                   [](void* pUser, const XML_Char*, const XML_Char**)
                                   {
                                       auto* pSearch = static_cast<Search*>(pUser);
                                       pSearch->uiFirst =
                                           static_cast<std::size_t>(XML_GetCurrentByteIndex(pSearch->parser));
                                       pSearch->bFound = true;
                                       XML_StopParser(pSearch->parser, XML_FALSE);
                                   });
        Feed(search.parser, m_pText, m_uiSize, true);
        XML_ParserFree(search.parser);
        *pFirst = search.uiFirst;
        return search.bFound;
    }

    void Refuse()
    {
        m_bRefused = true;
        XML_StopParser(m_pParser, XML_FALSE);
    }

    // Where the current event begins in the text (events inside the wrapper lie behind its start
    // tag).
    std::size_t EventStart() const
    {
        const auto uiIndex = static_cast<std::size_t>(XML_GetCurrentByteIndex(m_pParser));
        return std::min(uiIndex < m_uiWrapperAt ? uiIndex : uiIndex - WRAPPER_START_LENGTH, m_uiSize);
    }

    std::size_t EventEnd() const
    {
        return std::min(EventStart() + static_cast<std::size_t>(XML_GetCurrentByteCount(m_pParser)),
                        m_uiSize);
    }

    // Every '>' of the text from uiFrom up to uiTo, which expat has read, gets its stand-in.
    void StandInGreaterThan(std::size_t uiFrom, std::size_t uiTo)
    {
        for (std::size_t i = uiFrom; i < uiTo; ++i)
        {
            if (m_pText[i] == '>')
            {
                m_pText[i] = STAND_IN_GREATER_THAN;
                ++m_uiStandIns;
            }
        }
    }

    static WellFormedness* Self(void* pUser) { return static_cast<WellFormedness*>(pUser); }

    // Notes the encoding declared (UTF-8 where the declaration names none). Refused beyond what
    // expat refuses: a version other than "1." and digits, and after a byte-order mark, an encoding
    // other than UTF-8.
    static void OnDeclaration(void* pUser, const XML_Char* pVersion, const XML_Char* pEncoding, int)
    {
        WellFormedness* p = Self(pUser);
        p->m_uiPrologEnd = p->EventEnd();
        if (pEncoding != nullptr)
            p->m_oDeclared = encodings::Find(pEncoding);
        if (p->m_bReadAsDeclared)
            p->m_oReading = p->m_oDeclared;
        const bool bVersion = pVersion != nullptr && std::strncmp(pVersion, "1.", 2) == 0 &&
                              pVersion[2] != 0 &&
                              std::strspn(pVersion + 2, "0123456789") == std::strlen(pVersion + 2);
        if (!bVersion ||
            (IsMarked(p->m_pText, p->m_uiSize) && p->m_oDeclared.eReading != encodings::Reading::Utf8))
            p->Refuse();
    }

    // Called at the '[' of an internal subset, or else at the DOCTYPE's closing '>'.
    static void OnDoctypeStart(void* pUser, const XML_Char*, const XML_Char* pSystemId, const XML_Char*,
                               int iInternalSubset)
    {
        WellFormedness* p = Self(pUser);
        p->m_bExternalDtd = pSystemId != nullptr;
        p->m_uiDoctypeStart = p->m_uiPrologEnd;
        if (iInternalSubset != 0)
            XML_SetDefaultHandlerExpand(p->m_pParser, OnInternalSubset);
    }

    // Called at the DOCTYPE's closing '>'. Every '>' between the end of what comes before the
    // DOCTYPE and this one lies inside the DOCTYPE (its subset's comments and instructions
    // included), where the parser would end it.
    static void OnDoctypeEnd(void* pUser)
    {
        WellFormedness* p = Self(pUser);
        XML_SetDefaultHandlerExpand(p->m_pParser, nullptr);
        p->StandInGreaterThan(p->m_uiDoctypeStart, p->EventStart());
    }

    // The parser reads an internal subset as text only. One that declares no entity and no
    // attribute list means nothing more to expat either (the element and notation declarations
    // change nothing it reads); an entity's or an attribute list's declaration, or a reference to a
    // parameter entity, which could declare them, is refused: expat would expand or add what the
    // parser leaves out.
    static void OnEntityDeclaration(void* pUser, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                    const XML_Char*, const XML_Char*, const XML_Char*)
    {
        Self(pUser)->Refuse();
    }

    static void OnAttributeListDeclaration(void* pUser, const XML_Char*, const XML_Char*, const XML_Char*,
                                           const XML_Char*, int)
    {
        Self(pUser)->Refuse();
    }

    // What the internal subset holds beyond declarations, comments and instructions: white space and
    // references to parameter entities.
    static void OnInternalSubset(void* pUser, const XML_Char* pData, int iLength)
    {
        if (iLength > 0 && pData[0] == '%')
            Self(pUser)->Refuse();
    }

    // Counts the elements and refuses beyond the limits: the parser reads the elements of a
    // well-formed text as expat does, so it nests as deep and reads as many attributes.
    static void OnStart(void* pUser, const XML_Char*, const XML_Char** apAttributes)
    {
        WellFormedness* p = Self(pUser);
        if (p->m_iDepth++ == 0)
            return; // the wrapper
        ++p->m_uiElements;
        int iAttributes = 0;
        while (apAttributes[2 * iAttributes] != nullptr)
            ++iAttributes;
        if (p->m_iDepth - 1 > KU_XmlUtilities::MAX_ELEMENT_DEPTH ||
            iAttributes > KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES ||
            (p->ReadTagReferences(p->EventStart(), p->EventEnd()) && p->m_bExternalDtd))
        {
            p->Refuse();
        }
    }

    // Notes the character references outside ASCII of a start tag's attribute values, where alone a
    // '&' stands in a tag (no later byte of a character is below LOWEST_LATER_BYTE); true where one
    // refers to an entity other than the predefined ones, which expat, given an external DTD, leaves
    // out without a word.
    bool ReadTagReferences(std::size_t uiStart, std::size_t uiEnd)
    {
        bool bUndeclared = false;
        const char* const pEnd = m_pText + uiEnd;
        for (const char* p = m_pText + uiStart;
             (p = static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(pEnd - p)))) !=
             nullptr;
             ++p)
        {
            if (p[1] == '#')
                NoteReference(static_cast<std::size_t>(p - m_pText), false);
            else if (std::strncmp(p + 1, "amp;", 4) != 0 && std::strncmp(p + 1, "lt;", 3) != 0 &&
                     std::strncmp(p + 1, "gt;", 3) != 0 && std::strncmp(p + 1, "apos;", 5) != 0 &&
                     std::strncmp(p + 1, "quot;", 5) != 0)
            {
                bUndeclared = true;
            }
        }
        return bUndeclared;
    }

    // Notes the character reference at uiAt, which expat has read, where its character is outside
    // ASCII; one to U+FEFF in text gets its stand-in where the text is read as UTF-8.
    void NoteReference(std::size_t uiAt, bool bInText)
    {
        const std::uint32_t uiCharacter = ReferencedCharacter(m_pText + uiAt, m_pText + m_uiSize);
        if (uiCharacter < 0x80)
            return;
        const bool bStandIn = bInText && uiCharacter == 0xFEFF && IsReadAsUtf8();
        // Nothing is thrown through expat.
        try
        {
            m_vReferences.push_back(Reference{uiAt, bStandIn});
            m_uiFeffStandIns += bStandIn ? 1 : 0;
        }
        catch (const std::bad_alloc&)
        {
            Refuse();
        }
    }

    static void OnEnd(void* pUser, const XML_Char*) { --Self(pUser)->m_iDepth; }

    bool IsReadAsUtf8() const { return m_oReading.eReading == encodings::Reading::Utf8; }

    // Every U+FEFF of the text from uiFrom up to uiTo, which expat has read, gets its stand-in in a
    // text read as UTF-8.
    void StandInFeff(std::size_t uiFrom, std::size_t uiTo)
    {
        if (!IsReadAsUtf8())
            return;
        char* const pEnd = m_pText + uiTo;
        for (char* p = std::search(m_pText + uiFrom, pEnd, FEFF, FEFF + FEFF_LENGTH); p != pEnd;
             p = std::search(p + FEFF_LENGTH, pEnd, FEFF, FEFF + FEFF_LENGTH))
        {
            std::memcpy(p, STAND_IN_FEFF, FEFF_LENGTH);
            ++m_uiFeffStandIns;
        }
    }

    // Between the top-level elements only white space, as written (no character references).
    // Inside them expat reports a character reference as text of its own, where the text holds it.
    static void OnText(void* pUser, const XML_Char*, int)
    {
        WellFormedness* p = Self(pUser);
        const std::size_t uiStart = p->EventStart();
        if (p->m_iDepth != 1)
        {
            if (p->m_bInCdata)
                return;
            if (p->EventEnd() - uiStart > 2 && p->m_pText[uiStart] == '&' && p->m_pText[uiStart + 1] == '#')
                p->NoteReference(uiStart, true);
            else
                p->StandInFeff(uiStart, p->EventEnd());
            return;
        }
        for (std::size_t i = uiStart, uiEnd = p->EventEnd(); i < uiEnd; ++i)
        {
            if (!IsXmlSpace(p->m_pText[i]))
            {
                p->Refuse();
                return;
            }
        }
    }

    static void OnCdataStart(void* pUser)
    {
        WellFormedness* p = Self(pUser);
        if (p->m_iDepth == 1)
            p->Refuse();
        p->m_uiCdataStart = p->EventStart();
        p->m_bInCdata = true;
    }

    // A CDATA section whose text holds the bytes of "]]>": in an encoding whose characters of several
    // bytes may end in a ']' (Shift_JIS, cp932, Big5), such a character followed by "]>" ends the
    // section where the parser, reading a byte at a time, reads it.
    static void OnCdataEnd(void* pUser)
    {
        WellFormedness* p = Self(pUser);
        p->m_bInCdata = false;
        constexpr std::size_t START_LENGTH = sizeof("<![CDATA[") - 1;
        const std::size_t uiFrom = std::min(p->m_uiCdataStart + START_LENGTH, p->m_uiSize);
        const std::size_t uiTo = std::max(uiFrom, p->EventStart());
        const char* const pFrom = p->m_pText + uiFrom;
        const char* const pEnd = p->m_pText + uiTo;
        constexpr char END[] = "]]>";
        if (std::search(pFrom, pEnd, END, END + 3) != pEnd)
            p->Refuse();
    }

    // A reference in text to an entity that only the external DTD, which is not read, could declare.
    static void OnSkippedEntity(void* pUser, const XML_Char*, int) { Self(pUser)->Refuse(); }

    static void OnComment(void* pUser, const XML_Char*)
    {
        if (Self(pUser)->m_iDepth == 0)
            Self(pUser)->m_uiPrologEnd = Self(pUser)->EventEnd();
    }

    static void OnInstruction(void* pUser, const XML_Char* pTarget, const XML_Char*)
    {
        WellFormedness* p = Self(pUser);
        const std::size_t uiStart = p->EventStart();
        const std::size_t uiEnd = p->EventEnd();
        if (std::strlen(pTarget) >= 3 && (pTarget[0] | 0x20) == 'x' && (pTarget[1] | 0x20) == 'm' &&
            (pTarget[2] | 0x20) == 'l')
        {
            char& cX = p->m_pText[uiStart + 2];
            cX = cX == 'x' ? STAND_IN_SMALL_X : STAND_IN_CAPITAL_X;
            ++p->m_uiStandIns;
        }
        p->StandInGreaterThan(uiStart, uiEnd - 1);
        if (p->m_iDepth == 0)
            p->m_uiPrologEnd = uiEnd;
    }

    // A declared encoding expat does not know, read through a table in the encoding the name gives,
    // as libxml2 reads the name; a name of an encoding expat reads itself ("UTF8", "utf_8", "latin1")
    // is noted for a second reading in it (expat reads no character beyond U+FFFF through a table).
    static int OnUnknownEncoding(void* pUser, const XML_Char* pName, XML_Encoding* pInfo)
    {
        const encodings::Encoding encoding = encodings::Find(pName);
        switch (encoding.eReading)
        {
        case encodings::Reading::Table:
            return encodings::Describe(encoding.pTable, pInfo) ? XML_STATUS_OK : XML_STATUS_ERROR;
        case encodings::Reading::Utf8:
            Self(pUser)->m_pOwnEncoding = "UTF-8";
            break;
        case encodings::Reading::Ascii:
            Self(pUser)->m_pOwnEncoding = "US-ASCII";
            break;
        case encodings::Reading::Latin1:
            Self(pUser)->m_pOwnEncoding = "ISO-8859-1";
            break;
        default:
            break;
        }
        return XML_STATUS_ERROR;
    }

    char* m_pText;
    std::size_t m_uiSize;
    XML_Parser m_pParser = nullptr;
    std::size_t m_uiWrapperAt = 0;    // where the wrapper's start tag goes
    std::size_t m_uiPrologEnd = 0;    // end of the last declaration, comment or instruction before it
    std::size_t m_uiDoctypeStart = 0; // where the DOCTYPE begins, with white space before it
    std::size_t m_uiCdataStart = 0;   // where the CDATA section being read begins
    int m_iDepth = 0;                 // 1 in the wrapper
    std::uint64_t m_uiElements = 0;   // not counting the wrapper
    std::uint64_t m_uiStandIns = 0;
    std::uint64_t m_uiFeffStandIns = 0;
    std::vector<Reference> m_vReferences;                               // as Verdict holds them
    encodings::Encoding m_oDeclared{encodings::Reading::Utf8, nullptr}; // as the declaration names it
    encodings::Encoding m_oReading{encodings::Reading::Utf8, nullptr};  // the encoding the text is read in
    bool m_bReadAsDeclared = false; // whether the declaration decides m_oReading
    const char* m_pOwnEncoding =
        nullptr; // the name expat knows of the encoding declared, for a second reading
    bool m_bExternalDtd = false;
    bool m_bRefused = false;
    bool m_bInCdata = false;
};

// What the parser's tree holds of what the loader wrote in for it.
struct Restored
{
    std::uint64_t uiElements = 0;
    std::uint64_t uiStandIns = 0;     // put back in unknown nodes
    std::uint64_t uiFeffStandIns = 0; // put back in texts
};

// Counts the document's elements and the stand-ins of its unknown nodes (instructions and DOCTYPEs)
// and, where the verdict has any, of its texts, putting back the bytes they stand in for. Without
// recursion: depth costs no stack.
void CountElementsRestoring(TiXmlDocument* pDocument, const WellFormedness::Verdict& verdict,
                            Restored* pRestored)
{
    TiXmlNode* pNode = pDocument->FirstChild();
    while (pNode != nullptr)
    {
        if (pNode->ToElement() != nullptr)
        {
            ++pRestored->uiElements;
        }
        else if (verdict.uiFeffStandIns != 0 && pNode->ToText() != nullptr)
        {
            std::string sValue = pNode->ValueStr();
            const std::uint64_t uiBefore = pRestored->uiFeffStandIns;
            for (std::size_t uiAt = sValue.find(STAND_IN_FEFF); uiAt != std::string::npos;
                 uiAt = sValue.find(STAND_IN_FEFF, uiAt + FEFF_LENGTH))
            {
                sValue.replace(uiAt, FEFF_LENGTH, FEFF);
                ++pRestored->uiFeffStandIns;
            }
            if (pRestored->uiFeffStandIns != uiBefore)
                pNode->SetValue(sValue);
        }
        else if (verdict.uiStandIns != 0 && pNode->ToUnknown() != nullptr)
        {
            std::string sValue = pNode->ValueStr();
            for (char& c : sValue)
            {
                if (c == STAND_IN_GREATER_THAN || c == STAND_IN_SMALL_X || c == STAND_IN_CAPITAL_X)
                {
                    c = c == STAND_IN_GREATER_THAN ? '>' : c == STAND_IN_SMALL_X ? 'x' : 'X';
                    ++pRestored->uiStandIns;
                }
            }
            pNode->SetValue(sValue);
        }
        if (pNode->FirstChild() != nullptr)
        {
            pNode = pNode->FirstChild();
            continue;
        }
        while (pNode != nullptr && pNode->NextSibling() == nullptr)
            pNode = pNode->Parent() != pDocument ? pNode->Parent() : nullptr;
        if (pNode != nullptr)
            pNode = pNode->NextSibling();
    }
}

// Whether the parser read a text without NUL bytes to its end, given where its document parse
// stopped (pEnd) without an error: behind expat's judgement, a check of the parser's own reading. At the top
// level it stops, without an error, at the first text that is no markup: text between or after elements, or
// what follows the first '>' of a DOCTYPE's internal subset. Where it reaches the end it returns the end, or
// null when the text ends right after a node; null too when it breaks off inside a declaration's attribute,
// again without an error. A declaration belongs before the elements, so a text whose last node is one is
// taken as not read whole.
bool IsReadWhole(const TiXmlDocument& document, const char* pEnd)
{
    if (pEnd != nullptr && *pEnd != 0)
        return false;
    const TiXmlNode* pLast = document.LastChild();
    return pLast == nullptr || pLast->ToDeclaration() == nullptr;
}

// Writes in place of each character reference the verdict notes the character's bytes in the text's
// encoding, as if the character stood there (the parser writes the low byte of its number in a text
// it does not read as UTF-8), or the stand-in the verdict asks for, moving the text between them
// forward, and zeroes the bytes it frees at the end. False, for a text the parser cannot read as
// written, where the encoding has no bytes that it reads back as the character.
bool WriteReferencedCharacters(char* pText, std::size_t uiSize, const WellFormedness::Verdict& verdict)
{
    // The shortest references outside ASCII are longer than the bytes of any character.
    static_assert(sizeof("&#128;") - 1 >= encodings::MAX_CHARACTER_BYTES, "a reference holds its character");
    static_assert(sizeof("&#x80;") - 1 >= encodings::MAX_CHARACTER_BYTES, "a reference holds its character");
    encodings::CharacterWriter writer(verdict.oEncoding);
    std::size_t uiTo = 0;
    std::size_t uiFrom = 0;
    for (const WellFormedness::Reference& reference : verdict.vReferences)
    {
        const std::size_t uiAt = reference.uiAt;
        std::memmove(pText + uiTo, pText + uiFrom, uiAt - uiFrom);
        uiTo += uiAt - uiFrom;
        const auto* pSemicolon = static_cast<const char*>(std::memchr(pText + uiAt, ';', uiSize - uiAt));
        unsigned char acBytes[encodings::MAX_CHARACTER_BYTES] = {};
        std::size_t uiLength = 0;
        if (reference.bStandIn)
        {
            std::memcpy(acBytes, STAND_IN_FEFF, FEFF_LENGTH);
            uiLength = FEFF_LENGTH;
        }
        else
        {
            uiLength = writer.Write(ReferencedCharacter(pText + uiAt, pText + uiSize), acBytes);
        }
        if (pSemicolon == nullptr || uiLength == 0)
            return false;
        std::memcpy(pText + uiTo, acBytes, uiLength);
        uiTo += uiLength;
        uiFrom = static_cast<std::size_t>(pSemicolon - pText) + 1;
    }
    std::memmove(pText + uiTo, pText + uiFrom, uiSize - uiFrom);
    uiTo += uiSize - uiFrom;
    std::memset(pText + uiTo, 0, uiSize - uiTo);
    return true;
}

} // namespace

TiXmlDocument* KU_XmlUtilities::LoadXmlDocument(KF_FileManager* pFileManager, const KB_String& sPath)
{
    if (pFileManager == nullptr)
        return nullptr;
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (!pFileManager->ReadFile(sPath, &uiSize, &pData))
        return nullptr;
    // The parser reads a little past the end of malformed text: parse a padded copy.
    char* pText = nullptr;
    if (uiSize < std::numeric_limits<std::size_t>::max() - TEXT_PADDING)
        pText = new (std::nothrow) char[static_cast<std::size_t>(uiSize) + TEXT_PADDING];
    if (pText != nullptr)
    {
        std::memcpy(pText, pData, static_cast<std::size_t>(uiSize));
        std::memset(pText + uiSize, 0, TEXT_PADDING);
    }
    pFileManager->RemoveReference(sPath);
    const std::unique_ptr<char[]> text(pText);
    // The parser takes a NUL byte for the end of the text: it would leave the rest unread (and
    // it does not read UTF-16).
    WellFormedness::Verdict verdict;
    if (pText == nullptr || std::memchr(pText, 0, static_cast<std::size_t>(uiSize)) != nullptr ||
        !WellFormedness::Judge(pText, static_cast<std::size_t>(uiSize), &verdict) ||
        (!verdict.vReferences.empty() &&
         !WriteReferencedCharacters(pText, static_cast<std::size_t>(uiSize), verdict)))
    {
        return nullptr;
    }

    auto* pDocument = new (std::nothrow) TiXmlDocument();
    if (pDocument == nullptr)
        return nullptr;
    // No row and column tracking: nothing reads them, and counting them walks every character of
    // the text a second time (a seventh of a large model document's parse).
    pDocument->SetTabSize(0);
    const char* pEnd = pDocument->Parse(pText, nullptr, TIXML_ENCODING_UNKNOWN);
    // Where the parser reads the elements otherwise than expat (a name it does not take for an
    // element's), or finds a stand-in elsewhere than where it was written (instructions and DOCTYPEs,
    // texts), the document is not what the text says.
    Restored restored;
    const bool bRead = !pDocument->Error() && IsReadWhole(*pDocument, pEnd);
    if (bRead)
        CountElementsRestoring(pDocument, verdict, &restored);
    if (!bRead || restored.uiElements != verdict.uiElements || restored.uiStandIns != verdict.uiStandIns ||
        restored.uiFeffStandIns != verdict.uiFeffStandIns)
    {
        delete pDocument;
        return nullptr;
    }
    return pDocument;
}
