// Win32 file services: GetFullPathNameA and its kin, identity by volume and file index, MoveFileExA.
#include "engine/fileservice.h"

#include <windows.h>
#include <shlwapi.h>

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

bool mdFsDelete(const char* path)
{
    return DeleteFileA(path) != FALSE;
}

bool mdFsMove(const char* from, const char* to)
{
    // Plain MoveFileA refuses an existing target; these flags replace it and let the move cross
    // volumes by copying.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}
