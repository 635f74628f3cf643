// The message window's data-service steps over the real core: the channel data folder and the
// plug-in's body path on a data tune, the website's start page on every directory, labels in
// each character set, slideshow objects, and what a tune or a stop does to the display. The radio
// module and the display are recording stand-ins.
#include <QtTest>
#include <cstring>
#include <filesystem>

#include "dab/charset.h"
#include "m4systems/messages.h"
#include "player_fakes.h"

using koru::test::CoreHarness;
using namespace koru::player;
namespace dab = koru::dab;
namespace settings = koru::settings;

namespace {

class FakePort : public DataServicePort {
  public:
    std::string label;  // the label's bytes as broadcast
    std::string slide;
    std::vector<std::string> body_paths;

    int GetDLSData(uint8_t* buffer) override {
        const size_t length = std::min(label.size(), kDlsBufferBytes - 1);
        std::memcpy(buffer, label.data(), length);
        return static_cast<int>(length);
    }
    int GetMOTFileName(MOTFileName* record) override {
        std::strncpy(record->name, slide.c_str(), sizeof(record->name) - 1);
        return slide.empty() ? 0 : 1;
    }
    void SetMOTBodyPath(const std::string& path) override { body_paths.push_back(path); }
};

class RecordingDisplay : public DataServiceDisplay {
  public:
    std::vector<std::string> calls;
    std::vector<std::string> texts;
    std::vector<std::string> files;
    std::vector<std::string> pages;

    void Show(bool) override { calls.push_back("Show"); }
    void Hide() override { calls.push_back("Hide"); }
    void Reset() override { calls.push_back("Reset"); }
    void UseLogo() override { calls.push_back("UseLogo"); }
    void ShowFile(const std::string& path) override { files.push_back(path); }
    void Navigate(const std::string& page) override { pages.push_back(page); }
    void SetRadioText(const std::string& text) override { texts.push_back(text); }
    void ShowRadioText(bool visible) override {
        calls.push_back(visible ? "ShowRadioText" : "HideRadioText");
    }
};

struct Harness {
    Harness() : core(&port) {
        core.controller->SetDataServiceDisplay(&display);
        core.settings.set_path(settings::kDataServiceFolder, (core.folder / "MOT").string());
        core.state.WithStore([](settings::ChannelStore& s) {
            s.tv.Append(koru::test::Entry("KBS", 208.736f, 0, 0));
            s.radio.Append(koru::test::Entry("Radio", 208.736f, 2, 1));
            s.data.Append(koru::test::Entry("News  ", 208.736f, 3, 3));
            s.data.Append(koru::test::Entry("../..", 208.736f, 4, 3));
        });
    }
    ~Harness() { core.controller->SetDataServiceDisplay(nullptr); }
    void Tune(int watch_kind, int index) {
        core.state.SetWatchKind(watch_kind);
        core.message_window->Handle(WM_SYSTEM_TUNE, index, 0);
    }
    void Label(int charset, const std::string& bytes) {
        port.label = bytes;
        core.message_window->Handle(WM_SYSTEM_DLS, charset, static_cast<M4Param>(bytes.size()));
    }

    FakePort port;
    RecordingDisplay display;
    CoreHarness core;
};

std::string Ucs2(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c >> 8));
        bytes.push_back(static_cast<char>(c & 0xFF));
    }
    return bytes;
}

}  // namespace

class DataServiceMessagesTest : public QObject {
    Q_OBJECT

  private slots:
    void DataTuneSetsTheBodyPathAndEveryDirectoryTheStartPage();
    void ChannelNamesStayOneFolderInside();
    void LabelsInEveryCharacterSet();
    void SlideshowObjectsReachTheDisplayInTheRadioList();
    void TunesAndStopsShowHideAndReset();
};

void DataServiceMessagesTest::DataTuneSetsTheBodyPathAndEveryDirectoryTheStartPage() {
    Harness h;
    h.Tune(settings::kWatchKindData, 0);
    const std::string news = (h.core.folder / "MOT").string() + "/News/";
    QCOMPARE(h.port.body_paths, std::vector<std::string>{news});
    QVERIFY(std::filesystem::is_directory(news));
    QCOMPARE(QString::fromStdString(h.core.message_window->channel_data_folder()),
             QString::fromStdString(news));
    QVERIFY(h.display.calls == (std::vector<std::string>{"UseLogo", "HideRadioText", "Show"}));
    // The carousel repeats its directory: the same start page each time.
    h.core.message_window->Handle(WM_SYSTEM_MOT_DIR_TIME, 0, 7);
    h.core.message_window->Handle(WM_SYSTEM_MOT_DIR_TIME, 0, 7);
    QCOMPARE(h.display.pages, (std::vector<std::string>{news + "index.htm", news + "index.htm"}));
    QCOMPARE(h.core.message_window->timers().Period(timer::kDataServiceDirectory), 700);
    // A tune of the same channel again keeps what is in the folder.
    koru::test::WriteFile(std::filesystem::path(news) / "index.htm", "<p>kept</p>");
    h.Tune(settings::kWatchKindData, 0);
    QVERIFY(std::filesystem::exists(std::filesystem::path(news) / "index.htm"));
    // In the radio list a directory shows nothing and the radio tune stops the timer.
    h.Tune(settings::kWatchKindRadio, 0);
    QVERIFY(!h.core.message_window->timers().IsActive(timer::kDataServiceDirectory));
    h.core.message_window->Handle(WM_SYSTEM_MOT_DIR_TIME, 0, 7);
    QCOMPARE(h.display.pages.size(), size_t{2});
}

void DataServiceMessagesTest::ChannelNamesStayOneFolderInside() {
    QCOMPARE(ChannelDataFolder("/m/", "News   "), std::string("/m/News/"));
    QCOMPARE(ChannelDataFolder("/m/", "a/b"), std::string("/m/a_b/"));
    QCOMPARE(ChannelDataFolder("/m/", ".."), std::string("/m/_../"));
    QCOMPARE(ChannelDataFolder("/m/", "   "), std::string("/m/_/"));
    Harness h;
    h.Tune(settings::kWatchKindData, 1);
    const std::filesystem::path made(h.port.body_paths.at(0));
    QCOMPARE(made.parent_path().parent_path(), h.core.folder / "MOT");
}

void DataServiceMessagesTest::LabelsInEveryCharacterSet() {
    Harness h;
    h.Tune(settings::kWatchKindRadio, 0);
    h.display.texts.clear();
    h.Label(dab::kCharsetUtf8, "코루 라디오 - 한국어");
    h.Label(dab::kCharsetEbuLatin, *dab::Utf8ToEbuLatin("Café à 9"));
    h.Label(dab::kCharsetUcs2, Ucs2(u"한국 DAB"));
    h.Label(dab::kCharsetLatin1, Ucs2(u"채널") + std::string(2, '\0') + "junk");
    QCOMPARE(h.display.texts,
             (std::vector<std::string>{"코루 라디오 - 한국어", "Café à 9", "한국 DAB", "채널"}));
    // An empty label shows nothing: the last text stays.
    h.Label(dab::kCharsetUtf8, "");
    QCOMPARE(h.display.texts.size(), size_t{4});
    // Malformed UTF-8 does not break the text around it.
    h.Label(dab::kCharsetUtf8, "ok \xFF end");
    QCOMPARE(h.display.texts.back(), std::string("ok \xEF\xBF\xBD end"));
}

void DataServiceMessagesTest::SlideshowObjectsReachTheDisplayInTheRadioList() {
    Harness h;
    h.Tune(settings::kWatchKindRadio, 0);
    h.port.slide = "/mot/0001.jpg";
    h.core.message_window->Handle(WM_SYSTEM_MOT_FILE, 1, 6277);
    QCOMPARE(h.display.files, std::vector<std::string>{"/mot/0001.jpg"});
    // A report that comes after the switch to TV or to a website changes nothing there.
    h.Tune(settings::kWatchKindTv, 0);
    h.core.message_window->Handle(WM_SYSTEM_MOT_FILE, 1, 6277);
    h.Tune(settings::kWatchKindData, 0);
    h.core.message_window->Handle(WM_SYSTEM_MOT_FILE, 1, 6277);
    QCOMPARE(h.display.files.size(), size_t{1});
}

void DataServiceMessagesTest::TunesAndStopsShowHideAndReset() {
    Harness h;
    h.Tune(settings::kWatchKindRadio, 0);
    // A new radio service: its own label and the logo until its first slide.
    QVERIFY(h.display.calls == (std::vector<std::string>{"UseLogo", "ShowRadioText", "Show"}));
    QCOMPARE(h.display.texts, std::vector<std::string>{""});
    h.display.calls.clear();
    h.Tune(settings::kWatchKindTv, 0);
    QVERIFY(h.display.calls == (std::vector<std::string>{"HideRadioText", "Hide"}));
    // Stop in the radio list, a weak signal and a lost receiver reset the data service, and the
    // radio module forgets its label and slide on the event thread.
    h.core.state.SetWatchKind(settings::kWatchKindRadio);
    h.core.DrainEvents();
    h.core.terminal.Clear();
    h.display.calls.clear();
    h.core.message_window->Handle(WM_SYSTEM_STOP, 0, 0);
    h.core.message_window->Handle(WM_SYSTEM_WEAK_SIGNAL, 0, 0);
    QCOMPARE(std::count(h.display.calls.begin(), h.display.calls.end(), "Reset"), 2);
    QVERIFY(CoreHarness::WaitFor(
        [&] { return h.core.terminal.CallsNamed("MOTInitVariable").size() == 2; }));
    QCOMPARE(h.core.terminal.CallsNamed("MOTInitVariable")[0].a, 1);
}

QTEST_MAIN(DataServiceMessagesTest)
#include "data_service_messages_test.moc"
