#pragma once
// One file or directory of a data archive, read from its directory or made by the archive
// builder. A node owns its children and, while an archive is being built, the compressed form of
// its file. Owned by its KF_DataRepository (a loaded tree by the open archive, which reads still
// under way keep alive); read-only once loaded, so any thread may read it.

#include "framework/core/KB_GrowingArray.h"
#include "framework/core/KB_String.h"

#include <cstdint>

class KF_DataRepositoryNode
{
public:
    KF_DataRepositoryNode() = default;
    ~KF_DataRepositoryNode(); // deletes the children and the compressed bytes

    KF_DataRepositoryNode(const KF_DataRepositoryNode&) = delete;
    KF_DataRepositoryNode& operator=(const KF_DataRepositoryNode&) = delete;

    bool m_bDirectory = false;
    bool m_bCompressed = false;
    bool m_bReadFromArchive = false;                     // only such nodes are seen by the repository's reads
    KF_DataRepositoryNode* m_pParent = nullptr;          // not owned; null for the root
    KB_GrowingArray<KF_DataRepositoryNode*> m_gChildren; // owned, in archive order
    // The same children (not owned) sorted by name without regard to case, equal names in archive
    // order; filled for nodes read from an archive, empty for built ones.
    KB_GrowingArray<KF_DataRepositoryNode*> m_gChildrenByName;
    KB_String m_sName;                         // as stored; empty for an unnamed root
    KB_String m_sSourceFileName;               // absolute source path; builder only ('/' after directories)
    std::uint64_t m_uiPayloadOffset = 0;       // absolute offset of the payload in the archive
    std::uint64_t m_uiStoredSize = 0;          // payload bytes (with the 4-byte prefix when compressed)
    std::uint64_t m_uiSubtreeSize = 0;         // bytes of this node's record and all records below
    std::uint64_t m_uiLastWriteTime = 0;       // FILETIME ticks; 0 for directories
    std::uint8_t* m_pCompressedData = nullptr; // owned (new[]); builder only, null otherwise
};
