// FIC decoder: FIG 0/1, 0/2, 0/3, 0/13 and FIG 1/0, 1/1, 1/4, 1/5 (EN 300 401 clauses 6 and 8).
// Every read is checked against the end of its FIG, and a FIG never reaches past its FIB.
#include "rxmod/bb_ficdec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "m4systems/log.h"
#include "rxmod/bb_err.h"

namespace {

constexpr const char* kSource = "bb_ficdec";

// FIG results besides 0 and the BB_ERR_* codes.
constexpr int kFigIgnored = 1;   // an extension this decoder does not use
constexpr int kFigCorrupt = -3;  // a FIG type not decoded, or bytes that do not add up
constexpr uint8_t kFibEndMarker = 0xFF;
constexpr uint8_t kPacketMode = 3;             // TMId of packet-mode data
constexpr uint8_t kStreamData = 1;             // TMId of stream-mode data
constexpr uint8_t kMpeg2TransportStream = 24;  // DSCTy

ChannelInfo g_working;

// Reads the bytes of one FIG field; every read first checks that the bytes are there.
class FieldReader {
  public:
    FieldReader(const uint8_t* data, int size) : data_(data), size_(size) {}
    bool Has(int n) const { return n >= 0 && pos_ + n <= size_; }
    bool AtEnd() const { return pos_ >= size_; }
    uint8_t Peek() const { return data_[pos_]; }
    uint8_t U8() { return data_[pos_++]; }
    uint16_t U16() {
        uint16_t value = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return value;
    }
    uint32_t U32() {
        uint32_t value = (static_cast<uint32_t>(U16()) << 16);
        return value | U16();
    }
    const uint8_t* Take(int n) {
        const uint8_t* at = data_ + pos_;
        pos_ += n;
        return at;
    }

  private:
    const uint8_t* data_;
    int size_;
    int pos_ = 0;
};

ServiceRecord* FindService(ChannelInfo& info, uint32_t sid) {
    for (ServiceRecord& service : info.services) {
        if (service.in_use == kRecordInUse && service.sid == sid) return &service;
    }
    return nullptr;
}

ServiceRecord* FindOrCreateService(ChannelInfo& info, uint32_t sid) {
    if (ServiceRecord* found = FindService(info, sid)) return found;
    for (ServiceRecord& service : info.services) {
        if (service.in_use != kRecordInUse) {
            service = ServiceRecord{};
            service.in_use = kRecordInUse;
            service.sid = sid;
            service.user_application_type = kUnknownUserApplication;
            return &service;
        }
    }
    return nullptr;
}

int FreeComponentIndex(const ChannelInfo& info) {
    for (int i = 0; i < kMaxComponents; ++i) {
        if (info.components[i].in_use != kRecordInUse) return i;
    }
    return -1;
}

// A packet-mode component by its SCId (stream components carry no SCId).
ComponentRecord* FindPacketComponent(ChannelInfo& info, uint16_t scid) {
    for (ComponentRecord& component : info.components) {
        if (component.in_use == kRecordInUse && component.tmid == kPacketMode &&
            component.scid == scid) {
            return &component;
        }
    }
    return nullptr;
}

void CopyLabel(char* to, const uint8_t* from) {
    std::memcpy(to, from, kLabelLength);
    to[kLabelLength] = '\0';
}

// FIG 0/1, sub-channel organisation: short (3 bytes) or long (4 bytes) entries.
int DecodeSubChannels(ChannelInfo& info, FieldReader field, bool next_configuration) {
    while (!field.AtEnd() && field.Peek() != 0xFF) {
        if (!field.Has(3)) return kFigCorrupt;
        const uint8_t b0 = field.U8();
        const uint8_t b1 = field.U8();
        const uint8_t b2 = field.U8();
        const bool long_form = (b2 & 0x80) != 0;
        if (long_form && !field.Has(1)) return kFigCorrupt;
        SubChannelRecord& sub = info.subchannels[b0 >> 2];
        sub.in_use = kRecordInUse;
        sub.subchid = b0 >> 2;
        sub.start_address = static_cast<uint16_t>((b0 & 3) * 256 + b1);
        sub.form = long_form ? 1 : 0;
        if (long_form) {
            const uint8_t b3 = field.U8();
            sub.table_switch = 0;
            sub.table_index = 0;
            sub.option = (b2 >> 4) & 7;
            sub.protection_level = (b2 >> 2) & 3;
            sub.size = static_cast<uint16_t>((b2 & 3) * 256 + b3);
        } else {
            sub.table_switch = (b2 >> 6) & 1;
            sub.table_index = b2 & 0x3F;
            sub.option = 0;
            sub.protection_level = 0;
            sub.size = 0;
        }
        if (next_configuration) sub.next_configuration = 1;
    }
    return 0;
}

// FIG 0/2, basic service and service component definition.
int DecodeServices(ChannelInfo& info, FieldReader field, bool long_sid) {
    const int sid_bytes = long_sid ? 4 : 2;
    while (!field.AtEnd()) {
        if (!field.Has(sid_bytes + 1)) return kFigCorrupt;
        const uint32_t sid = long_sid ? field.U32() : field.U16();
        const int count = field.U8() & 0x0F;
        if (!field.Has(2 * count)) return kFigCorrupt;
        M4_LOG(3, kSource, "SID = 0x%08X", sid);
        ServiceRecord* service = FindOrCreateService(info, sid);
        if (service == nullptr) return BB_ERR_TABLE_FULL;
        service->component_count = static_cast<uint8_t>(count);
        for (int k = 0; k < count; ++k) {
            const uint8_t a = field.U8();
            const uint8_t b = field.U8();
            ComponentRecord* component = ResolveComponent(info, service->components[k]);
            if (component == nullptr) {
                const int index = FreeComponentIndex(info);
                if (index < 0) return BB_ERR_TABLE_FULL;
                component = &info.components[index];
                *component = ComponentRecord{};
                component->packet_address = kUnknownPacketAddress;
                service->components[k] = ComponentReference(index);
            }
            component->in_use = kRecordInUse;
            component->tmid = a >> 6;
            if (component->tmid == kPacketMode) {
                component->scid = static_cast<uint16_t>((a & 0x3F) * 64 + (b >> 2));
            } else {
                component->type = a & 0x3F;
                component->subchid = b >> 2;
            }
            component->ps = (b >> 1) & 1;
            component->ca = b & 1;
        }
    }
    return 0;
}

// FIG 0/3, service components in packet mode.
int DecodePacketComponents(ChannelInfo& info, FieldReader field) {
    while (!field.AtEnd()) {
        if (!field.Has(5)) return kFigCorrupt;
        const uint8_t b0 = field.U8();
        const uint8_t b1 = field.U8();
        const uint8_t b2 = field.U8();
        const uint8_t b3 = field.U8();
        const uint8_t b4 = field.U8();
        const bool has_caorg = (b1 & 1) != 0;
        if (has_caorg && !field.Has(2)) return kFigCorrupt;
        const uint16_t caorg = has_caorg ? field.U16() : 0;
        const uint16_t scid = static_cast<uint16_t>(b0 * 16 + (b1 >> 4));
        ComponentRecord* component = FindPacketComponent(info, scid);
        if (component == nullptr) {
            M4_LOG(2, kSource, "Service Component is not found.");
            return kFigIgnored;
        }
        component->caorg_flag = has_caorg ? 1 : 0;
        component->dg = (b2 >> 7) & 1;
        component->type = b2 & 0x3F;
        component->subchid = b3 >> 2;
        component->packet_address = static_cast<uint16_t>((b3 & 3) * 256 + b4);
        if (has_caorg) component->caorg = caorg;
    }
    return 0;
}

// FIG 0/13, user application information; unknown services are skipped, not created.
int DecodeUserApplications(ChannelInfo& info, FieldReader field, bool long_sid) {
    const int sid_bytes = long_sid ? 4 : 2;
    while (!field.AtEnd()) {
        if (!field.Has(sid_bytes + 1)) return kFigCorrupt;
        const uint32_t sid = long_sid ? field.U32() : field.U16();
        const int count = field.U8() & 0x0F;
        ServiceRecord* service = FindService(info, sid);
        for (int i = 0; i < count; ++i) {
            if (!field.Has(2)) return kFigCorrupt;
            const uint8_t b0 = field.U8();
            const uint8_t b1 = field.U8();
            const int length = b1 & 0x1F;
            if (!field.Has(length)) return kFigCorrupt;
            const uint8_t* data = field.Take(length);
            if (service == nullptr) continue;
            service->user_application_type = static_cast<uint16_t>(b0 * 8 + (b1 >> 5));
            std::memset(service->user_application_data, 0, sizeof service->user_application_data);
            std::memcpy(service->user_application_data, data, static_cast<size_t>(length));
        }
    }
    return 0;
}

// FIG type 0: the header byte carries C/N, OE, P/D and the extension.
int DecodeFig0(ChannelInfo& info, const uint8_t* data, int length) {
    const uint8_t header = data[0];
    const bool next_configuration = (header & 0x80) != 0;
    const bool long_sid = (header & 0x20) != 0;
    const FieldReader field(data + 1, length - 1);
    switch (header & 0x1F) {
        case 0:
        case 5:
        case 8:
        case 9:
        case 10:
        case 17:
        case 18:
        case 19:
            return 0;
        case 1:
            return DecodeSubChannels(info, field, next_configuration);
        case 2:
            return DecodeServices(info, field, long_sid);
        case 3:
            return DecodePacketComponents(info, field);
        case 13:
            return DecodeUserApplications(info, field, long_sid);
        default:
            return kFigIgnored;
    }
}

// FIG type 1: labels of 16 bytes taken as they are.
int DecodeFig1(ChannelInfo& info, const uint8_t* data, int length) {
    const int extension = data[0] & 0x07;
    FieldReader field(data + 1, length - 1);
    switch (extension) {
        case 0: {  // ensemble label
            if (!field.Has(2 + kLabelLength)) return kFigCorrupt;
            field.U16();
            CopyLabel(info.ensemble_label, field.Take(kLabelLength));
            return 0;
        }
        case 1:    // programme service label
        case 5: {  // data service label
            const int sid_bytes = extension == 1 ? 2 : 4;
            if (!field.Has(sid_bytes + kLabelLength)) return kFigCorrupt;
            const uint32_t sid = sid_bytes == 2 ? field.U16() : field.U32();
            ServiceRecord* service = FindOrCreateService(info, sid);
            if (service == nullptr) return BB_ERR_TABLE_FULL;
            CopyLabel(service->label, field.Take(kLabelLength));
            return 0;
        }
        case 4: {  // service component label: stands in for the service label
            if (!field.Has(1)) return kFigCorrupt;
            const bool long_sid = (field.U8() & 0x80) != 0;
            const int sid_bytes = long_sid ? 4 : 2;
            if (!field.Has(sid_bytes + kLabelLength)) return kFigCorrupt;
            const uint32_t sid = long_sid ? field.U32() : field.U16();
            ServiceRecord* service = FindService(info, sid);
            if (service != nullptr) CopyLabel(service->label, field.Take(kLabelLength));
            return 0;
        }
        default:
            return kFigIgnored;
    }
}

// One FIB: FIGs one after the other until the end marker, a zero length or the 30 bytes end.
int DecodeFib(ChannelInfo& info, const uint8_t* fib) {
    int result = 0;
    int pos = 0;
    while (pos < kFibDataLength) {
        const uint8_t header = fib[pos];
        const int length = header & 0x1F;
        if (header == kFibEndMarker || length == 0) break;
        if (pos + 1 + length > kFibDataLength) {
            M4_LOG(2, kSource, "FIG of %d bytes overruns its FIB at %d", length, pos);
            return kFigCorrupt;
        }
        const uint8_t* data = fib + pos + 1;
        int fig_result;
        switch (header >> 5) {
            case 0:
                fig_result = DecodeFig0(info, data, length);
                break;
            case 1:
                fig_result = DecodeFig1(info, data, length);
                if (fig_result != 0) M4_LOG(2, kSource, "SI Error [%x]", fig_result);
                break;
            default:
                fig_result = kFigCorrupt;
                break;
        }
        if (fig_result != 0) result = fig_result;
        pos += length + 1;
    }
    return result;
}

}  // namespace

ComponentRecord* ResolveComponent(ChannelInfo& info, uint32_t reference) {
    if (reference == 0 || reference > static_cast<uint32_t>(kMaxComponents)) return nullptr;
    return &info.components[reference - 1];
}

const ComponentRecord* ResolveComponent(const ChannelInfo& info, uint32_t reference) {
    if (reference == 0 || reference > static_cast<uint32_t>(kMaxComponents)) return nullptr;
    return &info.components[reference - 1];
}

const ComponentRecord* FirstComponent(const ChannelInfo& info, const ServiceRecord& service) {
    const ComponentRecord* component = ResolveComponent(info, service.components[0]);
    return component != nullptr && component->in_use == kRecordInUse ? component : nullptr;
}

void FIC_Reset(ChannelInfo& info, double frequency_mhz) {
    std::memset(&info, 0, sizeof info);
    info.frequency = frequency_mhz;
    M4_LOG(3, kSource, "ChannelInfo structure size = %d", static_cast<int>(sizeof info));
    for (ServiceRecord& service : info.services) {
        service.user_application_type = kUnknownUserApplication;
    }
    for (ComponentRecord& component : info.components) {
        component.packet_address = kUnknownPacketAddress;
    }
}

int FIC_Decode(ChannelInfo& info, const uint8_t* fic, int length) {
    if (length < 0 || length % kFibLength != 0 || (fic == nullptr && length > 0)) {
        std::printf("FIC BUFFER LENGTH ERROR %d\n", length);
        std::fflush(stdout);
        return BB_ERR_INVALID_PARAM;
    }
    int result = 0;
    for (int at = 0; at < length; at += kFibLength) {
        int fib_result = DecodeFib(info, fic + at);
        if (fib_result != 0) result = fib_result;
    }
    return result;
}

int FIC_Complete(const ChannelInfo& info) {
    if (info.ensemble_label[0] == '\0') return -1;
    bool any_service = false;
    for (const ServiceRecord& service : info.services) {
        if (service.in_use != kRecordInUse) continue;
        any_service = true;
        if (service.label[0] == '\0') return -1;
        const ComponentRecord* first = FirstComponent(info, service);
        if (first == nullptr) return -1;
        if (first->tmid == kPacketMode && first->packet_address == kUnknownPacketAddress) return -1;
        if (first->tmid == kStreamData && first->type != kMpeg2TransportStream &&
            service.user_application_type == kUnknownUserApplication) {
            return -1;
        }
    }
    // An ensemble label alone is no service list: the FIG 0/2 may not have come yet.
    return any_service ? 0 : -1;
}

ChannelInfo& BB_WorkingChannelInfo() {
    return g_working;
}
