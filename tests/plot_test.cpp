#include "plot.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if KALMIR_TEST_PNG
#include <png.h>
#endif

#include "fontmetrics.h"
#include "plotlayout.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
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
    dir_ = fs::temp_directory_path() /
           ("kalmir_plot_test_" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  // Every name in the folder, temporary files included.
  std::set<std::string> names() const {
    std::set<std::string> n;
    for (const auto& e : fs::directory_iterator(dir_)) {
      n.insert(e.path().filename().string());
    }
    return n;
  }
  fs::path dir_;
};

bool drawsPngAndPdf() { return plotFormatSupported(PlotFormat::kPng); }

std::string write(const fs::path& path, PlotFormat format,
                  const kalmir::Result& r, const PlotOptions& options = {}) {
  std::string error;
  return writePlot(path.string(), format, r, options, {}, &error) ? "" : error;
}

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
  const struct {
    PlotFormat format;
    std::string start;
  } formats[] = {{PlotFormat::kSvg, "<?xml"},
                 {PlotFormat::kPng, "\x89PNG\r\n\x1A\n"},
                 {PlotFormat::kPdf, "%PDF-"}};
  for (const auto& f : formats) {
    if (f.format != PlotFormat::kSvg && !drawsPngAndPdf()) continue;
    const fs::path path = dir_ / (std::string("a") + plotExtension(f.format));
    ASSERT_EQ("", write(path, f.format, c.input("A case")));
    const std::string bytes = slurp(path);
    EXPECT_EQ(f.start, bytes.substr(0, f.start.size()));
    if (f.format == PlotFormat::kPdf) continue;  // it carries its date
    // Again, and from two threads at once: the same bytes every time.
    const fs::path again = dir_ / "again", left = dir_ / "left",
                   right = dir_ / "right";
    ASSERT_EQ("", write(again, f.format, c.input("A case")));
    std::string leftError, rightError;
    std::thread t(
        [&] { leftError = write(left, f.format, c.input("A case")); });
    rightError = write(right, f.format, c.input("A case"));
    t.join();
    EXPECT_EQ("", leftError + rightError);
    EXPECT_TRUE(bytes == slurp(again));
    EXPECT_TRUE(bytes == slurp(left));
    EXPECT_TRUE(bytes == slurp(right));
  }
  // Only the plots are left: no temporary file.
  std::set<std::string> expected = {"a.svg", "again", "left", "right"};
  if (drawsPngAndPdf()) expected.insert({"a.png", "a.pdf"});
  EXPECT_EQ(expected, names());
  const std::string svg = slurp(dir_ / "a.svg");
  if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
    const std::string check = "xmllint --noout " + (dir_ / "a.svg").string();
    EXPECT_EQ(0, std::system(check.c_str())) << "not well-formed XML";
  }
  EXPECT_NE(std::string::npos, svg.find("width=\"640pt\""));
  EXPECT_EQ("</svg>\n", svg.substr(svg.size() - 7));
}

TEST_F(PlotFiles, AnSvgOfTheLargestCaseStaysSmall) {
  // 500 + 500 points, 100000 means a model, and a long title of many
  // distinct letters.
  const Case c(500, 500);
  std::string title;
  for (int i = 0; i < 60; ++i) {
    title += static_cast<char>('A' + i % 26);
    title += "\xC3";
    title += static_cast<char>(0x80 + i % 64);
  }
  const fs::path path = dir_ / "large.svg";
  ASSERT_EQ("", write(path, PlotFormat::kSvg, c.input(title)));
  EXPECT_LT(fs::file_size(path), 150u * 1024);
  EXPECT_GT(fs::file_size(path), 40u * 1024);  // the points are all there
}

TEST_F(PlotFiles, WritesOnlyWhereAskedAndNeverHalfAFile) {
  const Case c(3, 3);
  // A folder that is not there.
  const std::string missing = (dir_ / "no" / "such" / "dir.svg").string();
  EXPECT_EQ("cannot write " + missing + ": No such file or directory",
            write(missing, PlotFormat::kSvg, c.input("x")));
  // A directory, a FIFO and a device where the file should go: each left
  // as it is.
  const fs::path sub = dir_ / "sub.svg", fifo = dir_ / "fifo.svg";
  fs::create_directory(sub);
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  EXPECT_EQ("cannot write " + sub.string() + ": it is a directory",
            write(sub, PlotFormat::kSvg, c.input("x")));
  EXPECT_EQ("cannot write " + fifo.string() + ": it is not a regular file",
            write(fifo, PlotFormat::kSvg, c.input("x")));
  struct stat st;
  ASSERT_EQ(0, lstat(fifo.c_str(), &st));
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (stat("/dev/null", &st) == 0) {
    EXPECT_EQ("cannot write /dev/null: it is not a regular file",
              write("/dev/null", PlotFormat::kSvg, c.input("x")));
    EXPECT_EQ(0, stat("/dev/null", &st));
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  // A link planted at a plot's name is replaced; its target is untouched.
  const fs::path target = dir_ / "target.txt", link = dir_ / "Ann.svg";
  std::ofstream(target) << "keep me";
  fs::create_symlink(target, link);
  EXPECT_EQ("", write(link, PlotFormat::kSvg, c.input("Ann")));
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ("<?xml", slurp(link).substr(0, 5));
  EXPECT_EQ("keep me", slurp(target));
  // A link to nowhere does not make a file where it points either.
  const fs::path dangling = dir_ / "Ben.svg";
  fs::create_symlink(dir_ / "elsewhere.svg", dangling);
  EXPECT_EQ("", write(dangling, PlotFormat::kSvg, c.input("Ben")));
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere.svg"));
  // An analysis that did not keep its means cannot be drawn.
  Case noMeans(3, 3);
  noMeans.analysis.null_means.clear();
  EXPECT_EQ("cannot plot case \"Dan\": no analysis with its simulated means",
            write(dir_ / "b.svg", PlotFormat::kSvg, noMeans.input("Dan")));
  // No temporary file is left behind by any of it.
  EXPECT_EQ(std::set<std::string>(
                {"Ann.svg", "Ben.svg", "fifo.svg", "sub.svg", "target.txt"}),
            names());
}

TEST_F(PlotFiles, AFullDiskLeavesNoFile) {
  // A file system with room for nothing more: a small tmpfs is not to be
  // had without privileges, so a file size limit stands in for it, set
  // for this write only.
  const Case c(10, 8);
  struct rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
  struct rlimit limit = saved;
  limit.rlim_cur = 1000;
  void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
  std::string error;
  const bool bWritten =
      writePlot((dir_ / "full.svg").string(), PlotFormat::kSvg, c.input("Full"),
                PlotOptions(), {}, &error);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, handler);
  EXPECT_FALSE(bWritten);
  EXPECT_EQ("cannot write " + (dir_ / "full.svg").string() + ": File too large",
            error);
  EXPECT_TRUE(names().empty());
}

TEST(Plot, SvgTextStaysTextWithTheChosenLabels) {
  const Case c(10, 8);
  PlotOptions options;
  options.title = "Reading <fluency> & \"accuracy\"";
  options.xLabel = "Session";
  options.yLabel = "Words per minute";
  options.phaseA = "Baseline";
  options.phaseB = "Intervention";
  const std::string svg = plotSvg(c.input("Ann"), options);
  size_t nTexts = 0;
  for (size_t at = svg.find("<text"); at != std::string::npos;
       at = svg.find("<text", at + 1)) {
    ++nTexts;
  }
  EXPECT_GT(nTexts, 30u);
  for (const char* piece :
       {">Reading &lt;fluency&gt; &amp; &quot;accuracy&quot;</text>",
        ">Session</text>", ">Words per minute</text>", ">Baseline</text>",
        ">Intervention</text>", ">Baseline phase</text>",
        ">Intervention line</text>",
        ">Baseline line carried on (null model)</text>", ">p = .002</text>",
        ">d = 2.500 (SE 0.600)</text>",
        "<title id=\"title\">Reading &lt;fluency&gt;"}) {
    EXPECT_NE(std::string::npos, svg.find(piece)) << piece;
  }
  // No glyph outlines: text is text.
  EXPECT_EQ(std::string::npos, svg.find("<symbol"));
  EXPECT_EQ(std::string::npos, svg.find("<use"));
  // A name that is not UTF-8 is drawn with its bad bytes replaced.
  const std::string broken = plotSvg(c.input("Ann\xFF\xC3(\x01)"), {});
  EXPECT_NE(std::string::npos,
            broken.find(">Ann\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD)</text>"));
}

TEST_F(PlotFiles, SvgIsWrittenWithoutTheDrawingModule) {
  // Whatever this build can draw, SVG it always writes; PNG and PDF need
  // the module, and without it say why.
  const Case c(4, 4);
  EXPECT_TRUE(plotFormatSupported(PlotFormat::kSvg));
  EXPECT_EQ("", write(dir_ / "a.svg", PlotFormat::kSvg, c.input("x")));
  if (drawsPngAndPdf()) {
    EXPECT_EQ("", whyNoDrawing());
    return;
  }
  const fs::path path = dir_ / "a.png";
  EXPECT_EQ("cannot write " + path.string() +
                ": this build of kalmir draws no PNG or PDF (" +
                whyNoDrawing() + ")",
            write(path, PlotFormat::kPng, c.input("x")));
  EXPECT_FALSE(fs::exists(path));
}

namespace {

// The words pdftotext finds in a PDF, with their boxes in points.
struct Word {
  std::string text;
  double xMin, yMin, xMax, yMax;
};

std::vector<Word> pdfWords(const fs::path& pdf) {
  std::vector<Word> words;
  const std::string command =
      "pdftotext -bbox " + pdf.string() + " - 2>/dev/null";
  FILE* in = popen(command.c_str(), "r");
  if (in == nullptr) return words;
  std::string html;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) {
    html.append(buf, n);
  }
  pclose(in);
  for (size_t at = html.find("<word "); at != std::string::npos;
       at = html.find("<word ", at + 1)) {
    Word w;
    if (std::sscanf(html.c_str() + at,
                    "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"",
                    &w.xMin, &w.yMin, &w.xMax, &w.yMax) != 4) {
      continue;
    }
    const size_t begin = html.find('>', at) + 1;
    w.text = html.substr(begin, html.find("</word>", begin) - begin);
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"&lt;", "<"},
          {"&gt;", ">"},
          {"&quot;", "\""},
          {"&amp;", "&"}}) {
      for (size_t p; (p = w.text.find(from)) != std::string::npos;) {
        w.text.replace(p, from.size(), to);
      }
    }
    words.push_back(w);
  }
  return words;
}

#if KALMIR_TEST_PNG
// A PNG as grey levels, one byte a pixel.
struct Grey {
  int nWidth = 0, nHeight = 0;
  std::vector<unsigned char> pixels;
  int at(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(nWidth) +
                  static_cast<size_t>(x)];
  }
};

Grey readPng(const fs::path& path) {
  Grey g;
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return g;
  image.format = PNG_FORMAT_GRAY;
  g.nWidth = static_cast<int>(image.width);
  g.nHeight = static_cast<int>(image.height);
  g.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, g.pixels.data(), 0, nullptr)) {
    g.nWidth = g.nHeight = 0;
  }
  return g;
}
#endif

}  // namespace

TEST_F(PlotFiles, EveryFormatPutsItsLabelsInTheSamePlaces) {
  // The layout says where each piece of text goes; the SVG puts it there
  // (SvgWriter's test). The PNG's ink, and the ink of the PDF as poppler
  // renders it at the same resolution, start and end there to within a
  // glyph's side bearing; and the PDF's text is text, its words found
  // where they are drawn (pdftotext places them to within a few tenths of
  // a point, from the font's rounded widths).
  if (!drawsPngAndPdf()) GTEST_SKIP() << "this build draws no PNG or PDF";
  if (std::system("command -v pdftotext >/dev/null 2>&1") != 0 ||
      std::system("command -v pdftoppm >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "pdftotext and pdftoppm (poppler-utils) are missing";
  }
  const Case c(10, 8);
  PlotOptions options;
  options.phaseA = "Baseline";
  options.phaseB = "Intervention";
  options.yLabel = "Words per minute";
  const kalmir::Result r = c.input("Ann (pilot)");
  const PlotContent content = plotContent(r, options);
  const PlotLayout L = layOutPlot(content, textAdvance);
  ASSERT_EQ("", write(dir_ / "a.pdf", PlotFormat::kPdf, r, options));
  ASSERT_EQ("", write(dir_ / "a.png", PlotFormat::kPng, r, options));
  const std::vector<Word> words = pdfWords(dir_ / "a.pdf");
  ASSERT_FALSE(words.empty());
#if KALMIR_TEST_PNG
  const std::string render = "pdftoppm -r 144 -png -singlefile " +
                             (dir_ / "a.pdf").string() + " " +
                             (dir_ / "rendered").string();
  ASSERT_EQ(0, std::system(render.c_str()));
  const Grey images[] = {readPng(dir_ / "a.png"),
                         readPng(dir_ / "rendered.png")};
  for (const Grey& image : images) {
    ASSERT_EQ(static_cast<int>(std::ceil(2 * L.width)), image.nWidth);
    ASSERT_EQ(static_cast<int>(std::ceil(2 * L.height)), image.nHeight);
  }
#endif
  int nChecked = 0;
  for (const TextBox& t : L.text) {
    if (t.bVertical) continue;
    SCOPED_TRACE(t.text);
    const std::string first = t.text.substr(0, t.text.find(' '));
    bool bFound = false;
    for (const Word& w : words) {
      bFound |= w.text == first && std::fabs(w.xMin - t.x) < 0.4 &&
                w.yMin < t.y && t.y < w.yMax;
    }
    EXPECT_TRUE(bFound);
#if KALMIR_TEST_PNG
    // Dark pixels within the box, from near its left end to near its
    // right end, and none just outside (a tick mark is 3 points away).
    const Rect b = t.bounds();
    const int y0 = static_cast<int>(2 * b.y);
    const int y1 = static_cast<int>(2 * b.bottom());
    const int x0 = static_cast<int>(2 * b.x) - 4;
    const int x1 = static_cast<int>(2 * b.right()) + 4;
    for (const Grey& image : images) {
      int nLeft = x1, nRight = x0;
      for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
          if (image.at(x, y) < 100) {
            nLeft = std::min(nLeft, x);
            nRight = std::max(nRight, x);
          }
        }
      }
      EXPECT_NEAR(2 * b.x, nLeft, 3.5);
      EXPECT_NEAR(2 * b.right(), nRight, 5);
    }
#endif
    ++nChecked;
  }
  EXPECT_GT(nChecked, 40);
}

TEST_F(PlotFiles, TheWorkedExampleIsDrawnAsBeforeWithOrWithoutItsOccasions) {
  // docs/worked-example.svg is the worked example's plot. Measurement
  // times that are its occasions 1 ... 18 change no byte of it but the
  // axis's name.
  const kalmir::DataSet data{"Worked example",
                             {{"A", {3, 5, 4, 6, 5, 7, 6, 8, 7, 9}},
                              {"B", {10, 9, 12, 11, 13, 12, 15, 14}}}};
  kalmir::Options options;
  options.keep_means = true;
  const kalmir::Result r = kalmir::analyse(data, options);
  const std::string docs =
      slurp(KALMIR_TEST_DATA "/../docs/worked-example.svg");
  ASSERT_FALSE(docs.empty());
  EXPECT_TRUE(docs == plotSvg(r, {}));
  std::vector<double> occasions;
  for (int i = 1; i <= 18; ++i) occasions.push_back(i);
  PlotOptions named;
  named.xLabel = "Measurement occasion";
  EXPECT_TRUE(docs == plotSvg(r, named, {}, occasions));
  std::string error;
  ASSERT_TRUE(writePlot((dir_ / "w.svg").string(), PlotFormat::kSvg, r, named,
                        {}, &error, occasions))
      << error;
  EXPECT_TRUE(docs == slurp(dir_ / "w.svg"));
  // At uneven times the points move, and the axis says it counts time.
  std::vector<double> sessions = occasions;
  for (size_t i = 10; i < sessions.size(); ++i) sessions[i] += 3;
  const std::string timed = plotSvg(r, {}, {}, sessions);
  EXPECT_NE(docs, timed);
  EXPECT_NE(std::string::npos, timed.find(">Measurement time</text>"));
}

namespace {

// A reversal series and a study, analysed small: the figures do not care
// how many cases were simulated.
kalmir::Options smallAnalysis() {
  kalmir::Options options;
  options.keep_means = true;
  options.resamples = 200;
  options.cases = 2000;
  options.threads = 1;
  return options;
}

const kalmir::DataSet kReversal{"Ann & <Co>",
                                {{"A", {3, 4, 3, 5, 4}, {1, 2, 3, 5, 6}},
                                 {"B", {8, 9, 10, 9}, {7, 8, 9, 10}},
                                 {"A", {5, 4, 4, 3}, {12, 13, 14, 15}},
                                 {"B", {9, 11, 10, 12}, {16, 17, 18, 19}}}};
const std::vector<kalmir::DataSet> kStudy = {
    {"Ben", {{"A", {3, 4, 3, 5}}, {"B", {8, 9, 10, 9, 11, 10}}}},
    {"Cleo", {{"A", {5, 6, 5, 6, 5, 6}}, {"B", {9, 10, 9, 11}}}},
    {"Dan",
     {{"A", {2, 3, 2, 3}},
      {"B", {6, 7, 8}},
      {"A", {3, 3, 4}},
      {"B", {8, 9, 9}}}}};

}  // namespace

TEST_F(PlotFiles, SeriesAndStudyFiguresAreWrittenInEveryFormat) {
  const kalmir::Series series =
      kalmir::analyse_series(kReversal, smallAnalysis());
  const kalmir::Study study =
      kalmir::analyse_study("Reading", kStudy, smallAnalysis());
  const std::string seriesSvg = plotSeriesSvg(kReversal, series, {});
  const std::string studySvg = plotStudySvg(kStudy, study, {});
  // Their text is text, escaped where it must be.
  for (const char* label : {">A1-B1: d = ", ">B1-A2: d = ", ">A2-B2: d = ",
                            ">Ann &amp; &lt;Co&gt;</text>", ">B2</text>"}) {
    EXPECT_NE(std::string::npos, seriesSvg.find(label)) << label;
  }
  for (const char* label : {">Ben</text>", ">Cleo</text>", ">Dan</text>",
                            ">Reading</text>", ">mean d = "}) {
    EXPECT_NE(std::string::npos, studySvg.find(label)) << label;
  }
  const struct {
    PlotFormat format;
    std::string start;
  } formats[] = {{PlotFormat::kSvg, "<?xml"},
                 {PlotFormat::kPng, "\x89PNG\r\n\x1A\n"},
                 {PlotFormat::kPdf, "%PDF-"}};
  for (const auto& f : formats) {
    if (f.format != PlotFormat::kSvg && !drawsPngAndPdf()) continue;
    const std::string ext = plotExtension(f.format);
    std::string error;
    ASSERT_TRUE(writeSeriesPlot((dir_ / ("series" + ext)).string(), f.format,
                                kReversal, series, {}, {}, &error))
        << error;
    ASSERT_TRUE(writeStudyPlot((dir_ / ("study" + ext)).string(), f.format,
                               kStudy, study, {}, {"a note; on the input"},
                               &error))
        << error;
    for (const char* name : {"series", "study"}) {
      const std::string bytes = slurp(dir_ / (name + ext));
      EXPECT_EQ(f.start, bytes.substr(0, f.start.size())) << name << ext;
    }
  }
  EXPECT_TRUE(seriesSvg == slurp(dir_ / "series.svg"));
  EXPECT_NE(std::string::npos,
            slurp(dir_ / "study.svg").find(">Note: A note.</text>"));
  if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
    for (const char* name : {"series.svg", "study.svg"}) {
      const std::string check = "xmllint --noout " + (dir_ / name).string();
      EXPECT_EQ(0, std::system(check.c_str())) << name << " is not well-formed";
    }
  }

  // Short phases bring a note on every contrast; the figure shows the
  // first few and says how many more there are.
  kalmir::DataSet shortPhases{"Short", {}};
  for (int k = 0; k < 8; ++k) {
    shortPhases.phases.push_back(
        {k % 2 == 0 ? "A" : "B", {1.0 + k % 2 * 5, 2.0 + k % 2 * 5}});
  }
  const std::string crowded = plotSeriesSvg(
      shortPhases, kalmir::analyse_series(shortPhases, smallAnalysis()), {});
  size_t nNotes = 0;
  for (size_t at = crowded.find(">Note: "); at != std::string::npos;
       at = crowded.find(">Note: ", at + 1)) {
    ++nNotes;
  }
  EXPECT_EQ(8u, nNotes);
  EXPECT_NE(std::string::npos, crowded.find("more notes are left out here"));

  // An analysis that is not of these data is not drawn, and nothing is
  // left where it was asked for.
  kalmir::Series noMeans = series;
  noMeans.contrasts[1].result.null_means.clear();
  std::string error;
  EXPECT_FALSE(writeSeriesPlot((dir_ / "x.svg").string(), PlotFormat::kSvg,
                               kReversal, noMeans, {}, {}, &error));
  EXPECT_EQ(
      "cannot plot series \"Ann & <Co>\": no analysis with its "
      "simulated means",
      error);
  EXPECT_EQ("", plotSeriesSvg(kReversal, noMeans, {}));
  PlotOptions alone;
  alone.bMeansPanel = false;
  EXPECT_NE("", plotSeriesSvg(kReversal, noMeans, alone));
  const std::vector<kalmir::DataSet> twoCases(kStudy.begin(),
                                              kStudy.begin() + 2);
  EXPECT_FALSE(writeStudyPlot((dir_ / "y.svg").string(), PlotFormat::kSvg,
                              twoCases, study, {}, {}, &error));
  EXPECT_EQ("", plotStudySvg(twoCases, study, {}));
  EXPECT_FALSE(fs::exists(dir_ / "x.svg"));
  EXPECT_FALSE(fs::exists(dir_ / "y.svg"));
}
