#include "player/core/screen_wnd.h"

#include <unistd.h>

#include <QPainter>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "m4systems/log.h"
#include "player/core/player_event.h"

namespace koru::player {

long long MillisecondsSinceStart() {
    // Field 22 of /proc/self/stat: the start time in clock ticks after boot.
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end_of_name = line.rfind(')');
    if (end_of_name == std::string::npos) return -1;
    std::istringstream fields(line.substr(end_of_name + 2));
    std::string field;
    unsigned long long start_ticks = 0;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) start_ticks = std::stoull(field);
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const long long now_ms = now.tv_sec * 1000LL + now.tv_nsec / 1000000;
    return now_ms - static_cast<long long>(start_ticks * 1000 / sysconf(_SC_CLK_TCK));
}

ScreenWnd::ScreenWnd(QWidget* parent) : QWidget(parent), shared_(std::make_unique<Shared>()) {
    setObjectName("screen_wnd");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    shared_->window = this;
    output_.user = shared_.get();
    output_.Present = &ScreenWnd::Present;
    output_.Clear = &ScreenWnd::Clear;
    output_.ShowText = &ScreenWnd::ShowText;
}

ScreenWnd::~ScreenWnd() {
    std::lock_guard lock(shared_->mutex);
    shared_->window = nullptr;
}

QImage ScreenWnd::LastPicture() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->picture.copy();
}

void ScreenWnd::RequestUpdate(Shared* shared) {
    if (shared->update_pending.exchange(true)) return;
    std::lock_guard lock(shared->mutex);
    if (shared->window != nullptr) {
        RunOnThreadOf(
            shared->window,
            [window = shared->window] {
                window->shared_->update_pending = false;
                window->update();
            },
            Qt::QueuedConnection);
    }
}

void ScreenWnd::Present(void* user, const uint8_t* pixels, uint32_t width, uint32_t height,
                        uint32_t stride) {
    auto* shared = static_cast<Shared*>(user);
    if (pixels == nullptr || width == 0 || height == 0) return;
    {
        const QImage view(pixels, static_cast<int>(width), static_cast<int>(height),
                          static_cast<qsizetype>(stride), QImage::Format_RGB32);
        QImage copy = view.copy();
        std::lock_guard lock(shared->mutex);
        shared->picture.swap(copy);
    }
    if (shared->frames.fetch_add(1) == 0) {
        log_debug_out("VelmarPlayer: first picture after %lld ms", MillisecondsSinceStart());
    }
    RequestUpdate(shared);
}

void ScreenWnd::Clear(void* user) {
    auto* shared = static_cast<Shared*>(user);
    {
        std::lock_guard lock(shared->mutex);
        shared->picture = QImage();
    }
    RequestUpdate(shared);
}

void ScreenWnd::ShowText(void* user, const char* text) {
    auto* shared = static_cast<Shared*>(user);
    {
        std::lock_guard lock(shared->mutex);
        shared->text = text != nullptr ? text : "";
    }
    RequestUpdate(shared);
}

void ScreenWnd::paintEvent(QPaintEvent*) {
    QImage picture;
    std::string text;
    {
        std::lock_guard lock(shared_->mutex);
        picture = shared_->picture;
        text = shared_->text;
    }
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!picture.isNull()) {
        // The terminal scales to the size it was given; a picture of another size (during a
        // resize) is fitted into the window.
        if (picture.size() == size()) {
            painter.drawImage(0, 0, picture);
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(rect(), picture);
        }
    }
    if (!text.empty()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignBottom | Qt::AlignHCenter,
                         QString::fromStdString(text));
    }
}

}  // namespace koru::player
