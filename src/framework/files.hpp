// File naming: name conventions and templates, the current and latest
// file, file sequences, the date of feed files; with file access
// (files_access.hpp), the whole FILE_ module.
#pragma once

#include "framework/date.hpp"
#include "framework/files_access.hpp"

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
// 1 when the last FILE_set_file read every date code of the template from
// the name (the date of the name is then in FILE_get_date), else 0.
int FILE_name_fits();

// The name-convention file: FILE_name_conv_path puts where it is looked
// for into `path` (160 bytes) and returns 1 when it can be read, else 0.
// After FILE_quiet_conv(1), a missing file is no longer reported by
// FILE_set_name (a run that names every file itself does not need it).
int FILE_name_conv_path(char *path);
int FILE_quiet_conv(int quiet);

// The date of the data of a bulletin file whose name does not give it by
// the template. First the WMO file-naming convention of its file name
// (A_TTAAiiCCCCYYGGgg[BBB]_C_CCCC_YYYYMMDDhhmmss...: year and month from
// the time stamp, day, hour and minute from the heading's YYGGgg, which may
// lie in the month before the stamp); else the first abbreviated heading
// in the file (TTAAii CCCC YYGGgg, also after "** ") with year and month
// from the file's modification time (the month before when the day lies
// after the modification day). Fills only the fields of `date` (year,
// month, day, hour, minute) that are not given. Returns 1 from the name, 2
// from a heading, 0 when neither gives a date (standard input, commands
// and FIFOs are not looked into), -1 when the file cannot be read or is no
// regular file (the caller reports that).
int FILE_feed_date(const char *name, Date *date);

// Current file and sequences.
int FILE_get_file_only(const char *prompt, char *name);
long FILE_set_current(const char *when, char *name);
int FILE_first(Date *date);
// 1 when the run's files are a sequence of a period ("num_hour" with one
// positional name or none), where a missing file is a normal gap, else 0.
int FILE_is_sequence();
int FILE_get_next(char *name);
int FILE_set_date_off(Date *date, int off, char *name);
int FILE_get_offset();
int FILE_num_hour();
int FILE_get_skip();
int FILE_overwrite(const char *name, int mode);

// The resources the file naming reads: the path codes and "%{name}" of
// templates, "name_conv", "file_path", "num_hour", "current", the
// positional "filename" values, and whether the user gave a value. `get`
// gives a value (null when absent), `get_list` splits one as RES_getvals
// does, `from_user` tells RES_from_user. The resource store, which lies
// above the file layer, installs them when the program starts; until then,
// or in a program without it, every resource is absent. Returns the ones
// in use.
struct FILE_resources {
  const char *(*get)(const char *name);
  int (*get_list)(const char *name, int *count, char ***list);
  int (*from_user)(const char *name);
};
FILE_resources FILE_use_resources(FILE_resources resources);

// FILE_allow_command (files_access.hpp) for `name` just built by
// FILE_set_date, when the template of the last FILE_set_name is that
// caller's own text (no name-convention entry) and the resource `res` that
// gave it is the user's.
int FILE_allow_template_command(const char *res, const char *name);
