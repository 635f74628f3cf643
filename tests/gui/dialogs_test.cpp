// The options, shortcut list and program information dialogs and the manual search window over
// the player's real core and channel windows (channel_harness.h), with the real settings file
// and EnsureFolder in a temporary folder. Recorded in place of the real thing: the window's
// top-most change, the plug-in's car mode, the terminal's time-shift call and the 500 ms wait.
#include <QApplication>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "channel_harness.h"
#include "player/dialogs/player_dialogs.h"
#include "player/dialogs/program_information_dialog.h"
#include "player/dialogs/shortcut_list_dialog.h"

using koru::test::ChannelHarness;
using koru::test::CoreHarness;
using koru::test::Service;
using namespace koru::player;
namespace settings = koru::settings;

namespace {

struct TimeShiftCall {
    std::string cache_file;
    uint32_t minutes;
};

struct DialogHarness {
    DialogHarness() {
        settings::EM_XmlFile& file = channels.core.settings;
        for (int i = 0; i < settings::kWorkingFolderCount; ++i) {
            const auto folder = static_cast<settings::WorkingFolderIndex>(i);
            const std::filesystem::path path =
                channels.core.folder / settings::EM_XmlFile::kFolderNames[static_cast<size_t>(i)];
            std::filesystem::create_directories(path);
            file.set_path(folder, path.string());
        }
        file.SetMessageCallback(
            [this](const std::string&, const std::string& text) { messages.push_back(text); });

        PlayerDialogs::Dependencies dependencies;
        dependencies.main_window = &channels.main_window;
        dependencies.controller = channels.core.controller.get();
        dependencies.event_window = channels.core.events.window();
        dependencies.find_search_function = [this]() -> DMB_API_SearchChannelFn {
            return channels.plugin_present ? &koru::test::ScriptedSearch : nullptr;
        };
        dependencies.channels = channels.dialogs.get();
        dependencies.options.set_top_most = [this](bool on) { top_most.push_back(on); };
        dependencies.options.set_car_mode = [this](bool on) { car_mode.push_back(on); };
        dependencies.options.set_time_shift = [this](const std::string& path, uint32_t minutes) {
            time_shift.push_back({path, minutes});
        };
        dependencies.options.later = [this](int ms, std::function<void()> f) {
            later_ms.push_back(ms);
            later.push_back(std::move(f));
        };
        dependencies.folder_chooser = [this](QWidget*, const QString& title, const QString&) {
            chooser_titles.push_back(title);
            return chosen_folder;
        };
        dialogs = std::make_unique<PlayerDialogs>(dependencies);
        channels.core.controller->SetDialogWindows(dialogs.get());
    }
    ~DialogHarness() {
        channels.core.controller->SetDialogWindows(nullptr);
        dialogs.reset();
    }

    MainController& controller() { return *channels.core.controller; }
    settings::EM_XmlFile& file() { return channels.core.settings; }
    std::string Folder(settings::WorkingFolderIndex folder) { return file().path(folder); }
    std::string CacheFile() { return Folder(settings::kTimeshiftFolder) + "/file_cache.ts"; }
    std::string SavedFile() {
        std::ifstream in(channels.core.folder / "channel.xml");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Live TV playing.
    bool PlayTv() {
        channels.core.FillChannels();
        return channels.core.Play(0);
    }
    bool WaitForManualSearch() {
        return CoreHarness::WaitFor([&] { return !dialogs->manual_search().busy(); }, 5000);
    }
    size_t Connects() const { return channels.Connects(); }

    ChannelHarness channels;
    std::unique_ptr<PlayerDialogs> dialogs;
    std::vector<std::string> messages;
    std::vector<bool> top_most;
    std::vector<bool> car_mode;
    std::vector<TimeShiftCall> time_shift;
    std::vector<int> later_ms;
    std::vector<std::function<void()>> later;
    std::vector<QString> chooser_titles;
    QString chosen_folder;
};

// Runs open, which shows a modal dialog of type T and returns when it has ended, and acts on the
// dialog once it is up. False when no such dialog came up.
template <typename T>
bool WithModal(const std::function<void()>& open, const std::function<void(T*)>& act) {
    bool found = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        poll.stop();
        found = true;
        act(dialog);
    });
    // A dialog that the test failed to close must not hold the suite.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* dialog = dynamic_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    guard.start(10000);
    poll.start();
    open();
    return found;
}

bool WithOptions(DialogHarness& h, const std::function<void(OptionDlg*)>& act) {
    return WithModal<OptionDlg>([&] { h.dialogs->OptionsDialog(); }, act);
}

void ClickOk(OptionDlg* dialog) {
    dialog->Control<QPushButton>(control::kDialogOk)->click();
}

void ClickCancel(OptionDlg* dialog) {
    dialog->Control<QPushButton>(control::kDialogCancel)->click();
}

// The row of the block list whose label starts with text.
int RowOf(const char* text) {
    const auto rows = ManualSearch::Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (std::string(rows[i].label).rfind(text, 0) == 0) return static_cast<int>(i);
    }
    return -1;
}

void ShowManualSearch(DialogHarness& h) {
    h.dialogs->ShowManualSearch();
    QVERIFY(CoreHarness::WaitFor([&] { return h.dialogs->manual_search_window()->isVisible(); }));
}

void DoubleClickRow(CManualSearch* window, int row) {
    QTreeWidgetItem* item = window->list()->topLevelItem(row);
    window->list()->setCurrentItem(item);
    emit window->list()->itemDoubleClicked(item, 0);
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void TimeShiftOffRestartsWithZeroMinutesAndTheCurrentCache();
    void OnlyAChangedTimeShiftFolderRestartsTheTimeShift();
    void AFileNamedAsAFolderGoesToEnsureFolderAndTheOldFolderStays();
    void CarOptionCancelledMakesNoCallAndOkCallsOnce();
    void NinetyShowsItsDiskSpaceAtOnceAndIsStoredOnlyOnOk();
    void TheFullScreenPictureTakesTheNewShapeOnOk();
    void OptionTextsInBothLanguagesAndTheFolderChooser();
    void EnterAndEscapeActWhenReleased();
    void ShortcutListRowsInBothLanguages();
    void ProgramInformationVersionAndKeys();
    void KeysAndMenusOpenTheDialogs();
    void ARowSearchesItsFrequencyAndTunesTheFirstTvService();
    void ADataOnlyResultStoresNothing();
    void ATypedFrequencySearchesThatFrequency();
    void AFailedSearchKeepsTheStoredChannels();
    void NothingStartsWhileAChannelSearchRuns();
    void MissingPluginIsReported();
};

void DialogsTest::TimeShiftOffRestartsWithZeroMinutesAndTheCurrentCache() {
    DialogHarness h;
    QVERIFY(h.PlayTv());
    h.channels.core.terminal.Clear();
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        QVERIFY(h.controller().dialog_open());
        dialog->Control<QRadioButton>(control::kOptionsTimeShiftOff)->setChecked(true);
        QVERIFY(!dialog->Control<QComboBox>(control::kOptionsLength)->isEnabled());
        QVERIFY(!dialog->Control<QLineEdit>(control::kOptionsTimeShiftEdit)->isEnabled());
        ClickOk(dialog);
    }));
    QVERIFY(!h.controller().dialog_open());
    QCOMPARE(h.time_shift.size(), size_t{1});
    QCOMPARE(h.time_shift[0].cache_file, h.CacheFile());
    QCOMPARE(h.time_shift[0].minutes, 0u);
    QVERIFY(h.car_mode.empty());
    // Live: the channel closes now and plays again 500 ms later with the new parameters.
    QVERIFY(CoreHarness::WaitFor(
        [&] { return !h.channels.core.terminal.CallsNamed("CloseURL").empty(); }));
    QCOMPARE(h.later_ms, std::vector<int>{500});
    QCOMPARE(h.Connects(), size_t{0});
    h.later[0]();
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 1; }));
    QCOMPARE(QString::fromStdString(h.channels.core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://208736,0,0.ts"));
    QVERIFY(h.SavedFile().find("timeshiftonoff=\"0\"") != std::string::npos);
}

void DialogsTest::OnlyAChangedTimeShiftFolderRestartsTheTimeShift() {
    DialogHarness h;
    // Other folders changed, time shift untouched: no restart.
    const std::string capture = (h.channels.core.folder / "shots").string();
    std::filesystem::create_directories(capture);
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        dialog->Control<QLineEdit>(control::kOptionsCaptureEdit)
            ->setText(QString::fromStdString(capture));
        ClickOk(dialog);
    }));
    QCOMPARE(h.Folder(settings::kCaptureFolder), capture);
    QVERIFY(h.time_shift.empty());
    // The time-shift folder moved to another existing folder: a restart with the new cache.
    const std::string moved = (h.channels.core.folder / "elsewhere").string();
    std::filesystem::create_directories(moved);
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        dialog->Control<QLineEdit>(control::kOptionsTimeShiftEdit)
            ->setText(QString::fromStdString(moved));
        ClickOk(dialog);
    }));
    QCOMPARE(h.time_shift.size(), size_t{1});
    QCOMPARE(h.time_shift[0].cache_file, moved + "/file_cache.ts");
    QCOMPARE(h.time_shift[0].minutes, 30u);
    QVERIFY(h.messages.empty());
    // Nothing played live: nothing is stopped or played again.
    QVERIFY(h.later.empty());
}

void DialogsTest::AFileNamedAsAFolderGoesToEnsureFolderAndTheOldFolderStays() {
    DialogHarness h;
    const std::string video = h.Folder(settings::kVideoFolder);
    const std::string file = (h.channels.core.folder / "a-file").string();
    std::ofstream(file) << "x";
    const std::string audio = (h.channels.core.folder / "new" / "audio").string();
    QLineEdit* video_edit = nullptr;
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        video_edit = dialog->Control<QLineEdit>(control::kOptionsVideoEdit);
        video_edit->setText(QString::fromStdString(file));
        dialog->Control<QLineEdit>(control::kOptionsAudioEdit)
            ->setText(QString::fromStdString(audio));
        dialog->Control<QCheckBox>(control::kOptionsTopMost)->setChecked(true);
        ClickOk(dialog);
        // The edit shows the folder in force again.
        QCOMPARE(video_edit->text().toStdString(), video);
    }));
    QCOMPARE(h.messages.size(), size_t{1});
    QCOMPARE(h.messages[0], std::string(settings::EM_XmlFile::kFolderErrorEn));
    QCOMPARE(h.Folder(settings::kVideoFolder), video);
    // The other settings of the same OK are applied: a folder that did not exist is created.
    QVERIFY(std::filesystem::is_directory(audio));
    QCOMPARE(h.Folder(settings::kAudioFolder), audio);
    QCOMPARE(h.top_most, std::vector<bool>{true});
    QVERIFY(h.SavedFile().find("topmost=\"true\"") != std::string::npos);
}

void DialogsTest::CarOptionCancelledMakesNoCallAndOkCallsOnce() {
    DialogHarness h;
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        dialog->Control<QCheckBox>(control::kOptionsCar)->setChecked(true);
        dialog->Control<QRadioButton>(control::kOptionsRatioFull)->setChecked(true);
        dialog->Control<QRadioButton>(control::kOptionsTimeShiftOff)->setChecked(true);
        QVERIFY(h.file().car());
        ClickCancel(dialog);
    }));
    QVERIFY(!h.file().car());
    QCOMPARE(h.file().ratio(), 1);
    QCOMPARE(h.file().timeshiftonoff(), 1);
    QVERIFY(h.car_mode.empty());
    QVERIFY(h.time_shift.empty());
    QVERIFY(!std::filesystem::exists(h.channels.core.folder / "channel.xml"));
    QVERIFY(!h.controller().dialog_open());

    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        QVERIFY(!dialog->Control<QCheckBox>(control::kOptionsCar)->isChecked());
        dialog->Control<QCheckBox>(control::kOptionsCar)->setChecked(true);
        ClickOk(dialog);
    }));
    QCOMPARE(h.car_mode, std::vector<bool>{true});
    QCOMPARE(h.time_shift.size(), size_t{1});
    QCOMPARE(h.time_shift[0].cache_file, h.CacheFile());
    QVERIFY(h.SavedFile().find("car=\"true\"") != std::string::npos);
}

void DialogsTest::NinetyShowsItsDiskSpaceAtOnceAndIsStoredOnlyOnOk() {
    DialogHarness h;
    auto choose_ninety = [&](OptionDlg* dialog, bool ok) {
        auto* length = dialog->Control<QComboBox>(control::kOptionsLength);
        QCOMPARE(length->count(), 4);
        QCOMPARE(length->itemText(2), QString("90"));
        QCOMPARE(dialog->Control<QLabel>(control::kOptionsDiskSpace)->text(),
                 QString("Minute   Needed harddisck space : 115MB"));
        length->setCurrentIndex(2);
        QCOMPARE(dialog->Control<QLabel>(control::kOptionsDiskSpace)->text(),
                 QString("Minute   Needed harddisck space : 346MB"));
        QCOMPARE(h.file().timeshift(), 0);
        if (ok) {
            ClickOk(dialog);
        } else {
            ClickCancel(dialog);
        }
    };
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) { choose_ninety(dialog, false); }));
    QCOMPARE(h.file().timeshift(), 0);
    QVERIFY(h.time_shift.empty());
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) { choose_ninety(dialog, true); }));
    QCOMPARE(h.file().timeshift(), 2);
    QCOMPARE(h.time_shift.size(), size_t{1});
    QCOMPARE(h.time_shift[0].minutes, 90u);
}

void DialogsTest::TheFullScreenPictureTakesTheNewShapeOnOk() {
    DialogHarness h;
    h.controller().EnterFullScreen();
    // 4:3 on the 1280 x 1024 desktop.
    QCOMPARE(h.channels.core.view.full_screen_video.height(), 960);
    QVERIFY(WithModal<OptionDlg>(
        [&] { h.controller().OnMenuCommand(command::kOptionsFullScreen); },
        [](OptionDlg* dialog) {
            dialog->Control<QRadioButton>(control::kOptionsRatioFull)->setChecked(true);
            ClickOk(dialog);
        }));
    QVERIFY(h.controller().full_screen());
    QCOMPARE(h.file().ratio(), 0);
    QCOMPARE(h.channels.core.view.full_screen_video.height(), 1024);
    // Only the shape changed: no restart of time shift.
    QVERIFY(h.time_shift.empty());
}

void DialogsTest::OptionTextsInBothLanguagesAndTheFolderChooser() {
    DialogHarness h;
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Option for the programme circumstances "));
        QCOMPARE(dialog->tabs()->tabText(0), QString("Option"));
        QCOMPARE(dialog->tabs()->tabText(1), QString("Time Shift"));
        QCOMPARE(dialog->tabs()->currentIndex(), 0);
        QCOMPARE(dialog->Control<QCheckBox>(control::kOptionsCar)->text(),
                 QString("Used car-option"));
        QVERIFY(dialog->Control<QRadioButton>(control::kOptionsRatio43)->isChecked());
        // A chosen folder replaces the edit's text; a closed chooser leaves it.
        auto* edit = dialog->Control<QLineEdit>(control::kOptionsCaptureEdit);
        const QString before = edit->text();
        dialog->Control<QPushButton>(control::kOptionsCaptureSearch)->click();
        QCOMPARE(edit->text(), before);
        h.chosen_folder = "/tmp";
        dialog->Control<QPushButton>(control::kOptionsCaptureSearch)->click();
        QCOMPARE(edit->text(), QString("/tmp"));
        ClickCancel(dialog);
    }));
    QCOMPARE(h.chooser_titles, (std::vector<QString>{"폴더선택", "폴더선택"}));
    // Cancel does not store a path.
    QVERIFY(h.Folder(settings::kCaptureFolder) != "/tmp");

    h.controller().SetLanguage(0);
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("환경 설정"));
        QCOMPARE(dialog->tabs()->tabText(1), QString("Time Shift"));
        QCOMPARE(dialog->Control<QPushButton>(control::kDialogOk)->text(), QString("확인"));
        QCOMPARE(dialog->Control<QPushButton>(control::kDialogCancel)->text(), QString("취소"));
        QCOMPARE(dialog->Control<QCheckBox>(control::kOptionsTopMost)->text(),
                 QString("항상 위에 보이기"));
        QCOMPARE(dialog->Control<QLabel>(control::kOptionsDiskSpace)->text(),
                 QString("분   필요한 하드디스크 공간 : 115MB"));
        ClickCancel(dialog);
    }));
}

void DialogsTest::EnterAndEscapeActWhenReleased() {
    DialogHarness h;
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        dialog->Control<QCheckBox>(control::kOptionsTopMost)->setChecked(true);
        QLineEdit* edit = dialog->Control<QLineEdit>(control::kOptionsCaptureEdit);
        edit->setFocus();
        QTest::keyPress(edit, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        QTest::keyRelease(edit, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    }));
    QCOMPARE(h.top_most, std::vector<bool>{true});
    QVERIFY(WithOptions(h, [&](OptionDlg* dialog) {
        dialog->Control<QCheckBox>(control::kOptionsTopMost)->setChecked(false);
        dialog->tabs()->setCurrentIndex(1);
        QWidget* length = dialog->Control<QComboBox>(control::kOptionsLength);
        QTest::keyPress(length, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
        QTest::keyRelease(length, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
    }));
    // Escape was Cancel: the switch is back and nothing was applied.
    QVERIFY(h.file().topmost());
    QCOMPARE(h.top_most, std::vector<bool>{true});
}

void DialogsTest::ShortcutListRowsInBothLanguages() {
    DialogHarness h;
    for (int language : {1, 0}) {
        h.controller().SetLanguage(language);
        QVERIFY(WithModal<ShortcutListDlg>(
            [&] { h.controller().OnKeyRelease(Qt::Key_F1, false); },
            [&](ShortcutListDlg* dialog) {
                QTreeWidget* list = dialog->list();
                QCOMPARE(list->topLevelItemCount(), 24);
                QCOMPARE(list->columnWidth(0), 160);
                QCOMPARE(list->columnWidth(1), 100);
                QCOMPARE(list->headerItem()->text(0), QString("Key Information"));
                QTreeWidgetItem* first = list->topLevelItem(0);
                QTreeWidgetItem* last = list->topLevelItem(23);
                if (language == 1) {
                    QCOMPARE(dialog->windowTitle(), QString("Shortcut list"));
                    QCOMPARE(first->text(0), QString("File Open"));
                    QCOMPARE(last->text(0), QString("Turn off"));
                } else {
                    QCOMPARE(dialog->windowTitle(), QString("단축키 목록"));
                    QCOMPARE(first->text(0), QString("파일열기"));
                    QCOMPARE(last->text(0), QString("종료"));
                }
                QCOMPARE(first->text(1), QString("O"));
                QCOMPARE(last->text(1), QString("Alt+F4"));
                QCOMPARE(list->topLevelItem(19)->text(1), QString("Enter or ESC"));
                dialog->findChild<QPushButton*>("1")->click();
            }));
    }
}

void DialogsTest::ProgramInformationVersionAndKeys() {
    DialogHarness h;
    QVERIFY(WithModal<ProgramInformationDlg>(
        [&] { h.controller().OnKeyRelease(Qt::Key_I, false); },
        [&](ProgramInformationDlg* dialog) {
            QVERIFY(h.controller().dialog_open());
            QCOMPARE(dialog->windowTitle(), QString("Program information"));
            QCOMPARE(dialog->version_label()->text(), QString("Software version 2.241"));
            // Escape ends it as OK, on its release; a press of another key does nothing.
            QTest::keyClick(dialog, Qt::Key_A);
            QTest::keyPress(dialog, Qt::Key_Escape);
            QVERIFY(dialog->isVisible());
            QTest::keyRelease(dialog, Qt::Key_Escape);
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
        }));
    QVERIFY(!h.controller().dialog_open());
    h.controller().SetLanguage(0);
    QVERIFY(WithModal<ProgramInformationDlg>(
        [&] { h.controller().OnMenuCommand(command::kProgramInformation); },
        [&](ProgramInformationDlg* dialog) {
            QCOMPARE(dialog->windowTitle(), QString("프로그램 정보"));
            QCOMPARE(dialog->version_label()->text(), QString("소프트웨어 버전 2.241"));
            dialog->accept();
        }));
}

void DialogsTest::KeysAndMenusOpenTheDialogs() {
    DialogHarness h;
    MenuModel& menu = h.controller().menu();
    for (int command :
         {command::kOptions, command::kOptionsFullScreen, command::kProgramInformation,
          command::kShortcutList, command::kShortcutListFullScreen}) {
        QVERIFY(menu.IsEnabled(command));
    }
    QVERIFY(WithOptions(h, [](OptionDlg* dialog) { dialog->reject(); }));
    QVERIFY(WithModal<OptionDlg>([&] { h.controller().OnKeyRelease(Qt::Key_F5, false); },
                                 [](OptionDlg* dialog) { dialog->reject(); }));
    QVERIFY(WithModal<OptionDlg>([&] { h.controller().OnMenuCommand(command::kOptionsFullScreen); },
                                 [](OptionDlg* dialog) { dialog->reject(); }));
    QVERIFY(WithModal<ShortcutListDlg>(
        [&] { h.controller().OnMenuCommand(command::kShortcutListFullScreen); },
        [](ShortcutListDlg* dialog) { dialog->accept(); }));
    // The service key sequence K, H, Z shows the manual search window; broken, it does not.
    CManualSearch* window = h.dialogs->manual_search_window();
    for (int key : {Qt::Key_K, Qt::Key_H, Qt::Key_X, Qt::Key_Z, Qt::Key_K, Qt::Key_K, Qt::Key_H})
        h.controller().OnKeyRelease(key, false);
    QVERIFY(!window->isVisible());
    h.controller().OnKeyRelease(Qt::Key_Z, false);
    QVERIFY(CoreHarness::WaitFor([&] { return window->isVisible(); }));
    QCOMPARE(window->list()->topLevelItemCount(), 21);
    QCOMPARE(window->list()->topLevelItem(0)->text(0), QString("7KA 175280 : Korea"));
    QCOMPARE(window->list()->topLevelItem(20)->text(0), QString("13KC 214736 : Korea"));
    QCOMPARE(window->list()->headerItem()->text(0), QString("Manual Search"));
    QCOMPARE(window->frequency()->maxLength(), 7);
    // No close box: a close request leaves it up.
    window->close();
    QVERIFY(window->isVisible());
}

void DialogsTest::ARowSearchesItsFrequencyAndTunesTheFirstTvService() {
    DialogHarness h;
    QVERIFY(h.PlayTv());
    h.channels.core.DrainEvents();  // the first picture's message has reached the main window
    h.channels.core.terminal.Clear();
    std::string line_during_search;
    h.channels.script.answers = {
        {0,
         {Service("KBS1 TV", 207.008, 0, 0), Service("KBS1 TV", 207.008, 0, 0),
          Service("KBS Radio", 207.008, 1, 1), Service("Web", 207.008, 2, 3)},
         [&] { line_during_search = h.controller().message_line(2); }}};
    ShowManualSearch(h);
    DoubleClickRow(h.dialogs->manual_search_window(), RowOf("12KB 207008"));
    QVERIFY(h.WaitForManualSearch());
    QVERIFY(h.channels.script.frequencies == std::vector<double>{207008 * 0.001});
    QCOMPARE(h.channels.script.time_limits, std::vector<int>{3000});
    QCOMPARE(QString::fromStdString(line_during_search), QString("Search: 207.0Mhz"));
    QVERIFY(!h.channels.core.terminal.CallsNamed("CloseURL").empty());
    // The stored channels are what this frequency carries, TV and radio only.
    QCOMPARE(h.channels.core.state.ChannelCount(settings::kWatchKindTv), 1);
    QCOMPARE(h.channels.core.state.ChannelCount(settings::kWatchKindRadio), 1);
    QCOMPARE(h.channels.core.state.ChannelCount(settings::kWatchKindData), 0);
    EM_ChannelList* list = h.channels.dialogs->list_window();
    QCOMPARE(h.channels.Items(list->list_of(settings::kWatchKindTv)), QStringList({"KBS1 TV"}));
    QCOMPARE(h.channels.Items(list->list_of(settings::kWatchKindRadio)),
             QStringList({"KBS Radio"}));
    QVERIFY(list->isVisible());
    QCOMPARE(h.channels.core.view.skinned_messages.back(),
             std::string("Searching has been completed"));
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 1; }));
    QCOMPARE(QString::fromStdString(h.channels.core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://207008,0,0.ts"));
    QCOMPARE(h.channels.core.state.WatchKind(), settings::kWatchKindTv);
}

void DialogsTest::ADataOnlyResultStoresNothing() {
    DialogHarness h;
    h.channels.core.FillChannels();
    h.channels.script.answers = {{0, {Service("Web", 208.736, 3, 3)}}};
    ShowManualSearch(h);
    DoubleClickRow(h.dialogs->manual_search_window(), RowOf("12KC 208736"));
    QVERIFY(h.WaitForManualSearch());
    QCOMPARE(h.channels.dialogs->search().table().count(), 0);
    QCOMPARE(h.channels.core.state.ChannelCount(settings::kWatchKindTv), 0);
    QCOMPARE(h.channels.core.state.ChannelCount(settings::kWatchKindRadio), 0);
    QCOMPARE(h.channels.core.view.skinned_messages.back(), std::string("No data for channel"));
    QVERIFY(h.channels.dialogs->list_window()->isVisible());
    QCOMPARE(h.channels.core.state.activity.load(), kActivitySearchEnded);
    QCOMPARE(h.channels.core.state.connection_state.load(), kConnectionStopped);
    QVERIFY(h.controller().message_line(2).empty());
    // Shown for a second, then hidden; nothing is tuned.
    h.channels.core.time.Advance(999);
    QVERIFY(h.channels.core.view.skinned_shown);
    h.channels.core.time.Advance(1);
    QVERIFY(!h.channels.core.view.skinned_shown);
    QCOMPARE(h.Connects(), size_t{0});
}

void DialogsTest::ATypedFrequencySearchesThatFrequency() {
    DialogHarness h;
    h.channels.script.answers = {{0, {Service("Pop", 1458.096, 0, 1)}}};
    ShowManualSearch(h);
    CManualSearch* window = h.dialogs->manual_search_window();
    window->frequency()->setText("1458096");
    window->go()->click();
    QVERIFY(h.WaitForManualSearch());
    QVERIFY(h.channels.script.frequencies == std::vector<double>{1458096 * 0.001});
    // Radio only: the radio list and the audio layout, radio index 0 plays.
    QCOMPARE(h.channels.core.state.WatchKind(), settings::kWatchKindRadio);
    QCOMPARE(h.channels.core.state.layout.load(), kLayoutAudio);
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 1; }));
    QCOMPARE(QString::fromStdString(h.channels.core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://1458096,0,0.mp2"));
    // Escape is GO as well; a text without digits searches 0 kHz.
    window->frequency()->setText("abc");
    QTest::keyClick(window->frequency(), Qt::Key_Escape);
    QVERIFY(h.WaitForManualSearch());
    QCOMPARE(h.channels.script.frequencies.size(), size_t{2});
    QCOMPARE(h.channels.script.frequencies[1], 0.0);
    QCOMPARE(TextToInteger(" 207008kHz"), 207008);
    QCOMPARE(TextToInteger("-5"), -5);
}

void DialogsTest::AFailedSearchKeepsTheStoredChannels() {
    DialogHarness h;
    h.channels.core.FillChannels();
    h.channels.dialogs->list_window()->Refill();
    h.channels.script.answers = {{BB_ERR_NOT_LOCKED, {}}};
    ShowManualSearch(h);
    DoubleClickRow(h.dialogs->manual_search_window(), 0);
    QVERIFY(h.WaitForManualSearch());
    QVERIFY(h.channels.script.frequencies == std::vector<double>{175280 * 0.001});
    QCOMPARE(h.channels.core.view.skinned_messages.back(), std::string("No data for channel"));
    QCOMPARE(h.channels.core.state.ChannelCount(settings::kWatchKindTv), 5);
    // The channel list still shows them.
    QCOMPARE(
        h.channels.Items(h.channels.dialogs->list_window()->list_of(settings::kWatchKindTv)).size(),
        5);
    QCOMPARE(h.channels.core.state.activity.load(), kActivitySearchEnded);
    ManualSearch& search = h.dialogs->manual_search();
    QCOMPARE(search.timers().Period(kManualSearchMessageTimer), 2000);
    QVERIFY(CoreHarness::WaitFor([&] { return !h.channels.core.view.skinned_shown; }, 5000));
    QVERIFY(!search.timers().IsActive(kManualSearchMessageTimer));
    QCOMPARE(h.Connects(), size_t{0});
}

void DialogsTest::NothingStartsWhileAChannelSearchRuns() {
    DialogHarness h;
    std::atomic<bool> release{false};
    h.channels.script.answers = {{BB_ERR_NOT_LOCKED, {}, [&] {
                                      while (!release)
                                          QThread::msleep(5);
                                  }}};
    h.channels.dialogs->ChannelSearchCommand();
    QVERIFY(CoreHarness::WaitFor([&] { return h.channels.script.calls.load() == 1; }));
    ShowManualSearch(h);
    CManualSearch* window = h.dialogs->manual_search_window();
    DoubleClickRow(window, 3);
    window->frequency()->setText("208736");
    window->go()->click();
    QVERIFY(!h.dialogs->manual_search().busy());
    release = true;
    QVERIFY(h.channels.WaitForSearchEnd());
    // The full search's six frequencies, nothing else.
    QCOMPARE(h.channels.script.calls.load(), 6);
    // And a manual search is refused while another one runs.
    release = false;
    h.channels.script.answers = {{BB_ERR_NOT_LOCKED, {}, [&] {
                                      while (!release)
                                          QThread::msleep(5);
                                  }}};
    window->go()->click();
    QVERIFY(CoreHarness::WaitFor([&] { return h.channels.script.calls.load() == 7; }));
    window->go()->click();
    DoubleClickRow(window, 3);
    h.channels.dialogs->ChannelSearchCommand();
    release = true;
    QVERIFY(h.WaitForManualSearch());
    h.channels.core.DrainEvents();
    QCOMPARE(h.channels.script.calls.load(), 7);
}

void DialogsTest::MissingPluginIsReported() {
    DialogHarness h;
    h.channels.plugin_present = false;
    ShowManualSearch(h);
    h.dialogs->manual_search_window()->go()->click();
    QVERIFY(h.WaitForManualSearch());
    QCOMPARE(h.channels.core.view.error_boxes, std::vector<std::string>{"Cannot find rxmod.dll"});
    QVERIFY(h.channels.core.state.activity.load() != kActivitySearching);
    QVERIFY(h.controller().message_line(2).empty());
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
