#pragma once
// The production's choice of what goes into its data archive: effect sources ("fx") and effect
// project files ("fxp") stay out, curve ("int") and camera ("cam") files are stored compressed,
// and the directories ".", ".." and ".svn" are left out. Installed by the program entry in the
// file manager and handed to the archive packer; filled at construction, so any thread may ask.

#include "framework/files/KF_ExtensionRejectNameValidator.h"
#include "framework/files/KF_RelativeDirectoryRejectNameValidator.h"
#include "framework/files/KF_SubversionDirectoryRejectNameValidator.h"

class KV27_NameValidator : public KF_ExtensionRejectNameValidator,
                           public KF_SubversionDirectoryRejectNameValidator,
                           public KF_RelativeDirectoryRejectNameValidator
{
public:
    KV27_NameValidator();

    bool IsFileNameValid(KB_String sName) override;      // the extension validator's answer
    bool IsDirectoryNameValid(KB_String sName) override; // neither relative nor ".svn"
    bool IsFileCompressed(KB_String sName) override;     // the extension validator's answer
};
