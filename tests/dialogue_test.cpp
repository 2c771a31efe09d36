#include "dialogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The help after the token and what is wrong with it.
const std::string kCountHelp = "Please enter a whole number from 2 to 500.\n";
const std::string kValueHelp =
    "Please enter a number such as 4 or 2.5 (a point, not a comma, before "
    "the decimals).\n";
const std::string kUnfinished =
    "Input ended inside a data set; that data set was not analysed.\n";
const std::string kNotWhole = "is not a whole number. ";
const std::string kTooFew = "is too few points for a phase. ";
const std::string kTooMany = "is more points than a phase may have. ";
const std::string kNotNumber = "is not a number. ";
const std::string kNotFinite = "is not a finite number. ";
const std::string kTooLarge =
    "lies beyond 1e9 in magnitude, the largest the analysis takes. ";
const std::string kComma = "has a decimal comma. ";
const std::string kACountPrompt =
    "Enter the number of A phase (baseline) points: ";
const std::string kBCountPrompt = "Enter the number of B phase points: ";

struct Session {
  int nStatus = -1;
  std::string out;
  std::string err;
};

// Runs the dialogue on what the user types. 2000 simulated cases keep a
// report cheap; only the simulated figures depend on the number.
Session run(const std::string& typed) {
  FILE* in = std::tmpfile();
  std::fwrite(typed.data(), 1, typed.size(), in);
  std::rewind(in);
  char* pOut = nullptr;
  char* pErr = nullptr;
  size_t nOut = 0, nErr = 0;
  FILE* out = open_memstream(&pOut, &nOut);
  FILE* err = open_memstream(&pErr, &nErr);
  DialogueLimits limits;
  limits.nSimN = 2000;
  Session s;
  s.nStatus = runDialogue(in, out, err, limits);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  s.out.assign(pOut, nOut);
  s.err.assign(pErr, nErr);
  std::free(pOut);
  std::free(pErr);
  return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() &&
         s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

int occurrences(const std::string& s, const std::string& part) {
  int n = 0;
  for (size_t i = s.find(part); i != std::string::npos;
       i = s.find(part, i + 1)) {
    ++n;
  }
  return n;
}

// The report alone, from its first heading to the next data set's prompt.
std::string report(const std::string& out) {
  const size_t nStart = out.find("\nESTIMATING PARAMETERS...");
  if (nStart == std::string::npos) return "";
  return out.substr(nStart, out.find("Press ENTER", nStart) - nStart);
}

}  // namespace

TEST(Dialogue, RejectsUnusableCountsAndAsksAgain) {
  // Whatever follows the rejected count on its line is discarded, so the
  // 5 never becomes a count. The help names the token and what is wrong.
  const struct {
    std::string tok;
    const std::string& why;
  } cases[] = {{"abc", kNotWhole},  {"7.5", kNotWhole},   {"3x", kNotWhole},
               {"0", kTooFew},      {"1", kTooFew},       {"0001", kTooFew},
               {"501", kTooMany},   {"100000", kTooMany}, {"2.0", kNotWhole},
               {"0x10", kNotWhole}, {"+", kNotWhole}};
  for (const auto& c : cases) {
    const std::string& tok = c.tok;
    const std::string help = "\"" + tok + "\" " + c.why + kCountHelp;
    const Session a = run("\n" + tok + " 5\n");
    EXPECT_EQ(1, a.nStatus) << tok;
    EXPECT_EQ(help + kUnfinished, a.err) << tok;
    EXPECT_TRUE(endsWith(a.out, kACountPrompt + kACountPrompt)) << tok;
    const Session b = run("\n2\n1 2\n" + tok + " 5\n");
    EXPECT_EQ(help + kUnfinished, b.err) << tok;
    EXPECT_TRUE(endsWith(b.out, "\n" + kBCountPrompt + kBCountPrompt)) << tok;
  }
}

TEST(Dialogue, RejectsNegativeCounts) {
  for (const std::string tok : {"-4", "-2", "-500"}) {
    const Session a = run("\n" + tok + "\n");
    EXPECT_EQ("\"" + tok + "\" " + kTooFew + kCountHelp + kUnfinished, a.err)
        << tok;
    EXPECT_TRUE(endsWith(a.out, kACountPrompt + kACountPrompt)) << tok;
  }
}

TEST(Dialogue, AcceptsCountsFromTwoToTheLongestPhase) {
  // Input ends right after the count: the first value prompt shows that the
  // count was taken, without analysing a phase of 500 points.
  for (const std::string tok : {"2", "+3", "007", "500"}) {
    const Session a = run("\n" + tok + "\n");
    EXPECT_EQ(1, a.nStatus) << tok;
    EXPECT_EQ(kUnfinished, a.err) << tok;
    EXPECT_TRUE(endsWith(a.out, "\tA[ 1]: ")) << tok;
    const Session b = run("\n2\n1 2\n" + tok + "\n");
    EXPECT_EQ(kUnfinished, b.err) << tok;
    EXPECT_TRUE(endsWith(b.out, "\tB[ 3]: ")) << tok;
  }
}

TEST(Dialogue, RejectsUnusableMeasurementsAndKeepsTheValuesBefore) {
  // 1 and 2 stay; A[ 3] is asked again and the 9 after the bad token goes.
  // The help names the token and what is wrong, the magnitude limit too.
  const struct {
    std::string tok;
    const std::string& why;
  } cases[] = {
      {"nan", kNotFinite},       {"inf", kNotFinite},   {"-INF", kNotFinite},
      {"+infinity", kNotFinite}, {"1e40", kTooLarge},   {"1.1e9", kTooLarge},
      {"-2e9", kTooLarge},       {"abc", kNotNumber},   {"3,5", kComma},
      {"-,5", kComma},           {"3,5,1", kNotNumber}, {"1.000,5", kNotNumber},
      {"5kg", kNotNumber},       {"--1", kNotNumber},   {"0x10", kNotNumber},
      {"1e", kNotNumber},        {".", kNotNumber}};
  for (const auto& c : cases) {
    const std::string& tok = c.tok;
    const Session s = run("\n3\n1 2 " + tok + " 9\n");
    EXPECT_EQ(1, s.nStatus) << tok;
    EXPECT_EQ("\"" + tok + "\" " + c.why + kValueHelp + kUnfinished, s.err)
        << tok;
    EXPECT_TRUE(endsWith(s.out, "\tA[ 1]: \tA[ 2]: \tA[ 3]: \tA[ 3]: ")) << tok;
  }
}

TEST(Dialogue, AcceptsMeasurementsInPointAndExponentForm) {
  for (const std::string tok : {"4", "2.5", "+2.5", ".5", "4.", "1.5e1",
                                "-3E-2", "1e9", "-1e9", "1e-50"}) {
    const Session s = run("\n2\n" + tok + "\n");
    EXPECT_EQ(kUnfinished, s.err) << tok;
    EXPECT_TRUE(endsWith(s.out, "\tA[ 1]: \tA[ 2]: ")) << tok;
  }
}

TEST(Dialogue, RetypedValuesGiveTheReportOfCleanInput) {
  const Session clean = run("\n3\n1 4 2\n3\n5 7 6\n");
  const Session retyped = run("\n3\n1 4 2,5\n2\n3\n5 abc\n7 6\n");
  EXPECT_EQ(0, retyped.nStatus);
  EXPECT_EQ(
      "\"2,5\" " + kComma + kValueHelp + "\"abc\" " + kNotNumber + kValueHelp,
      retyped.err);
  ASSERT_NE("", report(clean.out));
  EXPECT_EQ(report(clean.out), report(retyped.out));
}

TEST(Dialogue, EndsCleanlyUnlessInputEndsInsideADataSet) {
  const std::string worked =
      "\n10\n3 5 4 6 5 7 6 8 7 9\n8\n10 9 12 11 13 12 15 14\n";
  std::string crlf;
  for (char c : worked)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  struct Case {
    std::string typed;
    int nStatus;
    int nReports;
  } const cases[] = {
      {"", 0, 0},
      {"\n", 0, 0},
      {"\n \n\t\r\n", 0, 0},
      {worked, 0, 1},
      {crlf, 0, 1},
      {worked.substr(0, worked.size() - 1), 0, 1},  // no line break at the end
      {worked + " ", 0, 1},
      {worked + "\n\n\n", 0, 1},
      {worked + worked, 0, 2},
      {"x", 1, 0},                   // a data set begun at the ENTER
      {"\n3", 1, 0},                 // a count, then nothing
      {"\n1", 1, 0},                 // a rejected count, then nothing
      {"\n3\n1 2", 1, 0},            // inside the A values
      {"\n3\n1 2 3\n", 1, 0},        // before the B count
      {"\n3\n1 2 3\n3\n4 5", 1, 0},  // inside the B values
      {worked + "\n4\n", 1, 1},      // a second data set begun
  };
  for (const Case& c : cases) {
    const Session s = run(c.typed);
    EXPECT_EQ(c.nStatus, s.nStatus) << c.typed;
    if (c.nStatus == 1) {
      EXPECT_TRUE(endsWith(s.err, kUnfinished)) << c.typed;
    } else {
      EXPECT_EQ("", s.err) << c.typed;
    }
    EXPECT_EQ(c.nReports, occurrences(s.out, "ESTIMATING")) << c.typed;
  }
  // CR bytes are blanks: the report is that of the plain input.
  EXPECT_EQ(report(run(worked).out), report(run(crlf).out));
}

// The error stream without its notes on figures.
std::string withoutNotes(const std::string& err) {
  std::string kept;
  size_t nStart = 0;
  while (nStart < err.size()) {
    size_t nEnd = err.find('\n', nStart);
    nEnd = nEnd == std::string::npos ? err.size() : nEnd + 1;
    if (err.compare(nStart, 6, "Note: ") != 0) {
      kept += err.substr(nStart, nEnd - nStart);
    }
    nStart = nEnd;
  }
  return kept;
}

TEST(Dialogue, ANulByteMakesItsTokenMalformed) {
  using namespace std::string_literals;
  const Session value = run("\n3\n1 5\0009 2\n5 8\n3\n4 7 6\n"s);
  EXPECT_EQ("\"5?9\" " + kNotNumber + kValueHelp, withoutNotes(value.err));
  const Session clean = run("\n3\n1 5 8\n3\n4 7 6\n");
  EXPECT_EQ(report(clean.out), report(value.out));
  const Session count = run("\n10\000junk\n3\n1 5 8\n3\n4 7 6\n"s);
  EXPECT_EQ("\"10?junk\" " + kNotWhole + kCountHelp, withoutNotes(count.err));
  EXPECT_EQ(report(clean.out), report(count.out));
}

TEST(Dialogue, NotesValuesAFloatHoldsOnlyRounded) {
  const Session s = run("\n3\n100000003 2 3\n3\n4 5 1e-50\n");
  EXPECT_TRUE(contains(s.err, "Note: A[ 1] 100000003 is held as 100000000"))
      << s.err;
  EXPECT_TRUE(contains(s.err, "(and 1 more value is rounded likewise)"));
  const Session exact = run("\n3\n0.1 2.50 16777216\n3\n4 5 -3e-2\n");
  EXPECT_FALSE(contains(exact.err, "held as")) << exact.err;
}

TEST(Dialogue, NotesFiguresWithoutMeaningOnTheErrorStream) {
  const std::string kShort = "only 2 points";
  const std::string kStandIn = "stand-in of 1e-6";
  const std::string kEnd = "d, r and p are not meaningful for such data.\n";
  const Session shortB = run("\n3\n2 2.5 1\n2\n8 9\n");
  EXPECT_TRUE(contains(shortB.err, kShort));
  EXPECT_FALSE(contains(shortB.err, kStandIn));
  // Constant phases: D = 4 over sqrt((2 * 1e-6^2 + 3 * 0) / 5) = 6.3246e-7,
  // by hand; 6324555.3 rounds to the float 6324555.5.
  const Session flat = run("\n3\n3 3 3\n4\n7 7 7 7\n");
  EXPECT_TRUE(contains(flat.out, "d (std)   \t 6324555.500\t("));
  EXPECT_TRUE(contains(flat.err, kStandIn));
  EXPECT_FALSE(contains(flat.err, kShort));
  const Session both = run("\n2\n1 2\n2\n5 7\n");
  EXPECT_TRUE(contains(both.err, kShort));
  EXPECT_TRUE(contains(both.err, kStandIn));
  for (const Session* s : {&shortB, &flat, &both}) {
    EXPECT_EQ(1, occurrences(s->err, kEnd)) << s->err;
    EXPECT_EQ(occurrences(s->err, "Note: "), occurrences(s->err, "\n"));
    EXPECT_FALSE(contains(s->out, "Note"));
  }
  // A B phase exactly on its line leaves the experimental model nothing to
  // vary; the same note, once, where it does.
  const std::string kFlatExp = "experimental-model means do not vary";
  EXPECT_TRUE(contains(flat.err, kFlatExp));
  EXPECT_TRUE(contains(both.err, kFlatExp));
  const Session noisy = run("\n4\n3 5 4 6\n4\n10 9 12 11\n");
  EXPECT_EQ("", noisy.err);
  // An observed mean below every simulated null mean: p is 0, which only
  // says it was beyond all of them (2000 cases here).
  const Session below = run("\n6\n1 2 1 2 1 2\n5\n-20 -21 -20 -21 -20\n");
  EXPECT_TRUE(contains(below.out, "p         \t 0.000\n")) << below.out;
  EXPECT_TRUE(contains(
      below.err,
      "Note: no simulated null-model mean was as far out: p < 0.0005.\n"))
      << below.err;
}

TEST(Dialogue, NoReportPrintsNanInfOrNegativeZero) {
  const char* const sets[] = {
      "2\n1 2\n2\n5 7\n",                // 2 + 2
      "2\n5 5\n2\n5 5\n",                // 2 + 2, constant
      "4\n5 5 5 5\n5\n5 5 5 5 5\n",      // constant phases
      "3\n-5 -5 -5\n3\n-5 -5 -5\n",      // constant, negative
      "5\n1 2 3 4 5\n4\n10 12 14 16\n",  // exact lines
      "4\n5 4 3 2\n4\n1 0 -1 -2\n",      // B goes on the A line
      "4\n5000 5000 5000 5000\n4\n5000 5000 5000 5000\n",
      "4\n-5000 -5000 -5000 -5000\n3\n-5000 -5000 -5000\n",
      "10\n5003 5005 5004 5006 5005 5007 5006 5008 5007 5009\n"
      "8\n5010 5009 5012 5011 5013 5012 5015 5014\n",
      "10\n-4997 -4995 -4996 -4994 -4995 -4993 -4994 -4992 -4993 -4991\n"
      "8\n-4990 -4991 -4988 -4989 -4987 -4988 -4985 -4986\n",
      "5\n1e9 -1e9 5e8 1e9 -2.5e8\n4\n1e9 9.9e8 1e9 -1e9\n",
      "3\n1e9 1e9 1e9\n3\n-1e9 -1e9 -1e9\n",
      "2\n-1e9 1e9\n2\n1e9 -1e9\n",
  };
  // Every figure of these sets is exact or far from zero, so even a
  // negative zero rounded to "-0.000" would be a fault.
  for (const char* set : sets) {
    const Session s = run(std::string("\n") + set);
    const std::string r = report(s.out);
    EXPECT_EQ(0, s.nStatus) << set;
    EXPECT_TRUE(contains(r, "CALCULATING EFFECT SIZE")) << set;
    for (const char* bad : {"nan", "inf", "-0.000"}) {
      EXPECT_FALSE(contains(r, bad)) << set << r;
    }
  }
}

TEST(Dialogue, SaysWhatWasTypedAtPressEnterWasNotReadAsData) {
  // Only one byte is read there, as ever: "13" makes the count 3, which a
  // note now says; the report is that of the input typed as meant.
  const std::string rest = "4 6 5\n10\n5 7 6 8 7 9 8 10 9 11\n";
  const Session meant = run("\n3\n" + rest);
  const Session ahead = run("13\n" + rest);
  EXPECT_EQ(0, ahead.nStatus);
  EXPECT_EQ(meant.out, ahead.out);
  EXPECT_EQ(
      "Note: the \"1\" typed at \"Press ENTER to input data...\" was not read "
      "as data (press only ENTER there); the rest of its line, \"3\", "
      "answers the next prompt.\n",
      ahead.err);
  // Nothing after it on the line; a second data set; a blank is no data.
  const Session alone = run("x\n3\n" + rest + "y\r\n3\n" + rest);
  EXPECT_EQ(2, occurrences(alone.err,
                           "was not read as data (press only "
                           "ENTER there).\n"));
  EXPECT_TRUE(contains(alone.err, "\"y\""));
  EXPECT_EQ(2, occurrences(alone.out, "ESTIMATING"));
  EXPECT_EQ("", run(" 3\n" + rest).err);
  EXPECT_EQ("", run("\t\n3\n" + rest).err);
  // A line with no end is looked at only so far, and quoted cut short.
  const Session endless = run(std::string(10000, 'x'));
  EXPECT_EQ(1, endless.nStatus);
  EXPECT_TRUE(contains(endless.err, "\"xxxxxxxxxx"));
  EXPECT_TRUE(contains(endless.err, "...\", answers the next prompt.\n"));
  EXPECT_TRUE(contains(endless.err,
                       "A token of more than 255 characters " + kNotWhole));
}

TEST(Dialogue, StopsOnADataFileOnStandardInputWithOneMessage) {
  const std::string kHeaderNote =
      "looks like the header row of a data file; this dialogue reads counts "
      "and values as typed. To analyse a data file, run: kalmir FILE\n";
  const std::string kStop =
      "kalmir: standard input holds a data file, not counts and values as "
      "typed, so the dialogue stops here. To analyse the file, run: kalmir "
      "FILE (or kalmir - < FILE)\n";
  for (const std::string file :
       {"case,mt,phase,values\nAnn,1,A,3\nAnn,2,A,5\nAnn,3,B,4\n",
        "\xEF\xBB\xBF"
        "case;phase;values\r\nAnn;A;3,5\r\nAnn;A;4\r\n",
        "participant\tcondition\tscore\nAnn\tA\t3\nAnn\tB\t4\n"}) {
    const Session s = run(file);
    EXPECT_EQ(kDialogueDataFile, s.nStatus) << file;
    EXPECT_TRUE(endsWith(s.out, "\n" + kACountPrompt + kACountPrompt)) << file;
    EXPECT_EQ(3, occurrences(s.err, "\n")) << s.err;
    EXPECT_TRUE(contains(s.err, kHeaderNote)) << s.err;
    EXPECT_EQ(1, occurrences(s.err, kCountHelp)) << s.err;
    EXPECT_TRUE(endsWith(s.err, kStop)) << s.err;
  }
  // A header row typed by mistake, then the data: one refusal (the rest
  // of the header row), and the analysis.
  const std::string worked =
      "10\n3 5 4 6 5 7 6 8 7 9\n8\n10 9 12 11 13 12 15 14\n";
  const Session slip = run("case,phase,values\n" + worked);
  EXPECT_EQ(0, slip.nStatus);
  EXPECT_TRUE(contains(slip.err, kHeaderNote));
  EXPECT_TRUE(contains(slip.err, "\"ase,phase,values\" " + kNotWhole));
  EXPECT_EQ(report(run("\n" + worked).out), report(slip.out));
  // Once a count is taken, refused counts are only refused.
  const Session later = run("case,phase\n2\n1 2\nx\ny\n2\n3 4\n");
  EXPECT_EQ(0, later.nStatus);
  EXPECT_EQ(1, occurrences(later.out, "ESTIMATING"));
  // Words of a header without separators, and separators without them,
  // are no header row.
  EXPECT_FALSE(contains(run("case phase values\n").err, "header row"));
  EXPECT_FALSE(contains(run("1,2,3\n").err, "header row"));
}
