// Start-up and shutdown: the single instance (a real second start of VelmarPlayer), the
// terminal's ini defaults and plug-in probe, and the shutdown order of the whole player.
#include <QProcess>
#include <QSettings>
#include <QtTest>
#include <filesystem>
#include <mutex>

#include "m4systems/folders.h"
#include "m4systems/log.h"
#include "m4systems/plugin.h"
#include "player/core/player_app.h"
#include "player/core/single_instance.h"
#include "player/core/terminal_setup.h"
#include "support/environment.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

using namespace koru::player;
using koru::test::TempDir;

namespace {

std::string IniText(const TempDir& folder) {
    return koru::test::ReadFile(folder / "KORU-DMB.cfg");
}

// Collects the log lines of one source while alive.
class LogCollector {
  public:
    explicit LogCollector(int level) : old_level_(M4_GetLogLevel()) {
        M4_SetLogLevel(level);
        M4_SetLogSink(&LogCollector::Sink, this);
    }
    ~LogCollector() {
        M4_SetLogSink(nullptr, nullptr);
        M4_SetLogLevel(old_level_);
    }
    std::vector<std::string> Lines(const std::string& source) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> lines;
        for (const auto& [line_source, text] : lines_) {
            if (line_source == source) lines.push_back(text);
        }
        return lines;
    }

  private:
    static void Sink(void* user, int channel, int, const char* source, const char* text) {
        auto* self = static_cast<LogCollector*>(user);
        if (channel != 0) return;
        std::lock_guard lock(self->mutex_);
        self->lines_.emplace_back(source != nullptr ? source : "", text != nullptr ? text : "");
    }
    int old_level_;
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> lines_;
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

  private slots:
    void QuotesAreStripped();
    void SecondInstanceHandsOverItsFile();
    void SecondStartWithoutArgumentsOnlyExits();
    void StaleSocketIsTakenOver();
    void FreshInstallGetsEveryDefaultOnce();
    void MissingIniOrPluginsAreFatal();
    void ShutdownOrder();
};

void StartupTest::QuotesAreStripped() {
    QCOMPARE(StripQuotes("\"/media/a b.ts\""), std::string("/media/a b.ts"));
    QCOMPARE(StripQuotes("\"\"x\"\""), std::string("\"x\""));
    QCOMPARE(StripQuotes("plain.ts"), std::string("plain.ts"));
    QCOMPARE(StripQuotes("\""), std::string());
    QCOMPARE(StripQuotes(""), std::string());
}

void StartupTest::SecondInstanceHandsOverItsFile() {
    TempDir home;
    koru::test::ScopedEnv env;
    env.Set("KORU_DMB_HOME", home.str());
    // The first player: this test, listening on the name the real program computes.
    SingleInstance first;
    QVERIFY(first.Claim());
    std::vector<std::string> received;
    first.SetReceiver([&](const std::string& text) { received.push_back(text); });

    QProcess second;
    second.setProgram(QString::fromStdString((koru::test::BinDir() / "VelmarPlayer").string()));
    second.setArguments({"\"/home/user/My Videos/KORU TV 1 3-3 14H 5M 9S.ts\""});
    second.start();
    QVERIFY(second.waitForStarted(5000));
    // The second start hands over and ends without opening a window or the terminal.
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 10000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), size_t{1}, 3000);
    QCOMPARE(received[0], std::string("/home/user/My Videos/KORU TV 1 3-3 14H 5M 9S.ts"));
}

void StartupTest::SecondStartWithoutArgumentsOnlyExits() {
    TempDir home;
    koru::test::ScopedEnv env;
    env.Set("KORU_DMB_HOME", home.str());
    SingleInstance first;
    QVERIFY(first.Claim());
    int received = 0;
    first.SetReceiver([&](const std::string&) { ++received; });
    QProcess second;
    second.start(QString::fromStdString((koru::test::BinDir() / "VelmarPlayer").string()), {});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QTest::qWait(200);
    QCOMPARE(received, 0);
    // Nothing of the player was set up in its user folder.
    QVERIFY(!std::filesystem::exists(home / "KORU-DMB.cfg"));
}

void StartupTest::StaleSocketIsTakenOver() {
    const QString name = QString("aura-test-stale-%1").arg(QCoreApplication::applicationPid());
    {
        // A server that vanished without removing its socket.
        QLocalServer dead;
        QVERIFY(dead.listen(name));
        const QString path = dead.fullServerName();
        dead.close();
        QFile(path).open(QIODevice::WriteOnly);
    }
    SingleInstance instance(name);
    QVERIFY(instance.Claim());
    SingleInstance another(name);
    QVERIFY(!another.Claim());
}

void StartupTest::FreshInstallGetsEveryDefaultOnce() {
    TempDir config;
    TempDir plugins;
    std::filesystem::copy_file(KORU_PROBE_PLUGIN, plugins / "libprobeplugin.so");
    // A fresh install: the ini names a plug-in folder that does not exist.
    koru::test::WriteFile(config / "KORU-DMB.cfg",
                          "[General]\nPluginsDirectory=/nowhere/plugins\n");
    TerminalSetup setup = SetUpTerminal(config.str(), plugins.str(), "/fonts");
    QCOMPARE(static_cast<int>(setup.result), static_cast<int>(TerminalSetupResult::kOk));
    QVERIFY(setup.used_fallback);
    // Every plug-in was asked once about "test.test" and shut down again.
    void* probe = PM_GetProcAddress(setup.plugins, "probeplugin", "ProbePluginAsked");
    QVERIFY(probe != nullptr);
    QCOMPARE(QString(reinterpret_cast<const char* (*)()>(probe)()), QString("test.test"));
    auto alive = reinterpret_cast<int (*)()>(
        PM_GetProcAddress(setup.plugins, "probeplugin", "ProbePluginAlive"));
    QCOMPARE(alive(), 0);
    IF_Delete(setup.ini);
    PM_Delete(setup.plugins);
    const std::string ini = IniText(config);
    for (const char* line :
         {"PluginsDirectory=", "GraphicsDriver=gdip_rend", "CacheDirectory=", "AutoReconfigUDP=yes",
          "UDPNotAvailable=no", "UDPTimeout=10000", "BufferLength=3000", "ForceConfig=yes",
          "NumBuffers=8", "BuffersPerSecond=16", "DriverName=gdip_rend", "FontDirectory=/fonts",
          "DriverName=dx_hw"}) {
        QVERIFY2(ini.find(line) != std::string::npos, line);
    }
    QVERIFY(ini.find("PluginsDirectory=" + plugins.str()) != std::string::npos);

    // A later start with the folder right: only missing audio and font keys are written.
    koru::test::WriteFile(config / "KORU-DMB.cfg", "[General]\nPluginsDirectory=" + plugins.str() +
                                                       "\n[Video]\nDriverName=raw_out\n");
    setup = SetUpTerminal(config.str(), plugins.str(), "/fonts");
    QCOMPARE(static_cast<int>(setup.result), static_cast<int>(TerminalSetupResult::kOk));
    QVERIFY(!setup.used_fallback);
    IF_Delete(setup.ini);
    PM_Delete(setup.plugins);
    const std::string later = IniText(config);
    QVERIFY(later.find("ForceConfig=yes") != std::string::npos);
    QVERIFY(later.find("FontDirectory=/fonts") != std::string::npos);
    QVERIFY(later.find("raw_out") == std::string::npos);
    QVERIFY(later.find("DriverName=dx_hw") != std::string::npos);
    for (const char* line : {"Network", "UDPTimeout", "GraphicsDriver", "CacheDirectory"})
        QVERIFY2(later.find(line) == std::string::npos, line);
    // And a third start writes nothing new.
    setup = SetUpTerminal(config.str(), plugins.str(), "/elsewhere");
    IF_Delete(setup.ini);
    PM_Delete(setup.plugins);
    QCOMPARE(IniText(config), later);
}

void StartupTest::MissingIniOrPluginsAreFatal() {
    TempDir config;
    TempDir empty;
    TerminalSetup setup = SetUpTerminal(config.str(), empty.str());
    QCOMPARE(static_cast<int>(setup.result), static_cast<int>(TerminalSetupResult::kNoIniFile));
    koru::test::WriteFile(config / "KORU-DMB.cfg", "[General]\n");
    setup = SetUpTerminal(config.str(), empty.str());
    QCOMPARE(static_cast<int>(setup.result), static_cast<int>(TerminalSetupResult::kNoPlugins));
    QVERIFY(setup.ini == nullptr);
    QVERIFY(setup.plugins == nullptr);
}

void StartupTest::ShutdownOrder() {
    TempDir home;
    TempDir config_home;
    koru::test::ScopedEnv env;
    env.Set("KORU_DMB_HOME", home.str());
    env.Set("XDG_CONFIG_HOME", config_home.str());
    env.Set("KORU_PROGRAM_DIR", koru::test::BinDir().string());
    env.Set("KORU_RECEIVER", "none");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(config_home.str()));
    // The plug-ins of this test: the streaming-client probe.
    TempDir plugins;
    std::filesystem::copy_file(KORU_PROBE_PLUGIN, plugins / "libprobeplugin.so");
    koru::test::WriteFile(home / "KORU-DMB.cfg",
                          "[General]\nPluginsDirectory=" + plugins.str() + "\n");

    LogCollector log(2);
    {
        PlayerApp app;
        QVERIFY(app.Start(""));
        QVERIFY(app.events()->running());
        QVERIFY(app.window()->isVisible());
        QCOMPARE(app.window()->windowTitle(), QString("KORU-DMB"));
        QCOMPARE(app.state().connection_state.load(), kConnectionIdle);
        QTest::qWait(100);  // the deferred start-up
        app.window()->move(140, 160);
        QVERIFY(app.controller()->Exit());
        QVERIFY(app.finished());
        QVERIFY(!app.events()->running());
        QVERIFY(!app.window()->isVisible());
    }
    const std::vector<std::string> exits = log.Lines("VelmarPostMessage");
    std::vector<std::string> steps;
    for (const std::string& line : exits) {
        if (line.rfind("VelmarExit", 0) == 0) steps.push_back(line);
    }
    QCOMPARE(steps, (std::vector<std::string>{"VelmarExit: 1", "VelmarExit: 2", "VelmarExit: 3",
                                              "VelmarExit: 4"}));
    // The settings were saved and the window position written.
    QVERIFY(std::filesystem::exists(home / "channel.xml"));
    QSettings profile(QSettings::IniFormat, QSettings::UserScope, "KORU-DMB", "VelmarPlayer");
    profile.beginGroup("VelmarPlayer");
    QCOMPARE(profile.value("Main_x").toInt(), 140);
    QCOMPARE(profile.value("Main_y").toInt(), 160);
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
