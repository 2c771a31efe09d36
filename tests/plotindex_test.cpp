#include "plotindex.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

size_t count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + 1)) {
    ++n;
  }
  return n;
}

}  // namespace

TEST(PlotIndex, ListsEveryCaseWithItsFiguresAndPlot) {
  kalmir::Result r;
  r.n_a = 10;
  r.n_b = 8;
  r.d_unstd = 1.4948082f;
  r.d = 2.7714431f;
  r.d_se = 0.6620863f;
  r.r = 0.8091711f;
  r.p = 0.00104f;
  std::vector<IndexEntry> entries = {
      indexEntry("Ann", "Ann.svg", r, {}),
      indexEntry("<b>Ben</b> & Co", "_b_Ben_b_Co.svg", r,
                 {"1 missing value (empty or NA) left out", "a <note>"}),
      indexEntry("J\xC3\xBCrgen #2?", "J\xC3\xBCrgen_2.svg", r, {}),
      indexEntry("No plot", "", r, {}),
  };
  IndexEntry failed;
  failed.name = "Dev";
  failed.error = "study.csv:5: no B phase";
  entries.push_back(failed);
  entries[2].fP = 0;
  const std::string page = indexPage(entries);
  // The report's rounding, p as the plots print it.
  EXPECT_NE(std::string::npos,
            page.find("<tr><td>Ann</td><td><a href=\"./Ann.svg\">Ann.svg</a>"
                      "</td><td class=\"n\">10</td><td class=\"n\">8</td>"
                      "<td class=\"n\">1.495</td><td class=\"n\">2.771 "
                      "(0.662)</td><td class=\"n\">0.809</td>"
                      "<td class=\"n\">.001</td><td></td></tr>"));
  EXPECT_NE(std::string::npos, page.find("<td class=\"n\">&lt; .001</td>"));
  // Names and notes are text, never markup; links are relative and
  // percent-encoded beyond plain letters.
  EXPECT_NE(std::string::npos,
            page.find("<td>&lt;b&gt;Ben&lt;/b&gt; &amp; Co"));
  EXPECT_EQ(std::string::npos, page.find("<b>"));
  EXPECT_NE(
      std::string::npos,
      page.find("1 missing value (empty or NA) left out<br>a &lt;note&gt;"));
  EXPECT_NE(std::string::npos,
            page.find("href=\"./J%C3%BCrgen_2.svg\">J\xC3\xBCrgen_2.svg</a>"));
  EXPECT_NE(std::string::npos, page.find("<tr><td>No plot</td><td></td>"));
  EXPECT_NE(std::string::npos,
            page.find("<td colspan=\"7\" class=\"error\">Not analysed: "
                      "study.csv:5: no B phase</td>"));
  EXPECT_EQ(5u, count(page, "<tr><td>"));
  EXPECT_EQ(3u, count(page, "<a href="));
  if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
    FILE* lint = popen("xmllint --html --noout - 2>&1", "w");
    ASSERT_NE(nullptr, lint);
    std::fwrite(page.data(), 1, page.size(), lint);
    EXPECT_EQ(0, pclose(lint));
  }
}
