// Coordinate frames of a physics set-up: the COORD FRAME objects under /FLOW, each defined by an
// origin, a point on its third axis and a point in its 1-3 plane, in a reference frame that may
// itself be defined in another frame, to any depth. "Coord 0" is the base frame (global
// Cartesian), never written in the text and never looked up among the frames. Frames are in
// metres.
#ifndef COORD_FRAME_H
#define COORD_FRAME_H

#include <cstdint>
#include <cstdio>

struct pgtHandle;

enum CoordFrameStatus : int32_t {
  COORD_FRAME_DEFINED = 1,     // defined relative to its reference frame
  COORD_FRAME_RESOLVED = 2,    // in base coordinates
  COORD_FRAME_RESOLVING = 3,   // its reference chain is being resolved
  COORD_FRAME_BAD = -1,        // its reference is unknown, bad or circular
  COORD_FRAME_UNREADABLE = -3  // its definition cannot be read
};

enum CoordFrameType : int32_t {
  COORD_FRAME_CARTESIAN = 0,
  COORD_FRAME_CYLINDRICAL = 1,
  COORD_FRAME_UNKNOWN_TYPE = -1
};

struct CoordFrame {
  double m_axes[3][3];      // column j: unit vector of axis j+1 in the reference frame (base once resolved)
  double m_origin[3];       // in the same coordinates, metres
  pgtHandle* m_owner;
  char* m_path;             // the frame's handle, owned
  int32_t m_type;
  int32_t m_status;
  CoordFrame* m_reference;  // NULL: defined in the base frame
  // How local points are read: 1 as (r, theta, z), 0 as (x, y, z). A "Point and Normal" frame
  // has type 1 but reads its points as its "Coord Frame Type" says (Cartesian when not given).
  int32_t m_pointType;
};

// Rebuilds the handle's frames from the COORD FRAME objects now in the tree: 1, or 0 when they
// cannot be built (the handle then holds none).
int createCoordinateFrames(pgtHandle* h);
// A frame read from its handle (status -3, with error 2, when its definition cannot be read);
// NULL when memory runs out.
CoordFrame* CoordFrame_new(pgtHandle* h, const char* handle);
void CoordFrame_delete(CoordFrame* frame);
void CoordFrame_print(const CoordFrame* frame, FILE* stream);
// The name: the text after the last ':' of its path.
const char* CoordFrame_getName(const CoordFrame* frame);
// Brings the frame (and the frames its reference chain runs through) into base coordinates: 1, or
// 0 when the chain is bad. A frame in a cycle of references becomes bad.
int CoordFrame_resolve(CoordFrame* frame);
void pgtDeleteCoordFrames(pgtHandle* h);

int pgtNumCoordFrames(pgtHandle* h);
char** pgtCoordFrameHandles(pgtHandle* h);
char* pgtCoordFrameByName(pgtHandle* h, const char* name);
const char* pgtCoordFrameName(pgtHandle* h, const char* frame);
void pgtFreeCoordFrameHandles(pgtHandle* h, char** handles);
void pgtFreeCoordFrameHandle(pgtHandle* h, char* handle);

// A point given in the frame called name, in base coordinates: 1, or 0 with error 6 (unknown
// frame) or 2 (bad frame). Frames are in metres; units is not used.
int pgtFrameToBase(pgtHandle* h, const char* name, const double local[3], const char* units, double out[3]);
// The axes (columns) and origin of a frame, given by handle or name: 1; 0 for "Coord 0" (identity
// and zero); -1 with error 6 when no usable frame has that name, or error 2 when resolve is 1 and
// it cannot be resolved. units is not used.
int pgtCoordFrameTransform(pgtHandle* h, const char* frame, const char* units, double axes[3][3], double origin[3],
                           int resolve);
// Two points of axis n (1 to 3) of the frame called name: its origin and the point one unit along
// the axis, in base coordinates, converted from metres to units. 1, or 0 with an error recorded.
int pgtFrameAxisPoints(pgtHandle* h, const char* name, int n, const char* units, double from[3], double to[3]);
// Splits "<frame name>.<n>" at the last '.': 1 with the name (a new string) and n in 1 to 3;
// 0 otherwise (no error recorded).
int pgtSplitFrameAxis(pgtHandle* h, const char* text, char** name, int* n);

#endif
