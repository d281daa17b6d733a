#ifndef DAMAGE_TEST_SUPPORT_H
#define DAMAGE_TEST_SUPPORT_H
// Damaged model databases, made and walked. A small real model is imported into a database; its
// file is changed in many deterministic ways (byte flips, cuts, splices, changed names, keys,
// states and types of stored values); each variant is walked through the procedural interface
// in a child process, so that a crash, a sanitizer report or a hang is caught and told per
// variant; and what the walk answered is compared with the walk of the intact file.
//
//   damagetest::Workshop shop(dir);                      // tools and environment for imports
//   std::string intact = damagetest::buildModel(dir);    // the database's bytes
//   for (const damagetest::Variant &v : damagetest::mutations(intact, 300, 1))
//     damagetest::Outcome o = damagetest::runIsolated([&] { return damagetest::walkDatabase(...); }, ...);
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zyrTestSupport.h"

namespace damagetest {

// The environment an import and a walk need, set while it lives: the mesh reader, local units,
// no session recording, and the directory as the working directory.
class Workshop {
public:
  explicit Workshop(const std::string &directory);

private:
  zyrtest::EnvGuard m_units;
  zyrtest::EnvGuard m_session;
  zyrtest::EnvGuard m_bin;
  zyrtest::EnvGuard m_exec;
  zyrtest::EnvGuard m_reader;
  zyrtest::WorkingDir m_here;
};

// A database made in the directory (under the name given): the mesh imported, a composite name
// made, a checkpoint saved, the mesh imported again as a second assembly, a region renamed, and
// closed with its history. The file's bytes; empty on failure.
std::string buildModel(const std::string &path, const std::string &mesh = "box-hex.v4.msh");

// One frame of a data-set file as it lies in the bytes.
struct Frame {
  size_t m_start = 0;        // its format tag
  size_t m_end = 0;          // just after its closing length field
  size_t m_header = 0;       // "*DATASET"
  size_t m_data = 0;         // the first byte after "*DATA" (m_end when none)
  size_t m_dataEnd = 0;      // "*ENDDATASET"
  std::string m_what;        // "" for an index frame
  std::string m_where;
  int32_t m_when = 0;
  std::string m_datatype;
  bool m_references = false; // its characters are packed UUIDs
  bool m_deleted = false;    // a version the file no longer indexes
  // Where the values of the header records stand (offset of the first value byte, length).
  size_t m_whatAt = 0, m_whereAt = 0, m_whenAt = 0;
  size_t m_whenLength = 0;
};

// The frames of a binary data-set file (live and deleted "u" frames and the text index), in file
// order; parsing stops at the first thing that is not one of them.
std::vector<Frame> frames(const std::string &bytes);

struct Variant {
  std::string m_name;  // what was changed, readable
  std::string m_bytes; // the damaged file
};

// count variants of the file, spread over the kinds of data set it holds (the names of its
// data sets) and the ways of damaging one, the same for the same file and seed.
std::vector<Variant> mutations(const std::string &intact, int32_t count, uint64_t seed);

// What a walk answered: every answer of the procedural interface as text.
struct Walk {
  bool m_refused = false;  // the database did not open
  bool m_reported = false; // an error or warning was published
  std::string m_answers;   // every answer, one per line
  std::string m_errors;    // the codes and messages published
};

// What an open model answers (assemblies, regions with their meshes, neighbours and bounding
// boxes, composite names), one answer a line.
std::string describe(int32_t hModel);

// Opens the database, walks it (assemblies, regions with their meshes, neighbours and bounding
// boxes, composite names), exports a definition file beside it, restores checkpoint 0 and walks
// again, closes it and opens it again. Errors published meanwhile are counted, not shown.
Walk walkDatabase(const std::string &path, const std::string &exportPath);

// How running something in a child process ended.
struct Outcome {
  enum Kind { kCompleted, kCrashed, kHung };
  Kind m_kind = kCrashed;
  int m_status = 0;        // exit status, or the signal that ended it
  Walk m_walk;             // what the child answered (kCompleted)
  std::string m_stderr;    // what the child wrote to its standard error
};

// Runs the walk in a forked child with its standard error to the file, ended after the seconds;
// a sanitizer report or a leak counts as a crash. startIsolated starts the child (its process
// id, -1 when none could be made) and finishIsolated waits for it, so that several run at once.
Outcome runIsolated(const std::function<Walk()> &walk, const std::string &stderrPath, unsigned seconds);
int startIsolated(const std::function<Walk()> &walk, const std::string &stderrPath, unsigned seconds);
Outcome finishIsolated(int pid, const std::string &stderrPath);

// One line: the variant's fate against the intact walk ("refused", "reported", "identical"), or
// what went wrong ("CRASH ...", "HANG", "SILENT DIFFERENCE ...").
std::string judge(const Outcome &outcome, const Walk &intact);

} // namespace damagetest

#endif
