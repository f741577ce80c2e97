// The run wrapper: run log, start-up report, mdMain, and the log shown after a failure.
#include "main/runlog.h"

#include "diag/log.h"
#include "diag/sysinfo.h"
#include "main/frontend.h"
#include "main/mainos.h"

#include <cstdio>
#include <cstring>

namespace {

// The name the run log was opened under, kept for the shell call at the end of the run.
char g_logFileName[MD_PATH_MAX];

const char* const kLogName = "update_log.txt";

// これはゼルヴァにアップデートパッチを当てた時に生成されるログです。削除しても問題ありません
const char* const kHeaderLine1 =
    "\202\261\202\352\202\315\203[\203\213\203\224\203@\202\311\203A\203b\203v\203f\201[\203g\203p\203b\203`"
    "\202\360\223\226\202\304\202\275\216\236\202\311\220\266\220\254\202\263\202\352\202\351\203\215\203O\202\305"
    "\202\267\201B\215\355\217\234\202\265\202\304\202\340\226\342\221\350\202\240\202\350\202\334\202\271\202\361";
// インストール中にエラーが発生した場合は、このログをコピー＆ペーストして、メールでお送りください。
// followed by the support address, a build setting (MDIFF_SUPPORT_ADDRESS in CMake).
const char* const kHeaderLine2 =
    "\203C\203\223\203X\203g\201[\203\213\222\206\202\311\203G\203\211\201[\202\252\224\255\220\266\202\265\202\275"
    "\217\352\215\207\202\315\201A\202\261\202\314\203\215\203O\202\360\203R\203s\201[\201\225\203y\201[\203X\203g"
    "\202\265\202\304\201A\203\201\201[\203\213\202\305\202\250\221\227\202\350\202\255\202\276\202\263\202\242\201B"
    MD_SUPPORT_ADDRESS;

void logStartupReport()
{
    MD_LOG(LOG_I, "%s", kHeaderLine1);
    MD_LOG(LOG_I, "%s", kHeaderLine2);
    // The three texts share one buffer: each is logged before the next is asked for.
    MD_LOG(LOG_I, "CPU nam: %s", mdGetCpuName());
    MD_LOG(LOG_I, "CPU ven: %s", mdGetCpuVendor());
    MD_LOG(LOG_I, "OS     : %s", mdGetOsName());
    MD_LOG(LOG_I, "Speed  : %d MHz", static_cast<int>(mdGetCpuSpeed()));
}

}  // namespace

int mdRun(int argc, char** argv)
{
    g_logFile = mdOsCreateRunLog(kLogName);
    std::strcpy(g_logFileName, kLogName);
    logStartupReport();

    int result = mdMain(argc, argv);

    if (g_logFile != nullptr) {
        std::fclose(g_logFile);
        g_logFile = nullptr;
        if (result != MD_OK) {
            mdOsShellOpen(g_logFileName);
        }
    }
    return result;
}
