// Fuzzes the model cache reader on whole cache files, header included. The meshes read make their
// buffers on the Direct3D stand-in, through a fake graphics device installed in the engine; no
// material library is loaded, so material names stay unresolved.

#include "framework/app/KE_ApplicationManager.h"
#include "fuzz/FuzzEngine.h"
#include "fuzz/FuzzGraphics.h"
#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "render/models/KR_ModelCacheReader.h"
#include "render/models/KR_ModelResource.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzGraphics(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    // A copy of exactly the file, so reading past its end is caught.
    const std::vector<std::uint8_t> file(pData, pData + uiSize);
    delete KR_ModelCacheReader::ReadModel(file.data(), file.size());
    D3D11Control::ClearCallLog();
    return 0;
}
