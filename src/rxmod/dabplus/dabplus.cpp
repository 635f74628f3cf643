#include "rxmod/dabplus/dabplus.h"

#include "dab/loas.h"
#include "dab/protection.h"
#include "m4systems/log.h"
#include "rxmod/bb_ficdec.h"

namespace {

constexpr const char* kSource = "dabplus";
constexpr int64_t kErrorScale = 1000000;

// The bit rate of a sub-channel as FIG 0/1 described it, 0 when unknown.
int BitrateKbps(const SubChannelRecord& sub) {
    if (sub.in_use != kRecordInUse) return 0;
    const koru::dab::Protection protection =
        sub.form == 0 ? koru::dab::Protection::Uep(sub.table_index)
                      : koru::dab::Protection{false,
                                              0,
                                              0,
                                              static_cast<koru::dab::EepOption>(sub.option & 1),
                                              static_cast<uint8_t>(sub.protection_level + 1),
                                              sub.size};
    return protection.BitrateKbps();
}

}  // namespace

std::unique_ptr<DabPlusStream> DabPlusStream::ForService(const ChannelInfo& info,
                                                         const ServiceRecord& service) {
    const ComponentRecord* component = FirstComponent(info, service);
    if (component == nullptr || component->tmid != 0 || component->type != kAsctyDabPlus ||
        component->subchid >= kMaxSubChannels) {
        return nullptr;
    }
    const int kbps = BitrateKbps(info.subchannels[component->subchid]);
    if (koru::dab::SuperframeSize(kbps).s == 0) {
        M4_LOG(1, kSource, "DAB+ service 0x%X: sub-channel %d of %d kbit/s carries no superframes",
               service.sid, component->subchid, kbps);
        return nullptr;
    }
    M4_LOG(2, kSource, "DAB+ service 0x%X: sub-channel %d, %d kbit/s", service.sid,
           component->subchid, kbps);
    return std::make_unique<DabPlusStream>(kbps);
}

DabPlusStream::DabPlusStream(int bitrate_kbps)
    : decoder_(koru::dab::SuperframeSize(bitrate_kbps),
               [this](const koru::dab::SuperframeFormat& format, std::span<const uint8_t> unit,
                      bool good) { OnUnit(format, unit, good); }) {}

bool DabPlusStream::Feed(const uint8_t* data, int length, const Deliver& deliver) {
    if (data == nullptr || length <= 0) return false;
    out_.clear();
    decoder_.Feed({data, static_cast<size_t>(length)});
    if (decoder_.synced() != synced_) {
        synced_ = decoder_.synced();
        M4_LOG(2, kSource, synced_ ? "superframes found" : "superframes lost: searching");
    }
    if (out_.empty()) return false;
    deliver(out_.data(), out_.size());
    return true;
}

void DabPlusStream::OnUnit(const koru::dab::SuperframeFormat& format, std::span<const uint8_t> unit,
                           bool good) {
    if (format_ != format) {
        format_ = format;
        config_ = {};
        koru::dab::PutAudioSpecificConfig(format, &config_);
        M4_LOG(2, kSource, "audio %d Hz%s%s, %s", format.OutputRate(), format.sbr ? ", SBR" : "",
               format.ps ? ", PS" : "", format.stereo ? "stereo" : "mono");
    }
    const std::span<const uint8_t> payload = good ? unit : koru::dab::EmptyAccessUnit();
    const std::vector<uint8_t> frame =
        koru::dab::WriteLoasFrame(config_.bytes(), config_.bit_size(), payload);
    out_.insert(out_.end(), frame.begin(), frame.end());
}

int32_t DabPlusStream::TakeErrorShare() {
    const auto& counts = decoder_.counts();
    const uint64_t units = counts.units - units_reported_;
    const uint64_t lost = counts.lost_units - lost_reported_;
    units_reported_ = counts.units;
    lost_reported_ = counts.lost_units;
    if (units == 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(lost) * kErrorScale /
                                static_cast<int64_t>(units));
}
