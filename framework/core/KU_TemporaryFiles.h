#pragma once
// Temporary files and folders of the engine's writers. A whole file is written to a new file
// beside its target (named and made by CrtTemporaryFiles: "<target>.<random>.tmp", a name no other
// process or thread uses, with the permissions any new file gets), which then is renamed over the
// target, so the target is always the old file or the new one, whole. A folder of work in progress
// (kvassets' staging folder) is made as mkdtemp makes one.
//
// Every temporary made here is live until it is renamed over its target or removed, and one
// process-wide list, under one lock, holds the live ones: a program that writes calls
// RemoveOnInterrupt first thing in main, so that SIGINT or SIGTERM removes them before it ends as
// the signal would. Making a temporary and listing it, and renaming it and forgetting it, happen
// under that lock, so the removal never misses one nor removes one renamed already. A folder is
// removed again until it is gone, since a writer may still be making files in it: writers make
// folders only below a root that exists (KU_FileUtilities::CreateDirectoriesBelow), so a removed
// folder is not made again.
//
// Static only; any thread. Errors keep errno as the failing call set it.

#include "framework/core/KB_String.h"

#include <cstdint>
#include <cstdio>

class KU_TemporaryFiles
{
public:
    KU_TemporaryFiles() = delete;

    // A new temporary file beside sTarget, open for writing ("wb"), with its path in *pPath; live
    // until ReplaceTarget or Remove. Null (errno set) when it cannot be made.
    static std::FILE* Create(const KB_String& sTarget, KB_String* pPath);
    // Renames the temporary, closed by the caller, over sTarget and forgets it. False (errno set)
    // when the rename fails: the temporary is then still live, for Remove.
    static bool ReplaceTarget(const KB_String& sTemporary, const KB_String& sTarget);
    // Removes a temporary, a folder with everything in it, and forgets it; errno is kept.
    static void Remove(const KB_String& sTemporary);
    // uiSize bytes as the whole new sTarget, through a temporary beside it. False (errno set) when
    // a step fails; the target is then untouched and the temporary removed.
    static bool WriteWholeFile(const KB_String& sTarget, const void* pData, std::uint64_t uiSize);
    // A new folder "<sPrefix>XXXXXX" (mkdtemp: readable by its owner only) with its path in
    // *pPath, live until Remove. False (errno set) when it cannot be made.
    static bool CreateFolder(const KB_String& sPrefix, KB_String* pPath);
    // How many temporaries are live.
    static std::uint32_t GetNumLive();

    // Blocks SIGINT and SIGTERM in the calling thread, as every thread started after inherits, and
    // starts one thread that waits for them: on either it calls RemoveAllForExit, then ends the
    // process as the signal would. Called at the start of a program's main, before any thread is
    // started. False (errno set) when the thread cannot start; the signals are then unblocked again.
    static bool RemoveOnInterrupt();
    // Removes every live temporary and keeps the list locked for good: making, renaming or removing
    // a temporary afterwards waits for ever. For a process about to end.
    static void RemoveAllForExit();
};
