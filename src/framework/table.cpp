// Keyed table of fixed-size records.
//
// Storage comes from two process-wide bump arenas, so entering a record
// costs a few pointer increments instead of several mallocs. Chain slots and
// key copies live in their own arena, packed together: a chain walk then
// reads one compact region (it stays in cache for hundreds of thousands of
// entries) and never touches the records. The arenas are never freed
// (records must outlive every pointer handed out) and stay reachable from
// their chunk list, so leak checkers see no lost blocks.
#include "framework/table.hpp"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::uint64_t kHashMod = 35177;
constexpr std::size_t kChunkSize = std::size_t{1} << 20;
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
      const std::size_t want = own ? n : kChunkSize;
      void *raw = std::malloc(kHeader + want);
      if (raw == nullptr) return nullptr;
      Chunk *chunk = static_cast<Chunk *>(raw);
      chunk->prev = g_chunks;
      g_chunks = chunk;
      unsigned char *base = static_cast<unsigned char *>(raw) + kHeader;
      if (own) return base;
      cur_ = base;
      left_ = want;
    }
    void *p = cur_;
    cur_ += n;
    left_ -= n;
    return p;
  }

 private:
  std::size_t align_;
  unsigned char *cur_ = nullptr;
  std::size_t left_ = 0;
};

Arena g_records(kRecordAlign);  // records and bucket arrays
Arena g_chains(kSlotAlign);     // chain slots and key copies

// Full hash (before the bucket modulo) and length of a key, in one pass.
std::uint32_t key_hash(const char *key, std::size_t *len) {
  std::uint64_t h = 0;
  const char *p = key;
  for (; *p != '\0'; ++p) {
    const auto s = static_cast<std::int64_t>(static_cast<signed char>(*p));
    h = (h * 257u + static_cast<std::uint64_t>(s)) % kHashMod;
  }
  *len = static_cast<std::size_t>(p - key);
  return static_cast<std::uint32_t>(h);
}

bool created(const TAB_table *tab) {
  return tab != nullptr && tab->tab_size > 0 && tab->numkey >= 1 && tab->numkey <= 4;
}

// Bucket slot where key number keynum's chain for key starts, or null when
// the table cannot be searched that way.
TAB_entry *chain_of(TAB_table *tab, int keynum, const char *key, std::uint32_t *hash,
                    std::size_t *len) {
  if (!created(tab) || keynum < 1 || keynum > tab->numkey || key == nullptr) return nullptr;
  TAB_entry *buckets = tab->table[keynum - 1];
  if (buckets == nullptr) return nullptr;
  *hash = key_hash(key, len);
  return &buckets[*hash % static_cast<std::uint32_t>(tab->tab_size)];
}

bool same_key(const TAB_entry *e, const char *key, std::uint32_t hash, std::size_t len) {
  return e->hash == hash && e->len == len && std::memcmp(e->key, key, len) == 0;
}

// First slot of key on its chain, or null.
TAB_entry *first_of_key(TAB_entry *e, const char *key, std::uint32_t hash, std::size_t len) {
  for (; e != nullptr && e->key != nullptr; e = e->other) {
    if (same_key(e, key, hash, len)) return e;
  }
  return nullptr;
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
    tab->table[k] = nullptr;
    tab->tail[k] = nullptr;
  }
  if (tsize < 1 || dsize < 0 || nkey < 1 || nkey > 4) return -1;

  const auto n = static_cast<std::size_t>(tsize);
  for (int k = 0; k < nkey; ++k) {
    auto *buckets = static_cast<TAB_entry *>(g_records.alloc(n * sizeof(TAB_entry)));
    auto *tails = static_cast<TAB_entry **>(g_records.alloc(n * sizeof(TAB_entry *)));
    if (buckets == nullptr || tails == nullptr) {
      for (int j = 0; j < 4; ++j) {
        tab->table[j] = nullptr;
        tab->tail[j] = nullptr;
      }
      return -1;
    }
    for (std::size_t b = 0; b < n; ++b) {
      buckets[b] = TAB_entry{};
      tails[b] = &buckets[b];
    }
    tab->table[k] = buckets;
    tab->tail[k] = tails;
  }
  tab->tab_size = tsize;
  tab->data_size = dsize;
  tab->numkey = nkey;
  return 0;
}

int TAB_key(TAB_table *tab, const char *key) {
  if (tab == nullptr || tab->tab_size <= 0 || key == nullptr) return 0;
  std::size_t len = 0;
  return static_cast<int>(key_hash(key, &len) % static_cast<std::uint32_t>(tab->tab_size));
}

namespace {

// A new slot of key `k` goes to the end of its bucket's chain and into the
// index by key: after the last slot of the same key, or as the chain's
// newest key.
void link_slot(TAB_table *tab, int k, std::uint32_t bucket, TAB_entry *slot, const char *key, std::uint32_t hash,
               std::size_t len) {
  TAB_entry **tail = &tab->tail[k][bucket];
  (*tail)->link = slot;
  *tail = slot;
  for (TAB_entry *e = &tab->table[k][bucket];; e = e->other) {
    if (same_key(e, key, hash, len)) {
      e->same_last->same = slot;
      e->same_last = slot;
      return;
    }
    if (e->other == nullptr) {
      e->other = slot;
      return;
    }
  }
}

}  // namespace

int TAB_enter(TAB_table *tab, const void *data, ...) {
  if (!created(tab) || data == nullptr) return -1;
  const int nkey = tab->numkey;

  const char *keys[4] = {};
  std::va_list ap;
  va_start(ap, data);
  for (int k = 0; k < nkey; ++k) keys[k] = va_arg(ap, const char *);
  va_end(ap);

  std::uint32_t hash[4] = {};
  std::size_t len[4] = {};
  std::uint32_t bucket[4] = {};
  bool fresh[4] = {};  // true: the key needs a new slot at its chain's end
  std::size_t chain_bytes = 0;
  for (int k = 0; k < nkey; ++k) {
    if (keys[k] == nullptr || tab->table[k] == nullptr) return -1;
    hash[k] = key_hash(keys[k], &len[k]);
    if (len[k] >= UINT32_MAX) return -1;
    bucket[k] = hash[k] % static_cast<std::uint32_t>(tab->tab_size);
    // Slots are never emptied, so only a bucket itself can be unused.
    fresh[k] = tab->table[k][bucket[k]].key != nullptr;
    if (fresh[k]) chain_bytes += sizeof(TAB_entry);
    chain_bytes += round_up(len[k] + 1, kSlotAlign);
  }

  // Everything is allocated before anything is linked in, so a failure
  // leaves the table as it was. Each new slot is followed by its key text.
  char *record = static_cast<char *>(g_records.alloc(static_cast<std::size_t>(tab->data_size)));
  auto *cursor = static_cast<unsigned char *>(g_chains.alloc(chain_bytes));
  if (record == nullptr || cursor == nullptr) return -1;
  std::memcpy(record, data, static_cast<std::size_t>(tab->data_size));

  TAB_entry *slots[4] = {};
  for (int k = 0; k < nkey; ++k) {
    TAB_entry *slot = &tab->table[k][bucket[k]];
    if (fresh[k]) {
      slot = new (cursor) TAB_entry{};
      cursor += sizeof(TAB_entry);
    }
    char *copy = reinterpret_cast<char *>(cursor);
    std::memcpy(copy, keys[k], len[k] + 1);
    cursor += round_up(len[k] + 1, kSlotAlign);
    slot->key = copy;
    slot->data = record;
    slot->hash = hash[k];
    slot->len = static_cast<std::uint32_t>(len[k]);
    slot->same_last = slot;
    if (fresh[k]) link_slot(tab, k, bucket[k], slot, keys[k], hash[k], len[k]);
    slots[k] = slot;
  }

  TAB_entry *first = slots[0];
  first->next = nullptr;
  if (tab->head_ptr == nullptr) {
    tab->head_ptr = first;
  } else {
    tab->last_ptr->next = first;
  }
  tab->last_ptr = first;
  ++tab->num_entry;
  return 0;
}

char *TAB_search(TAB_table *tab, int keynum, const char *key) {
  std::uint32_t hash = 0;
  std::size_t len = 0;
  TAB_entry *chain = chain_of(tab, keynum, key, &hash, &len);
  TAB_entry *e = first_of_key(chain, key, hash, len);
  return e != nullptr ? e->data : nullptr;
}

int TAB_searches(TAB_table *tab, int keynum, const char *key, char **ptrs, int max) {
  if (ptrs == nullptr || max <= 0) return 0;
  std::uint32_t hash = 0;
  std::size_t len = 0;
  int found = 0;
  TAB_entry *chain = chain_of(tab, keynum, key, &hash, &len);
  for (TAB_entry *e = first_of_key(chain, key, hash, len); e != nullptr && found < max;
       e = e->same) {
    ptrs[found++] = e->data;
  }
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
