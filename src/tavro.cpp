// tavro: converts raw surface synoptic bulletins (land, ship and
// coastal-marine reports) into a converted surface data file.
#include "framework/flag.hpp"
#include "framework/mess.hpp"
#include "framework/resrc.hpp"
#include "framework/system.hpp"
#include "output/formats.hpp"
#include "syn_run.hpp"

namespace {

// The options the converter accepts, in help order.
res_type res_key[] = {RES_help,       RES_batch,      RES_message,     RES_file_path,  RES_data_path,
                      RES_con_path,   RES_grid_path,  RES_raw_path,    RES_image_path, RES_watch_path,
                      RES_text_path,  RES_model_path, RES_sat_path,    RES_city_file,  RES_stat_prior,
                      RES_input,      RES_output,     RES_name_conv,   RES_in_file,    RES_out_file,
                      RES_file_param, RES_current,    RES_hour,        RES_num_hour,   RES_decode_hour,
                      RES_identifier, RES_parameter,  RES_cf_deflate,  RES_institution, RES_bufr_packer,
                      RES_null};
// Bare words on the command line are input file names.
res_type res_pos[] = {RES_filenames, RES_null};

}  // namespace

int main(int argc, char **argv) {
  RES_init(argc, argv, res_key, res_pos);
  if (FLAG_help()) {
    char prog[160];
    RES_get_progname(prog);
    MESS_print(15, "%s: This program converts raw surface observations\n", prog);
    MESS_print(15, "   into a useable format\n");
    RES_help_print(prog, res_key, res_pos);
    MESS_print(15, "Output formats (-ou word, -of word:name)...\n");
    SFC_print_formats(15);
    MESS_print(15, "Exit status...\n");
    MESS_print(15, " 0  the run did what was asked\n");
    MESS_print(15, " 1  an input could not be read (the others are converted),\n"
                   "    or the output could not be written or was refused\n");
    MESS_print(15, " 2  a usage error, no name-convention file where the run needs one,\n"
                   "    or no date for the data\n");
    MESS_print(15, " 7  no answer from the controlling process\n");
    ZOT_exit(0);
  }
  MESS_print_prog("SURFACE SYNOPTIC DATA CONVERSION PROGRAM");
  ZOT_exit(SYN_decode_all());
}
