// DAB+ services in the download thread. A service whose first component is stream audio of
// ASCTy 63 carries DAB+ superframes in its sub-channel (dab/superframe.h); the thread hands the
// terminal their access units instead of the sub-channel's bytes, each unit in a LOAS frame
// that carries the audio's config (dab/loas.h), and a lost unit (uncorrectable superframe, bad
// CRC, lost sync) as an empty unit in its place, so that the terminal plays silence for it and
// the audio keeps its time. The share of lost units goes into the error value of the signal
// reports.
#ifndef RXMOD_DABPLUS_DABPLUS_H
#define RXMOD_DABPLUS_DABPLUS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "dab/bits.h"
#include "dab/superframe.h"

struct ChannelInfo;
struct ServiceRecord;

constexpr uint8_t kAsctyDabPlus = 63;

class DabPlusStream {
  public:
    using Deliver = std::function<void(const uint8_t* data, size_t length)>;

    // The stream of a service, or null when it is no DAB+ service (MPEG Layer II audio, video,
    // data) or its sub-channel has no DAB+ bit rate (a multiple of 8 kbit/s).
    static std::unique_ptr<DabPlusStream> ForService(const ChannelInfo& info,
                                                     const ServiceRecord& service);

    explicit DabPlusStream(int bitrate_kbps);

    // The sub-channel's bytes of one packet; the LOAS frames they complete go to deliver, in
    // one call. True when there were any.
    bool Feed(const uint8_t* data, int length, const Deliver& deliver);
    // The share of access units lost since the last call, x 10^6 (the scale of the signal
    // report's error value); 0 when none came.
    int32_t TakeErrorShare();

    const koru::dab::SuperframeDecoder::Counts& counts() const { return decoder_.counts(); }

  private:
    void OnUnit(const koru::dab::SuperframeFormat& format, std::span<const uint8_t> unit,
                bool good);

    koru::dab::SuperframeDecoder decoder_;
    std::optional<koru::dab::SuperframeFormat> format_;
    koru::dab::BitWriter config_;  // the AudioSpecificConfig of format_
    std::vector<uint8_t> out_;
    bool synced_ = false;
    uint64_t units_reported_ = 0;
    uint64_t lost_reported_ = 0;
};

#endif
