// Test helper: holds a file open with share mode 0 for a while, as a virus scanner does.
// Usage: mdhold FILE MILLISECONDS [RELEASE]. Prints "held" once the file is held; lets go after
// MILLISECONDS, or as soon as the file RELEASE exists; exits 0 after letting go.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: mdhold FILE MILLISECONDS [RELEASE]\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "mdhold: cannot open %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    DWORD ms = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    if (argc == 3) {
        Sleep(ms);
    } else {
        // A test releases the file when the program has shown that it waits.
        for (DWORD waited = 0; waited < ms && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; waited += 10) {
            Sleep(10);
        }
    }
    CloseHandle(file);
    return 0;
}
