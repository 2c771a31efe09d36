#include "text.h"

#include <gtest/gtest.h>

TEST(Text, PrintableTextForMessages) {
  EXPECT_EQ("a?b?c?", printable("a\nb\x1b"
                                "c\x7f"));
  EXPECT_EQ("abc...", printable("abcdef", 3));
  EXPECT_EQ("abc", printable("abc", 3));
  // UTF-8 passes as it is.
  EXPECT_EQ("\xC3\xA9t\xC3\xA9", printable("\xC3\xA9t\xC3\xA9"));
}

TEST(Text, TrimsBlanksAndTabsAndLowersOnlyAscii) {
  EXPECT_EQ("a b", trimmed(" \ta b\t "));
  EXPECT_EQ("", trimmed(" \t "));
  EXPECT_EQ("x\n", trimmed("x\n"));  // only blanks and tabs go
  EXPECT_EQ("baseline \xC3\x89", lowerAscii("BaseLine \xC3\x89"));
}
