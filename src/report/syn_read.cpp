// Bulletin reader of the synoptic converter and its section state.
#include "report/syn_read.hpp"

#include <sys/stat.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "framework/mess.hpp"
#include "framework/string.hpp"

// ===========================================================================
// Section state, set by the reader, read by the report loop and the
// decoders. One instance per process.
namespace {

ReportType rep_type = ReportType::land;  // report type of the section being read
int prhour = 0;     // hhmm of the latest heading or section line
int text_len = 0;   // length of the latest report text
int sect_iw = -1;   // wind indicator iw of the latest AAXX/CMAN line, -1 not given

}  // namespace

ReportType SYN_get_rep_type() { return rep_type; }
int SYN_get_prhour() { return prhour; }
int SYN_get_iw() { return sect_iw; }
int SYN_read_len() { return text_len; }
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
constexpr std::uint64_t kEachByte = 0x0101010101010101ULL;  // words of 8 bytes looked at at once
constexpr std::uint64_t kTopBits = 0x8080808080808080ULL;

// The look-ahead line, with room after it for the word-wide token search
// (which may look up to 24 bytes past a token's start).
char line[kLineMax + 1 + 32];
int line_len = 0;          // 0 too whenever have_line is false (every reset of it sets both)
bool have_line = false;   // the look-ahead holds a line not yet consumed
// A text line longer than one read comes in pieces; the pieces after the
// first are the same line, not new ones.
bool line_more = false;   // the look-ahead piece was cut: its line goes on
bool line_cont = false;   // the look-ahead piece goes on from the piece before

// White space of the look-ahead line, which every text read by a format
// comes from: it is cleaned (control bytes are blanks), so the blank is the
// only one left.
constexpr bool rd_space(char c) { return c == ' '; }
using tv::is_digit;

// Lines are found in the reader's own buffer. A bulletin file on disk fills
// it in large blocks; any other stream (a terminal, a pipe, a memory
// stream) one line at a time through fgets, so that each line is taken as
// soon as it arrives. The buffer belongs to one stream: another stream, or
// the reset, starts it afresh.
//
// A file on disk is read in whole 64 KiB blocks: stdio then reads them
// straight into this buffer instead of through its own (the run gives the
// stream a buffer of that size). The room past them holds what is left of
// the block before, and the slack at the end lets a line be cleaned, or
// looked for, in steps of 16 bytes that may read past its end.
constexpr int kFileRead = 1 << 16;
constexpr int kBlockCap = kFileRead + 1024;
constexpr int kSlack = 128;

struct Block {
  FILE *src = nullptr;   // the stream the buffered bytes come from
  bool regular = false;  // that stream is a file on disk
  FILE *disk = nullptr;  // src when it is a file on disk, else null: both asked at once
  int pos = 0;           // unread bytes: data[pos, end)
  int end = 0;
  // Where the first carriage return at or after the bytes last searched
  // is, or where that search stopped (at `end`, or at most kCrReach bytes
  // on: most lines of a file on disk are read whole from the block and
  // never searched); below `pos` it is to be searched again. Lines of a
  // file without carriage returns then cost no search each.
  int cr = -1;
  // The last line read ended at a line feed: the next one most likely will
  // too, and is first looked for the short way (files with lone carriage
  // returns would look for every line twice).
  bool lf_lines = true;
  char data[kBlockCap + kSlack];
};
Block block;

void block_bind(FILE *f) {
  block.src = f;
  block.pos = block.end = 0;
  block.cr = -1;
  block.lf_lines = true;
  struct stat st;
  const int fd = fileno(f);
  block.regular = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  block.disk = block.regular ? f : nullptr;
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
  block.cr = -1;
  const int room = kBlockCap - block.end;
  int got = 0;
  if (block.regular) {
    const int want = room >= kFileRead ? kFileRead : room;
    got = static_cast<int>(fread_unlocked(block.data + block.end, 1, static_cast<size_t>(want), f));
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
    block.cr = -1;
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

// The first carriage return of the piece of `n` bytes at `buf` (in the
// buffer), or null. The buffered bytes are searched in long stretches, not
// line by line.
constexpr int kCrReach = 128;  // most lines of the long way are a bulletin's first two
static_assert(kCrReach > kLineMax, "a stretch covers a piece");
const char *piece_cr(const char *buf, int n) {
  const int from = static_cast<int>(buf - block.data);
  if (block.cr < from || (block.cr < from + n && block.data[block.cr] != '\r')) {
    const int to = block.end - from > kCrReach ? from + kCrReach : block.end;
    const void *c = std::memchr(buf, '\r', static_cast<size_t>(to - from));
    block.cr = c ? static_cast<int>(static_cast<const char *>(c) - block.data) : to;
  }
  return block.cr < from + n ? block.data + block.cr : nullptr;
}

// Copies n bytes, control and non-ASCII bytes turned to blanks (as a
// signed char, both are below 32). Whole steps of 16 bytes, which the
// compiler turns into vector code with no tail: up to 15 bytes past `n`
// are read and written, which both buffers have room for.
void clean_copy(char *dst, const char *src, int n) {
  for (int i = 0; i < n; i += 16) {
    for (int j = 0; j < 16; ++j) {
      // The larger of the byte and the blank, compared as signed chars:
      // compared unsigned with the sign bit flipped, which is one vector
      // instruction (a plain select takes four).
      const auto u = static_cast<unsigned char>(src[i + j] ^ 0x80);
      dst[i + j] = static_cast<char>((u < 0xA0 ? 0xA0 : u) ^ 0x80);
    }
  }
}
static_assert(sizeof line >= (kLineMax + 15) / 16 * 16 + 1, "the look-ahead holds a line cleaned in steps of 16");
static_assert(kSlack >= 16, "a piece at the end of the buffer is cleaned in steps of 16");

[[gnu::noinline]] bool read_any_line(FILE *f);

// Sets the look-ahead to the cleaned line of n bytes at `s`, trimmed.
[[gnu::always_inline]] inline void take_line(const char *s, int n) {
  clean_copy(line, s, n);
  while (n > 0 && line[n - 1] == ' ') --n;
  line[n] = '\0';
  line_len = n;
  have_line = true;
  line_cont = line_more = false;
}

// Reads the next line (or the next 100-character piece of a longer one)
// into the look-ahead, cleaned and trimmed. A line ends at a line feed or
// at carriage returns that no line feed follows; a last line without
// either is a line like any other. A NUL byte is a control byte like the
// rest and becomes a blank instead of cutting the line. Returns false when
// the stream has no more characters.
[[gnu::always_inline]] inline bool read_line(FILE *f) {
  // Most lines come from a file on disk, their line feed among the bytes
  // buffered already, no cut piece before them, and no carriage return in
  // them but those right before the line feed (CR LF, CR CR LF), which end
  // the line as the line feed does.
  if (f == block.disk && block.lf_lines && !line_more) [[likely]] {
    constexpr int kLook = kLineMax + 1;
    const int avail = block.end - block.pos;
    const char *s = block.data + block.pos;
    const auto *nl = static_cast<const char *>(std::memchr(s, '\n', static_cast<size_t>(avail < kLook ? avail : kLook)));
    if (nl) {
      const int n = static_cast<int>(nl - s);
      int end = n;
      if (const char *cr = n > 0 ? piece_cr(s, n) : nullptr) {
        end = static_cast<int>(cr - s);
        for (int j = end; j < n; ++j)
          if (s[j] != '\r') return read_any_line(f);  // a lone one, inside the line
      }
      block.pos += n + 1;
      take_line(s, end);
      return true;
    }
  }
  return read_any_line(f);
}

// Any line: from any stream, cut or ended by carriage returns.
bool read_any_line(FILE *f) {
  if (f != block.src) block_bind(f);
  const char *buf = nullptr;
  int n = 0;
  bool cut = false;
  if (!block_piece(f, buf, n, cut)) {
    block.lf_lines = true;
    line[0] = '\0';
    line_len = 0;
    have_line = false;
    line_more = line_cont = false;
    return false;
  }
  block.lf_lines = block.pos == static_cast<int>(buf - block.data) + n + 1;
  clean_copy(line, buf, n);
  // Cleaned to blanks already, carriage returns before a line feed are
  // trimmed below; a lone one ends the line.
  if (const char *cr = n > 0 ? piece_cr(buf, n) : nullptr) lone_cr(f, buf, static_cast<int>(cr - buf), n, cut);
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
  if (line_cont && n == 0) return read_any_line(f);
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
// no branch per character to guess. Up to the terminator a cleaned line
// holds only bytes from the blank to 0x7F, so the first byte below 0x21 is
// the one: subtracting 0x21 from each byte sets the top bit of that byte
// first (a borrow only runs on from a byte that is itself below 0x21, so
// only bytes after it can be marked wrongly).
int token_stop(const char *s) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t w;
    std::memcpy(&w, s, sizeof w);
    const std::uint64_t m = (w - 0x21 * kEachByte) & ~w & kTopBits;
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
[[gnu::always_inline]] inline bool token_is_num(const Token &t) {
  if (t.len == 0) return false;
  if constexpr (std::endian::native == std::endian::little) {
    // A token of up to 8 characters without a sign, all looked at at once
    // (the word may reach past the token: those bytes are masked off). A
    // digit is 0x30 to 0x39: its high half is 3 before and after adding 6.
    if (t.len <= 8 && t.text[0] != '-') {
      std::uint64_t w;
      std::memcpy(&w, t.text, sizeof w);
      const std::uint64_t mask = (t.len == 8 ? ~0ULL : (1ULL << (8 * t.len)) - 1) & (0xF0 * kEachByte);
      const std::uint64_t want = 0x30 * kEachByte & mask;
      return (w & mask) == want && ((w + 0x06 * kEachByte) & mask) == want;
    }
  }
  for (int i = t.text[0] == '-' ? 1 : 0; i < t.len; ++i)
    if (!is_digit(t.text[i])) return false;
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
  while (used < width && is_digit(*p)) {
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

// Compared byte by byte, not through strncmp: the prefixes are a few
// characters (a shorter `s` differs at its terminator, read last).
template <size_t N>
bool starts_with(const char *s, const char (&prefix)[N]) {
  for (size_t i = 0; i + 1 < N; ++i)
    if (s[i] != prefix[i]) return false;
  return true;
}

// Section keywords and the report type each one opens. Mobile land
// stations (OOXX) have a type of their own that no start test accepts: their
// reports carry a position instead of a station number, and read as the
// previous section's kind they became invented records.
struct SectionKey {
  const char *word;
  int len;
  ReportType type;
};
constexpr SectionKey kSections[] = {
    {"AAXX", 4, ReportType::land},  {"CMAN", 4, ReportType::coastal},
    {"BBXX", 4, ReportType::ship},  {"SHIPS", 5, ReportType::ship},
    {"ZZYY", 4, ReportType::drifter}, {"OOXX", 4, ReportType::mobile_land},
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
[[gnu::noinline]] bool opens_section_at(const char *s) {
  if (starts_with(line, "** ") || starts_with(line, "AAX") || starts_with(line, "BBX")) return true;
  Token t;
  read_token(s, t);
  return section_of(t) != nullptr;
}

// Most lines are ruled out by their first character, without a call.
[[gnu::always_inline]] inline bool opens_section() {
  const char *s = line;
  while (*s == ' ') ++s;
  if (*s != '*' && !keyword_start(*s)) return false;
  return opens_section_at(s);
}

// The wind indicator of a YYGGiw group: its fifth figure, -1 when the group
// is not five characters long or that figure is not a digit.
int group_iw(const Token &tok) {
  if (tok.len != 5 || !is_digit(tok.text[4])) return -1;
  return tok.text[4] - '0';
}

// Copies n bytes (a line at most) in moves of 16, 8 or 4 bytes, the last
// one overlapping the one before: no call and no loop per byte, and not a
// byte past either end.
[[gnu::always_inline]] inline void copy_short(char *d, const char *s, int n) {
  if (n >= 16) {
    for (int i = 0; i + 16 < n; i += 16) std::memcpy(d + i, s + i, 16);
    std::memcpy(d + n - 16, s + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(d, s, 8);
    std::memcpy(d + n - 8, s + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + n - 4, s + n - 4, 4);
  } else {
    for (int i = 0; i < n; ++i) d[i] = s[i];
  }
}

// The report text being gathered, bounded so the closing blank still fits;
// SYN_read_raw terminates it when the report is complete.
struct Gather {
  char *data;
  int len = 0;
  void add(const char *s, int n) {
    if (n > kGatherMax - len) n = kGatherMax - len;
    if (n > 0) {
      std::memcpy(data + len, s, static_cast<size_t>(n));
      len += n;
    }
  }
  void set(const char *s, int n) {
    len = 0;
    add(s, n);
  }
  void add_blank_and(const char *s, int n) {
    if (len == kGatherMax) return;
    data[len++] = ' ';
    add(s, n);
  }
};

inline bool block_report(char *data, char *id, ReportType *type);

// Where the reading of one report stands. Each state has its step, a
// function that takes one line; the steps are inlined into the loop of
// SYN_read_raw, which runs for every line of every bulletin.
enum class ReadState {
  seek,      // no report started yet
  gather,    // a report is open, `lines` lines gathered
  ended,     // the last gathered line ended with "="
  complete,  // the report (or the input) is over
};

// One call of SYN_read_raw: its state and the line being looked at.
struct RawRead {
  FILE *file;
  Gather g;
  char *id;
  ReportType *type;
  bool t_line;
  bool t_read;
  ReadState state = ReadState::seek;
  int lines = 0;       // lines of the open report
  bool found = false;  // the current line was taken by a start or continuation test
  const char *ptr = line;  // where the useful text of the line begins
  int plen = 0;
  Token str1{};
  Token str2{};
  bool whole = false;  // the report was read whole from the block, its text complete

  // The state as the traces have always shown it.
  int done() const {
    switch (state) {
      case ReadState::seek: return 0;
      case ReadState::gather: return lines;
      case ReadState::ended: return -2;
      case ReadState::complete: break;
    }
    return -1;
  }
  int rtype() const { return type_bit(rep_type); }
};

// After a report ended by "=": a section-3 line ("  333 ...") still belongs
// to it; that "=" becomes a blank, so the group before it keeps its blank
// and decodes. Anything else leaves the report complete.
[[gnu::always_inline]] inline void after_mark(RawRead &rd, bool tests) {
  if (tests && !line_cont && starts_with(line, "  333")) {
    rd.state = ReadState::gather;
    rd.lines = 2;
    Gather &g = rd.g;
    if (g.len > 0 && g.data[g.len - 1] == '=') g.data[g.len - 1] = ' ';
  } else {
    rd.state = ReadState::complete;
  }
}

// Does the line after the current one start, in the buffered block, with a
// character that is neither a blank nor a control or non-ASCII byte? Then it
// is no "  333" line.
[[gnu::always_inline]] inline bool next_starts_plain(FILE *f) {
  if (f != block.src || !block.regular || block.pos >= block.end) return false;
  const char c = block.data[block.pos];
  return c > ' ' && c <= '~';
}

// Empties the look-ahead: the next line is read when it is needed.
void forget_line() {
  line[0] = '\0';
  line_len = 0;
  have_line = false;
  line_cont = false;
}

// Reads the next line into the look-ahead and applies the tests that end or
// continue the report; the input used up completes it. The rest of a line
// is neither tested nor a line of its own.
[[gnu::always_inline]] inline void advance(RawRead &rd, bool tests) {
  if (!line_more && (rd.state == ReadState::complete || (rd.state == ReadState::ended && next_starts_plain(rd.file)))) {
    // The next line cannot go on with the report: it stays in the block,
    // where the next call reads it (mostly the short way).
    rd.state = ReadState::complete;
    forget_line();
    return;
  }
  if (rd.state == ReadState::seek && !line_more && !rd.t_line && !rd.t_read && rd.file == block.src &&
      block.regular) {
    // Still looking for a report (past a heading or section line): the
    // next one may be read whole from the block.
    forget_line();
    if (block_report(rd.g.data, rd.id, rd.type)) {
      rd.state = ReadState::complete;
      rd.whole = true;
      return;
    }
  }
  if (!read_line(rd.file)) {
    rd.state = ReadState::complete;
    return;
  }
  if (rd.state == ReadState::ended) {
    after_mark(rd, tests);
  } else if (rd.state == ReadState::gather && tests && !line_cont && opens_section()) {
    rd.state = ReadState::complete;  // a new heading or section ends the report
  }
}

// Heading "** TTAAii CCCC YYGGgg": a new bulletin of land type.
void heading_line() {
  rep_type = ReportType::land;
  sect_iw = -1;
  const char *s = line + 2;
  int day = 0;
  int hhmm = 0;
  if (skip_word(s) && skip_word(s) && scan_int(s, 2, &day) && scan_int(s, 4, &hhmm)) prhour = hhmm;
}

// A section keyword line: the section's type, its hour and wind unit; the
// useful text starts past the keyword (and past the YYGGiw group when a
// report stands on the same line).
void section_line(RawRead &rd, const SectionKey &key) {
  rep_type = key.type;
  // Past the keyword and the blanks after it, wherever it stands.
  const char *ptr = line;
  while (*ptr == ' ') ++ptr;
  ptr += key.len;
  while (*ptr == ' ') ++ptr;
  scan_tokens(ptr, rd.str1, rd.str2);
  if (key.type == ReportType::land || key.type == ReportType::coastal) sect_iw = group_iw(rd.str1);
  if (key.type == ReportType::land && rd.str1.len > 0) {
    // The hour GG of the YYGGiw group, also when the first report
    // stands on this line: it is that report's time as well.
    const char *s = ptr;
    int day = 0;
    int hour = 0;
    if (scan_int(s, 2, &day) && scan_int(s, 2, &hour)) prhour = hour * 100;
    if (rd.str2.len != 0) {
      // The first report stands on the keyword line: start at its
      // identifier, after the YYGGiw group.
      while (*ptr && *ptr != ' ') ++ptr;
      while (*ptr == ' ') ++ptr;
    }
  }
  rd.ptr = ptr;
}

// Starts the report with the useful text of the line.
[[gnu::always_inline]] inline void start_report(RawRead &rd) {
  *rd.type = rep_type;
  // The text starts at its first group: leading blanks would hide the
  // identifier from the decoder.
  while (*rd.ptr == ' ') {
    ++rd.ptr;
    --rd.plen;
  }
  rd.g.set(rd.ptr, rd.plen);
  // The identifier is the first group; mostly the line's first token, read already.
  Token first = rd.str1;
  if (first.text != rd.ptr) {
    const char *s = rd.ptr;
    read_token(s, first);
  }
  copy_short(rd.id, first.text, first.len);
  rd.id[first.len] = '\0';
  rd.found = true;
  rd.state = ReadState::gather;
  rd.lines = 1;
}

[[gnu::always_inline]] inline void add_line(RawRead &rd) {
  rd.g.add_blank_and(rd.ptr, rd.plen);
  ++rd.lines;
}

// The first two tokens of the look-ahead line. In a land section the
// second is read only when the first could start a report (five
// characters) or the traces show it: no other test looks at it, and most
// continuation lines ("333 ...") are then read one token short.
[[gnu::always_inline]] inline void line_tokens(RawRead &rd) {
  const char *s = line;
  read_token(s, rd.str1);
  rd.str2 = Token{};
  if (rd.str1.len > 0 && (rd.str1.len == 5 || rep_type != ReportType::land || rd.t_read)) read_token(s, rd.str2);
}

void trace_tokens(const RawRead &rd, const char *label) {
  MESS_print(kTraceRead, "%s: %d %d %d %.*s %.*s\n", label, rd.rtype(), rd.done(), rd.found ? 1 : 0,
             rd.str1.len, rd.str1.text, rd.str2.len, rd.str2.text);
}

// Land sections: a line of two five-figure groups starts a report, or
// continues the open one.
[[gnu::always_inline]] inline void land_test(RawRead &rd) {
  if (rd.t_read) trace_tokens(rd, "STR-5");
  if (rd.state == ReadState::seek) {
    start_report(rd);
  } else {
    add_line(rd);
    rd.found = true;
  }
}

// Ship and coastal sections: a line whose second group is of five figures.
// Within a ship section each report is classed by its own identifier.
[[gnu::always_inline]] inline void ship_test(RawRead &rd) {
  if (rd.t_read) trace_tokens(rd, "STR-S");
  if (rd.state == ReadState::seek) {
    if (rep_type == ReportType::ship || rep_type == ReportType::numeric_ship)
      rep_type = token_is_num(rd.str1) ? ReportType::numeric_ship : ReportType::ship;
    if (rd.t_read) trace_tokens(rd, "STR-S1");
    start_report(rd);
  } else if (!rd.found) {
    add_line(rd);
    rd.found = true;
  }
}

// What every line that is not a heading or a piece goes through: the start
// and continuation tests, the end mark, the lines no test took, and the
// limit of three lines.
[[gnu::always_inline]] inline void report_line(RawRead &rd) {
  rd.plen = line_len - static_cast<int>(rd.ptr - line);
  if (rd.t_read)
    MESS_print(kTraceRead, "STR: %.*s %.*s\n", rd.str1.len, rd.str1.text, rd.str2.len, rd.str2.text);
  const Token &s1 = rd.str1, &s2 = rd.str2;
  const bool str2_ok = s2.len == 5 && is_digit(s2.text[0]) && is_digit(s2.text[1]);
  if (rep_type == ReportType::land && str2_ok && s1.len == 5 && token_is_num(s1)) land_test(rd);
  if ((rep_type == ReportType::ship || rep_type == ReportType::numeric_ship ||
       rep_type == ReportType::coastal) && str2_ok)
    ship_test(rd);

  if (rd.plen > 0 && rd.ptr[rd.plen - 1] == '=') {
    if (rd.t_read) MESS_print(kTraceRead, "STR-=: %d %d %d\n", rd.rtype(), rd.done(), rd.found ? 1 : 0);
    if (rd.state == ReadState::gather) {
      if (!rd.found) rd.g.add_blank_and(rd.ptr, rd.plen);
      rd.state = ReadState::ended;
    }
  }
  if (!rd.found) {
    if (rd.t_read) MESS_print(kTraceRead, "NOT-D: %d %d %d\n", rd.rtype(), rd.done(), 0);
    if (rd.state == ReadState::gather) add_line(rd);
  }
  if (rd.t_read) MESS_print(kTraceRead, "%d:%d:%d:%s\n", rd.rtype(), rd.done(), rd.found ? 1 : 0, line);
  if (rd.state == ReadState::gather && rd.lines == 3 && !line_more)
    rd.state = ReadState::complete;  // at most three lines
  advance(rd, true);
}

// State seek: headings and section lines set the section state; the first
// line that passes its section's start test starts the report.
[[gnu::always_inline]] inline void seek_line(RawRead &rd) {
  if (line_cont) {  // the rest of a line no report took
    advance(rd, true);
    return;
  }
  line_tokens(rd);
  if (starts_with(line, "** ")) {
    heading_line();
    advance(rd, false);
    return;
  }
  rd.ptr = line;
  if (const SectionKey *key = section_of(rd.str1)) section_line(rd, *key);
  report_line(rd);
}

// State gather: the rest of a line longer than one read goes on the report
// its first piece went to, joined without a blank so that no group is
// split. Blank lines inside a report neither end it nor count as one of its
// lines. Headings and section lines never get here: they end the report.
[[gnu::always_inline]] inline void gather_line(RawRead &rd) {
  if (line_cont) {
    rd.g.add(line, line_len);
    if (line_len > 0 && line[line_len - 1] == '=')
      rd.state = ReadState::ended;
    else if (rd.lines == 3 && !line_more)
      rd.state = ReadState::complete;  // at most three lines
    advance(rd, true);
    return;
  }
  if (line_len == 0) {
    advance(rd, true);
    return;
  }
  if (!rd.t_read) {
    // An open report takes the whole line whatever the start tests say of
    // it (they decide only what the traces show), so without the traces
    // its groups need not be read.
    rd.g.add_blank_and(line, line_len);
    if (line[line_len - 1] == '=') {
      rd.state = ReadState::ended;
    } else if (++rd.lines == 3 && !line_more) {
      rd.state = ReadState::complete;  // at most three lines
    }
    advance(rd, true);
    return;
  }
  line_tokens(rd);
  rd.ptr = line;
  report_line(rd);
}

// ---------------------------------------------------------------------------
// The short way: most reports are read whole from the buffered block. A
// report of one to three plain lines in a section that starts reports,
// ended by "=" on its last line (or by its third line), is joined straight
// from the block into the caller's buffer; the line after it stays unread
// in the block (the look-ahead is then empty, and the next call begins
// there). Anything else (headings and keyword lines, control or non-ASCII
// bytes, lone carriage returns, lines of more than 100 characters, blank
// lines inside a report, a report that runs past the buffered bytes, a line
// after the mark that may be a "  333" line) is left to the line-by-line
// way above, which reads it from the same place.

// One whole line in the block: the text up to the line feed, without the
// carriage returns before it and the trailing blanks.
struct BlockLine {
  const char *text;
  int len;           // 0 when the line is no plain line
  const char *next;  // the first byte after its line feed
  bool usual;        // it starts as most land reports do (asked of a first line only)
};

// Does the line at `s` start as most land reports do: five figures, a
// blank, five characters of which the first two are figures, and the end
// of the group (a blank, or the line end: a control or non-ASCII byte)?
// Then it passes the land start test with no token read. Each of the first
// 16 bytes lies in a range of its own (the last four in any), all tested at
// once as two vector compares. The answer never depends on the bytes past
// the line end: one before the twelfth byte fails the test where it stands.
struct ByteRanges {
  std::array<signed char, 16> lo;
  std::array<signed char, 16> hi;
};
constexpr ByteRanges kUsualLandStart = [] {
  ByteRanges r{};
  r.lo.fill(-128);
  r.hi.fill(127);
  for (int j : {0, 1, 2, 3, 4, 6, 7}) {
    r.lo[j] = '0';
    r.hi[j] = '9';
  }
  r.lo[5] = r.hi[5] = ' ';
  for (int j : {8, 9, 10}) r.lo[j] = ' ' + 1;
  r.hi[11] = ' ';
  return r;
}();
[[gnu::always_inline]] inline bool usual_land_start(const char *s) {
  signed char v[16];
  std::memcpy(v, s, sizeof v);
  unsigned char ok[16];
  for (int j = 0; j < 16; ++j)
    ok[j] = static_cast<unsigned char>(-(v[j] >= kUsualLandStart.lo[j])) &
            static_cast<unsigned char>(-(v[j] <= kUsualLandStart.hi[j]));
  std::uint64_t a;
  std::uint64_t b;
  std::memcpy(&a, ok, 8);
  std::memcpy(&b, ok + 8, 8);
  return (a & b) == ~std::uint64_t{0};
}

// Copies the bytes at `src` to `dst` in moves of 32 until a move holds a
// byte that is not plain (a blank or printable ASCII; a control or
// non-ASCII byte, compared as signed char, is below the blank), and gives
// the offset of the first such byte: where the line ends when it is its line
// feed. kNoStop when none comes within a line's 101 bytes. Up to 127 bytes are
// read and written, which both buffers have room for. The 32 bytes are
// tested at once (the compiler makes it two vector compares), and the first
// one is looked for only in the move that holds it. Kept out of line: inlined,
// the compiler may take the moves apart into bytes. With kStart, the line's
// start is tested too (usual_land_start): out of line as well, and the
// first line of a report is in registers there.
constexpr int kNoStop = 1 << 16;
struct LineStop {
  int at;
  bool usual;
};
template <bool kStart>
[[gnu::noinline]] LineStop copy_to_stop(char *dst, const char *src) {
  constexpr int kStep = 32;
  const bool usual = kStart && usual_land_start(src);
  for (int i = 0; i <= kLineMax; i += kStep) {
    char v[kStep];
    std::memcpy(v, src + i, kStep);
    std::memcpy(dst + i, v, kStep);
    unsigned char ok[16];
    for (int j = 0; j < 16; ++j)
      ok[j] = static_cast<unsigned char>(-(static_cast<signed char>(v[j]) >= ' ')) &
              static_cast<unsigned char>(-(static_cast<signed char>(v[j + 16]) >= ' '));
    std::uint64_t lo;
    std::uint64_t hi;
    std::memcpy(&lo, ok, 8);
    std::memcpy(&hi, ok + 8, 8);
    if ((lo & hi) == ~std::uint64_t{0}) continue;
    for (int w = i;; w += 8) {
      if constexpr (std::endian::native == std::endian::little) {
        // The top bit of each byte below the blank (a borrow into the next
        // byte comes only from such a byte) or from 0x80 up: the lowest one
        // is the first byte that is not plain.
        std::uint64_t x;
        std::memcpy(&x, src + w, 8);
        if (const std::uint64_t m = ((x - 0x20 * kEachByte) | x) & kTopBits)
          return {w + std::countr_zero(m) / 8, usual};
      } else {
        for (int j = w; j < w + 8; ++j)
          if (static_cast<signed char>(src[j]) < ' ') return {j, usual};
      }
    }
  }
  return {kNoStop, usual};
}
constexpr int kStopRead = (kLineMax / 32 + 1) * 32;  // bytes copy_to_stop reads and writes at most
static_assert(kSlack >= kStopRead, "a line is looked for in steps of 32 that may read past the block");
static_assert(kStopRead >= 16, "the start test reads no further");

// The line at `s` (before `lim`, the end of the buffered bytes), copied to
// `dst` with its trailing blanks (and up to kStopRead bytes in all). Its length is 0
// when it is empty or blank, holds a control or non-ASCII byte, is longer
// than a read's 100 characters or not whole in the block.
template <bool kStart>
[[gnu::always_inline]] inline BlockLine block_line(const char *s, const char *lim, char *dst) {
  const LineStop stop = copy_to_stop<kStart>(dst, s);
  const int k = stop.at;
  // A line of 1 to 100 characters, its end within the buffered bytes.
  if (static_cast<unsigned>(k - 1) >= static_cast<unsigned>(kLineMax) || k >= lim - s) return {s, 0, s, false};
  const char *e = s + k;
  if (*e != '\n') {
    if (*e != '\r') return {s, 0, s, false};
    while (e < lim && *e == '\r') ++e;  // CR LF, CR CR LF
    if (e >= lim || *e != '\n' || e - s > kLineMax) return {s, 0, s, false};
  }
  int n = k;
  while (s[n - 1] == ' ')
    if (--n == 0) break;
  return {s, n, e + 1, stop.usual};
}

// The report at the reader's place in the block into `data`; false, with
// nothing of the reader's state changed, when it is not one the short way
// reads.
[[gnu::always_inline]] inline bool block_report(char *data, char *id, ReportType *type) {
  static_assert(2 * (kLineMax + 1) + kStopRead + 1 <= kSynDataMax, "three lines, and the bytes copied past them, fit the text");
  constexpr int kStartingTypes = type_bit(ReportType::land) | type_bit(ReportType::ship) |
                                 type_bit(ReportType::numeric_ship) | type_bit(ReportType::coastal);
  if ((type_bit(rep_type) & kStartingTypes) == 0) return false;
  const bool ships = rep_type == ReportType::ship || rep_type == ReportType::numeric_ship;
  const char *const lim = block.data + block.end;
  BlockLine ln = block_line<true>(block.data + block.pos, lim, data);
  // The first line starts at its first group: no blank, no heading.
  if (ln.len == 0 || ln.text[0] == ' ' || ln.text[0] == '*') return false;

  // The start test of the section, on the tokens of the raw line: they end
  // at its first byte below the blank (its line end) as at the terminator.
  ReportType start = rep_type;
  Token str1{ln.text, 5};
  if (rep_type != ReportType::land || !ln.usual) {
    const char *t = ln.text;
    Token str2;
    read_token(t, str1);
    read_token(t, str2);
    const bool str2_ok = str2.len == 5 && is_digit(str2.text[0]) && is_digit(str2.text[1]);
    if (!str2_ok) return false;
    if (rep_type == ReportType::land) {
      if (str1.len != 5 || !token_is_num(str1)) return false;
    } else {
      if (section_of(str1)) return false;
      if (ships) start = token_is_num(str1) ? ReportType::numeric_ship : ReportType::ship;
    }
  }

  int len = ln.len;
  int lines = 1;
  bool marked = data[len - 1] == '=';
  while (!marked && lines < 3) {
    // An open report takes the whole next line, unless it opens a new
    // bulletin or section (which the long way decides).
    data[len] = ' ';
    ln = block_line<false>(ln.next, lim, data + len + 1);
    if (ln.len == 0) return false;
    const char *c = ln.text;
    while (*c == ' ') ++c;
    if (*c == '*' || keyword_start(*c)) return false;
    len += 1 + ln.len;
    ++lines;
    marked = data[len - 1] == '=';
  }
  const char *after = ln.next;
  if (marked) {
    // Only a line that begins with a blank can be a "  333" line that goes
    // on with the report; an empty one becomes the (empty) look-ahead.
    if (after >= lim) return false;
    const char c = *after;
    if (c == '\n') {
      ++after;
    } else if (c <= ' ' || c > '~') {
      return false;
    }
    data[len - 1] = ' ';
  }
  block.pos = static_cast<int>(after - block.data);
  // An empty look-ahead line is passed over, as the long way does (with
  // none, the look-ahead is empty already: nothing to store).
  if (have_line) forget_line();
  rep_type = start;
  *type = start;
  if (str1.len == 5) {
    // Most identifiers: one move of 8 bytes, which both the block and the
    // caller's buffer hold.
    std::memcpy(id, str1.text, 8);
    static_assert(kSynIdMax + 1 >= 8);
  } else {
    copy_short(id, str1.text, str1.len);
  }
  id[str1.len] = '\0';
  data[len++] = ' ';
  data[len] = '\0';
  text_len = len;
  return true;
}

}  // namespace

void SYN_read_reset() {
  block.src = block.disk = nullptr;
  block.pos = block.end = 0;
  block.cr = -1;
  line[0] = '\0';
  line_len = 0;
  have_line = false;
  line_more = line_cont = false;
}

namespace {

// The long way: line by line through the look-ahead, for any stream and
// any line. Out of line, so that the short way's call sets up no more than
// it needs.
[[gnu::noinline]] int read_lines(FILE *ifile, char *data, char *id, ReportType *type, M_type level) {
  // A line read ahead from another stream is no line of this one (the line
  // after a report mostly stays unread in that stream's block anyway).
  if (ifile != block.src) {
    forget_line();
    line_more = false;
  }
  if (!have_line || line_len == 0) {
    if (!read_line(ifile)) return -1;
  }
  RawRead rd{ifile, Gather{data}, id, type, (level & kTraceLine) != 0, (level & kTraceRead) != 0};
  while (rd.state != ReadState::complete) {
    if (rd.t_line) MESS_print(kTraceLine, "LINE:%s:\n", line);
    rd.found = false;
    if (rd.state == ReadState::seek)
      seek_line(rd);
    else
      gather_line(rd);
  }
  if (rd.whole) return 1;
  Gather &g = rd.g;
  if (g.len > 0 && data[g.len - 1] == '=') data[g.len - 1] = ' ';
  data[g.len++] = ' ';
  data[g.len] = '\0';
  text_len = g.len;
  if (rd.t_line) MESS_print(kTraceLine, "DATA: %s\n", data);
  return 1;
}

}  // namespace

int SYN_read_raw(FILE *ifile, char *data, char *id, ReportType *type) {
  if (!ifile || !data || !id || !type) return -1;
  const M_type level = MESS_get();
  // With no look-ahead line (or an empty one, passed over like the reading
  // of a new line) the next line is still in the block: most reports are
  // read from there whole. The traces show every line, which only the long
  // way does.
  if (line_len == 0 && ifile == block.disk && !line_more &&
      (level & (kTraceLine | kTraceRead)) == 0 && block_report(data, id, type))
    return 1;
  return read_lines(ifile, data, id, type, level);
}
