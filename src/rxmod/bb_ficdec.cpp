// FIC decoder: FIG 0/1, 0/2, 0/3, 0/13 and FIG 1/0, 1/1, 1/4, 1/5 (EN 300 401 clauses 6 and 8).
// The FIGs are read by the parsers of src/dab, which check every read against the end of its
// FIG and never reach past the FIB; this module keeps the ChannelInfo records and the results.
#include "rxmod/bb_ficdec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "dab/fig.h"
#include "m4systems/log.h"
#include "rxmod/bb_err.h"

namespace {

namespace dab = koru::dab;

constexpr const char* kSource = "bb_ficdec";

// FIG results besides 0 and the BB_ERR_* codes.
constexpr int kFigIgnored = 1;   // an extension this decoder does not use
constexpr int kFigCorrupt = -3;  // a FIG type not decoded, or bytes that do not add up

ChannelInfo g_working;

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
        if (component.in_use == kRecordInUse && component.tmid == dab::kPacketData &&
            component.scid == scid) {
            return &component;
        }
    }
    return nullptr;
}

void CopyLabel(char* to, const dab::Label& label) {
    std::memcpy(to, label.bytes.data(), kLabelLength);
    to[kLabelLength] = '\0';
}

// FIG 0/1, sub-channel organisation: entries until the field ends or one starts with 0xFF.
int DecodeSubChannels(ChannelInfo& info, std::span<const uint8_t> field, bool next_configuration) {
    dab::BitReader reader(field);
    while (reader.bytes_left() > 0 && reader.Rest().front() != 0xFF) {
        const std::optional<dab::Subchannel> entry = dab::ReadFig0_1Entry(reader);
        if (!entry) return kFigCorrupt;
        const dab::Protection& protection = entry->protection;
        SubChannelRecord& sub = info.subchannels[entry->id];
        sub.in_use = kRecordInUse;
        sub.subchid = entry->id;
        sub.start_address = entry->start_cu;
        sub.form = protection.short_form ? 0 : 1;
        sub.table_switch = protection.short_form ? protection.table_switch : 0;
        sub.table_index = protection.short_form ? protection.table_index : 0;
        sub.option = protection.short_form ? 0 : static_cast<uint8_t>(protection.option);
        sub.protection_level =
            protection.short_form ? 0 : static_cast<uint8_t>(protection.level - 1);
        sub.size = protection.short_form ? 0 : protection.size_cu;
        if (next_configuration) sub.next_configuration = 1;
    }
    return 0;
}

// FIG 0/2, basic service and service component definition.
int DecodeServices(ChannelInfo& info, const dab::Fig0& fig) {
    const std::optional<std::vector<dab::Service>> services = dab::ParseFig0_2(fig.field, fig.pd);
    if (!services) return kFigCorrupt;
    for (const dab::Service& announced : *services) {
        M4_LOG(3, kSource, "SID = 0x%08X", announced.sid);
        ServiceRecord* service = FindOrCreateService(info, announced.sid);
        if (service == nullptr) return BB_ERR_TABLE_FULL;
        service->component_count = static_cast<uint8_t>(announced.components.size());
        for (size_t k = 0; k < announced.components.size(); ++k) {
            const dab::Component& from = announced.components[k];
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
            component->tmid = from.tmid;
            if (from.tmid == dab::kPacketData) {
                component->scid = from.scid;
            } else {
                component->type = from.type;
                component->subchid = from.subchannel_id;
            }
            component->ps = from.primary ? 1 : 0;
            component->ca = from.ca ? 1 : 0;
        }
    }
    return 0;
}

// FIG 0/3, service components in packet mode.
int DecodePacketComponents(ChannelInfo& info, std::span<const uint8_t> field) {
    const std::optional<std::vector<dab::PacketComponent>> entries = dab::ParseFig0_3(field);
    if (!entries) return kFigCorrupt;
    for (const dab::PacketComponent& entry : *entries) {
        ComponentRecord* component = FindPacketComponent(info, entry.scid);
        if (component == nullptr) {
            M4_LOG(2, kSource, "Service Component is not found.");
            return kFigIgnored;
        }
        component->caorg_flag = entry.ca_org ? 1 : 0;
        component->dg = entry.data_groups ? 0 : 1;
        component->type = entry.dscty;
        component->subchid = entry.subchannel_id;
        component->packet_address = entry.packet_address;
        if (entry.ca_org) component->caorg = *entry.ca_org;
    }
    return 0;
}

// FIG 0/13, user application information; unknown services are skipped, not created.
int DecodeUserApplications(ChannelInfo& info, const dab::Fig0& fig) {
    const std::optional<std::vector<dab::ComponentApplications>> entries =
        dab::ParseFig0_13(fig.field, fig.pd);
    if (!entries) return kFigCorrupt;
    for (const dab::ComponentApplications& entry : *entries) {
        ServiceRecord* service = FindService(info, entry.sid);
        if (service == nullptr) continue;
        for (const dab::UserApplication& application : entry.apps) {  // the last one stays
            service->user_application_type = application.type;
            std::memset(service->user_application_data, 0, sizeof service->user_application_data);
            std::copy(application.data.begin(), application.data.end(),
                      service->user_application_data);  // at most 31 bytes
        }
    }
    return 0;
}

// FIG type 0: the first data byte carries C/N, OE, P/D and the extension.
int DecodeFig0(ChannelInfo& info, std::span<const uint8_t> data) {
    const std::optional<dab::Fig0> fig = dab::ParseFig0(data);
    if (!fig) return kFigCorrupt;
    switch (fig->extension) {
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
            return DecodeSubChannels(info, fig->field, fig->cn);
        case 2:
            return DecodeServices(info, *fig);
        case 3:
            return DecodePacketComponents(info, fig->field);
        case 13:
            return DecodeUserApplications(info, *fig);
        default:
            return kFigIgnored;
    }
}

// FIG type 1: labels of 16 bytes taken as they are.
int DecodeFig1(ChannelInfo& info, std::span<const uint8_t> data) {
    const std::optional<dab::Fig1> fig = dab::ParseFig1(data);
    if (!fig) return kFigCorrupt;
    if (fig->extension != 0 && fig->extension != 1 && fig->extension != 4 && fig->extension != 5) {
        return kFigIgnored;
    }
    const std::optional<dab::FigLabel> label = dab::ParseFig1Label(*fig);
    if (!label) return kFigCorrupt;
    if (label->extension == 0) {  // ensemble label
        CopyLabel(info.ensemble_label, label->label);
        return 0;
    }
    // 1/1 programme and 1/5 data service labels create their service; a 1/4 component label
    // stands in for the label of a service already known.
    ServiceRecord* service =
        label->extension == 4 ? FindService(info, label->id) : FindOrCreateService(info, label->id);
    if (service == nullptr) return label->extension == 4 ? 0 : BB_ERR_TABLE_FULL;
    CopyLabel(service->label, label->label);
    return 0;
}

// One FIB: FIGs one after the other until the end marker, a zero length or the 30 bytes end.
int DecodeFib(ChannelInfo& info, const uint8_t* fib) {
    int result = 0;
    dab::FibEnd end = dab::FibEnd::kEndOfData;
    dab::ForEachFig(
        std::span(fib, kFibDataLength),
        [&](const dab::Fig& fig) {
            int fig_result = kFigCorrupt;
            if (fig.type == 0) {
                fig_result = DecodeFig0(info, fig.data);
            } else if (fig.type == 1) {
                fig_result = DecodeFig1(info, fig.data);
                if (fig_result != 0) M4_LOG(2, kSource, "SI Error [%x]", fig_result);
            }
            if (fig_result != 0) result = fig_result;
        },
        &end);
    if (end == dab::FibEnd::kOverrun) {
        M4_LOG(2, kSource, "a FIG overruns its FIB");
        return kFigCorrupt;
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
        if (first->tmid == dab::kPacketData && first->packet_address == kUnknownPacketAddress)
            return -1;
        if (first->tmid == dab::kStreamData && first->type != dab::kDsctyMpeg2Ts &&
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
