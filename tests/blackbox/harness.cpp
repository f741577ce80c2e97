// The black-box harness: a scratch folder per test, the program started in it, its output kept.
#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

std::string envOr(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

void removeTree(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    removeTree(path + "/" + name);
                }
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

// The debugger tool's record: each string as its length in decimal, a line feed, its bytes.
std::vector<std::string> debugRecord(const std::string& record)
{
    std::vector<std::string> strings;
    size_t at = 0;
    while (at < record.size()) {
        size_t lf = record.find('\n', at);
        if (lf == std::string::npos) {
            ADD_FAILURE() << "debugger record ends inside a length";
            break;
        }
        size_t length = std::strtoul(record.substr(at, lf - at).c_str(), nullptr, 10);
        if (lf + 1 + length > record.size()) {
            ADD_FAILURE() << "debugger record ends inside a string";
            break;
        }
        strings.push_back(record.substr(lf + 1, length));
        at = lf + 1 + length;
    }
    return strings;
}

// The Windows form of a path of this machine: Wine maps the Unix root to drive Z:.
std::string wineForm(const std::string& path)
{
    std::string form = "Z:" + path;
    std::replace(form.begin(), form.end(), '/', '\\');
    return form;
}

}  // namespace

bool underWine()
{
    return !envOr("MDIFF_WRAPPER", "").empty();
}

void Sandbox::SetUp()
{
    // Short names keep Wine's debug channel lines under its length limit.
    char pattern[] = "/tmp/mdb.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    char real[4096];
    ASSERT_NE(realpath(pattern, real), nullptr);
    dir_ = real;
}

void Sandbox::TearDown()
{
    if (mounted_) {
        umount2(dir_.c_str(), MNT_DETACH);
    }
    removeTree(dir_);
}

bool Sandbox::mountSmallDisk(size_t bytes)
{
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted_ = mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    return mounted_;
}

void Sandbox::fillDisk(size_t freeBytes)
{
    struct statvfs info;
    ASSERT_EQ(statvfs(dir_.c_str(), &info), 0);
    size_t available = static_cast<size_t>(info.f_bavail) * info.f_frsize;
    ASSERT_GT(available, freeBytes);
    write("filler", std::string(available - freeBytes, 'f'));
}

std::vector<std::string> Sandbox::programArgv(const std::vector<std::string>& args, std::vector<std::string>* env)
{
    std::string program = envOr("MDIFF_PROGRAM", "");
    std::string wrapper = envOr("MDIFF_WRAPPER", "");
    EXPECT_FALSE(program.empty()) << "MDIFF_PROGRAM names no program";
    std::vector<std::string> argv;
    if (!wrapper.empty()) {
        // The program runs as the debuggee of the debugger tool, which records each debugger
        // string whole (Wine's own debugstr channel cuts long ones).
        std::string debugger = envOr("MDIFF_DEBUGGER", "");
        EXPECT_FALSE(debugger.empty()) << "MDIFF_DEBUGGER names no debugger tool";
        argv.push_back(wrapper);
        argv.push_back(debugger);
        env->insert(env->begin(), "WINEDEBUG=-all,+exec");
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

RunResult Sandbox::run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env = extraEnv;
    std::vector<std::string> argv = programArgv(args, &env);
    RunResult result = runCommand(argv, env);
    // Every run that wrote its log: the debugger saw exactly the log's lines.
    struct stat info;
    if (underWine() && lstat(local("update_log.txt").c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        expectDebugChannelIsTheLog(result, read("update_log.txt"));
    }
    return result;
}

RunResult Sandbox::runCommand(std::vector<std::string> argv, const std::vector<std::string>& extraEnv)
{
    return finish(spawn(std::move(argv), extraEnv));
}

Sandbox::Started Sandbox::startCommand(std::vector<std::string> argv, const std::vector<std::string>& extraEnv)
{
    return spawn(std::move(argv), extraEnv);
}

Sandbox::Started Sandbox::start(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env = extraEnv;
    std::vector<std::string> argv = programArgv(args, &env);
    return spawn(argv, env);
}

Sandbox::Started Sandbox::spawn(std::vector<std::string> argv, const std::vector<std::string>& extraEnv)
{
    std::vector<char*> argvPtrs;
    for (std::string& a : argv) {
        argvPtrs.push_back(a.data());
    }
    argvPtrs.push_back(nullptr);

    // Output goes to files beside the sandbox, so that the sandbox holds only what the program made.
    Started started;
    std::string stem = dir_ + ".run" + std::to_string(runs_++);
    started.outPath = stem + ".out";
    started.errPath = stem + ".err";
    started.debugPath = stem + ".dbg";
    std::string debugRecordAssignment = "MDIFF_DEBUG_RECORD=" + wineForm(started.debugPath);
    started.pid = fork();
    if (started.pid == 0) {
        if (chdir(dir_.c_str()) != 0) {
            _exit(126);
        }
        int in = open("/dev/null", O_RDONLY);
        int out = open(started.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        putenv(debugRecordAssignment.data());
        for (const std::string& assignment : extraEnv) {
            putenv(strdup(assignment.c_str()));
        }
        execvp(argvPtrs[0], argvPtrs.data());
        _exit(127);
    }
    return started;
}

RunResult Sandbox::finish(const Started& started)
{
    RunResult result;
    int status = 0;
    EXPECT_EQ(waitpid(started.pid, &status, 0), started.pid);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    result.out = fileBytes(started.outPath);
    result.err = fileBytes(started.errPath);
    result.debugLines = debugRecord(fileBytes(started.debugPath));
    unlink(started.outPath.c_str());
    unlink(started.errPath.c_str());
    unlink(started.debugPath.c_str());
    return result;
}

void Sandbox::write(const std::string& name, const std::string& bytes)
{
    ASSERT_TRUE(writeWholeFile(local(name), bytes)) << name;
}

std::string Sandbox::read(const std::string& name) const
{
    return fileBytes(local(name));
}

bool Sandbox::exists(const std::string& name) const
{
    struct stat info;
    return lstat(local(name).c_str(), &info) == 0;
}

std::vector<std::string> Sandbox::listing(const std::string& subfolder) const
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(subfolder.empty() ? dir_.c_str() : local(subfolder).c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Sandbox::local(const std::string& name) const
{
    return dir_ + "/" + name;
}

std::string Sandbox::full(const std::string& name) const
{
    if (!underWine()) {
        return local(name);
    }
    return wineForm(local(name));
}

void expectDebugChannelIsTheLog(const RunResult& r, const std::string& logBytes)
{
    if (!underWine()) {
        return;
    }
    bool allCrLf = false;
    std::vector<std::string> logged = logLines(logBytes, &allCrLf);
    EXPECT_TRUE(allCrLf);
    ASSERT_EQ(r.debugLines.size(), logged.size()) << "one debugger string per run log line";
    for (size_t i = 0; i < logged.size(); ++i) {
        EXPECT_EQ(r.debugLines[i], logged[i] + "\n") << "line " << i << ": the channel gets a bare line feed";
    }
}

std::string winePrefix()
{
    return envOr("WINEPREFIX", envOr("MDIFF_WINEPREFIX", (envOr("HOME", "/root") + "/.wine-mdiff").c_str()).c_str());
}

std::string expectedFile(const std::string& name)
{
    return fileBytes(std::string(MD_EXPECTED_DIR) + "/" + name);
}

std::string errorReport(const std::string& message)
{
    return "<ERROR> :\r\n" + message + "\r\n\r\n";
}

std::string warningReport(const std::string& message)
{
    return "<WARNING> :\r\n" + message + "\r\n\r\n";
}

std::vector<std::string> logLines(const std::string& logBytes, bool* allCrLf)
{
    std::vector<std::string> lines;
    *allCrLf = true;
    size_t start = 0;
    while (start < logBytes.size()) {
        size_t lf = logBytes.find('\n', start);
        if (lf == std::string::npos) {
            *allCrLf = false;
            lines.push_back(logBytes.substr(start));
            break;
        }
        size_t end = lf;
        if (end > start && logBytes[end - 1] == '\r') {
            --end;
        } else {
            *allCrLf = false;
        }
        lines.push_back(logBytes.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

std::vector<std::string> runLogTrace(const std::string& logBytes, bool* allCrLf)
{
    std::vector<std::string> trace;
    for (const std::string& line : logLines(logBytes, allCrLf)) {
        trace.push_back(withoutSourceTag(line));
    }
    return trace;
}
