// Thin access layer over the netCDF classic interface. Every call works on
// the one netCDF identifier held by the module (CDF_set_fd / CDF_open); the
// put functions do nothing and return 0 while that identifier or the
// variable identifier is -1, which is how variables a file lacks are skipped.
#pragma once

// Selects the netCDF identifier used by every call. 0.
int CDF_set_fd(int val);

// 1: library errors are printed and the call goes on; anything else: silent.
// The library never ends the program. 0.
int CDF_print_errors(int val);

// access 0 read-only, 1 create (replacing any file), 2 writable. The
// identifier, or -1.
int CDF_open(const char *filename, int access);
int CDF_close();

// size 0 defines the unlimited dimension. The dimension identifier or -1.
int CDF_def_dim(const char *name, int size);
int CDF_end_def();
int CDF_get_dim(const char *name);
// dim -1: the current size of the unlimited dimension. The size, or -1.
long CDF_get_dim_size(int dim);

// Dimension identifiers (up to 10) of the variables defined next. 0, or -1
// for a count outside 0..10.
int CDF_set_shape(int num, ...);
int CDF_def_float_var(const char *name);
int CDF_def_byte_var(const char *name);
int CDF_def_char_var(const char *name);
int CDF_get_var(const char *name);

// Variable types as the library numbers them.
constexpr int kCdfByte = 1;
constexpr int kCdfChar = 2;
constexpr int kCdfFloat = 5;
// Type and shape of variable `var`: its dimension identifiers go to `dims`
// when there are at most `max` of them. The number of dimensions, or -1.
int CDF_get_var_shape(int var, int *type, int *dims, int max);
// Identifier of the unlimited dimension, or -1.
int CDF_get_unlimited();

// The size in bytes that the classic netCDF file `filename` needs for the
// header and every record its header counts, read from the header itself
// (the library does not notice a file cut short). -1 when the header
// cannot be read.
long long CDF_needed_size(const char *filename);

// Global text attributes. CDF_get_glob_att stores at most size - 1
// characters and a terminator in `value`; it returns the length of the
// stored text, or -1 when the attribute is absent or not text.
int CDF_put_glob_att(const char *name, const char *value);
int CDF_get_glob_att(const char *name, char *value, int size);

// "long_name" then "units" (each skipped when null), as text attributes. 0,
// or -1 when the library refused one.
int CDF_put_base_att(int id, const char *long_name, const char *units);
// "_FillValue" = -9999.0 (float).
int CDF_put_fill_att(int id);

// Record coordinates (up to 10) of the next value written. 0, or -1 for a
// count outside 0..10.
int CDF_set_pos(int num, ...);
// The text and its terminator along the next dimension, from position 0.
int CDF_put_str(int var, const char *str);
int CDF_put_float(int var, float value);
int CDF_put_byte(int var, char value);
int CDF_put_char(int var, char value);
