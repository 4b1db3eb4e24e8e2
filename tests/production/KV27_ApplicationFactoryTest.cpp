#include "production/KV27_ApplicationFactory.h"

#include <gtest/gtest.h>

TEST(KV27_ApplicationFactory, ProductionPathsAndBanners)
{
    KV27_ApplicationFactory factory;
    EXPECT_TRUE(factory.GetMaterialFilePath() == KB_String("Assets/Materials/KV27_Materials.xml"));
    EXPECT_TRUE(factory.GetAudioEntityDirectory() == KB_String("Assets/Entities/Audio/"));
    EXPECT_TRUE(factory.UseSynchronizedTime());
    EXPECT_NE(factory.GetAudioContextFactory(), nullptr);
    EXPECT_EQ(factory.GetAudioContextFactory(), factory.GetAudioContextFactory());

    // Fresh, index-aligned lists on every call.
    for (int i = 0; i < 2; ++i)
    {
        KB_GrowingArray<KB_String> gPaths = factory.GetLauncherBannerPaths();
        KB_GrowingArray<int> gTimes = factory.GetLauncherBannerTimes();
        ASSERT_EQ(gPaths.GetNumMembers(), 2u);
        ASSERT_EQ(gTimes.GetNumMembers(), 2u);
        EXPECT_TRUE(gPaths[0] == KB_String("Assets/Textures/Launcher/KV27_Banner_00.png"));
        EXPECT_TRUE(gPaths[1] == KB_String("Assets/Textures/Launcher/KV27_Banner_01.png"));
        EXPECT_EQ(gTimes[0], 3000);
        EXPECT_EQ(gTimes[1], 3000);
    }
}
