// Fuzz target: arbitrary bytes as a bulletin file, read twice: from a file
// on disk (read in blocks) and from a memory stream (read line by line).
// Both must give the same reports, and each report decodes and formats
// without fault. Any difference aborts.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "output/sfc_dec.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"

namespace {

struct Report {
  int rc;
  ReportType type;
  std::string id;
  std::string text;
  bool operator==(const Report &) const = default;
};

// The section state the reader keeps between files (report type, hour,
// wind unit) is brought to that of a heading line first, so that both
// readings start alike.
void fresh_section_state() {
  char heading[] = "** SMUS01 KWBC 071200\n";
  FILE *f = fmemopen(heading, sizeof heading - 1, "r");
  if (!f) std::abort();
  SYN_read_reset();
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  auto type = ReportType::land;
  while (SYN_read_raw(f, data, id, &type) != -1) {
  }
  std::fclose(f);
}

std::vector<Report> read_all(FILE *f) {
  std::vector<Report> out;
  fresh_section_state();
  SYN_read_reset();
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  auto type = ReportType::land;
  int rc;
  for (int guard = 0; guard < 100000 && (rc = SYN_read_raw(f, data, id, &type)) != -1; ++guard)
    out.push_back({rc, type, id, data});
  return out;
}

// One scratch file for the whole run.
const char *scratch_path() {
  static std::string path = [] {
    char name[] = "/tmp/fuzz-reader-blocks-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  return path.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size) {
  FILE *disk = std::fopen(scratch_path(), "w+");
  if (!disk) return 0;
  if (size > 0 && std::fwrite(bytes, 1, size, disk) != size) {
    std::fclose(disk);
    return 0;
  }
  std::rewind(disk);
  const std::vector<Report> from_disk = read_all(disk);
  std::fclose(disk);

  std::vector<char> copy(bytes, bytes + size);
  copy.push_back('\0');  // fmemopen wants a buffer even for no bytes
  FILE *mem = fmemopen(copy.data(), size, "r");
  if (!mem) return 0;
  const std::vector<Report> from_memory = read_all(mem);
  std::fclose(mem);
  if (!(from_disk == from_memory)) std::abort();

  for (const Report &r : from_disk) {
    SFC_report rep;
    SFC_initialize(&rep);
    SYN_decode(r.text.c_str(), r.type, &rep);
    SFC_check_valid(&rep, 0);
    char line[kSfcLineMax];
    SFC_format_text(line, sizeof line, &rep, 4);
    SFC_format_xml(line, sizeof line, &rep);
  }
  return 0;
}
