#include "m4systems/terminal/video_renderer.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "m4systems/log.h"

namespace koru::m4 {

namespace {
constexpr const char* kSource = "video_out";
constexpr uint32_t kBytesPerPixel = 4;
constexpr uint32_t kMaxSide = 8192;
}  // namespace

VideoRenderer::~VideoRenderer() {
    sws_freeContext(sws_);
}

void VideoRenderer::SetSize(uint32_t width, uint32_t height) {
    if (width > kMaxSide || height > kMaxSide || (width == 0) != (height == 0)) return;
    width_ = width;
    height_ = height;
}

bool VideoRenderer::Render(const AVFrame* frame) {
    if (frame->width <= 0 || frame->height <= 0) return false;
    uint32_t width = width_.load(), height = height_.load();
    if (width == 0) {
        width = static_cast<uint32_t>(frame->width);
        height = static_cast<uint32_t>(frame->height);
    }
    // AV_PIX_FMT_RGB32 is the native-endian word 0xAARRGGBB the output expects. At the
    // stream's own size only the colours change, where the fast path is no worse.
    const bool same_size = width == static_cast<uint32_t>(frame->width) &&
                           height == static_cast<uint32_t>(frame->height);
    sws_ = sws_getCachedContext(
        sws_, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        static_cast<int>(width), static_cast<int>(height), AV_PIX_FMT_RGB32,
        same_size ? SWS_FAST_BILINEAR : SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (sws_ == nullptr) {
        M4_LOG(1, kSource, "cannot convert %dx%d format %d", frame->width, frame->height,
               frame->format);
        return false;
    }
    Picture& picture = pictures_[next_];
    picture.width = width;
    picture.height = height;
    picture.stride = (width * kBytesPerPixel + 63) / 64 * 64;
    picture.pixels.resize(static_cast<size_t>(picture.stride) * height);
    uint8_t* planes[4] = {picture.pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(picture.stride), 0, 0, 0};
    sws_scale(sws_, frame->data, frame->linesize, 0, frame->height, planes, strides);
    if (output_ != nullptr && output_->Present != nullptr) {
        output_->Present(output_->user, picture.pixels.data(), width, height, picture.stride);
    }
    {
        std::lock_guard lock(last_mutex_);
        last_ = next_;
        next_ ^= 1;
    }
    ++frames_;
    return true;
}

M4Err VideoRenderer::Capture(M4CaptureRecord* record) {
    std::lock_guard lock(last_mutex_);
    if (last_ < 0) return M4BadParam;
    const Picture& picture = pictures_[last_];
    const size_t pitch = static_cast<size_t>(picture.width) * 3;
    auto* pixels = static_cast<uint8_t*>(std::malloc(pitch * picture.height));
    if (pixels == nullptr) return M4OutOfMem;
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* from = picture.pixels.data() + static_cast<size_t>(y) * picture.stride;
        uint8_t* to = pixels + y * pitch;
        for (uint32_t x = 0; x < picture.width; ++x) {
            std::memcpy(to + x * 3, from + x * kBytesPerPixel, 3);  // B, G, R; alpha dropped
        }
    }
    record->width = picture.width;
    record->height = picture.height;
    record->pitch = static_cast<uint32_t>(pitch);
    record->pixel_size = 3;
    record->pixels = pixels;
    return M4OK;
}

void VideoRenderer::Clear() {
    {
        std::lock_guard lock(last_mutex_);
        last_ = -1;
    }
    if (output_ != nullptr && output_->Clear != nullptr) output_->Clear(output_->user);
}

void VideoRenderer::SetText(const char* text) {
    std::lock_guard lock(text_mutex_);
    text_ = text != nullptr ? text : "";
    ShowTextLocked();
}

void VideoRenderer::HideText(bool hide) {
    std::lock_guard lock(text_mutex_);
    text_hidden_ = hide;
    ShowTextLocked();
}

void VideoRenderer::ShowTextLocked() {
    if (output_ == nullptr || output_->ShowText == nullptr) return;
    output_->ShowText(output_->user, text_hidden_ || text_.empty() ? nullptr : text_.c_str());
}

}  // namespace koru::m4
