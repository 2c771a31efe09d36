#include "encoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string kJuergen = "J\xC3\xBCrgen";  // in UTF-8

// s (ASCII and U+00FC only) in a wide encoding, code unit by code unit.
std::string wide(const std::string& ascii, int nBytes, bool bBigEndian) {
  std::string out;
  for (unsigned char c : ascii) {
    std::string unit(static_cast<size_t>(nBytes), '\0');
    unit[bBigEndian ? unit.size() - 1 : 0] = static_cast<char>(c);
    out += unit;
  }
  return out;
}

}  // namespace

TEST(Encoding, ReadsUtf8AsItIsAndDropsItsMark) {
  const std::string text = "case,values\n" + kJuergen + ",3\n";
  const DecodedText plain = decodeText(text);
  EXPECT_EQ(TextEncoding::kUtf8, plain.encoding);
  EXPECT_EQ(text, plain.text);
  EXPECT_EQ("", plain.note);
  const DecodedText marked = decodeText("\xEF\xBB\xBF" + text);
  EXPECT_EQ(TextEncoding::kUtf8Bom, marked.encoding);
  EXPECT_EQ(text, marked.text);
  EXPECT_EQ(TextEncoding::kUtf8, decodeText("").encoding);
  EXPECT_EQ("", decodeText("").text);
}

TEST(Encoding, ConvertsUtf16AndUtf32WithOrWithoutAMark) {
  // "J\xFCrgen,3\n" with U+00FC as one code unit.
  const std::string latin = "J\xFCrgen,3\n";
  const std::string expected = kJuergen + ",3\n";
  struct Form {
    int nBytes;
    bool bBigEndian;
    const char* mark;
    size_t nMark;
    TextEncoding encoding;
    const char* name;
  };
  const Form forms[] = {
      {2, false, "\xFF\xFE", 2, TextEncoding::kUtf16LE, "UTF-16LE"},
      {2, true, "\xFE\xFF", 2, TextEncoding::kUtf16BE, "UTF-16BE"},
      {4, false, "\xFF\xFE\0\0", 4, TextEncoding::kUtf32LE, "UTF-32LE"},
      {4, true, "\0\0\xFE\xFF", 4, TextEncoding::kUtf32BE, "UTF-32BE"},
  };
  for (const Form& f : forms) {
    SCOPED_TRACE(f.name);
    const std::string body = wide(latin, f.nBytes, f.bBigEndian);
    for (bool bMarked : {true, false}) {
      const DecodedText d =
          decodeText((bMarked ? std::string(f.mark, f.nMark) : "") + body);
      EXPECT_EQ(f.encoding, d.encoding) << bMarked;
      EXPECT_EQ(expected, d.text) << bMarked;
      EXPECT_EQ("", d.error) << bMarked;
      EXPECT_STREQ(f.name, encodingName(d.encoding));
    }
    // Cut inside the last character: named, with the line it is on.
    const DecodedText cut = decodeText(std::string(f.mark, f.nMark) + body +
                                       wide("7", f.nBytes, false).substr(1));
    EXPECT_EQ("", cut.text);
    EXPECT_NE(std::string::npos, cut.error.find(f.name)) << cut.error;
    EXPECT_NE(std::string::npos, cut.error.find("ends inside a character"));
    EXPECT_EQ(2, cut.nErrorLine);
  }
  // A character beyond U+FFFF, as a surrogate pair and as one unit.
  EXPECT_EQ("\xF0\x9F\x98\x80",
            decodeText(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)).text);
  EXPECT_EQ("\xF0\x9F\x98\x80",
            decodeText(std::string("\xFF\xFE\0\0\x00\xF6\x01\x00", 8)).text);
  // An unpaired surrogate is no character.
  EXPECT_NE("", decodeText(std::string("\xFF\xFE\x00\xD8\x41\x00", 6)).error);
}

TEST(Encoding, ReadsOtherBytesAsWindows1252WithANote) {
  // An older spreadsheet's export: U+00FC as the one byte 0xFC, the euro
  // sign as 0x80, a curly quote as 0x93.
  const DecodedText d = decodeText("case\nJ\xFCrgen \x80 \x93x\x94\n");
  EXPECT_EQ(TextEncoding::kWindows1252, d.encoding);
  EXPECT_EQ("case\n" + kJuergen + " \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D\n",
            d.text);
  EXPECT_EQ("read as Windows-1252, as it is not UTF-8 (byte 0xFC on line 2)",
            d.note);
  EXPECT_STREQ("Windows-1252", encodingName(d.encoding));
}

TEST(Encoding, RefusesBytesThatAreNeitherInsteadOfGarblingThem) {
  // 0x81 is no character in Windows-1252 either.
  const DecodedText neither = decodeText("a\nb\x81\n");
  EXPECT_EQ("", neither.text);
  EXPECT_EQ(2, neither.nErrorLine);
  EXPECT_NE(std::string::npos, neither.error.find("byte 0x81"))
      << neither.error;
  // UTF-8 with one damaged byte is not read as Windows-1252 (which would
  // turn its good accents into two letters each).
  const DecodedText damaged = decodeText(kJuergen + "\n\xFC\n");
  EXPECT_EQ("", damaged.text);
  EXPECT_EQ(2, damaged.nErrorLine);
  EXPECT_NE(std::string::npos, damaged.error.find("not valid UTF-8"));
  // A UTF-8 mark followed by bytes that are not UTF-8.
  EXPECT_NE("", decodeText("\xEF\xBB\xBF"
                           "a\xFC")
                    .error);
}

TEST(Encoding, ValidatesUtf8AsRfc3629Does) {
  const struct {
    const char* bytes;
    size_t nValid;
  } cases[] = {
      {"abc", 3},
      {"\xC3\xBC", 2},
      {"\xE2\x82\xAC", 3},
      {"\xF4\x8F\xBF\xBF", 4},  // U+10FFFF, the last
      {"\xC0\xAF", 0},          // overlong '/'
      {"\xE0\x80\xAF", 0},      // overlong
      {"\xED\xA0\x80", 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0},  // beyond U+10FFFF
      {"a\xC3", 1},             // cut short
      {"ab\x80", 2},            // a lone continuation byte
      {"\xFE", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.nValid, validUtf8Prefix(c.bytes, std::strlen(c.bytes)))
        << c.bytes;
  }
}

TEST(Encoding, LeavesNulBytesOutsideAWidePatternToTheReader) {
  // NUL bytes at no regular place: UTF-8 text with NULs in it.
  const std::string text("a,b\n1\0\0,2\n3,4\n", 14);
  const DecodedText d = decodeText(text);
  EXPECT_EQ(TextEncoding::kUtf8, d.encoding);
  EXPECT_EQ(text, d.text);
}
