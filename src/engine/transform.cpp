// mdMakeDiff and mdMakeUpdate: one pass loop over two inputs and one output.
#include "engine/transform.h"

#include "diag/report.h"
#include "engine/engine.h"
#include "engine/fileopen.h"

#include <cstring>

namespace {

using BlockOp = void (*)(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n);

// What tells the two transforms apart: the byte operation and their result codes.
struct Transform {
    BlockOp combine;
    int firstOpenFailed;
    int secondOpenFailed;
    int outputOpenFailed;
    int writeFailed;
};

const Transform kMakeDiff = {mdSubtractBlock, -1, -2, -3, -4};
const Transform kMakeUpdate = {mdAddBlock, -10, -11, -12, -13};

// Passes of MD_BLOCK_SIZE bytes; the second input's count drives each pass, and the first
// input counts as zero past its end. Returns 0 or the write failure code.
int runPasses(const Transform& transform, FILE* first, FILE* second, FILE* output)
{
    uint8_t firstBlock[MD_BLOCK_SIZE];
    uint8_t secondBlock[MD_BLOCK_SIZE];
    uint8_t outBlock[MD_BLOCK_SIZE];
    size_t n = 0;
    do {
        std::memset(firstBlock, 0, sizeof firstBlock);
        std::memset(secondBlock, 0, sizeof secondBlock);
        std::fread(firstBlock, 1, MD_BLOCK_SIZE, first);
        n = std::fread(secondBlock, 1, MD_BLOCK_SIZE, second);
        transform.combine(firstBlock, secondBlock, outBlock, n);
        if (std::fwrite(outBlock, 1, n, output) != n) {
            return transform.writeFailed;
        }
    } while (n == static_cast<size_t>(MD_BLOCK_SIZE));
    return 0;
}

int runTransform(const Transform& transform, const char* firstPath, const char* secondPath, const char* outputPath)
{
    FILE* first = mdOpenForRead(firstPath, true);
    if (first == nullptr) {
        return transform.firstOpenFailed;
    }
    FILE* second = mdOpenForRead(secondPath, true);
    if (second == nullptr) {
        std::fclose(first);
        return transform.secondOpenFailed;
    }
    FILE* output = mdOpenForWrite(outputPath, firstPath, secondPath);
    if (output == nullptr) {
        std::fclose(first);
        std::fclose(second);
        return transform.outputOpenFailed;
    }

    int result = runPasses(transform, first, second, output);
    std::fclose(first);
    std::fclose(second);
    bool complete = mdFinishWrite(output);
    if (result == 0 && !complete) {
        result = transform.writeFailed;
    }
    if (result != 0) {
        MD_REPORT(LOG_E, "write error");
    }
    return result;
}

}  // namespace

void mdSubtractBlock(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(second[i] - first[i]);
    }
}

void mdAddBlock(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(second[i] + first[i]);
    }
}

int mdMakeDiff(const char* oldPath, const char* newPath, const char* diffPath)
{
    MD_LOG(LOG_V, "mdMakeDiff('%s', '%s', '%s')", oldPath, newPath, diffPath);
    return runTransform(kMakeDiff, oldPath, newPath, diffPath);
}

int mdMakeUpdate(const char* sourcePath, const char* diffPath, const char* outputPath)
{
    MD_LOG(LOG_V, "mdMakeUpdate('%s', '%s', '%s')", sourcePath, diffPath, outputPath);
    return runTransform(kMakeUpdate, sourcePath, diffPath, outputPath);
}
