// tavro: converts raw surface synoptic bulletins (land, ship and
// coastal-marine reports) into a converted surface data file.
#include "mess.hpp"
#include "resrc.hpp"
#include "system.hpp"

int main(int argc, char **argv) {
  RES_setCL(argc, argv);
  MESS_print_prog("SURFACE SYNOPTIC DATA CONVERSION PROGRAM");
  ZOT_exit(0);
}
