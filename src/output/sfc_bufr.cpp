// The BUFR format: messages encoded with ecCodes from the record's values,
// converted with the record's own unit conversions (kSfcFields), and the
// file they go to (a byte stream, written safely like the text files).
#include "output/sfc_bufr.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <eccodes.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "framework/date.hpp"
#include "framework/files.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/resrc.hpp"
#include "framework/string.hpp"
#include "output/bufr_pack.hpp"
#include "output/formats.hpp"
#include "output/sfc_fields.hpp"
#include "output/sfc_stream.hpp"
#include "report/wx_tool.hpp"
#include "stations/wis_list.hpp"
#include "syn_run.hpp"

namespace {

using tv::is_miss;

constexpr M_type kFail = 0xC0;
constexpr double kMiss = -9999.0;  // the record's missing value, in double precision

constexpr bool is_miss(double v) { return v == kMiss; }

// ----- the templates --------------------------------------------------------------

// The elements a record fills. Each template names the key of each in its
// expanded sequence (null: the template has none).
enum Elem : std::uint8_t {
  eWigosSeries, eWigosIssuer, eWigosIssue, eWigosLocal, eBlock, eStation, eName, eShipId, eStationType,
  eYear, eMonth, eDay, eHour, eMinute, eLat, eLon, eElevation, eBarometer,
  ePmsl, ePtend, ePtendChar, eT, eTd, eVis, ePrecip24,
  eCoverTotal, eCloudSig, eCloudAmount, eCloudBase, eCloudL, eCloudM, eCloudH,
  eSnow, eWeather, eSunPeriod, eSunshine,
  eRainPeriodA, eRainA, eRainPeriodB, eRainB,
  eMaxFrom, eMaxTo, eTmax, eMinFrom, eMinTo, eTmin,
  eWindInstr, eWindSig, eWindPeriod, eWdir, eWspd, eGustSig, eGustPeriod, eGust,
  eSst, eWavePeriod, eWaveHeight,
  kElems
};

struct Template {
  const char *name;  // in messages
  std::array<long, 2> descriptors;
  std::size_t n_descriptors;
  int replications;  // delayed replication factors: the cloud layers first, then zeros
  long data_category;  // Common Code Table C-13: 0 land, 1 sea
  std::array<const char *, kElems> keys;
};

// The keys both sequences share: the same elements at the same occurrence.
constexpr void set_common_keys(Template &t) {
  auto &k = t.keys;
  k[eStationType] = "#1#stationType";
  k[eYear] = "#1#year";
  k[eMonth] = "#1#month";
  k[eDay] = "#1#day";
  k[eHour] = "#1#hour";
  k[eMinute] = "#1#minute";
  k[eLat] = "#1#latitude";
  k[eLon] = "#1#longitude";
  k[eElevation] = "#1#heightOfStationGroundAboveMeanSeaLevel";
  k[eBarometer] = "#1#heightOfBarometerAboveMeanSeaLevel";
  k[ePmsl] = "#1#pressureReducedToMeanSeaLevel";
  k[ePtend] = "#1#3HourPressureChange";
  k[ePtendChar] = "#1#characteristicOfPressureTendency";
  k[eT] = "#1#airTemperature";
  k[eTd] = "#1#dewpointTemperature";
  k[eVis] = "#1#horizontalVisibility";
  k[ePrecip24] = "#1#totalPrecipitationPast24Hours";
  k[eCoverTotal] = "#1#cloudCoverTotal";
  k[eCloudSig] = "#1#verticalSignificanceSurfaceObservations";
  k[eCloudAmount] = "#1#cloudAmount";
  k[eCloudBase] = "#1#heightOfBaseOfCloud";
  k[eCloudL] = "#1#cloudType";
  k[eCloudM] = "#2#cloudType";
  k[eCloudH] = "#3#cloudType";
  k[eWeather] = "#1#presentWeather";
  k[eRainA] = "#1#totalPrecipitationOrTotalWaterEquivalent";
  k[eRainB] = "#2#totalPrecipitationOrTotalWaterEquivalent";
  k[eTmax] = "#1#maximumTemperatureAtHeightAndOverPeriodSpecified";
  k[eTmin] = "#1#minimumTemperatureAtHeightAndOverPeriodSpecified";
  k[eWindInstr] = "#1#instrumentationForWindMeasurement";
  k[eWindSig] = "#1#timeSignificance";
  k[eWdir] = "#1#windDirection";
  k[eWspd] = "#1#windSpeed";
  k[eGustSig] = "#2#timeSignificance";
  k[eGust] = "#1#maximumWindGustSpeed";
}

constexpr Template make_land() {
  Template t{"land", {301150, 307080}, 2, 2, 0, {}};
  set_common_keys(t);
  auto &k = t.keys;
  k[eWigosSeries] = "#1#wigosIdentifierSeries";
  k[eWigosIssuer] = "#1#wigosIssuerOfIdentifier";
  k[eWigosIssue] = "#1#wigosIssueNumber";
  k[eWigosLocal] = "#1#wigosLocalIdentifierCharacter";
  k[eBlock] = "#1#blockNumber";
  k[eStation] = "#1#stationNumber";
  k[eName] = "#1#stationOrSiteName";
  k[eSnow] = "#1#totalSnowDepth";
  k[eSunPeriod] = "#2#timePeriod";
  k[eSunshine] = "#1#totalSunshine";
  k[eRainPeriodA] = "#4#timePeriod";
  k[eRainPeriodB] = "#5#timePeriod";
  k[eMaxFrom] = "#6#timePeriod";
  k[eMaxTo] = "#7#timePeriod";
  k[eMinFrom] = "#8#timePeriod";
  k[eMinTo] = "#9#timePeriod";
  k[eWindPeriod] = "#10#timePeriod";
  k[eGustPeriod] = "#11#timePeriod";
  return t;
}

constexpr Template make_ship() {
  Template t{"ship", {308009, 0}, 1, 1, 1, {}};
  set_common_keys(t);
  auto &k = t.keys;
  k[eShipId] = "#1#shipOrMobileLandStationIdentifier";
  k[eRainPeriodA] = "#2#timePeriod";
  k[eRainPeriodB] = "#3#timePeriod";
  k[eMaxFrom] = "#4#timePeriod";
  k[eMaxTo] = "#5#timePeriod";
  k[eMinFrom] = "#6#timePeriod";
  k[eMinTo] = "#7#timePeriod";
  k[eWindPeriod] = "#8#timePeriod";
  k[eGustPeriod] = "#9#timePeriod";
  k[eSst] = "#1#oceanographicWaterTemperature";
  k[eWavePeriod] = "#1#periodOfWindWaves";
  k[eWaveHeight] = "#1#heightOfWindWaves";
  return t;
}

constexpr Template kLand = make_land();
constexpr Template kShip = make_ship();
constexpr const Template *kTemplates[] = {&kLand, &kShip};

// Record quantities in the template's units, through the record's
// conversions (the wind, with its time period, in put_wind).
struct Quantity {
  Elem elem;
  SfcVar var;
  SfcUnit unit;
};
constexpr Quantity kQuantities[] = {
    {eT, SfcVar::t, SfcUnit::kelvin},
    {eTd, SfcVar::td, SfcUnit::kelvin},
    {ePmsl, SfcVar::pmb, SfcUnit::pa},
    {ePtend, SfcVar::ptend, SfcUnit::pa},
    {eVis, SfcVar::vis, SfcUnit::metre},
    {eSnow, SfcVar::scover, SfcUnit::metre},
    {eSunshine, SfcVar::solar, SfcUnit::minute},
    {eSst, SfcVar::sst, SfcUnit::kelvin},
    {eWavePeriod, SfcVar::wav_per, SfcUnit::second},
    {eWaveHeight, SfcVar::wav_hgt, SfcUnit::metre},
};

constexpr bool quantities_hold() {
  for (const Quantity &q : kQuantities) {
    const SfcField &f = SFC_field(q.var);
    if (f.source != SfcSource::real || !SFC_convertible(f.unit, q.unit)) return false;
  }
  return SFC_convertible(SfcUnit::inch, SfcUnit::mm) && SFC_convertible(SfcUnit::deg_f, SfcUnit::kelvin) &&
         SFC_convertible(SfcUnit::foot, SfcUnit::metre);
}
static_assert(quantities_hold(), "kQuantities: a quantity that the record cannot give in the template's unit");

// ----- element ranges -----------------------------------------------------------

// What an element can hold, from its table entry: the scaled value
// (v * 10^scale) lies in [reference, reference + 2^width - 2]; all ones is
// "missing". Strings: width / 8 characters.
struct Range {
  bool known = false;
  long scale = 0;
  long reference = 0;
  long width = 0;
  double pow10 = 1;  // 10^scale
  double top = 0;    // the largest scaled value that is not "missing"
  double least = 0;  // the smallest value ecCodes takes, unscaled

  void complete() {
    pow10 = std::pow(10.0, static_cast<double>(scale));
    // ecCodes refuses a value below the reference before rounding it, and
    // with it the whole report: such a value is missing, as one too large.
    least = static_cast<double>(reference) * bufr::factor_of(scale);
    top = static_cast<double>(reference) + std::ldexp(1.0, static_cast<int>(width)) - 2.0;
    known = true;
  }
};
Range ranges[std::size(kTemplates)][kElems];

// Values written as missing for being out of range, by element name.
struct OutOfRange {
  const char *key;
  long count;
};
std::vector<OutOfRange> out_of_range;

// The element's name without its "#n#" rank.
const char *element_name(const char *key) {
  if (key[0] != '#') return key;
  const char *p = std::strchr(key + 1, '#');
  return p ? p + 1 : key;
}

// Counts a value out of range; the first of each element is told.
void note_out_of_range(const char *key, double v, const SFC_report &r) {
  const char *name = element_name(key);
  for (OutOfRange &o : out_of_range) {
    if (std::strcmp(o.key, name) == 0) {
      ++o.count;
      return;
    }
  }
  out_of_range.push_back({name, 1});
  MESS_print(kFail, "SFC_write: Value out of the range of %s, written as missing: %g (%s)\n", name, v, r.id);
}

// ----- one message -------------------------------------------------------------

struct HandleDeleter {
  void operator()(codes_handle *h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// The BUFR4 sample in memory: every message starts as a copy of it.
std::vector<unsigned char> sample;

// ecCodes' own messages go through the message layer, so that a batch
// run's level and log file apply to them: errors and warnings in the warn
// class, the rest as debugging.
void ecc_log(const codes_context * /*c*/, int level, const char *text) {
  const bool fail = level == GRIB_LOG_ERROR || level == GRIB_LOG_FATAL || level == GRIB_LOG_WARNING;
  const M_type at = fail ? kFail : 0x10000000;
  if (MESS_check(at)) MESS_print(at, "SFC_write: ecCodes: %s\n", text ? text : "");
}

int load_sample() {
  if (!sample.empty()) return 0;
  codes_context_set_logging_proc(codes_context_get_default(), ecc_log);
  Handle h(codes_bufr_handle_new_from_samples(nullptr, "BUFR4"));
  if (!h) return GRIB_FILE_NOT_FOUND;
  const void *msg = nullptr;
  std::size_t len = 0;
  const int rc = codes_get_message(h.get(), &msg, &len);
  if (rc != 0) return rc;
  const auto *bytes = static_cast<const unsigned char *>(msg);
  sample.assign(bytes, bytes + len);
  return 0;
}

// The layer slots after the elements: each further cloud layer's amount
// and base, for the packer of our own.
constexpr int kMaxLayers = static_cast<int>(sizeof(SFC_report::cld_cover)) - 1;
constexpr int kSlots = kElems + 2 * kMaxLayers;
constexpr int layer_slot(int k, bool base) { return kElems + 2 * (k - 1) + (base ? 1 : 0); }

// The layout of one template and replication shape for the packer of our
// own, read from ecCodes on the first message of that shape.
struct Shape {
  bool tried = false;
  bool usable = false;
  bufr::Layout layout;
  Range ranges[kElems];
};
Shape shapes[std::size(kTemplates)][kMaxLayers + 1];
BUFR_settings shapes_for;  // the settings the shapes were built with
long left_to_eccodes = 0;

// The encoder of one message: the first ecCodes error is kept with its key,
// and nothing more is set after it. With a shape, the values are kept for
// the packer of our own instead (the same checks, the same warnings), and
// the sections before the data come from the shape's message.
class Message {
 public:
  Message(const Template &t, std::size_t ti, const SFC_report &r, const Shape *own = nullptr)
      : t_(t), ti_(ti), r_(r), own_(own) {
    if (own_) {
      values_.fill(std::numeric_limits<double>::quiet_NaN());
      texts_.fill(std::string_view());
    }
  }

  bool start() {
    if (own_) return true;
    if (check(load_sample(), "BUFR4 sample")) return false;
    h_.reset(codes_handle_new_from_message_copy(nullptr, sample.data(), sample.size()));
    if (!h_) return check(GRIB_INTERNAL_ERROR, "BUFR4 sample"), false;
    return true;
  }

  void set_long(const char *key, long v) {
    if (rc_ == 0) check(codes_set_long(h_.get(), key, v), key);
  }
  void set_double(const char *key, double v) {
    if (rc_ == 0) check(codes_set_double(h_.get(), key, v), key);
  }
  void set_array(const char *key, const long *v, std::size_t n) {
    if (rc_ == 0) check(codes_set_long_array(h_.get(), key, v, n), key);
  }

  // Section 1 and the shape of the data (the packer: only the octets that
  // vary; the rest is the shape's).
  void header(const BUFR_settings &s, const bufr::Section1 &s1, const long *reps) {
    if (own_) {
      s1_ = s1;
      return;
    }
    if (s.master_version > 0) set_long("masterTablesVersionNumber", s.master_version);
    set_long("bufrHeaderCentre", s.centre);
    set_long("bufrHeaderSubCentre", s.subcentre);
    set_long("dataCategory", s1.data_category);
    set_long("internationalDataSubCategory", s1.sub_category);
    set_long("typicalYear", s1.year);
    set_long("typicalMonth", s1.month);
    set_long("typicalDay", s1.day);
    set_long("typicalHour", s1.hour);
    set_long("typicalMinute", s1.minute);
    set_long("typicalSecond", s1.second);
    set_array("inputDelayedDescriptorReplicationFactor", reps, static_cast<std::size_t>(t_.replications));
    set_array("unexpandedDescriptors", t_.descriptors.data(), t_.n_descriptors);
  }

  // An element of the data section; missing, or outside its range, it
  // stays missing.
  void put(Elem e, double v) {
    const char *key = t_.keys[e];
    if (!key || rc_ != 0 || is_miss(v) || !std::isfinite(v)) return;
    const Range *range = range_of(e);
    if (!range) return;
    if (range->width > 62) return check(GRIB_WRONG_TYPE, key), void();
    const double scaled = std::nearbyint(v * range->pow10);
    if (scaled < static_cast<double>(range->reference) || scaled > range->top || v < range->least) {
      // Our packer's are told once its message is made: a message that
      // ecCodes makes instead tells its own.
      if (!own_)
        note_out_of_range(key, v, r_);
      else if (n_pending_ < kElems)
        pending_[n_pending_++] = {key, v};
      return;
    }
    if (own_)
      values_[e] = v;
    else
      check(codes_set_double(h_.get(), key, v), key);
  }

  // Cloud layer k (from 1) beyond the first: its cover (code figure) and
  // base, each when present.
  void put_layer(int k, long amount, bool has_amount, double base, bool has_base) {
    if (own_) {
      if (rc_ != 0 || k < 1 || k > kMaxLayers) return;
      if (has_amount) values_[layer_slot(k, false)] = static_cast<double>(amount);
      if (has_base) values_[layer_slot(k, true)] = base;
      return;
    }
    char key[64];
    std::snprintf(key, sizeof key, "#%d#cloudAmount", k + 1);
    if (has_amount) set_long(key, amount);
    std::snprintf(key, sizeof key, "#%d#heightOfBaseOfCloud", k + 1);
    if (has_base) set_double(key, base);
  }

  // A text element, cut to the element's width (never inside a UTF-8
  // character).
  void put_text(Elem e, std::string_view s) {
    const char *key = t_.keys[e];
    if (!key || rc_ != 0 || s.empty()) return;
    const Range *range = range_of(e);
    if (!range) return;
    std::size_t n = s.size();
    const auto max = static_cast<std::size_t>(range->width / 8);
    if (n > max) {
      n = max;
      while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    }
    if (own_ && text_used_ >= kTexts) return check(GRIB_ARRAY_TOO_SMALL, key), void();
    char local[64];
    char *text = own_ ? text_buf_[static_cast<std::size_t>(text_used_++)].data() : local;
    if (n >= 64) n = 63;
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
    if (own_) {
      texts_[e] = std::string_view(text, n);
      return;
    }
    std::size_t len = n;
    check(codes_set_string(h_.get(), key, text, &len), key);
  }

  // Packs the message and copies it to `buf`: its length, or -1. The
  // packer of our own: 0 when ecCodes would refuse a value (the caller
  // then takes ecCodes' way, which gives ecCodes' own outcome).
  long finish(unsigned char *buf, std::size_t size) {
    if (own_) {
      if (rc_ != 0) return -1;
      const long len = own_->layout.pack(s1_, values_.data(), texts_.data(), kSlots, buf, size);
      if (len < 0) return check(GRIB_BUFFER_TOO_SMALL, "message"), -1;
      if (len > 0)
        for (int i = 0; i < n_pending_; ++i) note_out_of_range(pending_[i].key, pending_[i].value, r_);
      return len;
    }
    set_long("pack", 1);
    if (rc_ != 0) return -1;
    const void *msg = nullptr;
    std::size_t len = 0;
    if (check(codes_get_message(h_.get(), &msg, &len), "message")) return -1;
    if (len > size) return check(GRIB_BUFFER_TOO_SMALL, "message"), -1;
    std::memcpy(buf, msg, len);
    return static_cast<long>(len);
  }

  int status() const { return rc_; }
  const char *failed_key() const { return key_; }

 private:
  bool check(int rc, const char *key) {
    if (rc != 0 && rc_ == 0) {
      rc_ = rc;
      key_ = key;
    }
    return rc != 0;
  }

  const Range *range_of(Elem e) {
    if (own_) {
      const Range &r = own_->ranges[e];
      return r.known ? &r : (check(GRIB_NOT_FOUND, t_.keys[e]), nullptr);
    }
    Range &r = ranges[ti_][e];
    if (r.known) return &r;
    char attr[128];
    const char *key = t_.keys[e];
    const char *names[3] = {"scale", "reference", "width"};
    long *fields[3] = {&r.scale, &r.reference, &r.width};
    for (int i = 0; i < 3; ++i) {
      std::snprintf(attr, sizeof attr, "%s->%s", key, names[i]);
      if (check(codes_get_long(h_.get(), attr, fields[i]), key)) return nullptr;
    }
    // Numbers up to 62 bits; texts (CCITT IA5) of whole characters.
    if (r.width <= 0 || (r.width > 62 && r.width % 8 != 0)) return check(GRIB_INVALID_KEY_VALUE, key), nullptr;
    r.complete();
    return &r;
  }

  // The text elements of a template (identifier, name, call sign).
  static constexpr int kTexts = 4;

  const Template &t_;
  std::size_t ti_;
  const SFC_report &r_;
  Handle h_;
  int rc_ = 0;
  const char *key_ = "";
  const Shape *own_;
  struct Pending {
    const char *key;
    double value;
  };
  std::array<Pending, kElems> pending_;
  int n_pending_ = 0;
  bufr::Section1 s1_;
  std::array<double, kSlots> values_;
  std::array<std::string_view, kSlots> texts_;
  std::array<std::array<char, 64>, kTexts> text_buf_;
  int text_used_ = 0;
};

// ----- the record's values ----------------------------------------------------------

double value_in(SfcVar var, SfcUnit to, const SFC_report &r, int k = 0) {
  const SfcField &f = SFC_field(var);
  const float v = SFC_value(f, r, k);
  if (!SFC_present(f.present, v)) return tv::kMissFloat;
  return SFC_convert(f.unit, to, static_cast<double>(v));
}

double real_in(float v, SfcUnit from, SfcUnit to) {
  return is_miss(v) ? tv::kMissFloat : SFC_convert(from, to, static_cast<double>(v));
}

// A code figure character; -9999 for '/', '-', a blank or anything else.
double figure(char c) { return c >= '0' && c <= '9' ? c - '0' : tv::kMissFloat; }

// Total cover in per cent from the okta figure; 9 (sky obscured) is 113.
double cover_percent(char c) {
  const char code = WX_cover_code(c);
  if (code < '0' || code > '9') return tv::kMissFloat;
  constexpr int kPercent[10] = {0, 13, 25, 38, 50, 63, 75, 88, 100, 113};
  return kPercent[code - '0'];
}

// The observation time: the report's hour of day placed next to the file's
// hour as the run's window places it, with the report's minute.
Date obs_time(const Date &file_date, int hhmm) {
  Date d = file_date;
  if (is_miss(hhmm)) return d;
  d.min = hhmm % 100;
  d.sec = 0;
  const int h = hhmm / 100 % 24;
  if (h != d.hour && !is_miss(d.year) && !is_miss(d.hour)) {
    const auto t = static_cast<time_t>(DATE_num_sec(&d) + 3600 * DATE_hour_offset(h, d.hour));
    DATE_get_gmdate(&t, &d);
  }
  return d;
}

// The class of a report from its area text: "LA", "CM", "SH", ...
std::string_view report_class(const SFC_report &r) { return std::string_view(r.area, strnlen(r.area, 2)); }

const Template *template_of(const SFC_report &r) {
  const std::string_view c = report_class(r);
  if (c == "LA" || c == "CM") return &kLand;
  if (c == "SH") return &kShip;
  return nullptr;
}

std::string_view id_of(const SFC_report &r) { return std::string_view(r.id, strnlen(r.id, sizeof r.id)); }

void put_station(Message &m, const Template &t, const SFC_report &r) {
  // A ship's identifier is its call sign after the record's class letter.
  std::string_view id = id_of(r);
  if (t.keys[eShipId] && id.size() > 1 && id[0] == 's') id.remove_prefix(1);
  // Land stations by their block and station number, whatever identifier
  // the run gives them; CMAN stations by their identifier.
  const bool numbered = !t.keys[eShipId] && !is_miss(r.wmo) && r.wmo > 0 && r.wmo < 99999;
  char number[8] = "";
  if (numbered) std::snprintf(number, sizeof number, "%05d", r.wmo);
  const CTY_wis_station *st = numbered ? CTY_wis_find(number) : nullptr;
  if (!st) st = CTY_wis_find(id);
  if (t.keys[eWigosLocal]) {
    if (st) {
      m.put(eWigosSeries, st->wigos.series);
      m.put(eWigosIssuer, static_cast<double>(st->wigos.issuer));
      m.put(eWigosIssue, static_cast<double>(st->wigos.issue));
      m.put_text(eWigosLocal, st->wigos.local);
    } else {
      // Without the list: the WMO index range of identifiers.
      m.put(eWigosSeries, 0);
      m.put(eWigosIssuer, 20000);
      m.put(eWigosIssue, 0);
      m.put_text(eWigosLocal, numbered ? std::string_view(number) : id.substr(0, 16));
    }
  }
  if (numbered) {
    m.put(eBlock, r.wmo / 1000);
    m.put(eStation, r.wmo % 1000);
  }
  if (st) m.put_text(eName, st->name);
  m.put_text(eShipId, id);
  m.put(eStationType, (r.type & 16) != 0 ? 0 : 1);  // automatic, manned
  const bool listed = st && !is_miss(st->lat) && !is_miss(st->lon);
  m.put(eLat, listed ? st->lat : real_in(r.lat, SfcUnit::deg_north, SfcUnit::deg_north));
  m.put(eLon, listed ? st->lon : real_in(r.lon, SfcUnit::deg_east, SfcUnit::deg_east));
  m.put(eElevation, st && !is_miss(st->elevation) ? st->elevation : real_in(r.elev, SfcUnit::metre, SfcUnit::metre));
  if (st) m.put(eBarometer, st->barometer);
}

void put_clouds(Message &m, const SFC_report &r, int layers) {
  m.put(eCoverTotal, cover_percent(r.cld_cover[0]));
  const double cl = figure(r.cld_type[0]);
  const double cm = figure(r.cld_type[1]);
  const double amount = figure(r.cld_low);
  // Nh and the base refer to the low clouds, or to the middle ones when
  // there are no low clouds.
  if (!is_miss(amount) || !is_miss(cl) || !is_miss(cm))
    m.put(eCloudSig, !is_miss(cl) && cl != 0 ? 7 : !is_miss(cm) && cm != 0 ? 8 : 7);
  m.put(eCloudAmount, amount);
  m.put(eCloudBase, value_in(SfcVar::cld_height, SfcUnit::metre, r, 0));
  if (!is_miss(cl)) m.put(eCloudL, 30 + cl);
  if (!is_miss(cm)) m.put(eCloudM, 20 + cm);
  const double ch = figure(r.cld_type[2]);
  if (!is_miss(ch)) m.put(eCloudH, 10 + ch);
  // Further layers, each with its cover and base.
  for (int k = 1; k <= layers; ++k) {
    const char code = WX_cover_code(r.cld_cover[k]);
    const double base = value_in(SfcVar::cld_height, SfcUnit::metre, r, k);
    m.put_layer(k, code - '0', code >= '0' && code <= '9', base, !is_miss(base) && base >= 0 && base < 20000);
  }
}

// The layers beyond the first that the record holds.
int extra_layers(const SFC_report &r) {
  int n = r.num_cld;
  if (is_miss(n) || n <= 1) return 0;
  if (n > static_cast<int>(sizeof r.cld_cover)) n = static_cast<int>(sizeof r.cld_cover);
  return n - 1;
}

void put_precip(Message &m, const SFC_report &r) {
  const SfcField &f24 = SFC_field(SfcVar::rain24);
  const float v24 = SFC_value(f24, r);
  if (SFC_present(f24.present, v24)) m.put(ePrecip24, real_in(v24, SfcUnit::inch, SfcUnit::mm));
  // Shorter periods: the first two the record holds, shortest first.
  struct Period {
    SfcVar var;
    int hours;
  };
  constexpr Period kPeriods[] = {{SfcVar::rain1, 1}, {SfcVar::rain3, 3}, {SfcVar::rain6, 6}, {SfcVar::rain12, 12}};
  constexpr Elem kSlots[2][2] = {{eRainPeriodA, eRainA}, {eRainPeriodB, eRainB}};
  int slot = 0;
  for (const Period &p : kPeriods) {
    const double v = value_in(p.var, SfcUnit::mm, r);
    if (is_miss(v) || slot == 2) continue;
    m.put(kSlots[slot][0], -p.hours);
    m.put(kSlots[slot][1], v);
    ++slot;
  }
}

void put_extremes(Message &m, const SFC_report &r) {
  const double max12 = value_in(SfcVar::max_t, SfcUnit::kelvin, r);
  const double max6 = value_in(SfcVar::max6_t, SfcUnit::kelvin, r);
  if (!is_miss(max12) || !is_miss(max6)) {
    m.put(eMaxFrom, is_miss(max12) ? -6 : -12);
    m.put(eMaxTo, 0);
    m.put(eTmax, is_miss(max12) ? max6 : max12);
  }
  const double min12 = value_in(SfcVar::min_t, SfcUnit::kelvin, r);
  const double min6 = value_in(SfcVar::min6_t, SfcUnit::kelvin, r);
  if (!is_miss(min12) || !is_miss(min6)) {
    m.put(eMinFrom, is_miss(min12) ? -6 : -12);
    m.put(eMinTo, 0);
    m.put(eTmin, is_miss(min12) ? min6 : min12);
  }
}

void put_wind(Message &m, const SFC_report &r) {
  // Flag table 0 02 002: bit 2 (of 4) for a speed measured in knots.
  if ((r.flag & kSfcFlagWindKnots) != 0) m.put(eWindInstr, 4);
  if ((r.flag & kSfcFlagWindMps) != 0) m.put(eWindInstr, 0);
  const double spd = value_in(SfcVar::w_spd, SfcUnit::m_per_s, r);
  if (!is_miss(spd)) {
    m.put(eWindSig, 2);  // time averaged
    m.put(eWindPeriod, -10);
    m.put(eWdir, value_in(SfcVar::w_dir, SfcUnit::degree, r));
    m.put(eWspd, spd);
  }
  const double gust = value_in(SfcVar::w_gust, SfcUnit::m_per_s, r);
  if (!is_miss(gust)) {
    m.put(eGustPeriod, -10);
    m.put(eGust, gust);
  }
}

// WMO Common Code Table C-13: hourly (0), intermediate (1) or main (2)
// synoptic time.
long sub_category(int hour) { return hour % 6 == 0 ? 2 : hour % 3 == 0 ? 1 : 0; }

// The classes without a template, told once each.
std::vector<std::string> classes_told;

}  // namespace

long BUFR_installed_master_version() {
  static long version = -1;
  if (version >= 0) return version;
  version = 0;
  // ecCodes names the newest master tables it has; an older ecCodes
  // without that key: the newest table folder of its definitions.
  if (load_sample() == 0) {
    Handle h(codes_handle_new_from_message_copy(nullptr, sample.data(), sample.size()));
    if (h && codes_get_long(h.get(), "masterTablesVersionNumberLatest", &version) == 0 && version > 0)
      return version;
    version = 0;
  }
  const char *paths = codes_definition_path(nullptr);
  std::string list = paths ? paths : "";
  std::size_t from = 0;
  while (from <= list.size()) {
    std::size_t to = list.find(':', from);
    if (to == std::string::npos) to = list.size();
    const std::string dir = list.substr(from, to - from) + "/bufr/tables/0/wmo";
    if (DIR *d = ::opendir(dir.c_str())) {
      while (const dirent *e = ::readdir(d)) {
        char *end = nullptr;
        const long v = std::strtol(e->d_name, &end, 10);
        if (end != e->d_name && *end == '\0' && v > version && v < 256) version = v;
      }
      ::closedir(d);
    }
    from = to + 1;
  }
  return version;
}

namespace {

constexpr const char *kPackerWords = "own,eccodes";

// The packer the bufr_packer word names: 1 ecCodes, 0 our own (also when
// unset), -1 for a word that is neither.
int packer_word(const char *v) {
  if (!v || !*v || tv::iequal(v, "own")) return 0;
  if (tv::iequal(v, "eccodes")) return 1;
  return -1;
}

}  // namespace

int BUFR_check_words() {
  const char *v = RES_get("bufr_packer");
  return packer_word(v) < 0 ? RES_bad_word("SYN_decode_params", "bufr_packer", v, kPackerWords) : 0;
}

int BUFR_configure(BUFR_settings *out) {
  BUFR_settings s;
  // A wrong word was told when the run began; our own packer then.
  s.eccodes = packer_word(RES_get("bufr_packer")) == 1;
  struct Number {
    const char *name;
    long *value;
  };
  const Number numbers[] = {{"bufr_centre", &s.centre}, {"bufr_subcentre", &s.subcentre}};
  bool bad = false;
  for (const Number &n : numbers) {
    const char *v = RES_get(n.name);
    if (!v) continue;
    char *end = nullptr;
    const long x = std::strtol(v, &end, 10);
    if (!*v || end == v || *end != '\0' || x < 0 || x > 65535) {
      MESS_print(kFail, "SFC_open: %s is not a number from 0 to 65535: %s\n", n.name, v);
      bad = true;
    } else {
      *n.value = x;
    }
  }
  if (bad) return -1;
  static bool told = false;
  if (!RES_get("bufr_centre") && !told) {
    told = true;
    MESS_print(kFail, "SFC_open: bufr_centre not set: BUFR messages name no originating centre (255)\n");
  }
  static std::string list_read;
  const char *list = RES_get("station_list");
  if (list && *list) {
    if (list_read != list) {
      if (CTY_wis_load(list) != 0) return -1;
      list_read = list;
    }
  } else if (!list_read.empty()) {
    CTY_wis_clear();
    list_read.clear();
  }
  s.master_version = BUFR_installed_master_version();
  if (out) *out = s;
  return 0;
}

namespace {

// The value slot of the element named `name` at `rank` in template `ctx`:
// the element itself, or a further cloud layer's amount or base.
int slot_of(const void *ctx, std::string_view name, int rank) {
  const Template &t = *static_cast<const Template *>(ctx);
  for (int e = 0; e < kElems; ++e) {
    const char *key = t.keys[e];
    if (!key || key[0] != '#') continue;
    char *end = nullptr;
    const long n = std::strtol(key + 1, &end, 10);
    if (n == rank && end && *end == '#' && name == end + 1) return e;
  }
  if (rank >= 2 && rank - 1 <= kMaxLayers) {
    if (name == "cloudAmount") return layer_slot(rank - 1, false);
    if (name == "heightOfBaseOfCloud") return layer_slot(rank - 1, true);
  }
  return -1;
}

bool same_settings(const BUFR_settings &a, const BUFR_settings &b) {
  return a.centre == b.centre && a.subcentre == b.subcentre && a.master_version == b.master_version;
}

// The layout of template `ti` with `layers` further cloud layers under the
// settings `s`, read on first use from a message that ecCodes builds with
// every element missing; null when the packer does not take it (then
// ecCodes packs those messages).
const Shape *shape_of(std::size_t ti, int layers, const BUFR_settings &s) {
  if (!same_settings(s, shapes_for)) {
    for (auto &row : shapes)
      for (Shape &sh : row) sh = Shape();
    shapes_for = s;
  }
  if (layers < 0 || layers > kMaxLayers) return nullptr;
  Shape &sh = shapes[ti][layers];
  if (sh.tried) return sh.usable ? &sh : nullptr;
  sh.tried = true;
  const Template &t = *kTemplates[ti];
  if (load_sample() != 0) return nullptr;
  Handle h(codes_handle_new_from_message_copy(nullptr, sample.data(), sample.size()));
  bool ok = h != nullptr;
  auto set = [&](const char *key, long v) { ok = ok && codes_set_long(h.get(), key, v) == 0; };
  if (s.master_version > 0) set("masterTablesVersionNumber", s.master_version);
  set("bufrHeaderCentre", s.centre);
  set("bufrHeaderSubCentre", s.subcentre);
  set("dataCategory", t.data_category);
  // A date of distinct figures, so that the packer finds each in its octet.
  set("internationalDataSubCategory", 2);
  set("typicalYear", 2001);
  set("typicalMonth", 3);
  set("typicalDay", 4);
  set("typicalHour", 5);
  set("typicalMinute", 6);
  set("typicalSecond", 7);
  const long reps[2] = {layers, 0};
  const auto n_reps = static_cast<std::size_t>(t.replications);
  ok = ok && codes_set_long_array(h.get(), "inputDelayedDescriptorReplicationFactor", reps, n_reps) == 0 &&
       codes_set_long_array(h.get(), "unexpandedDescriptors", t.descriptors.data(), t.n_descriptors) == 0 &&
       codes_set_long(h.get(), "pack", 1) == 0;
  std::string why = "ecCodes could not build the message";
  ok = ok && sh.layout.build(h.get(), reps, n_reps, slot_of, &t, &why);
  // Every element the template fills, and every layer, has its place.
  for (int e = 0; ok && e < kSlots; ++e) {
    const bool wanted = e < kElems ? t.keys[e] != nullptr : (e - kElems) / 2 < layers;
    bufr::Layout::Element el;
    if (!wanted) continue;
    if (!sh.layout.element(e, &el)) {
      why = "an element not in the layout";
      ok = false;
      break;
    }
    if (e >= kElems) continue;
    Range &r = sh.ranges[e];
    r.scale = el.scale;
    r.reference = el.reference;
    r.width = el.width;
    if (r.width <= 0 || (r.width > 62 && r.width % 8 != 0)) ok = false;
    r.complete();
  }
  sh.usable = ok;
  if (!ok && MESS_check(0x10000000))
    MESS_print(0x10000000, "SFC_write: BUFR %s messages with %d further cloud layers packed by ecCodes: %s\n", t.name,
               layers, why.c_str());
  return ok ? &sh : nullptr;
}

// Fills the message: section 1, the station and every value of the record.
long fill(Message &m, const Template &t, const SFC_report &r, const BUFR_settings &s, const Date &when, int layers,
          unsigned char *buf, std::size_t size) {
  if (!m.start()) return -1;
  bufr::Section1 s1;
  s1.data_category = t.data_category;
  s1.sub_category = is_miss(when.hour) ? 0 : sub_category(when.hour);
  s1.year = when.year;
  s1.month = when.month;
  s1.day = when.day;
  s1.hour = when.hour;
  s1.minute = when.min;
  s1.second = 0;
  const long reps[2] = {layers, 0};
  m.header(s, s1, reps);
  put_station(m, t, r);
  m.put(eYear, when.year);
  m.put(eMonth, when.month);
  m.put(eDay, when.day);
  m.put(eHour, when.hour);
  m.put(eMinute, when.min);
  for (const Quantity &q : kQuantities) m.put(q.elem, value_in(q.var, q.unit, r));
  m.put(ePtendChar, is_miss(r.ptend_t) || r.ptend_t < 0 || r.ptend_t > 8 ? tv::kMissFloat : r.ptend_t);
  put_clouds(m, r, layers);
  const std::string_view wx = SFC_text(SFC_field(SfcVar::weather), r);
  if (SFC_present(SFC_field(SfcVar::weather).present, wx) && !wx.empty()) {
    char text[sizeof r.weather];
    const std::size_t n = wx.size() < sizeof text ? wx.size() : sizeof text - 1;
    std::memcpy(text, wx.data(), n);
    text[n] = '\0';
    m.put(eWeather, WX_weather_wmo(text));
  }
  if (!is_miss(value_in(SfcVar::solar, SfcUnit::minute, r))) m.put(eSunPeriod, -24);
  put_precip(m, r);
  put_extremes(m, r);
  put_wind(m, r);
  return m.finish(buf, size);
}

}  // namespace

long BUFR_encode(const SFC_report &r, const BUFR_settings &s, const Date &file_date, unsigned char *buf,
                 std::size_t size) {
  const Template *t = template_of(r);
  if (!t) return 0;
  const std::size_t ti = t == &kLand ? 0 : 1;
  const int layers = extra_layers(r);
  const Date when = obs_time(file_date, r.time);
  if (!s.eccodes) {
    ++left_to_eccodes;  // until our packer has done it
    if (const Shape *shape = shape_of(ti, layers, s)) {
      Message own(*t, ti, r, shape);
      const long len = fill(own, *t, r, s, when, layers, buf, size);
      if (len > 0) {
        --left_to_eccodes;
        return len;
      }
      // Whatever the packer does not take (a value ecCodes refuses, a
      // message too long), ecCodes packs, to its own outcome.
    }
  }
  Message m(*t, ti, r);
  const long len = fill(m, *t, r, s, when, layers, buf, size);
  if (len > 0) return len;
  MESS_print(kFail, "SFC_write: ecCodes error, report %s not written to BUFR: %s (%s)\n", r.id,
             codes_get_error_message(m.status()), m.failed_key());
  return -1;
}

long BUFR_left_to_eccodes() { return left_to_eccodes; }

long BUFR_out_of_range(bool print) {
  long total = 0;
  for (OutOfRange &o : out_of_range) {
    total += o.count;
    if (print && o.count > 0)
      MESS_print(kFail, "SFC_close: %ld value%s of %s out of range, written as missing\n", o.count,
                 o.count == 1 ? "" : "s", o.key);
    // Told once: the element's first warning is not repeated in the run.
    if (print) o.count = 0;
  }
  return total;
}

// ----- the format --------------------------------------------------------------------

namespace {

BUFR_settings settings;
int out_written = -1;      // the run's outcomes of BUFR
int out_not_written = -1;

bool has_magic(const char *filename) {
  char path[160];
  FILE_add_user_path(filename, path);
  FILE *f = std::fopen(path, "rb");
  if (!f) return false;
  char magic[4];
  const bool ok = std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic, "BUFR", 4) == 0;
  std::fclose(f);
  return ok;
}

SfcType detect(int first, const char *filename) {
  return first == 'B' && has_magic(filename) ? SfcType::bufr : SfcType::unknown;
}

// Is the file a run of whole BUFR messages (each with its length and its
// "7777" end)? Messages are only ever added after whole ones.
bool whole_messages(const char *path) {
  FILE *f = std::fopen(path, "rb");
  if (!f) return false;
  bool ok = true;
  long at = 0;
  unsigned char head[8];
  while (ok) {
    if (std::fseek(f, at, SEEK_SET) != 0) {
      ok = false;
      break;
    }
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    if (got == 0) break;  // the end, after whole messages (or none)
    if (got != sizeof head || std::memcmp(head, "BUFR", 4) != 0) {
      ok = false;
      break;
    }
    const long len = (long{head[4]} << 16) | (long{head[5]} << 8) | long{head[6]};
    unsigned char end[4];
    ok = len >= 8 + 4 && std::fseek(f, at + len - 4, SEEK_SET) == 0 && std::fread(end, 1, 4, f) == 4 &&
         std::memcmp(end, "7777", 4) == 0;
    at += len;
  }
  std::fclose(f);
  return ok;
}

int open(SfcFile &f, const char *filename) {
  switch (f.access) {
    case SfcAccess::read:
      MESS_print(kFail, "SFC_open: BUFR files are written, not read: %s\n", filename);
      return -1;
    case SfcAccess::create: break;
    case SfcAccess::append: {
      char path[160];
      FILE_add_user_path(filename, path);
      // An empty file (a run that wrote no message) is continued as BUFR.
      struct stat st;
      const bool empty = ::stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
      f.type = empty ? SfcType::bufr : static_cast<SfcType>(SFC_chktype(filename));
      if (f.type != SfcType::bufr) {
        MESS_print(kFail, "SFC_open: Not a BUFR file, not appended to: %s\n", filename);
        return -1;
      }
      if (!whole_messages(path)) {
        MESS_print(kFail, "SFC_open: BUFR file cut short or holding other data, not appended to: %s\n", filename);
        return -1;
      }
      break;
    }
  }
  if (BUFR_configure(&settings) != 0) return -1;
  if (out_written < 0) {
    out_written = SYN_add_outcome("BUFR messages written");
    out_not_written = SYN_add_outcome("not written to BUFR");
  }
  return SFC_stream_open(f, filename, f.access == SfcAccess::append ? "ab" : "wb", -1);
}

int put_header(SfcFile &f, SFC_info *info) {
  f.date = info->date;
  return 0;
}

int get_header(SfcFile &f, SFC_info *info) {
  if (f.access == SfcAccess::read) return -1;
  f.date = info->date;
  return 1;
}

const char *class_word(std::string_view c) {
  if (c == "BU") return "buoy";
  if (c == "DR") return "drifter";
  if (c == "UN") return "unknown class";
  return "other";
}

int write(SfcFile &f, const SFC_report &r, int /*rec*/) {
  if (f.lost) return 0;
  unsigned char msg[8192];
  const long len = BUFR_encode(r, settings, f.date, msg, sizeof msg);
  const bool ok = len > 0;
  if (len == 0) {
    const std::string_view c = report_class(r);
    bool told = false;
    for (const std::string &t : classes_told) told = told || t == c;
    if (!told) {
      classes_told.emplace_back(c);
      MESS_print(kFail, "SFC_write: BUFR takes land, CMAN and ship reports: %s reports not written to BUFR (%s)\n",
                 class_word(c), r.id);
    }
  }
  if (ok) SFC_stream_put(reinterpret_cast<const char *>(msg), static_cast<std::size_t>(len));
  SYN_count(kOutWritten, -1);
  SYN_count(ok ? out_written : out_not_written, 1);
  return 0;
}

int close(SfcFile & /*f*/, bool finish, bool keep) {
  if (finish) BUFR_out_of_range(true);
  return SFC_stream_close(keep);
}

}  // namespace

const SfcFormatOps kSfcBufrOps = {detect, open, put_header, get_header, write, close};
