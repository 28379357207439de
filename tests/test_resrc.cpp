// Resource store, catalogue, value conversions and help lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/flag.hpp"
#include "framework/maptran.hpp"
#include "framework/mess.hpp"
#include "framework/region.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"

namespace {

std::string listing() {
  testing::internal::CaptureStdout();
  RES_list();
  return testing::internal::GetCapturedStdout();
}

std::string vals(const char *name) {
  int n = 0;
  char **v = nullptr;
  RES_getvals(name, &n, &v);
  std::string out = std::to_string(n);
  for (int i = 0; i < n; ++i) out += std::string("|") + v[i];
  free_parsed_array(n, v);
  return out;
}

// ------------------------------------------------------------------ store

TEST(ResStore, NewAppendGetAndOrder) {
  RES_new(1, "st_a", "one", CV_string);
  RES_new(2, "st_b", "two", CV_string);
  RES_new(3, "st_a", "three", CV_int);  // one node, at the first position
  std::string l = listing();
  ASSERT_NE(l.find("st_a: three\nst_b: two\n"), std::string::npos) << l;
  EXPECT_EQ(l.find("st_a", l.find("st_a") + 1), std::string::npos);

  RES_new(0, "st_list", "a", CV_strings);
  RES_append(5, "st_list", "b", CV_string);  // index and cvt stay
  EXPECT_STREQ(RES_get("st_list"), "a\nb");
  EXPECT_EQ(vals("st_list"), "2|a|b");
  RES_new(0, "st_commas", "a", CV_string);
  RES_append(0, "st_commas", "b,c", CV_string);
  EXPECT_EQ(vals("st_commas"), "2|a\nb|c") << "split at commas unless CV_strings";
  RES_put("st_empty", nullptr);
  RES_append(0, "st_empty", nullptr, CV_string);
  EXPECT_STREQ(RES_get("st_empty"), "") << "present without value: empty, not null";
  EXPECT_NE(listing().find("st_empty:\n"), std::string::npos);
  EXPECT_EQ(RES_get("st_never_set"), nullptr);
  EXPECT_EQ(vals("st_never_set"), "0");
  RES_put("File_path", "/upper");
  EXPECT_EQ(RES_get("file_path"), nullptr) << "names differ by case";
  int out = 7;
  EXPECT_EQ(RES_getval("st_never_set", &out, CV_int), 0);
  EXPECT_EQ(RES_getval("st_empty", nullptr, CV_int), 0);
  EXPECT_EQ(RES_new(0, nullptr, "x", CV_string), -1);
}

TEST(ResStore, ValueMayBeSetFromItself) {
  RES_put("st_self", "/some/long/value/that/is/copied");
  RES_put("st_self", RES_get("st_self"));  // must copy before releasing
  RES_append(0, "st_self", RES_get("st_self"), CV_string);
  EXPECT_STREQ(RES_get("st_self"), "/some/long/value/that/is/copied\n/some/long/value/that/is/copied");
}

TEST(ResStore, ProgramName) {
  char a0[] = "/usr/local/bin/tavro", b0[] = "plain";
  std::string huge(400, 'p');
  char *argv[] = {a0, nullptr};
  char buf[160];
  RES_setCL(1, argv);
  EXPECT_STREQ(RES_get_prog(), "/usr/local/bin/tavro");
  EXPECT_STREQ(RES_get_progname(buf), "tavro");
  argv[0] = b0;
  EXPECT_STREQ(RES_get_progname(buf), "plain");
  argv[0] = huge.data();
  EXPECT_EQ(std::strlen(RES_get_progname(buf)), 159u) << "cut to the name limit";
  RES_setCL(0, nullptr);
  EXPECT_EQ(RES_get_prog(), nullptr);
  EXPECT_STREQ(RES_get_progname(buf), "ZOT");
}

// ------------------------------------------------------------- catalogue

struct Expected {
  res_type id;
  const char *def, *env, *cmd;
  int pos;
  DEF_convert cvt;
  const char *help;  // the exact help line(s)
};

// The converter's rows, exactly as the program hands them out.
const Expected kConverter[] = {
    {RES_help, "help", "zothelp", "h", 0, CV_help, " -h          Print this help\n"},
    {RES_batch, "batch", "zotbatch", "ba", 0, CV_batch, " -ba         Run program in batch mode\n"},
    {RES_message, "message", "zotmess", "me", 0, CV_mess,
     " -me level   Message level to be displayed:\n"
     "               none,print,error,warn,mess,out1,*out2,out3,out4,debug\n"},
    {RES_file_path, "file_path", "zotfile", "fp", 0, CV_path, " -fp path    File path\n"},
    {RES_data_path, "data_path", "zotdata", "dp", 0, CV_path, " -dp path    Raw data path\n"},
    {RES_con_path, "con_path", "zotcon", "cp", 0, CV_path, " -cp path    Converted data path\n"},
    {RES_grid_path, "grid_path", "zotgrid", "gp", 0, CV_path, " -gp path    Gridded data path\n"},
    {RES_raw_path, "raw_path", "zotraw", "rp", 0, CV_path, " -rp path    Raw files path\n"},
    {RES_image_path, "image_path", "zotimage", "ip", 0, CV_string, " -ip path    Image file path\n"},
    {RES_watch_path, "watch_path", "zotwatch", "wp", 0, CV_path, " -wp path    Watch file data path\n"},
    {RES_text_path, "text_path", "zottext", "tp", 0, CV_path, " -tp path    Text file path\n"},
    {RES_model_path, "model_path", "zotmpath", "mp", 0, CV_path, " -mp path    Model file path\n"},
    {RES_sat_path, "sat_path", "zotsat", "sp", 0, CV_path, " -sp path    Satellite file path\n"},
    {RES_city_file, "city_file", "zotcity", "cf", 0, CV_string, " -cf file    City database file name\n"},
    {RES_stat_prior, "stat_prior", "zotprior", "pr", 0, CV_int,
     " -pr prior   Priority of stations used in the plot\n"},
    {RES_input, "input", "zotin", "in", 0, CV_string, " -in type    Type of input\n"},
    {RES_output, "output", "zotout", "ou", 0, CV_string, " -ou type    Type of output\n"},
    {RES_name_conv, "name_conv", "zotnameconv", "nc", 0, CV_name, " -nc type    Naming convention file name\n"},
    {RES_in_file, "in_file", "zotinfile", "if", 0, CV_string, " -if type    Input data file type\n"},
    {RES_out_file, "out_file", "zotoutfile", "of", 0, CV_string, " -of type    Output file type\n"},
    {RES_file_param, "file_param", "zotfileparam", "pf", 0, CV_file_param,
     " -pf param   File parameters: use,calc,over,app\n"},
    {RES_current, "current", "zotcurrent", "cu", 0, CV_current, " -cu [hour]  Use current data file\n"},
    {RES_hour, "hour", "zothour", "ho", 0, CV_hour, " -ho hour    Actual hour of the file\n"},
    {RES_num_hour, "num_hour", "zotnumhour", "nh", 0, CV_string, " -nh hour[,step]  Number of hours to view\n"},
    {RES_decode_hour, "decode_hour", "zotdecode", "dh", 0, CV_string, " -dh hour    Actual hour to decode\n"},
    {RES_identifier, "identifier", "zotident", "id", 0, CV_string, " -id ident   Specific station identifier\n"},
    {RES_parameter, "parameter", "zotparam", "pa", 0, CV_string, " -pa param[,...]  Program parameters\n"},
    {RES_filenames, "filename", "zotfilename", nullptr, 10, CV_strings, " file [file...]  Input file names\n"},
};

std::string help_of(res_type id) {
  testing::internal::CaptureStdout();
  RES_help_item(id);
  return testing::internal::GetCapturedStdout();
}

TEST(ResCatalogue, ConverterRowsAndHelpLines) {
  for (const Expected &e : kConverter) {
    SCOPED_TRACE(e.def);
    RES_defobj obj{};
    ASSERT_EQ(RES_enter(&obj, e.id), 1);
    EXPECT_STREQ(obj.def, e.def);
    EXPECT_STREQ(obj.env, e.env);
    if (e.cmd) {
      EXPECT_STREQ(obj.cmd, e.cmd);
    } else {
      EXPECT_EQ(obj.cmd, nullptr);
    }
    EXPECT_EQ(obj.pos, e.pos);
    EXPECT_EQ(obj.cvt, e.cvt);
    EXPECT_EQ(obj.out, nullptr);
    EXPECT_EQ(obj.num, nullptr);
    EXPECT_EQ(help_of(e.id), e.help);
  }
}

TEST(ResCatalogue, EveryIdentifierHasARowOrPrintsItsNumber) {
  int named = 0;
  for (int id = 0; id <= RES_sat_path; ++id) {
    SCOPED_TRACE(id);
    RES_defobj obj{};
    testing::internal::CaptureStdout();
    RES_enter(&obj, static_cast<res_type>(id));
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_NE(obj.def, nullptr);
    if (obj.def[0] == '\0') {
      EXPECT_EQ(out, std::to_string(id) + "\n");
      EXPECT_EQ(obj.cmd, nullptr);
      EXPECT_EQ(obj.pos, 0) << "a row without a name can never match";
      continue;
    }
    ++named;
    EXPECT_EQ(out, "");
    EXPECT_EQ(std::string(obj.env).rfind("zot", 0), 0u) << obj.env;
    if (obj.cmd) {
      std::size_t n = std::strlen(obj.cmd);
      EXPECT_TRUE(n >= 1 && n <= 4) << obj.cmd;
      EXPECT_EQ(obj.pos, 0);
    } else {
      EXPECT_TRUE(obj.pos >= 1 && obj.pos <= 10);
    }
    EXPECT_NE(help_of(static_cast<res_type>(id)).find("  "), std::string::npos);
  }
  EXPECT_GT(named, 80);
}

TEST(ResCatalogue, TellingRowsOfTheWiderCatalogue) {
  RES_defobj obj{};
  RES_enter(&obj, RES_con_interval);
  EXPECT_STREQ(obj.cmd, "in") << "the same spelling as input";
  EXPECT_EQ(obj.cvt, CV_float);
  RES_enter(&obj, RES_filename);
  EXPECT_EQ(obj.pos, 1);
  EXPECT_EQ(obj.cvt, CV_strcpy);
  RES_enter(&obj, RES_inputg);
  EXPECT_STREQ(obj.def, "input");
  EXPECT_STREQ(obj.cmd, "inp");
  EXPECT_EQ(help_of(RES_plot_type), " -pl type    Plot type: cf,lcf,ln,dln,ndln,value,none\n");
  const std::string region = help_of(RES_region);
  EXPECT_GE(std::count(region.begin(), region.end(), '\n'), 2);
}

// ------------------------------------------------------------ conversions

// Converts `text` into a fresh T that starts as `init`.
template <typename T>
T conv(const char *text, DEF_convert cvt, T init = T{}) {
  T v = init;
  RES_conv_data(text, reinterpret_cast<char *>(&v), cvt);
  return v;
}

TEST(ResConvert, Numbers) {
  EXPECT_EQ(conv<int>("0x1F", CV_int), 31);
  EXPECT_EQ(conv<int>("abc", CV_int, 5), 5) << "unrecognised text leaves the value";
  EXPECT_EQ(conv<int>("-42", CV_int), -42);
  EXPECT_EQ(conv<int>("+7x", CV_int), 7);
  EXPECT_EQ(conv<int>("99999999999999999999", CV_int), INT_MAX) << "saturates, never overflows";
  EXPECT_EQ(conv<int>("0xFFFFFFFF", CV_int), -1);
  EXPECT_EQ(conv<short>("-3", CV_short, 1), 1) << "needs a leading digit";
  EXPECT_EQ(conv<short>("123", CV_short), 123);
  EXPECT_EQ(conv<std::int64_t>("9000000000", CV_long), 9000000000LL);
  EXPECT_EQ(conv<std::int64_t>("-12", CV_color), -12);
  EXPECT_FLOAT_EQ(conv<float>("-2.5", CV_float), -2.5f);
  int v = 0;
  EXPECT_EQ(RES_conv_data("abc", reinterpret_cast<char *>(&v), CV_int), 1) << "1 also when not read";
  EXPECT_EQ(RES_conv_data(nullptr, reinterpret_cast<char *>(&v), CV_int), 0);
  EXPECT_EQ(RES_conv_data("3", nullptr, CV_int), 0);
}

TEST(ResConvert, BooleanWords) {
  EXPECT_EQ(conv<int>(nullptr, CV_bool, 7), 1) << "no value means on";
  for (const char *off : {"false", "OFF", "No"}) EXPECT_EQ(conv<int>(off, CV_bool, 1), 0) << off;
  for (const char *on : {"TRUE", "on", "yes"}) EXPECT_EQ(conv<int>(on, CV_bool, 0), 1) << on;
  EXPECT_EQ(conv<int>("maybe", CV_bool, 3), 3);
  EXPECT_EQ(conv<int>("yesno", CV_bool, 3), 3) << "whole words only";
  EXPECT_EQ(RES_conv_data("yes", nullptr, CV_bool), 0);
  RES_put("st_switch", nullptr);
  int b = 0;
  EXPECT_EQ(RES_getval("st_switch", &b, CV_bool), 1);
  EXPECT_EQ(b, 1);
}

TEST(ResConvert, TextsPathsAndCopies) {
  const char *text = "some text";
  EXPECT_EQ(conv<const char *>(text, CV_string), text) << "a reference, not a copy";
  for (auto [in, want] : {std::pair{"/data", "/data/"}, {"/data/", "/data/"}, {"NONE", ""}}) {
    char *path = conv<char *>(in, CV_path);
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, want);
    std::free(path);
  }
  char buf[160];
  std::string longer(300, 'a');
  RES_conv_data(longer.c_str(), buf, CV_strcpy);
  EXPECT_EQ(std::strlen(buf), 159u) << "cut at the file-name limit";
}

TEST(ResConvert, SideEffectsOnFlags) {
  FLAG_reset(-9999);
  const std::pair<const char *, int> params[] = {{"APP", 2}, {"append", 2}, {"reuse", 3}, {"Recalc", 1}};
  for (auto [word, flag] : params) {
    EXPECT_EQ(RES_conv_data(word, nullptr, CV_file_param), 1);
    EXPECT_EQ(FLAG_get(15), flag) << word;
  }
  const std::pair<const char *, int> types[] = {{"SkewT", 62}, {"stream", 23}, {"bogus", 23}};
  for (auto [word, flag] : types) {
    RES_conv_data(word, nullptr, CV_plot_type);
    EXPECT_EQ(FLAG_get(11), flag) << word;
  }
  EXPECT_STREQ(conv<const char *>("printer,lp2", CV_device), "lp2");
  EXPECT_EQ(FLAG_get(2), 4);
  EXPECT_EQ(conv<const char *>("window", CV_device), nullptr) << "one item: no reference";
  EXPECT_EQ(FLAG_get(2), 6);
  conv<const char *>("", CV_device);
  EXPECT_EQ(FLAG_get(2), 1);
  EXPECT_EQ(RES_set_device("Queue"), 5);
  EXPECT_EQ(RES_set_device("meta"), 3);
  EXPECT_EQ(RES_conv_data("anything", nullptr, CV_help), 1);
  EXPECT_EQ(FLAG_help(), 1);
  // Conversions that keep the text do nothing, and say so without out.
  EXPECT_EQ(RES_conv_data("x", nullptr, CV_name), 0);
  EXPECT_EQ(RES_conv_data(nullptr, nullptr, CV_mess), 0);
}

TEST(ResConvert, DrawSwitches) {
  FLAG_resetplot(1);
  RES_conv_data("data,map", nullptr, CV_draw);  // no sign: everything off first
  EXPECT_EQ(FLAG_getplot(7) + FLAG_getplot(8), 2);
  EXPECT_EQ(FLAG_getplot(9) + FLAG_getplot(1), 0);
  EXPECT_EQ(FLAG_getplot(12), 2);
  RES_conv_data("+grid,-map", nullptr, CV_draw);  // a sign keeps the others
  EXPECT_EQ(FLAG_getplot(7), 1);
  EXPECT_EQ(FLAG_getplot(8), 0);
  EXPECT_EQ(FLAG_getplot(9), 1);
  RES_conv_data("TEXT_UL,sum", nullptr, CV_draw);
  EXPECT_EQ(FLAG_getplot(0) + FLAG_getplot(10), 2);
  RES_conv_data("+none", nullptr, CV_draw);
  EXPECT_EQ(FLAG_getplot(12), 0);
}

Date hour_of(const char *text) {
  FILE_reset_time();
  EXPECT_EQ(RES_conv_data(text, nullptr, CV_hour), 1);
  Date d{};
  FILE_get_time(&d);
  return d;
}

#define EXPECT_HOUR(text, y, mo, dd, h, mi)   \
  do {                                         \
    Date d_ = hour_of(text);                   \
    EXPECT_EQ(d_.year, y) << text;             \
    EXPECT_EQ(d_.month, mo) << text;           \
    EXPECT_EQ(d_.day, dd) << text;             \
    EXPECT_EQ(d_.hour, h) << text;             \
    EXPECT_EQ(d_.min, mi) << text;             \
  } while (0)

TEST(ResConvert, HourForms) {
  const int M = -9999;
  EXPECT_HOUR("#202312071200", 2023, 12, 7, 12, 0);
  EXPECT_HOUR("#2023", 2023, M, M, M, M);
  EXPECT_HOUR("#20231207", 2023, 12, 7, M, M);
  EXPECT_HOUR("120712", M, 12, 7, 12, M);
  EXPECT_HOUR("1812", M, M, 18, 12, M);
  EXPECT_HOUR("812", M, M, 8, 12, M);
  EXPECT_HOUR("12", M, M, M, 12, M);
  EXPECT_HOUR("12:30", M, M, M, 12, 30);
  EXPECT_HOUR("7d12:30", M, M, 7, 12, 30);
  EXPECT_HOUR(":30", M, M, M, M, 30);
  EXPECT_HOUR("-:30", M, M, M, M, -30);
  EXPECT_HOUR("-0:30", M, M, M, M, -30);
  EXPECT_HOUR("-5:30", M, M, M, -5, 30);
  EXPECT_HOUR("-0", M, M, M, M, M);  // no minute read: nothing to negate
  EXPECT_HOUR("-:", M, M, M, M, M);
  EXPECT_HOUR("xyz", M, M, M, M, M);
  EXPECT_HOUR("99999999999:1", M, M, M, INT_MAX, 1);
}

// ------------------------------------------------------------- map module

TEST(MapNoDomain, PositionsPassThrough) {
  EXPECT_EQ(MAP_domain(nullptr), -1);
  float x = 0, y = 0;
  EXPECT_EQ(MAP_tran(45.5f, -200.0f, &x, &y), 1);
  EXPECT_FLOAT_EQ(x, 45.5f);
  EXPECT_FLOAT_EQ(y, -200.0f) << "no longitude normalisation";
  EXPECT_EQ(MAP_in_grid_domain(x, y), 1);
  Domain dom{};
  dom.proj = 3;
  EXPECT_EQ(DOM_decode("anything at all", &dom), -1);
  EXPECT_EQ(dom.proj, -9999);
  dom.proj = 3;
  EXPECT_EQ(conv<Domain>("region1", CV_region, dom).proj, -9999);
  // A projection cannot be honoured: refused, not silently accepted.
  testing::internal::CaptureStderr();
  EXPECT_EQ(MAP_domain(&dom), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "MAP_domain: Projection 3 not supported\n");
}

}  // namespace
