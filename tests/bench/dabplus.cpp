// DAB+ radio cost: m4play plays each DAB+ service of the independent recording
// (../shared/reference/odr-dabplus-c.eti) as the player does, through the receiver plug-in on the
// emulated stick (which reads the recording and streams it in real time), decoding with libfaad
// to SDL's dummy device; Debian's dablin plays the same service from the same file to PCM on
// its standard output (`dablin -s SID -p FILE`), in real time as well. For each the bench prints
// the whole process's CPU time and peak resident memory, and the CPU time a second of the run.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "process_cost.h"

namespace {

using koru::bench::Cheapest;
using koru::bench::Cost;

constexpr const char* kEti = KORU_REFERENCE_DIR "/odr-dabplus-c.eti";
constexpr int kSeconds = 12;  // the recording's length: 501 frames of 24 ms

void Print(const char* who, const Cost& cost, const Cost* start) {
    const double work = cost.cpu_ms - (start != nullptr ? start->cpu_ms : 0);
    std::printf("%-34s %8.0f %8.0f %12.1f %10.1f %7.1f %5d\n", who, cost.cpu_ms,
                start != nullptr ? start->cpu_ms : 0.0, work / kSeconds, cost.max_rss_kb / 1024.0,
                cost.wall_ms / 1000.0, WIFEXITED(cost.status) ? WEXITSTATUS(cost.status) : -1);
}

}  // namespace

int main() {
    if (!std::filesystem::exists(kEti)) {
        std::printf("no DAB+ reference recording at %s\n", kEti);
        return 0;
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("koru-bench-dabplus-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "receiver.conf") << "air 208736 " << kEti << " level 20\n";
    setenv("KORU_RECEIVER", (folder / "receiver.conf").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::filesystem::current_path(folder);
    koru::bench::Run({KORU_DMBSCAN, "--freq", "208736"});  // channel.dat, as the player's search
    if (!std::filesystem::exists(folder / "channel.dat")) {
        std::printf("the channel search found nothing\n");
        return 1;
    }
    constexpr int kRuns = 2;
    std::printf(
        "%s, %d s; cheapest of %d runs each; m4play's start-up (connect, then stop at "
        "once) is taken off its CPU a second\n\n",
        kEti, kSeconds, kRuns);
    std::printf("%-34s %8s %8s %12s %10s %7s %5s\n", "", "CPU ms", "start-up", "CPU ms/s",
                "max RSS MB", "wall s", "exit");
    struct Service {
        const char* name;
        const char* index;
        const char* sid;
    };
    for (const Service& service :
         {Service{"India HE 64 (HE-AAC 48 kHz stereo)", "0", "0x4C31"},
          Service{"Juliet Mono 32k (AAC LC 32 kHz mono)", "1", "0x4C32"}}) {
        std::printf("%s\n", service.name);
        const std::string url = std::string("bbu://208736,") + service.index + ",0.mp2";
        const Cost terminal =
            Cheapest({KORU_M4PLAY, url, "--seconds", std::to_string(kSeconds)}, kRuns);
        const Cost start = Cheapest({KORU_M4PLAY, url, "--seconds", "0"}, kRuns);
        Print("  m4play (plug-in, emulated stick)", terminal, &start);
        const Cost dablin = Cheapest({KORU_DABLIN, "-s", service.sid, "-p", kEti}, kRuns);
        Print("  dablin -p", dablin, nullptr);
        if (dablin.cpu_ms > 0) {
            std::printf(
                "  # CPU m4play / dablin: %.2f whole runs, %.2f without m4play's start-up\n",
                terminal.cpu_ms / dablin.cpu_ms, (terminal.cpu_ms - start.cpu_ms) / dablin.cpu_ms);
        }
    }
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
