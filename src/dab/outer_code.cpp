#include "dab/outer_code.h"

#include <algorithm>

#include "dab/reed_solomon.h"

namespace koru::dab {
namespace {

constexpr uint8_t kSync = 0x47;
// Sync bytes in a row that settle the packet period, and misses in a row that lose it.
constexpr int kSyncsToLock = 5;
constexpr int kMissesToLoseLock = 8;
// Bytes a search keeps while no period shows.
constexpr size_t kSearchWindow = 8 * 1024;

const ReedSolomon& OuterCode() {
    static const ReedSolomon code(kOuterPacketBytes, kOuterParityBytes);
    return code;
}

}  // namespace

std::array<uint8_t, kOuterPacketBytes> RsEncode(std::span<const uint8_t, kTsPacketBytes> packet) {
    std::array<uint8_t, kOuterPacketBytes> out{};
    std::copy(packet.begin(), packet.end(), out.begin());
    OuterCode().Encode(packet, std::span(out).subspan(kTsPacketBytes));
    return out;
}

int RsDecode(std::span<uint8_t, kOuterPacketBytes> packet) {
    return OuterCode().Decode(packet);
}

ConvolutionalInterleaver::ConvolutionalInterleaver(bool deinterleave) {
    for (size_t j = 0; j < kInterleaverBranches; ++j) {
        const size_t cells = deinterleave ? kInterleaverBranches - 1 - j : j;
        branches_[j].fifo.assign(cells * kInterleaverDepth, 0);
    }
}

uint8_t ConvolutionalInterleaver::Push(uint8_t byte) {
    Branch& branch = branches_[branch_];
    branch_ = (branch_ + 1) % kInterleaverBranches;
    if (branch.fifo.empty()) return byte;
    const uint8_t out = branch.fifo[branch.at];
    branch.fifo[branch.at] = byte;
    branch.at = (branch.at + 1) % branch.fifo.size();
    return out;
}

void ConvolutionalInterleaver::Reset() {
    for (Branch& branch : branches_) {
        std::fill(branch.fifo.begin(), branch.fifo.end(), 0);
        branch.at = 0;
    }
    branch_ = 0;
}

std::vector<uint8_t> OuterEncode(std::span<const uint8_t> stream, ConvolutionalInterleaver* state) {
    std::vector<uint8_t> out;
    out.reserve(stream.size() / kTsPacketBytes * kOuterPacketBytes);
    for (size_t at = 0; at + kTsPacketBytes <= stream.size(); at += kTsPacketBytes) {
        const auto coded = RsEncode(stream.subspan(at).first<kTsPacketBytes>());
        for (uint8_t byte : coded)
            out.push_back(state->Push(byte));
    }
    return out;
}

OuterDecoder::OuterDecoder() : deinterleaver_(true) {}

void OuterDecoder::Reset() {
    mode_ = Mode::kSearching;
    pending_.clear();
    deinterleaver_.Reset();
    position_ = 0;
    missed_syncs_ = 0;
    packet_fill_ = 0;
}

void OuterDecoder::Process(std::span<const uint8_t> in, std::vector<uint8_t>* out) {
    size_t at = 0;
    while (at < in.size()) {
        if (mode_ == Mode::kPlain) {
            out->insert(out->end(), in.begin() + static_cast<long>(at), in.end());
            return;
        }
        if (mode_ == Mode::kOuterCoded) {
            Decode(in[at++], out);
            continue;
        }
        // Searching: gather, then look for a period in what was gathered.
        const size_t take = std::min(in.size() - at, kOuterPacketBytes);
        pending_.insert(pending_.end(), in.begin() + static_cast<long>(at),
                        in.begin() + static_cast<long>(at + take));
        at += take;
        Search(out);
    }
}

void OuterDecoder::Search(std::vector<uint8_t>* out) {
    auto period_at = [&](size_t start, size_t period) {
        for (int k = 0; k < kSyncsToLock; ++k) {
            if (pending_[start + k * period] != kSync) return false;
        }
        return true;
    };
    const size_t coded_span = (kSyncsToLock - 1) * kOuterPacketBytes + 1;
    const size_t plain_span = (kSyncsToLock - 1) * kTsPacketBytes + 1;
    for (size_t start = 0; start + plain_span <= pending_.size(); ++start) {
        if (pending_[start] != kSync) continue;
        if (start + coded_span <= pending_.size() && period_at(start, kOuterPacketBytes)) {
            mode_ = Mode::kOuterCoded;
            std::vector<uint8_t> rest(pending_.begin() + static_cast<long>(start), pending_.end());
            pending_.clear();
            for (uint8_t byte : rest)
                Decode(byte, out);
            return;
        }
        if (period_at(start, kTsPacketBytes)) {
            // A coded stream can show a 188 period only by chance; wait for its next sync.
            if (start + coded_span > pending_.size()) return;
            mode_ = Mode::kPlain;
            out->insert(out->end(), pending_.begin(), pending_.end());
            pending_.clear();
            return;
        }
    }
    if (pending_.size() > kSearchWindow) {
        pending_.erase(pending_.begin(), pending_.end() - static_cast<long>(coded_span));
    }
}

void OuterDecoder::Decode(uint8_t byte, std::vector<uint8_t>* out) {
    if (position_ % kOuterPacketBytes == 0) {
        missed_syncs_ = byte == kSync ? 0 : missed_syncs_ + 1;
        if (missed_syncs_ >= kMissesToLoseLock) {
            Reset();
            pending_.push_back(byte);
            return;
        }
    }
    ++position_;
    packet_[packet_fill_++] = deinterleaver_.Push(byte);
    if (packet_fill_ < kOuterPacketBytes) return;
    packet_fill_ = 0;
    if (position_ > kInterleaverFillBytes) EmitPacket(out);
}

void OuterDecoder::EmitPacket(std::vector<uint8_t>* out) {
    ++counts_.packets;
    const int corrected = RsDecode(packet_);
    if (corrected > 0) ++counts_.corrected;
    packet_[0] = kSync;
    if (corrected < 0) {
        ++counts_.uncorrectable;
        packet_[1] |= 0x80;  // transport_error_indicator
    }
    out->insert(out->end(), packet_.begin(), packet_.begin() + kTsPacketBytes);
}

}  // namespace koru::dab
