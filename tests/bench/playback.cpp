// Playback cost: m4play plays tv10.ts through the terminal (decoding, conversion to 32-bit RGB,
// audio through SDL's dummy device, in real time); FFmpeg decodes the same file single-threaded
// to nothing (`ffmpeg -threads 1 -i tv10.ts -f null -`). For both the bench prints CPU
// instructions (where the machine lets a program count them) or else CPU time, per second of
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
    double cpu_ms = 0;
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
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
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
    cost.max_rss_kb = usage.ru_maxrss;
    if (counter >= 0) {
        long long count = 0;
        if (read(counter, &count, sizeof(count)) == sizeof(count)) cost.instructions = count;
        close(counter);
    }
    return cost;
}

void Print(const char* who, const Cost& cost) {
    std::printf("%-34s %10.1f", who, cost.cpu_ms / kMediaSeconds);
    if (cost.instructions >= 0) {
        std::printf(" %14.1f", cost.instructions / kMediaSeconds / 1e6);
    } else {
        std::printf(" %14s", "-");
    }
    std::printf(" %10.1f %10.0f %6d\n", cost.max_rss_kb / 1024.0, cost.wall_ms,
                WIFEXITED(cost.status) ? WEXITSTATUS(cost.status) : -1);
}

}  // namespace

int main() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::printf("%s, %.0f s of H.264 320x240 + AAC\n", kMedia.c_str(), kMediaSeconds);
    std::printf("%-34s %10s %14s %10s %10s %6s\n", "", "CPU ms/s", "M instr/s", "max RSS MB",
                "wall ms", "exit");
    const Cost terminal = Run({KORU_M4PLAY, kMedia});
    Print("m4play (terminal, real time)", terminal);
    const Cost ffmpeg = Run({KORU_FFMPEG, "-hide_banner", "-nostdin", "-threads", "1", "-i", kMedia,
                             "-f", "null", "-"});
    Print("ffmpeg -threads 1 -f null", ffmpeg);
    if (terminal.instructions > 0 && ffmpeg.instructions > 0) {
        std::printf("\n# instructions: terminal / ffmpeg = %.2f\n",
                    static_cast<double>(terminal.instructions) / ffmpeg.instructions);
    } else {
        std::printf("\n# instructions cannot be counted here (perf events unavailable): CPU time\n");
    }
    if (ffmpeg.cpu_ms > 0) {
        std::printf("# CPU time: terminal / ffmpeg = %.2f\n", terminal.cpu_ms / ffmpeg.cpu_ms);
    }
    std::printf("# m4play peak resident memory: %.1f MB\n", terminal.max_rss_kb / 1024.0);
    return 0;
}
