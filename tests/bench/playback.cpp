// Playback cost: m4play plays tv10.ts (a TV service's stream, as the ensemble builder makes it)
// through the terminal (decoding, conversion to 32-bit RGB,
// audio through SDL's dummy device, in real time), once as a file and once as live TV (the test
// feed plug-in delivers it in real time, as a receiver does); FFmpeg decodes the same file
// single-threaded to nothing (`ffmpeg -threads 1 -i tv10.ts -f null -`). For each the bench prints
// CPU instructions (where the machine lets a program count them) or else CPU time, per second of
// media, and the peak resident memory.
#include <fcntl.h>
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kMedia = std::string(KORU_TEST_MEDIA_DIR) + "/tv10.ts";
constexpr double kMediaSeconds = 10.0;

struct Cost {
    double cpu_ms = 0;   // user + system
    double user_ms = 0;  // user only: what instructions would count
    double wall_ms = 0;
    long max_rss_kb = 0;
    long long instructions = -1;  // -1: not counted on this machine
    int status = -1;
};

int OpenInstructionCounter(pid_t pid) {
    perf_event_attr attr{};
    attr.type = PERF_TYPE_HARDWARE;
    attr.size = sizeof(attr);
    attr.config = PERF_COUNT_HW_INSTRUCTIONS;
    attr.disabled = 1;
    attr.enable_on_exec = 1;
    attr.inherit = 1;  // every thread the program starts
    attr.exclude_kernel = 1;
    attr.exclude_hv = 1;
    return static_cast<int>(syscall(SYS_perf_event_open, &attr, pid, -1, -1, 0));
}

// Runs argv with its output thrown away; the child waits on a pipe until its counter is set.
Cost Run(const std::vector<std::string>& args) {
    int go[2];
    if (pipe(go) != 0) return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(go[1]);
        char byte;
        if (read(go[0], &byte, 1) < 0) _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(go[0]);
    const int counter = OpenInstructionCounter(pid);
    const char byte = 1;
    if (write(go[1], &byte, 1) != 1) perror("playback: pipe");
    close(go[1]);
    Cost cost;
    rusage usage{};
    wait4(pid, &cost.status, 0, &usage);
    cost.wall_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cost.cpu_ms = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                  (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    cost.user_ms = usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0;
    cost.max_rss_kb = usage.ru_maxrss;
    if (counter >= 0) {
        long long count = 0;
        if (read(counter, &count, sizeof(count)) == sizeof(count)) cost.instructions = count;
        close(counter);
    }
    return cost;
}

// The cheapest of a few runs: the machine is shared, noise only adds.
Cost Cheapest(const std::vector<std::string>& args, int runs) {
    Cost best = Run(args);
    for (int i = 1; i < runs; ++i) {
        const Cost cost = Run(args);
        if (cost.cpu_ms < best.cpu_ms) best = cost;
    }
    return best;
}

std::string Instructions(long long count, double seconds) {
    if (count < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", count / seconds / 1e6);
    return text;
}

void Print(const char* who, const Cost& full, const Cost& start) {
    std::printf("%-30s %9.0f %9.0f %11.1f %12.1f %12s %10.1f %5d\n", who, full.cpu_ms, start.cpu_ms,
                (full.cpu_ms - start.cpu_ms) / kMediaSeconds,
                (full.user_ms - start.user_ms) / kMediaSeconds,
                Instructions(full.instructions >= 0 && start.instructions >= 0
                                 ? full.instructions - start.instructions
                                 : -1,
                             kMediaSeconds)
                    .c_str(),
                full.max_rss_kb / 1024.0, WIFEXITED(full.status) ? WEXITSTATUS(full.status) : -1);
}

}  // namespace

int main() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    constexpr int kRuns = 3;
    std::printf("%s, %.0f s of H.264 320x240 15 fps + AAC; cheapest of %d runs each\n",
                kMedia.c_str(), kMediaSeconds, kRuns);
    std::printf(
        "start-up = the same program stopping after its first frame; per second = (whole "
        "run - start-up) / media seconds\n\n");
    std::printf("%-30s %9s %9s %11s %12s %12s %10s %5s\n", "", "CPU ms", "start-up", "CPU ms/s",
                "user ms/s", "M instr/s", "max RSS MB", "exit");
    const Cost terminal = Cheapest({KORU_M4PLAY, kMedia}, kRuns);
    const Cost terminal_start = Cheapest({KORU_M4PLAY, kMedia, "--seconds", "0"}, kRuns);
    Print("m4play (terminal, real time)", terminal, terminal_start);
    const std::string live_url = "feed://" + kMedia;
    const Cost live = Cheapest(
        {KORU_M4PLAY, live_url, "--plugins", KORU_FEED_PLUGIN_DIR, "--seconds", "10"}, kRuns);
    const Cost live_start = Cheapest(
        {KORU_M4PLAY, live_url, "--plugins", KORU_FEED_PLUGIN_DIR, "--seconds", "0"}, kRuns);
    Print("m4play live TV (feed plug-in)", live, live_start);
    const std::vector<std::string> ffmpeg_args = {
        KORU_FFMPEG, "-hide_banner", "-nostdin", "-threads", "1", "-i", kMedia};
    std::vector<std::string> whole = ffmpeg_args, first = ffmpeg_args;
    for (const char* arg : {"-f", "null", "-"})
        whole.push_back(arg);
    for (const char* arg : {"-frames:v", "1", "-f", "null", "-"})
        first.push_back(arg);
    const Cost ffmpeg = Cheapest(whole, kRuns);
    const Cost ffmpeg_start = Cheapest(first, kRuns);
    Print("ffmpeg -threads 1 -f null", ffmpeg, ffmpeg_start);

    const double terminal_rate = terminal.cpu_ms - terminal_start.cpu_ms;
    const double ffmpeg_rate = ffmpeg.cpu_ms - ffmpeg_start.cpu_ms;
    std::printf("\n");
    if (terminal.instructions > 0 && ffmpeg.instructions > 0) {
        std::printf("# instructions a media second: terminal / ffmpeg = %.2f\n",
                    static_cast<double>(terminal.instructions - terminal_start.instructions) /
                        static_cast<double>(ffmpeg.instructions - ffmpeg_start.instructions));
    } else {
        std::printf("# instructions cannot be counted here (no perf events): CPU time instead\n");
    }
    if (ffmpeg_rate > 0) {
        std::printf("# CPU time a media second: terminal / ffmpeg = %.2f (whole runs: %.2f)\n",
                    terminal_rate / ffmpeg_rate, terminal.cpu_ms / ffmpeg.cpu_ms);
    }
    const double ffmpeg_user = ffmpeg.user_ms - ffmpeg_start.user_ms;
    if (ffmpeg_user > 0) {
        std::printf("# user time a media second: terminal / ffmpeg = %.2f\n",
                    (terminal.user_ms - terminal_start.user_ms) / ffmpeg_user);
    }
    if (ffmpeg_rate > 0) {
        std::printf("# live TV CPU time a media second: %.1f ms (terminal live / ffmpeg = %.2f)\n",
                    (live.cpu_ms - live_start.cpu_ms) / kMediaSeconds,
                    (live.cpu_ms - live_start.cpu_ms) / ffmpeg_rate);
    }
    std::printf("# m4play peak resident memory: %.1f MB\n", terminal.max_rss_kb / 1024.0);
    return 0;
}
