// The data services end to end on an X server of their own, with the real player, the real
// receiver plug-in and the emulated stick.
//
//   dataservice_e2e demo        the demo air: the radio's slides one after another and each of
//                               its labels (the Korean one too) in the radio text window, the
//                               website's start page with its images, TV hiding EM_MOT, the
//                               volume display shown and hidden again
//   dataservice_e2e reference   the independent reference recording on the air (a receiver.conf
//                               of this test's own): its label and both slides appear, the slide
//                               files byte-identical to the ones beside the recording
//   dataservice_e2e dabplus     the independent DAB+ recording on the air: "India HE 64" plays
//                               with sound, its label and slide on screen, the slide file
//                               byte-identical to the one beside the recording; the channel
//                               list, and "Juliet Mono 32k" tuned with Down plays with sound
//
// Screenshots are kept in build/tests/artifacts/dataservice_e2e. Exit status: 0 passed, 1
// failed, 77 skipped (no X tools, no receiver plug-in that plays, no reference recording).
#include <QCoreApplication>
#include <QImage>
#include <cstdio>
#include <map>
#include <set>

#include "player/skin/qt_skin.h"
#include "player/skin/skin_layout.h"
#include "support/player_session.h"
#include "support/soft_check.h"
#include "support/temp_dir.h"

namespace {

using koru::test::PlayerProcess;
using koru::test::XvfbDisplay;

// The main window stands at its first-start place; the channel list beside it.
const QPoint kOrigin(100, 100);
const char* const kSlideMark = "===szMOTName - ";
const char* const kLabelMark = "radio text: ";

// The texts that follow mark on a log line, in the order they first came.
std::vector<std::string> LinesAfter(const std::string& log, const std::string& mark) {
    std::vector<std::string> found;
    for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) {
        const size_t begin = at + mark.size();
        const std::string text = log.substr(begin, log.find('\n', begin) - begin);
        if (std::find(found.begin(), found.end(), text) == found.end()) found.push_back(text);
    }
    return found;
}

int CountPixels(const QImage& screen, const QRect& area, const std::function<bool(QRgb)>& wanted) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += wanted(screen.pixel(x, y)) ? 1 : 0;
    return count;
}

bool Near(QRgb pixel, int r, int g, int b, int tolerance) {
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

class Session {
  public:
    explicit Session(const QString& artifacts) : artifacts_(artifacts) {
        layout_.LoadLayout((koru::test::BinDir() / "Koru Digital.lay").string());
        QDir().mkpath(artifacts_);
    }
    ~Session() {
        QFile::remove(artifacts_ + "/" + log_name_);
        QFile::copy(QString::fromStdString((home_ / "player.log").string()),
                    artifacts_ + "/" + log_name_);
    }

    // receiver: a receiver.conf for the emulated stick; empty: the demo air.
    bool Start(const std::filesystem::path& receiver, const QString& log_name) {
        log_name_ = log_name;
        if (!display_.Start()) return false;
        if (!player_.Start(display_.display(), home_.path(), receiver)) return false;
        if (!player_.WaitForDebug("window shown after", 15000)) return false;
        QString windows;
        display_.Xdotool({"search", "--sync", "--name", "KORU-DMB"}, &windows);
        window_ = windows.section('\n', 0, 0);
        return !window_.isEmpty();
    }
    void Key(const QString& key) {
        display_.Xdotool({"windowfocus", "--sync", window_});
        display_.Xdotool({"key", key});
    }
    // A click on an element of the channel list window (beside the main window).
    void ClickList(const std::string& element, int repeat = 1) {
        ClickAt(ListOrigin() + Skin().AbsoluteRect(element).center(), repeat);
    }
    void ClickAt(const QPoint& point, int repeat = 1) {
        display_.Xdotool(
            {"mousemove", "--sync", QString::number(point.x()), QString::number(point.y())});
        display_.Xdotool({"click", "--repeat", QString::number(repeat), "--delay", "120", "1"});
    }
    QPoint ListOrigin() const { return kOrigin + Skin().AbsoluteRect("RG_CS_Anchor").topLeft(); }
    QPoint ListItem(int index) const {
        const QRect list = Skin().AbsoluteRect("RG_CL_LIST");
        return ListOrigin() + QPoint(list.left() + 40, list.top() + 25 + index * 14);
    }
    QRect Picture() const { return Skin().AbsoluteRect("RG_Screen").translated(kOrigin); }
    QImage Shot(const QString& name) { return display_.Screenshot(artifacts_ + "/" + name); }
    bool WaitForLog(const std::string& text, int timeout_ms) {
        return player_.WaitForLog(text, timeout_ms);
    }
    std::string Log() const { return player_.Log(); }
    std::filesystem::path MotFolder() const { return koru::test::DataServiceFolder(home_.path()); }
    bool Exit() {
        Key("alt+F4");
        return player_.process().waitForFinished(15000) &&
               player_.process().exitStatus() == QProcess::NormalExit &&
               player_.process().exitCode() == 0;
    }

    // Takes a screenshot of every new slide and label until all wanted have come; returns the
    // screenshots by slide file or label text.
    std::map<std::string, QImage> Follow(const std::set<std::string>& slides,
                                         const std::set<std::string>& labels, int timeout_ms) {
        std::map<std::string, QImage> shots;
        int labels_seen = 0;
        koru::test::WaitUntil(
            [&] {
                const std::string log = Log();
                for (const std::string& slide : LinesAfter(log, kSlideMark)) {
                    const std::string name = std::filesystem::path(slide).filename().string();
                    if (!slides.contains(name) || shots.contains(name)) continue;
                    QThread::msleep(400);
                    shots[name] = Shot(QString::fromStdString("slide_" + name + ".png"));
                }
                for (const std::string& label : LinesAfter(log, kLabelMark)) {
                    if (!labels.contains(label) || shots.contains(label)) continue;
                    QThread::msleep(400);
                    shots[label] = Shot(QString("label_%1.png").arg(++labels_seen));
                }
                return shots.size() == slides.size() + labels.size();
            },
            timeout_ms, 200);
        return shots;
    }

    // The radio text window at the foot of the picture shows a line of light text on 0x0A000A.
    bool ShowsRadioText(const QImage& screen) const {
        const QRect picture = Picture();
        const QRect strip(picture.left(), picture.bottom() - 14, picture.width(), 12);
        const int dark = CountPixels(screen, strip, [](QRgb p) { return Near(p, 10, 0, 10, 2); });
        const int light = CountPixels(screen, strip, [](QRgb p) { return qGray(p) > 200; });
        return dark > strip.width() * 4 && light > 30;
    }

    koru::skin::QtSkin Skin() const { return koru::skin::QtSkin(layout_); }
    const std::filesystem::path& home() const { return home_.path(); }

  private:
    QString artifacts_;
    QString log_name_;
    koru::test::TempDir home_;
    koru::skin::SkinLayout layout_;
    XvfbDisplay display_;
    PlayerProcess player_;
    QString window_;
};

int Demo(const QString& artifacts) {
    Session session(artifacts);
    std::string error;
    CHECK(koru::test::PrepareChannels(session.home(), {"208736"}, &error), "%s", error.c_str());
    const std::string xml = koru::test::ReadFile(session.home() / "channel.xml");
    const std::string tv_frame = "first frame of " + koru::test::StoredUrl(xml, "tv");
    CHECK(session.Start({}, "demo.log"), "the player did not start\n%s", session.Log().c_str());
    CHECK(session.WaitForLog(tv_frame, 25000), "no TV\n%s", session.Log().c_str());

    // The radio: every slide and every label, each on screen.
    session.Key("t");
    CHECK(session.WaitForLog("first frame of " + koru::test::StoredUrl(xml, "radio"), 20000),
          "no radio\n%s", session.Log().c_str());
    const std::set<std::string> slides{"slide1.jpg", "slide2.jpg", "slide3.jpg"};
    const std::set<std::string> labels{"KORU Radio: a 1000 Hz tone from the demo ensemble",
                                       "Now on air: KORU Demo 12C on 208.736 MHz",
                                       "코루 라디오 - 한국어 문자 방송입니다"};
    const std::map<std::string, QImage> shots = session.Follow(slides, labels, 90000);
    for (const std::string& slide : slides) {
        CHECK(shots.contains(slide), "slide %s never came\n%s", slide.c_str(),
              session.Log().c_str());
        if (!shots.contains(slide)) continue;
        const double difference = koru::test::PictureDifference(shots.at(slide), session.Picture(),
                                                                session.MotFolder() / slide);
        std::printf("%s on screen: mean difference %.2f\n", slide.c_str(), difference);
        CHECK(difference < 4, "%s is not what the screen shows (%.2f)", slide.c_str(), difference);
    }
    for (const std::string& label : labels) {
        CHECK(shots.contains(label), "label \"%s\" never came", label.c_str());
        if (shots.contains(label))
            CHECK(session.ShowsRadioText(shots.at(label)), "no radio text for \"%s\"",
                  label.c_str());
    }
    // Each slide was decoded once when it came, however often it was reported.
    const std::string radio_log = session.Log();
    for (const std::string& slide : slides) {
        const std::string decoded = "jpeg decording " + (session.MotFolder() / slide).string();
        std::printf("%s: reported %zu times, decoded %zu times\n", slide.c_str(),
                    koru::test::CountOf(radio_log,
                                        kSlideMark + (session.MotFolder() / slide).string() + "\n"),
                    koru::test::CountOf(radio_log, decoded));
    }

    // The website: the data list, a double-click on KORU Web, its start page with its images.
    session.Key("l");
    QThread::msleep(800);
    session.ClickList("BT_CL_Data");
    QThread::msleep(800);
    session.ClickAt(session.ListItem(0), 2);
    CHECK(session.WaitForLog("KORU Web/index.htm shown", 40000), "no website\n%s",
          session.Log().c_str());
    QThread::msleep(500);
    const QImage web = session.Shot("website.png");
    const QRect picture = session.Picture();
    const int white = CountPixels(web, picture, [](QRgb p) { return qGray(p) > 245; });
    // The colour bars of images/bars.jpg (yellow and cyan) and the pattern of images/colors.png.
    const int yellow = CountPixels(web, picture, [](QRgb p) { return Near(p, 191, 191, 0, 30); });
    const int cyan = CountPixels(web, picture, [](QRgb p) { return Near(p, 0, 191, 191, 30); });
    std::printf("website: %d white, %d yellow, %d cyan pixels\n", white, yellow, cyan);
    CHECK(white > picture.width() * picture.height() / 5, "no page (%d white pixels)", white);
    CHECK(yellow > 300 && cyan > 300, "the page's image is missing (%d, %d)", yellow, cyan);

    // TV again: EM_MOT goes, the picture plays in the video layout.
    const size_t tv_frames = koru::test::CountOf(session.Log(), tv_frame);
    session.ClickList("BT_CL_TV");
    CHECK(koru::test::WaitUntil(
              [&] { return koru::test::CountOf(session.Log(), tv_frame) > tv_frames; }, 25000),
          "TV did not play again\n%s", session.Log().c_str());
    QThread::msleep(2500);
    const QImage tv = session.Shot("tv.png");
    const int tv_white = CountPixels(tv, picture, [](QRgb p) { return qGray(p) > 245; });
    std::set<QRgb> colours;
    for (int y = picture.top(); y <= picture.bottom(); y += 2)
        for (int x = picture.left(); x <= picture.right(); x += 2)
            colours.insert(tv.pixel(x, y) & 0xF8F8F8);
    std::printf("TV: %zu colours, %d white pixels\n", colours.size(), tv_white);
    CHECK(colours.size() > 40, "no moving picture (%zu colours)", colours.size());
    CHECK(tv_white < picture.width() * picture.height() / 10, "the website is still shown");

    // The volume display: shown after a change, gone after its second.
    session.Key("Right");
    QThread::msleep(250);
    const QRect volume = QRect(180, 44, 150, 20).translated(kOrigin);
    const auto volume_colour = [](QRgb p) { return Near(p, 0x3A, 0x58, 0x94, 3); };
    const int shown = CountPixels(session.Shot("volume.png"), volume, volume_colour);
    QThread::msleep(1800);
    const int hidden = CountPixels(session.Shot("volume_hidden.png"), volume, volume_colour);
    std::printf("volume display: %d pixels of its colour, %d after its time\n", shown, hidden);
    CHECK(shown > volume.width() * volume.height() / 2, "no volume display (%d)", shown);
    CHECK(hidden < 50, "the volume display stayed (%d)", hidden);
    CHECK(session.Exit(), "the player did not exit cleanly");
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

// A recording as the only ensemble on 208.736 MHz (a receiver.conf of the session's own): the
// channels searched, then the player started on it.
void StartOnTheAir(Session& session, const std::filesystem::path& eti, const QString& log_name) {
    const std::filesystem::path conf = session.home() / "receiver.conf";
    koru::test::WriteFile(conf, "air 208736 " + eti.string() + " level 18\n");
    std::string error;
    CHECK(koru::test::PrepareChannels(session.home(), {"208736"}, &error, conf), "%s",
          error.c_str());
    CHECK(session.Start(conf, log_name), "the player did not start\n%s", session.Log().c_str());
}

int Reference(const QString& artifacts) {
    const std::filesystem::path eti = koru::test::ReferenceEti();
    if (eti.empty()) {
        std::printf("SKIP: no reference recording in %s\n",
                    koru::test::ReferenceDir().string().c_str());
        return 77;
    }
    Session session(artifacts);
    StartOnTheAir(session, eti, "reference.log");
    // Three radio services and no TV: the player starts with the first, Alpha Tone 440.
    CHECK(session.WaitForLog("first frame of bbu://208736,0,0.mp2", 25000), "no radio\n%s",
          session.Log().c_str());
    const std::string label = "HOLDOUT-A DLS: Alpha Tone 440 Hz test service - ODR-PadEnc 3.1.0";
    const std::map<std::string, std::string> slides{{"0000.jpg", "slide1_blue.jpg"},
                                                    {"0001.jpg", "slide2_red.jpg"}};
    const std::map<std::string, QImage> shots =
        session.Follow({"0000.jpg", "0001.jpg"}, {label}, 60000);
    CHECK(shots.contains(label), "the label never came:\n%s", session.Log().c_str());
    if (shots.contains(label)) CHECK(session.ShowsRadioText(shots.at(label)), "no radio text");
    for (const auto& [name, original] : slides) {
        CHECK(shots.contains(name), "slide %s never came", name.c_str());
        const std::string written = koru::test::ReadFile(session.MotFolder() / name);
        const std::string expected = koru::test::ReadFile(koru::test::ReferenceDir() / original);
        CHECK(!expected.empty() && written == expected, "%s is not %s byte for byte", name.c_str(),
              original.c_str());
        if (!shots.contains(name)) continue;
        const double difference = koru::test::PictureDifference(
            shots.at(name), session.Picture(), koru::test::ReferenceDir() / original);
        std::printf("%s (%s) on screen: mean difference %.2f\n", name.c_str(), original.c_str(),
                    difference);
        CHECK(difference < 4, "%s is not what the screen shows (%.2f)", name.c_str(), difference);
    }
    CHECK(session.Exit(), "the player did not exit cleanly");
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

// The closing counts of the terminal: audio samples played by each connection, in order.
std::vector<long> PlayedSamples(const std::string& log) {
    const std::string mark = " pictures and ";
    std::vector<long> counts;
    for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1))
        counts.push_back(std::strtol(log.c_str() + at + mark.size(), nullptr, 10));
    return counts;
}

int DabPlus(const QString& artifacts) {
    const std::filesystem::path eti = koru::test::ReferenceDabPlusEti();
    if (eti.empty()) {
        std::printf("SKIP: no DAB+ reference recording in %s\n",
                    koru::test::ReferenceDir().string().c_str());
        return 77;
    }
    Session session(artifacts);
    StartOnTheAir(session, eti, "dabplus.log");
    // Two DAB+ radio services and no TV: the player starts with the first, India HE 64.
    CHECK(session.WaitForLog("first frame of bbu://208736,0,0.mp2", 25000), "no radio\n%s",
          session.Log().c_str());
    std::string slide;
    koru::test::WaitUntil(
        [&] {
            const std::vector<std::string> slides = LinesAfter(session.Log(), kSlideMark);
            if (!slides.empty()) slide = std::filesystem::path(slides[0]).filename().string();
            return !slide.empty();
        },
        60000, 200);
    CHECK(!slide.empty(), "no slide came\n%s", session.Log().c_str());
    const std::string label = "REFERENCE-C DLS: India HE-AAC 64 kbit/s with slideshow";
    const std::map<std::string, QImage> shots = session.Follow({slide}, {label}, 60000);
    CHECK(shots.contains(label), "the label never came:\n%s", session.Log().c_str());
    if (shots.contains(label)) CHECK(session.ShowsRadioText(shots.at(label)), "no radio text");
    const std::string written = koru::test::ReadFile(session.MotFolder() / slide);
    const std::string expected =
        koru::test::ReadFile(koru::test::ReferenceDir() / "slide_c_orange.jpg");
    CHECK(!expected.empty() && written == expected, "%s is not slide_c_orange.jpg byte for byte",
          slide.c_str());
    if (shots.contains(slide)) {
        const double difference = koru::test::PictureDifference(
            shots.at(slide), session.Picture(), koru::test::ReferenceDir() / "slide_c_orange.jpg");
        std::printf("%s on screen: mean difference %.2f\n", slide.c_str(), difference);
        CHECK(difference < 4, "%s is not what the screen shows (%.2f)", slide.c_str(), difference);
    }
    // Label and slide stay while the sound plays on.
    QThread::msleep(2000);
    session.Shot("dabplus_playing.png");

    // The channel list names both; Down tunes Juliet Mono 32k with its caption, and it plays.
    session.Key("l");
    QThread::msleep(1500);
    session.Shot("dabplus_channel_list.png");
    session.Key("Down");
    QThread::msleep(300);
    session.Shot("dabplus_caption.png");
    CHECK(session.WaitForLog("first frame of bbu://208736,1,0.mp2", 20000),
          "Juliet Mono 32k did not play\n%s", session.Log().c_str());
    QThread::msleep(5000);
    session.Shot("dabplus_juliet.png");
    CHECK(session.Exit(), "the player did not exit cleanly");
    const std::vector<long> samples = PlayedSamples(session.Log());
    CHECK(samples.size() == 2, "%zu connections closed", samples.size());
    if (samples.size() == 2) {
        std::printf("India HE 64: %ld audio samples played, Juliet Mono 32k: %ld\n", samples[0],
                    samples[1]);
        // India played from its first frame through the slide, the label and 2 s more.
        CHECK(samples[0] >= 2 * 48000L, "hardly any sound from India: %ld samples", samples[0]);
        CHECK(samples[1] >= 4 * 48000L, "hardly any sound from Juliet: %ld samples", samples[1]);
    }
    return koru::test::CheckFailures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (const std::string reason = koru::test::SessionUnavailable(false); !reason.empty()) {
        std::printf("SKIP: %s\n", reason.c_str());
        return 77;
    }
    const QString artifacts = QString::fromUtf8(KORU_ARTIFACT_DIR);
    const std::string scenario = argc > 1 ? argv[1] : "demo";
    if (scenario == "dabplus") return DabPlus(artifacts);
    return scenario == "reference" ? Reference(artifacts) : Demo(artifacts);
}
