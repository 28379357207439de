// String and line utilities.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/string.hpp"
#include "testutil.hpp"

namespace {

std::vector<std::string> split(const char *text, char delim, int *rc = nullptr) {
  int argc = -1;
  char **argv = reinterpret_cast<char **>(1);
  const int r = parse_string(text, delim, &argc, &argv);
  if (rc) *rc = r;
  std::vector<std::string> out;
  if (r != 0) {
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(argv, nullptr);
    return out;
  }
  for (int i = 0; i < argc; ++i) out.emplace_back(argv[i]);
  free_parsed_array(argc, argv);
  return out;
}

using Lines = std::vector<std::pair<int, std::string>>;

// Every fgetnline result over `text` read in pieces of `len`, until -1.
Lines read_all(const std::string &text, int len) {
  FILE *f = text.empty() ? std::tmpfile()
                         : fmemopen(const_cast<char *>(text.data()), text.size(), "r");
  Lines out;
  std::vector<char> buf(static_cast<std::size_t>(len) + 1, 'X');
  for (int guard = 0; guard < 10000; ++guard) {
    const int n = fgetnline(f, buf.data(), len);
    out.emplace_back(n, buf.data());
    if (n < 0) break;
  }
  std::fclose(f);
  return out;
}

std::string cleaned(std::string line) {
  std::vector<unsigned char> buf(line.begin(), line.end());
  buf.push_back(0);
  clean_line(buf.data());
  return reinterpret_cast<char *>(buf.data());
}

}  // namespace

TEST(ParseString, FieldCounts) {
  EXPECT_EQ(split("a,,b,", ','), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(split(",,,", ','), (std::vector<std::string>{""}));
  EXPECT_EQ(split(",a", ','), (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(split("a:b,c", ','), (std::vector<std::string>{"a:b", "c"}));
  EXPECT_EQ(split("hh:mm", ':'), (std::vector<std::string>{"hh", "mm"}));
  int rc = 0;
  EXPECT_TRUE(split(nullptr, ',', &rc).empty());
  EXPECT_EQ(rc, -1);
  EXPECT_TRUE(split("", ',', &rc).empty());
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(free_parsed_array(0, nullptr), 0);
}

TEST(Compare, CaseInsensitive) {
  EXPECT_EQ(strnicmp("AAXX", "aaxx 07124", 4), 0);
  EXPECT_NE(stricmp("AAXX", "aaxx 07124"), 0);
  EXPECT_EQ(stricmp("BbXx", "bBxX"), 0);
  EXPECT_EQ(stricmp(nullptr, "a"), 1);
  EXPECT_EQ(strnicmp("a", nullptr, 3), 1);
  EXPECT_LT(stricmp("abc", "ABD"), 0);
  EXPECT_GT(stricmp("b", "A"), 0);
  EXPECT_LT(strnicmp("pr", "print", 5), 0);  // a shorter text differs at its end
  // n of 0 and 1 compare the first character only.
  EXPECT_EQ(strnicmp("xa", "Xb", 0), 0);
  EXPECT_EQ(strnicmp("xa", "Xb", 1), 0);
  EXPECT_NE(strnicmp("ya", "Xb", 0), 0);
  EXPECT_NE(strnicmp("xa", "Xb", 2), 0);
  EXPECT_EQ(stricmp("\xe9t", "\xe9T"), 0);  // high bytes: no sign trouble
}

TEST(EditInPlace, FillStripTrimEscape) {
  char a[] = "a_b_c";
  fill_string(a, '_', ' ');
  EXPECT_STREQ(a, "a b c");
  char b[] = "-1-2--3-";
  strip_string(b, '-');
  EXPECT_STREQ(b, "123");
  char c[] = "  x\t   ";
  trim_string(c);
  EXPECT_STREQ(c, "  x\t");  // only blanks are trimmed
  char d[] = "line\r\r";
  trim_cr_string(d);
  EXPECT_STREQ(d, "line");
  char e[] = "yes  \r\n";
  EXPECT_EQ(wstrim_string(e), 1);
  EXPECT_STREQ(e, "yes");
  char f[] = "a\r\nb \r";
  wstrim_string(f);
  EXPECT_STREQ(f, "ab");
  char g[] = "a\\,b\\\\c\\";  // escaped comma, escaped backslash, lone backslash at the end
  strip_escape(g);
  EXPECT_STREQ(g, "a,b\\c");
  char h[] = "AbC-\xc9Z9";
  EXPECT_EQ(low_string(h), 1);
  EXPECT_STREQ(h, "abc-\xc9z9");
  EXPECT_EQ(low_string(nullptr), 0);
}

TEST(Numbers, IsNum) {
  for (const char *yes : {"-", "-42", "0123"}) EXPECT_EQ(string_is_num(yes), 1) << yes;
  for (const char *no : {"", "12a", "+1", "--1", "1 "}) EXPECT_EQ(string_is_num(no), 0) << no;
  EXPECT_EQ(string_is_num(nullptr), 0);
  EXPECT_EQ(string_is_num_len("72403x", 5), 1);
  EXPECT_EQ(string_is_num_len("7240x", 5), 0);
  EXPECT_EQ(string_is_num_len("724", 5), 0);  // fails on the terminator
  EXPECT_EQ(string_is_num_len("-123", 3), 0);
  EXPECT_EQ(string_is_num_len("", 1), 0);
}

// The shared ASCII tests: no locale, no sign trouble with high bytes.
TEST(AsciiHelpers, EveryByte) {
  static_assert(tv::is_digit('7') && !tv::is_digit('a') && tv::to_lower('Q') == 'q');
  static_assert(tv::iequal("AaXx", "aAxX") && tv::ibegins("Print", "pr") && !tv::ibegins("p", "pr"));
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    EXPECT_EQ(tv::is_digit(c), b >= '0' && b <= '9') << b;
    EXPECT_EQ(tv::is_letter(c), (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) << b;
    EXPECT_EQ(tv::to_lower(c), (b >= 'A' && b <= 'Z') ? static_cast<char>(b + 32) : c) << b;
  }
  EXPECT_FALSE(tv::iequal("ab", "abc"));
  EXPECT_FALSE(tv::iequal("\xc9", "\xe9"));  // only ASCII letters fold
  EXPECT_TRUE(tv::ibegins("anything", ""));
}

TEST(AsciiHelpers, CopyTextIsBounded) {
  char buf[6];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(tv::copy_text(buf, "abc"), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(tv::copy_text(buf, "abcde"), 5u);  // fits exactly
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(tv::copy_text(buf, "abcdefgh"), 5u);  // cut: fewer than given
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(tv::copy_text(buf, std::string_view()), 0u);
  EXPECT_STREQ(buf, "");
  char guard[4] = {'X', 'X', 'X', 'X'};
  EXPECT_EQ(tv::copy_text(guard, 0, "abc"), 0u);  // no room: nothing written
  EXPECT_EQ(guard[0], 'X');
  EXPECT_EQ(tv::copy_text(guard, 1, "abc"), 0u);
  EXPECT_EQ(guard[0], '\0');
  EXPECT_EQ(guard[1], 'X');
  // A text that lies inside the buffer itself (a tail moved to the front).
  char self[] = "path/name";
  tv::copy_text(self, sizeof self, std::string_view(self + 5));
  EXPECT_STREQ(self, "name");
  char self_c[] = "path/name";
  tv::copy_text(self_c, sizeof self_c, static_cast<const char *>(self_c + 5));
  EXPECT_STREQ(self_c, "name");
  // Appending: the count of the first copy is where the second starts.
  char joined[8];
  const std::size_t n = tv::copy_text(joined, "ab");
  tv::copy_text(joined + n, sizeof joined - n, "cdefghij");
  EXPECT_STREQ(joined, "abcdefg");
}

TEST(CleanLine, ControlAndHighBytes) {
  EXPECT_EQ(cleaned("AAXX 07124\r\n"), "AAXX 07124");
  EXPECT_EQ(cleaned("a\tb"), "a b");
  EXPECT_EQ(cleaned("\x01\x80x\xff y\x7f"), "  x  y\x7f");  // 127 stays
  // The last printable-or-high byte ends the cut; a high one becomes a blank.
  EXPECT_EQ(cleaned("abc\xe9\r\r\n\x03"), "abc ");
  EXPECT_EQ(cleaned("ab  \r"), "ab  ");  // trailing blanks are kept
  EXPECT_EQ(cleaned("\x02" "12345 =\x03"), " 12345 =");
  unsigned char cut[] = "\r\n", empty[] = "";
  EXPECT_EQ(clean_line(cut), 1);
  EXPECT_STREQ(reinterpret_cast<char *>(cut), "");
  EXPECT_EQ(clean_line(empty), 0);
}

TEST(Strmcat, Bounds) {
  char buf[11] = "abc";
  EXPECT_EQ(strmcat(buf, "defg", 10), 1);
  EXPECT_EQ(strmcat(buf, "hijklmn", 10), 1);  // only three fit
  EXPECT_STREQ(buf, "abcdefghij");
  EXPECT_EQ(strmcat(buf, "z", 10), 0);
  EXPECT_EQ(strmcat(buf, "z", 5), 0);  // already longer than m
  EXPECT_STREQ(buf, "abcdefghij");
  EXPECT_EQ(strmcat(nullptr, "z", 5), 0);
  char small[4] = {'a', 0, 'Q', 'Q'};
  EXPECT_EQ(strmcat(small, "bcdef", 3), 1);  // the terminator lands in the last byte
  EXPECT_EQ(std::string(small, 4), std::string("abc\0", 4));
}

TEST(LineReader, EmptyLinesAndEnd) {
  EXPECT_EQ(read_all("abc\n\nde\n", 100), (Lines{{3, "abc"}, {0, ""}, {2, "de"}, {-1, ""}}));
  EXPECT_EQ(read_all("abc\nde", 100), (Lines{{3, "abc"}, {2, "de"}, {-1, ""}}));
  EXPECT_EQ(read_all("", 100), (Lines{{-1, ""}}));
  // An empty first line must not vanish: every line is one result.
  EXPECT_EQ(read_all("\nabc\n\n", 100), (Lines{{0, ""}, {3, "abc"}, {0, ""}, {-1, ""}}));
}

TEST(LineReader, LongLinesInPieces) {
  EXPECT_EQ(read_all("abcdefg\nhi\n", 3),
            (Lines{{3, "abc"}, {3, "def"}, {1, "g"}, {2, "hi"}, {-1, ""}}));
  // A line of exactly len characters is one piece, not a piece and an empty line.
  EXPECT_EQ(read_all("abcdef\n\nxy\n", 3),
            (Lines{{3, "abc"}, {3, "def"}, {0, ""}, {2, "xy"}, {-1, ""}}));
  EXPECT_EQ(read_all("  a\r\n", 10), (Lines{{4, "  a\r"}, {-1, ""}}));  // blanks and CR stay
  // fgetstring: 1, 0 and -1.
  std::string text = "abc\n\nd";
  FILE *f = fmemopen(text.data(), text.size(), "r");
  char buf[4];
  EXPECT_EQ(fgetstring(f, buf, 3), 1);
  EXPECT_EQ(fgetstring(f, buf, 3), 0);
  EXPECT_EQ(fgetstring(f, buf, 3), 1);
  EXPECT_STREQ(buf, "d");
  EXPECT_EQ(fgetstring(f, buf, 3), -1);
  EXPECT_EQ(fgetnline(f, nullptr, 3), -1);
  EXPECT_EQ(fgetnline(nullptr, buf, 3), -1);
  std::fclose(f);
}

// Over the real bulletins, as the bulletin reader reads them: every byte
// but the line feeds arrives, in pieces of at most 100 characters, and
// the cleaned lines are plain printable text.
TEST(LineReader, CorpusReadsEveryByte) {
  const std::string dir = tvtest::corpus_dir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  int files = 0;
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    const std::string text = tvtest::read_file(e.path().string());
    std::size_t feeds = 0, lines = 0;
    for (char c : text) feeds += c == '\n';
    FILE *f = std::fopen(e.path().c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[101];
    std::string joined;
    int n;
    while ((n = fgetnline(f, line, 100)) >= 0) {
      ASSERT_LE(n, 100);
      joined.append(line, static_cast<std::size_t>(n));
      ++lines;
      clean_line(reinterpret_cast<unsigned char *>(line));
      for (const char *p = line; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        ASSERT_TRUE(c >= 32 && c < 128) << e.path() << ": byte " << int(c);
      }
    }
    std::fclose(f);
    std::string expect;
    for (char c : text)
      if (c != '\n') expect += c;
    EXPECT_EQ(joined, expect) << e.path();
    EXPECT_GE(lines, feeds) << e.path();
    ++files;
  }
  EXPECT_GT(files, 0);
}
