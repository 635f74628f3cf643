// The player end to end on an X server of its own: stored channels from dmbscan on the demo air,
// VelmarPlayer starts, plays the stored TV channel (the first picture arrives and is not black),
// switches to the radio channel with T (the audio layout), and exits with Alt+F4. Screenshots of
// both states are kept in the build tree (tests/artifacts/player_e2e).
//
// Exit status: 0 passed, 1 failed, 77 skipped (no X tools, or a receiver plug-in that cannot
// play "bbu://" URLs yet).
//
//   player_e2e [--standin PLUGIN_FOLDER]
// --standin plays through the plug-ins of that folder instead of the receiver plug-in (a
// stand-in that feeds test media for "bbu://" URLs); everything else is the same.
#include <QCoreApplication>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <set>

#include "player/skin/qt_skin.h"
#include "player/skin/skin_layout.h"
#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

using koru::test::PlayerProcess;
using koru::test::XvfbDisplay;

struct PictureStats {
    double mean_luma = 0;
    int distinct_colours = 0;
};

PictureStats Stats(const QImage& image, const QRect& area) {
    PictureStats stats;
    std::set<QRgb> colours;
    double sum = 0;
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QRgb pixel = image.pixel(x, y);
            sum += 0.299 * qRed(pixel) + 0.587 * qGreen(pixel) + 0.114 * qBlue(pixel);
            colours.insert(pixel & 0xF8F8F8);
            ++count;
        }
    }
    stats.mean_luma = count > 0 ? sum / count : 0;
    stats.distinct_colours = static_cast<int>(colours.size());
    return stats;
}

// How many pixels of area differ from the skin image drawn at the same place.
int DifferentPixels(const QImage& screen, const QRect& area, const QImage& expected) {
    int different = 0;
    for (int y = 0; y < area.height() && y < expected.height(); ++y) {
        for (int x = 0; x < area.width() && x < expected.width(); ++x) {
            if ((screen.pixel(area.left() + x, area.top() + y) & 0xFFFFFF) !=
                (expected.pixel(x, y) & 0xFFFFFF))
                ++different;
        }
    }
    return different;
}

int Run(const std::string& standin) {
    if (const std::string reason = koru::test::SessionUnavailable(!standin.empty());
        !reason.empty()) {
        std::printf("SKIP: %s\n", reason.c_str());
        return 77;
    }
    const QString artifacts =
        QString::fromUtf8(KORU_ARTIFACT_DIR) + (standin.empty() ? "" : "_standin");
    QDir().mkpath(artifacts);

    koru::test::TempDir home;
    std::string error;
    if (!koru::test::PrepareChannels(home.path(), {"208736"}, &error)) {
        std::fprintf(stderr, "FAILED: %s\n", error.c_str());
        return 1;
    }
    // The stored lists: TV 1, TV 2 and the radio of 208736 kHz (and the website).
    const std::string channels = koru::test::ReadFile(home / "channel.xml");
    CHECK(channels.find("label=\"KORU TV 1\"") != std::string::npos, "%s", channels.c_str());
    const std::string radio_url = koru::test::StoredUrl(channels, "radio", "KORU Radio");
    CHECK(!radio_url.empty(), "%s", channels.c_str());

    if (!standin.empty()) {
        koru::test::WriteFile(home / "KORU-DMB.cfg",
                              "[General]\nPluginsDirectory=" + standin + "\n");
    }
    XvfbDisplay display;
    if (!display.Start()) {
        std::fprintf(stderr, "FAILED: Xvfb did not start\n");
        return 1;
    }
    PlayerProcess player;
    CHECK(player.Start(display.display(), home.path()), "VelmarPlayer did not start");
    CHECK(player.WaitForDebug("window shown after", 10000), "no window\n%s", player.Log().c_str());
    CHECK(player.WaitForDebug("first picture after", 25000), "no picture\n%s",
          player.Log().c_str());
    QThread::msleep(1500);

    koru::skin::SkinLayout layout;
    layout.LoadLayout((koru::test::BinDir() / "Koru Digital.lay").string());
    const koru::skin::QtSkin skin(layout);
    // The window stands at its first-start place (100, 100).
    const QPoint origin(100, 100);
    const QRect picture = skin.AbsoluteRect("RG_Screen").translated(origin);

    const QImage tv = display.Screenshot(artifacts + "/tv.png");
    CHECK(!tv.isNull(), "no screenshot");
    if (!tv.isNull()) {
        const PictureStats stats = Stats(tv, picture.adjusted(2, 2, -2, -2));
        std::printf("TV picture: mean luma %.1f, %d colours\n", stats.mean_luma,
                    stats.distinct_colours);
        CHECK(stats.mean_luma > 30, "the picture is black (mean luma %.1f)", stats.mean_luma);
        CHECK(stats.distinct_colours > 40, "the picture is flat (%d colours)",
              stats.distinct_colours);
        // The window is shaped: its corner shows the white root window, its frame does not.
        CHECK((tv.pixel(origin) & 0xFFFFFF) == 0xFFFFFF, "corner %06x",
              tv.pixel(origin) & 0xFFFFFF);
        CHECK((tv.pixel(origin + QPoint(180, 2)) & 0xFFFFFF) != 0xFFFFFF, "the frame is missing");
        // A strong signal: the antenna shows all seven bars (the bitmap ending in 1).
        const QRect antenna = skin.AbsoluteRect("RG_ANTENNA").translated(origin);
        const int different = DifferentPixels(tv, antenna, skin.Image("BM_ATN_1"));
        CHECK(different == 0, "the antenna does not show seven bars (%d pixels differ)", different);
    }

    // T: the radio list, the audio layout, the radio channel plays.
    QString window;
    display.Xdotool({"search", "--name", "KORU-DMB"}, &window);
    window = window.section('\n', 0, 0);
    CHECK(!window.isEmpty(), "no window named KORU-DMB");
    display.Xdotool({"windowfocus", "--sync", window});
    display.Xdotool({"key", "t"});
    CHECK(player.WaitForLog(radio_url, 5000), "no radio connect\n%s", player.Log().c_str());
    CHECK(player.WaitForLog("first frame of " + radio_url, 20000),
          "the radio never "
          "delivered\n%s",
          player.Log().c_str());
    QThread::msleep(1500);
    const QImage radio = display.Screenshot(artifacts + "/radio.png");
    // The audio layout: the picture area shows the data-service display (the logo or a slide).
    CHECK(!radio.isNull() && koru::test::ShowsDataServiceDisplay(radio, picture, home.path()),
          "the picture area shows no data-service display");

    // Alt+F4: the orderly exit.
    display.Xdotool({"windowfocus", "--sync", window});
    display.Xdotool({"key", "alt+F4"});
    CHECK(player.process().waitForFinished(15000), "the player did not exit");
    CHECK(player.process().exitStatus() == QProcess::NormalExit && player.process().exitCode() == 0,
          "exit status %d", player.process().exitCode());
    const std::string log = player.Log();
    const size_t step4 = log.find("VelmarExit: 4");
    CHECK(log.find("VelmarExit: 1") < step4 && step4 != std::string::npos, "exit steps:\n%s",
          log.c_str());
    const std::string saved = koru::test::ReadFile(home / "channel.xml");
    CHECK(saved.find("<WatchInfo type=\"radio\"") != std::string::npos, "%s", saved.c_str());
    CHECK(std::filesystem::exists(home / "config" / "KORU-DMB" / "VelmarPlayer.ini"),
          "the window position was not written");
    QFile::remove(artifacts + "/player.log");
    QFile::copy(QString::fromStdString((home / "player.log").string()), artifacts + "/player.log");
    std::printf("screenshots: %s/tv.png, %s/radio.png\n", qPrintable(artifacts),
                qPrintable(artifacts));
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::string standin;
    if (argc == 3 && std::string(argv[1]) == "--standin") standin = argv[2];
    return Run(standin);
}
