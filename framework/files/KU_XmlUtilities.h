#pragma once
// Loads XML documents through the file repositories. Static functions only; any thread (the
// file manager's repositories lock their own caches).

#include "framework/core/KB_String.h"

class KF_FileManager;
class TiXmlDocument;

class KU_XmlUtilities
{
public:
    // Elements nested deeper than this are refused: the parser recurses once per level.
    static constexpr int MAX_ELEMENT_DEPTH = 256;
    // Elements holding more attributes than this are refused: the parser checks each attribute
    // against every earlier one of its element, so a document's cost grows with the number its
    // elements hold. The engine's files hold at most 15. 10 MB of elements at this limit, of
    // two-letter names (the most attributes in the bytes), loads within 1 s (bench_XmlLoadBench).
    static constexpr int MAX_ELEMENT_ATTRIBUTES = 64;

    // Reads sPath from the first repository of pFileManager that has it and parses it as a
    // TinyXML document without a declared encoding (the parser takes it from a byte-order mark or
    // the document's declaration, and reads every encoding but UTF-8 a byte a character, the bytes
    // as written). A character reference outside ASCII in text or an attribute value loads as the
    // character's bytes in the text's encoding, as if the character stood there (UTF-8's in a text
    // read as UTF-8 or US-ASCII: "&#233;" is C3 A9 there, E9 in ISO-8859-1); in CDATA sections,
    // comments and instructions it stays as written. Null when no repository has the file, or the
    // text is not well-formed XML as expat judges it in the encoding it declares (named as libxml2
    // reads names, through iconv, then ICU's alias table: "latin-1" and "iso8859_1" are ISO-8859-1,
    // "koi8_r" is KOI8-R), with two relaxations: several top-level elements are read, and a text
    // without a byte-order mark or declaration that is not UTF-8 is read as ISO-8859-1. Also null for
    // what the parser cannot read as the text says: a reference to a character the text's encoding
    // has no bytes for (the euro sign in ISO-8859-1), an internal DTD subset that declares an entity
    // or an attribute list or refers to a parameter entity, a reference to an entity only an
    // external DTD declares, an encoding that keeps a state across characters (ISO-2022-JP), reads
    // a byte of markup as another character (UTF-16, cp864's '%') or another byte as markup (HP
    // Roman-8 as ICU reads it), a character of several bytes with a later byte below 0x40, a CDATA
    // section that a character ending in ']' followed by "]>" would end early (Shift_JIS, cp932,
    // Big5), a NUL byte, a name beginning with ':', nesting deeper than MAX_ELEMENT_DEPTH elements or
    // an element of more than MAX_ELEMENT_ATTRIBUTES attributes. Instructions and DOCTYPEs (with
    // their internal subsets) holding a '>' are read whole. U+FEFF, as written or by reference,
    // stays where it stands: only the first bytes of the file are a byte-order mark. The file
    // reference is released on every path. The caller owns the document.
    static TiXmlDocument* LoadXmlDocument(KF_FileManager* pFileManager, const KB_String& sPath);
};
