#include "framework/core/KB_Random.h"

KB_Random::KB_Random() : KB_Vector4<float>(CreateRandom(DirectX::XMFLOAT3(1.0f, 1.0f, 1.0f)))
{
}
