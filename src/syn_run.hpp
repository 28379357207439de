// The conversion run: from the run parameters through every input file's
// report loop to the closed output file, with the count of what became of
// every report.
#pragma once

#include "framework/date.hpp"

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

