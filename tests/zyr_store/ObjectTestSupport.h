#ifndef ZYR_OBJECT_TEST_SUPPORT_H
#define ZYR_OBJECT_TEST_SUPPORT_H
// Shared by the object-store tests: a fixture that works in a scratch directory (made the working
// directory, so that nothing reaches the source tree) with the test doubles of the types that
// higher layers own, and access to the published errors.
#include "Repository.h"
#include "Set.h"
#include "zyrAffineTransform3D.h"
#include "zyrObject.h"

#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <vector>

namespace objecttest {

// Test double of the model layer's Model: owns a Topology, refers to its Repository.
struct TestModel {
  zyrObject m_object;
  void *m_repository;
  void *m_topology;
  char *m_name; // cached, written by the dump hook
};

// Test double of a type with fields of every kind ("Assembly" row). It counts what its restore
// hook read, so tests can see partial reloads.
struct TestThing {
  zyrObject m_object;
  int32_t m_count;         // "count"
  double m_value;          // "value"
  char *m_label;           // "label"
  void *m_other;           // "other" (reference)
  zyrAffineTransform3D *m_transform; // "transform"
  Set *m_members;          // "members"
  int32_t m_cached;        // "cached", written by the dump hook
  int32_t m_restores;      // restore hook calls
  int32_t m_lastFlag;      // flag of the last restore
  int32_t m_reads;         // attributes actually read by restore hooks (changed with flag 1)
};

// Installs the hooks of the doubles ("Model", "Topology", "Assembly") and the model hooks of the
// Repository. Idempotent.
void installTestTypes();
// Counts of delete hook runs of TestThing.
int32_t thingDeletes();
// When set, the Model double's creation kills the process (a crash inside Repository_new).
extern bool killInModelNew;

TestThing *Thing_new();
int Thing_setCount(TestThing *thing, int32_t count);
int Thing_setLabel(TestThing *thing, const char *label);
int Thing_setOther(TestThing *thing, void *other);
// Changes the cached field and marks the object modified.
void Thing_setCached(TestThing *thing, int32_t cached);
// The live things of the repository's store, and the one of the label (NULL when none).
std::vector<TestThing *> things(Repository *repository);
TestThing *thingLabelled(Repository *repository, const std::string &label);

// One data set as listed by the database: key, name, when.
struct Entry {
  std::string key;
  std::string name;
  int32_t when;
  bool operator==(const Entry &other) const { return key == other.key && name == other.name && when == other.when; }
};
std::vector<Entry> listAll(Repository *repository, const char *keyFilter = "*", const char *nameFilter = "*");
std::string keyOf(const void *object);
void writeFile(const std::string &path, const std::string &contents);

class ObjectStoreTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  std::string file(const std::string &name) const { return m_dir + "/" + name; }
  // Messages of the published errors (then cleared), each prefixed with its code and ": ".
  std::vector<std::string> takeErrors();

  std::unique_ptr<zyrtest::ScratchDir> m_scratch;
  std::unique_ptr<zyrtest::WorkingDir> m_here;
  std::string m_dir;
};

} // namespace objecttest

#endif
