// Folding of POSIX paths into full paths.
#include "engine/pathform.h"

#include <cstring>

namespace {

struct PathBuilder {
    char* out;
    size_t size;
    size_t length;
    bool overflow;
};

void dropLastComponent(PathBuilder* path)
{
    while (path->length > 1 && path->out[path->length - 1] != '/') {
        --path->length;
    }
    if (path->length > 1) {
        --path->length;  // the separator before it, unless it is the root
    }
    path->out[path->length] = '\0';
}

void appendComponent(PathBuilder* path, const char* part, size_t partLength)
{
    size_t separator = path->out[path->length - 1] == '/' ? 0 : 1;
    if (path->length + separator + partLength >= path->size) {
        path->overflow = true;
        return;
    }
    if (separator != 0) {
        path->out[path->length++] = '/';
    }
    std::memcpy(path->out + path->length, part, partLength);
    path->length += partLength;
    path->out[path->length] = '\0';
}

// Adds every component of text to the path, folding "." and "..".
void addComponents(PathBuilder* path, const char* text)
{
    const char* p = text;
    while (*p != '\0' && !path->overflow) {
        while (*p == '/') {
            ++p;
        }
        const char* start = p;
        while (*p != '\0' && *p != '/') {
            ++p;
        }
        size_t partLength = static_cast<size_t>(p - start);
        if (partLength == 0 || (partLength == 1 && start[0] == '.')) {
            continue;
        }
        if (partLength == 2 && start[0] == '.' && start[1] == '.') {
            dropLastComponent(path);
        } else {
            appendComponent(path, start, partLength);
        }
    }
}

}  // namespace

mdPathResult mdFormFullPath(const char* cwd, const char* name, char* out, size_t outSize)
{
    if (name[0] == '\0') {
        return MD_PATH_FAILED;
    }
    if (outSize < 2) {
        return MD_PATH_TOO_LONG;
    }
    PathBuilder path = {out, outSize, 1, false};
    out[0] = '/';
    out[1] = '\0';
    if (name[0] != '/') {
        addComponents(&path, cwd);
    }
    addComponents(&path, name);

    size_t nameLength = std::strlen(name);
    if (!path.overflow && name[nameLength - 1] == '/' && out[path.length - 1] != '/') {
        if (path.length + 1 >= outSize) {
            path.overflow = true;
        } else {
            out[path.length++] = '/';
            out[path.length] = '\0';
        }
    }
    if (path.overflow || path.length >= outSize) {
        out[0] = '\0';
        return MD_PATH_TOO_LONG;
    }
    return MD_PATH_OK;
}
