// Meteorological formulas against stated values and independent references.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/missing.hpp"
#include "report/calc.hpp"
#include "stations/geodesy.hpp"

namespace {

using tv::kMissFloat;

float f_to_k(float f) { return static_cast<float>(273.15 + 5.0 * (f - 32.0) / 9.0); }
float k_to_f(float k) { return static_cast<float>(32.0 + 9.0 * (k - 273.15) / 5.0); }

// Rothfusz regression of the US National Weather Service: an independent
// heat index reference (degrees F, percent).
double rothfusz(double t, double rh) {
  return -42.379 + 2.04901523 * t + 10.14333127 * rh - 0.22475541 * t * rh - 6.83783e-3 * t * t -
         5.481717e-2 * rh * rh + 1.22874e-3 * t * t * rh + 8.5282e-4 * t * rh * rh -
         1.99e-6 * t * t * rh * rh;
}

}  // namespace

TEST(CalcVapour, SaturationPressure) {
  EXPECT_NEAR(vapor_pr(273.15f), 6.107f, 0.01f);
  EXPECT_NEAR(vapor_pr(373.15f), 1013.25f, 0.5f);  // boiling point at one atmosphere
  EXPECT_NEAR(vapor_pr(303.15f), 42.4f, 0.2f);
  EXPECT_EQ(vapor_pr(50.0f), 0.0f);
  EXPECT_EQ(vapor_pr(99.99f), 0.0f);
  EXPECT_EQ(vapor_pr(0.0f), 0.0f);
  EXPECT_EQ(vapor_pr(kMissFloat), kMissFloat);
  EXPECT_EQ(vapor_pr(-0.5f), kMissFloat);
  EXPECT_GT(vapor_pr(100.0f), 0.0f);
}

TEST(CalcVapour, InverseReturnsTheTemperature) {
  for (float t = 223.15f; t <= 323.15f; t += 2.5f) {
    EXPECT_NEAR(temp_vapor_pr(vapor_pr(t)), t, 0.06f) << t;  // the fit is good to 0.06 K
  }
  EXPECT_EQ(temp_vapor_pr(0.0f), 0.0f);
  EXPECT_EQ(temp_vapor_pr(-3.0f), 0.0f);
  EXPECT_EQ(temp_vapor_pr(kMissFloat), 0.0f);
}

TEST(CalcHumidity, DewpointFromRelativeHumidity) {
  EXPECT_EQ(dew_temp(300.0f, 150.0f), dew_temp(300.0f, 100.0f));
  EXPECT_NEAR(dew_temp(300.0f, 100.0f), 300.0f, 0.05f);
  EXPECT_EQ(dew_temp(300.0f, 0.0f), dew_temp(300.0f, 2.0f));
  EXPECT_LT(dew_temp(300.0f, 2.0f), 250.0f);
  EXPECT_NEAR(dew_temp(293.15f, 50.0f), 282.45f, 0.2f);  // 20 C at 50 % is 9.3 C
  EXPECT_EQ(dew_temp(300.0f, kMissFloat), kMissFloat);
  EXPECT_EQ(dew_temp(0.0f, 50.0f), kMissFloat);
  EXPECT_EQ(dew_temp(kMissFloat, 50.0f), kMissFloat);
}

TEST(CalcHumidity, RelativeHumidity) {
  EXPECT_FLOAT_EQ(rel_hum(20.0f, 10.0f), 50.0f);  // both read as vapour pressures
  EXPECT_FLOAT_EQ(rel_hum(300.0f, 300.0f), 100.0f);
  EXPECT_NEAR(rel_hum(293.15f, 282.45f), 50.0f, 1.0f);
  EXPECT_EQ(rel_hum(0.0f, 280.0f), kMissFloat);
  EXPECT_EQ(rel_hum(280.0f, kMissFloat), kMissFloat);
  EXPECT_EQ(rel_hum(kMissFloat, 280.0f), kMissFloat);
  // A temperature below 100 K has no saturation pressure to divide by.
  EXPECT_EQ(rel_hum(50.0f, 280.0f), kMissFloat);
  // Dewpoint from humidity and humidity from dewpoint agree.
  for (float rh = 10.0f; rh <= 100.0f; rh += 10.0f)
    EXPECT_NEAR(rel_hum(290.0f, dew_temp(290.0f, rh)), rh, 0.3f) << rh;
}

TEST(CalcComfort, HeatIndex) {
  EXPECT_EQ(heat_index(f_to_k(70.0f), f_to_k(75.0f)), kMissFloat);  // dewpoint above
  EXPECT_EQ(heat_index(kMissFloat, 280.0f), kMissFloat);
  EXPECT_EQ(heat_index(300.0f, kMissFloat), kMissFloat);
  EXPECT_EQ(heat_index(50.0f, 40.0f), kMissFloat);  // no saturation pressure below 100 K

  // Simple estimate below 77 F.
  EXPECT_NEAR(k_to_f(heat_index(f_to_k(70.0f), f_to_k(50.0f))), 67.8f, 0.1f);

  // 95 F with a 75 F dewpoint goes through the polynomial: near the NWS value.
  float t = f_to_k(95.0f), td = f_to_k(75.0f);
  double rh = 100.0 * vapor_pr(td) / vapor_pr(t);
  float hi = k_to_f(heat_index(t, td));
  EXPECT_NEAR(hi, rothfusz(95.0, rh), 2.0) << "rh " << rh;
  EXPECT_GT(hi, 100.0f);
  double simple = 60.8 + 1.2 * (95.0 - 68.0) + 0.0936 * rh;
  EXPECT_GT(std::fabs(hi - simple), 5.0);  // not the simple estimate
}

TEST(CalcComfort, WindChill) {
  // Calm: the formula gives 0.6215 T + 116.514, which exceeds T below 307.8 K.
  for (float t : {230.0f, 260.0f, 300.0f, 307.0f}) EXPECT_EQ(wind_chill_temp2(t, 0.0f), t) << t;
  EXPECT_NEAR(wind_chill_temp2(310.0f, 0.0f), 0.6215f * 310.0f + 116.514f, 0.01f);
  // NWS table: -10 F in a 20 mph wind feels like -35 F.
  EXPECT_NEAR(k_to_f(wind_chill_temp2(f_to_k(-10.0f), 20.0f * 0.44704f)), -35.0f, 0.5f);
  EXPECT_EQ(wind_chill_temp2(260.0f, -1.0f), kMissFloat);
  EXPECT_EQ(wind_chill_temp2(kMissFloat, 5.0f), kMissFloat);
  EXPECT_EQ(wind_chill_temp2(260.0f, kMissFloat), kMissFloat);
}

TEST(CalcThermo, PotentialTemperature) {
  EXPECT_FLOAT_EQ(pot_temp(300.0f, 1000.0f), 300.0f);
  EXPECT_NEAR(pot_temp(300.0f, 850.0f), 314.2f, 0.1f);
  EXPECT_EQ(pot_temp(300.0f, 0.0f), kMissFloat);
  EXPECT_EQ(pot_temp(300.0f, kMissFloat), kMissFloat);
  EXPECT_EQ(pot_temp(0.0f, 850.0f), kMissFloat);
}

TEST(CalcEarth, GreatCircleDistance) {
  EXPECT_NEAR(calc_earth_dist(0.0f, 0.0f, 0.0f, 10.0f), 1112.0f, 1.0f);
  EXPECT_NEAR(calc_earth_dist(0.0f, 0.0f, 90.0f, 0.0f), 10008.0f, 2.0f);
  EXPECT_NEAR(calc_earth_dist(0.0f, 0.0f, 0.0f, 180.0f), 20016.0f, 2.0f);
  EXPECT_NEAR(calc_earth_dist(51.5f, -0.1f, 48.9f, 2.3f), 340.0f, 10.0f);  // London-Paris
  EXPECT_FLOAT_EQ(calc_earth_dist(40.0f, -105.0f, 50.0f, 10.0f),
                  calc_earth_dist(50.0f, 10.0f, 40.0f, -105.0f));
}

TEST(CalcEarth, CloseAndEqualPointsGiveNoNaN) {
  // Rounding the products to single precision pushes the cosine just past 1
  // for about a third of these pairs; the single-precision products limit
  // the resolution to about 2 km.
  for (float lat = -89.95f; lat <= 90.0f; lat += 0.7f) {
    for (float lon : {-179.9f, -33.3f, 0.0f, 12.34f, 100.0f}) {
      ASSERT_EQ(calc_earth_dist(lat, lon, lat, lon), 0.0f) << lat << " " << lon;
      float d = calc_earth_dist(lat, lon, lat + 0.0001f, lon);
      ASSERT_FALSE(std::isnan(d)) << lat << " " << lon;
      ASSERT_NEAR(d, 0.0f, 2.0f) << lat << " " << lon;
    }
  }
}
