#include "dab/fic.h"

#include "dab/crc.h"

namespace koru::dab {
namespace {

Service* FindOrAdd(std::vector<Service>& services, uint32_t sid, bool long_sid) {
    for (Service& service : services) {
        if (service.sid == sid) return &service;
    }
    Service service;
    service.sid = sid;
    service.long_sid = long_sid;
    services.push_back(std::move(service));
    return &services.back();
}

}  // namespace

bool FicDecoder::Feed(std::span<const uint8_t> fib) {
    ++fibs_;
    if (fib.size() != kFibSize || !Crc16Matches(fib)) {
        ++crc_errors_;
        return false;
    }
    bool good = true;
    const bool whole = ForEachFig(fib.first(kFibDataSize), [&](const Fig& fig) {
        bool ok = true;
        if (fig.type == 0) {
            const std::optional<dab::Fig0> fig0 = ParseFig0(fig.data);
            ok = fig0 && Fig0(*fig0);
        } else if (fig.type == 1) {
            const std::optional<dab::Fig1> fig1 = ParseFig1(fig.data);
            ok = fig1 && Fig1(*fig1);
        }
        if (!ok) {
            ++malformed_figs_;
            good = false;
        }
    });
    if (!whole) {
        ++malformed_figs_;
        good = false;
    }
    return good;
}

// One handler per extension; next-configuration and other-ensemble FIGs are left alone.
bool FicDecoder::Fig0(const dab::Fig0& fig) {
    if (fig.cn || fig.oe) return true;
    switch (fig.extension) {
        case 0: {  // ensemble information
            const auto info = ParseFig0_0(fig.field);
            if (!info) return false;
            eid_ = info->eid;
            cif_count_ = info->cif_count;
            return true;
        }
        case 1: {  // sub-channel organisation
            const auto subs = ParseFig0_1(fig.field);
            if (!subs) return false;
            for (const Subchannel& sub : *subs)
                subchannels_[sub.id] = sub;
            return true;
        }
        case 2: {  // basic service and service component definition
            const auto services = ParseFig0_2(fig.field, fig.pd);
            if (!services) return false;
            for (const Service& in : *services) {
                FindOrAdd(services_, in.sid, in.long_sid)->components = in.components;
            }
            return true;
        }
        case 3: {  // service component in packet mode
            const auto comps = ParseFig0_3(fig.field);
            if (!comps) return false;
            for (const PacketComponent& c : *comps)
                packet_[c.scid] = c;
            return true;
        }
        case 8: {  // service component global definition
            const auto comps = ParseFig0_8(fig.field, fig.pd);
            if (!comps) return false;
            for (const GlobalComponent& c : *comps)
                global_[{c.sid, c.scids}] = c;
            return true;
        }
        case 13: {  // user application information
            const auto entries = ParseFig0_13(fig.field, fig.pd);
            if (!entries) return false;
            for (const ComponentApplications& e : *entries)
                apps_[{e.sid, e.scids}] = e.apps;
            return true;
        }
        default:
            return true;
    }
}

// Labels: 1/0 ensemble, 1/1 and 1/5 services, 1/4 service components.
bool FicDecoder::Fig1(const dab::Fig1& fig) {
    if (fig.oe) return true;
    if (fig.extension != 0 && fig.extension != 1 && fig.extension != 4 && fig.extension != 5) {
        return true;
    }
    const std::optional<FigLabel> label = ParseFig1Label(fig);
    if (!label) return false;
    switch (label->extension) {
        case 0:
            eid_ = static_cast<uint16_t>(label->id);
            ensemble_label_ = label->label;
            break;
        case 4:
            component_labels_[{label->id, label->scids}] = label->label;
            break;
        default:
            labels_[label->id] = label->label;
            FindOrAdd(services_, label->id, label->extension == 5);
            break;
    }
    return true;
}

Ensemble FicDecoder::ensemble() const {
    Ensemble out;
    out.eid = eid_.value_or(0);
    out.label = ensemble_label_;
    for (const auto& [id, sub] : subchannels_)
        out.subchannels.push_back(sub);
    for (Service service : services_) {
        if (auto it = labels_.find(service.sid); it != labels_.end()) service.label = it->second;
        for (size_t i = 0; i < service.components.size(); ++i) {
            Component& c = service.components[i];
            if (c.tmid == kPacketData) {
                if (auto it = packet_.find(c.scid); it != packet_.end()) {
                    c.type = it->second.dscty;
                    c.subchannel_id = it->second.subchannel_id;
                    c.packet_address = it->second.packet_address;
                    c.data_groups = it->second.data_groups;
                }
            }
            // SCIdS from FIG 0/8 when sent; otherwise 0 for the primary component.
            c.scids = c.primary ? 0 : static_cast<uint8_t>(i);
            for (const auto& [key, global] : global_) {
                const uint16_t id = c.tmid == kPacketData ? c.scid : c.subchannel_id;
                if (key.first == service.sid && global.long_form == (c.tmid == kPacketData) &&
                    global.id == id) {
                    c.scids = global.scids;
                }
            }
            const std::pair<uint32_t, int> key{service.sid, c.scids};
            if (auto it = apps_.find(key); it != apps_.end()) c.user_apps = it->second;
            if (auto it = component_labels_.find(key); it != component_labels_.end()) {
                c.label = it->second;
            }
        }
        out.services.push_back(std::move(service));
    }
    return out;
}

bool FicDecoder::complete() const {
    if (ensemble_label_.empty() || services_.empty()) return false;
    for (const Service& service : services_) {
        if (!labels_.contains(service.sid) || service.components.empty()) return false;
        for (const Component& c : service.components) {
            if (c.tmid == kPacketData && !packet_.contains(c.scid)) return false;
        }
    }
    return true;
}

}  // namespace koru::dab
