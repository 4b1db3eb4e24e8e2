#include "platform/d3dx11/D3DX11Control.h"

#include "platform/d3dx11/D3DX11State.h"

namespace D3DX11Control
{

void Reset()
{
    d3dx11_internal::State::Get().Reset();
}

void FailNext(const std::string& call, HRESULT hr)
{
    d3dx11_internal::State::Get().FailNext(call, hr);
}

std::uint64_t GetDecodeCount()
{
    return d3dx11_internal::State::Get().GetDecodeCount();
}

} // namespace D3DX11Control
