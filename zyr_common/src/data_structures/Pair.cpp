#include "Pair.h"

#include "zyrMemory.h"

Pair *Pair_new() { return zyrMemory_allocateZeroedArray<Pair>(1, __func__); }

void Pair_delete(Pair *pair) { zyrMemory_free(pair, __func__); }

void Pair_print(const Pair *pair, FILE *stream) {
  std::fprintf(stream, "Pair (%p)\n", static_cast<const void *>(pair));
  std::fprintf(stream, "m_first  = %p\n", pair->m_first);
  std::fprintf(stream, "m_second = %p\n", pair->m_second);
}

void Pair_set(Pair *pair, void *first, void *second) {
  pair->m_first = first;
  pair->m_second = second;
}

void *Pair_getFirst(const Pair *pair) { return pair->m_first; }

void *Pair_getSecond(const Pair *pair) { return pair->m_second; }
