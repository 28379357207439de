// End to end: names beginning with "|" run a command only when the user gave
// them; defaults files are bounded and only regular files are read; a pipe
// whose reader goes away ends neither the run (a log) nor silently (the
// output). Each command here would create a marker file if it ran.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "testutil.hpp"

namespace {

using tvtest::file_exists;
using tvtest::read_file;
using tvtest::write_file;

std::string data(const std::string &name) { return read_file(tvtest::source_path("tests/data/run/" + name)); }

std::string repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A scratch directory like a feed directory: name conventions, stations and
// the bulletin file 23120712.syn of the run tests.
class SafeNames : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir.file("name_conv"), data("name_conv"));
    write_file(dir.file("syn.cty"), data("syn.cty"));
    write_file(dir.file("23120712.syn"), data("main.syn"));
  }
  tvtest::RunResult tavro(const std::string &args, const std::string &env = "", const std::string &input = "") {
    return tvtest::run_command(env + " timeout 60 " + TAVRO_EXE + " " + args, dir.path(), input);
  }
  bool ran() const { return file_exists(dir.file("marker")); }
  std::string out(const std::string &name = "23120712.zot") { return read_file(dir.file(name)); }
  tvtest::TempDir dir;
};

// ------------------------------------------------- defaults in the current directory

const std::string kRefusedOut =
    "RES_decode: Command refused, value ignored: tavro.out_file in ./zot.cfg (a defaults file in the current "
    "directory)\n";

TEST_F(SafeNames, OutFileCommandInALocalDefaultsFileNeverRuns) {
  write_file(dir.file("zot.cfg"), "tavro.out_file |touch${IFS}marker;cat>/dev/null\n");
  auto r = tavro("-ba -pf over 23120712.syn");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kRefusedOut);
  EXPECT_FALSE(ran());
  EXPECT_EQ(out(), data("default.zot")) << "the value is ignored: the usual output";

  // Reached through a relative path that resolves to the current directory.
  std::string base = dir.path().substr(dir.path().rfind('/') + 1);
  r = tavro("-ba -pf over 23120712.syn", "zotdefault=../" + base);
  EXPECT_EQ(r.err, "RES_decode: Command refused, value ignored: tavro.out_file in ../" + base +
                       "/zot.cfg (a defaults file in the current directory)\n");
  EXPECT_FALSE(ran());
}

TEST_F(SafeNames, LogCommandInALocalDefaultsFileNeverRuns) {
  write_file(dir.file("zot.cfg"), "tavro.message mess,+fi=|touch${IFS}marker\n");
  auto r = tavro("-ba -pf over 23120712.syn");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "RES_decode: Command refused, value ignored: tavro.message in ./zot.cfg (a defaults file in the "
            "current directory)\n");
  EXPECT_EQ(r.out, "") << "batch mode's level stays: the refused setting is not half applied";
  EXPECT_FALSE(ran());
}

TEST_F(SafeNames, CommandsTheUserGivesStillRun) {
  write_file(dir.file("zot.cfg"), "tavro.out_file |touch${IFS}marker;cat>/dev/null\n");
  // The command line and the environment win over the refused value, and run.
  auto r = tavro("-ba -pf over -of '|cat>piped.zot' 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out("piped.zot"), data("default.zot"));
  r = tavro("-ba -pf over 23120712.syn", "zotout_file='|cat>env.zot'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out("env.zot"), data("default.zot"));
  r = tavro("-ba -pf over -me 'mess,+fi=|cat>log.txt' 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Processing file: 23120712.syn\n"), std::string::npos) << r.out;
  EXPECT_EQ(out("log.txt"), r.out) << "the log command ran and got every message";
  EXPECT_FALSE(ran());

  // The same file outside the current directory is the user's own.
  tvtest::TempDir etc;
  write_file(etc.file("zot.cfg"), "tavro.out_file |touch${IFS}" + dir.file("marker") + ";cat>/dev/null\n");
  std::remove(dir.file("zot.cfg").c_str());
  r = tavro("-ba -pf over 23120712.syn", "zotdefault=" + etc.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(ran());
}

// --------------------------------------------------- names found on disk

// The input template makes names that begin with "|": a file so named lies in
// the feed directory, and running it would create "marker23120712".
class FeedFiles : public SafeNames {
 protected:
  void SetUp() override {
    SafeNames::SetUp();
    write_file(dir.file("name_conv"), "syn_dat |>marker%y%m%d%h -\nsyn_cvt %y%m%d%h.zot -\n");
    std::rename(dir.file("23120712.syn").c_str(), dir.file("|>marker23120712").c_str());
  }
  bool ran_any() const {
    return file_exists(dir.file("marker23120712")) || file_exists(dir.file("marker23120713")) ||
           file_exists(dir.file("marker23120714"));
  }
};

TEST_F(FeedFiles, LatestFileWithABarNameIsReadAsAFile) {
  auto r = tavro("-ba -pf over -cu la", "zotcurtime=202312071500");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(ran_any());
  EXPECT_EQ(out(), data("default.zot"));
}

TEST_F(FeedFiles, ShellGlobAndTemplateSequenceNeverRunAName) {
  // The glob gives the existing file; the span adds two names built from the
  // template that do not exist: refused, not run.
  auto r = tavro("-ba -pf over -nh 2 \\|*");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "FILE_open: Not run as a command (not given by the user): |>marker23120713\n"
            "SYN_decode_file: Unable to open file:|>marker23120713\n"
            "FILE_open: Not run as a command (not given by the user): |>marker23120714\n"
            "SYN_decode_file: Unable to open file:|>marker23120714\n");
  EXPECT_FALSE(ran_any());
  EXPECT_EQ(out(), data("default.zot"));
}

TEST_F(FeedFiles, NameChosenFromTheListingIsAFile) {
  auto r = tavro("-pf over", "", "|>marker23120712\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("List of available files:\n|>marker23120712\n"), std::string::npos) << r.out;
  EXPECT_FALSE(ran_any());
  EXPECT_EQ(out(), data("default.zot"));
}

// ------------------------------------------------------ defaults input

TEST_F(SafeNames, DefaultsThatAreNoRegularFileAreRefusedWithoutHanging) {
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("etc").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("etc/zot.cfg").c_str(), 0755), 0);
  auto r = tavro("-ba -pf over 23120712.syn", "zotdefault=/dev/zero:fifo:etc:/dev/null");
  EXPECT_EQ(r.status, 0) << "124: timed out reading";
  EXPECT_EQ(r.err,
            "DEF_open: Not a regular file, not read: /dev/zero\n"
            "DEF_open: Not a regular file, not read: fifo\n"
            "DEF_open: Not a regular file, not read: etc/zot.cfg\n");
  EXPECT_EQ(out(), data("default.zot")) << "the run goes on";
}

TEST_F(SafeNames, DefaultsFileOverTheCapIsRefusedWhole) {
  std::string text = "tavro.out_file capped.zot\n";
  text += repeat("# padding padding padding padding padding padding padding padding padding pad\n", 13800);
  ASSERT_GT(text.size(), 1u << 20);
  write_file(dir.file("big.cfg"), text);
  auto r = tavro("-ba -pf over 23120712.syn", "zotdefault=big.cfg");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "DEF_open: Defaults file larger than 1048576 bytes, not read: big.cfg\n");
  EXPECT_FALSE(file_exists(dir.file("capped.zot")));
  EXPECT_EQ(out(), data("default.zot"));
}

// ------------------------------------------------------------ broken pipes

// Many reports: far more output and messages than a pipe holds.
class BrokenPipes : public SafeNames {
 protected:
  void SetUp() override {
    SafeNames::SetUp();
    write_file(dir.file("23120712.syn"), repeat(data("main.syn"), 1000));
  }
};

TEST_F(BrokenPipes, LogCommandThatExitsLeavesTheRunGoingOnTheTerminal) {
  auto ref = tavro("-ba -pf over -me warn,out3 23120712.syn");
  ASSERT_EQ(ref.status, 0) << ref.err;
  ASSERT_GT(ref.out.size(), 200000u);
  const std::string converted = out();
  std::remove(dir.file("23120712.zot").c_str());
  const std::string warning = "MESS_print: Unable to write log file, messages go to the terminal: |true\n";

  // Log only: what the log could not take comes back to the terminal.
  auto r = tavro("-ba -pf over -me 'warn,out3,fi=|true' 23120712.syn");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, warning);
  ASSERT_GT(r.out.size(), ref.out.size() / 2);
  EXPECT_EQ(ref.out.compare(ref.out.size() - r.out.size(), r.out.size(), r.out), 0)
      << "the listing goes on to its end";
  EXPECT_EQ(out(), converted) << "and so does the conversion";

  // A copy in the log: the terminal gets everything, the log gives up once.
  r = tavro("-ba -pf over -me 'warn,out3,+fi=|head -c1 >/dev/null' 23120712.syn");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "MESS_print: Unable to write log file, messages go to the terminal: |head -c1 >/dev/null\n");
  EXPECT_EQ(r.out, ref.out);
}

TEST_F(BrokenPipes, OutputReaderThatExitsIsAnError) {
  auto r = tavro("-ba -pf over -of '|head$IFS-c1>/dev/null' 23120712.syn");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SFC_close: Error writing converted data file\n");

  // Standard output into a reader that stops at once.
  r = tvtest::run_command(std::string("( ") + TAVRO_EXE +
                              " -ba -pf over -of - 23120712.syn 2>err.txt; echo $? >status.txt ) | head -c1 >/dev/null",
                          dir.path());
  EXPECT_EQ(read_file(dir.file("status.txt")), "1\n");
  EXPECT_EQ(read_file(dir.file("err.txt")), "SFC_close: Error writing converted data file\n");
}

}  // namespace
