#include "player/channels/skinned_panel.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTreeWidget>

#include "player/core/message_table.h"
#include "player/core/player_event.h"

namespace koru::player {

namespace {

// The lists sit on the dark panels of the skin: dark rows, light text, the skin's teal for the
// selection, a header that blends into the panel.
constexpr const char* kListStyle =
    "QTreeWidget { background: #101317; color: #e4e9ee; border: 1px solid #2a3038;"
    " selection-background-color: #1f9e87; selection-color: #ffffff; outline: 0; }"
    "QHeaderView { background: #1b2027; }"
    "QHeaderView::section { background: #1b2027; color: #9fb0bf; border: none;"
    " border-bottom: 1px solid #2a3038; padding: 2px; }";

constexpr const char* kProfileGroup = "VelmarPlayer";
constexpr int kDefaultPosition = 100;

QSettings Profile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "KORU-DMB", "VelmarPlayer");
}

}  // namespace

SkinnedPanel::SkinnedPanel(QWidget* main_window, const skin::QtSkin& skin, std::string profile_key,
                           uint32_t place_message)
    : QWidget(main_window, Qt::Tool | Qt::FramelessWindowHint),
      main_window_(main_window),
      skin_(skin),
      profile_key_(std::move(profile_key)),
      place_message_(place_message) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QSettings profile = Profile();
    profile.beginGroup(kProfileGroup);
    move(profile.value(QString::fromStdString(profile_key_ + "_x"), kDefaultPosition).toInt(),
         profile.value(QString::fromStdString(profile_key_ + "_y"), kDefaultPosition).toInt());
    profile.endGroup();
    installEventFilter(this);
}

SkinnedPanel::~SkinnedPanel() {
    QSettings profile = Profile();
    profile.beginGroup(kProfileGroup);
    profile.setValue(QString::fromStdString(profile_key_ + "_x"), x());
    profile.setValue(QString::fromStdString(profile_key_ + "_y"), y());
    profile.endGroup();
    profile.sync();
}

void SkinnedPanel::DrawBackground(const std::vector<std::string>& bitmaps) {
    QRect bounds;
    for (const std::string& name : bitmaps)
        bounds |= skin_.AbsoluteRect(name);
    const QSize size(std::max(1, bounds.right() + 1), std::max(1, bounds.bottom() + 1));
    background_ = QImage(size, QImage::Format_RGB32);
    // What no bitmap covers (the lists' place) is inside the window, as on a fresh bitmap.
    background_.fill(Qt::black);
    for (const std::string& name : bitmaps)
        skin::DrawElement(background_, skin_, name);
    region_ = skin::BitmapToRegion(background_);
    setFixedSize(size);
    if (!region_.isEmpty()) setMask(region_);
    update();
}

void SkinnedPanel::PlaceByAnchor(int skin_number) {
    if (main_window_ == nullptr) return;
    const QRect anchor = skin_.AbsoluteRect("RG_CS_Anchor");
    const QPoint main = main_window_->pos();
    int top = 0;
    if (skin_number == 0) {
        top = main.y() + anchor.top();
    } else if (skin_number == 1 || skin_number == 2 || skin_number == 3 || skin_number == 5) {
        top = main.y();
    } else {
        return;
    }
    move(main.x() + anchor.left(), top);
}

void SkinnedPanel::PostPlace() {
    PostPlayerEvent(this, place_message_);
}

QRect SkinnedPanel::WorkArea() const {
    const QScreen* screen = main_window_ != nullptr ? main_window_->screen() : nullptr;
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

void SkinnedPanel::ForwardKeysOf(QWidget* child) {
    child->installEventFilter(this);
}

QTreeWidget* SkinnedPanel::MakeList(int control_id, const QString& title) {
    auto* list = new QTreeWidget(this);
    list->setObjectName(QString::number(control_id));
    list->setColumnCount(1);
    list->setHeaderLabels({title});
    list->header()->setDefaultAlignment(Qt::AlignCenter);
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setStyleSheet(kListStyle);
    ForwardKeysOf(list);
    return list;
}

void SkinnedPanel::SetColumnWidth(QTreeWidget* list, int width) {
    list->header()->setStretchLastSection(false);
    list->setColumnWidth(0, width);
}

void SkinnedPanel::SetHeadings(QTreeWidget* tv, QTreeWidget* radio, QTreeWidget* data,
                               int language) {
    tv->setHeaderLabels({QString::fromUtf8(Tr(Text::kTvChannelList, language))});
    radio->setHeaderLabels({QString::fromUtf8(Tr(Text::kRadioChannelList, language))});
    data->setHeaderLabels({QString::fromUtf8(Tr(Text::kDataChannelList, language))});
}

void SkinnedPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, background_);
}

void SkinnedPanel::customEvent(QEvent* event) {
    const PlayerEvent* message = PlayerEvent::Received(event);
    if (message != nullptr && message->code() == place_message_ && place_handler_) place_handler_();
}

void SkinnedPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    drag_start_global_ = event->globalPosition().toPoint();
    drag_start_window_ = pos();
}

void SkinnedPanel::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_)
        move(drag_start_window_ + event->globalPosition().toPoint() - drag_start_global_);
}

void SkinnedPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    if (pos() != drag_start_window_ && moved_handler_) moved_handler_();
}

bool SkinnedPanel::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && main_window_ != nullptr) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QKeyEvent copy(type, key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                       static_cast<ushort>(key->count()));
        QCoreApplication::sendEvent(main_window_, &copy);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace koru::player
