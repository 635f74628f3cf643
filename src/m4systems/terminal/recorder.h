// Recording of a live input: the bytes are written to the file as they arrive, before any
// decoding, so a paused or slow player loses nothing. A file never grows beyond the size limit
// (2 GB: the recording stops with 1237). A ".ts" recording is cut at packet boundaries when the
// stream's time jumps (a PCR that moves backwards, or forwards by more than the time that
// passed) and goes on in "<base>-1.ts", "<base>-2.ts" ... with 1238 for each. A ".m4a"
// recording of a stream signalled the T-DMB way (MPEG-4 Systems) holds the plain form the live
// input makes of it (Mpeg4SystemsInput), which file players read; any other transport stream
// is written byte for byte. A ".m4a"
// recording takes DAB+ audio (LOAS frames) and writes it as MPEG-4 audio (M4aWriter). A write
// failure stops the recording with 1236. What was written reaches the file at least once a
// second, so a player that is killed leaves a recording that plays up to its last second.
// Messages are sent after the recorder's lock is released.
#ifndef M4SYSTEMS_TERMINAL_RECORDER_H
#define M4SYSTEMS_TERMINAL_RECORDER_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "m4systems/m4_types.h"
#include "m4systems/terminal/m4a_writer.h"
#include "m4systems/terminal/mpeg4_systems_input.h"

namespace koru::m4 {

class M4_INTERNAL Recorder {
  public:
    // (message, wparam, lparam)
    using Notify = std::function<void(uint32_t, int64_t, int64_t)>;
    using NowMs = std::function<uint32_t()>;
    static constexpr uint64_t kSizeLimit = 2147483647;  // bytes a file may hold
    static constexpr uint32_t kFlushMs = 1000;          // the longest a written byte waits

    // now_ms: the arrival clock for telling a jump from a gap (the terminal clock).
    Recorder(Notify notify, NowMs now_ms, uint64_t size_limit = kSizeLimit);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens path (a running recording is stopped first). False, with 1236, when it cannot be
    // created.
    bool Start(const std::string& path);
    // Writes what is pending, flushes and closes. A failure then is reported with 1236.
    void Stop();
    // Bytes as they arrived; ignored while not recording. Any thread.
    void Write(const uint8_t* data, size_t length);
    bool Recording() const;

  private:
    struct PcrState {
        int64_t pcr_90khz;
        uint32_t arrival_ms;
    };
    using Messages = std::vector<std::array<int64_t, 3>>;

    bool OpenLocked(const std::string& path, Messages* out);
    void CloseLocked(Messages* out);
    void WriteTsLocked(Messages* out);
    bool TimeJumps(const uint8_t* packet, uint32_t now);
    // Writes whole units only while they fit below the limit; false once the recording ended.
    bool WriteUnitLocked(const uint8_t* data, size_t length, Messages* out);
    bool WriteRawLocked(const uint8_t* data, size_t length, Messages* out);
    void FlushIfDueLocked(uint32_t now, Messages* out);
    void FailLocked(uint32_t message, Messages* out);
    void Send(const Messages& messages);

    const Notify notify_;
    const NowMs now_ms_;
    const uint64_t size_limit_;
    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    std::vector<char> file_buffer_;
    bool ts_mode_ = false;
    std::string base_;  // path without ".ts"
    int splits_ = 0;
    uint64_t file_bytes_ = 0;
    uint32_t flushed_ms_ = 0;
    std::unique_ptr<Mpeg4SystemsInput> systems_;  // ".ts" recordings
    std::vector<uint8_t> pending_;  // TS bytes not yet written (less than one packet, or more)
    std::map<int, PcrState> pcr_;
    std::unique_ptr<M4aWriter> m4a_;  // a ".m4a" recording
    Messages m4a_messages_;           // what the writer's output reported, not yet sent
};

}  // namespace koru::m4

#endif
