// Scheduled recordings over the real core (event window thread, message window, controller,
// settings file) with the recording terminal: the reserved recording dialog's logic and window,
// and the schedule's timers. The wall clock is injected and moved by the test; the timers are
// driven by calling their handlers, never by waiting for them. Local time is UTC here.
#include <QtTest>
#include <cstdlib>
#include <fstream>

#include "m4systems/messages.h"
#include "player/core/playback_features.h"
#include "player/dialogs/reserved_recording.h"
#include "player/dialogs/reserved_recording_dialog.h"
#include "player/settings/reservation_time.h"
#include "player_fakes.h"

using koru::test::CoreHarness;
using namespace koru::player;
namespace settings = koru::settings;

namespace {

class FakeWallClock : public WallClock {
  public:
    WallTime Now() const override { return std::chrono::system_clock::from_time_t(now); }
    std::time_t now = 0;
};

// A moment in May 2030.
std::time_t May(int day, int hour, int minute, int second = 0) {
    return *settings::LocalMoment({2030, 5, day, hour, minute, second});
}

settings::CivilTime Civil(int day, int hour, int minute) {
    return settings::CivilTime{2030, 5, day, hour, minute, 0};
}

ReservationRequest Request(int kind, int channel, const settings::CivilTime& start,
                           const settings::CivilTime& end) {
    ReservationRequest request;
    request.kind = kind;
    request.channel = channel;
    request.start = start;
    request.end = end;
    return request;
}

settings::Reservation Stored(int32_t kind, int32_t index, const char* channel, std::time_t start,
                             std::time_t end) {
    settings::Reservation reservation;
    reservation.kind = kind;
    reservation.index = index;
    settings::SetFixedText(reservation.channel, channel);
    settings::SetFixedText(reservation.start, settings::ReservationTimeText(start));
    settings::SetFixedText(reservation.end, settings::ReservationTimeText(end));
    return reservation;
}

// The core with the playback features and the dialog's logic on a wall clock of the test's, at
// 20:30 on 17 May 2030; TV 1 .. TV 5 and Radio A, Radio B stored.
class Harness : public CoreHarness {
  public:
    Harness() {
        clock.now = May(17, 20, 30);
        for (auto folder : {settings::kCaptureFolder, settings::kVideoFolder,
                            settings::kAudioFolder, settings::kTimeshiftFolder}) {
            settings.set_path(folder,
                              (this->folder / settings::EM_XmlFile::kFolderNames[folder]).string());
        }
        state.SetLanguage(kLanguageEnglish);
        FillChannels();
        MakeFeatures();
    }
    ~Harness() {
        dialog.reset();
        features.reset();
    }

    // The playback features anew, as at a start of the player.
    void MakeFeatures() {
        dialog.reset();
        features.reset();
        PlaybackFeatures::Dependencies dependencies;
        dependencies.controller = controller.get();
        dependencies.message_window = message_window.get();
        dependencies.wall_clock = &clock;
        dependencies.clock = [this] { return LocalTimeAt(clock.Now()); };
        features = std::make_unique<PlaybackFeatures>(dependencies);
        dialog = std::make_unique<ReservedRecording>(*controller, features->schedule());
    }
    ReservationSchedule& schedule() { return features->schedule(); }
    void Store(const std::vector<settings::Reservation>& reservations) {
        state.WithStore([&](settings::ChannelStore& store) {
            store.reservations.fill({});
            for (size_t i = 0; i < reservations.size(); ++i)
                store.reservations[i] = reservations[i];
            store.reservation_count = static_cast<int>(reservations.size());
        });
    }
    std::vector<std::string> StoredStarts() const {
        std::vector<std::string> starts;
        state.WithStore([&](const settings::ChannelStore& store) {
            for (int i = 0; i < store.reservation_count; ++i)
                starts.emplace_back(settings::FixedText(store.reservations[i].start));
        });
        return starts;
    }
    int StartTimerMs() const { return controller->timers().Period(timer::kReservationStart); }
    void Fire(int id) { features->OnTimer(id); }
    void PlayLive(int watch_kind, int index) {
        state.SetWatchKind(watch_kind);
        state.tune_state = kTuneChosenFromList;
        message_window->timers().Stop(timer::kHideBanner);
        QVERIFY(Play(index));
        WaitForFirstFrameHandled();
    }
    size_t Count(const std::string& call) const { return terminal.CallsNamed(call).size(); }
    bool WaitForCall(const std::string& call, size_t count) {
        return WaitFor([&] { return Count(call) >= count; });
    }
    std::string LastConnect() const {
        const auto connects = terminal.CallsNamed("ConnectURL");
        return connects.empty() ? std::string() : connects.back().text;
    }
    std::string LastRecord() const {
        const auto starts = terminal.CallsNamed("StartRecord");
        return starts.empty() ? std::string() : starts.back().text;
    }
    // The first picture of what was tuned last arrived.
    void FirstFrame() {
        message_window->timers().Stop(timer::kHideBanner);
        PostPlayerEvent(events.window(), WM_SYSTEM_FIRST_FRAME);
        WaitForFirstFrameHandled();
    }
    // The event window marks the connection playing before the message window (this thread)
    // handles the picture, which starts the banner timer and then the schedule's part.
    void WaitForFirstFrameHandled() {
        QVERIFY(WaitFor([&] { return message_window->timers().IsActive(timer::kHideBanner); }));
    }
    // Lets a wrong tune reach the terminal, before checking that none came.
    void DrainQueues() { DrainEvents(); }

    FakeWallClock clock;
    std::unique_ptr<PlaybackFeatures> features;
    std::unique_ptr<ReservedRecording> dialog;
};

}  // namespace

class ReservationsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TimeTextsAndTheClockHook();
    void AdditionChecksInOrder();
    void TheTableIsSortedSavedAndLoadedBack();
    void TheHundredFirstIsRefused();
    void OpeningDropsPastRowsAndTheFirstInTableOrderIsArmed();
    void DeletingTheFirstRowArmsTheNext();
    void RadioReservationSwitchesTheListRecordsAndEnds();
    void TvReservationTunesAndRecordsAfterThePicture();
    void APlayingChannelRecordsAtOnceAndAPausedTimeShiftPlaysAgain();
    void ARunningRecordingPassesTheReservationOver();
    void AStartPassedAsleepBeginsLateAndSaysSo();
    void TheReservedChannelIsFoundByItsLabel();
    void DeletingAReservationWaitingForItsPictureGivesItUp();
    void TheWatchFollowsTheWallClock();
    void DialogControlsTextsAndKeys();
};

void ReservationsTest::TimeTextsAndTheClockHook() {
    QCOMPARE(QString::fromStdString(settings::ReservationTimeText(May(7, 9, 5))),
             QString("20300507-09:05"));
    QCOMPARE(settings::ParseReservationTime("20300507-09:05").value(), May(7, 9, 5));
    for (const char* bad : {"2030057-09:05", "2030a507-09:05", "20300230-09:05", "20300507-24:00",
                            "20301307-09:05", "20300507x09:05", ""}) {
        QVERIFY2(!settings::ParseReservationTime(bad), bad);
    }

    const auto hook = ParseWallClockHook("2030-05-17T14:10:00,10");
    QVERIFY(hook);
    QCOMPARE(hook->start, May(17, 14, 10));
    QCOMPARE(hook->rate, 10.0);
    QCOMPARE(ParseWallClockHook("2030-05-17 14:10:00")->rate, 1.0);
    for (const char* bad : {"", "tomorrow", "2030-05-17T14:10:00,0", "2030-05-17T14:10:00,x",
                            "2030-02-30T14:10:00"}) {
        QVERIFY2(!ParseWallClockHook(bad), bad);
    }
    QVERIFY(!ParseWallClockHook(nullptr));

    // Timer periods follow the clock's rate; a start a month ahead wakes the timer after a day.
    struct FastClock : FakeWallClock {
        double Rate() const override { return 10; }
    } fast;
    QCOMPARE(fast.TimerMs(120), 12000);
    FakeWallClock normal;
    QCOMPARE(normal.TimerMs(120), 120000);
    QCOMPARE(normal.TimerMs(30LL * 24 * 3600), 24 * 3600 * 1000);
    QCOMPARE(normal.TimerMs(-5), 0);
}

void ReservationsTest::AdditionChecksInOrder() {
    Harness h;
    h.dialog->Open();
    const int radio = kReserveKindRadio;
    auto add = [&](int channel, settings::CivilTime start, settings::CivilTime end) {
        return QString::fromStdString(h.dialog->Add(Request(radio, channel, start, end)));
    };
    QCOMPARE(add(-1, Civil(17, 21, 0), Civil(17, 22, 0)), QString("Please, select the channel"));
    QVERIFY(h.state.message_box_flag);
    h.dialog->Close();
    QVERIFY(!h.state.message_box_flag);
    // Now is 20:30:00: a start at 20:30 is not later than now.
    QCOMPARE(add(1, Civil(17, 20, 30), Civil(17, 22, 0)),
             QString("The time for recording start is before the current time"));
    QCOMPARE(add(1, Civil(17, 21, 0), Civil(17, 21, 0)),
             QString("Please check your request for the time of recording start"));
    QCOMPARE(add(1, Civil(17, 21, 0), Civil(18, 6, 0)),
             QString("Recording time should be below 8 hours"));
    QVERIFY(h.dialog->rows().empty());

    // 21:00 to 05:30 of the next day: 8 h 30 min, accepted.
    QCOMPARE(add(1, Civil(17, 21, 0), Civil(18, 5, 30)), QString());
    QCOMPARE(h.dialog->rows().size(), size_t{1});
    QCOMPARE(h.dialog->rows()[0],
             (ReservationRow{"20300517-21:00", "20300518-05:30", "Radio B", "Radio", "1"}));
    // Starting at the listed end overlaps; the message names the listed row.
    QCOMPARE(add(0, Civil(18, 5, 30), Civil(18, 7, 0)),
             QString("20300517-21:00 ~ 20300518-05:30 The time for preengagement is already "
                     "established.\nPlease reestablished it."));
    QCOMPARE(add(0, Civil(17, 20, 45), Civil(17, 21, 0)).left(14), QString("20300517-21:00"));
    // 8 h 59 min is accepted.
    QCOMPARE(add(0, Civil(19, 10, 0), Civil(19, 18, 59)), QString());
    // 10:00 to 14:00 around a listed 11:00 to 12:00 is accepted.
    QCOMPARE(add(1, Civil(20, 11, 0), Civil(20, 12, 0)), QString());
    QCOMPARE(add(1, Civil(20, 10, 0), Civil(20, 14, 0)), QString());
    QCOMPARE(h.dialog->rows().size(), size_t{4});

    // The refusals in Korean.
    h.state.SetLanguage(kLanguageKorean);
    QCOMPARE(add(1, Civil(17, 21, 0), Civil(18, 6, 0)),
             QString("녹화 시간은 8시간 이하로 설정 해 주세요."));
    QCOMPARE(add(1, Civil(20, 11, 30), Civil(20, 15, 0)),
             QString("20300520-10:00 ~ 20300520-14:00 예약 시간이 설정되어 있습니다.\n다시 "
                     "예약시간을 설정하세요."));
}

void ReservationsTest::TheTableIsSortedSavedAndLoadedBack() {
    Harness h;
    h.dialog->Open();
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 2, Civil(19, 8, 0), Civil(19, 9, 0))),
             std::string());
    QCOMPARE(h.dialog->Add(Request(kReserveKindRadio, 0, Civil(18, 8, 0), Civil(18, 9, 0))),
             std::string());
    // The rows and the table go by start.
    QCOMPARE(h.dialog->rows()[0].channel, std::string("Radio A"));
    QCOMPARE(h.StoredStarts(), (std::vector<std::string>{"20300518-08:00", "20300519-08:00"}));

    // The file holds them at once, and a player that starts again arms them.
    settings::ChannelStore loaded;
    settings::EM_XmlFile file(loaded, (h.folder / "channel.xml").string());
    QVERIFY(file.LoadSettings());
    QCOMPARE(loaded.reservation_count, 2);
    QCOMPARE(settings::FixedText(loaded.reservations[0].channel), std::string_view("Radio A"));
    QCOMPARE(loaded.reservations[0].kind, settings::kReservationKindRadio);
    QCOMPARE(loaded.reservations[1].kind, settings::kReservationKindTv);
    QCOMPARE(loaded.reservations[1].index, 2);
    QCOMPARE(settings::FixedText(loaded.reservations[1].end), std::string_view("20300519-09:00"));
    h.controller->timers().Stop(timer::kReservationStart);
    h.MakeFeatures();
    QCOMPARE(h.schedule().armed()->start_text, std::string("20300518-08:00"));
    QCOMPARE(h.StartTimerMs(), static_cast<int>((May(18, 8, 0) - h.clock.now) * 1000));
}

void ReservationsTest::TheHundredFirstIsRefused() {
    Harness h;
    std::vector<settings::Reservation> hundred;
    for (int i = 0; i < settings::kMaxReservations; ++i) {
        const std::time_t start = May(18, 0, 0) + i * 3600;
        hundred.push_back(Stored(0, 0, "TV 1", start, start + 1800));
    }
    h.Store(hundred);
    h.dialog->Open();
    QCOMPARE(h.dialog->rows().size(), size_t{100});
    const ReservationRequest more = Request(kReserveKindTv, 0, Civil(30, 10, 0), Civil(30, 11, 0));
    QCOMPARE(QString::fromStdString(h.dialog->Add(more)),
             QString("No more than 100 recordings can be reserved.\nPlease delete a reservation "
                     "first."));
    h.state.SetLanguage(kLanguageKorean);
    QCOMPARE(QString::fromStdString(h.dialog->Add(more)),
             QString("예약 녹화는 100개까지 설정할 수 있습니다.\n다른 예약을 먼저 삭제하세요."));
    QCOMPARE(h.StoredStarts().size(), size_t{100});
    // With one deleted there is room again.
    h.dialog->Delete({99});
    QCOMPARE(h.dialog->Add(more), std::string());
    QCOMPARE(h.StoredStarts().size(), size_t{100});
}

void ReservationsTest::OpeningDropsPastRowsAndTheFirstInTableOrderIsArmed() {
    Harness h;
    // Out of order, as a file may hold them: the first ahead in table order is armed even
    // though the second starts earlier.
    h.Store({Stored(0, 1, "TV 2", May(17, 19, 0), May(17, 20, 0)),
             Stored(0, 0, "TV 1", May(17, 23, 0), May(17, 23, 30)),
             Stored(1, 0, "Radio A", May(17, 21, 0), May(17, 21, 30))});
    h.schedule().Arm();
    QCOMPARE(h.schedule().armed()->channel, std::string("TV 1"));
    QCOMPARE(h.StartTimerMs(), 150 * 60 * 1000);

    // Opening drops the past row, sorts the rest and arms the earliest.
    h.dialog->Open();
    QCOMPARE(h.dialog->rows().size(), size_t{2});
    QCOMPARE(h.StoredStarts(), (std::vector<std::string>{"20300517-21:00", "20300517-23:00"}));
    QCOMPARE(h.schedule().armed()->channel, std::string("Radio A"));
    QCOMPARE(h.StartTimerMs(), 30 * 60 * 1000);
}

void ReservationsTest::DeletingTheFirstRowArmsTheNext() {
    Harness h;
    h.dialog->Open();
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 0, Civil(17, 21, 0), Civil(17, 21, 30))),
             std::string());
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 1, Civil(17, 22, 0), Civil(17, 22, 30))),
             std::string());
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 2, Civil(17, 23, 0), Civil(17, 23, 30))),
             std::string());
    QCOMPARE(h.StartTimerMs(), 30 * 60 * 1000);
    // A row other than the first leaves the timer as it is.
    h.dialog->Delete({2});
    QCOMPARE(h.schedule().armed()->channel, std::string("TV 1"));
    h.dialog->Delete({0});
    QCOMPARE(h.schedule().armed()->channel, std::string("TV 2"));
    QCOMPARE(h.StartTimerMs(), 90 * 60 * 1000);
    h.dialog->Delete({0});
    QVERIFY(!h.schedule().armed());
    QVERIFY(!h.controller->timers().IsActive(timer::kReservationStart));
    QVERIFY(!h.controller->timers().IsActive(timer::kReservationWatch));
}

void ReservationsTest::RadioReservationSwitchesTheListRecordsAndEnds() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.dialog->Open();
    QCOMPARE(h.dialog->Add(Request(kReserveKindRadio, 1, Civil(17, 21, 0), Civil(17, 21, 5))),
             std::string());
    const size_t connects = h.Count("ConnectURL");
    h.clock.now = May(17, 21, 0);
    h.Fire(timer::kReservationStart);
    QCOMPARE(h.state.WatchKind(), settings::kWatchKindRadio);
    QCOMPARE(h.state.layout.load(), kLayoutAudio);
    QVERIFY(h.features->recording().pending());
    QCOMPARE(h.controller->timers().Period(timer::kReservationEnd), 5 * 60 * 1000);
    QVERIFY(h.WaitForCall("ConnectURL", connects + 1));
    QCOMPARE(h.LastConnect(), std::string("bbu://175280,1,0.mp2"));
    QCOMPARE(h.Count("StartRecord"), size_t{0});

    // Radio records on its first picture.
    h.FirstFrame();
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
    QCOMPARE(QString::fromStdString(h.LastRecord()),
             QString::fromStdString(h.settings.path(settings::kAudioFolder) +
                                    "/Radio B 5-17 21H 0M 0S.mp2"));
    QCOMPARE(h.controller->message_line(2), std::string("Preengagement of record"));
    QVERIFY(!h.features->recording().pending());

    // The end timer stops the recording; the radio plays on.
    h.clock.now = May(17, 21, 5);
    h.Fire(timer::kReservationEnd);
    QVERIFY(h.WaitForCall("StopRecord", 1));
    QVERIFY(h.WaitFor([&] { return !h.state.Recording(); }));
    QVERIFY(!h.schedule().running());
    QCOMPARE(h.Count("CloseURL"), size_t{1});  // the switch from TV, not the end
}

void ReservationsTest::TvReservationTunesAndRecordsAfterThePicture() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.dialog->Open();
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 2, Civil(17, 21, 0), Civil(17, 22, 0))),
             std::string());
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 3, Civil(17, 23, 0), Civil(17, 23, 10))),
             std::string());
    const size_t connects = h.Count("ConnectURL");
    h.clock.now = May(17, 21, 0, 1);
    h.Fire(timer::kReservationStart);
    QVERIFY(h.WaitForCall("ConnectURL", connects + 1));
    QCOMPARE(h.LastConnect(), std::string("bbu://208736,2,0.ts"));
    QCOMPARE(h.state.WatchKind(), settings::kWatchKindTv);
    // Waiting for the picture, the next reservation is not armed yet.
    QVERIFY(!h.controller->timers().IsActive(timer::kReservationStart));
    h.FirstFrame();
    QCOMPARE(h.controller->timers().Period(timer::kDelayedRecording), 2000);
    QCOMPARE(h.Count("StartRecord"), size_t{0});
    h.Fire(timer::kDelayedRecording);
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
    QCOMPARE(QString::fromStdString(h.LastRecord()),
             QString::fromStdString(h.settings.path(settings::kVideoFolder) +
                                    "/TV 3 5-17 21H 0M 1S.ts"));
    // Recording, the next one is armed again.
    h.Fire(timer::kReservationWatch);
    QCOMPARE(h.schedule().armed()->channel, std::string("TV 4"));
    QVERIFY(h.controller->timers().IsActive(timer::kReservationStart));

    // The user stops the reserved recording: the end timer goes, the next stays armed.
    h.controller->Stop();
    QVERIFY(h.WaitFor([&] { return !h.state.Recording() && !h.schedule().running(); }));
    QVERIFY(!h.controller->timers().IsActive(timer::kReservationEnd));
    QCOMPARE(h.schedule().armed()->channel, std::string("TV 4"));
    QCOMPARE(h.StartTimerMs(), static_cast<int>((May(17, 23, 0) - h.clock.now) * 1000));
}

void ReservationsTest::APlayingChannelRecordsAtOnceAndAPausedTimeShiftPlaysAgain() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 1);
    h.Store({Stored(0, 1, "TV 2", May(17, 21, 0), May(17, 21, 10)),
             Stored(0, 1, "TV 2", May(17, 22, 0), May(17, 22, 10))});
    h.schedule().Arm();
    const size_t connects = h.Count("ConnectURL");
    h.clock.now = May(17, 21, 0);
    h.Fire(timer::kReservationStart);
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
    QCOMPARE(h.Count("ConnectURL"), connects);
    h.clock.now = May(17, 21, 10);
    h.Fire(timer::kReservationEnd);
    QVERIFY(h.WaitFor([&] { return !h.state.Recording(); }));

    // Paused in time shift: stop, play again 500 ms later, record after the picture.
    h.controller->set_timeshift_ready(true);
    h.controller->Play();
    QVERIFY(h.features->time_shift().paused());
    h.controller->timers().Stop(timer::kTimeShiftCounter);
    h.clock.now = May(17, 22, 0);
    h.Fire(timer::kReservationStart);
    QVERIFY(h.WaitForCall("CloseURL", 1));
    QVERIFY(!h.features->time_shift().paused());
    QCOMPARE(h.controller->timers().Period(timer::kReservationReplay), 500);
    h.Fire(timer::kReservationReplay);
    QVERIFY(h.WaitForCall("ConnectURL", connects + 1));
    QCOMPARE(h.LastConnect(), std::string("bbu://208736,1,0.ts"));
    h.FirstFrame();
    h.Fire(timer::kDelayedRecording);
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
}

void ReservationsTest::ARunningRecordingPassesTheReservationOver() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.Store({Stored(1, 0, "Radio A", May(17, 21, 0), May(17, 21, 10)),
             Stored(1, 1, "Radio B", May(17, 22, 0), May(17, 22, 10))});
    h.schedule().Arm();
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
    h.clock.now = May(17, 21, 0);
    h.Fire(timer::kReservationStart);
    QCOMPARE(h.state.WatchKind(), settings::kWatchKindTv);
    QVERIFY(!h.schedule().running());
    QCOMPARE(h.schedule().armed()->channel, std::string("Radio B"));
    // Nor is it begun late once the user's recording ends.
    h.controller->Stop();
    QVERIFY(h.WaitFor([&] { return !h.state.Recording(); }));
    h.clock.now = May(17, 21, 2);
    h.Fire(timer::kReservationWatch);
    QVERIFY(!h.schedule().running());
    QCOMPARE(h.state.WatchKind(), settings::kWatchKindTv);
}

void ReservationsTest::AStartPassedAsleepBeginsLateAndSaysSo() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.Store({Stored(1, 0, "Radio A", May(17, 19, 0), May(17, 19, 30)),
             Stored(1, 1, "Radio B", May(17, 21, 0), May(17, 22, 0))});
    h.schedule().Arm();
    QCOMPARE(h.schedule().armed()->channel, std::string("Radio B"));
    // The machine slept from 20:30 to 21:20: its timers stood still. The watch's next tick
    // begins the reservation for what is left of it and says so; the one whose end had passed
    // is not begun.
    h.clock.now = May(17, 21, 20);
    h.Fire(timer::kReservationWatch);
    QVERIFY(h.schedule().running());
    QCOMPARE(h.schedule().running()->channel, std::string("Radio B"));
    QCOMPARE(h.controller->timers().Period(timer::kReservationEnd), 40 * 60 * 1000);
    QCOMPARE(h.state.WatchKind(), settings::kWatchKindRadio);
    QCOMPARE(h.view.error_boxes.size(), size_t{1});
    QCOMPARE(QString::fromStdString(h.view.error_boxes[0]),
             QString("The reserved recording of Radio B (20300517-21:00 ~ 20300517-22:00) "
                     "started late, at 21:20.\nThe computer was off or asleep at its start, or "
                     "its clock was changed."));
    QVERIFY(h.WaitForCall("ConnectURL", 2));
    h.FirstFrame();
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));

    // A player started again within a reservation begins it late too (once).
    h.controller->Stop();
    QVERIFY(h.WaitFor([&] { return !h.state.Recording(); }));
    h.MakeFeatures();
    h.Fire(timer::kReservationWatch);
    QVERIFY(h.schedule().running());
    QCOMPARE(h.view.error_boxes.size(), size_t{2});
    QCOMPARE(QString::fromStdString(h.view.error_boxes[1]).left(12), QString("The reserved"));
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
    h.controller->Stop();
    QVERIFY(h.WaitFor([&] { return !h.state.Recording(); }));
    // Just after its start it is not late: no message.
    h.Store({Stored(0, 0, "TV 1", May(17, 23, 0), May(17, 23, 30))});
    h.MakeFeatures();
    h.clock.now = May(17, 23, 0, 30);
    h.Fire(timer::kReservationWatch);
    QVERIFY(h.schedule().running());
    QCOMPARE(h.view.error_boxes.size(), size_t{2});
}

void ReservationsTest::TheReservedChannelIsFoundByItsLabel() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    // A search since moved TV 3 to the first place; the channel of the second is gone.
    h.Store({Stored(0, 0, "TV 3", May(17, 21, 0), May(17, 21, 10)),
             Stored(0, 1, "Old TV", May(17, 22, 0), May(17, 22, 10)),
             Stored(0, 1, "TV 4", May(17, 23, 0), May(17, 23, 10))});
    h.schedule().Arm();
    const size_t connects = h.Count("ConnectURL");
    h.clock.now = May(17, 21, 0);
    h.Fire(timer::kReservationStart);
    QVERIFY(h.WaitForCall("ConnectURL", connects + 1));
    QCOMPARE(h.LastConnect(), std::string("bbu://208736,2,0.ts"));
    h.FirstFrame();
    h.Fire(timer::kDelayedRecording);
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
    QVERIFY(h.LastRecord().find("/TV 3 ") != std::string::npos);
    h.clock.now = May(17, 21, 10);
    h.Fire(timer::kReservationEnd);
    QVERIFY(h.WaitFor([&] { return !h.state.Recording(); }));

    // Not stored any more: said, nothing tuned or recorded, the next one armed.
    h.clock.now = May(17, 22, 0);
    h.Fire(timer::kReservationStart);
    QVERIFY(!h.schedule().running());
    QVERIFY(!h.features->recording().pending());
    QCOMPARE(h.view.error_boxes.size(), size_t{1});
    QCOMPARE(QString::fromStdString(h.view.error_boxes[0]),
             QString("The reserved recording of Old TV (20300517-22:00 ~ 20300517-22:10) was "
                     "not made.\nThe channel is no longer in the channel list since a channel "
                     "search."));
    QCOMPARE(h.schedule().armed()->channel, std::string("TV 4"));
    h.DrainQueues();
    QCOMPARE(h.Count("ConnectURL"), connects + 1);
    // Nor is it begun later by the watch.
    h.clock.now = May(17, 22, 1);
    h.Fire(timer::kReservationWatch);
    QVERIFY(!h.schedule().running());
    QCOMPARE(h.view.error_boxes.size(), size_t{1});
}

void ReservationsTest::DeletingAReservationWaitingForItsPictureGivesItUp() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.dialog->Open();
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 2, Civil(17, 21, 0), Civil(17, 21, 30))),
             std::string());
    QCOMPARE(h.dialog->Add(Request(kReserveKindTv, 3, Civil(17, 22, 0), Civil(17, 22, 30))),
             std::string());
    h.clock.now = May(17, 21, 0);
    h.Fire(timer::kReservationStart);
    QVERIFY(h.schedule().running());
    // The dialog, still open, deletes its second row: the one under way keeps its mark.
    h.dialog->Delete({1});
    QVERIFY(h.features->recording().pending());
    QVERIFY(h.controller->timers().IsActive(timer::kReservationEnd));
    // Its own row: given up before its picture came; its end timer goes with it.
    h.dialog->Delete({0});
    QVERIFY(!h.features->recording().pending());
    QVERIFY(!h.schedule().running());
    QVERIFY(!h.controller->timers().IsActive(timer::kReservationEnd));
    h.FirstFrame();
    QVERIFY(!h.controller->timers().IsActive(timer::kDelayedRecording));
    // A recording the user starts is not ended at the deleted reservation's end.
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.state.Recording(); }));
    h.clock.now = May(17, 21, 30);
    h.Fire(timer::kReservationWatch);
    QVERIFY(h.state.Recording());
    QCOMPARE(h.Count("StopRecord"), size_t{0});
}

void ReservationsTest::TheWatchFollowsTheWallClock() {
    Harness h;
    h.Store({Stored(0, 0, "TV 1", May(17, 22, 0), May(17, 22, 30))});
    h.schedule().Arm();
    QCOMPARE(h.StartTimerMs(), 90 * 60 * 1000);
    QCOMPARE(h.controller->timers().Period(timer::kReservationWatch),
             kReservationWatchSeconds * 1000);
    // The clock was put back an hour: armed again from it; a timer that fires early begins
    // nothing.
    h.clock.now = May(17, 19, 30);
    h.Fire(timer::kReservationWatch);
    QCOMPARE(h.StartTimerMs(), 150 * 60 * 1000);
    h.Fire(timer::kReservationStart);
    QVERIFY(!h.schedule().running());
    QCOMPARE(h.StartTimerMs(), 150 * 60 * 1000);
    // Running, the end follows the clock as well.
    h.clock.now = May(17, 22, 0);
    h.Fire(timer::kReservationStart);
    QVERIFY(h.schedule().running());
    QCOMPARE(h.controller->timers().Period(timer::kReservationEnd), 30 * 60 * 1000);
    h.clock.now = May(17, 22, 20);
    h.Fire(timer::kReservationWatch);
    QCOMPARE(h.controller->timers().Period(timer::kReservationEnd), 10 * 60 * 1000);
    h.clock.now = May(17, 22, 31);
    h.Fire(timer::kReservationWatch);
    QVERIFY(!h.schedule().running());
    QVERIFY(!h.features->recording().pending());
    // The search's question clears the table: the watch stops with it.
    h.state.WithStore([](settings::ChannelStore& store) { store.reservation_count = 0; });
    h.Fire(timer::kReservationWatch);
    QVERIFY(!h.controller->timers().IsActive(timer::kReservationWatch));
}

void ReservationsTest::DialogControlsTextsAndKeys() {
    Harness h;
    h.Store({Stored(1, 1, "Radio B", May(17, 21, 0), May(17, 22, 0))});
    h.state.SetCurrentIndex(settings::kWatchKindTv, 3);
    std::vector<QString> boxes;
    auto box = [&](QWidget*, const QString& text) { boxes.push_back(text); };
    for (int language : {kLanguageEnglish, kLanguageKorean}) {
        h.state.SetLanguage(language);
        ReservedRecordingDlg dialog(nullptr, *h.controller, *h.dialog, box);
        const bool english = language == kLanguageEnglish;
        QCOMPARE(dialog.windowTitle(), QString(english ? "Preengagement of record" : "예약 녹화"));
        QCOMPARE(dialog.Control<QPushButton>(control::kReserveAdd)->text(),
                 QString(english ? "Addition" : "추가"));
        QCOMPARE(dialog.Control<QPushButton>(control::kReserveDelete)->text(),
                 QString(english ? "Delelete" : "삭제"));
        QCOMPARE(dialog.Control<QPushButton>(control::kReserveClose)->text(), QString("닫기"));
        QCOMPARE(dialog.list()->horizontalHeaderItem(2)->text(),
                 QString(english ? "Name of channel" : "채널 이름"));
        for (int column = 0; column < 5; ++column)
            QCOMPARE(dialog.list()->columnWidth(column), kReserveColumnWidths[column]);
    }
    h.state.SetLanguage(kLanguageEnglish);
    ReservedRecordingDlg dialog(nullptr, *h.controller, *h.dialog, box);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // TV first, on the current TV channel; the clock's hour and minute and today.
    auto* channel = dialog.Control<QComboBox>(control::kReserveChannel);
    QVERIFY(dialog.Control<QRadioButton>(control::kReserveTv)->isChecked());
    QCOMPARE(channel->count(), 5);
    QCOMPARE(channel->currentText(), QString("TV 4"));
    QCOMPARE(dialog.Control<QComboBox>(control::kReserveStartHour)->currentText(), QString("20"));
    QCOMPARE(dialog.Control<QComboBox>(control::kReserveEndMinute)->currentText(), QString("30"));
    QCOMPARE(dialog.Control<QDateEdit>(control::kReserveStartDate)->date(), QDate(2030, 5, 17));
    QCOMPARE(dialog.list()->rowCount(), 1);
    QCOMPARE(dialog.list()->item(0, 2)->text(), QString("Radio B"));
    QCOMPARE(dialog.list()->item(0, 3)->text(), QString("Radio"));
    // The time texts fit their 106 pixels.
    QVERIFY(
        QFontMetrics(dialog.list()->font()).horizontalAdvance(dialog.list()->item(0, 0)->text()) <
        kReserveColumnWidths[0] - 4);

    // Radio: its list; a refused request shows its message and adds nothing.
    dialog.Control<QRadioButton>(control::kReserveRadio)->click();
    QCOMPARE(channel->count(), 2);
    dialog.Control<QPushButton>(control::kReserveAdd)->click();
    QCOMPARE(boxes.size(), size_t{1});
    QCOMPARE(boxes[0], QString("The time for recording start is before the current time"));
    dialog.Control<QComboBox>(control::kReserveStartMinute)->setCurrentIndex(32);
    dialog.Control<QComboBox>(control::kReserveEndMinute)->setCurrentIndex(45);
    dialog.Control<QPushButton>(control::kReserveAdd)->click();
    QCOMPARE(boxes.size(), size_t{1});
    QCOMPARE(dialog.list()->rowCount(), 2);
    QCOMPARE(dialog.list()->item(0, 0)->text(), QString("20300517-20:32"));
    QCOMPARE(dialog.list()->item(0, 2)->text(), QString("Radio A"));
    QCOMPARE(h.schedule().armed()->start_text, std::string("20300517-20:32"));

    // Delelete of the selected (first) row: the next one is armed.
    dialog.list()->selectRow(0);
    dialog.Control<QPushButton>(control::kReserveDelete)->click();
    QCOMPARE(dialog.list()->rowCount(), 1);
    QCOMPARE(h.schedule().armed()->channel, std::string("Radio B"));

    // An Enter whose press closed a message box does not end the dialog; Enter does.
    QTest::keyRelease(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    h.state.message_box_flag = true;
    QTest::keyPress(&dialog, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QTest::keyRelease(&dialog, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QVERIFY(h.state.message_box_flag);  // Enter leaves it; Close clears it
    dialog.show();
    dialog.Control<QPushButton>(control::kReserveClose)->click();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!h.state.message_box_flag);
}

QTEST_MAIN(ReservationsTest)
#include "reservations_test.moc"
