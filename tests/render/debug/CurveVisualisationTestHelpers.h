#pragma once
// Shared by the curve visualisations' tests: rails of two keys, and fixtures that lend the engine
// a dispatcher (the visualisations register on message type 5), without and with the drawing
// set-up of the developer shapes.

#include "framework/app/KE_Dispatcher.h"
#include "platform/directxmath/DirectXMath.h"
#include "tests/render/debug/DebugDrawingTestHelpers.h"
#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

namespace curvevisualisationtest
{

// Key a at time 0 and key b at fEnd, which becomes the curve's end time.
inline void SetTwoKeys(KB_LinearInterpolation* pCurve, const DirectX::XMVECTOR& a, const DirectX::XMVECTOR& b,
                       double fEnd)
{
    pCurve->InsertVertex(a, 0.0);
    pCurve->InsertVertex(b, fEnd);
    pCurve->SetEndTime(fEnd);
}

class DispatcherTest : public ::testing::Test
{
protected:
    void SetUp() override { m_Engine->SetDispatcher(&m_Dispatcher); }

    TestEngine m_Engine;
    KE_Dispatcher m_Dispatcher;
};

class DispatcherDrawTest : public debugdrawingtest::DebugDrawingTest
{
protected:
    void SetUp() override
    {
        DebugDrawingTest::SetUp();
        m_engine->SetDispatcher(&m_Dispatcher);
    }
    void TearDown() override
    {
        m_engine->SetDispatcher(nullptr);
        DebugDrawingTest::TearDown();
    }

    KE_Dispatcher m_Dispatcher;
};

} // namespace curvevisualisationtest
