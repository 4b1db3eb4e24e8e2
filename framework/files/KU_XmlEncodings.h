#pragma once
// The encodings an XML declaration names, as the XML loader (KU_XmlUtilities) reads them. expat
// knows UTF-8, UTF-16, ISO-8859-1 and US-ASCII itself and asks the loader for any other name. A
// name is read as libxml2 reads it: through iconv when iconv has converters for it both ways, else
// through ICU's (whose alias table matches names ignoring case and all but letters and digits:
// "koi8_r", "x-sjis", "utf_8"), else as libxml2's own spelling "ISO-LATIN-1" or "ISO-LATIN-2". A
// name ICU classes as UTF-8, US-ASCII or ISO-8859-1 is read by expat itself; any other through a
// table of what the library that knows the name reads. Characters are written in an encoding for
// the references to them. Any thread: every call into iconv and ICU is made under one lock.
//
// Does NOT judge or parse a text, nor find the references in it: the loader does.
//
// Use: Find a declared name's Encoding; for one read through a table, Describe it to expat; write
// the characters of references with a CharacterWriter of the text's Encoding.

#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class KU_XmlEncodings
{
public:
    // The most bytes of one character written for a reference: UTF-8's four (the tables read three
    // at most).
    static constexpr std::size_t MAX_CHARACTER_BYTES = 4;

    // The lowest byte that may follow the first of a character of several bytes: each byte below it
    // is white space, a digit or markup to the parser, which reads a byte at a time (in Shift_JIS,
    // cp932, EUC-JP, EUC-KR, GB2312 and Big5 no later byte is below it). The tables read no
    // character with a later byte below it.
    static constexpr unsigned char LOWEST_LATER_BYTE = 0x40;

    // How a declared encoding is read.
    enum class Reading
    {
        Refused,
        Utf8,   // by expat itself
        Ascii,  // by expat itself, as US-ASCII; its texts are UTF-8 too
        Latin1, // by expat itself, as ISO-8859-1
        Table,  // through the table of the library that knows the name
    };

    // How expat reads an encoding read through a table (defined in the source).
    struct Table;
    // A converter of iconv or ICU, both ways (defined in the source).
    class Converter;

    struct Encoding
    {
        Reading eReading = Reading::Refused;
        std::shared_ptr<const Table> pTable; // for Reading::Table
    };

    KU_XmlEncodings() = delete;

    // How a declared encoding is read; Reading::Refused for one not read. Worked out once for each
    // name as written and the table once for each of the library's names (iconv's in upper case), a
    // few milliseconds for an encoding of several bytes a character, and kept: at most 256 of each,
    // as the names the libraries know are a few thousand, their spellings without end. Any thread:
    // one at a time.
    static Encoding Find(const char* pName);

    // Fills expat's description of an encoding read through a table; false where it cannot.
    static bool Describe(const std::shared_ptr<const Table>& pTable, XML_Encoding* pInfo);

    // Writes characters as a text's encoding writes them, for the references to them: UTF-8's bytes
    // in a text read as UTF-8 or US-ASCII, ISO-8859-1's byte, or the bytes the library of a table
    // writes where the table reads them as it reads characters standing in the text and the library
    // reads them back as that one character. Holds the lock of iconv and ICU while it lives, for a
    // table: one writer at a time, and no Find meanwhile on its thread.
    class CharacterWriter
    {
    public:
        explicit CharacterWriter(const Encoding& encoding); // encoding must outlive the writer
        ~CharacterWriter();

        CharacterWriter(const CharacterWriter&) = delete;
        CharacterWriter& operator=(const CharacterWriter&) = delete;

        // Writes the bytes of a character (at most MAX_CHARACTER_BYTES) and gives how many; 0 where
        // the encoding has none.
        std::size_t Write(std::uint32_t uiCharacter, unsigned char* pBytes);

    private:
        const Encoding& m_rEncoding;
        std::unique_lock<std::mutex> m_oLock;
        std::unique_ptr<Converter> m_pConverter; // owned; for a table only (null where none was made)
    };
};
