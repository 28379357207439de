// Map module without projections: the station store asks it once for no
// domain and then passes every station through it.
#include "framework/maptran.hpp"

#include "framework/mess.hpp"
#include "framework/missing.hpp"

namespace {
int cur_proj = tv::kMissInt;  // the current domain's projection: none
}  // namespace

int MAP_domain(Domain *dom) {
  cur_proj = tv::kMissInt;
  if (dom == nullptr || dom->proj == tv::kMissInt) return -1;
  MESS_print(192, "MAP_domain: Projection %d not supported\n", dom->proj);
  return -1;
}

int MAP_tran(float lat, float lon, float *x, float *y) {
  if (x == nullptr || y == nullptr) return 0;
  // No domain: no projection and no longitude normalisation.
  *x = lat;
  *y = lon;
  return 1;
}

int MAP_in_grid_domain(float, float) { return 1; }
