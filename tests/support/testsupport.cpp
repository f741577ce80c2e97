// What every kind of test needs; see testsupport.h.
#include "testsupport.h"

#include <sys/stat.h>

#include <cstdio>

std::string pattern(size_t n, unsigned seed)
{
    std::string bytes(n, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 16);
    }
    return bytes;
}

namespace {

// Byte i of a file that counts as 0 past its end.
unsigned char byteOrZero(const std::string& bytes, size_t i)
{
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
}

}  // namespace

std::string subtractBytes(const std::string& oldBytes, const std::string& newBytes)
{
    std::string out(newBytes.size(), '\0');
    for (size_t i = 0; i < newBytes.size(); ++i) {
        out[i] = static_cast<char>(static_cast<unsigned char>(newBytes[i]) - byteOrZero(oldBytes, i));
    }
    return out;
}

std::string addBytes(const std::string& sourceBytes, const std::string& diffBytes)
{
    std::string out(diffBytes.size(), '\0');
    for (size_t i = 0; i < diffBytes.size(); ++i) {
        out[i] = static_cast<char>(static_cast<unsigned char>(diffBytes[i]) + byteOrZero(sourceBytes, i));
    }
    return out;
}

bool readWholeFile(const std::string& path, std::string* bytes)
{
    bytes->clear();
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    // Read to the end, whatever the size said: a file may grow while it is read.
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes->append(buffer, got);
    }
    bool whole = std::ferror(in) == 0;
    std::fclose(in);
    return whole;
}

std::string fileBytes(const std::string& path)
{
    std::string bytes;
    if (!readWholeFile(path, &bytes)) {
        bytes.clear();
    }
    return bytes;
}

bool writeWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

std::string withoutSourceTag(const std::string& line)
{
    size_t colon = line.find(": ");
    size_t close = line.find("]: ");
    if (colon == std::string::npos || close == std::string::npos) {
        return line;
    }
    return line.substr(0, colon + 2) + line.substr(close + 3);
}

int shellStatus(mdResult code)
{
    return static_cast<int>(code) & 0xFF;
}
