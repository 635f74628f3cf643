// The desktop's media controls: their commands reach the player through the event window and
// the message window (never straight from the bus's thread), Pause holds live TV in the time-
// shift cache and stops what cannot be held, and the status follows what plays and shows.
#include <QtTest>
#include <thread>

#include "m4systems/messages.h"
#include "player/core/media_control.h"
#include "player/core/player_event.h"
#include "player_fakes.h"

using koru::test::CoreHarness;
using namespace koru::player;
namespace settings = koru::settings;

namespace {

// Time shift that holds live TV (the recording part of the player stands behind it).
class HoldingExtensions : public PlaybackExtensions {
  public:
    void TimeShiftPlayPause() override { paused = !paused; }
    void FilePlayPause() override { paused = !paused; }
    bool TimeShiftAvailable() override { return true; }
    bool Paused() override { return paused; }
    bool paused = false;
};

// As the bus's thread does it: posted from a thread that is neither the main nor the event one.
void PostFromAnotherThread(QObject* event_window, MediaCommand command, int value = 0) {
    std::thread bus([=] {
        PostPlayerEvent(event_window, kEventMediaCommand, static_cast<int>(command), value);
    });
    bus.join();
}

// The channels of the harness, with time shift on and its cache ready to hold live TV.
void HoldLiveTv(CoreHarness& core, HoldingExtensions& time_shift) {
    core.controller->SetPlaybackExtensions(&time_shift);
    core.settings.set_timeshiftonoff(1);
    core.controller->set_timeshift_ready(true);
    core.FillChannels();
}

size_t Connects(const CoreHarness& core) {
    return core.terminal.CallsNamed("ConnectURL").size();
}

}  // namespace

class MediaControlTest : public QObject {
    Q_OBJECT

  private slots:
    void NextAndVolumeReachTheTerminalOnlyFromTheEventThread();
    void PlayPauseHoldsLiveTvInTheTimeShiftCache();
    void PauseStopsWhatCannotBeHeldAndPlayTunesAgain();
    void StatusFollowsTheChannelItsLabelAndSlide();
    void MediaKeysOfTheFocusedWindowAreTheSameCommands();
};

void MediaControlTest::NextAndVolumeReachTheTerminalOnlyFromTheEventThread() {
    CoreHarness core;
    core.FillChannels();
    QVERIFY(core.Play(0));
    core.terminal.Clear();
    PostFromAnotherThread(core.events.window(), MediaCommand::kNext);
    PostFromAnotherThread(core.events.window(), MediaCommand::kSetVolume, 30);
    core.DrainEvents();
    core.time.Advance(1500);  // the pending channel's timer
    QVERIFY(CoreHarness::WaitFor([&] { return Connects(core) == 1; }));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://208736,1,0.ts"));
    QCOMPARE(core.controller->volume(), 30);
    const auto volumes = core.terminal.CallsNamed("SetOption");
    QVERIFY(!volumes.empty());
    QCOMPARE(volumes.front().a, 5LL);
    QCOMPARE(volumes.front().b, 30LL);
    for (const auto& call : core.terminal.Calls())
        QCOMPARE(call.thread, core.events.thread());

    // Previous from the first entry wraps to the last.
    core.state.SetCurrentIndex(settings::kWatchKindTv, 0);
    ApplyMediaCommand(*core.controller, MediaCommand::kPrevious, 0);
    QCOMPARE(core.controller->pending_index(), 4);
    core.controller->timers().Stop(timer::kPendingChannel);
}

void MediaControlTest::PlayPauseHoldsLiveTvInTheTimeShiftCache() {
    CoreHarness core;
    HoldingExtensions time_shift;
    HoldLiveTv(core, time_shift);
    QVERIFY(core.Play(0));
    DataServiceRecorder recorder(*core.controller);
    MediaStatusReader reader(*core.controller, recorder);
    QCOMPARE(reader.Read().playback, PlaybackStatus::kPlaying);

    PostFromAnotherThread(core.events.window(), MediaCommand::kPlayPause);
    QVERIFY(CoreHarness::WaitFor([&] { return time_shift.paused; }));
    QCOMPARE(reader.Read().playback, PlaybackStatus::kPaused);
    QVERIFY2(core.terminal.CallsNamed("CloseURL").empty(), "the pause closed the service");
    // Pause while paused keeps it so; Play resumes behind live.
    ApplyMediaCommand(*core.controller, MediaCommand::kPause, 0);
    QVERIFY(time_shift.paused);
    ApplyMediaCommand(*core.controller, MediaCommand::kPlay, 0);
    QVERIFY(!time_shift.paused);
    QCOMPARE(reader.Read().playback, PlaybackStatus::kPlaying);
    // Play while playing changes nothing: no "time shift is off" text, no toggle.
    ApplyMediaCommand(*core.controller, MediaCommand::kPlay, 0);
    QVERIFY(!time_shift.paused);

    // A file pauses as Space or the Play button pause it (the live tune's messages handled first:
    // they would set the live URL again).
    core.DrainEvents();
    core.controller->menu().SetFeature(Feature::kFilePlayback, true);
    core.state.play_source = kPlaySourceFile;
    core.state.SetUrl("/videos/news.ts");
    ApplyMediaCommand(*core.controller, MediaCommand::kPlayPause, 0);
    QVERIFY(time_shift.paused);
    const MediaStatus file = reader.Read();
    QCOMPARE(file.playback, PlaybackStatus::kPaused);
    QCOMPARE(QString::fromStdString(file.title), QString("news.ts"));
    QVERIFY(core.terminal.CallsNamed("CloseURL").empty());
    core.controller->SetPlaybackExtensions(nullptr);
}

void MediaControlTest::PauseStopsWhatCannotBeHeldAndPlayTunesAgain() {
    CoreHarness core;
    core.FillChannels();
    core.state.SetWatchKind(settings::kWatchKindRadio);
    QVERIFY(core.Play(1));
    DataServiceRecorder recorder(*core.controller);
    MediaStatusReader reader(*core.controller, recorder);

    ApplyMediaCommand(*core.controller, MediaCommand::kPlayPause, 0);
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("CloseURL").empty(); }));
    QVERIFY(
        CoreHarness::WaitFor([&] { return reader.Read().playback == PlaybackStatus::kStopped; }));
    const size_t before = Connects(core);
    ApplyMediaCommand(*core.controller, MediaCommand::kPlayPause, 0);
    QVERIFY(CoreHarness::WaitFor([&] { return Connects(core) == before + 1; }));
    QCOMPARE(QString::fromStdString(core.terminal.CallsNamed("ConnectURL").back().text),
             QString("bbu://175280,1,0.mp2"));
    // Connecting counts as playing.
    QCOMPARE(reader.Read().playback, PlaybackStatus::kPlaying);

    // Live TV without time shift cannot be held either.
    core.controller->SwitchWatchKind(settings::kWatchKindTv);
    QVERIFY(CoreHarness::WaitFor([&] { return Connects(core) == before + 2; }));
    PostPlayerEvent(core.events.window(), WM_SYSTEM_FIRST_FRAME);
    QVERIFY(CoreHarness::WaitFor(
        [&] { return core.state.connection_state.load() == kConnectionPlaying; }));
    const size_t closes = core.terminal.CallsNamed("CloseURL").size();
    ApplyMediaCommand(*core.controller, MediaCommand::kPause, 0);
    QVERIFY(
        CoreHarness::WaitFor([&] { return core.terminal.CallsNamed("CloseURL").size() > closes; }));
}

void MediaControlTest::StatusFollowsTheChannelItsLabelAndSlide() {
    CoreHarness core;
    core.FillChannels();
    DataServiceRecorder recorder(*core.controller);
    core.controller->SetDataServiceDisplay(&recorder);
    MediaStatusReader reader(*core.controller, recorder);
    int changes = 0;
    core.controller->SetStatusObserver([&changes] { ++changes; });

    MediaStatus status = reader.Read();
    QCOMPARE(status.playback, PlaybackStatus::kStopped);
    QCOMPARE(QString::fromStdString(status.title), QString("TV 1"));
    QCOMPARE(QString::fromStdString(status.track), QString("tv/0"));
    QVERIFY(status.can_play && status.can_go_next && !status.can_pause);

    core.controller->SwitchWatchKind(settings::kWatchKindRadio);
    QVERIFY(core.Play(0));
    QVERIFY(changes > 0);
    // What the message window hands the display for the radio service.
    core.controller->data_service().SetRadioText("Now: the news");
    core.controller->data_service().ShowFile("/slides/0001.jpg");
    status = reader.Read();
    QCOMPARE(QString::fromStdString(status.title), QString("Radio A"));
    QCOMPARE(QString::fromStdString(status.track), QString("radio/0"));
    QCOMPARE(QString::fromStdString(status.artist), QString("Now: the news"));
    QCOMPARE(QString::fromStdString(status.art_file), QString("/slides/0001.jpg"));
    QVERIFY(status.can_pause);

    // The next service starts without the label and slide of the one before.
    QVERIFY(core.Play(1));
    status = reader.Read();
    QCOMPARE(QString::fromStdString(status.title), QString("Radio B"));
    QVERIFY(status.artist.empty());
    QVERIFY(status.art_file.empty());

    core.controller->SetVolume(40);
    QCOMPARE(reader.Read().volume, 40);
    core.controller->ToggleMute();
    QCOMPARE(reader.Read().volume, 0);
    // A volume from the desktop unmutes, as the slider does.
    ApplyMediaCommand(*core.controller, MediaCommand::kSetVolume, 40);
    QVERIFY(!core.controller->muted());
    QCOMPARE(reader.Read().volume, 40);
    core.controller->SetStatusObserver(nullptr);
    core.controller->SetDataServiceDisplay(nullptr);
}

void MediaControlTest::MediaKeysOfTheFocusedWindowAreTheSameCommands() {
    CoreHarness core;
    HoldingExtensions time_shift;
    HoldLiveTv(core, time_shift);
    QVERIFY(core.Play(0));

    // The single play/pause key of most keyboards arrives as Play: it toggles.
    QVERIFY(core.controller->OnKeyPress(Qt::Key_MediaPlay, false));
    QVERIFY(time_shift.paused);
    QVERIFY(core.controller->OnKeyPress(Qt::Key_MediaTogglePlayPause, false));
    QVERIFY(!time_shift.paused);
    QVERIFY(core.controller->OnKeyPress(Qt::Key_MediaNext, false));
    QCOMPARE(core.controller->pending_index(), 1);
    core.controller->timers().Stop(timer::kPendingChannel);
    QVERIFY(!core.controller->OnKeyPress(Qt::Key_A, false));
    QVERIFY(core.terminal.CallsNamed("CloseURL").empty());
    QVERIFY(core.controller->OnKeyPress(Qt::Key_MediaStop, false));
    QVERIFY(CoreHarness::WaitFor([&] { return !core.terminal.CallsNamed("CloseURL").empty(); }));
    core.controller->SetPlaybackExtensions(nullptr);
}

QTEST_MAIN(MediaControlTest)
#include "media_control_test.moc"
