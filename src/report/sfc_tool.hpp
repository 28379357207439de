// The surface observation record and its own operations: initialisation,
// validity limits, comparison and merging of two reports, and the listing.
#pragma once

#include <cstddef>

#include "framework/mess.hpp"

// One decoded surface observation. Plain value type: copied by value and
// byte-copied into the keyed table, so the layout below is fixed.
struct SFC_report {
  char id[11];          // station identifier, NUL-terminated
  char area[11];        // class "LA"/"SH"/"BU"/"CM"/"DR"/"UN" [+ " ST RG"]
  int type;             // 1 regular, 2 special, 4 starred, 16 automatic
  int wmo;              // WMO block and station number
  float lat;            // degrees north
  float lon;            // degrees east
  float elev;           // metres
  int prior;            // station priority
  int time;             // hhmm
  float cld_height[5];  // feet
  char cld_cover[5];    // one character per layer, not NUL-terminated
  int num_cld;          // layers in use
  float vis;            // statute miles
  char weather[21];     // present weather text
  float pmb;            // sea-level pressure, mb
  float t;              // air temperature, F
  float td;             // dew point, F
  float w_dir;          // degrees
  float w_spd;          // knots
  float w_gust;         // knots
  float alt;            // inches of mercury
  int ptend_t;          // code table 0200
  float ptend;          // mb, signed
  float rain1;          // inches
  float rain3;
  float rain6;
  float rain12;
  float rain24;
  float rain;
  int rain_per;         // hours
  char cld_low;         // code table 2700 figure, '-' for '/'
  char cld_type[3];     // low, middle, high cloud type figures
  float max_t;          // F
  float min_t;
  float max6_t;
  float min6_t;
  float scover;         // snow depth, inches
  float solar;          // sunshine, minutes
  float sst;            // sea surface temperature, C
  float wav_per;        // seconds
  float wav_hgt;        // metres
  char comment[100];    // remarks
  int flag;             // kSfcFlag* bits
};

// Bits of SFC_report::flag.
inline constexpr int kSfcFlagTenths = 1;     // temperatures known to tenths
inline constexpr int kSfcFlagWindKnots = 2;  // wind speed reported in knots
inline constexpr int kSfcFlagWindMps = 4;    // wind speed reported in metres per second

static_assert(sizeof(SFC_report) == 320,
              "SFC_report layout is relied on by byte copies and the keyed table");
static_assert(offsetof(SFC_report, flag) == 316, "SFC_report field order");

// Record operations. Both always return 0.
int SFC_initialize(SFC_report *report);
int SFC_check_valid(SFC_report *rep, int flag);

// Comparison and merging of two reports of one station.
int SFC_compare(SFC_report *rep1, SFC_report *rep2);
int SFC_update(SFC_report *rep1, SFC_report *rep2, int lev);

// Listing.
int SFC_set_print(int type);
int SFC_print_line(M_type level, SFC_report *report);
int SFC_print_report(SFC_report *report);
