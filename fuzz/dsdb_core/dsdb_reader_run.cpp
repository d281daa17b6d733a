// The simulation-database reader run whole on any command line and database text: its options,
// the listing, and the export's copy of a model's mesh file over the intermediate file. An input
// is up to eight command-line words, one a line after a first byte giving their count, then the
// database text; "@D" stands for the database and "@I" for the intermediate file, and a "/" in a
// word becomes "_", so that every file the run names is in the scratch directory (the run's
// working directory), where the meshes "a.gmo" and "rotor.gmo" lie. The exit status must be 0, 1
// or 2; the intermediate file is either as it was or a whole copy of one of the meshes, and no
// temporary file is left behind.
#include "DsdbReaderRun.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

const zyrtest::ScratchDir *theDirectory = nullptr;

const char *const kMeshes[][2] = {{"a.gmo", "the mesh of model A"}, {"rotor.gmo", "the rotor's mesh\n"}};
const char *const kDatabase = "study.dsdb";
const char *const kIntermediate = "out.gmo";
const char *const kBefore = "what the intermediate file held before";

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_dsdb_reader_run");
  theDirectory = &dir;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  std::string rest;
  const std::vector<std::string> arguments =
      zyrtest::fuzzCommandLine("wezdsdbreader.exe", data, size, 8, {{"@D", kDatabase}, {"@I", kIntermediate}}, &rest);
  const std::vector<const char *> argv = zyrtest::argumentVector(arguments);

  zyrtest::WorkingDir here(theDirectory->path());
  zyrtest::writeFile(kDatabase, rest);
  for (const auto &mesh : kMeshes)
    zyrtest::writeFile(mesh[0], mesh[1]);
  zyrtest::writeFile(kIntermediate, kBefore);
  const int status = DsdbReaderRun_main(static_cast<int>(arguments.size()), argv.data(), zyrtest::fuzzSink());
  if (status < 0 || status > 2)
    std::abort();
  // The intermediate file is as it was, or a whole copy of a mesh after a run that succeeded.
  const std::string after = zyrtest::readFile(kIntermediate);
  bool copied = false;
  for (const auto &mesh : kMeshes)
    copied = copied || after == mesh[1];
  if (after != kBefore && !(status == 0 && copied))
    std::abort();
  // Nothing else is left: a copy to another name of the directory is the only new file.
  const std::set<std::string> known{kDatabase, kIntermediate, kMeshes[0][0], kMeshes[1][0]};
  std::vector<std::string> others;
  for (const std::string &name : theDirectory->listing())
    if (known.count(name) == 0)
      others.push_back(name);
  if (others.size() > 1 || (!others.empty() && status != 0))
    std::abort();
  for (const std::string &name : theDirectory->listing())
    std::remove(name.c_str());
  return 0;
}
