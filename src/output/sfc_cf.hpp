// The CF netCDF format (keyword "cf", type 13): netCDF-4 following CF-1.8
// discrete sampling geometry, featureType "point": one unlimited "obs"
// dimension and every analysis variable (kAnaVars) along it, the same
// variables in every file. Observations are gathered kSfcCfChunk at a
// time and written with one call per variable; each variable is chunked
// by the same count and deflated (resource "cf_deflate", level 1 by
// default). The writing and deflating of a full set of observations runs
// in a thread of its own while the next set is gathered; a failure there
// is reported at the next hand-over or when the file is closed. Time and space coverage and one "history" line per run are
// written when the file is closed; an append checks the file's layout
// first and works on a copy (the safe writer).
#pragma once

#include <cstddef>

// Observations per chunk and per write. 4096: a float chunk is 16 KB, big
// enough for deflate to pay and for a million observations to need only
// some 250 chunks per variable, small enough that an hourly file of a few
// thousand reports is not mostly padding and the buffers of all variables
// stay well under a megabyte.
constexpr std::size_t kSfcCfChunk = 4096;

// The deflate level the "cf_deflate" resource gives (0 to 9); 1 when it is
// not set, and when it is no level (with a warning).
int SFC_cf_deflate_level();
