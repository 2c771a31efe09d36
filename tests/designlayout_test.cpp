#include "designlayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "plotparts.h"

namespace {

// The stand-in font of the plot layout's tests: every character 0.6 of
// the size wide, bold a tenth wider.
double fakeWidth(const std::string& text, double size, bool bBold) {
  double n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n * 0.6 * size * (bBold ? 1.1 : 1.0);
}

bool overlaps(const Rect& a, const Rect& b) {
  return a.x < b.right() && b.x < a.right() && a.y < b.bottom() &&
         b.y < a.bottom();
}
bool inside(const Rect& inner, const Rect& outer) {
  return inner.x >= outer.x && inner.right() <= outer.right() &&
         inner.y >= outer.y && inner.bottom() <= outer.bottom();
}

// A series and an analysis of it made by hand: each phase k on the line
// y = 10 k + j over its own occasions j, each contrast's means around its
// two phases' levels; no analysis to wait for.
struct Made {
  kalmir::DataSet data;
  kalmir::Series series;
};

Made made(const std::string& name, const std::vector<std::string>& labels,
          const std::vector<int>& nSizes,
          const std::vector<std::vector<double>>& times = {}) {
  Made m;
  m.data.name = name;
  std::mt19937 gen(static_cast<unsigned>(nSizes.size()));
  std::normal_distribution<float> noise(0.0f, 1.0f);
  std::vector<std::vector<float>> fPhases;
  for (size_t k = 0; k < nSizes.size(); ++k) {
    kalmir::Phase phase;
    phase.label = labels[k];
    std::vector<float> fY;
    for (int j = 1; j <= nSizes[k]; ++j) {
      fY.push_back(static_cast<float>(10 * (k % 2) + j) + 0.1f * noise(gen));
      phase.values.push_back(fY.back());
    }
    if (k < times.size()) phase.times = times[k];
    fPhases.push_back(fY);
    m.data.phases.push_back(phase);
  }
  m.series.name = name;
  for (size_t k = 0; k + 1 < nSizes.size(); ++k) {
    kalmir::Contrast c;
    c.label = "P" + std::to_string(k + 1) + "-P" + std::to_string(k + 2);
    c.a_to_b = k % 2 == 0;
    kalmir::Result& r = c.result;
    r.name = name;
    r.n_a = nSizes[k];
    r.n_b = nSizes[k + 1];
    r.values = fPhases[k];
    r.values.insert(r.values.end(), fPhases[k + 1].begin(),
                    fPhases[k + 1].end());
    r.null_model.intercept = static_cast<float>(10 * (k % 2));
    r.null_model.slope = 1;
    r.exp_model.intercept = static_cast<float>(10 * ((k + 1) % 2));
    r.exp_model.slope = 1;
    r.d = 1.5f + static_cast<float>(k);
    r.p = 0.002f;
    for (int i = 0; i < 2000; ++i) {
      r.null_means.push_back(static_cast<float>(10 * (k % 2)) + noise(gen));
      r.exp_means.push_back(static_cast<float>(10 * ((k + 1) % 2)) +
                            noise(gen));
    }
    m.series.contrasts.push_back(c);
  }
  return m;
}

std::vector<double> range(double first, double step, int n) {
  std::vector<double> t;
  for (int i = 0; i < n; ++i) t.push_back(first + step * i);
  return t;
}

struct SeriesScenario {
  const char* what;
  SeriesFigure figure;
};

std::vector<SeriesScenario> seriesScenarios() {
  std::vector<SeriesScenario> s;
  auto add = [&](const char* what, const Made& m,
                 const PlotOptions& options = {}) {
    s.push_back({what, seriesFigure(m.data, m.series, options)});
  };
  add("ABAB", made("Ann", {"A", "B", "A", "B"}, {5, 6, 5, 5}));
  add("AB", made("Ben", {"A", "B"}, {4, 4}));
  add("ABA at uneven times",
      made("Cleo", {"A", "B", "A"}, {4, 5, 4},
           {{1, 2, 5, 6}, {9, 10, 11, 20, 21}, {30, 31, 35, 36}}));
  add("ten phases, one long",
      made("Dev", {"A1", "B1", "A2", "B2", "A3", "B3", "A4", "B4", "A5", "B5"},
           {2, 2, 2, 2, 500, 2, 2, 2, 2, 2}));
  PlotOptions long_;
  long_.title = std::string(200, 'T');
  long_.phaseA = std::string(60, 'a');
  long_.phaseB = "Intervention " + std::string(60, 'b');
  long_.xLabel = std::string(200, 'x');
  long_.yLabel = std::string(200, 'y');
  add("long labels", made("Eve", {"A", "B", "A", "B", "A"}, {3, 3, 3, 3, 3}),
      long_);
  PlotOptions alone;
  alone.bMeansPanel = false;
  add("the series alone", made("Fay", {"A", "B", "A", "B"}, {5, 6, 5, 5}),
      alone);
  PlotOptions fixed;
  fixed.bYRange = true;
  fixed.yLow = 0;
  fixed.yHigh = 8;
  add("a y range", made("Gus", {"A", "B", "A", "B"}, {5, 6, 5, 5}), fixed);
  s.back().figure.caveats = {std::string(300, 'c'), "a short caveat"};
  Made wild = made("Hal", {"A", "B", "A", "B"}, {6, 6, 6, 6});
  wild.series.contrasts[1].result.values[3] = 900;  // B1's 4th value
  wild.series.contrasts[0].result.values[9] = 900;
  add("a wild value", wild);
  return s;
}

struct StudyScenario {
  const char* what;
  StudyFigure figure;
};

StudyFigure figureOf(const std::vector<Made>& cases, const std::string& name,
                     const PlotOptions& options = {}) {
  std::vector<kalmir::DataSet> data;
  kalmir::Study study;
  study.name = name;
  for (const Made& m : cases) {
    data.push_back(m.data);
    study.cases.push_back(m.series);
  }
  return studyFigure(data, study, options);
}

std::vector<StudyScenario> studyScenarios() {
  std::vector<StudyScenario> s;
  const std::vector<Made> staggered = {
      made("Ann", {"A", "B"}, {4, 8}, {range(1, 1, 4), range(5, 1, 8)}),
      made("Ben", {"A", "B"}, {6, 6}, {range(1, 1, 6), range(7, 1, 6)}),
      made("Cleo", {"A", "B", "A", "B"}, {8, 3, 3, 3},
           {range(1, 1, 8), range(9, 1, 3), range(14, 1, 3), range(17, 1, 3)})};
  s.push_back({"three staggered cases", figureOf(staggered, "Study")});
  // One case without times: all count occasions.
  std::vector<Made> mixed = staggered;
  mixed[1] = made("Ben", {"A", "B"}, {6, 6});
  s.push_back({"one case without times", figureOf(mixed, "Mixed")});
  std::vector<Made> many;
  for (int i = 0; i < 9; ++i) {
    many.push_back(made("Case " + std::to_string(i + 1) + std::string(40, 'n'),
                        {"Baseline", "Intervention"}, {3 + i, 12 - i}));
  }
  s.push_back({"nine cases, long names", figureOf(many, "Many")});
  s.push_back(
      {"days", figureOf({made("Ann", {"A", "B"}, {3, 3},
                              {{19800, 19801, 19805}, {19806, 19810, 19811}}),
                         made("Ben", {"A", "B"}, {4, 2},
                              {{19790, 19800, 19801, 19808}, {19809, 19830}})},
                        "Days")});
  return s;
}

// Every piece of text and swatch on the page, apart from each other and
// from every frame.
void expectNoOverlaps(const std::vector<TextBox>& text,
                      const std::vector<LegendSwatch>& legend,
                      const std::vector<Rect>& frames, double width,
                      double height) {
  const Rect page = {0, 0, width, height};
  std::vector<Rect> boxes;
  std::vector<std::string> names;
  for (const TextBox& t : text) {
    EXPECT_GE(t.size, 10) << t.text;
    boxes.push_back(t.bounds());
    names.push_back(t.text);
  }
  for (const LegendSwatch& sw : legend) {
    boxes.push_back(sw.box);
    names.push_back("a swatch");
  }
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_TRUE(inside(boxes[i], page)) << names[i];
    for (const Rect& f : frames) {
      EXPECT_FALSE(overlaps(boxes[i], f)) << names[i];
    }
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      EXPECT_FALSE(overlaps(boxes[i], boxes[j]))
          << names[i] << " / " << names[j];
    }
  }
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_TRUE(inside(frames[i], page));
    for (size_t j = i + 1; j < frames.size(); ++j) {
      EXPECT_FALSE(overlaps(frames[i], frames[j]));
    }
  }
}

// The marks, paths, phase changes and lines of a panel where its content
// and scales put them.
void expectPanelDrawsItsContent(const SeriesContent& c, const SeriesPanel& p) {
  ASSERT_EQ(c.fY.size(), p.marks.size());
  std::vector<bool> bOff(c.fY.size(), false);
  for (const OffScaleMark& m : p.offScale) bOff[m.nValue] = true;
  for (size_t i = 0; i < c.fY.size(); ++i) {
    const double x = p.x.toPage(timeAt(c.fT, static_cast<double>(i + 1)));
    EXPECT_DOUBLE_EQ(x, p.marks[i].x);
    if (!bOff[i]) {
      EXPECT_DOUBLE_EQ(p.values.toPage(c.fY[i]), p.marks[i].y);
      EXPECT_TRUE(inside({p.marks[i].x, p.marks[i].y, 0, 0}, p.frame));
    }
  }
  // A change between the last point of a phase and the first of the next.
  ASSERT_EQ(c.nStarts.size() - 1, p.changeX.size());
  for (size_t k = 1; k < c.nStarts.size(); ++k) {
    EXPECT_GT(p.changeX[k - 1], p.marks[c.nStarts[k] - 1].x);
    EXPECT_LT(p.changeX[k - 1], p.marks[c.nStarts[k]].x);
  }
  // No data path crosses a phase change.
  for (const Polyline& path : p.dataPaths) {
    const size_t k = static_cast<size_t>(path.nPhase);
    for (const Point& pt : path.points) {
      if (k > 0) {
        EXPECT_GE(pt.x, p.changeX[k - 1]);
      }
      if (k < p.changeX.size()) {
        EXPECT_LE(pt.x, p.changeX[k]);
      }
    }
  }
  ASSERT_EQ(c.nStarts.size(), p.lines.size());
  ASSERT_EQ(c.nStarts.size() - 1, p.carried.size());
  for (const std::vector<PageLine>* lines : {&p.lines, &p.carried}) {
    for (const PageLine& line : *lines) {
      if (!line.bShown) continue;
      for (const Point& pt : {line.a, line.b}) {
        EXPECT_TRUE(inside({pt.x, pt.y, 0, 0}, p.frame));
      }
    }
  }
  EXPECT_GE(p.markerRadius, 1.3);
  EXPECT_LE(p.markerRadius, 3.5);
}

}  // namespace

TEST(DesignLayout, SeriesContentTakesThePhasesFromTheContrasts) {
  const Made m = made("Ann", {"A", "B", "A", "B"}, {3, 4, 3, 5});
  const SeriesContent c = seriesContent(m.data, m.series, {});
  EXPECT_EQ(std::vector<std::string>({"A1", "B1", "A2", "B2"}), c.phases);
  EXPECT_EQ(std::vector<std::string>({"A", "B", "A", "B"}), c.labels);
  EXPECT_EQ(std::vector<size_t>({0, 3, 7, 10}), c.nStarts);
  ASSERT_EQ(15u, c.fY.size());
  EXPECT_EQ(m.series.contrasts[2].result.values[3], c.fY[10]);
  EXPECT_TRUE(c.fT.empty());
  // Phase k's line y = 10 (k % 2) + j on its own occasions j, placed on the
  // series' occasions; carried on to the end of the next phase.
  ASSERT_EQ(4u, c.lines.size());
  EXPECT_EQ(8.0, c.lines[2].t0);  // A2's first point: occasion 8
  EXPECT_EQ(1.0, c.lines[2].y0);  // its own occasion 1
  EXPECT_EQ(10.0, c.lines[2].t1);
  EXPECT_EQ(3.0, c.lines[2].y1);
  EXPECT_EQ(11.0, c.lines[3].t0);
  EXPECT_EQ(11.0, c.lines[3].y0);
  ASSERT_EQ(3u, c.carried.size());
  EXPECT_EQ(7.0, c.carried[1].t0);  // from B1's last point ...
  EXPECT_EQ(14.0, c.carried[1].y0);
  EXPECT_EQ(10.0, c.carried[1].t1);  // ... to A2's last
  EXPECT_EQ(17.0, c.carried[1].y1);

  // Numbered labels stay; chosen names replace the kinds.
  const Made n = made("Ben", {"A1", "B1", "A2"}, {3, 3, 3});
  EXPECT_EQ(std::vector<std::string>({"A1", "B1", "A2"}),
            seriesContent(n.data, n.series, {}).phases);
  PlotOptions named;
  named.phaseA = "Baseline";
  named.phaseB = "Praise";
  const SeriesContent r = seriesContent(n.data, n.series, named);
  EXPECT_EQ(std::vector<std::string>({"Baseline1", "Praise1", "Baseline2"}),
            r.phases);
  EXPECT_EQ(std::vector<std::string>({"Baseline", "Praise", "Baseline"}),
            r.labels);
  std::string roleA, roleB;
  phaseRoles(n.data, {}, &roleA, &roleB);
  EXPECT_EQ("A", roleA);
  EXPECT_EQ("B", roleB);

  // Times only when every phase has one per value, increasing.
  const Made t = made("Cleo", {"A", "B"}, {3, 3}, {{1, 2, 4}, {7, 8, 9}});
  EXPECT_EQ(std::vector<double>({1, 2, 4, 7, 8, 9}),
            seriesContent(t.data, t.series, {}).fT);
  const Made half = made("Dan", {"A", "B"}, {3, 3}, {{1, 2, 4}});
  EXPECT_TRUE(seriesContent(half.data, half.series, {}).fT.empty());
  const Made back = made("Eve", {"A", "B"}, {3, 3}, {{1, 2, 4}, {3, 8, 9}});
  EXPECT_TRUE(seriesContent(back.data, back.series, {}).fT.empty());
}

TEST(DesignLayout, FiguresCarryEachContrastsAndEachCasesFigures) {
  const Made m = made("Ann", {"A", "B", "A", "B"}, {3, 4, 3, 5});
  const SeriesFigure f = seriesFigure(m.data, m.series, {});
  ASSERT_EQ(3u, f.contrasts.size());
  EXPECT_EQ("P2-P3: d = 2.500, p = .002", f.contrasts[1].title);
  EXPECT_EQ("A2", f.contrasts[1].later);
  const std::vector<float>& fB1A2 = m.series.contrasts[1].result.values;
  EXPECT_DOUBLE_EQ((static_cast<double>(fB1A2[4]) + fB1A2[5] + fB1A2[6]) / 3,
                   f.contrasts[1].observedMean);
  EXPECT_EQ("Ann", f.title);
  EXPECT_EQ("Measurement occasion", f.xLabel);
  EXPECT_TRUE(f.caption.empty());  // no summary in the analysis

  // In a study: one A-B contrast, its d and p; more, their average d.
  Made two = made("Ben", {"A", "B", "A", "B"}, {3, 3, 3, 3});
  two.series.has_summary = true;
  two.series.summary.count = 2;
  two.series.summary.averages = {{"d", 2.25, 0.5}};
  const Made ab = made("Ann", {"A", "B"}, {3, 4});
  kalmir::Study study;
  study.name = "S";
  study.cases = {ab.series, two.series};
  study.summary.averages = {{"d", 1.875, 0.25}};
  const StudyFigure s = studyFigure({ab.data, two.data}, study, {});
  ASSERT_EQ(2u, s.cases.size());
  EXPECT_EQ(std::vector<std::string>({"d = 1.500", "p = .002"}),
            s.cases[0].figures);
  EXPECT_EQ(std::vector<std::string>({"mean d = 2.250", "over 2 A-B pairs"}),
            s.cases[1].figures);
  EXPECT_EQ(std::vector<std::string>({"Mean of 2 cases: d = 1.875 (SE 0.250)"}),
            s.caption);

  // What cannot be drawn is said, not guessed at.
  EXPECT_EQ("", seriesMismatch(m.data, m.series, true));
  kalmir::Series short_ = m.series;
  short_.contrasts.pop_back();
  EXPECT_NE("", seriesMismatch(m.data, short_, false));
  kalmir::Series noMeans = m.series;
  noMeans.contrasts[2].result.null_means.clear();
  EXPECT_EQ("", seriesMismatch(m.data, noMeans, false));
  EXPECT_EQ("cannot plot series \"Ann\": no analysis with its simulated means",
            seriesMismatch(m.data, noMeans, true));
  kalmir::DataSet other = m.data;
  other.phases[1].values.push_back(3);
  EXPECT_NE("", seriesMismatch(other, m.series, false));
}

TEST(DesignLayout, SeriesFigureOverlapsNothingAndDrawsWhatItShows) {
  for (const SeriesScenario& s : seriesScenarios()) {
    SCOPED_TRACE(s.what);
    const SeriesFigure& f = s.figure;
    const SeriesFigureLayout L = layOutSeriesFigure(f, fakeWidth);
    std::vector<Rect> frames = {L.series.frame};
    for (const MeansPanel& m : L.means) frames.push_back(m.frame);
    expectNoOverlaps(L.text, L.legend, frames, L.width, L.height);
    EXPECT_GE(L.series.frame.h, 150);
    expectPanelDrawsItsContent(f.series, L.series);
    // Every phase named above the frame, in bold at the text's size.
    const long nNames =
        std::count_if(L.text.begin(), L.text.end(), [&](const TextBox& t) {
          return t.bBold && t.size == 11 &&
                 t.bounds().bottom() <= L.series.frame.y;
        });
    EXPECT_EQ(static_cast<long>(f.series.phases.size()), nNames);
    // A small panel per change below the series, its data inside it.
    ASSERT_EQ(f.bMeansPanel ? f.contrasts.size() : 0u, L.means.size());
    for (size_t i = 0; i < L.means.size(); ++i) {
      const MeansPanel& m = L.means[i];
      const Histogram& h = f.contrasts[i].hist;
      EXPECT_GT(m.frame.y, L.series.frame.bottom());
      EXPECT_GE(m.frame.w, 80);
      EXPECT_GE(m.means.toPage(h.lo), m.frame.x);
      EXPECT_LE(m.means.toPage(h.hi()), m.frame.right());
      EXPECT_GT(m.observedX, m.frame.x);
      EXPECT_LT(m.observedX, m.frame.right());
      EXPECT_DOUBLE_EQ(m.frame.bottom(), m.counts.toPage(0));
      EXPECT_GE(m.means.ticks.size(), 2u);
      EXPECT_GE(m.counts.ticks.size(), 2u);
    }
  }
}

TEST(DesignLayout, StudyPanelsShareOneTimeAxisAndStepFromChangeToChange) {
  for (const StudyScenario& s : studyScenarios()) {
    SCOPED_TRACE(s.what);
    const StudyFigure& f = s.figure;
    const StudyFigureLayout L = layOutStudyFigure(f, fakeWidth);
    ASSERT_EQ(f.cases.size(), L.panels.size());
    std::vector<Rect> frames;
    for (const SeriesPanel& p : L.panels) frames.push_back(p.frame);
    expectNoOverlaps(L.text, L.legend, frames, L.width, L.height);
    const SeriesPanel& top = L.panels[0];
    double tLo = INFINITY, tHi = -INFINITY;
    for (size_t i = 0; i < L.panels.size(); ++i) {
      const SeriesPanel& p = L.panels[i];
      const SeriesContent& c = f.cases[i];
      // One x axis: the same scale and frame edges in every panel, over
      // the union of the cases' times; stacked top to bottom.
      EXPECT_EQ(top.x.lo, p.x.lo);
      EXPECT_EQ(top.x.hi, p.x.hi);
      EXPECT_EQ(top.x.pageLo, p.x.pageLo);
      EXPECT_EQ(top.x.pageHi, p.x.pageHi);
      EXPECT_EQ(top.x.ticks, p.x.ticks);
      EXPECT_EQ(top.frame.x, p.frame.x);
      EXPECT_EQ(top.frame.w, p.frame.w);
      EXPECT_DOUBLE_EQ(p.frame.x, p.x.toPage(p.x.lo));
      EXPECT_DOUBLE_EQ(p.frame.right(), p.x.toPage(p.x.hi));
      EXPECT_GE(p.frame.h, 80);
      EXPECT_GE(p.values.ticks.size(), 2u);
      if (i > 0) {
        EXPECT_GT(p.frame.y, L.panels[i - 1].frame.bottom());
      }
      EXPECT_EQ(f.cases[0].fT.empty(), c.fT.empty());
      tLo = std::min(tLo, timeAt(c.fT, 1));
      tHi = std::max(tHi, timeAt(c.fT, static_cast<double>(c.fY.size())));
      expectPanelDrawsItsContent(c, p);
      // The case's name beside its top right corner.
      const bool bNamed =
          std::any_of(L.text.begin(), L.text.end(), [&](const TextBox& t) {
            return t.bBold && t.x > p.frame.right() &&
                   t.bounds().y >= p.frame.y &&
                   t.bounds().bottom() <= p.frame.bottom() &&
                   c.name.compare(0, 4, t.text, 0, 4) == 0;
          });
      EXPECT_TRUE(bNamed) << c.name;
    }
    EXPECT_LT(top.x.toPage(tLo), top.x.toPage(tHi));
    EXPECT_GE(top.x.toPage(tLo) - top.markerRadius, top.frame.x);
    EXPECT_LE(top.x.toPage(tHi) + top.markerRadius, top.frame.right());
    // The staircase: down from each first change, across the gap, down to
    // the next, touching no frame but at its ends.
    ASSERT_EQ(L.panels.size() - 1, L.staircase.size());
    for (size_t i = 0; i + 1 < L.panels.size(); ++i) {
      const std::vector<Point>& step = L.staircase[i];
      const SeriesPanel& a = L.panels[i];
      const SeriesPanel& b = L.panels[i + 1];
      ASSERT_EQ(4u, step.size());
      EXPECT_EQ(a.changeX[0], step[0].x);
      EXPECT_EQ(a.frame.bottom(), step[0].y);
      EXPECT_EQ(b.changeX[0], step[3].x);
      EXPECT_EQ(b.frame.y, step[3].y);
      EXPECT_EQ(step[0].x, step[1].x);
      EXPECT_EQ(step[1].y, step[2].y);
      EXPECT_EQ(step[2].x, step[3].x);
      EXPECT_GT(step[1].y, a.frame.bottom() + L.tickLength);
      EXPECT_LT(step[1].y, b.frame.y);
    }
  }
}

TEST(DesignLayout, StaggeredStartsLandAtTheirTimes) {
  // Interventions after sessions 4, 6 and 8 of one time axis: the first
  // changes step right, down the stack, by the sessions between them.
  const StudyFigure f = studyScenarios()[0].figure;
  const StudyFigureLayout L = layOutStudyFigure(f, fakeWidth);
  const Scale& x = L.panels[0].x;
  EXPECT_DOUBLE_EQ(x.toPage(4.5), L.panels[0].changeX[0]);
  EXPECT_DOUBLE_EQ(x.toPage(6.5), L.panels[1].changeX[0]);
  EXPECT_DOUBLE_EQ(x.toPage(8.5), L.panels[2].changeX[0]);
  // Cleo's later changes, after session 11 (then a gap to 14) and 16.
  ASSERT_EQ(3u, L.panels[2].changeX.size());
  EXPECT_DOUBLE_EQ(x.toPage(12.5), L.panels[2].changeX[1]);
  EXPECT_DOUBLE_EQ(x.toPage(16.5), L.panels[2].changeX[2]);
  EXPECT_EQ("Measurement time", f.xLabel);
  // Without the stepped line, no steps; nothing else moves.
  StudyFigure plain = f;
  plain.bStaircase = false;
  const StudyFigureLayout P = layOutStudyFigure(plain, fakeWidth);
  EXPECT_TRUE(P.staircase.empty());
  EXPECT_EQ(L.height, P.height);
  // One case without times: all count occasions, the x label says so.
  EXPECT_EQ("Measurement occasion", studyScenarios()[1].figure.xLabel);
}
