// What a run tells its user: the exit status and messages of runs that
// cannot do all that was asked (inputs that cannot be read, no
// name-convention file, no date for the data), the date taken from feed
// file names and headings, and the summary line of every run. Each test
// runs the real tavro program in a copy of the bundled example.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace {

using tvtest::file_exists;
using tvtest::read_file;
using tvtest::write_file;

std::string example(const std::string &name) { return read_file(tvtest::source_path("examples/" + name)); }

std::set<std::string> entries(const std::string &dir) {
  std::set<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (const dirent *e = readdir(d)) names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

// Sets the modification time of `path` to `stamp` (UTC, "YYYY-MM-DD HH:MM").
void set_mtime(const std::string &path, const char *stamp) {
  std::tm tm{};
  ASSERT_EQ(std::sscanf(stamp, "%d-%d-%d %d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min), 5);
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  const time_t t = timegm(&tm);
  const timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

// The date label of a converted text file (its second line).
std::string label_of(const std::string &zot) {
  const std::size_t a = zot.find('\n');
  if (a == std::string::npos) return "";
  return zot.substr(a + 1, zot.find('\n', a + 1) - a - 1);
}

// The numbers of a summary line, in order: files, found, then the outcomes.
struct Summary {
  std::vector<long> n;
  std::string line;
  long outcomes_sum() const {
    long s = 0;
    for (std::size_t i = 2; i < n.size(); ++i) s += n[i];
    return s;
  }
};

Summary summary_of(const std::string &out) {
  static const std::regex re(
      "Summary: (\\d+) files? read, (\\d+) reports? found, (\\d+) written, (\\d+) outside the time "
      "window, (\\d+) not selected, (\\d+) dropped as duplicates, (\\d+) merged, (\\d+) not decoded\n");
  std::smatch m;
  Summary s;
  if (!std::regex_search(out, m, re)) return s;
  s.line = m.str(0);
  for (std::size_t i = 1; i < m.size(); ++i) s.n.push_back(std::stol(m.str(i)));
  return s;
}

class Status : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir.file("name_conv"), example("name_conv"));
    write_file(dir.file("syn.cty"), example("syn.cty"));
    write_file(dir.file("23120712.syn"), example("23120712.syn"));
  }
  tvtest::RunResult tavro(const std::string &args, const std::string &input = "") {
    return tvtest::run_command(std::string(TAVRO_EXE) + " " + args, dir.path(), input);
  }
  std::string out(const std::string &name = "23120712.zot") { return read_file(dir.file(name)); }
  // The output of the plain run on the example, to compare others with.
  std::string reference() {
    tvtest::TempDir ref;
    write_file(ref.file("name_conv"), example("name_conv"));
    write_file(ref.file("syn.cty"), example("syn.cty"));
    write_file(ref.file("23120712.syn"), example("23120712.syn"));
    auto r = tvtest::run_command(std::string(TAVRO_EXE) + " -ba -pf over 23120712.syn", ref.path());
    EXPECT_EQ(r.status, 0) << r.err;
    return read_file(ref.file("23120712.zot"));
  }
  tvtest::TempDir dir;
};

// ------------------------------------------------------------ inputs

TEST_F(Status, InputThatDoesNotExistMakesNothing) {
  const auto before = entries(dir.path());
  auto r = tavro("-ba -pf over nosuch.syn");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_decode_file: Unable to open file:nosuch.syn\n");
  EXPECT_EQ(entries(dir.path()), before) << "no file dated 1 JAN 80, no temporary file";
  // The summary still closes the run.
  r = tavro("-ba -pf over -me warn,mess nosuch.syn");
  EXPECT_EQ(summary_of(r.out).n, (std::vector<long>{0, 0, 0, 0, 0, 0, 0, 0})) << r.out;
}

TEST_F(Status, DirectoryInputIsNoFile) {
  ASSERT_EQ(mkdir(dir.file("d").c_str(), 0755), 0);
  const auto before = entries(dir.path());
  auto r = tavro("-ba -pf over d");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_decode_file: Not a regular file: d\n");
  EXPECT_EQ(entries(dir.path()), before);
  // Beside a file that can be read: that one is converted, the run fails.
  r = tavro("-ba -pf over d 23120712.syn");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_decode_file: Not a regular file: d\n");
  EXPECT_EQ(out(), reference());
}

TEST_F(Status, DeviceInputIsNoFile) {
  if (!file_exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero";
  auto r = tavro("-ba -pf over -ho '#2023120712' /dev/zero");
  EXPECT_EQ(r.status, 1) << "a device is never read (it would never end)";
  EXPECT_EQ(r.err, "SYN_decode_file: Not a regular file: /dev/zero\n");
}

TEST_F(Status, NameWithADirectoryGivesItsDate) {
  const std::string want = reference();
  ASSERT_EQ(label_of(want), "1200Z  7 DEC 23");
  ASSERT_EQ(mkdir(dir.file("in").c_str(), 0755), 0);
  write_file(dir.file("in/23120712.syn"), example("23120712.syn"));
  for (const char *name : {"in/23120712.syn", "./23120712.syn", "./in/23120712.syn"}) {
    std::remove(dir.file("23120712.zot").c_str());
    auto r = tavro(std::string("-ba -pf over ") + name);
    EXPECT_EQ(r.status, 0) << name << r.err;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(out(), want) << name;
    EXPECT_FALSE(file_exists(dir.file("80010100.zot"))) << name;
  }
}

// The hours after a name with a directory are looked for in that directory;
// a missing hour is a gap, not a failure, unless no hour can be read.
TEST_F(Status, SequenceOfHoursInTheNamedDirectory) {
  ASSERT_EQ(mkdir(dir.file("in").c_str(), 0755), 0);
  write_file(dir.file("in/23120712.syn"), example("23120712.syn"));
  write_file(dir.file("in/23120713.syn"), example("23120712.syn"));
  auto r = tavro("-ba -pf over -me warn,mess -nh 2 in/23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "SYN_decode_file: Unable to open file:in/23120714.syn\n");
  EXPECT_NE(r.out.find("Processing file: in/23120712.syn\nProcessing file: in/23120713.syn\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(summary_of(r.out).n[0], 2) << r.out;

  std::remove(dir.file("in/23120712.syn").c_str());
  std::remove(dir.file("in/23120713.syn").c_str());
  std::remove(dir.file("23120712.zot").c_str());
  const auto before = entries(dir.path());
  r = tavro("-ba -pf over -nh 1 in/23120712.syn");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "SYN_decode_file: Unable to open file:in/23120712.syn\n"
            "SYN_decode_file: Unable to open file:in/23120713.syn\n");
  EXPECT_EQ(entries(dir.path()), before);
}

TEST_F(Status, LoneCarriageReturnsEndLines) {
  std::string text = example("23120712.syn");
  for (char &c : text)
    if (c == '\n') c = '\r';
  write_file(dir.file("23120712.syn"), text);
  auto r = tavro("-ba -pf over -me warn,mess 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(summary_of(r.out).n[1], 13) << r.out;
  EXPECT_EQ(out(), reference());
}

// ---------------------------------------------------- name conventions

TEST_F(Status, MissingNameConventionWhereTheRunNeedsIt) {
  std::remove(dir.file("name_conv").c_str());
  char real[PATH_MAX];
  ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
  const std::string missing =
      "FILE_set_name: No file name convention file: name_conv (looked for in " + std::string(real) + ")\n";
  const auto before = entries(dir.path());

  auto r = tavro("-ba -pf over 23120712.syn");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, missing +
                       "SYN_decode_all: This run takes the output file name from that file; give it "
                       "with -nc, or name the output file with -of\n");
  EXPECT_EQ(entries(dir.path()), before) << "no file named syn_cvt";

  const std::string for_inputs = "SYN_decode_all: This run takes its input file names from that file; give it with -nc\n";
  r = tavro("-ba -pf over -of out.zot -nh 1 23120712.syn");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, missing + for_inputs);
  r = tavro("-ba -pf over -of out.zot -cu la");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, missing + for_inputs);
  EXPECT_EQ(entries(dir.path()), before);
}

TEST_F(Status, ExplicitNamesNeedNoNameConvention) {
  std::remove(dir.file("name_conv").c_str());
  set_mtime(dir.file("23120712.syn"), "2023-12-09 08:00");
  auto r = tavro("-ba -pf over -of out.zot 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Without the template the date comes from the bulletin heading and the
  // file's time: the same records.
  EXPECT_EQ(out("out.zot"), reference());
}

// ---------------------------------------------------------- the date

TEST_F(Status, WmoFileNameGivesTheDate) {
  const std::string name = "A_SMUS01KWBC071200_C_KWBC_20231207121500_123.txt";
  std::rename(dir.file("23120712.syn").c_str(), dir.file(name).c_str());
  auto r = tavro("-ba -pf over " + name);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(out(), reference());

  // A bulletin of the 31st filed on New Year's Day: the stamp's month before.
  const std::string late = "A_SMUS01KWBC312300CCA_C_KWBC_20240101001500_124.txt";
  std::rename(dir.file(name).c_str(), dir.file(late).c_str());
  r = tavro("-ba -pf over -me warn,mess " + late);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(label_of(out("23123123.zot")), "2300Z 31 DEC 23");
  // The reports of 12 UTC lie outside the window of that hour.
  const Summary s = summary_of(r.out);
  EXPECT_EQ(s.n, (std::vector<long>{1, 13, 0, 13, 0, 0, 0, 0})) << r.out;
}

TEST_F(Status, HeadingGivesTheDayAndTheFileTimeTheMonth) {
  // As feeds deliver it: start of message, sequence number, CR CR LF.
  const std::string text =
      "\x01\r\r\n123\r\r\nSIAA17 LFVW 072100\r\r\nAAXX 07214\r\r\n"
      "89577 46/// /3202 11367 35780 4//// 5////=\r\r\n\x03";
  write_file(dir.file("bulletin.txt"), text);
  struct Case {
    const char *mtime;
    const char *label;
    const char *file;
  };
  for (const Case &c : {Case{"2023-03-08 10:00", "2100Z  7 MAR 23", "23030721.zot"},
                        Case{"2023-01-03 10:00", "2100Z  7 DEC 22", "22120721.zot"}}) {
    set_mtime(dir.file("bulletin.txt"), c.mtime);
    auto r = tavro("-ba -pf over bulletin.txt");
    EXPECT_EQ(r.status, 0) << c.mtime << r.err;
    EXPECT_EQ(label_of(out(c.file)), c.label) << c.mtime;
  }
  // A day the month before does not have: the latest month that has it.
  write_file(dir.file("eom.txt"), "SIAA17 LFVW 312100\nAAXX 31214\n89577 46/// /3202 11367=\n");
  set_mtime(dir.file("eom.txt"), "2023-03-01 10:00");
  auto r = tavro("-ba -pf over eom.txt");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(label_of(out("23013121.zot")), "2100Z 31 JAN 23");
}

TEST_F(Status, NoDateForTheDataIsAnError) {
  write_file(dir.file("plain.txt"), "AAXX 07124\n72403 11560 82705 10150 20089 39981 40132 57010 60001=\n");
  const auto before = entries(dir.path());
  auto r = tavro("-ba -pf over plain.txt");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "SYN_decode_all: No date for the data of plain.txt: its name does not give it and it holds "
            "no bulletin heading; add it to the name as #YYYYMMDDHH or give -ho #YYYYMMDDHH\n");
  EXPECT_EQ(entries(dir.path()), before);
  r = tavro("-ba -pf over -of s.zot -", example("23120712.syn"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "SYN_decode_all: No date for the data of -: a stream is not searched for a heading; give "
            "-ho #YYYYMMDDHH\n");
  EXPECT_EQ(entries(dir.path()), before);

  // Given either way, it is taken.
  r = tavro("-ba -pf over 'plain.txt#2023120712'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(label_of(out()), "1200Z  7 DEC 23");
  r = tavro("-ba -pf over -ho '#2023120712' -of s.zot -", example("23120712.syn"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out("s.zot"), reference());
}

// The first input cannot be read and its name gives no date: the next one
// gives it, so nothing is dated 1 JAN 80.
TEST_F(Status, DateFromTheFirstInputThatCanBeRead) {
  const std::string feed = "A_SMUS01KWBC071200_C_KWBC_20231207121500_123.txt";
  std::rename(dir.file("23120712.syn").c_str(), dir.file(feed).c_str());
  auto r = tavro("-ba -pf over missing.txt " + feed);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_decode_file: Unable to open file:missing.txt\n");
  EXPECT_EQ(out(), reference());
  EXPECT_FALSE(file_exists(dir.file("80010100.zot")));
}

// ------------------------------------------------------------ summary

TEST_F(Status, SummaryOfTheExample) {
  auto r = tavro("-ba -pf over -me warn,mess 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nSummary: 1 file read, 13 reports found, 13 written, 0 outside the time window, "
                       "0 not selected, 0 dropped as duplicates, 0 merged, 0 not decoded\n"),
            std::string::npos)
      << r.out;
  // Batch runs show it only when asked; interactive runs by default.
  r = tavro("-ba -pf over 23120712.syn");
  EXPECT_EQ(r.out.find("Summary:"), std::string::npos);
  r = tavro("-pf over 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(summary_of(r.out).line.empty()) << r.out;

  // A repeated (72403) and a corrected (72405 CCA) report.
  r = tavro("-ba -pf over -me warn,mess -pa update 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(summary_of(r.out).n, (std::vector<long>{1, 13, 11, 0, 0, 1, 1, 0})) << r.out;
}

// Every report ends in one outcome, whichever way the run selects, merges
// or drops it.
TEST_F(Status, SummaryCountsAddUp) {
  write_file(dir.file("23120712.syn"),
             "** SMUS01 KWBC 071200\nAAXX 07124\n"
             "72403 11560 82705 10150 20089 39981 40132 57010 60001=\n"
             "72403 11560 82705 10150 20089 39981 40132 57010 60001=\n"
             "72403 11560 82705 10160 20089 39981 40132 57010 60001 70222 8327/=\n"
             "72530 11462 80000 10100 20050 40150 91445=\n"
             "** SMVX90 KWBC 071200\nBBXX\n"
             "ABCD 07121 99412 71234 41598 82710 10150 20089 40132=\n"
             "EFGH 07//1 99412 71234 41598 82710 10150 20089 40132=\n"
             "46035 07124 99368 71228 41598 31515 10134 40205=\n");
  struct Case {
    const char *args;
    std::vector<long> want;  // files, found, written, outside, not selected, duplicates, merged, not decoded
  };
  for (const Case &c : {Case{"", {1, 7, 5, 1, 0, 0, 0, 1}},
                        Case{"-pa update", {1, 7, 3, 1, 0, 1, 1, 1}},
                        Case{"-pa update -ou ship", {1, 7, 1, 0, 3, 1, 1, 1}},
                        Case{"-ou land", {1, 7, 3, 1, 3, 0, 0, 0}},
                        Case{"-id 72403,abcd", {1, 7, 4, 0, 3, 0, 0, 0}},
                        Case{"-pa range=-10:180", {1, 7, 6, 0, 0, 0, 0, 1}}}) {
    auto r = tavro(std::string("-ba -pf over -me warn,mess ") + c.args + " 23120712.syn");
    EXPECT_EQ(r.status, 0) << c.args << r.err;
    const Summary s = summary_of(r.out);
    ASSERT_EQ(s.n.size(), 8u) << c.args << r.out;
    EXPECT_EQ(s.n, c.want) << c.args << "\n" << s.line;
    EXPECT_EQ(s.outcomes_sum(), s.n[1]) << c.args;
    // "written" is what the file holds.
    const std::string zot = out();
    long records = 0;
    for (char ch : zot) records += ch == '\n';
    EXPECT_EQ(records - 2, s.n[2]) << c.args;
  }
}

// ------------------------------------------------------- real feed files

class FeedCorpus : public testing::Test {
 protected:
  void SetUp() override {
    if (tvtest::corpus_dir().empty()) GTEST_SKIP() << "no corpus";
    write_file(dir.file("name_conv"), example("name_conv"));
    write_file(dir.file("syn.cty"), "");
  }
  // Converts `path` into out.zot; its date label.
  std::string label(const std::string &path) {
    std::remove(dir.file("out.zot").c_str());
    auto r = tvtest::run_command(std::string(TAVRO_EXE) + " -ba -pf over -of out.zot '" + path + "'", dir.path());
    EXPECT_EQ(r.status, 0) << path << r.err;
    EXPECT_EQ(r.err, "") << path;
    return label_of(read_file(dir.file("out.zot")));
  }
  tvtest::TempDir dir;
};

TEST_F(FeedCorpus, RomanianFilesCarryTheirDatesInTheirNames) {
  const std::string corpus = tvtest::corpus_dir();
  const std::string first = corpus + "/wmo-im_synop2bufr/A_SMRO01YRBK211200_C_EDZW_20220321120500_12524785.txt";
  if (!file_exists(first)) GTEST_SKIP() << "file not in the corpus";
  EXPECT_EQ(label(first), "1200Z 21 MAR 22");

  // The others: heading day and hour from the name, year and month from its stamp.
  static const char *kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                  "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const std::regex name_re("A_SMRO01YRBK(\\d\\d)(\\d\\d)(\\d\\d)[A-Z]*_C_EDZW_(\\d\\d\\d\\d)(\\d\\d)\\d+_\\d+\\.txt");
  int seen = 0;
  const std::string romania = corpus + "/wmo-im_wis2box/romania";
  for (const std::string &name : entries(romania)) {
    std::smatch m;
    if (!std::regex_match(name, m, name_re)) continue;
    char want[40];
    std::snprintf(want, sizeof want, "%s%sZ %2d %s %s", m.str(2).c_str(), m.str(3).c_str(), std::stoi(m.str(1)),
                  kMonths[std::stoi(m.str(5)) - 1], m.str(4).substr(2).c_str());
    EXPECT_EQ(label(romania + "/" + name), want) << name;
    ++seen;
  }
  EXPECT_GT(seen, 0);
}

TEST_F(FeedCorpus, HeadingOnlyFileTakesTheMonthOfItsFileTime) {
  const std::string src =
      tvtest::corpus_dir() + "/wmo-im_wis2box/SIAA17_LFVW_072100_38a15a51272a14f2b16e242b8f43aa97.txt";
  if (!file_exists(src)) GTEST_SKIP() << "file not in the corpus";
  const std::string copy = dir.file("SIAA17_LFVW_072100_38a15a51272a14f2b16e242b8f43aa97.txt");
  write_file(copy, read_file(src));
  set_mtime(copy, "2024-05-07 21:20");
  EXPECT_EQ(label(copy), "2100Z  7 MAY 24");
  const std::string zot = read_file(dir.file("out.zot"));
  EXPECT_EQ(zot.substr(zot.find('\n', 7) + 1, 6), "89577 ") << "the report is in the window";
  set_mtime(copy, "2024-05-06 03:00");
  EXPECT_EQ(label(copy), "2100Z  7 APR 24");
}

}  // namespace
