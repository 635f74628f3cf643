#include "player/dialogs/options_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "player/dialogs/bilingual.h"

namespace koru::player {

namespace {

// clang-format off
constexpr Bilingual kTitle = {"환경 설정", "Option for the programme circumstances "};
constexpr Bilingual kOptionTab = {"Option", "Option"};
constexpr Bilingual kTimeShiftTab = {"Time Shift", "Time Shift"};
constexpr Bilingual kGeneral = {"일반", "General"};
constexpr Bilingual kTopMost = {"항상 위에 보이기", "Always on Top"};
constexpr Bilingual kHwOption = {"하드웨어설정", "HW Option"};
constexpr Bilingual kCar = {"차량용으로 사용", "Used car-option"};
constexpr Bilingual kCarNote = {
    "차량을 이용해 이동하실 때에 위 옵션을 체크하시면 끊김없이 화면을 보실 수 있습니다. "
    "실내에 두고 쓰실때에는 이 기능을 끄고 사용 하시기 바랍니다.",
    "If you check this option when you use KORU-DMB while driving, you can use this without "
    "any disconnecting problems on your screen. But when you use TALVEN indoor, please do not "
    "check this option."};
constexpr Bilingual kFullScreenOption = {"전체화면 설정", "Full Screen Option"};
constexpr Bilingual kRatio43 = {"4:3 비율", "4:3 screen ratio"};
constexpr Bilingual kRatioFull = {"꽉찬 비율", "Full screen ratio"};
constexpr Bilingual kPathOfFile = {"파일 경로", "Path of file"};
constexpr Bilingual kCapturePath = {"화면 캡쳐 경로", "Path of screen capture"};
constexpr Bilingual kVideoPath = {"비디오 녹화 경로", "Path of  video recording"};
constexpr Bilingual kAudioPath = {"라디오 녹음 경로", "Path of radio recording"};
constexpr Bilingual kSearch = {"검색", "Search"};
constexpr Bilingual kTimeShiftOption = {"타임시프트설정", "Time Shift Option"};
constexpr Bilingual kTimeShiftOnOff = {"타임시프트 On/Off", "Time Shift On/Off"};
constexpr Bilingual kMaxTime = {"최대 시간 설정", "Max time selected"};
constexpr Bilingual kTimeShiftPath = {"저장 위치", "Path of timeshift"};
constexpr Bilingual kTimeShiftNote = {
    "TV 방송 시청 중 잠시 자리를 비워야 할 경우에 라이브 방송을 일시 정지할 수 있는 기능입니다. "
    "타임시프트 시간 설정을 2시간으로 설정했다면 현재 기준으로 2시간까지 일시 정지할 수 "
    "있습니다.",
    "Time shift function enable to watch the program that you have not seen when you leave for "
    "a while (Max 2hour)."};
// clang-format on

constexpr int kPageWidth = 540;

template <typename T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

QLabel* Note(const Bilingual& text, int language) {
    auto* label = new QLabel(text.Q(language));
    label->setWordWrap(true);
    return label;
}

QString DefaultChooser(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
}

}  // namespace

OptionDlg::OptionDlg(QWidget* parent, MainController& controller, OptionsModel& model,
                     FolderChooser chooser)
    : KeyReleaseDialog(parent),
      controller_(controller),
      model_(model),
      chooser_(chooser ? std::move(chooser) : FolderChooser(&DefaultChooser)) {
    setObjectName("OptionDlg");
    const int language = controller.language();
    model_.Open();
    setWindowTitle(kTitle.Q(language));
    tabs_ = Named(new QTabWidget(this), control::kOptionsTabs);
    tabs_->addTab(BuildOptionPage(language), kOptionTab.Q(language));
    tabs_->addTab(BuildTimeShiftPage(language), kTimeShiftTab.Q(language));
    tabs_->setCurrentIndex(0);
    connect(tabs_, &QTabWidget::currentChanged, this,
            [this](int index) { tabs_->widget(index)->setFocus(Qt::TabFocusReason); });

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = Named(buttons->addButton(kOkText.Q(language), QDialogButtonBox::AcceptRole),
                            control::kDialogOk);
    QPushButton* cancel =
        Named(buttons->addButton(kCancelText.Q(language), QDialogButtonBox::RejectRole),
              control::kDialogCancel);
    connect(ok, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    // Cancel, Escape and the window's close button alike.
    connect(this, &QDialog::rejected, this, [this] { model_.Cancel(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* OptionDlg::SearchButton(int id, QLineEdit* edit, int language) {
    auto* button = Named(new QPushButton(kSearch.Q(language)), id);
    connect(button, &QPushButton::clicked, this, [this, edit] {
        const QString folder = chooser_(this, QString::fromUtf8(kFolderChooserTitle), edit->text());
        if (!folder.isEmpty()) edit->setText(folder);
    });
    return button;
}

QWidget* OptionDlg::BuildOptionPage(int language) {
    auto* page = new QWidget;
    page->setObjectName("170");
    page->setFixedWidth(kPageWidth);
    const settings::EM_XmlFile& settings = controller_.settings();

    auto* general = new QGroupBox(kGeneral.Q(language));
    auto* top_most = Named(new QCheckBox(kTopMost.Q(language)), control::kOptionsTopMost);
    top_most->setChecked(settings.topmost());
    connect(top_most, &QCheckBox::toggled, this, [this](bool on) { model_.SetTopMost(on); });
    (new QVBoxLayout(general))->addWidget(top_most);

    auto* hardware = new QGroupBox(kHwOption.Q(language));
    auto* car = Named(new QCheckBox(kCar.Q(language)), control::kOptionsCar);
    car->setChecked(settings.car());
    connect(car, &QCheckBox::toggled, this, [this](bool on) { model_.SetCar(on); });
    auto* hardware_layout = new QVBoxLayout(hardware);
    hardware_layout->addWidget(car);
    hardware_layout->addWidget(Note(kCarNote, language));

    auto* full_screen = new QGroupBox(kFullScreenOption.Q(language));
    auto* ratio43 = Named(new QRadioButton(kRatio43.Q(language)), control::kOptionsRatio43);
    auto* ratio_full = Named(new QRadioButton(kRatioFull.Q(language)), control::kOptionsRatioFull);
    (settings.ratio() != 0 ? ratio43 : ratio_full)->setChecked(true);
    connect(ratio43, &QRadioButton::toggled, this,
            [this](bool on) { model_.SetRatio(on ? 1 : 0); });
    auto* ratio_layout = new QHBoxLayout(full_screen);
    ratio_layout->addWidget(ratio43);
    ratio_layout->addWidget(ratio_full);

    auto* paths = new QGroupBox(kPathOfFile.Q(language));
    auto* grid = new QGridLayout(paths);
    const OptionsFolderTexts texts = model_.FolderTexts();
    const struct {
        const Bilingual& label;
        int edit;
        int button;
    } rows[] = {{kCapturePath, control::kOptionsCaptureEdit, control::kOptionsCaptureSearch},
                {kVideoPath, control::kOptionsVideoEdit, control::kOptionsVideoSearch},
                {kAudioPath, control::kOptionsAudioEdit, control::kOptionsAudioSearch}};
    for (int i = 0; i < 3; ++i) {
        auto* edit = Named(new QLineEdit(QString::fromStdString(texts[static_cast<size_t>(i)])),
                           rows[i].edit);
        edits_[static_cast<size_t>(i)] = edit;
        grid->addWidget(new QLabel(rows[i].label.Q(language)), i, 0);
        grid->addWidget(edit, i, 1);
        grid->addWidget(SearchButton(rows[i].button, edit, language), i, 2);
    }
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(page);
    for (QWidget* group : {static_cast<QWidget*>(general), static_cast<QWidget*>(hardware),
                           static_cast<QWidget*>(full_screen), static_cast<QWidget*>(paths)}) {
        layout->addWidget(group);
    }
    layout->addStretch(1);
    return page;
}

QWidget* OptionDlg::BuildTimeShiftPage(int language) {
    auto* page = new QWidget;
    page->setObjectName("167");
    page->setFixedWidth(kPageWidth);
    const bool on = controller_.settings().timeshiftonoff() != 0;

    auto* group = new QGroupBox(kTimeShiftOption.Q(language));
    auto* grid = new QGridLayout(group);
    auto* on_button = Named(new QRadioButton("On"), control::kOptionsTimeShiftOn);
    auto* off_button = Named(new QRadioButton("Off"), control::kOptionsTimeShiftOff);
    (on ? on_button : off_button)->setChecked(true);
    connect(on_button, &QRadioButton::toggled, this, [this](bool now_on) {
        model_.SetTimeShiftOn(now_on);
        EnableTimeShiftControls(now_on);
    });
    auto* switches = new QHBoxLayout;
    switches->addWidget(on_button);
    switches->addWidget(off_button);
    switches->addStretch(1);
    grid->addWidget(new QLabel(kTimeShiftOnOff.Q(language)), 0, 0);
    grid->addLayout(switches, 0, 1, 1, 2);

    length_ = Named(new QComboBox, control::kOptionsLength);
    for (int minutes : kTimeShiftMinutes)
        length_->addItem(QString::number(minutes));
    length_->setCurrentIndex(model_.LengthIndex());
    disk_space_ =
        Named(new QLabel(QString::fromStdString(model_.DiskSpaceText(model_.LengthIndex()))),
              control::kOptionsDiskSpace);
    connect(length_, &QComboBox::currentIndexChanged, this, [this](int index) {
        disk_space_->setText(QString::fromStdString(model_.DiskSpaceText(index)));
    });
    auto* length_row = new QHBoxLayout;
    length_row->addWidget(length_);
    length_row->addWidget(disk_space_, 1);
    grid->addWidget(new QLabel(kMaxTime.Q(language)), 1, 0);
    grid->addLayout(length_row, 1, 1, 1, 2);

    auto* edit =
        Named(new QLineEdit(QString::fromStdString(model_.FolderTexts()[kOptionsTimeShift])),
              control::kOptionsTimeShiftEdit);
    edits_[kOptionsTimeShift] = edit;
    time_shift_search_ = SearchButton(control::kOptionsTimeShiftSearch, edit, language);
    grid->addWidget(new QLabel(kTimeShiftPath.Q(language)), 2, 0);
    grid->addWidget(edit, 2, 1);
    grid->addWidget(time_shift_search_, 2, 2);
    grid->setColumnStretch(1, 1);
    EnableTimeShiftControls(on);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addWidget(Note(kTimeShiftNote, language));
    layout->addStretch(1);
    return page;
}

void OptionDlg::EnableTimeShiftControls(bool on) {
    length_->setEnabled(on);
    edits_[kOptionsTimeShift]->setEnabled(on);
    time_shift_search_->setEnabled(on);
}

void OptionDlg::OnOk() {
    OptionsFolderTexts edits;
    for (size_t i = 0; i < edits.size(); ++i)
        edits[i] = edits_[i]->text().toStdString();
    const OptionsFolderTexts shown = model_.Ok(edits, length_->currentIndex());
    for (size_t i = 0; i < shown.size(); ++i)
        edits_[i]->setText(QString::fromStdString(shown[i]));
    accept();
}

}  // namespace koru::player
