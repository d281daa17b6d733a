// The simulation-database reader's output, read as the query reads it but from memory (no child
// process): any bytes must give a well-formed answer, only the query's own error codes, and no
// more models than the lines could hold.
#include "Conduit.h"
#include "Pipe.h"
#include "zyrCString.h"
#include "zyrDSDBQuery.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  int descriptor = memfd_create("dsdb_output", MFD_CLOEXEC);
  if (descriptor < 0)
    return 0;
  if (size > 0 && write(descriptor, data, size) != static_cast<ssize_t>(size)) {
    close(descriptor);
    return 0;
  }
  lseek(descriptor, 0, SEEK_SET);
  Conduit *conduit = Conduit_newFromDescription("pipe");
  conduit->m_readPipe = Pipe_newExisting(descriptor, 0);

  int32_t count = -1;
  int32_t *first = nullptr, *second = nullptr;
  char **firstTexts = nullptr, **secondTexts = nullptr;
  int result = zyrDSDBQuery_readOutput(conduit, &count, &first, &second, &firstTexts, &secondTexts);
  Conduit_delete(conduit);

  if (result != 0 && result != 1)
    std::abort();
  const bool none = first == nullptr && second == nullptr && firstTexts == nullptr && secondTexts == nullptr;
  const bool all = first != nullptr && second != nullptr && firstTexts != nullptr && secondTexts != nullptr;
  if (count < 0 || (count == 0 && !none) || (count > 0 && !all))
    std::abort();
  // Four lines per model after the tag and the count line.
  const int64_t lines = std::count(data, data + size, '\n') + 1;
  if (count > 0 && 4 * static_cast<int64_t>(count) + 2 > lines)
    std::abort();
  for (int32_t i = 0; i < count; ++i)
    if (firstTexts[i] == nullptr || secondTexts[i] == nullptr || std::strchr(firstTexts[i], '\n') ||
        std::strchr(secondTexts[i], '\n'))
      std::abort();
  zyrMemory_free(first, "fuzz");
  zyrMemory_free(second, "fuzz");
  zyrCStringArray_free(firstTexts, static_cast<uint64_t>(count));
  zyrCStringArray_free(secondTexts, static_cast<uint64_t>(count));

  zyrErrorManager *manager = zyrErrorManager_get();
  int32_t noOfErrors = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(manager, &noOfErrors, &errors);
  for (int32_t i = 0; i < noOfErrors; ++i) {
    int32_t code = zyrError_getCode(errors[i]);
    // A success raises at most the warning.
    if (code != ZYR_W_INVALID_RESULT_IGNORED && (code != ZYR_U_INVALID_RESULT || result == 1))
      std::abort();
  }
  zyrMemory_free(errors, "fuzz");
  zyrErrorManager_clearErrors(manager);
  return 0;
}
