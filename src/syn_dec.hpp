// Conversion driver and report decoders: raw bulletin files are read report
// by report, decoded into surface records and written to the output file.
#pragma once

#include <cstdio>

#include "date.hpp"
#include "sfc_tool.hpp"

// ---------------------------------------------------------------------------
// Conversion run and report loop.

// The whole conversion, from the run parameters to the closed output file.
// Returns the run's status: 0, or 1 when a named input could not be read
// (the others are converted) or a report could not be kept. Ends the
// program with status 1 (nothing made, the old output kept) when no input
// could be read, and with status 2 when the run needs the name-convention
// file and there is none, or when the date of the data cannot be told.
// Whatever way the run ends, its summary line is printed at level 0xF00.
int SYN_decode_all();
// Reads "output" (report classes) and "parameter" (identifier rule, listing
// layout, time window, merge level) into the run settings. An unknown word
// is reported (RES_bad_word) and ignored. 0, or -1 when a word given on the
// command line was wrong: SYN_decode_all then ends the program with status
// 2 before anything is opened, as it does for a wrong word that RES_decode
// found (RES_usage_errors).
int SYN_decode_params();
// Chooses format and name of the output file for `date` and opens it;
// returns its handle. Within a run, the run's input files are listed first
// and the output locked for the run. Ends the program with status 0 when
// the existing file is to be left alone, with status 1 when it cannot be
// opened or is refused: a name longer than 159 characters, or the same file
// as an input, or none of the run's inputs can be read (each is reported;
// nothing is made or replaced).
int SYN_out_file(Date *date);
// Converts every report of one input file. 1 when the file was opened and
// read to its end, 0 when it could not be opened or is no regular file (a
// directory, a device), -1 when reading it failed part way; each failure
// with its message.
int SYN_decode_file(const char *filename);

// What became of the reports of a run. Every report the reader hands over
// ends in exactly one outcome, so the outcomes add up to the reports found.
// The summary line gives the files read, the reports found and then every
// outcome in this order:
// "Summary: 1 file read, 13 reports found, 11 written, 1 outside the time
// window, 0 not selected, 0 dropped as duplicates, 1 merged, 0 not decoded"
// An output format can add an outcome of its own (a report it could not
// take): SYN_add_outcome gives its index (-1 when there is no room), and
// the writer moves such a report there from kOutWritten with
// SYN_count(kOutWritten, -1) and SYN_count(index, 1).
enum SYN_outcome : int {
  kOutWritten = 0,
  kOutOutside,      // outside the time window
  kOutNotSelected,  // by identifier or report class
  kOutDuplicate,    // dropped as a duplicate of a kept report
  kOutMerged,       // merged into a kept report
  kOutNotDecoded,   // no identifier or no time: never written
  kOutBuiltIn       // the number of built-in outcomes
};
int SYN_add_outcome(const char *label);
void SYN_count(int outcome, long n);
long SYN_outcome_count(int outcome);

// ---------------------------------------------------------------------------
// Bulletin reader.

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
// is a single blank and `id` and `type` are left as they were.
int SYN_read_raw(FILE *ifile, char *data, char *id, int *type);

// Empties the look-ahead line; the report loop calls it for every input
// file it opens, so no line of one file is read again from the next. What
// the reader had read ahead from the stream is dropped as well, so it
// belongs between files, not in the middle of one.
void SYN_read_reset();

// Section state kept by the reader for the decoders.
int SYN_get_rep_type();  // 1 land, 2 ship, 4 numeric ship id, 8 drifter, 16 coastal,
                         // 32 mobile land (OOXX, starts no report)
int SYN_get_prhour();    // hhmm of the latest heading or section line
int SYN_get_iw();        // wind indicator of the latest AAXX/CMAN line, -1 when not given
// Set the section state directly (tests of the decoders, and replays).
void SYN_set_prhour(int hhmm);
void SYN_set_iw(int iw);

// ---------------------------------------------------------------------------
// Report decoders and their code tables.

// Decodes one report text (every group followed by a blank) of report type
// `type` (1 land, 2 ship, 4 numeric ship id, 8 drifting buoy, 16 coastal)
// into `report`, which the caller has initialised. Groups that do not fit
// leave their fields missing. Returns 1 when the report had an identifier,
// 0 (record untouched) when it had none; type 8 gives SYN_decode_dribu's
// result.
int SYN_decode(const char *data, int type, SFC_report *report);

// Decodes a drifting-buoy report text from its date group on. Returns 1.
int SYN_decode_dribu(const char *data, SFC_report *report);

// Present weather ww (manned station) / wawa (automatic station) to an SAO
// weather string; `wx_str` needs 7 bytes; " " outside 0..99. Return 0.
int SYN_weather(int wx, char *wx_str);
int SYN_auto_weather(int wx, char *wx_str);

// Visibility code VV to statute miles; -9999 above 99.
float SYN_visibility(int vis);

// Height of the lowest cloud h to feet; -9999 outside 0..9.
float SYN_ceiling(int cb);
