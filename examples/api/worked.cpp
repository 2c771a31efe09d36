// The worked example through the library: the A phase and the B phase in,
// the figures of the report out. Built against an installed KALMIR with
// CMake (CMakeLists.txt here) or with pkg-config:
//   c++ -std=c++17 worked.cpp $(pkg-config --cflags --libs kalmir) -o worked
#include <kalmir/kalmir.h>

#include <cstdio>

int main() {
  const kalmir::DataSet data{"worked example",
                             {{"A", {3, 5, 4, 6, 5, 7, 6, 8, 7, 9}},
                              {"B", {10, 9, 12, 11, 13, 12, 15, 14}}}};
  try {
    const kalmir::Result r = kalmir::analyse(data);
    const kalmir::Line& a = r.null_model;
    const kalmir::Line& b = r.exp_model;
    std::printf("%s, kalmir %s\n", r.name.c_str(), kalmir::version());
    std::printf("A line: %.3f (%.3f) + %.3f (%.3f) t, s %.3f (%.3f)\n",
                a.intercept, a.intercept_se, a.slope, a.slope_se, a.sd,
                a.sd_se);
    std::printf("B line: %.3f (%.3f) + %.3f (%.3f) t, s %.3f (%.3f)\n",
                b.intercept, b.intercept_se, b.slope, b.slope_se, b.sd,
                b.sd_se);
    std::printf("r1 %.3f (%.3f)\n", r.r1, r.r1_se);
    std::printf("simulated B means: null %.3f (%.3f), exp %.3f (%.3f)\n",
                r.null_mean, r.null_sd, r.exp_mean, r.exp_sd);
    std::printf(
        "D %.3f, d %.3f (%.3f), r %.3f, R-squared %.3f, %s\n", r.d_unstd, r.d,
        r.d_se, r.r, r.r_squared,
        r.direction == kalmir::Direction::increase ? "increase" : "decrease");
    std::printf("p %.3f\n", r.p);
    for (const kalmir::Note& note : r.notes) {
      std::printf("Note: %s.\n", note.text.c_str());
    }
  } catch (const kalmir::Error& e) {
    std::fprintf(stderr, "worked: %s\n", e.what());
    return 1;
  }
  return 0;
}
