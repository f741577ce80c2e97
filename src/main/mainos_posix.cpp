// POSIX services of the front end: the run log's file, and the desktop's opener, started detached,
// where there is one.
#include "main/mainos.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kOpener = "xdg-open";

bool desktopPresent()
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display != nullptr && display[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

// True when name is an executable file in one of the PATH folders.
bool onPath(const char* name)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return false;
    }
    char candidate[4096];
    while (*path != '\0') {
        const char* end = std::strchr(path, ':');
        size_t length = end != nullptr ? static_cast<size_t>(end - path) : std::strlen(path);
        if (length > 0 && length + 1 + std::strlen(name) < sizeof candidate) {
            std::memcpy(candidate, path, length);
            candidate[length] = '/';
            std::strcpy(candidate + length + 1, name);
            if (access(candidate, X_OK) == 0) {
                return true;
            }
        }
        path += length;
        if (*path == ':') {
            ++path;
        }
    }
    return false;
}

// In the grandchild: a session of its own, no terminal, then the opener.
[[noreturn]] void runOpener(const char* file)
{
    setsid();
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    execlp(kOpener, kOpener, file, static_cast<char*>(nullptr));
    _exit(127);
}

}  // namespace

FILE* mdOsCreateRunLog(const char* name)
{
    // A new file in place of whatever stood under the name: a link planted there is removed, not
    // followed, and a hard link's other names keep their bytes.
    int fd = -1;
    if (unlink(name) == 0 || errno == ENOENT) {
        fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } else if (errno == EACCES || errno == EPERM || errno == EROFS) {
        // A folder that keeps its names: an existing plain log of its own is emptied in place. A
        // link cannot be opened this way, and a device or pipe under the name is not used.
        fd = open(name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat info;
        bool plain = fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
        if (fd >= 0 && (!plain || ftruncate(fd, 0) != 0)) {
            close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        return nullptr;
    }
    FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) {
        close(fd);
    }
    return stream;
}

void mdOsShellOpen(const char* file)
{
    if (!desktopPresent() || !onPath(kOpener)) {
        return;
    }
    // Fork twice so the opener belongs to no one here: the program neither waits for it nor
    // leaves a zombie behind.
    pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            runOpener(file);
        }
        _exit(0);
    }
    if (child > 0) {
        waitpid(child, nullptr, 0);
    }
}
