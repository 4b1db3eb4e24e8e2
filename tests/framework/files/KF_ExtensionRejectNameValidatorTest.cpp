#include "framework/files/KF_ExtensionRejectNameValidator.h"

#include <gtest/gtest.h>

TEST(KF_ExtensionRejectNameValidator, RejectsByLowerCasedLastExtension)
{
    KF_ExtensionRejectNameValidator validator;
    validator.AddRejectedExtension("DAE");
    EXPECT_FALSE(validator.IsFileNameValid("a.dae"));
    EXPECT_FALSE(validator.IsFileNameValid("a.Dae"));
    EXPECT_FALSE(validator.IsFileNameValid("b.DAE"));
    EXPECT_TRUE(validator.IsFileNameValid("a.dae.bak"));
    EXPECT_TRUE(validator.IsFileNameValid("dae"));
    EXPECT_TRUE(validator.IsFileNameValid("a.daex"));
    EXPECT_TRUE(validator.IsDirectoryNameValid("x.dae"));
    EXPECT_FALSE(validator.IsFileCompressed("a.dae"));
}

TEST(KF_ExtensionRejectNameValidator, EmptyExtensionOnlyWhenAdded)
{
    KF_ExtensionRejectNameValidator validator;
    EXPECT_TRUE(validator.IsFileNameValid("Makefile"));
    validator.AddRejectedExtension("");
    EXPECT_FALSE(validator.IsFileNameValid("Makefile"));
    EXPECT_TRUE(validator.IsFileNameValid("a.txt"));
}

TEST(KF_ExtensionRejectNameValidator, AddKeepsOneEntryAndRemoveKeepsTheOthers)
{
    KF_ExtensionRejectNameValidator validator;
    validator.AddCompressedExtension("int");
    validator.AddCompressedExtension("INT");
    validator.AddCompressedExtension("cam");
    EXPECT_TRUE(validator.IsFileCompressed("a.Int"));
    EXPECT_TRUE(validator.IsFileCompressed("b.cam"));
    EXPECT_TRUE(validator.IsFileNameValid("a.int"));

    validator.RemoveCompressedExtension("Int"); // one removal takes the only entry
    EXPECT_FALSE(validator.IsFileCompressed("a.int"));
    EXPECT_TRUE(validator.IsFileCompressed("b.cam"));
    validator.RemoveCompressedExtension("png"); // absent: nothing happens
    EXPECT_TRUE(validator.IsFileCompressed("b.cam"));

    validator.AddRejectedExtension("fxp");
    validator.AddRejectedExtension("fx");
    validator.RemoveRejectedExtension("FXP");
    EXPECT_TRUE(validator.IsFileNameValid("a.fxp"));
    EXPECT_FALSE(validator.IsFileNameValid("a.fx"));
}
