#pragma once
// The one way every writer of the program names and makes the temporary file a whole file is
// written to before it is renamed over its target. Not part of the foreign API: the C runtime has
// no call that makes a file beside another under a name nobody else uses.
//
// The name is the target's with a random part and ".tmp" added ("KV27.dat.Ab3xQ9.tmp"), so a file
// left behind by a killed program still says what it was for. The file is made as mkstemp makes
// one (O_CREAT | O_EXCL, another random part on EEXIST), so no other process or thread ever gets
// the same file, but with mode 0666: the umask (and a default ACL of the folder) then give it the
// permissions any new file gets there, where mkstemp would make it readable by its owner alone.
// Thread-safe.

#include <cstdio>
#include <string>

namespace CrtTemporaryFiles
{

// Makes a new, empty file beside pTarget as above and opens it for writing ("wb", close-on-exec),
// with its path in *pPath. Null with errno set when none could be made (the folder missing or not
// writable, the name too long, ...); nothing is left behind then.
std::FILE* Create(const char* pTarget, std::string* pPath);

} // namespace CrtTemporaryFiles
