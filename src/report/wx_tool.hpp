// Weather and cloud codes of the record: the system's short weather notation
// (SAO weather string: "R-", "TRW+", "ZL", " " for none), the conversions
// between it, WMO present-weather codes and METAR-style groups, and the
// summary of a report's cloud layers. All functions are pure: they read their
// arguments and write only the caller's buffers.
#pragma once

#include "report/sfc_tool.hpp"

// Longest SAO weather string any conversion here writes, without terminator.
// Output buffers for weather strings need at least kWxStrMax + 1 bytes; a
// buffer of SFC_report::weather's size (21) always suffices.
constexpr int kWxStrMax = 20;

// Summary cover character and height of the report's cloud layers.
// `cover` receives one character (no terminator), `hght` feet or -9999.
// Returns -1 when the report has 0 or 1 layers (cover/height are then the
// blank/missing pair or the single layer as stored), 0 otherwise.
int WX_set_cloud(const SFC_report *report, char *cover, float *hght);

// METAR-style weather group (with or without a leading "!") to an SAO
// weather string, possibly empty. `wx_str` needs room for 21 bytes. Returns 0.
int WX_metar_weather(const char *wx, char *wx_str);

// WMO present-weather code ww to an SAO weather string (" " for codes
// outside 0..99). `wx_str` needs room for 7 bytes. Returns 0.
int WX_wmo_weather(int wx, char *wx_str);

// Stored weather text (ww digits, "!"+METAR group, or SAO string) to a WMO
// ww code; 0 when nothing maps.
int WX_weather_wmo(const char *str);

// Stored weather text (any of the three forms) in plain words, written to
// `out_str` (room for 23 bytes; "" when nothing maps). Returns how many
// characters of the SAO string were interpreted, 0 when none.
int WX_weather_text(const char *str, char *out_str);

// Cloud cover (WMO code table 2700, report/code_tables.hpp). A stored cover
// is a figure "0".."9" or a category letter ("C", "F", "S", "B", "O", "X";
// lower-case letters for the thin variants, blank when missing).
// WX_cover_code: the figure of 2700 a stored cover is written as: a
// category letter its figure ("C" 0, "F" 1, "S" 2, "B" 6, "O" 8, "X" 9), a
// blank "/", anything else unchanged.
char WX_cover_code(char cover);
// The category letter of a figure or category letter (a blank for "/",
// not observed); 0 for anything else.
char WX_cover_category(char cover);
// The category's word ("clear", "few", "scattered", "broken", "overcast",
// "obscured") of a figure or category letter; null for anything else.
const char *WX_cover_word(char cover);
