// libFuzzer target: whole argument vectors through mdParseArgs and mdMain, with the workflows
// they dispatch to running on real files in a scratch folder.
//
// Input: byte 0 chooses the files the folder holds beforehand (the fixture bits below); the rest is
// the argument vector after argv[0], entries separated by NUL bytes. An input with an entry that
// holds '/' or '\\' or starts with '.' is skipped: every name the program resolves is then a plain
// name inside the scratch folder (no "..", no absolute path, no separator), so the workflows can
// read and write nothing outside it. The folder is emptied and refilled before every input.
//
// Asserted: mdParseArgs fills the request as the keyword rules say, each path the scratch folder
// plus the entry (empty when it does not fit MD_PATH_MAX); mdMain returns a documented result
// code; a successful -diff writes new - old and leaves no temporary file; a successful -update
// or -zelupdate writes source + difference (and -zelupdate the backup); a failed -update or
// -zelupdate leaves its output as it was.
#include "fuzzutil.h"

#include "engine/transform.h"
#include "main/frontend.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum : uint8_t {
    kZelExeSmall = 1,      // zel.exe of a few bytes
    kZelExePristine = 2,   // with kZelExeSmall: zel.exe of the pristine size (sparse) instead
    kZelOriginal = 4,      // zel.original
    kZelDiff = 8,          // zel.diff
    kDirectory = 16,       // a folder named "dir"
    kTempDirectory = 32,   // a folder in the place of the temporary file
    kBackupDirectory = 64, // a folder in the place of zel.exe.backup, so the backup copy fails
    kBigFile = 128,        // "big", a file of more than one chunk (MD_CHUNK_SIZE)
};

std::string g_dir;
bool g_trace = false;  // MDIFF_FUZZ_TRACE set: one line per input on stderr

const mdResult kResultCodes[] = {MD_OK,
                                 MD_ERR_USAGE,
                                 MD_ERR_OLD_OPEN,
                                 MD_ERR_NEW_OPEN,
                                 MD_ERR_DIFF_CREATE,
                                 MD_ERR_DIFF_WRITE,
                                 MD_ERR_SOURCE_OPEN,
                                 MD_ERR_PATCH_OPEN,
                                 MD_ERR_OUTPUT_CREATE,
                                 MD_ERR_TEMP_IN_USE,
                                 MD_ERR_OUTPUT_WRITE,
                                 MD_ERR_REFERENCE_OPEN,
                                 MD_ERR_CANDIDATE_OPEN,
                                 MD_ERR_SIZE_MISMATCH,
                                 MD_ERR_CONTENT_MISMATCH,
                                 MD_ERR_MOVE,
                                 MD_ERR_ZEL_MISSING,
                                 MD_ERR_ZEL_SIZE};

std::string inScratch(const std::string& name)
{
    return g_dir + "/" + name;
}

void makeFile(const std::string& name, const std::string& bytes)
{
    FZ_CHECK(writeWholeFile(inScratch(name), bytes), "cannot write %s", name.c_str());
}

void makeFolder(const std::string& name)
{
    FZ_CHECK(mkdir(inScratch(name).c_str(), 0755) == 0, "cannot make the folder %s", name.c_str());
}

void fillScratch(uint8_t fixture)
{
    fzClearScratch();
    makeFile("a", "old bytes");
    makeFile("b", "new bytes, longer");
    makeFile("d", pattern(12, 1));
    if ((fixture & (kZelExeSmall | kZelExePristine)) == (kZelExeSmall | kZelExePristine)) {
        makeFile("zel.exe", "");
        FZ_CHECK(truncate(inScratch("zel.exe").c_str(), static_cast<off_t>(MD_ZEL_EXE_SIZE)) == 0,
                 "cannot size zel.exe");
    } else if (fixture & kZelExeSmall) {
        makeFile("zel.exe", "ZEL exe");
    }
    if (fixture & kZelOriginal) {
        makeFile("zel.original", "ZEL original");
    }
    if (fixture & kZelDiff) {
        makeFile("zel.diff", pattern(20, 2));
    }
    if (fixture & kDirectory) {
        makeFolder("dir");
    }
    if (fixture & kTempDirectory) {
        makeFolder(MD_TEMP_NAME);
    }
    if (fixture & kBackupDirectory) {
        makeFolder("zel.exe.backup");
    }
    if (fixture & kBigFile) {
        makeFile("big", pattern(MD_CHUNK_SIZE + MD_BLOCK_SIZE + 1, 3));
    }
}

bool acceptable(const std::string& entry)
{
    return entry.find_first_of("/\\") == std::string::npos && (entry.empty() || entry[0] != '.');
}

// What mdResolvePath makes of a plain name in the scratch folder.
std::string resolved(const std::string& entry)
{
    if (entry.empty()) {
        return "";
    }
    std::string full = inScratch(entry);
    return full.size() < static_cast<size_t>(MD_PATH_MAX) ? full : "";
}

bool present(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// A file's bytes before the run, or nothing for a name that is no regular file.
struct Snapshot {
    bool file = false;
    std::string bytes;
};

Snapshot snap(const std::string& path)
{
    Snapshot s;
    s.file = !path.empty() && readWholeFile(path, &s.bytes);
    return s;
}

void checkUnchanged(const std::string& path, const Snapshot& before, int result)
{
    Snapshot after = snap(path);
    FZ_CHECK(after.file == before.file && after.bytes == before.bytes, "result %d changed %s", result, path.c_str());
}

void checkHolds(const std::string& path, const std::string& bytes, const char* what)
{
    Snapshot after = snap(path);
    FZ_CHECK(after.file && after.bytes == bytes, "%s: %s holds %zu bytes, expected %zu", what, path.c_str(),
             after.bytes.size(), bytes.size());
}

void checkRequest(const std::vector<std::string>& args, bool parsed, const mdRequest& request)
{
    const std::string& keyword = args[1];
    bool verbose = args[2] == "-verbose";
    bool expectParsed = keyword == "-diff" || keyword == "-zelupdate" ||
                        (keyword == "-update" && (!verbose || args.size() >= 6));
    FZ_CHECK(parsed == expectParsed, "mdParseArgs answered %d for %s", parsed ? 1 : 0, keyword.c_str());
    std::string src, neu, diff, out;
    int mode = MD_MODE_NONE;
    bool flag = false;
    if (expectParsed && keyword == "-diff") {
        mode = MD_MODE_DIFF;
        src = resolved(args[2]);
        neu = resolved(args[3]);
        out = resolved(args[4]);
    } else if (expectParsed && keyword == "-update") {
        size_t first = verbose ? 3 : 2;
        mode = MD_MODE_UPDATE;
        flag = verbose;
        src = resolved(args[first]);
        diff = resolved(args[first + 1]);
        out = resolved(args[first + 2]);
    } else if (expectParsed) {
        mode = MD_MODE_ZELUPDATE;
        flag = verbose;
    }
    FZ_CHECK(request.mode == mode && request.verbose == flag, "mode %d verbose %d for %s", request.mode,
             request.verbose ? 1 : 0, keyword.c_str());
    FZ_CHECK(src == request.srcPath && neu == request.newPath && diff == request.diffPath && out == request.outPath,
             "paths [%s] [%s] [%s] [%s]", request.srcPath, request.newPath, request.diffPath, request.outPath);
}

// The files a run may read or write, as they were before it.
struct Before {
    Snapshot src, neu, diff, out, zelExe, zelOriginal, zelDiff;
    bool zelOriginalPresent = false;
};

void checkOutcome(const mdRequest& request, const Before& before, uint8_t fixture, int result)
{
    const std::string temp = inScratch(MD_TEMP_NAME);
    if (request.mode == MD_MODE_DIFF && result == MD_OK) {
        checkHolds(request.outPath, subtractBytes(before.src.bytes, before.neu.bytes), "-diff");
        FZ_CHECK(!present(temp), "-diff left %s", MD_TEMP_NAME);
    }
    if (request.mode == MD_MODE_UPDATE) {
        if (result == MD_OK) {
            checkHolds(request.outPath, addBytes(before.src.bytes, before.diff.bytes), "-update");
        } else if (temp != request.outPath && request.outPath[0] != '\0') {
            checkUnchanged(request.outPath, before.out, result);
        }
    }
    if (request.mode == MD_MODE_ZELUPDATE) {
        const std::string exe = inScratch("zel.exe");
        if (!before.zelOriginalPresent) {
            if (!before.zelExe.file) {
                FZ_CHECK(result == MD_ERR_ZEL_MISSING, "-zelupdate without zel.exe gave %d", result);
            } else if (before.zelExe.bytes.size() != MD_ZEL_EXE_SIZE) {
                FZ_CHECK(result == MD_ERR_ZEL_SIZE, "-zelupdate with a zel.exe of the wrong size gave %d", result);
            }
        }
        if (result == MD_OK) {
            const Snapshot& source = before.zelOriginalPresent ? before.zelOriginal : before.zelExe;
            checkHolds(exe, addBytes(source.bytes, before.zelDiff.bytes), "-zelupdate");
            if (before.zelExe.file && !(fixture & kBackupDirectory)) {
                checkHolds(inScratch("zel.exe.backup"), before.zelExe.bytes, "-zelupdate backup");
            }
        } else {
            checkUnchanged(exe, before.zelExe, result);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    g_trace = std::getenv("MDIFF_FUZZ_TRACE") != nullptr;
    g_dir = fzEnterScratch("args", argc, argv);
    fzQuietStdout();
    fzDropLogLines();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    uint8_t fixture = data[0];
    std::vector<std::string> args = fzSplitAtNul(data + 1, size - 1);
    for (const std::string& entry : args) {
        if (!acceptable(entry)) {
            return 0;
        }
    }
    args.insert(args.begin(), "mdiff");
    std::vector<char*> argv;
    for (std::string& entry : args) {
        argv.push_back(&entry[0]);
    }
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());

    fillScratch(fixture);
    mdRequest request;
    std::memset(&request, 0, sizeof request);
    Before before;
    if (argc >= 5) {
        bool parsed = mdParseArgs(argc, argv.data(), &request);
        checkRequest(args, parsed, request);
        // Only what the mode reads: zel.exe may be a file of 3 MB.
        if (request.mode == MD_MODE_DIFF || request.mode == MD_MODE_UPDATE) {
            before.src = snap(request.srcPath);
            before.neu = snap(request.newPath);
            before.diff = snap(request.diffPath);
            before.out = snap(request.outPath);
        } else if (request.mode == MD_MODE_ZELUPDATE) {
            before.zelExe = snap(inScratch("zel.exe"));
            before.zelOriginal = snap(inScratch("zel.original"));
            before.zelDiff = snap(inScratch("zel.diff"));
            before.zelOriginalPresent = present(inScratch("zel.original"));
        }
    }

    int result = mdMain(argc, argv.data());
    if (g_trace) {
        std::fprintf(stderr, "fixture 0x%02x, %d arguments, %s: result %d\n", fixture, argc,
                     argc > 1 ? args[1].c_str() : "-", result);
    }

    bool known = false;
    for (int code : kResultCodes) {
        known = known || code == result;
    }
    FZ_CHECK(known, "mdMain returned %d", result);
    if (argc < 5) {
        FZ_CHECK(result == MD_ERR_USAGE, "%d arguments gave %d", argc, result);
    } else {
        checkOutcome(request, before, fixture, result);
    }
    return 0;
}
