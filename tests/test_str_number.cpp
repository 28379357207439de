// The number writers of the string module against snprintf itself: every
// value, precision and width gives the bytes printf gives, and a short
// room gets the start of them, never a byte more.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "framework/string.hpp"
#include "output/sfc_fields.hpp"
#include "output/sfc_line.hpp"

namespace {

std::string printf_fixed(double v, int width, int prec) {
  std::vector<char> buf(static_cast<std::size_t>(std::snprintf(nullptr, 0, "%*.*f", width, prec, v)) + 1);
  std::snprintf(buf.data(), buf.size(), "%*.*f", width, prec, v);
  return buf.data();
}

std::string printf_int(long long v, int width, int prec, bool zero_pad) {
  std::string fmt = "%";
  if (zero_pad) fmt += '0';
  fmt += std::to_string(width);
  if (prec >= 0) fmt.append(".").append(std::to_string(prec));
  fmt += "lld";
  char buf[128];
  std::snprintf(buf, sizeof buf, fmt.c_str(), v);
  return buf;
}

// The writer's bytes with `room` bytes free; the bytes after the room are
// checked to be untouched.
std::string put_fixed(double v, int width, int prec, std::size_t room = 512) {
  std::vector<char> buf(room + 16, '#');
  char *e = str_put_fixed(buf.data(), buf.data() + room, v, width, prec);
  for (std::size_t i = room; i < buf.size(); ++i) EXPECT_EQ(buf[i], '#') << v << " room " << room;
  return std::string(buf.data(), static_cast<std::size_t>(e - buf.data()));
}

std::string put_int(long long v, int width, int prec, bool zero_pad, std::size_t room = 128) {
  std::vector<char> buf(room + 16, '#');
  char *e = str_put_int(buf.data(), buf.data() + room, v, width, prec, zero_pad);
  for (std::size_t i = room; i < buf.size(); ++i) EXPECT_EQ(buf[i], '#') << v << " room " << room;
  return std::string(buf.data(), static_cast<std::size_t>(e - buf.data()));
}

// Values where rounding goes wrong first: exact ties at each precision and
// their neighbours, the record's float values widened, negative zero, the
// edge of the fast path (1e13), the largest values and the non-numbers.
std::vector<double> hard_doubles() {
  std::vector<double> v = {0.0,   -0.0,    0.5,     1.5,     2.5,      -0.5,    -2.5,   0.125,
                           0.375, 0.625,   -0.125,  0.005,   0.015,    1.005,   2.675,  -0.04,
                           -0.4,  9.995,   99.95,   999.5,   4999.5,   0.05,    0.25,   0.35,
                           1e12,  9.99e12, 1e13,    1.0001e13, 3e15,   -7e20,   1e30,   123456.7,
                           1e300, -1e308,  5e-324,  0.045,   1.115,    -1.125};
  v.push_back(std::numeric_limits<double>::max());
  v.push_back(std::numeric_limits<double>::infinity());
  v.push_back(-std::numeric_limits<double>::infinity());
  v.push_back(std::numeric_limits<double>::quiet_NaN());
  v.push_back(-std::numeric_limits<double>::quiet_NaN());
  v.push_back(std::nextafter(0.5, 1.0));
  v.push_back(std::nextafter(0.5, 0.0));
  v.push_back(std::nextafter(1e13, 0.0));
  v.push_back(std::nextafter(1e12, 0.0));  // the edge of the fast path for %.3f
  v.push_back(-999999999999.9995);
  for (int k = -4000; k <= 4000; ++k) v.push_back(k / 8.0);  // every tie of %.0f to %.2f
  for (int k = -16000; k <= 16000; ++k) v.push_back(k / 16.0);  // and of %.3f
  std::mt19937 gen(2024);
  std::uniform_real_distribution<float> record(-2000.0f, 2000.0f);
  for (int i = 0; i < 3000; ++i) v.push_back(static_cast<double>(record(gen)));
  for (int i = 0; i < 3000; ++i) {  // float products as the text layout makes them
    const float f = record(gen);
    v.push_back(static_cast<double>(10.0f * f));
    v.push_back(5.0 * (static_cast<double>(f) - 32.0) / 9.0);
  }
  std::uniform_real_distribution<double> exponent(-20.0, 20.0);
  for (int i = 0; i < 2000; ++i) v.push_back((i % 2 ? -1 : 1) * std::pow(10.0, exponent(gen)));
  return v;
}

TEST(StrPutFixed, EqualsPrintfForEveryValueAndPrecision) {
  for (double d : hard_doubles()) {
    for (int prec = 0; prec <= 8; ++prec) {
      for (int width : {0, 1, 3, 8, 12}) {
        ASSERT_EQ(put_fixed(d, width, prec), printf_fixed(d, width, prec))
            << d << " width " << width << " prec " << prec;
      }
    }
  }
}

// Every value a record field holds as the decoders make them: every float
// hundredth from -2000 to 2000, and every tenth of the record's units turned
// into each unit of the output formats (both sets of factors), written at
// the record's precisions 0 to 2 into a field wide enough and a cut one;
// positions (every float thousandth of a degree) also at 3.
TEST(StrPutFixed, EqualsPrintfForEveryRecordValue) {
  std::vector<float> values;
  for (int k = -200000; k <= 200000; ++k) values.push_back(static_cast<float>(k) / 100.0f);
  for (const SfcConversion &c : kSfcConversions)
    for (int t = -20000; t <= 20000; ++t)
      for (SfcFactors f : {SfcFactors::exact, SfcFactors::zot})
        values.push_back(static_cast<float>(SFC_convert(c.from, c.to, t / 10.0, f)));
  for (int k = -180000; k <= 180000; ++k) values.push_back(static_cast<float>(k) / 1000.0f);
  char want[64], got[64];
  for (float v : values) {
    for (int prec = 0; prec <= 3; ++prec) {
      const int n = std::snprintf(want, sizeof want, "%6.*f", prec, static_cast<double>(v));
      char *e = str_put_fixed(got, got + sizeof got, v, 6, prec);
      ASSERT_EQ(std::string(+got, e), std::string(want, static_cast<std::size_t>(n))) << v << " prec " << prec;
      e = str_put_fixed(got, got + 4, v, 6, prec);  // a short room: its start
      ASSERT_EQ(std::string(+got, e), std::string(want, std::min<std::size_t>(4, static_cast<std::size_t>(n))));
    }
  }
}

// Decimal halves at each precision (x.5, x.05, x.005 and their negatives)
// are no doubles: the scaled product may land on the tie all the same, and
// then only the exact residual tells the side printf takes.
TEST(StrPutFixed, DecimalHalvesRoundAsPrintf) {
  for (int prec = 0; prec <= 3; ++prec) {
    const double scale = std::pow(10.0, prec);
    for (int k = -300000; k <= 300000; ++k) {
      for (double v : {(2.0 * k + 1) / (2 * scale), (2.0 * k + 1) / (2 * scale) * 1e6}) {
        ASSERT_EQ(put_fixed(v, 0, prec), printf_fixed(v, 0, prec)) << v << " prec " << prec;
      }
    }
  }
}

// The record writers' inline way (forms known while compiling), next to
// other pieces in one line and into a line that runs out of room.
std::string line_numbers(double v, long long i, std::size_t room) {
  std::vector<char> buf(room + 16, '#');
  SfcLine o(buf.data(), room);
  o.fixed(v, 3, 0);
  o.ch(' ');
  o.fixed(v, 0, 1);
  o.ch(' ');
  o.fixed(v, 6, 2);
  o.ch(' ');
  o.fixed(v, 0, 3);
  o.ch(' ');
  o.dec(i, 4, -1, true);
  o.ch(' ');
  o.dec(i, 3);
  o.ch(' ');
  o.dec(i, 4, 4);
  for (std::size_t k = room; k < buf.size(); ++k) EXPECT_EQ(buf[k], '#') << v << " room " << room;
  return std::string(buf.data(), o.size());
}

TEST(SfcLineNumbers, InlineFormsEqualPrintf) {
  std::mt19937 gen(99);
  std::uniform_real_distribution<float> record(-20000.0f, 20000.0f);
  std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 9999.5, 99999.4, -0.04, 1e12, 1e13, 1e20,
                                std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  for (int i = 0; i < 20000; ++i) values.push_back(static_cast<double>(10.0f * record(gen)));
  char want[512];
  long long i = -12345;
  for (double v : values) {
    i = i * 7 % 1000003 - 500;
    const int n = std::snprintf(want, sizeof want, "%3.0f %.1f %6.2f %.3f %04lld %3lld %4.4lld", v, v, v, v, i, i, i);
    const std::string full(want, static_cast<std::size_t>(n));
    ASSERT_EQ(line_numbers(v, i, 512), full) << v << " " << i;
    for (std::size_t room : {0, 5, 17, 39, 41, 60})
      ASSERT_EQ(line_numbers(v, i, room), full.substr(0, room)) << v << " " << i << " room " << room;
  }
}

TEST(StrPutFixed, LongPrecisionsAndDefault) {
  for (double d : {0.1, -1.0 / 3.0, 1e300, 5e-324, 123.456}) {
    for (int prec : {17, 40, 64, 65, 200, 400}) {
      ASSERT_EQ(put_fixed(d, 0, prec, 2000), printf_fixed(d, 0, prec)) << d << " prec " << prec;
    }
    EXPECT_EQ(put_fixed(d, 0, -1), printf_fixed(d, 0, 6)) << d;  // printf's default precision
  }
}

TEST(StrPutFixed, ShortRoomGetsTheStartAndNoMore) {
  for (double d : {-1234.5678, 0.125, 1e20, -0.0}) {
    for (int width : {0, 10}) {
      const std::string full = printf_fixed(d, width, 2);
      for (std::size_t room = 0; room <= full.size() + 1; ++room)
        ASSERT_EQ(put_fixed(d, width, 2, room), full.substr(0, room)) << d << " room " << room;
    }
  }
  // Null or reversed bounds write nothing.
  EXPECT_EQ(str_put_fixed(nullptr, nullptr, 1.0, 0, 1), nullptr);
  char c = '#';
  EXPECT_EQ(str_put_fixed(&c + 1, &c, 1.0, 0, 1), &c + 1);
  EXPECT_EQ(c, '#');
}

TEST(StrPutInt, EqualsPrintfForWidthsPrecisionsAndZeroPadding) {
  std::vector<long long> values = {0, 1, -1, 7, -7, 9, 10, 99, 100, 999, 1000, 9999, 10000, -9999,
                                   -10000, 123456789, -123456789, INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN};
  std::mt19937_64 gen(7);
  for (int i = 0; i < 2000; ++i) {
    const auto x = static_cast<long long>(gen());
    values.push_back(x >> (i % 60));
  }
  for (long long v : values) {
    for (int width : {0, 1, 3, 4, 8, 9, 25}) {
      for (int prec : {-1, 0, 1, 2, 4, 6, 30}) {
        for (bool zero : {false, true}) {
          ASSERT_EQ(put_int(v, width, prec, zero), printf_int(v, width, prec, zero))
              << v << " width " << width << " prec " << prec << " zero " << zero;
        }
      }
    }
  }
}

TEST(StrPutInt, ShortRoomGetsTheStartAndNoMore) {
  for (long long v : {-1234LL, 5LL, 1234567890123LL}) {
    for (bool zero : {false, true}) {
      const std::string full = printf_int(v, 8, -1, zero);
      for (std::size_t room = 0; room <= full.size() + 1; ++room)
        ASSERT_EQ(put_int(v, 8, -1, zero, room), full.substr(0, room)) << v << " room " << room;
    }
  }
}

// The writers for a line whose room is certain (the text layout's), at each
// of their forms, against snprintf: every float hundredth from -2000 to
// 2000, every thousandth of a position, tenths times ten as the layout
// scales them, the ties of each precision, and values past the short way.
// Nothing is stored past the room they are promised.
template <int W, int P>
void expect_float_open(const std::vector<float> &values) {
  char want[512];
  for (float v : values) {
    std::vector<char> buf(kFloatRoom + 16, '#');
    char *e = str_put_float_open<W, P>(buf.data(), v);
    const int n = std::snprintf(want, sizeof want, "%*.*f", W, P, static_cast<double>(v));
    ASSERT_EQ(std::string(buf.data(), e), std::string(want, static_cast<std::size_t>(n)))
        << v << " %" << W << "." << P << "f";
    for (std::size_t i = kFloatRoom; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#') << v;
  }
}

TEST(StrPutFloatOpen, EqualsPrintfAtEveryFormOfTheTextLayout) {
  std::vector<float> values;
  for (int k = -200000; k <= 200000; ++k) values.push_back(static_cast<float>(k) / 100.0f);
  for (int k = -180000; k <= 180000; ++k) values.push_back(static_cast<float>(k) / 1000.0f);
  for (int k = -20000; k <= 20000; ++k) values.push_back(10.0f * (static_cast<float>(k) / 10.0f));
  for (int k = -16000; k <= 16000; ++k) values.push_back(static_cast<float>(k) / 16.0f);  // ties
  for (float f : {0.0f, -0.0f, -0.4f, -0.5f, 999.5f, 999.4999f, 9999.5f, 1e6f, -1e6f, 1e15f, 2.3e15f, 3e38f,
                  -3e38f, std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::infinity(),
                  -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()})
    values.push_back(f);
  // Around the bounds of the table ways (a rounded whole part under 1000,
  // with a sign under 100 or of three figures; 999.5 units of the last
  // decimal), float by float.
  for (float bound : {99.5f, 999.5f, 99.95f, 9.995f, 0.9995f, 0.5f, 0.05f, 0.005f}) {
    for (float sign : {1.0f, -1.0f}) {
      float f = sign * bound;
      for (int i = 0; i < 64; ++i) f = std::nextafter(f, 0.0f);
      for (int i = 0; i < 128; ++i, f = std::nextafter(f, sign * 2000.0f)) values.push_back(f);
    }
  }
  expect_float_open<3, 0>(values);
  expect_float_open<1, 0>(values);
  expect_float_open<2, 0>(values);
  expect_float_open<0, 1>(values);
  expect_float_open<2, 1>(values);
  expect_float_open<0, 2>(values);
  expect_float_open<6, 2>(values);
  expect_float_open<8, 3>(values);
}

template <int W, int Prec, bool Zero>
void expect_int_open(const std::vector<long long> &values) {
  for (long long v : values) {
    std::vector<char> buf(str_detail::kFastRoom + 16, '#');
    char *e = str_put_int_open<W, Prec, Zero>(buf.data(), v);
    ASSERT_EQ(std::string(buf.data(), e), printf_int(v, W, Prec, Zero)) << v << " " << W << " " << Prec;
    for (auto i = static_cast<std::size_t>(str_detail::kFastRoom); i < buf.size(); ++i) ASSERT_EQ(buf[i], '#');
  }
}

TEST(StrPutIntOpen, EqualsPrintfAtEveryFormOfTheTextLayout) {
  std::vector<long long> values = {INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN, 99999, 100000};
  for (long long v = -20000; v <= 20000; ++v) values.push_back(v);
  expect_int_open<3, -1, false>(values);
  expect_int_open<0, -1, false>(values);
  expect_int_open<4, -1, true>(values);
  expect_int_open<3, -1, true>(values);
  expect_int_open<4, 4, false>(values);
}

}  // namespace
