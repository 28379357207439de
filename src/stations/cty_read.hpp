// Station ("city") database file: one station is ten white-space separated
// fields (name state region id priority lat lon elevation wmo number).
#pragma once

// One station of the database.
struct CTY_data {
  char name[21];   // one word, at most 20 characters
  char state[3];   // state or province
  char region[3];  // region or country; "B_" marks buoys
  char id[10];     // identifier; a leading '-' means it has none of its own
  int prior;       // priority class 0 to 9 (smaller = more important)
  char mos;        // '*' when the priority field starts with '*'
  char ua;         // '*' when it ends with '*' (upper-air station)
  float lat;       // degrees north
  float lon;       // degrees east
  float el;        // metres, -9999 when missing
  int wmo;         // WMO block and station number, 99999 when none
  int num;         // a further number from the file
};

// Compact station entry of the projected store types.
struct CTY_locate {
  char id[11];
  int wmo;
  float x;
  float y;
  float el;
  int pr;
};

// f_access 0 reads, 1 writes; any other value gives -1. One file is open at
// a time (opening another closes the previous). Returns the descriptor or -1.
int CTY_open(const char *filename, int f_access, int f_type);

// Reads the next station into city. Returns the number of fields read (10
// for a complete station), or -1 when no file is open or at the end. Fields
// that were not read are left missing (never borrowed from the station
// before).
int CTY_read(int city_fd, CTY_data *city);

// 0, or -1 when no file is open.
int CTY_rewind(int city_fd);
int CTY_close(int city_fd);

// Chooses the station file (resource "city_file", "none" = no database;
// else city_file; else "sao.cty"; completed with "file_path"), opens it and
// sets *num_stats to the table size it needs. Returns the descriptor or -1.
int CTY_open_file(const char *city_file, int *num_stats);
