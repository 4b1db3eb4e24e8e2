#include "framework/files/KF_RelativeDirectoryRejectNameValidator.h"

bool KF_RelativeDirectoryRejectNameValidator::IsDirectoryNameValid(KB_String sName)
{
    return sName != KB_String(".") && sName != KB_String("..");
}
