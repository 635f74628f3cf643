// Scheduled recordings end to end on an X server of their own, with the real player on the demo
// air. The player's wall clock comes from the test hook KORU_WALL_CLOCK: it starts at a fixed
// local time (UTC) and runs ten times as fast, so a reservation two minutes ahead starts 12 s
// later and a minute of recording takes 6 s; the air and the terminal run in real time.
// - TV plays; key B, the dialog filled by keys: a radio reservation two minutes ahead, one minute
//   long. The player switches to the radio list by itself, records, stops at the end; the file
//   plays.
// - TV 1 plays; a reservation of TV 2 two minutes ahead: the player tunes TV 2 and records it.
// - The reservations are in "channel.xml" after the exit. A start of the player within a
//   reservation (as after a suspend) begins it late with a message box; one whose end has
//   passed is not begun.
// Screenshots are kept in build/tests/artifacts/reservations_e2e.
//
// Exit status: 0 passed, 1 failed, 77 skipped (no X tools, ffprobe, or receiver plug-in).
#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>

#include "support/media_files.h"
#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

using koru::test::CountOf;
using koru::test::LastMatch;

QString g_artifacts;

constexpr const char* kDialogTitle = "Preengagement of record";

class Session : public koru::test::PlayerSession {
  public:
    Session(koru::test::XvfbDisplay& display, const std::filesystem::path& home)
        : PlayerSession(display, home, g_artifacts) {}

    bool WaitForLog(const std::string& text, int timeout_ms) {
        return player().WaitForLog(text, timeout_ms);
    }
    bool WaitForCount(const std::string& text, size_t count, int timeout_ms) {
        return koru::test::WaitUntil([&] { return CountOf(Log(), text) >= count; }, timeout_ms);
    }

    // Opens the reserved recording dialog with B and types keys into it (names separated by
    // blanks). False when the dialog did not come up.
    bool FillDialog(const QString& keys, const QString& shot) {
        Key("b");
        QString window;
        if (!koru::test::WaitUntil(
                [&] {
                    return display().Xdotool({"search", "--name", kDialogTitle}, &window) &&
                           !window.isEmpty();
                },
                5000)) {
            return false;
        }
        window = window.section('\n', 0, 0);
        QThread::msleep(500);
        KeyTo(window, keys);
        QThread::msleep(500);
        Shot(shot);
        // Escape ends the dialog.
        KeyTo(window, "Escape");
        QThread::msleep(500);
        return true;
    }
};

// Tab from a date picker goes through its year, month and day first.
QString Tabs(int count) {
    QStringList tabs;
    for (int i = 0; i < count; ++i)
        tabs << "Tab";
    return tabs.join(' ');
}

// The keys that move the start minute `ahead` minutes and the end minute `ahead + length`
// minutes past the current minute, then press Addition; focus starts on the channel list.
QString TimeKeys(int ahead, int length) {
    QStringList keys;
    keys << Tabs(5);  // date (3 sections), hour, minute
    for (int i = 0; i < ahead; ++i)
        keys << "Down";
    keys << Tabs(5);
    for (int i = 0; i < ahead + length; ++i)
        keys << "Down";
    keys << "Tab"
         << "space";
    return keys.join(' ');
}

// Seconds since midnight of the first "HH?MM?SS" (or "HH?MM") that pattern's groups capture.
int SecondsOfDay(const std::string& text, const QString& pattern) {
    const QRegularExpressionMatch match =
        QRegularExpression(pattern).match(QString::fromStdString(text));
    if (!match.hasMatch()) return -1;
    const int seconds = match.lastCapturedIndex() >= 3 ? match.captured(3).toInt() : 0;
    return match.captured(1).toInt() * 3600 + match.captured(2).toInt() * 60 + seconds;
}

// The recording that a reserved recording of channel made: begun by itself after the
// reservation's start, stopped at its end, holding what the player's wall clock took from the
// recording's start (its name) to the reservation's end. Its path.
std::string CheckReservedRecording(Session& session, const std::string& channel,
                                   const char* extension, const QString& shot) {
    const std::string begins = "reserved recording of " + channel + " (";
    CHECK(session.WaitForLog(begins, 40000), "the reservation of %s did not begin\n%s",
          channel.c_str(), session.Log().c_str());
    const QString pattern = QString("VelmarPlayerDlg: recording (/[^\\n]*\\.%1)\\n").arg(extension);
    CHECK(koru::test::WaitUntil([&] { return !LastMatch(session.Log(), pattern).empty(); }, 20000),
          "%s did not record\n%s", channel.c_str(), session.Log().c_str());
    const std::string path = LastMatch(session.Log(), pattern);
    QThread::msleep(1500);
    session.Shot(shot);
    CHECK(session.WaitForLog("reserved recording of " + channel + " ends", 40000),
          "the reservation of %s did not end\n%s", channel.c_str(), session.Log().c_str());
    CHECK(session.WaitForLog("recording of " + path + " ended", 5000), "%s was not stopped",
          path.c_str());
    if (path.empty()) return path;
    // The reservation's times from its "begins" line, the recording's start from its name. How
    // long the tune and the picture took under load does not matter; the file must hold the
    // rest of the reservation, ten times as fast.
    const std::string line =
        LastMatch(session.Log(), "(" + QRegularExpression::escape(QString::fromStdString(begins)) +
                                     "[^\\n]*) begins");
    const int start = SecondsOfDay(line, "\\(\\d{8}-(\\d\\d):(\\d\\d) ~");
    const int end = SecondsOfDay(line, "~ \\d{8}-(\\d\\d):(\\d\\d)\\)");
    const int started = SecondsOfDay(path, " (\\d+)H (\\d+)M (\\d+)S\\.");
    const double expected = (end - started) / 10.0;
    const double recorded = koru::test::TotalDuration(koru::test::RecordingFiles(path));
    std::printf("%s: %s, %.2f s recorded of %.1f s from its start to the reservation's end\n",
                channel.c_str(), path.c_str(), recorded, expected);
    CHECK(start >= 0 && started >= start && end > started, "%s: reserved %d to %d, began at %d",
          path.c_str(), start, end, started);
    CHECK(expected > 1 && recorded > expected - 2 && recorded < expected + 1.5,
          "%s recorded %.2f s of %.1f s", channel.c_str(), recorded, expected);
    return path;
}

// The terminal plays the file: pictures or sound come out of it.
void CheckPlays(const std::string& path) {
    QProcess play;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SDL_AUDIODRIVER", "dummy");
    play.setProcessEnvironment(env);
    play.start(QString::fromStdString((koru::test::BinDir() / "m4play").string()),
               {QString::fromStdString(path), "--seconds", "2"});
    CHECK(play.waitForFinished(20000) && play.exitCode() == 0, "m4play %s failed", path.c_str());
    const std::string output = play.readAllStandardOutput().toStdString();
    const long long samples = std::atoll(LastMatch(output, "# audio_samples\\t([0-9]+)").c_str());
    std::printf("m4play %s: %lld audio samples in 2 s\n", path.c_str(), samples);
    CHECK(samples > 48000, "%s plays %lld audio samples in 2 s", path.c_str(), samples);
}

int Run() {
    if (std::string reason = koru::test::SessionUnavailable(false); !reason.empty()) {
        std::printf("SKIP: %s\n", reason.c_str());
        return 77;
    }
    if (QStandardPaths::findExecutable("ffprobe").isEmpty()) {
        std::printf("SKIP: ffprobe is not installed\n");
        return 77;
    }
    g_artifacts = QString::fromUtf8(KORU_ARTIFACT_DIR);
    QDir(g_artifacts).removeRecursively();
    QDir().mkpath(g_artifacts);

    koru::test::TempDir home;
    std::string error;
    if (!koru::test::PrepareChannels(home.path(), {"208736"}, &error)) {
        std::fprintf(stderr, "FAILED: %s\n", error.c_str());
        return 1;
    }
    koru::test::XvfbDisplay display;
    if (!display.Start()) {
        std::fprintf(stderr, "FAILED: Xvfb did not start\n");
        return 1;
    }
    // The player's local time is UTC, its wall clock from the hook.
    qputenv("TZ", "UTC");
    qputenv("KORU_WALL_CLOCK", "2030-05-17T14:10:00,10");
    {
        Session session(display, home.path());
        CHECK(session.Start(), "VelmarPlayer did not start or show its window");
        Session& player = session;
        CHECK(player.player().WaitForDebug("first picture after", 25000), "no picture\n%s",
              player.Log().c_str());
        CHECK(player.Log().find("wall clock from 20300517-14:10") != std::string::npos,
              "the wall clock hook was not taken");

        // Radio, two minutes ahead for a minute: Right and space choose Radio, its one channel.
        CHECK(session.FillDialog("Right space Tab " + TimeKeys(2, 1), "dialog_radio.png"),
              "no dialog");
        CHECK(session.WaitForLog("reservation added: KORU Radio", 2000), "nothing added\n%s",
              player.Log().c_str());
        const std::string radio =
            CheckReservedRecording(session, "KORU Radio", "mp2", "recording_radio.png");
        if (!radio.empty()) CheckPlays(radio);

        // Back to TV 1; TV 2 two minutes ahead for two minutes.
        session.Key("t");
        CHECK(session.WaitForCount("first frame of bbu://208736,0,0.ts", 2, 20000),
              "TV did not come back");
        QThread::msleep(1000);
        CHECK(session.FillDialog("Tab Down " + TimeKeys(2, 2), "dialog_tv.png"), "no dialog");
        CHECK(session.WaitForLog("reservation added: KORU TV 2", 2000), "nothing added\n%s",
              player.Log().c_str());
        CHECK(session.WaitForLog("first frame of bbu://208736,1,0.ts", 40000),
              "TV 2 was not tuned\n%s", player.Log().c_str());
        const std::string tv =
            CheckReservedRecording(session, "KORU TV 2", "ts", "recording_tv.png");
        if (!tv.empty()) CheckPlays(tv);
        CHECK(session.Exit(), "the player did not exit in order");
        QFile::copy(QString::fromStdString((home / "player.log").string()),
                    g_artifacts + "/player_run1.log");
    }

    // The TV reservation stayed in the file (the radio one, begun already, was dropped when the
    // dialog opened again); add one the player slept through and one it missed.
    const std::filesystem::path settings_file = home / "channel.xml";
    std::string xml = koru::test::ReadFile(settings_file);
    CHECK(CountOf(xml, "<RECData ") == 1 &&
              xml.find("<RECData type=\"tv\" index=\"1\" channel=\"KORU TV 2\" "
                       "start=\"20300517-14:") != std::string::npos,
          "channel.xml holds %zu reservations:\n%s", CountOf(xml, "<RECData "), xml.c_str());
    const size_t root_end = xml.rfind("</Velmar>");
    CHECK(root_end != std::string::npos, "no root element");
    if (root_end != std::string::npos) {
        xml.insert(root_end,
                   "<RECData type=\"radio\" index=\"0\" channel=\"KORU Radio\" "
                   "start=\"20300517-15:00\" end=\"20300517-15:30\"/>"
                   "<RECData type=\"radio\" index=\"0\" channel=\"KORU Radio\" "
                   "start=\"20300517-16:00\" end=\"20300517-16:03\"/>");
        koru::test::WriteFile(settings_file, xml);
    }
    qputenv("KORU_WALL_CLOCK", "2030-05-17T16:01:30,10");
    {
        Session session(display, home.path());
        CHECK(session.Start(), "VelmarPlayer did not start a second time");
        Session& player = session;
        CHECK(session.WaitForLog("message box: The reserved recording of KORU Radio "
                                 "(20300517-16:00 ~ 20300517-16:03) started late, at 16:0",
                                 20000),
              "no late start\n%s", player.Log().c_str());
        QThread::msleep(1000);
        player.Shot("late_start.png");
        player.display().Xdotool({"key", "Return"});
        CheckReservedRecording(session, "KORU Radio", "mp2", "late_recording.png");
        CHECK(player.Log().find("20300517-15:00 ~ 20300517-15:30) begins") == std::string::npos,
              "the missed reservation was begun");
        CHECK(session.Exit(), "the player did not exit in order the second time");
        QFile::copy(QString::fromStdString((home / "player.log").string()),
                    g_artifacts + "/player_run2.log");
    }
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int status = Run();
    std::printf(status == 0 ? "PASSED\n" : "FAILED\n");
    return status;
}
