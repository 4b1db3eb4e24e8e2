// Reading every file of a data archive of about 50 MB of mixed entries (many small files, a few
// large ones, compressed curve files) against reading the same files loose through the directory
// repository, and the compressed entries against zlib's own inflate of the same streams.
// Targets: stored entries at least as fast as loose files; compressed entries within 1.2x of
// plain inflate. Reports bytes per second. The data is generated at start in a temporary folder
// ($KV_BENCH_TMP or /tmp) and removed at exit.

#include "bench/BenchFiles.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_DataRepositoryNode.h"
#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_ExtensionRejectNameValidator.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{

using benchfiles::CurveText;
using benchfiles::CurveValidator;
using benchfiles::WriteFile;

constexpr int NUM_SMALL_FILES = 2000;     // 1 to 8 KiB each, about 9 MB
constexpr int NUM_LARGE_FILES = 4;        // 8 MiB each
constexpr int NUM_COMPRESSED_FILES = 200; // about 40 KB of curve text each, about 8 MB
constexpr std::size_t LARGE_FILE_BYTES = 8u << 20;

// The generated tree, its archive and the stored streams of its compressed entries.
struct ArchiveData
{
    ArchiveData()
    {
        sFolder = benchfiles::MakeTempFolder();
        if (sFolder.empty())
            return;
        const std::string source = sFolder + "/Assets";
        std::mt19937 random(27);
        std::filesystem::create_directories(source + "/Textures");
        std::filesystem::create_directories(source + "/Models");
        std::filesystem::create_directories(source + "/Curves");
        for (int i = 0; i < NUM_SMALL_FILES; ++i)
        {
            std::vector<std::uint8_t> data(1024 + random() % 7168);
            for (auto& byte : data)
                byte = static_cast<std::uint8_t>(random());
            const std::string name = "Models/Part" + std::to_string(i) + ".obj";
            WriteFile(source + "/" + name, data.data(), data.size());
            storedNames.push_back(name);
            uiStoredBytes += data.size();
        }
        for (int i = 0; i < NUM_LARGE_FILES; ++i)
        {
            std::vector<std::uint8_t> data(LARGE_FILE_BYTES);
            for (auto& byte : data)
                byte = static_cast<std::uint8_t>(random());
            const std::string name = "Textures/Large" + std::to_string(i) + ".dds";
            WriteFile(source + "/" + name, data.data(), data.size());
            storedNames.push_back(name);
            uiStoredBytes += data.size();
        }
        for (int i = 0; i < NUM_COMPRESSED_FILES; ++i)
        {
            const std::string text = CurveText(random, 40000);
            const std::string name = "Curves/Path" + std::to_string(i) + ".int";
            WriteFile(source + "/" + name, text.data(), text.size());
            compressedNames.push_back(name);
            uiCompressedBytes += text.size();
        }

        CurveValidator validator;
        KF_DataRepository builder;
        const std::string archive = sFolder + "/KV27.dat";
        if (!builder.CreateFromDirectory(source.c_str(), &validator, false) ||
            !builder.SaveToFile(archive.c_str()))
        {
            return;
        }
        // The stored streams, straight from the archive file, for the plain-inflate baseline.
        KF_DataRepository reader;
        std::FILE* pFile = std::fopen(archive.c_str(), "rb");
        if (!reader.LoadFromFile(archive.c_str()) || pFile == nullptr)
            return;
        for (const std::string& name : compressedNames)
        {
            const KF_DataRepositoryNode* pNode = reader.FindNode(name.c_str());
            std::vector<std::uint8_t> stored(pNode->m_uiStoredSize);
            std::fseek(pFile, static_cast<long>(pNode->m_uiPayloadOffset), SEEK_SET);
            if (std::fread(stored.data(), 1, stored.size(), pFile) != stored.size())
            {
                std::fclose(pFile);
                return;
            }
            streams.push_back(std::move(stored));
        }
        std::fclose(pFile);
        bReady = true;
    }

    ~ArchiveData()
    {
        if (!sFolder.empty())
        {
            std::error_code error;
            std::filesystem::remove_all(sFolder, error);
        }
    }

    std::string sFolder;
    std::vector<std::string> storedNames;
    std::vector<std::string> compressedNames;
    std::vector<std::vector<std::uint8_t>> streams; // u32 size prefix + zlib stream
    std::uint64_t uiStoredBytes = 0;
    std::uint64_t uiCompressedBytes = 0; // uncompressed size of the compressed entries
    bool bReady = false;
};

const ArchiveData& GetData()
{
    static const ArchiveData s_data;
    return s_data;
}

// Reads and releases every named file; the bytes read in all.
std::uint64_t ReadAll(KF_Repository& repository, const std::vector<std::string>& names)
{
    std::uint64_t uiTotal = 0;
    for (const std::string& name : names)
    {
        const KB_String path(name.c_str());
        std::uint64_t uiSize = 0;
        std::uint8_t* pData = nullptr;
        if (repository.ReadFile(path, &uiSize, &pData))
        {
            benchmark::DoNotOptimize(pData[0]);
            uiTotal += uiSize;
            repository.RemoveReference(path);
        }
    }
    return uiTotal;
}

template <bool COMPRESSED>
void BM_ArchiveRead(benchmark::State& state)
{
    const ArchiveData& data = GetData();
    KF_DataRepository archive;
    if (!data.bReady || !archive.LoadFromFile((data.sFolder + "/KV27.dat").c_str()))
    {
        state.SkipWithError("archive not built");
        return;
    }
    const auto& names = COMPRESSED ? data.compressedNames : data.storedNames;
    std::uint64_t uiBytes = 0;
    for (auto _ : state)
        uiBytes += ReadAll(archive, names);
    state.SetBytesProcessed(static_cast<std::int64_t>(uiBytes));
}

template <bool COMPRESSED>
void BM_DirectoryRead(benchmark::State& state)
{
    const ArchiveData& data = GetData();
    if (!data.bReady)
    {
        state.SkipWithError("files not generated");
        return;
    }
    KF_DirectoryRepository directory((data.sFolder + "/Assets").c_str());
    const auto& names = COMPRESSED ? data.compressedNames : data.storedNames;
    std::uint64_t uiBytes = 0;
    for (auto _ : state)
        uiBytes += ReadAll(directory, names);
    state.SetBytesProcessed(static_cast<std::int64_t>(uiBytes));
}

// zlib alone: the same streams inflated from memory into a buffer that is already there.
void BM_ZlibInflate(benchmark::State& state)
{
    const ArchiveData& data = GetData();
    if (!data.bReady)
    {
        state.SkipWithError("archive not built");
        return;
    }
    std::vector<std::uint8_t> output(1 << 20);
    std::uint64_t uiBytes = 0;
    for (auto _ : state)
    {
        for (const auto& stream : data.streams)
        {
            uLongf uiSize = static_cast<uLongf>(output.size());
            if (uncompress(output.data(), &uiSize, stream.data() + 4,
                           static_cast<uLong>(stream.size() - 4)) == Z_OK)
            {
                uiBytes += uiSize;
            }
            benchmark::DoNotOptimize(output.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(uiBytes));
}

BENCHMARK(BM_ArchiveRead<false>)->Name("BM_ArchiveReadStored")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectoryRead<false>)->Name("BM_DirectoryReadStored")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveRead<true>)->Name("BM_ArchiveReadCompressed")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectoryRead<true>)->Name("BM_DirectoryReadCompressedLoose")->Unit(benchmark::kMillisecond);

} // namespace
