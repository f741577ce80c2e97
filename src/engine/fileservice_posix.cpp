// POSIX file services: paths formed from getcwd, identity by device and inode, rename.
#include "engine/fileservice.h"

#include "engine/pathform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
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

// A new file under path, made exclusively and never through a link: whatever stood under the
// name is removed first. A directory cannot be removed this way, so the create then fails. In a
// folder that keeps its names (immutable, read-only), a plain file of its own under the name (not
// a link, no other name) is emptied and reused instead; anything else is not used.
int createFresh(const char* path, mode_t mode)
{
    if (unlink(path) == 0 || errno == ENOENT) {
        return open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    }
    if (errno != EPERM && errno != EACCES && errno != EROFS) {
        return -1;
    }
    int fd = open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    bool ownPlainFile = fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
    if (fd >= 0 && (!ownPlainFile || ftruncate(fd, 0) != 0)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// Copies a file's bytes into a new file of the program's own (see createFresh) and forces them
// to storage; a failed read, write, sync or close is a failed copy.
bool copyFile(const char* from, const char* to)
{
    int source = open(from, O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        return false;
    }
    struct stat info;
    mode_t mode = fstat(source, &info) == 0 ? (info.st_mode & 07777) : 0666;
    int target = createFresh(to, mode);
    bool copied = target >= 0 && copyData(source, target) && fsync(target) == 0;
    if (target >= 0 && close(target) != 0) {
        copied = false;
    }
    close(source);
    return copied;
}

// The folder part of a path: "." for a bare name, "/" for a name in the root.
bool folderOf(const char* path, char* out, size_t size)
{
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        return std::snprintf(out, size, ".") < static_cast<int>(size);
    }
    size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    if (length >= size) {
        return false;
    }
    std::memcpy(out, path, length);
    out[length] = '\0';
    return true;
}

// A rename is durable only once the folder that holds the new name is on storage too.
void syncFolderOf(const char* path)
{
    char folder[PATH_MAX];
    if (!folderOf(path, folder, sizeof folder)) {
        return;
    }
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // The new name is already in place; a folder that cannot be synced changes nothing the
        // caller could act on.
        fsync(fd);
        close(fd);
    }
}

// The file that takes another's place keeps the permissions of the one it replaces (the
// executable bit of a program above all).
void keepPermissions(const char* replacement, const char* replaced)
{
    struct stat info;
    if (stat(replaced, &info) == 0 && S_ISREG(info.st_mode)) {
        chmod(replacement, info.st_mode & 07777);
    }
}

// A whole copy of from beside to, synced, then renamed over to: to is only ever replaced by a
// complete file. With keepMode the copy takes the permissions of the file it replaces.
bool copyBesideAndReplace(const char* from, const char* to, bool keepMode)
{
    char beside[PATH_MAX];
    if (std::snprintf(beside, sizeof beside, "%s%s", to, MD_FS_BESIDE_SUFFIX) >= static_cast<int>(sizeof beside)) {
        return false;
    }
    if (!copyFile(from, beside)) {
        unlink(beside);
        return false;
    }
    if (keepMode) {
        keepPermissions(beside, to);
    }
    if (rename(beside, to) != 0) {
        unlink(beside);
        return false;
    }
    syncFolderOf(to);
    return true;
}

// Across file systems: a whole copy beside the target, then the source goes.
bool moveAcross(const char* from, const char* to)
{
    if (!copyBesideAndReplace(from, to, true)) {
        return false;
    }
    unlink(from);
    return true;
}

long long millisecondsNow()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
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

bool mdFsCopyWhole(const char* from, const char* to)
{
    // The copy keeps the permissions of what it copies.
    return copyBesideAndReplace(from, to, false);
}

FILE* mdFsCreateFresh(const char* path)
{
    int fd = createFresh(path, 0666);
    if (fd < 0) {
        return nullptr;
    }
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        close(fd);
    }
    return stream;
}

bool mdFsDelete(const char* path)
{
    return unlink(path) == 0;
}

bool mdFsMove(const char* from, const char* to)
{
    keepPermissions(from, to);
    if (rename(from, to) == 0) {
        syncFolderOf(to);
        return true;
    }
    return errno == EXDEV && moveAcross(from, to);
}

bool mdFsFlushToDisk(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

bool mdFsLockTemp(const char* tempPath, int waitMs, mdTempLock* lock)
{
    // The hold is an advisory lock on the folder of the temporary file: the file itself is
    // renamed away at the end of a run, so it cannot carry the lock.
    lock->handle = -1;
    char folder[PATH_MAX];
    int fd = folderOf(tempPath, folder, sizeof folder) ? open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (fd < 0) {
        // A folder that cannot be read cannot be locked; opening the file will tell.
        return true;
    }
    long long deadline = millisecondsNow() + waitMs;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lock->handle = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            // No locks on this file system: nothing to respect.
            close(fd);
            return true;
        }
        if (millisecondsNow() >= deadline) {
            close(fd);
            return false;
        }
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

void mdFsUnlockTemp(mdTempLock* lock)
{
    if (lock->handle >= 0) {
        close(static_cast<int>(lock->handle));  // closing lets go of the lock
        lock->handle = -1;
    }
}
