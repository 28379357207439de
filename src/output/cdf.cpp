// Thin access layer over the netCDF classic interface (the library's
// version 2 calls). One netCDF identifier, one variable shape and one write
// position are held at a time.
#include "output/cdf.hpp"

#include <netcdf.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxDims = 10;

int fd = -1;
long start[kMaxDims];
long count[kMaxDims];
int shape[kMaxDims];
int ndim = 0;

// The library's default would end the program on any error, losing the
// output file; errors are only ever printed or ignored here.
void never_fatal() { ncopts &= ~NC_FATAL; }

bool skip(int var) { return fd == -1 || var == -1; }

int def_var(const char *name, nc_type type) {
  if (fd == -1 || !name) return -1;
  never_fatal();
  return ncvardef(fd, name, type, ndim, shape);
}

int put_text_att(int var, const char *name, const char *value) {
  return ncattput(fd, var, name, NC_CHAR, static_cast<int>(std::strlen(value)), value);
}

// ----- the classic file header, read directly ------------------------------

constexpr std::size_t kHeaderMax = 1 << 20;    // a longer header is not taken
constexpr std::uint64_t kCountMax = 1 << 16;   // dimensions, attributes, variables
constexpr std::uint64_t kSizeMax = 1ULL << 62;  // sizes above this are not real

std::uint64_t pad4(std::uint64_t n) { return (n + 3) & ~std::uint64_t{3}; }

// Bytes of one value of a netCDF type; 0 for an unknown type.
std::uint64_t type_size(std::uint64_t t) {
  switch (t) {
    case 1: case 2: case 7: return 1;   // byte, char, ubyte
    case 3: case 8: return 2;           // short, ushort
    case 4: case 5: case 9: return 4;   // int, float, uint
    case 6: case 10: case 11: return 8;  // double, int64, uint64
    default: return 0;
  }
}

// Reads big-endian fields from the header bytes; any read past the end
// clears `ok`.
struct HeaderReader {
  const unsigned char *p;
  std::size_t n;
  int version;
  std::size_t at = 0;
  bool ok = true;

  std::uint64_t be(std::size_t k) {
    if (!ok || k > n - at) {
      ok = false;
      return 0;
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < k; ++i) v = (v << 8) | p[at + i];
    at += k;
    return v;
  }
  std::uint64_t u32() { return be(4); }
  std::uint64_t count() { return be(version == 5 ? 8 : 4); }
  std::uint64_t offset() { return be(version == 1 ? 4 : 8); }
  void skip(std::uint64_t k) {
    if (!ok || k > n - at) {
      ok = false;
      return;
    }
    at += static_cast<std::size_t>(k);
  }
  void name() { skip(pad4(count())); }
  // A list: its tag and number of elements; false when absent or broken.
  bool list(std::uint64_t tag, std::uint64_t *num) {
    const std::uint64_t t = u32();
    *num = count();
    if (!ok) return false;
    if (t == 0 && *num == 0) return false;
    if (t != tag || *num > kCountMax) ok = false;
    return ok;
  }
  void attributes() {
    std::uint64_t num = 0;
    if (!list(0x0C, &num)) return;
    for (std::uint64_t i = 0; i < num && ok; ++i) {
      name();
      const std::uint64_t size = type_size(u32());
      const std::uint64_t k = count();
      if (size == 0 || k > kSizeMax / 8) ok = false;
      skip(pad4(k * size));
    }
  }
};

long long needed_size(const unsigned char *data, std::size_t n) {
  if (n < 4 || data[0] != 'C' || data[1] != 'D' || data[2] != 'F') return -1;
  HeaderReader r{data, n, data[3]};
  if (r.version != 1 && r.version != 2 && r.version != 5) return -1;
  r.at = 4;
  const std::uint64_t numrecs = r.count();
  if (numrecs >= (r.version == 5 ? ~std::uint64_t{0} : 0xFFFFFFFFu)) return -1;  // streaming
  std::vector<std::uint64_t> dims;
  std::uint64_t num = 0;
  if (r.list(0x0A, &num)) {
    for (std::uint64_t i = 0; i < num && r.ok; ++i) {
      r.name();
      dims.push_back(r.count());
    }
  }
  r.attributes();
  struct Var {
    bool rec;
    std::uint64_t size;  // bytes of the variable (per record for a record variable)
    std::uint64_t begin;
  };
  std::vector<Var> vars;
  if (r.ok && r.list(0x0B, &num)) {
    for (std::uint64_t i = 0; i < num && r.ok; ++i) {
      r.name();
      const std::uint64_t nd = r.count();
      if (nd > 1024) return -1;
      Var v{false, 1, 0};
      for (std::uint64_t d = 0; d < nd && r.ok; ++d) {
        const std::uint64_t id = r.count();
        if (id >= dims.size()) return -1;
        if (dims[id] == 0) {
          if (d != 0) return -1;  // only the first dimension may be the record one
          v.rec = true;
        } else {
          if (dims[id] > kSizeMax / v.size) return -1;
          v.size *= dims[id];
        }
      }
      r.attributes();
      const std::uint64_t size = type_size(r.u32());
      r.count();  // vsize: recomputed above, it may be a placeholder
      v.begin = r.offset();
      if (size == 0 || v.size > kSizeMax / size) return -1;
      v.size *= size;
      vars.push_back(v);
    }
  }
  if (!r.ok) return -1;

  std::uint64_t recsize = 0;
  int nrec = 0;
  for (const Var &v : vars) {
    if (!v.rec) continue;
    ++nrec;
    recsize += pad4(v.size);
  }
  // A single record variable is stored without padding.
  if (nrec == 1) {
    for (const Var &v : vars)
      if (v.rec) recsize = v.size;
  }
  std::uint64_t end = r.at;
  for (const Var &v : vars) {
    std::uint64_t e = v.begin;
    if (v.rec) {
      if (numrecs == 0) continue;
      if (recsize != 0 && numrecs - 1 > kSizeMax / recsize) return -1;
      e += (numrecs - 1) * recsize + v.size;
    } else {
      e += v.size;
    }
    if (e > kSizeMax) return -1;
    if (e > end) end = e;
  }
  return static_cast<long long>(end);
}

}  // namespace

int CDF_set_fd(int val) {
  fd = val;
  return 0;
}

int CDF_print_errors(int val) {
  ncopts = val == 1 ? NC_VERBOSE : 0;
  return 0;
}

int CDF_open(const char *filename, int access) {
  if (!filename) return -1;
  never_fatal();
  switch (access) {
    case 0: fd = ncopen(filename, NC_NOWRITE); break;
    case 1: fd = nccreate(filename, NC_CLOBBER); break;
    case 2: fd = ncopen(filename, NC_WRITE); break;
    default: return -1;
  }
  return fd;
}

int CDF_close() {
  if (fd == -1) return -1;
  never_fatal();
  int rc = ncclose(fd);
  fd = -1;
  return rc;
}

int CDF_def_dim(const char *name, int size) {
  if (fd == -1 || !name || size < 0) return -1;
  never_fatal();
  return ncdimdef(fd, name, size);
}

int CDF_end_def() {
  if (fd == -1) return -1;
  never_fatal();
  return ncendef(fd);
}

int CDF_get_dim(const char *name) {
  if (fd == -1 || !name) return -1;
  never_fatal();
  return ncdimid(fd, name);
}

long CDF_get_dim_size(int dim) {
  if (fd == -1) return -1;
  never_fatal();
  if (dim == -1) {
    int unlimited = -1;
    if (ncinquire(fd, nullptr, nullptr, nullptr, &unlimited) == -1 || unlimited == -1) return -1;
    dim = unlimited;
  }
  long len = 0;
  if (ncdiminq(fd, dim, nullptr, &len) == -1) return -1;
  return len;
}

int CDF_set_shape(int num, ...) {
  if (num < 0 || num > kMaxDims) return -1;
  va_list ap;
  va_start(ap, num);
  for (int i = 0; i < num; ++i) shape[i] = va_arg(ap, int);
  va_end(ap);
  ndim = num;
  return 0;
}

int CDF_def_float_var(const char *name) { return def_var(name, NC_FLOAT); }
int CDF_def_byte_var(const char *name) { return def_var(name, NC_BYTE); }
int CDF_def_char_var(const char *name) { return def_var(name, NC_CHAR); }

int CDF_get_var(const char *name) {
  if (fd == -1 || !name) return -1;
  never_fatal();
  return ncvarid(fd, name);
}

int CDF_put_glob_att(const char *name, const char *value) {
  if (fd == -1 || !name || !value) return -1;
  never_fatal();
  return put_text_att(NC_GLOBAL, name, value);
}

int CDF_get_glob_att(const char *name, char *value, int size) {
  if (fd == -1 || !name || !value || size < 1) return -1;
  never_fatal();
  nc_type type;
  int len = 0;
  if (ncattinq(fd, NC_GLOBAL, name, &type, &len) == -1 || type != NC_CHAR || len < 0) return -1;
  // The attribute is read whole; only what fits the caller's text is kept.
  std::vector<char> whole(static_cast<std::size_t>(len) + 1, '\0');
  if (ncattget(fd, NC_GLOBAL, name, whole.data()) == -1) return -1;
  int n = len < size - 1 ? len : size - 1;
  std::memcpy(value, whole.data(), static_cast<std::size_t>(n));
  value[n] = '\0';
  return n;
}

int CDF_put_base_att(int id, const char *long_name, const char *units) {
  if (skip(id)) return 0;
  never_fatal();
  int rc = 0;
  if (long_name && put_text_att(id, "long_name", long_name) == -1) rc = -1;
  if (units && put_text_att(id, "units", units) == -1) rc = -1;
  return rc;
}

int CDF_put_fill_att(int id) {
  if (skip(id)) return 0;
  never_fatal();
  const float fill = -9999.0f;
  return ncattput(fd, id, "_FillValue", NC_FLOAT, 1, &fill);
}

int CDF_set_pos(int num, ...) {
  if (num < 0 || num > kMaxDims) return -1;
  va_list ap;
  va_start(ap, num);
  for (int i = 0; i < num; ++i) {
    start[i] = va_arg(ap, int);
    count[i] = 1;
  }
  va_end(ap);
  ndim = num;
  return 0;
}

int CDF_put_str(int var, const char *str) {
  if (skip(var)) return 0;
  if (!str || ndim >= kMaxDims) return -1;
  never_fatal();
  start[ndim] = 0;
  count[ndim] = static_cast<long>(std::strlen(str)) + 1;
  return ncvarput(fd, var, start, count, str);
}

int CDF_put_float(int var, float value) {
  if (skip(var)) return 0;
  never_fatal();
  return ncvarput1(fd, var, start, &value);
}

int CDF_put_byte(int var, char value) {
  if (skip(var)) return 0;
  never_fatal();
  signed char v = static_cast<signed char>(value);
  return ncvarput1(fd, var, start, &v);
}

int CDF_put_char(int var, char value) {
  if (skip(var)) return 0;
  never_fatal();
  return ncvarput1(fd, var, start, &value);
}

int CDF_get_var_shape(int var, int *type, int *dims, int max) {
  if (fd == -1 || var < 0) return -1;
  never_fatal();
  nc_type t;
  int nd = 0;
  if (ncvarinq(fd, var, nullptr, &t, &nd, nullptr, nullptr) == -1) return -1;
  if (type) *type = static_cast<int>(t);
  if (dims && nd <= max && ncvarinq(fd, var, nullptr, nullptr, nullptr, dims, nullptr) == -1) return -1;
  return nd;
}

int CDF_get_unlimited() {
  if (fd == -1) return -1;
  never_fatal();
  int unlimited = -1;
  if (ncinquire(fd, nullptr, nullptr, nullptr, &unlimited) == -1) return -1;
  return unlimited;
}

long long CDF_needed_size(const char *filename) {
  if (!filename) return -1;
  const int f = ::open(filename, O_RDONLY | O_CLOEXEC);
  if (f < 0) return -1;
  std::vector<unsigned char> head(kHeaderMax);
  std::size_t n = 0;
  while (n < head.size()) {
    const ssize_t got = ::read(f, head.data() + n, head.size() - n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    n += static_cast<std::size_t>(got);
  }
  ::close(f);
  return needed_size(head.data(), n);
}
