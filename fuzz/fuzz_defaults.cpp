// Defaults-file reader on arbitrary bytes: every entry that comes out is
// also matched against the converter's resource names, as decoding does.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/def_read.hpp"
#include "framework/mess.hpp"
#include "framework/resrc.hpp"

namespace {

const char *const kNames[] = {"help", "data_path", "file_path", "message", "filename", ""};
const char *const kTitles[] = {"", "radar", "+radar", "+"};

std::string &input_path() {
  static std::string path = [] {
    // A memory-backed file when there is one: a file per input is the cost.
    char tmpl[] = "/dev/shm/fuzz_defaults_XXXXXX";
    if (access("/dev/shm", W_OK) != 0) std::snprintf(tmpl, sizeof tmpl, "%s", "/tmp/fuzz_defaultsXXXXXX");
    int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    return std::string(tmpl);
  }();
  return path;
}

struct Setup {
  Setup() {
    MESS_set(0, 0);  // the reader's complaints would only slow the run
    static char a0[] = "/usr/bin/tavro";
    static char *argv[] = {a0, nullptr};
    RES_setCL(1, argv);
    char name[160];
    DEF_prog(RES_get_progname(name));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static Setup setup;
  DEF_reset();
  DEF_name(kTitles[size > 0 ? data[0] % 4 : 0]);
  if (size > 1 && (data[1] & 1)) DEF_tag("tag");
  {
    std::FILE *f = std::fopen(input_path().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const int opened = DEF_open(input_path().c_str());
  // Gone as soon as it is open: the fuzzer may end without running
  // destructors, and nothing may be left behind.
  std::remove(input_path().c_str());
  if (opened != 0) return 0;
  // Read whole at opening, from a full path: never the current directory.
  if (DEF_file_local() != 0 || DEF_file_name()[0] != '/') std::abort();
  char key[kDefKeyLen + 1];
  char value[kDefValueLen + 1];
  char name[kDefKeyLen + 1];
  while (DEF_get(key, value) == 1) {
    for (const char *n : kNames) DEF_cmp(n, key);
    if (DEF_valid(key)) DEF_parse_name(key, name);
  }
  DEF_close();
  return 0;
}
