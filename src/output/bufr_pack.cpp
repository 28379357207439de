// The BUFR packer: the layout read from ecCodes once, the bits written here.
#include "output/bufr_pack.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace bufr {

// ----- text bits ---------------------------------------------------------------------

bool put_text_bits(unsigned char *data, std::size_t size, std::size_t offset, const char *s, std::size_t len,
                   std::size_t n) {
  if (len > n) len = n;
  const std::size_t at = offset / 8;
  const int r = static_cast<int>(offset % 8);
  if (at > size || n > size - at || (r != 0 && n == size - at)) return false;
  if (r == 0) {
    // On an octet boundary: the bytes as they are.
    std::memcpy(data + at, s, len);
    std::memset(data + at + len, 0, n - len);
    return true;
  }
  // Seven bytes to a write.
  for (std::size_t i = 0; i < n; i += 7) {
    const std::size_t k = n - i < 7 ? n - i : 7;
    std::uint64_t bits = 0;
    for (std::size_t j = i; j < i + k; ++j) {
      unsigned b = j < len ? static_cast<unsigned char>(s[j]) : 0u;
      if (b & 0x80u) b = ((b >> r) << r) | (b >> (8 - r));
      bits = bits << 8 | b;
    }
    put_bits(data, size, offset + 8 * i, bits, static_cast<int>(8 * k));
  }
  return true;
}

// ----- reading the layout -------------------------------------------------------------

namespace {

// A string array from ecCodes, freed as a whole.
struct Strings {
  std::vector<char *> v;
  ~Strings() {
    for (char *s : v) std::free(s);
  }
};

bool get_longs(codes_handle *h, const char *key, std::vector<long> &out, std::size_t n) {
  out.assign(n, 0);
  std::size_t len = n;
  return codes_get_long_array(h, key, out.data(), &len) == 0 && len == n;
}

bool get_strings(codes_handle *h, const char *key, Strings &out, std::size_t n) {
  out.v.assign(n, nullptr);
  std::size_t len = n;
  return codes_get_string_array(h, key, out.v.data(), &len) == 0 && len == n;
}

// round(x) - reference as an integer, for |x| below 2^53 (elements of up to
// 52 bits): half away from zero as C's round() (x - trunc(x) is exact),
// without a call.
std::int64_t rounded_less(double x, long reference) {
  auto t = static_cast<std::int64_t>(x);
  const double frac = x - static_cast<double>(t);
  if (frac >= 0.5) ++t;
  if (frac <= -0.5) --t;
  return t - reference;
}

// The `width` bits (up to 64) at bit `offset` of [data, data + size), or
// false when they are not all inside.
bool get_bits(const unsigned char *data, std::size_t size, std::size_t offset, int width, std::uint64_t *out) {
  if (width < 0 || width > 64 || offset / 8 > size || (offset + static_cast<std::size_t>(width) + 7) / 8 > size)
    return false;
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) {
    const std::size_t bit = offset + static_cast<std::size_t>(i);
    v = v << 1 | ((data[bit / 8] >> (7 - bit % 8)) & 1u);
  }
  *out = v;
  return true;
}

unsigned long octets(const std::vector<unsigned char> &m, std::size_t at, int n) {
  unsigned long v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | m[at + static_cast<std::size_t>(i)];
  return v;
}

// Elements in data order, the delayed replications unrolled: the reason
// it cannot, or null.
struct Flat {
  std::size_t i;     // expanded index
  long count = -1;   // a replication factor: its value
};

const char *flatten(const std::vector<long> &codes, std::size_t n, const long *reps, std::size_t n_reps,
                    std::vector<Flat> &flat) {
  std::size_t rep = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const long f = codes[i] / 100000, x = codes[i] / 1000 % 100, y = codes[i] % 1000;
    if (f == 0) {
      flat.push_back({i});
      continue;
    }
    if (f != 1 || y != 0) return "operators or fixed replication";
    // A delayed replication: its factor (031001 or 031002), then the x
    // elements replicated.
    if (i + 1 + static_cast<std::size_t>(x) >= n || (codes[i + 1] != 31001 && codes[i + 1] != 31002) || rep >= n_reps)
      return "replication";
    const long count = reps[rep++];
    if (count < 0) return "replication";
    flat.push_back({i + 1, count});
    const std::size_t first = i + 2, last = i + 2 + static_cast<std::size_t>(x);
    for (std::size_t k = first; k < last; ++k)
      if (codes[k] / 100000 != 0) return "nested replication";
    for (long r = 0; r < count; ++r)
      for (std::size_t k = first; k < last; ++k) flat.push_back({k});
    i = last - 1;
  }
  if (rep != n_reps) return "replication count";
  return nullptr;
}

}  // namespace

// One division or multiplication per power, as ecCodes computes it, so that
// the rounding is the same.
double factor_of(long scale) {
  double f = 1.0;
  for (long s = -scale; s < 0; ++s) f /= 10.0;
  for (long s = -scale; s > 0; --s) f *= 10.0;
  return f;
}

bool Layout::build(codes_handle *h, const long *reps, std::size_t n_reps, SlotOf slot_of, const void *ctx,
                   std::string *why) {
  entries_.clear();
  message_.clear();
  const char *reason = read_sections(h);
  if (!reason) reason = read_elements(h, reps, n_reps, slot_of, ctx);
  if (reason && why) *why = reason;
  return reason == nullptr;
}

// The message ecCodes built, its sections and section 1's varying octets.
const char *Layout::read_sections(codes_handle *h) {
  const void *msg = nullptr;
  std::size_t len = 0;
  if (codes_get_message(h, &msg, &len) != 0 || len < 8 + 4) return "no message";
  const auto *bytes = static_cast<const unsigned char *>(msg);
  message_.assign(bytes, bytes + len);

  long subsets = 0, compressed = 1;
  if (codes_get_long(h, "numberOfSubsets", &subsets) != 0 || subsets != 1 ||
      codes_get_long(h, "compressedData", &compressed) != 0 || compressed != 0)
    return "not one uncompressed subset";

  // The sections: 0 (8 octets, edition 4), 1, the optional 2, 3, 4, "7777".
  const std::vector<unsigned char> &m = message_;
  if (std::memcmp(m.data(), "BUFR", 4) != 0 || m[7] != 4 || octets(m, 4, 3) != len) return "not BUFR 4";
  std::size_t at = 8;
  auto section = [&](std::size_t &from) -> bool {
    if (from + 4 > len) return false;
    const std::size_t n = octets(m, from, 3);
    if (n < 4 || from + n > len) return false;
    from += n;
    return true;
  };
  const std::size_t s1 = at;
  if (!section(at)) return "section 1";
  const std::size_t s1_end = at;
  if ((m[s1 + 9] & 0x80) != 0 && !section(at)) return "section 2";
  if (!section(at)) return "section 3";
  const std::size_t s4 = at;
  if (!section(at)) return "section 4";
  if (at + 4 != len || std::memcmp(m.data() + at, "7777", 4) != 0) return "section 5";
  data_at_ = s4 + 4;

  // Section 1's varying octets, where edition 4 has them (octet 11 data
  // category, 12 international sub-category, 16-17 year, 18 month to 22
  // second), checked against the values ecCodes holds for them.
  struct Field {
    const char *key;
    std::size_t *offset;
    std::size_t octet;  // from 1
    int n;
  };
  const Field fields[] = {{"dataCategory", &at_.category, 11, 1}, {"internationalDataSubCategory", &at_.sub_category, 12, 1},
                          {"typicalYear", &at_.year, 16, 2},      {"typicalMonth", &at_.month, 18, 1},
                          {"typicalDay", &at_.day, 19, 1},        {"typicalHour", &at_.hour, 20, 1},
                          {"typicalMinute", &at_.minute, 21, 1},  {"typicalSecond", &at_.second, 22, 1}};
  for (const Field &f : fields) {
    long v = 0;
    *f.offset = s1 + f.octet - 1;
    if (codes_get_long(h, f.key, &v) != 0 || *f.offset + static_cast<std::size_t>(f.n) > s1_end ||
        octets(m, *f.offset, f.n) != static_cast<unsigned long>(v))
      return "section 1 octets";
  }
  return nullptr;
}

// Each element's width, scale, reference and place, from the expanded
// descriptors, checked against the message.
const char *Layout::read_elements(codes_handle *h, const long *reps, std::size_t n_reps, SlotOf slot_of,
                                  const void *ctx) {
  const std::size_t data_octets = message_.size() - 4 - data_at_;
  std::size_t n = 0;
  if (codes_get_size(h, "expandedCodes", &n) != 0 || n == 0) return "no expanded descriptors";
  std::vector<long> codes, widths, scales, refs;
  Strings names, types;
  if (!get_longs(h, "expandedCodes", codes, n) || !get_longs(h, "expandedOriginalWidths", widths, n) ||
      !get_longs(h, "expandedOriginalScales", scales, n) || !get_longs(h, "expandedOriginalReferences", refs, n) ||
      !get_strings(h, "expandedAbbreviations", names, n) || !get_strings(h, "expandedTypes", types, n))
    return "expanded descriptors unreadable";

  std::vector<Flat> flat;
  if (const char *why = flatten(codes, n, reps, n_reps, flat)) return why;

  std::vector<std::pair<std::string_view, int>> ranks;
  auto rank_of = [&ranks](std::string_view name) {
    for (auto &r : ranks)
      if (r.first == name) return ++r.second;
    ranks.emplace_back(name, 1);
    return 1;
  };
  data_bits_ = 0;
  for (const Flat &e : flat) {
    const std::size_t i = e.i;
    const long w = widths[i];
    const std::string_view name = names.v[i] ? names.v[i] : "";
    const int rank = rank_of(name);
    const bool text = types.v[i] && std::strcmp(types.v[i], "string") == 0;
    // Numbers of up to 52 bits: their scaled values, and the rounding, are
    // exact in a double, as ecCodes computes them.
    if (w <= 0 || (text ? w % 8 != 0 || w > 8 * 4096 : w > 52)) return "element width";
    const auto offset = static_cast<std::size_t>(data_bits_);
    data_bits_ += w;
    // The message ecCodes built holds each replication factor, and all
    // ones (missing) for every element: where this layout puts them, or
    // the layout is not ecCodes'.
    const unsigned char *data = message_.data() + data_at_;
    for (long k = 0; k < w; k += 64) {
      const int n = static_cast<int>(w - k < 64 ? w - k : 64);
      std::uint64_t got = 0;
      const std::uint64_t want = e.count >= 0 ? static_cast<std::uint64_t>(e.count)
                                 : n == 64   ? ~std::uint64_t{0}
                                             : (std::uint64_t{1} << n) - 1;
      if (!get_bits(data, data_octets, offset + static_cast<std::size_t>(k), n, &got) || got != want)
        return "the layout does not match ecCodes' message";
    }
    if (e.count >= 0) continue;
    const int slot = slot_of(ctx, name, rank);
    if (slot < 0) continue;  // missing in every message, as in ecCodes'
    Entry en{};
    en.slot = slot;
    en.text = text;
    en.width = w;
    en.offset = offset;
    en.scale = scales[i];
    en.reference = refs[i];
    if (!text) {
      // What ecCodes accepts: from reference to all ones, scaled.
      const long top = (1L << w) - 1 + refs[i];
      if (top < 0) return "element range";
      en.factor = factor_of(scales[i]);
      en.min = static_cast<double>(refs[i]) * en.factor;
      en.max = static_cast<double>(top) * en.factor;
    }
    entries_.push_back(en);
  }
  if ((data_bits_ + 7) / 8 != static_cast<long>(data_octets)) return "data not the length of section 4";
  return nullptr;
}

bool Layout::element(int slot, Element *out) const {
  for (const Entry &e : entries_) {
    if (e.slot == slot) {
      *out = {e.scale, e.reference, e.width, e.text};
      return true;
    }
  }
  return false;
}

// ----- packing -------------------------------------------------------------------------

long Layout::pack(const Section1 &s1, const double *values, const std::string_view *texts, std::size_t n_slots,
                  unsigned char *out, std::size_t size) const {
  if (message_.empty()) return 0;
  if (size < message_.size()) return -1;
  auto octet = [](long v) { return v >= 0 && v <= 255; };
  if (!octet(s1.data_category) || !octet(s1.sub_category) || s1.year < 0 || s1.year > 65535 || !octet(s1.month) ||
      !octet(s1.day) || !octet(s1.hour) || !octet(s1.minute) || !octet(s1.second))
    return 0;
  std::memcpy(out, message_.data(), message_.size());
  out[at_.category] = static_cast<unsigned char>(s1.data_category);
  out[at_.sub_category] = static_cast<unsigned char>(s1.sub_category);
  out[at_.year] = static_cast<unsigned char>(s1.year >> 8);
  out[at_.year + 1] = static_cast<unsigned char>(s1.year);
  out[at_.month] = static_cast<unsigned char>(s1.month);
  out[at_.day] = static_cast<unsigned char>(s1.day);
  out[at_.hour] = static_cast<unsigned char>(s1.hour);
  out[at_.minute] = static_cast<unsigned char>(s1.minute);
  out[at_.second] = static_cast<unsigned char>(s1.second);

  // The values present over the message's missing ones.
  unsigned char *data = out + data_at_;
  const std::size_t data_octets = message_.size() - 4 - data_at_;
  bool fits = true;
  for (const Entry &e : entries_) {
    const auto slot = static_cast<std::size_t>(e.slot);
    if (slot >= n_slots) continue;
    if (!e.text) {
      const double v = values[slot];
      if (std::isnan(v)) continue;
      if (v > e.max || v < e.min) return 0;
      // As ecCodes: the value over the factor, rounded half away from
      // zero, less the reference.
      fits &= put_bits(data, data_octets, e.offset, static_cast<std::uint64_t>(rounded_less(v / e.factor, e.reference)),
                       static_cast<int>(e.width));
      continue;
    }
    const std::string_view s = texts[slot];
    if (s.empty()) continue;
    // A C string to ecCodes: it ends at a NUL.
    const std::size_t len = strnlen(s.data(), s.size());
    if (len == 0) return 0;  // an empty C string: ecCodes' own way
    fits &= put_text_bits(data, data_octets, e.offset, s.data(), len, static_cast<std::size_t>(e.width / 8));
  }
  return fits ? static_cast<long>(message_.size()) : -1;
}

}  // namespace bufr
