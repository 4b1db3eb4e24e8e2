#pragma once
// Judges files by their extension: a list of rejected extensions keeps files out of an archive,
// a list of compressed extensions marks the files stored compressed. Extensions are kept in lower
// case without the dot and compared with the lower-cased extension of a name (the text after its
// last '.', empty when it has none). Directory names are never rejected here. Filled on the main
// thread before any archive is built.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"
#include "framework/files/KF_NameValidator.h"

class KF_ExtensionRejectNameValidator : public virtual KF_NameValidator
{
public:
    bool IsFileNameValid(KB_String sName) override;  // false when the extension is rejected
    bool IsFileCompressed(KB_String sName) override; // true when the extension is compressed

    // Add: appended unless already listed. Remove: the first equal entry goes, the others keep
    // their order; nothing when absent. Any letter case is accepted.
    virtual void AddRejectedExtension(KB_String sExtension);
    virtual void RemoveRejectedExtension(KB_String sExtension);
    virtual void AddCompressedExtension(KB_String sExtension);
    virtual void RemoveCompressedExtension(KB_String sExtension);

private:
    KB_GrowingArray<KB_String> m_gRejectedExtensions;   // lower case, no dot
    KB_GrowingArray<KB_String> m_gCompressedExtensions; // lower case, no dot
};
