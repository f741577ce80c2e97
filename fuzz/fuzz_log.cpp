// libFuzzer target: mdLog with arbitrary argument texts, unit names, levels and line numbers.
//
// Input: byte 0 the level (signed), bytes 1-4 the line number, bytes 5-8 the number for %d
// (little-endian), byte 9 which of the program's format strings is used, bytes 10 and 11 how often
// the unit name and the first text are repeated (v*v+1 times, at most 3 * MD_LOG_MAX bytes), so that
// both overflow their buffers; the rest: the unit name and up to three texts, NUL-separated.
//
// Asserted: the line handed to the sink is exactly "log_x: <base name>[<line>]: <message>\n", cut
// to MD_LOG_MAX - 2 bytes before its line feed, with the message worked out here independently of
// printf; and the run log (g_logFile, open on a scratch file) holds the same line with CR LF.
#include "fuzzutil.h"

#include "diag/log.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

std::string g_dir;
std::string g_line;
int g_lines = 0;

void captureLine(const char* line)
{
    g_line = line;
    ++g_lines;
}

// One argument of a format: a text or a number.
struct Arg {
    Arg(const char* text) : text(text) {}
    Arg(int number) : text(nullptr), number(number) {}
    const char* text;
    int number = 0;
};

// The message printf would make of these formats (only %s, %d and %% occur in them).
std::string expand(const char* format, std::initializer_list<Arg> args)
{
    std::string out;
    const Arg* next = args.begin();
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == '%') {
            out += '%';
        } else if (*p == 's') {
            FZ_CHECK(next != args.end() && next->text != nullptr, "format %s: no text for %%s", format);
            out += (next++)->text;
        } else {
            FZ_CHECK(*p == 'd' && next != args.end() && next->text == nullptr, "format %s: unexpected", format);
            out += std::to_string((next++)->number);
        }
    }
    return out;
}

std::string baseName(const std::string& path)
{
    size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}

const char* tagOf(int level)
{
    static const char* const kTags[] = {"log_v", "log_d", "log_i", "log_w"};
    return level >= 0 && level <= 3 ? kTags[level] : "log_e";
}

std::string repeated(const std::string& text, uint8_t times)
{
    const size_t cap = 3 * static_cast<size_t>(MD_LOG_MAX);
    std::string out;
    size_t count = static_cast<size_t>(times) * times + 1;
    for (size_t i = 0; i < count && out.size() < cap && !text.empty(); ++i) {
        out += text;
    }
    return out.size() > cap ? out.substr(0, cap) : out;
}

int32_t readInt(const uint8_t* bytes)
{
    uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                     static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    int32_t number;
    std::memcpy(&number, &value, sizeof number);
    return number;
}

std::string withCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// Logs one line with the chosen format of the program and returns the message it must carry.
#define MD_LOG_CASE(index, format, ...)                            \
    case index:                                                    \
        mdLog(level, unitText, lineNo, format, __VA_ARGS__);       \
        message = expand(format, {__VA_ARGS__});                   \
        break

std::string logOne(int choice, int level, const char* unitText, int lineNo, int number, const char* s0,
                   const char* s1, const char* s2)
{
    std::string message;
    switch (choice) {
    MD_LOG_CASE(0, "%s", s0);
    MD_LOG_CASE(1, "argv[%d] %s", number, s0);
    MD_LOG_CASE(2, "in: %s --> %s", s0, s1);
    MD_LOG_CASE(3, "mdMakeDiff('%s', '%s', '%s')", s0, s1, s2);
    MD_LOG_CASE(4, "PathFileExistsA('%s') ==> %d", s0, number);
    MD_LOG_CASE(5, "%s: %s", s0, s1);
    MD_LOG_CASE(6, "argc %d", number);
    MD_LOG_CASE(7, "Speed  : %d MHz", number);
    MD_LOG_CASE(8, "failed to rename file: '%s' --> '%s'", s0, s1);
    MD_LOG_CASE(9, "path too long: %s", s0);
    default:
        mdLog(level, unitText, lineNo, "mdMain");
        message = "mdMain";
        break;
    }
    return message;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    g_dir = fzEnterScratch("log", argc, argv);
    mdSetLogSink(captureLine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 12) {
        return 0;
    }
    int level = static_cast<int8_t>(data[0]);
    int lineNo = readInt(data + 1);
    int number = readInt(data + 5);
    int choice = data[9] % 11;
    std::vector<std::string> texts = fzSplitAtNul(data + 12, size - 12);
    texts.resize(texts.size() < 4 ? 4 : texts.size());
    const std::string unit = repeated(texts[0], data[10]);
    const std::string first = repeated(texts[1], data[11]);

    const std::string logPath = g_dir + "/log.txt";
    g_logFile = std::fopen(logPath.c_str(), "w");
    FZ_CHECK(g_logFile != nullptr, "cannot open %s", logPath.c_str());
    g_lines = 0;
    std::string message =
        logOne(choice, level, unit.c_str(), lineNo, number, first.c_str(), texts[2].c_str(), texts[3].c_str());
    std::fclose(g_logFile);
    g_logFile = nullptr;

    FZ_CHECK(std::strcmp(mdBaseName(unit.c_str()), baseName(unit).c_str()) == 0, "mdBaseName of a %zu-byte name",
             unit.size());
    if (message.size() > static_cast<size_t>(MD_LOG_MAX - 1)) {
        message.resize(MD_LOG_MAX - 1);
    }
    std::string line = std::string(tagOf(level)) + ": " + baseName(unit) + "[" + std::to_string(lineNo) + "]: " + message;
    if (line.size() > static_cast<size_t>(MD_LOG_MAX - 2)) {
        line.resize(MD_LOG_MAX - 2);
    }
    line += '\n';
    FZ_CHECK(g_lines == 1, "%d lines for one call", g_lines);
    FZ_CHECK(g_line == line, "line of %zu bytes, expected %zu: [%.200s] [%.200s]", g_line.size(), line.size(),
             g_line.c_str(), line.c_str());

    std::string logged;
    FZ_CHECK(readWholeFile(logPath, &logged), "cannot read %s back", logPath.c_str());
    FZ_CHECK(logged == withCrLf(line), "run log holds %zu bytes, expected %zu", logged.size(), withCrLf(line).size());
    return 0;
}
