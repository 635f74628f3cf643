// mkskin writes what SkinLayout reads back: the XML as it stands and every declared image, in
// the declared order.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "player/skin/skin_layout.h"
#include "support/image_bytes.h"
#include "support/temp_dir.h"

namespace {

using koru::test::Bytes;
using koru::test::TempDir;

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    koru::test::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

int RunMkskin(const std::string& arguments, const std::filesystem::path& output_file) {
    const std::string command =
        std::string(KORU_MKSKIN) + " " + arguments + " >" + output_file.string() + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* kXml = R"(<layout>
  <page id="Main" x="0" y="0" width="320" height="240">
    <panel id="Frame" x="0" y="0" width="320" height="240">
      <layer id="L_Top" resource="L_Top" x="0" y="0" width="320" height="20" size="1">
        <oblet type="button" id="BT_Stop" resource="BT_Stop" x="4" y="4" width="8" height="8"
               size1="1" size2="1" size3="0" size4="1"/>
        <oblet type="bitmap" id="BM_ATN_1" resource="BM_ATN_1" x="30" y="4" width="4" height="3" size="1"/>
        <oblet type="region" id="RG_SKIN" x="2" y="0" width="320" height="240"/>
      </layer>
    </panel>
  </page>
</layout>)";

TEST(Mkskin, LayoutReadsBackWhatMkskinWrote) {
    TempDir dir;
    std::filesystem::create_directory(dir / "images");
    const Bytes palette = {0, 0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    WriteBytes(dir / "images/L_Top.bmp",
               koru::test::Bmp24(2, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C}));
    WriteBytes(dir / "images/BT_Stop_1.bmp", koru::test::Bmp24(1, 1, {0x111111}));
    WriteBytes(
        dir / "images/BT_Stop_2.gif",
        koru::test::GifWriter(2, 1, palette).Frame(0, 0, 2, 1, {1, 3}, {}, false, 2).Finish());
    WriteBytes(dir / "images/BT_Stop_4.bmp", koru::test::Bmp24(1, 1, {0x444444}));
    WriteBytes(dir / "images/BM_ATN_1.bmp",
               koru::test::Bmp24(4, 3, std::vector<uint32_t>(12, 0x00FF00)));
    WriteBytes(dir / "images/unused.bmp", koru::test::Bmp24(1, 1, {0}));
    koru::test::WriteFile(dir / "skin.xml", kXml);

    ASSERT_EQ(RunMkskin("--list " + (dir / "skin.xml").string(), dir / "list.txt"), 0);
    EXPECT_EQ(koru::test::ReadFile(dir / "list.txt"),
              "L_Top\nBT_Stop_1\nBT_Stop_2\nBT_Stop_4\nBM_ATN_1\n");

    const std::string args = (dir / "skin.xml").string() + " " + (dir / "images").string() + " '" +
                             (dir / "Test Skin.lay").string() + "'";
    ASSERT_EQ(RunMkskin(args, dir / "out.txt"), 0) << koru::test::ReadFile(dir / "out.txt");

    // The file starts with the XML exactly as written.
    const std::string lay = koru::test::ReadFile(dir / "Test Skin.lay");
    const std::string xml = kXml;
    ASSERT_GT(lay.size(), 4 + xml.size());
    EXPECT_EQ(uint8_t(lay[0]) | uint8_t(lay[1]) << 8, int(xml.size()));
    EXPECT_EQ(lay.substr(4, xml.size()), xml);

    koru::skin::SkinLayout layout;
    ASSERT_TRUE(layout.LoadLayout((dir / "Test Skin.lay").string()));
    EXPECT_EQ(layout.bitmaps().size(), 5u);
    const auto* top = layout.GetBitmap("L_Top");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->Pixel(1, 1), 0xFF0A0B0Cu);
    EXPECT_EQ(layout.GetBitmap("BT_Stop", 0)->Pixel(0, 0), 0xFF111111u);
    EXPECT_EQ(layout.GetBitmap("BT_Stop", 1)->Pixel(1, 0), 0xFF46505Au);
    EXPECT_EQ(layout.GetBitmap("BT_Stop", 2), nullptr);
    EXPECT_EQ(layout.GetBitmap("BT_Stop", 3)->Pixel(0, 0), 0xFF444444u);
    EXPECT_EQ(layout.GetBitmap("BM_ATN_1")->width(), 4);
    EXPECT_EQ(layout.SkinNumber(), 2);
    EXPECT_EQ(layout.GetAbsoluteRect("BM_ATN_1"), (koru::skin::Rect{30, 4, 34, 7}));
}

TEST(Mkskin, RefusesMissingOrUndecodableImages) {
    TempDir dir;
    std::filesystem::create_directory(dir / "images");
    koru::test::WriteFile(dir / "skin.xml", kXml);
    const std::string args = (dir / "skin.xml").string() + " " + (dir / "images").string() + " " +
                             (dir / "out.lay").string();
    EXPECT_EQ(RunMkskin(args, dir / "log.txt"), 1);
    EXPECT_NE(koru::test::ReadFile(dir / "log.txt").find("L_Top"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.lay"));

    koru::test::WriteFile(dir / "images/L_Top.bmp", "BM but not a bitmap");
    EXPECT_EQ(RunMkskin(args, dir / "log.txt"), 1);
    koru::test::WriteFile(dir / "bad.xml", "<layout><page");
    EXPECT_EQ(RunMkskin((dir / "bad.xml").string() + " " + (dir / "images").string() + " " +
                            (dir / "out.lay").string(),
                        dir / "log.txt"),
              1);
    EXPECT_EQ(RunMkskin("", dir / "log.txt"), 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.lay"));
}

}  // namespace
