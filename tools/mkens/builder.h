// Builds the ETI-NI recording of a description: the FIC from the ensemble, each sub-channel's
// bytes from its services (TV transport streams, radio audio with PAD, packet-mode data), one
// 24 ms frame after the other, so that the file can be played in a loop.
#ifndef MKENS_BUILDER_H
#define MKENS_BUILDER_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dab/ensemble.h"
#include "dab/mot.h"
#include "tools/mkens/description.h"
#include "tools/mkens/media.h"

namespace koru::mkens {

// The bytes of one sub-channel for every frame of the recording.
using SubchannelFrames = std::vector<std::vector<uint8_t>>;

// Radio: Layer II frames of the tone with X-PAD (dynamic labels in turn, the slideshow).
SubchannelFrames BuildRadio(const ServiceSpec& service, int bitrate_kbps, int frames,
                            MediaMaker& media);
// Packet mode: the website and TPEG services that share one sub-channel.
SubchannelFrames BuildPacketSubchannel(const Description& description, int subchannel,
                                       MediaMaker& media);
// The MOT objects of a data service (headers with ContentName, MimeType, compression).
std::vector<dab::MotObject> WebsiteObjects(const ServiceSpec& service,
                                           const std::filesystem::path& folder, MediaMaker& media);
// The slides of a radio service.
std::vector<dab::MotObject> SlideObjects(const ServiceSpec& service, MediaMaker& media);

// Writes the recording (atomically: a temporary file renamed at the end). Throws
// std::runtime_error on failure.
void WriteEnsemble(const Description& description, MediaMaker& media,
                   const std::filesystem::path& output);

}  // namespace koru::mkens

#endif
