#include "framework/files/KF_DataRepository.h"

#include "framework/core/KB_ByteCursor.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/core/KU_StringUtilities.h"
#include "framework/core/KU_TemporaryFiles.h"
#include "framework/files/KF_DataRepositoryNode.h"
#include "framework/files/KF_NameValidator.h"
#include "framework/files/KF_Zipper.h"
#include "platform/win32/Windows.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr std::uint8_t ARCHIVE_MAGIC[4] = {'K', 'V', 'D', 'R'};
constexpr std::uint16_t FLAG_DIRECTORY = 0x1;
constexpr std::uint16_t FLAG_COMPRESSED = 0x2;
// Uncompressed payloads are copied from their source files in pieces of at most this size.
constexpr std::uint64_t COPY_PIECE_SIZE = 0x1400000;

// Reads exactly uiSize bytes at uiOffset of an open file, leaving no file position behind;
// false on an error or when the file ends first.
bool ReadAt(int iFile, void* pData, std::uint64_t uiSize, std::uint64_t uiOffset)
{
    auto* pTarget = static_cast<std::uint8_t*>(pData);
    while (uiSize > 0)
    {
        if (uiOffset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
            return false;
        const std::size_t uiPiece =
            static_cast<std::size_t>(uiSize < COPY_PIECE_SIZE ? uiSize : COPY_PIECE_SIZE);
        const ssize_t iRead = pread(iFile, pTarget, uiPiece, static_cast<off_t>(uiOffset));
        if (iRead < 0 && errno == EINTR)
            continue;
        if (iRead <= 0)
            return false;
        pTarget += iRead;
        uiSize -= static_cast<std::uint64_t>(iRead);
        uiOffset += static_cast<std::uint64_t>(iRead);
    }
    return true;
}

enum class EntryKind
{
    Skip,
    File,
    Directory
};

bool SeekTo(std::FILE* pFile, std::uint64_t uiOffset)
{
    if (uiOffset > static_cast<std::uint64_t>(LONG_MAX))
        return false;
    std::clearerr(pFile);
    return std::fseek(pFile, static_cast<long>(uiOffset), SEEK_SET) == 0;
}

bool GetSizeOfOpenFile(std::FILE* pFile, std::uint64_t* pSize)
{
    if (std::fseek(pFile, 0, SEEK_END) != 0)
        return false;
    const long iSize = std::ftell(pFile);
    if (iSize < 0)
        return false;
    *pSize = static_cast<std::uint64_t>(iSize);
    return true;
}

bool ReadExactly(std::FILE* pFile, void* pData, std::uint64_t uiSize)
{
    auto* pTarget = static_cast<std::uint8_t*>(pData);
    while (uiSize > 0)
    {
        const std::size_t uiPiece =
            static_cast<std::size_t>(uiSize < COPY_PIECE_SIZE ? uiSize : COPY_PIECE_SIZE);
        if (std::fread(pTarget, 1, uiPiece, pFile) != uiPiece)
            return false;
        pTarget += uiPiece;
        uiSize -= uiPiece;
    }
    return true;
}

bool WriteExactly(std::FILE* pFile, const void* pData, std::uint64_t uiSize)
{
    const auto* pSource = static_cast<const std::uint8_t*>(pData);
    while (uiSize > 0)
    {
        const std::size_t uiPiece =
            static_cast<std::size_t>(uiSize < COPY_PIECE_SIZE ? uiSize : COPY_PIECE_SIZE);
        if (std::fwrite(pSource, 1, uiPiece, pFile) != uiPiece)
            return false;
        pSource += uiPiece;
        uiSize -= uiPiece;
    }
    return true;
}

// Whether [offset, offset + size) lies inside a file of fileSize bytes (overflow-safe).
bool IsWithinFile(std::uint64_t uiOffset, std::uint64_t uiSize, std::uint64_t uiFileSize)
{
    return uiOffset <= uiFileSize && uiSize <= uiFileSize - uiOffset;
}

// The path with every link resolved; empty when it does not exist or cannot be resolved.
KB_String ResolvePath(const KB_String& sPath)
{
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(sPath.GetBuffer(), error);
    if (error)
        return KB_String();
    return KB_String(resolved.c_str());
}

// Whether the resolved path sPath is sRoot (resolved, no trailing '/') or lies below it.
bool IsInsideTree(const KB_String& sPath, const KB_String& sRoot)
{
    if (sRoot == KB_String("/"))
        return true;
    if (!sPath.StartsWith(sRoot))
        return false;
    return sPath.GetLength() == sRoot.GetLength() || sPath[sRoot.GetLength()] == '/';
}

// What the directory entry at sSourceName really is, links followed only where they stay inside
// the tree: gBuildPath holds the resolved folders being scanned, the tree's root first.
EntryKind ClassifyEntry(const KB_String& sSourceName, const KB_GrowingArray<KB_String>& gBuildPath)
{
    std::error_code error;
    const std::filesystem::file_status linkStatus =
        std::filesystem::symlink_status(sSourceName.GetBuffer(), error);
    if (error)
        return EntryKind::Skip;
    std::filesystem::file_status status = linkStatus;
    if (std::filesystem::is_symlink(linkStatus))
    {
        const KB_String sTarget = ResolvePath(sSourceName);
        status = std::filesystem::status(sSourceName.GetBuffer(), error);
        if (error || sTarget.GetLength() == 0 || !IsInsideTree(sTarget, gBuildPath[0]))
            return EntryKind::Skip;
        // A directory link to where the scan already is (or above it) would never end.
        bool bLoops = false;
        for (std::uint32_t i = 0; i < gBuildPath.GetNumMembers() && std::filesystem::is_directory(status);
             ++i)
            bLoops = bLoops || IsInsideTree(gBuildPath[i], sTarget);
        if (bLoops)
            return EntryKind::Skip;
    }
    if (std::filesystem::is_directory(status))
        return EntryKind::Directory;
    if (std::filesystem::is_regular_file(status))
        return EntryKind::File;
    return EntryKind::Skip;
}

// The first child in archive order whose name equals sName without regard to case.
KF_DataRepositoryNode* FindChild(const KF_DataRepositoryNode* pNode, const KB_String& sName)
{
    const KB_GrowingArray<KF_DataRepositoryNode*>& gSorted = pNode->m_gChildrenByName;
    if (gSorted.GetNumMembers() == pNode->m_gChildren.GetNumMembers())
    {
        // Lower bound: the first of equal names, which the stable sort left in archive order.
        std::uint32_t uiLow = 0;
        std::uint32_t uiHigh = gSorted.GetNumMembers();
        while (uiLow < uiHigh)
        {
            const std::uint32_t uiMiddle = uiLow + (uiHigh - uiLow) / 2;
            if (gSorted[uiMiddle]->m_sName.CompareNoCase(sName) < 0)
                uiLow = uiMiddle + 1;
            else
                uiHigh = uiMiddle;
        }
        return (uiLow < gSorted.GetNumMembers() && gSorted[uiLow]->m_sName.CompareNoCase(sName) == 0)
                   ? gSorted[uiLow]
                   : nullptr;
    }
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
    {
        KF_DataRepositoryNode* pChild = pNode->m_gChildren[i];
        if (pChild->m_sName.CompareNoCase(sName) == 0)
            return pChild;
    }
    return nullptr;
}

// Fills the node's name index so that a path lookup costs a binary search per component.
void IndexChildren(KF_DataRepositoryNode* pNode)
{
    const std::uint32_t uiCount = pNode->m_gChildren.GetNumMembers();
    pNode->m_gChildrenByName = KB_GrowingArray<KF_DataRepositoryNode*>(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
        pNode->m_gChildrenByName.Add(pNode->m_gChildren[i]);
    if (uiCount > 1)
    {
        // stable_sort copes without its scratch memory when none can be had; it does not throw.
        KF_DataRepositoryNode** pFirst = &pNode->m_gChildrenByName[0];
        std::stable_sort(pFirst, pFirst + uiCount,
                         [](const KF_DataRepositoryNode* pA, const KF_DataRepositoryNode* pB)
                         { return pA->m_sName.CompareNoCase(pB->m_sName) < 0; });
    }
}

} // namespace

struct KF_DataRepository::OpenArchive
{
    OpenArchive() = default;
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;
    ~OpenArchive()
    {
        delete m_pRoot;
        if (m_iFile >= 0)
            close(m_iFile);
    }

    int m_iFile = -1;                         // read only through positioned reads
    std::uint64_t m_uiSize = 0;               // bytes of the archive
    KF_DataRepositoryNode* m_pRoot = nullptr; // owned; the tree read from the archive's directory
};

KF_DataRepository::~KF_DataRepository()
{
    Unload();
}

bool KF_DataRepository::LoadFromFile(const KB_String& sPath)
{
    Unload();
    auto pArchive = std::make_shared<OpenArchive>();
    // Without blocking, and only a regular file: a FIFO in its place must not hang the load.
    pArchive->m_iFile = open(sPath.GetBuffer(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    if (pArchive->m_iFile < 0 || fstat(pArchive->m_iFile, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < 0)
    {
        return false;
    }
    const std::uint64_t uiFileSize = static_cast<std::uint64_t>(status.st_size);
    pArchive->m_uiSize = uiFileSize;

    std::uint8_t header[HEADER_SIZE];
    std::uint64_t uiDirectoryEnd = 0;
    bool bOk = uiFileSize >= HEADER_SIZE && ReadAt(pArchive->m_iFile, header, HEADER_SIZE, 0) &&
               std::memcmp(header, ARCHIVE_MAGIC, 4) == 0;
    if (bOk)
    {
        KB_ByteReader reader(header + 4, 8);
        bOk =
            reader.ReadU64(&uiDirectoryEnd) && uiDirectoryEnd >= HEADER_SIZE && uiDirectoryEnd <= uiFileSize;
    }
    // The directory is at most the file's own size, so this allocation is bounded by real data.
    const std::uint64_t uiDirectorySize = bOk ? uiDirectoryEnd - HEADER_SIZE : 0;
    std::uint8_t* pDirectory = bOk ? new (std::nothrow) std::uint8_t[uiDirectorySize + 1] : nullptr;
    bOk = bOk && pDirectory != nullptr && ReadAt(pArchive->m_iFile, pDirectory, uiDirectorySize, HEADER_SIZE);

    KF_DataRepositoryNode* pRoot = bOk ? new (std::nothrow) KF_DataRepositoryNode : nullptr;
    if (pRoot != nullptr)
    {
        KB_ByteReader reader(pDirectory, uiDirectorySize);
        bOk = ParseNode(pRoot, reader, 0) && reader.GetRemaining() == 0;
    }
    delete[] pDirectory;
    if (!bOk || pRoot == nullptr)
    {
        delete pRoot;
        return false;
    }

    pArchive->m_pRoot = pRoot;
    m_pRootNode = pRoot;
    const std::lock_guard lock(m_oArchiveLock);
    m_pArchive = std::move(pArchive);
    return true;
}

bool KF_DataRepository::ParseNode(KF_DataRepositoryNode* pNode, KB_ByteReader& reader, std::uint32_t uiDepth)
{
    if (uiDepth > MAX_DEPTH)
        return false;
    std::uint64_t uiSubtreeSize = 0;
    std::uint64_t uiPayloadOffset = 0;
    std::uint64_t uiStoredSize = 0;
    std::uint64_t uiLastWriteTime = 0;
    std::uint32_t uiNumChildren = 0;
    std::uint16_t uiFlags = 0;
    std::uint16_t uiNameLength = 0;
    reader.ReadU64(&uiSubtreeSize);
    reader.ReadU64(&uiPayloadOffset);
    reader.ReadU64(&uiStoredSize);
    reader.ReadU64(&uiLastWriteTime);
    reader.ReadU32(&uiNumChildren);
    reader.ReadU16(&uiFlags);
    reader.ReadU16(&uiNameLength);
    if (!reader.IsOk() || uiNameLength > MAX_NAME_LENGTH)
        return false;
    char name[MAX_NAME_LENGTH + 1] = {};
    // Every child needs at least a record's worth of the bytes left: a damaged count fails here
    // instead of running a long loop.
    if (!reader.ReadBytes(name, uiNameLength) || !reader.CheckCount(uiNumChildren, RECORD_SIZE))
        return false;

    pNode->m_bDirectory = (uiFlags & FLAG_DIRECTORY) != 0;
    pNode->m_bCompressed = (uiFlags & FLAG_COMPRESSED) != 0;
    pNode->m_bReadFromArchive = true;
    pNode->m_sName = KB_String(name); // up to the first NUL among the name bytes
    pNode->m_sSourceFileName = KB_String();
    pNode->m_uiPayloadOffset = uiPayloadOffset;
    pNode->m_uiStoredSize = uiStoredSize;
    pNode->m_uiSubtreeSize = uiSubtreeSize;
    pNode->m_uiLastWriteTime = uiLastWriteTime;

    for (std::uint32_t i = 0; i < uiNumChildren; ++i)
    {
        auto* pChild = new (std::nothrow) KF_DataRepositoryNode;
        if (pChild == nullptr)
            return false;
        pChild->m_pParent = pNode;
        pNode->m_gChildren.Add(pChild);
        if (!ParseNode(pChild, reader, uiDepth + 1))
            return false;
    }
    IndexChildren(pNode);
    return true;
}

void KF_DataRepository::Unload()
{
    std::shared_ptr<OpenArchive> pArchive;
    {
        const std::lock_guard lock(m_oArchiveLock);
        pArchive.swap(m_pArchive);
    }
    // A loaded tree goes with the archive, once the reads still under way have ended.
    if (pArchive == nullptr)
        delete m_pRootNode;
    m_pRootNode = nullptr;
    m_sSourceDirectory = KB_String();
}

KF_DataRepositoryNode* KF_DataRepository::FindNode(const KB_String& sPath) const
{
    return FindNodeBelow(m_pRootNode, sPath);
}

KF_DataRepositoryNode* KF_DataRepository::FindNodeBelow(KF_DataRepositoryNode* pRoot, const KB_String& sPath)
{
    if (pRoot == nullptr)
        return nullptr;
    const KB_GrowingArray<KB_String> components = KU_FileUtilities::SplitPath(sPath);
    const bool bRootNamed = pRoot->m_sName.GetLength() > 0;
    if (components.GetNumMembers() == 0)
        return bRootNamed ? nullptr : pRoot;
    KF_DataRepositoryNode* pCurrent = pRoot;
    std::uint32_t uiFirst = 0;
    if (bRootNamed)
    {
        if (pRoot->m_sName.CompareNoCase(components[0]) != 0)
            return nullptr;
        uiFirst = 1;
    }
    for (std::uint32_t i = uiFirst; i < components.GetNumMembers() && pCurrent != nullptr; ++i)
        pCurrent = FindChild(pCurrent, components[i]);
    return pCurrent;
}

KB_String KF_DataRepository::GetNodePath(const KF_DataRepositoryNode* pNode) const
{
    if (pNode == nullptr)
        return KB_String();
    KB_String sPath = GetNodePath(pNode->m_pParent);
    if (sPath.GetLength() > 0)
        sPath += "/";
    sPath += pNode->m_sName;
    return sPath;
}

KF_DataRepositoryNode* KF_DataRepository::FindArchiveNode(const KB_String& sPath) const
{
    KF_DataRepositoryNode* pNode = FindNode(sPath);
    return (pNode != nullptr && pNode->m_bReadFromArchive) ? pNode : nullptr;
}

bool KF_DataRepository::ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData)
{
    if (pSize == nullptr || ppData == nullptr)
        return false;
    std::shared_ptr<OpenArchive> pArchive;
    {
        const std::lock_guard lock(m_oArchiveLock);
        pArchive = m_pArchive;
    }
    if (pArchive == nullptr)
        return false;
    const KF_DataRepositoryNode* pNode = FindNodeBelow(pArchive->m_pRoot, sPath);
    if (pNode == nullptr || pNode->m_bDirectory)
        return false;
    if (TakeCachedFile(sPath, pSize, ppData))
        return true;
    const std::uint64_t uiOffset = pNode->m_uiPayloadOffset;
    const std::uint64_t uiStoredSize = pNode->m_uiStoredSize;
    const bool bCompressed = pNode->m_bCompressed;

    if (!IsWithinFile(uiOffset, uiStoredSize, pArchive->m_uiSize) ||
        (bCompressed && uiStoredSize <= KF_Zipper::PREFIX_SIZE))
    {
        return false;
    }
    std::uint8_t* pData = AllocateFileBuffer(uiStoredSize);
    if (pData == nullptr)
        return false;
    if (!ReadAt(pArchive->m_iFile, pData, uiStoredSize, uiOffset))
    {
        FreeFileBuffer(pData);
        return false;
    }
    std::uint64_t uiSize = uiStoredSize;
    if (bCompressed)
    {
        std::uint8_t* pInflated = nullptr;
        const bool bInflated = KF_Zipper::Decompress(pData, &pInflated, &uiSize, uiStoredSize);
        FreeFileBuffer(pData);
        if (!bInflated)
            return false;
        // KF_Zipper allocates with new[], as the cache's own buffers are, so the cache frees it.
        pData = pInflated;
    }

    // Another reader of the same path may have cached it meanwhile: then that buffer is shared.
    AddOrTakeLoadedFile(sPath, pData, uiSize, pSize, ppData);
    return true;
}

bool KF_DataRepository::WriteFile(const KB_String& /*sPath*/, std::uint64_t /*uiSize*/, const char* /*pData*/)
{
    return false;
}

bool KF_DataRepository::RemoveFile(const KB_String& /*sPath*/)
{
    return false;
}

bool KF_DataRepository::GetFileSize(const KB_String& sPath, std::uint64_t* pSize)
{
    const KF_DataRepositoryNode* pNode = FindArchiveNode(sPath);
    if (pSize == nullptr || pNode == nullptr || pNode->m_bDirectory)
        return false;
    *pSize = pNode->m_uiStoredSize;
    return true;
}

bool KF_DataRepository::GetFileTime(const KB_String& sPath, std::uint64_t* pTime)
{
    const KF_DataRepositoryNode* pNode = FindArchiveNode(sPath);
    if (pTime == nullptr || pNode == nullptr)
        return false;
    *pTime = pNode->m_uiLastWriteTime;
    return true;
}

bool KF_DataRepository::GetFileHash(const KB_String& sPath, std::uint64_t* pHash)
{
    if (pHash == nullptr)
        return false;
    return HashThroughReadFile(sPath, pHash);
}

bool KF_DataRepository::FileExists(const KB_String& sPath)
{
    const KF_DataRepositoryNode* pNode = FindArchiveNode(sPath);
    return pNode != nullptr && !pNode->m_bDirectory;
}

bool KF_DataRepository::DirectoryExists(const KB_String& sPath)
{
    const KF_DataRepositoryNode* pNode = FindArchiveNode(sPath);
    return pNode != nullptr && pNode->m_bDirectory;
}

bool KF_DataRepository::IsWritable()
{
    return false;
}

bool KF_DataRepository::FindFiles(const KB_String& sPattern, KB_GrowingArray<KB_String>& gOut)
{
    if (m_pRootNode == nullptr)
        return false;
    const KB_String sDirectory = KU_FileUtilities::ExtractDirectory(sPattern);
    const KB_String sNamePattern = KU_FileUtilities::ExtractFilename(sPattern);
    if (sNamePattern.GetLength() == 0 || (sDirectory.GetLength() > 0 && !DirectoryExists(sDirectory)))
        return false;
    const KF_DataRepositoryNode* pDirectory = FindArchiveNode(sDirectory);
    if (pDirectory == nullptr || !pDirectory->m_bDirectory)
        return false;
    bool bFound = false;
    for (std::uint32_t i = 0; i < pDirectory->m_gChildren.GetNumMembers(); ++i)
    {
        const KF_DataRepositoryNode* pChild = pDirectory->m_gChildren[i];
        if (!pChild->m_bDirectory && pChild->m_bReadFromArchive &&
            MatchWildcard(sNamePattern, pChild->m_sName))
        {
            gOut.Add(pChild->m_sName);
            bFound = true;
        }
    }
    return bFound;
}

bool KF_DataRepository::CreateFromDirectory(const KB_String& sDirectory, KF_NameValidator* pValidator,
                                            bool bRootNamed)
{
    Unload();
    m_sBuildError = KB_String();
    m_sSourceDirectory =
        KU_FileUtilities::EnforceForwardSlashes(KU_FileUtilities::GetAbsolutePath(sDirectory));
    KB_String sRootName;
    if (bRootNamed)
    {
        const KB_GrowingArray<KB_String> components = KU_FileUtilities::SplitPath(m_sSourceDirectory);
        if (components.GetNumMembers() > 0)
            sRootName = components[components.GetNumMembers() - 1];
    }
    if (!m_sSourceDirectory.EndsWith(KB_String("/")))
        m_sSourceDirectory += "/";

    auto* pRoot = new (std::nothrow) KF_DataRepositoryNode;
    if (pRoot == nullptr)
        return false;
    pRoot->m_bDirectory = true;
    pRoot->m_sName = sRootName;
    pRoot->m_sSourceFileName = m_sSourceDirectory;
    m_gBuildPath.RemoveAll();
    const bool bOk = AddDirectoryNodes(pRoot, pValidator, 0);
    m_gBuildPath.RemoveAll();
    if (!bOk)
    {
        if (m_sBuildError.GetLength() == 0)
            m_sBuildError = KB_String::Formatted("cannot read the folder \"%s\"", sDirectory.GetBuffer());
        delete pRoot;
        return false;
    }
    m_pRootNode = pRoot;
    return true;
}

bool KF_DataRepository::AddDirectoryNodes(KF_DataRepositoryNode* pNode, KF_NameValidator* pValidator,
                                          std::uint32_t uiDepth)
{
    if (pNode == nullptr || !pNode->m_bDirectory || pNode->m_sSourceFileName.GetLength() == 0 ||
        pValidator == nullptr)
    {
        return false;
    }
    if (uiDepth > MAX_DEPTH)
    {
        m_sBuildError = KB_String::Formatted("\"%s\" nests deeper than an archive may (%u levels)",
                                             GetSourceRelativePath(pNode).GetBuffer(), MAX_DEPTH);
        return false;
    }
    const KB_String sResolved = ResolvePath(pNode->m_sSourceFileName);
    if (sResolved.GetLength() == 0)
        return false;
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((pNode->m_sSourceFileName + "*.*").GetBuffer(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    m_gBuildPath.Add(sResolved);

    bool bOk = true;
    do
    {
        const KB_String sName(data.cFileName);
        // Never the directory itself or its parent, whatever the validator says.
        if (sName == KB_String(".") || sName == KB_String(".."))
            continue;
        const KB_String sSourceName = pNode->m_sSourceFileName + sName;
        const bool bListedAsDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (bListedAsDirectory ? !pValidator->IsDirectoryNameValid(sName)
                               : !pValidator->IsFileNameValid(sName))
        {
            continue;
        }

        const EntryKind kind = ClassifyEntry(sSourceName, m_gBuildPath);
        // The validator was asked under the listed kind; a link may turn out to be the other kind.
        if (kind == EntryKind::Skip || (kind == EntryKind::Directory) != bListedAsDirectory)
            continue;

        auto* pChild = new (std::nothrow) KF_DataRepositoryNode;
        if (pChild == nullptr)
        {
            bOk = false;
            break;
        }
        pChild->m_pParent = pNode;
        pChild->m_sName = sName;
        pChild->m_sSourceFileName = sSourceName;
        // '\\' separates names in archive paths, so such a name could never be read back.
        if (sName.Find(KB_String("\\")) != KB_String::NOT_FOUND)
        {
            m_sBuildError = KB_String::Formatted("\"%s\": a name in an archive cannot hold '\\'",
                                                 GetSourceRelativePath(pChild).GetBuffer());
            delete pChild;
            bOk = false;
            break;
        }
        if (kind == EntryKind::Directory)
        {
            pChild->m_bDirectory = true;
            pChild->m_sSourceFileName = sSourceName + "/";
            if (!AddDirectoryNodes(pChild, pValidator, uiDepth + 1))
            {
                delete pChild;
                bOk = false;
                break;
            }
        }
        else
        {
            pChild->m_bCompressed = pValidator->IsFileCompressed(sName);
            pChild->m_uiStoredSize = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     static_cast<std::uint64_t>(data.nFileSizeLow);
            pChild->m_uiLastWriteTime = KU_FileUtilities::GetLastWriteTime(sSourceName);
        }
        pNode->m_gChildren.Add(pChild);
    } while (FindNextFileA(hFind, &data));
    FindClose(hFind);
    m_gBuildPath.Remove(m_gBuildPath.GetNumMembers() - 1);
    return bOk && CheckNamesDistinct(pNode);
}

bool KF_DataRepository::CheckNamesDistinct(const KF_DataRepositoryNode* pNode)
{
    const std::uint32_t uiCount = pNode->m_gChildren.GetNumMembers();
    if (uiCount < 2)
        return true;
    std::vector<const KF_DataRepositoryNode*> sorted(&pNode->m_gChildren[0],
                                                     &pNode->m_gChildren[0] + uiCount);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const KF_DataRepositoryNode* pA, const KF_DataRepositoryNode* pB)
                     { return pA->m_sName.CompareNoCase(pB->m_sName) < 0; });
    for (std::size_t i = 1; i < sorted.size(); ++i)
    {
        if (sorted[i - 1]->m_sName.CompareNoCase(sorted[i]->m_sName) == 0)
        {
            // A reader would always get the first of the two.
            m_sBuildError = KB_String::Formatted(
                "\"%s\" and \"%s\" differ only in letter case, which an archive cannot tell apart",
                GetSourceRelativePath(sorted[i - 1]).GetBuffer(),
                GetSourceRelativePath(sorted[i]).GetBuffer());
            return false;
        }
    }
    return true;
}

KB_String KF_DataRepository::GetSourceRelativePath(const KF_DataRepositoryNode* pNode) const
{
    KB_String sPath = pNode->m_sSourceFileName;
    if (sPath.StartsWith(m_sSourceDirectory))
        sPath = sPath.SubString(sPath.GetLength() - m_sSourceDirectory.GetLength(),
                                m_sSourceDirectory.GetLength());
    if (sPath.EndsWith(KB_String("/")))
        sPath = sPath.SubString(sPath.GetLength() - 1, 0);
    return sPath.GetLength() > 0 ? sPath : KB_String(".");
}

bool KF_DataRepository::SaveToFile(const KB_String& sPath)
{
    if (m_pRootNode == nullptr)
        return false;
    m_sBuildError = KB_String();
    if (!CalcChunkHeaderSizes(m_pRootNode) || !CompressFiles(m_pRootNode))
        return false;
    const std::uint64_t uiDirectoryEnd = HEADER_SIZE + m_pRootNode->m_uiSubtreeSize;
    std::uint64_t uiPayloadEnd = uiDirectoryEnd;
    if (!UpdatePayloadOffsets(m_pRootNode, &uiPayloadEnd))
        return false;

    KB_String sTemporaryPath;
    std::FILE* pFile = KU_TemporaryFiles::Create(sPath, &sTemporaryPath);
    bool bOk = pFile != nullptr && WriteArchive(pFile, uiDirectoryEnd, uiPayloadEnd);
    int iError = errno;
    if (pFile != nullptr && std::fclose(pFile) != 0 && bOk)
    {
        bOk = false;
        iError = errno;
    }
    if (bOk && !KU_TemporaryFiles::ReplaceTarget(sTemporaryPath, sPath))
    {
        bOk = false;
        iError = errno;
    }
    if (bOk)
        return true;
    if (pFile != nullptr)
        KU_TemporaryFiles::Remove(sTemporaryPath);
    // A source that could not be read has said so already.
    if (m_sBuildError.GetLength() == 0)
        m_sBuildError = KB_String::Formatted("cannot write the archive \"%s\": %s", sPath.GetBuffer(),
                                             std::strerror(iError));
    return false;
}

void KF_DataRepository::SetReadError(const KF_DataRepositoryNode* pNode, int iError)
{
    m_sBuildError =
        KB_String::Formatted("cannot read \"%s\": %s", pNode->m_sSourceFileName.GetBuffer(),
                             iError != 0 ? std::strerror(iError) : "it ends before its listed size");
}

bool KF_DataRepository::WriteArchive(std::FILE* pFile, std::uint64_t uiDirectoryEnd,
                                     std::uint64_t uiPayloadEnd)
{
    auto* pDirectory = new (std::nothrow) std::uint8_t[uiDirectoryEnd];
    if (pDirectory == nullptr)
    {
        errno = ENOMEM;
        return false;
    }
    KB_ByteWriter writer(pDirectory, uiDirectoryEnd);
    writer.WriteBytes(ARCHIVE_MAGIC, sizeof(ARCHIVE_MAGIC));
    writer.WriteU64(uiDirectoryEnd);
    writer.WriteU64(uiPayloadEnd - uiDirectoryEnd);
    bool bOk = WriteNodeRecords(m_pRootNode, writer) && writer.GetWritten() == uiDirectoryEnd &&
               WriteExactly(pFile, pDirectory, uiDirectoryEnd);
    delete[] pDirectory;
    if (!bOk)
        return false;

    const std::uint64_t uiPayloadSize = uiPayloadEnd - uiDirectoryEnd;
    const std::uint64_t uiScratchSize = uiPayloadSize < COPY_PIECE_SIZE ? uiPayloadSize : COPY_PIECE_SIZE;
    auto* pScratch = new (std::nothrow) std::uint8_t[uiScratchSize + 1];
    if (pScratch == nullptr)
    {
        errno = ENOMEM;
        return false;
    }
    bOk = WritePayloadData(m_pRootNode, pFile, pScratch, uiScratchSize);
    delete[] pScratch;
    return bOk;
}

bool KF_DataRepository::CalcChunkHeaderSizes(KF_DataRepositoryNode* pNode)
{
    if (pNode->m_sName.GetLength() > MAX_NAME_LENGTH)
        return false;
    std::uint64_t uiSize = RECORD_SIZE + pNode->m_sName.GetLength();
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
    {
        if (!CalcChunkHeaderSizes(pNode->m_gChildren[i]))
            return false;
        uiSize += pNode->m_gChildren[i]->m_uiSubtreeSize;
    }
    pNode->m_uiSubtreeSize = uiSize;
    return true;
}

bool KF_DataRepository::CompressFiles(KF_DataRepositoryNode* pNode)
{
    if (pNode->m_pCompressedData != nullptr)
        return false; // this tree was saved before
    if (!pNode->m_bDirectory && pNode->m_bCompressed)
    {
        errno = 0;
        std::FILE* pSource = std::fopen(pNode->m_sSourceFileName.GetBuffer(), "rb");
        if (pSource == nullptr)
        {
            SetReadError(pNode, errno);
            return false;
        }
        std::uint64_t uiSize = 0;
        std::uint8_t* pContents = nullptr;
        bool bOk = GetSizeOfOpenFile(pSource, &uiSize) && SeekTo(pSource, 0);
        if (bOk)
        {
            pContents = new (std::nothrow) std::uint8_t[uiSize + 1];
            if (pContents == nullptr)
                errno = ENOMEM;
            bOk = pContents != nullptr && ReadExactly(pSource, pContents, uiSize);
        }
        if (!bOk)
            SetReadError(pNode, errno);
        std::fclose(pSource);
        std::uint64_t uiCompressedSize = 0;
        bOk = bOk && KF_Zipper::Compress(pContents, uiSize, &pNode->m_pCompressedData, &uiCompressedSize);
        delete[] pContents;
        if (!bOk)
            return false;
        pNode->m_uiStoredSize = uiCompressedSize;
    }
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
        if (!CompressFiles(pNode->m_gChildren[i]))
            return false;
    return true;
}

bool KF_DataRepository::UpdatePayloadOffsets(KF_DataRepositoryNode* pNode, std::uint64_t* pOffset)
{
    const std::uint64_t uiStoredSize = pNode->m_bDirectory ? 0 : pNode->m_uiStoredSize;
    if (uiStoredSize > UINT64_MAX - *pOffset)
        return false;
    pNode->m_uiPayloadOffset = *pOffset;
    *pOffset += uiStoredSize;
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
        if (!UpdatePayloadOffsets(pNode->m_gChildren[i], pOffset))
            return false;
    return true;
}

bool KF_DataRepository::WriteNodeRecords(const KF_DataRepositoryNode* pNode, KB_ByteWriter& writer) const
{
    std::uint16_t uiFlags = 0;
    if (pNode->m_bDirectory)
        uiFlags |= FLAG_DIRECTORY;
    if (pNode->m_bCompressed)
        uiFlags |= FLAG_COMPRESSED;
    writer.WriteU64(pNode->m_uiSubtreeSize);
    writer.WriteU64(pNode->m_uiPayloadOffset);
    writer.WriteU64(pNode->m_bDirectory ? 0 : pNode->m_uiStoredSize);
    writer.WriteU64(pNode->m_uiLastWriteTime);
    writer.WriteU32(pNode->m_gChildren.GetNumMembers());
    writer.WriteU16(uiFlags);
    writer.WriteU16(static_cast<std::uint16_t>(pNode->m_sName.GetLength()));
    writer.WriteBytes(pNode->m_sName.GetBuffer(), pNode->m_sName.GetLength());
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
        WriteNodeRecords(pNode->m_gChildren[i], writer);
    return writer.IsOk();
}

bool KF_DataRepository::WritePayloadData(const KF_DataRepositoryNode* pNode, std::FILE* pFile,
                                         std::uint8_t* pScratch, std::uint64_t uiScratchSize)
{
    if (!pNode->m_bDirectory && pNode->m_uiStoredSize > 0)
    {
        if (pNode->m_bCompressed)
        {
            if (pNode->m_pCompressedData == nullptr ||
                !WriteExactly(pFile, pNode->m_pCompressedData, pNode->m_uiStoredSize))
            {
                return false;
            }
        }
        else
        {
            errno = 0;
            std::FILE* pSource = std::fopen(pNode->m_sSourceFileName.GetBuffer(), "rb");
            if (pSource == nullptr)
            {
                SetReadError(pNode, errno);
                return false;
            }
            std::uint64_t uiLeft = pNode->m_uiStoredSize;
            bool bOk = true;
            while (bOk && uiLeft > 0)
            {
                const std::uint64_t uiPiece = uiLeft < uiScratchSize ? uiLeft : uiScratchSize;
                if (!ReadExactly(pSource, pScratch, uiPiece))
                {
                    SetReadError(pNode, errno);
                    bOk = false;
                }
                bOk = bOk && WriteExactly(pFile, pScratch, uiPiece);
                uiLeft -= uiPiece;
            }
            const int iError = errno;
            std::fclose(pSource);
            errno = iError;
            if (!bOk)
                return false;
        }
    }
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
        if (!WritePayloadData(pNode->m_gChildren[i], pFile, pScratch, uiScratchSize))
            return false;
    return true;
}
