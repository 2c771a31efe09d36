#include "progressline.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using std::chrono::hours;
using std::chrono::milliseconds;

// What the lines made by use() wrote to their stream.
std::string written(const std::function<void(FILE*)>& use) {
  char* pText = nullptr;
  size_t nText = 0;
  FILE* err = open_memstream(&pText, &nText);
  use(err);
  std::fclose(err);
  std::string text(pText, nText);
  std::free(pText);
  return text;
}

}  // namespace

TEST(ProgressLine, RedrawsInPlaceAndWipesTheWidestLine) {
  EXPECT_EQ("\rkalmir: 1 of 3\rab            \r              \r",
            written([](FILE* err) {
              ProgressLine line(err, true, milliseconds(0), milliseconds(0));
              line.show("kalmir: 1 of 3");
              line.show("kalmir: 1 of 3");  // unchanged: not drawn again
              line.show("ab");
            }));
}

TEST(ProgressLine, ShowsNothingUnlessAllowedAndDue) {
  EXPECT_EQ("", written([](FILE* err) {
              ProgressLine quiet(err, false, milliseconds(0), milliseconds(0));
              EXPECT_FALSE(quiet.shows());
              quiet.show("x");
            }));
  EXPECT_EQ("", written([](FILE* err) {
              ProgressLine early(err, true, milliseconds(0), hours(1));
              EXPECT_TRUE(early.shows());
              early.show("x");
            }));
  // Within the gap after a redraw, later text waits.
  EXPECT_EQ("\rx\r \r", written([](FILE* err) {
              ProgressLine line(err, true, hours(1), milliseconds(0));
              line.show("x");
              line.show("y");
            }));
}

TEST(ProgressLine, ClockShowsMinutesThenHours) {
  EXPECT_EQ("0:00", ProgressLine::clock(0.4));
  EXPECT_EQ("0:01", ProgressLine::clock(0.5));
  EXPECT_EQ("1:05", ProgressLine::clock(65));
  EXPECT_EQ("59:59", ProgressLine::clock(3599.4));
  EXPECT_EQ("1:00:00", ProgressLine::clock(3599.5));
  EXPECT_EQ("27:46:40", ProgressLine::clock(100000));
}
