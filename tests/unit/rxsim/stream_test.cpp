// What the stick streams once locked: the FIC and the selected sub-channel exactly as the
// recording on the air carries them, signal reports and debug text, and the faults on them.
// Each test runs on the reference recording made by independent broadcast tools, and on the
// first demo ensemble once the demo is built.
#include <map>

#include "dab/eti.h"
#include "dab/outer_code.h"
#include "stick_client.h"
#include "support/environment.h"

namespace koru::test {
namespace {

// The recording as the tests read it: every FIB (without CRC) in order, and each frame's bytes
// of every sub-channel.
struct Recording {
    std::vector<Bytes> fibs;
    std::map<int, std::vector<Bytes>> subchannels;
    size_t frames = 0;

    // The sub-channel that carries the most (or the fewest) bytes per frame.
    int Busiest(bool most = true) const {
        int chosen = -1;
        size_t chosen_size = 0;
        for (const auto& [id, frames_of] : subchannels) {
            size_t size = frames_of.front().size();
            if (chosen < 0 || (most ? size > chosen_size : size < chosen_size)) {
                chosen = id;
                chosen_size = size;
            }
        }
        return chosen;
    }
};

const Recording& RecordingOf(const std::filesystem::path& eti) {
    static std::map<std::filesystem::path, Recording> read;
    auto found = read.find(eti);
    if (found != read.end()) return found->second;
    Recording& r = read[eti];
    auto reader = koru::dab::EtiReader::Open(eti);
    koru::dab::EtiFrame frame;
    while (reader && reader->Next(&frame)) {
        for (const auto& fib : frame.fibs)
            r.fibs.emplace_back(fib.begin(), fib.begin() + 30);
        for (const auto& stream : frame.streams) {
            r.subchannels[stream.subchannel_id].push_back(stream.data);
        }
        ++r.frames;
    }
    return r;
}

std::vector<Packet> OfId(const std::vector<Packet>& packets, uint8_t id) {
    std::vector<Packet> selected;
    for (const Packet& packet : packets) {
        if (packet.id == id) selected.push_back(packet);
    }
    return selected;
}

// The FIB index at which the FIC packets' FIBs start in the recording (looping), or -1.
long FindFibRun(const Recording& recording, const std::vector<Packet>& fic) {
    const std::vector<Bytes>& fibs = recording.fibs;
    for (size_t start = 0; start < fibs.size(); start += 3) {
        bool all = true;
        for (size_t p = 0; p < fic.size() && all; ++p) {
            for (size_t i = 0; i < 12 && all; ++i) {
                const uint8_t* block = &fic[p].payload[2 + i * 30];
                all = Bytes(block, block + 30) == fibs[(start + p * 12 + i) % fibs.size()];
            }
        }
        if (all) return static_cast<long>(start);
    }
    return -1;
}

// The frame at which the service packets' bytes start in the recording (looping), or -1. A
// frame's bytes may come in more than one packet.
long FindFrameRun(const Recording& recording, const std::vector<Packet>& packets, int subchannel) {
    Bytes received;
    for (const Packet& packet : packets) {
        received.insert(received.end(), packet.payload.begin(), packet.payload.end());
    }
    const std::vector<Bytes>& frames = recording.subchannels.at(subchannel);
    for (size_t start = 0; start < frames.size(); ++start) {
        size_t at = 0;
        for (size_t f = start; at < received.size(); ++f) {
            const Bytes& frame = frames[f % frames.size()];
            size_t n = std::min(frame.size(), received.size() - at);
            if (!std::equal(frame.begin(), frame.begin() + n, received.begin() + at)) break;
            at += n;
        }
        if (at == received.size() && !received.empty()) return static_cast<long>(start);
    }
    return -1;
}

// What a baseband in video mode makes of a sub-channel looped twice: the outer code removed,
// or the plain transport stream; empty when the sub-channel carries no transport stream.
Bytes VideoStream(const Recording& recording, int subchannel) {
    koru::dab::OuterDecoder decoder;
    Bytes stream;
    for (int loop = 0; loop < 2; ++loop) {
        for (const Bytes& frame : recording.subchannels.at(subchannel))
            decoder.Process(frame, &stream);
    }
    return stream;
}

// An ensemble on the air: the reference recording, or the first demo ensemble.
struct Air {
    std::filesystem::path eti;
    uint32_t khz = 0;
};

Air AirOf(const std::string& name) {
    if (name == "Reference") return {ReferenceEti(), 208736};
    rxsim::StickConfig demo;
    std::string error;
    if (!rxsim::LoadReceiverConf((BinDir() / "demo" / "receiver.conf").string(), &demo, &error) ||
        demo.air.empty()) {
        return {};
    }
    return {demo.air[0].eti_path, demo.air[0].frequency_khz};
}

class StreamTest : public EmulatorFixture, public ::testing::WithParamInterface<std::string> {
  protected:
    void SetUp() override {
        EmulatorFixture::SetUp();
        air_ = AirOf(GetParam());
        if (air_.eti.empty() || !std::filesystem::exists(air_.eti)) {
            GTEST_SKIP() << GetParam() << ": no such recording here (yet)";
        }
        ASSERT_GT(Broadcast().frames, 0u);
        if (GetParam() == "Reference") {
            ASSERT_EQ(Broadcast().frames, 501u);
        }
    }
    const Recording& Broadcast() const { return RecordingOf(air_.eti); }
    void TuneAndLock(const std::string& extra = "", double level = 20.0) {
        Install("acquisition 200\n" + extra + "air " + std::to_string(air_.khz) + " " +
                air_.eti.string() + " level " + std::to_string(level) + "\n");
        OpenStick();
        Tune(air_.khz / 1000.0);
        ASSERT_GE(WaitForLock(), 0);
    }
    Air air_;
};

TEST_P(StreamTest, FicPacketsCarryExactlyTheFibsOfTheRecording) {
    TuneAndLock();
    StartFic();
    std::vector<Packet> packets = ReadPackets(1500);
    std::vector<Packet> fic = OfId(packets, 0);
    ASSERT_GE(fic.size(), 10u);
    EXPECT_EQ(fic.size(), packets.size()) << "nothing but the FIC in FIC mode";
    for (const Packet& packet : fic) {
        ASSERT_EQ(packet.payload.size(), 2u + 12 * 30);
        EXPECT_EQ(packet.payload[0] | packet.payload[1] << 8, 0) << "every FIB passed its CRC";
    }
    long start = FindFibRun(Broadcast(), fic);
    EXPECT_GE(start, 0) << "consecutive transmission frames of the recording";
    EXPECT_EQ(start % 12, 0) << "transmission frames are aligned on the air's frame count";

    // Stopping the FIC path (driver's stop sequence) ends the packets.
    Pn(0x04, 0x02);
    Control(0x22);
    M4_Sleep(100);
    ops_->FlushBuffers(handle_, 1, 1);
    for (uint8_t v : {0x00, 0x80, 0x04})
        Pn(0xB1, v);
    Pn(0xA0, PnRead(0xA0) | 0x01);
    Pn(0xA1, PnRead(0xA1) | 0x01);
    EXPECT_TRUE(ReadPackets(300).empty());
}

TEST_P(StreamTest, CorruptedFibsAreFlaggedInTheMask) {
    TuneAndLock();
    emulator_->SetFibCorruption(0.25);
    StartFic();
    std::vector<Packet> fic = OfId(ReadPackets(1000), 0);
    ASSERT_GE(fic.size(), 5u);
    const std::vector<Bytes>& fibs = Broadcast().fibs;
    for (const Packet& packet : fic) {
        uint16_t mask = packet.payload[0] | packet.payload[1] << 8;
        EXPECT_EQ(__builtin_popcount(mask), 3) << "a quarter of 12";
        // The unflagged FIBs are the recording's; the flagged ones are not.
        size_t matches = 0;
        for (size_t i = 0; i < 12; ++i) {
            Bytes block(packet.payload.begin() + 2 + i * 30, packet.payload.begin() + 32 + i * 30);
            bool known = std::find(fibs.begin(), fibs.end(), block) != fibs.end();
            if ((mask >> i & 1) == 0) matches += known ? 1 : 0;
        }
        EXPECT_EQ(matches, 9u);
    }
}

TEST_P(StreamTest, ServicePacketsCarryExactlyTheSelectedSubChannel) {
    TuneAndLock();
    const int audio = Broadcast().Busiest(false);
    StartService(audio);
    std::vector<Packet> packets = ReadPackets(1200);
    std::vector<Packet> service = OfId(packets, 3);
    ASSERT_GE(service.size(), 30u);
    EXPECT_EQ(service[0].payload.size(), Broadcast().subchannels.at(audio)[0].size())
        << "a frame's bytes in one packet";
    EXPECT_GE(FindFrameRun(Broadcast(), service, audio), 0);
    EXPECT_TRUE(OfId(packets, 0).empty()) << "the FIC path stays off";
    EXPECT_EQ(OfId(packets, 3).size() + OfId(packets, 4).size(), packets.size());
    EXPECT_NEAR(OfId(packets, 4).size(), service.size() / 4.0, 2.0) << "a report per 96 ms";

    // The video selection register with 0xB0 bit 0 picks another sub-channel, whose
    // transport stream comes out of the outer decoder.
    StopService();
    EXPECT_TRUE(ReadPackets(200).empty());
    const int video_subchannel = Broadcast().Busiest();
    const Bytes expected = VideoStream(Broadcast(), video_subchannel);
    if (expected.empty()) return;  // this air has no transport stream
    StartService(video_subchannel, /*video=*/true);
    std::vector<Packet> video = OfId(ReadPackets(600), 3);
    ASSERT_GE(video.size(), 10u);
    Bytes received;
    for (const Packet& packet : video)
        received.insert(received.end(), packet.payload.begin(), packet.payload.end());
    EXPECT_NE(std::search(expected.begin(), expected.end(), received.begin(), received.end()),
              expected.end())
        << "a run of the sub-channel's transport stream";
}

TEST_P(StreamTest, SignalReportsDecodeToTheConfiguredLevel) {
    TuneAndLock("", 10.1067);
    StartService(Broadcast().Busiest(false));
    auto decode = [](const Packet& report, double* ber) {
        EXPECT_EQ(report.payload.size(), 8u);
        int code = (report.payload[3] & 0x1F) * 256 + report.payload[2];
        uint32_t e = report.payload[4] << 16 | report.payload[5] << 8 | report.payload[6];
        *ber = e * 1048577.0 / 1099511627776.0;
        return code;
    };
    std::vector<Packet> reports = OfId(ReadPackets(800), 4);
    ASSERT_GE(reports.size(), 3u);
    double weak_ber = 0;
    for (const Packet& report : reports) {
        EXPECT_EQ(decode(report, &weak_ber), 100) << "code 100 decodes to 10.1067";
    }
    EXPECT_NEAR(SignalValueOfCode(100), 10.1067, 1e-3);

    for (double level : {20.0, 30.0, 7.0}) {
        emulator_->SetSignalLevel(level);
        ops_->FlushBuffers(handle_, 1, 1);
        reports = OfId(ReadPackets(500), 4);
        ASSERT_FALSE(reports.empty());
        double ber = 0;
        EXPECT_NEAR(SignalValueOfCode(decode(reports.back(), &ber)), level, 0.3) << level;
        if (level > 10.1067) {
            EXPECT_LT(ber, weak_ber);
        } else {
            EXPECT_GT(ber, weak_ber);
        }
    }
    // Below the lock level the stick cannot hold the ensemble.
    emulator_->SetSignalLevel(3.0);
    EXPECT_FALSE(emulator_->Status().locked);
    ops_->FlushBuffers(handle_, 1, 1);
    EXPECT_TRUE(ReadPackets(300).empty());
    emulator_->SetSignalLevel(std::nullopt);
    M4_Sleep(250);
    EXPECT_TRUE(emulator_->Status().locked);
}

TEST_P(StreamTest, DebugTextComesWhenAskedFor) {
    TuneAndLock();
    Control(0x31);
    std::vector<Packet> text = OfId(ReadPackets(1200), 5);
    ASSERT_FALSE(text.empty());
    bool status_line = false;
    for (const Packet& packet : text) {
        for (uint8_t byte : packet.payload)
            EXPECT_TRUE(byte >= 0x20 && byte < 0x7F);
        status_line |= std::string(packet.payload.begin(), packet.payload.end()).find("locked") !=
                       std::string::npos;
    }
    EXPECT_TRUE(status_line);
    Control(0x32);
    ops_->FlushBuffers(handle_, 1, 1);
    EXPECT_TRUE(OfId(ReadPackets(1200), 5).empty());
}

TEST_P(StreamTest, AQueueTheHostDoesNotReadOverrunsUntilFlushed) {
    TuneAndLock("rx-queue 4096\n");
    const int subchannel = Broadcast().Busiest();
    StartService(subchannel);
    // The air fills the queue at its own pace, later on a busy machine: the test waits for the
    // overrun, never for a time.
    const auto overrun = [this] {
        uint32_t queued = 0, status = 0;
        const uint32_t start = M4_GetSysClock();
        do {
            M4_Sleep(24);
            EXPECT_EQ(ops_->CheckRXQueue(handle_, &queued, &status), SI_SUCCESS);
        } while ((status & SI_RX_OVERRUN) == 0 && M4_GetSysClock() - start < 600000);
        return (status & SI_RX_OVERRUN) != 0 ? queued : 0u;
    };
    EXPECT_EQ(overrun(), 4096u);
    uint32_t queued = 0, status = 0;
    ASSERT_EQ(ops_->FlushBuffers(handle_, 1, 1), SI_SUCCESS);
    ASSERT_EQ(ops_->CheckRXQueue(handle_, &queued, &status), SI_SUCCESS);
    EXPECT_EQ(status & SI_RX_OVERRUN, 0u);
    // After the flush the stream starts again on a packet boundary. The queue is read in one
    // go once full again: read in pieces, a reader that falls behind overruns it meanwhile.
    ASSERT_EQ(overrun(), 4096u);
    std::vector<Packet> packets = CutIntoPackets(Read(4096));
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(OfId(packets, 3).size() + OfId(packets, 4).size(), packets.size());
    ASSERT_FALSE(OfId(packets, 3).empty());
    EXPECT_GE(FindFrameRun(Broadcast(), OfId(packets, 3), subchannel), 0);

    ASSERT_EQ(ops_->FlushBuffers(handle_, 1, 1), SI_SUCCESS);
    emulator_->ForceOverrun();
    ASSERT_EQ(ops_->CheckRXQueue(handle_, &queued, &status), SI_SUCCESS);
    EXPECT_EQ(status & SI_RX_OVERRUN, SI_RX_OVERRUN);
}

TEST_P(StreamTest, SilenceAndLockLossStopTheServiceInTheirOwnWays) {
    TuneAndLock();
    StartService(Broadcast().Busiest(false));
    // Register reads would meet stream bytes in the queue: look at the lock from outside.
    emulator_->SetServiceSilence(true);
    ops_->FlushBuffers(handle_, 1, 1);
    std::vector<Packet> packets = ReadPackets(600);
    EXPECT_TRUE(OfId(packets, 3).empty());
    EXPECT_FALSE(OfId(packets, 4).empty()) << "still locked, still reporting";
    EXPECT_TRUE(emulator_->Status().locked);
    emulator_->SetServiceSilence(false);
    EXPECT_FALSE(OfId(ReadPackets(300), 3).empty());

    emulator_->SetLockLost(true);
    M4_Sleep(50);
    ops_->FlushBuffers(handle_, 1, 1);
    EXPECT_FALSE(Locked());
    EXPECT_EQ(PnRead(0xD5), 0xFF);
    EXPECT_TRUE(ReadPackets(400).empty());
    emulator_->SetLockLost(false);
    uint32_t start = M4_GetSysClock();
    while (!emulator_->Status().locked && M4_GetSysClock() - start < 2000)
        M4_Sleep(10);
    EXPECT_GE(M4_GetSysClock() - start, 190u) << "sync is acquired again";
    ops_->FlushBuffers(handle_, 1, 1);
    EXPECT_FALSE(OfId(ReadPackets(300), 3).empty());
}

TEST_P(StreamTest, ShareOfServicePacketsArrivesDamaged) {
    TuneAndLock();
    emulator_->SetPacketCorruption(0.5);
    const int subchannel = Broadcast().Busiest(false);
    StartService(subchannel);
    std::vector<Packet> service = OfId(ReadPackets(1000), 3);
    ASSERT_GE(service.size(), 20u);
    const std::vector<Bytes>& frames = Broadcast().subchannels.at(subchannel);
    size_t damaged = 0;
    for (const Packet& packet : service) {
        damaged += std::find(frames.begin(), frames.end(), packet.payload) == frames.end() ? 1 : 0;
        EXPECT_EQ(packet.payload.size(), frames[0].size()) << "damaged, not shortened";
    }
    EXPECT_NEAR(damaged, service.size() / 2.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Recordings, StreamTest, ::testing::Values("Reference", "Demo"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace koru::test
