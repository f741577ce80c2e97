// Win32 services of the diagnostics: OutputDebugStringA, text streams of the C runtime, machine facts.
#include "diag/diagos.h"

#include <windows.h>

#include <cstring>

void mdOsDebugOutput(const char* text)
{
    OutputDebugStringA(text);
}

void mdOsPutText(FILE* stream, const char* text)
{
    // The C runtime's text mode turns every line feed into CR LF.
    std::fputs(text, stream);
}

int64_t mdOsCounterFrequency()
{
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    if (!QueryPerformanceFrequency(&frequency)) {
        return 0;
    }
    return frequency.QuadPart;
}

int64_t mdOsCounter()
{
    LARGE_INTEGER counter;
    counter.QuadPart = 0;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

void mdOsSystemVersion(mdSystemVersion* version)
{
    *version = mdSystemVersion{};
    version->isWindows = true;
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    // The result is not examined: a failed call leaves the record zeroed, which describes itself.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    version->windows.majorVersion = info.dwMajorVersion;
    version->windows.minorVersion = info.dwMinorVersion;
    version->windows.buildNumber = info.dwBuildNumber;
    version->windows.platformId = info.dwPlatformId;
    static_assert(sizeof(OSVERSIONINFOA) == 148, "the record GetVersionExA expects");
    static_assert(sizeof info.szCSDVersion == MD_SYSTEM_FIELD_MAX, "service-pack text is 128 bytes");
    std::memcpy(version->windows.csdVersion, info.szCSDVersion, MD_SYSTEM_FIELD_MAX);
    // Kept bounded even if the system filled all 128 bytes.
    version->windows.csdVersion[MD_SYSTEM_FIELD_MAX - 1] = '\0';
}
