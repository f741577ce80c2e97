// libFuzzer target: the transforms and the comparison on real files, for arbitrary old/new pairs.
//
// Input: bytes 0-1 (little-endian) say where the rest splits into the old part and the new part
// (taken modulo the rest's length plus one); bytes 2 and 3 stretch the old and the new file by a
// number of 1024-byte blocks (kStretchBlocks) that repeat the part, so that a small input reaches
// files of one or two chunks (MD_CHUNK_SIZE) and every length around a block or chunk boundary.
//
// Asserted: mdMakeDiff writes new - old byte by byte, mdMakeUpdate rebuilds new from old and that
// difference, mdVerify finds the rebuilt file equal and answers new against old by the pass rule,
// mdDoDiff proves the pair and leaves no temporary file, and mdDoUpdate rebuilds old in place.
#include "fuzzutil.h"

#include "engine/engine.h"
#include "engine/transform.h"

#include <sys/stat.h>

#include <cstring>
#include <string>

namespace {

std::string g_dir;

std::string inScratch(const char* name)
{
    return g_dir + "/" + name;
}

// Blocks added by a stretch byte: mostly a few, sometimes enough to reach the chunk boundaries.
constexpr size_t kP = MD_CHUNK_BLOCKS;
const size_t kStretchBlocks[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,      1,      1,      1,      1,
                                   2, 2, 3, 3, 4, 5, 7, 8, 63, 64, kP - 1, kP, kP + 1, 2 * kP - 1, 2 * kP, 2 * kP + 1};

std::string stretched(const uint8_t* part, size_t size, uint8_t stretch)
{
    std::string bytes(reinterpret_cast<const char*>(part), size);
    size_t extra = kStretchBlocks[stretch % 32] * MD_BLOCK_SIZE;
    bytes.reserve(size + extra);
    for (size_t k = 0; k < extra; ++k) {
        bytes += size > 0 ? static_cast<char>(part[k % size]) : static_cast<char>(k * 131 + 17);
    }
    return bytes;
}

size_t passLength(size_t size, size_t offset)
{
    if (size <= offset) {
        return 0;
    }
    size_t rest = size - offset;
    return rest < static_cast<size_t>(MD_BLOCK_SIZE) ? rest : static_cast<size_t>(MD_BLOCK_SIZE);
}

// The comparison's answer worked out pass by pass: the first pass whose lengths differ gives
// -22, else the first whose bytes differ -23; an equal pass shorter than a block ends it with 0.
int expectedComparison(const std::string& reference, const std::string& candidate)
{
    for (size_t offset = 0;; offset += MD_BLOCK_SIZE) {
        size_t length = passLength(reference.size(), offset);
        if (length != passLength(candidate.size(), offset)) {
            return MD_ERR_SIZE_MISMATCH;
        }
        if (std::memcmp(reference.data() + offset, candidate.data() + offset, length) != 0) {
            return MD_ERR_CONTENT_MISMATCH;
        }
        if (length < static_cast<size_t>(MD_BLOCK_SIZE)) {
            return 0;
        }
    }
}

std::string readBack(const std::string& path)
{
    std::string bytes;
    FZ_CHECK(readWholeFile(path, &bytes), "%s cannot be read back", path.c_str());
    return bytes;
}

bool present(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    g_dir = fzEnterScratch("transform", argc, argv);
    fzQuietStdout();
    fzDropLogLines();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    size_t rest = size - 4;
    size_t split = (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % (rest + 1);
    const std::string oldBytes = stretched(data + 4, split, data[2]);
    const std::string newBytes = stretched(data + 4 + split, rest - split, data[3]);

    fzClearScratch();
    const std::string oldPath = inScratch("old");
    const std::string newPath = inScratch("new");
    const std::string diffPath = inScratch("diff");
    const std::string outPath = inScratch("out");
    FZ_CHECK(writeWholeFile(oldPath, oldBytes) && writeWholeFile(newPath, newBytes), "cannot write the inputs");

    int result = mdMakeDiff(oldPath.c_str(), newPath.c_str(), diffPath.c_str());
    FZ_CHECK(result == MD_OK, "mdMakeDiff gave %d (old %zu, new %zu bytes)", result, oldBytes.size(), newBytes.size());
    const std::string diffBytes = readBack(diffPath);
    FZ_CHECK(diffBytes == subtractBytes(oldBytes, newBytes), "wrong difference file (old %zu, new %zu, diff %zu bytes)",
             oldBytes.size(), newBytes.size(), diffBytes.size());

    result = mdMakeUpdate(oldPath.c_str(), diffPath.c_str(), outPath.c_str());
    FZ_CHECK(result == MD_OK, "mdMakeUpdate gave %d", result);
    FZ_CHECK(readBack(outPath) == newBytes, "the rebuilt file differs from new (%zu bytes)", newBytes.size());

    result = mdVerify(newPath.c_str(), outPath.c_str());
    FZ_CHECK(result == MD_OK, "mdVerify of new and the rebuilt file gave %d", result);
    int expected = expectedComparison(newBytes, oldBytes);
    result = mdVerify(newPath.c_str(), oldPath.c_str());
    FZ_CHECK(result == expected, "mdVerify of new and old gave %d, not %d (new %zu, old %zu bytes)", result,
             expected, newBytes.size(), oldBytes.size());

    const std::string proofPath = inScratch("proof");
    result = mdDoDiff(oldPath.c_str(), newPath.c_str(), proofPath.c_str());
    FZ_CHECK(result == MD_OK, "mdDoDiff gave %d", result);
    FZ_CHECK(readBack(proofPath) == diffBytes, "mdDoDiff wrote another difference file");
    FZ_CHECK(!present(inScratch(MD_TEMP_NAME)), "mdDoDiff left %s behind", MD_TEMP_NAME);

    // The user's case: the source rebuilt in place.
    result = mdDoUpdate(oldPath.c_str(), diffPath.c_str(), oldPath.c_str(), false);
    FZ_CHECK(result == MD_OK, "mdDoUpdate in place gave %d", result);
    FZ_CHECK(readBack(oldPath) == newBytes, "the file updated in place differs from new");
    FZ_CHECK(!present(inScratch(MD_TEMP_NAME)), "mdDoUpdate left %s behind", MD_TEMP_NAME);
    return 0;
}
