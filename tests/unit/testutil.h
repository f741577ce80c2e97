// Shared fixtures of the unit tests: captured log lines and a scratch current directory.
#pragma once

#include "testsupport.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

/// Collects every log line while it lives, in place of the debugger channel.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    const std::vector<std::string>& lines() const;
    /// The lines with "unit[line]: " removed: "log_v: text".
    std::vector<std::string> messages() const;
};

/// A fresh folder that is the current directory for the test's duration.
class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

/// The test support's file helpers, the write checked by the test.
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
