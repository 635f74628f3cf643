// The real main window with the default skin, under the offscreen platform: its shape as data,
// the placing of its controls when enlarged, full screen, keys, menus, the volume slider and the
// audio layout. The terminal is the recording stand-in.
#include <QMessageBox>
#include <QtTest>

#include "m4systems/messages.h"
#include "player/core/screen_geometry.h"
#include "player/core/velmar_player_dlg.h"
#include "player/skin/qt_skin.h"
#include "player_fakes.h"
#include "support/environment.h"

using namespace koru::player;
using koru::test::CoreHarness;
using koru::test::RecordingTerminal;
namespace settings = koru::settings;

namespace {

class WindowHarness {
  public:
    WindowHarness()
        : state(store),
          settings(store, (folder / "channel.xml").string()),
          events(state, terminal),
          window(state) {
        state.SetLanguage(1);
        window.LoadSkin((koru::test::BinDir() / "Koru Digital.lay").string());
        MainController::Dependencies dependencies;
        dependencies.state = &state;
        dependencies.settings = &settings;
        dependencies.view = &window;
        dependencies.save_settings = [this] { settings.SaveSettings(); };
        controller = std::make_unique<MainController>(dependencies);
        controller->set_skin_number(window.skin_number());
        window.SetController(controller.get());
        message_window = std::make_unique<VelmarMessage>(*controller);
        controller->SetEventWindow(events.window());
        events.Open(message_window.get());
        state.connection_state = kConnectionIdle;
        window.show();
    }
    ~WindowHarness() { events.Exit(); }

    koru::test::TempDir folder;
    settings::ChannelStore store;
    PlayerState state;
    settings::EM_XmlFile settings;
    RecordingTerminal terminal;
    EventWindowThread events;
    VelmarPlayerDlg window;
    std::unique_ptr<MainController> controller;
    std::unique_ptr<VelmarMessage> message_window;
};

QAction* FindAction(QMenu& menu, int command) {
    for (QAction* action : menu.actions()) {
        if (action->menu() != nullptr) {
            if (QAction* found = FindAction(*action->menu(), command)) return found;
        } else if (action->data().toInt() == command) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace

class PlayerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void WindowIsShapedFromItsBackground();
    void EnlargedWindowMovesAndStretchesItsParts();
    void FullScreenHidesTheSkinAndFillsTheScreen();
    void KeysAndButtonsReachTheLogic();
    void EnterTakenByAnotherWindowIsNotFullScreen();
    void MenusFollowTheModel();
    void VolumeSliderDrivesTheVolume();
    void AudioLayoutShowsTheRadioBackground();
    void ASkinThatCannotBeReadSaysWhy();
};

void PlayerWindowTest::WindowIsShapedFromItsBackground() {
    WindowHarness h;
    QCOMPARE(h.window.skin_number(), 5);
    QCOMPARE(h.window.size(), QSize(360, 380));
    const QRegion expected = koru::skin::BitmapToRegion(h.window.background());
    QVERIFY(h.window.mask().xored(expected).isEmpty());
    QVERIFY(!h.window.mask().contains(QPoint(0, 0)));
    QVERIFY(!h.window.mask().contains(QPoint(359, 379)));
    QVERIFY(h.window.mask().contains(QPoint(180, 200)));
    // The video window fills the picture area of the skin.
    QCOMPARE(h.window.screen_wnd()->geometry(), QRect(20, 34, 320, 240));
    QCOMPARE(h.window.screen_wnd()->objectName(), QString("screen_wnd"));
}

void PlayerWindowTest::EnlargedWindowMovesAndStretchesItsParts() {
    WindowHarness h;
    const QRect turnoff = h.window.button(control::kTurnOff)->geometry();
    const QRect play = h.window.button(control::kPlay)->geometry();
    const QRect logo = h.window.button(control::kLogo)->geometry();
    const QRect line = h.window.Place("RG_MSG_1");
    const QRect antenna = h.window.Place("RG_ANTENNA");
    h.controller->DoubleSize();
    QCOMPARE(h.window.size(), QSize(680, 620));
    QCOMPARE(h.window.button(control::kTurnOff)->geometry(), turnoff.translated(320, 0));
    QCOMPARE(h.window.button(control::kPlay)->geometry(), play.translated(0, 240));
    QCOMPARE(h.window.button(control::kLogo)->geometry(), logo);
    QCOMPARE(h.window.Place("RG_MSG_1"), line.translated(0, 240).adjusted(0, 0, 320, 0));
    QCOMPARE(h.window.Place("RG_ANTENNA"), antenna.translated(320, 240));
    QCOMPARE(h.window.screen_wnd()->geometry(), QRect(20, 34, 640, 480));
    QVERIFY(h.window.mask().xored(koru::skin::BitmapToRegion(h.window.background())).isEmpty());
    QVERIFY(!h.window.mask().contains(QPoint(679, 619)));
    // Back to normal: everything where it was.
    h.controller->NormalSize();
    QCOMPARE(h.window.size(), QSize(360, 380));
    QCOMPARE(h.window.button(control::kTurnOff)->geometry(), turnoff);
}

void PlayerWindowTest::FullScreenHidesTheSkinAndFillsTheScreen() {
    WindowHarness h;
    const QRect normal = h.window.geometry();
    h.controller->EnterFullScreen();
    const QRect screen = h.window.screen()->geometry();
    QCOMPARE(h.window.geometry(), screen);
    QVERIFY(h.window.mask().isEmpty());
    QVERIFY(!h.window.button(control::kPlay)->isVisible());
    QVERIFY(!h.window.volume_slider()->isVisible());
    const Rect video = FullScreenVideoRect(screen.width(), screen.height(), true);
    QCOMPARE(h.window.screen_wnd()->geometry(), koru::skin::ToQRect(video));
    h.controller->LeaveFullScreen();
    QCOMPARE(h.window.geometry(), normal);
    QVERIFY(h.window.button(control::kPlay)->isVisible());
    QVERIFY(!h.window.mask().isEmpty());
}

void PlayerWindowTest::KeysAndButtonsReachTheLogic() {
    WindowHarness h;
    QTest::keyClick(&h.window, Qt::Key_M);
    QVERIFY(h.controller->muted());
    QCOMPARE(h.window.button(control::kMute)->image_set(), 1);
    QVERIFY(h.window.volume_osd()->isVisible());
    QCOMPARE(h.window.volume_osd()->text(), QString("[   Mute   ]"));
    // The buttons of later parts are disabled and draw their disabled image.
    QVERIFY(!h.window.button(control::kRecord)->isEnabled());
    QCOMPARE(h.window.button(control::kRecord)->DrawnState(), 3);
    QVERIFY(!h.window.button(control::kChannelList)->isEnabled());
    QVERIFY(h.window.button(control::kStop)->isEnabled());
    // A click on the full-screen button.
    QTest::mouseClick(h.window.button(control::kFullScreen), Qt::LeftButton);
    QVERIFY(h.window.full_screen());
    // Tooltips follow the language.
    h.controller->SetLanguage(0);
    QCOMPARE(h.window.button(control::kStop)->toolTip(), QString("정지 (S)"));
    h.controller->SetLanguage(1);
    QCOMPARE(h.window.button(control::kStop)->toolTip(), QString("Stop (S)"));
    // Alt goes up before F4: still Alt+F4, the exit.
    QVERIFY(!h.controller->exiting());
    QTest::keyPress(&h.window, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyPress(&h.window, Qt::Key_F4, Qt::AltModifier);
    QTest::keyRelease(&h.window, Qt::Key_Alt, Qt::NoModifier);
    QTest::keyRelease(&h.window, Qt::Key_F4, Qt::NoModifier);
    QVERIFY(h.controller->exiting());
}

// Enter that chose a file in the open dialog or an item of a menu comes up in this window, its
// press taken by the other: not full screen. After a message box that release clears the box's
// flag; pressed here, Enter is full screen.
void PlayerWindowTest::EnterTakenByAnotherWindowIsNotFullScreen() {
    WindowHarness h;
    QTest::keyRelease(&h.window, Qt::Key_Return);
    QVERIFY(!h.controller->full_screen());
    QTest::keyClick(&h.window, Qt::Key_Return);
    QVERIFY(h.controller->full_screen());
    h.controller->state().message_box_flag = true;
    QTest::keyRelease(&h.window, Qt::Key_Return);
    QTRY_VERIFY(!h.controller->state().message_box_flag);  // deferred while the key flag is armed
    QVERIFY(h.controller->full_screen());
}

void PlayerWindowTest::MenusFollowTheModel() {
    WindowHarness h;
    std::unique_ptr<QMenu> menu = h.window.BuildPopupMenu(false);
    QAction* open = FindAction(*menu, command::kOpen);
    QVERIFY(open != nullptr);
    QVERIFY(!open->isEnabled());
    QCOMPARE(open->text(), QString("Open\tO"));
    QVERIFY(FindAction(*menu, command::kFullScreen)->isEnabled());
    QVERIFY(FindAction(*menu, command::kRegionSeoul)->isChecked());
    QVERIFY(FindAction(*menu, command::kLanguageEnglish)->isChecked());
    QVERIFY(FindAction(*menu, command::kSkinPlaceholder) == nullptr);
    for (QAction* action : menu->actions())
        QVERIFY(action->text() != QString("Skin slelection"));
    // Choosing a command from the menu runs it.
    FindAction(*menu, command::kRegionKorea)->trigger();
    int region = -1;
    h.state.WithStore([&](const settings::ChannelStore& s) { region = s.frequency_region; });
    QCOMPARE(region, 3);
    FindAction(*menu, command::kLanguageKorean)->trigger();
    std::unique_ptr<QMenu> korean = h.window.BuildPopupMenu(true);
    QCOMPARE(FindAction(*korean, command::kScreenRecover)->text(), QString("화면 복귀\tESC"));
    QCOMPARE(FindAction(*korean, command::kExitFullScreen)->text(), QString("종료\tAlt+F4"));
}

void PlayerWindowTest::VolumeSliderDrivesTheVolume() {
    WindowHarness h;
    h.controller->SetVolume(70);
    koru::skin::BitmapSlider* slider = h.window.volume_slider();
    QCOMPARE(slider->GetPos(), 70);
    // A click at the slider's start: the volume drops to the value there.
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(0, slider->height() / 2));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(0, slider->height() / 2));
    QTRY_COMPARE(h.controller->volume(), 0);
    QVERIFY(CoreHarness::WaitFor([&] {
        const auto options = h.terminal.CallsNamed("SetOption");
        return !options.empty() && options.back().a == 5 && options.back().b == 0;
    }));
}

void PlayerWindowTest::AudioLayoutShowsTheRadioBackground() {
    WindowHarness h;
    h.controller->SwitchLayout(kLayoutAudio);
    QVERIFY(!h.window.screen_wnd()->isVisible());
    const QImage shown = h.window.grab().toImage();
    const QImage radio = h.window.skin().Image("BM_RadioBG");
    const QRect area = h.window.skin().AbsoluteRect("RG_Screen");
    int different = 0;
    for (int y = 0; y < area.height(); y += 3) {
        for (int x = 0; x < area.width(); x += 3) {
            if ((shown.pixel(area.left() + x, area.top() + y) & 0xFFFFFF) !=
                (radio.pixel(x, y) & 0xFFFFFF))
                ++different;
        }
    }
    QVERIFY2(different < 300, std::to_string(different).c_str());
    h.controller->SwitchLayout(kLayoutVideo);
    QVERIFY(h.window.screen_wnd()->isVisible());
}

void PlayerWindowTest::ASkinThatCannotBeReadSaysWhy() {
    WindowHarness h;
    const std::filesystem::path path = h.folder / "Broken.lay";
    // The XML length (little-endian) and XML that ends inside its first element.
    const std::string xml = "<page id='P' x='0'";
    koru::test::WriteFile(path, std::string{static_cast<char>(xml.size()), 0, 0, 0} + xml);
    // The warning is modal: it is read and closed from inside its own event loop.
    QString caption;
    QString text;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            text = box->text();
            box->accept();
        }
    });
    closer.start(10);
    QVERIFY(h.window.LoadSkin(path.string()));
    closer.stop();
    QCOMPARE(caption, QString("Error"));
    QVERIFY(!text.isEmpty());
    QVERIFY(h.state.message_box_flag);
}

QTEST_MAIN(PlayerWindowTest)
#include "player_window_test.moc"
