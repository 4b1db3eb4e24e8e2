#pragma once
// What the model import and model cache benchmarks share: a generated COLLADA document of about
// 100k triangles (a grid of 224 x 224 quads with positions, normals and one UV set, each corner
// naming all three, as modelling tools export them) and an engine that reads a temporary folder
// holding it, with a stand-in device, a resource manager that makes meshes and programs without
// stages (so input layouts and material programs cost only their cached look-up).

#include "bench/BenchFiles.h"
#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KU_ApplicationFactory.h"
#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "platform/d3d11/d3d11.h"
#include "render/device/KR_GraphicsResourceManagerDX11.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCache.h"
#include "render/device/KR_ShaderProgram.h"
#include "tests/support/FakeGraphicsDevice.h"
#include "tests/support/LibraryFactory.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace benchmodels
{

constexpr int QUADS = 224; // 2 x 224 x 224 = 100352 triangles

inline std::string GridDocument()
{
    const int n = QUADS + 1;
    std::string sPositions;
    std::string sNormals;
    std::string sUVs;
    char buffer[96];
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
        {
            const float fHeight = 0.25f * std::sin(0.1f * x) * std::cos(0.13f * y);
            std::snprintf(buffer, sizeof(buffer), "%.6g %.6g %.6g ", x * 0.1f, fHeight, y * 0.1f);
            sPositions += buffer;
            const float fX = -0.025f * std::cos(0.1f * x) * std::cos(0.13f * y);
            const float fZ = 0.0325f * std::sin(0.1f * x) * std::sin(0.13f * y);
            const float fLength = std::sqrt(fX * fX + 0.01f + fZ * fZ);
            std::snprintf(buffer, sizeof(buffer), "%.6g %.6g %.6g ", fX / fLength, 0.1f / fLength,
                          fZ / fLength);
            sNormals += buffer;
            std::snprintf(buffer, sizeof(buffer), "%.6g %.6g ", x / float(QUADS), y / float(QUADS));
            sUVs += buffer;
        }
    std::string sP;
    sP.reserve(std::size_t{QUADS} * QUADS * 6 * 3 * 6);
    auto corner = [&](int x, int y)
    {
        const int i = y * n + x;
        std::snprintf(buffer, sizeof(buffer), "%d %d %d ", i, i, i);
        sP += buffer;
    };
    for (int y = 0; y < QUADS; ++y)
        for (int x = 0; x < QUADS; ++x)
        {
            corner(x, y), corner(x, y + 1), corner(x + 1, y + 1);
            corner(x, y), corner(x + 1, y + 1), corner(x + 1, y);
        }
    const std::string sCount = std::to_string(n * n);
    auto source = [&](const char* pId, const std::string& sValues, int iStride, const char* pParams)
    {
        return std::string("<source id=\"") + pId + "\"><float_array id=\"" + pId + "-array\" count=\"" +
               std::to_string(n * n * iStride) + "\">" + sValues +
               "</float_array><technique_common><accessor source=\"#" + pId + "-array\" count=\"" + sCount +
               "\" stride=\"" + std::to_string(iStride) + "\">" + pParams +
               "</accessor></technique_common></source>";
    };
    const char* pXYZ =
        "<param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/><param name=\"Z\" "
        "type=\"float\"/>";
    const char* pST = "<param name=\"S\" type=\"float\"/><param name=\"T\" type=\"float\"/>";
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<COLLADA xmlns=\"http://www.collada.org/2005/11/"
           "COLLADASchema\" version=\"1.4.1\"><asset><unit name=\"meter\" "
           "meter=\"1\"/><up_axis>Y_UP</up_axis>"
           "</asset><library_effects><effect id=\"e\"><profile_COMMON><technique sid=\"common\"><lambert/>"
           "</technique></profile_COMMON></effect></library_effects><library_materials><material id=\"m\" "
           "name=\"DefaultMaterial\"><instance_effect url=\"#e\"/></material></library_materials>"
           "<library_geometries><geometry id=\"grid\"><mesh>" +
           source("grid-positions", sPositions, 3, pXYZ) + source("grid-normals", sNormals, 3, pXYZ) +
           source("grid-uvs", sUVs, 2, pST) +
           "<vertices id=\"grid-vertices\"><input semantic=\"POSITION\" "
           "source=\"#grid-positions\"/></vertices>"
           "<triangles material=\"DefaultMaterial\" count=\"" +
           std::to_string(2 * QUADS * QUADS) +
           "\"><input semantic=\"VERTEX\" source=\"#grid-vertices\" offset=\"0\"/><input semantic=\"NORMAL\" "
           "source=\"#grid-normals\" offset=\"1\"/><input semantic=\"TEXCOORD\" source=\"#grid-uvs\" "
           "offset=\"2\" "
           "set=\"0\"/><p>" +
           sP +
           "</p></triangles></mesh></geometry></library_geometries><library_visual_scenes><visual_scene "
           "id=\"s\">"
           "<node id=\"n\"><matrix sid=\"transform\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 "
           "1</matrix><instance_geometry "
           "url=\"#grid\"><bind_material><technique_common><instance_material symbol=\"DefaultMaterial\" "
           "target=\"#m\"/></technique_common></bind_material></instance_geometry></node></visual_scene>"
           "</library_visual_scenes><scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>\n";
}

// Programs without stages: the input layouts cost nothing to look up.
class EmptyShaderCache : public KR_ShaderCache
{
public:
    KR_ShaderProgram* LoadShaderProgram(const KR_ShaderProperties*) override
    {
        return new KR_ShaderProgram();
    }
};

// The generated file and a material library in a temporary folder, and an engine whose file
// manager reads that folder, with the library loaded, a stand-in device and a resource manager
// that makes the meshes.
struct ModelFixture
{
    ModelFixture()
    {
        sFolder = benchfiles::MakeTempFolder();
        const std::string sText = GridDocument();
        uiBytes = sText.size();
        benchfiles::WriteFile(sFolder + "/grid.dae", sText.data(), sText.size());
        const std::string sLibrary =
            "<material_library><material id=\"DefaultMaterial\"/></material_library>";
        benchfiles::WriteFile(sFolder + "/materials.xml", sLibrary.data(), sLibrary.size());
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                          &pDevice, nullptr, nullptr);
        graphicsDevice = std::make_unique<FakeGraphicsDevice>(pDevice);
        pEngine = new KE_ApplicationManager(new LibraryFactory("materials.xml"),
                                            KE_ApplicationManager::MemberOwnership::Lent);
        files.AddRepository(new KF_DirectoryRepository(KB_String(sFolder.c_str())));
        pEngine->SetFileManager(&files);
        bLibraryLoaded = materials.LoadMaterialLibrary();
        pEngine->SetMaterialManager(&materials);
        pEngine->SetGraphicsDevice(graphicsDevice.get());
        pEngine->SetShaderCache(&cache);
        pManager = std::make_unique<KR_GraphicsResourceManagerDX11>();
        pEngine->SetGraphicsResourceManager(pManager.get());
    }
    ~ModelFixture()
    {
        pEngine->SetGraphicsResourceManager(nullptr);
        pManager.reset();
        delete pEngine;
        if (pDevice != nullptr)
            pDevice->Release();
        std::error_code error;
        std::filesystem::remove_all(sFolder, error);
    }

    std::string sFolder;
    std::size_t uiBytes = 0;
    ID3D11Device* pDevice = nullptr;
    std::unique_ptr<FakeGraphicsDevice> graphicsDevice;
    EmptyShaderCache cache;
    KF_FileManager files;
    KR_MaterialManager materials;
    bool bLibraryLoaded = false;
    KE_ApplicationManager* pEngine = nullptr;
    std::unique_ptr<KR_GraphicsResourceManagerDX11> pManager;
};

} // namespace benchmodels
