#include "cli.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dialogue.h"
#include "golden_data.h"
#include "kalmir/kalmir.h"

namespace {

struct Outcome {
  int nStatus = -1;
  std::string out;
  std::string err;
};

kalmir::Options smallSize() {
  kalmir::Options size;
  size.resamples = 300;
  size.cases = 400;
  return size;
}

// Runs the command line on args, with input as standard input.
Outcome run(const std::vector<std::string>& args, const std::string& input = "",
            const kalmir::Options& size = smallSize()) {
  std::vector<std::string> strings = args;
  strings.insert(strings.begin(), "kalmir");
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(&s[0]);
  argv.push_back(nullptr);
  FILE* in = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  char* pOut = nullptr;
  char* pErr = nullptr;
  size_t nOut = 0, nErr = 0;
  FILE* out = open_memstream(&pOut, &nOut);
  FILE* err = open_memstream(&pErr, &nErr);
  Outcome r;
  r.nStatus = runCommandLine(static_cast<int>(strings.size()), argv.data(), in,
                             out, err, size);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  r.out.assign(pOut, nOut);
  r.err.assign(pErr, nErr);
  std::free(pOut);
  std::free(pErr);
  return r;
}

// A directory of its own for each test, removed with what is in it.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/kalmir_cli_test.XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TempDir() {
    for (const std::string& f : files()) std::remove((path_ + "/" + f).c_str());
    rmdir(path_.c_str());
  }
  std::string write(const std::string& name, const std::string& text) const {
    const std::string path = path_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string path(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    DIR* dir = opendir(path_.c_str());
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
  }

 private:
  std::string path_;
};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<GoldenSet> goldenSets() {
  return loadGoldenSets(KALMIR_TEST_DATA "/golden/datasets.txt");
}

// The A and B values of a golden set as their text stands in
// datasets.txt.
std::vector<std::string> setTokens(const std::string& name, bool bB) {
  std::ifstream in(KALMIR_TEST_DATA "/golden/datasets.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, name.size() + 3, name + " | ") != 0) continue;
    const size_t bar1 = line.find('|');
    const size_t bar2 = line.find('|', bar1 + 1);
    std::istringstream values(bB ? line.substr(bar2 + 1)
                                 : line.substr(bar1 + 1, bar2 - bar1 - 1));
    std::vector<std::string> tokens;
    for (std::string value; values >> value;) tokens.push_back(value);
    return tokens;
  }
  return {};
}

// The sets as one data file.
std::string dataFile(const std::vector<GoldenSet>& sets) {
  std::string text = "case,phase,values\n";
  for (const GoldenSet& set : sets) {
    for (const std::string& v : setTokens(set.name, false)) {
      text += set.name + ",A," + v + "\n";
    }
    for (const std::string& v : setTokens(set.name, true)) {
      text += set.name + ",B," + v + "\n";
    }
  }
  return text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) result.push_back(line);
  return result;
}

std::vector<std::string> split(const std::string& line, char cSep) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, cSep)) fields.push_back(field);
  return fields;
}

}  // namespace

// Every figure of every golden data set, read back from the CSV table of a
// data file, bit for bit against the records of the straightforward
// analysis (amended.txt where it replaces them). Sharded like the golden
// test itself.
class GoldenFile : public ::testing::TestWithParam<int> {};

TEST_P(GoldenFile, TheTableHoldsTheRecordedFigures) {
  const int nShards = 4;
#if defined(__SANITIZE_ADDRESS__)
  // Slow there; the sanitizers check the path with one shard, the Release
  // builds every figure.
  if (GetParam() != 0) GTEST_SKIP();
#endif
  const std::vector<GoldenSet> all = goldenSets();
  std::vector<std::string> expected;
  std::ifstream records(KALMIR_TEST_DATA "/golden/expected.txt");
  for (std::string line; std::getline(records, line);) {
    expected.push_back(line);
  }
  std::map<std::string, std::string> amended;
  std::ifstream amendments(KALMIR_TEST_DATA "/golden/amended.txt");
  for (std::string line; std::getline(amendments, line);) {
    if (line.empty() || line[0] == '#') continue;
    amended[line.substr(0, line.find(" | "))] =
        line.substr(line.find(" | ") + 3);
  }
  ASSERT_EQ(all.size(), expected.size());
  std::vector<GoldenSet> sets;
  std::vector<std::string> wanted;
  for (size_t i = static_cast<size_t>(GetParam()); i < all.size();
       i += nShards) {
    sets.push_back(all[i]);
    const auto it = amended.find(all[i].name);
    wanted.push_back(it == amended.end() ? expected[i] : it->second);
  }
  TempDir dir;
  const Outcome r = run({"-j", "2", dir.write("golden.csv", dataFile(sets))},
                        "", kalmir::Options());
  EXPECT_EQ(kCliAllAnalysed, r.nStatus) << r.err;
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(sets.size() + 1, rows.size());
  // The design columns (study, row, contrast) stand between case and
  // status; an AB case in a file without a study is one A1-B1 contrast.
  const std::vector<std::string> header = split(rows[0], ',');
  ASSERT_GE(header.size(), 5u);
  ASSERT_EQ("status", header[4]);
  for (size_t i = 0; i < sets.size(); ++i) {
    const std::vector<std::string> fields = split(rows[i + 1], ',');
    ASSERT_GE(fields.size(), 33u) << rows[i + 1];
    EXPECT_EQ(sets[i].name, fields[0]);
    EXPECT_EQ("", fields[1]);
    EXPECT_EQ("contrast", fields[2]);
    EXPECT_EQ("A1-B1", fields[3]);
    const std::vector<std::string> f(fields.begin() + 4, fields.end());
    EXPECT_EQ("ok", f[0]);
    EXPECT_EQ(std::to_string(sets[i].nNA), f[1]);
    EXPECT_EQ(std::to_string(sets[i].nNB), f[2]);
    // 23 figures, the direction, then p. The records also hold the
    // normal-theory p (slot 23 of 25), which the table leaves out.
    std::vector<float> slots;
    for (size_t k = 3; k < 28; ++k) {
      if (k == 26) continue;
      slots.push_back(std::strtof(f[k].c_str(), nullptr));
    }
    std::vector<std::string> words = split(wanted[i], ' ');
    ASSERT_EQ(25u, words.size());
    words.erase(words.begin() + 23);
    std::string recorded;
    for (const std::string& w : words) recorded += (recorded.empty() ? "" : " ") + w;
    EXPECT_EQ(recorded, hexSlots(slots)) << sets[i].name;
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, GoldenFile, ::testing::Range(0, 4));

TEST(CommandLine, ReportFormatIsTheDialoguesReport) {
  const std::vector<GoldenSet> sets = goldenSets();
  std::string typed;
  for (const GoldenSet& set : sets) {
    typed += "\n" + std::to_string(set.nNA) + "\n";
    for (const std::string& v : setTokens(set.name, false)) typed += v + " ";
    typed += "\n" + std::to_string(set.nNB) + "\n";
    for (const std::string& v : setTokens(set.name, true)) typed += v + " ";
    typed += "\n";
  }
  FILE* in = std::tmpfile();
  std::fwrite(typed.data(), 1, typed.size(), in);
  std::rewind(in);
  char* pOut = nullptr;
  size_t nOut = 0;
  FILE* out = open_memstream(&pOut, &nOut);
  FILE* err = std::fopen("/dev/null", "w");
  DialogueLimits limits;
  limits.nSimN = smallSize().cases;
  limits.nBootSamples = smallSize().resamples;
  ASSERT_EQ(kDialogueDone, runDialogue(in, out, err, limits));
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  const std::string dialogue(pOut, nOut);
  std::free(pOut);

  TempDir dir;
  const Outcome r =
      run({"-f", "report", dir.write("sets.csv", dataFile(sets))});
  ASSERT_EQ(kCliAllAnalysed, r.nStatus) << r.err;
  size_t nDialogue = 0, nReport = 0;
  for (const GoldenSet& set : sets) {
    const std::string kStart = "ESTIMATING PARAMETERS...\n\n";
    nDialogue = dialogue.find(kStart, nDialogue) + kStart.size();
    const std::string block = dialogue.substr(
        nDialogue, dialogue.find("Press ENTER", nDialogue) - nDialogue);
    const std::string heading = "== " + set.name + "\n";
    nReport = r.out.find(heading, nReport);
    ASSERT_NE(std::string::npos, nReport) << set.name;
    nReport += heading.size();
    EXPECT_EQ(block, r.out.substr(nReport, block.size())) << set.name;
    // Only notes may follow before the next case.
    const size_t nNext = r.out.find("== ", nReport);
    const std::string rest = r.out.substr(nReport + block.size(),
                                          nNext == std::string::npos
                                              ? std::string::npos
                                              : nNext - nReport - block.size());
    for (const std::string& line : lines(rest)) {
      EXPECT_EQ(0u, line.find("Note: ")) << set.name << ": " << line;
    }
  }
}

TEST(CommandLine, OutputDoesNotDependOnTheJobs) {
  std::string text = dataFile(goldenSets());
  text += "bad,A,1\nbad,A,x\n";
  TempDir dir;
  const std::string path = dir.write("sets.csv", text);
  for (const char* format : {"csv", "json"}) {
    const Outcome one = run({"-f", format, "-j", "1", path});
    EXPECT_EQ(kCliSomeFailed, one.nStatus);
    for (const char* jobs : {"2", "3", "64"}) {
      const Outcome many = run({"-f", format, "--jobs", jobs, path});
      EXPECT_EQ(one.out, many.out) << format << " with " << jobs << " jobs";
      EXPECT_EQ(one.err, many.err);
    }
  }
  // Fewer cases than jobs: the analyses share out their stages.
  const std::string two =
      dir.write("two.csv", dataFile({goldenSets()[0], goldenSets()[4]}));
  EXPECT_EQ(run({"-j", "1", two}).out, run({"-j", "4", two}).out);
}

TEST(CommandLine, ExitStatusesAndMessages) {
  TempDir dir;
  const std::string good =
      dir.write("good.csv", "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n");
  const std::string mixed = dir.write(
      "mixed.csv",
      "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\nY,A,1\nY,A,x\nZ,B,1\n");
  Outcome r = run({good});
  EXPECT_EQ(kCliAllAnalysed, r.nStatus);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(2u, lines(r.out).size());
  EXPECT_EQ(r.out, run({"-o", "-", good}).out);

  r = run({mixed});
  EXPECT_EQ(kCliSomeFailed, r.nStatus);
  EXPECT_EQ("kalmir: " + mixed +
                ":7: case \"Y\": value \"x\" is not a number\n"
                "kalmir: " +
                mixed +
                ":8: case \"Z\": no A phase (the phase "
                "column holds only B)\n",
            r.err);
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(4u, rows.size());
  EXPECT_EQ(0u, rows[1].find("X,,contrast,A1-B1,ok,2,2,"));
  EXPECT_EQ(0u, rows[2].find("Y,,case,,error,,"));
  EXPECT_EQ(0u, rows[3].find("Z,,case,,error,,"));

  struct Usage {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Usage> usages = {
      {{"--frobnicate", good}, "unknown option --frobnicate"},
      {{"-x", good}, "unknown option -x"},
      {{good, "-j"}, "-j/--jobs needs a value"},
      {{"-j", "0", good},
       "-j/--jobs takes a whole number from 1 to 1024, "
       "not \"0\""},
      {{"-j", "2x", good},
       "-j/--jobs takes a whole number from 1 to 1024, "
       "not \"2x\""},
      {{"-f", "xml", good}, "unknown format \"xml\" (csv, json or report)"},
      {{"-s", "|", good}, "unknown separator \"|\" (, ; or tab)"},
      {{"-d", ";", good}, "unknown decimal mark \";\" (. or ,)"},
      {{"--phase-a", " ", good}, "--phase-a needs a label that is not blank"},
      {{"--phase-a", "b", good},
       "--phase-a and --phase-b need different "
       "labels"},
      {{"-j", "2"}, "no data file given (- reads standard input)"},
      {{dir.path("missing.csv")},
       "cannot read " + dir.path("missing.csv") +
           ": No such file or "
           "directory"},
      {{good, "/"}, "/: cannot read it: Is a directory"},
      {{"--y-range", "0:1", good}, "--y-range shapes plots; add --plot DIR"},
      {{"--plot", dir.path("p"), "--title", "T", good},
       "--title names the dialogue's plots; with data files each plot takes "
       "its case's name"},
      {{"--plot", dir.path("p"), "--y-range", "5:5", good},
       "--y-range takes LOW:HIGH, two numbers with LOW below HIGH (such as "
       "0:100), not \"5:5\""},
      {{"--plot", dir.path("p"), "--y-range", "-1e9:inf", good},
       "--y-range takes LOW:HIGH, two numbers with LOW below HIGH (such as "
       "0:100), not \"-1e9:inf\""},
      {{"--plot", dir.path("p"), "--y-range", "1:1.0000001", good},
       "--y-range 1:1.0000001 lies beyond 1e12 or spans less than a "
       "millionth of its size"},
      {{"--plot", dir.path("p"), "--y-range", "-1e13:0", good},
       "--y-range -1e13:0 lies beyond 1e12 or spans less than a millionth "
       "of its size"},
      {{"--plot", dir.path("p"), "--plot-panels", "means", good},
       "unknown plot panels \"means\" (series or both)"},
      {{"--plot", dir.path("p"), "--x-label", "", good},
       "--x-label needs a text that is not blank"},
      {{dir.write("header.csv", "case,phase,rating\nX,A,1\n")},
       dir.path("header.csv") + ":1: the header row names no \"phase\" and "
                                "\"values\" columns (separators tried: "
                                "comma, semicolon, tab); --columns names them"},
      {{"--columns", "values=rating,mt=day", dir.path("header.csv")},
       dir.path("header.csv") +
           ":1: --columns names \"day\" for mt, but the header has no such "
           "column (its columns: \"case\", \"phase\", \"rating\")"},
      {{"--columns", "value=rating", good},
       "--columns has no key \"value\" (keys: case, phase, values, mt, "
       "study; as in --columns case=id,values=score)"},
      {{"--columns", "values=", good},
       "--columns needs a column's name after values="},
      {{"--columns", "values=a,values=b", good},
       "--columns names the values column twice"},
      {{"--na", ".,,-99", good},
       "--na takes codes separated by commas, none of them blank (empty "
       "fields are missing anyway), not \".,,-99\""},
      {{"--sheet", "2", good},
       good + ": --sheet picks a workbook's sheet, and this is no workbook "
              "but text"},
      {{"-", good, "-"},
       "- (standard input) is given 2 times; it can be read once"},
      {{"--plot-", "svg", good},
       "option --plot- is ambiguous: it begins --plot-format, --plot-panels; "
       "write more of it"},
      {{"--formt", "csv", good},
       "unknown option --formt (did you mean --format?)"},
  };
  for (const Usage& u : usages) {
    r = run(u.args);
    EXPECT_EQ(kCliFailed, r.nStatus) << u.message;
    EXPECT_EQ("kalmir: " + u.message + "; see kalmir --help\n", r.err);
    EXPECT_EQ("", r.out) << u.message;
  }

  r = run({"--version"});
  EXPECT_EQ(kCliAllAnalysed, r.nStatus);
  EXPECT_EQ("kalmir 1.0\n", r.out);
  r = run({"-h", "--jobs", "0"});  // help wins, whatever else is there
  EXPECT_EQ(kCliAllAnalysed, r.nStatus);
  EXPECT_EQ(0u, r.out.find("Usage: kalmir [OPTIONS] FILE...   (no"));
}

TEST(CommandLine, StandardInputAndSeveralFiles) {
  TempDir dir;
  const std::string first =
      dir.write("first.csv", "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n");
  const std::string second = dir.write(
      "second.tsv", "Case\tPhase\tValue\nX\tA\t2\nX\tA\t3\nX\tB\t5\nX\tB\t6\n");
  const Outcome r =
      run({first, "-", "--phase-a=base", "--phase-b", "treat", second},
          "phase;values\nbase;1,5\nbase;2\ntreat;3\ntreat;4\n");
  EXPECT_EQ(kCliSomeFailed, r.nStatus);
  const std::vector<std::string> rows = lines(r.out);
  ASSERT_EQ(4u, rows.size());
  // The labels apply to every file, so A and B are unknown here.
  EXPECT_EQ(0u, rows[1].find("X,,case,,error,"));
  EXPECT_EQ(0u, rows[2].find("stdin,,contrast,A1-B1,ok,2,2,"));
  EXPECT_EQ(0u, rows[3].find("X,,case,,error,"));
  EXPECT_NE(std::string::npos, rows[3].find("second.tsv:2: phase \"\"A\"\" is "
                                            "neither base nor treat"));
  EXPECT_EQ(run({"-"}, "phase,values\nA,1.5\nA,2\nB,3\nB,4\n").out,
            run({"-s", ";", "-"}, "phase;values\nA;1,5\nA;2\nB;3\nB;4\n").out);
}

TEST(CommandLine, AnOutputFileIsReplacedOnlyWhenComplete) {
  TempDir dir;
  const std::string data =
      dir.write("data.csv", "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n");
  const std::string table = dir.write("table.csv", "old\n");
  const mode_t mask = umask(022);
  chmod(table.c_str(), 0640);

  // A run that fails leaves the old table and nothing else.
  Outcome r = run({"-o", table, data, dir.path("missing.csv")});
  EXPECT_EQ(kCliFailed, r.nStatus);
  EXPECT_EQ("old\n", readAll(table));
  EXPECT_EQ(2u, dir.files().size());

  r = run({"-o", table, data});
  EXPECT_EQ(kCliAllAnalysed, r.nStatus) << r.err;
  EXPECT_EQ("", r.out);
  EXPECT_EQ(run({data}).out, readAll(table));
  EXPECT_EQ(2u, dir.files().size());
  struct stat st;
  ASSERT_EQ(0, stat(table.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777);  // the mode of the file replaced

  r = run({"--output", dir.path("new.json"), "-f", "json", data});
  EXPECT_EQ(kCliAllAnalysed, r.nStatus);
  ASSERT_EQ(0, stat(dir.path("new.json").c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 0777);
  umask(mask);

  // Naming an input as the output would lose the data.
  r = run({"-o", data, data});
  EXPECT_EQ(kCliFailed, r.nStatus);
  EXPECT_EQ("kalmir: the output file " + data +
                " is also an input; name another; see kalmir --help\n",
            r.err);
  EXPECT_EQ(0u, readAll(data).find("case,phase,values\n"));

  r = run({"-o", dir.path("no/such/dir.csv"), data});
  EXPECT_EQ(kCliFailed, r.nStatus);
  EXPECT_NE(std::string::npos, r.err.find("No such file or directory"));
  r = run({"-o", "/", data});
  EXPECT_EQ(kCliFailed, r.nStatus);
  EXPECT_NE(std::string::npos, r.err.find("it is a directory"));
  EXPECT_EQ(3u, dir.files().size());
}

TEST(CommandLine, AnOutputPipeIsWrittenIntoAndALinkIsFollowed) {
  TempDir dir;
  const std::string data =
      dir.write("data.csv", "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n");
  const std::string table = run({data}).out;

  // A FIFO gets the table and stays a FIFO. Its read end is open first,
  // so that the command's open does not wait; the table fits the pipe.
  const std::string fifo = dir.path("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  Outcome r = run({"-o", fifo, data});
  EXPECT_EQ(kCliAllAnalysed, r.nStatus) << r.err;
  std::string piped;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
    piped.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  EXPECT_EQ(table, piped);
  struct stat st;
  ASSERT_EQ(0, lstat(fifo.c_str(), &st));
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // A link to a file: the file it leads to gets the table, and the link
  // stays a link.
  const std::string real = dir.write("real.csv", "old\n");
  const std::string link = dir.path("link.csv");
  ASSERT_EQ(0, symlink(real.c_str(), link.c_str()));
  r = run({"-o", link, data});
  EXPECT_EQ(kCliAllAnalysed, r.nStatus) << r.err;
  EXPECT_EQ(table, readAll(real));
  EXPECT_EQ(table, readAll(link));
  ASSERT_EQ(0, lstat(link.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(4u, dir.files().size());  // and no temporary file
  // A link that leads nowhere makes no file.
  const std::string dangling = dir.path("dangling.csv");
  ASSERT_EQ(0, symlink(dir.path("none/x.csv").c_str(), dangling.c_str()));
  r = run({"-o", dangling, data});
  EXPECT_EQ(kCliFailed, r.nStatus);
  EXPECT_NE(std::string::npos, r.err.find("leads to no file")) << r.err;
  EXPECT_EQ(5u, dir.files().size());
}

TEST(CommandLine, AnOutputDeviceIsWrittenThroughAndStaysADevice) {
  TempDir dir;
  const std::string data =
      dir.write("data.csv", "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n");
  // A node for /dev/null's device (1, 3), made where the test may.
  const std::string node = dir.path("null");
  if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here";
  }
  const Outcome r = run({"-o", node, data});
  EXPECT_EQ(kCliAllAnalysed, r.nStatus) << r.err;
  struct stat st;
  ASSERT_EQ(0, lstat(node.c_str(), &st));
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(2u, dir.files().size());  // no temporary file
}

TEST(CommandLine, APlotFolderOthersMayChangeIsRefused) {
  TempDir dir;
  const std::string data =
      dir.write("data.csv", "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n");
  const std::string open = dir.path("open");
  ASSERT_EQ(0, mkdir(open.c_str(), 0700));
  ASSERT_EQ(0, chmod(open.c_str(), 0777));
  Outcome r = run({"--plot", open, data});
  EXPECT_NE(std::string::npos, r.err.find("lacks the sticky bit")) << r.err;
  ASSERT_EQ(0, chmod(open.c_str(), 01777));
  r = run({"--plot", open, data});
  EXPECT_EQ(std::string::npos, r.err.find("sticky")) << r.err;
}

TEST(CommandLine, AnOutputNameAsLongAsTheSystemTakesWorks) {
  TempDir dir;
  const std::string data =
      dir.write("data.csv", "case,phase,values\nX,A,1\nX,A,3\nX,B,4\nX,B,7\n");
  for (size_t nLength : {248u, 255u}) {
    const std::string out = dir.path(std::string(nLength - 4, 'n') + ".csv");
    const Outcome r = run({"-o", out, data});
    EXPECT_EQ(kCliAllAnalysed, r.nStatus) << r.err;
    EXPECT_EQ(run({data}).out, readAll(out));
  }
}

TEST(CommandLine, TheOutputMayNotLandInThePlotFolder) {
  TempDir dir;
  const std::string data =
      dir.write("data.csv", "case,phase,values\nAnn,A,1\nAnn,A,3\nAnn,B,4\nAnn,B,7\n");
  const std::string plots = dir.path("plots");
  ASSERT_EQ(0, mkdir(plots.c_str(), 0700));
  const Outcome r = run({"--plot", plots, "-o", plots + "/Ann.svg", data});
  EXPECT_EQ(kCliFailed, r.nStatus);
  EXPECT_NE(std::string::npos, r.err.find("is in the plot folder")) << r.err;
}

// The other effect sizes through the command line: the same numbers in
// CSV, JSON and the library's Result; the direction of improvement; the
// report's block only on request.
TEST(CommandLine, IndicesAgreeInEveryFormatAndWithTheLibrary) {
  const std::vector<kalmir::DataSet> sets = {
      {"Parker", {{"A", {20, 20, 26, 25, 22, 23}},
                  {"B", {28, 25, 24, 27, 30, 30, 29}}}},
      {"flat A", {{"A", {3, 3, 3}}, {"B", {4, 0.1, 6}}}},
      {"flat", {{"A", {2, 2}}, {"B", {2, 2}}}},
  };
  std::string text = "case,phase,values\n";
  for (const kalmir::DataSet& set : sets) {
    for (const kalmir::Phase& phase : set.phases) {
      for (double v : phase.values) {
        std::ostringstream value;
        value << v;
        text += set.name + "," + phase.label + "," + value.str() + "\n";
      }
    }
  }
  TempDir dir;
  const std::string path = dir.write("sets.csv", text);
  const std::vector<std::string> names = kalmir::table_columns();
  const size_t nFirstIndex =
      std::find(names.begin(), names.end(), "improvement") - names.begin();
  ASSERT_LT(nFirstIndex, names.size());
  for (const char* improvement : {"increase", "decrease"}) {
    const Outcome csv = run({"--improvement", improvement, path});
    const Outcome json = run({"--improvement", improvement, "-f", "json", path});
    ASSERT_EQ(kCliAllAnalysed, csv.nStatus) << csv.err;
    ASSERT_EQ(kCliAllAnalysed, json.nStatus) << json.err;
    const std::vector<std::string> rows = lines(csv.out);
    const nlohmann::json array = nlohmann::json::parse(json.out);
    ASSERT_EQ(sets.size() + 1, rows.size());
    for (size_t k = 0; k < sets.size(); ++k) {
      kalmir::Options options = smallSize();
      options.improvement = improvement == std::string("decrease")
                                ? kalmir::Improvement::decrease
                                : kalmir::Improvement::increase;
      kalmir::Result result = kalmir::analyse(sets[k], options);
      const std::vector<kalmir::Field> want = kalmir::table_row(result);
      const std::vector<std::string> got = split(rows[k + 1], ',');
      EXPECT_EQ(improvement, got[nFirstIndex]);
      EXPECT_EQ(improvement, array[k]["improvement"]);
      for (size_t i = nFirstIndex + 1; i + 1 < names.size(); ++i) {
        const std::string where = sets[k].name + ": " + names[i];
        if (want[i].kind == kalmir::FieldKind::empty) {
          EXPECT_EQ("", got[i]) << where;
          EXPECT_TRUE(array[k][names[i]].is_null()) << where;
          continue;
        }
        ASSERT_EQ(kalmir::FieldKind::number, want[i].kind) << where;
        EXPECT_EQ(want[i].number, std::strtod(got[i].c_str(), nullptr))
            << where;
        EXPECT_EQ(want[i].number, array[k][names[i]].get<double>()) << where;
      }
      EXPECT_EQ(result.indices.nap,
                std::strtod(got[nFirstIndex + 1].c_str(), nullptr));
      // The SMDs left empty say why in the notes.
      for (const kalmir::Note& note : result.indices.notes) {
        EXPECT_NE(std::string::npos, rows[k + 1].find(note.text));
      }
    }
  }
  // Only the indices depend on the direction of improvement.
  const std::vector<std::string> up = lines(run({path}).out);
  const std::vector<std::string> down =
      lines(run({"--improvement", "decrease", path}).out);
  for (size_t k = 1; k < up.size(); ++k) {
    const std::vector<std::string> u = split(up[k], ','), d = split(down[k], ',');
    for (size_t i = 0; i < nFirstIndex; ++i) EXPECT_EQ(u[i], d[i]);
  }
  const Outcome bad = run({"--improvement", "up", path});
  EXPECT_EQ(kCliFailed, bad.nStatus);
  EXPECT_EQ("kalmir: unknown direction of improvement \"up\" (increase or "
            "decrease); see kalmir --help\n",
            bad.err);
}

TEST(CommandLine, IndicesOnlyAddABlockToTheReport) {
  TempDir dir;
  const std::string path = dir.write(
      "sets.csv", dataFile({goldenSets()[0], goldenSets()[3]}) +
                      "bad,A,1\nflat,A,5\nflat,A,5\nflat,A,5\nflat,B,6\n"
                      "flat,B,7\n");
  const Outcome plain = run({"-f", "report", path});
  const Outcome with = run({"-f", "report", "--indices", path});
  EXPECT_EQ(kCliSomeFailed, with.nStatus);
  EXPECT_EQ(plain.err, with.err);
  EXPECT_EQ(std::string::npos, plain.out.find("OTHER EFFECT SIZES"));
  // Taking every block out leaves the report without them, byte for byte.
  std::string stripped = with.out;
  int nBlocks = 0;
  for (size_t nAt; (nAt = stripped.find("OTHER EFFECT SIZES")) !=
                   std::string::npos;) {
    const size_t nEnd = stripped.find("\n\n\n", nAt);
    ASSERT_NE(std::string::npos, nEnd);
    const std::string block = stripped.substr(nAt, nEnd + 3 - nAt);
    if (nBlocks == 2) {
      EXPECT_NE(std::string::npos,
                block.find("SMD A SD  \t empty\nSMD pooled\t "))
          << block;
      EXPECT_NE(std::string::npos, block.find("\nNote: the A phase's values "
                                              "do not vary"))
          << block;
    }
    stripped.erase(nAt, nEnd + 3 - nAt);
    ++nBlocks;
  }
  EXPECT_EQ(3, nBlocks);  // the analysed cases
  EXPECT_EQ(plain.out, stripped);
  // The tables do not change with it.
  EXPECT_EQ(run({path}).out, run({"--indices", path}).out);
}

namespace {

// A table's rows as maps from column to field; the notes (last, and the
// only field that may hold a comma) are left out.
std::vector<std::map<std::string, std::string>> tableRows(
    const std::string& csv) {
  const std::vector<std::string> rows = lines(csv);
  const std::vector<std::string> header = split(rows.at(0), ',');
  std::vector<std::map<std::string, std::string>> table;
  for (size_t i = 1; i < rows.size(); ++i) {
    const std::vector<std::string> f = split(rows[i], ',');
    std::map<std::string, std::string> row;
    for (size_t k = 0; k + 1 < header.size() && k < f.size(); ++k) {
      row[header[k]] = f[k];
    }
    table.push_back(row);
  }
  return table;
}

// A figure of the table as the analysis held it (a float), or an average
// (a double), widened exactly.
double figure(const std::map<std::string, std::string>& row,
              const std::string& column) {
  return std::strtod(row.at(column).c_str(), nullptr);
}
double heldFigure(const std::map<std::string, std::string>& row,
                  const std::string& column) {
  return std::strtof(row.at(column).c_str(), nullptr);
}

}  // namespace

TEST(CommandLine, AStudyAveragesItsCasesByHandWithEitherWeights) {
  // Study S: Kim (A B A B), Lou and Max (AB, staggered starts) and Ned, who
  // cannot be analysed; Ann has no study.
  std::string text = "study,case,phase,values\n";
  auto add = [&text](const char* study, const char* name, const char* phase,
                     std::vector<int> values) {
    for (int v : values) {
      text += std::string(study) + "," + name + "," + phase + "," +
              std::to_string(v) + "\n";
    }
  };
  add("S", "Kim", "A", {3, 5, 4, 6, 5});
  add("", "Ann", "A", {1, 3, 2});
  add("S", "Kim", "B", {9, 11, 10, 12, 11});
  add("S", "Kim", "A", {4, 6, 5, 4, 6});
  add("S", "Kim", "B", {10, 13, 11, 13, 12});
  add("S", "Lou", "A", {2, 3, 2, 3, 2, 3});
  add("S", "Lou", "B", {6, 7, 6, 8});
  add("", "Ann", "B", {5, 7, 6});
  add("S", "Ned", "A", {1, 2, 3});
  add("S", "Max", "A", {5, 4, 5, 4, 6, 4, 5});
  add("S", "Max", "B", {9, 8, 9});
  TempDir dir;
  const std::string file = dir.write("study.csv", text);
  for (const char* weights : {"equal", "inverse-variance"}) {
    SCOPED_TRACE(weights);
    const bool bEqual = std::string(weights) == "equal";
    const Outcome r = run({"-j", "2", "--weights", weights, file});
    EXPECT_EQ(kCliSomeFailed, r.nStatus);
    EXPECT_EQ(run({"-j", "1", "--weights", weights, file}).out, r.out);
    const auto rows = tableRows(r.out);
    // The study's cases together where its first case stands, its row
    // after them; Ann after the study.
    std::string order;
    for (const auto& row : rows) {
      order += row.at("case") + "," + row.at("study") + "," + row.at("row") +
               "," + row.at("contrast") + " ";
    }
    ASSERT_EQ(
        "Kim,S,contrast,A1-B1 Kim,S,contrast,B1-A2 Kim,S,contrast,A2-B2 "
        "Kim,S,case, Lou,S,contrast,A1-B1 Ned,S,case, Max,S,contrast,A1-B1 "
        ",S,study, Ann,,contrast,A1-B1 ",
        order);
    EXPECT_EQ("error", rows[5].at("status"));
    // Weights of figures with and without an SE (hand computation):
    // equal, w = 1; inverse-variance, w = 1 / SE^2 of the figure, or of d
    // for a figure without one.
    auto weigh = [bEqual](double se) { return bEqual ? 1.0 : 1 / (se * se); };
    auto average = [&](const std::vector<const std::map<std::string,
                                                         std::string>*>& items,
                       const std::string& est, const std::string& se,
                       bool bAverages, double* pSE) {
      double sumW = 0, sumWE = 0, sumW2V = 0;
      // Of a contrast, KALMIR's own figures are floats, the indices doubles.
      auto get = [bAverages](const std::map<std::string, std::string>& row,
                             const std::string& column) {
        const bool bHeld = !bAverages && (column == "d" || column == "d_se" ||
                                          column == "d_unstd");
        return bHeld ? heldFigure(row, column) : figure(row, column);
      };
      for (const auto* item : items) {
        const double e = get(*item, est);
        const double s = get(*item, se.empty() ? "d_se" : se);
        const double w = weigh(s);
        sumW += w;
        sumWE += w * e;
        if (!se.empty()) sumW2V += w * w * s * s;
      }
      if (pSE != nullptr) *pSE = std::sqrt(sumW2V) / sumW;
      return sumWE / sumW;
    };
    double se = 0;
    // Kim's average of A1-B1 and A2-B2 (not B1-A2).
    const auto& kim = rows[3];
    EXPECT_NEAR(average({&rows[0], &rows[2]}, "d", "d_se", false, &se),
                figure(kim, "d"), 1e-12);
    EXPECT_NEAR(se, figure(kim, "d_se"), 1e-12);
    EXPECT_NEAR(average({&rows[0], &rows[2]}, "nap", "nap_se", false, &se),
                figure(kim, "nap"), 1e-12);
    EXPECT_NEAR(se, figure(kim, "nap_se"), 1e-12);
    EXPECT_NEAR(average({&rows[0], &rows[2]}, "pnd", "", false, nullptr),
                figure(kim, "pnd"), 1e-12);
    EXPECT_NEAR(average({&rows[0], &rows[2]}, "d_unstd", "", false, nullptr),
                figure(kim, "d_unstd"), 1e-12);
    // The study: Kim with the average, Lou and Max with their contrasts;
    // Ned left out.
    const auto& study = rows[7];
    const std::vector<const std::map<std::string, std::string>*> cases = {
        &kim, &rows[4], &rows[6]};
    double seKim = figure(kim, "d_se");
    double sumW = 0, sumWD = 0, sumW2V = 0;
    for (const auto* c : cases) {
      const bool bAverage = c == &kim;
      const double d = bAverage ? figure(*c, "d") : heldFigure(*c, "d");
      const double s = bAverage ? seKim : heldFigure(*c, "d_se");
      const double w = weigh(s);
      sumW += w;
      sumWD += w * d;
      sumW2V += w * w * s * s;
    }
    EXPECT_NEAR(sumWD / sumW, figure(study, "d"), 1e-12);
    EXPECT_NEAR(std::sqrt(sumW2V) / sumW, figure(study, "d_se"), 1e-12);
    if (!bEqual) {
      EXPECT_NEAR(1 / std::sqrt(sumW), figure(study, "d_se"), 1e-12);
    }
    // A summary has no p, no lines and no counts of points.
    for (const auto* row : {&kim, &study}) {
      EXPECT_EQ("", row->at("p"));
      EXPECT_EQ("", row->at("null_int"));
      EXPECT_EQ("", row->at("n_a"));
      EXPECT_EQ("ok", row->at("status"));
    }
    EXPECT_NE(std::string::npos,
              r.out.find("the average leaves out 1 case of the study that "
                         "could not be analysed"));
  }
}

TEST(CommandLine, AStudyOfOneCaseIsAnErrorRowAndAMessage) {
  TempDir dir;
  const std::string file = dir.write(
      "one.csv",
      "study,case,phase,values\nS,X,A,1\nS,X,A,2\nS,X,A,3\nS,X,B,5\n"
      "S,X,B,6\nS,X,B,6\n");
  const Outcome r = run({file});
  EXPECT_EQ(kCliSomeFailed, r.nStatus);
  EXPECT_EQ("kalmir: " + file +
                ":2: study \"S\" has 1 case; a study needs at least 2\n",
            r.err);
  const auto rows = tableRows(r.out);
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("ok", rows[0].at("status"));
  EXPECT_EQ("study", rows[1].at("row"));
  EXPECT_EQ("error", rows[1].at("status"));
  EXPECT_EQ("", rows[1].at("case"));
  EXPECT_EQ("S", rows[1].at("study"));
  const nlohmann::json json = nlohmann::json::parse(run({"-f", "json", file}).out);
  ASSERT_EQ(2u, json.size());
  EXPECT_EQ(file + ":2: study \"S\" has 1 case; a study needs at least 2",
            json[1]["notes"]);
  EXPECT_TRUE(json[1]["d"].is_null());
}
