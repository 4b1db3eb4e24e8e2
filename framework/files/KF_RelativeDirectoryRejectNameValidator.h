#pragma once
// Rejects the directory names "." and "..", which every directory listing holds.

#include "framework/files/KF_NameValidator.h"

class KF_RelativeDirectoryRejectNameValidator : public virtual KF_NameValidator
{
public:
    bool IsDirectoryNameValid(KB_String sName) override;
};
