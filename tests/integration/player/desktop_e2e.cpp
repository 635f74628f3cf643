// The player as a program of the Linux desktop, end to end under Xvfb (label "e2e"):
//   desktop_e2e mpris              the media controls over the session bus (run it under
//                                  dbus-run-session): gdbus calls on the demo air
//   desktop_e2e eti                --eti with the independent reference recording: its three
//                                  services listed and played, their labels on the bus
//   desktop_e2e not_eti            --eti with a file that is no ETI-NI recording: a clear
//                                  message, and the player starts all the same
//   desktop_e2e install CMAKE BUILD  cmake --install into a temporary prefix; the desktop files
//                                  validated; the player started from its desktop entry
// Screenshots stay in build/tests/artifacts/desktop_e2e. Exit status 0 passed, 1 failed, 77
// skipped (no X tools, no receiver plug-in that plays, no reference recording, no bus).
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "support/environment.h"
#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using koru::test::PlayerProcess;
using koru::test::WaitUntil;
using koru::test::XvfbDisplay;

constexpr const char* kAppId = "kr.koru_dmb.VelmarPlayer";
const QString kBusName = "org.mpris.MediaPlayer2.VelmarPlayer";
const QString kObjectPath = "/org/mpris/MediaPlayer2";
const QString kPlayer = "org.mpris.MediaPlayer2.Player";

QString Artifacts() {
    return QString::fromUtf8(KORU_ARTIFACT_DIR);
}

// A program's standard output (trimmed); *ok says whether it ended well.
QString Output(const QString& program, const QStringList& arguments, bool* ok = nullptr,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(20000);
    if (ok != nullptr)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())
        .trimmed();
}

// The player on the session bus, reached with gdbus.
class Bus {
  public:
    QString Get(const QString& property) {
        return Output("gdbus",
                      {"call", "--session", "--dest", kBusName, "--object-path", kObjectPath,
                       "--method", "org.freedesktop.DBus.Properties.Get", kPlayer, property});
    }
    bool Call(const QString& method, const QString& interface = kPlayer) {
        bool ok = false;
        Output("gdbus",
               {"call", "--session", "--dest", kBusName, "--object-path", kObjectPath, "--method",
                interface + "." + method},
               &ok);
        return ok;
    }
    // A property's text contains part within timeout_ms.
    bool WaitFor(const QString& property, const QString& part, int timeout_ms = 15000) {
        return WaitUntil([&] { return Get(property).contains(part); }, timeout_ms, 200);
    }
    bool NameOwned() {
        return Output("gdbus", {"call", "--session", "--dest", "org.freedesktop.DBus",
                                "--object-path", "/org/freedesktop/DBus", "--method",
                                "org.freedesktop.DBus.NameHasOwner", kBusName})
            .contains("true");
    }
};

bool HasSessionBus() {
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
           !QStandardPaths::findExecutable("gdbus").isEmpty();
}

// The number of "first frame of URL" lines of the player's log.
size_t FirstFrames(const PlayerProcess& player, const std::string& url) {
    return koru::test::CountOf(player.Log(), "first frame of " + url);
}

bool CloseWindow(const XvfbDisplay& display, PlayerProcess& player) {
    QString window;
    display.Xdotool({"search", "--name", "KORU-DMB"}, &window);
    display.Xdotool({"windowfocus", "--sync", window.section('\n', 0, 0)});
    display.Xdotool({"key", "alt+F4"});
    return player.process().waitForFinished(15000);
}

// ---- mpris ---------------------------------------------------------------------------------

int Mpris() {
    if (!HasSessionBus()) {
        std::printf("SKIP: no session bus (run under dbus-run-session) or no gdbus\n");
        return 77;
    }
    koru::test::TempDir home;
    std::string error;
    CHECK(koru::test::PrepareChannels(home.path(), {"208736"}, &error), "%s", error.c_str());
    XvfbDisplay display;
    CHECK(display.Start(), "Xvfb did not start");
    PlayerProcess player;
    CHECK(player.Start(display.display(), home.path()), "VelmarPlayer did not start");
    CHECK(player.WaitForDebug("first picture after", 30000), "no picture\n%s",
          player.Log().c_str());
    Bus bus;
    CHECK(WaitUntil([&] { return bus.NameOwned(); }, 10000), "%s is not on the bus",
          qPrintable(kBusName));
    QProcess monitor;
    monitor.start("gdbus", {"monitor", "--session", "--dest", kBusName});

    const QString identity = Output(
        "gdbus", {"call", "--session", "--dest", kBusName, "--object-path", kObjectPath, "--method",
                  "org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2", "DesktopEntry"});
    CHECK(identity.contains(kAppId), "DesktopEntry: %s", qPrintable(identity));
    CHECK(bus.WaitFor("PlaybackStatus", "'Playing'"), "%s", qPrintable(bus.Get("PlaybackStatus")));
    CHECK(bus.WaitFor("Metadata", "'xesam:title': <'KORU TV 1'>"), "%s",
          qPrintable(bus.Get("Metadata")));
    CHECK(bus.Get("Metadata").contains("'xesam:album': <'KORU Demo 12C'>"), "%s",
          qPrintable(bus.Get("Metadata")));

    // Next: the next channel of the list is tuned and named.
    const size_t tv2_frames = FirstFrames(player, "bbu://208736,1,0.ts");
    CHECK(bus.Call("Next"), "Next failed");
    CHECK(bus.WaitFor("Metadata", "'xesam:title': <'KORU TV 2'>"), "%s",
          qPrintable(bus.Get("Metadata")));
    CHECK(WaitUntil([&] { return FirstFrames(player, "bbu://208736,1,0.ts") > tv2_frames; }, 20000),
          "KORU TV 2 did not play\n%s", player.Log().c_str());
    CHECK(bus.WaitFor("PlaybackStatus", "'Playing'"), "%s", qPrintable(bus.Get("PlaybackStatus")));
    display.Screenshot(Artifacts() + "/mpris_next.png");

    // PlayPause on live TV: held in the time-shift cache, not stopped.
    const size_t stops = koru::test::CountOf(player.Log(), "velmar st stop");
    CHECK(bus.Call("PlayPause"), "PlayPause failed");
    CHECK(bus.WaitFor("PlaybackStatus", "'Paused'"), "%s", qPrintable(bus.Get("PlaybackStatus")));
    QThread::msleep(2500);
    display.Screenshot(Artifacts() + "/mpris_paused.png");
    CHECK(koru::test::CountOf(player.Log(), "velmar st stop") == stops, "the pause stopped TV");
    CHECK(bus.Call("PlayPause"), "PlayPause failed");
    CHECK(bus.WaitFor("PlaybackStatus", "'Playing'"), "%s", qPrintable(bus.Get("PlaybackStatus")));

    // Volume: the player's own volume follows (and is saved).
    bool set = false;
    Output("gdbus",
           {"call", "--session", "--dest", kBusName, "--object-path", kObjectPath, "--method",
            "org.freedesktop.DBus.Properties.Set", kPlayer, "Volume", "<0.25>"},
           &set);
    CHECK(set, "setting Volume failed");
    CHECK(bus.WaitFor("Volume", "0.25"), "%s", qPrintable(bus.Get("Volume")));
    CHECK(WaitUntil(
              [&] {
                  return koru::test::ReadFile(home / "channel.xml").find("volume=\"25\"") !=
                         std::string::npos;
              },
              5000),
          "the volume was not saved\n%s", koru::test::ReadFile(home / "channel.xml").c_str());

    CHECK(bus.Call("Stop"), "Stop failed");
    CHECK(bus.WaitFor("PlaybackStatus", "'Stopped'"), "%s", qPrintable(bus.Get("PlaybackStatus")));
    CHECK(bus.Call("Play"), "Play failed");
    CHECK(bus.WaitFor("PlaybackStatus", "'Playing'"), "%s", qPrintable(bus.Get("PlaybackStatus")));

    // A media key pressed in the window (no desktop here takes it): the same command.
    const size_t tv1_frames = FirstFrames(player, "bbu://208736,0,0.ts");
    QString window;
    display.Xdotool({"search", "--name", "KORU-DMB"}, &window);
    display.Xdotool({"windowfocus", "--sync", window.section('\n', 0, 0)});
    display.Xdotool({"key", "XF86AudioPrev"});
    CHECK(bus.WaitFor("Metadata", "'xesam:title': <'KORU TV 1'>"), "%s",
          qPrintable(bus.Get("Metadata")));
    CHECK(WaitUntil([&] { return FirstFrames(player, "bbu://208736,0,0.ts") > tv1_frames; }, 20000),
          "XF86AudioPrev did not tune KORU TV 1\n%s", player.Log().c_str());

    CHECK(bus.Call("Quit", "org.mpris.MediaPlayer2"), "Quit failed");
    CHECK(player.process().waitForFinished(15000), "the player did not quit");
    CHECK(WaitUntil([&] { return !bus.NameOwned(); }, 5000), "the name stayed on the bus");
    monitor.terminate();
    monitor.waitForFinished(3000);
    const QString announced = QString::fromUtf8(monitor.readAllStandardOutput());
    CHECK(announced.contains("PropertiesChanged") &&
              announced.contains("'PlaybackStatus': <'Paused'>"),
          "no change of PlaybackStatus was announced\n%s", qPrintable(announced));
    CHECK(announced.contains("'xesam:title': <'KORU TV 2'>"),
          "no change of Metadata was announced");
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

// ---- eti -----------------------------------------------------------------------------------

int Eti() {
    const fs::path eti = koru::test::ReferenceEti();
    if (eti.empty()) {
        std::printf("SKIP: no reference recording in %s\n", koru::test::ReferenceDir().c_str());
        return 77;
    }
    if (!HasSessionBus()) {
        std::printf("SKIP: no session bus (run under dbus-run-session) or no gdbus\n");
        return 77;
    }
    // dmbscan lists the recording's services on the frequency it was given.
    koru::test::TempDir scan_home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORU_DMB_HOME", QString::fromStdString(scan_home.str()));
    env.remove("KORU_RECEIVER");
    bool ok = false;
    const QString listed =
        Output(QString::fromStdString((koru::test::BinDir() / "dmbscan").string()),
               {"--eti", QString::fromStdString(eti.string()) + "@205280"}, &ok, env);
    CHECK(ok, "dmbscan failed: %s", qPrintable(listed));
    for (const char* line : {"205280\t0\t1\tAlpha Tone 440", "205280\t1\t1\tBravo Tone 1k",
                             "205280\t2\t1\tCharlie 2500Hz"}) {
        CHECK(listed.contains(line), "dmbscan did not list %s:\n%s", line, qPrintable(listed));
    }

    // The player searches the recording at start, lists its services and plays the first. It
    // is named relative to the folder the player starts in, which is not the user folder.
    koru::test::TempDir home;
    XvfbDisplay display;
    CHECK(display.Start(), "Xvfb did not start");
    PlayerProcess player;
    player.set_working_folder(eti.parent_path());
    CHECK(player.Start(display.display(), home.path(), {},
                       {"--eti", QString::fromStdString(eti.filename().string())}),
          "VelmarPlayer did not start");
    CHECK(player.WaitForLog("first frame of bbu://208736,0,0.mp2", 60000),
          "the first service did not play\n%s", player.Log().c_str());
    const std::string channels = koru::test::ReadFile(home / "channel.xml");
    for (const char* label : {"Alpha Tone 440", "Bravo Tone 1k", "Charlie 2500Hz"})
        CHECK(channels.find(label) != std::string::npos, "%s not stored", label);
    Bus bus;
    CHECK(bus.WaitFor("Metadata", "'xesam:title': <'Alpha Tone 440'>"), "%s",
          qPrintable(bus.Get("Metadata")));
    CHECK(bus.WaitFor("Metadata", "'xesam:album': <'Holdout Ens A'>"), "%s",
          qPrintable(bus.Get("Metadata")));
    CHECK(bus.WaitFor("Metadata", "HOLDOUT-A DLS"), "no dynamic label: %s",
          qPrintable(bus.Get("Metadata")));
    CHECK(bus.WaitFor("Metadata", "'mpris:artUrl': <'file://"), "no slide: %s",
          qPrintable(bus.Get("Metadata")));
    // The art is the slide the broadcast sent, byte for byte.
    const std::string metadata = bus.Get("Metadata").toStdString();
    std::smatch art;
    if (std::regex_search(metadata, art, std::regex("'mpris:artUrl': <'file://([^']+)'>"))) {
        const std::string slide = koru::test::ReadFile(art[1].str());
        CHECK(slide == koru::test::ReadFile(koru::test::ReferenceDir() / "slide1_blue.jpg") ||
                  slide == koru::test::ReadFile(koru::test::ReferenceDir() / "slide2_red.jpg"),
              "the art is not a slide of the recording: %s", art[1].str().c_str());
    }
    display.Screenshot(Artifacts() + "/eti_alpha.png");

    // Next plays the other two, each named on the bus.
    const char* next_labels[] = {"Bravo Tone 1k", "Charlie 2500Hz"};
    for (int index = 1; index <= 2; ++index) {
        CHECK(bus.Call("Next"), "Next failed");
        const std::string url = "bbu://208736," + std::to_string(index) + ",0.mp2";
        CHECK(player.WaitForLog("first frame of " + url, 20000), "%s did not play", url.c_str());
        CHECK(bus.WaitFor("Metadata", QString("'xesam:title': <'%1'>").arg(next_labels[index - 1])),
              "%s", qPrintable(bus.Get("Metadata")));
    }
    QThread::msleep(2000);
    display.Screenshot(Artifacts() + "/eti_charlie.png");
    CHECK(CloseWindow(display, player), "the player did not exit");
    // Each service played sound.
    const std::string log = player.Log();
    const std::regex closed("closed: \\d+ pictures and (\\d+) audio samples played");
    int sounding = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), closed);
         it != std::sregex_iterator(); ++it) {
        if (std::stol((*it)[1]) > 0) ++sounding;
    }
    CHECK(sounding >= 3, "%d services played sound\n%s", sounding, log.c_str());
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

// ---- not_eti -------------------------------------------------------------------------------

int NotEti() {
    koru::test::TempDir home;
    const fs::path picture = home / "holiday.jpg";
    koru::test::WriteFile(picture, std::string(30000, '\xFF'));
    XvfbDisplay display;
    CHECK(display.Start(), "Xvfb did not start");
    PlayerProcess player;
    CHECK(player.Start(display.display(), home.path(), {},
                       {"--eti", QString::fromStdString(picture.string())}),
          "VelmarPlayer did not start");
    CHECK(player.WaitForLog("recording not on the air", 15000), "%s", player.Log().c_str());
    CHECK(player.Log().find("holds no good ETI-NI frame") != std::string::npos, "%s",
          player.Log().c_str());
    QString box;
    CHECK(WaitUntil(
              [&] {
                  return display.Xdotool({"search", "--name", "KORU-DMB"}, &box);
              },
              10000),
          "no message box");
    QThread::msleep(500);
    display.Screenshot(Artifacts() + "/not_eti_message.png");
    display.Xdotool({"windowfocus", "--sync", box.section('\n', 0, 0)});
    display.Xdotool({"key", "Return"});
    // The player goes on with its own receiver: the demo stick, found by the receiver check.
    CHECK(player.WaitForLog("receiver present", 15000), "%s", player.Log().c_str());
    QThread::msleep(1500);
    display.Screenshot(Artifacts() + "/not_eti_started.png");
    CHECK(player.process().state() == QProcess::Running, "the player ended");
    CHECK(CloseWindow(display, player), "the player did not exit");
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

// ---- install -------------------------------------------------------------------------------

// The command of the desktop entry's Exec line, found on path.
fs::path ExecProgram(const std::string& entry, const QString& path) {
    std::smatch exec;
    if (!std::regex_search(entry, exec, std::regex("\nExec=([^ \n]+)"))) return {};
    return QStandardPaths::findExecutable(QString::fromStdString(exec[1].str()), {path})
        .toStdString();
}

int Install(const QString& cmake, const QString& build) {
    koru::test::TempDir prefix;
    bool ok = false;
    const QString installed =
        Output(cmake, {"--install", build, "--prefix", QString::fromStdString(prefix.str())}, &ok);
    CHECK(ok, "cmake --install failed:\n%s", qPrintable(installed));
    const fs::path program_folder = prefix / "lib/koru-dmb";
    for (const char* file : {"VelmarPlayer", "librxmod.so", "libm4systems.so", "libusbdev.so",
                             "upcheckEngKORU", "dmbscan", "Koru Digital.lay", "dab_logo.jpg",
                             "KORU-DMB.cfg", "demo/receiver.conf", "demo/208736.eti"}) {
        CHECK(fs::exists(program_folder / file), "no %s in the program folder", file);
    }
    std::error_code error;
    CHECK(fs::read_symlink(prefix / "bin/VelmarPlayer", error) == "../lib/koru-dmb/VelmarPlayer",
          "bin/VelmarPlayer is no relative link into the program folder");
    const fs::path entry = prefix / "share/applications" / (std::string(kAppId) + ".desktop");
    const fs::path metainfo = prefix / "share/metainfo" / (std::string(kAppId) + ".metainfo.xml");
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const std::string size = std::to_string(side) + "x" + std::to_string(side);
        const QImage icon(QString::fromStdString(
            (prefix / "share/icons/hicolor" / size / "apps" / (std::string(kAppId) + ".png"))
                .string()));
        CHECK(icon.width() == side && icon.height() == side, "no %s icon", size.c_str());
    }
    const QString desktop_check =
        Output("desktop-file-validate", {QString::fromStdString(entry.string())}, &ok);
    CHECK(ok && desktop_check.isEmpty(), "desktop-file-validate: %s", qPrintable(desktop_check));
    const QString appstream_check = Output(
        "appstreamcli", {"validate", "--no-net", QString::fromStdString(metainfo.string())}, &ok);
    CHECK(ok, "appstreamcli validate: %s", qPrintable(appstream_check));
    const std::string desktop = koru::test::ReadFile(entry);
    CHECK(desktop.find("\nName[ko]=") != std::string::npos, "no Korean name");
    CHECK(desktop.find("\nIcon=" + std::string(kAppId) + "\n") != std::string::npos, "no icon");

    // The menu entry's command, on a PATH that holds the prefix's bin as a system's would.
    const QString path = QString::fromStdString((prefix / "bin").string());
    const fs::path launcher = ExecProgram(desktop, path);
    CHECK(launcher == prefix / "bin/VelmarPlayer", "Exec runs %s", launcher.c_str());
    if (launcher.empty()) return 1;

    // Channels of the demo air, searched with the installed dmbscan.
    koru::test::TempDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORU_DMB_HOME", QString::fromStdString(home.str()));
    env.remove("KORU_RECEIVER");
    env.remove("KORU_PROGRAM_DIR");
    QProcess scan;
    scan.setProcessEnvironment(env);
    scan.setWorkingDirectory(QString::fromStdString(home.str()));
    scan.setStandardOutputFile(QString::fromStdString((home / "scan.txt").string()));
    scan.start(QString::fromStdString((prefix / "bin/dmbscan").string()), {"--freq", "208736"});
    CHECK(scan.waitForFinished(60000) && scan.exitCode() == 0, "the installed dmbscan failed");
    QProcess store;
    store.setStandardInputFile(QString::fromStdString((home / "scan.txt").string()));
    store.start(QString::fromStdString((koru::test::BinDir() / "mkchannels").string()),
                {"--language", "1", QString::fromStdString((home / "channel.xml").string())});
    CHECK(store.waitForFinished(10000) && store.exitCode() == 0, "mkchannels failed");

    XvfbDisplay display;
    CHECK(display.Start(), "Xvfb did not start");
    PlayerProcess player;
    player.set_program(launcher);
    player.SetEnvironment("PATH", path + ":" + qEnvironmentVariable("PATH"));
    CHECK(player.Start(display.display(), home.path()), "the installed player did not start");
    CHECK(player.WaitForDebug("first picture after", 30000), "no picture\n%s",
          player.Log().c_str());
    // It runs from the installed tree, with the installed plug-in.
    const std::string pid = std::to_string(player.process().processId());
    CHECK(fs::read_symlink("/proc/" + pid + "/exe", error) == program_folder / "VelmarPlayer",
          "the player runs from %s", fs::read_symlink("/proc/" + pid + "/exe", error).c_str());
    const std::string maps = koru::test::ReadFile("/proc/" + pid + "/maps");
    CHECK(maps.find((program_folder / "librxmod.so").string()) != std::string::npos,
          "the installed plug-in is not loaded");
    CHECK(maps.find(koru::test::BinDir().string() + "/lib") == std::string::npos,
          "a library of the build tree is loaded");
    QThread::msleep(3000);
    display.Screenshot(Artifacts() + "/installed_player.png");
    CHECK(CloseWindow(display, player), "the installed player did not exit");
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::string scenario = argc > 1 ? argv[1] : "";
    if (const std::string reason = koru::test::SessionUnavailable(false); !reason.empty()) {
        std::printf("SKIP: %s\n", reason.c_str());
        return 77;
    }
    QDir().mkpath(Artifacts());
    if (scenario == "mpris") return Mpris();
    if (scenario == "eti") return Eti();
    if (scenario == "not_eti") return NotEti();
    if (scenario == "install" && argc == 4) return Install(argv[2], argv[3]);
    std::fprintf(stderr, "usage: desktop_e2e mpris | eti | not_eti | install CMAKE BUILD\n");
    return 2;
}
