// The second chip family on the emulated stick: every board the plug-in knows besides the demo's
// PN3030 + ITD3020 finds the demo services of region 2, streams TV, radio and the website as
// the demo board does, recovers from an overrun and reports a pulled stick; and the terminal
// itself (m4play, its own process) plays TV and radio from it.
#include <cstdio>
#include <sstream>

#include "demo_air.h"

namespace koru::test {
namespace {

struct Board {
    const char* name;
    const char* lines;  // of receiver.conf
};

void PrintTo(const Board& board, std::ostream* out) {
    *out << board.name;
}

const Board kBoards[] = {
    {"CTX2050_ITD3020", "baseband CTX2050\ntuner ITD3020\n"},
    {"CTX2050_FC2501", "baseband CTX2050\ntuner FC2501\n"},
    {"CTX2050_FNX14701", "baseband CTX2050\ntuner FNX14701\n"},
    {"PN3030_FC2501", "baseband PN3030\ntuner FC2501\n"},
};

constexpr int kRegion2[] = {208736, 207008, 205280, 184736, 183008, 181280};

class BoardTest : public DemoAirTest, public ::testing::WithParamInterface<Board> {
  protected:
    void SetUp() override { SetUpBoard(GetParam().lines); }

    // Labels and kinds of one frequency's search, in order.
    using Services = std::vector<std::pair<std::string, int>>;
    int Search(int khz, Services* found) {
        auto search = terminal_->Export<DMB_API_SearchChannelFn>("DMB_API_SearchChannel");
        ServiceEntry entries[DMB_MAX_SERVICES] = {};
        int32_t count = 0;
        const int result = search(khz * 0.001, entries, &count, 3000);
        found->clear();
        for (int i = 0; i < count; ++i)
            found->emplace_back(Trimmed(entries[i].label), entries[i].kind);
        std::sort(found->begin(), found->end());
        return result;
    }

    // A receiver.conf of this board on the demo air, for a process of its own.
    std::filesystem::path WriteConf() const {
        const std::filesystem::path demo = BinDir() / "demo";
        std::istringstream lines(ReadFile(demo / "receiver.conf"));
        std::string conf = GetParam().lines;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string key, khz, file, rest;
            words >> key >> khz >> file;
            std::getline(words, rest);
            conf += key == "air" ? "air " + khz + " " + (demo / file).string() + rest + "\n"
                                 : line + "\n";
        }
        const std::filesystem::path path = folder_.path() / "receiver.conf";
        WriteFile(path, conf);
        return path;
    }

    // m4play on a URL for a few seconds: the summary lines it prints ("frames", ...).
    std::map<std::string, long> Play(const std::string& url) {
        const std::string command = "cd '" + folder_.str() + "' && SDL_AUDIODRIVER=dummy " +
                                    "KORU_CLOCK_SCALE=10 KORU_DMB_HOME='" + folder_.str() +
                                    "' KORU_RECEIVER='" + WriteConf().string() + "' '" +
                                    (BinDir() / "m4play").string() + "' '" + url +
                                    "' --seconds 3 2>/dev/null";
        std::map<std::string, long> summary;
        FILE* out = popen(command.c_str(), "r");
        if (out == nullptr) return summary;
        char line[256];
        char key[64];
        long value = 0;
        while (std::fgets(line, sizeof line, out) != nullptr) {
            if (std::sscanf(line, "# %63s %ld", key, &value) == 2) summary[key] = value;
        }
        pclose(out);
        return summary;
    }
};

TEST_P(BoardTest, Region2FindsTheDemoServicesAndNothingElse) {
    // Sorted by label.
    const Services demo_12c = {{"KORU Radio", SERVICE_KIND_RADIO},
                               {"KORU TPEG", SERVICE_KIND_TPEG},
                               {"KORU TV 1", SERVICE_KIND_TV},
                               {"KORU TV 2", SERVICE_KIND_TV},
                               {"KORU Web", SERVICE_KIND_DATA}};
    const Services demo_12a = {{"KORU Classic", SERVICE_KIND_RADIO},
                               {"KORU TV 12A", SERVICE_KIND_TV}};
    Services found;
    for (int khz : kRegion2) {
        const int result = Search(khz, &found);
        if (khz == 208736) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(found, demo_12c);
        } else if (khz == 205280) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(found, demo_12a);
        } else {
            EXPECT_EQ(result, BB_ERR_NOT_LOCKED) << khz;
        }
    }
    // A quarter of the FIBs damaged: fewer arrive, and none puts what its damaged bytes say
    // into the list (a CTX2050 hands on FIBs with their CRC, a PN3030 marks the bad ones).
    emulator_->SetFibCorruption(0.25);
    EXPECT_EQ(Search(208736, &found), 0);
    EXPECT_EQ(found, demo_12c);
    // Every FIB damaged (one byte each, the rest of its FIGs intact): nothing is found.
    emulator_->SetFibCorruption(1.0);
    EXPECT_EQ(Search(208736, &found), BB_ERR_NO_SERVICE_FOUND);
    EXPECT_TRUE(found.empty());
}

TEST_P(BoardTest, TvRadioAndTheWebsiteAreTheServicesOwn) {
    ExpectTvDeliversItsTransportStream();
    terminal_->ClearRecords();
    ExpectRadioDeliversItsLayerIIFrames();
    terminal_->ClearRecords();
    ExpectTheWebsiteWrittenAsTheBuilderSentIt();
}

TEST_P(BoardTest, AnOverrunReconnectsAndAPullEndsTheThread) {
    ExpectAnOverrunReconnects();
    terminal_->ClearRecords();
    ExpectAPullEndsTheThreadWithNoDevice();
}

// With its sound, wherever in the table carousel the tune lands.
TEST_P(BoardTest, TheTerminalPlaysTvAndRadio) {
    const std::map<std::string, long> tv = Play(Url(IndexOf("KORU TV 1"), "ts"));
    ASSERT_EQ(tv.count("frames"), 1u) << "m4play printed no summary";
    EXPECT_GT(tv.at("frames"), 10);
    EXPECT_GT(tv.at("audio_samples"), 48000);
    const std::map<std::string, long> radio = Play(Url(IndexOf("KORU Radio"), "mp2"));
    ASSERT_EQ(radio.count("audio_samples"), 1u);
    EXPECT_GT(radio.at("audio_samples"), 48000);
}

INSTANTIATE_TEST_SUITE_P(Boards, BoardTest, ::testing::ValuesIn(kBoards),
                         [](const ::testing::TestParamInfo<Board>& info) {
                             return std::string(info.param.name);
                         });

// A stick whose chips are not the ones its firmware names: the first tune finds out, and the
// player hears which chip it was, nothing else.
struct WrongChip {
    const char* name;
    const char* board;
    const char* ids;  // what the chips answer instead
    uint32_t message;
};

void PrintTo(const WrongChip& chip, std::ostream* out) {
    *out << chip.name;
}

const WrongChip kWrongChips[] = {
    {"CTX2050_FC2501_Answering0x61", "baseband CTX2050\ntuner FC2501\n", "tuner-id 0x61\n",
     WM_SYSTEM_TUNER_ID_ERROR},
    {"CTX2050_ITD3020", "baseband CTX2050\ntuner ITD3020\n", "tuner-id 7\n",
     WM_SYSTEM_TUNER_ID_ERROR},
    {"PN3030_FC2501_Answering0x61", "baseband PN3030\ntuner FC2501\n", "tuner-id 0x61\n",
     WM_SYSTEM_TUNER_ID_ERROR},
    {"PN3030_OtherBaseband", "baseband PN3030\ntuner FC2501\n", "baseband-id 0x02\n",
     WM_SYSTEM_USB_LOST2},
};

class WrongChipTest : public DemoAirTest, public ::testing::WithParamInterface<WrongChip> {
  protected:
    void SetUp() override { SetUpBoard(GetParam().board); }
};

TEST_P(WrongChipTest, TheFirstTuneEndsThePlayWithTheChipsMessage) {
    // The channel list came from the right board; then this one is plugged in.
    ASSERT_NO_FATAL_FAILURE(PlugBoard(std::string(GetParam().board) + GetParam().ids));
    ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TV 2"), "ts")), 0);
    ASSERT_TRUE(WaitForMessages(GetParam().message));
    ASSERT_TRUE(WaitForLog("Pnp_UsbThread ended(-206)"));
    EXPECT_LT(terminal_->Close(), 100u);
    for (const Message& m : terminal_->Messages()) {
        EXPECT_TRUE(m.code == GetParam().message || m.code == WM_SYSTEM_SIGNAL_LEVEL) << m.code;
    }
    EXPECT_EQ(terminal_->DeliveredSize(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Boards, WrongChipTest, ::testing::ValuesIn(kWrongChips),
                         [](const ::testing::TestParamInfo<WrongChip>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace koru::test
