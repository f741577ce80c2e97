// Win32 services of the front end: ShellExecuteA, and arguments taken as typed.
#include "main/mainos.h"

#include <windows.h>
#include <shellapi.h>

// The mingw start-up code would otherwise expand wildcards in the arguments; they stay as typed.
extern "C" {
int _dowildcard = 0;
}

void mdOsShellOpen(const char* file)
{
    ShellExecuteA(nullptr, "OPEN", file, "", "", SW_SHOW);
}
