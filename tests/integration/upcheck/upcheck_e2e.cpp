// The update checker's programs end to end on an X server of their own, against Python's
// http.server on 127.0.0.1 and the real wget: for the English and the Korean build, each
// outcome's message box (the download question, the browser failing, the latest version, no
// information, the checker broken) and the window while a download stalls, each kept as a
// screenshot in the build tree (tests/artifacts/upcheck_e2e). The browser is a stand-in
// "xdg-open" on PATH that writes down the URL it was given.
//
// Exit status: 0 passed, 1 failed, 77 skipped (no X tools or no python3).
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTcpServer>
#include <cstdio>

#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

using koru::test::TempDir;
using koru::test::WaitUntil;
using koru::test::XvfbDisplay;
namespace fs = std::filesystem;

constexpr const char* kBoxName = "^Version Check$";

// python3 -m http.server on a free port of 127.0.0.1, serving folder.
class PythonServer {
  public:
    ~PythonServer() {
        process_.kill();
        process_.waitForFinished(3000);
    }
    bool Start(const fs::path& folder) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("python3", {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                   "--directory", QString::fromStdString(folder.string())});
        if (!process_.waitForStarted(5000)) return false;
        const QRegularExpression serving("port (\\d+)");
        QByteArray output;
        while (process_.waitForReadyRead(10000)) {
            output += process_.readAll();
            const QRegularExpressionMatch match = serving.match(QString::fromLatin1(output));
            if (match.hasMatch()) {
                port_ = match.captured(1).toInt();
                return true;
            }
        }
        return false;
    }
    QString Url(const QString& path) const {
        return QString("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }

  private:
    QProcess process_;
    int port_ = 0;
};

struct Folders {
    TempDir root;
    fs::path www = root / "www";
    fs::path with_browser = root / "path-browser";  // wget and the stand-in xdg-open
    fs::path without_browser = root / "path-wget";  // wget only
    fs::path without_wget = root / "path-empty";
    fs::path opened = root / "opened.txt";  // the URLs the stand-in browser was given
    fs::path wgetrc = root / "wgetrc";      // empty: none of the user's own settings
};

void Prepare(Folders& folders) {
    for (const fs::path& path :
         {folders.www / "newer", folders.www / "current", folders.www / "missing",
          folders.with_browser, folders.without_browser, folders.without_wget})
        fs::create_directories(path);
    koru::test::WriteFile(folders.www / "newer" / "proginfo.txt",
                          "version=2.300\nfilename=KORU-DMB-2.300.deb\n");
    koru::test::WriteFile(folders.www / "current" / "proginfo.txt",
                          "version=2.241\nfilename=KORU-DMB-2.241.deb\n");
    koru::test::WriteFile(folders.wgetrc, "");
    const fs::path wget = QStandardPaths::findExecutable("wget").toStdString();
    fs::create_symlink(wget, folders.with_browser / "wget");
    fs::create_symlink(wget, folders.without_browser / "wget");
    const fs::path browser = folders.with_browser / "xdg-open";
    koru::test::WriteFile(
        browser, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + folders.opened.string() + "'\n");
    fs::permissions(browser, fs::perms::owner_all);
}

// One run of a checker program in a working folder of its own.
class Checker {
  public:
    ~Checker() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    bool Start(const XvfbDisplay& display, const QString& program, const QString& base,
               const fs::path& path, const fs::path& work, const fs::path& wgetrc) {
        fs::create_directories(work);
        work_ = work;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display.display());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("PATH", QString::fromStdString(path.string()));
        env.insert("KORU_UPCHECK_URL", base);
        env.insert("WGETRC", QString::fromStdString(wgetrc.string()));
        env.insert("KORU_DEBUG_LOG", QString::fromStdString((work / "debug.log").string()));
        for (const char* proxy : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy"})
            env.remove(proxy);
        env.remove("BROWSER");
        env.remove("DEFAULT_BROWSER");
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(QString::fromStdString(work.string()));
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(
            QString::fromStdString((koru::test::BinDir() / program.toStdString()).string()),
            {"2.241"});
        return process_.waitForStarted(5000);
    }
    bool Ended(int timeout_ms) {
        return process_.waitForFinished(timeout_ms) &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }
    bool InfoFileLeft() const { return fs::exists(work_ / "proginfo.txt"); }
    std::string Output() { return process_.readAll().toStdString(); }

  private:
    QProcess process_;
    fs::path work_;
};

// The id of the visible window whose name matches, other than not_this, or empty.
QString WaitForWindow(const XvfbDisplay& display, const QString& name,
                      const QString& not_this = {}) {
    QString found;
    WaitUntil(
        [&] {
            QString ids;
            display.Xdotool({"search", "--onlyvisible", "--name", name}, &ids);
            for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) {
                if (id != not_this) found = id;
            }
            return !found.isEmpty();
        },
        15000, 100);
    return found;
}

void Press(const XvfbDisplay& display, const QString& window, const char* key) {
    display.Xdotool({"windowfocus", "--sync", window});
    display.Xdotool({"key", key});
}

// Waits for the message box, keeps the screen as name.png and answers it with Return.
QString ShootBox(const XvfbDisplay& display, const QString& artifacts, const QString& name,
                 const QString& not_this = {}) {
    const QString box = WaitForWindow(display, kBoxName, not_this);
    CHECK(!box.isEmpty(), "no \"Version Check\" box for %s", qPrintable(name));
    if (box.isEmpty()) return box;
    QThread::msleep(300);  // drawn
    CHECK(!display.Screenshot(artifacts + "/" + name + ".png").isNull(), "no screenshot %s",
          qPrintable(name));
    Press(display, box, "Return");
    return box;
}

void RunLanguage(const XvfbDisplay& display, const PythonServer& server, Folders& folders,
                 const QString& artifacts, const QString& program, const QString& suffix) {
    const fs::path work = folders.root / ("work-" + suffix.toStdString());
    const QString newer = server.Url("/newer/");
    {
        // A newer version: the question; Yes (Return) opens the installer's URL.
        fs::remove(folders.opened);
        Checker checker;
        CHECK(checker.Start(display, program, newer, folders.with_browser, work / "question",
                            folders.wgetrc),
              "%s did not start", qPrintable(program));
        ShootBox(display, artifacts, "question-" + suffix);
        CHECK(checker.Ended(15000), "%s did not end: %s", qPrintable(program),
              checker.Output().c_str());
        CHECK(WaitUntil([&] { return fs::exists(folders.opened); }, 5000), "no URL was opened");
        const std::string opened = koru::test::ReadFile(folders.opened);
        CHECK(opened == (newer + "KORU-DMB-2.300.deb\n").toStdString(), "opened %s",
              opened.c_str());
        CHECK(!checker.InfoFileLeft(), "proginfo.txt was left");
        const std::string debug = koru::test::ReadFile(work / "question" / "debug.log");
        CHECK(debug.find("server " + newer.toStdString()) != std::string::npos, "debug: %s",
              debug.c_str());
    }
    {
        // No browser to open it: the second box says so.
        Checker checker;
        CHECK(checker.Start(display, program, newer, folders.without_browser, work / "browser",
                            folders.wgetrc),
              "%s did not start", qPrintable(program));
        const QString question = WaitForWindow(display, kBoxName);
        if (!question.isEmpty()) Press(display, question, "Return");
        ShootBox(display, artifacts, "browser-failed-" + suffix, question);
        CHECK(checker.Ended(15000), "%s did not end", qPrintable(program));
    }
    const struct {
        const char* name;
        QString base;
        fs::path path;
    } single_box[] = {
        {"latest", server.Url("/current/"), folders.with_browser},
        {"no-information", server.Url("/missing/"), folders.with_browser},
        {"checker-broken", newer, folders.without_wget},
    };
    for (const auto& outcome : single_box) {
        Checker checker;
        CHECK(checker.Start(display, program, outcome.base, outcome.path, work / outcome.name,
                            folders.wgetrc),
              "%s did not start", qPrintable(program));
        ShootBox(display, artifacts, QString(outcome.name) + "-" + suffix);
        CHECK(checker.Ended(15000), "%s did not end after %s", qPrintable(program), outcome.name);
        CHECK(!checker.InfoFileLeft(), "proginfo.txt was left after %s", outcome.name);
    }
}

// A server that takes the connection and never answers: the window shows its dots until
// Escape closes it.
void RunStalled(const XvfbDisplay& display, Folders& folders, const QString& artifacts,
                const QString& program, const QString& caption, const QString& suffix) {
    QTcpServer silent;
    CHECK(silent.listen(QHostAddress::LocalHost, 0), "no port");
    const QString base = QString("http://127.0.0.1:%1/koru_dmb/latest/").arg(silent.serverPort());
    Checker checker;
    CHECK(
        checker.Start(display, program, base, folders.with_browser,
                      folders.root / ("work-" + suffix.toStdString()) / "stalled", folders.wgetrc),
        "%s did not start", qPrintable(program));
    const QString window = WaitForWindow(display, "^" + caption + "$");
    CHECK(!window.isEmpty(), "no window named %s", qPrintable(caption));
    QThread::msleep(1800);  // a few dots
    display.Screenshot(artifacts + "/checking-" + suffix + ".png");
    if (!window.isEmpty()) Press(display, window, "Escape");
    CHECK(checker.Ended(10000), "%s did not end on Escape", qPrintable(program));
    CHECK(!checker.InfoFileLeft(), "proginfo.txt was left");
}

int Run() {
    for (const char* tool : {"python3", "wget"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            std::printf("SKIP: %s is not installed\n", tool);
            return 77;
        }
    }
    if (const std::string tool = koru::test::MissingSessionTool(); !tool.empty()) {
        std::printf("SKIP: %s is not installed\n", tool.c_str());
        return 77;
    }
    const QString artifacts = QString::fromUtf8(KORU_ARTIFACT_DIR);
    QDir().mkpath(artifacts);
    Folders folders;
    Prepare(folders);
    PythonServer server;
    if (!server.Start(folders.www)) {
        std::fprintf(stderr, "FAILED: python3 -m http.server did not start\n");
        return 1;
    }
    XvfbDisplay display;
    if (!display.Start(800, 600)) {
        std::fprintf(stderr, "FAILED: Xvfb did not start\n");
        return 1;
    }
    RunLanguage(display, server, folders, artifacts, "upcheckEngKORU", "en");
    RunLanguage(display, server, folders, artifacts, "upcheckKORU", "ko");
    RunStalled(display, folders, artifacts, "upcheckEngKORU", "KORU-DMB New Program Check", "en");
    RunStalled(display, folders, artifacts, "upcheckTALVEN", "TALVEN New Program Check", "ko");
    std::printf("screenshots: %s\n", qPrintable(artifacts));
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return Run();
}
