// Distances on the earth, for the selection of stations around a point.
#include "stations/geodesy.hpp"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kDegToRad = 0.017453292519943334;
constexpr double kEarthRadiusKm = 63.713 * 100.0;
}  // namespace

// Spherical law of cosines. The cosine is clipped to [-1, 1]: rounding the
// products to single precision pushes it just past 1 for close points, where
// acos would give NaN. The same rounding limits the resolution to about 2 km.
float calc_earth_dist(float lat1, float lon1, float lat2, float lon2) {
  if (lat1 == lat2 && lon1 == lon2) return 0.0f;
  const double la1 = lat1 * kDegToRad, lo1 = lon1 * kDegToRad;
  const double la2 = lat2 * kDegToRad, lo2 = lon2 * kDegToRad;
  const float ss = static_cast<float>(std::sin(la1) * std::sin(la2));
  const float cc = static_cast<float>(std::cos(la1) * std::cos(la2) * std::cos(lo1 - lo2));
  const double c = std::clamp(static_cast<double>(ss) + static_cast<double>(cc), -1.0, 1.0);
  return static_cast<float>(kEarthRadiusKm * std::acos(c));
}
