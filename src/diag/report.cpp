// Console reports in the one form every workflow uses.
#include "diag/report.h"

#include "diag/diagos.h"

#include <cstdarg>

void mdConsoleWrite(const char* text)
{
    mdOsPutText(stdout, text);
}

void mdReport(int level, const char* unit, int line, const char* format, ...)
{
    char message[MD_LOG_MAX];
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(message, sizeof message, format, args) < 0) {
        message[0] = '\0';
    }
    va_end(args);

    mdLog(level, unit, line, "%s", message);
    if (level == LOG_W) {
        mdConsoleWrite("<WARNING> :\n");
    } else if (level != LOG_I) {
        mdConsoleWrite("<ERROR> :\n");
    }
    mdConsoleWrite(message);
    mdConsoleWrite("\n\n");
    // The run may end in the shell opening the log; what the user was told is out by then.
    std::fflush(stdout);
}
