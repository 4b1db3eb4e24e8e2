#include "platform/fmod/FmodControl.h"

#include "platform/fmod/FmodObjects.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <set>

namespace fmod_internal
{

std::atomic<int> g_iLiveSystems{0};
std::atomic<int> g_iLiveSounds{0};
std::atomic<int> g_iLiveChannels{0};
std::atomic<int> g_iLeftAtSystemRelease{0};

namespace
{

constexpr std::size_t MAX_LOGGED_CALLS = 10000;

std::vector<FmodControl::Driver> DefaultDrivers()
{
    FmodControl::Driver driver;
    driver.name = "Stand-in audio device";
    return {driver};
}

// A call's name and its formatted arguments (at most 255 characters), "System::init(1024, 0)".
struct LoggedCall
{
    char acText[320];
};

struct ControlState
{
    std::mutex mutex;
    std::vector<FmodControl::Driver> drivers = DefaultDrivers();
    unsigned int version = FMOD_VERSION;
    std::map<std::string, std::deque<FMOD_RESULT>> failures;
    std::map<std::string, int> callCounts;
    // The latest calls as a ring of fixed-size texts, made on the first call and kept by Reset:
    // logging a call allocates nothing. Once full, a call overwrites the oldest (at callLogStart).
    std::unique_ptr<LoggedCall[]> callLog;
    std::size_t callLogStart = 0;
    std::size_t callLogCount = 0;
    std::string callName; // a kept buffer for looking the call's name up
    bool manualClock = false;
    double manualSeconds = 0.0;
    std::map<int, std::vector<float>> spectra;
};

ControlState& Control()
{
    static ControlState state;
    return state;
}

struct Registry
{
    std::mutex mutex;
    std::set<SystemImpl*> systems;
};

Registry& Systems()
{
    static Registry registry;
    return registry;
}

SystemImpl* FindSystem(const FMOD::System* pSystem)
{
    for (SystemImpl* p : Systems().systems)
        if (static_cast<const FMOD::System*>(p) == pSystem)
            return p;
    return nullptr;
}

} // namespace

FMOD_RESULT EnterCall(const char* call, const char* format, ...)
{
    char args[256];
    va_list list;
    va_start(list, format);
    std::vsnprintf(args, sizeof args, format, list);
    va_end(list);

    ControlState& control = Control();
    std::lock_guard<std::mutex> lock(control.mutex);
    if (control.callLog == nullptr)
        control.callLog.reset(new LoggedCall[MAX_LOGGED_CALLS]);
    std::size_t uiSlot = control.callLogStart;
    if (control.callLogCount < MAX_LOGGED_CALLS)
        uiSlot = (control.callLogStart + control.callLogCount++) % MAX_LOGGED_CALLS;
    else
        control.callLogStart = (control.callLogStart + 1) % MAX_LOGGED_CALLS;
    std::snprintf(control.callLog[uiSlot].acText, sizeof(LoggedCall::acText), "%s(%s)", call, args);
    control.callName.assign(call);
    ++control.callCounts[control.callName];
    auto it = control.failures.find(control.callName);
    if (it == control.failures.end() || it->second.empty())
        return FMOD_OK;
    const FMOD_RESULT result = it->second.front();
    it->second.pop_front();
    return result;
}

FMOD_RESULT EnterCall(const char* call)
{
    return EnterCall(call, "%s", "");
}

std::vector<FmodControl::Driver> GetScriptedDrivers()
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    return Control().drivers;
}

unsigned int GetScriptedVersion()
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    return Control().version;
}

double GetClockSeconds()
{
    {
        std::lock_guard<std::mutex> lock(Control().mutex);
        if (Control().manualClock)
            return Control().manualSeconds;
    }
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count();
}

bool GetInjectedSpectrum(int channelOffset, int numValues, float* out)
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    auto it = Control().spectra.find(channelOffset);
    if (it == Control().spectra.end())
        return false;
    const std::vector<float>& values = it->second;
    for (int i = 0; i < numValues; ++i)
        out[i] = static_cast<std::size_t>(i) < values.size() ? values[static_cast<std::size_t>(i)] : 0.0f;
    return true;
}

void RegisterSystem(SystemImpl* pSystem)
{
    std::lock_guard<std::mutex> lock(Systems().mutex);
    Systems().systems.insert(pSystem);
}

void UnregisterSystem(SystemImpl* pSystem)
{
    std::lock_guard<std::mutex> lock(Systems().mutex);
    Systems().systems.erase(pSystem);
}

} // namespace fmod_internal

namespace FmodControl
{

using namespace fmod_internal;

void Reset()
{
    ControlState& control = Control();
    std::lock_guard<std::mutex> lock(control.mutex);
    control.drivers = DefaultDrivers();
    control.version = FMOD_VERSION;
    control.failures.clear();
    control.callCounts.clear();
    control.callLogStart = 0;
    control.callLogCount = 0;
    control.manualClock = false;
    control.manualSeconds = 0.0;
    control.spectra.clear();
    g_iLeftAtSystemRelease = 0;
}

void SetDrivers(const std::vector<Driver>& drivers)
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    Control().drivers = drivers;
}

void SetVersion(unsigned int version)
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    Control().version = version;
}

void FailNext(const std::string& call, FMOD_RESULT result)
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    Control().failures[call].push_back(result);
}

std::vector<std::string> GetCallLog()
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    const ControlState& control = Control();
    std::vector<std::string> log;
    log.reserve(control.callLogCount);
    for (std::size_t i = 0; i < control.callLogCount; ++i)
        log.emplace_back(control.callLog[(control.callLogStart + i) % MAX_LOGGED_CALLS].acText);
    return log;
}

void ClearCallLog()
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    Control().callLogStart = 0;
    Control().callLogCount = 0;
    Control().callCounts.clear();
}

int GetCallCount(const std::string& call)
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    auto it = Control().callCounts.find(call);
    return it == Control().callCounts.end() ? 0 : it->second;
}

void UseManualClock()
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    Control().manualClock = true;
}

void AdvanceClock(double seconds)
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    Control().manualSeconds += seconds;
}

void SetSpectrum(int channelOffset, const std::vector<float>& values)
{
    std::lock_guard<std::mutex> lock(Control().mutex);
    if (values.empty())
        Control().spectra.erase(channelOffset);
    else
        Control().spectra[channelOffset] = values;
}

bool GetSystemState(const FMOD::System* system, SystemState* state)
{
    std::lock_guard<std::mutex> registryLock(Systems().mutex);
    SystemImpl* pSystem = FindSystem(system);
    if (pSystem == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
    *state = pSystem->m_State;
    state->soundCount = static_cast<int>(pSystem->m_vSounds.size());
    state->activeChannelCount = 0;
    for (const auto& pChannel : pSystem->m_vChannels)
        state->activeChannelCount += pChannel->IsActive() ? 1 : 0;
    state->channelRecordCount = static_cast<int>(pSystem->m_vChannels.size());
    return true;
}

bool GetChannelState(const FMOD::Channel* channel, ChannelState* state)
{
    std::lock_guard<std::mutex> registryLock(Systems().mutex);
    for (SystemImpl* pSystem : Systems().systems)
    {
        std::lock_guard<std::mutex> lock(pSystem->m_Mutex);
        for (const auto& pChannel : pSystem->m_vChannels)
        {
            if (static_cast<const FMOD::Channel*>(pChannel->m_pHandle) != channel)
                continue;
            if (!pChannel->IsActive())
                return false;
            *state = pChannel->m_State;
            state->positionMs = static_cast<unsigned int>(pChannel->m_iPositionNs / 1000000);
            return true;
        }
    }
    return false;
}

int GetLiveSystemCount()
{
    return g_iLiveSystems;
}
int GetLiveSoundCount()
{
    return g_iLiveSounds;
}
int GetLiveChannelCount()
{
    return g_iLiveChannels;
}
int GetObjectsLeftAtSystemRelease()
{
    return g_iLeftAtSystemRelease;
}

} // namespace FmodControl
