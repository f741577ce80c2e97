// Win32 file services: GetFullPathNameA and its kin, identity by volume and file index, MoveFileExA,
// each write call tried again for a while when another program holds its file.
#include "engine/fileservice.h"

#include "diag/log.h"
#include "engine/heldfile.h"

#include <windows.h>
#include <shlwapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

// The path calls answer a buffer that is too small with the size they need, terminator
// included, which is never below outSize; a path that fits comes back with its length, which
// always is. Zero is a failure.
mdPathResult pathAnswer(DWORD answer, char* out, size_t outSize)
{
    if (answer == 0) {
        return MD_PATH_FAILED;
    }
    if (answer >= outSize) {
        out[0] = '\0';
        return MD_PATH_TOO_LONG;
    }
    return MD_PATH_OK;
}

bool fileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    // No access asked and every sharing mode allowed: the identity of a file held open by
    // another program can still be read; BACKUP_SEMANTICS lets directories be opened too.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BOOL known = GetFileInformationByHandle(file, info);
    CloseHandle(file);
    return known != 0;
}

// Runs call (a file call that sets the last error when it answers false) again while it fails
// because another program holds the file named path, with growing pauses for MD_HELD_WAIT_MS in
// all. The last error of the last try is kept for the caller.
template <typename Call>
bool retryWhileHeld(const char* path, Call call)
{
    unsigned waited = 0;
    for (;;) {
        if (call()) {
            return true;
        }
        DWORD error = GetLastError();
        unsigned pause = mdFsHeldError(error, GetFileAttributesA(path)) ? mdFsHeldPauseMs(waited) : 0;
        if (pause == 0) {
            SetLastError(error);
            return false;
        }
        if (waited == 0) {
            MD_LOG(LOG_W, "file held by another program (error %d), waiting up to %d ms: %s", static_cast<int>(error),
                   static_cast<int>(MD_HELD_WAIT_MS), path);
        }
        Sleep(pause);
        waited += pause;
    }
}

bool moveWithinVolume(const char* from, const char* to)
{
    // Plain MoveFileA refuses an existing target; these flags replace it and return only once
    // the move is on the disk.
    return retryWhileHeld(to, [&] {
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
}

// A whole copy of from beside to (to + MD_FS_BESIDE_SUFFIX, on to's volume), forced to storage,
// then moved over to: to is only ever replaced by a complete file. The copy is a new file:
// whatever stood under its name is deleted first, and CopyFileA with bFailIfExists then makes a
// new file or none, never writing through what stood there. On failure the copy is deleted and
// to is as it was; the last error is the failed step's.
bool copyBesideAndReplace(const char* from, const char* to)
{
    char beside[MAX_PATH * 4];
    if (std::snprintf(beside, sizeof beside, "%s%s", to, MD_FS_BESIDE_SUFFIX) >= static_cast<int>(sizeof beside)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    DeleteFileA(beside);
    bool copied = retryWhileHeld(beside, [&] { return CopyFileA(from, beside, TRUE) != FALSE; }) &&
                  mdFsFlushToDisk(beside);
    if (!copied || !moveWithinVolume(beside, to)) {
        DWORD error = GetLastError();
        DeleteFileA(beside);
        SetLastError(error);
        return false;
    }
    return true;
}

// Across volumes: a move that copies onto the target itself would leave it partial on a full
// disk, so the target is replaced by a whole copy made beside it.
bool moveAcrossVolumes(const char* from, const char* to)
{
    if (!copyBesideAndReplace(from, to)) {
        return false;
    }
    // The output is complete in its place; a source that stays behind changes nothing for it.
    mdFsDelete(from);
    return true;
}

}  // namespace

mdPathResult mdFsFullPath(const char* name, char* out, size_t outSize)
{
    DWORD answer = GetFullPathNameA(name, static_cast<DWORD>(outSize), out, nullptr);
    return pathAnswer(answer, out, outSize);
}

mdPathResult mdFsLongPath(const char* path, char* out, size_t outSize)
{
    DWORD answer = GetLongPathNameA(path, out, static_cast<DWORD>(outSize));
    return pathAnswer(answer, out, outSize);
}

mdPathResult mdFsShortPath(const char* path, char* out, size_t outSize)
{
    DWORD answer = GetShortPathNameA(path, out, static_cast<DWORD>(outSize));
    return pathAnswer(answer, out, outSize);
}

bool mdFsStreamIsDirectory(FILE*)
{
    // The C runtime does not open a directory as a stream at all.
    return false;
}

bool mdFsExists(const char* path)
{
    return PathFileExistsA(path) != FALSE;
}

bool mdFsSameFile(const char* pathA, const char* pathB)
{
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (!fileIdentity(pathA, &a) || !fileIdentity(pathB, &b)) {
        return false;
    }
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

bool mdFsFileSize(const char* path, uint64_t* size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool mdFsCopyWhole(const char* from, const char* to)
{
    return copyBesideAndReplace(from, to);
}

FILE* mdFsCreateFresh(const char* path)
{
    // As fopen's "wb" shares the file, but CREATE_NEW after the delete: a file of its own or none.
    // A stale file that another program holds for a moment is waited for.
    retryWhileHeld(path, [&] { return DeleteFileA(path) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND; });
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) {
        _close(fd);
    }
    return stream;
}

bool mdFsDelete(const char* path)
{
    return retryWhileHeld(path, [&] { return DeleteFileA(path) != FALSE; });
}

bool mdFsMove(const char* from, const char* to)
{
    if (moveWithinVolume(from, to)) {
        return true;
    }
    return GetLastError() == ERROR_NOT_SAME_DEVICE && moveAcrossVolumes(from, to);
}

bool mdFsFlushToDisk(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BOOL flushed = FlushFileBuffers(file);
    CloseHandle(file);
    return flushed != FALSE;
}

bool mdFsLockTemp(const char* tempPath, int waitMs, mdTempLock* lock)
{
    // A named mutex per temporary file: names are case-blind on Windows, so is the hash.
    // (Folding ASCII letters only may make two names share a mutex: they then only take turns.)
    unsigned long long hash = 14695981039346656037ull;
    for (const char* p = tempPath; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 'a' && c <= 'z') {
            c = static_cast<unsigned char>(c - 'a' + 'A');
        }
        hash = (hash ^ c) * 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\mdiff-tmp-%08lx%08lx", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xffffffffu));
    lock->handle = 0;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) {
        return true;  // no mutex to be had: opening the file will tell
    }
    DWORD waited = WaitForSingleObject(mutex, static_cast<DWORD>(waitMs));
    // An abandoned mutex belonged to a run that ended without letting go: it is ours now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        lock->handle = reinterpret_cast<intptr_t>(mutex);
        return true;
    }
    CloseHandle(mutex);
    return false;
}

void mdFsUnlockTemp(mdTempLock* lock)
{
    if (lock->handle != 0) {
        HANDLE mutex = reinterpret_cast<HANDLE>(lock->handle);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        lock->handle = 0;
    }
}
