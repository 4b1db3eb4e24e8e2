#pragma once
// The stand-ins set up as the tests and benchmarks that play the whole program in-process need
// them: reset between runs, a desktop of a chosen size, and clocks that move only when the
// present hook moves them. Test code only; called on the test's thread.

#include "platform/d3d11/D3D11Control.h"

#include <vector>

class KR_SceneManager;

namespace ShowStandIns
{

// Resets the C runtime, window, system, device, sound and forms stand-ins and registers the
// device's modules again. The effects stand-in is left as it is: its Reset switches the snapshots
// of every Apply on, which only some tests read.
void Reset();

// The desktop, the primary screen and the one adapter's one output at iWidth x iHeight; gModes,
// when not empty, replaces the output's display modes.
void SetDesktop(int iWidth, int iHeight, const std::vector<DXGI_MODE_DESC>& gModes = {});

// Sleeps skipped, the C runtime's clock at zero and the sound's clock moved by hand only.
void UseManualClocks();

// For the present hook: moves both clocks on by lStepMs. The scene manager once the show has
// loaded (its playback frames), else null (start-up, loading, shutdown).
KR_SceneManager* AdvanceClocks(long lStepMs);

} // namespace ShowStandIns
