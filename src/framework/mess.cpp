// Message layer: level masks, terminal and log-file destinations, paging.
#include "framework/mess.hpp"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "framework/files_access.hpp"
#include "framework/flag.hpp"
#include "framework/string.hpp"
#include "framework/version.hpp"

namespace {

constexpr M_type kLevelInitial = 0x000FFFFF;
constexpr M_type kErrorBits = 0x30;
constexpr M_type kWarnBits = 0xC0;
constexpr M_type kFailure = 0xC0;
constexpr M_type kBanner = 0xF00;
constexpr int kDefaultMaxLines = 22;
constexpr std::size_t kMaxFileName = 159;

// Destination modes of mess_out.
constexpr int kOutLogOnly = 0;
constexpr int kOutTerminal = 1;
constexpr int kOutStamped = -1;
constexpr int kOutReopen = 2;

// Paging modes.
constexpr int kPageNever = 0;
constexpr int kPageCount = 2;

M_type mess_level = kLevelInitial;
int mess_set = 0;
int mess_out = kOutTerminal;
int page = 1;
std::int64_t lines = 0;  // wide so that unattended runs can never overflow it
int max_lines = kDefaultMaxLines;
FILE *pfile = nullptr;
bool pfile_is_pipe = false;
std::array<char, kMaxFileName + 1> filename{};
std::array<char, kMaxFileName + 1> log_name{};  // the log in use, for messages
// Set while the log file is being opened, so that a message printed by the
// file layer itself cannot reopen the log again and again.
bool opening_log = false;
constinit MESS_stamp_fn stamp_fn = nullptr;

struct Keyword {
  std::string_view name;
  M_type mask;
};

// Message classes, one hexadecimal digit each.
constexpr std::array<Keyword, 10> kKeywords{{
    {"none", 0x00000000},
    {"print", 0x0000000F},
    {"error", 0x00000030},
    {"warn", 0x000000C0},
    {"mess", 0x00000F00},
    {"out1", 0x0000F000},
    {"out2", 0x000F0000},
    {"out3", 0x00F00000},
    {"out4", 0x0F000000},
    {"debug", 0xF0000000},
}};

// Sub-levels a to d pick one bit of every class.
constexpr std::array<M_type, 4> kSubLevel{0x11111111, 0x22222222, 0x44444444, 0x88888888};

// The highest bit of `mask` and every bit below it.
constexpr M_type fill_down(M_type mask) {
  if (mask == 0) return 0;
  return static_cast<M_type>((std::uint64_t{1} << std::bit_width(mask)) - 1);
}

// Closes the log through the file layer, which knows a pipe from a file;
// the standard streams stay open.
void close_log(FILE *f) {
  if (f) FILE_close(f);
}

// A log name beginning with "|" runs a command only when the text of the
// setting is the user's.
bool log_may_run = true;

// A log command still running at the end gets its end of input and is
// waited for, so that its last lines are there when the program has ended.
void close_log_at_exit() {
  if (pfile_is_pipe) close_log(pfile);
  pfile = nullptr;
  pfile_is_pipe = false;
}

FILE *open_log(const char *name, const char *mode, bool *is_pipe) {
  opening_log = true;
  FILE *f = FILE_open(name, mode);
  opening_log = false;
  *is_pipe = f != nullptr && FILE_is_pipe(f);
  static bool exit_close = false;
  if (*is_pipe && !exit_close) exit_close = std::atexit(close_log_at_exit) == 0;
  return f;
}

// A log file that can no longer be written (its command has ended, the disk
// is full) is given up: messages go back to the terminal, with one warning.
void log_failed() {
  close_log(pfile);
  pfile = nullptr;
  pfile_is_pipe = false;
  filename[0] = '\0';
  if (mess_out == kOutLogOnly || mess_out == kOutReopen) mess_out = kOutTerminal;
  MESS_print(kFailure, "MESS_print: Unable to write log file, messages go to the terminal: %s\n", log_name.data());
}

// A log-file token: the name starts one separator after the prefix.
void set_log_file(std::string_view token, std::size_t prefix_len, const char *mode, int out) {
  const std::string name(token.size() > prefix_len ? token.substr(prefix_len + 1) : "");
  if (name.size() > kMaxFileName) {
    MESS_print(kFailure, "MESS_set_str: Log file name too long: %.*s\n",
               static_cast<int>(token.size()), token.data());
    return;
  }
  close_log(pfile);
  pfile = nullptr;
  pfile_is_pipe = false;
  std::memcpy(log_name.data(), name.c_str(), name.size() + 1);
  // Decided here, for the reopened log too: a later setting cannot lend it
  // a permission it did not have.
  if (log_may_run && name[0] == '|') FILE_allow_command(name.c_str());
  // A command that may not run is refused now, not at every message.
  const bool refused = name[0] == '|' && !FILE_is_command(name.c_str()) && !FILE_exist(name.c_str());
  if (out == kOutReopen && !name.empty() && !refused) {
    std::memcpy(filename.data(), name.c_str(), name.size() + 1);
    mess_out = kOutReopen;
    return;
  }
  if (!name.empty()) pfile = open_log(name.c_str(), mode, &pfile_is_pipe);
  if (pfile) {
    mess_out = out;
    return;
  }
  // Without a log file the messages must not vanish: stay on the terminal.
  mess_out = (out == kOutLogOnly || out == kOutReopen) ? kOutTerminal : out;
  MESS_print(kFailure, "MESS_set_str: Unable to open log file: %s\n", name.c_str());
}

void set_max_lines(std::string_view token) {
  long v = 0;
  if (token.size() > 5) {
    const std::string digits(token.substr(5));
    errno = 0;
    v = std::strtol(digits.c_str(), nullptr, 10);
    if (errno == ERANGE) v = v < 0 ? 0 : 1000000000L;
    if (v > 1000000000L) v = 1000000000L;
  }
  max_lines = v < 1 ? kDefaultMaxLines : static_cast<int>(v);
}

void set_level_token(std::string_view token) {
  int oper = 0;  // set
  std::string_view rest = token;
  if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    oper = rest[0] == '+' ? 1 : -1;
    rest.remove_prefix(1);
  }
  M_type mask = 0;
  for (const Keyword &k : kKeywords) {
    if (tv::ibegins(rest, k.name)) {
      mask = k.mask;
      break;
    }
  }
  if (!token.empty()) {
    const char last = token.back();
    if (last >= 'a' && last <= 'd') mask &= kSubLevel[static_cast<std::size_t>(last - 'a')];
    if (last >= 'A' && last <= 'D') mask &= kSubLevel[static_cast<std::size_t>(last - 'A')];
  }
  if (oper == 0)
    mess_level = fill_down(mask);
  else if (oper > 0)
    mess_level |= mask;
  else
    mess_level &= ~mask;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void apply_token(std::string_view token) {
  if (tv::ibegins(token, "@fi")) {
    set_log_file(token, 3, "a", kOutStamped);
  } else if (tv::ibegins(token, "+fi")) {
    set_log_file(token, 3, "a", kOutTerminal);
  } else if (tv::ibegins(token, "-fi")) {
    set_log_file(token, 3, "w", kOutTerminal);
  } else if (tv::ibegins(token, "dfi")) {
    set_log_file(token, 3, "a", kOutReopen);
  } else if (tv::ibegins(token, "fi")) {
    set_log_file(token, 2, "a", kOutLogOnly);
  } else if (token.size() == 6 && tv::ibegins(token, "nopage")) {
    page = kPageNever;
  } else if (token.size() == 4 && tv::ibegins(token, "page")) {
    page = kPageCount;
  } else if (tv::ibegins(token, "line")) {
    set_max_lines(token);
  } else {
    set_level_token(token);
  }
}

void write_all(FILE *f, const char *text, std::size_t n) {
  if (n > 0) std::fwrite(text, 1, n, f);
}

std::size_t count_newlines(const char *format) {
  std::size_t n = 0;
  for (const char *p = format; (p = std::strchr(p, '\n')) != nullptr; ++p) ++n;
  return n;
}

// Writes one formatted message to the log file, if one is open or is
// reopened per message.
void write_log(const char *text, std::size_t n) {
  if (mess_out == kOutReopen && filename[0]) pfile = open_log(filename.data(), "a", &pfile_is_pipe);
  if (pfile) {
    if (mess_out == kOutStamped) {
      char stamp[64] = "";
      const char *now = stamp_fn ? stamp_fn(stamp) : nullptr;
      std::fprintf(pfile, "%s -- ", now ? now : "");
    }
    write_all(pfile, text, n);
    // A command that has stopped reading shows only when the pipe is
    // written, so each message goes through at once.
    if (pfile_is_pipe) std::fflush(pfile);
    if (std::ferror(pfile)) log_failed();
  }
  if (mess_out == kOutReopen && pfile) {
    FILE *f = pfile;
    pfile = nullptr;
    pfile_is_pipe = false;
    if (FILE_close(f) != 0) log_failed();
  }
}

int vprint(M_type type, const char *format, std::va_list ap) {
  if ((type & mess_level) == 0 || !format) return 0;

  // Format once; every destination gets the same text.
  char stack[1024];
  std::string heap;
  const char *text = stack;
  std::va_list again;
  va_copy(again, ap);
  const int len = std::vsnprintf(stack, sizeof stack, format, ap);
  if (len >= static_cast<int>(sizeof stack)) {
    heap.resize(static_cast<std::size_t>(len) + 1);
    std::vsnprintf(heap.data(), heap.size(), format, again);
    text = heap.data();
  }
  va_end(again);
  if (len < 0) return 0;
  const auto n = static_cast<std::size_t>(len);

  if (!opening_log) {
    write_log(text, n);
    if (mess_out == kOutLogOnly) return 0;
  }

  write_all((type & (kErrorBits | kWarnBits)) ? stderr : stdout, text, n);

  if (page == kPageCount) {
    lines += static_cast<std::int64_t>(count_newlines(format));
    if (lines > max_lines) MESS_hold(type, "Press return to continue\n");
  }
  return 1;
}

// File access lies below this layer: its failures are printed here.
void report_file_failure(const char *format, std::va_list args) { vprint(kFailure, format, args); }
[[maybe_unused]] const bool file_reports_installed = [] {
  FILE_use_report(report_file_failure);
  return true;
}();

}  // namespace

// Operations: 0/10/20 set, 1/11/21 add, -1/9/19 remove; 19 to 21 are
// defaults that yield to any setting made before. Returns 0.
int MESS_set(int oper, M_type level) {
  int kind;
  switch (oper) {
    case 0: case 10: case 20: kind = 0; break;
    case 1: case 11: case 21: kind = 1; break;
    case -1: case 9: case 19: kind = -1; break;
    default: return 0;
  }
  if (oper < 5) ++mess_set;
  if (oper > 15 && mess_set != 0) return 0;
  if (kind == 0)
    mess_level = fill_down(level);
  else if (kind > 0)
    mess_level |= level;
  else
    mess_level &= ~level;
  return 0;
}

// Applies a comma-separated list of level keywords, log-file and paging
// tokens from left to right. Returns 0.
int MESS_set_str(const char *str) { return MESS_set_str_from(str, 1); }

int MESS_set_str_from(const char *str, int may_run) {
  log_may_run = may_run != 0;
  ++mess_set;
  int argc = 0;
  char **argv = nullptr;
  if (parse_string(str, ',', &argc, &argv) != 0) return 0;
  for (int i = 0; i < argc; ++i) {
    // Blanks around a token are a typing slip, not a keyword; an empty
    // token would otherwise silence every message.
    const std::string_view token = trim_blanks(argv[i]);
    if (!token.empty()) apply_token(token);
  }
  free_parsed_array(argc, argv);
  return 0;
}

int MESS_known_word(const char *token) {
  if (token == nullptr) return 1;
  std::string_view t = trim_blanks(token);
  if (t.empty()) return 1;
  for (const char *prefix : {"@fi", "+fi", "-fi", "dfi", "fi", "line"})
    if (tv::ibegins(t, prefix)) return 1;
  if ((t.size() == 6 && tv::ibegins(t, "nopage")) || (t.size() == 4 && tv::ibegins(t, "page")))
    return 1;
  if (t[0] == '+' || t[0] == '-') t.remove_prefix(1);
  for (const Keyword &k : kKeywords)
    if (tv::ibegins(t, k.name)) return 1;
  return 0;
}

int MESS_check(M_type level) { return (mess_level & level) != 0 ? 1 : 0; }

M_type MESS_get() { return mess_level; }

int MESS_check_set() { return mess_set; }

int MESS_get_max_lines() { return max_lines; }

// Prints at level `type`; returns 1 if the message reached the terminal,
// 0 if it was suppressed or went to the log file only.
int MESS_print(M_type type, const char *format, ...) {
  if ((type & mess_level) == 0 || !format) return 0;
  std::va_list ap;
  va_start(ap, format);
  const int shown = vprint(type, format, ap);
  va_end(ap);
  return shown;
}

// Prints `mess` and waits for one character from standard input, unless
// paging is off or nobody is there to answer. Returns 0.
int MESS_hold(M_type type, const char *mess) {
  if (!MESS_check(type) || mess_out == kOutLogOnly || FLAG_batch() || page == kPageNever) return 0;
  FILE *out = ((type & kErrorBits) && (type & kWarnBits)) ? stderr : stdout;
  if (mess) std::fputs(mess, out);
  std::fflush(out);
  std::getchar();
  lines = 0;
  return 0;
}

int MESS_print_prog(const char *string) {
  MESS_print(kBanner, "      %s (Ver %s)\n\n", string ? string : "", TAVRO_VERSION);
  return 0;
}

MESS_stamp_fn MESS_use_stamp(MESS_stamp_fn stamp) { return std::exchange(stamp_fn, stamp); }
