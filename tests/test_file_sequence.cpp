// The first input file (positional, current, latest, prompt), the current
// file with offsets, file sequences, and the overwrite decision. The
// reference time always comes from "zotcurtime", never from the clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/files.hpp"
#include "framework/flag.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "testutil.hpp"

namespace {

using tvtest::TempDir;

constexpr const char *kPrompt = "Enter the synoptic filename: ";

Date mk(int y, int mo, int d, int h, int mi = 0) {
  return Date{y, mo, d, tv::kMissInt, tv::kMissInt, h, mi, 0};
}

std::int64_t secs_of(Date d) { return DATE_num_sec(&d); }

// Standard input read from a file for the life of the object.
class StdinFrom {
 public:
  StdinFrom(const TempDir &dir, const std::string &text) {
    std::string path = dir.file("stdin.txt");
    tvtest::write_file(path, text);
    saved_ = dup(0);
    int fd = open(path.c_str(), O_RDONLY);
    dup2(fd, 0);
    close(fd);
    __fpurge(stdin);
    clearerr(stdin);
  }
  ~StdinFrom() {
    __fpurge(stdin);
    dup2(saved_, 0);
    close(saved_);
    clearerr(stdin);
  }
  StdinFrom(const StdinFrom &) = delete;
  StdinFrom &operator=(const StdinFrom &) = delete;

 private:
  int saved_ = -1;
};

// Hourly files from 00 to 12 h on 7 December 2023 and a reference time of
// 15:30 that day. Tests never set "current", which cannot be taken away
// again inside one process; the one that needs it runs in a child.
class Sequence : public ::testing::Test {
 protected:
  void SetUp() override {
    tvtest::write_file(dir_.file("name_conv"),
                       "syn_dat %D/%y%m%d%h_sao.wmo - 10\n"
                       "syn_cvt %C/%y%m%d.cvt\n"
                       "fixed %D/fixed.txt\n");
    for (int h = 0; h <= 12; ++h) tvtest::write_file(hourly(h), "0123456789AB");
    RES_put("file_path", dir_.path().c_str());
    RES_put("name_conv", "name_conv");
    RES_put("data_path", dir_.path().c_str());
    RES_put("con_path", dir_.file("out").c_str());
    RES_new(tv::kMissInt, "filename", nullptr, CV_strings);
    RES_put("num_hour", nullptr);
    setenv("zotcurtime", "202312071530", 1);
    FLAG_set(19, 0);
    FLAG_set(15, tv::kMissInt);
    FILE_reset_time();
    FILE_set_name("syn_dat");
  }
  void TearDown() override {
    FILE_reset_time();
    FLAG_set(19, 0);
    FLAG_set(15, tv::kMissInt);
    RES_new(tv::kMissInt, "filename", nullptr, CV_strings);
    RES_put("num_hour", nullptr);
  }

  std::string hourly(int h, int day = 7) const {
    char n[32];
    std::snprintf(n, sizeof n, "2312%02d%02d_sao.wmo", day, h);
    return dir_.file(n);
  }
  void positional(const std::vector<std::string> &names) {
    RES_new(tv::kMissInt, "filename", nullptr, CV_strings);
    for (const std::string &n : names) RES_append(tv::kMissInt, "filename", n.c_str(), CV_strings);
  }
  std::string current(const char *when, long *t = nullptr) {
    char name[160];
    long r = FILE_set_current(when, name);
    if (t) *t = r;
    return name;
  }
  static std::vector<std::string> drain(Date start) {
    std::vector<std::string> out;
    FILE_first(&start);
    char name[160];
    while (out.size() < 100 && FILE_get_next(name)) out.emplace_back(name);
    return out;
  }
  // The order of calls of a conversion run, from the input template to the
  // input file sequence, with the output name built in between.
  std::vector<std::string> run_sequence() {
    // A template without a period was the last one expanded before.
    FILE_set_name("fixed");
    Date any = mk(2023, 1, 1, 0);
    char before[160];
    FILE_set_date(&any, before);
    FILE_set_name("syn_dat");
    FILE_save_name_conv();
    char filename[160];
    FILE_get_file_only(kPrompt, filename);
    Date fd;
    FILE_get_date(&fd);
    FILE_reset_time();
    FILE_set_name("syn_cvt");
    char out[160];
    FILE_set_date(&fd, out);
    FILE_restore_name_conv();
    FILE_set_filename(filename);
    return drain(fd);
  }

  TempDir dir_;
};

TEST_F(Sequence, CurrentFileFromTheReferenceTimeAndOffsets) {
  long t = 0;
  EXPECT_EQ(current("", &t), hourly(15));
  EXPECT_EQ(t, secs_of(mk(2023, 12, 7, 15)));  // rounded down to the hour
  EXPECT_EQ(current("3"), hourly(12));
  EXPECT_EQ(current("-3"), hourly(12));
  EXPECT_EQ(current("+1d"), hourly(15, 8));
  EXPECT_EQ(current("12:30"), hourly(3));
  EXPECT_EQ(current("1d2:30"), hourly(13, 6));
  EXPECT_EQ(current("#202312061200"), hourly(12, 6));
  setenv("zotcurtime", "#2023120715", 1);
  EXPECT_EQ(current(""), hourly(15));
  // Missing month and day are the first of the year, not a day before it.
  FILE_set_name("@%D/%Y%m%d%h");
  EXPECT_EQ(current("#2023"), dir_.path() + "/2023010100");
  EXPECT_EQ(current("#202312071000+2"), dir_.path() + "/2023120712");
}

TEST_F(Sequence, LatestExistingFile) {
  EXPECT_EQ(current("la"), hourly(12));
  EXPECT_EQ(current(nullptr), hourly(12));
  EXPECT_EQ(current("la6"), hourly(6));
  EXPECT_EQ(current("5la"), hourly(10));  // from 10:30 back
  // The count gives up and keeps the last name tried.
  EXPECT_EQ(current("la#2"), hourly(14));
  EXPECT_EQ(current("la#4"), hourly(12));
  // Files must be larger than the convention's minimum of 10 bytes.
  tvtest::write_file(hourly(12), "short");
  tvtest::write_file(hourly(11), "");
  EXPECT_EQ(current("la"), hourly(10));
}

TEST_F(Sequence, FileTimeIsAppliedToTheReferenceTime) {
  Date s = mk(tv::kMissInt, tv::kMissInt, tv::kMissInt, 12, tv::kMissInt);
  FILE_set_time(&s);
  EXPECT_EQ(current(""), hourly(12));
  setenv("zotcurtime", "202312071030", 1);
  EXPECT_EQ(current(""), hourly(12, 6));  // not reached yet today

  FILE_set_name("@%D/%Y%m%d%h");
  s = mk(tv::kMissInt, tv::kMissInt, 5, tv::kMissInt, tv::kMissInt);
  FILE_set_time(&s);
  setenv("zotcurtime", "202312201530", 1);
  EXPECT_EQ(current(""), dir_.path() + "/2023120515");
  s.day = 25;
  FILE_set_time(&s);
  EXPECT_EQ(current(""), dir_.path() + "/2023112515");
  s = mk(tv::kMissInt, 3, tv::kMissInt, tv::kMissInt, tv::kMissInt);
  FILE_set_time(&s);
  setenv("zotcurtime", "202401101530", 1);
  EXPECT_EQ(current(""), dir_.path() + "/2023031015");
}

TEST_F(Sequence, WithoutPeriodTheTimeIsNotRounded) {
  FILE_set_name("fixed");
  long t = 0;
  EXPECT_EQ(current("", &t), dir_.path() + "/fixed.txt");
  EXPECT_EQ(t, secs_of(mk(2023, 12, 7, 15, 30)));
}

TEST_F(Sequence, NamesTypedAsCurrentOrLatest) {
  char name[160];
  FILE_set_file("cu3", name);
  EXPECT_EQ(std::string(name), hourly(12));
  FILE_set_file("la", name);
  EXPECT_EQ(std::string(name), hourly(12));
  FILE_set_file("#202312070500", name);
  EXPECT_EQ(std::string(name), hourly(5));
}

TEST_F(Sequence, BatchModeTakesTheLatestFile) {
  FLAG_set(19, 1);
  char name[160];
  testing::internal::CaptureStdout();
  EXPECT_EQ(FILE_get_file_only(kPrompt, name), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Current filename: " + hourly(12) + "\n");
  EXPECT_EQ(std::string(name), hourly(12));

  FILE_set_name("@%D/none_%y%m%d%h");
  testing::internal::CaptureStdout();
  EXPECT_EQ(FILE_get_file_only(kPrompt, name), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(std::string(name), dir_.path() + "/none_23111620");  // the 500th hour tried
}

TEST_F(Sequence, CurrentResourceIsUsedBeforeBatchMode) {
  EXPECT_EXIT(
      {
        RES_put("current", "5");
        FLAG_set(19, 1);
        char name[160];
        int found = FILE_get_file_only(kPrompt, name);
        std::exit(found == 1 && hourly(10) == name ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(Sequence, PositionalNameIsCompleted) {
  positional({"23120705"});
  char name[160];
  EXPECT_EQ(FILE_get_file_only(kPrompt, name), 1);
  EXPECT_EQ(std::string(name), hourly(5));
  Date d;
  FILE_get_date(&d);
  EXPECT_EQ(d.hour, 5);
  positional({"23120723"});
  EXPECT_EQ(FILE_get_file_only(kPrompt, name), 0);
}

TEST_F(Sequence, PositionalListListsAndEnds) {
  positional({"LIST"});
  EXPECT_EXIT(FILE_get_file_only(kPrompt, nullptr), testing::ExitedWithCode(0), "");
}

TEST_F(Sequence, PromptAnswers) {
  char name[160];
  {
    StdinFrom in(dir_, "list\n23120705_sao.wmo\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(FILE_get_file_only(kPrompt, name), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(name), hourly(5));
    std::size_t first = out.find("List of available files:\n");
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_NE(out.find("List of available files:\n", first + 1), std::string::npos) << out;
    EXPECT_NE(out.find("23120712_sao.wmo"), std::string::npos) << out;
    EXPECT_NE(out.find(kPrompt), std::string::npos) << out;
  }
  {
    StdinFrom in(dir_, "la\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(FILE_get_file_only(kPrompt, name), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(name), hourly(12));
    EXPECT_NE(out.find("Current filename: " + hourly(12) + "\n"), std::string::npos);
  }
  {
    StdinFrom in(dir_, "cu4\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(FILE_get_file_only(kPrompt, name), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(name), hourly(11));
  }
}

TEST_F(Sequence, PromptAnswerExitEnds) {
  EXPECT_EXIT(
      {
        StdinFrom in(dir_, "exit\n");
        FILE_get_file_only(kPrompt, nullptr);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(Sequence, ListsAndSpans) {
  positional({"23120701", "23120702_sao.wmo"});
  EXPECT_EQ(drain(mk(2023, 12, 7, 1)), (std::vector<std::string>{hourly(1), hourly(2)}));
  positional({"23120703"});
  RES_put("num_hour", "3");
  FILE_set_name("syn_dat");
  EXPECT_EQ(drain(mk(2023, 12, 7, 3)),
            (std::vector<std::string>{hourly(3), hourly(4), hourly(5), hourly(6)}));
  positional({});
  RES_put("num_hour", "6,3");
  EXPECT_EQ(drain(mk(2023, 12, 7, 0)), (std::vector<std::string>{hourly(0), hourly(3), hourly(6)}));
  RES_put("num_hour", nullptr);
  FILE_set_filename("/some/where.txt");
  EXPECT_EQ(drain(mk(2023, 12, 7, 12)), (std::vector<std::string>{"/some/where.txt"}));
}

TEST_F(Sequence, NegativeSpansEndAtTheFirstFile) {
  RES_put("num_hour", "-6");
  std::vector<std::string> want;
  for (int h = 6; h <= 12; ++h) want.push_back(hourly(h));
  EXPECT_EQ(drain(mk(2023, 12, 7, 12)), want);
  // -5 hours in steps of 2: the first step inside the span is -4, not -6.
  RES_put("num_hour", "-5,2");
  EXPECT_EQ(drain(mk(2023, 12, 7, 12)), (std::vector<std::string>{hourly(8), hourly(10), hourly(12)}));
}

// The run saves the input convention before the first file is chosen and
// restores it before the sequence: the period must survive that.
TEST_F(Sequence, RunWithOneNameAndTwoHoursReadsThreeFiles) {
  positional({hourly(4)});
  RES_put("num_hour", "2");
  EXPECT_EQ(run_sequence(), (std::vector<std::string>{hourly(4), hourly(5), hourly(6)}));
}

TEST_F(Sequence, SpanStepAndOffsetTexts) {
  RES_put("num_hour", "6");
  EXPECT_EQ(FILE_num_hour(), 6 * 3600);
  EXPECT_EQ(FILE_get_skip(), FILE_get_offset());
  RES_put("num_hour", "-0:30");
  EXPECT_EQ(FILE_num_hour(), -1800);
  RES_put("num_hour", ":30");
  EXPECT_EQ(FILE_num_hour(), 1800);
  RES_put("num_hour", "-2:15,1:30");
  EXPECT_EQ(FILE_num_hour(), -(2 * 3600 + 15 * 60));
  EXPECT_EQ(FILE_get_skip(), 5400);
  char name[160];
  Date d = mk(2023, 12, 7, 3);
  EXPECT_EQ(FILE_set_date_off(&d, 7200, name), 2);
  EXPECT_EQ(std::string(name), hourly(5));
}

TEST_F(Sequence, OverwriteWithoutAsking) {
  std::string absent = dir_.file("absent.cvt");
  EXPECT_EQ(FILE_overwrite(absent.c_str(), 2), 1);
  EXPECT_EQ(FILE_overwrite("-", 2), 1);
  std::string existing = hourly(1);
  FLAG_set(15, 2);  // "app"
  EXPECT_EQ(FILE_overwrite(existing.c_str(), 2), 2);
  FLAG_set(15, 3);
  EXPECT_EQ(FILE_overwrite(existing.c_str(), 1), 3);
  FLAG_set(15, tv::kMissInt);
  FLAG_set(19, 1);
  EXPECT_EQ(FILE_overwrite(existing.c_str(), 2), 3);
  FLAG_set(19, 0);
  EXPECT_EQ(FILE_overwrite(existing.c_str(), 7), 0);
}

TEST_F(Sequence, OverwritePrompts) {
  std::string existing = hourly(1);
  struct Case {
    int mode;
    const char *answer;
    int want;
  };
  const Case cases[] = {{2, "a\n", 2}, {2, "Y\n", 1}, {2, "n\n", 3}, {1, "A\n", 3},
                        {1, "over\n", 1}, {1, "use\n", 3}};
  for (const Case &c : cases) {
    StdinFrom in(dir_, c.answer);
    testing::internal::CaptureStdout();
    int got = FILE_overwrite(existing.c_str(), c.mode);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(got, c.want) << c.mode << " " << c.answer;
    std::string prompt = existing + (c.mode == 1 ? ": exists overwrite (Y,N,Use,Over): "
                                                 : ": exists overwrite (Y,N,Use,Over,App): ");
    EXPECT_EQ(out, prompt);
  }
}

}  // namespace
