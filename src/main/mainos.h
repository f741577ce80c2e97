// The operating-system services of the front end: the shell that shows a document to the user.
#pragma once

/// Asks the desktop to open file in its associated program, without waiting for it. Best effort:
/// nothing is reported either way.
void mdOsShellOpen(const char* file);
