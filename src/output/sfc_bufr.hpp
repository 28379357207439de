// The BUFR format (keyword "bufr", type 61): one BUFR edition 4 message per
// land, CMAN or ship report, encoded in memory and written whole, one
// after another. Land and CMAN reports use the WIGOS identifier (301150)
// and the synoptic sequence of fixed land stations (307080); ship reports
// the synoptic sequence of sea stations (308009) with the call sign.
// The messages are packed by our own packer from the layout that ecCodes
// gives (bufr_pack), or by ecCodes itself with bufr_packer "eccodes" (the
// reference: the same bytes, far slower).
// Resources: bufr_centre and bufr_subcentre (section 1; 255 and 0 when
// unset), bufr_packer, station_list (a WIS 2.0 station list in CSV: WIGOS
// identifier, name, position and heights).
#pragma once

#include <cstddef>
#include <string_view>

#include "framework/date.hpp"
#include "report/sfc_tool.hpp"

// The settings of the BUFR messages, read from the resources when the first
// BUFR file of the run is opened.
struct BUFR_settings {
  long centre = 255;   // originating centre (255: missing)
  long subcentre = 0;  // originating sub-centre
  long master_version = 0;  // master-table version: the newest installed
  bool eccodes = false;     // packed by ecCodes rather than by our own packer
};

// Checks the word of bufr_packer ("own" or "eccodes"; unset: own): a wrong
// word is reported (RES_bad_word). The count of wrong words on the command
// line.
int BUFR_check_words();

// Reads bufr_centre, bufr_subcentre, bufr_packer and station_list. 0, or -1 with a
// message when a value is wrong (a centre that is no number from 0 to
// 65535, a station list that cannot be read or is no CSV station list).
int BUFR_configure(BUFR_settings *out);

// The master-table version of the newest BUFR tables that ecCodes has
// installed, or 0 when none is found.
long BUFR_installed_master_version();

// Encodes one report as a BUFR message into `buf` of `size` bytes with the
// settings and the date of the file `file_date` (the report's hhmm gives
// the minute, and the hour before the file's for a report of that hour).
// Returns the length of the message, 0 for a report of a class that BUFR
// does not take (buoys, drifters, "UN"), or -1 after an ecCodes error
// (printed with the station). Values outside an element's range are
// written as missing with a warning, once per element and run.
long BUFR_encode(const SFC_report &r, const BUFR_settings &s, const Date &file_date, unsigned char *buf,
                 std::size_t size);

// Messages that our own packer left to ecCodes since the start of the run
// (a value ecCodes refuses, a shape the packer does not take).
long BUFR_left_to_eccodes();

// Values of each element written as missing for being out of range, since
// the start of the run; prints one line per element when `print`. The total.
long BUFR_out_of_range(bool print);
