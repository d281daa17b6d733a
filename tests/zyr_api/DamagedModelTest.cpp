// A model stored, one of its records damaged in the file, and the database opened again through
// the procedural interface: the damage is reported (error 20006) and left out, and walking,
// deleting and committing the model afterwards neither crashes nor keeps a deleted object.
#include "Boundary.h"
#include "Database.h"
#include "EditingTestSupport.h"
#include "NameManager.h"
#include "Repository.h"
#include "Representation.h"
#include "Shell.h"
#include "Visual.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using editingtest::addBlock;

struct Keys {
  std::string m_leftRegion;  // region "Aleft"
  std::string m_volume;      // region "Avol"
  std::string m_leftFaces;   // the face mesh of "Aleft"
  std::string m_visualXyz;   // the vertices of the visual of "Aleft"
  std::string m_model;
  std::string m_assembly;    // assembly "A"
  std::string m_volumeXyz;   // the coordinate blob of the vertices of the element mesh of "Avol"
  std::string m_nameManager;
  std::string m_atlas;
  std::string m_repository;
  std::string m_topology;
  std::string m_gluing;      // "Aleft" glued to "Aright"
  std::string m_rightRegion; // region "Aright"
  std::string m_shell;       // the shell of "Aleft" and "Aright", bounding "Avol"
  std::string m_otherLeft;   // region "Bleft"
  std::string m_mesh;
  std::string m_rightFaces;  // the face mesh of "Aright"
  std::string m_boundary;    // the boundary of "Avol"
};

// The messages of the errors published while the capture was held.
std::vector<std::string> publishedMessages(const zyrtest::ErrorCapture &errors) {
  std::vector<std::string> messages;
  for (const zyrtest::RaisedError &error : errors.published())
    messages.push_back(error.message);
  return messages;
}

// The messages of the 20006 errors published while the capture was held.
std::vector<std::string> damageMessages(const zyrtest::ErrorCapture &errors) {
  std::vector<std::string> messages;
  for (const zyrtest::RaisedError &error : errors.published())
    if (error.code == 20006)
      messages.push_back(error.message);
  return messages;
}

std::string keyOf(const void *object) {
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(object, key);
  return key;
}

// The latest stored version of [name, key]: its state.
int32_t whenOf(Database *database, const std::string &key, const char *name) {
  int32_t noOfKeys = 0;
  char **keys = nullptr;
  int32_t *offsets = nullptr;
  char **names = nullptr;
  int32_t *whens = nullptr;
  Database_match(database, -1, -1, key.c_str(), name, &noOfKeys, &keys, &offsets, &names, &whens);
  const int32_t total = offsets[noOfKeys];
  const int32_t when = total > 0 ? whens[total - 1] : -1;
  zyrCStringArray_free(keys, static_cast<uint64_t>(noOfKeys));
  zyrCStringArray_free(names, static_cast<uint64_t>(total));
  zyrMemory_free(offsets, "test");
  zyrMemory_free(whens, "test");
  return when;
}

class DamagedModelTest : public testing::Test {
protected:
  // Blocks "A" and "B", the two faces of "A" glued to each other, the left one with a visual;
  // stored and closed.
  void SetUp() override {
    int32_t hd = -1, hm = -1;
    ASSERT_EQ(zyrDatabase_open(m_name.c_str(), &hd, &hm), 1);
    Model *model = nullptr;
    ASSERT_EQ(zyrAPI_getModel(hm, "test", &model), 1);
    addBlock(model, "A", 0);
    addBlock(model, "B", 1);
    Topology *topology = Model_getTopology(model);
    Region *left = Topology_findRegion(topology, "Aleft");
    FaceMesh *faces = Mesh_getFaceMesh(Model_getMesh(model), left);
    Visual *visual = Visual_newFromFaceMesh(left, faces);
    ASSERT_EQ(Representation_addVisual(Model_getRepresentation(model), visual), 1);
    Shell *shell = Shell_new();
    Shell_addRegion(shell, left);
    Shell_addRegion(shell, Topology_findRegion(topology, "Aright"));
    Boundary *boundary = Boundary_new();
    Boundary_addShell(boundary, shell);
    Region_setBoundary(Topology_findRegion(topology, "Avol"), boundary);
    Connection *gluing = Region_glueNeighbour(left, Topology_findRegion(topology, "Aright"));
    ASSERT_NE(gluing, nullptr);
    ElementMesh *volume = Mesh_getElementMesh(Model_getMesh(model), Topology_findRegion(topology, "Avol"));
    NameManager *names = Topology_getNameManager(topology);
    m_keys = {keyOf(left),
              keyOf(Topology_findRegion(topology, "Avol")),
              keyOf(faces),
              keyOf(visual->m_vertices),
              keyOf(model),
              keyOf(Topology_findAssembly(topology, "A")),
              keyOf(ElementMesh_getVertices(volume)->m_xyz),
              keyOf(names),
              keyOf(NameManager_getAtlas(names)),
              keyOf(Model_getRepository(model)),
              keyOf(topology),
              keyOf(gluing),
              keyOf(Topology_findRegion(topology, "Aright")),
              keyOf(shell),
              keyOf(Topology_findRegion(topology, "Bleft")),
              keyOf(Model_getMesh(model)),
              keyOf(Mesh_getFaceMesh(Model_getMesh(model), Topology_findRegion(topology, "Aright"))),
              keyOf(boundary)};
    Model_flushChanges(model);
    ASSERT_EQ(zyrDatabase_close(hd, -1), 1);
  }
  void TearDown() override {
    if (m_hDatabase >= 0)
      zyrDatabase_close(m_hDatabase, 1);
  }

  Database *store() { return Database_new(m_name.c_str()); }

  // Reopened, a checkpoint saved at the current state, "A" deleted and closed: the state of the
  // checkpoint (the one before the last).
  int32_t deleteAfterCheckpoint(int32_t *checkpoint) {
    int32_t hd = -1, hm = -1;
    EXPECT_EQ(zyrDatabase_open(m_name.c_str(), &hd, &hm), 1);
    EXPECT_EQ(zyrDatabase_saveCheckpoint(hd, checkpoint), 1);
    Repository *repository = nullptr;
    EXPECT_EQ(zyrAPI_getDatabase(hd, "test", &repository), 1);
    const int32_t state = Repository_getCurrentState(repository);
    EXPECT_EQ(zyrAssembly_delete(hm, "A"), 1);
    EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
    return state;
  }
  // The stored reference array of the object under `name`, as keys, changed by `edit`.
  void editPointers(Database *database, const std::string &object, const char *name,
                    const std::function<void(std::vector<std::string> &)> &edit) {
    zyrUUID *key = zyrUUID_newFromBase64(object.c_str());
    const int32_t when = whenOf(database, object, name);
    zyrUUID **members = nullptr;
    int32_t n = 0;
    EXPECT_EQ(Database_getPointers(database, when, key, name, &members, &n), 1);
    std::vector<std::string> keys;
    for (int32_t i = 0; i < n; ++i) {
      char text[ZYR_UUID_BASE64_SIZE];
      zyrUUID_toBase64(members[i], text);
      keys.push_back(text);
      zyrUUID_delete(members[i]);
    }
    zyrMemory_free(members, "test");
    edit(keys);
    std::vector<zyrUUID *> changed;
    for (const std::string &k : keys)
      changed.push_back(zyrUUID_newFromBase64(k.c_str()));
    EXPECT_EQ(Database_setPointers(database, when, key, name, changed.data(), static_cast<int32_t>(changed.size())), 1);
    for (zyrUUID *member : changed)
      zyrUUID_delete(member);
    zyrUUID_delete(key);
  }
  // The stored reference array of the object without the given member.
  void dropMember(Database *database, const std::string &object, const char *name, const std::string &member) {
    editPointers(database, object, name, [&member](std::vector<std::string> &keys) {
      const size_t before = keys.size();
      keys.erase(std::remove(keys.begin(), keys.end(), member), keys.end());
      EXPECT_EQ(keys.size() + 1, before);
    });
  }
  // The stored reference array of the object with `from` (held once) replaced by `to`.
  void replaceMember(const std::string &object, const char *name, const std::string &from, const std::string &to) {
    Database *database = store();
    editPointers(database, object, name, [&](std::vector<std::string> &keys) {
      EXPECT_EQ(std::count(keys.begin(), keys.end(), from), 1);
      std::replace(keys.begin(), keys.end(), from, to);
    });
    Database_delete(database);
  }
  // The stored reference of the object under `name` set to the target (none for ""), at the
  // latest state that stored its attribute `when`.
  void pointTo(const std::string &object, const char *when, const char *name, const std::string &target) {
    Database *database = store();
    zyrUUID *key = zyrUUID_newFromBase64(object.c_str());
    zyrUUID *to = target.empty() ? nullptr : zyrUUID_newFromBase64(target.c_str());
    EXPECT_EQ(Database_setPointer(database, whenOf(database, object, when), key, name, to), 1);
    zyrUUID_delete(to);
    zyrUUID_delete(key);
    Database_delete(database);
  }
  // Every kind of dump of the model, thrown away: none may fail or touch freed memory.
  void dumpAll() {
    FILE *sink = std::fopen("/dev/null", "w");
    for (int32_t type : {0, 200, 201, 300, 400})
      EXPECT_EQ(zyrModel_dump(m_hModel, type, sink), 1);
    std::fclose(sink);
  }
  void shellHoldingAStranger(bool outOfItsBoundary);
  // Dumped, a change committed, closed and opened again: "B" and its regions are all there.
  void closeAndReopenB() {
    dumpAll();
    char *actual = nullptr;
    EXPECT_EQ(zyrAssembly_rename(m_hModel, "B", "C", 0, &actual), 1);
    zyrCString_free(actual);
    ASSERT_EQ(zyrDatabase_close(m_hDatabase, -1), 1);
    ASSERT_EQ(zyrDatabase_open(m_name.c_str(), &m_hDatabase, &m_hModel), 1);
    EXPECT_EQ(editingtest::assemblyNames(model()), std::vector<std::string>{"C"});
    EXPECT_EQ(Topology_getNoOfRegions(Model_getTopology(model()), 15), 3);
  }
  // A reference of the object changed at one state and put back at the next.
  void damageAt(int32_t state, const std::string &object, const char *name, const std::string &wrong,
                const std::string &right) {
    Database *database = store();
    zyrUUID *key = zyrUUID_newFromBase64(object.c_str());
    zyrUUID *bad = zyrUUID_newFromBase64(wrong.c_str());
    zyrUUID *good = zyrUUID_newFromBase64(right.c_str());
    EXPECT_EQ(Database_setPointer(database, state, key, name, bad), 1);
    EXPECT_EQ(Database_setPointer(database, state + 1, key, name, good), 1);
    zyrUUID_delete(key);
    zyrUUID_delete(bad);
    zyrUUID_delete(good);
    Database_delete(database);
  }

  // Opens the damaged file; the messages of the 20006 errors it published.
  std::vector<std::string> reopen() {
    zyrtest::ErrorCapture errors;
    EXPECT_EQ(zyrDatabase_open(m_name.c_str(), &m_hDatabase, &m_hModel), 1);
    return damageMessages(errors);
  }
  // Opening the file is refused: every message published meanwhile.
  std::vector<std::string> refusedOpen() {
    zyrtest::ErrorCapture errors;
    int32_t hDatabase = -1, hModel = -1;
    EXPECT_EQ(zyrDatabase_open(m_name.c_str(), &hDatabase, &hModel), 0);
    return publishedMessages(errors);
  }
  // Why an open is refused when the stored record (key, type) lost what it cannot live without.
  std::string lostOnOpen(const std::string &key, const std::string &type, const std::string &attribute) const {
    return "The ZYR database\n\n" + m_name + "\n\nis damaged: its stored record " + key + " (" + type +
           ") has lost its \"" + attribute + "\".\n";
  }
  Model *model() {
    Model *model = nullptr;
    EXPECT_EQ(zyrAPI_getModel(m_hModel, "test", &model), 1);
    return model;
  }
  // Everything of "A" goes; what is left is "B" and still commits and reopens.
  void deleteAndReopen() {
    dumpAll();
    EXPECT_EQ(zyrAssembly_delete(m_hModel, "A"), 1);
    ASSERT_EQ(zyrDatabase_close(m_hDatabase, -1), 1);
    ASSERT_EQ(zyrDatabase_open(m_name.c_str(), &m_hDatabase, &m_hModel), 1);
    EXPECT_EQ(editingtest::assemblyNames(model()), std::vector<std::string>{"B"});
    EXPECT_EQ(Topology_getNoOfRegions(Model_getTopology(model()), 15), 3);
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrapi_damaged"};
  std::string m_name = m_dir.file("model.zyr");
  Keys m_keys;
  int32_t m_hDatabase = -1;
  int32_t m_hModel = -1;
};

TEST_F(DamagedModelTest, ARegionDimensionalityOutOfRangeIsNotKept) {
  Database *database = store();
  zyrUUID *key = zyrUUID_newFromBase64(m_keys.m_leftRegion.c_str());
  ASSERT_EQ(Database_setInt(database, whenOf(database, m_keys.m_leftRegion, "dimensionality"), key,
                            "dimensionality", 87923735),
            1);
  zyrUUID_delete(key);
  Database_delete(database);
  EXPECT_EQ(reopen(), std::vector<std::string>{"The stored region " + m_keys.m_leftRegion +
                                               " has dimensionality 87923735; it has been left at 0.\n"});
  EXPECT_EQ(Region_getDimensionality(Topology_findRegion(Model_getTopology(model()), "Aleft")), 0);
  // Its face mesh and visual go with it although it no longer says it is a surface.
  deleteAndReopen();
}

TEST_F(DamagedModelTest, ARegionWithoutItsTopologyReferenceStillLeavesTheTopology) {
  pointTo(m_keys.m_volume, "topology", "topology", "");
  EXPECT_TRUE(reopen().empty());
  deleteAndReopen();
}

TEST_F(DamagedModelTest, AFaceSetReferenceToAnotherTypeIsLeftOut) {
  Database *database = store();
  zyrUUID *key = zyrUUID_newFromBase64(m_keys.m_leftFaces.c_str());
  zyrUUID *region = zyrUUID_newFromBase64(m_keys.m_leftRegion.c_str());
  ASSERT_EQ(Database_setPointers(database, whenOf(database, m_keys.m_leftFaces, "faceSets"), key, "faceSets", &region, 1),
            1);
  zyrUUID_delete(key);
  zyrUUID_delete(region);
  Database_delete(database);
  // The face set that lost its place in the face mesh's list no longer belongs to it either.
  std::vector<std::string> messages = reopen();
  ASSERT_EQ(messages.size(), 2u);
  std::sort(messages.begin(), messages.end());
  EXPECT_NE(std::find(messages.begin(), messages.end(),
                      "The stored record " + m_keys.m_leftFaces +
                          " (FaceMesh) refers under \"faceSets\" to 1 object(s) that are not of type FaceSet;\nthey "
                          "have been left out.\n"),
            messages.end());
  EXPECT_TRUE(zyrtest::contains(messages[0] + messages[1],
                                " (FaceSet) refers under \"faceMesh\" to 1 object(s) that do not refer back to it under "
                                "\"faceSets\";\nthey have been left out.\n"));
  int32_t noOfVertices = -1, noOfElements = -1;
  double *xyz = nullptr;
  int32_t *types = nullptr, *connectivity = nullptr;
  Region *left = Topology_findRegion(Model_getTopology(model()), "Aleft");
  if (Mesh_getRegionMesh(Model_getMesh(model()), left, 0, "m", &noOfVertices, &xyz, &noOfElements, &types,
                         &connectivity) == 1)
    EXPECT_EQ(noOfElements, 0);
  zyrMemory_free(xyz, "test");
  zyrMemory_free(types, "test");
  zyrMemory_free(connectivity, "test");
  deleteAndReopen();
}

TEST_F(DamagedModelTest, AVertexCountBeyondTheStoredCoordinatesIsCutToThem) {
  Database *database = store();
  zyrUUID *key = zyrUUID_newFromBase64(m_keys.m_visualXyz.c_str());
  ASSERT_EQ(Database_setInt(database, whenOf(database, m_keys.m_visualXyz, "noOfVertices"), key, "noOfVertices",
                            INT_MAX),
            1);
  zyrUUID_delete(key);
  Database_delete(database);
  reopen();
  Region *left = Topology_findRegion(Model_getTopology(model()), "Aleft");
  Visual *visual = Representation_getVisual(Model_getRepresentation(model()), left);
  ASSERT_NE(visual, nullptr);
  EXPECT_EQ(Visual_getNoOfVertices(visual), 4);
  float *coordinates = nullptr;
  int32_t *edges = nullptr;
  int32_t n = 0, noOfEdges = 0;
  if (Visual_getWireframeDisplay(visual, "m", 30.0, &n, &coordinates, &noOfEdges, &edges) == 1) {
    zyrMemory_free(coordinates, "test");
    zyrMemory_free(edges, "test");
  }
  deleteAndReopen();
}

TEST_F(DamagedModelTest, AMeshWithoutItsTopologyIsNotOpened) {
  // The export makes its zones from the mesh's topology: a file whose mesh lost it is refused.
  pointTo(m_keys.m_mesh, "topology", "topology", "");
  const std::vector<std::string> messages = refusedOpen();
  EXPECT_NE(std::find(messages.begin(), messages.end(), lostOnOpen(m_keys.m_mesh, "Mesh", "topology")), messages.end())
      << testing::PrintToString(messages);
}

TEST_F(DamagedModelTest, AModelWhoseMeshIsOfAnotherTypeIsNotOpened) {
  // A model cannot live without its mesh: the file is refused with the loss named.
  pointTo(m_keys.m_model, "mesh", "mesh", m_keys.m_leftRegion);
  const std::vector<std::string> messages = refusedOpen();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], "The stored record " + m_keys.m_model +
                             " (Model) refers under \"mesh\" to 1 object(s) that are not of type Mesh;\n"
                             "they have been left out.\n");
  EXPECT_EQ(messages[1], lostOnOpen(m_keys.m_model, "Model", "mesh"));
}

TEST_F(DamagedModelTest, AModelThatLostItsWayBackToTheFileIsGivenItAgain) {
  pointTo(m_keys.m_model, "repository", "repository", m_keys.m_leftRegion);
  const std::vector<std::string> messages = reopen();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "The stored record " + m_keys.m_model +
                             " (Model) refers under \"repository\" to 1 object(s) that are not of type Repository;\n"
                             "they have been left out.\n");
  ASSERT_GE(m_hDatabase, 0);
  Repository *repository = nullptr;
  ASSERT_EQ(zyrAPI_getDatabase(m_hDatabase, "test", &repository), 1);
  EXPECT_EQ(Model_getRepository(model()), repository);
  // Stored again: the next opening finds the way back as it is.
  EXPECT_EQ(zyrAssembly_delete(m_hModel, "B"), 1);
  ASSERT_EQ(zyrDatabase_close(m_hDatabase, -1), 1);
  ASSERT_EQ(zyrDatabase_open(m_name.c_str(), &m_hDatabase, &m_hModel), 1);
  ASSERT_EQ(zyrAPI_getDatabase(m_hDatabase, "test", &repository), 1);
  EXPECT_EQ(Model_getRepository(model()), repository);
  EXPECT_EQ(editingtest::assemblyNames(model()), std::vector<std::string>{"A"});
}

TEST_F(DamagedModelTest, AModelWithoutItsTopologyIsNotOpened) {
  pointTo(m_keys.m_model, "topology", "topology", m_keys.m_leftRegion);
  const std::vector<std::string> messages = refusedOpen();
  EXPECT_NE(std::find(messages.begin(), messages.end(), lostOnOpen(m_keys.m_model, "Model", "topology")),
            messages.end())
      << testing::PrintToString(messages);
}

TEST_F(DamagedModelTest, AnAssemblyWithoutItsTopologyReferenceStillLeavesTheTopology) {
  pointTo(m_keys.m_assembly, "topology", "topology", "");
  reopen();
  deleteAndReopen();
}

TEST_F(DamagedModelTest, AGluingWhoseSideNoLongerRefersToItIsCutFromThatSide) {
  Database *database = store();
  zyrUUID *key = zyrUUID_newFromBase64(m_keys.m_leftRegion.c_str());
  ASSERT_EQ(Database_setPointers(database, whenOf(database, m_keys.m_leftRegion, "gluings"), key, "gluings", nullptr, 0),
            1);
  zyrUUID_delete(key);
  Database_delete(database);
  EXPECT_TRUE(reopen().empty());
  zyrtest::ErrorCapture errors;
  deleteAndReopen();
  ASSERT_FALSE(errors.published().empty());
  EXPECT_EQ(errors.published().front().code, 20006);
}

TEST_F(DamagedModelTest, ABlobGivenToASecondOwnerIsLeftOutOfIt) {
  // The vertices of the visual of "Aleft" made to share the coordinates of the volume's mesh,
  // whose use count stays 1: deleting both owners deleted the blob twice.
  pointTo(m_keys.m_visualXyz, "xyz", "xyz", m_keys.m_volumeXyz);
  const std::vector<std::string> messages = reopen();
  ASSERT_EQ(messages.size(), 1U);
  // Whichever of the two owners is restored second loses it.
  const std::string tail = " (Vertices) refers under \"xyz\" to the object " + m_keys.m_volumeXyz +
                           " (zyrBlob), which already belongs to 1 other record(s);\nit has been left out.\n";
  Model *m = model();
  Vertices *volume = ElementMesh_getVertices(
      Mesh_getElementMesh(Model_getMesh(m), Topology_findRegion(Model_getTopology(m), "Avol")));
  if (volume->m_xyz == nullptr)
    EXPECT_EQ(messages[0], "The stored record " + keyOf(volume) + tail);
  else
    EXPECT_EQ(messages[0], "The stored record " + m_keys.m_visualXyz + tail);
  deleteAndReopen();
}

TEST_F(DamagedModelTest, AnObjectStoredAsAnotherTypeIsLeftOutWhereItIsReferenced) {
  // The atlas stored as a Repository: the name manager deleted it as an atlas, freeing what the
  // Repository frees again.
  Database *database = store();
  zyrUUID *key = zyrUUID_newFromBase64(m_keys.m_atlas.c_str());
  ASSERT_EQ(Database_setInt(database, whenOf(database, m_keys.m_atlas, "__TYPE__"), key, "__TYPE__", 0), 1);
  zyrUUID_delete(key);
  Database_delete(database);
  // The atlas, now a Repository without a model, is reported too (in the order of the keys).
  std::vector<std::string> messages = reopen();
  std::vector<std::string> expected{
      "The stored record " + m_keys.m_nameManager +
          " (NameManager) refers under \"atlas\" to 1 object(s) that are not of type Atlas;\nthey have been left out.\n",
      "The stored record " + m_keys.m_atlas + " (Repository) has no readable \"primaryModel\" at state 2.\n"};
  std::sort(messages.begin(), messages.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(messages, expected);
  zyrtest::ErrorCapture errors;
  char left[] = "Aleft";
  char right[] = "Aright";
  char *components[] = {left, right};
  EXPECT_EQ(zyrCompositeName_create(m_hModel, "faces", 1, 2, components, 0, nullptr), 0);
  ASSERT_FALSE(errors.published().empty());
  EXPECT_EQ(errors.published().front().message,
            "The name manager has no region atlas; composite names are not available.\n");
  // The file's own Repository is still the one opened: its checkpoints are kept.
  int32_t noOfCheckpoints = 0;
  EXPECT_EQ(zyrDatabase_getNoOfCheckpoints(m_hDatabase, &noOfCheckpoints), 1);
  EXPECT_EQ(noOfCheckpoints, 1);
  EXPECT_EQ(keyOf(Model_getRepository(model())), m_keys.m_repository);
  deleteAndReopen();
}

TEST_F(DamagedModelTest, AnAtlasReferenceToAnotherTypeIsLeftOut) {
  pointTo(m_keys.m_nameManager, "atlas", "atlas", m_keys.m_leftRegion);
  // The atlas, no longer the name manager's, leaves out its own reference back.
  std::vector<std::string> messages = reopen();
  std::vector<std::string> expected{"The stored record " + m_keys.m_nameManager +
                                        " (NameManager) refers under \"atlas\" to 1 object(s) that are not of type "
                                        "Atlas;\nthey have been left out.\n",
                                    "The stored record " + m_keys.m_atlas +
                                        " (Atlas) refers under \"nameManager\" to 1 object(s) that do not refer back "
                                        "to it under \"atlas\";\nthey have been left out.\n"};
  std::sort(messages.begin(), messages.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(messages, expected);
  int32_t count = -1;
  char **names = nullptr;
  zyrModel_getCompositeNames(m_hModel, &count, &names);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(names, nullptr);
  deleteAndReopen();
}

// A checkpoint whose state lost the model (the state the checkpoint names) is not gone to.
void checkpointRefused(int32_t hDatabase, int32_t checkpoint, const std::string &name) {
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrDatabase_restoreCheckpoint(hDatabase, checkpoint), 0);
  ASSERT_FALSE(errors.published().empty());
  EXPECT_EQ(errors.published().back().message, "The checkpoint " + std::to_string(checkpoint) +
                                                    " of the database \"" + name +
                                                    "\" holds no model; the database has been left as it was.\n");
}

TEST_F(DamagedModelTest, ACheckpointWhosePrimaryModelIsOfAnotherTypeIsNotTaken) {
  int32_t checkpoint = -1;
  const int32_t state = deleteAfterCheckpoint(&checkpoint);
  damageAt(state, m_keys.m_repository, "primaryModel", m_keys.m_leftRegion, m_keys.m_model);
  EXPECT_TRUE(reopen().empty());
  Model *before = model();
  checkpointRefused(m_hDatabase, checkpoint, m_name);
  EXPECT_EQ(Repository_getPrimaryModel(Model_getRepository(before)), before);
  EXPECT_EQ(editingtest::assemblyNames(model()), std::vector<std::string>{"B"});
  closeAndReopenB();
}

TEST_F(DamagedModelTest, ACheckpointWhoseModelLostItsTopologyIsNotTaken) {
  int32_t checkpoint = -1;
  const int32_t state = deleteAfterCheckpoint(&checkpoint);
  damageAt(state, m_keys.m_model, "topology", m_keys.m_leftRegion, m_keys.m_topology);
  EXPECT_TRUE(reopen().empty());
  {
    // The store goes back from the state at which the model lost its topology.
    zyrtest::ErrorCapture errors;
    EXPECT_EQ(zyrDatabase_restoreCheckpoint(m_hDatabase, checkpoint), 0);
    ASSERT_FALSE(errors.published().empty());
    EXPECT_EQ(errors.published().back().message,
              "State " + std::to_string(state) + " of the ZYR database\n\n" + m_name +
                  "\n\nis damaged: its stored record " + m_keys.m_model +
                  " (Model) has lost its \"topology\". The database has been left at state " +
                  std::to_string(state + 1) + ".\n");
  }
  // Still at the state after the deletion, with its topology.
  ASSERT_NE(Model_getTopology(model()), nullptr);
  EXPECT_EQ(editingtest::assemblyNames(model()), std::vector<std::string>{"B"});
  closeAndReopenB();
}

TEST_F(DamagedModelTest, AGluingThatIsAlsoASidesDirectConnectionIsDeletedOnce) {
  // "Aright" names its gluing with "Aleft" as its direct connection too: deleting "Aleft" deleted
  // the gluing, and "Aright" then deleted it again as its connection.
  pointTo(m_keys.m_rightRegion, "topology", "connection", m_keys.m_gluing);
  EXPECT_TRUE(reopen().empty());
  deleteAndReopen();
}

TEST_F(DamagedModelTest, AConnectionThatDoesNotJoinTheRegionReferringToItIsLeftOut) {
  pointTo(m_keys.m_volume, "topology", "connection", m_keys.m_gluing);
  EXPECT_TRUE(reopen().empty());
  zyrtest::ErrorCapture errors;
  deleteAndReopen();
  EXPECT_EQ(damageMessages(errors),
            std::vector<std::string>{"The stored region " + m_keys.m_volume +
                                     " refers to 1 connection(s) that do not join it; they have been "
                                     "left out.\n"});
}

TEST_F(DamagedModelTest, AShellThatDoesNotHoldTheRegionReferringToItIsLeftOut) {
  // "Bleft" names the shell of "A" as its own: destroying "A" destroyed the shell under it.
  pointTo(m_keys.m_otherLeft, "topology", "shell", m_keys.m_shell);
  EXPECT_TRUE(reopen().empty());
  zyrtest::ErrorCapture errors;
  deleteAndReopen();
  EXPECT_EQ(damageMessages(errors),
            std::vector<std::string>{"The stored region " + m_keys.m_otherLeft +
                                     " refers to a shell that does not hold it; it has been left out.\n"});
  FILE *sink = std::fopen("/dev/null", "w");
  EXPECT_EQ(zyrModel_dump(m_hModel, 0, sink), 1);
  std::fclose(sink);
}

TEST_F(DamagedModelTest, ASecondNameOfOneRegionIsLeftOut) {
  // The name "Aleft" made to lead to "Avol": deleting "Avol" took away one of its names only,
  // and the other kept leading to the freed region.
  replaceMember(m_keys.m_nameManager, "objects", m_keys.m_leftRegion, m_keys.m_volume);
  EXPECT_EQ(reopen(), std::vector<std::string>{
                          "Names of the name manager that lead to an object named already have been left out.\n"});
  deleteAndReopen();
}

// The shell of "A" made to hold "Bleft" too: deleting "B" left the shell holding freed memory,
// written at the commit after "A" had let go of it. The shell is found from the regions it holds
// whether or not a boundary still holds it.
void DamagedModelTest::shellHoldingAStranger(bool outOfItsBoundary) {
  Database *database = store();
  if (outOfItsBoundary)
    dropMember(database, m_keys.m_boundary, "shells", m_keys.m_shell);
  editPointers(database, m_keys.m_shell, "regions",
               [this](std::vector<std::string> &keys) { keys.push_back(m_keys.m_otherLeft); });
  Database_delete(database);
  // Out of its boundary's list, the shell's reference to the boundary is one-sided.
  EXPECT_EQ(reopen(), outOfItsBoundary ? std::vector<std::string>{"The stored record " + m_keys.m_shell +
                                                                  " (Shell) refers under \"boundary\" to 1 object(s) "
                                                                  "that do not refer back to it under \"shells\";\n"
                                                                  "they have been left out.\n"}
                                       : std::vector<std::string>{});
  {
    zyrtest::ErrorCapture errors;
    EXPECT_EQ(zyrAssembly_delete(m_hModel, "B"), 1);
    EXPECT_EQ(damageMessages(errors),
              std::vector<std::string>{"The stored shell " + m_keys.m_shell +
                                       " holds 1 region(s) that do not refer to it; they have been left "
                                       "out.\n"});
  }
  dumpAll();
  ASSERT_EQ(zyrDatabase_close(m_hDatabase, -1), 1);
  ASSERT_EQ(zyrDatabase_open(m_name.c_str(), &m_hDatabase, &m_hModel), 1);
  EXPECT_EQ(editingtest::assemblyNames(model()), std::vector<std::string>{"A"});
  EXPECT_EQ(Topology_getNoOfRegions(Model_getTopology(model()), 15), 3);
  EXPECT_EQ(zyrAssembly_delete(m_hModel, "A"), 1);
}

TEST_F(DamagedModelTest, AShellHoldingARegionThatDoesNotReferToItLetsGoOfIt) { shellHoldingAStranger(false); }

TEST_F(DamagedModelTest, AShellOutOfItsBoundaryHoldingARegionThatDoesNotReferToItLetsGoOfIt) {
  shellHoldingAStranger(true);
}

TEST_F(DamagedModelTest, AMeshLinkedToTwoRegionsIsLeftOutOfTheSecond) {
  // The face mesh of "Aleft" linked to "Aright" too: deleting "A" deleted it with each region.
  replaceMember(m_keys.m_mesh, "faceMeshes", m_keys.m_rightFaces, m_keys.m_leftFaces);
  EXPECT_EQ(reopen(), std::vector<std::string>{"The stored record " + m_keys.m_mesh +
                                               " (Mesh) links under \"faceMeshes\" 1 object(s) more than once;\n"
                                               "those links have been left out.\n"});
  deleteAndReopen();
}

TEST_F(DamagedModelTest, ARegionLeftOutOfTheTopologyLetsGoOfAShellThatDoesNotHoldIt) {
  // "Aright" out of its shell's list and of the topology's, still naming the shell: the shell
  // destroyed with "Avol" left it pointing at freed memory.
  Database *database = store();
  dropMember(database, m_keys.m_shell, "regions", m_keys.m_rightRegion);
  dropMember(database, m_keys.m_topology, "2D regions", m_keys.m_rightRegion);
  Database_delete(database);
  reopen();
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrAssembly_delete(m_hModel, "A"), 1);
  EXPECT_EQ(damageMessages(errors),
            std::vector<std::string>{"The stored region " + m_keys.m_rightRegion +
                                     " refers to a shell that does not hold it; it has been left out.\n"});
  closeAndReopenB();
}

} // namespace
