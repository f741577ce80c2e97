// Test tool: runs a program as a debuggee and records every debugger-channel string it sends, whole.
// Usage: MDIFF_DEBUG_RECORD=FILE mddebug PROGRAM [ARGUMENTS...]
// The rest of this tool's command line, exactly as given, is the debuggee's; its standard handles
// are shared, and its exit code becomes this tool's. FILE receives each string as its length in
// decimal, a line feed, then its bytes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The command line after its first entry (this tool), parsed as the C runtime parses it.
char* afterFirstEntry(char* line)
{
    bool quoted = false;
    for (; *line != '\0'; ++line) {
        if (*line == '"') {
            quoted = !quoted;
        } else if ((*line == ' ' || *line == '\t') && !quoted) {
            break;
        }
    }
    while (*line == ' ' || *line == '\t') {
        ++line;
    }
    return line;
}

bool recordString(FILE* record, HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    // The length counts the terminating NUL; the program's lines are far shorter than this buffer.
    static char text[1 << 16];
    size_t size = info.nDebugStringLength;
    SIZE_T got = 0;
    if (info.fUnicode || size == 0 || size > sizeof text ||
        !ReadProcessMemory(process, info.lpDebugStringData, text, size, &got) || got != size) {
        return false;
    }
    size_t length = size - 1;
    return std::fprintf(record, "%u\n", static_cast<unsigned>(length)) > 0 &&
           std::fwrite(text, 1, length, record) == length && std::fflush(record) == 0;
}

// Serves the debuggee's events until it ends; its exit code, or 1000 when recording failed.
DWORD debugUntilExit(FILE* record, const PROCESS_INFORMATION& child)
{
    bool recorded = true;
    for (;;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, INFINITE)) {
            std::fprintf(stderr, "mddebug: WaitForDebugEvent failed (error %lu)\n", GetLastError());
            return 1001;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT:
            recorded = recordString(record, child.hProcess, event.u.DebugString) && recorded;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile != nullptr) {
                CloseHandle(event.u.CreateProcessInfo.hFile);
            }
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile != nullptr) {
                CloseHandle(event.u.LoadDll.hFile);
            }
            break;
        case EXCEPTION_DEBUG_EVENT:
            // The start-up breakpoint is the debugger's own; every other exception is the program's.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return recorded ? event.u.ExitProcess.dwExitCode : 1000;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
}

}  // namespace

int main()
{
    const char* recordPath = std::getenv("MDIFF_DEBUG_RECORD");
    char* commandLine = afterFirstEntry(GetCommandLineA());
    if (recordPath == nullptr || *commandLine == '\0') {
        std::fprintf(stderr, "usage: MDIFF_DEBUG_RECORD=FILE mddebug PROGRAM [ARGUMENTS...]\n");
        return 1002;
    }
    FILE* record = std::fopen(recordPath, "wb");
    if (record == nullptr) {
        std::fprintf(stderr, "mddebug: cannot write %s\n", recordPath);
        return 1003;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                        &startup, &child)) {
        std::fprintf(stderr, "mddebug: cannot start %s (error %lu)\n", commandLine, GetLastError());
        std::fclose(record);
        return 1004;
    }
    DWORD exitCode = debugUntilExit(record, child);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    std::fclose(record);
    return static_cast<int>(exitCode);
}
