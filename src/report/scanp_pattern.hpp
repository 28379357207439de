// Scanner patterns read at compile time. A decoder names each group once, by
// its scanner pattern; what the pattern stores and, for the common forms, how
// a clean group is matched without interpreting the pattern at run time are
// derived from that text here, so the two can never disagree.
#pragma once

#include <cstddef>
#include <string_view>

#include "report/scanp.hpp"

// How a pattern can be matched.
enum class ScanForm : char {
  scan,    // only by the scanner
  groups,  // one or two five-character groups of figures, "/" and literals
  mark,    // a section indicator: "%*(333) "
  word,    // one text up to the next white space: "%s ", "%*s ", "%<40s "
};

// One piece of a five-character group.
enum class PieceKind : char {
  literal,   // this figure
  field,     // figures stored as an int; all "/" is the missing-data marker
  figures,   // figures stored as an int, no marker: a "/" does not fit
  skipped,   // figures or the all-"/" marker, not stored
  character, // any one character, stored
  any,       // any characters, not stored
};

struct ScanPiece {
  PieceKind kind = PieceKind::any;
  char lit = 0;   // the figure of a literal
  int start = 0;  // position in the group
  int width = 1;
};

struct ScanShape {
  int n = 0;
  ScanPiece piece[5]{};
};

// The most values one pattern of the decoders stores.
constexpr int kScanMaxStore = 6;

template <std::size_t N>
struct ScanPattern {
  char text[N]{};
  ScanForm form = ScanForm::scan;
  int nconv = 0;  // what scanp returns when every conversion matches
  int nstore = 0;
  // Per stored value, in pattern order: 'i' int, 'f' float, 'c' one
  // character (no terminator), 's' a text; and its place among its kind.
  char store[kScanMaxStore]{};
  int slot[kScanMaxStore]{};
  int groups = 0;        // form groups: how many
  ScanShape shape[2]{};  // form groups: their pieces
  char lead = 0;         // a match must begin with this character; 0 any
  int prefix = 0;        // literal characters at the start (the group's indicator)
  char ind[6]{};         // those characters
  int mark = 0;          // form mark: length of the indicator
  int limit = 0;         // form word: most characters collected
  // Characters a match must consume (the group and its blank) for the
  // group to be taken; 1 where the pattern alone does not tell.
  int min_len = 1;

  consteval ScanPattern(const char (&t)[N]) {  // NOLINT: implicit, for template arguments
    for (std::size_t i = 0; i < N; ++i) text[i] = t[i];
    read();
  }

 private:
  struct Reader {
    bool direct = true;      // pieces only, each group five characters
    bool fixed = true;       // the text it matches has one width
    bool literals_only = true;
    int width = 0;           // fixed width before the final blank
    int group = 0;
    int pos = 0;             // place in the current group
    int counts[4] = {};      // values stored per kind i, f, c, s
    int word_convs = 0;      // conversions of the word form
    int mark_len = 0;
    bool mark_like = false;  // a suppressed single literal alternative
  };

  static consteval void fail(const char *) { throw "not a pattern the decoders use"; }
  static consteval bool is_fig(char c) { return c >= '0' && c <= '9'; }

  consteval void add_store(Reader &r, char kind) {
    if (nstore >= kScanMaxStore) fail("too many values");
    if (kind == 's' && r.counts[3] > 0) fail("one text per pattern");
    const int k = kind == 'i' ? 0 : kind == 'f' ? 1 : kind == 'c' ? 2 : 3;
    store[nstore] = kind;
    slot[nstore] = r.counts[k]++;
    ++nstore;
  }

  consteval void add_piece(Reader &r, PieceKind kind, char lit, int width) {
    if (r.group >= 2 || r.pos + width > 5) {
      r.direct = false;
    } else {
      ScanShape &s = shape[r.group];
      s.piece[s.n++] = ScanPiece{kind, lit, r.pos, width};
    }
    r.pos += width;
    r.width += width;
  }

  consteval void add_literal(Reader &r, char c) {
    if (r.literals_only && r.group == 0 && prefix < 5) {
      if (prefix == 0) lead = c;
      ind[prefix++] = c;
    }
    add_piece(r, PieceKind::literal, c, 1);
  }

  // One "%" element as written.
  struct Conv {
    bool suppress = false;
    bool less = false;
    int width = 0;
    int marker = 0;              // its length
    bool marker_slashes = true;  // made of "/" only
    char letter = 0;
    constexpr bool exact() const { return width > 0 && !less; }
  };

  // Reads the element after "%" at `i` into `c`; returns the position after it.
  consteval std::size_t read_conv(std::size_t i, Conv &c) const {
    if (text[i] == '*') {
      c.suppress = true;
      ++i;
    }
    if (text[i] == '<') {
      c.less = true;
      ++i;
    }
    while (is_fig(text[i])) c.width = c.width * 10 + (text[i++] - '0');
    if (text[i] == '!') {
      for (++i; text[i] != '!'; ++i) {
        if (text[i] == '\0') fail("marker without its end");
        c.marker_slashes = c.marker_slashes && text[i] == '/';
        ++c.marker;
      }
      ++i;
    }
    c.letter = text[i++];
    return i;
  }

  // "%d": a field of figures, with or without the "/" marker.
  consteval void number(Reader &r, const Conv &c) {
    if (!c.suppress) add_store(r, 'i');
    const bool odd_marker = c.marker > 0 && (c.marker != c.width || !c.marker_slashes);
    if (!c.exact() || odd_marker || (c.suppress && c.marker == 0)) {
      r.direct = false;
      r.fixed = r.fixed && c.exact();
      if (c.exact()) r.width += c.width;
      return;
    }
    add_piece(r, c.suppress ? PieceKind::skipped : c.marker > 0 ? PieceKind::field : PieceKind::figures, 0,
              c.width);
  }

  // "%c": one character.
  consteval void character(Reader &r, const Conv &c) {
    if (!c.suppress) add_store(r, 'c');
    if (c.width > 1) {
      r.direct = false;
      r.width += c.width;
      return;
    }
    add_piece(r, c.suppress ? PieceKind::any : PieceKind::character, 0, 1);
  }

  // "%s" before the character at `i`: a text up to white space.
  consteval void word(Reader &r, const Conv &c, std::size_t i) {
    if (!c.suppress) add_store(r, 's');
    ++r.word_convs;
    if (!c.suppress) r.direct = false;
    if (c.exact()) {
      add_piece(r, PieceKind::any, 0, c.width);
    } else if (text[i] == ' ' && r.pos < 5) {
      // The rest of a five-character group, when the group is one.
      r.fixed = false;
      add_piece(r, PieceKind::any, 0, 5 - r.pos);
    } else {
      r.direct = r.fixed = false;
    }
    // An exact width is no word: it fails on a shorter text.
    limit = c.exact() ? -1 : c.width > 0 ? c.width : kScanpMaxCollect;
  }

  // "%(...)" from `i`: one literal alternative is read as literals (the
  // group's indicator may go on); returns the position after ")".
  consteval std::size_t alternatives(Reader &r, const Conv &c, std::size_t i) {
    if (!c.suppress) add_store(r, 's');
    int alts = 1, n = 0;
    const std::size_t body = i;
    for (; text[i] != ')'; ++i) {
      if (text[i] == '\0') fail("alternatives without their end");
      if (text[i] == '|')
        ++alts;
      else
        ++n;
    }
    if (alts == 1 && c.marker == 0 && !c.less && n > 0) {
      r.mark_like = c.suppress && nconv == 1 && r.width == 0;
      r.mark_len = n;
      for (std::size_t k = body; k < body + static_cast<std::size_t>(n); ++k) add_literal(r, text[k]);
      if (!c.suppress) r.direct = false;
    } else {
      r.direct = r.fixed = false;
      r.literals_only = false;
    }
    return i + 1;
  }

  // Any other conversion: only the scanner matches it.
  consteval std::size_t other(Reader &r, const Conv &c, std::size_t i) {
    const char l = c.letter;
    if (!c.suppress) add_store(r, l == 'D' || l == 'n' ? 'i' : l == 'f' || l == 'F' ? 'f' : 's');
    if (l == '[') {
      while (text[i] != ']') {
        if (text[i] == '\0') fail("set without its end");
        ++i;
      }
      ++i;
    } else if (std::string_view("DnfFSANwW").find(l) == std::string_view::npos) {
      fail("unknown conversion");
    }
    r.direct = r.fixed = false;
    return i;
  }

  // Reads the conversion after "%" at `i`; returns the position after it.
  consteval std::size_t conversion(Reader &r, std::size_t i) {
    Conv c;
    i = read_conv(i, c);
    ++nconv;
    switch (c.letter) {
      case 'd': number(r, c); break;
      case 'c': character(r, c); break;
      case 's': word(r, c, i); break;
      case '(': return alternatives(r, c, i);
      default: i = other(r, c, i); break;
    }
    r.literals_only = false;
    return i;
  }

  consteval void read() {
    constexpr std::size_t len = N - 1;
    if (len == 0 || text[len - 1] != ' ') fail("a group pattern ends with its blank");
    Reader r;
    std::size_t i = 0;
    while (i < len) {
      const char c = text[i];
      if (c == ' ') {
        if (r.pos != 5) r.direct = false;
        ++r.group;
        r.pos = 0;
        if (++i < len) ++r.width;  // a blank inside: one character at least
        r.literals_only = false;
      } else if (c == '%') {
        i = conversion(r, i + 1);
      } else {
        add_literal(r, c);
        ++i;
      }
    }
    if (nconv == 1 && r.word_convs == 1 && r.group == 1 && prefix == 0 && limit > 0) {
      form = ScanForm::word;
    } else if (r.mark_like && nconv == 1 && r.group == 1 && r.width == r.mark_len) {
      form = ScanForm::mark;
      mark = r.mark_len;
      min_len = mark + 1;
    } else if (r.direct && r.group <= 2) {
      form = ScanForm::groups;
      groups = r.group;
      min_len = 5 * groups + 1;
    } else if (r.fixed) {
      min_len = r.width + 1;
    }
    if (form != ScanForm::groups) {
      groups = 0;
      shape[0] = shape[1] = ScanShape{};
    }
  }
};
