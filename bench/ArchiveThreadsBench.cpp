// Four threads reading one data archive at once, each a quarter of the entries:
// - compressed entries (curve text) against four threads of zlib's own inflate of the same
//   streams from memory into a buffer that is already there (target: within 1.5x);
// - stored entries against four threads of PhysicsFS reading the same files from a zip archive
//   that stores them uncompressed (target: within 1.2x).
// One thread of each is shown too. Reports bytes per second (wall clock). The data is generated
// at start in a temporary folder ($KV_BENCH_TMP or /tmp) and removed at exit.

#include "bench/BenchFiles.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_DataRepositoryNode.h"
#include "framework/files/KF_ExtensionRejectNameValidator.h"

#include <benchmark/benchmark.h>
#include <physfs.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{

using benchfiles::CurveText;
using benchfiles::CurveValidator;
using benchfiles::WriteFile;

constexpr int NUM_STORED_FILES = 2000;    // 1 to 32 KiB each, about 33 MB
constexpr int NUM_COMPRESSED_FILES = 400; // about 40 KB of curve text each, about 16 MB

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A zip archive holding the files uncompressed ("stored"), for the peer.
bool WriteStoredZip(const std::string& path, const std::vector<std::string>& names,
                    const std::vector<std::vector<std::uint8_t>>& contents)
{
    std::vector<std::uint8_t> zip;
    std::vector<std::uint8_t> directory;
    for (std::size_t i = 0; i < names.size(); ++i)
    {
        const std::vector<std::uint8_t>& data = contents[i];
        const auto uiCrc = static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
        const auto uiSize = static_cast<std::uint32_t>(data.size());
        const auto uiNameLength = static_cast<std::uint32_t>(names[i].size());
        const auto uiOffset = static_cast<std::uint32_t>(zip.size());
        PutLittleEndian(zip, 0x04034b50, 4);
        PutLittleEndian(zip, 10, 2);   // version needed
        PutLittleEndian(zip, 0, 2);    // flags
        PutLittleEndian(zip, 0, 2);    // stored
        PutLittleEndian(zip, 0, 2);    // time
        PutLittleEndian(zip, 0x21, 2); // date: 1980-01-01
        PutLittleEndian(zip, uiCrc, 4);
        PutLittleEndian(zip, uiSize, 4);
        PutLittleEndian(zip, uiSize, 4);
        PutLittleEndian(zip, uiNameLength, 2);
        PutLittleEndian(zip, 0, 2);
        zip.insert(zip.end(), names[i].begin(), names[i].end());
        zip.insert(zip.end(), data.begin(), data.end());

        PutLittleEndian(directory, 0x02014b50, 4);
        PutLittleEndian(directory, 20, 2);
        PutLittleEndian(directory, 10, 2);
        PutLittleEndian(directory, 0, 2);
        PutLittleEndian(directory, 0, 2);
        PutLittleEndian(directory, 0, 2);
        PutLittleEndian(directory, 0x21, 2);
        PutLittleEndian(directory, uiCrc, 4);
        PutLittleEndian(directory, uiSize, 4);
        PutLittleEndian(directory, uiSize, 4);
        PutLittleEndian(directory, uiNameLength, 2);
        PutLittleEndian(directory, 0, 2); // extra
        PutLittleEndian(directory, 0, 2); // comment
        PutLittleEndian(directory, 0, 2); // disk
        PutLittleEndian(directory, 0, 2); // internal attributes
        PutLittleEndian(directory, 0, 4); // external attributes
        PutLittleEndian(directory, uiOffset, 4);
        directory.insert(directory.end(), names[i].begin(), names[i].end());
    }
    const auto uiDirectoryOffset = static_cast<std::uint32_t>(zip.size());
    zip.insert(zip.end(), directory.begin(), directory.end());
    PutLittleEndian(zip, 0x06054b50, 4);
    PutLittleEndian(zip, 0, 2);
    PutLittleEndian(zip, 0, 2);
    PutLittleEndian(zip, static_cast<std::uint32_t>(names.size()), 2);
    PutLittleEndian(zip, static_cast<std::uint32_t>(names.size()), 2);
    PutLittleEndian(zip, static_cast<std::uint32_t>(directory.size()), 4);
    PutLittleEndian(zip, uiDirectoryOffset, 4);
    PutLittleEndian(zip, 0, 2);
    std::FILE* pFile = std::fopen(path.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    const bool bWritten = std::fwrite(zip.data(), 1, zip.size(), pFile) == zip.size();
    return std::fclose(pFile) == 0 && bWritten;
}

struct ThreadsData
{
    ThreadsData()
    {
        sFolder = benchfiles::MakeTempFolder();
        if (sFolder.empty())
            return;
        const std::string source = sFolder + "/Assets";
        std::filesystem::create_directories(source + "/Models");
        std::filesystem::create_directories(source + "/Curves");
        std::mt19937 random(27);
        std::vector<std::vector<std::uint8_t>> storedContents;
        for (int i = 0; i < NUM_STORED_FILES; ++i)
        {
            std::vector<std::uint8_t> data(1024 + random() % 31744);
            for (auto& byte : data)
                byte = static_cast<std::uint8_t>(random());
            const std::string name = "Models/Part" + std::to_string(i) + ".obj";
            if (!Write(source + "/" + name, data.data(), data.size()))
                return;
            storedNames.push_back(name);
            uiStoredBytes += data.size();
            storedContents.push_back(std::move(data));
        }
        for (int i = 0; i < NUM_COMPRESSED_FILES; ++i)
        {
            const std::string text = CurveText(random, 40000);
            const std::string name = "Curves/Path" + std::to_string(i) + ".int";
            if (!Write(source + "/" + name, text.data(), text.size()))
                return;
            compressedNames.push_back(name);
            uiCompressedBytes += text.size();
        }
        CurveValidator validator;
        KF_DataRepository builder;
        if (!builder.CreateFromDirectory(source.c_str(), &validator, false) ||
            !builder.SaveToFile((sFolder + "/KV27.dat").c_str()) ||
            !WriteStoredZip(sFolder + "/stored.zip", storedNames, storedContents) ||
            !archive.LoadFromFile((sFolder + "/KV27.dat").c_str()))
        {
            return;
        }
        // The stored streams of the compressed entries, straight from the archive file.
        std::FILE* pFile = std::fopen((sFolder + "/KV27.dat").c_str(), "rb");
        if (pFile == nullptr)
            return;
        for (const std::string& name : compressedNames)
        {
            const KF_DataRepositoryNode* pNode = archive.FindNode(name.c_str());
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
        bReady =
            PHYSFS_init(nullptr) != 0 && PHYSFS_mount((sFolder + "/stored.zip").c_str(), nullptr, 1) != 0;
    }

    ~ThreadsData()
    {
        archive.Unload();
        PHYSFS_deinit();
        if (!sFolder.empty())
        {
            std::error_code error;
            std::filesystem::remove_all(sFolder, error);
        }
    }

    static bool Write(const std::string& path, const void* pData, std::size_t size)
    {
        std::FILE* pFile = std::fopen(path.c_str(), "wb");
        if (pFile == nullptr)
            return false;
        const bool bWritten = std::fwrite(pData, 1, size, pFile) == size;
        return std::fclose(pFile) == 0 && bWritten;
    }

    std::string sFolder;
    KF_DataRepository archive; // loaded once, read by every thread
    std::vector<std::string> storedNames;
    std::vector<std::string> compressedNames;
    std::vector<std::vector<std::uint8_t>> streams; // u32 size prefix + zlib stream
    std::uint64_t uiStoredBytes = 0;
    std::uint64_t uiCompressedBytes = 0; // uncompressed size of the compressed entries
    bool bReady = false;
};

ThreadsData& GetData()
{
    static ThreadsData s_data;
    return s_data;
}

// Each thread takes every entry whose index leaves its own remainder, so no two threads read
// the same entry (which the cache would share) and together they read each entry once.
template <bool COMPRESSED>
void BM_ArchiveThreads(benchmark::State& state)
{
    ThreadsData& data = GetData();
    if (!data.bReady)
    {
        state.SkipWithError("archive not built");
        return;
    }
    const std::vector<std::string>& names = COMPRESSED ? data.compressedNames : data.storedNames;
    std::vector<KB_String> mine;
    for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < names.size();
         i += static_cast<std::size_t>(state.threads()))
    {
        mine.emplace_back(names[i].c_str());
    }
    std::uint64_t uiBytes = 0;
    for (auto _ : state)
    {
        for (const KB_String& path : mine)
        {
            std::uint64_t uiSize = 0;
            std::uint8_t* pData = nullptr;
            if (data.archive.ReadFile(path, &uiSize, &pData))
            {
                benchmark::DoNotOptimize(pData[0]);
                uiBytes += uiSize;
                data.archive.RemoveReference(path);
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(uiBytes));
}

void BM_ZlibInflateThreads(benchmark::State& state)
{
    ThreadsData& data = GetData();
    if (!data.bReady)
    {
        state.SkipWithError("archive not built");
        return;
    }
    std::vector<std::uint8_t> output(1 << 20);
    std::uint64_t uiBytes = 0;
    for (auto _ : state)
    {
        for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < data.streams.size();
             i += static_cast<std::size_t>(state.threads()))
        {
            const std::vector<std::uint8_t>& stream = data.streams[i];
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

// PhysicsFS as a program would use it: open, size, a buffer of that size, read, close.
void BM_PhysfsStoredThreads(benchmark::State& state)
{
    ThreadsData& data = GetData();
    if (!data.bReady)
    {
        state.SkipWithError("zip not built");
        return;
    }
    std::uint64_t uiBytes = 0;
    for (auto _ : state)
    {
        for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < data.storedNames.size();
             i += static_cast<std::size_t>(state.threads()))
        {
            PHYSFS_File* pFile = PHYSFS_openRead(data.storedNames[i].c_str());
            if (pFile == nullptr)
                continue;
            const PHYSFS_sint64 iLength = PHYSFS_fileLength(pFile);
            auto* pBuffer = new std::uint8_t[static_cast<std::size_t>(iLength) + 1];
            if (PHYSFS_readBytes(pFile, pBuffer, static_cast<PHYSFS_uint64>(iLength)) == iLength)
            {
                benchmark::DoNotOptimize(pBuffer[0]);
                uiBytes += static_cast<std::uint64_t>(iLength);
            }
            delete[] pBuffer;
            PHYSFS_close(pFile);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(uiBytes));
}

BENCHMARK(BM_ArchiveThreads<true>)
    ->Name("BM_ArchiveReadCompressed")
    ->Threads(1)
    ->Threads(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflateThreads)->Threads(1)->Threads(4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveThreads<false>)
    ->Name("BM_ArchiveReadStored")
    ->Threads(1)
    ->Threads(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhysfsStoredThreads)->Threads(1)->Threads(4)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
