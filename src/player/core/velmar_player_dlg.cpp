#include "player/core/velmar_player_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/player_event.h"
#include "player/core/screen_geometry.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
// The maker's web site, opened by the logo button.
constexpr const char* kMakerPage = "https://www.koru-dmb.example/";
// The corner that opens the full-screen menu on a right click.
constexpr int kFullScreenMenuCorner = 50;

struct ButtonSpec {
    int control;
    const char* name;
    const char* second_set;  // image set 1, or null
    Text tooltip;
};

constexpr ButtonSpec kButtons[] = {
    {control::kOpen, "BT_Open", nullptr, Text::kTipOpen},
    {control::kPlay, "BT_Play", "BT_Pause", Text::kTipPlay},
    {control::kStop, "BT_Stop", nullptr, Text::kTipStop},
    {control::kChannelUp, "BT_Up", nullptr, Text::kTipChannelUp},
    {control::kChannelDown, "BT_Down", nullptr, Text::kTipChannelDown},
    {control::kMute, "BT_Speaker", "BT_Mute", Text::kTipMute},
    {control::kChannelList, "BT_Search", nullptr, Text::kTipChannelList},
    {control::kMinimize, "BT_Min", nullptr, Text::kTipMinimize},
    {control::kFullScreen, "BT_Max", nullptr, Text::kTipFullScreen},
    {control::kTurnOff, "BT_Turnoff", nullptr, Text::kTipTurnOff},
    {control::kCapture, "BT_Capture", nullptr, Text::kTipCapture},
    {control::kRecord, "BT_Record", nullptr, Text::kTipRecord},
    {control::kLogo, "BT_Logo", nullptr, Text::kTipLogo},
};

}  // namespace

VelmarPlayerDlg::VelmarPlayerDlg(PlayerState& state, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), state_(state), skin_(layout_) {
    setObjectName("VelmarPlayerDlg");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
    CreateControls();
    // A skin whose layout cannot be read says why ("Error") instead of leaving a blank window.
    layout_.SetMessageCallback([this](const std::string& caption, const std::string& text) {
        ShowMessageBox(caption, text);
    });
}

VelmarPlayerDlg::~VelmarPlayerDlg() = default;

void VelmarPlayerDlg::CreateControls() {
    // The video window first, so that everything else lies above it.
    screen_ = new ScreenWnd(this);
    screen_->setGeometry(0, 0, 320, 240);
    screen_->show();
    for (const ButtonSpec& spec : kButtons) {
        auto* button = new skin::EM_BitmapButton(spec.control, this);
        connect(button, &QAbstractButton::clicked, this, [this, id = spec.control] {
            if (controller_ != nullptr) controller_->OnControl(id);
        });
        buttons_[spec.control] = button;
    }
    grip_ = new skin::EM_BitmapButton(0, this);
    grip_->setObjectName("BT_Grip");
    grip_->setCursor(Qt::SizeFDiagCursor);
    grip_->installEventFilter(this);
    volume_ = new skin::BitmapSlider(control::kVolume, this);
    volume_->setFocusPolicy(Qt::NoFocus);
    volume_->SetRange(0, 100);
    volume_->SetPos(70);
    volume_->SetNotify([this](uint32_t message, int id, int position) {
        // Posted to this window like any other window message.
        PostPlayerEvent(this, message, id, position);
    });
    caption_ = new OsdWindow("OSD_Channel", QColor(0xF7, 0xF7, 0xF7), QColor(0x3A, 0x58, 0x94),
                             "Arial", this);
    record_mark_ =
        new OsdWindow("OSD_Record", QColor(0xFF, 0x66, 0x00), QColor(0, 0, 0), "Verdana", this);
    record_mark_->SetText(QString::fromUtf8(player::Tr(Text::kRecordMark, 1)));
    status_ =
        new OsdWindow("OSD_Screen", QColor(0xF7, 0xF7, 0xF7), QColor(0, 0, 0, 170), "Arial", this);
    volume_osd_ = new EM_VolumeOSD(this);
    message_box_ = new skin::EM_MessageBox(this);
}

skin::EM_BitmapButton* VelmarPlayerDlg::button(int control_id) {
    auto it = buttons_.find(control_id);
    return it != buttons_.end() ? it->second : nullptr;
}

void VelmarPlayerDlg::SetController(MainController* controller) {
    controller_ = controller;
    RefreshTexts();
    RefreshButtons();
}

QString VelmarPlayerDlg::Tr(Text id) const {
    return QString::fromUtf8(player::Tr(id, state_.Language()));
}

// ---- Skin and layout ------------------------------------------------------------------------

bool VelmarPlayerDlg::LoadSkin(const std::string& path) {
    if (!layout_.LoadLayout(path)) {
        M4_LOG(1, kSource, "no skin file %s", path.c_str());
        return false;
    }
    skin_.Reset();
    skin_number_ = layout_.SkinNumber();
    layout_size_ = skin::MainWindowLayoutSize(skin_);
    if (layout_size_.isEmpty()) layout_size_ = QSize(320, 240);
    for (const ButtonSpec& spec : kButtons) {
        skin::EM_BitmapButton* button = buttons_[spec.control];
        button->LoadImages(skin_, spec.name, 0, true);
        if (spec.second_set != nullptr) button->LoadImages(skin_, spec.second_set, 1, false);
    }
    grip_->LoadImages(skin_, "BT_Grip", 0, true);
    const QImage thumb = skin_.Image("BM_Vol_Normal");
    volume_->SetChannelBitmaps(skin_.Image("BM_Vol_Channel"), skin_.Image("BM_Vol_Active"), false);
    // The thumb is drawn through its corner colour.
    volume_->SetThumbBitmaps(thumb, QImage(), true, 0, 0, 0);
    volume_->setGeometry(skin_.AbsoluteRect("BM_Vol_Channel"));
    message_box_->Initialise(skin_);
    message_box_->SetSkinNumber(skin_number_);
    resize(layout_size_ + extra_);
    RebuildBackground();
    Relayout();
    return true;
}

QRect VelmarPlayerDlg::Place(const std::string& id) const {
    QRect rect = skin_.AbsoluteRect(id);
    if (rect.isNull() && rect.topLeft() == QPoint(0, 0)) return rect;
    const int dx = extra_.width();
    const int dy = extra_.height();
    const QRect body = skin_.AbsoluteRect("L_Body");
    const QRect bottom = skin_.AbsoluteRect("L_Bottom");
    const char* right_piece = "BM_Right_1";
    const char* middle_piece = nullptr;
    if (rect.top() < body.top()) {
        right_piece = "BM_Top_3";
        middle_piece = "BM_Top_2";
    } else if (rect.top() >= bottom.top()) {
        right_piece = "BM_Bottom_3";
        middle_piece = "BM_Bottom_2";
        rect.translate(0, dy);
    }
    if (rect.left() >= skin_.AbsoluteRect(right_piece).left()) {
        rect.translate(dx, 0);
    } else if (middle_piece != nullptr &&
               rect.left() + rect.width() > skin_.AbsoluteRect(middle_piece).left()) {
        rect.setWidth(rect.width() + dx);
    }
    return rect;
}

skin::Rect VelmarPlayerDlg::ScreenRegion() {
    const QRect screen =
        skin_.AbsoluteRect("RG_Screen").adjusted(0, 0, extra_.width(), extra_.height());
    return skin::Rect{screen.left(), screen.top(), screen.left() + screen.width(),
                      screen.top() + screen.height()};
}

QRect VelmarPlayerDlg::VideoRect() const {
    if (full_screen_) return full_screen_video_;
    const QRect screen =
        skin_.AbsoluteRect("RG_Screen").adjusted(0, 0, extra_.width(), extra_.height());
    const skin::Rect fitted =
        FitFourByThree(skin::Rect{screen.left(), screen.top(), screen.left() + screen.width(),
                                  screen.top() + screen.height()});
    return skin::ToQRect(fitted);
}

void VelmarPlayerDlg::RebuildBackground() {
    background_ = QImage(size(), QImage::Format_RGB32);
    background_.fill(Qt::black);
    if (full_screen_) {
        clearMask();
        return;
    }
    skin::DrawFrame(background_, skin_, extra_.width(), extra_.height());
    const QRegion region = skin::BitmapToRegion(background_);
    // A failed or empty region leaves the window rectangular.
    if (region.isEmpty()) {
        clearMask();
    } else {
        setMask(region);
    }
}

void VelmarPlayerDlg::Relayout() {
    const bool chrome = !full_screen_;
    for (const ButtonSpec& spec : kButtons) {
        skin::EM_BitmapButton* button = buttons_[spec.control];
        const QRect home = button->home();
        const QRect placed = Place(spec.name);
        button->MoveBy(placed.left() - home.left(), placed.top() - home.top());
        button->setVisible(chrome && !home.isEmpty());
    }
    const QRect grip = Place("BT_Grip");
    grip_->MoveBy(grip.left() - grip_->home().left(), grip.top() - grip_->home().top());
    grip_->setVisible(chrome && !grip.isEmpty());
    volume_->setGeometry(Place("BM_Vol_Channel"));
    volume_->setVisible(chrome);
    const QRect picture = VideoRect();
    screen_->setGeometry(picture);
    screen_->setVisible(full_screen_ || layout_kind_ == kLayoutVideo);
    if (relayout_handler_) relayout_handler_();
    PlaceOverlays(picture);
    if (!full_screen_) {
        const skin::Rect region = ScreenRegion();
        message_box_->Place(skin::ToQRect(region));
    }
    update();
}

void VelmarPlayerDlg::PlaceOverlays(const QRect& picture) {
    const QRect screen = skin_.AbsoluteRect("RG_Screen");
    const double sx = screen.width() > 0 ? picture.width() / double(screen.width()) : 1.0;
    const double sy = screen.height() > 0 ? picture.height() / double(screen.height()) : 1.0;
    auto scaled = [&](const char* id) {
        const QRect r = skin_.AbsoluteRect(id);
        return QRect(picture.left() + int((r.left() - screen.left()) * sx + 0.1),
                     picture.top() + int((r.top() - screen.top()) * sy + 0.1),
                     int(r.width() * sx + 0.1), int(r.height() * sy + 0.1));
    };
    caption_->setGeometry(OsdRect(kCaptionReference, picture.size()).translated(picture.topLeft()));
    record_mark_->setGeometry(
        OsdRect(kRecordReference, picture.size()).translated(picture.topLeft()));
    status_->setGeometry(scaled("OSD_Screen"));
    const int points = OsdFontPoints(picture.height());
    for (OsdWindow* osd : {caption_, record_mark_, status_}) {
        osd->SetFontPoints(points);
        osd->raise();
    }
    volume_osd_->Place(picture);
    volume_osd_->raise();
    message_box_->raise();
}

// ---- Painting -------------------------------------------------------------------------------

QFont VelmarPlayerDlg::MessageFont() const {
    if (skin_number_ == 5) {
        QFont font("굴림체");
        font.setPointSize(9);
        return font;
    }
    QFont font("Arial");
    font.setPointSize(10);
    return font;
}

void VelmarPlayerDlg::paintEvent(QPaintEvent*) {
    if (!shown_logged_) {
        shown_logged_ = true;
        log_debug_out("VelmarPlayer: window shown after %lld ms", MillisecondsSinceStart());
    }
    QPainter painter(this);
    painter.drawImage(0, 0, background_);
    if (full_screen_ || controller_ == nullptr) return;
    if (layout_kind_ == kLayoutAudio) {
        const QImage radio = skin_.Image("BM_RadioBG");
        const QRect screen = skin::ToQRect(ScreenRegion());
        if (!radio.isNull())
            painter.drawImage(screen.topLeft(), radio, QRect(QPoint(0, 0), screen.size()));
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(MessageFont());
    painter.setPen(Qt::white);
    const QRect line1 = Place("RG_MSG_1");
    const QString text1 = QString::fromStdString(controller_->message_line(1));
    painter.drawText(line1, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(text1, Qt::ElideRight, line1.width()));
    const QRect line2 = Place("RG_MSG_2");
    painter.setPen(QColor(0xB8, 0xC0, 0xCA));
    painter.drawText(line2, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     QString::fromStdString(controller_->message_line(2)));
    const QImage antenna = skin_.Image(AntennaBitmapName(controller_->antenna_bars()));
    const QRect antenna_rect = Place("RG_ANTENNA");
    if (!antenna.isNull())
        painter.drawImage(antenna_rect.topLeft(), antenna,
                          QRect(QPoint(0, 0), antenna_rect.size()));
    if (state_.FilePlayback() && progress_length_ms_ > 0) {
        const QImage thumb = skin_.Image("BM_Pro_Normal");
        const QRect bar = Place("RG_PlayProgress");
        const int left = ProgressThumbLeft(
            skin::Rect{bar.left(), bar.top(), bar.left() + bar.width(), bar.top() + bar.height()},
            thumb.width(), progress_position_ms_, progress_length_ms_,
            state_.connection_state == kConnectionStopped);
        if (!thumb.isNull()) painter.drawImage(left, bar.top(), thumb);
    }
}

void VelmarPlayerDlg::RedrawMessageLine(int line) {
    update(Place(line == 2 ? "RG_MSG_2" : "RG_MSG_1"));
}
void VelmarPlayerDlg::RedrawAntenna() {
    update(Place("RG_ANTENNA"));
}
void VelmarPlayerDlg::RedrawProgress() {
    update(Place("RG_PlayProgress"));
}

void VelmarPlayerDlg::SetProgress(long long position_ms, long long length_ms) {
    progress_position_ms_ = position_ms;
    progress_length_ms_ = length_ms;
    RedrawProgress();
}

// ---- Boxes and overlays ---------------------------------------------------------------------

void VelmarPlayerDlg::ShowErrorBox(const std::string& text) {
    QMessageBox::information(this, windowTitle(), QString::fromStdString(text));
}

void VelmarPlayerDlg::ShowMessageBox(const std::string& caption, const std::string& text) {
    QMessageBox::warning(this,
                         caption.empty() ? QString("KORU-DMB") : QString::fromStdString(caption),
                         QString::fromStdString(text));
    state_.message_box_flag = true;
}

bool VelmarPlayerDlg::AskYesNo(const std::string& text) {
    return QMessageBox::question(this, windowTitle(), QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void VelmarPlayerDlg::ShowSkinnedMessage(const std::string& text) {
    const int language = state_.Language();
    message_box_->SetLanguage(language);
    message_box_->SetMultiLineLengths(
        std::string(player::Tr(Text::kUsbLostRetry, language)).size(),
        std::string(player::Tr(Text::kUsbLostSearchCanceled, language)).size());
    message_box_->SetMessage(text);
    message_box_->show();
    message_box_->raise();
}

void VelmarPlayerDlg::HideSkinnedMessage() {
    message_box_->hide();
}

void VelmarPlayerDlg::ShowOsd(OsdWindow* osd, const std::string& text) {
    osd->SetText(QString::fromStdString(text));
    osd->show();
    osd->raise();
}

void VelmarPlayerDlg::ShowChannelBanner(const std::string& caption) {
    ShowOsd(caption_, caption);
}
void VelmarPlayerDlg::HideChannelBanner() {
    caption_->hide();
}
void VelmarPlayerDlg::ShowStatusOverlay(const std::string& text) {
    ShowOsd(status_, text);
}
void VelmarPlayerDlg::HideStatusOverlay() {
    status_->hide();
}
void VelmarPlayerDlg::ShowVolumeOsd(const std::string& text) {
    volume_osd_->Set(QString::fromStdString(text));
    volume_osd_->show();
    volume_osd_->raise();
}
void VelmarPlayerDlg::HideVolumeOsd() {
    volume_osd_->hide();
}

void VelmarPlayerDlg::ShowRecordMark(bool visible) {
    // The mark belongs to a running recording and shows nothing without one.
    record_mark_->setVisible(visible && state_.Recording());
}

// ---- Layout, sizes, full screen -------------------------------------------------------------

void VelmarPlayerDlg::ApplyLayout(int layout) {
    layout_kind_ = layout;
    Relayout();
}

void VelmarPlayerDlg::ApplyExtraSize(int dx, int dy) {
    extra_ = QSize(std::max(0, dx), std::max(0, dy));
    if (full_screen_) return;
    resize(layout_size_ + extra_);
    RebuildBackground();
    Relayout();
}

void VelmarPlayerDlg::EnterFullScreen(const skin::Rect& video) {
    if (full_screen_) return;
    saved_geometry_ = geometry();
    full_screen_ = true;
    full_screen_video_ = skin::ToQRect(video);
    message_box_->hide();
    const QScreen* current = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    setGeometry(current != nullptr ? current->geometry() : QRect(0, 0, 1280, 1024));
    RebuildBackground();
    Relayout();
    raise();
}

void VelmarPlayerDlg::LeaveFullScreen() {
    if (!full_screen_) return;
    full_screen_ = false;
    setGeometry(QRect(saved_geometry_.topLeft(), layout_size_ + extra_));
    RebuildBackground();
    Relayout();
}

Size VelmarPlayerDlg::DesktopSize() {
    const QScreen* current = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (current == nullptr) return Size{1280, 1024};
    return Size{current->geometry().width(), current->geometry().height()};
}

void VelmarPlayerDlg::Minimize() {
    showMinimized();
}

void VelmarPlayerDlg::RaiseWindow() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

void VelmarPlayerDlg::MovePointerAway() {
    const QScreen* current = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (current != nullptr) QCursor::setPos(current->geometry().topRight());
}

// ---- Controls and texts ---------------------------------------------------------------------

void VelmarPlayerDlg::SetVolumeSlider(int volume) {
    volume_->SetPos(volume);
}

void VelmarPlayerDlg::SetMuted(bool muted) {
    buttons_[control::kMute]->SetImageSet(muted ? 1 : 0);
}

void VelmarPlayerDlg::SetPlayTooltip(bool paused) {
    buttons_[control::kPlay]->setToolTip(Tr(paused ? Text::kTipPlay : Text::kTipPause));
}

void VelmarPlayerDlg::RefreshMenus() {}

void VelmarPlayerDlg::RefreshTexts() {
    for (const ButtonSpec& spec : kButtons)
        buttons_[spec.control]->setToolTip(Tr(spec.tooltip));
    volume_->setToolTip(Tr(Text::kTipVolume));
    update();
}

void VelmarPlayerDlg::RefreshButtons() {
    if (controller_ == nullptr) return;
    const MenuModel& menu = controller_->menu();
    buttons_[control::kOpen]->setEnabled(menu.HasFeature(Feature::kFilePlayback));
    buttons_[control::kCapture]->setEnabled(menu.HasFeature(Feature::kCapture));
    buttons_[control::kRecord]->setEnabled(menu.HasFeature(Feature::kRecording));
    buttons_[control::kChannelList]->setEnabled(menu.HasFeature(Feature::kChannelWindows));
}

void VelmarPlayerDlg::OpenMakerPage() {
    QDesktopServices::openUrl(QUrl(kMakerPage));
}

void VelmarPlayerDlg::TakeFocus() {
    if (!isVisible()) return;
    activateWindow();
    setFocus(Qt::OtherFocusReason);
}

// ---- Menus ----------------------------------------------------------------------------------

void VelmarPlayerDlg::AddMenuItems(QMenu& menu, const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        switch (item.kind) {
            case MenuItem::kSeparator:
                menu.addSeparator();
                break;
            case MenuItem::kSubmenu: {
                QMenu* submenu = menu.addMenu(Tr(item.text));
                AddMenuItems(*submenu, item.children);
                submenu->setEnabled(!item.children.empty());
                break;
            }
            case MenuItem::kCommand: {
                const QString text =
                    item.label.empty() ? Tr(item.text) : QString::fromStdString(item.label);
                QAction* action = menu.addAction(text);
                action->setData(item.command);
                action->setEnabled(controller_->menu().IsEnabled(item.command));
                if (controller_->menu().IsChecked(item.command)) {
                    action->setCheckable(true);
                    action->setChecked(true);
                }
                const int command = item.command;
                connect(action, &QAction::triggered, this, [this, command] {
                    if (controller_ != nullptr) controller_->OnMenuCommand(command);
                });
                break;
            }
        }
    }
}

std::unique_ptr<QMenu> VelmarPlayerDlg::BuildPopupMenu(bool full_screen_menu) {
    auto menu = std::make_unique<QMenu>(this);
    if (controller_ == nullptr) return menu;
    const MenuModel& model = controller_->menu();
    AddMenuItems(*menu, full_screen_menu ? model.FullScreenMenu()
                                         : model.MainMenu(skin_number_ != 5, skins_));
    return menu;
}

void VelmarPlayerDlg::OpenContextMenu(const QPoint& global) {
    if (full_screen_ && controller_ != nullptr) controller_->timers().Stop(timer::kPointerAway);
    PopupMenu(global, full_screen_);
}

void VelmarPlayerDlg::PopupMenu(const QPoint& global, bool full_screen_menu) {
    std::unique_ptr<QMenu> menu = BuildPopupMenu(full_screen_menu);
    menu->exec(global);
    TakeFocus();
}

// ---- Input ----------------------------------------------------------------------------------

namespace {

bool IsEnterOrEscape(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

}  // namespace

void VelmarPlayerDlg::keyPressEvent(QKeyEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    // A key pressed with Alt counts as Alt+key when it is released, whichever key comes up first.
    if (alt) alt_keys_.insert(event->key());
    if (IsEnterOrEscape(event->key()) && !event->isAutoRepeat())
        pressed_enter_or_escape_ = event->key();
    const bool volume_key = event->key() == Qt::Key_Left || event->key() == Qt::Key_Right;
    if (controller_ != nullptr && (!event->isAutoRepeat() || volume_key))
        controller_->OnKeyPress(event->key(), alt);
    event->accept();
}

void VelmarPlayerDlg::keyReleaseEvent(QKeyEvent* event) {
    M4_LOG(3, kSource, "key release %#x modifiers %#x%s", static_cast<unsigned>(event->key()),
           static_cast<unsigned>(event->modifiers()), event->isAutoRepeat() ? " (repeat)" : "");
    if (event->isAutoRepeat()) return;
    if (IsEnterOrEscape(event->key())) {
        const bool pressed_here = pressed_enter_or_escape_ == event->key();
        pressed_enter_or_escape_ = 0;
        // Enter that chose a file in the open dialog or an item of a menu comes up here: not
        // a key for this window (full screen). After a message box the release is the one
        // that clears the box's flag, as always.
        if (!pressed_here && controller_ != nullptr && !controller_->state().message_box_flag) {
            event->accept();
            return;
        }
    }
    const bool alt = (event->modifiers() & Qt::AltModifier) || alt_keys_.erase(event->key()) > 0;
    if (controller_ != nullptr) controller_->OnKeyRelease(event->key(), alt);
    event->accept();
}

void VelmarPlayerDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        const bool corner =
            position.x() < kFullScreenMenuCorner && position.y() < kFullScreenMenuCorner;
        PopupMenu(event->globalPosition().toPoint(), full_screen_ || corner);
        return;
    }
    if (event->button() != Qt::LeftButton || full_screen_) return;
    if (const QRect bar = Place("RG_PlayProgress"); bar.contains(position)) {
        // The thumb's left edge travels the bar's width less its own.
        const int span = bar.width() - skin_.Image("BM_Pro_Normal").width();
        if (controller_ != nullptr) controller_->OnProgressPressed(position.x() - bar.left(), span);
        return;
    }
    drag_ = Drag::kMove;
    drag_start_global_ = event->globalPosition().toPoint();
    drag_start_window_ = pos();
}

void VelmarPlayerDlg::mouseMoveEvent(QMouseEvent* event) {
    if (full_screen_ && controller_ != nullptr) controller_->OnMouseMovedInFullScreen();
    if (drag_ == Drag::kMove)
        move(drag_start_window_ + event->globalPosition().toPoint() - drag_start_global_);
}

void VelmarPlayerDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ != Drag::kMove || event->button() != Qt::LeftButton) return;
    drag_ = Drag::kNone;
    const QPoint moved = pos() - drag_start_window_;
    if (controller_ != nullptr) controller_->OnWindowMoved(moved.x(), moved.y(), x(), y());
}

bool VelmarPlayerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched != grip_ || controller_ == nullptr) return QWidget::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() == Qt::LeftButton && controller_->CanResizeWithGrip()) {
            drag_ = Drag::kResize;
            drag_start_global_ = mouse->globalPosition().toPoint();
            drag_start_extra_ = extra_;
        }
    } else if (type == QEvent::MouseMove) {
        if (drag_ == Drag::kResize) {
            const QPoint delta = mouse->globalPosition().toPoint() - drag_start_global_;
            const QSize extra = drag_start_extra_ + QSize(delta.x(), delta.y());
            if (extra != extra_) controller_->OnGripResized(extra.width(), extra.height());
        }
    } else {
        drag_ = Drag::kNone;
    }
    return QWidget::eventFilter(watched, event);
}

void VelmarPlayerDlg::closeEvent(QCloseEvent* event) {
    if (close_allowed_) {
        event->accept();
        return;
    }
    event->ignore();
    // The exit closes this window itself; it runs once this close request is over.
    QTimer::singleShot(0, this, [this] {
        if (controller_ != nullptr) controller_->Exit();
    });
}

void VelmarPlayerDlg::customEvent(QEvent* event) {
    const PlayerEvent* message = PlayerEvent::Received(event);
    if (message == nullptr) return;
    if (message->code() == skin::kSliderMoving) {
        // WM_USER + 9425: the volume slider moved.
        if (message->wparam() == control::kVolume && controller_ != nullptr)
            controller_->OnVolumeSlider(static_cast<int>(message->lparam()));
        return;
    }
    if (user_message_handler_)
        user_message_handler_(message->code(), message->wparam(), message->lparam());
}

void VelmarPlayerDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void VelmarPlayerDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || controller_ == nullptr) return;
    // Only files play: a dropped web address has no local name.
    const QString file = urls.first().toLocalFile();
    if (!file.isEmpty()) controller_->OpenUrlText(file.toStdString());
}

}  // namespace koru::player
