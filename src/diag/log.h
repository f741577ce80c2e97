// The leveled log: one line per call, to the debugger channel and, while it is open, to the run log.
#pragma once

#include <cstdio>

enum { LOG_V = 0, LOG_D = 1, LOG_I = 2, LOG_W = 3, LOG_E = 4 };

/// Size of the message buffer and, separately, of the line buffer of one call.
constexpr int MD_LOG_MAX = 8192;

/// The run log; null while no run log is open. Opened and closed by the run wrapper only.
extern FILE* g_logFile;

/// Writes "log_x: <base name of unit>[<line>]: <message>\n". A message too long for its buffer is
/// cut; the line always ends in its line feed.
void mdLog(int level, const char* unit, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

/// mdLog with the calling source file and line.
#define MD_LOG(level, ...) mdLog((level), __FILE__, __LINE__, __VA_ARGS__)

/// Receives every log line in place of the debugger channel (tests).
using mdLogSink = void (*)(const char* line);
/// Installs sink and returns the one it replaces; null stands for the debugger channel, both ways.
mdLogSink mdSetLogSink(mdLogSink sink);

/// The part of a path after its last backslash or slash; the whole path when it has neither.
const char* mdBaseName(const char* path);
