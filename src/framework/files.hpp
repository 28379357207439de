// File naming and access: name conventions and templates, the current and
// latest file, file sequences, and the small file-system functions.
#pragma once

#include <cstdio>

#include "framework/date.hpp"

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
// Opens a standard stream, a file, or a command written "|command" when the
// user gave that name (FILE_allow_command) and no file of that name exists;
// any other "|" name is refused with a message. Returns null on failure.
FILE *FILE_open(const char *name, const char *mode);
// Closes a stream of FILE_open (a command's pipe with pclose; the standard
// streams are only flushed). 0, or -1 when buffered data could not be
// written or the close failed.
int FILE_close(FILE *f);
// 1 when `f` is a command's pipe opened by FILE_open.
int FILE_is_pipe(FILE *f);

// Names that may run a command: only those the user gave (command line,
// environment, prompt, controlling process, a defaults file outside the
// current directory). FILE_allow_command records such a name ("|command");
// returns 1, or 0 for a name without "|". FILE_allow_template_command does
// it for `name` just built by FILE_set_date, when the template of the last
// FILE_set_name is that caller's own text (no name-convention entry) and
// the resource `res` that gave it is the user's. FILE_is_command: 1 when
// FILE_open would run `name` as a command.
int FILE_allow_command(const char *name);
int FILE_allow_template_command(const char *res, const char *name);
int FILE_is_command(const char *name);
