#ifndef ZYR_MESH_SELECTION_COMMAND_H
#define ZYR_MESH_SELECTION_COMMAND_H
// The command text of one mesh-selection step, read into a plain record. The text names exactly one
// kind of selection: a position relative to a shape ("sphere", "planex", "planey", "planez",
// "planei", "box" with the criterion keywords "not", "inside", "outside", "intersecting"), a
// quality measure between bounds, a list of element types after "type", or a location after
// "location". Keywords come in any order; a later one of the same kind replaces an earlier one and
// the kind named last wins. Tokens are separated by blanks and tabs; numbers are read as
// sscanf("%le") reads them.
#include <cstdint>
#include <string>

// Kinds of step.
enum {
  MESH_SELECTION_NO_KIND = 0,
  MESH_SELECTION_GEOMETRIC = 1,
  MESH_SELECTION_QUALITY = 2,
  MESH_SELECTION_TYPE = 3,
  MESH_SELECTION_LOCATION = 4
};

// Geometric criteria: an element of k vertices whose side codes (-1 inside, 0 on the surface,
// 1 outside) add up to S is taken by 1 when all are -1, 2 when -k < S < k, 3 when none is 1,
// 4 when all are 1, 5 when S is -k or k, 6 when none is -1, 7 always, 0 never.
enum {
  MESH_SELECTION_NONE = 0,
  MESH_SELECTION_INSIDE = 1,
  MESH_SELECTION_INTERSECTING = 2,
  MESH_SELECTION_NOT_OUTSIDE = 3,
  MESH_SELECTION_OUTSIDE = 4,
  MESH_SELECTION_NOT_INTERSECTING = 5,
  MESH_SELECTION_NOT_INSIDE = 6,
  MESH_SELECTION_ALL = 7
};

// Shapes: plane (a, b, c, d) of the points with a x + b y + c z + d = 0, inside where the sum is
// negative; sphere (cx, cy, cz, r); box (xmin, ymin, zmin, xmax, ymax, zmax).
enum { MESH_SELECTION_PLANE = 1, MESH_SELECTION_SPHERE = 2, MESH_SELECTION_BOX = 3 };

struct MeshSelectionStep {
  int32_t m_kind;
  // Geometric.
  int32_t m_criterion;
  int32_t m_shape;
  double m_numbers[6];
  // Quality: the measure's name, bounds and whether each bound is given.
  const char *m_measure;
  double m_bounds[2];
  int32_t m_boundFlags[2];
  // Type: the chosen element type codes, ascending, each once.
  int32_t m_noOfTypes;
  int32_t m_types[8];
  // Location: the raw rest of the text.
  std::string m_location;
};

// Reads the text into the step. 0 on a syntax error (the step is then undefined), else 1. With
// log set every keyword read is written to the debug log as "Key word = |...|".
int MeshSelectionCommand_parse(const char *text, int log, MeshSelectionStep *step);

#endif
