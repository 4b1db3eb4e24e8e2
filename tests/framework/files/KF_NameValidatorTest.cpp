#include "framework/files/KF_NameValidator.h"
#include "framework/files/KF_ExtensionRejectNameValidator.h"
#include "framework/files/KF_RelativeDirectoryRejectNameValidator.h"
#include "framework/files/KF_SubversionDirectoryRejectNameValidator.h"

#include <gtest/gtest.h>

namespace
{

// The shape a production validator takes: all three kinds combined, still one KF_NameValidator.
class CombinedValidator : public KF_ExtensionRejectNameValidator,
                          public KF_SubversionDirectoryRejectNameValidator,
                          public KF_RelativeDirectoryRejectNameValidator
{
public:
    bool IsFileNameValid(KB_String sName) override
    {
        return KF_ExtensionRejectNameValidator::IsFileNameValid(sName);
    }
    bool IsFileCompressed(KB_String sName) override
    {
        return KF_ExtensionRejectNameValidator::IsFileCompressed(sName);
    }
    bool IsDirectoryNameValid(KB_String sName) override
    {
        return KF_SubversionDirectoryRejectNameValidator::IsDirectoryNameValid(sName) &&
               KF_RelativeDirectoryRejectNameValidator::IsDirectoryNameValid(sName);
    }
};

} // namespace

TEST(KF_NameValidator, BaseAcceptsEverythingAndCompressesNothing)
{
    KF_NameValidator validator;
    for (const char* pName : {"", ".", "..", ".svn", "a.fx", "x"})
    {
        EXPECT_TRUE(validator.IsFileNameValid(pName)) << pName;
        EXPECT_TRUE(validator.IsDirectoryNameValid(pName)) << pName;
        EXPECT_FALSE(validator.IsFileCompressed(pName)) << pName;
    }
}

TEST(KF_NameValidator, DirectoryRejectersMatchExactNamesOnly)
{
    KF_SubversionDirectoryRejectNameValidator subversion;
    EXPECT_FALSE(subversion.IsDirectoryNameValid(".svn"));
    EXPECT_TRUE(subversion.IsDirectoryNameValid(".SVN"));
    EXPECT_TRUE(subversion.IsDirectoryNameValid(".svn2"));
    EXPECT_TRUE(subversion.IsDirectoryNameValid("."));
    EXPECT_TRUE(subversion.IsFileNameValid(".svn"));

    KF_RelativeDirectoryRejectNameValidator relative;
    EXPECT_FALSE(relative.IsDirectoryNameValid("."));
    EXPECT_FALSE(relative.IsDirectoryNameValid(".."));
    EXPECT_TRUE(relative.IsDirectoryNameValid("..."));
    EXPECT_TRUE(relative.IsDirectoryNameValid(".svn"));
}

TEST(KF_NameValidator, CombinedValidatorIsOneBase)
{
    CombinedValidator combined;
    combined.AddRejectedExtension("FX");
    KF_NameValidator* pBase = &combined;
    EXPECT_FALSE(pBase->IsDirectoryNameValid(".svn"));
    EXPECT_FALSE(pBase->IsDirectoryNameValid(".."));
    EXPECT_TRUE(pBase->IsDirectoryNameValid("Shader"));
    EXPECT_FALSE(pBase->IsFileNameValid("a.fx"));
    EXPECT_TRUE(pBase->IsFileNameValid("a.fxo"));
}
