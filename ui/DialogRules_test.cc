// The rules backends follow where the system would decide: dialog units, fonts, message-box
// buttons and text conversion. The windows themselves are tested under Xvfb and Wine.
#include "ui/DialogRules.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace ui;

TEST(DialogUnits, RoundLikeTheSystem) {
  EXPECT_EQ(DialogUnitsToPixelsX(424, 7), 742);
  EXPECT_EQ(DialogUnitsToPixelsY(189, 16), 378);
  EXPECT_EQ(DialogUnitsToPixelsX(1, 6), 2);  // 1.5 rounds away from zero
  EXPECT_EQ(DialogUnitsToPixelsX(-1, 6), -2);
  EXPECT_EQ(DialogUnitsToPixelsY(3, 13), 5);  // 4.875
  EXPECT_EQ(PointSizeToLogicalHeight(10, 96), -13);
  EXPECT_EQ(PointSizeToLogicalHeight(8, 96), -11);
}

TEST(DialogUnits, BaseUnitsRoundTheAverageOfTheFiftyTwoLetters) {
  EXPECT_EQ(52u, std::strlen(kAverageWidthSample));
  // 6.0, 6.46 and 6.5 pixels a letter: the system rounds half up through (w / 26 + 1) / 2.
  EXPECT_EQ(6, BaseUnitsFromMetrics(312, 13).cx);
  EXPECT_EQ(6, BaseUnitsFromMetrics(336, 13).cx);
  EXPECT_EQ(7, BaseUnitsFromMetrics(338, 13).cx);
  EXPECT_EQ(16, BaseUnitsFromMetrics(338, 16).cy);
  // A font that measures nothing still gives units that keep controls on the screen.
  EXPECT_EQ(1, BaseUnitsFromMetrics(0, 0).cx);
  EXPECT_EQ(1, BaseUnitsFromMetrics(0, 0).cy);
}

TEST(DialogUnits, ControlsConvertPositionAndSizeEachOnItsOwn) {
  // The Set button of the main dialog with MS Sans Serif 10 point units (7 x 16).
  ControlTemplate set{1010, ControlClass::kButton, "Set", 0, 0, 326, 129, 83, 18};
  Rect r = ControlPixels(set, BaseUnits{7, 16});
  EXPECT_EQ(571, r.left);  // 570.5 rounds away from zero
  EXPECT_EQ(258, r.top);
  EXPECT_EQ(145, r.Width());  // 145.25: the size is converted alone, not right - left
  EXPECT_EQ(36, r.Height());
  // Odd sizes: x 113 -> 197.75, width 37 -> 64.75; both round up separately.
  ControlTemplate label{-1, ControlClass::kStatic, "Camera IP:", 0, 0, 113, 21, 37, 8};
  r = ControlPixels(label, BaseUnits{7, 16});
  EXPECT_EQ(198, r.left);
  EXPECT_EQ(42, r.top);
  EXPECT_EQ(65, r.Width());
  EXPECT_EQ(16, r.Height());

  DialogTemplate dialog{"Tiltwise",      0,  0, 0,     0,       424, 189,
                        "MS Sans Serif", 10, 0, false, nullptr, 0};
  Rect client = ClientPixels(dialog, BaseUnits{7, 16});
  EXPECT_EQ(0, client.left);
  EXPECT_EQ(742, client.Width());
  EXPECT_EQ(378, client.Height());
  client = ClientPixels(dialog, BaseUnits{6, 13});
  EXPECT_EQ(636, client.Width());
  EXPECT_EQ(307, client.Height());  // 307.125
}

LogFont Font(const char* face, int height, int weight = 400, int italic = 0) {
  LogFont f;
  std::strncpy(f.lfFaceName, face, sizeof f.lfFaceName - 1);
  f.lfHeight = height;
  f.lfWeight = weight;
  f.lfItalic = static_cast<std::uint8_t>(italic);
  return f;
}

TEST(FontRules, FacesMapToSansSerifOrMono) {
  EXPECT_EQ(Family::kSans, ChooseFace(Font("MS Sans Serif", -13)).family);
  EXPECT_EQ(Family::kSans, ChooseFace(Font("Microsoft Sans Serif", -13)).family);
  EXPECT_EQ(Family::kSans, ChooseFace(Font("Tahoma", -13)).family);
  EXPECT_EQ(Family::kSerif, ChooseFace(Font("Times New Roman", -13)).family);
  EXPECT_EQ(Family::kSerif, ChooseFace(Font("MS Serif", -13)).family);
  EXPECT_EQ(Family::kMono, ChooseFace(Font("Courier New", -13)).family);
  EXPECT_EQ(Family::kMono, ChooseFace(Font("Lucida Console", -13)).family);

  EXPECT_FALSE(ChooseFace(Font("MS Sans Serif", -13, 400)).bold);
  EXPECT_FALSE(ChooseFace(Font("MS Sans Serif", -13, 0)).bold);
  EXPECT_TRUE(ChooseFace(Font("MS Sans Serif", -13, 700)).bold);
  EXPECT_TRUE(ChooseFace(Font("MS Sans Serif", -13, 400, 1)).italic);

  // A face name that fills the whole field, without its terminating zero, is still read.
  LogFont full;
  std::memset(full.lfFaceName, 'x', sizeof full.lfFaceName);
  EXPECT_EQ(Family::kSans, ChooseFace(full).family);
}

TEST(FontRules, HeightsBecomePixelSizes) {
  // A face whose cell is 1.25 times its size, rounded down, like many sans faces.
  int measured = 0;
  auto cell = [&measured](int size) {
    ++measured;
    return size + size / 4;
  };
  // Negative: a character height, whose cell on the system is a quarter taller (13 -> 16).
  EXPECT_EQ(13, FontSize(-13, cell, 11));
  // A face with more leading gets a smaller size, so the cells, and the layout, match.
  auto roomy = [](int size) { return size + size * 3 / 10 + 1; };  // 12 -> 16, 13 -> 17
  EXPECT_EQ(12, FontSize(-13, roomy, 11));
  EXPECT_EQ(512, FontSize(-2000000000, cell, 11));
  EXPECT_EQ(11, FontSize(0, cell, 11));
  // Positive: the cell must fit. The Set button's font: 13 + 15 = 28 pixels of cell.
  EXPECT_EQ(23, FontSize(28, cell, 11));  // 23 -> 28, 24 -> 30
  measured = 0;
  EXPECT_EQ(13, FontSize(16, cell, 11));  // 13 -> 16 exactly
  EXPECT_LE(measured, 6);                 // a few sizes, not every one
  EXPECT_EQ(12, FontSize(15, cell, 11));
  EXPECT_EQ(1, FontSize(1, cell, 11));
  // A cell larger than the height asked even at size 1 still gives a usable size.
  EXPECT_EQ(1, FontSize(
                   2, [](int size) { return size + 5; }, 11));
  EXPECT_EQ(512, FontSize(2000000000, cell, 11));
}

TEST(MessageBoxRules, ButtonsEscapeAndIconOfTheStylesShown) {
  auto ids = [](unsigned style) {
    std::vector<int> out;
    for (const MessageButton& b : MessageBoxButtons(style)) out.push_back(b.id);
    return out;
  };
  EXPECT_EQ(std::vector<int>({1}), ids(0x00));     // MB_OK
  EXPECT_EQ(std::vector<int>({1}), ids(0x30));     // MB_OK | MB_ICONEXCLAMATION
  EXPECT_EQ(std::vector<int>({6, 7}), ids(0x04));  // MB_YESNO
  EXPECT_STREQ("&Yes", MessageBoxButtons(0x04)[0].label);
  EXPECT_STREQ("&No", MessageBoxButtons(0x04)[1].label);
  // Escape answers OK on a lone OK, and does nothing on Yes and No.
  EXPECT_EQ(1, MessageBoxEscapeAnswer(0x10));
  EXPECT_EQ(0, MessageBoxEscapeAnswer(0x04));
  EXPECT_EQ(MessageIcon::kNone, MessageBoxIconOf(0x04));
  EXPECT_EQ(MessageIcon::kStop, MessageBoxIconOf(0x10));
  EXPECT_EQ(MessageIcon::kExclamation, MessageBoxIconOf(0x30));
}

TEST(TextRules, SingleByteTextRoundTripsThroughUtf8) {
  EXPECT_EQ("127.0.0.1", Cp1252ToUtf8("127.0.0.1"));
  EXPECT_EQ("caf\xC3\xA9", Cp1252ToUtf8("caf\xE9"));
  EXPECT_EQ(
      "\xE2\x82\xAC"
      "5",
      Cp1252ToUtf8("\x80"
                   "5"));                       // the euro sign
  EXPECT_EQ("\xC5\xBD", Cp1252ToUtf8("\x8E"));  // Z with caron

  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(all, Utf8ToCp1252(Cp1252ToUtf8(all)));

  // What the code page cannot hold, and broken sequences, become '?'.
  EXPECT_EQ("a?b", Utf8ToCp1252("a\xE4\xB8\xAD"
                                "b"));               // a CJK character
  EXPECT_EQ("?", Utf8ToCp1252("\xF0\x9F\x98\x80"));  // an emoji: one character
  EXPECT_EQ("?x", Utf8ToCp1252("\xC3x"));            // lead byte without its follower
  EXPECT_EQ("?", Utf8ToCp1252("\xE2\x82"));          // cut short at the end
  EXPECT_EQ("?", Utf8ToCp1252("\x80"));              // a stray follower

  // Selections count characters; the toolkit counts bytes.
  EXPECT_EQ(0, Utf8Offset("caf\xC3\xA9!", 0));
  EXPECT_EQ(5, Utf8Offset("caf\xC3\xA9!", 4));
  EXPECT_EQ(6, Utf8Offset("caf\xC3\xA9!", 99));
}

TEST(TextRules, MnemonicsAreHiddenAsStaticControlsHideThem) {
  EXPECT_EQ("Camera IP:", StripMnemonics("Camera IP:"));
  EXPECT_EQ("Save", StripMnemonics("&Save"));
  EXPECT_EQ("Fish & Chips", StripMnemonics("Fish && Chips"));
  EXPECT_EQ("end", StripMnemonics("end&"));
}

}  // namespace
