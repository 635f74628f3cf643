// Everything our own decoders get out of a recording: the FIC's ensemble, each radio
// service's labels and slides, each packet service's data groups and MOT objects, and each
// sub-channel's bytes.
#ifndef KORU_TESTS_UNIT_MKENS_DECODED_H
#define KORU_TESTS_UNIT_MKENS_DECODED_H

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "dab/dls.h"
#include "dab/eti.h"
#include "dab/fic.h"
#include "dab/mot.h"
#include "dab/mpa.h"
#include "dab/msc_data_group.h"
#include "dab/packet.h"
#include "dab/xpad.h"
#include "tools/mkens/description.h"

namespace koru::mkens {

struct RadioPadOut {
    std::vector<dab::DynamicLabel> labels;
    std::vector<dab::MotObject> slides;
    size_t bad_groups = 0;
};

struct PacketOut {
    std::vector<std::vector<uint8_t>> groups;
    std::set<uint8_t> types;  // of the data groups
    std::vector<dab::MotObject> objects;
    std::vector<dab::MotDirectory> directories;
};

struct Decoded {
    size_t frames = 0;
    size_t bad_frames = 0;
    size_t bad_fibs = 0;
    dab::Ensemble ensemble;
    std::map<int, std::vector<uint8_t>> streams;  // all bytes by SubChId
    std::map<uint32_t, RadioPadOut> radio;        // by SId
    std::map<uint32_t, PacketOut> packet;         // by SId
};

inline Decoded Decode(const std::filesystem::path& eti, const Description& d) {
    Decoded out;
    auto reader = dab::EtiReader::Open(eti);
    EXPECT_TRUE(reader) << eti;
    if (!reader) return out;
    dab::FicDecoder fic;
    dab::EtiFrame frame;
    while (reader->Next(&frame)) {
        ++out.frames;
        for (const dab::Fib& fib : frame.fibs)
            fic.Feed(fib);
        for (const dab::EtiStream& s : frame.streams) {
            auto& bytes = out.streams[s.subchannel_id];
            bytes.insert(bytes.end(), s.data.begin(), s.data.end());
        }
    }
    out.bad_frames = reader->bad_frames();
    out.bad_fibs = fic.crc_errors() + fic.malformed_figs();
    out.ensemble = fic.ensemble();
    for (const ServiceDescription& s : d.services) {
        const std::vector<uint8_t>& bytes = out.streams[s.subchannel];
        if (s.kind == ServiceKind::kRadio) {
            RadioPadOut& r = out.radio[s.sid];
            dab::DynamicLabelDecoder dl([&](const dab::DynamicLabel& l) { r.labels.push_back(l); });
            dab::MotDecoder mot([&](const dab::MotObject& o) { r.slides.push_back(o); });
            dab::XpadDecoder xpad([&](uint8_t type, std::vector<uint8_t> group) {
                if (!(type == dab::kXpadDlStart ? dl.Feed(group) : mot.Feed(group))) ++r.bad_groups;
            });
            const size_t size = bytes.size() / out.frames;
            for (size_t at = 0; at + size <= bytes.size(); at += size) {
                const std::span<const uint8_t> f(bytes.data() + at, size);
                const auto header = dab::ParseMpaHeader(f);
                EXPECT_TRUE(header);
                if (!header) break;
                xpad.Feed(dab::XpadAreaOf(f, dab::ScfCrcLength(*header)), dab::FpadOf(f));
            }
        } else if (s.kind == ServiceKind::kData || s.kind == ServiceKind::kTpeg) {
            PacketOut& p = out.packet[s.sid];
            dab::MotDecoder mot(
                [&](const dab::MotObject& o) { p.objects.push_back(o); },
                [&](const dab::MotDirectory& dir) { p.directories.push_back(dir); });
            dab::PacketAssembler packets(static_cast<uint16_t>(s.address),
                                         [&](std::vector<uint8_t> g) {
                                             mot.Feed(g);
                                             if (const auto group = dab::ParseMscDataGroup(g)) {
                                                 p.types.insert(group->type);
                                             }
                                             p.groups.push_back(std::move(g));
                                         });
            packets.Feed(bytes);
            EXPECT_EQ(packets.crc_errors(), 0u);
        }
    }
    return out;
}

}  // namespace koru::mkens

#endif
