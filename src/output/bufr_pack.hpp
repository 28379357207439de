// A BUFR packer of our own: writes the data section of an uncompressed,
// one-subset message bit by bit from a layout that ecCodes gives once per
// template and replication shape (each element's width, scale and reference
// value from the installed tables, the sections before the data from a
// message ecCodes built for the same shape). Per message it copies those
// sections, patches the few octets of section 1 that vary (category and
// typical date) and packs the values the way ecCodes does: round(value /
// 10^-scale) - reference in `width` bits, all ones for a missing value,
// character data as bytes padded with NULs.
#pragma once

#include <eccodes.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bufr {

// Bounds-checked big-endian bit writer over [data, data + size). Writing
// past the end sets the overflow flag and writes nothing more.
class BitWriter {
 public:
  BitWriter(unsigned char *data, std::size_t size) : data_(data), size_(size) {}

  // The low `width` bits of `v` (width 0 to 64).
  void put(std::uint64_t v, int width) {
    // Fewer than 8 bits wait in the accumulator: 56 more always fit.
    if (width > 56) {
      put(v >> 32, width - 32);
      v &= 0xFFFFFFFFu;
      width = 32;
    }
    if (width <= 0) return;
    v &= (std::uint64_t{1} << width) - 1;
    acc_ = (acc_ << width) | v;
    nacc_ += width;
    spill();
  }
  // `width` bits of ones (any width).
  void ones(long width);
  // Bytes of text at the current position, `n` of them, from `s` (its
  // `len` bytes, then NULs); bytes of 128 or more off an octet boundary as
  // ecCodes writes them.
  void text(const char *s, std::size_t len, std::size_t n);
  // Writes out the bits still held; the last octet's unwritten low bits
  // are taken from `pad` (the same octet of a reference message).
  void flush(unsigned char pad);

  bool overflow() const { return overflow_; }
  // Bits written so far.
  long bits() const { return static_cast<long>(at_ * 8) + nacc_; }

 private:
  void spill() {
    while (nacc_ >= 8) {
      nacc_ -= 8;
      if (at_ < size_)
        data_[at_++] = static_cast<unsigned char>(acc_ >> nacc_);
      else
        overflow_ = true;
    }
    acc_ &= (std::uint64_t{1} << nacc_) - 1;
  }

  unsigned char *data_;
  std::size_t size_;
  std::size_t at_ = 0;     // the next whole octet
  std::uint64_t acc_ = 0;  // bits not yet written, in the low nacc_ bits
  int nacc_ = 0;
  bool overflow_ = false;
};

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
  enum class Kind : std::uint8_t { ones, constant, number, text };
  struct Entry {
    Kind kind;
    int slot;            // number, text
    long width;          // bits
    std::uint64_t bits;  // constant
    double factor;       // number: 10^-scale as ecCodes computes it
    double min, max;     // number: what ecCodes accepts
    long reference;
    long scale;
  };
  // Octet offsets of section 1's varying fields, and of the data.
  struct Offsets {
    std::size_t category, sub_category, year, month, day, hour, minute, second;
  };

  std::vector<unsigned char> message_;
  std::vector<Entry> entries_;
  Offsets at_{};
  std::size_t data_at_ = 0;  // the first octet of data in section 4
  long data_bits_ = 0;
};

}  // namespace bufr
