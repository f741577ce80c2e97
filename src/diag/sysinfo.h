// Machine description for the run log: processor name, vendor and clock estimate, system version.
#pragma once

#include <cstdint>

/// The one text buffer the text operations share; a result is valid until the next call of any.
extern char g_sysInfoText[256];

/// Processor brand name without leading white space, or "???" without the extended brand leaves.
const char* mdGetCpuName();
/// The 12-character vendor identification of CPUID leaf 0, up to its first NUL; "???" without CPUID.
const char* mdGetCpuVendor();
/// "%s (Build %d %s)" with the system's name, build number and service-pack text (on POSIX
/// systems: "<sysname> <release>", the "#N" of the uname version and the rest of that version).
const char* mdGetOsName();
/// Clock estimate in MHz from a 100 ms busy wait; 0 without a time-stamp or performance counter.
int32_t mdGetCpuSpeed();
