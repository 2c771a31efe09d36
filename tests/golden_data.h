#ifndef KALMIR_TESTS_GOLDEN_DATA_H_
#define KALMIR_TESTS_GOLDEN_DATA_H_

// The golden data sets: varied AB data sets whose 25 record slots were
// recorded once, as hex floats, from the straightforward single-threaded
// analysis. Any faster path must reproduce every slot bit for bit.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "scsim.h"

struct GoldenSet {
  std::string name;
  int nNA = 0;
  int nNB = 0;
  std::vector<float> fY;  // A phase, then B phase
};

// "name | A values | B values" per line; '#' starts a comment line. Values
// are converted as the console converts them.
inline std::vector<GoldenSet> loadGoldenSets(const std::string& path) {
  std::vector<GoldenSet> sets;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar1 = line.find('|');
    const size_t bar2 = line.find('|', bar1 + 1);
    GoldenSet set;
    set.name = line.substr(0, bar1 - 1);
    std::istringstream a(line.substr(bar1 + 1, bar2 - bar1 - 1));
    std::istringstream b(line.substr(bar2 + 1));
    std::string tok;
    while (a >> tok) {
      set.fY.push_back(std::strtof(tok.c_str(), nullptr));
      ++set.nNA;
    }
    while (b >> tok) {
      set.fY.push_back(std::strtof(tok.c_str(), nullptr));
      ++set.nNB;
    }
    sets.push_back(set);
  }
  return sets;
}

// The 25 slots of the five records, in record and slot order.
struct GoldenRecords {
  PhaseModel nullModel{};
  PhaseModel expModel{};
  AutocorrModel autocorrModel{};
  SimResults simResults{};
  ESResults esResults{};

  std::vector<float> slots() const {
    std::vector<float> all;
    all.insert(all.end(), nullModel.begin(), nullModel.end());
    all.insert(all.end(), expModel.begin(), expModel.end());
    all.insert(all.end(), autocorrModel.begin(), autocorrModel.end());
    all.insert(all.end(), simResults.begin(), simResults.end());
    all.insert(all.end(), esResults.begin(), esResults.end());
    return all;
  }
};

inline std::string hexSlots(const std::vector<float>& slots) {
  std::string text;
  char buf[40];
  for (float f : slots) {
    std::snprintf(buf, sizeof buf, "%s%a", text.empty() ? "" : " ",
                  static_cast<double>(f));
    text += buf;
  }
  return text;
}

#endif  // KALMIR_TESTS_GOLDEN_DATA_H_
