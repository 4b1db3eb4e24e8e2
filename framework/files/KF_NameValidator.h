#pragma once
// Decides, for the archive builder, which files and directories of a source tree belong in an
// archive and which files are stored compressed. This base accepts everything and compresses
// nothing. Owned by the file manager; stateless here, so any thread may ask.
//
// The derived validators inherit it virtually, so a production validator may combine several of
// them and still be one KF_NameValidator.

#include "framework/core/KB_String.h"

class KF_NameValidator
{
public:
    virtual ~KF_NameValidator() = default;

    virtual bool IsFileNameValid(KB_String sName);      // true
    virtual bool IsDirectoryNameValid(KB_String sName); // true
    virtual bool IsFileCompressed(KB_String sName);     // false
};
