// A BUFR packer of our own for uncompressed, one-subset messages, from a
// layout that ecCodes gives once per template and replication shape: each
// element's width, scale and reference value from the installed tables,
// and a message ecCodes built for that shape with every element missing.
// Every element of a shape sits at a fixed bit, so a message is that
// message copied, the few octets of section 1 that vary patched (category
// and typical date), and each value present written at its bit the way
// ecCodes writes it: round(value / 10^-scale) - reference in `width` bits,
// character data as bytes padded with NULs.
#pragma once

#include <eccodes.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace bufr {

// Writes the low `width` bits (0 to 57) of `v` at bit `offset` of
// [data, data + size), most significant first, leaving the bits around
// them as they are. False, with nothing written, when they do not fit.
inline bool put_bits(unsigned char *data, std::size_t size, std::size_t offset, std::uint64_t v, int width) {
  if (width <= 0) return true;
  if (width > 57) return false;
  const std::size_t at = offset / 8;
  const int span = static_cast<int>(offset % 8) + width;  // at most 64
  const auto n = static_cast<std::size_t>(span + 7) / 8;
  if (at > size || n > size - at) return false;
  const std::uint64_t ones = (std::uint64_t{1} << width) - 1;
  if (size - at >= 8) {
    // Eight octets at once, big-endian.
    std::uint64_t w;
    std::memcpy(&w, data + at, 8);
    w = __builtin_bswap64(w);
    const int shift = 64 - span;
    w = (w & ~(ones << shift)) | ((v & ones) << shift);
    w = __builtin_bswap64(w);
    std::memcpy(data + at, &w, 8);
    return true;
  }
  std::uint64_t window = 0;
  for (std::size_t i = 0; i < n; ++i) window = window << 8 | data[at + i];
  const int shift = static_cast<int>(n * 8) - span;
  window = (window & ~(ones << shift)) | ((v & ones) << shift);
  for (std::size_t i = n; i-- > 0;) {
    data[at + i] = static_cast<unsigned char>(window);
    window >>= 8;
  }
  return true;
}

// Writes `n` bytes of text at bit `offset`: the `len` bytes of `s`, then
// NULs. Off an octet boundary ecCodes writes a byte of 128 or more as its
// top 8 - r bits followed by its top r bits again (r: the bit offset in the
// octet); so does this, so that the messages stay identical. False when
// they do not fit.
bool put_text_bits(unsigned char *data, std::size_t size, std::size_t offset, const char *s, std::size_t len,
                   std::size_t n);

// The octets of section 1 that vary from message to message.
struct Section1 {
  long data_category = 0;
  long sub_category = 0;
  long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// What fills an element: a value slot of the caller, or nothing (missing).
// `rank` counts the elements of that name from 1 as ecCodes' "#rank#name"
// keys do. Returns the slot, or -1.
using SlotOf = int (*)(const void *ctx, std::string_view name, int rank);

// An element's factor, 10^-scale, as ecCodes computes it.
double factor_of(long scale);

// The layout of one template and replication shape, and the message that
// ecCodes built for it.
class Layout {
 public:
  // Reads the layout from `h`, a message ecCodes has packed with the
  // delayed replication factors `reps` (in order of the replications).
  // False, with the reason in `why`, for a layout this packer does not
  // handle (operators, nested or non-delayed replication, compressed
  // data, several subsets), which then stays with ecCodes.
  bool build(codes_handle *h, const long *reps, std::size_t n_reps, SlotOf slot_of, const void *ctx,
             std::string *why);

  // The element of slot `slot`: its scale, reference and width, and
  // whether it is text. False when no element has that slot.
  struct Element {
    long scale = 0;
    long reference = 0;
    long width = 0;
    bool text = false;
  };
  bool element(int slot, Element *out) const;

  // Packs a message into `out` (`size` bytes): `values` by slot (NaN:
  // missing) and `texts` by slot (empty: missing). Returns its length; 0
  // when ecCodes would refuse a value (outside the element's range) or a
  // section-1 octet (then the caller takes the ecCodes path, which gives
  // ecCodes' own outcome); -1 when `out` is too small.
  long pack(const Section1 &s1, const double *values, const std::string_view *texts, std::size_t n_slots,
            unsigned char *out, std::size_t size) const;

  std::size_t length() const { return message_.size(); }

 private:
  // An element that a value slot fills, at its fixed bit of the data.
  struct Entry {
    int slot;
    bool text;
    long width;          // bits
    std::size_t offset;  // from the first bit of the data
    double factor;       // 10^-scale as ecCodes computes it
    double min, max;     // what ecCodes accepts
    long reference;
    long scale;
  };
  // Octet offsets of section 1's varying fields, and of the data.
  struct Offsets {
    std::size_t category, sub_category, year, month, day, hour, minute, second;
  };

  // Each returns the reason it cannot, or null.
  const char *read_sections(codes_handle *h);
  const char *read_elements(codes_handle *h, const long *reps, std::size_t n_reps, SlotOf slot_of,
                            const void *ctx);

  std::vector<unsigned char> message_;
  std::vector<Entry> entries_;
  Offsets at_{};
  std::size_t data_at_ = 0;  // the first octet of data in section 4
  long data_bits_ = 0;
};

}  // namespace bufr
