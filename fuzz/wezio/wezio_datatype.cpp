// Data-type strings from arbitrary bytes: parsing, descriptions and element location must never
// read or write outside their arrays, and must agree with each other.
#include "io_datatype.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
int discard(const char *, int32_t) { return 0; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string type(reinterpret_cast<const char *>(data), size);
  int32_t entries = 0;
  int32_t types[IO_MAXENT], counts[IO_MAXENT];
  int status = parseStructure(discard, type.c_str(), &entries, types, counts);
  if (status != IO_OK) return 0;
  if (entries < 1 || entries > IO_MAXENT) abort();
  int64_t sum = 0;
  for (int32_t i = 0; i < entries; ++i) {
    if (types[i] < 0 || types[i] >= IO_TYPE_END || counts[i] < 0) abort();
    if (types[i] == IO_TYPE_STRI && counts[i] > IO_STRING_LEN) abort();
    sum += counts[i];
  }

  int32_t again = -1;
  IO_strct_item *description = ii_parse_strct(discard, type.c_str(), &again);
  if (!description) {
    if (sum <= INT32_MAX) abort();
    return 0;
  }
  if (again != entries || description[entries].m_type != IO_TYPE_END ||
      description[entries].m_count != sum)
    abort();
  // Every element of a record lies within its type's share of the record.
  int64_t step = sum > 64 ? sum / 64 : 1;
  for (int64_t e = 0; e < sum; e += step) {
    int32_t code = -1;
    int64_t position = -1;
    if (ii_strct_locate_element(discard, description, 3, static_cast<int32_t>(e), &code,
                                &position) != IO_OK)
      abort();
    int64_t perType = 0;
    for (int32_t i = 0; i < entries; ++i)
      if (types[i] == code) perType += counts[i];
    if (position < 3 * perType || position >= 4 * perType) abort();
  }
  int32_t code;
  int64_t position;
  if (ii_strct_locate_element(discard, description, 0, static_cast<int32_t>(sum), &code,
                              &position) == IO_OK)
    abort();
  ii_free_strct(discard, description);
  return 0;
}
