// Zapping: how long a live transport stream takes from connect to its first picture. The test
// feed plug-in delivers tv10.ts in real time from several points inside a group of pictures, as
// a tuned service starts. For each start the bench prints when the first key frame had fully
// arrived (no picture can come earlier) and when the terminal showed its first picture, then
// what FFmpeg gives on the same live input with its default probing and with a tuned probe.
//   zap [file.ts]   (default: the test media tv10.ts)
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "feed_plugin_stats.h"
#include "m4systems/m4systems.h"
#include "m4systems/terminal/live_source.h"

namespace {

std::string g_media = std::string(KORU_TEST_MEDIA_DIR) + "/tv10.ts";
constexpr int kTimeoutMs = 15000;

struct Result {
    int64_t key_frame_ms = -1;  // after connect
    int64_t picture_ms = -1;
};

std::string FeedUrl(size_t from) {
    return "feed://from=" + std::to_string(from) + ";" + g_media;
}

FeedPluginStats Stats(PluginManager* plugins) {
    FeedPluginStats stats{};
    auto get = reinterpret_cast<FeedPluginGetStatsFn>(
        PM_GetProcAddress(plugins, "feedplugin", "FeedPluginGetStats"));
    if (get != nullptr) get(&stats);
    return stats;
}

// --- the terminal ---------------------------------------------------------------------------

std::atomic<uint32_t> g_picture_clock{0};

void OnPicture(void*, const uint8_t*, uint32_t, uint32_t, uint32_t) {
    uint32_t none = 0;
    g_picture_clock.compare_exchange_strong(none, M4_GetSysClock());
}

void OnMessage(void*, uint32_t, M4Param, M4Param) {}

Result ZapTerminal(PluginManager* plugins, size_t from) {
    M4VideoOutput video{nullptr, &OnPicture, nullptr, nullptr};
    M4User user{};
    user.MessageFunc = &OnMessage;
    user.plugins = plugins;
    user.video = &video;
    M4Term* term = NewMPEG4Term(&user);
    g_picture_clock = 0;
    const uint32_t start = M4_GetSysClock();
    Result result;
    if (M4T_ConnectURL(term, FeedUrl(from).c_str()) == M4OK) {
        while (g_picture_clock == 0 && M4_GetSysClock() - start < kTimeoutMs)
            M4_Sleep(1);
        const FeedPluginStats stats = Stats(plugins);
        if (stats.key_frame_ms != 0) result.key_frame_ms = int64_t{stats.key_frame_ms} - start;
        if (g_picture_clock != 0) result.picture_ms = int64_t{g_picture_clock} - start;
    }
    M4T_Delete(term);
    return result;
}

// --- FFmpeg on the same live input ----------------------------------------------------------

std::shared_ptr<koru::m4::LiveSource> g_source;

void Deliver(M4InputService*, const uint8_t* data, uint32_t length) {
    if (auto source = g_source) source->Deliver(data, length);
}

int ReadSource(void* opaque, uint8_t* buffer, int size) {
    const int got = static_cast<koru::m4::LiveSource*>(opaque)->Read(buffer, size);
    return got > 0 ? got : AVERROR_EOF;
}

// Opens the live bytes with libavformat (options as given), probes the streams and decodes
// until the first video picture.
bool FirstPictureWithFfmpeg(koru::m4::LiveSource* source, AVDictionary* options) {
    auto* buffer = static_cast<uint8_t*>(av_malloc(32768));
    AVIOContext* io = avio_alloc_context(buffer, 32768, 0, source, &ReadSource, nullptr, nullptr);
    AVFormatContext* format = avformat_alloc_context();
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    bool pictured = false;
    if (avformat_open_input(&format, nullptr, av_find_input_format("mpegts"), &options) == 0 &&
        avformat_find_stream_info(format, nullptr) >= 0) {
        const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodec* codec =
            video >= 0 ? avcodec_find_decoder(format->streams[video]->codecpar->codec_id) : nullptr;
        AVCodecContext* context = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        if (context != nullptr &&
            avcodec_parameters_to_context(context, format->streams[video]->codecpar) >= 0 &&
            avcodec_open2(context, codec, nullptr) >= 0) {
            AVPacket* packet = av_packet_alloc();
            AVFrame* frame = av_frame_alloc();
            while (!pictured && av_read_frame(format, packet) >= 0) {
                if (packet->stream_index == video && avcodec_send_packet(context, packet) >= 0) {
                    pictured = avcodec_receive_frame(context, frame) == 0;
                }
                av_packet_unref(packet);
            }
            av_frame_free(&frame);
            av_packet_free(&packet);
        }
        avcodec_free_context(&context);
    }
    av_dict_free(&options);
    avformat_close_input(&format);
    av_freep(&io->buffer);
    avio_context_free(&io);
    return pictured;
}

Result ZapFfmpeg(PluginManager* plugins, size_t from, bool tuned) {
    void* object = nullptr;
    Result result;
    if (!PM_LoadInterface(plugins, 0, M4_INPUT_SERVICE_INTERFACE, &object)) return result;
    auto* service = static_cast<M4InputService*>(object);
    g_source = std::make_shared<koru::m4::LiveSource>(nullptr, nullptr, nullptr);
    service->DeliverData = &Deliver;
    AVDictionary* options = nullptr;
    if (tuned) {
        av_dict_set(&options, "probesize", "65536", 0);
        av_dict_set(&options, "analyzeduration", "500000", 0);
    }
    const uint32_t start = M4_GetSysClock();
    if (service->Connect(service, FeedUrl(from).c_str(), 0) == 0) {
        std::atomic<bool> done{false};
        std::thread watchdog([&] {
            while (!done && M4_GetSysClock() - start < kTimeoutMs)
                M4_Sleep(5);
            g_source->Abort();
        });
        if (FirstPictureWithFfmpeg(g_source.get(), options)) {
            result.picture_ms = int64_t{M4_GetSysClock()} - start;
        }
        done = true;
        watchdog.join();
        const FeedPluginStats stats = Stats(plugins);
        if (stats.key_frame_ms != 0) result.key_frame_ms = int64_t{stats.key_frame_ms} - start;
        service->Close(service);
    }
    PM_ShutdownInterface(plugins, object);
    g_source.reset();
    return result;
}

void Print(const char* who, double at, const Result& r) {
    std::printf("%-22s %5.0f%%  %8lld  %8lld  %8lld\n", who, at * 100,
                static_cast<long long>(r.key_frame_ms), static_cast<long long>(r.picture_ms),
                static_cast<long long>(r.picture_ms - r.key_frame_ms));
}

int64_t Median(std::vector<int64_t> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_media = argv[1];  // another transport stream
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    av_log_set_level(AV_LOG_QUIET);
    PluginManager* plugins = NewPluginManager(KORU_FEED_PLUGIN_DIR, nullptr);
    if (PM_GetPluginsCount(plugins) == 0) {
        std::fprintf(stderr, "zap: no feed plug-in in %s\n", KORU_FEED_PLUGIN_DIR);
        return 1;
    }
    std::FILE* file = std::fopen(g_media.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "zap: no %s\n", g_media.c_str());
        return 1;
    }
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);

    std::printf("live TS %s, joined at a point inside a group of pictures (1 s)\n",
                g_media.c_str());
    std::printf(
        "all times in ms after connect; key frame = when the first key frame had fully "
        "arrived (lower bound)\n\n");
    std::printf("%-22s %6s  %8s  %8s  %8s\n", "input", "join", "keyframe", "picture", "after kf");
    const double joins[] = {0.23, 0.43, 0.61, 0.79, 0.85};
    std::vector<int64_t> terminal_after, default_pictures, tuned_pictures;
    for (double at : joins) {
        const size_t from = static_cast<size_t>(size * at) / 188 * 188;
        const Result r = ZapTerminal(plugins, from);
        Print("terminal", at, r);
        if (r.picture_ms >= 0) terminal_after.push_back(r.picture_ms - r.key_frame_ms);
    }
    for (double at : {joins[0], joins[2]}) {
        const size_t from = static_cast<size_t>(size * at) / 188 * 188;
        const Result d = ZapFfmpeg(plugins, from, false);
        Print("ffmpeg default probe", at, d);
        default_pictures.push_back(d.picture_ms);
        const Result t = ZapFfmpeg(plugins, from, true);
        Print("ffmpeg tuned probe", at, t);
        tuned_pictures.push_back(t.picture_ms);
    }
    std::printf("\n# terminal: first picture %lld ms (median) after the first key frame arrived\n",
                static_cast<long long>(Median(terminal_after)));
    std::printf("# ffmpeg default probing: first picture %lld ms after connect (median)\n",
                static_cast<long long>(Median(default_pictures)));
    std::printf("# ffmpeg tuned probe (64 kB, 0.5 s): %lld ms after connect (median)\n",
                static_cast<long long>(Median(tuned_pictures)));
    PM_Delete(plugins);
    return 0;
}
