// Record layouts of the converted data file as text lines: the current text
// layout, the older text layout and the XML "obs" element. Each formatter
// builds one whole line, newline included, in the caller's buffer, never
// writing more than `size` bytes (no terminator is added), and returns the
// line's length; bytes of the buffer after the line may have been used as
// scratch. A buffer of kSfcLineMax bytes always holds the whole line for any
// record content.
#pragma once

#include <cstddef>

#include "report/sfc_tool.hpp"

constexpr std::size_t kSfcLineMax = 4096;

// Current layout. `file_type` 4 adds the 12-hour precipitation and 6-hour
// extreme temperature groups; any other value writes the type 3 line.
std::size_t SFC_format_text(char *buf, std::size_t size, const SFC_report *rep,
                            int file_type);
// The same where the room is certain: `buf` has kSfcLineMax bytes; `ext`
// for type 4.
std::size_t SFC_format_text_line(char *buf, const SFC_report &rep, bool ext);

// Older layout. `file_hour` is the hour of the file's date: from 10 to 21
// the "T" group carries the minimum temperature, else the maximum.
std::size_t SFC_format_old_text(char *buf, std::size_t size, const SFC_report *rep,
                                int file_hour);

// One "obs" element; texts from the report are escaped for XML.
std::size_t SFC_format_xml(char *buf, std::size_t size, const SFC_report *rep);

// The XML root element's start tag with the file's date label (at most
// `max` bytes of it), escaped as the record texts are.
std::size_t SFC_format_xml_start(char *buf, std::size_t size, const char *label, std::size_t max);
