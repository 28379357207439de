// The output record's description: checks of its rows while compiling, and
// the values of a record by row.
#include "output/sfc_fields.hpp"

#include <cstring>

namespace {

// Every row stands at the place its name gives it, every form parses, and
// every unit a format asks for can be reached from the record's.
constexpr bool rows_hold() {
  for (std::size_t i = 0; i < kSfcFieldCount; ++i) {
    const SfcField &f = kSfcFields[i];
    if (static_cast<std::size_t>(f.var) != i) return false;
    for (std::string_view form : {f.text.form, f.text.fine_form, f.old.form, f.xml.form, f.xml.fine_form})
      SFC_parse_form(form);
    if (f.xml.unit != SfcUnit::none && !SFC_convertible(f.unit, f.xml.unit)) return false;
    // netCDF names go to the library as they are: terminated literals.
    if (!f.cdf.name.empty() && f.cdf.name.data()[f.cdf.name.size()] != '\0') return false;
    if (!f.cdf.name.empty() && f.cdf.type == CdfType::real && !SFC_convertible(f.unit, f.cdf.unit))
      return false;
    const bool numbers = f.source != SfcSource::text && f.source != SfcSource::chars;
    if (numbers != (f.real || f.integer || f.source == SfcSource::layers || f.source == SfcSource::precip ||
                    f.source == SfcSource::precip_hours))
      return false;
  }
  return true;
}
static_assert(rows_hold(), "kSfcFields: a row out of place, a bad form or a unit that cannot be reached");

constexpr const char *kSymbols[] = {
    "",       "hhmm", "degrees_north", "degrees_east", "degree", "degF", "degC", "K",
    "mbar",   "hPa",  "Pa",            "inHg",         "knot",   "m s-1", "mi",  "km",
    "m",      "ft",   "in",            "mm",           "s",      "min",  "h",
};
static_assert(std::size(kSymbols) == static_cast<std::size_t>(SfcUnit::hour) + 1, "a symbol for every unit");

const char *base(const SFC_report &r) { return reinterpret_cast<const char *>(&r); }

}  // namespace

std::string_view SFC_unit_symbol(SfcUnit unit) {
  const auto i = static_cast<std::size_t>(unit);
  return i < std::size(kSymbols) ? kSymbols[i] : "";
}

float SFC_value(const SfcField &f, const SFC_report &r, int k) {
  switch (f.source) {
    case SfcSource::real: return r.*f.real;
    case SfcSource::integer: return tv::is_miss(r.*f.integer) ? tv::kMissFloat : static_cast<float>(r.*f.integer);
    case SfcSource::layers: {
      if (k < 0 || static_cast<std::size_t>(k) >= f.count) return tv::kMissFloat;
      float v;
      std::memcpy(&v, base(r) + f.offset + static_cast<std::size_t>(k) * sizeof v, sizeof v);
      return v;
    }
    case SfcSource::precip: return tv::is_miss(r.rain24) ? r.rain6 : r.rain24;
    case SfcSource::precip_hours: return tv::is_miss(r.rain24) ? 6.0f : 24.0f;
    case SfcSource::text:
    case SfcSource::chars: break;
  }
  return tv::kMissFloat;
}

std::string_view SFC_text(const SfcField &f, const SFC_report &r, int k) {
  if (f.source == SfcSource::text) return std::string_view(base(r) + f.offset, strnlen(base(r) + f.offset, f.count));
  if (f.source == SfcSource::chars && k >= 0 && static_cast<std::size_t>(k) < f.count)
    return std::string_view(base(r) + f.offset + static_cast<std::size_t>(k), 1);
  return {};
}
