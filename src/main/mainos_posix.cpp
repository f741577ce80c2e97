// POSIX services of the front end: the run log's file, and the desktop's opener, started detached,
// where there is one.
#include "main/mainos.h"

#include "engine/fileservice.h"

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
    // The run log is made as the engine makes its temporary files: a new file in place of whatever
    // stood under the name, never through a link. POSIX text streams are binary ones; the log's
    // CR LF comes from mdOsPutText.
    return mdFsCreateFresh(name);
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
