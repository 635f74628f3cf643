#include "tools/mkens/builder.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "dab/charset.h"
#include "dab/crc.h"
#include "dab/dls.h"
#include "dab/eti.h"
#include "dab/fic_carousel.h"
#include "dab/gzip.h"
#include "dab/mpa.h"
#include "dab/msc_data_group.h"
#include "dab/outer_code.h"
#include "dab/packet.h"
#include "dab/protection.h"
#include "dab/xpad.h"

namespace koru::mkens {
namespace {

constexpr int kFramesPerSecond = 41;  // 24 ms frames, rounded
constexpr int kDlsRepeatFrames = 2 * kFramesPerSecond;
// Bytes of a slide per data group: what about 16 frames of X-PAD carry, so that a new label
// waits at most that long behind a slide.
size_t XpadMotSegment(size_t xpad_room) {
    return std::clamp<size_t>(xpad_room * 16, 128, 1000);
}
constexpr size_t kPacketMotSegment = 1024;
constexpr int kTpegFrames = kFramesPerSecond;

struct ContentType {
    uint8_t type;
    uint16_t subtype;
    const char* mime;
};

ContentType ContentTypeOf(const std::string& name) {
    const std::string ext = std::filesystem::path(name).extension().string();
    if (ext == ".htm" || ext == ".html") return {dab::kMotText, dab::kMotTextHtml, "text/html"};
    if (ext == ".css") return {dab::kMotText, dab::kMotTextAscii, "text/css"};
    if (ext == ".txt") return {dab::kMotText, dab::kMotTextAscii, "text/plain"};
    if (ext == ".jpg" || ext == ".jpeg") return {dab::kMotImage, dab::kMotImageJfif, "image/jpeg"};
    if (ext == ".png") return {dab::kMotImage, dab::kMotImagePng, "image/png"};
    if (ext == ".gif") return {dab::kMotImage, dab::kMotImageGif, "image/gif"};
    return {dab::kMotGeneralData, 0, "application/octet-stream"};
}

std::vector<uint8_t> ObjectBody(const ObjectDescription& item, const std::filesystem::path& folder,
                                MediaMaker& media) {
    if (item.image) {
        return media.Image(*item.image, std::filesystem::path(item.name).extension().string());
    }
    std::ifstream in(folder / item.file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + (folder / item.file).string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

dab::MotObject MakeObject(uint16_t transport_id, const ObjectDescription& item,
                          std::vector<uint8_t> body, bool mime) {
    dab::MotObject o;
    o.transport_id = transport_id;
    const ContentType type = ContentTypeOf(item.name);
    o.header.content_type = type.type;
    o.header.content_subtype = type.subtype;
    o.header.SetContentName(item.name);
    if (mime) {
        const std::string text = type.mime;
        o.header.parameters.push_back({dab::kMotMimeType, {text.begin(), text.end()}});
    }
    if (item.gzip) {
        o.body = dab::GzipCompress(body);
        o.header.parameters.push_back({dab::kMotCompressionType, {dab::kMotCompressionGzip}});
    } else {
        o.body = std::move(body);
    }
    o.header.body_size = static_cast<uint32_t>(o.body.size());
    return o;
}

// Dynamic labels in turn and the slides one after the other, fed to the X-PAD encoder a data
// group at a time so that a new label never waits behind a whole slide.
class RadioPad {
  public:
    RadioPad(const ServiceDescription& s, MediaMaker& media)
        : encoder_(static_cast<size_t>(s.pad - 2)) {
        for (const std::string& text : s.dls) {
            dab::DynamicLabel label;
            if (const auto ebu = dab::Utf8ToEbuLatin(text)) {
                label.text.assign(ebu->begin(), ebu->end());
                label.charset = dab::kCharsetEbuLatin;
            } else {
                label.text.assign(text.begin(), text.end());
                label.charset = dab::kCharsetUtf8;
            }
            labels_.push_back(label);
        }
        frames_per_label_ = std::max(1, static_cast<int>(s.dls_seconds / kFrameSeconds));
        slides_ = SlideObjects(s, media);
        room_ = static_cast<size_t>(s.pad - 2);
        mot_encoder_ = dab::MotEncoder(XpadMotSegment(room_));
    }

    dab::PadFrame Next(int frame) {
        if (!labels_.empty()) {
            const size_t index = static_cast<size_t>(frame / frames_per_label_) % labels_.size();
            if (index != label_index_ || frame >= next_label_) {
                if (index != label_index_) toggle_ = !toggle_;
                label_index_ = index;
                dl_pending_ = true;
                next_label_ = frame + kDlsRepeatFrames;
            }
        }
        while (encoder_.queued_bytes() < 2 * room_) {
            if (dl_pending_) {
                for (auto& seg : dab::BuildDynamicLabel(labels_[label_index_], toggle_)) {
                    encoder_.QueueDynamicLabel(seg);
                }
                dl_pending_ = false;
            } else if (!mot_.empty()) {
                encoder_.QueueMot(std::move(mot_.front()));
                mot_.pop_front();
            } else if (!slides_.empty()) {
                for (const auto& g : mot_encoder_.EncodeObject(slides_[next_slide_])) {
                    mot_.push_back(dab::BuildMscDataGroup(g));
                }
                next_slide_ = (next_slide_ + 1) % slides_.size();
            } else {
                break;
            }
        }
        return encoder_.Next();
    }

  private:
    dab::XpadEncoder encoder_;
    size_t room_ = 0;
    std::vector<dab::DynamicLabel> labels_;
    int frames_per_label_ = 1;
    size_t label_index_ = SIZE_MAX;
    int next_label_ = 0;
    bool toggle_ = true;
    bool dl_pending_ = false;
    std::vector<dab::MotObject> slides_;
    size_t next_slide_ = 0;
    dab::MotEncoder mot_encoder_;
    std::deque<std::vector<uint8_t>> mot_;
};

// One service of a packet-mode sub-channel: its packets and where the next data group
// comes from.
struct PacketFeed {
    dab::PacketWriter writer;
    std::function<std::optional<std::vector<uint8_t>>(int frame)> next_group;
    std::deque<std::vector<uint8_t>> packets;
};

// The website carousel, each round in one of the two MOT modes: directory mode sends the
// directory (every object's header, DirectoryIndex naming the start page) and then the bodies;
// header mode sends each object's header and body, then the same directory.
class WebsiteCarousel {
  public:
    WebsiteCarousel(const ServiceDescription& s, const std::filesystem::path& folder,
                    MediaMaker& media, size_t bytes_per_frame)
        : header_mode_(s.mot_header_mode) {
        objects_ = WebsiteObjects(s, folder, media);
        size_t total = 0;
        for (const auto& o : objects_)
            total += o.body.size() + 64;
        directory_.segment_size = kPacketMotSegment;
        // Seconds a round takes at the sub-channel's rate, in tenths.
        directory_.carousel_period = static_cast<uint32_t>(
            (total / std::max<size_t>(1, bytes_per_frame) + 1) * kFrameSeconds * 10 + 1);
        std::vector<uint8_t> index{0x01};  // profile, then the start page
        index.insert(index.end(), s.index.begin(), s.index.end());
        directory_.parameters.push_back({dab::kMotDirectoryIndex, index});
        for (dab::MotObject o : objects_) {
            o.body.clear();
            directory_.entries.push_back(std::move(o));
        }
        directory_tid_ = static_cast<uint16_t>(objects_.size() + 1);
    }

    std::optional<std::vector<uint8_t>> Next(int) {
        if (round_.empty()) {
            if (!header_mode_) Add(encoder_.EncodeDirectory(directory_, directory_tid_));
            for (const auto& o : objects_)
                Add(header_mode_ ? encoder_.EncodeObject(o) : encoder_.EncodeBody(o));
            if (header_mode_) Add(encoder_.EncodeDirectory(directory_, directory_tid_));
        }
        std::vector<uint8_t> bytes = dab::BuildMscDataGroup(round_.front());
        round_.pop_front();
        return bytes;
    }

  private:
    void Add(const std::vector<dab::MscDataGroup>& groups) {
        round_.insert(round_.end(), groups.begin(), groups.end());
    }

    bool header_mode_;
    std::vector<dab::MotObject> objects_;
    dab::MotDirectory directory_;
    uint16_t directory_tid_ = 0;
    dab::MotEncoder encoder_{kPacketMotSegment};
    std::deque<dab::MscDataGroup> round_;
};

// A data group a second, shaped like a TPEG transport frame: sync word 0xFF0F, length,
// header CRC, frame type 1 and a service frame with one text component.
class TpegSource {
  public:
    explicit TpegSource(const ServiceDescription& s) : service_(s) {}

    std::optional<std::vector<uint8_t>> Next(int frame) {
        if (frame < next_) return std::nullopt;
        next_ = frame + kTpegFrames;
        const std::string text =
            service_.label + " message " + std::to_string(count_++) + ": roads clear";
        std::vector<uint8_t> service_frame{static_cast<uint8_t>(service_.sid >> 16),
                                           static_cast<uint8_t>(service_.sid >> 8),
                                           static_cast<uint8_t>(service_.sid),
                                           0x00,
                                           0x01,
                                           static_cast<uint8_t>(text.size() >> 8),
                                           static_cast<uint8_t>(text.size())};
        service_frame.insert(service_frame.end(), text.begin(), text.end());
        std::vector<uint8_t> tpeg{0xFF,
                                  0x0F,
                                  static_cast<uint8_t>(service_frame.size() >> 8),
                                  static_cast<uint8_t>(service_frame.size()),
                                  0,
                                  0,
                                  0x01};
        const size_t covered = std::min<size_t>(16, service_frame.size());
        std::vector<uint8_t> head(tpeg.begin() + 2, tpeg.begin() + 4);
        head.push_back(tpeg[6]);
        head.insert(head.end(), service_frame.begin(),
                    service_frame.begin() + static_cast<std::ptrdiff_t>(covered));
        const uint16_t crc = dab::Crc16(head);
        tpeg[4] = static_cast<uint8_t>(crc >> 8);
        tpeg[5] = static_cast<uint8_t>(crc);
        tpeg.insert(tpeg.end(), service_frame.begin(), service_frame.end());
        dab::MscDataGroup group;
        group.type = dab::kDataGroupGeneral;
        group.continuity = static_cast<uint8_t>(count_ & 0x0F);
        group.data = std::move(tpeg);
        return dab::BuildMscDataGroup(group);
    }

  private:
    ServiceDescription service_;
    int next_ = 0;
    int count_ = 0;
};

// One frame of a packet-mode sub-channel: the services take turns packet by packet while
// their packets fit; padding packets fill the rest.
std::vector<uint8_t> MuxPackets(std::vector<PacketFeed>& feeds, int frame, size_t capacity) {
    std::vector<uint8_t> out;
    bool placed = true;
    while (placed) {
        placed = false;
        for (PacketFeed& feed : feeds) {
            if (feed.packets.empty()) {
                if (auto group = feed.next_group(frame)) {
                    for (auto& p : feed.writer.Packetize(*group))
                        feed.packets.push_back(p);
                }
            }
            if (!feed.packets.empty() && out.size() + feed.packets.front().size() <= capacity) {
                out.insert(out.end(), feed.packets.front().begin(), feed.packets.front().end());
                feed.packets.pop_front();
                placed = true;
            }
        }
    }
    for (size_t length : {size_t{96}, size_t{72}, size_t{48}, size_t{24}}) {
        while (capacity - out.size() >= length) {
            const std::vector<uint8_t> pad = dab::PaddingPacket(length);
            out.insert(out.end(), pad.begin(), pad.end());
        }
    }
    return out;
}

}  // namespace

std::vector<dab::MotObject> SlideObjects(const ServiceDescription& s, MediaMaker& media) {
    std::vector<dab::MotObject> slides;
    uint16_t tid = 1;
    for (const ObjectDescription& item : s.slides) {
        dab::MotObject slide = MakeObject(tid++, item, ObjectBody(item, {}, media), false);
        // TS 101 499: a slide is shown at its TriggerTime; 0 means at once.
        slide.header.parameters.insert(slide.header.parameters.begin(),
                                       {dab::kMotTriggerTime, {0, 0, 0, 0}});
        slides.push_back(std::move(slide));
    }
    return slides;
}

std::vector<dab::MotObject> WebsiteObjects(const ServiceDescription& s,
                                           const std::filesystem::path& folder, MediaMaker& media) {
    std::vector<dab::MotObject> objects;
    uint16_t tid = 1;
    for (const ObjectDescription& item : s.objects) {
        objects.push_back(MakeObject(tid++, item, ObjectBody(item, folder, media), true));
    }
    return objects;
}

SubchannelFrames BuildRadio(const ServiceDescription& s, int bitrate_kbps, int frames,
                            MediaMaker& media) {
    AudioFrames audio = EncodeTone(s.tone, bitrate_kbps, s.mode, s.pad, frames);
    RadioPad pad(s, media);
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t>& frame = audio.frames[static_cast<size_t>(f)];
        if (frame.size() != static_cast<size_t>(bitrate_kbps * 3)) {
            throw std::runtime_error("audio frame of unexpected size");
        }
        const dab::PadFrame p = pad.Next(f);
        dab::PutPad(frame, audio.scf_crc_length, p.xpad, p.fpad);
    }
    return std::move(audio.frames);
}

SubchannelFrames BuildPacketSubchannel(const Description& d, int subchannel, MediaMaker& media) {
    const SubchannelDescription* sub = d.FindSubchannel(subchannel);
    const size_t capacity = static_cast<size_t>(sub->bitrate) * 3;
    std::vector<PacketFeed> feeds;
    std::vector<std::shared_ptr<WebsiteCarousel>> websites;
    std::vector<std::shared_ptr<TpegSource>> tpegs;
    for (const ServiceDescription& s : d.services) {
        if (s.subchannel != subchannel) continue;
        PacketFeed feed{dab::PacketWriter(static_cast<uint16_t>(s.address)), nullptr, {}};
        if (s.kind == ServiceKind::kData) {
            auto site = std::make_shared<WebsiteCarousel>(s, d.folder, media, capacity);
            feed.next_group = [site](int frame) { return site->Next(frame); };
        } else {
            auto tpeg = std::make_shared<TpegSource>(s);
            feed.next_group = [tpeg](int frame) { return tpeg->Next(frame); };
        }
        feeds.push_back(std::move(feed));
    }
    SubchannelFrames frames;
    for (int f = 0; f < d.frames; ++f)
        frames.push_back(MuxPackets(feeds, f, capacity));
    return frames;
}

namespace {

// The outer-coded sub-channel of a looped transport stream: the interleaver runs over the
// stream once before, so the recording's end leads seamlessly into its start.
std::vector<uint8_t> OuterCodeLoop(const std::vector<uint8_t>& ts) {
    dab::ConvolutionalInterleaver interleaver(false);
    dab::OuterEncode(ts, &interleaver);
    return dab::OuterEncode(ts, &interleaver);
}

}  // namespace

void WriteEnsemble(const Description& d, MediaMaker& media, const std::filesystem::path& output) {
    const dab::Ensemble ensemble = ToEnsemble(d);
    std::map<int, SubchannelFrames> streams;
    for (const ServiceDescription& s : d.services) {
        const SubchannelDescription* sub = d.FindSubchannel(s.subchannel);
        const size_t bytes = static_cast<size_t>(sub->bitrate) * 3;
        if (s.kind == ServiceKind::kTv) {
            const size_t total = bytes * static_cast<size_t>(d.frames);
            // The outer code's parity takes 16 of every 204 bytes from the transport stream.
            const size_t ts_bytes =
                s.outer_code ? total / dab::kOuterPacketBytes * dab::kTsPacketBytes : total;
            const int mux_bps =
                static_cast<int>(static_cast<int64_t>(sub->bitrate) * 1000 *
                                 static_cast<int64_t>(ts_bytes) / static_cast<int64_t>(total));
            std::vector<uint8_t> ts = media.TransportStream(s, mux_bps, ts_bytes);
            if (s.outer_code) ts = OuterCodeLoop(ts);
            SubchannelFrames& frames = streams[s.subchannel];
            for (int f = 0; f < d.frames; ++f) {
                const auto at = ts.begin() + static_cast<std::ptrdiff_t>(bytes * f);
                frames.emplace_back(at, at + static_cast<std::ptrdiff_t>(bytes));
            }
        } else if (s.kind == ServiceKind::kRadio) {
            streams[s.subchannel] = BuildRadio(s, sub->bitrate, d.frames, media);
        } else if (!streams.contains(s.subchannel)) {
            streams[s.subchannel] = BuildPacketSubchannel(d, s.subchannel, media);
        }
    }

    std::vector<dab::Subchannel> order = ensemble.subchannels;
    std::sort(order.begin(), order.end(), [](const dab::Subchannel& a, const dab::Subchannel& b) {
        return a.start_cu < b.start_cu;
    });
    const std::filesystem::path partial = output.string() + ".part";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + partial.string());
    dab::FicCarousel carousel(ensemble);
    for (int f = 0; f < d.frames; ++f) {
        dab::EtiFrame frame;
        frame.fct = static_cast<uint8_t>(f % 250);
        frame.fp = static_cast<uint8_t>(f % 8);
        frame.mnsc = 0;
        frame.fibs = carousel.Next(static_cast<uint16_t>(f % 5000));
        for (const dab::Subchannel& sub : order) {
            dab::EtiStream stream;
            stream.subchannel_id = sub.id;
            stream.start_address = sub.start_cu;
            stream.tpl = dab::TplOf(sub.protection);
            auto it = streams.find(sub.id);
            if (it != streams.end()) {
                stream.data = it->second[static_cast<size_t>(f)];
            } else {
                stream.data.assign(static_cast<size_t>(sub.protection.BitrateKbps()) * 3, 0);
            }
            frame.streams.push_back(std::move(stream));
        }
        const std::vector<uint8_t> bytes = dab::WriteEtiFrame(frame);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write " + partial.string());
    std::filesystem::rename(partial, output);
}

}  // namespace koru::mkens
