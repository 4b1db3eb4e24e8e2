#include "framework/files/KU_XmlUtilities.h"

#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "tests/support/MemoryRepository.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <tinyxml.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

std::string Nested(const std::string& sOpen, const std::string& sClose, int iDepth)
{
    std::string sText;
    for (int i = 0; i < iDepth; ++i)
        sText += sOpen;
    for (int i = 0; i < iDepth; ++i)
        sText += sClose;
    return sText;
}

// An element named sName holding iCount attributes a0="0" a1="1" ..., self-closed.
std::string WithAttributes(const std::string& sName, int iCount)
{
    std::string sText = "<" + sName;
    for (int i = 0; i < iCount; ++i)
        sText += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    return sText + "/>";
}

// The most attributes any element of the node's subtree holds.
int MostAttributes(const TiXmlNode* pNode)
{
    int iMost = 0;
    if (const TiXmlElement* pElement = pNode->ToElement())
        for (const TiXmlAttribute* p = pElement->FirstAttribute(); p != nullptr; p = p->Next())
            ++iMost;
    for (const TiXmlNode* pChild = pNode->FirstChild(); pChild != nullptr; pChild = pChild->NextSibling())
        iMost = std::max(iMost, MostAttributes(pChild));
    return iMost;
}

// A small random number source with a fixed seed.
class Random
{
public:
    explicit Random(std::uint32_t uiSeed) : m_uiState(uiSeed) {}
    std::uint32_t Next(std::uint32_t uiRange)
    {
        m_uiState = m_uiState * 1664525u + 1013904223u;
        return (m_uiState >> 8) % uiRange;
    }
    template <typename T, std::size_t N>
    const T& Pick(const T (&aItems)[N])
    {
        return aItems[Next(static_cast<std::uint32_t>(N))];
    }

private:
    std::uint32_t m_uiState;
};

enum class Verdict
{
    Accepted,
    Refused,
    // Refused by the loader on purpose (Exemption says why).
    Exempt
};

// Why a document libxml2 reads is refused on purpose.
enum class Exemption
{
    None,
    // Deeper or holding more attributes than the loader's limits.
    Limits,
    // A reference to an entity that only an external DTD could declare, or an internal subset that
    // declares an entity or refers to a parameter entity.
    Entities,
    // An internal subset that declares an attribute list.
    AttributeLists,
    // An encoding that keeps a state across characters, whose bytes can hide markup (ISO-2022-JP).
    StatefulEncoding,
    // UTF-16 or UTF-32 (UCS-2, UCS-4), with a byte-order mark or declared: markup is not written in
    // single bytes.
    WideEncoding,
    // An encoding in which a byte that markup uses reads as another character (EBCDIC; '%' in
    // cp864), or another byte reads as one (0xBC is '<' in ISIRI-3342).
    MarkupChanged,
    // A CDATA section whose text, in the document's encoding, holds the bytes of "]]>": read a byte
    // at a time it ends early.
    CdataEndedEarly,
    // A character, written or referred to, whose bytes in the document's encoding the parser would
    // read as markup or cannot read (Coverage::Misread).
    MisreadCharacter,
    // A reference to a character that the document's encoding has no bytes for, in a text not read
    // as UTF-8.
    LackedCharacter,
    Count
};

const char* const EXEMPTION_NAMES[] = {
    "none",          "limits",         "entities",          "attribute lists",   "stateful encoding",
    "UTF-16 or -32", "markup changed", "CDATA ended early", "character misread", "character lacked"};

// sText converted by iconv between the named encodings; empty when iconv cannot.
std::string Convert(const std::string& sText, const char* pFrom, const char* pTo)
{
    const iconv_t convert = iconv_open(pTo, pFrom);
    if (convert == reinterpret_cast<iconv_t>(-1))
        return std::string();
    std::string sOut(sText.size() * 4 + 16, '\0');
    char* pIn = const_cast<char*>(sText.data());
    char* pOut = sOut.data();
    std::size_t uiIn = sText.size();
    std::size_t uiOut = sOut.size();
    const bool bConverted = iconv(convert, &pIn, &uiIn, &pOut, &uiOut) != static_cast<std::size_t>(-1) &&
                            iconv(convert, nullptr, nullptr, &pOut, &uiOut) != static_cast<std::size_t>(-1);
    iconv_close(convert);
    sOut.resize(bConverted ? sOut.size() - uiOut : 0);
    return sOut;
}

// The code point of the UTF-8 character at *pAt, stepping past it (valid UTF-8 only).
std::uint32_t NextCodePoint(const std::string& sUtf8, std::size_t* pAt)
{
    const auto uiFirst = static_cast<unsigned char>(sUtf8[*pAt]);
    const std::size_t uiLength = uiFirst < 0x80 ? 1 : uiFirst < 0xE0 ? 2 : uiFirst < 0xF0 ? 3 : 4;
    std::uint32_t uiCode = uiLength == 1 ? uiFirst : uiFirst & (0x7Fu >> uiLength);
    for (std::size_t i = 1; i < uiLength && *pAt + i < sUtf8.size(); ++i)
        uiCode = uiCode << 6 | (static_cast<unsigned char>(sUtf8[*pAt + i]) & 0x3Fu);
    *pAt += uiLength;
    return uiCode;
}

std::uint32_t CodePoint(const std::string& sCharacter)
{
    std::size_t uiAt = 0;
    return NextCodePoint(sCharacter, &uiAt);
}

// The text with every byte outside printable ASCII written as \xNN, for messages.
std::string Printable(const std::string& sText)
{
    std::string sOut;
    for (const char c : sText)
    {
        const auto uiByte = static_cast<unsigned char>(c);
        if ((uiByte >= 0x20 && uiByte < 0x7F) || c == '\n')
        {
            sOut += c;
            continue;
        }
        char acHex[8];
        std::snprintf(acHex, sizeof(acHex), "\\x%02X", uiByte);
        sOut += acHex;
    }
    return sOut;
}

// What a declared encoding's name means, as libxml2's handler for it reads and writes bytes.
enum class EncodingKind
{
    NotRead,       // libxml2 reads no encoding by the name
    Utf8,          // UTF-8 under any name
    Ascii,         // US-ASCII: a text libxml2 reads in it is all ASCII, which the loader reads as UTF-8
    WideUnits,     // UTF-16, UTF-32, UCS-2, UCS-4: markup is not written in single bytes
    Stateful,      // a shift changes what later bytes mean (ISO-2022-*, HZ, UTF-7, SCSU, BOCU-1)
    MarkupChanged, // a byte that markup uses reads as another character (EBCDIC; '%' in cp864), or
                   // another byte reads as one (0xBC is '<' in ISIRI-3342)
    Bytes,         // markup in ASCII's bytes, every other character in bytes of its own
    Count
};

const char* const ENCODING_KIND_NAMES[] = {"not read", "UTF-8",          "US-ASCII", "UTF-16 or -32",
                                           "stateful", "markup changed", "bytes"};

// What an encoding does with a character outside ASCII.
enum class Coverage
{
    Written, // bytes the parser reads as written, or a text read as UTF-8
    Lacking, // no bytes
    // Bytes the parser would read as markup or cannot read: four or more, or a later one below 0x40
    // (GB18030, Johab); or a character beyond the BMP in a text not read as UTF-8 (Big5-HKSCS).
    Misread
};

// The characters that markup writes in one byte each: white space (the parser's also takes in the
// vertical tab and the form feed), names, references, comments, CDATA sections, instructions,
// DOCTYPEs and the declaration.
constexpr char MARKUP_CHARACTERS[] =
    "\t\n\v\f\r !\"#%&'-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ[]_abcdefghijklmnopqrstuvwxyz";

// Characters outside ASCII that most encodings of several bytes have, one of them beyond the BMP.
const char* const PROBES[] = {"é", "€", "ж", "Ω", "日", "한", "中", "あ", "😀"};

// libxml2's reading of one encoding name: the handler libxml2 finds for it (its own converters, then
// iconv's, then ICU's), each string converted from the converter's initial state with its state
// flushed at the end, as libxml2 converts a document.
class EncodingReading
{
public:
    explicit EncodingReading(const std::string& sName)
        : m_pHandler(xmlFindCharEncodingHandler(sName.c_str())), m_eKind(Classify())
    {
    }
    ~EncodingReading()
    {
        if (m_pHandler != nullptr)
            xmlCharEncCloseFunc(m_pHandler);
    }
    EncodingReading(const EncodingReading&) = delete;
    EncodingReading& operator=(const EncodingReading&) = delete;

    EncodingKind GetKind() const { return m_eKind; }
    // Whether the loader reads a text in the encoding as UTF-8 (one libxml2 reads as US-ASCII is
    // all ASCII, and the characters it refers to are written in UTF-8).
    bool IsReadAsUtf8() const { return m_eKind == EncodingKind::Utf8 || m_eKind == EncodingKind::Ascii; }

    // The UTF-8 of bytes in the encoding; false where they are no characters in it (libxml2's own
    // UTF-8 converter passes any bytes).
    bool Decode(const std::string& sBytes, std::string* pUtf8) const
    {
        return Run(true, sBytes, pUtf8) &&
               xmlCheckUTF8(reinterpret_cast<const xmlChar*>(pUtf8->c_str())) != 0;
    }

    // The bytes in the encoding of UTF-8 text; false where it lacks a character.
    bool Encode(const std::string& sUtf8, std::string* pBytes) const { return Run(false, sUtf8, pBytes); }

    // The UTF-8 of what the loader's tree holds for a text read in the encoding: its bytes as
    // written, and where it is read as UTF-8, UTF-8's; false where they are neither.
    bool DecodeLoaded(const std::string& sBytes, std::string* pUtf8) const
    {
        if (!IsReadAsUtf8())
            return Decode(sBytes, pUtf8);
        *pUtf8 = sBytes;
        return xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sBytes.c_str())) != 0;
    }

    // What the encoding does with the character (UTF-8), as the loader reads a text in it.
    Coverage Cover(const std::string& sCharacter)
    {
        const std::uint32_t uiCode = CodePoint(sCharacter);
        const auto known = m_mapCoverage.find(uiCode);
        if (known != m_mapCoverage.end())
            return known->second;
        Coverage coverage = Coverage::Written;
        std::string sBytes;
        std::string sBack;
        if (!IsReadAsUtf8() &&
            (!Encode(sCharacter, &sBytes) || !Decode(sBytes, &sBack) || sBack != sCharacter))
            coverage = Coverage::Lacking;
        else if (!IsReadAsUtf8() &&
                 (sBytes.size() > 3 || uiCode > 0xFFFF ||
                  std::any_of(sBytes.begin() + 1, sBytes.end(),
                              [](char c) { return static_cast<unsigned char>(c) < 0x40; })))
            coverage = Coverage::Misread;
        m_mapCoverage.emplace(uiCode, coverage);
        return coverage;
    }

private:
    using OwnConverter = int (*)(unsigned char*, int*, const unsigned char*, int*);

    // Converts with the handler's converter one way: from the encoding to UTF-8, or back.
    bool Run(bool bDecode, const std::string& sIn, std::string* pOut) const
    {
        if (m_pHandler == nullptr)
            return false;
        const OwnConverter own = bDecode ? m_pHandler->input : m_pHandler->output;
        const iconv_t convert = bDecode ? m_pHandler->iconv_in : m_pHandler->iconv_out;
        const uconv_t* pIcu = bDecode ? m_pHandler->uconv_in : m_pHandler->uconv_out;
        if (own != nullptr)
            return RunOwn(own, sIn, pOut);
        if (convert != nullptr)
            return RunIconv(convert, sIn, pOut);
        if (pIcu != nullptr)
            return bDecode ? RunIcu(pIcu->utf8, pIcu->uconv, sIn, pOut)
                           : RunIcu(pIcu->uconv, pIcu->utf8, sIn, pOut);
        return false;
    }

    static bool RunOwn(OwnConverter convert, const std::string& sIn, std::string* pOut)
    {
        pOut->assign(sIn.size() * 4 + 16, '\0');
        int iOut = static_cast<int>(pOut->size());
        int iIn = static_cast<int>(sIn.size());
        const int iResult = convert(reinterpret_cast<unsigned char*>(pOut->data()), &iOut,
                                    reinterpret_cast<const unsigned char*>(sIn.data()), &iIn);
        pOut->resize(static_cast<std::size_t>(std::max(iOut, 0)));
        return iResult >= 0 && iIn == static_cast<int>(sIn.size());
    }

    static bool RunIconv(iconv_t convert, const std::string& sIn, std::string* pOut)
    {
        iconv(convert, nullptr, nullptr, nullptr, nullptr);
        pOut->assign(sIn.size() * 8 + 16, '\0');
        char* pInAt = const_cast<char*>(sIn.data());
        char* pOutAt = pOut->data();
        std::size_t uiIn = sIn.size();
        std::size_t uiOut = pOut->size();
        const bool bConverted =
            iconv(convert, &pInAt, &uiIn, &pOutAt, &uiOut) != static_cast<std::size_t>(-1) &&
            iconv(convert, nullptr, nullptr, &pOutAt, &uiOut) != static_cast<std::size_t>(-1);
        pOut->resize(pOut->size() - uiOut);
        return bConverted;
    }

    // ICU converts through UTF-16, from pFrom's bytes to pTo's; libxml2 sets both to stop at what
    // they cannot convert.
    static bool RunIcu(UConverter* pTo, UConverter* pFrom, const std::string& sIn, std::string* pOut)
    {
        pOut->assign(sIn.size() * 8 + 16, '\0');
        const char* pInAt = sIn.data();
        char* pOutAt = pOut->data();
        UErrorCode error = U_ZERO_ERROR;
        ucnv_convertEx(pTo, pFrom, &pOutAt, pOut->data() + pOut->size(), &pInAt, sIn.data() + sIn.size(),
                       nullptr, nullptr, nullptr, nullptr, true, true, &error);
        pOut->resize(static_cast<std::size_t>(pOutAt - pOut->data()));
        return U_SUCCESS(error) != 0;
    }

    EncodingKind Classify() const
    {
        if (m_pHandler == nullptr)
            return EncodingKind::NotRead;
        std::string sLess;
        std::string sOut;
        if (!Encode("<", &sLess) || sLess.find('\0') != std::string::npos)
            return EncodingKind::WideUnits;
        // A byte that makes no character (a shift); markup written otherwise in a row than a
        // character at a time (ISCII shifts after a line feed); a character written otherwise after
        // itself than alone, or '<' otherwise after it.
        for (int i = 0; i < 256; ++i)
            if (Decode(std::string(1, static_cast<char>(i)), &sOut) && sOut.empty())
                return EncodingKind::Stateful;
        std::string sOneByOne;
        for (const char* p = MARKUP_CHARACTERS; *p != 0; ++p)
            sOneByOne += Encode(std::string(1, *p), &sOut) ? sOut : std::string();
        if (Encode(MARKUP_CHARACTERS, &sOut) && sOut != sOneByOne)
            return EncodingKind::Stateful;
        for (const char* pProbe : PROBES)
        {
            std::string sOne;
            std::string sTwice;
            std::string sThenLess;
            const std::string sProbe = pProbe;
            if (Encode(sProbe, &sOne) && Encode(sProbe + sProbe, &sTwice) &&
                Encode(sProbe + "<", &sThenLess) && (sTwice != sOne + sOne || sThenLess != sOne + sLess))
            {
                return EncodingKind::Stateful;
            }
        }
        // A byte that markup uses read or written otherwise, or a byte beyond ASCII read as one
        // (in ISIRI-3342 0xBC is '<').
        for (const char* p = MARKUP_CHARACTERS; *p != 0; ++p)
        {
            const std::string sCharacter(1, *p);
            if (!Decode(sCharacter, &sOut) || sOut != sCharacter || !Encode(sCharacter, &sOut) ||
                sOut != sCharacter)
            {
                return EncodingKind::MarkupChanged;
            }
        }
        for (int i = 0x80; i < 256; ++i)
            if (Decode(std::string(1, static_cast<char>(i)), &sOut) && sOut.size() == 1 &&
                std::strchr(MARKUP_CHARACTERS, sOut[0]) != nullptr)
                return EncodingKind::MarkupChanged;
        std::string sBack;
        if (Encode("é😀", &sOut) && sOut == "\xC3\xA9\xF0\x9F\x98\x80" && Decode(sOut, &sBack) &&
            sBack == "é😀")
        {
            return EncodingKind::Utf8;
        }
        // US-ASCII: every byte below 0x80 itself, none above, no character beyond.
        for (int i = 0; i < 256; ++i)
        {
            const std::string sByte(1, static_cast<char>(i));
            if (Decode(sByte, &sOut) != (i < 0x80) || (i < 0x80 && sOut != sByte))
                return EncodingKind::Bytes;
        }
        for (const char* pProbe : PROBES)
            if (Encode(pProbe, &sOut))
                return EncodingKind::Bytes;
        return EncodingKind::Ascii;
    }

    xmlCharEncodingHandlerPtr m_pHandler; // owned
    EncodingKind m_eKind;
    std::map<std::uint32_t, Coverage> m_mapCoverage;
};

// Whether the text begins with a declaration.
bool IsDeclared(const std::string& sText)
{
    return sText.compare(0, 5, "<?xml") == 0 && sText.size() > 5 && sText[5] != 0 &&
           std::strchr(" \t\r\n", sText[5]) != nullptr;
}

// The encoding a text's declaration names, as written; empty where it names none or has no
// declaration.
std::string DeclaredEncodingName(const std::string& sText)
{
    if (!IsDeclared(sText))
        return std::string();
    const std::size_t uiEnd = sText.find("?>");
    const std::size_t uiAt = sText.find("encoding", 5);
    if (uiAt == std::string::npos || uiAt > uiEnd)
        return std::string();
    std::size_t i = sText.find_first_not_of(" \t\r\n", uiAt + 8);
    if (i == std::string::npos || sText[i] != '=')
        return std::string();
    i = sText.find_first_not_of(" \t\r\n", i + 1);
    if (i == std::string::npos || (sText[i] != '"' && sText[i] != '\''))
        return std::string();
    const std::size_t uiClose = sText.find(sText[i], i + 1);
    if (uiClose == std::string::npos || uiClose > uiEnd)
        return std::string();
    return sText.substr(i + 1, uiClose - i - 1);
}

// libxml2's readings of encoding names, each made once.
class EncodingReadings
{
public:
    EncodingReading& Get(const std::string& sName)
    {
        std::unique_ptr<EncodingReading>& pReading = m_mapReadings[sName];
        if (pReading == nullptr)
            pReading = std::make_unique<EncodingReading>(sName);
        return *pReading;
    }

    // The encoding a text is read in, as the loader and libxml2 choose it: UTF-8 after a byte-order
    // mark or under a declaration that names none, else the one declared; without either UTF-8
    // where the text is UTF-8 and ISO-8859-1 otherwise.
    EncodingReading& Of(const std::string& sText)
    {
        if (sText.compare(0, 3, "\xEF\xBB\xBF") == 0)
            return Get("UTF-8");
        if (IsDeclared(sText))
        {
            const std::string sName = DeclaredEncodingName(sText);
            return Get(sName.empty() ? "UTF-8" : sName);
        }
        return Get(xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sText.c_str())) != 0 ? "UTF-8"
                                                                                      : "ISO-8859-1");
    }

private:
    std::map<std::string, std::unique_ptr<EncodingReading>> m_mapReadings;
};

// Whether a declaration may name the encoding: a letter, then letters, digits, '.', '_' and '-'.
bool IsEncodingName(const std::string& sName)
{
    return !sName.empty() && std::isalpha(static_cast<unsigned char>(sName[0])) != 0 &&
           std::all_of(sName.begin(), sName.end(),
                       [](char c) {
                           return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' ||
                                  c == '-';
                       });
}

// A name as Python spells its codecs: lower case, '_' for '-' ("KOI8-R" is "koi8_r").
std::string PythonSpelling(std::string sName)
{
    for (char& c : sName)
        c = c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return sName;
}

// The names iconv and ICU list for the encodings they read, aliases included, sorted, each once.
const std::vector<std::string>& ListedEncodingNames()
{
    static const std::vector<std::string> s_names = []()
    {
        std::set<std::string> names;
        // One name a line, each ending in "//".
        if (FILE* pList = popen("iconv -l", "r"))
        {
            char acLine[256];
            while (std::fgets(acLine, sizeof(acLine), pList) != nullptr)
            {
                std::string sName = acLine;
                while (!sName.empty() && (sName.back() == '\n' || sName.back() == '/'))
                    sName.pop_back();
                if (!sName.empty())
                    names.insert(sName);
            }
            pclose(pList);
        }
        for (std::int32_t i = 0; i < ucnv_countAvailable(); ++i)
        {
            const char* pConverter = ucnv_getAvailableName(i);
            UErrorCode error = U_ZERO_ERROR;
            const std::uint16_t uiAliases = ucnv_countAliases(pConverter, &error);
            for (std::uint16_t j = 0; j < uiAliases && U_SUCCESS(error); ++j)
            {
                const char* pAlias = ucnv_getAlias(pConverter, j, &error);
                if (U_SUCCESS(error) && pAlias != nullptr)
                    names.insert(pAlias);
            }
        }
        return std::vector<std::string>(names.begin(), names.end());
    }();
    return s_names;
}

// What the loader refuses on purpose under pNode (whose children are at depth iDepth + 1): the
// deepest element, the most attributes an element holds, whether a reference to an undeclared
// entity is left in the tree (as libxml2 leaves those an external DTD could declare), whether a
// CDATA section holds the bytes of "]]>" in the document's encoding, and whether a character of a
// name or of content is one the encoding lacks or writes in bytes the parser would misread (of
// content read by reference, which is how a character the encoding lacks gets there).
struct Measures
{
    int iDepth = 0;
    int iAttributes = 0;
    bool bReference = false;
    bool bCdataEndedEarly = false;
    bool bMisread = false;
    bool bLacking = false;
};

void MeasureCharacters(const xmlChar* pText, EncodingReading* pReading, Measures* pMeasures)
{
    if (pText == nullptr)
        return;
    const std::string sText = reinterpret_cast<const char*>(pText);
    for (std::size_t i = 0; i < sText.size();)
    {
        const std::size_t uiStart = i;
        if (NextCodePoint(sText, &i) < 0x80)
            continue;
        const Coverage coverage = pReading->Cover(sText.substr(uiStart, i - uiStart));
        pMeasures->bMisread = pMeasures->bMisread || coverage == Coverage::Misread;
        pMeasures->bLacking = pMeasures->bLacking || coverage == Coverage::Lacking;
    }
}

void Measure(const xmlNode* pNode, int iDepth, EncodingReading* pReading, Measures* pMeasures)
{
    for (const xmlNode* pChild = pNode->children; pChild != nullptr; pChild = pChild->next)
    {
        pMeasures->bReference = pMeasures->bReference || pChild->type == XML_ENTITY_REF_NODE;
        MeasureCharacters(pChild->name, pReading, pMeasures);
        MeasureCharacters(pChild->content, pReading, pMeasures);
        if (pChild->type == XML_CDATA_SECTION_NODE && pChild->content != nullptr)
        {
            std::string sBytes;
            pMeasures->bCdataEndedEarly =
                pMeasures->bCdataEndedEarly ||
                (pReading->Encode(reinterpret_cast<const char*>(pChild->content), &sBytes) &&
                 sBytes.find("]]>") != std::string::npos);
        }
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        pMeasures->iDepth = std::max(pMeasures->iDepth, iDepth + 1);
        int iAttributes = 0;
        for (const xmlAttr* pAttribute = pChild->properties; pAttribute != nullptr;
             pAttribute = pAttribute->next)
        {
            ++iAttributes;
            MeasureCharacters(pAttribute->name, pReading, pMeasures);
            Measure(reinterpret_cast<const xmlNode*>(pAttribute), iDepth, pReading, pMeasures);
        }
        pMeasures->iAttributes = std::max(pMeasures->iAttributes, iAttributes);
        Measure(pChild, iDepth + 1, pReading, pMeasures);
    }
}

// Where the reference wraps the top-level elements: after a byte-order mark and the white space,
// declaration, comments, instructions and DOCTYPE (with its internal subset) before the first
// element (or before whatever else comes first, which then lies in the wrapper).
std::size_t PrologEnd(const std::string& sText)
{
    std::size_t i = sText.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const auto after = [&sText](std::size_t uiFrom, const char* pEnd)
    {
        const std::size_t uiAt = sText.find(pEnd, uiFrom);
        return uiAt == std::string::npos ? uiAt : uiAt + std::strlen(pEnd);
    };
    for (;;)
    {
        i = sText.find_first_not_of(" \t\r\n", i);
        if (i == std::string::npos)
            return sText.size();
        if (sText.compare(i, 4, "<!--") == 0)
            i = after(i + 4, "-->");
        else if (sText.compare(i, 2, "<?") == 0)
            i = after(i + 2, "?>");
        else if (sText.compare(i, 9, "<!DOCTYPE") == 0)
        {
            char cQuote = 0;
            bool bSubset = false;
            for (i += 9; i < sText.size() && (cQuote != 0 || bSubset || sText[i] != '>'); ++i)
            {
                if (cQuote != 0)
                    cQuote = sText[i] == cQuote ? 0 : cQuote;
                else if (sText[i] == '"' || sText[i] == '\'')
                    cQuote = sText[i];
                else if (!bSubset)
                    bSubset = sText[i] == '[';
                else if (sText[i] == ']')
                    bSubset = false;
                else if (sText.compare(i, 4, "<!--") == 0 || sText.compare(i, 2, "<?") == 0)
                {
                    const bool bComment = sText[i + 1] == '!';
                    i = bComment ? after(i + 4, "-->") : after(i + 2, "?>");
                    if (i == std::string::npos)
                        break;
                    --i;
                }
            }
            i = i < sText.size() ? i + 1 : std::string::npos;
        }
        else
            return i;
        if (i == std::string::npos) // unterminated: libxml2 refuses it
            return sText.size();
    }
}

void IgnoreError(void*, const char*, ...)
{
}

// While it lives, notes whether libxml2 reports bytes that its converter cannot read. Where ICU
// converts, libxml2 takes that for the end of the text and may accept what it read before; the text
// is not one it reads.
class ConversionErrors
{
public:
    ConversionErrors() { xmlSetStructuredErrorFunc(this, Note); }
    ~ConversionErrors() { xmlSetStructuredErrorFunc(nullptr, nullptr); }
    ConversionErrors(const ConversionErrors&) = delete;
    ConversionErrors& operator=(const ConversionErrors&) = delete;

    bool Any() const { return m_bAny; }

private:
    static void Note(void* pSelf, xmlErrorPtr pError)
    {
        if (pError->domain == XML_FROM_I18N && pError->code == XML_I18N_CONV_FAILED)
            static_cast<ConversionErrors*>(pSelf)->m_bAny = true;
    }

    bool m_bAny = false;
};

// The content of a document as both sides write it for the comparison, in UTF-8: elements with their
// attributes, text, CDATA sections, comments and instructions, in document order, without the
// declaration and the DOCTYPE. The parser condenses white space (the loader keeps its default): it
// drops the white space at either end of a text and makes each run of it inside one space, and
// leaves out a text of white space only; both sides' texts are written so. Attribute values get
// libxml2's normalisation (each white space character a space), and every line end is written as
// libxml2 reads it (CR LF and a lone CR are LF). CDATA sections with nothing but white space between
// them are written as one, as libxml2 makes one node of adjacent ones. Only white space changes:
// any other character the loader reads wrong still shows.
class ContentWriter
{
public:
    void StartElement(const std::string& sName) { Write("<" + sName); }
    void Attribute(const std::string& sName, const std::string& sValue)
    {
        std::string sNormalised = WithLineFeeds(sValue);
        std::replace_if(
            sNormalised.begin(), sNormalised.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
        Write(" " + sName + "=\"" + sNormalised + "\"");
    }
    void EndStartTag() { Write(">"); }
    void EndElement() { Write("</>"); }
    void Text(const std::string& sText)
    {
        const std::string sCondensed = Condensed(sText);
        if (!sCondensed.empty())
            Write("{" + sCondensed + "}");
    }
    void Cdata(const std::string& sText)
    {
        constexpr std::size_t END_LENGTH = sizeof("]]>") - 1;
        if (m_bCdataLast)
            m_sContent.resize(m_sContent.size() - END_LENGTH);
        else
            Write("<![CDATA[");
        Write(WithLineFeeds(sText) + "]]>");
        m_bCdataLast = true;
    }
    void Comment(const std::string& sText) { Write("<!--" + WithLineFeeds(sText) + "-->"); }
    void Instruction(const std::string& sTarget, const std::string& sData)
    {
        Write("<?" + sTarget + (sData.empty() ? "" : " " + WithLineFeeds(sData)) + "?>");
    }
    const std::string& GetContent() const { return m_sContent; }

private:
    void Write(const std::string& sText)
    {
        m_sContent += sText;
        m_bCdataLast = false;
    }

    static std::string WithLineFeeds(const std::string& sText)
    {
        std::string sOut;
        for (std::size_t i = 0; i < sText.size(); ++i)
            if (sText[i] != '\r')
                sOut += sText[i];
            else if (i + 1 == sText.size() || sText[i + 1] != '\n')
                sOut += '\n';
        return sOut;
    }

    static std::string Condensed(const std::string& sText)
    {
        std::string sOut;
        bool bSpace = false;
        for (const char c : sText)
        {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            {
                bSpace = !sOut.empty();
                continue;
            }
            if (bSpace)
                sOut += ' ';
            bSpace = false;
            sOut += c;
        }
        return sOut;
    }

    std::string m_sContent;
    bool m_bCdataLast = false; // whether the content ends in a CDATA section
};

void WriteContent(const xmlNode* pNode, ContentWriter* pWriter)
{
    const auto text = [](const xmlChar* p)
    { return std::string(p != nullptr ? reinterpret_cast<const char*>(p) : ""); };
    switch (pNode->type)
    {
    case XML_ELEMENT_NODE:
        pWriter->StartElement(text(pNode->name));
        for (const xmlAttr* pAttribute = pNode->properties; pAttribute != nullptr;
             pAttribute = pAttribute->next)
        {
            xmlChar* pValue = xmlGetProp(pNode, pAttribute->name);
            pWriter->Attribute(text(pAttribute->name), text(pValue));
            xmlFree(pValue);
        }
        pWriter->EndStartTag();
        for (const xmlNode* pChild = pNode->children; pChild != nullptr; pChild = pChild->next)
            WriteContent(pChild, pWriter);
        pWriter->EndElement();
        break;
    case XML_TEXT_NODE:
        pWriter->Text(text(pNode->content));
        break;
    case XML_CDATA_SECTION_NODE:
        pWriter->Cdata(text(pNode->content));
        break;
    case XML_COMMENT_NODE:
        pWriter->Comment(text(pNode->content));
        break;
    case XML_PI_NODE:
        pWriter->Instruction(text(pNode->name), text(pNode->content));
        break;
    default:
        break;
    }
}

// libxml2's content of a document read with the wrapper pTop around its top-level elements.
std::string Content(const xmlDoc* pDocument, const xmlNode* pTop)
{
    ContentWriter writer;
    for (const xmlNode* pNode = pDocument->children; pNode != nullptr; pNode = pNode->next)
    {
        if (pNode != pTop)
            WriteContent(pNode, &writer);
        else
            for (const xmlNode* pChild = pTop->children; pChild != nullptr; pChild = pChild->next)
                WriteContent(pChild, &writer);
    }
    return writer.GetContent();
}

// The same of TinyXML's tree, its bytes read as the loader reads the text's encoding (bytes that are
// no characters in it written as \xNN).
void WriteContent(const TiXmlNode* pNode, const EncodingReading& reading, ContentWriter* pWriter)
{
    const auto text = [&reading](const std::string& sBytes)
    {
        std::string sUtf8;
        return reading.DecodeLoaded(sBytes, &sUtf8) ? sUtf8 : Printable(sBytes);
    };
    if (const TiXmlElement* pElement = pNode->ToElement())
    {
        pWriter->StartElement(text(pElement->ValueStr()));
        for (const TiXmlAttribute* pAttribute = pElement->FirstAttribute(); pAttribute != nullptr;
             pAttribute = pAttribute->Next())
        {
            pWriter->Attribute(text(pAttribute->NameTStr()), text(pAttribute->ValueStr()));
        }
        pWriter->EndStartTag();
        for (const TiXmlNode* pChild = pNode->FirstChild(); pChild != nullptr; pChild = pChild->NextSibling())
            WriteContent(pChild, reading, pWriter);
        pWriter->EndElement();
    }
    else if (const TiXmlText* pText = pNode->ToText())
    {
        if (pText->CDATA())
            pWriter->Cdata(text(pText->ValueStr()));
        else
            pWriter->Text(text(pText->ValueStr()));
    }
    else if (pNode->ToComment() != nullptr)
        pWriter->Comment(text(pNode->ValueStr()));
    else if (pNode->ToUnknown() != nullptr && pNode->ValueStr().size() >= 2 && pNode->ValueStr()[0] == '?')
    {
        // An instruction, "?target data?"; a DOCTYPE's node begins with '!'.
        const std::string sInside = text(pNode->ValueStr().substr(1, pNode->ValueStr().size() - 2));
        const std::size_t uiTargetEnd = std::min(sInside.find_first_of(" \t\r\n"), sInside.size());
        const std::size_t uiData =
            std::min(sInside.find_first_not_of(" \t\r\n", uiTargetEnd), sInside.size());
        pWriter->Instruction(sInside.substr(0, uiTargetEnd), sInside.substr(uiData));
    }
}

std::string Content(const TiXmlDocument& document, const EncodingReading& reading)
{
    ContentWriter writer;
    for (const TiXmlNode* pNode = document.FirstChild(); pNode != nullptr; pNode = pNode->NextSibling())
        WriteContent(pNode, reading, &writer);
    return writer.GetContent();
}

// libxml2's verdict on sText, read in `reading` (EncodingReadings::Of), with the loader's two
// relaxations: several top-level elements (a wrapper element after the prolog, holding at least
// one element and otherwise only white space, comments and instructions), and a text without a
// byte-order mark or declaration that is not UTF-8 read as ISO-8859-1. What the loader refuses on
// purpose is exempt, and *pExemption (when given) says why. *pContent (when given) receives the
// content of a text accepted, as Content writes it.
Verdict Reference(const std::string& sText, EncodingReading& reading, Exemption* pExemption = nullptr,
                  std::string* pContent = nullptr)
{
    // libxml2 reports a text it cannot convert even when told to report no error.
    static const bool s_bQuiet = (xmlSetGenericErrorFunc(nullptr, IgnoreError), true);
    (void)s_bQuiet;
    Exemption exemption = Exemption::None;
    if (pExemption == nullptr)
        pExemption = &exemption;
    *pExemption = Exemption::None;
    const ConversionErrors conversionErrors;
    const EncodingKind kind = reading.GetKind();
    const bool bWide = sText.compare(0, 2, "\xFF\xFE") == 0 || sText.compare(0, 2, "\xFE\xFF") == 0 ||
                       sText.find('\0') != std::string::npos || kind == EncodingKind::WideUnits;
    if (bWide || kind == EncodingKind::MarkupChanged)
    {
        // Markup not in ASCII's bytes, which the wrapper (in ASCII) would break: libxml2 reads the
        // text whole or not.
        xmlDocPtr pDocument = xmlReadMemory(sText.data(), static_cast<int>(sText.size()), "doc.xml", nullptr,
                                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        const bool bRead = pDocument != nullptr && !conversionErrors.Any();
        xmlFreeDoc(pDocument);
        *pExemption = !bRead ? Exemption::None : bWide ? Exemption::WideEncoding : Exemption::MarkupChanged;
        return bRead ? Verdict::Exempt : Verdict::Refused;
    }
    const bool bMark = sText.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const char* pUndeclared = nullptr;
    if (!bMark && !IsDeclared(sText) && xmlCheckUTF8(reinterpret_cast<const xmlChar*>(sText.c_str())) == 0)
        pUndeclared = "ISO-8859-1";
    // libxml2 2.9 reads a DOCTYPE without white space after its keyword.
    const std::size_t uiDoctype = sText.find("<!DOCTYPE");
    if (uiDoctype != std::string::npos && std::strchr(" \t\r\n", sText[uiDoctype + 9]) == nullptr)
        return Verdict::Refused;
    const std::size_t uiPrologEnd = PrologEnd(sText);
    const std::string sWrapped =
        sText.substr(0, uiPrologEnd) + "<kv-top>" + sText.substr(uiPrologEnd) + "</kv-top>";

    xmlParserCtxtPtr pContext = xmlNewParserCtxt();
    xmlDocPtr pDocument = xmlCtxtReadMemory(
        pContext, sWrapped.data(), static_cast<int>(sWrapped.size()), "doc.xml", pUndeclared,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_OLD10);
    Verdict verdict = Verdict::Refused;
    if (pDocument != nullptr && pContext->wellFormed != 0 && !conversionErrors.Any())
    {
        const xmlNode* pTop = xmlDocGetRootElement(pDocument);
        int iElements = 0;
        bool bClean = true;
        for (const xmlNode* pChild = pTop->children; pChild != nullptr; pChild = pChild->next)
            if (pChild->type == XML_ELEMENT_NODE)
                ++iElements;
            else if (pChild->type == XML_TEXT_NODE)
                bClean = bClean && xmlIsBlankNode(pChild) != 0;
            else if (pChild->type != XML_ENTITY_REF_NODE) // libxml2 puts here those of attributes too
                bClean = bClean && (pChild->type == XML_COMMENT_NODE || pChild->type == XML_PI_NODE);
        if (bClean && iElements > 0)
        {
            Measures measures;
            for (const xmlNode* pNode = pDocument->children; pNode != nullptr; pNode = pNode->next)
                if (pNode != pTop && pNode->type != XML_DTD_NODE)
                    MeasureCharacters(pNode->content, &reading, &measures);
            Measure(pTop, 0, &reading, &measures);
            if (pContent != nullptr)
                *pContent = Content(pDocument, pTop);
            bool bEntities = measures.bReference || pContext->hasPErefs != 0;
            bool bAttributeLists = false;
            if (pDocument->intSubset != nullptr)
            {
                for (const xmlNode* p = pDocument->intSubset->children; p != nullptr; p = p->next)
                {
                    bEntities = bEntities || p->type == XML_ENTITY_DECL;
                    bAttributeLists = bAttributeLists || p->type == XML_ATTRIBUTE_DECL;
                }
            }
            if (measures.iDepth > KU_XmlUtilities::MAX_ELEMENT_DEPTH ||
                measures.iAttributes > KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES)
                *pExemption = Exemption::Limits;
            else if (bEntities)
                *pExemption = Exemption::Entities;
            else if (bAttributeLists)
                *pExemption = Exemption::AttributeLists;
            else if (kind == EncodingKind::Stateful)
                *pExemption = Exemption::StatefulEncoding;
            else if (measures.bCdataEndedEarly)
                *pExemption = Exemption::CdataEndedEarly;
            else if (measures.bMisread)
                *pExemption = Exemption::MisreadCharacter;
            else if (measures.bLacking)
                *pExemption = Exemption::LackedCharacter;
            verdict = *pExemption == Exemption::None ? Verdict::Accepted : Verdict::Exempt;
        }
    }
    xmlFreeDoc(pDocument);
    xmlFreeParserCtxt(pContext);
    return verdict;
}

// The same for a text whose encoding is not otherwise at hand.
Verdict Reference(const std::string& sText)
{
    EncodingReadings readings;
    return Reference(sText, readings.Of(sText));
}

// What a generated document is written in and holds, for the differential test's counts.
enum class Group
{
    Utf8,
    Latin1,    // ISO-8859-1 without a declaration, or declared by any of its names
    Windows,   // a Windows code page
    MultiByte, // Shift_JIS, cp932, EUC-JP, EUC-KR, GB2312, Big5
    Stateful,  // ISO-2022-JP
    Utf16,
    Listed, // another encoding iconv or ICU lists
    Count
};

const char* const GROUP_NAMES[] = {"UTF-8",       "ISO-8859-1", "Windows", "multi-byte",
                                   "ISO-2022-JP", "UTF-16",     "listed"};

// Encodings the generated documents declare: names written (libxml2 reads each) beyond those iconv
// and ICU list for the encoding, iconv's name, letters (which may stand in names) and other
// characters of text, each list separated by spaces.
struct DeclaredEncoding
{
    const char* pNames;
    const char* pIconvName;
    Group group;
    const char* pLetters;
    const char* pOthers;
};

const DeclaredEncoding DECLARED_ENCODINGS[] = {
    {"ISO-8859-1 latin1 latin-1 Latin-1 iso8859_1 iso_8859_1 ISO_8859-1 l1 iso-latin-1", "ISO-8859-1",
     Group::Latin1, "é ü ß Ø", "½ «"},
    {"windows-1250", "CP1250", Group::Windows, "ő ł Ž", "„"},
    {"windows-1251", "CP1251", Group::Windows, "ж Я", "№"},
    {"windows-1252 cp1252 windows_1252", "CP1252", Group::Windows, "é Œ", "€ “"},
    {"windows-1253", "CP1253", Group::Windows, "λ Ω", "΅"},
    {"windows-1254", "CP1254", Group::Windows, "ğ ş", "‰"},
    {"windows-1255 cp1255", "CP1255", Group::Windows, "ש ל ם", "₪ שׁ בְּ"},
    {"windows-1256", "CP1256", Group::Windows, "ع پ", "،"},
    {"windows-1257", "CP1257", Group::Windows, "ą ž", "’"},
    {"windows-1258 cp1258", "CP1258", Group::Windows, "ă đ ơ", "ế ệ ₫"},
    // In Shift_JIS and cp932 ソ, 表 and 本 end in '\', '\' and '{', which the parser does not read
    // in a name, ゾ and ‐ in ']'; in Big5 功 ends in '\', 也 and （ in ']'.
    {"Shift_JIS shift_jis", "SHIFT_JIS", Group::MultiByte, "あ い 日 語", "表 ソ 本 ゾ ‐"},
    {"cp932", "CP932", Group::MultiByte, "あ い 日 語", "表 ゾ ① ‐"},
    {"EUC-JP euc-jp", "EUC-JP", Group::MultiByte, "あ 日 本 表 ソ", "「 」"},
    {"EUC-KR", "EUC-KR", Group::MultiByte, "한 국 어", "、"},
    {"GB2312", "GB2312", Group::MultiByte, "中 文 字", "。"},
    {"Big5 big5", "BIG5", Group::MultiByte, "中 文 字", "功 也 （"},
    {"ISO-2022-JP", "ISO-2022-JP", Group::Stateful, "あ 日 語", "表 ゾ"},
    {"UTF-16", "UTF-16", Group::Utf16, "é 日", "€"}};

// Letters of many scripts (which may stand in names), and other characters, that documents hold
// and refer to, of the BMP and beyond: each encoding has some and lacks others.
const char* const POOL_LETTERS = "é ü ß Ø ő ł Ž ж Я λ Ω ğ ş ą ă đ ש ع ก あ い ソ 日 語 한 국 中 文";
const char* const POOL_OTHERS = "ế € “ „ ‰ № ₪ ₫ ½ « ① ‐ 、 。 表 功 也 😀 𠀋";

// The words of a list separated by spaces.
std::vector<std::string> Words(const char* pList)
{
    std::vector<std::string> words;
    std::string sWord;
    for (const char* p = pList;; ++p)
    {
        if (*p == ' ' || *p == 0)
        {
            if (!sWord.empty())
                words.push_back(sWord);
            sWord.clear();
            if (*p == 0)
                return words;
        }
        else
            sWord += *p;
    }
}

// The characters of both pools.
std::vector<std::string> PoolCharacters()
{
    std::vector<std::string> characters = Words(POOL_LETTERS);
    for (const std::string& sOther : Words(POOL_OTHERS))
        characters.push_back(sOther);
    return characters;
}

// The names iconv and ICU list that a declaration may hold and libxml2 reads, grouped by how
// libxml2 reads them: names whose handlers are of one kind, read each single byte alike and write
// each character of the pools and of DECLARED_ENCODINGS alike share a group.
const std::vector<std::vector<std::string>>& ListedEncodingGroups()
{
    static const std::vector<std::vector<std::string>> s_groups = []()
    {
        std::vector<std::string> characters = PoolCharacters();
        for (const DeclaredEncoding& encoding : DECLARED_ENCODINGS)
            for (const char* pList : {encoding.pLetters, encoding.pOthers})
                for (const std::string& sCharacter : Words(pList))
                    characters.push_back(sCharacter);
        std::map<std::string, std::size_t> mapGroups; // by what the names read and write
        std::vector<std::vector<std::string>> groups;
        for (const std::string& sName : ListedEncodingNames())
        {
            if (!IsEncodingName(sName))
                continue;
            const EncodingReading reading(sName);
            if (reading.GetKind() == EncodingKind::NotRead)
                continue;
            std::string sReads(1, static_cast<char>(reading.GetKind()));
            std::string sOut;
            for (int i = 0; i < 256; ++i)
                sReads.append(reading.Decode(std::string(1, static_cast<char>(i)), &sOut) ? sOut : "\xFF")
                    .append("|");
            for (const std::string& sCharacter : characters)
                sReads.append(reading.Encode(sCharacter, &sOut) ? sOut : "\xFF").append("|");
            const auto found = mapGroups.emplace(sReads, groups.size());
            if (found.second)
                groups.emplace_back();
            groups[found.first->second].push_back(sName);
        }
        return groups;
    }();
    return s_groups;
}

// An encoding the generated documents declare: the names they declare it by, the name it is
// written with, and the characters they hold, each of which it writes as the parser reads it.
struct DocumentEncoding
{
    std::vector<std::string> names;
    std::string sWriter;
    Group group = Group::Listed;
    std::vector<std::string> letters; // which may stand in names
    std::vector<std::string> others;
    std::vector<std::string> misread; // characters it has that the parser would misread, referred to only
};

// Each of DECLARED_ENCODINGS, declared by its names and by some of those iconv and ICU list for it,
// as they are listed and as Python spells them; and a sample of the other encodings iconv and ICU
// list that the loader reads (UTF-8 and US-ASCII under other names among them), declared by some
// of their names, with the characters of the pools they write as the parser reads them. Readings
// are made in `readings`.
std::vector<DocumentEncoding> MakeDocumentEncodings(EncodingReadings* pReadings)
{
    Random random(3);
    const auto pick = [&random](const std::vector<std::string>& names, std::size_t uiCount)
    {
        std::vector<std::string> picked;
        for (std::size_t i = 0; i < uiCount && i < names.size(); ++i)
        {
            const std::string& sName = names[random.Next(static_cast<std::uint32_t>(names.size()))];
            if (std::find(picked.begin(), picked.end(), sName) == picked.end())
                picked.push_back(sName);
        }
        if (!picked.empty())
            picked.push_back(PythonSpelling(picked.front()));
        return picked;
    };
    const std::vector<std::vector<std::string>>& groups = ListedEncodingGroups();
    std::vector<bool> taken(groups.size(), false);
    std::vector<DocumentEncoding> encodings;
    for (const DeclaredEncoding& declared : DECLARED_ENCODINGS)
    {
        DocumentEncoding encoding;
        encoding.names = Words(declared.pNames);
        encoding.sWriter = declared.pIconvName;
        encoding.group = declared.group;
        encoding.letters = Words(declared.pLetters);
        encoding.others = Words(declared.pOthers);
        for (std::size_t i = 0; i < groups.size(); ++i)
        {
            if (std::find(groups[i].begin(), groups[i].end(), declared.pIconvName) == groups[i].end())
                continue;
            taken[i] = true;
            for (const std::string& sName : pick(groups[i], 3))
                encoding.names.push_back(sName);
        }
        encodings.push_back(encoding);
    }
    // The other encodings the loader reads: their letters name characters, so none of their later
    // bytes may be ASCII but letters and digits.
    const auto inName = [](const std::string& sBytes)
    {
        return std::all_of(sBytes.begin() + 1, sBytes.end(),
                           [](char c) {
                               return static_cast<unsigned char>(c) >= 0x80 ||
                                      std::isalnum(static_cast<unsigned char>(c)) != 0;
                           });
    };
    // Every group of UTF-8 and of US-ASCII; of the others, some with characters of the pools that
    // the parser would misread and some without.
    std::vector<std::size_t> chosen;
    std::vector<std::size_t> candidates[2]; // [with characters misread]
    for (std::size_t i = 0; i < groups.size(); ++i)
    {
        if (taken[i])
            continue;
        EncodingReading reading(groups[i].front());
        const EncodingKind kind = reading.GetKind();
        const std::vector<std::string> pool = PoolCharacters();
        const bool bMisread = std::any_of(pool.begin(), pool.end(),
                                          [&reading](const std::string& sCharacter)
                                          { return reading.Cover(sCharacter) == Coverage::Misread; });
        if (kind == EncodingKind::Utf8 || kind == EncodingKind::Ascii)
            chosen.push_back(i);
        else if (kind == EncodingKind::Bytes)
            candidates[bMisread ? 1 : 0].push_back(i);
    }
    for (const auto& [iWith, iCount] : {std::pair<int, int>{1, 12}, {0, 10}})
    {
        std::vector<std::size_t>& from = candidates[iWith];
        for (int i = 0; i < iCount && !from.empty(); ++i)
        {
            const std::size_t uiAt = random.Next(static_cast<std::uint32_t>(from.size()));
            chosen.push_back(from[uiAt]);
            from.erase(from.begin() + static_cast<std::ptrdiff_t>(uiAt));
        }
    }
    for (const std::size_t uiGroup : chosen)
    {
        const std::vector<std::string>& names = groups[uiGroup];
        DocumentEncoding encoding;
        encoding.names = pick(names, 2);
        encoding.sWriter = names.front();
        EncodingReading& reading = pReadings->Get(encoding.sWriter);
        std::string sBytes;
        for (const std::string& sLetter : Words(POOL_LETTERS))
            if (reading.Cover(sLetter) == Coverage::Written && reading.Encode(sLetter, &sBytes) &&
                inName(sBytes))
                encoding.letters.push_back(sLetter);
        for (const std::string& sOther : Words(POOL_OTHERS))
            if (reading.Cover(sOther) == Coverage::Written && reading.Encode(sOther, &sBytes))
                encoding.others.push_back(sOther);
        for (const std::string& sCharacter : PoolCharacters())
            if (reading.Cover(sCharacter) == Coverage::Misread)
                encoding.misread.push_back(sCharacter);
        encodings.push_back(encoding);
    }
    return encodings;
}

// Well-formed documents of the kinds the engine's files hold (several top-level elements or one),
// with DOCTYPEs and internal subsets, in UTF-8, ISO-8859-1 without a declaration and the encodings
// of MakeDocumentEncodings, holding references to characters outside ASCII that the encoding has or
// lacks, then cut or given markup fragments at random places.
class DocumentMaker
{
public:
    DocumentMaker(std::uint32_t uiSeed, EncodingReadings* pReadings)
        : m_random(uiSeed), m_pReadings(pReadings), m_encodings(MakeDocumentEncodings(pReadings)),
          m_pool(PoolCharacters())
    {
    }

    std::string Make()
    {
        static const char* const s_apDeclarations[] = {
            "",
            "",
            "<?xml version=\"1.0\"?>",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>",
            "\xEF\xBB\xBF"};
        static const char* const s_apDoctypes[] = {
            "", "", "<!DOCTYPE r>\n", "<!DOCTYPE r SYSTEM \"r.dtd\">",
            "<!DOCTYPE r PUBLIC \"-//KV//r\" \"a>b.dtd\" >\n",
            // Internal subsets that declare nothing the parser leaves out.
            "<!DOCTYPE r [ ]>", "<!DOCTYPE r [\n]>\n", "<!DOCTYPE r SYSTEM \"r.dtd\" [ ]>",
            "<!DOCTYPE r [ <!-- a > b [c] --> ]>\n",
            "<!DOCTYPE r [\n  <?tool a>b?>\n  <!ELEMENT r ANY>\n  <!NOTATION n SYSTEM \"n>m\">\n]>",
            "<!DOCTYPE r SYSTEM \"r.dtd\" [ <!ELEMENT r (#PCDATA|a)*> ] >",
            // And those that do.
            "<!DOCTYPE r [ <!ENTITY e \"x\"> ]>", "<!DOCTYPE r [ <!ATTLIST r a CDATA \"d\"> ]>\n",
            "<!DOCTYPE r SYSTEM \"r.dtd\" [ %pe; ]>"};
        // Half the texts declare an encoding: one of DECLARED_ENCODINGS two times in three.
        const DocumentEncoding* pEncoding = nullptr;
        std::string sText;
        if (m_random.Next(2) == 0)
        {
            const auto uiDeclared = static_cast<std::uint32_t>(std::size(DECLARED_ENCODINGS));
            const auto uiListed = static_cast<std::uint32_t>(m_encodings.size()) - uiDeclared;
            pEncoding =
                &m_encodings[m_random.Next(3) != 0 || uiListed == 0 ? m_random.Next(uiDeclared)
                                                                    : uiDeclared + m_random.Next(uiListed)];
            const std::string& sName =
                pEncoding->names[m_random.Next(static_cast<std::uint32_t>(pEncoding->names.size()))];
            sText = m_random.Next(2) == 0 ? "<?xml version='1.0' encoding='" + sName + "'?>\n"
                                          : "<?xml version=\"1.0\" encoding=\"" + sName + "\"?>";
            m_group = pEncoding->group;
            m_letters = pEncoding->letters;
            m_others = pEncoding->others;
            m_misread = pEncoding->misread;
        }
        else
        {
            // Without a declaration, half the texts are ISO-8859-1 (not UTF-8).
            const std::uint32_t uiKind = m_random.Next(6);
            m_group = uiKind == 1 ? Group::Latin1 : Group::Utf8;
            sText = s_apDeclarations[uiKind];
            m_letters = m_group == Group::Latin1 ? Words("é ü") : Words("é €");
            m_others = Words("½");
            m_misread.clear();
        }
        sText += Misc();
        const std::uint32_t uiDoctype = m_random.Next(static_cast<std::uint32_t>(std::size(s_apDoctypes)));
        m_bSubset = std::strchr(s_apDoctypes[uiDoctype], '[') != nullptr;
        sText += s_apDoctypes[uiDoctype];
        sText += Misc();
        for (int i = 1 + static_cast<int>(m_random.Next(3)); i > 0; --i)
        {
            sText += Element(1);
            sText += Misc();
        }
        if (pEncoding != nullptr)
        {
            // iconv writes UTF-16 with a byte-order mark; encodings iconv does not read are written
            // as libxml2 reads them.
            std::string sWritten = Convert(sText, "UTF-8", pEncoding->sWriter.c_str());
            if (sWritten.empty())
                m_pReadings->Get(pEncoding->sWriter).Encode(sText, &sWritten);
            return sWritten;
        }
        return m_group == Group::Latin1 ? Convert(sText, "UTF-8", "ISO-8859-1") : sText;
    }

    // What the last document made is written in, and whether it has an internal subset.
    Group GetGroup() const { return m_group; }
    bool HasSubset() const { return m_bSubset; }

    // sText unchanged, cut short, given one or two fragments of markup, one byte replaced or a few
    // bytes taken out, at random places.
    std::string Mutate(std::string sText)
    {
        static const char* const s_apFragments[] = {"<!--",
                                                    "-->",
                                                    "<![CDATA[",
                                                    "]]>",
                                                    "<?tool",
                                                    "?>",
                                                    "<?tool a>b?>",
                                                    "<!DOCTYPE r>",
                                                    "</r>",
                                                    "<r>",
                                                    "</a>",
                                                    "<a>",
                                                    "<b/>",
                                                    "<!x ",
                                                    "<?xml version=\"1.0\"?>",
                                                    "&",
                                                    "&amp;",
                                                    "&#65;",
                                                    "<",
                                                    ">",
                                                    "\"",
                                                    "'",
                                                    "=",
                                                    " x=\"1\"",
                                                    "text",
                                                    "\xE9",
                                                    "\xC3\xA9",
                                                    "--",
                                                    "\n",
                                                    "<!-- c -->",
                                                    "</",
                                                    "/>",
                                                    "]]",
                                                    "<![CDATA[ ]]>",
                                                    "<?xml-x?>",
                                                    "[ ]",
                                                    "]>",
                                                    "<!ELEMENT r ANY>",
                                                    "<!ENTITY e \"x\">",
                                                    "&e;",
                                                    "%pe;",
                                                    "&#233;",
                                                    "&#x20AC;",
                                                    "&#x65e5;",
                                                    "&#128512;"};
        const auto at = [&]()
        { return static_cast<std::size_t>(m_random.Next(static_cast<std::uint32_t>(sText.size() + 1))); };
        // The place first, then the fragment (as every compiler calls them).
        const auto insert = [&]()
        {
            const std::size_t uiAt = at();
            sText.insert(uiAt, m_random.Pick(s_apFragments));
        };
        switch (m_random.Next(8))
        {
        case 2:
            sText.resize(at());
            break;
        case 3:
        case 4:
            insert();
            break;
        case 5:
            insert();
            insert();
            break;
        case 6:
            if (!sText.empty())
            {
                static const char s_acBytes[] = "<>&;\"'/=!?-[] x\xE9\x01";
                sText[at() % sText.size()] = s_acBytes[m_random.Next(sizeof(s_acBytes) - 1)];
            }
            break;
        case 7:
        {
            const std::size_t uiAt = at();
            sText.erase(uiAt, 1 + m_random.Next(8));
            break;
        }
        default:
            break;
        }
        return sText;
    }

private:
    // A letter, which may stand in a name.
    std::string Letter()
    {
        if (m_letters.empty())
            return "e";
        return m_letters[m_random.Next(static_cast<std::uint32_t>(m_letters.size()))];
    }

    // A reference to a character outside ASCII: mostly one the text's encoding has (and may write
    // in bytes the parser would misread), else one of the pools, which the encoding may lack; in
    // decimal or hexadecimal, at times with leading zeros.
    std::string CharacterReference()
    {
        std::vector<std::string> characters = m_letters;
        characters.insert(characters.end(), m_others.begin(), m_others.end());
        characters.insert(characters.end(), m_misread.begin(), m_misread.end());
        if (characters.empty() || m_random.Next(8) == 0)
            characters = m_pool;
        const std::uint32_t uiCode =
            CodePoint(characters[m_random.Next(static_cast<std::uint32_t>(characters.size()))]);
        char acReference[24];
        switch (m_random.Next(4))
        {
        case 0:
            std::snprintf(acReference, sizeof(acReference), "&#%u;", uiCode);
            break;
        case 1:
            std::snprintf(acReference, sizeof(acReference), "&#x%x;", uiCode);
            break;
        case 2:
            std::snprintf(acReference, sizeof(acReference), "&#x%06X;", uiCode);
            break;
        default:
            std::snprintf(acReference, sizeof(acReference), "&#00%u;", uiCode);
            break;
        }
        return acReference;
    }

    std::string Other() { return m_others[m_random.Next(static_cast<std::uint32_t>(m_others.size()))]; }

    // A character of text as written: a letter or another.
    std::string Literal() { return m_others.empty() || m_random.Next(2) == 0 ? Letter() : Other(); }

    // A character of text: as written, or a reference to one.
    std::string NonAscii() { return m_random.Next(2) == 0 ? Literal() : CharacterReference(); }

    std::string Misc()
    {
        static const char* const s_apMisc[] = {"",
                                               "\n",
                                               " \r\n\t",
                                               "<!-- note -->",
                                               "<!-- a > b -->\n",
                                               "<?tool run?>",
                                               "<?tool a>b?>",
                                               "<?tool?>",
                                               "<?xml-stylesheet href=\"a>b.css\"?>",
                                               "<!-- &#233; &#x1F600; -->"};
        std::string sMisc = m_random.Pick(s_apMisc);
        return m_random.Next(3) == 0 ? sMisc + m_random.Pick(s_apMisc) : sMisc;
    }

    std::string Element(int iDepth)
    {
        static const char* const s_apNames[] = {"r", "scene", "m-1", "x.y", "_z", "a", "caf"};
        static const char* const s_apAttributes[] = {"a", "b", "name", "x.y", "_c"};
        static const char* const s_apValues[] = {"\"1\"",   "'two'", "\"a &amp; b\"", "\"&#65;&lt;\"",
                                                 "\"x>y\"", "'\"'",  "\"\""};
        std::string sName = m_random.Pick(s_apNames);
        if (sName == "caf")
            sName += Letter();
        std::string sText = "<" + sName;
        const std::uint32_t uiFirst = m_random.Next(5);
        for (std::uint32_t i = 0, n = m_random.Next(4); i < n; ++i)
        {
            sText += m_random.Next(4) == 0 ? "\n  " : " ";
            sText += s_apAttributes[(uiFirst + i) % 5];
            sText += m_random.Next(4) == 0 ? " = " : "=";
            const std::uint32_t uiValue = m_random.Next(10);
            if (uiValue < 2)
                sText.append("\"").append(NonAscii()).append("\"");
            else if (uiValue < 4)
                sText.append("'a").append(NonAscii()).append(" ").append(NonAscii()).append("'");
            else
                sText += m_random.Pick(s_apValues);
        }
        const int iItems = static_cast<int>(m_random.Next(5));
        if (iItems == 0 && m_random.Next(2) == 0)
            return sText + (m_random.Next(2) == 0 ? "/>" : " />");
        sText += ">";
        static const char* const s_apContent[] = {
            "7",          "a &amp; b",    "&#65;&#x42;", "<![CDATA[ x<y ]]>",
            "<!-- c -->", "<?tool a>b?>", "\n  ",        "&gt;]"};
        for (int i = 0; i < iItems; ++i)
        {
            const std::uint32_t uiItem = m_random.Next(14);
            if (uiItem < 8)
                sText += s_apContent[uiItem];
            else if (uiItem == 8 || uiItem == 9)
                sText += NonAscii() + (m_random.Next(2) == 0 ? " " : "") + NonAscii();
            else if (uiItem == 10)
            // Ended early, read a byte at a time, where the character ends in a ']'.
            {
                static const char* const s_apEnds[] = {"]]>", "]>]]>", "]><b/>]]>"};
                sText += "<![CDATA[" + (m_others.empty() ? Letter() : Other());
                sText += m_random.Pick(s_apEnds);
            }
            else if (uiItem == 11)
            {
                // References where they are text as written.
                const std::string sReference = CharacterReference();
                const std::uint32_t uiWhere = m_random.Next(3);
                sText += uiWhere == 0   ? "<![CDATA[" + sReference + "]]>"
                         : uiWhere == 1 ? "<!--" + sReference + "-->"
                                        : "<?tool " + sReference + "?>";
            }
            else if (iDepth < 4)
                sText += Element(iDepth + 1);
        }
        return sText + "</" + sName + (m_random.Next(4) == 0 ? " >" : ">");
    }

    Random m_random;
    EncodingReadings* m_pReadings; // not owned
    std::vector<DocumentEncoding> m_encodings;
    std::vector<std::string> m_pool;
    Group m_group = Group::Utf8;
    bool m_bSubset = false;
    std::vector<std::string> m_letters;
    std::vector<std::string> m_others;
    std::vector<std::string> m_misread;
};

// Whether the text holds a reference to a character beyond ASCII outside comments, CDATA sections
// and instructions.
bool HoldsReferenceBeyondAscii(const std::string& sText)
{
    for (std::size_t i = 0; i < sText.size(); ++i)
    {
        for (const auto& [pStart, pEnd] :
             {std::pair<const char*, const char*>{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}})
        {
            if (sText.compare(i, std::strlen(pStart), pStart) == 0)
            {
                i = std::min(sText.find(pEnd, i + std::strlen(pStart)), sText.size());
                break;
            }
        }
        if (sText.compare(i, 2, "&#") != 0)
            continue;
        const bool bHex = i + 2 < sText.size() && sText[i + 2] == 'x';
        const std::size_t uiDigits = i + (bHex ? 3 : 2);
        const std::size_t uiEnd = sText.find(';', uiDigits);
        if (uiEnd != std::string::npos && uiEnd > uiDigits && uiEnd - uiDigits < 9 &&
            std::strtoul(sText.substr(uiDigits, uiEnd - uiDigits).c_str(), nullptr, bHex ? 16 : 10) >= 0x80)
        {
            return true;
        }
    }
    return false;
}

// libxml2's and the loader's verdicts on a text and, where they read it, the contents they read.
struct Outcome
{
    Verdict reference = Verdict::Refused;
    Exemption exemption = Exemption::None;
    bool bLoaded = false;
    std::string sExpected; // libxml2's content, where it accepts the text
    std::string sLoaded;   // the loader's, where it loads the text
};

enum class Agreement
{
    Loaded,       // by both, with the same content
    Refused,      // by both
    Exempt,       // refused on purpose
    OtherContent, // loaded by both, read otherwise
    LoadedOnly,   // by the loader, refused by libxml2
    RefusedOnly,  // by the loader, accepted by libxml2
    LoadedExempt, // by the loader, though refused on purpose
    Count
};

const char* const AGREEMENT_NAMES[] = {"loaded by both",
                                       "refused by both",
                                       "exempt",
                                       "loaded by both with other content",
                                       "loaded by the loader only",
                                       "refused by the loader only",
                                       "loaded though exempt"};

// How the verdicts agree; a failure of the test where they do not.
Agreement Check(const Outcome& outcome, const std::string& sText)
{
    if (outcome.reference == Verdict::Exempt)
    {
        // Refused on purpose.
        EXPECT_FALSE(outcome.bLoaded)
            << EXEMPTION_NAMES[static_cast<int>(outcome.exemption)] << ": \"" << Printable(sText) << "\"";
        return outcome.bLoaded ? Agreement::LoadedExempt : Agreement::Exempt;
    }
    EXPECT_EQ(outcome.bLoaded, outcome.reference == Verdict::Accepted) << "\"" << Printable(sText) << "\"";
    if (outcome.bLoaded != (outcome.reference == Verdict::Accepted))
        return outcome.bLoaded ? Agreement::LoadedOnly : Agreement::RefusedOnly;
    if (!outcome.bLoaded)
        return Agreement::Refused;
    EXPECT_EQ(outcome.sLoaded, outcome.sExpected) << "\"" << Printable(sText) << "\"";
    return outcome.sLoaded == outcome.sExpected ? Agreement::Loaded : Agreement::OtherContent;
}

class KU_XmlUtilitiesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pRepository = new MemoryRepository();
        m_manager.AddRepository(m_pRepository);
    }

    // Loads sText as "doc.xml"; checks that no reference is left behind.
    std::unique_ptr<TiXmlDocument> Load(const std::string& sText)
    {
        m_pRepository->SetFile("doc.xml", sText);
        std::unique_ptr<TiXmlDocument> document(KU_XmlUtilities::LoadXmlDocument(&m_manager, "doc.xml"));
        EXPECT_EQ(m_pRepository->GetNumLoadedFiles(), 0u);
        return document;
    }

    // libxml2's and the loader's verdicts on sText, read in `reading` (EncodingReadings::Of).
    Outcome Judge(const std::string& sText, EncodingReading& reading)
    {
        Outcome outcome;
        outcome.reference = Reference(sText, reading, &outcome.exemption, &outcome.sExpected);
        const auto document = Load(sText);
        outcome.bLoaded = document != nullptr;
        if (document != nullptr)
            outcome.sLoaded = Content(*document, reading);
        return outcome;
    }

    KF_FileManager m_manager;
    MemoryRepository* m_pRepository = nullptr; // owned by m_manager
};

} // namespace

TEST_F(KU_XmlUtilitiesTest, LoadsAWellFormedDocument)
{
    const auto document = Load("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<!-- library -->\n"
                               "<materials count=\"2\"><material name=\"st\xC3\xB6ne\"/>"
                               "<material name='wood'><![CDATA[</material>]]></material></materials>");
    ASSERT_NE(document, nullptr);
    const TiXmlElement* pRoot = document->RootElement();
    ASSERT_NE(pRoot, nullptr);
    EXPECT_STREQ(pRoot->Value(), "materials");
    int iCount = 0;
    EXPECT_EQ(pRoot->QueryIntAttribute("count", &iCount), TIXML_SUCCESS);
    EXPECT_EQ(iCount, 2);
    const TiXmlElement* pSecond = pRoot->FirstChildElement("material")->NextSiblingElement("material");
    ASSERT_NE(pSecond, nullptr);
    EXPECT_STREQ(pSecond->Attribute("name"), "wood");
    EXPECT_STREQ(pSecond->GetText(), "</material>");
}

TEST_F(KU_XmlUtilitiesTest, MalformedOrMissingGivesNull)
{
    for (const char* pText : {"", "   ", "plain text", "<a>", "<a></b>", "<a x=\"1></a>", "<a x=1 x=2/>",
                              "<a><!-- open comment", "<a><![CDATA[ open", "<a x='"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
    EXPECT_EQ(KU_XmlUtilities::LoadXmlDocument(&m_manager, "missing.xml"), nullptr);
    EXPECT_EQ(KU_XmlUtilities::LoadXmlDocument(nullptr, "doc.xml"), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, TextTheParserStopsReadingEarlyIsRefused)
{
    using namespace std::string_literals;
    const std::string sScene = "<scene><duration>3</duration></scene>";
    for (const std::string& sText :
         {sScene + "x" + sScene,
          // A DOCTYPE's internal subset that declares an entity or an attribute list, which the
          // parser does not read.
          "<?xml version=\"1.0\"?><!DOCTYPE COLLADA [ <!ENTITY x \"y\"> ]><COLLADA/>"s,
          "<!DOCTYPE material_library [ <!ATTLIST material_library a CDATA \"b\"> ]>\n<material_library/>"s,
          sScene + "\n trailing text\n",
          // The parser ends the text at the first NUL byte.
          sScene + "\0"s + sScene, sScene + "\0"s, sScene + " \0 "s,
          // A declaration's attribute the parser cannot read ends its reading without an error.
          "<?xml version \"1.0\"?>" + sScene, "<?xml version='1.0' encoding=x\"?>" + sScene})
    {
        EXPECT_EQ(Load(sText), nullptr) << sText;
    }
}

TEST_F(KU_XmlUtilitiesTest, SeveralTopLevelElementsAndTrailingCommentsLoad)
{
    const std::string sScene = "<scene><duration>3</duration></scene>";
    for (const std::string& sText :
         {sScene, sScene + sScene + sScene, sScene + "\r\n", sScene + "<!-- end -->",
          sScene + " <!-- end --> \n", "<?xml version=\"1.0\"?>\n<!DOCTYPE scene>\n" + sScene,
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + sScene + "<?tool run?>"})
    {
        const auto document = Load(sText);
        ASSERT_NE(document, nullptr) << sText;
        int iScenes = 0;
        for (const TiXmlElement* p = document->FirstChildElement("scene"); p != nullptr;
             p = p->NextSiblingElement("scene"))
        {
            ++iScenes;
        }
        EXPECT_EQ(iScenes, sText == sScene + sScene + sScene ? 3 : 1) << sText;
    }
}

TEST_F(KU_XmlUtilitiesTest, MalformedMarkupTheParserReadsAsNodesIsRefused)
{
    // A mistake between the scenes of a configuration, which the parser would read to the end of
    // the text as nodes of its own, leaving scenes 2 and 3 out without a word.
    const std::string sScene1 = "<scene1><duration>7</duration></scene1>\n";
    const std::string sRest =
        "<scene2><duration>8</duration></scene2>\n<scene3><duration>9</duration></scene3>\n";
    for (const char* pMistake :
         {"<!-- scene 2 is off for now\n", "<![CDATA[ notes\n", "<?tool run\n", "<!DOCTYPE scenes\n",
          "</scene1>\n", "<!x \n", "<![CDATA[ notes ]]>\n", "<?xml version=\"1.0\"?>\n",
          // What lies between top-level elements is white space, comments and instructions only.
          "&#32;", "&amp;", "\xEF\xBB\xBF", "<!-- a -- b -->", "<!DOCTYPE scenes>"})
    {
        EXPECT_EQ(Load(sScene1 + pMistake + sRest), nullptr) << pMistake;
    }
    // The same mistakes after the only element of a material library or a model.
    const std::string sLibrary =
        "<?xml version=\"1.0\"?>\n<materials><material name=\"stone\"/></materials>\n";
    for (const char* pMistake : {"<!-- off", "<![CDATA[", "<?tool", "<!DOCTYPE materials", "</materials>",
                                 "<!x ", "<![CDATA[ ]]>", "<?xml version=\"1.0\"?>"})
    {
        EXPECT_EQ(Load(sLibrary + pMistake), nullptr) << pMistake;
    }
    // A name the parser does not read as an element's, and declarations expat reads.
    for (const char* pText :
         {"<r><:a/></r>", "\n<?xml version=\"1.0\"?><r/>", "<?xml version=\"1-0\"?><r/>",
          "<?XML version=\"1.0\"?><r/>", "<?xml version=\"1.0\" standalone=\"maybe\"?><r/>"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
    // A reference to an entity that only the DTD, which is not read, can declare (the parser
    // would drop its '&').
    const std::string sDoctype = "<!DOCTYPE scene1 SYSTEM \"scenes.dtd\">\n";
    EXPECT_NE(Load(sDoctype + "<scene1 a=\"&amp;&lt;&gt;&apos;&quot;&#65;\">&amp;</scene1>"), nullptr);
    for (const char* pReference : {"<scene1>&name;</scene1>", "<scene1 a=\"&x;\"/>",
                                   "<scene1 a=\"&amp;\" b=\"&ampx;\"/>", "<scene1/>&x;"})
    {
        EXPECT_EQ(Load(sDoctype + pReference), nullptr) << pReference;
    }
}

TEST_F(KU_XmlUtilitiesTest, InstructionsAndDoctypesHoldingAGreaterThanSignLoad)
{
    const std::string sLibrary = "<?xml version=\"1.0\"?>\n<materials><material name=\"stone\"/>"
                                 "<material name=\"wood\"/></materials>\n";
    for (const std::string& sText :
         {sLibrary + "<?tool a>b?>", sLibrary + "<?tool a>b?>\n<?tool >><<?>",
          "<!DOCTYPE materials SYSTEM \"a>b.dtd\">" + sLibrary.substr(sLibrary.find('<', 1)),
          "<?xml-stylesheet href=\"a>b.css\"?>" + sLibrary.substr(sLibrary.find('<', 1))})
    {
        const auto document = Load(sText);
        ASSERT_NE(document, nullptr) << sText;
        const TiXmlElement* pRoot = document->RootElement();
        ASSERT_NE(pRoot, nullptr) << sText;
        EXPECT_STREQ(pRoot->FirstChildElement("material")->NextSiblingElement("material")->Attribute("name"),
                     "wood")
            << sText;
    }
    // Before the root element each is one unknown node, as written.
    for (const std::string sMarkup :
         {"<!DOCTYPE materials SYSTEM \"a>b.dtd\">", "<?xml-stylesheet href=\"a>b.css\"?>", "<?XML-x a>b?>"})
    {
        const auto document = Load(sMarkup + "\n<materials/>");
        ASSERT_NE(document, nullptr) << sMarkup;
        ASSERT_NE(document->FirstChild()->ToUnknown(), nullptr) << sMarkup;
        EXPECT_EQ("<" + document->FirstChild()->ValueStr() + ">", sMarkup);
    }
    // Inside an element, the instruction is one node, as written, and the text around it stays apart.
    const auto document = Load("<scene><duration>7<?tool a>b<c>?>8</duration><far>400</far></scene>");
    ASSERT_NE(document, nullptr);
    const TiXmlNode* pInstruction =
        document->RootElement()->FirstChildElement("duration")->FirstChild()->NextSibling();
    ASSERT_NE(pInstruction, nullptr);
    ASSERT_NE(pInstruction->ToUnknown(), nullptr);
    EXPECT_STREQ(pInstruction->Value(), "?tool a>b<c>?");
    ASSERT_NE(pInstruction->NextSibling(), nullptr);
    EXPECT_STREQ(pInstruction->NextSibling()->Value(), "8");
    EXPECT_STREQ(document->RootElement()->FirstChildElement("far")->GetText(), "400");
}

TEST_F(KU_XmlUtilitiesTest, TextIsJudgedInTheEncodingTheParserReadsItIn)
{
    // Loaded: without a byte-order mark or declaration, text that is not valid UTF-8 is read as
    // ISO-8859-1, a byte a character; a declared single-byte encoding is read as declared.
    for (const char* pText : {"<r>Caf\xE9</r>", "<r>Caf\xC3\xA9</r>", "<r a='\xC3'>\xA9\xED\xA0\x80</r>",
                              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>Caf\xE9</r>",
                              "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\x80 Caf\xE9</r>",
                              "<?xml version=\"1.0\" encoding=\"latin1\"?><r>Caf\xE9</r>",
                              "<?xml version=\"1.0\" encoding=\"UTF8\"?><r>Caf\xC3\xA9 \xF0\x9F\x99\x82</r>",
                              "<?xml version=\"1.0\" encoding=\"utf_8\"?><r>Caf\xC3\xA9 \xF0\x9F\x99\x82</r>",
                              "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x82\xA0</r>",
                              // An instruction the parser would read as a declaration, and so
                              // read on as UTF-8.
                              "<?xml-stylesheet href=\"s.css\"?><r>Caf\xE9</r>"})
    {
        const auto document = Load(pText);
        ASSERT_NE(document, nullptr) << pText;
        EXPECT_NE(document->RootElement()->GetText(), nullptr) << pText;
    }
    // Refused: a declaration without an encoding, or a byte-order mark, says UTF-8, and so does the
    // parser; bytes that are no character in the encoding declared.
    for (const char* pText :
         {"<?xml version=\"1.0\"?><r>Caf\xE9</r>", "\xEF\xBB\xBF<r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>Caf\xE9</r>",
          "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><r>Caf\xE9</r>",
          "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x82\xA0\x82</r>",
          "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><r/>", "<r>\xC3\xA9\x01</r>"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
}

TEST_F(KU_XmlUtilitiesTest, InternalSubsetsThatDeclareNoEntityOrAttributeListLoad)
{
    // The parser reads the DOCTYPE as one node, as written, whatever its subset holds.
    const std::string sScenes =
        "<scene1><duration>7</duration></scene1>\n<scene2><duration>8</duration></scene2>\n"
        "<scene3><duration>9</duration></scene3>\n";
    for (const std::string sDoctype :
         {"<!DOCTYPE scenes [ ]>", "<!DOCTYPE scenes [\n]>", "<!DOCTYPE scenes SYSTEM \"scenes.dtd\" [ ]>",
          "<!DOCTYPE scenes [ <!-- scenes > 3 are off [for now] --> ]>",
          "<!DOCTYPE scenes [ <?tool a>b?> ] >",
          "<!DOCTYPE scenes [\n  <!ELEMENT scenes ANY>\n  <!ELEMENT scene1 (duration)>\n"
          "  <!NOTATION png SYSTEM \"image/png\">\n  <?xml-stylesheet href=\"a>b.css\"?>\n]>",
          "<!DOCTYPE scenes PUBLIC \"-//KV//scenes\" \"a>b.dtd\" [ <!-- ]> --> <!ELEMENT duration (#PCDATA)> "
          "]>"})
    {
        for (const std::string sDeclaration : {"", "<?xml version=\"1.0\"?>\n"})
        {
            const auto document = Load(sDeclaration + sDoctype + "\n" + sScenes);
            ASSERT_NE(document, nullptr) << sDoctype;
            const TiXmlNode* pDoctype =
                sDeclaration.empty() ? document->FirstChild() : document->FirstChild()->NextSibling();
            ASSERT_NE(pDoctype->ToUnknown(), nullptr) << sDoctype;
            EXPECT_EQ("<" + pDoctype->ValueStr() + ">", sDoctype);
            int iScenes = 0;
            for (const TiXmlElement* p = document->FirstChildElement(); p != nullptr;
                 p = p->NextSiblingElement())
                EXPECT_STREQ(p->FirstChildElement("duration")->GetText(),
                             std::to_string(7 + iScenes++).c_str());
            EXPECT_EQ(iScenes, 3) << sDoctype;
        }
    }
    // Refused: a subset that declares an entity or an attribute list (expat would expand the one and
    // add the other's defaults, which the parser leaves out), used or not, or refers to a parameter
    // entity, which could declare either.
    for (const std::string sDoctype :
         {"<!DOCTYPE scenes [ <!ENTITY d \"7\"> ]>", "<!DOCTYPE scenes [ <!ENTITY % d \"7\"> ]>",
          "<!DOCTYPE scenes [ <!ENTITY logo SYSTEM \"logo.png\" NDATA png> <!NOTATION png SYSTEM \"p\"> ]>",
          "<!DOCTYPE scenes [ <!ATTLIST scene1 fade CDATA \"1\"> ]>",
          "<!DOCTYPE scenes [ <!ATTLIST scene1 fade CDATA #IMPLIED> ]>", "<!DOCTYPE scenes [ %extra; ]>",
          "<!DOCTYPE scenes SYSTEM \"scenes.dtd\" [ %extra; <!ELEMENT scenes ANY> ]>"})
    {
        EXPECT_EQ(Load(sDoctype + "\n" + sScenes), nullptr) << sDoctype;
    }
    EXPECT_EQ(Load("<!DOCTYPE scene1 [ <!ENTITY d \"7\"> ]><scene1><duration>&d;</duration></scene1>"),
              nullptr);
    // Not well-formed.
    for (const char* pText :
         {"<!DOCTYPE scenes [ <!ELEMENT scenes> ]><scenes/>", "<!DOCTYPE scenes [ x ]><scenes/>",
          "<!DOCTYPE scenes [ <!-- a -- b --> ]><scenes/>", "<!DOCTYPE scenes [ ]<scenes/>",
          "<!DOCTYPE scenes [ <scenes/>"})
    {
        EXPECT_EQ(Load(pText), nullptr) << pText;
    }
}

TEST_F(KU_XmlUtilitiesTest, EncodingNamesAreReadAsLibxml2ReadsThem)
{
    // As Python's ElementTree writes a declaration: the name it was given.
    const std::string sText = "<scene name=\"Caf\xE9\"><duration>\xE9t\xE9 7</duration></scene>";
    TiXmlPrinter reference;
    const auto latin1 = Load("<?xml version='1.0' encoding='latin1'?>\n" + sText);
    ASSERT_NE(latin1, nullptr);
    latin1->RootElement()->Accept(&reference);
    for (const char* pName :
         {"latin-1", "Latin-1", "iso8859_1", "iso_8859_1", "ISO_8859-1", "l1", "L_1", "iso-latin-1",
          "ISO-LATIN-1", "IBM819", "cp-819", "csISOLatin1", "iso-ir-100", "iso-8859-01"})
    {
        const auto document = Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n" + sText);
        ASSERT_NE(document, nullptr) << pName;
        TiXmlPrinter printer;
        document->RootElement()->Accept(&printer);
        EXPECT_EQ(printer.Str(), reference.Str()) << pName;
    }
    // Each name loads where libxml2 reads it (iconv's names as they are, ICU's ignoring case and
    // all but letters and digits), in the encoding libxml2 reads.
    int aiOutcomes[2] = {};
    for (const char* pName :
         {"latin_9", "Latin-5", "l6", "latin-8", "iso8859_15", "ISO_8859_2", "iso8859-10", "ISO8859_13",
          "windows_1252", "WINDOWS1255", "Windows-1258", "cp-1250", "windows_874", "shiftjis", "Shift-JIS",
          "s_jis", "ms_932", "Windows-31J", "euc_jp", "EUC_KR", "gb_2312", "big-5", "us_ascii", "a_scii",
          "iso-latin-2", "UTF_8", "utf8",
          // Not read by libxml2.
          "latin-7", "latin_10", "iso8859_16", "iso-latin-3", "latin1x", "no-such-encoding", "utf-9",
          "x-no-such"})
    {
        xmlCharEncodingHandlerPtr pHandler = xmlFindCharEncodingHandler(pName);
        const bool bRead = pHandler != nullptr;
        if (pHandler != nullptr)
            xmlCharEncCloseFunc(pHandler);
        ++aiOutcomes[bRead];
        EXPECT_EQ(Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n<r a='1'>x</r>") !=
                      nullptr,
                  bRead)
            << pName;
    }
    EXPECT_GT(aiOutcomes[1], 20);
    EXPECT_GT(aiOutcomes[0], 5);
    // Read in the encoding named: ISO-8859-15's euro sign where ISO-8859-1 has a currency sign, UTF-8's
    // characters of several bytes, US-ASCII without any above 0x7F.
    for (const char* pName : {"latin_9", "iso8859_15"})
    {
        EXPECT_NE(Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?><r>\xA4</r>"), nullptr)
            << pName;
    }
    EXPECT_NE(Load("<?xml version='1.0' encoding='utf_8'?><r>\xE2\x82\xAC</r>"), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='utf_8'?><r>\xA4</r>"), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='us_ascii'?><r>\xA4</r>"), nullptr);
}

TEST(KU_XmlUtilitiesAssets, TheMaterialLibraryReSavedInLatin1LoadsItsMaterials)
{
    // assets/Materials/KV27_Materials.xml as ElementTree writes it with encoding='latin-1'.
    std::ifstream file(std::string(KV_SOURCE_ROOT) + "/assets/Materials/KV27_Materials.xml",
                       std::ios::binary);
    std::string sText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(sText.compare(0, 5, "<?xml"), 0);
    KF_FileManager files;
    auto* pRepository = new MemoryRepository();
    files.AddRepository(pRepository);
    const auto count = [&](const std::string& sLibrary)
    {
        pRepository->SetFile("library.xml", sLibrary);
        const std::unique_ptr<TiXmlDocument> document(
            KU_XmlUtilities::LoadXmlDocument(&files, "library.xml"));
        if (document == nullptr)
            return -1;
        int iMaterials = 0;
        for (const TiXmlElement* p = document->RootElement()->FirstChildElement(); p != nullptr;
             p = p->NextSiblingElement())
        {
            ++iMaterials;
        }
        return iMaterials;
    };
    const int iShipped = count(sText);
    EXPECT_EQ(iShipped, 42);
    sText.replace(0, sText.find("?>") + 2, "<?xml version='1.0' encoding='latin-1'?>");
    EXPECT_EQ(count(sText), iShipped);
}

TEST_F(KU_XmlUtilitiesTest, WindowsCodePagesAreReadAsDeclared)
{
    // iconv's converters for windows-1255 and -1258 combine a letter with the marks after it; expat
    // reads a byte a character, as the parser does.
    for (const auto& [pName, pText] :
         std::initializer_list<std::pair<const char*, const char*>>{{"windows-1250", "Příliš žluťoučký kůň"},
                                                                    {"windows-1251", "Съешь же ещё"},
                                                                    {"windows-1252", "Café € “quoted”"},
                                                                    {"windows-1253", "Ελληνικά"},
                                                                    {"windows-1254", "Türkçe ğış"},
                                                                    {"windows-1255", "שָׁלוֹם עוֹלָם ₪"},
                                                                    {"windows-1256", "العربية پ"},
                                                                    {"windows-1257", "Lietuvių ąčę"},
                                                                    {"windows-1258", "Tiếng Việt ₫"},
                                                                    {"cp1255", "בְּרֵאשִׁית"},
                                                                    {"CP1258", "Xin chào"}})
    {
        const std::string sValue = Convert(pText, "UTF-8", pName);
        ASSERT_FALSE(sValue.empty()) << pName;
        const auto document =
            Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n<scene title=\"" + sValue +
                 "\"><note>" + sValue + "</note><!-- " + sValue + " --></scene>");
        ASSERT_NE(document, nullptr) << pName;
        EXPECT_EQ(document->RootElement()->Attribute("title"), sValue) << pName;
        EXPECT_EQ(document->RootElement()->FirstChildElement("note")->GetText(), sValue) << pName;
    }
    // Bytes that are no character in the code page.
    EXPECT_EQ(Load("<?xml version='1.0' encoding='windows-1255'?><r>\xFF</r>"), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='windows-1258'?><r>\xEC\x81</r>"), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, MultiByteEncodingsAreReadAsWritten)
{
    // As ElementTree writes them. In these encodings no byte of a character of several bytes is
    // markup to the parser, which reads the bytes a byte at a time, as written: in Shift_JIS and
    // cp932 ソ and 表 end in a '\', ゾ in a ']', in Big5 功 ends in a '\' and 也 in a ']'.
    for (const auto& [pName, pLetters, pText] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"shift_jis", "あい", "日本語のテキスト ソ 表 ゾ ‐"},
             {"Shift_JIS", "あい", "ソース表示"},
             {"cp932", "あい", "日本語 ① ゾ"},
             {"euc-jp", "日本", "日本語のテキスト ソ 表"},
             {"EUC-KR", "한국", "한국어 텍스트"},
             {"gb2312", "中文", "中文文本"},
             {"big5", "中文", "中文 功 也 （）"}})
    {
        const std::string sLetters = Convert(pLetters, "UTF-8", pName);
        const std::string sText = Convert(pText, "UTF-8", pName);
        ASSERT_FALSE(sText.empty()) << pName;
        const auto document = Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?>\n<scenes><" +
                                   sLetters + " title=\"" + sText + "\">" + sText + "<![CDATA[" + sText +
                                   "]]]]><!-- " + sText + " --></" + sLetters + "><scene>7</scene></scenes>");
        ASSERT_NE(document, nullptr) << pName;
        const TiXmlElement* pElement = document->RootElement()->FirstChildElement();
        EXPECT_EQ(pElement->ValueStr(), sLetters) << pName;
        EXPECT_EQ(pElement->Attribute("title"), sText) << pName;
        EXPECT_EQ(pElement->FirstChild()->ValueStr(), sText) << pName;
        EXPECT_EQ(pElement->FirstChild()->NextSibling()->ValueStr(), sText + "]]") << pName;
        EXPECT_STREQ(pElement->NextSiblingElement("scene")->GetText(), "7") << pName;
    }
    const std::string sShiftJis = "<?xml version='1.0' encoding='shift_jis'?>\n";
    // Refused on purpose: a CDATA section that a character ending in ']' followed by "]>" ends
    // early, read a byte at a time (the parser would read the rest as markup and text).
    for (const auto& [pName, pCharacter] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Shift_JIS", "ゾ"}, {"cp932", "‐"}, {"Big5", "也"}})
    {
        const std::string sDeclaration = "<?xml version='1.0' encoding='" + std::string(pName) + "'?>";
        const std::string sCharacter = Convert(pCharacter, "UTF-8", pName);
        ASSERT_EQ(sCharacter.back(), ']') << pName;
        EXPECT_NE(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]]></r>"), nullptr) << pName;
        EXPECT_NE(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]]]></r>"), nullptr) << pName;
        EXPECT_EQ(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]>]]></r>"), nullptr) << pName;
        EXPECT_EQ(Load(sDeclaration + "<r><![CDATA[" + sCharacter + "]><b/>]]></r>"), nullptr) << pName;
    }
    // Refused on purpose: a stateful encoding, whose bytes in a shifted state may be '<' (ISO-2022-JP
    // writes 日本 as ESC $ B F | K \ ESC ( B); UTF-16, as written or declared in a text of one byte a
    // character.
    const std::string sJapanese =
        Convert("<?xml version='1.0' encoding='iso-2022-jp'?>\n<r>日本</r>", "UTF-8", "ISO-2022-JP");
    ASSERT_FALSE(sJapanese.empty());
    EXPECT_EQ(Load(sJapanese), nullptr);
    EXPECT_EQ(Load("<?xml version='1.0' encoding='ISO-2022-JP'?><r>x</r>"), nullptr);
    EXPECT_EQ(Load(Convert("<?xml version='1.0' encoding='utf-16'?>\n<r>x</r>", "UTF-8", "UTF-16")), nullptr);
    for (const char* pName : {"UTF-16", "utf16", "UTF-16LE", "UCS-2", "UTF-7", "UTF-32"})
    {
        EXPECT_EQ(Load("<?xml version='1.0' encoding='" + std::string(pName) + "'?><r>x</r>"), nullptr)
            << pName;
    }
    // Refused as not well-formed: a character cut short, or whose later byte is not one.
    EXPECT_EQ(Load(sShiftJis + "<r>\x82</r>"), nullptr);
    EXPECT_EQ(Load(sShiftJis + "<r>\x82<b/></r>"), nullptr);
    EXPECT_EQ(Load(sShiftJis + "<r a='\x82'/>"), nullptr);
    // Refused on purpose: where the encoding has characters with a later byte below 0x40 (Johab),
    // such a character, whose later byte the parser would read as markup or white space.
    const std::string sJohab = "<?xml version='1.0' encoding='johab'?>";
    EXPECT_NE(Load(sJohab + "<r>" + Convert("한국어", "UTF-8", "JOHAB") + "</r>"), nullptr);
    EXPECT_EQ(Load(sJohab + "<r>\xD9\x3C/r></r>"), nullptr);
    EXPECT_EQ(Load(sJohab + "<r>\xD9\x31</r>"), nullptr);
    // As before: a name holding a character that ends in a byte the parser does not read in a name
    // (表 ends in '\') is refused by the parser.
    EXPECT_EQ(Load(sShiftJis + "<" + Convert("表", "UTF-8", "SHIFT_JIS") + "/>"), nullptr);
}

TEST(KU_XmlUtilitiesThreads, DeclaredEncodingsLoadOnSeveralThreadsAtOnce)
{
    // The encodings' tables are made on first use and kept for every thread.
    const char* const apNames[] = {"cp932", "Big5", "EUC-KR", "windows-1255", "iso8859_15", "sjis"};
    std::vector<std::thread> threads;
    std::atomic<int> iLoaded{0};
    for (int iThread = 0; iThread < 4; ++iThread)
    {
        threads.emplace_back(
            [&]()
            {
                KF_FileManager files;
                auto* pRepository = new MemoryRepository();
                files.AddRepository(pRepository);
                for (int i = 0; i < 3; ++i)
                    for (const char* pName : apNames)
                    {
                        pRepository->SetFile("doc.xml", "<?xml version='1.0' encoding='" +
                                                            std::string(pName) + "'?><r a='x'>y</r>");
                        iLoaded += std::unique_ptr<TiXmlDocument>(
                                       KU_XmlUtilities::LoadXmlDocument(&files, "doc.xml")) != nullptr
                                       ? 1
                                       : 0;
                    }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(iLoaded, 4 * 3 * static_cast<int>(std::size(apNames)));
}

TEST_F(KU_XmlUtilitiesTest, VerdictsAgreeWithAnIndependentParser)
{
    // The loader reads with TinyXML and judges with expat; libxml2 is the reference, but for what
    // the loader refuses on purpose, which is exempt by kind. Where both load a document they read
    // the same content: names, attribute values, text, CDATA sections, comments and instructions,
    // the loader's bytes read in the document's encoding.
    EncodingReadings readings;
    DocumentMaker maker(77, &readings);
    const int iDocuments = 24000;
    constexpr int AGREEMENTS = static_cast<int>(Agreement::Count);
    constexpr int GROUPS = static_cast<int>(Group::Count);
    int aaiOutcomes[AGREEMENTS][GROUPS] = {}; // by how they agree and what the text is written in
    int aiWithSubset[AGREEMENTS] = {};
    int aiLoadedWithReferences[2] = {}; // by both, holding references beyond ASCII: [read as UTF-8]
    int aiExempt[static_cast<int>(Exemption::Count)] = {};
    for (int i = 0; i < iDocuments; ++i)
    {
        const std::string sMade = maker.Make();
        ASSERT_FALSE(sMade.empty()); // every character written in its encoding
        const std::string sText = maker.Mutate(sMade);
        EncodingReading& reading = readings.Of(sText);
        const Outcome outcome = Judge(sText, reading);
        const Agreement agreement = Check(outcome, sText);
        ++aaiOutcomes[static_cast<int>(agreement)][static_cast<int>(maker.GetGroup())];
        aiWithSubset[static_cast<int>(agreement)] += maker.HasSubset() ? 1 : 0;
        if (agreement == Agreement::Exempt)
            ++aiExempt[static_cast<int>(outcome.exemption)];
        if (agreement == Agreement::Loaded && HoldsReferenceBeyondAscii(sText))
            ++aiLoadedWithReferences[reading.IsReadAsUtf8() ? 1 : 0];
    }
    int aiTotals[AGREEMENTS] = {};
    for (int i = 0; i < AGREEMENTS; ++i)
        for (const int iCount : aaiOutcomes[i])
            aiTotals[i] += iCount;
    const auto total = [&aiTotals](Agreement agreement) { return aiTotals[static_cast<int>(agreement)]; };
    std::printf("%d documents: %d loaded and %d refused as libxml2 reads them, %d otherwise;", iDocuments,
                total(Agreement::Loaded), total(Agreement::Refused),
                iDocuments - total(Agreement::Loaded) - total(Agreement::Refused) - total(Agreement::Exempt));
    for (int i = 1; i < static_cast<int>(Exemption::Count); ++i)
        std::printf(" %d exempt (%s)%s", aiExempt[i], EXEMPTION_NAMES[i],
                    i + 1 < static_cast<int>(Exemption::Count) ? "," : "");
    for (int i = 0; i < AGREEMENTS; ++i)
    {
        if (aiTotals[i] == 0 || i == static_cast<int>(Agreement::Refused) ||
            i == static_cast<int>(Agreement::Exempt))
            continue;
        std::printf("\n%s:", AGREEMENT_NAMES[i]);
        for (int j = 0; j < GROUPS; ++j)
            std::printf(" %d %s,", aaiOutcomes[i][j], GROUP_NAMES[j]);
        std::printf(" %d with an internal subset", aiWithSubset[i]);
    }
    std::printf("\nloaded by both with references beyond ASCII: %d read as UTF-8, %d in other encodings\n",
                aiLoadedWithReferences[1], aiLoadedWithReferences[0]);
    // Floors on both outcomes, and on each kind of text loaded and refused on purpose.
    const int* const aiLoaded = aaiOutcomes[static_cast<int>(Agreement::Loaded)];
    EXPECT_GT(total(Agreement::Loaded), iDocuments / 5);
    EXPECT_GT(total(Agreement::Refused), iDocuments * 2 / 5);
    EXPECT_GT(aiWithSubset[static_cast<int>(Agreement::Loaded)], iDocuments / 50);
    for (const Group group : {Group::Utf8, Group::Latin1, Group::Windows, Group::MultiByte, Group::Listed})
        EXPECT_GT(aiLoaded[static_cast<int>(group)], iDocuments / 50) << GROUP_NAMES[static_cast<int>(group)];
    for (const int iWithReferences : aiLoadedWithReferences)
        EXPECT_GT(iWithReferences, iDocuments / 50);
    for (const Exemption exemption :
         {Exemption::Entities, Exemption::AttributeLists, Exemption::StatefulEncoding,
          Exemption::WideEncoding, Exemption::CdataEndedEarly, Exemption::MisreadCharacter,
          Exemption::LackedCharacter})
        EXPECT_GT(aiExempt[static_cast<int>(exemption)], iDocuments / 1200)
            << EXEMPTION_NAMES[static_cast<int>(exemption)];
}

TEST_F(KU_XmlUtilitiesTest, VerdictsAgreeWithAnIndependentParserOnEveryEncodingName)
{
    // Every name iconv and ICU list, and each as Python spells its codecs, declared by one small
    // document written in the encoding libxml2 reads by the name (in ASCII where it reads none):
    // loaded where libxml2 reads it, with libxml2's content, unless the kind of encoding is refused
    // on purpose; refused where it does not.
    std::set<std::string> names;
    for (const std::string& sName : ListedEncodingNames())
    {
        names.insert(sName);
        names.insert(PythonSpelling(sName));
    }
    constexpr int AGREEMENTS = static_cast<int>(Agreement::Count);
    constexpr int KINDS = static_cast<int>(EncodingKind::Count);
    int aaiOutcomes[AGREEMENTS][KINDS] = {}; // by how they agree and the kind of encoding
    int aiExempt[static_cast<int>(Exemption::Count)] = {};
    int iNoName = 0; // refused by both: a declaration may not hold the name
    for (const std::string& sName : names)
    {
        EncodingReading reading(sName);
        std::string sText = "<?xml version=\"1.0\" encoding=\"" + sName +
                            "\"?>\n<r a=\"v&#65;\">t<!-- c --><?p d?><e/></r>\n";
        std::string sWritten;
        if (reading.Encode(sText, &sWritten))
            sText = sWritten;
        const Outcome outcome = Judge(sText, reading);
        const Agreement agreement = Check(outcome, sText);
        if (agreement == Agreement::Refused && !IsEncodingName(sName))
            ++iNoName;
        else
            ++aaiOutcomes[static_cast<int>(agreement)][static_cast<int>(reading.GetKind())];
        if (agreement == Agreement::Exempt)
            ++aiExempt[static_cast<int>(outcome.exemption)];
        if (agreement != Agreement::Loaded && agreement != Agreement::Refused &&
            agreement != Agreement::Exempt)
            ADD_FAILURE() << sName << " (" << ENCODING_KIND_NAMES[static_cast<int>(reading.GetKind())] << ")";
    }
    std::printf("%zu encoding names, by the kind of encoding libxml2 reads:", names.size());
    for (int i = 0; i < AGREEMENTS; ++i)
    {
        if (i == static_cast<int>(Agreement::Exempt))
            continue;
        std::printf("\n%s:", AGREEMENT_NAMES[i]);
        for (int j = 0; j < KINDS; ++j)
            std::printf(" %d %s%s", aaiOutcomes[i][j], ENCODING_KIND_NAMES[j], j + 1 < KINDS ? "," : "");
    }
    std::printf("\nexempt:");
    for (const Exemption exemption :
         {Exemption::StatefulEncoding, Exemption::WideEncoding, Exemption::MarkupChanged})
        std::printf(" %d %s,", aiExempt[static_cast<int>(exemption)],
                    EXEMPTION_NAMES[static_cast<int>(exemption)]);
    std::printf(" and %d refused by both that a declaration may not hold\n", iNoName);
    // Floors on each kind of encoding loaded and refused on purpose, and on names libxml2 does not
    // read.
    const int* const aiLoaded = aaiOutcomes[static_cast<int>(Agreement::Loaded)];
    for (const EncodingKind kind : {EncodingKind::Utf8, EncodingKind::Ascii})
        EXPECT_GT(aiLoaded[static_cast<int>(kind)], 20) << ENCODING_KIND_NAMES[static_cast<int>(kind)];
    EXPECT_GT(aiLoaded[static_cast<int>(EncodingKind::Bytes)], 1000);
    EXPECT_GT(aaiOutcomes[static_cast<int>(Agreement::Refused)][static_cast<int>(EncodingKind::NotRead)],
              100);
    EXPECT_GT(iNoName, 100);
    for (const Exemption exemption :
         {Exemption::StatefulEncoding, Exemption::WideEncoding, Exemption::MarkupChanged})
        EXPECT_GT(aiExempt[static_cast<int>(exemption)], 40) << EXEMPTION_NAMES[static_cast<int>(exemption)];
}

TEST(KU_XmlUtilitiesAssets, EveryXmlAndColladaFileOfTheAssetsLoads)
{
    KF_FileManager files;
    files.AddRepository(new KF_DirectoryRepository(KV_SOURCE_ROOT));
    int iFiles = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::string(KV_SOURCE_ROOT) + "/assets"))
    {
        std::string sExtension = entry.path().extension().string();
        std::transform(sExtension.begin(), sExtension.end(), sExtension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (sExtension != ".xml" && sExtension != ".dae")
            continue;
        const std::string sPath =
            std::filesystem::relative(entry.path(), std::string(KV_SOURCE_ROOT)).generic_string();
        EXPECT_NE(std::unique_ptr<TiXmlDocument>(KU_XmlUtilities::LoadXmlDocument(&files, sPath.c_str())),
                  nullptr)
            << sPath;
        ++iFiles;
    }
    EXPECT_GE(iFiles, 13);
}

TEST_F(KU_XmlUtilitiesTest, NestingUpToTheLimitLoads)
{
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_DEPTH;
    EXPECT_NE(Load(Nested("<a>", "</a>", iLimit)), nullptr);
    EXPECT_NE(Load(Nested("<a b='>'>", "</a>", iLimit)), nullptr);
    EXPECT_EQ(Load(Nested("<a>", "</a>", iLimit + 1)), nullptr);
    // Siblings and self-closed elements do not nest.
    std::string sWide = "<r>";
    for (int i = 0; i < 5000; ++i)
        sWide += "<a><b/></a>";
    EXPECT_NE(Load(sWide + "</r>"), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, DeepNestingIsRefusedWithoutCrashing)
{
    EXPECT_EQ(Load(Nested("<a>", "</a>", 200000)), nullptr);
    EXPECT_EQ(Load(Nested("<a>", "", 200000)), nullptr);
    // End tags hidden where the parser does not read them as end tags.
    EXPECT_EQ(Load(Nested("<a><!--</a>-->", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a><![CDATA[</a>]]>", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a x=\"</a>\">", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a><?xml version='</a>'?>", "</a>", 100000)), nullptr);
    // End tags swallowed by what the parser reads as one character: in UTF-8 a lead byte takes
    // the next two bytes with it, and a character reference runs to the next ';'.
    const std::string sUtf8 = "<?xml version=\"1.0\"?>";
    EXPECT_EQ(Load(sUtf8 + Nested("<a>\xE0</a>", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a>&#</a>#1;", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a>&#x</a>x1;", "</a>", 100000)), nullptr);
    EXPECT_EQ(Load(Nested("<a b=\"&#\"></a>#1;\">", "</a>", 100000)), nullptr);
}

TEST_F(KU_XmlUtilitiesTest, NestingIsCountedInTheDocumentsEncoding)
{
    // Latin-1 as declared: every byte is one character.
    auto document = Load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><name a=\"Caf\xE9\">Caf\xE9</name>");
    ASSERT_NE(document, nullptr);
    EXPECT_STREQ(document->RootElement()->GetText(), "Caf\xE9");
    EXPECT_STREQ(document->RootElement()->Attribute("a"), "Caf\xE9");
    // UTF-8 holding U+FEFF inside text, an attribute and between elements (not before the root:
    // there it is text outside the elements).
    document = Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"x\xEF\xBB\xBF\">"
                    "x\xEF\xBB\xBFy<b/>\xEF\xBB\xBF<c/></r>");
    ASSERT_NE(document, nullptr);
    EXPECT_STREQ(document->RootElement()->GetText(), "x\xEF\xBB\xBFy");
    EXPECT_NE(document->RootElement()->FirstChildElement("c"), nullptr);
    EXPECT_EQ(Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\xEF\xBB\xBF<r/>"), nullptr);
    // A lead byte that would take the '<' of an end tag with it is not UTF-8, which the declaration
    // implies: refused at any depth.
    EXPECT_EQ(Load("<?xml version=\"1.0\"?>" + Nested("<a>\xE0</a>", "</a>", 50)), nullptr);
    EXPECT_EQ(Load("<?xml version=\"1.0\"?>" +
                   Nested("<a>\xE0</a>", "</a>", KU_XmlUtilities::MAX_ELEMENT_DEPTH + 1)),
              nullptr);
    // The same bytes in Latin-1 are closed where they stand.
    EXPECT_NE(
        Load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>" + Nested("<a>\xE0</a>", "", 1000) + "</r>"),
        nullptr);
}

TEST_F(KU_XmlUtilitiesTest, ElementsHoldingMoreAttributesThanTheLimitAreRefused)
{
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES;
    auto document = Load("<r>" + WithAttributes("a", iLimit) + "</r>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(MostAttributes(document.get()), iLimit);
    EXPECT_EQ(Load("<r>" + WithAttributes("a", iLimit + 1) + "</r>"), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", iLimit + 1)), nullptr);
    // 64 bounds what 10 MB of elements cost the parser; the engine's files hold at most 15.
    EXPECT_NE(Load(WithAttributes("r", 64)), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", 65)), nullptr);
    EXPECT_EQ(Load(WithAttributes("r", 256)), nullptr);
    // Refused before the parser checks each attribute against all earlier ones.
    EXPECT_EQ(Load(WithAttributes("r", 200000)), nullptr);
    // Also when the element is open, and when the text ends or breaks off after the attributes.
    std::string sOpen = WithAttributes("r", iLimit + 1);
    sOpen.replace(sOpen.size() - 2, 2, ">");
    EXPECT_EQ(Load(sOpen + "</r>"), nullptr);
    EXPECT_EQ(Load(sOpen), nullptr);
    EXPECT_EQ(Load(sOpen.substr(0, sOpen.size() - 1) + " x"), nullptr);

    // The limit is per element: many elements at the limit load.
    std::string sMany = "<r>";
    for (int i = 0; i < 8; ++i)
        sMany += WithAttributes("a", iLimit);
    EXPECT_NE(Load(sMany + "</r>"), nullptr);
    // What only looks like attributes does not count: text, comments, CDATA, instructions and
    // attribute values.
    std::string sLookAlikes = WithAttributes("r", iLimit);
    sLookAlikes.replace(sLookAlikes.size() - 2, 2, " z='b=\"1\" c=\"2\"'>");
    for (const char* pLookAlike :
         {"x=\"1\"", "<!-- x=\"1\" -->", "<![CDATA[ x=\"1\" ]]>", "<?pi x=\"1\"?>", "<?pi a='>' x=\"1\"?>"})
    {
        sLookAlikes += pLookAlike;
    }
    EXPECT_EQ(Load(sLookAlikes + "</r>"), nullptr); // z is one past the limit
    sLookAlikes.erase(sLookAlikes.find(" z="), sLookAlikes.find("'>") + 1 - sLookAlikes.find(" z="));
    document = Load(sLookAlikes + "</r>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(MostAttributes(document.get()), iLimit);
}

TEST_F(KU_XmlUtilitiesTest, AttributesAreCountedAsTheParserReadsThem)
{
    // Generated documents around the limit, in every quoting and spacing the parser reads, with
    // markup and look-alikes before and between, some with bytes changed. Whatever the parser
    // reads into one element (it keeps what it read even when it then fails) decides: more than
    // the limit is refused, and a well-formed document it reads whole within the limits loads.
    const int iLimit = KU_XmlUtilities::MAX_ELEMENT_ATTRIBUTES;
    Random random(66);
    const auto next = [&random](std::uint32_t uiRange) { return random.Next(uiRange); };
    const char* const apValues[] = {"\"v\"",  "'v'",       "'-->'",   "\"a'b\"",
                                    "'a\"b'", "\">/>\"",   "'!--'",   "\"&amp;&#x3c;\"",
                                    "\"\"",   "'x=\"1\"'", "\"]]>\"", "'&lt;'"};
    const char* const apSpaces[] = {" ", "\t", "\n", "\r\n", "  "};
    const char* const apBetween[] = {"",
                                     "text a=\"1\"",
                                     "<!-- b=\"1\" c='2' -->",
                                     "<![CDATA[ <e f=\"1\"> ]]>",
                                     "<?pi g=\"1\"?>",
                                     "<?pi h='>' i=\"1\"?>",
                                     "<e/>",
                                     "&#65;"};
    int aiOutcomes[2][2] = {}; // [loaded][parser read more than the limit]
    for (int iDocument = 0; iDocument < 160; ++iDocument)
    {
        std::string sText = next(2) == 0 ? "<?xml version=\"1.0\"?>" : "";
        sText += "<r>";
        const int iElements = 1 + static_cast<int>(next(3));
        for (int iElement = 0; iElement < iElements; ++iElement)
        {
            sText += apBetween[next(8)];
            sText += "<e";
            const int iCount = iLimit - 3 + static_cast<int>(next(7));
            for (int i = 0; i < iCount; ++i)
            {
                sText += apSpaces[next(5)];
                sText += (next(4) == 0 ? "_n:" : "n.") + std::to_string(i) + "-";
                sText += next(3) == 0 ? " = " : "=";
                sText += apValues[next(12)];
            }
            sText += next(2) == 0 ? "/>" : "></e>";
        }
        sText += "</r>";
        if (next(3) == 0)
        {
            // Inside the root element, where the parser either reads on to the root's end tag (no
            // change makes another) or reports an error.
            const char acBytes[] = "<>/='\"!-?[] x";
            const std::size_t uiFirst = sText.find("<r>") + 3;
            for (int i = 1 + static_cast<int>(next(3)); i > 0; --i)
                sText[uiFirst + next(static_cast<std::uint32_t>(sText.size() - 4 - uiFirst))] =
                    acBytes[next(14)];
        }

        TiXmlDocument parsed;
        parsed.Parse(sText.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
        const bool bMore = MostAttributes(&parsed) > iLimit;
        const bool bLoaded = Load(sText) != nullptr;
        EXPECT_FALSE(bMore && bLoaded) << sText;
        EXPECT_TRUE(bMore || parsed.Error() || Reference(sText) != Verdict::Accepted || bLoaded) << sText;
        ++aiOutcomes[bLoaded][bMore];
    }
    // The documents reach both sides of the limit.
    EXPECT_GT(aiOutcomes[1][0], 20);
    EXPECT_GT(aiOutcomes[0][1], 20);
}
