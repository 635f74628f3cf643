#include "dab/fig.h"

#include <cassert>

#include "dab/bits.h"
#include "dab/crc.h"

namespace koru::dab {
namespace {

constexpr uint8_t kEndMarker = 0xFF;
constexpr size_t kMaxFig0Entries = kMaxFigSize - 2;  // header byte, C/N..extension byte

std::vector<uint8_t> WithHeader(uint8_t type, const std::vector<uint8_t>& data) {
    assert(!data.empty() && data.size() < kMaxFigSize);
    std::vector<uint8_t> fig;
    fig.push_back(static_cast<uint8_t>((type << 5) | data.size()));
    fig.insert(fig.end(), data.begin(), data.end());
    return fig;
}

// Packs FIG 0 entries of one extension into as few FIGs as fit a FIB each.
std::vector<std::vector<uint8_t>> PackFig0(uint8_t extension, bool pd,
                                           const std::vector<std::vector<uint8_t>>& entries) {
    std::vector<std::vector<uint8_t>> figs;
    const uint8_t first = static_cast<uint8_t>((pd ? 0x20 : 0) | extension);
    std::vector<uint8_t> data{first};
    for (const std::vector<uint8_t>& entry : entries) {
        assert(entry.size() <= kMaxFig0Entries);
        if (data.size() - 1 + entry.size() > kMaxFig0Entries) {
            figs.push_back(WithHeader(0, data));
            data.assign(1, first);
        }
        data.insert(data.end(), entry.begin(), entry.end());
    }
    if (data.size() > 1) figs.push_back(WithHeader(0, data));
    return figs;
}

using Entries = std::vector<std::vector<uint8_t>>;

// FIG 0 extensions with a P/D flag: services of 16-bit and of 32-bit SIds go in FIGs of
// their own; `entries_of` adds a service's entries.
std::vector<std::vector<uint8_t>> PackPerSidWidth(
    uint8_t extension, const std::vector<Service>& services,
    const std::function<void(const Service&, Entries&)>& entries_of) {
    std::vector<std::vector<uint8_t>> figs;
    for (bool long_sid : {false, true}) {
        Entries entries;
        for (const Service& service : services) {
            if (service.long_sid == long_sid) entries_of(service, entries);
        }
        for (auto& fig : PackFig0(extension, long_sid, entries))
            figs.push_back(std::move(fig));
    }
    return figs;
}

void PutSid(BitWriter& w, uint32_t sid, bool long_sid) {
    if (long_sid) {
        w.U32(sid);
    } else {
        w.U16(sid);
    }
}

void PutLabel(BitWriter& w, const Label& label) {
    w.Bytes(label.bytes);
    w.U16(label.short_flags);
}

std::vector<uint8_t> LabelFig(const Label& label, uint8_t extension, const BitWriter& identifier) {
    BitWriter w;
    w.U8(static_cast<uint32_t>((label.charset << 4) | extension));
    w.Bytes(identifier.bytes());
    PutLabel(w, label);
    return WithHeader(1, w.Take());
}

Label ReadLabel(BitReader& r, uint8_t charset) {
    Label label;
    std::span<const uint8_t> bytes = r.Bytes(16);
    if (bytes.size() == 16) std::copy(bytes.begin(), bytes.end(), label.bytes.begin());
    label.charset = charset;
    label.short_flags = r.U16();
    return label;
}

}  // namespace

bool ForEachFig(std::span<const uint8_t> fib_data, const std::function<void(const Fig&)>& visit,
                FibEnd* end) {
    const auto stop = [&](FibEnd why) {
        if (end) *end = why;
        return why == FibEnd::kEndMarker || why == FibEnd::kEndOfData;
    };
    if (fib_data.size() > kFibDataSize) fib_data = fib_data.first(kFibDataSize);
    size_t at = 0;
    while (at < fib_data.size()) {
        const uint8_t header = fib_data[at];
        if (header == kEndMarker) return stop(FibEnd::kEndMarker);
        const size_t length = header & 0x1F;
        if (length == 0) return stop(FibEnd::kZeroLength);
        if (at + 1 + length > fib_data.size()) return stop(FibEnd::kOverrun);
        visit(Fig{static_cast<uint8_t>(header >> 5), fib_data.subspan(at + 1, length)});
        at += 1 + length;
    }
    return stop(FibEnd::kEndOfData);
}

std::optional<Fig0> ParseFig0(std::span<const uint8_t> data) {
    if (data.empty()) return std::nullopt;
    Fig0 fig;
    fig.cn = (data[0] & 0x80) != 0;
    fig.oe = (data[0] & 0x40) != 0;
    fig.pd = (data[0] & 0x20) != 0;
    fig.extension = data[0] & 0x1F;
    fig.field = data.subspan(1);
    return fig;
}

std::optional<Fig1> ParseFig1(std::span<const uint8_t> data) {
    if (data.empty()) return std::nullopt;
    Fig1 fig;
    fig.charset = data[0] >> 4;
    fig.oe = (data[0] & 0x08) != 0;
    fig.extension = data[0] & 0x07;
    fig.field = data.subspan(1);
    return fig;
}

std::optional<EnsembleInformation> ParseFig0_0(std::span<const uint8_t> field) {
    BitReader r(field);
    EnsembleInformation info;
    info.eid = r.U16();
    info.change_flags = static_cast<uint8_t>(r.Bits(2));
    info.alarm = r.Flag();
    const uint32_t high = r.Bits(5);
    const uint32_t low = r.U8();
    info.cif_count = static_cast<uint16_t>(high * 250 + low);
    if (!r.ok()) return std::nullopt;
    return info;
}

std::optional<Subchannel> ReadFig0_1Entry(BitReader& r) {
    Subchannel sub;
    sub.id = static_cast<uint8_t>(r.Bits(6));
    sub.start_cu = static_cast<uint16_t>(r.Bits(10));
    const bool long_form = r.Flag();
    sub.protection.short_form = !long_form;
    if (long_form) {
        sub.protection.option = static_cast<EepOption>(r.Bits(3));
        sub.protection.level = static_cast<uint8_t>(r.Bits(2) + 1);
        sub.protection.size_cu = static_cast<uint16_t>(r.Bits(10));
    } else {
        sub.protection.table_switch = static_cast<uint8_t>(r.Bits(1));
        sub.protection.table_index = static_cast<uint8_t>(r.Bits(6));
    }
    if (!r.ok()) return std::nullopt;
    return sub;
}

std::optional<std::vector<Subchannel>> ParseFig0_1(std::span<const uint8_t> field) {
    std::vector<Subchannel> out;
    BitReader r(field);
    while (r.bytes_left() > 0) {
        const std::optional<Subchannel> sub = ReadFig0_1Entry(r);
        if (!sub) return std::nullopt;
        out.push_back(*sub);
    }
    return out;
}

std::optional<std::vector<Service>> ParseFig0_2(std::span<const uint8_t> field, bool pd) {
    std::vector<Service> out;
    BitReader r(field);
    while (r.bytes_left() > 0) {
        Service service;
        service.long_sid = pd;
        service.sid = pd ? r.U32() : r.U16();
        r.Bits(4);  // local flag, CAId
        const int count = static_cast<int>(r.Bits(4));
        for (int i = 0; i < count; ++i) {
            Component c;
            c.tmid = static_cast<uint8_t>(r.Bits(2));
            if (c.tmid == kPacketData) {
                c.scid = static_cast<uint16_t>(r.Bits(12));
            } else {
                c.type = static_cast<uint8_t>(r.Bits(6));
                c.subchannel_id = static_cast<uint8_t>(r.Bits(6));
            }
            c.primary = r.Flag();
            c.ca = r.Flag();
            service.components.push_back(c);
        }
        if (!r.ok()) return std::nullopt;
        out.push_back(std::move(service));
    }
    return out;
}

std::optional<std::vector<PacketComponent>> ParseFig0_3(std::span<const uint8_t> field) {
    std::vector<PacketComponent> out;
    BitReader r(field);
    while (r.bytes_left() > 0) {
        PacketComponent c;
        c.scid = static_cast<uint16_t>(r.Bits(12));
        r.Bits(3);
        const bool ca_org = r.Flag();
        c.data_groups = !r.Flag();
        r.Bits(1);
        c.dscty = static_cast<uint8_t>(r.Bits(6));
        c.subchannel_id = static_cast<uint8_t>(r.Bits(6));
        c.packet_address = static_cast<uint16_t>(r.Bits(10));
        if (ca_org) c.ca_org = r.U16();
        if (!r.ok()) return std::nullopt;
        out.push_back(c);
    }
    return out;
}

std::optional<std::vector<GlobalComponent>> ParseFig0_8(std::span<const uint8_t> field, bool pd) {
    std::vector<GlobalComponent> out;
    BitReader r(field);
    while (r.bytes_left() > 0) {
        GlobalComponent c;
        c.sid = pd ? r.U32() : r.U16();
        const bool extension = r.Flag();
        r.Bits(3);
        c.scids = static_cast<uint8_t>(r.Bits(4));
        c.long_form = r.Flag();
        if (c.long_form) {
            r.Bits(3);
            c.id = static_cast<uint16_t>(r.Bits(12));
        } else {
            r.Bits(1);
            c.id = static_cast<uint16_t>(r.Bits(6));
        }
        if (extension) r.Bits(8);
        if (!r.ok()) return std::nullopt;
        out.push_back(c);
    }
    return out;
}

std::optional<std::vector<ComponentApplications>> ParseFig0_13(std::span<const uint8_t> field,
                                                               bool pd) {
    std::vector<ComponentApplications> out;
    BitReader r(field);
    while (r.bytes_left() > 0) {
        ComponentApplications entry;
        entry.sid = pd ? r.U32() : r.U16();
        entry.scids = static_cast<uint8_t>(r.Bits(4));
        const int count = static_cast<int>(r.Bits(4));
        for (int i = 0; i < count; ++i) {
            UserApplication app;
            app.type = static_cast<uint16_t>(r.Bits(11));
            const size_t length = r.Bits(5);
            std::span<const uint8_t> data = r.Bytes(length);
            app.data.assign(data.begin(), data.end());
            entry.apps.push_back(std::move(app));
        }
        if (!r.ok()) return std::nullopt;
        out.push_back(std::move(entry));
    }
    return out;
}

std::optional<FigLabel> ParseFig1Label(const Fig1& fig) {
    BitReader r(fig.field);
    FigLabel out;
    out.extension = fig.extension;
    switch (fig.extension) {
        case 0:
        case 1:
            out.id = r.U16();
            break;
        case 4:
            out.pd = r.Flag();
            r.Bits(3);
            out.scids = static_cast<uint8_t>(r.Bits(4));
            out.id = out.pd ? r.U32() : r.U16();
            break;
        case 5:
            out.pd = true;
            out.id = r.U32();
            break;
        default:
            return std::nullopt;
    }
    out.label = ReadLabel(r, fig.charset);
    if (!r.ok()) return std::nullopt;
    return out;
}

std::vector<uint8_t> BuildFig0_0(uint16_t eid, uint16_t cif_count) {
    BitWriter w;
    w.U8(0);  // C/N 0, OE 0, P/D 0, extension 0
    w.U16(eid);
    w.Bits(0, 2);   // no change
    w.Flag(false);  // no alarm
    w.Bits(static_cast<uint32_t>((cif_count / 250) % 20), 5);
    w.U8(cif_count % 250);
    return WithHeader(0, w.Take());
}

std::vector<std::vector<uint8_t>> BuildFig0_1(const std::vector<Subchannel>& subchannels) {
    std::vector<std::vector<uint8_t>> entries;
    for (const Subchannel& sub : subchannels) {
        BitWriter w;
        w.Bits(sub.id, 6);
        w.Bits(sub.start_cu, 10);
        const Protection& p = sub.protection;
        if (p.short_form) {
            w.Flag(false);
            w.Bits(p.table_switch, 1);
            w.Bits(p.table_index, 6);
        } else {
            w.Flag(true);
            w.Bits(static_cast<uint32_t>(p.option), 3);
            w.Bits(p.level - 1u, 2);
            w.Bits(p.size_cu, 10);
        }
        entries.push_back(w.Take());
    }
    return PackFig0(1, false, entries);
}

std::vector<std::vector<uint8_t>> BuildFig0_2(const std::vector<Service>& services) {
    return PackPerSidWidth(2, services, [](const Service& service, Entries& entries) {
        BitWriter w;
        PutSid(w, service.sid, service.long_sid);
        w.Bits(0, 4);  // local flag, CAId
        w.Bits(static_cast<uint32_t>(service.components.size()), 4);
        for (const Component& c : service.components) {
            w.Bits(c.tmid, 2);
            if (c.tmid == kPacketData) {
                w.Bits(c.scid, 12);
            } else {
                w.Bits(c.type, 6);
                w.Bits(c.subchannel_id, 6);
            }
            w.Flag(c.primary);
            w.Flag(c.ca);
        }
        entries.push_back(w.Take());
    });
}

std::vector<std::vector<uint8_t>> BuildFig0_3(const std::vector<Service>& services) {
    std::vector<std::vector<uint8_t>> entries;
    for (const Service& service : services) {
        for (const Component& c : service.components) {
            if (c.tmid != kPacketData) continue;
            BitWriter w;
            w.Bits(c.scid, 12);
            w.Bits(0, 3);
            w.Flag(false);  // no CAOrg
            w.Flag(!c.data_groups);
            w.Bits(0, 1);
            w.Bits(c.type, 6);
            w.Bits(c.subchannel_id, 6);
            w.Bits(c.packet_address, 10);
            entries.push_back(w.Take());
        }
    }
    return PackFig0(3, false, entries);
}

std::vector<std::vector<uint8_t>> BuildFig0_8(const std::vector<Service>& services) {
    return PackPerSidWidth(8, services, [](const Service& service, Entries& entries) {
        for (const Component& c : service.components) {
            BitWriter w;
            PutSid(w, service.sid, service.long_sid);
            w.Flag(false);  // no extension
            w.Bits(0, 3);
            w.Bits(c.scids, 4);
            if (c.tmid == kPacketData) {
                w.Flag(true);
                w.Bits(0, 3);
                w.Bits(c.scid, 12);
            } else {
                w.Flag(false);
                w.Bits(0, 1);
                w.Bits(c.subchannel_id, 6);
            }
            entries.push_back(w.Take());
        }
    });
}

std::vector<std::vector<uint8_t>> BuildFig0_13(const std::vector<Service>& services) {
    return PackPerSidWidth(13, services, [](const Service& service, Entries& entries) {
        for (const Component& c : service.components) {
            if (c.user_apps.empty()) continue;
            BitWriter w;
            PutSid(w, service.sid, service.long_sid);
            w.Bits(c.scids, 4);
            w.Bits(static_cast<uint32_t>(c.user_apps.size()), 4);
            for (const UserApplication& app : c.user_apps) {
                w.Bits(app.type, 11);
                w.Bits(static_cast<uint32_t>(app.data.size()), 5);
                w.Bytes(app.data);
            }
            entries.push_back(w.Take());
        }
    });
}

std::vector<uint8_t> BuildFig1_0(uint16_t eid, const Label& label) {
    BitWriter id;
    id.U16(eid);
    return LabelFig(label, 0, id);
}

std::vector<std::vector<uint8_t>> BuildServiceLabels(const std::vector<Service>& services) {
    std::vector<std::vector<uint8_t>> figs;
    for (const Service& service : services) {
        BitWriter id;
        PutSid(id, service.sid, service.long_sid);
        figs.push_back(LabelFig(service.label, service.long_sid ? 5 : 1, id));
        for (const Component& c : service.components) {
            if (c.label.empty()) continue;
            BitWriter cid;
            cid.Flag(service.long_sid);
            cid.Bits(0, 3);
            cid.Bits(c.scids, 4);
            PutSid(cid, service.sid, service.long_sid);
            figs.push_back(LabelFig(c.label, 4, cid));
        }
    }
    return figs;
}

Fib BuildFib(const std::vector<std::span<const uint8_t>>& figs) {
    Fib fib{};
    size_t at = 0;
    for (std::span<const uint8_t> fig : figs) {
        assert(at + fig.size() <= kFibDataSize);
        std::copy(fig.begin(), fig.end(), fib.begin() + static_cast<std::ptrdiff_t>(at));
        at += fig.size();
    }
    if (at < kFibDataSize) fib[at] = kEndMarker;  // then zero padding
    PutCrc16(fib);
    return fib;
}

}  // namespace koru::dab
