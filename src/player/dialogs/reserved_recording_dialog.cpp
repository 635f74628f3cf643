#include "player/dialogs/reserved_recording_dialog.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <set>

#include "player/dialogs/bilingual.h"

namespace koru::player {

namespace {

// clang-format off
constexpr Bilingual kTitle = {"예약 녹화", "Preengagement of record"};
constexpr Bilingual kType = {"타입", "Type"};
constexpr Bilingual kChannel = {"채널 선택", "Channel"};
constexpr Bilingual kStart = {"시작 시간", "Time to start"};
constexpr Bilingual kFinish = {"종료 시간", "Time to finish"};
constexpr Bilingual kAdd = {"추가", "Addition"};
constexpr Bilingual kDelete = {"삭제", "Delelete"};
constexpr Bilingual kClose = {"닫기", "닫기"};
constexpr Bilingual kChannelName = {"채널 이름", "Name of channel"};
constexpr Bilingual kIndex = {"번호", "Index"};
// clang-format on

// Room a list cell leaves beside its text, and the smallest font the list takes.
constexpr int kCellPadding = 10;
constexpr double kSmallestListPoints = 6;

template <typename T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

QComboBox* NumberList(int id, int count) {
    auto* list = Named(new QComboBox, id);
    for (int i = 0; i < count; ++i)
        list->addItem(QString("%1").arg(i, 2, 10, QChar('0')));
    return list;
}

QDateEdit* DatePicker(int id, const settings::CivilTime& today) {
    auto* picker = Named(new QDateEdit(QDate(today.year, today.month, today.day)), id);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat("yyyy-MM-dd");
    return picker;
}

// The columns keep their widths; the list's font is made small enough for a time text to fit.
void FitTimesInColumns(QTableWidget* list) {
    const QString widest = "20300528-08:08";
    QFont font = list->font();
    while (font.pointSizeF() > kSmallestListPoints &&
           QFontMetrics(font).horizontalAdvance(widest) + kCellPadding > kReserveColumnWidths[0]) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    list->setFont(font);
}

void DefaultMessageBox(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, parent->windowTitle(), text, QMessageBox::Ok);
}

}  // namespace

ReservedRecordingDlg::ReservedRecordingDlg(QWidget* parent, MainController& controller,
                                           ReservedRecording& model, MessageBox message_box)
    : KeyReleaseDialog(parent),
      controller_(controller),
      model_(model),
      message_box_(message_box ? std::move(message_box) : MessageBox(&DefaultMessageBox)) {
    setObjectName("ReservedRecordingDlg");
    const int language = controller.language();
    model_.Open();
    setWindowTitle(kTitle.Q(language));

    tv_ = Named(new QRadioButton("TV"), control::kReserveTv);
    radio_ = Named(new QRadioButton("Radio"), control::kReserveRadio);
    channel_ = Named(new QComboBox, control::kReserveChannel);
    channel_->setMinimumWidth(200);
    const settings::CivilTime now = model_.Now();
    start_date_ = DatePicker(control::kReserveStartDate, now);
    start_hour_ = NumberList(control::kReserveStartHour, 24);
    start_minute_ = NumberList(control::kReserveStartMinute, 60);
    end_date_ = DatePicker(control::kReserveEndDate, now);
    end_hour_ = NumberList(control::kReserveEndHour, 24);
    end_minute_ = NumberList(control::kReserveEndMinute, 60);
    for (QComboBox* hour : {start_hour_, end_hour_})
        hour->setCurrentIndex(now.hour);
    for (QComboBox* minute : {start_minute_, end_minute_})
        minute->setCurrentIndex(now.minute);
    auto* add = Named(new QPushButton(kAdd.Q(language)), control::kReserveAdd);
    auto* remove = Named(new QPushButton(kDelete.Q(language)), control::kReserveDelete);
    auto* close = Named(new QPushButton(kClose.Q(language)), control::kReserveClose);

    list_ = Named(new QTableWidget(0, 5), control::kReserveList);
    list_->setHorizontalHeaderLabels({kStart.Q(language), kFinish.Q(language),
                                      kChannelName.Q(language), kType.Q(language),
                                      kIndex.Q(language)});
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setMinimumSectionSize(1);
    list_->horizontalHeader()->setStretchLastSection(false);
    int width = 0;
    for (int column = 0; column < 5; ++column) {
        list_->setColumnWidth(column, kReserveColumnWidths[column]);
        width += kReserveColumnWidths[column];
    }
    list_->setMinimumSize(width + 2 * list_->frameWidth() + 18, 200);
    FitTimesInColumns(list_);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Named(new QLabel(kType.Q(language)), control::kReserveTypeLabel), 0, 0);
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(tv_);
    kinds->addWidget(radio_);
    kinds->addStretch();
    grid->addLayout(kinds, 0, 1, 1, 3);
    grid->addWidget(Named(new QLabel(kChannel.Q(language)), control::kReserveChannelLabel), 1, 0);
    grid->addWidget(channel_, 1, 1, 1, 3);
    grid->addWidget(Named(new QLabel(kStart.Q(language)), control::kReserveStartLabel), 2, 0);
    grid->addWidget(start_date_, 2, 1);
    grid->addWidget(start_hour_, 2, 2);
    grid->addWidget(start_minute_, 2, 3);
    grid->addWidget(Named(new QLabel(kFinish.Q(language)), control::kReserveEndLabel), 3, 0);
    grid->addWidget(end_date_, 3, 1);
    grid->addWidget(end_hour_, 3, 2);
    grid->addWidget(end_minute_, 3, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addWidget(close);
    grid->addLayout(buttons, 4, 0, 1, 4);
    grid->addWidget(list_, 5, 0, 1, 4);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // Tab order as the controls stand, so that keys alone can fill the dialog.
    setTabOrder(tv_, channel_);
    QWidget* previous = channel_;
    for (QWidget* next :
         std::initializer_list<QWidget*>{start_date_, start_hour_, start_minute_, end_date_,
                                         end_hour_, end_minute_, add, remove, close, list_}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(tv_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillChannels(kReserveKindTv);
    });
    connect(radio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillChannels(kReserveKindRadio);
    });
    connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(close, &QPushButton::clicked, this, [this] {
        model_.Close();
        accept();
    });
    tv_->setChecked(true);
    tv_->setFocus();
    FillList();
}

void ReservedRecordingDlg::FillChannels(int kind) {
    channel_->clear();
    for (const std::string& label : model_.ChannelLabels(kind))
        channel_->addItem(QString::fromStdString(label));
    channel_->setCurrentIndex(model_.CurrentChannel(kind));
}

void ReservedRecordingDlg::FillList() {
    list_->setRowCount(0);
    for (const ReservationRow& row : model_.rows()) {
        const int at = list_->rowCount();
        list_->insertRow(at);
        int column = 0;
        for (const std::string* text : {&row.start, &row.end, &row.channel, &row.type, &row.index})
            list_->setItem(at, column++, new QTableWidgetItem(QString::fromStdString(*text)));
    }
}

settings::CivilTime ReservedRecordingDlg::TimeOf(QDateEdit* date, QComboBox* hour,
                                                 QComboBox* minute) const {
    const QDate day = date->date();
    settings::CivilTime time;
    time.year = day.year();
    time.month = day.month();
    time.day = day.day();
    time.hour = hour->currentIndex();
    time.minute = minute->currentIndex();
    return time;
}

void ReservedRecordingDlg::OnAdd() {
    ReservationRequest request;
    request.kind = radio_->isChecked() ? kReserveKindRadio : kReserveKindTv;
    request.channel = channel_->currentIndex();
    request.start = TimeOf(start_date_, start_hour_, start_minute_);
    request.end = TimeOf(end_date_, end_hour_, end_minute_);
    const std::string refusal = model_.Add(request);
    if (!refusal.empty()) {
        message_box_(this, QString::fromStdString(refusal));
        return;
    }
    FillList();
}

void ReservedRecordingDlg::OnDelete() {
    std::set<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.insert(index.row());
    if (rows.empty()) return;
    model_.Delete(std::vector<int>(rows.begin(), rows.end()));
    FillList();
}

void ReservedRecordingDlg::EndByKey(bool enter) {
    // The key that ended the dialog is not handled again by the main window.
    controller_.set_key_taken(true);
    if (enter) {
        accept();
    } else {
        reject();
    }
}

}  // namespace koru::player
