// Station identifiers made from WMO block and station numbers, and back.
#pragma once

// Writes the identifier for wmo into id (room for 11 bytes): the range's
// prefix followed by the last four (one-letter prefix) or three digits, or
// the number itself in five digits when no range holds it. Returns 0.
int wmo_to_id(char *id, int wmo);

// Sets *wmo from an identifier of the letter form (five characters: a
// letter, a letter or digit, three digits) and returns 0. Otherwise returns
// -1 with *wmo 99999, or with the number itself for five digits.
int id_to_wmo(const char *id, int *wmo);

// One row of the WMO number ranges and their identifier prefixes (exposed
// so that the table can be walked by tests).
struct WMO_prefix {
  int lo;
  int hi;
  const char *prefix;
};

// The ranges in ascending order; *count receives their number.
const WMO_prefix *wmo_prefix_table(int *count);
