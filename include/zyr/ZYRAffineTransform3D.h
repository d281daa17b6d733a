#ifndef ZYR_ZYRAFFINE_TRANSFORM_3D_H
#define ZYR_ZYRAFFINE_TRANSFORM_3D_H
// qiv::ZYRAffineTransform3D: a 3-D affine transform (a 3-by-3 matrix, a translation and the length
// unit of the translation) that a host builds step by step and hands to the model. Each step is
// applied after the steps before it:
//
//   qiv::ZYRAffineTransform3D t;                                   // identity, in metres
//   t.translate(qiv::TripletBase<float>(0, 0, 10), "mm");
//   t.simpleRotate(qiv::TripletBase<float>(0, 0, 1), qiv::Quantity(90, "deg"));
//
// Length units are names or abbreviations of the library's units tables; angle units begin with
// "rad" or "deg". A failure throws qiv::zyrapi::affine3D with class text "ZYRAffineTransform3D".
#include "Quantity.h"
#include "TripletBase.h"
#include "ZYRAPIExceptions.h"
#include "zyrExport.h"

#include <string>

struct zyrAffineTransform3D;

namespace qiv {

class ZYR_EXPORT ZYRAffineTransform3D {
public:
  ZYRAffineTransform3D();
  ZYRAffineTransform3D(const ZYRAffineTransform3D &other);
  // The matrix row by row and the offset in units.
  ZYRAffineTransform3D(const double matrix[3][3], const TripletBase<float> &offset, const std::string &units);
  ~ZYRAffineTransform3D();
  // A failed copy leaves this transform as it was.
  ZYRAffineTransform3D &operator=(const ZYRAffineTransform3D &other);

  // This transform, then other's.
  void combine(const ZYRAffineTransform3D &other);
  void invert();
  void set(const double matrix[3][3], const TripletBase<float> &offset, const std::string &units);
  // Rotation about the axis through the origin.
  void simpleRotate(const TripletBase<float> &axis, const Quantity &angle);
  // Rotation about the axis through point (in units).
  void rotate(const TripletBase<float> &point, const std::string &units, const TripletBase<float> &axis,
              const Quantity &angle);
  void translate(const TripletBase<float> &displacement, const std::string &units);
  void scale(const TripletBase<float> &centre, const std::string &units, const TripletBase<float> &factors);
  // Reflection in the plane through point with the normal.
  void reflect(const TripletBase<float> &point, const std::string &units, const TripletBase<float> &normal);
  // The map from coordinates in the frame (origin, a, b, c) to global coordinates.
  void frameChange(const TripletBase<float> &origin, const std::string &units, const TripletBase<float> &a,
                   const TripletBase<float> &b, const TripletBase<float> &c);

  // The core's record, for the classes that hand the transform on; owned by this object.
  zyrAffineTransform3D *getTransform() const { return m_transform; }

private:
  zyrAffineTransform3D *m_transform;
};

} // namespace qiv

#endif
