#pragma once
// The packed data archive as a read-only repository, and the builder that makes such an archive
// from a directory tree.
//
// Archive layout (little-endian, packed): a 20-byte header ("KVDR", u64 directory end, u64 total
// payload size), the node records in pre-order (u64 subtree size, u64 payload offset, u64 stored
// size, u64 FILETIME, u32 child count, u16 flags: bit 0 directory, bit 1 compressed, u16 name
// length, then the name without NUL), then the payloads back to back in the same order. A
// compressed payload is KF_Zipper's form. Names are matched without regard to case.
//
// Reading: LoadFromFile reads the directory into a node tree and keeps the archive open. Reads
// may come from any thread at once and hold no lock while they look up, read and inflate (the
// cache's own lock only while they use the cache): each
// holds the open archive (file and tree) alive while it uses it, so an Unload meanwhile only
// makes later reads fail, and reads its payload with a positioned read (there is no shared file
// position). Two readers of one uncached path may both read it; the first to finish caches it
// and the other takes that buffer. The other queries read the tree without a lock: they must not
// run while the repository is loaded or unloaded. Nothing in the file is
// trusted: the directory must lie inside the file and parse exactly (names under 260 bytes,
// nesting at most MAX_DEPTH levels), and each payload is checked against the file size before
// anything is allocated for it, so a damaged archive fails to open or fails the one read.
//
// Building (main thread, one archive at a time): CreateFromDirectory collects the tree a name
// validator accepts, SaveToFile compresses, lays out and writes it. The builder never descends
// into "." or "..", follows a symbolic link only to a file or directory inside the tree (and
// never into a directory it is already inside), and packs only regular files and directories.
//
// Does NOT write, remove or list directories through the repository slots: an archive is
// read-only once written.

#include "framework/files/KF_Repository.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

class KB_ByteReader;
class KB_ByteWriter;
class KF_DataRepositoryNode;
class KF_NameValidator;

class KF_DataRepository : public KF_Repository
{
public:
    static constexpr std::uint64_t HEADER_SIZE = 20;
    static constexpr std::uint64_t RECORD_SIZE = 40;
    static constexpr std::uint64_t MAX_NAME_LENGTH = 259;
    // Deepest nesting below the root that an archive may have (the root is level 0).
    static constexpr std::uint32_t MAX_DEPTH = 256;

    KF_DataRepository() = default;
    ~KF_DataRepository() override;

    // Replaces whatever was loaded; false for a missing, short or damaged archive, which leaves
    // the repository empty.
    bool LoadFromFile(const KB_String& sPath);
    // Drops the tree, the source directory and the open archive. Cached reads stay cached.
    void Unload();

    // The node for a '/'-separated path (components compared without regard to case; empty
    // components ignored); null when there is none. The empty path names an unnamed root.
    KF_DataRepositoryNode* FindNode(const KB_String& sPath) const;
    // The node's path from the root: the parent's path, "/" when that is not empty, the name.
    KB_String GetNodePath(const KF_DataRepositoryNode* pNode) const;

    // Builds a tree from sDirectory with the files and directories pValidator (not owned)
    // accepts; the root is named after the directory's last component when bRootNamed. False
    // (and nothing built) when a directory cannot be listed, the tree nests deeper than
    // MAX_DEPTH, or a name could not be read back from the archive: one holding '\\' (a
    // separator there) or two names in one folder that differ only in letter case (names are
    // matched without regard to case). Links that lead nowhere usable are skipped.
    bool CreateFromDirectory(const KB_String& sDirectory, KF_NameValidator* pValidator, bool bRootNamed);
    // Why the last CreateFromDirectory or SaveToFile failed, naming the entries or the file
    // concerned and, for a file, the reason ("cannot read \"<source>\": Permission denied"); empty
    // after a success.
    const KB_String& GetBuildError() const { return m_sBuildError; }
    // Writes the built tree as an archive at sPath: into a temporary file beside it
    // (KU_TemporaryFiles) that then replaces it, so a failed or interrupted save leaves any old
    // archive whole. A tree is saved once.
    bool SaveToFile(const KB_String& sPath);

    // The whole file, inflated when stored compressed. False (nothing cached) for a missing
    // node, a directory, or a payload that lies outside the archive or does not inflate exactly.
    bool ReadFile(const KB_String& sPath, std::uint64_t* pSize, std::uint8_t** ppData) override;
    bool WriteFile(const KB_String& sPath, std::uint64_t uiSize, const char* pData) override; // false
    bool RemoveFile(const KB_String& sPath) override;                                         // false
    // The stored size: for a compressed entry that of the compressed form with its prefix.
    bool GetFileSize(const KB_String& sPath, std::uint64_t* pSize) override;
    bool GetFileTime(const KB_String& sPath, std::uint64_t* pTime) override; // any node
    bool GetFileHash(const KB_String& sPath, std::uint64_t* pHash) override; // of the inflated bytes
    bool FileExists(const KB_String& sPath) override;
    bool DirectoryExists(const KB_String& sPath) override;
    bool IsWritable() override; // false
    // Names of the files (not directories) in the pattern's directory whose names match its
    // name part (MatchWildcard, case-sensitive), in archive order.
    bool FindFiles(const KB_String& sPattern, KB_GrowingArray<KB_String>& gOut) override;

private:
    // The open archive file and the tree read from it, kept alive by the reads still using them.
    struct OpenArchive;

    // The node for sPath below pRoot (see FindNode); null when there is none or pRoot is null.
    static KF_DataRepositoryNode* FindNodeBelow(KF_DataRepositoryNode* pRoot, const KB_String& sPath);

    // Reads one record and, recursively, its children at nesting level uiDepth.
    bool ParseNode(KF_DataRepositoryNode* pNode, KB_ByteReader& reader, std::uint32_t uiDepth);
    // The node of sPath when it was read from the archive; null otherwise.
    KF_DataRepositoryNode* FindArchiveNode(const KB_String& sPath) const;

    bool AddDirectoryNodes(KF_DataRepositoryNode* pNode, KF_NameValidator* pValidator, std::uint32_t uiDepth);
    // False (with m_sBuildError set) when two children of pNode have names equal but for case.
    bool CheckNamesDistinct(const KF_DataRepositoryNode* pNode);
    // The source path of pNode relative to the folder being packed, for messages.
    KB_String GetSourceRelativePath(const KF_DataRepositoryNode* pNode) const;
    // Subtree sizes of every node below and including pNode; false for a name too long to store.
    bool CalcChunkHeaderSizes(KF_DataRepositoryNode* pNode);
    bool CompressFiles(KF_DataRepositoryNode* pNode);
    // Gives each node the running offset and advances it by the node's stored size; false when
    // the offsets would overflow.
    bool UpdatePayloadOffsets(KF_DataRepositoryNode* pNode, std::uint64_t* pOffset);
    bool WriteNodeRecords(const KF_DataRepositoryNode* pNode, KB_ByteWriter& writer) const;
    // Sets m_sBuildError for a source file that cannot be read: errno's text, or 0 when it ended early.
    void SetReadError(const KF_DataRepositoryNode* pNode, int iError);
    bool WritePayloadData(const KF_DataRepositoryNode* pNode, std::FILE* pFile, std::uint8_t* pScratch,
                          std::uint64_t uiScratchSize);
    bool WriteArchive(std::FILE* pFile, std::uint64_t uiDirectoryEnd, std::uint64_t uiPayloadEnd);

    // Null when nothing is loaded or built; a built tree is owned, a loaded one belongs to m_pArchive.
    KF_DataRepositoryNode* m_pRootNode = nullptr;
    KB_String m_sSourceDirectory;            // builder only: absolute, ends in '/'
    std::shared_ptr<OpenArchive> m_pArchive; // null when no archive is open; guarded by m_oArchiveLock
    std::mutex m_oArchiveLock;               // held only to change or copy m_pArchive
    KB_GrowingArray<KB_String> m_gBuildPath; // builder only: resolved directories being filled, root first
    KB_String m_sBuildError;                 // builder only: see GetBuildError
};
