// An ensemble as the FIC describes it (EN 300 401 clauses 6 and 8): sub-channels, services,
// their components, user applications and labels. The FIG writer builds FIGs from it and the
// FIC decoder builds it from FIBs.
#ifndef DAB_ENSEMBLE_H
#define DAB_ENSEMBLE_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dab/protection.h"

namespace koru::dab {

// A 16-byte label with its character set and the character flags that pick the short label.
struct Label {
    std::array<uint8_t, 16> bytes{};
    uint8_t charset = 0;
    uint16_t short_flags = 0;  // bit 15 = first character

    // EBU Latin label from UTF-8 text of at most 16 characters, padded with spaces; the short
    // label (at most 8 characters, taken in order from the label) defaults to the first 8
    // characters that are not spaces. nullopt when the text does not fit.
    static std::optional<Label> FromUtf8(std::string_view text, std::string_view short_text = {});

    // The label as UTF-8 without trailing spaces; the short label likewise.
    std::string Text() const;
    std::string ShortText() const;
    bool empty() const;

    bool operator==(const Label&) const = default;
};

struct UserApplication {
    uint16_t type = 0;  // 0x002 slideshow, 0x003 broadcast website, 0x004 TPEG, ...
    std::vector<uint8_t> data;

    bool operator==(const UserApplication&) const = default;
};

inline constexpr uint16_t kUserAppSlideshow = 0x002;
inline constexpr uint16_t kUserAppWebsite = 0x003;
inline constexpr uint16_t kUserAppTpeg = 0x004;

struct Subchannel {
    uint8_t id = 0;
    uint16_t start_cu = 0;
    Protection protection;

    bool operator==(const Subchannel&) const = default;
};

enum TransportMode : uint8_t {
    kStreamAudio = 0,
    kStreamData = 1,
    kPacketData = 3,
};

inline constexpr uint8_t kDsctyTdc = 5;
inline constexpr uint8_t kDsctyMpeg2Ts = 24;
inline constexpr uint8_t kDsctyMot = 60;

struct Component {
    uint8_t tmid = kStreamAudio;
    uint8_t type = 0;           // ASCTy (stream audio) or DSCTy
    uint8_t subchannel_id = 0;  // stream modes from FIG 0/2; packet mode from FIG 0/3
    uint16_t scid = 0;          // packet mode: service component identifier (12 bits)
    bool primary = true;
    bool ca = false;
    // Packet mode (FIG 0/3).
    uint16_t packet_address = 0;
    bool data_groups = true;
    // Component within its service (FIG 0/8, 0/13, 1/4); 0 for the primary one.
    uint8_t scids = 0;
    Label label;                             // FIG 1/4; empty when none
    std::vector<UserApplication> user_apps;  // FIG 0/13

    bool operator==(const Component&) const = default;
};

struct Service {
    uint32_t sid = 0;
    bool long_sid = false;  // 32-bit SId (P/D = 1, data services)
    Label label;
    std::vector<Component> components;  // the primary one first

    bool operator==(const Service&) const = default;
};

struct Ensemble {
    uint16_t eid = 0;
    Label label;
    std::vector<Subchannel> subchannels;
    std::vector<Service> services;

    const Service* FindService(uint32_t sid) const;
    const Subchannel* FindSubchannel(int id) const;
};

}  // namespace koru::dab

#endif
