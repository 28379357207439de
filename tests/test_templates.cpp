// Name conventions, template expansion, typed names matched back to their
// dates, and the file listing with its shell quoting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "testutil.hpp"

namespace {

using tvtest::TempDir;

Date mk(int y, int mo, int d, int h, int mi = tv::kMissInt) {
  return Date{y, mo, d, tv::kMissInt, tv::kMissInt, h, mi, tv::kMissInt};
}

// Every test starts from a known convention file, data path and file time.
class Templates : public ::testing::Test {
 protected:
  void SetUp() override {
    tvtest::write_file(dir_.file("name_conv"),
                       "# type template header min-size\n"
                       "syn %D/%y%m%d%h.%e - 0\n"
                       "sao %D/%y%m%d%h_sao.wmo %D/sao.hdr 10\n"
                       "syn_cvt %C/%y%m%d%h_syn.cvt\n"
                       "obs %D/%s_%y.txt -\n"
                       "SHIP  %D/ship_%3h.txt\n");
    RES_put("file_path", dir_.path().c_str());
    RES_put("name_conv", "name_conv");
    RES_put("data_path", "/data");
    RES_put("con_path", "/cvt");
    FILE_reset_time();
    FILE_set_name("none");
  }
  void TearDown() override { FILE_reset_time(); }

  std::string expand(const Date &d) {
    Date copy = d;
    char name[160];
    FILE_set_date(&copy, name);
    return name;
  }
  std::string match(const char *typed) {
    char name[160];
    EXPECT_EQ(FILE_set_file(typed, name), 0);
    return name;
  }
  static Date got() {
    Date d;
    FILE_get_date(&d);
    return d;
  }

  TempDir dir_;
};

TEST_F(Templates, DateCodesAndTheirPeriod) {
  ASSERT_EQ(FILE_set_name("@%D/%y%m%d%h_sao.wmo"), 1);
  Date d = mk(2023, 12, 7, 15);
  char name[160];
  EXPECT_EQ(FILE_set_date(&d, name), 0);
  EXPECT_STREQ(name, "/data/23120715_sao.wmo");
  Date f = got();
  EXPECT_EQ(f.year * 1000000 + f.month * 10000 + f.day * 100 + f.hour, 2023120715);
  EXPECT_EQ(FILE_get_offset(), 3600);

  FILE_set_name("@%D/%y%m%d%3h_sao.wmo");
  EXPECT_EQ(expand(mk(2023, 12, 7, 14)), "/data/23120712_sao.wmo");
  EXPECT_EQ(FILE_get_offset(), 3 * 3600);
  EXPECT_EQ(got().hour, 12);
  FILE_set_name("@%6h");
  EXPECT_EQ(expand(mk(2023, 12, 7, 5)), "00");
  FILE_set_name("@%d%h%15n");  // the smallest proposal is the period
  EXPECT_EQ(expand(mk(2023, 12, 7, 5, 44)), "070530");
  EXPECT_EQ(FILE_get_offset(), 15 * 60);
  FILE_set_name("@%0h");  // a count of 0 must not divide by zero
  EXPECT_EQ(expand(mk(2023, 12, 7, 5)), "05");
  EXPECT_EQ(FILE_get_offset(), 3600);
  FILE_set_name("@%D/fixed.txt");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/data/fixed.txt");
  EXPECT_EQ(FILE_get_offset(), 100000);  // no period
  FILE_set_name("@%Y-%b-%j");
  EXPECT_EQ(expand(mk(2024, 2, 29, 0)), "2024-feb-060");
  FILE_set_name("@%Y-%b-%j");  // forget the name just built
  EXPECT_EQ(expand(mk(tv::kMissInt, tv::kMissInt, tv::kMissInt, 0)), "0000-xxx-000");
}

TEST_F(Templates, KeysPercentBlanksBracesAndSpecialNames) {
  FILE_set_key('q', nullptr);
  FILE_set_name("@a%qb%%c{d}e f");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "a0b%cde_f");
  FILE_set_key('q', "two words");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "atwo_wordsb%cde_f");
  FILE_set_name("@%3q");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "two");
  FILE_set_key('q', nullptr);

  EXPECT_EQ(FILE_set_name("NONE"), 0);
  Date d = mk(2023, 12, 7, 15);
  char name[160];
  EXPECT_EQ(FILE_set_date(&d, name), 1);
  EXPECT_STREQ(name, "filename");
  FILE_set_filename("given.txt");
  EXPECT_EQ(FILE_set_date(&d, name), 1);
  EXPECT_STREQ(name, "given.txt");

  FILE_set_name("@-");
  EXPECT_EQ(FILE_set_date(&d, name), 1);
  EXPECT_STREQ(name, "-");

  FILE_set_name("@%y%m%d%h");
  EXPECT_EQ(expand(d), "23120715");
  EXPECT_EQ(FILE_set_date(nullptr, name), 0);  // the last file date again
  EXPECT_STREQ(name, "23120715");
  FILE_set_filename("mine.txt");
  Date no_year = mk(tv::kMissInt, 12, 7, 15);
  EXPECT_EQ(FILE_set_date(&no_year, name), 1);
  EXPECT_STREQ(name, "mine.txt");
}

// The resources come from the resource store, above the file layer, which
// installs them when the program starts. Through other ones every path
// code, name and list follows them; without any, every resource is absent:
// a path code is the current directory, a "%{name}" nothing, and the
// convention file is looked for as "name_conv" in the current directory.
TEST_F(Templates, ResourcesThroughTheInstalledHooks) {
  FILE_set_name("@%D/%{tag}%y%m%d%h");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/data/23120715");

  const FILE_resources store = FILE_use_resources({});
  ASSERT_NE(store.get, nullptr);
  ASSERT_NE(store.get_list, nullptr);
  ASSERT_NE(store.from_user, nullptr);
  FILE_set_name("@%D/%{tag}%y%m%d%h");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "./23120715");
  char path[160];
  EXPECT_EQ(FILE_name_conv_path(path), 0);
  EXPECT_STREQ(path, "name_conv");
  EXPECT_EQ(FILE_is_sequence(), 0);  // no "num_hour"
  FILE_set_name("@|cat");
  char name[160];
  FILE_set_date(nullptr, name);
  EXPECT_EQ(FILE_allow_template_command("out_file", name), 0);  // nobody gave it

  FILE_use_resources({[](const char *n) -> const char * {
                        const std::string_view v(n);
                        return v == "data_path" ? "/other" : v == "tag" ? "T_" : v == "num_hour" ? "6" : nullptr;
                      },
                      [](const char *, int *count, char ***list) {
                        *count = 0;
                        *list = nullptr;
                        return 0;
                      },
                      [](const char *) { return 1; }});
  FILE_set_name("@%D/%{tag}%y%m%d%h");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/other/T_23120715");
  EXPECT_EQ(FILE_is_sequence(), 1);
  FILE_set_name("@|cat");
  FILE_set_date(nullptr, name);
  EXPECT_EQ(FILE_allow_template_command("out_file", name), 1);
  FILE_use_resources(store);
}

TEST_F(Templates, ConventionKeys) {
  EXPECT_EQ(FILE_set_name("syn_dat"), 1);  // partly "syn": ext dat
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/data/23120715.dat");
  EXPECT_EQ(FILE_set_name("SAO"), 1);
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/data/23120715_sao.wmo");
  // "syn" comes first and is a leading part of "syn_cvt"; the exact entry
  // further down must still be the one chosen.
  EXPECT_EQ(FILE_set_name("syn_cvt"), 1);
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/cvt/23120715_syn.cvt");
  EXPECT_EQ(FILE_set_name("plain_%y.txt"), 0);
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "plain_23.txt");
  EXPECT_EQ(FILE_set_name("obs:s=north sea"), 1);
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/data/north_sea_23.txt");
  FILE_set_key('s', nullptr);
}

TEST_F(Templates, MissingConventionFileIsReported) {
  std::string absent = dir_.file("nowhere");
  RES_put("name_conv", absent.c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(FILE_set_name("sao"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FILE_set_name: No file name convention file: " + absent + "\n");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "sao");
}

TEST_F(Templates, SetHourFixedAndRounding) {
  FILE_set_name("@%y%m%d%h");
  Date s = mk(tv::kMissInt, tv::kMissInt, tv::kMissInt, 12);
  FILE_set_time(&s);
  EXPECT_EQ(expand(mk(2023, 12, 7, 3)), "23120712");
  s.hour = -6;
  FILE_set_time(&s);
  EXPECT_EQ(expand(mk(2023, 12, 7, 14)), "23120712");
  EXPECT_EQ(FILE_get_offset(), 6 * 3600);
  s.hour = -306;  // the multiple of 6 less 3 hours
  FILE_set_time(&s);
  EXPECT_EQ(expand(mk(2023, 12, 7, 14)), "23120709");
  // Stepping back past midnight lands on the day before, not on hour -3.
  EXPECT_EQ(expand(mk(2023, 12, 7, 2)), "23120621");
  EXPECT_EQ(got().day, 6);
}

TEST_F(Templates, PathCodes) {
  FILE_set_name("@%R/x");  // raw_path is never set here
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "./x");
  RES_put("data_path", "/data/");
  FILE_set_name("@%D/x");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/data/x");
  RES_put("my_dir", "/mine");
  FILE_set_name("@%{my_dir}/x%{not_a_resource}y");
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/mine/xy");
  // A full path the user gave replaces the path code.
  FILE_set_name("@%D/%y%m%d%h_sao.wmo");
  FILE_set_filename("/tmp/abc/23120715_sao.wmo");
  EXPECT_EQ(expand(mk(2023, 12, 7, 16)), "/tmp/abc/23120716_sao.wmo");
  EXPECT_EQ(expand(mk(2023, 12, 7, 17)), "/tmp/abc/23120717_sao.wmo");
}

TEST_F(Templates, LongTextsAreCutAndReported) {
  testing::internal::CaptureStderr();
  FILE_set_name(("@" + std::string(200, 'a')).c_str());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "FILE_set_name: Text too long, cut\n");
  RES_put("data_path", std::string(100, 'd').c_str());
  FILE_set_name(("@%D/" + std::string(100, 'a')).c_str());
  char name[168];
  std::memset(name, 'Z', sizeof name);
  Date d = mk(2023, 12, 7, 15);
  testing::internal::CaptureStderr();
  FILE_set_date(&d, name);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "FILE_set_date: Text too long, cut\n");
  EXPECT_EQ(std::strlen(name), 159u);
  EXPECT_EQ(name[160], 'Z');
  testing::internal::CaptureStderr();
  FILE_set_key('k', std::string(40, 'k').c_str());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "FILE_set_key: Text too long, cut\n");
  FILE_set_name("@%k");
  EXPECT_EQ(expand(d), std::string(29, 'k'));
  FILE_set_key('k', nullptr);
}

TEST_F(Templates, SaveAndRestoreKeepThePeriodAndExtension) {
  FILE_set_name("syn_dat");
  EXPECT_EQ(FILE_get_offset(), 3600);
  FILE_save_name_conv();
  FILE_set_name("@%D/fixed");
  EXPECT_EQ(FILE_get_offset(), 100000);
  FILE_restore_name_conv();
  EXPECT_EQ(FILE_get_offset(), 3600);
  EXPECT_EQ(expand(mk(2023, 12, 7, 15)), "/data/23120715.dat");
}

// --- typed names matched against the template -----------------------------

TEST_F(Templates, TypedNamesGiveTheirDates) {
  FILE_set_name("sao");
  EXPECT_EQ(match("23120715_sao.wmo"), "/data/23120715_sao.wmo");
  Date f = got();
  EXPECT_EQ(f.year * 1000000 + f.month * 10000 + f.day * 100 + f.hour, 2023120715);
  EXPECT_EQ(match("23120716"), "/data/23120716_sao.wmo");  // completed
  EXPECT_EQ(got().hour, 16);
  match("49010100");
  EXPECT_EQ(got().year, 2049);
  match("50010100");
  EXPECT_EQ(got().year, 1950);
  EXPECT_EQ(match("/tmp/x/23120717_sao.wmo"), "/tmp/x/23120717_sao.wmo");
  EXPECT_EQ(got().hour, 17);
  EXPECT_EQ(match("./23120718_sao.wmo"), "./23120718_sao.wmo");
  EXPECT_EQ(got().hour, 18);
  // What does not fit is kept as typed.
  EXPECT_EQ(match("notes.txt"), "/data/notes.txt");
  EXPECT_EQ(got().year, tv::kMissInt);
  EXPECT_EQ(match("23120715.bak"), "/data/23120715.bak");
}

TEST_F(Templates, HashSuffixSetsTheFileTime) {
  FILE_set_name("sao");
  EXPECT_EQ(match("23120715_sao.wmo#202401021530"), "/data/23120715_sao.wmo");
  Date s;
  FILE_get_time(&s);
  EXPECT_EQ(s.year, 2024);
  EXPECT_EQ(s.month, 1);
  EXPECT_EQ(s.day, 2);
  EXPECT_EQ(s.hour, 15);
  EXPECT_EQ(s.min, 30);
  Date f = got();
  EXPECT_EQ(f.year, 2023);  // read from the name
  EXPECT_EQ(f.min, 30);     // not in the name: from the file time
}

TEST_F(Templates, LiteralStreamAndNoneNames) {
  FILE_set_name("sao");
  EXPECT_EQ(match("@any thing"), "any thing");
  EXPECT_EQ(match("-"), "-");
  EXPECT_EQ(match("none"), "none");
  FILE_set_name("@/abs/%y.txt");
  EXPECT_EQ(match("/other/file"), "/other/file");
  FILE_set_name("none");
  EXPECT_EQ(match("whatever"), "whatever");
}

TEST_F(Templates, MonthNameDayOfYearAndExtension) {
  FILE_set_name("@%D/%d%b%y.txt");
  EXPECT_EQ(match("07dec23.txt"), "/data/07dec23.txt");
  Date f = got();
  EXPECT_EQ(f.year * 10000 + f.month * 100 + f.day, 20231207);
  FILE_set_name("@%D/%Y%j.txt");
  match("2024060.txt");
  f = got();
  EXPECT_EQ(f.month * 100 + f.day, 229);
  FILE_set_name("@%D/%y%m%d.%e");
  EXPECT_EQ(match("231207.abc"), "/data/231207.abc");
  EXPECT_EQ(expand(mk(2023, 12, 8, 0)), "/data/231208.abc");  // ext learned
}

// Equal leading characters of a relative name with a directory must be
// passed over once, not written twice.
TEST_F(Templates, RelativeDirectoryNameMatchesLiterally) {
  FILE_set_name("@sub/%y%m%d.txt");
  EXPECT_EQ(match("sub/231207.txt"), "sub/231207.txt");
  EXPECT_EQ(got().day, 7);
}

TEST_F(Templates, UserKeysStarAndOptionalParts) {
  FILE_set_key('s', "ab");
  FILE_set_name("@%D/%s_%y.txt");
  EXPECT_EQ(match("ab_23.txt"), "/data/ab_23.txt");
  EXPECT_EQ(got().year, 2023);
  FILE_set_key('s', nullptr);
  EXPECT_EQ(match("ab_23.txt"), "/data/ab_23.txt");
  EXPECT_EQ(got().year, tv::kMissInt);

  FILE_set_name("@%D/%y*");
  EXPECT_EQ(match("23anything"), "/data/23anything");
  FILE_set_name("@%D/{obs_}%y%m%d");
  EXPECT_EQ(match("231207"), "/data/obs_231207");
  EXPECT_EQ(match("obs_231207"), "/data/obs_231207");
  EXPECT_EQ(got().day, 7);
}

TEST_F(Templates, ExitEndsTheProgram) {
  FILE_set_name("sao");
  char name[160];
  EXPECT_EXIT(FILE_set_file("Exit", name), testing::ExitedWithCode(0), "");
}

// --- listing --------------------------------------------------------------

class Listing : public Templates {
 protected:
  std::string list() {
    testing::internal::CaptureStdout();
    FILE_list_file();
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(Listing, WildcardsFindTheFilesOfTheTemplate) {
  tvtest::write_file(dir_.file("23120715_sao.wmo"), "x");
  tvtest::write_file(dir_.file("23120716_sao.wmo"), "x");
  tvtest::write_file(dir_.file("notes.txt"), "x");
  RES_put("data_path", dir_.path().c_str());
  FILE_set_name("sao");
  std::string out = list();
  EXPECT_NE(out.find("23120715_sao.wmo"), std::string::npos) << out;
  EXPECT_NE(out.find("23120716_sao.wmo"), std::string::npos) << out;
  EXPECT_EQ(out.find("notes.txt"), std::string::npos) << out;
}

TEST_F(Listing, SearchCommandQuotesEverythingButTheWildcards) {
  RES_put("data_path", "/d a't");
  FILE_set_name("@%D/%Y%b%j%y%e_%x%2x%%{o}.z");
  MESS_set(1, 0x80000000u);
  testing::internal::CaptureStderr();  // ls finds nothing there
  std::string out = list();
  testing::internal::GetCapturedStderr();
  MESS_set(-1, 0x80000000u);
  EXPECT_NE(out.find("SEARCH: ls -x '/d a'\\''t/'?[0-9]???[a-z]??[0-9]?[0-9]?*'_'*??" "'%o.z'\n"),
            std::string::npos)
      << out;
}

TEST_F(Listing, ValuesCannotRunCommands) {
  std::string victim = dir_.file("pwned");
  std::string evil = dir_.path() + "/x; touch " + victim + "; echo $(touch " + victim + ")";
  RES_put("data_path", evil.c_str());
  FILE_set_name(("@%D/%y`touch " + victim + "`").c_str());
  testing::internal::CaptureStderr();
  list();
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(tvtest::file_exists(victim));
}

TEST_F(Listing, DirectoryWithBlanksAndHome) {
  std::string spaced = dir_.path() + "/with blank";
  FILE *f = FILE_open((spaced + "/23120715_sao.wmo").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  RES_put("data_path", spaced.c_str());
  FILE_set_name("sao");
  EXPECT_NE(list().find("23120715_sao.wmo"), std::string::npos);

  const char *old = std::getenv("HOME");
  std::string saved = old ? old : "";
  setenv("HOME", dir_.path().c_str(), 1);
  RES_put("data_path", "~/with blank");
  std::string out = list();
  if (old)
    setenv("HOME", saved.c_str(), 1);
  else
    unsetenv("HOME");
  EXPECT_NE(out.find("23120715_sao.wmo"), std::string::npos) << out;
}

}  // namespace
