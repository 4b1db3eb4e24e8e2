// Fuzzes the D3DX11 stand-in's image loading (DDS by our own parser, PNG/JPEG/BMP/GIF through
// stb_image): the first byte picks the load options (mip levels, a conversion to R8G8B8A8_UNORM,
// a resize, the top levels dropped), the rest is the file. A texture that is made is read back
// through a staging copy and saved as DDS and PNG, so the writers see whatever the readers accept.

#include "platform/d3d11/D3D11Control.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dx11/d3dx11.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

struct Device
{
    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    std::string sFolder;

    Device()
    {
        if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                     D3D11_SDK_VERSION, &pDevice, nullptr, &pContext)))
        {
            __builtin_trap();
        }
        const char* pTemp = std::getenv("TMPDIR");
        sFolder =
            std::string(pTemp != nullptr ? pTemp : "/tmp") + "/kv-imagefuzz-" + std::to_string(getpid());
        std::string sCommand = "mkdir -p '" + sFolder + "'";
        if (std::system(sCommand.c_str()) != 0)
            __builtin_trap();
    }
};

Device& Get()
{
    static Device s_device;
    return s_device;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize == 0)
        return 0;
    Device& device = Get();
    const std::uint8_t uiFlags = pData[0];
    // A copy of exactly the file, so reading past its end is caught.
    const std::vector<std::uint8_t> file(pData + 1, pData + uiSize);

    D3DX11_IMAGE_INFO info{};
    D3DX11GetImageInfoFromMemory(file.data(), file.size(), nullptr, &info, nullptr);

    D3DX11_IMAGE_LOAD_INFO load;
    load.MipLevels = (uiFlags & 1) != 0 ? D3DX11_DEFAULT : D3DX11_FROM_FILE;
    if ((uiFlags & 2) != 0)
        load.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    if ((uiFlags & 4) != 0)
    {
        load.Width = 1u + (uiFlags >> 5);
        load.Height = 3;
    }
    if ((uiFlags & 8) != 0)
        load.FirstMipLevel = 1;
    load.MipFilter = (uiFlags & 16) != 0 ? D3DX11_FILTER_POINT : D3DX11_DEFAULT;
    load.Usage = D3D11_USAGE_STAGING;
    load.BindFlags = 0;
    load.CpuAccessFlags = D3D11_CPU_ACCESS_READ;
    load.pSrcInfo = &info;
    ID3D11Resource* pTexture = nullptr;
    if (SUCCEEDED(D3DX11CreateTextureFromMemory(device.pDevice, file.data(), file.size(), &load, nullptr,
                                                &pTexture, nullptr)))
    {
        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (SUCCEEDED(device.pContext->Map(pTexture, 0, D3D11_MAP_READ, 0, &mapped)))
            device.pContext->Unmap(pTexture, 0);
        D3DX11SaveTextureToFileA(device.pContext, pTexture, D3DX11_IFF_DDS,
                                 (device.sFolder + "/out.dds").c_str());
        D3DX11SaveTextureToFileA(device.pContext, pTexture, D3DX11_IFF_PNG,
                                 (device.sFolder + "/out.png").c_str());
        pTexture->Release();
    }
    ID3D11ShaderResourceView* pView = nullptr;
    if (SUCCEEDED(D3DX11CreateShaderResourceViewFromMemory(device.pDevice, file.data(), file.size(), nullptr,
                                                           nullptr, &pView, nullptr)))
    {
        pView->Release();
    }
    D3D11Control::ClearCallLog();
    return 0;
}
