// The command-line front end: the parsed request, the parser and the dispatch.
#pragma once

#include "engine/engine.h"

#include <cstdint>

/// The parsed command line. Zeroed whole before parsing: buffers a mode leaves alone are empty.
struct mdRequest {
    char srcPath[MD_PATH_MAX];   ///< -diff: the old file; -update: the source file
    char newPath[MD_PATH_MAX];   ///< -diff: the new file
    char diffPath[MD_PATH_MAX];  ///< -update: the difference file to apply
    char outPath[MD_PATH_MAX];   ///< the file the workflow writes
    int32_t mode;                ///< 0 none, 1 make a difference file, 2 apply one, 3 product upgrade
    bool verbose;                ///< "-verbose" stood right after the keyword
    bool outTooLong;             ///< the output's full path did not fit: outPath is empty
};

enum { MD_MODE_NONE = 0, MD_MODE_DIFF = 1, MD_MODE_UPDATE = 2, MD_MODE_ZELUPDATE = 3 };

/// Fills request from argv (argc entries, at least five). False, with request zeroed but for what
/// was resolved, when the first argument is no keyword or a keyword lacks its arguments.
bool mdParseArgs(int argc, char** argv, mdRequest* request);

/// Traces the arguments, parses them and runs the one workflow they name; MD_ERR_USAGE after the
/// usage text.
int mdMain(int argc, char** argv);
