#pragma once
// Shared fixture of the FMOD stand-in tests: a reset control with the manual clock, one system,
// and a check that nothing outlives the test.

#include "platform/fmod/FmodControl.h"
#include "platform/fmod/fmod.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

class FmodTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FmodControl::Reset();
        FmodControl::UseManualClock();
    }

    void TearDown() override
    {
        EXPECT_EQ(m_pSystem != nullptr ? m_pSystem->release() : FMOD_OK, FMOD_OK);
        EXPECT_EQ(FmodControl::GetLiveSystemCount(), 0);
        EXPECT_EQ(FmodControl::GetLiveSoundCount(), 0);
        EXPECT_EQ(FmodControl::GetLiveChannelCount(), 0);
        FmodControl::Reset();
    }

    FMOD::System* InitSystem(int maxChannels = 32)
    {
        EXPECT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
        EXPECT_EQ(m_pSystem->init(maxChannels, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
        return m_pSystem;
    }

    FMOD_RESULT CreateSound(const std::vector<std::uint8_t>& data, FMOD_MODE mode, FMOD::Sound** sound,
                            FMOD_SOUND_TYPE suggested = FMOD_SOUND_TYPE_UNKNOWN)
    {
        FMOD_CREATESOUNDEXINFO exinfo = {};
        exinfo.cbsize = sizeof exinfo;
        exinfo.length = static_cast<unsigned int>(data.size());
        exinfo.suggestedsoundtype = suggested;
        return m_pSystem->createSound(reinterpret_cast<const char*>(data.data()), mode | FMOD_OPENMEMORY,
                                      &exinfo, sound);
    }

    FMOD::System* m_pSystem = nullptr; // released by TearDown
};
