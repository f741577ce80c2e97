// The operating-system file services of the engine: path forms, presence, identity, delete, move.
#pragma once

#include "engine/pathresult.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

/// Full path of name against the current directory; the file need not exist.
mdPathResult mdFsFullPath(const char* name, char* out, size_t outSize);
/// Long form of an existing file's path.
mdPathResult mdFsLongPath(const char* path, char* out, size_t outSize);
/// Short form of an existing file's path.
mdPathResult mdFsShortPath(const char* path, char* out, size_t outSize);

/// True when an open stream reads a directory (POSIX lets fopen open one for reading).
bool mdFsStreamIsDirectory(FILE* stream);

/// True when something of that name exists; a directory counts.
bool mdFsExists(const char* path);
/// True when both names exist and lead to the same file (by identity, not by name).
bool mdFsSameFile(const char* pathA, const char* pathB);
/// Size in bytes of a file (not a directory), as a 64-bit count.
bool mdFsFileSize(const char* path, uint64_t* size);
// On Windows the copy, the fresh file, the deletion and the move wait a while for a file that
// another program holds open (engine/heldfile.h).
/// Copies a file onto another name whole or not at all: the copy is made under a temporary name
/// beside the target (target + MD_FS_BESIDE_SUFFIX), forced to storage, and only then renamed over
/// the target. On failure the temporary copy is removed and an existing target is as it was.
bool mdFsCopyWhole(const char* from, const char* to);
/// Ending of the temporary name beside a file that is being replaced whole.
constexpr const char* MD_FS_BESIDE_SUFFIX = ".~test.tmp";
/// Creates a temporary file of the program's own for binary writing: whatever stands under the
/// name (a stale file, a link) is removed first, then a new file is created exclusively, never
/// through a link. Null when no new file can be made there (a directory in its place included).
FILE* mdFsCreateFresh(const char* path);
/// Deletes a file.
bool mdFsDelete(const char* path);
/// Moves a file onto another name, replacing an existing file there. Across volumes a whole copy
/// is made beside the target, forced to storage and moved over it, so that the target is either
/// as it was or complete. The new name is durable when it returns true; a replaced file's
/// permissions pass to the new one.
bool mdFsMove(const char* from, const char* to);
/// Forces a written file's data to storage.
bool mdFsFlushToDisk(const char* path);

/// A hold on the temporary file's name that other runs of the program respect.
struct mdTempLock {
    intptr_t handle;
};
/// Takes the hold on the temporary file at tempPath (a full path), waiting up to waitMs while
/// another run has it. False when it stays taken.
bool mdFsLockTemp(const char* tempPath, int waitMs, mdTempLock* lock);
/// Lets go of a hold taken by mdFsLockTemp.
void mdFsUnlockTemp(mdTempLock* lock);
