// End to end: the tavro program converts bulletin files in a scratch
// directory, and its output files are compared byte for byte with files
// written by hand from the record formats (tests/data/run).
#include <gtest/gtest.h>

#include <string>

#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::write_file;

std::string data(const std::string &name) {
  return read_file(tvtest::source_path("tests/data/run/" + name));
}

// A scratch directory with the name conventions (syn_dat and syn_cvt named
// by date and hour), a small station database and the bulletin file
// 23120712.syn, which makes the run's date 7 December 2023, 12 UTC.
class Run : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir.file("name_conv"), data("name_conv"));
    write_file(dir.file("syn.cty"), data("syn.cty"));
    write_file(dir.file("23120712.syn"), data("main.syn"));
  }
  tvtest::RunResult tavro(const std::string &args) {
    return tvtest::run_command(std::string(TAVRO_EXE) + " -ba " + args, dir.path());
  }
  std::string out(const std::string &name = "23120712.zot") { return read_file(dir.file(name)); }
  tvtest::TempDir dir;
};

TEST_F(Run, DefaultRunWritesEveryClassAsText) {
  auto r = tavro("-pf over 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(out(), data("default.zot"));
}

TEST_F(Run, OutputShipOnly) {
  auto r = tavro("-pf over -ou ship 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out(), data("ship.zot"));
  r = tavro("-pf over -ou ship,zot 23120712.syn");
  EXPECT_EQ(out(), data("ship.zot"));
  // A list that starts with a format keeps every class: ship adds nothing.
  r = tavro("-pf over -ou zot,ship 23120712.syn");
  EXPECT_EQ(out(), data("default.zot"));
}

TEST_F(Run, OutFileTemplate) {
  auto r = tavro("-pf over -of out_%y%m%d%h.txt 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out("out_23120712.txt"), data("default.zot"));
  EXPECT_FALSE(tvtest::file_exists(dir.file("23120712.zot")));
  // A name that merely starts with a format keyword is still a name.
  r = tavro("-pf over -of zotfile.txt 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out("zotfile.txt"), data("default.zot"));
  r = tavro("-pf over -of zot:plain.txt 23120712.syn");
  EXPECT_EQ(out("plain.txt"), data("default.zot"));
}

TEST_F(Run, TimeWindowFromParameter) {
  // 72530 observed at 14:45, outside the default window of 45 minutes.
  auto r = tavro("-pf over -pa range=-10:180 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out(), data("range.zot"));
}

TEST_F(Run, IdentifierSelection) {
  auto r = tavro("-pf over -id 72403,abcd 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out(), data("ident.zot"));
  r = tavro("-pf over -id all 23120712.syn");
  EXPECT_EQ(out(), data("default.zot"));
}

TEST_F(Run, DatabaseIdentifiers) {
  auto r = tavro("-pf over -pa id 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out(), data("idrule.zot"));
}

TEST_F(Run, RepeatedAndCorrectedReports) {
  write_file(dir.file("23120712.syn"), data("merge.syn"));
  struct Case {
    const char *args;
    const char *expected;
  };
  for (const Case &c : {Case{"", "merge_direct.zot"}, Case{"-pa dup", "merge_dup.zot"},
                        Case{"-pa update", "merge_update.zot"},
                        Case{"-pa update=5", "merge_update5.zot"},
                        Case{"-pa update,all", "merge_direct.zot"}}) {
    auto r = tavro(std::string("-pf over ") + c.args + " 23120712.syn");
    EXPECT_EQ(r.status, 0) << c.args << r.err;
    EXPECT_EQ(out(), data(c.expected)) << c.args;
  }
}

TEST_F(Run, AppendToTextFile) {
  write_file(dir.file("23120712.zot"), "ZOTSFC\n1200Z  7 DEC 23\nKEPT 1 2 3 $\n");
  auto r = tavro("-pf app 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out(), data("append3.zot")) << "an existing file goes on in its own layout (3)";
}

TEST_F(Run, AppendToOlderTextFile) {
  write_file(dir.file("23120712.zot"), "1200Z  7 DEC 23\n");
  auto r = tavro("-pf app 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out(), data("append2.zot"));
}

TEST_F(Run, ExistingFileLeftAloneInBatchMode) {
  write_file(dir.file("23120712.zot"), "ZOTSFC\nold\n");
  auto r = tavro("23120712.syn");
  EXPECT_EQ(r.status, 0) << "leaving the file as it is is the user's decision";
  EXPECT_EQ(r.err, "SYN_out_file: Unable to overwrite converted data file\n");
  EXPECT_EQ(out(), "ZOTSFC\nold\n");
}

// The others are converted, and the run says it was not all: status 1.
TEST_F(Run, MissingInputFileIsSkipped) {
  write_file(dir.file("23120712b.syn"), data("main.syn"));
  std::remove(dir.file("23120712.syn").c_str());
  auto r = tavro("-pf over 23120712.syn 23120712b.syn");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err, "SYN_decode_file: Unable to open file:23120712.syn\n");
  EXPECT_EQ(out(), data("default.zot"));
}

TEST_F(Run, OutputFileCannotBeOpened) {
  auto r = tavro("-pf over -of syn.cty/x.zot 23120712.syn");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SYN_out_file: Unable to open converted data file: syn.cty/x.zot\n");
}

TEST_F(Run, FullDiskIsAnError) {
  if (!tvtest::file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  auto r = tavro("-pf over -of /dev/full 23120712.syn");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "SFC_close: Error writing converted data file\n");
}

TEST_F(Run, LastLineWithoutNewline) {
  std::string text = data("main.syn");
  ASSERT_EQ(text.back(), '\n');
  text.pop_back();
  write_file(dir.file("23120712.syn"), text);
  auto r = tavro("-pf over 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out(), data("default.zot")) << "the buoy report on the last line is kept";
}

// Inputs that are no bulletins at all still give a valid, empty file.
TEST_F(Run, HostileInputsEndNormally) {
  const std::string header = "ZOTSFC\n1200Z  7 DEC 23\n";
  std::string noise;
  unsigned v = 7;
  for (int i = 0; i < 200000; ++i) {
    v = v * 1103515245u + 12345u;
    noise += static_cast<char>(v >> 23);
  }
  const std::string long_line = "AAXX 07124\n72403 " + std::string(1 << 20, '1') + "\n";
  for (const std::string &in : {std::string(), noise, long_line, std::string("\0\0\0", 3)}) {
    write_file(dir.file("23120712.syn"), in);
    auto r = tavro("-pf over 23120712.syn");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string o = out();
    ASSERT_EQ(o.compare(0, header.size(), header), 0) << o.substr(0, 80);
    // Whatever made it through is whole records.
    size_t pos = header.size();
    while (pos < o.size()) {
      const size_t nl = o.find('\n', pos);
      ASSERT_NE(nl, std::string::npos);
      EXPECT_EQ(o.compare(nl - 2, 2, " $"), 0) << o.substr(pos, nl - pos);
      pos = nl + 1;
    }
  }
}

}  // namespace
