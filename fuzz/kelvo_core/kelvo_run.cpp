// The mesh reader run whole on any command line and mesh file: its options, the .msh parser, the
// model built from it and the intermediate file written through the data-set library. An input is
// up to eight command-line words, one a line after a first byte giving their count, then the mesh
// file's bytes; "@M" stands for the mesh file and "@I" for the intermediate file, and a "/" in a
// word becomes "_", so that every file the run names is in the scratch directory (the run's
// working directory). The exit status must be 0, 1 or 2; a run that answered 0 leaves one new
// file, which opens as a data-set file with an index, and any other leaves none.
#include "KelvoRun.h"
#include "io_file.h"
#include "io_index.h"
#include "io_lock.h"
#include "zyrTestSupport.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const zyrtest::ScratchDir *theDirectory = nullptr;

int quiet(const char *, int32_t) { return 0; }

// The data-set file opens, read-only, and its lock goes with the close.
bool opens(const std::string &name) {
  IO_file record;
  iif_clear_record(&record);
  record.m_callback = quiet;
  if (iif_open(&record, name.c_str(), "r") != IO_OK) {
    iif_release_record(&record);
    iif_free_contents(&record);
    return false;
  }
  iif_close(&record);
  return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_kelvo_run");
  theDirectory = &dir;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  std::string rest;
  const std::string mesh = "mesh.msh", intermediate = "mesh.gmo";
  const std::vector<std::string> arguments =
      zyrtest::fuzzCommandLine("Kelvo.exe", data, size, 8, {{"@M", mesh}, {"@I", intermediate}}, &rest);
  const std::vector<const char *> argv = zyrtest::argumentVector(arguments);

  zyrtest::WorkingDir here(theDirectory->path());
  zyrtest::writeFile(mesh, rest);
  const int status = KelvoRun_main(static_cast<int>(arguments.size()), argv.data(), zyrtest::fuzzSink());
  if (status < 0 || status > 2)
    std::abort();
  // Every file the run left beside the mesh file.
  std::vector<std::string> left;
  for (const std::string &name : theDirectory->listing())
    if (name != mesh)
      left.push_back(name);
  if (status == 0 && (left.size() != 1 || !opens(left[0])))
    std::abort();
  if (status != 0 && !left.empty())
    std::abort();
  for (const std::string &name : left)
    std::remove(name.c_str());
  std::remove(mesh.c_str());
  return 0;
}
