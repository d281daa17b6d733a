#ifndef ZYR_LABELLING_H
#define ZYR_LABELLING_H
// An integer label for each object, keyed by the object's address (identifiers of regions in the
// definition-file writer, zone numbers, names in use). The labelling owns its label entries and
// leaves the labelled objects alone.
#include <cstdint>
#include <cstdio>

struct HashTable;

struct LabellingEntry {
  int32_t m_label;
};

struct Labelling {
  HashTable *m_table; // object -> LabellingEntry
};

LabellingEntry *LabellingEntry_new(int32_t label);
void LabellingEntry_delete(LabellingEntry *entry);

Labelling *Labelling_new();
void Labelling_delete(Labelling *labelling);
void Labelling_print(const Labelling *labelling, FILE *stream);

// Overwrites the object's label when it has one, else adds it.
void Labelling_setLabel(Labelling *labelling, const void *object, int32_t label);
// 1 and the label when the object is labelled; 0 otherwise (the output untouched).
int Labelling_getLabel(const Labelling *labelling, const void *object, int32_t *label);
// 1 when the object's label was removed, 0 when it had none.
int Labelling_removeLabel(Labelling *labelling, const void *object);

#endif
