// The converted surface data file: format detection, opening, the header of
// each format, closing, and the gate every report passes on its way in.
// One output file is open per process; the module keeps its state.
#pragma once

#include "framework/date.hpp"
#include "report/sfc_tool.hpp"

// Header of a converted data file.
struct SFC_info {
  char datim[40];       // date label of the file (up to 39 characters)
  char file[20];        // file name text; unused here
  const char *cmdline;  // netCDF history text; null = the default text
  Date date;            // nominal date and hour of the file
  int num_stat;         // records in the file as found when reading; -9999 unknown
};

// File types of the converted data file. The numbers are those of the
// interfaces that take an int (SFC_open, SFC_chktype).
enum class SfcType : int {
  unknown = -1,  // detection failed
  none = 0,      // not known yet: to be detected
  old_text = 2,  // older text layout
  text = 3,      // text
  text_ext = 4,  // text with the 12-hour precipitation and 6-hour extremes
  old_cdf = 11,  // older netCDF layout (record dimension "station")
  cdf = 12,      // netCDF
  cf = 13,       // netCDF-4 following the CF conventions (analysis)
  xml = 51,      // XML
  bufr = 61,     // BUFR edition 4, one message per report
  csv = 71,      // CSV (analysis)
};

constexpr int SFC_type_code(SfcType t) { return static_cast<int>(t); }

// Access codes.
enum class SfcAccess : int { read = 0, create = 1, append = 2 };

// Detected type of an existing file: 2, 3, 11, 12 or 61; -1 when it cannot be
// read, is empty or is none of these.
int SFC_chktype(const char *filename);

// Opens the output file. *f_type 0 asks for detection (read and append
// only). Appending re-detects the type from the file and stores it in
// *f_type. Returns the handle (stream descriptor for text and XML, netCDF
// id for netCDF), or -1; on failure no module state changes.
// A new path or a regular file is written safely: created or overwritten
// as a temporary file that SFC_close renames over it, appended to so that
// a failure cuts it back (netCDF: on a copy). Standard output, pipes and
// other files (FIFO, device) are written directly; netCDF refuses them. A
// netCDF file is appended to only when it has this program's layout and
// every record its header counts.
int SFC_open(const char *filename, int f_access, int *f_type);

// Writes the header of the open file from `info` (netCDF: sets
// info->cmdline to the default history when it is null). 0, or -1 when the
// type has no header writer.
int SFC_putinfo(int cvt_fd, SFC_info *info);

// Reads the header into `info`: 0 after reading, 1 when a text file is open
// for writing or appending (nothing is read; the caller's info->date is
// taken as the file's date), -1 for an unknown type.
int SFC_getinfo(int cvt_fd, SFC_info *info);

// Closes the open file (XML: writes the end tag first when it was created)
// and makes a safely written file visible under its name. 0, or -1 when no
// supported file is open. When any write to the file failed (a stream
// error of the text or XML file, a netCDF header or record write, the
// final flush), the file is rolled back and the program ends through
// ZOT_exit(1); a stream or flush error prints "SFC_close: Error writing
// converted data file\n" at level 192.
int SFC_close(int cvt_fd);

// The gate: writes the report when its time lies in the run's window and
// it is a regular report (type bit 1). Always 0.
int SFC_save_report(int cvt_fd, SFC_report *report);

// Writes one record in the layout of the open file. `statnum` points at
// the record index (netCDF only); `rep_type` is not used. 0, or -1 when the
// open file has no record writer (older netCDF, or no file).
int SFC_write(int cvt_fd, SFC_report *report, int rep_type, int *statnum);

// Records whether a station table is in use; nothing depends on it. 1.
int SFC_set_table(int value);

// Nonzero once a write to the current output file has failed (stream error
// or netCDF record error); the run ends with status 1 then.
int SFC_write_failed();
