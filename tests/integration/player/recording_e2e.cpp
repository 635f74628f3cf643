// Recording, capture, time shift and file playback end to end on an X server of their own, with
// the real player on the demo air:
// - a TV service recorded for 10 s (Stop asks first; a split at the air's loop is reported) and
//   a radio service for 10 s, both of the right length by ffprobe;
// - a capture of the TV picture that opens as a 320 x 240 JPEG;
// - live TV paused for 5 s with time shift on: the picture holds, and playback resumes where it
//   stopped, 5 s behind live;
// - the TV recording handed over by a second start and the radio recording chosen in the open
//   dialog, each played and sought to its middle through the progress bar;
// - a recording that survives kill -9 of the player, playing up to its last second;
// - a start with a file on the command line, and Play with time shift off showing its text.
// With the argument "dabplus", on the independent DAB+ recording as the air instead: India HE 64
// recorded for 10 s into an ".m4a" file that ffprobe reads as AAC of the right length, played
// from the open dialog with its sound and sought to its middle.
// Screenshots are kept in build/tests/artifacts/recording_e2e (recording_e2e_dabplus).
//
// Exit status: 0 passed, 1 failed, 77 skipped (no X tools, ffprobe, receiver plug-in, or DAB+
// reference recording).
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cmath>
#include <cstdio>
#include <set>

#include "player/skin/qt_skin.h"
#include "player/skin/skin_layout.h"
#include "support/media_files.h"
#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

using koru::test::CountOf;
using koru::test::LastMatch;
using koru::test::PlayerProcess;
using koru::test::Probe;
using koru::test::RecordingFiles;
using koru::test::TotalDuration;
using koru::test::XvfbDisplay;

// The window stands at its first-start place.
const QPoint kOrigin(100, 100);

QString g_artifacts;

// How many sampled pixels of area differ between two screenshots.
int Changed(const QImage& a, const QImage& b, const QRect& area) {
    int changed = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            if ((a.pixel(x, y) & 0xF0F0F0) != (b.pixel(x, y) & 0xF0F0F0)) ++changed;
        }
    }
    return changed;
}

double MeanLuma(const QImage& image, const QRect& area) {
    double sum = 0;
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QRgb pixel = image.pixel(x, y);
            sum += 0.299 * qRed(pixel) + 0.587 * qGreen(pixel) + 0.114 * qBlue(pixel);
            ++count;
        }
    }
    return count > 0 ? sum / count : 0;
}

// A second start of the player with a (quoted) file name: it hands the name to the first player
// and ends. Its output goes to files of its own.
bool HandOver(const XvfbDisplay& display, const std::filesystem::path& home,
              const std::string& argument) {
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display.display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("KORU_DMB_HOME", QString::fromStdString(home.string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
    env.insert("SDL_AUDIODRIVER", "dummy");
    second.setProcessEnvironment(env);
    second.setStandardOutputFile(QString::fromStdString((home / "second.out").string()));
    second.setStandardErrorFile(QString::fromStdString((home / "second.log").string()));
    second.start(QString::fromStdString((koru::test::BinDir() / "VelmarPlayer").string()),
                 {QString::fromStdString(argument)});
    return second.waitForFinished(10000) && second.exitStatus() == QProcess::NormalExit &&
           second.exitCode() == 0;
}

class Session : public koru::test::PlayerSession {
  public:
    Session(XvfbDisplay& display, const std::filesystem::path& home, const koru::skin::QtSkin& skin)
        : PlayerSession(display, home, g_artifacts), skin_(skin) {}

    // A key for a message box or dialog that has the focus now.
    void BoxKey(const QString& key) { display().Xdotool({"key", key}); }
    QRect Picture() const { return skin_.AbsoluteRect("RG_Screen").translated(kOrigin); }
    // A left click at fraction of the progress bar's travel.
    void ClickProgress(double fraction) {
        const QRect bar = skin_.AbsoluteRect("RG_PlayProgress").translated(kOrigin);
        const int travel = bar.width() - skin_.Image("BM_Pro_Normal").width();
        const QPoint point(bar.left() + static_cast<int>(travel * fraction), bar.center().y());
        // Without --sync: the pointer may stand there already from the last seek.
        display().Xdotool(
            {"mousemove", QString::number(point.x()), QString::number(point.y()), "click", "1"});
    }
    bool WaitForLog(const std::string& text, int timeout_ms) {
        return player().WaitForLog(text, timeout_ms);
    }
    // Waits for count occurrences of text in the log.
    bool WaitForCount(const std::string& text, size_t count, int timeout_ms) {
        return koru::test::WaitUntil([&] { return CountOf(Log(), text) >= count; }, timeout_ms);
    }

    // Records what plays for seconds, stops with S and answers Yes; dismisses a split report.
    // The path of the recording, or empty. The recording ran within the last span_ms (from the
    // R key to its end in the log), which a busy machine makes longer than seconds.
    std::string Record(int seconds, const QString& shot) {
        QElapsedTimer span;
        span.start();
        span_ms = 0;
        const size_t started = CountOf(Log(), "VelmarPlayerDlg: recording /");
        Key("r");
        if (!WaitForCount("VelmarPlayerDlg: recording /", started + 1, 5000)) return {};
        const std::string path =
            LastMatch(Log(), "VelmarPlayerDlg: recording (/[^\\n]*\\.(?:ts|mp2|m4a))\\n");
        // Two pictures a second apart: the indicator blinks, one of them shows it.
        QThread::msleep(static_cast<unsigned long>(seconds) * 1000 - 1600);
        Shot(shot + "_a.png");
        QThread::msleep(1000);
        Shot(shot + "_b.png");
        QThread::msleep(600);
        const size_t ended = CountOf(Log(), " ended (");
        Key("s");
        QThread::msleep(800);
        Shot("stop_question.png");
        BoxKey("Return");
        if (!WaitForCount(" ended (", ended + 1, 5000)) return {};
        span_ms = span.elapsed();
        const std::string splits = LastMatch(Log(), "ended \\(([0-9]+) splits\\)");
        if (splits != "0") {
            CHECK(WaitForLog("message box: Recoding files are saved seperatedly.", 3000),
                  "no split report");
            QThread::msleep(500);
            Shot("split_report.png");
            BoxKey("Return");
        }
        QThread::msleep(300);
        return path;
    }

    qint64 span_ms = 0;  // of the last Record

  private:
    const koru::skin::QtSkin& skin_;
};

// 10 s recordings, with the time the Stop question stood open: nothing lost, and no more than
// the time the recording can have run.
void CheckRecordingLength(const std::string& path, const char* what, qint64 span_ms) {
    CHECK(!path.empty(), "no %s recording", what);
    if (path.empty()) return;
    std::printf("%s recording %s\n", what, path.c_str());
    const double seconds = TotalDuration(RecordingFiles(path));
    const double most = static_cast<double>(span_ms) / 1000 + 1.0;
    CHECK(seconds > 9.0 && seconds < most, "%s recording of %.2f s (at most %.2f s)", what, seconds,
          most);
}

// Plays the file that the player just opened, seeks to its middle and looks at it. The length
// looked for is the one reported after this file's "play file" line, not an earlier file's.
void SeekToTheMiddle(Session& session, PlayerProcess& player, const std::string& path,
                     const QString& shot) {
    const std::string name = std::filesystem::path(path).filename().string();
    const auto length_known = [&] {
        const std::string log = player.Log();
        const size_t opened = log.rfind("play file " + path);
        return opened != std::string::npos &&
               log.find("ntotalduration = ", opened) != std::string::npos;
    };
    CHECK(koru::test::WaitUntil(length_known, 5000), "no length of %s\n%s", name.c_str(),
          player.Log().c_str());
    QThread::msleep(1500);
    session.ClickProgress(0.5);
    CHECK(session.WaitForLog("seek " + name + " to ", 3000), "no seek of %s", name.c_str());
    const std::string log = player.Log();
    const QString seek = "seek " + QRegularExpression::escape(QString::fromStdString(name));
    const long long target = std::atoll(LastMatch(log, seek + " to ([0-9]+) of").c_str());
    const long long length = std::atoll(LastMatch(log, seek + " to [0-9]+ of ([0-9]+)").c_str());
    std::printf("%s: seek to %lld of %lld ms\n", name.c_str(), target, length);
    CHECK(length > 0 && std::llabs(target - length / 2) < length / 10, "seek to %lld of %lld",
          target, length);
    QThread::msleep(1200);
    session.Shot(shot);
}

int Run(XvfbDisplay& display, const koru::skin::QtSkin& skin) {
    koru::test::TempDir home;
    std::string error;
    if (!koru::test::PrepareChannels(home.path(), {"208736"}, &error)) {
        std::fprintf(stderr, "FAILED: %s\n", error.c_str());
        return 1;
    }
    const std::string stored = koru::test::ReadFile(home / "channel.xml");
    const std::string tv_frame = "first frame of " + koru::test::StoredUrl(stored, "tv");
    const std::string radio_frame = "first frame of " + koru::test::StoredUrl(stored, "radio");
    // The working folders lie below the test's folder (PlayerProcess chooses the documents).
    const std::filesystem::path folders = home / "Documents" / "KORU-DMB";

    std::string tv_recording, radio_recording;
    {
        Session session(display, home.path(), skin);
        CHECK(session.Start(), "VelmarPlayer did not start or show its window");
        PlayerProcess& player = session.player();
        CHECK(player.WaitForDebug("first picture after", 25000), "no picture\n%s",
              player.Log().c_str());
        QThread::msleep(1000);

        // TV: 10 s.
        tv_recording = session.Record(10, "recording_tv");
        CheckRecordingLength(tv_recording, "TV", session.span_ms);

        // Capture.
        session.Key("c");
        CHECK(session.WaitForLog("captured 320x240 to ", 3000), "no capture\n%s",
              player.Log().c_str());
        const std::string capture =
            LastMatch(player.Log(), "captured 320x240 to (/[^\\n]*\\.jpg)\\n");
        const QImage captured(QString::fromStdString(capture));
        CHECK(captured.width() == 320 && captured.height() == 240, "capture %s is %dx%d",
              capture.c_str(), captured.width(), captured.height());
        if (!captured.isNull()) {
            CHECK(MeanLuma(captured, captured.rect()) > 30, "the capture is black");
            captured.save(g_artifacts + "/capture.png");
        }

        // Time shift: 5 s paused, then on, behind live.
        session.Key("p");
        CHECK(session.WaitForLog("pause at ", 3000), "no pause\n%s", player.Log().c_str());
        QThread::msleep(1500);
        const QImage paused_early = session.Shot("timeshift_paused_1s.png");
        QThread::msleep(3500);
        const QImage paused_late = session.Shot("timeshift_paused_5s.png");
        session.Key("p");
        CHECK(session.WaitForLog("resume at ", 3000), "no resume\n%s", player.Log().c_str());
        QThread::msleep(1500);
        const QImage resumed = session.Shot("timeshift_resumed.png");
        const QRect picture = session.Picture().adjusted(4, 4, -4, -40);
        const int held = Changed(paused_early, paused_late, picture);
        const int moving = Changed(paused_late, resumed, picture);
        std::printf("time shift: %d pixels changed while paused, %d after resuming\n", held,
                    moving);
        CHECK(held == 0, "the picture moved while paused (%d pixels)", held);
        CHECK(moving > 100, "the picture did not move after resuming (%d pixels)", moving);
        {
            const std::string log = player.Log();
            const long long pause_ms = std::atoll(LastMatch(log, "pause at ([0-9]+) ms").c_str());
            const long long resume_ms = std::atoll(LastMatch(log, "resume at ([0-9]+) ms").c_str());
            std::printf("time shift: paused at %lld ms of stream time, resumed at %lld ms\n",
                        pause_ms, resume_ms);
            // 5 s passed on the wall: playing on from where it stopped is 5 s behind live.
            CHECK(pause_ms > 0 && resume_ms >= pause_ms && resume_ms - pause_ms < 700,
                  "resumed at %lld ms after pausing at %lld ms", resume_ms, pause_ms);
        }

        // Radio: 10 s.
        session.Key("t");
        CHECK(session.WaitForLog(radio_frame, 20000), "no radio");
        QThread::msleep(1000);
        radio_recording = session.Record(10, "recording_radio");
        CheckRecordingLength(radio_recording, "radio", session.span_ms);

        // The TV recording through a second start, sought to its middle.
        if (!tv_recording.empty()) {
            CHECK(HandOver(display, home.path(), "\"" + tv_recording + "\""),
                  "the second start did not hand over and end");
            CHECK(session.WaitForLog("play file " + tv_recording, 5000), "not handed over");
            SeekToTheMiddle(session, player, tv_recording, "playback_tv_middle.png");
            const QImage shot = QImage(g_artifacts + "/playback_tv_middle.png");
            CHECK(!shot.isNull() && MeanLuma(shot, session.Picture().adjusted(4, 4, -4, -4)) > 30,
                  "no TV picture in file playback");
        }
        // The radio recording from the open dialog.
        if (!radio_recording.empty()) {
            session.Key("o");
            QThread::msleep(1500);
            session.Shot("open_dialog.png");
            display.Xdotool({"type", "--delay", "5", QString::fromStdString(radio_recording)});
            session.BoxKey("Return");
            CHECK(session.WaitForLog("play file " + radio_recording, 5000),
                  "dialog opened nothing");
            SeekToTheMiddle(session, player, radio_recording, "playback_radio_middle.png");
        }

        // Back to live TV (T leaves the file for the radio list, T again is TV), and kill -9
        // while recording.
        session.Key("t");
        CHECK(session.WaitForCount(radio_frame, 2, 20000), "no live radio after the file");
        session.Key("t");
        CHECK(session.WaitForCount(tv_frame, 2, 20000), "no live TV after the file");
        QThread::msleep(1000);
        const size_t started = CountOf(player.Log(), "VelmarPlayerDlg: recording /");
        session.Key("r");
        CHECK(session.WaitForCount("VelmarPlayerDlg: recording /", started + 1, 5000),
              "the last recording did not start");
        const std::string killed =
            LastMatch(player.Log(), "VelmarPlayerDlg: recording (/[^\\n]*\\.ts)\\n");
        QThread::msleep(6000);
        ::kill(static_cast<pid_t>(player.process().processId()), SIGKILL);
        player.process().waitForFinished(5000);
        QFile::copy(QString::fromStdString((home / "player.log").string()),
                    g_artifacts + "/player_run1.log");
        if (!killed.empty()) {
            std::printf("recording cut by kill -9: %s\n", killed.c_str());
            const double seconds = TotalDuration(RecordingFiles(killed));
            CHECK(seconds > 4.8 && seconds < 7.5, "the killed recording plays %.2f s of 6",
                  seconds);
        }
    }

    // A start with a file and time shift off.
    const std::filesystem::path settings_file = home / "channel.xml";
    std::string xml = koru::test::ReadFile(settings_file);
    const size_t on = xml.find("timeshiftonoff=\"1\"");
    CHECK(on != std::string::npos, "no time shift setting in channel.xml");
    if (on != std::string::npos) {
        xml.replace(on, std::string("timeshiftonoff=\"1\"").size(), "timeshiftonoff=\"0\"");
        koru::test::WriteFile(settings_file, xml);
    }
    {
        Session session(display, home.path(), skin);
        CHECK(session.Start({QString::fromStdString(radio_recording)}), "no second run");
        PlayerProcess& player = session.player();
        CHECK(session.WaitForLog("play file " + radio_recording, 15000),
              "the command-line file did not play\n%s", player.Log().c_str());
        QThread::msleep(2500);
        session.Shot("command_line_file.png");
        // T: from the file back to live (the TV list was the last one watched).
        session.Key("t");
        CHECK(session.WaitForLog(tv_frame, 20000), "no live TV");
        QThread::msleep(1500);
        session.Key("p");
        CHECK(session.WaitForLog("resume at ", 3000), "Play did not resume");
        QThread::msleep(800);
        session.Shot("timeshift_off.png");
        CHECK(player.Log().find("pause at ") == std::string::npos, "paused with time shift off");
        CHECK(session.Exit(), "the player did not exit in order");
        QFile::copy(QString::fromStdString((home / "player.log").string()),
                    g_artifacts + "/player_run2.log");
    }
    // The working folders hold what was made; the time-shift cache went with its connection.
    CHECK(!std::filesystem::exists(folders / "timeshift" / "file_cache.ts"),
          "the time-shift cache was left behind");
    std::printf("screenshots and logs: %s\n", qPrintable(g_artifacts));
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

// Audio samples the terminal played for each connection it closed, in order.
std::vector<long long> PlayedSamples(const std::string& log) {
    std::vector<long long> counts;
    auto matches = QRegularExpression("closed: [0-9]+ pictures and ([0-9]+) audio samples played")
                       .globalMatch(QString::fromStdString(log));
    while (matches.hasNext())
        counts.push_back(matches.next().captured(1).toLongLong());
    return counts;
}

int DabPlus(XvfbDisplay& display, const koru::skin::QtSkin& skin) {
    const std::filesystem::path eti = koru::test::ReferenceDabPlusEti();
    if (eti.empty()) {
        std::printf("SKIP: no DAB+ reference recording in %s\n",
                    koru::test::ReferenceDir().string().c_str());
        return 77;
    }
    koru::test::TempDir home;
    const std::filesystem::path conf = home / "receiver.conf";
    koru::test::WriteFile(conf, "air 208736 " + eti.string() + " level 18\n");
    std::string error;
    if (!koru::test::PrepareChannels(home.path(), {"208736"}, &error, conf)) {
        std::fprintf(stderr, "FAILED: %s\n", error.c_str());
        return 1;
    }
    Session session(display, home.path(), skin);
    CHECK(session.Start({}, conf), "VelmarPlayer did not start or show its window");
    PlayerProcess& player = session.player();
    // Two DAB+ radio services and no TV: the player starts with the first, India HE 64.
    CHECK(session.WaitForLog("first frame of bbu://208736,0,0.mp2", 25000), "no radio\n%s",
          player.Log().c_str());
    QThread::msleep(1000);
    const std::string recording = session.Record(10, "recording_dabplus");
    CHECK(recording.size() > 4 && recording.compare(recording.size() - 4, 4, ".m4a") == 0,
          "the DAB+ recording is \"%s\", not MPEG-4 audio", recording.c_str());
    CheckRecordingLength(recording, "DAB+", session.span_ms);
    if (!recording.empty()) {
        const QString stream = Probe(recording, "stream=codec_name,sample_rate,channels");
        std::printf("DAB+ recording stream: %s\n", qPrintable(stream));
        CHECK(stream.startsWith("aac,"), "the recording holds %s, not AAC", qPrintable(stream));
        const std::string mp2 = recording.substr(0, recording.size() - 4) + ".mp2";
        CHECK(!std::filesystem::exists(mp2), "an .mp2 file was made beside it");

        // Played back from the open dialog, with its sound, to its end.
        session.Key("o");
        QThread::msleep(1500);
        display.Xdotool({"type", "--delay", "5", QString::fromStdString(recording)});
        session.BoxKey("Return");
        CHECK(session.WaitForLog("play file " + recording, 5000), "dialog opened nothing");
        const std::string name = std::filesystem::path(recording).filename().string();
        SeekToTheMiddle(session, player, recording, "playback_dabplus_middle.png");
        CHECK(session.WaitForLog("end of " + name, 20000), "the file did not play to its end");
        const std::vector<long long> played = PlayedSamples(player.Log());
        const long long samples = played.empty() ? -1 : played.back();
        std::printf("DAB+ recording: %lld audio samples played\n", samples);
        // A second and a half before the seek to the middle, and the second half after it.
        CHECK(samples >= 4 * 48000, "the recording played %lld samples", samples);
    }
    CHECK(session.Exit(), "the player did not exit in order");
    QFile::copy(QString::fromStdString((home / "player.log").string()),
                g_artifacts + "/player_dabplus.log");
    std::printf("screenshots and logs: %s\n", qPrintable(g_artifacts));
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (std::string reason = koru::test::SessionUnavailable(false); !reason.empty()) {
        std::printf("SKIP: %s\n", reason.c_str());
        return 77;
    }
    if (QStandardPaths::findExecutable("ffprobe").isEmpty()) {
        std::printf("SKIP: ffprobe is not installed\n");
        return 77;
    }
    g_artifacts = QString::fromUtf8(KORU_ARTIFACT_DIR);
    const bool dabplus = argc > 1 && std::string(argv[1]) == "dabplus";
    if (dabplus) g_artifacts += "_dabplus";
    QDir(g_artifacts).removeRecursively();
    QDir().mkpath(g_artifacts);
    koru::skin::SkinLayout layout;
    layout.LoadLayout((koru::test::BinDir() / "Koru Digital.lay").string());
    const koru::skin::QtSkin skin(layout);
    XvfbDisplay display;
    if (!display.Start()) {
        std::fprintf(stderr, "FAILED: Xvfb did not start\n");
        return 1;
    }
    return dabplus ? DabPlus(display, skin) : Run(display, skin);
}
