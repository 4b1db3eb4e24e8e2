#pragma once
// All five bridge fakes over one call log, for tests of the application and of whatever reaches
// the engine through more than one bridge: the order of calls across subsystems is read from
// m_gLog, and each fake's scripted answers and read-backs are reached by their names. Installs
// every bridge on construction and removes them on destruction. A test that needs one subsystem
// only uses that fake (FakeSceneBridge, FakeGraphicsBridge, FakeAudioBridge, FakeToolsBridge,
// FakeCurveBridge) alone.

#include "tests/support/FakeAudioBridge.h"
#include "tests/support/FakeCurveBridge.h"
#include "tests/support/FakeGraphicsBridge.h"
#include "tests/support/FakeSceneBridge.h"
#include "tests/support/FakeToolsBridge.h"

class FakeSubsystemBridge : public FakeSceneBridge,
                            public FakeGraphicsBridge,
                            public FakeAudioBridge,
                            public FakeToolsBridge,
                            public FakeCurveBridge
{
};
