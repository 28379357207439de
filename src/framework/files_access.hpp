// File access: paths, the small file-system functions, and opening files,
// standard streams and the commands the user gave. The lowest part of the
// FILE_ module: it uses nothing of the framework but the string utilities.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Failures (a name cut at the bound, a command refused) are reported
// through a printf-like function given the format and its arguments. The
// message layer, which lies above file access and writes its log files
// through it, installs its own when the program starts; until then, or in a
// program without it, failures go to standard error. Returns the function
// that was in use (null for standard error).
using FILE_report_fn = void (*)(const char *format, std::va_list args);
FILE_report_fn FILE_use_report(FILE_report_fn fn);

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
// returns 1, or 0 for a name without "|". FILE_is_command: 1 when FILE_open
// would run `name` as a command.
int FILE_allow_command(const char *name);
int FILE_is_command(const char *name);

// For the other files of the FILE_ module.
namespace tv::files {

// Every name, template and path text: 159 characters and the NUL.
constexpr std::size_t kText = 160;

// Copies `src` into the kText-byte buffer `dst`; a longer text is cut at
// the bound and reported under the caller's name `func`.
void copy_name(char *dst, std::string_view src, const char *func);
// `s` with a leading "~" (own home) or "~user" expanded; an unknown user or
// no home leaves it as it is.
std::string expand_user_str(std::string_view s);
// The same into a kText-byte buffer (cut as copy_name does); false when
// nothing was expanded.
bool expand_user(const char *name, char *out, const char *func);

}  // namespace tv::files
