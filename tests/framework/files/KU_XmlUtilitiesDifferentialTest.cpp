#include "tests/framework/files/XmlTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace xml_test;

namespace
{

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
    bool bWritesFeff = false;         // whether it writes U+FEFF as the parser reads it
};

// Whether the encoding writes the character in bytes the parser reads as written.
bool WritesAsRead(EncodingReading& reading, const std::string& sCharacter)
{
    std::string sBytes;
    return reading.Cover(sCharacter) == Coverage::Written && reading.Encode(sCharacter, &sBytes);
}

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
        encoding.bWritesFeff = WritesAsRead(pReadings->Get(encoding.sWriter), FEFF);
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
            if (WritesAsRead(reading, sOther))
                encoding.others.push_back(sOther);
        for (const std::string& sCharacter : PoolCharacters())
            if (reading.Cover(sCharacter) == Coverage::Misread)
                encoding.misread.push_back(sCharacter);
        encoding.bWritesFeff = WritesAsRead(reading, FEFF);
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
            m_bWritesFeff = pEncoding->bWritesFeff;
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
            m_bWritesFeff = m_group == Group::Utf8;
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
    // in bytes the parser would misread), else one of the pools, which the encoding may lack.
    std::string CharacterReference()
    {
        std::vector<std::string> characters = m_letters;
        characters.insert(characters.end(), m_others.begin(), m_others.end());
        characters.insert(characters.end(), m_misread.begin(), m_misread.end());
        if (characters.empty() || m_random.Next(8) == 0)
            characters = m_pool;
        return ReferenceTo(
            CodePoint(characters[m_random.Next(static_cast<std::uint32_t>(characters.size()))]));
    }

    // A reference to the character, in decimal or hexadecimal, at times with leading zeros.
    std::string ReferenceTo(std::uint32_t uiCode)
    {
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

    // U+FEFF as written or by reference where the encoding has it; where it lacks it, by reference
    // one time in eight (the loader refuses the text on purpose), else nothing.
    std::string Feff()
    {
        const std::uint32_t uiForm = m_random.Next(8);
        if (!m_bWritesFeff)
            return uiForm == 0 ? ReferenceTo(CodePoint(FEFF)) : std::string();
        return uiForm < 4 ? FEFF : ReferenceTo(CodePoint(FEFF));
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
            const std::uint32_t uiValue = m_random.Next(11);
            if (uiValue < 2)
                sText.append("\"").append(NonAscii()).append("\"");
            else if (uiValue < 4)
                sText.append("'a").append(NonAscii()).append(" ").append(NonAscii()).append("'");
            else if (uiValue == 4)
                sText.append("\"").append(Feff()).append(" a").append(Feff()).append("\"");
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
            const std::uint32_t uiItem = m_random.Next(15);
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
            else if (uiItem == 12)
            {
                // Where a run of text begins (after a tag, a comment, an instruction, a CDATA
                // section or white space) or inside one.
                sText += Feff();
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
    bool m_bWritesFeff = false;
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

} // namespace

TEST_F(KU_XmlUtilitiesTest, VerdictsAgreeWithAnIndependentParser)
{
    // The loader reads with TinyXML and judges with expat; libxml2 is the reference, but for what
    // the loader refuses on purpose, which is exempt by kind. Where both load a document they read
    // the same content: names, attribute values, text, CDATA sections, comments and instructions,
    // the loader's bytes read in the document's encoding; U+FEFF among them, as written or by
    // reference, wherever a run of text begins.
    EncodingReadings readings;
    DocumentMaker maker(77, &readings);
    const int iDocuments = 24000;
    constexpr int AGREEMENTS = static_cast<int>(Agreement::Count);
    constexpr int GROUPS = static_cast<int>(Group::Count);
    int aaiOutcomes[AGREEMENTS][GROUPS] = {}; // by how they agree and what the text is written in
    int aiWithSubset[AGREEMENTS] = {};
    int aiLoadedWithReferences[2] = {}; // by both, holding references beyond ASCII: [read as UTF-8]
    int aiLoadedWithFeff[2] = {};       // by both, holding U+FEFF: [read as UTF-8]
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
        if (agreement == Agreement::Loaded && outcome.sExpected.find(FEFF) != std::string::npos)
            ++aiLoadedWithFeff[reading.IsReadAsUtf8() ? 1 : 0];
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
    std::printf("loaded by both holding U+FEFF: %d read as UTF-8, %d in other encodings\n",
                aiLoadedWithFeff[1], aiLoadedWithFeff[0]);
    // Floors on both outcomes, and on each kind of text loaded and refused on purpose.
    const int* const aiLoaded = aaiOutcomes[static_cast<int>(Agreement::Loaded)];
    EXPECT_GT(total(Agreement::Loaded), iDocuments / 5);
    EXPECT_GT(total(Agreement::Refused), iDocuments * 2 / 5);
    EXPECT_GT(aiWithSubset[static_cast<int>(Agreement::Loaded)], iDocuments / 50);
    for (const Group group : {Group::Utf8, Group::Latin1, Group::Windows, Group::MultiByte, Group::Listed})
        EXPECT_GT(aiLoaded[static_cast<int>(group)], iDocuments / 50) << GROUP_NAMES[static_cast<int>(group)];
    for (const int iWithReferences : aiLoadedWithReferences)
        EXPECT_GT(iWithReferences, iDocuments / 50);
    EXPECT_GT(aiLoadedWithFeff[1], iDocuments / 50);
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
    // on purpose; refused where it does not. Where the encoding writes U+FEFF as the parser reads it,
    // two more documents hold it wherever a run of text begins and in an attribute value: one as
    // the character, one by reference.
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
    int iNoName = 0;             // refused by both: a declaration may not hold the name
    int aiFeff[AGREEMENTS] = {}; // the documents holding U+FEFF, by how they agree
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
        if (!WritesAsRead(reading, FEFF))
            continue;
        for (const std::string& sFeff : {std::string(FEFF), std::string("&#xFEFF;")})
        {
            std::string sHolding = "<?xml version=\"1.0\" encoding=\"" + sName + "\"?>\n" +
                                   Placed("<r a=\"@ v@\">@<!-- c -->@<?p d?>@<e/>@<e>1</e>@<![CDATA[c]]>@ t@ "
                                          "<e/>\n @</r>\n",
                                          sFeff);
            if (reading.Encode(sHolding, &sWritten))
                sHolding = sWritten;
            ++aiFeff[static_cast<int>(Check(Judge(sHolding, reading), sHolding))];
        }
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
    std::printf("holding U+FEFF:");
    for (int i = 0; i < AGREEMENTS; ++i)
        std::printf(" %d %s%s", aiFeff[i], AGREEMENT_NAMES[i], i + 1 < AGREEMENTS ? "," : "\n");
    // Floors on each kind of encoding loaded and refused on purpose, and on names libxml2 does not
    // read.
    const int* const aiLoaded = aaiOutcomes[static_cast<int>(Agreement::Loaded)];
    for (const EncodingKind kind : {EncodingKind::Utf8, EncodingKind::Ascii})
        EXPECT_GT(aiLoaded[static_cast<int>(kind)], 20) << ENCODING_KIND_NAMES[static_cast<int>(kind)];
    EXPECT_GT(aiLoaded[static_cast<int>(EncodingKind::Bytes)], 1000);
    EXPECT_GT(aaiOutcomes[static_cast<int>(Agreement::Refused)][static_cast<int>(EncodingKind::NotRead)],
              100);
    EXPECT_GT(iNoName, 100);
    EXPECT_GT(aiFeff[static_cast<int>(Agreement::Loaded)], 60);
    for (const Exemption exemption :
         {Exemption::StatefulEncoding, Exemption::WideEncoding, Exemption::MarkupChanged})
        EXPECT_GT(aiExempt[static_cast<int>(exemption)], 40) << EXEMPTION_NAMES[static_cast<int>(exemption)];
}
