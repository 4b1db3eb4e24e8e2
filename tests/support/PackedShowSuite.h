#pragma once
// A test fixture base for suites that play the packed show in-process: the show is packed once for
// the suite (see PackedShow::RunFolder) and removed after its last test. Test code only; the
// test's thread.

#include "tests/support/PackedShow.h"

#include <gtest/gtest.h>

#include <string>

class PackedShowSuite : public ::testing::Test
{
protected:
    // For the suite's SetUpTestSuite: packs the show (arguments as PackedShow::Pack) and fails the
    // suite when that fails.
    static void PackShow(const std::string& sAssets, const std::string& sKvfxc, const std::string& sKvpack);
    static void TearDownTestSuite();

    static PackedShow::RunFolder* s_pShow; // null outside the suite
};
