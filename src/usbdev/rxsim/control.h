// The emulator's control language (what rxsimctl sends) and the Unix socket that carries it.
// One connection carries one command line; the answer is text that starts with "ok" or
// "error" and ends when the emulator closes the connection.
#ifndef USBDEV_RXSIM_CONTROL_H
#define USBDEV_RXSIM_CONTROL_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <thread>

namespace rxsim {

class Emulator;

// Commands:
//   pull | plug | replug             the stick leaves the bus / comes back / both
//   overrun                          the host's receive queue overflows now
//   lock-loss on|off                 the demodulator loses sync
//   silence on|off                   the selected sub-channel carries nothing
//   level <value> | level air        signal value of the reports (and lock) / the air's own
//   corrupt-fibs <percent>           that share of FIBs fails its CRC
//   corrupt-packets <percent>        that share of service packets arrives damaged
//   no-hwid on|off                   no answer to the hardware id query
//   fw-control-byte on|off           a control byte in the firmware identification text
//   clear                            every fault off
//   status                           plug, tuning, lock, stream, queue and faults
//   help
std::string RunControlCommand(Emulator* emulator, const std::string& command,
                              const std::function<std::string()>& fault_summary);
std::string ControlHelp();

class ControlServer {
  public:
    explicit ControlServer(Emulator* emulator) : emulator_(emulator) {}
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool Start(std::string* error);

  private:
    void Serve();
    void Answer(int connection);

    Emulator* emulator_;
    std::string path_;
    dev_t socket_device_ = 0;
    ino_t socket_inode_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace rxsim

#endif
