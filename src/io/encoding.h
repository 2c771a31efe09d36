#ifndef KALMIR_ENCODING_H_
#define KALMIR_ENCODING_H_

#include <cstddef>
#include <string>

// Text files as spreadsheets and editors save them -> UTF-8. The encoding is
// found from the bytes alone: a byte-order mark, else the pattern of NUL
// bytes that UTF-16 and UTF-32 text has, else UTF-8 when every byte
// sequence is valid UTF-8, else Windows-1252 (the older Western spreadsheet
// export) when every byte is a character there. Nothing is kept.

enum class TextEncoding {
  kUtf8,
  kUtf8Bom,
  kUtf16LE,
  kUtf16BE,
  kUtf32LE,
  kUtf32BE,
  kWindows1252,
};

struct DecodedText {
  std::string text;  // UTF-8 without a byte-order mark; empty on an error
  TextEncoding encoding = TextEncoding::kUtf8;
  // Set when the encoding was a guess the user should hear about
  // ("read as Windows-1252: it is not UTF-8"); no closing period.
  std::string note;
  // Empty when the bytes could be read; otherwise what is wrong, for a
  // message ("byte 0x81 is not text in UTF-8 or Windows-1252").
  std::string error;
  int nErrorLine = 0;  // line of the error in the file, from 1
};

// Finds the encoding of a file's bytes and converts them to UTF-8.
DecodedText decodeText(const std::string& bytes);

// The encoding's name for messages: "UTF-8", "UTF-8 with a byte-order mark",
// "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE", "Windows-1252".
const char* encodingName(TextEncoding encoding);

// The length of the valid UTF-8 prefix of the n bytes at s (n when all of
// it is valid). Valid means RFC 3629: no overlong forms, no surrogates,
// nothing beyond U+10FFFF.
size_t validUtf8Prefix(const char* s, size_t n);

#endif  // KALMIR_ENCODING_H_
