#include "framework/files/KF_FileManager.h"

#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_NameValidator.h"
#include "framework/files/KF_Repository.h"
#include "framework/files/KU_SaveFailure.h"

#include <cerrno>

KF_FileManager::KF_FileManager() : m_pNameValidator(new KF_NameValidator())
{
}

KF_FileManager::~KF_FileManager()
{
    m_gRepositories.DeleteAll();
    delete m_pNameValidator;
    m_pNameValidator = nullptr;
}

bool KF_FileManager::ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->ReadFile(sPath, pSize, ppData))
            return true;
    return false;
}

bool KF_FileManager::RemoveReference(const KB_String& sPath)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->RemoveReference(sPath))
            return true;
    return false;
}

bool KF_FileManager::AddReference(const KB_String& sPath)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->AddReference(sPath))
            return true;
    return false;
}

bool KF_FileManager::WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData)
{
    int iError = 0;
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
    {
        if (!m_gRepositories[i]->IsWritable())
            continue;
        errno = 0;
        if (m_gRepositories[i]->WriteFile(sPath, uiSize, pData))
            return true;
        if (iError == 0)
            iError = errno != 0 ? errno : EIO;
    }
    errno = iError != 0 ? iError : EROFS;
    return false;
}

bool KF_FileManager::SaveFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData)
{
    if (WriteFile(sPath, uiSize, pData))
        return true;
    KU_SaveFailure::Report(sPath, errno);
    return false;
}

bool KF_FileManager::RemoveFile(const KB_String& sPath)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->IsWritable() && m_gRepositories[i]->RemoveFile(sPath))
            return true;
    return false;
}

bool KF_FileManager::GetFileSize(const KB_String& sPath, std::uint64_t* pSize)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->GetFileSize(sPath, pSize))
            return true;
    *pSize = 0;
    return false;
}

bool KF_FileManager::GetFileTime(const KB_String& sPath, std::uint64_t* pTime)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->GetFileTime(sPath, pTime))
            return true;
    return false;
}

bool KF_FileManager::GetFileHash(const KB_String& sPath, std::uint64_t* pHash)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->GetFileHash(sPath, pHash))
            return true;
    *pHash = 0;
    return false;
}

bool KF_FileManager::FileExists(const KB_String& sPath)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->FileExists(sPath))
            return true;
    return false;
}

bool KF_FileManager::DirectoryExists(const KB_String& sPath)
{
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        if (m_gRepositories[i]->DirectoryExists(sPath))
            return true;
    return false;
}

bool KF_FileManager::FindFiles(KB_String sPattern, KB_GrowingArray<KB_String>& gOut)
{
    gOut.RemoveAll();
    sPattern = KU_FileUtilities::EnforceForwardSlashes(sPattern);
    const KB_String sDirectory = KU_FileUtilities::ExtractDirectory(sPattern);
    if (sDirectory.Find(KB_String("*")) != KB_String::NOT_FOUND ||
        sDirectory.Find(KB_String("?")) != KB_String::NOT_FOUND)
    {
        return false;
    }
    for (std::uint32_t i = 0; i < m_gRepositories.GetNumMembers(); ++i)
        m_gRepositories[i]->FindFiles(sPattern, gOut);
    return gOut.GetNumMembers() > 0;
}

bool KF_FileManager::AddDataRepository(const KB_String& sPath)
{
    KF_DataRepository* pRepository = new KF_DataRepository();
    if (!pRepository->LoadFromFile(sPath))
    {
        delete pRepository;
        return false;
    }
    AddRepository(pRepository);
    return true;
}

bool KF_FileManager::AddDirectoryRepository(const KB_String& sPath)
{
    AddRepository(new KF_DirectoryRepository(sPath));
    return true;
}

void KF_FileManager::AddRepository(KF_Repository* pRepository)
{
    if (pRepository != nullptr)
        m_gRepositories.Add(pRepository);
}

void KF_FileManager::SetNameValidator(KF_NameValidator* pValidator)
{
    if (pValidator == m_pNameValidator)
        return;
    delete m_pNameValidator;
    // The archive builder always needs a validator: null brings back the one that accepts all.
    m_pNameValidator = pValidator != nullptr ? pValidator : new KF_NameValidator();
}

void KF_FileManager::SetWorkingDirectory(const char* pDirectory)
{
    m_sWorkingDirectory = KB_String(pDirectory);
}
