#include "ObjectTestSupport.h"

#include "zyrTestErrors.h"

#include "Database.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrTypeManager.h"
#include "zyrUUID.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace objecttest {

bool killInModelNew = false;

namespace {

int32_t theThingDeletes = 0;

int64_t modelSize() { return static_cast<int64_t>(sizeof(TestModel)); }

int modelDump(void *object) {
  TestModel *model = static_cast<TestModel *>(object);
  return zyrObject_setString(model, "name", model->m_name);
}

int modelRestore(void *object, int32_t flag) {
  TestModel *model = static_cast<TestModel *>(object);
  zyrObject_getPointer(model, flag, "repository", &model->m_repository);
  zyrObject_getPointer(model, flag, "topology", &model->m_topology);
  zyrObject_getString(model, flag, "name", &model->m_name);
  return 1;
}

int modelDelete(void *object) {
  TestModel *model = static_cast<TestModel *>(object);
  zyrCString_free(model->m_name);
  model->m_name = nullptr;
  if (zyrObject_canDelete(model) && model->m_topology != nullptr)
    zyrObject_delete(model->m_topology);
  return zyrObject_delete(model);
}

void *modelNew(Repository *repository) {
  TestModel *model = static_cast<TestModel *>(zyrObject_new("Model"));
  if (killInModelNew)
    kill(getpid(), SIGKILL);
  model->m_repository = repository;
  model->m_topology = zyrObject_new("Topology");
  model->m_name = zyrCString_clone("primary");
  zyrObject_setPointer(model, "repository", repository);
  zyrObject_setPointer(model, "topology", model->m_topology);
  zyrObject_setModified(model);
  return model;
}

int modelUpgrade(void *) { return 1; }

int modelSetRepository(void *object, Repository *repository) {
  TestModel *model = static_cast<TestModel *>(object);
  model->m_repository = repository;
  return zyrObject_setPointer(model, "repository", repository);
}

int64_t thingSize() { return static_cast<int64_t>(sizeof(TestThing)); }

int thingDump(void *object) {
  TestThing *thing = static_cast<TestThing *>(object);
  return zyrObject_setInt(thing, "cached", thing->m_cached);
}

// Counts an attribute as read when the flag lets the getter reach the store.
void countRead(TestThing *thing, int32_t flag, const char *name) {
  if (zyrObject_checkAttribute(thing, flag, name))
    ++thing->m_reads;
}

int thingRestore(void *object, int32_t flag) {
  TestThing *thing = static_cast<TestThing *>(object);
  ++thing->m_restores;
  thing->m_lastFlag = flag;
  const char *names[] = {"count", "value", "label", "other", "members", "cached"};
  for (const char *name : names)
    countRead(thing, flag, name);
  zyrObject_getInt(thing, flag, "count", &thing->m_count);
  zyrObject_getDouble(thing, flag, "value", &thing->m_value);
  zyrObject_getString(thing, flag, "label", &thing->m_label);
  zyrObject_getPointer(thing, flag, "other", &thing->m_other);
  zyrObject_getAffineTransform3D(thing, flag, "transform", &thing->m_transform);
  zyrObject_getSet(thing, flag, "members", &thing->m_members);
  zyrObject_getInt(thing, flag, "cached", &thing->m_cached);
  return 1;
}

int thingDelete(void *object) {
  TestThing *thing = static_cast<TestThing *>(object);
  ++theThingDeletes;
  zyrCString_free(thing->m_label);
  zyrAffineTransform3D_delete(thing->m_transform);
  Set_delete(thing->m_members);
  return zyrObject_delete(thing);
}

} // namespace

void installTestTypes() {
  zyrTypeManager_setHooks("Model", modelSize, modelDump, modelRestore, modelDelete);
  zyrTypeManager_setHooks("Assembly", thingSize, thingDump, thingRestore, thingDelete);
  Repository_setModelHooks(modelNew, modelUpgrade, modelSetRepository);
}

int32_t thingDeletes() { return theThingDeletes; }

TestThing *Thing_new() { return static_cast<TestThing *>(zyrObject_new("Assembly")); }

int Thing_setCount(TestThing *thing, int32_t count) {
  thing->m_count = count;
  return zyrObject_setInt(thing, "count", count);
}

int Thing_setLabel(TestThing *thing, const char *label) {
  zyrCString_reassign(&thing->m_label, label);
  return zyrObject_setString(thing, "label", label);
}

int Thing_setOther(TestThing *thing, void *other) {
  thing->m_other = other;
  return zyrObject_setPointer(thing, "other", other);
}

void Thing_setCached(TestThing *thing, int32_t cached) {
  thing->m_cached = cached;
  zyrObject_setModified(thing);
}

std::vector<TestThing *> things(Repository *repository) {
  std::vector<TestThing *> found;
  int32_t count = 0;
  void **objects = nullptr;
  zyrStateManager_getObjectsByTypeName(Repository_getStateManager(repository), "Assembly", &count, &objects);
  for (int32_t i = 0; i < count; ++i)
    found.push_back(static_cast<TestThing *>(objects[i]));
  zyrMemory_free(objects, __func__);
  return found;
}

TestThing *thingLabelled(Repository *repository, const std::string &label) {
  for (TestThing *t : things(repository))
    if (t->m_label != nullptr && label == t->m_label)
      return t;
  return nullptr;
}

std::vector<Entry> listAll(Repository *repository, const char *keyFilter, const char *nameFilter) {
  Database *database = zyrStateManager_getDatabase(Repository_getStateManager(repository));
  int32_t noOfKeys = 0;
  char **keys = nullptr;
  int32_t *offsets = nullptr;
  char **names = nullptr;
  int32_t *whens = nullptr;
  Database_match(database, -1, -1, keyFilter, nameFilter, &noOfKeys, &keys, &offsets, &names, &whens);
  std::vector<Entry> entries;
  for (int32_t k = 0; k < noOfKeys; ++k)
    for (int32_t j = offsets[k]; j < offsets[k + 1]; ++j)
      entries.push_back({keys[k], names[j], whens[j]});
  zyrCStringArray_free(keys, static_cast<uint64_t>(noOfKeys));
  zyrCStringArray_free(names, static_cast<uint64_t>(offsets[noOfKeys]));
  zyrMemory_free(offsets, __func__);
  zyrMemory_free(whens, __func__);
  return entries;
}

std::string keyOf(const void *object) {
  char key[ZYR_UUID_BASE64_SIZE + 16];
  zyrObject_getUUIDString(object, key);
  return key;
}

void writeFile(const std::string &path, const std::string &contents) {
  FILE *stream = std::fopen(path.c_str(), "wb");
  if (stream == nullptr)
    throw std::runtime_error("cannot write " + path);
  std::fwrite(contents.data(), 1, contents.size(), stream);
  std::fclose(stream);
}

void ObjectStoreTest::SetUp() {
  installTestTypes();
  m_scratch = std::make_unique<zyrtest::ScratchDir>("zyrstore");
  m_dir = m_scratch->path();
  m_here = std::make_unique<zyrtest::WorkingDir>(m_dir);
  zyrtest::ErrorCapture::clear();
}

void ObjectStoreTest::TearDown() {
  zyrtest::ErrorCapture::clear();
  m_here.reset();
  m_scratch.reset();
}

std::vector<std::string> ObjectStoreTest::takeErrors() { return zyrtest::ErrorCapture::take(); }

} // namespace objecttest
