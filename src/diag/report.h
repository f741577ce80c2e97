// Console reports: a failure or progress text logged first, then written to standard output.
#pragma once

#include "diag/log.h"

/// Logs the message at level, then writes it to standard output: "<ERROR> :" (LOG_E and any
/// unknown level) or "<WARNING> :" (LOG_W) and a newline, the message, a newline and an empty
/// line. LOG_I, for progress texts, writes no tag line.
void mdReport(int level, const char* unit, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

#define MD_REPORT(level, ...) mdReport((level), __FILE__, __LINE__, __VA_ARGS__)

/// Writes text to standard output as the console shows it (every line feed as CR LF).
void mdConsoleWrite(const char* text);
