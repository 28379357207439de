// Drifting-buoy reports: the group sequence from the date group on, the
// position in thousandths of a degree with its quadrant, and section 222.
#include <gtest/gtest.h>

#include <string>

#include "framework/missing.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"

namespace {

constexpr float kMiss = tv::kMissFloat;

SFC_report dribu(const std::string &text, int prhour = 600) {
  SYN_set_prhour(prhour);
  SFC_report r;
  SFC_initialize(&r);
  EXPECT_EQ(SYN_decode_dribu(text.c_str(), &r), 1) << text;
  return r;
}

const char *kBuoy = "12121 1200/ 734123 121456 111// 02010 11023 40132 ";

}  // namespace

TEST(Dribu, ReferenceReportEveryField) {
  SFC_report r = dribu(kBuoy);
  EXPECT_STREQ(r.id, "DRIBU");
  EXPECT_STREQ(r.area, "DR");
  EXPECT_EQ(r.type, 1);
  EXPECT_EQ(r.wmo, 99999);
  EXPECT_EQ(r.elev, 0.0f);
  EXPECT_EQ(r.prior, 4);
  EXPECT_EQ(r.time, 1200);
  EXPECT_FLOAT_EQ(r.lat, 34.123f);
  EXPECT_FLOAT_EQ(r.lon, -121.456f);
  EXPECT_EQ(r.w_dir, 200.0f);
  EXPECT_EQ(r.w_spd, 10.0f);
  EXPECT_FLOAT_EQ(r.t, 27.86f);
  EXPECT_EQ(r.td, kMiss);
  EXPECT_FLOAT_EQ(r.pmb, 1013.2f);
  EXPECT_EQ(r.sst, kMiss);
  EXPECT_EQ(r.num_cld, 0);
  EXPECT_STREQ(r.weather, " ");
}

TEST(Dribu, HandedOverByTheReportDecoder) {
  SYN_set_prhour(600);
  SFC_report r;
  SFC_initialize(&r);
  EXPECT_EQ(SYN_decode(kBuoy, ReportType::drifter, &r), 1);
  EXPECT_STREQ(r.id, "DRIBU");
  EXPECT_STREQ(r.area, "DR");
  EXPECT_FLOAT_EQ(r.lat, 34.123f);
  EXPECT_FLOAT_EQ(r.t, 27.86f);
  SFC_initialize(&r);
  EXPECT_EQ(SYN_decode("12 ", ReportType::drifter, &r), 0) << "no identifier: not handed over";
}

TEST(Dribu, Quadrants) {
  const struct {
    const char *lat;
    float la;
    float lo;
  } cases[] = {{"134123", 34.123f, 121.456f},
               {"334123", -34.123f, 121.456f},
               {"534123", -34.123f, -121.456f},
               {"734123", 34.123f, -121.456f}};
  for (const auto &c : cases) {
    SFC_report r = dribu(std::string("12121 1200/ ") + c.lat + " 121456 ");
    EXPECT_FLOAT_EQ(r.lat, c.la) << c.lat;
    EXPECT_FLOAT_EQ(r.lon, c.lo) << c.lat;
  }
}

TEST(Dribu, NoLatitudeGroupNoQuadrant) {
  // A signed longitude fits only group 4: with no latitude group read there
  // is no quadrant, and the value keeps the sign it was read with.
  SFC_report r = dribu("12121 1200/ -12345 ");
  EXPECT_EQ(r.lat, kMiss);
  EXPECT_FLOAT_EQ(r.lon, -12.335f);
  r = dribu("12121 1200/ -12345 111// 02010 ");
  EXPECT_EQ(r.w_dir, 200.0f) << "the sequence goes on after the longitude";

  r = dribu("12121 1200/ 7///// 121456 ");
  EXPECT_EQ(r.lat, kMiss) << "a missing latitude is not negated or offset";
  EXPECT_FLOAT_EQ(r.lon, -121.456f);
  r = dribu("12121 1200/ 53412/ 12145/ ");
  EXPECT_FLOAT_EQ(r.lat, -34.12f);
  EXPECT_FLOAT_EQ(r.lon, -121.45f);
  r = dribu("12121 1200/ 595000 181000 ");
  EXPECT_EQ(r.lat, kMiss) << "95 degrees is no latitude";
  EXPECT_EQ(r.lon, kMiss) << "181 degrees is no longitude";
  // The quadrant waits for the longitude group.
  r = dribu("12121 1200/ 534123 /////6 ");
  EXPECT_FLOAT_EQ(r.lat, 34.123f);
  EXPECT_EQ(r.lon, kMiss);
}

TEST(Dribu, TimeAndWindUnit) {
  SFC_report r = dribu("12121 12301 734123 121456 111// 02010 ", 600);
  EXPECT_EQ(r.time, 1230);
  EXPECT_FLOAT_EQ(r.w_spd, 19.44f);  // iw 1: metres per second
  r = dribu("12121 ////4 734123 121456 111// 02010 ", 600);
  EXPECT_EQ(r.time, 600);
  EXPECT_EQ(r.w_spd, 10.0f);
  r = dribu("12121 1200/ 734123 121456 111// 09910 ");
  EXPECT_EQ(r.w_dir, kMiss);
  EXPECT_EQ(r.w_spd, kMiss);
}

TEST(Dribu, MeteorologicalGroups) {
  SFC_report r = dribu("12121 1200/ 734123 121456 111// 02010 11023 21050 39950 48510 52015 ");
  EXPECT_FLOAT_EQ(r.t, 27.86f);
  EXPECT_FLOAT_EQ(r.td, 23.0f);  // -5.0 C
  EXPECT_FLOAT_EQ(r.pmb, 851.0f) << "no range test in this decoder";
  EXPECT_EQ(r.ptend_t, 2);
  EXPECT_FLOAT_EQ(r.ptend, 1.5f);
  SFC_check_valid(&r, 0);
  EXPECT_EQ(r.pmb, kMiss);

  r = dribu("12121 1200/ 734123 121456 111// 02010 11023 29070 40132 ");
  EXPECT_EQ(r.td, kMiss);
  EXPECT_EQ(r.pmb, kMiss) << "the humidity group stops the sequence here";
}

TEST(Dribu, ShipSection) {
  SFC_report r = dribu(std::string(kBuoy) + "222// 00150 20304 70025 ");
  EXPECT_FLOAT_EQ(r.sst, 15.0f);
  EXPECT_EQ(r.wav_per, 3.0f);
  EXPECT_EQ(r.wav_hgt, 2.5f);
  r = dribu(std::string(kBuoy) + "00150 20304 ");
  EXPECT_EQ(r.sst, kMiss);
  r = dribu("12121 1200/ 734123 121456 222// 01012 ");
  EXPECT_FLOAT_EQ(r.sst, -1.2f);
}
