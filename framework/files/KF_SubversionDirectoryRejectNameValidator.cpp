#include "framework/files/KF_SubversionDirectoryRejectNameValidator.h"

bool KF_SubversionDirectoryRejectNameValidator::IsDirectoryNameValid(KB_String sName)
{
    return sName != KB_String(".svn");
}
