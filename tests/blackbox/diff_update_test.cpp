// Black-box cases of -diff and -update: results, console bytes, files left behind, the trace.
#include "harness.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const int kUsage = shellStatus(MD_ERR_USAGE);

// The run log's trace, every line checked to end in CR LF.
std::vector<std::string> crLfTrace(const std::string& logBytes)
{
    bool allCrLf = false;
    std::vector<std::string> trace = runLogTrace(logBytes, &allCrLf);
    EXPECT_TRUE(allCrLf) << "every run log line ends in CR LF";
    return trace;
}

// ---- usage text ----

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class UsageTest : public Sandbox, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, PrintsUsageAndFails)
{
    RunResult r = run(GetParam().args);
    EXPECT_EQ(r.status, kUsage);
    EXPECT_EQ(r.out, expectedFile("usage.txt"));
    EXPECT_EQ(listing(), std::vector<std::string>{"update_log.txt"}) << "no path resolved, nothing written";
    std::string log = read("update_log.txt");
    EXPECT_EQ(log.find("in: "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, UsageTest,
    ::testing::Values(UsageCase{"NoArguments", {}},
                      UsageCase{"DiffWithTwoPaths", {"-diff", "a", "b"}},
                      UsageCase{"KeywordInCapitals", {"-DIFF", "a", "b", "c"}},
                      UsageCase{"KeywordWithoutDash", {"update", "a", "b", "c"}},
                      UsageCase{"KeywordWithTrailingBlank", {"-diff ", "a", "b", "c"}},
                      UsageCase{"KeywordWithSecondDash", {"--update", "a", "b", "c"}},
                      UsageCase{"VerboseUpdateWithTwoPaths", {"-update", "-verbose", "s", "d"}},
                      UsageCase{"ZelUpdateAlone", {"-zelupdate"}},
                      UsageCase{"ZelUpdateWithTwoArguments", {"-zelupdate", "-verbose", "x"}}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

// ---- byte examples ----

struct DiffCase {
    const char* name;
    std::string oldBytes;
    std::string newBytes;
    std::string diffBytes;
};

void PrintTo(const DiffCase& c, std::ostream* os) { *os << c.name; }

class DiffBytesTest : public Sandbox, public ::testing::WithParamInterface<DiffCase> {};

TEST_P(DiffBytesTest, DiffThenUpdateGivesNewBack)
{
    const DiffCase& c = GetParam();
    write("old", c.oldBytes);
    write("new", c.newBytes);

    RunResult made = run({"-diff", "old", "new", "d"});
    EXPECT_EQ(made.status, 0);
    EXPECT_EQ(made.out, "") << "a successful -diff is silent";
    EXPECT_EQ(read("d"), c.diffBytes);
    EXPECT_EQ(listing(), (std::vector<std::string>{"d", "new", "old", "update_log.txt"})) << "~test.tmp removed";

    RunResult applied = run({"-update", "old", "d", "out"});
    EXPECT_EQ(applied.status, 0);
    EXPECT_EQ(applied.out, "");
    EXPECT_EQ(read("out"), c.newBytes);
    EXPECT_FALSE(exists("~test.tmp"));
}

std::string repeat(char byte, size_t n) { return std::string(n, byte); }

INSTANTIATE_TEST_SUITE_P(
    Examples, DiffBytesTest,
    ::testing::Values(DiffCase{"OldLongerThanNew", "\x10\x20\x30", "\x15\x1f", "\x05\xff"},
                      DiffCase{"NewLongerThanOld", "\x01", "\x03\x04", "\x02\x04"},
                      DiffCase{"EmptyNew", "\x01\x02", "", ""},
                      DiffCase{"EmptyOld", "", "abc\xff", "abc\xff"},
                      DiffCase{"BothEmpty", "", "", ""},
                      DiffCase{"ThreePasses2048", repeat('\x01', 2048), repeat('\x03', 2048), repeat('\x02', 2048)},
                      DiffCase{"OneByteOverABlock", repeat('\x80', 1025), repeat('\x7f', 1025), repeat('\xff', 1025)}),
    [](const ::testing::TestParamInfo<DiffCase>& info) { return std::string(info.param.name); });

TEST_F(Sandbox, LargeRandomPairRoundTrips)
{
    std::string oldBytes = pattern(300000, 1);
    std::string newBytes = pattern(310001, 2);
    write("old", oldBytes);
    write("new", newBytes);
    ASSERT_EQ(run({"-diff", "old", "new", "d"}).status, 0);
    ASSERT_EQ(read("d").size(), newBytes.size());
    ASSERT_EQ(run({"-update", "old", "d", "out"}).status, 0);
    EXPECT_EQ(read("out"), newBytes);
}

// ---- update variants ----

TEST_F(Sandbox, UpdateInPlaceRewritesTheSource)
{
    write("app", "\x10\x20\x30");
    write("d", "\x05\xff");
    RunResult r = run({"-update", "app", "d", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("app"), "\x15\x1f");
    EXPECT_EQ(listing(), (std::vector<std::string>{"app", "d", "update_log.txt"}));
}

TEST_F(Sandbox, UpdateReplacesAnExistingOutput)
{
    write("src", "\x01\x01");
    write("d", "\x01\x02");
    write("out", "an older and longer output");
    EXPECT_EQ(run({"-update", "src", "d", "out"}).status, 0);
    EXPECT_EQ(read("out"), "\x02\x03");
}

TEST_F(Sandbox, StaleTemporaryFileIsReusedAndRemoved)
{
    write("old", "abc");
    write("new", "abd");
    write("~test.tmp", pattern(5000, 3));
    EXPECT_EQ(run({"-diff", "old", "new", "d"}).status, 0);
    EXPECT_FALSE(exists("~test.tmp"));

    write("~test.tmp", pattern(5000, 4));
    EXPECT_EQ(run({"-update", "old", "d", "out"}).status, 0);
    EXPECT_EQ(read("out"), "abd");
    EXPECT_FALSE(exists("~test.tmp"));
}

TEST_F(Sandbox, VerboseUpdatePrintsProgress)
{
    write("src", "a");
    write("d", "\x01");
    RunResult r = run({"-update", "-verbose", "src", "d", "out", "ignored"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expectedFile("patching.txt") + expectedFile("done.txt"));
    EXPECT_EQ(read("out"), "b");
}

TEST_F(Sandbox, TrailingVerboseIsIgnored)
{
    write("src", "a");
    write("d", "\x01");
    RunResult r = run({"-update", "src", "d", "out", "-verbose"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(Sandbox, VerboseAfterDiffIsTheOldFile)
{
    write("new", "x");
    RunResult r = run({"-diff", "-verbose", "new", "d"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_OLD_OPEN));  // the old file "-verbose" does not exist
    EXPECT_EQ(r.out, errorReport("failed to open (with read mode): " + full("-verbose")));
}

// ---- failures: code, console report, files left as they were ----

struct FailureCase {
    const char* name;
    std::vector<std::string> args;
    void (*arrange)(Sandbox* box, const std::string& dir);
    int status;           // exit status as a shell sees it
    const char* message;  // report, "%s" replaced by the full path of `subject`
    const char* subject;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailureTest : public Sandbox, public ::testing::WithParamInterface<FailureCase> {};

void writeFile(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void inputsOnly(Sandbox*, const std::string& dir)
{
    writeFile(dir + "/old", "old bytes");
    writeFile(dir + "/new", "new bytes!");
    writeFile(dir + "/d", "keep me");
}

void inputsAndDirectory(Sandbox* box, const std::string& dir, const char* name)
{
    inputsOnly(box, dir);
    ASSERT_EQ(mkdir((dir + "/" + name).c_str(), 0755), 0);
}

void oldIsDirectory(Sandbox* box, const std::string& dir) { inputsAndDirectory(box, dir, "olddir"); }
void outIsDirectory(Sandbox* box, const std::string& dir) { inputsAndDirectory(box, dir, "outdir"); }
void tempIsDirectory(Sandbox* box, const std::string& dir) { inputsAndDirectory(box, dir, "~test.tmp"); }

void linkTo(const std::string& target, const std::string& link) { ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0); }

void diffOnFullDevice(Sandbox* box, const std::string& dir)
{
    inputsOnly(box, dir);
    linkTo("/dev/full", dir + "/full");
}

// A small disk of its own, full but for room for the run log: the 1 MiB rebuilt file cannot be
// written. "d2" takes back the room its old bytes free, so that the difference file of -diff fits
// and its proof is what fails.
const size_t kMiB = 1 << 20;

void tempOnFullDisk(Sandbox* box, const std::string& dir)
{
    if (!box->mountSmallDisk(4 * kMiB)) {
        GTEST_SKIP() << "no tmpfs can be mounted here (not root)";
    }
    writeFile(dir + "/old", "old bytes");
    writeFile(dir + "/new", pattern(kMiB, 41));
    writeFile(dir + "/d", pattern(kMiB, 42));
    writeFile(dir + "/d2", std::string(kMiB + 8192, 'x'));
    box->fillDisk(64 * 1024);
}

void diffLinkedToNew(Sandbox* box, const std::string& dir)
{
    inputsOnly(box, dir);
    linkTo(dir + "/new", dir + "/alias");
}

void diffHardLinkedToOld(Sandbox* box, const std::string& dir)
{
    inputsOnly(box, dir);
    ASSERT_EQ(link((dir + "/old").c_str(), (dir + "/alias").c_str()), 0);
}

void sourceIsTemp(Sandbox* box, const std::string& dir)
{
    inputsOnly(box, dir);
    writeFile(dir + "/~test.tmp", "source in the temporary file");
}

TEST_P(FailureTest, FailsWithItsCodeAndReport)
{
    const FailureCase& c = GetParam();
    c.arrange(this, dir_);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    std::string oldBytes = read("old"), newBytes = read("new"), diffBytes = read("d");

    RunResult r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    std::string message = c.message;
    size_t at = message.find("%s");
    if (at != std::string::npos) {
        message.replace(at, 2, full(c.subject));
    }
    EXPECT_EQ(r.out, errorReport(message));
    EXPECT_EQ(read("old"), oldBytes);
    EXPECT_EQ(read("new"), newBytes);
    EXPECT_EQ(read("d"), diffBytes) << "an existing difference file stays as it was";
    std::string log = read("update_log.txt");
    EXPECT_NE(log.find("log_e: "), std::string::npos) << "the failure is logged at the error level";
}

const std::string kReadOpen = "failed to open (with read mode): %s";
const std::string kWriteOpen = "failed to open (with write mode): %s";

INSTANTIATE_TEST_SUITE_P(
    Rows, FailureTest,
    ::testing::Values(
        FailureCase{"OldMissing", {"-diff", "nothing", "new", "d"}, inputsOnly, shellStatus(MD_ERR_OLD_OPEN), kReadOpen.c_str(), "nothing"},
        FailureCase{"OldIsDirectory", {"-diff", "olddir", "new", "d"}, oldIsDirectory, shellStatus(MD_ERR_OLD_OPEN), kReadOpen.c_str(), "olddir"},
        FailureCase{"NewMissing", {"-diff", "old", "nothing", "d"}, inputsOnly, shellStatus(MD_ERR_NEW_OPEN), kReadOpen.c_str(), "nothing"},
        FailureCase{"DiffIsDirectory", {"-diff", "old", "new", "outdir"}, outIsDirectory, shellStatus(MD_ERR_DIFF_CREATE), kWriteOpen.c_str(), "outdir"},
        FailureCase{"DiffIsOld", {"-diff", "old", "new", "old"}, inputsOnly, shellStatus(MD_ERR_DIFF_CREATE), kWriteOpen.c_str(), "old"},
        FailureCase{"DiffIsNew", {"-diff", "old", "new", "new"}, inputsOnly, shellStatus(MD_ERR_DIFF_CREATE), kWriteOpen.c_str(), "new"},
        FailureCase{"DiffLinksToNew", {"-diff", "old", "new", "alias"}, diffLinkedToNew, shellStatus(MD_ERR_DIFF_CREATE), kWriteOpen.c_str(), "alias"},
        FailureCase{"DiffHardLinkOfOld", {"-diff", "old", "new", "alias"}, diffHardLinkedToOld, shellStatus(MD_ERR_DIFF_CREATE), kWriteOpen.c_str(), "alias"},
        FailureCase{"DiffOnFullDevice", {"-diff", "old", "new", "full"}, diffOnFullDevice, shellStatus(MD_ERR_DIFF_WRITE), "write error", ""},
        FailureCase{"SourceMissing", {"-update", "nothing", "d", "out"}, inputsOnly, shellStatus(MD_ERR_SOURCE_OPEN), kReadOpen.c_str(), "nothing"},
        FailureCase{"UpdateDiffMissing", {"-update", "old", "nothing", "out"}, inputsOnly, shellStatus(MD_ERR_PATCH_OPEN), kReadOpen.c_str(), "nothing"},
        FailureCase{"TempIsDirectory", {"-update", "old", "d", "out"}, tempIsDirectory, shellStatus(MD_ERR_OUTPUT_CREATE), kWriteOpen.c_str(), "~test.tmp"},
        FailureCase{"SourceIsTemp", {"-update", "~test.tmp", "d", "out"}, sourceIsTemp, shellStatus(MD_ERR_OUTPUT_CREATE), kWriteOpen.c_str(), "~test.tmp"},
        FailureCase{"TempOnFullDisk", {"-update", "old", "d", "out"}, tempOnFullDisk, shellStatus(MD_ERR_OUTPUT_WRITE), "write error", ""},
        FailureCase{"DiffTempOnFullDisk", {"-diff", "old", "new", "d2"}, tempOnFullDisk, shellStatus(MD_ERR_OUTPUT_WRITE), "write error", ""}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(Sandbox, MoveOntoDirectoryFails)
{
    write("src", "abc");
    write("d", "\x01\x01\x01");
    ASSERT_EQ(mkdir(local("outdir").c_str(), 0755), 0);
    RunResult r = run({"-update", "src", "d", "outdir"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_MOVE));
    EXPECT_EQ(r.out, errorReport("failed to rename file: '" + full("~test.tmp") + "' --> '" + full("outdir") + "'"));
    EXPECT_EQ(read("~test.tmp"), "bcd") << "the complete rebuilt output stays in the temporary file";
}

TEST_F(Sandbox, FailedUpdateLeavesTheOutputAlone)
{
    write("src", "abc");
    write("out", "previous output");
    RunResult r = run({"-update", "src", "missing", "out"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_PATCH_OPEN));
    EXPECT_EQ(read("out"), "previous output");
}

TEST_F(Sandbox, FullDiskNeverReachesTheOutput)
{
    if (!mountSmallDisk(4 << 20)) {
        GTEST_SKIP() << "no tmpfs can be mounted here (not root)";
    }
    write("src", pattern(1 << 20, 5));
    write("d", pattern(1 << 20, 6));
    write("out", "previous output");
    fillDisk(64 * 1024);
    RunResult r = run({"-update", "src", "d", "out"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_OUTPUT_WRITE));
    EXPECT_EQ(r.out, errorReport("write error"));
    EXPECT_EQ(read("out"), "previous output");
}

// ---- the trace ----

TEST_F(Sandbox, DiffRunTracesEveryStepInOrder)
{
    write("old", "abc");
    write("new", "abd");
    RunResult r = run({"-diff", "old", "new", "d"});
    ASSERT_EQ(r.status, 0);
    std::vector<std::string> trace = crLfTrace(read("update_log.txt"));
    ASSERT_GE(trace.size(), 6u);
    std::vector<std::string> work(trace.begin() + 6, trace.end());

    auto path3 = [&](const std::string& name, bool present) {
        std::vector<std::string> lines = {"log_v: in: " + name + " --> " + full(name)};
        if (!present) {
            lines.push_back("log_v: lo: ???");
            lines.push_back("log_v: sh: ???");
        }
        return lines;
    };
    std::vector<std::string> expected = {"log_v: mdMain", "log_v: argc 5", "", "log_v: argv[1] -diff",
                                         "log_v: argv[2] old", "log_v: argv[3] new", "log_v: argv[4] d"};
    for (const char* name : {"old", "new"}) {
        expected.push_back(path3(name, true)[0]);
        expected.push_back("");  // lo: of an existing file
        expected.push_back("");  // sh: of an existing file
    }
    for (const std::string& line : path3("d", false)) expected.push_back(line);
    expected.push_back("log_v: mdDoDiff('" + full("old") + "', '" + full("new") + "', '" + full("d") + "')");
    for (const std::string& line : path3("~test.tmp", false)) expected.push_back(line);
    expected.push_back("log_v: mdMakeDiff('" + full("old") + "', '" + full("new") + "', '" + full("d") + "')");
    expected.push_back("log_v: mdMakeUpdate('" + full("old") + "', '" + full("d") + "', '" + full("~test.tmp") + "')");
    expected.push_back("log_v: mdVerify('" + full("new") + "', '" + full("~test.tmp") + "')");

    ASSERT_EQ(work.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i].empty()) {
            EXPECT_EQ(work[i].rfind("log_v: ", 0), 0u) << i;
            EXPECT_EQ(work[i].find("???"), std::string::npos) << "an existing file has its forms: " << work[i];
        } else {
            EXPECT_EQ(work[i], expected[i]) << i;
        }
    }
    EXPECT_EQ(work[2].rfind("log_v: argv[0] ", 0), 0u);
    if (!underWine()) {
        EXPECT_EQ(work[8], "log_v: lo: " + full("old"));
        EXPECT_EQ(work[9], "log_v: sh: " + full("old")) << "one form only: the canonical path";
    }
}

TEST_F(Sandbox, FailedOpenTracesPresenceFirst)
{
    write("new", "x");
    ASSERT_EQ(mkdir(local("dir").c_str(), 0755), 0);
    run({"-diff", "dir", "new", "d"});
    std::vector<std::string> trace = crLfTrace(read("update_log.txt"));
    ASSERT_GE(trace.size(), 3u);
    std::vector<std::string> tail(trace.end() - 3, trace.end());
    EXPECT_EQ(tail[0], "log_v: mdMakeDiff('" + full("dir") + "', '" + full("new") + "', '" + full("d") + "')");
    EXPECT_EQ(tail[1], "log_v: PathFileExistsA('" + full("dir") + "') ==> 1");
    EXPECT_EQ(tail[2], "log_e: failed to open (with read mode): " + full("dir"));
}

TEST_F(Sandbox, DebugChannelCarriesEveryLogLine)
{
    if (!underWine()) {
        GTEST_SKIP() << "the native debugger channel is syslog; its lines are checked in the unit tests";
    }
    // Lines far longer than a debug channel's cut, besides the long header lines: a path of 600
    // bytes and more, in folders as no file name may be that long.
    std::string folder = std::string(200, 'f');
    ASSERT_EQ(mkdir(local(folder).c_str(), 0755), 0);
    ASSERT_EQ(mkdir(local(folder + "/" + folder).c_str(), 0755), 0);
    std::string name = folder + "/" + folder + "/" + std::string(200, 'n') + ".dat";
    write("old", "abc");
    write("new", "abd");
    // run() has compared every debugger line with the run log's; here the long ones are named.
    RunResult r = run({"-diff", "old", "new", name});
    ASSERT_EQ(r.status, 0);
    ASSERT_GE(r.debugLines.size(), 2u);
    EXPECT_EQ(r.debugLines[0].substr(r.debugLines[0].find("]: ") + 3), expectedFile("header1.txt") + "\n");
    EXPECT_EQ(r.debugLines[1].substr(r.debugLines[1].find("]: ") + 3), expectedFile("header2.txt") + MD_SUPPORT_ADDRESS + "\n");
    EXPECT_EQ(r.debugLines.back().substr(r.debugLines.back().find("]: ") + 3),
              "mdVerify('" + full("new") + "', '" + full("~test.tmp") + "')\n");
}

}  // namespace

namespace {

// Run with the folder made immutable: existing files can be rewritten, none created or removed.
class ImmutableFolder : public Sandbox {
protected:
    bool freeze() { return runCommand({"chattr", "+i", dir_}).status == 0; }
    void TearDown() override
    {
        runCommand({"chattr", "-i", dir_});
        Sandbox::TearDown();
    }
};

TEST_F(ImmutableFolder, TemporaryFileThatCannotBeRemovedIsAWarningOnly)
{
    if (underWine()) {
        // Wine removes a file when its last handle closes and reports DeleteFileA as done
        // before the file system has refused it.
        GTEST_SKIP() << "Wine reports the deletion as done";
    }
    write("old", "abc");
    write("new", "abd");
    write("d", "");
    write("~test.tmp", "stale");
    write("update_log.txt", "");
    if (!freeze()) {
        GTEST_SKIP() << "this file system has no immutable folders";
    }
    RunResult r = run({"-diff", "old", "new", "d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, warningReport("failed to remove tmp file: " + full("~test.tmp")));
    EXPECT_EQ(read("d"), std::string("\0\0\x01", 3));
    EXPECT_EQ(read("~test.tmp"), "abd");
    std::string log = read("update_log.txt");
    size_t at = log.find("]: failed to remove tmp file: ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(log.rfind("log_w: ", at), log.rfind("\n", at) + 1) << "logged as a warning";
}

}  // namespace
