// Meteorological formulas. Kelvin, millibars, m/s, percent;
// -9999 is the missing value.
#pragma once

float vapor_pr(float t);
float temp_vapor_pr(float e);
float dew_temp(float temp, float rh);
float rel_hum(float t, float td);
float heat_index(float temp, float dewp);
float wind_chill_temp2(float temp, float ws);
float pot_temp(float temp, float pr);
