// mdVerify: the block-by-block comparison of a reference file and a candidate, chunk by chunk.
#include "engine/verify.h"

#include "engine/engine.h"

#include "diag/report.h"
#include "engine/fileopen.h"

#include <cstring>

namespace {

// The comparison's loop (engine/chunk.h): reads both files a chunk at a time and hands each chunk
// to mdCompareChunk, which applies the rule of each block: a length difference is told in the
// block where the counts first differ, before that block's contents; a content difference in an
// earlier block wins. A read that fails is no end of a file: it ends the comparison with the code
// of the file that could not be read.
int comparePasses(FILE* reference, const char* referencePath, FILE* candidate, const char* candidatePath)
{
    uint8_t* referenceChunk = mdChunks().first;
    uint8_t* candidateChunk = mdChunks().second;
    int result = MD_CHUNK_CONTINUES;
    while (result == MD_CHUNK_CONTINUES) {
        size_t a = std::fread(referenceChunk, 1, MD_CHUNK_SIZE, reference);
        if (a < MD_CHUNK_SIZE && mdReadFailed(reference, referencePath)) {
            return MD_ERR_REFERENCE_OPEN;
        }
        size_t b = std::fread(candidateChunk, 1, MD_CHUNK_SIZE, candidate);
        if (b < MD_CHUNK_SIZE && mdReadFailed(candidate, candidatePath)) {
            return MD_ERR_CANDIDATE_OPEN;
        }
        result = mdCompareChunk(referenceChunk, a, candidateChunk, b);
    }
    if (result == MD_ERR_SIZE_MISMATCH) {
        MD_REPORT(LOG_E, "size not matched");
    } else if (result == MD_ERR_CONTENT_MISMATCH) {
        MD_REPORT(LOG_E, "binary not matched");
    }
    return result;
}

// Bytes of the block that starts at offset in a chunk of which count bytes were read.
size_t blockLength(size_t count, size_t offset)
{
    if (count <= offset) {
        return 0;
    }
    size_t rest = count - offset;
    return rest < static_cast<size_t>(MD_BLOCK_SIZE) ? rest : static_cast<size_t>(MD_BLOCK_SIZE);
}

}  // namespace

int mdCompareChunk(const uint8_t* reference, size_t a, const uint8_t* candidate, size_t b)
{
    for (size_t offset = 0; offset < MD_CHUNK_SIZE; offset += MD_BLOCK_SIZE) {
        size_t length = blockLength(a, offset);
        if (length != blockLength(b, offset)) {
            return MD_ERR_SIZE_MISMATCH;
        }
        if (std::memcmp(reference + offset, candidate + offset, length) != 0) {
            return MD_ERR_CONTENT_MISMATCH;
        }
        if (length < static_cast<size_t>(MD_BLOCK_SIZE)) {
            return MD_OK;
        }
    }
    return MD_CHUNK_CONTINUES;
}

int mdVerify(const char* referencePath, const char* candidatePath)
{
    MD_LOG(LOG_V, "mdVerify('%s', '%s')", referencePath, candidatePath);
    FILE* reference = mdOpenForRead(referencePath, MD_NO_PRESENCE_TRACE);
    if (reference == nullptr) {
        return MD_ERR_REFERENCE_OPEN;
    }
    FILE* candidate = mdOpenForRead(candidatePath, MD_NO_PRESENCE_TRACE);
    if (candidate == nullptr) {
        std::fclose(reference);
        return MD_ERR_CANDIDATE_OPEN;
    }
    int result = comparePasses(reference, referencePath, candidate, candidatePath);
    std::fclose(reference);
    std::fclose(candidate);
    return result;
}
