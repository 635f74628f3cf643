// Media for the ensembles: pictures and MPEG-2 transport streams made with the ffmpeg program
// (kept in a cache folder, named after their command line and FFmpeg's version, so that a
// second run reuses them), and MPEG-1 Layer II tones encoded with libtwolame.
#ifndef MKENS_MEDIA_H
#define MKENS_MEDIA_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/mkens/description.h"

namespace koru::mkens {

class MediaMaker {
  public:
    // `cache` empty: a private temporary folder, removed at the end.
    explicit MediaMaker(std::filesystem::path cache);
    ~MediaMaker();
    MediaMaker(const MediaMaker&) = delete;
    MediaMaker& operator=(const MediaMaker&) = delete;

    // A JPEG (".jpg") or PNG (".png") picture; throws std::runtime_error when FFmpeg fails.
    std::vector<uint8_t> Image(const PictureDescription& item, const std::string& extension);
    // H.264 (320x240) and AAC (the service's tone) in an MPEG-2 TS at the constant mux rate
    // `mux_bps` (bit/s), exactly `bytes` long (cut or filled up with null packets), in the
    // service's variant (straddling audio, MPEG-4 Systems).
    std::vector<uint8_t> TransportStream(const ServiceDescription& service, int mux_bps,
                                         size_t bytes);

    int ffmpeg_runs() const { return runs_; }

  private:
    std::vector<uint8_t> Run(const std::vector<std::string>& args, const std::string& extension);

    std::filesystem::path cache_;
    bool own_cache_ = false;
    std::string version_;
    int runs_ = 0;
};

// MPEG-1 Layer II at 48 kHz with CRC and the DAB ScF-CRC, `frames` frames of a sine tone,
// with `pad` bytes (F-PAD and X-PAD) left zero at the end of each frame.
struct AudioFrames {
    std::vector<std::vector<uint8_t>> frames;
    int scf_crc_length = 0;
};
AudioFrames EncodeTone(int tone_hz, int bitrate_kbps, const std::string& mode, int pad, int frames);

}  // namespace koru::mkens

#endif
