// Whole-process cost of a program run: CPU time (user and system, every thread), the user
// instructions where the machine lets a program count them, wall time and peak resident memory.
// The benchmarks run each program in a child process, its output thrown away.
#ifndef KORU_TESTS_BENCH_PROCESS_COST_H
#define KORU_TESTS_BENCH_PROCESS_COST_H

#include <fcntl.h>
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace koru::bench {

struct Cost {
    double cpu_ms = 0;   // user + system
    double user_ms = 0;  // user only: what instructions would count
    double wall_ms = 0;
    long max_rss_kb = 0;
    long long instructions = -1;  // -1: not counted on this machine
    int status = -1;
};

inline int OpenInstructionCounter(pid_t pid) {
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
inline Cost Run(const std::vector<std::string>& args) {
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
    if (write(go[1], &byte, 1) != 1) perror("bench: pipe");
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
inline Cost Cheapest(const std::vector<std::string>& args, int runs) {
    Cost best = Run(args);
    for (int i = 1; i < runs; ++i) {
        const Cost cost = Run(args);
        if (cost.cpu_ms < best.cpu_ms) best = cost;
    }
    return best;
}

}  // namespace koru::bench

#endif
