// Writes the seed corpus of every fuzz target with the project's own writers: archives packed by the
// archive builder, payloads from the zipper, curve files and byte forms written by the curves,
// entity files saved by the audio entity, documents printed by TinyXML, sound files from the test
// sound writer, a few terminal sequences, chunk lists from the chunk-list writer and camera,
// light and cube-map placer files saved by those entities (with the sample production's files), and
// the engine's shaders with their includes.
// Usage: MakeFuzzCorpus <folder>; each target's seeds go to <folder>/<target>/ (emptied first).
// Exit code 0 on success, 1 on failure, 2 on wrong usage.

#include "audio/KA_AudioEntity.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_ExtensionRejectNameValidator.h"
#include "framework/files/KF_Zipper.h"
#include "fuzz/FuzzEngine.h"
#include "platform/d3d11/d3d11.h"
#include "platform/d3dcompiler/d3dcompiler.h"
#include "platform/d3dx11/d3dx11.h"
#include "platform/directxmath/DirectXMath.h"
#include "render/camera/KR_AnimatedCamera.h"
#include "render/light/KR_OmniLight.h"
#include "render/light/KR_SpotLight.h"
#include "render/models/KR_MeshAnimationResource.h"
#include "render/models/KR_MeshDX11.h"
#include "render/models/KR_MeshResourceDX11.h"
#include "render/models/KR_MeshSkinnedAnimationResource.h"
#include "render/models/KR_ModelCacheHeader.h"
#include "render/models/KR_ModelResourceDX11.h"
#include "render/scene/KR_ChunkList.h"
#include "render/scene/KR_CubeMapPlacer.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestAudioFiles.h"
#include "tests/support/TestTempDir.h"
#include "timing/KB_AnimationTriggerInterpolation.h"
#include "timing/KB_CubicBSplineInterpolation.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KB_LinearMatrixInterpolation.h"
#include "timing/KB_RotationInterpolation.h"
#include "timing/KB_TrigonometryInterpolation.h"
#include "timing/KU_ConstantValueInterpolation.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

using Bytes = std::vector<std::uint8_t>;

// The folders this program fills (and empties first).
const char* const TARGETS[] = {
    "ArchiveFuzz",     "InflateFuzz",    "CurveTextFuzz",      "CurveBytesFuzz",    "TextReaderFuzz",
    "AudioEntityFuzz", "XmlFuzz",        "SoundDataFuzz",      "TerminalInputFuzz", "DirectoryPathsFuzz",
    "ImageFuzz",       "ModelCacheFuzz", "ShaderBytecodeFuzz", "ObjFuzz",           "ColladaFuzz",
    "SceneConfigFuzz", "ChunkListFuzz",  "SceneEntityFuzz",    "ShaderTextFuzz",    "AssetManifestFuzz"};

std::filesystem::path g_Output;
bool g_bFailed = false;

Bytes ToBytes(const std::string& sText)
{
    return Bytes(sText.begin(), sText.end());
}

void AddSeed(const char* pTarget, const Bytes& data)
{
    const std::filesystem::path folder = g_Output / pTarget;
    std::filesystem::create_directories(folder);
    std::size_t uiIndex = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        uiIndex += entry.is_regular_file() ? 1 : 0;
    const std::filesystem::path file = folder / ("seed-" + std::to_string(uiIndex));
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!stream)
        g_bFailed = true;
}

void AddSeed(const char* pTarget, std::uint8_t uiPrefix, const Bytes& data)
{
    Bytes prefixed{uiPrefix};
    prefixed.insert(prefixed.end(), data.begin(), data.end());
    AddSeed(pTarget, prefixed);
}

void Fail(const char* pWhat)
{
    std::fprintf(stderr, "MakeFuzzCorpus: %s\n", pWhat);
    g_bFailed = true;
}

void WriteFile(const std::filesystem::path& path, const std::string& sText)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << sText;
}

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::string CurveText(int iKeys)
{
    std::string sText = "n LinearInterpolation\ns 0\ne 4\n";
    for (int i = 0; i < iKeys; ++i)
        sText += "v " + std::to_string(i) + " 0.5 -2\n";
    for (int i = 0; i < iKeys; ++i)
        sText += "t " + std::to_string(i * 0.5) + "\n";
    return sText;
}

void MakeArchiveSeeds()
{
    TestTempDir temp;
    const std::filesystem::path source = temp.Join("Assets");
    WriteFile(source / "sceneconfig.xml", "<scenes><scene name=\"a\"/></scenes>");
    WriteFile(source / "Curves" / "rail.int", CurveText(40));
    WriteFile(source / "Curves" / "empty.int", "");
    WriteFile(source / "Textures" / "Sub" / "leaf.txt", "leaf");
    std::filesystem::create_directories(source / "EmptyDir");
    KF_ExtensionRejectNameValidator validator;
    validator.AddCompressedExtension(KB_String("int"));
    int iIndex = 0;
    for (const bool bRootNamed : {true, false})
    {
        const std::string sArchive = temp.Join("seed" + std::to_string(iIndex++) + ".dat");
        KF_DataRepository builder;
        if (!builder.CreateFromDirectory(KB_String(source.c_str()), &validator, bRootNamed) ||
            !builder.SaveToFile(KB_String(sArchive.c_str())))
        {
            Fail("the archive builder failed");
            continue;
        }
        AddSeed("ArchiveFuzz", ReadFile(sArchive));
    }
    std::filesystem::create_directories(temp.Join("Nothing"));
    KF_DataRepository empty;
    const std::string sEmpty = temp.Join("empty.dat");
    if (empty.CreateFromDirectory(KB_String(temp.Join("Nothing").c_str()), &validator, true) &&
        empty.SaveToFile(KB_String(sEmpty.c_str())))
    {
        AddSeed("ArchiveFuzz", ReadFile(sEmpty));
    }
}

void MakeInflateSeeds()
{
    std::mt19937 random(5);
    Bytes noise(512);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    for (const Bytes& plain : {Bytes(), ToBytes("hello"), ToBytes(CurveText(100)), noise})
    {
        std::uint8_t* pPacked = nullptr;
        std::uint64_t uiPacked = 0;
        if (!KF_Zipper::Compress(plain.data(), plain.size(), &pPacked, &uiPacked))
        {
            Fail("the zipper failed");
            continue;
        }
        AddSeed("InflateFuzz", Bytes(pPacked, pPacked + uiPacked));
        delete[] pPacked;
    }
}

// Gives a curve three keys of its value class and a name and interval.
void AddKeys(KU_Interpolation* pCurve)
{
    pCurve->SetStartTime(1.5);
    pCurve->SetEndTime(9.0);
    pCurve->SetDebugName(KB_String("Seed curve"));
    if (auto* pVertex = dynamic_cast<KU_VertexInterpolation*>(pCurve))
    {
        pVertex->InsertVertex(XMVectorSet(1.0f, 2.0f, 3.0f, 0.0f), 0.0);
        pVertex->InsertVertex(XMVectorSet(-4.0f, 0.25f, 1e-3f, 0.0f), 1.25);
        pVertex->InsertVertex(XMVectorSet(7.0f, 8.5f, -9.0f, 0.0f), 3.0);
    }
    else if (auto* pQuaternion = dynamic_cast<KU_QuaternionInterpolation*>(pCurve))
    {
        pQuaternion->InsertQuaternion(XMQuaternionIdentity(), 0.0);
        pQuaternion->InsertQuaternion(XMQuaternionRotationRollPitchYaw(0.5f, 1.0f, -0.25f), 1.0);
        pQuaternion->InsertQuaternion(XMQuaternionRotationRollPitchYaw(3.0f, 0.0f, 2.0f), 2.5);
    }
    else if (auto* pMatrix = dynamic_cast<KU_MatrixInterpolation*>(pCurve))
    {
        pMatrix->InsertMatrix(XMMatrixIdentity(), 0.0);
        pMatrix->InsertMatrix(XMMatrixTranslation(1.0f, 2.0f, 3.0f) * XMMatrixRotationY(0.5f), 2.0);
    }
}

// The seven kinds in the order the curve fuzz targets number them.
std::vector<std::unique_ptr<KU_Interpolation>> MakeCurves(const char* pPath)
{
    std::vector<std::unique_ptr<KU_Interpolation>> curves;
    curves.push_back(std::make_unique<KB_LinearInterpolation>(KB_String(pPath)));
    auto pEased = std::make_unique<KB_TrigonometryInterpolation>(KB_String(pPath));
    pEased->SetMode(1);
    curves.push_back(std::move(pEased));
    curves.push_back(std::make_unique<KB_CubicBSplineInterpolation>(KB_String(pPath)));
    curves.push_back(std::make_unique<KB_AnimationTriggerInterpolation>(KB_String(pPath)));
    curves.push_back(std::make_unique<KU_ConstantValueInterpolation>(KB_String(pPath)));
    curves.push_back(std::make_unique<KB_RotationInterpolation>(KB_String(pPath)));
    curves.push_back(std::make_unique<KB_LinearMatrixInterpolation>(KB_String(pPath)));
    for (auto& pCurve : curves)
        AddKeys(pCurve.get());
    return curves;
}

void MakeCurveSeeds(MemoryRepository& repository)
{
    const char* const pPath = "Assets/Curves/seed.int";
    std::vector<std::unique_ptr<KU_Interpolation>> curves = MakeCurves(pPath);
    for (std::size_t i = 0; i < curves.size(); ++i)
    {
        KU_Interpolation* pCurve = curves[i].get();
        // The text targets number the value classes: vertex 0, quaternion 1, matrix 2.
        const std::uint8_t uiClass = i < 5 ? 0 : (i == 5 ? 1 : 2);
        if (!pCurve->Save())
            Fail("a curve did not save");
        const std::string sText = repository.GetFileContents(pPath);
        AddSeed("CurveTextFuzz", uiClass, ToBytes(sText));
        AddSeed("TextReaderFuzz", static_cast<std::uint8_t>(255), ToBytes(std::string(1, '\xff') + sText));

        Bytes record(1 << 16);
        std::uint8_t* pCursor = record.data();
        std::uint64_t uiWritten = 0;
        if (!pCurve->Serialize(&pCursor, record.size(), &uiWritten))
        {
            Fail("a curve did not serialize");
            continue;
        }
        record.resize(uiWritten);
        AddSeed("CurveBytesFuzz", static_cast<std::uint8_t>(i), record);
    }
    repository.RemoveAllFiles();
}

void MakeAudioEntitySeeds(MemoryRepository& repository)
{
    const std::string sDirectory = "Assets/Entities/Audio/";
    const std::string sCurve = CurveText(3);
    const char* const texts[] = {
        "d Seed entity\ns 1\ne 9\nl 1\n3d 1\nf Music/a.wav\npv 1 2 3\nm 5 50\nod 0.25\nor 0.5\nvo 0.75\n"
        "pp p.int\nvp v.int\n",
        "s 0\ne 2\nf Music/a.wav\nvo 0.5\n",
    };
    for (const char* pText : texts)
    {
        repository.SetFile(sDirectory + "seed.aud", pText);
        repository.SetFile(sDirectory + "p.int", sCurve);
        repository.SetFile(sDirectory + "v.int", sCurve);
        KA_AudioEntity entity;
        if (!entity.Load(KB_String((sDirectory + "seed.aud").c_str())) || !entity.Save())
        {
            Fail("an audio entity did not load and save");
            continue;
        }
        const std::string sSaved = repository.GetFileContents(sDirectory + "seed.aud");
        AddSeed("AudioEntityFuzz", ToBytes(sSaved + '\0' + repository.GetFileContents(sDirectory + "p.int") +
                                           '\0' + repository.GetFileContents(sDirectory + "v.int")));
        AddSeed("TextReaderFuzz", static_cast<std::uint8_t>(255), ToBytes(std::string(1, '\xff') + sSaved));
    }
    repository.RemoveAllFiles();
}

std::string Print(const TiXmlDocument& document)
{
    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.Str();
}

void MakeXmlSeeds()
{
    {
        TiXmlDocument document;
        document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
        auto* pScenes = new TiXmlElement("scenes");
        document.LinkEndChild(pScenes);
        for (int i = 0; i < 3; ++i)
        {
            auto* pScene = new TiXmlElement("scene");
            pScene->SetAttribute("name", ("Scene" + std::to_string(i)).c_str());
            pScene->SetDoubleAttribute("start", i * 12.5);
            pScene->LinkEndChild(new TiXmlText("a &amp; b"));
            pScene->LinkEndChild(new TiXmlComment("comment"));
            pScenes->LinkEndChild(pScene);
        }
        AddSeed("XmlFuzz", ToBytes(Print(document)));
    }
    {
        TiXmlDocument document;
        document.LinkEndChild(new TiXmlDeclaration("1.0", "ISO-8859-1", "yes"));
        auto* pRoot = new TiXmlElement("menu");
        pRoot->SetAttribute("item", "Caf\xe9");
        document.LinkEndChild(pRoot);
        AddSeed("XmlFuzz", ToBytes(Print(document)));
    }
    {
        TiXmlDocument document;
        TiXmlNode* pParent = &document;
        for (int i = 0; i < 40; ++i)
            pParent = pParent->LinkEndChild(new TiXmlElement("n"));
        AddSeed("XmlFuzz", ToBytes(Print(document)));
    }
    {
        // Several top-level elements, as in the scene configuration, after a DOCTYPE, with
        // instructions holding a '>'.
        TiXmlDocument document;
        auto* pDoctype = new TiXmlUnknown();
        pDoctype->SetValue("!DOCTYPE scene1 SYSTEM \"a>b.dtd\"");
        document.LinkEndChild(pDoctype);
        for (int i = 1; i <= 2; ++i)
        {
            auto* pScene = new TiXmlElement(("scene" + std::to_string(i)).c_str());
            auto* pInstruction = new TiXmlUnknown();
            pInstruction->SetValue("?tool a>b?");
            pScene->LinkEndChild(pInstruction);
            pScene->LinkEndChild(new TiXmlElement("duration"))->LinkEndChild(new TiXmlText("7"));
            document.LinkEndChild(pScene);
        }
        AddSeed("XmlFuzz", ToBytes(Print(document)));
    }
    {
        // Shift_JIS (日本 and ソ, whose second byte is '\', in text and a CDATA section), declared
        // as Python writes it, after an internal subset with declarations and a comment.
        TiXmlDocument document;
        document.LinkEndChild(new TiXmlDeclaration("1.0", "shift_jis", ""));
        auto* pDoctype = new TiXmlUnknown();
        pDoctype->SetValue("!DOCTYPE r [ <!ELEMENT r ANY> <!-- a > b --> ]");
        document.LinkEndChild(pDoctype);
        auto* pRoot = new TiXmlElement("r");
        pRoot->SetAttribute("a", "\x93\xFA\x96\x7B");
        pRoot->LinkEndChild(new TiXmlText("\x83\x5C"));
        auto* pSection = new TiXmlText("\x83\x5C]");
        pSection->SetCDATA(true);
        pRoot->LinkEndChild(pSection);
        document.LinkEndChild(pRoot);
        AddSeed("XmlFuzz", ToBytes(Print(document)));
    }
}

void MakeSoundSeeds()
{
    using TestAudioFiles::MakeSine;
    using TestAudioFiles::MakeWav;
    // Flags byte: codec hint in bits 0-1 (unknown, WAV, MPEG, other), 3-D in bit 2, looping in bit 3.
    AddSeed("SoundDataFuzz", 0, MakeWav(1, 8000, 16, false, MakeSine(1, 8000, 200, 440.0, 0.5f)));
    AddSeed("SoundDataFuzz", 1, MakeWav(2, 22050, 8, false, MakeSine(2, 22050, 100, 1000.0, 0.9f)));
    AddSeed("SoundDataFuzz", 5, MakeWav(1, 44100, 24, false, MakeSine(1, 44100, 100, 50.0, 1.0f)));
    AddSeed("SoundDataFuzz", 9, MakeWav(2, 48000, 32, false, MakeSine(2, 48000, 64, 300.0, 0.25f)));
    AddSeed("SoundDataFuzz", 1, MakeWav(1, 11025, 32, true, MakeSine(1, 11025, 64, 700.0, 0.75f)));
    AddSeed("SoundDataFuzz", 0, MakeWav(2, 8000, 16, false, MakeSine(2, 8000, 64, 440.0, 0.5f), true));
    AddSeed("SoundDataFuzz", 2, TestAudioFiles::MakeMp3(3));
    AddSeed("SoundDataFuzz", 0, TestAudioFiles::MakeMp3(2, 24, 2));
}

void MakeTerminalSeeds()
{
    const char* const sequences[] = {"q",
                                     "\x1b",
                                     "\x1b[A\x1b[B\x1b[C\x1b[D",
                                     "\x1b[15~\x1b[24~\x1b[3~",
                                     "\x1bOP\x1bOS\x1bOH",
                                     "\x1b[[A\x1b[[E",
                                     "abc 123\r\n\t\x7f",
                                     "\x1b[1;5A\x1b[2;3~"};
    for (const char* pSequence : sequences)
        AddSeed("TerminalInputFuzz", ToBytes(pSequence));
}

void MakeDirectorySeeds()
{
    AddSeed("DirectoryPathsFuzz", ToBytes("rAssets/a.txt\nhassets/sub/b.txt\nsAssets/Sub/B.TXT\ntAssets\n"
                                          "eASSETS/A.TXT\nxEmpty\nfAssets/*\nf*.txt\n"));
    AddSeed("DirectoryPathsFuzz", ToBytes("wNew/Dir/file.txt\nrnew/dir/FILE.txt\ndNew/Dir/file.txt\n"
                                          "rNew/Dir/file.txt\nwEmpty\ndEmpty\n"));
    AddSeed("DirectoryPathsFuzz", ToBytes("wAssets\\Sub\\c.txt\nrAssets/./Sub/c.txt\nfAssets/Sub/?.*\n"));
}

// Images saved by the D3DX11 stand-in: PNG and DDS of a small 2-D texture with a mip chain, a cube
// map and a float texture; and the BMP files of the image tests (run-length rows, colour tables,
// gaps, the OS/2 header). The first byte picks the load options (see ImageFuzz).
void MakeImageSeeds()
{
    ID3D11Device* pDevice = nullptr;
    ID3D11DeviceContext* pContext = nullptr;
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                 &pDevice, nullptr, &pContext)))
    {
        Fail("cannot make a device for the image seeds");
        return;
    }
    TestTempDir temp;
    const auto save =
        [&](const D3D11_TEXTURE2D_DESC& desc, D3DX11_IMAGE_FILE_FORMAT format, std::uint8_t uiPrefix)
    {
        ID3D11Texture2D* pTexture = nullptr;
        if (FAILED(pDevice->CreateTexture2D(&desc, nullptr, &pTexture)))
        {
            Fail("cannot make an image seed texture");
            return;
        }
        const std::string sPath = temp.Join(format == D3DX11_IFF_PNG ? "seed.png" : "seed.dds");
        if (FAILED(D3DX11SaveTextureToFileA(pContext, pTexture, format, sPath.c_str())))
            Fail("cannot save an image seed");
        pTexture->Release();
        std::ifstream stream(sPath, std::ios::binary);
        AddSeed("ImageFuzz", uiPrefix,
                Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()));
    };
    D3D11_TEXTURE2D_DESC desc{8, 4, 4, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, 0, 0, 0};
    save(desc, D3DX11_IFF_PNG, 1);
    save(desc, D3DX11_IFF_DDS, 0);
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    save(desc, D3DX11_IFF_DDS, 2);
    desc.Format = DXGI_FORMAT_R16G16B16A16_FLOAT;
    save(desc, D3DX11_IFF_DDS, 7);
    desc = D3D11_TEXTURE2D_DESC{4,
                                4,
                                1,
                                6,
                                DXGI_FORMAT_BC1_UNORM,
                                {1, 0},
                                D3D11_USAGE_DEFAULT,
                                0,
                                0,
                                D3D11_RESOURCE_MISC_TEXTURECUBE};
    save(desc, D3DX11_IFF_DDS, 0);
    desc = D3D11_TEXTURE2D_DESC{8, 8, 1, 3, DXGI_FORMAT_R8G8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, 0, 0, 0};
    save(desc, D3DX11_IFF_DDS, 3);
    pContext->Release();
    pDevice->Release();
    const std::filesystem::path bmps = std::filesystem::path(KV_SOURCE_ROOT) / "tests/platform/d3dx11/data";
    for (const auto& entry : std::filesystem::directory_iterator(bmps))
        if (entry.path().extension() == ".bmp")
            AddSeed("ImageFuzz", 0, ReadFile(entry.path()));
}

// Model cache files as the loader writes them: the empty model, and one node of two subsets with a
// node animation and a two-bone skeleton. Written without a device: the byte
// form needs no buffers.
void AddModelCacheSeed(const KR_ModelResourceDX11& model)
{
    Bytes file(1 << 16);
    std::uint8_t* pCursor = file.data();
    std::uint64_t uiWritten = 0;
    if (!KR_ModelCacheHeader().Write(&pCursor, file.size(), &uiWritten) ||
        !model.Serialize(&pCursor, file.size(), &uiWritten))
    {
        Fail("cannot write a model cache seed");
        return;
    }
    file.resize(uiWritten);
    AddSeed("ModelCacheFuzz", file);
}

void MakeModelCacheSeeds()
{
    AddModelCacheSeed(KR_ModelResourceDX11());
    auto* pMesh = new KR_MeshDX11();
    if (!pMesh->Allocate(12, 6, 2))
        Fail("cannot allocate a model cache seed mesh");
    const float positions[18] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0, 1, 0, 1};
    const std::uint32_t indices[6] = {0, 1, 2, 3, 4, 5};
    const std::uint32_t ids[2] = {0, 1};
    pMesh->SetVertices(positions);
    pMesh->SetIndices(indices);
    pMesh->SetAttributes(ids);
    if (!pMesh->BuildSubsets())
        Fail("cannot build the model cache seed subsets");
    KB_GrowingArray<KB_String> gNames;
    gNames.Add(KB_String("Stone"));
    gNames.Add(KB_String("Skin"));
    auto* pTranslation = new KB_LinearInterpolation();
    pTranslation->InsertVertex(XMVectorSet(0, 0, 0, 0), 0.0);
    pTranslation->InsertVertex(XMVectorSet(1, 2, 3, 0), 1.0);
    auto* pScale = new KB_LinearInterpolation();
    pScale->InsertVertex(XMVectorSet(1, 1, 1, 0), 0.0);
    auto* pRotation = new KB_RotationInterpolation();
    pRotation->InsertQuaternion(XMQuaternionIdentity(), 0.0);
    auto* pBones = new KB_LinearMatrixInterpolation();
    pBones->InsertMatrix(XMMatrixIdentity(), 0.0);
    pBones->InsertMatrix(XMMatrixTranslation(0, 1, 0), 1.0);
    auto* pRoot = new KR_MeshSkinnedAnimationResource(pBones, KB_String("Hip"), XMMatrixIdentity());
    pRoot->AddChild(new KR_MeshSkinnedAnimationResource(nullptr, KB_String("Knee"), XMMatrixIdentity()));
    auto* pNode = new KR_MeshResourceDX11(
        pMesh, gNames, new KR_MeshAnimationResource(pTranslation, pScale, pRotation), pRoot, 0x81);
    KB_GrowingArray<KR_MeshResource*> gNodes;
    gNodes.Add(pNode);
    AddModelCacheSeed(KR_ModelResourceDX11(gNodes));
}

// OBJ texts as modelling tools write them (the first byte is the load options): a textured quad
// with normals, faces with and without UVs or normals in material runs, a pentagon with Windows
// line ends and no final newline.
void MakeObjSeeds()
{
    const std::string sQuad = "# quad\nmtllib quad.mtl\no Quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                              "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\ns off\nf 1/1/1 2/2/1 3/3/1 4/4/1\n";
    AddSeed("ObjFuzz", 7, ToBytes(sQuad));
    AddSeed("ObjFuzz", 0,
            ToBytes(sQuad + "usemtl Stone\nf 1 2 3\nf 1//1 3//1 4//1\nusemtl Glass\nf 4/4 3/3 2/2\n"));
    AddSeed("ObjFuzz", 5,
            ToBytes("v -1.5e0 2 +3\r\nv 1 .5 0.\r\nv 0 1 0\r\nv 2 2 2\r\nv 3 0 1\r\ng p\r\n"
                    "f 1 2 3 4 5"));
}

// Records written by the stand-in compiler: a vertex stage with an input signature, a pixel
// stage, a compute stage with its thread-group size and an effect with a technique.
void MakeShaderSeeds()
{
    const struct
    {
        const char* pSource;
        const char* pEntry;
        const char* pTarget;
    } shaders[] = {
        {"float4 VSMain(float3 p : POSITION, float2 uv : TEXCOORD0) : SV_Position { return float4(p, uv.x); "
         "}",
         "VSMain", "vs_5_0"},
        {"float4 PSMain() : SV_Target { return 1; }", "PSMain", "ps_5_0"},
        {"[numthreads(8, 4, 1)] void CSMain(uint3 id : SV_DispatchThreadID) {}", "CSMain", "cs_5_0"},
        {"float4 Color; float4 PSMain() : SV_Target { return Color; }\n"
         "technique11 T { pass P { SetPixelShader(CompileShader(ps_5_0, PSMain())); } }",
         nullptr, "fx_5_0"},
    };
    for (const auto& shader : shaders)
    {
        ID3DBlob* pCode = nullptr;
        if (FAILED(D3DCompile(shader.pSource, std::strlen(shader.pSource), "seed.hlsl", nullptr, nullptr,
                              shader.pEntry, shader.pTarget, 0, 0, &pCode, nullptr)))
        {
            Fail("cannot compile a shader seed");
            continue;
        }
        const auto* pBytes = static_cast<const std::uint8_t*>(pCode->GetBufferPointer());
        AddSeed("ShaderBytecodeFuzz", Bytes(pBytes, pBytes + pCode->GetBufferSize()));
        pCode->Release();
    }
}

// Each of the engine's shaders and effects with every include of the folder after it, the target
// byte picking its stage (the entry point names are the engine's), with and without the options'
// macro table; and texts at the preprocessor's limits.
void MakeShaderTextSeeds()
{
    const std::filesystem::path folder = std::filesystem::path(KV_SOURCE_ROOT) / "assets/Shader";
    std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(folder), {});
    std::sort(files.begin(), files.end());
    Bytes includes;
    std::vector<std::filesystem::path> shaders;
    for (const std::filesystem::path& path : files)
    {
        if (path.extension() == ".hlsli")
        {
            includes.push_back(0);
            const Bytes name = ToBytes(path.filename().string() + "\n");
            includes.insert(includes.end(), name.begin(), name.end());
            const Bytes text = ReadFile(path);
            includes.insert(includes.end(), text.begin(), text.end());
        }
        else if (path.extension() == ".hlsl" || path.extension() == ".fx")
        {
            shaders.push_back(path);
        }
    }
    if (shaders.empty() || includes.empty())
        Fail("no engine shaders");
    for (const std::filesystem::path& path : shaders)
    {
        // 0 vertex, 1 pixel, 2 geometry, 4 effect: where the entry point is, by its name.
        Bytes text = ReadFile(path);
        const std::string sText(text.begin(), text.end());
        std::uint8_t uiTarget = 4;
        if (path.extension() == ".hlsl")
            uiTarget = sText.find("MainVS(") != std::string::npos   ? 0
                       : sText.find("MainGS(") != std::string::npos ? 2
                                                                    : 1;
        text.insert(text.end(), includes.begin(), includes.end());
        AddSeed("ShaderTextFuzz", uiTarget, text);
        AddSeed("ShaderTextFuzz", static_cast<std::uint8_t>(uiTarget | 8), text);
    }
    std::string sChain = "#define M0 1\n";
    for (int i = 1; i <= 300; ++i)
        sChain += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + "\n";
    std::string sDoubling = "#define X0 1\n";
    for (int i = 1; i <= 20; ++i)
        sDoubling += "#define X" + std::to_string(i) + " X" + std::to_string(i - 1) + " X" +
                     std::to_string(i - 1) + "\n";
    const std::string sMain = "float4 MainPS() : SV_Target { return 1; }\n";
    for (const std::string& sText :
         {"#if " + std::string(300, '(') + "1" + std::string(300, ')') + "\n#endif\n" + sMain,
          "#define F(x) x\n#if F(F(F(!-~1 ? 2 : 3)))\n#elif 0\n#endif\n" + sMain,
          sChain + "float g = M300;\n" + sMain, sDoubling + "float g = X20;\n" + sMain})
        AddSeed("ShaderTextFuzz", 1, ToBytes(sText));
}

// The placeholder model, and small documents with what it lacks: polygons, nested nodes with
// matrices, two UV sets of three floats, several elements and materials, animations, skeletons
// and a skin.
void MakeColladaSeeds()
{
    const Bytes placeholder =
        ReadFile(std::filesystem::path(KV_SOURCE_ROOT) / "assets/Models/Dev/Dev_UnloadedModel.dae");
    if (placeholder.empty())
        Fail("cannot read the placeholder model");
    AddSeed("ColladaFuzz", placeholder);
    const std::string sNested =
        "<COLLADA version=\"1.4.0\"><library_materials><material id=\"m\" "
        "name=\"Stone\"/></library_materials>"
        "<library_geometries><geometry id=\"a\"><mesh><source id=\"p\"><float_array count=\"12\">0 0 0 1 0 0 "
        "1 1 0 "
        "0 1 0</float_array></source><source id=\"t\"><float_array count=\"12\">0 0 0 1 0 0 1 1 0 0 1 "
        "0</float_array>"
        "<technique_common><accessor stride=\"3\"/></technique_common></source><vertices id=\"v\"><input "
        "semantic=\"POSITION\" source=\"#p\"/></vertices><polygons material=\"Stone\"><input "
        "semantic=\"VERTEX\" "
        "source=\"#v\" offset=\"0\"/><input semantic=\"TEXCOORD\" source=\"#t\" offset=\"1\" "
        "set=\"0\"/><input "
        "semantic=\"TEXCOORD\" source=\"#t\" offset=\"1\" set=\"1\"/><p>0 0 1 1 2 2 3 3</p><p>0 1 "
        "2</p></polygons>"
        "<triangles><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><input semantic=\"TEXCOORD\" "
        "source=\"#t\" offset=\"1\"/><input semantic=\"TEXCOORD\" source=\"#t\" offset=\"2\"/><p>0 1 2 1 2 3 "
        "2 3 "
        "0</p></triangles></mesh></geometry><geometry id=\"b\"><mesh><source id=\"q\"><float_array "
        "count=\"9\">0 0 0 "
        "2 0 0 0 2 0</float_array></source><vertices id=\"w\"><input semantic=\"POSITION\" "
        "source=\"#q\"/></vertices>"
        "<triangles><input semantic=\"VERTEX\" source=\"#w\" offset=\"0\"/><p>0 1 "
        "2</p></triangles></mesh></geometry>"
        "</library_geometries><library_visual_scenes><visual_scene id=\"s\"><node id=\"na\"><matrix "
        "sid=\"x\">1 0 0 5 "
        "0 0 -1 6 0 1 0 7 0 0 0 1</matrix><instance_geometry url=\"#a\"/><node id=\"nb\"><matrix>2 0 0 0 0 2 "
        "0 0 0 0 2 "
        "0 0 0 0 1</matrix><instance_geometry "
        "url=\"#b\"/></node></node></visual_scene></library_visual_scenes><scene>"
        "<instance_visual_scene url=\"#s\"/></scene></COLLADA>";
    AddSeed("ColladaFuzz", ToBytes(sNested));

    // An animated geometry node, and a geometry skinned by two skeletons (one of them animated)
    // under an added root, with a bind shape and 0 to 4 influences per vertex.
    const std::string sTriangle =
        "<mesh><source id=\"p\"><float_array count=\"12\">0 0 0 1 0 0 0 1 0 1 1 0</float_array></source>"
        "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices><triangles><input "
        "semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>0 1 2 1 3 2</p></triangles></mesh>";
    const std::string sIdentity = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
    auto animation = [&](const std::string& sId, const std::string& sTarget)
    {
        return "<animation id=\"" + sId + "\"><source id=\"" + sId + "-in\"><float_array count=\"2\">0 1.5" +
               "</float_array></source><source id=\"" + sId + "-out\"><float_array count=\"32\">" +
               sIdentity +
               " 0 -1 0 1 1 0 0 2 0 0 1 3 0 0 0 1</float_array></source><sampler><input semantic=\"INPUT\" "
               "source=\"#" +
               sId + "-in\"/><input semantic=\"OUTPUT\" source=\"#" + sId +
               "-out\"/></sampler><channel source=\"#x\" target=\"" + sTarget + "\"/></animation>";
    };
    const std::string sAnimated =
        "<COLLADA version=\"1.4.1\"><library_animations>" + animation("a", "n/m") + "<animation>" +
        animation("b", "n/m") +
        "</animation></library_animations><library_geometries>"
        "<geometry id=\"g\">" +
        sTriangle +
        "</geometry></library_geometries><library_visual_scenes>"
        "<visual_scene id=\"s\"><node id=\"n\"><matrix sid=\"m\">" +
        sIdentity +
        "</matrix><instance_geometry url=\"#g\"/></node></visual_scene></library_visual_scenes><scene>"
        "<instance_visual_scene url=\"#s\"/></scene></COLLADA>";
    AddSeed("ColladaFuzz", ToBytes(sAnimated));
    auto joint = [&](const std::string& sId, const std::string& sChildren)
    {
        return "<node id=\"" + sId + "\"><matrix sid=\"m\">1 0 0 1 0 1 0 0 0 0 1 0 0 0 0 1</matrix>" +
               sChildren + "</node>";
    };
    std::string sBinds;
    for (int i = 0; i < 4; ++i)
        sBinds += sIdentity + " ";
    const std::string sSkinned =
        "<COLLADA version=\"1.4.1\"><library_animations>" + animation("a", "R/m") +
        "</library_animations><library_controllers><controller id=\"c\"><skin source=\"#g\">"
        "<bind_shape_matrix>1 0 0 0 0 1 0 0 0 0 1 2 0 0 0 1</bind_shape_matrix><source id=\"j\"><Name_array "
        "count=\"4\">S R A T</Name_array></source><source id=\"ib\"><float_array count=\"64\">" +
        sBinds +
        "</float_array></source><source id=\"w\"><float_array count=\"4\">0.2 0.6 1 0.5</float_array>"
        "</source><joints><input semantic=\"JOINT\" source=\"#j\"/><input semantic=\"INV_BIND_MATRIX\" "
        "source=\"#ib\"/></joints><vertex_weights count=\"4\"><input semantic=\"JOINT\" source=\"#j\" "
        "offset=\"0\"/><input semantic=\"WEIGHT\" source=\"#w\" offset=\"1\"/><vcount>2 4 0 1</vcount>"
        "<v>0 0 1 1 0 0 1 1 2 2 3 3 2 2</v></vertex_weights></skin></controller></library_controllers>"
        "<library_geometries><geometry id=\"g\">" +
        sTriangle +
        "</geometry></library_geometries>"
        "<library_visual_scenes><visual_scene id=\"s\">" +
        joint("R", joint("A", "")) + joint("S", joint("T", "")) +
        "<node id=\"at\"><instance_controller url=\"#c\"/></node></visual_scene></library_visual_scenes>"
        "<scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>";
    AddSeed("ColladaFuzz", ToBytes(sSkinned));
}

// The sample production's scene configuration and documents printed by TinyXML with every value
// element, comments, an empty element and a non-scene element that ends the list.
void MakeSceneConfigSeeds()
{
    const Bytes sample = ReadFile(std::filesystem::path(KV_SOURCE_ROOT) / "assets/sceneconfig.xml");
    if (sample.empty())
        Fail("cannot read the sample scene configuration");
    AddSeed("SceneConfigFuzz", sample);
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    const char* const values[] = {"duration", "near_distance", "far_distance", "far_distance_tools"};
    for (int i = 0; i < 3; ++i)
    {
        auto* pScene = new TiXmlElement(i == 1 ? "SceneTwo" : "scene");
        for (int j = 0; j < 4; ++j)
        {
            auto* pValue = new TiXmlElement(values[(i + j) % 4]);
            pValue->LinkEndChild(new TiXmlText(std::to_string(j * 50.5 - i).c_str()));
            pScene->LinkEndChild(pValue);
        }
        pScene->LinkEndChild(new TiXmlComment("comment"));
        pScene->LinkEndChild(new TiXmlElement("duration"));
        document.LinkEndChild(pScene);
    }
    document.LinkEndChild(new TiXmlElement("other"));
    AddSeed("SceneConfigFuzz", ToBytes(Print(document)));
}

// A sample chunk list and lists written by the chunk-list writer.
// The manifest's text form: comments, entries, a path with a blank and nested folders.
void MakeAssetManifestSeeds()
{
    AddSeed("AssetManifestFuzz", ToBytes("# Files the asset generator made.\n"
                                         "da07364613c56b4a Audio/KV27_Moorglow.wav\n"
                                         "0123456789abcdef Entities/Scene1/A B.int\n"));
    AddSeed("AssetManifestFuzz", ToBytes("ffffffffffffffff sceneconfig.xml\n"));
}

void MakeChunkListSeeds()
{
    const Bytes sample =
        ReadFile(std::filesystem::path(KV_SOURCE_ROOT) / "assets/Entities/Scene2/Chunks/Chunks_Scene2.chk");
    if (sample.empty())
        Fail("cannot read the sample chunk list");
    AddSeed("ChunkListFuzz", sample);
    KB_GrowingArray<KB_String> gNames;
    AddSeed("ChunkListFuzz", ToBytes(KR_ChunkList::CreateText(gNames).GetBuffer()));
    gNames.Add(KB_String("Assets/Models/World/A.dae"));
    gNames.Add(KB_String("Assets/Models/World/B C.obj"));
    AddSeed("ChunkListFuzz", ToBytes(KR_ChunkList::CreateText(gNames).GetBuffer()));
    AddSeed("ChunkListFuzz", ToBytes("A.dae\r\n\r\nB.dae\r\n"));
}

// The sample production's entity files (one of each kind), and entities with curves saved by
// their own writers; the first byte is the kind and the developer mode (see SceneEntityFuzz).
void MakeSceneEntitySeeds(MemoryRepository& repository)
{
    const std::filesystem::path root = std::filesystem::path(KV_SOURCE_ROOT) / "assets/Entities/Scene2";
    const char* const samples[] = {
        "AnimatedCameras/Scene2_AnimatedCamera00.cam", "Lights/OmniLights/Scene2_OmniLight00.omn",
        "Lights/SpotLights/Scene2_SpotLight00.spt", "CubeMapPlacers/Scene2_CubeMapPlacer00.cmp"};
    for (std::uint8_t i = 0; i < 4; ++i)
    {
        const Bytes sample = ReadFile(root / samples[i]);
        if (sample.empty())
            Fail("cannot read a sample entity file");
        AddSeed("SceneEntityFuzz", i, sample);
    }

    const std::string sFolder = "Assets/Entities/S/Entities/";
    const auto rail = []
    {
        auto* pRail = new KB_LinearInterpolation();
        pRail->InsertVertex(XMVectorSet(0.0f, 1.0f, 2.0f, 0.0f), 0.0);
        pRail->InsertVertex(XMVectorSet(4.0f, -1.0f, 0.5f, 0.0f), 2.0);
        pRail->SetEndTime(2.0);
        return pRail;
    };
    const auto add = [&](std::uint8_t uiKind, const char* pName, bool bSaved)
    {
        if (!bSaved)
            Fail("an entity did not save");
        AddSeed("SceneEntityFuzz", uiKind,
                ToBytes(repository.GetFileContents(sFolder + pName) + '\0' +
                        repository.GetFileContents(sFolder + "a.int") + '\0' +
                        repository.GetFileContents(sFolder + "b.int")));
        repository.RemoveAllFiles();
    };
    {
        auto* pOrientation = new KB_RotationInterpolation();
        pOrientation->InsertQuaternion(XMQuaternionIdentity(), 0.0);
        pOrientation->InsertQuaternion(XMQuaternionRotationRollPitchYaw(0.5f, 1.0f, 0.0f), 2.0);
        KR_AnimatedCamera camera(KB_String((sFolder + "e.cam").c_str()), rail(), nullptr, nullptr,
                                 pOrientation);
        camera.SetDebugName(KB_String("Seed camera"));
        camera.SetCameraRailPath(KB_String("a.int"));
        camera.SetOrientationInterpolationPath(KB_String("b.int"));
        add(4, "e.cam", camera.SaveCameraToFile(KB_String((sFolder + "e.cam").c_str())));
    }
    {
        KR_OmniLight tube;
        tube.SetDebugName(KB_String("Seed tube"));
        tube.SetPositionRailPath(KB_String("a.int"));
        tube.SetPostitionRailInterpolation(rail());
        tube.SetTargetRailPath(KB_String("b.int"));
        tube.SetTargetRailInterpolation(rail());
        tube.SetOmniFlags(KR_OmniLight::OMNI_FLAG_TUBE_LIGHT);
        add(5, "e.omn", tube.SaveToFile(KB_String((sFolder + "e.omn").c_str())));
    }
    {
        KR_SpotLight spot;
        spot.SetPositionRailPath(KB_String("a.int"));
        spot.SetPostitionRailInterpolation(rail());
        spot.SetStrengthInterpolationPath(KB_String("b.int"));
        spot.SetStrengthInterpolation(rail());
        spot.SetShadowMapResolution(256);
        add(6, "e.spt", spot.SaveToFile(KB_String((sFolder + "e.spt").c_str())));
    }
    {
        KR_CubeMapPlacer placer;
        KB_String sText("d Seed placer\ns 1\ne 5\nrt 2\npv 1 2 3\nrv 16 8\ni 40\ndy true\npp a.int\n");
        repository.SetFile(sFolder + "e.cmp", sText.GetBuffer());
        auto* pRail = rail();
        pRail->SetFilePath(KB_String((sFolder + "a.int").c_str()));
        pRail->Save();
        delete pRail;
        const bool bLoaded = placer.LoadFromFile(KB_String((sFolder + "e.cmp").c_str()));
        add(7, "e.cmp", bLoaded && placer.SaveCubeMapPlacerToFile(KB_String((sFolder + "e.cmp").c_str())));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "Usage: MakeFuzzCorpus <folder>\n");
        return 2;
    }
    g_Output = argv[1];
    std::error_code error;
    for (const char* pTarget : TARGETS)
        std::filesystem::remove_all(g_Output / pTarget, error);
    std::filesystem::create_directories(g_Output, error);
    if (error)
    {
        std::fprintf(stderr, "MakeFuzzCorpus: cannot make %s\n", argv[1]);
        return 1;
    }

    FuzzEngine& engine = FuzzEngine::Get(true);
    MakeImageSeeds();
    MakeShaderSeeds();
    MakeShaderTextSeeds();
    MakeModelCacheSeeds();
    MakeObjSeeds();
    MakeArchiveSeeds();
    MakeInflateSeeds();
    MakeCurveSeeds(engine.GetRepository());
    MakeAudioEntitySeeds(engine.GetRepository());
    MakeXmlSeeds();
    MakeSoundSeeds();
    MakeTerminalSeeds();
    MakeDirectorySeeds();
    MakeColladaSeeds();
    MakeSceneConfigSeeds();
    MakeChunkListSeeds();
    MakeAssetManifestSeeds();
    MakeSceneEntitySeeds(engine.GetRepository());
    return g_bFailed ? 1 : 0;
}
