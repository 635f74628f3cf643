#include "player/dataservice/em_mot.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "m4systems/log.h"
#include "player/dataservice/slide_picture.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "EM_MOT";
const QColor kBackground(0x0A, 0x00, 0x0A);  // 0x0A000A

}  // namespace

EM_MOT::EM_MOT(QWidget* main_window, std::string logo_path)
    : QWidget(main_window), main_window_(main_window), logo_path_(std::move(logo_path)) {
    setObjectName("EM_MOT");
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    resize(kWidth, kHeight);
    // Made with an empty rectangle: Navigate gives it its size, Show and Hide take it away.
    browser_ = new SiteBrowser(this);
    browser_->setGeometry(0, 0, 0, 0);
    browser_->installEventFilter(this);
    browser_->viewport()->installEventFilter(this);
    hide();
}

void EM_MOT::Place(const QRect& picture_area) {
    const int left = picture_area.left() + (picture_area.width() - kWidth) / 2;
    const int top = picture_area.top() + (picture_area.height() - kHeight) / 2;
    M4_LOG(3, kSource, "x:[%d] top:[%d] width[%d] height[%d]", picture_area.left(),
           picture_area.top(), picture_area.width(), picture_area.height());
    M4_LOG(3, kSource, "left [%d]  top[%d] ", left, top);
    setGeometry(left, top, kWidth, kHeight);
}

void EM_MOT::CollapseBrowser() {
    if (browser_->width() > 0) browser_->setGeometry(-1, -1, 0, 0);
}

void EM_MOT::Show() {
    show();
    CollapseBrowser();
    browser_mode_ = false;
    navigate_allowed_ = true;
    ShowPicture();
}

void EM_MOT::Hide() {
    CollapseBrowser();
    browser_->Stop();
    browser_mode_ = false;
    hide();
    navigate_allowed_ = true;
}

void EM_MOT::PageReady() {
    navigate_allowed_ = true;
}

void EM_MOT::ShowFile(const std::string& path) {
    if (path.empty()) return;
    CollapseBrowser();
    use_logo_ = false;
    file_path_ = path;
    browser_mode_ = false;
    M4_LOG(3, kSource, "em mot display");
    ShowPicture();
}

void EM_MOT::Navigate(const std::string& url) {
    // One pixel beyond the window on every side, so that no border shows.
    if (browser_->width() == 0) browser_->setGeometry(-1, -1, kWidth + 2, kHeight + 2);
    const bool load = navigate_allowed_;
    if (load) browser_->Open(QString::fromStdString(url));
    browser_mode_ = true;
    navigate_allowed_ = false;
    // The receiver may not have had every file of the site yet: the next directory tries again.
    if (!load) return;
    if (browser_->PageComplete()) {
        M4_LOG(2, kSource, "page %s shown", url.c_str());
    } else {
        M4_LOG(2, kSource, "%s is not complete yet", url.c_str());
        PageReady();
    }
}

bool EM_MOT::DecodeChosenFile() {
    const std::string& file = use_logo_ ? logo_path_ : file_path_;
    std::optional<QByteArray> bytes = ReadSlideFile(file);
    // The same file again (a repeated object, a burst of reports): the kept picture stays.
    if (bytes && !picture_.isNull() && *bytes == picture_bytes_) return true;
    picture_ = QImage();
    picture_bytes_.clear();
    if (!bytes) return false;
    std::optional<QImage> decoded = DecodeSlide(file, *bytes);
    if (!decoded) return false;
    picture_ = std::move(*decoded);
    picture_bytes_ = std::move(*bytes);
    ++decodes_;
    M4_LOG(2, kSource, "jpeg decording %s (%dx%d)", file.c_str(), picture_.width(),
           picture_.height());
    return true;
}

void EM_MOT::ShowPicture() {
    // A file that cannot be decoded leaves the screen as it is until the next paint.
    if (DecodeChosenFile() && !browser_mode_) update();
}

void EM_MOT::paintEvent(QPaintEvent*) {
    if (browser_mode_) return;
    if (picture_.isNull()) {
        M4_LOG(3, kSource, "Draw Jpeg");
        use_logo_ = true;
        DecodeChosenFile();
    }
    if (picture_.isNull() || picture_.width() == 0 || picture_.height() == 0) return;
    QPainter painter(this);
    if (picture_.width() < kWidth || picture_.height() < kHeight)
        painter.fillRect(rect(), kBackground);
    // Centred, or from the top-left corner and clipped when larger; never scaled.
    const int x = std::max(0, (width() - picture_.width()) / 2);
    const int y = std::max(0, (height() - picture_.height()) / 2);
    painter.drawImage(x, y, picture_);
}

void EM_MOT::contextMenuEvent(QContextMenuEvent* event) {
    if (context_menu_) context_menu_(event->globalPos());
    event->accept();
}

bool EM_MOT::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(),
                           key->isAutoRepeat(), static_cast<ushort>(key->count()));
            QCoreApplication::sendEvent(main_window_, &copy);
            return true;
        }
        case QEvent::ContextMenu:
            if (context_menu_) context_menu_(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        default:
            return QWidget::eventFilter(watched, event);
    }
}

}  // namespace koru::player
