// The channel search and channel list end to end on an X server of their own, from an empty
// user folder on the demo air: the player opens the channel list, its Search button scans
// region 2 (progress 2, 4, 6, 8, 10, 10), the lists hold exactly the demo's services, TV 0 plays
// and "channel.xml" and "channel.dat" are written; the radio list and a double-click on its
// second service play that service in the audio layout; a search cancelled during the third
// frequency keeps the stored lists; pulling the stick during a search reports the loss once and
// cancels; after a restart in region 0 the search ends in radio mode. Screenshots are kept in
// build/tests/artifacts/channels_e2e.
//
// Exit status: 0 passed, 1 failed, 77 skipped (no X tools, or no receiver plug-in that plays).
#include <QCoreApplication>
#include <QImage>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "player/skin/qt_skin.h"
#include "player/skin/skin_layout.h"
#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

using koru::test::XvfbDisplay;

// The texts of a first start (Korean).
const char* const kCompleted = "skinned message: 채널 검색 완료했습니다.";
const char* const kCanceled = "skinned message: 채널 검색을 취소합니다.";
const char* const kSearchLost = "message box: 수신기와 PC의 USB 포트 연결이 끊어졌습니다.\n\n채널";

// The Channel elements of a channel.xml as "type:label" in file order.
std::vector<std::string> StoredChannels(const std::string& xml) {
    std::vector<std::string> channels;
    for (const koru::test::StoredChannel& channel : koru::test::StoredChannelsOf(xml))
        channels.push_back(channel.type + ":" + channel.label);
    return channels;
}

std::string Join(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += item + "; ";
    return text;
}

class Session : public koru::test::PlayerSession {
  public:
    Session(XvfbDisplay& display, const std::filesystem::path& home, const QString& artifacts)
        : PlayerSession(display, home, artifacts) {
        layout_.LoadLayout((koru::test::BinDir() / "Koru Digital.lay").string());
    }

    // The channel windows stand beside the main window at (100, 100) by RG_CS_Anchor.
    QPoint PanelOrigin() const {
        const koru::skin::QtSkin skin(layout_);
        return QPoint(100, 100) + skin.AbsoluteRect("RG_CS_Anchor").topLeft();
    }
    void Click(const std::string& element, int repeat = 1) {
        const koru::skin::QtSkin skin(layout_);
        ClickAt(PanelOrigin() + skin.AbsoluteRect(element).center(), repeat);
    }
    // Enter on every other window of the player named like the main window (a message box).
    void DismissBox() {
        QString windows;
        display().Xdotool({"search", "--onlyvisible", "--name", "KORU-DMB"}, &windows);
        for (const QString& window : windows.split('\n', Qt::SkipEmptyParts)) {
            if (window != main_window()) KeyTo(window, "Return");
        }
    }
    // Item index of the list shown in the channel list (a header, then rows of 14 pixels).
    QPoint ListItem(int index) const {
        const koru::skin::QtSkin skin(layout_);
        const QRect list = skin.AbsoluteRect("RG_CL_LIST");
        return PanelOrigin() + QPoint(list.left() + 40, list.top() + 25 + index * 14);
    }
    // The audio layout: the picture area shows the data-service display, not the video.
    bool AudioLayout(const QImage& screen) const {
        const koru::skin::QtSkin skin(layout_);
        const QRect picture = skin.AbsoluteRect("RG_Screen").translated(100, 100);
        return koru::test::ShowsDataServiceDisplay(screen, picture, home());
    }

  private:
    koru::skin::SkinLayout layout_;
};

// Region 2 from the channel list's Search button: progress, the lists, TV 0 plays, the files.
void SearchRegionTwo(Session& session, const std::filesystem::path& home) {
    session.Click("BT_CL_Search");
    CHECK(session.player().WaitForLog("search 2 of 6", 30000), "no search\n%s",
          session.Log().c_str());
    session.Shot("searching.png");
    CHECK(session.player().WaitForLog("search completed", 60000), "the search did not end\n%s",
          session.Log().c_str());
    const std::string log = session.Log();
    for (int i = 1; i <= 6; ++i) {
        const std::string progress = "progress " + std::to_string(i < 6 ? 2 * i : 10);
        const size_t line = log.find("search " + std::to_string(i) + " of 6");
        CHECK(line != std::string::npos && log.find(progress, line) < log.find('\n', line),
              "frequency %d without %s", i, progress.c_str());
    }
    CHECK(log.find("search completed: 6 services stored") != std::string::npos, "%s", log.c_str());
    CHECK(log.find(kCompleted) != std::string::npos, "no completion message");
    // The first TV channel found plays, whichever of the ensemble's two the FIC named first.
    CHECK(session.player().WaitForLog("first frame of bbu://208736,", 30000),
          "TV 0 does not play\n%s", session.Log().c_str());
    QThread::msleep(1500);
    session.Shot("search_done.png");
    CHECK(std::filesystem::exists(home / "channel.dat"), "no channel.dat");
    // Read once the first channel plays: the lists are stored by then.
    const std::string xml = koru::test::ReadFile(home / "channel.xml");
    const std::string tv = koru::test::StoredUrl(xml, "tv");
    CHECK(!tv.empty() && session.Log().find("first frame of " + tv) != std::string::npos,
          "TV 0 (%s) does not play\n%s", tv.c_str(), session.Log().c_str());
    // Each list in the order of the frequencies searched; within an ensemble in the FIC's order.
    std::vector<std::string> stored = StoredChannels(xml);
    const std::vector<std::string> expected = {"tv:KORU TV 1",       "tv:KORU TV 2",
                                               "tv:KORU TV 12A",     "radio:KORU Radio",
                                               "radio:KORU Classic", "data:KORU Web"};
    CHECK(stored.size() == expected.size() && stored[2] == expected[2] &&
              std::is_permutation(stored.begin(), stored.end(), expected.begin()),
          "channel.xml holds %s", Join(stored).c_str());
}

// The radio list, then a double-click on its second service.
void PlayRadioFromList(Session& session) {
    const std::string radio_url =
        koru::test::StoredUrl(koru::test::ReadFile(session.home() / "channel.xml"), "radio");
    session.Click("BT_CL_Radio");
    CHECK(session.player().WaitForLog("first frame of " + radio_url, 30000),
          "the radio button did not play the radio (%s)\n%s", radio_url.c_str(),
          session.Log().c_str());
    session.ClickAt(session.ListItem(1), 2);
    CHECK(session.player().WaitForLog("connect bbu://205280,", 10000),
          "the double-click did not tune KORU Classic\n%s", session.Log().c_str());
    CHECK(session.player().WaitForLog("first frame of bbu://205280,", 30000),
          "KORU Classic does not play\n%s", session.Log().c_str());
    QThread::msleep(1500);
    const QImage radio = session.Shot("radio.png");
    CHECK(!radio.isNull() && session.AudioLayout(radio), "not the audio layout");
}

// F3, Cancel while the third frequency is searched.
void CancelDuringThirdFrequency(Session& session, const std::filesystem::path& home) {
    const std::string before = koru::test::ReadFile(home / "channel.xml");
    const size_t searches = koru::test::CountOf(session.Log(), "search of region");
    // The FIC of 205280 kHz opened (service 64, which only a search opens): the search is
    // inside the third frequency, past the point where it looks at the cancel before each one.
    const char* const third = "freq[205280] svc_id[64]";
    const size_t tunes = koru::test::CountOf(session.Log(), third);
    const size_t plays = koru::test::CountOf(session.Log(), "first frame of bbu://205280,");
    session.Key("F3");
    CHECK(koru::test::WaitUntil(
              [&] { return koru::test::CountOf(session.Log(), "search of region") > searches; },
              10000),
          "F3 started no search");
    CHECK(koru::test::WaitUntil([&] { return koru::test::CountOf(session.Log(), third) > tunes; },
                                30000),
          "the third frequency was never tuned");
    session.Click("BT_CS_Cancel");
    CHECK(session.player().WaitForLog("search cancelled", 30000), "not cancelled\n%s",
          session.Log().c_str());
    const std::string log = session.Log();
    const size_t cancelled = log.find("search cancelled");
    CHECK(log.rfind("search 3 of 6: 205280 kHz, result 0, 2 services") < cancelled,
          "the third frequency did not complete");
    CHECK(log.find("search 4 of 6", log.rfind("search of region")) == std::string::npos,
          "the search went on after the cancel");
    CHECK(log.find("search cancelled: 6 services stored") != std::string::npos,
          "the third frequency's services were not stored");
    CHECK(session.player().WaitForLog(kCanceled, 5000), "no cancel message");
    session.Shot("cancelled.png");
    // The stored lists stay as they were (the channel that played comes back and is saved).
    CHECK(koru::test::WaitUntil(
              [&] {
                  return koru::test::CountOf(session.Log(), "first frame of bbu://205280,") > plays;
              },
              30000),
          "no replay");
    QThread::msleep(500);
    CHECK(StoredChannels(koru::test::ReadFile(home / "channel.xml")) == StoredChannels(before),
          "the stored lists changed");
}

// F3, then the stick leaves the bus during the search.
void PullDuringSearch(Session& session) {
    const size_t searches = koru::test::CountOf(session.Log(), "search 1 of 6");
    const size_t cancels = koru::test::CountOf(session.Log(), "search cancelled");
    const size_t cancel_messages = koru::test::CountOf(session.Log(), kCanceled);
    session.Key("F3");
    CHECK(
        koru::test::WaitUntil(
            [&] { return koru::test::CountOf(session.Log(), "search 1 of 6") > searches; }, 30000),
        "no search");
    QProcess control;
    control.start(QString::fromStdString((koru::test::BinDir() / "rxsimctl").string()),
                  {"-p", QString::number(session.player().process().processId()), "pull"});
    CHECK(control.waitForFinished(10000) && control.exitCode() == 0, "rxsimctl pull failed: %s",
          control.readAllStandardError().constData());
    CHECK(session.player().WaitForLog(kSearchLost, 30000), "no device-lost report\n%s",
          session.Log().c_str());
    QThread::msleep(500);
    session.Shot("device_lost.png");
    // The report is a modal box: Enter closes it and the search goes on to its end.
    session.DismissBox();
    const auto logged_again = [&](const std::string& text, size_t before, int timeout_ms) {
        return koru::test::WaitUntil(
            [&] { return koru::test::CountOf(session.Log(), text) > before; }, timeout_ms);
    };
    CHECK(logged_again("search cancelled", cancels, 15000), "the search did not end\n%s",
          session.Log().c_str());
    CHECK(logged_again(kCanceled, cancel_messages, 5000), "no cancel message");
    QThread::msleep(3000);
    const std::string log = session.Log();
    const size_t report = log.find(kSearchLost);
    CHECK(koru::test::CountOf(log.substr(report), "message box:") == 1,
          "a second report followed:\n%s", log.substr(report).c_str());
}

// After a restart in region 0 (L-band, radio only), F3 ends in radio mode.
void SearchRegionZero(Session& session) {
    session.Key("F3");
    CHECK(session.player().WaitForLog("search of region 0: 16 frequencies", 10000),
          "no search of region 0\n%s", session.Log().c_str());
    CHECK(session.player().WaitForLog("search completed: 3 services stored", 120000),
          "region 0 did not complete\n%s", session.Log().c_str());
    CHECK(session.player().WaitForLog("first frame of bbu://1452960,0,0.mp2", 30000),
          "the first radio service does not play\n%s", session.Log().c_str());
    QThread::msleep(1500);
    const QImage radio = session.Shot("region0.png");
    CHECK(!radio.isNull() && session.AudioLayout(radio), "not the audio layout");
}

int Run() {
    if (const std::string reason = koru::test::SessionUnavailable(false); !reason.empty()) {
        std::printf("SKIP: %s\n", reason.c_str());
        return 77;
    }
    const QString artifacts = QString::fromUtf8(KORU_ARTIFACT_DIR);
    QDir().mkpath(artifacts);
    koru::test::TempDir home;
    XvfbDisplay display;
    if (!display.Start()) {
        std::fprintf(stderr, "FAILED: Xvfb did not start\n");
        return 1;
    }
    {
        Session session(display, home.path(), artifacts);
        CHECK(session.Start(), "the player did not start");
        session.Shot("start.png");
        SearchRegionTwo(session, home.path());
        PlayRadioFromList(session);
        CancelDuringThirdFrequency(session, home.path());
        PullDuringSearch(session);
        CHECK(session.Exit(), "the player did not exit");
        // Both windows kept their places (beside the main window at (100, 100)).
        const std::string profile =
            koru::test::ReadFile(home / "config" / "KORU-DMB" / "VelmarPlayer.ini");
        CHECK(profile.find("ChannelListDlg_x=460") != std::string::npos &&
                  profile.find("ChannelSearchDlg_y=100") != std::string::npos,
              "window positions not kept:\n%s", profile.c_str());
        QFile::remove(artifacts + "/player1.log");
        QFile::copy(QString::fromStdString((home / "player.log").string()),
                    artifacts + "/player1.log");
    }
    std::string xml = koru::test::ReadFile(home / "channel.xml");
    const size_t region = xml.find("freqlocal=\"2\"");
    CHECK(region != std::string::npos, "%s", xml.c_str());
    if (region != std::string::npos) xml.replace(region, 13, "freqlocal=\"0\"");
    koru::test::WriteFile(home / "channel.xml", xml);
    {
        Session session(display, home.path(), artifacts);
        CHECK(session.Start(), "the player did not start again");
        SearchRegionZero(session);
        CHECK(session.Exit(), "the player did not exit");
        QFile::remove(artifacts + "/player2.log");
        QFile::copy(QString::fromStdString((home / "player.log").string()),
                    artifacts + "/player2.log");
    }
    std::printf("screenshots in %s\n", qPrintable(artifacts));
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return Run();
}
