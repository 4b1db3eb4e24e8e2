#pragma once
// Test control of the Direct3D 11 and DXGI stand-in: configuration of the simulated hardware
// (adapters, outputs, display modes, feature level, multisample quality levels), failure
// injection, the call log, the live-object registry, read access to resource memory (kept
// lazily: see D3D11Resources.h) and present pacing with its clock.
// Engine code never includes this header. Every function is thread-safe.

#include "platform/d3d11/d3d11.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace D3D11Control
{

// The default display-mode list of an output: 640x480, 800x600, 1024x768, 1280x720 and
// 1920x1080 at 60 Hz in DXGI_FORMAT_R8G8B8A8_UNORM_SRGB, progressive, unspecified scaling.
std::vector<DXGI_MODE_DESC> DefaultDisplayModes();

struct OutputConfig
{
    std::u16string DeviceName = u"\\\\.\\DISPLAY1";
    RECT DesktopCoordinates = {0, 0, 1920, 1080};
    // Reported in this order, duplicates included; GetDisplayModeList answers the modes whose
    // format is the one asked for.
    std::vector<DXGI_MODE_DESC> Modes = DefaultDisplayModes();
    bool FailGetDesc = false; // IDXGIOutput::GetDesc answers E_FAIL
};

struct AdapterConfig
{
    std::u16string Description = u"Korvelane Software Adapter";
    std::vector<OutputConfig> Outputs = {OutputConfig{}};
    bool FailGetDesc = false; // IDXGIAdapter::GetDesc answers E_FAIL
};

// What a draw call of a context would take to the screen: the pipeline bound when it was made.
// Objects are named by their ids as in CallRecord; 0 stands for nothing bound.
struct VertexBufferBinding
{
    std::uint64_t Buffer = 0;
    UINT Stride = 0;
    UINT Offset = 0;
};
struct DrawPipeline
{
    D3D11_PRIMITIVE_TOPOLOGY Topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    std::uint64_t InputLayout = 0;
    std::vector<VertexBufferBinding> VertexBuffers; // slot 0 up to the last slot holding a buffer
    std::uint64_t IndexBuffer = 0;
    DXGI_FORMAT IndexFormat = DXGI_FORMAT_UNKNOWN;
    UINT IndexOffset = 0;
    std::uint64_t VertexShader = 0;
    std::uint64_t GeometryShader = 0;
    std::uint64_t PixelShader = 0;
    std::uint64_t BlendState = 0;
    std::uint64_t DepthStencilState = 0;
    std::uint64_t RasterizerState = 0;
};

// One logged call. Objects are named by their ids (GetObjectId), never reused; 0 stands for null.
struct CallRecord
{
    std::string Interface;                // "ID3D11DeviceContext", "IDXGISwapChain", ... ("" for functions)
    std::string Method;                   // "ClearRenderTargetView", "Present", "Release", ...
    std::uint64_t Sequence = 0;           // order of every logged call since Reset
    std::uint64_t Frame = 0;              // frames presented before the call
    HRESULT Result = S_OK;                // S_OK for calls without a result; a refused call: E_INVALIDARG
    std::vector<std::uint64_t> Objects;   // argument objects in order, then the object created
    std::vector<double> Values;           // numeric arguments in order (see the method's notes)
    std::optional<DrawPipeline> Pipeline; // draw calls of a context only
};

// Back to the defaults: one adapter with one output and the default modes, feature level 11_0,
// one quality level for 1, 2, 4 and 8 samples (none for other counts), no failures queued, empty
// call log and counters, frame 0, no frame reports, no present hook, no present pacing and the
// steady clock. Live objects are not touched.
void Reset();

// Frame reports: a real run (no Reset yet) prints a line "frame <n>: <draws> draw calls" on
// standard output for the first presented frame and then at most every 250 ms, <n> counting the
// presented frames and <draws> the draw calls of the frame just presented.
void SetFrameReports(bool enabled);
// Runs after every successful Present on the presenting thread, with the number of frames
// presented so far (a test drives its clocks from here); empty: none. Reset removes it.
void SetPresentHook(std::function<void(std::uint64_t presentedFrames)> hook);

// Present pacing, as a swap chain waiting for the display: a Present with a sync interval of
// N >= 1 returns N refresh periods of the swap chain's mode (60 Hz when the mode names no rate;
// whole nanoseconds) after that swap chain's previous present, at once when that moment has
// passed; an interval of 0 never waits. On in a real run (no Reset yet); Reset turns it off, so
// tests run unpaced.
void SetPresentPacing(bool enabled);
// The clock pacing waits on: the steady clock, or after UseManualClock one at 0 that only
// AdvanceClock and paced presents move (a wait moves it to the moment waited for). Reset goes
// back to the steady clock.
void UseManualClock();
void AdvanceClock(std::uint64_t nanoseconds);
std::uint64_t GetClock(); // nanoseconds

void SetAdapters(const std::vector<AdapterConfig>& adapters);
// The highest level the simulated hardware reaches.
void SetFeatureLevel(D3D_FEATURE_LEVEL level);
// Answer of CheckMultisampleQualityLevels for that sample count; format DXGI_FORMAT_UNKNOWN sets
// it for every format that has no entry of its own.
void SetMultisampleQualityLevels(UINT sampleCount, UINT levels, DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN);

// The next call of that name fails with hr instead of doing its work. The name is a method
// ("CreateTexture2D", "Present", "D3D11CreateDevice") or "Interface::Method"
// ("IDXGIAdapter::GetDesc") where several interfaces share a method name. Queued failures are
// taken in order, each once.
void FailNext(const std::string& call, HRESULT hr = E_FAIL);

// Calls of the frame in progress (since the last Present, Reset or ClearCallLog); a frame that
// grows past 65536 calls drops its oldest half.
std::vector<CallRecord> GetCallLog();
// The draw calls among GetCallLog, each with its Pipeline.
std::vector<CallRecord> GetDrawCalls();
// Calls of the frame that the last Present ended, that Present included.
std::vector<CallRecord> GetLastFrameCallLog();
void ClearCallLog();
// Off: calls are neither logged nor counted (benchmarks measure the caller, not the log); Reset
// turns logging on again.
void SetCallLogging(bool enabled);
// Calls of that name ("Method" or "Interface::Method") since Reset, failed ones included.
std::uint64_t GetCallCount(const std::string& call);
std::uint64_t GetPresentCount();
UINT GetLastSyncInterval();

// Event queries ended from now on answer S_FALSE to this many GetData polls before S_OK
// (0, the default after Reset: done at once).
void SetEventQueryPolls(UINT polls);

std::size_t GetLiveObjectCount();
// One line per live object: "<interface> #<id> refs <count>", for leak messages.
std::vector<std::string> GetLiveObjects();
// 0 for null or for an object that does not belong to the stand-in.
std::uint64_t GetObjectId(const IUnknown* pObject);
ULONG GetRefCount(const IUnknown* pObject);

// Copies one subresource's memory; false for a foreign object or an index out of range. For a
// multisampled texture every pixel holds its samples one after another.
bool ReadSubresource(ID3D11Resource* pResource, UINT subresource, std::vector<std::uint8_t>* pData,
                     UINT* pRowPitch = nullptr, UINT* pDepthPitch = nullptr);

// Bytes of CPU memory the resource holds now, over all its subresources: a subresource whose
// bytes nothing has needed yet (only created without data, cleared or copied whole from such a
// one) holds none. 0 for a foreign object.
std::size_t GetResourceMemoryBytes(ID3D11Resource* pResource);

struct BoundState
{
    std::vector<std::uint64_t> RenderTargets; // one id per bound slot
    std::uint64_t DepthStencil = 0;
    std::vector<D3D11_VIEWPORT> Viewports;
    std::uint64_t RasterizerState = 0;
    // The descriptions of the bound blend and depth-stencil states (none when none is bound), which
    // no call of the device reads back.
    std::optional<D3D11_BLEND_DESC> BlendDesc;
    std::optional<D3D11_DEPTH_STENCIL_DESC> DepthStencilDesc;
    std::vector<std::uint64_t> StreamOutTargets;      // one id per slot, 0 when unbound
    std::vector<std::uint64_t> UnorderedAccessViews;  // the pixel stage's eight slots
    std::vector<std::uint64_t> VertexShaderResources; // all 128 slots
    std::vector<std::uint64_t> PixelShaderResources;
};
// The hidden counter of a buffer UAV made with the append or counter flag; false for others.
bool GetUnorderedAccessViewCounter(ID3D11UnorderedAccessView* pView, UINT* pCounter);
BoundState GetBoundState(ID3D11DeviceContext* pContext);

} // namespace D3D11Control
