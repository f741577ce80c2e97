// The answer of every operation that forms a path into a caller's buffer, pure or asked of the system.
#pragma once

enum mdPathResult {
    MD_PATH_OK,        ///< the form was written, NUL-terminated
    MD_PATH_FAILED,    ///< no such form (for long and short forms: the file does not exist)
    MD_PATH_TOO_LONG,  ///< the form exists but does not fit the buffer; the buffer holds no path
};
