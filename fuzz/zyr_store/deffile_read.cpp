// Reading arbitrary bytes as a definition file: opening, listing every data set and reading each
// one as every value kind, its attributes, description, signature and data type, and the file's
// version. Whatever the bytes, the answers are 1 or 0 with nothing leaked or overrun.
#include "DefFile.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Removed with the process's static objects at its exit.
const std::string &scratchName() {
  static const zyrtest::ScratchDir dir("zyr-deffile");
  static const std::string name = dir.file("fuzz.wez");
  return name;
}

void readAsEveryKind(DefFile *file, const char *what, const char *where, int32_t when) {
  int32_t count = 0;
  int32_t *ints = nullptr;
  if (DefFile_readInts(file, what, where, when, &ints, &count)) zyrMemory_free(ints, "fuzz");
  float *floats = nullptr;
  if (DefFile_readFloats(file, what, where, when, &floats, &count)) zyrMemory_free(floats, "fuzz");
  double *doubles = nullptr;
  if (DefFile_readDoubles(file, what, where, when, &doubles, &count)) zyrMemory_free(doubles, "fuzz");
  char *chars = nullptr;
  if (DefFile_readChars(file, what, where, when, &chars, &count)) zyrMemory_free(chars, "fuzz");
  char *text = nullptr;
  if (DefFile_readCharsAsString(file, what, where, when, &text)) zyrCString_free(text);
  char **strings = nullptr;
  if (DefFile_readIoStrings(file, what, where, when, &strings, &count))
    zyrCStringArray_free(strings, static_cast<uint64_t>(count));
  if (DefFile_readStrings(file, what, where, when, &strings, &count))
    zyrCStringArray_free(strings, static_cast<uint64_t>(count));
  zyrUUID **uuids = nullptr;
  if (DefFile_readUUIDs(file, what, where, when, &uuids, &count)) {
    for (int32_t i = 0; i < count; ++i) zyrUUID_delete(uuids[i]);
    zyrMemory_free(uuids, "fuzz");
  }
  int32_t value;
  DefFile_readInt(file, what, where, when, &value);
  double scalar;
  DefFile_readDouble(file, what, where, when, &scalar);
  // Reads into small buffers of the caller.
  int32_t buffer[4];
  count = 4;
  DefFile_readIntArray(file, what, where, when, buffer, &count);
  char *slots[2] = {nullptr, nullptr};
  count = 2;
  if (DefFile_readStringArray(file, what, where, when, slots, &count))
    for (int32_t i = 0; i < count; ++i) zyrCString_free(slots[i]);

  int32_t c[7];
  DefFile_readSignature(file, what, where, when, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6]);
  char **names = nullptr, **values = nullptr;
  if (DefFile_readAttributes(file, what, where, when, &count, &names, &values)) {
    zyrCStringArray_free(names, static_cast<uint64_t>(count));
    zyrCStringArray_free(values, static_cast<uint64_t>(count));
  }
  for (int full = 0; full < 2; ++full) {
    char **texts = nullptr;
    if (DefFile_readDescription(file, what, where, when, full, &count, &texts))
      zyrCStringArray_free(texts, static_cast<uint64_t>(count));
  }
  char *type = nullptr;
  if (DefFile_getDataType(file, what, where, when, &type)) zyrCString_free(type);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  const std::string &name = scratchName();
  FILE *out = fopen(name.c_str(), "wb");
  if (!out) abort();
  if (size > 0 && fwrite(bytes, 1, size, out) != size) abort();
  fclose(out);
  unlink((name + ".lck").c_str());

  DefFile *file = DefFile_new(name.c_str());
  if (file) {
    int32_t count = 0;
    char **whats = nullptr, **wheres = nullptr;
    int32_t *whens = nullptr;
    DefFile_match(file, "*", "*", -1, 0, &count, &whats, &wheres, &whens);
    for (int32_t i = 0; i < count && i < 32; ++i) readAsEveryKind(file, whats[i], wheres[i], whens[i]);
    if (count > 0) readAsEveryKind(file, whats[0], wheres[0], -2);
    zyrCStringArray_free(whats, static_cast<uint64_t>(count));
    zyrCStringArray_free(wheres, static_cast<uint64_t>(count));
    zyrMemory_free(whens, "fuzz");
    int32_t major, minor, point;
    DefFile_getVersion(file, &major, &minor, &point);
    zyrError *error = DefFile_reportError(file, "fuzz");
    (void)error;
    DefFile_delete(file);
  }
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
