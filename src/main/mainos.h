// The operating-system services of the front end: the run log's file, and the shell that shows a
// document to the user.
#pragma once

#include <cstdio>

/// Opens the run log name in the current directory as an empty text stream for writing, never
/// through a link: a link (or anything else that is not a plain file of its own) standing under the
/// name is replaced by a new file. Null when no log can be made there.
FILE* mdOsCreateRunLog(const char* name);

/// Asks the desktop to open file in its associated program, without waiting for it. Best effort:
/// nothing is reported either way.
void mdOsShellOpen(const char* file);
