// The fuzz targets' scratch folder and checks.
#include "fuzzutil.h"

#include "diag/log.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

std::string g_scratch;

void removeScratch()
{
    if (g_scratch.empty()) {
        return;
    }
    // Step out first: the folder is the current directory.
    if (chdir("/") == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(g_scratch, ignored);
    }
}

void dropLine(const char* /*line*/)
{
}

// The rewritten argument vector; it lives as long as libFuzzer reads it.
std::vector<std::string> g_arguments;
std::vector<char*> g_argumentPointers;

std::string absolute(const std::string& cwd, const std::string& path)
{
    return path.empty() || path[0] == '/' ? path : cwd + "/" + path;
}

// libFuzzer's options that name a file or a folder.
const char* const kPathOptions[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-features_dir=",
                                    "-merge_control_file=", "-stop_file="};

void makePathsAbsolute(const std::string& cwd, int* argc, char*** argv)
{
    bool prefixGiven = false;
    for (int i = 0; i < *argc; ++i) {
        std::string argument = (*argv)[i];
        if (i == 0) {
            // libFuzzer refuses a changed argv[0]; start the target by an absolute path for
            // the modes that start it again (-fork, -jobs).
        } else if (argument.empty() || argument[0] != '-') {
            argument = absolute(cwd, argument);
        } else {
            for (const char* option : kPathOptions) {
                size_t length = std::strlen(option);
                if (argument.compare(0, length, option) == 0) {
                    argument = option + absolute(cwd, argument.substr(length));
                    prefixGiven = prefixGiven || std::strcmp(option, "-artifact_prefix=") == 0;
                }
            }
        }
        g_arguments.push_back(argument);
    }
    if (!prefixGiven) {
        g_arguments.push_back("-artifact_prefix=" + cwd + "/");
    }
    g_argumentPointers.push_back((*argv)[0]);
    for (size_t i = 1; i < g_arguments.size(); ++i) {
        g_argumentPointers.push_back(&g_arguments[i][0]);
    }
    g_argumentPointers.push_back(nullptr);
    *argc = static_cast<int>(g_arguments.size());
    *argv = g_argumentPointers.data();
}

}  // namespace

void fzFail(const char* file, int line, const char* condition, const char* format, ...)
{
    std::fprintf(stderr, "\n%s:%d: check failed: %s\n  ", file, line, condition);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    std::abort();
}

const std::string& fzEnterScratch(const char* tag, int* argc, char*** argv)
{
    char start[4096];
    FZ_CHECK(getcwd(start, sizeof start) != nullptr, "getcwd failed");
    makePathsAbsolute(start, argc, argv);

    const char* base = std::getenv("MDIFF_FUZZ_SCRATCH");
    if (base == nullptr || base[0] == '\0') {
        base = std::getenv("TMPDIR");
    }
    if (base == nullptr || base[0] == '\0') {
        base = "/tmp";
    }
    std::error_code ignored;  // a base that cannot be made fails at mkdtemp, with its name
    std::filesystem::create_directories(base, ignored);
    std::string pattern = std::string(base) + "/mdiff-" + tag + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FZ_CHECK(mkdtemp(name.data()) != nullptr, "cannot make a scratch folder from %s", pattern.c_str());
    FZ_CHECK(chdir(name.data()) == 0, "cannot enter %s", name.data());
    char cwd[4096];
    FZ_CHECK(getcwd(cwd, sizeof cwd) != nullptr, "getcwd failed in %s", name.data());
    g_scratch = cwd;
    std::atexit(removeScratch);
    return g_scratch;
}

void fzClearScratch()
{
    char cwd[4096];
    FZ_CHECK(getcwd(cwd, sizeof cwd) != nullptr && g_scratch == cwd, "the current directory left %s",
             g_scratch.c_str());
    DIR* dir = opendir(".");
    FZ_CHECK(dir != nullptr, "cannot list %s", g_scratch.c_str());
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    for (const std::string& name : names) {
        if (unlink(name.c_str()) != 0) {
            std::error_code ignored;
            std::filesystem::remove_all(g_scratch + "/" + name, ignored);
        }
    }
}

void fzQuietStdout()
{
    std::fflush(stdout);
    FZ_CHECK(std::freopen("/dev/null", "w", stdout) != nullptr, "cannot send stdout to /dev/null");
}

void fzDropLogLines()
{
    mdSetLogSink(dropLine);
}

std::vector<std::string> fzSplitAtNul(const uint8_t* data, size_t size)
{
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(data[i]);
        }
    }
    return pieces;
}
