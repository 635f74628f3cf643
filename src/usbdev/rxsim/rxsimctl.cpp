// rxsimctl: injects faults into the emulated receiver stick of a running program (the player)
// through the emulator's control socket.
//   rxsimctl [-p PID] COMMAND [ARGUMENT]     e.g. rxsimctl pull, rxsimctl level 7.5
//   rxsimctl list                            running emulators of this user
// Without -p the one running emulator of this user is taken. Exit status: 0 when the emulator
// answered "ok", 1 when it refused the command, 2 when it could not be reached.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "usbdev/rxsim/rxsim.h"

namespace {

void Usage() {
    std::fprintf(stderr,
                 "usage: rxsimctl [-p PID] COMMAND [ARGUMENT]\n"
                 "       rxsimctl list\n"
                 "commands: pull, plug, replug, overrun, lock-loss on|off, silence on|off,\n"
                 "          level <value>|air, corrupt-fibs <percent>, corrupt-packets <percent>,\n"
                 "          no-hwid on|off, fw-control-byte on|off, clear, status, help\n");
}

bool ProcessAlive(int pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

// Process ids of this user's emulators whose process still runs.
std::vector<int> RunningEmulators() {
    std::vector<int> pids;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(rxsim::ControlSocketFolder(), error)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".sock") continue;
        int pid = std::atoi(name.c_str());
        if (pid > 0 && ProcessAlive(pid)) pids.push_back(pid);
    }
    return pids;
}

// Sends one command line; the emulator's answer, or nothing when it cannot be reached.
bool Send(int pid, const std::string& command, std::string* answer) {
    const std::string path = rxsim::ControlSocketPath(pid);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    const std::string line = command + "\n";
    bool sent =
        send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    shutdown(fd, SHUT_WR);
    char chunk[512];
    ssize_t n = 0;
    while (sent && (n = read(fd, chunk, sizeof chunk)) > 0)
        answer->append(chunk, static_cast<size_t>(n));
    close(fd);
    return sent && !answer->empty();
}

}  // namespace

int main(int argc, char** argv) {
    int pid = 0;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "-p") == 0) {
        pid = std::atoi(argv[2]);
        if (pid <= 0) {
            Usage();
            return 2;
        }
        first = 3;
    }
    if (first >= argc || argc - first > 2) {
        Usage();
        return 2;
    }
    std::vector<int> running = RunningEmulators();
    if (std::strcmp(argv[first], "list") == 0) {
        for (int each : running)
            std::printf("%d %s\n", each, rxsim::ControlSocketPath(each).c_str());
        return 0;
    }
    if (pid == 0) {
        if (running.size() != 1) {
            std::fprintf(stderr, running.empty()
                                     ? "rxsimctl: no emulated receiver is running\n"
                                     : "rxsimctl: several emulated receivers run; choose "
                                       "one with -p (see rxsimctl list)\n");
            return 2;
        }
        pid = running[0];
    }
    std::string command = argv[first];
    if (first + 1 < argc) command += std::string(" ") + argv[first + 1];
    std::string answer;
    if (!Send(pid, command, &answer)) {
        std::fprintf(stderr, "rxsimctl: the emulator of process %d does not answer at %s\n", pid,
                     rxsim::ControlSocketPath(pid).c_str());
        return 2;
    }
    std::fputs(answer.c_str(), stdout);
    return answer.rfind("ok", 0) == 0 ? 0 : 1;
}
