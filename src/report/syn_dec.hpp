// Report decoders: land, ship, coastal-marine and drifting-buoy report
// texts into surface records, with their weather, visibility and cloud codes.
#pragma once

#include "report/sfc_tool.hpp"
#include "report/syn_read.hpp"

// Decodes one report text (every group followed by a blank) of report type
// `type` into `report`, which the caller has initialised. Groups that do not fit
// leave their fields missing. Returns 1 when the report had an identifier,
// 0 (record untouched) when it had none; type 8 gives SYN_decode_dribu's
// result.
int SYN_decode(const char *data, ReportType type, SFC_report *report);
// The same for a text of at most kSynDataMax characters whose length `len`
// the caller knows (the reader's SYN_read_len); a length that does not end
// the text is measured again.
int SYN_decode_text(const char *data, int len, ReportType type, SFC_report *report);

// Zeros the decoder reads after a text's end, and the room for the longest
// text with them.
constexpr int kSynTextPad = 32;
constexpr int kSynTextRoom = kSynDataMax + 1 + kSynTextPad;
// The same, reading `text` in place rather than copying it: its bytes after
// the terminator are zeroed (the room after a text is the decoder's). A
// length that does not end the text is measured again; a text longer than
// kSynDataMax is cut there.
int SYN_decode_in_place(char (&text)[kSynTextRoom], int len, ReportType type, SFC_report *report);

// Decodes a drifting-buoy report text from its date group on. Returns 1.
int SYN_decode_dribu(const char *data, SFC_report *report);

// Present weather ww (manned station) / wawa (automatic station) to an SAO
// weather string; `wx_str` needs 7 bytes; " " outside 0..99. Return 0.
int SYN_weather(int wx, char *wx_str);
int SYN_auto_weather(int wx, char *wx_str);

// Visibility code VV to statute miles; -9999 above 99.
float SYN_visibility(int vis);

// Height of the lowest cloud h to feet; -9999 outside 0..9.
float SYN_ceiling(int cb);

// Clean groups, texts and section indicators are matched without the
// scanner (on, the default); off, the scanner decides every group. Both
// decode alike: tests compare them.
void SYN_set_direct_matching(bool on);
