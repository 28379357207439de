// The surface observation record: initialisation, validity limits,
// comparison and merging of two reports, and the report listing.
#include "report/sfc_tool.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <type_traits>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "framework/files.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"
#include "report/calc.hpp"
#include "report/wx_tool.hpp"

namespace {

// Keeps `v` when lo <= v <= hi, otherwise marks it missing, without a
// branch: whether a field is missing changes from report to report and is
// not worth guessing.
void keep_in(int &v, int lo, int hi) {
  const int keep = -static_cast<int>((v >= lo) & (v <= hi));
  v = (v & keep) | (tv::kMissInt & ~keep);
}

}  // namespace

// ---------------------------------------------------------------------------
// Record operations

namespace {

// A fresh record, made while compiling: initialising a record is then one
// copy. A constant of static storage is zero-filled first, padding
// included, so byte copies and byte comparisons of two fresh records agree.
constexpr SFC_report fresh_record() {
  SFC_report r{};
  r.type = 0;
  r.wmo = tv::kMissInt;
  r.lat = r.lon = r.elev = tv::kMissFloat;
  r.prior = tv::kMissInt;
  r.time = tv::kMissInt;
  for (float &h : r.cld_height) h = tv::kMissFloat;
  for (char &c : r.cld_cover) c = ' ';
  r.num_cld = 0;
  r.vis = tv::kMissFloat;
  r.weather[0] = ' ';
  r.weather[1] = '\0';
  r.pmb = r.t = r.td = tv::kMissFloat;
  r.w_dir = r.w_spd = r.w_gust = tv::kMissFloat;
  r.alt = tv::kMissFloat;
  r.ptend_t = tv::kMissInt;
  r.ptend = tv::kMissFloat;
  r.rain1 = r.rain3 = r.rain6 = tv::kMissFloat;
  r.rain12 = r.rain24 = r.rain = tv::kMissFloat;
  r.rain_per = tv::kMissInt;
  r.cld_low = ' ';
  for (char &c : r.cld_type) c = ' ';
  r.max_t = r.min_t = r.max6_t = r.min6_t = tv::kMissFloat;
  r.scover = r.solar = r.sst = tv::kMissFloat;
  r.wav_per = r.wav_hgt = tv::kMissFloat;
  r.flag = 0;
  return r;
}
constexpr SFC_report kFresh = fresh_record();

}  // namespace

int SFC_initialize(SFC_report *report) {
  if (!report) return 0;
  // In pieces of 32 bytes: a copy of the whole record would become a string
  // move instruction, slow to start for a few hundred bytes.
  static_assert(sizeof *report % 32 == 0);
  auto *dst = reinterpret_cast<unsigned char *>(report);
  const auto *src = reinterpret_cast<const unsigned char *>(&kFresh);
  // Unrolled: the record's size is fixed, no loop counter is needed.
#pragma GCC unroll 32
  for (std::size_t i = 0; i < sizeof *report; i += 32) std::memcpy(dst + i, src + i, 32);
  return 0;
}

namespace {

// The validity limits as walks over the record, four slots a step: every
// 4-byte slot from `time` to `wav_hgt` has a lower and an upper limit and a
// mark of the slots that are no float to check (integers, texts, floats
// without limits), which keep their bits whatever they are. The slots of
// `weather` past `vis` hold nothing to check: two walks, one up to them and
// one from `pmb` on, leave them out.
constexpr std::size_t round16(std::size_t n) { return (n + 15) / 16 * 16; }
constexpr std::size_t kCheckFrom = offsetof(SFC_report, time);
constexpr std::size_t kGapFrom = kCheckFrom + round16(offsetof(SFC_report, vis) + sizeof(float) - kCheckFrom);
constexpr std::size_t kGapTo = offsetof(SFC_report, pmb);
constexpr std::size_t kCheckTo = kGapTo + round16(offsetof(SFC_report, wav_hgt) + sizeof(float) - kGapTo);
constexpr std::size_t kHeadSlots = (kGapFrom - kCheckFrom) / sizeof(float);
constexpr std::size_t kTailSlots = (kCheckTo - kGapTo) / sizeof(float);
constexpr std::size_t kCheckSlots = kHeadSlots + kTailSlots;
static_assert(kGapFrom <= offsetof(SFC_report, weather) + sizeof SFC_report::weather && kGapFrom <= kGapTo);
static_assert(kCheckTo <= sizeof(SFC_report));

// A slot not to check has the limits 0 and 0, and its bits are seen as
// zero by the test (whatever they are, even a NaN's), so it passes: one
// AND, where keeping its bits after the test took three operations.
struct CheckLimits {
  std::array<float, kCheckSlots> lo{};
  std::array<float, kCheckSlots> hi{};
  std::array<std::uint32_t, kCheckSlots> skip{};
};

// The slot of a field at `offset` in the two walks.
constexpr std::size_t check_slot(std::size_t offset) {
  // A limit in the gap would never be applied: no constant is made of it.
  if (offset >= kGapFrom && offset < kGapTo) throw "a checked field lies between the walks";
  return offset < kGapFrom ? (offset - kCheckFrom) / sizeof(float)
                           : kHeadSlots + (offset - kGapTo) / sizeof(float);
}

constexpr CheckLimits kCheck = [] {
  CheckLimits c;
  for (std::uint32_t &k : c.skip) k = ~0u;
  auto limit = [&c](std::size_t offset, float lo, float hi) {
    const std::size_t i = check_slot(offset);
    c.lo[i] = lo;
    c.hi[i] = hi;
    c.skip[i] = 0;
  };
  limit(offsetof(SFC_report, pmb), 900.0f, 1150.0f);
  for (std::size_t f : {offsetof(SFC_report, t), offsetof(SFC_report, td)}) limit(f, -100.0f, 150.0f);
  limit(offsetof(SFC_report, w_dir), 0.0f, 360.0f);
  limit(offsetof(SFC_report, w_spd), 0.0f, 100.0f);
  limit(offsetof(SFC_report, w_gust), 0.0f, 150.0f);
  limit(offsetof(SFC_report, alt), 26.0f, 33.0f);
  for (std::size_t k = 0; k < 5; ++k) limit(offsetof(SFC_report, cld_height) + k * sizeof(float), 0.0f, 35000.0f);
  limit(offsetof(SFC_report, vis), 0.0f, 150.0f);
  limit(offsetof(SFC_report, ptend), -10.0f, 10.0f);
  limit(offsetof(SFC_report, rain3), 0.0f, 10.0f);
  limit(offsetof(SFC_report, rain6), 0.0f, 15.0f);
  limit(offsetof(SFC_report, rain12), 0.0f, 20.0f);
  limit(offsetof(SFC_report, rain24), 0.0f, 20.0f);
  // Maximum and minimum temperatures, snow, sunshine, sea and waves.
  for (std::size_t f : {offsetof(SFC_report, max_t), offsetof(SFC_report, min_t), offsetof(SFC_report, max6_t),
                        offsetof(SFC_report, min6_t), offsetof(SFC_report, scover), offsetof(SFC_report, solar),
                        offsetof(SFC_report, sst)})
    limit(f, -100.0f, 150.0f);
  limit(offsetof(SFC_report, wav_per), 0.0f, 10.0f);
  limit(offsetof(SFC_report, wav_hgt), 0.0f, 20.0f);
  return c;
}();

// The slots [from, from + N) of the record checked against the limits from
// slot `first` on: each slot is read once, as bits, and seen as a float.
template <std::size_t N>
[[gnu::always_inline]] inline void check_slots(unsigned char *at, std::size_t first) {
  std::uint32_t bits[N];
  std::memcpy(bits, at, sizeof bits);
  constexpr std::uint32_t kMiss = std::bit_cast<std::uint32_t>(tv::kMissFloat);
  for (std::size_t i = 0; i < N; ++i) {
    const float v = std::bit_cast<float>(bits[i] & ~kCheck.skip[first + i]);
    // Both tests taken, no branch between them (NaN fails both).
    const auto keep = 0u - static_cast<std::uint32_t>(static_cast<int>(v >= kCheck.lo[first + i]) &
                                                      static_cast<int>(v <= kCheck.hi[first + i]));
    bits[i] = ((bits[i] ^ kMiss) & keep) ^ kMiss;
  }
  std::memcpy(at, bits, sizeof bits);
}

}  // namespace

// `flag` is accepted for the callers' sake and not used. Kept out of line:
// inlined into the report loop, where the record's fresh values are known,
// the compiler took some slots out of the vector walk.
[[gnu::noinline]] int SFC_check_valid(SFC_report *rep, int /*flag*/) {
  if (!rep) return 0;
  SFC_report &r = *rep;
  // The slots are read and written as bytes: two blocks of the record.
  static_assert(std::is_standard_layout_v<SFC_report>);
  auto *bytes = reinterpret_cast<unsigned char *>(rep);
  check_slots<kHeadSlots>(bytes + kCheckFrom, 0);
  check_slots<kTailSlots>(bytes + kGapTo, kHeadSlots);
  keep_in(r.time, 0, 2400);
  keep_in(r.ptend_t, 0, 9);
  // A dew point cannot exceed the temperature; with the temperature missing
  // this makes the dew point missing too.
  if (r.td > r.t) r.td = r.t;
  return 0;
}

// ---------------------------------------------------------------------------
// Report comparison and merging (SFC_compare, SFC_update)

namespace {

constexpr M_type kMergeLevel = 0x8000000;

bool merge_has(float v) { return !tv::is_miss(v); }
bool merge_has(int v) { return !tv::is_miss(v); }

// Prints one merge decision; the callers only get here when the level is on.
void merge_note(const char *text) { MESS_print(kMergeLevel, "%s", text); }

// Records the first category that differs and reports every difference.
struct MergeDiff {
  bool trace;
  int result = 0;
  void found(int category, const char *text) {
    if (trace) merge_note(text);
    if (result == 0) result = category;
  }
};

// A difference when both have a value and the values differ, or when only
// the new report has one: a group the kept report lacks is news, not a
// duplicate, and must reach the merge.
template <typename T>
bool merge_differs(T fresh, T kept) {
  if (!merge_has(fresh)) return false;
  return !merge_has(kept) || fresh != kept;
}

// Text groups: "absent" is a leading blank (weather) or an empty text.
bool merge_text_differs(const char *fresh, const char *kept, std::size_t n, bool blank_absent) {
  const bool fresh_absent = blank_absent ? fresh[0] == ' ' : fresh[0] == '\0';
  const bool kept_absent = blank_absent ? kept[0] == ' ' : kept[0] == '\0';
  if (fresh_absent) return false;
  return kept_absent || std::strncmp(fresh, kept, n) != 0;
}

// One-character groups (cloud cover, cloud type): blank is absent.
bool merge_char_differs(char fresh, char kept) {
  if (fresh == ' ') return false;
  return kept == ' ' || fresh != kept;
}

// The newer report carries the later groups of a full synoptic report.
bool merge_later_groups(const SFC_report *r) {
  const float later[] = {r->ptend,  r->rain3,  r->rain6,  r->rain12, r->rain24,
                         r->max_t,  r->min_t,  r->max6_t, r->min6_t, r->scover,
                         r->solar,  r->sst,    r->wav_per, r->wav_hgt};
  if (merge_has(r->ptend_t)) return true;
  for (float v : later)
    if (merge_has(v)) return true;
  for (char c : r->cld_type)
    if (c != ' ') return true;
  return false;
}

template <typename T>
void merge_copy(bool on, T &dst, T src, bool trace, const char *text) {
  if (!on || !merge_has(src)) return;
  dst = src;
  if (trace) merge_note(text);
}

// Cloud layers: the count follows the newer report's highest layer, even
// downwards.
void merge_layers(SFC_report *rep1, const SFC_report *rep2, bool trace) {
  int top = -1;
  for (int i = 0; i < 5; ++i) {
    if (merge_has(rep2->cld_height[i])) {
      rep1->cld_height[i] = rep2->cld_height[i];
      top = i;
      if (trace) MESS_print(kMergeLevel, "Updated cloud height: %d\n", i);
    }
    if (rep2->cld_cover[i] != ' ') {
      rep1->cld_cover[i] = rep2->cld_cover[i];
      top = i;
      if (trace) MESS_print(kMergeLevel, "Updated cloud cover: %d\n", i);
    }
  }
  if (top >= 0) rep1->num_cld = top + 1;
}

// Precipitation: a newer full report replaces the whole set of amounts: one
// it no longer gives is withdrawn.
void merge_amounts(SFC_report *rep1, const SFC_report *rep2, bool trace) {
  const bool later = merge_later_groups(rep2);
  struct Rain {
    float SFC_report::*field;
    const char *updated;
    const char *deleted;
  };
  static constexpr Rain kRain[] = {
      {&SFC_report::rain3, "Updated 3 hr precip\n", "Deleted 3 hr precip\n"},
      {&SFC_report::rain6, "Updated 6 hr precip\n", "Deleted 6 hr precip\n"},
      {&SFC_report::rain12, "Updated 12 hr precip\n", "Deleted 12 hr precip\n"},
      {&SFC_report::rain24, "Updated 24 hr precip\n", "Deleted 24 hr precip\n"},
  };
  for (const Rain &r : kRain) {
    float &dst = rep1->*r.field;
    const float src = rep2->*r.field;
    if (merge_has(src)) {
      dst = src;
      if (trace) merge_note(r.updated);
    } else if (later && merge_has(dst)) {
      dst = tv::kMissFloat;
      if (trace) merge_note(r.deleted);
    }
  }
}

}  // namespace

int SFC_compare(SFC_report *rep1, SFC_report *rep2) {
  if (rep1 == nullptr || rep2 == nullptr) return 0;
  MergeDiff d{MESS_check(kMergeLevel) != 0};

  if (rep1->type != 0 && rep2->type != 0 && rep1->type != rep2->type) {
    if (d.trace) MESS_print(kMergeLevel, "Different types: %d %d\n", rep1->type, rep2->type);
    if (d.result == 0) d.result = 1;
  }
  // A report at another time is another report, never an addition.
  if (merge_has(rep1->time) && merge_has(rep2->time) && rep1->time != rep2->time)
    d.found(2, "Different times\n");
  if (merge_differs(rep1->t, rep2->t)) d.found(3, "Different temperatures\n");
  if (merge_differs(rep1->td, rep2->td)) d.found(3, "Different dewpoints\n");
  if (merge_differs(rep1->pmb, rep2->pmb)) d.found(4, "Different SLP pressures\n");
  if (merge_differs(rep1->alt, rep2->alt)) d.found(4, "Different altimeter settings\n");
  if (merge_differs(rep1->w_dir, rep2->w_dir)) d.found(5, "Different wind direction\n");
  if (merge_differs(rep1->w_spd, rep2->w_spd)) d.found(5, "Different wind speed\n");
  if (merge_differs(rep1->w_gust, rep2->w_gust)) d.found(5, "Different wind gusts\n");
  if (merge_text_differs(rep1->weather, rep2->weather, sizeof rep1->weather, true))
    d.found(6, "Different weather\n");
  for (int i = 0; i < 5; ++i) {
    if (merge_differs(rep1->cld_height[i], rep2->cld_height[i]))
      d.found(7, "Different cloud heights\n");
    if (merge_char_differs(rep1->cld_cover[i], rep2->cld_cover[i]))
      d.found(7, "Different cloud covers\n");
  }
  if (merge_differs(rep1->vis, rep2->vis)) d.found(8, "Different visibility\n");
  if (merge_differs(rep1->ptend_t, rep2->ptend_t)) d.found(9, "Different pressure tendency type\n");
  if (merge_differs(rep1->ptend, rep2->ptend)) d.found(9, "Different pressure tendencies\n");
  // Precipitation: a missing amount is a value of its own, so a report
  // without the amount differs from one with it.
  if (rep1->rain3 != rep2->rain3) d.found(10, "Different 3 hr precip\n");
  if (rep1->rain6 != rep2->rain6) d.found(10, "Different 6 hr precip\n");
  if (rep1->rain12 != rep2->rain12) d.found(10, "Different 12 hr precip\n");
  if (rep1->rain24 != rep2->rain24) d.found(10, "Different 24 hr precip\n");
  if (merge_differs(rep1->max_t, rep2->max_t)) d.found(11, "Different max temp\n");
  if (merge_differs(rep1->min_t, rep2->min_t)) d.found(11, "Different min temp\n");
  if (merge_differs(rep1->max6_t, rep2->max6_t)) d.found(11, "Different 6 hr max temp\n");
  if (merge_differs(rep1->min6_t, rep2->min6_t)) d.found(11, "Different 6 hr min temp\n");
  if (merge_differs(rep1->scover, rep2->scover)) d.found(12, "Different snow cover\n");
  if (merge_differs(rep1->solar, rep2->solar)) d.found(13, "Different solar duration\n");
  if (merge_differs(rep1->sst, rep2->sst)) d.found(14, "Different sea surface temperatures\n");
  if (merge_differs(rep1->wav_per, rep2->wav_per)) d.found(14, "Different wave period\n");
  if (merge_differs(rep1->wav_hgt, rep2->wav_hgt)) d.found(14, "Different wave height\n");
  for (int i = 0; i < 3; ++i) {
    if (merge_char_differs(rep1->cld_type[i], rep2->cld_type[i]))
      d.found(15, "Different cloud types\n");
  }
  if (merge_text_differs(rep1->comment, rep2->comment, sizeof rep1->comment, false))
    d.found(16, "Different comments\n");
  return d.result;
}

int SFC_update(SFC_report *rep1, SFC_report *rep2, int lev) {
  if (rep1 == nullptr || rep2 == nullptr) return 0;
  const bool trace = MESS_check(kMergeLevel) != 0;

  if (lev > 0 && rep2->type != 0) {
    rep1->type = rep2->type;
    if (trace) merge_note("Updated type\n");
  }
  merge_copy(lev > 1, rep1->time, rep2->time, trace, "Updated time\n");
  // A value known to tenths is not replaced by a coarser one.
  const bool precise = !((rep1->flag & 1) != 0 && (rep2->flag & 1) == 0);
  merge_copy(lev > 2 && precise, rep1->t, rep2->t, trace, "Updated temp\n");
  merge_copy(lev > 2 && precise, rep1->td, rep2->td, trace, "Updated dewpoint\n");
  merge_copy(lev > 3, rep1->pmb, rep2->pmb, trace, "Updated SL pressure\n");
  merge_copy(lev > 3, rep1->alt, rep2->alt, trace, "Updated altimeter setting\n");
  merge_copy(lev > 4, rep1->w_dir, rep2->w_dir, trace, "Updated wind direction\n");
  merge_copy(lev > 4, rep1->w_spd, rep2->w_spd, trace, "Updated wind speed\n");
  merge_copy(lev > 4, rep1->w_gust, rep2->w_gust, trace, "Updated wind gust\n");
  if (lev > 5 && rep2->weather[0] != ' ') {
    std::memcpy(rep1->weather, rep2->weather, sizeof rep1->weather);
    rep1->weather[sizeof rep1->weather - 1] = '\0';
    if (trace) merge_note("Updated weather\n");
  }
  if (lev > 6) merge_layers(rep1, rep2, trace);
  merge_copy(lev > 7, rep1->vis, rep2->vis, trace, "Updated visibility\n");
  merge_copy(lev > 8, rep1->ptend_t, rep2->ptend_t, trace, "Updated pressure tendency type\n");
  merge_copy(lev > 8, rep1->ptend, rep2->ptend, trace, "Updated pressure tendency\n");
  if (lev > 9) merge_amounts(rep1, rep2, trace);
  merge_copy(lev > 10, rep1->max_t, rep2->max_t, trace, "Updated max temp\n");
  merge_copy(lev > 10, rep1->min_t, rep2->min_t, trace, "Updated min temp\n");
  merge_copy(lev > 10, rep1->max6_t, rep2->max6_t, trace, "Updated 6 hr max temp\n");
  merge_copy(lev > 10, rep1->min6_t, rep2->min6_t, trace, "Updated 6 hr min temp\n");
  merge_copy(lev > 11, rep1->scover, rep2->scover, trace, "Updated snow cover\n");
  merge_copy(lev > 12, rep1->solar, rep2->solar, trace, "Updated solar duration\n");
  merge_copy(lev > 13, rep1->sst, rep2->sst, trace, "Updated sea surface temperatures\n");
  merge_copy(lev > 13, rep1->wav_per, rep2->wav_per, trace, "Updated wave period\n");
  merge_copy(lev > 13, rep1->wav_hgt, rep2->wav_hgt, trace, "Updated wave height\n");
  if (lev > 14) {
    for (int i = 0; i < 3; ++i) {
      if (rep2->cld_type[i] == ' ') continue;
      rep1->cld_type[i] = rep2->cld_type[i];
      if (trace) MESS_print(kMergeLevel, "Updated cloud type: %d\n", i);
    }
  }
  // Remarks merge only at the low levels ("dup" is -1); full updates keep
  // the first report's remarks.
  if (lev <= 16 && rep2->comment[0] != '\0') {
    std::memcpy(rep1->comment, rep2->comment, sizeof rep1->comment);
    rep1->comment[sizeof rep1->comment - 1] = '\0';
    if (trace) merge_note("Updated comments\n");
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Report listing (SFC_set_print, SFC_print_line) and full report printout
// (SFC_print_report)

namespace {

constexpr M_type kPrintLevel = 15;    // the full printout, whatever the listing level
constexpr M_type kVarWarnLevel = 64;

int print_type = 2;     // 1 plns, 2 pln, 3 pfull, 4 psyn
bool var_tried = false;  // the variable file is looked for once only

bool present(float v) { return v != tv::kMissFloat; }
bool present(int v) { return v != tv::kMissInt; }

// One listing line, built in place and printed by a single MESS_print, so a
// time-stamped log gets one stamp per line and paging counts the line. The
// numbers are formatted exactly as printf would, without its cost. Every
// write is bounded: a line from a corrupted record is cut, never overrun.
class Line {
 public:
  void text(const char *s) { put(s, std::strlen(s)); }
  void blanks(int n) {
    while (n-- > 0) put1(' ');
  }
  void ch(char c) { put1(c == '\0' ? ' ' : c); }

  // printf "%<width>.<prec>f".
  void fixed(float v, int width, int prec) {
    len_ = static_cast<std::size_t>(str_put_fixed(buf_ + len_, buf_ + kCap, static_cast<double>(v), width, prec) - buf_);
  }

  // A number cell: `before`, printf "%<width>.<prec>f" of `v` and `after`
  // when `has`, else `missing` blanks.
  void cell(bool has, float v, int width, int prec, const char *after, int missing,
            const char *before = "") {
    if (!has) {
      blanks(missing);
      return;
    }
    text(before);
    fixed(v, width, prec);
    text(after);
  }

  // printf "%<width>.<prec>d".
  void integer(int v, int width, int prec) {
    len_ = static_cast<std::size_t>(str_put_int(buf_ + len_, buf_ + kCap, v, width, prec) - buf_);
  }

  // printf "%<width>.<prec>s" (prec < 0: none), left-justified when `left`;
  // reads at most `max` bytes of `s`.
  void str(const char *s, std::size_t max, int width, int prec, bool left) {
    std::size_t n = strnlen(s, max);
    if (prec >= 0 && n > static_cast<std::size_t>(prec)) n = static_cast<std::size_t>(prec);
    const int pad = width - static_cast<int>(n);
    if (!left) blanks(pad);
    for (std::size_t i = 0; i < n; ++i) ch(s[i]);
    if (left) blanks(pad);
  }

  void print(M_type level) {
    buf_[len_] = '\0';
    MESS_print(level, "%s\n", buf_);
    len_ = 0;
  }

 private:
  void put1(char c) {
    if (len_ < kCap) buf_[len_++] = c;
  }
  void put(const char *s, std::size_t n) {
    while (n-- > 0) put1(*s++);
  }

  static constexpr std::size_t kCap = 400;
  char buf_[kCap + 1];
  std::size_t len_ = 0;
};

// Cover character to a listing cell of mode 1, with and without a height.
struct CoverCell {
  char cover;
  const char *with_height;  // after "%3.0f" of the height / 100
  const char *without;
};
constexpr CoverCell kCoverCells[] = {
    {'B', " BKN ", "    BKN "}, {'C', " CLR ", "    CLR "}, {'F', " FEW ", "    FEW "},
    {'O', " OVC ", "    OVC "}, {'S', " SCT ", "    SCT "}, {'X', " X   ", "    X   "},
    {'b', "-BKN ", "   -BKN "}, {'o', "-OVC ", "   -OVC "}, {'s', "-SCT ", "   -SCT "},
    {'x', "-X   ", "   -X   "},
};

// Summary cover of mode 2; digits 0 to 8 print as eighths.
struct CoverWord {
  char cover;
  const char *text;
};
constexpr CoverWord kSummaryCover[] = {
    {'9', "  X  "}, {'X', "  X  "}, {'B', " BKN "}, {'C', " CLR "}, {'F', " FEW "},
    {'O', " OVC "}, {'S', " SCT "}, {'b', "-BKN "}, {'o', "-OVC "}, {'s', "-SCT "},
    {'x', " -X  "},
};

// Cover words of the full printout: the categories of table 2700, and the
// thin variants, which it does not know.
struct CoverName {
  char cover;
  const char *word;
};
constexpr CoverName kThinCovers[] = {
    {'b', "thin broken"}, {'o', "thin overcast"}, {'s', "thin scattered"}, {'x', "partially obscured"},
};

const char *cover_name(char c) {
  if (const char *word = WX_cover_word(c)) return word;
  for (const CoverName &n : kThinCovers)
    if (n.cover == c) return n.word;
  return nullptr;
}

float or_else(float a, float b) { return present(a) ? a : b; }

double f_to_k(float f) { return 273.15 + 5.0 * (static_cast<double>(f) - 32.0) / 9.0; }
double k_to_f(double k) { return 32.0 + 9.0 * (k - 273.15) / 5.0; }

// The stored weather as an SAO weather string: ww digits and METAR groups
// are converted, anything else is taken as it is. `out` holds 24 bytes.
void sao_weather(const char *stored, char *out) {
  if (std::isdigit(static_cast<unsigned char>(stored[0]))) {
    int ww = 0;
    for (int i = 0; i < 20 && std::isdigit(static_cast<unsigned char>(stored[i])); ++i)
      ww = std::min(ww * 10 + (stored[i] - '0'), 1000);  // anything past 99 is no code
    WX_wmo_weather(ww, out);
  } else if (stored[0] == '!') {
    WX_metar_weather(stored, out);
  } else {
    std::snprintf(out, 24, "%.20s", stored);
  }
}

// "%03d " of the last three digits of trunc(scale x (v + add)), the coded
// form of pressures in synoptic messages.
void coded3(Line &l, float v, double scale, double add) {
  const double n = std::trunc(scale * (static_cast<double>(v) + add));
  if (!std::isfinite(n)) {
    l.blanks(4);
    return;
  }
  const int last = static_cast<int>(std::fmod(n, 1000.0));
  l.integer(last, 3, last < 0 ? 2 : 3);
  l.text(" ");
}

// What a variable file holds is used by no layout; only the open
// attempt, once, and its warning remain.
void try_var_file() {
  if (var_tried) return;
  const char *var = RES_get("variable");
  if (var == nullptr || var[0] == '\0') return;
  var_tried = true;
  char prog[160], name[168], path[160], full[160];
  RES_get_progname(prog);
  std::snprintf(name, sizeof name, "%s.var", prog);
  FILE_add_path(RES_get("file_path"), name, path);
  FILE_add_user_path(path, full);
  if (FILE *f = std::fopen(full, "r")) {
    std::fclose(f);
    return;
  }
  MESS_print(kVarWarnLevel, "VAR_open_file: Unable to open var file: %s\n", path);
}

// The identifier cell of the psyn and plns layouts: five characters and a
// blank. Every psyn cell after it begins with a blank, so there a sixth
// character may take the blank. A longer identifier (a ship's call sign)
// would push every later cell to the right: it is cut to five characters
// with "+" in the blank, and the whole identifier ends the row (id_tail).
constexpr std::size_t kIdCut = 5;

// `room`: the most characters that print whole.
bool id_too_long(const SFC_report &r, std::size_t room) { return strnlen(r.id, sizeof r.id) > room; }

void id_cell(Line &l, const SFC_report &r, int width, bool left, std::size_t room) {
  if (id_too_long(r, room)) {
    l.str(r.id, sizeof r.id, 0, static_cast<int>(kIdCut), true);
    l.text("+");
  } else if (strnlen(r.id, sizeof r.id) > kIdCut) {
    l.str(r.id, sizeof r.id, 0, -1, true);
  } else {
    l.str(r.id, sizeof r.id, width, -1, left);
    l.text(" ");
  }
}

void id_tail(Line &l, const SFC_report &r, std::size_t room) {
  if (!id_too_long(r, room)) return;
  l.text(" [");
  l.str(r.id, sizeof r.id, 0, -1, true);
  l.text("]");
}

// The speed cell after a known direction: blank when the speed is missing
// (a speed the validity check has reset), never "-9999".
void speed_cell(Line &l, float w_spd) {
  if (present(w_spd))
    l.fixed(w_spd, 2, 0);
  else
    l.blanks(2);
}

// The sea-level pressure, temperature and dew point cells, alike in the
// psyn and plns layouts.
void pressure_and_temps(Line &l, const SFC_report &r) {
  l.cell(r.pmb >= 0.0f, r.pmb, 6, 1, " ", 8, " ");
  for (float v : {r.t, r.td}) l.cell(present(v), v, 3, 0, " ", 4);
}

// Direction-speed and gust, alike in the psyn and plns layouts.
void wind_cells(Line &l, const SFC_report &r) {
  if (!present(r.w_dir)) {
    l.text("   -      ");
    return;
  }
  l.fixed(r.w_dir, 3, 0);
  l.text("-");
  speed_cell(l, r.w_spd);
  l.text(" ");
  l.cell(r.w_gust >= 0.0f, r.w_gust, 2, 0, " ", 3);
}

// The low, middle and high cloud types as "L:M:H".
void cloud_type_cell(Line &l, const SFC_report &r) {
  l.ch(r.cld_type[0]);
  l.text(":");
  l.ch(r.cld_type[1]);
  l.text(":");
  l.ch(r.cld_type[2]);
}

// Mode 4, "psyn".
void list_psyn(M_type level, const SFC_report &r) {
  Line l;
  id_cell(l, r, 5, true, kIdCut + 1);
  if (r.num_cld < 1) {
    l.blanks(7);
  } else {
    l.cell(r.cld_height[0] >= 0.0f, r.cld_height[0] / 100.0f, 3, 0, " ", 5, " ");
    l.ch(r.cld_cover[0]);
    l.text(" ");
  }
  l.cell(r.vis >= 0.0f, r.vis, 5, 1, "  ", 7);
  if (r.weather[0] == ' ')
    l.blanks(4);
  else
    l.str(r.weather, sizeof r.weather, 4, -1, false);
  pressure_and_temps(l, r);
  wind_cells(l, r);
  const float te = or_else(r.max_t, or_else(r.min_t, or_else(r.max6_t, r.min6_t)));
  l.cell(present(te), te, 2, 0, " ", 4);
  l.cell(present(r.ptend), r.ptend, 4, 1, "", 4);
  l.cell(r.rain6 >= 0.0f, r.rain6, 4, 2, " ", 6, " ");
  l.cell(r.rain24 >= 0.0f, r.rain24, 4, 2, " ", 5);
  l.cell(r.scover >= 0.0f, r.scover, 2, 0, "", 2);
  if (r.cld_type[0] != ' ') {
    l.text(" ");
    cloud_type_cell(l, r);
  }
  id_tail(l, r, kIdCut + 1);
  l.print(level);
}

// The summary cloud cover cell of the pln layout; figures print as eighths.
void summary_cover_cell(Line &l, char cover) {
  const char *cov = nullptr;
  for (const CoverWord &w : kSummaryCover)
    if (w.cover == cover) cov = w.text;
  if (cov) {
    l.text(cov);
  } else if (cover >= '0' && cover <= '8') {
    l.ch(cover);
    l.text("/8 ");
  } else {
    l.blanks(5);
  }
}

// Mode 2, "pln".
void list_pln(M_type level, const SFC_report &r) {
  Line l;
  auto num = [&l](float v, int prec = 0) { l.cell(present(v), v, 3, prec, " ", 4); };
  l.str(r.id, sizeof r.id, 6, 6, true);
  l.text(" ");
  if (present(r.time)) {
    l.integer(r.time, 4, 4);
    l.text(" ");
  } else {
    l.blanks(5);
  }
  num(r.t);
  num(r.td);
  if (present(r.t) && present(r.td))
    num(rel_hum(static_cast<float>(f_to_k(r.t)), static_cast<float>(f_to_k(r.td))));
  else
    l.blanks(4);
  num(r.w_dir);
  num(r.w_spd);
  num(r.w_gust);
  if (present(r.alt))
    coded3(l, r.alt, 100.0, 0.002);
  else
    l.blanks(4);
  if (present(r.pmb))
    coded3(l, r.pmb, 10.0, 0.02);
  else
    l.blanks(4);
  num(r.vis, r.vis >= 3.0f ? 0 : 1);

  char cover = ' ';
  float hght = tv::kMissFloat;
  WX_set_cloud(&r, &cover, &hght);
  l.cell(present(hght), hght / 100.0f, 3, 0, " ", 4);
  summary_cover_cell(l, cover);

  if (r.weather[0] == ' ') {
    l.blanks(4);
  } else {
    char wx[24];
    sao_weather(r.weather, wx);
    l.str(wx, sizeof wx, 3, 3, true);
    l.text(" ");
  }
  num(or_else(r.max_t, r.max6_t));
  num(or_else(r.min_t, r.min6_t));
  for (float v : {r.rain6, r.rain24}) l.cell(present(v), v, 4, 2, " ", 5);
  l.cell(present(r.scover), r.scover, 2, 0, "", 2);
  l.print(level);
}

// Mode 1, "plns", first line: the report's values.
void plns_values(Line &l, const SFC_report &r) {
  id_cell(l, r, 4, false, kIdCut);
  const bool regular = (r.type & 1) != 0, special = (r.type & 2) != 0;
  l.text(regular && special ? "RS" : regular ? "SA" : special ? "SP" : "--");
  l.text((r.type & 4) != 0 ? "*" : " ");
  if (r.time >= 0) {
    l.integer(r.time, 4, 4);
    l.text(" ");
  } else {
    l.blanks(5);
  }
  l.cell(r.vis >= 0.0f, r.vis, 5, 1, "  ", 7);
  if (r.weather[0] == ' ') {
    l.blanks(6);
  } else {
    const char *wx = r.weather[0] == '!' ? r.weather + 1 : r.weather;
    l.str(wx, sizeof r.weather - (wx - r.weather), 5, 5, false);
    l.text(" ");
  }
  pressure_and_temps(l, r);
  l.text(" ");
  wind_cells(l, r);
  l.cell(r.alt >= 0.0f, r.alt, 5, 2, " ", 6);
  l.cell(present(r.ptend), r.ptend, 4, 1, "  ", 6);
  for (float v : {or_else(r.max_t, r.max6_t), or_else(r.min_t, r.min6_t)})
    l.cell(present(v), v, 3, 0, " ", 4);
  id_tail(l, r, kIdCut);
}

// One cloud layer of the plns layout: height in hundreds of feet and cover.
void plns_layer(Line &l, const SFC_report &r, int i) {
  const char c = r.cld_cover[i];
  const CoverCell *cell = nullptr;
  for (const CoverCell &k : kCoverCells)
    if (k.cover == c) cell = &k;
  if (r.cld_height[i] >= 0.0f) {
    if (c == ' ') {
      l.text("    M   ");
      return;
    }
    l.fixed(r.cld_height[i] / 100.0f, 3, 0);
    if (cell) {
      l.text(cell->with_height);
      return;
    }
    l.text(" ");
  } else if (cell) {
    l.text(cell->without);
    return;
  } else {
    l.blanks(4);
  }
  l.ch(c);
  l.text("/8 ");
}

// Mode 1, "plns", second line: cloud layers, types and amounts.
void plns_clouds(Line &l, const SFC_report &r) {
  l.blanks(4);
  for (int i = 0; i < 5; ++i) {
    if (i >= r.num_cld)
      l.blanks(8);
    else
      plns_layer(l, r, i);
  }
  l.text("  ");
  cloud_type_cell(l, r);
  l.text("  ");
  for (float v : {r.rain3, r.rain6, r.rain12, r.rain24}) l.cell(v >= 0.0f, v, 4, 2, " ", 5);
  l.cell(r.scover >= 0.0f, r.scover, 2, 0, "", 2);
}

// Mode 1, "plns": two lines, and a third for remarks.
void list_plns(M_type level, const SFC_report &r) {
  Line l;
  plns_values(l, r);
  l.print(level);
  plns_clouds(l, r);
  l.print(level);
  if (r.comment[0] != '\0') {
    l.text("   COMMENT: ");
    l.str(r.comment, sizeof r.comment, -1, -1, true);
    l.print(level);
  }
}

}  // namespace

int SFC_set_print(int type) {
  print_type = type;
  return 0;
}

int SFC_print_line(M_type level, SFC_report *report) {
  if (!MESS_check(level)) return 0;
  try_var_file();
  switch (print_type) {
    case 1:
      if (report) {
        list_plns(level, *report);
      } else {
        MESS_print(level, "  ID Tp Time  Vis    PWx   SLPres   T  Td   WD-WS WG  Alt   PT  Max Min\n");
        MESS_print(level,
                   "     CHt CCv CHt CCv CHt CCv CHt CCv CHt CCv  L:M:H  Rn3  Rn6 Rn12 Rn24 SC\n");
      }
      break;
    case 2:
      if (report)
        list_pln(level, *report);
      else
        MESS_print(level,
                   "ID     TIME   T  TD  RH DIR SPD GST ALT SLP VIS CIL  COV WX  MAX MIN  PR6 PR24 SC\n");
      break;
    case 3:
      SFC_print_report(report);
      break;
    case 4:
      if (report)
        list_psyn(level, *report);
      else
        MESS_print(level,
                   " ID   Cht Cv  Vis   PWx  SLPres   T  Td  WD-WS WG  Te  PT   Rn6 Rn24 SC L:M:H\n");
      break;
    default:
      break;
  }
  return 0;
}

// Returns 0, or -1 without printing anything when `report` is null.
int SFC_print_report(SFC_report *report) {
  if (!report) return -1;
  const SFC_report &r = *report;
  const M_type lv = kPrintLevel;

  MESS_print(lv, "Data for: %.10s\n", r.id);
  if (present(r.wmo)) MESS_print(lv, "WMO number: %ld\n", static_cast<long>(r.wmo));
  if (present(r.lat)) MESS_print(lv, "LAT: %7.2f N  LON: %7.2f E\n", r.lat, r.lon);
  if (present(r.elev)) MESS_print(lv, "Elevation: %7.0f m\n", r.elev);
  MESS_print(lv, "-----------------------------------\n");
  if (present(r.time)) MESS_print(lv, "Report time:        %4.4d Z\n", r.time);
  if (present(r.t))
    MESS_print(lv, "Temperature:         %3.0f F = %4.1f C\n", r.t, 5.0 * (r.t - 32.0) / 9.0);
  if (present(r.td))
    MESS_print(lv, "Dewpoint:            %3.0f F = %4.1f C\n", r.td, 5.0 * (r.td - 32.0) / 9.0);
  if (present(r.w_dir)) {
    if (r.w_spd == 0.0f)
      MESS_print(lv, "Winds:               calm");
    else if (!present(r.w_spd))  // reset by the validity check
      MESS_print(lv, "Winds:               %3.0f deg, speed missing", r.w_dir);
    else
      MESS_print(lv, "Winds:               %3.0f deg at %1.0f knt", r.w_dir, r.w_spd);
    if (present(r.w_gust))
      MESS_print(lv, " Gusts: %1.0f knt\n", r.w_gust);
    else
      MESS_print(lv, "\n");
  }
  if (present(r.alt)) MESS_print(lv, "Altimeter setting:    %5.2f in Hg\n", r.alt);
  if (present(r.pmb)) MESS_print(lv, "Sea level pressure: %5.1f mb\n", r.pmb);
  const int layers = std::min(r.num_cld, 5);
  for (int i = 0; i < layers; ++i) {
    MESS_print(lv, i == 0 ? "Clouds:" : "       ");
    if (present(r.cld_height[i]))
      MESS_print(lv, "level %d: %6.0f feet ", i + 1, r.cld_height[i]);
    else
      MESS_print(lv, "                    ");
    // An unknown cover prints no word and no line end.
    if (const char *word = cover_name(r.cld_cover[i])) MESS_print(lv, "%s\n", word);
  }
  if (present(r.vis)) MESS_print(lv, "Visibility:           %5.2f miles\n", r.vis);
  if (r.weather[0] != ' ' && r.weather[0] != '\0') {
    char words[32] = "";
    WX_weather_text(r.weather, words);
    MESS_print(lv, "Present weather:     %s\n", words);
  }
  if (present(r.ptend)) MESS_print(lv, "Pressure tendency:    %4.1f mb\n", r.ptend);
  if (r.rain6 >= 0.0f) MESS_print(lv, "3/6 hour precip:       %4.2f in\n", r.rain6);
  if (r.rain24 >= 0.0f) MESS_print(lv, "24 hour precip:        %4.2f in\n", r.rain24);
  if (present(r.max_t)) MESS_print(lv, "Max temperature:     %3.0f F\n", r.max_t);
  if (present(r.min_t)) MESS_print(lv, "Min temperature:     %3.0f F\n", r.min_t);
  if (present(r.max6_t)) MESS_print(lv, " 6 hr Max temp:      %3.0f F\n", r.max6_t);
  if (present(r.min6_t)) MESS_print(lv, " 6 hr Min temp:      %3.0f F\n", r.min6_t);
  if (r.scover >= 0.0f) MESS_print(lv, "Snow cover:          %3.0f in.\n", r.scover);
  if (present(r.t) && present(r.w_spd)) {
    // A chill that cannot be computed (speed or temperature out of the
    // formula's domain) is missing, not a chill of -9999 degrees.
    const float wc = wind_chill_temp2(static_cast<float>(f_to_k(r.t)), 0.5144f * r.w_spd);
    if (present(wc)) {
      const double chill = k_to_f(wc);
      if (chill < 30.0) MESS_print(lv, "Wind chill:           %4.1f F\n", chill);
    }
  }
  if (present(r.t) && present(r.td)) {
    const float hi =
        heat_index(static_cast<float>(f_to_k(r.t)), static_cast<float>(f_to_k(r.td)));
    const double heat = present(hi) ? k_to_f(hi) : tv::kMissFloat;
    if (heat > 75.0) MESS_print(lv, "Heat index:           %4.1f F\n", heat);
  }
  if (r.cld_type[0] != ' ')
    MESS_print(lv, "Cloud types- Low:%c Medium:%c High:%c\n", r.cld_type[0], r.cld_type[1],
               r.cld_type[2]);
  if (r.comment[0] != '\0') MESS_print(lv, "Remarks: %.99s\n", r.comment);
  return 0;
}
