// When a Windows file call is tried again: which errors mean a held file, and the pauses.
#include "engine/heldfile.h"

#include <windows.h>

bool mdFsHeldError(unsigned long error, unsigned long attributes)
{
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return true;
    }
    const unsigned long lasting = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
    return error == ERROR_ACCESS_DENIED && (attributes == INVALID_FILE_ATTRIBUTES || (attributes & lasting) == 0);
}

unsigned mdFsHeldPauseMs(unsigned waitedMs)
{
    if (waitedMs >= MD_HELD_WAIT_MS) {
        return 0;
    }
    unsigned pause = waitedMs == 0 ? 50 : waitedMs;
    if (pause > 1000) {
        pause = 1000;
    }
    return pause < MD_HELD_WAIT_MS - waitedMs ? pause : MD_HELD_WAIT_MS - waitedMs;
}
