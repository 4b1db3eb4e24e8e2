#pragma once
// Internal to the HLSL compiler stand-in: its objects (blobs, shader reflections) and its
// process-wide state (queued failures, counters). Thread-safe.

#include "platform/d3dcompiler/d3dcompiler.h"

#include "platform/win32/WinFailureQueue.h"
#include <atomic>
#include <cstdint>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace d3dcompiler_internal
{

class Runtime
{
public:
    static Runtime& Get();

    // S_OK when no failure is queued for the call; else the queued result, taken once.
    HRESULT TakeFailure(const char* pCall);
    void CountCompile() { m_uiCompiles.fetch_add(1, std::memory_order_relaxed); }
    void ObjectMade() { m_uiLive.fetch_add(1, std::memory_order_relaxed); }
    void ObjectGone() { m_uiLive.fetch_sub(1, std::memory_order_relaxed); }

    void Reset();
    void FailNext(const std::string& sCall, HRESULT hr);
    std::uint64_t GetCompileCount() const { return m_uiCompiles.load(std::memory_order_relaxed); }
    std::size_t GetLiveObjectCount() const { return m_uiLive.load(std::memory_order_relaxed); }

private:
    Runtime() = default;

    win32_internal::FailureQueue m_failures;
    std::atomic<std::uint64_t> m_uiCompiles{0};
    std::atomic<std::size_t> m_uiLive{0};
};

// Reference counting shared by the objects below; deletes the object at 0.
template <class TInterface>
class RefCounted : public TInterface
{
public:
    ULONG AddRef() override { return m_uiRefs.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override
    {
        const ULONG uiLeft = m_uiRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (uiLeft == 0)
            delete this;
        return uiLeft;
    }

protected:
    RefCounted() { Runtime::Get().ObjectMade(); }
    virtual ~RefCounted() { Runtime::Get().ObjectGone(); }

private:
    std::atomic<ULONG> m_uiRefs{1};
};

class Blob final : public RefCounted<ID3DBlob>
{
public:
    // Null when the memory cannot be had.
    static Blob* Create(const void* pData, std::size_t uiSize);

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    LPVOID GetBufferPointer() override { return m_vBytes.data(); }
    SIZE_T GetBufferSize() override { return m_uiSize; }

private:
    Blob() = default;

    std::vector<std::uint8_t> m_vBytes; // at least one byte, so the pointer is never null
    std::size_t m_uiSize = 0;
};

class ShaderReflection final : public RefCounted<ID3D11ShaderReflection>
{
public:
    static ShaderReflection* Create(const std::uint32_t numThreads[3]);

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    UINT GetThreadGroupSize(UINT* pSizeX, UINT* pSizeY, UINT* pSizeZ) override;

private:
    ShaderReflection() = default;

    UINT m_numThreads[3] = {0, 0, 0};
};

} // namespace d3dcompiler_internal
