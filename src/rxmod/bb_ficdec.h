// The FIC decoder: FIG types 0 and 1 of EN 300 401 into one ChannelInfo per frequency (the
// ensemble label, services with labels and user applications, components and sub-channels).
// The ChannelInfo layout is also the record of "channel.dat" (written field by field, see
// dmb_api.h).
#ifndef RXMOD_BB_FICDEC_H
#define RXMOD_BB_FICDEC_H

#include <cstddef>
#include <cstdint>

constexpr uint8_t kRecordInUse = 0x63;  // 'c'
constexpr int kMaxServices = 64;
constexpr int kMaxComponents = 64;
constexpr int kMaxSubChannels = 64;
constexpr int kMaxServiceComponents = 15;
constexpr int kLabelLength = 16;
constexpr uint16_t kUnknownUserApplication = 0xFFFF;
constexpr uint16_t kUnknownPacketAddress = 0xFFFF;
constexpr int kFibLength = 32;  // 30 data bytes and the CRC
constexpr int kFibDataLength = 30;

struct ServiceRecord {
    uint8_t in_use;  // kRecordInUse
    uint8_t pad1[3];
    uint32_t sid;                    // 16-bit SIds zero-extended
    uint16_t user_application_type;  // kUnknownUserApplication until announced
    uint8_t user_application_data[32];
    uint8_t component_count;
    uint8_t pad43;
    // Component references in FIG 0/2 order: 0 empty, else the component record's index + 1.
    uint32_t components[kMaxServiceComponents];
    uint8_t reserved104[4];
    char label[kLabelLength + 1];
    uint8_t reserved125[19];
};

struct ComponentRecord {
    uint8_t in_use;
    uint8_t tmid;
    uint8_t type;  // ASCTy or DSCTy
    uint8_t subchid;
    uint8_t reserved4[2];
    uint16_t scid;  // packet mode only
    uint8_t ps;
    uint8_t ca;
    uint8_t caorg_flag;
    uint8_t dg;
    uint16_t packet_address;  // kUnknownPacketAddress until FIG 0/3
    uint16_t caorg;
};

struct SubChannelRecord {
    uint8_t in_use;
    uint8_t subchid;
    uint16_t start_address;    // capacity units
    uint8_t form;              // 0 short, 1 long
    uint8_t table_index;       // short form
    uint8_t table_switch;      // short form
    uint8_t option;            // long form
    uint8_t protection_level;  // long form
    uint8_t reserved9;
    uint16_t size;               // long form, capacity units
    uint8_t decoder_channel;     // set by a baseband that configures this sub-channel
    uint8_t next_configuration;  // set once a FIG 0/1 with C/N = 1 described it
};

struct ChannelInfo {
    double frequency;  // MHz
    uint8_t reserved8[4];
    char ensemble_label[kLabelLength + 1];
    uint8_t reserved29[15];
    ServiceRecord services[kMaxServices];
    ComponentRecord components[kMaxComponents];
    SubChannelRecord subchannels[kMaxSubChannels];  // indexed by SubChId
    uint8_t reserved11180[4];
};

static_assert(sizeof(ServiceRecord) == 144);
static_assert(offsetof(ServiceRecord, sid) == 4);
static_assert(offsetof(ServiceRecord, user_application_type) == 8);
static_assert(offsetof(ServiceRecord, component_count) == 42);
static_assert(offsetof(ServiceRecord, components) == 44);
static_assert(offsetof(ServiceRecord, label) == 108);
static_assert(sizeof(ComponentRecord) == 16);
static_assert(offsetof(ComponentRecord, scid) == 6);
static_assert(offsetof(ComponentRecord, packet_address) == 12);
static_assert(sizeof(SubChannelRecord) == 14);
static_assert(offsetof(SubChannelRecord, size) == 10);
static_assert(offsetof(ChannelInfo, ensemble_label) == 12);
static_assert(offsetof(ChannelInfo, services) == 44);
static_assert(offsetof(ChannelInfo, components) == 9260);
static_assert(offsetof(ChannelInfo, subchannels) == 10284);
static_assert(sizeof(ChannelInfo) == 11184);

// The component a service reference leads to, or null for an empty or out-of-range reference.
ComponentRecord* ResolveComponent(ChannelInfo& info, uint32_t reference);
const ComponentRecord* ResolveComponent(const ChannelInfo& info, uint32_t reference);
// A reference to component record index.
inline uint32_t ComponentReference(int index) {
    return static_cast<uint32_t>(index) + 1;
}
// The service's first component when that reference leads to an in-use record, else null.
const ComponentRecord* FirstComponent(const ChannelInfo& info, const ServiceRecord& service);

// Zeroes info, stores the frequency and marks user applications and packet addresses unknown.
void FIC_Reset(ChannelInfo& info, double frequency_mhz);
// Decodes whole FIBs (length a multiple of 32): 0, or the last non-zero FIG result.
int FIC_Decode(ChannelInfo& info, const uint8_t* fic, int length);
// 0 when info holds everything a service list needs, else -1.
int FIC_Complete(const ChannelInfo& info);

// The module-wide working ChannelInfo (the one being decoded or the one a service was opened
// from).
ChannelInfo& BB_WorkingChannelInfo();

#endif
