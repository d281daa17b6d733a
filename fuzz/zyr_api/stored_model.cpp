// A real model stored in a database whose records were then damaged: bytes of the file, and the
// stored values of its objects (references pointed at other objects or at nothing, counts and
// vertex numbers changed, arrays cut short or lengthened, records dropped). The database is then
// opened through the procedural interface, walked (dumps, assemblies, every region's meshes,
// visual, neighbours and bounding box, the composite names, a definition file written from it),
// taken back to its checkpoints, closed (each of the three kinds of close) and opened again.
// Nothing of this may crash, hang or leak, and a file that opened must open again after its close,
// with the objects it held when the close began.
#include "Assembly.h"
#include "Boundary.h"
#include "Database.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Mesh.h"
#include "Model.h"
#include "Region.h"
#include "Representation.h"
#include "Repository.h"
#include "Shell.h"
#include "Topology.h"
#include "Vertices.h"
#include "Visual.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrSystem.h"
#include "zyrTestStore.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

const int64_t kFixedTime = 946684800; // 2000-01-01 00:00 UTC
// The undamaged database is made with the keys of several seeds: the same model, its objects in
// other orders of their keys' texts (the orders in which a change of state, a close or a listing
// meets them) and its records at other bytes. The input chooses one.
const int kPristines = 8;
const uint64_t kPristineSeed = 100; // and the next ones
const uint64_t kInputSeed = 2;

std::string theDirectory;
std::string thePristines[kPristines]; // the undamaged database's bytes

template <class T> T *tracked(const std::vector<T> &values) {
  T *block = static_cast<T *>(zyrMemory_allocate(static_cast<int64_t>(values.size() * sizeof(T)), "fuzz"));
  std::memcpy(block, values.data(), values.size() * sizeof(T));
  return block;
}

void removeFiles(const std::string &name) {
  std::remove(name.c_str());
  std::remove((name + ".lck").c_str());
}

// A unit hexahedron as the volume of a new assembly, its faces at x0 and x0 + 1 as surfaces
// bounding it, each with its face mesh and visual.
void addBlock(Model *model, const std::string &name, double x0, Region **left, Region **right) {
  Topology *t = Model_getTopology(model);
  Assembly *assembly = Topology_addAssembly(t, name.c_str());
  Region *vol = Region_new(t, assembly, (name + "vol").c_str(), 3);
  *left = Region_new(t, assembly, (name + "left").c_str(), 2);
  *right = Region_new(t, assembly, (name + "right").c_str(), 2);
  Shell *shell = Shell_new();
  Shell_addRegion(shell, *left);
  Shell_addRegion(shell, *right);
  Boundary *boundary = Boundary_new();
  Boundary_addShell(boundary, shell);
  Region_setBoundary(vol, boundary);
  const std::vector<double> xyz = {x0, 0, 0, x0 + 1, 0, 0, x0 + 1, 1, 0, x0, 1, 0,
                                   x0, 0, 1, x0 + 1, 0, 1, x0 + 1, 1, 1, x0, 1, 1};
  ElementMesh *em = ElementMesh_new(vol);
  ElementMesh_setVertices(em, Vertices_new(3, "m", 2, 8, tracked(xyz)));
  ElementSet *set = ElementSet_new(ZYR_ELEMENT_HEXA_8, 0, 8, tracked(std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  ElementMesh_addElementSet(em, set);
  Mesh *mesh = Model_getMesh(model);
  Mesh_addElementMesh(mesh, em);
  int32_t nf = 0;
  const int32_t *sizes = nullptr;
  const int32_t *lists = nullptr;
  ElementTopology_getFaceVertices(ZYR_ELEMENT_HEXA_8, 0, &nf, &sizes, &lists);
  Region *sides[2] = {*left, *right};
  for (int side = 0; side < 2; ++side) {
    int32_t face = 0;
    for (int32_t f = 0; f < nf; ++f) {
      bool all = true;
      for (int32_t k = 0; all && k < sizes[f]; ++k)
        all = xyz[3 * static_cast<size_t>(lists[4 * f + k])] == x0 + side;
      if (all)
        face = f;
    }
    FaceMesh *fm = FaceMesh_new(sides[side], em);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, 1, tracked(std::vector<int32_t>{0}),
                                        tracked(std::vector<int32_t>{face})));
    Mesh_addFaceMesh(mesh, fm);
    Representation_addVisual(Model_getRepresentation(model), Visual_newFromFaceMesh(sides[side], fm));
  }
}

// Two blocks glued face to face and a third connected to the second; checkpoint 0 holds the
// first block only.
std::string makeDatabase(const std::string &name) {
  int32_t hDatabase = -1;
  int32_t hModel = -1;
  if (zyrDatabase_open(name.c_str(), &hDatabase, &hModel) != 1)
    return "";
  Model *model = nullptr;
  zyrAPI_getModel(hModel, "fuzz", &model);
  Region *left[3];
  Region *right[3];
  addBlock(model, "A", 0, &left[0], &right[0]);
  Model_flushChanges(model);
  int32_t checkpoint = 0;
  zyrDatabase_saveCheckpoint(hDatabase, &checkpoint);
  addBlock(model, "B", 1, &left[1], &right[1]);
  addBlock(model, "C", 2, &left[2], &right[2]);
  Region_glueNeighbour(right[0], left[1]);
  Region_connectNeighbour(right[1], left[2]);
  char leftName[] = "Aleft";
  char rightName[] = "Cright";
  char *components[] = {leftName, rightName};
  zyrCompositeName_create(hModel, "ends", 1, 2, components, 0, nullptr);
  Model_flushChanges(model);
  zyrDatabase_saveCheckpoint(hDatabase, &checkpoint);
  zyrDatabase_close(hDatabase, 0);
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Entry {
  zyrUUID *m_key;
  std::string m_name;
  int32_t m_when;
};

int32_t readInt(const uint8_t *data) {
  uint32_t value;
  std::memcpy(&value, data, 4);
  return static_cast<int32_t>(value);
}

// One change to a stored value, chosen by the input.
void damage(Database *database, const std::vector<Entry> &entries, const std::vector<zyrUUID *> &keys, uint8_t op,
            uint16_t selector, int32_t value, uint8_t extra) {
  const Entry &e = entries[selector % entries.size()];
  const char *name = e.m_name.c_str();
  int32_t ints = 0, floats = 0, doubles = 0, chars = 0, fifth = 0, references = 0;
  if (Database_describeData(database, e.m_when, e.m_key, name, &ints, &floats, &doubles, &chars, &fifth,
                            &references) != 1)
    return;
  switch (op % 6) {
  case 0: { // a reference pointed elsewhere, or at nothing
    zyrUUID **array = nullptr;
    int32_t n = 0;
    if (references > 0 && Database_getPointers(database, e.m_when, e.m_key, name, &array, &n) == 1 && n > 0) {
      const int32_t at = static_cast<int32_t>(static_cast<uint32_t>(value) % static_cast<uint32_t>(n));
      zyrUUID_delete(array[at]);
      const zyrUUID *target = extra == 255 ? nullptr : keys[extra % keys.size()];
      uint32_t integers[4] = {0, 0, 0, 0};
      if (target != nullptr)
        zyrUUID_toIntegers(target, integers);
      array[at] = target != nullptr ? zyrUUID_newFromIntegers(integers[0], integers[1], integers[2], integers[3]) : nullptr;
      Database_setPointers(database, e.m_when, e.m_key, name, array, n);
    }
    for (int32_t i = 0; i < n; ++i)
      zyrUUID_delete(array[i]);
    zyrMemory_free(array, "fuzz");
    break;
  }
  case 1: { // a reference list cut short or lengthened by repeats
    zyrUUID **array = nullptr;
    int32_t n = 0;
    if (references > 0 && Database_getPointers(database, e.m_when, e.m_key, name, &array, &n) == 1) {
      std::vector<zyrUUID *> changed(array, array + n);
      const size_t count = extra % (static_cast<size_t>(n) + 3);
      while (changed.size() < count)
        changed.push_back(n > 0 ? array[changed.size() % static_cast<size_t>(n)] : nullptr);
      changed.resize(count);
      Database_setPointers(database, e.m_when, e.m_key, name, changed.data(), static_cast<int32_t>(count));
    }
    for (int32_t i = 0; i < n; ++i)
      zyrUUID_delete(array[i]);
    zyrMemory_free(array, "fuzz");
    break;
  }
  case 2: { // one integer changed
    int32_t *array = nullptr;
    int32_t n = 0;
    if (ints > 0 && Database_getInts(database, e.m_when, e.m_key, name, &array, &n) == 1 && n > 0) {
      static const int32_t specials[] = {-1, 0, 1, 7, 8, 1000, std::numeric_limits<int32_t>::max(),
                                         std::numeric_limits<int32_t>::min()};
      array[extra % n] = value & 0x100 ? specials[value % 8 < 0 ? -(value % 8) : value % 8] : value;
      Database_setInts(database, e.m_when, e.m_key, name, array, n);
    }
    zyrMemory_free(array, "fuzz");
    break;
  }
  case 3: { // an integer array cut short or lengthened
    int32_t *array = nullptr;
    int32_t n = 0;
    if (ints > 0 && Database_getInts(database, e.m_when, e.m_key, name, &array, &n) == 1) {
      std::vector<int32_t> changed(array, array + n);
      changed.resize(extra % (static_cast<size_t>(n) + 5), value);
      Database_setInts(database, e.m_when, e.m_key, name, changed.data(), static_cast<int32_t>(changed.size()));
    }
    zyrMemory_free(array, "fuzz");
    break;
  }
  case 4: { // a real made infinite, not a number or huge, or the array cut
    double *array = nullptr;
    int32_t n = 0;
    if (doubles > 0 && Database_getDoubles(database, e.m_when, e.m_key, name, &array, &n) == 1 && n > 0) {
      static const double specials[] = {std::numeric_limits<double>::infinity(),
                                        std::numeric_limits<double>::quiet_NaN(), -1e300, 0.0};
      array[extra % n] = specials[value & 3];
      Database_setDoubles(database, e.m_when, e.m_key, name, array, value & 4 ? n - 1 : n);
    }
    zyrMemory_free(array, "fuzz");
    break;
  }
  default: // the record dropped
    Database_deleteDataSet(database, e.m_key, name);
    break;
  }
}

void damageFile(const std::string &name, const uint8_t *data, size_t size) {
  Database *database = Database_new(name.c_str());
  if (database == nullptr)
    return;
  int32_t noOfKeys = 0;
  char **keyTexts = nullptr;
  int32_t *offsets = nullptr;
  char **names = nullptr;
  int32_t *whens = nullptr;
  Database_match(database, -1, -1, "*", "*", &noOfKeys, &keyTexts, &offsets, &names, &whens);
  // Keys in the order the objects were made (their time stamps), not in the order of their texts:
  // an input then damages the same records even if the pristine model gains objects.
  std::vector<std::pair<zyrUUID *, int32_t>> byAge;
  for (int32_t k = 0; k < noOfKeys; ++k)
    byAge.emplace_back(zyrUUID_newFromBase64(keyTexts[k]), k);
  const auto age = [](const zyrUUID *u) {
    return u == nullptr ? 0
                        : (static_cast<uint64_t>(u->m_timeHighAndVersion & 0x0fff) << 48) |
                              (static_cast<uint64_t>(u->m_timeMid) << 32) | u->m_timeLow;
  };
  std::stable_sort(byAge.begin(), byAge.end(), [&](const auto &a, const auto &b) { return age(a.first) < age(b.first); });
  std::vector<zyrUUID *> keys;
  std::vector<Entry> entries;
  for (const auto &[key, k] : byAge) {
    keys.push_back(key);
    for (int32_t j = offsets[k]; j < offsets[k + 1]; ++j)
      entries.push_back({key, names[j], whens[j]});
  }
  const int32_t total = offsets != nullptr ? offsets[noOfKeys] : 0;
  zyrCStringArray_free(keyTexts, static_cast<uint64_t>(noOfKeys));
  zyrCStringArray_free(names, static_cast<uint64_t>(total));
  zyrMemory_free(offsets, "fuzz");
  zyrMemory_free(whens, "fuzz");
  for (size_t at = 0; !entries.empty() && at + 8 <= size; at += 8)
    damage(database, entries, keys, data[at], static_cast<uint16_t>(data[at + 1] | data[at + 2] << 8),
           readInt(data + at + 3), data[at + 7]);
  for (zyrUUID *key : keys)
    zyrUUID_delete(key);
  Database_delete(database);
}

void freeNames(int32_t count, char **names) { zyrCStringArray_free(names, static_cast<uint64_t>(count > 0 ? count : 0)); }

// What the procedural interface answers of the regions and composite names: neighbours, bounding
// boxes and members.
void askByName(int32_t hModel) {
  int32_t count = 0;
  char **names = nullptr;
  zyrModel_getRegions(hModel, 15, &count, &names);
  for (int32_t i = 0; i < count && names != nullptr; ++i) {
    int32_t n = 0;
    char **neighbours = nullptr;
    zyrRegion_getNeighbours(hModel, names[i], &n, &neighbours);
    freeNames(n, neighbours);
    double box[6];
    zyrLocation_getBoundingBox(hModel, names[i], 1, "m", &box[0], &box[1], &box[2], &box[3], &box[4], &box[5]);
  }
  freeNames(count, names);
  names = nullptr;
  count = 0;
  zyrModel_getCompositeNames(hModel, &count, &names);
  for (int32_t i = 0; i < count && names != nullptr; ++i) {
    int32_t n = 0;
    char **members = nullptr;
    zyrLocation_getRegions(hModel, names[i], 1, 15, &n, &members);
    freeNames(n, members);
    int32_t combination = 0, noOfA = 0, noOfB = 0;
    char **a = nullptr, **b = nullptr;
    if (zyrCompositeName_getDefinition(hModel, names[i], &combination, &noOfA, &a, &noOfB, &b) == 1) {
      freeNames(noOfA, a);
      freeNames(noOfB, b);
    }
  }
  freeNames(count, names);
}

// Everything a host could ask of the restored model that reaches its stored records, and the
// definition file written from it.
void walk(int32_t hModel) {
  static const int32_t dumps[] = {0, 200, 201, 300, 400};
  for (int32_t type : dumps)
    zyrModel_dump(hModel, type, zyrtest::fuzzSink());
  int32_t count = 0;
  char **names = nullptr;
  zyrModel_getAssemblies(hModel, &count, &names);
  zyrCStringArray_free(names, static_cast<uint64_t>(count > 0 ? count : 0));
  askByName(hModel);
  const std::string exported = theDirectory + "/export.wez";
  zyrModel_exportMesh(hModel, "Def", exported.c_str(), "m", 0);
  removeFiles(exported);
  Model *model = nullptr;
  if (zyrAPI_getModel(hModel, "fuzz", &model) != 1 || Model_getTopology(model) == nullptr)
    return;
  Region **regions = nullptr;
  const int32_t n = Topology_getRegions(Model_getTopology(model), 15, &regions);
  Mesh *mesh = Model_getMesh(model);
  for (int32_t i = 0; i < n; ++i) {
    int32_t noOfVertices = 0, noOfElements = 0;
    double *xyz = nullptr;
    int32_t *types = nullptr;
    int32_t *connectivity = nullptr;
    if (mesh != nullptr &&
        Mesh_getRegionMesh(mesh, regions[i], 0, "m", &noOfVertices, &xyz, &noOfElements, &types, &connectivity) == 1) {
      zyrMemory_free(xyz, "fuzz");
      zyrMemory_free(types, "fuzz");
      zyrMemory_free(connectivity, "fuzz");
    }
    Visual *visual = Representation_getVisual(Model_getRepresentation(model), regions[i]);
    if (visual != nullptr) {
      float *coordinates = nullptr;
      int32_t *edges = nullptr;
      int32_t noOfEdges = 0;
      if (Visual_getWireframeDisplay(visual, "m", 30.0, &noOfVertices, &coordinates, &noOfEdges, &edges) == 1) {
        zyrMemory_free(coordinates, "fuzz");
        zyrMemory_free(edges, "fuzz");
      }
      double area = 0.0;
      Visual_getArea(visual, "m", &area);
    }
  }
  zyrMemory_free(regions, "fuzz");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  unsetenv("ZYR_SESSION_FILE");
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_stored_model");
  theDirectory = dir.path();
  const std::string name = theDirectory + "/pristine.zyr";
  // Keys and time stamps that are the same in every process, so that an input changes the same
  // bytes and makes the same steps whenever it is run again.
  zyrSetFixedTime(kFixedTime);
  for (int i = 0; i < kPristines; ++i) {
    zyrUUID_makeRepeatable(kPristineSeed + static_cast<uint64_t>(i));
    thePristines[i] = makeDatabase(name);
    removeFiles(name);
    if (thePristines[i].empty())
      std::abort();
  }
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string name = theDirectory + "/db.zyr";
  removeFiles(name);
  // Every input starts the same sequence of keys, whatever ran before it in this process; its seed
  // differs from the pristine file's, so that new keys never meet the stored ones.
  zyrUUID_makeRepeatable(kInputSeed);
  // The first byte chooses what follows (bit 0: byte changes to the file, an offset of 4 bytes and
  // a value each, come before the changes to stored values; bit 1: the checkpoints are visited;
  // bit 2: an assembly is deleted; the rest % 3: the close, and / 3: the undamaged database); then
  // the changes.
  const uint8_t flags = size > 0 ? data[0] : 0;
  if (size > 0) {
    ++data;
    --size;
  }
  std::string bytes = thePristines[(flags >> 3) / 3 % kPristines];
  if (flags & 1) {
    const size_t pairs = size > 0 ? data[0] % 8 : 0;
    size_t at = 1;
    for (size_t i = 0; i < pairs && at + 5 <= size; ++i, at += 5)
      bytes[static_cast<size_t>(static_cast<uint32_t>(readInt(data + at))) % bytes.size()] =
          static_cast<char>(data[at + 4]);
    at = size < at ? size : at;
    data += at;
    size -= at;
  }
  {
    std::ofstream out(name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  damageFile(name, data, size);
  int32_t hDatabase = -1;
  int32_t hModel = -1;
  if (zyrDatabase_open(name.c_str(), &hDatabase, &hModel) == 1) {
    Repository *repository = nullptr;
    zyrAPI_getDatabase(hDatabase, "fuzz", &repository);
    const zyrtest::ObjectContents opened = zyrtest::liveObjectContents(repository);
    walk(hModel);
    // Going back and forth restores only what changed between the states.
    if (flags & 2) {
      zyrDatabase_restoreCheckpoint(hDatabase, 0);
      walk(hModel);
      zyrDatabase_restoreCheckpoint(hDatabase, 1);
      walk(hModel);
    }
    if (flags & 4)
      zyrAssembly_delete(hModel, "A");
    Repository_commit(repository);
    static const int32_t kCloseFlags[3] = {-1, 1, 0};
    const int32_t flag = kCloseFlags[(flags >> 3) % 3];
    const zyrtest::ObjectContents kept =
        zyrtest::keptByClose(repository, flag, opened, [&] { return zyrDatabase_close(hDatabase, flag); });
    // A file that opened opens again after what its changes and its close wrote, with the objects
    // the close kept, each holding what it held.
    if (zyrDatabase_open(name.c_str(), &hDatabase, &hModel) != 1 ||
        zyrAPI_getDatabase(hDatabase, "fuzz", &repository) != 1)
      repository = nullptr;
    zyrtest::requireHeldAgain(repository, kept);
    walk(hModel);
    zyrDatabase_close(hDatabase, -1);
  }
  Repository_setCurrentStateManager(nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  removeFiles(name);
  return 0;
}
