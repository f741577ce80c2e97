// mdDoZELUpdate: the product upgrade of zel.exe in the current directory.
#include "engine/engine.h"

#include "diag/report.h"
#include "engine/fileservice.h"
#include "engine/replace.h"

namespace {

const char* const kExe = "zel.exe";
const char* const kOriginal = "zel.original";
const char* const kBackup = "zel.exe.backup";
const char* const kDiff = "zel.diff";

// Texts in Shift-JIS.
// "zel.original が存在するため、既に何らかのアップグレードが適用されているものとします"
const char* const kPristineCopyText =
    "zel.original \202\252\221\266\215\335\202\267\202\351\202\275\202\337\201A\212\371\202\311\211\275\202\347"
    "\202\251\202\314\203A\203b\203v\203O\203\214\201[\203h\202\252\223K\227p\202\263\202\352\202\304\202\242"
    "\202\351\202\340\202\314\202\306\202\265\202\334\202\267";
// "zel.exe がみつかりません。このインストーラーはアップグレード専用です"
const char* const kMissingExeText =
    "zel.exe \202\252\202\335\202\302\202\251\202\350\202\334\202\271\202\361\201B\202\261\202\314\203C\203\223"
    "\203X\203g\201[\203\211\201[\202\315\203A\203b\203v\203O\203\214\201[\203h\220\352\227p\202\305\202\267";
// "アップグレードに必要なファイル zel.original が見つかりません"
const char* const kWrongSizeText =
    "\203A\203b\203v\203O\203\214\201[\203h\202\311\225K\227v\202\310\203t\203@\203C\203\213 zel.original "
    "\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361";
// "zel.original がまだ存在しないため、これは初めてのアップグレードであるものとします"
const char* const kFirstUpgradeText =
    "zel.original \202\252\202\334\202\276\221\266\215\335\202\265\202\310\202\242\202\275\202\337\201A\202\261"
    "\202\352\202\315\217\211\202\337\202\304\202\314\203A\203b\203v\203O\203\214\201[\203h\202\305\202\240\202\351"
    "\202\340\202\314\202\306\202\265\202\334\202\267";
// "zel.exe のバックアップに失敗ましたが、処理を続行します"
const char* const kBackupFailedText =
    "zel.exe \202\314\203o\203b\203N\203A\203b\203v\202\311\216\270\224s\202\334\202\265\202\275\202\252\201A"
    "\217\210\227\235\202\360\221\261\215s\202\265\202\334\202\267";

bool hasPristineSize(const char* path)
{
    // A 64-bit size: a file 4 GiB larger than the pristine one is not pristine.
    uint64_t size = 0;
    return mdFsFileSize(path, &size) && size == MD_ZEL_EXE_SIZE;
}

// The backup is whole or untouched: a copy beside it, on storage, then renamed over it. The copy
// beside it has a fixed name, so runs in the folder take turns as they do for the temporary file.
bool backUp()
{
    char backupPath[MD_PATH_MAX];
    if (mdFsFullPath(kBackup, backupPath, sizeof backupPath) != MD_PATH_OK) {
        return false;
    }
    mdTempLock lock;
    if (!mdFsLockTemp(backupPath, mdReplaceServicesInUse().tempWaitMs, &lock)) {
        return false;
    }
    bool copied = mdFsCopyWhole(kExe, kBackup);
    mdFsUnlockTemp(&lock);
    return copied;
}

}  // namespace

int mdDoZELUpdate(bool verbose)
{
    MD_LOG(LOG_V, "mdDoZELUpdate");
    const char* source = kOriginal;
    if (mdFsExists(kOriginal)) {
        MD_LOG(LOG_V, "%s", kPristineCopyText);
    } else if (!mdFsExists(kExe)) {
        MD_REPORT(LOG_E, "%s", kMissingExeText);
        return MD_ERR_ZEL_MISSING;
    } else if (!hasPristineSize(kExe)) {
        MD_REPORT(LOG_E, "%s", kWrongSizeText);
        return MD_ERR_ZEL_SIZE;
    } else {
        MD_LOG(LOG_V, "%s", kFirstUpgradeText);
        source = kExe;
    }

    if (!backUp()) {
        MD_LOG(LOG_W, "%s", kBackupFailedText);
    }
    return mdDoUpdate(source, kDiff, kExe, verbose);
}
