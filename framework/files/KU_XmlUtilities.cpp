#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_FileManager.h"

#include <expat.h>
#include <iconv.h>
#include <tinyxml.h>

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

// The encodings a declaration names, as expat reads them: expat knows UTF-8, UTF-16, ISO-8859-1 and
// US-ASCII itself and asks for any other name (OnUnknownEncoding below), which is read through iconv.
namespace encodings
{

// Hands on the characters of a declared name as ICU matches names, which is how libxml2 reads a
// name iconv does not know: letters in lower case and digits only, without a zero that begins a
// number of several digits ("Latin-1", "iso8859_1" and "ISO_8859-01" give "latin1" and "iso88591").
template <typename Take>
void ForEachCompacted(const char* pName, Take take)
{
    bool bAfterDigit = false;
    for (const char* p = pName; *p != 0; ++p)
    {
        const auto c = static_cast<unsigned char>(*p);
        if (std::isalnum(c) == 0)
        {
            bAfterDigit = false;
            continue;
        }
        if (c == '0' && !bAfterDigit && std::isdigit(static_cast<unsigned char>(p[1])) != 0)
            continue;
        if (std::isdigit(c) != 0 && c != '0')
            bAfterDigit = true;
        else if (std::isdigit(c) == 0)
            bAfterDigit = false;
        take(static_cast<char>(std::tolower(c)));
    }
}

std::string Compact(const char* pName)
{
    std::string sCompact;
    ForEachCompacted(pName, [&sCompact](char c) { sCompact += c; });
    return sCompact;
}

// Whether a name is UTF-8's as ICU matches names ("UTF8", "utf_8"); allocates nothing.
bool IsUtf8Name(const char* pName)
{
    constexpr char UTF8[] = "utf8";
    std::size_t uiMatched = 0;
    bool bOther = false;
    ForEachCompacted(pName,
                     [&](char c)
                     {
                         bOther = bOther || uiMatched == sizeof(UTF8) - 1 || c != UTF8[uiMatched];
                         ++uiMatched;
                     });
    return !bOther && uiMatched == sizeof(UTF8) - 1;
}

bool IconvKnows(const char* pName)
{
    const iconv_t convert = iconv_open("UTF-32LE", pName);
    if (convert == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(convert);
    return true;
}

// The name iconv knows a declared encoding by, as libxml2 reads the name: iconv's own names (in any
// case), libxml2's own spellings of ISO-8859-1 and -2, then, as ICU matches names, these spellings of
// the encodings iconv reads (ICU's Latin-5, -6, -8 and -9 are ISO-8859-9, -10, -14 and -15, as iconv's
// are). Empty for a name neither reads.
std::string IconvName(const char* pName)
{
    if (IconvKnows(pName))
        return pName;
    if (strcasecmp(pName, "ISO-LATIN-1") == 0)
        return "ISO-8859-1";
    if (strcasecmp(pName, "ISO-LATIN-2") == 0)
        return "ISO-8859-2";
    struct Alias
    {
        const char* pIconvName;
        const char* pSpellings; // as Compact gives them, each between spaces
    };
    static constexpr Alias s_aAliases[] = {
        {"ISO-8859-1", " latin1 l1 iso88591 cp819 ibm819 isoir100 csisolatin1 iso885911987 "},
        {"ISO-8859-2", " latin2 l2 "},
        {"ISO-8859-3", " latin3 l3 "},
        {"ISO-8859-4", " latin4 l4 "},
        {"ISO-8859-9", " latin5 l5 "},
        {"ISO-8859-10", " latin6 l6 "},
        {"ISO-8859-14", " latin8 l8 "},
        {"ISO-8859-15", " latin9 l9 "},
        {"ANSI_X3.4-1968", " usascii ascii "},
        {"SHIFT_JIS", " shiftjis sjis "},
        {"CP932", " windows31j ms932 cp932 "},
        {"EUC-JP", " eucjp "},
        {"EUC-KR", " euckr "},
        {"GB2312", " gb2312 "},
        {"BIG5", " big5 "}};
    const std::string sCompact = Compact(pName);
    for (const Alias& alias : s_aAliases)
        if (!sCompact.empty() && std::strstr(alias.pSpellings, (" " + sCompact + " ").c_str()) != nullptr)
            return alias.pIconvName;
    // ISO-8859-2 to -10 and -13 to -15; the Windows code pages 874 and 1250 to 1258.
    const auto numbered = [&sCompact](const char* pPrefix, int* pNumber)
    {
        const std::size_t uiLength = std::strlen(pPrefix);
        if (sCompact.compare(0, uiLength, pPrefix) != 0 || sCompact.size() == uiLength ||
            sCompact.size() > uiLength + 4 ||
            sCompact.find_first_not_of("0123456789", uiLength) != std::string::npos)
        {
            return false;
        }
        *pNumber = 0;
        for (std::size_t i = uiLength; i < sCompact.size(); ++i)
            *pNumber = *pNumber * 10 + (sCompact[i] - '0');
        return true;
    };
    int iNumber = 0;
    if (numbered("iso8859", &iNumber) &&
        ((iNumber >= 2 && iNumber <= 10) || (iNumber >= 13 && iNumber <= 15)))
        return "ISO-8859-" + std::to_string(iNumber);
    if ((numbered("windows", &iNumber) || numbered("cp", &iNumber)) &&
        (iNumber == 874 || (iNumber >= 1250 && iNumber <= 1258)))
    {
        return "CP" + std::to_string(iNumber);
    }
    return std::string();
}

// How expat reads an encoding that iconv reads: the map of an XML_Encoding (a byte's character,
// -1 for a byte that begins none, -2 or -3 for the first byte of a character of two or three bytes),
// and the characters of several bytes, as iconv reads them.
struct Table
{
    int aiMap[256] = {};
    // For each first byte of a character of several bytes, where its 256 entries begin in
    // viCharacters, one for each second byte: the character of two bytes, or for a first byte of
    // three, where 256 more begin, one for each third byte; -1 for none.
    int aiFirst[256] = {};
    std::vector<int> viCharacters;
};

enum class Decoded
{
    Character,  // one character
    Nothing,    // a shift of state: no character
    Several,    // several characters
    Invalid,    // not a character
    Incomplete, // the beginning of one
};

// Decodes the bytes from the converter's initial state, with what a converter that combines
// characters holds back (windows-1255 and -1258 hold a letter for the marks that may follow it).
Decoded Decode(iconv_t convert, const unsigned char* pBytes, std::size_t uiSize, int* pCharacter)
{
    iconv(convert, nullptr, nullptr, nullptr, nullptr);
    unsigned char acOut[16] = {};
    char* pIn = reinterpret_cast<char*>(const_cast<unsigned char*>(pBytes));
    auto* pOut = reinterpret_cast<char*>(acOut);
    std::size_t uiIn = uiSize;
    std::size_t uiOut = sizeof(acOut);
    if (iconv(convert, &pIn, &uiIn, &pOut, &uiOut) == static_cast<std::size_t>(-1) ||
        iconv(convert, nullptr, nullptr, &pOut, &uiOut) == static_cast<std::size_t>(-1))
    {
        return errno == EINVAL ? Decoded::Incomplete : errno == E2BIG ? Decoded::Several : Decoded::Invalid;
    }
    const std::size_t uiCharacters = (sizeof(acOut) - uiOut) / 4;
    if (uiCharacters != 1)
        return uiCharacters == 0 ? Decoded::Nothing : Decoded::Several;
    *pCharacter = acOut[0] | acOut[1] << 8 | acOut[2] << 16 | acOut[3] << 24;
    return Decoded::Character;
}

// The lowest byte that may follow the first of a character of several bytes: each byte below it is
// white space, a digit or markup to the parser, which reads a byte at a time (in Shift_JIS, cp932,
// EUC-JP, EUC-KR, GB2312 and Big5 no later byte is below it).
constexpr unsigned char LOWEST_LATER_BYTE = 0x40;

// The table of an encoding iconv reads, worked out byte by byte; null for one expat cannot read as
// the parser reads it: one whose bytes of white space, digits, letters and markup are other
// characters, or that keeps a state across characters (ISO-2022-JP, UTF-7: a shift can make the
// bytes of markup halves of characters; UTF-16 fails the first test). A character of four bytes, or
// one whose later bytes are below LOWEST_LATER_BYTE, is not read (expat refuses the text).
std::shared_ptr<const Table> Build(const char* pIconvName)
{
    const iconv_t convert = iconv_open("UTF-32LE", pIconvName);
    if (convert == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    auto pTable = std::make_shared<Table>();
    bool bRead = true;
    int iCharacter = 0;
    for (int i = 0; i < 256 && bRead; ++i)
    {
        const auto cByte = static_cast<unsigned char>(i);
        switch (Decode(convert, &cByte, 1, &iCharacter))
        {
        case Decoded::Character:
            pTable->aiMap[i] = iCharacter <= 0xFFFF ? iCharacter : -1;
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
    // The bytes of ASCII read as themselves, but for '\' and '~' (Shift_JIS reads a yen sign and
    // an overline), which are no markup.
    for (int i = 0; i < 128 && bRead; ++i)
    {
        const bool bAscii = i == '\t' || i == '\n' || i == '\r' || (i >= 0x20 && i < 0x7F);
        if (bAscii && i != '\\' && i != '~' && pTable->aiMap[i] != i)
            bRead = false;
    }
    // The characters iconv reads from each first byte of several, as expat reads them: of the BMP
    // (expat reads no other through a table), without a later byte below LOWEST_LATER_BYTE.
    std::vector<int>& viCharacters = pTable->viCharacters;
    const auto character = [](Decoded decoded, int iRead, bool bLaterBytes)
    { return decoded == Decoded::Character && iRead <= 0xFFFF && bLaterBytes ? iRead : -1; };
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
            const Decoded decoded = Decode(convert, acBytes, 2, &iCharacter);
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
                const Decoded third = Decode(convert, acBytes, 3, &iCharacter);
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
    iconv_close(convert);
    return bRead ? pTable : nullptr;
}

// The table of a declared encoding; null for one not read. Worked out once for each name as
// written and each of iconv's names (in upper case), a few milliseconds for an encoding of several
// bytes a character, and kept: at most MAX_KEPT of each, as the names iconv knows are a few hundred,
// their spellings without end. Any thread: one at a time, which also orders every call the loader
// makes to iconv (ThreadSanitizer does not see the C library's own locks around the converters it
// loads and unloads).
std::shared_ptr<const Table> Find(const char* pName)
{
    constexpr std::size_t MAX_KEPT = 256;
    static std::mutex s_mutex;
    static std::map<std::string, std::shared_ptr<const Table>> s_byName;
    static std::map<std::string, std::shared_ptr<const Table>> s_byIconvName;
    const std::lock_guard<std::mutex> lock(s_mutex);
    const auto found = s_byName.find(pName);
    if (found != s_byName.end())
        return found->second;
    std::shared_ptr<const Table> pTable;
    const std::string sIconvName = IconvName(pName);
    if (!sIconvName.empty())
    {
        std::string sKey = sIconvName;
        for (char& c : sKey)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto built = s_byIconvName.find(sKey);
        if (built != s_byIconvName.end())
        {
            pTable = built->second;
        }
        else
        {
            pTable = Build(sIconvName.c_str());
            if (s_byIconvName.size() < MAX_KEPT)
                s_byIconvName.emplace(sKey, pTable);
        }
    }
    if (s_byName.size() < MAX_KEPT)
        s_byName.emplace(pName, pTable);
    return pTable;
}

// The character of several bytes at pBytes (as many as the table gives its first byte); -1, which
// expat takes for a character that is not one, where iconv reads none.
int ConvertCharacter(void* pData, const char* pBytes)
{
    const Table& table = **static_cast<const std::shared_ptr<const Table>*>(pData);
    const auto* p = reinterpret_cast<const unsigned char*>(pBytes);
    const int iSecond = table.viCharacters[static_cast<std::size_t>(table.aiFirst[p[0]]) + p[1]];
    if (table.aiMap[p[0]] == -2 || iSecond < 0)
        return iSecond;
    return table.viCharacters[static_cast<std::size_t>(iSecond) + p[2]];
}

void ReleaseTable(void* pData)
{
    delete static_cast<std::shared_ptr<const Table>*>(pData);
}

// Fills expat's description of a declared encoding it does not know; false for one it is not to
// read.
bool Describe(const char* pName, XML_Encoding* pInfo)
{
    std::shared_ptr<const Table> pTable = Find(pName);
    if (pTable == nullptr)
        return false;
    std::copy(std::begin(pTable->aiMap), std::end(pTable->aiMap), std::begin(pInfo->map));
    pInfo->data = nullptr;
    pInfo->convert = nullptr;
    pInfo->release = nullptr;
    if (!pTable->viCharacters.empty())
    {
        // Held by the parser until expat releases it.
        pInfo->data = new std::shared_ptr<const Table>(std::move(pTable));
        pInfo->convert = ConvertCharacter;
        pInfo->release = ReleaseTable;
    }
    return true;
}

} // namespace encodings

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
// bytes of ASCII are other characters (UTF-16); a CDATA section holding the bytes of "]]>", which
// the parser ends early. It also counts the elements and refuses nesting and elements beyond the
// loader's limits, which bound the parser's recursion and its cost: the parser reads a well-formed
// text's elements as expat does (a name it cannot read, such as one holding a character of several
// bytes that ends in a '\' or '[', is an error of its own).
//
// Expat reads the text twice. The first reading stops at the first element. The second wraps an
// element of its own around the top-level elements: its start tag goes before the first element,
// after any declaration and DOCTYPE, its end tag after the text. Its direct content may be white
// space, comments and instructions besides the elements, as the top level's may; expat refuses a
// declaration after the first element and anything after the wrapper.
class WellFormedness
{
public:
    struct Verdict
    {
        std::uint64_t uiElements = 0; // elements of the text
        std::uint64_t uiStandIns = 0; // bytes written in for the parser
    };

    // Judges the text, writing the stand-ins into it as expat reads it (a refused text is not
    // read further).
    static bool Judge(char* pText, std::size_t uiSize, Verdict* pVerdict)
    {
        const char* pEncoding = ChooseEncoding(pText, uiSize);
        WellFormedness check(pText, uiSize);
        if (check.Run(pEncoding, pVerdict))
            return true;
        if (pEncoding != nullptr || !check.m_bUtf8Alias)
            return false;
        // "UTF8", which the parser reads as UTF-8 and expat does not know.
        WellFormedness retry(pText, uiSize);
        return retry.Run("UTF-8", pVerdict);
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
        return uiSize >= 3 && std::memcmp(pText, "\xEF\xBB\xBF", 3) == 0;
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

    // Refused beyond what expat refuses: a version other than "1." and digits, and after a
    // byte-order mark, an encoding other than UTF-8.
    static void OnDeclaration(void* pUser, const XML_Char* pVersion, const XML_Char* pEncoding, int)
    {
        WellFormedness* p = Self(pUser);
        p->m_uiPrologEnd = p->EventEnd();
        const bool bVersion = pVersion != nullptr && std::strncmp(pVersion, "1.", 2) == 0 &&
                              pVersion[2] != 0 &&
                              std::strspn(pVersion + 2, "0123456789") == std::strlen(pVersion + 2);
        if (!bVersion ||
            (IsMarked(p->m_pText, p->m_uiSize) && pEncoding != nullptr && !encodings::IsUtf8Name(pEncoding)))
        {
            p->Refuse();
        }
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
            (p->m_bExternalDtd &&
             RefersToUndeclared(p->m_pText + p->EventStart(), p->EventEnd() - p->EventStart())))
        {
            p->Refuse();
        }
    }

    // Whether a start tag's attribute values refer to an entity other than the predefined ones,
    // which expat, given an external DTD, leaves out without a word.
    static bool RefersToUndeclared(const char* pTag, std::size_t uiSize)
    {
        const char* const pEnd = pTag + uiSize;
        for (const char* p = pTag;
             (p = static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(pEnd - p)))) !=
             nullptr;
             ++p)
        {
            if (p[1] != '#' && std::strncmp(p + 1, "amp;", 4) != 0 && std::strncmp(p + 1, "lt;", 3) != 0 &&
                std::strncmp(p + 1, "gt;", 3) != 0 && std::strncmp(p + 1, "apos;", 5) != 0 &&
                std::strncmp(p + 1, "quot;", 5) != 0)
            {
                return true;
            }
        }
        return false;
    }

    static void OnEnd(void* pUser, const XML_Char*) { --Self(pUser)->m_iDepth; }

    // Between the top-level elements only white space, as written (no character references).
    static void OnText(void* pUser, const XML_Char*, int)
    {
        WellFormedness* p = Self(pUser);
        if (p->m_iDepth != 1)
            return;
        for (std::size_t i = p->EventStart(), uiEnd = p->EventEnd(); i < uiEnd; ++i)
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
    }

    // A CDATA section whose text holds the bytes of "]]>": in an encoding whose characters of several
    // bytes may end in a ']' (Shift_JIS, cp932, Big5), such a character followed by "]>" ends the
    // section where the parser, reading a byte at a time, reads it.
    static void OnCdataEnd(void* pUser)
    {
        WellFormedness* p = Self(pUser);
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

    // A declared encoding expat does not know, read through iconv in the encoding the name gives, as
    // libxml2 reads the name; a name of UTF-8 ("UTF8", "utf_8") is noted for a second reading as UTF-8
    // (expat reads no character beyond U+FFFF through iconv).
    static int OnUnknownEncoding(void* pUser, const XML_Char* pName, XML_Encoding* pInfo)
    {
        if (encodings::IsUtf8Name(pName))
        {
            Self(pUser)->m_bUtf8Alias = true;
            return XML_STATUS_ERROR;
        }
        // Nothing is thrown through expat: a table that cannot be made refuses the text.
        try
        {
            return encodings::Describe(pName, pInfo) ? XML_STATUS_OK : XML_STATUS_ERROR;
        }
        catch (const std::bad_alloc&)
        {
            return XML_STATUS_ERROR;
        }
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
    bool m_bExternalDtd = false;
    bool m_bRefused = false;
    bool m_bUtf8Alias = false;
};

// Counts the document's elements and, in its unknown nodes (instructions and DOCTYPEs), the
// stand-ins, putting back the bytes they stand in for. Without recursion: depth costs no stack.
void CountElementsRestoring(TiXmlDocument* pDocument, bool bRestore, std::uint64_t* pElements,
                            std::uint64_t* pStandIns)
{
    TiXmlNode* pNode = pDocument->FirstChild();
    while (pNode != nullptr)
    {
        if (pNode->ToElement() != nullptr)
        {
            ++*pElements;
        }
        else if (bRestore && pNode->ToUnknown() != nullptr)
        {
            std::string sValue = pNode->ValueStr();
            for (char& c : sValue)
            {
                if (c == STAND_IN_GREATER_THAN || c == STAND_IN_SMALL_X || c == STAND_IN_CAPITAL_X)
                {
                    c = c == STAND_IN_GREATER_THAN ? '>' : c == STAND_IN_SMALL_X ? 'x' : 'X';
                    ++*pStandIns;
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
        !WellFormedness::Judge(pText, static_cast<std::size_t>(uiSize), &verdict))
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
    // element's), or finds a stand-in elsewhere than in an instruction or DOCTYPE, the document is
    // not what the text says.
    std::uint64_t uiElements = 0;
    std::uint64_t uiStandIns = 0;
    const bool bRead = !pDocument->Error() && IsReadWhole(*pDocument, pEnd);
    if (bRead)
        CountElementsRestoring(pDocument, verdict.uiStandIns != 0, &uiElements, &uiStandIns);
    if (!bRead || uiElements != verdict.uiElements || uiStandIns != verdict.uiStandIns)
    {
        delete pDocument;
        return nullptr;
    }
    return pDocument;
}
