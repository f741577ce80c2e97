// Black-box cases of the run log: header and machine lines, the trace after them, the shell call.
#include "harness.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

namespace {

class RunLog : public Sandbox {
protected:
    std::vector<std::string> trace()
    {
        bool allCrLf = false;
        std::vector<std::string> lines = runLogTrace(read("update_log.txt"), &allCrLf);
        EXPECT_TRUE(allCrLf);
        return lines;
    }

    void expectStartupReport(const std::vector<std::string>& lines)
    {
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines[0], "log_i: " + expectedFile("header1.txt"));
        // The support address at its end is a build setting, handed to this driver as well.
        EXPECT_EQ(lines[1], "log_i: " + expectedFile("header2.txt") + MD_SUPPORT_ADDRESS);
        EXPECT_EQ(lines[2].rfind("log_i: CPU nam: ", 0), 0u) << lines[2];
        EXPECT_TRUE(std::regex_match(lines[3], std::regex("log_i: CPU ven: .*"))) << lines[3];
        EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"(log_i: OS     : .* \(Build -?\d+ .*\))"))) << lines[4];
        EXPECT_TRUE(std::regex_match(lines[5], std::regex(R"(log_i: Speed  : \d+ MHz)"))) << lines[5];
        if (!underWine()) {
            struct utsname names;
            ASSERT_EQ(uname(&names), 0);
            EXPECT_EQ(lines[4].rfind("log_i: OS     : " + std::string(names.sysname) + " " + names.release + " (Build ", 0), 0u);
        }
    }

    // The stand-in desktop opener records where and with what it was called.
    std::vector<std::string> openerEnv()
    {
        std::string bin = dir_ + ".bin";
        mkdir(bin.c_str(), 0755);
        std::string script = bin + "/xdg-open";
        FILE* f = std::fopen(script.c_str(), "w");
        std::fprintf(f, "#!/bin/sh\nprintf '%%s %%s\\n' \"$PWD\" \"$*\" > '%s.opened'\n", dir_.c_str());
        std::fclose(f);
        chmod(script.c_str(), 0755);
        return {"PATH=" + bin + ":" + std::getenv("PATH"), "DISPLAY=:77"};
    }

    // Where the stand-in opener was called: waits a little, as the opener runs detached.
    std::string openerRecord(int waitMs)
    {
        std::string record = dir_ + ".opened";
        for (int waited = 0; waited < waitMs; waited += 20) {
            struct stat info;
            if (stat(record.c_str(), &info) == 0 && info.st_size > 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        FILE* f = std::fopen(record.c_str(), "rb");
        if (f == nullptr) {
            return "";
        }
        char line[4096] = "";
        const bool read = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        return read ? line : "";
    }

    // Whether the program asked the shell to open the run log: Wine traces the call itself.
    bool shellAsked(const RunResult& r, int waitMs)
    {
        if (underWine()) {
            // The window handle is traced as a null pointer of the build's width.
            size_t call = r.err.find("ShellExecuteA 00000000");
            return call != std::string::npos &&
                   r.err.find(",\"OPEN\",\"update_log.txt\",\"\",\"\",5", call) != std::string::npos;
        }
        std::string record = openerRecord(waitMs);
        if (!record.empty()) {
            EXPECT_EQ(record, dir_ + " update_log.txt\n") << "the log is opened by its name, in the run's folder";
        }
        return !record.empty();
    }

    void TearDown() override
    {
        unlink((dir_ + ".bin/xdg-open").c_str());
        rmdir((dir_ + ".bin").c_str());
        unlink((dir_ + ".opened").c_str());
        Sandbox::TearDown();
    }
};

TEST_F(RunLog, UsageRunLogsReportThenArguments)
{
    RunResult r = run({}, openerEnv());
    EXPECT_EQ(r.status, shellStatus(MD_ERR_USAGE));
    std::vector<std::string> lines = trace();
    expectStartupReport(lines);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[6], "log_v: mdMain");
    EXPECT_EQ(lines[7], "log_v: argc 1");
    EXPECT_EQ(lines[8].rfind("log_v: argv[0] ", 0), 0u);
    EXPECT_TRUE(shellAsked(r, 5000)) << "a failed run shows its log";
}

TEST_F(RunLog, SuccessfulRunKeepsTheLogClosed)
{
    write("old", "abc");
    write("new", "abd");
    write("update_log.txt", std::string(100000, 'x'));
    RunResult r = run({"-diff", "old", "new", "d"}, openerEnv());
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines = trace();
    expectStartupReport(lines);
    ASSERT_GT(lines.size(), 6u);
    EXPECT_EQ(lines[6], "log_v: mdMain") << "the old log was emptied";
    EXPECT_EQ(lines.back(), "log_v: mdVerify('" + full("new") + "', '" + full("~test.tmp") + "')");
    EXPECT_FALSE(shellAsked(r, 500));
}

TEST_F(RunLog, WorkflowFailureShowsTheLog)
{
    write("new", "abd");
    RunResult r = run({"-diff", "missing", "new", "d"}, openerEnv());
    EXPECT_EQ(r.status, shellStatus(MD_ERR_OLD_OPEN));
    EXPECT_EQ(trace().back(), "log_e: failed to open (with read mode): " + full("missing"));
    EXPECT_TRUE(shellAsked(r, 5000));
}

TEST_F(RunLog, NoDesktopNoOpener)
{
    if (underWine()) {
        GTEST_SKIP() << "Windows always has its shell";
    }
    std::vector<std::string> env = openerEnv();
    env.pop_back();
    env.push_back("DISPLAY=");
    env.push_back("WAYLAND_DISPLAY=");
    RunResult r = run({}, env);
    EXPECT_EQ(r.status, shellStatus(MD_ERR_USAGE));
    EXPECT_FALSE(shellAsked(r, 500));
}

TEST_F(RunLog, UncreatableLogChangesNothingElse)
{
    // A directory in the log's place: no run log, as in a folder that cannot be written.
    ASSERT_EQ(mkdir(local("update_log.txt").c_str(), 0755), 0);
    write("old", "abc");
    write("new", "abd");
    RunResult ok = run({"-diff", "old", "new", "d"}, openerEnv());
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(read("d"), std::string("\0\0\x01", 3));

    RunResult failed = run({"-diff", "missing", "new", "d"}, openerEnv());
    EXPECT_EQ(failed.status, shellStatus(MD_ERR_OLD_OPEN));
    EXPECT_EQ(failed.out, errorReport("failed to open (with read mode): " + full("missing")));
    EXPECT_FALSE(shellAsked(failed, 500)) << "no log, nothing to show";
}

struct VersionCase {
    const char* wineVersion;
    const char* osLine;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.wineVersion; }

class WindowsVersion : public RunLog, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(WindowsVersion, NamesTheReportedVersion)
{
    if (!underWine()) {
        GTEST_SKIP() << "the version table is read from Windows";
    }
    const std::string key = "HKCU\\Software\\Wine\\AppDefaults\\mdiff.exe";
    std::string wine = std::getenv("MDIFF_WRAPPER");
    ASSERT_EQ(runCommand({wine, "reg", "add", key, "/v", "Version", "/d", GetParam().wineVersion, "/f"}).status, 0);
    RunResult r = run({});
    runCommand({wine, "reg", "delete", key, "/f"});
    EXPECT_EQ(r.status, shellStatus(MD_ERR_USAGE));
    std::vector<std::string> lines = trace();
    ASSERT_GE(lines.size(), 6u);
    std::string expected = std::string("log_i: OS     : ") + GetParam().osLine;
    if (expected.back() == '*') {
        // Newer versions report a build that depends on what the executable's manifest declares.
        expected.pop_back();
        EXPECT_EQ(lines[4].rfind(expected, 0), 0u) << lines[4];
    } else {
        EXPECT_EQ(lines[4], expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Wine, WindowsVersion,
                         ::testing::Values(VersionCase{"win95", "Windows 95  (Build 67109814 )"},
                                           VersionCase{"win98", "Windows 98  (Build 67766446  A )"},
                                           VersionCase{"nt40", "Windows NT 4.0 (Build 1381 Service Pack 6a)"},
                                           VersionCase{"win2k", "Windows 2000 (Build 2195 Service Pack 4)"},
                                           VersionCase{"winxp", "Windows XP (Build 2600 Service Pack 3)"},
                                           VersionCase{"vista", "Windows Vista (Build 6002 Service Pack 2)"},
                                           VersionCase{"win7", "Windows 7 (Build 7601 Service Pack 1)"},
                                           VersionCase{"win10", "? (Build *"}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                             return std::string(info.param.wineVersion);
                         });

}  // namespace
