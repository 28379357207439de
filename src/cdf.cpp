// Thin access layer over the netCDF classic interface (the library's
// version 2 calls). One netCDF identifier, one variable shape and one write
// position are held at a time.
#include "cdf.hpp"

#include <netcdf.h>

#include <cstdarg>
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
