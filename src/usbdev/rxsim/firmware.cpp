#include "usbdev/rxsim/firmware.h"

#include <algorithm>

#include "m4systems/log.h"

namespace rxsim {
namespace {

constexpr const char* kSource = "rxsim_fw";

uint16_t Word(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

}  // namespace

void Firmware::Reset() {
    stream_enabled_ = false;
    debug_enabled_ = false;
    l_band_input_ = false;
}

void Firmware::OnPacket(const uint8_t* packet, size_t n, uint32_t now, const Reception& reception,
                        RxQueue* host) {
    n = std::min(n, kPacketBytes);
    if (n == 0) return;
    switch (packet[0]) {
        case 0x21:
            return RegisterWrite(packet, n, now);
        case 0x22:
            if (n == 5) return RegisterRead(packet, now, reception, host);
            return BatchWrite(packet, n);
        case 0x31:
            return TunerWrite(packet, n);
        case 0x32:
            return TunerRead(packet, n, host);
        case 0x12:
            if (n >= 2) return Query(packet[1], host);
            break;
        case 0x11:
            if (n >= 2) return Control(packet[1], now, host);
            break;
        default:
            break;
    }
    M4_LOG(2, kSource, "command 0x%02x (%zu bytes) not understood", packet[0], n);
}

void Firmware::RegisterWrite(const uint8_t* packet, size_t n, uint32_t now) {
    if (n < 5) {
        M4_LOG(2, kSource, "register write frame of %zu bytes not run", n);
        return;
    }
    uint16_t address = Word(packet + 1);
    size_t count = Word(packet + 3);
    if (5 + count > n) {
        M4_LOG(2, kSource, "register write announces %zu bytes, frame holds %zu: not run", count,
               n - 5);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        uint16_t at = static_cast<uint16_t>(address + i);
        if (baseband_->Decodes(at)) {
            baseband_->WriteRegister(at, packet[5 + i], now);
        } else {
            M4_LOG(3, kSource, "write to unmapped register 0x%04x", at);
        }
    }
}

void Firmware::RegisterRead(const uint8_t* packet, uint32_t now, const Reception& reception,
                            RxQueue* host) {
    uint16_t address = Word(packet + 1);
    size_t count = Word(packet + 3);
    if (count > kPacketBytes) {
        M4_LOG(2, kSource, "register read of %zu bytes answered with %zu", count, kPacketBytes);
        count = kPacketBytes;
    }
    uint8_t reply[kPacketBytes];
    for (size_t i = 0; i < count; ++i) {
        uint16_t at = static_cast<uint16_t>(address + i);
        reply[i] = baseband_->Decodes(at) ? baseband_->ReadRegister(at, now, reception) : 0xFF;
    }
    host->Push(reply, count);
}

void Firmware::BatchWrite(const uint8_t* packet, size_t n) {
    size_t length = n >= 2 ? packet[1] : 0;
    if (n < 2 || 2 + length > n) {
        M4_LOG(2, kSource, "batch write frame of %zu bytes not run", n);
        return;
    }
    Tuner* tuner = bus_->tuner();
    for (size_t i = 0; i + 1 < length && tuner != nullptr; i += 2) {
        bus_->Write(tuner->bus_address(), packet + 2 + i, 2);
    }
}

void Firmware::TunerWrite(const uint8_t* packet, size_t n) {
    size_t count = n >= 3 ? packet[2] : 0;
    if (n < 3 || 3 + count > n) {
        M4_LOG(2, kSource, "tuner write frame of %zu bytes not run", n);
        return;
    }
    Tuner* tuner = bus_->tuner();
    if (tuner == nullptr) return;
    uint8_t bytes[kPacketBytes];
    bytes[0] = packet[1];
    std::copy(packet + 3, packet + 3 + count, bytes + 1);
    bus_->Write(tuner->bus_address(), bytes, count + 1);
}

void Firmware::TunerRead(const uint8_t* packet, size_t n, RxQueue* host) {
    if (n < 3) {
        M4_LOG(2, kSource, "tuner read frame of %zu bytes not run", n);
        return;
    }
    size_t count = std::min<size_t>(packet[2], kPacketBytes);
    uint8_t reply[kPacketBytes];
    Tuner* tuner = bus_->tuner();
    uint8_t address = tuner != nullptr ? tuner->bus_address() : 0;
    bus_->Write(address, packet + 1, 1);
    bus_->Read(address, reply, count);
    host->Push(reply, count);
}

std::string Firmware::IdentificationText() const {
    std::string text = config_.firmware;
    if (faults_->firmware_control_byte) {
        size_t at = std::min(text.find('|'), text.size());
        text.insert(at, 1, '\x07');
    }
    if (text.size() > kMaxText) text.resize(kMaxText);
    return text;
}

void Firmware::Query(uint8_t what, RxQueue* host) {
    if (what == 0x11) {
        if (!config_.hardware_id || faults_->no_hardware_id) return;  // no answer at all
        uint8_t id = *config_.hardware_id;
        host->Push(&id, 1);
        return;
    }
    if (what == 0x10) {
        std::string text = IdentificationText();
        host->Push(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        return;
    }
    M4_LOG(2, kSource, "query 0x12 0x%02x not understood", what);
}

void Firmware::Control(uint8_t what, uint32_t now, RxQueue* host) {
    switch (what) {
        case 0x31:
            debug_enabled_ = true;
            Debug(host, "fw: debug text on");
            return;
        case 0x32:
            debug_enabled_ = false;
            return;
        case 0x21:
            stream_enabled_ = true;
            Debug(host, "fw: stream on");
            return;
        case 0x22:
            stream_enabled_ = false;
            Debug(host, "fw: stream off");
            return;
        case 0x42:
            l_band_input_ = false;
            Debug(host, "fw: band III input");
            return;
        case 0x43:
            l_band_input_ = true;
            Debug(host, "fw: L-band input");
            return;
        case 0x11:
            baseband_->Prepare(now);
            Debug(host, "fw: " + baseband_->Name() + " reset");
            return;
        default:
            M4_LOG(2, kSource, "control 0x11 0x%02x not understood", what);
    }
}

void Firmware::Debug(RxQueue* host, const std::string& text) const {
    if (!debug_enabled_ || host == nullptr) return;
    host->PushPacket(5, reinterpret_cast<const uint8_t*>(text.data()),
                     std::min<size_t>(text.size(), 3072));
}

}  // namespace rxsim
