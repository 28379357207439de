// The netCDF format (keyword "cdf", type 12; the older layout 11 is read
// only). Its dimensions, variables, attributes, the layout an appended file
// must have and the record itself all come from the record's description
// (kSfcFields, kSfcCdfDims).
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/safe_file.hpp"
#include "output/cdf.hpp"
#include "output/formats.hpp"
#include "output/sfc_fields.hpp"
#include "output/sfc_stream.hpp"
#include "report/wx_tool.hpp"

namespace {

using tv::is_miss;

constexpr M_type kFail = 0xC0;
constexpr const char *kDefaultHistory = "Surface converted file from ZOT decoders";

static_assert(std::string_view(kSfcCdfDims[static_cast<int>(CdfDim::report)].name) == "report" &&
                  std::string_view(kSfcCdfDims[static_cast<int>(CdfDim::remarks_len)].name) == "remarks_len",
              "kSfcCdfDims in the order of CdfDim");

int ids[kSfcFieldCount];  // variable identifiers of the open file by row; -1 = absent
long remark_len = 0;      // length of the remarks row

void clear_ids() {
  for (int &id : ids) id = -1;
}

bool in_record(const SfcField &f) { return !f.cdf.name.empty(); }

int dim_size(CdfDim d) { return kSfcCdfDims[static_cast<int>(d)].size; }

// Which quantities a synoptic hour carries decides the optional variables.
bool defined_at(CdfHours hours, int h) {
  switch (hours) {
    case CdfHours::all: return true;
    case CdfHours::every3: return h % 3 == 0;
    case CdfHours::every6: return h % 6 == 0;
    case CdfHours::every12: return h % 12 == 0;
    case CdfHours::extremes: return h == 0 || h == 12 || (h >= 5 && h <= 8);
    case CdfHours::hour8: return h == 8;
  }
  return false;
}

// A bounded copy of a record text; netCDF stores it with its terminator.
struct FieldText {
  char s[128];
  FieldText(std::string_view src, std::size_t max) {
    std::size_t n = src.size() < max ? src.size() : max;
    if (n >= sizeof s) n = sizeof s - 1;
    std::memcpy(s, src.data(), n);
    s[n] = '\0';
  }
  FieldText(const char *src, std::size_t max) : FieldText(std::string_view(src, strnlen(src, max)), max) {}
};

// ----- detection and opening ---------------------------------------------------

SfcType detect(int first, const char *filename) {
  if (first != 'C') return SfcType::unknown;
  char path[160];
  FILE_add_user_path(filename, path);
  CDF_print_errors(0);
  if (CDF_open(path, 0) == -1) return SfcType::unknown;
  const int dim = CDF_get_dim("station");
  CDF_close();
  CDF_print_errors(1);
  return dim != -1 ? SfcType::old_cdf : SfcType::cdf;
}

// Does the open netCDF file have this program's layout? Records are only
// ever added to such a file: anything else would take them mislabelled.
bool layout_ok() {
  const int rec = CDF_get_dim("report");
  if (rec == -1 || CDF_get_unlimited() != rec) return false;
  int dim_ids[std::size(kSfcCdfDims)] = {rec};
  for (std::size_t i = 1; i < std::size(kSfcCdfDims); ++i) {
    dim_ids[i] = CDF_get_dim(kSfcCdfDims[i].name);
    if (dim_ids[i] == -1 || CDF_get_dim_size(dim_ids[i]) != kSfcCdfDims[i].size) return false;
  }
  for (const SfcField &f : kSfcFields) {
    if (!in_record(f)) continue;
    const int id = CDF_get_var(f.cdf.name.data());
    if (id == -1) {
      if (f.cdf.hours != CdfHours::all) continue;  // defined for some hours only
      return false;
    }
    int type = 0;
    int dims[2] = {-1, -1};
    const int nd = CDF_get_var_shape(id, &type, dims, 2);
    const bool scalar = f.cdf.dim == CdfDim::report;
    if (type != static_cast<int>(f.cdf.type) || nd != (scalar ? 1 : 2) || dims[0] != rec) return false;
    if (!scalar && dims[1] != dim_ids[static_cast<int>(f.cdf.dim)]) return false;
  }
  char label[40];
  return CDF_get_glob_att("filetime", label, sizeof label) >= 0;
}

// Checks a netCDF file before records are appended to it: this program's
// layout and every record its header counts present. 0, or -1 with a message.
int check_append(const char *filename, const char *path) {
  CDF_print_errors(0);
  const int id = CDF_open(path, 0);
  const bool ours = id != -1 && layout_ok();
  if (id != -1) CDF_close();
  CDF_print_errors(1);
  if (!ours) {
    MESS_print(kFail, "SFC_open: Not a netCDF file of this program's layout, not appended to: %s\n", filename);
    return -1;
  }
  struct stat st;
  const long long need = CDF_needed_size(path);
  if (need < 0 || ::stat(path, &st) != 0 || static_cast<long long>(st.st_size) < need) {
    MESS_print(kFail, "SFC_open: netCDF file cut short, not appended to: %s\n", filename);
    return -1;
  }
  return 0;
}

// The library writes only to a regular file of its own, which it may
// remove on failure: never to a device, a FIFO or a stream. A new file is
// made, and an existing one appended to, as a temporary file that replaces
// the target only when the run succeeds.
int open(SfcFile &f, const char *filename) {
  char path[160];
  FILE_add_user_path(filename, path);
  if (f.access != SfcAccess::read && !SFC_safe_target(filename, path)) {
    MESS_print(kFail, "SFC_open: netCDF output must be a regular file: %s\n", filename);
    return -1;
  }
  CDF_print_errors(0);
  const char *open_path = path;
  if (f.access == SfcAccess::append) {
    f.type = static_cast<SfcType>(SFC_chktype(filename));
    if (f.type == SfcType::old_cdf) {
      MESS_print(kFail, "SFC_open: Not a netCDF file of this program's layout, not appended to: %s\n", filename);
      return -1;
    }
    if (f.type != SfcType::cdf || check_append(filename, path) != 0) return -1;
    CDF_print_errors(0);
    if (SAFE_copy(path) != 0) return -1;
    open_path = SAFE_temp_path();
  } else if (f.access == SfcAccess::create) {
    FILE_make_dir(path, 1);
    if (SAFE_create(path) < 0) return -1;
    open_path = SAFE_temp_path();
  }
  const int id = CDF_open(open_path, static_cast<int>(f.access));
  if (id == -1) {
    if (f.access != SfcAccess::read) SAFE_abort();
    return -1;
  }
  CDF_print_errors(1);
  f.safe = f.access != SfcAccess::read;
  clear_ids();
  remark_len = 0;
  return id;
}

// ----- header -----------------------------------------------------------------

int def_var(const SfcField &f) {
  switch (f.cdf.type) {
    case CdfType::byte: return CDF_def_byte_var(f.cdf.name.data());
    case CdfType::text: return CDF_def_char_var(f.cdf.name.data());
    case CdfType::real: break;
  }
  return CDF_def_float_var(f.cdf.name.data());
}

int put_header(SfcFile &f, SFC_info *info) {
  if (f.type != SfcType::cdf) return -1;
  CDF_set_fd(f.handle);
  clear_ids();
  int dims[std::size(kSfcCdfDims)];
  for (std::size_t i = 0; i < std::size(kSfcCdfDims); ++i) dims[i] = CDF_def_dim(kSfcCdfDims[i].name, kSfcCdfDims[i].size);
  remark_len = dim_size(CdfDim::remarks_len);
  for (std::size_t i = 0; i < kSfcFieldCount; ++i) {
    const SfcField &v = kSfcFields[i];
    if (!in_record(v) || !defined_at(v.cdf.hours, f.date.hour)) continue;
    if (v.cdf.dim == CdfDim::report)
      CDF_set_shape(1, dims[0]);
    else
      CDF_set_shape(2, dims[0], dims[static_cast<int>(v.cdf.dim)]);
    ids[i] = def_var(v);
  }
  // Absent variables (-1) are skipped by the access layer.
  for (std::size_t i = 0; i < kSfcFieldCount; ++i) {
    const SfcField &v = kSfcFields[i];
    CDF_put_base_att(ids[i], v.cdf.long_name, v.cdf.units);
    if (v.cdf.fill) CDF_put_fill_att(ids[i]);
  }
  if (!info->cmdline) info->cmdline = kDefaultHistory;
  CDF_put_glob_att("title", "Surface converted data");
  CDF_put_glob_att("version", "2.0");
  CDF_put_glob_att("history", info->cmdline);
  CDF_put_glob_att("filetime", FieldText(info->datim, sizeof info->datim - 1).s);
  // A header that cannot be written (a full disk) leaves no usable file.
  if (CDF_end_def() == -1) f.lost = f.tell = true;
  return 0;
}

// Reads the header of an existing file (the older layout names its label
// "datetime"). 0, or -1 for a type that is not netCDF.
int get_header(SfcFile &f, SFC_info *info) {
  if (f.type != SfcType::cdf && f.type != SfcType::old_cdf) return -1;
  CDF_set_fd(f.handle);
  CDF_print_errors(0);
  const long n = CDF_get_dim_size(-1);
  f.records = n < 0 ? 0 : n;
  info->num_stat = static_cast<int>(f.records);
  if (f.type == SfcType::cdf) {
    const int d_rem = CDF_get_dim("remarks_len");
    remark_len = d_rem == -1 ? 0 : CDF_get_dim_size(d_rem);
    for (std::size_t i = 0; i < kSfcFieldCount; ++i)
      ids[i] = in_record(kSfcFields[i]) ? CDF_get_var(kSfcFields[i].cdf.name.data()) : -1;
  }
  const char *label_att = f.type == SfcType::cdf ? "filetime" : "datetime";
  if (CDF_get_glob_att(label_att, info->datim, sizeof info->datim) < 0) info->datim[0] = '\0';
  CDF_print_errors(1);
  DATE_decode_label(info->datim, &info->date);
  f.date = info->date;
  return 0;
}

// ----- records ----------------------------------------------------------------

constexpr const char *kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// The date label in its UTC form, whatever display time zone the run has:
// a zone label would not fit the record's 20 characters.
void utc_label(const Date &d, char *out, std::size_t size) {
  const int yy = (d.year < 0 ? 1980 : d.year) % 100;
  if (d.month == tv::kMissInt) {
    std::snprintf(out, size, "%2.2d", yy);
    return;
  }
  const char *mon = kMonths[(d.month < 1 || d.month > 12) ? 0 : d.month - 1];
  if (d.day == tv::kMissInt) {
    std::snprintf(out, size, "%3s %2.2d", mon, yy);
    return;
  }
  const int day = (d.day < 1 || d.day > 31) ? 1 : d.day;
  if (d.hour == tv::kMissInt) {
    std::snprintf(out, size, "%2d %3s %2.2d", day, mon, yy);
    return;
  }
  const int hour = (d.hour < 0 || d.hour > 23) ? 0 : d.hour;
  if (d.min == tv::kMissInt) {
    std::snprintf(out, size, "%2.2dZ %2d %3s %2.2d", hour, day, mon, yy);
    return;
  }
  const int min = (d.min < 0 || d.min > 59) ? 0 : d.min;
  std::snprintf(out, size, "%2.2d%2.2dZ %2d %3s %2.2d", hour, min, day, mon, yy);
}

// The observation time: the file's date with the report's minute, moved
// back an hour for a report from the hour before the file's hour.
void obs_label(const Date &file_date, int hhmm, char *out, std::size_t size) {
  Date d = file_date;
  d.min = hhmm % 100;
  const int h = hhmm / 100;
  if (h != d.hour) {
    time_t t = static_cast<time_t>(DATE_num_sec(&d));
    if ((h + 1) % 24 == d.hour) t -= 3600;
    DATE_get_gmdate(&t, &d);
  }
  utc_label(d, out, size);
}

// The layers or levels of a variable that the record holds and the file
// has room for.
int levels(const SfcField &f) {
  const int n = static_cast<int>(f.count);
  return n < dim_size(f.cdf.dim) ? n : dim_size(f.cdf.dim);
}

// The characters of a text row, up to its terminator; the remarks row of a
// file made elsewhere may be shorter than the record's.
int put_text(const SfcField &f, int id, const SFC_report &r) {
  std::size_t max = f.count - 1;
  if (f.cdf.dim == CdfDim::remarks_len && remark_len > 0 && static_cast<std::size_t>(remark_len - 1) < max)
    max = static_cast<std::size_t>(remark_len - 1);
  return CDF_put_str(id, FieldText(SFC_text(f, r), max).s);
}

// The numbers of a variable, converted to its unit with the factors of
// this program's files; layered ones layer by layer.
template <class Check>
void put_numbers(const SfcField &f, int id, const SFC_report &r, int rec, Check &chk) {
  if (f.cdf.dim == CdfDim::report) {
    chk(CDF_put_float(id, SFC_convert_value(SFC_value(f, r), f.unit, f.cdf.unit, SfcFactors::zot)));
    return;
  }
  for (int k = 0; k < levels(f); ++k) {
    CDF_set_pos(2, rec, k);
    chk(CDF_put_float(id, SFC_convert_value(SFC_value(f, r, k), f.unit, f.cdf.unit, SfcFactors::zot)));
  }
}

// One character a layer or level, through `map`.
template <class Check>
void put_chars(const SfcField &f, int id, const SFC_report &r, int rec, Check &chk, char (*map)(char)) {
  for (int k = 0; k < levels(f); ++k) {
    CDF_set_pos(2, rec, k);
    chk(CDF_put_char(id, map(SFC_text(f, r, k)[0])));
  }
}

char slash_for_blank(char c) { return c == ' ' ? '/' : c; }

template <class Check>
void put_variable(const SfcFile &file, const SfcField &f, int id, const SFC_report &r, int rec, Check &chk) {
  CDF_set_pos(1, rec);
  switch (f.cdf.store) {
    case CdfStore::value:
      if (f.cdf.type == CdfType::text)
        chk(put_text(f, id, r));
      else
        put_numbers(f, id, r, rec, chk);
      break;
    case CdfStore::time_label: {
      char label[40];
      obs_label(file.date, r.*f.integer, label, sizeof label);
      chk(CDF_put_str(id, label));
      break;
    }
    case CdfStore::wmo_weather:  // only the first position of the row is used
      CDF_set_pos(2, rec, 0);
      chk(CDF_put_byte(id, static_cast<char>(WX_weather_wmo(r.weather))));
      break;
    case CdfStore::wmo_cover: put_chars(f, id, r, rec, chk, WX_cover_code); break;
    case CdfStore::chars: put_chars(f, id, r, rec, chk, slash_for_blank); break;
    case CdfStore::figure:  // the figure's value, not its digit
      chk(CDF_put_char(id, is_miss(r.*f.integer) ? '/' : static_cast<char>(r.*f.integer)));
      break;
  }
}

int write(SfcFile &f, const SFC_report &r, int rec) {
  if (f.type != SfcType::cdf || rec < 0) return -1;
  // After the first failure the file is lost anyway: no flood of errors.
  if (f.lost) return 0;
  bool bad = false;
  // The library reports the first refused value; the rest of the record
  // would only repeat it (a full disk gives one error per variable).
  auto chk = [&bad](int rc) {
    if (rc == -1 && !bad) {
      bad = true;
      CDF_print_errors(0);
    }
  };
  CDF_set_fd(f.handle);
  for (std::size_t i = 0; i < kSfcFieldCount; ++i)
    if (in_record(kSfcFields[i])) put_variable(f, kSfcFields[i], ids[i], r, rec, chk);
  if (bad) {
    CDF_print_errors(1);
    MESS_print(kFail, "SFC_write: netCDF error writing record %d\n", rec);
    f.lost = true;
  }
  return 0;
}

int close(SfcFile &f, bool /*finish*/, bool /*keep*/) {
  CDF_set_fd(f.handle);
  return CDF_close() == -1 ? -1 : 0;
}

}  // namespace

const SfcFormatOps kSfcCdfOps = {detect, open, put_header, get_header, write, close};
