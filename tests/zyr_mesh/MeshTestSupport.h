#ifndef MESH_TEST_SUPPORT_H
#define MESH_TEST_SUPPORT_H
// Shared pieces of the mesh tests: a database in a scratch directory, captured errors and a
// structured block generator (hexahedra, or each hexahedron split into two prisms).
#include "Repository.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ElementMesh;
struct ElementSet;
struct FaceMesh;
struct FaceSet;

class MeshTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // Commits, closes and opens the database again.
  void reopen();
  void *find(const std::string &key);
  static std::string keyOf(const void *object);
  // Code and message of the last published error, then clears the queue; (0, "") when none.
  static std::pair<int32_t, std::string> lastError();
  static int32_t errorCount();

  std::unique_ptr<zyrtest::ScratchDir> m_dir;
  Repository *m_repository = nullptr;
};

// nx x ny x nz cells of size h from the origin; vertex (i, j, k) is i + (nx+1) (j + (ny+1) k).
struct Block {
  int32_t m_nx, m_ny, m_nz;
  double m_h;
  double m_origin[3];
  int32_t vertex(int32_t i, int32_t j, int32_t k) const { return i + (m_nx + 1) * (j + (m_ny + 1) * k); }
  int32_t noOfVertices() const { return (m_nx + 1) * (m_ny + 1) * (m_nz + 1); }
  int32_t cell(int32_t i, int32_t j, int32_t k) const { return i + m_nx * (j + m_ny * k); }
  std::vector<double> coordinates() const;
  // Native hexahedra, cell order.
  std::vector<int32_t> hexahedra() const;
  // Two native prisms per cell, (0 1 2 | 4 5 6) then (0 2 3 | 4 6 7) of the cell's hexahedron.
  std::vector<int32_t> prisms() const;
  // Six right-handed tetrahedra per cell around the diagonal 0-6 of its hexahedron: (0 1 2 6),
  // (0 2 3 6), (0 3 7 6), (0 7 4 6), (0 4 5 6), (0 5 1 6).
  std::vector<int32_t> tetrahedra() const;
  // Six pyramids per cell, one on each face of its hexahedron (in face order) with the apex at the
  // cell's centre, which is appended to xyz (one new vertex per cell, in cell order).
  std::vector<int32_t> pyramids(std::vector<double> &xyz) const;
};

// Tracked copies for the constructors that take their arrays over.
int32_t *trackedInts(const std::vector<int32_t> &values);
double *trackedDoubles(const std::vector<double> &values);

// An element mesh (no region) with vertices in metres and one hexahedron set.
ElementMesh *hexMesh(const Block &block, ElementSet **set = nullptr);
// A face set of the hexahedra: face `face` (native) of the listed cells.
FaceSet *hexFaces(ElementSet *set, int32_t face, const std::vector<int32_t> &cells);
// The faces of the cells of the block side z = 0 (native face 0), in cell order.
std::vector<int32_t> bottomCells(const Block &block);

// Coordinates in metres of a face mesh's local vertices, without split vertices unless asked.
std::vector<double> localCoordinates(FaceMesh *fm, int withSplitVertices = 0);
// Its faces without split vertices in local numbering, each without the sentinel.
std::vector<std::vector<int32_t>> localFaces(FaceMesh *fm);

// The vertex matching exactly as written (radial records, a forward-only lower bound, a scan of
// every record up to r0 + best, used records skipped, the later record winning a tie): the
// permutation, empty when a vertex finds no partner. Every faster way must give its answers.
std::vector<int32_t> literalVertexMatch(const std::vector<double> &p0, const std::vector<double> &p1,
                                        const std::vector<double> &tolerances, const double *reference);

#endif
