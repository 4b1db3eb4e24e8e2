#include "platform/forms/FormsSystem.h"

#include "platform/forms/FormsInternal.h"
#include "platform/win32/Windows.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <vector>

namespace forms
{

namespace
{
std::atomic<bool> s_bRealRun{true};

// The most paths the shell log keeps (the oldest are dropped).
constexpr std::size_t MAX_SHELL_LOG = 1024;

struct ShellState
{
    std::mutex mutex;
    std::vector<std::string> log;
    std::function<bool(const std::string&)> hook;
};

ShellState& Shell()
{
    static ShellState* s_pState = new ShellState;
    return *s_pState;
}
} // namespace

namespace forms_internal
{
bool IsRealRun()
{
    return s_bRealRun.load();
}

void EndRealRun()
{
    s_bRealRun = false;
}

void ResetShell()
{
    ShellState& state = Shell();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.log.clear();
    state.hook = nullptr;
}

std::vector<std::string> GetShellLog()
{
    ShellState& state = Shell();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.log;
}

void SetShellHook(std::function<bool(const std::string&)> hook)
{
    ShellState& state = Shell();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.hook = std::move(hook);
}
} // namespace forms_internal

Rectangle Screen::PrimaryScreenBounds()
{
    RECT desktop = {0, 0, 0, 0};
    if (!GetWindowRect(GetDesktopWindow(), &desktop))
        return {};
    return {int(desktop.left), int(desktop.top), int(desktop.right - desktop.left),
            int(desktop.bottom - desktop.top)};
}

bool Process::Start(const std::string& path)
{
    ShellState& state = Shell();
    std::function<bool(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.log.size() >= MAX_SHELL_LOG)
            state.log.erase(state.log.begin());
        state.log.push_back(path);
        hook = state.hook;
    }
    if (hook)
        return hook(path);
    if (forms_internal::IsRealRun())
        std::fprintf(stderr, "[shell] open %s\n", path.c_str());
    return true;
}

} // namespace forms
