// Kelvo.exe: the mesh reader that the library starts to import a mesh file (KelvoRun.h).
#include "KelvoRun.h"
#include "ToolInterrupt.h"

#include <csignal>
#include <cstdio>
#include <new>

#include <malloc.h>
#include <unistd.h>

namespace {

// The mesh file is mapped while it is parsed: shortened meanwhile by another program, its lost
// pages raise SIGBUS. That is reported as a failed import (nothing has been written by then).
void meshFileChanged(int) {
  static const char message[] = "<ERROR_BEG>\nUnable to read the Gmsh mesh file: it was changed "
                                "while it was read.\n<ERROR_END>\n";
  ssize_t written = write(STDOUT_FILENO, message, sizeof message - 1);
  (void)written;
  _exit(1);
}

} // namespace

int main(int argc, char **argv) {
  // A parent that went away must not turn the last lines into a crash.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGBUS, meshFileChanged);
  // SIGINT and SIGTERM abandon the import: its temporary file goes, and the error says so.
  ToolInterrupt_catch();
  // The reader's large working arrays come and go phase by phase. Kept in the heap rather than
  // mapped and unmapped one by one, their memory is reused instead of being handed back and
  // faulted in (and zeroed by the system) again: that cost more than the reading itself on large
  // meshes. The mesh as read is kept in arrays mapped on their own (KelvoArray); they and the
  // heap's free memory go back to the system beside the writing of the intermediate file.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  try {
    return KelvoRun_main(argc, argv, stdout);
  } catch (const std::bad_alloc &) {
    fputs("<ERROR_BEG>\nThere is not enough memory to import the mesh.\n<ERROR_END>\n", stdout);
    fflush(stdout);
    return 1;
  }
}
