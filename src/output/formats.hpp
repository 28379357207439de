// The output formats: one row per format with its "output" keyword, the
// file types it writes and reads, its default name template and extension,
// its help line and the functions that write it. The run's "output" and
// "out_file" words, their checks and SFC_open, SFC_putinfo, SFC_getinfo,
// SFC_write and SFC_close all go through this registry. A new format is one
// file in src/output/ with its SfcFormatOps, and one row in formats.cpp.
#pragma once

#include <span>
#include <string_view>

#include "framework/date.hpp"
#include "output/sfc_read.hpp"

// The open output file as the formats see it.
struct SfcFile {
  int handle = -1;  // stream descriptor or netCDF identifier
  SfcType type = SfcType::none;
  SfcAccess access = SfcAccess::read;
  Date date{};        // the file's date, from the header written or read
  long records = 0;   // records already in the file (netCDF append)
  bool safe = false;  // written through the safe writer (made visible at SFC_close)
  bool lost = false;  // a write failed: the file is rolled back, the run ends with 1
  bool tell = false;  // SFC_close prints "Error writing converted data file"
};

// What a format does. Each function gets the module's one open file.
struct SfcFormatOps {
  // The type of an existing file whose first byte is `first` (EOF for an
  // empty file), or SfcType::unknown when it is not of this format.
  SfcType (*detect)(int first, const char *filename);
  // Opens `filename` for f.access; appending may re-detect f.type (also
  // when it then fails). The handle, or -1; the format prints its own
  // reasons.
  int (*open)(SfcFile &f, const char *filename);
  // The header: 0, or -1 when the type has none.
  int (*put_header)(SfcFile &f, SFC_info *info);
  // Reads the header: 0, or 1 when nothing is read (a text file being
  // written), -1 when the type cannot be read.
  int (*get_header)(SfcFile &f, SFC_info *info);
  // One record, number `rec` of the file: 0, or -1 when the type takes
  // none.
  int (*write)(SfcFile &f, const SFC_report &r, int rec);
  // Closes the file. `finish`: an orderly close (end tags, everything
  // flushed); otherwise the program is ending (`keep`: what was written
  // still reaches the file). 0, or -1 when data did not reach it.
  int (*close)(SfcFile &f, bool finish, bool keep);
};

struct SfcFormat {
  std::string_view word;            // the "output" keyword
  std::span<const SfcType> types;   // the first is the one the keyword chooses
  const char *name_template;        // default name template (a name convention)
  const char *extension;            // file name extension of its name conventions
  const char *help;                 // one line for the help
  const SfcFormatOps *ops;
  bool positions = false;           // land records take the station's position from the database
};

// Every format, in the order of their keywords in messages and help.
std::span<const SfcFormat> SFC_formats();
// The format that the keyword `word` names (any case), or null.
const SfcFormat *SFC_format_of_word(std::string_view word);
// The format that writes and reads file type `type`, or null.
const SfcFormat *SFC_format_of_type(SfcType type);
// Whether records of file type code `type` carry the station's position.
bool SFC_type_has_position(int type);
// The format a value of "out_file" starts with, as the whole value or
// before a separator that is no letter or digit ("cdf:hourly"), or null.
// `*rest` gets the name template after the separator, or null when none
// follows.
const SfcFormat *SFC_format_of_prefix(const char *value, const char **rest);
// The keywords, separated by commas: "zot,xml,cdf".
const char *SFC_format_words();
// The help: one line per format at `level`.
void SFC_print_formats(M_type level);

// The formats' operations, one per format file.
extern const SfcFormatOps kSfcTextOps;  // sfc_text.cpp: types 2, 3, 4
extern const SfcFormatOps kSfcXmlOps;   // sfc_xml.cpp: type 51
extern const SfcFormatOps kSfcCdfOps;   // sfc_cdf.cpp: types 11, 12
extern const SfcFormatOps kSfcBufrOps;  // sfc_bufr.cpp: type 61
extern const SfcFormatOps kSfcCfOps;    // sfc_cf.cpp: type 13
extern const SfcFormatOps kSfcCsvOps;   // sfc_csv.cpp: type 71
