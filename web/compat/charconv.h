#ifndef KALMIR_WEB_COMPAT_CHARCONV_H_
#define KALMIR_WEB_COMPAT_CHARCONV_H_

// Floating-point std::to_chars and std::from_chars for a C++ library that
// has only the integer ones (the WebAssembly toolchain's). The library
// formats every figure of its tables and notes with them, so these give
// the characters the native library gives: the shortest decimal that
// reads back as the same value, and, where fixed notation would pad it
// with zeros, the value's exact integer digits instead. from_chars takes
// the forms the native one takes and rounds as the C library's strtod and
// strtof do (correctly). Force-included into the WebAssembly build only.

#include <charconv>
#include <system_error>

namespace kalmir_charconv {

// A format std::to_chars takes without one: the shorter of fixed and
// scientific notation, fixed on a tie.
enum class Form { plain, fixed, scientific, general };

std::to_chars_result toChars(char* first, char* last, float value, Form form);
std::to_chars_result toChars(char* first, char* last, double value, Form form);
std::from_chars_result fromChars(const char* first, const char* last,
                                 float& value, std::chars_format format);
std::from_chars_result fromChars(const char* first, const char* last,
                                 double& value, std::chars_format format);

inline Form formOf(std::chars_format format) {
  switch (format) {
    case std::chars_format::fixed:
      return Form::fixed;
    case std::chars_format::scientific:
      return Form::scientific;
    default:
      return Form::general;
  }
}

}  // namespace kalmir_charconv

#if defined(__EMSCRIPTEN__)
namespace std {

inline to_chars_result to_chars(char* first, char* last, float value) {
  return kalmir_charconv::toChars(first, last, value,
                                  kalmir_charconv::Form::plain);
}
inline to_chars_result to_chars(char* first, char* last, double value) {
  return kalmir_charconv::toChars(first, last, value,
                                  kalmir_charconv::Form::plain);
}
inline to_chars_result to_chars(char* first, char* last, float value,
                                chars_format format) {
  return kalmir_charconv::toChars(first, last, value,
                                  kalmir_charconv::formOf(format));
}
inline to_chars_result to_chars(char* first, char* last, double value,
                                chars_format format) {
  return kalmir_charconv::toChars(first, last, value,
                                  kalmir_charconv::formOf(format));
}
inline from_chars_result from_chars(
    const char* first, const char* last, float& value,
    chars_format format = chars_format::general) {
  return kalmir_charconv::fromChars(first, last, value, format);
}
inline from_chars_result from_chars(
    const char* first, const char* last, double& value,
    chars_format format = chars_format::general) {
  return kalmir_charconv::fromChars(first, last, value, format);
}

}  // namespace std
#endif

#endif  // KALMIR_WEB_COMPAT_CHARCONV_H_
