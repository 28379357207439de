// Real bulletins from several feeds and decoder test suites, converted end
// to end by the tavro program: every file must convert with status 0 into a
// well-formed data file whose records are the reports of the file, each one
// with values inside the limits a forecaster would accept.
#include <gtest/gtest.h>


#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::run_command;
using tvtest::write_file;

// Corpus files (path under the corpus directory) with the number of records
// a reader expects: land, ship and coastal-marine reports that are not NIL.
// Files whose layout leaves the number open are run without a count.
const std::map<std::string, int> kExpected = {
    {"Unidata_awips2/TestSfcObsDecoders.java.bulletins.txt", 23},
    {"Unidata_awips2/TestSfcObsSeparator.java.bulletins.txt", 23},
    {"antarctica_pymetdecoder/test_synop.py.SYNOP_strings.txt", 34},
    {"issues/pymetdecoder_issue_reports.txt", 8},
    {"wmo-im_synop2bufr/WX.00", 66},
    {"wmo-im_synop2bufr/A_SMRO01YRBK211200_C_EDZW_20220321120500_12524785.txt", 23},
    {"wmo-im_synop2bufr/all_groups.txt", 1},
    {"wmo-im_wis2box/SIAA17_LFVW_072100_38a15a51272a14f2b16e242b8f43aa97.txt", 1},
    {"wmo-im_wis2box/SICG20FCBB_202308.txt", 14},
    {"wmo-im_wis2box/SIIN90_VISR_072100_f84e9af802026dbeed979ad0deaf546a.txt", 1},
    {"wmo-im_wis2box/SIML20_LMMM_072100_73d97045518d446c9b290b327851c45d.txt", 1},
    {"wmo-im_wis2box/SNAA01_LFVW_072000_RRB_68927b8c2bc54098e9db3b59aaab0309.txt", 5},
};

// Corrections (CCA, CCB) carry one report; the full Romanian bulletins 23.
int expected_count(const std::string &rel) {
  auto it = kExpected.find(rel);
  if (it != kExpected.end()) return it->second;
  if (rel.rfind("wmo-im_wis2box/romania/", 0) == 0)
    return rel.find("CC") != std::string::npos ? 1 : 23;
  return -1;
}

// Every bulletin file of the corpus; a single empty name when it is absent,
// so that the test reports a skip instead of vanishing.
std::vector<std::string> corpus_files() {
  std::vector<std::string> files = tvtest::corpus_bulletins();
  if (files.empty()) files.push_back("");
  return files;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

// Tokens that can begin a report: the first word of a line, and the two
// words after a section keyword (the YYGGi group, or a report on that line).
std::set<std::string> report_starts(const std::string &bulletin) {
  std::set<std::string> starts;
  for (const std::string &l : lines_of(bulletin)) {
    std::istringstream in(l);
    std::vector<std::string> w;
    for (std::string t; in >> t && w.size() < 3;) w.push_back(t);
    if (w.empty()) continue;
    starts.insert(w[0]);
    if (w[0] == "AAXX" || w[0] == "BBXX" || w[0] == "CMAN" || w[0] == "SHIPS")
      for (size_t i = 1; i < w.size(); ++i) starts.insert(w[i]);
  }
  return starts;
}

// Reads a signed decimal number (leading blanks allowed) from `s` at `pos`.
bool number(std::string_view s, size_t &pos, double &v) {
  while (pos < s.size() && s[pos] == ' ') ++pos;
  char *e = nullptr;
  std::string tmp(s.substr(pos));
  v = std::strtod(tmp.c_str(), &e);
  size_t n = static_cast<size_t>(e - tmp.c_str());
  if (n == 0) return false;
  pos += n;
  return true;
}

bool integer(std::string_view s, size_t &pos, long &v) {
  while (pos < s.size() && s[pos] == ' ') ++pos;
  auto [p, ec] = std::from_chars(s.data() + pos, s.data() + s.size(), v);
  if (ec != std::errc()) return false;
  pos = static_cast<size_t>(p - s.data());
  return true;
}

// Checks one record line of the text layout against the physical limits of
// its fields; returns a description of every value outside them.
std::vector<std::string> record_problems(const std::string &line) {
  std::vector<std::string> bad;
  auto fail = [&](const std::string &what) { bad.push_back(what); };
  if (line.size() < 2 || line.compare(line.size() - 2, 2, " $") != 0) {
    fail("record does not end with \" $\"");
    return bad;
  }
  std::string_view body(line.data(), line.size() - 2);
  std::istringstream in{std::string(body)};
  std::string f[9];
  for (auto &x : f)
    if (!(in >> x)) {
      fail("fewer than nine fixed fields");
      return bad;
    }
  auto as_long = [](const std::string &t, long &v) {
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && p == t.data() + t.size();
  };
  long t = 0, td = 0, n = 0;
  bool has_t = as_long(f[1], t) && t != -99, has_td = as_long(f[2], td) && td != -99;
  if (has_t && (t < -1000 || t > 1500)) fail("temperature " + f[1]);
  if (has_td && (td < -1000 || td > 1500)) fail("dew point " + f[2]);
  if (has_t && has_td && td > t) fail("dew point above temperature");
  if (f[3] != "-999") {
    long dir = -1, spd = -1;
    if (as_long(f[3], n) && n >= 0 && f[3].size() == 4) {
      dir = n / 100 * 10;
      spd = n % 100;
    } else if (as_long(f[3], n) && n >= 0 && f[3].size() == 6) {
      dir = n / 1000;
      spd = n % 1000;
    } else if (as_long(f[3], n) && n < 0 && (n + 9999) % 100 == 0) {
      // A storm wind over the record's 100-knot limit: the check removed
      // the speed and kept the direction, and the layout then writes
      // (direction / 10) x 100 plus the missing -9999 (so 160 degrees
      // gives -8399). Real reports do this (00fff groups of 121 knots).
      dir = (n + 9999) / 100 * 10;
      spd = 0;
    }
    if (dir < 0 || dir > 360 || spd < 0 || spd > 250) fail("wind " + f[3]);
  }
  if (f[4] != "-99" && !(as_long(f[4], n) && n >= 0 && n <= 999)) fail("altimeter " + f[4]);
  if (f[5] != "-99" &&
      !(as_long(f[5], n) && ((n >= 0 && n <= 999) || (n >= 9000 && n < 9500) ||
                             (n > 10500 && n <= 11500))))
    fail("sea-level pressure " + f[5]);
  if (f[6] != "-99") {
    double v = std::strtod(f[6].c_str(), nullptr);
    if (!(v >= 0 && v <= 150)) fail("visibility " + f[6]);
  }
  std::istringstream layers(f[7]);
  for (std::string layer; std::getline(layers, layer, ',');) {
    size_t pos = 0;
    long h = 0;
    if (!integer(layer, pos, h) || (h != -99 && (h < 0 || h > 350))) fail("cloud height " + layer);
    std::string cover = layer.substr(pos);
    static const std::set<std::string> kCovers = {"M",  ":0", ":1", ":2", ":3", ":4", ":5",
                                                  ":6", ":7", ":8", ":9", "C",  "F",  "S",
                                                  "B",  "O",  "X",  "s",  "b",  "o",  "x"};
    if (!kCovers.count(cover)) fail("cloud cover " + layer);
  }
  if (f[8] != "-" && f[8].find_first_not_of("KHDFBSLRZWTICPGA+-") != std::string::npos)
    fail("weather " + f[8]);

  // Optional groups follow the ninth field: a blank, a letter, a value.
  size_t pos = 0;
  for (int i = 0; i < 9; ++i) {
    while (pos < body.size() && body[pos] == ' ') ++pos;
    while (pos < body.size() && body[pos] != ' ') ++pos;
  }
  bool after_sst = false;
  while (pos < body.size()) {
    if (body[pos] != ' ' || pos + 1 >= body.size()) {
      fail("unreadable group at " + std::string(body.substr(pos)));
      break;
    }
    char key = body[pos + 1];
    pos += 2;
    double v = 0, w = 0;
    long a = 0, b = 0;
    auto in_range = [&](double lo, double hi, const char *what) {
      if (!number(body, pos, v) || v < lo || v > hi) fail(std::string(what) + " " + std::to_string(v));
    };
    switch (key) {
      case '@':
        if (!integer(body, pos, a) || a < 0 || a > 2400 || a % 100 > 59) fail("time");
        break;
      case 'L':
        if (!number(body, pos, v) || pos >= body.size() || body[pos] != ',' ||
            !number(body, ++pos, w) || std::abs(v) > 900 || std::abs(w) > 1800)
          fail("position");
        break;
      case 'P':
        if (!integer(body, pos, a) || !integer(body, pos, b) || a < 0 || a > 9 || b < -100 ||
            b > 100)
          fail("pressure tendency P" + std::to_string(a) + " " + std::to_string(b));
        break;
      case 'p': in_range(0, after_sst ? 10 : 1000, after_sst ? "wave period" : "1-hour rain"); break;
      case 'Q': in_range(0, 1000, "3-hour rain"); break;
      case 'r': in_range(0, 1500, "6-hour rain"); break;
      case 'q':
      case 'R': in_range(0, 2000, "12/24-hour rain"); break;
      case 'X':
      case 'x':
      case 'N':
      case 'n': in_range(-100, 150, "extreme temperature"); break;
      case 'S': in_range(0, 150, "snow depth"); break;
      case 'G': in_range(0, 250, "gust"); break;
      case 's': in_range(0, 1440, "sunshine"); break;
      case 't':
        in_range(-5, 40, "sea temperature");
        after_sst = true;
        break;
      case 'h': in_range(0, 20, "wave height"); break;
      case 'C':
        if (pos + 3 > body.size() ||
            body.substr(pos, 3).find_first_not_of("0123456789-") != std::string_view::npos)
          fail("cloud types");
        pos += 3;
        break;
      case '#': pos = body.size(); break;
      default: fail(std::string("unknown group ") + key); pos = body.size();
    }
  }
  return bad;
}

class CorpusFile : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (tvtest::corpus_dir().empty() || GetParam().empty()) GTEST_SKIP() << "no corpus";
    write_file(dir.file("name_conv"),
               "syn_dat %y%m%d%h.syn -\nsyn_cvt %y%m%d%h.zot -\n"
               "syn_cvt_xml %y%m%d%h.xml -\nsyn_cvt_cdf %y%m%d%h.cdf -\n");
    write_file(dir.file("syn.cty"), "");
    input = tvtest::corpus_dir() + "/" + GetParam();
  }
  // Converts the file with the window opened to a whole day on either side
  // of the run's hour: the records do not depend on the date of the run. A
  // file without a date in its name or a heading is refused until one is
  // given.
  tvtest::RunResult convert(const std::string &args) {
    const std::string cmd = std::string(TAVRO_EXE) + " -ba -pf over -pa range=-1440:1440 " + args;
    auto r = run_command(cmd + " '" + input + "'", dir.path());
    if (r.status == 2) {
      EXPECT_EQ(r.err, "SYN_decode_all: No date for the data of " + input +
                           ": its name does not give it and it holds no bulletin heading; add it to "
                           "the name as #YYYYMMDDHH or give -ho #YYYYMMDDHH\n");
      r = run_command(cmd + " -ho '#2023120712' '" + input + "'", dir.path());
    }
    return r;
  }
  tvtest::TempDir dir;
  std::string input;
};

TEST_P(CorpusFile, ConvertsToTextWithinLimits) {
  auto r = convert("-of out.zot");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto lines = lines_of(read_file(dir.file("out.zot")));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ZOTSFC");
  EXPECT_FALSE(lines[1].empty()) << "date label";
  std::vector<std::string> records(lines.begin() + 2, lines.end());

  int want = expected_count(GetParam());
  if (want >= 0) {
    EXPECT_EQ(static_cast<int>(records.size()), want) << "records";
  }

  // A record must come from a report of the file, not from a piece of one.
  auto starts = report_starts(read_file(input));
  for (const std::string &rec : records) {
    std::string id = rec.substr(0, rec.find(' '));
    bool known = starts.count(id) || (id.size() > 1 && starts.count(id.substr(1)));
    EXPECT_TRUE(known) << "record of a report that the file does not hold: " << rec;
    for (const std::string &p : record_problems(rec)) ADD_FAILURE() << p << " in: " << rec;
  }
}

std::string test_name(const testing::TestParamInfo<std::string> &info) {
  std::string n = info.param.empty() ? "absent" : info.param;
  n = n.substr(n.rfind('/') + 1).substr(0, 40);
  for (char &c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, testing::ValuesIn(corpus_files()), test_name);

// The XML and netCDF files of a bulletin with land, ship and coastal-marine
// reports hold the same records as its text file and pass their own tools.
class CorpusFormats : public CorpusFile {
 protected:
  void SetUp() override {
    CorpusFile::SetUp();
    if (IsSkipped()) return;
    input = tvtest::corpus_dir() + "/Unidata_awips2/TestSfcObsDecoders.java.bulletins.txt";
    if (!tvtest::file_exists(input)) GTEST_SKIP() << "bulletin not in the corpus";
    ASSERT_EQ(convert("-of out.zot").status, 0);
    text_records = static_cast<int>(lines_of(read_file(dir.file("out.zot"))).size()) - 2;
    ASSERT_GT(text_records, 0);
  }
  int text_records = 0;
};

TEST_P(CorpusFormats, XmlAndNetcdf) {
  auto r = convert("-ou xml -of out.xml");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto lint = run_command("xmllint --noout out.xml", dir.path());
  EXPECT_EQ(lint.status, 0) << lint.err;
  std::string xml = read_file(dir.file("out.xml"));
  int obs = 0;
  for (size_t p = xml.find("<obs "); p != std::string::npos; p = xml.find("<obs ", p + 1)) ++obs;
  EXPECT_EQ(obs, text_records);

  r = convert("-ou cdf -of out.cdf");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto head = run_command("ncdump -h out.cdf", dir.path());
  ASSERT_EQ(head.status, 0) << head.err;
  EXPECT_NE(head.out.find("report = UNLIMITED ; // (" + std::to_string(text_records) + " currently)"),
            std::string::npos)
      << head.out;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFormats, testing::Values(std::string("formats")),
                         [](const testing::TestParamInfo<std::string> &) { return std::string("awips2"); });

}  // namespace
