// The update checker's window against a real HTTP server on 127.0.0.1 and the real "wget":
// each outcome's message box (question, latest, no information, checker broken, browser
// failed), untrusted information files, the dot animation on a hand-driven poll timer, and
// closing during a download that stalls. URLs are observed through the window's opener.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <filesystem>
#include <map>
#include <memory>

#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "upcheck/upcheck_dlg.h"

using namespace koru::upcheck;
using koru::test::ScopedEnv;
using koru::test::TempDir;

namespace {

constexpr const char* kHost = "www.koru-dmb.example";
constexpr const char* kServerPath = "/koru_dmb/latest/";

// A small HTTP/1.0 server: each path answers with a status and a body, or sends its first
// bytes and then holds the connection open.
class LocalHttpServer : public QObject {
  public:
    LocalHttpServer() {
        connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
    }
    bool Listen() { return server_.listen(QHostAddress::LocalHost, 0); }
    QString Url(const QString& path) const {
        return QString("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    void Serve(const QString& path, const QByteArray& body) { routes_[path] = {200, body, 0}; }
    // Announces length bytes, sends the first ones and stalls.
    void Stall(const QString& path, int length, const QByteArray& first) {
        routes_[path] = {200, first, length};
    }
    QStringList requests() const { return requests_; }
    int open_connections() const { return open_; }

  private:
    struct Route {
        int status = 404;
        QByteArray body;
        int stalled_length = 0;  // 0: the whole body, then close
    };

    void Accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            ++open_;
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                --open_;
                socket->deleteLater();
            });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Answer(socket); });
        }
    }
    void Answer(QTcpSocket* socket) {
        QByteArray& request = pending_[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) return;
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        requests_ << path;
        const auto it = routes_.find(path);
        const Route route = it != routes_.end() ? it->second : Route{};
        const int length = route.stalled_length > 0 ? route.stalled_length : route.body.size();
        socket->write(QString("HTTP/1.0 %1 %2\r\nContent-Type: text/plain\r\n"
                              "Content-Length: %3\r\n\r\n")
                          .arg(route.status)
                          .arg(route.status == 200 ? "OK" : "Not Found")
                          .arg(length)
                          .toLatin1());
        socket->write(route.body);
        if (route.stalled_length == 0) socket->disconnectFromHost();
    }

    QTcpServer server_;
    std::map<QString, Route> routes_;
    std::map<QTcpSocket*, QByteArray> pending_;
    QStringList requests_;
    int open_ = 0;
};

class ManualTimer : public PollTimer {
  public:
    void Start(int period_ms, std::function<void()> tick) override {
        period = period_ms;
        tick_ = std::move(tick);
        active = true;
    }
    void Stop() override { active = false; }
    void Fire() {
        if (active) tick_();
    }
    bool active = false;
    int period = 0;

  private:
    std::function<void()> tick_;
};

struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool question = false;
    QStringList buttons;
};

// Answers every message box the moment it is shown, recording what it said.
class BoxAnswerer : public QObject {
  public:
    explicit BoxAnswerer(bool yes) : yes_(yes) {
        connect(&poll_, &QTimer::timeout, this, [this] { Answer(); });
        poll_.start(10);
    }
    std::vector<Box> boxes;

  private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        const bool question = box->button(QMessageBox::Yes) != nullptr;
        QStringList buttons;
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        buttons.sort();
        boxes.push_back({box->windowTitle(), box->text(), box->icon(), question, buttons});
        QAbstractButton* button = question ? box->button(yes_ ? QMessageBox::Yes : QMessageBox::No)
                                           : box->button(QMessageBox::Ok);
        button->click();
    }
    QTimer poll_;
    bool yes_;
};

// One check in its own folder: the window over a hand-driven timer, the URLs it opened.
struct Check {
    explicit Check(const QString& base, Language language = Language::kEnglish,
                   const std::string& current = "2.241") {
        VersionCheck::Setup setup;
        setup.host = kHost;
        setup.base_path = base.toStdString();
        setup.current_version = current;
        setup.working_folder = folder.str();
        dialog = std::make_unique<UpcheckDlg>(FindBuildVariant("KORU", language), setup, &timer);
        dialog->SetUrlOpener([this](const QUrl& url) {
            opened << url.toString();
            return browser_works;
        });
        QObject::connect(dialog.get(), &UpcheckDlg::ended, [this] { ++ended; });
        dialog->show();
    }
    // Starts the check and ticks until it is over (the boxes are answered meanwhile).
    bool Run(int timeout_ms = 20000) {
        dialog->StartCheck();
        QElapsedTimer clock;
        clock.start();
        while (!dialog->check().ended()) {
            if (clock.elapsed() > timeout_ms) return false;
            QTest::qWait(20);
            timer.Fire();
        }
        return true;
    }
    std::filesystem::path InfoFile() const { return folder / "proginfo.txt"; }
    QString Status() const { return dialog->findChild<QLabel*>("status_1000")->text(); }

    TempDir folder;
    ManualTimer timer;
    std::unique_ptr<UpcheckDlg> dialog;
    QStringList opened;
    bool browser_works = true;
    int ended = 0;
};

const char* kNoInformation =
    "It is impossible to download the information about the latest updated version.\n"
    "Please kindly check whether there are problems on network or not.\n"
    "If there is no problem on network, then please retry it.\n"
    "If the problems still occurred,\n"
    "We're really regret to say this but please kindly visit our company homepage "
    "(www.koru-dmb.example).";

}  // namespace

class UpcheckTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void NewerVersionAsksAndYesOpensTheInstaller();
    void OutcomesOfTheInformationFile_data();
    void OutcomesOfTheInformationFile();
    void UntrustedFileNamesOpenNothing_data();
    void UntrustedFileNamesOpenNothing();
    void KoreanBuildAsksInKoreanAndNoOpensNothing();
    void BrowserRefusalIsReported();
    void ServerDownOrMissingFileGiveNoInformation();
    void MissingWgetBreaksTheChecker();
    void DotsCycleAndClosingKillsAStalledDownload();

  private:
    std::unique_ptr<LocalHttpServer> server_;
    std::unique_ptr<ScopedEnv> env_;
    TempDir settings_folder_;
    QString base_;
};

void UpcheckTest::init() {
    env_ = std::make_unique<ScopedEnv>();
    for (const char* proxy : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy"})
        env_->Unset(proxy);
    // Only the system's settings: none of the user's own.
    koru::test::WriteFile(settings_folder_ / "wgetrc", "");
    env_->Set("WGETRC", (settings_folder_ / "wgetrc").string());
    server_ = std::make_unique<LocalHttpServer>();
    QVERIFY(server_->Listen());
    base_ = server_->Url(kServerPath);
}

void UpcheckTest::NewerVersionAsksAndYesOpensTheInstaller() {
    server_->Serve("/koru_dmb/latest/proginfo.txt",
                   "version=2.300\r\nfilename=KORU-DMB-2.300.deb\r\n");
    Check check(base_);
    // An information file left from before goes first: wget would write "proginfo.txt.1".
    koru::test::WriteFile(check.InfoFile(), "version=0.1\n");
    BoxAnswerer answerer(true);
    QVERIFY(check.Run());
    QCOMPARE(server_->requests(), QStringList{"/koru_dmb/latest/proginfo.txt"});
    QCOMPARE(answerer.boxes.size(), size_t{1});
    const Box& box = answerer.boxes[0];
    QCOMPARE(box.title, QString("Version Check"));
    QVERIFY(box.question);
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.text, QString("The current programme\t: 2.241\nThe latest programme\t: 2.300\n"
                               "Would you please kindly download the latest programme?"));
    QCOMPARE(check.opened, QStringList{base_ + "KORU-DMB-2.300.deb"});
    QVERIFY(!std::filesystem::exists(check.InfoFile()));
    QCOMPARE(check.ended, 1);
    QVERIFY(check.dialog->isHidden());
}

void UpcheckTest::OutcomesOfTheInformationFile_data() {
    QTest::addColumn<QString>("current");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("opened");  // after Yes; empty: nothing
    const QString latest = "This is the latest version of the programme.";
    QTest::newRow("equal") << "2.241" << QByteArray("version=2.241\nfilename=x.deb\n") << latest
                           << "";
    QTest::newRow("older") << "2.241" << QByteArray("version=2.24\nfilename=x.deb\n") << latest
                           << "";
    QTest::newRow("1.10 is below 1.9")
        << "1.9" << QByteArray("version=1.10\nfilename=x.deb\n") << latest << "";
    QTest::newRow("no version prefix")
        << "2.241" << QByteArray("ver=9.0\nfilename=x.deb\n") << latest << "";
    QTest::newRow("empty file") << "2.241" << QByteArray() << latest << "";
    QTest::newRow("no second line, no newline")
        << "2.241" << QByteArray("version=3.0") << "question"
        << "base";
    QTest::newRow("no filename prefix")
        << "2.241" << QByteArray("version=3.0\nname=x.deb\n") << "question"
        << "base";
    QTest::newRow("line over 255 characters")
        << "2.241" << QByteArray("version=3.0" + QByteArray(250, ' ') + "\nfilename=x.deb\n")
        << kNoInformation << "";
    QTest::newRow("NUL byte") << "2.241" << QByteArray("version=3.0") + '\0' + "\nfilename=x.deb\n"
                              << kNoInformation << "";
}

void UpcheckTest::OutcomesOfTheInformationFile() {
    QFETCH(QString, current);
    QFETCH(QByteArray, file);
    QFETCH(QString, box);
    QFETCH(QString, opened);
    server_->Serve("/koru_dmb/latest/proginfo.txt", file);
    Check check(base_, Language::kEnglish, current.toStdString());
    BoxAnswerer answerer(true);
    QVERIFY(check.Run());
    QCOMPARE(answerer.boxes.size(), size_t{1});
    if (box == "question") {
        QVERIFY(answerer.boxes[0].question);
    } else {
        QCOMPARE(answerer.boxes[0].text, box);
        QCOMPARE(answerer.boxes[0].icon,
                 box == kNoInformation ? QMessageBox::Warning : QMessageBox::Information);
    }
    QCOMPARE(check.opened, opened.isEmpty() ? QStringList() : QStringList{base_});
    QVERIFY(!std::filesystem::exists(check.InfoFile()));
}

void UpcheckTest::UntrustedFileNamesOpenNothing_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("parent") << QByteArray("../../etc/passwd");
    QTest::newRow("slash") << QByteArray("other/setup.deb");
    QTest::newRow("absolute") << QByteArray("/setup.deb");
    QTest::newRow("scheme") << QByteArray("https://evil.example/setup.deb");
    QTest::newRow("file scheme") << QByteArray("file:///etc/passwd");
    QTest::newRow("spaces") << QByteArray("KORU DMB setup.deb");
    QTest::newRow("encoded slash") << QByteArray("..%2F..%2Fsetup.deb");
    QTest::newRow("rich text") << QByteArray("<b>setup</b>.deb");
}

void UpcheckTest::UntrustedFileNamesOpenNothing() {
    QFETCH(QByteArray, name);
    server_->Serve("/koru_dmb/latest/proginfo.txt", "version=9.0\nfilename=" + name + "\n");
    Check check(base_);
    BoxAnswerer answerer(true);
    QVERIFY(check.Run());
    QCOMPARE(answerer.boxes.size(), size_t{1});
    QCOMPARE(answerer.boxes[0].text, QString(kNoInformation));
    QVERIFY(check.opened.isEmpty());
}

void UpcheckTest::KoreanBuildAsksInKoreanAndNoOpensNothing() {
    // A version text that looks like markup is shown as it stands, never as rich text.
    server_->Serve("/koru_dmb/latest/proginfo.txt",
                   "version=3.0 <b>beta</b>\nfilename=KORU-DMB-3.0.deb\n");
    Check check(base_, Language::kKorean);
    QCOMPARE(check.Status(), QString("최신 프로그램의 버전을 확인하고 있습니다 ."));
    QCOMPARE(check.dialog->findChild<QLabel*>("label_1003")->text(),
             QString("현재 프로그램 버전 :"));
    QCOMPARE(check.dialog->findChild<QLabel*>("version_1001")->text(), QString("2.241"));
    QCOMPARE(check.dialog->windowTitle(), QString("KORU-DMB New Program Check"));
    BoxAnswerer answerer(false);
    QVERIFY(check.Run());
    QCOMPARE(answerer.boxes.size(), size_t{1});
    QCOMPARE(answerer.boxes[0].text,
             QString("현재 프로그램 : 2.241\n최신 프로그램 : 3.0 <b>beta</b>\n"
                     "새 프로그램을 다운로드 하시겠습니까?"));
    QCOMPARE(answerer.boxes[0].buttons, (QStringList{"아니요(&N)", "예(&Y)"}));
    QVERIFY(check.opened.isEmpty());
    QVERIFY(!std::filesystem::exists(check.InfoFile()));
}

void UpcheckTest::BrowserRefusalIsReported() {
    server_->Serve("/koru_dmb/latest/proginfo.txt", "version=3.0\nfilename=setup.deb\n");
    Check check(base_);
    check.browser_works = false;
    BoxAnswerer answerer(true);
    QVERIFY(check.Run());
    QCOMPARE(answerer.boxes.size(), size_t{2});
    QCOMPARE(check.opened, QStringList{base_ + "setup.deb"});
    QCOMPARE(answerer.boxes[1].icon, QMessageBox::Information);
    QCOMPARE(answerer.boxes[1].text,
             QString("It is tried to download the file through internet explorer\nbut it is "
                     "failed due to unknown reason.\nWe're really regret to say this but please "
                     "kindly visit our company homepage (www.koru-dmb.example)\nand download "
                     "the latest updated version."));
}

void UpcheckTest::ServerDownOrMissingFileGiveNoInformation() {
    {
        // Nothing at that path: 404, wget's exit code 8.
        Check check(base_);
        BoxAnswerer answerer(true);
        QVERIFY(check.Run());
        QCOMPARE(answerer.boxes.size(), size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString(kNoInformation));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QVERIFY(!std::filesystem::exists(check.InfoFile()));
    }
    // No server at all on the port.
    const QString down = server_->Url(kServerPath);
    server_.reset();
    Check check(down, Language::kKorean);
    BoxAnswerer answerer(true);
    QVERIFY(check.Run());
    QCOMPARE(answerer.boxes.size(), size_t{1});
    QVERIFY(answerer.boxes[0].text.startsWith("최신 프로그램 정보를 다운로드할 수 없습니다."));
    QVERIFY(
        answerer.boxes[0].text.endsWith("당사 홈페이지(www.koru-dmb.example)를 직접 "
                                        "방문하시기 바랍니다."));
}

void UpcheckTest::MissingWgetBreaksTheChecker() {
    TempDir empty_path;
    env_->Set("PATH", empty_path.str());
    server_->Serve("/koru_dmb/latest/proginfo.txt", "version=3.0\nfilename=setup.deb\n");
    Check check(base_);
    BoxAnswerer answerer(true);
    QVERIFY(check.Run());
    QVERIFY(!check.timer.active);
    QCOMPARE(answerer.boxes.size(), size_t{1});
    QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(answerer.boxes[0].text,
             QString("Due to the problems on programme which can check the version\nit is not "
                     "possible to check the latest updated version for this programme.\nWe're "
                     "really regret to say this but please kindly check this problems at our "
                     "company homepage (www.koru-dmb.example)."));
    QVERIFY(server_->requests().isEmpty());
}

void UpcheckTest::DotsCycleAndClosingKillsAStalledDownload() {
    server_->Stall("/koru_dmb/latest/proginfo.txt", 4096, "version=9.0\nfile");
    Check check(base_);
    const QString text = check.Status();
    QCOMPARE(text, QString("Now, it is checking whether it is  the lastet version of "
                           "programme or not."));
    check.dialog->StartCheck();
    QVERIFY(check.timer.active);
    QCOMPARE(check.timer.period, 500);
    // wget has the first bytes in the file and waits for the rest.
    QTRY_VERIFY_WITH_TIMEOUT(koru::test::ReadFile(check.InfoFile()) == "version=9.0\nfile", 10000);
    QCOMPARE(server_->open_connections(), 1);
    // One to four dots, cycling every five ticks.
    const int expected_dots[] = {1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1};
    for (int dots : expected_dots) {
        check.timer.Fire();
        QCOMPARE(check.Status(), text + QString(dots, '.'));
    }
    QCOMPARE(check.dialog->check().tick_count(), 12);
    QVERIFY(!check.dialog->check().ended());

    // Escape: wget is killed (its connection drops) and the partial file is gone.
    QTest::keyClick(check.dialog.get(), Qt::Key_Escape);
    QVERIFY(check.dialog->check().ended());
    QCOMPARE(check.ended, 1);
    QVERIFY(!check.timer.active);
    QVERIFY(!std::filesystem::exists(check.InfoFile()));
    QTRY_COMPARE_WITH_TIMEOUT(server_->open_connections(), 0, 5000);
    QCOMPARE(server_->requests().size(), 1);
}

QTEST_MAIN(UpcheckTest)
#include "upcheck_test.moc"
