#ifndef ZYR_PAIR_H
#define ZYR_PAIR_H
// Two pointer-sized members; the hash-table and dictionary iterators return their current item
// in one.
#include <cstdio>

struct Pair {
  void *m_first;
  void *m_second;
};

Pair *Pair_new();
void Pair_delete(Pair *pair);
void Pair_print(const Pair *pair, FILE *stream);
void Pair_set(Pair *pair, void *first, void *second);
void *Pair_getFirst(const Pair *pair);
void *Pair_getSecond(const Pair *pair);

#endif
