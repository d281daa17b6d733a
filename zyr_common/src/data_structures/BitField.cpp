#include "BitField.h"

#include "zyrAssert.h"
#include "zyrMemory.h"

BitField *BitField_new() {
  BitField *field = zyrMemory_allocateArray<BitField>(1, __func__);
  field->m_flags = 0;
  return field;
}

BitField *BitField_copy(const BitField *field) {
  BitField *copy = zyrMemory_allocateArray<BitField>(1, __func__);
  copy->m_flags = field->m_flags;
  return copy;
}

void BitField_delete(BitField *field) { zyrMemory_free(field, __func__); }

void BitField_print(const BitField *field, FILE *stream) {
  std::fprintf(stream, "\nBitField (%p): ", static_cast<const void *>(field));
  for (int bit = 0; bit < 8; ++bit)
    std::fputs((field->m_flags >> bit) & 1 ? "1" : "0", stream);
  std::fputs("\n", stream);
}

void BitField_setBit(BitField *field, int bit) {
  zyrAssert(bit > -1 && bit < 8);
  field->m_flags = static_cast<uint8_t>(field->m_flags | (1u << bit));
}

void BitField_clearBit(BitField *field, int bit) {
  zyrAssert(bit > -1 && bit < 8);
  field->m_flags = static_cast<uint8_t>(field->m_flags & ~(1u << bit));
}

void BitField_setAll(BitField *field) { field->m_flags = 255; }

void BitField_clearAll(BitField *field) { field->m_flags = 0; }

int BitField_isSet(const BitField *field, int bit) {
  zyrAssert(bit > -1 && bit < 8);
  return field->m_flags & (1 << bit);
}
