// POSIX services of the diagnostics: syslog as the debugger channel, CR LF text output, machine facts.
#include "diag/diagos.h"

#include <sys/utsname.h>
#include <syslog.h>
#include <time.h>

#include <cstring>

void mdOsDebugOutput(const char* text)
{
    // LOG_NDELAY is not asked for: without a running syslog daemon the call costs one failed send.
    syslog(LOG_USER | LOG_DEBUG, "%s", text);
}

void mdOsPutText(FILE* stream, const char* text)
{
    // POSIX text streams store a line feed as it is; write the carriage return ourselves so that
    // files and pipes get the same bytes as on Windows.
    const char* rest = text;
    for (const char* lf = std::strchr(rest, '\n'); lf != nullptr; lf = std::strchr(rest, '\n')) {
        std::fwrite(rest, 1, static_cast<size_t>(lf - rest), stream);
        std::fputs("\r\n", stream);
        rest = lf + 1;
    }
    std::fputs(rest, stream);
}

int64_t mdOsCounterFrequency()
{
    return 1000000000;
}

int64_t mdOsCounter()
{
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return 0;
    }
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

namespace {

void copyField(char* field, const char* text)
{
    std::snprintf(field, MD_SYSTEM_FIELD_MAX, "%s", text);
}

}  // namespace

void mdOsSystemVersion(mdSystemVersion* version)
{
    *version = mdSystemVersion{};
    utsname names{};
    if (uname(&names) != 0) {
        return;
    }
    copyField(version->uname.sysname, names.sysname);
    copyField(version->uname.release, names.release);
    copyField(version->uname.version, names.version);
    copyField(version->uname.machine, names.machine);
}
