// Files past 4 GiB: sparse pairs made here, -diff and -update exact across the 32-bit boundary.
#include "harness.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

const long long kFourGiB = 1LL << 32;

struct Patch {
    long long offset;
    std::string bytes;
};

void makeSparse(const std::string& path, long long size, const std::vector<Patch>& patches)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    for (const Patch& p : patches) {
        ASSERT_EQ(pwrite(fd, p.bytes.data(), p.bytes.size(), p.offset), static_cast<ssize_t>(p.bytes.size()));
    }
    close(fd);
}

std::string readAt(const std::string& path, long long offset, size_t n)
{
    std::string bytes(n, '\0');
    int fd = open(path.c_str(), O_RDONLY);
    ssize_t got = fd >= 0 ? pread(fd, bytes.data(), n, offset) : -1;
    if (fd >= 0) {
        close(fd);
    }
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

long long sizeOf(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY);
    long long size = fd >= 0 ? lseek(fd, 0, SEEK_END) : -1;
    if (fd >= 0) {
        close(fd);
    }
    return size;
}

bool sameContent(const std::string& a, const std::string& b)
{
    int fa = open(a.c_str(), O_RDONLY);
    int fb = open(b.c_str(), O_RDONLY);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    bool same = fa >= 0 && fb >= 0;
    while (same) {
        ssize_t na = read(fa, ba.data(), ba.size());
        ssize_t nb = read(fb, bb.data(), bb.size());
        same = na == nb && std::equal(ba.begin(), ba.begin() + (na > 0 ? na : 0), bb.begin());
        if (na <= 0) {
            break;
        }
    }
    close(fa);
    close(fb);
    return same;
}

TEST_F(Sandbox, FilesPastFourGiBRoundTripExactly)
{
    const long long oldSize = kFourGiB + 100 * 1024;
    const long long newSize = kFourGiB + 200 * 1024 + 3;
    const std::vector<long long> offsets = {0, kFourGiB - 700, oldSize - 1000};
    std::vector<Patch> oldPatches, newPatches;
    for (size_t i = 0; i < offsets.size(); ++i) {
        oldPatches.push_back({offsets[i], pattern(1400, 10 + static_cast<unsigned>(i))});
        newPatches.push_back({offsets[i], pattern(1400, 20 + static_cast<unsigned>(i))});
    }
    newPatches.push_back({newSize - 5000, pattern(5000, 30)});  // past the old file's end
    makeSparse(local("old"), oldSize, oldPatches);
    makeSparse(local("new"), newSize, newPatches);

    RunResult made = run({"-diff", "old", "new", "d"});
    ASSERT_EQ(made.status, 0) << made.out;
    EXPECT_EQ(sizeOf(local("d")), newSize);
    for (size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(readAt(local("d"), offsets[i], 1400), subtractBytes(oldPatches[i].bytes, newPatches[i].bytes)) << i;
    }
    EXPECT_EQ(readAt(local("d"), newSize - 5000, 5000), newPatches.back().bytes);
    EXPECT_FALSE(exists("~test.tmp"));

    RunResult applied = run({"-update", "old", "d", "out"});
    ASSERT_EQ(applied.status, 0) << applied.out;
    EXPECT_EQ(sizeOf(local("out")), newSize);
    EXPECT_TRUE(sameContent(local("out"), local("new")));
}

}  // namespace
