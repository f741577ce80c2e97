// mdResolvePath: the full path of a file name, with its long and short forms traced.
#include "engine/engine.h"

#include "diag/report.h"
#include "engine/fileservice.h"

#include <cstring>

namespace {

void traceForm(mdPathResult result, const char* label, const char* form)
{
    // A form that did not fit left its buffer without a path; it is traced as unknown.
    if (result == MD_PATH_OK) {
        MD_LOG(LOG_V, "%s: %s", label, form);
    } else {
        MD_LOG(LOG_V, "%s: ???", label);
    }
}

}  // namespace

bool mdResolvePath(char* out, const char* in)
{
    mdPathResult full = mdFsFullPath(in, out, MD_PATH_MAX);
    if (full == MD_PATH_OK) {
        MD_LOG(LOG_V, "in: %s --> %s", in, out);
        char longForm[MD_PATH_MAX];
        char shortForm[MD_PATH_MAX];
        traceForm(mdFsLongPath(out, longForm, sizeof longForm), "lo", longForm);
        traceForm(mdFsShortPath(out, shortForm, sizeof shortForm), "sh", shortForm);
        return true;
    }

    MD_LOG(LOG_V, "in: %s --> ???", in);
    size_t length = std::strlen(in);
    if (full == MD_PATH_FAILED && length < static_cast<size_t>(MD_PATH_MAX)) {
        std::memcpy(out, in, length + 1);
        return true;
    }
    // Never cut a path into another name: an empty path makes the step that uses it fail with
    // its own code, and nothing is written under a wrong name.
    out[0] = '\0';
    MD_REPORT(LOG_E, "path too long: %s", in);
    return false;
}
