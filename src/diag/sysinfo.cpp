// Machine description: processor vendor, brand and clock estimate, and the system's version text.
#include "diag/sysinfo.h"

#include "diag/sysinfo_internal.h"

#include <cstdio>

char g_sysInfoText[256];

namespace {

const mdMachine kRealMachine = {mdOsCpuid, mdOsTimeStamp, mdOsCounterFrequency, mdOsCounter};

const mdMachine* g_installedMachine = nullptr;

// The millisecond clock's state for one run: the frequency, asked for at the first reading.
struct Clock {
    bool frequencyPending;
    int64_t frequency;
};

Clock g_clock = {true, 0};

const mdMachine& machineInUse()
{
    return g_installedMachine != nullptr ? *g_installedMachine : kRealMachine;
}

constexpr uint32_t kBrandFirstLeaf = 0x80000002u;
constexpr uint32_t kBrandLastLeaf = 0x80000004u;
constexpr uint32_t kTimeStampBit = 1u << 4;

// Lays a register out as four bytes, lowest first.
void putRegister(char* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

const char* mdSkipLeadingSpace(const char* text)
{
    while (isCSpace(*text)) {
        ++text;
    }
    return text;
}

void mdVendorFromRegs(const mdCpuidRegs& leaf0, char* out, size_t size)
{
    char vendor[13];
    putRegister(vendor, leaf0.ebx);
    putRegister(vendor + 4, leaf0.edx);
    putRegister(vendor + 8, leaf0.ecx);
    vendor[12] = '\0';
    std::snprintf(out, size, "%s", vendor);
}

void mdBrandFromRegs(const mdCpuidRegs leaves[3], char* out, size_t size)
{
    // One byte beyond the 48 holds a terminator of our own, for a brand string without one.
    char brand[49];
    for (int i = 0; i < 3; ++i) {
        putRegister(brand + 16 * i, leaves[i].eax);
        putRegister(brand + 16 * i + 4, leaves[i].ebx);
        putRegister(brand + 16 * i + 8, leaves[i].ecx);
        putRegister(brand + 16 * i + 12, leaves[i].edx);
    }
    brand[48] = '\0';
    std::snprintf(out, size, "%s", mdSkipLeadingSpace(brand));
}

namespace {

// The vendor identification, or "???" without CPUID.
void cpuVendorText(const mdMachine& machine, char* out, size_t size)
{
    mdCpuidRegs leaf0;
    if (!machine.cpuid(0, &leaf0)) {
        std::snprintf(out, size, "???");
        return;
    }
    mdVendorFromRegs(leaf0, out, size);
}

// The brand name, or "???" without CPUID or when the highest extended leaf is below 0x80000004.
void cpuNameText(const mdMachine& machine, char* out, size_t size)
{
    mdCpuidRegs highest;
    if (!machine.cpuid(0x80000000u, &highest) || highest.eax < kBrandLastLeaf) {
        std::snprintf(out, size, "???");
        return;
    }
    mdCpuidRegs leaves[3];
    for (uint32_t leaf = kBrandFirstLeaf; leaf <= kBrandLastLeaf; ++leaf) {
        machine.cpuid(leaf, &leaves[leaf - kBrandFirstLeaf]);
    }
    mdBrandFromRegs(leaves, out, size);
}

constexpr uint32_t kAnyVersion = 0xFFFFFFFFu;
constexpr uint32_t kBuildMax = INT32_MAX;

// One row of the Windows names. A row with a mark letter appends markText to its name when the
// service-pack text begins with that letter.
struct WindowsRow {
    uint32_t platformId;
    uint32_t majorVersion;
    uint32_t minorVersion;
    const char* name;
    char mark;
    const char* markText;
};

const WindowsRow kWindowsRows[] = {
    {0, kAnyVersion, kAnyVersion, "Windows 3.1", '\0', ""},
    {1, kAnyVersion, 0, "Windows 95 ", 'C', "OSR2"},
    {1, kAnyVersion, 10, "Windows 98 ", 'A', "SE"},
    {1, kAnyVersion, 90, "Windows Me", '\0', ""},
    {2, 3, kAnyVersion, "Windows NT 3.51", '\0', ""},
    {2, 4, kAnyVersion, "Windows NT 4.0", '\0', ""},
    {2, 5, 0, "Windows 2000", '\0', ""},
    {2, 5, 1, "Windows XP", '\0', ""},
    {2, 6, 0, "Windows Vista", '\0', ""},
    {2, 6, 1, "Windows 7", '\0', ""},
};

bool matches(uint32_t wanted, uint32_t actual)
{
    return wanted == kAnyVersion || wanted == actual;
}

const WindowsRow* findWindowsRow(const mdWinVersion& version)
{
    for (const WindowsRow& row : kWindowsRows) {
        if (row.platformId == version.platformId && matches(row.majorVersion, version.majorVersion)
            && matches(row.minorVersion, version.minorVersion)) {
            return &row;
        }
    }
    return nullptr;
}

// Reads the digits at text as a build number, stopping at INT32_MAX; *rest is past the digits.
uint32_t readBuildNumber(const char* text, const char** rest)
{
    uint32_t number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        uint32_t digit = static_cast<uint32_t>(*text - '0');
        number = number > (kBuildMax - digit) / 10 ? kBuildMax : number * 10 + digit;
    }
    *rest = text;
    return number;
}

}  // namespace

void mdWindowsName(const mdWinVersion& version, char* name, size_t size)
{
    const WindowsRow* row = findWindowsRow(version);
    if (row == nullptr) {
        std::snprintf(name, size, "?");
        return;
    }
    bool marked = row->mark != '\0' && version.csdVersion[0] == row->mark;
    std::snprintf(name, size, "%s%s", row->name, marked ? row->markText : "");
}

void mdFormatOsText(char* out, size_t size, const char* name, uint32_t build, const char* servicePack)
{
    // The record's build field is unsigned; it is shown as the signed number the log always had.
    std::snprintf(out, size, "%s (Build %d %.127s)", name, static_cast<int32_t>(build), servicePack);
}

void mdOsTextFromWindows(const mdWinVersion& version, char* out, size_t size)
{
    char name[MD_OS_NAME_MAX];
    mdWindowsName(version, name, sizeof name);
    mdFormatOsText(out, size, name, version.buildNumber, version.csdVersion);
}

void mdOsTextFromUname(const mdUnameFields& fields, char* out, size_t size)
{
    char name[2 * MD_SYSTEM_FIELD_MAX];
    std::snprintf(name, sizeof name, "%.127s %.127s", fields.sysname, fields.release);
    uint32_t build = 0;
    const char* detail = fields.version;
    if (fields.version[0] == '#' && fields.version[1] >= '0' && fields.version[1] <= '9') {
        build = readBuildNumber(fields.version + 1, &detail);
        detail = mdSkipLeadingSpace(detail);
    }
    mdFormatOsText(out, size, name, build, detail);
}

void mdOsTextFrom(const mdSystemVersion& version, char* out, size_t size)
{
    if (version.isWindows) {
        mdOsTextFromWindows(version.windows, out, size);
    } else {
        mdOsTextFromUname(version.uname, out, size);
    }
}

uint32_t mdMillisecondsOf(int64_t counter, int64_t frequency)
{
    // counter * 1000 / frequency in two steps: the plain product overflows once the counter passes
    // 2^63 / 1000, about 106 days of a nanosecond counter. Both steps truncate toward zero alike.
    int64_t whole = counter / frequency;
    int64_t part = counter % frequency;
    int64_t milliseconds = whole * 1000 + part * 1000 / frequency;
    return static_cast<uint32_t>(static_cast<uint64_t>(milliseconds));
}

namespace {

// The counter frequency, asked of the machine only at the first call for a clock.
int64_t clockFrequency(const mdMachine& machine, Clock* clock)
{
    if (clock->frequencyPending) {
        clock->frequency = machine.counterFrequency();
        clock->frequencyPending = false;
    }
    return clock->frequency;
}

// One reading of the millisecond clock; 0 where the frequency is not positive.
uint32_t readClock(const mdMachine& machine, Clock* clock)
{
    int64_t frequency = clockFrequency(machine, clock);
    if (frequency <= 0) {
        return 0;
    }
    return mdMillisecondsOf(machine.counter(), frequency);
}

}  // namespace

int32_t mdSpeedFromTimeStamps(uint64_t first, uint64_t second)
{
    // The full 64-bit difference: a 32-bit one turns negative once the wait is held up for 2^31
    // ticks, about 0.7 s at 3 GHz.
    uint64_t megahertz = (second - first) / 100000u;
    return megahertz > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(megahertz);
}

namespace {

// Clock estimate in MHz; 0 without CPUID, without a time-stamp counter or without a frequency.
int32_t cpuSpeedOf(const mdMachine& machine, Clock* clock)
{
    mdCpuidRegs leaf1;
    if (!machine.cpuid(1, &leaf1) || (leaf1.edx & kTimeStampBit) == 0) {
        return 0;
    }
    // Asked before the first time-stamp reading, so that the wait cannot start without a clock.
    if (clockFrequency(machine, clock) <= 0) {
        return 0;
    }
    uint64_t first = machine.timeStamp();
    uint32_t start = readClock(machine, clock);
    while (static_cast<uint32_t>(readClock(machine, clock) - start) < MD_SPEED_WAIT_MS) {
        // Polled without sleeping: a sleep would hand the wait to the scheduler's granularity.
    }
    uint64_t second = machine.timeStamp();
    return mdSpeedFromTimeStamps(first, second);
}

}  // namespace

const mdMachine* mdSetMachine(const mdMachine* machine)
{
    const mdMachine* previous = g_installedMachine;
    g_installedMachine = machine;
    g_clock = Clock{true, 0};
    return previous;
}

const char* mdGetCpuName()
{
    cpuNameText(machineInUse(), g_sysInfoText, sizeof g_sysInfoText);
    return g_sysInfoText;
}

const char* mdGetCpuVendor()
{
    cpuVendorText(machineInUse(), g_sysInfoText, sizeof g_sysInfoText);
    return g_sysInfoText;
}

const char* mdGetOsName()
{
    mdSystemVersion version;
    mdOsSystemVersion(&version);
    mdOsTextFrom(version, g_sysInfoText, sizeof g_sysInfoText);
    return g_sysInfoText;
}

int32_t mdGetCpuSpeed()
{
    return cpuSpeedOf(machineInUse(), &g_clock);
}
