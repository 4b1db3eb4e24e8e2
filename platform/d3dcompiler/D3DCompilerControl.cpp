#include "platform/d3dcompiler/D3DCompilerControl.h"

#include "platform/d3dcompiler/D3DCompilerObjects.h"

namespace D3DCompilerControl
{

void Reset()
{
    d3dcompiler_internal::Runtime::Get().Reset();
}

void FailNext(const std::string& sCall, HRESULT hr)
{
    d3dcompiler_internal::Runtime::Get().FailNext(sCall, hr);
}

std::uint64_t GetCompileCount()
{
    return d3dcompiler_internal::Runtime::Get().GetCompileCount();
}

std::size_t GetLiveObjectCount()
{
    return d3dcompiler_internal::Runtime::Get().GetLiveObjectCount();
}

} // namespace D3DCompilerControl
