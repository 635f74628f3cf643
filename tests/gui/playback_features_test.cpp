// Recording, time shift, capture and file playback over the real core (event window thread,
// message window, controller, settings) with the recording terminal. The clock of the file
// names is injected; the time-shift counter and the file progress are driven by calling their
// timers' handlers, never by waiting for them.
#include <QMimeData>
#include <QtTest>

#include "m4systems/messages.h"
#include "player/core/playback_features.h"
#include "player/core/velmar_player_dlg.h"
#include "player/skin/jpeg_file.h"
#include "player_fakes.h"
#include "support/environment.h"

using koru::test::CoreHarness;
using namespace koru::player;
namespace settings = koru::settings;

namespace {

// 14:05:09.007 on 3 March.
LocalTime ThirdOfMarch() {
    LocalTime time;
    time.month = 3;
    time.day = 3;
    time.hour = 14;
    time.minute = 5;
    time.second = 9;
    time.millisecond = 7;
    return time;
}

// The core with the playback features, working folders in the test's folder, TV 1 .. TV 5 and
// two radio channels stored.
class Harness : public CoreHarness {
  public:
    Harness() {
        for (auto folder : {settings::kCaptureFolder, settings::kVideoFolder,
                            settings::kAudioFolder, settings::kTimeshiftFolder}) {
            settings.set_path(folder,
                              (this->folder / settings::EM_XmlFile::kFolderNames[folder]).string());
        }
        settings.SetMessageCallback([this](const std::string&, const std::string& text) {
            view.error_boxes.push_back(text);
        });
        PlaybackFeatures::Dependencies dependencies;
        dependencies.controller = controller.get();
        dependencies.message_window = message_window.get();
        dependencies.clock = [] { return ThirdOfMarch(); };
        dependencies.choose_files = [this] { return chosen_files; };
        features = std::make_unique<PlaybackFeatures>(dependencies);
        state.SetLanguage(kLanguageEnglish);
        FillChannels();
        state.SetUrl("");
    }
    ~Harness() { features.reset(); }

    std::string Folder(settings::WorkingFolderIndex index) const { return settings.path(index); }
    // The list plays channel index (its first picture has come).
    void PlayLive(int watch_kind, int index) {
        state.SetWatchKind(watch_kind);
        state.tune_state = kTuneChosenFromList;  // a change of list tunes again
        QVERIFY(Play(index));
        DrainEvents();
    }
    bool Recording() const { return state.Recording(); }
    size_t Count(const std::string& call) const { return terminal.CallsNamed(call).size(); }
    bool WaitForCall(const std::string& call, size_t count = 1) {
        return WaitFor([&] { return Count(call) >= count; });
    }
    // The last SetOption 22 (pause) value the terminal got, or -1.
    long long LastPause() const {
        long long value = -1;
        for (const auto& call : terminal.CallsNamed("SetOption")) {
            if (call.a == M4T_OPTION_PAUSE) value = call.b;
        }
        return value;
    }

    std::vector<std::string> chosen_files;
    std::unique_ptr<PlaybackFeatures> features;
};

}  // namespace

class PlaybackFeaturesTest : public QObject {
    Q_OBJECT

  private slots:
    void RecordingNamesInBothLanguages();
    void RecordingStartsAndEndsThroughTheTerminal();
    void ASplitRecordingIsReportedOnceAtStop();
    void TheSplitReportKeepsItsBound();
    void TerminalReportsEndTheRecording();
    void NoRecordingStateWithoutAFile();
    void StopExitChannelChangeAndOpenAskFirst();
    void TimeShiftStopsAtItsLimitAndResumes();
    void TimeShiftDelayIsKeptUntilAReset();
    void TimeShiftRefusalsAndTheOffText();
    void CaptureWritesTheJpeg();
    void FilesPlayWithProgressSeekAndEnd();
    void AFileThatCannotPlayIsReported();
    void NoFileOpensDuringASearch();
    void FilePauseAndLayoutBackToLive();
    void WindowDropsBlinksAndSeeks();
};

void PlaybackFeaturesTest::RecordingNamesInBothLanguages() {
    const LocalTime time = ThirdOfMarch();
    QCOMPARE(QString::fromStdString(RecordingBaseName("/v", "KORU TV 1", time, kLanguageEnglish)),
             QString("/v/KORU TV 1 3-3 14H 5M 9S"));
    QCOMPARE(QString::fromStdString(RecordingBaseName("/v", "KORU TV 1", time, kLanguageKorean)),
             QString("/v/KORU TV 1 3월3일14시5분9초"));
    QCOMPARE(QString::fromStdString(CaptureFileName("/c", "KORU TV 1", time)),
             QString("/c/KORU TV 1 3월3일14시5분9초007.jpg"));
    // A label from the air never leads out of the folder.
    QCOMPARE(QString::fromStdString(FileNameText("  News/../Sport  ")), QString("News_.._Sport"));
    QCOMPARE(QString::fromStdString(FileNameText("   ")), QString(""));
    QCOMPARE(SplitFileName("/a/b.c/Rec 1.TS").name, std::string("Rec 1.TS"));
    QCOMPARE(SplitFileName("/a/b.c/Rec 1.TS").extension, std::string("TS"));
    QCOMPARE(SplitFileName("/a/b.c/noext").extension, std::string(""));
}

void PlaybackFeaturesTest::RecordingStartsAndEndsThroughTheTerminal() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.controller->OnKeyRelease(Qt::Key_R, false);
    QCOMPARE(h.controller->message_line(2), std::string("Recording"));
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    const auto starts = h.terminal.CallsNamed("StartRecord");
    QCOMPARE(starts.size(), size_t{1});
    QCOMPARE(QString::fromStdString(starts[0].text),
             QString::fromStdString(h.Folder(settings::kVideoFolder) + "/TV 1 3-3 14H 5M 9S.ts"));
    QVERIFY2(starts[0].thread != QThread::currentThread(),
             "the terminal was called off its thread");
    QVERIFY(std::filesystem::is_directory(h.Folder(settings::kVideoFolder)));
    QCOMPARE(h.state.recording_kind.load(), kRecordKindTv);
    QVERIFY(!h.controller->menu().IsEnabled(command::kChannelUp));
    QVERIFY(h.controller->menu().IsChecked(command::kRecord));
    QVERIFY(h.message_window->timers().IsActive(timer::kRecordMarkOff));
    // A second Record does not start another file.
    h.features->RecordCommand();
    h.DrainEvents();
    QCOMPARE(h.Count("StartRecord"), size_t{1});

    // Stop ends only the recording; the next Stop ends playback.
    h.controller->Stop();
    QVERIFY(h.WaitForCall("StopRecord"));
    QVERIFY(!h.Recording());
    QVERIFY(!h.message_window->timers().IsActive(timer::kRecordMarkOff));
    QVERIFY(!h.message_window->timers().IsActive(timer::kRecordMarkOn));
    QVERIFY(h.controller->menu().IsEnabled(command::kChannelUp));
    QCOMPARE(h.Count("CloseURL"), size_t{0});
    h.controller->Stop();
    QVERIFY(h.WaitForCall("CloseURL"));

    // Radio in Korean: the radio folder, ".mp2".
    h.state.SetLanguage(kLanguageKorean);
    h.PlayLive(settings::kWatchKindRadio, 1);
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    QCOMPARE(
        QString::fromStdString(h.terminal.CallsNamed("StartRecord").back().text),
        QString::fromStdString(h.Folder(settings::kAudioFolder) + "/Radio B 3월3일14시5분9초.mp2"));
    QCOMPARE(h.state.recording_kind.load(), kRecordKindRadio);

    // DAB+ radio: the terminal records MPEG-4 audio, and the file is named so.
    h.controller->Stop();
    QVERIFY(h.WaitFor([&] { return !h.Recording(); }));
    h.terminal.record_extension = "m4a";
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    QCOMPARE(
        QString::fromStdString(h.terminal.CallsNamed("StartRecord").back().text),
        QString::fromStdString(h.Folder(settings::kAudioFolder) + "/Radio B 3월3일14시5분9초.m4a"));
}

void PlaybackFeaturesTest::ASplitRecordingIsReportedOnceAtStop() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 2);
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    PostPlayerEvent(h.events.window(), WM_SYSTEM_RECORD_SPLIT, 1);
    PostPlayerEvent(h.events.window(), WM_SYSTEM_RECORD_SPLIT, 2);
    QVERIFY(h.WaitFor([&] { return h.features->recording().splits() == 2; }));
    h.controller->Stop();
    QVERIFY(h.WaitForCall("StopRecord"));
    QCOMPARE(h.view.error_boxes.size(), size_t{1});
    const std::string base = h.Folder(settings::kVideoFolder) + "/TV 3 3-3 14H 5M 9S";
    QCOMPARE(QString::fromStdString(h.view.error_boxes[0]),
             QString::fromStdString("Recoding files are saved seperatedly.\n\n" + base + "\n\n" +
                                    base + "-1.ts\n\n" + base +
                                    "-2.ts\n\nThe file was devided due to the discord of time "
                                    "information."));
    // The count starts again: the next recording's stop reports nothing, and a split that
    // arrives after the stop is not counted.
    PostPlayerEvent(h.events.window(), WM_SYSTEM_RECORD_SPLIT, 3);
    h.DrainEvents();
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    h.controller->Stop();
    QVERIFY(h.WaitForCall("StopRecord", 2));
    QCOMPARE(h.view.error_boxes.size(), size_t{1});
}

void PlaybackFeaturesTest::TheSplitReportKeepsItsBound() {
    const std::string base(200, 'x');
    const std::string report = SplitReport(base, 500, kLanguageEnglish);
    QVERIFY(report.size() < kSplitReportBytes);
    QVERIFY(report.find(base + "-1.ts") != std::string::npos);
    QVERIFY(report.find(base + "-500.ts") == std::string::npos);
    const std::string tail = "\n\nThe file was devided due to the discord of time information.";
    QCOMPARE(QString::fromStdString(report.substr(report.size() - tail.size())),
             QString::fromStdString(tail));
}

void PlaybackFeaturesTest::TerminalReportsEndTheRecording() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    const std::pair<uint32_t, const char*> reports[] = {
        {WM_SYSTEM_RECORD_SIZE_LIMIT,
         "The limmits of recording size is 2GB.\n\nRecording is stopped."},
        {WM_SYSTEM_RECORD_WRITE_ERROR,
         "Problems occurred on recording process.\nPlease check the storage device."}};
    size_t stops = 0;
    for (const auto& [code, text] : reports) {
        h.features->RecordCommand();
        QVERIFY(h.WaitFor([&] { return h.Recording(); }));
        PostPlayerEvent(h.events.window(), code);
        QVERIFY(h.WaitForCall("StopRecord", ++stops));
        QVERIFY(!h.Recording());
        QCOMPARE(QString::fromStdString(h.view.error_boxes.back()), QString(text));
        QVERIFY(h.controller->menu().IsEnabled(command::kRecord));
    }
    // Playback goes on.
    QCOMPARE(h.Count("CloseURL"), size_t{0});
}

void PlaybackFeaturesTest::NoRecordingStateWithoutAFile() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    // The terminal cannot create the file (it reports 1236 itself).
    h.terminal.start_record_result = M4IOErr;
    h.features->RecordCommand();
    QVERIFY(h.WaitForCall("StartRecord"));
    h.DrainEvents();
    QVERIFY(!h.Recording());
    QVERIFY(!h.message_window->timers().IsActive(timer::kRecordMarkOff));
    QVERIFY(h.controller->menu().IsEnabled(command::kRecord));
    h.terminal.start_record_result = M4OK;

    // A folder that cannot be made: its message, and no file asked for.
    koru::test::WriteFile(h.folder / "plain", "x");
    h.settings.set_path(settings::kVideoFolder, (h.folder / "plain" / "video").string());
    h.features->RecordCommand();
    h.DrainEvents();
    QVERIFY(!h.Recording());
    QCOMPARE(h.Count("StartRecord"), size_t{1});
    QCOMPARE(h.view.error_boxes.size(), size_t{1});

    // A data channel has nothing the terminal could write: refused.
    h.state.WithStore(
        [](settings::ChannelStore& s) { s.data.Append(koru::test::Entry("Web", 208.736f, 3, 2)); });
    h.PlayLive(settings::kWatchKindData, 0);
    h.features->RecordCommand();
    h.DrainEvents();
    QVERIFY(!h.Recording());
    QCOMPARE(h.Count("StartRecord"), size_t{1});
    QCOMPARE(h.controller->message_line(2), std::string("A data channel cannot be recorded."));

    // Nothing is recorded while not playing live.
    h.controller->Stop();
    QVERIFY(h.WaitForCall("CloseURL"));
    h.state.SetWatchKind(settings::kWatchKindTv);
    h.features->RecordCommand();
    PostPlayerEvent(h.events.window(), WM_SYSTEM_RECORD);
    h.DrainEvents();
    QCOMPARE(h.Count("StartRecord"), size_t{1});
}

void PlaybackFeaturesTest::StopExitChannelChangeAndOpenAskFirst() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    const std::string question = "Recording, and Do you want to stop?";
    // No keeps the recording, each time.
    h.view.answer = false;
    h.controller->OnControl(control::kStop);
    h.controller->OnKeyRelease(Qt::Key_S, false);
    h.controller->ChannelStep(+1);
    h.controller->OnControl(control::kOpen);
    QVERIFY(!h.controller->Exit());
    h.DrainEvents();
    QCOMPARE(h.view.questions.size(), size_t{5});
    for (const std::string& asked : h.view.questions)
        QCOMPARE(QString::fromStdString(asked), QString::fromStdString(question));
    QVERIFY(h.Recording());
    QCOMPARE(h.Count("StopRecord"), size_t{0});
    QVERIFY(!h.controller->timers().IsActive(timer::kPendingChannel));
    // "Recording stop" in the menu does not ask.
    h.controller->OnMenuCommand(command::kRecordingStop);
    QVERIFY(h.WaitForCall("StopRecord"));
    QCOMPARE(h.view.questions.size(), size_t{5});
    QCOMPARE(h.Count("CloseURL"), size_t{0});

    // Yes on Open: the recording ends, then the dialog (cancelled here) comes.
    h.view.answer = true;
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    h.controller->OnControl(control::kOpen);
    QVERIFY(h.WaitForCall("StopRecord", 2));
    h.DrainEvents();
    QVERIFY(!h.Recording());
    QVERIFY(!h.state.FilePlayback());

    // Exit while recording: asked, the recording stops before the terminal goes.
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    QVERIFY(h.controller->Exit());
    QVERIFY(h.WaitForCall("StopRecord", 3));
    QCOMPARE(h.shutdowns, 1);
}

void PlaybackFeaturesTest::TimeShiftStopsAtItsLimitAndResumes() {
    Harness h;
    h.settings.set_timeshift(0);  // 30 minutes
    h.PlayLive(settings::kWatchKindTv, 0);
    h.features->FirstFrame();
    h.controller->Play();
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 1; }));
    QCOMPARE(h.controller->timers().Period(timer::kTimeShiftCounter), 1000);
    // The ticks come from here, not from the wall clock.
    h.controller->timers().Stop(timer::kTimeShiftCounter);
    QCOMPARE(h.controller->message_line(2), std::string("TimeShift  00:00:00"));
    QVERIFY(h.features->TimeShiftAvailable());
    for (int i = 0; i < 30 * 60 - 1; ++i)
        h.features->OnTimer(timer::kTimeShiftCounter);
    QCOMPARE(h.controller->message_line(2), std::string("TimeShift  00:29:59"));
    QVERIFY(h.features->time_shift().paused());
    h.features->OnTimer(timer::kTimeShiftCounter);
    QCOMPARE(h.controller->message_line(2), std::string("TimeShift  00:30:00"));
    QVERIFY(!h.features->time_shift().paused());
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 0; }));
    QVERIFY(!h.controller->timers().IsActive(timer::kTimeShiftCounter));
    QVERIFY(!h.features->TimeShiftAvailable());
    // At the limit Play pauses no more; the counter stays.
    h.controller->Play();
    h.DrainEvents();
    QCOMPARE(h.LastPause(), 0LL);
    h.features->OnTimer(timer::kTimeShiftCounter);
    QCOMPARE(h.features->time_shift().delay_seconds(), 30 * 60);
    QCOMPARE(TimeShift::LimitSeconds(3), 2 * 3600);
}

void PlaybackFeaturesTest::TimeShiftDelayIsKeptUntilAReset() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.features->FirstFrame();
    h.controller->Play();
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 1; }));
    h.controller->timers().Stop(timer::kTimeShiftCounter);
    for (int i = 0; i < 65; ++i)
        h.features->OnTimer(timer::kTimeShiftCounter);
    h.controller->Play();  // resume: playback stays 1:05 behind
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 0; }));
    // The same-channel answer of Play shows the delay, not an empty line.
    QVERIFY(h.WaitFor([&] { return h.view.banner_hides > 0; }));
    QCOMPARE(h.controller->message_line(2), std::string("TimeShift  00:01:05"));
    h.controller->Play();
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 1; }));
    h.controller->timers().Stop(timer::kTimeShiftCounter);
    h.features->OnTimer(timer::kTimeShiftCounter);
    QCOMPARE(h.controller->message_line(2), std::string("TimeShift  00:01:06"));
    // A channel change resets it.
    PostPlayerEvent(h.events.window(), WM_SYSTEM_TUNE, 1);
    QVERIFY(h.WaitFor([&] { return h.features->time_shift().delay_seconds() == 0; }));
    QVERIFY(!h.features->time_shift().paused());
    QCOMPARE(h.features->TimeShiftText(), std::string());
}

void PlaybackFeaturesTest::TimeShiftRefusalsAndTheOffText() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.features->FirstFrame();
    // No pause while recording.
    h.features->RecordCommand();
    QVERIFY(h.WaitFor([&] { return h.Recording(); }));
    h.controller->Play();
    h.DrainEvents();
    QCOMPARE(h.LastPause(), -1LL);
    QCOMPARE(QString::fromStdString(h.view.error_boxes.back()),
             QString("It is recording now. It is not possible to play the timesift function."));
    h.controller->OnMenuCommand(command::kRecordingStop);
    QVERIFY(h.WaitFor([&] { return !h.Recording(); }));
    // No recording while paused.
    h.controller->Play();
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 1; }));
    h.features->RecordCommand();
    h.DrainEvents();
    QCOMPARE(h.Count("StartRecord"), size_t{1});
    QCOMPARE(QString::fromStdString(h.view.error_boxes.back()),
             QString("Timeshift function is now on playing. Please stop Timeshift and then start "
                     "to record."));
    h.controller->Play();
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 0; }));

    // Time shift off: Play tells so, and the line keeps saying it after the same-channel answer.
    h.settings.set_timeshiftonoff(0);
    const int hides = h.view.banner_hides;
    h.controller->Play();
    QVERIFY(h.WaitFor([&] { return h.view.banner_hides > hides; }));
    QCOMPARE(h.controller->message_line(2), std::string("Timesift function is now OFF"));
    QVERIFY(!h.features->TimeShiftAvailable());

    // The cache failed: the setting goes off, the terminal is told, playback stops.
    h.settings.set_timeshiftonoff(1);
    PostPlayerEvent(h.events.window(), WM_SYSTEM_TIMESHIFT_NO_FILE);
    QVERIFY(h.WaitForCall("SetTimeShiftParams"));
    QCOMPARE(h.terminal.CallsNamed("SetTimeShiftParams")[0].a, 0LL);
    QCOMPARE(h.settings.timeshiftonoff(), 0);
    QVERIFY(h.WaitForCall("CloseURL"));
}

void PlaybackFeaturesTest::CaptureWritesTheJpeg() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.terminal.capture_width = 16;
    h.terminal.capture_height = 8;
    h.controller->OnKeyRelease(Qt::Key_C, false);
    const std::string path = h.Folder(settings::kCaptureFolder) + "/TV 1 3월3일14시5분9초007.jpg";
    QCOMPARE(QString::fromStdString(h.features->capture().last_file()),
             QString::fromStdString(path));
    const auto image = koru::skin::ReadJpegFile(path);
    QVERIFY(image.has_value());
    QCOMPARE(image->width, 16);
    QCOMPARE(image->height, 8);
    // The terminal's pixels are blue first: 0xFF 0x10 0x10 is a blue pixel.
    QVERIFY(image->pixels[2] > 0xE0 && image->pixels[0] < 0x30 && image->pixels[1] < 0x30);

    // Four bytes a pixel: nothing written.
    std::filesystem::remove(path);
    h.terminal.capture_pixel_size = 4;
    h.features->CaptureCommand();
    QVERIFY(!std::filesystem::exists(path));
    // No picture, the radio list, a stopped service: nothing asked of the terminal.
    h.terminal.capture_pixel_size = 3;
    h.terminal.capture_width = 0;
    h.features->CaptureCommand();
    QVERIFY(std::filesystem::is_empty(h.Folder(settings::kCaptureFolder)));
    const size_t asked = h.Count("CaptureScreen");
    h.state.SetWatchKind(settings::kWatchKindRadio);
    h.features->CaptureCommand();
    h.state.SetWatchKind(settings::kWatchKindTv);
    h.controller->Stop();
    QVERIFY(h.WaitForCall("CloseURL"));
    h.features->CaptureCommand();
    QCOMPARE(h.Count("CaptureScreen"), asked);
}

void PlaybackFeaturesTest::FilesPlayWithProgressSeekAndEnd() {
    Harness h;
    h.PlayLive(settings::kWatchKindTv, 0);
    h.chosen_files = {"/rec/first.mp2", "/rec/second.ts"};
    h.controller->OnKeyRelease(Qt::Key_O, false);
    QVERIFY(h.WaitFor([&] { return h.Count("ConnectURL") >= 2; }));
    QCOMPARE(QString::fromStdString(h.terminal.CallsNamed("ConnectURL").back().text),
             QString("/rec/first.mp2"));
    QVERIFY(h.state.FilePlayback());
    QCOMPARE(h.state.layout.load(), kLayoutAudio);
    QCOMPARE(h.features->files().name(), std::string("first.mp2"));
    QCOMPARE(h.controller->timers().Period(timer::kFileProgress), 500);
    QVERIFY(!h.controller->menu().IsEnabled(command::kRecord));
    QVERIFY(h.Count("CloseURL") >= 1);

    // The terminal tells the length (20 s) and the time base; the clock stands at 12.5 s.
    PostPlayerEvent(h.events.window(), WM_SYSTEM_DURATION, 0, 20);
    PostPlayerEvent(h.events.window(), WM_SYSTEM_TIME_BASE, 2500);
    h.terminal.clock_ms = 15000;
    QVERIFY(h.WaitFor([&] { return h.events.window()->time_base() == 2500; }));
    h.features->OnTimer(timer::kFileProgress);
    QVERIFY(h.WaitFor([&] { return h.view.progress_length == 20000; }));
    QCOMPARE(h.view.progress_position, 12500LL);
    // A press at the middle of the bar seeks to the middle of the file.
    h.controller->OnProgressPressed(100, 200);
    QVERIFY(h.WaitForCall("PlayFromTime"));
    QCOMPARE(h.terminal.CallsNamed("PlayFromTime")[0].a, 2500LL + 10000);
    // At the end the file closes and the progress timer stops.
    h.terminal.clock_ms = 22500;
    const size_t closes = h.Count("CloseURL");
    h.features->OnTimer(timer::kFileProgress);
    QVERIFY(h.WaitFor([&] { return h.state.connection_state == kConnectionStopped; }));
    QVERIFY(h.Count("CloseURL") > closes);
    QVERIFY(!h.controller->timers().IsActive(timer::kFileProgress));
    QVERIFY(h.view.error_boxes.empty());
    // Play opens it again.
    h.controller->Play();
    QVERIFY(h.WaitFor([&] { return h.Count("ConnectURL") >= 3; }));
    QVERIFY(h.controller->timers().IsActive(timer::kFileProgress));

    // A second start hands over a ".ts" file: the video layout.
    h.controller->OpenFileFromOutside("/rec/second.TS");
    QVERIFY(h.WaitFor([&] { return h.Count("ConnectURL") >= 4; }));
    QCOMPARE(h.state.layout.load(), kLayoutVideo);
    QCOMPARE(h.features->files().extension(), std::string("ts"));
}

void PlaybackFeaturesTest::AFileThatCannotPlayIsReported() {
    Harness h;
    h.state.SetUrl("/no/such/file.ts");
    PostPlayerEvent(h.events.window(), WM_SYSTEM_OPEN_FILE);
    QVERIFY(h.WaitForCall("ConnectURL"));
    // No length ever comes.
    h.features->OnTimer(timer::kFileProgress);
    QVERIFY(h.WaitFor([&] { return !h.view.error_boxes.empty(); }));
    QCOMPARE(QString::fromStdString(h.view.error_boxes[0]),
             QString("The file cannot be played.\n\nfile.ts"));
    QVERIFY(!h.controller->timers().IsActive(timer::kFileProgress));
}

void PlaybackFeaturesTest::NoFileOpensDuringASearch() {
    Harness h;
    h.state.activity = kActivitySearching;
    // A second start or a drop hands a file over; one handed over just before the search
    // began is already queued.
    h.controller->OpenFileFromOutside("/rec/handed.ts");
    h.controller->OpenUrlText("/rec/dropped.mp2");
    h.state.SetUrl("/rec/queued.ts");
    PostPlayerEvent(h.events.window(), WM_SYSTEM_OPEN_FILE);
    h.DrainEvents();
    QCOMPARE(h.Count("CloseURL"), size_t{0});
    QCOMPARE(h.Count("ConnectURL"), size_t{0});
    QVERIFY(!h.state.FilePlayback());
    QVERIFY(!h.controller->timers().IsActive(timer::kFileProgress));
    QCOMPARE(h.state.Url(), std::string("/rec/queued.ts"));
}

void PlaybackFeaturesTest::FilePauseAndLayoutBackToLive() {
    Harness h;
    h.state.SetUrl("/rec/a.mp2");
    PostPlayerEvent(h.events.window(), WM_SYSTEM_OPEN_FILE);
    QVERIFY(h.WaitForCall("ConnectURL"));
    QVERIFY(h.WaitFor([&] { return h.state.connection_state == kConnectionPlaying; }));
    h.controller->OnKeyRelease(Qt::Key_Space, false);
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 1; }));
    QVERIFY(h.view.play_tooltip_paused);
    QVERIFY(h.features->files().paused());
    h.controller->OnKeyRelease(Qt::Key_Space, false);
    QVERIFY(h.WaitFor([&] { return h.LastPause() == 0; }));
    QVERIFY(!h.view.play_tooltip_paused);
    QCOMPARE(h.state.layout.load(), kLayoutAudio);
    // Up leaves the file for the TV list's channel: the video layout comes back.
    h.controller->ChannelStep(-1);
    h.time.Advance(1500);  // the pending channel's timer
    QVERIFY(h.WaitFor(
        [&] { return h.terminal.CallsNamed("ConnectURL").back().text.rfind("bbu://", 0) == 0; }));
    QVERIFY(h.WaitFor([&] { return h.state.layout == kLayoutVideo; }));
    QVERIFY(!h.state.FilePlayback());
}

void PlaybackFeaturesTest::WindowDropsBlinksAndSeeks() {
    Harness h;
    VelmarPlayerDlg window(h.state);
    QVERIFY(window.LoadSkin((koru::test::BinDir() / "Koru Digital.lay").string()));
    window.SetController(h.controller.get());
    QVERIFY(window.button(control::kRecord)->isEnabled());
    QVERIFY(window.button(control::kOpen)->isEnabled());
    QVERIFY(window.button(control::kCapture)->isEnabled());
    // The recording indicator blinks only while a recording runs.
    window.ShowRecordMark(true);
    QVERIFY(window.record_mark()->isHidden());
    h.state.recording_state = kRecording;
    window.ShowRecordMark(true);
    QVERIFY(!window.record_mark()->isHidden());
    window.ShowRecordMark(false);
    QVERIFY(window.record_mark()->isHidden());
    h.state.recording_state = kNotRecording;

    // A dropped file plays; a dropped web address does not.
    QMimeData web;
    web.setUrls({QUrl("https://example.org/a.ts")});
    QDropEvent web_drop(QPointF(50, 50), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &web_drop);
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile("/rec/dropped.ts")});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent file_drop(QPointF(50, 50), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &file_drop);
    QVERIFY2(h.WaitForCall("ConnectURL"), h.state.Url().c_str());
    h.DrainEvents();
    QCOMPARE(h.Count("ConnectURL"), size_t{1});
    QCOMPARE(QString::fromStdString(h.terminal.CallsNamed("ConnectURL")[0].text),
             QString("/rec/dropped.ts"));

    // A press at the right end of the progress bar seeks to the end of the known length.
    PostPlayerEvent(h.events.window(), WM_SYSTEM_DURATION, 0, 8);
    PostPlayerEvent(h.events.window(), WM_SYSTEM_TIME_BASE, 0);
    h.terminal.clock_ms = 1000;
    QVERIFY(h.WaitFor([&] { return h.events.window()->total_duration() == 8; }));
    h.features->OnTimer(timer::kFileProgress);
    QVERIFY(h.WaitFor([&] { return h.view.progress_length == 8000; }));
    const QRect bar = window.Place("RG_PlayProgress");
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, bar.center());
    QVERIFY(h.WaitForCall("PlayFromTime"));
    const long long target = h.terminal.CallsNamed("PlayFromTime")[0].a;
    QVERIFY2(target > 3500 && target < 4500, std::to_string(target).c_str());
}

QTEST_MAIN(PlaybackFeaturesTest)
#include "playback_features_test.moc"
