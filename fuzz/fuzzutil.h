// Shared by the fuzz targets: the scratch folder they work in and the checks (file helpers and the
// difference rule come from the test support library).
#pragma once

#include "testsupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Aborts with a message when cond is false; libFuzzer keeps the input that did it.
#define FZ_CHECK(cond, ...)                                      \
    do {                                                         \
        if (!(cond)) {                                           \
            fzFail(__FILE__, __LINE__, #cond, __VA_ARGS__);      \
        }                                                        \
    } while (false)

[[noreturn]] void fzFail(const char* file, int line, const char* condition, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

/// Makes a fresh folder (under $MDIFF_FUZZ_SCRATCH, else $TMPDIR, else /tmp), makes it the current
/// directory for the rest of the process and removes it when the process exits normally. Returns
/// its path as getcwd spells it. Called from LLVMFuzzerInitialize, before libFuzzer reads its
/// arguments: relative paths among them (inputs, corpus folders, -artifact_prefix and the like)
/// are made absolute first, and crash files go to the starting folder unless told otherwise.
const std::string& fzEnterScratch(const char* tag, int* argc, char*** argv);
/// Empties the scratch folder; aborts if the current directory is not the scratch folder.
void fzClearScratch();

/// Sends standard output to /dev/null: the workflows' reports would only slow the runs down.
void fzQuietStdout();
/// Drops every log line in place of the debugger channel (syslog on Linux).
void fzDropLogLines();

/// The input cut at every NUL byte; n bytes give at least one piece (an empty input: one empty piece).
std::vector<std::string> fzSplitAtNul(const uint8_t* data, size_t size);

