// Defaults files: reading entries line by line through the conditional
// sections, matching key patterns against this program's resource names,
// and the environment variables of a resource.
#include "framework/def_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/mess.hpp"
#include "framework/string.hpp"

namespace {

constexpr M_type kLevFail = 192;

// State of one open conditional section.
enum Branch : char {
  kSkip = 0,   // lines skipped, a later branch may apply
  kApply = 1,  // lines apply
  kDone = 2,   // a branch already applied: the rest is skipped
};

// The open defaults file, read whole at DEF_open: a file is small, and a
// file that is not (or is no file at all) is refused before any line.
struct DefFile {
  bool open = false;
  std::string text;
  std::size_t pos = 0;
  std::string name;    // as opened, for messages
  bool local = false;  // it lies in the current directory
};
DefFile def_file;
char prog_name[kDefNameLen + 1] = "Zot";
char prog_title[kDefNameLen + 1] = "";

std::array<std::string, kDefMaxTags> tags;
int num_tag = 0;

// Sections beyond kDefMaxTags are counted in num_match but not stored.
std::array<Branch, kDefMaxTags> match{};
int num_match = 0;
bool matches = true;

void copy_cut(char *dst, std::string_view src, std::size_t max) {
  std::size_t n = src.size() < max ? src.size() : max;
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

void recompute_matches() {
  matches = num_match <= kDefMaxTags;
  for (int i = 0; matches && i < num_match; ++i) matches = match[i] == kApply;
}

int find_tag(std::string_view t) {
  for (int i = 0; i < num_tag; ++i)
    if (tv::iequal(tags[i], t)) return i;
  return -1;
}

// The program prefix of every key: the title, the name, or both.
std::string prefix() {
  if (prog_title[0] == '\0') return prog_name;
  if (prog_title[0] != '+') return prog_title;
  return std::string(prog_name) + "." + (prog_title + 1);
}

// Reads one line of at most kDefLineLen characters into `buf`; the rest of
// a longer line is dropped, so it can never be read as an entry of its own.
// A trailing carriage return is removed. False at end of file.
bool read_line(DefFile &f, char *buf) {
  if (f.pos >= f.text.size()) return false;
  std::string_view rest(f.text);
  rest.remove_prefix(f.pos);
  std::size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  f.pos += end == std::string_view::npos ? rest.size() : end + 1;
  std::size_t n = line.size() < static_cast<std::size_t>(kDefLineLen) ? line.size() : kDefLineLen;
  std::memcpy(buf, line.data(), n);
  buf[n] = '\0';
  if (n > 0 && buf[n - 1] == '\r') buf[n - 1] = '\0';
  return true;
}

enum class Load { kOk, kMissing, kRefused };

// Reads the regular file `path` into `f`. Opened without waiting, so that a
// FIFO or a device is seen for what it is before anything is read from it.
Load load_file(const std::string &path, DefFile &f) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Load::kMissing;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    // /dev/null is the usual way to say "no defaults": empty, not refused.
    struct stat null_dev;
    if (S_ISCHR(st.st_mode) && ::stat("/dev/null", &null_dev) == 0 && S_ISCHR(null_dev.st_mode) &&
        st.st_rdev == null_dev.st_rdev) {
      f.text.clear();
      f.pos = 0;
      f.name = path;
      f.open = true;
      return Load::kOk;
    }
    MESS_print(kLevFail, "DEF_open: Not a regular file, not read: %s\n", path.c_str());
    return Load::kRefused;
  }
  bool too_big = st.st_size > static_cast<off_t>(kDefMaxBytes);
  std::string text;
  if (!too_big) {
    // One byte more than the cap: a file that grew since fstat is caught too.
    text.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
      if (got == text.size()) {
        if (text.size() > static_cast<std::size_t>(kDefMaxBytes)) break;
        text.resize(text.size() * 2 > static_cast<std::size_t>(kDefMaxBytes) + 1 ? kDefMaxBytes + 1
                                                                                   : text.size() * 2);
      }
      ssize_t n = ::read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    too_big = got > static_cast<std::size_t>(kDefMaxBytes);
  }
  ::close(fd);
  if (too_big) {
    MESS_print(kLevFail, "DEF_open: Defaults file larger than %d bytes, not read: %s\n", kDefMaxBytes, path.c_str());
    return Load::kRefused;
  }
  f.text = std::move(text);
  f.pos = 0;
  f.name = path;
  f.open = true;
  return Load::kOk;
}

// True when `dir`, written relative, is the current directory itself.
bool is_current_dir(const std::string &dir) {
  if (!dir.empty() && dir[0] == '/') return false;
  struct stat here, there;
  if (::stat(".", &here) != 0 || ::stat(dir.empty() ? "." : dir.c_str(), &there) != 0) return false;
  return here.st_dev == there.st_dev && here.st_ino == there.st_ino;
}

// Splits a line into its first word and its value: the second word, or
// the text between a leading double quote and the next one (or the end).
// False when the line holds no word at all.
bool split_line(const char *line, std::string_view &word, std::string_view &value, bool &has_value) {
  const char *p = line;
  while (is_blank(*p)) ++p;
  if (*p == '\0') return false;
  const char *w = p;
  while (*p != '\0' && !is_blank(*p)) ++p;
  word = std::string_view(w, static_cast<std::size_t>(p - w));
  while (is_blank(*p)) ++p;
  has_value = *p != '\0';
  if (!has_value) {
    value = {};
    return true;
  }
  if (*p == '"') {
    const char *v = p + 1;
    const char *q = std::strchr(v, '"');
    value = q ? std::string_view(v, static_cast<std::size_t>(q - v)) : std::string_view(v);
  } else {
    const char *v = p;
    while (*p != '\0' && !is_blank(*p)) ++p;
    value = std::string_view(v, static_cast<std::size_t>(p - v));
  }
  return true;
}

void too_many(const char *line) { MESS_print(kLevFail, "DEF_get: Too many tags or sections: %s\n", line); }

bool add_tag(std::string_view t) {
  if (t.empty() || find_tag(t) >= 0) return true;
  if (num_tag >= kDefMaxTags) return false;
  tags[num_tag++] = std::string(t);
  return true;
}

// Handles a directive line; false when `word` is no directive.
bool directive(std::string_view word, std::string_view tag, const char *line) {
  if (word == "DEF" || word == "UNDEF") {
    // Inside a skipped section a definition must not take effect either.
    if (!matches || tag.empty()) return true;
    if (word == "DEF") {
      if (!add_tag(tag)) too_many(line);
    } else if (int i = find_tag(tag); i >= 0) {
      for (int k = i; k + 1 < num_tag; ++k) tags[k] = std::move(tags[k + 1]);
      tags[--num_tag].clear();
    }
    return true;
  }
  if (word == "IF") {
    if (num_match < kDefMaxTags) {
      match[num_match] = (!tag.empty() && find_tag(tag) >= 0) ? kApply : kSkip;
    } else {
      too_many(line);
    }
    ++num_match;
  } else if (word == "ELIF" || word == "ELSE") {
    if (num_match == 0) {
      MESS_print(kLevFail, word == "ELIF" ? "DEF_get: elif without an if\n" : "DEF_get: else without an if\n");
      return true;
    }
    if (num_match > kDefMaxTags) return true;  // a section that was not stored
    Branch &top = match[num_match - 1];
    if (top == kApply || top == kDone)
      top = kDone;
    else if (word == "ELSE")
      top = kApply;
    else
      top = (!tag.empty() && find_tag(tag) >= 0) ? kApply : kSkip;
  } else if (word == "END") {
    if (num_match == 0) {
      MESS_print(kLevFail, "DEF_get: end without an if\n");
      return true;
    }
    --num_match;
  } else {
    return false;
  }
  recompute_matches();
  return true;
}

}  // namespace

int DEF_prog(const char *name) {
  copy_cut(prog_name, name ? name : "", kDefNameLen);
  return 0;
}

int DEF_name(const char *name) {
  copy_cut(prog_title, name ? name : "", kDefNameLen);
  return 0;
}

int DEF_clr_tag() {
  for (auto &t : tags) t.clear();
  num_tag = 0;
  return 0;
}

int DEF_tag(const char *str) {
  if (str == nullptr) return 0;
  return add_tag(str) ? 0 : -1;
}

int DEF_reset() {
  DEF_clr_tag();
  num_match = 0;
  recompute_matches();
  return 0;
}

int DEF_open(const char *filename) {
  DEF_close();
  def_file.name.clear();
  def_file.local = false;
  if (filename == nullptr || filename[0] == '\0') filename = ".zotdef";
  std::string dir;
  Load got = Load::kMissing;
  struct stat st;
  if (::stat(filename, &st) == 0 && S_ISDIR(st.st_mode)) {
    dir = filename;
    if (dir.back() != '/') dir += '/';
    for (const char *name : {"zot.cfg", ".zotdef", "Zot.res"}) {
      got = load_file(dir + name, def_file);
      if (got != Load::kMissing) break;
    }
  } else {
    got = load_file(filename, def_file);
    const char *slash = std::strrchr(filename, '/');
    dir = slash ? std::string(filename, static_cast<std::size_t>(slash - filename) + 1) : std::string(".");
  }
  if (got != Load::kOk) return -1;
  def_file.local = is_current_dir(dir);
  return 0;
}

int DEF_close() {
  def_file.open = false;
  def_file.text.clear();
  def_file.text.shrink_to_fit();
  def_file.pos = 0;
  return 0;
}

const char *DEF_file_name() { return def_file.name.c_str(); }

int DEF_file_local() { return def_file.local ? 1 : 0; }

int DEF_get(char *resrc, char *value) {
  if (!def_file.open || resrc == nullptr || value == nullptr) return -1;
  char line[kDefLineLen + 1];
  while (read_line(def_file, line)) {
    if (line[0] == '#') continue;
    std::string_view word, val;
    bool has_value = false;
    if (!split_line(line, word, val, has_value)) continue;
    if (directive(word, val, line)) continue;
    if (!has_value || !matches) continue;
    if (word.size() > 1 && word.back() == ':') word.remove_suffix(1);
    copy_cut(resrc, word, kDefKeyLen);
    for (char *p = resrc; *p; ++p) *p = tv::to_lower(*p);
    copy_cut(value, val, kDefValueLen);
    return 1;
  }
  return -1;
}

int DEF_cmp(const char *resrc, const char *string) {
  if (resrc == nullptr || string == nullptr) return 0;
  // Called for every key and every definition: one buffer, no allocation.
  static std::string full;
  full.assign(prog_title[0] == '\0' || prog_title[0] == '+' ? prog_name : prog_title);
  if (prog_title[0] == '+') full.append(".").append(prog_title + 1);
  full.append(".").append(resrc);
  std::string_view name(full);
  std::string_view pat(string);
  std::size_t n = 0, p = 0;
  while (p < pat.size()) {
    if (pat[p] == '*') {
      ++p;
      std::size_t end = pat.find('*', p);
      if (end == std::string_view::npos) end = pat.size();
      // First occurrence only: "*" never backtracks to a later one.
      std::size_t at = name.find(pat.substr(p, end - p), n);
      if (at == std::string_view::npos) return 0;
      n = at;
      continue;
    }
    if (n >= name.size() || name[n] != pat[p]) return 0;
    ++n;
    ++p;
  }
  return n == name.size() ? 1 : 0;
}

int DEF_parse_name(const char *str, char *ostr) {
  if (ostr == nullptr) return 0;
  if (str == nullptr) str = "";
  const char *last = std::strrchr(str, '.');
  const char *star = std::strrchr(str, '*');
  if (star != nullptr && (last == nullptr || star > last)) last = star;
  copy_cut(ostr, last ? last + 1 : str, kDefKeyLen);
  return 1;
}

int DEF_valid(const char *string) {
  if (string == nullptr) return 0;
  char name[kDefKeyLen + 1];
  DEF_parse_name(string, name);
  // A key without a resource part ("tavro." or "tavro.*") names nothing.
  if (name[0] == '\0') return 0;
  return DEF_cmp(name, string);
}

int DEF_env(const char *resrc, const char *env, char *value) {
  if (resrc == nullptr || value == nullptr) return 0;
  const std::string full = "zot" + prefix() + "." + resrc;
  const std::string own = std::string("zot") + resrc;
  const char *found = std::getenv(full.c_str());
  if (found == nullptr && env != nullptr && env[0] != '\0') found = std::getenv(env);
  if (found == nullptr) found = std::getenv(own.c_str());
  if (found == nullptr) return 0;
  copy_cut(value, found, kDefValueLen);
  return 1;
}
