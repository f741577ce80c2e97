// The run wrapper: the run log around one call of mdMain.
#pragma once

/// Opens update_log.txt, logs the header and the machine description, runs mdMain, closes the
/// log and, after a failed run, asks the shell to show it. Returns mdMain's result.
int mdRun(int argc, char** argv);
