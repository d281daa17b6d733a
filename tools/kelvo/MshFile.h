#ifndef MSH_FILE_H
#define MSH_FILE_H
// A Gmsh mesh file (.msh) as read: nodes, the elements of the kinds that the mesh reader keeps
// (their corner nodes), the physical names, and what was left out.
//
// Formats read: MSH 2.x and 4.1, ASCII and binary (either byte order). Sections other than
// $MeshFormat, $PhysicalNames, $Entities, $Nodes and $Elements are skipped; partitioned 4.1
// meshes are refused. An element's physical group is the first physical tag of its record (2.x)
// or of its entity (4.1), 0 for none.
//
// Reading never trusts a count of the file: memory grows only with what is actually read, so a
// truncated or corrupt file ends with an error message, not with a huge allocation.
#include "KelvoThreads.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

struct MshPhysicalName {
  int32_t m_dimension;
  int32_t m_tag;
  std::string m_name;
};

// A run of consecutive kept elements of one kind, physical group (0 none) and entity: a binary
// block is one, and an element read on its own joins the run before it when it matches. The
// elements' corners follow each other in MshFile::m_elementNodes.
struct MshElementRun {
  int64_t m_first;       // the run's first element
  int64_t m_count;
  int64_t m_firstCorner; // the place of its first element's corners in m_elementNodes
  int32_t m_kind;
  int32_t m_corners;     // per element
  int32_t m_physical;
  int32_t m_entity;
};

// An element of a type the reader does not know, as far as its record tells.
struct MshUnknownElement {
  int64_t m_tag;
  int32_t m_type;
  int32_t m_physical;  // 0 none
  int32_t m_entity;
  int32_t m_dimension; // of its entity (version 4), -1 when the file does not say (version 2)
};

// The mapping of the file that a mesh was read from, kept until MshFile_unmap or until the mesh
// goes: unmapping a large file takes a while, which its owner may spend beside other work.
class MshMapping {
public:
  MshMapping() = default;
  MshMapping(void *address, size_t size) : m_address(address), m_size(size) {}
  MshMapping(MshMapping &&other) noexcept { *this = std::move(other); }
  MshMapping &operator=(MshMapping &&other) noexcept;
  MshMapping(const MshMapping &) = delete;
  MshMapping &operator=(const MshMapping &) = delete;
  ~MshMapping();

private:
  void *m_address = nullptr;
  size_t m_size = 0;
};

struct MshFile {
  std::string m_version; // "2.2", "4.1", ...
  int32_t m_major;       // 2 or 4
  int32_t m_binary;      // 1 for a binary file
  int32_t m_swap;        // 1 when the binary values are in the other byte order

  // Nodes in file order: tag and three coordinates each.
  KelvoArray<int64_t> m_nodeTags;
  KelvoArray<double> m_coordinates;

  // Kept elements in file order (kinds KELVO_TRI ... KELVO_HEXA), in runs that give their kind,
  // group and entity: each element's Gmsh tag and its corner nodes as node indices (into
  // m_nodeTags). Large binary blocks are read by several threads.
  KelvoArray<int64_t> m_elementTags;
  KelvoArray<int32_t> m_elementNodes;
  std::vector<MshElementRun> m_elementRuns;

  std::vector<MshPhysicalName> m_physicalNames;

  // Counts of what was read differently from the file, by Gmsh element type.
  std::map<int32_t, int64_t> m_ignored; // points, lines and unknown types, not kept
  std::vector<MshUnknownElement> m_unknown; // the elements of unknown types among them
  std::map<int32_t, int64_t> m_reduced; // higher-order elements kept by their corners
  int64_t m_multiplePhysicals;          // kept elements of an entity with several physical groups
  std::vector<std::string> m_skippedSections; // names of sections skipped, once each
  MshMapping m_mapping; // of the file read by MshFile_read, if it was mapped
  struct stat m_file = {}; // the file MshFile_read read, as its descriptor showed it: what must not
                           // be written over
};

MshFile *MshFile_new();
void MshFile_delete(MshFile *mesh);
void MshFile_print(const MshFile *mesh, FILE *stream);

// Reads the file. 1 on success; else 0 with a message (without a final newline) in *error.
int MshFile_read(MshFile *mesh, const char *path, std::string *error);
// Reads a whole file held in memory; the same results.
int MshFile_parse(MshFile *mesh, const char *data, size_t size, std::string *error);

// Unmaps the file that MshFile_read mapped; the mesh holds all it read without it. Nothing else
// of the mesh changes, so other threads may read the rest of it meanwhile.
void MshFile_unmap(MshFile *mesh);

// Whether the bytes start like a Gmsh mesh file ("$MeshFormat" after white space).
int MshFile_isMsh(const char *data, size_t size);

// The number of kept elements.
inline int64_t MshFile_noOfElements(const MshFile *mesh) {
  return static_cast<int64_t>(mesh->m_elementTags.size());
}
// The run of element e (of those kept).
const MshElementRun &MshFile_runOf(const MshFile *mesh, int64_t e);
// The place of the corners of element e, of run `run`, in m_elementNodes.
inline int64_t MshFile_cornersAt(const MshElementRun &run, int64_t e) {
  return run.m_firstCorner + (e - run.m_first) * run.m_corners;
}

// The name of a physical group, or nullptr.
const char *MshFile_physicalName(const MshFile *mesh, int32_t dimension, int32_t tag);

#endif
