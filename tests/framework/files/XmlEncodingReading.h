#pragma once
// libxml2's reading of encoding names, for the XML loading tests that compare the loader with it: the
// handler libxml2 finds for a name, what kind of encoding it reads, what it does with a character
// outside ASCII, and the names iconv and ICU list.

#include <iconv.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace xml_test
{

// sText converted by iconv between the named encodings; empty when iconv cannot.
inline std::string Convert(const std::string& sText, const char* pFrom, const char* pTo)
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
inline std::uint32_t NextCodePoint(const std::string& sUtf8, std::size_t* pAt)
{
    const auto uiFirst = static_cast<unsigned char>(sUtf8[*pAt]);
    const std::size_t uiLength = uiFirst < 0x80 ? 1 : uiFirst < 0xE0 ? 2 : uiFirst < 0xF0 ? 3 : 4;
    std::uint32_t uiCode = uiLength == 1 ? uiFirst : uiFirst & (0x7Fu >> uiLength);
    for (std::size_t i = 1; i < uiLength && *pAt + i < sUtf8.size(); ++i)
        uiCode = uiCode << 6 | (static_cast<unsigned char>(sUtf8[*pAt + i]) & 0x3Fu);
    *pAt += uiLength;
    return uiCode;
}

inline std::uint32_t CodePoint(const std::string& sCharacter)
{
    std::size_t uiAt = 0;
    return NextCodePoint(sCharacter, &uiAt);
}

// The text with every byte outside printable ASCII written as \xNN, for messages.
inline std::string Printable(const std::string& sText)
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
inline bool IsDeclared(const std::string& sText)
{
    return sText.compare(0, 5, "<?xml") == 0 && sText.size() > 5 && sText[5] != 0 &&
           std::strchr(" \t\r\n", sText[5]) != nullptr;
}

// The encoding a text's declaration names, as written; empty where it names none or has no
// declaration.
inline std::string DeclaredEncodingName(const std::string& sText)
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
inline bool IsEncodingName(const std::string& sName)
{
    return !sName.empty() && std::isalpha(static_cast<unsigned char>(sName[0])) != 0 &&
           std::all_of(sName.begin(), sName.end(),
                       [](char c) {
                           return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' ||
                                  c == '-';
                       });
}

// A name as Python spells its codecs: lower case, '_' for '-' ("KOI8-R" is "koi8_r").
inline std::string PythonSpelling(std::string sName)
{
    for (char& c : sName)
        c = c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return sName;
}

// The names iconv and ICU list for the encodings they read, aliases included, sorted, each once.
inline const std::vector<std::string>& ListedEncodingNames()
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

} // namespace xml_test
