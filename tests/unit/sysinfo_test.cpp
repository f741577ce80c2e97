// Tests of the machine description on recorded CPUID registers, counter readings and version records.
#include "diag/sysinfo.h"
#include "diag/sysinfo_internal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// ---- a recorded machine ----

struct RecordedLeaf {
    uint32_t leaf;
    mdCpuidRegs regs;
};

constexpr int kMaxReadings = 16;

// What the fake machine answers and what it was asked; the mdMachine callbacks below use it.
struct Recording {
    bool hasCpuid = true;
    RecordedLeaf leaves[8] = {};
    int leafCount = 0;
    int64_t frequency = 0;
    int64_t counters[kMaxReadings] = {};
    int counterCount = 0;
    uint64_t timeStamps[2] = {};

    uint32_t askedLeaves[kMaxReadings] = {};
    int askedCount = 0;
    int frequencyQueries = 0;
    int counterReads = 0;
    int timeStampReads = 0;
};

Recording g_rec;

bool fakeCpuid(uint32_t leaf, mdCpuidRegs* regs)
{
    *regs = mdCpuidRegs{};
    if (!g_rec.hasCpuid) {
        return false;
    }
    if (g_rec.askedCount < kMaxReadings) {
        g_rec.askedLeaves[g_rec.askedCount] = leaf;
    }
    ++g_rec.askedCount;
    for (int i = 0; i < g_rec.leafCount; ++i) {
        if (g_rec.leaves[i].leaf == leaf) {
            *regs = g_rec.leaves[i].regs;
        }
    }
    return true;
}

uint64_t fakeTimeStamp()
{
    uint64_t value = g_rec.timeStamps[g_rec.timeStampReads < 2 ? g_rec.timeStampReads : 1];
    ++g_rec.timeStampReads;
    return value;
}

int64_t fakeFrequency()
{
    ++g_rec.frequencyQueries;
    return g_rec.frequency;
}

int64_t fakeCounter()
{
    int index = g_rec.counterReads++;
    if (index < g_rec.counterCount) {
        return g_rec.counters[index];
    }
    // Past the recording the clock leaps ahead a second at a time, so a faulty wait still ends
    // and shows up in the read count.
    return g_rec.counters[g_rec.counterCount - 1] + (index - g_rec.counterCount + 1) * g_rec.frequency;
}

const mdMachine kFake = {fakeCpuid, fakeTimeStamp, fakeFrequency, fakeCounter};

bool wasAsked(uint32_t leaf)
{
    for (int i = 0; i < g_rec.askedCount && i < kMaxReadings; ++i) {
        if (g_rec.askedLeaves[i] == leaf) {
            return true;
        }
    }
    return false;
}

// Each test reads the recorded machine through the program's own texts and clock estimate.
class SysInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_rec = Recording{};
        previous_ = mdSetMachine(&kFake);
    }
    void TearDown() override { mdSetMachine(previous_); }

    static void addLeaf(uint32_t leaf, mdCpuidRegs regs)
    {
        g_rec.leaves[g_rec.leafCount++] = RecordedLeaf{leaf, regs};
    }

    const mdMachine* previous_ = nullptr;
};

// Recorded on an AMD EPYC guest: leaf 0 and the brand leaves 0x80000002..4.
constexpr mdCpuidRegs kAmdLeaf0 = {0x0000000d, 0x68747541, 0x444d4163, 0x69746e65};
constexpr mdCpuidRegs kAmdBrand[3] = {
    {0x6469784f, 0x69562065, 0x61757472, 0x7554206c},
    {0x2d6e6972, 0x656b696c, 0x6f725020, 0x73736563},
    {0x2020726f, 0x20202020, 0x20202020, 0x00202020},
};
const char* const kAmdBrandText = "Oxide Virtual Turin-like Processor             ";

// Lays text out as the brand leaves would carry it: 48 bytes, four to a register, lowest first.
void packBrand(const char* text, size_t length, mdCpuidRegs leaves[3])
{
    unsigned char bytes[48] = {};
    std::memcpy(bytes, text, length);
    uint32_t words[12];
    for (int w = 0; w < 12; ++w) {
        words[w] = bytes[4 * w] | bytes[4 * w + 1] << 8 | bytes[4 * w + 2] << 16
                   | static_cast<uint32_t>(bytes[4 * w + 3]) << 24;
    }
    for (int i = 0; i < 3; ++i) {
        leaves[i] = mdCpuidRegs{words[4 * i], words[4 * i + 1], words[4 * i + 2], words[4 * i + 3]};
    }
}

// ---- vendor and brand ----

TEST_F(SysInfo, VendorIsEbxEdxEcxUpToTheFirstNul)
{
    struct Case {
        mdCpuidRegs leaf0;
        const char* expected;
    } const cases[] = {
        {kAmdLeaf0, "AuthenticAMD"},
        {{0x16, 0x756e6547, 0x6c65746e, 0x49656e69}, "GenuineIntel"},
        {{0x0f, 0x68532020, 0x20206961, 0x68676e61}, "  Shanghai  "},  // blanks are kept
        {{0x0d, 0x756e6547, 0x6c65746e, 0x49650069}, "Genui"},         // NUL in EDX's second byte
        {{0x00, 0x00000000, 0x6c65746e, 0x49656e69}, ""},
    };
    for (const Case& c : cases) {
        char out[256];
        mdVendorFromRegs(c.leaf0, out, sizeof out);
        EXPECT_STREQ(c.expected, out);
    }
}

TEST_F(SysInfo, BrandFromRecordedRegistersKeepsTrailingBlanks)
{
    char out[256];
    mdBrandFromRegs(kAmdBrand, out, sizeof out);
    EXPECT_STREQ(kAmdBrandText, out);
}

TEST_F(SysInfo, BrandLosesOnlyLeadingCLocaleWhiteSpace)
{
    const std::string noNul(48, 'x');
    struct Case {
        std::string brand;
        std::string expected;
    } const cases[] = {
        {"              Intel(R) Xeon(TM) CPU 3.00GHz", "Intel(R) Xeon(TM) CPU 3.00GHz"},
        {" \t\n\v\f\rX", "X"},
        {"        ", ""},
        {"", ""},
        {"\xA0X", "\xA0X"},  // not white space in the C locale
        {"\bX", "\bX"},
        {"A \t B \r\n", "A \t B \r\n"},
        {noNul, noNul},
        {"   " + std::string(45, 'y'), std::string(45, 'y')},
    };
    for (const Case& c : cases) {
        mdCpuidRegs leaves[3];
        packBrand(c.brand.data(), c.brand.size(), leaves);
        char out[256];
        mdBrandFromRegs(leaves, out, sizeof out);
        EXPECT_EQ(c.expected, std::string(out)) << "brand \"" << c.brand << "\"";
    }
}

TEST_F(SysInfo, NameNeedsTheLastBrandLeafComparedUnsigned)
{
    struct Case {
        bool hasCpuid;
        uint32_t highestLeaf;
        const char* expected;
    } const cases[] = {
        {true, 0x80000004u, kAmdBrandText},
        {true, 0x80000021u, kAmdBrandText},
        {true, 0xFFFFFFFFu, kAmdBrandText},
        {true, 0x80000003u, "???"},
        {true, 0x80000000u, "???"},
        {true, 0x7FFFFFFFu, "???"},
        {true, 0x0000000Du, "???"},  // an old processor repeating its highest basic leaf
        {false, 0, "???"},
    };
    for (const Case& c : cases) {
        g_rec = Recording{};
        g_rec.hasCpuid = c.hasCpuid;
        addLeaf(0x80000000u, mdCpuidRegs{c.highestLeaf, 0, 0, 0});
        for (uint32_t i = 0; i < 3; ++i) {
            addLeaf(0x80000002u + i, kAmdBrand[i]);
        }
        const char* out = mdGetCpuName();
        EXPECT_STREQ(c.expected, out) << std::hex << c.highestLeaf;
        bool brandShown = std::strcmp(out, "???") != 0;
        EXPECT_EQ(brandShown, wasAsked(0x80000002u) && wasAsked(0x80000004u)) << std::hex << c.highestLeaf;
    }
}

TEST_F(SysInfo, VendorOfTheMachine)
{
    addLeaf(0, kAmdLeaf0);
    EXPECT_STREQ("AuthenticAMD", mdGetCpuVendor());

    g_rec.hasCpuid = false;
    EXPECT_STREQ("???", mdGetCpuVendor());
}

// ---- the system text ----

mdWinVersion winVersion(uint32_t platform, uint32_t major, uint32_t minor, const char* csd, uint32_t build = 0)
{
    mdWinVersion version{};
    version.platformId = platform;
    version.majorVersion = major;
    version.minorVersion = minor;
    version.buildNumber = build;
    std::snprintf(version.csdVersion, sizeof version.csdVersion, "%s", csd);
    return version;
}

TEST_F(SysInfo, WindowsNameByPlatformMajorMinor)
{
    struct Case {
        uint32_t platform, major, minor;
        const char* csd;
        const char* expected;
    } const cases[] = {
        {0, 3, 10, "", "Windows 3.1"},
        {0, 0, 0, "", "Windows 3.1"},
        {0, 99, 7, "C", "Windows 3.1"},
        {1, 4, 0, "", "Windows 95 "},
        {1, 4, 0, "C", "Windows 95 OSR2"},
        {1, 4, 0, "B", "Windows 95 "},
        {1, 4, 0, " C", "Windows 95 "},
        {1, 4, 0, "c", "Windows 95 "},
        {1, 7, 0, "C", "Windows 95 OSR2"},  // the major version is not looked at
        {1, 4, 0, "A", "Windows 95 "},
        {1, 4, 10, "", "Windows 98 "},
        {1, 4, 10, "A", "Windows 98 SE"},
        {1, 4, 10, " A ", "Windows 98 "},
        {1, 4, 10, "C", "Windows 98 "},
        {1, 0, 10, "A", "Windows 98 SE"},
        {1, 4, 90, " ", "Windows Me"},
        {1, 4, 90, "A", "Windows Me"},
        {1, 4, 3, "", "?"},
        {1, 4, 1, "C", "?"},
        {2, 3, 51, "", "Windows NT 3.51"},
        {2, 3, 0, "", "Windows NT 3.51"},
        {2, 4, 0, "Service Pack 6", "Windows NT 4.0"},
        {2, 4, 77, "", "Windows NT 4.0"},
        {2, 5, 0, "", "Windows 2000"},
        {2, 5, 1, "", "Windows XP"},
        {2, 5, 2, "", "?"},
        {2, 6, 0, "", "Windows Vista"},
        {2, 6, 1, "Service Pack 1", "Windows 7"},
        {2, 6, 2, "", "?"},
        {2, 6, 3, "", "?"},
        {2, 10, 0, "", "?"},
        {2, 2, 0, "", "?"},
        {3, 4, 0, "", "?"},  // Windows CE
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, "", "?"},
    };
    for (const Case& c : cases) {
        char name[MD_OS_NAME_MAX];
        mdWindowsName(winVersion(c.platform, c.major, c.minor, c.csd), name, sizeof name);
        EXPECT_STREQ(c.expected, name) << c.platform << "." << c.major << "." << c.minor << " \"" << c.csd << "\"";
    }
}

TEST_F(SysInfo, WindowsTextShowsBuildSignedAndServicePack)
{
    struct Case {
        mdWinVersion version;
        const char* expected;
    } const cases[] = {
        {winVersion(2, 6, 1, "Service Pack 1", 7601), "Windows 7 (Build 7601 Service Pack 1)"},
        {winVersion(2, 5, 1, "", 2600), "Windows XP (Build 2600 )"},
        {winVersion(1, 4, 0, "", 0x040003B6), "Windows 95  (Build 67109814 )"},
        {winVersion(1, 4, 0, "C", 0x04000457), "Windows 95 OSR2 (Build 67109975 C)"},
        {winVersion(0, 3, 10, "", 0x80000000u), "Windows 3.1 (Build -2147483648 )"},
        {winVersion(2, 10, 0, "", 19045), "? (Build 19045 )"},
        {mdWinVersion{}, "Windows 3.1 (Build 0 )"},  // what a failed GetVersionExA leaves
    };
    for (const Case& c : cases) {
        char out[256];
        mdOsTextFromWindows(c.version, out, sizeof out);
        EXPECT_STREQ(c.expected, out);
    }
}

TEST_F(SysInfo, LongestWindowsTextFitsWithItsTerminatorIn164Bytes)
{
    mdWinVersion version = winVersion(2, 3, 51, "", 0x80000000u);
    std::memset(version.csdVersion, 's', sizeof version.csdVersion);  // not even terminated
    char out[256];
    mdOsTextFromWindows(version, out, sizeof out);
    EXPECT_EQ("Windows NT 3.51 (Build -2147483648 " + std::string(127, 's') + ")", std::string(out));
    EXPECT_EQ(163u, std::strlen(out));
}

mdUnameFields unameFields(const char* sysname, const char* release, const char* version, const char* machine)
{
    mdUnameFields fields{};
    std::snprintf(fields.sysname, sizeof fields.sysname, "%s", sysname);
    std::snprintf(fields.release, sizeof fields.release, "%s", release);
    std::snprintf(fields.version, sizeof fields.version, "%s", version);
    std::snprintf(fields.machine, sizeof fields.machine, "%s", machine);
    return fields;
}

TEST_F(SysInfo, UnameTextTakesTheBuildCounterOfTheVersion)
{
    struct Case {
        mdUnameFields fields;
        const char* expected;
    } const cases[] = {
        {unameFields("Linux", "6.1.0-18-amd64", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)", "x86_64"),
         "Linux 6.1.0-18-amd64 (Build 1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01))"},
        {unameFields("Linux", "5.15.0-91-generic", "#101-Ubuntu SMP Tue Nov 14 13:30:08 UTC 2023", "x86_64"),
         "Linux 5.15.0-91-generic (Build 101 -Ubuntu SMP Tue Nov 14 13:30:08 UTC 2023)"},
        {unameFields("Linux", "6.6", "#42", "aarch64"), "Linux 6.6 (Build 42 )"},
        {unameFields("Linux", "6.6", "#99999999999 SMP", "x86_64"), "Linux 6.6 (Build 2147483647 SMP)"},
        {unameFields("Darwin", "23.1.0", "Darwin Kernel Version 23.1.0", "arm64"),
         "Darwin 23.1.0 (Build 0 Darwin Kernel Version 23.1.0)"},
        {unameFields("Linux", "6.6", "# SMP", "x86_64"), "Linux 6.6 (Build 0 # SMP)"},
        {mdUnameFields{}, "  (Build 0 )"},  // what a failed uname leaves
    };
    for (const Case& c : cases) {
        char out[256];
        mdOsTextFromUname(c.fields, out, sizeof out);
        EXPECT_STREQ(c.expected, out);
    }
}

TEST_F(SysInfo, SystemTextUsesTheRecordTheSystemGave)
{
    mdSystemVersion version{};
    version.windows = winVersion(2, 5, 1, "Service Pack 3", 2600);
    version.uname = unameFields("Linux", "6.6", "#7 SMP", "x86_64");
    char out[256];

    version.isWindows = true;
    mdOsTextFrom(version, out, sizeof out);
    EXPECT_STREQ("Windows XP (Build 2600 Service Pack 3)", out);

    version.isWindows = false;
    mdOsTextFrom(version, out, sizeof out);
    EXPECT_STREQ("Linux 6.6 (Build 7 SMP)", out);
}

TEST_F(SysInfo, TextsStayWithinTheirBuffer)
{
    const std::string full(MD_SYSTEM_FIELD_MAX - 1, 'z');
    mdUnameFields fields = unameFields(full.c_str(), full.c_str(), full.c_str(), full.c_str());
    char out[256 + 8];
    std::memset(out, '#', sizeof out);
    mdOsTextFromUname(fields, out, 256);
    EXPECT_EQ(255u, std::strlen(out));
    EXPECT_EQ(std::string(8, '#'), std::string(out + 256, 8));

    std::memset(out, '#', sizeof out);
    mdBrandFromRegs(kAmdBrand, out, 6);
    EXPECT_STREQ("Oxide", out);
    EXPECT_EQ('#', out[6]);

    std::memset(out, '#', sizeof out);
    mdVendorFromRegs(kAmdLeaf0, out, 5);
    EXPECT_STREQ("Auth", out);
    EXPECT_EQ('#', out[5]);
}

TEST_F(SysInfo, TextOperationsShareOneBuffer)
{
    const char* name = mdGetCpuName();
    const char* os = mdGetOsName();
    EXPECT_EQ(static_cast<const char*>(g_sysInfoText), name);
    EXPECT_EQ(name, os);
    EXPECT_EQ(static_cast<const char*>(g_sysInfoText), mdGetCpuVendor());
}

// ---- the millisecond clock and the clock estimate ----

TEST_F(SysInfo, MillisecondsAreCounterTimes1000OverFrequencyLow32Bits)
{
    struct Case {
        int64_t counter, frequency;
        uint32_t expected;
    } const cases[] = {
        {0, 1000000000, 0},
        {999999, 1000000000, 0},
        {1500000000, 1000000000, 1500},
        {7159090, 3579545, 2000},
        {3579544, 3579545, 999},
        {0xFFFFFFFFLL, 1000, 0xFFFFFFFFu},
        {0x100000054LL, 1000, 0x54u},
        // 200 days of a nanosecond counter: counter * 1000 would not fit in 64 bits.
        {17280000000000000LL, 1000000000, static_cast<uint32_t>(17280000000ULL)},
        {INT64_MAX, 10000000, static_cast<uint32_t>(922337203685477ULL)},
        {-1500, 1000, static_cast<uint32_t>(-1500)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, mdMillisecondsOf(c.counter, c.frequency)) << c.counter << " / " << c.frequency;
    }
}

TEST_F(SysInfo, SpeedIsTheWholeTimeStampDifferenceOver100000)
{
    struct Case {
        uint64_t first, second;
        int32_t expected;
    } const cases[] = {
        {1000, 1000 + 300000000, 3000},
        {0, 99999, 0},
        {0, 100000, 1},
        {0xFFFFFF00u, 0x100000000ULL + 299999744u, 3000},  // the low halves wrap in between
        // Held up: 2^31 and more between the low halves once came out negative.
        {0x10, 0x10 + 0x80000000ULL, 21474},
        {5000, 5000 + 2400000000ULL, 24000},
        {0, 0x100000000ULL + 300000000, 45949},  // more than 2^32: the low halves alone say 3000
        {0, 100000ULL * INT32_MAX, INT32_MAX},
        {0, 100000ULL * INT32_MAX + 100000, INT32_MAX},
        {0, UINT64_MAX, INT32_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, mdSpeedFromTimeStamps(c.first, c.second)) << c.first << " -> " << c.second;
    }
}

TEST_F(SysInfo, SpeedWaitsForOneHundredMilliseconds)
{
    constexpr uint32_t kTsc = 0x178bfbffu;  // recorded leaf 1 EDX, time-stamp counter present
    constexpr int64_t kDays200 = 17280000000000000LL;
    struct Case {
        const char* what;
        bool hasCpuid;
        uint32_t leaf1Edx;
        int64_t frequency;
        int64_t counters[6];
        int counterCount;
        uint64_t timeStamps[2];
        int32_t expected;
        int counterReads, timeStampReads, frequencyQueries;
    } const cases[] = {
        {"plain", true, kTsc, 1000, {5, 50, 104, 105}, 4, {1000, 1000 + 300000000}, 3000, 4, 2, 1},
        {"clock wraps", true, kTsc, 1000, {0xFFFFFFF0LL, 0x100000050LL, 0x100000054LL}, 3,
         {7, 7 + 250000000}, 2500, 3, 2, 1},
        {"nanoseconds", true, kTsc, 1000000000, {kDays200, kDays200 + 99999999, kDays200 + 100000000}, 3,
         {0, 360000000}, 3600, 3, 2, 1},
        {"held up", true, kTsc, 1000, {0, 900}, 2, {0, 2700000000ULL}, 27000, 2, 2, 1},
        {"no time-stamp counter", true, kTsc & ~(1u << 4), 1000, {0}, 1, {0, 0}, 0, 0, 0, 0},
        {"no CPUID", false, 0, 1000, {0}, 1, {0, 0}, 0, 0, 0, 0},
        {"no performance counter", true, kTsc, 0, {0}, 1, {0, 0}, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        g_rec = Recording{};
        g_rec.hasCpuid = c.hasCpuid;
        addLeaf(1, mdCpuidRegs{0x00b00f21, 0xd9fe0800, 0xfed83203, c.leaf1Edx});
        g_rec.frequency = c.frequency;
        std::memcpy(g_rec.counters, c.counters, sizeof c.counters);
        g_rec.counterCount = c.counterCount;
        std::memcpy(g_rec.timeStamps, c.timeStamps, sizeof c.timeStamps);
        mdSetMachine(&kFake);  // a new run of the clock for each case

        EXPECT_EQ(c.expected, mdGetCpuSpeed()) << c.what;
        EXPECT_EQ(c.counterReads, g_rec.counterReads) << c.what;
        EXPECT_EQ(c.timeStampReads, g_rec.timeStampReads) << c.what;
        EXPECT_EQ(c.frequencyQueries, g_rec.frequencyQueries) << c.what;
    }
}

TEST_F(SysInfo, FrequencyIsAskedForOncePerRun)
{
    addLeaf(1, mdCpuidRegs{0, 0, 0, 1u << 4});
    g_rec.frequency = 1000;
    const int64_t counters[] = {0, 100, 1000, 1100};
    std::memcpy(g_rec.counters, counters, sizeof counters);
    g_rec.counterCount = 4;
    g_rec.timeStamps[1] = 200000000;

    EXPECT_EQ(2000, mdGetCpuSpeed());
    g_rec.timeStampReads = 0;
    EXPECT_EQ(2000, mdGetCpuSpeed());
    EXPECT_EQ(1, g_rec.frequencyQueries);
    EXPECT_EQ(4, g_rec.counterReads);

    // A machine installed anew starts a new run: its frequency is asked for again.
    mdSetMachine(&kFake);
    g_rec.timeStampReads = 0;
    g_rec.counterReads = 0;
    EXPECT_EQ(2000, mdGetCpuSpeed());
    EXPECT_EQ(2, g_rec.frequencyQueries);
}

TEST_F(SysInfo, SetMachineReturnsTheOneItReplacesNullForTheRealOne)
{
    mdSetMachine(previous_);
    const mdMachine other = kFake;
    EXPECT_EQ(nullptr, mdSetMachine(&kFake));
    EXPECT_EQ(&kFake, mdSetMachine(&other));
    EXPECT_EQ(&other, mdSetMachine(nullptr));
    EXPECT_EQ(nullptr, mdSetMachine(&kFake));
}

}  // namespace
