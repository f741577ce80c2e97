// mdMain and mdParseArgs: from the argument vector to exactly one workflow.
#include "main/frontend.h"

#include "diag/log.h"
#include "main/usage.h"

#include <cstring>

namespace {

bool equals(const char* argument, const char* keyword)
{
    return std::strcmp(argument, keyword) == 0;
}

// Resolves three consecutive entries into the three given buffers, in argument order; false
// when the third did not fit its buffer.
bool resolveThree(char** entries, char* first, char* second, char* third)
{
    mdResolvePath(first, entries[0]);
    mdResolvePath(second, entries[1]);
    return mdResolvePath(third, entries[2]);
}

int dispatch(const mdRequest& request)
{
    switch (request.mode) {
    case MD_MODE_DIFF:
        return mdDoDiff(request.srcPath, request.newPath, request.outPath);
    case MD_MODE_UPDATE:
        return mdDoUpdate(request.srcPath, request.diffPath, request.outPath, request.verbose, !request.outTooLong);
    case MD_MODE_ZELUPDATE:
        return mdDoZELUpdate(request.verbose);
    default:
        mdShowUsage();
        return MD_ERR_USAGE;
    }
}

}  // namespace

bool mdParseArgs(int argc, char** argv, mdRequest* request)
{
    std::memset(request, 0, sizeof *request);
    if (equals(argv[1], "-diff")) {
        resolveThree(argv + 2, request->srcPath, request->newPath, request->outPath);
        request->mode = MD_MODE_DIFF;
        return true;
    }
    if (equals(argv[1], "-update")) {
        bool verbose = equals(argv[2], "-verbose");
        if (verbose && argc < 6) {
            // Three paths must follow "-verbose"; the vector ends before the third.
            return false;
        }
        request->outTooLong = !resolveThree(argv + (verbose ? 3 : 2), request->srcPath, request->diffPath,
                                            request->outPath);
        request->verbose = verbose;
        request->mode = MD_MODE_UPDATE;
        return true;
    }
    if (equals(argv[1], "-zelupdate")) {
        // The product files have fixed names: only the flag is read, and nothing is resolved.
        request->verbose = equals(argv[2], "-verbose");
        request->mode = MD_MODE_ZELUPDATE;
        return true;
    }
    return false;
}

int mdMain(int argc, char** argv)
{
    MD_LOG(LOG_V, "mdMain");
    MD_LOG(LOG_V, "argc %d", argc);
    for (int i = 0; i < argc; ++i) {
        MD_LOG(LOG_V, "argv[%d] %s", i, argv[i]);
    }
    if (argc < 5) {
        mdShowUsage();
        return MD_ERR_USAGE;
    }
    mdRequest request;
    if (!mdParseArgs(argc, argv, &request)) {
        mdShowUsage();
        return MD_ERR_USAGE;
    }
    return dispatch(request);
}
