// The transform class: each member widens its triplets to doubles, makes one call of the core's
// transform functions and turns a failure into an affine3D exception carrying the queued errors.
#include "ZYRAffineTransform3D.h"

#include "ZYRAPI.h"
#include "ZYRAPIBoundary.h"
#include "zyrAffineTransform3D.h"

namespace qiv {

namespace {

const char *const kClassText = "ZYRAffineTransform3D";

struct Widened {
  double m_v[3];
  explicit Widened(const TripletBase<float> &t) : m_v{t.x(), t.y(), t.z()} {}
};

void flattenMatrix(const double matrix[3][3], double flat[9]) {
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column)
      flat[3 * row + column] = matrix[row][column];
}

[[noreturn]] void fail(const char *method) {
  // The queue is read through the one object that owns the bridge.
  ZYRAPI::instance();
  zyrapi::boundary::throwQueued<zyrapi::affine3D>(kClassText, method);
}

void check(int status, const char *method) {
  if (status != 1)
    fail(method);
}

} // namespace

ZYRAffineTransform3D::ZYRAffineTransform3D() : m_transform(zyrAffineTransform3D_new()) {
  if (m_transform == nullptr)
    fail("ZYRAffineTransform3D");
}

ZYRAffineTransform3D::ZYRAffineTransform3D(const ZYRAffineTransform3D &other)
    : m_transform(zyrAffineTransform3D_copy(other.m_transform)) {
  if (m_transform == nullptr)
    fail("ZYRAffineTransform3D");
}

ZYRAffineTransform3D::ZYRAffineTransform3D(const double matrix[3][3], const TripletBase<float> &offset,
                                           const std::string &units)
    : m_transform(zyrAffineTransform3D_new()) {
  if (m_transform == nullptr)
    fail("ZYRAffineTransform3D");
  double flat[9];
  flattenMatrix(matrix, flat);
  const Widened v(offset);
  if (zyrAffineTransform3D_set(m_transform, flat, v.m_v, units.c_str()) != 1) {
    zyrAffineTransform3D_delete(m_transform);
    m_transform = nullptr;
    fail("ZYRAffineTransform3D");
  }
}

ZYRAffineTransform3D::~ZYRAffineTransform3D() { zyrAffineTransform3D_delete(m_transform); }

ZYRAffineTransform3D &ZYRAffineTransform3D::operator=(const ZYRAffineTransform3D &other) {
  if (this == &other)
    return *this;
  zyrAffineTransform3D *copy = zyrAffineTransform3D_copy(other.m_transform);
  if (copy == nullptr)
    fail("operator=");
  zyrAffineTransform3D_delete(m_transform);
  m_transform = copy;
  return *this;
}

void ZYRAffineTransform3D::combine(const ZYRAffineTransform3D &other) {
  check(zyrAffineTransform3D_combine(m_transform, other.m_transform), "combine");
}

void ZYRAffineTransform3D::invert() { check(zyrAffineTransform3D_invert(m_transform), "invert"); }

void ZYRAffineTransform3D::set(const double matrix[3][3], const TripletBase<float> &offset,
                               const std::string &units) {
  double flat[9];
  flattenMatrix(matrix, flat);
  const Widened v(offset);
  check(zyrAffineTransform3D_set(m_transform, flat, v.m_v, units.c_str()), "set");
}

void ZYRAffineTransform3D::simpleRotate(const TripletBase<float> &axis, const Quantity &angle) {
  const Widened a(axis);
  check(zyrAffineTransform3D_simpleRotate(m_transform, a.m_v, angle.getValue(), angle.getUnits().c_str()),
        "simpleRotate");
}

void ZYRAffineTransform3D::rotate(const TripletBase<float> &point, const std::string &units,
                                  const TripletBase<float> &axis, const Quantity &angle) {
  const Widened p(point);
  const Widened a(axis);
  check(zyrAffineTransform3D_rotate(m_transform, p.m_v, units.c_str(), a.m_v, angle.getValue(),
                                    angle.getUnits().c_str()),
        "rotate");
}

void ZYRAffineTransform3D::translate(const TripletBase<float> &displacement, const std::string &units) {
  const Widened d(displacement);
  check(zyrAffineTransform3D_translate(m_transform, d.m_v, units.c_str()), "translate");
}

void ZYRAffineTransform3D::scale(const TripletBase<float> &centre, const std::string &units,
                                 const TripletBase<float> &factors) {
  const Widened c(centre);
  const Widened f(factors);
  check(zyrAffineTransform3D_scale(m_transform, c.m_v, units.c_str(), f.m_v), "scale");
}

void ZYRAffineTransform3D::reflect(const TripletBase<float> &point, const std::string &units,
                                   const TripletBase<float> &normal) {
  const Widened p(point);
  const Widened n(normal);
  check(zyrAffineTransform3D_reflect(m_transform, p.m_v, units.c_str(), n.m_v), "reflect");
}

void ZYRAffineTransform3D::frameChange(const TripletBase<float> &origin, const std::string &units,
                                       const TripletBase<float> &a, const TripletBase<float> &b,
                                       const TripletBase<float> &c) {
  const Widened o(origin);
  const Widened wa(a);
  const Widened wb(b);
  const Widened wc(c);
  check(zyrAffineTransform3D_frameChange(m_transform, o.m_v, units.c_str(), wa.m_v, wb.m_v, wc.m_v),
        "frameChange");
}

} // namespace qiv
