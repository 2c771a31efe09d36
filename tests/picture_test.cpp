#include "picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fontmetrics.h"
#include "svgwriter.h"

namespace {

kalmir::Result worked() {
  kalmir::Result a;
  a.name = "Worked example";
  a.n_a = 10;
  a.n_b = 8;
  a.values = {3, 5, 4, 6, 5, 7, 6, 8, 7, 9, 10, 9, 12, 11, 13, 12, 15, 14};
  // The report's figures of the worked example.
  a.null_model.intercept = 3.25f;
  a.null_model.slope = 0.5f;
  a.exp_model.intercept = 8.625f;
  a.exp_model.slope = 0.75f;
  a.d_unstd = 1.4948082f;
  a.d = 2.7714431f;
  a.d_se = 0.6620863f;
  a.r = 0.8091711f;
  a.p = 0.00104f;
  for (int i = 0; i < 1000; ++i) {
    a.null_means.push_back(10.5f + 0.001f * static_cast<float>(i % 400));
    a.exp_means.push_back(12.0f + 0.001f * static_cast<float>(i % 600));
  }
  return a;
}

// The value of attribute name in the element that starts at text[at].
std::string attribute(const std::string& text, size_t at,
                      const std::string& name) {
  const size_t end = text.find('>', at);
  const size_t p = text.find(" " + name + "=\"", at);
  if (p == std::string::npos || p > end) return "";
  const size_t begin = p + name.size() + 3;
  return text.substr(begin, text.find('"', begin) - begin);
}

}  // namespace

TEST(Picture, LinesAreToldApartWithoutColour) {
  const PlotContent c = plotContent(worked());
  const PlotLayout L = layOutPlot(c, textAdvance);
  const Picture P = plotPicture(c, L);
  // The fitted lines are the shapes with the lines' ends: solid, dashed
  // and dash-dotted, all wider than the data path.
  std::vector<const Shape*> fitted;
  const Shape* path = nullptr;
  for (const Shape& s : P.shapes) {
    if (s.paths.size() == 1 && s.paths[0].size() == 2 &&
        s.paths[0][0].x == L.aLine.a.x && s.paths[0][0].y == L.aLine.a.y) {
      fitted.push_back(&s);
    }
    if (s.paths.size() == 1 && s.paths[0].size() == 2 &&
        (s.paths[0][0].x == L.nullLine.a.x || s.paths[0][0].x == L.bLine.a.x) &&
        s.lineWidth == 2) {
      fitted.push_back(&s);
    }
    if (s.paths.size() == 2 && s.paths[0].size() == 10) path = &s;
  }
  ASSERT_EQ(3u, fitted.size());
  ASSERT_NE(nullptr, path);
  EXPECT_NE(fitted[0]->dashes, fitted[1]->dashes);
  EXPECT_NE(fitted[0]->dashes, fitted[2]->dashes);
  EXPECT_NE(fitted[1]->dashes, fitted[2]->dashes);
  for (const Shape* s : fitted) EXPECT_GT(s->lineWidth, path->lineWidth);
  EXPECT_TRUE(path->dashes.empty());
  EXPECT_EQ(8u, path->paths[1].size());
}

TEST(Picture, TheObservedMeanStaysInItsFrame) {
  const PlotContent c = plotContent(worked());
  const PlotLayout L = layOutPlot(c, textAdvance);
  int nFound = 0;
  for (const Shape& s : plotPicture(c, L).shapes) {
    if (s.paths.size() != 1 || s.paths[0].size() != 2 ||
        s.paths[0][0].x != L.observedX || s.paths[0][1].x != L.observedX) {
      continue;
    }
    ++nFound;
    EXPECT_EQ(L.meansFrame.bottom(), s.paths[0][0].y);
    EXPECT_EQ(L.meansFrame.y, s.paths[0][1].y);
  }
  EXPECT_EQ(1, nFound);
}

TEST(SvgWriter, EveryTextIsATextElementAtItsAnchor) {
  // Every piece of text of the layout, in order, at its anchor to 1/100
  // point, escaped, aligned as laid out; the document passes xmllint.
  kalmir::Result a = worked();
  a.name = "<Ann> & \"Ben\"";
  const PlotContent c = plotContent(a);
  const PlotLayout L = layOutPlot(c, textAdvance);
  const std::string svg = svgDocument(plotPicture(c, L));
  size_t at = svg.find("<text");
  for (const TextBox& t : L.text) {
    ASSERT_NE(std::string::npos, at) << t.text;
    double x = 0, y = 0;
    if (t.bVertical) {
      ASSERT_EQ(2, std::sscanf(attribute(svg, at, "transform").c_str(),
                               "translate(%lf %lf)", &x, &y));
    } else {
      x = std::strtod(attribute(svg, at, "x").c_str(), nullptr);
      y = std::strtod(attribute(svg, at, "y").c_str(), nullptr);
    }
    EXPECT_NEAR(t.anchorX(), x, 0.005) << t.text;
    EXPECT_NEAR(t.anchorY(), y, 0.005) << t.text;
    const std::string anchor = attribute(svg, at, "text-anchor");
    EXPECT_EQ(t.align == Align::kStart    ? ""
              : t.align == Align::kMiddle ? "middle"
                                          : "end",
              anchor)
        << t.text;
    EXPECT_EQ(t.bBold ? "bold" : "", attribute(svg, at, "font-weight"));
    at = svg.find("<text", at + 1);
  }
  EXPECT_EQ(std::string::npos, at);
  EXPECT_NE(std::string::npos,
            svg.find(">&lt;Ann&gt; &amp; &quot;Ben&quot;</text>"));
  EXPECT_NE(std::string::npos,
            svg.find("<desc id=\"desc\">D = 1.495, d = 2.771 (SE 0.662), "
                     "r = 0.809, p = .001</desc>"));
  if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
    FILE* lint = popen("xmllint --noout - 2>&1", "w");
    ASSERT_NE(nullptr, lint);
    std::fwrite(svg.data(), 1, svg.size(), lint);
    EXPECT_EQ(0, pclose(lint));
  }
}
