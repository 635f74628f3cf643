// Recordings of DAB+ radio: the receiver's LOAS frames in, an MPEG-4 audio file (".m4a") out.
// DAB+ units are AAC frames of 960 samples, which ADTS cannot describe (its readers take every
// frame for 1024 samples, so the sound would play slowed and the file seem longer than it is);
// the MP4 file carries the AudioSpecificConfig with its frame length and every unit's duration,
// so players and ffprobe see the recording's true length. The file is written in fragments of
// a second, so that a recording cut short (a full disk, a crash) keeps all but its last second.
// A lost unit (an empty one) is kept as it came: its time stays in the file.
#ifndef M4SYSTEMS_TERMINAL_M4A_WRITER_H
#define M4SYSTEMS_TERMINAL_M4A_WRITER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "dab/loas.h"
#include "m4systems/m4_types.h"

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace koru::m4 {

class M4_INTERNAL M4aWriter {
  public:
    // Where the file's bytes go; false when they could not be written (the writer then stops).
    using Output = std::function<bool(const uint8_t* data, size_t length)>;

    explicit M4aWriter(Output output);
    ~M4aWriter();
    M4aWriter(const M4aWriter&) = delete;
    M4aWriter& operator=(const M4aWriter&) = delete;

    // LOAS bytes in any pieces. The file begins with the first frame that carries a config.
    void Write(const uint8_t* data, size_t length);
    // Writes the last fragment and the index; false when the output failed on the way.
    bool Finish();
    // The output failed: nothing more is written, Finish writes nothing.
    void Abandon();

    uint64_t units() const { return units_; }

  private:
    bool Begin(const std::vector<uint8_t>& config);
    void WriteUnit(const std::vector<uint8_t>& unit);
    static int WriteOut(void* opaque, uint8_t* data, int size);

    const Output output_;
    dab::LoasReader reader_;
    std::vector<uint8_t> pending_;
    std::vector<uint8_t> config_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t unit_duration_ = 0;  // in samples of the output rate
    int64_t next_pts_ = 0;
    uint64_t units_ = 0;
    bool failed_ = false;
    bool changed_logged_ = false;
};

}  // namespace koru::m4

#endif
