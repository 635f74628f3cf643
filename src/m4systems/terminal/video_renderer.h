// Turns decoded pictures into the video output's 32-bit RGB at the size the player set, keeps
// the last one for capture, and carries the terminal's status text to the output.
#ifndef M4SYSTEMS_TERMINAL_VIDEO_RENDERER_H
#define M4SYSTEMS_TERMINAL_VIDEO_RENDERER_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "m4systems/terminal.h"

struct AVFrame;
struct SwsContext;

namespace koru::m4 {

class M4_INTERNAL VideoRenderer {
  public:
    explicit VideoRenderer(M4VideoOutput* output) : output_(output) {}
    ~VideoRenderer();
    VideoRenderer(const VideoRenderer&) = delete;
    VideoRenderer& operator=(const VideoRenderer&) = delete;

    // 0 x 0: the stream's own size.
    void SetSize(uint32_t width, uint32_t height);
    // Video thread: converts and presents; false when the picture cannot be converted.
    bool Render(const AVFrame* frame);
    // A copy of the last presented picture, 3 bytes a pixel (B, G, R), top row first.
    M4Err Capture(M4CaptureRecord* record);
    // Forgets the last picture and tells the output.
    void Clear();
    uint64_t Frames() const { return frames_.load(); }

    // The status text; hidden ones are remembered and not shown.
    void SetText(const char* text);
    void HideText(bool hide);

  private:
    struct Picture {
        std::vector<uint8_t> pixels;
        uint32_t width = 0, height = 0, stride = 0;
    };

    void ShowTextLocked();

    M4VideoOutput* const output_;
    std::atomic<uint32_t> width_{0}, height_{0};
    SwsContext* sws_ = nullptr;
    Picture pictures_[2];
    int next_ = 0;  // the picture the next Render writes
    std::atomic<uint64_t> frames_{0};

    std::mutex last_mutex_;
    int last_ = -1;  // the picture last presented, -1 none

    std::mutex text_mutex_;
    std::string text_;
    bool text_hidden_ = false;
};

}  // namespace koru::m4

#endif
