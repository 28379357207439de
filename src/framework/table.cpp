// Keyed table of fixed-size records.
//
// Storage comes from two process-wide bump arenas, so entering a record
// costs a few pointer increments instead of several mallocs. Slots and
// key copies live in their own arena, packed together: comparing keys
// reads one compact region and never touches the records. Each key number
// has an index of its distinct keys (open addressing, linear probing, kept
// at most half full and doubled when it fills), so that the table stays
// linear in the number of distinct keys: a feed of a million stations costs
// per report what a feed of a thousand does. The arenas are never freed
// (records must outlive every pointer handed out) and stay reachable from
// their chunk list, so leak checkers see no lost blocks.
#include "framework/table.hpp"

#include <sys/mman.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::uint64_t kHashMod = 35177;
constexpr std::size_t kChunkSize = std::size_t{1} << 20;     // the first chunk
constexpr std::size_t kChunkMax = std::size_t{64} << 20;     // chunks double up to this
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Requests above this get a block of their own so a chunk is not wasted.
constexpr std::size_t kOwnBlock = kChunkSize / 4;
constexpr std::size_t kRecordAlign = 16;  // any record type
constexpr std::size_t kSlotAlign = alignof(TAB_entry);

struct Chunk {
  Chunk *prev;
};
constexpr std::size_t kHeader = (sizeof(Chunk) + kRecordAlign - 1) & ~(kRecordAlign - 1);

Chunk *g_chunks = nullptr;

constexpr std::size_t round_up(std::size_t n, std::size_t align) {
  return (n + align - 1) & ~(align - 1);
}

// A block of at least `size` bytes. Large blocks are aligned to huge pages
// and offered to the kernel as such: a table of a million records then
// takes a few hundred page faults instead of a hundred thousand.
void *new_block(std::size_t size) {
  if (size < kHugePage) return std::malloc(size);
  if (size > SIZE_MAX - kHugePage) return nullptr;
  size = round_up(size, kHugePage);
  void *raw = std::aligned_alloc(kHugePage, size);
  if (raw != nullptr) ::madvise(raw, size, MADV_HUGEPAGE);  // a hint: failure is harmless
  return raw;
}

class Arena {
 public:
  explicit constexpr Arena(std::size_t align) : align_(align) {}

  // Storage for n bytes at the arena's alignment, or null when memory runs
  // out.
  void *alloc(std::size_t n) {
    if (n > SIZE_MAX / 2) return nullptr;
    n = round_up(n == 0 ? 1 : n, align_);
    if (n > left_) {
      const bool own = n > kOwnBlock;
      if (!own && take_spare(n)) return carve(n);
      const std::size_t want = own ? n : next_;
      void *raw = new_block(kHeader + want);
      if (raw == nullptr) return nullptr;
      Chunk *chunk = static_cast<Chunk *>(raw);
      chunk->prev = g_chunks;
      g_chunks = chunk;
      unsigned char *base = static_cast<unsigned char *>(raw) + kHeader;
      if (own) return base;
      cur_ = base;
      left_ = want;
      // A table that keeps growing gets larger chunks, so that fewer and
      // larger blocks hold it; a small one keeps the small first chunk.
      if (next_ < kChunkMax) next_ *= 2;
    }
    return carve(n);
  }

  // Takes back storage this arena handed out that nobody will read again
  // (an index that has grown out of it). Its pages are already the
  // process's: serving later requests from them spares the kernel clearing
  // as many new ones.
  void give_back(void *p, std::size_t n) {
    if (p == nullptr) return;
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    const std::size_t skip = round_up(at, align_) - at;
    if (n < skip + kMinSpare) return;
    auto *spare = new (static_cast<unsigned char *>(p) + skip) Spare{spares_, (n - skip) & ~(align_ - 1)};
    spares_ = spare;
  }

 private:
  struct Spare {
    Spare *next;
    std::size_t size;
  };
  static constexpr std::size_t kMinSpare = 4096;

  void *carve(std::size_t n) {
    void *p = cur_;
    cur_ += n;
    left_ -= n;
    return p;
  }

  // Makes the first spare block the current one when n fits in it.
  bool take_spare(std::size_t n) {
    Spare *spare = spares_;
    if (spare == nullptr || spare->size < n) return false;
    spares_ = spare->next;
    const std::size_t size = spare->size;
    spare->~Spare();
    cur_ = reinterpret_cast<unsigned char *>(spare);
    left_ = size;
    return true;
  }

  std::size_t align_;
  std::size_t next_ = kChunkSize;
  unsigned char *cur_ = nullptr;
  std::size_t left_ = 0;
  Spare *spares_ = nullptr;
};

Arena g_records(kRecordAlign);  // records and key indexes
Arena g_chains(kSlotAlign);     // slots and key copies

constexpr std::size_t kMinPlaces = 16;

// Full hash and length of a key, in one pass (FNV-1a).
std::uint64_t key_hash(const char *key, std::size_t *len) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  const char *p = key;
  for (; *p != '\0'; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 0x100000001b3ULL;
  *len = static_cast<std::size_t>(p - key);
  return h;
}

bool created(const TAB_table *tab) {
  return tab != nullptr && tab->tab_size > 0 && tab->numkey >= 1 && tab->numkey <= 4;
}

std::size_t places_of(const TAB_table *tab, int k) { return std::size_t{1} << (64 - tab->shift[k]); }

std::size_t home_of(std::uint64_t hash, unsigned shift) {
  // The multiply spreads every bit of the hash into the top bits taken.
  return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ULL) >> shift);
}

// The place of key in an index: the one holding it, or the free one where it
// goes. The index is never full, so the walk ends.
TAB_place *place_of(TAB_place *index, unsigned shift, std::uint64_t hash, const char *key, std::size_t len) {
  const std::size_t mask = (std::size_t{1} << (64 - shift)) - 1;
  for (std::size_t i = home_of(hash, shift);; i = (i + 1) & mask) {
    TAB_place &p = index[i];
    if (p.first == nullptr) return &p;
    if (p.hash == hash && p.first->len == len && std::memcmp(p.first->key, key, len) == 0) return &p;
  }
}

// A free index of `places` (a power of two) places, or null.
TAB_place *new_index(std::size_t places) {
  if (places > SIZE_MAX / sizeof(TAB_place)) return nullptr;
  auto *index = static_cast<TAB_place *>(g_records.alloc(places * sizeof(TAB_place)));
  if (index != nullptr)
    for (std::size_t i = 0; i < places; ++i) index[i] = TAB_place{0, nullptr};
  return index;
}

// Doubles key number k's index when one more key would fill it past half.
// The old index goes back to the arena, whose next records fill it.
bool make_room(TAB_table *tab, int k) {
  const std::size_t places = places_of(tab, k);
  if ((tab->keys[k] + 1) * 2 <= places) return true;
  TAB_place *index = new_index(places * 2);
  if (index == nullptr) return false;
  const unsigned shift = tab->shift[k] - 1;
  const std::size_t mask = places * 2 - 1;
  TAB_place *old = tab->index[k];
  for (std::size_t i = 0; i < places; ++i) {
    if (old[i].first == nullptr) continue;
    // The keys are distinct: each goes to the first free place from its
    // home, and no slot need be read to compare them.
    std::size_t at = home_of(old[i].hash, shift);
    while (index[at].first != nullptr) at = (at + 1) & mask;
    index[at] = old[i];
  }
  tab->index[k] = index;
  tab->shift[k] = shift;
  g_records.give_back(old, places * sizeof(TAB_place));
  return true;
}

// The first slot of key under key number keynum, or null.
TAB_entry *first_of(TAB_table *tab, int keynum, const char *key) {
  if (!created(tab) || keynum < 1 || keynum > tab->numkey || key == nullptr) return nullptr;
  const int k = keynum - 1;
  if (tab->index[k] == nullptr) return nullptr;
  std::size_t len = 0;
  const std::uint64_t hash = key_hash(key, &len);
  return place_of(tab->index[k], tab->shift[k], hash, key, len)->first;
}

}  // namespace

int TAB_init(TAB_table *tab) {
  if (tab == nullptr) return 0;
  tab->data_ptr = nullptr;
  tab->head_ptr = nullptr;
  tab->last_ptr = nullptr;
  tab->num_entry = 0;
  tab->numkey = 0;
  return 0;
}

int TAB_create(TAB_table *tab, int tsize, int dsize, int nkey) {
  if (tab == nullptr) return -1;
  TAB_init(tab);
  tab->tab_size = 0;
  tab->data_size = 0;
  for (int k = 0; k < 4; ++k) {
    tab->index[k] = nullptr;
    tab->shift[k] = 0;
    tab->keys[k] = 0;
  }
  if (tsize < 1 || dsize < 0 || nkey < 1 || nkey > 4) return -1;

  // Room for tsize keys at most half full.
  std::size_t places = kMinPlaces;
  unsigned bits = 4;
  while (places < static_cast<std::size_t>(tsize) * 2) {
    places *= 2;
    ++bits;
  }
  for (int k = 0; k < nkey; ++k) {
    tab->index[k] = new_index(places);
    if (tab->index[k] == nullptr) {
      for (int j = 0; j < 4; ++j) tab->index[j] = nullptr;
      return -1;
    }
    tab->shift[k] = 64 - bits;
  }
  tab->tab_size = tsize;
  tab->data_size = dsize;
  tab->numkey = nkey;
  return 0;
}

int TAB_key(TAB_table *tab, const char *key) {
  if (tab == nullptr || tab->tab_size <= 0 || key == nullptr) return 0;
  std::uint64_t h = 0;
  for (const char *p = key; *p != '\0'; ++p) {
    const auto s = static_cast<std::int64_t>(static_cast<signed char>(*p));
    h = (h * 257u + static_cast<std::uint64_t>(s)) % kHashMod;
  }
  return static_cast<int>(h % static_cast<std::uint64_t>(tab->tab_size));
}

int TAB_enter(TAB_table *tab, const void *data, ...) {
  if (!created(tab) || data == nullptr) return -1;
  const int nkey = tab->numkey;

  const char *keys[4] = {};
  std::va_list ap;
  va_start(ap, data);
  for (int k = 0; k < nkey; ++k) keys[k] = va_arg(ap, const char *);
  va_end(ap);

  std::uint64_t hash[4] = {};
  std::size_t len[4] = {};
  std::size_t slot_bytes = 0;
  for (int k = 0; k < nkey; ++k) {
    if (keys[k] == nullptr || tab->index[k] == nullptr) return -1;
    hash[k] = key_hash(keys[k], &len[k]);
    if (len[k] >= UINT32_MAX) return -1;
    slot_bytes += sizeof(TAB_entry) + round_up(len[k] + 1, kSlotAlign);
  }

  // Everything is allocated before anything is linked in, so a failure
  // leaves the table as it was (a grown index holds the same keys). Each
  // new slot is followed by its key text.
  for (int k = 0; k < nkey; ++k)
    if (!make_room(tab, k)) return -1;
  char *record = static_cast<char *>(g_records.alloc(static_cast<std::size_t>(tab->data_size)));
  auto *cursor = static_cast<unsigned char *>(g_chains.alloc(slot_bytes));
  if (record == nullptr || cursor == nullptr) return -1;
  std::memcpy(record, data, static_cast<std::size_t>(tab->data_size));

  TAB_entry *first_slot = nullptr;
  for (int k = 0; k < nkey; ++k) {
    auto *slot = new (cursor) TAB_entry{};
    cursor += sizeof(TAB_entry);
    char *copy = reinterpret_cast<char *>(cursor);
    std::memcpy(copy, keys[k], len[k] + 1);
    cursor += round_up(len[k] + 1, kSlotAlign);
    slot->key = copy;
    slot->data = record;
    slot->len = static_cast<std::uint32_t>(len[k]);
    slot->same_last = slot;
    TAB_place *place = place_of(tab->index[k], tab->shift[k], hash[k], keys[k], len[k]);
    if (place->first == nullptr) {
      *place = TAB_place{hash[k], slot};
      ++tab->keys[k];
    } else {
      place->first->same_last->same = slot;
      place->first->same_last = slot;
    }
    if (k == 0) first_slot = slot;
  }

  first_slot->next = nullptr;
  if (tab->head_ptr == nullptr) {
    tab->head_ptr = first_slot;
  } else {
    tab->last_ptr->next = first_slot;
  }
  tab->last_ptr = first_slot;
  ++tab->num_entry;
  return 0;
}

char *TAB_search(TAB_table *tab, int keynum, const char *key) {
  TAB_entry *e = first_of(tab, keynum, key);
  return e != nullptr ? e->data : nullptr;
}

int TAB_searches(TAB_table *tab, int keynum, const char *key, char **ptrs, int max) {
  if (ptrs == nullptr || max <= 0) return 0;
  int found = 0;
  for (TAB_entry *e = first_of(tab, keynum, key); e != nullptr && found < max; e = e->same)
    ptrs[found++] = e->data;
  return found;
}

int TAB_first(TAB_table *tab) {
  if (tab != nullptr) tab->data_ptr = tab->head_ptr;
  return 0;
}

char *TAB_next(TAB_table *tab) {
  if (tab == nullptr || tab->tab_size <= 0 || tab->data_ptr == nullptr) return nullptr;
  char *data = tab->data_ptr->data;
  tab->data_ptr = tab->data_ptr->next;
  return data;
}
