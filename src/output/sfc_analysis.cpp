// Values of the analysis variables, and the observation time.
#include "output/sfc_analysis.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "framework/missing.hpp"
#include "report/wx_tool.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double digit_or_nan(char c) { return c >= '0' && c <= '9' ? c - '0' : kNaN; }

// "YYYY-MM-DDTHH" of a moment.
void hour_text(std::int64_t seconds, char *out) {
  const auto t = static_cast<time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d", (tm.tm_year + 1900) % 10000, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour);
  for (int i = 0; i < 13; ++i) out[i] = buf[i];
}

}  // namespace

namespace {

double record_value(const AnaVar &v, const SFC_report &r) {
  switch (v.kind) {
    case AnaKind::value: {
      const SfcField &f = SFC_field(v.var);
      const float x = SFC_value(f, r, v.layer);
      return SFC_present(f.present, x) && std::isfinite(x) ? x : kNaN;
    }
    case AnaKind::cloud_base: {
      const float h = SFC_value(SFC_field(v.var), r, v.layer);
      if (tv::is_miss(h) || !(h >= 0)) return kNaN;
      // Above ground as reported; the station's height (in feet, the
      // record's unit for clouds) makes it an altitude.
      const double elev = tv::is_miss(r.elev) || !std::isfinite(r.elev) ? 0.0 : r.elev / 0.3048;
      return h + elev;
    }
    case AnaKind::cover: {
      const std::string_view c = SFC_text(SFC_field(v.var), r, v.layer);
      const double oktas = c.empty() ? kNaN : digit_or_nan(WX_cover_code(c[0]));
      return oktas <= 8 ? oktas : kNaN;
    }
    case AnaKind::code_char: {
      const std::string_view c = SFC_text(SFC_field(v.var), r, v.layer);
      return c.empty() ? kNaN : digit_or_nan(c[0]);
    }
    case AnaKind::code_int: {
      const int x = r.*SFC_field(v.var).integer;
      return x >= 0 && x <= 9 ? x : kNaN;
    }
    case AnaKind::weather: {
      const std::string_view w = SFC_text(SFC_field(v.var), r);
      if (!SFC_present(SfcPresent::not_blank, w) || w.empty()) return kNaN;
      return WX_weather_wmo(r.weather);
    }
    case AnaKind::wmo_id:
      return r.wmo > 0 && r.wmo < 99999 ? r.wmo : kNaN;
    case AnaKind::station_id:
    case AnaKind::report_type:
    case AnaKind::time:
    case AnaKind::station_name: break;
  }
  return kNaN;
}

}  // namespace

// A damaged record can hold anything: what is no finite number is missing.
double ANA_record_value(const AnaVar &v, const SFC_report &r) {
  const double x = record_value(v, r);
  return std::isfinite(x) ? x : kNaN;
}

void AnaClock::set(const Date &file_date) {
  Date d = file_date;
  d.min = 0;
  d.sec = 0;
  hour_ = d.hour >= 0 && d.hour <= 23 ? d.hour : 0;
  d.hour = hour_;
  const std::int64_t start = DATE_num_sec(&d);
  for (int h = 0; h < 24; ++h) {
    auto &text = hour_text_[static_cast<std::size_t>(h)];
    hour_start_[static_cast<std::size_t>(h)] = start + 3600 * DATE_hour_offset(h, hour_);
    hour_text(hour_start_[static_cast<std::size_t>(h)], text);
    text[13] = ':';
  }
}

double AnaClock::seconds(int hhmm) const {
  const bool ok = !tv::is_miss(hhmm) && hhmm >= 0;
  const int h = ok ? hhmm / 100 % 24 : hour_;
  const int m = ok && hhmm % 100 < 60 ? hhmm % 100 : 0;
  return static_cast<double>(hour_start_[static_cast<std::size_t>(h)] + 60 * m);
}

void AnaClock::iso(int hhmm, char *out) const { put_iso(hhmm, out); }

void ANA_iso_time(double seconds, char *out, std::size_t size) {
  const auto t = static_cast<time_t>(std::floor(seconds));
  std::tm tm{};
  gmtime_r(&t, &tm);
  std::snprintf(out, size, "%04d-%02d-%02dT%02d:%02d:%02dZ", (tm.tm_year + 1900) % 10000, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}
