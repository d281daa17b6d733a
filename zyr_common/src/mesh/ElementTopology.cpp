#include "ElementTopology.h"

#include "zyrAssert.h"
#include "zyrMemory.h"

#include <cstring>

namespace {

const int32_t NE = ELEMENT_TOPOLOGY_NO_ENTRY;
const int32_t kNoOfTypes = 8;
const int32_t kNoOfConventions = 8;
const int32_t kNoOfKinds = 3;
const int32_t kMaxItems[kNoOfKinds] = {ELEMENT_TOPOLOGY_MAX_VERTICES, ELEMENT_TOPOLOGY_MAX_EDGES,
                                       ELEMENT_TOPOLOGY_MAX_FACES};

struct ElementType {
  const char *m_name;
  int32_t m_dimensionality;
  int32_t m_noOfVertices;
  int32_t m_noOfEdges;
  int32_t m_noOfFaces;
  int32_t m_edgeVertices[ELEMENT_TOPOLOGY_MAX_EDGES][2];
  int32_t m_faceVertexCounts[ELEMENT_TOPOLOGY_MAX_FACES];
  int32_t m_faceVertices[ELEMENT_TOPOLOGY_MAX_FACES][ELEMENT_TOPOLOGY_MAX_FACE_VERTICES];
  int32_t m_faceEdges[ELEMENT_TOPOLOGY_MAX_FACES][ELEMENT_TOPOLOGY_MAX_FACE_VERTICES];
  int32_t m_faceEdgeReversed[ELEMENT_TOPOLOGY_MAX_FACES][ELEMENT_TOPOLOGY_MAX_FACE_VERTICES];
  int32_t m_mirrorVertices[ELEMENT_TOPOLOGY_MAX_VERTICES];
  int32_t m_mirrorEdges[ELEMENT_TOPOLOGY_MAX_EDGES];
  int32_t m_mirrorFaces[ELEMENT_TOPOLOGY_MAX_FACES];
  // Filled on first use.
  int32_t m_done;
  int32_t m_minNoOfVerticesPerFace;
  int32_t m_maxNoOfVerticesPerFace;
};

// Faces are listed so that, for a right-handed element, the walk of each face turns
// anticlockwise seen from outside (the face normals point out of the element).
ElementType g_types[kNoOfTypes] = {
    {"ZYR_ELEMENT_NODE", 0, 1, 0, 0, {}, {}, {}, {}, {}, {0}, {}, {}, 0, 0, 0},
    {"ZYR_ELEMENT_BAR_2", 1, 2, 1, 0, {{0, 1}}, {}, {}, {}, {}, {1, 0}, {0}, {}, 0, 0, 0},
    {"ZYR_ELEMENT_TRI_3", 2, 3, 3, 1,
     {{0, 1}, {1, 2}, {2, 0}},
     {3},
     {{0, 1, 2, -1}},
     {{0, 1, 2, -1}},
     {{0, 0, 0, -1}},
     {2, 1, 0},
     {1, 0, 2},
     {0},
     0, 0, 0},
    {"ZYR_ELEMENT_QUAD_4", 2, 4, 4, 1,
     {{0, 1}, {1, 2}, {2, 3}, {3, 0}},
     {4},
     {{0, 1, 2, 3}},
     {{0, 1, 2, 3}},
     {{0, 0, 0, 0}},
     {3, 2, 1, 0},
     {2, 1, 0, 3},
     {0},
     0, 0, 0},
    {"ZYR_ELEMENT_TETRA_4", 3, 4, 6, 4,
     {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}},
     {3, 3, 3, 3},
     {{0, 2, 1, -1}, {0, 1, 3, -1}, {1, 2, 3, -1}, {2, 0, 3, -1}},
     {{2, 1, 0, -1}, {0, 4, 3, -1}, {1, 5, 4, -1}, {2, 3, 5, -1}},
     {{1, 1, 1, -1}, {0, 0, 1, -1}, {0, 0, 1, -1}, {0, 0, 1, -1}},
     {2, 1, 0, 3},
     {1, 0, 2, 5, 4, 3},
     {0, 2, 1, 3},
     0, 0, 0},
    {"ZYR_ELEMENT_PYRA_5", 3, 5, 8, 5,
     {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 4}, {2, 4}, {3, 4}},
     {4, 3, 3, 3, 3},
     {{0, 3, 2, 1}, {0, 1, 4, -1}, {1, 2, 4, -1}, {2, 3, 4, -1}, {3, 0, 4, -1}},
     {{3, 2, 1, 0}, {0, 5, 4, -1}, {1, 6, 5, -1}, {2, 7, 6, -1}, {3, 4, 7, -1}},
     {{1, 1, 1, 1}, {0, 0, 1, -1}, {0, 0, 1, -1}, {0, 0, 1, -1}, {0, 0, 1, -1}},
     {3, 2, 1, 0, 4},
     {2, 1, 0, 3, 7, 6, 5, 4},
     {0, 3, 2, 1, 4},
     0, 0, 0},
    {"ZYR_ELEMENT_PENTA_6", 3, 6, 9, 5,
     {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 4}, {2, 5}, {3, 4}, {4, 5}, {5, 3}},
     {4, 4, 4, 3, 3},
     {{0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}, {0, 2, 1, -1}, {3, 4, 5, -1}},
     {{0, 4, 6, 3}, {1, 5, 7, 4}, {2, 3, 8, 5}, {2, 1, 0, -1}, {6, 7, 8, -1}},
     {{0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}, {1, 1, 1, -1}, {0, 0, 0, -1}},
     {2, 1, 0, 5, 4, 3},
     {1, 0, 2, 5, 4, 3, 7, 6, 8},
     {1, 0, 2, 3, 4},
     0, 0, 0},
    {"ZYR_ELEMENT_HEXA_8", 3, 8, 12, 6,
     {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 5}, {2, 6}, {3, 7}, {4, 5}, {5, 6}, {6, 7}, {7, 4}},
     {4, 4, 4, 4, 4, 4},
     {{0, 3, 2, 1}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {0, 4, 7, 3}, {4, 5, 6, 7}},
     {{3, 2, 1, 0}, {0, 5, 8, 4}, {1, 6, 9, 5}, {2, 7, 10, 6}, {4, 11, 7, 3}, {8, 9, 10, 11}},
     {{1, 1, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}, {0, 1, 1, 0}, {0, 0, 0, 0}},
     {3, 2, 1, 0, 7, 6, 5, 4},
     {2, 1, 0, 3, 7, 6, 5, 4, 10, 9, 8, 11},
     {0, 3, 2, 1, 4, 5},
     0, 0, 0},
};

const char *const g_conventionNames[kNoOfConventions] = {
    "zyrConvention_ZYR",    "zyrConvention_CGNS",   "zyrConvention_WEZ5", "zyrConvention_QO",
    "zyrConvention_TARVEL", "zyrConvention_POLDIX", "zyrConvention_VTK",  "zyrConvention_BRUN"};

// One record per type and convention: the constant numberings, and what is completed from them
// on first use.
struct ElementNumbering {
  int32_t m_typeCode;
  const char *m_elementName;
  int32_t m_vertices[ELEMENT_TOPOLOGY_MAX_VERTICES];
  int32_t m_edges[ELEMENT_TOPOLOGY_MAX_EDGES];
  int32_t m_faces[ELEMENT_TOPOLOGY_MAX_FACES];
};

struct NumberingCompletion {
  int32_t m_completed;
  int32_t m_inverseVertices[ELEMENT_TOPOLOGY_MAX_VERTICES + 1];
  int32_t m_inverseEdges[ELEMENT_TOPOLOGY_MAX_EDGES + 1];
  int32_t m_inverseFaces[ELEMENT_TOPOLOGY_MAX_FACES + 1];
  int32_t m_mirroredVertices[ELEMENT_TOPOLOGY_MAX_VERTICES];
  int32_t m_mirroredEdges[ELEMENT_TOPOLOGY_MAX_EDGES];
  int32_t m_mirroredFaces[ELEMENT_TOPOLOGY_MAX_FACES];
  int32_t m_inverseMirroredVertices[ELEMENT_TOPOLOGY_MAX_VERTICES + 1];
  int32_t m_inverseMirroredEdges[ELEMENT_TOPOLOGY_MAX_EDGES + 1];
  int32_t m_inverseMirroredFaces[ELEMENT_TOPOLOGY_MAX_FACES + 1];
  int32_t m_reordered[kNoOfKinds];
  int32_t m_shifted[kNoOfKinds];
};

// [type][convention]. An empty list ({}) is a kind of which the type has no items; {NE} is a
// kind the convention cannot express.
const ElementNumbering g_numberings[kNoOfTypes][kNoOfConventions] = {
    {
        {0, "ZYR_ELEMENT_NODE", {0}, {}, {}},
        {2, "NODE", {1}, {}, {}},
        {NE, "Vertex", {1}, {}, {}},
        {NE, "Vertex", {1}, {}, {}},
        {NE, "Vertex", {0}, {}, {}},
        {NE, "Vertex", {1}, {}, {}},
        {1, "VTK_VERTEX", {0}, {}, {}},
        {1, "JXNode", {0}, {}, {}},
    },
    {
        {1, "ZYR_ELEMENT_BAR_2", {0, 1}, {0}, {}},
        {3, "BAR_2", {1, 2}, {1}, {}},
        {1, "Edge", {1, 2}, {1}, {}},
        {NE, "Edge", {1, 2}, {1}, {}},
        {NE, "Edge", {0, 1}, {0}, {}},
        {NE, "Edge", {1, 2}, {1}, {}},
        {3, "VTK_LINE", {0, 1}, {NE}, {}},
        {2, "JXBar2", {0, 1}, {NE}, {}},
    },
    {
        {2, "ZYR_ELEMENT_TRI_3", {0, 1, 2}, {0, 1, 2}, {0}},
        {5, "TRI_3", {1, 2, 3}, {1, 2, 3}, {1}},
        {2, "Triangle", {1, 2, 3}, {NE}, {1}},
        {NE, "Triangle", {1, 2, 3}, {NE}, {1}},
        {NE, "Triangle", {0, 1, 2}, {2, 0, 1}, {0}},
        {NE, "Triangle", {1, 2, 3}, {3, 1, 2}, {1}},
        {5, "VTK_TRIANGLE", {0, 1, 2}, {NE}, {NE}},
        {4, "JXTri3", {0, 1, 2}, {NE}, {NE}},
    },
    {
        {3, "ZYR_ELEMENT_QUAD_4", {0, 1, 2, 3}, {0, 1, 2, 3}, {0}},
        {7, "QUAD_4", {1, 2, 3, 4}, {1, 2, 3, 4}, {1}},
        {3, "Quadrilateral", {1, 2, 3, 4}, {NE}, {1}},
        {NE, "Quadrilateral", {1, 2, 3, 4}, {NE}, {1}},
        {NE, "Quadrilateral", {0, 1, 2, 3}, {0, 1, 2, 3}, {0}},
        {NE, "Quadrilateral", {NE}, {NE}, {NE}},
        {9, "VTK_QUAD", {0, 1, 2, 3}, {NE}, {NE}},
        {6, "JXQuad4", {0, 1, 2, 3}, {NE}, {NE}},
    },
    {
        {4, "ZYR_ELEMENT_TETRA_4", {0, 1, 2, 3}, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3}},
        {10, "TETRA_4", {1, 2, 3, 4}, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4}},
        {4, "Tetrahedron", {1, 2, 3, 4}, {NE}, {1, 2, 3, 4}},
        {4, "Tetrahedron", {1, 2, 3, 4}, {1, 5, 3, 2, 4, 6}, {4, 1, 2, 3}},
        {NE, "Tetrahedron", {0, 1, 2, 3}, {2, 1, 0, 5, 4, 3}, {3, 2, 0, 1}},
        {NE, "Tetrahedron", {1, 2, 3, 4}, {1, 2, 3, 5, 6, 4}, {4, 3, 1, 2}},
        {10, "VTK_TETRA", {0, 1, 2, 3}, {NE}, {NE}},
        {9, "JXTetra4", {0, 1, 2, 3}, {NE}, {3, 0, 1, 2}},
    },
    {
        {5, "ZYR_ELEMENT_PYRA_5", {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4}},
        {12, "PYRA_5", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5}},
        {7, "Pyramid", {1, 2, 3, 4, 5}, {NE}, {5, 3, 2, 4, 1}},
        {5, "Pyramid", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 5, 2, 3, 4}},
        {NE, "Pyramid", {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4}},
        {NE, "Pyramid", {NE}, {NE}, {NE}},
        {14, "VTK_PYRAMID", {0, 1, 2, 3, 4}, {NE}, {NE}},
        {11, "JXPyra5", {0, 1, 2, 3, 4}, {NE}, {0, 1, 2, 3, 4}},
    },
    {
        {6, "ZYR_ELEMENT_PENTA_6", {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {0, 1, 2, 3, 4}},
        {14, "PENTA_6", {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4, 5}},
        {5, "Prism / wedge", {1, 2, 3, 4, 5, 6}, {NE}, {2, 3, 1, 4, 5}},
        {6, "Prism", {1, 4, 6, 2, 3, 5}, {4, 9, 6, 1, 3, 7, 2, 8, 5}, {1, 3, 2, 4, 5}},
        {NE, "Prism", {0, 1, 2, 3, 4, 5}, {2, 0, 1, 3, 4, 5, 8, 6, 7}, {2, 0, 1, 3, 4}},
        {NE, "Prism", {NE}, {NE}, {NE}},
        {13, "VTK_WEDGE", {0, 2, 1, 3, 5, 4}, {NE}, {NE}},
        {14, "JXPenta6", {0, 1, 2, 3, 4, 5}, {NE}, {2, 3, 4, 0, 1}},
    },
    {
        {7, "ZYR_ELEMENT_HEXA_8", {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {0, 1, 2, 3, 4, 5}},
        {17, "HEXA_8", {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {1, 2, 3, 4, 5, 6}},
        {6, "Hexahedron", {1, 2, 4, 3, 5, 6, 8, 7}, {NE}, {5, 3, 2, 4, 1, 6}},
        {8, "Hexahedron", {1, 2, 3, 4, 5, 6, 7, 8}, {1, 9, 5, 10, 2, 4, 8, 6, 3, 12, 7, 11}, {1, 6, 2, 3, 4, 5}},
        {NE, "Hexahedron", {0, 1, 2, 3, 4, 5, 6, 7}, {0, 4, 8, 7, 3, 1, 9, 11, 2, 5, 10, 6}, {4, 0, 1, 2, 3, 5}},
        {NE, "Hexahedron", {NE}, {NE}, {NE}},
        {12, "VTK_HEXAHEDRON", {0, 1, 2, 3, 4, 5, 6, 7}, {NE}, {NE}},
        {17, "JXHexa8", {0, 1, 2, 3, 4, 5, 6, 7}, {NE}, {4, 0, 1, 2, 3, 5}},
    },
};

NumberingCompletion g_completions[kNoOfTypes][kNoOfConventions];

bool validType(int32_t type) { return type >= 0 && type < kNoOfTypes; }
bool validConvention(int32_t convention) { return convention >= 0 && convention < kNoOfConventions; }
bool validKind(int32_t kind) { return kind >= 0 && kind < kNoOfKinds; }

int32_t itemCount(const ElementType &type, int32_t kind) {
  switch (kind) {
  case ELEMENT_TOPOLOGY_VERTICES:
    return type.m_noOfVertices;
  case ELEMENT_TOPOLOGY_EDGES:
    return type.m_noOfEdges;
  default:
    return type.m_noOfFaces;
  }
}

// The tables of one kind of a record.
struct KindTables {
  const int32_t *forward;
  int32_t *inverse;
  int32_t *mirrored;
  int32_t *inverseMirrored;
  const int32_t *mirror;
};

KindTables kindTables(int32_t type, int32_t convention, int32_t kind) {
  const ElementNumbering &r = g_numberings[type][convention];
  NumberingCompletion &c = g_completions[type][convention];
  const ElementType &t = g_types[type];
  switch (kind) {
  case ELEMENT_TOPOLOGY_VERTICES:
    return {r.m_vertices, c.m_inverseVertices, c.m_mirroredVertices, c.m_inverseMirroredVertices,
            t.m_mirrorVertices};
  case ELEMENT_TOPOLOGY_EDGES:
    return {r.m_edges, c.m_inverseEdges, c.m_mirroredEdges, c.m_inverseMirroredEdges, t.m_mirrorEdges};
  default:
    return {r.m_faces, c.m_inverseFaces, c.m_mirroredFaces, c.m_inverseMirroredFaces, t.m_mirrorFaces};
  }
}

void completeKind(int32_t type, int32_t convention, int32_t kind) {
  NumberingCompletion &record = g_completions[type][convention];
  const KindTables t = kindTables(type, convention, kind);
  const int32_t n = itemCount(g_types[type], kind);
  const int32_t slots = kMaxItems[kind];
  for (int32_t i = 0; i <= slots; ++i)
    t.inverse[i] = t.inverseMirrored[i] = -1;
  for (int32_t i = 0; i < slots; ++i)
    t.mirrored[i] = -1;
  if (t.forward[0] == NE) {
    record.m_reordered[kind] = record.m_shifted[kind] = -1;
    t.inverse[0] = t.mirrored[0] = t.inverseMirrored[0] = NE;
    return;
  }
  // With no items there is nothing to shift.
  int32_t shifted = n > 0 ? 1 : 0;
  for (int32_t i = 0; i < n; ++i)
    if (t.forward[i] == 0)
      shifted = 0;
  const int32_t base = t.forward[0] != 0 ? 1 : 0;
  int32_t reordered = 0;
  for (int32_t i = 0; i < n; ++i)
    if (t.forward[i] != i + base)
      reordered = 1;
  record.m_shifted[kind] = shifted;
  record.m_reordered[kind] = reordered;

  t.inverse[0] = t.inverse[n] = -1;
  for (int32_t i = 0; i < n; ++i) {
    zyrAssert(t.forward[i] >= 0 && t.forward[i] <= n);
    t.inverse[t.forward[i]] = i;
  }
  for (int32_t i = 0; i < n; ++i)
    t.mirrored[i] = t.forward[t.mirror[i]];
  for (int32_t label = 0; label <= n; ++label)
    t.inverseMirrored[label] = t.inverse[label] == -1 ? -1 : t.mirror[t.inverse[label]];
}

// The completion of a valid type and convention.
const NumberingCompletion &completedRecord(int32_t type, int32_t convention) {
  NumberingCompletion &record = g_completions[type][convention];
  if (!record.m_completed) {
    for (int32_t kind = 0; kind < kNoOfKinds; ++kind)
      completeKind(type, convention, kind);
    record.m_completed = 1;
  }
  return record;
}

int isDefined(int32_t type, int32_t convention, int32_t kind) {
  if (!validType(type) || !validConvention(convention))
    return 0;
  return kindTables(type, convention, kind).forward[0] != NE;
}

int isShifted(int32_t type, int32_t convention, int32_t kind) {
  if (!validType(type) || !validConvention(convention))
    return -1;
  return completedRecord(type, convention).m_shifted[kind];
}

int isReordered(int32_t type, int32_t convention, int32_t kind) {
  if (!validType(type) || !validConvention(convention))
    return -1;
  return completedRecord(type, convention).m_reordered[kind];
}

// The forward or inverse table, mirrored when asked; NULL when there is no entry.
const int32_t *numbering(int32_t type, int32_t convention, int32_t kind, int inverse, int mirrored) {
  if (!validType(type) || !validConvention(convention))
    return nullptr;
  if (inverse || mirrored)
    completedRecord(type, convention);
  const KindTables t = kindTables(type, convention, kind);
  const int32_t *table = inverse ? (mirrored ? t.inverseMirrored : t.inverse) : (mirrored ? t.mirrored : t.forward);
  return table[0] == NE ? nullptr : table;
}

// Shared start of reorder and revalue. Answers 1 with *table set when there is work to do, 1 with
// *table NULL when there is none, 0 on failure.
int conversionTable(int32_t type, int32_t convention, int mirrored, int32_t kind, int32_t direction,
                    int revaluing, const int32_t **table) {
  *table = nullptr;
  // A bad kind is refused even where the native convention would leave the items as they are.
  if (!validType(type) || !validConvention(convention) || !validKind(kind) || (direction != 0 && direction != 1))
    return 0;
  if (convention == zyrConvention_ZYR && !mirrored)
    return 1;
  const NumberingCompletion &record = completedRecord(type, convention);
  if (!mirrored && record.m_reordered[kind] == 0 && (!revaluing || record.m_shifted[kind] == 0))
    return 1;
  const KindTables t = kindTables(type, convention, kind);
  const int32_t *chosen = direction == 0 ? (mirrored ? t.mirrored : t.forward)
                                         : (mirrored ? t.inverseMirrored : t.inverse);
  if (chosen[0] == NE)
    return 0;
  *table = chosen;
  return 1;
}

void printInt(FILE *stream, int noOfDigits, int32_t value) {
  if (noOfDigits == 1) {
    if (value < 0)
      std::fputs(" *", stream);
    else
      std::fprintf(stream, " %d", value);
  } else if (noOfDigits == 2) {
    if (value < 0)
      std::fputs("  *", stream);
    else
      std::fprintf(stream, " %2d", value);
  } else {
    assert_flagError(__func__, __FILE__, __LINE__, "noOfDigits invalid in printInt");
  }
}

void printTable(FILE *stream, const char *label, const int32_t *table, int32_t entries) {
  std::fprintf(stream, "  %-9s", label);
  if (table == nullptr)
    printInt(stream, 2, -1);
  else
    for (int32_t i = 0; i < entries; ++i)
      std::fprintf(stream, " %2d", table[i]);
  std::fputc('\n', stream);
}

void printPermutations(FILE *stream, int inverse) {
  static const char *const kLabels[kNoOfKinds] = {"Vertices:", "Edges:", "Faces:"};
  for (int mirrored = 0; mirrored <= 1; ++mirrored) {
    std::fputs(mirrored ? "(b) With inversion:\n\n" : "(a) Without inversion:\n\n", stream);
    for (int32_t type = 0; type < kNoOfTypes; ++type) {
      for (int32_t convention = 0; convention < kNoOfConventions; ++convention) {
        std::fprintf(stream, "%-20s %s\n", g_types[type].m_name, g_conventionNames[convention]);
        for (int32_t kind = 0; kind < kNoOfKinds; ++kind) {
          const int32_t n = itemCount(g_types[type], kind);
          printTable(stream, kLabels[kind], numbering(type, convention, kind, inverse, mirrored),
                     inverse ? n + 1 : n);
        }
      }
      std::fputc('\n', stream);
    }
  }
}

void computeFaceExtremes(ElementType &type) {
  if (type.m_done)
    return;
  int32_t smallest = 0, largest = 0;
  for (int32_t f = 0; f < type.m_noOfFaces; ++f) {
    const int32_t k = type.m_faceVertexCounts[f];
    if (f == 0 || k < smallest)
      smallest = k;
    if (f == 0 || k > largest)
      largest = k;
  }
  type.m_minNoOfVerticesPerFace = smallest;
  type.m_maxNoOfVerticesPerFace = largest;
  type.m_done = 1;
}

int32_t *newIdArray(int32_t count, const char *tag) {
  int32_t *ids = zyrMemory_allocateArray<int32_t>(count, tag);
  for (int32_t i = 0; i < count; ++i)
    ids[i] = i;
  return ids;
}

} // namespace

int32_t ElementTopology_getNoOfElementTypes() { return kNoOfTypes; }

int32_t ElementTopology_getNoOfConventions() { return kNoOfConventions; }

int32_t ElementTopology_getElementTypes(int32_t **types) {
  *types = newIdArray(kNoOfTypes, __func__);
  return kNoOfTypes;
}

int32_t ElementTopology_getConventions(int32_t **conventions) {
  *conventions = newIdArray(kNoOfConventions, __func__);
  return kNoOfConventions;
}

const char *ElementTopology_getElementTypeName(int32_t type) {
  return validType(type) ? g_types[type].m_name : nullptr;
}

const char *ElementTopology_getConventionName(int32_t convention) {
  return validConvention(convention) ? g_conventionNames[convention] : nullptr;
}

const char *ElementTopology_getConventionElementName(int32_t type, int32_t convention) {
  if (!validType(type) || !validConvention(convention))
    return nullptr;
  return g_numberings[type][convention].m_elementName;
}

int32_t ElementTopology_getDimensionality(int32_t type) {
  return validType(type) ? g_types[type].m_dimensionality : -1;
}

int32_t ElementTopology_getNoOfEdges(int32_t type) { return validType(type) ? g_types[type].m_noOfEdges : 0; }

int32_t ElementTopology_getNoOfFaces(int32_t type) { return validType(type) ? g_types[type].m_noOfFaces : 0; }

int32_t ElementTopology_getConventionElementType(int32_t type, int32_t convention) {
  if (!validType(type) || !validConvention(convention))
    return -1;
  const int32_t code = g_numberings[type][convention].m_typeCode;
  return code == NE ? -1 : code;
}

int ElementTopology_getEdgeVertices(int32_t type, int32_t /*convention*/, int32_t *count, const int32_t **pairs) {
  if (!validType(type)) {
    *count = 0;
    *pairs = nullptr;
    return 0;
  }
  *count = g_types[type].m_noOfEdges;
  *pairs = &g_types[type].m_edgeVertices[0][0];
  return 1;
}

int ElementTopology_getFaceVertices(int32_t type, int32_t /*convention*/, int32_t *count,
                                    const int32_t **vertexCounts, const int32_t **vertexLists) {
  if (!validType(type)) {
    *count = 0;
    *vertexCounts = *vertexLists = nullptr;
    return 0;
  }
  *count = g_types[type].m_noOfFaces;
  *vertexCounts = g_types[type].m_faceVertexCounts;
  *vertexLists = &g_types[type].m_faceVertices[0][0];
  return 1;
}

int ElementTopology_getFaceEdges(int32_t type, int32_t *count, const int32_t **edgeLists,
                                 const int32_t **reversed) {
  if (!validType(type)) {
    *count = 0;
    *edgeLists = *reversed = nullptr;
    return 0;
  }
  *count = g_types[type].m_noOfFaces;
  *edgeLists = &g_types[type].m_faceEdges[0][0];
  *reversed = &g_types[type].m_faceEdgeReversed[0][0];
  return 1;
}

int32_t ElementTopology_getMinNoOfVerticesPerFace(int32_t type) {
  if (!validType(type))
    return 0;
  computeFaceExtremes(g_types[type]);
  return g_types[type].m_minNoOfVerticesPerFace;
}

int32_t ElementTopology_getMaxNoOfVerticesPerFace(int32_t type) {
  if (!validType(type))
    return 0;
  computeFaceExtremes(g_types[type]);
  return g_types[type].m_maxNoOfVerticesPerFace;
}

void ElementTopology_getMaxSizes(int32_t *vertices, int32_t *edges, int32_t *faces, int32_t *verticesPerFace) {
  *vertices = ELEMENT_TOPOLOGY_MAX_VERTICES;
  *edges = ELEMENT_TOPOLOGY_MAX_EDGES;
  *faces = ELEMENT_TOPOLOGY_MAX_FACES;
  *verticesPerFace = ELEMENT_TOPOLOGY_MAX_FACE_VERTICES;
}

int ElementTopology_isVertexNumberingDefined(int32_t type, int32_t convention) {
  return isDefined(type, convention, ELEMENT_TOPOLOGY_VERTICES);
}
int ElementTopology_isVertexNumberingShifted(int32_t type, int32_t convention) {
  return isShifted(type, convention, ELEMENT_TOPOLOGY_VERTICES);
}
int ElementTopology_isVertexNumberingReordered(int32_t type, int32_t convention) {
  return isReordered(type, convention, ELEMENT_TOPOLOGY_VERTICES);
}
const int32_t *ElementTopology_getVertexNumbering(int32_t type, int32_t convention, int mirrored) {
  return numbering(type, convention, ELEMENT_TOPOLOGY_VERTICES, 0, mirrored);
}
const int32_t *ElementTopology_getInverseVertexNumbering(int32_t type, int32_t convention, int mirrored) {
  return numbering(type, convention, ELEMENT_TOPOLOGY_VERTICES, 1, mirrored);
}

int ElementTopology_isEdgeNumberingDefined(int32_t type, int32_t convention) {
  return isDefined(type, convention, ELEMENT_TOPOLOGY_EDGES);
}
int ElementTopology_isEdgeNumberingShifted(int32_t type, int32_t convention) {
  return isShifted(type, convention, ELEMENT_TOPOLOGY_EDGES);
}
int ElementTopology_isEdgeNumberingReordered(int32_t type, int32_t convention) {
  return isReordered(type, convention, ELEMENT_TOPOLOGY_EDGES);
}
const int32_t *ElementTopology_getEdgeNumbering(int32_t type, int32_t convention, int mirrored) {
  return numbering(type, convention, ELEMENT_TOPOLOGY_EDGES, 0, mirrored);
}
const int32_t *ElementTopology_getInverseEdgeNumbering(int32_t type, int32_t convention, int mirrored) {
  return numbering(type, convention, ELEMENT_TOPOLOGY_EDGES, 1, mirrored);
}

int ElementTopology_isFaceNumberingDefined(int32_t type, int32_t convention) {
  return isDefined(type, convention, ELEMENT_TOPOLOGY_FACES);
}
int ElementTopology_isFaceNumberingShifted(int32_t type, int32_t convention) {
  return isShifted(type, convention, ELEMENT_TOPOLOGY_FACES);
}
int ElementTopology_isFaceNumberingReordered(int32_t type, int32_t convention) {
  return isReordered(type, convention, ELEMENT_TOPOLOGY_FACES);
}
const int32_t *ElementTopology_getFaceNumbering(int32_t type, int32_t convention, int mirrored) {
  return numbering(type, convention, ELEMENT_TOPOLOGY_FACES, 0, mirrored);
}
const int32_t *ElementTopology_getInverseFaceNumbering(int32_t type, int32_t convention, int mirrored) {
  return numbering(type, convention, ELEMENT_TOPOLOGY_FACES, 1, mirrored);
}

int ElementTopology_reorder(int32_t type, int32_t convention, int mirrored, int32_t kind, int32_t direction,
                            int32_t count, int32_t *items) {
  if (count < 0 || (count > 0 && items == nullptr))
    return 0;
  const int32_t *table = nullptr;
  if (!conversionTable(type, convention, mirrored, kind, direction, 0, &table))
    return 0;
  if (table == nullptr)
    return 1;
  const int32_t n = itemCount(g_types[type], kind);
  const int32_t shift = g_completions[type][convention].m_shifted[kind] == 1 ? 1 : 0;
  // Direction 0 scatters native items to their labels and reads the labels back from the shift
  // on; direction 1 reads the labels from the shift on and scatters them to native positions.
  const int32_t readFrom = direction == 0 ? 0 : shift;
  const int32_t writeFrom = direction == 0 ? shift : 0;
  int32_t scratch[ELEMENT_TOPOLOGY_MAX_EDGES + 1];
  for (int64_t block = 0; block < count; ++block) {
    int32_t *element = items + block * n;
    for (int32_t j = 0; j < n; ++j)
      scratch[table[readFrom + j]] = element[j];
    for (int32_t j = 0; j < n; ++j)
      element[j] = scratch[writeFrom + j];
  }
  return 1;
}

int ElementTopology_revalue(int32_t type, int32_t convention, int mirrored, int32_t kind, int32_t direction,
                            int32_t count, int32_t *items) {
  if (count < 0 || (count > 0 && items == nullptr))
    return 0;
  const int32_t *table = nullptr;
  if (!conversionTable(type, convention, mirrored, kind, direction, 1, &table))
    return 0;
  if (table == nullptr)
    return 1;
  // Numbers come from files: one outside the table refuses the whole list.
  const int32_t n = itemCount(g_types[type], kind);
  const int32_t largest = direction == 0 ? n - 1 : n;
  for (int32_t i = 0; i < count; ++i)
    if (items[i] < 0 || items[i] > largest)
      return 0;
  for (int32_t i = 0; i < count; ++i)
    items[i] = table[items[i]];
  return 1;
}

void ElementTopology_print(FILE *stream) {
  std::fprintf(stream, "Number of element types         = %d\n", kNoOfTypes);
  std::fprintf(stream, "Number of labelling conventions = %d\n", kNoOfConventions);
  std::fputs("\nElement types:\n--------------\n", stream);
  for (int32_t type = 0; type < kNoOfTypes; ++type)
    std::fprintf(stream, "%s\n", g_types[type].m_name);
  std::fputs("\nLabelling conventions:\n----------------------\n", stream);
  for (int32_t convention = 0; convention < kNoOfConventions; ++convention)
    std::fprintf(stream, "%s\n", g_conventionNames[convention]);

  for (int32_t convention = 0; convention < kNoOfConventions; ++convention) {
    std::fprintf(stream, "\n%s\n", g_conventionNames[convention]);
    std::fputs("                      Defined Shifted Reordered   Type\n", stream);
    std::fputs("                      V E F   V E F   V E F\n", stream);
    for (int32_t type = 0; type < kNoOfTypes; ++type) {
      const NumberingCompletion &record = completedRecord(type, convention);
      std::fprintf(stream, "%-20s ", g_numberings[type][convention].m_elementName);
      for (int32_t kind = 0; kind < kNoOfKinds; ++kind)
        printInt(stream, 1, isDefined(type, convention, kind));
      std::fputs("  ", stream);
      for (int32_t kind = 0; kind < kNoOfKinds; ++kind)
        printInt(stream, 1, record.m_shifted[kind]);
      std::fputs("  ", stream);
      for (int32_t kind = 0; kind < kNoOfKinds; ++kind)
        printInt(stream, 1, record.m_reordered[kind]);
      std::fputs("        ", stream);
      printInt(stream, 2, g_numberings[type][convention].m_typeCode);
      std::fputc('\n', stream);
    }
  }

  std::fputs("\nElement topology:\n-----------------\n", stream);
  for (int32_t type = 0; type < kNoOfTypes; ++type) {
    const ElementType &t = g_types[type];
    std::fprintf(stream, "%-20s %2d %2d %2d\n", t.m_name, t.m_noOfVertices, t.m_noOfEdges, t.m_noOfFaces);
  }

  std::fputs("\nEdge vertices:\n--------------\n\n", stream);
  for (int32_t type = 0; type < kNoOfTypes; ++type) {
    const ElementType &t = g_types[type];
    std::fprintf(stream, "%-20s ", t.m_name);
    for (int32_t e = 0; e < t.m_noOfEdges; ++e) {
      if (e > 0 && e % 6 == 0)
        std::fprintf(stream, "\n%-20s ", "");
      std::fprintf(stream, "[%d, %d] ", t.m_edgeVertices[e][0], t.m_edgeVertices[e][1]);
    }
    std::fputc('\n', stream);
  }

  std::fputs("\nVertices per face:\n------------------\n\n", stream);
  for (int32_t type = 0; type < kNoOfTypes; ++type)
    std::fprintf(stream, "%-30s %d   %d\n", g_types[type].m_name, ElementTopology_getMinNoOfVerticesPerFace(type),
                 ElementTopology_getMaxNoOfVerticesPerFace(type));
  std::fputc('\n', stream);
  for (int32_t type = 0; type < kNoOfTypes; ++type) {
    const ElementType &t = g_types[type];
    std::fprintf(stream, "%-30s", t.m_name);
    for (int32_t f = 0; f < t.m_noOfFaces; ++f)
      std::fprintf(stream, " %d", t.m_faceVertexCounts[f]);
    std::fputc('\n', stream);
  }

  std::fputs("\nFace vertices:\n--------------\n\n", stream);
  for (int32_t type = 0; type < kNoOfTypes; ++type) {
    const ElementType &t = g_types[type];
    std::fprintf(stream, "%-20s ", t.m_name);
    for (int32_t f = 0; f < t.m_noOfFaces; ++f) {
      std::fprintf(stream, "[%d", t.m_faceVertices[f][0]);
      for (int32_t k = 1; k < t.m_faceVertexCounts[f]; ++k)
        std::fprintf(stream, ", %d", t.m_faceVertices[f][k]);
      std::fputs("] ", stream);
    }
    std::fputc('\n', stream);
  }

  std::fputs("\nPermutations:\n-------------\n\n", stream);
  printPermutations(stream, 0);
  std::fputs("Inverse permutations:\n---------------------\n\n", stream);
  printPermutations(stream, 1);
}
