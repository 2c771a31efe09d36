// Runs every golden data set through the public face and prints what a
// front end gets from it: the figures as hex floats, the report, the CSV
// line and the JSON object. Built natively and for WebAssembly (run under
// node); the two outputs must be the same bytes. It also compares the
// figures with the golden records: every slot but the normal-theory p,
// which kalmir::Result does not carry. Exits 1 on any difference.
//
//   golden_check TESTS_DIR

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "golden_data.h"
#include "kalmir/kalmir.h"

namespace {

std::vector<std::string> lines(const std::string& path) {
  std::vector<std::string> all;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) all.push_back(line);
  return all;
}

// The golden record's slots as the Result names them, in slot order; the
// normal-theory p (slot 24) is left out.
std::vector<float> slotsOf(const kalmir::Result& r) {
  std::vector<float> f;
  for (const kalmir::Line& line : {r.null_model, r.exp_model}) {
    f.insert(f.end(), {line.intercept, line.intercept_se, line.slope,
                       line.slope_se, line.sd, line.sd_se});
  }
  f.insert(f.end(), {r.r1, r.r1_se, r.null_mean, r.null_sd, r.exp_mean,
                     r.exp_sd, r.d_unstd, r.d, r.d_se, r.r, r.r_squared, r.p});
  return f;
}

std::string withoutNormalP(const std::string& record) {
  std::vector<std::string> words;
  size_t nBegin = 0;
  for (;;) {
    const size_t nEnd = record.find(' ', nBegin);
    words.push_back(record.substr(nBegin, nEnd - nBegin));
    if (nEnd == std::string::npos) break;
    nBegin = nEnd + 1;
  }
  const size_t nNormalP = 23;
  if (words.size() > nNormalP) words.erase(words.begin() + nNormalP);
  std::string joined;
  for (const std::string& w : words) joined += (joined.empty() ? "" : " ") + w;
  return joined;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: golden_check TESTS_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::vector<GoldenSet> sets =
      loadGoldenSets(dir + "/golden/datasets.txt");
  const std::vector<std::string> expected = lines(dir + "/golden/expected.txt");
  std::map<std::string, std::string> amended;
  for (const std::string& line : lines(dir + "/golden/amended.txt")) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find(" | ");
    amended[line.substr(0, bar)] = line.substr(bar + 3);
  }
  if (sets.empty() || sets.size() != expected.size()) {
    std::fprintf(stderr, "golden_check: cannot read the golden records\n");
    return 2;
  }
  int nPassed = 0, nFailed = 0;
  kalmir::Options options;
  options.threads = 1;
  for (size_t i = 0; i < sets.size(); ++i) {
    const GoldenSet& set = sets[i];
    const auto nA = static_cast<std::ptrdiff_t>(set.nNA);
    const kalmir::DataSet data{set.name,
                               {{"A", {set.fY.begin(), set.fY.begin() + nA}},
                                {"B", {set.fY.begin() + nA, set.fY.end()}}}};
    const kalmir::Result r = kalmir::analyse(data, options);
    const std::string got = hexSlots(slotsOf(r));
    const auto it = amended.find(set.name);
    const std::string want =
        withoutNormalP(it == amended.end() ? expected[i] : it->second);
    std::printf("== %s\n%s\n%s%s", set.name.c_str(), got.c_str(),
                kalmir::report_text(r).c_str(),
                kalmir::csv_line(kalmir::table_row(r)).c_str());
    std::printf("%s\n", kalmir::json_object(kalmir::table_row(r)).c_str());
    for (const kalmir::Note& note : r.notes) {
      std::printf("Note: %s.\n", note.text.c_str());
    }
    if (got == want) {
      ++nPassed;
    } else {
      ++nFailed;
      std::fprintf(stderr, "golden_check: %s differs\n  want %s\n  got  %s\n",
                   set.name.c_str(), want.c_str(), got.c_str());
    }
  }
  std::fprintf(stderr, "%d passed, %d failed\n", nPassed, nFailed);
  return nFailed == 0 ? 0 : 1;
}
