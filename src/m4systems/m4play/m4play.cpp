// m4play: the terminal without the player. Connects a URL (through the plug-ins of the program
// folder, or --plugins) or plays a file, and prints every message it receives as one line:
//     <ms since start>\t<code>\t<WM_SYSTEM_* name or ->\t<wparam>\t<lparam>
// then summary lines starting with "#": pictures and audio samples played, timings.
//
//   m4play <url-or-file> [--seconds N] [--seek MS] [--record FILE] [--capture FILE.ppm]
//          [--plugins DIR]
//
// Without --seconds a file plays to its end and a live input until interrupted (Ctrl-C).
// --record records a live input from its first frame (1226) on: by then the terminal knows a
// DAB+ service, which it records as ".m4a" whatever FILE's extension.
// Audio needs a device: without a sound card set SDL_AUDIODRIVER=dummy.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "m4systems/folders.h"
#include "m4systems/m4systems.h"

namespace {

using Steady = std::chrono::steady_clock;

struct Options {
    std::string url;
    double seconds = -1;
    long seek_ms = -1;
    std::string record;
    std::string capture;
    std::string plugins;
};

struct Run {
    Steady::time_point start = Steady::now();
    std::mutex print_mutex;
    std::atomic<uint64_t> frames{0};
    std::atomic<uint64_t> audio_frames{0};
    std::atomic<int64_t> first_picture_ms{-1};
    std::atomic<int64_t> first_audio_ms{-1};
    std::atomic<int64_t> time_base_ms{0};
    std::atomic<int64_t> duration_s{-1};
    std::atomic<bool> first_frame{false};
    std::atomic<uint32_t> width{0}, height{0};

    int64_t Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
    }
};

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int) {
    g_interrupted = 1;
}

void OnMessage(void* owner, uint32_t message, M4Param wparam, M4Param lparam) {
    auto* run = static_cast<Run*>(owner);
    if (message == WM_SYSTEM_TIME_BASE) run->time_base_ms = wparam;
    if (message == WM_SYSTEM_DURATION) run->duration_s = lparam;
    if (message == WM_SYSTEM_FIRST_FRAME) run->first_frame = true;
    std::lock_guard lock(run->print_mutex);
    std::printf("%lld\t%u\t%s\t%lld\t%lld\n", static_cast<long long>(run->Elapsed()), message,
                M4_GetMessageName(message), static_cast<long long>(wparam),
                static_cast<long long>(lparam));
    std::fflush(stdout);
}

int OnEvent(void*, const uint8_t* event) {
    return event != nullptr && event[0] == 27 ? 1 : 0;
}

void OnPicture(void* user, const uint8_t*, uint32_t width, uint32_t height, uint32_t) {
    auto* run = static_cast<Run*>(user);
    if (run->frames++ == 0) run->first_picture_ms = run->Elapsed();
    run->width = width;
    run->height = height;
}

void OnAudio(void* user, const int16_t*, uint32_t frames, uint32_t, uint32_t) {
    auto* run = static_cast<Run*>(user);
    if (run->audio_frames.fetch_add(frames) == 0) run->first_audio_ms = run->Elapsed();
}

void Usage() {
    std::fprintf(stderr,
                 "usage: m4play <url-or-file> [--seconds N] [--seek MS] [--record FILE] "
                 "[--capture FILE.ppm] [--plugins DIR]\n");
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--seconds" && has_value) {
            options->seconds = std::atof(argv[++i]);
        } else if (arg == "--seek" && has_value) {
            options->seek_ms = std::atol(argv[++i]);
        } else if (arg == "--record" && has_value) {
            options->record = argv[++i];
        } else if (arg == "--capture" && has_value) {
            options->capture = argv[++i];
        } else if (arg == "--plugins" && has_value) {
            options->plugins = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && options->url.empty()) {
            options->url = arg;
        } else {
            return false;
        }
    }
    return !options->url.empty();
}

// P6, RGB: the capture record holds B, G, R.
bool WritePpm(const std::string& path, const M4CaptureRecord& record) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "P6\n%u %u\n255\n", record.width, record.height);
    bool ok = true;
    for (uint32_t y = 0; y < record.height && ok; ++y) {
        const uint8_t* row = record.pixels + static_cast<size_t>(y) * record.pitch;
        for (uint32_t x = 0; x < record.width && ok; ++x) {
            const uint8_t rgb[3] = {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
            ok = std::fwrite(rgb, 1, 3, file) == 3;
        }
    }
    return std::fclose(file) == 0 && ok;
}

void PrintSummary(Run& run, M4Term* term) {
    const int64_t now_ms = M4T_GetCurrentTimeInMS(term);
    std::lock_guard lock(run.print_mutex);
    std::printf("# frames\t%llu\n", static_cast<unsigned long long>(run.frames.load()));
    std::printf("# picture_size\t%ux%u\n", run.width.load(), run.height.load());
    std::printf("# audio_samples\t%llu\n",
                static_cast<unsigned long long>(run.audio_frames.load()));
    std::printf("# audio_out\t%d\n", M4T_HasAudioOut(term));
    std::printf("# first_picture_ms\t%lld\n", static_cast<long long>(run.first_picture_ms.load()));
    std::printf("# first_audio_ms\t%lld\n", static_cast<long long>(run.first_audio_ms.load()));
    std::printf("# clock_ms\t%lld\n", static_cast<long long>(now_ms));
    std::printf("# position_ms\t%lld\n", static_cast<long long>(now_ms - run.time_base_ms.load()));
    std::printf("# duration_s\t%lld\n", static_cast<long long>(run.duration_s.load()));
    std::printf("# elapsed_ms\t%lld\n", static_cast<long long>(run.Elapsed()));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage();
        return 2;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    Run run;
    const std::string folder = options.plugins.empty() ? koru::ProgramFolder() : options.plugins;
    PluginManager* plugins = NewPluginManager(folder.c_str(), nullptr);
    M4VideoOutput video{&run, &OnPicture, nullptr, nullptr};
    M4User user{};
    user.owner = &run;
    user.EventProc = &OnEvent;
    user.MessageFunc = &OnMessage;
    user.plugins = plugins;
    user.video = &video;
    M4Term* term = NewMPEG4Term(&user);
    if (term == nullptr) {
        std::fprintf(stderr, "m4play: no terminal\n");
        PM_Delete(plugins);
        return 1;
    }
    M4T_SetAudioTap(term, &OnAudio, &run);

    int status = 0;
    const M4Err connected = M4T_ConnectURL(term, options.url.c_str());
    if (connected != M4OK) {
        std::printf("# connect_failed\t%d\n", connected);
        status = 1;
    } else {
        bool record = !options.record.empty();
        if (options.seek_ms >= 0) {
            M4T_PlayFromTime(term, static_cast<uint32_t>(run.time_base_ms + options.seek_ms));
        }
        const int64_t limit_ms =
            options.seconds >= 0 ? static_cast<int64_t>(options.seconds * 1000) : -1;
        while (!g_interrupted && (limit_ms < 0 || run.Elapsed() < limit_ms) &&
               !M4T_IsEndOfStream(term)) {
            if (record && run.first_frame) {
                record = false;
                if (M4T_StartRecord(term, options.record.c_str()) != M4OK)
                    std::printf("# record_refused\t%s\n", options.record.c_str());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!options.capture.empty()) {
            M4CaptureRecord record{};
            if (M4T_CaptureScreen(term, &record) == M4OK) {
                if (!WritePpm(options.capture, record)) status = 1;
                std::free(record.pixels);
            } else {
                std::printf("# capture_failed\n");
                status = 1;
            }
        }
        M4T_StopRecord(term);
    }
    PrintSummary(run, term);
    M4T_CloseURL(term);
    M4T_Delete(term);
    PM_Delete(plugins);
    return status;
}
