#include "measurement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

// Known answers for the measurement parser, in the manner of the test
// suites of number parsers: decimal strings to the float each must become,
// the forms accepted and refused, halfway cases, and the extremes. Every
// expected float was worked out by exact rational arithmetic from IEEE
// 754 round-to-nearest-even (an independent Python script with
// fractions.Fraction), never by the parser under test.

namespace {

// The float text s becomes, or NaN when it is refused.
float parsed(const std::string& s) {
  float f = 0;
  if (!parseMeasurement(s.data(), s.size(), &f)) return std::nanf("");
  return f;
}

bool accepted(const std::string& s) {
  float f = 0;
  return parseMeasurement(s.data(), s.size(), &f);
}

}  // namespace

TEST(Measurement, ConvertsDecimalTextToTheNearestFloat) {
  EXPECT_EQ(4.0f, parsed("4"));
  EXPECT_EQ(7.0f, parsed("+7"));
  EXPECT_EQ(-2.5f, parsed("-2.5"));
  EXPECT_EQ(0.5f, parsed(".5"));
  EXPECT_EQ(4.0f, parsed("4."));
  EXPECT_EQ(7.0f, parsed("007"));
  EXPECT_EQ(15.0f, parsed("1.5e1"));
  EXPECT_EQ(100.0f, parsed("1E+2"));
  EXPECT_EQ(2.5f, parsed("25e-1"));
  EXPECT_EQ(0x1.99999ap-4f, parsed("0.1"));
  EXPECT_EQ(0x1.99999ap-4f, parsed("0.1000000000000000055511151231257827"));
  // A long run of digits that ends in an exponent.
  EXPECT_EQ(1.0f,
            parsed("0.00000000000000000000000000000000000000000000000001e50"));
}

TEST(Measurement, KeepsTheSignOfZero) {
  EXPECT_EQ(0.0f, parsed("0"));
  EXPECT_FALSE(std::signbit(parsed("0.000")));
  EXPECT_TRUE(std::signbit(parsed("-0")));
  EXPECT_TRUE(std::signbit(parsed("-0e5")));
  EXPECT_FALSE(std::signbit(parsed("+0.0")));
}

TEST(Measurement, RoundsHalfwayCasesToEven) {
  // 2^24 + 1 lies halfway between 2^24 and 2^24 + 2: to the even one,
  // below; 2^24 + 3 halfway between 2^24 + 2 and 2^24 + 4: the even one
  // is above. A hair either side of halfway decides.
  EXPECT_EQ(16777216.0f, parsed("16777217"));
  EXPECT_EQ(16777220.0f, parsed("16777219"));
  EXPECT_EQ(16777218.0f, parsed("16777217.0000001"));
  EXPECT_EQ(16777216.0f, parsed("16777216.9999999"));
  // 1 + 2^-24 exactly, halfway between 1 and 1 + 2^-23: down to 1; and
  // 1 + 3 * 2^-24, halfway between 1 + 2^-23 and 1 + 2^-22: up.
  EXPECT_EQ(1.0f, parsed("1.000000059604644775390625"));
  EXPECT_EQ(0x1.000004p+0f, parsed("1.000000178813934326171875"));
  // Just above halfway by 1e-51: a parser that rounds to double first
  // lands on the halfway point and then goes down; the nearest float is
  // the one above.
  EXPECT_EQ(0x1.000002p+0f,
            parsed("1.000000059604644775390625000000000000000000000000001"));
  EXPECT_EQ(1.0f, parsed("1.000000059604644775390624999999999999999999"));
}

TEST(Measurement, AcceptsUpToTheMagnitudeLimitAsItsFloatStands) {
  // The limit applies to the float: 1000000032 lies halfway between 1e9
  // and the next float, 1000000064, and goes to 1e9 (the even one).
  EXPECT_EQ(1e9f, parsed("1e9"));
  EXPECT_EQ(-1e9f, parsed("-1000000000"));
  EXPECT_EQ(1e9f, parsed("999999999.99"));
  EXPECT_EQ(1e9f, parsed("1000000032"));
  EXPECT_FALSE(accepted("1000000032.0001"));
  EXPECT_FALSE(accepted("1000000033"));
  EXPECT_FALSE(accepted("-1.1e9"));
  EXPECT_FALSE(accepted("3.4028235e38"));  // the largest float
  EXPECT_FALSE(accepted("1e39"));          // beyond any float
  EXPECT_FALSE(accepted("1e99999"));
}

TEST(Measurement, TakesTheSmallestValuesDownToZero) {
  EXPECT_EQ(0x1p-126f, parsed("1.17549435e-38"));  // the smallest normal
  EXPECT_EQ(0x1p-149f, parsed("1e-45"));           // the smallest subnormal
  EXPECT_EQ(0x1p-149f, parsed("7.1e-46"));
  // 2^-150 exactly, halfway between 0 and 2^-149: to 0, the even one.
  EXPECT_EQ(0.0f,
            parsed("7.0064923216240853546186479164495806564013097093825788587"
                   "8534141944895541342930300743319094181060791015625e-46"));
  EXPECT_EQ(0.0f, parsed("1e-50"));
  EXPECT_EQ(0.0f, parsed("1e-99999"));
  EXPECT_EQ(0.0f, parsed("0e99999"));
}

TEST(Measurement, RefusesEveryOtherForm) {
  for (const char* s :
       {"", "+", "-", ".", "+.", "-.e1", "e5", ".e1", "1e", "1e+", "1e-",
        "1.5.2", "--1", "+-1", "1,5", "1e5.0", "1e1e1", "1f", "1_000", " 1",
        "1 ", "1\t", "\n1", "0x10", "0x1p3", "nan", "NaN", "-nan", "inf",
        "-inf", "infinity", "\xD9\xA1" /* an Arabic-Indic digit one */}) {
    EXPECT_FALSE(accepted(s)) << '"' << s << '"';
  }
  // A NUL byte belongs to the token and spoils it, wherever it stands.
  EXPECT_FALSE(accepted(std::string{'1', '\0'}));
  EXPECT_FALSE(accepted(std::string{'\0', '1'}));
  EXPECT_FALSE(accepted(std::string{'1', '\0', '5'}));
  // Only the given length counts: "12" cut to one byte is 1.
  float f = 0;
  ASSERT_TRUE(parseMeasurement("12", 1, &f));
  EXPECT_EQ(1.0f, f);
}

TEST(Measurement, TellsWhetherTheFloatHoldsTheDigitsTyped) {
  EXPECT_TRUE(heldToDigitsTyped("0.1", 0x1.99999ap-4f));
  EXPECT_TRUE(heldToDigitsTyped("2.50", 2.5f));
  EXPECT_TRUE(heldToDigitsTyped("0.000", 0.0f));
  EXPECT_TRUE(heldToDigitsTyped("1.17549435e-38", 0x1p-126f));
  EXPECT_TRUE(heldToDigitsTyped("16777216", 16777216.0f));
  EXPECT_FALSE(heldToDigitsTyped("16777217", 16777216.0f));
  EXPECT_FALSE(heldToDigitsTyped("100000003", 100000000.0f));
  EXPECT_FALSE(heldToDigitsTyped("1e-50", 0.0f));
  // Below the smallest double as well: the typed number itself reads as 0.
  EXPECT_FALSE(heldToDigitsTyped("1e-400", 0.0f));
  EXPECT_TRUE(heldToDigitsTyped("0e-400", 0.0f));
  // Trailing zeros are digits typed: 0.1f is 0.100000001490116...
  EXPECT_FALSE(heldToDigitsTyped("0.100000000", 0x1.99999ap-4f));
  EXPECT_EQ("100000003 is held as 100000000",
            heldAsNote("100000003", 100000000.0f));
}

TEST(Measurement, ShortestTextReadsBackAsTheSameFloat) {
  EXPECT_EQ("0.1", shortestText(0x1.99999ap-4f));
  EXPECT_EQ("-2.5", shortestText(-2.5f));
  EXPECT_EQ("0", shortestText(0.0f));
  EXPECT_EQ("-0", shortestText(-0.0f));
  EXPECT_EQ("100000000", shortestText(1e8f));
  EXPECT_EQ("0.00001", shortestText(1e-5f));
  EXPECT_EQ("9.999999e-06", shortestText(9.999999e-6f));
  EXPECT_EQ("1e+10", shortestText(1e10f));
  EXPECT_EQ("16777216", shortestText(16777216.0f));
}
