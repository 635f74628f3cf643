// The event window and the message window: tune requests become receiver URLs and connects on
// the event window's thread, status messages reach the user interface as the message table says.
#include <QtTest>

#include "m4systems/messages.h"
#include "player/core/player_event.h"
#include "player/core/screen_geometry.h"
#include "player_fakes.h"

using koru::test::CoreHarness;
using namespace koru::player;
namespace settings = koru::settings;

class EventRoutingTest : public QObject {
    Q_OBJECT

  private slots:
    void TuneBuildsUrlAndConnectsOnEventThread();
    void RadioAndDataUseMp2AndTheKilohertzRule();
    void SameChannelDoesNotReconnect();
    void TuneWhilePlayingClosesFirst();
    void TuneIsIgnoredWithoutReceiver();
    void SignalReportWhileStoppedShowsOneBar();
    void SignalBarThresholds();
    void UsbLostAfterSearchIsShownOnce();
    void UsbLostStopsAndReports();
    void FirstFrameHidesBannerAfter2200Ms();
    void WeakSignalShowsOverlayOnlyWhilePlaying();
    void UnplayableSoundIsSaidOnceATune();
    void UnhandledCodesHaveNoEffect();
    void VolumeSizeAndPauseReachTheTerminal();
    void ExitDeletesInOrderOnTheEventThread();
};

void EventRoutingTest::TuneBuildsUrlAndConnectsOnEventThread() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.FillChannels();
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 2);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    const auto connects = core.terminal.CallsNamed("ConnectURL");
    QCOMPARE(connects.size(), size_t{1});
    QCOMPARE(QString::fromStdString(connects[0].text), QString("bbu://208736,2,0.ts"));
    QCOMPARE(connects[0].thread, core.events.thread());
    QVERIFY(connects[0].thread != QThread::currentThread());
    QCOMPARE(core.state.CurrentIndex(settings::kWatchKindTv), 2);
    QCOMPARE(core.state.connection_state.load(), kConnectionConnecting);
    QCOMPARE(core.state.play_source.load(), kPlaySourceLive);
    QCOMPARE(core.state.activity.load(), kActivityTuned);
    QCOMPARE(core.state.tune_state.load(), kTuneTuned);
    // The message window learnt the new channel: its name on line 1, "Connecting" on line 2.
    QVERIFY(CoreHarness::WaitFor([&] { return core.controller->message_line(2) == "Connecting"; }));
    QCOMPARE(QString::fromStdString(core.controller->message_line(1)), QString("TV 3"));
    // No terminal call ever happened on the main thread.
    for (const auto& call : core.terminal.Calls())
        QVERIFY2(call.thread == core.events.thread(), call.name.c_str());
}

void EventRoutingTest::RadioAndDataUseMp2AndTheKilohertzRule() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.FillChannels();
    core.state.SetWatchKind(settings::kWatchKindRadio);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 1);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    // 175.28 MHz as a float is 175.279999..., the + 0.1 keeps it at 175280 kHz.
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://175280,1,0.mp2"));
    // The radio module is told before the connect that a live radio service comes.
    const auto calls = core.terminal.Calls();
    auto radio_type = std::find_if(calls.begin(), calls.end(),
                                   [](const auto& c) { return c.name == "GetCurrentRadioType"; });
    auto connect = std::find_if(calls.begin(), calls.end(),
                                [](const auto& c) { return c.name == "ConnectURL"; });
    QVERIFY(radio_type != calls.end());
    QVERIFY(radio_type < connect);
    QCOMPARE(radio_type->a, 1LL);

    core.terminal.Clear();
    core.state.WithStore([](settings::ChannelStore& s) {
        s.data.Append(koru::test::Entry("KORU Web", 208.736f, 4, 2));
        s.watch_kind = settings::kWatchKindData;
    });
    core.state.tune_state = kTuneChosenFromList;
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 0);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://208736,4,0.mp2"));
    QVERIFY(core.terminal.CallsNamed("GetCurrentRadioType").empty());
}

void EventRoutingTest::SameChannelDoesNotReconnect() {
    CoreHarness core;
    core.FillChannels();
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 1);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    // The first picture: the event window marks the connection as playing.
    PostPlayerEvent(core.events.window(), WM_SYSTEM_FIRST_FRAME);
    QVERIFY(CoreHarness::WaitFor(
        [&] { return core.state.connection_state.load() == kConnectionPlaying; }));
    const int hides_before = core.view.banner_hides;

    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 1);
    QVERIFY(CoreHarness::WaitFor([&] { return core.view.banner_hides > hides_before; }));
    core.DrainEvents();
    QCOMPARE(core.terminal.CallsNamed("ConnectURL").size(), size_t{1});
    QVERIFY(core.terminal.CallsNamed("CloseURL").empty());
}

void EventRoutingTest::TuneWhilePlayingClosesFirst() {
    CoreHarness core;
    core.FillChannels();
    QVERIFY(core.Play(0));
    core.terminal.Clear();
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 3);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("ConnectURL").empty(); }));
    const auto calls = core.terminal.Calls();
    std::vector<std::string> names;
    for (const auto& call : calls) {
        if (call.name == "CloseURL" || call.name == "ConnectURL") names.push_back(call.name);
    }
    QCOMPARE(names, (std::vector<std::string>{"CloseURL", "ConnectURL"}));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://208736,3,0.ts"));
}

void EventRoutingTest::TuneIsIgnoredWithoutReceiver() {
    CoreHarness core;
    core.FillChannels();
    core.state.receiver_present = 0;
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE_IF_PRESENT, 1);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_TUNE, 1);
    core.DrainEvents();
    QVERIFY(core.terminal.CallsNamed("ConnectURL").empty());
    QCOMPARE(core.state.CurrentIndex(settings::kWatchKindTv), 0);
}

void EventRoutingTest::SignalReportWhileStoppedShowsOneBar() {
    CoreHarness core;
    core.state.connection_state = kConnectionStopped;
    PostPlayerEvent(core.events.window(), WM_SYSTEM_SIGNAL_LEVEL, 150, 0);
    core.DrainEvents();
    QCOMPARE(core.controller->antenna_bars(), 1);
    // The radio module still got the value as reported.
    const auto checks = core.terminal.CallsNamed("PADDataInValidCheck");
    QCOMPARE(checks.size(), size_t{1});
    QCOMPARE(checks[0].a, 150LL);

    core.state.connection_state = kConnectionPlaying;
    PostPlayerEvent(core.events.window(), WM_SYSTEM_SIGNAL_LEVEL, 150, 0);
    QVERIFY(CoreHarness::WaitFor([&] { return core.controller->antenna_bars() == 7; }));
}

void EventRoutingTest::SignalBarThresholds() {
    QCOMPARE(SignalBars(131), 7);
    QCOMPARE(SignalBars(121), 6);
    QCOMPARE(SignalBars(120), 5);
    QCOMPARE(SignalBars(111), 5);
    QCOMPARE(SignalBars(101), 4);
    QCOMPARE(SignalBars(91), 3);
    QCOMPARE(SignalBars(79), 2);
    QCOMPARE(SignalBars(77), 1);
    QCOMPARE(SignalBars(0), 1);
    QCOMPARE(SignalBars(-40), 1);
    // 7 bars draw the bitmap ending in 1, one bar the one ending in 7.
    QCOMPARE(QString(AntennaBitmapName(7)), QString("BM_ATN_1"));
    QCOMPARE(QString(AntennaBitmapName(1)), QString("BM_ATN_7"));
}

void EventRoutingTest::UsbLostAfterSearchIsShownOnce() {
    CoreHarness core;
    core.state.suppress_usb_lost = true;
    core.message_window->Handle(WM_SYSTEM_USB_LOST, 0, 0);
    QVERIFY(core.view.error_boxes.empty());
    QVERIFY(!core.state.suppress_usb_lost);
    core.message_window->Handle(WM_SYSTEM_USB_LOST, 0, 0);
    QCOMPARE(core.view.error_boxes.size(), size_t{1});
    QVERIFY(core.state.message_box_flag);
}

void EventRoutingTest::UsbLostStopsAndReports() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.FillChannels();
    core.state.connection_state = kConnectionPlaying;
    core.controller->EnterFullScreen();
    QVERIFY(core.view.full_screen);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_NO_DEVICE);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.view.error_boxes.empty(); }));
    QCOMPARE(QString::fromStdString(core.view.error_boxes[0]),
             QString("Disconnected between receiver and USB port on your PC.\n\n Please connect "
                     "to USB."));
    QVERIFY(!core.view.full_screen);
    QCOMPARE(core.controller->antenna_bars(), 1);
    // Stop posted 1125, which closes the connection on the event thread.
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("CloseURL").empty(); }));
    QCOMPARE(core.state.connection_state.load(), kConnectionStopped);
    QVERIFY(!core.terminal.CallsNamed("MOTInitVariable").empty());
}

void EventRoutingTest::FirstFrameHidesBannerAfter2200Ms() {
    CoreHarness core;
    core.message_window->Handle(WM_SYSTEM_FIRST_FRAME, 320, 240);
    QCOMPARE(core.message_window->timers().Period(timer::kHideBanner), 2200);
    QCOMPARE(core.state.connection_state.load(), kConnectionPlaying);
    const int hides = core.view.banner_hides;
    core.time.Advance(2199);
    QCOMPARE(core.view.banner_hides, hides);
    core.time.Advance(1);
    QCOMPARE(core.view.banner_hides, hides + 1);
    QVERIFY(!core.message_window->timers().IsActive(timer::kHideBanner));
}

void EventRoutingTest::WeakSignalShowsOverlayOnlyWhilePlaying() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.state.connection_state = kConnectionConnecting;
    core.message_window->Handle(WM_SYSTEM_WEAK_SIGNAL, 0, 0);
    QCOMPARE(QString::fromStdString(core.controller->message_line(2)), QString("Weak signal"));
    QVERIFY(core.view.overlays.empty());
    core.state.connection_state = kConnectionPlaying;
    core.message_window->Handle(WM_SYSTEM_WEAK_SIGNAL, 0, 0);
    QCOMPARE(core.view.overlays.size(), size_t{1});
    // Not while minimised.
    core.controller->OnControl(control::kMinimize);
    core.message_window->Handle(WM_SYSTEM_SIGNAL_LOST, 0, 0);
    QCOMPARE(core.view.overlays.size(), size_t{1});
    QCOMPARE(core.state.connection_state.load(), kConnectionPlaying);
}

// The terminal reports sound it cannot decode before the first picture; the player says it
// then and keeps saying it after the first picture, once for each tune, in either language.
void EventRoutingTest::UnplayableSoundIsSaidOnceATune() {
    CoreHarness core;
    core.state.SetLanguage(1);
    core.state.play_source = kPlaySourceLive;
    core.message_window->Handle(WM_SYSTEM_CONNECT, 0, 0);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_AUDIO_UNSUPPORTED);
    const QString english = "This channel's sound cannot be played";
    QVERIFY(CoreHarness::WaitFor(
        [&] { return QString::fromStdString(core.controller->message_line(2)) == english; }));
    core.message_window->Handle(WM_SYSTEM_FIRST_FRAME, 320, 240);
    QCOMPARE(QString::fromStdString(core.controller->message_line(2)), english);
    core.controller->SetMessageLine(2, "");
    core.message_window->Handle(WM_SYSTEM_AUDIO_UNSUPPORTED, 0, 0);
    QCOMPARE(QString::fromStdString(core.controller->message_line(2)), QString());
    // The next tune starts afresh.
    core.state.SetLanguage(0);
    core.message_window->Handle(WM_SYSTEM_CONNECT, 0, 0);
    core.message_window->Handle(WM_SYSTEM_FIRST_FRAME, 320, 240);
    QVERIFY(QString::fromStdString(core.controller->message_line(2)) !=
            QString::fromUtf8("이 채널의 소리는 재생할 수 없습니다"));
    core.message_window->Handle(WM_SYSTEM_AUDIO_UNSUPPORTED, 0, 0);
    QCOMPARE(QString::fromStdString(core.controller->message_line(2)),
             QString::fromUtf8("이 채널의 소리는 재생할 수 없습니다"));
}

void EventRoutingTest::UnhandledCodesHaveNoEffect() {
    CoreHarness core;
    core.state.connection_state = kConnectionPlaying;
    for (uint32_t code : {1134u, 1135u, 1240u, 4000u})
        PostPlayerEvent(core.events.window(), code);
    core.DrainEvents();
    QVERIFY(core.terminal.Calls().empty());
    QVERIFY(core.view.error_boxes.empty());
    QCOMPARE(core.state.connection_state.load(), kConnectionPlaying);
}

void EventRoutingTest::VolumeSizeAndPauseReachTheTerminal() {
    CoreHarness core;
    PostPlayerEvent(core.events.window(), WM_SYSTEM_VOLUME, 35);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_VIDEO_SIZE, 640, 480);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_PAUSE);
    PostPlayerEvent(core.events.window(), WM_SYSTEM_RESUME);
    QVERIFY(CoreHarness::WaitFor([&] { return core.terminal.Calls().size() >= 4; }));
    const auto calls = core.terminal.Calls();
    QCOMPARE(QString::fromStdString(calls[0].name), QString("SetOption"));
    QCOMPARE(calls[0].a, 5LL);
    QCOMPARE(calls[0].b, 35LL);
    QCOMPARE(QString::fromStdString(calls[1].name), QString("SetSize"));
    QCOMPARE(calls[1].a, 640LL);
    QCOMPARE(calls[1].b, 480LL);
    QCOMPARE(calls[2].a, 22LL);
    QCOMPARE(calls[2].b, 1LL);
    QCOMPARE(calls[3].b, 0LL);
    // The first picture sets the kept size again.
    core.terminal.Clear();
    PostPlayerEvent(core.events.window(), WM_SYSTEM_FIRST_FRAME);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("SetSize").empty(); }));
    QCOMPARE(core.terminal.CallsNamed("SetSize")[0].a, 640LL);
}

void EventRoutingTest::ExitDeletesInOrderOnTheEventThread() {
    CoreHarness core;
    QThread* event_thread = core.events.thread();
    core.events.Exit();
    QVERIFY(!core.events.running());
    const auto calls = core.terminal.Calls();
    QCOMPARE(calls.size(), size_t{3});
    QCOMPARE(QString::fromStdString(calls[0].name), QString("DeleteTerminal"));
    QCOMPARE(QString::fromStdString(calls[1].name), QString("DeletePluginManager"));
    QCOMPARE(QString::fromStdString(calls[2].name), QString("DeleteIniFile"));
    for (const auto& call : calls)
        QCOMPARE(call.thread, event_thread);
}

QTEST_MAIN(EventRoutingTest)
#include "event_routing_test.moc"
