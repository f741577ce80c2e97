// Opening and reading the data files of the transforms and the comparison, with the failure reports
// they share.
#pragma once

#include <cstdio>

/// Whether a failed open for reading first traces the path's presence (the transforms' inputs do,
/// the comparison's files do not).
enum mdPresenceTrace { MD_TRACE_PRESENCE, MD_NO_PRESENCE_TRACE };

/// Opens path for binary reading; on failure traces the path's presence as presence asks, reports
/// "failed to open (with read mode)" and returns null.
FILE* mdOpenForRead(const char* path, mdPresenceTrace presence);

/// Opens path for binary writing (created or emptied). Refuses, with the same report as a failed
/// open, a path that leads to either input of the step, which the emptying would destroy.
FILE* mdOpenForWrite(const char* path, const char* inputA, const char* inputB);

/// As mdOpenForWrite, for a temporary file of the program's own: whatever stands under the name (a
/// stale file, a link) is replaced by a new file, so nothing is written through a link.
FILE* mdOpenFreshForWrite(const char* path, const char* inputA, const char* inputB);

/// True when a read of stream failed (as opposed to reaching the end of the file); the failure is
/// then logged and reported as "read error: PATH".
bool mdReadFailed(FILE* stream, const char* path);

/// Closes the written stream; false when its data did not all reach the file.
bool mdFinishWrite(FILE* stream);
