// The CF netCDF format: netCDF-4 through the netCDF C library, one
// unlimited "obs" dimension, the analysis variables along it.
#include "output/sfc_cf.hpp"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <netcdf.h>
#include <H5Epublic.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/resrc.hpp"
#include "framework/safe_file.hpp"
#include "framework/version.hpp"
#include "output/formats.hpp"
#include "output/sfc_analysis.hpp"
#include "output/sfc_stream.hpp"
#include "stations/cty_read.hpp"
#include "stations/cty_tool.hpp"

namespace {

constexpr M_type kFail = 0xC0;
constexpr const char *kConventions = "CF-1.8";
constexpr const char *kFeatureType = "point";
constexpr const char *kObs = "obs";
constexpr const char *kCoordinates = "time latitude longitude altitude";

// Texts are fixed-length character arrays along a length dimension of
// their own, read as strings (the "_Encoding" attribute). Variable-length
// strings (NC_STRING) live in HDF5's global heap, which the library fills
// and frees again value by value: some 100 times the cost of everything
// else a report takes.
struct TextDim {
  AnaKind kind;
  const char *dim;
  std::size_t len;
};
constexpr TextDim kTextDims[] = {
    {AnaKind::station_id, "station_id_len", sizeof SFC_report::id - 1},
    {AnaKind::report_type, "report_type_len", 7},  // "unknown"
    {AnaKind::station_name, "station_name_len", sizeof CTY_data::name - 1},
};
constexpr const TextDim *text_dim(AnaKind k) {
  for (const TextDim &t : kTextDims)
    if (t.kind == k) return &t;
  return nullptr;
}
constexpr bool texts_have_dims() {
  for (const AnaVar &v : kAnaVars)
    if ((v.type == AnaType::string) != (text_dim(v.kind) != nullptr)) return false;
  return true;
}
static_assert(texts_have_dims(), "a length for every text variable");

nc_type nc_type_of(AnaType t) {
  switch (t) {
    case AnaType::string: return NC_CHAR;
    case AnaType::int32: return NC_INT;
    case AnaType::float32: return NC_FLOAT;
    case AnaType::float64: break;
  }
  return NC_DOUBLE;
}

// One set of observations gathered for a write: a column per variable.
struct Columns {
  std::vector<float> floats;  // kAnaVarCount columns of kSfcCfChunk
  std::vector<int> ints;
  std::vector<double> times;
  std::vector<char> texts[kAnaVarCount];  // kSfcCfChunk texts of their length, padded with NULs

  void make() {
    floats.resize(kAnaVarCount * kSfcCfChunk);
    ints.resize(kAnaVarCount * kSfcCfChunk);
    times.resize(kSfcCfChunk);
    for (std::size_t i = 0; i < kAnaVarCount; ++i)
      if (const TextDim *t = text_dim(kAnaVars[i].kind)) texts[i].resize(kSfcCfChunk * t->len);
  }
};

// The open file: its variables, what it holds, and the observations
// gathered for the next write. The buffers are made once, at the first
// open of the run; a report only fills a slot of each.
struct CfState {
  int ncid = -1;
  int obs_dim = -1;
  int varids[kAnaVarCount] = {};
  std::size_t in_file = 0;  // observations in the file or handed to the writer
  std::size_t slots = 0;    // observations gathered, not yet handed over
  off_t file_size = 0;      // of the pending file, as last seen
  AnaClock clock;
  // Coverage of everything in the file (read back on append).
  bool any = false;
  double t_min = 0, t_max = 0, lat_min = 0, lat_max = 0, lon_min = 0, lon_max = 0;
  bool any_pos = false;
  // Two sets: the writer thread writes one while the reports fill the other.
  Columns sets[2];
  Columns *fill = &sets[0];
  int text_dims[std::size(kTextDims)] = {};
};
CfState cf;

void make_buffers() {
  if (!cf.sets[0].floats.empty()) return;
  // HDF5 allocates and frees a chunk's buffers at every write; with the
  // C library's default thresholds each free gives the memory back to the
  // system and the next write faults it in again: that took five times
  // the whole conversion. Keep it.
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_TOP_PAD, 64 << 20);
  for (Columns &c : cf.sets) c.make();
}

void reset_state() {
  cf.ncid = -1;
  cf.obs_dim = -1;
  cf.in_file = cf.slots = 0;
  cf.file_size = 0;
  cf.any = cf.any_pos = false;
}

// One netCDF failure: reported once with the library's reason.
bool nc_ok(int rc, const char *func, const char *what) {
  if (rc == NC_NOERR) return true;
  MESS_print(kFail, "%s: netCDF error %s: %s\n", func, what, nc_strerror(rc));
  return false;
}

int put_text_att(int varid, const char *name, std::string_view value) {
  return nc_put_att_text(cf.ncid, varid, name, value.size(), value.data());
}

// A text attribute, or "" when absent or not text.
std::string get_text_att(int ncid, int varid, const char *name) {
  nc_type t;
  std::size_t len = 0;
  if (nc_inq_att(ncid, varid, name, &t, &len) != NC_NOERR || t != NC_CHAR) return {};
  std::string s(len, '\0');
  if (len > 0 && nc_get_att_text(ncid, varid, name, s.data()) != NC_NOERR) return {};
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

double get_double_att(int ncid, const char *name, bool *ok) {
  double v = 0;
  *ok = *ok && nc_get_att_double(ncid, NC_GLOBAL, name, &v) == NC_NOERR;
  return v;
}

// "2022-03-21T12:00:00Z" back to seconds since 1970; false when it is not
// that form.
bool parse_iso(const std::string &s, double *out) {
  std::tm tm{};
  char z = 0;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &z) != 7 || z != 'Z')
    return false;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  *out = static_cast<double>(timegm(&tm));
  return true;
}

// ----- detection and layout ------------------------------------------------------

// netCDF-4 files are HDF5 files: their signature starts with byte 0x89.
// Whether one is of this format's layout is checked before appending.
SfcType detect(int first, const char * /*filename*/) { return first == 0x89 ? SfcType::cf : SfcType::unknown; }

// Is the open file of this format: the CF attributes, an unlimited "obs"
// dimension and every variable, of its type, along it?
bool layout_ok(int ncid) {
  if (get_text_att(ncid, NC_GLOBAL, "Conventions") != kConventions ||
      get_text_att(ncid, NC_GLOBAL, "featureType") != kFeatureType)
    return false;
  int dim = -1;
  if (nc_inq_dimid(ncid, kObs, &dim) != NC_NOERR) return false;
  int nunlim = 0;
  int unlim[NC_MAX_DIMS];
  if (nc_inq_unlimdims(ncid, &nunlim, unlim) != NC_NOERR || nunlim != 1 || unlim[0] != dim) return false;
  for (const AnaVar &v : kAnaVars) {
    int id = -1;
    nc_type t;
    int nd = 0;
    int dims[NC_MAX_VAR_DIMS];
    if (nc_inq_varid(ncid, v.name.data(), &id) != NC_NOERR || nc_inq_var(ncid, id, nullptr, &t, &nd, dims, nullptr) != NC_NOERR)
      return false;
    const TextDim *text = text_dim(v.kind);
    if (t != nc_type_of(v.type) || nd != (text ? 2 : 1) || dims[0] != dim) return false;
    std::size_t len = 0;
    if (text && (nc_inq_dimlen(ncid, dims[1], &len) != NC_NOERR || len != text->len)) return false;
  }
  return true;
}

// ----- opening ----------------------------------------------------------------

// A file the library could not close (a full disk, a file size limit)
// stays half open in HDF5, whose own exit handler then writes to it again
// and crashes. The run has failed by then and the safe writer has rolled
// the file back: this handler, registered after the library's and so run
// before it, ends the program first, with the run's status 1.
bool close_failed = false;
void stop_writer_quietly();
void end_before_the_library() {
  static const bool registered = std::atexit([] {
    // A program ending without closing the file (a failure elsewhere)
    // lets the writer finish first: the library's handler must not find
    // it inside a write.
    stop_writer_quietly();
    if (!close_failed) return;
    std::fflush(nullptr);
    std::_Exit(1);
  }) == 0;
  (void)registered;
}

void refuse(const char *filename) {
  MESS_print(kFail, "SFC_open: Not a CF netCDF file of this program's variables, not appended to: %s\n",
             filename);
}

int open(SfcFile &f, const char *filename) {
  CTY_remember_last(true);  // station_name: the station the run has just looked up
  char path[160];
  FILE_add_user_path(filename, path);
  if (f.access != SfcAccess::read && !SFC_safe_target(filename, path)) {
    MESS_print(kFail, "SFC_open: netCDF output must be a regular file: %s\n", filename);
    return -1;
  }
  make_buffers();
  reset_state();
  int ncid = -1;
  switch (f.access) {
    case SfcAccess::read:
      if (nc_open(path, NC_NOWRITE, &ncid) != NC_NOERR) return -1;
      break;
    case SfcAccess::create:
      FILE_make_dir(path, 1);
      if (SAFE_create(path) < 0) return -1;
      if (!nc_ok(nc_create(SAFE_temp_path(), NC_NETCDF4 | NC_CLOBBER, &ncid), "SFC_open", "creating the file")) {
        SAFE_abort();
        return -1;
      }
      break;
    case SfcAccess::append: {
      // Checked before anything is copied: observations are only ever
      // added to a file that names them the same way.
      bool ours = SFC_chktype(filename) == SFC_type_code(SfcType::cf) && nc_open(path, NC_NOWRITE, &ncid) == NC_NOERR;
      if (ours) {
        ours = layout_ok(ncid);
        nc_close(ncid);
      }
      if (!ours) {
        refuse(filename);
        return -1;
      }
      if (SAFE_copy(path) != 0) return -1;
      if (!nc_ok(nc_open(SAFE_temp_path(), NC_WRITE, &ncid), "SFC_open", "opening the copy")) {
        SAFE_abort();
        return -1;
      }
      break;
    }
  }
  end_before_the_library();
  f.safe = f.access != SfcAccess::read;
  cf.ncid = ncid;
  return ncid;
}

// ----- header -------------------------------------------------------------------

// Variable `i` keeps at most two of its chunks in memory. The observations
// are written a whole chunk at a time, so a chunk is complete when it is
// written: with the library's larger default cache every chunk of the run
// stayed in memory, each one on pages new to the process (some 200 MB and
// 47,000 page faults for a million reports), and all were compressed at
// the end. Now each is compressed and written as it is filled, in memory
// that is used again.
int small_cache(std::size_t i) {
  const AnaVar &v = kAnaVars[i];
  const TextDim *text = text_dim(v.kind);
  const std::size_t value = text ? text->len : v.type == AnaType::float64 ? 8 : 4;
  return nc_set_var_chunk_cache(cf.ncid, cf.varids[i], 2 * kSfcCfChunk * value, 7, 1.0f);
}

int deflate_level() { return SFC_cf_deflate_level(); }

// Defines variable `i`: NC_NOERR or the library's error.
int define_variable(std::size_t i, int level) {
  const AnaVar &v = kAnaVars[i];
  int &id = cf.varids[i];
  const nc_type t = nc_type_of(v.type);
  const TextDim *text = text_dim(v.kind);
  const int dims[2] = {cf.obs_dim, text ? cf.text_dims[text - kTextDims] : -1};
  int rc = nc_def_var(cf.ncid, v.name.data(), t, text ? 2 : 1, dims, &id);
  const std::size_t chunk[2] = {kSfcCfChunk, text ? text->len : 1};
  if (rc == NC_NOERR) rc = nc_def_var_chunking(cf.ncid, id, NC_CHUNKED, chunk);
  if (rc == NC_NOERR && level > 0) rc = nc_def_var_deflate(cf.ncid, id, t != NC_CHAR, 1, level);
  if (rc == NC_NOERR) rc = small_cache(i);
  if (rc != NC_NOERR) return rc;
  auto att = [&](const char *name, const char *value) {
    if (value && rc == NC_NOERR) rc = put_text_att(id, name, value);
  };
  if (t == NC_FLOAT) {
    const float fill = NC_FILL_FLOAT;
    rc = nc_def_var_fill(cf.ncid, id, 0, &fill);
  } else if (t == NC_INT) {
    const int fill = NC_FILL_INT;
    rc = nc_def_var_fill(cf.ncid, id, 0, &fill);
  }
  att("standard_name", v.standard_name);
  att("long_name", v.long_name);
  att("units", v.units);
  att("cell_methods", v.cell_methods);
  att("comment", v.comment);
  if (text) att("_Encoding", "utf-8");
  switch (v.kind) {
    case AnaKind::time:
      att("calendar", "standard");
      att("axis", "T");
      break;
    case AnaKind::station_id:
    case AnaKind::wmo_id:
    case AnaKind::report_type:
    case AnaKind::station_name:
      break;
    default:
      if (v.name == "latitude") {
        att("axis", "Y");
      } else if (v.name == "longitude") {
        att("axis", "X");
      } else if (v.name == "altitude") {
        att("axis", "Z");
        att("positive", "up");
      } else {
        att("coordinates", kCoordinates);
      }
  }
  return rc;
}

int put_header(SfcFile &f, SFC_info * /*info*/) {
  if (f.type != SfcType::cf) return -1;
  cf.clock.set(f.date);
  const int level = deflate_level();
  // Every value is written, so nothing is filled first: filling a new
  // chunk of strings with empty ones makes HDF5 free each of them again
  // as it is overwritten, which costs far more than the strings. The
  // numbers still name their _FillValue (below) for readers.
  int old_mode = 0;
  int def = nc_set_fill(cf.ncid, NC_NOFILL, &old_mode);
  if (def == NC_NOERR) def = nc_def_dim(cf.ncid, kObs, NC_UNLIMITED, &cf.obs_dim);
  for (std::size_t i = 0; def == NC_NOERR && i < std::size(kTextDims); ++i)
    def = nc_def_dim(cf.ncid, kTextDims[i].dim, kTextDims[i].len, &cf.text_dims[i]);
  for (std::size_t i = 0; def == NC_NOERR && i < kAnaVarCount; ++i) def = define_variable(i, level);
  const char *inst = RES_get("institution");
  char created[32];
  ANA_iso_time(static_cast<double>(std::time(nullptr)), created, sizeof created);
  const std::string source = std::string("tavro ") + TAVRO_VERSION;
  int rc = NC_NOERR;
  auto att = [&](const char *name, std::string_view value) {
    if (rc == NC_NOERR) rc = put_text_att(NC_GLOBAL, name, value);
  };
  att("Conventions", kConventions);
  att("featureType", kFeatureType);
  att("title", "Surface synoptic observations (SYNOP, SHIP, CMAN)");
  att("institution", inst && *inst ? inst : "unknown");
  att("source", source);
  att("date_created", created);
  att("geospatial_lat_units", "degrees_north");
  att("geospatial_lon_units", "degrees_east");
  if (def == NC_NOERR) def = rc;
  if (def == NC_NOERR) def = nc_enddef(cf.ncid);
  if (def != NC_NOERR) {
    MESS_print(kFail, "SFC_putinfo: netCDF error defining the file: %s\n", nc_strerror(def));
    f.lost = f.tell = true;
  }
  return 0;
}

// Reads what an appended file holds: its variables, its observations and
// their coverage. The run's date stays the date of the observations it adds.
int get_header(SfcFile &f, SFC_info *info) {
  if (f.type != SfcType::cf) return -1;
  f.date = info->date;
  cf.clock.set(f.date);
  std::size_t n = 0;
  if (nc_inq_dimid(cf.ncid, kObs, &cf.obs_dim) != NC_NOERR || nc_inq_dimlen(cf.ncid, cf.obs_dim, &n) != NC_NOERR)
    n = 0;
  for (std::size_t i = 0; i < kAnaVarCount; ++i)
    if (nc_inq_varid(cf.ncid, kAnaVars[i].name.data(), &cf.varids[i]) != NC_NOERR)
      cf.varids[i] = -1;
    else
      small_cache(i);  // only the memory it takes: the defaults would do
  cf.in_file = n;
  f.records = static_cast<long>(n);
  info->num_stat = static_cast<int>(n);
  cf.any = parse_iso(get_text_att(cf.ncid, NC_GLOBAL, "time_coverage_start"), &cf.t_min) &&
           parse_iso(get_text_att(cf.ncid, NC_GLOBAL, "time_coverage_end"), &cf.t_max);
  bool ok = true;
  cf.lat_min = get_double_att(cf.ncid, "geospatial_lat_min", &ok);
  cf.lat_max = get_double_att(cf.ncid, "geospatial_lat_max", &ok);
  cf.lon_min = get_double_att(cf.ncid, "geospatial_lon_min", &ok);
  cf.lon_max = get_double_att(cf.ncid, "geospatial_lon_max", &ok);
  cf.any_pos = ok;
  return 0;
}

// ----- observations -----------------------------------------------------------

void cover(double t, double lat, double lon) {
  if (!cf.any) {
    cf.t_min = cf.t_max = t;
    cf.any = true;
  } else {
    if (t < cf.t_min) cf.t_min = t;
    if (t > cf.t_max) cf.t_max = t;
  }
  if (std::isnan(lat) || std::isnan(lon)) return;
  if (!cf.any_pos) {
    cf.lat_min = cf.lat_max = lat;
    cf.lon_min = cf.lon_max = lon;
    cf.any_pos = true;
    return;
  }
  if (lat < cf.lat_min) cf.lat_min = lat;
  if (lat > cf.lat_max) cf.lat_max = lat;
  if (lon < cf.lon_min) cf.lon_min = lon;
  if (lon > cf.lon_max) cf.lon_max = lon;
}

// Observations start + 1 to start + count of `c`, one write per variable:
// NC_NOERR or the library's error. Only the library is called here, never
// anything of the program: the writer thread runs it.
int write_columns(int ncid, const int *varids, const Columns &c, std::size_t start, std::size_t count) {
  int rc = NC_NOERR;
  for (std::size_t i = 0; i < kAnaVarCount && rc == NC_NOERR; ++i) {
    const AnaVar &v = kAnaVars[i];
    const int id = varids[i];
    switch (v.type) {
      case AnaType::float64: rc = nc_put_vara_double(ncid, id, &start, &count, c.times.data()); break;
      case AnaType::float32: rc = nc_put_vara_float(ncid, id, &start, &count, &c.floats[i * kSfcCfChunk]); break;
      case AnaType::int32: rc = nc_put_vara_int(ncid, id, &start, &count, &c.ints[i * kSfcCfChunk]); break;
      case AnaType::string: {
        const std::size_t from[2] = {start, 0};
        const std::size_t size[2] = {count, text_dim(v.kind)->len};
        rc = nc_put_vara_text(ncid, id, from, size, c.texts[i].data());
        break;
      }
    }
  }
  return rc;
}

void report_write_error(int rc, std::size_t start, std::size_t count) {
  MESS_print(kFail, "SFC_write: netCDF error writing observations %zu to %zu: %s\n", start + 1, start + count,
             nc_strerror(rc));
}

// What the library has written so far starts on its way to the disk, so
// that the flush at the end is short.
void start_writeback() {
  struct stat st;
  if (::stat(SAFE_temp_path(), &st) == 0 && st.st_size > cf.file_size) {
    SAFE_written(static_cast<long>(st.st_size - cf.file_size));
    cf.file_size = st.st_size;
  }
}

// The writer thread: it writes a full set of observations (and deflates
// them, most of the time a report takes) while the reports fill the other
// set. The library is not thread-safe: it is called by one thread at a
// time, the writer between a hand-over and the end of that write, the
// program's thread only while the writer is idle (wait() first). A
// failure is kept for the program's thread to report.
class Writer {
 public:
  // Hands set `c` over for writing (the writer must be idle).
  void hand(const Columns *c, std::size_t start, std::size_t count) {
    if (!thread_.joinable()) start_thread();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = {c, start, count, cf.ncid};
      busy_ = true;
    }
    wake_.notify_one();
  }

  // Waits until the set handed over last is written; false (and the
  // failure reported when `report`) when it could not be.
  bool wait(bool report = true) {
    if (!thread_.joinable()) return true;
    Result r;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      done_.wait(lock, [this] { return !busy_; });
      r = result_;
      result_ = {};
    }
    if (r.rc == NC_NOERR) return true;
    if (report) report_write_error(r.rc, r.start, r.count);
    return false;
  }

  // Waits for the last write and ends the thread. False after a failure
  // (reported when `report`).
  bool stop(bool report) {
    const bool ok = wait(report);
    if (thread_.joinable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
      }
      wake_.notify_one();
      thread_.join();
      quit_ = false;
    }
    return ok;
  }

 private:
  struct Job {
    const Columns *columns = nullptr;
    std::size_t start = 0, count = 0;
    int ncid = -1;
  };
  struct Result {
    int rc = NC_NOERR;
    std::size_t start = 0, count = 0;
  };

  void start_thread() {
    // The writer takes no signal: an interrupt reaches the program's
    // thread, whose handler rolls the file back.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    thread_ = std::thread([this] { run(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }

  void run() {
    // HDF5 keeps its error printing per thread: netCDF turned it off only
    // in the thread it started in. A failure is reported by netCDF's code.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return busy_ || quit_; });
      if (!busy_) return;
      const Job j = job_;
      lock.unlock();
      const int rc = write_columns(j.ncid, cf.varids, *j.columns, j.start, j.count);
      lock.lock();
      if (rc != NC_NOERR) result_ = {rc, j.start, j.count};
      busy_ = false;
      done_.notify_one();
    }
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool busy_ = false, quit_ = false;
  Job job_;
  Result result_;
};
// Never destroyed: a thread object destroyed while it runs would end the
// program, and the program may end (a signal, a failure elsewhere) at any time.
Writer &writer = *new Writer;
void stop_writer_quietly() { writer.stop(false); }

// The gathered observations go to the writer thread, and the reports fill
// the other set. False after a failure of the previous write (reported).
bool hand_over() {
  if (!writer.wait()) {
    cf.slots = 0;
    return false;
  }
  start_writeback();
  writer.hand(cf.fill, cf.in_file, cf.slots);
  cf.in_file += cf.slots;
  cf.slots = 0;
  cf.fill = cf.fill == &cf.sets[0] ? &cf.sets[1] : &cf.sets[0];
  return true;
}

// Everything gathered, written: the writer's last set, then what is left
// here. False after a failure (reported).
bool flush() {
  if (!writer.stop(true)) {
    cf.slots = 0;
    return false;
  }
  const std::size_t start = cf.in_file;
  const std::size_t count = cf.slots;
  cf.slots = 0;
  if (count > 0) {
    const int rc = write_columns(cf.ncid, cf.varids, *cf.fill, start, count);
    if (rc != NC_NOERR) {
      report_write_error(rc, start, count);
      return false;
    }
    cf.in_file += count;
  }
  start_writeback();
  return true;
}

// Text `t` into slot `s` of variable `I`, cut to its length, NUL-padded.
// Bytes outside printable ASCII become '?', as in the CSV file: the texts
// are declared UTF-8, and a station file in another encoding must not make
// the variable undecodable for the readers.
template <std::size_t I>
[[gnu::always_inline]] inline void put_text(std::size_t s, std::string_view t) {
  constexpr std::size_t len = text_dim(kAnaVars[I].kind)->len;
  char *dst = &cf.fill->texts[I][s * len];
  const std::size_t n = t.size() < len ? t.size() : len;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(t[i]);
    dst[i] = c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
  }
  std::memset(dst + n, 0, len - n);
}

// Variable `I` of the report into slot `s`: its row is known while
// compiling, so its kind, type and conversion cost nothing here. The
// position (in the file's units) goes to `lat` and `lon` for the coverage.
template <std::size_t I>
[[gnu::always_inline]] inline void put_value(std::size_t s, const SFC_report &r, double &lat, double &lon) {
  constexpr const AnaVar &v = kAnaVars[I];
  if constexpr (v.kind == AnaKind::station_id) {
    put_text<I>(s, std::string_view(r.id, strnlen(r.id, sizeof r.id)));
  } else if constexpr (v.kind == AnaKind::report_type) {
    put_text<I>(s, ANA_report_type(r));
  } else if constexpr (v.kind == AnaKind::station_name) {
    CTY_data st;  // the run stores its stations as CTY_data (store type 1)
    put_text<I>(s, CTY_search(r.id, &st) ? std::string_view(st.name, strnlen(st.name, sizeof st.name))
                                          : std::string_view());
  } else if constexpr (v.kind == AnaKind::time) {
    cf.fill->times[s] = cf.clock.seconds(r.time);
  } else if constexpr (v.type == AnaType::int32) {
    const double x = ANA_value<I>(r);
    cf.fill->ints[I * kSfcCfChunk + s] = std::isnan(x) ? NC_FILL_INT : static_cast<int>(x);
  } else {
    constexpr AnaLinear k = kAnaCf[I];
    const double x = ANA_value<I>(r);
    double y = std::isnan(x) ? x : k.a + k.b * x;
    // Beyond a float (a damaged record in a large unit): missing.
    if (!(std::fabs(y) <= 3.0e38)) y = std::nan("");
    cf.fill->floats[I * kSfcCfChunk + s] = std::isnan(y) ? NC_FILL_FLOAT : static_cast<float>(y);
    if constexpr (v.var == SfcVar::lat) lat = y;
    if constexpr (v.var == SfcVar::lon) lon = y;
  }
}

int write(SfcFile &f, const SFC_report &r, int /*rec*/) {
  if (f.type != SfcType::cf || cf.ncid < 0) return -1;
  if (f.lost) return 0;  // the file is lost anyway: no flood of errors
  const std::size_t s = cf.slots;
  double lat = std::nan(""), lon = std::nan("");
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (put_value<I>(s, r, lat, lon), ...);
  }(std::make_index_sequence<kAnaVarCount>{});
  cover(cf.fill->times[s], lat, lon);
  if (++cf.slots == kSfcCfChunk && !hand_over()) f.lost = true;
  return 0;
}

// ----- closing ------------------------------------------------------------------

// The run's line of "history": when, and the command line.
std::string history_line() {
  char when[32];
  ANA_iso_time(static_cast<double>(std::time(nullptr)), when, sizeof when);
  std::string line = when;
  line += ":";
  char **argv = nullptr;
  const int argc = RES_get_args(&argv);
  for (int i = 0; i < argc; ++i) {
    line += ' ';
    line += argv[i] ? argv[i] : "";
  }
  if (argc == 0) line += " tavro";
  for (char &c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

// Coverage and history, after the last observation.
bool finish_attributes() {
  int rc = nc_redef(cf.ncid);
  auto text = [&](const char *name, std::string_view value) {
    if (rc == NC_NOERR) rc = put_text_att(NC_GLOBAL, name, value);
  };
  auto number = [&](const char *name, double value) {
    if (rc == NC_NOERR) rc = nc_put_att_double(cf.ncid, NC_GLOBAL, name, NC_DOUBLE, 1, &value);
  };
  if (cf.any) {
    char t[32];
    ANA_iso_time(cf.t_min, t, sizeof t);
    text("time_coverage_start", t);
    ANA_iso_time(cf.t_max, t, sizeof t);
    text("time_coverage_end", t);
  }
  if (cf.any_pos) {
    number("geospatial_lat_min", cf.lat_min);
    number("geospatial_lat_max", cf.lat_max);
    number("geospatial_lon_min", cf.lon_min);
    number("geospatial_lon_max", cf.lon_max);
  }
  std::string history = get_text_att(cf.ncid, NC_GLOBAL, "history");
  if (!history.empty() && history.back() != '\n') history += '\n';
  history += history_line();
  text("history", history);
  if (rc == NC_NOERR) rc = nc_enddef(cf.ncid);
  return nc_ok(rc, "SFC_close", "writing the coverage and history");
}

int close(SfcFile &f, bool /*finish*/, bool keep) {
  if (cf.ncid < 0) return 0;
  // The writer's last set first: from here on the library is this thread's.
  bool ok = writer.stop(true);
  if (ok && keep && !f.lost && f.access != SfcAccess::read) ok = flush() && finish_attributes();
  if (!ok) f.lost = true;
  cf.slots = 0;
  const int rc = nc_close(cf.ncid);
  if (rc != NC_NOERR) close_failed = true;
  cf.ncid = -1;
  return ok && rc == NC_NOERR ? 0 : -1;
}

}  // namespace

int SFC_cf_deflate_level() {
  const char *v = RES_get("cf_deflate");
  if (!v) return 1;
  char *end = nullptr;
  const long level = std::strtol(v, &end, 10);
  if (end != v && *end == '\0' && level >= 0 && level <= 9) return static_cast<int>(level);
  MESS_print(kFail, "SFC_putinfo: cf_deflate must be a level from 0 to 9, 1 is used: %s\n", v);
  return 1;
}

const SfcFormatOps kSfcCfOps = {detect, open, put_header, get_header, write, close};
