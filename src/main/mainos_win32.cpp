// Win32 services of the front end: the run log's file, ShellExecuteA, and arguments taken as typed.
#include "main/mainos.h"

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

// The mingw start-up code would otherwise expand wildcards in the arguments; they stay as typed.
extern "C" {
int _dowildcard = 0;
}

FILE* mdOsCreateRunLog(const char* name)
{
    // DeleteFileA removes a link itself, never its target; CREATE_NEW then makes a file of its own
    // or nothing. A log that cannot be deleted (held by a viewer without delete sharing) is
    // emptied in place as the C runtime would, without following a reparse point.
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (DeleteFileA(name) || GetLastError() == ERROR_FILE_NOT_FOUND) {
        file = CreateFileA(name, GENERIC_WRITE, share, nullptr, CREATE_NEW, flags, nullptr);
    } else {
        file = CreateFileA(name, GENERIC_WRITE, share, nullptr, TRUNCATE_EXISTING, flags, nullptr);
        DWORD attributes = file != INVALID_HANDLE_VALUE ? GetFileAttributesA(name) : 0;
        if (file != INVALID_HANDLE_VALUE && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_TEXT);
    if (fd == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "w");
    if (stream == nullptr) {
        _close(fd);
    }
    return stream;
}

void mdOsShellOpen(const char* file)
{
    ShellExecuteA(nullptr, "OPEN", file, "", "", SW_SHOW);
}
