// The converted surface data file: detection, opening, headers, closing,
// the report gate and the record writers of every format.
#include "output/sfc_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/safe_file.hpp"
#include "framework/system.hpp"
#include "output/cdf.hpp"
#include "output/sfc_dec.hpp"
#include "report/wx_tool.hpp"

namespace {

using tv::is_miss;

constexpr M_type kFail = 0xC0;

// netCDF variable identifiers of the open file; -1 = absent.
struct CdfIds {
  int id = -1, region = -1, time = -1, lat = -1, lon = -1, elev = -1;
  int t = -1, td = -1, psl = -1, altim = -1, spd = -1, dir = -1, gust = -1;
  int wx = -1, zcl = -1, cc = -1, cld = -1, vis = -1;
  int ptend_t = -1, ptend = -1, precip = -1, r_precip = -1, snow = -1;
  int tmax = -1, tmin = -1, tmax6 = -1, tmin6 = -1, sun = -1;
  int sst = -1, wav_per = -1, wav_hgt = -1, remark = -1;
};

// One output file per process.
FILE *cvt_file = nullptr;
bool cvt_pipe = false;  // opened as "|command", closed with pclose
bool safe_out = false;  // written through the safe writer (temporary file or undoable append)
int cdf_id = -1;        // the netCDF identifier of the open file
int file_type = 0;
int file_access = 0;
Date file_date = {tv::kMissInt, tv::kMissInt, tv::kMissInt, tv::kMissInt,
                  tv::kMissInt, tv::kMissInt, tv::kMissInt, tv::kMissInt};
long num_station = 0;
CdfIds ids;
long remark_len = 0;
int stat_num = 0;
int use_table = 0;
bool stream_failed = false;  // a write to the text or XML stream failed
bool cdf_failed = false;     // a netCDF header or record write failed
bool header_failed = false;  // the netCDF header could not be written

constexpr const char *kDefaultHistory = "Surface converted file from ZOT decoders";

bool is_text_type(int type) { return type == 2 || type == 3 || type == 4; }

bool is_std_stream(FILE *f) { return f == stdin || f == stdout || f == stderr; }

// Closes a stream from FILE_open; the standard streams stay open. 0, or -1
// when buffered output could not be written.
int close_stream(FILE *f, bool pipe) {
  if (f == stdin) return 0;
  if (is_std_stream(f)) return std::fflush(f) == 0 && !std::ferror(f) ? 0 : -1;
  if (pipe) return FILE_close(f);
  return std::fclose(f) == 0 ? 0 : -1;
}

// Output to a file or a pipe is gathered here and handed to stdio in large
// blocks; records are formatted in place, with no copy and no stdio call of
// their own. The standard streams get every piece at once, so that it keeps
// its place among the messages printed there.
char stage[1 << 16];
std::size_t staged = 0;
bool staging = false;

void write_out(const char *data, std::size_t n) {
  if (std::fwrite(data, 1, n, cvt_file) != n) stream_failed = true;
  if (safe_out) SAFE_written(static_cast<long>(n));
}

void flush_stage() {
  if (staged > 0 && cvt_file && !stream_failed) write_out(stage, staged);
  staged = 0;
}

// What is still staged when the program ends without closing a file
// written directly (an "exit" answer, a time-out) reaches it, as stdio's
// own buffer would. A file written safely is finished by drain_output.
void flush_stage_at_exit() {
  if (!safe_out) flush_stage();
}

void put_stream(const char *data, std::size_t n) {
  if (!cvt_file || stream_failed) return;
  if (!staging) {
    write_out(data, n);
    return;
  }
  if (n > sizeof stage - staged) flush_stage();
  if (stream_failed) return;
  if (n > sizeof stage) {
    write_out(data, n);
    return;
  }
  std::memcpy(stage + staged, data, n);
  staged += n;
}

// Room for one whole record at the end of the stage, or null when records
// are not staged (or can no longer be written).
char *record_room() {
  if (!staging || !cvt_file || stream_failed) return nullptr;
  if (sizeof stage - staged < kSfcLineMax) flush_stage();
  return stream_failed ? nullptr : stage + staged;
}

void put_stream(const char *s) { put_stream(s, std::strlen(s)); }

// ----- netCDF header -------------------------------------------------------

struct VarAtts {
  int CdfIds::*id;
  const char *long_name;
  const char *units;
  bool fill;
};

// Attribute rows, in the order they are written.
constexpr VarAtts kVarAtts[] = {
    {&CdfIds::time, "time", "text_time", false},
    {&CdfIds::id, "station id", nullptr, false},
    {&CdfIds::region, "region id", nullptr, false},
    {&CdfIds::lat, "latitude", "degrees_N", true},
    {&CdfIds::lon, "longitude", "degrees_E", true},
    {&CdfIds::elev, "elevation", "meters", true},
    {&CdfIds::t, "temperature", "celsius", true},
    {&CdfIds::td, "dew point", "celsius", true},
    {&CdfIds::psl, "sealevel pressure", "hectopascals", true},
    {&CdfIds::altim, "altimeter setting", "hectopascals", true},
    {&CdfIds::dir, "wind direction", "degrees", true},
    {&CdfIds::spd, "wind speed", "meters/second", true},
    {&CdfIds::gust, "wind gusts", "meters/second", true},
    {&CdfIds::wx, "weather", "WMO table 4677", false},
    {&CdfIds::zcl, "cloudbase", "meters", true},
    {&CdfIds::cc, "cloudcover", "WMO table 2700", false},
    {&CdfIds::cld, "cloudtypes", "WMO tables 0509, 0513, 0515", false},
    {&CdfIds::vis, "visibility", "kilometers", true},
    {&CdfIds::ptend_t, "Pressure tendency", "WMO table 0200", false},
    {&CdfIds::ptend, "Pressure change", "hectopascals", true},
    {&CdfIds::precip, "precipitation amount", "millimeters", true},
    {&CdfIds::r_precip, "precipitation reference time", "hours", false},
    {&CdfIds::snow, "snowcover", "millimeters", true},
    {&CdfIds::tmax, "maximum temperature", "celsius", true},
    {&CdfIds::tmin, "minimum temperature", "celsius", true},
    {&CdfIds::tmax6, "6 hour maximum temperature", "celsius", true},
    {&CdfIds::tmin6, "6 hour minimum temperature", "celsius", true},
    {&CdfIds::sst, "sea surface temperature", "celsius", true},
    {&CdfIds::wav_per, "wave period", "seconds", true},
    {&CdfIds::wav_hgt, "wave height", "meters", true},
    {&CdfIds::sun, "equivalent solar radiation", "minutes", true},
};

// Variable names, for looking them up in an existing file.
struct VarName {
  int CdfIds::*id;
  const char *name;
};

constexpr VarName kVarNames[] = {
    {&CdfIds::id, "id"},         {&CdfIds::region, "region"},
    {&CdfIds::time, "time"},     {&CdfIds::lat, "lat"},
    {&CdfIds::lon, "lon"},       {&CdfIds::elev, "elev"},
    {&CdfIds::t, "T"},           {&CdfIds::td, "TD"},
    {&CdfIds::psl, "PSL"},       {&CdfIds::altim, "ALTIM"},
    {&CdfIds::spd, "SPD"},       {&CdfIds::dir, "DIR"},
    {&CdfIds::gust, "GUST"},     {&CdfIds::wx, "WX"},
    {&CdfIds::zcl, "ZCL"},       {&CdfIds::cc, "CC"},
    {&CdfIds::cld, "cloudtype"}, {&CdfIds::vis, "VIS"},
    {&CdfIds::ptend_t, "Ptend"}, {&CdfIds::ptend, "delP"},
    {&CdfIds::precip, "PRECIP"}, {&CdfIds::r_precip, "reftime_PRECIP"},
    {&CdfIds::snow, "SNOW"},     {&CdfIds::tmax, "Tmax"},
    {&CdfIds::tmin, "Tmin"},     {&CdfIds::tmax6, "Tmax6"},
    {&CdfIds::tmin6, "Tmin6"},   {&CdfIds::sun, "sunshine"},
    {&CdfIds::sst, "SST"},       {&CdfIds::wav_per, "wave_per"},
    {&CdfIds::wav_hgt, "wave_hgt"}, {&CdfIds::remark, "remarks"},
};

// A bounded copy of a record text; netCDF stores it with its terminator.
struct FieldText {
  char s[128];
  FieldText(const char *src, std::size_t max) {
    if (max >= sizeof s) max = sizeof s - 1;
    std::size_t n = strnlen(src, max);
    std::memcpy(s, src, n);
    s[n] = '\0';
  }
};

int put_cdf_header(int cvt_fd, SFC_info *info) {
  CDF_set_fd(cvt_fd);
  ids = CdfIds{};
  const int d_rep = CDF_def_dim("report", 0);
  const int d_time = CDF_def_dim("time_len", 20);
  const int d_id = CDF_def_dim("id_len", 12);
  const int d_lay = CDF_def_dim("layers", 4);
  const int d_rem = CDF_def_dim("remarks_len", 100);
  remark_len = 100;

  CDF_set_shape(2, d_rep, d_id);
  ids.id = CDF_def_char_var("id");
  ids.region = CDF_def_char_var("region");
  CDF_set_shape(2, d_rep, d_time);
  ids.time = CDF_def_char_var("time");
  CDF_set_shape(1, d_rep);
  ids.lat = CDF_def_float_var("lat");
  ids.lon = CDF_def_float_var("lon");
  ids.elev = CDF_def_float_var("elev");
  ids.t = CDF_def_float_var("T");
  ids.td = CDF_def_float_var("TD");
  ids.psl = CDF_def_float_var("PSL");
  ids.altim = CDF_def_float_var("ALTIM");
  ids.spd = CDF_def_float_var("SPD");
  ids.dir = CDF_def_float_var("DIR");
  ids.gust = CDF_def_float_var("GUST");
  CDF_set_shape(2, d_rep, d_lay);
  ids.wx = CDF_def_byte_var("WX");
  ids.zcl = CDF_def_float_var("ZCL");
  ids.cc = CDF_def_char_var("CC");
  ids.cld = CDF_def_char_var("cloudtype");
  CDF_set_shape(1, d_rep);
  ids.vis = CDF_def_float_var("VIS");
  // Which quantities a synoptic hour carries decides the optional variables.
  const int h = file_date.hour;
  if (h % 3 == 0) {
    ids.ptend_t = CDF_def_char_var("Ptend");
    ids.ptend = CDF_def_float_var("delP");
    ids.precip = CDF_def_float_var("PRECIP");
    ids.r_precip = CDF_def_float_var("reftime_PRECIP");
  }
  if (h % 12 == 0) ids.snow = CDF_def_float_var("SNOW");
  if (h % 6 == 0) {
    ids.sst = CDF_def_float_var("SST");
    ids.wav_per = CDF_def_float_var("wave_per");
    ids.wav_hgt = CDF_def_float_var("wave_hgt");
  }
  if (h == 0 || h == 12 || (h >= 5 && h <= 8)) {
    ids.tmax = CDF_def_float_var("Tmax");
    ids.tmin = CDF_def_float_var("Tmin");
  }
  if (h % 6 == 0) {
    ids.tmax6 = CDF_def_float_var("Tmax6");
    ids.tmin6 = CDF_def_float_var("Tmin6");
  }
  if (h == 8) ids.sun = CDF_def_float_var("sunshine");
  CDF_set_shape(2, d_rep, d_rem);
  ids.remark = CDF_def_char_var("remarks");

  // Absent variables (-1) are skipped by the access layer.
  for (const VarAtts &row : kVarAtts) {
    const int id = ids.*row.id;
    CDF_put_base_att(id, row.long_name, row.units);
    if (row.fill) CDF_put_fill_att(id);
  }

  if (!info->cmdline) info->cmdline = kDefaultHistory;
  CDF_put_glob_att("title", "Surface converted data");
  CDF_put_glob_att("version", "2.0");
  CDF_put_glob_att("history", info->cmdline);
  CDF_put_glob_att("filetime", FieldText(info->datim, sizeof info->datim - 1).s);
  // A header that cannot be written (a full disk) leaves no usable file.
  if (CDF_end_def() == -1) {
    header_failed = true;
    cdf_failed = true;
  }
  return 0;
}

// ----- netCDF records ------------------------------------------------------

float cdf_scaled(float v, double k) {
  return is_miss(v) ? tv::kMissFloat : static_cast<float>(k * static_cast<double>(v));
}
float cdf_celsius(float f) {
  return is_miss(f) ? tv::kMissFloat
                    : static_cast<float>(5.0 * (static_cast<double>(f) - 32.0) / 9.0);
}

// Cloud cover letters as WMO code table 2700 figures.
char cdf_cover(char c) {
  switch (c) {
    case 'C': return '0';
    case 'F': return '1';
    case 'S': return '2';
    case 'B': return '6';
    case 'O': return '8';
    case 'X': return '9';
    case ' ': return '/';
    default: return c;
  }
}

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
void obs_label(int hhmm, char *out, std::size_t size) {
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

void write_cdf(int cvt_fd, const SFC_report *r, int rec) {
  bool bad = false;
  // The library reports the first refused value; the rest of the record
  // would only repeat it (a full disk gives one error per variable).
  auto chk = [&bad](int rc) {
    if (rc == -1 && !bad) {
      bad = true;
      CDF_print_errors(0);
    }
  };

  CDF_set_fd(cvt_fd);
  CDF_set_pos(1, rec);
  chk(CDF_put_str(ids.id, FieldText(r->id, sizeof r->id - 1).s));
  chk(CDF_put_str(ids.region, FieldText(r->area, sizeof r->area - 1).s));
  char label[40];
  obs_label(r->time, label, sizeof label);
  chk(CDF_put_str(ids.time, label));
  chk(CDF_put_float(ids.lat, r->lat));
  chk(CDF_put_float(ids.lon, r->lon));
  chk(CDF_put_float(ids.elev, r->elev));

  chk(CDF_put_float(ids.t, cdf_celsius(r->t)));
  chk(CDF_put_float(ids.td, cdf_celsius(r->td)));
  chk(CDF_put_float(ids.psl, r->pmb));
  chk(CDF_put_float(ids.altim, cdf_scaled(r->alt, 33.85399)));
  chk(CDF_put_float(ids.dir, r->w_dir));
  chk(CDF_put_float(ids.spd, cdf_scaled(r->w_spd, 0.5144)));
  chk(CDF_put_float(ids.gust, cdf_scaled(r->w_gust, 0.5144)));
  chk(CDF_put_float(ids.vis, cdf_scaled(r->vis, 1.60934)));
  // Only the first position of the weather row is used.
  chk(CDF_put_byte(ids.wx, static_cast<char>(WX_weather_wmo(r->weather))));

  for (int k = 0; k < 4; ++k) {
    CDF_set_pos(2, rec, k);
    chk(CDF_put_float(ids.zcl, cdf_scaled(r->cld_height[k], 0.3048)));
    chk(CDF_put_char(ids.cc, cdf_cover(r->cld_cover[k])));
  }

  CDF_set_pos(1, rec);
  // The tendency characteristic is stored as its value, not as a digit.
  chk(CDF_put_char(ids.ptend_t, is_miss(r->ptend_t) ? '/' : static_cast<char>(r->ptend_t)));
  chk(CDF_put_float(ids.ptend, r->ptend));
  if (!is_miss(r->rain24)) {
    chk(CDF_put_float(ids.r_precip, 24.0f));
    chk(CDF_put_float(ids.precip, cdf_scaled(r->rain24, 25.4)));
  } else {
    chk(CDF_put_float(ids.r_precip, 6.0f));
    chk(CDF_put_float(ids.precip, cdf_scaled(r->rain6, 25.4)));
  }
  chk(CDF_put_float(ids.tmax, cdf_celsius(r->max_t)));
  chk(CDF_put_float(ids.tmin, cdf_celsius(r->min_t)));
  chk(CDF_put_float(ids.tmax6, cdf_celsius(r->max6_t)));
  chk(CDF_put_float(ids.tmin6, cdf_celsius(r->min6_t)));
  chk(CDF_put_float(ids.snow, cdf_scaled(r->scover, 25.4)));
  chk(CDF_put_float(ids.sun, r->solar));

  for (int k = 0; k < 3; ++k) {
    CDF_set_pos(2, rec, k);
    chk(CDF_put_char(ids.cld, r->cld_type[k] == ' ' ? '/' : r->cld_type[k]));
  }

  CDF_set_pos(1, rec);
  chk(CDF_put_float(ids.sst, r->sst));
  chk(CDF_put_float(ids.wav_per, r->wav_per));
  chk(CDF_put_float(ids.wav_hgt, r->wav_hgt));
  // A file made elsewhere may have a shorter remarks row.
  std::size_t rem_max = sizeof r->comment - 1;
  if (remark_len > 0 && static_cast<std::size_t>(remark_len - 1) < rem_max)
    rem_max = static_cast<std::size_t>(remark_len - 1);
  chk(CDF_put_str(ids.remark, FieldText(r->comment, rem_max).s));

  if (bad && !cdf_failed) {
    CDF_print_errors(1);
    MESS_print(kFail, "SFC_write: netCDF error writing record %d\n", rec);
    cdf_failed = true;
  }
}

// Reads the header of an existing netCDF file. 0.
int get_cdf_header(int cvt_fd, SFC_info *info, const char *label_att) {
  CDF_set_fd(cvt_fd);
  CDF_print_errors(0);
  long n = CDF_get_dim_size(-1);
  num_station = n < 0 ? 0 : n;
  info->num_stat = static_cast<int>(num_station);
  if (file_type == 12) {
    if (CDF_get_dim("report") == -1) CDF_get_dim("ob");
    CDF_get_dim("time_len");
    CDF_get_dim("id_len");
    CDF_get_dim("layers");
    int d_rem = CDF_get_dim("remarks_len");
    remark_len = d_rem == -1 ? 0 : CDF_get_dim_size(d_rem);
    ids = CdfIds{};
    for (const VarName &v : kVarNames) ids.*v.id = CDF_get_var(v.name);
  }
  if (CDF_get_glob_att(label_att, info->datim, sizeof info->datim) < 0) info->datim[0] = '\0';
  CDF_print_errors(1);
  DATE_decode_label(info->datim, &info->date);
  file_date = info->date;
  stat_num = static_cast<int>(num_station);
  return 0;
}

// Reads the label line of a text file opened for reading. 0.
int get_text_header(SFC_info *info) {
  long pos = std::ftell(cvt_file);
  std::rewind(cvt_file);
  int c;
  if (file_type == 3 || file_type == 4) {
    while ((c = std::fgetc(cvt_file)) != EOF && c != '\n') {
    }
  }
  info->num_stat = tv::kMissInt;
  std::size_t n = 0;
  while ((c = std::fgetc(cvt_file)) != EOF && c != '\n') {
    if (n < sizeof info->datim - 1) info->datim[n++] = static_cast<char>(c);
  }
  if (n > 0 && info->datim[n - 1] == '\r') --n;
  info->datim[n] = '\0';
  if (pos >= 0) std::fseek(cvt_file, pos, SEEK_SET);
  DATE_decode_label(info->datim, &info->date);
  file_date = info->date;
  return 0;
}

// The layout of the netCDF header: the dimensions and the variables, with
// their types and shapes, that put_cdf_header defines.
struct CdfDim {
  const char *name;
  long size;
};
constexpr CdfDim kCdfDims[] = {{"time_len", 20}, {"id_len", 12}, {"layers", 4}, {"remarks_len", 100}};

struct CdfVar {
  const char *name;
  int type;
  int dim2;       // index in kCdfDims of the second dimension, -1 for none
  bool optional;  // defined for some hours only
};
constexpr CdfVar kCdfVars[] = {
    {"id", kCdfChar, 1, false},          {"region", kCdfChar, 1, false},
    {"time", kCdfChar, 0, false},        {"lat", kCdfFloat, -1, false},
    {"lon", kCdfFloat, -1, false},       {"elev", kCdfFloat, -1, false},
    {"T", kCdfFloat, -1, false},         {"TD", kCdfFloat, -1, false},
    {"PSL", kCdfFloat, -1, false},       {"ALTIM", kCdfFloat, -1, false},
    {"SPD", kCdfFloat, -1, false},       {"DIR", kCdfFloat, -1, false},
    {"GUST", kCdfFloat, -1, false},      {"WX", kCdfByte, 2, false},
    {"ZCL", kCdfFloat, 2, false},        {"CC", kCdfChar, 2, false},
    {"cloudtype", kCdfChar, 2, false},   {"VIS", kCdfFloat, -1, false},
    {"Ptend", kCdfChar, -1, true},       {"delP", kCdfFloat, -1, true},
    {"PRECIP", kCdfFloat, -1, true},     {"reftime_PRECIP", kCdfFloat, -1, true},
    {"SNOW", kCdfFloat, -1, true},       {"SST", kCdfFloat, -1, true},
    {"wave_per", kCdfFloat, -1, true},   {"wave_hgt", kCdfFloat, -1, true},
    {"Tmax", kCdfFloat, -1, true},       {"Tmin", kCdfFloat, -1, true},
    {"Tmax6", kCdfFloat, -1, true},      {"Tmin6", kCdfFloat, -1, true},
    {"sunshine", kCdfFloat, -1, true},   {"remarks", kCdfChar, 3, false},
};

// Does the open netCDF file have this program's layout? Records are only
// ever added to such a file: anything else would take them mislabelled.
bool cdf_layout_ok() {
  const int rec = CDF_get_dim("report");
  if (rec == -1 || CDF_get_unlimited() != rec) return false;
  int dim_ids[std::size(kCdfDims)];
  for (std::size_t i = 0; i < std::size(kCdfDims); ++i) {
    dim_ids[i] = CDF_get_dim(kCdfDims[i].name);
    if (dim_ids[i] == -1 || CDF_get_dim_size(dim_ids[i]) != kCdfDims[i].size) return false;
  }
  for (const CdfVar &v : kCdfVars) {
    const int id = CDF_get_var(v.name);
    if (id == -1) {
      if (v.optional) continue;
      return false;
    }
    int type = 0;
    int dims[2] = {-1, -1};
    const int nd = CDF_get_var_shape(id, &type, dims, 2);
    if (type != v.type || nd != (v.dim2 == -1 ? 1 : 2) || dims[0] != rec) return false;
    if (v.dim2 != -1 && dims[1] != dim_ids[v.dim2]) return false;
  }
  char label[40];
  return CDF_get_glob_att("filetime", label, sizeof label) >= 0;
}

// Checks a netCDF file before records are appended to it: this program's
// layout and every record its header counts present. 0, or -1 with a message.
int cdf_check_append(const char *filename, const char *path) {
  CDF_print_errors(0);
  const int id = CDF_open(path, 0);
  const bool ours = id != -1 && cdf_layout_ok();
  if (id != -1) CDF_close();
  CDF_print_errors(1);
  if (!ours) {
    MESS_print(kFail, "SFC_open: Not a netCDF file of this program's layout, not appended to: %s\n",
               filename);
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

// Is `filename` written through the safe writer: a new path or a regular
// file, not a standard stream, a pipe, a FIFO or a device?
bool writes_safely(const char *filename, const char *path) {
  // A "|" name that is no file is a command, or refused by FILE_open.
  const bool command_name = filename[0] == '|' && !FILE_exist(filename);
  return !FILE_is_stdio(filename) && !command_name && SAFE_kind_of(path) != kSafeOther;
}

// A stream over a copy of descriptor `fd` of the safe writer. Records are
// staged in large blocks already, so the stream keeps no buffer of its own:
// after a roll-back nothing is left to reach the file.
FILE *safe_stream(int fd, const char *mode) {
  const int wfd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (wfd < 0) return nullptr;
  FILE *f = ::fdopen(wfd, mode);
  if (!f) {
    ::close(wfd);
    return nullptr;
  }
  std::setvbuf(f, nullptr, _IONBF, 0);
  return f;
}

// Finishes (status 0) or drops (any other) the safely written file when
// the program ends without SFC_close. 0, or -1 when its data did not all
// reach it.
int drain_output(int status) {
  if (!safe_out) return 0;
  bool failed = stream_failed || cdf_failed;
  if (cvt_file) {
    if (status == 0) {
      flush_stage();
      if (std::ferror(cvt_file)) failed = true;
    }
    staged = 0;
    if (std::fclose(cvt_file) != 0) failed = true;
    cvt_file = nullptr;
    staging = false;
  } else if (cdf_id != -1) {
    CDF_set_fd(cdf_id);
    if (CDF_close() == -1) failed = true;
  }
  cdf_id = -1;
  file_type = 0;
  safe_out = false;
  if (failed && status == 0) MESS_print(kFail, "SFC_close: Error writing converted data file\n");
  return failed ? -1 : 0;
}

}  // namespace

int SFC_chktype(const char *filename) {
  if (!filename) return -1;
  FILE *f = FILE_open(filename, "r");
  if (!f) return -1;
  const int c = std::fgetc(f);
  close_stream(f, FILE_is_pipe(f));
  switch (c) {
    case ' ':
    case '0':
    case '1':
    case '2':
      return 2;
    case 'Z':
      return 3;
    case 'C': {
      char path[160];
      FILE_add_user_path(filename, path);
      CDF_print_errors(0);
      if (CDF_open(path, 0) == -1) return -1;
      const int dim = CDF_get_dim("station");
      CDF_close();
      CDF_print_errors(1);
      return dim != -1 ? 11 : 12;
    }
    default:
      return -1;  // also an empty file: it has no type yet
  }
}

int SFC_open(const char *filename, int f_access, int *f_type) {
  if (!filename || !f_type || file_type != 0) return -1;
  int type = *f_type;
  if (type == 0) {
    if (f_access == 1) return -1;
    type = *f_type = SFC_chktype(filename);
    if (type == -1) return -1;
  }

  if (is_text_type(type) || type == 51) {
    const char *mode;
    switch (f_access) {
      case 0: mode = "r"; break;
      case 1: mode = "w"; break;
      case 2:
        type = *f_type = SFC_chktype(filename);
        if (type != 2 && type != 3) return -1;
        mode = "a";
        break;
      default: return -1;
    }
    char path[160];
    FILE_add_user_path(filename, path);
    FILE *f = nullptr;
    const bool safe = f_access != 0 && writes_safely(filename, path);
    if (safe) {
      FILE_make_dir(path, 1);
      // The header must survive the removal of a cut last record.
      const int fd = f_access == 1 ? SAFE_create(path) : SAFE_append(path, type == 2 ? 1 : 2);
      if (fd < 0) return -1;
      f = safe_stream(fd, mode);
      if (!f) {
        SAFE_abort();
        return -1;
      }
      SAFE_set_drain(drain_output);
    } else {
      f = FILE_open(filename, mode);
    }
    if (!f) return -1;
    cvt_file = f;
    cvt_pipe = !safe && FILE_is_pipe(f);
    safe_out = safe;
    cdf_id = -1;
    // Records are short and many: they go out in large blocks.
    staging = !is_std_stream(f);
    staged = 0;
    static bool exit_flush = false;
    if (staging && !exit_flush) exit_flush = std::atexit(flush_stage_at_exit) == 0;
    file_type = type;
    file_access = f_access;
    num_station = 0;
    stat_num = 0;
    stream_failed = false;
    cdf_failed = false;
    header_failed = false;
    return fileno(f);
  }

  if (type == 11 || type == 12) {
    if (f_access < 0 || f_access > 2) return -1;
    // The same path rules as every other file: "~" names, and missing
    // directories made for a new file.
    char path[160];
    FILE_add_user_path(filename, path);
    // The library writes only to a regular file of its own, which it may
    // remove on failure: never to a device, a FIFO or a stream.
    if (f_access != 0 && !writes_safely(filename, path)) {
      MESS_print(kFail, "SFC_open: netCDF output must be a regular file: %s\n", filename);
      return -1;
    }
    CDF_print_errors(0);
    if (f_access == 2) {
      type = *f_type = SFC_chktype(filename);
      if (type == 11) {
        MESS_print(kFail, "SFC_open: Not a netCDF file of this program's layout, not appended to: %s\n",
                   filename);
        return -1;
      }
      if (type != 12 || cdf_check_append(filename, path) != 0) return -1;
      CDF_print_errors(0);
    }
    // A new file is made, and an existing one appended to, as a temporary
    // file that replaces the target only when the run succeeds.
    const char *open_path = path;
    if (f_access == 1) {
      FILE_make_dir(path, 1);
      if (SAFE_create(path) < 0) return -1;
      open_path = SAFE_temp_path();
    } else if (f_access == 2) {
      if (SAFE_copy(path) != 0) return -1;
      open_path = SAFE_temp_path();
    }
    const int id = CDF_open(open_path, f_access);
    if (id == -1) {
      if (f_access != 0) SAFE_abort();
      return -1;
    }
    CDF_print_errors(1);
    if (f_access != 0) SAFE_set_drain(drain_output);
    safe_out = f_access != 0;
    cdf_id = id;
    file_type = type;
    file_access = f_access;
    num_station = 0;
    stat_num = 0;
    ids = CdfIds{};
    remark_len = 0;
    stream_failed = false;
    cdf_failed = false;
    header_failed = false;
    return id;
  }
  return -1;
}

int SFC_putinfo(int cvt_fd, SFC_info *info) {
  if (!info) return -1;
  file_date = info->date;
  const FieldText label(info->datim, sizeof info->datim - 1);
  switch (file_type) {
    case 2:
      put_stream(label.s);
      put_stream("\n");
      return 0;
    case 3:
    case 4:
      put_stream("ZOTSFC\n");
      put_stream(label.s);
      put_stream("\n");
      return 0;
    case 51: {
      // The label never holds markup, but it is written as any text value.
      char line[300];
      std::size_t n = 0;
      auto add = [&](const char *s) {
        for (; *s && n < sizeof line; ++s) line[n++] = *s;
      };
      add("<zotsfc date=\"");
      for (const char *p = label.s; *p; ++p) {
        switch (*p) {
          case '&': add("&amp;"); break;
          case '<': add("&lt;"); break;
          case '>': add("&gt;"); break;
          case '"': add("&quot;"); break;
          default: if (n < sizeof line) line[n++] = *p;
        }
      }
      add("\">\n");
      put_stream(line, n);
      return 0;
    }
    case 12:
      return put_cdf_header(cvt_fd, info);
    default:
      return -1;
  }
}

int SFC_getinfo(int cvt_fd, SFC_info *info) {
  if (!info) return -1;
  switch (file_type) {
    case 2:
    case 3:
    case 4:
      if (file_access != 0) {
        // Nothing is read from a file being written; the run's date stands
        // for the file's date (the older layout's "T" group depends on it).
        file_date = info->date;
        return 1;
      }
      return get_text_header(info);
    case 12:
      return get_cdf_header(cvt_fd, info, "filetime");
    case 11:
      return get_cdf_header(cvt_fd, info, "datetime");
    default:
      return -1;
  }
}

int SFC_close(int cvt_fd) {
  bool close_failed = false;
  switch (file_type) {
    case 51:
      if (file_access == 1) put_stream("</zotsfc>\n");
      [[fallthrough]];
    case 2:
    case 3:
    case 4:
      if (cvt_file) {
        flush_stage();
        if (std::ferror(cvt_file)) stream_failed = true;
        if (safe_out) {
          if (std::fclose(cvt_file) != 0) stream_failed = true;
        } else if (close_stream(cvt_file, cvt_pipe) != 0) {
          stream_failed = true;
        }
      }
      cvt_file = nullptr;
      cvt_pipe = false;
      staging = false;
      break;
    case 11:
    case 12:
      CDF_set_fd(cvt_fd);
      if (CDF_close() == -1) close_failed = true;
      break;
    default:
      return -1;
  }
  file_type = 0;
  cdf_id = -1;
  const bool safe = safe_out;
  safe_out = false;
  // Data that did not reach the file must not end as a successful run, nor
  // take the place of the file that was there.
  if (stream_failed || close_failed || header_failed)
    MESS_print(kFail, "SFC_close: Error writing converted data file\n");
  if (stream_failed || close_failed || cdf_failed) {
    if (safe) SAFE_abort();
    ZOT_exit(1);
  }
  if (safe && SAFE_commit() != 0) {
    MESS_print(kFail, "SFC_close: Error writing converted data file\n");
    ZOT_exit(1);
  }
  return 0;
}

int SFC_save_report(int cvt_fd, SFC_report *report) {
  if (report && DATE_chk_range(report->time) && (report->type & 1)) {
    SFC_write(cvt_fd, report, 1, &stat_num);
    ++stat_num;
  }
  return 0;
}

int SFC_write(int cvt_fd, SFC_report *report, int /*rep_type*/, int *statnum) {
  if (!report) return -1;
  if (file_type == 12) {
    if (!statnum) return -1;
    // After the first failure the file is lost anyway: no flood of errors.
    if (!cdf_failed) write_cdf(cvt_fd, report, *statnum);
    return 0;
  }
  if (!is_text_type(file_type) && file_type != 51) return -1;
  // The record is formatted where it is staged, or else into `line`.
  char line[kSfcLineMax];
  char *room = record_room();
  char *out = room ? room : line;
  std::size_t n;
  if (file_type == 2)
    n = SFC_format_old_text(out, kSfcLineMax, report, file_date.hour);
  else if (file_type == 51)
    n = SFC_format_xml(out, kSfcLineMax, report);
  else
    n = SFC_format_text(out, kSfcLineMax, report, file_type);
  if (room)
    staged += n;
  else
    put_stream(line, n);
  return 0;
}

int SFC_set_table(int value) {
  use_table = value;
  return 1;
}

int SFC_write_failed() { return stream_failed || cdf_failed ? 1 : 0; }
