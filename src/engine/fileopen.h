// Opening the data files of the transforms and the comparison, with the failure reports they share.
#pragma once

#include <cstdio>

/// Opens path for binary reading; on failure traces the path's presence when asked, reports
/// "failed to open (with read mode)" and returns null.
FILE* mdOpenForRead(const char* path, bool traceExists);

/// Opens path for binary writing (created or emptied). Refuses, with the same report as a failed
/// open, a path that leads to either input of the step, which the emptying would destroy.
FILE* mdOpenForWrite(const char* path, const char* inputA, const char* inputB);

/// Closes the written stream; false when its data did not all reach the file.
bool mdFinishWrite(FILE* stream);
