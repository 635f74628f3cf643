// Fast Information Groups (EN 300 401 clauses 5.2 and 6 to 8): finding the FIGs of a FIB,
// parsing the FIG 0 and FIG 1 extensions a receiver needs to list and open services, and
// building those FIGs (each at most 30 bytes, so that it fits one FIB).
//
// Parsers take the FIG data field after the type 0 / type 1 header byte and return nullopt
// when an entry is cut short; nothing is read outside the field.
#ifndef DAB_FIG_H
#define DAB_FIG_H

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "dab/bits.h"
#include "dab/ensemble.h"
#include "dab/fib.h"

namespace koru::dab {

inline constexpr size_t kMaxFigSize = kFibDataSize;  // header byte included

// One FIG: its type (0 to 7) and data field (after the header byte, `length` bytes).
struct Fig {
    uint8_t type = 0;
    std::span<const uint8_t> data;
};

// Why a walk over the FIGs of a FIB ended.
enum class FibEnd {
    kEndMarker,   // the end marker 0xFF
    kEndOfData,   // the FIGs filled the 30 bytes
    kZeroLength,  // a FIG header with length 0
    kOverrun,     // a FIG announcing more bytes than the FIB has left
};

// Calls `visit` for every FIG in the 30 data bytes of a FIB, in order, until the end marker
// 0xFF or the end of the data. Returns false when a FIG announces more bytes than the FIB has
// left (that FIG and the rest are not visited) or has length 0; `end`, when given, tells which.
bool ForEachFig(std::span<const uint8_t> fib_data, const std::function<void(const Fig&)>& visit,
                FibEnd* end = nullptr);

// The first byte of a type 0 data field and the field after it.
struct Fig0 {
    bool cn = false;  // next configuration
    bool oe = false;  // other ensemble
    bool pd = false;  // 32-bit SIds
    uint8_t extension = 0;
    std::span<const uint8_t> field;
};
std::optional<Fig0> ParseFig0(std::span<const uint8_t> data);

// The first byte of a type 1 data field and the field after it.
struct Fig1 {
    uint8_t charset = 0;
    bool oe = false;
    uint8_t extension = 0;
    std::span<const uint8_t> field;
};
std::optional<Fig1> ParseFig1(std::span<const uint8_t> data);

// FIG 0/0 ensemble information.
struct EnsembleInformation {
    uint16_t eid = 0;
    uint8_t change_flags = 0;
    bool alarm = false;
    uint16_t cif_count = 0;  // 0 to 4999
};
std::optional<EnsembleInformation> ParseFig0_0(std::span<const uint8_t> field);

// FIG 0/1 sub-channel organisation (short and long form entries).
std::optional<std::vector<Subchannel>> ParseFig0_1(std::span<const uint8_t> field);
// One FIG 0/1 entry at the reader's position (3 bytes short form, 4 long form); nullopt when
// it is cut short.
std::optional<Subchannel> ReadFig0_1Entry(BitReader& reader);

// FIG 0/2 basic service and service component definition; each service's components carry
// TMId, type, SubChId or SCId, P/S and CA.
std::optional<std::vector<Service>> ParseFig0_2(std::span<const uint8_t> field, bool pd);

// FIG 0/3 service component in packet mode.
struct PacketComponent {
    uint16_t scid = 0;
    bool data_groups = true;  // the DG flag is 0 when data groups are used
    uint8_t dscty = 0;
    uint8_t subchannel_id = 0;
    uint16_t packet_address = 0;
    std::optional<uint16_t> ca_org;
};
std::optional<std::vector<PacketComponent>> ParseFig0_3(std::span<const uint8_t> field);

// FIG 0/8 service component global definition (SId, SCIdS and SubChId or SCId).
struct GlobalComponent {
    uint32_t sid = 0;
    uint8_t scids = 0;
    bool long_form = false;  // SCId given, else SubChId
    uint16_t id = 0;         // SubChId or SCId
};
std::optional<std::vector<GlobalComponent>> ParseFig0_8(std::span<const uint8_t> field, bool pd);

// FIG 0/13 user application information.
struct ComponentApplications {
    uint32_t sid = 0;
    uint8_t scids = 0;
    std::vector<UserApplication> apps;
};
std::optional<std::vector<ComponentApplications>> ParseFig0_13(std::span<const uint8_t> field,
                                                               bool pd);

// FIG 1/0, 1/1, 1/4 and 1/5 labels: the identifier (EId or SId), the SCIdS for 1/4.
struct FigLabel {
    uint8_t extension = 0;
    uint32_t id = 0;
    bool pd = false;  // 1/4: 32-bit SId; 1/5 always
    uint8_t scids = 0;
    Label label;
};
std::optional<FigLabel> ParseFig1Label(const Fig1& fig);

// Builders. Each result is one whole FIG (header byte included) of at most 30 bytes; lists
// are split over as many FIGs as needed.
std::vector<uint8_t> BuildFig0_0(uint16_t eid, uint16_t cif_count);
std::vector<std::vector<uint8_t>> BuildFig0_1(const std::vector<Subchannel>& subchannels);
std::vector<std::vector<uint8_t>> BuildFig0_2(const std::vector<Service>& services);
std::vector<std::vector<uint8_t>> BuildFig0_3(const std::vector<Service>& services);
std::vector<std::vector<uint8_t>> BuildFig0_8(const std::vector<Service>& services);
std::vector<std::vector<uint8_t>> BuildFig0_13(const std::vector<Service>& services);
std::vector<uint8_t> BuildFig1_0(uint16_t eid, const Label& label);
// FIG 1/1 (16-bit SIds), 1/5 (32-bit SIds) and 1/4 (labelled secondary components).
std::vector<std::vector<uint8_t>> BuildServiceLabels(const std::vector<Service>& services);

// A FIB of the given FIGs (their total at most 30 bytes), end marker, padding and CRC.
Fib BuildFib(const std::vector<std::span<const uint8_t>>& figs);

}  // namespace koru::dab

#endif
