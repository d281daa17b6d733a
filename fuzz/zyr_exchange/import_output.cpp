// The mesh reader's output, read as an import reads it but from memory (no child process): any
// bytes give 1 or 0, only the warning 3 and the error 10032 of the protocol, an error exactly when
// a line begins with the error tag, and a summary holding every line read.
#include "Conduit.h"
#include "ImportedMesh.h"
#include "Pipe.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  int descriptor = memfd_create("import_output", MFD_CLOEXEC);
  if (descriptor < 0)
    return 0;
  if (size > 0 && write(descriptor, data, size) != static_cast<ssize_t>(size)) {
    close(descriptor);
    return 0;
  }
  lseek(descriptor, 0, SEEK_SET);
  Conduit *conduit = Conduit_newFromDescription("pipe");
  conduit->m_readPipe = Pipe_newExisting(descriptor, 0);

  ImportedMesh *im = zyrMemory_allocateZeroedArray<ImportedMesh>(1, "fuzz");
  const int result = ImportedMesh_readOutput(im, conduit);
  Conduit_delete(conduit);
  if (result != 0 && result != 1)
    std::abort();

  // An error block opens at a line that begins with the tag.
  bool tagged = size >= 11 && std::memcmp(data, "<ERROR_BEG>", 11) == 0;
  for (size_t i = 0; !tagged && i + 12 <= size; ++i)
    tagged = data[i] == '\n' && std::memcmp(data + i + 1, "<ERROR_BEG>", 11) == 0;
  // A NUL ends what the line reader hands over of a line, so a tag after one is not seen.
  if (std::memchr(data, 0, size) == nullptr && (result == 0) != tagged)
    std::abort();
  if (size > 0 && (im->m_summary == nullptr || im->m_summaryLength < 1))
    std::abort();
  zyrMemory_free(im->m_summary, "fuzz");
  zyrMemory_free(im, "fuzz");

  zyrErrorManager *manager = zyrErrorManager_get();
  int32_t noOfErrors = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(manager, &noOfErrors, &errors);
  for (int32_t i = 0; i < noOfErrors; ++i) {
    const int32_t code = zyrError_getCode(errors[i]);
    if (code != 3 && code != 10032)
      std::abort();
  }
  zyrMemory_free(errors, "fuzz");
  zyrErrorManager_clearErrors(manager);
  return 0;
}
