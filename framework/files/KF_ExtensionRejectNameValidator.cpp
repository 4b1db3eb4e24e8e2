#include "framework/files/KF_ExtensionRejectNameValidator.h"

#include "framework/core/KU_FileUtilities.h"

namespace
{

// Index of the entry equal to sExtension, or -1.
int FindExtension(const KB_GrowingArray<KB_String>& gList, const KB_String& sExtension)
{
    for (std::uint32_t i = 0; i < gList.GetNumMembers(); ++i)
        if (gList[i] == sExtension)
            return static_cast<int>(i);
    return -1;
}

void AddExtension(KB_GrowingArray<KB_String>& gList, const KB_String& sExtension)
{
    const KB_String sLower = sExtension.ToLower();
    if (FindExtension(gList, sLower) < 0)
        gList.Add(sLower);
}

void RemoveExtension(KB_GrowingArray<KB_String>& gList, const KB_String& sExtension)
{
    const int iIndex = FindExtension(gList, sExtension.ToLower());
    if (iIndex >= 0)
        gList.Remove(static_cast<std::uint32_t>(iIndex));
}

KB_String LowerExtensionOf(const KB_String& sName)
{
    return KU_FileUtilities::ExtractExtension(sName).ToLower();
}

} // namespace

bool KF_ExtensionRejectNameValidator::IsFileNameValid(KB_String sName)
{
    return FindExtension(m_gRejectedExtensions, LowerExtensionOf(sName)) < 0;
}

bool KF_ExtensionRejectNameValidator::IsFileCompressed(KB_String sName)
{
    return FindExtension(m_gCompressedExtensions, LowerExtensionOf(sName)) >= 0;
}

void KF_ExtensionRejectNameValidator::AddRejectedExtension(KB_String sExtension)
{
    AddExtension(m_gRejectedExtensions, sExtension);
}

void KF_ExtensionRejectNameValidator::RemoveRejectedExtension(KB_String sExtension)
{
    RemoveExtension(m_gRejectedExtensions, sExtension);
}

void KF_ExtensionRejectNameValidator::AddCompressedExtension(KB_String sExtension)
{
    AddExtension(m_gCompressedExtensions, sExtension);
}

void KF_ExtensionRejectNameValidator::RemoveCompressedExtension(KB_String sExtension)
{
    RemoveExtension(m_gCompressedExtensions, sExtension);
}
