// Rewrites of a TV service's transport stream (as FFmpeg muxed it: PMT with H.264 and ADTS
// AAC, each PES packet whole frames) into what other broadcast muxers send:
// - audio PES packets that cut the AAC frames wherever the packet ends (ISO/IEC 13818-1,
//   data_alignment_indicator 0), two transport packets each;
// - T-DMB's MPEG-4 Systems signalling (ETSI TS 102 428): an IOD descriptor in the PMT naming
//   the scene and object descriptor streams, both carried in ISO/IEC 14496 sections (stream
//   type 0x13), and video and audio as SL packets in PES (stream type 0x12) whose
//   configuration the object descriptors give.
#ifndef MKENS_TV_VARIANTS_H
#define MKENS_TV_VARIANTS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace koru::mkens {

// Every audio PES packet carries 354 bytes of the elementary stream (two transport packets),
// its time stamp that of the first frame starting in it (none when no frame starts there).
void StraddleAudio(std::vector<uint8_t>* ts);

struct Mpeg4SystemsOptions {
    // The audio's AudioSpecificConfig names ER BSAC (audio object type 22), as Korean
    // broadcasters send; the frames stay what they are.
    bool bsac = false;
    // The object descriptors name the audio stream (false: only the video is described).
    bool name_audio = true;
    // Pictures longer than this go in two SL packets, the second without the access unit
    // start flag.
    size_t split_above = 3000;
};
void ToMpeg4Systems(std::vector<uint8_t>* ts, const Mpeg4SystemsOptions& options);

}  // namespace koru::mkens

#endif
