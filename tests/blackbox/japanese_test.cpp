// Black-box cases of Japanese names: Shift-JIS bytes in the arguments, the files, the trace, the
// console. Under Wine the program runs with the ANSI code page 932 (the ja_JP.UTF-8 locale), and
// Wine keeps such names on disk as UTF-8; natively the names are the Shift-JIS bytes themselves.
#include "harness.h"

#include <locale.h>

#include <algorithm>
#include <sys/stat.h>

namespace {

// One name in both encodings. Several hold a character whose second Shift-JIS byte is 0x5C, the
// byte of the path separator: 表, ソ, 能.
struct JpName {
    std::string sjis;
    std::string utf8;
};

const JpName kFolder = {"\x95\x5c", "\xe8\xa1\xa8"};                                  // 表
const JpName kOld = {"\x8b\x8c\x83\x5c.bin", "\xe6\x97\xa7\xe3\x82\xbd.bin"};         // 旧ソ.bin
const JpName kNew = {"\x90\x56\x94\x5c.bin", "\xe6\x96\xb0\xe8\x83\xbd.bin"};         // 新能.bin
const JpName kDiff = {"\x8d\xb7\x95\xaa.dat", "\xe5\xb7\xae\xe5\x88\x86.dat"};        // 差分.dat
const JpName kOut = {"\x8f\x6f\x97\xcd\x95\x5c.exe", "\xe5\x87\xba\xe5\x8a\x9b\xe8\xa1\xa8.exe"};  // 出力表.exe
const JpName kMissing = {"\x83\x5c\x94\x5c.bin", "\xe3\x82\xbd\xe8\x83\xbd.bin"};     // ソ能.bin

class JapaneseNames : public Sandbox {
protected:
    void SetUp() override
    {
        Sandbox::SetUp();
        if (underWine()) {
            locale_t japanese = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", static_cast<locale_t>(0));
            ASSERT_NE(japanese, static_cast<locale_t>(0))
                << "the locale ja_JP.UTF-8 is missing (tools/install-deps generates it); without it Wine "
                   "has no code page 932";
            freelocale(japanese);
        }
        ASSERT_EQ(mkdir(local(onDisk(kFolder)).c_str(), 0755), 0);
    }

    // The name in the folder as this test's process sees it, and as the program is given it.
    static std::string onDisk(const JpName& name) { return underWine() ? name.utf8 : name.sjis; }
    static std::string inFolder(const JpName& name) { return onDisk(kFolder) + "/" + onDisk(name); }
    static std::string argument(const JpName& name)
    {
        return underWine() ? kFolder.utf8 + "\\" + name.utf8 : kFolder.sjis + "/" + name.sjis;
    }
    // The name as the program sees it: always Shift-JIS.
    static std::string programForm(const JpName& name)
    {
        return kFolder.sjis + (underWine() ? "\\" : "/") + name.sjis;
    }

    RunResult runJapanese(const std::vector<JpName>& names, const std::string& keyword)
    {
        std::vector<std::string> args = {keyword};
        for (const JpName& name : names) {
            args.push_back(argument(name));
        }
        return run(args, {"LANG=ja_JP.UTF-8", "LC_ALL=ja_JP.UTF-8"});
    }

    std::string log() { return read("update_log.txt"); }

    bool logHolds(const std::string& line)
    {
        return log().find("]: " + line + "\r\n") != std::string::npos;
    }

    void expectResolved(const JpName& name)
    {
        EXPECT_TRUE(logHolds("in: " + programForm(name) + " --> " + full(programForm(name))))
            << "the in: trace holds the Shift-JIS bytes of " << name.utf8;
    }
};

TEST_F(JapaneseNames, DiffAndUpdateRoundTripUnderTheirNames)
{
    std::string oldBytes = pattern(5000, 7), newBytes = pattern(6000, 8);
    write(inFolder(kOld), oldBytes);
    write(inFolder(kNew), newBytes);

    RunResult made = runJapanese({kOld, kNew, kDiff}, "-diff");
    EXPECT_EQ(made.status, 0) << made.out;
    EXPECT_EQ(made.out, "");
    EXPECT_EQ(read(inFolder(kDiff)).size(), newBytes.size()) << "written under its own name";
    for (const JpName& name : {kOld, kNew, kDiff}) {
        expectResolved(name);
    }

    RunResult applied = runJapanese({kOld, kDiff, kOut}, "-update");
    EXPECT_EQ(applied.status, 0) << applied.out;
    EXPECT_EQ(read(inFolder(kOut)), newBytes) << "the round trip is exact";
    expectResolved(kOut);
    EXPECT_TRUE(logHolds("mdDoUpdate('" + full(programForm(kOld)) + "', '" + full(programForm(kDiff)) + "', '" +
                         full(programForm(kOut)) + "')"));

    std::vector<std::string> expected = {onDisk(kDiff), onDisk(kOut), onDisk(kNew), onDisk(kOld)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listing(onDisk(kFolder)), expected) << "no other name made";
    EXPECT_EQ(listing(), (std::vector<std::string>{"update_log.txt", onDisk(kFolder)}));
}

struct JpFailure {
    const char* name;
    const char* keyword;
    std::vector<JpName> args;
    int status;
    std::string message;  // followed by the full path of the missing file
};

void PrintTo(const JpFailure& c, std::ostream* os) { *os << c.name; }

class JapaneseFailures : public JapaneseNames, public ::testing::WithParamInterface<JpFailure> {};

TEST_P(JapaneseFailures, ReportHoldsTheShiftJisPath)
{
    const JpFailure& c = GetParam();
    write(inFolder(kOld), "old");
    write(inFolder(kNew), "new");
    write(inFolder(kDiff), "\x01\x01\x01");
    RunResult r = runJapanese(c.args, c.keyword);
    EXPECT_EQ(r.status, c.status);
    std::string message = c.message + full(programForm(kMissing));
    EXPECT_EQ(r.out, errorReport(message)) << "the console report holds the Shift-JIS bytes";
    EXPECT_TRUE(logHolds(message));
    expectResolved(kMissing);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JapaneseFailures,
    ::testing::Values(JpFailure{"DiffNewMissing", "-diff", {kOld, kMissing, kDiff}, shellStatus(MD_ERR_NEW_OPEN),
                                "failed to open (with read mode): "},
                      JpFailure{"UpdateSourceMissing", "-update", {kMissing, kDiff, kOut}, shellStatus(MD_ERR_SOURCE_OPEN),
                                "failed to open (with read mode): "},
                      JpFailure{"UpdateDiffMissing", "-update", {kOld, kMissing, kOut}, shellStatus(MD_ERR_PATCH_OPEN),
                                "failed to open (with read mode): "}),
    [](const ::testing::TestParamInfo<JpFailure>& info) { return std::string(info.param.name); });

}  // namespace
