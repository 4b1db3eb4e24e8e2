#pragma once
// Makes the production's show data under an asset folder (the folder packed as "Assets/"): the
// scene configuration, the five scenes' entity folders (cameras, camera selection curves, lights,
// cube-map placers, curves, chunk lists), the prop and world models, the colour-grading cubes, the
// dirty-lens and static cube-map textures, and the music with its audio entity. Every file a
// scene writes when it saves is among them, written as that save writes it, so a save without
// edits leaves the tree unchanged. Rerunning must reproduce the files byte for byte, so nothing
// here reads a clock or an unseeded generator.
//
// Entity and curve files go through the engine's own objects and writers (each entity is built,
// then saved by its class, which also writes its curves), images through the D3DX11 stand-in's
// writers, so nothing is written that the engine's readers would refuse. Models, the scene
// configuration, the chunk lists and the WAV file have no writer in the engine and are written
// here as text or bytes through the file manager.
//
// Generate needs the engine singleton with a file manager whose first writable repository is
// rooted at the folder (paths are given without the "Assets/" prefix); the images are written by
// OS path into the same folder. kvassets generates into a fresh folder and then Installs the
// result into the committed tree, which is the show's data and may hold edits made in developer
// mode: the manifest beside the tree (KV27_AssetManifest) tells the files an earlier run made
// from files edited since. The material library is not written: the materials the models name
// are entries of the shipped library. Main thread; one run at a time.

#include <cstdint>
#include <string>
#include <vector>

class KV27_AssetGenerator
{
public:
    KV27_AssetGenerator() = delete;

    // Writes everything into the folder, replacing files of the same names and leaving others;
    // false with *pError saying what failed (the folder is then incomplete).
    static bool Generate(const std::string& sAssetFolder, std::string* pError);

    // What Install did, each list by relative path.
    struct InstallReport
    {
        std::vector<std::string> vWritten; // new, or unchanged since the previous run and replaced
        std::vector<std::string> vRemoved; // made by the previous run only, unchanged since
        std::vector<std::string> vKept;    // edited since the previous run (or not made by it)
    };
    // Brings the asset folder to a fresh run made in sStagedFolder: a file is written when it is
    // missing or holds what the previous run's manifest records; a file with other content is
    // kept, and so is one the previous run made and this run does not, when edited since. With
    // bForce every file is replaced or removed. Files no manifest names are left alone. Then
    // the manifest beside the folder records the fresh run. False with *pError on a failed write
    // or an unreadable manifest (unless forced).
    static bool Install(const std::string& sStagedFolder, const std::string& sAssetFolder, bool bForce,
                        InstallReport* pReport, std::string* pError);

    // Folders under the asset folder that Generate writes into, and its one top-level file.
    static constexpr const char* OWNED_FOLDERS[] = {
        "Entities",    "Models/Props",      "Models/World", "Textures/ColorGrading",
        "Textures/FX", "Textures/Cubemaps", "Audio"};
    static constexpr const char* SCENE_CONFIG_FILE = "sceneconfig.xml";

    // The show: five scenes of this many seconds, played end to end.
    static constexpr std::uint32_t NUM_SCENES = 5;
    static constexpr double SCENE_DURATIONS[NUM_SCENES] = {12.0, 12.0, 12.0, 12.0, 12.0};
    // Music format: 16-bit mono PCM.
    static constexpr std::uint32_t MUSIC_SAMPLE_RATE = 22050;
};
