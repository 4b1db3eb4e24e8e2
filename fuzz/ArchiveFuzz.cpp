// Fuzzes the data archive reader: the bytes become an archive file that LoadFromFile opens; every
// node it lists is then read, measured, hashed, looked up again with its path upper-cased and, for
// directories, listed.

#include "framework/core/KB_String.h"
#include "framework/files/KF_DataRepository.h"
#include "framework/files/KF_DataRepositoryNode.h"
#include "tests/support/TestTempDir.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

namespace
{

void VisitNode(KF_DataRepository& archive, const KF_DataRepositoryNode* pNode)
{
    const KB_String path = archive.GetNodePath(pNode);
    std::uint64_t uiSize = 0;
    std::uint8_t* pData = nullptr;
    if (archive.ReadFile(path, &uiSize, &pData))
    {
        // The buffer holds the bytes and a NUL; reading the NUL lets the sanitizer check the size.
        if (pData[uiSize] != 0)
            __builtin_trap();
        archive.RemoveReference(path);
    }
    std::uint64_t uiValue = 0;
    archive.GetFileSize(path, &uiValue);
    archive.GetFileTime(path, &uiValue);
    archive.GetFileHash(path, &uiValue);
    std::string upper(path.GetBuffer(), path.GetLength());
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    archive.FileExists(KB_String(upper.c_str()));
    archive.DirectoryExists(KB_String(upper.c_str()));
    if (pNode->m_bDirectory)
    {
        KB_GrowingArray<KB_String> gFound;
        archive.FindFiles(path.GetLength() != 0 ? path + "/*" : KB_String("*"), gFound);
    }
    for (std::uint32_t i = 0; i < pNode->m_gChildren.GetNumMembers(); ++i)
        VisitNode(archive, pNode->m_gChildren[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    static TestTempDir s_Temp;
    static const std::string s_sPath = s_Temp.Join("input.dat");
    std::FILE* pFile = std::fopen(s_sPath.c_str(), "wb");
    if (pFile == nullptr)
        return 0;
    const bool bWritten = std::fwrite(pData, 1, uiSize, pFile) == uiSize;
    if (std::fclose(pFile) != 0 || !bWritten)
        return 0;

    KF_DataRepository archive;
    if (!archive.LoadFromFile(KB_String(s_sPath.c_str())))
        return 0;
    if (const KF_DataRepositoryNode* pRoot = archive.FindNode(KB_String()))
        VisitNode(archive, pRoot);
    return 0;
}
