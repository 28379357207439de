// File access: paths, the small file-system functions, and opening files,
// standard streams and the commands the user gave.
#include "framework/files_access.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>
#include <utility>

#include "framework/string.hpp"

using tv::files::copy_name;
using tv::files::expand_user;
using tv::files::kText;

namespace {

constinit FILE_report_fn report_fn = nullptr;

void report(const char *format, ...) __attribute__((format(printf, 1, 2)));
void report(const char *format, ...) {
  std::va_list args;
  va_start(args, format);
  if (report_fn)
    report_fn(format, args);
  else
    std::vfprintf(stderr, format, args);
  va_end(args);
}

// Home directory of the current user: $HOME, else the user database.
const char *own_home() {
  const char *home = std::getenv("HOME");
  if (home && *home) return home;
  const passwd *pw = getpwuid(getuid());
  return pw ? pw->pw_dir : nullptr;
}

}  // namespace

void tv::files::copy_name(char *dst, std::string_view src, const char *func) {
  if (tv::copy_text(dst, kText, src) < src.size()) report("%s: Text too long, cut\n", func);
}

std::string tv::files::expand_user_str(std::string_view s) {
  if (s.empty() || s[0] != '~') return std::string(s);
  std::size_t slash = s.find('/');
  std::string_view user = s.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
  std::string_view rest = slash == std::string_view::npos ? std::string_view() : s.substr(slash);
  const char *home = nullptr;
  if (user.empty()) {
    home = own_home();
  } else {
    std::string uname(user);
    const passwd *pw = getpwnam(uname.c_str());
    if (pw) home = pw->pw_dir;
  }
  if (!home) return std::string(s);
  std::string full(home);
  full.append(rest);
  return full;
}

bool tv::files::expand_user(const char *name, char *out, const char *func) {
  std::string_view s(name ? name : "");
  std::string full = expand_user_str(s);
  bool expanded = !(full.size() == s.size() && full == s);
  copy_name(out, full, func);
  return expanded;
}

namespace {

bool stat_name(const char *name, struct stat *st) {
  char path[kText];
  expand_user(name, path, "FILE_exist");
  return stat(path, st) == 0;
}

}  // namespace

FILE_report_fn FILE_use_report(FILE_report_fn fn) { return std::exchange(report_fn, fn); }

// ---------------------------------------------------------------------------
// Paths and files

int FILE_fullpath(const char *name) {
  if (!name) return 0;
  return (name[0] == '/' || name[0] == '.' || name[0] == '~') ? 1 : 0;
}

// Joins `path` and `name` into `out` (kText bytes); a full path or a
// standard-stream name is taken as it is. `out` may be one of the inputs.
char *FILE_add_path(const char *path, const char *name, char *out) {
  if (!out) return out;
  if (!name) name = "";
  std::string joined;
  if (FILE_is_stdio(name) || FILE_fullpath(name)) {
    joined = name;
  } else {
    joined = path ? path : "";
    if (!joined.empty() && joined.back() != '/') joined.push_back('/');
    joined.append(name);
  }
  copy_name(out, joined, "FILE_add_path");
  return out;
}

// Appends "/" to a non-empty text that does not end with one; `str` holds
// kText bytes, so a text already at the bound is left as it is. Returns 1
// when the delimiter was added.
int FILE_add_path_delim(char *str) {
  if (!str || !*str) return 0;
  std::size_t n = std::strlen(str);
  if (str[n - 1] == '/') return 0;
  if (n >= kText - 1) {
    report("%s: Text too long, cut\n", "FILE_add_path_delim");
    return 0;
  }
  str[n] = '/';
  str[n + 1] = '\0';
  return 1;
}

// Expands a leading "~" (own home) or "~user" into `out` (kText bytes);
// an unknown user leaves the name unchanged. Returns 1 when expanded.
int FILE_add_user_path(const char *name, char *out) {
  if (!out) return 0;
  return expand_user(name, out, "FILE_add_user_path") ? 1 : 0;
}

int FILE_is_stdio(const char *name) {
  if (!name || !*name) return 1;
  return (std::strcmp(name, "-") == 0 || stricmp(name, "std") == 0 || stricmp(name, "stdn") == 0)
             ? 1
             : 0;
}

int FILE_exist(const char *name) {
  if (FILE_is_stdio(name)) return 1;
  struct stat st;
  return stat_name(name, &st) ? 1 : 0;
}

int FILE_is_dir(const char *name) {
  if (FILE_is_stdio(name)) return 0;
  struct stat st;
  return (stat_name(name, &st) && S_ISDIR(st.st_mode)) ? 1 : 0;
}

// Size in bytes, or -1 for a standard stream or a missing file.
long FILE_size(const char *name) {
  if (FILE_is_stdio(name)) return -1;
  struct stat st;
  if (!stat_name(name, &st)) return -1;
  return static_cast<long>(st.st_size);
}

// Returns 1 when the directory part of `path` exists; otherwise creates the
// directories made of all but the last `skip` parts and returns 0.
int FILE_make_dir(const char *path, int skip) {
  char work[kText];
  expand_user(path, work, "FILE_make_dir");
  for (char *p = work; *p; ++p)
    if (*p == '\\') *p = '/';
  std::string_view w(work);
  std::size_t last = w.rfind('/');
  if (last == std::string_view::npos) return 1;  // the current directory
  std::string dir(w.substr(0, last));
  struct stat st;
  if (dir.empty() || (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return 1;

  // Count the parts, then create every prefix ending before the last `skip`.
  int parts = 1;
  for (char c : w)
    if (c == '/') ++parts;
  int make = parts - (skip < 0 ? 0 : skip);
  std::string prefix;
  int part = 0;
  std::size_t start = 0;
  while (part < make && start <= w.size()) {
    std::size_t end = w.find('/', start);
    if (end == std::string_view::npos) end = w.size();
    prefix.assign(w.substr(0, end));
    ++part;
    if (!prefix.empty() && prefix != "." && prefix != "..") mkdir(prefix.c_str(), 0755);
    start = end + 1;
  }
  return 0;
}

// Commands. A name beginning with "|" runs a command only when the user gave
// it (FILE_allow_command); a name found on disk, built from a template or
// read from a file that anyone could have written never does.
namespace {

// Both lists live until the process ends: exit handlers still close pipes.
std::vector<std::string> &allowed_commands() {
  static auto *names = new std::vector<std::string>();
  return *names;
}

bool command_allowed(std::string_view name) {
  for (const std::string &a : allowed_commands())
    if (a == name) return true;
  return false;
}

// Streams opened by popen, closed with pclose.
std::vector<FILE *> &open_pipes() {
  static auto *pipes = new std::vector<FILE *>();
  return *pipes;
}

}  // namespace

int FILE_allow_command(const char *name) {
  if (!name || name[0] != '|') return 0;
  if (!command_allowed(name)) allowed_commands().emplace_back(name);
  return 1;
}

int FILE_is_command(const char *name) {
  if (!name || name[0] != '|' || !command_allowed(name)) return 0;
  // A file of that name is that file, whoever gave the name.
  return FILE_exist(name) ? 0 : 1;
}

int FILE_is_pipe(FILE *f) {
  if (!f) return 0;
  const auto &p = open_pipes();
  return std::find(p.begin(), p.end(), f) != p.end() ? 1 : 0;
}

int FILE_close(FILE *f) {
  if (!f) return 0;
  if (f == stdin) return 0;
  // Everything buffered must have reached its place: a command that ended
  // early or a full disk shows here, not as a successful close.
  int rc = (std::fflush(f) == 0 && !std::ferror(f)) ? 0 : -1;
  if (f == stdout || f == stderr) return rc;
  auto &p = open_pipes();
  auto it = std::find(p.begin(), p.end(), f);
  if (it != p.end()) {
    p.erase(it);
    if (pclose(f) == -1) rc = -1;
  } else if (std::fclose(f) != 0) {
    rc = -1;
  }
  return rc;
}

// Opens a standard stream ("-", "std", ...), a command the user gave
// ("|command", see FILE_allow_command) or a file; for writing, missing
// directories are created first. Returns null on failure.
FILE *FILE_open(const char *name, const char *mode) {
  if (!mode || !*mode) mode = "r";
  if (FILE_is_stdio(name)) return mode[0] == 'r' ? stdin : stdout;
  if (name[0] == '|' && !FILE_exist(name)) {
    if (!command_allowed(name)) {
      report("FILE_open: Not run as a command (not given by the user): %s\n", name);
      return nullptr;
    }
    // popen knows only "r" and "w"; an append to a pipe is a write.
    FILE *f = popen(name + 1, mode[0] == 'r' ? "r" : "w");
    if (f) {
      try {
        open_pipes().push_back(f);
      } catch (const std::bad_alloc &) {
        pclose(f);
        return nullptr;
      }
    }
    return f;
  }
  char path[kText];
  expand_user(name, path, "FILE_open");
  if (mode[0] == 'w' || mode[0] == 'a') FILE_make_dir(path, 1);
  return std::fopen(path, mode);
}
