// Message layer (levels, destinations, log files, paging) and flags.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/date.hpp"
#include "framework/flag.hpp"
#include "framework/mess.hpp"
#include "framework/system.hpp"
#include "testutil.hpp"

using tvtest::read_file;
using tvtest::TempDir;
using tvtest::write_file;

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Standard input from a text, as from a pipe.
void feed_stdin(const TempDir &dir, const std::string &text) {
  write_file(dir.file("stdin"), text);
  ASSERT_NE(std::freopen(dir.file("stdin").c_str(), "r", stdin), nullptr);
}

// True when `line` is "YY MON DD  HH:MM:SSZ -- " followed by `message`.
bool stamped(const std::string &line, const std::string &message) {
  static const char *const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const std::string shape = "99 MON 99  99:99:99Z -- ";
  if (line.size() != shape.size() + message.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == '9' ? !std::isdigit(static_cast<unsigned char>(line[i]))
                        : (shape[i] != 'M' && shape[i] != 'O' && shape[i] != 'N' && line[i] != shape[i]))
      return false;
  }
  bool month = false;
  for (const char *m : months) month = month || line.compare(3, 3, m) == 0;
  const int hour = std::stoi(line.substr(12, 2)), min = std::stoi(line.substr(15, 2));
  return month && hour < 24 && min < 60 && line.compare(shape.size(), std::string::npos, message) == 0;
}

// Each test starts from the initial level, the terminal without a log
// file of its own (the null device stands in), no paging and no batch mode.
class Mess : public ::testing::Test {
 protected:
  void SetUp() override {
    MESS_set_str("-fi=/dev/null,nopage,line=22");
    MESS_set(0, 0x000FFFFF);
    FLAG_set(19, -9999);
  }
  void TearDown() override { SetUp(); }
  TempDir dir_;
};

}  // namespace

// Start-up state and the batch default, which yields to a user setting.
// Run in a fresh process so that no earlier test has set anything.
TEST(MessStart, InitialStateAndBatchDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::fprintf(stderr, "level=%x set=%d lines=%d\n", MESS_get(), MESS_check_set(),
                     MESS_get_max_lines());
        FLAG_set(19, 1);
        MESS_set(20, 255);
        const int progress = MESS_print(3840, "progress\n");
        const int warn = MESS_print(192, "warned\n");
        std::fprintf(stderr, "batch=%x %d %d\n", MESS_get(), progress, warn);
        MESS_set_str("mess");
        MESS_set(20, 255);
        std::fprintf(stderr, "user=%x set=%d\n", MESS_get(), MESS_check_set());
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "level=fffff set=0 lines=22\nwarned\nbatch=ff 0 1\nuser=fff set=1\n");
}

TEST_F(Mess, DestinationByLevel) {
  CaptureStdout();
  CaptureStderr();
  EXPECT_EQ(MESS_print(3840, "progress %d\n", 1), 1);
  EXPECT_EQ(MESS_print(0x400000, "raw text\n"), 0);
  EXPECT_EQ(MESS_print(192, "SYN_decode_file: Unable to open file:%s\n", "x"), 1);
  EXPECT_EQ(MESS_print(0x10, "error a\n"), 1);
  EXPECT_EQ(MESS_print(15, "help\n"), 1);
  MESS_set_str("none");
  EXPECT_EQ(MESS_print(192, "failure\n"), 0);
  EXPECT_EQ(GetCapturedStdout(), "progress 1\nhelp\n");
  EXPECT_EQ(GetCapturedStderr(), "SYN_decode_file: Unable to open file:x\nerror a\n");
}

TEST_F(Mess, KeywordMasksAndSigns) {
  const std::pair<const char *, M_type> cases[] = {
      {"mess,+debugd", 0x80000FFF}, {"out1,-warn", 0x0000FF3F}, {"warna", 0},
      {"errorc", 0},                {"out3c", 0x007FFFFF},      {"debugd", 0xFFFFFFFF},
      {"error", 0x3F},              {"MESS,+DEBUGD", 0x80000FFF}, {"none,+out4", 0x0F000000},
      {"bogus", 0},                 {"warn,+bogus", 0xFF},      {"out2,-out1b", 0x000FDFFF},
      {"mess,+out3c,+out3a", 0x00500FFF}, {"pr", 0},            {"messages", 0xFFF},
      {"-none", 0x000FFFFF},
      // Blanks around a token and empty tokens must not silence the program.
      {" mess , +warn ", 0xFFF},    {"warn,,+mess", 0xFFF},     {",", 0x000FFFFF},
  };
  for (const auto &[value, level] : cases) {
    MESS_set(0, 0x000FFFFF);
    MESS_set_str(value);
    EXPECT_EQ(MESS_get(), level) << value;
  }
}

// The words that a setting may hold without silencing the program by
// mistake: every keyword MESS_set_str acts on, and nothing else.
TEST(MessWords, KnownWordsAreTheOnesTheSettingActsOn) {
  for (const char *w : {"none", "print", "error", "warn", "mess", "out1", "out4", "debug", "warna", "errorc",
                        "messages", "MESS", "+debugd", "-out1b", " mess ", "", "page", "nopage", "line=40",
                        "fi=run.log", "+fi=run.log", "-fi:x", "@fi=x", "dfi=x"})
    EXPECT_EQ(MESS_known_word(w), 1) << w;
  for (const char *w : {"bogus", "mes", "pr", "+bogus", "pages", "out", "deb", "+", "mesage"})
    EXPECT_EQ(MESS_known_word(w), 0) << w;
}

TEST_F(Mess, SetOperationsAndWeights) {
  MESS_set(0, 0x900);
  EXPECT_EQ(MESS_get(), 0xFFFu);
  MESS_set(1, 0x100000);
  MESS_set(-1, 0xF);
  EXPECT_EQ(MESS_get(), 0x100FF0u);
  // Weight 10 always applies and does not count as a user setting.
  int before = MESS_check_set();
  MESS_set(10, 0xC0);
  MESS_set(11, 0x800);
  MESS_set(9, 0x40);
  EXPECT_EQ(MESS_get(), 0x8BFu);
  EXPECT_EQ(MESS_check_set(), before);
  // Weight 20 yields once anything was set; other operations change nothing.
  MESS_set(0, 0xF);
  EXPECT_EQ(MESS_check_set(), before + 1);
  for (int oper : {20, 21, 19, 2, 3, 5, -2, 12, 22}) MESS_set(oper, 0xFFFFFFFF);
  EXPECT_EQ(MESS_get(), 0xFu);
  EXPECT_EQ(MESS_check_set(), before + 1);
  // One count per MESS_set_str call, however many tokens.
  MESS_set_str("mess,+out1,nopage");
  EXPECT_EQ(MESS_check_set(), before + 2);
  EXPECT_EQ(MESS_check(0x1000), 1);
  EXPECT_EQ(MESS_check(0x10000), 0);
}

TEST_F(Mess, LinesPerScreen) {
  MESS_set_str("line=40");
  EXPECT_EQ(MESS_get_max_lines(), 40);
  MESS_set_str("LINE:7");
  EXPECT_EQ(MESS_get_max_lines(), 7);
  for (const char *bad : {"line=0", "line=-5", "line", "lines=40", "line=x"}) {
    MESS_set_str("line=9");
    MESS_set_str(bad);
    EXPECT_EQ(MESS_get_max_lines(), 22) << bad;
  }
  MESS_set_str("line=99999999999999999999999");
  EXPECT_GT(MESS_get_max_lines(), 22);
  EXPECT_EQ(MESS_get(), 0x000FFFFFu);  // paging tokens leave the level alone
}

TEST_F(Mess, PagingPausesAfterAScreenful) {
  MESS_set_str("page,line=3");
  feed_stdin(dir_, "xyz");
  CaptureStdout();
  CaptureStderr();
  MESS_print(15, "1\n2\n3\n4\n");
  MESS_print(15, "after\n");             // counting restarted at the pause
  MESS_print(15, "%s", "a\nb\nc\nd\n");  // the format's line feeds count, not the text's
  MESS_hold(0xF0, "both\n");             // an error and a warn bit: standard error
  MESS_hold(0x400000, "off\n");          // not enabled: no output, nothing read
  FLAG_set(19, 1);
  MESS_print(15, "1\n2\n3\n4\n");        // no pause in batch mode
  EXPECT_EQ(std::getchar(), 'z');        // each pause read exactly one character
  EXPECT_EQ(GetCapturedStdout(),
            "1\n2\n3\n4\nPress return to continue\nafter\na\nb\nc\nd\n1\n2\n3\n4\n");
  EXPECT_EQ(GetCapturedStderr(), "both\n");
}

TEST_F(Mess, LogFileModes) {
  const std::string log = dir_.file("run.log"), only = dir_.file("only.log");
  write_file(log, "old\n");
  write_file(only, "kept\n");
  CaptureStdout();
  CaptureStderr();
  MESS_set_str(("-fi=" + log).c_str());  // truncates
  MESS_print(3840, "one\n");
  MESS_print(192, "two\n");
  MESS_print(0x400000, "hidden\n");
  MESS_set_str(("+fi:" + log).c_str());  // appends; any separator
  MESS_print(3840, "three\n");
  MESS_set_str(("fi=" + only).c_str());  // log file only
  EXPECT_EQ(MESS_print(3840, "quiet\n"), 0);
  EXPECT_EQ(MESS_print(192, "quiet too\n"), 0);
  MESS_set_str("-fi=/dev/null");
  EXPECT_EQ(GetCapturedStdout(), "one\nthree\n");
  EXPECT_EQ(GetCapturedStderr(), "two\n");
  EXPECT_EQ(read_file(log), "one\ntwo\nthree\n");
  EXPECT_EQ(read_file(only), "kept\nquiet\nquiet too\n");
}

// The time comes from the date module, which installs it when the program
// starts; this program does not link that module, so the test installs it.
TEST_F(Mess, TimeStampedLog) {
  const MESS_stamp_fn before = MESS_use_stamp(DATE_get_current_str);
  const std::string log = dir_.file("stamp.log");
  MESS_set_str(("@fi=" + log).c_str());
  CaptureStdout();
  EXPECT_EQ(MESS_print(3840, "first\n"), 1);
  MESS_print(3840, "second %s\n", "x");
  MESS_set_str("-fi=/dev/null");
  EXPECT_EQ(GetCapturedStdout(), "first\nsecond x\n");
  const std::string text = read_file(log);
  const std::size_t feed = text.find('\n');
  ASSERT_NE(feed, std::string::npos) << text;
  EXPECT_TRUE(stamped(text.substr(0, feed + 1), "first\n")) << text;
  EXPECT_TRUE(stamped(text.substr(feed + 1), "second x\n")) << text;
  EXPECT_TRUE(stamped("26 DEC 07  06:48:13Z -- m\n", "m\n"));
  EXPECT_FALSE(stamped("26 DEC 07 06:48:13Z -- m\n", "m\n"));
  MESS_use_stamp(before);
}

// Without a time stamp function the lines are still marked, and nothing is
// lost; a stamp function that gives nothing counts as none.
TEST_F(Mess, StampedLogWithoutTheDateModule) {
  const MESS_stamp_fn before = MESS_use_stamp(nullptr);
  const std::string log = dir_.file("bare.log");
  MESS_set_str(("@fi=" + log).c_str());
  CaptureStdout();
  MESS_print(3840, "first\n");
  MESS_use_stamp([](char *) -> char * { return nullptr; });
  MESS_print(3840, "second\n");
  MESS_use_stamp([](char *buf) -> char * { return std::strcpy(buf, "NOW"); });
  MESS_print(3840, "third\n");
  MESS_set_str("-fi=/dev/null");
  EXPECT_EQ(GetCapturedStdout(), "first\nsecond\nthird\n");
  EXPECT_EQ(read_file(log), " -- first\n -- second\nNOW -- third\n");
  MESS_use_stamp(before);
}

TEST_F(Mess, ReopenedLogPerMessage) {
  const std::string log = dir_.file("sub/dir/each.log");  // directories are made
  MESS_set_str(("dfi=" + log).c_str());
  CaptureStdout();
  MESS_print(3840, "a\n");
  EXPECT_EQ(read_file(log), "a\n");  // already closed, nothing left in a buffer
  std::remove(log.c_str());
  MESS_print(3840, "b\n");
  EXPECT_EQ(read_file(log), "b\n");
  EXPECT_EQ(GetCapturedStdout(), "a\nb\n");
}

// Standard output as a log must survive being "closed"; a pipe is closed
// as a pipe, which waits for its command.
TEST_F(Mess, StreamAndPipeLogs) {
  CaptureStdout();
  MESS_set_str("dfi=-");
  MESS_print(3840, "twice\n");
  MESS_set_str("+fi=-");
  MESS_print(3840, "again\n");
  const std::string sorted = dir_.file("sorted");
  MESS_set_str(("fi=|sort >" + sorted).c_str());
  MESS_print(3840, "b\n");
  MESS_print(3840, "a\n");
  MESS_set_str("-fi=/dev/null");
  EXPECT_EQ(MESS_print(3840, "still\n"), 1);
  EXPECT_EQ(GetCapturedStdout(), "twice\ntwice\nagain\nagain\nstill\n");
  EXPECT_EQ(read_file(sorted), "a\nb\n");
}

TEST_F(Mess, LogFileNameLimit) {
  const std::string log = dir_.file("keep.log");
  MESS_set_str(("-fi=" + log).c_str());
  std::string ok = dir_.path() + "/";
  ok += std::string(159 - ok.size(), 'n');
  const std::string too_long = ok + "x";
  const std::string refused = "MESS_set_str: Log file name too long: +fi=" + too_long + "\n";
  CaptureStderr();
  MESS_set_str(("+fi=" + too_long).c_str());
  MESS_print(3840, "to keep\n");  // the refused token left the old log in place
  MESS_set_str(("+fi=" + ok).c_str());
  MESS_print(3840, "to ok\n");
  MESS_set_str("-fi=/dev/null");
  EXPECT_EQ(GetCapturedStderr(), refused);
  EXPECT_EQ(read_file(log), refused + "to keep\n");
  EXPECT_EQ(read_file(ok), "to ok\n");
  EXPECT_FALSE(tvtest::file_exists(too_long));
}

// A log that cannot be opened must not swallow the messages.
TEST_F(Mess, UnopenableLogKeepsTerminal) {
  CaptureStdout();
  CaptureStderr();
  MESS_set_str("fi=/dev/null/x.log");
  EXPECT_EQ(MESS_print(3840, "visible\n"), 1);
  EXPECT_EQ(GetCapturedStdout(), "visible\n");
  EXPECT_EQ(GetCapturedStderr(), "MESS_set_str: Unable to open log file: /dev/null/x.log\n");
}

// A log that can no longer be written gives way to the terminal, once.
TEST_F(Mess, FailingLogGoesBackToTheTerminalWithOneWarning) {
  if (!tvtest::file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string big(5000, 'f');  // more than a stdio buffer: written at once
  for (const char *setting : {"fi=/dev/full", "dfi=/dev/full"}) {
    MESS_set_str(setting);
    CaptureStdout();
    CaptureStderr();
    const int first = MESS_print(3840, "%s\n", big.c_str());
    MESS_print(3840, "next\n");
    MESS_print(3840, "last\n");
    EXPECT_EQ(first, 1) << setting;
    EXPECT_EQ(GetCapturedStdout(), big + "\nnext\nlast\n") << setting;
    EXPECT_EQ(GetCapturedStderr(), "MESS_print: Unable to write log file, messages go to the terminal: /dev/full\n")
        << setting;
  }
}

// A setting that is not the user's names a file, never a command.
TEST_F(Mess, LogCommandRunsOnlyForTheUser) {
  const std::string marker = dir_.file("marker");
  const std::string cmd = "|touch " + marker;
  CaptureStdout();
  CaptureStderr();
  MESS_set_str_from(("+fi=" + cmd).c_str(), 0);
  EXPECT_EQ(MESS_print(3840, "shown\n"), 1);
  EXPECT_EQ(GetCapturedStdout(), "shown\n");
  EXPECT_EQ(GetCapturedStderr(), "FILE_open: Not run as a command (not given by the user): " + cmd +
                                     "\nMESS_set_str: Unable to open log file: " + cmd + "\n");
  EXPECT_FALSE(tvtest::file_exists(marker));
  // Reopened per message: refused once, and a later setting of the user's
  // does not lend it the right to run.
  CaptureStdout();
  CaptureStderr();
  MESS_set_str_from(("dfi=" + cmd).c_str(), 0);
  MESS_set_str("+mess");
  MESS_print(3840, "one\n");
  MESS_print(3840, "two\n");
  EXPECT_EQ(GetCapturedStdout(), "one\ntwo\n");
  EXPECT_EQ(GetCapturedStderr(), "FILE_open: Not run as a command (not given by the user): " + cmd +
                                     "\nMESS_set_str: Unable to open log file: " + cmd + "\n");
  EXPECT_FALSE(tvtest::file_exists(marker));
  MESS_set_str_from(("+fi=" + cmd).c_str(), 1);
  MESS_set_str("-fi=/dev/null");  // waits for the command
  EXPECT_TRUE(tvtest::file_exists(marker));
}

TEST_F(Mess, LongMessageIsComplete) {
  const std::string big(5000, 'q'), log = dir_.file("big.log");
  MESS_set_str(("-fi=" + log).c_str());
  CaptureStdout();
  EXPECT_EQ(MESS_print(3840, "<%s>%d\n", big.c_str(), 7), 1);
  MESS_set_str("-fi=/dev/null");
  EXPECT_EQ(GetCapturedStdout(), "<" + big + ">7\n");
  EXPECT_EQ(read_file(log), "<" + big + ">7\n");
}

TEST_F(Mess, Banner) {
  CaptureStdout();
  EXPECT_EQ(MESS_print_prog("SURFACE SYNOPTIC DATA CONVERSION PROGRAM"), 0);
  MESS_set_str("warn");
  MESS_print_prog("HIDDEN");
  EXPECT_EQ(GetCapturedStdout(), std::string("      SURFACE SYNOPTIC DATA CONVERSION PROGRAM (Ver ") +
                                     ZOT_version() + ")\n\n");
}

TEST(Flag, BoundsBatchAndHelp) {
  EXPECT_EQ(FLAG_get(30), 0);
  EXPECT_EQ(FLAG_get(-1), 0);
  EXPECT_EQ(FLAG_set(30, 1), -1);
  EXPECT_EQ(FLAG_set(-1, 1), -1);
  EXPECT_EQ(FLAG_set(29, 7), 0);
  EXPECT_EQ(FLAG_get(29), 7);
  FLAG_reset(-9999);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(FLAG_get(i), -9999) << i;
  EXPECT_EQ(FLAG_batch() + FLAG_help(), 0);
  FLAG_set(19, 0);
  EXPECT_EQ(FLAG_batch(), 0);
  FLAG_set(19, 2);
  FLAG_set(20, 1);
  EXPECT_EQ(FLAG_batch(), 1);
  EXPECT_EQ(FLAG_help(), 1);
  FLAG_reset(-9999);
}

TEST(Flag, PlotSums) {
  FLAG_resetplot(1);
  EXPECT_EQ(FLAG_setplot(3, 0), 0);
  EXPECT_EQ(FLAG_getplot(0), 5);
  EXPECT_EQ(FLAG_getplot(12), 5 + 10);
  FLAG_setplot(0, 0);
  for (int i = 0; i <= 6; ++i) EXPECT_EQ(FLAG_getplot(i), 0) << i;
  EXPECT_EQ(FLAG_getplot(12), 5);  // entries 7 to 11
  FLAG_setplot(12, 2);
  EXPECT_EQ(FLAG_getplot(11), 2);
  EXPECT_EQ(FLAG_getplot(0), 12);
  EXPECT_EQ(FLAG_getplot(12), 12 + 22);
  // Types outside 0 to 12 are refused and change nothing.
  EXPECT_EQ(FLAG_setplot(13, 5), -1);
  EXPECT_EQ(FLAG_setplot(-1, 5), -1);
  EXPECT_EQ(FLAG_getplot(13), 0);
  EXPECT_EQ(FLAG_getplot(12), 34);
  FLAG_resetplot(1);
}
