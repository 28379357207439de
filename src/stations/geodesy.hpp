// Distances on the earth, for the selection of stations around a point.
#pragma once

// Great-circle distance in km between two points given in degrees.
float calc_earth_dist(float lat1, float lon1, float lat2, float lon2);
