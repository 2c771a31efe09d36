#include "plot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The bytes of a plot file, but for the number Cairo gives each SVG
// surface it makes in a process.
std::string plotBytes(const fs::path& path) {
  std::string bytes = slurp(path);
  const size_t at = bytes.find("<g id=\"surface");
  if (at != std::string::npos) {
    bytes.erase(at, bytes.find('"', at + 7) - at);
  }
  return bytes;
}

// nNA + nNB values and an analysis of them made by hand: lines through the
// phases' first values and 100000 means around two levels. Enough for
// pictures, and no analysis to wait for.
struct Case {
  Case(int nA, int nB) : nNA(nA), nNB(nB) {
    std::mt19937 gen(static_cast<unsigned>(nA * 1000 + nB));
    std::normal_distribution<float> noise(0.0f, 1.0f);
    for (int i = 0; i < nA + nB; ++i) {
      fY.push_back((i < nA ? 10.0f : 14.0f) + noise(gen));
    }
    analysis.n_a = nA;
    analysis.n_b = nB;
    analysis.values = fY;
    analysis.null_model.intercept = 10;
    analysis.null_model.slope = 0.01f;
    analysis.exp_model.intercept = 14;
    analysis.exp_model.slope = -0.01f;
    analysis.d_unstd = 4;
    analysis.d = 2.5f;
    analysis.d_se = 0.6f;
    analysis.r = 0.8f;
    analysis.r_squared = 0.64f;
    analysis.p = 0.002f;
    for (int i = 0; i < 100000; ++i) {
      analysis.null_means.push_back(10 + 0.3f * noise(gen));
      analysis.exp_means.push_back(14 + 0.3f * noise(gen));
    }
  }
  kalmir::Result input(const std::string& name) const {
    kalmir::Result in = analysis;
    in.name = name;
    return in;
  }
  int nNA, nNB;
  std::vector<float> fY;
  kalmir::Result analysis;
};

class PlotFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!plotSupported()) GTEST_SKIP() << "built without Cairo";
    dir_ = fs::temp_directory_path() /
           ("kalmir_plot_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  fs::path dir_;
};

}  // namespace

TEST(Plot, FileNamesAreSafeAndDistinct) {
  std::set<std::string> used;
  EXPECT_EQ("Dan", plotFileName("Dan", &used));
  EXPECT_EQ("Dan-2", plotFileName("Dan", &used));
  // Distinct also where the file system ignores case.
  EXPECT_EQ("dan-3", plotFileName("dan", &used));
  EXPECT_EQ("a_b_c_d", plotFileName("a/b\\c:d", &used));
  EXPECT_EQ("a_b", plotFileName("a  /*?  b", &used));
  EXPECT_EQ("P1_week_2.5", plotFileName("P1 week 2.5", &used));
  // Letters of any script stay; broken UTF-8 does not.
  EXPECT_EQ("J\xC3\xBCrgen_M\xC3\xBCller",
            plotFileName("J\xC3\xBCrgen M\xC3\xBCller", &used));
  EXPECT_EQ("x_y", plotFileName("x\xFF\xC3y", &used));
  // Never empty, hidden, option-like or a Windows device.
  EXPECT_EQ("case", plotFileName("", &used));
  EXPECT_EQ("case-2", plotFileName("///", &used));
  EXPECT_EQ("_.profile", plotFileName(".profile", &used));
  EXPECT_EQ("_-rf", plotFileName("-rf", &used));
  EXPECT_EQ("_CON", plotFileName("CON", &used));
  EXPECT_EQ("_com1.txt", plotFileName("com1.txt", &used));
  EXPECT_EQ("console", plotFileName("console", &used));
  EXPECT_EQ("dots", plotFileName("dots...", &used));
  // At most 100 bytes, not cutting a character, suffix included.
  const std::string longName(300, 'a');
  EXPECT_EQ(std::string(100, 'a'), plotFileName(longName, &used));
  const std::string second = plotFileName(longName, &used);
  EXPECT_EQ(100u, second.size());
  EXPECT_EQ("-2", second.substr(98));
  std::string umlauts;
  for (int i = 0; i < 99; ++i) umlauts += "\xC3\xA4";
  const std::string cut = plotFileName(umlauts, &used);
  EXPECT_EQ(std::string(umlauts, 0, 100), cut);
  EXPECT_EQ(umlauts.substr(0, 98) + "-2", plotFileName(umlauts, &used));
}

TEST(Plot, FormatsByName) {
  PlotFormat format = PlotFormat::kSvg;
  EXPECT_TRUE(parsePlotFormat("png", &format));
  EXPECT_EQ(PlotFormat::kPng, format);
  EXPECT_STREQ(".png", plotExtension(format));
  EXPECT_TRUE(parsePlotFormat("pdf", &format));
  EXPECT_STREQ(".pdf", plotExtension(format));
  EXPECT_TRUE(parsePlotFormat("svg", &format));
  EXPECT_STREQ(".svg", plotExtension(format));
  EXPECT_FALSE(parsePlotFormat("SVG", &format));
  EXPECT_FALSE(parsePlotFormat("jpg", &format));
  EXPECT_EQ(PlotFormat::kSvg, format);
}

TEST_F(PlotFiles, WritesEachFormatTheSameForTheSameCase) {
  const Case c(10, 8);
  std::string error;
  const struct {
    PlotFormat format;
    std::string start;
  } formats[] = {{PlotFormat::kSvg, "<?xml"},
                 {PlotFormat::kPng, "\x89PNG\r\n\x1A\n"},
                 {PlotFormat::kPdf, "%PDF-"}};
  for (const auto& f : formats) {
    const fs::path path = dir_ / (std::string("a") + plotExtension(f.format));
    ASSERT_TRUE(writePlot(path.string(), f.format, c.input("A case"), &error))
        << error;
    const std::string bytes = slurp(path);
    EXPECT_EQ(f.start, bytes.substr(0, f.start.size()));
    if (f.format == PlotFormat::kPdf) continue;  // it carries its date
    // Again, and from two threads at once: the same bytes every time.
    const fs::path again = dir_ / "again", left = dir_ / "left",
                   right = dir_ / "right";
    ASSERT_TRUE(writePlot(again.string(), f.format, c.input("A case"), &error));
    bool bLeft = false, bRight = false;
    std::thread t([&] {
      std::string e;
      bLeft = writePlot(left.string(), f.format, c.input("A case"), &e);
    });
    std::string e;
    bRight = writePlot(right.string(), f.format, c.input("A case"), &e);
    t.join();
    EXPECT_TRUE(bLeft && bRight);
    const std::string first = plotBytes(path);
    EXPECT_TRUE(first == plotBytes(again));
    EXPECT_TRUE(first == plotBytes(left));
    EXPECT_TRUE(first == plotBytes(right));
  }
  const std::string svg = slurp(dir_ / "a.svg");
  if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
    const std::string check = "xmllint --noout " + (dir_ / "a.svg").string();
    EXPECT_EQ(0, std::system(check.c_str())) << "not well-formed XML";
  }
  EXPECT_NE(std::string::npos, svg.find("width=\"640pt\" height=\"620pt\""));
  EXPECT_EQ("</svg>\n", svg.substr(svg.size() - 7));
}

TEST_F(PlotFiles, AnSvgOfTheLargestCaseStaysUnder200KB) {
  // 500 + 500 points, 100000 means a model, and a title of many distinct
  // glyphs, each of which the SVG carries as an outline.
  const Case c(500, 500);
  std::string title;
  for (int i = 0; i < 60; ++i) {
    title += static_cast<char>('A' + i % 26);
    title += "\xC3";
    title += static_cast<char>(0x80 + i % 64);
  }
  const fs::path path = dir_ / "large.svg";
  std::string error;
  ASSERT_TRUE(
      writePlot(path.string(), PlotFormat::kSvg, c.input(title), &error))
      << error;
  EXPECT_LT(fs::file_size(path), 200u * 1024);
  EXPECT_GT(fs::file_size(path), 20u * 1024);  // the points are all there
}

TEST_F(PlotFiles, AFailedWriteSaysWhyAndLeavesNoFile) {
  const Case c(3, 3);
  std::string error;
  const std::string missing = (dir_ / "no" / "such" / "dir.svg").string();
  EXPECT_FALSE(writePlot(missing, PlotFormat::kSvg, c.input("x"), &error));
  EXPECT_EQ("cannot write " + missing + ": No such file or directory", error);
  // A directory where the file should go.
  EXPECT_FALSE(
      writePlot(dir_.string(), PlotFormat::kSvg, c.input("x"), &error));
  EXPECT_EQ(0u, error.find("cannot write " + dir_.string() + ": "));
  // A device that takes nothing: the writes fail, and the device stays.
  struct stat st;
  if (stat("/dev/full", &st) == 0) {
    for (PlotFormat f : {PlotFormat::kSvg, PlotFormat::kPng}) {
      EXPECT_FALSE(writePlot("/dev/full", f, c.input("x"), &error));
      EXPECT_EQ("cannot write /dev/full: No space left on device", error);
    }
    EXPECT_EQ(0, stat("/dev/full", &st));
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  // An analysis that did not keep its means cannot be drawn.
  Case noMeans(3, 3);
  noMeans.analysis.null_means.clear();
  const std::string path = (dir_ / "b.svg").string();
  EXPECT_FALSE(writePlot(path, PlotFormat::kSvg, noMeans.input("Dan"), &error));
  EXPECT_EQ("cannot plot case \"Dan\": no analysis with its simulated means",
            error);
  EXPECT_FALSE(fs::exists(path));
}

TEST(Plot, ABuildWithoutCairoWritesNothingAndSaysWhy) {
  if (plotSupported()) GTEST_SKIP() << "this build draws";
  const Case c(3, 3);
  const std::string path =
      (fs::temp_directory_path() / "kalmir_no_plot.svg").string();
  std::string error;
  EXPECT_FALSE(writePlot(path, PlotFormat::kSvg, c.input("x"), &error));
  EXPECT_EQ("cannot write " + path +
                ": this build of kalmir draws no plots (it was built without "
                "Cairo)",
            error);
  EXPECT_FALSE(fs::exists(path));
}
