// mdDoDiff and mdDoUpdate: the workflows built on the transforms, through the temporary file.
#include "engine/engine.h"

#include "diag/report.h"
#include "engine/fileservice.h"

namespace {

// "ファイルにパッチを当てています..." (the file is being patched), Shift-JIS.
const char* const kPatchingText =
    "\203t\203@\203C\203\213\202\311\203p\203b\203`\202\360\223\226\202\304\202\304\202\242\202\334\202\267...";
// "完了しました" (done), Shift-JIS.
const char* const kDoneText = "\212\256\227\271\202\265\202\334\202\265\202\275";

}  // namespace

int mdDoDiff(const char* oldPath, const char* newPath, const char* diffPath)
{
    MD_LOG(LOG_V, "mdDoDiff('%s', '%s', '%s')", oldPath, newPath, diffPath);
    char tempPath[MD_PATH_MAX];
    mdResolvePath(tempPath, MD_TEMP_NAME);

    int result = mdMakeDiff(oldPath, newPath, diffPath);
    if (result != 0) {
        return result;
    }
    result = mdMakeUpdate(oldPath, diffPath, tempPath);
    if (result != 0) {
        return result;
    }
    result = mdVerify(newPath, tempPath);
    if (result != 0) {
        return result;
    }
    if (!mdFsDelete(tempPath)) {
        MD_REPORT(LOG_W, "failed to remove tmp file: %s", tempPath);
    }
    return 0;
}

int mdDoUpdate(const char* sourcePath, const char* diffPath, const char* outputPath, bool verbose)
{
    MD_LOG(LOG_V, "mdDoUpdate('%s', '%s', '%s')", sourcePath, diffPath, outputPath);
    char tempPath[MD_PATH_MAX];
    mdResolvePath(tempPath, MD_TEMP_NAME);

    if (verbose) {
        MD_REPORT(LOG_I, "%s", kPatchingText);
    }
    // The source is read whole into the temporary file before the output is touched, so the
    // output may be the source itself.
    int result = mdMakeUpdate(sourcePath, diffPath, tempPath);
    if (result != 0) {
        return result;
    }
    if (!mdFsMove(tempPath, outputPath)) {
        MD_REPORT(LOG_E, "failed to rename file: '%s' --> '%s'", tempPath, outputPath);
        return -41;
    }
    if (verbose) {
        MD_REPORT(LOG_I, "%s", kDoneText);
    }
    return 0;
}
