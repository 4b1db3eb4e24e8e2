#include "framework/core/KU_ByteCursorMath.h"

using namespace DirectX;

bool KU_ByteCursorMath::WriteVector(KB_ByteWriter& writer, const XMVECTOR& vValue)
{
    for (int lane = 0; lane < 4; ++lane)
        writer.WriteF32(vValue.f[lane]);
    return writer.IsOk();
}

bool KU_ByteCursorMath::WriteMatrix(KB_ByteWriter& writer, const XMMATRIX& mValue)
{
    for (int row = 0; row < 4; ++row)
        WriteVector(writer, mValue.r[row]);
    return writer.IsOk();
}

bool KU_ByteCursorMath::ReadVector(KB_ByteReader& reader, XMVECTOR* pValue)
{
    for (int lane = 0; lane < 4; ++lane)
        reader.ReadF32(&pValue->f[lane]);
    return reader.IsOk();
}

bool KU_ByteCursorMath::ReadMatrix(KB_ByteReader& reader, XMMATRIX* pValue)
{
    for (int row = 0; row < 4; ++row)
        ReadVector(reader, &pValue->r[row]);
    return reader.IsOk();
}
