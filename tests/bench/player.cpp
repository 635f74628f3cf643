// bench/player: how fast the player starts and how much memory it takes while TV plays.
//   build/bench/player [--runs N] [--standin PLUGIN_FOLDER]
// Each run starts VelmarPlayer on an Xvfb display of its own with the stored TV channel of the
// demo air (dmbscan's channel cache) and prints the time from the process start to the window
// shown, to the first TV picture, and the resident memory after five seconds of TV. The times
// are the player's own (its debug output measures from its process start). Prints, asserts
// nothing. --standin plays through the plug-ins of that folder (build/tests/standin_plugins:
// test media for "bbu://" URLs) instead of the receiver plug-in; its first-picture time then
// leaves out the receiver's tuning.
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/player_session.h"
#include "support/temp_dir.h"

namespace {

struct Run {
    long long window_ms = -1;
    long long connect_ms = -1;
    long long data_ms = -1;
    long long picture_ms = -1;
    long long resident_kb = -1;
};

long long Between(long long from, long long to) {
    return from < 0 || to < 0 ? -1 : to - from;
}

long long Median(std::vector<long long> values) {
    values.erase(std::remove(values.begin(), values.end(), -1), values.end());
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    int runs = 3;
    std::string standin;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--standin") == 0)
            standin = std::filesystem::absolute(argv[++i]).string();
    }
    if (const std::string reason = koru::test::SessionUnavailable(!standin.empty());
        !reason.empty()) {
        std::printf("player: %s; nothing measured\n", reason.c_str());
        return 0;
    }
    koru::test::TempDir home;
    std::string error;
    if (!koru::test::PrepareChannels(home.path(), {"208736"}, &error)) {
        std::printf("player: %s\n", error.c_str());
        return 1;
    }
    if (!standin.empty()) {
        koru::test::WriteFile(home / "KORU-DMB.cfg",
                              "[General]\nPluginsDirectory=" + standin + "\n");
        std::printf("player: through the stand-in plug-ins of %s\n", standin.c_str());
    }
    koru::test::XvfbDisplay display;
    if (!display.Start()) {
        std::printf("player: Xvfb did not start\n");
        return 1;
    }
    std::vector<Run> results;
    for (int run = 0; run < runs; ++run) {
        std::filesystem::remove(home / "debug.log");
        koru::test::PlayerProcess player;
        Run result;
        if (player.Start(display.display(), home.path())) {
            if (player.WaitForDebug("window shown after", 10000))
                result.window_ms = player.DebugNumberAfter("window shown after ");
            if (player.WaitForDebug("first picture after", 30000)) {
                result.picture_ms = player.DebugNumberAfter("first picture after ");
                result.connect_ms = player.DebugNumberAfter("connect after ");
                result.data_ms = player.DebugNumberAfter("first data after ");
                QThread::msleep(5000);
                result.resident_kb = player.ResidentKb();
            }
            player.process().terminate();
            player.process().waitForFinished(15000);
        }
        std::printf(
            "run %d: window %lld ms, connect %lld ms, first data %lld ms, first picture "
            "%lld ms, resident %lld MB\n",
            run + 1, result.window_ms, result.connect_ms, result.data_ms, result.picture_ms,
            result.resident_kb < 0 ? -1 : result.resident_kb / 1024);
        results.push_back(result);
    }
    std::vector<long long> window, picture, resident, tuning, after_data;
    for (const Run& r : results) {
        window.push_back(r.window_ms);
        picture.push_back(r.picture_ms);
        resident.push_back(r.resident_kb);
        tuning.push_back(Between(r.connect_ms, r.data_ms));
        after_data.push_back(Between(r.data_ms, r.picture_ms));
    }
    const long long resident_kb = Median(resident);
    std::printf("start to window shown:    %lld ms (median of %d; target 1000 ms)\n",
                Median(window), runs);
    std::printf(
        "start to first TV picture: %lld ms (median; target the receiver's tune waits + "
        "300 ms)\n",
        Median(picture));
    std::printf("  of which connect to first stream data (the receiver's tuning): %lld ms\n",
                Median(tuning));
    std::printf("  and first stream data to first picture (target 300 ms):        %lld ms\n",
                Median(after_data));
    std::printf("resident memory, TV:       %lld MB (median; target below 200 MB)\n",
                resident_kb < 0 ? -1 : resident_kb / 1024);
    return 0;
}
