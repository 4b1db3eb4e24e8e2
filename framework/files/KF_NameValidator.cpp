#include "framework/files/KF_NameValidator.h"

bool KF_NameValidator::IsFileNameValid(KB_String /*sName*/)
{
    return true;
}

bool KF_NameValidator::IsDirectoryNameValid(KB_String /*sName*/)
{
    return true;
}

bool KF_NameValidator::IsFileCompressed(KB_String /*sName*/)
{
    return false;
}
