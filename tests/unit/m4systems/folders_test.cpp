#include "m4systems/folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/environment.h"
#include "support/temp_dir.h"

namespace {

using koru::test::ReadFile;
using koru::test::TempDir;
using koru::test::WriteFile;

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
  public:
    void Set(const char* name, const std::string& value) {
        Remember(name);
        setenv(name, value.c_str(), 1);
    }
    void Unset(const char* name) {
        Remember(name);
        unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto& [name, value, had] : saved_) {
            if (had) {
                setenv(name.c_str(), value.c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

  private:
    void Remember(const char* name) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? old : "", old != nullptr);
    }
    std::vector<std::tuple<std::string, std::string, bool>> saved_;
};

TEST(Folders, UserFolderFollowsTheOverrideThenXdgThenHome) {
    ScopedEnv env;
    env.Set("HOME", "/home/tester");
    env.Unset("XDG_DATA_HOME");
    env.Unset("KORU_DMB_HOME");
    EXPECT_EQ(koru::UserFolder(), "/home/tester/.local/share/KORU-DMB");
    env.Set("XDG_DATA_HOME", "/data/");
    EXPECT_EQ(koru::UserFolder(), "/data/KORU-DMB");
    env.Set("KORU_DMB_HOME", "/tmp/koru-home/");
    EXPECT_EQ(koru::UserFolder(), "/tmp/koru-home");
}

TEST(Folders, WorkingFoldersLieInTheXdgDocumentsFolder) {
    TempDir home;
    ScopedEnv env;
    env.Set("HOME", home.str());
    env.Unset("XDG_CONFIG_HOME");
    EXPECT_EQ(koru::WorkingFolder("capture"), home.str() + "/Documents/KORU-DMB/capture");
    std::filesystem::create_directories(home / ".config");
    WriteFile(home / ".config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(koru::WorkingFolder("video"), home.str() + "/Dokumente/KORU-DMB/video");
}

TEST(Folders, ProgramFolderIsTheExecutablesUnlessOverridden) {
    ScopedEnv env;
    env.Unset("KORU_PROGRAM_DIR");
    EXPECT_EQ(koru::ProgramFolder(),
              std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
    env.Set("KORU_PROGRAM_DIR", "/opt/koru/");
    EXPECT_EQ(koru::ProgramFolder(), "/opt/koru");
}

TEST(Folders, PrepareUserFolderCopiesTheDefaultConfigurationOnce) {
    TempDir program, user;
    ScopedEnv env;
    env.Set("KORU_PROGRAM_DIR", program.str());
    env.Set("KORU_DMB_HOME", (user / "nested/KORU-DMB").string());
    WriteFile(program / "KORU-DMB.cfg", "[General]\nLogLevel=1\n");
    ASSERT_TRUE(koru::PrepareUserFolder());
    EXPECT_EQ(ReadFile(user / "nested/KORU-DMB/KORU-DMB.cfg"), "[General]\nLogLevel=1\n");
    WriteFile(user / "nested/KORU-DMB/KORU-DMB.cfg", "[General]\nLogLevel=3\n");
    ASSERT_TRUE(koru::PrepareUserFolder());
    EXPECT_EQ(ReadFile(user / "nested/KORU-DMB/KORU-DMB.cfg"), "[General]\nLogLevel=3\n")
        << "the user's copy is never overwritten";

    WriteFile(user / "file", "");
    env.Set("KORU_DMB_HOME", (user / "file").string());
    EXPECT_FALSE(koru::PrepareUserFolder()) << "a file where the folder should be";
}

}  // namespace

namespace {

// Every test knows the three folders; losing one would silently skip the reference tests.
TEST(TestEnvironment, EveryFolderIsKnown) {
    EXPECT_TRUE(std::filesystem::is_regular_file(koru::test::SourceDir() / "CMakeLists.txt"));
    EXPECT_TRUE(std::filesystem::is_regular_file(koru::test::BinDir() / "KORU-DMB.cfg"));
    if (std::filesystem::is_directory(koru::test::ReferenceDir())) {
        EXPECT_FALSE(koru::test::ReferenceEti().empty()) << koru::test::ReferenceDir();
    }
}

}  // namespace
