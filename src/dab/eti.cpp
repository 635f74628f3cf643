#include "dab/eti.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "dab/crc.h"

namespace koru::dab {
namespace {

constexpr size_t kSyncSize = 4;  // ERR, FSYNC
constexpr size_t kFcSize = 4;    // FCT, FICF, NST, FP, MID, FL
constexpr size_t kEohSize = 4;   // MNSC, header CRC
constexpr size_t kEofSize = 4;   // MST CRC, RFU
constexpr size_t kTistSize = 4;
constexpr uint8_t kPadding = 0x55;  // fills the frame after TIST

uint32_t Be24(std::span<const uint8_t> b, size_t at) {
    return (uint32_t{b[at]} << 16) | (uint32_t{b[at + 1]} << 8) | b[at + 2];
}
uint16_t Be16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
void PutBe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

size_t FicBytes(bool ficf, uint8_t mid) {
    if (!ficf) return 0;
    return static_cast<size_t>(FibsPerFrame(mid)) * kFibSize;
}

// True when the frame header from `frame` on is complete and its CRC holds.
bool HeaderCrcValid(std::span<const uint8_t> frame) {
    if (frame.size() < kSyncSize + kFcSize) return false;
    const size_t nst = frame[5] & 0x7F;
    const size_t crc_at = kSyncSize + kFcSize + 4 * nst + 2;
    if (crc_at + 2 > frame.size()) return false;
    return Crc16(frame.subspan(kSyncSize, crc_at - kSyncSize)) == Be16(frame, crc_at);
}

}  // namespace

const EtiStream* EtiFrame::FindStream(int subchannel_id) const {
    for (const EtiStream& stream : streams) {
        if (stream.subchannel_id == subchannel_id) return &stream;
    }
    return nullptr;
}

int FibsPerFrame(uint8_t mid) {
    return mid == 3 ? 4 : 3;
}

const char* EtiErrorText(EtiError error) {
    switch (error) {
        case EtiError::kNone:
            return "good frame";
        case EtiError::kTruncated:
            return "frame truncated";
        case EtiError::kNoSync:
            return "no frame sync";
        case EtiError::kErrorFlag:
            return "ERR flags an error";
        case EtiError::kHeaderCrc:
            return "header CRC error";
        case EtiError::kFrameLength:
            return "frame length FL does not match";
        case EtiError::kStreamLength:
            return "stream length STL overruns the frame";
        case EtiError::kMstCrc:
            return "MST CRC error";
    }
    return "unknown";
}

EtiError ParseEtiFrame(std::span<const uint8_t> b, EtiFrame* frame) {
    if (b.size() > kEtiFrameSize) b = b.first(kEtiFrameSize);
    if (b.size() < kSyncSize + kFcSize) return EtiError::kTruncated;
    const uint32_t fsync = Be24(b, 1);
    if (fsync != kFsyncEven && fsync != kFsyncOdd) return EtiError::kNoSync;
    if (b[0] != 0xFF) return EtiError::kErrorFlag;

    const bool ficf = (b[5] & 0x80) != 0;
    const size_t nst = b[5] & 0x7F;
    const uint8_t mid = (b[6] >> 3) & 0x03;
    const size_t fl = static_cast<size_t>((b[6] & 0x07) << 8) | b[7];
    const size_t stc_at = kSyncSize + kFcSize;
    const size_t mst_at = stc_at + 4 * nst + kEohSize;
    if (mst_at > b.size()) return EtiError::kTruncated;
    if (!HeaderCrcValid(b)) return EtiError::kHeaderCrc;

    // FL counts the 32-bit words of STC, EOH and MST.
    if (kSyncSize + kFcSize + 4 * fl + kEofSize + kTistSize > kEtiFrameSize ||
        4 * fl < 4 * nst + kEohSize) {
        return EtiError::kFrameLength;
    }
    const size_t mst_size = 4 * fl - 4 * nst - kEohSize;
    const size_t fic_size = FicBytes(ficf, mid);
    if (fic_size > mst_size) return EtiError::kFrameLength;
    size_t left = mst_size - fic_size;
    for (size_t i = 0; i < nst; ++i) {
        const size_t stl =
            static_cast<size_t>((b[stc_at + 4 * i + 2] & 0x03) << 8) | b[stc_at + 4 * i + 3];
        if (8 * stl > left) return EtiError::kStreamLength;
        left -= 8 * stl;
    }
    if (left != 0) return EtiError::kFrameLength;
    const size_t eof_at = mst_at + mst_size;
    if (eof_at + kEofSize + kTistSize > b.size()) return EtiError::kTruncated;
    if (Crc16(b.subspan(mst_at, mst_size)) != Be16(b, eof_at)) return EtiError::kMstCrc;

    EtiFrame out;
    out.err = b[0];
    out.fsync = fsync;
    out.fct = b[4];
    out.fp = b[6] >> 5;
    out.mid = mid;
    out.mnsc = Be16(b, mst_at - 4);
    out.tist = (uint32_t{b[eof_at + 4]} << 24) | Be24(b, eof_at + 5);
    for (size_t at = mst_at; at < mst_at + fic_size; at += kFibSize) {
        Fib fib;
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(at), kFibSize, fib.begin());
        out.fibs.push_back(fib);
    }
    size_t data_at = mst_at + fic_size;
    for (size_t i = 0; i < nst; ++i) {
        const size_t at = stc_at + 4 * i;
        EtiStream stream;
        stream.subchannel_id = b[at] >> 2;
        stream.start_address = static_cast<uint16_t>(((b[at] & 0x03) << 8) | b[at + 1]);
        stream.tpl = b[at + 2] >> 2;
        const size_t size = 8 * (static_cast<size_t>((b[at + 2] & 0x03) << 8) | b[at + 3]);
        const auto first = b.begin() + static_cast<std::ptrdiff_t>(data_at);
        stream.data.assign(first, first + static_cast<std::ptrdiff_t>(size));
        data_at += size;
        out.streams.push_back(std::move(stream));
    }
    *frame = std::move(out);
    return EtiError::kNone;
}

std::vector<uint8_t> WriteEtiFrame(const EtiFrame& frame) {
    const size_t nst = frame.streams.size();
    if (nst > 127) throw std::invalid_argument("ETI frame: more than 127 streams");
    if (!frame.fibs.empty() && frame.fibs.size() != static_cast<size_t>(FibsPerFrame(frame.mid))) {
        throw std::invalid_argument("ETI frame: wrong number of FIBs for the mode");
    }
    size_t mst_size = frame.fibs.size() * kFibSize;
    for (const EtiStream& stream : frame.streams) {
        if (stream.data.size() % 8 != 0 || stream.data.size() / 8 > 0x3FF) {
            throw std::invalid_argument("ETI frame: a stream is not a whole number of 64 bits");
        }
        if (stream.subchannel_id > 63 || stream.start_address > 0x3FF || stream.tpl > 0x3F) {
            throw std::invalid_argument("ETI frame: stream field out of range");
        }
        mst_size += stream.data.size();
    }
    const size_t fl = nst + 1 + mst_size / 4;
    if (kSyncSize + kFcSize + 4 * fl + kEofSize + kTistSize > kEtiFrameSize) {
        throw std::invalid_argument("ETI frame: contents exceed 6144 bytes");
    }

    std::vector<uint8_t> out;
    out.reserve(kEtiFrameSize);
    const uint32_t fsync =
        frame.fsync != 0 ? frame.fsync : (frame.fct % 2 == 0 ? kFsyncEven : kFsyncOdd);
    out.push_back(frame.err);
    out.push_back(static_cast<uint8_t>(fsync >> 16));
    out.push_back(static_cast<uint8_t>(fsync >> 8));
    out.push_back(static_cast<uint8_t>(fsync));
    out.push_back(frame.fct);
    out.push_back(static_cast<uint8_t>((frame.fibs.empty() ? 0 : 0x80) | nst));
    out.push_back(static_cast<uint8_t>(((frame.fp & 0x07) << 5) | ((frame.mid & 0x03) << 3) |
                                       ((fl >> 8) & 0x07)));
    out.push_back(static_cast<uint8_t>(fl));
    for (const EtiStream& stream : frame.streams) {
        const size_t stl = stream.data.size() / 8;
        out.push_back(
            static_cast<uint8_t>((stream.subchannel_id << 2) | (stream.start_address >> 8)));
        out.push_back(static_cast<uint8_t>(stream.start_address));
        out.push_back(static_cast<uint8_t>((stream.tpl << 2) | (stl >> 8)));
        out.push_back(static_cast<uint8_t>(stl));
    }
    PutBe16(out, frame.mnsc);
    PutBe16(out, Crc16(std::span(out).subspan(kSyncSize)));
    const size_t mst_at = out.size();
    for (const Fib& fib : frame.fibs)
        out.insert(out.end(), fib.begin(), fib.end());
    for (const EtiStream& stream : frame.streams) {
        out.insert(out.end(), stream.data.begin(), stream.data.end());
    }
    PutBe16(out, Crc16(std::span(out).subspan(mst_at)));
    PutBe16(out, 0xFFFF);  // RFU
    PutBe16(out, static_cast<uint16_t>(frame.tist >> 16));
    PutBe16(out, static_cast<uint16_t>(frame.tist));
    out.resize(kEtiFrameSize, kPadding);
    return out;
}

std::optional<EtiReader> EtiReader::Open(const std::filesystem::path& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot open " + path.string();
        return std::nullopt;
    }
    // In one read: a recording of minutes is tens of megabytes.
    std::vector<uint8_t> data;
    std::error_code size_error;
    const uintmax_t size = std::filesystem::file_size(path, size_error);
    if (!size_error && size > 0) {
        data.resize(static_cast<size_t>(size));
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
        data.resize(static_cast<size_t>(in.gcount()));
    } else {
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (in.bad()) {
        if (error) *error = "cannot read " + path.string();
        return std::nullopt;
    }
    return EtiReader(std::move(data));
}

bool EtiReader::SyncAt(size_t offset) const {
    if (offset + kSyncSize > data_.size()) return false;
    const uint32_t fsync = Be24(data_, offset + 1);
    return fsync == kFsyncEven || fsync == kFsyncOdd;
}

size_t EtiReader::FindSync(size_t from) const {
    for (size_t at = from; at + kSyncSize <= data_.size(); ++at) {
        if (SyncAt(at) && HeaderCrcValid(std::span(data_).subspan(at))) return at;
    }
    return data_.size();
}

void EtiReader::Reject(size_t offset, EtiError error) {
    ++bad_frames_;
    if (on_bad_frame_) on_bad_frame_(offset, error);
}

bool EtiReader::Next(EtiFrame* frame) {
    while (offset_ < data_.size()) {
        const size_t at = offset_;
        if (!SyncAt(at)) {
            offset_ = FindSync(at + 1);
            Reject(at, data_.size() - at < kSyncSize ? EtiError::kTruncated : EtiError::kNoSync);
            continue;
        }
        const size_t available = std::min(kEtiFrameSize, data_.size() - at);
        const EtiError error = ParseEtiFrame(std::span(data_).subspan(at, available), frame);
        offset_ = at + available;
        if (error == EtiError::kNone) {
            ++good_frames_;
            return true;
        }
        // Look again from the next byte: the frame may have lost bytes, so the next one
        // need not start 6144 bytes on.
        offset_ = FindSync(at + 1);
        Reject(at, error);
    }
    return false;
}

}  // namespace koru::dab
