// Curve files and the curve byte form at the scale of a production: 1,000 linear curves of 100
// keys each, loaded from and saved to an in-memory repository through the file manager (with the
// curve registry listing every loaded curve), and written to and read back from the byte form.
// Every benchmark reports curves per second.

#include "framework/app/KE_ApplicationManager.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KF_Repository.h"
#include "framework/threads/KT_AutoLock.h"
#include "timing/KB_LinearInterpolation.h"
#include "timing/KU_InterpolationManager.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace DirectX;

namespace
{

constexpr int NUM_CURVES = 1000;
constexpr int NUM_KEYS = 100;

// Files held in memory; the file manager's cache rules as in every repository.
class BenchRepository : public KF_Repository
{
public:
    bool ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData) override
    {
        KT_AutoLock lock(&m_oMutex);
        const auto it = m_mapFiles.find(sPath.GetBuffer());
        if (it == m_mapFiles.end())
            return false;
        if (TakeCachedFile(sPath, pSize, ppData))
            return true;
        std::uint8_t* pData = AllocateFileBuffer(it->second.size());
        if (!pData)
            return false;
        std::memcpy(pData, it->second.data(), it->second.size());
        AddLoadedFile(sPath, pData, it->second.size());
        *pSize = it->second.size();
        *ppData = pData;
        return true;
    }
    bool WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData) override
    {
        KT_AutoLock lock(&m_oMutex);
        m_mapFiles[sPath.GetBuffer()].assign(pData, uiSize);
        return true;
    }
    bool RemoveFile(const KB_String& sPath) override
    {
        KT_AutoLock lock(&m_oMutex);
        m_mapFiles.erase(sPath.GetBuffer());
        return true;
    }
    bool GetFileSize(const KB_String&, std::uint64_t*) override { return false; }
    bool GetFileTime(const KB_String&, std::uint64_t*) override { return false; }
    bool GetFileHash(const KB_String&, std::uint64_t*) override { return false; }
    bool FileExists(const KB_String& sPath) override
    {
        KT_AutoLock lock(&m_oMutex);
        return m_mapFiles.count(sPath.GetBuffer()) != 0;
    }
    bool DirectoryExists(const KB_String&) override { return false; }
    bool IsWritable() override { return true; }
    bool FindFiles(const KB_String&, KB_GrowingArray<KB_String>&) override { return false; }

private:
    std::map<std::string, std::string> m_mapFiles; // guarded by m_oMutex
};

// The engine singleton with a file manager over one memory repository and a curve registry.
class BenchEngine
{
public:
    BenchEngine()
    {
        m_pManager = new KE_ApplicationManager(nullptr, KE_ApplicationManager::MemberOwnership::Lent);
        m_files.AddRepository(new BenchRepository());
        m_pManager->SetFileManager(&m_files);
        m_pManager->SetInterpolationManager(&m_registry);
    }
    ~BenchEngine()
    {
        delete m_pManager; // lent members are not deleted
    }

private:
    KE_ApplicationManager* m_pManager = nullptr; // owned
    KF_FileManager m_files;
    KU_InterpolationManager m_registry;
};

KB_String CurvePath(int i)
{
    return KB_String::Formatted("Assets/Entities/Bench/Interpolations/Curve%04d.int", i);
}

// Curves with values and stamps that need all six digits in the text form.
std::vector<std::unique_ptr<KB_LinearInterpolation>> MakeCurves()
{
    std::vector<std::unique_ptr<KB_LinearInterpolation>> curves;
    for (int i = 0; i < NUM_CURVES; ++i)
    {
        auto pCurve = std::make_unique<KB_LinearInterpolation>(CurvePath(i));
        pCurve->SetDebugName("bench curve");
        pCurve->SetStartTime(i * 0.125);
        pCurve->SetEndTime(i * 0.125 + NUM_KEYS * 0.37);
        for (int k = 0; k < NUM_KEYS; ++k)
        {
            const float f = static_cast<float>(i * NUM_KEYS + k);
            pCurve->InsertVertex(XMVectorSet(std::sin(f) * 100.0f, std::cos(f) * 10.0f, f * 0.001f, 0.0f),
                                 k * 0.37);
        }
        curves.push_back(std::move(pCurve));
    }
    return curves;
}

void ReportCurves(benchmark::State& state)
{
    state.counters["curves/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * NUM_CURVES, benchmark::Counter::kIsRate);
}

void BM_SaveCurveFiles(benchmark::State& state)
{
    BenchEngine engine;
    const auto curves = MakeCurves();
    for (auto _ : state)
        for (const auto& pCurve : curves)
            benchmark::DoNotOptimize(pCurve->Save());
    ReportCurves(state);
}
BENCHMARK(BM_SaveCurveFiles)->Unit(benchmark::kMillisecond);

void BM_LoadCurveFiles(benchmark::State& state)
{
    BenchEngine engine;
    {
        const auto curves = MakeCurves();
        for (const auto& pCurve : curves)
            pCurve->Save();
    }
    std::vector<KB_String> paths;
    for (int i = 0; i < NUM_CURVES; ++i)
        paths.push_back(CurvePath(i));
    std::vector<std::unique_ptr<KU_VertexInterpolation>> loaded(NUM_CURVES);
    for (auto _ : state)
    {
        for (int i = 0; i < NUM_CURVES; ++i)
            loaded[i].reset(KU_VertexInterpolation::LoadVertexInterpolation(paths[i]));
        benchmark::DoNotOptimize(loaded.back().get());
        state.PauseTiming();
        for (auto& pCurve : loaded)
            pCurve.reset();
        state.ResumeTiming();
    }
    ReportCurves(state);
}
BENCHMARK(BM_LoadCurveFiles)->Unit(benchmark::kMillisecond);

void BM_ByteFormRoundTrip(benchmark::State& state)
{
    BenchEngine engine;
    const auto curves = MakeCurves();
    std::vector<std::uint8_t> buffer(NUM_CURVES * (NUM_KEYS * 24 + 256));
    std::vector<std::unique_ptr<KB_LinearInterpolation>> read(NUM_CURVES);
    for (auto _ : state)
    {
        std::uint8_t* pCursor = buffer.data();
        std::uint64_t uiWritten = 0;
        for (const auto& pCurve : curves)
            pCurve->Serialize(&pCursor, buffer.size(), &uiWritten);
        const std::uint8_t* pRead = buffer.data();
        for (int i = 0; i < NUM_CURVES; ++i)
        {
            read[i] = std::make_unique<KB_LinearInterpolation>();
            read[i]->Deserialize(&pRead, buffer.data() + uiWritten);
        }
        benchmark::DoNotOptimize(read.back().get());
        state.PauseTiming();
        for (auto& pCurve : read)
            pCurve.reset();
        state.ResumeTiming();
    }
    ReportCurves(state);
}
BENCHMARK(BM_ByteFormRoundTrip)->Unit(benchmark::kMillisecond);

} // namespace
