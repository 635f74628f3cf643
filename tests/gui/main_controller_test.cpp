// The main window's logic: channel up/down with the pending tune, digit keys, the key-armed
// flag with its deferred Enter/Esc, full screen, sizes, volume and mute, list switching, menus.
#include <QtTest>

#include "m4systems/messages.h"
#include "player/core/player_event.h"
#include "player/core/screen_geometry.h"
#include "player/core/update_checker.h"
#include "player_fakes.h"

using koru::test::CoreHarness;
using namespace koru::player;
namespace settings = koru::settings;

class MainControllerTest : public QObject {
    Q_OBJECT

  private slots:
    void ThreeQuickDownPressesTuneOnceAfterTheLast();
    void DownOnTheLastEntryWrapsToTheFirst();
    void StepsWithoutChannelsDoNothing();
    void DigitKeysTuneTheNthEntry();
    void EnterClosingAMessageBoxDoesNotEnterFullScreen();
    void EscapeNeverEntersFullScreen();
    void EnterAndEscapeAreDeferredWhileArmed();
    void FullScreenFourByThreeGeometry();
    void SizesAreRefusedInTheAudioLayout();
    void VolumeKeysAndMute();
    void KeyTSwitchesBetweenTvAndRadio();
    void KeyTInFullScreenTunesTheOtherList();
    void NothingTunesWhileASearchRuns();
    void AStickPluggedInAfterTheStartIsSeenByPlayAndTheChannelKeys();
    void CommandsStillToComeStayGreyedAndKeysDoNothing();
    void LanguageAndRegionMenus();
    void UpdateCheckStartsTheCheckerOfTheLanguage();
    void StopClosesAndShowsDisconnect();
    void DeferredStartupPlaysTheCurrentChannel();
    void ExitIsRefusedDuringSearch();
};

void MainControllerTest::ThreeQuickDownPressesTuneOnceAfterTheLast() {
    CoreHarness core;
    core.FillChannels();
    core.controller->ChannelStep(+1);
    core.time.Advance(100);
    core.controller->ChannelStep(+1);
    core.time.Advance(100);
    core.controller->ChannelStep(+1);
    QCOMPARE(core.controller->pending_index(), 3);
    core.time.Advance(1499);
    core.DrainEvents();
    QVERIFY2(core.terminal.CallsNamed("ConnectURL").empty(), "tuned before 1.5 s after the last");
    core.time.Advance(1);
    QVERIFY(!core.controller->timers().IsActive(timer::kPendingChannel));
    core.DrainEvents();
    const auto connects = core.terminal.CallsNamed("ConnectURL");
    QCOMPARE(connects.size(), size_t{1});
    QCOMPARE(QString::fromStdString(connects[0].text), QString("bbu://208736,3,0.ts"));
    // Each press showed the channel it reached; the tune showed the channel once more.
    QCOMPARE(core.view.banners.size(), size_t{4});
    QCOMPARE(QString::fromStdString(core.view.banners[2]), QString("[채널: TV 4]"));
}

void MainControllerTest::DownOnTheLastEntryWrapsToTheFirst() {
    CoreHarness core;
    core.FillChannels();
    core.state.SetCurrentIndex(settings::kWatchKindTv, 4);
    core.controller->ChannelStep(+1);
    QCOMPARE(core.controller->pending_index(), 0);
    core.controller->timers().Stop(timer::kPendingChannel);
    core.state.SetCurrentIndex(settings::kWatchKindTv, 0);
    core.controller->ChannelStep(-1);
    QCOMPARE(core.controller->pending_index(), 4);
}

void MainControllerTest::StepsWithoutChannelsDoNothing() {
    CoreHarness core;
    core.controller->ChannelStep(+1);
    QVERIFY(!core.controller->timers().IsActive(timer::kPendingChannel));
    QVERIFY(core.view.banners.empty());
    // Ignored while a channel search runs.
    core.FillChannels();
    core.state.activity = kActivitySearching;
    core.controller->ChannelStep(+1);
    QVERIFY(!core.controller->timers().IsActive(timer::kPendingChannel));
}

void MainControllerTest::DigitKeysTuneTheNthEntry() {
    CoreHarness core;
    core.FillChannels();
    core.controller->OnKeyRelease(Qt::Key_3, false);
    QCOMPARE(core.controller->pending_index(), 2);
    QVERIFY(core.controller->timers().IsActive(timer::kPendingChannel));
    core.controller->timers().Stop(timer::kPendingChannel);
    // Only five channels: 6 does nothing.
    core.controller->OnKeyRelease(Qt::Key_6, false);
    QVERIFY(!core.controller->timers().IsActive(timer::kPendingChannel));
    // Alt+2 doubles the size and keeps 1 and 2 from tuning for 200 ms.
    core.controller->OnKeyRelease(Qt::Key_2, true);
    QCOMPARE(core.state.screen_size.load(), kScreenDouble);
    QVERIFY(!core.controller->digit_keys_enabled());
    core.controller->OnKeyRelease(Qt::Key_2, false);
    QVERIFY(!core.controller->timers().IsActive(timer::kPendingChannel));
    core.time.Advance(199);
    QVERIFY(!core.controller->digit_keys_enabled());
    core.time.Advance(1);
    QVERIFY(core.controller->digit_keys_enabled());
    core.controller->OnKeyRelease(Qt::Key_2, false);
    QCOMPARE(core.controller->pending_index(), 1);
}

void MainControllerTest::EnterClosingAMessageBoxDoesNotEnterFullScreen() {
    CoreHarness core;
    core.controller->ReportError(WM_SYSTEM_USB_LOST);
    QCOMPARE(core.view.error_boxes.size(), size_t{1});
    QVERIFY(core.state.message_box_flag);
    // The Enter that closed the box reaches the main window when it is released.
    core.controller->OnKeyRelease(Qt::Key_Return, false);
    core.time.Advance(300);
    QVERIFY(!core.view.full_screen);
    QVERIFY(!core.state.message_box_flag);
    // The next Enter does enter full screen (200 ms later: the key flag is armed now).
    core.controller->OnKeyRelease(Qt::Key_Return, false);
    QVERIFY(!core.view.full_screen);
    core.time.Advance(200);
    QVERIFY(core.view.full_screen);
}

void MainControllerTest::EscapeNeverEntersFullScreen() {
    CoreHarness core;
    core.controller->OnKeyRelease(Qt::Key_Escape, false);
    core.time.Advance(300);
    QVERIFY(!core.view.full_screen);
    core.controller->EnterFullScreen();
    core.controller->OnKeyRelease(Qt::Key_Escape, false);
    core.time.Advance(200);
    QVERIFY(!core.view.full_screen);
    // A minimised window takes the first Enter for itself.
    core.controller->OnControl(control::kMinimize);
    QVERIFY(core.controller->minimised());
    core.controller->OnKeyRelease(Qt::Key_Return, false);
    core.time.Advance(200);
    QVERIFY(!core.controller->minimised());
    QVERIFY(!core.view.full_screen);
}

void MainControllerTest::EnterAndEscapeAreDeferredWhileArmed() {
    CoreHarness core;
    core.controller->OnKeyRelease(Qt::Key_M, false);  // arms the flag, mutes at once
    QVERIFY(core.controller->key_armed());
    QVERIFY(core.controller->muted());
    core.controller->OnKeyRelease(Qt::Key_Return, false);
    core.time.Advance(199);
    QVERIFY(!core.view.full_screen);
    core.time.Advance(1);
    QVERIFY(core.view.full_screen);
    // A key the reservation dialog took is not handled again.
    core.controller->OnKeyRelease(Qt::Key_Escape, false);
    core.controller->set_key_taken(true);
    core.time.Advance(350);
    QVERIFY(core.view.full_screen);
    // Other keys are never deferred.
    core.controller->OnKeyRelease(Qt::Key_M, false);
    QVERIFY(!core.controller->muted());
}

void MainControllerTest::FullScreenFourByThreeGeometry() {
    QCOMPARE(FullScreenVideoRect(1280, 1024, true), (Rect{0, 32, 1280, 992}));
    QCOMPARE(FullScreenVideoRect(1920, 1080, true), (Rect{240, 0, 1680, 1080}));
    QCOMPARE(FullScreenVideoRect(1280, 1024, false), (Rect{0, 0, 1280, 1024}));
    QCOMPARE(FitFourByThree(Rect{12, 32, 372, 312}), (Rect{12, 37, 372, 307}));

    CoreHarness core;
    core.settings.set_ratio(1);
    core.controller->EnterFullScreen();
    QVERIFY(core.view.full_screen);
    QCOMPARE(core.view.full_screen_video, (Rect{0, 32, 1280, 992}));
    QCOMPARE(core.controller->video_size(), (Size{1280, 960}));
    QCOMPARE(core.controller->timers().Period(timer::kPointerAway), 1500);
    // The picture size reached the terminal.
    QVERIFY(CoreHarness::WaitFor([&] {
        const auto sizes = core.terminal.CallsNamed("SetSize");
        return !sizes.empty() && sizes.back().a == 1280 && sizes.back().b == 960;
    }));
    core.controller->LeaveFullScreen();
    QVERIFY(!core.controller->timers().IsActive(timer::kPointerAway));
    QCOMPARE(core.controller->video_size(), (Size{320, 240}));
}

void MainControllerTest::SizesAreRefusedInTheAudioLayout() {
    CoreHarness core;
    core.controller->DoubleSize();
    QCOMPARE(core.view.extra_width, 320);
    QCOMPARE(core.view.extra_height, 240);
    QCOMPARE(core.controller->video_size(), (Size{640, 480}));
    core.controller->NormalSize();
    QCOMPARE(core.state.screen_size.load(), kScreenNormal);
    core.controller->OnGripResized(100, 75);
    QCOMPARE(core.state.screen_size.load(), kScreenGrip);
    QCOMPARE(core.controller->video_size(), (Size{420, 315}));
    core.controller->SwitchLayout(kLayoutAudio);
    QCOMPARE(core.view.extra_width, 0);
    core.controller->DoubleSize();
    QCOMPARE(core.view.extra_width, 0);
    QVERIFY(!core.controller->CanResizeWithGrip());
    // Back in the video layout, the size before the audio layout returns.
    core.controller->SwitchLayout(kLayoutVideo);
    QCOMPARE(core.view.extra_width, 100);
    QCOMPARE(core.view.extra_height, 75);
}

void MainControllerTest::VolumeKeysAndMute() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.controller->SetVolume(70);
    QVERIFY(core.controller->OnKeyPress(Qt::Key_Left, false));
    QCOMPARE(core.controller->volume(), 65);
    QCOMPARE(core.view.volume_slider, 65);
    QCOMPARE(QString::fromStdString(core.view.volume_osd.back()), QString("[Volume: 65%]"));
    QVERIFY(!core.controller->OnKeyPress(Qt::Key_A, false));
    core.controller->SetVolume(98);
    core.controller->OnKeyPress(Qt::Key_Right, false);
    QCOMPARE(core.controller->volume(), 100);
    core.controller->ToggleMute();
    QVERIFY(core.view.muted);
    QCOMPARE(QString::fromStdString(core.view.volume_osd.back()), QString("[   Mute   ]"));
    QCOMPARE(core.controller->timers().Period(timer::kVolumeOsd), 1000);
    // A volume change while muted unmutes first.
    core.controller->OnVolumeSlider(40);
    QVERIFY(!core.controller->muted());
    QVERIFY(!core.view.muted);
    QVERIFY(CoreHarness::WaitFor([&] {
        const auto options = core.terminal.CallsNamed("SetOption");
        return !options.empty() && options.back().b == 40;
    }));
    std::vector<long long> volumes;
    for (const auto& call : core.terminal.CallsNamed("SetOption"))
        volumes.push_back(call.b);
    QCOMPARE(volumes, (std::vector<long long>{70, 65, 98, 100, 0, 40}));
    // The settings file keeps the volume.
    QVERIFY(koru::test::ReadFile(core.folder / "channel.xml").find("volume=\"40\"") !=
            std::string::npos);
}

void MainControllerTest::KeyTSwitchesBetweenTvAndRadio() {
    CoreHarness core;
    core.FillChannels();
    QVERIFY(core.Play(0));
    core.terminal.Clear();
    core.controller->OnKeyRelease(Qt::Key_T, false);
    QCOMPARE(core.state.WatchKind(), settings::kWatchKindRadio);
    QCOMPARE(core.state.layout.load(), kLayoutAudio);
    QCOMPARE(core.view.layout, kLayoutAudio);
    // Radio index 0 is tuned although the TV list's index 0 was playing.
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://205280,3,0.mp2"));
    PostPlayerEvent(core.events.window(), WM_SYSTEM_FIRST_FRAME);
    QVERIFY(CoreHarness::WaitFor(
        [&] { return core.state.connection_state.load() == kConnectionPlaying; }));
    core.terminal.Clear();
    core.controller->OnKeyRelease(Qt::Key_T, false);
    QCOMPARE(core.state.WatchKind(), settings::kWatchKindTv);
    QCOMPARE(core.state.layout.load(), kLayoutVideo);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://208736,0,0.ts"));
}

void MainControllerTest::KeyTInFullScreenTunesTheOtherList() {
    CoreHarness core;
    core.FillChannels();
    QVERIFY(core.Play(0));
    core.controller->EnterFullScreen();
    core.terminal.Clear();
    // TV index 0 plays and radio index 0 is current: T plays the radio service, although full
    // screen keeps its layout.
    core.controller->OnKeyRelease(Qt::Key_T, false);
    QCOMPARE(core.state.WatchKind(), settings::kWatchKindRadio);
    QVERIFY(core.view.full_screen);
    QCOMPARE(core.view.layout, kLayoutVideo);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://205280,3,0.mp2"));
}

void MainControllerTest::NothingTunesWhileASearchRuns() {
    CoreHarness core;
    core.FillChannels();
    // A channel step pending when the search starts, digit keys during it, and the event
    // window's own tune and connect requests: the receiver stays the search's.
    core.controller->ChannelStep(+1);
    core.state.activity = kActivitySearching;
    core.controller->OnKeyRelease(Qt::Key_3, false);
    QCOMPARE(core.controller->pending_index(), 1);
    core.time.Advance(1500);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 2);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_CONNECT);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_RECONNECT);
    core.DrainEvents();
    QVERIFY(core.terminal.CallsNamed("ConnectURL").empty());
    // Once it has ended, a tune goes through again.
    core.state.activity = kActivitySearchEnded;
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 2);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
}

void MainControllerTest::AStickPluggedInAfterTheStartIsSeenByPlayAndTheChannelKeys() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.FillChannels();
    core.state.receiver_present = 0;  // none at the start
    core.receiver_plugged = false;
    core.controller->Play();
    core.DrainEvents();
    QVERIFY(core.terminal.CallsNamed("ConnectURL").empty());
    // Plugged in now: Play finds it.
    core.receiver_plugged = true;
    core.controller->Play();
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    // Up finds it too, and shows the channel's name rather than "No data for channel".
    core.state.receiver_present = 0;
    core.terminal.Clear();
    core.controller->ChannelStep(+1);
    QCOMPARE(QString::fromStdString(core.controller->message_line(1)), QString("TV 2"));
    core.time.Advance(1500);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    QCOMPARE(core.state.receiver_present.load(), 1);
}

void MainControllerTest::CommandsStillToComeStayGreyedAndKeysDoNothing() {
    CoreHarness core;
    core.FillChannels();
    MenuModel& menu = core.controller->menu();
    for (int command :
         {command::kOpen, command::kRecord, command::kCapture, command::kPreengagement,
          command::kOptions, command::kProgramInformation, command::kShortcutList,
          command::kUpdateCheck, command::kChannelSearch, command::kChannelList}) {
        QVERIFY2(!menu.IsEnabled(command), std::to_string(command).c_str());
    }
    for (int command : {command::kStop, command::kChannelUp, command::kFullScreen,
                        command::kNormalSize, command::kExit, command::kRegionSeoul}) {
        QVERIFY(menu.IsEnabled(command));
    }
    for (int key : {Qt::Key_O, Qt::Key_R, Qt::Key_C, Qt::Key_B, Qt::Key_I, Qt::Key_L, Qt::Key_F1,
                    Qt::Key_F3, Qt::Key_F5, Qt::Key_Space}) {
        core.controller->OnKeyRelease(key, false);
    }
    core.DrainEvents();
    QVERIFY(core.terminal.Calls().empty());
    QVERIFY(core.view.error_boxes.empty());
    QCOMPARE(core.state.recording_state.load(), kNotRecording);
    // Skin 5 has no skin submenu: position 15 is the separator before the options.
    const auto items = menu.MainMenu(false, {});
    QCOMPARE(items[15].kind, MenuItem::kSeparator);
    QCOMPARE(menu.MainMenu(true, {})[15].text, Text::kMenuSkin);
    // Recording greys and checks, Stop enables again.
    menu.SetFeature(Feature::kRecording, true);
    menu.OnRecordingStarted();
    QVERIFY(!menu.IsEnabled(command::kChannelUpFullScreen));
    QVERIFY(menu.IsChecked(command::kRecord));
    menu.OnStopped();
    QVERIFY(menu.IsEnabled(command::kRecord));
    QVERIFY(!menu.IsChecked(command::kRecord));
}

void MainControllerTest::LanguageAndRegionMenus() {
    CoreHarness core;
    core.controller->OnMenuCommand(command::kLanguageEnglish);
    QCOMPARE(core.state.Language(), 1);
    QVERIFY(core.controller->menu().IsChecked(command::kLanguageEnglish));
    QVERIFY(!core.controller->menu().IsChecked(command::kLanguageKorean));
    QCOMPARE(QString(core.controller->Text(Text::kMenuExit)), QString("Exit\tAlt+F4"));
    core.controller->OnMenuCommand(command::kLanguageKorean);
    QCOMPARE(QString(core.controller->Text(Text::kMenuExit)), QString("종료\tAlt+F4"));

    core.controller->OnMenuCommand(command::kRegionLBandEurope);
    int region = -1;
    core.state.WithStore([&](const settings::ChannelStore& s) { region = s.frequency_region; });
    QCOMPARE(region, 0);
    QVERIFY(core.controller->menu().IsChecked(command::kRegionLBandEurope));
    QVERIFY(!core.controller->menu().IsChecked(command::kRegionSeoul));
    core.controller->OnMenuCommand(command::kRegionShanghai);
    core.state.WithStore([&](const settings::ChannelStore& s) { region = s.frequency_region; });
    QCOMPARE(region, 5);
    // Saved at once.
    QVERIFY(koru::test::ReadFile(core.folder / "channel.xml").find("freqlocal=\"5\"") !=
            std::string::npos);
}

void MainControllerTest::UpdateCheckStartsTheCheckerOfTheLanguage() {
    CoreHarness core;
    // Stand-in checkers in a program folder of the test's own write how they were started.
    koru::test::TempDir program;
    koru::test::TempDir work;
    const std::string started = (program / "started.txt").string();
    for (const char* name : {"upcheckKORU", "upcheckEngKORU"}) {
        koru::test::WriteFile(program / name,
                              "#!/bin/sh\nprintf '%s|%s|%s|%s\\n' \"${0##*/}\" "
                              "\"$(pwd)\" \"$#\" \"$1\" >> " +
                                  started + "\n");
        std::filesystem::permissions(program / name, std::filesystem::perms::owner_all);
    }
    MenuModel& menu = core.controller->menu();
    core.controller->SetUpdateChecker([&](int language) {
        QVERIFY(StartUpdateChecker(language, program.str(), work.str(), "2.241"));
    });
    QVERIFY(menu.IsEnabled(command::kUpdateCheck));
    core.controller->OnMenuCommand(command::kUpdateCheck);
    const std::string korean = "upcheckKORU|" + work.str() + "|1|2.241\n";
    QVERIFY(CoreHarness::WaitFor([&] { return koru::test::ReadFile(started) == korean; }, 10000));
    core.controller->OnMenuCommand(command::kLanguageEnglish);
    core.controller->OnMenuCommand(command::kUpdateCheck);
    const std::string both = korean + "upcheckEngKORU|" + work.str() + "|1|2.241\n";
    QVERIFY(CoreHarness::WaitFor([&] { return koru::test::ReadFile(started) == both; }, 10000));
    // A checker that is not there does not start.
    QVERIFY(!StartUpdateChecker(1, work.str(), work.str(), "2.241"));
}

void MainControllerTest::StopClosesAndShowsDisconnect() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.FillChannels();
    QVERIFY(core.Play(0));
    core.controller->OnKeyRelease(Qt::Key_S, false);
    core.DrainEvents();
    QCOMPARE(core.state.connection_state.load(), kConnectionStopped);
    QCOMPARE(QString::fromStdString(core.controller->message_line(2)), QString("Disconnect"));
    QCOMPARE(QString::fromStdString(core.controller->message_line(1)), QString());
    QCOMPARE(core.controller->antenna_bars(), 1);
    QCOMPARE(core.terminal.CallsNamed("CloseURL").size(), size_t{1});
    // Play tunes the current channel again.
    core.terminal.Clear();
    core.controller->OnControl(control::kPlay);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
}

void MainControllerTest::DeferredStartupPlaysTheCurrentChannel() {
    CoreHarness core;
    core.FillChannels();
    core.state.SetCurrentIndex(settings::kWatchKindTv, 2);
    core.settings.set_volume(45);
    core.controller->DeferredStartup(true, true, "");
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://208736,2,0.ts"));
    QCOMPARE(core.view.volume_slider, 45);
    const auto sizes = core.terminal.CallsNamed("SetSize");
    QVERIFY(!sizes.empty());
    QCOMPARE(sizes[0].a, 320LL);
    QCOMPARE(sizes[0].b, 240LL);

    // Without the channel cache the stored lists are emptied and nothing plays.
    CoreHarness empty;
    empty.FillChannels();
    empty.controller->DeferredStartup(true, false, "");
    empty.DrainEvents();
    QVERIFY(empty.terminal.CallsNamed("ConnectURL").empty());
    QCOMPARE(empty.state.ChannelCount(settings::kWatchKindTv), 0);
    QCOMPARE(empty.state.ChannelCount(settings::kWatchKindRadio), 0);
}

void MainControllerTest::ExitIsRefusedDuringSearch() {
    CoreHarness core;
    core.state.activity = kActivitySearching;
    QVERIFY(!core.controller->Exit());
    QCOMPARE(core.shutdowns, 0);
    core.state.activity = kActivitySearchEnded;
    core.controller->DoubleSize();
    QVERIFY(core.controller->Exit());
    QCOMPARE(core.shutdowns, 1);
    QCOMPARE(core.settings.region_x(), 320);
    QCOMPARE(core.settings.region_y(), 240);
    // A second exit request while shutting down does nothing.
    QVERIFY(!core.controller->Exit());
}

QTEST_MAIN(MainControllerTest)
#include "main_controller_test.moc"
