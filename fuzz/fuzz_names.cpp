// Name conventions, templates and typed names from outside input. The input
// is split at NUL bytes into: the name-convention file, the data type name,
// the name a user typed, and a file time and date (five 32-bit integers
// each, taken from the raw bytes).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"

namespace {

std::string conv_path;

void init_once() {
  if (!conv_path.empty()) return;
  char templ[] = "/tmp/fuzz_names_XXXXXX";
  int fd = mkstemp(templ);
  if (fd >= 0) close(fd);
  conv_path = templ;
  RES_put("name_conv", conv_path.c_str());
  RES_put("data_path", "/nonexistent/data");
  RES_put("con_path", "~/cvt");
  setenv("zotcurtime", "202312071530", 1);
  MESS_set(0, 0);  // silence: the outcome, not the messages, is under test
}

Date take_date(std::string_view raw) {
  std::int32_t v[5] = {-9999, -9999, -9999, -9999, -9999};
  std::memcpy(v, raw.data(), raw.size() < sizeof v ? raw.size() : sizeof v);
  return Date{v[0], v[1], v[2], -9999, -9999, v[3], v[4], 0};
}

// Names that would end the process or walk hundreds of files are left out.
bool harmless(const std::string &user_name) {
  std::string head = user_name.substr(0, user_name.find('#', 1));
  if (stricmp(head.c_str(), "exit") == 0) return false;
  if (user_name.find('l') != std::string::npos && user_name.find('#') != std::string::npos) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  init_once();
  std::string_view in(reinterpret_cast<const char *>(data), size);
  std::vector<std::string_view> parts;
  while (parts.size() < 4) {
    std::size_t z = in.find('\0');
    parts.push_back(in.substr(0, z));
    if (z == std::string_view::npos) {
      in = {};
      break;
    }
    in.remove_prefix(z + 1);
  }
  if (parts.size() < 4) parts.resize(4);
  std::string raw_dates(in);

  if (FILE *f = std::fopen(conv_path.c_str(), "wb")) {
    std::fwrite(parts[0].data(), 1, parts[0].size(), f);
    std::fclose(f);
  }
  std::string type(parts[1]), user_name(parts[2]);
  std::string_view dates(raw_dates);
  Date set = take_date(dates.substr(0, dates.size() < 20 ? dates.size() : 20));
  Date date = take_date(dates.size() > 20 ? dates.substr(20) : std::string_view());

  char name[160];
  FILE_set_name(type.c_str());
  FILE_set_time(&set);
  FILE_set_date(&date, name);
  if (std::strlen(name) > 159) std::abort();
  if (harmless(user_name)) {
    FILE_set_file(user_name.c_str(), name);
    if (std::strlen(name) > 159) std::abort();
  }
  FILE_set_date(nullptr, name);
  FILE_set_date_off(&date, 3600, name);
  FILE_reset_time();
  return 0;
}
