// What every kind of test needs: repeatable bytes, the difference rule, whole-file reads and
// writes, run log lines without their source tags, and the exit status of a result code.
#pragma once

#include "engine/engine.h"

#include <cstddef>
#include <string>

/// n bytes of a repeatable pseudo-random pattern; each seed gives other bytes.
std::string pattern(size_t n, unsigned seed);

/// The difference file of two files: newBytes[i] - oldBytes[i] (mod 256) for every byte of
/// newBytes, oldBytes counting as 0 past its end.
std::string subtractBytes(const std::string& oldBytes, const std::string& newBytes);
/// The file rebuilt from a source and a difference file: diffBytes[i] + sourceBytes[i] (mod 256)
/// for every byte of diffBytes, sourceBytes counting as 0 past its end.
std::string addBytes(const std::string& sourceBytes, const std::string& diffBytes);

/// The whole file into bytes; false when it is no regular file or cannot be read to its end.
bool readWholeFile(const std::string& path, std::string* bytes);
/// The whole file, or an empty string when it cannot be read.
std::string fileBytes(const std::string& path);
/// Makes or truncates the file with these bytes; false when they were not all written.
bool writeWholeFile(const std::string& path, const std::string& bytes);

/// A log line "log_v: unit.cpp[12]: text" as "log_v: text": the source file and line are not
/// part of what a test checks. A line without the tag stays as it is.
std::string withoutSourceTag(const std::string& line);

/// The exit status a shell sees for a result code: the low byte of the program's return value.
int shellStatus(mdResult code);
