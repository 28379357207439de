// The CSV format (keyword "csv", type 71): RFC 4180 with LF line ends, one
// header line of the analysis variables' columns (kAnaVars), then one row
// per report; a missing value is an empty field.
#pragma once

#include <cstddef>
#include <string_view>

#include "output/sfc_analysis.hpp"

// The header line, with its line end.
std::string_view SFC_csv_header();

// One row for `r` (with its line end) into buf[0, size): its length. The
// clock dates the report's time.
std::size_t SFC_format_csv(char *buf, std::size_t size, const SFC_report &r, const AnaClock &clock);
