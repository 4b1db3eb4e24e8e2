#pragma once
// What a run of the asset generator made: every file's path relative to the asset folder ('/'
// separators) with the content hash the file manager uses for file contents
// (KU_HashUtilities::HashFNV1a64). kvassets keeps it beside the asset folder ("assets" ->
// "assets.manifest"), committed with the tree, and reads it on its next run to tell the files it
// made from files edited since. Text form: lines of sixteen lower-case hex digits, one blank and
// the path, sorted by path, each ending with a line feed; lines starting with '#' are comments.
// A plain value; any thread, one caller at a time.

#include <cstdint>
#include <string>
#include <vector>

class KV27_AssetManifest
{
public:
    struct Entry
    {
        std::string sPath;
        std::uint64_t uiHash = 0;
    };

    // Replaces the entries with every regular file under the folder; false (and empty) when a
    // file cannot be read.
    bool ReadFolder(const std::string& sFolder);
    // Replaces the entries with the text's; false (and empty) on a malformed line or a path
    // given twice.
    bool Parse(const std::string& sText);
    // Parse of the file; false when it is missing or unreadable too.
    bool Load(const std::string& sFile);
    std::string Format() const;
    // Writes Format() as the whole file, through a temporary file renamed over it, so a failed
    // save leaves the old file whole.
    bool Save(const std::string& sFile) const;

    // The entry of the relative path, or null.
    const Entry* Find(const std::string& sPath) const;
    const std::vector<Entry>& GetEntries() const { return m_vEntries; }
    // The entries whose file under the folder is missing or holds other content, by path.
    std::vector<std::string> ListEdited(const std::string& sFolder) const;

    // The file's content hash; false when it cannot be read.
    static bool HashFile(const std::string& sFile, std::uint64_t* pHash);
    // The asset folder as an absolute, normal path without a trailing separator.
    static std::string GetFolderPath(const std::string& sAssetFolder);
    // Where kvassets keeps the manifest of an asset folder: GetFolderPath + ".manifest".
    static std::string GetManifestPath(const std::string& sAssetFolder);

private:
    std::vector<Entry> m_vEntries; // sorted by path, no path twice
};
