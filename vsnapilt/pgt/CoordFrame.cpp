#include "CoordFrame.h"

#include "pgtHandle.h"
#include "pgtQuantity.h"
#include "units.h"

#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const char kFlow[] = "/FLOW";
const char kFrameType[] = "COORD FRAME";
const char kBaseFrame[] = "Coord 0";

const char kUnreadable[] = "Problem parsing the VSN that defines a coordinate frame.";
const char kZeroAxis[] = "One or more of the coordinate frame axes has zero length.";
const char kUnknownFrame[] = "Unable to identify the requested coordinate frame.";
const char kBadFrame[] = "Coordinate frame refers to a bad coordinate frame.";
const char kNoTransform[] = "Unable to establish the transformation from a coordinate frame to the base coordinate frame.";

void cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// out = m * v + shift
void apply(const double m[3][3], const double v[3], const double shift[3], double out[3]) {
  double r[3];
  for (int i = 0; i < 3; ++i) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2] + shift[i];
  for (int i = 0; i < 3; ++i) out[i] = r[i];
}

// Takes the frame from its reference's coordinates into the base frame, the reference being
// resolved already.
void compose(CoordFrame* f, const CoordFrame* r) {
  apply(r->m_axes, f->m_origin, r->m_origin, f->m_origin);
  double axes[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      axes[i][j] = r->m_axes[i][0] * f->m_axes[0][j] + r->m_axes[i][1] * f->m_axes[1][j] +
                   r->m_axes[i][2] * f->m_axes[2][j];
  memcpy(f->m_axes, axes, sizeof axes);
}

CoordFrame* findFrame(pgtHandle* h, const char* name, bool usableOnly) {
  for (int32_t i = 0; i < h->m_noOfCoordFrames; ++i) {
    CoordFrame* f = h->m_coordFrames[i];
    if (usableOnly && f->m_status <= 0) continue;
    const char* own = CoordFrame_getName(f);
    if (own && name && strcmp(own, name) == 0) return f;
  }
  return nullptr;
}

// The last ':' of a handle, or the whole text when it has none.
const char* nameOfHandleOrName(const char* frame) {
  const char* colon = strrchr(frame, ':');
  return colon ? colon + 1 : frame;
}

} // namespace

int createCoordinateFrames(pgtHandle* h) {
  if (!h) return 0;
  pgtDeleteCoordFrames(h);
  int status = -1;
  u_init(nullptr, &status);
  if (status != 0) return 0;
  int n = pgtNumCoordFrames(h);
  if (n <= 0) return n == 0;
  char** handles = pgtCoordFrameHandles(h);
  if (!handles) return 0;
  CoordFrame** frames = static_cast<CoordFrame**>(pgtAlloc(h, static_cast<size_t>(n) * sizeof(CoordFrame*), __func__));
  int made = 0;
  while (frames && made < n && handles[made]) {
    CoordFrame* f = CoordFrame_new(h, handles[made]);
    if (!f) break;
    frames[made++] = f;
  }
  pgtFreeHandleArray(handles);
  if (!frames || made < n) {
    for (int i = 0; i < made; ++i) CoordFrame_delete(frames[i]);
    free(frames);
    return 0;
  }
  h->m_coordFrames = frames;
  h->m_noOfCoordFrames = n;
  for (int i = 0; i < n; ++i) {
    CoordFrame* f = frames[i];
    if (f->m_status < 0) continue;
    const char* reference = pgtGetParameter(h, __func__, f->m_path, "Reference Coord Frame");
    if (!reference) reference = kBaseFrame;
    if (strcmp(reference, kBaseFrame) == 0) continue;
    f->m_reference = findFrame(h, reference, false);
    if (!f->m_reference) f->m_status = COORD_FRAME_BAD;
  }
  return 1;
}

CoordFrame* CoordFrame_new(pgtHandle* h, const char* handle) {
  if (!h || !handle) return nullptr;
  CoordFrame* f = static_cast<CoordFrame*>(pgtAlloc(h, sizeof(CoordFrame), __func__));
  if (!f) return nullptr;
  memset(f, 0, sizeof *f);
  f->m_owner = h;
  f->m_path = cloneString(h, handle);
  if (!f->m_path) {
    free(f);
    return nullptr;
  }
  f->m_status = COORD_FRAME_DEFINED;

  // Values are compared at once: the next read replaces them.
  const char* option = pgtGetParameter(h, __func__, handle, "Option");
  bool pointAndNormal = option && strcmp(option, "Point and Normal") == 0;
  const char* type = pgtGetParameter(h, __func__, handle, "Coord Frame Type");
  int32_t given = !type                               ? COORD_FRAME_UNKNOWN_TYPE
                  : strcmp(type, "Cartesian") == 0   ? COORD_FRAME_CARTESIAN
                  : strcmp(type, "Cylindrical") == 0 ? COORD_FRAME_CYLINDRICAL
                                                     : COORD_FRAME_UNKNOWN_TYPE;
  f->m_type = pointAndNormal ? COORD_FRAME_CYLINDRICAL : given;
  f->m_pointType = pointAndNormal ? (given == COORD_FRAME_CYLINDRICAL ? 1 : 0) : given;
  if (f->m_type == COORD_FRAME_UNKNOWN_TYPE) {
    // Guessing how its points read would place them wrongly.
    pgtSetError(h, PGT_E_DATA, kUnreadable);
    f->m_status = COORD_FRAME_UNREADABLE;
    return f;
  }

  static const char* const kPlain[3] = {"Origin Point", "Axis 3 Point", "Plane 13 Point"};
  static const char* const kPointAndNormal[3] = {"Origin", "Point on Axis 3", "Point on Plane 13"};
  const char* const* names = pointAndNormal ? kPointAndNormal : kPlain;
  double p[3][3];
  for (int i = 0; i < 3; ++i) {
    const char* text = pgtGetParameter(h, __func__, handle, names[i]);
    if (!text || !pgtReadVector(h, text, "m", p[i])) {
      pgtSetError(h, PGT_E_DATA, kUnreadable);
      f->m_status = COORD_FRAME_UNREADABLE;
      return f;
    }
  }
  double axis[3][3], q[3];
  for (int i = 0; i < 3; ++i) {
    axis[2][i] = p[1][i] - p[0][i];
    q[i] = p[2][i] - p[0][i];
  }
  cross(axis[2], q, axis[1]);
  cross(axis[1], axis[2], axis[0]);
  for (int k = 0; k < 3; ++k) {
    if (!pgtNormalise(h, axis[k])) {
      pgtSetError(h, PGT_E_DATA, kZeroAxis);
      f->m_status = COORD_FRAME_UNREADABLE;
      return f;
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) f->m_axes[i][j] = axis[j][i];
    f->m_origin[i] = p[0][i];
  }
  return f;
}

void CoordFrame_delete(CoordFrame* frame) {
  if (!frame) return;
  free(frame->m_path);
  free(frame);
}

void CoordFrame_print(const CoordFrame* f, FILE* stream) {
  if (!stream) return;
  if (!f) {
    fprintf(stream, "CoordFrame: (nul)\n");
    return;
  }
  fprintf(stream, "CoordFrame %s: type %" PRId32 " (points %s), status %" PRId32 ", reference %s\n",
          f->m_path ? f->m_path : "(nul)", f->m_type, f->m_pointType == 1 ? "cylindrical" : "Cartesian", f->m_status,
          f->m_reference ? CoordFrame_getName(f->m_reference) : kBaseFrame);
  for (int i = 0; i < 3; ++i)
    fprintf(stream, "  | %.17g %.17g %.17g |  %.17g\n", f->m_axes[i][0], f->m_axes[i][1], f->m_axes[i][2],
            f->m_origin[i]);
}

const char* CoordFrame_getName(const CoordFrame* frame) {
  if (!frame || !frame->m_path) return nullptr;
  const char* colon = strrchr(frame->m_path, ':');
  return colon ? colon + 1 : frame->m_path;
}

int CoordFrame_resolve(CoordFrame* frame) {
  if (!frame) return 0;
  if (frame->m_status == COORD_FRAME_RESOLVED) return 1;
  if (frame->m_status != COORD_FRAME_DEFINED) return 0;
  // Walks up the reference chain without recursion, so that a long chain cannot exhaust the
  // stack; the frames left waiting for their reference are marked as being resolved, which is how
  // a cycle shows itself.
  // Each frame waits at most once, so the owner's frame count bounds the list.
  size_t capacity = frame->m_owner && frame->m_owner->m_noOfCoordFrames > 0
                        ? static_cast<size_t>(frame->m_owner->m_noOfCoordFrames)
                        : 1;
  CoordFrame** waiting = static_cast<CoordFrame**>(pgtAlloc(frame->m_owner, capacity * sizeof(CoordFrame*), __func__));
  if (!waiting) return 0;
  size_t count = 0;
  CoordFrame* f = frame;
  bool ok;
  for (;;) {
    CoordFrame* r = f->m_reference;
    if (!r) {
      f->m_status = COORD_FRAME_RESOLVED;
      ok = true;
      break;
    }
    if (r->m_status == COORD_FRAME_DEFINED) {
      if (count == capacity) {  // only for frames outside their owner's list
        ok = false;
        break;
      }
      f->m_status = COORD_FRAME_RESOLVING;
      waiting[count++] = f;
      f = r;
      continue;
    }
    if (r->m_status == COORD_FRAME_RESOLVING) {
      f->m_status = COORD_FRAME_BAD;
      ok = false;
      break;
    }
    if (r->m_status < 0) {
      ok = false;  // this frame keeps its status; those waiting on it become bad
      break;
    }
    compose(f, r);
    f->m_status = COORD_FRAME_RESOLVED;
    ok = true;
    break;
  }
  for (size_t i = count; i-- > 0;) {
    CoordFrame* w = waiting[i];
    if (ok) {
      compose(w, w->m_reference);
      w->m_status = COORD_FRAME_RESOLVED;
    } else {
      w->m_status = COORD_FRAME_BAD;
    }
  }
  free(waiting);
  return ok ? 1 : 0;
}

void pgtDeleteCoordFrames(pgtHandle* h) {
  if (!h) return;
  for (int32_t i = 0; i < h->m_noOfCoordFrames; ++i) CoordFrame_delete(h->m_coordFrames[i]);
  free(h->m_coordFrames);
  h->m_coordFrames = nullptr;
  h->m_noOfCoordFrames = 0;
}

int pgtNumCoordFrames(pgtHandle* h) { return pgtCountChildren(h, __func__, kFlow, kFrameType); }

char** pgtCoordFrameHandles(pgtHandle* h) { return pgtGHHandles(h, __func__, kFlow, kFrameType); }

char* pgtCoordFrameByName(pgtHandle* h, const char* name) {
  return pgtFindNamedObject(h, __func__, kFlow, kFrameType, name);
}

const char* pgtCoordFrameName(pgtHandle* h, const char* frame) { return pgtHandleName(h, __func__, frame); }

void pgtFreeCoordFrameHandles(pgtHandle*, char** handles) { pgtFreeHandleArray(handles); }

void pgtFreeCoordFrameHandle(pgtHandle*, char* handle) { pgtFreeOneHandle(handle); }

int pgtFrameToBase(pgtHandle* h, const char* name, const double local[3], const char* units, double out[3]) {
  (void)units;
  if (!h || !name || !local || !out) return 0;
  if (strcmp(name, kBaseFrame) == 0) {
    for (int i = 0; i < 3; ++i) out[i] = local[i];
    return 1;
  }
  CoordFrame* f = findFrame(h, name, false);
  if (!f) {
    pgtSetError(h, PGT_E_NO_OBJECT, kUnknownFrame);
    return 0;
  }
  if (f->m_status < 0) {
    pgtSetError(h, PGT_E_DATA, kBadFrame);
    return 0;
  }
  if (f->m_status != COORD_FRAME_RESOLVED && !CoordFrame_resolve(f)) {
    pgtSetError(h, PGT_E_DATA, kNoTransform);
    return 0;
  }
  double p[3] = {local[0], local[1], local[2]};
  if (f->m_pointType != 0) {
    double r = local[0], theta = local[1];
    p[0] = r * std::cos(theta);
    p[1] = r * std::sin(theta);
  }
  apply(f->m_axes, p, f->m_origin, out);
  return 1;
}

int pgtCoordFrameTransform(pgtHandle* h, const char* frame, const char* units, double axes[3][3], double origin[3],
                           int resolve) {
  (void)units;
  if (!h || !frame || !axes || !origin) return -1;
  const char* name = nameOfHandleOrName(frame);
  if (strcmp(name, kBaseFrame) == 0) {
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) axes[i][j] = i == j ? 1 : 0;
      origin[i] = 0;
    }
    return 0;
  }
  CoordFrame* f = findFrame(h, name, true);
  if (!f) {
    pgtSetError(h, PGT_E_NO_OBJECT, kUnknownFrame);
    return -1;
  }
  if (resolve == 1 && f->m_status != COORD_FRAME_RESOLVED && !CoordFrame_resolve(f)) {
    pgtSetError(h, PGT_E_DATA, kNoTransform);
    return -1;
  }
  memcpy(axes, f->m_axes, sizeof f->m_axes);
  memcpy(origin, f->m_origin, sizeof f->m_origin);
  return 1;
}

int pgtFrameAxisPoints(pgtHandle* h, const char* name, int n, const char* units, double from[3], double to[3]) {
  if (!h || !name || n < 1 || n > 3) return 0;
  double origin[3] = {0, 0, 0}, axis[3] = {0, 0, 0};
  axis[n - 1] = 1;
  if (strcmp(name, kBaseFrame) != 0) {
    const double zero[3] = {0, 0, 0};
    if (!pgtFrameToBase(h, name, zero, "m", origin)) return 0;
    // The axis itself, not a local point on it: a frame that reads points as (r, theta, z) would
    // put the unit point of its second axis at its origin.
    const CoordFrame* f = findFrame(h, name, false);
    for (int i = 0; i < 3; ++i) axis[i] = f->m_axes[i][n - 1];
  }
  double scale = 1, offset = 0;
  int status = -1;
  convert("m", units ? units : "m", &scale, &offset, &status);
  if (status != 0) {
    pgtSetError(h, PGT_E_DATA, "Unable to convert metres into \"%s\".", units);
    return 0;
  }
  for (int i = 0; i < 3; ++i) {
    from[i] = origin[i] * scale;
    to[i] = (origin[i] + axis[i]) * scale;
  }
  return 1;
}

int pgtSplitFrameAxis(pgtHandle* h, const char* text, char** name, int* n) {
  *name = nullptr;
  *n = 0;
  const char* dot = text ? strrchr(text, '.') : nullptr;
  if (!dot || dot == text || dot[1] == '\0') return 0;
  const char* digits = dot + 1;
  while (*digits == ' ') ++digits;
  size_t used = strspn(digits, "0123456789");
  const char* rest = digits + used;
  while (*rest == ' ') ++rest;
  if (used != 1 || *rest != '\0') return 0;
  int value = atoi(digits);
  if (value < 1 || value > 3) return 0;
  size_t length = static_cast<size_t>(dot - text);
  while (length > 0 && text[length - 1] == ' ') --length;
  if (length == 0) return 0;
  char* copy = static_cast<char*>(pgtAlloc(h, length + 1, __func__));
  if (!copy) return 0;
  memcpy(copy, text, length);
  copy[length] = '\0';
  *name = copy;
  *n = value;
  return 1;
}
