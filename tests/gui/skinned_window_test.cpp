// Skinned windows: regions cut by the key colour, the twelve-piece frame, bitmap buttons,
// the bitmap slider and the skinned message box; and the default skin built into build/bin.
// Before Qt, whose "emit" keyword would clash with a name in it.
#include "support/image_bytes.h"

#include <QtTest>

#include "player/core/message_table.h"
#include "player/skin/bitmap_slider.h"
#include "player/skin/em_bitmap_button.h"
#include "player/skin/em_message_box.h"
#include "player/skin/qt_skin.h"
#include "player/skin/skin_layout.h"
#include "support/environment.h"

using namespace koru::skin;
using koru::test::Bytes;

namespace {

constexpr uint32_t kGreen = 0x00FF00;

Bytes Solid(int width, int height, uint32_t rgb) {
    return koru::test::Bmp24(width, height,
                             std::vector<uint32_t>(static_cast<size_t>(width * height), rgb));
}

QImage Filled(int width, int height, QRgb rgb) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(rgb);
    return image;
}

// A main window of 30 x 30 made of nine 10 x 10 tiles (the body tiles split 4/2/4 high), each
// piece in a colour of its own.
const char* kFrameXml = R"(<layout><page id="MAIN" x="0" y="0" width="30" height="30">
<panel id="P" x="0" y="0" width="30" height="30">
<layer id="L_Top" x="0" y="0" width="30" height="10" size="0">
  <oblet type="bitmap" id="BM_Top_1" resource="BM_Top_1" x="0" y="0" width="10" height="10" size="1"/>
  <oblet type="bitmap" id="BM_Top_2" resource="BM_Top_2" x="10" y="0" width="10" height="10" size="1"/>
  <oblet type="bitmap" id="BM_Top_3" resource="BM_Top_3" x="20" y="0" width="10" height="10" size="1"/>
</layer>
<layer id="L_Body" x="0" y="10" width="30" height="10" size="0">
  <oblet type="bitmap" id="BM_Left_1" resource="BM_Left_1" x="0" y="0" width="10" height="4" size="1"/>
  <oblet type="bitmap" id="BM_Left_2" resource="BM_Left_2" x="0" y="4" width="10" height="2" size="1"/>
  <oblet type="bitmap" id="BM_Left_3" resource="BM_Left_3" x="0" y="6" width="10" height="4" size="1"/>
  <oblet type="bitmap" id="BM_Right_1" resource="BM_Right_1" x="20" y="0" width="10" height="4" size="1"/>
  <oblet type="bitmap" id="BM_Right_2" resource="BM_Right_2" x="20" y="4" width="10" height="2" size="1"/>
  <oblet type="bitmap" id="BM_Right_3" resource="BM_Right_3" x="20" y="6" width="10" height="4" size="1"/>
</layer>
<layer id="L_Bottom" x="0" y="20" width="30" height="10" size="0">
  <oblet type="bitmap" id="BM_Bottom_1" resource="BM_Bottom_1" x="0" y="0" width="10" height="10" size="1"/>
  <oblet type="bitmap" id="BM_Bottom_2" resource="BM_Bottom_2" x="10" y="0" width="10" height="10" size="1"/>
  <oblet type="bitmap" id="BM_Bottom_3" resource="BM_Bottom_3" x="20" y="0" width="10" height="10" size="1"/>
  <oblet type="button" id="BT_One" resource="BT_One" x="0" y="0" width="4" height="4" size1="1"/>
  <oblet type="button" id="BT_All" resource="BT_All" x="4" y="0" width="4" height="4" size1="1" size2="1" size3="1" size4="1"/>
</layer></panel></page>
<page id="MB" x="0" y="0" width="40" height="20"><panel id="PM" x="0" y="0" width="40" height="20">
<layer id="LM" x="0" y="0" width="40" height="20" size="0">
  <oblet type="bitmap" id="BM_MB_Message" resource="BM_MB_Message" x="0" y="0" width="40" height="20" size="1"/>
</layer></panel></page></layout>)";

struct Piece {
    const char* name;
    int width, height;
    uint32_t rgb;
};

constexpr Piece kPieces[] = {
    {"BM_Top_1", 10, 10, 0x110000},    {"BM_Top_2", 10, 10, 0x220000},
    {"BM_Top_3", 10, 10, 0x330000},    {"BM_Left_1", 10, 4, 0x001100},
    {"BM_Left_2", 10, 2, 0x002200},    {"BM_Left_3", 10, 4, 0x003300},
    {"BM_Right_1", 10, 4, 0x000011},   {"BM_Right_2", 10, 2, 0x000022},
    {"BM_Right_3", 10, 4, 0x000033},   {"BM_Bottom_1", 10, 10, 0x444444},
    {"BM_Bottom_2", 10, 10, 0x555555}, {"BM_Bottom_3", 10, 10, 0x666666},
};

Bytes FrameLayout() {
    std::vector<std::pair<std::string, Bytes>> records;
    for (const Piece& piece : kPieces)
        records.emplace_back(piece.name, Solid(piece.width, piece.height, piece.rgb));
    records.emplace_back("BT_One_1", Solid(4, 4, 0x0000AA));
    for (uint32_t state = 1; state <= 4; ++state)
        records.emplace_back("BT_All_" + std::to_string(state), Solid(4, 4, 0x100000 * state));
    // The message box: a 40 x 20 panel whose corners are pure green.
    std::vector<uint32_t> box(40 * 20, 0x202020);
    for (int y : {0, 19})
        for (int x : {0, 39})
            box[static_cast<size_t>(y * 40 + x)] = kGreen;
    records.emplace_back("BM_MB_Message", koru::test::Bmp24(40, 20, box));
    return koru::test::LayFile(kFrameXml, records);
}

// Two regions covering the same pixels (however their rectangles are cut).
bool SameArea(const QRegion& a, const QRegion& b) {
    return a.xored(b).isEmpty();
}

QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

}  // namespace

class SkinnedWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void AllGreenGivesAnEmptyRegion();
    void NoGreenGivesOneRectanglePerRow();
    void NearlyGreenIsInside();
    void RegionsInBlocksEqualASinglePass();
    void InsideIsKeyReversesTheSense();
    void EnlargedFrameStretchesAndMoves();
    void ButtonWithOnlyANormalImage();
    void CheckedButtonShowsItsPressedImage();
    void ButtonImageSetsAndDisabledState();
    void SliderMapsValuesAndPixels();
    void SliderAtZeroPressingLeft();
    void SliderDragPostsWhileMovingAndOnRelease();
    void MessageBoxIsCentredAndShaped();
    void DefaultSkinHasEveryElement();
};

void SkinnedWindowTest::AllGreenGivesAnEmptyRegion() {
    QVERIFY(BitmapToRegion(Filled(17, 9, kGreen)).isEmpty());
    QVERIFY(BitmapRuns(Filled(17, 9, kGreen), kKeyColour, true).empty());
    QVERIFY(BitmapToRegion(QImage()).isEmpty());
}

void SkinnedWindowTest::NoGreenGivesOneRectanglePerRow() {
    const std::vector<QRect> runs = BitmapRuns(Filled(17, 9, 0x123456), kKeyColour, true);
    QCOMPARE(runs.size(), size_t{9});
    for (int y = 0; y < 9; ++y)
        QCOMPARE(runs[static_cast<size_t>(y)], QRect(0, y, 17, 1));
    QVERIFY(SameArea(BitmapToRegion(Filled(17, 9, 0x123456)), QRegion(0, 0, 17, 9)));
}

void SkinnedWindowTest::NearlyGreenIsInside() {
    QImage image = Filled(5, 1, kGreen);
    image.setPixel(2, 0, qRgb(0, 254, 0));
    image.setPixel(4, 0, qRgb(1, 255, 0));
    const std::vector<QRect> runs = BitmapRuns(image, kKeyColour, true);
    QCOMPARE(runs.size(), size_t{2});
    QCOMPARE(runs[0], QRect(2, 0, 1, 1));
    QCOMPARE(runs[1], QRect(4, 0, 1, 1));
    // The fourth byte plays no part: an ARGB image with pure green at any alpha is outside.
    QImage argb(2, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(0, 255, 0, 10));
    argb.setPixel(1, 0, qRgba(0, 255, 0, 255));
    QVERIFY(BitmapToRegion(argb).isEmpty());
}

void SkinnedWindowTest::RegionsInBlocksEqualASinglePass() {
    // 3000 rows, one run per row whose width changes with the row.
    QImage image = Filled(64, 3000, kGreen);
    for (int y = 0; y < 3000; ++y) {
        const int start = y % 13;
        const int width = 1 + (y * 7) % 40;
        for (int x = start; x < start + width; ++x)
            image.setPixel(x, y, qRgb(40, 40, 40));
    }
    QCOMPARE(BitmapRuns(image, kKeyColour, true).size(), size_t{3000});
    const QRegion blocks = BitmapToRegion(image, kKeyColour, true, kRegionBlock);
    const QRegion single = BitmapToRegion(image, kKeyColour, true, 0);
    QVERIFY(SameArea(blocks, single));
    QCOMPARE(blocks.rectCount(), single.rectCount());
    QVERIFY(blocks.contains(QPoint(0, 0)));
    QVERIFY(!blocks.contains(QPoint(63, 2999)));
    // Rows on both sides of the block border at 2000 are there.
    for (int y : {1998, 1999, 2000, 2001})
        QVERIFY(blocks.contains(QPoint(y % 13, y)));
}

void SkinnedWindowTest::InsideIsKeyReversesTheSense() {
    QImage image = Filled(4, 1, 0x101010);
    image.setPixel(1, 0, kGreen);
    image.setPixel(2, 0, kGreen);
    const std::vector<QRect> runs = BitmapRuns(image, kKeyColour, false);
    QCOMPARE(runs.size(), size_t{1});
    QCOMPARE(runs[0], QRect(1, 0, 2, 1));
}

void SkinnedWindowTest::EnlargedFrameStretchesAndMoves() {
    SkinLayout layout;
    layout.LoadLayoutData(FrameLayout());
    const QtSkin skin(layout);
    QCOMPARE(MainWindowLayoutSize(skin), QSize(30, 30));
    QImage target = Filled(70, 30, 0x000000);
    DrawFrame(target, skin, 40, 0);
    // BM_Top_2 stretched 40 wider: from x 10 to x 59.
    QCOMPARE(Rgb(target, 10, 5), QRgb{0x220000});
    QCOMPARE(Rgb(target, 59, 5), QRgb{0x220000});
    // BM_Top_3, BM_Right_1..3 and BM_Bottom_3 moved 40 to the right.
    QCOMPARE(Rgb(target, 60, 5), QRgb{0x330000});
    QCOMPARE(Rgb(target, 65, 11), QRgb{0x000011});
    QCOMPARE(Rgb(target, 65, 15), QRgb{0x000022});
    QCOMPARE(Rgb(target, 65, 18), QRgb{0x000033});
    QCOMPARE(Rgb(target, 65, 25), QRgb{0x666666});
    QCOMPARE(Rgb(target, 59, 25), QRgb{0x555555});
    // The left pieces stay.
    QCOMPARE(Rgb(target, 5, 5), QRgb{0x110000});
    QCOMPARE(Rgb(target, 5, 15), QRgb{0x002200});
    // The picture area between the side pieces is left alone.
    QCOMPARE(Rgb(target, 30, 15), QRgb{0x000000});

    // Enlarged by (0, 20): the left and right middles stretch, the bottom row moves down.
    QImage taller = Filled(30, 50, 0x000000);
    DrawFrame(taller, skin, 0, 20);
    QCOMPARE(Rgb(taller, 5, 14), QRgb{0x002200});
    QCOMPARE(Rgb(taller, 5, 35), QRgb{0x002200});
    QCOMPARE(Rgb(taller, 5, 37), QRgb{0x003300});
    QCOMPARE(Rgb(taller, 25, 45), QRgb{0x666666});
    // A missing bitmap draws nothing.
    DrawElement(taller, skin, "BM_Nothing");
    QCOMPARE(Rgb(taller, 15, 25), QRgb{0x000000});
}

void SkinnedWindowTest::ButtonWithOnlyANormalImage() {
    SkinLayout layout;
    layout.LoadLayoutData(FrameLayout());
    const QtSkin skin(layout);
    QWidget parent;
    EM_BitmapButton button(1, &parent);
    button.LoadImages(skin, "BT_One", 0, true);
    QCOMPARE(button.geometry(), QRect(0, 20, 4, 4));
    for (int state = 0; state < 4; ++state)
        QCOMPARE(button.StateImage(0, state).pixel(0, 0) & 0xFFFFFF, QRgb{0x0000AA});
}

void SkinnedWindowTest::CheckedButtonShowsItsPressedImage() {
    SkinLayout layout;
    layout.LoadLayoutData(FrameLayout());
    const QtSkin skin(layout);
    QWidget parent;
    parent.resize(40, 40);
    EM_BitmapButton button(2, &parent);
    button.LoadImages(skin, "BT_All", 0, true);
    QCOMPARE(button.DrawnState(), 0);
    button.SetChecked(true);
    QCOMPARE(button.DrawnState(), 2);
    // Mouse over a checked button: still the pressed image.
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&button, &enter);
    QVERIFY(button.hover());
    QCOMPARE(button.DrawnState(), 2);
    button.SetChecked(false);
    QCOMPARE(button.DrawnState(), 1);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    QVERIFY(!button.hover());
    QCOMPARE(button.DrawnState(), 0);
    // The image drawn is the state's own: render and compare the pixel.
    button.SetChecked(true);
    const QImage drawn = button.grab().toImage();
    QCOMPARE(drawn.pixel(1, 1) & 0xFFFFFF, QRgb{0x300000});
}

void SkinnedWindowTest::ButtonImageSetsAndDisabledState() {
    SkinLayout layout;
    layout.LoadLayoutData(FrameLayout());
    const QtSkin skin(layout);
    QWidget parent;
    EM_BitmapButton button(3, &parent);
    button.LoadImages(skin, "BT_All", 0, true);
    button.LoadImages(skin, "BT_One", 1, false);
    button.SetImageSet(1);
    QCOMPARE(button.image_set(), 1);
    button.SetImageSet(4);  // ignored
    QCOMPARE(button.image_set(), 1);
    button.SetImageSet(-1);
    QCOMPARE(button.image_set(), 1);
    button.SetImageSet(0);
    button.setEnabled(false);
    QCOMPARE(button.DrawnState(), 3);
    QCOMPARE(button.grab().toImage().pixel(1, 1) & 0xFFFFFF, QRgb{0x400000});
    // Set 1 did not move the button; MoveBy moves it from where set 0 put it.
    QCOMPARE(button.pos(), QPoint(4, 20));
    button.MoveBy(40, 10);
    QCOMPARE(button.pos(), QPoint(44, 30));
}

void SkinnedWindowTest::SliderMapsValuesAndPixels() {
    BitmapSlider slider(1010);
    slider.resize(110, 10);
    slider.SetThumbBitmaps(Filled(10, 10, 0xFFFFFF), QImage(), false);
    slider.SetMargins(0, 0, 0, 0);
    slider.SetRange(0, 100);
    // centre = 0 + 5 + value / 100 x (110 - 10)
    QCOMPARE(slider.ValueToPixel(0), 5);
    QCOMPARE(slider.ValueToPixel(50), 55);
    QCOMPARE(slider.ValueToPixel(100), 105);
    QCOMPARE(slider.PixelToValue(5), 0);
    QCOMPARE(slider.PixelToValue(55), 50);
    QCOMPARE(slider.PixelToValue(104), 99);  // truncated toward zero
    slider.SetMargins(10, 0, 10, 0);
    QCOMPARE(slider.ValueToPixel(0), 15);
    QCOMPARE(slider.ValueToPixel(100), 95);
    slider.SetPos(250);
    QCOMPARE(slider.GetPos(), 100);
    slider.SetPos(-3);
    QCOMPARE(slider.GetPos(), 0);
}

void SkinnedWindowTest::SliderAtZeroPressingLeft() {
    BitmapSlider slider(1010);
    slider.resize(110, 10);
    slider.SetThumbBitmaps(Filled(10, 10, 0xFFFFFF), QImage(), false);
    slider.SetRange(0, 100);
    slider.SetPos(0);
    std::vector<std::tuple<uint32_t, int, int>> posted;
    slider.SetNotify([&](uint32_t message, int id, int position) {
        posted.emplace_back(message, id, position);
    });
    QTest::keyRelease(&slider, Qt::Key_Left);
    QCOMPARE(slider.GetPos(), 0);
    QCOMPARE(posted.size(), size_t{1});
    QCOMPARE(std::get<0>(posted[0]), kSliderReleased);
    QCOMPARE(std::get<1>(posted[0]), 1010);
    QCOMPARE(std::get<2>(posted[0]), 0);
    QTest::keyRelease(&slider, Qt::Key_Right);
    QCOMPARE(slider.GetPos(), 1);
    // A disabled slider takes no keys.
    slider.Enable(false);
    QTest::keyRelease(&slider, Qt::Key_Right);
    QCOMPARE(slider.GetPos(), 1);
    QCOMPARE(posted.size(), size_t{2});
}

void SkinnedWindowTest::SliderDragPostsWhileMovingAndOnRelease() {
    BitmapSlider slider(1010);
    slider.resize(110, 10);
    slider.SetThumbBitmaps(Filled(10, 10, 0xFFFFFF), QImage(), false);
    slider.SetRange(0, 100);
    slider.SetPos(0);
    std::vector<std::pair<uint32_t, int>> posted;
    slider.SetNotify(
        [&](uint32_t message, int, int position) { posted.emplace_back(message, position); });
    // A click far from the thumb jumps it to the pointer.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(55, 5));
    QCOMPARE(slider.GetPos(), 50);
    QVERIFY(slider.dragging());
    QTest::mouseMove(&slider, QPoint(75, 5));
    QCOMPARE(slider.GetPos(), 70);
    // Beyond the end the thumb stops at the last value.
    QTest::mouseMove(&slider, QPoint(300, 5));
    QCOMPARE(slider.GetPos(), 100);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(300, 5));
    QVERIFY(!slider.dragging());
    const std::vector<std::pair<uint32_t, int>> expected = {
        {kSliderMoving, 50}, {kSliderMoving, 70}, {kSliderMoving, 100}, {kSliderReleased, 100}};
    QCOMPARE(posted, expected);
    // A press on the thumb keeps its offset: no jump.
    posted.clear();
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(103, 5));
    QCOMPARE(slider.GetPos(), 100);
    QVERIFY(posted.empty());
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(103, 5));
}

void SkinnedWindowTest::MessageBoxIsCentredAndShaped() {
    SkinLayout layout;
    layout.LoadLayoutData(FrameLayout());
    const QtSkin skin(layout);
    QWidget main_window;
    main_window.resize(400, 300);
    EM_MessageBox box(&main_window);
    box.Initialise(skin);
    QCOMPARE(box.size(), QSize(40, 20));
    QVERIFY(!box.region().contains(QPoint(0, 0)));
    QVERIFY(box.region().contains(QPoint(1, 0)));
    QVERIFY(!box.region().contains(QPoint(39, 19)));
    // Centred on a 320 x 240 picture area at (12, 32): (12 + 140, 32 + 110).
    box.Place(QRect(12, 32, 320, 240));
    QCOMPARE(box.pos(), QPoint(152, 142));
    box.Place(QRect(12, 32, 321, 241));
    QCOMPARE(box.pos(), QPoint(152, 142));
    // Fonts and colours by language and skin; the receiver texts on several lines.
    using koru::player::Text;
    const std::string retry = koru::player::Tr(Text::kUsbLostRetry, 1);
    const std::string canceled = koru::player::Tr(Text::kUsbLostSearchCanceled, 1);
    box.SetLanguage(1);
    box.SetMultiLineLengths(retry.size(), canceled.size());
    box.SetMessage(retry);
    QVERIFY(box.DrawsOnSeveralLines());
    QCOMPARE(box.FontPixelHeight(), 18);
    box.SetMessage(koru::player::Tr(Text::kSearching, 1));
    QVERIFY(!box.DrawsOnSeveralLines());
    box.SetLanguage(0);
    QCOMPARE(box.FontPixelHeight(), 22);
    box.SetSkinNumber(5);
    QCOMPARE(box.TextColour(), QColor(255, 255, 255));
    box.SetSkinNumber(0);
    QCOMPARE(box.TextColour(), QColor(20, 20, 20));
    // Keys that reach the box go on to the main window.
    struct Catcher : QWidget {
        int keys = 0;
        void keyReleaseEvent(QKeyEvent*) override { ++keys; }
    } owner;
    EM_MessageBox forwarding(&owner);
    QTest::keyRelease(&forwarding, Qt::Key_Return);
    QCOMPARE(owner.keys, 1);
}

void SkinnedWindowTest::DefaultSkinHasEveryElement() {
    const std::string path = (koru::test::BinDir() / "Koru Digital.lay").string();
    SkinLayout layout;
    QVERIFY2(layout.LoadLayout(path), path.c_str());
    QVERIFY(layout.IsMainWindowSkin());
    QCOMPARE(layout.SkinNumber(), 5);
    const char* regions[] = {"L_Top",          "L_Body",          "L_Bottom",     "RG_SKIN",
                             "RG_Screen",      "RG_PlayProgress", "RG_ANTENNA",   "RG_MSG_1",
                             "RG_MSG_2",       "OSD_Screen",      "OSD_Channel",  "OSD_Record",
                             "RG_CL_LIST",     "RG_CS_Anchor",    "RG_CS_TVLIST", "RG_CS_RADIOLIST",
                             "RG_CS_DATALIST", "RG_CS_Progress"};
    for (const char* id : regions)
        QVERIFY2(layout.GetItemRect(id).width() > 0, id);
    const char* bitmaps[] = {
        "BM_Top_1",      "BM_Top_2",       "BM_Top_3",      "BM_Left_1",        "BM_Left_2",
        "BM_Left_3",     "BM_Right_1",     "BM_Right_2",    "BM_Right_3",       "BM_Bottom_1",
        "BM_Bottom_2",   "BM_Bottom_3",    "BM_RadioBG",    "BM_Pro_Normal",    "BM_Vol_Normal",
        "BM_Vol_Active", "BM_Vol_Channel", "BM_ATN_1",      "BM_ATN_2",         "BM_ATN_3",
        "BM_ATN_4",      "BM_ATN_5",       "BM_ATN_6",      "BM_ATN_7",         "BM_CL_Top",
        "BM_CL_Left",    "BM_CL_Right",    "BM_CL_Bottom",  "BM_CS_Top",        "BM_CS_Left",
        "BM_CS_Right",   "BM_CS_Bottom",   "BM_CS_TVTitle", "BM_CS_RadioTitle", "BM_CS_DataTitle",
        "BM_MB_Message"};
    for (const char* name : bitmaps)
        QVERIFY2(layout.GetBitmap(name) != nullptr, name);
    const char* four_state_buttons[] = {
        "BT_Play",     "BT_Pause",   "BT_Stop",      "BT_Up",       "BT_Down",
        "BT_Record",   "BT_Open",    "BT_Capture",   "BT_Speaker",  "BT_Mute",
        "BT_Search",   "BT_Min",     "BT_Max",       "BT_Turnoff",  "BT_CL_TV",
        "BT_CL_Radio", "BT_CL_Data", "BT_CL_Search", "BT_CL_Close", "BT_CS_Cancel"};
    for (const char* name : four_state_buttons) {
        for (int state = 0; state < 4; ++state)
            QVERIFY2(layout.GetBitmap(name, state) != nullptr, name);
        // The states look different from each other.
        QVERIFY2(ToQImage(*layout.GetBitmap(name, 0)) != ToQImage(*layout.GetBitmap(name, 1)),
                 name);
        QVERIFY2(ToQImage(*layout.GetBitmap(name, 0)) != ToQImage(*layout.GetBitmap(name, 3)),
                 name);
    }
    for (const char* name :
         {"BT_Logo", "BT_Grip", "BT_CL_TVTitle", "BT_CL_RadioTitle", "BT_CL_DataTitle"})
        QVERIFY2(layout.GetBitmap(name, 0) != nullptr, name);
    // The antenna bitmaps differ: seven levels.
    for (int a = 1; a <= 7; ++a) {
        for (int b = a + 1; b <= 7; ++b) {
            QVERIFY(ToQImage(*layout.GetBitmap("BM_ATN_" + std::to_string(a))) !=
                    ToQImage(*layout.GetBitmap("BM_ATN_" + std::to_string(b))));
        }
    }
    // The main window is shaped: its frame cuts off the corners and keeps the picture area.
    const QtSkin skin(layout);
    const QSize size = MainWindowLayoutSize(skin);
    QImage background(size, QImage::Format_RGB32);
    background.fill(Qt::black);
    DrawFrame(background, skin, 0, 0);
    const QRegion region = BitmapToRegion(background);
    QVERIFY(!region.contains(QPoint(0, 0)));
    QVERIFY(!region.contains(QPoint(size.width() - 1, size.height() - 1)));
    QVERIFY(region.contains(QPoint(size.width() / 2, size.height() / 2)));
    QVERIFY(region.contains(QPoint(size.width() / 2, 1)));
    // Only the corners are outside.
    QVERIFY(region.boundingRect() == QRect(QPoint(0, 0), size));
}

QTEST_MAIN(SkinnedWindowTest)
#include "skinned_window_test.moc"
