// Forming a full POSIX path from a directory and a name, without asking the file system.
#pragma once

#include "engine/pathresult.h"

#include <cstddef>

/// Joins a relative name to cwd (an absolute name stands alone) and folds ".", ".." and repeated
/// slashes, as GetFullPathNameA does with Windows paths; a trailing slash stays. An empty name
/// has no full path. A path that does not fit outSize at any point of the folding is too long.
mdPathResult mdFormFullPath(const char* cwd, const char* name, char* out, size_t outSize);
