#include "tools/mkens/media.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <twolame.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "dab/mpa.h"
#include "tools/mkens/tv_variants.h"

extern char** environ;

namespace koru::mkens {
namespace {

constexpr size_t kTsPacket = 188;
constexpr int kSampleRate = 48000;
constexpr int kSamplesPerFrame = 1152;
constexpr char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

uint64_t Fnv1a(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string FfmpegVersion() {
    std::string version;
    if (FILE* pipe = popen("ffmpeg -hide_banner -version 2>/dev/null", "r")) {
        char line[256];
        if (std::fgets(line, sizeof(line), pipe)) version = line;
        pclose(pipe);
    }
    if (version.empty()) throw std::runtime_error("ffmpeg is not installed (scripts/setup)");
    return version;
}

// Text safe inside a drawtext filter argument.
std::string FilterText(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '.' ||
                           c == '-' || c == '!' || c == ',';
        out.push_back(plain ? c : ' ');
    }
    return out;
}

std::string DrawText(const std::string& text, const std::string& size, const std::string& x,
                     const std::string& y) {
    if (text.empty() || !std::filesystem::exists(kFont)) return "";
    return std::string("drawtext=fontfile=") + kFont + ":text='" + FilterText(text) +
           "':fontsize=" + size + ":fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=6:x=" + x +
           ":y=" + y;
}

}  // namespace

MediaMaker::MediaMaker(std::filesystem::path cache) : cache_(std::move(cache)) {
    if (cache_.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "mkens-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
        cache_ = pattern;
        own_cache_ = true;
    }
    std::filesystem::create_directories(cache_);
}

MediaMaker::~MediaMaker() {
    std::error_code ignored;
    if (own_cache_) std::filesystem::remove_all(cache_, ignored);
}

std::vector<uint8_t> MediaMaker::Run(const std::vector<std::string>& args,
                                     const std::string& extension) {
    if (version_.empty()) version_ = FfmpegVersion();
    std::string key = version_;
    for (const std::string& arg : args)
        key += "\n" + arg;
    char name[32];
    std::snprintf(name, sizeof(name), "%016llx", static_cast<unsigned long long>(Fnv1a(key)));
    const std::filesystem::path output = cache_ / (name + extension);
    if (std::filesystem::exists(output)) return ReadAll(output);

    // Private names while FFmpeg writes: several mkens may share the cache.
    const std::string own = std::string(name) + "." + std::to_string(getpid());
    const std::filesystem::path partial = cache_ / (own + ".part" + extension);
    const std::filesystem::path log = cache_ / (own + ".log");
    std::vector<std::string> command{"ffmpeg",    "-nostdin", "-hide_banner",
                                     "-loglevel", "error",    "-y"};
    command.insert(command.end(), args.begin(), args.end());
    command.push_back(partial.string());
    std::vector<char*> argv;
    for (std::string& arg : command)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start ffmpeg");
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ++runs_;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !std::filesystem::exists(partial)) {
        const std::vector<uint8_t> text = ReadAll(log);
        throw std::runtime_error("ffmpeg failed: " + std::string(text.begin(), text.end()));
    }
    std::filesystem::rename(partial, output);
    std::filesystem::remove(log);
    return ReadAll(output);
}

std::vector<uint8_t> MediaMaker::Image(const PictureDescription& item,
                                       const std::string& extension) {
    const std::string size = std::to_string(item.width) + "x" + std::to_string(item.height);
    std::vector<std::string> args{
        "-f", "lavfi", "-i", item.source + "=size=" + size + ":rate=1", "-frames:v", "1"};
    const std::string text =
        DrawText(item.text, std::to_string(item.height / 8), "(w-text_w)/2", "(h-text_h)/2");
    if (!text.empty()) args.insert(args.end(), {"-vf", text});
    if (extension == ".png") {
        args.insert(args.end(), {"-pix_fmt", "rgb24", "-c:v", "png"});
    } else {
        args.insert(args.end(), {"-pix_fmt", "yuvj420p", "-c:v", "mjpeg", "-q:v", "6"});
    }
    args.insert(args.end(), {"-fflags", "+bitexact", "-flags", "+bitexact", "-f", "image2"});
    return Run(args, extension);
}

std::vector<uint8_t> MediaMaker::TransportStream(const ServiceDescription& s, int mux_bps,
                                                 size_t bytes) {
    // Room for the audio (48 kbit/s) and the TS and PES overhead; null packets fill the rest.
    const int video_kbps = std::max(48, (mux_bps / 1000 - 48) * 6 / 10);
    // A little shorter than the recording, so that null packets end it rather than a cut.
    const double seconds = static_cast<double>(bytes) * 8 / mux_bps - 0.25;
    char duration[32];
    std::snprintf(duration, sizeof(duration), "%.3f", seconds);
    std::vector<std::string> args{
        "-f",   "lavfi",  "-i",   s.video + "=size=320x240:rate=" + std::to_string(s.fps),
        "-f",   "lavfi",  "-i",   "sine=frequency=" + std::to_string(s.tone) + ":sample_rate=48000",
        "-t",   duration, "-map", "0:v",
        "-map", "1:a"};
    const std::string text = DrawText(s.label, "18", "10", "h-text_h-10");
    if (!text.empty()) args.insert(args.end(), {"-vf", text});
    const std::string gop = std::to_string(s.gop > 0 ? s.gop : s.fps);
    const std::string rate = std::to_string(video_kbps) + "k";
    args.insert(args.end(), {"-c:v",
                             "libx264",
                             "-preset",
                             "veryfast",
                             "-profile:v",
                             "baseline",
                             "-pix_fmt",
                             "yuv420p",
                             "-g",
                             gop,
                             "-keyint_min",
                             gop,
                             "-sc_threshold",
                             "0",
                             "-bf",
                             "0",
                             "-b:v",
                             rate,
                             "-maxrate",
                             rate,
                             "-bufsize",
                             std::to_string(video_kbps / 2) + "k",
                             "-threads",
                             "1",
                             "-c:a",
                             "aac",
                             "-b:a",
                             "48k",
                             "-ac",
                             "2",
                             "-ar",
                             "48000",
                             "-f",
                             "mpegts",
                             "-muxrate",
                             std::to_string(mux_bps),
                             "-mpegts_service_id",
                             std::to_string(s.sid & 0xFFFF),
                             "-metadata",
                             "service_name=" + s.label,
                             "-metadata",
                             "service_provider=KORU",
                             "-fflags",
                             "+bitexact",
                             "-flags:v",
                             "+bitexact",
                             "-flags:a",
                             "+bitexact"});
    std::vector<uint8_t> ts = Run(args, ".ts");
    if (ts.size() < kTsPacket || ts[0] != 0x47) throw std::runtime_error("ffmpeg made no TS");
    ts.resize(std::min(ts.size(), bytes) / kTsPacket * kTsPacket);
    while (ts.size() + kTsPacket <= bytes) {  // null packets: PID 0x1FFF
        const uint8_t header[4] = {0x47, 0x1F, 0xFF, 0x10};
        ts.insert(ts.end(), header, header + 4);
        ts.resize(ts.size() + kTsPacket - 4, 0xFF);
    }
    ts.resize(bytes, 0xFF);
    if (s.straddle_audio) StraddleAudio(&ts);
    if (s.mpeg4_systems) {
        Mpeg4SystemsOptions options;
        options.bsac = s.bsac;
        ToMpeg4Systems(&ts, options);
    }
    return ts;
}

AudioFrames EncodeTone(int tone_hz, int bitrate_kbps, const std::string& mode, int pad,
                       int frames) {
    twolame_options* options = twolame_init();
    if (options == nullptr) throw std::runtime_error("twolame_init failed");
    const bool mono = mode == "mono";
    twolame_set_num_channels(options, mono ? 1 : 2);
    twolame_set_in_samplerate(options, kSampleRate);
    twolame_set_out_samplerate(options, kSampleRate);
    twolame_set_bitrate(options, bitrate_kbps);
    twolame_set_mode(
        options, mono ? TWOLAME_MONO : (mode == "stereo" ? TWOLAME_STEREO : TWOLAME_JOINT_STEREO));
    twolame_set_error_protection(options, 1);
    twolame_set_DAB(options, 1);
    twolame_set_DAB_scf_crc_length(options);
    const int scf = twolame_get_DAB_crc_length(options);
    twolame_set_DAB_xpad_length(options, std::max(0, pad - 2));
    twolame_set_num_ancillary_bits(options, 8 * (pad + scf));
    if (twolame_init_params(options) != 0) {
        twolame_close(&options);
        throw std::runtime_error("twolame cannot encode " + std::to_string(bitrate_kbps) +
                                 " kbit/s " + mode);
    }
    AudioFrames out;
    out.scf_crc_length = scf;
    std::vector<short> pcm(kSamplesPerFrame * 2);
    std::vector<uint8_t> buffer(16384);
    int64_t sample = 0;
    // One frame more than needed: each frame's ScF-CRC protects the next frame's scale
    // factors, and the frame after the last is the first again (the tone repeats).
    for (int f = 0; f <= frames; ++f) {
        for (int i = 0; i < kSamplesPerFrame; ++i, ++sample) {
            const double phase = 2 * M_PI * tone_hz * static_cast<double>(sample) / kSampleRate;
            const short value = static_cast<short>(std::lround(8192 * std::sin(phase)));
            if (mono) {
                pcm[i] = value;
            } else {
                pcm[2 * i] = pcm[2 * i + 1] = value;
            }
        }
        const int n = mono ? twolame_encode_buffer(options, pcm.data(), nullptr, kSamplesPerFrame,
                                                   buffer.data(), static_cast<int>(buffer.size()))
                           : twolame_encode_buffer_interleaved(options, pcm.data(),
                                                               kSamplesPerFrame, buffer.data(),
                                                               static_cast<int>(buffer.size()));
        if (n <= 0) {
            twolame_close(&options);
            throw std::runtime_error("twolame gave no frame");
        }
        if (!out.frames.empty()) {
            twolame_set_DAB_scf_crc(options, out.frames.back().data(),
                                    static_cast<int>(out.frames.back().size()));
        }
        if (f < frames) out.frames.emplace_back(buffer.begin(), buffer.begin() + n);
    }
    twolame_close(&options);
    return out;
}

}  // namespace koru::mkens
