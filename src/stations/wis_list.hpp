// The station list national centres keep for the WIS 2.0 exchange: a CSV
// file with a header line naming its columns (station_name,
// wigos_station_identifier, traditional_station_identifier, facility_type,
// latitude, longitude, elevation, barometer_height, territory_name,
// wmo_region, in any order; others are ignored). It gives a station's WIGOS
// identifier, name, position and heights by its traditional identifier
// (the five-figure block and station number, or a CMAN or ship call sign).
#pragma once

#include <cstdint>
#include <string_view>

// A WIGOS station identifier: series-issuer-issue number-local identifier.
struct CTY_wigos {
  int series = 0;                // 0 to 15
  long issuer = 0;               // 0 to 65535
  long issue = 0;                // 0 to 65535
  char local[17] = "";           // 1 to 16 characters
};

// Parses "0-20000-0-72403". True when the text is four fields separated by
// '-' with numbers in range and a local identifier of 1 to 16 characters
// without blanks.
bool CTY_parse_wigos(std::string_view text, CTY_wigos *out);

// One station of the list. Numbers the list leaves empty are -9999.
struct CTY_wis_station {
  char traditional[17] = "";
  CTY_wigos wigos;
  char name[41] = "";
  double lat = -9999.0;
  double lon = -9999.0;
  double elevation = -9999.0;
  double barometer = -9999.0;
};

// Reads the list at `path` in place of any list read before. A line that is
// not a station (wrong number of fields, a number or a WIGOS identifier
// that does not parse) is reported with its line number at level 192 and
// skipped. 0, or -1 with a message when the file cannot be read or is no
// CSV station list (no header line with the identifier columns).
int CTY_wis_load(const char *path);

// The station whose traditional identifier is `id`, or null (also when no
// list is loaded).
const CTY_wis_station *CTY_wis_find(std::string_view id);

// Stations in the loaded list.
std::size_t CTY_wis_count();

// Forgets the list.
void CTY_wis_clear();
