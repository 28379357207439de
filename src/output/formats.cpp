// The registry of output formats: one row per format.
#include "output/formats.hpp"

#include <cctype>
#include <cstring>
#include <string>

#include "framework/mess.hpp"
#include "framework/string.hpp"

namespace {

constexpr SfcType kTextTypes[] = {SfcType::text_ext, SfcType::text, SfcType::old_text};
constexpr SfcType kXmlTypes[] = {SfcType::xml};
constexpr SfcType kCdfTypes[] = {SfcType::cdf, SfcType::old_cdf};
constexpr SfcType kBufrTypes[] = {SfcType::bufr};
constexpr SfcType kCfTypes[] = {SfcType::cf};
constexpr SfcType kCsvTypes[] = {SfcType::csv};

// The first row is the default format. Constant, so that it is there before
// any other module's start-up code asks for it.
constexpr SfcFormat kFormats[] = {
    {"zot", kTextTypes, "syn_cvt_zot", "zot", "text, one line per report (the default)", &kSfcTextOps},
    {"xml", kXmlTypes, "syn_cvt_xml", "xml", "XML, one obs element per report", &kSfcXmlOps, true},
    {"cdf", kCdfTypes, "syn_cvt_cdf", "cdf", "netCDF, one record per report, in metric units", &kSfcCdfOps,
     true},
    {"bufr", kBufrTypes, "syn_cvt_bufr", "bufr", "BUFR edition 4, one message per land, CMAN or ship report",
     &kSfcBufrOps, true},
    {"cf", kCfTypes, "syn_cvt_cf", "nc", "netCDF-4 for analysis (CF-1.8 point observations, SI units)", &kSfcCfOps,
     true},
    {"csv", kCsvTypes, "syn_cvt_csv", "csv", "CSV for analysis, one row per report (the cf variables)", &kSfcCsvOps,
     true},
};

}  // namespace

std::span<const SfcFormat> SFC_formats() { return kFormats; }

const SfcFormat *SFC_format_of_word(std::string_view word) {
  for (const SfcFormat &f : kFormats)
    if (tv::iequal(word, f.word)) return &f;
  return nullptr;
}

const SfcFormat *SFC_format_of_type(SfcType type) {
  for (const SfcFormat &f : kFormats)
    for (SfcType t : f.types)
      if (t == type) return &f;
  return nullptr;
}

bool SFC_type_has_position(int type) {
  for (const SfcFormat &f : kFormats)
    for (SfcType t : f.types)
      if (SFC_type_code(t) == type) return f.positions;
  return false;
}

const SfcFormat *SFC_format_of_prefix(const char *value, const char **rest) {
  if (rest) *rest = nullptr;
  if (!value) return nullptr;
  const std::size_t len = std::strlen(value);
  for (const SfcFormat &f : kFormats) {
    const std::size_t n = f.word.size();
    // Never look past a short value's end; a name such as "xmlfeed" stays a name.
    if (len < n || !tv::iequal(std::string_view(value, n), f.word)) continue;
    if (std::isalnum(static_cast<unsigned char>(value[n]))) continue;
    if (rest && len > n + 1) *rest = value + n + 1;
    return &f;
  }
  return nullptr;
}

const char *SFC_format_words() {
  static const std::string words = [] {
    std::string w;
    for (const SfcFormat &f : kFormats) {
      if (!w.empty()) w += ',';
      w += f.word;
    }
    return w;
  }();
  return words.c_str();
}

void SFC_print_formats(M_type level) {
  for (const SfcFormat &f : kFormats)
    MESS_print(level, " %-4.*s %s\n", static_cast<int>(f.word.size()), f.word.data(), f.help);
}
