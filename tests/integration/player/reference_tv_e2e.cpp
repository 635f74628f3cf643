// The player under Xvfb on the TV recording made by independent tools (shared reference
// gpac-tv-b.eti: GPAC's muxer, audio frames cut across PES packets) as the emulated stick's
// air: the channel found by dmbscan plays with picture and sound. The terminal's closing log
// line counts the pictures and audio samples played; the screenshot stays in
// build/tests/artifacts/reference_tv_e2e.
#include <QCoreApplication>
#include <QImage>
#include <QThread>
#include <cstdio>
#include <regex>
#include <set>

#include "support/environment.h"
#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

constexpr int kPlaySeconds = 8;

int Run() {
    if (const std::string reason = koru::test::SessionUnavailable(false); !reason.empty()) {
        std::printf("SKIP: %s\n", reason.c_str());
        return 77;
    }
    const std::filesystem::path eti = koru::test::ReferenceDir() / "gpac-tv-b.eti";
    if (!std::filesystem::exists(eti)) {
        std::printf("SKIP: no %s\n", eti.c_str());
        return 77;
    }
    const QString artifacts = QString::fromUtf8(KORU_ARTIFACT_DIR);
    QDir().mkpath(artifacts);
    koru::test::TempDir home;
    const std::filesystem::path receiver = home / "receiver.conf";
    koru::test::WriteFile(receiver, "air 208736 " + eti.string() + " level 20\n");
    std::string error;
    CHECK(koru::test::PrepareChannels(home.path(), {"208736"}, &error, receiver), "%s",
          error.c_str());
    const std::string channels = koru::test::ReadFile(home / "channel.xml");
    CHECK(channels.find("Golf TV 700") != std::string::npos, "%s", channels.c_str());

    koru::test::XvfbDisplay display;
    if (!display.Start()) {
        std::fprintf(stderr, "FAILED: Xvfb did not start\n");
        return 1;
    }
    koru::test::PlayerProcess player;
    CHECK(player.Start(display.display(), home.path(), receiver), "VelmarPlayer did not start");
    CHECK(player.WaitForDebug("first picture after", 25000), "no picture\n%s",
          player.Log().c_str());
    QThread::msleep(kPlaySeconds * 1000);
    const QImage shot = display.Screenshot(artifacts + "/golf_tv.png");
    CHECK(!shot.isNull(), "no screenshot");

    QString window;
    display.Xdotool({"search", "--name", "KORU-DMB"}, &window);
    window = window.section('\n', 0, 0);
    display.Xdotool({"windowfocus", "--sync", window});
    display.Xdotool({"key", "alt+F4"});
    CHECK(player.process().waitForFinished(15000), "the player did not exit");
    const std::string log = player.Log();
    std::smatch played;
    const std::regex line("closed: (\\d+) pictures and (\\d+) audio samples played");
    CHECK(std::regex_search(log, played, line), "no closing count\n%s", log.c_str());
    if (played.size() == 3) {
        const long pictures = std::stol(played[1]);
        const long samples = std::stol(played[2]);
        std::printf("played %ld pictures, %ld audio samples\n", pictures, samples);
        // At least the seconds waited, at 15 pictures and 48000 samples a second.
        CHECK(pictures >= kPlaySeconds * 15 * 95 / 100, "%ld pictures", pictures);
        CHECK(samples >= kPlaySeconds * 48000L * 95 / 100, "%ld audio samples", samples);
    }
    QFile::remove(artifacts + "/player.log");
    QFile::copy(QString::fromStdString((home / "player.log").string()), artifacts + "/player.log");
    std::printf("screenshot: %s/golf_tv.png\n", qPrintable(artifacts));
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return Run();
}
