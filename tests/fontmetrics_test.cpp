#include "fontmetrics.h"

#include <gtest/gtest.h>

#include <string>

TEST(FontMetrics, WidthsAreDejaVuSansAdvances) {
  // Advances in 1/2048 em as FreeType reads DejaVu Sans 2.37's files
  // (fonts-dejavu-core): A 1401, i 569, W 2025, space 651; bold A 1585,
  // i 702, W 2259, space 713. No kerning: pairs add up.
  EXPECT_EQ(1401.0 / 2048 * 10, textAdvance("A", 10, false));
  EXPECT_EQ(1585.0 / 2048 * 10, textAdvance("A", 10, true));
  EXPECT_EQ((1401.0 + 569 + 2025 + 651) / 2048 * 11,
            textAdvance("AiW ", 11, false));
  EXPECT_EQ((1585.0 + 702 + 2259 + 713) / 2048 * 14,
            textAdvance("AiW ", 14, true));
  // Beyond ASCII: u with diaeresis 1298, Cyrillic Zhe 2206, the ellipsis
  // 2048, the replacement character 2100.
  EXPECT_EQ((1298.0 + 2206 + 2048 + 2100) / 2048,
            textAdvance("\xC3\xBC\xD0\x96\xE2\x80\xA6\xEF\xBF\xBD", 1, false));
  EXPECT_EQ(0.0, textAdvance("", 12, false));
}

TEST(FontMetrics, ACharacterTheFontLacksTakesAnEm) {
  // CJK ideographs are not in DejaVu Sans; a fallback font draws them
  // about an em wide.
  EXPECT_FALSE(fontHasCharacter(0x4E2D, false));
  EXPECT_FALSE(fontHasCharacter(0x4E2D, true));
  EXPECT_TRUE(fontHasCharacter('A', false));
  EXPECT_TRUE(fontHasCharacter(0x416, true));
  EXPECT_EQ(2 * 11.0, textAdvance("\xE4\xB8\xAD\xE6\x96\x87", 11, false));
  EXPECT_EQ((1585.0 + 2048) / 2048 * 12,
            textAdvance("A\xE4\xB8\xAD", 12, true));
}

TEST(FontMetrics, TextIsMadeFitToDraw) {
  const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
  EXPECT_EQ("J\xC3\xBCrgen \xE5\xBC\xA0",
            wellFormedText("J\xC3\xBCrgen \xE5\xBC\xA0"));
  // Each byte of a malformed sequence becomes one replacement.
  EXPECT_EQ("x" + bad + "y", wellFormedText("x\xFFy"));
  EXPECT_EQ(bad + bad, wellFormedText("\xC0\xAF"));            // overlong '/'
  EXPECT_EQ(bad + bad + bad, wellFormedText("\xED\xA0\x80"));  // a surrogate
  EXPECT_EQ("a" + bad + bad, wellFormedText("a\xE2\x82"));     // cut short
  EXPECT_EQ(bad + bad + bad + bad, wellFormedText("\xF4\x90\x80\x80"));
  // Controls, which XML may not hold, and noncharacters.
  EXPECT_EQ("a" + bad + "b" + bad + "c" + bad, wellFormedText("a\x01"
                                                              "b\tc\x7F"));
  EXPECT_EQ(bad + bad, wellFormedText("\xC2\x85\xEF\xBF\xBE"));
  EXPECT_EQ(U"A\u00FC\u4E2D\U0001F600",
            characters("A\xC3\xBC\xE4\xB8\xAD\xF0\x9F\x98\x80"));
  std::string round;
  for (char32_t c : characters("A\xC3\xBC\xE4\xB8\xAD\xF0\x9F\x98\x80")) {
    appendUtf8(c, &round);
  }
  EXPECT_EQ("A\xC3\xBC\xE4\xB8\xAD\xF0\x9F\x98\x80", round);
}
