// mdLog: formats one line and hands it to the debugger channel and the run log.
#include "diag/log.h"

#include "diag/diagos.h"

#include <cstdarg>
#include <cstring>

FILE* g_logFile = nullptr;

namespace {

mdLogSink g_sink = nullptr;

const char* const kLineTags[] = {"log_v", "log_d", "log_i", "log_w", "log_e"};

const char* lineTag(int level)
{
    // Compared unsigned, so negative levels fall into the error tag too.
    unsigned index = static_cast<unsigned>(level);
    return index <= 3 ? kLineTags[index] : kLineTags[4];
}

// Builds "tag: base[line]: message\n" in line; a message that does not fit is cut so that the
// line still ends in its line feed.
void composeLine(char* line, const char* tag, const char* base, int lineNo, const char* message)
{
    int head = std::snprintf(line, MD_LOG_MAX, "%s: %s[%d]: ", tag, base, lineNo);
    if (head < 0) {
        head = 0;
    }
    size_t used = static_cast<size_t>(head) < MD_LOG_MAX - 1 ? static_cast<size_t>(head) : MD_LOG_MAX - 2;
    size_t room = MD_LOG_MAX - 2 - used;
    size_t length = std::strlen(message);
    if (length > room) {
        length = room;
    }
    std::memcpy(line + used, message, length);
    line[used + length] = '\n';
    line[used + length + 1] = '\0';
}

}  // namespace

const char* mdBaseName(const char* path)
{
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') {
            base = p + 1;
        }
    }
    return base;
}

mdLogSink mdSetLogSink(mdLogSink sink)
{
    mdLogSink previous = g_sink;
    g_sink = sink;
    return previous;
}

void mdLog(int level, const char* unit, int line, const char* format, ...)
{
    char message[MD_LOG_MAX];
    char text[MD_LOG_MAX];

    va_list args;
    va_start(args, format);
    if (std::vsnprintf(message, sizeof message, format, args) < 0) {
        message[0] = '\0';
    }
    va_end(args);

    composeLine(text, lineTag(level), mdBaseName(unit), line, message);

    if (g_sink != nullptr) {
        g_sink(text);
    } else {
        mdOsDebugOutput(text);
    }
    if (g_logFile != nullptr) {
        mdOsPutText(g_logFile, text);
        std::fflush(g_logFile);
    }
}
