// The replace services in use: the real file services unless a test installed others.
#include "engine/replace.h"

#include "engine/fileservice.h"

namespace {

const mdReplaceServices kRealServices = {mdFsFlushToDisk, mdFsMove, MD_TEMP_WAIT_MS};

const mdReplaceServices* g_installed = nullptr;

}  // namespace

const mdReplaceServices* mdSetReplaceServices(const mdReplaceServices* services)
{
    const mdReplaceServices* previous = g_installed;
    g_installed = services;
    return previous;
}

const mdReplaceServices& mdReplaceServicesInUse()
{
    return g_installed != nullptr ? *g_installed : kRealServices;
}
