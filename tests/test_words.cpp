// Every wrong word is named: unknown options get a warning with the
// nearest option, unknown words in the values of output, parameter,
// file_param and message end a command-line run with status 2 before
// anything is written, and are warnings from defaults files and the
// environment. Also the wind field and long identifiers as the real
// program writes and lists them.
#include <gtest/gtest.h>

#include <dirent.h>

#include <set>
#include <string>
#include <vector>

#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::write_file;

std::string data(const std::string &name) { return read_file(tvtest::source_path("tests/data/run/" + name)); }

std::set<std::string> listing_of(const std::string &dir) {
  std::set<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    closedir(d);
  }
  return names;
}

// A scratch directory with the name conventions, the station database and
// the bulletins of 7 December 2023, 12 UTC, as in the run tests.
class Words : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir.file("name_conv"), data("name_conv"));
    write_file(dir.file("syn.cty"), data("syn.cty"));
    write_file(dir.file("23120712.syn"), data("main.syn"));
  }
  tvtest::RunResult tavro(const std::string &args, const std::string &env = "") {
    return tvtest::run_command(env + " " + TAVRO_EXE + " -ba " + args, dir.path());
  }
  tvtest::TempDir dir;
};

// The valid words each message lists.
const std::string kOutput = "; valid words: zot,xml,cdf,bufr,cf,csv,all,land,ship,buoy,cman,dribu\n";
const std::string kParameter =
    "; valid words: id,id_enc,wmo,pln,plns,psyn,pfull,range[=from[:to]],all,dup,update[=level]\n";
const std::string kFileParam = "; valid words: use,reuse,over,calc,recalc,app\n";
const std::string kMessage =
    "; valid words: none,print,error,warn,mess,out1,out2,out3,out4,debug,page,nopage,line=N,"
    "fi=FILE,+fi=FILE,-fi=FILE,@fi=FILE,dfi=FILE\n";

}  // namespace

// Status 2, the word and the valid words named, and nothing written: not a
// new file, not a replaced one, no lock or temporary file.
TEST_F(Words, WrongWordsOnTheCommandLineEndTheRunBeforeAnythingIsWritten) {
  struct Row {
    const char *args;
    std::string err;
  } rows[] = {
      {"-ou xlm", "SYN_decode_params: Unknown word in output: xlm (did you mean xml?)" + kOutput},
      {"-ou land,shp", "SYN_decode_params: Unknown word in output: shp (did you mean ship?)" + kOutput},
      {"-pa updte", "SYN_decode_params: Unknown word in parameter: updte (did you mean update[=level]?)" +
                        kParameter},
      {"-pa range=abc", "SYN_decode_params: Unknown word in parameter: range=abc (did you mean "
                        "range[=from[:to]]?)" + kParameter},
      {"-pa range=-10:x", "SYN_decode_params: Unknown word in parameter: range=-10:x (did you mean "
                          "range[=from[:to]]?)" + kParameter},
      {"-pa psyn,update=", "SYN_decode_params: Unknown word in parameter: update= (did you mean "
                           "update[=level]?)" + kParameter},
      {"-pf ovr", "RES_decode: Unknown word in file_param: ovr (did you mean over?)" + kFileParam},
      {"-pf append", "RES_decode: Unknown word in file_param: append (did you mean app?)" + kFileParam},
      {"-me mesage", "RES_decode: Unknown word in message: mesage (did you mean mess?)" + kMessage},
      {"-me mess,+ot3a", "RES_decode: Unknown word in message: +ot3a (did you mean +out3?)" + kMessage},
  };
  const std::string old = "ZOTSFC\nold bytes\n";
  for (const auto &row : rows) {
    for (bool existing : {false, true}) {
      if (existing) write_file(dir.file("23120712.zot"), old);
      const std::set<std::string> before = listing_of(dir.path());
      auto r = tavro(std::string("-pf over ") + row.args + " 23120712.syn");
      EXPECT_EQ(r.status, 2) << row.args;
      EXPECT_EQ(r.err, row.err) << row.args;
      EXPECT_EQ(listing_of(dir.path()), before) << row.args;
      if (existing) {
        EXPECT_EQ(read_file(dir.file("23120712.zot")), old) << row.args;
      }
      std::remove(dir.file("23120712.zot").c_str());
    }
  }
  // Every wrong word is named, not only the first.
  auto r = tavro("-pf ovr -ou xlm -pa updte 23120712.syn");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("file_param: ovr"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("output: xlm"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("parameter: updte"), std::string::npos) << r.err;
}

TEST_F(Words, RightWordsInAnyCaseStillRun) {
  for (const char *args : {"-pf OVER -ou ZOT", "-pf over -pa range=-10", "-pf over -pa range=-10:180,psyn",
                           "-pf over -pa update=5", "-pf over -pa update,Dup,all", "-pf over -me warn,-mess"}) {
    auto r = tavro(std::string(args) + " 23120712.syn");
    EXPECT_EQ(r.status, 0) << args << r.err;
    EXPECT_EQ(r.err, "") << args;
    EXPECT_TRUE(tvtest::file_exists(dir.file("23120712.zot"))) << args;
  }
  auto r = tavro("-pf over -pa range=-10:180 23120712.syn");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir.file("23120712.zot")), data("range.zot"));
}

// From a defaults file or the environment the same words are warnings that
// name where they came from; the rest of the setting still applies.
TEST_F(Words, WrongWordsFromDefaultsAndEnvironmentAreWarnings) {
  write_file(dir.file("zot.cfg"), "tavro.output xlm\ntavro.file_param ovr\n");
  auto r = tavro("23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "RES_decode: Unknown word in file_param from ./zot.cfg, ignored: ovr (did you mean over?)" +
                       kFileParam +
                       "SYN_decode_params: Unknown word in output from ./zot.cfg, ignored: xlm (did you mean "
                       "xml?)" + kOutput);
  // The unknown first word does not turn the list into a class selection.
  EXPECT_EQ(read_file(dir.file("23120712.zot")), data("default.zot"));
  std::remove(dir.file("zot.cfg").c_str());

  r = tavro("-pf over 23120712.syn", "zotparam=range=abc,psyn zotmess=mess,mesage");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "RES_decode: Unknown word in message from the environment, ignored: mesage (did you mean "
                   "mess?)" + kMessage +
                       "SYN_decode_params: Unknown word in parameter from the environment, ignored: range=abc "
                       "(did you mean range[=from[:to]]?)" + kParameter);
  // "mess" still applied: the progress messages are there in batch mode.
  EXPECT_NE(r.out.find("Converting data...\n"), std::string::npos) << r.out;
  EXPECT_EQ(read_file(dir.file("23120712.zot")), data("default.zot"));

  // The command line wins: its right word replaces the wrong one.
  r = tavro("-pf over -pa psyn 23120712.syn", "zotparam=updte");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(Words, UnknownOptionIsNamedWithTheNearestOne) {
  auto r = tavro("-pf over -outpt=xml 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "RES_decode: Unknown option: -outpt (did you mean -output?)\n");
  EXPECT_EQ(read_file(dir.file("23120712.zot")), data("default.zot"));

  r = tavro("-pf over --pramater=psyn 23120712.syn");
  EXPECT_EQ(r.err, "RES_decode: Unknown option: --pramater (did you mean -parameter?)\n");
  // Nothing near: no guess.
  r = tavro("-pf over -xyzzy=1 23120712.syn");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "RES_decode: Unknown option: -xyzzy\n");
  // The warning obeys the message level of the same command line.
  r = tavro("-pf over -me none -outpt=xml 23120712.syn");
  EXPECT_EQ(r.err, "");
}

// "-foo 23120712.syn": the file name is not swallowed as the unknown
// option's value; it is converted, and the warning says so.
TEST_F(Words, UnknownOptionLeavesTheNextWordAFileName) {
  auto r = tavro("-pf over -foo 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "RES_decode: Unknown option: -foo (did you mean -fp?); the word after it, 23120712.syn, is not its "
            "value (write -foo=value)\n");
  EXPECT_EQ(read_file(dir.file("23120712.zot")), data("default.zot"));

  r = tavro("-pf over 23120712.syn -outpt xml");
  EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
            "RES_decode: Unknown option: -outpt (did you mean -output?); the word after it, xml, is not its "
            "value (write -outpt=value)\n");
  EXPECT_NE(r.err.find("Unable to open file:xml"), std::string::npos) << r.err;
  EXPECT_EQ(read_file(dir.file("23120712.zot")), data("default.zot"));
}

// A wind speed over 100 kt is reset by the validity check; the direction
// alone is no wind: "-999" in the record, a blank speed in the listing.
TEST_F(Words, DirectionWithoutSpeedIsTheMissingWind) {
  write_file(dir.file("23120712.syn"),
             "** SMUS01 KWBC 071200\nAAXX 07124\n"
             "72403 11560 81699 00140 10150 20089 40132 57010=\n"
             "72405 11560 81625 10150 20089 40132 57010=\n");
  auto r = tavro("-pf over -me out3a 23120712.syn");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("23120712.zot")),
            "ZOTSFC\n1200Z  7 DEC 23\n"
            "72403 590 480 -999 -99 132 6.2 30:8 - @1200 P7-10 $\n"
            "72405 590 480 1625 -99 132 6.2 30:8 - @1200 P7-10 $\n");
  EXPECT_NE(r.out.find("\n72403   30 8   6.2       1013.2  59  48 160-          -1.0"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("-9999"), std::string::npos) << r.out;
}

// The bundled example's ship WDC6923 and buoys in the default listing:
// every row keeps the wind's "-" under the header's, and the call sign
// too wide for the column is marked and written whole at the row's end.
TEST_F(Words, ShipIdentifiersKeepTheListingColumns) {
  write_file(dir.file("23120712.syn"), read_file(tvtest::source_path("examples/23120712.syn")));
  auto r = tavro("-pf over -me none,+out3a 23120712.syn");
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> rows;
  for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
    rows.push_back(r.out.substr(at, nl - at));
  const std::string header = " ID   Cht Cv  Vis   PWx  SLPres   T  Td  WD-WS WG  Te  PT   Rn6 Rn24 SC L:M:H";
  ASSERT_GE(rows.size(), 1u);
  ASSERT_EQ(rows[0], header);
  const std::size_t dash = header.find("D-W") + 1;
  int reports = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    ASSERT_GT(rows[i].size(), dash) << rows[i];
    EXPECT_EQ(rows[i][dash], '-') << rows[i];
    ++reports;
  }
  EXPECT_GE(reports, 13);  // the example's 13 reports (and a row for a report without identifier)
  const std::string ship =
      "\nsWDC6+  30 8  12.5       1013.2  59  48 270-19                          [sWDC6923]\n";
  EXPECT_NE(r.out.find(ship), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nb46026  30 3  12.5       1020.5  56     150-15"), std::string::npos) << r.out;
}
