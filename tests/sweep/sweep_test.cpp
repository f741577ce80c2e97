// The fault sweep: each workflow run under strace once per file-related system call with that one
// call failing, and once per system call with the process killed there; after each run the
// user's files must be right or as they were, and success must mean every written file is exact.
//
// By default every fault in the work on the user's files is run, and every MDIFF_SWEEP_KILL_STEP-th
// (4) of the kills and of the faults in the run log's and the debugger channel's calls;
// MDIFF_SWEEP_FULL=1 runs them all. MDIFF_SWEEP_JOBS sets how many runs go at a time (default 2).
#include "../blackbox/harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using Files = std::map<std::string, std::string>;

const size_t kMiB = 1 << 20;
const size_t kPristineSize = 3138560;

// The failure each file-related call gets; calls the program does not make are never injected.
const std::map<std::string, std::string> kFaults = {
    {"read", "EIO"},       {"pread64", "EIO"},    {"write", "ENOSPC"},         {"openat", "EACCES"},
    {"open", "EACCES"},    {"close", "EIO"},      {"fsync", "EIO"},            {"fdatasync", "EIO"},
    {"rename", "EIO"},     {"renameat", "EIO"},   {"renameat2", "EIO"},        {"unlink", "EIO"},
    {"unlinkat", "EIO"},   {"newfstatat", "EIO"}, {"fstat", "EIO"},            {"stat", "EIO"},
    {"lstat", "EIO"},      {"ftruncate", "EIO"},  {"lseek", "EIO"},            {"copy_file_range", "EIO"},
    {"flock", "EAGAIN"},   {"fchmod", "EPERM"},   {"chmod", "EPERM"},          {"fchmodat", "EPERM"},
    {"readlink", "EIO"},   {"getcwd", "EIO"},     {"sendfile", "EIO"},
};

// Exit statuses of the documented result codes, as a shell sees them.
const std::set<int> kDocumented = {
    shellStatus(MD_OK),                   shellStatus(MD_ERR_USAGE),          shellStatus(MD_ERR_OLD_OPEN),
    shellStatus(MD_ERR_NEW_OPEN),         shellStatus(MD_ERR_DIFF_CREATE),    shellStatus(MD_ERR_DIFF_WRITE),
    shellStatus(MD_ERR_SOURCE_OPEN),      shellStatus(MD_ERR_PATCH_OPEN),     shellStatus(MD_ERR_OUTPUT_CREATE),
    shellStatus(MD_ERR_TEMP_IN_USE),      shellStatus(MD_ERR_OUTPUT_WRITE),   shellStatus(MD_ERR_REFERENCE_OPEN),
    shellStatus(MD_ERR_CANDIDATE_OPEN),   shellStatus(MD_ERR_SIZE_MISMATCH),  shellStatus(MD_ERR_CONTENT_MISMATCH),
    shellStatus(MD_ERR_MOVE),             shellStatus(MD_ERR_ZEL_MISSING),    shellStatus(MD_ERR_ZEL_SIZE)};

// One workflow: the files laid before each run, and what each file may be afterwards.
struct Workflow {
    std::string name;
    std::vector<std::string> args;
    Files before;
    Files after;                   // every file the run writes, as a successful run leaves it
    std::set<std::string> inputs;  // never written
    std::set<std::string> free;    // may hold anything after a failure (written in place by design)
};

Workflow diffWorkflow()
{
    std::string oldBytes = pattern(3 * kMiB + 1000, 1);
    std::string newBytes = pattern(3 * kMiB + 5000, 2);
    // A difference file written in place: after a failure it holds what was written (-4).
    return {"Diff", {"-diff", "old", "new", "d"}, {{"old", oldBytes}, {"new", newBytes}, {"d", "previous"}},
            {{"d", subtractBytes(oldBytes, newBytes)}}, {"old", "new"}, {"d"}};
}

Workflow updateWorkflow()
{
    std::string source = pattern(3 * kMiB + 7000, 3);
    std::string diff = pattern(3 * kMiB + 2000, 4);
    return {"UpdateToAnotherFile", {"-update", "src", "d", "out"},
            {{"src", source}, {"d", diff}, {"out", "previous output"}}, {{"out", addBytes(source, diff)}}, {"src", "d"}, {}};
}

Workflow updateInPlaceWorkflow()
{
    std::string app = pattern(3 * kMiB + 3000, 5);
    std::string diff = pattern(3 * kMiB + 9000, 6);
    return {"UpdateInPlace", {"-update", "app", "d", "app"}, {{"app", app}, {"d", diff}}, {{"app", addBytes(app, diff)}},
            {"d"}, {}};
}

Workflow zelPristineWorkflow()
{
    std::string exe = pattern(kPristineSize, 7);
    std::string diff = pattern(kPristineSize + 4096, 8);
    return {"ZelFromPristineExe", {"-zelupdate", "x", "x", "x"},
            {{"zel.exe", exe}, {"zel.diff", diff}, {"zel.exe.backup", "an older backup"}},
            {{"zel.exe", addBytes(exe, diff)}, {"zel.exe.backup", exe}}, {"zel.diff"}, {}};
}

Workflow zelOriginalWorkflow()
{
    std::string original = pattern(kPristineSize, 9);
    std::string exe = pattern(kPristineSize + 4096, 10);
    std::string diff = pattern(kPristineSize + 8192, 11);
    return {"ZelFromOriginal", {"-zelupdate", "x", "x", "x"},
            {{"zel.original", original}, {"zel.exe", exe}, {"zel.diff", diff}, {"zel.exe.backup", "an older backup"}},
            {{"zel.exe", addBytes(original, diff)}, {"zel.exe.backup", exe}}, {"zel.original", "zel.diff"}, {}};
}

// One point of the sweep: the n-th call of a system call, failed with an error or killed there.
struct Point {
    std::string syscall;
    int number;
    std::string error;     // empty: SIGKILL
    bool channel = false;  // a call of the run log or the debugger channel (syslog's socket)
    std::string describe() const
    {
        return syscall + " #" + std::to_string(number) + (error.empty() ? " killed" : " failing with " + error);
    }
};

void layFiles(const std::string& dir, const Files& files)
{
    for (const auto& [name, bytes] : files) {
        if (!writeWholeFile(dir + "/" + name, bytes)) {
            ADD_FAILURE() << "cannot lay " << name;
        }
    }
}

void emptyFolder(const std::string& dir)
{
    std::string command = "rm -rf '" + dir + "' && mkdir '" + dir + "'";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "cannot empty " << dir;
    }
}

// Runs argv in dir and returns the wait status.
int runIn(const std::string& dir, const std::vector<std::string>& argv)
{
    // Everything the child needs is made before the fork: the other worker thread may hold a lock.
    std::vector<char*> ptrs;
    for (const std::string& a : argv) {
        ptrs.push_back(const_cast<char*>(a.c_str()));
    }
    ptrs.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        if (chdir(dir.c_str()) != 0 || null < 0) {
            _exit(126);
        }
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execvp(ptrs[0], ptrs.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

std::string program() { return std::getenv("MDIFF_PROGRAM") != nullptr ? std::getenv("MDIFF_PROGRAM") : ""; }

std::vector<std::string> straceArgv(const std::vector<std::string>& options, const Workflow& w)
{
    std::vector<std::string> argv = {"strace", "-f", "-qq"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(program());
    argv.insert(argv.end(), w.args.begin(), w.args.end());
    return argv;
}

// The name of the call on a line of strace's "[PID ]name(args) = result"; "" for a signal, an exit
// or a call's resumption.
std::string callName(const std::string& line)
{
    // The PID is padded to five places: one or more blanks follow it.
    size_t begin = 0;
    if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) != 0) {
        begin = line.find_first_not_of("0123456789");
        begin = begin == std::string::npos ? line.size() : line.find_first_not_of(' ', begin);
        begin = begin == std::string::npos ? line.size() : begin;
    }
    size_t paren = line.find('(', begin);
    if (paren == std::string::npos || paren == begin) {
        return "";
    }
    std::string name = line.substr(begin, paren - begin);
    for (char c : name) {
        if (std::islower(static_cast<unsigned char>(c)) == 0 && std::isdigit(static_cast<unsigned char>(c)) == 0 &&
            c != '_') {
            return "";
        }
    }
    return name;
}

// The first argument of a call as a number (a file descriptor), -1 when it is none.
long firstArgument(const std::string& line)
{
    size_t paren = line.find('(');
    const char* start = line.c_str() + paren + 1;
    char* end = nullptr;
    long value = std::strtol(start, &end, 10);
    return end != start && (*end == ',' || *end == ')') ? value : -1;
}

// The result of a call ("= N"), -1 when it failed or has none.
long result(const std::string& line)
{
    size_t at = line.rfind(") = ");
    return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + 4, nullptr, 10);
}

// The system calls of one run, in order, from the opening of the run log on, each with its
// number among the calls of its name since the start (the count strace's "when=" takes).
std::vector<Point> listCalls(const std::string& dir, const Workflow& w)
{
    emptyFolder(dir);
    layFiles(dir, w.before);
    std::string traceFile = dir + ".trace";
    runIn(dir, straceArgv({"-o", traceFile}, w));
    std::ifstream in(traceFile);
    std::vector<Point> calls;
    std::map<std::string, int> counts;
    std::set<long> channelFds;
    bool started = false;
    std::string line;
    while (std::getline(in, line)) {
        std::string name = callName(line);
        if (name.empty()) {
            continue;
        }
        int number = ++counts[name];
        // The run log's opening starts with the removal of whatever stands under its name.
        bool opensLog = line.find("\"update_log.txt\"") != std::string::npos;
        started = started || opensLog;
        long fd = firstArgument(line);
        bool channel = opensLog || name == "socket" || name == "connect" || channelFds.count(fd) != 0;
        if ((opensLog && name == "openat") || name == "socket") {
            channelFds.insert(result(line));
        } else if (name == "close") {
            channelFds.erase(fd);
        }
        if (started && name != "exit_group") {
            calls.push_back({name, number, "", channel});
        }
    }
    unlink(traceFile.c_str());
    return calls;
}

// What is wrong with the files and the status after one run, or "" when it held.
std::string judge(const std::string& dir, const Workflow& w, int status, bool killPoint)
{
    std::ostringstream wrong;
    bool exited = WIFEXITED(status);
    int code = exited ? WEXITSTATUS(status) : -1;
    if (!exited && !(killPoint && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)) {
        wrong << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << "; ";
    }
    if (exited && kDocumented.count(code) == 0) {
        wrong << "exit status " << code << " is no documented result; ";
    }
    for (const auto& [name, before] : w.before) {
        std::string now;
        bool present = readWholeFile(dir + "/" + name, &now);
        auto written = w.after.find(name);
        bool asBefore = present && now == before;
        bool asAfter = present && written != w.after.end() && now == written->second;
        if (w.inputs.count(name) != 0 && !asBefore) {
            wrong << "input " << name << " changed; ";
        } else if (exited && code == 0 && written != w.after.end() && !asAfter &&
                   !(name == "zel.exe.backup" && asBefore)) {
            // A backup that failed is a warning only: the older backup may stay.
            wrong << "success, but " << name << " is not exact; ";
        } else if (w.free.count(name) == 0 && !asBefore && !asAfter) {
            wrong << name << " is neither as before nor complete (" << (present ? now.size() : 0) << " bytes); ";
        }
    }
    for (const auto& [name, bytes] : w.after) {
        if (w.before.count(name) != 0) {
            continue;
        }
        std::string now;
        bool present = readWholeFile(dir + "/" + name, &now);
        if (exited && code == 0 && now != bytes) {
            wrong << "success, but " << name << " is not exact; ";
        } else if (present && now != bytes && w.free.count(name) == 0) {
            wrong << name << " is partial; ";
        }
    }
    return wrong.str();
}

int envNumber(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

// A workflow by name; its files are made only when its test runs.
struct WorkflowCase {
    const char* name;
    Workflow (*make)();
};

void PrintTo(const WorkflowCase& c, std::ostream* os) { *os << c.name; }

class Sweep : public ::testing::TestWithParam<WorkflowCase> {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(program().empty()) << "MDIFF_PROGRAM names no program";
        // No desktop: a failed run never starts the log viewer, so it stays one process.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        ASSERT_EQ(std::system("strace -V >/dev/null 2>&1"), 0) << "no strace (tools/install-deps installs it)";
        // A memory file system where there is one: a few hundred runs of a few MB each.
        char pattern[] = "/dev/shm/mds.XXXXXX";
        char fallback[] = "/tmp/mds.XXXXXX";
        const char* made = access("/dev/shm", W_OK) == 0 ? mkdtemp(pattern) : nullptr;
        made = made != nullptr ? made : mkdtemp(fallback);
        ASSERT_NE(made, nullptr);
        root_ = made;
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + root_ + "'";
        if (!root_.empty() && std::system(command.c_str()) != 0) {
            ADD_FAILURE() << "cannot remove " << root_;
        }
    }
    std::string root_;
};

TEST_P(Sweep, EveryFaultAndKillLeavesTheFilesRight)
{
    const Workflow w = GetParam().make();
    // Slots of one depth, so that every run makes the same calls as the listed one.
    std::vector<Point> calls = listCalls(root_ + "/s0", w);
    ASSERT_GT(calls.size(), 10u) << "strace listed no calls after the run log's opening";

    bool full = std::getenv("MDIFF_SWEEP_FULL") != nullptr && std::string(std::getenv("MDIFF_SWEEP_FULL")) == "1";
    int killStep = full ? 1 : envNumber("MDIFF_SWEEP_KILL_STEP", 4);
    // Every fault in the work on the user's files; of the run log's and the debugger channel's
    // calls, whose failures the run outlives by design, and of the kills, every killStep-th.
    std::vector<Point> points;
    size_t channelCalls = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        auto fault = kFaults.find(calls[i].syscall);
        bool sampled = !calls[i].channel || channelCalls++ % static_cast<size_t>(killStep) == 0;
        if (fault != kFaults.end() && sampled) {
            points.push_back({calls[i].syscall, calls[i].number, fault->second, calls[i].channel});
        }
        if (i % static_cast<size_t>(killStep) == 0) {
            points.push_back(calls[i]);
        }
    }

    std::atomic<size_t> next{0};
    std::atomic<int> held{0};
    std::mutex reportLock;
    std::vector<std::string> violations;
    auto worker = [&](int slot) {
        std::string dir = root_ + "/s" + std::to_string(slot);
        for (size_t i = next++; i < points.size(); i = next++) {
            const Point& p = points[i];
            emptyFolder(dir);
            layFiles(dir, w.before);
            std::string action = p.error.empty() ? "signal=SIGKILL" : "error=" + p.error;
            std::string inject = "inject=" + p.syscall + ":" + action + ":when=" + std::to_string(p.number);
            int status = runIn(dir, straceArgv({"-o", "/dev/null", "-e", inject}, w));
            std::string wrong = judge(dir, w, status, p.error.empty());
            if (wrong.empty()) {
                ++held;
            } else {
                std::lock_guard<std::mutex> guard(reportLock);
                violations.push_back(p.describe() + ": " + wrong);
            }
        }
    };
    std::vector<std::thread> workers;
    int jobs = envNumber("MDIFF_SWEEP_JOBS", 2);
    for (int slot = 0; slot < jobs; ++slot) {
        workers.emplace_back(worker, slot);
    }
    for (std::thread& t : workers) {
        t.join();
    }

    std::printf("sweep %s: %zu calls listed, %zu points run (kill every %d), %d held, %zu violations\n",
                w.name.c_str(), calls.size(), points.size(), killStep, held.load(), violations.size());
    std::fflush(stdout);
    for (const std::string& v : violations) {
        ADD_FAILURE() << w.name << ": " << v;
    }
}

INSTANTIATE_TEST_SUITE_P(Workflows, Sweep,
                         ::testing::Values(WorkflowCase{"Diff", diffWorkflow},
                                           WorkflowCase{"UpdateToAnotherFile", updateWorkflow},
                                           WorkflowCase{"UpdateInPlace", updateInPlaceWorkflow},
                                           WorkflowCase{"ZelFromPristineExe", zelPristineWorkflow},
                                           WorkflowCase{"ZelFromOriginal", zelOriginalWorkflow}),
                         [](const ::testing::TestParamInfo<WorkflowCase>& info) { return std::string(info.param.name); });

}  // namespace
