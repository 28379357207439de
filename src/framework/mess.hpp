// Message layer: every line of output goes through MESS_print with a level
// mask; the user selects which levels are printed.
#pragma once

#include <cstdint>

using M_type = std::uint32_t;

int MESS_set(int oper, M_type level);
int MESS_set_str(const char *str);
// MESS_set_str for a setting that may not be the user's: with may_run 0 a
// log name "|cmd" is a file name, never a command.
int MESS_set_str_from(const char *str, int may_run);
// 1 when MESS_set_str knows `token` (blanks around it aside): a level
// keyword with its optional sign and sub-level, a log-file, paging or line
// token, or nothing at all (skipped). 0 for any other word, which as a level
// would silence every message.
int MESS_known_word(const char *token);
int MESS_check(M_type level);
M_type MESS_get();
int MESS_check_set();
int MESS_get_max_lines();
int MESS_print(M_type type, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
int MESS_hold(M_type type, const char *mess);
int MESS_print_prog(const char *string);

// The time written before each line of a log set with "@fi": `stamp` puts
// the current time into a 40-byte buffer and returns it. The date module,
// which lies above this layer, installs its own when the program starts;
// until then, or in a program without it, the lines get no time (" -- "
// alone). Returns the function that was in use.
using MESS_stamp_fn = char *(*)(char *buf);
MESS_stamp_fn MESS_use_stamp(MESS_stamp_fn stamp);
