// Layout files: element rectangles and parents, the order of image records, damaged files,
// RG_SKIN and the skin menu.
#include <gtest/gtest.h>

#include "player/skin/skin_discovery.h"
#include "player/skin/skin_layout.h"
#include "support/image_bytes.h"
#include "support/temp_dir.h"

namespace {

using koru::skin::Rect;
using koru::skin::SkinLayout;
using koru::test::Bytes;
using koru::test::LayFile;
using koru::test::TempDir;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

Bytes Pixel(uint32_t rgb) {
    return koru::test::Bmp24(1, 1, {rgb});
}

// A button declaring images 1 and 3, a layer and a bitmap that declare none, then one bitmap.
const char* kLayoutXml = R"(<?xml version="1.0"?>
<skin>
  <page id="P" x="100" y="50" width="400" height="300">
    <panel id="PN" x="20" y="5" width="300" height="200">
      <layer id="L_Body" resource="L_Body" x="10" y="1" width="100" height="100" size="0">
        <oblet type="button" id="BT_Play" resource="BT_Play" x="5" y="2" width="20" height="10"
               size1="10" size2="0" size3="10" size4="0"/>
        <oblet type="bitmap" id="BM_Empty" resource="" x="0" y="0" width="1" height="1" size="5"/>
        <oblet type="bitmap" id="BM_Last" resource="BM_Last" x="1" y="1" width="1" height="1" size="5"/>
        <oblet type="region" id="RG_SKIN" x="3" y="0" width="10" height="10"/>
        <oblet type="region" id="RG_NoX" y="0" width="10" height="10"/>
      </layer>
    </panel>
  </page>
</skin>)";

Bytes GoodLayout() {
    return LayFile(
        kLayoutXml,
        {{"BT_Play_1", Pixel(kRed)}, {"BT_Play_3", Pixel(kGreen)}, {"BM_Last", Pixel(kBlue)}});
}

uint32_t ColourOf(const koru::skin::DibImage* image) {
    return image != nullptr ? image->Pixel(0, 0) & 0xFFFFFF : 0xDEAD;
}

TEST(SkinLayout, RectanglesParentsAndAbsolutePositions) {
    SkinLayout layout;
    layout.LoadLayoutData(GoodLayout());
    EXPECT_EQ(layout.GetItemRect("BT_Play"), (Rect{5, 2, 25, 12}));
    // 5 in a layer at 10 in a panel at 20 in a page at 100.
    EXPECT_EQ(layout.GetAbsoluteRect("BT_Play"), (Rect{135, 58, 155, 68}));
    EXPECT_EQ(layout.GetAbsoluteRect("P"), (Rect{100, 50, 500, 350}));
    EXPECT_EQ(layout.GetItemType("BT_Play"), "button");
    EXPECT_EQ(layout.GetItemType("L_Body"), "");
    EXPECT_EQ(layout.parents().at("BT_Play"), "L_Body");
    EXPECT_EQ(layout.parents().at("PN"), "P");
    EXPECT_EQ(layout.parents().count("P"), 0u);
    EXPECT_EQ(layout.GetItemRect("RG_NoX"), Rect());  // a missing coordinate: empty
    EXPECT_EQ(layout.GetItemRect("unknown"), Rect());
    EXPECT_EQ(layout.GetAbsoluteRect("unknown"), Rect());
    EXPECT_TRUE(layout.IsMainWindowSkin());
    EXPECT_EQ(layout.SkinNumber(), 133);
}

TEST(SkinLayout, ImageRecordsFollowTheDeclarationOrder) {
    SkinLayout layout;
    layout.LoadLayoutData(GoodLayout());
    // Two of four button images, none for the size-0 layer or the bitmap without resource:
    // the third record lands on BM_Last.
    EXPECT_EQ(layout.bitmaps().size(), 3u);
    EXPECT_EQ(ColourOf(layout.GetBitmap("BT_Play", 0)), kRed);
    EXPECT_EQ(layout.GetBitmap("BT_Play", 1), nullptr);
    EXPECT_EQ(ColourOf(layout.GetBitmap("BT_Play", 2)), kGreen);
    EXPECT_EQ(layout.GetBitmap("BT_Play", 3), nullptr);
    EXPECT_EQ(layout.GetBitmap("BT_Play", 4), nullptr);
    EXPECT_EQ(layout.GetBitmap("BT_Play", -2), nullptr);
    EXPECT_EQ(ColourOf(layout.GetBitmap("BT_Play_3")), kGreen);
    EXPECT_EQ(ColourOf(layout.GetBitmap("BM_Last")), kBlue);
    EXPECT_EQ(layout.GetBitmap("L_Body"), nullptr);
    EXPECT_EQ(koru::skin::DeclaredImageNames(kLayoutXml),
              (std::vector<std::string>{"BT_Play_1", "BT_Play_3", "BM_Last"}));
}

TEST(SkinLayout, DamagedRecordsKeepWhatWasRead) {
    SkinLayout layout;
    // One record short: the last declared image is missing, the others stay.
    layout.LoadLayoutData(LayFile(kLayoutXml, {{"a", Pixel(kRed)}, {"b", Pixel(kGreen)}}));
    EXPECT_EQ(ColourOf(layout.GetBitmap("BT_Play_3")), kGreen);
    EXPECT_EQ(layout.GetBitmap("BM_Last"), nullptr);
    EXPECT_EQ(layout.GetAbsoluteRect("BM_Last"), (Rect{131, 57, 132, 58}));

    // The second record's image length runs past the end: reading stops there.
    Bytes lying = GoodLayout();
    const size_t second = 4 + std::string(kLayoutXml).size() + 4 + 9 + 4 + Pixel(kRed).size();
    lying[second + 4 + 9] = 0xFF;
    lying[second + 4 + 9 + 3] = 0x7F;
    layout.LoadLayoutData(lying);
    EXPECT_EQ(ColourOf(layout.GetBitmap("BT_Play", 0)), kRed);
    EXPECT_EQ(layout.GetBitmap("BT_Play", 2), nullptr);
    EXPECT_EQ(layout.GetBitmap("BM_Last"), nullptr);

    // An image that does not decode is skipped; the next record still reaches its name.
    layout.LoadLayoutData(LayFile(
        kLayoutXml, {{"a", {0xFF, 0xD8, 0xFF, 0xE0}}, {"b", Pixel(kGreen)}, {"c", Pixel(kBlue)}}));
    EXPECT_EQ(layout.GetBitmap("BT_Play", 0), nullptr);
    EXPECT_EQ(ColourOf(layout.GetBitmap("BM_Last")), kBlue);

    // Every truncation of a whole file reads without going past the data.
    const Bytes whole = GoodLayout();
    for (size_t cut = 0; cut < whole.size(); cut += 7) {
        layout.LoadLayoutData(std::span<const uint8_t>(whole.data(), cut));
    }
}

TEST(SkinLayout, UnreadableXmlLeavesEmptyTablesAndSaysSo) {
    SkinLayout layout;
    std::vector<std::string> captions;
    layout.SetMessageCallback(
        [&](const std::string& caption, const std::string&) { captions.push_back(caption); });
    layout.LoadLayoutData(GoodLayout());
    layout.LoadLayoutData(LayFile("<skin><page id='P'", {}));
    EXPECT_TRUE(layout.rectangles().empty());
    EXPECT_TRUE(layout.bitmaps().empty());
    Bytes too_short = LayFile("<skin/>", {});
    too_short[0] = 200;  // the XML length runs past the end
    layout.LoadLayoutData(too_short);
    EXPECT_EQ(captions, (std::vector<std::string>{"Error", "Error"}));
    EXPECT_FALSE(layout.IsMainWindowSkin());
}

TEST(SkinLayout, LaterIdsReplaceEarlierOnesAndLoopsEnd) {
    const char* xml = R"(<r>
      <page id="A" x="1" y="1" width="5" height="5">
        <panel id="A" x="10" y="0" width="5" height="5">
          <layer id="B" x="100" y="0" width="5" height="5"/>
        </panel>
      </page>
      <page id="B" x="7" y="0" width="1" height="1"><panel id="C" x="1" y="0" width="1" height="1"/></page>
    </r>)";
    SkinLayout layout;
    layout.LoadLayoutData(LayFile(xml, {}));
    EXPECT_EQ(layout.GetItemRect("A"), (Rect{10, 0, 15, 5}));  // the panel replaced the page
    EXPECT_EQ(layout.GetItemRect("B"), (Rect{7, 0, 8, 1}));    // the page replaced the layer
    // A's parent is A itself; B's is A: each ancestor counts once, nothing loops.
    EXPECT_EQ(layout.GetAbsoluteRect("A"), (Rect{10, 0, 15, 5}));
    EXPECT_EQ(layout.GetAbsoluteRect("B"), (Rect{17, 0, 18, 1}));
    EXPECT_EQ(layout.GetAbsoluteRect("C"), (Rect{18, 0, 19, 1}));
}

TEST(SkinLayout, FilesOnDisk) {
    TempDir dir;
    SkinLayout layout;
    const Bytes good = GoodLayout();
    koru::test::WriteFile(dir / "Koru Test.lay", std::string(good.begin(), good.end()));
    ASSERT_TRUE(layout.LoadLayout((dir / "Koru Test.lay").string()));
    // A missing file changes nothing.
    EXPECT_FALSE(layout.LoadLayout((dir / "missing.lay").string()));
    EXPECT_EQ(ColourOf(layout.GetBitmap("BM_Last")), kBlue);
    layout.ClearLayout();
    EXPECT_TRUE(layout.rectangles().empty());
    EXPECT_EQ(layout.GetBitmap("BM_Last"), nullptr);
    // An empty file is there: true, nothing read.
    koru::test::WriteFile(dir / "empty.lay", "");
    EXPECT_TRUE(layout.LoadLayout((dir / "empty.lay").string()));
}

std::string LayWithSkin(const std::string& rg_skin) {
    const std::string xml =
        "<s><page id='P' x='0' y='0' width='1' height='1'><panel id='Q' x='0' "
        "y='0' width='1' height='1'><layer id='L' x='0' y='0' width='1' "
        "height='1'>" +
        rg_skin + "</layer></panel></page></s>";
    const Bytes bytes = LayFile(xml, {});
    return std::string(bytes.begin(), bytes.end());
}

TEST(SkinDiscovery, ListsSkinsWithAnRgSkinOfSomeSize) {
    TempDir program, user;
    koru::test::WriteFile(
        program / "Koru Digital.lay",
        LayWithSkin("<oblet type='r' id='RG_SKIN' x='1' y='0' width='5' height='0'/>"));
    koru::test::WriteFile(
        program / "Blue.lay",
        LayWithSkin("<oblet type='r' id='RG_SKIN' x='3' y='0' width='0' height='2'/>"));
    koru::test::WriteFile(
        program / "Flat.lay",
        LayWithSkin("<oblet type='r' id='RG_SKIN' x='4' y='0' width='0' height='0'/>"));
    koru::test::WriteFile(program / "NoRegion.lay", LayWithSkin(""));
    koru::test::WriteFile(program / "notes.txt", "not a skin");
    std::filesystem::create_directory(program / "Folder.lay");
    koru::test::WriteFile(
        user / "Mine.lay",
        LayWithSkin("<oblet type='r' id='RG_SKIN' x='7' y='0' width='1' height='1'/>"));
    koru::test::WriteFile(user / "Blue.lay", LayWithSkin(""));  // hidden by the program's

    const std::vector<std::string> folders = {program.str(), user.str()};
    const auto entries = koru::skin::DiscoverSkins(folders, 3);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].label, "Blue");
    EXPECT_EQ(entries[0].command, koru::skin::kSkinMenuPlaceholderCommand);
    EXPECT_TRUE(entries[0].checked);
    EXPECT_EQ(entries[1].label, "Koru Digital");
    EXPECT_EQ(entries[1].file_name, "Koru Digital.lay");
    EXPECT_EQ(entries[1].command, 2124);
    EXPECT_EQ(entries[1].skin_number, 1);
    EXPECT_FALSE(entries[1].checked);
    EXPECT_EQ(entries[2].label, "Mine");
    EXPECT_EQ(entries[2].command, 2125);
    EXPECT_EQ(entries[2].path, (user / "Mine.lay").string());

    EXPECT_TRUE(koru::skin::DiscoverSkins(folders, 5).empty());  // the reduced menu
    EXPECT_EQ(koru::skin::FindSkinFile("Blue.lay", folders), (program / "Blue.lay").string());
    EXPECT_EQ(koru::skin::FindSkinFile("Mine.lay", folders), (user / "Mine.lay").string());
    EXPECT_EQ(koru::skin::FindSkinFile("Folder.lay", folders), "");
}

}  // namespace
