// Win32 file services: GetFullPathNameA and its kin, identity by volume and file index, MoveFileExA.
#include "engine/fileservice.h"

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

bool mdFsCopy(const char* from, const char* to)
{
    return CopyFileA(from, to, FALSE) != FALSE;
}

bool mdFsCopyWhole(const char* from, const char* to)
{
    char beside[MAX_PATH * 4];
    if (std::snprintf(beside, sizeof beside, "%s%s", to, MD_FS_BESIDE_SUFFIX) >= static_cast<int>(sizeof beside)) {
        return false;
    }
    // DeleteFileA removes a link itself; CopyFileA with bFailIfExists then makes a new file or
    // none, never writing through whatever stood under the name. The copy is on the disk before
    // it replaces the backup, and the replace returns only once it is on the disk too.
    DeleteFileA(beside);
    bool whole = CopyFileA(from, beside, TRUE) && mdFsFlushToDisk(beside) &&
                 MoveFileExA(beside, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!whole) {
        DeleteFileA(beside);
    }
    return whole;
}

FILE* mdFsCreateFresh(const char* path)
{
    // As fopen's "wb" shares the file, but CREATE_NEW after the delete: a file of its own or none.
    DeleteFileA(path);
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
    return DeleteFileA(path) != FALSE;
}

bool mdFsMove(const char* from, const char* to)
{
    // Plain MoveFileA refuses an existing target; these flags replace it, let the move cross
    // volumes by copying, and return only once the move is on the disk.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) !=
           FALSE;
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
