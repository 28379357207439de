// The date of the data: typed names with a directory matched against a
// template for a bare file, whether a name gave its date, and the date of
// feed files from their WMO names or their first heading.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <ctime>
#include <string>

#include "framework/files.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "testutil.hpp"

namespace {

using tvtest::TempDir;
using tvtest::write_file;

constexpr int kMiss = tv::kMissInt;

Date none() { return Date{kMiss, kMiss, kMiss, kMiss, kMiss, kMiss, kMiss, kMiss}; }

// Year, month, day, hour and minute as one number, for short comparisons.
long long ymdhm(const Date &d) {
  return (((d.year * 100LL + d.month) * 100 + d.day) * 100 + d.hour) * 100 + d.min;
}

void set_mtime(const std::string &path, int y, int mo, int d, int h) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  const time_t t = timegm(&tm);
  const timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

class DataDate : public testing::Test {
 protected:
  void SetUp() override {
    write_file(dir.file("name_conv"), "syn_dat %y%m%d%h.syn -\nsao %D/%y%m%d%h_sao.wmo -\n");
    RES_put("file_path", dir.path().c_str());
    RES_put("name_conv", "name_conv");
    RES_put("data_path", "/data");
    FILE_reset_time();
    FILE_set_name("syn_dat");
  }
  void TearDown() override {
    FILE_reset_time();
    FILE_set_name("none");
  }
  std::string match(const char *typed) {
    char name[160];
    FILE_set_file(typed, name);
    return name;
  }
  static Date got() {
    Date d;
    FILE_get_date(&d);
    return d;
  }
  TempDir dir;
};

TEST_F(DataDate, NameWithADirectoryMatchesABareFileTemplate) {
  for (const char *typed : {"in/23120712.syn", "./23120712.syn", "/abs/dir/23120712.syn", "../x/23120712"}) {
    const std::string name = match(typed);
    EXPECT_EQ(FILE_name_fits(), 1) << typed;
    EXPECT_EQ(got().year * 1000000LL + got().month * 10000 + got().day * 100 + got().hour, 2023120712LL)
        << typed;
    EXPECT_EQ(name.substr(name.rfind('/') + 1), "23120712.syn") << typed;
    EXPECT_EQ(name.substr(0, name.rfind('/')), std::string(typed).substr(0, std::string(typed).rfind('/')))
        << typed;
  }
  // A template with a directory of its own keeps its rules.
  FILE_set_name("sao");
  EXPECT_EQ(match("23120715_sao.wmo"), "/data/23120715_sao.wmo");
  EXPECT_EQ(FILE_name_fits(), 1);
}

// The date is the name's only when every date code of the template was read.
TEST_F(DataDate, WhichNamesFitTheTemplate) {
  match("23120712b.syn");
  EXPECT_EQ(FILE_name_fits(), 1) << "the date is all there; the rest is kept as typed";
  for (const char *typed : {"23abc.syn", "notes.txt", "A_SMRO01YRBK211200_C_EDZW_20220321120500_1.txt", "2312"}) {
    match(typed);
    EXPECT_EQ(FILE_name_fits(), 0) << typed;
  }
  FILE_set_name("@fixed.syn");
  match("fixed.syn");
  EXPECT_EQ(FILE_name_fits(), 0) << "a template without dates gives no date";
}

// The hours after a name typed with a directory are in that directory.
TEST_F(DataDate, SequenceNamesKeepTheUsersDirectory) {
  char name[160];
  FILE_set_filename("in/23120712.syn");
  Date d = {2023, 12, 7, kMiss, kMiss, 13, kMiss, kMiss};
  FILE_set_date(&d, name);
  EXPECT_STREQ(name, "in/23120713.syn");
  FILE_set_name("syn_dat");  // a name produced for nobody's file: no directory
  FILE_set_date(&d, name);
  EXPECT_STREQ(name, "23120713.syn");
}

TEST_F(DataDate, WmoFileNames) {
  struct Case {
    const char *name;
    long long want;  // YYYYMMDDhhmm, or 0 when the name gives nothing
  };
  for (const Case &c : {
           Case{"A_SMRO01YRBK211200_C_EDZW_20220321120500_12524785.txt", 202203211200LL},
           Case{"dir/A_SMRO01YRBK171200CCA_C_EDZW_20230117174401_51649529.txt", 202301171200LL},
           Case{"A_SMRO01YRBK171200CCB_C_EDZW_20230118094300_52396633.txt", 202301171200LL},
           // A heading of the last day of the year, filed the next morning.
           Case{"A_SMUS01KWBC312330_C_KWBC_20240101001500_1.bin", 202312312330LL},
           // The month before has no 31st: the one before that has.
           Case{"A_SMUS01KWBC310600_C_KWBC_20230301001500_1.bin", 202301310600LL},
           Case{"A_SMUS01KWBC290600_C_KWBC_20240301000000_1.bin", 202402290600LL},
           // Not the convention, or a date that cannot be.
           Case{"B_SMUS01KWBC071200_C_KWBC_20231207121500_1.txt", 0},
           Case{"A_SMUS01KWBC071200_X_KWBC_20231207121500_1.txt", 0},
           Case{"A_SMUS01KWBC071260_C_KWBC_20231207121500_1.txt", 0},
           Case{"A_SMUS01KWBC321200_C_KWBC_20231207121500_1.txt", 0},
           Case{"A_SMUS01KWBC071200_C_KWBC_20231307121500_1.txt", 0},
           Case{"A_SMUS1KWBC071200_C_KWBC_20231207121500_1.txt", 0},
           Case{"A_SMUS01KWBC071200_C_KWBC_2023120_1.txt", 0},
       }) {
    Date d = none();
    const int from = FILE_feed_date(c.name, &d);
    if (c.want == 0) {
      EXPECT_NE(from, 1) << c.name;
      continue;
    }
    EXPECT_EQ(from, 1) << c.name;
    EXPECT_EQ(ymdhm(d), c.want) << c.name;
  }
}

TEST_F(DataDate, FirstHeadingAndTheFileTime) {
  const std::string path = dir.file("feed.txt");
  // Start of message, sequence number and CR CR LF, as feeds deliver them.
  write_file(path, "\x01\r\r\n123\r\r\nSIAA17 LFVW 072100\r\r\nAAXX 07214\r\r\n89577 46/// /3202=\r\r\n\x03");
  struct Case {
    int y, mo, d, h;
    long long want;
  };
  for (const Case &c : {Case{2023, 3, 8, 10, 202303072100LL}, Case{2023, 3, 7, 22, 202303072100LL},
                        Case{2023, 3, 6, 10, 202302072100LL}, Case{2023, 1, 1, 0, 202212072100LL}}) {
    set_mtime(path, c.y, c.mo, c.d, c.h);
    Date d = none();
    EXPECT_EQ(FILE_feed_date(path.c_str(), &d), 2);
    EXPECT_EQ(ymdhm(d), c.want) << c.y << "-" << c.mo << "-" << c.d;
  }

  // "** " headings, blank lines and lone CRs; the first heading counts.
  write_file(path, "\n\n** SMUS01 KWBC 071150\rAAXX 07124\r** SMUS02 KWBC 081200\r");
  set_mtime(path, 2023, 12, 9, 0);
  Date d = none();
  EXPECT_EQ(FILE_feed_date(path.c_str(), &d), 2);
  EXPECT_EQ(ymdhm(d), 202312071150LL);

  // Only fields not given are filled.
  d = none();
  d.year = 2021;
  d.hour = 6;
  EXPECT_EQ(FILE_feed_date(path.c_str(), &d), 2);
  EXPECT_EQ(ymdhm(d), 202112070650LL);
}

TEST_F(DataDate, WhatGivesNoDate) {
  const std::string plain = dir.file("plain.txt");
  // Report lines and section lines are no headings.
  write_file(plain, "AAXX 07124\n72403 11560 82705=\nBBXX\nABCD12 07121 99412=\nSMUS01 KWBC 0712\n");
  Date d = none();
  EXPECT_EQ(FILE_feed_date(plain.c_str(), &d), 0);
  EXPECT_EQ(d.year, kMiss) << "nothing filled";
  EXPECT_EQ(FILE_feed_date("-", &d), 0) << "standard input is not read ahead";
  EXPECT_EQ(FILE_feed_date(dir.file("missing.txt").c_str(), &d), -1);
  EXPECT_EQ(FILE_feed_date(dir.path().c_str(), &d), -1) << "a directory";
  // A WMO name is enough, whether the file is there or not.
  EXPECT_EQ(FILE_feed_date(dir.file("A_SMUS01KWBC071200_C_KWBC_20231207121500_1.txt").c_str(), &d), 1);
}

TEST_F(DataDate, ConventionFileLookup) {
  char path[160];
  EXPECT_EQ(FILE_name_conv_path(path), 1);
  EXPECT_EQ(std::string(path), dir.file("name_conv"));
  RES_put("name_conv", "nowhere");
  EXPECT_EQ(FILE_name_conv_path(path), 0);
  EXPECT_EQ(std::string(path), dir.file("nowhere"));
  // Quiet: a run that names its files itself is not told.
  FILE_quiet_conv(1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(FILE_set_name("syn_dat"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  FILE_quiet_conv(0);
  testing::internal::CaptureStderr();
  FILE_set_name("syn_dat");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FILE_set_name: No file name convention file: " + dir.file("nowhere") + "\n");
  RES_put("name_conv", "name_conv");
}

}  // namespace
