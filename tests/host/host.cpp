// A host of the installed library: only <zyr/...> headers and libzyr.so. Prints one line per
// check and exits 1 on the first wrong answer.
#include <zyr/QIVFramework.h>
#include <zyr/ZYRAPI.h>
#include <zyr/ZYRAffineTransform3D.h>
#include <zyr/ZYRGeometricAlgorithms.h>
#include <zyr/ZYRSelection.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// A new directory in the temporary directory (TMPDIR, else /tmp); empty when none can be made.
std::string scratchDirectory(const char *stem) {
  const char *temporary = std::getenv("TMPDIR");
  const std::string parent = temporary != nullptr && *temporary != '\0' ? temporary : "/tmp";
  const std::string pattern = parent + "/" + stem + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  return mkdtemp(name.data()) != nullptr ? std::string(name.data()) : std::string();
}

// What a host does with a database: open, checkpoint, go back, close and delete.
void database() {
  const std::string dir = scratchDirectory("zyrhost");
  if (dir.empty()) {
    check(false, "scratch directory");
    return;
  }
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

// A whole session through the classes alone: a Gmsh mesh imported through the installed reader,
// a moved copy merged onto it, names changed, composites made and tagged, the display arrays a
// viewer draws, a selection, the definition file, and the database closed and removed.
// check-host names the meshes (ZYRHOST_MESHES) and the reader's directories.
void session() {
  const char *meshes = std::getenv("ZYRHOST_MESHES");
  if (meshes == nullptr) {
    std::printf("skip session: ZYRHOST_MESHES is not set\n");
    return;
  }
  const std::string dir = scratchDirectory("zyrsession");
  if (dir.empty()) {
    check(false, "scratch directory");
    return;
  }
  const std::string db = dir + "/session.zyr";
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  try {
    api.setWorkingDirectory(dir);
    api.openDB(db, false);
    std::vector<std::string> assemblies;
    api.importMeshToModel("Msh", std::string(meshes) + "/box-hex.v4.msh", "", "", "m", "Left", false, assemblies);
    check(assemblies == std::vector<std::string>{"Left"}, "mesh imported through the reader");
    std::vector<std::string> surfaces;
    api.getPrimitive2DRegionsForModel(surfaces);
    std::vector<std::string> volumes;
    api.getPrimitive3DRegionsForModel(volumes);
    check(surfaces.size() == 3 && volumes == std::vector<std::string>{"Block"}, "the mesh's groups are regions");

    double b[6] = {0, 0, 0, 0, 0, 0};
    api.getBoundingBoxForLocation("Left", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], false);
    qiv::ZYRAffineTransform3D shift;
    // Stacked: the copy's bottom lies on the original's top, face for face.
    shift.translate(qiv::TripletBase<float>(0, 0, static_cast<float>(b[5] - b[4])), "m");
    std::vector<std::string> copies;
    api.transformAssembly("Left", "Right", false, 1, shift, false, copies);
    check(copies.size() == 2 && api.getAssemblyNames().size() == 2, "a moved copy");
    std::vector<std::string> pair = api.getAssemblyNames();
    const bool merged = api.mergeAssemblies(pair);
    check(merged && api.getAssemblyNames().size() == 1, "the copy merged where the meshes meet");
    std::vector<std::string> paired;
    api.getPairedRegionsForRegion("top", paired, 3);
    check(paired.size() == 1, "the meeting faces are paired");

    std::string given;
    api.renameRegion("top", "lid", 0, given);
    check(given == "lid" && api.isPrimitiveName("lid") && !api.isPrimitiveName("top"), "region renamed");

    qiv::ZYRAPI::CompositeDef ends;
    ends.name = "ends";
    ends.type = 0;
    ends.componentsA = {"lid", "bottom"};
    api.addCompositeName(ends);
    api.tagComposite("ends", true, "caps");
    std::vector<std::string> tags;
    api.getCompositeTags("ends", tags);
    // The atlas keeps the components in name order.
    const qiv::ZYRAPI::CompositeDef back = api.getCompositeByName("ends");
    check(back.name == "ends" && back.type == 0 && back.componentsA == std::vector<std::string>{"bottom", "lid"} &&
              tags == std::vector<std::string>{"caps"},
          "composite made and tagged");
    api.renameComposite("ends", "caps", 0, given);
    check(api.isCompositeName("caps") && !api.isCompositeName("ends"), "composite renamed");

    qiv::ZYRAPI::FacettedDisplay facets;
    api.getFacettedDisplayForLocation("caps", facets, false);
    check(facets.nQuads > 0 &&
              facets.connectivity.size() == 3 * static_cast<size_t>(facets.nTriangles) + 4 * facets.nQuads &&
              facets.points.size() == 3 * static_cast<size_t>(facets.nPoints),
          "facetted display arrays");
    qiv::ZYRGeometricAlgorithms algorithms;
    std::string location = "caps";
    qiv::TripletQIVVector points;
    qiv::IntQIVVector lines;
    algorithms.calculateWireframe(location, points, lines, 30);
    check(!points.empty() && lines.size() % 2 == 0, "wireframe through the framework interface");
    qiv::IntQIVVector same;
    for (int i = 0; i < static_cast<int>(points.size()); ++i)
      same.push_back(i);
    algorithms.reorderConnectivityVector(points, points, same);
    bool identity = true;
    for (size_t i = 0; i < same.size(); ++i)
      identity = identity && same[i] == static_cast<int>(i);
    check(identity, "renumbering onto the same points changes nothing");

    std::vector<double> values;
    {
      qiv::ZYRSelection selection("location Block");
      selection.analyse("volume", values);
    }
    check(!values.empty() && values[0] > 0, "selection analysed");

    // The writer takes the host's physics text from the file, which a host puts there with its own
    // tools; without it the model is refused with the writer's reasons.
    bool refused = false;
    try {
      api.writeDefFileForModel(dir + "/case.wez");
    } catch (const qiv::zyrapi::zyr &e) {
      refused = e.getMethod() == "writeDefFileForModel" &&
                e.getText().find("There was a problem reading the physics VSN.") != std::string::npos;
    }
    check(refused && access((dir + "/case.wez").c_str(), F_OK) != 0,
          "definition file without physics refused, nothing written");
    api.removeCurZyr(db);
    check(!api.isDBOpen() && access(db.c_str(), F_OK) != 0, "database closed and removed");
  } catch (const qiv::Error &e) {
    std::printf("%s: %s\n", e.getMethod().c_str(), e.getText().c_str());
    check(false, "session");
    if (api.isDBOpen())
      api.removeCurZyr(db);
  }
  std::remove((dir + "/case.wez").c_str());
  check(rmdir(dir.c_str()) == 0, "nothing left behind by the session");
}

} // namespace

int main() {
  frameworkClasses();
  transformClass();
  apiObject();
  database();
  session();
  return failures == 0 ? 0 : 1;
}
