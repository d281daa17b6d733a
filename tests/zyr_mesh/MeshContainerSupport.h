#ifndef MESH_CONTAINER_SUPPORT_H
#define MESH_CONTAINER_SUPPORT_H
// Pieces of the tests of the Mesh container, numbering, splitting and merging: element meshes of
// regions over given vertices, and face meshes picked out by where their faces lie.
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

struct ElementMesh;
struct ElementSet;
struct FaceMesh;
struct Region;
struct Vertices;

using FaceList = std::vector<std::pair<int32_t, int32_t>>; // (element, native local face)

// The faces of the elements (native connectivity of one type) whose vertices all pass the test.
FaceList facesWhere(int32_t type, const std::vector<int32_t> &connectivity, const std::vector<double> &xyz,
                    const std::function<bool(const double *)> &test);
// Vertices in metres from the coordinates.
Vertices *verticesOf(const std::vector<double> &xyz);
// An element mesh of the region with the vertices and one set of the type.
ElementMesh *elementMeshOf(Region *region, Vertices *vertices, int32_t type, const std::vector<int32_t> &connectivity,
                           ElementSet **set = nullptr);
// A face mesh of the region with one face set of the faces.
FaceMesh *faceMeshOf(Region *region, ElementMesh *elementMesh, ElementSet *set, const FaceList &faces);

#endif
