// T-DMB's MPEG-4 Systems signalling on random bytes: the IOD, object descriptor and SL header
// parsers directly, and the terminal's rewriting of a transport stream that carries them (the
// bytes become packets of a PMT with an IOD, object descriptor sections and SL-packetized
// PES). Nothing may read outside its buffer, hang or grow without bound.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dab/mpeg4_systems.h"
#include "dab/transport_stream.h"
#include "m4systems/terminal/mpeg4_systems_input.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A PMT of program 1 on PID 0x100: an IOD descriptor made of `iod`, an OD stream on 0x111
// (ES 2) and SL streams on 0x120 (ES 3) and 0x121 (ES 4).
Bytes Pmt(const uint8_t* iod, size_t iod_size) {
    const size_t n = std::min<size_t>(iod_size, 200);
    Bytes s = {0x02, 0,
               0,    0x00,
               0x01, 0xC1,
               0,    0,
               0xE1, 0x20,
               0xF0, static_cast<uint8_t>(n + 2),
               0x1D, static_cast<uint8_t>(n)};
    s.insert(s.end(), iod, iod + n);
    const uint8_t streams[] = {0x13, 0xE1, 0x11, 0xF0, 4, 0x1F, 2, 0, 2,
                               0x12, 0xE1, 0x20, 0xF0, 4, 0x1F, 2, 0, 3,
                               0x12, 0xE1, 0x21, 0xF0, 4, 0x1F, 2, 0, 4};
    s.insert(s.end(), std::begin(streams), std::end(streams));
    const size_t length = s.size() - 3 + 4;
    s[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    s[2] = static_cast<uint8_t>(length);
    const uint32_t crc = koru::dab::Crc32Mpeg(s);
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(crc >> shift));
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru;
    const std::span<const uint8_t> input(data, size);
    dab::ParseIodDescriptor(input);
    dab::ParseObjectDescriptorCommands(input);
    if (size >= 2) {
        dab::SlConfig config;
        config.use_au_start = data[0] & 1;
        config.use_au_end = data[0] & 2;
        config.use_random_access = data[0] & 4;
        config.use_padding = data[0] & 8;
        config.use_timestamps = data[0] & 16;
        config.use_idle = data[0] & 32;
        config.timestamp_length = data[1] % 65;
        config.ocr_length = data[1] % 7;
        config.au_length = data[1] % 33;
        config.timestamp_resolution = 90000;
        dab::ParseSlHeader(input.subspan(2), config);
        if (auto audio = dab::ParseAudioSpecificConfig(input.subspan(2))) {
            dab::AdtsHeader(*audio, size);
        }
    }

    // The same bytes as a stream: PAT and PMT first, then the input in 184-byte pieces on
    // the PIDs its first bytes choose.
    const size_t head = std::min<size_t>(size, 64);
    Bytes ts;
    uint8_t counters[4] = {};
    const Bytes pat = {0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00,
                       0x00, 0x01, 0xE1, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes pat_section(pat.begin(), pat.end() - 4);
    const uint32_t crc = dab::Crc32Mpeg(pat_section);
    for (int shift = 24; shift >= 0; shift -= 8)
        pat_section.push_back(static_cast<uint8_t>(crc >> shift));
    dab::WriteSection(0, pat_section, &counters[0], &ts);
    dab::WriteSection(0x100, Pmt(data, head), &counters[1], &ts);
    static const int kPids[] = {0x111, 0x120, 0x121, 0x100};
    for (size_t at = head; at < size; at += 184) {
        const size_t take = std::min<size_t>(184, size - at);
        const int pid = kPids[data[at] & 3];
        ts.insert(ts.end(),
                  {0x47, static_cast<uint8_t>(((data[at] & 4) ? 0x40 : 0) | (pid >> 8)),
                   static_cast<uint8_t>(pid), static_cast<uint8_t>(0x10 | (counters[2]++ & 0x0F))});
        ts.insert(ts.end(), data + at, data + at + take);
        ts.resize(ts.size() + 184 - take, 0xFF);
    }
    m4::Mpeg4SystemsInput rewriter(nullptr);
    Bytes out;
    for (size_t at = 0; at < ts.size(); at += 1000) {
        rewriter.Process(ts.data() + at, std::min<size_t>(1000, ts.size() - at), &out);
        if (out.size() > 64 * ts.size() + (1 << 20)) __builtin_trap();
    }
    rewriter.Flush(&out);
    return 0;
}
