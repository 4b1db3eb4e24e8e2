#pragma once
// Readers of the COLLADA importer's element texts and its coordinate conversion. COLLADA data are
// right-handed with column-vector matrices; the engine is left-handed with row-vector matrices
// (translation in the fourth row). Every matrix read is transposed and then mirrored through z.
//
// The texts are distrusted: numbers are read one by one, separated by white space, until the
// count is reached, the text ends or a token is not a number (which ends the reading like the end
// of the text; later checks catch the shortfall). A declared count only reserves what the text
// could possibly hold, so a huge count allocates nothing huge.

#include "platform/directxmath/DirectXMath.h"

#include <cstdint>
#include <string>
#include <vector>

class TiXmlElement;

namespace KR_ColladaReaders
{

// Floats of the element's text. count is its "count" attribute, 16 without one (a "matrix" has
// none). False for a null element, a negative or unreadable count, or a non-zero count without
// text. Fewer values than count is not a failure.
bool ParseFloatArray(const TiXmlElement* pElement, std::vector<float>& vOut);
// The same with signed ints, count defaulting to iDefaultCount; the text is required even for a
// count of 0.
bool ParseIntArray(const TiXmlElement* pElement, std::vector<int>& vOut, int iDefaultCount);
// Runs of non-space characters of the element's text, kept whole whatever their length; the
// "count" attribute only has to be non-negative. The text is required.
bool ParseNameArray(const TiXmlElement* pElement, std::vector<std::string>& vOut);
// Unsigned 32-bit ints of a text (no count), appended to vOut after clearing it.
void ParseIndexList(const char* pText, std::vector<std::uint32_t>& vOut);
// Exactly 16 floats, transposed and converted.
bool ParseMatrix(const TiXmlElement* pElement, DirectX::XMMATRIX& mOut);
// Each group of 16 floats as by ParseMatrix; false when the count is not a multiple of 16.
bool ParseMatrixArray(const std::vector<float>& vFloats, std::vector<DirectX::XMMATRIX>& vOut);
// The matrix of 16 values given row by row in the document's order, as the engine's matrix.
DirectX::XMMATRIX MatrixFromColumnMajor(const float* pValues);
// Decomposes into scale, rotation and translation, negates the quaternion's z and w and the
// translation's z, and rebuilds scale x rotation with the new translation. Equal to the mirror
// through z for matrices made of translation, rotation and scale; shear is dropped.
void ConvertMatrixHandedness(DirectX::XMMATRIX& m);
// An attribute's text; empty when absent.
std::string AttributeText(const TiXmlElement* pElement, const char* pName);
// "#id" becomes "id"; false (unchanged) for a reference without the leading "#".
bool ResolveLocalReference(std::string& sReference);
// A required local reference attribute ("#id" gives "id"): false when absent, empty or into
// another document.
bool ReadLocalReference(const TiXmlElement* pElement, const char* pName, std::string& sId);

} // namespace KR_ColladaReaders
