// The information file from the server: its two lines, what makes it unreadable, version texts
// as numbers, and which file names may follow the base path.
#include "upcheck/proginfo.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scoped_env.h"
#include "upcheck/build_variant.h"

namespace koru::upcheck {
namespace {

using namespace std::string_literals;

TEST(ProgInfo, ReadsBothLinesWithAnyLineEnd) {
    for (const std::string& text : {"version=2.300\nfilename=KORU-DMB-2.300.deb\n"s,
                                    "version=2.300\r\nfilename=KORU-DMB-2.300.deb\r\n"s,
                                    "version=2.300\nfilename=KORU-DMB-2.300.deb"s,
                                    "version=2.300\nfilename=KORU-DMB-2.300.deb\nextra=line\n"s}) {
        const ProgInfo info = ParseProgInfo(text);
        EXPECT_TRUE(info.readable) << text;
        EXPECT_EQ(info.version, "2.300") << text;
        EXPECT_EQ(info.file_name, "KORU-DMB-2.300.deb") << text;
    }
}

TEST(ProgInfo, MissingPrefixesAndLinesGiveEmptyTexts) {
    // No newline at all: a version and no file name.
    ProgInfo info = ParseProgInfo("version=3.1");
    EXPECT_TRUE(info.readable);
    EXPECT_EQ(info.version, "3.1");
    EXPECT_EQ(info.file_name, "");
    info = ParseProgInfo("Version=3.1\nname=setup.deb\n");
    EXPECT_TRUE(info.readable);
    EXPECT_EQ(info.version, "");
    EXPECT_EQ(info.file_name, "");
    info = ParseProgInfo("");
    EXPECT_TRUE(info.readable);
    EXPECT_EQ(info.version, "");
    // The file name ends at the first CR; so does the version text.
    info = ParseProgInfo("version=4.0\rjunk\nfilename=a.deb\rb.deb\n");
    EXPECT_EQ(info.version, "4.0");
    EXPECT_EQ(info.file_name, "a.deb");
}

TEST(ProgInfo, OverlongLinesAndNulBytesMakeItUnreadable) {
    const std::string at_limit = "version=" + std::string(kLineLimit - 8, '9');
    EXPECT_TRUE(ParseProgInfo(at_limit + "\r\nfilename=a.deb\n").readable);
    EXPECT_FALSE(ParseProgInfo(at_limit + "9\nfilename=a.deb\n").readable);
    EXPECT_FALSE(ParseProgInfo("version=9\nfilename=" + std::string(300, 'a') + ".deb").readable);
    EXPECT_FALSE(ParseProgInfo("version=9\0\nfilename=a.deb\n"s).readable);
    EXPECT_FALSE(ParseProgInfo("version=9\nfilename=a.deb\0.exe\n"s).readable);
    // What follows the second line is never looked at.
    EXPECT_TRUE(ParseProgInfo("version=9\nfilename=a\n" + std::string(400, '\0')).readable);
}

TEST(ProgInfo, VersionTextsCompareAsNumbers) {
    EXPECT_LT(VersionNumber("1.10"), VersionNumber("1.9"));
    EXPECT_GT(VersionNumber("2.3"), VersionNumber("2.241"));
    EXPECT_DOUBLE_EQ(VersionNumber("2.241"), 2.241);
    EXPECT_DOUBLE_EQ(VersionNumber("  2.5 beta"), 2.5);
    EXPECT_DOUBLE_EQ(VersionNumber("+3."), 3.0);
    EXPECT_DOUBLE_EQ(VersionNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(VersionNumber("-1"), -1.0);
    EXPECT_DOUBLE_EQ(VersionNumber("2e1x"), 20.0);
    EXPECT_DOUBLE_EQ(VersionNumber("2e"), 2.0);
    for (const char* none : {"", "beta", ".", "-", "inf", "nan", "0x1A", "1e999"})
        EXPECT_EQ(VersionNumber(none), 0.0) << none;
}

TEST(ProgInfo, OnlyPlainFileNamesMayFollowTheBasePath) {
    for (const char* plain : {"", "KORU-DMB-2.300.deb", "setup_2+1.tar.gz", "a"})
        EXPECT_TRUE(IsPlainFileName(plain)) << plain;
    for (const char* unsafe :
         {"../evil.deb", "..", ".", "a..b", "dir/setup.deb", "/etc/passwd", "a\\b",
          "http://evil.example/x.deb", "javascript:alert(1)", "my setup.deb", "a%2F..%2Fb",
          "setup.deb?x=1", "setup.deb#top", "\xed\x95\x9c.deb", "a\tb"})
        EXPECT_FALSE(IsPlainFileName(unsafe)) << unsafe;
}

TEST(ProgInfo, TheBasePathComesFromTheBuildUnlessTheEnvironmentNamesOne) {
    test::ScopedEnv env;
    env.Unset("KORU_UPCHECK_URL");
    const BuildVariant& korean_talven = FindBuildVariant("TALVEN", Language::kKorean);
    EXPECT_STREQ(korean_talven.program, "upcheckTALVEN");
    EXPECT_EQ(ServerBasePath(korean_talven), "https://" + MakerHost() + "/download/TALVEN/latest/");
    EXPECT_EQ(ServerBasePath(FindBuildVariant("KORU", Language::kEnglish)),
              "https://" + MakerHost() + "/koru_dmb/latest/");
    env.Set("KORU_UPCHECK_URL", "http://127.0.0.1:8080/mirror");
    EXPECT_EQ(ServerBasePath(korean_talven), "http://127.0.0.1:8080/mirror/");
}

}  // namespace
}  // namespace koru::upcheck
