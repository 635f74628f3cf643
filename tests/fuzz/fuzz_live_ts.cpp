// The terminal's live transport-stream input on random bytes: the bytes arrive as a plug-in
// would deliver them, FFmpeg's demuxer (with the terminal's small probe) and the decoders read
// them, without waiting for any clock. It must end, without crashing, in bounded memory.
#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/log.h>
}

#include "m4systems/terminal/audio_output.h"
#include "m4systems/terminal/live_source.h"
#include "m4systems/terminal/media_session.h"
#include "m4systems/terminal/video_renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru::m4;
    static AudioOutput audio;        // never opened: no device
    av_log_set_level(AV_LOG_QUIET);  // broken input makes FFmpeg talk
    VideoRenderer video(nullptr);
    video.SetSize(64, 48);
    LiveSource source(nullptr, nullptr, nullptr);
    // The first byte picks the input kind, as the URL's extension would.
    const bool transport_stream = size == 0 || (data[0] & 1) == 0;
    // Delivered in pieces of varying size, as a download thread does.
    size_t at = size > 0 ? 1 : 0;
    while (at < size) {
        const size_t piece = std::min<size_t>(size - at, 1 + data[at] * 4);
        source.Deliver(data + at, piece);
        at += piece;
    }
    source.Finish();
    MediaSession session(&audio, &video, SessionEvents{});
    session.OpenLive(&source,
                     transport_stream ? LiveFormat::kTransportStream : LiveFormat::kMpegAudio);
    session.RunLiveToEnd();
    return 0;
}
