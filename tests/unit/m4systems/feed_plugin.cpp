// A live input plug-in for tests and benchmarks: it claims "feed://" URLs and feeds a transport
// stream or MPEG audio file through the terminal's deliver-data operation in real time on the
// terminal clock (M4_Sleep), as a receiver's download thread would, with 1225 and 1226 on the
// first delivery.
//
//   feed://[option,option;]/path/file.ts      (or .mp2)
//   options: loop        start again at the end (the stream's time jumps back)
//            from=BYTES  start at this offset (rounded down to a transport packet)
//            fast        no pacing: deliver as fast as the terminal takes it
//
// FeedPluginGetStats() tells tests what was delivered and when; FeedPluginHold(1) (and 0,
// from the same thread) holds the feed between two deliveries.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "feed_plugin_stats.h"
#include "m4systems/clock.h"
#include "m4systems/messages.h"
#include "m4systems/plugin.h"
#include "m4systems/terminal.h"
#include "support/input_service_plugin.h"

namespace {

constexpr size_t kTsPacket = 188;
constexpr const char* kScheme = "feed://";

struct Feed {
    std::string path;
    bool loop = false;
    bool fast = false;
    bool ts = true;
    size_t from = 0;
    std::vector<uint8_t> bytes;
    size_t key_frame_end = 0;  // offset after the first key frame's last packet at or after from
    std::thread thread;
    std::atomic<bool> stop{false};
};

std::mutex g_stats_mutex;
FeedPluginStats g_stats;
// Held around each delivery, so a test can stop the feed between two deliveries.
std::mutex g_gate;

void UpdateStats(const FeedPluginStats& stats) {
    std::lock_guard lock(g_stats_mutex);
    g_stats = stats;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        out->insert(out->end(), buffer, buffer + got);
    }
    std::fclose(file);
    return !out->empty();
}

int Pid(const uint8_t* p) {
    return ((p[1] & 0x1F) << 8) | p[2];
}
bool Pusi(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}

// The payload of a transport packet, or null.
const uint8_t* Payload(const uint8_t* p, size_t* length) {
    size_t offset = 4;
    if (p[3] & 0x20) offset += 1 + p[4];
    if (!(p[3] & 0x10) || offset >= kTsPacket) return nullptr;
    *length = kTsPacket - offset;
    return p + offset;
}

int64_t PcrMs(const uint8_t* p) {
    if (!(p[3] & 0x20) || p[4] < 7 || !(p[5] & 0x10)) return -1;
    const int64_t base = (int64_t{p[6]} << 25) | (int64_t{p[7]} << 17) | (int64_t{p[8]} << 9) |
                         (int64_t{p[9]} << 1) | (p[10] >> 7);
    return base / 90;
}

// Finds where the first H.264 IDR picture at or after `from` ends: the end of the last packet
// of its PES (the packet before the next PES start on the same PID).
size_t FindKeyFrameEnd(const std::vector<uint8_t>& bytes, size_t from) {
    int video_pid = -1;
    bool in_key_frame = false;
    size_t last_packet_end = 0;
    for (size_t at = from; at + kTsPacket <= bytes.size(); at += kTsPacket) {
        const uint8_t* p = bytes.data() + at;
        if (p[0] != 0x47) continue;
        size_t length = 0;
        const uint8_t* payload = Payload(p, &length);
        if (payload == nullptr) continue;
        if (Pusi(p) && length >= 9 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1 &&
            (payload[3] & 0xF0) == 0xE0) {
            if (video_pid < 0) video_pid = Pid(p);
            if (Pid(p) != video_pid) continue;
            if (in_key_frame) return last_packet_end;
            const size_t header = 9 + payload[8];
            for (size_t i = header; i + 3 < length; ++i) {
                if (payload[i] == 0 && payload[i + 1] == 0 && payload[i + 2] == 1 &&
                    (payload[i + 3] & 0x1F) == 5) {
                    in_key_frame = true;
                    break;
                }
            }
        }
        if (Pid(p) == video_pid) last_packet_end = at + kTsPacket;
    }
    return in_key_frame ? last_packet_end : 0;
}

// Bytes and duration of the MPEG audio frame at p, or 0 when there is no frame header.
size_t MpegAudioFrame(const uint8_t* p, size_t left, int64_t* duration_us) {
    static const int kBitrates[2][16] = {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},  // MPEG-1 II
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};      // MPEG-2 II
    static const int kRates[2][4] = {{44100, 48000, 32000, 0}, {22050, 24000, 16000, 0}};
    if (left < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
    const int lsf = (p[1] & 0x08) ? 0 : 1;
    const int bitrate = kBitrates[lsf][p[2] >> 4];
    const int rate = kRates[lsf][(p[2] >> 2) & 3];
    if (bitrate == 0 || rate == 0) return 0;
    *duration_us = int64_t{1152} * 1000000 / rate;
    return static_cast<size_t>(144000 * bitrate / rate + ((p[2] >> 1) & 1));
}

void SendFirstDataMessages(bool* sent) {
    if (*sent) return;
    *sent = true;
    M4T_SendMessage(WM_SYSTEM_RECEIVING, 0, 0);
    M4T_SendMessage(WM_SYSTEM_FIRST_FRAME, 0, 0);
}

// Delivers [from, end) of the file again and again, paced by the stream's own time.
void FeedLoop(M4InputService* service, Feed* feed) {
    FeedPluginStats stats{};
    bool first = false;
    const uint32_t start = M4_GetSysClock();
    bool scheduled = false;
    int64_t schedule_offset = 0;  // clock ms = stream ms + offset
    int64_t audio_us = 0;
    int64_t last_stream_ms = 0;
    size_t at = feed->ts ? feed->from / kTsPacket * kTsPacket : feed->from;
    while (!feed->stop) {
        if (at >= feed->bytes.size()) {
            if (!feed->loop) break;
            at = 0;
            ++stats.loops;
            // The schedule goes on where it stood; the stream's own clock starts again.
            scheduled = false;
        }
        size_t length;
        int64_t stream_ms = -1;
        if (feed->ts) {
            // One PCR's worth: the packet with the PCR and the packets up to the next one.
            size_t end = at + kTsPacket;
            stream_ms = PcrMs(feed->bytes.data() + at);
            while (end + kTsPacket <= feed->bytes.size() && PcrMs(feed->bytes.data() + end) < 0) {
                end += kTsPacket;
            }
            length = std::min(end, feed->bytes.size()) - at;
        } else {
            int64_t duration_us = 0;
            length = MpegAudioFrame(feed->bytes.data() + at, feed->bytes.size() - at, &duration_us);
            if (length == 0 || at + length > feed->bytes.size()) length = feed->bytes.size() - at;
            stream_ms = audio_us / 1000;
            audio_us += duration_us;
        }
        if (stream_ms >= 0) {
            if (!scheduled) {
                scheduled = true;
                schedule_offset = int64_t{M4_GetSysClock()} - stream_ms;
                if (stats.loops > 0) schedule_offset += 40;  // one frame after the last
            }
            const int64_t due = stream_ms + schedule_offset;
            while (!feed->fast && !feed->stop) {
                const int64_t left = due - int64_t{M4_GetSysClock()};
                if (left <= 0) break;
                M4_Sleep(static_cast<uint32_t>(std::min<int64_t>(left, 5)));
            }
            last_stream_ms = stream_ms;
        }
        if (feed->stop) break;
        std::lock_guard gate(g_gate);
        // Told before the delivery: the terminal may show the picture before DeliverData returns.
        if (stats.key_frame_ms == 0 && stats.loops == 0 && feed->key_frame_end > 0 &&
            at + length >= feed->key_frame_end) {
            stats.key_frame_ms = M4_GetSysClock();
            UpdateStats(stats);
        }
        if (service->DeliverData != nullptr) {
            service->DeliverData(service, feed->bytes.data() + at, static_cast<uint32_t>(length));
        }
        SendFirstDataMessages(&first);
        at += length;
        const uint32_t now = M4_GetSysClock();
        if (stats.deliveries++ == 0) stats.first_delivery_ms = now;
        stats.delivered += length;
        stats.stream_ms = last_stream_ms;
        stats.start_ms = start;
        UpdateStats(stats);
    }
    stats.finished = 1;
    UpdateStats(stats);
}

// Options before ";", then the path.
bool ParseUrl(const std::string& url, Feed* feed) {
    if (url.rfind(kScheme, 0) != 0) return false;
    std::string rest = url.substr(std::strlen(kScheme));
    const size_t semicolon = rest.find(';');
    if (semicolon != std::string::npos) {
        std::string options = rest.substr(0, semicolon) + ",";
        rest = rest.substr(semicolon + 1);
        size_t begin = 0, comma;
        while ((comma = options.find(',', begin)) != std::string::npos) {
            const std::string option = options.substr(begin, comma - begin);
            if (option == "loop") feed->loop = true;
            if (option == "fast") feed->fast = true;
            if (option.rfind("from=", 0) == 0) feed->from = std::stoul(option.substr(5));
            begin = comma + 1;
        }
    }
    feed->path = rest;
    feed->ts = rest.size() > 3 && rest.compare(rest.size() - 3, 3, ".ts") == 0;
    return true;
}

int32_t CanHandleUrl(M4InputService*, const char* url) {
    return url != nullptr && std::strncmp(url, kScheme, std::strlen(kScheme)) == 0 ? 1 : 0;
}

int32_t Close(M4InputService* service) {
    return koru::test::CloseFeed<Feed>(service);
}

int32_t Connect(M4InputService* service, const char* url, int32_t) {
    Close(service);
    auto* feed = new Feed;
    if (url == nullptr || !ParseUrl(url, feed) || !ReadWholeFile(feed->path, &feed->bytes) ||
        feed->from >= feed->bytes.size()) {
        delete feed;
        return -206;
    }
    if (feed->ts)
        feed->key_frame_end = FindKeyFrameEnd(feed->bytes, feed->from / kTsPacket * kTsPacket);
    UpdateStats(FeedPluginStats{});
    service->context = feed;
    service->status = 3;
    feed->thread = std::thread(FeedLoop, service, feed);
    return 0;
}

}  // namespace

KORU_TEST_INPUT_SERVICE_EXPORTS("Test feed", CanHandleUrl, Connect, Close)

extern "C" __attribute__((visibility("default"))) void FeedPluginHold(int hold) {
    if (hold) {
        g_gate.lock();
    } else {
        g_gate.unlock();
    }
}

extern "C" __attribute__((visibility("default"))) void FeedPluginGetStats(FeedPluginStats* out) {
    std::lock_guard lock(g_stats_mutex);
    *out = g_stats;
}
