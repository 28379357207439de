// Our own BUFR packer against ecCodes, the reference: bits written at their
// offsets against a bit-by-bit model; 100,000 generated reports (every group, missing values,
// extremes, values ecCodes refuses, ships with positions, a station list)
// and every report of the shared corpus packed both ways, byte for byte,
// with the same messages; the bufr_packer option.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "output/bufr_pack.hpp"
#include "output/sfc_bufr.hpp"
#include "report/sfc_tool.hpp"
#include "stations/wis_list.hpp"
#include "testutil.hpp"

namespace {

using tvtest::read_file;
using tvtest::run_command;
using tvtest::TempDir;
using tvtest::write_file;

// ----- bits at their offsets ------------------------------------------------------------------

// The bits of a buffer one by one, most significant first: the plain
// reference.
struct PlainBits {
  std::vector<int> bits;
  explicit PlainBits(const unsigned char *data, std::size_t n) {
    for (std::size_t i = 0; i < n * 8; ++i) bits.push_back((data[i / 8] >> (7 - i % 8)) & 1);
  }
  void put(std::size_t at, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) bits[at + static_cast<std::size_t>(i)] = static_cast<int>((v >> (width - 1 - i)) & 1u);
  }
  std::vector<unsigned char> bytes() const {
    std::vector<unsigned char> out(bits.size() / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
      if (bits[i]) out[i / 8] |= static_cast<unsigned char>(0x80u >> (i % 8));
    return out;
  }
};

TEST(BufrBits, FieldsAndTextAtTheirBitsAsBitByBit) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 300; ++round) {
    unsigned char buf[256];
    for (unsigned char &b : buf) b = static_cast<unsigned char>(rng());
    PlainBits plain(buf, sizeof buf);
    std::size_t at = rng() % 8;
    while (true) {
      if (rng() % 2) {  // a number of any width, high bits beyond it ignored
        const int width = static_cast<int>(rng() % 58);
        if (at + static_cast<std::size_t>(width) > sizeof buf * 8) break;
        const std::uint64_t v = rng();
        ASSERT_TRUE(bufr::put_bits(buf, sizeof buf, at, v, width));
        plain.put(at, width == 0 ? 0 : v & ((std::uint64_t{1} << width) - 1), width);
        at += static_cast<std::size_t>(width);
      } else {  // text, cut or padded with NULs; ecCodes' way with bytes of 128 or more
        const char *s = "WIGOS-0-20000\xC3\xA9";
        const std::size_t len = rng() % 16, n = rng() % 12;
        if (at + 8 * n + 8 > sizeof buf * 8) break;
        ASSERT_TRUE(bufr::put_text_bits(buf, sizeof buf, at, s, len, n));
        const std::size_t r = at % 8;
        for (std::size_t i = 0; i < n; ++i) {
          const unsigned b = i < len && i < std::strlen(s) + 1 ? static_cast<unsigned char>(s[i]) : 0u;
          for (std::size_t k = 0; k < 8; ++k) {
            // Off an octet boundary, the top bits again in place of the low ones.
            const std::size_t bit = (b & 0x80u) && r != 0 && k >= 8 - r ? k - (8 - r) : k;
            plain.put(at + 8 * i + k, (b >> (7 - bit)) & 1u, 1);
          }
        }
        at += 8 * n;
      }
      at += rng() % 20;  // bits between fields stay as they were
    }
    const std::vector<unsigned char> want = plain.bytes();
    ASSERT_EQ(0, std::memcmp(buf, want.data(), want.size())) << "round " << round;
  }
}

TEST(BufrBits, NothingPastTheEnd) {
  unsigned char buf[8];
  std::memset(buf, 0x11, sizeof buf);
  EXPECT_TRUE(bufr::put_bits(buf, 4, 0, 0xFFFFFFFF, 32));
  EXPECT_FALSE(bufr::put_bits(buf, 4, 32, 1, 1));
  EXPECT_FALSE(bufr::put_bits(buf, 4, 25, 0xFF, 8));
  EXPECT_FALSE(bufr::put_bits(buf, 4, 1000, 1, 1));
  EXPECT_FALSE(bufr::put_bits(buf, 8, 0, 1, 58)) << "wider than a write can take";
  // Text on an octet boundary may end at the last octet; off it, it takes one more.
  EXPECT_TRUE(bufr::put_text_bits(buf, 4, 0, "ABCD", 4, 4));
  EXPECT_FALSE(bufr::put_text_bits(buf, 4, 4, "ABC", 3, 4));
  EXPECT_TRUE(bufr::put_text_bits(buf, 4, 4, "ABC", 3, 3));
  EXPECT_FALSE(bufr::put_text_bits(buf, 4, 8, "ABCD", 4, 4));
  for (std::size_t i = 4; i < sizeof buf; ++i) EXPECT_EQ(buf[i], 0x11) << i;
}

// ----- generated reports, both ways -------------------------------------------------------

class Gen {
 public:
  explicit Gen(std::uint64_t seed) : rng_(seed) {}

  int below(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
  double uniform(double a, double b) { return a + (b - a) * static_cast<double>(rng_() >> 11) * 0x1.0p-53; }

  // A value of a field: often missing, mostly within `lo` to `hi`, now and
  // then an extreme (far out, a small negative ecCodes refuses where the
  // element starts at 0, a non-number).
  float value(double lo, double hi) {
    const int p = below(1000);
    if (p < 200) return -9999.0f;
    if (p < 205) return static_cast<float>(uniform(-1e7, 1e7));
    if (p < 206) return static_cast<float>(-uniform(0.0, 0.06));
    if (p < 209) return std::numeric_limits<float>::quiet_NaN();
    if (p < 210) return below(2) ? std::numeric_limits<float>::infinity() : 3.0e38f;
    if (p < 260) return static_cast<float>(below(2) ? lo : hi);
    return static_cast<float>(uniform(lo, hi));
  }
  char figure(const char *set) { return set[below(static_cast<int>(std::strlen(set)))]; }

  SFC_report report() {
    SFC_report r;
    SFC_initialize(&r);
    const int cls = below(100);
    const char *area = cls < 50 ? "LA" : cls < 65 ? "CM" : cls < 97 ? "SH" : "BU";
    std::snprintf(r.area, sizeof r.area, "%s", area);
    if (area[0] == 'L') {
      r.wmo = chance(2) ? -9999 : chance(30) ? 10000 + below(60) : 1 + below(99998);
      std::snprintf(r.id, sizeof r.id, "%05d", r.wmo < 0 ? 0 : r.wmo);
    } else if (area[0] == 'C') {
      static const char *kIds[] = {"BUZM3", "C6", "LONGCMAN01", "CM\xC3\xA9", "STDM4"};
      std::snprintf(r.id, sizeof r.id, "%s", kIds[below(5)]);
    } else {
      // Call signs, some longer than the element, some with bytes beyond ASCII.
      static const char *kIds[] = {"sWDC6923", "sD5EZ7", "sSHIP", "s\xC3\xA9T8", "sABCDEFGHI", "s9V"};
      std::snprintf(r.id, sizeof r.id, "%s", kIds[below(6)]);
    }
    static const int kTypes[] = {1, 2, 4, 16, 17, 20};
    r.type = kTypes[below(6)];
    r.time = chance(1) ? -9999 : (chance(20) ? 11 : 12) * 100 + (chance(70) ? 0 : below(60));
    r.lat = value(-90, 90);
    r.lon = value(-180, 180);
    r.elev = value(-400, 8000);
    r.t = value(-80, 130);
    r.td = value(-90, 100);
    r.pmb = value(850, 1090);
    r.ptend_t = chance(10) ? -9999 : below(12) - 1;
    r.ptend = value(-30, 30);
    r.w_dir = value(0, 360);
    r.w_spd = value(0, 200);
    r.w_gust = value(0, 250);
    r.flag = below(8);
    r.vis = value(0, 100);
    r.num_cld = chance(10) ? -9999 : below(8);
    for (int k = 0; k < 5; ++k) {
      r.cld_cover[k] = figure("0123456789/- X");
      r.cld_height[k] = value(0, 70000);
    }
    r.cld_low = figure("0123456789-/");
    for (char &c : r.cld_type) c = figure("0123456789-/");
    static const char *kWx[] = {"", "RW-", "TS", "+SN", "FG", "DZ BR", "XYZ", "SHRA", "-RA", "VCTS"};
    std::snprintf(r.weather, sizeof r.weather, "%s", kWx[below(10)]);
    r.rain1 = value(0, 5);
    r.rain3 = value(0, 10);
    r.rain6 = value(0, 20);
    r.rain12 = value(0, 40);
    r.rain24 = value(0, 80);
    r.max_t = value(-60, 135);
    r.min_t = value(-80, 110);
    r.max6_t = value(-60, 135);
    r.min6_t = value(-80, 110);
    r.scover = value(0, 400);
    r.solar = value(0, 1440);
    r.sst = value(-3, 40);
    r.wav_per = value(0, 30);
    r.wav_hgt = value(0, 25);
    return r;
  }

  Date file_date() {
    Date d = {1990 + below(40), 1 + below(12), 1 + below(28), 0, 0, 12, 0, 0};
    d.hour = chance(1) ? -9999 : below(24);
    return d;
  }

 private:
  std::mt19937_64 rng_;
};

// Everything written to the standard error while `f` runs.
template <class F>
std::string stderr_of(F f) {
  std::fflush(stderr);
  FILE *tmp = std::tmpfile();
  const int saved = dup(2);
  dup2(fileno(tmp), 2);
  f();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string out;
  std::rewind(tmp);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) out.append(buf, n);
  std::fclose(tmp);
  return out;
}

// The lines of `text` without the first warning of each element out of
// range (given once per run, so only by the first of the two ways).
std::string without_first_warnings(const std::string &text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string line = text.substr(at, end - at);
    if (line.find("SFC_write: Value out of the range of ") != 0) out += line;
    at = end;
  }
  return out;
}

// Where two messages first differ, and the octets there.
std::string first_difference(const unsigned char *a, const unsigned char *b, long na, long nb) {
  const long n = na < nb ? na : nb;
  long at = 0;
  while (at < n && a[at] == b[at]) ++at;
  if (at == n) return "";
  std::string out = "; first difference at octet " + std::to_string(at) + ":";
  char hex[8];
  for (long i = at; i < n && i < at + 12; ++i) {
    std::snprintf(hex, sizeof hex, " %02x/%02x", a[i], b[i]);
    out += hex;
  }
  return out;
}

// 100,000 reports in eight test cases that run side by side; ecCodes takes
// about a millisecond a message. Under the sanitizers, where ecCodes' many
// allocations are slower still, 24,000.
constexpr int kShards = 8;
#ifdef __SANITIZE_ADDRESS__
constexpr int kPerShard = 3000;
#else
constexpr int kPerShard = 12500;
#endif

class BufrBothWays : public ::testing::TestWithParam<int> {};

TEST_P(BufrBothWays, GeneratedReportsGiveTheSameBytes) {
  const int shard = GetParam();
  Gen gen(20231207u + static_cast<unsigned>(shard));
  BUFR_settings s;
  s.master_version = BUFR_installed_master_version();
  ASSERT_GT(s.master_version, 0) << "ecCodes has BUFR tables";
  // Each shard its section-1 settings; one with a station list (names,
  // WIGOS identifiers, listed positions).
  const long centres[kShards][2] = {{255, 0}, {98, 3}, {0, 65535}, {7, 0}, {65535, 1}, {34, 0}, {74, 2}, {255, 0}};
  s.centre = centres[shard][0];
  s.subcentre = centres[shard][1];
  TempDir dir;
  if (shard % 4 == 1) {
    std::string csv =
        "station_name,wigos_station_identifier,traditional_station_identifier,facility_type,latitude,"
        "longitude,elevation,barometer_height,territory_name,wmo_region\n";
    for (int k = 0; k < 60; ++k) {
      const int wmo = 10000 + k;
      char line[256];
      std::snprintf(line, sizeof line, "\"Station %d, a name longer than twenty \xC3\xA9\",0-%d-%d-%s%d,%05d,Land,%s,%s,%s,%s,X,6\n",
                    k, k % 3 == 0 ? 20000 : 276, k % 2, k % 5 == 0 ? "LOCALID" : "", wmo, wmo,
                    k % 7 == 0 ? "" : "51.5", k % 7 == 0 ? "" : "-0.1", k % 4 == 0 ? "" : "12.3",
                    k % 6 == 0 ? "" : "14.0");
      csv += line;
    }
    write_file(dir.file("stations.csv"), csv);
    ASSERT_EQ(CTY_wis_load(dir.file("stations.csv").c_str()), 0);
    ASSERT_GT(CTY_wis_count(), 40u);
  }

  std::vector<SFC_report> reports;
  std::vector<Date> dates;
  for (int i = 0; i < kPerShard; ++i) {
    dates.push_back(gen.file_date());
    reports.push_back(gen.report());
  }
  // Our packer first, then ecCodes: each message kept with its length.
  constexpr std::size_t kMax = 4096;
  std::vector<unsigned char> own(kPerShard * kMax), ecc(kPerShard * kMax);
  std::vector<long> own_len(kPerShard), ecc_len(kPerShard);
  const long left_before = BUFR_left_to_eccodes();
  const long range_0 = BUFR_out_of_range(false);
  const std::string own_err = stderr_of([&] {
    for (int i = 0; i < kPerShard; ++i)
      own_len[i] = BUFR_encode(reports[i], s, dates[i], own.data() + i * kMax, kMax);
  });
  const long range_1 = BUFR_out_of_range(false);
  const long left = BUFR_left_to_eccodes() - left_before;
  s.eccodes = true;
  const std::string ecc_err = stderr_of([&] {
    for (int i = 0; i < kPerShard; ++i)
      ecc_len[i] = BUFR_encode(reports[i], s, dates[i], ecc.data() + i * kMax, kMax);
  });
  const long range_2 = BUFR_out_of_range(false);
  if (shard % 4 == 1) CTY_wis_clear();

  long written = 0, refused = 0, other = 0, differ = 0;
  for (int i = 0; i < kPerShard; ++i) {
    const bool same = own_len[i] == ecc_len[i] &&
                      (own_len[i] <= 0 || std::memcmp(own.data() + i * kMax, ecc.data() + i * kMax,
                                                      static_cast<std::size_t>(own_len[i])) == 0);
    if (!same && ++differ <= 5)
      ADD_FAILURE() << "report " << i << " (" << reports[i].id << ", " << reports[i].area << "): " << own_len[i]
                    << " bytes by our packer, " << ecc_len[i] << " by ecCodes"
                    << first_difference(own.data() + i * kMax, ecc.data() + i * kMax, own_len[i], ecc_len[i]);
    written += own_len[i] > 0;
    refused += own_len[i] < 0;
    other += own_len[i] == 0;
  }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(range_1 - range_0, range_2 - range_1) << "the same values out of range";
  EXPECT_GT(range_1 - range_0, kPerShard / 10) << "extremes are generated";
  EXPECT_EQ(without_first_warnings(own_err), without_first_warnings(ecc_err));
  // Most messages are ours; ecCodes takes those it refuses, with its own
  // outcome (the report not written, its error told).
  EXPECT_GT(written, kPerShard * 8 / 10);
  EXPECT_GT(refused, 0) << "values ecCodes refuses are generated";
  EXPECT_GT(other, 0) << "buoys are generated";
  EXPECT_LE(left, refused + kPerShard / 100) << "our packer leaves little to ecCodes";
}

INSTANTIATE_TEST_SUITE_P(Shards, BufrBothWays, ::testing::Range(0, kShards));

// ----- the shared corpus and the option ---------------------------------------------------------

TEST(BufrBothWaysCorpus, EveryReportGivesTheSameBytesAndMessages) {
  if (tvtest::corpus_dir().empty()) GTEST_SKIP() << "no corpus";
  long bytes = 0;
  for (const std::string &f : tvtest::corpus_bulletins()) {
    SCOPED_TRACE(f);
    TempDir dir;
    tvtest::corpus_run_dir(dir);
    const std::string base = tvtest::corpus_command(f) + "-me mess ";
    const auto own = run_command(base + "-of bufr:out.bufr && mv out.bufr own.bufr", dir.path());
    const auto ecc = run_command(base + "-bp eccodes -of bufr:out.bufr && mv out.bufr ecc.bufr", dir.path());
    ASSERT_EQ(own.status, ecc.status);
    EXPECT_EQ(own.out, ecc.out);
    EXPECT_EQ(own.err, ecc.err);
    const std::string a = read_file(dir.file("own.bufr")), b = read_file(dir.file("ecc.bufr"));
    EXPECT_TRUE(a == b) << a.size() << " bytes by our packer, " << b.size() << " by ecCodes";
    bytes += static_cast<long>(a.size());
  }
  EXPECT_GT(bytes, 20000) << "the corpus gives BUFR messages";
}

TEST(BufrPackerOption, WrongWordsAreToldAndTheDefaultIsOurs) {
  TempDir dir;
  write_file(dir.file("name_conv"), read_file(tvtest::source_path("examples/name_conv")));
  write_file(dir.file("syn.cty"), read_file(tvtest::source_path("examples/syn.cty")));
  write_file(dir.file("23120712.syn"), read_file(tvtest::source_path("examples/23120712.syn")));
  const std::string tavro = std::string(TAVRO_EXE) + " -ba -pf over ";
  // On the command line: a usage error, nothing written.
  const auto wrong = run_command(tavro + "-bp ecodes -of bufr:x.bufr 23120712.syn", dir.path());
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("SYN_decode_params: Unknown word in bufr_packer: ecodes (did you mean eccodes?); "
                           "valid words: own,eccodes\n"),
            std::string::npos)
      << wrong.err;
  EXPECT_FALSE(tvtest::file_exists(dir.file("x.bufr")));
  // In a defaults file: told and ignored, our packer packs.
  write_file(dir.file("zot.cfg"), "tavro.bufr_packer fast\n");
  const auto ignored = run_command(tavro + "-of bufr:own.bufr 23120712.syn", dir.path());
  EXPECT_EQ(ignored.status, 0) << ignored.err;
  EXPECT_NE(ignored.err.find("SYN_decode_params: Unknown word in bufr_packer from ./zot.cfg, ignored: fast; "
                             "valid words: own,eccodes\n"),
            std::string::npos)
      << ignored.err;
  write_file(dir.file("zot.cfg"), "tavro.bufr_packer ECCODES\n");
  const auto ecc = run_command(tavro + "-of bufr:ecc.bufr 23120712.syn", dir.path());
  EXPECT_EQ(ecc.status, 0) << ecc.err;
  EXPECT_EQ(ecc.err.find("Unknown word"), std::string::npos) << ecc.err;
  const std::string a = read_file(dir.file("own.bufr"));
  EXPECT_GT(a.size(), 1000u);
  EXPECT_TRUE(a == read_file(dir.file("ecc.bufr")));
}

}  // namespace
