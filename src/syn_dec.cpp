// Conversion driver and report decoders of the synoptic converter.
#include "syn_dec.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cty_tool.hpp"
#include "files.hpp"
#include "mess.hpp"
#include "missing.hpp"
#include "resrc.hpp"
#include "safe_file.hpp"
#include "scanp.hpp"
#include "sfc_read.hpp"
#include "string.hpp"
#include "system.hpp"
#include "table.hpp"
#include "tools.hpp"

// ===========================================================================
// Driver module state, shared by the reader, the report loop and the
// decoders. One instance per process.
namespace {

int rep_type = 1;   // report type of the section being read
int prhour = 0;     // hhmm of the latest heading or section line
int sect_iw = -1;   // wind indicator iw of the latest AAXX/CMAN line, -1 not given

}  // namespace

int SYN_get_rep_type() { return rep_type; }
int SYN_get_prhour() { return prhour; }
int SYN_get_iw() { return sect_iw; }
void SYN_set_prhour(int hhmm) { prhour = hhmm; }
void SYN_set_iw(int iw) { sect_iw = iw; }

// ===========================================================================
// Bulletin reader (SYN_read_raw and its helpers).
//
// Lines are read without allocation (in large blocks from a file on disk),
// cleaned of control and high bytes and trimmed; a report is gathered from
// at most three lines and handed over as one text ending in a blank.

namespace {

constexpr M_type kTraceLine = 0x10000000u;
constexpr M_type kTraceRead = 0x80000000u;
constexpr int kLineMax = 100;                // characters per line read
constexpr int kGatherMax = kSynDataMax - 1;  // room for the closing blank
constexpr int kTokMax = 20;

// The look-ahead line, with room after it for the word-wide token search
// (which may look up to 24 bytes past a token's start).
char line[kLineMax + 1 + 32];
int line_len = 0;
bool have_line = false;   // the look-ahead holds a line not yet consumed
// A text line longer than one read comes in pieces; the pieces after the
// first are the same line, not new ones.
bool line_more = false;   // the look-ahead piece was cut: its line goes on
bool line_cont = false;   // the look-ahead piece goes on from the piece before

constexpr bool rd_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
constexpr bool rd_digit(char c) { return c >= '0' && c <= '9'; }

// Lines are found in the reader's own buffer. A bulletin file on disk fills
// it in large blocks; any other stream (a terminal, a pipe, a memory
// stream) one line at a time through fgets, so that each line is taken as
// soon as it arrives. The buffer belongs to one stream: another stream, or
// the reset, starts it afresh.
struct Block {
  FILE *src = nullptr;   // the stream the buffered bytes come from
  bool regular = false;  // that stream is a file on disk
  int pos = 0;           // unread bytes: data[pos, end)
  int end = 0;
  char data[1 << 16];
};
Block block;

void block_bind(FILE *f) {
  block.src = f;
  block.pos = block.end = 0;
  struct stat st;
  const int fd = fileno(f);
  block.regular = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Bytes that fgets stores at most per call (a piece and one character more).
constexpr int kStreamRead = kLineMax + 1;

// One fgets call into `dst` (room for kStreamRead + 3 bytes); the count of
// bytes stored, 0 at the end. fgets does the copying at memchr speed; the
// room is filled with line feeds first, so the end of what it stored can
// be told apart from NUL bytes in the data: fgets writes a line feed only
// as its last character, right before its terminator.
int stream_fill(FILE *f, char *dst) {
  constexpr int kRoom = kStreamRead + 3;
  std::memset(dst, '\n', kRoom);
  if (!fgets_unlocked(dst, kStreamRead + 1, f)) return 0;
  const char *nl = static_cast<const char *>(std::memchr(dst, '\n', kRoom));
  const int at = static_cast<int>(nl - dst);
  // A line feed stored by fgets has the terminator right after it; a fill
  // byte has the terminator right before it.
  return dst[at + 1] == '\0' ? at + 1 : at - 1;
}

// Reads more bytes after the buffered ones, which move to the start of the
// buffer; false when none came (the end of the stream, or no room left).
bool block_fill(FILE *f) {
  const int left = block.end - block.pos;
  if (left > 0 && block.pos > 0) std::memmove(block.data, block.data + block.pos, static_cast<size_t>(left));
  block.pos = 0;
  block.end = left;
  const int room = static_cast<int>(sizeof block.data) - block.end;
  int got = 0;
  if (block.regular) {
    got = static_cast<int>(fread_unlocked(block.data + block.end, 1, static_cast<size_t>(room), f));
  } else if (room >= kStreamRead + 3) {
    got = stream_fill(f, block.data + block.end);
  }
  block.end += got;
  return got > 0;
}

// The next piece of the stream, as fgets would cut it: up to the line feed
// (not included) when one comes within 101 characters, else 100
// characters, the 101st starting the next piece (`cut`). False at the end.
bool block_piece(FILE *f, const char *&s, int &n, bool &cut) {
  constexpr int kLook = kLineMax + 1;
  cut = false;
  // A stream gives one line per read: nothing to look for.
  if (!block.regular && block.pos == block.end) {
    block.pos = block.end = 0;
    const int got = stream_fill(f, block.data);
    if (got == 0) return false;
    block.end = got;
    s = block.data;
    if (block.data[got - 1] == '\n') {
      n = got - 1;
      block.pos = got;
      return true;
    }
  }
  const char *nl = nullptr;
  for (;;) {
    const int avail = block.end - block.pos;
    const int look = avail < kLook ? avail : kLook;
    nl = static_cast<const char *>(std::memchr(block.data + block.pos, '\n', static_cast<size_t>(look)));
    if (nl || avail >= kLook || !block_fill(f)) break;
  }
  const int avail = block.end - block.pos;
  if (avail == 0) return false;
  s = block.data + block.pos;
  if (nl) {
    n = static_cast<int>(nl - s);
    block.pos += n + 1;
  } else if (avail >= kLook) {
    n = kLineMax;
    block.pos += n;
    cut = true;
  } else {
    n = avail;  // the last line, without a line feed
    block.pos += n;
  }
  return true;
}

// The first carriage return of the piece `buf` (n bytes, just taken by
// block_piece) is at `k`: is it a line end of its own? Carriage returns
// before a line feed (CR LF, CR CR LF) are not: they are cleaned away as
// control bytes (false). Any other run of carriage returns ends the line at
// `k` (old Mac files): the bytes after the run go back to the stream's
// buffer, and `n` and `cut` say where the line ends (true). The piece may
// move in the buffer meanwhile.
bool lone_cr(FILE *f, const char *buf, int k, int &n, bool &cut) {
  int j = k;
  while (j < n && buf[j] == '\r') ++j;
  const int start = static_cast<int>(buf - block.data);
  if (j < n) {  // another character follows in this piece
    block.pos = start + j;
    n = k;
    cut = false;
    return true;
  }
  if (block.pos == start + n + 1) return false;  // the piece ended at its line feed
  // The run reaches the end of the piece: the bytes after it decide.
  int at = block.pos;
  for (;;) {
    while (at < block.end && block.data[at] == '\r') ++at;
    if (at < block.end) break;
    const int shift = block.pos;  // what is buffered moves to the start
    const bool more = block_fill(f);
    at -= shift;
    if (!more) break;
  }
  if (at < block.end && block.data[at] == '\n') return false;
  block.pos = at;
  n = k;
  cut = false;
  return true;
}

// Reads the next line (or the next 100-character piece of a longer one)
// into the look-ahead, cleaned and trimmed. A line ends at a line feed or
// at carriage returns that no line feed follows; a last line without
// either is a line like any other. A NUL byte is a control byte like the
// rest and becomes a blank instead of cutting the line. Returns false when
// the stream has no more characters.
bool read_line(FILE *f) {
  if (f != block.src) block_bind(f);
  const char *buf = nullptr;
  int n = 0;
  bool cut = false;
  if (!block_piece(f, buf, n, cut)) {
    line[0] = '\0';
    line_len = 0;
    have_line = false;
    line_more = line_cont = false;
    return false;
  }
  for (int i = 0; i < n; ++i) {
    const unsigned char u = static_cast<unsigned char>(buf[i]);
    line[i] = (u < 32 || u >= 128) ? ' ' : buf[i];
  }
  // Cleaned to blanks already, carriage returns before a line feed are
  // trimmed below; a lone one ends the line.
  if (const void *cr = n > 0 ? std::memchr(buf, '\r', static_cast<size_t>(n)) : nullptr)
    lone_cr(f, buf, static_cast<int>(static_cast<const char *>(cr) - buf), n, cut);
  line_cont = line_more;
  line_more = cut;
  // A cut piece keeps its trailing blanks: they separate its last group
  // from the first one of the next piece.
  if (!cut)
    while (n > 0 && line[n - 1] == ' ') --n;
  line[n] = '\0';
  line_len = n;
  have_line = true;
  // The empty tail of a long line (its line end, blanks) is no line.
  if (line_cont && n == 0) return read_line(f);
  return true;
}

// One blank-separated token of the look-ahead line, cut at 20 characters
// the way a formatted read of "%20s" cuts it: a view into the line, not
// terminated. `s` moves past what was read. A cleaned line holds no white
// space but blanks, so a blank is the only separator to look for.
struct Token {
  const char *text = "";
  int len = 0;
};

// Where the first blank or terminator is among the 8 bytes at `s` (8 when
// there is none), all 8 looked at at once: the length of a token then costs
// no branch per character to guess.
int token_stop(const char *s) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t w;
    std::memcpy(&w, s, sizeof w);
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    // The top bit of each byte that is zero, and of no other byte.
    auto zero_bytes = [](std::uint64_t x) { return ~(((x & kLow7) + kLow7) | x | kLow7); };
    const std::uint64_t m = zero_bytes(w) | zero_bytes(w ^ 0x2020202020202020ULL);
    return m ? std::countr_zero(m) / 8 : 8;
  } else {
    int n = 0;
    while (n < 8 && s[n] != '\0' && s[n] != ' ') ++n;
    return n;
  }
}

void read_token(const char *&s, Token &t) {
  while (*s == ' ') ++s;
  int n = 0;
  for (int k = 8; k == 8 && n < kTokMax; n += k) k = token_stop(s + n);
  if (n > kTokMax) n = kTokMax;
  t.text = s;
  t.len = n;
  s += n;
}

// string_is_num of a token: an optional "-" and nothing but digits after it.
bool token_is_num(const Token &t) {
  if (t.len == 0) return false;
  for (int i = t.text[0] == '-' ? 1 : 0; i < t.len; ++i)
    if (!rd_digit(t.text[i])) return false;
  return true;
}

// The first two tokens of `s`, as "%20s %20s" reads them (a token longer
// than 20 characters goes on in the second).
void scan_tokens(const char *s, Token &t1, Token &t2) {
  read_token(s, t1);
  t2 = Token{};
  if (t1.len > 0) read_token(s, t2);
}

// A formatted read of one "%<width>d" at `s`: leading white space, an
// optional sign and digits within the width. Returns false when no digit.
bool scan_int(const char *&s, int width, int *out) {
  while (rd_space(*s)) ++s;
  const char *p = s;
  bool neg = false;
  if (*p == '-' || *p == '+') {
    neg = *p == '-';
    ++p;
  }
  int used = static_cast<int>(p - s);
  int v = 0;
  int nd = 0;
  while (used < width && rd_digit(*p)) {
    v = v * 10 + (*p - '0');
    ++p;
    ++used;
    ++nd;
  }
  if (nd == 0) return false;
  s = p;
  *out = neg ? -v : v;
  return true;
}

// Skips one run of non-blank characters; false when there is none.
bool skip_word(const char *&s) {
  while (rd_space(*s)) ++s;
  if (!*s) return false;
  while (*s && !rd_space(*s)) ++s;
  return true;
}

template <size_t N>
bool starts_with(const char *s, const char (&prefix)[N]) {
  return std::strncmp(s, prefix, N - 1) == 0;
}

// Section keywords and the report type each one opens. Mobile land
// stations (OOXX) have a type of their own that no start test accepts: their
// reports carry a position instead of a station number, and read as the
// previous section's kind they became invented records.
constexpr int kTypeMobil = 32;
struct SectionKey {
  const char *word;
  int len;
  int type;
};
constexpr SectionKey kSections[] = {
    {"AAXX", 4, 1}, {"CMAN", 4, 16}, {"BBXX", 4, 2},
    {"SHIPS", 5, 2}, {"ZZYY", 4, 8}, {"OOXX", 4, kTypeMobil},
};

// Could a token starting with `c` be a keyword? Most lines start with a
// digit or a call sign and need no comparison at all.
constexpr bool keyword_start(char c) {
  return c == 'A' || c == 'B' || c == 'C' || c == 'S' || c == 'Z' || c == 'O';
}

const SectionKey *section_of(const Token &tok) {
  if (!keyword_start(tok.text[0])) return nullptr;
  for (const auto &k : kSections)
    if (tok.len == k.len && std::memcmp(tok.text, k.word, static_cast<size_t>(k.len)) == 0)
      return &k;
  return nullptr;
}

// Does the look-ahead line open a new bulletin or section, so that it ends
// a report being gathered? Any section keyword counts, not only AAXX and
// BBXX: a keyword line taken into a report would change the section type
// under it and add the section's date group to its text.
bool opens_section() {
  const char *s = line;
  while (*s == ' ') ++s;
  if (*s != '*' && !keyword_start(*s)) return false;
  if (starts_with(line, "** ") || starts_with(line, "AAX") || starts_with(line, "BBX")) return true;
  Token t;
  read_token(s, t);
  return section_of(t) != nullptr;
}

// The wind indicator of a YYGGiw group: its fifth figure, -1 when the group
// is not five characters long or that figure is not a digit.
int group_iw(const Token &tok) {
  if (tok.len != 5 || !rd_digit(tok.text[4])) return -1;
  return tok.text[4] - '0';
}

// The report text being gathered, bounded so the closing blank still fits.
struct Gather {
  char *data;
  int len = 0;
  void add(const char *s, int n) {
    if (n > kGatherMax - len) n = kGatherMax - len;
    if (n > 0) {
      // A plain loop: for a line this short the compiler would use a
      // string move instruction instead of memcpy, slow to start.
      char *d = data + len;
      for (int i = 0; i < n; ++i) d[i] = s[i];
      len += n;
    }
    data[len] = '\0';
  }
  void set(const char *s, int n) {
    len = 0;
    add(s, n);
  }
  void add_blank_and(const char *s, int n) {
    add(" ", 1);
    add(s, n);
  }
};

}  // namespace

void SYN_read_reset() {
  block.src = nullptr;
  block.pos = block.end = 0;
  line[0] = '\0';
  line_len = 0;
  have_line = false;
  line_more = line_cont = false;
}

int SYN_read_raw(FILE *ifile, char *data, char *id, int *type) {
  if (!ifile || !data || !id || !type) return -1;
  // Nothing left: no look-ahead and no further line in the stream. An empty
  // look-ahead line is passed over like the reading of a new line.
  if (!have_line || line_len == 0) {
    if (!read_line(ifile)) return -1;
  }
  const bool t_line = MESS_check(kTraceLine) != 0;
  const bool t_read = MESS_check(kTraceRead) != 0;

  Gather g{data};
  data[0] = '\0';
  int done = 0;
  Token str1;
  Token str2;

  // Reads the next line and applies the tests that end or continue the
  // report; done = -1 when the input is used up.
  auto next_line = [&](bool tests) {
    if (!read_line(ifile)) {
      done = -1;
      return;
    }
    if (!tests || line_cont) return;  // the rest of a line is neither
    if (done > 0 && opens_section()) {
      done = -1;
    } else if (done == -2 && starts_with(line, "  333")) {
      // A section-3 line continuing a report ended by "=": that "=" becomes
      // a blank, so the group before it keeps its blank and decodes.
      done = 2;
      if (g.len > 0 && data[g.len - 1] == '=') data[g.len - 1] = ' ';
    }
  };

  while (done >= 0) {
    int found = 0;
    const char *ptr = line;
    if (t_line) MESS_print(kTraceLine, "LINE:%s:\n", line);

    // The rest of a line longer than one read goes on the report its first
    // piece went to, joined without a blank so that no group is split; it
    // starts nothing and is not a line of its own.
    if (line_cont) {
      if (done > 0) {
        g.add(line, line_len);
        if (line_len > 0 && line[line_len - 1] == '=')
          done = -2;
        else if (done == 3 && !line_more)
          done = -1;  // at most three lines
      }
      next_line(true);
      continue;
    }

    // Blank lines inside a report neither end it nor count as one of its lines.
    if (done > 0 && line_len == 0) {
      next_line(true);
      continue;
    }

    scan_tokens(line, str1, str2);

    if (starts_with(line, "** ")) {
      // Heading "** TTAAii CCCC YYGGgg": a new bulletin of land type.
      rep_type = 1;
      sect_iw = -1;
      const char *s = line + 2;
      int day = 0;
      int hhmm = 0;
      if (skip_word(s) && skip_word(s) && scan_int(s, 2, &day) && scan_int(s, 4, &hhmm))
        prhour = hhmm;
      next_line(false);
      continue;
    }

    if (const SectionKey *key = section_of(str1)) {
      rep_type = key->type;
      // Past the keyword and the blanks after it, wherever it stands.
      ptr = line;
      while (*ptr == ' ') ++ptr;
      ptr += key->len;
      while (*ptr == ' ') ++ptr;
      scan_tokens(ptr, str1, str2);
      if (key->type == 1 || key->type == 16) sect_iw = group_iw(str1);
      if (key->type == 1 && str1.len > 0) {
        // The hour GG of the YYGGiw group, also when the first report
        // stands on this line: it is that report's time as well.
        const char *s = ptr;
        int day = 0;
        int hour = 0;
        if (scan_int(s, 2, &day) && scan_int(s, 2, &hour)) prhour = hour * 100;
        if (str2.len != 0) {
          // The first report stands on the keyword line: start at its
          // identifier, after the YYGGiw group.
          while (*ptr && *ptr != ' ') ++ptr;
          while (*ptr == ' ') ++ptr;
        }
      }
    }
    int plen = line_len - static_cast<int>(ptr - line);

    if (t_read) MESS_print(kTraceRead, "STR: %.*s %.*s\n", str1.len, str1.text, str2.len, str2.text);

    const bool str2_ok = str2.len == 5 && rd_digit(str2.text[0]) && rd_digit(str2.text[1]);
    auto start = [&]() {
      *type = rep_type;
      // The text starts at its first group: leading blanks would hide the
      // identifier from the decoder.
      while (*ptr == ' ') {
        ++ptr;
        --plen;
      }
      g.set(ptr, plen);
      Token first;
      const char *s = ptr;
      read_token(s, first);
      std::memcpy(id, first.text, static_cast<size_t>(first.len));
      id[first.len] = '\0';
      found = 1;
      done = 1;
    };

    if (rep_type == 1 && str2_ok && str1.len == 5 && token_is_num(str1)) {
      if (t_read)
        MESS_print(kTraceRead, "STR-5: %d %d %d %.*s %.*s\n", rep_type, done, found, str1.len,
                   str1.text, str2.len, str2.text);
      if (done == 0) {
        start();
      } else if (done > 0) {
        g.add_blank_and(ptr, plen);
        found = 1;
        ++done;
      }
    }

    if ((rep_type == 2 || rep_type == 4 || rep_type == 16) && str2_ok) {
      if (t_read)
        MESS_print(kTraceRead, "STR-S: %d %d %d %.*s %.*s\n", rep_type, done, found, str1.len,
                   str1.text, str2.len, str2.text);
      if (done == 0) {
        if (rep_type == 2 || rep_type == 4) rep_type = token_is_num(str1) ? 4 : 2;
        if (t_read)
          MESS_print(kTraceRead, "STR-S1: %d %d %d %.*s %.*s\n", rep_type, done, found, str1.len,
                     str1.text, str2.len, str2.text);
        start();
      } else if (done > 0 && found == 0) {
        g.add_blank_and(ptr, plen);
        found = 1;
        ++done;
      }
    }

    if (plen > 0 && ptr[plen - 1] == '=') {
      if (t_read) MESS_print(kTraceRead, "STR-=: %d %d %d\n", rep_type, done, found);
      if (done > 0) {
        if (found != 1) g.add_blank_and(ptr, plen);
        done = -2;
      }
    }
    if (found == 0) {
      if (t_read) MESS_print(kTraceRead, "NOT-D: %d %d %d\n", rep_type, done, found);
      if (done > 0) {
        g.add_blank_and(ptr, plen);
        ++done;
      }
    }
    if (t_read) MESS_print(kTraceRead, "%d:%d:%d:%s\n", rep_type, done, found, line);
    if (done == 3 && !line_more) done = -1;  // at most three lines
    next_line(true);
  }

  if (g.len > 0 && data[g.len - 1] == '=') data[g.len - 1] = ' ';
  data[g.len++] = ' ';
  data[g.len] = '\0';
  if (t_line) MESS_print(kTraceLine, "DATA: %s\n", data);
  return 1;
}

// ===========================================================================
// Conversion run and report loop.

namespace {

constexpr M_type kFailure = 0xC0u;
constexpr M_type kProgress = 0xF00u;
constexpr M_type kListing = 0x100000u;
constexpr M_type kRawText = 0x400000u;
constexpr M_type kReportNum = 0x4000000u;
constexpr M_type kMerge = 0x10000000u;
constexpr int kNameMax = 159;  // file names and templates
constexpr int kAllClasses = 31;
constexpr int kMaxSameId = 10;  // kept reports compared with a new one

int rep_save = kAllClasses;  // report classes to write
bool reports_lost = false;   // a report could not be kept: the run failed
int file_type = 4;           // output format: 4 text, 12 netCDF, 51 XML
int file_mode = 0;           // 1 create, 2 append
int update = 0;              // merge level; 0 = every report written at once
int id_type = 0;             // 0 WMO number, 1 database id, 2 database id or made from WMO
int numid = 0;               // identifiers to select; 0 = all
char **ids = nullptr;
int cvt_fd = -1;
TAB_table data_tbl{};
char in_buf[1 << 16];  // stdio buffer of the input file being read

// What became of the run's reports: one counter per outcome (the built-in
// ones, then those an output format adds), the reports found and the
// files read.
constexpr int kMaxOutcomes = 12;
struct Outcome {
  const char *label;
  long count;
};
Outcome outcomes[kMaxOutcomes] = {
    {"written", 0},       {"outside the time window", 0}, {"not selected", 0},
    {"dropped as duplicates", 0}, {"merged", 0},           {"not decoded", 0},
};
int num_outcomes = kOutBuiltIn;
long reports_found = 0;
int files_read = 0;
int out_lost = -1;  // outcome of reports the report table could not take, once one was

inline void count(int outcome) { ++outcomes[outcome].count; }

// Could the report ever be written? It needs an identifier (the decoder
// then marks it a regular report) and a time.
bool decoded(const SFC_report &rep) { return (rep.type & 1) != 0 && rep.time != tv::kMissInt; }

// The outcome of a report that reaches the output stage: the same gate as
// SFC_save_report, which writes it only when it is decoded and in the window.
int final_outcome(const SFC_report &rep, bool in_window) {
  if (!decoded(rep)) return kOutNotDecoded;
  return in_window ? kOutWritten : kOutOutside;
}

// The run's input files, known before the output is opened so that no
// input can be overwritten by it: the first file and date the run starts
// from (set by SYN_decode_all) and the whole sequence.
const char *run_first = nullptr;
Date run_date{};
std::vector<std::string> run_inputs;

// Report classes, their save bits and keywords.
struct ClassBit {
  const char *area;  // two-letter class at the start of SFC_report.area
  const char *word;  // keyword of "output"
  int bit;
};
constexpr ClassBit kClasses[] = {
    {"LA", "land", 1}, {"SH", "ship", 2}, {"BU", "buoy", 4}, {"DR", "dribu", 8}, {"CM", "cman", 16},
};

// Output format keywords with their type and default name template.
struct Format {
  const char *word;
  int type;
  const char *name;
};
constexpr Format kFormats[] = {
    {"zot", 4, "syn_cvt_zot"}, {"xml", 51, "syn_cvt_xml"}, {"cdf", 12, "syn_cvt_cdf"},
};

const Format *format_of(const char *word) {
  for (const auto &f : kFormats)
    if (stricmp(word, f.word) == 0) return &f;
  return nullptr;
}

// Is the report held back by the class selection? A class outside the
// table (UN, a report no decoder classed) never is.
bool class_dropped(const SFC_report &rep) {
  for (const auto &c : kClasses)
    if (rep.area[0] == c.area[0] && rep.area[1] == c.area[1]) return (rep_save & c.bit) == 0;
  return false;
}

// Is `id` one of the selected identifiers (ignoring case)?
bool id_selected(const char *id) {
  for (int i = 0; i < numid; ++i)
    if (stricmp(id, ids[i]) == 0) return true;
  return false;
}

void list_report(SFC_report *rep) {
  if (MESS_check(kListing)) SFC_print_line(kListing, rep);
}

// Land report completion from the station database.
void complete_land(SFC_report &rep) {
  CTY_data station{};
  if (CTY_search(rep.id, &station)) {
    std::snprintf(rep.area + 2, sizeof rep.area - 2, " %2s %2s", station.state, station.region);
    if (id_type != 0 && station.id[0] != '-') {
      std::snprintf(rep.id, sizeof rep.id, "%s", station.id);
    } else if (id_type == 2) {
      wmo_to_id(rep.id, rep.wmo);
    }
    if (file_type == 11 || file_type == 12 || file_type == 51) {
      rep.lat = station.lat;
      rep.lon = station.lon;
      rep.elev = station.el;
      rep.prior = station.prior;
    }
  } else {
    MESS_print(kRawText, "Station not in database: %s\n", rep.id);
    if (id_type == 2) wmo_to_id(rep.id, rep.wmo);
  }
}

// Table mode: the report is dropped as a duplicate, merged into a kept
// report of the same identifier, or kept as a new one.
void merge_report(SFC_report &rep) {
  char *list[kMaxSameId];
  const int n = TAB_searches(&data_tbl, 1, rep.id, list, kMaxSameId);
  bool handled = false;
  bool merged = false;
  if (n > 0) {
    MESS_print(kMerge, "FOUND: %d\n", n);
    for (int i = 0; i < n && i < kMaxSameId; ++i) {
      auto *kept = reinterpret_cast<SFC_report *>(list[i]);
      const int cmp = SFC_compare(&rep, kept);
      if (cmp == 0) {
        MESS_print(kMerge, "%d-DUPLICATE\n", i);
        handled = true;
      } else if (cmp >= 3) {
        MESS_print(kMerge, "%d-UPDATE\n", i);
        SFC_print_line(kMerge, kept);
        SFC_update(kept, &rep, update);
        handled = true;
        merged = true;
      } else {
        MESS_print(kMerge, "%d-OTHER: %d\n", i, cmp);
        SFC_print_line(kMerge, kept);
      }
    }
  }
  if (handled) {
    // Reports without an identifier are all kept under the empty one, where
    // they compare as equal: not decoded, whatever the comparison said.
    count((rep.type & 1) == 0 ? kOutNotDecoded : merged ? kOutMerged : kOutDuplicate);
  } else {
    // A kept report is counted when the table is written at the end.
    MESS_print(kMerge, "ADDING\n");
    if (TAB_enter(&data_tbl, &rep, rep.id) == -1) {
      MESS_print(kFailure, "SYN_decode_file: Unable to add: %s\n", rep.id);
      if (out_lost < 0) out_lost = SYN_add_outcome("lost (report table full)");
      if (out_lost >= 0) count(out_lost);
      reports_lost = true;
    }
  }
  list_report(&rep);
}

// Direct mode: listed and, inside the window, written at once.
void save_report(SFC_report &rep) {
  const int in_window = DATE_chk_range(rep.time);
  if (class_dropped(rep)) {
    count(kOutNotSelected);
    return;
  }
  list_report(&rep);
  const int outcome = final_outcome(rep, in_window != 0);
  count(outcome);
  if (outcome == kOutWritten) SFC_save_report(cvt_fd, &rep);
}

}  // namespace

namespace {

constexpr const char *kOutputWords = "zot,xml,cdf,all,land,ship,buoy,cman,dribu";
constexpr const char *kParameterWords =
    "id,id_enc,wmo,pln,plns,psyn,pfull,range[=from[:to]],all,dup,update[=level]";

// An output word: a format or a report class.
bool output_word(const char *w) {
  if (format_of(w) || stricmp(w, "all") == 0) return true;
  for (const auto &c : kClasses)
    if (stricmp(w, c.word) == 0) return true;
  return false;
}

// A whole signed decimal number that fits an int.
bool whole_int(std::string_view text, int *out) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  const char *end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && p == end && !text.empty();
}

// After `keyword`: nothing (`has_form` false), or one separator that is
// not a letter or digit and the form text. False when `v` is not the
// keyword at all.
bool keyword_form(const char *v, std::string_view keyword, bool *has_form, std::string_view *form) {
  const std::size_t n = keyword.size();
  if (strnicmp(v, keyword.data(), static_cast<int>(n)) != 0) return false;
  const std::string_view rest(v + n);
  *has_form = !rest.empty();
  if (!*has_form) return true;
  const unsigned char sep = static_cast<unsigned char>(rest[0]);
  if (std::isalnum(sep)) return false;
  *form = rest.substr(1);
  return true;
}

// "range[=from[:to]]": the minutes before and after the hour; a number not
// given keeps its default.
bool range_word(const char *v, int *pre, int *post) {
  bool has_form = false;
  std::string_view form;
  if (!keyword_form(v, "range", &has_form, &form)) return false;
  *pre = -45;
  *post = 45;
  if (!has_form) return true;
  const std::size_t colon = form.find(':');
  if (!whole_int(form.substr(0, colon), pre)) return false;
  return colon == std::string_view::npos || whole_int(form.substr(colon + 1), post);
}

// "update[=level]": the merge level, 20 when none is given.
bool update_word(const char *v, int *level) {
  bool has_form = false;
  std::string_view form;
  if (!keyword_form(v, "update", &has_form, &form)) return false;
  *level = 20;
  return !has_form || whole_int(form, level);
}

}  // namespace

int SYN_decode_params() {
  int wrong = 0;
  int argc = 0;
  char **argv = nullptr;
  RES_getvals("output", &argc, &argv);
  // A list that starts with a class names the only classes to write; one
  // that starts with a format adds its classes to the default. An unknown
  // word is reported and counts for nothing, not even as the first.
  bool first = true;
  for (int i = 0; i < argc; ++i) {
    if (argv[i][0] == '\0') continue;
    if (!output_word(argv[i])) {
      wrong += RES_bad_word("SYN_decode_params", "output", argv[i], kOutputWords);
      continue;
    }
    if (first && !format_of(argv[i])) rep_save = 0;
    first = false;
    if (stricmp(argv[i], "all") == 0) {
      rep_save = kAllClasses;
      continue;
    }
    for (const auto &c : kClasses)
      if (stricmp(argv[i], c.word) == 0) rep_save |= c.bit;
  }
  free_parsed_array(argc, argv);

  argc = 0;
  argv = nullptr;
  RES_getvals("parameter", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char *v = argv[i];
    int a = 0, b = 0;
    if (v[0] == '\0') {
      continue;
    } else if (stricmp(v, "id") == 0) {
      id_type = 1;
    } else if (stricmp(v, "id_enc") == 0) {
      id_type = 2;
    } else if (stricmp(v, "wmo") == 0) {
      id_type = 0;
    } else if (stricmp(v, "pln") == 0) {
      SFC_set_print(2);
    } else if (stricmp(v, "plns") == 0) {
      SFC_set_print(1);
    } else if (stricmp(v, "psyn") == 0) {
      SFC_set_print(4);
    } else if (stricmp(v, "pfull") == 0) {
      SFC_set_print(3);
    } else if (range_word(v, &a, &b)) {
      DATE_set_range(a, b);
    } else if (stricmp(v, "all") == 0) {
      update = 0;
    } else if (stricmp(v, "dup") == 0) {
      update = -1;
    } else if (update_word(v, &a)) {
      update = a;
    } else {
      // A window or merge level that cannot be read is as wrong as a
      // misspelt word: the run would not do what was asked.
      wrong += RES_bad_word("SYN_decode_params", "parameter", v, kParameterWords);
    }
  }
  free_parsed_array(argc, argv);
  return wrong == 0 ? 0 : -1;
}

namespace {

// A template too long for the naming layer would be cut there: refused as
// a name that is too long.
void refuse_long_template(const char *t) {
  if (std::strlen(t) <= static_cast<std::size_t>(kNameMax)) return;
  MESS_print(kFailure, "SYN_out_file: Output file name longer than %d characters: %.*s...\n", kNameMax,
             kNameMax, t);
  ZOT_exit(1);
}

}  // namespace

namespace {

// The format keyword an "out_file" value starts with, or null. A keyword
// counts only as a whole word or before a separator (cdf:hourly), so a file
// name such as "xmlfeed" stays a name.
const Format *out_file_format(const char *v) {
  if (std::strlen(v) < 3) return nullptr;  // never look past a short value's end
  const unsigned char after = static_cast<unsigned char>(v[3]);
  for (const auto &f : kFormats)
    if (strnicmp(v, f.word, 3) == 0 && !std::isalnum(after)) return &f;
  return nullptr;
}

// Did the user name the output file (not only its format)? The last value
// of "out_file" wins.
bool out_name_given() {
  int argc = 0;
  char **argv = nullptr;
  RES_getvals("out_file", &argc, &argv);
  bool given = false;
  if (argc > 0) {
    const char *v = argv[argc - 1];
    given = !out_file_format(v) || std::strlen(v) > 4;
  }
  if (argv) free_parsed_array(argc, argv);
  return given;
}

// Opens an input file for reading; what cannot be read is reported and
// gives null. Standard input, commands and FIFOs are streams; anything else
// must be a regular file (a directory opens, but reads as nothing).
FILE *open_input(const char *filename) {
  FILE *in = FILE_open(filename, "r");
  if (!in) {
    MESS_print(kFailure, "SYN_decode_file: Unable to open file:%s\n", filename);
    return nullptr;
  }
  struct stat st;
  if (in != stdin && !FILE_is_pipe(in) &&
      (fstat(fileno(in), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)))) {
    MESS_print(kFailure, "SYN_decode_file: Not a regular file: %s\n", filename);
    FILE_close(in);
    return nullptr;
  }
  return in;
}

// Could the input be read? Opens nothing that waits or runs: standard
// input, commands and FIFOs count as readable.
bool input_readable(const char *filename) {
  if (FILE_is_stdio(filename) || FILE_is_command(filename)) return true;
  char path[kNameMax + 1];
  FILE_add_user_path(filename, path);
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool ok = fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode));
  close(fd);
  return ok;
}

// Set when the date of the data could not be told because no input could
// be read: the output is refused before anything is made.
bool date_unknown = false;

[[noreturn]] void no_date(const char *filename) {
  if (FILE_is_stdio(filename) || FILE_is_command(filename))
    MESS_print(kFailure,
               "SYN_decode_all: No date for the data of %s: a stream is not searched for a heading; "
               "give -ho #YYYYMMDDHH\n",
               filename);
  else
    MESS_print(kFailure,
               "SYN_decode_all: No date for the data of %s: its name does not give it and it holds no "
               "bulletin heading; add it to the name as #YYYYMMDDHH or give -ho #YYYYMMDDHH\n",
               filename);
  ZOT_exit(2);
}

}  // namespace

int SYN_out_file(Date *date) {
  FILE_set_name("syn_cvt");
  int argc = 0;
  char **argv = nullptr;
  RES_getvals("output", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    if (const Format *f = format_of(argv[i])) {
      file_type = f->type;
      FILE_set_name(f->name);
    }
  }
  free_parsed_array(argc, argv);

  argc = 0;
  argv = nullptr;
  RES_getvals("out_file", &argc, &argv);
  for (int i = 0; i < argc; ++i) {
    const char *v = argv[i];
    const Format *fmt = out_file_format(v);
    const std::size_t vlen = std::strlen(v);
    if (fmt) {
      file_type = fmt->type;
      if (vlen > 4) refuse_long_template(v + 4);
      FILE_set_name(vlen > 4 ? v + 4 : fmt->name);
    } else {
      refuse_long_template(v);
      FILE_set_name(v);
    }
  }
  free_parsed_array(argc, argv);

  char name[kNameMax + 1] = "";
  // A name cut to the limit would be another file (every hour after the
  // cut would go to one): refused instead.
  if (FILE_set_date_whole(date, name) == -1) {
    MESS_print(kFailure, "SYN_out_file: Output file name longer than %d characters: %s...\n", kNameMax,
               name);
    ZOT_exit(1);
  }
  // Before the naming state moves on to the inputs.
  FILE_allow_template_command("out_file", name);  // runs only a "|command" the user gave

  // The input sequence, named after the output as it always was (templates
  // share the naming state), and checked before anything is opened.
  if (run_first) {
    run_inputs.clear();
    FILE_restore_name_conv();
    FILE_set_filename(run_first);
    FILE_first(&run_date);
    char in[kNameMax + 1];
    while (FILE_get_next(in)) run_inputs.emplace_back(in);
  }
  char path[kNameMax + 1];
  FILE_add_user_path(name, path);
  const bool stream = FILE_is_stdio(name) || FILE_is_command(name);
  if (!stream) {
    for (const std::string &in : run_inputs) {
      if (FILE_is_stdio(in.c_str()) || FILE_is_command(in.c_str())) continue;
      char in_path[kNameMax + 1];
      FILE_add_user_path(in.c_str(), in_path);
      if (SAFE_same_file(path, in_path)) {
        MESS_print(kFailure, "SYN_out_file: Output file %s is the input file %s\n", name, in.c_str());
        ZOT_exit(1);
      }
    }
  }

  // A run that can read none of its inputs makes and replaces nothing.
  if (!run_inputs.empty()) {
    bool any = false;
    for (const std::string &in : run_inputs) any = any || input_readable(in.c_str());
    if (!any) {
      for (const std::string &in : run_inputs)
        if (FILE *f = open_input(in.c_str())) FILE_close(f);
      ZOT_exit(1);
    }
    if (date_unknown) no_date(run_first);
  }

  // One run at a time on a file: the lock is taken before the file is
  // looked at, so a run that waited appends to what the other one wrote.
  if (!stream && SAFE_kind_of(path) != kSafeOther) {
    FILE_make_dir(path, 1);
    if (SAFE_lock(path) != 0) {
      MESS_print(kFailure, "SYN_out_file: Unable to open converted data file: %s\n", name);
      ZOT_exit(1);
    }
  }

  file_mode = FILE_overwrite(name, 2);
  int fd = -1;
  if (file_mode == 1 || file_mode == 2) {
    fd = SFC_open(name, file_mode, &file_type);
    if (fd == -1) {
      MESS_print(kFailure, "SYN_out_file: Unable to open converted data file: %s\n", name);
      ZOT_exit(1);
    }
    MESS_print(kProgress, file_mode == 1 ? "Creating output file: %s\n"
                                         : "Appending to output file: %s\n",
               name);
  } else {
    MESS_print(kFailure, "SYN_out_file: Unable to overwrite converted data file\n");
    ZOT_exit(0);
  }
  return fd;
}

int SYN_decode_file(const char *filename) {
  FILE *in = open_input(filename);
  if (!in) return 0;
  MESS_print(kProgress, "Processing file: %s\n", filename);
  // Bulletin files are large: read them in large pieces. Standard input may
  // have been read already (a prompt), so it keeps its own buffer.
  if (in != stdin) std::setvbuf(in, in_buf, _IOFBF, sizeof in_buf);

  char text[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  int type = rep_type;
  SFC_report report;
  const bool t_num = MESS_check(kReportNum) != 0;
  const bool t_raw = MESS_check(kRawText) != 0;

  // Nothing of the previous file is read again; and the loop runs until the
  // reader has nothing left, so a last line without a newline still counts.
  SYN_read_reset();
  int rc;
  while ((rc = SYN_read_raw(in, text, id, &type)) != -1) {
    if (rc != 1) continue;
    // The input ended before a report started: a report starts with its
    // first group, never with a blank.
    if (text[0] == ' ') continue;
    ++reports_found;
    if (numid != 0 && !id_selected(id)) {
      count(kOutNotSelected);
      continue;
    }
    SFC_initialize(&report);
    std::memcpy(report.area, "UN", 3);
    if (t_num) MESS_print(kReportNum, "%d:%s ", type, id);
    if (t_raw) MESS_print(kRawText, "%s\n", text);
    // The type of the report's own section (the section state may already
    // have moved on to the next one).
    SYN_decode(text, type, &report);
    SFC_check_valid(&report, 0);
    if (type == 1) complete_land(report);
    if (update != 0)
      merge_report(report);
    else
      save_report(report);
  }

  const bool failed = std::ferror(in) != 0;
  if (in == stdin) {
    std::clearerr(in);
  } else {
    FILE_close(in);  // a pipe only when the user named a command
  }
  if (failed) {
    MESS_print(kFailure, "SYN_decode_file: Error reading file:%s\n", filename);
    return -1;
  }
  ++files_read;
  return 1;
}

namespace {

// Is the day of the data known (year, month and day)?
bool day_given(const Date &d) {
  return d.year != tv::kMissInt && d.month != tv::kMissInt && d.day != tv::kMissInt;
}

// The positional input names (null when none, or when the first asks for
// the current or latest file); free with free_parsed_array.
int input_names(char ***names) {
  int n = 0;
  *names = nullptr;
  RES_getvals("filename", &n, names);
  if (n > 0 && (std::strncmp((*names)[0], "la", 2) == 0 || std::strncmp((*names)[0], "cu", 2) == 0)) {
    free_parsed_array(n, *names);
    *names = nullptr;
    n = 0;
  }
  return n;
}

// The name-convention file names the output (unless the user did), the
// current, latest or prompted file and the files of a sequence of hours
// (unless "in_file" is a template of the user's own). A run that needs it
// and has none stops; a run that does not need it is not told about it.
void check_name_conv(const char *in_file) {
  char path[kNameMax + 1];
  if (FILE_name_conv_path(path)) return;
  char **names = nullptr;
  const int n = input_names(&names);
  bool listing = false;  // "list": the files of the input template
  if (n > 0) listing = stricmp(names[0], "list") == 0;
  if (names) free_parsed_array(n, names);
  const bool own_in = in_file && (in_file[0] == '@' || std::strchr(in_file, '%') || stricmp(in_file, "none") == 0);
  const bool needs_in = !own_in && (n == 0 || listing || FILE_is_sequence());
  if (!needs_in && out_name_given()) {
    FILE_quiet_conv(1);
    return;
  }
  // Looking the type up reports the missing file.
  FILE_set_name(needs_in ? (in_file ? in_file : "syn_dat") : "syn_cvt");
  MESS_print(kFailure, "SYN_decode_all: This run takes %s from that file; give it with -nc%s\n",
             needs_in ? "its input file names" : "the output file name",
             needs_in ? "" : ", or name the output file with -of");
  ZOT_exit(2);
}

// The date of the data when the input's name does not give it: from the
// feed file's WMO name or first heading. When the first input cannot be
// read, the next named one that can gives it; when none can, the output is
// refused later for that (date_unknown).
void date_from_feed(const char *first, Date &date) {
  int from = FILE_feed_date(first, &date);
  if (from == 0) no_date(first);
  if (from > 0) return;
  if (!FILE_is_sequence()) {
    char **names = nullptr;
    const int n = input_names(&names);
    for (int i = 1; i < n && from < 0; ++i) {
      char name[kNameMax + 1];
      FILE_set_file(names[i], name);
      Date d{};
      FILE_get_date(&d);
      if (FILE_name_fits() || day_given(d)) {
        date = d;
        from = 1;
      } else if ((from = FILE_feed_date(name, &d)) > 0) {
        date = d;
      } else if (from == 0) {
        no_date(name);
      }
    }
    if (names) free_parsed_array(n, names);
  }
  date_unknown = from < 0;
}

// The summary line of the run, whatever way it ends.
int print_summary(int status) {
  char line[512];
  int len = std::snprintf(line, sizeof line, "Summary: %d file%s read, %ld report%s found", files_read,
                          files_read == 1 ? "" : "s", reports_found, reports_found == 1 ? "" : "s");
  for (int i = 0; i < num_outcomes && len > 0 && len < static_cast<int>(sizeof line); ++i)
    len += std::snprintf(line + len, sizeof line - static_cast<std::size_t>(len), ", %ld %s",
                         outcomes[i].count, outcomes[i].label);
  MESS_print(kProgress, "%s\n", line);
  return status;
}

}  // namespace

int SYN_add_outcome(const char *label) {
  if (!label || num_outcomes == kMaxOutcomes) return -1;
  outcomes[num_outcomes] = {label, 0};
  return num_outcomes++;
}

void SYN_count(int outcome, long n) {
  if (outcome >= 0 && outcome < num_outcomes) outcomes[outcome].count += n;
}

long SYN_outcome_count(int outcome) {
  return outcome >= 0 && outcome < num_outcomes ? outcomes[outcome].count : 0;
}

int SYN_decode_all() {
  SFC_set_print(4);
  DATE_set_range(-45, 45);
  // A wrong word on the command line ends the run before anything is
  // opened: the user asked for something this run would not do.
  if (SYN_decode_params() != 0 || RES_usage_errors() != 0) ZOT_exit(2);

  const char *in_file = RES_get("in_file");
  check_name_conv(in_file);
  FILE_set_name(in_file ? in_file : "syn_dat");
  FILE_save_name_conv();

  char filename[kNameMax + 1] = "";
  FILE_get_file_only("Enter the synoptic filename: ", filename);

  Date file_date{};
  Date datim{};
  FILE_get_date(&file_date);
  // A name that does not give the date by the template: a feed file.
  if (!day_given(file_date) && !FILE_name_fits()) date_from_feed(filename, file_date);
  DATE_set_datim(&file_date);
  DATE_get_datim(&datim);
  FILE_reset_time();

  ZOT_on_exit(print_summary);
  run_first = filename;
  run_date = file_date;
  cvt_fd = SYN_out_file(&datim);

  SFC_info info{};
  info.date = datim;
  info.cmdline = nullptr;
  DATE_make_label(&datim, info.datim);
  if (file_mode == 2)
    SFC_getinfo(cvt_fd, &info);
  else
    SFC_putinfo(cvt_fd, &info);
  MESS_print(0xF0000u, "DATE: ");
  MESS_print(kProgress, "%s\n", info.datim);

  CTY_store("syn.cty", 1, nullptr, 10);
  SFC_set_table(1);

  numid = 0;
  ids = nullptr;
  if (const char *sel = RES_get("identifier")) {
    MESS_print(kProgress, "Searching for: %s...\n", sel);
    RES_getvals("identifier", &numid, &ids);
    // "all" selects every report, as it selects every station.
    if (numid == 1 && stricmp(ids[0], "all") == 0) {
      free_parsed_array(numid, ids);
      numid = 0;
      ids = nullptr;
    }
  } else {
    MESS_print(kProgress, "Converting data...\n");
  }

  if (update != 0) TAB_create(&data_tbl, 4000, static_cast<int>(sizeof(SFC_report)), 1);
  SFC_print_line(kListing, nullptr);

  // In a sequence of hours a missing file is a gap; named files must all
  // be read. A file that failed part way always fails the run.
  const bool sequence = FILE_is_sequence() != 0;
  int opened = 0;
  bool unread = false;
  for (const std::string &in : run_inputs) {
    const int rc = SYN_decode_file(in.c_str());
    if (rc == 1) ++opened;
    if (rc == -1 || (rc == 0 && !sequence)) unread = true;
  }
  // A run that could read nothing must not stand in for the file that was
  // there (the usual cron case: the bulletins are not there yet).
  if (opened == 0) ZOT_exit(1);

  if (numid != 0) {
    free_parsed_array(numid, ids);
    numid = 0;
    ids = nullptr;
  }

  if (update != 0) {
    MESS_print(0xF000u, "Saving stations...\n");
    TAB_first(&data_tbl);
    while (char *rec = TAB_next(&data_tbl)) {
      auto *rep = reinterpret_cast<SFC_report *>(rec);
      const int in_window = DATE_chk_range(rep->time);
      if (class_dropped(*rep)) {
        count(kOutNotSelected);
        continue;
      }
      list_report(rep);
      const int outcome = final_outcome(*rep, in_window != 0);
      count(outcome);
      if (outcome == kOutWritten) SFC_save_report(cvt_fd, rep);
    }
  }

  SFC_close(cvt_fd);
  return unread || reports_lost ? 1 : 0;
}

// ===========================================================================
// Report decoders.

// Land, ship, coastal-marine and drifting-buoy reports into records. This
// section sees the reader's state only through SYN_get_prhour and SYN_get_iw.

#include <array>
#include <cstdint>
#include <utility>

#include "calc.hpp"
#include "wx_tool.hpp"

namespace {
namespace dec {

constexpr M_type kTraceIdent = 0x10000000u;
constexpr M_type kTraceGroup = 0x20000000u;
constexpr M_type kTraceScan = 0x80000000u;  // the scanner's own traces

constexpr int kMissI = tv::kMissInt;
constexpr float kMissF = tv::kMissFloat;

// One row of a code table: codes lo..hi share a weather string.
struct CodeRange {
  int lo;
  int hi;
  const char *str;
};

// WMO code table 4680: present weather reported from an automatic station.
constexpr CodeRange kTable4680[] = {
    {0, 3, " "},      {4, 5, "H"},      {6, 27, " "},     {28, 29, "BS"},    {30, 35, "F"},
    {36, 39, " "},    {40, 40, "R"},    {41, 41, "R-"},   {42, 42, "R+"},    {43, 43, "R-"},
    {44, 44, "R+"},   {45, 45, "S-"},   {46, 46, "S+"},   {47, 47, "ZR-"},   {48, 48, "ZR+"},
    {49, 49, " "},    {50, 50, "L"},    {51, 51, "L-"},   {52, 52, "L"},     {53, 53, "L+"},
    {54, 54, "ZL-"},  {55, 55, "ZL"},   {56, 56, "ZL+"},  {57, 57, "L-R"},   {58, 58, "LR"},
    {59, 59, " "},    {60, 60, "R"},    {61, 61, "R-"},   {62, 62, "R"},     {63, 63, "R+"},
    {64, 64, "ZR-"},  {65, 65, "ZR"},   {66, 66, "ZR+"},  {67, 67, "R-S"},   {68, 68, "RS"},
    {69, 69, " "},    {70, 70, "S"},    {71, 71, "S-"},   {72, 72, "S"},     {73, 73, "S+"},
    {74, 74, "IP-"},  {75, 75, "IP"},   {76, 76, "IP+"},  {77, 79, " "},     {80, 80, "RW"},
    {81, 81, "RW-"},  {82, 82, "RW"},   {83, 84, "RW+"},  {85, 85, "SW-"},   {86, 86, "SW"},
    {87, 87, "SW+"},  {88, 89, " "},    {90, 90, "TRW"},  {91, 92, "TRW-"},  {93, 93, "TRW-A"},
    {94, 94, "TRW-"}, {95, 95, "TRW+"}, {96, 96, "TRW+A"}, {97, 99, " "},
};

template <std::size_t N>
constexpr std::array<const char *, 100> expand_codes(const CodeRange (&rows)[N]) {
  std::array<const char *, 100> out{};
  for (auto &s : out) s = " ";
  for (const auto &r : rows)
    for (int c = r.lo; c <= r.hi; ++c) out[static_cast<std::size_t>(c)] = r.str;
  return out;
}

constexpr auto kWawaText = expand_codes(kTable4680);

// Visibility VV 90..99 (sea code), statute miles.
constexpr float kVisSea[10] = {0.0f,   0.03125f, 0.125f, 0.3125f, 0.625f,
                               1.25f,  2.5f,     6.25f,  12.5f,   31.25f};

// WMO code table 1600: height of the lowest cloud h, feet.
constexpr float kTable1600[10] = {100, 200, 400, 700, 1500, 3000, 4500, 6000, 7500, 12000};

constexpr bool miss(int v) { return v == kMissI; }
constexpr bool miss(float v) { return v == kMissF; }

// Tenths of a unit by figure, the same values as t / 10 computed at run
// time, without a division per group.
constexpr std::array<float, 10> make_tenths_f() {
  std::array<float, 10> t{};
  for (int i = 0; i < 10; ++i) t[static_cast<std::size_t>(i)] = static_cast<float>(i) / 10.0f;
  return t;
}
constexpr auto kTenthsF = make_tenths_f();
constexpr std::array<double, 10> make_tenths_d() {
  std::array<double, 10> t{};
  for (int i = 0; i < 10; ++i) t[static_cast<std::size_t>(i)] = i / 10.0;
  return t;
}
constexpr auto kTenthsD = make_tenths_d();
float tenths_f(int t) { return (t >= 0 && t <= 9) ? kTenthsF[static_cast<std::size_t>(t)] : t / 10.0f; }
double tenths_d(int t) { return (t >= 0 && t <= 9) ? kTenthsD[static_cast<std::size_t>(t)] : t / 10.0; }

// Degrees Fahrenheit from Celsius, in single precision; missing stays missing.
float to_fahrenheit(float c) { return miss(c) ? kMissF : 32.0f + 9.0f * c / 5.0f; }

// Whole degrees and tenths (each possibly missing) with a sign indicator;
// missing when the whole degrees are.
float celsius(bool negative, int whole, int tenths) {
  if (miss(whole)) return kMissF;
  float v = static_cast<float>(whole);
  if (!miss(tenths)) v += tenths_f(tenths);
  return negative ? -v : v;
}

// Wind speed in knots from the reported figure and the unit indicator.
float knots(int ff, int iw) {
  if (miss(ff)) return kMissF;
  return iw == 2 ? static_cast<float>(ff * 1.944) : static_cast<float>(ff);
}

// Amount of a 6RRRtR group in inches, or missing.
float precip_inches(int rrr) {
  if (miss(rrr)) return kMissF;
  if (rrr == 990) return 0.0f;  // trace
  if (rrr > 990 && rrr <= 999) return static_cast<float>((rrr - 990) / 254.0);  // tenths of mm
  return static_cast<float>(rrr / 25.4);
}

// Stores a 6RRRtR amount in the field its period digit names.
void store_precip(SFC_report *r, int rrr, int period) {
  const float amount = precip_inches(rrr);
  if (miss(period) || period == 4) {
    r->rain24 = amount;
  } else if (period == 7) {
    r->rain3 = amount;
  } else if (period == 1) {
    r->rain6 = amount;
  } else if (period == 2 || period == 0) {
    r->rain12 = amount;
  }  // other periods have no field of their own
}

// Pressure change of a 5appp group in millibars. WMO code table 0200: the
// characteristics a = 5 to 8 end at or below the pressure of three hours
// before, so their change is negative (5 too, "decreasing, then
// increasing"); without a the sign is unknown and so is the change.
float pressure_change(int a, int pp, int tenths) {
  if (miss(a) || miss(pp)) return kMissF;
  const float v = static_cast<float>(pp + (miss(tenths) ? 0.0 : tenths_d(tenths)));
  return (a >= 5 && v != 0.0f) ? -v : v;  // no "-0" for an unchanged pressure
}

// Wind direction and speed of an ddff pair, with the checks that make a
// variable or incomplete wind missing.
void store_wind(SFC_report *r, int dd, int ff, int iw) {
  r->w_dir = miss(dd) ? kMissF : static_cast<float>(dd * 10);
  r->w_spd = knots(ff, iw);
  if (r->w_dir > 360.0f) {  // dd 99 (variable) and other codes above 36
    r->w_dir = kMissF;
    r->w_spd = kMissF;
  }
  if (!miss(r->w_dir) && miss(r->w_spd)) r->w_dir = kMissF;
}

// A coordinate beyond the globe (latitude above 90, longitude above 180
// degrees) is a garbled group: missing rather than an impossible position.
float on_globe(float v, float limit) { return (miss(v) || v > limit || v < -limit) ? kMissF : v; }

// Sea surface temperature sign: the odd figures of the indicator ss
// (1, 3, 5, 7) are the negative ones, whatever the measuring method.
bool sst_negative(int ss) { return !miss(ss) && ss >= 0 && (ss & 1) == 1; }

// Bounded copy of a NUL-terminated text.
void copy_text(char *dst, std::size_t size, const char *a, const char *b = "") {
  std::size_t n = 0;
  for (const char *s : {a, b})
    for (; *s != '\0' && n + 1 < size; ++s) dst[n++] = *s;
  dst[n] = '\0';
}

// Leading decimal number of a group (as atoi reads it), saturated; 0 when none.
int leading_number(const char *s) {
  bool neg = false;
  if (*s == '-' || *s == '+') neg = *s++ == '-';
  long long v = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    v = v * 10 + (*s - '0');
    if (v > 2147483647LL) {
      v = 2147483647LL;
      break;
    }
  }
  return static_cast<int>(neg ? -v : v);
}

// The five-character form of a group pattern, for Decoder::fits: a figure
// is itself, a run of one lower-case letter is a field that takes digits or
// the "/" marker, upper case the same without the marker, "x" such a field
// not stored, "*" one character stored, "?" any character. It is turned at
// compile time into its pieces, so matching a group is straight-line code.
struct Shape {
  int n = 0;           // pieces
  char kind[5] = {};   // 'L' literal, 'M' field with marker, 'N' without,
                       // 'X' field not stored, 'C' character, 'A' any
  char lit[5] = {};    // the figure of a literal
  int start[5] = {};
  int width[5] = {};
  consteval Shape(const char (&t)[6]) {
    for (int i = 0; i < 5;) {
      const char c = t[i];
      start[n] = i;
      width[n] = 1;
      if (c >= '0' && c <= '9') {
        kind[n] = 'L';
        lit[n] = c;
      } else if (c == '*' || c == '?') {
        kind[n] = c == '*' ? 'C' : 'A';
      } else {
        while (i + width[n] < 5 && t[i + width[n]] == c) ++width[n];
        kind[n] = c == 'x' ? 'X' : (c >= 'A' && c <= 'Z') ? 'N' : 'M';
      }
      i += width[n];
      ++n;
    }
  }
};

// The white space that a blank in a pattern passes over.
constexpr std::array<bool, 256> make_blank_table() {
  std::array<bool, 256> t{};
  t[' '] = t['\n'] = t['\r'] = t['\t'] = true;
  return t;
}
constexpr auto kBlank = make_blank_table();
constexpr bool is_blank(char c) { return kBlank[static_cast<unsigned char>(c)]; }

// The white space that ends a "%s" text: a blank's, and vertical tab and
// form feed.
constexpr std::array<bool, 256> make_space_table() {
  std::array<bool, 256> t = make_blank_table();
  t['\v'] = t['\f'] = true;
  return t;
}
constexpr auto kSpace = make_space_table();

constexpr std::array<bool, 256> make_fig_table() {
  std::array<bool, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[static_cast<std::size_t>(c)] = true;
  t['/'] = true;
  return t;
}
constexpr auto kFig = make_fig_table();  // digits and "/"

// The five characters of a clean group in one word, byte i for character
// i with "0" taken away: a figure 0 to 9, or 0x1F for "/". A "/" is then
// the only byte with bit 4 set, so the slashes of a field show in one test.
std::uint64_t group_figs(const char *s) {
  std::uint32_t lo;
  std::memcpy(&lo, s, sizeof lo);
  const std::uint64_t x = lo | std::uint64_t{static_cast<unsigned char>(s[4])} << 32;
  return x ^ 0x3030303030ULL;
}

// Matches piece I of shape S against the clean group `s` (`figs` its
// figures).
template <Shape S, int I>
bool piece(const char *s, std::uint64_t figs, int *vals, char *chars, int &nv, int &nc) {
  constexpr char kind = S.kind[I];
  constexpr int st = S.start[I];
  if constexpr (kind == 'L') {
    return s[st] == S.lit[I];
  } else if constexpr (kind == 'C') {
    chars[nc++] = s[st];
    return true;
  } else if constexpr (kind == 'A') {
    return true;
  } else {
    constexpr int w = S.width[I];
    constexpr std::uint64_t span = [] {
      std::uint64_t m = 0;
      for (int k = 0; k < w; ++k) m |= std::uint64_t{1} << (8 * (st + k));
      return m;
    }();
    const std::uint64_t slashes = (figs >> 4) & span;
    int v;
    if (slashes == 0) {
      v = 0;
      for (int k = 0; k < w; ++k) v = v * 10 + static_cast<int>((figs >> (8 * (st + k))) & 0xF);
    } else {
      // All slashes are the marker; a partial field, or a slash without a
      // marker, does not fit.
      if (slashes != span || kind == 'N') return false;
      v = kMissI;
    }
    if constexpr (kind != 'X') vals[nv++] = v;
    return true;
  }
}

template <Shape S, int... I>
bool pieces(const char *s, int *vals, char *chars, std::integer_sequence<int, I...>) {
  const std::uint64_t figs = group_figs(s);
  int nv = 0, nc = 0;
  return (piece<S, I>(s, figs, vals, chars, nv, nc) && ...);
}

// State of one decoding call.
struct Decoder {
  parse_param p{};
  SFC_report *r = nullptr;
  bool trace = false;  // group traces enabled
  int iw = 1;          // wind unit: 1 knots, 2 metres per second
  int group = 0;       // section being decoded
  float t_c = kMissF;  // air temperature in Celsius (dew point from humidity)
  char buf[kScanpMaxCollect + 1];
  bool scan_trace = false;  // scanner traces on: every pattern goes through it
  int clean_off = -1;  // position clean_n was found for
  int clean_n = 0;

  // True when the current group begins with `c`: a pattern that starts with
  // a literal cannot match otherwise, so it is not tried.
  bool at(char c) const { return p.off < p.length && p.ptr[p.off] == c; }

  // First character of the group `skip` characters past the current position.
  char peek(int skip) const {
    const int i = p.off + skip;
    return (i >= 0 && i < p.length) ? p.ptr[i] : '\0';
  }

  // Length of the clean five-character group at the current position (five
  // figures or slashes and the white space after them), 0 when there is none.
  int clean_len() {
    if (clean_off != p.off) {
      clean_off = p.off;
      clean_n = clean_at(p.off);
    }
    return clean_n;
  }

  // The same at any offset. Out of line: it runs once per group, and a
  // copy at every pattern would crowd the instruction cache.
  [[gnu::noinline]] int clean_at(int off) const {
    const int avail = p.length - off;
    if (avail < 6) return 0;
    const char *s = p.ptr + off;
    if (avail >= 8) {
      // All five bytes in "/".."9" at once: with the top bit of each byte
      // clear, adding 0x51 sets it from "/" up, adding 0x46 from ":" up.
      std::uint64_t x;
      std::memcpy(&x, s, sizeof x);
      constexpr std::uint64_t kLow7 = 0x7F7F7F7F7FULL, kTop = 0x8080808080ULL;
      const std::uint64_t x7 = x & kLow7;
      const std::uint64_t from_slash = (x7 + 0x5151515151ULL) & kTop;
      const std::uint64_t above_nine = (x7 + 0x4646464646ULL) & kTop;
      if ((from_slash & ~above_nine & ~x & kTop) != kTop) return 0;
      // Usually one blank follows, and then the next group.
      if (!is_blank(s[5])) return 0;
      if (!is_blank(s[6])) return 6;
    } else {
      for (int i = 0; i < 5; ++i)
        if (!kFig[static_cast<unsigned char>(s[i])]) return 0;
    }
    int n = 5;
    while (n < avail && is_blank(s[n])) ++n;
    return n > 5 ? n : 0;
  }

  // Tries one group: true when it is taken, that is when all `nconv`
  // conversions of `pat` match and the group and its blank are consumed;
  // the values are then stored through `args` as the scanner would store
  // them. Nearly every group is a clean five-character one, and those are
  // matched directly against `S`, the pattern's five-character form; any
  // other text goes through the scanner with `pat`, so both give the same
  // result.
  template <Shape S, class... Args>
  bool fits(const char *pat, int nconv, Args *...args) {
    if constexpr (S.kind[0] == 'L') {
      if (!at(S.lit[0])) return false;
    }
    const int n = clean_len();
    if (n == 0 || scan_trace) return scanp(&p, pat, args...) == nconv && p.len > 5;
    // Unused by the patterns that store nothing.
    [[maybe_unused]] int vals[5];
    [[maybe_unused]] char chars[5];
    if (!pieces<S>(p.ptr + p.off, vals, chars, std::make_integer_sequence<int, S.n>{}))
      return false;
    p.len = n;
    [[maybe_unused]] int iv = 0, ic = 0;
    (store(args, vals, chars, iv, ic), ...);
    return true;
  }

  // The same for a pattern of two groups (the ship's position), taken when
  // both groups and their blanks are consumed; each group stores ints only.
  template <Shape S1, Shape S2>
  bool fits2(const char *pat, int nconv, int *a, int *b, int *c) {
    if constexpr (S1.kind[0] == 'L') {
      if (!at(S1.lit[0])) return false;
    }
    const int n1 = clean_len();
    const int n2 = n1 > 0 ? clean_at(p.off + n1) : 0;
    if (n2 == 0 || scan_trace) return scanp(&p, pat, a, b, c) == nconv && p.len > 10;
    int vals[10];
    char chars[1];
    if (!pieces<S1>(p.ptr + p.off, vals, chars, std::make_integer_sequence<int, S1.n>{}))
      return false;
    constexpr int k = [] {
      int m = 0;
      for (int i = 0; i < S1.n; ++i) m += S1.kind[i] == 'M' || S1.kind[i] == 'N';
      return m;
    }();
    if (!pieces<S2>(p.ptr + p.off + n1, vals + k, chars, std::make_integer_sequence<int, S2.n>{}))
      return false;
    p.len = n1 + n2;
    *a = vals[0];
    *b = vals[1];
    *c = vals[2];
    return true;
  }

  static void store(int *out, const int *vals, const char *, int &iv, int &) { *out = vals[iv++]; }
  static void store(char *out, const int *, const char *chars, int &, int &ic) {
    *out = chars[ic++];
  }

  // The scanner's `pat`, an "%s " conversion of at most `limit` characters
  // (80 or fewer) and a blank: the text up to the next white space and the
  // blank after it. Returns what scanp would (1, 0 when there is no such
  // text, -1 at the end) and sets len the same way; `out`, when given,
  // receives the text.
  [[gnu::noinline]] int word(const char *pat, int limit, char *out) {
    if (scan_trace) return out ? scanp(&p, pat, out) : scanp(&p, pat);
    p.len = 0;
    if (p.off >= p.length) return -1;
    const char *s = p.ptr + p.off;
    const int avail = p.length - p.off;
    int n = 0;
    const int most = avail < limit ? avail : limit;
    while (n < most && !kSpace[static_cast<unsigned char>(s[n])]) ++n;
    if (n == 0) return 0;
    if (out) {
      for (int i = 0; i < n; ++i) out[i] = s[i];  // short: no string move
      out[n] = '\0';
    }
    while (n < avail && is_blank(s[n])) ++n;
    p.len = n;
    return 1;
  }

  // The scanner's "%*(333) " and "%*(555) ": true when the section
  // indicator `mark` (three characters) and a blank are at the position.
  bool section_mark(const char *mark, const char *pat) {
    if (!at(mark[0])) return false;
    if (scan_trace) return scanp(&p, pat) == 1 && p.len > 3;
    const char *s = p.ptr + p.off;
    const int avail = p.length - p.off;
    if (avail < 4 || s[1] != mark[1] || s[2] != mark[2]) return false;
    int n = 3;
    while (n < avail && is_blank(s[n])) ++n;
    p.len = n;
    return n > 3;
  }

  // Traces a taken group with its label and steps past it.
  void take(const char *label) {
    if (trace) MESS_print(kTraceGroup, label, scanp_str(&p));
    p.off += p.len;  // as scanp_inc
  }

  // Passes over a group its pattern did not take: a clean five-figure
  // group (digits and "/" only) that begins with the indicator `ind` (may be
  // empty) is one of the expected kind with a figure missing, so it is
  // stepped over, its fields left missing, rather than ending the section.
  // Anything else stays where it is. The same on either matching path.
  bool pass_over(const char *ind, const char *label) {
    const int n = clean_len();
    if (n == 0) return false;
    for (int i = 0; ind[i] != '\0'; ++i)
      if (p.ptr[p.off + i] != ind[i]) return false;
    p.len = n;
    take(label);
    return true;
  }
};

// ---------------------------------------------------------------------------
// Section 1 of land and ship reports.

void decode_section1(Decoder &d, int type) {
  SFC_report *r = d.r;
  int a = 0, b = 0, c = 0;

  // iRixhVV: a ship may give its visibility in the sea code 90..99.
  bool vis_taken = false;
  int ix = kMissI, h = kMissI;
  float vis = kMissF;
  if (type == 2 && d.fits<"ABc9d">("%1d%1d%1!/!d9%1!/!d ", 4, &a, &ix, &h, &b)) {
    vis = miss(b) ? kMissF : SYN_visibility(90 + b);
    vis_taken = true;
    d.take("S-iihVV: %5.5s\n");
  } else if (d.fits<"ABcdd">("%1d%1d%1!/!d%2!//!d ", 4, &a, &ix, &h, &b)) {
    vis = miss(b) ? kMissF : SYN_visibility(b);
    vis_taken = true;
    d.take("iihVV: %5.5s\n");
  }
  // Station types 4 to 7 are automatic; only type 7 reports its weather in
  // the automatic-station code.
  bool auto_weather = false;
  if (vis_taken) {
    if (ix >= 4 && ix <= 7) r->type |= 16;
    auto_weather = ix == 7;
    r->cld_height[0] = SYN_ceiling(h);
    r->vis = vis;
  }

  // Nddff
  char n = ' ';
  bool wind_done = false;
  if (d.fits<"*aabb">("%1c%2!//!d%2!//!d ", 3, &n, &a, &b)) {
    wind_done = true;
    if (n == '/') {
      r->cld_cover[0] = ' ';
      r->cld_height[0] = kMissF;
    } else {
      r->cld_cover[0] = n;
      if (n < '2') r->cld_height[0] = kMissF;  // clear or one okta: no base to speak of
      r->num_cld = 1;
    }
    store_wind(r, a, b, d.iw);
    d.take("Nddff: %5.5s\n");
  } else if (vis_taken) {
    wind_done = d.pass_over("", "Nddff (not kept): %5.5s\n");
  }
  // From here on every group begins with its own indicator figure, so one
  // that does not fit its pattern (a figure reported as "/", an undefined
  // sign) is known by that figure and passed over instead of ending the
  // section. Before the position is past Nddff a group cannot be told apart.
  const bool by_indicator = vis_taken && wind_done;
  auto pass = [&](const char *ind, const char *label) {
    return by_indicator && d.pass_over(ind, label);
  };

  // 00fff: speeds of 99 units or more.
  if (d.fits<"00aaa">("00%3!///!d ", 1, &a)) {
    if (!miss(a)) r->w_spd = knots(a, d.iw);
    d.take("00fff: %5.5s\n");
  } else {
    pass("00", "00fff (not kept): %5.5s\n");
  }

  // 1snTTT
  if (d.fits<"1abbc">("1%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    d.t_c = celsius(a == 1, b, c);
    r->t = to_fahrenheit(d.t_c);
    d.take("1sTTT: %5.5s\n");
  } else {
    pass("1", "1sTTT (not kept): %5.5s\n");
  }

  // 2snTdTdTd, or 29UUU (relative humidity) turned into a dew point.
  bool dew_taken = false;
  if (d.fits<"2abbc">("2%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    dew_taken = a <= 1 || a == 9;
    if (a <= 1) {
      r->td = to_fahrenheit(celsius(a == 1, b, c));
      d.take("2sTTT: %5.5s\n");
    } else if (a == 9) {
      const int rh = (miss(b) || miss(c) || b < 0) ? kMissI : b * 10 + c;
      if (!miss(d.t_c) && !miss(rh) && rh <= 100) {
        const float dew_k = dew_temp(d.t_c + 273.15f, static_cast<float>(rh));
        if (!miss(dew_k) && dew_k > 0.0f) r->td = to_fahrenheit(dew_k - 273.15f);
      }
      d.take("29UUU: %5.5s\n");
    }
  }
  // Also sign figures 2 to 8; but 222 opens the ship section.
  if (!dew_taken && !(d.peek(1) == '2' && d.peek(2) == '2'))
    pass("2", "2sTTT (not kept): %5.5s\n");

  // 3P0P0P0P0: station pressure, not kept.
  if (d.fits<"3aaab">("3%3!///!d%1!/!d ", 2, &a, &b)) {
    d.take("3PPPP: %5.5s\n");
  } else {
    pass("3", "3PPPP (not kept): %5.5s\n");
  }

  // 4PPPP: sea-level pressure; out of range (and the 4a3hhh height groups
  // of high stations) means missing.
  if (d.fits<"4aaab">("4%3!///!d%1!/!d ", 2, &a, &b)) {
    float pmb = kMissF;
    if (!miss(a)) {
      double v = a < 500 ? a + 1000 : a;
      if (!miss(b)) v += tenths_d(b);
      pmb = static_cast<float>(v);
      if (pmb < 900.0f || pmb >= 1090.0f) pmb = kMissF;
    }
    r->pmb = pmb;
    d.take("4PPPP: %5.5s\n");
  } else {
    pass("4", "4PPPP (not kept): %5.5s\n");
  }

  // 5appp
  if (d.fits<"5abbc">("5%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->ptend_t = a;
    r->ptend = pressure_change(a, b, c);
    d.take("5appp: %5.5s\n");
  } else {
    pass("5", "5appp (not kept): %5.5s\n");
  }

  // 6RRRtR
  if (d.fits<"6aaab">("6%3!///!d%1!/!d ", 2, &a, &b)) {
    store_precip(r, a, b);
    d.take("6RRRt: %5.5s\n");
  } else {
    pass("6", "6RRRt (not kept): %5.5s\n");
  }

  // 7wwW1W2
  if (d.fits<"7aabb">("7%2!//!d%2!//!d ", 2, &a, &b)) {
    if (auto_weather)
      SYN_auto_weather(a, r->weather);
    else
      SYN_weather(a, r->weather);
    d.take("7wwWW: %5.5s\n");
  } else if (by_indicator && d.at('7') && d.clean_len() > 0) {
    // W1W2 is not used: a "/" there does not cost the present weather.
    const char *g = d.p.ptr + d.p.off;
    const bool digits = rd_digit(g[1]) && rd_digit(g[2]);
    if (digits || (g[1] == '/' && g[2] == '/')) {
      const int ww = digits ? (g[1] - '0') * 10 + (g[2] - '0') : kMissI;
      if (auto_weather)
        SYN_auto_weather(ww, r->weather);
      else
        SYN_weather(ww, r->weather);
      pass("7", "7wwWW: %5.5s\n");
    } else {
      pass("7", "7wwWW (not kept): %5.5s\n");
    }
  }

  // 8NhCLCMCH
  char cl[4] = {};
  if (d.fits<"8****">("8%1c%1c%1c%1c ", 4, &cl[0], &cl[1], &cl[2], &cl[3])) {
    for (char &x : cl)
      if (x == '/') x = '-';
    r->cld_low = cl[0];
    r->cld_type[0] = cl[1];
    r->cld_type[1] = cl[2];
    r->cld_type[2] = cl[3];
    d.take("8NCCC: %5.5s\n");
  }  // any five figures fit: nothing to pass over

  // 9GGgg: exact time of observation; minutes only with their hour.
  if (d.fits<"9aabb">("9%2!//!d%2!//!d ", 2, &a, &b)) {
    if (!miss(a)) {
      r->time = a * 100;
      if (!miss(b)) r->time += b;
    }
    d.take("9GGgg: %5.5s\n");
  } else {
    pass("9", "9GGgg (not kept): %5.5s\n");
  }
}

// ---------------------------------------------------------------------------
// Section 2 (ships): sea temperature and waves. Shared with the buoy decoder.

void decode_section2_groups(Decoder &d) {
  SFC_report *r = d.r;
  int a = 0, b = 0, c = 0;
  if (d.fits<"0abbc">("0%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->sst = celsius(sst_negative(a), b, c);
    d.take("0sTTT: %5.5s\n");
  }
  if (d.fits<"1????">("1%*4s ", 1)) d.take("1PPHH: %5.5s\n");
  if (d.fits<"2aabb">("2%2!//!d%2!//!d ", 2, &a, &b)) {
    if (!miss(a)) r->wav_per = static_cast<float>(a);
    if (!miss(b)) r->wav_hgt = static_cast<float>(b) / 2.0f;  // half metres
    d.take("2PPHH: %5.5s\n");
  }
  if (d.fits<"3????">("3%*4s ", 1)) d.take("3dddd: %5.5s\n");
  if (d.fits<"4????">("4%*4s ", 1)) d.take("4PPHH: %5.5s\n");
  if (d.fits<"5????">("5%*4s ", 1)) d.take("5PPHH: %5.5s\n");
  if (d.fits<"6????">("6%*4s ", 1)) d.take("6IEER: %5.5s\n");
  if (d.fits<"70aaa">("70%3!///!d ", 1, &a)) {
    if (!miss(a)) r->wav_hgt = static_cast<float>(a) / 10.0f;  // tenths of a metre
    d.take("70HHH: %5.5s\n");
  }
}

void decode_section2(Decoder &d) {
  if (d.fits<"222xx">("%*(222)%*2!//!d ", 2)) {
    d.take("222: %5.5s\n");
    d.group = 2;
  }
  if (d.group == 2) decode_section2_groups(d);
}

// ---------------------------------------------------------------------------
// Section 3 (regional): extremes, snow depth, sunshine, precipitation.

bool is_section3_mark(Decoder &d) {
  return d.section_mark("333", "%*(333) ");
}

// Passes over every group up to "333" (or to the end of the text).
void search_section3(Decoder &d) {
  while (!is_section3_mark(d)) {
    if (d.word("%*s ", kScanpMaxCollect, nullptr) != 1) return;
    d.take("-->333: %5.5s\n");
  }
}

// 1snTxTxTx. Stations whose identifier begins with 17 report another
// quantity in this group at 0000 and 1200: it is passed over, not kept.
void try_max_temp(Decoder &d) {
  int a = 0, b = 0, c = 0;
  if (!d.fits<"1abbc">("1%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) return;
  SFC_report *r = d.r;
  if (r->id[0] == '1' && r->id[1] == '7' && (r->time == 0 || r->time == 1200)) {
    d.take("1sTTT (not kept): %5.5s\n");
    return;
  }
  r->max_t = to_fahrenheit(celsius(a == 1, b, c));
  d.take("1sTTT: %5.5s\n");
}

// Radiation groups after 55SSS or 553SS: 0FFFF..5FFFF in rising order, then
// 6FFFF groups as long as another 6-group (the precipitation one) follows.
// A further 55-group is the next sunshine period (55SSS then 553SS) with
// radiation groups of its own; "/////" is a radiation group not reported.
void skip_radiation(Decoder &d) {
  int prev = -1;
  while (d.word("%s ", kScanpMaxCollect, d.buf) == 1) {
    if (std::strlen(d.buf) != 5) return;  // "555", "333" and odd groups end it
    const int fig = d.buf[0] - '0';
    if (d.buf[0] == '5' && d.buf[1] == '5') {
      prev = -1;
    } else if (std::strcmp(d.buf, "/////") == 0) {
      // its figure is unknown: the order goes on from the group before
    } else if (fig >= 0 && fig <= 5 && fig > prev) {
      prev = fig;
    } else if (fig == 6 && d.peek(d.p.len) == '6') {
      prev = fig;
    } else {
      return;
    }
    d.take("5.... (.....): %5.5s\n");
  }
}

void decode_section3(Decoder &d) {
  SFC_report *r = d.r;
  if (is_section3_mark(d)) {
    d.take("333: %3.3s\n");
    d.group = 3;
  }
  if (d.group != 3) return;
  int a = 0, b = 0, c = 0;

  if (d.fits<"0????">("0%*4s ", 1)) d.take("0....: %5.5s\n");
  try_max_temp(d);
  if (d.fits<"2abbc">("2%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c) && a != 9) {
    r->min_t = to_fahrenheit(celsius(a == 1, b, c));
    d.take("2sTTT: %5.5s\n");
  }
  if (miss(r->max_t)) try_max_temp(d);  // the maximum may follow the minimum
  if (d.fits<"3????">("3%*4s ", 1)) d.take("3Ejjj: %5.5s\n");
  if (d.fits<"4abbb">("4%1!/!d%3!///!d ", 2, &a, &b)) {
    if (!miss(b)) r->scover = static_cast<float>(b / 2.54);  // cm to inches
    d.take("4Esss: %5.5s\n");
  }
  for (int i = 0; i < 5; ++i) {
    // Five-figure groups only: "555" is the next section, not a 5-group.
    // A failed attempt would fail again at the same place.
    if (!d.fits<"5a???">("5%1!/!d%*s ", 2, &a)) break;
    d.take("5.... (.....): %5.5s\n");
    if (a == 5) skip_radiation(d);  // 55SSS, 553SS
  }
  if (d.fits<"6aaab">("6%3!///!d%1!/!d ", 2, &a, &b)) {
    store_precip(r, a, b);
    d.take("6RRRt: %5.5s\n");
  }
  if (d.fits<"7aaaa">("7%4!////!d ", 1, &a)) {
    if (a == 9999)
      r->rain24 = 0.0f;  // trace
    else
      r->rain24 = miss(a) ? kMissF : static_cast<float>(a / 254.0);  // tenths of mm
    d.take("7RRRR: %5.5s\n");
  }
}

void decode_section5(Decoder &d) {
  if (d.section_mark("555", "%*(555) ")) {
    d.take("555: %3.3s\n");
    d.group = 5;
  }
}

void trace_left(const Decoder &d) {
  if (d.trace) MESS_print(kTraceGroup, "LEFT: %s\n", d.p.ptr + d.p.off);
}

int auto_weather(int wx, char *wx_str) {
  const char *s = (wx >= 0 && wx <= 99) ? kWawaText[static_cast<std::size_t>(wx)] : " ";
  copy_text(wx_str, 7, s);
  return 0;
}

float visibility(int vis) {
  if (vis <= 50) return static_cast<float>(vis) / 16.0f;  // tenths of km
  if (vis <= 80) return static_cast<float>((vis - 50) / 1.6);
  if (vis <= 89) return static_cast<float>((30 + 5 * (vis - 80)) / 1.6);
  if (vis <= 99) return kVisSea[vis - 90];
  return kMissF;
}

float ceiling(int cb) {
  return (cb >= 0 && cb <= 9) ? kTable1600[cb] : kMissF;
}

int decode(const char *data, int type, SFC_report *report) {
  if (data == nullptr || report == nullptr) return 0;
  Decoder d;
  d.r = report;
  const M_type level = MESS_get();
  d.trace = (level & kTraceGroup) != 0;
  d.scan_trace = (level & kTraceScan) != 0;
  scanp_set(&d.p, data);

  // Identification.
  char ident[kScanpMaxCollect + 1];
  ident[0] = '\0';
  if (d.word("%<40s ", 40, ident) != 1 || d.p.len <= 3) {
    if (level & kTraceIdent) MESS_print(kTraceIdent, "Invalid ident: %s\n", ident);
    return 0;
  }
  SFC_report *r = report;
  if (type == 4 || type == 2) {
    copy_text(r->id, sizeof r->id, type == 4 ? "b" : "s", ident);
    r->wmo = 99999;
  } else {
    r->wmo = leading_number(ident);
    copy_text(r->id, sizeof r->id, ident);
  }
  if (level & kTraceIdent) MESS_print(kTraceIdent, "ID/Abnnn: %s\n", r->id);
  scanp_inc(&d.p);

  r->type = 1;
  r->time = SYN_get_prhour();
  copy_text(r->area, sizeof r->area, type == 16 ? "CM" : "LA");
  if (type == 1 || type == 16) {
    // Land and coastal stations give their wind unit on the section line.
    const int iw = SYN_get_iw();
    d.iw = (iw == 0 || iw == 1) ? 2 : 1;
  }

  if (type == 2 || type == 4) {
    copy_text(r->area, sizeof r->area, type == 2 ? "SH" : "BU");
    int dy = 0, hr = 0, iw = 0;
    if (d.fits<"aabbc">("%2!//!d%2!//!d%1!/!d ", 3, &dy, &hr, &iw)) {
      r->time = miss(hr) ? kMissI : hr * 100;
      if (iw == 0 || iw == 1) d.iw = 2;
      if (iw == 3 || iw == 4) d.iw = 1;
      d.take("YYGGI: %5.5s\n");
    }
    int la = 0, q = 0, lo = 0;
    if (d.fits2<"99aaa", "bcccc">("99%3!///!d %1!/!d%4!////!d ", 3, &la, &q, &lo)) {
      // A missing half of the position stays missing rather than -999.9.
      r->lat = miss(la) ? kMissF : on_globe(static_cast<float>(la) / 10.0f, 90.0f);
      r->lon = miss(lo) ? kMissF : on_globe(static_cast<float>(lo) / 10.0f, 180.0f);
      if (!miss(r->lat) && (q == 3 || q == 5)) r->lat = -r->lat;
      if (!miss(r->lon) && !miss(q) && q > 4) r->lon = -r->lon;
      r->wmo = 99999;
      r->elev = 0.0f;
      r->prior = 4;
      d.take("99LLL QLLLL: %11.11s\n");
    }
  }

  if (type == 8) {
    if (d.trace) MESS_print(kTraceGroup, "DRIBU\n");
    return SYN_decode_dribu(data, report);
  }

  d.group = 1;
  decode_section1(d, type);
  decode_section2(d);
  search_section3(d);
  decode_section3(d);
  decode_section5(d);
  trace_left(d);
  return 1;
}

int decode_dribu(const char *data, SFC_report *report) {
  if (data == nullptr || report == nullptr) return 1;
  Decoder d;
  d.r = report;
  d.trace = MESS_check(kTraceGroup) != 0;
  d.scan_trace = MESS_check(kTraceScan) != 0;
  scanp_set(&d.p, data);
  SFC_report *r = report;

  copy_text(r->id, sizeof r->id, "DRIBU");
  r->type = 1;
  r->time = SYN_get_prhour();
  copy_text(r->area, sizeof r->area, "DR");
  r->wmo = 99999;
  r->elev = 0.0f;
  r->prior = 4;
  d.iw = 1;

  int a = 0, b = 0, c = 0;
  // YYMMJ
  if (scanp(&d.p, "%s ", d.buf) == 1 && d.p.len > 3) d.take("YYMMJ: %5.5s\n");
  // GGggiw
  if (d.fits<"aabbc">("%2!//!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    if (!miss(a)) {
      r->time = a * 100;
      if (!miss(b)) r->time += b;
    }
    if (c == 0 || c == 1) d.iw = 2;
    if (c == 3 || c == 4) d.iw = 1;
    d.take("GGggI: %5.5s\n");
  }
  // QcLaLaLaLaLa, then LoLoLoLoLoLo; the quadrant is applied once both are read.
  int quadrant = kMissI;
  if (scanp(&d.p, "%1!/!d%4!////!d%1!/!d ", &a, &b, &c) == 3 && d.p.len >= 7) {
    quadrant = a;
    if (!miss(b))
      r->lat = on_globe(static_cast<float>(b / 100.0 + (miss(c) ? 0.0 : c / 1000.0)), 90.0f);
    d.take("QLLLLL: %6.6s\n");
  }
  if (scanp(&d.p, "%5!////!d%1!/!d ", &a, &b) == 2 && d.p.len >= 7) {
    if (!miss(a))
      r->lon = on_globe(static_cast<float>(a / 100.0 + (miss(b) ? 0.0 : b / 1000.0)), 180.0f);
    // Without a latitude group there is no quadrant: signs stay as read.
    if (!miss(quadrant)) {
      if (!miss(r->lat) && (quadrant == 3 || quadrant == 5)) r->lat = -r->lat;
      if (!miss(r->lon) && quadrant > 4) r->lon = -r->lon;
    }
    d.take("LLLLLL: %6.6s\n");
  }
  if (d.at('6') && scanp(&d.p, "6%s ", d.buf) == 1 && d.p.len > 5) d.take("6QQ//: %5.5s\n");
  if (d.fits<"111xx">("111%*2!//!d ", 1)) {
    d.group = 1;
    d.take("111QQ: %5.5s\n");
  }
  if (d.fits<"0aabb">("0%2!//!d%2!//!d ", 2, &a, &b)) {
    store_wind(r, a, b, d.iw);
    d.take("Nddff: %5.5s\n");
  }
  if (d.fits<"1abbc">("1%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->t = to_fahrenheit(celsius(a == 1, b, c));
    d.take("1sTTT: %5.5s\n");
  }
  if (d.fits<"2abbc">("2%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c) &&
      a <= 1) {
    r->td = to_fahrenheit(celsius(a == 1, b, c));
    d.take("2sTTT: %5.5s\n");
  }
  if (d.fits<"3????">("3%*4s ", 1)) d.take("3PPPP: %5.5s\n");
  if (d.fits<"4aaab">("4%3!///!d%1!/!d ", 2, &a, &b)) {
    if (!miss(a)) {
      double v = a < 500 ? a + 1000 : a;
      if (!miss(b)) v += b / 10.0;
      r->pmb = static_cast<float>(v);
    }
    d.take("4PPPP: %5.5s\n");
  }
  if (d.fits<"5abbc">("5%1!/!d%2!//!d%1!/!d ", 3, &a, &b, &c)) {
    r->ptend_t = a;
    r->ptend = pressure_change(a, b, c);
    d.take("5appp: %5.5s\n");
  }
  if (d.fits<"222xx">("%*(222)%*2!//!d ", 2)) {
    d.group = 2;
    d.take("222: %5.5s\n");
  }
  if (d.group == 2) decode_section2_groups(d);
  trace_left(d);
  return 1;
}

}  // namespace dec
}  // namespace

int SYN_weather(int wx, char *wx_str) { return WX_wmo_weather(wx, wx_str); }
int SYN_auto_weather(int wx, char *wx_str) { return dec::auto_weather(wx, wx_str); }
float SYN_visibility(int vis) { return dec::visibility(vis); }
float SYN_ceiling(int cb) { return dec::ceiling(cb); }
int SYN_decode(const char *data, int type, SFC_report *report) {
  return dec::decode(data, type, report);
}
int SYN_decode_dribu(const char *data, SFC_report *report) {
  return dec::decode_dribu(data, report);
}
