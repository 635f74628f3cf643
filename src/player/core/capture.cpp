#include "player/core/capture.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "m4systems/log.h"
#include "player/core/event_window.h"
#include "player/core/recording.h"
#include "player/skin/jpeg_file.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
constexpr int kJpegQuality = 90;

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    M4_LOG(1, kSource, "JPEG: %s", text);
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Compresses the rows into file, each first copied into row (width x 3 bytes); false after a
// libjpeg error. No C++ object lives in this frame, so the error's long jump skips nothing.
bool Compress(const M4CaptureRecord& record, std::FILE* file, uint8_t* row) {
    jpeg_compress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = &OnJpegError;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = record.width;
    info.image_height = record.height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const size_t row_bytes = size_t{record.width} * 3;
    while (info.next_scanline < info.image_height) {
        std::memcpy(row, record.pixels + size_t{info.next_scanline} * row_bytes, row_bytes);
        skin::SwapRedBlue(row, static_cast<int>(record.width), 1);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::string CaptureFileName(const std::string& folder, const std::string& base,
                            const LocalTime& time) {
    // Both languages name captures alike.
    return Format(Tr(Text::kCaptureFileName, kLanguageKorean), folder.c_str(), base.c_str(),
                  time.month, time.day, time.hour, time.minute, time.second, time.millisecond);
}

bool WriteCaptureJpeg(const M4CaptureRecord& record, const std::string& path) {
    if (record.pixel_size != 3) {
        M4_LOG(1, kSource, "pixelSize is not 3.");
        return false;
    }
    if (record.pixels == nullptr || record.width == 0 || record.height == 0) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        M4_LOG(1, kSource, "cannot create %s", path.c_str());
        return false;
    }
    std::vector<uint8_t> row(size_t{record.width} * 3);
    const bool compressed = Compress(record, file, row.data());
    const bool closed = std::fclose(file) == 0;
    if (!compressed || !closed) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return false;
    }
    return true;
}

Capture::Capture(MainController& controller, LocalClock clock,
                 std::function<std::string()> file_name)
    : controller_(controller), clock_(std::move(clock)), file_name_(std::move(file_name)) {}

std::string Capture::BaseText() const {
    PlayerState& state = controller_.state();
    if (state.FilePlayback()) return FileNameText(file_name_ ? file_name_() : std::string());
    const int watch_kind = state.WatchKind();
    auto entry = state.Channel(watch_kind, state.CurrentIndex(watch_kind));
    return entry ? FileNameText(std::string(settings::FixedText(entry->label))) : std::string();
}

void Capture::Command() {
    PlayerState& state = controller_.state();
    // In file playback the layout tells whether there is a picture; live, the list does.
    const bool radio = !state.FilePlayback() && state.WatchKind() == settings::kWatchKindRadio;
    if (state.Searching() || radio || state.layout == kLayoutAudio ||
        state.connection_state == kConnectionStopped) {
        return;
    }
    const std::string base = BaseText();
    const LocalTime time = clock_();
    CaptureRequest request;
    controller_.Send(kEventCaptureScreen, reinterpret_cast<M4Param>(&request));
    if (request.record.pixels == nullptr) return;
    const std::string& folder = controller_.settings().path(settings::kCaptureFolder);
    const std::string path = CaptureFileName(folder, base, time);
    if (controller_.settings().EnsureFolder(folder) && WriteCaptureJpeg(request.record, path)) {
        M4_LOG(2, kSource, "captured %ux%u to %s", request.record.width, request.record.height,
               path.c_str());
        last_file_ = path;
    }
    std::free(request.record.pixels);
}

}  // namespace koru::player
