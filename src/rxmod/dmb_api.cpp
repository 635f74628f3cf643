// Channel search export, service kinds and the channel cache with its file "channel.dat".
#include "rxmod/dmb_api.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <vector>

#include "m4systems/atomic_file.h"
#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "rxmod/bb_api.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_tuner.h"
#include "rxmod/rxmod_api.h"

// ServiceEntry crosses the plug-in boundary with this layout.
static_assert(sizeof(ServiceEntry) == 48);
static_assert(offsetof(ServiceEntry, frequency) == 32);
static_assert(offsetof(ServiceEntry, service_index) == 40);
static_assert(offsetof(ServiceEntry, kind) == 44);

namespace {

constexpr const char* kSource = "dmb_api";
constexpr int kNoDataPauseMs = 10;
constexpr uint8_t kAudioStream = 0;       // TMId
constexpr uint8_t kDataStream = 1;        // TMId
constexpr uint8_t kTransportStream = 24;  // DSCTy: MPEG-2 TS
constexpr uint8_t kMotDscty = 60;
constexpr uint16_t kUaBroadcastWebsite = 3;  // user application types
constexpr uint16_t kUaTpeg = 4;
constexpr size_t kCountSize = 4;

std::vector<ChannelInfo> g_cache;

// --- one record, field by field --------------------------------------------------------------

class RecordWriter {
  public:
    explicit RecordWriter(uint8_t* out) : out_(out) {}
    void U8(uint8_t value) { out_[pos_++] = value; }
    void U16(uint16_t value) {
        U8(static_cast<uint8_t>(value));
        U8(static_cast<uint8_t>(value >> 8));
    }
    void U32(uint32_t value) {
        U16(static_cast<uint16_t>(value));
        U16(static_cast<uint16_t>(value >> 16));
    }
    void F64(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        U32(static_cast<uint32_t>(bits));
        U32(static_cast<uint32_t>(bits >> 32));
    }
    void Bytes(const void* data, size_t n) {
        std::memcpy(out_ + pos_, data, n);
        pos_ += n;
    }
    void Zeros(size_t n) {
        std::memset(out_ + pos_, 0, n);
        pos_ += n;
    }

  private:
    uint8_t* out_;
    size_t pos_ = 0;
};

class RecordReader {
  public:
    explicit RecordReader(const uint8_t* in) : in_(in) {}
    uint8_t U8() { return in_[pos_++]; }
    uint16_t U16() {
        uint16_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32() {
        uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    double F64() {
        uint64_t low = U32();
        uint64_t bits = low | (static_cast<uint64_t>(U32()) << 32);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    void Bytes(void* to, size_t n) {
        std::memcpy(to, in_ + pos_, n);
        pos_ += n;
    }
    void Skip(size_t n) { pos_ += n; }

  private:
    const uint8_t* in_;
    size_t pos_ = 0;
};

void WriteLabel(RecordWriter& out, const char* label) {
    char bytes[kLabelLength + 1] = {};
    std::memcpy(bytes, label, kLabelLength);  // the NUL at 16 is written whatever memory says
    out.Bytes(bytes, sizeof bytes);
}

void ReadLabel(RecordReader& in, char* label) {
    in.Bytes(label, kLabelLength + 1);
    label[kLabelLength] = '\0';
}

void WriteService(RecordWriter& out, const ServiceRecord& service) {
    out.U8(service.in_use);
    out.Zeros(3);
    out.U32(service.sid);
    out.U16(service.user_application_type);
    out.Bytes(service.user_application_data, sizeof service.user_application_data);
    out.U8(service.component_count);
    out.Zeros(1);
    for (uint32_t reference : service.components) {
        out.U32(reference <= static_cast<uint32_t>(kMaxComponents) ? reference : 0);
    }
    out.Zeros(4);
    WriteLabel(out, service.label);
    out.Zeros(19);
}

void ReadService(RecordReader& in, ServiceRecord& service) {
    service.in_use = in.U8();
    in.Skip(3);
    service.sid = in.U32();
    service.user_application_type = in.U16();
    in.Bytes(service.user_application_data, sizeof service.user_application_data);
    service.component_count =
        std::min<uint8_t>(in.U8(), static_cast<uint8_t>(kMaxServiceComponents));
    in.Skip(1);
    for (uint32_t& reference : service.components) {
        reference = in.U32();
        if (reference > static_cast<uint32_t>(kMaxComponents)) reference = 0;
    }
    in.Skip(4);
    ReadLabel(in, service.label);
    in.Skip(19);
}

void WriteComponent(RecordWriter& out, const ComponentRecord& component) {
    out.U8(component.in_use);
    out.U8(component.tmid);
    out.U8(component.type);
    out.U8(component.subchid);
    out.Zeros(2);
    out.U16(component.scid);
    out.U8(component.ps);
    out.U8(component.ca);
    out.U8(component.caorg_flag);
    out.U8(component.dg);
    out.U16(component.packet_address);
    out.U16(component.caorg);
}

void ReadComponent(RecordReader& in, ComponentRecord& component) {
    component.in_use = in.U8();
    component.tmid = in.U8();
    component.type = in.U8();
    component.subchid = in.U8();
    in.Skip(2);
    component.scid = in.U16();
    component.ps = in.U8();
    component.ca = in.U8();
    component.caorg_flag = in.U8();
    component.dg = in.U8();
    component.packet_address = in.U16();
    component.caorg = in.U16();
}

void WriteSubChannel(RecordWriter& out, const SubChannelRecord& sub) {
    out.U8(sub.in_use);
    out.U8(sub.subchid);
    out.U16(sub.start_address);
    out.U8(sub.form);
    out.U8(sub.table_index);
    out.U8(sub.table_switch);
    out.U8(sub.option);
    out.U8(sub.protection_level);
    out.Zeros(1);
    out.U16(sub.size);
    out.U8(sub.decoder_channel);
    out.U8(sub.next_configuration);
}

void ReadSubChannel(RecordReader& in, SubChannelRecord& sub) {
    sub.in_use = in.U8();
    sub.subchid = in.U8();
    sub.start_address = in.U16();
    sub.form = in.U8();
    sub.table_index = in.U8();
    sub.table_switch = in.U8();
    sub.option = in.U8();
    sub.protection_level = in.U8();
    in.Skip(1);
    sub.size = in.U16();
    sub.decoder_channel = in.U8();
    sub.next_configuration = in.U8();
}

// Records are matched by whole kHz: callers reach the same frequency by different conversions
// (kHz x 0.001, kHz / 1000.0, a float widened to double), which need not give equal doubles.
long long WholeKilohertz(double frequency_mhz) {
    return std::llround(frequency_mhz * 1000.0);
}

ChannelInfo* FindCached(double frequency_mhz) {
    const long long khz = WholeKilohertz(frequency_mhz);
    for (ChannelInfo& info : g_cache) {
        if (WholeKilohertz(info.frequency) == khz) return &info;
    }
    return nullptr;
}

// --- search ----------------------------------------------------------------------------------

// Reads FIC packets into the working ChannelInfo until it is complete or the time is up.
// 0, or the search's result for a failure (the slot and the link then handled as it says).
int ReadServiceList(int slot, int fic_stream_id, double frequency_mhz, int32_t time_limit_ms) {
    ChannelInfo& info = BB_WorkingChannelInfo();
    FIC_Reset(info, frequency_mhz);
    const uint32_t start = M4_GetSysClock();
    while (static_cast<int64_t>(M4_GetSysClock() - start) < time_limit_ms) {
        int id = 0;
        uint8_t* data = nullptr;
        int length = 0;
        const int result = BB_API_GetStream(&id, &data, &length);
        if (result == BB_ERR_NO_DATA) {
            M4_Sleep(kNoDataPauseMs);
            continue;
        }
        if (result == BB_ERR_NOT_LOCKED) {
            BB_API_StopStream(slot);
            BB_API_CloseService(slot);
            return BB_ERR_NOT_LOCKED;
        }
        if (result == BB_ERR_NO_DEVICE) {
            BB_API_CloseService(slot);
            BB_API_CloseUSB();
            return BB_ERR_NO_DEVICE;
        }
        if (result != BB_SUCCESS) {
            BB_API_StopStream(slot);
            BB_API_CloseService(slot);
            return BB_ERR_GENERIC;
        }
        if (id != fic_stream_id) {
            M4_LOG(3, kSource, "Unknown packet: id=%d, len=%d", id, length);
            continue;
        }
        M4_LOG(3, kSource, "fic packet: id=%d, len=%d", id, length);
        if (FIC_Decode(info, data, length) != 0) {
            M4_LOG(2, kSource, "Unsupported or Corrupted FIC");
        }
        if (FIC_Complete(info) == 0) break;
    }
    return BB_SUCCESS;
}

// Maps a failure after the service was opened: the link closes for a pulled stick.
int SearchFailure(int result) {
    if (result == BB_ERR_NO_DEVICE) {
        BB_API_CloseUSB();
        return BB_ERR_NO_DEVICE;
    }
    M4_LOG(1, kSource, "Unknown error!!");
    return BB_ERR_GENERIC;
}

int32_t CollectEntries(ChannelInfo& info, double frequency_mhz, ServiceEntry* entries) {
    int32_t count = 0;
    for (int i = 0; i < kMaxServices; ++i) {
        ServiceRecord& service = info.services[i];
        if (service.in_use != kRecordInUse || service.label[0] == '\0' ||
            FirstComponent(info, service) == nullptr) {
            continue;
        }
        ServiceEntry& entry = entries[count++];
        std::memcpy(entry.label, service.label, sizeof entry.label);
        entry.label[kLabelLength] = '\0';
        entry.frequency = frequency_mhz;
        entry.service_index = i;
        entry.kind = DMB_ServiceKind(info, service);
    }
    return count;
}

}  // namespace

int DMB_ServiceKind(ChannelInfo& info, ServiceRecord& service) {
    const ComponentRecord* first = FirstComponent(info, service);
    const uint8_t tmid = first != nullptr ? first->tmid : 0;
    const uint8_t type = first != nullptr ? first->type : 0;
    if (tmid == kAudioStream) return SERVICE_KIND_RADIO;
    if (tmid == kDataStream && type == kTransportStream) return SERVICE_KIND_TV;
    if (service.user_application_type == kUaBroadcastWebsite) return SERVICE_KIND_DATA;
    if (service.user_application_type == kUaTpeg) return SERVICE_KIND_TPEG;
    M4_LOG(2, kSource, "[nullcha] data ServiceType : %d %d %s", tmid, service.user_application_type,
           service.label);
    if (service.user_application_type == kUnknownUserApplication) {
        if (std::strstr(service.label, "TPEG") != nullptr ||
            std::strstr(service.label, "TTI") != nullptr) {
            service.user_application_type = kUaTpeg;
            return SERVICE_KIND_TPEG;
        }
        service.user_application_type = kUaBroadcastWebsite;
        return SERVICE_KIND_DATA;
    }
    if (type == kMotDscty) {
        service.user_application_type = kUaBroadcastWebsite;
        return SERVICE_KIND_DATA;
    }
    return SERVICE_KIND_OTHER;
}

int32_t DMB_API_SearchChannel(double frequency, ServiceEntry* entries, int32_t* count,
                              int32_t time_limit_ms) {
    if (count != nullptr) *count = 0;
    if (entries == nullptr || count == nullptr) return BB_ERR_GENERIC;

    int result = BB_API_Init();
    DMB_LoadChannelCache(kChannelCacheFile);
    if (result == BB_ERR_NO_DEVICE) {
        M4_LOG(1, kSource, "NO Device");
        BB_API_CloseUSB();
        return BB_ERR_NO_DEVICE;
    }
    if (result != BB_SUCCESS) {
        M4_LOG(1, kSource, "Unknown error");
        return BB_ERR_GENERIC;
    }
    if (BB_API_OpenUSB() != BB_SUCCESS) return BB_ERR_NO_DEVICE;

    result = BB_API_Tune(frequency);
    if (result == BB_ERR_NOT_LOCKED) return BB_ERR_NOT_LOCKED;
    if (result == BB_ERR_NO_DEVICE) {
        BB_API_CloseUSB();
        return BB_ERR_NO_DEVICE;
    }
    if (result != BB_SUCCESS) return BB_ERR_GENERIC;

    int slot = -1;
    result = BB_API_OpenService(&slot, frequency, kFicServiceIndex);
    if (result == BB_ERR_TABLE_FULL) {
        M4_LOG(1, kSource, "Too many services are opned");
        return BB_ERR_GENERIC;
    }
    if (result != BB_SUCCESS) return SearchFailure(result);

    StreamInfo stream{};
    if ((result = BB_API_StartStream(slot, &stream)) != BB_SUCCESS) {
        BB_API_CloseService(slot);
        return SearchFailure(result);
    }
    if ((result = ReadServiceList(slot, stream.stream_id, frequency, time_limit_ms)) !=
        BB_SUCCESS) {
        return result;
    }
    if ((result = BB_API_StopStream(slot)) != BB_SUCCESS) {
        BB_API_CloseService(slot);
        return result == BB_ERR_NO_DEVICE ? SearchFailure(result) : BB_ERR_GENERIC;
    }
    if ((result = BB_API_CloseService(slot)) != BB_SUCCESS) {
        return result == BB_ERR_NO_DEVICE ? SearchFailure(result) : BB_ERR_GENERIC;
    }

    ChannelInfo& info = BB_WorkingChannelInfo();
    *count = CollectEntries(info, frequency, entries);
    BB_API_CloseUSB();
    if (*count == 0) return BB_ERR_NO_SERVICE_FOUND;
    if (DMB_StoreChannel(info) != BB_SUCCESS) {
        M4_LOG(1, kSource, "channel cache is full: %.3f MHz not stored", frequency);
    }
    DMB_SaveChannelCache(kChannelCacheFile);
    return BB_SUCCESS;
}

int DMB_StoreChannel(const ChannelInfo& info) {
    if (ChannelInfo* cached = FindCached(info.frequency)) {
        *cached = info;
        return BB_SUCCESS;
    }
    if (g_cache.size() >= static_cast<size_t>(kMaxCachedChannels)) return BB_ERR_TABLE_FULL;
    g_cache.push_back(info);
    return BB_SUCCESS;
}

int DMB_LookupChannel(double frequency_mhz, ChannelInfo* out) {
    const ChannelInfo* cached = FindCached(frequency_mhz);
    if (cached == nullptr) return BB_ERR_NO_CHANNEL;
    *out = *cached;
    return BB_SUCCESS;
}

int DMB_CachedChannelCount() {
    return static_cast<int>(g_cache.size());
}

void DMB_ClearChannelCache() {
    g_cache.clear();
}

void DMB_WriteChannelRecord(const ChannelInfo& info, uint8_t* record) {
    RecordWriter out(record);
    out.F64(info.frequency);
    out.Zeros(4);
    WriteLabel(out, info.ensemble_label);
    out.Zeros(15);
    for (const ServiceRecord& service : info.services)
        WriteService(out, service);
    for (const ComponentRecord& component : info.components)
        WriteComponent(out, component);
    for (const SubChannelRecord& sub : info.subchannels)
        WriteSubChannel(out, sub);
    out.Zeros(4);
}

void DMB_ReadChannelRecord(const uint8_t* record, ChannelInfo* info) {
    *info = ChannelInfo{};
    RecordReader in(record);
    info->frequency = in.F64();
    in.Skip(4);
    ReadLabel(in, info->ensemble_label);
    in.Skip(15);
    for (ServiceRecord& service : info->services)
        ReadService(in, service);
    for (ComponentRecord& component : info->components)
        ReadComponent(in, component);
    for (SubChannelRecord& sub : info->subchannels)
        ReadSubChannel(in, sub);
}

std::string DMB_ChannelCacheImage() {
    std::string image(kCountSize + g_cache.size() * kChannelRecordSize, '\0');
    auto* bytes = reinterpret_cast<uint8_t*>(image.data());
    const auto count = static_cast<uint32_t>(g_cache.size());
    for (size_t i = 0; i < kCountSize; ++i)
        bytes[i] = static_cast<uint8_t>(count >> (8 * i));
    for (size_t i = 0; i < g_cache.size(); ++i) {
        DMB_WriteChannelRecord(g_cache[i], bytes + kCountSize + i * kChannelRecordSize);
    }
    return image;
}

int DMB_LoadChannelCacheImage(const uint8_t* data, size_t size) {
    if (data == nullptr || size < kCountSize) return BB_ERR_INVALID_PARAM;
    const uint32_t count =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
    // Only whole records count; a short file loads what it holds.
    const size_t whole = (size - kCountSize) / kChannelRecordSize;
    const size_t records =
        std::min({static_cast<size_t>(count), whole, static_cast<size_t>(kMaxCachedChannels)});
    g_cache.clear();
    ChannelInfo info;
    for (size_t i = 0; i < records; ++i) {
        DMB_ReadChannelRecord(data + kCountSize + i * kChannelRecordSize, &info);
        DMB_StoreChannel(info);
    }
    return BB_SUCCESS;
}

int DMB_SaveChannelCache(const char* file_name) {
    if (file_name == nullptr || file_name[0] == '\0') return BB_ERR_INVALID_PARAM;
    if (!koru::WriteFileAtomically(file_name, DMB_ChannelCacheImage())) {
        M4_LOG(1, kSource, "cannot write %s", file_name);
        return BB_ERR_INVALID_PARAM;
    }
    return BB_SUCCESS;
}

int DMB_LoadChannelCache(const char* file_name) {
    if (file_name == nullptr || file_name[0] == '\0') return BB_ERR_INVALID_PARAM;
    std::ifstream in(file_name, std::ios::binary | std::ios::ate);
    if (!in) return BB_ERR_INVALID_PARAM;
    constexpr std::streamoff kLargest =
        kCountSize + static_cast<std::streamoff>(kMaxCachedChannels) * kChannelRecordSize;
    const std::streamoff size = std::min<std::streamoff>(in.tellg(), kLargest);
    if (size < 0) return BB_ERR_INVALID_PARAM;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    return DMB_LoadChannelCacheImage(bytes.data(), static_cast<size_t>(in.gcount()));
}
