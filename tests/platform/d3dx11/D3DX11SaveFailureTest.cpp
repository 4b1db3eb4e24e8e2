// What the image writer answers when its file cannot be written.

#include "tests/platform/d3d11/D3D11TestFixture.h"

#include "platform/d3dx11/D3DX11Control.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/win32/WinFiles.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestTempDir.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

// A 64 x 64 texture of 8-bit RGBA: 16 KiB of pixels in a DDS file.
class D3DX11SaveFailure : public D3D11Fixture
{
protected:
    void SetUp() override
    {
        D3D11Fixture::SetUp();
        D3DX11Control::Reset();
        CreateDevice();
        const D3D11_TEXTURE2D_DESC desc =
            TextureDesc(64, 64, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_BIND_SHADER_RESOURCE);
        std::vector<std::uint8_t> vPixels(64 * 64 * 4);
        for (std::size_t i = 0; i < vPixels.size(); ++i)
            vPixels[i] = static_cast<std::uint8_t>(i * 7);
        const D3D11_SUBRESOURCE_DATA init{vPixels.data(), 64 * 4, 0};
        ASSERT_EQ(S_OK, m_pDevice->CreateTexture2D(&desc, &init, &m_pTexture));
    }
    void TearDown() override
    {
        Release(m_pTexture);
        D3D11Fixture::TearDown();
    }

    HRESULT Save(const std::string& sPath, D3DX11_IMAGE_FILE_FORMAT eFormat = D3DX11_IFF_PNG)
    {
        return D3DX11SaveTextureToFileA(m_pContext, m_pTexture, eFormat, sPath.c_str());
    }

    ID3D11Texture2D* m_pTexture = nullptr;
    TestTempDir m_Temp;
};

} // namespace

// The Win32 error of the failing file call as an HRESULT, so a caller can say why: a missing
// folder or a file where a folder should be, a folder where the file should be, and a full disk
// (a file-size limit stands in for it, as it stops root too). Nothing is left behind.
TEST_F(D3DX11SaveFailure, AFileThatCannotBeWrittenAnswersTheWin32Error)
{
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Save(m_Temp.Join("Missing/a.png")));
    std::ofstream(m_Temp.Join("File")) << "a file";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Save(m_Temp.Join("File/a.png")));
    std::filesystem::create_directories(m_Temp.Join("Folder.dds"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Save(m_Temp.Join("Folder.dds"), D3DX11_IFF_DDS));

    HRESULT hrFull = S_OK;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.IsSet());
        hrFull = Save(m_Temp.Join("full.dds"), D3DX11_IFF_DDS);
    }
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), hrFull);

    EXPECT_EQ(TestTempDir::ListNames(m_Temp.GetPath()), (std::vector<std::string>{"File", "Folder.dds"}));
    EXPECT_EQ(S_OK, Save(m_Temp.Join("good.dds"), D3DX11_IFF_DDS));
}
