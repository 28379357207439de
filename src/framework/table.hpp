// Keyed table: fixed-size records reachable through one to four text keys,
// remembering the order in which they were entered. The table stores copies
// and hands out pointers into its own storage; those stay valid for the rest
// of the process (records are never removed and storage is never freed).
#pragma once

#include <cstddef>
#include <cstdint>

// One record's slot under one key. Slots of the same key are linked in
// entry order from the first one entered, which the index points to.
struct TAB_entry {
  char *key;             // the table's copy of the key
  char *data;            // the stored record, shared by the record's keys
  TAB_entry *next;       // next record in entry order (first-key slots only)
  TAB_entry *same;       // next slot with the same key
  TAB_entry *same_last;  // last slot with this key (on the first slot)
  std::uint32_t len;     // key length, compared before any key bytes are
};

// One place of a key number's index: a key's full hash and the first slot
// entered with that key; `first` null = free.
struct TAB_place {
  std::uint64_t hash;
  TAB_entry *first;
};

struct TAB_table {
  int tab_size;          // size hint given at creation; 0 = not created
  int data_size;         // bytes per record
  TAB_entry *data_ptr;   // iteration cursor
  TAB_entry *head_ptr;   // first record entered
  TAB_entry *last_ptr;   // last record entered
  int num_entry;         // records entered
  int numkey;            // keys per record, 1 to 4
  // Per key number: an open-addressed index of the distinct keys, a power
  // of two of places kept at most half full, so that entering and searching
  // cost the same with a million distinct keys as with ten.
  TAB_place *index[4];
  unsigned shift[4];     // 64 - log2(places)
  std::size_t keys[4];   // distinct keys entered
};

// Clears cursor, head, last, count and numkey; returns 0.
int TAB_init(TAB_table *tab);

// Sets the table up for about tsize distinct keys per key number (it grows
// beyond), records of dsize bytes and nkey keys (1 to 4). Returns 0, or -1
// when storage runs out or the sizes are not usable (the table is then left
// uncreated, tab_size 0).
int TAB_create(TAB_table *tab, int tsize, int dsize, int nkey);

// Bucket number of key (for callers that spread keys themselves; the table
// does not use it): per byte h = (h * 257 + s) mod 35177 in unsigned
// 64-bit arithmetic, s the byte read as signed; bucket = h mod tab_size.
// 0 for an uncreated table.
int TAB_key(TAB_table *tab, const char *key);

// Copies data_size bytes from data and enters them under the numkey key
// texts that follow (each a const char *). Equal keys may be entered any
// number of times. Returns 0, or -1 when storage runs out, the table is not
// created or a key is null; the table is then unchanged.
int TAB_enter(TAB_table *tab, const void *data, ...);

// The first record, in entry order, whose key number keynum (1-based)
// equals key exactly; null when there is none.
char *TAB_search(TAB_table *tab, int keynum, const char *key);

// Like TAB_search, collecting up to max matching records into ptrs in entry
// order; returns how many were stored.
int TAB_searches(TAB_table *tab, int keynum, const char *key, char **ptrs, int max);

// Puts the cursor on the first record entered; returns 0.
int TAB_first(TAB_table *tab);

// The record under the cursor, moving the cursor to the next record
// entered; null at the end.
char *TAB_next(TAB_table *tab);
