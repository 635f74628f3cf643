// screen_wnd: the video child window (control 1324) the terminal draws into. It is the
// terminal's video output: pictures arrive on the terminal's video thread, are copied, and shown
// on the main thread at the next paint.
#ifndef PLAYER_CORE_SCREEN_WND_H
#define PLAYER_CORE_SCREEN_WND_H

#include <QImage>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "m4systems/video_output.h"

namespace koru::player {

class ScreenWnd : public QWidget {
  public:
    explicit ScreenWnd(QWidget* parent = nullptr);
    ~ScreenWnd() override;

    // For the terminal's user record; valid while this window lives.
    M4VideoOutput* output() { return &output_; }

    // Pictures shown since start, and the last one (for tests and the status).
    uint64_t frames() const { return shared_->frames.load(); }
    QImage LastPicture() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // What the video thread writes. The terminal is deleted before this window (shutdown
    // order), so no call can arrive after the window is gone.
    struct Shared {
        std::mutex mutex;
        QImage picture;
        std::string text;
        std::atomic<uint64_t> frames{0};
        std::atomic<bool> update_pending{false};
        ScreenWnd* window = nullptr;
    };
    static void Present(void* user, const uint8_t* pixels, uint32_t width, uint32_t height,
                        uint32_t stride);
    static void Clear(void* user);
    static void ShowText(void* user, const char* text);
    static void RequestUpdate(Shared* shared);

    std::unique_ptr<Shared> shared_;
    M4VideoOutput output_{};
};

// Milliseconds since this process started (for the start-up timings in the debug output).
long long MillisecondsSinceStart();

}  // namespace koru::player

#endif
