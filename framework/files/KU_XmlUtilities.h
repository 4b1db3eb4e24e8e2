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
    // elements hold. The engine's files hold at most 15; 10 MB of elements at this limit takes
    // about twice the time of 10 MB at 8 (bench_XmlLoadBench), at 1,024 ten times.
    static constexpr int MAX_ELEMENT_ATTRIBUTES = 256;

    // Reads sPath from the first repository of pFileManager that has it and parses it as a
    // TinyXML document without a declared encoding (the parser takes it from a byte-order mark or
    // the document's declaration). Null when no repository has the file, the text does not parse,
    // the parser stops before the end of the file (text outside the elements, a DOCTYPE's internal
    // subset, a NUL byte; white space and comments after the last element are read), the text ends
    // in a declaration, nests more than MAX_ELEMENT_DEPTH elements deep or holds an element of
    // more than MAX_ELEMENT_ATTRIBUTES attributes as the parser reads it. Several top-level
    // elements are read. The file reference is released on every path. The caller owns the
    // document.
    static TiXmlDocument* LoadXmlDocument(KF_FileManager* pFileManager, const KB_String& sPath);
};
