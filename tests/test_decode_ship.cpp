// Ship and ship-format reports: call sign, time and wind unit, position, the
// ship visibility code, and section 222.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/missing.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"

namespace {

constexpr float kMiss = tv::kMissFloat;

SFC_report decode(const std::string &text, ReportType type = ReportType::ship, int prhour = 0, int section_iw = -1,
                  int *rc = nullptr) {
  SYN_set_prhour(prhour);
  SYN_set_iw(section_iw);
  SFC_report r;
  SFC_initialize(&r);
  const int got = SYN_decode(text.c_str(), type, &r);
  if (rc) *rc = got;
  return r;
}

float fahrenheit(float c) { return 32.0f + 9.0f * c / 5.0f; }

}  // namespace

TEST(ShipIdent, CallSignPositionAndMetresPerSecond) {
  int rc = 0;
  SFC_report r = decode("ABCD 07121 99412 71234 41/98 82710 10150 ", ReportType::ship, 600, 4, &rc);
  ASSERT_EQ(rc, 1);
  EXPECT_STREQ(r.id, "sABCD");
  EXPECT_EQ(r.wmo, 99999);
  EXPECT_STREQ(r.area, "SH");
  EXPECT_EQ(r.type, 1);
  EXPECT_EQ(r.time, 1200);  // the ship's own hour, not the section's
  EXPECT_FLOAT_EQ(r.lat, 41.2f);
  EXPECT_FLOAT_EQ(r.lon, -123.4f);
  EXPECT_EQ(r.prior, 4);
  EXPECT_EQ(r.elev, 0.0f);
  EXPECT_EQ(r.cld_height[0], kMiss);
  EXPECT_FLOAT_EQ(r.vis, 12.5f);  // sea code 98
  EXPECT_EQ(r.w_dir, 270.0f);
  EXPECT_FLOAT_EQ(r.w_spd, 19.44f);  // iw 1 on the ship's own group
  EXPECT_FLOAT_EQ(r.t, 59.0f);
}

TEST(ShipIdent, NumericIdentifierIsABuoy) {
  SFC_report r = decode("46035 07124 99412 71234 41/98 82710 ", ReportType::numeric_ship);
  EXPECT_STREQ(r.id, "b46035");
  EXPECT_STREQ(r.area, "BU");
  EXPECT_EQ(r.wmo, 99999);
  EXPECT_EQ(r.w_spd, 10.0f);  // iw 4: knots
}

TEST(ShipIdent, SectionIndicatorDoesNotApplyToShips) {
  // Knots from the ship's group even after an AAXX line in metres per second.
  SFC_report r = decode("ABCD 07124 99412 71234 41/98 82710 ", ReportType::ship, 0, 1);
  EXPECT_EQ(r.w_spd, 10.0f);
  // A ship without a unit figure keeps knots.
  r = decode("ABCD 0712/ 99412 71234 41/98 82710 ", ReportType::ship, 0, 1);
  EXPECT_EQ(r.w_spd, 10.0f);
  EXPECT_EQ(r.time, 1200);
  r = decode("ABCD 07//1 99412 71234 ", ReportType::ship, 600);
  EXPECT_EQ(r.time, tv::kMissInt) << "a missing hour is not the section's hour";
}

TEST(ShipPosition, Quadrants) {
  const struct {
    char q;
    float lat;
    float lon;
  } cases[] = {{'1', 41.2f, 123.4f}, {'3', -41.2f, 123.4f}, {'5', -41.2f, -123.4f},
               {'7', 41.2f, -123.4f}};
  for (const auto &c : cases) {
    SFC_report r = decode(std::string("ABCD 07124 99412 ") + c.q + "1234 41/98 ");
    EXPECT_FLOAT_EQ(r.lat, c.lat) << c.q;
    EXPECT_FLOAT_EQ(r.lon, c.lon) << c.q;
  }
}

TEST(ShipPosition, MissingHalfStaysMissing) {
  SFC_report r = decode("ABCD 07124 99/// 71234 41/98 82710 ");
  EXPECT_EQ(r.lat, kMiss) << "not -999.9";
  EXPECT_FLOAT_EQ(r.lon, -123.4f);
  EXPECT_EQ(r.w_spd, 10.0f);
  r = decode("ABCD 07124 99412 7//// 41/98 ");
  EXPECT_FLOAT_EQ(r.lat, 41.2f);
  EXPECT_EQ(r.lon, kMiss);
  // A position beyond the globe is a garbled group, not a place.
  r = decode("ABCD 07124 99950 11234 41/98 ");
  EXPECT_EQ(r.lat, kMiss);
  EXPECT_FLOAT_EQ(r.lon, 123.4f);
  r = decode("ABCD 07124 99412 71850 41/98 ");
  EXPECT_FLOAT_EQ(r.lat, 41.2f);
  EXPECT_EQ(r.lon, kMiss);
  r = decode("ABCD 07124 99900 11800 41/98 ");
  EXPECT_FLOAT_EQ(r.lat, 90.0f);
  EXPECT_FLOAT_EQ(r.lon, 180.0f);
  // An incomplete position group is not taken.
  r = decode("ABCD 07124 99412 7123 41/98 ");
  EXPECT_EQ(r.lat, kMiss);
  EXPECT_EQ(r.prior, tv::kMissInt);
}

TEST(ShipSection1, SeaVisibilityCode) {
  // The ship form takes a missing visibility figure; the land form cannot.
  SFC_report ship = decode("ABCD 07124 99412 71234 41/9/ 82710 ");
  EXPECT_EQ(ship.vis, kMiss);
  EXPECT_EQ(ship.w_dir, 270.0f);
  SFC_report land = decode("72403 41/9/ 82710 ", ReportType::land);
  EXPECT_EQ(land.w_dir, kMiss) << "the land form does not take the group";
  // Other visibility codes in a ship report.
  ship = decode("ABCD 07124 99412 71234 41565 82710 ");
  EXPECT_FLOAT_EQ(ship.vis, 9.375f);  // VV 65
  EXPECT_EQ(ship.cld_height[0], 3000.0f);
}

// A real ship report with sections 1 and 2.
TEST(ShipSection2, RealReportEveryField) {
  int rc = 0;
  SFC_report r = decode(
      "PHBT 28183 99408 70635 41798 40711 10245 20200 40205 58012 70211 83026 22254 00230 "
      "20202 3//// 4//// 5//// 80214 ",
      ReportType::ship, 1800, -1, &rc);
  ASSERT_EQ(rc, 1);
  EXPECT_STREQ(r.id, "sPHBT");
  EXPECT_EQ(r.time, 1800);
  EXPECT_FLOAT_EQ(r.lat, 40.8f);
  EXPECT_FLOAT_EQ(r.lon, -63.5f);
  EXPECT_EQ(r.cld_height[0], 6000.0f);
  EXPECT_FLOAT_EQ(r.vis, 12.5f);
  EXPECT_EQ(r.cld_cover[0], '4');
  EXPECT_EQ(r.w_dir, 70.0f);
  EXPECT_EQ(r.w_spd, 11.0f);
  EXPECT_FLOAT_EQ(r.t, fahrenheit(24.5f));
  EXPECT_FLOAT_EQ(r.td, 68.0f);
  EXPECT_FLOAT_EQ(r.pmb, 1020.5f);
  EXPECT_EQ(r.ptend_t, 8);
  EXPECT_FLOAT_EQ(r.ptend, -1.2f);
  EXPECT_STREQ(r.weather, " ");
  EXPECT_EQ(r.cld_low, '3');
  EXPECT_EQ(std::string(r.cld_type, 3), "026");
  EXPECT_FLOAT_EQ(r.sst, 23.0f);
  EXPECT_EQ(r.wav_per, 2.0f);
  EXPECT_EQ(r.wav_hgt, 1.0f);
  EXPECT_EQ(r.max_t, kMiss);
}

TEST(ShipSection2, SeaTemperatureAndWaves) {
  SFC_report r = decode("ABCD 07124 99412 71234 41/98 82710 222// 00150 20304 ");
  EXPECT_FLOAT_EQ(r.sst, 15.0f);
  EXPECT_EQ(r.wav_per, 3.0f);
  EXPECT_EQ(r.wav_hgt, 2.0f);  // half metres
  r = decode("ABCD 07124 99412 71234 41/98 82710 222// 00150 20304 70025 ");
  EXPECT_EQ(r.wav_hgt, 2.5f) << "tenths of a metre replace the half metres";
  r = decode(
      "ABCD 07124 99412 71234 41/98 82710 22200 00150 10506 20304 31234 41234 51234 61234 "
      "70025 ");
  EXPECT_EQ(r.wav_per, 3.0f);
  EXPECT_EQ(r.wav_hgt, 2.5f) << "the groups between are passed over";
  r = decode("ABCD 07124 99412 71234 41/98 82710 222// 0//// 2//// 70/// ");
  EXPECT_EQ(r.sst, kMiss);
  EXPECT_EQ(r.wav_per, kMiss);
  EXPECT_EQ(r.wav_hgt, kMiss);
  r = decode("ABCD 07124 99412 71234 41/98 82710 00150 20304 ");
  EXPECT_EQ(r.sst, kMiss) << "no section indicator, no section";
}

// Odd figures of the sign indicator are negative whatever the measuring
// method (intake, bucket, hull contact, other).
TEST(ShipSection2, SeaTemperatureSignAndMethod) {
  const struct {
    const char *group;
    float sst;
  } cases[] = {{"00150", 15.0f}, {"01012", -1.2f}, {"02108", 10.8f}, {"03012", -1.2f},
               {"04019", 1.9f},  {"05005", -0.5f}, {"06068", 6.8f},  {"07100", -10.0f},
               {"0015/", 15.0f}, {"0/150", 15.0f}};
  for (const auto &c : cases) {
    SFC_report r = decode(std::string("ABCD 07124 99412 71234 41/98 82710 222// ") + c.group + " ");
    EXPECT_FLOAT_EQ(r.sst, c.sst) << c.group;
  }
}

TEST(ShipSection2, TriedForLandReportsToo) {
  SFC_report r = decode("72403 11560 82705 10150 22200 00241 ", ReportType::land);
  EXPECT_FLOAT_EQ(r.sst, 24.1f);
}
