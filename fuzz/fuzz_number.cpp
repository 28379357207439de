// The number writer against printf: any double (or a float, as the record
// holds them), any precision up to 20, width up to 30 and any room must
// give exactly the start of what snprintf writes, and nothing past the room.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "framework/string.hpp"

namespace {

void require(bool ok) {
  if (!ok) __builtin_trap();
}

// The writer for a line whose room is certain, at the forms of the text
// layout, against snprintf.
struct OpenForm {
  int width;
  int prec;
  char *(*put)(char *, float);
};
constexpr OpenForm kOpenForms[] = {
    {3, 0, str_put_float_open<3, 0>}, {1, 0, str_put_float_open<1, 0>}, {2, 0, str_put_float_open<2, 0>},
    {0, 1, str_put_float_open<0, 1>}, {2, 1, str_put_float_open<2, 1>}, {0, 2, str_put_float_open<0, 2>},
    {6, 2, str_put_float_open<6, 2>}, {8, 3, str_put_float_open<8, 3>},
};

void check_open(float f, unsigned pick) {
  const OpenForm &form = kOpenForms[pick % std::size(kOpenForms)];
  char want[512];
  const int n = std::snprintf(want, sizeof want, "%*.*f", form.width, form.prec, static_cast<double>(f));
  char buf[kFloatRoom + 8];
  std::memset(buf, '#', sizeof buf);
  char *end = form.put(buf, f);
  require(n >= 0 && end - buf == n && std::memcmp(buf, want, static_cast<std::size_t>(n)) == 0);
  for (std::size_t i = kFloatRoom; i < sizeof buf; ++i) require(buf[i] == '#');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 11) return 0;
  double v;
  std::memcpy(&v, data, sizeof v);
  if (data[8] & 0x80) {  // a float's value, as most record fields are
    float f;
    std::memcpy(&f, data, sizeof f);
    v = f;
    check_open(f, data[9]);
  }
  const int prec = data[8] % 21;
  const int width = data[9] % 31;
  const std::size_t room = data[10] % 64;

  char want[512];
  const int n = std::snprintf(want, sizeof want, "%*.*f", width, prec, v);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof want) return 0;  // beyond any field

  char buf[80];
  std::memset(buf, '#', sizeof buf);
  char *end = str_put_fixed(buf, buf + room, v, width, prec);
  const auto got = static_cast<std::size_t>(end - buf);
  const std::size_t expect = static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : room;
  require(got == expect);
  require(std::memcmp(buf, want, got) == 0);
  for (std::size_t i = room; i < sizeof buf; ++i) require(buf[i] == '#');
  return 0;
}
