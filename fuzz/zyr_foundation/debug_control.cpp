// Reads the input as debug control text (without starting any log) and asks the levels of a few
// function names, among them the input's own first line. Warnings raised about the text are
// cleared after each input.
#include "Source.h"
#include "zyrDebugManager.h"
#include "zyrErrorManager.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  zyrDebugManager *manager = zyrDebugManager_newEmpty();
  Source *source = Source_newBuffer(reinterpret_cast<const char *>(data), static_cast<int64_t>(size));
  zyrDebugManager_readControlSource(manager, source, 0);
  Source_delete(source);

  std::string input(reinterpret_cast<const char *>(data), size);
  const std::string firstLine = input.substr(0, input.find_first_of(std::string("\n\0", 2)));
  for (const char *name : {"Region_new", "HashTable_resize", "", firstLine.c_str()}) {
    int32_t levels[4];
    zyrDebugManager_getLevels(manager, name, levels);
    for (int32_t level : levels)
      if (level == 0)
        std::abort(); // a zero level always reads as not set
  }
  zyrDebugManager_delete(manager);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
