// The data-service display under the offscreen platform: EM_MOT's pictures (centred, clipped,
// PNG, the logo, one decode per picture), its HTML view (one page per permission, pages that
// are not complete yet, a site confined to its folder), its keys and right click; the radio text
// window; the on-screen texts' places and fonts; and the display on the real main window.
#include <QPainter>
#include <QtTest>
#include <filesystem>

#include "m4systems/messages.h"
#include "player/core/osd_window.h"
#include "player/core/velmar_player_dlg.h"
#include "player/dataservice/data_service_windows.h"
#include "player/dataservice/em_mot.h"
#include "player/dataservice/radio_text_window.h"
#include "player_fakes.h"
#include "support/environment.h"

using namespace koru::player;
using koru::test::TempDir;
namespace settings = koru::settings;

namespace {

const QRgb kBackground = qRgb(0x0A, 0x00, 0x0A);

// A picture of one colour, or with its top-left 320 x 240 in `corner` and the rest in `rest`.
std::string WritePicture(const TempDir& folder, const std::string& name, QSize size, QColor corner,
                         QColor rest = QColor()) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(rest.isValid() ? rest : corner);
    for (int y = 0; y < std::min(240, size.height()); ++y)
        for (int x = 0; x < std::min(320, size.width()); ++x)
            image.setPixelColor(x, y, corner);
    const std::string path = (folder / name).string();
    image.save(QString::fromStdString(path), name.ends_with(".png") ? "PNG" : "JPG", 100);
    return path;
}

// Close enough for a JPEG of one colour.
bool Near(QRgb a, QColor b) {
    return std::abs(qRed(a) - b.red()) < 8 && std::abs(qGreen(a) - b.green()) < 8 &&
           std::abs(qBlue(a) - b.blue()) < 8;
}

int CountPixels(const QImage& image, const std::function<bool(QRgb)>& wanted) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += wanted(image.pixel(x, y)) ? 1 : 0;
    return count;
}

// A main window stand-in that counts the keys it gets.
class KeySink : public QWidget {
  public:
    std::vector<int> keys;

  protected:
    void keyReleaseEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

struct MotHarness {
    MotHarness() : mot(&main, WritePicture(folder, "dab_logo.jpg", {320, 240}, Qt::darkCyan)) {
        main.resize(400, 300);
        main.show();
        mot.Place(QRect(0, 0, 400, 300));
        mot.Show();
    }
    QImage Screen() { return mot.grab().toImage(); }

    TempDir folder;
    KeySink main;
    EM_MOT mot;
};

}  // namespace

class DataServiceTest : public QObject {
    Q_OBJECT

  private slots:
    void SmallPictureIsCentredOnTheBackground();
    void LargePictureShowsItsTopLeftPart();
    void PngSlideReplacesTheOldPicture();
    void EmptyPathChangesNothing();
    void UndecodableFileGivesWayToTheLogoAtTheNextPaint();
    void ThePictureIsDecodedOncePerFile();
    void TwoNavigateCallsWithoutPageReadyLoadOnePage();
    void IncompletePageIsLoadedAgainAtTheNextDirectory();
    void SiteShowsNothingFromOutsideItsFolder();
    void KeysGoToTheMainWindowAndRightClickOpensTheMenu();
    void RadioTextIsOneLineThatScrollsWhenLong();
    void OnScreenTextsScaleWithThePicture();
    void DisplayFollowsTheMainWindow();
};

void DataServiceTest::SmallPictureIsCentredOnTheBackground() {
    MotHarness h;
    QCOMPARE(h.mot.geometry(), QRect(40, 30, 320, 240));
    h.mot.ShowFile(WritePicture(h.folder, "small.jpg", {160, 120}, QColor(200, 40, 40)));
    const QImage screen = h.Screen();
    QCOMPARE(screen.size(), QSize(320, 240));
    QVERIFY(Near(screen.pixel(80, 60), QColor(200, 40, 40)));
    QVERIFY(Near(screen.pixel(239, 179), QColor(200, 40, 40)));
    for (QPoint outside : {QPoint(79, 60), QPoint(80, 59), QPoint(240, 179), QPoint(80, 180),
                           QPoint(0, 0), QPoint(319, 239)}) {
        QCOMPARE(screen.pixel(outside), kBackground);
    }
}

void DataServiceTest::LargePictureShowsItsTopLeftPart() {
    MotHarness h;
    h.mot.ShowFile(WritePicture(h.folder, "large.png", {640, 480}, Qt::green, Qt::blue));
    QCOMPARE(h.mot.picture().size(), QSize(640, 480));
    const QImage screen = h.Screen();
    QCOMPARE(CountPixels(screen, [](QRgb p) { return p == qRgb(0, 255, 0); }), 320 * 240);
}

void DataServiceTest::PngSlideReplacesTheOldPicture() {
    MotHarness h;
    h.mot.ShowFile(WritePicture(h.folder, "one.jpg", {320, 240}, QColor(200, 40, 40)));
    QVERIFY(Near(h.Screen().pixel(160, 120), QColor(200, 40, 40)));
    h.mot.ShowFile(WritePicture(h.folder, "two.png", {320, 240}, QColor(20, 200, 90)));
    QCOMPARE(h.Screen().pixel(160, 120), qRgb(20, 200, 90));
}

void DataServiceTest::EmptyPathChangesNothing() {
    MotHarness h;
    const std::string path = WritePicture(h.folder, "one.jpg", {320, 240}, QColor(200, 40, 40));
    h.mot.ShowFile(path);
    const int decodes = h.mot.decodes();
    h.mot.ShowFile("");
    QCOMPARE(h.mot.file_path(), path);
    QCOMPARE(h.mot.decodes(), decodes);
    QVERIFY(Near(h.Screen().pixel(160, 120), QColor(200, 40, 40)));
}

void DataServiceTest::UndecodableFileGivesWayToTheLogoAtTheNextPaint() {
    MotHarness h;
    koru::test::WriteFile(h.folder / "broken.jpg", "\xFF\xD8 not a picture");
    h.mot.ShowFile((h.folder / "broken.jpg").string());
    QVERIFY(h.mot.picture().isNull());
    QVERIFY(!h.mot.use_logo());
    QVERIFY(Near(h.Screen().pixel(160, 120), QColor(Qt::darkCyan)));
    QVERIFY(h.mot.use_logo());
    // A missing logo too: the window keeps its background.
    std::filesystem::remove(h.folder / "dab_logo.jpg");
    h.mot.ShowFile((h.folder / "broken.jpg").string());
    QCOMPARE(h.Screen().pixel(160, 120), kBackground);
}

void DataServiceTest::ThePictureIsDecodedOncePerFile() {
    MotHarness h;
    const std::string path = WritePicture(h.folder, "0000.jpg", {320, 240}, QColor(200, 40, 40));
    const int before = h.mot.decodes();
    // A burst of reports of the same object, and the carousel's second copy of it.
    for (int i = 0; i < 10; ++i)
        h.mot.ShowFile(path);
    h.mot.Show();
    h.Screen();
    QCOMPARE(h.mot.decodes(), before + 1);
    // The same name with a new picture is decoded again.
    WritePicture(h.folder, "0000.jpg", {320, 240}, QColor(40, 40, 200));
    h.mot.ShowFile(path);
    QCOMPARE(h.mot.decodes(), before + 2);
    QVERIFY(Near(h.Screen().pixel(160, 120), QColor(40, 40, 200)));
}

void DataServiceTest::TwoNavigateCallsWithoutPageReadyLoadOnePage() {
    MotHarness h;
    koru::test::WriteFile(h.folder / "a.htm", "<h1>first</h1>");
    koru::test::WriteFile(h.folder / "b.htm", "<h1>second</h1>");
    h.mot.Navigate((h.folder / "a.htm").string());
    h.mot.Navigate((h.folder / "b.htm").string());
    QCOMPARE(h.mot.browser()->pages_loaded(), 1);
    QVERIFY(h.mot.browser()->toPlainText().contains("first"));
    QVERIFY(h.mot.browser_mode());
    QCOMPARE(h.mot.browser()->geometry(), QRect(-1, -1, 322, 242));
    h.mot.PageReady();
    h.mot.Navigate((h.folder / "b.htm").string());
    QCOMPARE(h.mot.browser()->pages_loaded(), 2);
    QVERIFY(h.mot.browser()->toPlainText().contains("second"));
    // Hide and Show allow the next page too, and collapse the view.
    h.mot.Hide();
    QCOMPARE(h.mot.browser()->width(), 0);
    QVERIFY(h.mot.navigate_allowed());
    QVERIFY(!h.mot.browser_mode());
}

void DataServiceTest::IncompletePageIsLoadedAgainAtTheNextDirectory() {
    MotHarness h;
    const TempDir& site = h.folder;
    koru::test::WriteFile(site / "index.htm", "<p>page</p><img src=\"images/bars.png\">");
    h.mot.Navigate((site / "index.htm").string());
    QVERIFY(h.mot.navigate_allowed());
    std::filesystem::create_directories(site / "images");
    WritePicture(site, "images/bars.png", {60, 40}, Qt::magenta);
    h.mot.Navigate((site / "index.htm").string());
    QCOMPARE(h.mot.browser()->pages_loaded(), 2);
    QVERIFY(!h.mot.navigate_allowed());
    const QImage shown = h.mot.browser()->viewport()->grab().toImage();
    QVERIFY(CountPixels(shown, [](QRgb p) { return p == qRgb(255, 0, 255); }) > 1000);
}

void DataServiceTest::SiteShowsNothingFromOutsideItsFolder() {
    MotHarness h;
    const std::filesystem::path site = h.folder / "MOT" / "News";
    std::filesystem::create_directories(site / "images");
    const std::string outside = WritePicture(h.folder, "outside.png", {60, 40}, Qt::red);
    koru::test::WriteFile(h.folder / "secret.htm", "<p>secret</p>");
    WritePicture(h.folder, "MOT/News/images/in.png", {60, 40}, Qt::green);
    std::filesystem::create_symlink(outside, site / "images" / "link.png");
    koru::test::WriteFile(site / "index.htm",
                          "<img src=\"images/in.png\"><img src=\"../../outside.png\">"
                          "<img src=\"" +
                              outside + "\"><img src=\"file://" + outside +
                              "\">"
                              "<img src=\"images/link.png\"><img src=\"http://example.com/x.png\">"
                              "<a href=\"../../secret.htm\">out</a>");
    h.mot.Navigate((site / "index.htm").string());
    SiteBrowser* browser = h.mot.browser();
    const QImage shown = browser->viewport()->grab().toImage();
    QVERIFY(CountPixels(shown, [](QRgb p) { return p == qRgb(0, 255, 0); }) > 1000);
    QCOMPARE(CountPixels(shown, [](QRgb p) { return p == qRgb(255, 0, 0); }), 0);
    // The three ways to the outside file name one file; the link and the remote image besides.
    const QString refused = browser->refused().join(" ");
    QVERIFY2(refused.contains("/outside.png") && refused.contains("images/link.png") &&
                 refused.contains("http://example.com/x.png"),
             qPrintable(refused));
    // A link out of the folder is not followed.
    const QUrl page = browser->source();
    emit browser->anchorClicked(QUrl("../../secret.htm"));
    QCOMPARE(browser->source(), page);
    QVERIFY(!browser->toPlainText().contains("secret"));
}

void DataServiceTest::KeysGoToTheMainWindowAndRightClickOpensTheMenu() {
    MotHarness h;
    QPoint menu_at;
    h.mot.SetContextMenuHandler([&](const QPoint& global) { menu_at = global; });
    koru::test::WriteFile(h.folder / "a.htm", "<p>page</p>");
    h.mot.Navigate((h.folder / "a.htm").string());
    QTest::keyClick(h.mot.browser(), Qt::Key_Down);
    QTest::keyClick(&h.mot, Qt::Key_T);
    QCOMPARE(h.main.keys, (std::vector<int>{Qt::Key_Down, Qt::Key_T}));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(123, 45));
    QCoreApplication::sendEvent(h.mot.browser()->viewport(), &click);
    QCOMPARE(menu_at, QPoint(123, 45));
}

void DataServiceTest::RadioTextIsOneLineThatScrollsWhenLong() {
    QWidget main;
    main.resize(360, 380);
    RadioTextWindow text(&main);
    text.Place(QRect(20, 34, 320, 240), 360, 5, OsdFontPoints(240));
    QCOMPARE(text.width(), 320);
    QCOMPARE(text.x(), 20);
    QCOMPARE(text.geometry().bottom(), 34 + 239);
    QVERIFY(text.height() < 30);
    // Layout kind 0: as wide as the picture, 26 pixels to the right.
    text.Place(QRect(20, 34, 400, 300), 480, 0, OsdFontPoints(300));
    QCOMPARE(text.geometry().left(), 46);
    QCOMPARE(text.width(), 400);
    text.Place(QRect(20, 34, 320, 240), 360, 5, OsdFontPoints(240));
    text.show();
    text.SetText("KORU Radio");
    for (int i = 0; i < 100; ++i)
        text.Scroll();
    QCOMPARE(text.scroll_offset(), 0);
    text.SetText("HOLDOUT-A DLS: Alpha Tone 440 Hz test service - ODR-PadEnc 3.1.0 and more");
    for (int i = 0; i < 100; ++i)
        text.Scroll();
    QVERIFY(text.scroll_offset() > 0);
    text.Clear();
    QCOMPARE(text.scroll_offset(), 0);
    // Nothing is drawn without a text: the picture shows through.
    QImage under(text.size(), QImage::Format_RGB32);
    under.fill(Qt::yellow);
    QPainter painter(&under);
    text.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(under.pixel(5, 5), qRgb(255, 255, 0));
}

void DataServiceTest::OnScreenTextsScaleWithThePicture() {
    QCOMPARE(OsdRect(kCaptionReference, {320, 240}), QRect(10, 10, 250, 20));
    QCOMPARE(OsdRect(kCaptionReference, {640, 480}), QRect(20, 20, 500, 40));
    // The recording mark's rule reaches past the picture; the window stays inside.
    QCOMPARE(OsdRect(kRecordReference, {320, 240}), QRect(282, 2, 38, 14));
    QCOMPARE(OsdFontPoints(240), 9);
    QCOMPARE(OsdFontPoints(480), 18);
    QCOMPARE(VolumeOsdRect(QRect(20, 34, 320, 240)), QRect(180, 44, 150, 20));
    // The caption's texts in both languages.
    koru::test::CoreHarness core;
    core.state.WithStore(
        [](settings::ChannelStore& s) { s.tv.Append(koru::test::Entry("KBS  ", 208.736f, 0, 0)); });
    core.state.SetLanguage(1);
    core.controller->ShowChannelCaption(settings::kWatchKindTv, 0);
    core.state.SetLanguage(0);
    core.controller->ShowChannelCaption(settings::kWatchKindTv, 0);
    QCOMPARE(core.view.banners, (std::vector<std::string>{"[Channel: KBS]", "[채널: KBS]"}));
}

void DataServiceTest::DisplayFollowsTheMainWindow() {
    settings::ChannelStore store;
    PlayerState state(store);
    TempDir folder;
    settings::EM_XmlFile xml(store, (folder / "channel.xml").string());
    VelmarPlayerDlg window(state);
    window.LoadSkin((koru::test::BinDir() / "Koru Digital.lay").string());
    MainController::Dependencies dependencies;
    dependencies.state = &state;
    dependencies.settings = &xml;
    dependencies.view = &window;
    MainController controller(dependencies);
    window.SetController(&controller);
    DataServiceWindows display(window);
    controller.SetDataServiceDisplay(&display);
    window.show();
    // Centred on the picture area at every size, and in full screen.
    QCOMPARE(display.mot()->geometry(), QRect(20, 34, 320, 240));
    QCOMPARE(display.radio_text()->width(), 320);
    controller.DoubleSize();
    QCOMPARE(display.mot()->geometry(), QRect(20 + 160, 34 + 120, 320, 240));
    QCOMPARE(display.radio_text()->width(), window.width() - 40);
    controller.EnterFullScreen();
    QCOMPARE(display.mot()->geometry().center(), window.VideoRect().center());
    controller.LeaveFullScreen();
    controller.NormalSize();
    // The radio list shows it with the logo, TV hides it again.
    state.play_source = kPlaySourceLive;
    state.SetWatchKind(settings::kWatchKindTv);
    controller.SwitchWatchKind(settings::kWatchKindRadio);
    QVERIFY(display.mot()->isVisible());
    QVERIFY(display.radio_text()->isVisible());
    controller.SwitchWatchKind(settings::kWatchKindData);
    QVERIFY(!display.radio_text()->isVisible());
    controller.SwitchWatchKind(settings::kWatchKindTv);
    QVERIFY(!display.mot()->isVisible());
    QCOMPARE(state.layout.load(), kLayoutVideo);
    // The recording mark shows only while recording.
    window.ShowRecordMark(true);
    QVERIFY(!window.record_mark()->isVisible());
    state.recording_state = kRecording;
    window.ShowRecordMark(true);
    QVERIFY(window.record_mark()->isVisible());
    QCOMPARE(window.record_mark()->text(), QString(" REC"));
    controller.SetDataServiceDisplay(nullptr);
}

QTEST_MAIN(DataServiceTest)
#include "data_service_test.moc"
