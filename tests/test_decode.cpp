// Command-line and resource decoding: options, abbreviations, positional
// words, defaults path, environment, precedence, side-effect conversions,
// and the help of the program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.hpp"
#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/flag.hpp"
#include "framework/mess.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"
#include "output/formats.hpp"
#include "testutil.hpp"

namespace {

res_type kKeys[] = {RES_help,       RES_batch,      RES_message,    RES_file_path,  RES_data_path,
                    RES_con_path,   RES_grid_path,  RES_raw_path,   RES_image_path, RES_watch_path,
                    RES_text_path,  RES_model_path, RES_sat_path,   RES_city_file,  RES_stat_prior,
                    RES_input,      RES_output,     RES_name_conv,  RES_in_file,    RES_out_file,
                    RES_file_param, RES_current,    RES_hour,       RES_num_hour,   RES_decode_hour,
                    RES_identifier, RES_parameter,  RES_null};
res_type kPos[] = {RES_filenames, RES_null};

// The value of a resource as text: "(null)" when it does not exist.
std::string val(const char *name) {
  const char *v = RES_get(name);
  return v ? v : "(null)";
}

// Decodes `args` (after the program name "tavro") in a child process with
// `defaults` as the defaults path, then returns `report()` from there.
std::string decode(const std::vector<std::string> &args, const std::function<std::string()> &report,
                   const std::string &defaults = "/nonexistent/defaults") {
  tvtest::ChildResult r = tvtest::in_child([&] {
    setenv("zotdefault", defaults.c_str(), 1);
    std::vector<std::string> store = {"tavro"};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    RES_init(static_cast<int>(store.size()), argv.data(), kKeys, kPos);
    return report();
  });
  EXPECT_EQ(r.status, 0);
  return r.text;
}

std::string level_and_batch() {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%08X %d", MESS_get(), FLAG_batch());
  return buf;
}

TEST(Decode, MessageLevelAndBatchInBothOrders) {
  EXPECT_EQ(decode({"-me", "mess", "-batch"}, level_and_batch), "00000FFF 1");
  EXPECT_EQ(decode({"-batch", "-me", "mess"}, level_and_batch), "00000FFF 1");
  EXPECT_EQ(decode({"-batch"}, level_and_batch), "000000FF 1");
  EXPECT_EQ(decode({}, level_and_batch), "000FFFFF 0");
  EXPECT_EQ(decode({"-ba=no"}, level_and_batch), "000000FF 1") << "the value of a switch is ignored";
}

TEST(Decode, SwitchGivesBackTheNextWord) {
  EXPECT_EQ(decode({"-ba", "file1"}, [] { return std::to_string(FLAG_batch()) + " " + val("filename"); }),
            "1 file1");
  EXPECT_EQ(decode({"-h", "x"}, [] { return std::to_string(FLAG_help()) + " " + val("help") + " " + val("filename"); }),
            "1  x");
}

TEST(Decode, OptionValues) {
  auto cur = [] { return val("current") + "|" + val("identifier"); };
  EXPECT_EQ(decode({"-cu", "-id", "KORD"}, cur), "|KORD");
  EXPECT_EQ(decode({"-id=KORD,KMSN", "-cu"}, [] {
              int n = 0;
              char **v = nullptr;
              RES_getvals("identifier", &n, &v);
              std::string s = val("identifier") + " " + std::to_string(n) + " " + val("current");
              free_parsed_array(n, v);
              return s;
            }),
            "KORD,KMSN 2 ");
  EXPECT_EQ(decode({"-pr", "-5"}, [] { return val("stat_prior"); }), "-5") << "-5 is a value";
  EXPECT_EQ(decode({"-dp", "/data/raw", "-dp", "/data/new"}, [] { return val("data_path"); }), "/data/new");
  // An unknown option is kept, but it takes a value only after "=": the
  // word after it is read as the next argument, as after a switch.
  auto unknown = [] { return val("xyz") + "|" + val("Unknown") + "|" + val("filename"); };
  EXPECT_EQ(decode({"-xyz", "5", "-Unknown"}, unknown), "||5");
  EXPECT_EQ(decode({"-xyz=5", "-Unknown"}, unknown), "5||(null)");
  // A value after "=" is never cut with the option name.
  std::string longpath = "/" + std::string(150, 'p');
  EXPECT_EQ(decode({"-dp=" + longpath}, [] { return val("data_path"); }), longpath);
  std::string longname(60, 'z');
  EXPECT_EQ(decode({"-" + longname + "=v"}, [&] { return val(longname.substr(0, 49).c_str()); }), "v");
}

TEST(Decode, AbbreviationsAndSpellings) {
  auto paths = [] { return val("file_path") + "|" + val("data_path") + "|" + val("current"); };
  EXPECT_EQ(decode({"-f", "/f", "-d", "/d"}, paths), "/f|/d|(null)") << "earliest row wins";
  EXPECT_EQ(decode({"-FP", "/f", "-DATA_PATH", "/d", "-cu", "12"}, paths), "/f|/d|12");
  EXPECT_EQ(decode({"--file=/f", "--dp", "/d"}, paths), "/f|/d|(null)");
  EXPECT_EQ(decode({"-curr"}, paths), "(null)|(null)|");
}

TEST(Decode, PositionalWords) {
  EXPECT_EQ(decode({"a", "b", "c"}, [] { return val("filename"); }), "a\nb\nc");
  EXPECT_EQ(decode({"a", "--", "b"}, [] {
              int n = 0;
              char **v = nullptr;
              RES_getvals("filename", &n, &v);
              free_parsed_array(n, v);
              return std::to_string(n);
            }),
            "2");
  // "--" before an option does not end option processing.
  EXPECT_EQ(decode({"--", "-ba", "a"}, [] { return std::to_string(FLAG_batch()) + val("filename"); }), "1a");
}

TEST(Decode, NextWordIsNoValueWhenItIsAnOption) {
  // "--batch" after an option without value is an option, not the value.
  EXPECT_EQ(decode({"-cu", "--batch"}, [] { return val("current") + "|" + std::to_string(FLAG_batch()); }), "|1");
  EXPECT_EQ(decode({"-cu", "--", "f"}, [] { return val("current") + "|" + val("filename"); }), "|f");
}

TEST(Decode, SideEffectConversions) {
  auto effects = [] {
    Date d{};
    FILE_get_time(&d);
    return std::to_string(FLAG_get(15)) + " " + std::to_string(d.day) + " " + std::to_string(d.hour);
  };
  EXPECT_EQ(decode({"-pf", "APP", "-ho", "1812"}, effects), "2 18 12");
  EXPECT_EQ(decode({"-pf", "append"}, effects), "-9999 -9999 -9999");
}

// A wrong word of the command line is counted for the program to end the
// run; from the environment it is not. An unknown message word never
// silences the program: from the command line the setting is not applied,
// from elsewhere only its known words are.
TEST(Decode, WrongWordsByOrigin) {
  auto errors = [] { return std::to_string(RES_usage_errors()) + " " + std::to_string(FLAG_get(15)); };
  EXPECT_EQ(decode({"-pf", "ovr"}, errors), "1 -9999");
  EXPECT_EQ(decode({"-pf", "over"}, errors), "0 1");
  EXPECT_EQ(decode({"-pf="}, errors), "0 -9999") << "an empty value is no word";
  setenv("zotfileparam", "ovr", 1);
  EXPECT_EQ(decode({}, errors), "0 -9999");
  unsetenv("zotfileparam");

  auto level = [] { return std::to_string(RES_usage_errors()) + " " + level_and_batch(); };
  EXPECT_EQ(decode({"-me", "mesage"}, level), "1 000FFFFF 0");
  EXPECT_EQ(decode({"-me", "fi=never.log,mesage"}, level), "1 000FFFFF 0");
  EXPECT_FALSE(tvtest::file_exists("never.log")) << "a setting not applied opens no log";
  setenv("zotmess", "mess,mesage", 1);
  EXPECT_EQ(decode({"-ba"}, level), "0 00000FFF 1");
  setenv("zotmess", "mesage", 1);
  EXPECT_EQ(decode({"-ba"}, level), "0 000000FF 1") << "nothing known: the batch default";
  unsetenv("zotmess");

  // Reported by the program through the store, with the origin of the value.
  auto bad = [] {
    const int error = RES_bad_word("f", "output", "xlm", "xml");
    return std::to_string(error) + std::to_string(RES_usage_errors());
  };
  EXPECT_EQ(decode({"-ou", "xlm"}, bad), "11");
  setenv("zotout", "xlm", 1);
  EXPECT_EQ(decode({}, bad), "00");
  unsetenv("zotout");
}

// ---------------------------------------------------------- defaults path

class DecodeDefaults : public testing::Test {
 protected:
  std::string file(const std::string &name, const std::string &text) {
    tvtest::write_file(dir_.file(name), text);
    return dir_.file(name);
  }
  tvtest::TempDir dir_;
};

TEST_F(DecodeDefaults, KeysAndUnknownEntries) {
  std::string f = file("d1",
                       "tavro.data_path /from_file\n"
                       "other.con_path /other\n"
                       "con_path /bare\n"
                       "tavro.colour: red\n"
                       "*_path /all_paths\n"
                       "tavro.* star\n");
  EXPECT_EQ(decode({}, [] { return val("data_path") + "|" + val("con_path") + "|" + val("colour") + "|" + val(""); }, f),
            "/all_paths|/all_paths|red|(null)");
  std::string g = file("d2", "tavro.data_path /from_file\nTavro.File_Path: /fp\n");
  EXPECT_EQ(decode({}, [] { return val("data_path") + "|" + val("file_path") + "|" + val("grid_path"); }, g),
            "/from_file|/fp|(null)");
}

TEST_F(DecodeDefaults, PrecedenceFileEnvironmentCommandLine) {
  std::string f = file("d", "tavro.data_path /file\ntavro.con_path /file\ntavro.file_path /file\n");
  auto order = [] {
    return val("data_path") + "|" + val("con_path") + "|" + val("file_path") + "|" + val("grid_path");
  };
  tvtest::ChildResult r = tvtest::in_child([&] {
    setenv("zotdata", "/env", 1);
    setenv("zotcon", "/env", 1);
    setenv("zotgrid_path", "/env_generic", 1);
    return decode({"-dp", "/cmd"}, order, f);
  });
  EXPECT_EQ(r.text, "/cmd|/env|/file|/env_generic");
}

TEST_F(DecodeDefaults, PathOrderOptionsAndDirectories) {
  std::string a = file("a", "tavro.data_path /a\ntavro.con_path /a\n");
  std::string b = file("b", "tavro.data_path /b\n");
  auto two = [] { return val("data_path") + "|" + val("con_path"); };
  EXPECT_EQ(decode({}, two, a + ":" + b), "/b|/a") << "later elements override";
  EXPECT_EQ(decode({"-df", b}, two, a), "/b|(null)") << "-df replaces the path";
  EXPECT_EQ(decode({"-default=" + a}, two, b), "/a|/a");
  tvtest::TempDir d;
  tvtest::write_file(d.file("zot.cfg"), "tavro.data_path /cfg\n");
  tvtest::write_file(d.file(".zotdef"), "tavro.data_path /zotdef\n");
  EXPECT_EQ(decode({}, two, d.path()), "/cfg|(null)");
  EXPECT_EQ(decode({}, two, "/nonexistent:" + a), "/a|/a") << "missing elements are skipped";
}

TEST_F(DecodeDefaults, ProgramTitleAndTags) {
  std::string f = file("d",
                       "radar.data_path /radar\n"
                       "tavro.data_path /tavro\n"
                       "tavro.radar.con_path /sub\n"
                       "IF night\n"
                       "*.city_file night.cty\n"
                       "ELSE\n"
                       "*.city_file day.cty\n"
                       "END\n");
  auto got = [] { return val("data_path") + "|" + val("con_path") + "|" + val("city_file") + "|" + val("name"); };
  EXPECT_EQ(decode({"-n", "radar"}, got, f), "/radar|(null)|day.cty|radar");
  EXPECT_EQ(decode({"-name", "+radar"}, got, f), "(null)|/sub|day.cty|+radar");
  EXPECT_EQ(decode({"-n", "radar", "x"}, [] { return val("filename"); }, f), "x") << "the title is no file";
  EXPECT_EQ(decode({}, got, "+night:" + f), "/tavro|(null)|night.cty|(null)");
}

TEST_F(DecodeDefaults, EveryValueKnowsWhereItCameFrom) {
  std::string etc = file("etc.cfg", "tavro.data_path /etc\ntavro.con_path /etc\n");
  tvtest::TempDir here;
  tvtest::write_file(here.file("zot.cfg"),
                     "tavro.out_file |touch${IFS}marker\n"
                     "tavro.in_file local\n"
                     "tavro.message mess,+fi=|touch${IFS}marker\n");
  tvtest::ChildResult r = tvtest::in_child([&] {
    if (chdir(here.path().c_str()) != 0) return std::string("chdir");
    setenv("zotcon", "/env", 1);
    testing::internal::CaptureStderr();
    std::string got = decode({"-fp", "/cmd", "x.syn"}, [] {
      std::string o;
      for (const char *n : {"data_path", "con_path", "file_path", "filename", "in_file", "out_file", "message"}) {
        const char *src = RES_get_source(n);
        o += std::string(n) + "=" + val(n) + ":" + std::to_string(RES_get_origin(n)) + ":" +
             std::to_string(RES_from_user(n)) + ":" + (src ? src : "-") + ";";
      }
      return o;
    }, etc + ":.");
    return got + "|" + testing::internal::GetCapturedStderr();
  });
  EXPECT_EQ(r.text, "data_path=/etc:1:1:" + etc + ";con_path=/env:4:1:-;file_path=/cmd:5:1:-;filename=x.syn:5:1:-;" +
                        "in_file=local:2:0:./zot.cfg;out_file=(null):0:0:-;message=(null):0:0:-;|" +
                        "RES_decode: Command refused, value ignored: tavro.out_file in ./zot.cfg (a defaults file in "
                        "the current directory)\n"
                        "RES_decode: Command refused, value ignored: tavro.message in ./zot.cfg (a defaults file in "
                        "the current directory)\n");
  EXPECT_FALSE(tvtest::file_exists(here.file("marker")));
  // Stored by the program itself (a "set" at the prompt): the user's.
  RES_put("st_origin", "|cmd");
  EXPECT_EQ(RES_get_origin("st_origin"), RES_FROM_PROGRAM);
  EXPECT_EQ(RES_from_user("st_origin"), 1);
  EXPECT_EQ(RES_from_user("st_never_set"), 0);
}

TEST_F(DecodeDefaults, ManyDistinctKeysLoadAndKeepPrecedence) {
  // 200,000 keys over four files (each under the size cap): a store that
  // walked its list per key would take minutes here.
  std::string path;
  for (int f = 0; f < 4; ++f) {
    std::string text;
    for (int k = 0; k < 50000; ++k) {
      char line[48];
      std::snprintf(line, sizeof line, "tavro.k%06d v%d\n", f * 50000 + k, f);
      text += line;
    }
    text += "tavro.data_path /file" + std::to_string(f) + "\n";
    if (f) path += ':';
    path += file(tvtest::numbered("many", f), text);
  }
  std::string got = decode({}, [] {
    return val("k000000") + "|" + val("k123456") + "|" + val("k199999") + "|" + val("data_path");
  }, path);
  EXPECT_EQ(got, "v0|v2|v3|/file3") << "later files override earlier ones";
  // Order of first entry is kept: data_path entered by the first file sits
  // before every key of the second.
  std::string order = decode({}, [] {
    testing::internal::CaptureStdout();
    RES_list();
    std::string l = testing::internal::GetCapturedStdout();
    return std::to_string(l.find("k049999: v0\ndata_path: /file3\nk050000: v1\n") != std::string::npos);
  }, path);
  EXPECT_EQ(order, "1");
}

// ------------------------------------------------------------------- help

TEST(Help, ListsTheConverterOptions) {
  tvtest::RunResult r = tvtest::run_command(std::string(TAVRO_EXE) + " -h");
  EXPECT_EQ(r.status, 0);
  std::istringstream in(r.out);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_GE(lines.size(), 8u) << r.out;
  EXPECT_EQ(lines[0], "tavro: This program converts raw surface observations");
  EXPECT_EQ(lines[1], "   into a useable format");
  EXPECT_EQ(lines[2].rfind("tavro syntax (version:", 0), 0u);
  EXPECT_EQ(lines[3], "   tavro [options...]");
  EXPECT_EQ(lines[4], "Keyed options...");
  EXPECT_EQ(lines[5], " -df file    Resource/defaults file name");
  EXPECT_EQ(lines[6], " -na name    Program name");
  std::size_t posn = 7;
  int keyed = 0;
  for (; posn < lines.size() && lines[posn] != "Positional options..."; ++posn)
    if (lines[posn].rfind(" -", 0) == 0) ++keyed;
  EXPECT_EQ(keyed, 30);  // with -bp, the BUFR packer
  ASSERT_GE(lines.size(), posn + 3) << r.out;
  EXPECT_EQ(lines[posn + 1], " file [file...]  Input file names");
  // The output formats, one line each from the format registry.
  EXPECT_EQ(lines[posn + 2], "Output formats (-ou word, -of word:name)...");
  posn += 3;
  for (const SfcFormat &f : SFC_formats()) {
    ASSERT_LT(posn, lines.size()) << r.out;
    // Appended, not joined with +: g++ 12 warns wrongly (-Wrestrict) on
    // a literal + string at -O3.
    std::string want(" ");
    want.append(f.word).append(f.word.size() < 4 ? 4 - f.word.size() : 0, ' ').append(" ").append(f.help);
    EXPECT_EQ(lines[posn++], want);
  }
  // The exit statuses close the help.
  ASSERT_LT(posn, lines.size()) << r.out;
  EXPECT_EQ(lines[posn], "Exit status...");
  EXPECT_EQ(lines.back(), " 7  no answer from the controlling process");
  EXPECT_NE(r.out.find("\n 0  the run did what was asked\n 1  an input could not be read"), std::string::npos);
  EXPECT_NE(r.out.find(" -me level   Message level to be displayed:\n"
                       "               none,print,error,warn,mess,out1,*out2,out3,out4,debug\n"),
            std::string::npos);
  EXPECT_EQ(r.out.find("SURFACE SYNOPTIC"), std::string::npos) << "no banner after help";
}

TEST(Help, FromAnyPositionAndByAbbreviation) {
  tvtest::RunResult r = tvtest::run_command(std::string(TAVRO_EXE) + " somefile -he -dp /x");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Keyed options..."), std::string::npos);
}

}  // namespace
