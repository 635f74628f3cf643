// The emulated receiver stick: a board with its firmware, a baseband chip and a tuner chip,
// listening to "the air" that a receiver.conf describes, seen by the host through one of the
// two USB libraries. It interprets every command frame the way the firmware and the chips do,
// and streams what it receives in the baseband's packet framing, paced on the terminal clock.
//
// Tests install an Emulator with usbdev::SetDeviceProvider and inject faults through it; a
// running player's emulator is reached by the rxsimctl tool through a control socket.
#ifndef USBDEV_RXSIM_RXSIM_H
#define USBDEV_RXSIM_RXSIM_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "usbdev/device_provider.h"

#define RXSIM_API __attribute__((visibility("default")))

namespace rxsim {

// One transmitter on the air: an ensemble on a frequency, looped from an ETI-NI file.
struct AirEntry {
    uint32_t frequency_khz = 0;
    std::string eti_path;  // absolute, or as given when the conf had no folder
    double level = 20.0;   // signal value the stick's reports decode to
};

// What a receiver.conf describes (see README.md, "The emulated receiver").
struct StickConfig {
    usbdev::Library library = usbdev::Library::kSiUSBXp;
    // The reply to the firmware id query, sent as it stands (no terminating NUL).
    std::string firmware = "KX1000|2.10|Mar 02 2007|PN3030|ITD3020|emulated";
    // The reply to the hardware id query; none: the firmware does not answer it.
    std::optional<uint8_t> hardware_id = 0;
    std::string baseband = "PN3030";
    std::string tuner = "ITD3020";
    double tuner_clock_mhz = 16.384;  // the crystal that feeds the tuner's synthesiser
    uint32_t acquisition_ms = 400;    // from a stable tuning to lock
    double tolerance_khz = 10.0;      // how far off an ensemble's frequency still locks
    double lock_level = 5.0;          // below this signal value the stick cannot lock
    uint32_t rx_queue_bytes = 65536;  // the host's receive queue
    std::vector<AirEntry> air;
};

// Reads receiver.conf text; ETI paths are taken relative to folder. Unknown or malformed lines
// are logged and ignored. Returns false (with *error) only when the identity cannot be built:
// a baseband or tuner that is not emulated.
RXSIM_API bool ParseReceiverConf(const std::string& text, const std::string& folder,
                                 StickConfig* config, std::string* error);
RXSIM_API bool LoadReceiverConf(const std::string& path, StickConfig* config, std::string* error);

// A recording named on a command line, "FILE" or "FILE@KHZ": the frequency is taken from what
// follows the last '@' when that is all digits (1 to 3000000 kHz); otherwise the whole text is
// the file and *frequency_khz stays empty. False (with *error) for digits out of that range.
RXSIM_API bool ParseRecordingArgument(const std::string& argument, std::string* path,
                                      std::optional<uint32_t>* frequency_khz, std::string* error);
// Makes one ETI-NI recording the whole air of config: the file, looped, on frequency_khz at the
// default level. False (with *error, config unchanged) when the file cannot be read or holds no
// good ETI-NI frame.
RXSIM_API bool UseRecordingAsAir(const std::string& eti_path, uint32_t frequency_khz,
                                 StickConfig* config, std::string* error);

// What tests and rxsimctl can look at.
struct StickStatus {
    bool plugged = false;
    bool open = false;
    std::optional<double> tuned_mhz;  // the RF the tuner passes on, while its PLL can lock
    bool signal = false;              // the tuned frequency carries an ensemble
    bool locked = false;
    bool stream_enabled = false;    // firmware stream switch
    bool fic_path = false;          // baseband outputs the FIC
    std::optional<int> subchannel;  // baseband outputs this sub-channel
    uint32_t queued = 0;
    bool overrun = false;
    uint64_t frames = 0;  // air frames the stick has heard since it was created
};

class Stick;
class ControlServer;

// The provider of one emulated stick (device index 0 of the configured library).
class RXSIM_API Emulator : public usbdev::DeviceProvider {
  public:
    explicit Emulator(StickConfig config);
    ~Emulator() override;
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    int CountDevices(usbdev::Library library, uint32_t* count) override;
    int Open(usbdev::Library library, uint32_t index,
             std::unique_ptr<usbdev::UsbDevice>* device) override;

    // Faults. Each stays until it is changed back; ClearFaults ends all of them.
    void Pull();          // the stick leaves the bus: count 0, open handles fail
    void Plug();          // it comes back powered up afresh (registers at their reset values)
    void ForceOverrun();  // the host queue overflows now
    void SetLockLost(bool lost);                       // the demodulator loses sync
    void SetServiceSilence(bool silent);               // the selected sub-channel carries nothing
    void SetSignalLevel(std::optional<double> level);  // overrides the air's level
    void SetFibCorruption(double share);               // 0..1 of FIBs arrive with a CRC failure
    void SetPacketCorruption(double share);            // 0..1 of service packets arrive damaged
    void SetHardwareIdSilent(bool silent);             // no answer to the hardware id query
    void SetFirmwareControlByte(bool on);              // the firmware text carries a control byte
    void ClearFaults();

    StickStatus Status();
    // One command of rxsimctl's language ("pull", "level 8.5", "status", ...); the answer
    // starts with "ok" or "error".
    std::string Control(const std::string& command);

    // Opens the control socket that rxsimctl talks to (see ControlSocketPath).
    bool StartControlServer(std::string* error);

  private:
    std::shared_ptr<Stick> stick_;
    std::unique_ptr<ControlServer> control_;
};

// The control socket of the emulator in process pid.
RXSIM_API std::string ControlSocketFolder();
RXSIM_API std::string ControlSocketPath(int pid);

// The emulator that receiver.conf at path describes, or null (logged) when it cannot be read.
RXSIM_API std::shared_ptr<Emulator> MakeEmulatorFromConf(const std::string& path);

}  // namespace rxsim

#endif
