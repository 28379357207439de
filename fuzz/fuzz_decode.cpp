// Report decoders on arbitrary input: the bytes are decoded directly as one
// report text of a type chosen by the first byte, and also cut into reports
// by the bulletin reader, each of which is decoded. Every record must come
// out well formed and, after the validity check, inside its limits, and the
// same whether clean groups are matched directly or by the scanner.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "report/sfc_tool.hpp"
#include "report/syn_dec.hpp"
#include "report/syn_read.hpp"

namespace {

void require(bool ok) {
  if (!ok) __builtin_trap();
}

bool terminated(const char *s, std::size_t size) { return std::memchr(s, '\0', size) != nullptr; }

bool in(float v, float lo, float hi) { return v == tv::kMissFloat || (v >= lo && v <= hi); }

void check_record(SFC_report &r) {
  require(terminated(r.id, sizeof r.id));
  require(terminated(r.area, sizeof r.area));
  require(terminated(r.weather, sizeof r.weather));
  require(terminated(r.comment, sizeof r.comment));
  require(r.num_cld >= 0 && r.num_cld <= 1);
  require(in(r.lat, -90.0f, 90.0f) && in(r.lon, -180.0f, 180.0f));
  SFC_check_valid(&r, 0);
  require(r.time == tv::kMissInt || (r.time >= 0 && r.time <= 2400));
  require(in(r.t, -100, 150) && in(r.td, -100, 150) && in(r.pmb, 900, 1150));
  require(in(r.w_dir, 0, 360) && in(r.w_spd, 0, 100) && in(r.vis, 0, 150));
  require(in(r.ptend, -10, 10) && in(r.rain3, 0, 10) && in(r.rain6, 0, 15));
  require(in(r.rain12, 0, 20) && in(r.rain24, 0, 20) && in(r.max_t, -100, 150));
  require(in(r.min_t, -100, 150) && in(r.scover, -100, 150) && in(r.sst, -100, 150));
  require(in(r.wav_per, 0, 10) && in(r.wav_hgt, 0, 20));
  for (float h : r.cld_height) require(in(h, 0, 35000));
}

void decode_one(const char *text, ReportType type) {
  SFC_report r;
  SFC_initialize(&r);
  const int rc = SYN_decode(text, type, &r);
  if (rc == 0) {
    SFC_report fresh;
    SFC_initialize(&fresh);
    require(std::memcmp(&r, &fresh, sizeof r) == 0);  // no identifier: untouched
  }
  // The groups matched without the scanner decode as the scanner decodes them.
  SYN_set_direct_matching(false);
  SFC_report scanned;
  SFC_initialize(&scanned);
  const int rc_scanned = SYN_decode(text, type, &scanned);
  SYN_set_direct_matching(true);
  require(rc == rc_scanned && std::memcmp(&r, &scanned, sizeof r) == 0);
  check_record(r);
}

// As the report loop hands a text over: read in place with its length, in
// a room whose bytes after the text are whatever was there; it must decode
// as a copy of the text with the same length does.
void decode_in_place(char (&room)[kSynTextRoom], int len, ReportType type) {
  const std::vector<char> copy(room, room + sizeof room);
  SFC_report copied, in_place;
  SFC_initialize(&copied);
  SFC_initialize(&in_place);
  const int rc = SYN_decode_text(copy.data(), len, type, &copied);
  const int rc_in_place = SYN_decode_in_place(room, len, type, &in_place);
  require(rc == rc_in_place && std::memcmp(&copied, &in_place, sizeof copied) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static bool quiet = [] {
    // Traces go to standard output; keep them, but out of the way.
    return std::freopen("/dev/null", "w", stdout) != nullptr;
  }();
  (void)quiet;
  if (size < 2) return 0;
  // Every section type, and one that is none of them.
  static const int kTypes[] = {1, 2, 4, 8, 16, 0};
  const auto type = static_cast<ReportType>(kTypes[data[0] % 6]);
  const bool trace = (data[0] & 0x80) != 0;
  SYN_set_iw(static_cast<int>(data[1] % 12) - 1);
  SYN_set_prhour((data[1] >> 4) * 100);
  if (trace) MESS_set(1, 0xF0000000u);

  // The report text as the decoder would get it, at any length.
  std::vector<char> text(data + 2, data + size);
  text.push_back('\0');
  decode_one(text.data(), type);
  if (text.size() <= static_cast<std::size_t>(kSynDataMax) + 1) {
    char room[kSynTextRoom];
    std::memset(room, '5', sizeof room);
    std::memcpy(room, text.data(), text.size());
    decode_in_place(room, static_cast<int>(text.size()) - 1, type);
  }

  // The same bytes as a bulletin file, cut by the reader.
  if (FILE *f = fmemopen(const_cast<std::uint8_t *>(data + 2), size - 2, "r")) {
    SYN_read_reset();
    char rep[kSynTextRoom];
    char id[kSynIdMax + 1] = "";
    auto rtype = ReportType::land;
    for (int guard = 0; guard < 10000 && SYN_read_raw(f, rep, id, &rtype) == 1; ++guard) {
      require(terminated(rep, kSynDataMax + 1));
      decode_one(rep, rtype);
      decode_one(rep, ReportType::drifter);
      decode_in_place(rep, SYN_read_len(), rtype);
    }
    std::fclose(f);
  }
  if (trace) MESS_set(-1, 0xF0000000u);
  return 0;
}
