// Scanner patterns read at compile time. A decoder names each group once, by
// its scanner pattern; what the pattern stores and, for the common forms, how
// a clean group is matched without interpreting the pattern at run time are
// derived from that text here, so the two can never disagree.
#pragma once

#include <cstddef>

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

  // Reads the conversion after "%" at `i`; returns the position after it.
  consteval std::size_t conversion(Reader &r, std::size_t i) {
    bool suppress = false, less = false;
    int width = 0, marker = 0;
    bool marker_slashes = true;
    if (text[i] == '*') {
      suppress = true;
      ++i;
    }
    if (text[i] == '<') {
      less = true;
      ++i;
    }
    while (is_fig(text[i])) width = width * 10 + (text[i++] - '0');
    if (text[i] == '!') {
      for (++i; text[i] != '!'; ++i) {
        if (text[i] == '\0') fail("marker without its end");
        marker_slashes = marker_slashes && text[i] == '/';
        ++marker;
      }
      ++i;
    }
    const char letter = text[i++];
    ++nconv;
    const bool exact = width > 0 && !less;
    switch (letter) {
      case 'd':
        if (!suppress) add_store(r, 'i');
        if (!exact || (marker > 0 && (marker != width || !marker_slashes)) || (suppress && marker == 0)) {
          r.direct = false;
          r.fixed = r.fixed && exact;
          if (exact) r.width += width;
        } else {
          add_piece(r, suppress ? PieceKind::skipped : marker > 0 ? PieceKind::field : PieceKind::figures,
                    0, width);
        }
        break;
      case 'c':
        if (!suppress) add_store(r, 'c');
        if (width > 1) {
          r.direct = false;
          r.width += width;
        } else {
          add_piece(r, suppress ? PieceKind::any : PieceKind::character, 0, 1);
        }
        break;
      case 's':
        if (!suppress) add_store(r, 's');
        ++r.word_convs;
        if (!suppress) r.direct = false;
        if (exact) {
          add_piece(r, PieceKind::any, 0, width);
        } else if (text[i] == ' ' && r.pos < 5) {
          // The rest of a five-character group, when the group is one.
          r.fixed = false;
          add_piece(r, PieceKind::any, 0, 5 - r.pos);
        } else {
          r.direct = r.fixed = false;
        }
        limit = width > 0 ? width : kScanpMaxCollect;
        if (!less && width > 0) limit = -1;  // an exact width is no word
        break;
      case '(': {
        if (!suppress) add_store(r, 's');
        int alts = 1, n = 0;
        const std::size_t body = i;
        for (; text[i] != ')'; ++i) {
          if (text[i] == '\0') fail("alternatives without their end");
          if (text[i] == '|') ++alts; else ++n;
        }
        ++i;
        if (alts == 1 && marker == 0 && !less && n > 0) {
          r.mark_like = suppress && nconv == 1 && r.width == 0;
          r.mark_len = n;
          for (std::size_t k = body; k < body + static_cast<std::size_t>(n); ++k) add_literal(r, text[k]);
          if (!suppress) r.direct = false;
          return i;  // literals: the prefix may go on
        }
        r.direct = r.fixed = false;
        break;
      }
      case 'D': case 'n':
        if (!suppress) add_store(r, 'i');
        r.direct = r.fixed = false;
        break;
      case 'f': case 'F':
        if (!suppress) add_store(r, 'f');
        r.direct = r.fixed = false;
        break;
      case 'S': case 'A': case 'N': case 'w': case 'W': case '[':
        if (!suppress) add_store(r, 's');
        if (letter == '[')
          while (text[i] != ']') {
            if (text[i] == '\0') fail("set without its end");
            ++i;
          }
        if (letter == '[') ++i;
        r.direct = r.fixed = false;
        break;
      default:
        fail("unknown conversion");
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
