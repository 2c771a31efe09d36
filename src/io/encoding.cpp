#include "encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

// The bytes that start each encoding's byte-order mark. UTF-32LE's begins
// with UTF-16LE's, so it is tried first.
struct Mark {
  const char* bytes;
  size_t nLength;
  TextEncoding encoding;
};
const Mark kMarks[] = {
    {"\xEF\xBB\xBF", 3, TextEncoding::kUtf8Bom},
    {"\xFF\xFE\x00\x00", 4, TextEncoding::kUtf32LE},
    {"\x00\x00\xFE\xFF", 4, TextEncoding::kUtf32BE},
    {"\xFF\xFE", 2, TextEncoding::kUtf16LE},
    {"\xFE\xFF", 2, TextEncoding::kUtf16BE},
};

// Where UTF-16 or UTF-32 text without a mark has its NUL bytes: the
// characters of a data file (digits, separators, the header's names) are
// nearly all below U+0100, so each takes one non-NUL byte and one or three
// NULs, always in the same places. The first 4096 bytes decide.
TextEncoding nulPattern(const std::string& bytes, bool* pbFound) {
  const size_t nSample = std::min<size_t>(bytes.size(), 4096);
  size_t nNul[4] = {0, 0, 0, 0};
  size_t nAt[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < nSample; ++i) {
    ++nAt[i % 4];
    if (bytes[i] == '\0') ++nNul[i % 4];
  }
  *pbFound = false;
  if (nNul[0] + nNul[1] + nNul[2] + nNul[3] == 0) return TextEncoding::kUtf8;
  // Mostly NUL, and mostly not NUL: three in four either way.
  const auto most = [](size_t n, size_t nOf) { return 4 * n >= 3 * nOf; };
  const auto few = [](size_t n, size_t nOf) { return 4 * n <= nOf; };
  *pbFound = true;
  if (most(nNul[2] + nNul[3], nAt[2] + nAt[3]) && few(nNul[0], nAt[0])) {
    return TextEncoding::kUtf32LE;
  }
  if (most(nNul[0] + nNul[1], nAt[0] + nAt[1]) && few(nNul[3], nAt[3])) {
    return TextEncoding::kUtf32BE;
  }
  if (most(nNul[1] + nNul[3], nAt[1] + nAt[3]) &&
      few(nNul[0] + nNul[2], nAt[0] + nAt[2])) {
    return TextEncoding::kUtf16LE;
  }
  if (most(nNul[0] + nNul[2], nAt[0] + nAt[2]) &&
      few(nNul[1] + nNul[3], nAt[1] + nAt[3])) {
    return TextEncoding::kUtf16BE;
  }
  // NUL bytes in no pattern: not wide text; what they do is the reader's
  // business.
  *pbFound = false;
  return TextEncoding::kUtf8;
}

const char* iconvName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf16LE:
      return "UTF-16LE";
    case TextEncoding::kUtf16BE:
      return "UTF-16BE";
    case TextEncoding::kUtf32LE:
      return "UTF-32LE";
    case TextEncoding::kUtf32BE:
      return "UTF-32BE";
    case TextEncoding::kWindows1252:
      return "WINDOWS-1252";
    default:
      return "UTF-8";
  }
}

int lineAt(const std::string& text, size_t nOffset) {
  return 1 + static_cast<int>(
                 std::count(text.begin(), text.begin() + nOffset, '\n'));
}

// Converts the bytes from nStart on to UTF-8 through the C library's
// iconv. False, with *pnBad at the input offset where it stopped and
// pOut holding what came before, when a byte sequence is no character
// there or the bytes end inside one.
bool convert(const std::string& bytes, size_t nStart, TextEncoding encoding,
             std::string* pOut, size_t* pnBad, bool* pbTruncated) {
  pOut->clear();
  *pbTruncated = false;
  const iconv_t cd = iconv_open("UTF-8", iconvName(encoding));
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *pnBad = nStart;
    return false;
  }
  char* pIn = const_cast<char*>(bytes.data()) + nStart;
  size_t nIn = bytes.size() - nStart;
  char buf[16384];
  bool bOk = true;
  while (nIn > 0) {
    char* pOutBuf = buf;
    size_t nOutLeft = sizeof buf;
    const size_t r = iconv(cd, &pIn, &nIn, &pOutBuf, &nOutLeft);
    pOut->append(buf, static_cast<size_t>(pOutBuf - buf));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    *pbTruncated = errno == EINVAL;
    bOk = false;
    break;
  }
  iconv_close(cd);
  *pnBad = static_cast<size_t>(pIn - bytes.data());
  return bOk;
}

// Whether the bytes hold at least one valid UTF-8 sequence of two or more
// bytes: a file that does and also holds invalid ones is UTF-8 damaged,
// not Windows-1252 text, where such pairs are rare ("Ã¼").
bool hasMultibyteUtf8(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0xC2 || c > 0xF4) continue;
    const size_t nLength = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + nLength <= bytes.size() &&
        validUtf8Prefix(bytes.data() + i, nLength) == nLength) {
      return true;
    }
  }
  return false;
}

std::string hexByte(unsigned char c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", c);
  return buf;
}

}  // namespace

size_t validUtf8Prefix(const char* s, size_t n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t nLength;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      nLength = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      nLength = 3;
      if (c == 0xE0) lo = 0xA0;  // overlong
      if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      nLength = 4;
      if (c == 0xF0) lo = 0x90;  // overlong
      if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
      return i;
    }
    if (i + nLength > n || p[i + 1] < lo || p[i + 1] > hi) return i;
    for (size_t k = 2; k < nLength; ++k) {
      if (p[i + k] < 0x80 || p[i + k] > 0xBF) return i;
    }
    i += nLength;
  }
  return n;
}

const char* encodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return "UTF-8";
    case TextEncoding::kUtf8Bom:
      return "UTF-8 with a byte-order mark";
    case TextEncoding::kWindows1252:
      return "Windows-1252";
    default:
      return iconvName(encoding);
  }
}

DecodedText decodeText(const std::string& bytes) {
  DecodedText d;
  size_t nStart = 0;
  bool bMarked = false;
  for (const Mark& m : kMarks) {
    if (bytes.compare(0, m.nLength, m.bytes, m.nLength) == 0) {
      d.encoding = m.encoding;
      nStart = m.nLength;
      bMarked = true;
      break;
    }
  }
  if (!bMarked) {
    bool bFound = false;
    d.encoding = nulPattern(bytes, &bFound);
  }

  if (d.encoding == TextEncoding::kUtf8 ||
      d.encoding == TextEncoding::kUtf8Bom) {
    const size_t nValid =
        nStart + validUtf8Prefix(bytes.data() + nStart, bytes.size() - nStart);
    if (nValid == bytes.size()) {
      d.text = bytes.substr(nStart);
      return d;
    }
    const std::string bad =
        "byte " + hexByte(static_cast<unsigned char>(bytes[nValid]));
    // A mark that says UTF-8, or valid UTF-8 elsewhere in the file: damaged
    // UTF-8, which no other reading would make right.
    if (bMarked || hasMultibyteUtf8(bytes)) {
      d.error = bad +
                " is not valid UTF-8, though the rest of the file is "
                "UTF-8; save the file again as UTF-8";
      d.nErrorLine = lineAt(bytes, nValid);
      return d;
    }
    d.encoding = TextEncoding::kWindows1252;
    size_t nBad = 0;
    bool bTruncated = false;
    if (!convert(bytes, 0, d.encoding, &d.text, &nBad, &bTruncated)) {
      d.text.clear();
      d.error = bad +
                " is not valid UTF-8, and the file is not Windows-1252 "
                "text either (byte " +
                hexByte(static_cast<unsigned char>(bytes[nBad])) +
                " is no character there); save the file as UTF-8";
      d.nErrorLine = lineAt(bytes, nValid);
      return d;
    }
    d.note = "read as Windows-1252, as it is not UTF-8 (" + bad + " on line " +
             std::to_string(lineAt(bytes, nValid)) + ")";
    return d;
  }

  size_t nBad = 0;
  bool bTruncated = false;
  if (!convert(bytes, nStart, d.encoding, &d.text, &nBad, &bTruncated)) {
    d.nErrorLine = lineAt(d.text, d.text.size());
    d.text.clear();
    d.error = std::string("the file is ") + encodingName(d.encoding) +
              " text, but " +
              (bTruncated ? "it ends inside a character"
                          : "it holds a byte sequence that is no character "
                            "there") +
              "; save the file as UTF-8";
  }
  return d;
}
