// Channel search time per frequency against its lower bound, on the emulated stick, for each
// board the plug-in knows.
//   search [--conf receiver.conf] [--board BASEBAND+TUNER] [--region 0..5] [--scale S]
//          [--repeat N]
// The air is the demo's receiver.conf (build/bin/demo) when it exists, else the reference
// recording on 208736 kHz. Without --conf every board hears it in turn (PN3030+ITD3020,
// CTX2050+ITD3020, CTX2050+FC2501, CTX2050+FNX14701, PN3030+FC2501; --board picks one); a
// --conf is taken as its own board. For each frequency of the region it prints the search time
// and the lower bound of that search:
//   pauses  the pauses prescribed on the path that do not wait for the air: band command,
//           baseband and tuner programming, stream stop (summed as the plug-in makes them);
//   lock    the lock polls made before the lock came (50 ms each; 41 on an empty frequency),
//           which is the emulated acquisition time on the polling grid;
//   air     for an occupied frequency, the time from the stream start until the ensemble's ETI
//           frames had carried a complete service list (whole 24 ms frames, counted from the
//           air frame that was on when the stream started).
// A second column, "fic", replaces air by the time from the stream start until the FIC packet
// that completed the list reached the plug-in (measured): a PN3030 FIC packet carries twelve
// FIBs, four frames of air, so the stick hands the list on up to about 100 ms after the air
// carried it; a CTX2050 hands on each frame's FIBs. "search - fic bound" is what the plug-in
// adds to the receiver's own timing. The last lines compare the boards' region totals.
// Each frequency is shown by its pass closest to the bound; the other passes show the noise.
// It asserts nothing.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dab/eti.h"
#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "rxmod/bb_api.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/rxmod_api.h"
#include "usbdev/device_provider.h"
#include "usbdev/rxsim/rxsim.h"

namespace {

constexpr int kFrameMs = 24;
constexpr int kLockPollMs = 50;

// What the plug-in's log tells while one search runs.
struct Trace {
    rxsim::Emulator* emulator = nullptr;
    int lock_polls_unlocked = 0;
    int64_t stream_start_frame = -1;
    uint32_t stream_start_ms = 0;
    uint32_t last_fic_ms = 0;
};
Trace g_trace;

void OnLog(void*, int channel, int, const char*, const char* text) {
    if (channel != 0) return;
    unsigned status1 = 0;
    unsigned status2 = 0;
    if (std::sscanf(text, "lock_stat1:%x, lock_stat2:%x", &status1, &status2) == 2) {  // PN3030
        if (!(status1 != 0xFF && (status2 & 0x10) != 0)) ++g_trace.lock_polls_unlocked;
    } else if (std::sscanf(text, "lock_status = %x @ 0x98", &status1) == 1) {  // CTX2050
        if (status1 != 0x1F) ++g_trace.lock_polls_unlocked;
    } else if (std::strstr(text, "svc_id[64]") != nullptr) {
        g_trace.stream_start_frame = static_cast<int64_t>(g_trace.emulator->Status().frames);
        g_trace.stream_start_ms = M4_GetSysClock();
    } else if (std::strncmp(text, "fic packet", 10) == 0) {
        g_trace.last_fic_ms = M4_GetSysClock();
    }
}

// The FIBs of each frame of a recording.
using Recording = std::vector<std::vector<koru::dab::Fib>>;

Recording ReadRecording(const std::string& path) {
    Recording frames;
    auto reader = koru::dab::EtiReader::Open(path);
    koru::dab::EtiFrame frame;
    while (reader && reader->Next(&frame))
        frames.push_back(frame.fibs);
    return frames;
}

// The air frame (counted as the stick counts them) whose FIBs, decoded from frame first on,
// complete the service list; -1 if never.
int64_t FrameCompletingList(const Recording& frames, int64_t first) {
    if (frames.empty()) return -1;
    auto info = std::make_unique<ChannelInfo>();
    FIC_Reset(*info, 0.0);
    for (int64_t frame = first; frame < first + 2 * static_cast<int64_t>(frames.size()); ++frame) {
        for (const auto& fib : frames[frame % frames.size()]) {
            FIC_Decode(*info, fib.data(), static_cast<int>(fib.size()));
        }
        if (FIC_Complete(*info) == 0) return frame;
    }
    return -1;
}

struct Measure {
    int result = 0;
    int count = 0;
    int64_t took = 0;
    int64_t pauses = 0;
    int64_t lock = 0;
    int64_t air = 0;
    int64_t fic = 0;
    int64_t Bound() const { return pauses + lock + air; }
    int64_t FicBound() const { return pauses + lock + fic; }
};

// One search of khz, with its time and the parts of its lower bound.
Measure MeasureSearch(int khz, std::map<int, Recording>& air) {
    g_trace.lock_polls_unlocked = 0;
    g_trace.stream_start_frame = -1;
    g_trace.stream_start_ms = g_trace.last_fic_ms = 0;
    ServiceEntry entries[DMB_MAX_SERVICES];
    int32_t count = 0;
    Measure m;
    const uint64_t paused = BB_PausedMs();
    const uint32_t start = M4_GetSysClock();
    m.result = DMB_API_SearchChannel(khz * 0.001, entries, &count, 3000);
    m.took = static_cast<int64_t>(M4_GetSysClock() - start);
    m.count = count;
    m.pauses = static_cast<int64_t>(BB_PausedMs() - paused);
    m.lock = int64_t{g_trace.lock_polls_unlocked} * kLockPollMs;
    const int64_t start_frame = g_trace.stream_start_frame;
    if (m.result == 0 && air.count(khz) != 0 && start_frame >= 0) {
        // The start frame was partly over when the stream started: it counts for nothing.
        const int64_t on_air = FrameCompletingList(air[khz], start_frame);
        if (on_air >= 0) m.air = (on_air - start_frame) * kFrameMs;
        m.fic = static_cast<int64_t>(g_trace.last_fic_ms - g_trace.stream_start_ms);
    }
    return m;
}

std::vector<int> Region(int region) {
    switch (region) {
        case 2:
            return {208736, 207008, 205280, 184736, 183008, 181280};
        case 3:
            return {214736, 213008, 211280, 208736, 207008, 205280, 202736,
                    201008, 199280, 196736, 195008, 193280, 190736, 189008,
                    187280, 184736, 183008, 181280, 178736, 177008, 175280};
        default:
            return {};
    }
}

struct Board {
    std::string name;
    rxsim::StickConfig config;
};

struct RegionTotal {
    std::string board;
    int64_t search = 0;
    int64_t bound = 0;
    int64_t fic_bound = 0;
};

// Searches the region passes times on one board and prints its table.
RegionTotal MeasureBoard(const Board& board, int region, int repeat,
                         std::map<int, Recording>& air) {
    std::filesystem::remove("channel.dat");
    auto emulator = std::make_shared<rxsim::Emulator>(board.config);
    usbdev::SetDeviceProvider(emulator);
    g_trace.emulator = emulator.get();

    std::printf("\nboard %s: acquisition %u ms\n", board.name.c_str(), board.config.acquisition_ms);
    const std::vector<int> frequencies = Region(region);
    std::map<int, std::vector<Measure>> measures;
    for (int pass = 0; pass < repeat; ++pass) {
        for (int khz : frequencies)
            measures[khz].push_back(MeasureSearch(khz, air));
    }
    std::printf("%8s %6s %4s %8s %8s %8s  %7s %6s %6s %6s  %s\n", "kHz", "result", "svc", "search",
                "bound", "+fic", "pauses", "lock", "air", "fic",
                "search - bound (each pass) | search - fic bound");
    RegionTotal total{board.name};
    for (int khz : frequencies) {
        // The pass closest to its bound stands for the frequency (the others show the noise).
        const std::vector<Measure>& all = measures[khz];
        const Measure* best = &all.front();
        for (const Measure& m : all) {
            if (m.took - m.Bound() < best->took - best->Bound()) best = &m;
        }
        total.search += best->took;
        total.bound += best->Bound();
        total.fic_bound += best->FicBound();
        std::printf("%8d %6d %4d %6" PRId64 "ms %6" PRId64 "ms %6" PRId64 "ms  %5" PRId64
                    "ms %4" PRId64 "ms %4" PRId64 "ms %4" PRId64 "ms ",
                    khz, best->result, best->count, best->took, best->Bound(), best->FicBound(),
                    best->pauses, best->lock, best->air, best->fic);
        for (const Measure& m : all)
            std::printf(" %+" PRId64, m.took - m.Bound());
        std::printf(" | %+" PRId64 "\n", best->took - best->FicBound());
    }
    std::printf("region %d: %" PRId64 " ms; sum of bounds %" PRId64 " ms (%+" PRId64
                " ms); with the FIC packets %" PRId64 " ms (%+" PRId64 " ms)\n",
                region, total.search, total.bound, total.search - total.bound, total.fic_bound,
                total.search - total.fic_bound);
    // A search that found no lock leaves the link open; the next board must not be reached
    // through this one's handle.
    BB_API_CloseUSB();
    usbdev::SetDeviceProvider(nullptr);
    return total;
}

// The boards of the second family and the demo's, each on the air of base.
std::vector<Board> AllBoards(const rxsim::StickConfig& base) {
    const std::pair<const char*, const char*> chips[] = {{"PN3030", "ITD3020"},
                                                         {"CTX2050", "ITD3020"},
                                                         {"CTX2050", "FC2501"},
                                                         {"CTX2050", "FNX14701"},
                                                         {"PN3030", "FC2501"}};
    std::vector<Board> boards;
    for (const auto& [baseband, tuner] : chips) {
        Board board{std::string(baseband) + "+" + tuner, base};
        board.config.baseband = baseband;
        board.config.tuner = tuner;
        board.config.tuner_clock_mhz = baseband == std::string("CTX2050") ? 24.576 : 16.384;
        board.config.firmware =
            std::string("KX1000|2.10|Mar 02 2007|") + baseband + "|" + tuner + "|emulated";
        boards.push_back(board);
    }
    return boards;
}

}  // namespace

int main(int argc, char** argv) {
    std::string conf;
    std::string only_board;
    int region = 2;
    double scale = 1.0;
    int repeat = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--conf") conf = argv[i + 1];
        if (arg == "--board") only_board = argv[i + 1];
        if (arg == "--region") region = std::atoi(argv[i + 1]);
        if (arg == "--scale") scale = std::atof(argv[i + 1]);
        if (arg == "--repeat") repeat = std::atoi(argv[i + 1]);
    }
    const std::filesystem::path bin = std::filesystem::canonical("/proc/self/exe").parent_path();
    const bool own_conf = !conf.empty();
    if (conf.empty() && std::filesystem::exists(bin / "../bin/demo/receiver.conf")) {
        conf = (bin / "../bin/demo/receiver.conf").string();
    }
    rxsim::StickConfig config;
    std::string error;
    bool ok;
    if (conf.empty()) {
        const char* reference = std::getenv("KORU_REFERENCE_DIR");
        const std::string eti =
            std::string(reference != nullptr ? reference : "/work/shared/reference") +
            "/odr-ensemble-a.eti";
        ok = rxsim::ParseReceiverConf("air 208736 " + eti + "\n", ".", &config, &error);
        conf = "reference recording on 208736 kHz";
    } else {
        ok = rxsim::LoadReceiverConf(conf, &config, &error);
    }
    if (!ok) {
        std::fprintf(stderr, "search: %s\n", error.c_str());
        return 1;
    }
    std::map<int, Recording> air;
    for (const rxsim::AirEntry& entry : config.air) {
        air[static_cast<int>(entry.frequency_khz)] = ReadRecording(entry.eti_path);
    }
    std::vector<Board> boards;
    if (own_conf) {
        boards.push_back({config.baseband + "+" + config.tuner, config});
    } else {
        for (const Board& board : AllBoards(config)) {
            if (only_board.empty() || board.name == only_board) boards.push_back(board);
        }
    }
    if (boards.empty()) {
        std::fprintf(stderr, "search: no board %s\n", only_board.c_str());
        return 1;
    }

    M4_SetClockScale(scale);
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "koru-bench-search";
    std::filesystem::create_directories(work);
    std::filesystem::current_path(work);
    M4_SetLogLevel(3);
    M4_SetLogSink(&OnLog, nullptr);
    std::freopen("/dev/null", "w", stderr);  // the plug-in's detail log is only for the sink

    std::printf("air: %s; clock scale %.1f; %d pass(es)\n", conf.c_str(), scale, repeat);
    std::vector<RegionTotal> totals;
    for (const Board& board : boards)
        totals.push_back(MeasureBoard(board, region, repeat, air));
    std::printf("\n%-18s %9s %9s %8s %9s %8s\n", "board", "search", "bound", "diff", "+fic",
                "diff");
    for (const RegionTotal& t : totals) {
        std::printf("%-18s %7" PRId64 "ms %7" PRId64 "ms %+6" PRId64 "ms %7" PRId64 "ms %+6" PRId64
                    "ms\n",
                    t.board.c_str(), t.search, t.bound, t.search - t.bound, t.fic_bound,
                    t.search - t.fic_bound);
    }
    M4_SetLogSink(nullptr, nullptr);
    return 0;
}
