#pragma once
// The text form of curves (".int" files), shared by the loaders and Save of the three value
// classes. A file is the shared text-file header, then one key per line: "d" debug name (rest of
// the line), "n" type name, "a" mode (vertex files only), "s" start, "e" end, one value line per
// key ("v" x y z, "q" x y z w or "m" sixteen floats row by row) and one "t" stamp line per key;
// the n-th value and the n-th stamp form key n. Files are read and written through the engine's
// file manager. Static only; any thread that may use the file manager.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "platform/directxmath/DirectXMath.h"

#include <cstdint>

class KU_InterpolationFile
{
public:
    KU_InterpolationFile() = delete;

    // Which value class a file belongs to: its value key, title, legend and key length.
    enum class ValueKind
    {
        Vertex,
        Quaternion,
        Matrix,
    };

    // What a curve file holds, in file order.
    struct Contents
    {
        KB_String sTypeName;
        KB_String sDebugName;
        double fStartTime = 0.0;
        double fEndTime = 0.0;
        std::uint32_t uiMode = 0; // vertex files: the mode of a cosine-eased curve
        KB_GrowingArray<double> gTimeStamps;
        KB_GrowingArray<DirectX::XMVECTOR> gVectors;  // vertex (w = 0) and quaternion files
        KB_GrowingArray<DirectX::XMMATRIX> gMatrices; // matrix files
    };

    // Reads and parses sPath; false when no repository has it (or there is no file manager).
    // A value that is not a number ends the parse with the keys read before it. Quaternions are
    // normalised. When the stamp and value counts differ both lists are cut to the shorter.
    static bool Read(const KB_String& sPath, ValueKind eKind, Contents* pContents);
    // Parses a file's text; the rules of Read.
    static void Parse(const char* pText, std::uint64_t uiSize, ValueKind eKind, Contents* pContents);
    // Writes the file of contents to sPath through the first writable repository that takes it;
    // false when none did (or there is no file manager). Numbers as KU_TextFileNumber writes them
    // (6 significant digits, never "nan" or "inf"); vertex values without w; "a" only for
    // "TrigonometryInterpolation"; a debug name up to its first line feed.
    static bool Write(const KB_String& sPath, ValueKind eKind, const Contents& contents);

    // Longest key word of vertex and quaternion files, and of matrix files.
    static constexpr std::uint32_t MAX_KEY_LENGTH = 511;
    static constexpr std::uint32_t MAX_MATRIX_KEY_LENGTH = 1023;
    // Longest debug name kept; the rest of its line is dropped.
    static constexpr std::uint32_t MAX_DEBUG_NAME_LENGTH = 511;
};
