#ifndef IO_ORDER_H
#define IO_ORDER_H
// A sorted order over the entries of an index table, kept sorted as entries are added.
//
// The entries are numbered from 0 by their owner, which gives each entry's key text through a
// key function. The order sorts the entry numbers by their key texts (byte order; equal keys by
// entry number) and answers in O(log n): the rank at which a run of keys that begin with a text
// starts or ends, the entry at a rank, and the place of a new entry. Adding an entry costs
// O(log n) comparisons and a move within one block.
//
// Layout: a list of blocks, each a sorted run of at most IO_ORDER_BLOCK entry numbers, with the
// number of entries before each block. Each block is allocated whole, so an insertion allocates
// only when a full block splits.
#include "io_records.h"

#include <cstddef>

#define IO_ORDER_BLOCK 1024

// The key text of an entry of the owner. It must stay the same while the entry is in the order.
typedef const char *(*IO_order_key)(const void *owner, int32_t entry);

struct IO_order {
  int32_t **m_blocks; // each holds IO_ORDER_BLOCK entry numbers
  int32_t *m_sizes;   // entries in each block
  int32_t *m_before;  // entries in the blocks before each block
  int32_t m_numblocks;
  int32_t m_capacity; // blocks the three arrays hold
  int32_t m_total;    // entries in the order
  IO_order_key m_key;
  const void *m_owner;
};

// A position in the order, for walking it in either direction.
struct IO_order_cursor {
  int32_t m_block;
  int32_t m_slot;
};

// Sets up an empty order over the entries of `owner`.
void ioorder_init(IO_order *order, IO_order_key key, const void *owner);
// Releases the blocks; the order is empty afterwards.
void ioorder_free(IO_order *order);

// Adds an entry at its sorted place. 0, or IO_MEMORY_ERR when a block cannot be had (the order
// is then unchanged).
int ioorder_insert(IO_order *order, int32_t entry);

// Makes the order hold the entries 0 to count - 1 and no other, as many insertions would, in
// O(count log count) steps and a stack O(log count) deep whatever the order of the keys. 0, or
// IO_MEMORY_ERR when memory runs out (the order is then empty).
int ioorder_build(IO_order *order, int32_t count);

// The keys partitioned and the comparisons made by the last sort of ioorder_build in any thread
// (0 when the entries arrived sorted): for tests of the sort's bound.
int64_t ioorder_sort_steps(void);

// The rank of the first entry whose key, cut to `length` bytes, is not below `text` (`after` 0)
// or is above it (`after` 1). The entries whose keys begin with the text are the ranks from
// ioorder_bound(..., 0) up to, not including, ioorder_bound(..., 1).
int32_t ioorder_bound(const IO_order *order, const char *text, size_t length, int after);

// ioorder_bound(..., 1) for a caller that knows the entries from rank `from` on are not below the
// text: searches forward from there (galloping within its block), so a short run costs a few
// comparisons instead of a second search of the whole order.
int32_t ioorder_bound_from(const IO_order *order, const char *text, size_t length, int32_t from);

// The entry at a rank (0 to total - 1), or -1 outside that range.
int32_t ioorder_at(const IO_order *order, int32_t rank);

// Cursors: placed at a rank; the entry under the cursor (-1 past either end); a step.
void ioorder_seek(const IO_order *order, int32_t rank, IO_order_cursor *cursor);
int32_t ioorder_entry(const IO_order *order, const IO_order_cursor *cursor);
void ioorder_next(const IO_order *order, IO_order_cursor *cursor);
void ioorder_prev(const IO_order *order, IO_order_cursor *cursor);

#endif
