#include "m4systems/terminal/mpeg4_systems_input.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dab/transport_stream.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "live_input";
constexpr uint8_t kSync = 0x47;
constexpr uint8_t kPatTable = 0x00;
constexpr uint8_t kPmtTable = 0x02;
constexpr uint8_t kSection14496Table = 0x05;
constexpr uint8_t kStreamTypeSlPes = 0x12;
constexpr uint8_t kStreamTypeSlSections = 0x13;
constexpr uint8_t kIodDescriptor = 0x1D;
constexpr uint8_t kSlDescriptor = 0x1F;
constexpr uint8_t kFmcDescriptor = 0x20;
constexpr size_t kMaxSection = 4096;
constexpr size_t kMaxUnit = 1024 * 1024;
constexpr size_t kMaxHeld = 2048 * Mpeg4SystemsInput::kPacket;  // about 5 s of a service

int Pid(const uint8_t* p) {
    return ((p[1] & 0x1F) << 8) | p[2];
}

// The packet's payload, empty when it has none.
std::span<const uint8_t> Payload(const uint8_t* p) {
    size_t offset = 4;
    if (p[3] & 0x20) offset += 1 + size_t{p[4]};
    if (!(p[3] & 0x10) || offset >= Mpeg4SystemsInput::kPacket) return {};
    return {p + offset, Mpeg4SystemsInput::kPacket - offset};
}

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// A PMT's streams: type, PID and descriptor loop of each.
template <typename Visit>
bool ForEachPmtStream(const std::vector<uint8_t>& s, Visit visit) {
    if (s.size() < 16) return false;
    size_t at = 12 + (U16(&s[10]) & 0x0FFF);
    const size_t end = s.size() - 4;
    while (at + 5 <= end) {
        const size_t info = U16(&s[at + 3]) & 0x0FFF;
        if (at + 5 + info > end) return false;
        visit(s[at], U16(&s[at + 1]) & 0x1FFF, std::span(s).subspan(at + 5, info));
        at += 5 + info;
    }
    return true;
}

template <typename Visit>
void ForEachDescriptor(std::span<const uint8_t> loop, Visit visit) {
    for (size_t at = 0; at + 2 <= loop.size() && at + 2 + loop[at + 1] <= loop.size();
         at += 2 + size_t{loop[at + 1]}) {
        visit(loop[at], loop.subspan(at + 2, loop[at + 1]));
    }
}

// The PID of the first program's PMT in a PAT section; -1 when it names none.
int FirstPmtPid(const std::vector<uint8_t>& s) {
    if (s[0] != kPatTable) return -1;
    for (size_t at = 8; at + 4 <= s.size() - 4; at += 4) {
        if (U16(&s[at]) != 0) return U16(&s[at + 2]) & 0x1FFF;  // 0: the network PID
    }
    return -1;
}

int64_t To90kHz(int64_t ticks, uint32_t resolution) {
    if (ticks < 0 || resolution == 0) return -1;
    const __int128 scaled = static_cast<__int128>(ticks) * 90000 / resolution;
    return static_cast<int64_t>(scaled & ((int64_t{1} << 33) - 1));
}

}  // namespace

void Mpeg4SystemsInput::Process(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    partial_.insert(partial_.end(), data, data + size);
    size_t at = 0;
    while (partial_.size() - at >= kPacket) {
        const uint8_t* p = partial_.data() + at;
        if (*p != kSync) {
            const uint8_t* end = partial_.data() + partial_.size();
            const auto* next = static_cast<const uint8_t*>(std::memchr(p + 1, kSync, end - p - 1));
            const size_t skip = (next != nullptr ? next : end) - p;
            out->insert(out->end(), p, p + skip);
            at += skip;
            continue;
        }
        if (tables_seen_) {
            Packet(p, out);
        } else {
            WaitForTables(p, out);
        }
        at += kPacket;
    }
    partial_.erase(partial_.begin(), partial_.begin() + static_cast<long>(at));
}

void Mpeg4SystemsInput::Flush(std::vector<uint8_t>* out) {
    if (!tables_seen_) ReleaseWaiting(out);
    out->insert(out->end(), partial_.begin(), partial_.end());
    partial_.clear();
}

void Mpeg4SystemsInput::Packet(const uint8_t* p, std::vector<uint8_t>* out) {
    const int pid = Pid(p);
    std::vector<uint8_t> section;
    if (pid == 0) {
        if (GatherSection(p, &pat_, &section)) OnPat(section);
        out->insert(out->end(), p, p + kPacket);
        return;
    }
    if (pid == pmt_pid_) {
        const bool was_active = active_;
        if (GatherSection(p, &pmt_, &section)) OnPmt(section, out);
        if (!active_ && !was_active) out->insert(out->end(), p, p + kPacket);
        return;
    }
    if (!active_) {
        out->insert(out->end(), p, p + kPacket);
        return;
    }
    if (od_sl_.count(pid) != 0) {
        if (GatherSection(p, &object_descriptor_sections_[pid], &section)) {
            OnObjectDescriptors(pid, section, out);
        }
        return;
    }
    auto stream = streams_.find(pid);
    if (stream == streams_.end() ||
        (stream->second.type != kStreamTypeSlPes && stream->second.type != kStreamTypeSlSections)) {
        out->insert(out->end(), p, p + kPacket);
        return;
    }
    auto media = media_.find(pid);
    if (media != media_.end()) {
        if (media->second.stream_type != 0) MediaPacket(pid, p, &media->second, out);
    } else if (stream->second.type == kStreamTypeSlPes) {
        std::vector<uint8_t>& held = held_[pid];
        if (held.size() >= kMaxHeld) held.erase(held.begin(), held.begin() + kPacket);
        held.insert(held.end(), p, p + kPacket);
    }
    // Anything else (the scene, streams left out) goes no further.
}

void Mpeg4SystemsInput::ReleaseHeld(std::vector<uint8_t>* out) {
    for (auto it = held_.begin(); it != held_.end();) {
        auto media = media_.find(it->first);
        if (media == media_.end()) {
            ++it;
            continue;
        }
        const std::vector<uint8_t> held = std::move(it->second);
        it = held_.erase(it);
        if (media->second.stream_type == 0) continue;
        for (size_t at = 0; at + kPacket <= held.size(); at += kPacket)
            MediaPacket(media->first, held.data() + at, &media->second, out);
    }
}

bool Mpeg4SystemsInput::GatherSection(const uint8_t* p, Section* gather,
                                      std::vector<uint8_t>* section) {
    const std::span<const uint8_t> payload = Payload(p);
    if (payload.empty()) return false;
    if (p[1] & 0x40) {
        const size_t pointer = payload[0];
        if (1 + pointer >= payload.size()) return false;
        gather->bytes.assign(payload.begin() + 1 + static_cast<long>(pointer), payload.end());
        gather->open = true;
    } else if (gather->open) {
        gather->bytes.insert(gather->bytes.end(), payload.begin(), payload.end());
    }
    if (!gather->open || gather->bytes.size() < 3) return false;
    const size_t length = 3 + (U16(&gather->bytes[1]) & 0x0FFF);
    if (length > kMaxSection || length < 12) {
        gather->open = false;
        return false;
    }
    if (gather->bytes.size() < length) return false;
    gather->open = false;
    section->assign(gather->bytes.begin(), gather->bytes.begin() + static_cast<long>(length));
    return dab::Crc32Mpeg(*section) == 0;  // the CRC over a whole section leaves 0
}

void Mpeg4SystemsInput::WaitForTables(const uint8_t* p, std::vector<uint8_t>* out) {
    const size_t index = waiting_.size() / kPacket;
    waiting_.insert(waiting_.end(), p, p + kPacket);
    const int pid = Pid(p);
    const auto gather = [&](Table* table) {
        if (p[1] & 0x40) table->started = index;
        std::vector<uint8_t> section;
        if (!GatherSection(p, &table->gather, &section)) return std::vector<uint8_t>{};
        table->first = table->started;
        table->last = index;
        table->whole = true;
        return section;
    };
    if (pid == 0) {
        const std::vector<uint8_t> pat = gather(&start_pat_);
        const int pmt_pid = pat.empty() ? -1 : FirstPmtPid(pat);
        if (pmt_pid >= 0 && pmt_pid != start_pmt_pid_) {
            start_pmt_pid_ = pmt_pid;
            start_pmt_ = {};
        }
    } else if (pid == start_pmt_pid_) {
        const std::vector<uint8_t> pmt = gather(&start_pmt_);
        if (!pmt.empty() && pmt[0] != kPmtTable) start_pmt_.whole = false;
    }
    if (start_pat_.whole && start_pmt_.whole) {
        // The tables first, then everything from the start, tables again included.
        for (const auto& [table, table_pid] :
             {std::pair{&start_pat_, 0}, std::pair{&start_pmt_, start_pmt_pid_}}) {
            for (size_t i = table->first; i <= table->last; ++i) {
                const uint8_t* packet = &waiting_[i * kPacket];
                if (Pid(packet) == table_pid) Packet(packet, out);
            }
        }
        ReleaseWaiting(out);
    } else if (index + 1 >= kMaxWaiting) {
        M4_LOG(2, kSource, "no PAT with its PMT in the first %zu packets: played as it came",
               kMaxWaiting);
        ReleaseWaiting(out);
    }
}

void Mpeg4SystemsInput::ReleaseWaiting(std::vector<uint8_t>* out) {
    std::vector<uint8_t> waited = std::move(waiting_);
    waiting_.clear();
    tables_seen_ = true;
    for (size_t at = 0; at + kPacket <= waited.size(); at += kPacket)
        Packet(&waited[at], out);
}

void Mpeg4SystemsInput::OnPat(const std::vector<uint8_t>& s) {
    const int pid = FirstPmtPid(s);
    if (pid >= 0 && pid != pmt_pid_) {
        pmt_pid_ = pid;
        pmt_ = {};
    }
}

void Mpeg4SystemsInput::OnPmt(const std::vector<uint8_t>& s, std::vector<uint8_t>* out) {
    if (s[0] != kPmtTable || s.size() < 16) return;
    if (s == last_pmt_) {
        if (active_ && !media_.empty()) WritePmt(out);
        return;
    }
    std::map<int, Stream> streams;
    bool signalled = false;
    const bool whole =
        ForEachPmtStream(s, [&](uint8_t type, int pid, std::span<const uint8_t> info) {
            Stream& stream = streams[pid];
            stream.type = type;
            stream.descriptors.assign(info.begin(), info.end());
            if (type != kStreamTypeSlPes && type != kStreamTypeSlSections) return;
            signalled = true;
            ForEachDescriptor(info, [&](uint8_t tag, std::span<const uint8_t> body) {
                if ((tag == kSlDescriptor || tag == kFmcDescriptor) && body.size() >= 2) {
                    stream.es_id = U16(body.data());
                }
            });
        });
    if (!whole) return;
    std::vector<dab::EsDescriptor> iod_streams;
    const std::span<const uint8_t> program_info(&s[12], U16(&s[10]) & 0x0FFF);
    ForEachDescriptor(program_info, [&](uint8_t tag, std::span<const uint8_t> body) {
        if (tag != kIodDescriptor) return;
        signalled = true;
        if (auto parsed = dab::ParseIodDescriptor(body)) iod_streams = *parsed;
    });
    last_pmt_ = s;
    if (!signalled) {
        if (active_) M4_LOG(2, kSource, "the stream no longer carries MPEG-4 Systems");
        active_ = false;
        return;
    }
    if (!active_) M4_LOG(2, kSource, "MPEG-4 Systems signalling: reading its object descriptors");
    active_ = true;
    program_number_ = U16(&s[3]);
    pcr_pid_ = U16(&s[8]) & 0x1FFF;
    pmt_version_ = static_cast<uint8_t>((s[5] >> 1) & 0x1F);
    streams_ = std::move(streams);
    od_sl_.clear();
    for (auto it = media_.begin(); it != media_.end();) {
        auto stream = streams_.find(it->first);
        const bool kept = stream != streams_.end() && stream->second.es_id == it->second.es.es_id;
        it = kept ? std::next(it) : media_.erase(it);
    }
    held_.clear();
    AddStreams(iod_streams);
    pmt_changed_ = false;
    if (!media_.empty()) WritePmt(out);
    ReleaseHeld(out);
}

void Mpeg4SystemsInput::OnObjectDescriptors(int pid, const std::vector<uint8_t>& s,
                                            std::vector<uint8_t>* out) {
    if (s[0] != kSection14496Table) return;
    // One SL packet a section: its header as the stream's SL configuration lays it out.
    const std::span<const uint8_t> body(s.data() + 8, s.size() - 12);
    const std::optional<dab::SlHeader> header = dab::ParseSlHeader(body, od_sl_[pid]);
    if (!header || !header->carries_data) return;
    AddStreams(dab::ParseObjectDescriptorCommands(body.subspan(header->size)));
    if (pmt_changed_) {
        pmt_changed_ = false;
        pmt_version_ = static_cast<uint8_t>((pmt_version_ + 1) & 0x1F);
        WritePmt(out);
    }
    ReleaseHeld(out);
}

void Mpeg4SystemsInput::AddStreams(const std::vector<dab::EsDescriptor>& streams) {
    for (const dab::EsDescriptor& es : streams) {
        for (const auto& [pid, stream] : streams_) {
            if (stream.es_id != es.es_id) continue;
            if (es.stream_type == dab::kStreamTypeObjectDescriptor) {
                od_sl_[pid] = es.sl;
            } else if (es.stream_type == dab::kStreamTypeVisual ||
                       es.stream_type == dab::kStreamTypeAudio) {
                Describe(pid, es);
            }
        }
    }
}

void Mpeg4SystemsInput::Describe(int pid, const dab::EsDescriptor& es) {
    auto known = media_.find(pid);
    if (known != media_.end() && known->second.es.object_type == es.object_type &&
        known->second.es.specific == es.specific) {
        return;  // the object descriptors repeat
    }
    Media media;
    media.es = es;
    if (es.stream_type == dab::kStreamTypeVisual) {
        if (es.object_type == dab::kObjectTypeH264) media.stream_type = 0x1B;
        if (es.object_type == dab::kObjectTypeMpeg4Visual) media.stream_type = 0x10;
        if (media.stream_type == 0) {
            M4_LOG(1, kSource, "video of object type 0x%02x cannot be played", es.object_type);
        }
    } else if (es.object_type == dab::kObjectTypeMpeg1Audio) {
        media.stream_type = 0x03;
    } else if (es.object_type == dab::kObjectTypeMpeg2Audio) {
        media.stream_type = 0x04;
    } else {
        media.audio = dab::ParseAudioSpecificConfig(es.specific);
        const bool carried = es.object_type == dab::kObjectTypeMpeg4Audio && media.audio &&
                             dab::AdtsHeader(*media.audio, 0).has_value();
        if (carried) {
            media.stream_type = 0x0F;
        } else {
            const std::string format =
                media.audio ? dab::AudioObjectTypeText(media.audio->signalled_type)
                            : "audio of object type " + std::to_string(es.object_type);
            M4_LOG(1, kSource, "%s cannot be played: the picture plays without sound",
                   format.c_str());
            if (!audio_unsupported_sent_ && notify_) {
                audio_unsupported_sent_ = true;
                notify_(WM_SYSTEM_AUDIO_UNSUPPORTED, 0, 0);
            }
        }
    }
    if (known == media_.end() || known->second.stream_type != media.stream_type) {
        pmt_changed_ = true;
    }
    media_[pid] = std::move(media);
}

void Mpeg4SystemsInput::WritePmt(std::vector<uint8_t>* out) {
    std::vector<uint8_t> s = {kPmtTable,
                              0,
                              0,
                              static_cast<uint8_t>(program_number_ >> 8),
                              static_cast<uint8_t>(program_number_),
                              static_cast<uint8_t>(0xC1 | (pmt_version_ << 1)),
                              0,
                              0,
                              static_cast<uint8_t>(0xE0 | (pcr_pid_ >> 8)),
                              static_cast<uint8_t>(pcr_pid_),
                              0xF0,
                              0x00};
    for (const auto& [pid, stream] : streams_) {
        std::span<const uint8_t> descriptors(stream.descriptors);
        uint8_t type = stream.type;
        if (type == kStreamTypeSlPes || type == kStreamTypeSlSections) {
            auto media = media_.find(pid);
            if (media == media_.end() || media->second.stream_type == 0) continue;
            type = media->second.stream_type;
            descriptors = {};
        }
        s.insert(s.end(), {type, static_cast<uint8_t>(0xE0 | (pid >> 8)), static_cast<uint8_t>(pid),
                           static_cast<uint8_t>(0xF0 | (descriptors.size() >> 8)),
                           static_cast<uint8_t>(descriptors.size())});
        s.insert(s.end(), descriptors.begin(), descriptors.end());
    }
    const size_t length = s.size() - 3 + 4;
    if (length > kMaxSection) return;
    s[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    s[2] = static_cast<uint8_t>(length);
    const uint32_t crc = dab::Crc32Mpeg(s);
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(crc >> shift));
    dab::WriteSection(pmt_pid_, s, &pmt_counter_, out);
}

void Mpeg4SystemsInput::MediaPacket(int pid, const uint8_t* p, Media* media,
                                    std::vector<uint8_t>* out) {
    // A clock reference goes on in a packet of its own.
    if ((p[3] & 0x20) && p[4] >= 7 && (p[5] & 0x10)) {
        uint8_t pcr[kPacket];
        std::memcpy(pcr, p, 4);
        pcr[1] &= 0x1F;  // starts nothing
        pcr[3] = static_cast<uint8_t>(0x20 | ((media->counter - 1) & 0x0F));
        pcr[4] = 183;
        pcr[5] = 0x10;
        std::memcpy(pcr + 6, p + 6, 6);
        std::memset(pcr + 12, 0xFF, kPacket - 12);
        out->insert(out->end(), pcr, pcr + kPacket);
    }
    const std::span<const uint8_t> payload = Payload(p);
    if (payload.empty()) return;
    if (p[1] & 0x40) {
        if (!media->pes.empty()) OnPes(pid, media, out);
        media->pes.assign(payload.begin(), payload.end());
    } else if (!media->pes.empty()) {
        media->pes.insert(media->pes.end(), payload.begin(), payload.end());
    }
    if (media->pes.size() > kMaxUnit) {
        media->pes.clear();
        return;
    }
    // A PES packet that gives its length ends there: handed on at once.
    if (media->pes.size() >= 6) {
        const size_t length = U16(&media->pes[4]);
        if (length > 0 && media->pes.size() >= 6 + length) {
            media->pes.resize(6 + length);
            OnPes(pid, media, out);
        }
    }
}

void Mpeg4SystemsInput::OnPes(int pid, Media* media, std::vector<uint8_t>* out) {
    std::vector<uint8_t> pes;
    pes.swap(media->pes);
    if (pes.size() < 9 || pes[0] != 0 || pes[1] != 0 || pes[2] != 1) return;
    const size_t header = 9 + size_t{pes[8]};
    if (header > pes.size()) return;
    int64_t pes_pts = -1;
    if ((pes[7] & 0x80) && pes.size() >= 14) {
        pes_pts = (int64_t{pes[9] & 0x0E} << 29) | (int64_t{pes[10]} << 22) |
                  (int64_t{pes[11] & 0xFE} << 14) | (int64_t{pes[12]} << 7) | (pes[13] >> 1);
    }
    const std::span<const uint8_t> sl(pes.data() + header, pes.size() - header);
    const dab::SlConfig& config = media->es.sl;
    const std::optional<dab::SlHeader> h = dab::ParseSlHeader(sl, config);
    if (!h || !h->carries_data) return;
    if (h->au_start) {
        if (media->in_unit) EmitUnit(pid, media, out);  // ended where this one starts
        media->in_unit = true;
        media->unit.clear();
        media->unit_pts = To90kHz(h->cts >= 0 ? h->cts : h->dts, config.timestamp_resolution);
        if (media->unit_pts < 0) media->unit_pts = pes_pts;
    } else if (!media->in_unit) {
        return;  // the rest of a unit that started before we joined
    }
    media->unit.insert(media->unit.end(), sl.begin() + static_cast<long>(h->size), sl.end());
    if (media->unit.size() > kMaxUnit) {
        media->in_unit = false;
        media->unit.clear();
        return;
    }
    if (h->au_end) EmitUnit(pid, media, out);
}

void Mpeg4SystemsInput::EmitUnit(int pid, Media* media, std::vector<uint8_t>* out) {
    media->in_unit = false;
    if (media->unit.empty()) return;
    std::vector<uint8_t> payload;
    if (media->stream_type == 0x0F) {
        const auto adts = dab::AdtsHeader(*media->audio, media->unit.size());
        if (!adts) return;
        payload = *adts;
    }
    payload.insert(payload.end(), media->unit.begin(), media->unit.end());
    media->unit.clear();
    const bool video = media->es.stream_type == dab::kStreamTypeVisual;
    dab::WritePes(pid, video ? 0xE0 : 0xC0, media->unit_pts, payload, &media->counter, out);
}

}  // namespace koru::m4
