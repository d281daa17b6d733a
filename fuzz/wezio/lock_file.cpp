// Lock files of arbitrary contents beside a sound data-set file: opening it for reading, for
// writing and for either, becoming its writer and closing must neither crash nor leak, and must
// leave no lock file behind once every record let go of the file.
#include "io_file.h"
#include "io_lock.h"
#include "zyrTestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string theDirectory;

int quiet(const char *, int32_t) { return 0; }

void writeBytes(const std::string &name, const uint8_t *data, size_t size) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
    std::abort();
  close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_lock_file");
  theDirectory = dir.path();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string name = theDirectory + "/data.wez", lock = name + ".lck";
  std::remove(name.c_str());
  static const char access[] = {'r', 'w', 'd'};
  const uint8_t mode = size > 0 ? data[0] : 0;
  if (size > 0) {
    ++data;
    --size;
  }
  writeBytes(lock, data, size);
  IO_file first, second;
  iif_clear_record(&first);
  iif_clear_record(&second);
  first.m_callback = quiet;
  second.m_callback = quiet;
  const char a[2] = {access[mode % 3], '\0'};
  const char b[2] = {access[(mode / 3) % 3], '\0'};
  const int openedFirst = iif_open(&first, name.c_str(), a) == IO_OK;
  if (!openedFirst)
    iif_release_record(&first);
  const int openedSecond = iif_open(&second, name.c_str(), b) == IO_OK;
  if (!openedSecond)
    iif_release_record(&second);
  if (openedFirst && (mode & 0x40))
    setfilebusyflag(quiet, &first);
  if (openedSecond)
    setfilebusyflag(quiet, &second);
  if (openedFirst)
    iif_close(&first);
  if (openedSecond)
    iif_close(&second);
  iif_free_contents(&first);
  iif_free_contents(&second);
  std::remove(lock.c_str());
  return 0;
}
