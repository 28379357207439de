// Resource store, option catalogue, value conversions, help, and the
// decoding of defaults files, environment, controlling process and command
// line into the store.
#include "framework/resrc.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/date.hpp"
#include "framework/def_read.hpp"
#include "framework/files.hpp"
#include "framework/flag.hpp"
#include "framework/maptran.hpp"
#include "framework/mess.hpp"
#include "framework/missing.hpp"
#include "framework/mqueue.hpp"
#include "framework/region.hpp"
#include "framework/string.hpp"
#include "framework/system.hpp"

namespace {

constexpr M_type kLevPrint = 15;
constexpr M_type kLevList = 8;
constexpr M_type kLevFail = 192;
constexpr M_type kLevTrace = 0x80000000u;

constexpr int kMaxDefs = 78;     // rows of the definition table
constexpr int kOptNameLen = 49;  // option names are cut here
constexpr int kPathLen = 159;    // file-name texts of the system
constexpr int kPosAll = 10;      // position: every further positional word

// Flags set by the conversions.
constexpr int kFlagDevice = 2;
constexpr int kFlagPlotType = 11;
constexpr int kFlagFileParam = 15;
constexpr int kFlagBatch = 19;
constexpr int kFlagHelp = 20;

// ---------------------------------------------------------------- store

resource root_res{tv::kMissInt, nullptr, nullptr, CV_none, nullptr, RES_FROM_PROGRAM, nullptr};
resource *last_res = &root_res;
char empty_text[1] = "";
char zot_text[] = "ZOT";

int clargc = 0;
char **clargv = nullptr;

// A copy of `s` in memory of its own (malloc, as the store frees it).
char *dup_text(const char *s) {
  if (s == nullptr) return nullptr;
  std::size_t n = std::strlen(s) + 1;
  char *c = static_cast<char *>(std::malloc(n));
  if (c != nullptr) std::memcpy(c, s, n);
  return c;
}

// Every node by name, beside the list that keeps the order: a defaults file
// of many keys must not cost a walk of the whole list per key. The keys view
// the nodes' own names, which never change or go away. Like the nodes, it
// lives until the process ends (no destructor runs before the last lookup).
std::unordered_map<std::string_view, resource *> &res_index() {
  static auto *index = new std::unordered_map<std::string_view, resource *>();
  return *index;
}

resource *find_res(const char *name) {
  auto &index = res_index();
  auto it = index.find(name);
  return it == index.end() ? nullptr : it->second;
}

// A new node at the end of the list; null when it cannot be allocated.
resource *add_res(int index, const char *name, DEF_convert cvt) {
  resource *r = new (std::nothrow) resource{index, dup_text(name), nullptr, cvt, nullptr, RES_FROM_PROGRAM, nullptr};
  if (r == nullptr) return nullptr;
  bool indexed = false;
  if (r->name != nullptr) {
    try {
      indexed = res_index().emplace(r->name, r).second;
    } catch (const std::bad_alloc &) {
      indexed = false;
    }
  }
  if (!indexed) {
    std::free(r->name);
    delete r;
    return nullptr;
  }
  last_res->next = r;
  last_res = r;
  return r;
}

// The names of the defaults files values came from, kept for the whole run
// (nodes point into it); each file is entered once per reading.
const char *keep_source(const char *file) {
  static auto *sources = new std::deque<std::string>();
  if (file == nullptr) return nullptr;
  if (sources->empty() || sources->back() != file) sources->emplace_back(file);
  return sources->back().c_str();
}

// RES_new with the value's origin.
int set_value(int index, const char *name, const char *data, DEF_convert cvt, RES_origin origin,
              const char *source = nullptr) {
  if (name == nullptr) return -1;
  resource *r = find_res(name);
  if (r == nullptr && (r = add_res(index, name, cvt)) == nullptr) return -1;
  char *copy = dup_text(data);  // before the old value goes: data may be it
  std::free(r->data);
  r->data = copy;
  r->index = index;
  r->cvt = cvt;
  r->origin = origin;
  r->source = source;
  return 0;
}

// RES_append with the origin of the added part. A value joined from parts of
// several origins keeps the least trusted one.
int append_value(int index, const char *name, const char *data, DEF_convert cvt, RES_origin origin) {
  if (name == nullptr) return -1;
  resource *r = find_res(name);
  if (r == nullptr) return set_value(index, name, data, cvt, origin);
  if (data == nullptr) return 0;
  if (r->origin != RES_FROM_LOCAL) {
    r->origin = origin;
    r->source = nullptr;
  }
  if (r->data == nullptr) {
    r->data = dup_text(data);
    return 0;
  }
  std::size_t a = std::strlen(r->data), b = std::strlen(data);
  char *joined = static_cast<char *>(std::malloc(a + b + 2));
  if (joined == nullptr) return -1;
  std::memcpy(joined, r->data, a);
  joined[a] = '\n';
  std::memcpy(joined + a + 1, data, b + 1);
  std::free(r->data);
  r->data = joined;
  return 0;
}

// The modules below the store (process services, dates, file naming) read
// resources through hooks, as they may not include this module; installed
// here when the program starts.
const char *get_value(const char *name) { return RES_get(name); }
[[maybe_unused]] const bool hooks_installed = [] {
  ZOT_use_store({RES_put, RES_list});
  DATE_use_resources(get_value);
  FILE_use_resources({get_value, RES_getvals, RES_from_user});
  return true;
}();

// ------------------------------------------------------------ catalogue

struct CatRow {
  res_type id;
  const char *def;   // null: the identifier has no row
  const char *env;
  const char *cmd;   // null for a positional row
  int pos;
  DEF_convert cvt;
  const char *form;  // help: the value after "-cmd" ("" for a switch), or a positional row's text
  const char *desc;  // help: description
  const char *more;  // help: further lines, complete with newlines
};

constexpr CatRow none(res_type id) { return {id, nullptr, nullptr, nullptr, 0, CV_none, nullptr, nullptr, nullptr}; }
constexpr CatRow key(res_type id, const char *def, const char *env, const char *cmd, DEF_convert cvt,
                     const char *form, const char *desc, const char *more = nullptr) {
  return {id, def, env, cmd, 0, cvt, form, desc, more};
}
constexpr CatRow posn(res_type id, const char *def, const char *env, int pos, DEF_convert cvt,
                      const char *form, const char *desc) {
  return {id, def, env, nullptr, pos, cvt, form, desc, nullptr};
}
// The colour options of the plotting programs, and the data paths.
constexpr CatRow colour(res_type id, const char *def, const char *env, const char *cmd, const char *desc) {
  return key(id, def, env, cmd, CV_color, "color", desc);
}
constexpr CatRow path(res_type id, const char *def, const char *env, const char *cmd, const char *desc) {
  return key(id, def, env, cmd, CV_path, "path", desc);
}

constexpr const char *kMessMore =
    "               none,print,error,warn,mess,out1,*out2,out3,out4,debug\n";
constexpr const char *kDomainMore =
    "               (not decoded: this program always works without a map domain)\n";

// One row per identifier, in identifier order (checked below).
constexpr std::array<CatRow, 118> kCatalogue = {{
    none(RES_null),
    none(RES_age),
    colour(RES_background, "background", "zotback", "bg", "Background colour"),
    key(RES_batch, "batch", "zotbatch", "ba", CV_batch, "", "Run program in batch mode"),
    none(RES_bin_path),
    key(RES_bull_file, "bull_file", "zotbull", "bf", CV_string, "file", "Bulletin file name"),
    key(RES_city_file, "city_file", "zotcity", "cf", CV_string, "file", "City database file name"),
    none(RES_color_cgrid),
    colour(RES_color_clabel, "color_clabel", "zotcclabel", "ccl", "Contour label colour"),
    colour(RES_color_cloud, "color_cloud", "zotccloud", "ccd", "Cloud colour"),
    colour(RES_color_cmap, "color_cmap", "zotccmap", "ccm", "Colour map colour"),
    colour(RES_color_cont, "color_cont", "zotccont", "cco", "Contour colour"),
    none(RES_color_conts),
    colour(RES_color_data, "color_data", "zotcdata", "cda", "Data colour"),
    none(RES_color_echo),
    colour(RES_color_fill, "color_fill", "zotcfill", "cfi", "Fill colour"),
    colour(RES_color_front, "color_front", "zotcfront", "cfr", "Front colour"),
    colour(RES_color_grid, "color_grid", "zotcgrid", "cgr", "Grid colour"),
    colour(RES_color_hodo, "color_hodo", "zotchodo", "cho", "Hodograph colour"),
    colour(RES_color_hodtxt, "color_hodtxt", "zotchodtxt", "cht", "Hodograph text colour"),
    colour(RES_color_label, "color_label", "zotclabel", "cla", "Label colour"),
    none(RES_color_labels),
    colour(RES_color_line, "color_line", "zotcline", "cli", "Line colour"),
    colour(RES_color_map, "color_map", "zotcmap", "cma", "Map colour"),
    colour(RES_color_pop, "color_pop", "zotcpop", "cpo", "Precipitation probability colour"),
    none(RES_color_rep),
    colour(RES_color_sound, "color_sound", "zotcsound", "cso", "Sounding colour"),
    key(RES_color_table, "color_table", "zotctable", "ct", CV_string, "file", "Colour table file"),
    colour(RES_color_text, "color_text", "zotctext", "ctx", "Text colour"),
    colour(RES_color_therm, "color_therm", "zotctherm", "cth", "Thermodynamic diagram colour"),
    colour(RES_color_thrmtxt, "color_thrmtxt", "zotcthrmtxt", "ctt", "Thermodynamic diagram text colour"),
    colour(RES_color_wind, "color_wind", "zotcwind", "cwi", "Wind colour"),
    colour(RES_color_wx, "color_wx", "zotcwx", "cwx", "Weather colour"),
    posn(RES_command, "command", "zotcommand", kPosAll, CV_strings, "command [...]", "Commands to run"),
    key(RES_commands, "command", "zotcommand", "cd", CV_string, "command", "Command to run"),
    key(RES_con_base, "con_base", "zotcbase", "cb", CV_float, "value", "Contour base value"),
    none(RES_con_bases),
    key(RES_con_interval, "con_interval", "zotcint", "in", CV_float, "value", "Contour interval"),
    none(RES_con_intervals),
    path(RES_con_path, "con_path", "zotcon", "cp", "Converted data path"),
    key(RES_current, "current", "zotcurrent", "cu", CV_current, "[hour]", "Use current data file"),
    path(RES_data_path, "data_path", "zotdata", "dp", "Raw data path"),
    none(RES_data_src),
    none(RES_default),
    key(RES_draw, "draw", "zotdraw", "dr", CV_draw, "comp[,...]", "Draw components: text,data,sum,map,none"),
    key(RES_decode_hour, "decode_hour", "zotdecode", "dh", CV_string, "hour", "Actual hour to decode"),
    key(RES_device, "device", "zotdevice", "de", CV_device, "device", "Output device: d,p,q,w,m"),
    key(RES_file_param, "file_param", "zotfileparam", "pf", CV_file_param, "param", "File parameters: use,calc,over,app"),
    path(RES_file_path, "file_path", "zotfile", "fp", "File path"),
    posn(RES_filename, "filename", "zotfilename", 1, CV_strcpy, "file", "Input file name"),
    posn(RES_filenames, "filename", "zotfilename", kPosAll, CV_strings, "file [file...]", "Input file names"),
    key(RES_font_list, "font_list", "zotfont", "fl", CV_string, "fonts", "Font list"),
    key(RES_forecast, "forecast", "zotfcst", "fc", CV_string, "hour", "Forecast hour"),
    key(RES_geometry, "geometry", "zotgeom", "ge", CV_string, "geom", "Window geometry"),
    key(RES_grid_num, "grid_num", "zotgnum", "gn", CV_string, "num", "Grid number"),
    path(RES_grid_path, "grid_path", "zotgrid", "gp", "Gridded data path"),
    key(RES_grid_type, "grid_type", "zotgtype", "gt", CV_int, "type", "Grid type"),
    key(RES_help, "help", "zothelp", "h", CV_help, "", "Print this help"),
    key(RES_hour, "hour", "zothour", "ho", CV_hour, "hour", "Actual hour of the file"),
    key(RES_icon, "icon", "zoticon", "ic", CV_bool, "", "Start as an icon"),
    key(RES_identifier, "identifier", "zotident", "id", CV_string, "ident", "Specific station identifier"),
    none(RES_identifiers),
    none(RES_identifierp),
    key(RES_image_path, "image_path", "zotimage", "ip", CV_string, "path", "Image file path"),
    key(RES_in_file, "in_file", "zotinfile", "if", CV_string, "type", "Input data file type"),
    key(RES_in_files, "in_file", "zotinfile", "if", CV_string, "type[,...]", "Input data file types"),
    none(RES_ingest_port),
    key(RES_ingestor, "ingestor", "zotingest", "ing", CV_ingestor, "name", "Ingestor name"),
    key(RES_input, "input", "zotin", "in", CV_string, "type", "Type of input"),
    key(RES_label, "label", "zotlabel", "la", CV_string, "text", "Plot label"),
    none(RES_labels),
    key(RES_level, "level", "zotlevel", "le", CV_string, "level", "Vertical level"),
    key(RES_map_file, "map_file", "zotmap", "mf", CV_string, "file", "Map file name"),
    key(RES_message, "message", "zotmess", "me", CV_mess, "level", "Message level to be displayed:", kMessMore),
    key(RES_model, "model", "zotmodel", "mo", CV_string, "model", "Model name"),
    none(RES_name),
    key(RES_name_conv, "name_conv", "zotnameconv", "nc", CV_name, "type", "Naming convention file name"),
    none(RES_num_grid),
    key(RES_num_hour, "num_hour", "zotnumhour", "nh", CV_string, "hour[,step]", "Number of hours to view"),
    key(RES_object_param, "object_param", "zotobject", "op", CV_string, "param", "Object parameters"),
    key(RES_out_file, "out_file", "zotoutfile", "of", CV_string, "type", "Output file type"),
    none(RES_out_files),
    key(RES_output, "output", "zotout", "ou", CV_string, "type", "Type of output"),
    key(RES_parameter, "parameter", "zotparam", "pa", CV_string, "param[,...]", "Program parameters"),
    key(RES_plot_domain, "plot_domain", "zotpdomain", "pd", CV_domain, "domain", "Plot domain", kDomainMore),
    key(RES_plot_format, "plot_format", "zotpformat", "fo", CV_string, "format", "Plot format"),
    key(RES_plot_param, "plot_param", "zotpparam", "pp", CV_string, "param", "Plot parameters"),
    none(RES_plot_range),
    key(RES_plot_scale, "plot_scale", "zotpscale", "ps", CV_string, "scale", "Plot scale"),
    key(RES_plot_type, "plot_type", "zotptype", "pl", CV_plot_type, "type", "Plot type: cf,lcf,ln,dln,ndln,value,none"),
    none(RES_plot_types),
    none(RES_position),
    key(RES_product, "product", "zotprod", "pro", CV_string, "name", "Product name"),
    none(RES_program),
    path(RES_raw_path, "raw_path", "zotraw", "rp", "Raw files path"),
    none(RES_read_conf),
    key(RES_region, "region", "zotregion", "re", CV_region, "region", "Map region", kDomainMore),
    none(RES_save_param),
    key(RES_stat_prior, "stat_prior", "zotprior", "pr", CV_int, "prior", "Priority of stations used in the plot"),
    key(RES_state, "state", "zotstate", "st", CV_string, "state", "State or province"),
    key(RES_table, "table", "zottable", "ta", CV_bool, "", "Print a table"),
    key(RES_time, "time", "zottime", "ti", CV_string, "time", "Time of the data"),
    key(RES_title, "title", "zottitle", "tt", CV_string, "title", "Window title"),
    none(RES_unit),
    posn(RES_values, "value", "zotvalue", kPosAll, CV_strings, "value [value...]", "Values"),
    key(RES_variable, "variable", "zotvar", "va", CV_string, "var", "Variable name"),
    path(RES_watch_path, "watch_path", "zotwatch", "wp", "Watch file data path"),
    key(RES_window_num, "window_num", "zotwindow", "wn", CV_int, "num", "Window number"),
    colour(RES_color_watch, "color_watch", "zotcwatch", "cwa", "Watch colour"),
    key(RES_log_file, "log_file", "zotlog", "lf", CV_string, "file", "Log file name"),
    key(RES_grid_domain, "grid_domain", "zotgdomain", "gd", CV_domain, "domain", "Grid domain", kDomainMore),
    key(RES_inputg, "input", "zotin", "inp", CV_string, "type", "Type of input"),
    path(RES_text_path, "text_path", "zottext", "tp", "Text file path"),
    path(RES_model_path, "model_path", "zotmpath", "mp", "Model file path"),
    path(RES_sat_path, "sat_path", "zotsat", "sp", "Satellite file path"),
    key(RES_cf_deflate, "cf_deflate", "zotcfdeflate", "cfd", CV_int, "level",
        "Deflate level of cf output, 0 to 9 (default 1)"),
    key(RES_institution, "institution", "zotinstitution", "inst", CV_string, "name",
        "Institution named in cf output"),
    key(RES_bufr_packer, "bufr_packer", "zotbufrpacker", "bp", CV_string, "packer",
        "Packer of bufr output: own (default) or eccodes"),
}};

constexpr bool catalogue_in_order() {
  for (std::size_t i = 0; i < kCatalogue.size(); ++i)
    if (static_cast<std::size_t>(kCatalogue[i].id) != i) return false;
  return true;
}
static_assert(catalogue_in_order(), "catalogue rows must follow the identifier order");

const CatRow *cat_row(res_type key) {
  auto i = static_cast<std::size_t>(key);
  if (i >= kCatalogue.size() || kCatalogue[i].def == nullptr) return nullptr;
  return &kCatalogue[i];
}

// ----------------------------------------------------------- conversions

using tv::ibegins;
using tv::iequal;
using tv::is_digit;
using tv::is_letter;
using tv::to_lower;

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a decimal integer the way "%Nd" does (leading white space, an
// optional sign, at most `width` characters of sign and digits; width 0 =
// no limit), saturating instead of overflowing. False when no digit.
bool scan_int(const char *&p, int width, int *out) {
  const char *s = p;
  while (is_space(*s)) ++s;
  int used = 0;
  bool neg = false;
  if (*s == '+' || *s == '-') {
    neg = *s == '-';
    ++s;
    ++used;
  }
  long long v = 0;
  int digits = 0;
  while (is_digit(*s) && (width == 0 || used < width)) {
    if (v < INT_MAX) v = v * 10 + (*s - '0');
    ++s;
    ++used;
    ++digits;
  }
  if (digits == 0) return false;
  if (v > INT_MAX) v = INT_MAX;
  *out = static_cast<int>(neg ? -v : v);
  p = s;
  return true;
}

// Matches one literal character of a scan format.
bool scan_lit(const char *&p, char c) {
  if (*p != c) return false;
  ++p;
  return true;
}

// The file time of the "hour" resource, by the first form that fits.
void conv_hour(const char *data) {
  Date d = kNoDate;
  const std::size_t len = std::strlen(data);
  const bool colon = std::strchr(data, ':') != nullptr;
  const char *p = data;
  if (data[0] == '#' && is_digit(data[1])) {  // #yyyy[mm[dd[hh[nn]]]]
    ++p;
    scan_int(p, 4, &d.year);
    int *rest[] = {&d.month, &d.day, &d.hour, &d.min};
    for (int *f : rest) {
      if (!is_digit(*p)) break;
      scan_int(p, 2, f);
    }
  } else if (len == 6 && !colon) {  // mmddhh
    (void)(scan_int(p, 2, &d.month) && scan_int(p, 2, &d.day) && scan_int(p, 2, &d.hour));
  } else if (len == 4 && is_digit(data[0]) && !colon) {  // ddhh
    (void)(scan_int(p, 2, &d.day) && scan_int(p, 2, &d.hour));
  } else if (len == 3 && is_digit(data[0]) && !colon) {  // dhh
    (void)(scan_int(p, 1, &d.day) && scan_int(p, 2, &d.hour));
  } else if (std::strchr(data, 'd') != nullptr) {  // DdH:M
    (void)(scan_int(p, 0, &d.day) && scan_lit(p, 'd') && scan_int(p, 0, &d.hour) && scan_lit(p, ':') &&
           scan_int(p, 0, &d.min));
  } else if (data[0] == ':') {
    ++p;
    scan_int(p, 0, &d.min);
  } else if (data[0] == '-' && data[1] == ':') {
    p += 2;
    if (scan_int(p, 0, &d.min)) d.min = -d.min;
  } else {  // H:M
    (void)(scan_int(p, 0, &d.hour) && scan_lit(p, ':') && scan_int(p, 0, &d.min));
    if (data[0] == '-' && d.hour == 0) {
      // "-0:30": a minute offset alone; a minute never read stays missing.
      d.hour = tv::kMissInt;
      if (d.min != tv::kMissInt) d.min = -d.min;
    }
  }
  FILE_set_time(&d);
}

void conv_file_param(const char *data) {
  if (iequal(data, "use") || iequal(data, "reuse"))
    FLAG_set(kFlagFileParam, 3);
  else if (iequal(data, "over") || iequal(data, "calc") || iequal(data, "recalc"))
    FLAG_set(kFlagFileParam, 1);
  else if (iequal(data, "app"))
    FLAG_set(kFlagFileParam, 2);
}

struct PlotTypeCode {
  const char *word;
  int code;
};
constexpr PlotTypeCode kPlotTypes[] = {
    {"raw", 0},    {"none", 99},   {"value", 17},  {"gvalue", 17}, {"cf", 15},    {"lcf", 16},
    {"ln", 12},    {"dln", 13},    {"ndln", 14},   {"vect", 21},   {"barb", 22},  {"strm", 23},
    {"stream", 23}, {"an", 54},    {"number", 54}, {"pm", 55},     {"skewt", 62}, {"ema", 63},
    {"teph", 64},  {"rteph", 65},  {"stuve", 61},  {"hodo", 69},
};

void conv_plot_type(const char *data) {
  for (const auto &t : kPlotTypes)
    if (iequal(data, t.word)) {
      FLAG_set(kFlagPlotType, t.code);
      return;
    }
}

// Plot switch of each draw item ("text" is handled apart).
struct DrawItem {
  const char *word;
  int sw;
};
constexpr DrawItem kDrawItems[] = {
    {"text_ul", 1}, {"text_uc", 2}, {"text_ur", 3}, {"text_ll", 4}, {"text_lc", 5}, {"text_lr", 6},
    {"sum", 10},    {"data", 7},    {"grid", 9},    {"map", 8},     {"bord", 11},
};

void conv_draw(const char *data) {
  std::string_view rest(data);
  bool first = true;
  while (!rest.empty() || first) {
    std::size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    int val = 1;
    bool sign = !item.empty() && (item[0] == '+' || item[0] == '-');
    if (sign) {
      val = item[0] == '+' ? 1 : 0;
      item.remove_prefix(1);
    }
    if (first && !sign) FLAG_resetplot(0);
    first = false;
    if (iequal(item, "none")) {
      FLAG_setplot(12, 0);
    } else if (iequal(item, "all")) {
      FLAG_setplot(12, 1);
    } else if (iequal(item, "text")) {
      FLAG_setplot(0, val);
      FLAG_setplot(11, val);
    } else {
      for (const auto &d : kDrawItems)
        if (iequal(item, d.word)) FLAG_setplot(d.sw, val);
    }
  }
}

template <typename T>
void store(char *out, T v) {
  std::memcpy(out, &v, sizeof v);
}

void conv_int(const char *data, char *out) {
  char c = data[0];
  if (!is_digit(c) && c != '-' && c != '+') return;
  char *end = nullptr;
  errno = 0;
  if (data[1] == 'x' || data[1] == 'X') {
    unsigned long long v = std::strtoull(data, &end, 16);
    if (end == data) return;
    // Hexadecimal is a bit pattern: up to 32 bits are kept as they are.
    if (errno == ERANGE || v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
    store(out, static_cast<int>(static_cast<std::uint32_t>(v)));
  } else {
    long long v = std::strtoll(data, &end, 10);
    if (end == data) return;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    store(out, static_cast<int>(v));
  }
}

void conv_short(const char *data, char *out) {
  if (!is_digit(data[0])) return;
  long long v = std::strtoll(data, nullptr, 10);
  if (v > SHRT_MAX) v = SHRT_MAX;
  store(out, static_cast<short>(v));
}

void conv_int64(const char *data, char *out) {
  char *end = nullptr;
  long long v = std::strtoll(data, &end, 10);  // saturates at the limits
  if (end != data) store(out, static_cast<std::int64_t>(v));
}

void conv_float(const char *data, char *out) {
  char *end = nullptr;
  float v = std::strtof(data, &end);
  if (end != data) store(out, v);
}

// A newly allocated copy with a trailing '/' ("none": an empty text).
void conv_path(const char *data, char *out) {
  const bool none_word = iequal(data, "none");
  std::size_t len = none_word ? 0 : std::strlen(data);
  const std::size_t min_room = kPathLen + 1;
  std::size_t room = len + 2 > min_room ? len + 2 : min_room;
  char *copy = static_cast<char *>(std::calloc(room, 1));
  if (copy == nullptr) return;
  std::memcpy(copy, data, len);
  FILE_add_path_delim(copy);
  store(out, copy);
}

int conv_device(const char *data, char *out) {
  std::string_view text(data);
  std::size_t comma = text.find(',');
  std::string_view first = text.substr(0, comma);
  // Only the first character of the first item decides the class.
  FLAG_set(kFlagDevice, first.empty() ? 1 : RES_set_device(data));
  if (comma != std::string_view::npos) {
    std::size_t more = text.find_first_not_of(',', comma);
    if (more != std::string_view::npos) store(out, data + comma + 1);
  }
  return 1;
}

// --------------------------------------------------------------- decoding

RES_defobj def_table[kMaxDefs + 1];

// Number of dashes of an option word ("-x" or "--x"), 0 for no option.
int option_dashes(const char *arg) {
  if (arg[0] != '-') return 0;
  if (is_letter(arg[1])) return 1;
  if (arg[1] == '-' && is_letter(arg[2])) return 2;
  return 0;
}

// One option word, split into its name and value.
struct Option {
  char name[kOptNameLen + 1];
  const char *value;
  bool from_next;  // the value is the next argument
};

// The value after "=" is taken from the whole argument, so a long value
// is never cut with the name. The next argument is a value unless it is an
// option itself or the "--" marker.
Option parse_option(int i, int argc, char **argv) {
  Option o{};
  const char *body = argv[i] + option_dashes(argv[i]);
  const char *eq = std::strchr(body, '=');
  std::size_t n = eq ? static_cast<std::size_t>(eq - body) : std::strlen(body);
  if (n > static_cast<std::size_t>(kOptNameLen)) n = kOptNameLen;
  std::memcpy(o.name, body, n);
  o.name[n] = '\0';
  if (eq != nullptr) {
    o.value = eq + 1;
  } else if (i + 1 < argc && argv[i + 1] != nullptr && option_dashes(argv[i + 1]) == 0 &&
             std::strcmp(argv[i + 1], "--") != 0) {
    o.value = argv[i + 1];
    o.from_next = true;
  }
  return o;
}

bool is_name_abbrev(std::string_view name, bool icase) {
  if (name.empty() || name.size() > 4) return false;
  return icase ? ibegins("name", name) : std::string_view("name").substr(0, name.size()) == name;
}

bool is_default_opt(std::string_view name, bool icase) {
  if (icase) return ibegins(name, "default") || ibegins(name, "df");
  return name.substr(0, 7) == "default" || name.substr(0, 2) == "df";
}

// The definition row of an option: spelling, then full name, then the
// earliest name that the option abbreviates. -1 for none.
int find_row(const RES_defobj *table, const char *name) {
  for (int i = 0; table[i].def; ++i)
    if (table[i].cmd && stricmp(table[i].cmd, name) == 0) return i;
  for (int i = 0; table[i].def; ++i)
    if (table[i].cmd && table[i].def[0] && stricmp(table[i].def, name) == 0) return i;
  if (is_name_abbrev(name, true) || is_default_opt(name, true)) return -1;
  for (int i = 0; table[i].def; ++i)
    if (table[i].cmd && table[i].def[0] && ibegins(table[i].def, name)) return i;
  return -1;
}

// The open link to a controlling process.
struct Link {
  int qid = -1;
  int conn = -1;
  bool open() const { return conn >= 0; }
};
Link link;

void read_until_done() {
  char item[kMqTextLen + 1];
  while (MQ_get(link.qid, link.conn, item) == 0) {
  }
}

void close_link() {
  if (!link.open()) return;
  MQ_put(link.qid, link.conn, "quit");
  read_until_done();
  link = Link{};
}

// Phase 6: resources from and to the controlling process behind `key`.
void exchange(const char *key_text, const RES_defobj *table) {
  char *end = nullptr;
  errno = 0;
  long key = std::strtol(key_text, &end, 10);
  if (end == key_text || errno == ERANGE || key < INT_MIN || key > INT_MAX) key = -1;
  close_link();  // one connection at a time
  int qid = MQ_open(static_cast<int>(key));
  if (qid < 0) {
    MESS_print(kLevFail, "ZEDiziv window: %s not running or no message queue exists\n", key_text);
    return;
  }
  int conn = MQ_connect(qid);
  if (conn < 0) {
    MESS_print(kLevFail, "ZEDiziv window: %s unable to connect\n", key_text);
    return;
  }
  link.qid = qid;
  link.conn = conn;
  for (int i = 0; table[i].def; ++i)
    if (table[i].def[0]) MQ_put(qid, conn, "query res %s", table[i].def);
  int sets = 0;
  char item[kMqTextLen + 1];
  for (int i = 0; table[i].def; ++i) {
    if (!table[i].def[0]) continue;
    bool got = false;
    int code;
    while ((code = MQ_get(qid, conn, item)) == 0) {
      if (item[0] == '\0' || item[0] == '!' || item[0] == '\n') continue;
      std::size_t n = std::strlen(item);
      if (item[n - 1] == '\n') item[n - 1] = '\0';
      set_value(i, table[i].def, item, table[i].cvt, RES_FROM_QUEUE);
      got = true;
    }
    if (!got) {
      resource *r = find_res(table[i].def);
      if (r && r->data) {
        MQ_put(qid, conn, "set res %s %s", table[i].def, r->data);
        ++sets;
      }
    }
    if (code == -3) MESS_print(kLevFail, "ZEDiziv not running!\n");
  }
  std::signal(SIGALRM, SIG_IGN);
  for (; sets > 0; --sets) read_until_done();
}

// Phase 4c: the entries of one defaults file. A file in the current
// directory may have been left there by anyone (a feed directory, a shared
// work area): a value from it that holds a "|" could run a command as a
// file name, a log file or a template, so it is refused and said so.
void read_defaults(const char *file, const RES_defobj *table) {
  if (DEF_open(file) != 0) return;
  const bool local = DEF_file_local() != 0;
  const RES_origin origin = local ? RES_FROM_LOCAL : RES_FROM_DEFAULTS;
  const char *source = keep_source(DEF_file_name());
  char key[kDefKeyLen + 1];
  char value[kDefValueLen + 1];
  while (DEF_get(key, value) == 1) {
    if (local && std::strchr(value, '|') != nullptr) {
      bool applies = DEF_valid(key) != 0;
      for (int i = 0; !applies && table[i].def; ++i) applies = table[i].def[0] && DEF_cmp(table[i].def, key);
      if (applies)
        MESS_print(kLevFail,
                   "RES_decode: Command refused, value ignored: %s in %s (a defaults file in the current "
                   "directory)\n",
                   key, source ? source : "");
      continue;
    }
    bool matched = false;
    for (int i = 0; table[i].def; ++i) {
      if (!table[i].def[0] || !DEF_cmp(table[i].def, key)) continue;
      if (MESS_check(kLevTrace)) MESS_print(kLevTrace, "RESRC: %s=%s\n", key, value);
      set_value(i, table[i].def, value, table[i].cvt, origin, source);
      matched = true;
    }
    if (!matched && DEF_valid(key)) {
      char name[kDefKeyLen + 1];
      DEF_parse_name(key, name);
      set_value(tv::kMissInt, name, value, CV_string, origin, source);
    }
  }
  DEF_close();
}

// ----------------------------------------------------------- wrong words

int usage_errors = 0;  // wrong words of the command line

// Warnings about unknown options, printed once the message level of the
// command line is in force.
std::vector<std::string> &unknown_options() {
  static auto *list = new std::vector<std::string>();
  return *list;
}

// Edits from `a` to `b`, ignoring case: an insertion, a deletion, a change
// or a swap of two neighbours costs one. Long texts are never near.
std::size_t word_distance(std::string_view a, std::string_view b) {
  constexpr std::size_t kMax = 64;
  if (a.size() > kMax || b.size() > kMax) return SIZE_MAX;
  std::array<std::array<std::size_t, kMax + 1>, kMax + 1> d{};
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = to_lower(a[i - 1]) == to_lower(b[j - 1]) ? 0 : 1;
      std::size_t v = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && to_lower(a[i - 1]) == to_lower(b[j - 2]) && to_lower(a[i - 2]) == to_lower(b[j - 1]))
        v = std::min(v, d[i - 2][j - 2] + 1);
      d[i][j] = v;
    }
  }
  return d[a.size()][b.size()];
}

// Finds the candidate nearest to a word; a candidate fewer edits away than
// the word has characters is a likely slip worth naming.
class Nearest {
 public:
  explicit Nearest(std::string_view word) : word_(word) {}
  // `shown`, after `sign`, is what names the candidate; both views must
  // outlive the search.
  void offer(std::string_view candidate, std::string_view shown, std::string_view sign = {}) {
    const std::size_t d = word_distance(sign.empty() ? word_ : word_.substr(sign.size()), candidate);
    if (d < best_) {
      best_ = d;
      sign_ = sign;
      shown_ = shown;
    }
  }
  // Takes `shown` outright: the word is `key` with a wrong form after it.
  void take(std::string_view shown) {
    best_ = 0;
    sign_ = {};
    shown_ = shown;
  }
  // Copied by hand: g++ 12 in Release builds warns falsely (-Wrestrict) on
  // a string assigned and then appended to.
  std::string result() const {
    if (best_ >= std::max<std::size_t>(word_.size(), 2)) return {};
    std::string out(sign_.size() + shown_.size(), ' ');
    std::copy(sign_.begin(), sign_.end(), out.begin());
    std::copy(shown_.begin(), shown_.end(), out.begin() + static_cast<std::ptrdiff_t>(sign_.size()));
    return out;
  }

 private:
  std::string_view word_;
  std::size_t best_ = SIZE_MAX;
  std::string_view sign_;
  std::string_view shown_;
};

// The valid word nearest to `word`: a leading "+" or "-" may be a sign, and
// a word that begins with the key of an entry with a form ("range=abc")
// names that entry.
std::string nearest_word(std::string_view word, std::string_view valid) {
  Nearest n(word);
  std::string_view sign;
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) sign = word.substr(0, 1);
  while (!valid.empty()) {
    const std::size_t comma = valid.find(',');
    const std::string_view entry = valid.substr(0, comma);
    valid = comma == std::string_view::npos ? std::string_view() : valid.substr(comma + 1);
    const std::string_view key = entry.substr(0, entry.find_first_of("=["));
    if (key.empty()) continue;
    if (key.size() < entry.size() && word.size() > key.size() && ibegins(word, key) &&
        !is_letter(word[key.size()]) && !is_digit(word[key.size()])) {
      n.take(entry);
      break;
    }
    n.offer(key, entry);
    if (!sign.empty()) n.offer(key, entry, sign);
  }
  return n.result();
}

// The accepted option nearest to an unknown one, by spelling or full name.
std::string nearest_option(const RES_defobj *table, std::string_view name) {
  Nearest n(name);
  for (int i = 0; table[i].def; ++i) {
    if (!table[i].cmd || !table[i].def[0]) continue;
    n.offer(table[i].cmd, table[i].cmd);
    n.offer(table[i].def, table[i].def);
  }
  for (const char *own : {"df", "default", "na", "name"}) n.offer(own, own);
  return n.result();
}

// An option that no definition matches is stored as the framework has it,
// without a value: nothing tells whether it takes one, so the word after
// it is read as the next argument (a file name), as after a switch.
void note_unknown_option(const RES_defobj *table, const char *arg, const Option &o, const char *next) {
  std::string text = "RES_decode: Unknown option: ";
  text.append(arg, static_cast<std::size_t>(option_dashes(arg)));
  text.append(o.name);
  const std::string near = nearest_option(table, o.name);
  if (!near.empty()) {
    text.append(" (did you mean -");
    text.append(near);
    text.append("?)");
  }
  if (next != nullptr) {
    text.append("; the word after it, ");
    text.append(next);
    text.append(", is not its value (write -");
    text.append(o.name);
    text.append("=value)");
  }
  text.append("\n");
  unknown_options().push_back(std::move(text));
}

constexpr const char *kFileParamWords = "use,reuse,over,calc,recalc,app";
constexpr const char *kMessageWords =
    "none,print,error,warn,mess,out1,out2,out3,out4,debug,page,nopage,line=N,"
    "fi=FILE,+fi=FILE,-fi=FILE,@fi=FILE,dfi=FILE";

bool known_file_param(const char *data) {
  for (const char *w : {"use", "reuse", "over", "calc", "recalc", "app"})
    if (iequal(data, w)) return true;
  return false;
}

// Phase 7: the options and positional words of the command line.
void second_pass(int argc, char **argv, const RES_defobj *table) {
  int npos = 0;
  for (int i = 1; i < argc; ++i) {
    const char *arg = argv[i];
    if (arg == nullptr || std::strcmp(arg, "--") == 0) continue;
    if (option_dashes(arg) > 0) {
      Option o = parse_option(i, argc, argv);
      if (o.from_next) ++i;
      if (is_name_abbrev(o.name, true) || is_default_opt(o.name, true)) continue;
      int row = find_row(table, o.name);
      if (row < 0) {
        const char *next = nullptr;
        if (o.from_next) {
          next = argv[i];
          --i;  // read again, as the next argument
          o.value = nullptr;
        }
        set_value(tv::kMissInt, o.name, o.value, CV_string, RES_FROM_COMMAND);
        note_unknown_option(table, arg, o, next);
        continue;
      }
      const DEF_convert cvt = table[row].cvt;
      if (o.from_next && (cvt == CV_bool || cvt == CV_batch || cvt == CV_help)) {
        --i;  // the word after a switch is read again
        o.value = nullptr;
      }
      set_value(row, table[row].def, o.value, cvt, RES_FROM_COMMAND);
      if (link.open()) {
        MQ_put(link.qid, link.conn, "set res %s %s", table[row].def, o.value ? o.value : "");
        read_until_done();
      }
      continue;
    }
    ++npos;
    int row = -1;
    for (int k = 0; table[k].def && row < 0; ++k)
      if (!table[k].cmd && table[k].pos == npos) row = k;
    for (int k = 0; table[k].def && row < 0; ++k)
      if (!table[k].cmd && table[k].pos == kPosAll) row = k;
    if (row < 0) continue;
    if (table[row].pos == kPosAll && npos >= 2)
      append_value(row, table[row].def, arg, table[row].cvt, RES_FROM_COMMAND);
    else
      set_value(row, table[row].def, arg, table[row].cvt, RES_FROM_COMMAND);
  }
}

// RES_conv_data of a stored value; a log file named by a value that is not
// the user's never runs a command.
int convert(const resource *r, char *out, DEF_convert cvt) {
  if (cvt == CV_mess && r->data != nullptr) {
    MESS_set_str_from(r->data, r->origin != RES_FROM_LOCAL);
    return 1;
  }
  return RES_conv_data(r->data, out, cvt);
}

// Phase 9 for a message setting. An unknown word would set the level to
// nothing and silence every message, the report of the mistake included:
// from the command line the setting is not applied and the run ends; from
// elsewhere the setting is applied without its unknown words.
void convert_message(const resource *r) {
  int argc = 0;
  char **argv = nullptr;
  parse_string(r->data, ',', &argc, &argv);
  std::string known;
  bool wrong = false, error = false;
  for (int k = 0; k < argc; ++k) {
    if (MESS_known_word(argv[k])) {
      if (!known.empty()) known.push_back(',');
      known.append(argv[k]);
    } else {
      wrong = true;
      error = RES_bad_word("RES_decode", r->name, argv[k], kMessageWords) != 0 || error;
    }
  }
  free_parsed_array(argc, argv);
  if (!wrong)
    convert(r, nullptr, CV_mess);
  else if (!error && !known.empty())
    MESS_set_str_from(known.c_str(), r->origin != RES_FROM_LOCAL);
}

}  // namespace

// ------------------------------------------------------------------ store

int RES_new(int index, const char *name, const char *data, DEF_convert cvt) {
  return set_value(index, name, data, cvt, RES_FROM_PROGRAM);
}

int RES_append(int index, const char *name, const char *data, DEF_convert cvt) {
  return append_value(index, name, data, cvt, RES_FROM_PROGRAM);
}

int RES_put(const char *name, const char *value) { return RES_new(tv::kMissInt, name, value, CV_string); }

char *RES_get(const char *name) {
  if (name == nullptr) return nullptr;
  resource *r = find_res(name);
  if (r == nullptr) return nullptr;
  return r->data ? r->data : empty_text;
}

int RES_getval(const char *name, void *out, DEF_convert cvt) {
  if (name == nullptr || out == nullptr) return 0;
  resource *r = find_res(name);
  if (r == nullptr) return 0;
  return convert(r, static_cast<char *>(out), cvt);
}

int RES_getvals(const char *name, int *paramc, char ***paramv) {
  if (paramc == nullptr || paramv == nullptr) return 0;
  *paramc = 0;
  *paramv = nullptr;
  resource *r = name ? find_res(name) : nullptr;
  if (r == nullptr || r->data == nullptr) return 0;
  parse_string(r->data, r->cvt == CV_strings ? '\n' : ',', paramc, paramv);
  return *paramc;
}

int RES_list() {
  for (resource *r = root_res.next; r != nullptr; r = r->next) {
    if (r->data)
      MESS_print(kLevList, "%s: %s\n", r->name, r->data);
    else
      MESS_print(kLevList, "%s:\n", r->name);
  }
  return 0;
}

RES_origin RES_get_origin(const char *name) {
  resource *r = name ? find_res(name) : nullptr;
  return r ? r->origin : RES_FROM_PROGRAM;
}

const char *RES_get_source(const char *name) {
  resource *r = name ? find_res(name) : nullptr;
  return r ? r->source : nullptr;
}

int RES_from_user(const char *name) {
  resource *r = name ? find_res(name) : nullptr;
  return (r != nullptr && r->origin != RES_FROM_LOCAL) ? 1 : 0;
}

int RES_bad_word(const char *func, const char *name, const char *word, const char *valid) {
  if (func == nullptr || name == nullptr || word == nullptr) return 0;
  if (valid == nullptr) valid = "";
  const std::string near = nearest_word(word, valid);
  std::string hint;
  if (!near.empty()) hint.append(" (did you mean ").append(near).append("?)");
  resource *r = find_res(name);
  const RES_origin origin = r ? r->origin : RES_FROM_PROGRAM;
  if (origin == RES_FROM_COMMAND) {
    ++usage_errors;
    MESS_print(kLevFail, "%s: Unknown word in %s: %s%s; valid words: %s\n", func, name, word, hint.c_str(),
               valid);
    return 1;
  }
  const char *from = nullptr;
  if (origin == RES_FROM_ENV) from = "the environment";
  else if (origin == RES_FROM_QUEUE) from = "the controlling process";
  else if (r != nullptr && r->source != nullptr) from = r->source;
  if (from != nullptr)
    MESS_print(kLevFail, "%s: Unknown word in %s from %s, ignored: %s%s; valid words: %s\n", func, name, from,
               word, hint.c_str(), valid);
  else
    MESS_print(kLevFail, "%s: Unknown word in %s, ignored: %s%s; valid words: %s\n", func, name, word,
               hint.c_str(), valid);
  return 0;
}

int RES_usage_errors() { return usage_errors; }

int RES_setCL(int argc, char **argv) {
  clargc = argc;
  clargv = argv;
  return 1;
}

char *RES_get_prog() { return (clargc > 0 && clargv != nullptr) ? clargv[0] : nullptr; }

int RES_get_args(char ***argv) {
  if (argv) *argv = clargv;
  return clargv ? clargc : 0;
}

char *RES_get_progname(char *prog) {
  const char *full = RES_get_prog();
  const char *base = zot_text;
  if (full != nullptr) {
    const char *slash = std::strrchr(full, '/');
    base = slash ? slash + 1 : full;
  }
  if (prog != nullptr) {
    tv::copy_text(prog, kPathLen + 1, base);
    return prog;
  }
  char *copy = dup_text(base);
  return copy ? copy : zot_text;
}

int RES_fill_obj(RES_defobj *obj, const char *def, const char *env, const char *cmd, DEF_convert cvt,
                 char *out, int *num) {
  if (obj == nullptr) return 0;
  obj->def = def;
  obj->env = env;
  obj->cmd = cmd;
  obj->pos = 0;
  obj->cvt = cvt;
  obj->out = out;
  obj->num = num;
  return 1;
}

// ---------------------------------------------------------------- decoding

int RES_init(int argc, char **argv, res_type *res_key, res_type *res_pos) {
  ZOT_catch_sigpipe();  // before a log pipe can be opened
  FLAG_reset(tv::kMissInt);
  int n = 0;
  bool full = false;
  for (res_type *list : {res_key, res_pos}) {
    for (res_type *p = list; p != nullptr && *p != RES_null; ++p) {
      if (n == kMaxDefs) {
        full = true;
        break;
      }
      RES_enter(&def_table[n++], *p);
    }
  }
  if (full) MESS_print(kLevFail, "RES_init: Too many resource definitions\n");
  def_table[n] = RES_defobj{};
  RES_decode(argc > 0 && argv ? argv[0] : nullptr, "Zot", argc, argv, def_table);
  if (const char *tz = std::getenv("zottz")) DATE_set_TZ(tz);
  return 1;
}

namespace {

// Phase 3: "name" and "default" come before any defaults file is read.
void take_early_options(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr || option_dashes(argv[i]) == 0) continue;
    Option o = parse_option(i, argc, argv);
    if (o.from_next) ++i;
    if (o.value == nullptr) continue;
    if (is_name_abbrev(o.name, false)) {
      set_value(tv::kMissInt, "name", o.value, CV_string, RES_FROM_COMMAND);
      DEF_name(o.value);
    } else if (is_default_opt(o.name, false)) {
      set_value(tv::kMissInt, "default", o.value, CV_string, RES_FROM_COMMAND);
    }
  }
}

// Phase 4: the defaults sources along the defaults path: "+tag" defines a
// tag, "#key" is a controlling process (phase 6), anything else a file or
// directory.
void read_defaults_path(const RES_defobj *table) {
  const char *path = RES_get("default");
  if (path == nullptr) path = ".:/home/zot/etc:/usr/local/zot/etc";
  int nel = 0;
  char **el = nullptr;
  parse_string(path, ':', &nel, &el);
  DEF_clr_tag();
  if (nel == 0) read_defaults("", table);
  for (int k = 0; k < nel; ++k) {
    const char *e = el[k];
    if (e[0] == '+')
      DEF_tag(e + 1);
    else if (e[0] == '#' && is_digit(e[1]))
      exchange(e + 1, table);
    else
      read_defaults(e, table);
  }
  free_parsed_array(nel, el);
}

// Phase 9: the conversions with side effects, in store order.
void convert_stored(const RES_defobj *table, int nrows) {
  for (resource *r = root_res.next; r != nullptr; r = r->next) {
    if (r->index < 0 || r->index >= nrows) continue;
    const RES_defobj &row = table[r->index];
    if (r->cvt == CV_strings && row.out != nullptr) {
      int count = 0;
      char **list = nullptr;
      parse_string(r->data, '\n', &count, &list);
      store(row.out, list);
      if (row.num) *row.num = count;
    } else if (r->cvt == CV_mess && r->data != nullptr) {
      convert_message(r);
    } else if (r->cvt == CV_file_param && r->data != nullptr && r->data[0] != '\0' &&
               !known_file_param(r->data)) {
      RES_bad_word("RES_decode", r->name, r->data, kFileParamWords);
    } else {
      convert(r, row.out, r->cvt);
    }
  }
}

}  // namespace

int RES_decode(const char *, const char *, int argc, char **argv, RES_defobj *table) {
  static RES_defobj empty_table[1] = {};
  if (table == nullptr) table = empty_table;
  if (argv == nullptr) argc = 0;
  int nrows = 0;
  while (table[nrows].def) ++nrows;

  // 1. Command line and the program name of the defaults keys.
  RES_setCL(argc, argv);
  char prog[kPathLen + 1];
  DEF_prog(RES_get_progname(prog));

  // 2. Defaults path from the environment.
  if (const char *path = std::getenv("zotdefault"))
    set_value(tv::kMissInt, "default", path, CV_string, RES_FROM_ENV);

  take_early_options(argc, argv);
  read_defaults_path(table);

  // 5. Environment variables.
  char value[kDefValueLen + 1];
  for (int i = 0; i < nrows; ++i)
    if (table[i].def[0] && DEF_env(table[i].def, table[i].env, value))
      set_value(i, table[i].def, value, table[i].cvt, RES_FROM_ENV);

  // 7. Command line, then 8. the end of the exchange.
  second_pass(argc, argv, table);
  close_link();

  convert_stored(table, nrows);
  for (const std::string &text : unknown_options()) MESS_print(kLevFail, "%s", text.c_str());
  unknown_options().clear();
  return 0;
}

// ----------------------------------------------- definitions and conversions

int RES_enter(RES_defobj *obj, res_type key) {
  if (obj == nullptr) return 0;
  const CatRow *row = cat_row(key);
  if (row == nullptr) {
    RES_fill_obj(obj, "", "", nullptr, CV_none, nullptr, nullptr);
    MESS_print(kLevPrint, "%d\n", static_cast<int>(key));
    return 1;
  }
  RES_fill_obj(obj, row->def, row->env, row->cmd, row->cvt, nullptr, nullptr);
  obj->pos = row->pos;
  return 1;
}

int RES_conv_data(const char *data, char *out, DEF_convert cvt) {
  switch (cvt) {
    case CV_batch:
      FLAG_set(kFlagBatch, 1);
      if (MESS_check_set() == 0) MESS_set(0, 255);
      return 1;
    case CV_help:
      FLAG_set(kFlagHelp, 1);
      return 1;
    case CV_bool:
      if (out == nullptr) return 0;
      if (data == nullptr || iequal(data, "true") || iequal(data, "on") || iequal(data, "yes"))
        store(out, 1);
      else if (iequal(data, "false") || iequal(data, "off") || iequal(data, "no"))
        store(out, 0);
      return 1;
    default:
      break;
  }
  if (data == nullptr) return 0;
  switch (cvt) {
    case CV_mess:
      MESS_set_str(data);
      return 1;
    case CV_hour:
      conv_hour(data);
      return 1;
    case CV_file_param:
      conv_file_param(data);
      return 1;
    case CV_plot_type:
      conv_plot_type(data);
      return 1;
    case CV_draw:
      conv_draw(data);
      return 1;
    default:
      break;
  }
  if (out == nullptr) return 0;
  switch (cvt) {
    case CV_int:
      conv_int(data, out);
      break;
    case CV_short:
      conv_short(data, out);
      break;
    case CV_long:
    case CV_color:
      conv_int64(data, out);
      break;
    case CV_float:
      conv_float(data, out);
      break;
    case CV_string:
      store(out, data);
      break;
    case CV_strcpy:
      tv::copy_text(out, kPathLen + 1, data);  // `out` holds a file name of the system
      break;
    case CV_path:
      conv_path(data, out);
      break;
    case CV_region:
    case CV_domain:
      DOM_decode(data, reinterpret_cast<Domain *>(out));
      break;
    case CV_device:
      conv_device(data, out);
      break;
    default:  // CV_none, CV_current, CV_name, CV_ingestor, CV_strings: text
      break;
  }
  return 1;
}

int RES_set_device(const char *str) {
  switch (str ? str[0] : '\0') {
    case 'P':
    case 'p':
      return 4;
    case 'H':
    case 'h':
    case 'Q':
    case 'q':
      return 5;
    case 'M':
    case 'm':
      return 3;
    case 'W':
    case 'w':
      return 6;
    default:
      return 1;
  }
}

int RES_help_item(res_type res) {
  const CatRow *row = cat_row(res);
  if (row == nullptr) {
    MESS_print(kLevPrint, "%d\n", static_cast<int>(res));
    return 1;
  }
  // The option column: "-cmd form", "-cmd" for a switch, the form alone
  // for a positional row.
  char opt[kOptNameLen + 32];
  if (row->cmd == nullptr)
    std::snprintf(opt, sizeof opt, "%s", row->form);
  else if (row->form[0] == '\0')
    std::snprintf(opt, sizeof opt, "-%s", row->cmd);
  else
    std::snprintf(opt, sizeof opt, "-%s %s", row->cmd, row->form);
  MESS_print(kLevPrint, " %-10s  %s\n", opt, row->desc);
  if (row->more) MESS_print(kLevPrint, "%s", row->more);
  return 1;
}

int RES_help_print(const char *name, res_type *res_key, res_type *res_pos) {
  if (name == nullptr) name = "";
  MESS_print(kLevPrint, "%s syntax (version:%s)\n", name, ZOT_version());
  MESS_print(kLevPrint, "   %s [options...]\n", name);
  MESS_print(kLevPrint, "Keyed options...\n");
  MESS_print(kLevPrint, " %-10s  Resource/defaults file name\n", "-df file");
  MESS_print(kLevPrint, " %-10s  Program name\n", "-na name");
  for (res_type *p = res_key; p != nullptr && *p != RES_null; ++p) RES_help_item(*p);
  MESS_print(kLevPrint, "Positional options...\n");
  for (res_type *p = res_pos; p != nullptr && *p != RES_null; ++p) RES_help_item(*p);
  return 1;
}
