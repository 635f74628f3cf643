// The channel search and channel list windows over the player's real core (event window
// thread, message window, controller) with a scripted DMB_API_SearchChannel: cancelling during
// a frequency, the receiver lost during a search, a search without the plug-in, a result over
// 100 services, a radio-only result, the radio button while searching, the double-click rules.
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <deque>

#include "channel_harness.h"
#include "m4systems/messages.h"
#include "player/channels/channel_dialogs.h"
#include "player/channels/channel_list.h"

using koru::test::ChannelHarness;
using koru::test::CoreHarness;
using koru::test::Script;
using koru::test::Service;
using namespace koru::player;
namespace settings = koru::settings;

namespace {

const char* kCanceled = "Searching has been canceled";

}  // namespace

class ChannelWindowsTest : public QObject {
    Q_OBJECT

  private slots:
    void SearchOfRegionTwoTunesTvZero();
    void CancelDuringTheThirdFrequencyKeepsItsServicesAndTheLists();
    void ReceiverLostEndsTheSearchAndIsReportedOnce();
    void MissingPluginIsReportedAndALaterSearchRuns();
    void MoreThanAHundredServicesAreCutAndReportedOnce();
    void RadioOnlyResultEndsInRadioMode();
    void AStartOnTheRadioListShowsTheRadioTab();
    void RadioButtonDuringASearchTunesNothing();
    void DoubleClickRules();
    void DoubleClickAcrossTheDataListTunesAndFindsALateStick();
    void ARegionWithoutFrequenciesKeepsTheLists();
    void ChannelListButtonPaths();
    void ReservationsAheadAreAskedAboutBeforeASearch();
    void HeadingsAndTooltipsFollowTheLanguage();
    void ChannelListButtonDuringASearchShowsTheSearchWindow();
    void KeysGoToTheMainWindowAndDraggingTakesTheSearchWindowAlong();
};

void ChannelWindowsTest::SearchOfRegionTwoTunesTvZero() {
    ChannelHarness h;
    h.script.answers = {{0,
                         {Service("TV 1", 208.736, 0, 0), Service("Radio", 208.736, 2, 1),
                          Service("Web", 208.736, 3, 3), Service("TV 2", 208.736, 1, 0)}},
                        {BB_ERR_NOT_LOCKED, {}},
                        {0, {Service("TV 12A", 205.28, 0, 0)}}};
    h.dialogs->list_window()->ShowList();
    h.dialogs->list_window()->button(control::kListSearchButton)->click();
    QVERIFY(h.dialogs->search_window()->isVisible());
    QVERIFY(!h.dialogs->list_window()->isVisible());
    QVERIFY(h.WaitForSearchEnd());
    // Every frequency of region 2 in MHz, exactly kHz x 0.001, 3000 ms each.
    const std::vector<double> expected = {208736 * 0.001, 207008 * 0.001, 205280 * 0.001,
                                          184736 * 0.001, 183008 * 0.001, 181280 * 0.001};
    QVERIFY(h.script.frequencies == expected);
    QCOMPARE(h.script.time_limits.front(), 3000);
    QCOMPARE(h.dialogs->search_window()->progress()->value(), 10);
    QCOMPARE(h.core.view.skinned_messages.back(), std::string("Searching has been completed"));
    QCOMPARE(h.Items(h.dialogs->list_window()->list_of(settings::kWatchKindTv)),
             QStringList({"TV 1", "TV 2", "TV 12A"}));
    QCOMPARE(h.Items(h.dialogs->list_window()->list_of(settings::kWatchKindData)),
             QStringList({"Web"}));
    QVERIFY(!h.dialogs->search_window()->isVisible());
    QVERIFY(h.dialogs->list_window()->isVisible());
    QVERIFY(!h.core.terminal.CallsNamed("CloseURL").empty());
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 1; }));
    QCOMPARE(QString::fromStdString(h.core.terminal.CallsNamed("ConnectURL")[0].text),
             QString("bbu://208736,0,0.ts"));
    QCOMPARE(h.core.state.WatchKind(), settings::kWatchKindTv);
    // The outcome stays readable for 2 s after the search window has gone, then hides itself.
    h.core.time.Advance(1999);
    QVERIFY(h.core.view.skinned_shown);
    h.core.time.Advance(1);
    QVERIFY(!h.core.view.skinned_shown);
}

void ChannelWindowsTest::CancelDuringTheThirdFrequencyKeepsItsServicesAndTheLists() {
    ChannelHarness h;
    h.core.FillChannels();
    h.dialogs->list_window()->Refill();
    ChannelSearch& search = h.dialogs->search();
    h.script.answers = {{0, {Service("New TV", 208.736, 0, 0)}},
                        {BB_ERR_NOT_LOCKED, {}},
                        {0,
                         {Service("Third TV", 205.28, 0, 0), Service("Third R", 205.28, 1, 1)},
                         [&] { search.Cancel(); }}};
    h.dialogs->ChannelSearchCommand();
    QVERIFY(h.WaitForSearchEnd());
    QCOMPARE(h.script.frequencies.size(), size_t{3});
    QCOMPARE(search.table().count(), 3);
    QCOMPARE(h.Items(h.dialogs->search_window()->list_of_kind(0)),
             QStringList({"New TV", "Third TV"}));
    QCOMPARE(h.Items(h.dialogs->search_window()->list_of_kind(1)), QStringList({"Third R"}));
    QCOMPARE(h.core.view.skinned_messages.back(), std::string(kCanceled));
    // The stored lists and the channel list's views are as before.
    QCOMPARE(h.core.state.ChannelCount(settings::kWatchKindTv), 5);
    QCOMPARE(h.Items(h.dialogs->list_window()->list_of(settings::kWatchKindTv)).front(),
             QString("TV 1"));
    // Nothing played live before: nothing is tuned again.
    h.core.DrainEvents();
    QCOMPARE(h.Connects(), size_t{0});
    // A message shown meanwhile is not hidden by the outcome's timer.
    QVERIFY(h.core.view.skinned_shown);
    h.core.controller->ShowSkinnedMessage("Later message");
    h.core.time.Advance(2500);
    QVERIFY(h.core.view.skinned_shown);
}

void ChannelWindowsTest::ReceiverLostEndsTheSearchAndIsReportedOnce() {
    ChannelHarness h;
    h.core.FillChannels();
    QVERIFY(h.core.Play(1));
    h.script.answers = {{0, {Service("TV 1", 208.736, 0, 0)}}, {BB_ERR_NO_DEVICE, {}}};
    h.dialogs->ChannelSearchCommand();
    QVERIFY(h.WaitForSearchEnd());
    QCOMPARE(h.script.frequencies.size(), size_t{2});
    QCOMPARE(h.core.view.error_boxes.size(), size_t{1});
    QCOMPARE(h.core.view.error_boxes[0], std::string(Tr(Text::kUsbLostSearchCanceled, 1)));
    QCOMPARE(h.core.view.skinned_messages.back(), std::string(kCanceled));
    // Live before: the channel that played is tuned again.
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 2; }));
    QCOMPARE(QString::fromStdString(h.core.terminal.CallsNamed("ConnectURL")[1].text),
             QString("bbu://208736,1,0.ts"));
    // The plug-in's own receiver-lost message that follows is not shown again.
    PostPlayerEvent(h.core.message_window.get(), WM_SYSTEM_USB_LOST);
    h.core.DrainEvents();
    QCOMPARE(h.core.view.error_boxes.size(), size_t{1});
}

void ChannelWindowsTest::MissingPluginIsReportedAndALaterSearchRuns() {
    ChannelHarness h;
    h.plugin_present = false;
    h.dialogs->ChannelSearchCommand();
    QVERIFY(CoreHarness::WaitFor([&] { return !h.core.view.error_boxes.empty(); }));
    QVERIFY(h.WaitForSearchEnd() || !h.dialogs->search().searching());
    QCOMPARE(h.core.view.error_boxes[0], std::string("Cannot find rxmod.dll"));
    QVERIFY(!h.dialogs->search_window()->isVisible());
    QVERIFY(h.core.state.activity.load() != kActivitySearching);
    h.plugin_present = true;
    h.dialogs->ChannelSearchCommand();
    QVERIFY(CoreHarness::WaitFor([&] { return h.script.calls == 6; }));
    QVERIFY(h.WaitForSearchEnd());
    // Nothing found: "No data for channel", the lists are empty and nothing is tuned.
    QCOMPARE(h.core.view.skinned_messages.back(), std::string("No data for channel"));
    QVERIFY(!h.core.view.skinned_shown);
    QVERIFY(h.dialogs->list_window()->isVisible());
    QCOMPARE(h.Connects(), size_t{0});
}

void ChannelWindowsTest::MoreThanAHundredServicesAreCutAndReportedOnce() {
    ChannelHarness h;
    for (int call = 0; call < 2; ++call) {
        Script::Answer answer(0, {});
        for (int i = 0; i < 60; ++i) {
            const std::string label = "S" + std::to_string(call * 60 + i);
            answer.entries.push_back(Service(label.c_str(), 200.0 + call, i, i % 2));
        }
        h.script.answers.push_back(answer);
    }
    h.dialogs->ChannelSearchCommand();
    QVERIFY(h.WaitForSearchEnd());
    QCOMPARE(h.dialogs->search().table().count(), 100);
    QCOMPARE(h.core.state.ChannelCount(settings::kWatchKindTv) +
                 h.core.state.ChannelCount(settings::kWatchKindRadio),
             100);
    QCOMPARE(h.core.view.error_boxes.size(), size_t{1});
    QVERIFY(h.core.view.error_boxes[0].find("20 left out") != std::string::npos);
}

void ChannelWindowsTest::RadioOnlyResultEndsInRadioMode() {
    ChannelHarness h;
    h.core.FillChannels();
    QVERIFY(h.core.Play(0));
    h.script.answers = {{0, {Service("Pop", 1452.96, 0, 1), Service("News", 1452.96, 1, 1)}}};
    h.dialogs->ChannelSearchCommand();
    QVERIFY(h.WaitForSearchEnd());
    QCOMPARE(h.core.state.WatchKind(), settings::kWatchKindRadio);
    QCOMPARE(h.dialogs->list_window()->own_watch_kind(), settings::kWatchKindRadio);
    // From live TV the radio list brings the audio layout.
    QCOMPARE(h.core.state.layout.load(), kLayoutAudio);
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 2; }));
    QCOMPARE(QString::fromStdString(h.core.terminal.CallsNamed("ConnectURL")[1].text),
             QString("bbu://1452960,0,0.mp2"));
    QCOMPARE(h.core.state.ChannelCount(settings::kWatchKindTv), 0);
}

void ChannelWindowsTest::AStartOnTheRadioListShowsTheRadioTab() {
    ChannelHarness h;
    h.core.FillChannels();
    h.dialogs->list_window()->Refill();
    h.core.state.SetWatchKind(settings::kWatchKindRadio);
    h.core.controller->DeferredStartup(true, true, "");
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 1; }));
    h.dialogs->OpenChannelList();
    QCOMPARE(h.dialogs->list_window()->own_watch_kind(), settings::kWatchKindRadio);
    QVERIFY(h.dialogs->list_window()->button(control::kListRadioButton)->checked());
    QVERIFY(h.dialogs->list_window()
                ->list_of(settings::kWatchKindRadio)
                ->isVisibleTo(h.dialogs->list_window()));
}

void ChannelWindowsTest::RadioButtonDuringASearchTunesNothing() {
    ChannelHarness h;
    h.core.FillChannels();
    h.dialogs->list_window()->Refill();
    h.core.state.activity = kActivitySearching;
    h.dialogs->list_window()->button(control::kListRadioButton)->click();
    h.core.DrainEvents();
    QCOMPARE(h.core.state.WatchKind(), settings::kWatchKindRadio);
    QVERIFY(h.dialogs->list_window()
                ->list_of(settings::kWatchKindRadio)
                ->isVisibleTo(h.dialogs->list_window()));
    QVERIFY(!h.dialogs->list_window()
                 ->list_of(settings::kWatchKindTv)
                 ->isVisibleTo(h.dialogs->list_window()));
    QVERIFY(h.dialogs->list_window()->button(control::kListRadioButton)->checked());
    QVERIFY(!h.dialogs->list_window()->button(control::kListTvButton)->checked());
    QCOMPARE(h.dialogs->list_window()->button(control::kListTitle)->image_set(), 1);
    QCOMPARE(h.Connects(), size_t{0});
}

void ChannelWindowsTest::DoubleClickRules() {
    ChannelHarness h;
    h.core.FillChannels();
    h.core.state.WithStore([](settings::ChannelStore& store) {
        settings::SetFixedText(store.radio.entries[1].label, "Radio B   ");
    });
    h.dialogs->list_window()->Refill();
    QVERIFY(h.core.Play(2));
    h.core.state.tune_state = kTuneTuned;
    // The service that is already on, and no item: nothing happens.
    OpenChannelFromList(*h.core.controller, settings::kWatchKindTv, 2);
    OpenChannelFromList(*h.core.controller, settings::kWatchKindTv, -1);
    // Nor while a search runs.
    h.core.state.activity = kActivitySearching;
    OpenChannelFromList(*h.core.controller, settings::kWatchKindTv, 4);
    h.core.state.activity = kActivityTuned;
    h.core.DrainEvents();
    QCOMPARE(h.Connects(), size_t{1});
    // A radio service from live TV: the audio layout, the radio plays, its caption trimmed.
    auto* radio = h.dialogs->list_window()->list_of(settings::kWatchKindRadio);
    h.dialogs->list_window()->OpenItem(settings::kWatchKindRadio, radio->topLevelItem(1));
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 2; }));
    QCOMPARE(QString::fromStdString(h.core.terminal.CallsNamed("ConnectURL")[1].text),
             QString("bbu://175280,1,0.mp2"));
    QCOMPARE(h.core.state.layout.load(), kLayoutAudio);
    QCOMPARE(h.core.state.WatchKind(), settings::kWatchKindRadio);
    QVERIFY(std::find(h.core.view.banners.begin(), h.core.view.banners.end(),
                      "[Channel: Radio B]") != h.core.view.banners.end());
    QCOMPARE(std::string(h.core.state.Channel(settings::kWatchKindRadio, 1)->label),
             std::string("Radio B"));
    // Back to a TV service: the video layout.
    OpenChannelFromList(*h.core.controller, settings::kWatchKindTv, 0);
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 3; }));
    QCOMPARE(h.core.state.layout.load(), kLayoutVideo);
}

void ChannelWindowsTest::DoubleClickAcrossTheDataListTunesAndFindsALateStick() {
    ChannelHarness h;
    h.core.FillChannels();
    h.core.state.WithStore([](settings::ChannelStore& store) {
        store.data.Append(koru::test::Entry("Web", 208.736f, 3, 2));
    });
    h.dialogs->list_window()->Refill();
    QVERIFY(h.core.Play(0));
    // TV 0 plays and data 0 is current: the data service plays, in the audio layout.
    OpenChannelFromList(*h.core.controller, settings::kWatchKindData, 0);
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 2; }));
    QCOMPARE(QString::fromStdString(h.core.terminal.CallsNamed("ConnectURL")[1].text),
             QString("bbu://208736,3,0.mp2"));
    QCOMPARE(h.core.state.layout.load(), kLayoutAudio);
    PostPlayerEvent(h.core.events.window(), WM_SYSTEM_FIRST_FRAME);
    QVERIFY(CoreHarness::WaitFor(
        [&] { return h.core.state.connection_state.load() == kConnectionPlaying; }));
    // And back to TV 0, with a stick that came after the start.
    h.core.state.receiver_present = 0;
    OpenChannelFromList(*h.core.controller, settings::kWatchKindTv, 0);
    QVERIFY(CoreHarness::WaitFor([&] { return h.Connects() == 3; }));
    QCOMPARE(QString::fromStdString(h.core.terminal.CallsNamed("ConnectURL")[2].text),
             QString("bbu://208736,0,0.ts"));
}

void ChannelWindowsTest::ARegionWithoutFrequenciesKeepsTheLists() {
    ChannelHarness h;
    h.core.FillChannels();
    QVERIFY(h.core.Play(1));
    h.core.state.WithStore([](settings::ChannelStore& store) { store.frequency_region = 9; });
    h.dialogs->ChannelSearchCommand();
    QVERIFY(h.WaitForSearchEnd());
    QVERIFY(h.script.frequencies.empty());
    QCOMPARE(h.core.state.ChannelCount(settings::kWatchKindTv), 5);
    QCOMPARE(h.core.state.ChannelCount(settings::kWatchKindRadio), 2);
    QCOMPARE(h.core.view.skinned_messages.back(), std::string(kCanceled));
    // What played was not closed for a search that scanned nothing.
    h.core.DrainEvents();
    QVERIFY(h.core.terminal.CallsNamed("CloseURL").empty());
    QCOMPARE(h.core.state.connection_state.load(), kConnectionPlaying);
}

void ChannelWindowsTest::ChannelListButtonPaths() {
    ChannelHarness h;
    // No channel, no receiver: the receiver report, no search.
    h.core.receiver_plugged = false;
    h.dialogs->ChannelListCommand();
    QCOMPARE(h.core.view.error_boxes.size(), size_t{1});
    QVERIFY(!h.dialogs->search_window()->isVisible());
    // No channel, list shown: the button hides it.
    h.core.receiver_plugged = true;
    h.dialogs->OpenChannelList();
    h.dialogs->ChannelListCommand();
    QVERIFY(!h.dialogs->list_window()->isVisible());
    QVERIFY(h.script.frequencies.empty());
    // Stored channels: the button toggles the list.
    h.core.FillChannels();
    h.dialogs->ChannelListCommand();
    QVERIFY(h.dialogs->list_window()->isVisible());
    h.dialogs->ChannelListCommand();
    QVERIFY(!h.dialogs->list_window()->isVisible());
    // The main window moving the list off the work area hides it.
    h.dialogs->ChannelListCommand();
    const QRect work = h.dialogs->list_window()->WorkArea();
    h.dialogs->MainWindowMoved(work.width() + 500, 0);
    QVERIFY(!h.dialogs->list_window()->isVisible());
}

void ChannelWindowsTest::ReservationsAheadAreAskedAboutBeforeASearch() {
    ChannelHarness h;
    h.core.FillChannels();
    auto reserve = [&](const char* second_start) {
        h.core.state.WithStore([&](settings::ChannelStore& store) {
            settings::SetFixedText(store.reservations[0].start, "20000101-10:00");
            settings::SetFixedText(store.reservations[1].start, second_start);
            store.reservation_count = 2;
        });
    };
    auto reservations = [&] {
        int count = 0;
        h.core.state.WithStore(
            [&](const settings::ChannelStore& store) { count = store.reservation_count; });
        return count;
    };
    auto search_button = [&] {
        h.dialogs->list_window()->ShowList();
        h.dialogs->list_window()->button(control::kListSearchButton)->click();
    };
    // Only past ones: no question, they stay.
    reserve("20000101-12:00");
    search_button();
    QVERIFY(h.WaitForSearchEnd());
    QVERIFY(h.core.view.questions.empty());
    QCOMPARE(reservations(), 2);

    // One ahead: No searches nothing and keeps them.
    reserve("20991231-23:00");
    h.core.view.answer = false;
    const int calls = h.script.calls.load();
    search_button();
    QCOMPARE(h.core.view.questions.size(), size_t{1});
    QCOMPARE(QString::fromStdString(h.core.view.questions[0]),
             QString("There is the data for preengagement recording.\nif you check search the "
                     "channel, this data will be deleted.\nDo you still want to search the "
                     "channel?"));
    QVERIFY(!h.dialogs->search_window()->isVisible());
    QCOMPARE(h.script.calls.load(), calls);
    QCOMPARE(reservations(), 2);

    // Yes deletes the whole table and stops the reservation timer, then searches.
    h.core.controller->timers().Start(timer::kReservationStart, 60000, true);
    h.core.view.answer = true;
    search_button();
    QCOMPARE(h.core.view.questions.size(), size_t{2});
    QVERIFY(!h.core.controller->timers().IsActive(timer::kReservationStart));
    QCOMPARE(reservations(), 0);
    h.core.state.WithStore([](const settings::ChannelStore& store) {
        QVERIFY(settings::FixedText(store.reservations[1].start).empty());
    });
    QVERIFY(h.WaitForSearchEnd());
    QVERIFY(h.script.calls.load() > calls);
}

void ChannelWindowsTest::HeadingsAndTooltipsFollowTheLanguage() {
    ChannelHarness h;
    h.core.controller->SetLanguage(0);
    EM_ChannelList* list = h.dialogs->list_window();
    QCOMPARE(list->list_of(settings::kWatchKindTv)->headerItem()->text(0), QString("TV 채널 목록"));
    h.core.controller->SetLanguage(1);
    QCOMPARE(list->list_of(settings::kWatchKindRadio)->headerItem()->text(0),
             QString("Radio Channel List"));
    QCOMPARE(h.dialogs->search_window()->list_of_kind(3)->headerItem()->text(0),
             QString("Data Channel List"));
    QCOMPARE(list->button(control::kListRadioButton)->toolTip(), QString("Radio conversion  (T)"));
    QCOMPARE(list->button(control::kListSearchButton)->toolTip(), QString("Channe search (F3)"));
}

void ChannelWindowsTest::ChannelListButtonDuringASearchShowsTheSearchWindow() {
    ChannelHarness h;
    std::atomic<bool> release{false};
    h.script.answers = {{BB_ERR_NOT_LOCKED, {}, [&] {
                             while (!release)
                                 QThread::msleep(5);
                         }}};
    h.dialogs->ChannelSearchCommand();
    QVERIFY(CoreHarness::WaitFor([&] { return h.script.calls.load() == 1; }));
    h.dialogs->search_window()->hide();
    h.dialogs->ChannelListCommand();
    h.dialogs->ChannelSearchCommand();
    h.dialogs->list_window()->button(control::kListSearchButton)->click();
    QVERIFY(h.dialogs->search_window()->isVisible());
    QVERIFY(!h.dialogs->list_window()->isVisible());
    release = true;
    QVERIFY(h.WaitForSearchEnd());
    // One search of six frequencies, no second one.
    QCOMPARE(h.script.calls.load(), 6);
}

namespace {
struct KeyRecorder : QObject {
    std::vector<int> released;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyRelease)
            released.push_back(static_cast<QKeyEvent*>(event)->key());
        return false;
    }
};
}  // namespace

void ChannelWindowsTest::KeysGoToTheMainWindowAndDraggingTakesTheSearchWindowAlong() {
    ChannelHarness h;
    KeyRecorder recorder;
    h.main_window.installEventFilter(&recorder);
    h.dialogs->OpenChannelList();
    h.dialogs->search_window()->ShowWindow();
    QTest::keyClick(h.dialogs->list_window()->list_of(settings::kWatchKindTv), Qt::Key_M);
    QTest::keyClick(h.dialogs->search_window()->list_of_kind(0), Qt::Key_Return);
    QTest::keyClick(h.dialogs->search_window(), Qt::Key_Escape);
    QCOMPARE(recorder.released, (std::vector<int>{Qt::Key_M, Qt::Key_Return, Qt::Key_Escape}));
    QVERIFY(h.dialogs->search_window()->isVisible());

    // A drag on the list's background; the search window follows to the same place.
    EM_ChannelList* list = h.dialogs->list_window();
    const QPoint start = list->pos();
    const QPoint grip(3, 200);  // on BM_CL_Left
    QTest::mousePress(list, Qt::LeftButton, {}, grip);
    QMouseEvent move(QEvent::MouseMove, QPointF(grip),
                     QPointF(list->mapToGlobal(grip) + QPoint(40, 25)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &move);
    QTest::mouseRelease(list, Qt::LeftButton, {}, grip);
    QCOMPARE(list->pos(), start + QPoint(40, 25));
    QCOMPARE(h.dialogs->search_window()->pos(), list->pos());
    // The main window moving takes both along.
    h.dialogs->MainWindowMoved(-10, 5);
    QCOMPARE(list->pos(), start + QPoint(30, 30));
    QCOMPARE(h.dialogs->search_window()->pos(), list->pos());
}

QTEST_MAIN(ChannelWindowsTest)
#include "channel_windows_test.moc"
