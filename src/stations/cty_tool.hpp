// Station database in memory: loading the station file into the station
// table, selecting stations, and looking them up by identifier or number.
#pragma once

#include <cstddef>

#include "stations/cty_read.hpp"

struct Domain;

// Loads the stations into the station table. type 1 stores CTY_data under
// the identifier and the WMO text; 2 stores CTY_locate under the chosen
// identifier and the WMO text; 3 adds the position text as a third key.
// Stations with a priority above prior (-9999: the "stat_prior" resource)
// or not selected by the "identifier" resource are left out. Returns the
// descriptor of the station file (left open), or 0 when none was opened.
int CTY_store(const char *city_file, int type, Domain *domain, int prior);

// Looks a station up: five digits or "b" and five characters by WMO text, a
// letter-form identifier through its WMO number, anything else by station
// identifier. Returns 1 and copies the entry (CTY_data for store type 1,
// CTY_locate for 2 and 3) into data, or 0.
int CTY_search(const char *id, void *data);

// CTY_search of an identifier held in a buffer of `room` bytes (a report's
// identifier field): with 8 bytes or more a station number is read as one
// word, whatever follows its terminator.
int CTY_search_buffer(const char *id, std::size_t room, void *data);

// With `on`, CTY_search keeps its last identifier and answer and gives the
// same answer again without the table: the run completes a report from
// its station, then a writer that names the station asks again under the
// same identifier. Off at start (the other formats never ask twice).
void CTY_remember_last(bool on);

// Station selection: 1 when numid is 0, else the index of the first value of
// ids that the station satisfies, or -1 when it satisfies none.
int CTY_data_cmp(int numid, const char *const *ids, CTY_data *data);

// The "stat_prior" resource as an integer, 10 when it is not set.
int CTY_get_prior();

// Identifier rule of the compact store types (0 at start): 0 WMO text for
// stations without an identifier of their own, 1 identifier only for
// stations without a WMO number, 2 identifier, else one made from the WMO
// number. Returns 0.
int CTY_set_id_type(int type);

// Sequential lookup without the table: 1 when a complete station whose
// identifier, name or WMO number ("%05d") equals id (ignoring case) is in
// the file, its record in data; else 0.
int CTY_get(const char *city_file, const char *id, CTY_data *data);

// 1 and the station's position when CTY_get finds it, else 0.
int CTY_get_loc(const char *city_file, const char *id, float *lat, float *lon);
