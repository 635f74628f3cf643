#include "dab/superframe.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "dab/crc.h"
#include "dab/reed_solomon.h"

namespace koru::dab {
namespace {

constexpr uint16_t kFireCodePolynomial = 0x782F;
constexpr size_t kFireCodeBytes = 2;
constexpr size_t kFireCodeSpan = 9;  // header bytes the fire code covers
constexpr size_t kCrcBytes = 2;
constexpr int kAacObjectTypeLc = 2;
constexpr int kAacObjectTypeSbr = 5;
constexpr int kAacObjectTypePs = 29;
constexpr uint8_t kIdDataStreamElement = 4;
constexpr uint8_t kIdEnd = 7;
constexpr std::array<uint8_t, 1> kEmptyAccessUnit{kIdEnd << 5};

const ReedSolomon& SuperframeCode() {
    static const ReedSolomon code(kSuperframeCodewordBytes, kSuperframeParityBytes);
    return code;
}

// The first access unit starts behind the fire code, the header byte and the 12-bit starts of
// the others.
size_t FirstUnitStart(int units) {
    return kFireCodeBytes + 1 + (12 * static_cast<size_t>(units - 1) + 7) / 8;
}

int RateIndex(int rate) {
    switch (rate) {
        case 48000:
            return 3;
        case 32000:
            return 5;
        case 24000:
            return 6;
        default:
            return 8;  // 16000
    }
}

uint8_t HeaderByte(const SuperframeFormat& format) {
    return static_cast<uint8_t>((format.dac_48k ? 0x40 : 0) | (format.sbr ? 0x20 : 0) |
                                (format.stereo ? 0x10 : 0) | (format.ps ? 0x08 : 0) |
                                (format.mpeg_surround & 0x07));
}

SuperframeFormat FormatOf(uint8_t header) {
    SuperframeFormat format;
    format.dac_48k = (header & 0x40) != 0;
    format.sbr = (header & 0x20) != 0;
    format.stereo = (header & 0x10) != 0;
    format.ps = (header & 0x08) != 0;
    format.mpeg_surround = header & 0x07;
    return format;
}

}  // namespace

int SuperframeFormat::AccessUnits() const {
    if (dac_48k) return sbr ? 3 : 6;
    return sbr ? 2 : 4;
}

uint16_t FireCode(std::span<const uint8_t> nine_bytes) {
    uint16_t reg = 0;
    for (uint8_t byte : nine_bytes.first(kFireCodeSpan)) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = ((reg >> 15) ^ (byte >> bit)) & 1;
            reg = static_cast<uint16_t>(reg << 1);
            if (feedback) reg ^= kFireCodePolynomial;
        }
    }
    return reg;
}

bool FireCodeMatches(std::span<const uint8_t> superframe) {
    if (superframe.size() < kFireCodeBytes + kFireCodeSpan) return false;
    const uint16_t sent = static_cast<uint16_t>(superframe[0] << 8 | superframe[1]);
    return FireCode(superframe.subspan(kFireCodeBytes, kFireCodeSpan)) == sent;
}

void PutAudioSpecificConfig(const SuperframeFormat& format, BitWriter* out) {
    const int channels = format.stereo ? 2 : 1;
    if (format.sbr) {
        out->Bits(format.ps ? kAacObjectTypePs : kAacObjectTypeSbr, 5);
        out->Bits(RateIndex(format.CoreRate()), 4);
        out->Bits(channels, 4);
        out->Bits(RateIndex(format.OutputRate()), 4);
        out->Bits(kAacObjectTypeLc, 5);
    } else {
        out->Bits(kAacObjectTypeLc, 5);
        out->Bits(RateIndex(format.CoreRate()), 4);
        out->Bits(channels, 4);
    }
    // GASpecificConfig: frameLengthFlag (960), dependsOnCoreCoder, extensionFlag.
    out->Bits(0b100, 3);
}

std::vector<uint8_t> AudioSpecificConfigOf(const SuperframeFormat& format) {
    BitWriter out;
    PutAudioSpecificConfig(format, &out);
    while (!out.aligned())
        out.Bits(0, 1);
    return out.Take();
}

std::vector<uint8_t> WriteSuperframe(const SuperframeFormat& format,
                                     const std::vector<std::vector<uint8_t>>& units,
                                     SuperframeSize size) {
    const int count = format.AccessUnits();
    if (size.s <= 0 || static_cast<int>(units.size()) != count) {
        throw std::invalid_argument("wrong number of access units for the superframe");
    }
    BitWriter data;
    data.U16(0);  // the fire code, below
    data.U8(HeaderByte(format));
    size_t start = FirstUnitStart(count);
    for (int i = 0; i + 1 < count; ++i) {
        start += units[static_cast<size_t>(i)].size() + kCrcBytes;
        data.Bits(static_cast<uint32_t>(start), 12);
    }
    while (!data.aligned())
        data.Bits(0, 1);
    std::vector<uint8_t> frame = data.Take();
    if (start + units.back().size() + kCrcBytes > size.DataBytes()) {
        throw std::invalid_argument("access units do not fit the superframe");
    }
    for (size_t i = 0; i < units.size(); ++i) {
        std::vector<uint8_t> unit = units[i];
        // The last unit runs to the end of the audio data: zeros after its END element.
        if (i + 1 == units.size()) unit.resize(size.DataBytes() - frame.size() - kCrcBytes, 0);
        const uint16_t crc = Crc16(unit);
        frame.insert(frame.end(), unit.begin(), unit.end());
        frame.push_back(static_cast<uint8_t>(crc >> 8));
        frame.push_back(static_cast<uint8_t>(crc));
    }
    const uint16_t fire = FireCode(std::span(frame).subspan(kFireCodeBytes, kFireCodeSpan));
    frame[0] = static_cast<uint8_t>(fire >> 8);
    frame[1] = static_cast<uint8_t>(fire);

    frame.resize(size.Bytes());
    const auto s = static_cast<size_t>(size.s);
    std::array<uint8_t, kSuperframeDataBytes> message{};
    std::array<uint8_t, kSuperframeParityBytes> parity{};
    for (size_t i = 0; i < s; ++i) {
        for (size_t j = 0; j < kSuperframeDataBytes; ++j)
            message[j] = frame[i + s * j];
        SuperframeCode().Encode(message, parity);
        for (size_t j = 0; j < kSuperframeParityBytes; ++j)
            frame[i + s * (kSuperframeDataBytes + j)] = parity[j];
    }
    return frame;
}

int CorrectSuperframe(std::span<uint8_t> superframe) {
    const size_t s = superframe.size() / kSuperframeCodewordBytes;
    int corrected = 0;
    bool beyond = false;
    std::array<uint8_t, kSuperframeCodewordBytes> codeword{};
    for (size_t i = 0; i < s; ++i) {
        for (size_t j = 0; j < kSuperframeCodewordBytes; ++j)
            codeword[j] = superframe[i + s * j];
        const int result = SuperframeCode().Decode(codeword);
        if (result < 0) {
            beyond = true;
            continue;
        }
        if (result == 0) continue;
        corrected += result;
        for (size_t j = 0; j < kSuperframeCodewordBytes; ++j)
            superframe[i + s * j] = codeword[j];
    }
    return beyond ? -1 : corrected;
}

std::optional<SuperframeContents> ParseSuperframe(std::span<const uint8_t> superframe,
                                                  SuperframeSize size) {
    if (size.s <= 0 || superframe.size() < size.DataBytes() || !FireCodeMatches(superframe)) {
        return std::nullopt;
    }
    const std::span<const uint8_t> audio = superframe.first(size.DataBytes());
    SuperframeContents contents;
    contents.format = FormatOf(audio[kFireCodeBytes]);
    const int count = contents.format.AccessUnits();
    std::array<size_t, kMaxAccessUnits + 1> starts{};
    starts[0] = FirstUnitStart(count);
    BitReader table(audio.subspan(kFireCodeBytes + 1));
    for (int i = 1; i < count; ++i)
        starts[static_cast<size_t>(i)] = table.Bits(12);
    starts[static_cast<size_t>(count)] = audio.size();
    for (int i = 0; i < count; ++i) {
        const size_t begin = starts[static_cast<size_t>(i)];
        const size_t end = starts[static_cast<size_t>(i) + 1];
        if (end > audio.size() || begin >= end || end - begin <= kCrcBytes) return std::nullopt;
        const std::span<const uint8_t> unit = audio.subspan(begin, end - begin - kCrcBytes);
        const uint16_t crc = static_cast<uint16_t>(audio[end - 2] << 8 | audio[end - 1]);
        contents.units.push_back({unit, Crc16(unit) == crc});
    }
    return contents;
}

std::span<const uint8_t> EmptyAccessUnit() {
    return kEmptyAccessUnit;
}

bool IsEmptyAccessUnit(std::span<const uint8_t> unit) {
    return unit.empty() || (unit[0] >> 5) == kIdEnd;
}

std::optional<PadFrame> PadOfAccessUnit(std::span<const uint8_t> unit) {
    BitReader in(unit);
    if (in.Bits(3) != kIdDataStreamElement) return std::nullopt;
    in.Bits(4);  // element_instance_tag
    in.Flag();   // data_byte_align_flag: the count ends on a byte boundary either way
    size_t count = in.U8();
    if (count == 255) count += in.U8();
    const std::span<const uint8_t> bytes = in.Bytes(count);
    if (!in.ok() || count < 2) return std::nullopt;
    PadFrame pad;
    pad.fpad = {bytes[count - 2], bytes[count - 1]};
    pad.xpad.assign(bytes.rbegin() + 2, bytes.rend());
    return pad;
}

SuperframeDecoder::SuperframeDecoder(SuperframeSize size, UnitHandler on_unit)
    : size_(size), on_unit_(std::move(on_unit)) {
    if (size_.s <= 0) throw std::invalid_argument("no DAB+ sub-channel size");
    work_.resize(size_.Bytes());
}

void SuperframeDecoder::Reset() {
    buffer_.clear();
    synced_ = false;
    last_format_.reset();
    lost_bytes_ = 0;
}

void SuperframeDecoder::Feed(std::span<const uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    const size_t need = size_.Bytes();
    while (buffer_.size() >= need) {
        if (synced_) {
            if (TakeAt(0)) continue;
            // Not where it should be (a frame or some bytes went missing): sought from the
            // next byte on.
            synced_ = false;
            Consume(1, true);
            continue;
        }
        bool found = false;
        size_t offset = 0;
        for (; !found && offset + need <= buffer_.size(); ++offset) {
            found = FireCodeMatches(std::span(buffer_).subspan(offset)) && TakeAt(offset);
        }
        if (!found) {
            Consume(offset, true);
            return;
        }
    }
}

bool SuperframeDecoder::TakeAt(size_t offset) {
    std::copy_n(buffer_.begin() + static_cast<long>(offset), size_.Bytes(), work_.begin());
    const int corrected = CorrectSuperframe(work_);
    const std::optional<SuperframeContents> contents = ParseSuperframe(work_, size_);
    if (!contents) return false;
    const bool any_good = std::any_of(contents->units.begin(), contents->units.end(),
                                      [](const SuperframeUnit& unit) { return unit.crc_ok; });
    // Beyond correction with no unit whole: a fire code that held by chance (one place in
    // 65536) while searching, else most likely bytes missing from this superframe.
    if (corrected < 0 && !any_good) return false;
    OweLostTime(offset);
    ++counts_.superframes;
    last_format_ = contents->format;
    for (const SuperframeUnit& unit : contents->units) {
        ++counts_.units;
        if (!unit.crc_ok) ++counts_.lost_units;
        on_unit_(contents->format, unit.crc_ok ? unit.data : std::span<const uint8_t>(),
                 unit.crc_ok);
    }
    if (corrected < 0) {
        // Beyond correction, perhaps for bytes missing inside it: then the next superframe
        // begins less than a superframe on. It is sought from the next byte; the time of this
        // one's units is paid already.
        ++counts_.uncorrectable;
        Consume(offset + 1, false);
        lost_bytes_ -= static_cast<int64_t>(size_.Bytes()) - 1;
        synced_ = false;
        return true;
    }
    counts_.corrected_bytes += static_cast<uint64_t>(corrected);
    Consume(offset + size_.Bytes(), false);
    if (!synced_) ++counts_.syncs;
    synced_ = true;
    return true;
}

void SuperframeDecoder::Consume(size_t bytes, bool lost) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(bytes));
    if (lost) OweLostTime(bytes);
}

// Bytes that gave no superframe become the lost units of superframes of the last format,
// rounded to whole superframes, so that the audio keeps its time. Nothing is owed before the
// first superframe.
void SuperframeDecoder::OweLostTime(size_t bytes) {
    if (!last_format_) return;
    const auto superframe = static_cast<int64_t>(size_.Bytes());
    lost_bytes_ += static_cast<int64_t>(bytes);
    while (2 * lost_bytes_ >= superframe) {
        lost_bytes_ -= superframe;
        ++counts_.lost_superframes;
        for (int i = 0; i < last_format_->AccessUnits(); ++i) {
            ++counts_.units;
            ++counts_.lost_units;
            on_unit_(*last_format_, {}, false);
        }
    }
}

}  // namespace koru::dab
