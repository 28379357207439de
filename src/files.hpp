// File naming and access: name conventions and templates, the current and
// latest file, file sequences, and the small file-system functions.
#pragma once

#include <cstdio>

#include "date.hpp"

// Name conventions and templates.
int FILE_set_name(const char *name);
int FILE_save_name_conv();
int FILE_restore_name_conv();
int FILE_set_key(int key, const char *value);
int FILE_set_time(Date *date);
int FILE_get_time(Date *date);
int FILE_reset_time();
int FILE_set_filename(const char *name);
int FILE_get_date(Date *date);
int FILE_set_date(Date *date, char *name);
// As FILE_set_date, but a name longer than 159 characters is never cut:
// -1 without a message (`name` then holds its first 159 characters).
int FILE_set_date_whole(Date *date, char *name);
int FILE_set_file(const char *user_name, char *name);
int FILE_list_file();

// Current file and sequences.
int FILE_get_file_only(const char *prompt, char *name);
long FILE_set_current(const char *when, char *name);
int FILE_first(Date *date);
int FILE_get_next(char *name);
int FILE_set_date_off(Date *date, int off, char *name);
int FILE_get_offset();
int FILE_num_hour();
int FILE_get_skip();
int FILE_overwrite(const char *name, int mode);

// Paths and files. Path texts hold at most 159 characters plus the NUL;
// every output buffer must hold 160 bytes.
int FILE_fullpath(const char *name);
char *FILE_add_path(const char *path, const char *name, char *out);
int FILE_add_path_delim(char *str);
int FILE_add_user_path(const char *name, char *out);
int FILE_exist(const char *name);
int FILE_is_stdio(const char *name);
int FILE_is_dir(const char *name);
long FILE_size(const char *name);
int FILE_make_dir(const char *path, int skip);
FILE *FILE_open(const char *name, const char *mode);
