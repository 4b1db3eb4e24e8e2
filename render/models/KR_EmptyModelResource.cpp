#include "render/models/KR_EmptyModelResource.h"

#include <limits>

double KR_EmptyModelResource::GetStartTime()
{
    return std::numeric_limits<double>::max();
}

double KR_EmptyModelResource::GetEndTime()
{
    return -std::numeric_limits<double>::max();
}

DirectX::XMVECTOR KR_EmptyModelResource::GetCenter()
{
    return DirectX::XMVectorZero();
}
