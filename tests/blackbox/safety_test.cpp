// What the tool guarantees about the user's files: concurrent runs, odd arguments, replacing safely.
#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

// Whether the process holds a descriptor of the folder: it opens the folder to lock it, and keeps
// it open while it waits for the lock.
bool holdsFolder(int pid, const std::string& folder)
{
    std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(fds.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        char target[4096];
        ssize_t length = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        found = found || (length > 0 && folder == std::string(target, static_cast<size_t>(length)));
    }
    closedir(dir);
    return found;
}

// Waits (at most 20 s) until the run has opened the folder to lock it.
bool waitUntilTrying(int pid, const std::string& folder)
{
    for (int waited = 0; waited < 20000; waited += 10) {
        if (holdsFolder(pid, folder)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(Sandbox, ConcurrentRunsInOneFolderEachGetTheirOwnResult)
{
    const int kRuns = underWine() ? 6 : 12;
    std::vector<Started> started;
    for (int i = 0; i < kRuns; ++i) {
        std::string n = std::to_string(i);
        write("src" + n, pattern(200000 + i * 1000, i));
        write("d" + n, pattern(210000 + i * 777, 100 + i));
    }
    for (int i = 0; i < kRuns; ++i) {
        std::string n = std::to_string(i);
        started.push_back(start({"-update", "src" + n, "d" + n, "out" + n}));
    }
    for (int i = 0; i < kRuns; ++i) {
        std::string n = std::to_string(i);
        RunResult r = finish(started[i]);
        // Each run waits its turn for the shared temporary file (the wait is long enough for a
        // dozen runs), then makes exactly its own output.
        EXPECT_EQ(r.status, shellStatus(MD_OK)) << "run " << i << ": " << r.out;
        EXPECT_EQ(read("out" + n), addBytes(read("src" + n), read("d" + n))) << "run " << i;
    }
    EXPECT_FALSE(exists("~test.tmp"));
}

TEST_F(Sandbox, RunWaitsWhileAnotherHoldsTheTemporaryFile)
{
    if (underWine()) {
        GTEST_SKIP() << "the hold is a named mutex there; the concurrent runs above cover it";
    }
    write("src", "abc");
    write("d", "\x01\x01\x01");
    // CLOEXEC: the program must not inherit the held lock.
    int folder = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(flock(folder, LOCK_EX), 0);
    Started run = start({"-update", "src", "d", "out"});
    ASSERT_TRUE(waitUntilTrying(run.pid, dir_)) << "the run never reached the lock";
    EXPECT_FALSE(exists("~test.tmp")) << "nothing written while another run holds the file";
    EXPECT_FALSE(exists("out"));
    close(folder);
    RunResult r = finish(run);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("out"), "bcd");
}

// ---- odd arguments: never a crash, never a file outside the names given ----

struct OddCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<int> statuses;          // any of these
    std::vector<std::string> created;   // names the run adds, besides the run log
    bool nativeOnly;
};

void PrintTo(const OddCase& c, std::ostream* os) { *os << c.name; }

class OddArguments : public Sandbox, public ::testing::WithParamInterface<OddCase> {};

TEST_P(OddArguments, FailOrWriteOnlyWhatWasNamed)
{
    const OddCase& c = GetParam();
    if (c.nativeOnly && underWine()) {
        GTEST_SKIP() << "Wine turns the argument's bytes into another code page";
    }
    write("old", "old bytes");
    write("new", "new bytes!");
    std::vector<std::string> before = listing();
    RunResult r = run(c.args);
    EXPECT_LT(r.status, 256) << "no crash";
    EXPECT_NE(std::find(c.statuses.begin(), c.statuses.end(), r.status), c.statuses.end()) << r.status << r.out;
    std::vector<std::string> expected = before;
    expected.push_back("update_log.txt");
    expected.insert(expected.end(), c.created.begin(), c.created.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listing(), expected);
    EXPECT_EQ(read("old"), "old bytes");
    EXPECT_EQ(read("new"), "new bytes!");
}

std::string longName(size_t n) { return std::string(n, 'a'); }

INSTANTIATE_TEST_SUITE_P(
    Table, OddArguments,
    ::testing::Values(
        OddCase{"EmptyDiffArguments", {"-diff", "", "", ""}, {shellStatus(MD_ERR_OLD_OPEN)}, {}, false},
        OddCase{"EmptyUpdateArguments", {"-update", "", "", ""}, {shellStatus(MD_ERR_SOURCE_OPEN)}, {}, false},
        OddCase{"EmptyKeyword", {"", "old", "new", "d"}, {shellStatus(MD_ERR_USAGE)}, {}, false},
        OddCase{"Name1023", {"-diff", "old", "new", longName(1023)}, {shellStatus(MD_ERR_DIFF_CREATE)}, {}, false},
        OddCase{"Name1024", {"-diff", "old", "new", longName(1024)}, {shellStatus(MD_ERR_DIFF_CREATE)}, {}, false},
        OddCase{"Name40000", {"-diff", "old", "new", longName(40000)}, {shellStatus(MD_ERR_DIFF_CREATE)}, {}, true},
        OddCase{"KeywordOf40000", {longName(40000), "old", "new", "d"}, {shellStatus(MD_ERR_USAGE)}, {}, true},
        OddCase{"UpdateOutputOf1024", {"-update", "old", "new", longName(1024)}, {shellStatus(MD_ERR_MOVE)}, {}, false},
        OddCase{"Blanks", {"-diff", "old", "new", "with blank.dat"}, {0}, {"with blank.dat"}, false},
        OddCase{"Wildcards", {"-diff", "old", "new", "*.d?t"}, {0}, {"*.d?t"}, true},
        OddCase{"ShiftJisName", {"-diff", "old", "new", "\x83\x5c\x83\x74\x83\x67.dat"}, {0},
                {"\x83\x5c\x83\x74\x83\x67.dat"}, true},
        OddCase{"DeviceAsDifferenceFile", {"-diff", "old", "new", "/dev/null"}, {shellStatus(MD_ERR_SIZE_MISMATCH)}, {"~test.tmp"}, false}),
    [](const ::testing::TestParamInfo<OddCase>& info) { return std::string(info.param.name); });

TEST_F(Sandbox, DifferenceFileMayBeTheOutput)
{
    write("src", "abc");
    write("d", "\x01\x01\x01");
    EXPECT_EQ(run({"-update", "src", "d", "d"}).status, 0);
    EXPECT_EQ(read("d"), "bcd");
    EXPECT_EQ(listing(), (std::vector<std::string>{"d", "src", "update_log.txt"}));
}

TEST_F(Sandbox, OutputInAMissingFolderKeepsTheRebuiltFile)
{
    write("src", "abc");
    write("d", "\x01\x01\x01");
    RunResult r = run({"-update", "src", "d", "nofolder/out"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_MOVE));
    EXPECT_EQ(read("~test.tmp"), "bcd");
    EXPECT_EQ(listing(), (std::vector<std::string>{"d", "src", "update_log.txt", "~test.tmp"}));
}

// ---- replacing on Linux: permissions, other file systems ----

TEST_F(Sandbox, ReplacedFileKeepsItsPermissions)
{
    if (underWine()) {
        GTEST_SKIP() << "Windows files carry no permission bits of this kind";
    }
    write("app", "abc");
    write("d", "\x01\x01\x01");
    ASSERT_EQ(chmod(local("app").c_str(), 0751), 0);
    ASSERT_EQ(run({"-update", "app", "d", "app"}).status, 0);
    struct stat info;
    ASSERT_EQ(stat(local("app").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0751u);
    EXPECT_EQ(read("app"), "bcd");
}

TEST_F(Sandbox, OutputOnAnotherFileSystemIsReplacedWhole)
{
    char pattern[] = "/dev/shm/mdx.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        GTEST_SKIP() << "no /dev/shm here";
    }
    std::string other = pattern;
    write("src", std::string(100000, 'a'));
    write("d", std::string(100000, '\x01'));
    std::string out = other + "/out";
    FILE* f = std::fopen(out.c_str(), "wb");
    std::fputs("previous", f);
    std::fclose(f);

    RunResult r = run({"-update", "src", "d", underWine() ? "Z:" + out : out});
    EXPECT_EQ(r.status, 0) << r.out;
    FILE* in = std::fopen(out.c_str(), "rb");
    std::string bytes(200000, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    EXPECT_EQ(bytes, std::string(100000, 'b'));
    EXPECT_FALSE(exists("~test.tmp"));
    EXPECT_NE(access((out + ".~test.tmp").c_str(), F_OK), 0) << "nothing left beside the output";
    unlink(out.c_str());
    rmdir(other.c_str());
}

}  // namespace

namespace {

// ---- an empty output name: the rebuild first, then the move fails ----

struct EmptyOutputCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string report;  // "%t" stands for the temporary file's full path, "%s" for the subject's
    const char* subject;
    bool rebuilt;        // ~test.tmp holds the rebuilt file afterwards
};

void PrintTo(const EmptyOutputCase& c, std::ostream* os) { *os << c.name; }

class EmptyOutputName : public Sandbox, public ::testing::WithParamInterface<EmptyOutputCase> {};

TEST_P(EmptyOutputName, StepsComeInTheirOrder)
{
    const EmptyOutputCase& c = GetParam();
    write("src", "abc");
    write("d", "\x01\x01\x01");
    RunResult r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    std::string report = c.report;
    size_t at = report.find("%t");
    if (at != std::string::npos) {
        report.replace(at, 2, full("~test.tmp"));
    }
    at = report.find("%s");
    if (at != std::string::npos) {
        report.replace(at, 2, full(c.subject));
    }
    std::string progress = c.args[1] == "-verbose" ? expectedFile("patching.txt") : "";
    EXPECT_EQ(r.out, progress + errorReport(report));
    std::vector<std::string> expected = {"d", "src", "update_log.txt"};
    if (c.rebuilt) {
        expected.push_back("~test.tmp");
        EXPECT_EQ(read("~test.tmp"), "bcd") << "the rebuilt output stays in the temporary file";
    }
    EXPECT_EQ(listing(), expected);
    EXPECT_EQ(read("src"), "abc");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EmptyOutputName,
    ::testing::Values(
        EmptyOutputCase{"MoveFails", {"-update", "src", "d", ""}, shellStatus(MD_ERR_MOVE), "failed to rename file: '%t' --> ''", "",
                        true},
        EmptyOutputCase{"SourceMissing", {"-update", "nothing", "d", ""}, shellStatus(MD_ERR_SOURCE_OPEN),
                        "failed to open (with read mode): %s", "nothing", false},
        EmptyOutputCase{"DiffMissing", {"-update", "src", "nothing", ""}, shellStatus(MD_ERR_PATCH_OPEN),
                        "failed to open (with read mode): %s", "nothing", false},
        EmptyOutputCase{"Verbose", {"-update", "-verbose", "src", "d", ""}, shellStatus(MD_ERR_MOVE),
                        "failed to rename file: '%t' --> ''", "", true}),
    [](const ::testing::TestParamInfo<EmptyOutputCase>& info) { return std::string(info.param.name); });

// ---- a file another program holds for a moment (Windows share modes) ----

class HeldFile : public Sandbox {
protected:
    // Starts the holder on a name in the folder and returns once the file is held. With a release
    // file, the holder lets go as soon as it exists (runUntilItWaits makes it).
    Started hold(const std::string& name, int ms, const std::string& release = "")
    {
        std::vector<std::string> argv = {std::getenv("MDIFF_WRAPPER"), std::getenv("MDIFF_HOLDER"), name,
                                         std::to_string(ms)};
        if (!release.empty()) {
            argv.push_back(release);
        }
        Started holder = startCommand(argv);
        for (int waited = 0; waited < 20000; waited += 20) {
            FILE* f = std::fopen(holder.outPath.c_str(), "rb");
            char line[16] = "";
            if (f != nullptr) {
                if (std::fgets(line, sizeof line, f) == nullptr) {
                    line[0] = '\0';
                }
                std::fclose(f);
            }
            if (std::string(line) == "held\n" || std::string(line) == "held\r\n") {
                return holder;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "the holder never held " << name;
        return holder;
    }

    void SetUp() override
    {
        Sandbox::SetUp();
        if (!underWine()) {
            GTEST_SKIP() << "POSIX files have no share modes";
        }
        ASSERT_NE(std::getenv("MDIFF_HOLDER"), nullptr) << "MDIFF_HOLDER names no holder program";
    }

    // A file outside the folder, named from the folder (the holder runs in it).
    std::string releaseName() const { return "../" + dir_.substr(dir_.rfind('/') + 1) + ".release"; }

    // Runs the program while a file is held; once its run log shows that it waits for the file,
    // lets the holder go (whatever the time Wine takes to start it).
    RunResult runUntilItWaits(const std::vector<std::string>& args)
    {
        Started run = start(args);
        for (int waited = 0; waited < 20000 && waitLines(false) == 0; waited += 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::string release = dir_ + ".release";
        EXPECT_TRUE(writeWholeFile(release, ""));
        RunResult r = finish(run);
        unlink(release.c_str());
        expectDebugChannelIsTheLog(r, read("update_log.txt"));
        return r;
    }

    // The run log's lines that say the program waits for a held file; checked: each a warning.
    size_t waitLines(bool checked = true)
    {
        std::string log = read("update_log.txt");
        size_t count = 0;
        for (size_t at = log.find("]: file held by another program"); at != std::string::npos;
             at = log.find("]: file held by another program", at + 1)) {
            if (checked) {
                EXPECT_EQ(log.rfind("log_w: ", at), log.rfind("\n", at) + 1) << "logged as a warning";
            }
            ++count;
        }
        return count;
    }
};

TEST_F(HeldFile, OutputHeldForAMomentIsReplacedAfterAWait)
{
    write("src", "abc");
    write("d", "\x01\x01\x01");
    write("out", "previous output");
    Started holder = hold("out", 20000, releaseName());
    RunResult r = runUntilItWaits({"-update", "src", "d", "out"});
    EXPECT_EQ(finish(holder).status, 0);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read("out"), "bcd");
    EXPECT_FALSE(exists("~test.tmp"));
    EXPECT_EQ(waitLines(), 1u) << "one warning when the wait starts";
}

TEST_F(HeldFile, OutputHeldPastTheWaitFailsAsBefore)
{
    write("src", "abc");
    write("d", "\x01\x01\x01");
    write("out", "previous output");
    Started holder = hold("out", 8000);
    RunResult r = run({"-update", "src", "d", "out"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_MOVE));
    EXPECT_EQ(r.out, errorReport("failed to rename file: '" + full("~test.tmp") + "' --> '" + full("out") + "'"));
    EXPECT_EQ(finish(holder).status, 0);
    EXPECT_EQ(read("out"), "previous output");
    EXPECT_EQ(read("~test.tmp"), "bcd");
    EXPECT_EQ(waitLines(), 1u);
}

TEST_F(HeldFile, BackupHeldForAMomentIsStillWritten)
{
    write("zel.original", "abc");
    write("zel.exe", "the installed program");
    write("zel.diff", "\x01\x01\x01");
    write("zel.exe.backup", "an older backup");
    Started holder = hold("zel.exe.backup", 20000, releaseName());
    RunResult r = runUntilItWaits({"-zelupdate", "x", "x", "x"});
    EXPECT_EQ(finish(holder).status, 0);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("zel.exe.backup"), "the installed program");
    EXPECT_EQ(read("zel.exe"), "bcd");
    EXPECT_EQ(waitLines(), 1u);
}

// ---- an output on another volume: a whole copy beside it, then a move there ----

class OtherVolume : public Sandbox {
protected:
    void SetUp() override
    {
        Sandbox::SetUp();
        mount_ = dir_ + ".vol";
        ASSERT_EQ(mkdir(mount_.c_str(), 0755), 0);
        if (runCommand({"mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", mount_}).status != 0) {
            rmdir(mount_.c_str());
            mount_.clear();
            GTEST_SKIP() << "no tmpfs can be mounted here";
        }
        if (underWine()) {
            // A drive letter of its own for the small file system, as a second disk.
            drive_ = winePrefix() + "/dosdevices/m:";
            unlink(drive_.c_str());
            ASSERT_EQ(symlink(mount_.c_str(), drive_.c_str()), 0) << drive_;
        }
    }

    void TearDown() override
    {
        if (!drive_.empty()) {
            unlink(drive_.c_str());
        }
        if (!mount_.empty()) {
            runCommand({"umount", mount_});
            rmdir(mount_.c_str());
        }
        Sandbox::TearDown();
    }

    // The output's name as the program is given it.
    std::string outputArg() const { return underWine() ? "M:\\out" : mount_ + "/out"; }

    std::string readOutput(const std::string& name) const
    {
        FILE* f = std::fopen((mount_ + "/" + name).c_str(), "rb");
        if (f == nullptr) {
            return "(missing)";
        }
        std::string bytes(400000, '\0');
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        return bytes;
    }

    void writeOutput(const std::string& bytes)
    {
        FILE* f = std::fopen((mount_ + "/out").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    std::string mount_;
    std::string drive_;
};

TEST_F(OtherVolume, OutputIsReplacedWhole)
{
    write("src", std::string(100000, 'a'));
    write("d", std::string(100000, '\x01'));
    writeOutput("previous");
    RunResult r = run({"-update", "src", "d", outputArg()});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readOutput("out"), std::string(100000, 'b'));
    EXPECT_EQ(readOutput("out.~test.tmp"), "(missing)") << "nothing left beside the output";
    EXPECT_FALSE(exists("~test.tmp"));
}

TEST_F(OtherVolume, FullVolumeLeavesTheOutputAsItWas)
{
    // 400 kB do not fit the 256 kB file system: the copy beside the output fails part way.
    write("src", std::string(400000, 'a'));
    write("d", std::string(400000, '\x01'));
    writeOutput("previous");
    RunResult r = run({"-update", "src", "d", outputArg()});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_MOVE));
    EXPECT_EQ(readOutput("out"), "previous");
    EXPECT_EQ(readOutput("out.~test.tmp"), "(missing)") << "the partial copy is removed";
    EXPECT_EQ(read("~test.tmp"), std::string(400000, 'b')) << "the complete rebuilt output stays";
}

}  // namespace
