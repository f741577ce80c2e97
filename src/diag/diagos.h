// The operating-system services of the diagnostics: debugger channel, text streams, machine facts.
#pragma once

#include <cstdint>
#include <cstdio>

/// Hands one NUL-terminated line to the platform's debugger channel (never the console).
void mdOsDebugOutput(const char* text);

/// Writes text to a stream opened in text mode, every line feed stored as CR LF on every platform.
void mdOsPutText(FILE* stream, const char* text);

// ---- machine facts (system information) ----

/// The four result registers of one CPUID leaf.
struct mdCpuidRegs {
    uint32_t eax;
    uint32_t ebx;
    uint32_t ecx;
    uint32_t edx;
};

// CPUID and the time-stamp counter are the processor's, the same on every system: cpu_x86.cpp.

/// Executes CPUID for leaf (sub-leaf 0) and stores what the processor answers, whatever the leaf.
/// False, with regs zeroed, where there is no CPUID instruction (other processors, early 486s).
bool mdOsCpuid(uint32_t leaf, mdCpuidRegs* regs);

/// The time-stamp counter; 0 where the processor has none. Ask CPUID leaf 1 first.
uint64_t mdOsTimeStamp();

/// Ticks per second of the performance counter; 0 where there is none.
int64_t mdOsCounterFrequency();

/// The performance counter, in ticks of mdOsCounterFrequency.
int64_t mdOsCounter();

/// Capacity of every text of mdWinVersion and mdUnameFields, terminator included.
constexpr int MD_SYSTEM_FIELD_MAX = 128;

/// The fields of the Windows version record (GetVersionExA's OSVERSIONINFOA) that are described.
struct mdWinVersion {
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint32_t buildNumber;
    uint32_t platformId;
    char csdVersion[MD_SYSTEM_FIELD_MAX];
};

/// The fields of uname, each cut to fit and NUL-terminated.
struct mdUnameFields {
    char sysname[MD_SYSTEM_FIELD_MAX];
    char release[MD_SYSTEM_FIELD_MAX];
    char version[MD_SYSTEM_FIELD_MAX];
    char machine[MD_SYSTEM_FIELD_MAX];
};

/// What the system says about its version: the Windows record on Windows, uname elsewhere.
struct mdSystemVersion {
    bool isWindows;
    mdWinVersion windows;  ///< filled when isWindows
    mdUnameFields uname;   ///< filled otherwise; all empty when uname fails
};

void mdOsSystemVersion(mdSystemVersion* version);
