// Bulletin reader: raw bulletin files report by report, with the section
// state (report type, hour, wind unit) that the decoders read.
#pragma once

#include <cstdio>

// Report types: the kind of the section a report stands in. Their values
// are bits, as the set of classes selected for output keeps them.
enum class ReportType : int {
  land = 1,
  ship = 2,
  numeric_ship = 4,  // a ship-format report with a numeric identifier (buoys, platforms)
  drifter = 8,
  coastal = 16,
  mobile_land = 32,  // OOXX: starts no report
};
constexpr int type_bit(ReportType t) { return static_cast<int>(t); }

// Caller buffer sizes: report text and first group, without the terminator.
constexpr int kSynDataMax = 450;
constexpr int kSynIdMax = 20;

// Gathers the next report of `ifile` into `data` (kSynDataMax + 1 bytes):
// its lines joined by single blanks, ending in a blank. A line ends at a
// line feed (with any carriage returns before it) or at carriage returns
// that no line feed follows. `id` (kSynIdMax + 1 bytes) gets its first
// group and `type` the report type of its section.
// Returns -1 when nothing is left to read (look-ahead empty and the stream
// at its end), else 1; when the input ends before a report starts, `data`
// is a single blank and `id` and `type` are left as they were. A line read
// ahead from another stream is dropped, not read as one of `ifile`.
int SYN_read_raw(FILE *ifile, char *data, char *id, ReportType *type);

// The length of the text the last call of SYN_read_raw that gave 1 wrote
// (without its terminator), known to the reader, so it need not be measured.
int SYN_read_len();

// Empties the look-ahead line; the report loop calls it for every input
// file it opens, so no line of one file is read again from the next. What
// the reader had read ahead from the stream is dropped as well, so it
// belongs between files, not in the middle of one.
void SYN_read_reset();

// Section state kept by the reader for the decoders.
ReportType SYN_get_rep_type();
int SYN_get_prhour();    // hhmm of the latest heading or section line
int SYN_get_iw();        // wind indicator of the latest AAXX/CMAN line, -1 when not given
// Set the section state directly (tests of the decoders, and replays).
void SYN_set_prhour(int hhmm);
void SYN_set_iw(int iw);

