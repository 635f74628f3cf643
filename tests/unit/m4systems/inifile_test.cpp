#include "m4systems/inifile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace {

using koru::test::ReadFile;
using koru::test::TempDir;
using koru::test::WriteFile;

const char* kSample =
    "; terminal options\r\n"
    "[General]\r\n"
    "PluginsDirectory = /opt/koru\r\n"
    "CacheDirectory=/tmp/cache\r\n"
    "\r\n"
    "[Audio]\r\n"
    "ForceConfig=yes\r\n";

TEST(IniFile, ReadsKeysWithoutRegardToCaseAndMissingKeysAreNull) {
    TempDir dir;
    WriteFile(dir / "KORU-DMB.cfg", kSample);
    IniFile* ini = NewIniFile(dir.str().c_str(), "KORU-DMB.cfg");
    ASSERT_NE(ini, nullptr);
    EXPECT_STREQ(IF_GetKey(ini, "General", "PluginsDirectory"), "/opt/koru");
    EXPECT_STREQ(IF_GetKey(ini, "general", "pluginsdirectory"), "/opt/koru");
    EXPECT_STREQ(IF_GetKey(ini, "Audio", "ForceConfig"), "yes");
    EXPECT_EQ(IF_GetKey(ini, "Audio", "NumBuffers"), nullptr);
    EXPECT_EQ(IF_GetKey(ini, "Video", "DriverName"), nullptr);
    IF_Delete(ini);
}

TEST(IniFile, MissingFileGivesNull) {
    TempDir dir;
    EXPECT_EQ(NewIniFile(dir.str().c_str(), "KORU-DMB.cfg"), nullptr);
    EXPECT_EQ(NewIniFile(nullptr, "KORU-DMB.cfg"), nullptr);
}

TEST(IniFile, WritesKeepEverythingElseAndSurviveReopening) {
    TempDir dir;
    WriteFile(dir / "KORU-DMB.cfg", kSample);
    IniFile* ini = NewIniFile((dir.str() + "/").c_str(), "KORU-DMB.cfg");
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(IF_SetKey(ini, "Audio", "NumBuffers", "8"), M4OK);
    EXPECT_EQ(IF_SetKey(ini, "general", "CacheDirectory", "/var/cache"), M4OK);
    EXPECT_EQ(IF_SetKey(ini, "FontEngine", "DriverName", "gdip_rend"), M4OK);
    EXPECT_STREQ(IF_GetKey(ini, "Audio", "NumBuffers"), "8");
    IF_Delete(ini);

    std::string text = ReadFile(dir / "KORU-DMB.cfg");
    EXPECT_NE(text.find("; terminal options"), std::string::npos) << text;
    EXPECT_NE(text.find("PluginsDirectory = /opt/koru"), std::string::npos) << text;
    // The new key joins its section, before the blank line that ends it.
    EXPECT_NE(text.find("CacheDirectory=/var/cache\n\n[Audio]"), std::string::npos) << text;

    ini = NewIniFile(dir.str().c_str(), "KORU-DMB.cfg");
    ASSERT_NE(ini, nullptr);
    EXPECT_STREQ(IF_GetKey(ini, "General", "PluginsDirectory"), "/opt/koru");
    EXPECT_STREQ(IF_GetKey(ini, "General", "CacheDirectory"), "/var/cache");
    EXPECT_STREQ(IF_GetKey(ini, "Audio", "ForceConfig"), "yes");
    EXPECT_STREQ(IF_GetKey(ini, "Audio", "NumBuffers"), "8");
    EXPECT_STREQ(IF_GetKey(ini, "FontEngine", "DriverName"), "gdip_rend");
    EXPECT_EQ(IF_SetKey(ini, "Audio", "ForceConfig", nullptr), M4OK);
    EXPECT_EQ(IF_GetKey(ini, "Audio", "ForceConfig"), nullptr);
    IF_Delete(ini);

    // Only the file itself remains: the temporary file of every save was renamed over it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(IniFile, AFailedSaveKeepsTheOldFile) {
    TempDir dir;
    WriteFile(dir / "KORU-DMB.cfg", kSample);
    IniFile* ini = NewIniFile(dir.str().c_str(), "KORU-DMB.cfg");
    ASSERT_NE(ini, nullptr);
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    bool can_still_write = access(dir.str().c_str(), W_OK) == 0;  // root ignores permissions
    M4Err result = IF_SetKey(ini, "Audio", "NumBuffers", "8");
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    if (!can_still_write) {
        EXPECT_EQ(result, M4IOErr);
        EXPECT_EQ(ReadFile(dir / "KORU-DMB.cfg"), kSample);
    }
    EXPECT_STREQ(IF_GetKey(ini, "Audio", "NumBuffers"), "8") << "the value stays in memory";
    IF_Delete(ini);
}

TEST(IniFile, EmptyFileAndOddLinesAreHandled) {
    TempDir dir;
    WriteFile(dir / "odd.cfg", "\xEF\xBB\xBFnokey\n=novalue\n[ Spaced ]\n k = v \n[Empty]\n");
    IniFile* ini = NewIniFile(dir.str().c_str(), "odd.cfg");
    ASSERT_NE(ini, nullptr);
    EXPECT_STREQ(IF_GetKey(ini, "Spaced", "k"), "v");
    EXPECT_EQ(IF_GetKey(ini, "Empty", "k"), nullptr);
    EXPECT_EQ(IF_SetKey(ini, "", "k", "v"), M4BadParam);
    EXPECT_EQ(IF_SetKey(ini, "Empty", "k", "v"), M4OK);
    IF_Delete(ini);
    EXPECT_NE(ReadFile(dir / "odd.cfg").find("nokey\n=novalue\n"), std::string::npos);
}

}  // namespace
