#ifndef ZYR_ZYRAPI_EXCEPTIONS_H
#define ZYR_ZYRAPI_EXCEPTIONS_H
// The exceptions of the exported classes. Every failure leaves the library as one of these,
// caught by the host as qiv::Error: the class text and method text name what failed as the host
// sees it, the message holds every error the core had queued for the call, blank-line separated,
// and the code is the core's code of the first of them that is an error (0 when none is).
//
//   zyrapi::zyr       database, model, location and naming operations
//   zyrapi::ratlas    composite names, priorities and primitive regions
//   zyrapi::affine3D  the transform class
//   zyrapi::memory    declared for hosts that catch it; nothing throws it
//
// zyrapi::error is only ever a base. None of them adds virtual operations to qiv::Error, so a host
// sees the same table whatever it catches.
#include "QIVError.h"
#include "zyrExport.h"

#include <string>

namespace qiv {
namespace zyrapi {

class ZYR_EXPORT error : public qiv::Error {
public:
  error();
  error(const std::string &classText, const std::string &methodText, const std::string &message,
        qiv::errorType type);
  error(const std::string &classText, const std::string &methodText, const std::string &message,
        qiv::errorType type, int code);
  error(const error &other);
  error &operator=(const error &other);
  ~error() override;

protected:
  error(const std::string &ownName, const std::string &classText, const std::string &methodText,
        const std::string &message, qiv::errorType type, int code = 0);
};

class ZYR_EXPORT zyr : public error {
public:
  zyr();
  zyr(const std::string &classText, const std::string &methodText, const std::string &message,
      qiv::errorType type);
  zyr(const std::string &classText, const std::string &methodText, const std::string &message,
      qiv::errorType type, int code);
  zyr(const zyr &other);
  zyr &operator=(const zyr &other);
  ~zyr() override;
};

class ZYR_EXPORT ratlas : public error {
public:
  ratlas();
  ratlas(const std::string &classText, const std::string &methodText, const std::string &message,
         qiv::errorType type);
  ratlas(const std::string &classText, const std::string &methodText, const std::string &message,
         qiv::errorType type, int code);
  ratlas(const ratlas &other);
  ratlas &operator=(const ratlas &other);
  ~ratlas() override;
};

class ZYR_EXPORT affine3D : public error {
public:
  affine3D();
  affine3D(const std::string &classText, const std::string &methodText, const std::string &message,
           qiv::errorType type);
  affine3D(const std::string &classText, const std::string &methodText, const std::string &message,
           qiv::errorType type, int code);
  affine3D(const affine3D &other);
  affine3D &operator=(const affine3D &other);
  ~affine3D() override;
};

class ZYR_EXPORT memory : public error {
public:
  memory();
  memory(const std::string &classText, const std::string &methodText, const std::string &message,
         qiv::errorType type);
  memory(const std::string &classText, const std::string &methodText, const std::string &message,
         qiv::errorType type, int code);
  memory(const memory &other);
  memory &operator=(const memory &other);
  ~memory() override;
};

} // namespace zyrapi
} // namespace qiv

#endif
