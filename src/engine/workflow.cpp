// mdDoDiff and mdDoUpdate: the workflows built on the transforms, through the temporary file.
#include "engine/engine.h"

#include "diag/report.h"
#include "engine/fileservice.h"
#include "engine/replace.h"

namespace {

// "ファイルにパッチを当てています..." (the file is being patched), Shift-JIS.
const char* const kPatchingText =
    "\203t\203@\203C\203\213\202\311\203p\203b\203`\202\360\223\226\202\304\202\304\202\242\202\334\202\267...";
// "完了しました" (done), Shift-JIS.
const char* const kDoneText = "\212\256\227\271\202\265\202\334\202\265\202\275";

// One run at a time may write the temporary file of a folder; a temporary file that stays held
// fails as one that cannot be opened for writing.
int lockTemp(const char* tempPath, mdTempLock* lock)
{
    if (mdFsLockTemp(tempPath, mdReplaceServicesInUse().tempWaitMs, lock)) {
        return MD_OK;
    }
    MD_REPORT(LOG_E, "temporary file in use by another run: %s", tempPath);
    return MD_ERR_TEMP_IN_USE;
}

int proveDiff(const char* oldPath, const char* newPath, const char* diffPath, const char* tempPath)
{
    int result = mdMakeDiff(oldPath, newPath, diffPath);
    if (result != MD_OK) {
        return result;
    }
    result = mdMakeUpdateFresh(oldPath, diffPath, tempPath);
    if (result != MD_OK) {
        return result;
    }
    result = mdVerify(newPath, tempPath);
    if (result != MD_OK) {
        return result;
    }
    if (!mdFsDelete(tempPath)) {
        MD_REPORT(LOG_W, "failed to remove tmp file: %s", tempPath);
    }
    return MD_OK;
}

// The output is replaced only by a complete rebuilt file whose data are already on storage.
int rebuildAndReplace(const char* sourcePath, const char* diffPath, const char* outputPath, const char* tempPath)
{
    // The source is read whole into the temporary file before the output is touched, so the
    // output may be the source itself.
    int result = mdMakeUpdateFresh(sourcePath, diffPath, tempPath);
    if (result != MD_OK) {
        return result;
    }
    const mdReplaceServices& services = mdReplaceServicesInUse();
    if (!services.flushToDisk(tempPath)) {
        MD_REPORT(LOG_E, "write error");
        return MD_ERR_OUTPUT_WRITE;
    }
    if (!services.move(tempPath, outputPath)) {
        MD_REPORT(LOG_E, "failed to rename file: '%s' --> '%s'", tempPath, outputPath);
        return MD_ERR_MOVE;
    }
    return MD_OK;
}

}  // namespace

int mdDoDiff(const char* oldPath, const char* newPath, const char* diffPath)
{
    MD_LOG(LOG_V, "mdDoDiff('%s', '%s', '%s')", oldPath, newPath, diffPath);
    char tempPath[MD_PATH_MAX];
    mdResolvePath(tempPath, MD_TEMP_NAME);

    mdTempLock lock;
    int result = lockTemp(tempPath, &lock);
    if (result != MD_OK) {
        return result;
    }
    result = proveDiff(oldPath, newPath, diffPath, tempPath);
    mdFsUnlockTemp(&lock);
    return result;
}

int mdDoUpdate(const char* sourcePath, const char* diffPath, const char* outputPath, bool verbose,
               bool outputFormed)
{
    MD_LOG(LOG_V, "mdDoUpdate('%s', '%s', '%s')", sourcePath, diffPath, outputPath);
    char tempPath[MD_PATH_MAX];
    mdResolvePath(tempPath, MD_TEMP_NAME);
    if (!outputFormed) {
        // An output path too long to be formed: fail where it would be used, before anything is
        // written. An empty name is a name like any other: its move fails after the rebuild.
        MD_REPORT(LOG_E, "failed to rename file: '%s' --> '%s'", tempPath, outputPath);
        return MD_ERR_MOVE;
    }

    mdTempLock lock;
    int result = lockTemp(tempPath, &lock);
    if (result != MD_OK) {
        return result;
    }
    if (verbose) {
        MD_REPORT(LOG_I, "%s", kPatchingText);
    }
    result = rebuildAndReplace(sourcePath, diffPath, outputPath, tempPath);
    mdFsUnlockTemp(&lock);
    if (result == MD_OK && verbose) {
        MD_REPORT(LOG_I, "%s", kDoneText);
    }
    return result;
}
