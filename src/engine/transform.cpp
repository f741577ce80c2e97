// mdMakeDiff and mdMakeUpdate: one chunk loop over two inputs and one output, and the chunk operations.
#include "engine/transform.h"

#include "diag/report.h"
#include "engine/engine.h"
#include "engine/fileopen.h"

#include <cstring>

namespace {

using ChunkOp = void (*)(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);

// What tells the two transforms apart: the byte operation and their result codes.
struct Transform {
    ChunkOp combine;
    mdResult firstOpenFailed;
    mdResult secondOpenFailed;
    mdResult outputOpenFailed;
    mdResult writeFailed;
};

const Transform kMakeDiff = {mdSubtractChunk, MD_ERR_OLD_OPEN, MD_ERR_NEW_OPEN, MD_ERR_DIFF_CREATE, MD_ERR_DIFF_WRITE};
const Transform kMakeUpdate = {mdAddChunk, MD_ERR_SOURCE_OPEN, MD_ERR_PATCH_OPEN, MD_ERR_OUTPUT_CREATE,
                               MD_ERR_OUTPUT_WRITE};

// The files of one transform, with their paths for the reports.
struct TransformFiles {
    FILE* first;
    FILE* second;
    FILE* output;
    const char* firstPath;
    const char* secondPath;
};

// The transforms' loop (engine/chunk.h): one pass per block, MD_CHUNK_BLOCKS of them per read and
// write. The second input's count drives the passes, and the first input counts as zero past its
// end. The loop ends after the first block shorter than MD_BLOCK_SIZE, that is after the first
// chunk shorter than MD_CHUNK_SIZE; reading the first input ahead to the chunk's end is what a
// stream buffer of that size would do. A short read is the end of a file only when the stream saw
// no error: a failed read ends the passes with that input's code, before the chunk it cut short is
// written. A short write ends them as well: the stream took the blocks before the one it cut
// short, as it would have taken them one by one. Returns MD_OK, a read failure code (reported
// here) or the write failure code.
int runPasses(const Transform& transform, const TransformFiles& files)
{
    uint8_t* firstChunk = mdChunks().first;
    uint8_t* secondChunk = mdChunks().second;
    size_t n = 0;
    do {
        size_t firstCount = std::fread(firstChunk, 1, MD_CHUNK_SIZE, files.first);
        if (firstCount < MD_CHUNK_SIZE && mdReadFailed(files.first, files.firstPath)) {
            return transform.firstOpenFailed;
        }
        n = std::fread(secondChunk, 1, MD_CHUNK_SIZE, files.second);
        if (n < MD_CHUNK_SIZE && mdReadFailed(files.second, files.secondPath)) {
            return transform.secondOpenFailed;
        }
        if (firstCount < n) {
            std::memset(firstChunk + firstCount, 0, n - firstCount);
        }
        // In place: each output byte replaces the second input's byte it was made from.
        transform.combine(firstChunk, secondChunk, secondChunk, n);
        if (std::fwrite(secondChunk, 1, n, files.output) != n) {
            return transform.writeFailed;
        }
    } while (n == MD_CHUNK_SIZE);
    return MD_OK;
}

// How a transform opens its output: mdOpenForWrite, or mdOpenFreshForWrite for a temporary file.
using OutputOpener = FILE* (*)(const char* path, const char* inputA, const char* inputB);

int runTransform(const Transform& transform, const char* firstPath, const char* secondPath, const char* outputPath,
                 OutputOpener openOutput)
{
    FILE* first = mdOpenForRead(firstPath, MD_TRACE_PRESENCE);
    if (first == nullptr) {
        return transform.firstOpenFailed;
    }
    FILE* second = mdOpenForRead(secondPath, MD_TRACE_PRESENCE);
    if (second == nullptr) {
        std::fclose(first);
        return transform.secondOpenFailed;
    }
    FILE* output = openOutput(outputPath, firstPath, secondPath);
    if (output == nullptr) {
        std::fclose(first);
        std::fclose(second);
        return transform.outputOpenFailed;
    }

    int result = runPasses(transform, {first, second, output, firstPath, secondPath});
    std::fclose(first);
    std::fclose(second);
    bool complete = mdFinishWrite(output);
    if (result == MD_OK && !complete) {
        result = transform.writeFailed;
    }
    if (result == transform.writeFailed) {
        MD_REPORT(LOG_E, "write error");
    }
    return result;
}

}  // namespace

void mdSubtractChunk(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(second[i] - first[i]);
    }
}

void mdAddChunk(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(second[i] + first[i]);
    }
}

int mdMakeDiff(const char* oldPath, const char* newPath, const char* diffPath)
{
    MD_LOG(LOG_V, "mdMakeDiff('%s', '%s', '%s')", oldPath, newPath, diffPath);
    return runTransform(kMakeDiff, oldPath, newPath, diffPath, mdOpenForWrite);
}

int mdMakeUpdate(const char* sourcePath, const char* diffPath, const char* outputPath)
{
    MD_LOG(LOG_V, "mdMakeUpdate('%s', '%s', '%s')", sourcePath, diffPath, outputPath);
    return runTransform(kMakeUpdate, sourcePath, diffPath, outputPath, mdOpenForWrite);
}

int mdMakeUpdateFresh(const char* sourcePath, const char* diffPath, const char* tempPath)
{
    MD_LOG(LOG_V, "mdMakeUpdate('%s', '%s', '%s')", sourcePath, diffPath, tempPath);
    return runTransform(kMakeUpdate, sourcePath, diffPath, tempPath, mdOpenFreshForWrite);
}
