#include "dab/outer_code.h"

#include <algorithm>

namespace koru::dab {
namespace {

constexpr uint8_t kSync = 0x47;
constexpr unsigned kFieldPolynomial = 0x11D;
// Sync bytes in a row that settle the packet period, and misses in a row that lose it.
constexpr int kSyncsToLock = 5;
constexpr int kMissesToLoseLock = 8;
// Bytes a search keeps while no period shows.
constexpr size_t kSearchWindow = 8 * 1024;

struct Field {
    std::array<uint8_t, 512> exp{};
    std::array<int, 256> log{};
    std::array<uint8_t, kOuterParityBytes + 1> generator{};  // highest degree first

    Field() {
        unsigned x = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = static_cast<uint8_t>(x);
            log[x] = i;
            x <<= 1;
            if (x & 0x100) x ^= kFieldPolynomial;
        }
        for (int i = 255; i < 512; ++i)
            exp[i] = exp[i - 255];
        // g(x) = (x + a^0)(x + a^1) ... (x + a^15)
        std::array<uint8_t, kOuterParityBytes + 1> g{};
        g[0] = 1;
        for (size_t root = 0; root < kOuterParityBytes; ++root) {
            for (size_t i = root + 1; i > 0; --i) {
                g[i] = static_cast<uint8_t>(g[i] ^ Mul(g[i - 1], exp[root]));
            }
        }
        generator = g;
    }
    uint8_t Mul(uint8_t a, uint8_t b) const { return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]]; }
    uint8_t Div(uint8_t a, uint8_t b) const { return a == 0 ? 0 : exp[log[a] + 255 - log[b]]; }
    uint8_t Pow(int exponent) const { return exp[((exponent % 255) + 255) % 255]; }
};

const Field& Gf() {
    static const Field field;
    return field;
}

// p(x) at x, coefficients lowest degree first.
uint8_t Evaluate(std::span<const uint8_t> p, uint8_t x) {
    const Field& gf = Gf();
    uint8_t value = 0;
    for (size_t i = p.size(); i > 0; --i)
        value = static_cast<uint8_t>(gf.Mul(value, x) ^ p[i - 1]);
    return value;
}

}  // namespace

std::array<uint8_t, kOuterPacketBytes> RsEncode(std::span<const uint8_t, kTsPacketBytes> packet) {
    const Field& gf = Gf();
    std::array<uint8_t, kOuterPacketBytes> out{};
    std::copy(packet.begin(), packet.end(), out.begin());
    // The remainder of m(x) x^16 divided by g(x), by long division.
    std::array<uint8_t, kOuterParityBytes> parity{};
    for (uint8_t byte : packet) {
        const uint8_t feedback = byte ^ parity[0];
        std::copy(parity.begin() + 1, parity.end(), parity.begin());
        parity.back() = 0;
        if (feedback == 0) continue;
        for (size_t i = 0; i < kOuterParityBytes; ++i) {
            parity[i] ^= gf.Mul(feedback, gf.generator[i + 1]);
        }
    }
    std::copy(parity.begin(), parity.end(), out.begin() + kTsPacketBytes);
    return out;
}

int RsDecode(std::span<uint8_t, kOuterPacketBytes> packet) {
    const Field& gf = Gf();
    // Byte i is the coefficient of x^(203 - i).
    std::array<uint8_t, kOuterParityBytes> syndromes{};
    bool clean = true;
    for (size_t j = 0; j < kOuterParityBytes; ++j) {
        uint8_t s = 0;
        const uint8_t root = gf.exp[j];
        for (uint8_t byte : packet)
            s = static_cast<uint8_t>(gf.Mul(s, root) ^ byte);
        syndromes[j] = s;
        clean = clean && s == 0;
    }
    if (clean) return 0;

    // Berlekamp-Massey: the error locator lambda(x), lowest degree first.
    std::array<uint8_t, kOuterParityBytes + 1> lambda{}, previous{}, saved{};
    lambda[0] = previous[0] = 1;
    int length = 0;
    int shift = 1;
    uint8_t previous_discrepancy = 1;
    for (size_t n = 0; n < kOuterParityBytes; ++n) {
        uint8_t d = syndromes[n];
        for (int i = 1; i <= length; ++i)
            d ^= gf.Mul(lambda[i], syndromes[n - i]);
        if (d == 0) {
            ++shift;
            continue;
        }
        saved = lambda;
        const uint8_t scale = gf.Div(d, previous_discrepancy);
        for (size_t i = 0; i + shift <= kOuterParityBytes; ++i) {
            lambda[i + shift] ^= gf.Mul(scale, previous[i]);
        }
        if (2 * length <= static_cast<int>(n)) {
            length = static_cast<int>(n) + 1 - length;
            previous = saved;
            previous_discrepancy = d;
            shift = 1;
        } else {
            ++shift;
        }
    }
    if (length > kOuterCorrectableBytes) return -1;

    // omega(x) = S(x) lambda(x) mod x^16; lambda'(x) keeps the odd terms.
    std::array<uint8_t, kOuterParityBytes> omega{};
    for (size_t i = 0; i < kOuterParityBytes; ++i) {
        for (size_t k = 0; k <= i; ++k)
            omega[i] ^= gf.Mul(syndromes[k], lambda[i - k]);
    }
    std::array<uint8_t, kOuterParityBytes> derivative{};
    for (size_t i = 1; i <= kOuterParityBytes; i += 2)
        derivative[i - 1] = lambda[i];

    // Chien search over the positions the shortened code has, Forney for the values.
    std::array<size_t, kOuterCorrectableBytes> where{};
    std::array<uint8_t, kOuterCorrectableBytes> value{};
    int found = 0;
    for (int degree = 0; degree < static_cast<int>(kOuterPacketBytes); ++degree) {
        const uint8_t inverse = gf.Pow(-degree);
        if (Evaluate(lambda, inverse) != 0) continue;
        if (found == length) return -1;
        const uint8_t slope = Evaluate(derivative, inverse);
        if (slope == 0) return -1;
        where[found] = kOuterPacketBytes - 1 - static_cast<size_t>(degree);
        value[found] = gf.Mul(gf.Pow(degree), gf.Div(Evaluate(omega, inverse), slope));
        ++found;
    }
    if (found != length) return -1;  // roots outside the packet: more errors than t
    for (int i = 0; i < found; ++i)
        packet[where[i]] ^= value[i];
    return found;
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
