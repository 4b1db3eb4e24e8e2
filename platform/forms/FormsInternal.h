#pragma once
// Internal to the forms stand-in: what its source files share beyond the public headers.

#include "platform/forms/FormsForm.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace forms::forms_internal
{
// False once a test took control (FormsControl::Reset).
bool IsRealRun();
void EndRealRun();

// Scheduler (FormsTimer.cpp).
void RunDueTimers(); // real clock: the timers due now
void ResetScheduler(bool manual);
void AdvanceManualTime(std::int64_t milliseconds);
std::int64_t GetSchedulerTime();
int GetArmedTimerCount();
void ResetSleep();
std::uint64_t GetSleptMilliseconds();

// Deferred disposal and adopted forms (FormsForm.cpp).
void QueueDisposal(Form* pForm);
void CancelDisposal(Form* pForm);
void ResetForms();
ModalRunner GetModalRunner();
void SetModalRunner(ModalRunner runner);

// Registry (FormsRegistry.cpp).
void UseMemoryRegistry();
void UseRegistryFile(const std::string& path);
bool FailRegistryNext(const std::string& call, int times);
std::string DefaultRegistryPath();

// Shell and culture (FormsSystem.cpp, FormsCulture.cpp).
void ResetShell();
std::vector<std::string> GetShellLog();
void SetShellHook(std::function<bool(const std::string&)> hook);
void SetCurrentCulture(const std::string& name);
} // namespace forms::forms_internal
