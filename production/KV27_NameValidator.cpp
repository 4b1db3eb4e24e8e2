#include "production/KV27_NameValidator.h"

KV27_NameValidator::KV27_NameValidator()
{
    AddRejectedExtension("fxp");
    AddRejectedExtension("fx");
    AddCompressedExtension("int");
    AddCompressedExtension("cam");
}

bool KV27_NameValidator::IsFileNameValid(KB_String sName)
{
    return KF_ExtensionRejectNameValidator::IsFileNameValid(sName);
}

bool KV27_NameValidator::IsDirectoryNameValid(KB_String sName)
{
    return KF_RelativeDirectoryRejectNameValidator::IsDirectoryNameValid(sName) &&
           KF_SubversionDirectoryRejectNameValidator::IsDirectoryNameValid(sName);
}

bool KV27_NameValidator::IsFileCompressed(KB_String sName)
{
    return KF_ExtensionRejectNameValidator::IsFileCompressed(sName);
}
