#ifndef KELVO_TEST_SUPPORT_H
#define KELVO_TEST_SUPPORT_H
// Helpers of the mesh reader's tests: small meshes written as .msh text or bytes in any of the
// formats, a scratch directory, reading back a data-set file whole, and running Kelvo.exe.
#include "zyrTestSupport.h"

#include "MshFile.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kelvo_test {

// A mesh to write: nodes tagged 1, 2, ... in order; elements of Gmsh types.
struct TestMesh {
  struct Element {
    int32_t m_type;
    int32_t m_physical; // 0: none
    int32_t m_entity;
    std::vector<int64_t> m_nodes;
  };
  struct Name {
    int32_t m_dimension, m_tag;
    std::string m_name;
  };
  std::vector<std::array<double, 3>> m_nodes;
  std::vector<Element> m_elements;
  std::vector<Name> m_names;
};

// Sets for a scope how the reader splits its work: the face uses' partition size and the threads,
// which then take any amount of work (however small) when there are several.
struct KelvoSplit {
  KelvoSplit(int64_t partitionSize, int32_t threads);
  ~KelvoSplit();
  KelvoSplit(const KelvoSplit &) = delete;
  KelvoSplit &operator=(const KelvoSplit &) = delete;
  int64_t m_partitionSize, m_from;
  int32_t m_threads;
};

// Each element of a mesh as read, from its runs: kind, physical group, entity and the place of
// its corners (and after the last element's, the end of them).
struct ElementColumns {
  std::vector<int32_t> m_kinds, m_physicals, m_entities;
  std::vector<int64_t> m_starts;
};
ElementColumns elementColumns(const MshFile *mesh);

std::string toMsh2(const TestMesh &mesh, bool binary = false, bool swap = false);
std::string toMsh4(const TestMesh &mesh, bool binary = false, bool swap = false);

// Two tetrahedra on the face (2, 3, 4), both of positive volume: (1, 2, 3, 4) and (2, 3, 4, 5).
TestMesh twoTets(int32_t physicalA, int32_t physicalB);

using zyrtest::readFile;
using zyrtest::ScratchDir;
using zyrtest::writeFile;
std::string meshPath(const std::string &name); // a mesh of tests/data/meshes

// One data set read back.
struct Dataset {
  std::string m_type; // data type string
  std::vector<std::string> m_attributes;
  std::vector<int32_t> m_ints;
  std::vector<double> m_doubles;
  std::vector<std::string> m_strings; // characters split at zero bytes (attribute "t=s")
};
// Every valid data set of a data-set file, keyed "what@where@when". Empty on failure, with a
// message in *error.
std::map<std::string, Dataset> readDatasets(const std::string &path, std::string *error);
std::string key(const std::string &what, const std::string &where = "EVERY", int when = 0);

struct RunResult {
  int m_status; // exit status, or -1 when it did not exit normally
  std::string m_output;
};
std::string kelvoPath();
// `environment` holds NAME=VALUE texts set in the child only.
RunResult runKelvo(const std::vector<std::string> &arguments,
                   const std::vector<std::string> &environment = {});
// The lines between a begin and an end tag (of the first such block), or {"<none>"}.
std::vector<std::string> block(const std::string &output, const std::string &begin,
                               const std::string &end);
// The lines of every such block, block by block.
std::vector<std::vector<std::string>> blocks(const std::string &output, const std::string &begin,
                                             const std::string &end);

} // namespace kelvo_test

#endif
