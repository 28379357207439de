// Resource store: named text parameters from defaults files, environment,
// command line or a controlling process; their definitions, conversions,
// decoding and help.
#pragma once

// Value conversions; the numbers are fixed.
enum DEF_convert {
  CV_none = 0,
  CV_bool = 1,
  CV_int = 2,
  CV_short = 3,
  CV_long = 4,
  CV_float = 5,
  CV_string = 6,
  CV_strcpy = 7,
  CV_path = 8,
  CV_mess = 9,
  CV_draw = 10,
  CV_current = 11,
  CV_hour = 12,
  CV_region = 13,
  CV_name = 14,
  CV_ingestor = 15,
  CV_file_param = 16,
  CV_device = 17,
  CV_plot_type = 18,
  CV_color = 19,
  CV_domain = 20,
  CV_strings = 21,
  CV_batch = 22,
  CV_help = 23,
};

// Where a value came from. A value from a defaults file in the current
// directory may have been put there by anyone who can write to it, so it
// never names a command; every other source is the user's own.
enum RES_origin {
  RES_FROM_PROGRAM = 0,  // stored by the program itself (RES_new, RES_put)
  RES_FROM_DEFAULTS = 1, // a defaults file outside the current directory
  RES_FROM_LOCAL = 2,    // a defaults file in the current directory
  RES_FROM_QUEUE = 3,    // the controlling process
  RES_FROM_ENV = 4,      // an environment variable
  RES_FROM_COMMAND = 5,  // the command line
};

// One node of the store.
struct resource {
  int index;
  char *name;
  char *data;
  DEF_convert cvt;
  resource *next;
  RES_origin origin;
  const char *source;  // the defaults file of the value, or null
};

// One row of a definition table. A positional resource has cmd null and
// pos 1..10 (10 = every further positional argument); keyed ones pos 0.
struct RES_defobj {
  const char *def;
  const char *env;
  const char *cmd;
  int pos;
  DEF_convert cvt;
  char *out;
  int *num;
};

// Resource identifiers of the catalogue; the values 0 to 114 are fixed.
enum res_type {
  RES_null = 0,
  RES_age = 1,
  RES_background = 2,
  RES_batch = 3,
  RES_bin_path = 4,
  RES_bull_file = 5,
  RES_city_file = 6,
  RES_color_cgrid = 7,
  RES_color_clabel = 8,
  RES_color_cloud = 9,
  RES_color_cmap = 10,
  RES_color_cont = 11,
  RES_color_conts = 12,
  RES_color_data = 13,
  RES_color_echo = 14,
  RES_color_fill = 15,
  RES_color_front = 16,
  RES_color_grid = 17,
  RES_color_hodo = 18,
  RES_color_hodtxt = 19,
  RES_color_label = 20,
  RES_color_labels = 21,
  RES_color_line = 22,
  RES_color_map = 23,
  RES_color_pop = 24,
  RES_color_rep = 25,
  RES_color_sound = 26,
  RES_color_table = 27,
  RES_color_text = 28,
  RES_color_therm = 29,
  RES_color_thrmtxt = 30,
  RES_color_wind = 31,
  RES_color_wx = 32,
  RES_command = 33,
  RES_commands = 34,
  RES_con_base = 35,
  RES_con_bases = 36,
  RES_con_interval = 37,
  RES_con_intervals = 38,
  RES_con_path = 39,
  RES_current = 40,
  RES_data_path = 41,
  RES_data_src = 42,
  RES_default = 43,
  RES_draw = 44,
  RES_decode_hour = 45,
  RES_device = 46,
  RES_file_param = 47,
  RES_file_path = 48,
  RES_filename = 49,
  RES_filenames = 50,
  RES_font_list = 51,
  RES_forecast = 52,
  RES_geometry = 53,
  RES_grid_num = 54,
  RES_grid_path = 55,
  RES_grid_type = 56,
  RES_help = 57,
  RES_hour = 58,
  RES_icon = 59,
  RES_identifier = 60,
  RES_identifiers = 61,
  RES_identifierp = 62,
  RES_image_path = 63,
  RES_in_file = 64,
  RES_in_files = 65,
  RES_ingest_port = 66,
  RES_ingestor = 67,
  RES_input = 68,
  RES_label = 69,
  RES_labels = 70,
  RES_level = 71,
  RES_map_file = 72,
  RES_message = 73,
  RES_model = 74,
  RES_name = 75,
  RES_name_conv = 76,
  RES_num_grid = 77,
  RES_num_hour = 78,
  RES_object_param = 79,
  RES_out_file = 80,
  RES_out_files = 81,
  RES_output = 82,
  RES_parameter = 83,
  RES_plot_domain = 84,
  RES_plot_format = 85,
  RES_plot_param = 86,
  RES_plot_range = 87,
  RES_plot_scale = 88,
  RES_plot_type = 89,
  RES_plot_types = 90,
  RES_position = 91,
  RES_product = 92,
  RES_program = 93,
  RES_raw_path = 94,
  RES_read_conf = 95,
  RES_region = 96,
  RES_save_param = 97,
  RES_stat_prior = 98,
  RES_state = 99,
  RES_table = 100,
  RES_time = 101,
  RES_title = 102,
  RES_unit = 103,
  RES_values = 104,
  RES_variable = 105,
  RES_watch_path = 106,
  RES_window_num = 107,
  RES_color_watch = 108,
  RES_log_file = 109,
  RES_grid_domain = 110,
  RES_inputg = 111,
  RES_text_path = 112,
  RES_model_path = 113,
  RES_sat_path = 114,
  RES_cf_deflate = 115,
  RES_institution = 116,
  RES_bufr_packer = 117,
};

// Store and lookup.
int RES_new(int index, const char *name, const char *data, DEF_convert cvt);
int RES_append(int index, const char *name, const char *data, DEF_convert cvt);
int RES_put(const char *name, const char *value);
char *RES_get(const char *name);
int RES_getval(const char *name, void *out, DEF_convert cvt);
int RES_getvals(const char *name, int *paramc, char ***paramv);
int RES_list();
int RES_setCL(int argc, char **argv);
char *RES_get_prog();
// The command line as the program got it: its count, and the words in *argv.
int RES_get_args(char ***argv);
char *RES_get_progname(char *prog);
// Origin of a stored value (RES_FROM_PROGRAM for an absent resource), the
// defaults file it was read from (null when none), and whether the user gave
// it: 1 when present and not from a defaults file in the current directory.
RES_origin RES_get_origin(const char *name);
const char *RES_get_source(const char *name);
int RES_from_user(const char *name);
int RES_fill_obj(RES_defobj *obj, const char *def, const char *env, const char *cmd,
                 DEF_convert cvt, char *out, int *num);

// Wrong words. `word` in the value of resource `name` is none of the words
// `valid` lists (comma-separated; an entry's "=..." or "[...]" part shows a
// form and is not compared). From the command line it is an error, reported
// by `func` with the nearest valid word and counted in RES_usage_errors: the
// program must end with status 2 before it opens anything. From a defaults
// file, the environment or the controlling process it is a warning naming
// the source, and the word is ignored. Returns 1 for an error, 0 otherwise.
int RES_bad_word(const char *func, const char *name, const char *word, const char *valid);
// Wrong words of the command line reported so far, in RES_decode (message
// levels, file parameters) and by the program (RES_bad_word).
int RES_usage_errors();

// Command line and decoding.
int RES_init(int argc, char **argv, res_type *res_key, res_type *res_pos);
int RES_decode(const char *progname, const char *cls, int argc, char **argv,
               RES_defobj *def_table);

// Definitions, conversions and help.
int RES_enter(RES_defobj *obj, res_type key);
int RES_conv_data(const char *data, char *out, DEF_convert cvt);
int RES_set_device(const char *str);
int RES_help_item(res_type res);
int RES_help_print(const char *name, res_type *res_key, res_type *res_pos);
