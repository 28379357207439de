// Region and domain texts for the region and domain conversions.
#pragma once

#include "framework/maptran.hpp"

// Decodes a region or domain text into `domain`. This program knows no
// regions or domains: the domain gets proj -9999 (no domain) and the
// result is -1, whatever the text.
int DOM_decode(const char *str, Domain *domain);
