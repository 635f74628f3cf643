// A scripted receiver stick for the plug-in's unit tests: it answers the command frames of the
// USB link with a PN3030 register file, an I2C master in front of an ITD tuner register file,
// identification replies and a receive queue that tests fill with packets. Every frame, register
// write and control command is recorded for the tests to check.
#ifndef KORU_TESTS_UNIT_RXMOD_FAKE_STICK_H
#define KORU_TESTS_UNIT_RXMOD_FAKE_STICK_H

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "usbdev/device_provider.h"
#include "usbdev/usbdev.h"

namespace koru::test {

class FakeStick : public usbdev::DeviceProvider, public std::enable_shared_from_this<FakeStick> {
  public:
    // Identity.
    usbdev::Library library = usbdev::Library::kSiUSBXp;  // which library sees the stick
    uint32_t device_count = 1;
    std::optional<uint8_t> hardware_id = 0;  // nullopt: the query gets no reply
    std::string firmware = "KX1000|2.0|Jan 01 2007|PN3030|ITD3020";
    int open_failures = 0;  // opens that fail before one succeeds
    bool present = true;    // false: pulled, every operation fails

    // Chips. Registers are keyed by their 16-bit address on the wire (0x68xx for the PN3030).
    std::map<uint16_t, uint8_t> registers{{0x6800, 0x01}};
    std::array<uint8_t, 256> tuner{};
    std::function<bool()> locked = [] { return true; };
    // Lock status registers 0xD5, 0xD6 as given, instead of what locked() tells.
    std::optional<std::pair<uint8_t, uint8_t>> lock_status;
    std::function<uint8_t()> vco_level = [] { return 0x80; };  // tuner register 0x70

    // What the plug-in sent.
    std::vector<std::vector<uint8_t>> frames;
    std::vector<std::pair<uint16_t, uint8_t>> register_writes;
    std::vector<std::pair<uint8_t, uint8_t>> tuner_writes;
    std::vector<uint8_t> controls;  // second bytes of 0x11 commands
    int flushes = 0;

    // The pipe towards the plug-in.
    std::deque<uint8_t> rx;
    uint32_t queue_status = 0;
    // Packets put on the pipe when the stream is enabled (0x11 0x21).
    std::vector<std::vector<uint8_t>> packets_on_enable;
    // Called at every receive-queue check (tests use it to pull the stick or feed packets).
    std::function<void()> on_check;
    // A result the next read returns instead of reading (a library fault).
    std::optional<int> next_read_result;

    FakeStick() {
        tuner[0x66] = 0x10;
        tuner[0x67] = 0x30;
    }

    static std::vector<uint8_t> Packet(uint8_t id, const std::vector<uint8_t>& payload) {
        std::vector<uint8_t> packet = {id, 0, static_cast<uint8_t>(payload.size() & 0xFF),
                                       static_cast<uint8_t>(payload.size() >> 8)};
        packet.insert(packet.end(), payload.begin(), payload.end());
        return packet;
    }
    void Push(const std::vector<uint8_t>& bytes) {
        rx.insert(rx.end(), bytes.begin(), bytes.end());
    }

    // Register writes with the page byte dropped, for PN3030 sequence checks.
    std::vector<std::pair<uint8_t, uint8_t>> PageWrites() const {
        std::vector<std::pair<uint8_t, uint8_t>> writes;
        for (auto [address, value] : register_writes) {
            writes.emplace_back(static_cast<uint8_t>(address & 0xFF), value);
        }
        return writes;
    }

    int CountDevices(usbdev::Library which, uint32_t* count) override {
        *count = present && which == library ? device_count : 0;
        return SI_SUCCESS;
    }

    int Open(usbdev::Library which, uint32_t, std::unique_ptr<usbdev::UsbDevice>* device) override {
        if (!present || which != library) return SI_DEVICE_NOT_FOUND;
        if (open_failures > 0) {
            --open_failures;
            return SI_DEVICE_NOT_FOUND;
        }
        *device = std::make_unique<Device>(shared_from_this());
        return SI_SUCCESS;
    }

  private:
    class Device : public usbdev::UsbDevice {
      public:
        explicit Device(std::shared_ptr<FakeStick> stick) : stick_(std::move(stick)) {}
        int Read(uint8_t* buffer, uint32_t wanted, uint32_t* got, uint32_t) override {
            if (!stick_->present) return SI_READ_ERROR;
            if (stick_->next_read_result) {
                const int result = *stick_->next_read_result;
                stick_->next_read_result.reset();
                return result;
            }
            if (stick_->rx.empty()) return SI_RX_QUEUE_NOT_READY;
            while (*got < wanted && !stick_->rx.empty()) {
                buffer[(*got)++] = stick_->rx.front();
                stick_->rx.pop_front();
            }
            return SI_SUCCESS;
        }
        int Write(const uint8_t* data, uint32_t length, uint32_t* written, uint32_t) override {
            if (!stick_->present) return SI_WRITE_ERROR;
            stick_->Handle(std::vector<uint8_t>(data, data + length));
            *written = length;
            return SI_SUCCESS;
        }
        int Flush(bool, bool receive) override {
            if (!stick_->present) return SI_DEVICE_IO_FAILED;
            ++stick_->flushes;
            if (receive) stick_->rx.clear();
            return SI_SUCCESS;
        }
        int CheckRxQueue(uint32_t* queued, uint32_t* status) override {
            if (stick_->on_check) stick_->on_check();
            if (!stick_->present) return SI_DEVICE_IO_FAILED;
            *queued = static_cast<uint32_t>(stick_->rx.size());
            *status = stick_->queue_status;
            return SI_SUCCESS;
        }

      private:
        std::shared_ptr<FakeStick> stick_;
    };

    uint8_t ReadRegister(uint16_t address) {
        if (address == 0x68D5) return lock_status ? lock_status->first : locked() ? 0x00 : 0xFF;
        if (address == 0x68D6) return lock_status ? lock_status->second : locked() ? 0x10 : 0x00;
        return registers[address];
    }

    uint8_t ReadTuner(uint8_t reg) { return reg == 0x70 ? vco_level() : tuner[reg]; }

    void WriteTuner(uint8_t reg, uint8_t value) {
        tuner[reg] = value;
        tuner_writes.emplace_back(reg, value);
    }

    // The PN3030's I2C master: 0x1A = 0x35 reads one tuner register into 0x90, 0x11 sends the
    // register in 0x90 and the values from 0x91 on.
    void WriteRegister(uint16_t address, uint8_t value) {
        registers[address] = value;
        register_writes.emplace_back(address, value);
        if (address != 0x681A) return;
        if (value == 0x35) {
            registers[0x6890] = ReadTuner(registers[0x6814]);
        } else if (value == 0x11) {
            const int count = registers[0x6819] - 1;
            const uint8_t reg = registers[0x6890];
            for (int i = 0; i < count; ++i) {
                WriteTuner(static_cast<uint8_t>(reg + i),
                           registers[static_cast<uint16_t>(0x6891 + i)]);
            }
        }
    }

    void Reply(const std::vector<uint8_t>& bytes) { Push(bytes); }

    void Handle(const std::vector<uint8_t>& frame) {
        frames.push_back(frame);
        if (frame.size() < 2) return;
        const uint8_t command = frame[0];
        if (command == 0x22 && frame.size() == 5) {  // register read
            const uint16_t address = static_cast<uint16_t>(frame[1] << 8 | frame[2]);
            const int count = frame[3] << 8 | frame[4];
            std::vector<uint8_t> reply;
            for (int i = 0; i < count; ++i) {
                reply.push_back(ReadRegister(static_cast<uint16_t>(address + i)));
            }
            Reply(reply);
        } else if (command == 0x21 && frame.size() >= 5) {  // register write
            const uint16_t address = static_cast<uint16_t>(frame[1] << 8 | frame[2]);
            for (size_t i = 5; i < frame.size(); ++i) {
                WriteRegister(static_cast<uint16_t>(address + i - 5), frame[i]);
            }
        } else if (command == 0x32 && frame.size() == 3) {  // tuner read
            std::vector<uint8_t> reply;
            for (int i = 0; i < frame[2]; ++i) {
                reply.push_back(ReadTuner(static_cast<uint8_t>(frame[1] + i)));
            }
            Reply(reply);
        } else if (command == 0x31 && frame.size() >= 3) {  // tuner write
            for (size_t i = 3; i < frame.size(); ++i) {
                WriteTuner(static_cast<uint8_t>(frame[1] + i - 3), frame[i]);
            }
        } else if (command == 0x12 && frame[1] == 0x11) {  // hardware id
            if (hardware_id) Reply({*hardware_id});
        } else if (command == 0x12 && frame[1] == 0x10) {  // firmware id
            Reply(std::vector<uint8_t>(firmware.begin(), firmware.end()));
        } else if (command == 0x11) {
            controls.push_back(frame[1]);
            if (frame[1] == 0x21) {
                for (const auto& packet : packets_on_enable)
                    Push(packet);
            }
        }
    }
};

}  // namespace koru::test

#endif
