// Fuzzes the audio entity (".aud") loader: the bytes are split at NUL bytes into the entity file
// and the two curve files it may name ("pp p.int", "vp v.int"); "Music/a.wav" is a short sound
// the entity can use. The entity is loaded (which loads its curves and makes its sound through the
// FMOD stand-in), driven over a few production times, saved and loaded again from what it saved.

#include "audio/KA_AudioEntity.h"
#include "framework/core/KB_String.h"
#include "fuzz/FuzzEngine.h"
#include "tests/support/MemoryRepository.h"
#include "tests/support/TestAudioFiles.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace
{

const char* const DIRECTORY = "Assets/Entities/Audio/";

void DriveEntity(KA_AudioEntity& entity)
{
    const double times[] = {-1.0,
                            0.0,
                            entity.GetStartTime(),
                            (entity.GetStartTime() + entity.GetEndTime()) * 0.5,
                            entity.GetEndTime(),
                            1e300,
                            std::numeric_limits<double>::quiet_NaN()};
    for (const double fTime : times)
    {
        entity.GetPositionAt(fTime);
        entity.GetVelocityAt(fTime);
        entity.GetVolumeAt(fTime);
        entity.UpdateFrame(fTime);
    }
}

const std::string& GetSoundFile()
{
    static const std::string s_sWav = []
    {
        const std::vector<std::uint8_t> wav =
            TestAudioFiles::MakeWav(1, 8000, 16, false, TestAudioFiles::MakeSine(1, 8000, 800, 440.0, 0.5f));
        return std::string(wav.begin(), wav.end());
    }();
    return s_sWav;
}

} // namespace

// The engine is made before the first run, so that no run is charged with it.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzEngine::Get(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    FuzzEngine& engine = FuzzEngine::Get(true);
    MemoryRepository& repository = engine.GetRepository();
    const std::string input(reinterpret_cast<const char*>(pData), uiSize);
    const char* const names[] = {"e.aud", "p.int", "v.int"};
    std::size_t uiBegin = 0;
    for (const char* pName : names)
    {
        if (uiBegin > input.size())
            break;
        std::size_t uiEnd = input.find('\0', uiBegin);
        if (uiEnd == std::string::npos)
            uiEnd = input.size();
        repository.SetFile(std::string(DIRECTORY) + pName, input.substr(uiBegin, uiEnd - uiBegin));
        uiBegin = uiEnd + 1;
    }
    repository.SetFile("Music/a.wav", GetSoundFile());

    const KB_String path((std::string(DIRECTORY) + names[0]).c_str());
    {
        KA_AudioEntity entity;
        if (!entity.Load(path))
            __builtin_trap(); // the file is there
        DriveEntity(entity);
        entity.Save();
    }
    {
        KA_AudioEntity saved;
        if (saved.Load(path))
            DriveEntity(saved);
    }
    repository.RemoveAllFiles();
    return 0;
}
