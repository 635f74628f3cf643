#include "dab/mot.h"

#include <cassert>
#include <functional>
#include <string_view>

#include "dab/bits.h"
#include "dab/charset.h"

namespace koru::dab {
namespace {

constexpr size_t kHeaderCoreSize = 7;
constexpr size_t kDirectoryFixedSize = 13;
constexpr size_t kMaxEntities = 64;  // incomplete headers or bodies kept at once

void PutParameter(BitWriter& w, const MotParameter& p) {
    const size_t n = p.data.size();
    if (n == 0) {
        w.Bits(0, 2);
    } else if (n == 1) {
        w.Bits(1, 2);
    } else if (n == 4) {
        w.Bits(2, 2);
    } else {
        w.Bits(3, 2);
    }
    w.Bits(p.id, 6);
    if (n != 0 && n != 1 && n != 4) {
        assert(n < 32768);
        if (n < 128) {
            w.Bits(0, 1);
            w.Bits(static_cast<uint32_t>(n), 7);
        } else {
            w.Bits(1, 1);
            w.Bits(static_cast<uint32_t>(n), 15);
        }
    }
    w.Bytes(p.data);
}

// Reads parameters until the reader is exhausted; false when one runs past it.
bool ReadParameters(BitReader& r, std::vector<MotParameter>* out) {
    while (r.bytes_left() > 0) {
        MotParameter p;
        const uint32_t pli = r.Bits(2);
        p.id = static_cast<uint8_t>(r.Bits(6));
        size_t length = 0;
        if (pli == 1) {
            length = 1;
        } else if (pli == 2) {
            length = 4;
        } else if (pli == 3) {
            length = r.Flag() ? r.Bits(15) : r.Bits(7);
        }
        std::span<const uint8_t> data = r.Bytes(length);
        if (!r.ok()) return false;
        p.data.assign(data.begin(), data.end());
        out->push_back(std::move(p));
    }
    return r.ok();
}

void PutHeader(BitWriter& w, const MotHeader& h) {
    BitWriter extension;
    for (const MotParameter& p : h.parameters)
        PutParameter(extension, p);
    const size_t header_size = kHeaderCoreSize + extension.size();
    assert(header_size < 8192 && h.body_size < (1u << 28));
    w.Bits(h.body_size, 28);
    w.Bits(static_cast<uint32_t>(header_size), 13);
    w.Bits(h.content_type, 6);
    w.Bits(h.content_subtype, 9);
    w.Bytes(extension.bytes());
}

MotHeaderCore ReadHeaderCore(BitReader& r) {
    MotHeaderCore core;
    core.body_size = r.Bits(28);
    core.header_size = static_cast<uint16_t>(r.Bits(13));
    core.content_type = static_cast<uint8_t>(r.Bits(6));
    core.content_subtype = static_cast<uint16_t>(r.Bits(9));
    return core;
}

std::optional<MotHeader> ReadHeader(BitReader& r) {
    const MotHeaderCore core = ReadHeaderCore(r);
    if (!r.ok() || core.header_size < kHeaderCoreSize) return std::nullopt;
    MotHeader h;
    h.body_size = core.body_size;
    h.content_type = core.content_type;
    h.content_subtype = core.content_subtype;
    std::span<const uint8_t> extension = r.Bytes(core.header_size - kHeaderCoreSize);
    if (!r.ok()) return std::nullopt;
    BitReader er(extension);
    if (!ReadParameters(er, &h.parameters)) return std::nullopt;
    return h;
}

size_t Hash(const std::vector<uint8_t>& bytes) {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

const MotParameter* MotHeader::Find(uint8_t id) const {
    for (const MotParameter& p : parameters) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

std::optional<std::string> MotHeader::ContentName() const {
    const MotParameter* p = Find(kMotContentName);
    if (p == nullptr || p->data.empty()) return std::nullopt;
    return DabTextToUtf8(std::span(p->data).subspan(1), p->data[0] >> 4);
}

void MotHeader::SetContentName(const std::string& name) {
    MotParameter p{kMotContentName, {0x00}};
    p.data.insert(p.data.end(), name.begin(), name.end());
    for (MotParameter& existing : parameters) {
        if (existing.id == kMotContentName) {
            existing = std::move(p);
            return;
        }
    }
    parameters.push_back(std::move(p));
}

std::optional<uint8_t> MotHeader::CompressionType() const {
    const MotParameter* p = Find(kMotCompressionType);
    if (p == nullptr || p->data.size() != 1) return std::nullopt;
    return p->data[0];
}

std::vector<uint8_t> BuildMotHeader(const MotHeader& header) {
    BitWriter w;
    PutHeader(w, header);
    return w.Take();
}

std::optional<MotHeaderCore> ParseMotHeaderCore(std::span<const uint8_t> bytes) {
    BitReader r(bytes);
    const MotHeaderCore core = ReadHeaderCore(r);
    if (!r.ok()) return std::nullopt;
    return core;
}

std::optional<MotHeader> ParseMotHeader(std::span<const uint8_t> bytes) {
    BitReader r(bytes);
    return ReadHeader(r);
}

std::vector<uint8_t> BuildMotDirectory(const MotDirectory& d) {
    BitWriter extension;
    for (const MotParameter& p : d.parameters)
        PutParameter(extension, p);
    BitWriter entries;
    for (const MotObject& entry : d.entries) {
        entries.U16(entry.transport_id);
        PutHeader(entries, entry.header);
    }
    const size_t size = kDirectoryFixedSize + extension.size() + entries.size();
    BitWriter w;
    w.Bits(0, 1);  // not compressed
    w.Bits(0, 1);
    w.Bits(static_cast<uint32_t>(size), 30);
    w.U16(static_cast<uint32_t>(d.entries.size()));
    w.U24(d.carousel_period);
    w.Bits(0, 3);
    w.Bits(d.segment_size, 13);
    w.U16(static_cast<uint32_t>(extension.size()));
    w.Bytes(extension.bytes());
    w.Bytes(entries.bytes());
    return w.Take();
}

std::optional<MotDirectory> ParseMotDirectory(std::span<const uint8_t> bytes,
                                              MotDirectoryError* error) {
    const auto fail = [&](MotDirectoryError e) -> std::optional<MotDirectory> {
        if (error) *error = e;
        return std::nullopt;
    };
    BitReader r(bytes);
    MotDirectory d;
    const bool compressed = r.Flag();
    r.Bits(1);
    const size_t size = r.Bits(30);
    const size_t count = r.U16();
    d.carousel_period = r.U24();
    r.Bits(3);
    d.segment_size = static_cast<uint16_t>(r.Bits(13));
    const size_t extension_length = r.U16();
    if (!r.ok()) return fail(MotDirectoryError::kTooShort);
    if (compressed) return fail(MotDirectoryError::kCompressed);
    if (size != bytes.size()) return fail(MotDirectoryError::kSize);
    std::span<const uint8_t> extension = r.Bytes(extension_length);
    if (!r.ok()) return fail(MotDirectoryError::kExtension);
    BitReader er(extension);
    if (!ReadParameters(er, &d.parameters)) return fail(MotDirectoryError::kExtension);
    BitReader entries(r.Rest());
    // Every entry takes at least 9 bytes: a count beyond what the bytes can hold is a lie.
    if (count > entries.bytes_left() / (2 + kHeaderCoreSize)) {
        return fail(MotDirectoryError::kObjectCount);
    }
    d.entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        MotObject entry;
        entry.transport_id = entries.U16();
        std::optional<MotHeader> header = ReadHeader(entries);
        if (!header) return fail(MotDirectoryError::kObjectCount);
        entry.header = std::move(*header);
        d.entries.push_back(std::move(entry));
    }
    if (!entries.ok() || entries.bytes_left() != 0) return fail(MotDirectoryError::kObjectCount);
    if (error) *error = MotDirectoryError::kNone;
    return d;
}

std::optional<MotSegment> ParseMotSegment(std::span<const uint8_t> data_field) {
    BitReader r(data_field);
    MotSegment segment;
    segment.repetition_count = static_cast<uint8_t>(r.Bits(3));
    const size_t size = r.Bits(13);
    segment.data = r.Bytes(size);
    if (!r.ok()) return std::nullopt;
    return segment;
}

std::vector<MscDataGroup> MotEncoder::Segment(uint8_t type, uint16_t transport_id,
                                              std::span<const uint8_t> entity) {
    std::vector<MscDataGroup> groups;
    size_t at = 0;
    uint16_t number = 0;
    do {
        const size_t take = std::min(segment_size_, entity.size() - at);
        MscDataGroup g;
        g.type = type;
        g.continuity = continuity_[type];
        continuity_[type] = (continuity_[type] + 1) & 0x0F;
        g.crc = true;
        g.segmented = true;
        g.segment = number++;
        g.last = at + take == entity.size();
        g.user_access = true;
        g.transport_id = transport_id;
        BitWriter data;
        data.Bits(0, 3);  // repetition count
        data.Bits(static_cast<uint32_t>(take), 13);
        data.Bytes(entity.subspan(at, take));
        g.data = data.Take();
        groups.push_back(std::move(g));
        at += take;
    } while (at < entity.size());
    return groups;
}

std::vector<MscDataGroup> MotEncoder::EncodeHeader(const MotObject& object) {
    return Segment(kDataGroupMotHeader, object.transport_id, BuildMotHeader(object.header));
}

std::vector<MscDataGroup> MotEncoder::EncodeBody(const MotObject& object) {
    return Segment(kDataGroupMotBody, object.transport_id, object.body);
}

std::vector<MscDataGroup> MotEncoder::EncodeObject(const MotObject& object) {
    std::vector<MscDataGroup> groups = EncodeHeader(object);
    for (MscDataGroup& g : EncodeBody(object))
        groups.push_back(std::move(g));
    return groups;
}

std::vector<MscDataGroup> MotEncoder::EncodeDirectory(const MotDirectory& directory,
                                                      uint16_t transport_id) {
    return Segment(kDataGroupMotDirectory, transport_id, BuildMotDirectory(directory));
}

bool MotDecoder::Entity::Complete() const {
    return last && segments.size() == static_cast<size_t>(*last) + 1 &&
           segments.rbegin()->first == *last;
}

std::vector<uint8_t> MotDecoder::Entity::Join() const {
    std::vector<uint8_t> out;
    out.reserve(bytes);
    for (const auto& [number, data] : segments)
        out.insert(out.end(), data.begin(), data.end());
    return out;
}

bool MotDecoder::AddSegment(Entity& entity, const MscDataGroup& g) {
    const std::optional<MotSegment> segment = ParseMotSegment(g.data);
    if (!segment) return false;
    if (entity.last && g.segment > *entity.last) return false;
    if (g.last) {
        if (entity.last && *entity.last != g.segment) return false;
        entity.last = g.segment;
        // Segments numbered beyond the last cannot belong to this entity.
        while (!entity.segments.empty() && entity.segments.rbegin()->first > g.segment) {
            entity.bytes -= entity.segments.rbegin()->second.size();
            entity.segments.erase(std::prev(entity.segments.end()));
        }
    }
    auto& slot = entity.segments[g.segment];
    entity.bytes -= slot.size();
    slot.assign(segment->data.begin(), segment->data.end());
    entity.bytes += slot.size();
    return entity.bytes <= max_object_size_;
}

bool MotDecoder::Feed(std::span<const uint8_t> data_group) {
    const std::optional<MscDataGroup> group = ParseMscDataGroup(data_group);
    return group && Feed(*group);
}

bool MotDecoder::Feed(const MscDataGroup& g) {
    if (g.type != kDataGroupMotHeader && g.type != kDataGroupMotBody &&
        g.type != kDataGroupMotDirectory) {
        return true;
    }
    if (!g.segmented || !g.transport_id) return false;
    const uint16_t tid = *g.transport_id;
    if (g.type == kDataGroupMotDirectory) {
        if (directory_tid_ != tid) directory_ = Entity{};
        directory_tid_ = tid;
        if (!AddSegment(directory_, g)) {
            directory_ = Entity{};
            return false;
        }
        if (!directory_.Complete()) return true;
        std::vector<uint8_t> bytes = directory_.Join();
        if (bytes == last_directory_) return true;
        std::optional<MotDirectory> directory = ParseMotDirectory(bytes);
        if (!directory) {
            directory_ = Entity{};
            return false;
        }
        last_directory_ = std::move(bytes);
        for (const MotObject& entry : directory->entries) {
            known_headers_[entry.transport_id] = entry.header;
        }
        if (on_directory_) on_directory_(*directory);
        for (const MotObject& entry : directory->entries)
            TryComplete(entry.transport_id);
        return true;
    }
    std::map<uint16_t, Entity>& entities = g.type == kDataGroupMotHeader ? headers_ : bodies_;
    if (!entities.contains(tid) && entities.size() >= kMaxEntities) {
        entities.erase(entities.begin());
    }
    Entity& entity = entities[tid];
    if (!AddSegment(entity, g)) {
        entities.erase(tid);
        return false;
    }
    if (!entity.Complete()) return true;
    if (g.type == kDataGroupMotHeader) {
        std::optional<MotHeader> header = ParseMotHeader(entity.Join());
        headers_.erase(tid);
        if (!header) return false;
        if (known_headers_[tid] != *header) delivered_.erase(tid);
        known_headers_[tid] = std::move(*header);
    }
    TryComplete(tid);
    return true;
}

void MotDecoder::TryComplete(uint16_t tid) {
    auto header = known_headers_.find(tid);
    auto body = bodies_.find(tid);
    if (header == known_headers_.end() || body == bodies_.end() || !body->second.Complete()) {
        return;
    }
    MotObject object;
    object.transport_id = tid;
    object.header = header->second;
    object.body = body->second.Join();
    bodies_.erase(body);
    if (object.body.size() != object.header.body_size) return;
    const size_t hash = Hash(object.body);
    if (auto it = delivered_.find(tid); it != delivered_.end() && it->second == hash) return;
    delivered_[tid] = hash;
    on_object_(object);
}

}  // namespace koru::dab
