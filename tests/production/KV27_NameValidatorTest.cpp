#include "production/KV27_NameValidator.h"

#include <gtest/gtest.h>

// Asked through the one base the file manager and the archive builder know.
TEST(KV27_NameValidator, KeepsEffectSourcesOutAndCompressesCurvesAndCameras)
{
    KV27_NameValidator production;
    KF_NameValidator* pValidator = &production;
    for (const char* pName : {"Water.fx", "water.FX", "Scene.fxp", "a.b.Fxp"})
        EXPECT_FALSE(pValidator->IsFileNameValid(pName)) << pName;
    for (const char* pName : {"Water.fx.bak", "Water.fxo", "fx", "Model.dae", "Camera.cam", "Light.INT"})
        EXPECT_TRUE(pValidator->IsFileNameValid(pName)) << pName;
    for (const char* pName : {"Light.int", "Path.INT", "Intro.cam", "x.Cam"})
        EXPECT_TRUE(pValidator->IsFileCompressed(pName)) << pName;
    for (const char* pName : {"Water.fx", "int", "Intro.cam.txt", "sceneconfig.xml"})
        EXPECT_FALSE(pValidator->IsFileCompressed(pName)) << pName;
}

TEST(KV27_NameValidator, RejectsRelativeAndSubversionDirectoriesOnly)
{
    KV27_NameValidator production;
    KF_NameValidator* pValidator = &production;
    for (const char* pName : {".", "..", ".svn"})
        EXPECT_FALSE(pValidator->IsDirectoryNameValid(pName)) << pName;
    for (const char* pName : {".SVN", "...", "svn", "Assets", "Shader.fx"})
        EXPECT_TRUE(pValidator->IsDirectoryNameValid(pName)) << pName;
}
