// Runs the built program in a scratch folder of its own and collects what it leaves behind.
#pragma once

#include "testsupport.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

/// What one run of the program gave.
struct RunResult {
    int status = -1;                     ///< exit status as the shell sees it (0..255)
    std::string out;                     ///< standard output, bytes as written
    std::vector<std::string> debugLines; ///< debugger-channel strings, whole (Windows build only)
    std::string err;                     ///< standard error (under Wine: its debug channels)
};

/// True when the program under test is the Windows build, run under Wine.
bool underWine();

/// A fresh scratch folder per test; the program runs with it as current directory.
class Sandbox : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Runs the program with these arguments (entry 0 is added); extraEnv as "NAME=value". Under
    /// Wine it checks that the debugger channel carried exactly the run log's lines.
    RunResult run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {});
    /// Runs a command as given (argv[0] a path or a name on PATH) in the folder.
    RunResult runCommand(std::vector<std::string> argv, const std::vector<std::string>& extraEnv = {});

    /// A run started and not yet waited for.
    struct Started {
        int pid = -1;
        std::string outPath;
        std::string errPath;
        std::string debugPath;  ///< what the debugger tool recorded (Windows build only)
    };
    /// Starts the program without waiting; finish() collects it.
    Started start(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {});
    RunResult finish(const Started& started);
    /// Starts a command as given without waiting; finish() collects it.
    Started startCommand(std::vector<std::string> argv, const std::vector<std::string>& extraEnv = {});

    void write(const std::string& name, const std::string& bytes);
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    /// Names in the folder (or in a folder of it), sorted, without "." and "..".
    std::vector<std::string> listing(const std::string& subfolder = "") const;
    /// The path of a name in the folder as this test's process sees it.
    std::string local(const std::string& name) const;
    /// The full path the program forms for a name in its current directory.
    std::string full(const std::string& name) const;

public:
    /// Mounts a tmpfs of that many bytes on the folder (it must still be empty): a small disk that
    /// a test can fill. False where no file system can be mounted (not root); skip then.
    bool mountSmallDisk(size_t bytes);
    /// Fills the folder's file system with the file "filler" until only about freeBytes are left.
    void fillDisk(size_t freeBytes);

protected:
    std::string dir_;

private:
    bool mounted_ = false;
    std::vector<std::string> programArgv(const std::vector<std::string>& args, std::vector<std::string>* env);
    Started spawn(std::vector<std::string> argv, const std::vector<std::string>& extraEnv);
    int runs_ = 0;
};

/// Under Wine: every string the program sent to the debugger channel is, byte for byte, the run
/// log's line in its order with a bare line feed for the log's CR LF. Natively nothing to check.
/// Sandbox::run checks it after every run that wrote its log.
void expectDebugChannelIsTheLog(const RunResult& r, const std::string& logBytes);

/// The Wine prefix the Windows build runs in (as tools/wine-run chooses it).
std::string winePrefix();

/// Bytes of an expected-output file kept beside the tests.
std::string expectedFile(const std::string& name);

/// Console report of an error or warning as the program writes it.
std::string errorReport(const std::string& message);
std::string warningReport(const std::string& message);

/// The run log's lines without their CR LF, and whether every line ended in CR LF.
std::vector<std::string> logLines(const std::string& logBytes, bool* allCrLf);

/// The run log's lines as "log_v: text", without "unit.cpp[12]: ": line numbers are not part of
/// the contract.
std::vector<std::string> runLogTrace(const std::string& logBytes, bool* allCrLf);
