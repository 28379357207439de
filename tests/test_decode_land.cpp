// Land and coastal-marine reports: identification and section 1, field by
// field, and every real report of the shared corpus through the decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "framework/missing.hpp"
#include "report/calc.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"
#include "testutil.hpp"

namespace {

constexpr float kMiss = tv::kMissFloat;

struct Decoded {
  int rc = -1;
  SFC_report r{};
};

// Decodes `text` as the report loop does, with the section state given.
Decoded decode(const std::string &text, ReportType type = ReportType::land, int prhour = 1200, int iw = 4) {
  SYN_set_prhour(prhour);
  SYN_set_iw(iw);
  Decoded d;
  SFC_initialize(&d.r);
  d.rc = SYN_decode(text.c_str(), type, &d.r);
  return d;
}

float fahrenheit(float c) { return 32.0f + 9.0f * c / 5.0f; }

SFC_report fresh() {
  SFC_report r;
  SFC_initialize(&r);
  return r;
}

// Puts the named field back to its initial value, so that a final byte
// comparison shows that no other field was written.
#define RESTORE(got, f)                                      \
  do {                                                       \
    const SFC_report init_ = fresh();                        \
    std::memcpy(&(got).f, &init_.f, sizeof((got).f));        \
  } while (0)

bool untouched(const SFC_report &r) {
  const SFC_report init = fresh();
  return std::memcmp(&r, &init, sizeof r) == 0;
}

const char *kLand = "72403 11560 82705 10150 20089 39981 40132 57010 60001 ";

}  // namespace

TEST(LandSection1, ReferenceReportEveryField) {
  Decoded d = decode(kLand);
  ASSERT_EQ(d.rc, 1);
  SFC_report &r = d.r;
  EXPECT_STREQ(r.id, "72403");
  EXPECT_EQ(r.wmo, 72403);
  EXPECT_STREQ(r.area, "LA");
  EXPECT_EQ(r.type, 1);
  EXPECT_EQ(r.time, 1200);
  EXPECT_EQ(r.cld_height[0], 3000.0f);       // h 5
  EXPECT_FLOAT_EQ(r.vis, 6.25f);             // VV 60: 10 km
  EXPECT_EQ(r.cld_cover[0], '8');
  EXPECT_EQ(r.num_cld, 1);
  EXPECT_EQ(r.w_dir, 270.0f);
  EXPECT_EQ(r.w_spd, 5.0f);                  // iw 4: knots
  EXPECT_EQ(r.flag, kSfcFlagWindKnots);      // and the unit it came in
  EXPECT_FLOAT_EQ(r.t, 59.0f);
  EXPECT_FLOAT_EQ(r.td, 48.02f);
  EXPECT_FLOAT_EQ(r.pmb, 1013.2f);
  EXPECT_EQ(r.ptend_t, 7);
  EXPECT_FLOAT_EQ(r.ptend, -1.0f);
  EXPECT_EQ(r.rain6, 0.0f);

  for (auto *f : {&r.rain3, &r.rain12, &r.rain24, &r.lat, &r.lon, &r.elev, &r.max_t, &r.sst})
    EXPECT_EQ(*f, kMiss);
  RESTORE(r, id);
  RESTORE(r, wmo);
  RESTORE(r, area);
  RESTORE(r, type);
  RESTORE(r, time);
  RESTORE(r, cld_height);
  RESTORE(r, vis);
  RESTORE(r, cld_cover);
  RESTORE(r, num_cld);
  RESTORE(r, w_dir);
  RESTORE(r, w_spd);
  RESTORE(r, t);
  RESTORE(r, td);
  RESTORE(r, pmb);
  RESTORE(r, ptend_t);
  RESTORE(r, ptend);
  RESTORE(r, rain6);
  RESTORE(r, flag);
  EXPECT_TRUE(untouched(r)) << "a field outside the report's groups was written";
}

TEST(LandSection1, SeaLevelPressureGroupAndRange) {
  const struct {
    const char *group;
    float pmb;
  } cases[] = {
      {"49987", 998.7f}, {"4////", kMiss}, {"48510", kMiss},  // 850 hPa height group
      {"49000", 900.0f}, {"48999", kMiss}, {"40899", 1089.9f}, {"40900", kMiss},
      {"4999/", 999.0f}, {"4///5", kMiss},
  };
  for (const auto &c : cases) {
    Decoded d = decode(std::string("72403 11560 82705 10150 20089 39981 ") + c.group + " 57010 ");
    if (c.pmb == kMiss)
      EXPECT_EQ(d.r.pmb, kMiss) << c.group;
    else
      EXPECT_FLOAT_EQ(d.r.pmb, c.pmb) << c.group;
    EXPECT_EQ(d.r.ptend_t, 7) << c.group << ": the group must still be passed over";
  }
}

// Land stations mostly report in metres per second: the unit comes from the
// section line's indicator (0 or 1), knots otherwise.
TEST(LandWind, UnitFromSectionLine) {
  const struct {
    int iw;
    float spd;
  } cases[] = {{0, 9.72f}, {1, 9.72f}, {3, 5.0f}, {4, 5.0f}, {-1, 5.0f}, {7, 5.0f}};
  for (const auto &c : cases) {
    Decoded d = decode(kLand, ReportType::land, 1200, c.iw);
    EXPECT_FLOAT_EQ(d.r.w_spd, c.spd) << "iw " << c.iw;
    Decoded cm = decode("SDHN4 46/// /1405 ", ReportType::coastal, 1200, c.iw);
    EXPECT_FLOAT_EQ(cm.r.w_spd, c.spd) << "coastal station, iw " << c.iw;
  }
  // 00fff is in the same unit.
  Decoded d = decode("72403 11560 83699 00050 10150 ", ReportType::land, 1200, 1);
  EXPECT_EQ(d.r.w_dir, 360.0f);
  EXPECT_FLOAT_EQ(d.r.w_spd, 97.2f);
  EXPECT_FLOAT_EQ(d.r.t, 59.0f);
}

TEST(LandWind, UnitThroughTheReader) {
  tvtest::TempDir dir;
  const std::string path = dir.file("bull.txt");
  tvtest::write_file(path, "** SMXX01 XXXX 071200\nAAXX 07121\n72403 11560 82705 10150=\n"
                           "AAXX 07124\n72404 11560 82705 10150=\n");
  FILE *f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  SYN_read_reset();
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  ReportType type = ReportType::land;
  float speeds[2] = {0, 0};
  int n = 0;
  while (n < 2 && SYN_read_raw(f, data, id, &type) == 1) {
    SFC_report r;
    SFC_initialize(&r);
    if (SYN_decode(data, type, &r) == 1) speeds[n++] = r.w_spd;
  }
  std::fclose(f);
  ASSERT_EQ(n, 2);
  EXPECT_FLOAT_EQ(speeds[0], 9.72f);  // AAXX 07121
  EXPECT_FLOAT_EQ(speeds[1], 5.0f);   // AAXX 07124
}

TEST(LandWind, VariableCalmAndIncomplete) {
  const struct {
    const char *group;
    float dir;
    float spd;
  } cases[] = {
      {"89905", kMiss, kMiss},  // variable
      {"80000", 0.0f, 0.0f},    // calm is a wind, not missing
      {"83799", kMiss, kMiss},  // direction code above 36
      {"83610", 360.0f, 10.0f},
      {"827//", kMiss, kMiss},  // no speed: no direction either
      {"8//05", kMiss, 5.0f},
  };
  for (const auto &c : cases) {
    Decoded d = decode(std::string("72403 11560 ") + c.group + " 10150 ");
    EXPECT_EQ(d.r.w_dir, c.dir) << c.group;
    EXPECT_EQ(d.r.w_spd, c.spd) << c.group;
    EXPECT_FLOAT_EQ(d.r.t, 59.0f) << c.group;
  }
}

TEST(LandSection1, TotalCloudAndLowestBase) {
  Decoded d = decode("72403 11560 /2705 ");
  EXPECT_EQ(d.r.cld_cover[0], ' ');
  EXPECT_EQ(d.r.cld_height[0], kMiss);
  EXPECT_EQ(d.r.num_cld, 0);

  for (char n : {'0', '1'}) {
    d = decode(std::string("72403 11560 ") + n + "2705 ");
    EXPECT_EQ(d.r.cld_cover[0], n);
    EXPECT_EQ(d.r.cld_height[0], kMiss) << "no base with " << n << " oktas";
    EXPECT_EQ(d.r.num_cld, 1);
  }
  d = decode("72403 11560 22705 ");
  EXPECT_EQ(d.r.cld_cover[0], '2');
  EXPECT_EQ(d.r.cld_height[0], 3000.0f);

  d = decode("72403 11/60 82705 ");
  EXPECT_EQ(d.r.cld_height[0], kMiss);
  EXPECT_FLOAT_EQ(d.r.vis, 6.25f);
  d = decode("72403 115// 82705 ");
  EXPECT_EQ(d.r.vis, kMiss);
  EXPECT_EQ(d.r.cld_height[0], 3000.0f);
}

TEST(LandIdent, TooShortOrAbsentLeavesRecordUntouched) {
  for (const char *text : {"AB 11560 82705 ", "", " ", "7 11560 "}) {
    Decoded d = decode(text);
    EXPECT_EQ(d.rc, 0) << "'" << text << "'";
    EXPECT_TRUE(untouched(d.r)) << "'" << text << "'";
  }
  Decoded d = decode("ABC 11560 ");
  EXPECT_EQ(d.rc, 1);
  EXPECT_STREQ(d.r.id, "ABC");
  EXPECT_EQ(d.r.wmo, 0);
}

TEST(LandIdent, LongIdentifierIsCutAndNumberRead) {
  Decoded d = decode("12345ABCDEFGHIJ 11560 ");
  EXPECT_EQ(d.rc, 1);
  EXPECT_STREQ(d.r.id, "12345ABCDE");
  EXPECT_EQ(d.r.wmo, 12345);
  d = decode("99999999999999 11560 ");  // saturates instead of overflowing
  EXPECT_EQ(d.r.wmo, 2147483647);
}

TEST(LandIdent, CoastalMarineReport) {
  // A real coastal-marine report.
  Decoded d = decode("SDHN4 46/// /1407 10123 40226 91736 222// 00241 333 91209 ", ReportType::coastal, 1200, 4);
  ASSERT_EQ(d.rc, 1);
  EXPECT_STREQ(d.r.id, "SDHN4");
  EXPECT_STREQ(d.r.area, "CM");
  EXPECT_EQ(d.r.wmo, 0);
  EXPECT_EQ(d.r.type, 17);  // ix 6: automatic
  EXPECT_EQ(d.r.vis, kMiss);
  EXPECT_EQ(d.r.cld_height[0], kMiss);
  EXPECT_EQ(d.r.cld_cover[0], ' ');
  EXPECT_EQ(d.r.w_dir, 140.0f);
  EXPECT_EQ(d.r.w_spd, 7.0f);
  EXPECT_FLOAT_EQ(d.r.t, fahrenheit(12.3f));
  EXPECT_FLOAT_EQ(d.r.pmb, 1022.6f);
  EXPECT_EQ(d.r.time, 1736);
  EXPECT_FLOAT_EQ(d.r.sst, 24.1f);
}

TEST(LandSection1, TemperatureAndDewPointSigns) {
  Decoded d = decode("72403 11560 82705 11023 21012 ");
  EXPECT_FLOAT_EQ(d.r.t, fahrenheit(-2.3f));
  EXPECT_FLOAT_EQ(d.r.td, fahrenheit(-1.2f));
  d = decode("72403 11560 82705 1015/ 2008/ 40132 ");
  EXPECT_FLOAT_EQ(d.r.t, 59.0f);
  EXPECT_FLOAT_EQ(d.r.td, fahrenheit(8.0f));
  d = decode("72403 11560 82705 10/// 2//// 40132 ");
  EXPECT_EQ(d.r.t, kMiss) << "tenths alone are no temperature";
  EXPECT_EQ(d.r.td, kMiss);
  EXPECT_FLOAT_EQ(d.r.pmb, 1013.2f);
}

// A relative-humidity group 29UUU becomes a dew point and does not stop the
// rest of the section.
TEST(LandSection1, HumidityGroupGivesDewPoint) {
  Decoded d = decode("72403 11560 82705 10150 29070 40132 57010 ");
  const float expect_k = dew_temp(15.0f + 273.15f, 70.0f);
  EXPECT_NEAR(d.r.td, fahrenheit(expect_k - 273.15f), 0.01f);
  EXPECT_GT(d.r.td, 49.0f);  // about 9.6 C
  EXPECT_LT(d.r.td, 50.0f);
  EXPECT_FLOAT_EQ(d.r.pmb, 1013.2f);
  EXPECT_EQ(d.r.ptend_t, 7);

  d = decode("72403 11560 82705 10150 29100 40132 ");
  EXPECT_NEAR(d.r.td, 59.0f, 0.1f);  // saturated: dew point is the temperature

  const char *passed_over[] = {
      "72403 11560 82705 29070 40132 57010 ",        // no temperature
      "72403 11560 82705 10150 29101 40132 57010 ",  // above 100 percent
      "72403 11560 82705 10150 29/// 40132 57010 ",  // not reported
  };
  for (const char *text : passed_over) {
    d = decode(text);
    EXPECT_EQ(d.r.td, kMiss) << text;
    EXPECT_FLOAT_EQ(d.r.pmb, 1013.2f) << text;
    EXPECT_EQ(d.r.ptend_t, 7) << text;
  }
}

// WMO code table 0200: characteristics 5 to 8 end at or below the pressure
// of three hours before, so their change is negative; 0 to 4 positive.
TEST(LandSection1, PressureTendencySignByCharacteristic) {
  for (int a = 0; a <= 8; ++a) {
    const std::string group = tvtest::numbered("5", a, "012");
    Decoded d = decode("72403 11560 82705 10150 " + group + " 60001 ");
    EXPECT_EQ(d.r.ptend_t, a) << group;
    EXPECT_FLOAT_EQ(d.r.ptend, a >= 5 ? -1.2f : 1.2f) << group;
    EXPECT_EQ(d.r.rain6, 0.0f) << group;
  }
  // No change: zero, not a negative zero the layouts would print as "-0".
  Decoded d = decode("72403 11560 82705 10150 55000 ");
  EXPECT_EQ(d.r.ptend, 0.0f);
  EXPECT_FALSE(std::signbit(d.r.ptend));
  // Without the characteristic the sign is unknown: no tendency at all.
  for (const char *group : {"5/011", "5////"}) {
    d = decode(std::string("72403 11560 82705 10150 ") + group + " 60001 ");
    EXPECT_EQ(d.r.ptend_t, tv::kMissInt) << group;
    EXPECT_EQ(d.r.ptend, kMiss) << group;
    EXPECT_EQ(d.r.rain6, 0.0f) << group << ": passed over";
  }
  d = decode("72403 11560 82705 10150 5801/ ");
  EXPECT_FLOAT_EQ(d.r.ptend, -1.0f) << "tenths not reported";

  // The drifting-buoy decoder reads the group by the same table.
  SFC_report b = fresh();
  SYN_decode_dribu("12121 1200/ 734123 121456 111// 02010 11023 40132 55012 ", &b);
  EXPECT_EQ(b.ptend_t, 5);
  EXPECT_FLOAT_EQ(b.ptend, -1.2f);
  b = fresh();
  SYN_decode_dribu("12121 1200/ 734123 121456 111// 02010 11023 40132 5/012 ", &b);
  EXPECT_EQ(b.ptend, kMiss);
}

// A group of five figures that begins with the indicator of the group
// expected next but does not fit it (a figure reported as "/") is passed
// over with its fields missing; the rest of the section still decodes.
TEST(LandSection1, PartlyMissingGroupIsPassedOver) {
  const std::string head = "72403 11560 82705 ";
  const std::string tail = "83/5/ 91736 222// 00150 ";
  auto rest_decoded = [&](const Decoded &d, const std::string &what) {
    EXPECT_EQ(d.r.cld_low, '3') << what;
    EXPECT_EQ(d.r.time, 1736) << what;
    EXPECT_FLOAT_EQ(d.r.sst, 15.0f) << what;
  };
  Decoded d = decode(head + "10150 20089 39/// 40132 57010 60001 7616/ " + tail);
  EXPECT_FLOAT_EQ(d.r.pmb, 1013.2f);
  EXPECT_EQ(d.r.ptend_t, 7);
  EXPECT_EQ(d.r.rain6, 0.0f);
  EXPECT_STREQ(d.r.weather, "R-") << "W1W2 is not used: ww 61 still counts";
  rest_decoded(d, "39/// and 7616/");

  d = decode(head + "10150 20089 40/// 57010 7000/ " + tail);
  EXPECT_EQ(d.r.pmb, kMiss);
  EXPECT_EQ(d.r.ptend_t, 7);
  EXPECT_STREQ(d.r.weather, " ");
  rest_decoded(d, "40/// and 7000/");

  d = decode(head + "10150 20089 48/// 57010 76/6/ " + tail);
  EXPECT_EQ(d.r.ptend_t, 7);
  EXPECT_STREQ(d.r.weather, " ") << "ww itself not whole: no weather";
  rest_decoded(d, "48/// and 76/6/");

  // One of each kind, including a dew-point group with an undefined sign.
  d = decode("72403 11560 8270/ 00/12 1/1/0 25089 3///0 4/132 5/0/0 6/1/1 71/00 "
             "83/5/ 9/736 92000 ");
  EXPECT_EQ(d.r.w_dir, kMiss);
  EXPECT_EQ(d.r.t, kMiss);
  EXPECT_EQ(d.r.td, kMiss);
  EXPECT_EQ(d.r.pmb, kMiss);
  EXPECT_EQ(d.r.ptend_t, kMiss);
  EXPECT_EQ(d.r.rain6, kMiss);
  EXPECT_EQ(d.r.cld_low, '3');
  EXPECT_EQ(d.r.time, 1200) << "9/736 passed over; the 9-group after it is not section 1's";

  // A partial wind group is passed over too: it is not read as clouds.
  d = decode("72403 11560 8/605 10150 ");
  EXPECT_EQ(d.r.w_dir, kMiss);
  EXPECT_EQ(d.r.cld_low, ' ');
  EXPECT_FLOAT_EQ(d.r.t, 59.0f);
}

// Only clean groups of the expected kind are passed over: before the
// position is past iRixhVV and Nddff nothing can be told by its figure, and
// a group with letters or of another length still ends the section.
TEST(LandSection1, OtherUntakenGroupsStillEndTheSection) {
  Decoded d = decode("72403 4/5// 82705 10150 ");
  EXPECT_EQ(d.r.w_dir, kMiss);
  EXPECT_EQ(d.r.pmb, kMiss);
  EXPECT_EQ(d.r.cld_low, ' ') << "the wind group is not reached, nor read as clouds";
  EXPECT_EQ(d.r.t, kMiss);
  for (const char *bad : {"4A132", "4013", "401322", "-4013"}) {
    d = decode(std::string("72403 11560 82705 10150 ") + bad + " 57010 ");
    EXPECT_FLOAT_EQ(d.r.t, 59.0f) << bad;
    EXPECT_EQ(d.r.ptend_t, kMiss) << bad;
  }
  // A group out of order is no partly missing group of the expected kind.
  d = decode("72403 11560 82705 40132 10150 ");
  EXPECT_EQ(d.r.t, kMiss);
  // Nor is the ship-section indicator where a dew point could stand.
  for (const char *ind : {"222//", "22200"}) {
    d = decode(std::string("72403 11560 82705 ") + ind + " 00150 ");
    EXPECT_FLOAT_EQ(d.r.sst, 15.0f) << ind;
  }
}

TEST(LandSection1, GroupOutOfOrderEndsTheSection) {
  Decoded d = decode("72403 11560 82705 40132 10150 57010 60001 ");
  EXPECT_FLOAT_EQ(d.r.pmb, 1013.2f);
  EXPECT_EQ(d.r.t, kMiss);
  EXPECT_EQ(d.r.ptend_t, kMiss);
  EXPECT_EQ(d.r.rain6, kMiss);
}

TEST(LandSection1, PrecipitationAmountAndPeriod) {
  const struct {
    const char *group;
    float SFC_report::*field;
    float inches;
  } cases[] = {
      {"60001", &SFC_report::rain6, 0.0f},
      {"60101", &SFC_report::rain6, 10 / 25.4f},
      {"69907", &SFC_report::rain3, 0.0f},          // 990: trace
      {"69957", &SFC_report::rain3, 5 / 254.0f},    // 995: 0.5 mm
      {"69997", &SFC_report::rain3, 9 / 254.0f},
      {"60102", &SFC_report::rain12, 10 / 25.4f},
      {"60100", &SFC_report::rain12, 10 / 25.4f},
      {"60104", &SFC_report::rain24, 10 / 25.4f},
      {"6010/", &SFC_report::rain24, 10 / 25.4f},
      {"69894", &SFC_report::rain24, 989 / 25.4f},
  };
  float SFC_report::*all[] = {&SFC_report::rain3, &SFC_report::rain6, &SFC_report::rain12,
                              &SFC_report::rain24};
  for (const auto &c : cases) {
    Decoded d = decode(std::string("72403 11560 82705 10150 ") + c.group + " 76162 ");
    for (auto f : all) {
      if (f == c.field)
        EXPECT_FLOAT_EQ(d.r.*f, c.inches) << c.group;
      else
        EXPECT_EQ(d.r.*f, kMiss) << c.group;
    }
    EXPECT_STREQ(d.r.weather, "R-") << c.group << ": passed over";
  }
  // Periods without a field of their own (1 h, 2 h, ...) store nothing.
  Decoded d = decode("72403 11560 82705 10150 60105 76162 ");
  for (auto f : all) EXPECT_EQ(d.r.*f, kMiss);
  EXPECT_STREQ(d.r.weather, "R-");
}

TEST(LandSection1, WeatherTableByStationType) {
  const struct {
    const char *irix;
    const char *group7;
    int type;
    const char *weather;
  } cases[] = {
      {"11560", "74500", 1, "F"},   // manned: ww 45 fog
      {"14560", "74500", 17, "F"},  // automatic reporting ww
      {"17560", "74500", 17, "S-"}, // automatic reporting wawa: 45 light snow
      {"17560", "76100", 17, "R-"},
      {"12560", "78300", 1, "RW-SW-"},
      {"11560", "7////", 1, " "},
      {"16560", "76100", 17, "R-"},
  };
  for (const auto &c : cases) {
    Decoded d = decode(std::string("72403 ") + c.irix + " 82705 10150 " + c.group7 + " 83/5/ ");
    EXPECT_EQ(d.r.type, c.type) << c.irix;
    EXPECT_STREQ(d.r.weather, c.weather) << c.irix << " " << c.group7;
    EXPECT_EQ(d.r.cld_low, '3') << c.irix;
  }
}

TEST(LandSection1, CloudTypesAndExactTime) {
  Decoded d = decode("72403 11560 82705 10150 83/5/ 91736 ");
  EXPECT_EQ(d.r.cld_low, '3');
  EXPECT_EQ(std::string(d.r.cld_type, 3), "-5-");
  EXPECT_EQ(d.r.time, 1736);
  d = decode("72403 11560 82705 917// ");
  EXPECT_EQ(d.r.time, 1700);
  d = decode("72403 11560 82705 9//30 ", ReportType::land, 600);
  EXPECT_EQ(d.r.time, 600) << "minutes without their hour change nothing";
}

// Every report of the shared corpus: no crash, and the decoded values are
// already plausible before the validity check (the check should only have
// to remove codes such as snow depth 997-999, not decoding slips).
TEST(Corpus, EveryReportDecodesPlausibly) {
  const std::string dir = tvtest::corpus_dir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  int reports = 0, with_id = 0, with_t = 0, with_wind = 0, reset = 0;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (name == "SOURCES.txt" || name == "COUNTS.txt") continue;
    FILE *f = std::fopen(entry.path().c_str(), "r");
    ASSERT_NE(f, nullptr) << entry.path();
    SYN_read_reset();
    char data[kSynDataMax + 1];
    char id[kSynIdMax + 1] = "";
    ReportType type = ReportType::land;
    int guard = 100000;
    while (guard-- > 0 && SYN_read_raw(f, data, id, &type) == 1) {
      ++reports;
      SFC_report r;
      SFC_initialize(&r);
      if (SYN_decode(data, type, &r) != 1) continue;
      ++with_id;
      SFC_report checked = r;
      SFC_check_valid(&checked, 0);
      const float *fields[] = {&r.t, &r.td, &r.pmb, &r.w_dir, &r.w_spd, &r.vis,
                               &r.ptend, &r.max_t, &r.min_t, &r.sst, &r.cld_height[0]};
      const float *after[] = {&checked.t, &checked.td, &checked.pmb, &checked.w_dir,
                              &checked.w_spd, &checked.vis, &checked.ptend, &checked.max_t,
                              &checked.min_t, &checked.sst, &checked.cld_height[0]};
      for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (*fields[i] == *after[i]) continue;
        // Real data the check rightly removes: storm winds above 100 kt and
        // a dew point without (or above) its temperature.
        if (fields[i] == &r.w_spd && r.w_spd > 100.0f) continue;
        if (fields[i] == &r.td && (tv::is_miss(r.t) || r.td > r.t)) continue;
        ++reset;
        ADD_FAILURE() << name << ": field " << i << " value " << *fields[i]
                      << " reset by the check in: " << data;
      }
      EXPECT_TRUE(tv::is_miss(r.lat) || std::fabs(r.lat) <= 90.0f) << data;
      EXPECT_TRUE(tv::is_miss(r.lon) || std::fabs(r.lon) <= 180.0f) << data;
      EXPECT_TRUE(r.time == tv::kMissInt || (r.time >= 0 && r.time <= 2400)) << data;
      EXPECT_LE(std::strlen(r.id), 10u);
      EXPECT_GE(r.num_cld, 0);
      EXPECT_LE(r.num_cld, 1);
      if (!tv::is_miss(checked.t)) ++with_t;
      if (!tv::is_miss(checked.w_spd)) ++with_wind;
    }
    std::fclose(f);
  }
  // The corpus holds a few hundred reports; nearly all have a temperature
  // and a wind.
  EXPECT_GT(reports, 300);
  EXPECT_GT(with_id, 300);
  EXPECT_GT(with_t, with_id * 8 / 10);
  EXPECT_GT(with_wind, with_id * 8 / 10);
  EXPECT_EQ(reset, 0);
}
