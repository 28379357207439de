// Station file reader and station selection on arbitrary bytes. The first
// line is the "identifier" selection list, the rest the station file; the
// stations are loaded into the table (store type from the first byte) and
// every station read is looked up again and run through the selection.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/mess.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"
#include "stations/cty_read.hpp"
#include "stations/cty_tool.hpp"

namespace {

std::string &input_path() {
  static std::string path = [] {
    char tmpl[] = "/dev/shm/fuzz_stations_XXXXXX";
    if (access("/dev/shm", W_OK) != 0)
      std::snprintf(tmpl, sizeof tmpl, "%s", "/tmp/fuzz_stationXXXXXX");
    const int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    return std::string(tmpl);
  }();
  return path;
}

struct Setup {
  Setup() { MESS_set(0, 0); }
  ~Setup() { std::remove(input_path().c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static Setup setup;
  // The table is sized from the file and never freed: keep inputs small.
  if (size == 0 || size > 16384) return 0;
  const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  const std::size_t eol = text.find('\n');
  const std::string selection = text.substr(0, eol == std::string::npos ? 0 : eol);
  const std::string file = eol == std::string::npos ? text : text.substr(eol + 1);
  {
    std::FILE *f = std::fopen(input_path().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  RES_put("identifier", selection.c_str());
  CTY_set_id_type(data[0] >> 4);
  CTY_store(input_path().c_str(), data[0] % 4, nullptr, (data[0] & 8) ? 10 : 3);

  int numid = 0;
  char **ids = nullptr;
  RES_getvals("identifier", &numid, &ids);
  const int fd = CTY_open(input_path().c_str(), 0, 0);
  CTY_data st;
  union {
    CTY_data full;
    CTY_locate loc;
  } found;
  while (fd >= 0 && CTY_read(fd, &st) >= 1) {
    CTY_data_cmp(numid, ids, &st);
    CTY_search(st.id, &found);
    CTY_search(st.name, &found);
  }
  if (fd >= 0) CTY_close(fd);
  free_parsed_array(numid, ids);
  return 0;
}
