#include "tests/support/PackedShowSuite.h"

PackedShow::RunFolder* PackedShowSuite::s_pShow = nullptr;

void PackedShowSuite::PackShow(const std::string& sAssets, const std::string& sKvfxc,
                               const std::string& sKvpack)
{
    delete s_pShow;
    s_pShow = new PackedShow::RunFolder(sAssets, sKvfxc, sKvpack);
    ASSERT_EQ(s_pShow->GetFault(), "");
}

void PackedShowSuite::TearDownTestSuite()
{
    delete s_pShow;
    s_pShow = nullptr;
}
