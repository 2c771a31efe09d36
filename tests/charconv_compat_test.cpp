// The WebAssembly build's floating-point to_chars and from_chars
// (web/compat) against the native library's, here where both exist.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "charconv.h"

namespace {

template <typename T>
std::string native(T value, int nForm) {
  char buf[1100];
  std::to_chars_result r =
      nForm == 0 ? std::to_chars(buf, buf + sizeof buf, value)
                 : std::to_chars(buf, buf + sizeof buf, value,
                                 nForm == 1   ? std::chars_format::fixed
                                 : nForm == 2 ? std::chars_format::scientific
                                              : std::chars_format::general);
  return std::string(buf, r.ptr);
}

template <typename T>
std::string compat(T value, int nForm) {
  char buf[1100];
  const kalmir_charconv::Form form = nForm == 0   ? kalmir_charconv::Form::plain
                                     : nForm == 1 ? kalmir_charconv::Form::fixed
                                     : nForm == 2
                                         ? kalmir_charconv::Form::scientific
                                         : kalmir_charconv::Form::general;
  std::to_chars_result r =
      kalmir_charconv::toChars(buf, buf + sizeof buf, value, form);
  return std::string(buf, r.ptr);
}

// Every form of value, and the text read back, as the native library.
template <typename T>
int countDifferences(T value) {
  int nDiffer = 0;
  for (int nForm = 0; nForm < 4; ++nForm) {
    const std::string text = native(value, nForm);
    if (compat(value, nForm) != text) {
      ADD_FAILURE() << value << " in form " << nForm << ": " << text << " vs "
                    << compat(value, nForm);
      ++nDiffer;
    }
    T a = 7, b = 7;
    const char* pEnd = text.data() + text.size();
    const std::from_chars_result ra = std::from_chars(text.data(), pEnd, a);
    const std::from_chars_result rb = kalmir_charconv::fromChars(
        text.data(), pEnd, b, std::chars_format::general);
    if (ra.ec != rb.ec || ra.ptr != rb.ptr ||
        (!std::isnan(a) && std::memcmp(&a, &b, sizeof a) != 0)) {
      ADD_FAILURE() << "reading " << text;
      ++nDiffer;
    }
  }
  return nDiffer;
}

}  // namespace

TEST(CharconvCompat, WritesFloatsAsTheNativeLibraryDoes) {
  // Every 65537th bit pattern (NaNs, infinities and subnormals among
  // them), every power of two and its neighbour below, and the integers
  // around 2^24 and 10^9, where fixed notation writes exact digits.
  int nDiffer = 0;
  for (uint64_t nBits = 0; nBits < (uint64_t{1} << 32); nBits += 65537) {
    const uint32_t n = static_cast<uint32_t>(nBits);
    float f;
    std::memcpy(&f, &n, sizeof f);
    nDiffer += countDifferences(f);
  }
  for (int e = -149; e < 128; ++e) {
    const float f = std::ldexp(1.0f, e);
    nDiffer += countDifferences(f) + countDifferences(std::nextafter(f, 0.0f));
  }
  for (float f : {16777216.0f, 16777218.0f, 123456792.0f, 999999936.0f, 1e9f,
                  4294967296.0f, 1e10f, 0.1f, 1e-5f, 0.0f, -0.0f}) {
    nDiffer += countDifferences(f);
  }
  EXPECT_EQ(0, nDiffer);
}

TEST(CharconvCompat, WritesDoublesAsTheNativeLibraryDoes) {
  int nDiffer = 0;
  std::mt19937_64 bits(7487);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t n = bits();
    double d;
    std::memcpy(&d, &n, sizeof d);
    nDiffer += countDifferences(d);
  }
  for (int e = -1074; e < 1024; e += 7)
    nDiffer += countDifferences(std::ldexp(1.0, e));
  for (double d : {1e23, 1e22, 1e21, 123456789012345678.0, 5e-324, 0.1, 2e9}) {
    nDiffer += countDifferences(d);
  }
  EXPECT_EQ(0, nDiffer);
}

TEST(CharconvCompat, ReadsTheFormsTheNativeLibraryReads) {
  // Signs, blanks and hexadecimal are refused; words and exponents are
  // read as far as they go; overflow is out of range, subnormals are not.
  for (const char* text : {"+5",    " 5",
                           "0x10",  "-0x1p3",
                           "1e",    "1e+",
                           "1e+x",  ".5",
                           "5.",    ".",
                           "-",     "-.5e-3",
                           "inf",   "-Infinity",
                           "INFx",  "nan",
                           "nanx",  "1e-50",
                           "1e50",  "1e-400",
                           "1e400", "3.4028236e38",
                           "7e-46", "12abc",
                           "e5",    "1.5E2",
                           ""}) {
    const char* pEnd = text + std::strlen(text);
    float a = 7, b = 7;
    const std::from_chars_result ra = std::from_chars(text, pEnd, a);
    const std::from_chars_result rb =
        kalmir_charconv::fromChars(text, pEnd, b, std::chars_format::general);
    EXPECT_EQ(ra.ec, rb.ec) << text;
    EXPECT_EQ(ra.ptr, rb.ptr) << text;
    if (!std::isnan(a)) {
      EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a)) << text;
    }
    double c = 7, d = 7;
    const std::from_chars_result rc = std::from_chars(text, pEnd, c);
    const std::from_chars_result rd =
        kalmir_charconv::fromChars(text, pEnd, d, std::chars_format::general);
    EXPECT_EQ(rc.ec, rd.ec) << text;
    EXPECT_EQ(rc.ptr, rd.ptr) << text;
    if (!std::isnan(c)) {
      EXPECT_EQ(0, std::memcmp(&c, &d, sizeof c)) << text;
    }
  }
}
