#ifndef ZYR_ZYRAPI_H
#define ZYR_ZYRAPI_H
// qiv::ZYRAPI: the one object through which a host works on a database. It keeps the handles of
// the open database and of its model, turns each method into calls of the library's core, and
// turns the core's queued errors into exceptions (ZYRAPIExceptions.h):
//
//   qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
//   api.openDB("/data/run.zyr", false);     // creates the file when it does not exist
//   int checkpoint = api.getCheckpoint();
//   ...
//   api.restoreCheckpoint(checkpoint);
//   api.removeCurZyr("/data/run.zyr");       // closes the database and deletes its files
//
// Geometry crosses this interface in metres. One thread calls the library at a time.
#include "ZYRAPIExceptions.h"
#include "zyrExport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qiv {

class ZYRAffineTransform3D;

class ZYR_EXPORT ZYRAPI {
public:
  // The axis of a rotating mesh match: root and tip points in the length unit `units`.
  struct ZYR_EXPORT AxisInfo {
    double rootX, rootY, rootZ;
    double tipX, tipY, tipZ;
    std::string units;
    // Both points at the origin, units "m".
    AxisInfo();
    AxisInfo(const AxisInfo &other);
    AxisInfo &operator=(const AxisInfo &other);
  };

  // A composite name: `type` is the combination of the component lists:
  //   0 Union (also any value not listed), 1 Intersection, 2 Complement,
  //   3 Difference (A minus B), 4 Symmetric Difference (A and B), 5 Merge, 6 Alias (at most one
  //   component).
  struct ZYR_EXPORT CompositeDef {
    std::string name;
    int type;
    std::vector<std::string> componentsA;
    std::vector<std::string> componentsB;

    // Empty, a Union.
    CompositeDef();
    CompositeDef(const CompositeDef &other);
    CompositeDef &operator=(const CompositeDef &other);
    ~CompositeDef();
    // Same type, same name and the same lists in the same order.
    bool operator==(const CompositeDef &other) const;
    bool operator!=(const CompositeDef &other) const;
  };

  // A primitive region given by faces (type 0, a surface) or elements (type 1) of existing
  // regions, one entry each as "<region>:<number from 1>", for example "Inlet:12".
  struct ZYR_EXPORT PrimitiveDef {
    std::string name;
    int type;
    std::vector<std::string> entries;

    // Empty, type 0.
    PrimitiveDef();
    PrimitiveDef(const PrimitiveDef &other);
    PrimitiveDef &operator=(const PrimitiveDef &other);
    ~PrimitiveDef();
  };

  // The mesh size of a location. elementCounts is indexed by element type: 0 node, 1 bar,
  // 2 triangle, 3 quadrilateral, 4 tetrahedron, 5 pyramid, 6 prism, 7 hexahedron. The counts sum
  // those of the location's regions: a vertex that two regions share is counted once for each
  // (two blocks meeting at a face give more vertices than their mesh holds distinct ones).
  struct MeshSizeInfo {
    std::vector<int> elementCounts;
    int noOfVertices = 0;
    int noOfElements = 0;
  };

  // Surface display: three coordinates per point (metres); connectivity holds three point indices
  // per triangle for all triangles, then four per quadrilateral.
  struct FacettedDisplay {
    std::vector<float> points;
    std::vector<int> connectivity;
    int nQuads = 0;
    int nTriangles = 0;
    int nPoints = 0;
  };

  // Edge display: three coordinates per point (metres), two point indices per line.
  struct WireframeDisplay {
    std::vector<float> points;
    std::vector<int> lines;
    int nPoints = 0;
    int nLines = 0;
  };

  // The kind of mesh match: in place, or periodic by translation or by rotation about an axis.
  enum MatchType { InPlace = 0, Translational = 1, Rotational = 2 };

  // The process-wide object, created on first use and never destroyed.
  static ZYRAPI &instance();

  bool isDBOpen() const;

  // ---- Names, composites and the region map ----
  // Composite-name failures throw qiv::zyrapi::ratlas, the others qiv::zyrapi::zyr.

  // False without a database.
  bool isCompositeName(const std::string &name) const;
  // Not a composite name and a mesh size can be taken for it; false without a database. Never
  // throws; the errors of the check stay queued.
  bool isPrimitiveName(const std::string &name) const;
  // The model's region map as text, and reading one back in (added to what is there).
  std::string getRegionMap();
  void importRegionMap(const std::string &regionMap);
  void removeCompositeName(const std::string &name);
  // actualName: the name given, which the naming rules may have adjusted.
  void renameComposite(const std::string &oldName, const std::string &newName, int addAlias,
                       std::string &actualName);
  void renameComposite(const std::string &oldName, const std::string &newName, int addAlias);
  void addCompositeName(const CompositeDef &def);
  CompositeDef getCompositeByName(const std::string &name) const;
  // Adds (add) or removes the tag on every listed composite; no composite changes unless all can.
  void tagComposites(const std::vector<std::string> &names, bool add, const std::string &tag);
  void tagComposite(const std::string &name, bool add, const std::string &tag);
  void getCompositeTags(const std::string &name, std::vector<std::string> &tags) const;
  std::vector<std::string> getAssemblyNames() const;
  std::vector<std::string> getCompositeNames() const;
  // The composites carrying the tags, in the model's order; untaggedTag stands for composites
  // without tags. Never throws: a failure gives an empty list.
  void getCompositeRegionsInOrderForModel(const std::vector<std::string> &tags, const std::string &untaggedTag,
                                          const std::string &otherTag, std::vector<std::string> &names) const;
  // A 2-D region as its faces (type 0) or a 3-D one as its elements (type 1), entries
  // "name:1" onwards; only the name for a composite name or a name that is no region.
  PrimitiveDef getPrimitiveByName(const std::string &name);

  // ---- Geometry and mesh sizes of locations ----
  // A location is a comma-separated list of region, assembly and composite names; lengths are in
  // metres. With ignoreUnknownNames names that resolve to nothing are skipped; without it the
  // tolerant methods (those returning bool, unless noted) return false for them.

  void setMeshMatchTolerance(double value);
  // Whether the meshes match in place, by a translation, or by a rotation about *axis (needed).
  bool doesMeshMatch(const std::string &location1, const std::string &location2, MatchType type,
                     const AxisInfo *axis);
  // False without a database (outputs untouched); other failures throw.
  bool getBoundingBoxForLocation(const std::string &location, double *xmin, double *xmax, double *ymin,
                                 double *ymax, double *zmin, double *zmax, bool ignoreUnknownNames);
  bool getExtentsForLocation(const std::string &location, double *extents, int dimensionality,
                             bool ignoreUnknownNames);
  // The diagonal of the bounding box; 0 without a database.
  double getExtentForLocation(const std::string &location, bool ignoreUnknownNames);
  // The area-weighted centroid of the location's surfaces; with snap the nearest display vertex.
  bool getCentroid(const std::string &location, double *x, double *y, double *z, bool snap,
                   bool ignoreUnknownNames);
  void getNumberOfFacesForLocation(const std::string &location, uint64_t &count, bool ignoreUnknownNames);
  void getNumberOfElementsForLocation(const std::string &location, uint64_t &count, bool ignoreUnknownNames);
  // With volumes the mesh size of the location's 3-D regions, else of its 2-D ones, summed over
  // those regions (see MeshSizeInfo).
  void getMeshSize(const std::string &location, bool volumes, MeshSizeInfo &info, bool ignoreUnknownNames);
  // The size of the assembly whose box holds the point ("x, y, z" with units, such as
  // "1 [mm], 2 [mm], 0 [mm]"): the last such assembly's box diagonal, else the largest one.
  double getLocalExtentsForPointLocation(const std::string &point);

  // ---- Regions ----

  void getBoundedRegionForRegion(const std::string &region, std::string &bounded);
  void getBoundingRegionsForRegion(const std::string &region, std::vector<std::string> &regions);
  void getNeighboursForRegion(const std::string &region, std::vector<std::string> &regions);
  // type 1 to 3 as the model's pairing kinds.
  void getPairedRegionsForRegion(const std::string &region, std::vector<std::string> &regions, int type);
  bool getNumberPrimitive2DRegionsForLocation(const std::string &location, int &count, bool ignoreUnknownNames);
  bool getNumberPrimitive3DRegionsForLocation(const std::string &location, int &count, bool ignoreUnknownNames);
  bool getNumberPrimitiveRegionsForLocation(const std::string &location, int &count, bool ignoreUnknownNames);
  bool getPrimitive2DRegionsForLocation(const std::string &location, std::vector<std::string> &regions,
                                        bool ignoreUnknownNames);
  bool getPrimitive3DRegionsForLocation(const std::string &location, std::vector<std::string> &regions,
                                        bool ignoreUnknownNames);
  bool getPrimitiveRegionsForLocation(const std::string &location, std::vector<std::string> &regions,
                                      bool ignoreUnknownNames);
  void getPrimitive2DRegionsForModel(std::vector<std::string> &regions) const;
  void getPrimitive3DRegionsForModel(std::vector<std::string> &regions) const;
  bool get2dCompositesForLocation(const std::string &location, std::vector<std::string> &regions,
                                  bool ignoreUnknownNames);
  bool get3dCompositesForLocation(const std::string &location, std::vector<std::string> &regions,
                                  bool ignoreUnknownNames);
  // The 2-D regions bounding the location's volumes, sorted, without the pairs facing each other
  // inside the location (unless keepPairedRegions). The answer is bound; the result is false.
  bool get2DBoundForLocation(const std::string &location, std::vector<std::string> &bound,
                             bool ignoreUnknownNames, bool keepPairedRegions);
  // The primitive regions whose priority is listed, grouped by listed priority, each sorted.
  void getPrimitiveRegionsInOrderForModel(const std::vector<int> &priorities, std::vector<std::string> &names) const;
  // One list for the host's views, driven by order: priorityKeyword takes the next priority group,
  // assemblyKeyword the assemblies and their former-name composites, restKeyword marks where
  // everything not placed otherwise goes, any other entry the composites of that tag
  // (untaggedKeyword: those without tags). Each name appears once.
  void getRegionsInOrderForModel(const std::vector<std::string> &order, const std::string &untaggedKeyword,
                                 const std::string &restKeyword, const std::string &assemblyKeyword,
                                 const std::string &priorityKeyword, std::vector<int> &priorities,
                                 std::vector<std::string> &names) const;
  // Makes a 2-D region def.name of the listed faces ("region:face", faces counted quadrilaterals
  // first), given priority 1: first receives the regions made, second the regions emptied.
  void createPrimitive(const PrimitiveDef &def, std::vector<std::string> &first, std::vector<std::string> &second);
  // Moves the listed faces into region def.name: first receives the changed regions, second the
  // emptied ones.
  void modifyPrimitive(const PrimitiveDef &def, std::vector<std::string> &first, std::vector<std::string> &second);

  // ---- Mesh and display ----

  // The region's vertices (x, y, z each) and its faces split by shape: positions in the region's
  // face list and their vertex indices. False for a name that is no region.
  bool getMeshFor2DRegion(const std::string &region, std::vector<double> &coordinates, std::vector<int> &triangleFaces,
                          std::vector<int> &triangles, std::vector<int> &quadFaces, std::vector<int> &quads);
  bool getFacettedDisplayForLocation(const std::string &location, FacettedDisplay &display, bool ignoreUnknownNames);
  bool getWireframeDisplayForLocation(const std::string &location, double angle, WireframeDisplay &display,
                                      bool ignoreUnknownNames);

  // ---- Database lifecycle ----
  // A name that cannot be looked at (for any reason but that nothing is there) is refused with an
  // exception that says so, and why, before anything is touched.

  // Opens the database (created when missing, unless mustExist). A database already open is
  // closed first. Warnings of the opening reach the host's progress reporter.
  void openDB(const std::string &path, bool mustExist);
  // Copies the open database to path (an existing file there is replaced by the copy once it is
  // whole, and keeps its permissions; the open database itself, or a database in use by this or
  // another process, is never a target). With workOnCopy the object then works on the copy.
  void copyZyr(const std::string &path, bool workOnCopy, bool purgeHistory);
  // Closes the open database, if any, and deletes path and its lock file; a database that another
  // process (or this one, under another object) holds is refused, and nothing is deleted.
  void removeCurZyr(const std::string &path);
  // Saves a checkpoint of the open database and returns its index; -1 without a database.
  int getCheckpoint();
  // Returns to a saved checkpoint; nothing without a database.
  void restoreCheckpoint(int checkpoint);
  // The directory in which imports keep their intermediate files.
  void setWorkingDirectory(const std::string &directory);
  // name is "<base>.zyr.bak" or "<base>.wez.bak": puts both backups back in place of
  // <base>.zyr and <base>.wez, removes the backups, and leaves "<base>.wez" in name. A file or a
  // backup in use by this or another process (the open database among them), a name that leads
  // to anything but a regular file (a device, a pipe, a directory), or a backup the caller may
  // not read is refused with an exception before anything is touched; a backup that cannot be
  // read or copied throws with the method text "zyrCopyFile". Both copies are made whole before
  // either file is replaced, so any failure until then changes nothing; should the rename of
  // <base>.wez fail after that of <base>.zyr (another file took its name meanwhile), <base>.zyr
  // stays restored, both backups stay, and the exception says so. Once both files are restored the
  // backups are looked at again as they are removed: one in use by then (a process opened it
  // since the first look), whose lock cannot be tried, or whose removal fails (the disc failed),
  // stays, and the others go. The restore is done all the same: "<base>.wez" is left in name, and a
  // warning to the progress reporter says that both files have been restored and which backup is
  // kept, and why.
  void restoreBakFiles(std::string &name);
  // Absolute forms; empty when the directory does not exist.
  std::string getAbsolutePath(const std::string &path) const;
  std::string getAbsoluteFileName(const std::string &path) const;
  // Dumps the model at the level to the file (standard output when empty); nothing when
  // QIV_NO_DEBUG_OUT is set, or when the file cannot be written. The dump is written into the file
  // itself (truncated first); a file in use by this or another process (a database) is refused
  // with an exception, and stays as it was.
  void zyrDebugPrint(int level, const std::string &file) const;

  // ---- Assemblies and regions ----

  // Moves the assembly by the transform (move) and makes repeatCount copies of it, copy k at the
  // transform applied k times (its inverse for a negative count); with matchMesh, copies whose
  // meshes meet are merged. New assemblies are named newAssemblyName when it is not empty (the
  // model's default assembly name is as before afterwards). assemblies: the assembly's name,
  // then the copies that remain.
  void transformAssembly(const std::string &assembly, const std::string &newAssemblyName, bool move,
                         int repeatCount, const ZYRAffineTransform3D &transform, bool matchMesh,
                         std::vector<std::string> &assemblies);
  // Merges those of the assemblies whose meshes match; true when fewer remain than were given.
  bool mergeAssemblies(std::vector<std::string> &assemblies);
  // Deletes "<base>.zyr.bak" and "<base>.wez.bak" of the current directory, base being what
  // follows the last backslash of path. A backup in use by this or another process is refused with
  // an exception, and neither is removed.
  void removeBakFiles(const std::string &path);
  void setPriority(const std::string &region, const int priority);
  void getPriority(const std::string &region, int &priority) const;
  void deleteAssembly(const std::string &name);
  void renameAssembly(const std::string &oldName, const std::string &newName, int addAlias);
  // actualName: the name given, which the naming rules may have adjusted.
  void renameRegion(const std::string &oldName, const std::string &newName, int addAlias, std::string &actualName);
  void renameRegion(const std::string &oldName, const std::string &newName, int addAlias);

  // ---- Import ----

  // Imports a mesh file into the model: type names the reader ("Msh", "Generic", "User", ...)
  // or another source: "ZYR" (another database), "ZYR_DSDB" (a simulation database),
  // "ZYR_INTERMEDIATE" (a reader's intermediate mesh file) or "ZYR_DIRECT" (a solver definition
  // or results file, such as this library writes, read back in-process); generic and
  // specific are option words for the reader; units is the length unit of the file's
  // coordinates. New assemblies are named after defaultAssemblyName, which stays the model's
  // default afterwards; with keepAssemblyNames imported assemblies keep their own names where
  // free. assemblies receives the names of the assemblies made. Warnings reach the host's
  // progress reporter.
  void importMeshToModel(const std::string &type, const std::string &filename, const std::string &generic,
                         const std::string &specific, const std::string &units,
                         const std::string &defaultAssemblyName, bool keepAssemblyNames,
                         std::vector<std::string> &assemblies);

  // ---- Writing ----

  // Writes the model into the definition file at path, which already holds the physics text;
  // every interface is matched as its type allows.
  void writeDefFileForModel(const std::string &path);

private:
  // Lets the library's own tests read the handles.
  friend class ZYRAPIInspector;

  ZYRAPI();
  ~ZYRAPI();
  ZYRAPI(const ZYRAPI &) = delete;
  ZYRAPI &operator=(const ZYRAPI &other);

  int getModelHandle() const;

  // Selections are made on the current model, and end when its database closes.
  friend class ZYRSelection;
  bool getNumberPrimitiveRegionsForLocationImpl(const std::string &location, unsigned char mask, int &count,
                                                bool ignoreUnknownNames);
  bool getPrimitiveRegionsForLocationImpl(const std::string &location, unsigned char mask,
                                          std::vector<std::string> &regions, bool ignoreUnknownNames);
  void getPrimitiveRegionsForModel(unsigned char mask, std::vector<std::string> &regions) const;
  void changePrimitive(int operation, const char *method, const PrimitiveDef &def, std::vector<std::string> &first,
                       std::vector<std::string> &second);

  // The queued errors' messages joined by blank lines; the queue is empty afterwards.
  std::string getErrorDesc() const;
  // True, with the queue emptied, when every queued error is an unknown or unresolved name.
  bool errorIsBadLocation() const;
  // A result other than 1 throws zyrapi::zyr for method (unless tolerated bad names); a result
  // of 1 empties the queue, handing its text to the progress reporter when reportWarnings.
  void reportErrors(int result, const std::string &method, bool reportWarnings, bool tolerateBadLocation) const;

  void deleteZyrFile(const std::string &path);
  void setStrategyString(const std::string &name, const std::string &value);
  std::string getStrategyString(const std::string &name, const std::string &unused) const;

  static ZYRAPI *m_instance;

  int m_hDatabase;
  int m_hModel;
  int m_checkpoint;
};

} // namespace qiv

#endif
