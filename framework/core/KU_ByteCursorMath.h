#pragma once
// The byte form of DirectXMath vectors and matrices on the byte cursors: a vector is its four
// lanes x, y, z, w as F32, a matrix its four rows in order, 16 F32 in all. Values are written as
// they are (NaN and infinities included). Static only; any thread, one cursor per thread.
//
// Does NOT check the values or the cursor's earlier state: as with the cursors' own calls, write
// or read a whole record and check the cursor's IsOk once at the end.

#include "framework/core/KB_ByteCursor.h"
#include "platform/directxmath/DirectXMath.h"

class KU_ByteCursorMath
{
public:
    static constexpr std::uint64_t VECTOR_BYTES = 4 * sizeof(float);
    static constexpr std::uint64_t MATRIX_BYTES = 4 * VECTOR_BYTES;

    KU_ByteCursorMath() = delete;

    // false once the writer has failed; a failed writer moves no further.
    static bool WriteVector(KB_ByteWriter& writer, const DirectX::XMVECTOR& vValue);
    static bool WriteMatrix(KB_ByteWriter& writer, const DirectX::XMMATRIX& mValue);
    // false once the reader has failed; the lanes before a short read are read, the rest kept.
    static bool ReadVector(KB_ByteReader& reader, DirectX::XMVECTOR* pValue);
    static bool ReadMatrix(KB_ByteReader& reader, DirectX::XMMATRIX* pValue);
};
