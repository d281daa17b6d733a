// A host of the installed library: only <zyr/...> headers and libzyr.so. Prints one line per
// check and exits 1 on the first wrong answer.
#include <zyr/QIVFramework.h>
#include <zyr/ZYRAPI.h>
#include <zyr/ZYRAffineTransform3D.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const char *what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok)
    ++failures;
}

void frameworkClasses() {
  double kelvin = 0;
  check(qiv::Quantity(20, "C").getValueIn("K", kelvin) && std::fabs(kelvin - 293.15) < 1e-9,
        "units conversion through the installed definitions");
  double value = 0;
  std::string units;
  check(qiv::StringUtilities::valueAsDouble("1.5 [mm]", value, units) && value == 1.5 && units == "mm",
        "quantity text");
  check(!qiv::UnitsConverter::instance().isValidUnits("no-such-unit"), "unknown units refused");
  check(qiv::_("%d of %s", 3, "four") == "3 of four", "message formatting");
  qiv::IntQIVVector numbers(3);
  check(numbers.size() == 3 && numbers[2] == 0, "framework vector");
}

void transformClass() {
  qiv::ZYRAffineTransform3D t;
  t.translate(qiv::TripletBase<float>(1, 2, 3), "mm");
  t.simpleRotate(qiv::TripletBase<float>(0, 0, 1), qiv::Quantity(90, "deg"));
  qiv::ZYRAffineTransform3D copy(t);
  copy.invert();
  bool caught = false;
  try {
    const double singular[3][3] = {{1, 0, 0}, {0, 0, 0}, {0, 0, 1}};
    qiv::ZYRAffineTransform3D flat(singular, qiv::TripletBase<float>(0, 0, 0), "m");
    flat.invert();
  } catch (const qiv::zyrapi::error &e) {
    // Caught by a base class of the library: the type information crossed the boundary.
    caught = dynamic_cast<const qiv::zyrapi::affine3D *>(&e) != nullptr && e.getMethod() == "invert" &&
             e.getClass() == "ZYRAffineTransform3D" && e.getText().find("Matrix:") != std::string::npos;
  }
  check(caught, "singular transform throws affine3D with the matrix");
}

void apiObject() {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  check(&api == &qiv::ZYRAPI::instance() && !api.isDBOpen(), "one ZYRAPI object, no database");
  bool caught = false;
  try {
    api.openDB("/nonexistent/dir/none.zyr", true);
  } catch (const qiv::Error &e) {
    caught = e.getName() == "zyrapi::zyr" && e.getMethod() == "startSimulation" &&
             e.getText() == "Could not find /nonexistent/dir/none.zyr";
  }
  check(caught, "a missing database is reported as qiv::Error");
  qiv::ZYRAPI::CompositeDef a;
  a.name = "walls";
  a.componentsA = {"w1", "w2"};
  qiv::ZYRAPI::CompositeDef b(a);
  check(a == b && !(a != b), "records");
}

// What a host does with a database: open, checkpoint, go back, close and delete.
void database() {
  char pattern[] = "/tmp/zyrhostXXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    check(false, "scratch directory");
    return;
  }
  const std::string dir = pattern;
  const std::string db = dir + "/host.zyr";
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  try {
    api.setWorkingDirectory(dir + "/");
    api.openDB(db, false);
    check(api.isDBOpen() && access(db.c_str(), F_OK) == 0 && access((db + ".lck").c_str(), F_OK) == 0,
          "database opened with its lock");
    const int first = api.getCheckpoint();
    api.restoreCheckpoint(first);
    check(first >= 0, "checkpoint saved and restored");
    api.copyZyr(dir + "/copy.zyr", false, false);
    check(access((dir + "/copy.zyr").c_str(), F_OK) == 0, "database copied");
    api.removeCurZyr(db);
    check(!api.isDBOpen() && access(db.c_str(), F_OK) != 0 && access((db + ".lck").c_str(), F_OK) != 0,
          "database closed and removed");
    check(api.getCheckpoint() == -1, "no checkpoint without a database");
  } catch (const qiv::Error &e) {
    std::printf("%ls\n", e.errorMessage().c_str());
    check(false, "database lifecycle");
  }
  std::remove((dir + "/copy.zyr").c_str());
  std::remove((dir + "/copy.zyr.lck").c_str());
  check(rmdir(dir.c_str()) == 0, "nothing left behind");
}

} // namespace

int main() {
  frameworkClasses();
  transformClass();
  apiObject();
  database();
  return failures == 0 ? 0 : 1;
}
