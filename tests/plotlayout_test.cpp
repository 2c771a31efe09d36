#include "plotlayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// A stand-in for a font: every character 0.6 of the size wide, bold a
// tenth wider. Wide enough that real DejaVu text fits where this does.
double fakeWidth(const std::string& text, double size, bool bBold) {
  double n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n * 0.6 * size * (bBold ? 1.1 : 1.0);
}

// The round step before step: 5 -> 2 -> 1 -> 0.5.
double smallerRoundStep(double step) {
  const double unit = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  return std::round(step / unit) == 5 ? step / 2.5 : step / 2;
}

bool isRoundStep(double step) {
  const double unit = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double m = step / unit;
  return std::fabs(m - 1) < 1e-9 || std::fabs(m - 2) < 1e-9 ||
         std::fabs(m - 5) < 1e-9;
}

// Ranges an axis meets: a few occasions, a thousand, tiny and huge values,
// a constant spread around its value, huge values with a small spread.
struct Range {
  double lo, hi;
};
const Range kRanges[] = {{0.5, 4.5},           {-13.2, 1013.7},
                         {2.6, 15.4},          {-1.05e9, 1.05e9},
                         {1.2e-8, 3.7e-8},     {4.5, 5.5},
                         {9.8895e8, 9.9925e8}, {999999936.0, 1000000128.0},
                         {-0.37, 0.0},         {0.0, 108000.0}};

bool overlaps(const Rect& a, const Rect& b) {
  return a.x < b.right() && b.x < a.right() && a.y < b.bottom() &&
         b.y < a.bottom();
}
bool inside(const Rect& inner, const Rect& outer) {
  return inner.x >= outer.x && inner.right() <= outer.right() &&
         inner.y >= outer.y && inner.bottom() <= outer.bottom();
}

// An analysis by hand: records that fit the data and means around both
// models' levels, without running one.
kalmir::Result madeUp(const std::string& title, const std::vector<float>& fY,
                      int nNA, float fNullLevel, float fExpLevel, float fSD,
                      int nSimN) {
  kalmir::Result a;
  a.name = title;
  a.n_a = nNA;
  a.n_b = static_cast<int>(fY.size()) - nNA;
  a.values = fY;
  a.null_model.intercept = fY[0];
  a.exp_model.intercept = fY[static_cast<size_t>(nNA)];
  a.d_unstd = fExpLevel - fNullLevel;
  a.d = 2.5f;
  a.d_se = 0.6f;
  a.r = 0.8f;
  a.r_squared = 0.64f;
  a.p = 0.002f;
  std::mt19937 gen(1);
  std::normal_distribution<float> noise(0.0f, fSD);
  for (int i = 0; i < nSimN; ++i) {
    a.null_means.push_back(fNullLevel + noise(gen));
    a.exp_means.push_back(fExpLevel + noise(gen));
  }
  return a;
}

struct Scenario {
  const char* what;
  PlotContent content;
};

std::vector<Scenario> scenarios() {
  std::vector<Scenario> s;
  auto add = [&](const char* what, int nNA, int nNB, std::vector<float> fY,
                 float fNull, float fExp, float fSD, const std::string& title,
                 const PlotOptions& options = {}) {
    EXPECT_EQ(static_cast<size_t>(nNA + nNB), fY.size());
    s.push_back(
        {what,
         plotContent(madeUp(title, fY, nNA, fNull, fExp, fSD, 5000), options)});
  };
  add("worked example", 10, 8,
      {3, 5, 4, 6, 5, 7, 6, 8, 7, 9, 10, 9, 12, 11, 13, 12, 15, 14}, 10.5f,
      12.0f, 0.5f, "Worked example");
  add("two plus two", 2, 2, {4, 5, 9, 7}, 6.5f, 8.0f, 0, "2 + 2");
  add("constant", 3, 3, {5, 5, 5, 5, 5, 5}, 5, 5, 0, "Constant");
  std::vector<float> fLong(1000);
  for (size_t i = 0; i < fLong.size(); ++i) {
    fLong[i] = static_cast<float>(i % 17) + (i < 500 ? 0.0f : 6.0f);
  }
  add("500 plus 500", 500, 500, fLong, 8, 14, 0.2f, "500 + 500");
  add("500 plus 2", 500, 2,
      std::vector<float>(fLong.begin(), fLong.begin() + 502), 8, 14, 0.2f,
      "500 + 2");
  add("2 plus 500", 2, 500,
      std::vector<float>(fLong.begin(), fLong.begin() + 502), 8, 14, 0.2f,
      "2 + 500");
  add("near 1e9", 3, 3, {9.99e8f, 9.991e8f, 9.992e8f, 1e9f, 1e9f, 1e9f},
      9.993e8f, 1e9f, 1e5f, "Near 1e9");
  add("near -1e9", 3, 3, {-1e9f, -1e9f, -9.99e8f, -9.9e8f, -9.9e8f, -9.9e8f},
      -9.99e8f, -9.9e8f, 1e5f, "Near -1e9");
  add("-1e9 to 1e9", 2, 2, {-1e9f, -9e8f, 9e8f, 1e9f}, -8e8f, 9.5e8f, 1e8f,
      "Whole range");
  add("tiny values", 3, 3, {1e-8f, 2e-8f, 1.5e-8f, 3e-8f, 3.1e-8f, 2.9e-8f},
      2e-8f, 3e-8f, 1e-9f, "Tiny");
  const std::vector<float> fWorked = {3, 5,  4, 6,  5,  7,  6,  8,  7,
                                      9, 10, 9, 12, 11, 13, 12, 15, 14};
  const std::vector<float> fWild = {3,  5, 4,   6,  5,  7,  6,  8,  7,
                                    10, 9, 250, 11, 13, 12, 15, 14, 12};
  add("a wild value", 9, 9, fWild, 10.5f, 12.0f, 3, "One wild value");
  PlotOptions range;
  range.bYRange = true;
  range.yLow = 0;
  range.yHigh = 10;
  add("a y range", 10, 8, fWorked, 10.5f, 12.0f, 0.5f, "0 to 10", range);
  PlotOptions series;
  series.bMeansPanel = false;
  add("the series alone", 10, 8, fWorked, 10.5f, 12.0f, 0.5f, "Series", series);
  // Labels of any length: names, axis titles and caveats far wider than
  // the page, and one character where a font lacks it.
  PlotOptions long_;
  long_.phaseA = std::string(80, 'A') + " baseline";
  long_.phaseB = "Intervention " + std::string(90, 'B');
  long_.xLabel = std::string(150, 'x') + " occasions";
  long_.yLabel = "Words read correctly per minute " + std::string(80, 'y');
  long_.title = "\xE5\xBC\xA0 " + std::string(120, 'T');
  std::vector<float> fSteady(502);
  for (size_t i = 0; i < fSteady.size(); ++i) {
    fSteady[i] = static_cast<float>(i % 7) + (i < 2 ? 0.0f : 5.0f);
  }
  add("long labels", 2, 500, fSteady, 8, 14, 0.2f, "", long_);
  s.back().content.caveats = {
      "a phase of only 2 points: d, r and p are not meaningful",
      std::string(500, 'c'),
      "line 7: 100000003 is held as 100000000 (and 2 more values are rounded "
      "likewise) " +
          std::string(40, 'w') + " words words words words"};
  // A title far wider than the page, with two-byte characters to cut.
  std::string title;
  for (int i = 0; i < 40; ++i) title += "Sch\xC3\xBCler ";
  add("long title", 4, 4, {1, 2, 3, 4, 5, 6, 7, 8}, 4, 6, 1, title);
  // Figures as long as the report can print them widen the caption.
  s.back().content.caption = {"D = -1999999872.000",
                              "d = -71125000.000 (SE 123456.789)", "r = -1.000",
                              "p = 0.000"};
  return s;
}

}  // namespace

TEST(PlotLayout, TicksAreRoundMultiplesInsideTheRange) {
  for (const Range& r : kRanges) {
    for (int nMax : {5, 8, 12}) {
      const double step = tickStep(r.lo, r.hi, 0, nMax);
      const std::vector<double> ticks = ticksInRange(r.lo, r.hi, step);
      SCOPED_TRACE(std::to_string(r.lo) + " .. " + std::to_string(r.hi) +
                   " at most " + std::to_string(nMax));
      EXPECT_TRUE(isRoundStep(step)) << step;
      EXPECT_LE(static_cast<int>(ticks.size()), nMax);
      EXPECT_GE(ticks.size(), 2u);
      for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_GE(ticks[i], r.lo);
        EXPECT_LE(ticks[i], r.hi);
        const double k = ticks[i] / step;
        EXPECT_NEAR(std::round(k), k, 1e-6) << ticks[i];
        if (i > 0) {
          EXPECT_NEAR(step, ticks[i] - ticks[i - 1], step * 1e-6);
        }
      }
      // The step is the smallest round one that keeps to nMax ticks.
      const double smaller = smallerRoundStep(step);
      EXPECT_GT(ticksInRange(r.lo, r.hi, smaller).size(),
                static_cast<size_t>(nMax))
          << smaller;
    }
  }
  // Occasions take whole steps however few there are.
  EXPECT_EQ(1.0, tickStep(0.5, 2.5, 1, 12));
  EXPECT_EQ(std::vector<double>({1, 2}), ticksInRange(0.5, 2.5, 1));
  // Both ends of the range can be ticks themselves.
  EXPECT_EQ(std::vector<double>({0, 0.5, 1}), ticksInRange(0, 1, 0.5));
  // Multiples too far out to count one by one give no ticks, not a hang.
  EXPECT_TRUE(ticksInRange(1, 1.0000000000000002, 1e-18).empty());
}

TEST(PlotLayout, TickLabelsAreShortDistinctAndReadBackAsTheirTicks) {
  for (const Range& r : kRanges) {
    const double step = tickStep(r.lo, r.hi, 0, 8);
    const std::vector<double> ticks = ticksInRange(r.lo, r.hi, step);
    const std::vector<std::string> labels = tickLabels(ticks, step);
    ASSERT_EQ(ticks.size(), labels.size());
    for (size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_LE(labels[i].size(), 11u) << labels[i];
      EXPECT_NEAR(ticks[i], std::strtod(labels[i].c_str(), nullptr),
                  step * 1e-6)
          << labels[i];
      if (i > 0) {
        EXPECT_NE(labels[i - 1], labels[i]);
      }
    }
  }
  // Hand-written expectations: plain decimals while short, then the
  // compact exponent form; never "-0".
  EXPECT_EQ(std::vector<std::string>({"2", "4", "18"}),
            tickLabels({2, 4, 18}, 2));
  EXPECT_EQ(std::vector<std::string>({"-0.4", "-0.2", "0.0"}),
            tickLabels({-0.4, -0.2, -0.0}, 0.2));
  EXPECT_EQ(std::vector<std::string>({"-1e9", "-5e8", "0", "5e8", "1e9"}),
            tickLabels({-1e9, -5e8, 0, 5e8, 1e9}, 5e8));
  EXPECT_EQ(std::vector<std::string>({"9.9895e8", "9.99e8", "9.9905e8"}),
            tickLabels({9.9895e8, 9.99e8, 9.9905e8}, 5e4));
  EXPECT_EQ(std::vector<std::string>({"1000000000", "1000000050"}),
            tickLabels({1e9, 1000000050}, 50));
  EXPECT_EQ(std::vector<std::string>({"1.5e-8", "2e-8"}),
            tickLabels({1.5e-8, 2e-8}, 5e-9));
  EXPECT_EQ(std::vector<std::string>({"0", "50000", "100000"}),
            tickLabels({0, 5e4, 1e5}, 5e4));
}

TEST(PlotLayout, PaddedRangeLeavesRoomForMarksAndSpreadsDegenerateData) {
  double lo, hi;
  // On a long axis 4% of the spread is more than 8 points, on a short
  // one less.
  paddedRange(3, 15, 300, 8, &lo, &hi);
  EXPECT_NEAR(3 - 0.48, lo, 1e-12);
  EXPECT_NEAR(15 + 0.48, hi, 1e-12);
  paddedRange(3, 15, 100, 8, &lo, &hi);
  EXPECT_NEAR(8.0, (3 - lo) / (hi - lo) * 100, 1e-9);
  EXPECT_NEAR(8.0, (hi - 15) / (hi - lo) * 100, 1e-9);
  paddedRange(1, 1000, 560, 8, &lo, &hi);
  EXPECT_GE((1 - lo) / (hi - lo) * 560, 8 - 1e-9);
  // Equal ends: a spread around the value, 1% of it or at least 0.5.
  paddedRange(5, 5, 300, 8, &lo, &hi);
  EXPECT_LT(lo, 4.5);
  EXPECT_GT(hi, 5.5);
  paddedRange(1e9, 1e9, 300, 8, &lo, &hi);
  EXPECT_LT(lo, 0.99e9);
  EXPECT_GT(hi, 1.01e9);
  EXPECT_LT(hi, 1.1e9);
  paddedRange(NAN, 3, 300, 8, &lo, &hi);
  EXPECT_LT(lo, 0);
  EXPECT_GT(hi, 1);
  EXPECT_TRUE(std::isfinite(lo) && std::isfinite(hi));
}

TEST(PlotLayout, BinsHoldEveryFiniteMean) {
  // Hand-counted: 0 .. 3 in three bins of width 1; the maximum goes in the
  // last bin, not one past it.
  Histogram h = binMeans({0, 1, 2, 3}, {0.5f, 2.9f}, 3);
  EXPECT_EQ(0.0, h.lo);
  EXPECT_EQ(1.0, h.width);
  EXPECT_EQ(std::vector<int>({1, 1, 2}), h.nNull);
  EXPECT_EQ(std::vector<int>({1, 0, 1}), h.nExp);

  // 100000 means of each model near 1e9: all counted, both ends occupied.
  std::mt19937 gen(7);
  std::normal_distribution<float> noise(0.0f, 5e4f);
  std::vector<float> fNull, fExp;
  for (int i = 0; i < 100000; ++i) {
    fNull.push_back(9.99e8f + noise(gen));
    fExp.push_back(9.9921e8f + noise(gen));
  }
  fExp[17] = NAN;
  fNull[4] = INFINITY;
  h = binMeans(fNull, fExp, 60);
  int nNull = 0, nExp = 0;
  for (int n : h.nNull) nNull += n;
  for (int n : h.nExp) nExp += n;
  EXPECT_EQ(99999, nNull);
  EXPECT_EQ(99999, nExp);
  EXPECT_EQ(2, h.nNotFinite);
  EXPECT_GT(h.nNull.front() + h.nExp.front(), 0);
  EXPECT_GT(h.nNull.back() + h.nExp.back(), 0);
  EXPECT_EQ(*std::min_element(fNull.begin() + 5, fNull.end()), h.lo);

  // All means equal: one bin holds them all, inside a range of width > 0.
  h = binMeans(std::vector<float>(1000, 5.0f), std::vector<float>(10, 5.0f),
               60);
  EXPECT_GT(h.width, 0);
  EXPECT_LT(h.lo, 5);
  EXPECT_GT(h.hi(), 5);
  EXPECT_EQ(1000, *std::max_element(h.nNull.begin(), h.nNull.end()));
  EXPECT_EQ(10, *std::max_element(h.nExp.begin(), h.nExp.end()));
  // No finite mean at all: empty bins over a finite range.
  h = binMeans({NAN}, {}, 60);
  EXPECT_TRUE(std::isfinite(h.lo) && h.width > 0);
  EXPECT_EQ(1, h.nNotFinite);
}

TEST(PlotLayout, ContentCarriesTheLinesOnTheirAxesAndTheReportsFigures) {
  // A on y = t exactly, B on its own axis y = 8 + 2k: both fits are exact.
  const std::vector<float> fY = {1, 2, 3, 10, 12, 14, 16};
  kalmir::Result a;
  a.name = "Case";
  a.n_a = 3;
  a.n_b = 4;
  a.values = fY;
  a.null_model.intercept = 0;
  a.null_model.slope = 1;
  a.exp_model.intercept = 8;
  a.exp_model.slope = 2;
  a.d_unstd = 1.4951f;
  a.d = -2.7714f;
  a.d_se = 0.6619f;
  a.r = -0.0f;
  a.p = 0.00104f;
  a.null_means = {9, 10};
  a.exp_means = {13};
  const PlotContent c = plotContent(a);
  EXPECT_EQ(1.0, c.aLine.t0);
  EXPECT_EQ(1.0, c.aLine.y0);
  EXPECT_EQ(3.0, c.aLine.t1);
  EXPECT_EQ(3.0, c.aLine.y1);
  // The null model goes on from the last A occasion to the last B one.
  EXPECT_EQ(3.0, c.nullLine.t0);
  EXPECT_EQ(3.0, c.nullLine.y0);
  EXPECT_EQ(7.0, c.nullLine.t1);
  EXPECT_EQ(7.0, c.nullLine.y1);
  // B's first occasion is its own k = 1, the common occasion 4.
  EXPECT_EQ(4.0, c.bLine.t0);
  EXPECT_EQ(10.0, c.bLine.y0);
  EXPECT_EQ(7.0, c.bLine.t1);
  EXPECT_EQ(16.0, c.bLine.y1);
  EXPECT_EQ(13.0, c.observedMean);
  // As the report prints them: "% .3f", here without the sign's blank.
  EXPECT_EQ(std::vector<std::string>({"D = 1.495", "d = -2.771 (SE 0.662)",
                                      "r = -0.000", "p = .001"}),
            c.caption);
  EXPECT_EQ("p = .001", c.pText);
  EXPECT_EQ("1000000000.000", reportFigure(1e9f));
}

TEST(PlotLayout, NothingOverlapsAndAllTextStaysOnThePage) {
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.what);
    const PlotLayout L = layOutPlot(s.content, fakeWidth);
    const Rect page = {0, 0, L.width, L.height};
    std::vector<Rect> boxes;
    for (const TextBox& t : L.text) {
      EXPECT_GE(t.size, 10) << t.text;
      EXPECT_TRUE(inside(t.bounds(), page)) << t.text;
      EXPECT_FALSE(overlaps(t.bounds(), L.seriesFrame)) << t.text;
      EXPECT_FALSE(overlaps(t.bounds(), L.meansFrame)) << t.text;
      boxes.push_back(t.bounds());
    }
    for (const LegendSwatch& sw : L.legend) {
      EXPECT_TRUE(inside(sw.box, page));
      EXPECT_FALSE(overlaps(sw.box, L.seriesFrame));
      EXPECT_FALSE(overlaps(sw.box, L.meansFrame));
      boxes.push_back(sw.box);
    }
    for (size_t i = 0; i < boxes.size(); ++i) {
      for (size_t j = i + 1; j < boxes.size(); ++j) {
        EXPECT_FALSE(overlaps(boxes[i], boxes[j]))
            << (i < L.text.size() ? L.text[i].text : "a swatch") << " / "
            << (j < L.text.size() ? L.text[j].text : "a swatch");
      }
    }
    EXPECT_TRUE(inside(L.seriesFrame, page));
    EXPECT_GE(L.seriesFrame.h, 150);
    if (L.bMeansPanel) {
      EXPECT_TRUE(inside(L.meansFrame, page));
      EXPECT_LE(L.seriesFrame.bottom(), L.meansFrame.y);
      EXPECT_GE(L.meansFrame.h, 120);
    }
    // A and B and their shared line: the labels sit on either side.
    EXPECT_GT(L.phaseLineX, L.seriesFrame.x);
    EXPECT_LT(L.phaseLineX, L.seriesFrame.right());
    EXPECT_EQ((L.bMeansPanel ? 8u : 5u) + (L.offScale.empty() ? 0u : 1u),
              L.legend.size());
  }
}

TEST(PlotLayout, DataLandWhereTheScalesSayAndInsideTheFrames) {
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.what);
    const PlotContent& c = s.content;
    const PlotLayout L = layOutPlot(c, fakeWidth);
    const Rect& sf = L.seriesFrame;
    // The ranges' ends are the frames' edges.
    EXPECT_DOUBLE_EQ(sf.x, L.occasions.toPage(L.occasions.lo));
    EXPECT_DOUBLE_EQ(sf.right(), L.occasions.toPage(L.occasions.hi));
    EXPECT_DOUBLE_EQ(sf.bottom(), L.values.toPage(L.values.lo));
    EXPECT_DOUBLE_EQ(sf.y, L.values.toPage(L.values.hi));
    // The first and last occasions, and every value on the scale, a whole
    // marker inside the frame (the edges of a range asked for aside);
    // every line as much of it as lies inside.
    const int nN = c.nNA + c.nNB;
    const double r = L.markerRadius;
    EXPECT_GE(L.occasions.toPage(1) - r, sf.x);
    EXPECT_LE(L.occasions.toPage(nN) + r, sf.right());
    const double edge = c.bFixedRange ? 0 : r;
    std::vector<bool> bOff(c.fY.size(), false);
    for (const OffScaleMark& m : L.offScale) bOff[m.nValue] = true;
    for (size_t i = 0; i < c.fY.size(); ++i) {
      if (bOff[i]) continue;
      EXPECT_LE(L.marks[i].y + edge, sf.bottom()) << c.fY[i];
      EXPECT_GE(L.marks[i].y - edge, sf.y) << c.fY[i];
      EXPECT_DOUBLE_EQ(L.values.toPage(c.fY[i]), L.marks[i].y);
    }
    for (const PageLine* line : {&L.aLine, &L.nullLine, &L.bLine}) {
      if (!c.bFixedRange && L.offScale.empty()) {
        EXPECT_TRUE(line->bShown);
      }
      if (!line->bShown) continue;
      for (const Point& p : {line->a, line->b}) {
        EXPECT_TRUE(inside({p.x, p.y, 0, 0}, sf)) << p.x << ", " << p.y;
      }
    }
    // The phase line halfway between the last A and the first B occasion.
    EXPECT_DOUBLE_EQ(
        (L.occasions.toPage(c.nNA) + L.occasions.toPage(c.nNA + 1)) / 2,
        L.phaseLineX);
    EXPECT_GE(r, 1.3);
    EXPECT_LE(r, 3.5);
    // Every bin and the observed mean within the lower frame; the bars
    // stand on its bottom and the tallest stays below its top.
    std::vector<const Scale*> scales = {&L.occasions, &L.values};
    if (L.bMeansPanel) {
      const Rect& mf = L.meansFrame;
      EXPECT_GE(L.means.toPage(c.hist.lo), mf.x);
      EXPECT_LE(L.means.toPage(c.hist.hi()), mf.right());
      EXPECT_GT(L.observedX, mf.x);
      EXPECT_LT(L.observedX, mf.right());
      EXPECT_DOUBLE_EQ(mf.bottom(), L.counts.toPage(0));
      const int nTallest =
          std::max(*std::max_element(c.hist.nNull.begin(), c.hist.nNull.end()),
                   *std::max_element(c.hist.nExp.begin(), c.hist.nExp.end()));
      EXPECT_GT(L.counts.toPage(nTallest), mf.y);
      scales.push_back(&L.means);
      scales.push_back(&L.counts);
    }
    // Ticks lie within their frames' ranges, labels one each.
    for (const Scale* sc : scales) {
      EXPECT_EQ(sc->ticks.size(), sc->labels.size());
      EXPECT_GE(sc->ticks.size(), 2u);
      for (double t : sc->ticks) {
        EXPECT_GE(t, sc->lo);
        EXPECT_LE(t, sc->hi);
      }
    }
    // Occasions are whole numbers.
    for (double t : L.occasions.ticks) EXPECT_EQ(std::round(t), t);
  }
}

TEST(PlotLayout, CutsAnOverlongTitleBetweenCharacters) {
  const std::vector<Scenario> all = scenarios();
  const Scenario& s = all.back();
  const PlotLayout L = layOutPlot(s.content, fakeWidth);
  const TextBox& title = L.text.front();
  EXPECT_LT(title.text.size(), s.content.title.size());
  EXPECT_LE(title.width, L.width - 24);
  // Ends in the ellipsis, and what comes before it is whole characters
  // of the title.
  const std::string ellipsis = "\xE2\x80\xA6";
  ASSERT_GE(title.text.size(), ellipsis.size());
  const std::string kept =
      title.text.substr(0, title.text.size() - ellipsis.size());
  EXPECT_EQ(ellipsis, title.text.substr(kept.size()));
  EXPECT_EQ(0u, s.content.title.find(kept));
  EXPECT_NE(0xC3, static_cast<unsigned char>(kept.back()));
  // A title that fits is kept whole.
  EXPECT_EQ("Worked example",
            layOutPlot(all.front().content, fakeWidth).text.front().text);
}

TEST(PlotLayout, PIsPrintedAsAPaperPrintsIt) {
  EXPECT_EQ("p < .001", pFigure(0));
  EXPECT_EQ("p < .001", pFigure(0.00099f));
  // 0.001f is a hair above 0.001.
  EXPECT_EQ("p = .001", pFigure(0.001f));
  EXPECT_EQ("p = .001", pFigure(0.00104f));
  EXPECT_EQ("p = .023", pFigure(0.0234f));
  EXPECT_EQ("p = .500", pFigure(0.5f));
  EXPECT_EQ("p = 1.000", pFigure(1));
  EXPECT_EQ("p = NaN", pFigure(NAN));
}

TEST(PlotLayout, FarValuesLieBeyondFiveIqrsOfAllAndOfTheirOwnPhase) {
  // Hand-worked quartiles (linear between order statistics).
  // The worked example with 12 at occasion 12 made 250: quartiles of all
  // 6 and 12.75, fence 46.5; of B 11 and 14, fence 29. Only 250 is far.
  std::vector<float> fY = {3,  5, 4,   6,  5,  7,  6,  8,  7,
                           10, 9, 250, 11, 13, 12, 15, 14, 12};
  std::vector<bool> bFar = farValues(fY, 9);
  EXPECT_EQ(1, std::count(bFar.begin(), bFar.end(), true));
  EXPECT_TRUE(bFar[11]);
  // A jump that a whole phase shares is an effect, not a wild value:
  // 0 ... 1 then three values at 1000 (B's own quartiles are equal).
  fY = {0, 0.5f, 1, 0.2f, 0.8f, 0.4f, 0.6f, 0.3f, 0.7f, 0.1f, 1000, 1000, 1000};
  bFar = farValues(fY, 10);
  EXPECT_EQ(0, std::count(bFar.begin(), bFar.end(), true));
  // But one value apart from a phase whose middle half is one value is.
  fY = {3, 4, 5, 4, 3, 4, 10, 10, 10, 10, 250};
  bFar = farValues(fY, 6);
  EXPECT_EQ(std::vector<bool>({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), bFar);
  // Two points cannot tell which one is wild; nor can data mostly equal.
  EXPECT_EQ(std::vector<bool>(6, false), farValues({3, 4, 5, 4, 9, 250}, 4));
  EXPECT_EQ(std::vector<bool>(8, false),
            farValues({5, 5, 5, 5, 5, 5, 5, 250}, 4));
}

TEST(PlotLayout, DataPathsJoinEachPhaseAndBreakAtThePhaseChange) {
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.what);
    const PlotContent& c = s.content;
    const PlotLayout L = layOutPlot(c, fakeWidth);
    size_t nPoints[2] = {0, 0};
    for (const Polyline& p : L.dataPaths) {
      ASSERT_GE(p.points.size(), 2u);
      for (const Point& point : p.points) {
        // A's path ends at its last value, B's starts at its first: no
        // stretch crosses the phase change.
        if (p.nPhase == 0) {
          EXPECT_LE(point.x, L.occasions.toPage(c.nNA));
        } else {
          EXPECT_GE(point.x, L.occasions.toPage(c.nNA + 1));
        }
        EXPECT_TRUE(inside({point.x, point.y, 0, 0}, L.seriesFrame));
      }
      nPoints[p.nPhase] += p.points.size();
    }
    if (!L.offScale.empty()) continue;
    // On the scale: one unbroken path a phase through every value.
    EXPECT_EQ(2u, L.dataPaths.size());
    EXPECT_EQ(static_cast<size_t>(c.nNA), nPoints[0]);
    EXPECT_EQ(static_cast<size_t>(c.nNB), nPoints[1]);
    for (size_t i = 0; i < c.fY.size(); ++i) {
      const Polyline& p = L.dataPaths[static_cast<int>(i) < c.nNA ? 0 : 1];
      const Point& at = p.points[static_cast<int>(i) < c.nNA
                                     ? i
                                     : i - static_cast<size_t>(c.nNA)];
      EXPECT_EQ(L.marks[i].x, at.x);
      EXPECT_EQ(L.marks[i].y, at.y);
    }
  }
}

TEST(PlotLayout, ValuesOffTheScaleAreMarkedAtTheEdgeAndNamed) {
  const std::vector<Scenario> all = scenarios();
  auto find = [&all](const std::string& what) {
    for (const Scenario& s : all) {
      if (s.what == what) return s.content;
    }
    return PlotContent();
  };
  // One wild value: the scale keeps to the others, an arrow at the top
  // edge stands for it, the path runs off the frame toward it and back,
  // and a caveat names it.
  const PlotContent wild = find("a wild value");
  PlotLayout L = layOutPlot(wild, fakeWidth);
  EXPECT_LT(L.values.hi, 20);
  EXPECT_GT(L.values.hi, 15);
  ASSERT_EQ(1u, L.offScale.size());
  EXPECT_EQ(11, L.offScale[0].nValue);
  EXPECT_TRUE(L.offScale[0].bAbove);
  EXPECT_EQ(L.seriesFrame.y, L.offScale[0].tip.y);
  EXPECT_EQ(L.occasions.toPage(12), L.offScale[0].tip.x);
  EXPECT_EQ(3u, L.dataPaths.size());  // A; B up to the edge; B from it
  EXPECT_DOUBLE_EQ(L.seriesFrame.y, L.dataPaths[1].points.back().y);
  EXPECT_DOUBLE_EQ(L.seriesFrame.y, L.dataPaths[2].points.front().y);
  // The caveats' lines, joined again where they were wrapped.
  auto hasText = [](const PlotLayout& layout, const std::string& text) {
    std::string notes;
    for (const TextBox& t : layout.text) {
      if (t.text == text) return true;
      if (t.text.compare(0, 6, "Note: ") == 0 && !notes.empty()) break;
      if (t.text.compare(0, 6, "Note: ") == 0 || !notes.empty()) {
        notes += (notes.empty() ? "" : " ") + t.text;
      }
      if (notes == text) return true;
    }
    return false;
  };
  EXPECT_TRUE(hasText(L,
                      "Note: 250 at occasion 12 is drawn off the scale (over "
                      "5 interquartile ranges beyond the rest)."));
  EXPECT_TRUE(hasText(L, "Off the scale"));
  EXPECT_EQ(LegendKey::kOffScale, L.legend[5].key);

  // A range asked for is kept exactly; all values beyond it are marked,
  // the first four named.
  const PlotContent range = find("a y range");
  L = layOutPlot(range, fakeWidth);
  EXPECT_EQ(0.0, L.values.lo);
  EXPECT_EQ(10.0, L.values.hi);
  std::vector<int> nOff;
  for (const OffScaleMark& m : L.offScale) {
    nOff.push_back(m.nValue);
    EXPECT_TRUE(m.bAbove);
  }
  EXPECT_EQ(std::vector<int>({12, 13, 14, 15, 16, 17}), nOff);
  EXPECT_TRUE(hasText(L,
                      "Note: 6 values are drawn off the scale (outside the y "
                      "range 0 to 10): 12 at occasion 13, 11 at 14, 13 at "
                      "15, 12 at 16, \xE2\x80\xA6."));
  // The lines keep to the frame: the worked example's null line leaves
  // it at 10, at occasion 13.5.
  PlotContent rising = range;
  rising.nullLine = {10, 8.25, 18, 12.25};
  L = layOutPlot(rising, fakeWidth);
  EXPECT_TRUE(L.nullLine.bShown);
  EXPECT_DOUBLE_EQ(L.seriesFrame.y, L.nullLine.b.y);
  EXPECT_NEAR(L.occasions.toPage(13.5), L.nullLine.b.x, 1e-9);
  EXPECT_FALSE(wild.bFixedRange);
  EXPECT_TRUE(range.bFixedRange);
}

TEST(PlotLayout, CaveatLinesStandBetweenTheFiguresAndTheLegend) {
  const std::vector<Scenario> all = scenarios();
  PlotContent c = all.front().content;
  const PlotLayout plain = layOutPlot(c, fakeWidth);
  c.caveats = {"a phase of only 2 points: d, r and p are not meaningful",
               std::string(60, 'w') + " " + std::string(60, 'v') + " " +
                   std::string(60, 'u')};
  const PlotLayout L = layOutPlot(c, fakeWidth);
  std::vector<const TextBox*> notes;
  double captionBottom = 0, legendTop = L.height;
  for (const TextBox& t : L.text) {
    if (t.text.compare(0, 4, "D = ") == 0) captionBottom = t.bounds().bottom();
    if (t.text == "A phase") legendTop = t.bounds().y;
  }
  for (const TextBox& t : L.text) {
    const Rect b = t.bounds();
    if (b.y < captionBottom || b.bottom() > legendTop) continue;
    if (t.text.compare(0, 4, "D = ") == 0 || t.size != 11) continue;
    bool bCaption = false;
    for (const std::string& piece : c.caption) bCaption |= t.text == piece;
    if (!bCaption) notes.push_back(&t);
  }
  // The short one on a line of its own; the long one wraps into three,
  // each within the page.
  ASSERT_EQ(4u, notes.size());
  EXPECT_EQ("Note: A phase of only 2 points: d, r and p are not meaningful.",
            notes[0]->text);
  EXPECT_EQ("Note: W" + std::string(59, 'w'), notes[1]->text);
  EXPECT_EQ(std::string(60, 'v'), notes[2]->text);
  EXPECT_EQ(std::string(60, 'u') + ".", notes[3]->text);
  for (const TextBox* t : notes) EXPECT_LE(t->width, L.width - 24);
  // The page grows by the lines; the frames keep their size.
  EXPECT_GT(L.height, plain.height + 3 * 11);
  EXPECT_EQ(plain.seriesFrame.h, L.seriesFrame.h);
  EXPECT_EQ(plain.meansFrame.h, L.meansFrame.h);
}

TEST(PlotLayout, TheSeriesAloneIsAShorterPageWithATallerFrame) {
  const std::vector<Scenario> all = scenarios();
  PlotContent c = all.front().content;
  const PlotLayout both = layOutPlot(c, fakeWidth);
  c.bMeansPanel = false;
  const PlotLayout alone = layOutPlot(c, fakeWidth);
  EXPECT_LT(alone.height, both.height - 100);
  EXPECT_GT(alone.seriesFrame.h, both.seriesFrame.h);
  for (const TextBox& t : alone.text) {
    EXPECT_LT(t.bounds().y, alone.seriesFrame.bottom() + 40) << t.text;
    EXPECT_EQ(std::string::npos, t.text.find("Simulated")) << t.text;
  }
  // The page ends below the series' axis title.
  EXPECT_LT(alone.height, alone.seriesFrame.bottom() + 60);
}

TEST(PlotLayout, LabelsNameThePhasesAxesAndTitleAsAsked) {
  kalmir::Result a = madeUp("Ann", {1, 2, 3, 4, 5, 6}, 3, 2, 5, 0.5f, 100);
  a.label_a = "Baseline";
  a.label_b = "Treatment";
  PlotContent c = plotContent(a);
  EXPECT_EQ("Ann", c.title);
  EXPECT_EQ("Baseline", c.phaseA);
  EXPECT_EQ("Treatment", c.phaseB);
  EXPECT_EQ("Value", c.yLabel);
  EXPECT_EQ("Measurement occasion", c.xLabel);
  PlotOptions o;
  o.title = "Ann, spring";
  o.phaseA = "A1";
  o.yLabel = "Words \xFF per minute";  // not UTF-8: made so
  o.xLabel = "Session";
  c = plotContent(a, o);
  EXPECT_EQ("Ann, spring", c.title);
  EXPECT_EQ("A1", c.phaseA);
  EXPECT_EQ("Treatment", c.phaseB);
  EXPECT_EQ("Words \xEF\xBF\xBD per minute", c.yLabel);
  const PlotLayout L = layOutPlot(c, fakeWidth);
  int nFound = 0;
  for (const TextBox& t : L.text) {
    if (t.text == "A1" && t.bBold) {
      ++nFound;
      EXPECT_EQ(Align::kEnd, t.align);
      EXPECT_DOUBLE_EQ(L.phaseLineX - 4, t.anchorX());
    }
    if (t.text == "Treatment" && t.bBold) {
      ++nFound;
      EXPECT_DOUBLE_EQ(L.phaseLineX + 4, t.anchorX());
    }
    if (t.text == "Words \xEF\xBF\xBD per minute") {
      ++nFound;
      EXPECT_TRUE(t.bVertical);
      EXPECT_DOUBLE_EQ(L.seriesFrame.y + L.seriesFrame.h / 2, t.anchorY());
    }
    if (t.text == "Session" || t.text == "A1 line carried on (null model)" ||
        t.text == "Observed Treatment-phase mean") {
      ++nFound;
    }
  }
  EXPECT_EQ(6, nFound);
}

namespace {

std::string shortTime(double t) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, t).ptr);
}

// Whether p lies on the page line from a through its bends to b, to within
// a hundredth of a point.
bool onLine(const PageLine& line, const Point& p) {
  std::vector<Point> points = {line.a};
  points.insert(points.end(), line.bends.begin(), line.bends.end());
  points.push_back(line.b);
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const Point& a = points[i];
    const Point& b = points[i + 1];
    if (p.x < a.x - 0.01 || p.x > b.x + 0.01) continue;
    const double y =
        b.x == a.x ? a.y : a.y + (p.x - a.x) / (b.x - a.x) * (b.y - a.y);
    if (std::fabs(y - p.y) < 0.01) return true;
  }
  return false;
}

}  // namespace

TEST(PlotLayout, PointsPhaseChangeAndLinesStandAtTheMeasurementTimes) {
  // A on y = t, B on its own axis y = 8 + 2k; measured at sessions with
  // gaps, one of them where a measurement is missing.
  const std::vector<float> fY = {1, 2, 3, 10, 12, 14, 16};
  kalmir::Result a = madeUp("Timed", fY, 3, 2, 13, 0.5f, 1000);
  a.null_model.intercept = 0;
  a.null_model.slope = 1;
  a.exp_model.intercept = 8;
  a.exp_model.slope = 2;
  const std::vector<double> fT = {1, 2, 4, 9, 10, 11, 15};
  const PlotContent c = plotContent(a, {}, 60, fT);
  EXPECT_EQ(fT, c.fT);
  EXPECT_EQ("Measurement time", c.xLabel);
  const PlotLayout L = layOutPlot(c, fakeWidth);
  const Scale& x = L.occasions;
  for (size_t i = 0; i < fY.size(); ++i) {
    EXPECT_DOUBLE_EQ(x.toPage(fT[i]), L.marks[i].x);
  }
  EXPECT_DOUBLE_EQ(x.toPage(6.5), L.phaseLineX);  // between sessions 4 and 9
  EXPECT_LE(x.lo, 1);
  EXPECT_GE(x.hi, 15);
  // Each line passes through its fitted value at every point's time: the A
  // line at its own occasions, the null model on into B, the B line on
  // B's own axis. It bends only where the gaps around a point differ.
  for (int k = 1; k <= 3; ++k) {
    EXPECT_TRUE(onLine(L.aLine, {x.toPage(fT[k - 1]), L.values.toPage(k)}));
  }
  for (int k = 3; k <= 7; ++k) {
    EXPECT_TRUE(onLine(L.nullLine, {x.toPage(fT[k - 1]), L.values.toPage(k)}))
        << k;
  }
  for (int k = 1; k <= 4; ++k) {
    EXPECT_TRUE(
        onLine(L.bLine, {x.toPage(fT[k + 2]), L.values.toPage(8 + 2 * k)}))
        << k;
  }
  EXPECT_EQ(1u, L.aLine.bends.size());     // at session 2: gaps 1 and 2
  EXPECT_EQ(2u, L.nullLine.bends.size());  // at 9 and 11
  EXPECT_EQ(1u, L.bLine.bends.size());     // at 11 (9 10 11 evenly)

  // Evenly spaced times draw straight lines; times that are not one
  // finite increasing time per value count occasions, as no times do.
  const PlotLayout even =
      layOutPlot(plotContent(a, {}, 60, {0, 2, 4, 6, 8, 10, 12}), fakeWidth);
  EXPECT_TRUE(even.aLine.bends.empty() && even.nullLine.bends.empty() &&
              even.bLine.bends.empty());
  const PlotContent plain = plotContent(a);
  for (const std::vector<double>& bad : {std::vector<double>{1, 2, 3},
                                         {1, 2, 2, 3, 4, 5, 6},
                                         {1, 2, 3, 4, 5, NAN, 7},
                                         {7, 6, 5, 4, 3, 2, 1}}) {
    const PlotContent c2 = plotContent(a, {}, 60, bad);
    EXPECT_TRUE(c2.fT.empty());
    EXPECT_EQ(plain.xLabel, c2.xLabel);
  }
  // Occasions given as times change nothing.
  const PlotLayout byOccasion = layOutPlot(plain, fakeWidth);
  const PlotLayout byTime =
      layOutPlot(plotContent(a, {}, 60, {1, 2, 3, 4, 5, 6, 7}), fakeWidth);
  EXPECT_EQ(byOccasion.phaseLineX, byTime.phaseLineX);
  EXPECT_EQ(byOccasion.occasions.ticks, byTime.occasions.ticks);
  for (size_t i = 0; i < fY.size(); ++i) {
    EXPECT_EQ(byOccasion.marks[i].x, byTime.marks[i].x);
  }
}

TEST(PlotLayout, TimesOfAnyScaleKeepTheLayoutSound) {
  // Days as counted from a date (around 20000), fractions of an hour, and
  // a value off the scale, named by its time.
  const std::vector<float> fY = {3, 5, 4, 6, 5, 7, 9, 10, 250, 11, 13, 12};
  const kalmir::Result a = madeUp("Days", fY, 6, 5, 11, 0.5f, 1000);
  for (const std::vector<double>& fT :
       {std::vector<double>{19800, 19801, 19803, 19808, 19809, 19810, 19815,
                            19816, 19817, 19830, 19831, 19832},
        {0.1, 0.15, 0.2, 0.35, 0.4, 0.45, 0.5, 0.55, 0.6, 0.75, 0.8, 0.95}}) {
    const PlotContent c = plotContent(a, {}, 60, fT);
    const PlotLayout L = layOutPlot(c, fakeWidth);
    const Rect page = {0, 0, L.width, L.height};
    for (size_t i = 0; i < L.text.size(); ++i) {
      EXPECT_TRUE(inside(L.text[i].bounds(), page)) << L.text[i].text;
      for (size_t j = i + 1; j < L.text.size(); ++j) {
        EXPECT_FALSE(overlaps(L.text[i].bounds(), L.text[j].bounds()))
            << L.text[i].text << " / " << L.text[j].text;
      }
    }
    EXPECT_GE(L.occasions.ticks.size(), 2u);
    EXPECT_GE(L.markerRadius, 1.3);
    EXPECT_GE(L.occasions.toPage(fT.front()) - L.markerRadius, L.seriesFrame.x);
    EXPECT_LE(L.occasions.toPage(fT.back()) + L.markerRadius,
              L.seriesFrame.right());
    ASSERT_EQ(1u, L.offScale.size());
    bool bNamed = false;
    for (const TextBox& t : L.text) {
      bNamed = bNamed || t.text.find("250 at time " + shortTime(fT[8])) !=
                             std::string::npos;
    }
    EXPECT_TRUE(bNamed);
  }
}
