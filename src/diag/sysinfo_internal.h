// Inside the machine description, for its unit tests only (the program includes sysinfo.h): the
// machine a test installs in place of the real one, and the steps that compute the description
// from recorded facts (CPUID registers, counter readings, version records).
#pragma once

#include "diag/diagos.h"

#include <cstddef>
#include <cstdint>

/// Capacity of the Windows name, terminator included ("Windows NT 3.51" is the longest).
constexpr int MD_OS_NAME_MAX = 16;

/// Milliseconds that the clock estimate waits between its two time-stamp readings.
constexpr uint32_t MD_SPEED_WAIT_MS = 100;

/// The readings the processor texts and the clock estimate are made of; the real machine's are
/// the mdOs services.
struct mdMachine {
    bool (*cpuid)(uint32_t leaf, mdCpuidRegs* regs);
    uint64_t (*timeStamp)();
    int64_t (*counterFrequency)();
    int64_t (*counter)();
};

/// Installs the machine that mdGetCpuName, mdGetCpuVendor and mdGetCpuSpeed read from now on and
/// returns the one it replaces; null stands for the real machine, both ways. The machine is not
/// copied: it must outlive its installation. Each installation starts a new run of the clock, whose
/// frequency is asked for again.
const mdMachine* mdSetMachine(const mdMachine* machine);

/// Start of text past C-locale white space (space, \t, \n, \v, \f, \r).
const char* mdSkipLeadingSpace(const char* text);

/// Vendor identification from leaf 0: EBX, EDX, ECX, bytes lowest first, up to the first NUL.
void mdVendorFromRegs(const mdCpuidRegs& leaf0, char* out, size_t size);

/// Brand name from leaves 0x80000002..4 without its leading white space. Without a NUL in the 48
/// bytes, all 48 are taken.
void mdBrandFromRegs(const mdCpuidRegs leaves[3], char* out, size_t size);

/// Windows name of a version record by platform, major and minor version; "?" for unknown ones.
void mdWindowsName(const mdWinVersion& version, char* name, size_t size);

/// "<name> (Build <build as signed int> <service pack>)"; at most 127 service-pack characters.
void mdFormatOsText(char* out, size_t size, const char* name, uint32_t build, const char* servicePack);

/// The system text of a Windows version record.
void mdOsTextFromWindows(const mdWinVersion& version, char* out, size_t size);

/// The system text of uname: name "<sysname> <release>"; build N and the rest of the version text
/// when the version begins "#N" (Linux's build counter), else build 0 and the whole version text.
void mdOsTextFromUname(const mdUnameFields& fields, char* out, size_t size);

/// The system text of whichever record the system gave.
void mdOsTextFrom(const mdSystemVersion& version, char* out, size_t size);

/// Low 32 bits of counter * 1000 / frequency (signed, truncated), without overflow; frequency > 0.
uint32_t mdMillisecondsOf(int64_t counter, int64_t frequency);

/// MHz from two time-stamp readings MD_SPEED_WAIT_MS apart: the unsigned 64-bit difference
/// / 100000, at most INT32_MAX.
int32_t mdSpeedFromTimeStamps(uint64_t first, uint64_t second);
