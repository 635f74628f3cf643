// receiver.conf: the stick's identity and the air.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "m4systems/log.h"
#include "support/environment.h"
#include "support/temp_dir.h"
#include "usbdev/rxsim/rxsim.h"

namespace {

struct LogLines {
    std::vector<std::string> lines;
    static void Collect(void* user, int channel, int, const char*, const char* text) {
        if (channel == 0) static_cast<LogLines*>(user)->lines.push_back(text);
    }
    bool Has(const std::string& part) const {
        for (const std::string& line : lines) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    }
};

class ConfTest : public ::testing::Test {
  protected:
    void SetUp() override { M4_SetLogSink(LogLines::Collect, &log_); }
    void TearDown() override { M4_SetLogSink(nullptr, nullptr); }
    LogLines log_;
};

TEST_F(ConfTest, EveryKeyIsRead) {
    const char* text =
        "# the demo stick\n"
        "library KoruDmbMS\n"
        "firmware  KX3000|1.0|Feb 02 2009|PN3030|ITD3010|a b c  \n"
        "hardware-id 200\n"
        "tuner-clock 24.576\n"
        "acquisition 250\n"
        "tolerance 2.5\n"
        "lock-level 9\n"
        "rx-queue 4096\n"
        "air 208736 ens/a.eti level 12.5   # block 12C\n"
        "air 1452960 /abs/b.eti\n";
    rxsim::StickConfig config;
    std::string error;
    ASSERT_TRUE(rxsim::ParseReceiverConf(text, "/conf/folder", &config, &error)) << error;
    EXPECT_EQ(config.library, usbdev::Library::kKoruDmbMS);
    EXPECT_EQ(config.firmware, "KX3000|1.0|Feb 02 2009|PN3030|ITD3010|a b c");
    EXPECT_EQ(config.hardware_id, 200);
    EXPECT_EQ(config.baseband, "PN3030");
    EXPECT_EQ(config.tuner, "ITD3010") << "taken from the firmware text";
    EXPECT_DOUBLE_EQ(config.tuner_clock_mhz, 24.576);
    EXPECT_EQ(config.acquisition_ms, 250u);
    EXPECT_DOUBLE_EQ(config.tolerance_khz, 2.5);
    EXPECT_DOUBLE_EQ(config.lock_level, 9.0);
    EXPECT_EQ(config.rx_queue_bytes, 4096u);
    ASSERT_EQ(config.air.size(), 2u);
    EXPECT_EQ(config.air[0].frequency_khz, 208736u);
    EXPECT_EQ(config.air[0].eti_path, "/conf/folder/ens/a.eti");
    EXPECT_DOUBLE_EQ(config.air[0].level, 12.5);
    EXPECT_EQ(config.air[1].eti_path, "/abs/b.eti");
    EXPECT_DOUBLE_EQ(config.air[1].level, 20.0) << "the default level";
}

TEST_F(ConfTest, UnknownAndMalformedLinesAreLoggedAndIgnored) {
    const char* text =
        "colour blue\n"
        "air 208736\n"
        "air 12x 1.eti\n"
        "air 208736 a.eti level loud\n"
        "air 208736 a.eti\n"
        "air 208736 b.eti\n"
        "hardware-id 300\n"
        "library WinUSB\n"
        "acquisition\n";
    rxsim::StickConfig config;
    std::string error;
    ASSERT_TRUE(rxsim::ParseReceiverConf(text, "/f", &config, &error)) << error;
    ASSERT_EQ(config.air.size(), 1u);
    EXPECT_EQ(config.air[0].eti_path, "/f/a.eti") << "the first entry of a frequency stands";
    EXPECT_EQ(config.hardware_id, 0);
    EXPECT_EQ(config.library, usbdev::Library::kSiUSBXp);
    for (int line : {1, 2, 3, 4, 6, 7, 8, 9}) {
        EXPECT_TRUE(log_.Has("line " + std::to_string(line) + " ignored")) << line;
    }
    EXPECT_FALSE(log_.Has("line 5 ignored"));
}

TEST_F(ConfTest, ChipsFollowTheFirmwareTextUnlessNamed) {
    rxsim::StickConfig old_stick;
    std::string error;
    ASSERT_TRUE(
        rxsim::ParseReceiverConf("firmware 1.2\nhardware-id none\n", "", &old_stick, &error));
    EXPECT_EQ(old_stick.tuner, "ITD3010");
    EXPECT_FALSE(old_stick.hardware_id.has_value());
    EXPECT_DOUBLE_EQ(old_stick.tuner_clock_mhz, 16.384);

    rxsim::StickConfig named;
    ASSERT_TRUE(rxsim::ParseReceiverConf("firmware 1.2\ntuner ITD3020\n", "", &named, &error));
    EXPECT_EQ(named.tuner, "ITD3020");

    rxsim::StickConfig other;
    EXPECT_FALSE(
        rxsim::ParseReceiverConf("firmware M|1|d|CTX2050|FNX14701|\n", "", &other, &error));
    EXPECT_NE(error.find("CTX2050"), std::string::npos);
    EXPECT_FALSE(rxsim::ParseReceiverConf("tuner FC2501\n", "", &other, &error));
}

TEST(RecordingArgument, TheFrequencyFollowsTheLastAt) {
    std::string path, error;
    std::optional<uint32_t> khz;
    ASSERT_TRUE(rxsim::ParseRecordingArgument("/r/ens.eti@1452960", &path, &khz, &error));
    EXPECT_EQ(path, "/r/ens.eti");
    EXPECT_EQ(khz, 1452960u);
    // Text after '@' that is no number belongs to the name; so does a bare '@'.
    for (const char* name : {"/r/me@home/ens.eti", "/r/ens.eti@", "ens@12C.eti"}) {
        ASSERT_TRUE(rxsim::ParseRecordingArgument(name, &path, &khz, &error)) << name;
        EXPECT_EQ(path, name);
        EXPECT_FALSE(khz.has_value()) << name;
    }
    ASSERT_TRUE(rxsim::ParseRecordingArgument("me@home/ens.eti@208736", &path, &khz, &error));
    EXPECT_EQ(path, "me@home/ens.eti");
    EXPECT_EQ(khz, 208736u);
    for (const char* wrong : {"ens.eti@0", "ens.eti@3000001", "ens.eti@99999999999"}) {
        EXPECT_FALSE(rxsim::ParseRecordingArgument(wrong, &path, &khz, &error)) << wrong;
        EXPECT_NE(error.find("out of range"), std::string::npos) << error;
    }
}

TEST(RecordingArgument, OnlyAnEtiRecordingReplacesTheAir) {
    const std::filesystem::path reference = koru::test::ReferenceEti();
    if (reference.empty()) GTEST_SKIP() << "no reference recording";
    rxsim::StickConfig config;
    config.air.push_back({205280, "/demo/205280.eti", 14.6});
    config.acquisition_ms = 250;
    std::string error;
    koru::test::TempDir folder;
    const std::filesystem::path not_eti = folder / "slide.jpg";
    koru::test::WriteFile(not_eti, std::string(20000, '\xFF'));
    EXPECT_FALSE(rxsim::UseRecordingAsAir(not_eti.string(), 208736, &config, &error));
    EXPECT_NE(error.find("ETI-NI"), std::string::npos) << error;
    EXPECT_FALSE(rxsim::UseRecordingAsAir(folder.str(), 208736, &config, &error));
    EXPECT_NE(error.find("not a file"), std::string::npos) << error;
    ASSERT_EQ(config.air.size(), 1u);
    EXPECT_EQ(config.air[0].eti_path, "/demo/205280.eti") << "a refused file changes nothing";

    ASSERT_TRUE(rxsim::UseRecordingAsAir(reference.string(), 208736, &config, &error)) << error;
    ASSERT_EQ(config.air.size(), 1u);
    EXPECT_EQ(config.air[0].frequency_khz, 208736u);
    EXPECT_EQ(config.air[0].eti_path, std::filesystem::absolute(reference).string());
    EXPECT_DOUBLE_EQ(config.air[0].level, 20.0);
    EXPECT_EQ(config.acquisition_ms, 250u) << "the stick stays as it was";
}

}  // namespace
