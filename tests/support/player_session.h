// Running the real player for end-to-end tests and benchmarks: an Xvfb display of its own, a
// user folder with stored channels from dmbscan, the VelmarPlayer process with its debug
// output, screenshots and keys through ImageMagick and xdotool.
#ifndef KORU_TESTS_SUPPORT_PLAYER_SESSION_H
#define KORU_TESTS_SUPPORT_PLAYER_SESSION_H

#include <dlfcn.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/environment.h"

namespace koru::test {

// The tools a session needs, or the name of the first one missing.
inline std::string MissingSessionTool() {
    for (const char* tool : {"Xvfb", "xdotool", "import"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) return tool;
    }
    return {};
}

// True when build/bin/librxmod.so offers the terminal's plug-in interface, so that "bbu://"
// URLs play.
inline bool ReceiverPluginPlays() {
    const std::string path = (BinDir() / "librxmod.so").string();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    const bool plays = dlsym(library, "QueryInterface") != nullptr &&
                       dlsym(library, "LoadInterface") != nullptr &&
                       dlsym(library, "ShutdownInterface") != nullptr;
    dlclose(library);
    return plays;
}

// Why a session cannot show the player playing (a tool missing, or a receiver plug-in that
// cannot play while no stand-in is given), or nothing.
inline std::string SessionUnavailable(bool standin) {
    if (std::string tool = MissingSessionTool(); !tool.empty()) return tool + " is not installed";
    if (!standin && !ReceiverPluginPlays()) {
        return "librxmod.so offers no terminal plug-in interface yet, so no \"bbu://\" URL can "
               "play";
    }
    return {};
}

// How often part occurs in text (a log line, say).
inline size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

inline bool WaitUntil(const std::function<bool()>& done, int timeout_ms, int step_ms = 50) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms) return false;
        QThread::msleep(static_cast<unsigned long>(step_ms));
    }
    return true;
}

// An X server of its own (white root window, so the player's shape shows against it).
class XvfbDisplay {
  public:
    ~XvfbDisplay() { Stop(); }

    bool Start(int width = 1024, int height = 768) {
        for (int number = 80 + static_cast<int>(getpid() % 100); number < 400; ++number) {
            const QString socket = QString("/tmp/.X11-unix/X%1").arg(number);
            if (QFile::exists(socket) || QFile::exists(QString("/tmp/.X%1-lock").arg(number)))
                continue;
            display_ = QString(":%1").arg(number);
            // -noreset: a program that connects just after the last one left never meets a
            // server in the middle of its reset.
            server_.start("Xvfb",
                          {display_, "-screen", "0", QString("%1x%2x24").arg(width).arg(height),
                           "-nolisten", "tcp", "-wr", "-noreset"});
            if (!server_.waitForStarted(5000)) return false;
            if (WaitUntil([&] { return QFile::exists(socket); }, 5000)) return true;
            server_.kill();
            server_.waitForFinished(2000);
        }
        return false;
    }
    void Stop() {
        if (server_.state() == QProcess::NotRunning) return;
        server_.terminate();
        if (!server_.waitForFinished(3000)) {
            server_.kill();
            server_.waitForFinished(2000);
        }
    }
    const QString& display() const { return display_; }

    // The whole screen as an image (also written to path when given).
    QImage Screenshot(const QString& path) const {
        QProcess import;
        import.start("import", {"-display", display_, "-window", "root", path});
        import.waitForFinished(10000);
        return QImage(path);
    }
    // xdotool with this display.
    bool Xdotool(const QStringList& arguments, QString* output = nullptr) const {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        tool.setProcessEnvironment(env);
        tool.start("xdotool", arguments);
        if (!tool.waitForFinished(10000)) return false;
        if (output != nullptr)
            *output = QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
        return tool.exitCode() == 0;
    }

  private:
    QString display_;
    QProcess server_;
};

// A user folder whose "channel.dat" and "channel.xml" come from dmbscan on the demo air (or
// the air of that receiver.conf).
inline bool PrepareChannels(const std::filesystem::path& home, const QStringList& frequencies,
                            std::string* error, const std::filesystem::path& receiver = {}) {
    QProcess scan;
    scan.setWorkingDirectory(QString::fromStdString(home.string()));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORU_DMB_HOME", QString::fromStdString(home.string()));
    env.remove("KORU_RECEIVER");
    if (!receiver.empty()) env.insert("KORU_RECEIVER", QString::fromStdString(receiver.string()));
    scan.setProcessEnvironment(env);
    QStringList arguments;
    for (const QString& frequency : frequencies)
        arguments << "--freq" << frequency;
    scan.start(QString::fromStdString((BinDir() / "dmbscan").string()), arguments);
    if (!scan.waitForFinished(60000) || scan.exitCode() != 0) {
        *error = "dmbscan failed: " + scan.readAllStandardError().toStdString();
        return false;
    }
    const QByteArray services = scan.readAllStandardOutput();
    QFile lines(QString::fromStdString((home / "scan.txt").string()));
    if (lines.open(QIODevice::WriteOnly)) lines.write(services);
    lines.close();
    QProcess store;
    store.setStandardInputFile(lines.fileName());
    store.start(QString::fromStdString((BinDir() / "mkchannels").string()),
                {"--language", "1", QString::fromStdString((home / "channel.xml").string())});
    if (!store.waitForFinished(10000) || store.exitCode() != 0) {
        *error = "mkchannels failed: " + store.readAllStandardError().toStdString();
        return false;
    }
    if (!std::filesystem::exists(home / "channel.dat")) {
        *error = "dmbscan wrote no channel.dat";
        return false;
    }
    return true;
}

// One Channel element of a "channel.xml": its list ("tv", "radio", "data"), its label as found
// (broadcast labels come padded with blanks), and the URL the player tunes for it. A service's
// index in the URL follows the order its ensemble's FIC announced it in, which depends on where
// the search began to listen: tests look services up by label or list position, never by index.
struct StoredChannel {
    std::string type;
    std::string label;
    std::string url;
};

// The Channel elements of a "channel.xml" text in file order.
inline std::vector<StoredChannel> StoredChannelsOf(const std::string& xml) {
    std::vector<StoredChannel> channels;
    static const QRegularExpression element(
        "<Channel type=\"([a-z]+)\" subch_id=\"(-?\\d+)\" freq=\"([0-9.]+)\" label=\"([^\"]*)\"");
    auto matches = element.globalMatch(QString::fromStdString(xml));
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const std::string type = match.captured(1).toStdString();
        const long khz = std::lround(match.captured(3).toDouble() * 1000);
        const std::string url = "bbu://" + std::to_string(khz) + "," +
                                match.captured(2).toStdString() + ",0." +
                                (type == "tv" ? "ts" : "mp2");
        channels.push_back({type, match.captured(4).trimmed().toStdString(), url});
    }
    return channels;
}

// The URL of the stored channel of that list and label, or of the list's first channel when the
// label is empty; empty when there is none.
inline std::string StoredUrl(const std::string& xml, const std::string& type,
                             const std::string& label = "") {
    for (const StoredChannel& channel : StoredChannelsOf(xml)) {
        if (channel.type == type && (label.empty() || channel.label == label)) return channel.url;
    }
    return {};
}

// The player's data-service folder below a user folder of PlayerProcess.
inline std::filesystem::path DataServiceFolder(const std::filesystem::path& home) {
    return home / "Documents" / "KORU-DMB" / "DataService";
}

// How far the middle band of the picture area of a screenshot differs from a picture file
// drawn 1:1 over it (mean per channel, 0 to 255), leaving out the caption at the top and the
// radio text at the foot.
inline double PictureDifference(const QImage& screen, const QRect& picture,
                                const std::filesystem::path& file) {
    const QImage expected(QString::fromStdString(file.string()));
    if (expected.isNull()) return 255;
    double sum = 0;
    int count = 0;
    for (int y = 34; y < 200 && y < expected.height() && y < picture.height(); ++y) {
        for (int x = 0; x < picture.width() && x < expected.width(); ++x) {
            const QRgb a = screen.pixel(picture.left() + x, picture.top() + y);
            const QRgb b = expected.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                   std::abs(qBlue(a) - qBlue(b));
            count += 3;
        }
    }
    return count > 0 ? sum / count : 255;
}

// The picture area shows the data-service display of a radio service: the logo, or one of the
// slides that came.
inline bool ShowsDataServiceDisplay(const QImage& screen, const QRect& picture,
                                    const std::filesystem::path& home) {
    if (PictureDifference(screen, picture, BinDir() / "dab_logo.jpg") < 4) return true;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(DataServiceFolder(home), error)) {
        if (entry.is_regular_file() && PictureDifference(screen, picture, entry.path()) < 4)
            return true;
    }
    return false;
}

// The player on a display, in a user folder, with its debug output in home/debug.log and its
// log in home/player.log. Its working folders lie below home/Documents.
class PlayerProcess {
  public:
    ~PlayerProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    // receiver: a receiver.conf for the emulated stick; empty: the demo air. arguments: the
    // player's command line (a file to play).
    bool Start(const QString& display, const std::filesystem::path& home,
               const std::filesystem::path& receiver = {}, const QStringList& arguments = {}) {
        home_ = home;
        // The documents folder of the player's working folders (slides, recordings).
        std::filesystem::create_directories(home / "config");
        if (!std::filesystem::exists(home / "config" / "user-dirs.dirs")) {
            QFile dirs(QString::fromStdString((home / "config" / "user-dirs.dirs").string()));
            if (dirs.open(QIODevice::WriteOnly)) {
                dirs.write(
                    ("XDG_DOCUMENTS_DIR=\"" + (home / "Documents").string() + "\"\n").c_str());
            }
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("KORU_DMB_HOME", QString::fromStdString(home.string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("KORU_LOG_LEVEL", "2");
        env.insert("KORU_DEBUG_LOG", QString::fromStdString((home / "debug.log").string()));
        env.remove("KORU_RECEIVER");
        if (!receiver.empty())
            env.insert("KORU_RECEIVER", QString::fromStdString(receiver.string()));
        env.remove("KORU_PROGRAM_DIR");
        for (const auto& [name, value] : extra_environment_)
            env.insert(name, value);
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(
            QString::fromStdString((working_folder_.empty() ? home : working_folder_).string()));
        process_.setStandardOutputFile(QString::fromStdString((home / "player.out").string()));
        process_.setStandardErrorFile(QString::fromStdString((home / "player.log").string()));
        const std::filesystem::path program =
            program_.empty() ? BinDir() / "VelmarPlayer" : program_;
        process_.start(QString::fromStdString(program.string()), arguments);
        return process_.waitForStarted(5000);
    }

    std::string Log() const { return ReadAll(home_ / "player.log"); }
    std::string DebugLog() const { return ReadAll(home_ / "debug.log"); }
    bool WaitForLog(const std::string& text, int timeout_ms) const {
        return WaitUntil([&] { return Log().find(text) != std::string::npos; }, timeout_ms);
    }
    bool WaitForDebug(const std::string& text, int timeout_ms) const {
        return WaitUntil([&] { return DebugLog().find(text) != std::string::npos; }, timeout_ms);
    }
    // The number after text in the debug output ("... after 123 ms"), or -1.
    long long DebugNumberAfter(const std::string& text) const {
        const std::string log = DebugLog();
        const size_t at = log.find(text);
        if (at == std::string::npos) return -1;
        return std::atoll(log.c_str() + at + text.size());
    }
    // Resident memory in kB.
    long long ResidentKb() const {
        const std::string status =
            ReadAll("/proc/" + std::to_string(process_.processId()) + "/status");
        const size_t at = status.find("VmRSS:");
        return at == std::string::npos ? -1 : std::atoll(status.c_str() + at + 6);
    }
    QProcess& process() { return process_; }
    // Another program than build/bin/VelmarPlayer (an installed launcher), started in another
    // folder than the user folder, with more environment.
    void set_program(const std::filesystem::path& program) { program_ = program; }
    void set_working_folder(const std::filesystem::path& folder) { working_folder_ = folder; }
    void SetEnvironment(const QString& name, const QString& value) {
        extra_environment_.emplace_back(name, value);
    }

  private:
    static std::string ReadAll(const std::filesystem::path& path) {
        QFile file(QString::fromStdString(path.string()));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return file.readAll().toStdString();
    }
    std::filesystem::path home_;
    std::filesystem::path program_;
    std::filesystem::path working_folder_;
    std::vector<std::pair<QString, QString>> extra_environment_;
    QProcess process_;
};

// The player on a display as a user drives it: started in a user folder with its main window
// found by its title, keys sent to a window (names separated by blanks), mouse clicks,
// screenshots into an artifact folder, and the exit by Alt+F4.
class PlayerSession {
  public:
    PlayerSession(XvfbDisplay& display, std::filesystem::path home, QString artifacts)
        : display_(display), home_(std::move(home)), artifacts_(std::move(artifacts)) {}

    // receiver: a receiver.conf for the emulated stick; empty: the demo air.
    bool Start(const QStringList& arguments = {}, const std::filesystem::path& receiver = {}) {
        if (!player_.Start(display_.display(), home_, receiver, arguments)) return false;
        if (!player_.WaitForDebug("window shown after", 15000)) return false;
        QString windows;
        display_.Xdotool({"search", "--sync", "--name", "KORU-DMB"}, &windows);
        main_window_ = windows.section('\n', 0, 0);
        QThread::msleep(1000);
        return !main_window_.isEmpty();
    }
    void Key(const QString& keys) { KeyTo(main_window_, keys); }
    void KeyTo(const QString& window, const QString& keys) {
        display_.Xdotool({"windowfocus", "--sync", window});
        display_.Xdotool(QStringList{"key", "--delay", "80"} + keys.split(' '));
    }
    void ClickAt(const QPoint& point, int repeat = 1) {
        display_.Xdotool(
            {"mousemove", "--sync", QString::number(point.x()), QString::number(point.y())});
        display_.Xdotool({"click", "--repeat", QString::number(repeat), "--delay", "120", "1"});
    }
    QImage Shot(const QString& name) { return display_.Screenshot(artifacts_ + "/" + name); }
    bool Exit() {
        Key("alt+F4");
        return player_.process().waitForFinished(20000) && player_.process().exitCode() == 0;
    }
    PlayerProcess& player() { return player_; }
    std::string Log() const { return player_.Log(); }
    const QString& main_window() const { return main_window_; }
    XvfbDisplay& display() { return display_; }
    const std::filesystem::path& home() const { return home_; }

  private:
    XvfbDisplay& display_;
    std::filesystem::path home_;
    QString artifacts_;
    PlayerProcess player_;
    QString main_window_;
};

}  // namespace koru::test

#endif
