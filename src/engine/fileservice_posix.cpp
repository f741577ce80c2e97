// POSIX file services: paths formed from getcwd, identity by device and inode, rename.
#include "engine/fileservice.h"

#include "engine/pathform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Copies one form into the caller's buffer only when it fits whole.
mdPathResult copyForm(const char* form, char* out, size_t outSize)
{
    size_t length = std::strlen(form);
    if (length >= outSize) {
        if (outSize > 0) {
            out[0] = '\0';
        }
        return MD_PATH_TOO_LONG;
    }
    std::memcpy(out, form, length + 1);
    return MD_PATH_OK;
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool copyData(int from, int to)
{
    static char buffer[1 << 16];
    for (;;) {
        ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!writeAll(to, buffer, static_cast<size_t>(got))) {
            return false;
        }
    }
}

// Copies a file's bytes onto another name, replacing what is there; a failed write or close is
// a failed copy.
bool copyFile(const char* from, const char* to)
{
    int source = open(from, O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        return false;
    }
    struct stat info;
    mode_t mode = fstat(source, &info) == 0 ? (info.st_mode & 07777) : 0666;
    int target = open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    bool copied = target >= 0 && copyData(source, target);
    if (target >= 0 && close(target) != 0) {
        copied = false;
    }
    close(source);
    return copied;
}

}  // namespace

mdPathResult mdFsFullPath(const char* name, char* out, size_t outSize)
{
    char cwd[PATH_MAX];
    if (name[0] != '/' && getcwd(cwd, sizeof cwd) == nullptr) {
        return errno == ERANGE ? MD_PATH_TOO_LONG : MD_PATH_FAILED;
    }
    return mdFormFullPath(name[0] == '/' ? "/" : cwd, name, out, outSize);
}

mdPathResult mdFsLongPath(const char* path, char* out, size_t outSize)
{
    char canonical[PATH_MAX];
    if (realpath(path, canonical) == nullptr) {
        return MD_PATH_FAILED;
    }
    return copyForm(canonical, out, outSize);
}

mdPathResult mdFsShortPath(const char* path, char* out, size_t outSize)
{
    // POSIX paths have one form only; the short form is the canonical path as well.
    return mdFsLongPath(path, out, outSize);
}

bool mdFsStreamIsDirectory(FILE* stream)
{
    struct stat info;
    return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

bool mdFsExists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
}

bool mdFsSameFile(const char* pathA, const char* pathB)
{
    struct stat a;
    struct stat b;
    if (stat(pathA, &a) != 0 || stat(pathB, &b) != 0) {
        return false;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool mdFsFileSize(const char* path, uint64_t* size)
{
    struct stat info;
    if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) {
        return false;
    }
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool mdFsCopy(const char* from, const char* to)
{
    return copyFile(from, to);
}

bool mdFsDelete(const char* path)
{
    return unlink(path) == 0;
}

bool mdFsMove(const char* from, const char* to)
{
    if (rename(from, to) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    // Another file system: copy the bytes across, then remove the original.
    return copyFile(from, to) && unlink(from) == 0;
}
