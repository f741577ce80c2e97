// Opening and reading the data files, with the presence trace and the console reports of a failure.
#include "engine/fileopen.h"

#include "diag/report.h"
#include "engine/fileservice.h"

namespace {

void traceExists(const char* path)
{
    MD_LOG(LOG_V, "PathFileExistsA('%s') ==> %d", path, mdFsExists(path) ? 1 : 0);
}

// A temporary file of the program's own is made fresh; a file the user named is opened as given.
FILE* openOutput(const char* path, const char* inputA, const char* inputB, bool fresh)
{
    bool isInput = mdFsSameFile(path, inputA) || mdFsSameFile(path, inputB);
    if (isInput) {
        MD_LOG(LOG_E, "the file to write is also read by this step: %s", path);
    }
    FILE* stream = nullptr;
    if (!isInput) {
        stream = fresh ? mdFsCreateFresh(path) : std::fopen(path, "wb");
    }
    if (stream == nullptr) {
        traceExists(path);
        MD_REPORT(LOG_E, "failed to open (with write mode): %s", path);
    }
    return stream;
}

}  // namespace

FILE* mdOpenForRead(const char* path, mdPresenceTrace presence)
{
    FILE* stream = std::fopen(path, "rb");
    if (stream != nullptr && mdFsStreamIsDirectory(stream)) {
        // A directory has no bytes to read; it fails as on Windows, where it cannot be opened.
        std::fclose(stream);
        stream = nullptr;
    }
    if (stream == nullptr) {
        if (presence == MD_TRACE_PRESENCE) {
            traceExists(path);
        }
        MD_REPORT(LOG_E, "failed to open (with read mode): %s", path);
    }
    return stream;
}

FILE* mdOpenForWrite(const char* path, const char* inputA, const char* inputB)
{
    return openOutput(path, inputA, inputB, false);
}

FILE* mdOpenFreshForWrite(const char* path, const char* inputA, const char* inputB)
{
    return openOutput(path, inputA, inputB, true);
}

bool mdReadFailed(FILE* stream, const char* path)
{
    if (std::ferror(stream) == 0) {
        return false;
    }
    MD_REPORT(LOG_E, "read error: %s", path);
    return true;
}

bool mdFinishWrite(FILE* stream)
{
    // Buffered data meet a full disk only here; such a file is as incomplete as a short write.
    bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    bool closed = std::fclose(stream) == 0;
    return flushed && closed;
}
