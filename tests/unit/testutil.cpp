// Shared fixtures of the unit tests.
#include "testutil.h"

#include "diag/log.h"

#include <chrono>

namespace {

std::vector<std::string> g_captured;

void captureLine(const char* line)
{
    g_captured.push_back(line);
}

}  // namespace

LogCapture::LogCapture()
{
    g_captured.clear();
    mdSetLogSink(captureLine);
}

LogCapture::~LogCapture()
{
    mdSetLogSink(nullptr);
}

const std::vector<std::string>& LogCapture::lines() const
{
    return g_captured;
}

std::vector<std::string> LogCapture::messages() const
{
    std::vector<std::string> result;
    for (const std::string& line : g_captured) {
        std::string text = withoutSourceTag(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        result.push_back(text);
    }
    return result;
}

void ScratchDir::SetUp()
{
    namespace fs = std::filesystem;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("mdu" + std::to_string(stamp));
    fs::create_directories(dir_);
    previous_ = fs::current_path();
    fs::current_path(dir_);
}

void ScratchDir::TearDown()
{
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void writeFile(const std::string& path, const std::string& bytes)
{
    ASSERT_TRUE(writeWholeFile(path, bytes)) << path;
}

std::string readFile(const std::string& path)
{
    return fileBytes(path);
}
