#include "usbdev/rxsim/control.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

#include "m4systems/log.h"
#include "usbdev/rxsim/rxsim.h"
#include "usbdev/rxsim/words.h"

namespace rxsim {
namespace {

constexpr const char* kSource = "rxsim_ctl";
constexpr size_t kMaxCommand = 1024;
constexpr int kReadTimeoutMs = 2000;  // a client that sends nothing is dropped

bool OnOff(const std::string& word, bool* value) {
    if (word == "on") {
        *value = true;
    } else if (word == "off") {
        *value = false;
    } else {
        return false;
    }
    return true;
}

std::string StatusText(const StickStatus& status, const std::string& faults) {
    std::ostringstream out;
    out << "ok\n";
    out << "plugged " << (status.plugged ? "yes" : "no") << "\n";
    out << "open " << (status.open ? "yes" : "no") << "\n";
    if (status.tuned_mhz) {
        char tuned[32];
        std::snprintf(tuned, sizeof tuned, "%.3f", *status.tuned_mhz);
        out << "tuned " << tuned << " MHz\n";
    } else {
        out << "tuned none\n";
    }
    out << "signal " << (status.signal ? "yes" : "no") << "\n";
    out << "locked " << (status.locked ? "yes" : "no") << "\n";
    out << "stream " << (status.stream_enabled ? "on" : "off") << "\n";
    out << "fic " << (status.fic_path ? "on" : "off") << "\n";
    out << "subchannel "
        << (status.subchannel ? std::to_string(*status.subchannel) : std::string("none")) << "\n";
    out << "queued " << status.queued << "\n";
    out << "overrun " << (status.overrun ? "yes" : "no") << "\n";
    out << "frames " << status.frames << "\n";
    out << faults;
    return out.str();
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The socket folder must be ours alone: a folder others can write to could hand rxsimctl a
// socket of someone else's.
bool PrepareFolder(const std::string& folder, std::string* error) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot create " + folder + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 0077) != 0) {
        *error = folder + " is not a private folder of this user";
        return false;
    }
    return true;
}

}  // namespace

std::string ControlHelp() {
    return "ok\n"
           "pull | plug | replug\n"
           "overrun\n"
           "lock-loss on|off\n"
           "silence on|off\n"
           "level <value> | level air\n"
           "corrupt-fibs <percent>\n"
           "corrupt-packets <percent>\n"
           "no-hwid on|off\n"
           "fw-control-byte on|off\n"
           "clear\n"
           "status\n";
}

std::string RunControlCommand(Emulator* emulator, const std::string& command,
                              const std::function<std::string()>& fault_summary) {
    std::vector<std::string> words = SplitWords(command);
    if (words.empty()) return "error: empty command\n";
    const std::string& verb = words[0];
    const std::string argument = words.size() > 1 ? words[1] : "";
    if (words.size() > 2) return "error: too many words\n";
    bool flag = false;
    double value = 0.0;
    if (verb == "help") return ControlHelp();
    if (verb == "status" && argument.empty()) {
        return StatusText(emulator->Status(), fault_summary());
    }
    if (verb == "pull" && argument.empty()) {
        emulator->Pull();
    } else if (verb == "plug" && argument.empty()) {
        emulator->Plug();
    } else if (verb == "replug" && argument.empty()) {
        emulator->Pull();
        emulator->Plug();
    } else if (verb == "overrun" && argument.empty()) {
        emulator->ForceOverrun();
    } else if (verb == "lock-loss" && OnOff(argument, &flag)) {
        emulator->SetLockLost(flag);
    } else if (verb == "silence" && OnOff(argument, &flag)) {
        emulator->SetServiceSilence(flag);
    } else if (verb == "level" && argument == "air") {
        emulator->SetSignalLevel(std::nullopt);
    } else if (verb == "level" && ParseDecimal(argument, -100.0, 100.0, &value)) {
        emulator->SetSignalLevel(value);
    } else if (verb == "corrupt-fibs" && ParseDecimal(argument, 0.0, 100.0, &value)) {
        emulator->SetFibCorruption(value / 100.0);
    } else if (verb == "corrupt-packets" && ParseDecimal(argument, 0.0, 100.0, &value)) {
        emulator->SetPacketCorruption(value / 100.0);
    } else if (verb == "no-hwid" && OnOff(argument, &flag)) {
        emulator->SetHardwareIdSilent(flag);
    } else if (verb == "fw-control-byte" && OnOff(argument, &flag)) {
        emulator->SetFirmwareControlByte(flag);
    } else if (verb == "clear" && argument.empty()) {
        emulator->ClearFaults();
    } else {
        return "error: not understood: " + command + " (try help)\n";
    }
    M4_LOG(2, kSource, "control: %s", command.c_str());
    return "ok\n";
}

std::string ControlSocketFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    std::string base =
        runtime != nullptr && runtime[0] == '/' && std::filesystem::is_directory(runtime, ignored)
            ? runtime
            : "/tmp";
    return base + "/koru-rxsim-" + std::to_string(getuid());
}

std::string ControlSocketPath(int pid) {
    return ControlSocketFolder() + "/" + std::to_string(pid) + ".sock";
}

ControlServer::~ControlServer() {
    if (thread_.joinable()) {
        char stop = 's';
        ssize_t ignored = write(wake_[1], &stop, 1);
        (void)ignored;
        thread_.join();
    }
    if (listener_ >= 0) {
        close(listener_);
        // Another emulator of this process may have taken the name over since.
        struct stat info;
        if (lstat(path_.c_str(), &info) == 0 && info.st_dev == socket_device_ &&
            info.st_ino == socket_inode_) {
            unlink(path_.c_str());
        }
    }
    for (int fd : wake_) {
        if (fd >= 0) close(fd);
    }
}

bool ControlServer::Start(std::string* error) {
    std::string folder = ControlSocketFolder();
    if (!PrepareFolder(folder, error)) return false;
    path_ = ControlSocketPath(getpid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) {
        *error = "socket path too long: " + path_;
        return false;
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    unlink(path_.c_str());  // left by an earlier process with this id
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 || pipe2(wake_, O_CLOEXEC) != 0) {
        *error = "control socket " + path_ + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (lstat(path_.c_str(), &info) == 0) {
        socket_device_ = info.st_dev;
        socket_inode_ = info.st_ino;
    }
    thread_ = std::thread([this] { Serve(); });
    M4_LOG(2, kSource, "rxsimctl reaches this emulator at %s", path_.c_str());
    return true;
}

void ControlServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        Answer(connection);
        close(connection);
    }
}

void ControlServer::Answer(int connection) {
    std::string line;
    char chunk[256];
    while (line.size() <= kMaxCommand && line.find('\n') == std::string::npos) {
        pollfd fd = {connection, POLLIN, 0};
        if (poll(&fd, 1, kReadTimeoutMs) <= 0) return;
        ssize_t n = read(connection, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        line.append(chunk, static_cast<size_t>(n));
    }
    line = line.substr(0, line.find('\n'));
    if (line.size() > kMaxCommand) {
        WriteAll(connection, "error: command too long\n");
        return;
    }
    WriteAll(connection, emulator_->Control(line));
}

}  // namespace rxsim
