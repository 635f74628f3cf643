// The ensemble description that mkens reads (the format is documented in README.md): the
// ensemble, its sub-channels and its services with what each carries.
#ifndef MKENS_DESCRIPTION_H
#define MKENS_DESCRIPTION_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dab/ensemble.h"
#include "dab/protection.h"

namespace koru::mkens {

// Frames are counted in 24 ms CIFs. A recording lasts a whole number of 188 frames
// (4.512 s), so that MPEG-2 TS packets (188 bytes) and audio frames end with the file.
inline constexpr int kFramesPerBlock = 188;
inline constexpr double kFrameSeconds = 0.024;

enum class ServiceKind { kTv, kRadio, kData, kTpeg };
const char* KindName(ServiceKind kind);

// A picture made with FFmpeg from one of its test sources.
struct PictureDescription {
    std::string source = "testsrc2";  // lavfi source: testsrc, testsrc2, smptebars, ...
    int width = 320;
    int height = 240;
    std::string text;  // drawn on the picture, may be empty
};

// A MOT object: its ContentName and its body, from a file or a generated picture.
struct ObjectDescription {
    std::string name;
    std::filesystem::path file;  // empty for pictures
    std::optional<PictureDescription> image;
    bool gzip = false;
};

struct SubchannelDescription {
    int id = 0;
    int bitrate = 0;  // kbit/s
    dab::Protection protection;
    std::optional<int> start;  // CU; otherwise right after the previous sub-channel
    int line = 0;
};

struct ServiceDescription {
    ServiceKind kind = ServiceKind::kRadio;
    uint32_t sid = 0;
    bool long_sid = false;
    std::string label;
    std::string short_label;
    int subchannel = -1;
    int line = 0;
    // TV and radio.
    int tone = 1000;  // Hz
    // TV.
    std::string video = "testsrc2";
    int fps = 15;
    int gop = 0;                  // frames from one key frame to the next; 0: fps (one a second)
    bool outer_code = true;       // Reed-Solomon and interleaver over the sub-channel
    bool straddle_audio = false;  // audio PES packets cut frames
    bool mpeg4_systems = false;   // IOD, OD and scene streams, SL-packetized media
    bool bsac = false;            // with MPEG-4 Systems: the audio announced as ER BSAC
    // Radio.
    std::string mode = "joint";  // stereo, joint, mono
    int pad = 58;                // F-PAD and X-PAD bytes in each audio frame
    std::vector<std::string> dls;
    double dls_seconds = 6;
    std::vector<ObjectDescription> slides;
    // Data and TPEG (packet mode).
    int address = -1;
    int scid = -1;
    std::vector<ObjectDescription> objects;
    std::string index = "index.htm";
    // Website: directory mode (the directory carries every object's header, as broadcast
    // websites are sent), or header mode (a header before each body, then the directory).
    bool mot_header_mode = false;
};

struct Description {
    uint16_t eid = 0;
    std::string label;
    std::string short_label;
    int frames = 0;
    std::vector<SubchannelDescription> subchannels;
    std::vector<ServiceDescription> services;
    std::filesystem::path folder;  // files are named relative to it

    const SubchannelDescription* FindSubchannel(int id) const;
};

// Reads and checks a description; nullopt with "file:line: reason" in `error`.
std::optional<Description> ParseDescription(const std::filesystem::path& path, std::string* error);
std::optional<Description> ParseDescriptionText(std::string_view text,
                                                const std::filesystem::path& folder,
                                                std::string* error, std::string_view name = "");

// The ensemble the FIC announces: sub-channels placed, services with their components, user
// applications and labels.
dab::Ensemble ToEnsemble(const Description& description);

// The description and every file it names.
std::vector<std::filesystem::path> InputFiles(const Description& description,
                                              const std::filesystem::path& description_file);

// Start address (CU) of each sub-channel, in the order of the description.
std::vector<int> PlaceSubchannels(const Description& description);

}  // namespace koru::mkens

#endif
