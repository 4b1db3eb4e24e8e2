// The loaded-file cache with many files held: 10,000 small files read and held (every read while
// up to 10,000 others are cached), then released, against the same files read and released one
// at a time (the cache never holds more than one). Once from the data archive, once from a
// directory. Target: holding within 2x of one at a time. Reports files per second. The files are
// generated at start in a temporary folder ($KV_BENCH_TMP or /tmp) and removed at exit.

#include "bench/BenchFiles.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_NameValidator.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr int NUM_FILES = 10000;

struct CacheData
{
    CacheData()
    {
        sFolder = benchfiles::MakeTempFolder();
        if (sFolder.empty())
            return;
        std::mt19937 random(17);
        for (int i = 0; i < NUM_FILES; ++i)
        {
            // Folders of 100 files, paths of realistic length.
            const std::string name =
                "Textures/Set" + std::to_string(i / 100) + "/Surface_" + std::to_string(i) + ".dds";
            std::filesystem::create_directories(sFolder + "/Assets/Textures/Set" + std::to_string(i / 100));
            std::vector<char> data(64 + random() % 448);
            for (char& c : data)
                c = static_cast<char>(random());
            std::FILE* pFile = std::fopen((sFolder + "/Assets/" + name).c_str(), "wb");
            if (pFile == nullptr)
                return;
            std::fwrite(data.data(), 1, data.size(), pFile);
            std::fclose(pFile);
            paths.emplace_back(name.c_str());
        }
        KF_NameValidator acceptAll;
        KF_DataRepository builder;
        bReady = builder.CreateFromDirectory((sFolder + "/Assets").c_str(), &acceptAll, false) &&
                 builder.SaveToFile((sFolder + "/KV27.dat").c_str());
    }

    ~CacheData()
    {
        if (!sFolder.empty())
        {
            std::error_code error;
            std::filesystem::remove_all(sFolder, error);
        }
    }

    std::string sFolder;
    std::vector<KB_String> paths;
    bool bReady = false;
};

const CacheData& GetData()
{
    static const CacheData s_data;
    return s_data;
}

void ReadOneAtATime(benchmark::State& state, KF_Repository& repository, const std::vector<KB_String>& paths)
{
    for (auto _ : state)
    {
        for (const KB_String& path : paths)
        {
            std::uint64_t uiSize = 0;
            std::uint8_t* pData = nullptr;
            if (repository.ReadFile(path, &uiSize, &pData))
            {
                benchmark::DoNotOptimize(pData[0]);
                repository.RemoveReference(path);
            }
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * NUM_FILES);
}

void ReadAndHold(benchmark::State& state, KF_Repository& repository, const std::vector<KB_String>& paths)
{
    for (auto _ : state)
    {
        for (const KB_String& path : paths)
        {
            std::uint64_t uiSize = 0;
            std::uint8_t* pData = nullptr;
            if (repository.ReadFile(path, &uiSize, &pData))
                benchmark::DoNotOptimize(pData[0]);
        }
        for (const KB_String& path : paths)
            repository.RemoveReference(path);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * NUM_FILES);
}

template <bool HOLD>
void BM_ArchiveCache(benchmark::State& state)
{
    const CacheData& data = GetData();
    KF_DataRepository archive;
    if (!data.bReady || !archive.LoadFromFile((data.sFolder + "/KV27.dat").c_str()))
    {
        state.SkipWithError("archive not built");
        return;
    }
    HOLD ? ReadAndHold(state, archive, data.paths) : ReadOneAtATime(state, archive, data.paths);
}

template <bool HOLD>
void BM_DirectoryCache(benchmark::State& state)
{
    const CacheData& data = GetData();
    if (!data.bReady)
    {
        state.SkipWithError("files not generated");
        return;
    }
    KF_DirectoryRepository directory((data.sFolder + "/Assets").c_str());
    HOLD ? ReadAndHold(state, directory, data.paths) : ReadOneAtATime(state, directory, data.paths);
}

BENCHMARK(BM_ArchiveCache<false>)->Name("BM_ArchiveReadOneAtATime")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveCache<true>)->Name("BM_ArchiveReadAndHold10000")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectoryCache<false>)->Name("BM_DirectoryReadOneAtATime")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectoryCache<true>)->Name("BM_DirectoryReadAndHold10000")->Unit(benchmark::kMillisecond);

} // namespace
