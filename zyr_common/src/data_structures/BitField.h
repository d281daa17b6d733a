#ifndef ZYR_BIT_FIELD_H
#define ZYR_BIT_FIELD_H
// Eight flags in one byte; flag i (0 to 7) has the mask 1 << i. Usually kept inside the record
// that uses it. A bit number outside 0 to 7 is a failed assertion.
#include <cstdint>
#include <cstdio>

struct BitField {
  uint8_t m_flags;
};

BitField *BitField_new();
BitField *BitField_copy(const BitField *field);
void BitField_delete(BitField *field);
void BitField_print(const BitField *field, FILE *stream);

void BitField_setBit(BitField *field, int bit);
void BitField_clearBit(BitField *field, int bit);
void BitField_setAll(BitField *field);
void BitField_clearAll(BitField *field);
// The flag's mask (1, 2, 4 ... 128) when set, 0 when clear.
int BitField_isSet(const BitField *field, int bit);

#endif
