// Process services: the one exit path, the version text, prompts that also
// take resource commands ("set", "exit"), and a sleep.
#include "framework/system.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <string>
#include <utility>

#include "framework/mess.hpp"
#include "framework/string.hpp"
#include "framework/version.hpp"

namespace {

constexpr M_type kPrint = 15;
constexpr M_type kFailure = 0xC0;
constexpr M_type kEcho = 0x800;
constexpr int kPromptLine = 79;

double elapsed_secs = 0.0;
constinit ZOT_store store{};

inline bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads one answer line of at most 79 characters; the rest of a longer
// line is dropped so that it is never taken as the next answer. At the end
// of input the program stops: nobody is there to answer.
void read_answer(char (&line)[kPromptLine + 1]) {
  std::fflush(stdout);
  int c = std::getchar();
  if (c == EOF) {
    MESS_print(kFailure, "ZOT_prompts: No input\n");
    ZOT_exit(1);
  }
  int n = 0;
  while (c != EOF && c != '\n') {
    if (n < kPromptLine) line[n++] = static_cast<char>(c);
    c = std::getchar();
  }
  line[n] = '\0';
  wstrim_string(line);
}

}  // namespace

namespace {
int (*exit_hooks[4])(int) = {};
int num_exit_hooks = 0;
}  // namespace

int ZOT_on_exit(int (*hook)(int status)) {
  if (!hook || num_exit_hooks == static_cast<int>(std::size(exit_hooks))) return -1;
  exit_hooks[num_exit_hooks++] = hook;
  return 0;
}

void ZOT_exit(int status) {
  // An exit from inside an exit function ends at once.
  static bool ending = false;
  if (!ending) {
    ending = true;
    for (int i = num_exit_hooks; i-- > 0;) status = exit_hooks[i](status);
  }
  std::exit(status);
}

const char *ZOT_version() { return TAVRO_VERSION; }

ZOT_store ZOT_use_store(ZOT_store s) { return std::exchange(store, s); }

// "set name value" / "set name=value" stores a resource, "set" alone lists
// them, "exit" ends the program. Returns 1 for a "set" command, else 0.
int ZOT_set_command(const char *string) {
  if (!string) return 0;
  if (strnicmp(string, "set", 3) == 0) {
    // Skip the first word and the blanks after it; the name runs up to a
    // blank or "=", the run of blanks and "=" after it separates the value.
    const char *p = string;
    while (*p && is_space(*p)) ++p;
    while (*p && !is_space(*p)) ++p;
    while (*p && is_space(*p)) ++p;
    const char *name = p;
    while (*p && *p != '=' && *p != ' ') ++p;
    if (p == name) {
      MESS_print(kEcho, "Set resources\n");
      if (store.list) store.list();
      MESS_print(kEcho, "\n");
      return 1;
    }
    const std::string key(name, p);
    while (*p == '=' || *p == ' ') ++p;
    if (store.put) store.put(key.c_str(), *p ? p : nullptr);
    return 1;
  }
  if (strnicmp(string, "exit", 4) == 0) ZOT_exit(0);
  return 0;
}

// Asks until a word that is not a "set" command is typed and returns it in
// `str` (at most length - 1 characters), allocating length + 1 bytes when
// `str` is null; null when that allocation fails.
char *ZOT_prompts(const char *prompt, char *str, int length) {
  if (length < 2) length = 2;
  if (!str) {
    str = static_cast<char *>(std::malloc(static_cast<std::size_t>(length) + 1));
    if (!str) return nullptr;
  }
  const int max_word = length - 1;
  char line[kPromptLine + 1];
  for (;;) {
    MESS_print(kPrint, "%s", prompt ? prompt : "");
    read_answer(line);
    const char *p = line;
    while (*p && is_space(*p)) ++p;
    int n = 0;
    while (n < max_word && p[n] && !is_space(p[n])) {
      str[n] = p[n];
      ++n;
    }
    str[n] = '\0';
    if (ZOT_set_command(line) == 0 && n > 0) return str;
  }
}

// Asks until a number is typed; "set" lines are executed in between.
float ZOT_promptf(const char *prompt) {
  char line[kPromptLine + 1];
  for (;;) {
    MESS_print(kPrint, "%s", prompt ? prompt : "");
    read_answer(line);
    char *end = nullptr;
    const float value = std::strtof(line, &end);
    const bool got = end != line;
    if (ZOT_set_command(line) == 0 && got) return value;
  }
}

// Waits `secs` seconds; returns 0, or -1 at once for a time that is not
// positive.
int ZOT_sleep(float secs) {
  if (!(secs > 0.0f)) return -1;
  // Bounded so that the conversion to whole seconds is always defined.
  const double wait = std::fmin(static_cast<double>(secs), 1e12);
  const double whole = std::floor(wait);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(whole);
  ts.tv_nsec = static_cast<long>((wait - whole) * 1e6) * 1000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
  elapsed_secs += wait;
  return 0;
}

namespace {
void on_sigpipe(int) {}
}  // namespace

// A reader that goes away (a log command that ends, "head" on standard
// output) must not kill the run half way: the write fails with EPIPE and
// its writer reports it. A handler rather than SIG_IGN, so that commands
// started later get the default action back when they exec.
int ZOT_catch_sigpipe() {
  struct sigaction sa {};
  sa.sa_handler = on_sigpipe;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  return sigaction(SIGPIPE, &sa, nullptr) == 0 ? 0 : -1;
}
