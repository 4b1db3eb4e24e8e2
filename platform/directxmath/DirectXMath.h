#pragma once
// Vector and matrix library stand-in: the whole library. Engine code includes this header.
//
// Use: load storage (XMFLOAT3, XMFLOAT4X4) into XMVECTOR/XMMATRIX with XMLoad*, compute, store back
// with XMStore*. Row vectors (v' = v x M), left-handed view and projection matrices, quaternions
// (x, y, z, w). Exact single-precision scalar code; see DirectXMathTypes.h for the conventions.

#include "platform/directxmath/DirectXMathConvert.h"
#include "platform/directxmath/DirectXMathMatrix.h"
#include "platform/directxmath/DirectXMathPlane.h"
#include "platform/directxmath/DirectXMathQuaternion.h"
#include "platform/directxmath/DirectXMathTypes.h"
#include "platform/directxmath/DirectXMathVector.h"
