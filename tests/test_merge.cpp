// Comparison and merging of two reports of one station: categories,
// messages, merge levels, the later-groups rule and the cloud count.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "report/sfc_tool.hpp"

namespace {

constexpr M_type kMerge = 0x8000000;

// A complete land report at 1200.
SFC_report base() {
  SFC_report r;
  SFC_initialize(&r);
  std::strcpy(r.id, "72530");
  std::strcpy(r.area, "LA");
  r.type = 1;
  r.time = 1200;
  r.t = 50.0f;
  r.td = 40.0f;
  r.pmb = 1013.2f;
  r.alt = 29.92f;
  r.w_dir = 270.0f;
  r.w_spd = 10.0f;
  r.w_gust = 20.0f;
  std::strcpy(r.weather, "RA");
  r.cld_height[0] = 1500.0f;
  r.cld_cover[0] = 'S';
  r.cld_height[1] = 5000.0f;
  r.cld_cover[1] = 'B';
  r.num_cld = 2;
  r.vis = 10.0f;
  r.ptend_t = 2;
  r.ptend = 1.5f;
  r.rain6 = 0.12f;
  r.max_t = 55.0f;
  r.min_t = 38.0f;
  r.scover = 2.0f;
  r.solar = 60.0f;
  r.sst = 12.5f;
  r.wav_per = 6.0f;
  r.wav_hgt = 1.5f;
  std::memcpy(r.cld_type, "512", 3);
  std::strcpy(r.comment, "RMK AO2");
  return r;
}

class Merge : public ::testing::Test {
 protected:
  void SetUp() override { MESS_set(1, kMerge); }
  void TearDown() override { MESS_set(-1, kMerge); }

  // Runs f with the merge messages captured.
  std::string messages(const std::function<void()> &f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
  }
};

struct Case {
  const char *what;
  std::function<void(SFC_report &)> change;
  int category;
  const char *message;
};

TEST_F(Merge, IdenticalReportsAreDuplicatesSilently) {
  SFC_report a = base(), b = base();
  int result = -1;
  EXPECT_EQ(messages([&] { result = SFC_compare(&a, &b); }), "");
  EXPECT_EQ(result, 0);
}

TEST_F(Merge, EachGroupDiffersInItsOwnCategory) {
  const std::vector<Case> cases = {
      {"type", [](SFC_report &r) { r.type = 17; }, 1, "Different types: 17 1\n"},
      {"time", [](SFC_report &r) { r.time = 1300; }, 2, "Different times\n"},
      {"t", [](SFC_report &r) { r.t = 51.0f; }, 3, "Different temperatures\n"},
      {"td", [](SFC_report &r) { r.td = 41.0f; }, 3, "Different dewpoints\n"},
      {"pmb", [](SFC_report &r) { r.pmb = 1013.3f; }, 4, "Different SLP pressures\n"},
      {"alt", [](SFC_report &r) { r.alt = 29.93f; }, 4, "Different altimeter settings\n"},
      {"w_dir", [](SFC_report &r) { r.w_dir = 280.0f; }, 5, "Different wind direction\n"},
      {"w_spd", [](SFC_report &r) { r.w_spd = 11.0f; }, 5, "Different wind speed\n"},
      {"w_gust", [](SFC_report &r) { r.w_gust = 25.0f; }, 5, "Different wind gusts\n"},
      {"weather", [](SFC_report &r) { std::strcpy(r.weather, "SN"); }, 6, "Different weather\n"},
      {"height", [](SFC_report &r) { r.cld_height[1] = 6000.0f; }, 7, "Different cloud heights\n"},
      {"cover", [](SFC_report &r) { r.cld_cover[0] = 'F'; }, 7, "Different cloud covers\n"},
      {"vis", [](SFC_report &r) { r.vis = 5.0f; }, 8, "Different visibility\n"},
      {"ptend_t", [](SFC_report &r) { r.ptend_t = 7; }, 9, "Different pressure tendency type\n"},
      {"ptend", [](SFC_report &r) { r.ptend = -1.5f; }, 9, "Different pressure tendencies\n"},
      {"rain3", [](SFC_report &r) { r.rain3 = 0.01f; }, 10, "Different 3 hr precip\n"},
      {"rain6", [](SFC_report &r) { r.rain6 = 0.2f; }, 10, "Different 6 hr precip\n"},
      {"rain12", [](SFC_report &r) { r.rain12 = 0.3f; }, 10, "Different 12 hr precip\n"},
      {"rain24", [](SFC_report &r) { r.rain24 = 0.4f; }, 10, "Different 24 hr precip\n"},
      {"max_t", [](SFC_report &r) { r.max_t = 56.0f; }, 11, "Different max temp\n"},
      {"min_t", [](SFC_report &r) { r.min_t = 37.0f; }, 11, "Different min temp\n"},
      {"max6_t", [](SFC_report &r) { r.max6_t = 52.0f; }, 11, "Different 6 hr max temp\n"},
      {"min6_t", [](SFC_report &r) { r.min6_t = 41.0f; }, 11, "Different 6 hr min temp\n"},
      {"scover", [](SFC_report &r) { r.scover = 3.0f; }, 12, "Different snow cover\n"},
      {"solar", [](SFC_report &r) { r.solar = 30.0f; }, 13, "Different solar duration\n"},
      {"sst", [](SFC_report &r) { r.sst = 13.0f; }, 14, "Different sea surface temperatures\n"},
      {"wav_per", [](SFC_report &r) { r.wav_per = 7.0f; }, 14, "Different wave period\n"},
      {"wav_hgt", [](SFC_report &r) { r.wav_hgt = 2.0f; }, 14, "Different wave height\n"},
      {"cld_type", [](SFC_report &r) { r.cld_type[2] = '7'; }, 15, "Different cloud types\n"},
      {"comment", [](SFC_report &r) { std::strcpy(r.comment, "RMK AO1"); }, 16,
       "Different comments\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SFC_report fresh = base(), kept = base();
    c.change(fresh);
    int result = -1;
    EXPECT_EQ(messages([&] { result = SFC_compare(&fresh, &kept); }), c.message);
    EXPECT_EQ(result, c.category);
  }
}

TEST_F(Merge, EveryDifferenceIsReportedButTheFirstCategoryWins) {
  SFC_report fresh = base(), kept = base();
  fresh.t = 51.0f;
  fresh.time = 1300;
  int result = -1;
  EXPECT_EQ(messages([&] { result = SFC_compare(&fresh, &kept); }),
            "Different times\nDifferent temperatures\n");
  EXPECT_EQ(result, 2);

  fresh = base();
  fresh.cld_type[0] = '1';
  fresh.cld_type[1] = '2';
  fresh.cld_height[0] = 900.0f;
  fresh.cld_height[1] = 900.0f;
  EXPECT_EQ(messages([&] { result = SFC_compare(&fresh, &kept); }),
            "Different cloud heights\nDifferent cloud heights\n"
            "Different cloud types\nDifferent cloud types\n");
  EXPECT_EQ(result, 7);
}

TEST_F(Merge, TypeZeroAndMissingTimeNeverDiffer) {
  SFC_report fresh = base(), kept = base();
  fresh.type = 0;
  kept.type = 17;
  EXPECT_EQ(SFC_compare(&fresh, &kept), 0);
  fresh = base();
  kept = base();
  fresh.type = 1;
  kept.type = 17;
  EXPECT_EQ(SFC_compare(&fresh, &kept), 1);
  fresh = base();
  fresh.time = tv::kMissInt;
  EXPECT_EQ(SFC_compare(&fresh, &kept), 1);  // only the type differs now
  kept.type = 1;
  EXPECT_EQ(SFC_compare(&fresh, &kept), 0);
}

TEST_F(Merge, GroupOnlyTheKeptReportHasIsNoDifference) {
  SFC_report fresh = base(), kept = base();
  fresh.t = tv::kMissFloat;
  fresh.max_t = tv::kMissFloat;
  std::strcpy(fresh.weather, " ");
  fresh.cld_type[1] = ' ';
  fresh.comment[0] = '\0';
  EXPECT_EQ(SFC_compare(&fresh, &kept), 0);
}

TEST_F(Merge, PrecipitationMissingOnOneSideIsADifference) {
  SFC_report fresh = base(), kept = base();
  fresh.rain6 = tv::kMissFloat;  // kept has 0.12
  int result = -1;
  EXPECT_EQ(messages([&] { result = SFC_compare(&fresh, &kept); }), "Different 6 hr precip\n");
  EXPECT_EQ(result, 10);
  fresh = base();
  kept.rain6 = tv::kMissFloat;  // now only the newer one has it
  EXPECT_EQ(SFC_compare(&fresh, &kept), 10);
}

// A newer report that adds a group the kept one lacks brings news: it must
// reach the merge, not be dropped as a duplicate with its value lost.
TEST_F(Merge, GroupOnlyTheNewerReportHasIsNotADuplicate) {
  SFC_report fresh = base(), kept = base();
  kept.t = tv::kMissFloat;
  int result = -1;
  EXPECT_EQ(messages([&] { result = SFC_compare(&fresh, &kept); }), "Different temperatures\n");
  EXPECT_EQ(result, 3);

  kept = base();
  kept.max_t = tv::kMissFloat;
  EXPECT_EQ(SFC_compare(&fresh, &kept), 11);
  kept = base();
  std::strcpy(kept.weather, " ");
  EXPECT_EQ(SFC_compare(&fresh, &kept), 6);
  kept = base();
  kept.comment[0] = '\0';
  EXPECT_EQ(SFC_compare(&fresh, &kept), 16);

  // ... and the merge then keeps the value.
  kept = base();
  kept.t = tv::kMissFloat;
  ASSERT_GE(SFC_compare(&fresh, &kept), 3);
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.t, 50.0f);
}

TEST_F(Merge, FullUpdateCopiesPresentValuesOnly) {
  SFC_report kept = base(), fresh;
  SFC_initialize(&fresh);
  fresh.w_gust = 30.0f;
  std::string out = messages([&] { SFC_update(&kept, &fresh, 20); });
  EXPECT_EQ(out, "Updated wind gust\n");
  EXPECT_EQ(kept.w_gust, 30.0f);
  EXPECT_EQ(kept.w_spd, 10.0f);

  fresh.w_gust = tv::kMissFloat;
  fresh.w_spd = 12.0f;
  out = messages([&] { SFC_update(&kept, &fresh, 20); });
  EXPECT_EQ(out, "Updated wind speed\n");
  EXPECT_EQ(kept.w_gust, 30.0f);  // left as it was
}

TEST_F(Merge, LevelTwentyMessagesInOrder) {
  SFC_report kept = base(), fresh = base();
  fresh.type = 17;
  fresh.cld_height[1] = tv::kMissFloat;
  fresh.cld_cover[1] = ' ';
  fresh.num_cld = 1;
  fresh.rain6 = tv::kMissFloat;
  fresh.rain24 = 0.5f;
  std::strcpy(fresh.comment, "RMK NEW");
  const std::string out = messages([&] { SFC_update(&kept, &fresh, 20); });
  EXPECT_EQ(out,
            "Updated type\nUpdated time\nUpdated temp\nUpdated dewpoint\n"
            "Updated SL pressure\nUpdated altimeter setting\n"
            "Updated wind direction\nUpdated wind speed\nUpdated wind gust\n"
            "Updated weather\nUpdated cloud height: 0\nUpdated cloud cover: 0\n"
            "Updated visibility\nUpdated pressure tendency type\nUpdated pressure tendency\n"
            "Deleted 6 hr precip\nUpdated 24 hr precip\n"
            "Updated max temp\nUpdated min temp\nUpdated snow cover\nUpdated solar duration\n"
            "Updated sea surface temperatures\nUpdated wave period\nUpdated wave height\n"
            "Updated cloud type: 0\nUpdated cloud type: 1\nUpdated cloud type: 2\n");
  EXPECT_EQ(kept.type, 17);
  EXPECT_EQ(kept.rain6, tv::kMissFloat);
  EXPECT_EQ(kept.rain24, 0.5f);
  EXPECT_STREQ(kept.comment, "RMK AO2");  // level 20 never merges remarks
}

TEST_F(Merge, LaterGroupsWithdrawPrecipitationAtLevelTen) {
  SFC_report kept = base(), fresh;
  kept.rain3 = 0.05f;
  kept.rain24 = 0.8f;
  kept.max_t = 55.0f;
  SFC_initialize(&fresh);
  fresh.max_t = 60.0f;  // a later group, but no amounts
  const std::string out = messages([&] { SFC_update(&kept, &fresh, 10); });
  EXPECT_EQ(out, "Deleted 3 hr precip\nDeleted 6 hr precip\nDeleted 24 hr precip\n");
  EXPECT_EQ(kept.rain3, tv::kMissFloat);
  EXPECT_EQ(kept.rain6, tv::kMissFloat);
  EXPECT_EQ(kept.rain12, tv::kMissFloat);
  EXPECT_EQ(kept.rain24, tv::kMissFloat);
  EXPECT_EQ(kept.max_t, 55.0f);  // extremes need a level above 10
}

TEST_F(Merge, WithoutLaterGroupsPrecipitationStays) {
  SFC_report kept = base(), fresh;
  SFC_initialize(&fresh);
  fresh.t = 52.0f;
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.rain6, 0.12f);
  EXPECT_EQ(kept.t, 52.0f);

  // A cloud type alone counts as a later group.
  SFC_initialize(&fresh);
  fresh.cld_type[0] = '3';
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.rain6, tv::kMissFloat);
  EXPECT_EQ(kept.cld_type[0], '3');
}

TEST_F(Merge, CloudCountFollowsTheNewerReport) {
  SFC_report kept = base(), fresh;
  kept.cld_height[2] = 12000.0f;
  kept.cld_cover[2] = 'O';
  kept.num_cld = 3;
  SFC_initialize(&fresh);
  fresh.cld_height[0] = 2000.0f;
  fresh.cld_cover[0] = 'F';
  fresh.num_cld = 1;
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.num_cld, 1);
  EXPECT_EQ(kept.cld_height[0], 2000.0f);
  EXPECT_EQ(kept.cld_cover[0], 'F');
  EXPECT_EQ(kept.cld_height[2], 12000.0f);  // left in place, uncounted

  // A cover alone in layer 3 counts as a layer.
  SFC_initialize(&fresh);
  fresh.cld_cover[3] = 'X';
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.num_cld, 4);

  // No layer at all: the count stays.
  SFC_initialize(&fresh);
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.num_cld, 4);

  // At level 6 clouds are not merged.
  SFC_initialize(&fresh);
  fresh.cld_height[0] = 100.0f;
  SFC_update(&kept, &fresh, 6);
  EXPECT_EQ(kept.cld_height[0], 2000.0f);
}

TEST_F(Merge, LevelThreeChangesTypeTimeTemperaturesAndRemarksOnly) {
  SFC_report kept = base();
  SFC_report fresh = base();
  fresh.type = 3;
  fresh.time = 1210;
  fresh.t = 60.0f;
  fresh.td = 45.0f;
  fresh.pmb = 1000.0f;
  fresh.w_spd = 30.0f;
  std::strcpy(fresh.weather, "FG");
  fresh.rain6 = 1.0f;
  fresh.max_t = 70.0f;
  fresh.cld_type[0] = '9';
  std::strcpy(fresh.comment, "NEW");
  SFC_update(&kept, &fresh, 3);
  SFC_report want = base();
  want.type = 3;
  want.time = 1210;
  want.t = 60.0f;
  want.td = 45.0f;
  std::strcpy(want.comment, "NEW");  // remarks merge at every level up to 16
  EXPECT_EQ(std::memcmp(&kept, &want, sizeof kept), 0);
}

TEST_F(Merge, RemarksMergeOnlyAtLowLevels) {
  SFC_report kept = base(), fresh = base();
  fresh.t = 70.0f;
  std::strcpy(fresh.comment, "COR");
  // "dup": remarks and nothing else.
  std::string out = messages([&] { SFC_update(&kept, &fresh, -1); });
  EXPECT_EQ(out, "Updated comments\n");
  EXPECT_STREQ(kept.comment, "COR");
  EXPECT_EQ(kept.t, 50.0f);

  kept = base();
  SFC_update(&kept, &fresh, 16);
  EXPECT_STREQ(kept.comment, "COR");
  kept = base();
  SFC_update(&kept, &fresh, 17);
  EXPECT_STREQ(kept.comment, "RMK AO2");

  // An empty remark never wipes the kept one.
  kept = base();
  fresh.comment[0] = '\0';
  SFC_update(&kept, &fresh, -1);
  EXPECT_STREQ(kept.comment, "RMK AO2");
}

TEST_F(Merge, TenthsAreNotReplacedByWholeDegrees) {
  SFC_report kept = base(), fresh = base();
  kept.flag = 1;
  kept.t = 50.4f;
  fresh.t = 50.0f;
  fresh.td = 39.0f;
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.t, 50.4f);
  EXPECT_EQ(kept.td, 40.0f);
  fresh.flag = 1;
  SFC_update(&kept, &fresh, 20);
  EXPECT_EQ(kept.t, 50.0f);
  EXPECT_EQ(kept.td, 39.0f);
}

TEST_F(Merge, NoMessagesWhenTheLevelIsOff) {
  MESS_set(-1, kMerge);
  SFC_report fresh = base(), kept = base();
  fresh.t = 51.0f;
  int result = -1;
  EXPECT_EQ(messages([&] {
              result = SFC_compare(&fresh, &kept);
              SFC_update(&kept, &fresh, 20);
            }),
            "");
  EXPECT_EQ(result, 3);
  EXPECT_EQ(kept.t, 51.0f);
}

}  // namespace
