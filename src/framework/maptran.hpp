// Map projections and domains. This program always works without a domain:
// positions pass through unchanged and every point is inside.
#pragma once

struct Domain {
  int proj;        // projection code; -9999 = no domain
  float plat;      // reference latitude, degrees (-9999: centre used)
  float plon;      // reference longitude, degrees (-9999: centre used)
  float param[5];  // projection parameters (standard latitudes, ...)
  float clat;      // centre of the domain, degrees
  float clon;
  float dx;        // grid spacing
  float dy;
  int nx;          // grid points
  int ny;
  int ellipse;     // earth figure
};

// Makes `dom` the current domain. Null, or a domain without a projection,
// means no domain: returns -1. No projection is built into this program,
// so any other domain is refused (message at level 192, no domain, -1)
// rather than accepted and silently ignored.
int MAP_domain(Domain *dom);

// Map coordinates of a position; without a domain x = lat and y = lon
// unchanged. Returns 1, or 0 when x or y is null.
int MAP_tran(float lat, float lon, float *x, float *y);

// 1 when the point lies inside the current domain; always 1 without one.
int MAP_in_grid_domain(float x, float y);
