// Test-only helper: runs a bulletin stream through the reader and lists
// every report with its type, identifier and text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"

namespace tvtest {

struct RawReport {
  ReportType type = ReportType::land;
  std::string id;
  std::string text;
};

// Every result-1 call of the reader until it reports -1. The look-ahead is
// reset first, as the report loop does for each file it opens. `limit`
// guards against a reader that never ends.
inline std::vector<RawReport> read_reports(FILE *f, int limit = 100000) {
  std::vector<RawReport> out;
  SYN_read_reset();
  char data[kSynDataMax + 1];
  char id[kSynIdMax + 1] = "";
  ReportType type = ReportType::land;
  while (limit-- > 0 && SYN_read_raw(f, data, id, &type) == 1) out.push_back({type, id, data});
  return out;
}

// The same for a text held in memory.
inline std::vector<RawReport> read_reports(const std::string &bytes, int limit = 100000) {
  FILE *f = std::tmpfile();
  if (!f) return {};
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  auto out = read_reports(f, limit);
  std::fclose(f);
  return out;
}

// One line per report: "type id |text|".
inline std::string format_reports(const std::vector<RawReport> &reps) {
  std::string s;
  for (const auto &r : reps) s += std::to_string(type_bit(r.type)) + " " + r.id + " |" + r.text + "|\n";
  return s;
}

}  // namespace tvtest
