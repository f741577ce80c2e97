// mdVerify: the pass-by-pass comparison of a reference file and a candidate.
#include "engine/engine.h"

#include "diag/report.h"
#include "engine/fileopen.h"

#include <cstring>

namespace {

// A length difference shows in the pass where the counts first differ and is told before that
// pass's contents; a content difference in an earlier pass wins.
int comparePasses(FILE* reference, FILE* candidate)
{
    unsigned char referenceBlock[MD_BLOCK_SIZE];
    unsigned char candidateBlock[MD_BLOCK_SIZE];
    size_t a = 0;
    do {
        a = std::fread(referenceBlock, 1, MD_BLOCK_SIZE, reference);
        size_t b = std::fread(candidateBlock, 1, MD_BLOCK_SIZE, candidate);
        if (a != b) {
            MD_REPORT(LOG_E, "size not matched");
            return -22;
        }
        if (std::memcmp(referenceBlock, candidateBlock, a) != 0) {
            MD_REPORT(LOG_E, "binary not matched");
            return -23;
        }
    } while (a == static_cast<size_t>(MD_BLOCK_SIZE));
    return 0;
}

}  // namespace

int mdVerify(const char* referencePath, const char* candidatePath)
{
    MD_LOG(LOG_V, "mdVerify('%s', '%s')", referencePath, candidatePath);
    FILE* reference = mdOpenForRead(referencePath, false);
    if (reference == nullptr) {
        return -20;
    }
    FILE* candidate = mdOpenForRead(candidatePath, false);
    if (candidate == nullptr) {
        std::fclose(reference);
        return -21;
    }
    int result = comparePasses(reference, candidate);
    std::fclose(reference);
    std::fclose(candidate);
    return result;
}
