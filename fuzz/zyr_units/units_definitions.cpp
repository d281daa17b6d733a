// The definition reader on arbitrary text, and unit-text parsing and conversion on arbitrary text
// against both the fuzzed definitions and the shipped ones.
#include "UnitDefinitions.h"
#include "UnitTable.h"
#include "units.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

const char *const kProbes[] = {"m", "s^-1 m", "rev min^-1", "C", "x^99 x^-99"};

void exercise(const UnitTable *table, const std::string &text) {
  UnitValue value;
  std::string message;
  if (UnitTable_evaluate(table, text.data(), text.size(), &value, &message) == 0)
    UnitTable_describeDimension(table, &value);
  double scale = 0, offset = 0;
  UnitTable_convert(table, text.c_str(), "m", &scale, &offset, &message);
  UnitTable_convert(table, "radian s^-1", text.c_str(), &scale, &offset, &message);
  UnitTable_convert(table, text.c_str(), text.c_str(), &scale, &offset, &message);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static UnitTable *shipped = [] {
    UnitTable *table = UnitTable_new();
    size_t length = 0;
    const char *text = UnitDefinitions_builtin(&length);
    UnitTable_read(table, text, length, "built-in", nullptr);
    return table;
  }();
  const char *text = reinterpret_cast<const char *>(data);

  UnitTable *table = UnitTable_new();
  std::string message;
  if (UnitTable_read(table, text, size, "fuzz", &message) == 0) {
    for (const char *probe : kProbes)
      exercise(table, probe);
    // Every name it defined, alone and raised to a power.
    for (const auto &entry : table->m_byName) {
      exercise(table, entry.first);
      exercise(table, entry.first + "^-3 " + entry.first);
    }
    UnitTable_print(table, zyrtest::fuzzSink());
  }
  UnitTable_delete(table);

  // The bytes up to the first NUL as a unit text, as a caller of convert would pass them.
  std::string units(text, strnlen(text, size));
  exercise(shipped, units);
  int status = -1;
  u_init_text(text, size, "fuzz", &status);
  double scale = 0;
  convert(units.c_str(), "m", &scale, nullptr, &status);
  return 0;
}
