#include "m4systems/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Line {
    int channel;
    int level;
    std::string source;
    std::string text;
};

void Collect(void* user, int channel, int level, const char* source, const char* text) {
    static_cast<std::vector<Line>*>(user)->push_back({channel, level, source, text});
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_level_ = M4_GetLogLevel();
        M4_SetLogSink(Collect, &lines_);
    }
    void TearDown() override {
        M4_SetLogSink(nullptr, nullptr);
        M4_SetLogLevel(saved_level_);
    }
    std::vector<Line> lines_;
    int saved_level_ = 1;
};

TEST_F(LogTest, PrintsOnlyLevelsUpToTheSetOne) {
    M4_SetLogLevel(2);
    EXPECT_EQ(log_do_i_log_n_print_prefix(3, "bb_if", 10), 0);
    EXPECT_GT(log_do_i_log_n_print_prefix(2, "bb_if", 11), 0);
    log_printf_nl("Hardware ID : %d\n", 15);
    EXPECT_GT(log_do_i_log_n_print_prefix(1, "packet", 12), 0);
    log_printf_nl("bad %s", "crc");
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[0].source, "bb_if");
    EXPECT_EQ(lines_[0].level, 2);
    EXPECT_EQ(lines_[0].text, "Hardware ID : 15") << "one trailing newline, added by the log";
    EXPECT_EQ(lines_[1].source, "packet");
    EXPECT_EQ(lines_[1].text, "bad crc");

    M4_LOG(3, "rxmod", "hidden %d", 1);
    M4_LOG(2, "rxmod", "shown %d", 2);
    ASSERT_EQ(lines_.size(), 3u);
    EXPECT_EQ(lines_[2].text, "shown 2");
}

TEST_F(LogTest, DebugOutputAlwaysWrites) {
    M4_SetLogLevel(0);
    log_debug_out("VelmarExit: %d", 1);
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0].channel, 1);
    EXPECT_EQ(lines_[0].text, "VelmarExit: 1");
}

}  // namespace
