#pragma once
// Makes the production's show data under an asset folder (the folder packed as "Assets/"): the
// scene configuration, the five scenes' entity folders (cameras, lights, cube-map placers, curves,
// chunk lists), the prop and world models, the colour-grading cubes, the dirty-lens and static
// cube-map textures, and the music with its audio entity. Run by hand (`kvassets`); its output
// is committed, and rerunning it must reproduce those files byte for byte, so nothing here reads
// a clock or an unseeded generator.
//
// Entity and curve files go through the engine's own objects and writers (each entity is built,
// then saved by its class, which also writes its curves), images through the D3DX11 stand-in's
// writers, so nothing is written that the engine's readers would refuse. Models, the scene
// configuration, the chunk lists and the WAV file have no writer in the engine and are written
// here as text or bytes through the file manager.
//
// Needs the engine singleton with a file manager whose first writable repository is rooted at
// the asset folder (paths are given without the "Assets/" prefix); the images are written by OS
// path into the same folder. Before writing, the folders this generator owns are emptied, so a
// file it no longer makes does not linger. The material library is not written: the materials
// the models name are entries of the shipped library.

#include <cstdint>
#include <string>

class KV27_AssetGenerator
{
public:
    KV27_AssetGenerator() = delete;

    // Writes everything; false with *pError saying what failed (the folder is then incomplete).
    static bool Generate(const std::string& sAssetFolder, std::string* pError);

    // Folders under the asset folder that Generate empties and refills, and its one top-level file.
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
