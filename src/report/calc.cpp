// Meteorological formulas: saturation vapour pressure and its inverse,
// dewpoint, relative humidity, heat index, wind chill and potential
// temperature.
#include "report/calc.hpp"

#include <algorithm>
#include <cmath>

#include "framework/missing.hpp"

// Goff-Gratch saturation vapour pressure over water, mb; 0 below 100 K and
// -9999 for a negative (or missing) temperature.
float vapor_pr(float t) {
  if (t < 0.0f) return tv::kMissFloat;
  if (t < 100.0f) return 0.0f;
  const double T = t;
  const double x = 23.832241 - 5.02808 * std::log10(T) -
                   1.3816e-7 * std::pow(10.0, 11.344 - 0.0303998 * T) +
                   8.132801e-3 * std::pow(10.0, 3.49149 - 1302.8844 / T) - 2949.076 / T;
  return static_cast<float>(std::pow(10.0, x));
}

// Inverse of vapor_pr, K; 0 for a pressure of 0 or less.
float temp_vapor_pr(float e) {
  if (e <= 0.0f) return 0.0f;
  const double E = e;
  const double a = std::pow(E, 0.0915);
  return static_cast<float>(38.9114 * (a - 1.2035) * (a - 1.2035) +
                            std::pow(10.0, 2.4082965 + 0.0498646455 * std::log10(E)) - 7.08475);
}

float dew_temp(float temp, float rh) {
  if (rh == tv::kMissFloat) return tv::kMissFloat;
  if (temp <= 0.0f) return tv::kMissFloat;
  rh = std::clamp(rh, 2.0f, 100.0f);
  const float prod = vapor_pr(temp) * rh;
  return temp_vapor_pr(static_cast<float>(prod / 100.0));
}

// Both arguments of 100 or less are vapour pressures (mb), otherwise
// temperatures (K). A temperature whose saturation pressure is 0 (below
// 100 K) gives no humidity rather than an infinite one.
float rel_hum(float t, float td) {
  if (t <= 0.0f || td <= 0.0f) return tv::kMissFloat;
  if (t <= 100.0f && td <= 100.0f) return 100.0f * td / t;
  const float es = vapor_pr(t);
  if (es <= 0.0f) return tv::kMissFloat;
  return 100.0f * vapor_pr(td) / es;
}

float heat_index(float temp, float dewp) {
  if (temp < 0.0f || dewp < 0.0f || dewp > temp) return tv::kMissFloat;
  const float es = vapor_pr(temp);
  if (es <= 0.0f) return tv::kMissFloat;  // below 100 K: no humidity to speak of
  const float tf = static_cast<float>(32.0 + 9.0 * (static_cast<double>(temp) - 273.15) / 5.0);
  const float rh = 100.0f * vapor_pr(dewp) / es;

  double h = static_cast<float>(60.8 + 1.2 * (tf - 68.0) + 0.0936 * rh);
  if (h >= 77.0) {
    const float tf2 = tf * tf, tf3 = tf2 * tf;
    const float rh2 = rh * rh, rh3 = rh2 * rh;
    const double T = tf, R = rh, T2 = tf2, T3 = tf3, R2 = rh2, R3 = rh3;
    h = 16.0 + 0.185212 * T + 5.37941 * R - 0.100254 * T * R + 0.00941695 * T2 +
        0.00728898 * R2 + 0.000345372 * T2 * R - 0.000814971 * T * R2 + 1.02102e-5 * T2 * R2 -
        3.8646e-5 * T3 + 2.91583e-5 * R3 + 1.42721e-6 * T3 * R + 1.97483e-7 * T * R3 -
        2.18429e-8 * T3 * R2 + 8.43296e-10 * T2 * R3 - 4.81975e-11 * T3 * R3;
  }
  if (h == tv::kMissFloat) return tv::kMissFloat;
  return static_cast<float>(273.15 + 5.0 * (h - 32.0) / 9.0);
}

float wind_chill_temp2(float temp, float ws) {
  if (ws < 0.0f || temp < 0.0f) return tv::kMissFloat;
  const double T = temp;
  const double w = (0.6215 * T + 116.514) + std::pow(static_cast<double>(ws), 0.16) * (0.4863 * T - 146.774);
  return w <= T ? static_cast<float>(w) : temp;
}

float pot_temp(float temp, float pr) {
  if (pr <= 0.0f || temp <= 0.0f) return tv::kMissFloat;
  return static_cast<float>(temp * std::pow(1000.0 / pr, 0.286));
}
