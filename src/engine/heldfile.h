// When a Windows file call is tried again: a file that another program holds for a moment.
#pragma once

/// How long in all a file call waits for another program to let go of its file, in milliseconds.
constexpr unsigned MD_HELD_WAIT_MS = 5000;

/// True for the Win32 errors of a file that another program holds open (a virus scanner, an
/// indexer): a sharing or lock violation, or access denied (a scanner's handle, a deletion still
/// pending) to a file that is neither a folder nor read-only, whose denial lasts. attributes are
/// the file's as GetFileAttributesA answers (INVALID_FILE_ATTRIBUTES for no file).
bool mdFsHeldError(unsigned long error, unsigned long attributes);

/// The pause before the next try after waitedMs of pauses so far: 50 ms, then as long as all
/// pauses before it (the total doubles), at most 1 s each, never past MD_HELD_WAIT_MS in all;
/// 0 when the wait is over.
unsigned mdFsHeldPauseMs(unsigned waitedMs);
