#pragma once
// Keeps version-control folders out of an archive: rejects the directory name ".svn" exactly
// (case-sensitive, so ".SVN" passes).

#include "framework/files/KF_NameValidator.h"

class KF_SubversionDirectoryRejectNameValidator : public virtual KF_NameValidator
{
public:
    bool IsDirectoryNameValid(KB_String sName) override;
};
